// Conformance of queries at the edges: stars in grouped queries, long
// operator chains, set operators with parentheses and precedence, unknown
// functions and constructs the engine refuses by name, over-long names,
// the mathematical functions, and errors that must come out as SQL
// Server's own instead of the engine's internals.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;
using namespace std::string_literals;

namespace {

using Strings = std::vector<std::string>;

// "first op first op first ..." with `count` terms.
std::string chain(const std::string& term, const std::string& op, int count)
{
    std::string s = term;
    for (int i = 1; i < count; ++i)
        s += " " + op + " " + term;
    return s;
}

// An error's text must say nothing of SQLite or of the translated SQL.
void expectNoInternalText(const SqlError& e)
{
    EXPECT_NE(e.number, err::Internal) << e.message;
    for (const char* word : {"SQLite", "sqlite", "Internal", "vq_", "\"s1\"", "stack overflow"})
        EXPECT_EQ(e.message.find(word), std::string::npos) << e.message;
}

// ---- SELECT * in grouped queries ----------------------------------------

class GroupedStar : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table t (a int, b varchar(10))\n"
             "insert into t values (1, 'x')\n"
             "insert into t values (1, 'x')\n"
             "insert into t values (2, 'y')\n"
             "create table u (a int, c int)\n"
             "insert into u values (1, 10)");
    }
};

TEST_F(GroupedStar, StarStandsForGroupedColumns)
{
    ResultSet rs = rows("select * from t group by a, b order by a");
    ASSERT_EQ(rs.columns.size(), 2u);
    EXPECT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(column("select * from t group by b, a order by a"), (Strings{"1", "2"}));
    EXPECT_EQ(column("select t.* from t group by t.a, t.b order by 1"), (Strings{"1", "2"}));
    EXPECT_EQ(column("select x.*, count(*) from t x group by x.a, x.b order by 1"), (Strings{"1", "2"}));
    EXPECT_EQ(rows("select t.*, count(*) as n from t join u on u.a = t.a group by t.a, t.b").rows.size(), 1u);
}

TEST_F(GroupedStar, UngroupedColumnUnderStarIsError8120)
{
    struct Case {
        const char* sql;
        const char* column;
    } cases[] = {
        {"select * from t group by a", "t.b"},
        {"select t.* from t group by b", "t.a"},
        {"select x.* from t x group by x.a", "x.b"},
        {"select * from t join u on u.a = t.a group by t.a, t.b", "u.a"},
        {"select *, count(*) from t", "t.a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        SqlError e = errorOf(c.sql);
        EXPECT_EQ(e.number, 8120);
        EXPECT_EQ(e.message, "Column '"s + c.column +
                                 "' is invalid in the select list because it is not contained in either an "
                                 "aggregate function or the GROUP BY clause.");
    }
}

// ---- long operator chains -------------------------------------------------

class LongChains : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table n (i int, f float, d decimal(10,2), s varchar(5), big bigint)\n"
             "insert into n values (1, 0.5, 1.25, 'a', 3)");
    }
};

TEST_F(LongChains, ArithmeticChainsOfEveryTypeAreComputedFromLeftToRight)
{
    struct Case {
        std::string expression;
        std::string value;
    } cases[] = {
        {chain("1", "+", 95), "95"},
        {chain("1", "+", 1000), "1000"},
        {chain("i", "+", 3000), "3000"},
        {chain("i", "-", 1000), "-998"},
        {chain("2", "*", 30), "1073741824"},
        {chain("f", "+", 1000), "500"},
        {chain("d", "+", 1000), "1250"},
        {chain("big", "*", 20), "3486784401"},
        {chain("s", "+", 1000), std::string(1000, 'a').substr(0, 8000)},
        {chain("i", "|", 1000), "1"},
        {chain("i", "^", 1001), "1"},
        {"6 ^ 3 ^ 1", "4"},
        {"1 + " + chain("i", "*", 500) + " - 2", "0"},
        {chain("i", "+", 500) + " + null + " + chain("i", "+", 500), "<NULL>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression.substr(0, 40));
        EXPECT_EQ(text("select " + c.expression + " from n"), c.value);
    }
}

TEST_F(LongChains, IntOverflowInsideAChainIsStillError8115)
{
    // 2147483647 + 1 - 1: the intermediate result overflows.
    std::string sql = "select 2147483647 + " + chain("1", "+", 200) + " - 200";
    SqlError e = errorOf(sql);
    EXPECT_EQ(e.number, 8115);
    EXPECT_EQ(e.message, "Arithmetic overflow error converting expression to data type int.");
    EXPECT_EQ(text("select 2147483547 + " + chain("1", "+", 100) + " - 100"), "2147483547");
}

TEST_F(LongChains, LogicalChainsInWhereAndInViews)
{
    EXPECT_EQ(text("select count(*) from n where " + chain("i = 2", "or", 90) + " or i = 1"), "1");
    EXPECT_EQ(text("select count(*) from n where " + chain("i = 1", "and", 1000)), "1");
    EXPECT_EQ(text("select count(*) from n where " + chain("i = 2", "or", 1500)), "0");
    EXPECT_EQ(text("select case when " + chain("(i = 2 or i = 1)", "and", 300) + " then 'y' end from n"), "y");
    exec("create view v_sum as select " + chain("i", "+", 95) + " as total, 1 as one from n where " +
         chain("i = 3", "or", 90) + " or i = 1");
    EXPECT_EQ(text("select total from v_sum"), "95");
    exec("create view v_long as select " + chain("i", "+", 1000) + " as total from n");
    EXPECT_EQ(text("select total + 1 from v_long"), "1001");
}

TEST_F(LongChains, ExtremeNestingIsError191)
{
    const std::string nested = std::string(600, '(') + "1" + std::string(600, ')');
    SqlError e = errorOf("select " + nested);
    EXPECT_EQ(e.number, 191);
    EXPECT_EQ(e.message,
              "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into smaller "
              "queries.");
    // A chain far beyond what any program writes is refused the same way,
    // not by running out of stack.
    e = errorOf("select " + chain("1", "+", 100000));
    EXPECT_EQ(e.number, 191);
}

// ---- errors that must not show the engine's internals -------------------

TEST_F(EngineFixture, SelectListOfMoreThan4096ElementsIsError1056)
{
    SqlError e = errorOf("select " + chain("1", ",", 100000));
    EXPECT_EQ(e.number, 1056);
    EXPECT_EQ(e.message,
              "The number of elements in the select list exceeds the maximum allowed number of 4096 elements.");
    expectNoInternalText(errorOf("select " + chain("1", ",", 3000)));
}

TEST_F(EngineFixture, ViewOverADroppedTableIsError208And4413)
{
    exec("create table base (k int)");
    exec("create view vb as select k from base");
    exec("drop table base");
    BatchResult r = run("select * from vb");
    ASSERT_EQ(r.errors.size(), 2u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 208);
    EXPECT_EQ(r.errors[0].message, "Invalid object name 'base'.");
    EXPECT_EQ(r.errors[1].number, 4413);
    EXPECT_EQ(r.errors[1].message, "Could not use view or function 'vb' because of binding errors.");
}

TEST_F(EngineFixture, OddInputGivesNoInternalText)
{
    const std::string cases[] = {
        "select 1 as [a\0b]"s,
        "select 'a\0b' as x, N'\0' as y where 'a\0' like '%\0'"s,
        "create table [t\0x] (a int)"s,
        "select space(2000000000)",
        "select replicate('ab', 1500000000)",
    };
    for (const std::string& sql : cases) {
        SCOPED_TRACE(sql);
        BatchResult r = run(sql);
        for (const SqlError& e : r.errors)
            expectNoInternalText(e);
    }
}

// ---- set operators ----------------------------------------------------------

TEST_F(EngineFixture, SetOperatorsFollowParenthesesAndPrecedence)
{
    struct Case {
        const char* sql;
        Strings values;
    } cases[] = {
        {"select 3 except (select 3 intersect select 4)", {"3"}},
        {"select 3 except select 3 intersect select 4", {"3"}},
        {"(select 3 except select 3) intersect select 4", {}},
        {"(select 1 union select 2) intersect select 2", {"2"}},
        {"select 1 union select 2 intersect select 2 order by 1", {"1", "2"}},
        {"select 1 union select 2 except select 1", {"2"}},
        {"select 1 union (select 2 except select 1) order by 1", {"1", "2"}},
        {"select 2 union all select 1 union all (select 1 union select 1) order by 1 desc", {"2", "1", "1"}},
        {"(select 5 as v union select 4) order by v", {"4", "5"}},
        {"((select 1 union select 2)) union select 3 order by 1 desc", {"3", "2", "1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(column(c.sql), c.values);
    }
    // Texts compare without regard to case in every operand.
    EXPECT_EQ(rows("select 'a' union (select 'A' intersect select 'a')").rows.size(), 1u);
    ResultSet rs = rows("(select 1 as first union select 2) intersect select 2");
    ASSERT_EQ(rs.columns.size(), 1u);
    EXPECT_EQ(rs.columns[0].name, "first");
}

TEST_F(EngineFixture, LongUnionChains)
{
    EXPECT_EQ(text("select count(*) from (" + chain("select 1 as x", "union all", 1200) + ") d"), "1200");
    EXPECT_EQ(text("select count(*) from (" + chain("select 1 as x", "union", 600) + ") d"), "1");
}

// ---- unknown functions and constructs refused by name ---------------------

TEST_F(EngineFixture, UnknownFunctionIsError195BeforeAnythingRuns)
{
    BatchResult r = run("print 'ran'\nselect foo(1)");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].number, 195);
    EXPECT_EQ(r.errors[0].message, "'foo' is not a recognized built-in function name.");
    EXPECT_EQ(r.errors[0].line, 2);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(errorOf("select MyFunc()").message, "'MyFunc' is not a recognized built-in function name.");
    SqlError e = errorOf("select dbo.nothere(1)");
    EXPECT_EQ(e.number, 4121);
    EXPECT_EQ(e.message,
              "Cannot find either column \"dbo\" or the user-defined function or aggregate \"dbo.nothere\", or "
              "the name is ambiguous.");
}

TEST_F(EngineFixture, UnsupportedConstructsAreRefusedByNameBeforeAnythingRuns)
{
    exec("create table t (a int)");
    struct Case {
        std::string statement;
        std::string construct;
        int column;
    } cases[] = {
        {"waitfor (receive top (1) * from q)", "WAITFOR (RECEIVE ...)", 1},
        {"create procedure p;2 as select 1", "numbered procedures (;number)", 19},
        {"create function f() returns int as begin return 1 end", "CREATE FUNCTION", 1},
        {"with xmlnamespaces ('urn:x' as x) select 1", "WITH XMLNAMESPACES", 1},
        {"merge t using t as s on 1 = 1 when matched then delete;", "MERGE", 1},
        {"goto done", "GOTO", 1},
        {"declare @t table (a int)", "table variables (DECLARE @v TABLE)", 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        BatchResult r = run("print 'ran'\n" + c.statement);
        ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
        EXPECT_EQ(r.errors[0].number, err::Unsupported);
        EXPECT_EQ(r.errors[0].message, "The engine does not support " + c.construct + " (line 2, column " +
                                           std::to_string(c.column) + ").");
        EXPECT_TRUE(r.messages.empty());
    }
}

// ---- names longer than 128 characters ------------------------------------

TEST_F(EngineFixture, IdentifiersLongerThan128CharactersAreError103)
{
    const std::string ok(128, 'n');
    const std::string tooLong = std::string(128, 'n') + "x";
    exec("create table [" + ok + "] (" + ok + " int)");
    EXPECT_EQ(text("select count(*) from " + ok), "0");
    const std::string expected = "The identifier that starts with '" + ok + "' is too long. Maximum length is 128.";
    const std::string cases[] = {
        "select 1 as " + tooLong,
        "create table " + tooLong + " (a int)",
        "select 1 as [" + tooLong + "]",
        "select 1 as \"" + tooLong + "\"",
        "declare @" + std::string(127, 'n') + "x int",
    };
    for (const std::string& sql : cases) {
        SCOPED_TRACE(sql);
        SqlError e = errorOf(sql);
        EXPECT_EQ(e.number, 103);
        EXPECT_EQ(e.message, sql.rfind("declare", 0) == 0 ? "The identifier that starts with '@" +
                                                                 std::string(127, 'n') +
                                                                 "' is too long. Maximum length is 128."
                                                           : expected);
    }
    exec("declare @" + std::string(127, 'n') + " int");
    // Characters, not bytes: 128 Chinese characters are a valid name.
    std::string chinese;
    for (int i = 0; i < 128; ++i)
        chinese += "名";
    exec("create table [" + chinese + "] (a int)");
}

// ---- mathematical functions -----------------------------------------------

TEST_F(EngineFixture, MathematicalFunctions)
{
    struct Case {
        const char* expression;
        const char* value;
    } cases[] = {
        {"round(exp(1), 6)", "2.718282"},
        {"exp(0)", "1"},
        {"log(1)", "0"},
        {"round(log(10), 6)", "2.302585"},
        {"log10(1000)", "3"},
        {"square(3)", "9"},
        {"sqrt(16)", "4"},
        {"power(2, 10)", "1024"},
        {"round(pi(), 6)", "3.141593"},
        {"sin(0)", "0"},
        {"cos(0)", "1"},
        {"round(tan(pi() / 4), 6)", "1"},
        {"round(cot(pi() / 4), 6)", "1"},
        {"round(asin(1), 6)", "1.570796"},
        {"acos(1)", "0"},
        {"round(atan(1), 6)", "0.785398"},
        {"round(atn2(1, 1), 6)", "0.785398"},
        {"degrees(pi())", "180"},
        {"radians(180.0e0)", "3.141592653589793"},
        {"radians(1)", "0"},
        {"degrees(1)", "57"},
        {"log(null)", "<NULL>"},
        {"exp('1') - exp(1)", "0"},
        {"case when rand() >= 0 and rand() < 1 then 1 end", "1"},
        {"case when rand(7) = rand(7) then 1 end", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(text("select "s + c.expression), c.value);
    }
}

TEST_F(EngineFixture, MathematicalDomainErrorsAre3623)
{
    for (const char* expression : {"log(0)", "log(-1)", "log10(0)", "log10(-5)", "sqrt(-1)", "asin(2)",
                                   "acos(-1.5)", "cot(0)"}) {
        SCOPED_TRACE(expression);
        SqlError e = errorOf("select "s + expression);
        EXPECT_EQ(e.number, 3623);
        EXPECT_EQ(e.message, "An invalid floating point operation occurred.");
    }
    SqlError e = errorOf("select exp(1000)");
    EXPECT_EQ(e.number, 8115);
    EXPECT_EQ(e.message, "Arithmetic overflow error converting expression to data type float.");
}

}  // namespace
