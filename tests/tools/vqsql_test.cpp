// Tests of vqsql, the engine's command-line tool: queries, input files,
// standard input, errors and administering an instance.
#include "vqsql_fixture.h"

namespace {

using namespace vqsqltest;
namespace fs = std::filesystem;

TEST_F(VqsqlTest, QueryPrintsOneRowOfFunctionResults)
{
    const auto r = vqsql({"-S", ".", "-Q",
                          "select len('ab  '), substring('abc',0,2), 'x'+'y', isnull(null,3), replicate('0',2)"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto rows = dataRows(r.out);
    ASSERT_EQ(rows.size(), 1u) << r.out;
    EXPECT_EQ(rows[0], (Row{"2", "a", "xy", "3", "00"})) << r.out;
    EXPECT_NE(r.out.find("\n(1 rows affected)\n"), std::string::npos) << r.out;
}

TEST_F(VqsqlTest, UnknownTableIsError208AndExitCodeOne)
{
    const auto r = vqsql({"-S", ".", "-Q", "select * from nosuchtable"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Msg 208, Level 16, State 1, Server "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", Line 1\nInvalid object name 'nosuchtable'."), std::string::npos) << r.out;
}

TEST_F(VqsqlTest, ColumnsLineUpUnderTheirHeadersAndDashes)
{
    const auto r = vqsql({"-Q", "select 'abc' as LongColumnName, 7 as n, null as x"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto out = lines(r.out);
    ASSERT_GE(out.size(), 5u) << r.out;
    const std::string& header = out[0];
    const std::string& dashes = out[1];
    const std::string& row = out[2];
    ASSERT_TRUE(isDashLine(dashes)) << r.out;
    EXPECT_EQ(words(header), (Row{"LongColumnName", "n", "x"}));
    EXPECT_EQ(words(row), (Row{"abc", "7", "NULL"}));

    // Each dash run is as wide as its column: header and row fields start
    // where the runs start.
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < dashes.size(); ++i)
        if (dashes[i] == '-' && (i == 0 || dashes[i - 1] == ' '))
            starts.push_back(i);
    ASSERT_EQ(starts.size(), 3u) << dashes;
    EXPECT_EQ(header.find("LongColumnName"), starts[0]);
    EXPECT_EQ(header.find(" n ") + 1, starts[1]);
    EXPECT_EQ(row.find("abc"), starts[0]);
    EXPECT_EQ(dashes.find(' '), std::string("LongColumnName").size());
    // NULL stands in the last column; the number 7 inside the second one.
    EXPECT_EQ(row.find("NULL"), starts[2]);
    const auto seven = row.find('7');
    EXPECT_GE(seven, starts[1]);
    EXPECT_LT(seven, starts[2]);
}

TEST_F(VqsqlTest, InputFileRunsEachGoSeparatedBatch)
{
    // The same variable declared in both batches: only valid when they run apart.
    const auto script = writeScript("two.sql",
                                    "declare @v int\n"
                                    "set @v = 41\n"
                                    "select @v + 1 as first\n"
                                    "GO\n"
                                    "declare @v int\n"
                                    "set @v = 7\n"
                                    "select @v as second\n"
                                    "  go  \n");
    const auto r = vqsql({"-i", script.string()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"42"}, {"7"}})) << r.out;
    EXPECT_EQ(count(r.out, "(1 rows affected)"), 2) << r.out;
    EXPECT_EQ(r.out.find("Msg "), std::string::npos) << r.out;
}

TEST_F(VqsqlTest, InputFileRunsTheTextAfterTheLastGoAndRepeatsWithACount)
{
    const auto script = writeScript("tail.sql",
                                    "\xEF\xBB\xBF"
                                    "create table t (a int)\r\n"
                                    "Go 3\r\n"
                                    "insert into t values (5)\r\n"
                                    "GO 2\r\n"
                                    "select count(*) as n from t\r\n");
    const auto r = vqsql({"-i", script.string()});
    // "create table" three times: the second and third fail, the rest goes on.
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(count(r.out, "There is already an object named 't'"), 2) << r.out;
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"2"}})) << r.out;
}

TEST_F(VqsqlTest, ErrorInOneBatchDoesNotStopTheNext)
{
    const auto script = writeScript("mixed.sql",
                                    "select * from missing_one\n"
                                    "go\n"
                                    "select 'still here' as s\n"
                                    "go\n");
    const auto r = vqsql({"-i", script.string()});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Invalid object name 'missing_one'."), std::string::npos) << r.out;
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"still", "here"}})) << r.out;
}

TEST_F(VqsqlTest, StandardInputIsReadInBatches)
{
    const auto r = vqsql({"-d", "master"}, "declare @a int\nselect @a = 3\nselect @a as a\ngo\n"
                                           "declare @a varchar(5)\nselect @a = 'zz'\nselect @a as a\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"3"}, {"zz"}})) << r.out;
}

TEST_F(VqsqlTest, DataOutlivesTheProcessThatWroteIt)
{
    ASSERT_EQ(vqsql({"-Q", "create table kept (k int, s varchar(10)) insert into kept values (1, 'one')"}).exitCode,
              0);
    const auto r = vqsql({"-Q", "select k, s from kept"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"1", "one"}})) << r.out;
}

TEST_F(VqsqlTest, DataStatementReportsRowsAffected)
{
    const auto r = vqsql({}, "create table u (a int)\ngo\ninsert into u select 1 union all select 2\ngo\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\n(2 rows affected)\n"), std::string::npos) << r.out;
}

TEST_F(VqsqlTest, PrintTextIsShown)
{
    const auto r = vqsql({"-Q", "print 'hello from the batch'"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("hello from the batch\n"), std::string::npos) << r.out;
}

TEST_F(VqsqlTest, UsageAndBadArguments)
{
    const auto help = vqsql({"-?"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("-Q"), std::string::npos);

    const auto unknown = vqsql({"-Z"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("unknown option '-Z'"), std::string::npos) << unknown.err;

    const auto both = vqsql({"-Q", "select 1", "-i", "x.sql"});
    EXPECT_EQ(both.exitCode, 1);

    const auto missingValue = vqsql({"-S"});
    EXPECT_EQ(missingValue.exitCode, 1);
}

TEST_F(VqsqlTest, MissingInputFileFails)
{
    const auto r = vqsql({"-i", (folder_ / "absent.sql").string()});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("absent.sql"), std::string::npos) << r.out;
}

// ---- administering an instance with the tool ---------------------------------

// Tests on a second instance, in a folder named with -S, so that it can
// have a password of its own.
class VqsqlAdminTest : public VqsqlTest {
protected:
    void SetUp() override
    {
        VqsqlTest::SetUp();
        other_ = (folder_ / "books").string();
    }

    // vqsql with -S naming the second instance.
    RunResult on(std::vector<std::string> args, const std::string& input = "")
    {
        args.insert(args.end(), {"-S", other_});
        return vqsql(args, input);
    }

    std::string status() { return on({"status"}).out; }

    std::string other_;
};

TEST_F(VqsqlAdminTest, InitStopStartAndStatus)
{
    EXPECT_EQ(status(), "not installed\n");
    const auto init = on({"init", "-P", "pw"});
    ASSERT_EQ(init.exitCode, 0) << init.out << init.err;
    EXPECT_EQ(status(), "running\n");
    EXPECT_EQ(on({"-P", "pw", "-Q", "select 1"}).exitCode, 0);

    ASSERT_EQ(on({"stop"}).exitCode, 0);
    EXPECT_EQ(status(), "stopped\n");
    const auto refused = on({"-P", "pw", "-Q", "select 1"});
    EXPECT_EQ(refused.exitCode, 1) << refused.out << refused.err;
    EXPECT_NE((refused.out + refused.err).find("SQL Server does not exist or access denied"), std::string::npos)
        << refused.out << refused.err;

    // start also runs the network server in the background; here on a
    // free port of this machine only, so tests never compete for 1433.
    {
        std::ofstream conf(std::filesystem::path(other_) / "server.conf", std::ios::trunc);
        conf << "address = 127.0.0.1\nport = 0\n";
    }
    const auto started = on({"start"});
    ASSERT_EQ(started.exitCode, 0) << started.out << started.err;
    EXPECT_EQ(started.out.rfind("running, listening on 127.0.0.1:", 0), 0u) << started.out;
    EXPECT_EQ(status(), started.out);
    const auto again = on({"-P", "pw", "-Q", "select 6 * 7 as n"});
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_EQ(dataRows(again.out), (std::vector<Row>{{"42"}})) << again.out;

    // A second init of the same folder is refused and changes nothing.
    EXPECT_EQ(on({"init", "-P", "other"}).exitCode, 1);
    EXPECT_EQ(on({"-P", "pw", "-Q", "select 1"}).exitCode, 0);

    // stop ends the network server too: its pid file goes, status says so.
    ASSERT_EQ(on({"stop"}).exitCode, 0);
    EXPECT_EQ(status(), "stopped\n");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(other_) / "server.pid"));
}

TEST_F(VqsqlAdminTest, InitPreparesTheNetworkServer)
{
    ASSERT_EQ(on({"init", "-P", "pw"}).exitCode, 0);
    const std::filesystem::path folder(other_);
    EXPECT_TRUE(std::filesystem::exists(folder / "server.conf"));
    EXPECT_TRUE(std::filesystem::exists(folder / "server.crt"));
    const auto keyMode = std::filesystem::status(folder / "server.key").permissions();
    EXPECT_EQ(keyMode & std::filesystem::perms::all, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(VqsqlAdminTest, StartReportsAServerThatCannotListen)
{
    ASSERT_EQ(on({"init", "-P", "pw"}).exitCode, 0);
    {
        std::ofstream conf(std::filesystem::path(other_) / "server.conf", std::ios::trunc);
        conf << "address = 192.0.2.1\nport = 0\n";   // an address of no interface here
    }
    const auto r = on({"start"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("cannot listen on 192.0.2.1:0"), std::string::npos) << r.err;
    EXPECT_EQ(status(), "running\n");
}

TEST_F(VqsqlAdminTest, StatusOfAFolderThatIsNoInstance)
{
    const auto r = vqsql({"status", "-S", (folder_ / "nothing" / "here").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "not installed\n");
}

TEST_F(VqsqlAdminTest, PasswordChange)
{
    ASSERT_EQ(on({"init", "-P", "pw"}).exitCode, 0);
    const auto wrong = on({"password", "new", "-P", "not-pw"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(on({"-P", "pw", "-Q", "select 1"}).exitCode, 0);

    const auto changed = on({"password", "new", "-P", "pw"});
    EXPECT_EQ(changed.exitCode, 0) << changed.out << changed.err;
    EXPECT_EQ(on({"-P", "new", "-Q", "select 1"}).exitCode, 0);
    const auto old = on({"-P", "pw", "-Q", "select 1"});
    EXPECT_EQ(old.exitCode, 1);
    EXPECT_NE((old.out + old.err).find("Login failed for user 'sa'."), std::string::npos) << old.out << old.err;
}

// Everything a database goes through, with the tool alone.
TEST_F(VqsqlAdminTest, CreateFillBackUpRestoreListAndDrop)
{
    ASSERT_EQ(on({"init", "-P", "pw"}).exitCode, 0);
    const std::string data = other_ + "/Data";
    const std::string backup = (folder_ / "Shop.mdk").string();
    auto sql = [&](const std::string& database, const std::string& batch) {
        return on({"-P", "pw", "-d", database, "-Q", batch});
    };

    auto r = sql("master", "create database Shop");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(fs::is_regular_file(data + "/Shop.mdf"));
    EXPECT_TRUE(fs::is_regular_file(data + "/Shop_log.ldf"));

    r = on({"-P", "pw", "-d", "Shop"},
           "create table goods (id int, name nvarchar(10), price money null)\ngo\n"
           "insert into goods values (1, N'钢笔', 12.5)\ninsert into goods values (2, 'ink', null)\ngo\n");
    ASSERT_EQ(r.exitCode, 0) << r.out;

    r = sql("master", "backup database Shop to disk = '" + backup + "'");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("BACKUP DATABASE successfully processed"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_regular_file(backup));

    r = sql("master", "restore filelistonly from disk = '" + backup + "'");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto list = dataRows(r.out);
    ASSERT_EQ(list.size(), 2u) << r.out;
    EXPECT_EQ(list[0].at(0), "Shop");
    EXPECT_EQ(list[1].at(0), "Shop_log");

    r = sql("master", "restore database Shop2 from disk = '" + backup + "' with move 'Shop' to '" + data +
                          "/Shop2.mdf', move 'Shop_log' to '" + data + "/Shop2_log.ldf'");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("RESTORE DATABASE successfully processed"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_regular_file(data + "/Shop2.mdf"));

    r = sql("Shop2", "select id, name, isnull(cast(price as varchar(10)), 'none') from goods order by id");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"1", "钢笔", "12.50"}, {"2", "ink", "none"}})) << r.out;

    r = sql("master", "select name from master..sysdatabases order by dbid");
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"master"}, {"Shop"}, {"Shop2"}})) << r.out;

    r = sql("master", "drop database Shop\ndrop database Shop2");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    r = sql("master", "select name from master..sysdatabases");
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"master"}})) << r.out;
    for (const char* file : {"/Shop.mdf", "/Shop_log.ldf", "/Shop2.mdf", "/Shop2_log.ldf"})
        EXPECT_FALSE(fs::exists(data + file)) << file;
    // The backup file is the tool's to keep.
    EXPECT_TRUE(fs::is_regular_file(backup));
}

}  // namespace
