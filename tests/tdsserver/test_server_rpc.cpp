// Remote procedure calls over a real socket: procedures of one's own with
// OUTPUT parameters and return status, sp_executesql with typed and
// OUTPUT parameters, the prepare/execute/unprepare family, several calls
// in one request, the refusals (unknown handle, positioned server-cursor
// updates), and
// parameter values that stay data however many apostrophes they hold.
#include "server_fixture.h"

#include "rpc.h"
#include "sqlerror.h"

#include <algorithm>

using namespace tdstest;
using namespace vqtds;

namespace {

class ServerRpc : public ServerFixture {};

Call executeSql(const std::string& statement, const std::string& declarations, std::vector<Param> values)
{
    Call c{"", proc_id::ExecuteSql, {nvarcharParam("", statement), nvarcharParam("", declarations)}};
    c.params.insert(c.params.end(), values.begin(), values.end());
    return c;
}

TEST_F(ServerRpc, ExecuteSqlWithAnOutputParameter)
{
    auto client = loggedIn();
    const Response r = client->rpc(executeSql("SELECT @a + 1 AS n; SET @out = @a * 2", "@a int, @out int OUTPUT",
                                              {intParam("@a", 20), intParam("@out", std::nullopt, true)}));
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_EQ(r.resultSets.size(), 1u) << "the output values are not shown as a result set";
    EXPECT_EQ(r.resultSets[0].columns, std::vector<std::string>{"n"});
    EXPECT_EQ(r.scalar().integer, 21);
    EXPECT_EQ(r.returnStatuses, std::vector<std::int32_t>{0});
    ASSERT_EQ(r.returnValues.size(), 1u);
    EXPECT_EQ(r.returnValues[0].name, "@out");
    EXPECT_EQ(r.returnValues[0].ordinal, 3);
    EXPECT_EQ(r.returnValues[0].status, return_value_status::OutputParameter);
    EXPECT_EQ(r.returnValues[0].value.integer, 40);
    EXPECT_EQ(r.finalDone().token, token::DoneProc);
    EXPECT_EQ(r.finalDone().status, done_status::Final);
    // RETURNSTATUS comes before the RETURNVALUEs, the DONEPROC last.
    const auto status = std::find(r.tokens.begin(), r.tokens.end(), token::ReturnStatus);
    const auto value = std::find(r.tokens.begin(), r.tokens.end(), token::ReturnValue);
    EXPECT_LT(status, value);
}

TEST_F(ServerRpc, ProcedureOfOnesOwnWithOutputsAndReturnStatus)
{
    auto client = loggedIn();
    exec(*client, "CREATE PROCEDURE dbo.book @amount int, @memo nvarchar(40) = N'none', @doubled int OUTPUT, "
                  "@echo nvarchar(60) OUTPUT AS\n"
                  "SELECT @amount AS amount\n"
                  "SET @doubled = @amount * 2\n"
                  "SET @echo = @memo + N'/' + @echo\n"
                  "RETURN 42");
    const Response r = client->rpc(Call{"dbo.book", 0,
                                        {intParam("", 7), intParam("@doubled", std::nullopt, true),
                                         nvarcharParam("@echo", "in'put", true, 60)}});
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.scalar().integer, 7);
    EXPECT_EQ(r.returnStatuses, std::vector<std::int32_t>{42});
    ASSERT_EQ(r.returnValues.size(), 2u);
    EXPECT_EQ(r.returnValues[0].ordinal, 1);
    EXPECT_EQ(r.returnValues[0].name, "@doubled");
    EXPECT_EQ(r.returnValues[0].value.integer, 14);
    EXPECT_EQ(r.returnValues[1].ordinal, 2);
    EXPECT_EQ(r.returnValues[1].value.text, "none/in'put");
    EXPECT_EQ(r.finalDone().token, token::DoneProc);
    EXPECT_EQ(r.finalDone().status, done_status::Final);

    // An error inside: the procedure's name and line on the ERROR token,
    // the status 10 minus its severity.
    exec(*client, "CREATE PROCEDURE failing AS\nSELECT 1/0");
    const Response failed = client->rpc(Call{"failing", 0, {}});
    ASSERT_EQ(failed.errors.size(), 1u) << describe(failed);
    EXPECT_EQ(failed.errors[0].number, 8134);
    EXPECT_EQ(failed.errors[0].procedureName, "failing");
    EXPECT_EQ(failed.errors[0].line, 2);
    EXPECT_EQ(failed.returnStatuses, std::vector<std::int32_t>{-6});
    EXPECT_NE(failed.finalDone().status & done_status::Error, 0);
}

TEST_F(ServerRpc, ExecuteSqlTextOutputAndNulls)
{
    auto client = loggedIn();
    const Response r = client->rpc(executeSql("SET @o = ISNULL(@s, N'was null') + N'!'", "@s nvarchar(20), @o nvarchar(30) OUTPUT",
                                              {nvarcharParam("@s", std::nullopt), nvarcharParam("@o", std::nullopt, true, 30)}));
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_EQ(r.returnValues.size(), 1u);
    EXPECT_EQ(r.returnValues[0].value.text, "was null!");
}

TEST_F(ServerRpc, OutputLongerThanTheClientsTypeComesBackWhole)
{
    auto client = loggedIn();
    const Response r = client->rpc(executeSql("SET @o = REPLICATE(N'z', 20)", "@o nvarchar(50) OUTPUT",
                                              {nvarcharParam("@o", std::nullopt, true, 5)}));
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_EQ(r.returnValues.size(), 1u);
    EXPECT_EQ(r.returnValues[0].value.text, std::string(20, 'z'));
}

TEST_F(ServerRpc, ErrorInsideACallIsReportedWithStatus)
{
    auto client = loggedIn();
    const Response r = client->rpc(executeSql("SELECT 1/0", "", {}));
    EXPECT_TRUE(r.hasError(8134)) << describe(r);
    EXPECT_NE(r.finalDone().status & done_status::Error, 0);
    EXPECT_EQ(exec(*client, "SELECT 3").scalar().integer, 3);
}

TEST_F(ServerRpc, PrepareExecuteUnprepare)
{
    auto client = loggedIn();
    const Response prepared = client->rpc(Call{"", proc_id::Prepare,
                                               {intParam("@handle", std::nullopt, true), nvarcharParam("", "@x int"),
                                                nvarcharParam("", "SELECT @x * 10 AS v")}});
    ASSERT_TRUE(prepared.errors.empty()) << describe(prepared);
    ASSERT_EQ(prepared.returnValues.size(), 1u);
    const std::int64_t handle = prepared.returnValues[0].value.integer;
    EXPECT_GT(handle, 0);
    EXPECT_TRUE(prepared.resultSets.empty());

    for (int x : {4, 7}) {
        const Response run = client->rpc(Call{"", proc_id::Execute, {intParam("", handle), intParam("", x)}});
        ASSERT_TRUE(run.errors.empty()) << describe(run);
        EXPECT_EQ(run.scalar().integer, x * 10);
    }
    const Response gone = client->rpc(Call{"", proc_id::Unprepare, {intParam("", handle)}});
    ASSERT_TRUE(gone.errors.empty()) << describe(gone);
    const Response stale = client->rpc(Call{"", proc_id::Execute, {intParam("", handle), intParam("", 1)}});
    EXPECT_TRUE(stale.hasError(8179)) << describe(stale);
}

TEST_F(ServerRpc, HandlesBelongToTheirConnection)
{
    auto owner = loggedIn();
    auto other = loggedIn();
    const Response prepared = owner->rpc(Call{"", proc_id::Prepare,
                                              {intParam("@handle", std::nullopt, true), nvarcharParam("", ""),
                                               nvarcharParam("", "SELECT 1 AS one")}});
    ASSERT_EQ(prepared.returnValues.size(), 1u) << describe(prepared);
    const std::int64_t handle = prepared.returnValues[0].value.integer;
    EXPECT_TRUE(other->rpc(Call{"", proc_id::Execute, {intParam("", handle)}}).hasError(8179));
    EXPECT_EQ(owner->rpc(Call{"", proc_id::Execute, {intParam("", handle)}}).scalar().integer, 1);
}

TEST_F(ServerRpc, PrepExecPreparesAndRunsAtOnce)
{
    auto client = loggedIn();
    const Response r = client->rpc(Call{"sp_prepexec", 0,
                                        {intParam("@handle", std::nullopt, true), nvarcharParam("", "@a int, @b nvarchar(10)"),
                                         nvarcharParam("", "SELECT @b + N'-' + CAST(@a AS nvarchar(10)) AS s"),
                                         intParam("", 5), nvarcharParam("", "five")}});
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    EXPECT_EQ(r.scalar().text, "five-5");
    ASSERT_EQ(r.returnValues.size(), 1u);
    EXPECT_EQ(r.returnValues[0].ordinal, 0);
    const Response again = client->rpc(Call{"sp_execute", 0,
                                            {intParam("", r.returnValues[0].value.integer), intParam("", 6), nvarcharParam("", "six")}});
    EXPECT_EQ(again.scalar().text, "six-6");
}

struct RefusedCall {
    const char* name;
    Call call;
    std::int32_t error;
    std::string mentions;
};

class RefusedCalls : public ServerFixture, public ::testing::WithParamInterface<RefusedCall> {};

TEST_P(RefusedCalls, AnswerWithAClearErrorAndGoOn)
{
    const RefusedCall& c = GetParam();
    auto client = loggedIn();
    const Response r = client->rpc(c.call);
    ASSERT_FALSE(r.errors.empty());
    EXPECT_EQ(r.errors[0].number, c.error) << describe(r);
    EXPECT_NE(r.errors[0].text.find(c.mentions), std::string::npos) << r.errors[0].text;
    EXPECT_NE(r.finalDone().status & done_status::Error, 0);
    EXPECT_EQ(r.finalDone().token, token::DoneProc);
    EXPECT_EQ(exec(*client, "SELECT 1").scalar().integer, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedCalls,
    ::testing::Values(RefusedCall{"UnknownHandle", Call{"", proc_id::Execute, {intParam("", 999)}}, 8179, "999"},
                      RefusedCall{"UnprepareUnknownHandle", Call{"", proc_id::Unprepare, {intParam("", 77)}}, 8179, "77"},
                      RefusedCall{"PositionedCursorUpdate", Call{"", proc_id::Cursor, {intParam("", 1), intParam("", 4)}},
                                  vqsql::err::Unsupported, "sp_cursor"},
                      RefusedCall{"ExecuteSqlWithoutStatement", Call{"sp_executesql", 0, {}}, 201, "@statement"},
                      RefusedCall{"UnknownProcedure", Call{"no_such_proc", 0, {}}, 2812, "no_such_proc"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerRpc, FailedCallDoesNotStopTheNextOne)
{
    auto client = loggedIn();
    const Response r = client->rpc(std::vector<Call>{executeSql("SELECT 1 / 0 AS x", "", {}), executeSql("SELECT 2 AS b", "", {})});
    EXPECT_TRUE(r.hasError(8134)) << describe(r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.scalar().integer, 2);
    std::vector<std::uint16_t> procs;
    for (const auto& d : r.dones)
        if (d.token == token::DoneProc)
            procs.push_back(d.status);
    EXPECT_EQ(procs, (std::vector<std::uint16_t>{done_status::More | done_status::RpcInBatch | done_status::Error,
                                                  done_status::Final}));
}

TEST_F(ServerRpc, SeveralCallsInOneRequest)
{
    auto client = loggedIn();
    const Response r = client->rpc(std::vector<Call>{executeSql("SELECT 1 AS a", "", {}), executeSql("SELECT 2 AS b", "", {})});
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_EQ(r.resultSets.size(), 2u);
    std::vector<ReceivedDone> procs;
    for (const auto& d : r.dones)
        if (d.token == token::DoneProc)
            procs.push_back(d);
    ASSERT_EQ(procs.size(), 2u);
    EXPECT_EQ(procs[0].status, done_status::More | done_status::RpcInBatch);
    EXPECT_EQ(procs[1].status, done_status::Final);
}

// A typed value through sp_executesql and back: as a column of the
// result and as an OUTPUT parameter of the same type.
struct TypedValue {
    const char* name;
    TypeInfo type;
    vqsql::Value value;
    std::string shown;   // Value::toString() of what comes back
};

TypeInfo typeInfo(std::uint8_t type, std::uint32_t length, std::uint8_t precision = 0, std::uint8_t scale = 0)
{
    TypeInfo t;
    t.type = type;
    t.maxLength = length;
    t.precision = precision;
    t.scale = scale;
    if (t.hasCollation())
        t.collation = chinesePrcCiAs();
    return t;
}

class TypedParameters : public ServerFixture, public ::testing::WithParamInterface<TypedValue> {};

TEST_P(TypedParameters, ComeBackAsSent)
{
    const TypedValue& c = GetParam();
    auto client = loggedIn();
    const std::string declared = declarationOf(c.type);
    const Response r = client->rpc(executeSql("SELECT @v AS v; SET @o = @v", "@v " + declared + ", @o " + declared + " OUTPUT",
                                              {Param{"@v", c.type, c.value}, Param{"@o", c.type, vqsql::Value::null(), true}}));
    ASSERT_TRUE(r.errors.empty()) << declared << "\n" << describe(r);
    EXPECT_EQ(r.scalar().toString(), c.shown) << declared;
    ASSERT_EQ(r.returnValues.size(), 1u);
    EXPECT_EQ(r.returnValues[0].value.toString(), c.shown) << declared;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TypedParameters,
    ::testing::Values(
        TypedValue{"Int", typeInfo(tds_type::IntN, 4), vqsql::Value::fromInteger(-2147483647 - 1), "-2147483648"},
        TypedValue{"BigInt", typeInfo(tds_type::IntN, 8), vqsql::Value::fromInteger(9007199254740993), "9007199254740993"},
        TypedValue{"Bit", typeInfo(tds_type::BitN, 1), vqsql::Value::fromInteger(1), "1"},
        TypedValue{"Float", typeInfo(tds_type::FltN, 8), vqsql::Value::fromNumber(0.125), "0.125"},
        TypedValue{"Decimal", typeInfo(tds_type::NumericN, 17, 18, 4), vqsql::Value::fromText("12345.6789"), "12345.6789"},
        TypedValue{"Money", typeInfo(tds_type::MoneyN, 8), vqsql::Value::fromText("-12.3400"), "-12.3400"},
        TypedValue{"DateTime", typeInfo(tds_type::DateTimeN, 8), vqsql::Value::fromDateTime("2008-02-29 13:45:10.997"),
                   "2008-02-29 13:45:10.997"},
        TypedValue{"VarCharChinese", typeInfo(tds_type::BigVarChar, 50), vqsql::Value::fromText("会计凭证 'A'"), "会计凭证 'A'"},
        TypedValue{"NVarChar", typeInfo(tds_type::NVarChar, 100), vqsql::Value::fromText("ünïcode ✓"), "ünïcode ✓"},
        TypedValue{"VarBinary", typeInfo(tds_type::BigVarBinary, 8), vqsql::Value::fromBytes(std::string("\x00\x01\xFF'", 4)),
                   std::string("\x00\x01\xFF'", 4)}),
    [](const auto& info) { return std::string(info.param.name); });

// Values with apostrophes, brackets and comment marks are data: stored
// and read back unchanged, never run.
class ParameterValuesStayData : public ServerFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(ParameterValuesStayData, StoredAndReadBackVerbatim)
{
    const std::string value = GetParam();
    auto client = loggedIn();
    exec(*client, "CREATE TABLE notes (body nvarchar(200))");
    const Response insert = client->rpc(executeSql("INSERT INTO notes VALUES (@v); SELECT body FROM notes",
                                                   "@v nvarchar(200)", {nvarcharParam("@v", value)}));
    ASSERT_TRUE(insert.errors.empty()) << describe(insert);
    EXPECT_EQ(insert.scalar().text, value);
    const Response out = client->rpc(executeSql("SET @o = @v", "@v nvarchar(200), @o nvarchar(200) OUTPUT",
                                                {nvarcharParam("@v", value), nvarcharParam("@o", std::nullopt, true)}));
    ASSERT_EQ(out.returnValues.size(), 1u) << describe(out);
    EXPECT_EQ(out.returnValues[0].value.text, value);
    EXPECT_EQ(exec(*client, "SELECT COUNT(*) FROM notes").scalar().integer, 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, ParameterValuesStayData,
                         ::testing::Values("O'Brien", "'); DROP TABLE notes; --", "''''", "x' + (SELECT 1) + N'",
                                           "]; DROP TABLE notes; --", "/* not a comment */", "它's 中文'"));

}  // namespace
