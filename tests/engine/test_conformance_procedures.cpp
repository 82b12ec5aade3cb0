// Stored procedures as SQL Server 2008 runs them: CREATE / ALTER / DROP,
// calls by position and by name with defaults and the DEFAULT keyword,
// OUTPUT parameters, return status, nesting and recursion, the errors of
// a call with their procedure and line, sp_helptext, sp_executesql with
// typed parameters, and the typed call API a network server uses.
#include "conformance_fixture.h"

#include <random>

namespace vqsql::conformance {
namespace {

class Procedures : public EngineFixture {};

// ---- errors ------------------------------------------------------------------

struct ErrorCase {
    const char* name;
    std::vector<std::string> setup;
    std::string batch;
    int number;
    std::string message;
    int line;
    std::string procedure;
};

class ProcedureErrors : public EngineFixture, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ProcedureErrors, ReportNumberTextLineAndProcedure)
{
    const ErrorCase& c = GetParam();
    for (const std::string& s : c.setup)
        exec(s);
    const SqlError e = errorOf(c.batch);
    EXPECT_EQ(e.number, c.number) << e.format();
    EXPECT_EQ(e.message, c.message);
    EXPECT_EQ(e.line, c.line) << e.format();
    EXPECT_EQ(e.procedure, c.procedure) << e.format();
}

const char* const kTwoParameters = "CREATE PROCEDURE p @a int, @b int AS SELECT @a + @b";

INSTANTIATE_TEST_SUITE_P(
    Cases, ProcedureErrors,
    ::testing::Values(
        ErrorCase{"AlreadyExists", {"CREATE PROC p AS SELECT 1"}, "CREATE PROCEDURE p AS SELECT 2", 2714,
                  "There is already an object named 'p' in the database.", 1, ""},
        ErrorCase{"NameTakenByATable", {"CREATE TABLE t (a int)"}, "CREATE PROC t AS SELECT 2", 2714,
                  "There is already an object named 't' in the database.", 1, ""},
        ErrorCase{"NotFound", {}, "SELECT 1\nEXEC nosuch 1", 2812, "Could not find stored procedure 'nosuch'.", 2, ""},
        ErrorCase{"MissingParameter", {kTwoParameters}, "EXEC p 1", 201,
                  "Procedure or function 'p' expects parameter '@b', which was not supplied.", 0, "p"},
        ErrorCase{"DefaultWithoutDefault", {kTwoParameters}, "EXEC p 1, DEFAULT", 201,
                  "Procedure or function 'p' expects parameter '@b', which was not supplied.", 0, "p"},
        ErrorCase{"TooManyArguments", {kTwoParameters}, "EXEC p 1, 2, 3", 8144,
                  "Procedure or function p has too many arguments specified.", 0, "p"},
        ErrorCase{"UnknownNamedParameter", {kTwoParameters}, "EXEC p @a = 1, @zz = 2", 8145,
                  "@zz is not a parameter for procedure p.", 0, "p"},
        ErrorCase{"PositionalAfterNamed", {kTwoParameters}, "EXEC p @a = 1, 2", 119,
                  "Must pass parameter number 2 and subsequent parameters as '@name = value'. After the form '@name = "
                  "value' has been used, all subsequent parameters must be passed in the form '@name = value'.",
                  0, "p"},
        ErrorCase{"ConversionOfAnArgument", {kTwoParameters}, "EXEC p 'abc', 1", 8114,
                  "Error converting data type varchar to int.", 0, "p"},
        ErrorCase{"OutputOfAnInputParameter", {kTwoParameters}, "DECLARE @x int\nEXEC p 1, @x OUTPUT", 8162,
                  "The formal parameter \"@b\" was not declared as an OUTPUT parameter, but the actual parameter "
                  "passed in requested output.",
                  0, "p"},
        ErrorCase{"UndeclaredVariableAtCreate", {}, "CREATE PROC p @a int AS\nSELECT @a\nSELECT 1 WHERE @nowhere = 1", 137,
                  "Must declare the scalar variable \"@nowhere\".", 3, ""},
        ErrorCase{"VariableUsedBeforeItsDeclaration", {}, "CREATE PROC p AS\nSET @late = 1\nDECLARE @late int", 137,
                  "Must declare the scalar variable \"@late\".", 2, ""},
        ErrorCase{"ErrorInTheBodyKeepsItsLine", {"-- a comment first\nCREATE PROC p AS\nSELECT 1\n\nSELECT 1/0"},
                  "EXEC p", 8134, "Divide by zero error encountered.", 5, "p"},
        ErrorCase{"ErrorOfANestedProcedure",
                  {"CREATE PROC inner1 AS\nSELECT 1/0", "CREATE PROC outer1 AS\nEXEC inner1"}, "EXEC outer1", 8134,
                  "Divide by zero error encountered.", 2, "inner1"},
        ErrorCase{"NestingLimit", {"CREATE PROC r AS\nEXEC r"}, "EXEC r", 217,
                  "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).", 2, "r"},
        ErrorCase{"DropMissing", {}, "DROP PROCEDURE nosuch", 3701,
                  "Cannot drop the procedure 'nosuch', because it does not exist or you do not have permission.", 1,
                  ""},
        ErrorCase{"AlterMissing", {}, "ALTER PROCEDURE nosuch AS SELECT 1", 208, "Invalid object name 'nosuch'.", 1, ""},
        ErrorCase{"NotFirstInBatch", {}, "SELECT 1\nCREATE PROC p AS SELECT 1", 111,
                  "'CREATE/ALTER PROCEDURE' must be the first statement in a query batch.", 2, ""},
        ErrorCase{"SyntaxErrorInTheBodyAtCreate", {}, "CREATE PROC p AS\nSELECT 1\nSELECT FROM", 156,
                  "Incorrect syntax near the keyword 'FROM'.", 3, ""},
        ErrorCase{"ParameterDeclaredTwice", {}, "CREATE PROC p @a int, @a int AS SELECT 1", 134,
                  "The variable name '@a' has already been declared. Variable names must be unique within a query "
                  "batch or stored procedure.",
                  1, ""},
        ErrorCase{"UseInsideAProcedure", {}, "CREATE PROC p AS\nIF 1 = 1 BEGIN\nUSE master\nEND", 154,
                  "a USE database statement is not allowed in a procedure, function or trigger.", 3, ""},
        ErrorCase{"MissingExecuteSqlParameter", {}, "EXEC sp_executesql N'SELECT @a', N'@a int'", 8178,
                  "The parameterized query '(@a int)' expects the parameter '@a', which was not supplied.", 1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Procedures, NestingLimitReportedOnceAndTheBatchEnds)
{
    exec("CREATE PROC r @n int AS\nSET @n = @n + 1\nEXEC r @n");
    const BatchResult r = run("EXEC r 0\nSELECT 'not reached'");
    ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 217);
    EXPECT_TRUE(r.resultSets.empty());
    EXPECT_EQ(text("SELECT @@NESTLEVEL"), "0");
}

TEST_F(Procedures, RefusedAtCreateLeavesNoProcedure)
{
    errorOf("CREATE PROC p AS\nSELECT FROM");
    errorOf("CREATE PROC p AS\nEXEC @undeclared = q");
    EXPECT_EQ(text("SELECT OBJECT_ID('p')"), "<NULL>");
    // Tables may be missing at create time: they are looked up when it runs.
    exec("CREATE PROC later @x int AS\nDECLARE @y int\nSELECT @y = a FROM notyet WHERE a > @x ORDER BY @y");
    EXPECT_EQ(errorOf("EXEC later 1").number, 208);
}

// ---- parameters --------------------------------------------------------------

struct CallCase {
    const char* name;
    std::string call;
    std::string sum;   // @s after the call
};

class OutputParameters : public EngineFixture, public ::testing::WithParamInterface<CallCase> {};

TEST_P(OutputParameters, ComeBackToTheCallersVariable)
{
    exec("CREATE PROCEDURE dbo.add2 (@a int, @b int = 10, @sum int = NULL OUTPUT, @note varchar(20) = 'none')\n"
         "WITH RECOMPILE AS\nSET @sum = @a + @b");
    EXPECT_EQ(text("DECLARE @s int\n" + GetParam().call + "\nSELECT @s"), GetParam().sum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputParameters,
    ::testing::Values(CallCase{"Positional", "EXEC add2 1, 2, @s OUTPUT", "3"},
                      CallCase{"DefaultKeyword", "EXEC add2 1, DEFAULT, @s OUTPUT", "11"},
                      CallCase{"Named", "EXEC add2 @a = 5, @sum = @s OUTPUT", "15"},
                      CallCase{"NamedOutOfOrder", "EXECUTE dbo.add2 @sum = @s OUT, @b = -1, @a = 1", "0"},
                      CallCase{"WithoutOutputKeywordNothingComesBack", "EXEC add2 1, 2, @s", "<NULL>"},
                      CallCase{"ConvertedToTheCallersType", "DECLARE @t varchar(5)\nEXEC add2 40, 2, @t OUTPUT\nSET @s = @t + 1",
                               "43"},
                      CallCase{"InOutStartsWithTheCallersValue", "SET @s = 7\nEXEC add2 @s, 1, @s OUTPUT", "8"},
                      CallCase{"VariablesAsArguments", "DECLARE @x int, @y int\nSET @x = 20\nSET @y = 3\nEXEC add2 @x, @y, @s OUTPUT",
                               "23"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Procedures, ParametersAreConvertedToTheirDeclaredTypes)
{
    exec("CREATE PROC shapes @c char(4), @v varchar, @d datetime, @m money AS\n"
         "SELECT '[' + @c + ']', @v, CONVERT(varchar(10), @d, 120), @m");
    const ResultSet rs = rows("EXEC shapes 'ab', 'xyz', '20081231', 12.34567");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.rows[0][0].toString(), "[ab  ]");
    EXPECT_EQ(rs.rows[0][1].toString(), "x");
    EXPECT_EQ(rs.rows[0][2].toString(), "2008-12-31");
    EXPECT_EQ(rs.rows[0][3].toString(), "12.3457");
}

// ---- return status, nesting, recursion ------------------------------------------------

struct StatusCase {
    int argument;
    std::string status;
};

class ReturnStatus : public EngineFixture, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ReturnStatus, ComesBackThroughExecVariable)
{
    exec("CREATE PROC rv @x int AS\nIF @x > 0 RETURN @x * 2\nIF @x = 0 RETURN\nSELECT 1/0\nRETURN");
    const BatchResult r = run("DECLARE @rc int\nSET @rc = 99\nEXEC @rc = rv " + std::to_string(GetParam().argument) +
                              "\nSELECT @rc");
    ASSERT_FALSE(r.resultSets.empty());
    EXPECT_EQ(r.resultSets.back().rows[0][0].toString(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReturnStatus,
                         ::testing::Values(StatusCase{5, "10"}, StatusCase{0, "0"},
                                           // no RETURN value after a level 16 error: 10 - 16
                                           StatusCase{-1, "-6"}));

TEST_F(Procedures, NestLevelCountsProceduresAndDynamicSql)
{
    exec("CREATE PROC inner2 AS SELECT @@NESTLEVEL AS lvl");
    exec("CREATE PROC outer2 AS\nSELECT @@NESTLEVEL AS lvl\nEXEC inner2\nEXEC ('SELECT @@NESTLEVEL AS lvl')");
    const BatchResult r = run("SELECT @@NESTLEVEL AS lvl\nEXEC outer2\nEXEC sp_executesql N'SELECT @@NESTLEVEL AS lvl'");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    std::vector<std::string> levels;
    for (const ResultSet& rs : r.resultSets)
        levels.push_back(rs.rows[0][0].toString());
    EXPECT_EQ(levels, (std::vector<std::string>{"0", "1", "2", "2", "1"}));
    EXPECT_EQ(text("EXEC sp_executesql N'SELECT @@PROCID'"), "0");
    EXPECT_EQ(text("EXEC inner2"), "1");
}

TEST_F(Procedures, RecursionWithOutputParameters)
{
    exec("CREATE PROC fact @n int, @r bigint OUTPUT AS\n"
         "IF @n <= 1 SET @r = 1\n"
         "ELSE BEGIN\n"
         "  DECLARE @sub bigint, @m int\n"
         "  SET @m = @n - 1\n"
         "  EXEC fact @m, @sub OUTPUT\n"
         "  SET @r = @n * @sub\n"
         "END");
    EXPECT_EQ(text("DECLARE @x bigint\nEXEC fact 20, @x OUTPUT\nSELECT @x"), "2432902008176640000");
    EXPECT_EQ(text("DECLARE @x bigint\nEXEC fact 1, @x OUTPUT\nSELECT @x"), "1");
}

TEST_F(Procedures, ResultsMessagesAndCountsReachTheCallerInOrder)
{
    exec("CREATE TABLE t (a int)");
    exec("CREATE PROC work AS\nPRINT 'start'\nINSERT INTO t VALUES (1)\nSELECT a FROM t\nSELECT 1/0\nPRINT 'end'");
    const BatchResult r = run("EXEC work\nSELECT 2 AS after");
    std::vector<BatchEvent::Kind> kinds;
    for (const BatchEvent& e : r.events)
        kinds.push_back(e.kind);
    using K = BatchEvent::Kind;
    EXPECT_EQ(kinds, (std::vector<K>{K::Message, K::RowsAffected, K::ResultSet, K::Error, K::Message, K::ResultSet}));
}

TEST_F(Procedures, SetNocountInsideLastsUntilItReturns)
{
    exec("CREATE PROC quiet AS\nSET NOCOUNT ON\nSELECT 1 AS a");
    const BatchResult r = run("EXEC quiet\nSELECT 2 AS b");
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_FALSE(r.resultSets[0].countShown);
    EXPECT_TRUE(r.resultSets[1].countShown);
}

TEST_F(Procedures, CalledWithoutExecFirstInTheBatch)
{
    exec("CREATE PROC twice @x int AS SELECT @x * 2");
    EXPECT_EQ(text("twice 21"), "42");
    EXPECT_EQ(text("DECLARE @name varchar(20)\nSET @name = 'dbo.twice'\nEXEC @name 4"), "8");
}

// ---- the catalogue --------------------------------------------------------------------------

TEST_F(Procedures, StoredInTheCatalogueAndSurviveAReopen)
{
    exec("/* kept with the text */\nCREATE PROCEDURE keep @x int = 3 AS\nSELECT @x + 1 AS v");
    EXPECT_EQ(text("SELECT xtype FROM sysobjects WHERE name = 'keep'"), "P ");   // char(2)
    EXPECT_EQ(text("SELECT type FROM sysobjects WHERE name = 'keep'"), "P ");
    EXPECT_EQ(text("SELECT CASE WHEN OBJECT_ID('keep') = OBJECT_ID('dbo.keep', 'P') THEN 'same' END"), "same");
    EXPECT_EQ(text("SELECT OBJECT_ID('keep', 'U')"), "<NULL>");
    db_ = connect();
    EXPECT_EQ(text("EXEC keep"), "4");
    exec("ALTER PROCEDURE keep @x int = 3 AS\nSELECT @x + 100 AS v");
    EXPECT_EQ(text("EXEC keep"), "103");
    const ResultSet help = rows("EXEC sp_helptext 'keep'");
    ASSERT_EQ(help.columns.size(), 1u);
    EXPECT_EQ(help.columns[0].name, "Text");
    EXPECT_EQ(column("EXEC sp_helptext keep"),
              (std::vector<std::string>{"CREATE PROCEDURE keep @x int = 3 AS\n", "SELECT @x + 100 AS v"}));
    exec("DROP PROCEDURE keep");
    EXPECT_EQ(text("SELECT OBJECT_ID('keep')"), "<NULL>");
    exec("DROP PROCEDURE IF EXISTS keep");
}

TEST_F(Procedures, HelpTextKeepsEveryLineAndTheCommentsBefore)
{
    exec("-- header\nCREATE PROC h AS\nSELECT 1\nSELECT 2\n");
    EXPECT_EQ(column("sp_helptext 'h'"),
              (std::vector<std::string>{"-- header\n", "CREATE PROC h AS\n", "SELECT 1\n", "SELECT 2\n"}));
    EXPECT_EQ(errorOf("EXEC sp_helptext 'nothing'").number, 15009);
}

// ---- sp_executesql ----------------------------------------------------------------------------

TEST_F(Procedures, ExecuteSqlWithTypedAndOutputParameters)
{
    EXPECT_EQ(text("EXEC sp_executesql N'SELECT @s + N''!''', N'@s nvarchar(20)', @s = N'O''Brien'"), "O'Brien!");
    EXPECT_EQ(text("DECLARE @o int\n"
                   "EXEC sp_executesql N'SET @x = @a * 3', N'@a int, @x int OUTPUT', 7, @x = @o OUTPUT\n"
                   "SELECT @o"),
              "21");
    EXPECT_EQ(text("EXEC sp_executesql @stmt = N'SELECT @d + 1', @params = N'@d money', @d = '1.5'"), "2.5");
    EXPECT_EQ(text("DECLARE @q nvarchar(100), @v varchar(10)\nSET @q = N'SELECT LEN(@v)'\nSET @v = 'a''b'\n"
                   "EXEC sp_executesql @q, N'@v varchar(10)', @v"),
              "3");
    EXPECT_EQ(errorOf("EXEC sp_executesql N'SELECT 1', N'@a int', 1, 2").number, 8144);
}

// ---- the typed call API ----------------------------------------------------------------------------

CallArgument argument(std::string name, SqlType type, Value value, bool output = false)
{
    CallArgument a;
    a.name = std::move(name);
    a.type = type;
    a.value = std::move(value);
    a.output = output;
    return a;
}

TEST_F(Procedures, CallApiReturnsStatusAndOutputs)
{
    exec("CREATE PROC api @a int, @b varchar(10) = 'x', @o nvarchar(30) OUTPUT AS\n"
         "SELECT @a AS a\nSET @o = @b + CAST(@a AS varchar(10))\nRETURN 7");
    const SqlType text = makeType(BaseType::NVarChar, 30);
    const CallResult r = db_->call("dbo.api", {argument("", makeType(BaseType::VarChar, 3), Value::fromText("12")),
                                               argument("@o", text, Value::null(), true)});
    ASSERT_TRUE(r.result.ok()) << describeErrors(r.result);
    EXPECT_EQ(r.returnStatus, 7);
    ASSERT_EQ(r.result.resultSets.size(), 1u);
    EXPECT_EQ(r.result.resultSets[0].rows[0][0].toString(), "12");
    ASSERT_EQ(r.outputs.size(), 1u);
    EXPECT_EQ(r.outputs[0].argument, 1u);
    EXPECT_EQ(r.outputs[0].value.toString(), "x12");

    const CallResult dynamic = db_->call(
        "sp_executesql", {argument("", text, Value::fromText("SET @r = @p + 1")),
                          argument("", text, Value::fromText("@p int, @r int OUTPUT")),
                          argument("", makeType(BaseType::Int, 4), Value::fromInteger(41)),
                          argument("@r", makeType(BaseType::Int, 4), Value::null(), true)});
    ASSERT_TRUE(dynamic.result.ok()) << describeErrors(dynamic.result);
    ASSERT_EQ(dynamic.outputs.size(), 1u);
    EXPECT_EQ(dynamic.outputs[0].argument, 3u);
    EXPECT_EQ(dynamic.outputs[0].value.toString(), "42");

    const CallResult missing = db_->call("nosuch", {});
    ASSERT_FALSE(missing.result.ok());
    EXPECT_EQ(missing.result.errors[0].number, 2812);
    EXPECT_EQ(missing.returnStatus, -6);
}

TEST_F(Procedures, BodyRunsInTheProceduresDatabase)
{
    exec("CREATE DATABASE books");
    exec("USE books\nCREATE TABLE ledger (amount int)\nINSERT INTO ledger VALUES (5)");
    exec("USE books");
    exec("CREATE PROC total AS SELECT SUM(amount) FROM ledger");
    exec("USE master");
    EXPECT_EQ(text("EXEC books..total"), "5");
    const BatchResult r = run("EXEC books.dbo.total\nSELECT DB_NAME()");
    ASSERT_EQ(r.resultSets.size(), 2u) << describeErrors(r);
    EXPECT_EQ(r.resultSets[0].rows[0][0].toString(), "5");
    EXPECT_EQ(r.resultSets[1].rows[0][0].toString(), "master");
}

TEST_F(Procedures, TransactionCountMismatchIsReported)
{
    exec("CREATE PROC opens AS BEGIN TRANSACTION");
    const BatchResult r = run("EXEC opens");
    ASSERT_EQ(r.errors.size(), 1u) << describeErrors(r);
    EXPECT_EQ(r.errors[0].number, 266);
    EXPECT_EQ(r.errors[0].message, "Transaction count after EXECUTE indicates a mismatching number of BEGIN and "
                                   "COMMIT statements. Previous count = 0, current count = 1.");
    EXPECT_EQ(r.errors[0].procedure, "opens");
    EXPECT_EQ(text("SELECT @@TRANCOUNT"), "1");
    exec("ROLLBACK");
}

TEST_F(Procedures, RenamedProcedureAnswersToItsNewName)
{
    exec("CREATE PROC oldname AS SELECT 5");
    exec("EXEC sp_rename 'oldname', 'newname'");
    EXPECT_EQ(text("EXEC newname"), "5");
    EXPECT_EQ(errorOf("EXEC oldname").number, 2812);
    EXPECT_EQ(text("SELECT ROUTINE_NAME FROM INFORMATION_SCHEMA.ROUTINES"), "newname");
}

// Procedure texts, calls and sp_executesql parameter lists cut and spliced
// at random: every one is answered (a result or an error) and the
// connection keeps working. Rounds from VQ_FUZZ_ROUNDS, seed VQ_FUZZ_SEED.
TEST_F(Procedures, MangledTextsAreAnsweredAndTheConnectionGoesOn)
{
    const char* rounds = std::getenv("VQ_FUZZ_ROUNDS");
    const char* seed = std::getenv("VQ_FUZZ_SEED");
    const int count = rounds ? std::max(1, std::atoi(rounds)) : 150;
    std::mt19937 rng(seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20261209u);
    exec("CREATE PROC base @a int, @b varchar(10) = 'x' OUTPUT AS\nSET @b = @b + 'y'\nRETURN @a");
    const std::vector<std::string> seeds = {
        "CREATE PROC f1 (@a int = -1, @b nvarchar(20) OUT) WITH RECOMPILE AS SET @b = N'z' RETURN @a",
        "DECLARE @r int, @s varchar(10)\nEXEC @r = base @a = 3, @b = @s OUTPUT\nSELECT @r, @s",
        "EXEC sp_executesql N'SELECT @p + 1', N'@p int, @q varchar(5) = ''d'' OUTPUT', @p = 4",
        "ALTER PROCEDURE f1 @x datetime AS SELECT @x\nDROP PROCEDURE IF EXISTS f1",
    };
    const std::string alphabet = "@'(),=;.[]N- \nxOUTPUT0DEFAULT";
    for (int i = 0; i < count; ++i) {
        std::string batch = seeds[rng() % seeds.size()];
        for (int edits = 1 + static_cast<int>(rng() % 3); edits > 0 && !batch.empty(); --edits) {
            const std::size_t at = rng() % batch.size();
            switch (rng() % 3) {
            case 0: batch.erase(at, 1 + rng() % 4); break;
            case 1: batch.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
            default: batch[at] = alphabet[rng() % alphabet.size()]; break;
            }
        }
        db_->run(batch);
        if (db_->inTransaction())
            db_->rollback();
        ASSERT_EQ(text("SELECT 1"), "1") << "after: " << batch;
    }
    exec("DROP PROCEDURE IF EXISTS f1");
    EXPECT_EQ(text("DECLARE @s varchar(10)\nEXEC base 1, @s OUTPUT\nSELECT @s"), "<NULL>");
}

}  // namespace
}  // namespace vqsql::conformance
