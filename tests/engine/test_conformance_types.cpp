// Conformance of column types and lengths: varchar lengths in GBK bytes,
// exact numerics and money, datetime comparison, binary round trips,
// user-defined types (sp_addtype, CREATE TYPE) and NOT NULL.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using ConformanceTypes = EngineFixture;

TEST_F(ConformanceTypes, VarcharLengthCountsGbkBytes)
{
    exec("create table s (v varchar(4))");
    struct Case {
        const char* value;
        bool fits;
    } cases[] = {
        {"abcd", true},   {"ab中", true},    {"中文", true},  {"", true},
        {"abcde", false}, {"ab中文", false}, {"中文a", false}, {"a中文", false},
    };
    int stored = 0;
    for (const Case& c : cases) {
        BatchResult r = run(std::string("insert into s values ('") + c.value + "')");
        if (c.fits) {
            EXPECT_TRUE(r.ok()) << c.value << "\n" << describeErrors(r);
            ++stored;
        } else {
            ASSERT_FALSE(r.ok()) << c.value;
            EXPECT_EQ(r.errors[0].number, 8152) << c.value;
            EXPECT_EQ(r.errors[0].message, "String or binary data would be truncated.") << c.value;
        }
    }
    EXPECT_EQ(text("select count(*) from s"), std::to_string(stored));
    EXPECT_EQ(text("select count(*) from s where v = 'ab中'"), "1");
}

TEST_F(ConformanceTypes, TruncationAlsoAppliesToUpdateAndInsertSelect)
{
    exec("create table s (v varchar(3))\ninsert into s values ('abc')");
    EXPECT_EQ(errorOf("update s set v = 'abcd'").number, 8152);
    EXPECT_EQ(errorOf("insert into s select 'wxyz'").number, 8152);
    EXPECT_EQ(column("select v from s"), (std::vector<std::string>{"abc"}));
    // Trailing blanks beyond the length are not counted as data.
    exec("insert into s values ('xy   ')");
    EXPECT_EQ(text("select count(*) from s"), "2");
}

TEST_F(ConformanceTypes, NvarcharLengthCountsCharacters)
{
    exec("create table n (v nvarchar(2))\ninsert into n values (N'中文')");
    EXPECT_EQ(text("select v from n"), "中文");
    EXPECT_EQ(errorOf("insert into n values (N'中文字')").number, 8152);
}

TEST_F(ConformanceTypes, IntegerNumericAndMoneyColumns)
{
    exec("create table m (i int, t tinyint, sm smallint, n numeric(19,4), d decimal(10,2), c money)\n"
         "insert into m values (-2147483648, 255, -32768, 1.23456, 12.345, 12.34567)");
    ResultSet rs = rows("select i, t, sm, cast(n as varchar(30)), cast(d as varchar(30)), cast(c as varchar(30)) from m");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), -2147483648LL);
    EXPECT_EQ(rs.rows[0][1].toInt64(), 255);
    EXPECT_EQ(rs.rows[0][2].toInt64(), -32768);
    EXPECT_EQ(rs.rows[0][3].toString(), "1.2346");
    EXPECT_EQ(rs.rows[0][4].toString(), "12.35");
    // money converts to text with two decimals (style 0).
    EXPECT_EQ(rs.rows[0][5].toString(), "12.35");
    EXPECT_EQ(text("select convert(varchar(30), c, 2) from m"), "12.3457");
    EXPECT_EQ(rs.rows[0][0].kind, ValueKind::Integer);
}

TEST_F(ConformanceTypes, OutOfRangeIntegersOverflow)
{
    exec("create table m (i int, t tinyint)");
    SqlError e = errorOf("insert into m (i) values (2147483648)");
    EXPECT_EQ(e.number, 8115);
    EXPECT_EQ(e.message, "Arithmetic overflow error converting expression to data type int.");
    e = errorOf("insert into m (t) values (256)");
    EXPECT_EQ(e.number, 220);
    EXPECT_EQ(e.message, "Arithmetic overflow error for data type tinyint, value = 256.");
    e = errorOf("declare @myval smallint\nset @myval = 32770");
    EXPECT_EQ(e.number, 220);
    EXPECT_EQ(e.message, "Arithmetic overflow error for data type smallint, value = 32770.");
    EXPECT_EQ(text("select count(*) from m"), "0");
}

TEST_F(ConformanceTypes, Numeric19_4RoundsToFourPlacesAndSumsExactly)
{
    exec("create table a (x numeric(19,4))");
    exec("declare @i int = 0\nwhile @i < 10\nbegin\n  insert into a values (0.1)\n  set @i = @i + 1\nend");
    EXPECT_EQ(text("select cast(sum(x) as varchar(40)) from a"), "1.0000");
    EXPECT_EQ(text("select case when sum(x) = 1 then 1 else 0 end from a"), "1");
    exec("delete from a\n"
         "insert into a values (0.00005)\ninsert into a values (0.00004)\ninsert into a values (2.71828)\n"
         "insert into a values (-1.23455)");
    EXPECT_EQ(column("select cast(x as varchar(40)) from a order by x"),
              (std::vector<std::string>{"-1.2346", "0.0000", "0.0001", "2.7183"}));
    // Sums of many values keep exactly four places.
    exec("delete from a\n"
         "declare @i int = 0\nwhile @i < 1000\nbegin\n  insert into a values (0.0001 * @i + 1234567.0003)\n"
         "  set @i = @i + 1\nend");
    EXPECT_EQ(text("select cast(sum(x) as varchar(40)) from a"), "1234567050.2500");
}

TEST_F(ConformanceTypes, DatetimeColumnComparedWithDateText)
{
    exec("create table d (k int, at datetime)\n"
         "insert into d values (1, '2026-12-10')\n"
         "insert into d values (2, '2026-12-10 10:00')\n"
         "insert into d values (3, '2026-12-09 23:59:59.997')\n"
         "insert into d values (4, '2026-12-11')");
    EXPECT_EQ(column("select k from d where at = '2026-12-10'"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(column("select k from d where at > '2026-12-10' order by k"), (std::vector<std::string>{"2", "4"}));
    EXPECT_EQ(column("select k from d where at >= '2026-12-10' and at < '2026-12-11' order by k"),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(column("select k from d where at between '2026-12-09' and '2026-12-10' order by k"),
              (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(column("select k from d order by at"), (std::vector<std::string>{"3", "1", "2", "4"}));
    ResultSet rs = rows("select at from d where k = 2");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].kind, ValueKind::DateTime);
    EXPECT_EQ(rs.rows[0][0].toString().substr(0, 19), "2026-12-10 10:00:00");
}

TEST_F(ConformanceTypes, BinaryColumnsKeepBytesWithZeros)
{
    exec("create table b (k int, vb varbinary(16), im image)\n"
         "insert into b values (1, 0x00010200FF, 0x000000414200)");
    ResultSet rs = rows("select vb, im, datalength(vb), datalength(im) from b");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].kind, ValueKind::Bytes);
    EXPECT_EQ(rs.rows[0][0].text, std::string("\x00\x01\x02\x00\xff", 5));
    EXPECT_EQ(rs.rows[0][1].kind, ValueKind::Bytes);
    EXPECT_EQ(rs.rows[0][1].text, std::string("\x00\x00\x00\x41\x42\x00", 6));
    EXPECT_EQ(rs.rows[0][2].toInt64(), 5);
    EXPECT_EQ(rs.rows[0][3].toInt64(), 6);
    // Copying a binary column between tables keeps it whole.
    exec("create table b2 (im image)\ninsert into b2 select im from b");
    EXPECT_EQ(scalar("select im from b2").text, std::string("\x00\x00\x00\x41\x42\x00", 6));
    EXPECT_EQ(text("select count(*) from b where vb = 0x00010200FF"), "1");
}

// The program's scripts define their column types this way.
const char* kAddTypes =
    "sp_addtype T_VA32, 'varchar(32)', 'NULL'\n"
    "EXEC sp_addtype T_KEYID, 'int', 'NOT NULL'\n"
    "exec sp_addtype 'T_NUMBER', 'numeric(19,4)', 'NULL'\n"
    "exec sp_addtype T_DATETIME, datetime, 'NULL'\n";

TEST_F(ConformanceTypes, SpAddTypeDefinesTypesUsableInTables)
{
    exec(kAddTypes);
    exec("create table u (KeyID T_KEYID, Name T_VA32, Amount T_NUMBER, At T_DATETIME)");
    exec("insert into u values (1, 'first', 1.23456, '2026-12-10')");
    EXPECT_EQ(text("select cast(Amount as varchar(30)) from u"), "1.2346");
    // T_VA32 holds 32 bytes.
    exec("insert into u (KeyID, Name) values (2, replicate('x', 32))");
    EXPECT_EQ(errorOf("insert into u (KeyID, Name) values (3, replicate('x', 33))").number, 8152);
    // T_KEYID was defined NOT NULL; a column of that type inherits it.
    SqlError e = errorOf("insert into u (KeyID, Name) values (null, 'n')");
    EXPECT_EQ(e.number, 515);
    // T_VA32 was defined NULL.
    exec("insert into u (KeyID) values (4)");
    EXPECT_EQ(text("select Name from u where KeyID = 4"), "<NULL>");
    // The type names are listed in systypes.
    EXPECT_EQ(text("select count(*) from systypes where name in ('T_VA32', 'T_KEYID', 'T_NUMBER', 'T_DATETIME')"), "4");
}

TEST_F(ConformanceTypes, CreateTypeFromAndAlterTableAdd)
{
    exec("CREATE TYPE T_CODE FROM varchar(10) NOT NULL");
    exec("sp_addtype T_VA64, 'varchar(64)', 'NULL'");
    exec("create table c (Code T_CODE, Name T_VA64)\ninsert into c values ('1001', 'cash')");
    EXPECT_EQ(errorOf("insert into c values (null, 'x')").number, 515);
    EXPECT_EQ(errorOf("insert into c values ('12345678901', 'x')").number, 8152);
    exec("alter table c add Remark T_VA64");
    exec("insert into c values ('1002', 'bank', 'note')");
    EXPECT_EQ(column("select isnull(Remark, '-') from c order by Code"), (std::vector<std::string>{"-", "note"}));
    EXPECT_EQ(errorOf("update c set Remark = replicate('y', 65)").number, 8152);
}

TEST_F(ConformanceTypes, UnknownTypeFailsWith2715AndCreatesNothing)
{
    SqlError e = errorOf("create table bad (a int, b T_NOPE)");
    EXPECT_EQ(e.number, 2715);
    EXPECT_EQ(e.message, "Column, parameter, or variable #2: Cannot find data type T_NOPE.");
    EXPECT_EQ(text("select object_id('bad')"), "<NULL>");
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'bad'"), "0");
    EXPECT_EQ(errorOf("select * from bad").number, 208);
}

TEST_F(ConformanceTypes, NotNullViolationIs515AndInsertsNothing)
{
    exec("create table n (a int not null, b varchar(10) null)");
    SqlError e = errorOf("insert into n (a, b) values (null, 'x')");
    EXPECT_EQ(e.number, 515);
    EXPECT_EQ(e.message,
              "Cannot insert the value NULL into column 'a', table 'master.dbo.n'; column does not allow nulls. "
              "INSERT fails.");
    // Leaving out a NOT NULL column without a default is the same violation.
    EXPECT_EQ(errorOf("insert into n (b) values ('y')").number, 515);
    exec("insert into n values (1, null)");
    e = errorOf("update n set a = null");
    EXPECT_EQ(e.number, 515);
    EXPECT_EQ(e.message,
              "Cannot insert the value NULL into column 'a', table 'master.dbo.n'; column does not allow nulls. "
              "UPDATE fails.");
    EXPECT_EQ(column("select a from n"), (std::vector<std::string>{"1"}));
}

}  // namespace
