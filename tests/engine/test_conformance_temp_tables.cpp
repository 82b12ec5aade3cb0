// Conformance of temporary tables: #t private to its session and scope,
// ##t shared by the instance's sessions, tempdb names, OBJECT_ID, and the
// identity functions SCOPE_IDENTITY() and IDENT_CURRENT().
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;
using ConformanceTempTables = EngineFixture;

TEST_F(ConformanceTempTables, LocalTableTakesEveryColumnFeatureAndStatement)
{
    exec("create table #t (id int identity(10,5) primary key, code varchar(8) not null unique, "
         "qty int default 3 check (qty >= 0), note varchar(20) null)");
    exec("insert into #t (code) values ('a')\ninsert into #t (code, qty) values ('b', 7)");
    EXPECT_EQ(column("select id from #t order by id"), (Strings{"10", "15"}));
    EXPECT_EQ(errorOf("insert into #t (code) values ('a')").number, 2627);
    EXPECT_EQ(errorOf("insert into #t (code, qty) values ('c', -1)").number, 547);
    SqlError e = errorOf("insert into #t (note) values ('x')");
    EXPECT_EQ(e.number, 515);
    exec("update #t set note = 'n' + code where qty = 7\ndelete from #t where code = 'a'");
    EXPECT_EQ(text("select note from #t"), "nb");
    exec("create table perm (code varchar(8), label varchar(10))\ninsert into perm values ('b', 'B!')");
    EXPECT_EQ(text("select p.label from #t t join perm p on p.code = t.code"), "B!");
    EXPECT_EQ(text("select #t.code from #t"), "b");
    exec("alter table #t add extra int null\ncreate index ix_code on #t (qty)");
    EXPECT_EQ(text("select count(extra) from #t"), "0");
    exec("truncate table #t\ninsert into #t (code) values ('z')");
    EXPECT_EQ(text("select id from #t"), "10");
    exec("drop index #t.ix_code\ndrop table #t");
    // Foreign keys of a temporary table are skipped with a notice.
    BatchResult r = run("create table #f (code varchar(8) constraint fk_code references perm (code))\n"
                        "insert into #f values ('none')");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_FALSE(r.messages.empty());
    EXPECT_EQ(r.messages.front(), "Skipping FOREIGN KEY constraint 'fk_code' definition for temporary table. "
                                  "FOREIGN KEY constraints are not enforced on local or global temporary tables.");
    EXPECT_EQ(errorOf("select * from #t").number, 208);
}

TEST_F(ConformanceTempTables, CreatingAnExistingTableAndLongNames)
{
    exec("create table #t (a int)");
    SqlError e = errorOf("create table #t (b int)");
    EXPECT_EQ(e.number, 2714);
    EXPECT_EQ(e.message, "There is already an object named '#t' in the database.");
    exec("create table #" + std::string(115, 'x') + " (a int)");
    e = errorOf("create table #" + std::string(116, 'x') + " (a int)");
    EXPECT_EQ(e.number, 193);
    EXPECT_EQ(e.message, "The object or column name starting with '#" + std::string(115, 'x') +
                             "' is too long. The maximum length is 116 characters.");
}

TEST_F(ConformanceTempTables, TempdbNamesAndObjectId)
{
    exec("create table #t (a int)\ninsert into #t values (4)");
    EXPECT_EQ(text("select a from tempdb..#t"), "4");
    EXPECT_EQ(text("select a from tempdb.dbo.#t"), "4");
    EXPECT_NE(text("select object_id('tempdb..#t')"), "<NULL>");
    // Outside tempdb a #table is not found by its bare name (as in SQL Server 2008).
    EXPECT_EQ(text("select object_id('#t')"), "<NULL>");
    EXPECT_EQ(text("select object_id('tempdb..#none')"), "<NULL>");
    exec("if object_id('tempdb..#t') is not null drop table #t");
    EXPECT_EQ(text("select object_id('tempdb..#t')"), "<NULL>");
    exec("if object_id('tempdb..#t') is not null drop table #t\ncreate table #t (b int)");
    EXPECT_EQ(text("select count(*) from #t"), "0");
    SqlError e = errorOf("create view v as select * from #t");
    EXPECT_EQ(e.number, 4508);
}

TEST_F(ConformanceTempTables, EachSessionHasItsOwnLocalTable)
{
    auto other = connect();
    exec("create table #t (who varchar(5))\ninsert into #t values ('one')");
    ASSERT_TRUE(other->run("create table #t (who varchar(5), n int)\ninsert into #t values ('two', 2)").ok());
    EXPECT_EQ(text("select who from #t"), "one");
    BatchResult r = other->run("select who from #t");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.resultSets.at(0).rows.at(0).at(0).toString(), "two");
    exec("create table #mine (a int)");
    r = other->run("select object_id('tempdb..#mine')");
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.resultSets.at(0).rows.at(0).at(0).isNull());
    EXPECT_EQ(other->run("select * from #mine").errors.at(0).number, 208);
}

TEST_F(ConformanceTempTables, LocalTableEndsWithItsSessionAndItsDynamicBatch)
{
    {
        auto other = connect();
        ASSERT_TRUE(other->run("create table ##seen (a int)\ncreate table #gone (a int)").ok());
    }
    EXPECT_EQ(text("select object_id('tempdb..##seen')"), "<NULL>");
    // A #table made by EXEC('...') goes when the text ends; one made
    // before is visible inside it.
    exec("create table #outer (a int)");
    BatchResult r = run("exec('create table #inner (a int) insert into #outer values (1) "
                        "select count(*) from #inner')\nselect object_id('tempdb..#inner')");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets.at(0).rows.at(0).at(0).toString(), "0");
    EXPECT_TRUE(r.resultSets.at(1).rows.at(0).at(0).isNull());
    EXPECT_EQ(text("select count(*) from #outer"), "1");
    exec("exec sp_executesql N'create table #inner (a int)'");
    EXPECT_EQ(errorOf("select * from #inner").number, 208);
}

TEST_F(ConformanceTempTables, GlobalTableIsSharedUntilItsCreatorEnds)
{
    auto other = connect();
    exec("create table ##g (a int identity, b varchar(5))\ninsert into ##g (b) values ('x')");
    BatchResult r = other->run("insert into ##g (b) values ('y') select count(*) from tempdb..##g");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets.at(0).rows.at(0).at(0).toString(), "2");
    EXPECT_EQ(other->run("create table ##g (a int)").errors.at(0).number, 2714);
    EXPECT_NE(text("select object_id('tempdb..##g')"), "<NULL>");
    db_.reset();
    r = other->run("select object_id('tempdb..##g')");
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.resultSets.at(0).rows.at(0).at(0).isNull());
    EXPECT_EQ(other->run("select * from ##g").errors.at(0).number, 208);
}

TEST_F(ConformanceTempTables, RollbackUndoesCreationAndRows)
{
    exec("begin tran\ncreate table #t (a int)\ninsert into #t values (1)\nrollback");
    EXPECT_EQ(errorOf("select * from #t").number, 208);
    exec("create table #t (a int)\ninsert into #t values (1)");
    exec("begin tran\ninsert into #t values (2)\ndelete from #t where a = 1\nrollback");
    EXPECT_EQ(column("select a from #t"), (Strings{"1"}));
    // A failing statement changes nothing of the table.
    exec("create table #k (a int primary key)\ninsert into #k values (2)");
    EXPECT_EQ(errorOf("insert into #k select 1 union all select 2").number, 2627);
    EXPECT_EQ(column("select a from #k"), (Strings{"2"}));
}

TEST_F(ConformanceTempTables, ScopeIdentityAndIdentCurrent)
{
    exec("create table t (id int identity(100,1), v int)\ncreate table other (id int identity, v int)");
    EXPECT_EQ(text("select scope_identity()"), "<NULL>");
    EXPECT_EQ(text("select ident_current('t')"), "100");
    BatchResult r = run("insert into t (v) values (1)\nexec('insert into other (v) values (1)')\n"
                        "select scope_identity(), @@identity, ident_current('t'), ident_current('other')");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    const auto& row = r.resultSets.at(0).rows.at(0);
    EXPECT_EQ(row.at(0).toString(), "100");   // the inner batch is another scope
    EXPECT_EQ(row.at(1).toString(), "1");     // @@IDENTITY follows the last insert anywhere
    EXPECT_EQ(row.at(2).toString(), "100");
    EXPECT_EQ(row.at(3).toString(), "1");
    // A new batch is a new scope.
    EXPECT_EQ(text("select scope_identity()"), "<NULL>");
    EXPECT_EQ(text("select ident_current('nosuch')"), "<NULL>");
    exec("create table plain (a int)");
    EXPECT_EQ(text("select ident_current('plain')"), "<NULL>");
    EXPECT_EQ(text("select ident_seed('t')"), "100");
    EXPECT_EQ(text("select ident_incr('t')"), "1");
    exec("create table #h (id int identity(5,2), v int)\ninsert into #h (v) values (1)\ninsert into #h (v) values (1)");
    EXPECT_EQ(text("select ident_current('#h')"), "7");
    auto other = connect();
    r = other->run("select ident_current('t'), ident_current('#h')");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.resultSets.at(0).rows.at(0).at(0).toString(), "100");
    EXPECT_TRUE(r.resultSets.at(0).rows.at(0).at(1).isNull());
}

}  // namespace
