// Tokens: DONE in both row-count widths, LOGINACK, ENVCHANGE for the
// database, the packet size, the collation and transactions, INFO and
// ERROR, and a result set of an int and an nvarchar column as
// COLMETADATA with ROW and NBCROW, all byte for byte.
#include "tds_test_helpers.h"
#include "tokens.h"

#include <gtest/gtest.h>

using namespace vqtds;
using vqsql::BaseType;
using vqsql::Value;
using tdstest::fromHex;
using tdstest::toHex;

namespace {

vqsql::ResultSet idNameResult()
{
    vqsql::ResultSet rs;
    vqsql::SqlType intType;
    intType.base = BaseType::Int;
    vqsql::SqlType nvarchar;
    nvarchar.base = BaseType::NVarChar;
    nvarchar.length = 10;
    rs.columns = {{"id", intType}, {"name", nvarchar}};
    return rs;
}

}  // namespace

TEST(TdsTokens, DoneCarriesA4ByteCountIn71And8ByteFrom72)
{
    TokenWriter w71(TdsVersion::V7_1);
    w71.done(done_status::Count, 0xC1, 5);
    EXPECT_EQ(toHex(w71.bytes()), "FD 10 00 C1 00 05 00 00 00");

    TokenWriter w72(TdsVersion::V7_2);
    w72.done(done_status::Count, 0xC1, 5);
    EXPECT_EQ(toHex(w72.bytes()), "FD 10 00 C1 00 05 00 00 00 00 00 00 00");
}

TEST(TdsTokens, DoneKinds)
{
    TokenWriter w(TdsVersion::V7_4);
    w.doneInProc(done_status::More | done_status::Count, 0xC3, 2);
    w.doneProc(done_status::Final, 0xE0, 0);
    w.done(done_status::Error | done_status::Attention, 0, 0);
    EXPECT_EQ(toHex(w.bytes()),
              "FF 11 00 C3 00 02 00 00 00 00 00 00 00 "
              "FE 00 00 E0 00 00 00 00 00 00 00 00 00 "
              "FD 22 00 00 00 00 00 00 00 00 00 00 00");
}

TEST(TdsTokens, LoginAck)
{
    TokenWriter w(TdsVersion::V7_2);
    w.loginAck(tds_version_code::V7_2, "SQL", 10, 50, 1600);
    // Length 1 + 4 + 1 + 6 + 4 = 16.
    EXPECT_EQ(toHex(w.bytes()), "AD 10 00 01 72 09 00 02 03 53 00 51 00 4C 00 0A 32 06 40");
}

struct AckVersion {
    std::uint32_t clientCode;
    const char* wire;
};

class TdsLoginAckVersion : public ::testing::TestWithParam<AckVersion> {};

TEST_P(TdsLoginAckVersion, AnswersTheAgreedVersion)
{
    const auto version = negotiateTdsVersion(GetParam().clientCode);
    ASSERT_TRUE(version);
    TokenWriter w(*version);
    w.loginAck(GetParam().clientCode, "", 10, 0, 0);
    EXPECT_EQ(toHex(ByteView(w.bytes()).subspan(4, 4)), GetParam().wire);
}

INSTANTIATE_TEST_SUITE_P(Versions, TdsLoginAckVersion,
                         ::testing::Values(AckVersion{tds_version_code::V7_1, "71 00 00 01"},
                                           AckVersion{tds_version_code::V7_1Rev1, "71 00 00 01"},
                                           AckVersion{tds_version_code::V7_2, "72 09 00 02"},
                                           AckVersion{tds_version_code::V7_3A, "73 0A 00 03"},
                                           AckVersion{tds_version_code::V7_3B, "73 0B 00 03"},
                                           AckVersion{tds_version_code::V7_4, "74 00 00 04"},
                                           AckVersion{0x75000000, "74 00 00 04"}));

TEST(TdsTokens, VersionsBefore71AreNotNegotiated)
{
    EXPECT_FALSE(negotiateTdsVersion(tds_version_code::V7_0));
    EXPECT_FALSE(negotiateTdsVersion(0x00000701));
}

TEST(TdsTokens, EnvChangeDatabasePacketSizeAndCollation)
{
    TokenWriter w(TdsVersion::V7_4);
    w.envDatabase("ab", "master");
    w.envPacketSize(4096, 4096);
    w.envCollation(chinesePrcCiAs());
    EXPECT_EQ(toHex(w.bytes()),
              "E3 13 00 01 02 61 00 62 00 06 6D 00 61 00 73 00 74 00 65 00 72 00 "
              "E3 13 00 04 04 34 00 30 00 39 00 36 00 04 34 00 30 00 39 00 36 00 "
              "E3 08 00 07 05 04 08 D0 00 00 00");
}

TEST(TdsTokens, EnvChangeTransactionsFrom72)
{
    TokenWriter w(TdsVersion::V7_2);
    EXPECT_TRUE(w.envBeginTransaction(0x0102030405060708ULL));
    EXPECT_TRUE(w.envCommitTransaction(0x0102030405060708ULL));
    EXPECT_TRUE(w.envRollbackTransaction(1));
    EXPECT_EQ(toHex(w.bytes()),
              "E3 0B 00 08 08 08 07 06 05 04 03 02 01 00 "
              "E3 0B 00 09 00 08 08 07 06 05 04 03 02 01 "
              "E3 0B 00 0A 00 08 01 00 00 00 00 00 00 00");

    TokenWriter w71(TdsVersion::V7_1);
    EXPECT_FALSE(w71.envBeginTransaction(1));
    EXPECT_TRUE(w71.bytes().empty());
}

TEST(TdsTokens, ErrorAndInfo)
{
    vqsql::SqlError e;
    e.number = 208;
    e.severity = 16;
    e.state = 1;
    e.line = 2;
    e.message = "Invalid object name 'T'.";
    const ServerMessage m = messageFromError(e, "S");

    TokenWriter w72(TdsVersion::V7_2);
    w72.error(m);
    // 4 + 1 + 1 + 2 + 2*24 + 1 + 2 + 1 + 4 = 64 bytes.
    std::string text;
    for (std::uint8_t b : utf8ToUtf16("Invalid object name 'T'."))
        text += (text.empty() ? "" : " ") + toHex(Bytes{b});
    EXPECT_EQ(toHex(w72.bytes()), "AA 40 00 D0 00 00 00 01 10 18 00 " + text + " 01 53 00 00 02 00 00 00");

    TokenWriter w71(TdsVersion::V7_1);
    ServerMessage info{5701, 2, 0, "Changed database context to 'x'.", "S", "", 1};
    w71.info(info);
    EXPECT_EQ(w71.bytes()[0], token::Info);
    // The line number is two bytes wide in 7.1.
    EXPECT_EQ(toHex(ByteView(w71.bytes()).last(2)), "01 00");
    EXPECT_EQ(w71.bytes()[1] + 256 * w71.bytes()[2], static_cast<int>(w71.bytes().size()) - 3);
}

TEST(TdsTokens, LongErrorTextIsCutToFitTheToken)
{
    ServerMessage m{50000, 1, 16, std::string(70000, 'x'), "S", "p", 1};
    TokenWriter w(TdsVersion::V7_4);
    w.error(m);
    EXPECT_EQ(w.bytes()[1] + 256 * w.bytes()[2], static_cast<int>(w.bytes().size()) - 3);
}

TEST(TdsTokens, IntAndNVarCharResultSet)
{
    vqsql::ResultSet rs = idNameResult();
    rs.rows = {{Value::fromInteger(1), Value::fromText("ab")}};
    TokenWriter w(TdsVersion::V7_2);
    w.resultSet(rs);
    EXPECT_EQ(toHex(w.bytes()),
              "81 02 00 "
              "00 00 00 00 09 00 26 04 02 69 00 64 00 "
              "00 00 00 00 09 00 E7 14 00 04 08 D0 00 00 04 6E 00 61 00 6D 00 65 00 "
              "D1 04 01 00 00 00 04 00 61 00 62 00");
}

TEST(TdsTokens, NullsGoInABitmapRowFrom73)
{
    vqsql::ResultSet rs = idNameResult();
    rs.rows = {{Value::null(), Value::fromText("ab")}, {Value::fromInteger(2), Value::null()}};

    TokenWriter w73(TdsVersion::V7_3);
    const auto columns = describeColumns(rs, TdsVersion::V7_3);
    w73.row(columns, rs.rows[0]);
    w73.row(columns, rs.rows[1]);
    EXPECT_EQ(toHex(w73.bytes()), "D2 01 04 00 61 00 62 00 D2 02 04 02 00 00 00");

    // 7.2 has no bitmap row: NULLs are written in place.
    TokenWriter w72(TdsVersion::V7_2);
    w72.row(columns, rs.rows[0]);
    EXPECT_EQ(toHex(w72.bytes()), "D1 00 04 00 61 00 62 00");
}

TEST(TdsTokens, UserTypeIsTwoBytesIn71AndTextColumnsNameTheirTable)
{
    vqsql::ResultSet rs;
    vqsql::SqlType text;
    text.base = BaseType::Text;
    rs.columns = {{"t", text}};
    TokenWriter w71(TdsVersion::V7_1);
    w71.resultSet(rs);
    EXPECT_EQ(toHex(w71.bytes()), "81 01 00 00 00 09 00 23 FF FF FF 7F 04 08 D0 00 00 00 00 01 74 00");
    TokenWriter w74(TdsVersion::V7_4);
    w74.resultSet(rs);
    EXPECT_EQ(toHex(w74.bytes()), "81 01 00 00 00 00 00 09 00 23 FF FF FF 7F 04 08 D0 00 00 00 01 74 00");
}

TEST(TdsTokens, RowOfTheWrongWidthIsRefused)
{
    const vqsql::ResultSet rs = idNameResult();
    TokenWriter w(TdsVersion::V7_4);
    EXPECT_THROW(w.row(describeColumns(rs, TdsVersion::V7_4), {Value::fromInteger(1)}), ProtocolError);
}

TEST(TdsTokens, ReturnStatus)
{
    TokenWriter w(TdsVersion::V7_4);
    w.returnStatus(-6);
    EXPECT_EQ(toHex(w.bytes()), "79 FA FF FF FF");
}

TEST(TdsTokens, ColumnOfUnknownTypeIsTypedFromItsValues)
{
    vqsql::ResultSet rs;
    vqsql::SqlType unknown;
    rs.columns = {{"a", unknown}, {"b", unknown}};
    rs.rows = {{Value::null(), Value::null()}, {Value::fromText("中"), Value::null()}};
    const auto columns = describeColumns(rs, TdsVersion::V7_4);
    EXPECT_EQ(columns[0].type.type, tds_type::NVarChar);
    EXPECT_EQ(columns[0].type.maxLength, 2u);
    EXPECT_EQ(columns[1].type.type, tds_type::IntN);   // all NULL: int, as for SELECT NULL
}

TEST(TdsTokens, ResetConnectionAcknowledgedFrom72)
{
    TokenWriter w(TdsVersion::V7_2);
    EXPECT_TRUE(w.envResetConnectionAck());
    EXPECT_EQ(toHex(w.bytes()), "E3 03 00 12 00 00");
    TokenWriter w71(TdsVersion::V7_1);
    EXPECT_FALSE(w71.envResetConnectionAck());
    EXPECT_TRUE(w71.bytes().empty());
}
