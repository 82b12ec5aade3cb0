// Conformance of string sizes and bytes: non-max string expressions hold at
// most 8000 bytes (4000 nvarchar characters), REPLICATE and SPACE stay
// within that, variables cut to their length, and char/varchar bytes are
// GBK (code page 936, Chinese_PRC_CI_AS) in every conversion to and from
// binary, nchar/nvarchar bytes UCS-2 little-endian.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using ConformanceStrings = EngineFixture;

TEST_F(ConformanceStrings, ConcatenationOfNonMaxStringsStopsAt8000Bytes)
{
    EXPECT_EQ(text("select datalength(replicate('x', 5000) + replicate('y', 5000))"), "8000");
    EXPECT_EQ(text("declare @s varchar(6000) = replicate('x', 6000)\nselect len(@s + @s + 'z')"), "8000");
    EXPECT_EQ(text("declare @n nvarchar(3000) = replicate(N'中', 3000)\nselect len(@n + @n)"), "4000");
    // A Chinese character that would straddle byte 8000 is left out whole.
    EXPECT_EQ(text("declare @s varchar(7999) = replicate('x', 7999)\nselect datalength(@s + '中')"), "7999");
    EXPECT_EQ(text("select len('ab' + 'cd')"), "4");
}

TEST_F(ConformanceStrings, TextAndNTextColumnsHoldLongValues)
{
    // syscolumns gives text and ntext a length of 16 (a text pointer);
    // that is no limit on the values.
    exec("create table t (a text null, b ntext null)\n"
         "insert into t values (replicate(cast('x' as varchar(max)), 20000), replicate(cast(N'中' as nvarchar(max)), 9000))\n"
         "insert into t values ('seventeen letters', N'seventeen letters')");
    EXPECT_EQ(text("select datalength(a) from t where b like N'中%'"), "20000");
    EXPECT_EQ(text("select datalength(b) from t where b like N'中%'"), "18000");
    EXPECT_EQ(text("select cast(a as varchar(100)) from t where datalength(a) = 17"), "seventeen letters");
}

TEST_F(ConformanceStrings, ComputedValueIntoVarchar8000Column)
{
    exec("create table t (v varchar(8000), w varchar(10))\n"
         "insert into t (v) values (replicate('x', 5000) + replicate('y', 5000))");
    EXPECT_EQ(text("select datalength(v) from t"), "8000");
    SqlError e = errorOf("update t set w = replicate('x', 5000) + replicate('y', 5000)");
    EXPECT_EQ(e.number, 8152);
    EXPECT_EQ(e.message, "String or binary data would be truncated.");
}

TEST_F(ConformanceStrings, VariablesCutToTheirLength)
{
    EXPECT_EQ(text("declare @s varchar(8000) = 'ab'\n"
                   "declare @i int = 0\n"
                   "while @i < 40 begin set @s = @s + @s set @i = @i + 1 end\n"
                   "select datalength(@s)"),
              "8000");
    EXPECT_EQ(text("declare @s varchar(5)\nset @s = 'abcdefgh'\nselect @s"), "abcde");
    EXPECT_EQ(text("declare @s varchar(5)\nset @s = 'ab中文字'\nselect @s"), "ab中");
    EXPECT_EQ(text("declare @n nvarchar(3)\nset @n = N'中文字典'\nselect @n"), "中文字");
}

TEST_F(ConformanceStrings, ReplicateAndSpaceOfNonMaxArgumentsStopAt8000Bytes)
{
    struct Case {
        const char* sql;
        const char* value;
    } cases[] = {
        {"select datalength(replicate('x', 900000000))", "8000"},
        {"select datalength(replicate('ab', 4001))", "8000"},
        {"select datalength(replicate('abc', 3000))", "8000"},
        {"select datalength(replicate('中', 5000))", "8000"},
        {"select datalength(replicate('a中', 3000))", "7999"},   // 2666 whole copies and 'a'
        {"select right(replicate('a中', 3000), 2)", "中a"},
        {"select len(replicate(N'中', 5000))", "4000"},
        {"select datalength(space(2000000000))", "8000"},
        {"select datalength(space(10))", "10"},
        {"select replicate('ab', 3)", "ababab"},
        {"select replicate('ab', -1)", "<NULL>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(c.sql), c.value) << c.sql;
}

TEST_F(ConformanceStrings, MaxTypesGrowPast8000Bytes)
{
    EXPECT_EQ(text("select datalength(replicate(cast('x' as varchar(max)), 10000))"), "10000");
    EXPECT_EQ(text("select datalength(cast(replicate('x', 5000) as varchar(max)) + replicate('y', 5000))"), "10000");
    EXPECT_EQ(text("declare @m varchar(max) = replicate('x', 8000)\nset @m = @m + @m + @m\nselect datalength(@m)"),
              "24000");
    EXPECT_EQ(text("declare @m nvarchar(max) = replicate(N'中', 4000)\nset @m = @m + @m\nselect len(@m)"), "8000");
}

TEST_F(ConformanceStrings, MaxColumnsHoldMoreThan8000Bytes)
{
    exec("create table d (v varchar(max), n nvarchar(max), b varbinary(max))\n"
         "insert into d values (replicate(cast('x' as varchar(max)), 9000), "
         "replicate(cast(N'中' as nvarchar(max)), 5000), "
         "cast(replicate(cast('x' as varchar(max)), 9000) as varbinary(max)))");
    ResultSet rs = rows("select datalength(v), len(n), datalength(n), datalength(b) from d");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toString(), "9000");
    EXPECT_EQ(rs.rows[0][1].toString(), "5000");
    EXPECT_EQ(rs.rows[0][2].toString(), "10000");
    EXPECT_EQ(rs.rows[0][3].toString(), "9000");
}

TEST_F(ConformanceStrings, MaxTypesHaveAHardLimit)
{
    // Refused before anything is allocated.
    for (const char* sql : {"select datalength(replicate(cast('x' as varchar(max)), 2000000000))",
                            "declare @m varchar(max) = replicate(cast('xy' as varchar(max)), 9000000000)"}) {
        SqlError e = errorOf(sql);
        EXPECT_EQ(e.number, 7119) << sql;
        EXPECT_EQ(e.message, "Attempting to grow LOB beyond maximum allowed size of 2147483647 bytes.") << sql;
    }
}

TEST_F(ConformanceStrings, VarcharConvertsToGbkBytes)
{
    struct Case {
        const char* sql;
        const char* hex;
    } cases[] = {
        {"select convert(varbinary, '中')", "D6D0"},
        {"select convert(varbinary(10), 'a中b')", "61D6D062"},
        {"select cast('中文' as varbinary(3))", "D6D0CE"},
        {"select cast('a' as binary(3))", "610000"},
        {"select convert(varbinary, N'中')", "2D4E"},
        {"select convert(varbinary, N'a中')", "61002D4E"},
        {"select cast(65 as varbinary(4))", "00000041"},
        {"select cast(258 as binary(2))", "0102"},
        {"select cast(cast(1 as smallint) as binary(4))", "00000001"},
    };
    for (const Case& c : cases) {
        Value v = scalar(c.sql);
        ASSERT_EQ(v.kind, ValueKind::Bytes) << c.sql;
        std::string hex;
        static const char* digits = "0123456789ABCDEF";
        for (unsigned char b : v.text) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
        }
        EXPECT_EQ(hex, c.hex) << c.sql;
    }
}

TEST_F(ConformanceStrings, BinaryConvertsBackToText)
{
    EXPECT_EQ(text("select convert(varchar(10), 0xD6D0CEC4)"), "中文");
    EXPECT_EQ(text("select convert(nvarchar(10), 0x2D4E8765)"), "中文");
    EXPECT_EQ(text("select convert(varchar(10), convert(varbinary(10), '中a文'))"), "中a文");
    EXPECT_EQ(text("select convert(nvarchar(10), convert(varbinary(10), N'中a文'))"), "中a文");
    EXPECT_EQ(text("select convert(varchar(3), 0xD6D0CEC4)"), "中");
    exec("create table b (v varbinary(20))\ninsert into b values (convert(varbinary(20), '会计'))");
    EXPECT_EQ(text("select datalength(v) from b"), "4");
    EXPECT_EQ(text("select convert(varchar(20), v) from b"), "会计");
}

TEST_F(ConformanceStrings, LengthsCountAsChinesePrcCollationCounts)
{
    struct Case {
        const char* sql;
        const char* value;
    } cases[] = {
        {"select len('中')", "1"},
        {"select datalength('中')", "2"},
        {"select datalength('a中')", "3"},
        {"select datalength(N'中')", "2"},
        {"select datalength(N'a中')", "4"},
        {"select len(N'a中 ')", "2"},
        {"select datalength(convert(varbinary, '中文'))", "4"},
        {"select datalength(convert(varbinary, N'中文'))", "4"},
        {"select substring('中文abc', 2, 2)", "文a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(c.sql), c.value) << c.sql;
}

}  // namespace
