// Conformance of SELECT ... INTO: the new table's columns (types,
// nullability, identity) as SQL Server derives them, its targets
// (permanent, #t, ##t), the row count and the errors.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;
using ConformanceSelectInto = EngineFixture;

// "type null|not null [identity]" from a row of (type, isnullable,
// isidentity).
std::string describeColumn(const BatchResult& r)
{
    if (r.resultSets.empty() || r.resultSets.front().rows.empty())
        return "(missing)";
    const auto& row = r.resultSets.front().rows.front();
    return row.at(0).toString() + " " + (row.at(1).toInt64() ? "null" : "not null") +
           (row.at(2).toInt64() ? " identity" : "");
}

struct ColumnCase {
    const char* select;     // the select list item, named x
    const char* expected;   // "type nullable [identity]"
};

TEST_F(ConformanceSelectInto, ColumnTypesAndNullabilityByExpressionKind)
{
    exec("create table src (id int identity(5,1) not null, code varchar(8) not null, note varchar(20) null, "
         "amount numeric(12,2) not null, qty smallint null)\n"
         "insert into src (code, note, amount, qty) values ('a', null, 1.5, 2)");
    const ColumnCase cases[] = {
        {"id as x", "int not null identity"},
        {"code as x", "varchar(8) not null"},
        {"note as x", "varchar(20) null"},
        {"amount as x", "numeric(12,2) not null"},
        {"1 as x", "int not null"},
        {"'abc' as x", "varchar(3) not null"},
        {"null as x", "int null"},
        {"isnull(note, '') as x", "varchar(20) not null"},
        {"isnull(qty, note) as x", "smallint null"},
        {"cast(code as varchar(30)) as x", "varchar(30) not null"},
        {"cast(note as int) as x", "int null"},
        {"amount + amount as x", "numeric(13,2) null"},
        {"id + 0 as x", "int null"},
        {"case when qty > 1 then 'y' else 'n' end as x", "varchar(1) not null"},
        {"case when qty > 1 then 'y' end as x", "varchar(1) null"},
        {"getdate() as x", "datetime null"},
    };
    for (const ColumnCase& c : cases) {
        SCOPED_TRACE(c.select);
        exec(std::string("select ") + c.select + " into t from src");
        BatchResult r = run("select c.typename + case when c.typename in ('varchar','numeric') then '(' + "
                            "cast(case when c.typename = 'numeric' then c.prec else c.length end as varchar(5)) + "
                            "case when c.typename = 'numeric' then ',' + cast(c.scale as varchar(5)) else '' end + "
                            "')' else '' end, c.isnullable, c.isidentity from syscolumns c "
                            "where c.id = object_id('t') and c.name = 'x'");
        EXPECT_EQ(describeColumn(r), c.expected);
        exec("drop table t");
    }
}

TEST_F(ConformanceSelectInto, IdentityPassesOnlyToAPlainCopy)
{
    exec("create table src (id int identity(5,1), v int)\ninsert into src (v) values (1)\n"
         "insert into src (v) values (2)\ncreate table other (v int)\ninsert into other values (1)");
    exec("select * into copy1 from src");
    EXPECT_EQ(text("select @@identity"), "6");
    exec("insert into copy1 (v) values (3)");
    EXPECT_EQ(text("select @@identity"), "7");
    EXPECT_EQ(column("select id from copy1 order by id"), (Strings{"5", "6", "7"}));
    const std::string identityOf = "select isidentity, isnullable from syscolumns where name = 'id' and id = object_id";
    // Through a join, grouping or UNION the column is NOT NULL without identity.
    exec("select s.id, s.v into copy2 from src s join other o on o.v = s.v");
    EXPECT_EQ(rows(identityOf + "('copy2')").rows.at(0).at(0).toString(), "0");
    EXPECT_EQ(rows(identityOf + "('copy2')").rows.at(0).at(1).toString(), "0");
    exec("select id into copy3 from src union all select 1");
    EXPECT_EQ(rows(identityOf + "('copy3')").rows.at(0).at(0).toString(), "0");
    exec("select id, id as id2 into copy4 from src");
    EXPECT_EQ(column("select isidentity from syscolumns where id = object_id('copy4')"), (Strings{"0", "0"}));
    // A copy into a table without identity leaves @@IDENTITY NULL.
    EXPECT_EQ(text("select @@identity"), "<NULL>");
    exec("select * into copy5 from src where v = 2");
    EXPECT_EQ(text("select scope_identity()"), "<NULL>");   // a new batch
}

TEST_F(ConformanceSelectInto, TargetsRowsAndShapes)
{
    exec("create table src (a int, b varchar(5))\ninsert into src values (1, 'x'), (2, 'y'), (3, 'z')");
    BatchResult r = run("select a, b into #t from src where a > 1");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 2);
    EXPECT_EQ(column("select b from #t order by a"), (Strings{"y", "z"}));
    exec("select * into ##g from src where 1 = 0");
    EXPECT_EQ(text("select count(*) from ##g"), "0");
    EXPECT_EQ(text("select count(*) from tempdb..syscolumns where id = object_id('tempdb..##g')"), "2");
    exec("select 1 as one, 'k' as k into noFrom");
    EXPECT_EQ(text("select k from noFrom"), "k");
    exec("select a into unioned from src where a = 1 union select 7 order by a");
    EXPECT_EQ(column("select a from unioned order by a"), (Strings{"1", "7"}));
    exec("select s.a, t.b into joined from src s join #t t on t.a = s.a");
    EXPECT_EQ(text("select count(*) from joined"), "2");
    exec("declare @min int\nset @min = 2\nselect top 1 a into topped from src where a >= @min order by a desc");
    EXPECT_EQ(text("select a from topped"), "3");
}

TEST_F(ConformanceSelectInto, Errors)
{
    exec("create table src (a int)\ninsert into src values (1)");
    SqlError e = errorOf("select a into src from src");
    EXPECT_EQ(e.number, 2714);
    EXPECT_EQ(e.message, "There is already an object named 'src' in the database.");
    e = errorOf("select a, a + 1 into t from src");
    EXPECT_EQ(e.number, 1038);
    EXPECT_EQ(e.message.rfind("An object or column name is missing or empty. For SELECT INTO statements", 0), 0u);
    e = errorOf("select a, a into t from src");
    EXPECT_EQ(e.number, 2705);
    EXPECT_EQ(errorOf("select * from (select a + 1 from src) d").number, 8155);
    // A failed copy leaves no table behind.
    e = errorOf("select cast('x' as int) as n into t from src");
    EXPECT_EQ(e.number, 245);
    EXPECT_EQ(text("select object_id('t')"), "<NULL>");
    exec("begin tran\nselect a into #t from src\nrollback");
    EXPECT_EQ(errorOf("select * from #t").number, 208);
}

}  // namespace

namespace {

TEST_F(ConformanceSelectInto, IdentityFunctionNumbersTheCopiedRows)
{
    exec("create table src (v varchar(3))\ninsert into src values ('a'), ('b'), ('c')");
    exec("select identity(int, 10, 5) as n, v into #numbered from src");
    EXPECT_EQ(column("select n from #numbered order by n"), (Strings{"10", "15", "20"}));
    exec("insert into #numbered (v) values ('d')");
    EXPECT_EQ(text("select n from #numbered where v = 'd'"), "25");
    EXPECT_EQ(text("select ident_current('#numbered')"), "25");
    exec("select identity(bigint) as n into #plain from src");
    EXPECT_EQ(column("select n from #plain order by n"), (Strings{"1", "2", "3"}));
    SqlError e = errorOf("select identity(int, 1, 1) as n from src");
    EXPECT_EQ(e.number, 177);
    EXPECT_EQ(e.message, "The IDENTITY function can only be used when the SELECT statement has an INTO clause.");
    exec("create table keyed (id int identity, v int)");
    e = errorOf("select id, identity(int, 1, 1) as n into #two from keyed");
    EXPECT_EQ(e.number, 8108);
    EXPECT_EQ(e.message, "Cannot add identity column, using the SELECT INTO statement, to table '#two', which "
                         "already has column 'id' that inherits the identity property.");
}

}  // namespace
