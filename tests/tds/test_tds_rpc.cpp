// RPC requests as FreeTDS, tedious and ODBC send them (sp_executesql by
// number with its statement as nvarchar or ntext, named and positional
// parameters, OUTPUT, a NULL of every type, a (max) value in chunks,
// several calls in one request, 7.1 without request headers), the
// parameters' declarations, the transaction manager requests, and the
// RETURNVALUE token byte for byte.
#include "gbk.h"
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
const char* const kHeaders = "16 00 00 00 12 00 00 00 02 00 08 07 06 05 04 03 02 01 01 00 00 00";
// Chinese_PRC_CI_AS as it goes on the wire.
const char* const kCollation = "04 08 D0 00 00";

// A request written field by field.
struct Request {
    Bytes bytes;

    Request& hex(const std::string& h)
    {
        putBytes(bytes, fromHex(h));
        return *this;
    }
    Request& u16(std::uint16_t v)
    {
        putU16le(bytes, v);
        return *this;
    }
    Request& u32(std::uint32_t v)
    {
        putU32le(bytes, v);
        return *this;
    }
    Request& utf16(const std::string& text)
    {
        putBytes(bytes, utf8ToUtf16(text));
        return *this;
    }
    // US_VARCHAR procedure name.
    Request& procedure(const std::string& name)
    {
        return u16(static_cast<std::uint16_t>(utf16Units(name))).utf16(name);
    }
    // B_VARCHAR parameter name and the status byte.
    Request& parameter(const std::string& name, std::uint8_t status = 0)
    {
        putU8(bytes, static_cast<std::uint8_t>(utf16Units(name)));
        utf16(name);
        putU8(bytes, status);
        return *this;
    }
    // An nvarchar parameter of `maxBytes` with its value.
    Request& nvarchar(const std::string& name, std::uint16_t maxBytes, const std::string& value)
    {
        parameter(name).hex("E7").u16(maxBytes).hex(kCollation);
        return u16(static_cast<std::uint16_t>(utf16Units(value) * 2)).utf16(value);
    }
    Request& intN(const std::string& name, std::int32_t value, std::uint8_t status = 0)
    {
        parameter(name, status).hex("26 04 04");
        return u32(static_cast<std::uint32_t>(value));
    }
};

const RpcParameter& param(const RpcCall& call, std::size_t i)
{
    if (i >= call.parameters.size())
        throw std::out_of_range("no parameter " + std::to_string(i));
    return call.parameters[i];
}

}  // namespace

// --- Calls as clients send them ---------------------------------------------

TEST(TdsRpc, ExecuteSqlByNumberWithNamedParametersAsTediousSendsIt)
{
    Request q;
    q.hex(kHeaders).hex("FF FF 0A 00").hex("00 00");
    q.nvarchar("@statement", 8000, "select * from 凭证 where id = @id and 摘要 = @memo");
    q.nvarchar("@params", 8000, "@id int, @memo nvarchar(50)");
    q.intN("@id", 42);
    q.nvarchar("@memo", 100, "收款");

    RequestHeaders headers;
    const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, TdsVersion::V7_4, &headers);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(headers.transactionDescriptor.value_or(0), 0x0102030405060708ULL);
    const RpcCall& c = calls[0];
    EXPECT_EQ(c.procedureId.value_or(0), proc_id::ExecuteSql);
    EXPECT_EQ(c.procedureName, "sp_executesql");
    EXPECT_EQ(c.options, 0);
    ASSERT_EQ(c.parameters.size(), 4u);
    EXPECT_EQ(param(c, 0).name, "@statement");
    EXPECT_EQ(param(c, 0).value.toString(), "select * from 凭证 where id = @id and 摘要 = @memo");
    EXPECT_EQ(param(c, 1).value.toString(), "@id int, @memo nvarchar(50)");
    EXPECT_EQ(param(c, 2).name, "@id");
    EXPECT_EQ(param(c, 2).value.toInt64(), 42);
    EXPECT_FALSE(param(c, 2).isOutput());
    EXPECT_EQ(declarationOf(param(c, 2)), "int");
    EXPECT_EQ(param(c, 3).value.toString(), "收款");
    EXPECT_EQ(declarationOf(param(c, 3)), "nvarchar(50)");
}

TEST(TdsRpc, PositionalParametersAsOdbcSendsThem)
{
    // ODBC leaves the names empty; the statement and declarations come first.
    Request q;
    q.hex(kHeaders).hex("FF FF 0A 00 00 00");
    q.nvarchar("", 200, "select @P1");
    q.nvarchar("", 40, "@P1 money");
    q.parameter("").hex("6E 08 08 00 00 00 00 E8 03 00 00");   // money 0.1000
    const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, TdsVersion::V7_3);
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].parameters.size(), 3u);
    for (const RpcParameter& p : calls[0].parameters)
        EXPECT_EQ(p.name, "");
    EXPECT_EQ(param(calls[0], 2).value.toString(), "0.1000");
    EXPECT_EQ(declarationOf(param(calls[0], 2)), "money");
}

TEST(TdsRpc, StatementAsNTextWithoutHeadersAsFreeTdsSendsItIn71)
{
    // TDS 7.1: no request headers; the statement as ntext (a 4-byte
    // length alone, no text pointer), the parameters in fixed-length forms.
    Request q;
    q.hex("FF FF 0A 00 00 00");
    q.parameter("@stmt").hex("63").u32(0x7FFFFFFE).hex(kCollation).u32(20).utf16("select @a, @b");
    // Only 13 characters: 26 bytes, not 20.
    Bytes wrongLength = q.bytes;
    EXPECT_THROW(parseRpcRequest(wrongLength, TdsVersion::V7_1), ProtocolError);

    Request r;
    r.hex("FF FF 0A 00 00 00");
    r.parameter("@stmt").hex("63").u32(0x7FFFFFFE).hex(kCollation).u32(26).utf16("select @a, @b");
    r.parameter("@params").hex("63").u32(0x7FFFFFFE).hex(kCollation).u32(22).utf16("@a int,@b float");
    r.parameter("@a").hex("38 07 00 00 00");
    r.parameter("@b").hex("3E 00 00 00 00 00 00 04 40");
    const std::vector<RpcCall> calls = parseRpcRequest(r.bytes, TdsVersion::V7_1);
    ASSERT_EQ(calls.size(), 1u);
    const RpcCall& c = calls[0];
    ASSERT_EQ(c.parameters.size(), 4u);
    EXPECT_EQ(param(c, 0).value.toString(), "select @a, @b");
    EXPECT_EQ(declarationOf(param(c, 0)), "ntext");
    EXPECT_EQ(param(c, 1).value.toString(), "@a int,@b float");
    EXPECT_EQ(param(c, 2).value.toInt64(), 7);
    EXPECT_EQ(declarationOf(param(c, 2)), "int");
    EXPECT_DOUBLE_EQ(param(c, 3).value.toDouble(), 2.5);
    EXPECT_EQ(declarationOf(param(c, 3)), "float");
}

TEST(TdsRpc, ProcedureByNameWithOptionsAndAnOutputParameter)
{
    Request q;
    q.hex(kHeaders).procedure("dbo.取期初余额").hex("03 00");
    q.nvarchar("@科目", 20, "1001");
    q.parameter("@余额", rpc_param_status::ByReference).hex("6C 11 26 04 00");   // numeric(38,4) OUTPUT, NULL
    q.parameter("@期间", rpc_param_status::DefaultValue).hex("26 04 00");
    const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, TdsVersion::V7_2);
    ASSERT_EQ(calls.size(), 1u);
    const RpcCall& c = calls[0];
    EXPECT_EQ(c.procedureName, "dbo.取期初余额");
    EXPECT_FALSE(c.procedureId);
    EXPECT_TRUE(c.withRecompile());
    EXPECT_TRUE(c.noMetaData());
    ASSERT_EQ(c.parameters.size(), 3u);
    EXPECT_EQ(param(c, 1).name, "@余额");
    EXPECT_TRUE(param(c, 1).isOutput());
    EXPECT_TRUE(param(c, 1).value.isNull());
    EXPECT_EQ(declarationOf(param(c, 1)), "numeric(38,4)");
    EXPECT_FALSE(param(c, 2).isOutput());
    EXPECT_TRUE(param(c, 2).wantsDefault());
}

TEST(TdsRpc, EveryWellKnownProcedureNumberHasItsName)
{
    const char* names[] = {"sp_cursor", "sp_cursoropen", "sp_cursorprepare", "sp_cursorexecute",
                           "sp_cursorprepexec", "sp_cursorunprepare", "sp_cursorfetch", "sp_cursoroption",
                           "sp_cursorclose", "sp_executesql", "sp_prepare", "sp_execute", "sp_prepexec",
                           "sp_prepexecrpc", "sp_unprepare"};
    for (std::uint16_t id = 1; id <= 15; ++id) {
        Request q;
        q.hex("FF FF").u16(id).hex("00 00");
        const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, TdsVersion::V7_1);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].procedureName, names[id - 1]);
        EXPECT_EQ(calls[0].procedureId.value_or(0), id);
        EXPECT_TRUE(calls[0].parameters.empty());
    }
    EXPECT_FALSE(wellKnownProcedureName(0));
    EXPECT_FALSE(wellKnownProcedureName(16));
}

// --- Several calls in one request -------------------------------------------

struct SeparatorCase {
    const char* name;
    TdsVersion version;
    std::uint8_t separator;
    bool afterNoExec;
};

class TdsRpcSeparator : public testing::TestWithParam<SeparatorCase> {};

TEST_P(TdsRpcSeparator, SplitsTheCalls)
{
    const SeparatorCase& s = GetParam();
    Request q;
    if (isAtLeast72(s.version))
        q.hex(kHeaders);
    q.hex("FF FF 0B 00 00 00");   // sp_prepare @handle OUTPUT, @params, @stmt
    q.parameter("@handle", rpc_param_status::ByReference).hex("26 04 00");
    q.nvarchar("@params", 20, "@a int");
    q.nvarchar("@stmt", 40, "select @a");
    putU8(q.bytes, s.separator);
    q.hex("FF FF 0C 00 00 00");   // sp_execute 1, 5
    q.intN("", 1);
    q.intN("", 5);
    const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, s.version);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].procedureName, "sp_prepare");
    EXPECT_EQ(calls[0].parameters.size(), 3u);
    EXPECT_FALSE(calls[0].afterNoExec);
    EXPECT_EQ(calls[1].procedureName, "sp_execute");
    ASSERT_EQ(calls[1].parameters.size(), 2u);
    EXPECT_EQ(param(calls[1], 1).value.toInt64(), 5);
    EXPECT_EQ(calls[1].afterNoExec, s.afterNoExec);

    // A separator closing the request adds no call.
    putU8(q.bytes, s.separator);
    EXPECT_EQ(parseRpcRequest(q.bytes, s.version).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Separators, TdsRpcSeparator,
    testing::Values(SeparatorCase{"0x80 in 7.1", TdsVersion::V7_1, 0x80, false},
                    SeparatorCase{"0xFF in 7.2", TdsVersion::V7_2, 0xFF, false},
                    SeparatorCase{"0x80 in 7.4", TdsVersion::V7_4, 0x80, false},
                    SeparatorCase{"0xFF in 7.1", TdsVersion::V7_1, 0xFF, false},
                    SeparatorCase{"no exec 0xFE", TdsVersion::V7_4, 0xFE, true}),
    [](const auto& info) { return tdstest::testName(info.param.name); });

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
    q.hex("FF FF 0A 00 00 00").parameter("@v").hex(t.typeHex).hex(t.nullHex);
    const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, TdsVersion::V7_1);
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].parameters.size(), 1u);
    EXPECT_TRUE(param(calls[0], 0).value.isNull());
    EXPECT_EQ(declarationOf(param(calls[0], 0)), t.declaration);
}

INSTANTIATE_TEST_SUITE_P(
    Types, TdsRpcParameterType,
    testing::Values(
        TypeCase{"int", "26 04", "00", "int"},
        TypeCase{"tinyint", "26 01", "00", "tinyint"},
        TypeCase{"smallint", "26 02", "00", "smallint"},
        TypeCase{"bigint", "26 08", "00", "bigint"},
        TypeCase{"bit", "68 01", "00", "bit"},
        TypeCase{"float", "6D 08", "00", "float"},
        TypeCase{"real", "6D 04", "00", "real"},
        TypeCase{"money", "6E 08", "00", "money"},
        TypeCase{"smallmoney", "6E 04", "00", "smallmoney"},
        TypeCase{"datetime", "6F 08", "00", "datetime"},
        TypeCase{"smalldatetime", "6F 04", "00", "smalldatetime"},
        TypeCase{"decimal", "6A 09 12 04", "00", "decimal(18,4)"},
        TypeCase{"numeric", "6C 05 0A 02", "00", "numeric(10,2)"},
        TypeCase{"legacy decimal", "37 11 26 00", "00", "decimal(38,0)"},
        TypeCase{"uniqueidentifier", "24 10", "00", "uniqueidentifier"},
        TypeCase{"varchar", std::string("A7 40 1F ") + kCollation, "FF FF", "varchar(8000)"},
        TypeCase{"char", std::string("AF 0A 00 ") + kCollation, "FF FF", "char(10)"},
        TypeCase{"nvarchar", std::string("E7 A0 0F ") + kCollation, "FF FF", "nvarchar(2000)"},
        TypeCase{"nvarchar of an empty text", std::string("E7 00 00 ") + kCollation, "FF FF", "nvarchar(1)"},
        TypeCase{"nchar", std::string("EF 0A 00 ") + kCollation, "FF FF", "nchar(5)"},
        TypeCase{"varbinary", "A5 10 00", "FF FF", "varbinary(16)"},
        TypeCase{"binary", "AD 08 00", "FF FF", "binary(8)"},
        TypeCase{"nvarchar max", std::string("E7 FF FF ") + kCollation, "FF FF FF FF FF FF FF FF", "nvarchar(max)"},
        TypeCase{"varchar max", std::string("A7 FF FF ") + kCollation, "FF FF FF FF FF FF FF FF", "varchar(max)"},
        TypeCase{"varbinary max", "A5 FF FF", "FF FF FF FF FF FF FF FF", "varbinary(max)"},
        TypeCase{"text", std::string("23 FF FF FF 7F ") + kCollation, "FF FF FF FF", "text"},
        TypeCase{"ntext", std::string("63 FE FF FF 7F ") + kCollation, "FF FF FF FF", "ntext"},
        TypeCase{"image", "22 FF FF FF 7F", "FF FF FF FF", "image"},
        TypeCase{"NULL type", "1F", "", "int"}),
    [](const auto& info) { return tdstest::testName(info.param.name); });

struct FixedCase {
    const char* name;
    const char* hex;   // TYPE_INFO (one byte) and the value
    const char* text;
    const char* declaration;
};

class TdsRpcFixedType : public testing::TestWithParam<FixedCase> {};

// The fixed-length forms clients send for parameters: read, declared, and
// written back in their nullable form.
TEST_P(TdsRpcFixedType, ReadDeclaredAndReturned)
{
    const FixedCase& f = GetParam();
    Request q;
    q.hex("FF FF 0A 00 00 00").parameter("@v").hex(f.hex);
    const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, TdsVersion::V7_1);
    ASSERT_EQ(calls.size(), 1u);
    const RpcParameter& p = param(calls[0], 0);
    EXPECT_EQ(p.value.toString(), f.text);
    EXPECT_EQ(declarationOf(p), f.declaration);
    EXPECT_EQ(sqlTypeOf(p.type).toString(), f.declaration);

    // The same value written in the fixed form gives the same bytes.
    Bytes again;
    writeTypeInfo(again, p.type);
    writeValue(again, p.type, p.value, ValueContext::Parameter);
    EXPECT_EQ(toHex(again), toHex(fromHex(f.hex)));

    // Its nullable form can carry a NULL; the fixed one cannot.
    const TypeInfo n = nullableForm(p.type);
    Bytes null;
    writeValue(null, n, Value::null(), ValueContext::Parameter);
    EXPECT_EQ(toHex(null), "00");
    EXPECT_EQ(sqlTypeOf(n).toString(), f.declaration);
    Bytes refused;
    EXPECT_THROW(writeValue(refused, p.type, Value::null()), ProtocolError);
}

INSTANTIATE_TEST_SUITE_P(
    Types, TdsRpcFixedType,
    testing::Values(FixedCase{"INT1", "30 FF", "255", "tinyint"},
                    FixedCase{"BIT", "32 01", "1", "bit"},
                    FixedCase{"INT2", "34 00 80", "-32768", "smallint"},
                    FixedCase{"INT4", "38 D2 04 00 00", "1234", "int"},
                    FixedCase{"INT8", "7F FF FF FF FF FF FF FF 7F", "9223372036854775807", "bigint"},
                    FixedCase{"FLT4", "3B 00 00 20 40", "2.5", "real"},
                    FixedCase{"FLT8", "3E 00 00 00 00 00 00 F8 BF", "-1.5", "float"},
                    FixedCase{"MONEY", "3C 00 00 00 00 50 C3 00 00", "5.0000", "money"},
                    FixedCase{"MONEY4", "7A 10 27 00 00", "1.0000", "smallmoney"},
                    FixedCase{"DATETIME", "3D 3E B9 00 00 00 00 00 00", "2029-11-02 00:00:00.000", "datetime"},
                    FixedCase{"DATETIM4", "3A 01 00 3C 00", "1900-01-02 01:00:00.000", "smalldatetime"}),
    [](const auto& info) { return tdstest::testName(info.param.name); });

TEST(TdsRpc, VarCharValueIsGbk)
{
    Request q;
    q.hex("FF FF 0A 00 00 00").parameter("@v").hex("A7 10 00").hex(kCollation);
    const std::string gbk = vqsql::utf8ToGbk("现金");
    q.u16(static_cast<std::uint16_t>(gbk.size()));
    putBytes(q.bytes, gbk);
    const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, TdsVersion::V7_1);
    EXPECT_EQ(param(calls.at(0), 0).value.toString(), "现金");
    EXPECT_EQ(declarationOf(param(calls.at(0), 0)), "varchar(16)");
}

TEST(TdsRpc, MaxValueInSeveralChunks)
{
    // "会计凭证" is 8 bytes of UTF-16, sent as 2 + 4 + 2 bytes; once with
    // the total announced, once with it unknown.
    const Bytes text = utf8ToUtf16("会计凭证");
    for (const char* total : {"08 00 00 00 00 00 00 00", "FE FF FF FF FF FF FF FF"}) {
        Request q;
        q.hex(kHeaders).hex("FF FF 0A 00 00 00").parameter("@memo").hex("E7 FF FF").hex(kCollation).hex(total);
        q.u32(2);
        putBytes(q.bytes, ByteView(text).subspan(0, 2));
        q.u32(4);
        putBytes(q.bytes, ByteView(text).subspan(2, 4));
        q.u32(2);
        putBytes(q.bytes, ByteView(text).subspan(6, 2));
        q.u32(0);
        q.intN("@n", 3);
        const std::vector<RpcCall> calls = parseRpcRequest(q.bytes, TdsVersion::V7_2);
        ASSERT_EQ(calls.at(0).parameters.size(), 2u) << total;
        EXPECT_EQ(param(calls[0], 0).value.toString(), "会计凭证") << total;
        EXPECT_EQ(declarationOf(param(calls[0], 0)), "nvarchar(max)");
        EXPECT_EQ(param(calls[0], 1).value.toInt64(), 3);
    }
}

TEST(TdsRpc, MalformedRequestsAreRefused)
{
    struct Case {
        const char* what;
        TdsVersion version;
        std::string hex;
    };
    const std::string call = "FF FF 0A 00 00 00 ";
    const Case cases[] = {
        {"empty", TdsVersion::V7_1, ""},
        {"headers missing from 7.2", TdsVersion::V7_2, call},
        {"no options", TdsVersion::V7_1, "FF FF 0A 00 00"},
        {"empty procedure name", TdsVersion::V7_1, "00 00 00 00"},
        {"name beyond the data", TdsVersion::V7_1, "10 00 41 00 00 00"},
        {"procedure number 0", TdsVersion::V7_1, "FF FF 00 00 00 00"},
        {"procedure number 16", TdsVersion::V7_1, "FF FF 10 00 00 00"},
        {"parameter name beyond the data", TdsVersion::V7_1, call + "05 40 00"},
        {"no status", TdsVersion::V7_1, call + "00"},
        {"no type", TdsVersion::V7_1, call + "00 00"},
        {"encrypted parameter", TdsVersion::V7_4, std::string(kHeaders) + " " + call + "00 08 26 04 00"},
        {"table-valued parameter", TdsVersion::V7_1, call + "00 00 F3 00"},
        {"xml parameter", TdsVersion::V7_1, call + "00 00 F1 00"},
        {"value missing", TdsVersion::V7_1, call + "00 00 26 04"},
        {"value longer than its type", TdsVersion::V7_1, call + "00 00 26 04 08 00 00 00 00 00 00 00 00"},
        {"nvarchar value beyond the data", TdsVersion::V7_1, call + "00 00 E7 10 00 04 08 D0 00 00 08 00 41 00"},
        {"ntext length beyond the data", TdsVersion::V7_1, call + "00 00 63 FE FF FF 7F 04 08 D0 00 00 FF FF FF 7F"},
        {"PLP chunk beyond the data", TdsVersion::V7_1,
         call + "00 00 E7 FF FF 04 08 D0 00 00 FE FF FF FF FF FF FF FF 00 00 00 80"},
        {"PLP without its terminator", TdsVersion::V7_1,
         call + "00 00 E7 FF FF 04 08 D0 00 00 FE FF FF FF FF FF FF FF 02 00 00 00 41 00"},
        {"separator then half a call", TdsVersion::V7_1, call + "FF FF FF"},
        {"separator then a bad number", TdsVersion::V7_1, call + "80 FF FF 63 00 00 00"},
    };
    for (const Case& c : cases)
        EXPECT_THROW(parseRpcRequest(fromHex(c.hex), c.version), ProtocolError) << c.what;
}

// --- Transaction manager requests -------------------------------------------

namespace {

// B_VARBYTE name: a byte count, then UTF-16.
std::string nameHex(const std::string& utf8)
{
    const Bytes text = utf8ToUtf16(utf8);
    Bytes b{static_cast<std::uint8_t>(text.size())};
    putBytes(b, text);
    return toHex(b);
}

}  // namespace

TEST(TdsTransactionManager, RequestsOfEveryKind)
{
    struct Case {
        const char* what;
        TdsVersion version;
        std::string hex;
        std::uint16_t type;
        std::string name;
        IsolationLevel isolation;
        bool beginAfter;
        std::string newName;
    };
    const std::string h = std::string(kHeaders) + " ";
    const Case cases[] = {
        {"begin", TdsVersion::V7_2, h + "05 00 02 " + nameHex("t1"), tm_request::BeginXact, "t1",
         IsolationLevel::ReadCommitted, false, ""},
        {"begin unnamed in 7.1", TdsVersion::V7_1, "05 00 00 00", tm_request::BeginXact, "", IsolationLevel::NoChange,
         false, ""},
        {"begin snapshot", TdsVersion::V7_4, h + "05 00 05 " + nameHex("凭证"), tm_request::BeginXact, "凭证",
         IsolationLevel::Snapshot, false, ""},
        {"commit", TdsVersion::V7_3, h + "07 00 00 00", tm_request::CommitXact, "", IsolationLevel::NoChange, false,
         ""},
        {"commit and begin", TdsVersion::V7_4, h + "07 00 " + nameHex("a") + " 01 04 " + nameHex("b"),
         tm_request::CommitXact, "a", IsolationLevel::Serializable, true, "b"},
        {"rollback", TdsVersion::V7_1, "08 00 " + nameHex("t1") + " 00", tm_request::RollbackXact, "t1",
         IsolationLevel::NoChange, false, ""},
        {"rollback and begin", TdsVersion::V7_2, h + "08 00 00 01 01 00", tm_request::RollbackXact, "",
         IsolationLevel::ReadUncommitted, true, ""},
        {"rollback, flag clear, level sent anyway", TdsVersion::V7_2, h + "08 00 00 00 03 00",
         tm_request::RollbackXact, "", IsolationLevel::NoChange, false, ""},
        {"save", TdsVersion::V7_2, h + "09 00 " + nameHex("sp1"), tm_request::SaveXact, "sp1",
         IsolationLevel::NoChange, false, ""},
        {"DTC address", TdsVersion::V7_2, h + "00 00 00 00", tm_request::GetDtcAddress, "", IsolationLevel::NoChange,
         false, ""},
        {"propagate", TdsVersion::V7_2, h + "01 00 04 00 DE AD BE EF", tm_request::PropagateXact, "",
         IsolationLevel::NoChange, false, ""},
        {"promote", TdsVersion::V7_2, h + "06 00", tm_request::PromoteXact, "", IsolationLevel::NoChange, false, ""},
    };
    for (const Case& c : cases) {
        const TransactionManagerRequest r = parseTransactionManagerRequest(fromHex(c.hex), c.version);
        EXPECT_EQ(r.type, c.type) << c.what;
        EXPECT_EQ(r.name, c.name) << c.what;
        EXPECT_EQ(r.isolation, c.isolation) << c.what;
        EXPECT_EQ(r.beginAfter, c.beginAfter) << c.what;
        EXPECT_EQ(r.newName, c.newName) << c.what;
        EXPECT_EQ(r.isDistributed(), c.type <= 1 || c.type == tm_request::PromoteXact) << c.what;
        if (isAtLeast72(c.version)) {
            EXPECT_EQ(r.headers.transactionDescriptor.value_or(0), 0x0102030405060708ULL) << c.what;
        }
    }
}

TEST(TdsTransactionManager, MalformedRequestsAreRefused)
{
    const std::string h = std::string(kHeaders) + " ";
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"headers only", h},
        {"unknown type 2", h + "02 00"},
        {"unknown type 10", h + "0A 00 00"},
        {"begin without a level", h + "05 00"},
        {"begin without a name", h + "05 00 02"},
        {"isolation level 6", h + "05 00 06 00"},
        {"odd name", h + "05 00 00 03 41 00 42"},
        {"name beyond the data", h + "05 00 00 08 41 00"},
        {"commit without flags", h + "07 00 00"},
        {"commit and begin without a level", h + "07 00 00 01"},
        {"rollback and begin without a name", h + "08 00 00 01 02"},
        {"savepoint without a name", h + "09 00 00"},
        {"propagate cookie beyond the data", h + "01 00 10 00 DE AD"},
        {"no headers in 7.2", "05 00 00 00"},
    };
    for (const auto& [what, hex] : cases)
        EXPECT_THROW(parseTransactionManagerRequest(fromHex(hex), TdsVersion::V7_2), ProtocolError) << what;
}

// --- RETURNVALUE ------------------------------------------------------------

TEST(TdsReturnValue, Layout)
{
    struct Case {
        const char* what;
        TdsVersion version;
        TypeInfo type;
        Value value;
        std::uint8_t status;
        std::string expected;
    };
    const TypeInfo intN{tds_type::IntN, 4, 0, 0, {}, false};
    const TypeInfo int4{tds_type::Int4, 4, 0, 0, {}, false};
    const TypeInfo nvarchar50{tds_type::NVarChar, 100, 0, 0, chinesePrcCiAs(), false};
    const TypeInfo nvarcharMax{tds_type::NVarChar, kPlpMaxLength, 0, 0, chinesePrcCiAs(), true};
    const TypeInfo decimal184{tds_type::DecimalN, 9, 18, 4, {}, false};
    // Token, ordinal, "@o" (2 characters), status, user type, flags 0x0001, TYPE_INFO, value.
    const std::string head = "AC 01 00 02 40 00 6F 00 01 ";
    const Case cases[] = {
        {"int", TdsVersion::V7_4, intN, Value::fromInteger(42), 1, head + "00 00 00 00 01 00 26 04 04 2A 00 00 00"},
        {"user type of 2 bytes in 7.1", TdsVersion::V7_1, intN, Value::fromInteger(42), 1,
         head + "00 00 01 00 26 04 04 2A 00 00 00"},
        {"int sent as INT4 returns as INTN", TdsVersion::V7_2, int4, Value::fromInteger(-1), 1,
         head + "00 00 00 00 01 00 26 04 04 FF FF FF FF"},
        {"NULL", TdsVersion::V7_2, int4, Value::null(), 1, head + "00 00 00 00 01 00 26 04 00"},
        {"nvarchar", TdsVersion::V7_3, nvarchar50, Value::fromText("现金"), 1,
         head + "00 00 00 00 01 00 E7 64 00 04 08 D0 00 00 04 00 B0 73 D1 91"},
        {"nvarchar(max)", TdsVersion::V7_2, nvarcharMax, Value::fromText("现金"), 1,
         head + "00 00 00 00 01 00 E7 FF FF 04 08 D0 00 00 04 00 00 00 00 00 00 00 04 00 00 00 B0 73 D1 91 00 00 00 00"},
        {"nvarchar(max) NULL", TdsVersion::V7_2, nvarcharMax, Value::null(), 1,
         head + "00 00 00 00 01 00 E7 FF FF 04 08 D0 00 00 FF FF FF FF FF FF FF FF"},
        {"decimal(18,4)", TdsVersion::V7_4, decimal184, Value::fromText("12.5"), 1,
         head + "00 00 00 00 01 00 6A 09 12 04 09 01 48 E8 01 00 00 00 00 00"},
        {"function result", TdsVersion::V7_4, intN, Value::fromInteger(0), 2,
         "AC 01 00 02 40 00 6F 00 02 00 00 00 00 01 00 26 04 04 00 00 00 00"},
    };
    for (const Case& c : cases) {
        TokenWriter w(c.version);
        w.returnValue(1, "@o", c.type, c.value, c.status);
        EXPECT_EQ(toHex(w.bytes()), toHex(fromHex(c.expected))) << c.what;
    }
}

TEST(TdsReturnValue, LongTextTypesAndUnfitValuesWriteNothing)
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
    w.returnStatus(0);
    w.returnValue(0, "@h", TypeInfo{tds_type::IntN, 4, 0, 0, {}, false}, Value::fromInteger(1));
    w.doneProc(done_status::More | done_status::RpcInBatch, 0xE0, 0);
    EXPECT_EQ(toHex(ByteView(w.bytes()).last(13)), "FE 81 00 E0 00 00 00 00 00 00 00 00 00");
}
