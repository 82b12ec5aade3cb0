// Conformance of arithmetic: integer and money overflow raise SQL Server's
// errors (8115, 220, 232) in every statement kind, money is exact to four
// decimals over its whole range, and money constants take a currency symbol.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

std::string overflowTo(const std::string& type)
{
    return "Arithmetic overflow error converting expression to data type " + type + ".";
}

struct ErrorCase {
    const char* sql;
    int number;
    std::string message;
};

class ConformanceArithmetic : public EngineFixture {
protected:
    // Each batch fails with exactly that error.
    void expectErrors(const std::vector<ErrorCase>& cases)
    {
        for (const ErrorCase& c : cases) {
            SqlError e = errorOf(c.sql);
            EXPECT_EQ(e.number, c.number) << c.sql << "\n" << e.message;
            EXPECT_EQ(e.message, c.message) << c.sql;
        }
    }
};

TEST_F(ConformanceArithmetic, IntegerOperatorsOverflowTheirType)
{
    const std::vector<ErrorCase> cases = {
        {"select 2147483647 + 1", 8115, overflowTo("int")},
        {"select -2147483647 - 2", 8115, overflowTo("int")},
        {"select 65536 * 65536", 8115, overflowTo("int")},
        {"declare @i int = 2000000000\nset @i = @i * 2", 8115, overflowTo("int")},
        {"declare @i int = -2147483648\nselect -@i", 8115, overflowTo("int")},
        {"declare @i int = -2147483648\nselect @i / -1", 8115, overflowTo("int")},
        {"declare @i int = -2147483648\nselect abs(@i)", 8115, overflowTo("int")},
        {"declare @s smallint = 30000\nselect @s + @s + 2147483647", 8115, overflowTo("int")},
        {"declare @b bigint = 9223372036854775807\nselect @b + 1", 8115, overflowTo("bigint")},
        {"declare @b bigint = 9223372036854775807\nselect @b * 2", 8115, overflowTo("bigint")},
        {"declare @b bigint = -9223372036854775807\nselect @b - 2", 8115, overflowTo("bigint")},
        {"declare @b bigint = -9223372036854775807\nset @b = @b - 1\nselect -@b", 8115, overflowTo("bigint")},
    };
    expectErrors(cases);
}

TEST_F(ConformanceArithmetic, ResultsInsideTheRangeAreKept)
{
    EXPECT_EQ(text("select 2147483646 + 1"), "2147483647");
    EXPECT_EQ(text("declare @i int = -2147483647\nselect @i - 1"), "-2147483648");
    EXPECT_EQ(text("declare @s smallint = 30000\nselect @s + @s"), "60000");   // smallint + smallint is int
    EXPECT_EQ(text("declare @b bigint = 2147483647\nselect @b * 2"), "4294967294");
    EXPECT_EQ(text("declare @i int = -2147483647\nselect abs(@i)"), "2147483647");
    EXPECT_EQ(text("select 7 / 2"), "3");
    // 2147483648 is a numeric constant, not an int: negating it twice is no overflow.
    EXPECT_EQ(text("select -(-2147483648)"), "2147483648");
    EXPECT_EQ(text("select 2147483648 + 1"), "2147483649");
}

TEST_F(ConformanceArithmetic, SmallIntegerAssignmentNamesTheValue)
{
    const std::vector<ErrorCase> cases = {
        {"declare @s smallint\nset @s = 40000", 220, "Arithmetic overflow error for data type smallint, value = 40000."},
        {"declare @t tinyint\nset @t = 256", 220, "Arithmetic overflow error for data type tinyint, value = 256."},
        {"declare @t tinyint\nset @t = -1", 220, "Arithmetic overflow error for data type tinyint, value = -1."},
        {"select cast(40000 as smallint)", 220, "Arithmetic overflow error for data type smallint, value = 40000."},
        {"declare @i int = 70000\ndeclare @s smallint\nset @s = @i", 220,
         "Arithmetic overflow error for data type smallint, value = 70000."},
    };
    expectErrors(cases);
}

TEST_F(ConformanceArithmetic, FloatToIntegerOutOfRangeIs232)
{
    const std::vector<ErrorCase> cases = {
        {"select cast(3000000000e0 as int)", 232, "Arithmetic overflow error for type int, value = 3000000000.000000."},
        {"declare @f float = 40000.5\ndeclare @s smallint\nset @s = @f", 232,
         "Arithmetic overflow error for type smallint, value = 40000.500000."},
        {"declare @i int\nset @i = -1e10", 232, "Arithmetic overflow error for type int, value = -10000000000.000000."},
    };
    expectErrors(cases);
    EXPECT_EQ(text("select cast(2147483647.9e0 as int)"), "2147483647");   // truncated, then in range
}

TEST_F(ConformanceArithmetic, OverflowInStatementsFailsTheStatement)
{
    exec("create table t (i int, s smallint, ti tinyint)\ninsert into t values (2147483647, 32767, 255)");
    const std::vector<ErrorCase> cases = {
        {"insert into t (i) values (2147483647 + 1)", 8115, overflowTo("int")},
        {"insert into t (s) values (40000)", 220, "Arithmetic overflow error for data type smallint, value = 40000."},
        {"update t set i = i + 1", 8115, overflowTo("int")},
        {"update t set s = s + 1", 220, "Arithmetic overflow error for data type smallint, value = 32768."},
        {"update t set ti = ti * 2", 220, "Arithmetic overflow error for data type tinyint, value = 510."},
        {"select count(*) from t where i + 1 > 0", 8115, overflowTo("int")},
    };
    expectErrors(cases);
    EXPECT_EQ(text("select i from t"), "2147483647");
    EXPECT_EQ(text("select s from t"), "32767");
    EXPECT_EQ(text("select count(*) from t"), "1");
}

TEST_F(ConformanceArithmetic, SumOfIntOverflowsInt)
{
    exec("create table t (i int, b bigint)\n"
         "insert into t values (2147483647, 9223372036854775807)\ninsert into t values (1, 1)");
    SqlError e = errorOf("select sum(i) from t");
    EXPECT_EQ(e.number, 8115);
    EXPECT_EQ(e.message, overflowTo("int"));
    e = errorOf("select sum(b) from t");
    EXPECT_EQ(e.number, 8115);
    EXPECT_EQ(e.message, overflowTo("bigint"));
    EXPECT_EQ(text("select sum(cast(i as bigint)) from t"), "2147483648");
}

TEST_F(ConformanceArithmetic, DivisionByZero)
{
    for (const char* sql : {"select 1 / 0", "select 1 % 0", "select 1.5 / 0", "select $1 / 0",
                            "declare @m money = 1\nselect @m / 0"}) {
        SqlError e = errorOf(sql);
        EXPECT_EQ(e.number, 8134) << sql;
        EXPECT_EQ(e.message, "Divide by zero error encountered.") << sql;
    }
}

TEST_F(ConformanceArithmetic, MoneyIsExactToFourDecimals)
{
    struct Case {
        const char* sql;
        const char* value;
    } cases[] = {
        {"select cast(1234567890123.4567 as money)", "1234567890123.4567"},
        {"select cast('1234567890123.4567' as money)", "1234567890123.4567"},
        {"select cast(922337203685477.5807 as money)", "922337203685477.5807"},
        {"select cast(-922337203685477.5808 as money)", "-922337203685477.5808"},
        {"select cast(0.00005 as money)", "0.0001"},
        {"select cast(1.23455 as money)", "1.2346"},
        {"declare @m money = 922337203685476.5807\nselect @m + 1", "922337203685477.5807"},
        {"declare @m money = 1234567890123.4567\nselect @m - 0.0001", "1234567890123.4566"},
        {"declare @m money = 1234567890123.4567\nselect @m * 2", "2469135780246.9134"},
        {"declare @m money = 1234567890123.4567\nselect @m / 3", "411522630041.1522"},
        {"declare @m money = 0.1\nselect @m + @m + @m", "0.3"},
        {"declare @m money = 1234567890123.4567\nselect -@m", "-1234567890123.4567"},
        {"select cast(1234567890123.4567 as money) - cast(1234567890123 as money)", "0.4567"},
        {"declare @m money = 1234567890123.4567\nselect convert(varchar(30), @m, 2)", "1234567890123.4567"},
        {"declare @m money = 1234567890123.4567\nselect convert(varchar(30), @m)", "1234567890123.46"},
        {"select cast(214748.3647 as smallmoney)", "214748.3647"},
        {"declare @m money = 1234567890123.4567\nselect cast(@m as bigint)", "1234567890123"},
        {"declare @m money = 1234567890123.4567\nselect cast(@m as numeric(19,4))", "1234567890123.4567"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(c.sql), c.value) << c.sql;
}

TEST_F(ConformanceArithmetic, LargeMoneyComparesAsANumber)
{
    const std::string declare = "declare @m money = 1234567890123.4567\n";
    EXPECT_EQ(text(declare + "select count(*) where @m < 2000000000000"), "1");
    EXPECT_EQ(text(declare + "select count(*) where @m > 5"), "1");
    EXPECT_EQ(text(declare + "select count(*) where @m = 1234567890123.4567"), "1");
    EXPECT_EQ(text(declare + "select case when @m * 2 > @m then 'more' else 'less' end"), "more");
}

TEST_F(ConformanceArithmetic, MoneyOverflow)
{
    const std::vector<ErrorCase> cases = {
        {"select cast(922337203685477.5808 as money)", 8115, overflowTo("money")},
        {"declare @m money = 922337203685477.5807\nselect @m + 1", 8115, overflowTo("money")},
        {"declare @m money = 922337203685477\nselect @m * 10", 8115, overflowTo("money")},
        {"declare @m money = -922337203685477\nselect @m - $1", 8115, overflowTo("money")},
        {"select cast(214748.3648 as smallmoney)", 8115, overflowTo("smallmoney")},
        {"declare @s smallmoney\nset @s = $300000", 8115, overflowTo("smallmoney")},
    };
    expectErrors(cases);
}

TEST_F(ConformanceArithmetic, MoneyConstantsTakeACurrencySymbol)
{
    struct Case {
        const char* sql;
        const char* value;
    } cases[] = {
        {"select $1.5", "1.5"},
        {"select $-2", "-2"},
        {"select -$45.56", "-45.56"},
        {"select ￥3", "3"},
        {"select ¥3.25", "3.25"},
        {"select $12 + 1", "13"},
        {"select $1234567890123.4567", "1234567890123.4567"},
        {"select cast('$1,234.50' as money)", "1234.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(c.sql), c.value) << c.sql;
    ResultSet rs = rows("select $1.5 as m");
    ASSERT_EQ(rs.columns.size(), 1u);
    EXPECT_EQ(rs.columns[0].type.base, BaseType::Money);
}

TEST_F(ConformanceArithmetic, MoneyColumnsKeepTheirValues)
{
    // Stored money keeps every amount with up to 15 significant digits.
    exec("create table m (c money, s smallmoney)\n"
         "insert into m values (99999999999.9999, 214748.3647)\n"
         "insert into m values ($0.0001, -214748.3648)");
    EXPECT_EQ(column("select c from m order by c"), (std::vector<std::string>{"0.0001", "99999999999.9999"}));
    EXPECT_EQ(text("select sum(c) from m"), "100000000000");
    EXPECT_EQ(text("select max(c) - min(c) from m"), "99999999999.9998");
    EXPECT_EQ(errorOf("update m set c = c * 100000").number, 8115);
}

}  // namespace
