// The executor's own machinery: cached translations that must follow the
// catalogue, nested batches, all-or-nothing DDL, ALTER TABLE's treatment
// of existing rows, and UPDATE ... FROM with its target among the joins.
#include "conformance_fixture.h"

namespace vqsql::conformance {
namespace {

class SessionCache : public EngineFixture {};

TEST_F(SessionCache, CachedBatchFollowsATableRecreatedWithOtherColumns)
{
    exec("create table t (a int)\ninsert into t values (1)");
    const std::string select = "select * from t";
    EXPECT_EQ(rows(select).columns.size(), 1u);

    exec("drop table t\ncreate table t (a varchar(10), b int)\ninsert into t values ('x', 2)");
    ResultSet rs = rows(select);
    ASSERT_EQ(rs.columns.size(), 2u);
    EXPECT_EQ(rs.columns[0].type.base, BaseType::VarChar);
    EXPECT_EQ(rs.rows[0][0].text, "x");
}

TEST_F(SessionCache, AnotherConnectionsDdlIsSeen)
{
    exec("create table t (a int)");
    const std::string insert = "insert into t values (7)";
    exec(insert);

    auto other = connect();
    other->execute("alter table t add b int null");
    other->execute("create table u (k int)");

    // The same text, translated again for the new layout: one value for
    // two columns is now SQL Server's error 109.
    EXPECT_EQ(errorOf(insert).number, 109);
    EXPECT_EQ(column("select count(*) from t where b is null"), std::vector<std::string>{"1"});
    exec("insert into u values (1)");
}

TEST_F(SessionCache, VariablesAreBoundAnewOnEveryRun)
{
    const std::string batch = "declare @n int  select @n = count(*) from t  select @n + 1";
    exec("create table t (a int)");
    EXPECT_EQ(text(batch), "1");
    exec("insert into t values (1)");
    EXPECT_EQ(text(batch), "2");
}

class SessionNesting : public EngineFixture {};

TEST_F(SessionNesting, DynamicSqlResultsKeepTheirPlaceInTheBatch)
{
    BatchResult r = run("select 1 as a\nexec('select 2 as b print ''inner''')\nselect 3 as c");
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.resultSets.size(), 3u);
    EXPECT_EQ(r.resultSets[1].columns[0].name, "b");
    ASSERT_EQ(r.events.size(), 4u);
    EXPECT_EQ(r.events[2].kind, BatchEvent::Kind::Message);
    EXPECT_EQ(r.messages[0], "inner");
}

TEST_F(SessionNesting, TimeOutCoversANestedBatch)
{
    db_->setCommandTimeout(1);
    BatchResult r = run("exec('declare @i int set @i = 0 while 1 = 1 set @i = @i + 1')\nselect 'after'");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors[0].message, "Query timeout expired");
    // The time-out ends the nested loop; the outer batch goes on, and the
    // connection is usable afterwards.
    db_->setCommandTimeout(30);
    EXPECT_EQ(text("select 'still here'"), "still here");
}

class SessionDdl : public EngineFixture {};

TEST_F(SessionDdl, FailedCreateTableLeavesNoTraceInTheCatalogue)
{
    exec("create table a (k int constraint PK_X primary key)");
    SqlError e = errorOf("create table b (k int, v varchar(10), constraint PK_X primary key (k))");
    EXPECT_EQ(e.number, 2714);
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'b'"), "0");
    EXPECT_EQ(text("select count(*) from syscolumns where name = 'v'"), "0");
    EXPECT_EQ(errorOf("select * from b").number, 208);
}

TEST_F(SessionDdl, AddedColumnsTreatExistingRowsAsSqlServerDoes)
{
    exec("create table t (k int)\ninsert into t values (1)");
    exec("alter table t add n int null default 5, d int not null default 9");
    // A nullable column with a default leaves existing rows NULL; a NOT NULL
    // one fills them with its default; new rows get both defaults.
    exec("insert into t (k) values (2)");
    ResultSet rs = rows("select k, n, d from t order by k");
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_TRUE(rs.rows[0][1].isNull());
    EXPECT_EQ(rs.rows[0][2].integer, 9);
    EXPECT_EQ(rs.rows[1][1].integer, 5);
    EXPECT_EQ(rs.rows[1][2].integer, 9);

    SqlError e = errorOf("alter table t add m int not null");
    EXPECT_EQ(e.number, 4901);
    EXPECT_EQ(text("select count(*) from syscolumns where id = object_id('t')"), "3");
}

TEST_F(SessionDdl, UniqueKeyAddedLaterIsEnforcedAndNamedInErrors)
{
    exec("create table t (k int not null, code varchar(10))\n"
         "alter table t add constraint UQ_t_code unique (code)\n"
         "insert into t values (1, 'a')");
    SqlError e = errorOf("insert into t values (2, 'A')");
    EXPECT_EQ(e.number, 2627);
    EXPECT_EQ(e.message, "Violation of UNIQUE KEY constraint 'UQ_t_code'. Cannot insert duplicate key in object "
                         "'dbo.t'.");
}

class SessionUpdateFrom : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        exec("create table acc (k int primary key, name varchar(20), total int)\n"
             "create table moves (k int, amount int)\n"
             "insert into acc values (1, 'cash', 0), (2, 'bank', 0), (3, 'idle', 0)\n"
             "insert into moves values (1, 10), (2, 5)");
    }
};

TEST_F(SessionUpdateFrom, TargetNamedByItsAliasInsideAJoin)
{
    exec("update a set total = m.amount from acc a join moves m on m.k = a.k where m.amount > 6");
    EXPECT_EQ(column("select total from acc order by k"), (std::vector<std::string>{"10", "0", "0"}));
}

TEST_F(SessionUpdateFrom, TargetOutsideTheFromList)
{
    exec("update acc set total = moves.amount from moves where moves.k = acc.k");
    EXPECT_EQ(column("select total from acc order by k"), (std::vector<std::string>{"10", "5", "0"}));
}

}  // namespace
}  // namespace vqsql::conformance

namespace vqsql::conformance {
namespace {

class SessionIdentity : public EngineFixture {};

TEST_F(SessionIdentity, EveryInsertedRowGetsItsOwnNumber)
{
    exec("create table t (id int identity(100,5), a varchar(10))\n"
         "insert into t(a) values ('x'), ('y')\n"
         "insert into t(a) select name from master..sysdatabases");
    EXPECT_EQ(column("select id from t order by id"), (std::vector<std::string>{"100", "105", "110"}));
    EXPECT_EQ(text("select @@identity"), "110");
    exec("create table plain (a int)\ninsert into plain values (1)");
    EXPECT_EQ(text("select @@identity"), "<NULL>");
}

TEST_F(SessionIdentity, ExplicitValuesOnlyUnderIdentityInsert)
{
    exec("create table t (id int identity(1,1) primary key, a varchar(10))\ninsert into t(a) values ('x')");
    EXPECT_EQ(errorOf("insert into t(id, a) values (7, 'y')").number, 544);
    EXPECT_EQ(errorOf("update t set id = 9").number, 8102);
    exec("set identity_insert t on\ninsert into t(id, a) values (7, 'y')\nset identity_insert t off");
    exec("truncate table t\ninsert into t(a) values ('again')");
    EXPECT_EQ(text("select id from t"), "1");
}

class SessionRules : public EngineFixture {};

TEST_F(SessionRules, ErrorNumberIsClearedBySucceedingStatements)
{
    exec("create table t (k int primary key)\ninsert into t values (1)");
    BatchResult r = run("insert into t values (1)\nselect @@error as e1\nselect @@error as e2");
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].rows[0][0].integer, 2627);
    EXPECT_EQ(r.resultSets[1].rows[0][0].integer, 0);
}

TEST_F(SessionRules, VariableIsKnownOnlyAfterItsDeclaration)
{
    EXPECT_EQ(errorOf("select @later\ndeclare @later int").number, 137);
    EXPECT_EQ(text("declare @x varchar(3) set @x = 'abcdef' select @x"), "abc");
}

TEST_F(SessionRules, TimedOutStatementEndsItsTransactionVisibly)
{
    exec("create table keep (k int)\ncreate table big (k int)\n"
         "insert into big values (1),(2),(3),(4),(5),(6),(7),(8),(9),(10)\n"
         "insert into big select a.k from big a, big b, big c");
    db_->setCommandTimeout(1);
    db_->beginTransaction();
    exec("insert into keep values (1)");
    // One long statement: the time-out interrupts it inside SQLite.
    BatchResult r = run("insert into keep select a.k from big a, big b, big c");
    ASSERT_FALSE(r.ok());
    // SQLite rolled the transaction back: the engine says so instead of
    // committing the following statements one by one as if inside it.
    EXPECT_FALSE(db_->inTransaction());
    db_->setCommandTimeout(30);
    EXPECT_EQ(text("select count(*) from keep"), "0");
}

TEST_F(SessionRules, TypedNullsAndEmptyTexts)
{
    EXPECT_EQ(text("select isnull(cast(null as int), '')"), "0");
    EXPECT_EQ(text("select cast('' as money)"), "0");
    EXPECT_EQ(text("select cast('' as int)"), "0");
    EXPECT_EQ(errorOf("select cast('' as numeric(10,2))").number, 8114);
}

TEST_F(SessionRules, BinaryConvertsToTheTextOfItsBytes)
{
    EXPECT_EQ(text("select cast(0x616263 as varchar(10))"), "abc");
    EXPECT_EQ(text("select convert(varchar(10), cast('中文' as varbinary(10)))"), "中文");
    exec("create table img (k int, b image)\ninsert into img values (1, convert(varbinary(100), 'line one'))");
    EXPECT_EQ(text("select cast(cast(b as varbinary(100)) as varchar(100)) from img"), "line one");
}

TEST_F(SessionRules, DeleteThroughAnAliasOfAJoin)
{
    exec("create table t (id int, a varchar(10))\ncreate table src (id int)\n"
         "insert into t values (1, 'a'), (2, 'b')\ninsert into src values (1)");
    exec("delete x from t x join src s on s.id = x.id");
    EXPECT_EQ(column("select a from t"), std::vector<std::string>{"b"});
}

TEST_F(SessionRules, AlterColumnWithinOneKindOfType)
{
    exec("create table t (a varchar(10), n int)\ninsert into t values ('abcdef', 1)");
    exec("alter table t alter column a varchar(20)");
    EXPECT_EQ(errorOf("alter table t alter column a varchar(3)").number, 8152);
    EXPECT_EQ(errorOf("alter table t alter column n varchar(10)").number, err::Unsupported);
    EXPECT_EQ(errorOf("insert into t values (replicate('x', 21), 2)").number, 8152);
}

TEST_F(SessionRules, RenamedTableKeepsItsIndexesAndKeys)
{
    exec("create table rn (k int constraint PK_rn primary key, c varchar(5))\n"
         "create unique index ix on rn(c)\ninsert into rn values (1, 'a')");
    exec("exec sp_rename 'dbo.rn', 'rn2'\nexec sp_rename 'rn2.c', 'code', 'COLUMN'");
    SqlError e = errorOf("insert into rn2 values (2, 'A')");
    EXPECT_EQ(e.number, 2601);
    EXPECT_EQ(e.message, "Cannot insert duplicate key row in object 'dbo.rn2' with unique index 'ix'.");
    exec("drop index rn2.ix\ninsert into rn2 values (3, 'a')");
    EXPECT_EQ(text("select count(*) from rn2 where code = 'a'"), "2");
}

}  // namespace
}  // namespace vqsql::conformance

namespace vqsql::conformance {
namespace {

class SessionGrouping : public EngineFixture {};

TEST_F(SessionGrouping, ColumnsOfAnAggregatedQueryMustBeGroupedOrAggregated)
{
    exec("create table t (a varchar(10), b int)\ninsert into t values ('x', 1), ('X', 2), ('y', 3)");
    SqlError e = errorOf("select a, count(*) from t");
    EXPECT_EQ(e.number, 8120);
    EXPECT_EQ(e.message, "Column 't.a' is invalid in the select list because it is not contained in either an "
                         "aggregate function or the GROUP BY clause.");
    EXPECT_EQ(errorOf("select a from t group by a having b > 1").number, 8120);
    EXPECT_EQ(column("select upper(a) from t group by upper(a) order by 1"), (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(column("select count(*) from t group by a having sum(b) > 2 order by 1"),
              (std::vector<std::string>{"1", "2"}));
    // A correlated reference to the outer query is a constant for the group.
    EXPECT_EQ(column("select (select count(*) from t i where i.a = o.a) from t o where o.b = 3"),
              std::vector<std::string>{"1"});
}

}  // namespace
}  // namespace vqsql::conformance
