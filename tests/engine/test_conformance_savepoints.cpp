// Conformance of SAVE TRANSACTION and ROLLBACK TRANSACTION to a savepoint,
// the compound assignments (SET @v += ...) and WAITFOR.
#include "conformance_fixture.h"

#include <chrono>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using ConformanceSavepoints = EngineFixture;

TEST_F(ConformanceSavepoints, RollbackToASavepointKeepsTheTransaction)
{
    exec("create table t (a int)");
    BatchResult r = run("begin tran outer_tran\n"
                        "insert into t values (1)\n"
                        "save tran first_point\n"
                        "insert into t values (2)\n"
                        "save transaction second_point\n"
                        "insert into t values (3)\n"
                        "rollback tran first_point\n"
                        "select @@trancount, xact_state(), count(*) from t");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "1");
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(1).toString(), "1");
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(2).toString(), "1");
    // The later savepoint went with the rollback; the earlier one stays.
    SqlError e = errorOf("rollback tran second_point");
    EXPECT_EQ(e.number, 6401);
    EXPECT_EQ(e.message, "Cannot roll back second_point. No transaction or savepoint of that name was found.");
    EXPECT_EQ(text("select @@trancount"), "1");
    exec("insert into t values (4) rollback tran first_point");
    exec("commit");
    EXPECT_EQ(column("select a from t"), std::vector<std::string>{"1"});
}

TEST_F(ConformanceSavepoints, TheOuterTransactionsNameRollsBackEverything)
{
    exec("create table t (a int)");
    exec("begin tran T1 insert into t values (1) begin tran T2 save tran S insert into t values (2)");
    EXPECT_EQ(errorOf("rollback tran T2").number, 6401);   // an inner transaction's name is no savepoint
    EXPECT_EQ(errorOf("rollback tran t1").number, 6401);   // names are compared exactly
    EXPECT_EQ(text("select @@trancount"), "2");
    exec("rollback tran T1");
    EXPECT_EQ(text("select @@trancount"), "0");
    EXPECT_EQ(text("select count(*) from t"), "0");
}

TEST_F(ConformanceSavepoints, SavepointsByVariableAndRepeatedNames)
{
    exec("create table t (a int)");
    BatchResult r = run("declare @p varchar(20) set @p = 'p'\n"
                        "begin tran\n"
                        "insert into t values (1) save tran @p\n"
                        "insert into t values (2) save tran p\n"
                        "insert into t values (3) rollback tran @p\n"
                        "select count(*) from t\n"
                        "rollback tran p\nselect count(*) from t\ncommit");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "2");   // back to the latest "p"
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toString(), "2");   // which stays
}

TEST_F(ConformanceSavepoints, SavepointUndoesDdl)
{
    exec("begin tran create table kept (a int) save tran s create table gone (a int) rollback tran s commit");
    EXPECT_EQ(text("select count(*) from kept"), "0");
    EXPECT_EQ(errorOf("select * from gone").number, 208);
}

TEST_F(ConformanceSavepoints, SavepointErrors)
{
    SqlError e = errorOf("save tran s");
    EXPECT_EQ(e.number, 628);
    EXPECT_EQ(e.message, "Cannot issue SAVE TRANSACTION when there is no active transaction.");
    EXPECT_EQ(errorOf("rollback tran s").number, 3903);
    EXPECT_EQ(errorOf("save tran").number, 156);   // the name is required
    // In a doomed transaction a savepoint is no way back.
    exec("create table t (a int)");
    BatchResult r = run("set xact_abort on begin tran save tran s\n"
                        "begin try select 1/0 end try begin catch set xact_abort off end catch\n"
                        "rollback tran s\nrollback");
    ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 3931);
    EXPECT_EQ(r.errors[0].message, "The current transaction cannot be committed and cannot be rolled back to a "
                                   "savepoint. Roll back the entire transaction.");
    EXPECT_EQ(text("select @@trancount"), "0");
}

// ---- compound assignments ------------------------------------------------------------

struct CompoundCase {
    const char* declaration;
    const char* assignment;
    const char* expected;
};

TEST_F(ConformanceSavepoints, CompoundAssignmentsByType)
{
    const CompoundCase cases[] = {
        {"int = 10", "+= 5", "15"},
        {"int = 10", "-= 15", "-5"},
        {"int = 10", "*= 3", "30"},
        {"int = 10", "/= 3", "3"},
        {"int = 10", "%= 4", "2"},
        {"int = 12", "&= 10", "8"},
        {"int = 12", "|= 3", "15"},
        {"int = 12", "^= 5", "9"},
        {"numeric(10,2) = 1.50", "+= 2.25", "3.75"},
        {"float = 1", "/= 4", "0.25"},
        {"varchar(10) = 'ab'", "+= 'cd'", "abcd"},
        {"varchar(4) = 'abc'", "+= 'def'", "abcd"},
        {"nvarchar(10) = N'中'", "+= N'文'", "中文"},
        {"int = null", "+= 1", "<NULL>"},
        {"int = 2", "*= 3 + 1", "8"},
    };
    for (const CompoundCase& c : cases) {
        EXPECT_EQ(text(std::string("declare @v ") + c.declaration + " set @v " + c.assignment + " select @v"),
                  c.expected)
            << c.declaration << " " << c.assignment;
    }
    EXPECT_EQ(errorOf("declare @v int = 1 set @v /= 0").number, 8134);
    EXPECT_EQ(errorOf("set @undeclared += 1").number, 137);
}

TEST_F(ConformanceSavepoints, CompoundAssignmentsInUpdate)
{
    exec("create table t (a int, s varchar(10))");
    exec("insert into t values (1, 'x') insert into t values (2, 'y')");
    exec("update t set a += 10, s += '!' where a = 2");
    EXPECT_EQ(column("select cast(a as varchar) + s from t order by a"), (std::vector<std::string>{"1x", "12y!"}));
}

// ---- WAITFOR ----------------------------------------------------------------------------

TEST_F(ConformanceSavepoints, WaitforDelayWaits)
{
    const auto start = std::chrono::steady_clock::now();
    exec("waitfor delay '00:00:00.300'");
    exec("declare @d char(8) set @d = '00:00:00' waitfor delay @d");
    exec("declare @t datetime set @t = '1900-01-01 00:00:00.100' waitfor delay @t");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(400));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST_F(ConformanceSavepoints, WaitforBadTimeIs148)
{
    for (const char* text : {"abc", "25:00:00", "00:61", "1", ""}) {
        SqlError e = errorOf(std::string("waitfor delay '") + text + "'");
        EXPECT_EQ(e.number, 148) << text;
        EXPECT_EQ(e.message, std::string("Incorrect time syntax in time string '") + text + "' used with WAITFOR.");
    }
    EXPECT_EQ(errorOf("waitfor time '24:00'").number, 148);
    EXPECT_EQ(errorOf("declare @t varchar(10) set @t = 'soon' waitfor time @t").number, 148);
    EXPECT_EQ(errorOf("waitfor delay 5").number, 102);
}

TEST_F(ConformanceSavepoints, WaitforEndsAtTheCommandTimeout)
{
    db_->setCommandTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    SqlError e = errorOf("waitfor delay '00:00:30'");
    EXPECT_EQ(e.number, err::Timeout);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
