// Long scripts (batches of many statements, as vqsql sends a script file)
// are read statement by statement as they run, yet SQL Server's batch
// rules hold: an error found while compiling rejects the whole batch
// before any of it runs, and variables are known from their DECLARE on.
#include "conformance_fixture.h"

namespace vqsql::conformance {
namespace {

// Enough inserts to make a script of well over 64 KB, one per line.
std::string manyInserts(int count, int from = 0)
{
    std::string s;
    for (int i = from; i < from + count; ++i)
        s += "insert into Script (k, note) values (" + std::to_string(i) + ", 'row ''" + std::to_string(i) +
             "'' of the script, padded to make the text long')\n";
    return s;
}

constexpr int kRows = 2000;

class LongScripts : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table Script (k int primary key, note varchar(80))");
    }
    std::string count() { return text("select count(*) from Script"); }
};

TEST_F(LongScripts, RunsEveryStatement)
{
    const std::string script = manyInserts(kRows);
    ASSERT_GT(script.size(), 128u * 1024u);
    BatchResult r = run(script);
    EXPECT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(count(), std::to_string(kRows));
    EXPECT_EQ(text("select note from Script where k = 1234"), "row '1234' of the script, padded to make the text long");
}

TEST_F(LongScripts, KeepTheConnectionsQuotedIdentifierSetting)
{
    exec("set quoted_identifier off");
    BatchResult r = run(manyInserts(kRows) + "insert into Script (k, note) values (-1, \"it's\")\n");
    EXPECT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(text("select note from Script where k = -1"), "it's");
}

struct RejectedScript {
    const char* name;
    const char* tail;   // the script's last lines
    int error;
    int line;           // counted from the first line of the tail
};

void PrintTo(const RejectedScript& c, std::ostream* os) { *os << c.name; }

class LongScriptsRejected : public LongScripts, public ::testing::WithParamInterface<RejectedScript> {};

TEST_P(LongScriptsRejected, NothingOfTheScriptRuns)
{
    const RejectedScript& c = GetParam();
    BatchResult r = run("declare @n int\nset @n = 0\n" + manyInserts(kRows) + c.tail);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors.front().number, c.error) << describeErrors(r);
    EXPECT_EQ(r.errors.front().line, 2 + kRows + c.line) << describeErrors(r);
    EXPECT_EQ(count(), "0");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LongScriptsRejected,
    ::testing::Values(RejectedScript{"SyntaxError", "select 1\nselect * fro Script where\n", 102, 2},
                      RejectedScript{"KeywordError", "insert into Script values (1, 'x') where\n", 156, 1},
                      RejectedScript{"UnclosedQuote", "select 1\nselect 'abc\n", 105, 2},
                      RejectedScript{"DeclaredTwice", "declare @n int\n", 134, 1},
                      RejectedScript{"ViewNotFirst", "create view V as select 1 as x\n", 111, 1}));

TEST_F(LongScripts, VariablesKeepTheirValuesAcrossTheScript)
{
    std::string script = "declare @n int, @last varchar(80)\nset @n = 0\n";
    for (int i = 0; i < kRows; ++i)
        script += "insert into Script (k, note) values (" + std::to_string(i) +
                  ", 'note number " + std::to_string(i) + " of a long script, padded a bit') set @n = @n + 1\n";
    script += "select @last = note from Script where k = 7\nselect @n, @last";
    BatchResult r = run(script);
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.at(0)[0].toString(), std::to_string(kRows));
    EXPECT_EQ(r.resultSets[0].rows.at(0)[1].toString(), "note number 7 of a long script, padded a bit");
}

TEST_F(LongScripts, StatementErrorsLeaveTheRestRunning)
{
    // A duplicate key in the middle fails that statement only (2627), as
    // in SQL Server.
    const std::string script = manyInserts(kRows / 2) + manyInserts(1, 10) + manyInserts(kRows / 2, kRows / 2);
    BatchResult r = run(script);
    ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
    EXPECT_EQ(r.errors.front().number, 2627);
    EXPECT_EQ(r.errors.front().line, kRows / 2 + 1);
    EXPECT_EQ(count(), std::to_string(kRows));
}

}  // namespace
}  // namespace vqsql::conformance
