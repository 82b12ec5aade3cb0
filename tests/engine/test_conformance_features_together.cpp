// Procedures, TRY/CATCH, temporary tables, cursors and TOP used together,
// as the desktop clients combine them: each case is a seam between two of
// them that a fault once crossed.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

class FeaturesTogether : public EngineFixture {};

TEST_F(FeaturesTogether, PositionedDeleteWithAFromClauseDeletesOnlyTheFetchedRow)
{
    exec("create table t (id int primary key)");
    exec("insert into t values (1), (2), (3)");
    exec("declare c cursor for select id from t order by id\n"
         "open c\n"
         "fetch next from c\n"
         "fetch next from c\n"
         "delete from t from t where current of c\n"
         "close c deallocate c");
    EXPECT_EQ(text("select count(*) from t"), "2");
    EXPECT_EQ(text("select count(*) from t where id = 2"), "0");
}

TEST_F(FeaturesTogether, AProcedureLeftByAJumpToCatchGivesBackItsOptionsAndDatabase)
{
    exec("create database other");
    BatchResult created = run("use other\nexec('create procedure dbo.fails as set nocount on set xact_abort on select 1 / 0')");
    ASSERT_TRUE(created.ok()) << describeErrors(created);
    exec("use master");
    const ResultSet rs = rows("begin try exec other.dbo.fails end try begin catch end catch\n"
                              "select db_name(), @@procid, @@options & 16384");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toString(), "master");
    EXPECT_EQ(rs.rows[0][1].toInt64(), 0);
    EXPECT_EQ(rs.rows[0][2].toInt64(), 0) << "XACT_ABORT stays as the caller had it";
    // NOCOUNT too: the next insert is counted again.
    exec("create table #n (a int)");
    BatchResult counted = run("insert into #n values (1)");
    EXPECT_EQ(counted.events.size(), 1u);
}

TEST_F(FeaturesTogether, ScopeIdentityFollowsOnlyTheScopesOwnInserts)
{
    exec("create table orders (id int identity(10, 1) primary key, note varchar(10))");
    exec("create table audit (id int identity(90, 1), what varchar(10))");
    exec("create procedure dbo.logIt as insert into audit (what) values ('x')");
    const ResultSet rs = rows("insert into orders (note) values ('a')\n"
                              "exec dbo.logIt\n"
                              "update orders set note = 'b'\n"
                              "select scope_identity(), @@identity");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toString(), "10");
    EXPECT_EQ(rs.rows[0][1].toString(), "90");
}

TEST_F(FeaturesTogether, ErrorAfterExecIsWhatTheProcedureLeft)
{
    exec("create procedure dbo.lastFails as select 1 / 0");
    for (const auto& [batch, expected] : {std::pair{"exec dbo.lastFails\nselect @@error", 8134},
                                          std::pair{"select 1 / 0\nexec sp_helptext 'dbo.lastFails'\nselect @@error", 0}}) {
        SCOPED_TRACE(batch);
        const BatchResult r = run(batch);
        ASSERT_FALSE(r.resultSets.empty());
        EXPECT_EQ(r.resultSets.back().rows.at(0).at(0).toInt64(), expected);
    }
}

TEST_F(FeaturesTogether, CreateProcedureInsideABlockIsRefusedAndStoresNothing)
{
    for (const char* batch : {"if 1 = 1 begin create procedure dbo.inner_ as select 1 end",
                              "begin try create procedure dbo.inner_ as select 1 end try begin catch end catch"}) {
        SCOPED_TRACE(batch);
        BatchResult r = run(batch);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.errors.front().number, 156);
    }
    EXPECT_EQ(text("select object_id('dbo.inner_')"), "<NULL>");
}

TEST_F(FeaturesTogether, MissingTableInsideAProcedureIsCaughtByTheCallersTry)
{
    exec("create procedure dbo.readsNothing as\n"
         "create table #scratch (a int)\n"
         "select * from NoSuchTable");
    const ResultSet rs = rows("begin try exec dbo.readsNothing end try\n"
                              "begin catch select error_number(), error_procedure(), error_line(), "
                              "object_id('tempdb..#scratch') end catch");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 208);
    EXPECT_EQ(rs.rows[0][1].toString(), "readsNothing");
    EXPECT_EQ(rs.rows[0][2].toInt64(), 3);
    EXPECT_TRUE(rs.rows[0][3].isNull()) << "the procedure's #table went with it";
}

TEST_F(FeaturesTogether, ADynamicTextThatDoesNotCompileIsCaughtByTry)
{
    const BatchResult r = run("begin try exec('select 1 +') end try begin catch select error_number() end catch");
    EXPECT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toInt64(), 102);
}

TEST_F(FeaturesTogether, CursorOverTopWithTiesFetchesEveryRow)
{
    exec("create table t (a int)");
    exec("insert into t values (1), (2), (2), (3)");
    const ResultSet rs = rows("declare @n int = 0, @a int\n"
                              "declare c cursor keyset for select top 2 with ties a from t order by a\n"
                              "open c fetch next from c into @a\n"
                              "while @@fetch_status = 0 begin set @n += 1 fetch next from c into @a end\n"
                              "close c deallocate c\n"
                              "select @n");
    EXPECT_EQ(rs.rows.at(0).at(0).toInt64(), 3);
}

TEST_F(FeaturesTogether, TopPercentIsCheckedForEveryStatementOfTheSameShape)
{
    exec("create table t (a int)");
    exec("insert into t values (1), (2), (3), (4)");
    EXPECT_EQ(text("select count(*) from (select top 50 percent a from t order by a) x"), "2");
    BatchResult r = run("select count(*) from (select top 150 percent a from t order by a) x");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors.front().number, 1031);
}

TEST_F(FeaturesTogether, StatementsNestedTooDeeplyAreRefusedNotACrash)
{
    // 400 nested blocks, the procedure calling itself: more than a thread's
    // stack should hold before the nesting limit of 32 procedures.
    std::string open, close;
    for (int i = 0; i < 400; ++i) {
        open += "begin ";
        close += " end";
    }
    exec("create procedure dbo.deep @n int as " + open +
         "if @n > 0 begin declare @m int = @n - 1 exec dbo.deep @m end" + close);
    BatchResult r = run("exec dbo.deep 5");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors.front().number, 191);
    EXPECT_EQ(text("select 1"), "1");
}

TEST_F(FeaturesTogether, ACallThatDoomsItsTransactionEndsIt)
{
    exec("create table t (a int primary key)");
    exec("begin tran insert into t values (1)");
    std::vector<CallArgument> arguments(1);
    arguments[0].type = makeType(BaseType::NVarChar, -1);
    arguments[0].value = Value::fromText("set xact_abort on begin try insert into t values (1) end try "
                                         "begin catch select xact_state() end catch");
    const CallResult call = db_->call("sp_executesql", arguments);
    EXPECT_FALSE(db_->inTransaction()) << "an uncommittable transaction ends with the call";
    EXPECT_EQ(text("select count(*) from t"), "0");
    exec("set xact_abort off");
}

}  // namespace
