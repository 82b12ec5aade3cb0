// The program tests' entry: a QApplication (off screen unless a platform is
// chosen) around GoogleTest, in a throwaway environment away from the
// user's home folder, default instance and single-instance socket.
#include "isolatedenvironment.h"

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    vqtest::isolateFromUserEnvironment();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
