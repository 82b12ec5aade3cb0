// Tests of the commands vqsql carries out at the start of a script line
// (EXIT, QUIT, RESET, :r, :setvar, :listvar, :on error, !!) and of
// scripting variables, in standard input, -i files and -Q.
#include "vqsql_fixture.h"

namespace {

using namespace vqsqltest;
namespace fs = std::filesystem;

struct EndCase {
    const char* name;
    const char* input;
    std::vector<Row> rows;   // what ran
    int exitCode;
};

// Test names show the case's name, not its bytes.
void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.name;
}

class VqsqlEndingTest : public VqsqlTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(VqsqlEndingTest, RunsWhatTheCommandSaysAndExits)
{
    const EndCase& c = GetParam();
    const auto r = vqsql({}, c.input);
    EXPECT_EQ(dataRows(r.out), c.rows) << r.out;
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, VqsqlEndingTest,
    ::testing::Values(
        EndCase{"ExitDropsTheBatch", "select 1 as a\nexit\nselect 2 as b\n", {}, 0},
        EndCase{"ExitParenthesesRunTheBatch", "select 1 as a\n  EXIT()\nselect 2 as b\n", {{"1"}}, 0},
        EndCase{"ExitQueryGivesTheExitCode", "select 1 as a\n:exit(select 7 as code)\nselect 2 as b\n",
                {{"1"}, {"7"}}, 7},
        EndCase{"ExitQueryOfNoNumber", "exit(select 'x' as t)\n", {{"x"}}, 0},
        EndCase{"QuitDropsTheBatch", "select 1 as a\ngo\nQuit\nselect 2 as b\n", {{"1"}}, 0},
        EndCase{"ExitAfterAFailureStillFails", "select * from missing_t\ngo\n:EXIT\n", {}, 1},
        EndCase{"ResetClearsTheBatch", "select 1 as a\nreset\nselect 2 as b\n", {{"2"}}, 0},
        EndCase{"ColonResetAnyCase", "select 1 as a\n:ReSeT\nselect 2 as b\ngo\n", {{"2"}}, 0},
        // Text after the word is SQL, not a command.
        EndCase{"WordsThatStartLikeCommands", "select 1 as a,\nexit_code = 2,\nquit_flag = 3\ngo\nselect 4 as reset\n",
                {{"1", "2", "3"}, {"4"}}, 0}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

TEST_F(VqsqlTest, SetvarSetsQuotesAndRemoves)
{
    setEnvironment("VQ_SHADOWED", "from the environment");
    const auto r = vqsql({"-h", "-1", "-W"},
                         ":setvar greeting hello\n"
                         ":SETVAR Spaced \"two \"\"quoted\"\" words\"\n"
                         ":setvar vq_shadowed mine\n"
                         "print '$(GREETING) $(spaced) $(VQ_SHADOWED)'\n"
                         "go\n"
                         ":setvar vq_shadowed\n"
                         ":setvar greeting\n"
                         "print '$(VQ_SHADOWED)'\n"
                         "go\n"
                         "print '$(greeting)'\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "hello two \"quoted\" words mine\n"
                     "from the environment\n"
                     "'greeting' scripting variable not defined.\n");
}

TEST_F(VqsqlTest, SetvarTakesEffectFromItsLineOn)
{
    const auto r = vqsql({"-h", "-1", "-W"}, ":setvar n 1\nselect $(n)\n:setvar n 2\nselect $(n)\n");
    EXPECT_EQ(r.out, "1\n\n(1 rows affected)\n2\n\n(1 rows affected)\n");
}

TEST_F(VqsqlTest, ListvarShowsTheVariablesSet)
{
    const auto r = vqsql({"-v", "from_v=1"}, ":setvar mine \"a b\"\n:listvar\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("from_v = \"1\"\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("mine = \"a b\"\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SQLCMDDBNAME = \"master\"\n"), std::string::npos) << r.out;
}

TEST_F(VqsqlTest, WronglyWrittenCommandsAreSyntaxErrors)
{
    const auto script = writeScript("bad.sql",
                                    ":setvar\n"
                                    ":setvar 9lives x\n"
                                    ":setvar x two words\n"
                                    ":on error maybe\n"
                                    ":r\n"
                                    ":frobnicate\n"
                                    ":connect otherhost\n"
                                    "print 'went on'\n");
    const auto r = vqsql({"-i", script.string()});
    EXPECT_EQ(r.exitCode, 1);
    const std::string file = " in file '" + script.string() + "'.\n";
    EXPECT_EQ(r.out, "vqsql: Error: Syntax error at line 1 near command ':setvar'" + file +
                         "vqsql: Error: Syntax error at line 2 near command ':setvar'" + file +
                         "vqsql: Error: Syntax error at line 3 near command ':setvar'" + file +
                         "vqsql: Error: Syntax error at line 4 near command ':on'" + file +
                         "vqsql: Error: Syntax error at line 5 near command ':r'" + file +
                         "vqsql: Error: Syntax error at line 6 near command ':frobnicate'" + file +
                         "vqsql: Error: The command ':connect' is not supported.\n"
                         "went on\n");
}

TEST_F(VqsqlTest, IncludedFilesJoinTheBatchWhereTheyStand)
{
    writeScript("inner.sql", ":setvar depth two\nselect 2 as n\ngo\nselect 3 as n\n");
    writeScript("middle.sql", ":r \"" + (folder_ / "inner.sql").string() + "\"\nunion all select 4\n");
    const auto outer = writeScript("outer.sql",
                                   "select 1 as n\ngo\n"
                                   ":R " + (folder_ / "middle.sql").string() + "\n"
                                   "go\n"
                                   "print '$(depth)'\n");
    const auto r = vqsql({"-i", outer.string()});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    // inner's text after its GO and middle's union make one batch.
    EXPECT_EQ(dataRows(r.out), (std::vector<Row>{{"1"}, {"2"}, {"3"}, {"4"}})) << r.out;
    EXPECT_NE(r.out.find("\ntwo\n"), std::string::npos) << r.out;
}

TEST_F(VqsqlTest, IncludeProblemsAreErrors)
{
    const std::string missing = (folder_ / "missing.sql").string();
    const auto absent = vqsql({}, ":r " + missing + "\nprint 'after'\n");
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_EQ(absent.out, "vqsql: Error: The file '" + missing + "' cannot be opened.\nafter\n");

    // A file that reads itself stops at the nesting bound instead of looping.
    const auto self = writeScript("self.sql", "print 'in'\n:r " + (folder_ / "self.sql").string() + "\n");
    const auto r = vqsql({"-i", self.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(count(r.out, "nest deeper than 16 levels"), 1) << r.out;
    EXPECT_EQ(count(r.out, "in\n"), 17) << r.out;
}

TEST_F(VqsqlTest, OnErrorSwitchesBetweenStoppingAndGoingOn)
{
    const auto r = vqsql({"-h", "-1"},
                         ":on error exit\n:on error ignore\n"
                         "select * from missing_one\ngo\nprint 'ignored'\ngo\n"
                         ":On Error Exit\n"
                         "select * from missing_two\ngo\nprint 'never'\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("'missing_one'"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ignored\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("'missing_two'"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("never"), std::string::npos) << r.out;

    // An undefined variable is a failure too.
    const auto variable = vqsql({}, ":on error exit\nprint '$(undefined_one)'\ngo\nprint 'never'\n");
    EXPECT_EQ(variable.exitCode, 1);
    EXPECT_EQ(variable.out, "'undefined_one' scripting variable not defined.\n");
}

TEST_F(VqsqlTest, ShellCommandOutputComesInItsPlace)
{
    const fs::path file = folder_ / "out.txt";
    const auto r = vqsql({"-o", file.string(), "-v", "word=four"},
                         "print 'one'\ngo\n!! echo two; echo three >&2\n:!! printf '%s\\n' $(word)\nprint 'five'\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(file), "one\ntwo\nthree\nfour\nfive\n");
}

TEST_F(VqsqlTest, CommandLineBatchTakesCommandsAndVariables)
{
    const auto r = vqsql({"-h", "-1", "-W", "-Q", ":setvar x 5\nselect $(x) * 2"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "10\n\n(1 rows affected)\n");
}

}  // namespace
