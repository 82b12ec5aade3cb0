// Conformance of INSERT, UPDATE and DELETE: row lists, INSERT ... SELECT,
// column defaults, correlated subqueries in SET, and the counts of
// affected rows the connection reports.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;
using ConformanceDml = EngineFixture;

TEST_F(ConformanceDml, InsertValuesWithSeveralRows)
{
    exec("create table t (a int, b varchar(10))");
    BatchResult r = run("insert into t values (1, 'one'), (2, 'two'), (3, null)");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 3);
    EXPECT_EQ(column("select isnull(b, '-') from t order by a"), (Strings{"one", "two", "-"}));
    // With a column list in another order.
    exec("insert into t (b, a) values ('four', 4)");
    EXPECT_EQ(text("select b from t where a = 4"), "four");
}

TEST_F(ConformanceDml, InsertSelectWithAndWithoutColumnList)
{
    exec("create table src (a int, b varchar(10))\n"
         "insert into src values (1, 'x'), (2, 'y')\n"
         "create table dst (a int, b varchar(10), c int default 9)");
    BatchResult r = run("insert into dst (a, b) select a, b from src");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 2);
    EXPECT_EQ(column("select c from dst"), (Strings{"9", "9"}));
    exec("insert into dst select a + 10, b, a from src");
    EXPECT_EQ(column("select cast(a as varchar) + b + cast(c as varchar) from dst order by a"),
              (Strings{"1x9", "2y9", "11x1", "12y2"}));
    // A SELECT with no row inserts nothing.
    r = run("insert into dst (a) select a from src where a > 100");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 0);
    // Column count mismatch.
    SqlError e = errorOf("insert into dst (a, b) select a from src");
    EXPECT_EQ(e.number, 120);
    EXPECT_EQ(e.message, "The select list for the INSERT statement contains fewer items than the insert list. "
                         "The number of SELECT values must match the number of INSERT columns.");
    EXPECT_EQ(errorOf("insert into dst (a) values (1, 2)").number, 110);
    EXPECT_EQ(text("select count(*) from dst"), "4");
}

TEST_F(ConformanceDml, DefaultsFillColumnsLeftOut)
{
    exec("create table d (a int not null, b int default 5, c varchar(10) default 'x', "
         "e datetime default getdate(), f int null, g int not null default (0))");
    exec("insert into d (a) values (1)");
    ResultSet rs = rows("select b, c, e, f, g from d where a = 1");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 5);
    EXPECT_EQ(rs.rows[0][1].toString(), "x");
    EXPECT_EQ(rs.rows[0][2].kind, ValueKind::DateTime);
    EXPECT_TRUE(rs.rows[0][3].isNull());
    EXPECT_EQ(rs.rows[0][4].toInt64(), 0);
    // An explicit NULL is stored as NULL, not replaced by the default.
    exec("insert into d (a, b) values (2, null)");
    EXPECT_EQ(text("select b from d where a = 2"), "<NULL>");
    EXPECT_EQ(text("select count(*) from d where e is not null and abs(datediff(second, e, getdate())) < 60"), "2");
}

TEST_F(ConformanceDml, DefaultKeywordInAValueList)
{
    exec("create table d (a int not null, b int default 5, c varchar(10) default 'x', f int null)");
    exec("insert into d (a, b, c, f) values (3, default, default, default)");
    EXPECT_EQ(text("select cast(b as varchar) + c + isnull(cast(f as varchar), '-') from d where a = 3"), "5x-");
}

TEST_F(ConformanceDml, DefaultValuesGivesEveryColumnItsDefault)
{
    exec("create table d (id int identity(1, 1), b int default 5, c varchar(10) default 'x', f int null)");
    exec("insert into d default values; insert d default values");
    EXPECT_EQ(text("select cast(count(*) as varchar) + '/' + cast(max(id) as varchar) + '/' + cast(min(b) as varchar) "
                   "+ min(c) + isnull(cast(max(f) as varchar), '-') from d"),
              "2/2/5x-");
    // A NOT NULL column without a default cannot take DEFAULT VALUES.
    exec("create table n (a int not null)");
    EXPECT_EQ(errorOf("insert into n default values").number, 515);
}

TEST_F(ConformanceDml, UpdateWithScalarSubqueryInSet)
{
    exec("create table acc (id int, total int, name varchar(10))\n"
         "insert into acc values (1, 0, 'a'), (2, 0, 'b'), (3, 0, 'c')\n"
         "create table line (acc int, amount int)\n"
         "insert into line values (1, 10), (1, 5), (2, 7)");
    BatchResult r = run("update acc set total = (select sum(amount) from line where line.acc = acc.id)");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 3);
    EXPECT_EQ(column("select isnull(cast(total as varchar), 'null') from acc order by id"),
              (Strings{"15", "7", "null"}));
    // The options-copy form: a value taken from another row of another table.
    exec("create table opt (Name varchar(20), TxtValue varchar(20))\n"
         "insert into opt values ('SubGrade1', '4'), ('SubGrade2', '3')\n"
         "create table src (Name varchar(20), TxtValue varchar(20))\n"
         "insert into src values ('SubGrade1', '5')");
    exec("update opt set TxtValue=(select TxtValue from src where Name='SubGrade1') where Name='SubGrade1'\n"
         "update opt set TxtValue=(select TxtValue from src where Name='SubGrade2') where Name='SubGrade2'");
    EXPECT_EQ(column("select isnull(TxtValue, 'null') from opt order by Name"), (Strings{"5", "null"}));
    // Several columns, the old values on the right-hand side.
    exec("update acc set total = id * 100, name = name + cast(total as varchar) where id = 2");
    EXPECT_EQ(text("select name + ':' + cast(total as varchar) from acc where id = 2"), "b7:200");
}

TEST_F(ConformanceDml, DeleteAndCountsOfAffectedRows)
{
    exec("create table t (a int)\ninsert into t values (1), (2), (3), (4)");
    BatchResult r = run("delete from t where a > 2");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 2);
    r = run("delete t where a = 99");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 0);
    r = run("update t set a = a + 1");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 2);
    // The batch reports the last data statement's count, and one event per statement.
    r = run("insert into t values (7)\ndelete from t");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.rowsAffected, 3);
    std::vector<long long> counts;
    for (const BatchEvent& e : r.events)
        if (e.kind == BatchEvent::Kind::RowsAffected)
            counts.push_back(e.count);
    EXPECT_EQ(counts, (std::vector<long long>{1, 3}));
    EXPECT_EQ(text("select count(*) from t"), "0");
    // A batch without data statements reports none.
    r = run("select 1");
    EXPECT_EQ(r.rowsAffected, -1);
    EXPECT_EQ(text("insert into t values (1)\ninsert into t values (2)\ndelete from t\nselect @@ROWCOUNT"), "2");
}

TEST_F(ConformanceDml, DeleteWithSubqueryAndJoinedTables)
{
    exec("create table a (id int, name varchar(10))\n"
         "insert into a values (1, 'keep'), (2, 'drop'), (3, 'drop')\n"
         "create table b (id int)\ninsert into b values (2), (3)");
    exec("delete from a where id in (select id from b where id = 2)");
    EXPECT_EQ(column("select id from a order by id"), (Strings{"1", "3"}));
    exec("delete a from a inner join b on b.id = a.id");
    EXPECT_EQ(column("select id from a"), (Strings{"1"}));
}

}  // namespace
