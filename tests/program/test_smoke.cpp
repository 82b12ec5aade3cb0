// A first check of the fixture itself: the catalogue is reachable.
#include "program_fixture.h"

TEST_F(ProgramFixture, CatalogueIsOpen)
{
    EXPECT_EQ(link_->QueryCount(link_->AccListDB, "select count(*) from T_ClientLog"), 0);
    EXPECT_EQ(link_->rememberedPassword().toStdString(), kSaPassword);
}
