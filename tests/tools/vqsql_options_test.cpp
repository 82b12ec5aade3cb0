// Tests of vqsql's options: -h, -W, -o, -b, -v, -E, -q and the help text,
// with the output sqlcmd prints for them.
#include "vqsql_fixture.h"

namespace {

using namespace vqsqltest;
namespace fs = std::filesystem;

// An int column's header as sqlcmd pads it: to the column's width of 11.
const std::string kHeaderA = "a          \n-----------\n";

TEST_F(VqsqlTest, HeaderComesAgainEveryNRows)
{
    const auto r = vqsql({"-h", "2", "-Q", "select 1 as a union all select 2 union all select 3"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, kHeaderA + "          1\n          2\n\n" + kHeaderA + "          3\n\n(3 rows affected)\n");
}

TEST_F(VqsqlTest, MinusOneHeadersPrintsNeitherHeaderNorDashes)
{
    const auto r = vqsql({"-h-1", "-Q", "select 1 as a union all select 2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "          1\n          2\n\n(2 rows affected)\n");
}

TEST_F(VqsqlTest, NocountLeavesOutTheRowCounts)
{
    const auto r = vqsql({"-h", "-1", "-W", "-Q", "set nocount on; create table t (a int); insert into t values (7); select a from t"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "7\n");
}

TEST_F(VqsqlTest, HeaderIntervalMustBeMinusOneOrPositive)
{
    for (const char* value : {"0", "-2", "x", "2x", ""}) {
        const auto r = vqsql({"-h", value, "-Q", "select 1"});
        EXPECT_EQ(r.exitCode, 1) << value;
        EXPECT_NE(r.err.find("-h"), std::string::npos) << value << ": " << r.err;
        EXPECT_EQ(r.out, "") << value;
    }
    // -h used to mean help; now it wants its value.
    EXPECT_EQ(vqsql({"-h"}).exitCode, 1);
}

TEST_F(VqsqlTest, TrimmedOutputDropsTheSpacesOfCharValues)
{
    ASSERT_EQ(vqsql({"-Q", "create table c (x char(5), y int) insert into c values ('ab', 1)"}).exitCode, 0);
    const auto r = vqsql({"-W", "-s", "|", "-Q", "select x, y from c"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "x|y\n--|-\nab|1\n\n(1 rows affected)\n");
    // Without -W the char(5) value keeps its width.
    const auto padded = vqsql({"-s", "|", "-Q", "select x from c"});
    EXPECT_EQ(padded.out, "x    \n-----\nab   \n\n(1 rows affected)\n");
}

TEST_F(VqsqlTest, OutputFileTakesResultsAndErrors)
{
    const fs::path file = folder_ / "out.txt";
    const auto r = vqsql({"-o", file.string(), "-h", "-1"}, "select 5\ngo\nselect * from missing_t\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    const std::string written = readFile(file);
    EXPECT_EQ(written.rfind("          5\n\n(1 rows affected)\nMsg 208, Level 16, State 1, Server ", 0), 0u) << written;
    EXPECT_NE(written.find("Invalid object name 'missing_t'."), std::string::npos) << written;

    const auto unwritable = vqsql({"-o", (folder_ / "no" / "such" / "dir.txt").string(), "-Q", "select 1"});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.err.find("cannot open the output file"), std::string::npos) << unwritable.err;
}

// -b stops at the first failing batch; without it every batch runs, and
// either way a failure makes the exit code 1.
TEST_F(VqsqlTest, StopOnErrorEndsAtTheFirstFailingBatch)
{
    const auto script = writeScript("fails.sql",
                                    "print 'first'\ngo\n"
                                    "select * from missing_t\ngo\n"
                                    "print 'third'\ngo\n");
    struct Case {
        std::vector<std::string> args;
        bool thirdRuns;
    };
    for (const Case& c : {Case{{"-i", script.string()}, true},
                          Case{{"-b", "-i", script.string()}, false},
                          Case{{"-b", "-i", script.string() + "," + script.string()}, false}}) {
        const auto r = vqsql(c.args);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_EQ(count(r.out, "first\n"), 1) << r.out;
        EXPECT_EQ(count(r.out, "Invalid object name 'missing_t'."), 1) << r.out;
        EXPECT_EQ(r.out.find("third") != std::string::npos, c.thirdRuns) << r.out;
    }
    // Nothing failed: exit code 0 with -b too.
    EXPECT_EQ(vqsql({"-b", "-Q", "select 1"}).exitCode, 0);
}

TEST_F(VqsqlTest, VariablesFromTheCommandLineAndTheEnvironment)
{
    setEnvironment("VQ_FROM_ENV", "env value");
    // Several pairs after one -v, several -v, names in any letter case.
    const auto r = vqsql({"-h", "-1", "-W", "-v", "a=1", "Word=two words", "-v", "n=3", "-Q",
                          "select $(a) + $(N), '$(word)', '$(VQ_FROM_ENV)'"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "4 two words env value\n\n(1 rows affected)\n");

    // "-vname=value" written as one word; a value may name an object.
    const auto name = vqsql({"-vtab=nothing_here", "-Q", "select * from $(TAB)"});
    EXPECT_NE(name.out.find("Invalid object name 'nothing_here'."), std::string::npos) << name.out;

    // -v beats the environment.
    const auto over = vqsql({"-v", "VQ_FROM_ENV=mine", "-Q", "print '$(VQ_FROM_ENV)'"});
    EXPECT_EQ(over.out, "mine\n");
}

TEST_F(VqsqlTest, UndefinedVariableStopsItsBatchOnly)
{
    const auto r = vqsql({"-h", "-1"}, "print 'before'\nselect $(nope)\ngo\nprint 'after'\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "'nope' scripting variable not defined.\nafter\n");
}

TEST_F(VqsqlTest, BadVariableArguments)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-v", "novalue", "-Q", "select 1"}, {"-v", "1x=2", "-Q", "select 1"}, {"-v"}}) {
        const auto r = vqsql(args);
        EXPECT_EQ(r.exitCode, 1) << args.size();
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(VqsqlTest, TrustedConnectionNeedsNoPassword)
{
    // The test owns the instance folder it made.
    const auto r = vqsql({"-E", "-W", "-h", "-1", "-Q", "select suser_sname()"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "sa\n\n(1 rows affected)\n");

    const auto mixed = vqsql({"-E", "-P", "x", "-Q", "select 1"});
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_NE(mixed.err.find("-E cannot be combined with -U or -P"), std::string::npos) << mixed.err;
}

TEST_F(VqsqlTest, UseSaysWhichDatabaseIsCurrent)
{
    ASSERT_EQ(vqsql({"-Q", "create database Shop"}).exitCode, 0);
    const auto r = vqsql({"-h", "-1", "-W"}, "use shop\ngo\nselect db_name()\n");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "Changed database context to 'Shop'.\nShop\n\n(1 rows affected)\n");
}

TEST_F(VqsqlTest, InitialQueryRunsBeforeStandardInput)
{
    const auto r = vqsql({"-q", ":setvar n 4\nprint 'from -q'", "-h", "-1"}, "print '$(n) from input'\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "from -q\n4 from input\n");
    EXPECT_EQ(vqsql({"-q", "select 1", "-Q", "select 2"}).exitCode, 1);
}

TEST_F(VqsqlTest, HelpNamesEveryOptionAndCommand)
{
    const auto help = vqsql({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* item : {"-S ", "-U ", "-P ", "-E ", "-d ", "-Q ", "-q ", "-i ", "-o ", "-b ", "-v ", "-h ",
                             "-W ", "-s ", "-?", "GO [count]", "EXIT", "EXIT()", "EXIT(query)", "QUIT", "RESET",
                             ":r ", ":setvar", ":listvar", ":on error", "!!", "$(name)", "VQSQL_HOME",
                             "~/.local/share/vqsql", "init", "start", "stop", "status", "password"})
        EXPECT_NE(help.out.find(item), std::string::npos) << item;
}

}  // namespace
