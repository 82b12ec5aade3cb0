// A first check of the fixture itself: the catalogue is reachable.
#include "program_fixture.h"

#include <QFileInfo>

TEST_F(ProgramFixture, CatalogueIsOpen)
{
    EXPECT_EQ(link_->QueryCount(link_->AccListDB, "select count(*) from T_ClientLog"), 0);
    EXPECT_EQ(link_->rememberedPassword().toStdString(), kSaPassword);
}

// The tests run away from the user's own installation: the default
// instance they would reach holds nothing, and the home and temporary
// folders are throwaway ones, so a fresh TLinkData finds no server.
TEST(TestEnvironment, IsAThrowawayHomeWithoutADefaultInstance)
{
    const QString home = qEnvironmentVariable("HOME");
    EXPECT_TRUE(home.contains(QStringLiteral("vqtest-env-"))) << home.toStdString();
    EXPECT_TRUE(qEnvironmentVariable("TMPDIR").startsWith(home.section('/', 0, -2)));
    EXPECT_FALSE(QFileInfo::exists(qEnvironmentVariable("VQSQL_HOME")));
    TLinkData fresh;
    EXPECT_FALSE(fresh.ConnectCatalogue(QStringLiteral("."), QStringLiteral("master"), QString(), false));
}
