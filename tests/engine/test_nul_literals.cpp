// Conformance of string literals holding a NUL character (SQL Server keeps
// char(0) inside a varchar like any other character), and of int
// arithmetic at the edges of the int range (SQL Server refuses a result
// outside it with error 8115 instead of widening it).
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;
using namespace std::string_literals;

namespace {

using NulLiterals = EngineFixture;

// A literal with NUL bytes, the same text built with char(0), and both
// kinds of literal: the value comes back whole, LEN counts the NUL as a
// character and DATALENGTH (of varchar) as a byte.
TEST_F(NulLiterals, LiteralsKeepTheirNulCharacters)
{
    struct Case {
        std::string expression;
        std::string value;        // UTF-8, as the engine hands it back
        std::string length;
        std::string dataLength;   // empty: not checked (nvarchar)
    } cases[] = {
        {"'a\0b'"s, "a\0b"s, "3", "3"},
        {"'a' + char(0) + 'b'", "a\0b"s, "3", "3"},
        {"'\0'"s, "\0"s, "1", "1"},
        {"'\0\0'"s, "\0\0"s, "2", "2"},
        {"'it''s\0'"s, "it's\0"s, "5", "5"},
        {"'\0--x'"s, "\0--x"s, "4", "4"},
        {"'中\0文'"s, "中\0文"s, "3", "5"},
        {"'a\0b' + 'c'"s, "a\0bc"s, "4", "4"},
        {"'a\0 '"s, "a\0 "s, "2", "3"},
        {"N'a\0b'"s, "a\0b"s, "3", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(text("select " + c.expression), c.value);
        EXPECT_EQ(text("select len(" + c.expression + ")"), c.length);
        if (!c.dataLength.empty())
            EXPECT_EQ(text("select datalength(" + c.expression + ")"), c.dataLength);
        EXPECT_EQ(text("select count(*) where " + c.expression + " = " + c.expression), "1");
    }
    // As varbinary, the bytes themselves.
    EXPECT_EQ(text("select cast('a\0b' as varbinary(8))"s), "a\0b"s);
}

TEST_F(NulLiterals, StoredInVarcharColumnsAndVariables)
{
    exec("create table t (k int not null primary key, v varchar(4) null)");
    exec("insert into t values (1, 'a\0b')"s);
    exec("insert into t values (2, 'a' + char(0) + 'b')");
    exec("declare @s varchar(4) set @s = '\0x\0'"s + " insert into t values (3, @s)");
    EXPECT_EQ(column("select len(v) from t order by k"), (std::vector<std::string>{"3", "3", "3"}));
    EXPECT_EQ(column("select v from t order by k"), (std::vector<std::string>{"a\0b"s, "a\0b"s, "\0x\0"s}));
    EXPECT_EQ(text("select v from t where k = 1"), "a\0b"s);
    // Comparisons see the whole text, not what comes before the NUL.
    EXPECT_EQ(text("select count(*) from t where v = 'a\0b'"s), "2");
    EXPECT_EQ(text("select count(*) from t where v = 'a'"), "0");
    // The NUL takes a byte of the column's width.
    SqlError e = errorOf("insert into t values (4, 'abc\0d')"s);
    EXPECT_EQ(e.number, 8152);
    EXPECT_EQ(text("select count(*) from t"), "3");
}

TEST_F(NulLiterals, SameStatementRunsAgainWithItsLiteral)
{
    exec("create table t (k int not null, v varchar(8) null)");
    // The batch's statements are prepared once and run three times.
    exec("declare @i int set @i = 0 while @i < 3 begin insert into t values (@i, 'x\0y') set @i = @i + 1 end"s);
    EXPECT_EQ(column("select v from t order by k"), (std::vector<std::string>{"x\0y"s, "x\0y"s, "x\0y"s}));
}

using IntArithmeticOverflow = EngineFixture;

TEST_F(IntArithmeticOverflow, ResultsOutsideTheIntRangeAreRefused)
{
    struct Case {
        std::string batch;
        std::string value;   // empty: error 8115
    } cases[] = {
        {"select 2147483647 + 1", ""},
        {"select 2147483646 + 1", "2147483647"},
        {"select 65536 * 32768", ""},
        {"select 65536 * 32767", "2147418112"},
        {"declare @i int set @i = -2147483647 select @i - 2", ""},
        {"declare @i int set @i = -2147483647 select @i - 1", "-2147483648"},
        {"declare @i int set @i = -2147483647 - 1 select @i / -1", ""},
        {"declare @i int set @i = -2147483647 - 1 select @i / 1", "-2147483648"},
        {"declare @i int set @i = 2147483647 select isnull(@i, 0) + 1", ""},
        // bigint and smallint operands are not limited to the int range.
        {"select cast(2147483647 as bigint) + 1", "2147483648"},
        {"select cast(32767 as smallint) + cast(1 as smallint)", "32768"},
        {"select 2147483647 + cast(1 as bigint)", "2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.batch);
        if (c.value.empty()) {
            SqlError e = errorOf(c.batch);
            EXPECT_EQ(e.number, 8115);
            EXPECT_EQ(e.message, "Arithmetic overflow error converting expression to data type int.");
        } else {
            EXPECT_EQ(text(c.batch), c.value);
        }
    }
}

// The next key of a table whose largest key is the largest int: the
// assignment fails, the variable stays NULL and the insert is refused, so
// no row is stored with a key outside the int range.
TEST_F(IntArithmeticOverflow, NextKeyAfterTheLargestIntStoresNoRow)
{
    exec("create table t (KeyID int not null primary key, v varchar(8) null)");
    exec("insert into t values (2147483647, 'last')");
    BatchResult r = run("declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from t  "
                        "insert into t(KeyID, v) values(@MaxID, 'next')");
    ASSERT_FALSE(r.ok());
    ASSERT_EQ(r.errors.size(), 2u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 8115);
    EXPECT_EQ(r.errors[1].number, 515);
    EXPECT_EQ(column("select KeyID from t"), (std::vector<std::string>{"2147483647"}));
    EXPECT_EQ(text("select max(KeyID) + 0 from t"), "2147483647");
}

}  // namespace
