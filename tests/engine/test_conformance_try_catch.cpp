// Conformance of TRY ... CATCH, the ERROR_*() functions, @@ERROR,
// XACT_STATE() and RAISERROR as SQL Server 2008 answers them.
#include "conformance_fixture.h"

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using ConformanceTryCatch = EngineFixture;

const char* const kCaughtRow =
    "select error_number(), error_severity(), error_state(), error_line(), error_message(), "
    "coalesce(error_procedure(), 'none')";

TEST_F(ConformanceTryCatch, StatementErrorGoesToCatchNotToTheClient)
{
    exec("create table t (a int primary key)");
    BatchResult r = run(std::string("begin try\n"
                                    "  insert into t values (1)\n"
                                    "  insert into t values (1)\n"
                                    "  insert into t values (2)\n"
                                    "end try\n"
                                    "begin catch\n  ") +
                        kCaughtRow + "\nend catch\nselect count(*) from t");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 2u);
    const auto& row = r.resultSets[0].rows.at(0);
    EXPECT_EQ(row[0].toString(), "2627");
    EXPECT_EQ(row[1].toString(), "14");
    EXPECT_EQ(row[2].toString(), "1");
    EXPECT_EQ(row[3].toString(), "3");
    EXPECT_EQ(row[4].toString().rfind("Violation of PRIMARY KEY constraint", 0), 0u);
    EXPECT_EQ(row[5].toString(), "none");
    // The statement after the failing one did not run; the first stays.
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toString(), "1");
}

TEST_F(ConformanceTryCatch, ErrorFunctionsAreNullOutsideCatchAndSeenInNestedBatches)
{
    EXPECT_EQ(column("select coalesce(cast(error_number() as varchar), 'null') + '/' + "
                     "coalesce(error_message(), 'null')"),
              std::vector<std::string>{"null/null"});
    BatchResult r = run("begin try select 1/0 end try\n"
                        "begin catch exec ('select error_number(), error_message()') end catch\n"
                        "select error_number()");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "8134");
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(1).toString(), "Divide by zero error encountered.");
    EXPECT_TRUE(r.resultSets[1].rows.at(0).at(0).isNull());
}

TEST_F(ConformanceTryCatch, NestedTryInsideWhileAndIf)
{
    BatchResult r = run("declare @i int, @caught int\nset @i = 0 set @caught = 0\n"
                        "while @i < 5 begin\n"
                        "  set @i = @i + 1\n"
                        "  begin try\n"
                        "    if @i % 2 = 0\n"
                        "      begin try select 1/0 end try\n"
                        "      begin catch set @caught = @caught + 10 raiserror('again %d', 16, 2, @i) end catch\n"
                        "  end try\n"
                        "  begin catch set @caught = @caught + error_number() - 50000 + error_state() end catch\n"
                        "end\n"
                        "select @i, @caught");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    // Two even rounds: each caught inside (10) and again outside (state 2).
    EXPECT_EQ(r.resultSets.back().rows.at(0).at(1).toString(), "24");
}

TEST_F(ConformanceTryCatch, ErrorInsideCatchGoesToTheOuterTryOrTheClient)
{
    BatchResult r = run("begin try\n"
                        "  begin try select 1/0 end try\n"
                        "  begin catch raiserror('inner %s', 16, 1, 'failed') end catch\n"
                        "end try\n"
                        "begin catch select error_message(), error_line() end catch");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets.back().rows.at(0).at(0).toString(), "inner failed");
    EXPECT_EQ(r.resultSets.back().rows.at(0).at(1).toString(), "3");

    r = run("begin try select 1/0 end try\nbegin catch\n raiserror('rethrown: %s', 16, 1, 'x')\nend catch\nselect 5");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].number, 50000);
    EXPECT_EQ(r.errors[0].message, "rethrown: x");
    EXPECT_EQ(r.errors[0].line, 3);
    EXPECT_EQ(r.resultSets.back().rows.at(0).at(0).toString(), "5");
}

TEST_F(ConformanceTryCatch, ErrorOfANestedBatchIsCaughtWithItsOutputKept)
{
    BatchResult r = run("begin try exec ('select 7 select 1/0 select 8') end try\n"
                        "begin catch select error_number() end catch");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "7");
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toString(), "8134");
    // A missing table in the nested batch is at a lower level: caught.
    EXPECT_EQ(text("begin try exec ('select * from NoSuch') end try begin catch select error_number() end catch"),
              "208");
}

TEST_F(ConformanceTryCatch, NameResolutionErrorAtTheSameLevelIsNotCaught)
{
    BatchResult r = run("begin try select * from NoSuch end try\nbegin catch select 'caught' end catch\nselect 'after'");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].number, 208);
    EXPECT_TRUE(r.resultSets.empty());   // neither CATCH nor the rest of the batch ran
}

TEST_F(ConformanceTryCatch, AtAtErrorFollowsEachStatement)
{
    BatchResult r = run("begin try select 1/0 end try\n"
                        "begin catch select @@error as first, @@error as second end catch\n"
                        "select 1/0\nselect @@error\nselect @@error");
    ASSERT_EQ(r.resultSets.size(), 3u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "8134");
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(1).toString(), "8134");   // same statement
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toString(), "8134");
    EXPECT_EQ(r.resultSets[2].rows.at(0).at(0).toString(), "0");
}

// ---- transactions ---------------------------------------------------------------

TEST_F(ConformanceTryCatch, WithoutXactAbortTheTransactionStaysCommittable)
{
    exec("create table t (a int primary key)");
    BatchResult r = run("begin tran\n"
                        "begin try insert into t values (1) insert into t values (1) end try\n"
                        "begin catch select xact_state(), @@trancount end catch\n"
                        "commit");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "1");
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(1).toString(), "1");
    EXPECT_EQ(text("select count(*) from t"), "1");
    EXPECT_EQ(text("select xact_state()"), "0");
}

TEST_F(ConformanceTryCatch, UnderXactAbortTheTransactionIsDoomed)
{
    exec("create table t (a int primary key)");
    BatchResult r = run("set xact_abort on\n"
                        "begin tran\n"
                        "insert into t values (1)\n"
                        "begin try insert into t values (1) end try\n"
                        "begin catch select xact_state(), @@trancount end catch\n"
                        "select 'batch goes on'");
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "-1");
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(1).toString(), "1");
    // At the end of the batch the doomed transaction is rolled back.
    ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 3998);
    EXPECT_EQ(r.errors[0].message,
              "Uncommittable transaction is detected at the end of the batch. The transaction is rolled back.");
    EXPECT_EQ(text("select @@trancount"), "0");
    EXPECT_EQ(text("select count(*) from t"), "0");

    // A statement that writes is refused with 3930.
    r = run("begin tran\n"
            "begin try select 1/0 end try begin catch set xact_abort off end catch\n"
            "insert into t values (2)\nselect xact_state()");
    ASSERT_EQ(r.errors.size(), 2u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 3930);
    EXPECT_EQ(r.errors[0].line, 3);
    EXPECT_EQ(r.errors[0].message,
              "The current transaction cannot be committed and cannot support operations that write to the log "
              "file. Roll back the transaction.");
    EXPECT_EQ(r.resultSets.at(0).rows.at(0).at(0).toString(), "-1");
    EXPECT_EQ(r.errors[1].number, 3998);
    EXPECT_EQ(text("select count(*) from t"), "0");
}

TEST_F(ConformanceTryCatch, DoomedTransactionRefusesCommitAndTakesRollback)
{
    exec("create table t (a int primary key)");
    BatchResult r = run("set xact_abort on begin tran insert into t values (1)\n"
                        "begin try select 1/0 end try begin catch set xact_abort off end catch\n"
                        "commit");
    ASSERT_EQ(r.errors.size(), 2u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 3930);
    EXPECT_EQ(r.errors[0].line, 3);
    EXPECT_EQ(r.errors[1].number, 3998);
    r = run("set xact_abort on begin tran insert into t values (1)\n"
                        "begin try select 1/0 end try\n"
                        "begin catch if xact_state() = -1 rollback end catch\n"
                        "select @@trancount, count(*) from t");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.resultSets.back().rows.at(0).at(0).toString(), "0");
    EXPECT_EQ(r.resultSets.back().rows.at(0).at(1).toString(), "0");
    exec("set xact_abort off");
}

TEST_F(ConformanceTryCatch, BatchAbortingErrorsOutsideTryStayAsBefore)
{
    exec("create table t (a int primary key)");
    // Without XACT_ABORT the batch goes on and the transaction stays open.
    BatchResult r = run("begin tran insert into t values (1) insert into t values (1) select @@trancount");
    EXPECT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.resultSets.at(0).rows.at(0).at(0).toString(), "1");
    exec("commit");
    // With XACT_ABORT the error rolls back and ends the batch.
    r = run("set xact_abort on begin tran insert into t values (2) insert into t values (1) select 'not reached'");
    EXPECT_EQ(r.errors.size(), 1u);
    EXPECT_TRUE(r.resultSets.empty());
    EXPECT_EQ(text("select @@trancount"), "0");
    EXPECT_EQ(text("select count(*) from t"), "1");
    // Outside a transaction, XACT_ABORT ends the batch too.
    r = run("insert into t values (1) select 'not reached'");
    EXPECT_TRUE(r.resultSets.empty());
    exec("set xact_abort off");
}

// ---- RAISERROR ---------------------------------------------------------------------

struct FormatCase {
    const char* arguments;   // after RAISERROR(
    const char* message;
};

TEST_F(ConformanceTryCatch, RaiserrorFormatsItsArgumentsLikePrintf)
{
    const FormatCase cases[] = {
        {"'plain', 16, 1", "plain"},
        {"'%d and %i', 16, 1, 42, -7", "42 and -7"},
        {"'[%5d][%-5d][%05d]', 16, 1, 42, 42, 42", "[   42][42   ][00042]"},
        {"'%+d % d', 16, 1, 5, 5", "+5  5"},
        {"'%x %X %o %u', 16, 1, 255, 255, 8, 7", "ff FF 10 7"},
        {"'%#x %#o', 16, 1, 255, 8", "0xff 010"},
        {"'%u %x', 16, 1, -1, -1", "4294967295 ffffffff"},
        {"'%I64d %x', 16, 1, cast(9000000000 as bigint), cast(-1 as bigint)", "9000000000 ffffffffffffffff"},
        {"'%.3d', 16, 1, 7", "007"},
        {"'[%s][%10s][%-4s][%.2s]', 16, 1, 'ab', 'right', 'l', 'cut'", "[ab][     right][l   ][cu]"},
        {"'[%*d][%-*.*s]', 16, 1, 4, 9, 6, 2, 'abcdef'", "[   9][ab    ]"},
        {"'100%% sure, %s', 16, 1, N'中文'", "100% sure, 中文"},
        {"'missing %s and %d', 16, 1", "missing (null) and (null)"},
        {"'null %s', 16, 1, NULL", "null (null)"},
        {"'ends with %', 16, 1", "ends with %"},
    };
    for (const FormatCase& c : cases) {
        SqlError e = errorOf(std::string("raiserror(") + c.arguments + ")");
        EXPECT_EQ(e.number, 50000) << c.arguments;
        EXPECT_EQ(e.message, c.message) << c.arguments;
    }
    SqlError fromVariable = errorOf("declare @m nvarchar(100) set @m = N'row %d of %s'\n"
                                    "raiserror(@m, 16, 1, 3, 'T')");
    EXPECT_EQ(fromVariable.message, "row 3 of T");
    EXPECT_EQ(fromVariable.line, 2);
    const std::string longText(3000, 'x');
    SqlError e = errorOf("raiserror('" + longText + "', 16, 1)");
    EXPECT_EQ(e.message, std::string(2044, 'x') + "...");
}

struct RefusalCase {
    const char* statement;
    int number;
    const char* message;
};

TEST_F(ConformanceTryCatch, RaiserrorRefusals)
{
    const RefusalCase cases[] = {
        {"raiserror('%d', 16, 1, 'text')", 2786,
         "The data type of substitution parameter 1 does not match the expected type of its format character."},
        {"raiserror('%s', 16, 1, 5)", 2786,
         "The data type of substitution parameter 1 does not match the expected type of its format character."},
        {"raiserror('%s', 16, 1, 1.5)", 2748, "Cannot specify numeric data type (parameter 4) as a substitution "
                                             "parameter."},
        {"raiserror('x', 19, 1)", 2754, "Error severity levels greater than 18 can only be specified by members of "
                                        "the sysadmin role, using the WITH LOG option."},
        {"raiserror(208, 16, 1)", 2732, "Error number 208 is invalid. The number must be from 13000 through "
                                        "2147483647 and it cannot be 50000."},
        {"raiserror(50000, 16, 1)", 2732, "Error number 50000 is invalid. The number must be from 13000 through "
                                          "2147483647 and it cannot be 50000."},
        {"raiserror(60000, 16, 3)", 18054,
         "Error 60000, severity 16, state 3 was raised, but no message with that error number was found in "
         "sys.messages. If error is larger than 50000, make sure the user-defined message is added using "
         "sp_addmessage."},
    };
    for (const RefusalCase& c : cases) {
        SqlError e = errorOf(c.statement);
        EXPECT_EQ(e.number, c.number) << c.statement;
        EXPECT_EQ(e.message, c.message) << c.statement;
    }
}

struct SeverityCase {
    const char* statement;
    bool error;          // reported as an error (else a message)
    int severity;
    int state;
    int atAtError;
    bool caught;         // inside TRY it goes to CATCH
};

TEST_F(ConformanceTryCatch, RaiserrorSeverities)
{
    const SeverityCase cases[] = {
        {"raiserror('m', 0, 1)", false, 0, 1, 0, false},
        {"raiserror('m', 10, 3)", false, 10, 3, 0, false},
        {"raiserror('m', 10, 1) with seterror", false, 10, 1, 50000, false},
        {"raiserror('m', -5, -2)", false, 0, 1, 0, false},
        {"raiserror('m', 11, 1)", true, 11, 1, 50000, true},
        {"raiserror('m', 16, 200)", true, 16, 200, 50000, true},
        {"raiserror('m', 18, 1) with nowait", true, 18, 1, 50000, true},
        {"raiserror('m', 19, 1) with log", true, 19, 1, 50000, true},
        {"raiserror 50005 'old form'", true, 16, 1, 50005, true},
    };
    for (const SeverityCase& c : cases) {
        BatchResult r = run(std::string(c.statement) + "\nselect @@error");
        EXPECT_EQ(r.ok(), !c.error) << c.statement;
        const SqlError* reported = nullptr;
        if (c.error && !r.errors.empty())
            reported = &r.errors[0];
        else if (!c.error && !r.messages.empty())
            reported = r.messageDetail(0);
        ASSERT_NE(reported, nullptr) << c.statement;
        EXPECT_EQ(reported->severity, c.severity) << c.statement;
        EXPECT_EQ(reported->state, c.state) << c.statement;
        EXPECT_EQ(reported->line, 1) << c.statement;
        EXPECT_EQ(r.resultSets.at(0).rows.at(0).at(0).toString(), std::to_string(c.atAtError)) << c.statement;

        r = run(std::string("begin try ") + c.statement + " select 'went on' end try\n"
                "begin catch select 'caught' end catch");
        EXPECT_TRUE(r.ok()) << c.statement << describeErrors(r);
        ASSERT_FALSE(r.resultSets.empty()) << c.statement;
        EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), c.caught ? "caught" : "went on") << c.statement;
    }
}

TEST_F(ConformanceTryCatch, RaiserrorDoesNotHonourXactAbort)
{
    BatchResult r = run("set xact_abort on begin tran\nraiserror('x', 16, 1)\n"
                        "begin try raiserror('y', 16, 1) end try begin catch select xact_state() end catch\n"
                        "select @@trancount\ncommit\nset xact_abort off");
    ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].rows.at(0).at(0).toString(), "1");
    EXPECT_EQ(r.resultSets[1].rows.at(0).at(0).toString(), "1");
    EXPECT_EQ(text("select @@trancount"), "0");
}

TEST_F(ConformanceTryCatch, FatalSeverityEndsTheBatchAndTheTransaction)
{
    BatchResult r = run("begin tran\nbegin try raiserror('fatal', 20, 1) with log end try\n"
                        "begin catch select 'caught' end catch\nselect 'after'");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].severity, 20);
    EXPECT_TRUE(r.resultSets.empty());
    EXPECT_EQ(text("select @@trancount"), "0");
}

}  // namespace
