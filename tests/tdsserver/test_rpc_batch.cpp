// Remote procedure calls made into batches: declaration lists as clients
// write them, values as literals that stay data, procedure names that
// cannot become statements of their own.
#include "rpc_batch.h"
#include "sqlerror.h"

#include <gtest/gtest.h>

using namespace vqtdsserver;
using namespace vqtds;

namespace {

TypeInfo typeOf(std::uint8_t wire, std::uint32_t length = 0)
{
    TypeInfo t;
    t.type = wire;
    t.maxLength = length;
    return t;
}

RpcParameter parameter(std::string name, TypeInfo type, vqsql::Value value, std::uint8_t status = 0)
{
    RpcParameter p;
    p.name = std::move(name);
    p.type = type;
    p.value = std::move(value);
    p.status = status;
    return p;
}

}  // namespace

TEST(RpcBatch, DeclarationListsAsClientsWriteThem)
{
    const auto d = parseParameterDeclarations(" @P1 int ,@name nvarchar(50) OUTPUT, @amount decimal(18, 4) out ");
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].name, "@P1");
    EXPECT_EQ(d[0].type, "int");
    EXPECT_FALSE(d[0].output);
    EXPECT_EQ(d[1].type, "nvarchar(50)");
    EXPECT_TRUE(d[1].output);
    EXPECT_EQ(d[2].type, "decimal(18, 4)");
    EXPECT_TRUE(d[2].output);
    EXPECT_TRUE(parseParameterDeclarations("").empty());
    for (const char* bad : {"@a", "a int", "@a int,,@b int", "@a int; DROP TABLE t", "@a varchar(9)'"})
        EXPECT_THROW(parseParameterDeclarations(bad), std::invalid_argument) << bad;
}

TEST(RpcBatch, ValuesBecomeLiteralsThatStayData)
{
    EXPECT_EQ(sqlLiteral(typeOf(tds_type::NVarChar, 20), vqsql::Value::fromText("it's'; DROP TABLE t --")),
              "N'it''s''; DROP TABLE t --'");
    EXPECT_EQ(sqlLiteral(typeOf(tds_type::BigVarChar, 20), vqsql::Value::fromText("会计")), "'会计'");
    EXPECT_EQ(sqlLiteral(typeOf(tds_type::IntN, 4), vqsql::Value::fromInteger(-7)), "-7");
    EXPECT_EQ(sqlLiteral(typeOf(tds_type::FltN, 8), vqsql::Value::fromNumber(1.5)), "1.5E0");
    EXPECT_EQ(sqlLiteral(typeOf(tds_type::BigVarBinary, 4), vqsql::Value::fromBytes(std::string("\x01\xAB", 2))),
              "0x01AB");
    EXPECT_EQ(sqlLiteral(typeOf(tds_type::DateTimeN, 8), vqsql::Value::fromDateTime("2026-01-13 03:04:05.123")),
              "CONVERT(datetime, '2026-01-13 03:04:05.123', 121)");
    EXPECT_EQ(sqlLiteral(typeOf(tds_type::IntN, 4), vqsql::Value::null()), "NULL");
}

TEST(RpcBatch, StatementKeepsItsLineNumbersAndReadsBackOutputs)
{
    const std::vector<RpcParameter> values = {
        parameter("@b", typeOf(tds_type::IntN, 4), vqsql::Value::fromInteger(2)),
        parameter("@a", typeOf(tds_type::IntN, 4), vqsql::Value::null(), 0x01),
    };
    const RpcBatch b = statementBatch("SET @a = @b * 2\nSELECT 1", parseParameterDeclarations("@a int OUTPUT, @b int"),
                                      values, 2);
    EXPECT_EQ(b.text.find('\n'), b.text.find("SELECT 1") - 1) << b.text;   // everything before the statement on its line 1
    ASSERT_EQ(b.outputs.size(), 1u);
    EXPECT_EQ(b.outputs[0].variable, "@a");
    EXPECT_EQ(b.outputs[0].ordinal, 3);
    EXPECT_NE(b.text.find(std::string("SELECT @a AS ") + kOutputMarkerColumn), std::string::npos);
}

TEST(RpcBatch, MissingAndUnknownParametersAreSqlServersErrors)
{
    const auto decl = parseParameterDeclarations("@a int");
    const std::pair<std::vector<RpcParameter>, int> cases[] = {
        {{}, 8178},
        {{parameter("@zz", typeOf(tds_type::IntN, 4), vqsql::Value::fromInteger(1))}, 8145},
        {{parameter("", typeOf(tds_type::IntN, 4), vqsql::Value::fromInteger(1)),
          parameter("", typeOf(tds_type::IntN, 4), vqsql::Value::fromInteger(2))},
         8144},
    };
    for (const auto& [values, number] : cases) {
        try {
            statementBatch("SELECT @a", decl, values, 2);
            ADD_FAILURE() << "accepted, expected " << number;
        } catch (const vqsql::SqlException& e) {
            EXPECT_EQ(e.number(), number);
        }
    }
}

TEST(RpcBatch, ProcedureNamesCannotBecomeStatements)
{
    RpcCall call;
    call.procedureName = "master..sp_helpdb";
    EXPECT_EQ(procedureBatch(call).text, "EXEC master..sp_helpdb");
    call.procedureName = "p; DROP TABLE t";
    EXPECT_EQ(procedureBatch(call).text, "EXEC [p; DROP TABLE t]");
    call.procedureName = "x]; DROP TABLE t; --";
    EXPECT_EQ(procedureBatch(call).text, "EXEC [x]]; DROP TABLE t; --]");
    call.procedureName = "[my proc]";
    EXPECT_EQ(procedureBatch(call).text, "EXEC [my proc]");
}
