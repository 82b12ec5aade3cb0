// RPC requests as FreeTDS, tedious and ODBC send them (sp_executesql by
// number with its statement as nvarchar or ntext, named and positional
// parameters, OUTPUT, a NULL of every type, the fixed-length types, a
// (max) value in chunks, several calls in one request, 7.1 without
// request headers), the parameters' declarations, the transaction manager
// requests, and the RETURNVALUE token byte for byte.
#include "rpc.h"
#include "tds_test_helpers.h"
#include "tokens.h"
#include "txmanager.h"

#include <gtest/gtest.h>

using namespace vqtds;
using tdstest::fromHex;
using tdstest::toHex;
using vqsql::Value;

namespace {

// Request headers: total 22, one transaction descriptor header of 18
// (descriptor 0x0102030405060708, one outstanding request).
const std::string kHeaders = "16 00 00 00 12 00 00 00 02 00 08 07 06 05 04 03 02 01 01 00 00 00 ";
const std::string kCollation = " 04 08 D0 00 00 ";   // Chinese_PRC_CI_AS
const std::string kExecuteSql = "FF FF 0A 00 00 00 ";   // by number, no options

// A request written field by field.
struct Request {
    Bytes bytes;

    Request& hex(const std::string& h) { putBytes(bytes, fromHex(h)); return *this; }
    Request& u16(std::uint16_t v) { putU16le(bytes, v); return *this; }
    Request& u32(std::uint32_t v) { putU32le(bytes, v); return *this; }
    Request& utf16(const std::string& text) { putBytes(bytes, utf8ToUtf16(text)); return *this; }
    // B_VARCHAR parameter name and the status byte.
    Request& param(const std::string& name, std::uint8_t status = 0)
    {
        putU8(bytes, static_cast<std::uint8_t>(utf16Units(name)));
        utf16(name);
        putU8(bytes, status);
        return *this;
    }
    Request& nvarchar(const std::string& name, std::uint16_t maxBytes, const std::string& value)
    {
        param(name).hex("E7").u16(maxBytes).hex(kCollation);
        return u16(static_cast<std::uint16_t>(utf16Units(value) * 2)).utf16(value);
    }
    Request& intN(const std::string& name, std::int32_t value)
    {
        return param(name).hex("26 04 04").u32(static_cast<std::uint32_t>(value));
    }
};

RpcCall onlyCall(const Request& q, TdsVersion version, RequestHeaders* headers = nullptr)
{
    std::vector<RpcCall> calls = parseRpcRequest(q.bytes, version, headers);
    if (calls.size() != 1)
        throw std::runtime_error(std::to_string(calls.size()) + " calls");
    return std::move(calls[0]);
}

}  // namespace

// --- Calls as clients send them ---------------------------------------------

TEST(TdsRpc, ExecuteSqlWithNamedParametersAsTediousSendsIt)
{
    Request q;
    q.hex(kHeaders + kExecuteSql);
    q.nvarchar("@statement", 8000, "select * from 凭证 where id = @id and 摘要 = @memo");
    q.nvarchar("@params", 8000, "@id int, @memo nvarchar(50)");
    q.intN("@id", 42).nvarchar("@memo", 100, "收款");
    RequestHeaders headers;
    const RpcCall c = onlyCall(q, TdsVersion::V7_4, &headers);
    EXPECT_EQ(headers.transactionDescriptor.value_or(0), 0x0102030405060708ULL);
    EXPECT_EQ(c.procedureId.value_or(0), proc_id::ExecuteSql);
    EXPECT_EQ(c.procedureName, "sp_executesql");
    ASSERT_EQ(c.parameters.size(), 4u);
    EXPECT_EQ(c.parameters[0].name, "@statement");
    EXPECT_EQ(c.parameters[0].value.toString(), "select * from 凭证 where id = @id and 摘要 = @memo");
    EXPECT_EQ(c.parameters[1].value.toString(), "@id int, @memo nvarchar(50)");
    EXPECT_EQ(c.parameters[2].name, "@id");
    EXPECT_EQ(c.parameters[2].value.toInt64(), 42);
    EXPECT_EQ(c.parameters[3].value.toString(), "收款");
    EXPECT_EQ(declarationOf(c.parameters[3]), "nvarchar(50)");
}

TEST(TdsRpc, PositionalParametersAsOdbcSendsThem)
{
    Request q;
    q.hex(kHeaders + kExecuteSql).nvarchar("", 200, "select @P1").nvarchar("", 40, "@P1 money");
    q.param("").hex("6E 08 08 00 00 00 00 E8 03 00 00");   // money 0.1
    const RpcCall c = onlyCall(q, TdsVersion::V7_3);
    ASSERT_EQ(c.parameters.size(), 3u);
    for (const RpcParameter& p : c.parameters)
        EXPECT_EQ(p.name, "");
    EXPECT_EQ(c.parameters[2].value.toString(), "0.1000");
}

TEST(TdsRpc, NTextStatementWithoutHeadersAsFreeTdsSendsItIn71)
{
    // ntext parameters carry a 4-byte length alone, no text pointer.
    Request q;
    q.hex(kExecuteSql);
    q.param("@stmt").hex("63").u32(0x7FFFFFFE).hex(kCollation).u32(26).utf16("select @a, @b");
    q.param("@params").hex("63").u32(0x7FFFFFFE).hex(kCollation).u32(30).utf16("@a int,@b float");
    q.param("@a").hex("38 07 00 00 00");
    const RpcCall c = onlyCall(q, TdsVersion::V7_1);
    ASSERT_EQ(c.parameters.size(), 3u);
    EXPECT_EQ(c.parameters[0].value.toString(), "select @a, @b");
    EXPECT_EQ(declarationOf(c.parameters[0]), "ntext");
    EXPECT_EQ(c.parameters[1].value.toString(), "@a int,@b float");
    EXPECT_EQ(c.parameters[2].value.toInt64(), 7);
}

TEST(TdsRpc, ProcedureByNameWithOptionsOutputAndDefault)
{
    Request q;
    q.hex(kHeaders).u16(9).utf16("dbo.取期初余额").hex("03 00");
    q.nvarchar("@科目", 20, "1001");
    q.param("@余额", rpc_param_status::ByReference).hex("6C 11 26 04 00");   // numeric(38,4) OUTPUT, NULL
    q.param("@期间", rpc_param_status::DefaultValue).hex("26 04 00");
    const RpcCall c = onlyCall(q, TdsVersion::V7_2);
    EXPECT_EQ(c.procedureName, "dbo.取期初余额");
    EXPECT_FALSE(c.procedureId);
    EXPECT_TRUE(c.withRecompile());
    EXPECT_TRUE(c.noMetaData());
    ASSERT_EQ(c.parameters.size(), 3u);
    EXPECT_EQ(c.parameters[1].name, "@余额");
    EXPECT_TRUE(c.parameters[1].isOutput());
    EXPECT_TRUE(c.parameters[1].value.isNull());
    EXPECT_FALSE(c.parameters[2].isOutput());
    EXPECT_TRUE(c.parameters[2].wantsDefault());
}

TEST(TdsRpc, WellKnownProcedureNumbers)
{
    const std::pair<std::uint16_t, const char*> known[] = {
        {1, "sp_cursor"},      {5, "sp_cursorprepexec"}, {9, "sp_cursorclose"}, {10, "sp_executesql"},
        {11, "sp_prepare"},    {12, "sp_execute"},       {13, "sp_prepexec"},   {14, "sp_prepexecrpc"},
        {15, "sp_unprepare"}};
    for (const auto& [id, name] : known) {
        Request q;
        q.hex("FF FF").u16(id).hex("00 00");
        const RpcCall c = onlyCall(q, TdsVersion::V7_1);
        EXPECT_EQ(c.procedureName, name);
        EXPECT_EQ(c.procedureId.value_or(0), id);
    }
    EXPECT_FALSE(wellKnownProcedureName(0));
    EXPECT_FALSE(wellKnownProcedureName(16));
}

// --- Several calls in one request -------------------------------------------

TEST(TdsRpc, SeparatorsSplitTheCalls)
{
    struct Case {
        TdsVersion version;
        std::uint8_t separator;
    };
    for (const Case s : {Case{TdsVersion::V7_1, 0x80}, Case{TdsVersion::V7_2, 0xFF}, Case{TdsVersion::V7_4, 0x80},
                         Case{TdsVersion::V7_1, 0xFF}, Case{TdsVersion::V7_4, 0xFE}}) {
        Request q;
        if (isAtLeast72(s.version))
            q.hex(kHeaders);
        q.hex("FF FF 0B 00 00 00");   // sp_prepare @handle OUTPUT, @params, @stmt
        q.param("@handle", rpc_param_status::ByReference).hex("26 04 00");
        q.nvarchar("@params", 20, "@a int").nvarchar("@stmt", 40, "select @a");
        putU8(q.bytes, s.separator);
        q.hex("FF FF 0C 00 00 00").intN("", 1).intN("", 5);   // sp_execute 1, 5
        const std::string what = "separator " + std::to_string(s.separator);
        for (int closed = 0; closed < 2; ++closed) {
            // A separator closing the request adds no call.
            if (closed)
                putU8(q.bytes, s.separator);
            const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, s.version);
            ASSERT_EQ(calls.size(), 2u) << what;
            EXPECT_EQ(calls[0].parameters.size(), 3u) << what;
            EXPECT_FALSE(calls[0].afterNoExec) << what;
            EXPECT_EQ(calls[1].procedureName, "sp_execute") << what;
            EXPECT_EQ(calls[1].parameters.at(1).value.toInt64(), 5) << what;
            EXPECT_EQ(calls[1].afterNoExec, s.separator == rpc_separator::NoExec) << what;
        }
    }
}

// --- Values and declarations of every type ----------------------------------

struct TypeCase {
    const char* name;
    std::string typeHex;   // TYPE_INFO
    std::string nullHex;   // a NULL value in that type
    const char* declaration;
};

class TdsRpcParameterType : public testing::TestWithParam<TypeCase> {};

TEST_P(TdsRpcParameterType, NullValueAndDeclaration)
{
    const TypeCase& t = GetParam();
    Request q;
    q.hex(kExecuteSql).param("@v").hex(t.typeHex + " " + t.nullHex);
    const RpcCall c = onlyCall(q, TdsVersion::V7_1);
    ASSERT_EQ(c.parameters.size(), 1u);
    EXPECT_TRUE(c.parameters[0].value.isNull());
    EXPECT_EQ(declarationOf(c.parameters[0]), t.declaration);
}

INSTANTIATE_TEST_SUITE_P(
    Types, TdsRpcParameterType,
    testing::Values(
        TypeCase{"int", "26 04", "00", "int"}, TypeCase{"tinyint", "26 01", "00", "tinyint"},
        TypeCase{"smallint", "26 02", "00", "smallint"}, TypeCase{"bigint", "26 08", "00", "bigint"},
        TypeCase{"bit", "68 01", "00", "bit"}, TypeCase{"float", "6D 08", "00", "float"},
        TypeCase{"real", "6D 04", "00", "real"}, TypeCase{"money", "6E 08", "00", "money"},
        TypeCase{"smallmoney", "6E 04", "00", "smallmoney"}, TypeCase{"datetime", "6F 08", "00", "datetime"},
        TypeCase{"smalldatetime", "6F 04", "00", "smalldatetime"},
        TypeCase{"decimal", "6A 09 12 04", "00", "decimal(18,4)"},
        TypeCase{"numeric", "6C 05 0A 02", "00", "numeric(10,2)"},
        TypeCase{"legacy decimal", "37 11 26 00", "00", "decimal(38,0)"},
        TypeCase{"uniqueidentifier", "24 10", "00", "uniqueidentifier"},
        TypeCase{"varchar", "A7 40 1F" + kCollation, "FF FF", "varchar(8000)"},
        TypeCase{"char", "AF 0A 00" + kCollation, "FF FF", "char(10)"},
        TypeCase{"nvarchar", "E7 A0 0F" + kCollation, "FF FF", "nvarchar(2000)"},
        TypeCase{"nvarchar of an empty text", "E7 00 00" + kCollation, "FF FF", "nvarchar(1)"},
        TypeCase{"nchar", "EF 0A 00" + kCollation, "FF FF", "nchar(5)"},
        TypeCase{"varbinary", "A5 10 00", "FF FF", "varbinary(16)"},
        TypeCase{"binary", "AD 08 00", "FF FF", "binary(8)"},
        TypeCase{"nvarchar max", "E7 FF FF" + kCollation, "FF FF FF FF FF FF FF FF", "nvarchar(max)"},
        TypeCase{"varchar max", "A7 FF FF" + kCollation, "FF FF FF FF FF FF FF FF", "varchar(max)"},
        TypeCase{"varbinary max", "A5 FF FF", "FF FF FF FF FF FF FF FF", "varbinary(max)"},
        TypeCase{"text", "23 FF FF FF 7F" + kCollation, "FF FF FF FF", "text"},
        TypeCase{"ntext", "63 FE FF FF 7F" + kCollation, "FF FF FF FF", "ntext"},
        TypeCase{"image", "22 FF FF FF 7F", "FF FF FF FF", "image"},
        TypeCase{"NULL type", "1F", "", "int"}),
    [](const auto& info) { return tdstest::testName(info.param.name); });

// The fixed-length forms clients send for parameters: read, declared,
// written back the same, and in their nullable form able to carry NULL.
TEST(TdsRpc, FixedLengthParameterTypes)
{
    struct Case {
        const char* hex;   // TYPE_INFO (one byte) and the value
        const char* text;
        const char* declaration;
    };
    const Case cases[] = {
        {"30 FF", "255", "tinyint"},
        {"32 01", "1", "bit"},
        {"34 00 80", "-32768", "smallint"},
        {"38 D2 04 00 00", "1234", "int"},
        {"7F FF FF FF FF FF FF FF 7F", "9223372036854775807", "bigint"},
        {"3B 00 00 20 40", "2.5", "real"},
        {"3E 00 00 00 00 00 00 F8 BF", "-1.5", "float"},
        {"3C 00 00 00 00 50 C3 00 00", "5.0000", "money"},
        {"7A 10 27 00 00", "1.0000", "smallmoney"},
        {"3D 3E B9 00 00 00 00 00 00", "2029-11-02 00:00:00.000", "datetime"},
        {"3A 01 00 3C 00", "1900-01-02 01:00:00.000", "smalldatetime"},
    };
    for (const Case& f : cases) {
        Request q;
        q.hex(kExecuteSql).param("@v").hex(f.hex);
        const RpcParameter p = onlyCall(q, TdsVersion::V7_1).parameters.at(0);
        EXPECT_EQ(p.value.toString(), f.text) << f.hex;
        EXPECT_EQ(declarationOf(p), f.declaration) << f.hex;
        Bytes again;
        writeTypeInfo(again, p.type);
        writeValue(again, p.type, p.value, ValueContext::Parameter);
        EXPECT_EQ(toHex(again), toHex(fromHex(f.hex)));
        EXPECT_THROW(writeValue(again, p.type, Value::null()), ProtocolError) << f.hex;
        const TypeInfo n = nullableForm(p.type);
        EXPECT_EQ(sqlTypeOf(n).toString(), f.declaration) << f.hex;
        Bytes null;
        writeValue(null, n, Value::null(), ValueContext::Parameter);
        EXPECT_EQ(toHex(null), "00") << f.hex;
    }
}

TEST(TdsRpc, MaxValueInSeveralChunks)
{
    // "会计凭证" is 8 bytes of UTF-16, sent as 2 + 4 + 2 bytes; once with
    // the total announced, once with it unknown.
    const Bytes text = utf8ToUtf16("会计凭证");
    for (const char* total : {"08 00 00 00 00 00 00 00", "FE FF FF FF FF FF FF FF"}) {
        Request q;
        q.hex(kHeaders + kExecuteSql).param("@memo").hex("E7 FF FF" + kCollation + total);
        for (auto [from, n] : {std::pair{0, 2}, {2, 4}, {6, 2}}) {
            q.u32(static_cast<std::uint32_t>(n));
            putBytes(q.bytes, ByteView(text).subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(n)));
        }
        q.u32(0).intN("@n", 3);
        const RpcCall c = onlyCall(q, TdsVersion::V7_2);
        ASSERT_EQ(c.parameters.size(), 2u) << total;
        EXPECT_EQ(c.parameters[0].value.toString(), "会计凭证") << total;
        EXPECT_EQ(c.parameters[1].value.toInt64(), 3) << total;
    }
}

TEST(TdsRpc, MalformedRequestsAreRefused)
{
    const std::string call = kExecuteSql;
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"no options", "FF FF 0A 00 00"},
        {"empty procedure name", "00 00 00 00"},
        {"name beyond the data", "10 00 41 00 00 00"},
        {"procedure number 0", "FF FF 00 00 00 00"},
        {"procedure number 16", "FF FF 10 00 00 00"},
        {"parameter name beyond the data", call + "05 40 00"},
        {"no status", call + "00"},
        {"no type", call + "00 00"},
        {"encrypted parameter", call + "00 08 26 04 00"},
        {"table-valued parameter", call + "00 00 F3 00"},
        {"value missing", call + "00 00 26 04"},
        {"value longer than its type", call + "00 00 26 04 08 00 00 00 00 00 00 00 00"},
        {"nvarchar value beyond the data", call + "00 00 E7 10 00" + kCollation + "08 00 41 00"},
        {"ntext value beyond the data", call + "00 00 63 FE FF FF 7F" + kCollation + "10 00 00 00 41 00"},
        {"PLP chunk beyond the data", call + "00 00 E7 FF FF" + kCollation + "FE FF FF FF FF FF FF FF 00 00 00 80"},
        {"PLP without its terminator", call + "00 00 E7 FF FF" + kCollation + "FE FF FF FF FF FF FF FF 02 00 00 00 41 00"},
        {"separator then half a call", call + "FF FF FF"},
        {"separator then a bad number", call + "80 FF FF 63 00 00 00"},
    };
    for (const auto& [what, hex] : cases)
        EXPECT_THROW(parseRpcRequest(fromHex(hex), TdsVersion::V7_1), ProtocolError) << what;
    EXPECT_THROW(parseRpcRequest(fromHex(call), TdsVersion::V7_2), ProtocolError) << "headers missing from 7.2";
}

// --- Transaction manager requests -------------------------------------------

namespace {

// B_VARBYTE name: a byte count, then UTF-16.
std::string nameHex(const std::string& utf8)
{
    Bytes b{static_cast<std::uint8_t>(utf16Units(utf8) * 2)};
    putBytes(b, utf8ToUtf16(utf8));
    return " " + toHex(b) + " ";
}

}  // namespace

TEST(TdsTransactionManager, RequestsOfEveryKind)
{
    struct Case {
        const char* what;
        std::string hex;   // after the request headers
        std::uint16_t type;
        std::string name;
        IsolationLevel isolation;
        bool beginAfter;
        std::string newName;
    };
    using L = IsolationLevel;
    const Case cases[] = {
        {"begin", "05 00 02" + nameHex("t1"), tm_request::BeginXact, "t1", L::ReadCommitted, false, ""},
        {"begin snapshot", "05 00 05" + nameHex("凭证"), tm_request::BeginXact, "凭证", L::Snapshot, false, ""},
        {"commit", "07 00 00 00", tm_request::CommitXact, "", L::NoChange, false, ""},
        {"commit and begin", "07 00" + nameHex("a") + "01 04" + nameHex("b"), tm_request::CommitXact, "a",
         L::Serializable, true, "b"},
        {"rollback", "08 00" + nameHex("t1") + "00", tm_request::RollbackXact, "t1", L::NoChange, false, ""},
        {"rollback and begin", "08 00 00 01 01 00", tm_request::RollbackXact, "", L::ReadUncommitted, true, ""},
        {"level after a clear flag is ignored", "08 00 00 00 03 00", tm_request::RollbackXact, "", L::NoChange,
         false, ""},
        {"save", "09 00" + nameHex("sp1"), tm_request::SaveXact, "sp1", L::NoChange, false, ""},
        {"DTC address", "00 00 00 00", tm_request::GetDtcAddress, "", L::NoChange, false, ""},
        {"propagate", "01 00 04 00 DE AD BE EF", tm_request::PropagateXact, "", L::NoChange, false, ""},
        {"promote", "06 00", tm_request::PromoteXact, "", L::NoChange, false, ""},
    };
    for (const Case& c : cases) {
        const TransactionManagerRequest r = parseTransactionManagerRequest(fromHex(kHeaders + c.hex), TdsVersion::V7_4);
        EXPECT_EQ(r.headers.transactionDescriptor.value_or(0), 0x0102030405060708ULL) << c.what;
        EXPECT_EQ(r.type, c.type) << c.what;
        EXPECT_EQ(r.name, c.name) << c.what;
        EXPECT_EQ(r.isolation, c.isolation) << c.what;
        EXPECT_EQ(r.beginAfter, c.beginAfter) << c.what;
        EXPECT_EQ(r.newName, c.newName) << c.what;
        EXPECT_EQ(r.isDistributed(), c.type <= 1 || c.type == tm_request::PromoteXact) << c.what;
    }
    // 7.1: no request headers.
    const TransactionManagerRequest r = parseTransactionManagerRequest(fromHex("05 00 04" + nameHex("x")), TdsVersion::V7_1);
    EXPECT_EQ(r.name, "x");
    EXPECT_EQ(r.isolation, IsolationLevel::Serializable);
}

TEST(TdsTransactionManager, MalformedRequestsAreRefused)
{
    const std::pair<const char*, std::string> cases[] = {
        {"headers only", ""},
        {"unknown type 2", "02 00"},
        {"unknown type 10", "0A 00 00"},
        {"begin without a name", "05 00 02"},
        {"isolation level 6", "05 00 06 00"},
        {"odd name", "05 00 00 03 41 00 42"},
        {"name beyond the data", "05 00 00 08 41 00"},
        {"commit without flags", "07 00 00"},
        {"commit and begin without a level", "07 00 00 01"},
        {"rollback and begin without a name", "08 00 00 01 02"},
        {"savepoint without a name", "09 00 00"},
        {"propagate cookie beyond the data", "01 00 10 00 DE AD"},
    };
    for (const auto& [what, hex] : cases)
        EXPECT_THROW(parseTransactionManagerRequest(fromHex(kHeaders + hex), TdsVersion::V7_2), ProtocolError) << what;
    EXPECT_THROW(parseTransactionManagerRequest(fromHex("05 00 00 00"), TdsVersion::V7_2), ProtocolError)
        << "headers missing from 7.2";
}

// --- RETURNVALUE ------------------------------------------------------------

TEST(TdsReturnValue, Layout)
{
    struct Case {
        const char* what;
        TdsVersion version;
        TypeInfo type;
        Value value;
        std::string expected;   // after the token, ordinal 1, "@o" and the status 0x01
    };
    const TypeInfo intN{tds_type::IntN, 4, 0, 0, {}, false};
    const TypeInfo int4{tds_type::Int4, 4, 0, 0, {}, false};
    const TypeInfo nvarchar50{tds_type::NVarChar, 100, 0, 0, chinesePrcCiAs(), false};
    const TypeInfo nvarcharMax{tds_type::NVarChar, kPlpMaxLength, 0, 0, chinesePrcCiAs(), true};
    const TypeInfo decimal184{tds_type::DecimalN, 9, 18, 4, {}, false};
    // User type (4 bytes from 7.2), flags 0x0001 (nullable), TYPE_INFO, value.
    const std::string u = "00 00 00 00 01 00 ";
    const Case cases[] = {
        {"int", TdsVersion::V7_4, intN, Value::fromInteger(42), u + "26 04 04 2A 00 00 00"},
        {"user type of 2 bytes in 7.1", TdsVersion::V7_1, intN, Value::fromInteger(42), "00 00 01 00 26 04 04 2A 00 00 00"},
        {"INT4 goes back as INTN", TdsVersion::V7_2, int4, Value::fromInteger(-1), u + "26 04 04 FF FF FF FF"},
        {"NULL", TdsVersion::V7_2, int4, Value::null(), u + "26 04 00"},
        {"nvarchar", TdsVersion::V7_3, nvarchar50, Value::fromText("现金"), u + "E7 64 00" + kCollation + "04 00 B0 73 D1 91"},
        {"nvarchar(max)", TdsVersion::V7_2, nvarcharMax, Value::fromText("现金"),
         u + "E7 FF FF" + kCollation + "04 00 00 00 00 00 00 00 04 00 00 00 B0 73 D1 91 00 00 00 00"},
        {"nvarchar(max) NULL", TdsVersion::V7_2, nvarcharMax, Value::null(),
         u + "E7 FF FF" + kCollation + "FF FF FF FF FF FF FF FF"},
        {"decimal(18,4)", TdsVersion::V7_4, decimal184, Value::fromText("12.5"),
         u + "6A 09 12 04 09 01 48 E8 01 00 00 00 00 00"},
    };
    for (const Case& c : cases) {
        TokenWriter w(c.version);
        w.returnValue(1, "@o", c.type, c.value);
        EXPECT_EQ(toHex(w.bytes()), toHex(fromHex("AC 01 00 02 40 00 6F 00 01 " + c.expected))) << c.what;
    }
    TokenWriter w(TdsVersion::V7_4);
    w.returnValue(0, "", intN, Value::fromInteger(0), return_value_status::FunctionResult);
    EXPECT_EQ(toHex(w.bytes()), "AC 00 00 00 02 00 00 00 00 01 00 26 04 04 00 00 00 00");
}

TEST(TdsReturnValue, RefusedValuesWriteNothing)
{
    TokenWriter w(TdsVersion::V7_4);
    const TypeInfo ntext{tds_type::NText, 0x7FFFFFFE, 0, 0, chinesePrcCiAs(), false};
    EXPECT_THROW(w.returnValue(0, "@t", ntext, Value::fromText("x")), ProtocolError);
    const TypeInfo tinyint{tds_type::IntN, 1, 0, 0, {}, false};
    EXPECT_THROW(w.returnValue(0, "@t", tinyint, Value::fromInteger(300)), ProtocolError);
    EXPECT_TRUE(w.bytes().empty());
}

TEST(TdsReturnValue, DoneProcMarksCallsBeforeTheLastOfARequest)
{
    TokenWriter w(TdsVersion::V7_4);
    w.doneProc(done_status::More | done_status::RpcInBatch, 0xE0, 0);
    EXPECT_EQ(toHex(w.bytes()), "FE 81 00 E0 00 00 00 00 00 00 00 00 00");
}
