// Conformance of batches, local variables and control flow: statements
// with and without semicolons, DECLARE/SET/SELECT assignment, IF/ELSE,
// BEGIN...END, WHILE/BREAK/CONTINUE and RETURN.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using ConformanceBatches = EngineFixture;
using ConformanceControlFlow = EngineFixture;

TEST_F(ConformanceBatches, StatementsNeedNoSeparator)
{
    const char* batches[] = {
        "create table t (a int) insert into t values (1) insert into t values (2) select count(*) from t",
        "create table t (a int); insert into t values (1); insert into t values (2); select count(*) from t;",
        "create table t (a int)\ninsert into t values (1)\r\ninsert into t values (2)\n\nselect count(*) from t\n",
        "create table t (a int);\ninsert into t values (1) ; insert into t values (2)\nselect count(*) from t",
    };
    for (const char* batch : batches) {
        EXPECT_EQ(text(batch), "2") << batch;
        exec("drop table t");
    }
}

TEST_F(ConformanceBatches, EveryResultSetOfABatchIsReturnedInOrder)
{
    BatchResult r = run("select 1 as a\nselect 'x' as b, 2 as c\nselect 3");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 3u);
    EXPECT_EQ(r.resultSets[0].columns.at(0).name, "a");
    EXPECT_EQ(r.resultSets[1].columns.size(), 2u);
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toString(), "x");
    EXPECT_EQ(r.resultSets[2].columns.at(0).name, "");
    EXPECT_EQ(r.resultSets[2].rows.at(0).at(0).toInt64(), 3);
}

TEST_F(ConformanceBatches, NocountHidesRowCountsButKeepsRowcount)
{
    exec("create table t (a int)");
    BatchResult r = run("set nocount on\ninsert into t values (1)\nselect a from t\n"
                        "set nocount off\ninsert into t values (2)\nselect @@rowcount");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    // Only the second insert reports its count; the first select says it has none.
    long long counted = 0;
    int countEvents = 0;
    for (const BatchEvent& e : r.events)
        if (e.kind == BatchEvent::Kind::RowsAffected) {
            ++countEvents;
            counted = e.count;
        }
    EXPECT_EQ(countEvents, 1);
    EXPECT_EQ(counted, 1);
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_FALSE(r.resultSets[0].countShown);
    EXPECT_TRUE(r.resultSets[1].countShown);
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toInt64(), 1);
    // @@ROWCOUNT goes on counting under NOCOUNT.
    EXPECT_EQ(text("set nocount on delete from t select @@rowcount"), "2");
}

TEST_F(ConformanceBatches, DeclareSeveralVariablesWithInitialValues)
{
    ResultSet rs = rows("declare @i int = 5, @s varchar(10) = 'abc', @n numeric(10,2) = 1.5, @none int\n"
                        "select @i, @s, @n, @none");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toInt64(), 5);
    EXPECT_EQ(rs.rows[0][1].toString(), "abc");
    EXPECT_DOUBLE_EQ(rs.rows[0][2].toDouble(), 1.5);
    EXPECT_TRUE(rs.rows[0][3].isNull());
}

TEST_F(ConformanceBatches, SetAssignsExpressionsAndSubqueries)
{
    exec("create table t (a int) insert into t values (4) insert into t values (9)");
    EXPECT_EQ(text("declare @v int\nset @v = 2 * 3 + 1\nselect @v"), "7");
    EXPECT_EQ(text("declare @v int\nset @v = (select max(a) from t)\nselect @v"), "9");
    EXPECT_EQ(text("declare @v int\nset @v = 1\nset @v = @v + (select min(a) from t)\nselect @v"), "5");
    // A subquery with no row assigns NULL.
    EXPECT_EQ(text("declare @v int\nset @v = 1\nset @v = (select a from t where a = 0)\nselect @v"), "<NULL>");
}

TEST_F(ConformanceBatches, SelectAssignmentTakesTheLastRowAndNoRowLeavesTheVariable)
{
    exec("create table t (a int, s varchar(10))\n"
         "insert into t values (3, 'c')\ninsert into t values (1, 'a')\ninsert into t values (2, 'b')");
    EXPECT_EQ(text("declare @v int\nselect @v = a from t order by a\nselect @v"), "3");
    EXPECT_EQ(text("declare @v int\nselect @v = a from t order by a desc\nselect @v"), "1");
    EXPECT_EQ(text("declare @v int = 7\nselect @v = a from t where a > 100\nselect @v"), "7");
    // An aggregate always yields one row, so it does assign (NULL here).
    EXPECT_EQ(text("declare @v int = 7\nselect @v = max(a) from t where a > 100\nselect @v"), "<NULL>");
    // Several variables in one SELECT; the assignment returns no result set.
    BatchResult r = run("declare @n int, @s varchar(10)\n"
                        "select @n = a, @s = s from t where a = 2\n"
                        "select @n, @s");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toInt64(), 2);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(1).toString(), "b");
}

TEST_F(ConformanceBatches, VariableTextIsCutToItsDeclaredLength)
{
    EXPECT_EQ(text("declare @s varchar(3)\nset @s = 'abcdef'\nselect @s"), "abc");
    EXPECT_EQ(text("declare @s varchar(3) = 'abcdef'\nselect @s"), "abc");
    EXPECT_EQ(text("declare @s varchar(3)\nselect @s = 'wxyz'\nselect @s"), "wxy");
    // varchar without a length in a declaration is varchar(1).
    EXPECT_EQ(text("declare @s varchar\nset @s = 'xyz'\nselect @s"), "x");
    // A Chinese character takes two bytes of a varchar.
    EXPECT_EQ(text("declare @s varchar(4)\nset @s = 'a中文'\nselect @s"), "a中");
    EXPECT_EQ(text("declare @s nvarchar(2)\nset @s = N'中文字'\nselect @s"), "中文");
}

TEST_F(ConformanceBatches, UndeclaredVariableIsError137)
{
    SqlError e = errorOf("select @nope");
    EXPECT_EQ(e.number, 137);
    EXPECT_EQ(e.message, "Must declare the scalar variable \"@nope\".");
    EXPECT_EQ(errorOf("set @x = 1").number, 137);
    // Variables live for one batch only.
    exec("declare @carried int\nset @carried = 1");
    EXPECT_EQ(errorOf("select @carried").number, 137);
}

TEST_F(ConformanceBatches, RedeclaringAVariableIsError134)
{
    SqlError e = errorOf("declare @a int\ndeclare @a int");
    EXPECT_EQ(e.number, 134);
    EXPECT_EQ(e.message, "The variable name '@a' has already been declared. "
                         "Variable names must be unique within a query batch or stored procedure.");
}

TEST_F(ConformanceControlFlow, IfExistsAndIfNotExists)
{
    exec("create table t (a int) insert into t values (1)");
    EXPECT_EQ(text("if exists (select * from t where a = 1) select 'yes' else select 'no'"), "yes");
    EXPECT_EQ(text("if exists (select * from t where a = 2) select 'yes' else select 'no'"), "no");
    EXPECT_EQ(text("if not exists (select * from t where a = 2) select 'absent' else select 'present'"), "absent");
    EXPECT_EQ(text("if not exists (select 1 from t) select 'absent' else select 'present'"), "present");
    // The program's own guard before creating an object.
    exec("if not exists (select * from sysobjects where name = 'u' and xtype = 'U')\n"
         "  create table u (a int)");
    EXPECT_EQ(text("select count(*) from sysobjects where name = 'u'"), "1");
}

TEST_F(ConformanceControlFlow, IfElseRunsExactlyOneBranch)
{
    EXPECT_EQ(text("declare @v int = 5\nif @v > 3 select 'big' else select 'small'"), "big");
    EXPECT_EQ(text("declare @v int = 1\nif @v > 3 select 'big' else select 'small'"), "small");
    // A NULL condition is not true.
    EXPECT_EQ(text("declare @v int\nif @v > 3 select 'big' else select 'unknown'"), "unknown");
    // Without BEGIN...END only the next statement belongs to the IF.
    BatchResult r = run("if 1 = 0 select 'a'\nselect 'b'");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "b");
    // IF without ELSE whose condition fails produces nothing.
    r = run("if 1 = 0 select 'a'");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_TRUE(r.resultSets.empty());
}

TEST_F(ConformanceControlFlow, NestedBeginEndBlocks)
{
    BatchResult r = run("declare @x int = 2\n"
                        "if @x > 0\n"
                        "begin\n"
                        "  if @x = 1\n"
                        "  begin\n"
                        "    select 'one'\n"
                        "  end\n"
                        "  else\n"
                        "  begin\n"
                        "    select 'not one'\n"
                        "    begin\n"
                        "      select 'inner'\n"
                        "    end\n"
                        "  end\n"
                        "  select 'after'\n"
                        "end\n"
                        "else\n"
                        "  select 'never'");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 3u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "not one");
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toString(), "inner");
    EXPECT_EQ(r.resultSets[2].rows.at(0).at(0).toString(), "after");
}

TEST_F(ConformanceControlFlow, WhileWithBreakAndContinue)
{
    EXPECT_EQ(text("declare @i int = 0\n"
                   "while 1 = 1\n"
                   "begin\n"
                   "  set @i = @i + 1\n"
                   "  if @i >= 5 break\n"
                   "end\n"
                   "select @i"),
              "5");
    // Sum of the odd numbers 1..9, skipping the even ones with CONTINUE.
    EXPECT_EQ(text("declare @i int = 0, @sum int = 0\n"
                   "while @i < 10\n"
                   "begin\n"
                   "  set @i = @i + 1\n"
                   "  if @i % 2 = 0 continue\n"
                   "  set @sum = @sum + @i\n"
                   "end\n"
                   "select @sum"),
              "25");
    // A false condition never enters the loop.
    EXPECT_EQ(text("declare @i int = 0\nwhile @i > 0 set @i = @i + 1\nselect @i"), "0");
    // The loop may insert rows, one per pass.
    exec("create table t (a int)\n"
         "declare @i int = 1\n"
         "while @i <= 3\n"
         "begin\n"
         "  insert into t values (@i)\n"
         "  set @i = @i + 1\n"
         "end");
    EXPECT_EQ(text("select sum(a) from t"), "6");
}

TEST_F(ConformanceControlFlow, ReturnEndsTheBatch)
{
    exec("create table t (a int)");
    BatchResult r = run("select 1\ninsert into t values (1)\nreturn\nselect 2\ninsert into t values (2)");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toInt64(), 1);
    EXPECT_EQ(text("select count(*) from t"), "1");
    // RETURN inside a block ends the whole batch, not only the block.
    r = run("if 1 = 1\nbegin\n  select 'in'\n  return\nend\nselect 'out'");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "in");
}

// A transaction that read what another connection has since changed loses
// the conflict when it writes: 1205, its transaction rolled back, and the
// rest of its batch does not run.
TEST_F(ConformanceControlFlow, DeadlockVictimEndsItsBatchAndTransaction)
{
    exec("create table Conflict (k int)");
    exec("begin tran; select count(*) from Conflict");
    auto other = connect();
    ASSERT_TRUE(other->run("insert into Conflict values (1)").ok());
    BatchResult r = run("insert into Conflict values (2); select 'after'");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors.front().number, 1205) << describeErrors(r);
    EXPECT_TRUE(r.resultSets.empty());
    EXPECT_EQ(text("select cast(@@trancount as varchar) + '/' + cast(count(*) as varchar) from Conflict"), "0/1");
}

}  // namespace
