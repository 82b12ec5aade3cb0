// Tests of vqsql, the engine's command-line tool: each test runs the built
// program as a separate process against a throwaway instance folder
// (VQSQL_HOME points at a temporary folder, the data source is ".") and
// checks what it prints and its exit code.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef VQSQL_BINARY
#error "VQSQL_BINARY must name the vqsql program"
#endif

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;   // standard output
    std::string err;   // standard error
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Quotes a word for /bin/sh.
std::string shellQuote(const std::string& word)
{
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

class VqsqlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vqsql-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        instance_ = folder_ / "instance";
        fs::create_directories(instance_);
        ASSERT_EQ(vqsql({"--init"}).exitCode, 0);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Runs vqsql with the arguments, `input` on its standard input, in the
    // test's own instance.
    RunResult vqsql(const std::vector<std::string>& args, const std::string& input = "")
    {
        const fs::path in = folder_ / "stdin.txt";
        const fs::path out = folder_ / "stdout.txt";
        const fs::path err = folder_ / "stderr.txt";
        std::ofstream(in, std::ios::binary) << input;

        std::string command = "VQSQL_HOME=" + shellQuote(instance_.string()) + " " + shellQuote(VQSQL_BINARY);
        for (const auto& arg : args)
            command += " " + shellQuote(arg);
        command += " <" + shellQuote(in.string()) + " >" + shellQuote(out.string()) + " 2>"
            + shellQuote(err.string());

        RunResult result;
        const int status = std::system(command.c_str());
        if (status != -1 && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = readFile(out);
        result.err = readFile(err);
        return result;
    }

    fs::path writeScript(const std::string& name, const std::string& text)
    {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    fs::path folder_;
    fs::path instance_;
};

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

bool isDashLine(const std::string& line)
{
    return line.find('-') != std::string::npos && line.find_first_not_of("- ") == std::string::npos;
}

// The rows of every result set in the output, each split into words: the
// lines between a line of dashes and the blank line before "(N rows affected)".
std::vector<std::vector<std::string>> dataRows(const std::string& output)
{
    std::vector<std::vector<std::string>> rows;
    bool inRows = false;
    for (const auto& line : lines(output)) {
        if (isDashLine(line)) {
            inRows = true;
            continue;
        }
        if (line.empty()) {
            inRows = false;
            continue;
        }
        if (inRows)
            rows.push_back(words(line));
    }
    return rows;
}

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

using Row = std::vector<std::string>;

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

    ASSERT_EQ(on({"start"}).exitCode, 0);
    EXPECT_EQ(status(), "running\n");
    const auto again = on({"-P", "pw", "-Q", "select 6 * 7 as n"});
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_EQ(dataRows(again.out), (std::vector<Row>{{"42"}})) << again.out;

    // A second init of the same folder is refused and changes nothing.
    EXPECT_EQ(on({"init", "-P", "other"}).exitCode, 1);
    EXPECT_EQ(on({"-P", "pw", "-Q", "select 1"}).exitCode, 0);
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
