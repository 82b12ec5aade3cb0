// The entry of the test programs without a GUI: GoogleTest in a throwaway
// environment, away from the user's home folder and default instance.
#include "isolatedenvironment.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    vqtest::isolateFromUserEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
