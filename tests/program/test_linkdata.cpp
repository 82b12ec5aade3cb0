// The data module: its two connections, the remembered server and
// password, the comment stripper and the statement helpers, against a
// throwaway instance holding the installed catalogue.
#include "program_fixture.h"

#include "mwdbfun.h"

#include <string>
#include <vector>

namespace {

const QString kCatalogueError = QStringLiteral("联接指定机器的数据库错误，请检查机器名或sa口令是否正确。");
const QString kAccountSetError = QStringLiteral("联接数据库错误。");
const QString kErrorCaption = QStringLiteral("错误");

}  // namespace

// ---------------------------------------------------------------------------
// Connection string

TEST(LinkDataConnectionString, PlainValuesAreSplicedIntoTheFixedText)
{
    EXPECT_EQ(TLinkData::BuildConnectionString(".", "VQTCWAccList", "abc123").toStdString(),
              "Provider=SQLOLEDB.1;Password=abc123;Persist Security Info=True;User ID=sa;"
              "Initial Catalog=VQTCWAccList;Data Source=.;Use Procedure for Prepare=1;Auto Translate=True;"
              "Packet Size=4096;Use Encryption for Data=False;Tag with column collation when possible=False");
}

TEST(LinkDataConnectionString, EmptyValuesLeaveTheKeysEmpty)
{
    EXPECT_EQ(TLinkData::BuildConnectionString("", "master", "").toStdString(),
              "Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=sa;"
              "Initial Catalog=master;Data Source=;Use Procedure for Prepare=1;Auto Translate=True;"
              "Packet Size=4096;Use Encryption for Data=False;Tag with column collation when possible=False");
}

TEST(LinkDataConnectionString, ReadsBackAsTheValuesGiven)
{
    // Whatever quoting the builder applies, the keys must arrive whole.
    for (const char* password : {"plain", "a;b", "q\"uote", "ap'os", "a;b\"c'd;", " padded ", "x=y", ""}) {
        SCOPED_TRACE(password);
        const vqsql::ConnectionParams p = vqsql::parseConnectionString(
            TLinkData::BuildConnectionString("/tmp/some instance", "VQTCW_001", QString::fromUtf8(password))
                .toStdString());
        EXPECT_EQ(p.password, password);
        EXPECT_EQ(p.database, "VQTCW_001");
        EXPECT_EQ(p.server, "/tmp/some instance");
        EXPECT_EQ(p.user, "sa");
    }
}

// ---------------------------------------------------------------------------
// ConnectCatalogue / ConnectAccountSet

using LinkDataConnect = ProgramFixture;

TEST_F(LinkDataConnect, FreshModuleRemembersNothing)
{
    TLinkData fresh;
    EXPECT_TRUE(fresh.rememberedServer().isEmpty());
    EXPECT_TRUE(fresh.rememberedPassword().isEmpty());
    EXPECT_FALSE(fresh.AccListDB.isOpen());
    EXPECT_FALSE(fresh.UserDB.isOpen());
}

TEST_F(LinkDataConnect, SuccessRemembersServerAndPasswordAndOpensTheDatabase)
{
    TLinkData fresh;
    ASSERT_TRUE(fresh.ConnectCatalogue(server(), "master", kSaPassword, true));
    EXPECT_TRUE(fresh.AccListDB.isOpen());
    EXPECT_EQ(fresh.AccListDB.currentDatabase(), "master");
    EXPECT_EQ(fresh.rememberedServer(), server());
    EXPECT_EQ(fresh.rememberedPassword().toStdString(), kSaPassword);
    EXPECT_FALSE(fresh.UserDB.isOpen());
}

struct FailedCatalogueCase {
    const char* name;
    bool otherServer;
    const char* database;
    const char* password;   // nullptr: the right one
};

class LinkDataFailedCatalogue : public ProgramFixture, public ::testing::WithParamInterface<FailedCatalogueCase> {};

TEST_P(LinkDataFailedCatalogue, KeepsThePreviousValuesAndLeavesTheConnectionClosed)
{
    const FailedCatalogueCase& c = GetParam();
    const QString target = c.otherServer ? QString::fromStdString(root_ + "/no-instance-here") : server();
    const QString password = c.password ? QString::fromUtf8(c.password) : QString::fromUtf8(kSaPassword);
    for (const bool showError : {false, true}) {
        SCOPED_TRACE(showError ? "with the box" : "silent");
        ASSERT_TRUE(link_->AccListDB.isOpen());
        if (showError)
            dialogs_.expect(DialogKind::Error, kErrorCaption, kCatalogueError);
        EXPECT_FALSE(link_->ConnectCatalogue(target, c.database, password, showError));
        dialogs_.verifyDone();
        EXPECT_FALSE(link_->AccListDB.isOpen());
        EXPECT_EQ(link_->rememberedServer(), server());
        EXPECT_EQ(link_->rememberedPassword().toStdString(), kSaPassword);
        // The previous values still reach the instance.
        ASSERT_TRUE(link_->ConnectCatalogue(link_->rememberedServer(), "VQTCWAccList",
                                            link_->rememberedPassword(), false));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkDataFailedCatalogue,
    ::testing::Values(FailedCatalogueCase{"WrongPassword", false, "VQTCWAccList", "not-the-password"},
                      FailedCatalogueCase{"MissingDatabase", false, "VQTCW_999", nullptr},
                      FailedCatalogueCase{"UnknownServer", true, "VQTCWAccList", "other"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkDataConnect, AccountSetBeforeAnyCatalogueConnectionFails)
{
    TLinkData fresh;
    EXPECT_FALSE(fresh.ConnectAccountSet("VQTCWAccList", false));
    EXPECT_FALSE(fresh.UserDB.isOpen());
    EXPECT_TRUE(dialogs_.shown().empty());

    dialogs_.expect(DialogKind::Error, kErrorCaption, kAccountSetError);
    EXPECT_FALSE(fresh.ConnectAccountSet("VQTCWAccList", true));
    EXPECT_FALSE(fresh.UserDB.isOpen());
}

TEST_F(LinkDataConnect, AccountSetUsesTheRememberedValues)
{
    ASSERT_TRUE(link_->ConnectAccountSet("VQTCWAccList", true));
    EXPECT_TRUE(link_->UserDB.isOpen());
    EXPECT_EQ(link_->UserDB.currentDatabase(), "VQTCWAccList");

    // Re-pointed at another database.
    ASSERT_TRUE(link_->ConnectAccountSet("master", false));
    EXPECT_EQ(link_->UserDB.currentDatabase(), "master");
    // The catalogue connection is not touched by it.
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
}

TEST_F(LinkDataConnect, AccountSetOnAMissingDatabaseFails)
{
    ASSERT_TRUE(link_->ConnectAccountSet("VQTCWAccList", false));

    EXPECT_FALSE(link_->ConnectAccountSet("VQTCW_999", false));
    EXPECT_FALSE(link_->UserDB.isOpen());
    EXPECT_TRUE(dialogs_.shown().empty());

    dialogs_.expect(DialogKind::Error, kErrorCaption, kAccountSetError);
    EXPECT_FALSE(link_->ConnectAccountSet("VQTCW_999", true));
    EXPECT_FALSE(link_->UserDB.isOpen());
}

class LinkDataOddPassword : public ProgramFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(LinkDataOddPassword, StillConnects)
{
    const std::string password = GetParam();
    vqsql::changeSaPassword(instance_, kSaPassword, password);

    // The old password no longer works, so a success below is the new one's.
    EXPECT_FALSE(link_->ConnectCatalogue(server(), "VQTCWAccList", kSaPassword, false));

    ASSERT_TRUE(link_->ConnectCatalogue(server(), "VQTCWAccList", QString::fromStdString(password), false));
    EXPECT_EQ(link_->rememberedPassword().toStdString(), password);
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
    ASSERT_TRUE(link_->ConnectAccountSet("VQTCWAccList", false));
    EXPECT_EQ(link_->UserDB.currentDatabase(), "VQTCWAccList");
}

INSTANTIATE_TEST_SUITE_P(Passwords, LinkDataOddPassword,
                         ::testing::Values("pa;ss", "pa\"ss", "pa'ss", "a;b\"c'd", "x;Data Source=.", ";", " lead"));

// ---------------------------------------------------------------------------
// StripSqlComments

struct StripCase {
    const char* name;
    const char* input;
    const char* expected;
};

class LinkDataStrip : public ::testing::TestWithParam<StripCase> {};

TEST_P(LinkDataStrip, ExactText)
{
    EXPECT_EQ(StripSqlComments(QString::fromUtf8(GetParam().input)).toStdString(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkDataStrip,
    ::testing::Values(
        StripCase{"Empty", "", ""},
        StripCase{"NoComment", "select 1\r\nselect 2", "select 1\r\nselect 2"},
        StripCase{"FirstLineEndsInComment", "update T set A = 1 -- the remark\r\nselect 2\r\n",
                  "update T set A = 1 \r\nselect 2\r\n"},
        StripCase{"CommentOnlyLine", "-- heading\r\nselect 1", "\r\nselect 1"},
        StripCase{"MiddleLineComment", "select 1\r\nselect 2 -- tail\r\nand more",
                  "select 1\r\nselect 2 \r\nand more"},
        StripCase{"LastLineCommentDropsTheRest", "select 1\r\nselect 2 -- tail", "select 1\r\nselect 2 \r\n"},
        StripCase{"InsideAStringLiteral", "insert into T values('a--b')\r\nselect 1",
                  "insert into T values('a\r\nselect 1"},
        StripCase{"SeveralComments", "a -- x\r\nb -- y\r\nc", "a \r\nb \r\nc"},
        StripCase{"CommentOnlyText", "-- one\r\n-- two", "\r\n\r\n"},
        StripCase{"ThreeDashes", "a---b\r\nc", "a\r\nc"},
        // Only CR LF ends a comment; a lone LF does not.
        StripCase{"LoneLineFeedInsideComment", "a -- x\ny\r\nz", "a \r\nz"},
        StripCase{"SingleDashIsNoComment", "select 1 - 2", "select 1 - 2"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Statement helpers on the catalogue connection: a probe table of our own.

class LinkDataStatements : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        link_->AccListDB.execute(
            "create table T_Probe (ID int not null, AccountName varchar(40) null, Remark varchar(40) null)");
        link_->AccListDB.execute("create table T_Empty (ID int not null)");
    }

    void fill()
    {
        link_->AccListDB.execute("insert into T_Probe values (3, '12', 'x')");
        link_->AccListDB.execute("insert into T_Probe values (7, 'abc', 'y')");
        link_->AccListDB.execute("insert into T_Probe values (5, null, 'z')");
    }

    std::vector<std::vector<std::string>> probe() { return catalogueRows("select ID, Remark from T_Probe order by ID"); }
};

TEST_F(LinkDataStatements, ExecuteSqlAnswersTrueOrFalseAndShowsNothing)
{
    EXPECT_TRUE(link_->ExecuteSql(link_->AccListDB, "insert into T_Probe (ID, Remark) values (1, 'one')"));
    EXPECT_FALSE(link_->ExecuteSql(link_->AccListDB, "insert into T_Missing values (1)"));
    EXPECT_FALSE(link_->ExecuteSql(link_->AccListDB, "this is not sql"));
    EXPECT_EQ(probe(), (std::vector<std::vector<std::string>>{{"1", "one"}}));
}

TEST_F(LinkDataStatements, ExecuteSqlRunsTheWholeTextAroundCommentLines)
{
    EXPECT_TRUE(link_->ExecuteSql(link_->AccListDB,
                                  "-- first the one\r\n"
                                  "insert into T_Probe (ID, Remark) values (1, 'one') -- and a remark\r\n"
                                  "-- then the two\r\n"
                                  "insert into T_Probe (ID, Remark) values (2, 'two')\r\n"));
    EXPECT_EQ(probe(), (std::vector<std::vector<std::string>>{{"1", "one"}, {"2", "two"}}));
}

TEST_F(LinkDataStatements, ExecuteSqlCutsALiteralAtTwoDashes)
{
    // The literal loses its end, so the statement no longer parses.
    EXPECT_FALSE(link_->ExecuteSql(link_->AccListDB, "insert into T_Probe (ID, Remark) values (1, 'a--b')"));
    EXPECT_TRUE(probe().empty());

    // A literal continued on the next line is stored cut, with a CR LF.
    EXPECT_TRUE(link_->ExecuteSql(link_->AccListDB,
                                  "insert into T_Probe (ID, Remark) values (2, 'a--b\r\nc')"));
    EXPECT_EQ(probe(), (std::vector<std::vector<std::string>>{{"2", "a\r\nc"}}));
}

TEST_F(LinkDataStatements, HelpersOnAClosedConnectionDoNotThrow)
{
    vqsql::Connection closed;
    EXPECT_FALSE(link_->ExecuteSql(closed, "select 1"));
    EXPECT_EQ(link_->QueryCount(closed, "select count(*) from T_Probe"), 0);
    EXPECT_EQ(link_->CountWithoutTimeout("select count(*) from T_Probe"), 0);   // UserDB not open yet
    EXPECT_FALSE(link_->AccountSetExec("select 1"));
    EXPECT_EQ(link_->AccountSetCount("select 1"), 0);
}

struct CountCase {
    const char* name;
    bool filled;
    const char* sql;
    int expected;
};

class LinkDataCount : public LinkDataStatements, public ::testing::WithParamInterface<CountCase> {};

TEST_P(LinkDataCount, FollowsTheCountRule)
{
    if (GetParam().filled)
        fill();
    EXPECT_EQ(link_->QueryCount(link_->AccListDB, GetParam().sql), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkDataCount,
    ::testing::Values(
        CountCase{"CountOfRows", true, "select count(*) from T_Probe", 3},
        CountCase{"CountOverEmptyTable", false, "select count(*) from T_Empty", 0},
        CountCase{"CountLowerCaseWithWhere", true, "select count(*) from T_Probe where ID > 4", 2},
        // No COUNT: the number of rows.
        CountCase{"RowsWithoutCount", true, "select ID from T_Probe", 3},
        CountCase{"NoRowsWithoutCount", true, "select ID from T_Probe where ID < 0", 0},
        // COUNT inside a column name: the first column of the first row.
        CountCase{"ColumnNameHoldsCountInteger", true, "select AccountName from T_Probe where ID = 3", 12},
        CountCase{"ColumnNameHoldsCountNotInteger", true, "select AccountName from T_Probe where ID = 7", 0},
        CountCase{"ColumnNameHoldsCountNull", true, "select AccountName from T_Probe where ID = 5", 0},
        CountCase{"ColumnNameHoldsCountNoRows", true, "select AccountName from T_Probe where ID < 0", 0},
        CountCase{"FirstColumnOnly", true, "select ID, AccountName from T_Probe where ID = 7", 7},
        CountCase{"NullCount", false, "select max(ID) as MaxCount from T_Empty", 0},
        CountCase{"CountFromAnIntegerColumn", true, "select ID as IDCount from T_Probe order by ID desc", 7},
        // Failing statements and statements without a result set.
        CountCase{"FailingStatement", true, "select count(*) from T_Missing", 0},
        CountCase{"NotSql", true, "count me in", 0},
        CountCase{"NoResultSetWithCount", true, "declare @count int set @count = 4", 0},
        CountCase{"NoResultSetWithoutCount", true, "update T_Probe set Remark = 'w' where ID = 3", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkDataStatements, QueryMaxIdOfEmptyAndFilledTables)
{
    EXPECT_EQ(link_->QueryMaxID(link_->AccListDB, "T_Probe", "ID"), 0);
    fill();
    EXPECT_EQ(link_->QueryMaxID(link_->AccListDB, "T_Probe", "ID"), 7);
    EXPECT_EQ(link_->QueryMaxID(link_->AccListDB, "T_Probe where ID < 6", "ID"), 5);
}

TEST_F(LinkDataStatements, QueryMaxIdLetsErrorsPass)
{
    EXPECT_THROW(link_->QueryMaxID(link_->AccListDB, "T_Missing", "ID"), vqsql::SqlException);
    EXPECT_THROW(link_->QueryMaxID(link_->AccListDB, "T_Probe", "NoSuchColumn"), vqsql::SqlException);
}

// ---------------------------------------------------------------------------
// The account-set connection: AccountSetExecScript and CountWithoutTimeout.

class LinkDataAccountSet : public LinkDataStatements {
protected:
    void SetUp() override
    {
        LinkDataStatements::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(link_->ConnectAccountSet("VQTCWAccList", false));
    }
};

struct ScriptCase {
    const char* name;
    const char* script;
    std::vector<std::vector<std::string>> rows;
};

class LinkDataScript : public LinkDataAccountSet, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(LinkDataScript, RunsTheStatementsEndedBySemicolons)
{
    EXPECT_TRUE(link_->AccountSetExecScript(QString::fromUtf8(GetParam().script)));
    EXPECT_EQ(probe(), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LinkDataScript,
    ::testing::Values(
        ScriptCase{"Empty", "", {}},
        ScriptCase{"CommentOnly", "-- nothing to do\r\n-- really nothing", {}},
        ScriptCase{"WhiteSpaceOnly", "\r\n  \r\n", {}},
        ScriptCase{"SemicolonAfterTheFirstOnly",
                   "insert into T_Probe (ID, Remark) values (1, 'one')\r\n;\r\n"
                   "insert into T_Probe (ID, Remark) values (2, 'two')\r\n",
                   {{"1", "one"}}},
        ScriptCase{"SemicolonAfterEach",
                   "insert into T_Probe (ID, Remark) values (1, 'one')\r\n;\r\n"
                   "insert into T_Probe (ID, Remark) values (2, 'two')\r\n;\r\n",
                   {{"1", "one"}, {"2", "two"}}},
        ScriptCase{"EmptyStatementBetween",
                   "insert into T_Probe (ID, Remark) values (1, 'one');\r\n;\r\n"
                   "insert into T_Probe (ID, Remark) values (2, 'two');",
                   {{"1", "one"}, {"2", "two"}}},
        ScriptCase{"CommentsStripped",
                   "-- the first\r\ninsert into T_Probe (ID, Remark) values (1, 'one') -- a remark\r\n;\r\n"
                   "-- the second\r\ninsert into T_Probe (ID, Remark) values (2, 'two')\r\n;",
                   {{"1", "one"}, {"2", "two"}}},
        ScriptCase{"SemicolonInsideAComment",
                   "insert into T_Probe (ID, Remark) values (1, 'one') -- ends here; not really\r\n;",
                   {{"1", "one"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkDataAccountSet, ScriptRunsOnTheAccountSetConnection)
{
    ASSERT_TRUE(link_->ConnectAccountSet("master", false));
    EXPECT_TRUE(link_->AccountSetExecScript("create table T_OnMaster (ID int)\r\n;\r\n"));
    EXPECT_EQ(link_->QueryCount(link_->UserDB, "select count(*) from T_OnMaster"), 0);
    EXPECT_FALSE(link_->ExecuteSql(link_->AccListDB, "select * from T_OnMaster"));
}

TEST_F(LinkDataAccountSet, FailingStatementStopsTheScriptAndIsShown)
{
    dialogs_.expect(DialogKind::Error, kErrorCaption, "\r\ninsert into T_Missing values (2)\r\n");
    EXPECT_FALSE(link_->AccountSetExecScript("insert into T_Probe (ID, Remark) values (1, 'one')\r\n;\r\n"
                                             "insert into T_Missing values (2)\r\n;\r\n"
                                             "insert into T_Probe (ID, Remark) values (3, 'three')\r\n;\r\n"));
    EXPECT_EQ(probe(), (std::vector<std::vector<std::string>>{{"1", "one"}}));
}

TEST_F(LinkDataAccountSet, FailingStatementIsShownAfterCommentStripping)
{
    dialogs_.expect(DialogKind::Error, kErrorCaption, "insert into T_Missing values (2) \r\n");
    EXPECT_FALSE(link_->AccountSetExecScript("insert into T_Missing values (2) -- the remark\r\n;"));
}

TEST_F(LinkDataAccountSet, ScriptWithUserDbClosedFailsWithTheBox)
{
    link_->UserDB.close();
    dialogs_.expect(DialogKind::Error, kErrorCaption, "select 1");
    EXPECT_FALSE(link_->AccountSetExecScript("select 1;"));
}

TEST_F(LinkDataAccountSet, CountWithoutTimeoutUsesTheAccountSetConnection)
{
    link_->AccListDB.execute("create database VQTCW_T01");
    ASSERT_TRUE(link_->ConnectAccountSet("VQTCW_T01", false));
    link_->UserDB.execute("create table T_Only (ID int)");
    link_->UserDB.execute("insert into T_Only values (1)");
    link_->UserDB.execute("insert into T_Only values (2)");

    EXPECT_EQ(link_->CountWithoutTimeout("select count(*) from T_Only"), 2);
    EXPECT_EQ(link_->CountWithoutTimeout("select ID from T_Only"), 2);
    EXPECT_EQ(link_->UserDB.commandTimeout(), 0);
    EXPECT_EQ(link_->CountWithoutTimeout("select count(*) from T_Probe"), 0);   // only on the catalogue
    EXPECT_EQ(link_->QueryCount(link_->AccListDB, "select count(*) from T_Only"), 0);

    EXPECT_EQ(link_->AccountSetCount("select count(*) from T_Only"), 2);
    EXPECT_EQ(link_->UserDB.commandTimeout(), TLinkData::kDefaultTimeout);
    EXPECT_TRUE(link_->AccountSetExec("delete from T_Only where ID = 1"));
    EXPECT_EQ(link_->CountWithoutTimeout("select count(*) from T_Only"), 1);
}

// ---------------------------------------------------------------------------
// runGuarded

using LinkDataGuarded = ProgramFixture;

TEST_F(LinkDataGuarded, ShowsTheDatabaseErrorAndReturns)
{
    std::string message;
    try {
        link_->QueryMaxID(link_->AccListDB, "T_Missing", "ID");
    } catch (const vqsql::SqlException& e) {
        message = e.first().message;
    }
    ASSERT_NE(message.find("T_Missing"), std::string::npos) << message;

    dialogs_.expect(DialogKind::Error, kErrorCaption, QString::fromStdString(message));
    bool after = false;
    EXPECT_NO_THROW(runGuarded([&] {
        link_->QueryMaxID(link_->AccListDB, "T_Missing", "ID");
        after = true;
    }));
    EXPECT_FALSE(after);   // the work stops at the error
    dialogs_.verifyDone();

    // Work without an error shows nothing.
    bool ran = false;
    runGuarded([&] { ran = link_->QueryMaxID(link_->AccListDB, "T_ClientLog", "1") == 0; });
    EXPECT_TRUE(ran);
}
