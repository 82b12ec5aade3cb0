// Conformance of the built-in functions and operators the program uses,
// evaluated by whole SELECT statements: text functions, ROUND and ABS,
// CAST/CONVERT, GETDATE, CASE and the '+' operator's typing rules.
#include "conformance_fixture.h"

#include <cstdlib>
#include <ctime>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

struct ExprCase {
    const char* expr;       // placed after SELECT
    const char* expected;   // as text; "<NULL>" for NULL
};

std::ostream& operator<<(std::ostream& os, const ExprCase& c) { return os << c.expr; }

class ConformanceFunctions : public EngineFixture, public ::testing::WithParamInterface<ExprCase> {};

TEST_P(ConformanceFunctions, GivesSqlServersResult)
{
    EXPECT_EQ(text(std::string("select ") + GetParam().expr), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ConformanceIsNullAndLen, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"isnull(null, 'x')", "x"},
        ExprCase{"isnull('a', 'x')", "a"},
        ExprCase{"isnull(5, 0)", "5"},
        ExprCase{"isnull(max(1), 0) + 1", "2"},
        ExprCase{"ISNULL(NULL, 0) + 1", "1"},
        ExprCase{"len('abc')", "3"},
        ExprCase{"len('abc   ')", "3"},
        ExprCase{"len('   abc')", "6"},
        ExprCase{"len('')", "0"},
        ExprCase{"len('   ')", "0"},
        ExprCase{"len(null)", "<NULL>"},
        ExprCase{"len(N'中文')", "2"},
        ExprCase{"len('中文ab')", "4"},
        ExprCase{"len(12345)", "5"}));

INSTANTIATE_TEST_SUITE_P(
    ConformanceSubstring, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"substring('abcdef', 2, 3)", "bcd"},
        ExprCase{"substring('abcdef', 1, 1)", "a"},
        ExprCase{"substring('abcdef', 0, 3)", "ab"},
        ExprCase{"substring('abcdef', -1, 3)", "a"},
        ExprCase{"substring('abcdef', -5, 3)", ""},
        ExprCase{"substring('abcdef', 5, 10)", "ef"},
        ExprCase{"substring('abcdef', 7, 2)", ""},
        ExprCase{"substring('abcdef', 10, 2)", ""},
        ExprCase{"substring('abcdef', 3, 0)", ""},
        ExprCase{"substring(N'中文字', 2, 1)", "文"},
        ExprCase{"substring(null, 1, 2)", "<NULL>"}));

INSTANTIATE_TEST_SUITE_P(
    ConformanceTextFunctions, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"replicate('ab', 3)", "ababab"},
        ExprCase{"replicate('0', 1)", "0"},
        ExprCase{"replicate('0', 0)", ""},
        ExprCase{"replicate('x', -1)", "<NULL>"},
        ExprCase{"upper('aBc1')", "ABC1"},
        ExprCase{"lower('AbC1')", "abc1"},
        ExprCase{"upper(N'中a')", "中A"},
        ExprCase{"'[' + ltrim('  a  ') + ']'", "[a  ]"},
        ExprCase{"'[' + rtrim('  a  ') + ']'", "[  a]"},
        ExprCase{"'[' + ltrim(rtrim('  a b  ')) + ']'", "[a b]"},
        ExprCase{"charindex('c', 'abcabc')", "3"},
        ExprCase{"charindex('c', 'abcabc', 4)", "6"},
        ExprCase{"charindex('bc', 'abcabc')", "2"},
        ExprCase{"charindex('z', 'abc')", "0"},
        ExprCase{"charindex('B', 'abc')", "2"},
        ExprCase{"charindex(N'文', N'中文')", "2"}));

INSTANTIATE_TEST_SUITE_P(
    ConformanceNumbers, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"abs(-5)", "5"},
        ExprCase{"abs(5)", "5"},
        ExprCase{"abs(-1.5)", "1.5"},
        ExprCase{"abs(null)", "<NULL>"},
        ExprCase{"cast(round(123.456, 2) as varchar(20))", "123.460"},
        ExprCase{"cast(round(123.454, 2) as varchar(20))", "123.450"},
        ExprCase{"cast(round(123.456, -1) as varchar(20))", "120.000"},
        ExprCase{"cast(round(2.5, 0) as varchar(20))", "3.0"},
        ExprCase{"cast(round(-2.5, 0) as varchar(20))", "-3.0"},
        ExprCase{"cast(round(150.75, 0) as varchar(20))", "151.00"},
        ExprCase{"round(1234, -2)", "1200"},
        ExprCase{"7 / 2", "3"},
        ExprCase{"-7 / 2", "-3"},
        ExprCase{"7 % 3", "1"},
        ExprCase{"cast(7 / 2.0 as varchar(20))", "3.500000"}));

INSTANTIATE_TEST_SUITE_P(
    ConformanceCastAndConvert, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"cast('123' as int)", "123"},
        ExprCase{"cast(' 42 ' as int)", "42"},
        ExprCase{"cast(3.9 as int)", "3"},
        ExprCase{"cast(-3.9 as int)", "-3"},
        ExprCase{"convert(int, '42')", "42"},
        ExprCase{"cast(cast(1.23456 as numeric(10,2)) as varchar(20))", "1.23"},
        ExprCase{"cast(cast(1.235 as numeric(10,2)) as varchar(20))", "1.24"},
        ExprCase{"cast(cast('12.345' as numeric(10,2)) as varchar(20))", "12.35"},
        ExprCase{"cast(cast(5 as numeric(10,2)) as varchar(20))", "5.00"},
        ExprCase{"cast(123 as varchar(10))", "123"},
        ExprCase{"cast('abcdef' as varchar(3))", "abc"},
        ExprCase{"convert(varchar(3), 'abcdef')", "abc"},
        ExprCase{"cast(-12 as varchar(10)) + 'x'", "-12x"},
        ExprCase{"convert(varchar(23), cast('2026-12-10' as datetime), 121)", "2026-12-10 00:00:00.000"},
        ExprCase{"convert(varchar(19), cast('2026-12-10 10:20:30' as datetime), 120)", "2026-12-10 10:20:30"},
        ExprCase{"convert(varchar(10), cast('2026-12-10 10:20:30' as datetime), 120)", "2026-12-10"},
        ExprCase{"convert(varchar(10), cast('2026-12-10 10:20:30' as datetime), 23)", "2026-12-10"},
        ExprCase{"convert(varchar(30), convert(datetime, '2026-01-02 03:04:05', 120), 120)", "2026-01-02 03:04:05"},
        ExprCase{"cast(cast('20261210' as datetime) as varchar(30)) ", "Dec 10 2026 12:00AM"}));

// datetime keeps 1/300 s: milliseconds round to .000, .003 or .007.
INSTANTIATE_TEST_SUITE_P(
    ConformanceDateTimeRounding, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"convert(varchar(23), cast('1998-01-01 23:59:59.999' as datetime), 121)", "1998-01-02 00:00:00.000"},
        ExprCase{"convert(varchar(23), cast('1998-01-01 23:59:59.998' as datetime), 121)", "1998-01-01 23:59:59.997"},
        ExprCase{"convert(varchar(23), cast('1998-01-01 23:59:59.995' as datetime), 121)", "1998-01-01 23:59:59.997"},
        ExprCase{"convert(varchar(23), cast('1998-01-01 23:59:59.994' as datetime), 121)", "1998-01-01 23:59:59.993"},
        ExprCase{"convert(varchar(23), cast('1998-01-01 23:59:59.992' as datetime), 121)", "1998-01-01 23:59:59.993"},
        ExprCase{"convert(varchar(23), cast('1998-01-01 23:59:59.991' as datetime), 121)", "1998-01-01 23:59:59.990"},
        ExprCase{"convert(varchar(23), cast('1998-01-01 23:59:59.990' as datetime), 121)", "1998-01-01 23:59:59.990"}));

// smalldatetime keeps minutes: 29.998 s and less round down, 29.999 s and more up.
INSTANTIATE_TEST_SUITE_P(
    ConformanceSmallDateTime, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"convert(varchar(19), cast('2000-05-08 12:35:29.998' as smalldatetime), 120)", "2000-05-08 12:35:00"},
        ExprCase{"convert(varchar(19), cast('2000-05-08 12:35:29.999' as smalldatetime), 120)", "2000-05-08 12:36:00"},
        ExprCase{"convert(varchar(19), cast('2000-05-08 12:35:45' as smalldatetime), 120)", "2000-05-08 12:36:00"},
        ExprCase{"convert(varchar(19), cast('2000-05-08 23:59:30' as smalldatetime), 120)", "2000-05-09 00:00:00"},
        ExprCase{"convert(varchar(19), cast(cast('2000-05-08 12:35:29.998' as datetime) as smalldatetime), 120)",
                 "2000-05-08 12:35:00"},
        ExprCase{"datepart(second, cast(getdate() as smalldatetime))", "0"}));

INSTANTIATE_TEST_SUITE_P(
    ConformanceCase, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"case 2 when 1 then 'a' when 2 then 'b' else 'c' end", "b"},
        ExprCase{"case 9 when 1 then 'a' when 2 then 'b' else 'c' end", "c"},
        ExprCase{"case 9 when 1 then 'a' end", "<NULL>"},
        ExprCase{"case 'X' when 'x' then 'ci' else 'cs' end", "ci"},
        ExprCase{"case null when null then 'eq' else 'ne' end", "ne"},
        ExprCase{"case when 1 > 2 then 'x' when 2 > 1 then 'y' else 'z' end", "y"},
        ExprCase{"case when 1 > 2 then 'x' end", "<NULL>"},
        ExprCase{"case when 1 = 1 then 'first' when 2 = 2 then 'second' end", "first"},
        ExprCase{"case when len('abc') > 2 then replicate('0', 2) else '' end + 'x'", "00x"}));

INSTANTIATE_TEST_SUITE_P(
    ConformancePlusOperator, ConformanceFunctions,
    ::testing::Values(
        ExprCase{"'1' + 1", "2"},
        ExprCase{"1 + '1'", "2"},
        ExprCase{"'a' + 'b'", "ab"},
        ExprCase{"'VQTCW_' + 'Sample'", "VQTCW_Sample"},
        ExprCase{"N'中' + '文'", "中文"},
        ExprCase{"null + 'a'", "<NULL>"},
        ExprCase{"'a' + null", "<NULL>"},
        ExprCase{"1 + null", "<NULL>"},
        ExprCase{"'1' + '1'", "11"},
        ExprCase{"1.5 + '1'", "2.5"}));

using ConformanceFunctionErrors = EngineFixture;

TEST_F(ConformanceFunctionErrors, TextThatIsNoNumberFailsWith245)
{
    SqlError e = errorOf("select 'a' + 1");
    EXPECT_EQ(e.number, 245);
    EXPECT_EQ(e.message, "Conversion failed when converting the varchar value 'a' to data type int.");
    e = errorOf("select cast('abc' as int)");
    EXPECT_EQ(e.number, 245);
    EXPECT_EQ(e.message, "Conversion failed when converting the varchar value 'abc' to data type int.");
    EXPECT_EQ(errorOf("select cast('1.5' as int)").number, 245);
}

TEST_F(ConformanceFunctionErrors, DivisionByZeroIs8134)
{
    SqlError e = errorOf("select 1 / 0");
    EXPECT_EQ(e.number, 8134);
    EXPECT_EQ(e.message, "Divide by zero error encountered.");
}

TEST_F(ConformanceFunctionErrors, IsNullTakesTheTypeOfItsFirstArgument)
{
    // The replacement is converted to the type of the checked expression.
    EXPECT_EQ(text("declare @s varchar(2)\nselect isnull(@s, 'abcdef')"), "ab");
}

using ConformanceGetDate = EngineFixture;

TEST_F(ConformanceGetDate, IsTheLocalTimeNow)
{
    ResultSet rs = rows("select getdate(), convert(varchar(19), GetDate(), 120)");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].kind, ValueKind::DateTime);
    std::string s = rs.rows[0][1].toString();
    ASSERT_EQ(s.size(), 19u) << s;
    std::tm tm{};
    tm.tm_year = std::atoi(s.substr(0, 4).c_str()) - 1900;
    tm.tm_mon = std::atoi(s.substr(5, 2).c_str()) - 1;
    tm.tm_mday = std::atoi(s.substr(8, 2).c_str());
    tm.tm_hour = std::atoi(s.substr(11, 2).c_str());
    tm.tm_min = std::atoi(s.substr(14, 2).c_str());
    tm.tm_sec = std::atoi(s.substr(17, 2).c_str());
    tm.tm_isdst = -1;
    std::time_t engine = std::mktime(&tm);
    std::time_t now = std::time(nullptr);
    EXPECT_LE(std::abs(static_cast<long long>(now - engine)), 5) << "engine says " << s;
    // The date part alone compares equal to today's midnight.
    EXPECT_EQ(text("select case when convert(varchar(10), getdate(), 23) = convert(varchar(10), getdate(), 120) "
                   "then 1 else 0 end"),
              "1");
}

}  // namespace
