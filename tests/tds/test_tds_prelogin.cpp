// PRELOGIN: the client's option table as a real client sends it, the
// server's answer byte for byte, the encryption each combination of
// client request and server ability leads to, and malformed tables.
#include "packet.h"
#include "prelogin.h"
#include "tds_test_helpers.h"

#include <gtest/gtest.h>

using namespace vqtds;
using tdstest::fromHex;
using tdstest::toHex;

namespace {

// A PRELOGIN request packet as a client sends it: version 9.0.0.0,
// encryption on, no instance, thread id 0x00000DB8, MARS on.
const char* kClientPrelogin =
    "12 01 00 2F 00 00 01 00 00 00 1A 00 06 01 00 20 "
    "00 01 02 00 21 00 01 03 00 22 00 04 04 00 26 00 "
    "01 FF 09 00 00 00 00 00 01 00 B8 0D 00 00 01";

}  // namespace

TEST(TdsPrelogin, ParsesAClientRequestPacket)
{
    MessageAssembler a;
    a.feed(fromHex(kClientPrelogin));
    auto m = a.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->type, packet_type::Prelogin);
    const PreloginRequest req = parsePrelogin(m->payload);
    EXPECT_EQ(req.version.major, 9);
    EXPECT_EQ(req.version.minor, 0);
    EXPECT_EQ(req.version.build, 0);
    EXPECT_EQ(req.encryption, encryption::On);
    ASSERT_TRUE(req.instance);
    EXPECT_EQ(*req.instance, "");
    ASSERT_TRUE(req.threadId);
    EXPECT_EQ(*req.threadId, 0x0DB8u);
    EXPECT_TRUE(req.mars);
}

TEST(TdsPrelogin, NamedInstanceText)
{
    const Bytes payload = fromHex(
        "00 00 15 00 06 01 00 1B 00 01 02 00 1C 00 0C 03 00 28 00 04 FF "
        "08 00 01 55 00 00 00 4D 53 53 51 4C 53 65 72 76 65 72 00 80 19 00 00");
    const PreloginRequest req = parsePrelogin(payload);
    EXPECT_EQ(req.version.major, 8);
    EXPECT_EQ(req.version.build, 0x0155);
    ASSERT_TRUE(req.instance);
    EXPECT_EQ(*req.instance, "MSSQLServer");
}

TEST(TdsPrelogin, ServerResponseBytes)
{
    // Version 10.50.1600.0, encryption not supported.
    const Bytes payload = buildPreloginResponse({10, 50, 1600, 0}, encryption::NotSupported);
    EXPECT_EQ(toHex(payload),
              "00 00 1A 00 06 01 00 20 00 01 02 00 21 00 01 03 00 22 00 00 04 00 22 00 01 FF "
              "0A 32 06 40 00 00 02 00 00");
    // The server's own reader takes it back.
    const PreloginRequest back = parsePrelogin(payload);
    EXPECT_EQ(back.version.major, 10);
    EXPECT_EQ(back.version.minor, 50);
    EXPECT_EQ(back.version.build, 1600);
    EXPECT_EQ(back.encryption, encryption::NotSupported);
    EXPECT_FALSE(back.mars);
}

struct EncryptionCase {
    std::uint8_t client;
    ServerEncryption server;
    std::uint8_t response;
    EncryptionOutcome outcome;
};

class TdsPreloginEncryption : public ::testing::TestWithParam<EncryptionCase> {};

TEST_P(TdsPreloginEncryption, Negotiates)
{
    const EncryptionCase& c = GetParam();
    const EncryptionChoice choice = negotiateEncryption(c.client, c.server);
    EXPECT_EQ(choice.response, c.response);
    EXPECT_EQ(choice.outcome, c.outcome);
}

using enum EncryptionOutcome;
INSTANTIATE_TEST_SUITE_P(
    Table, TdsPreloginEncryption,
    ::testing::Values(
        // Without a certificate: only clients that can do without encryption get in.
        EncryptionCase{encryption::Off, ServerEncryption::NoCertificate, encryption::NotSupported, None},
        EncryptionCase{encryption::NotSupported, ServerEncryption::NoCertificate, encryption::NotSupported, None},
        EncryptionCase{encryption::On, ServerEncryption::NoCertificate, encryption::NotSupported, Refuse},
        EncryptionCase{encryption::Required, ServerEncryption::NoCertificate, encryption::NotSupported, Refuse},
        // With a certificate: the login record alone, or everything when asked.
        EncryptionCase{encryption::Off, ServerEncryption::Available, encryption::Off, LoginOnly},
        EncryptionCase{encryption::On, ServerEncryption::Available, encryption::On, Full},
        EncryptionCase{encryption::Required, ServerEncryption::Available, encryption::On, Full},
        EncryptionCase{encryption::NotSupported, ServerEncryption::Available, encryption::NotSupported, None},
        // Forced: everything, and no way in without encryption.
        EncryptionCase{encryption::Off, ServerEncryption::Required, encryption::Required, Full},
        EncryptionCase{encryption::On, ServerEncryption::Required, encryption::On, Full},
        EncryptionCase{encryption::Required, ServerEncryption::Required, encryption::Required, Full},
        EncryptionCase{encryption::NotSupported, ServerEncryption::Required, encryption::Required, Refuse}));

struct BadPrelogin {
    const char* name;
    const char* hex;
};

class TdsPreloginRefusal : public ::testing::TestWithParam<BadPrelogin> {};

TEST_P(TdsPreloginRefusal, Throws)
{
    EXPECT_THROW(parsePrelogin(fromHex(GetParam().hex)), ProtocolError) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, TdsPreloginRefusal,
    ::testing::Values(
        BadPrelogin{"empty", ""},
        BadPrelogin{"table without terminator", "00 00 0B 00 06 01 00 11 00 01"},
        BadPrelogin{"entry cut short", "00 00 06"},
        BadPrelogin{"terminator only", "FF"},
        BadPrelogin{"version not first", "01 00 0B 00 01 00 00 0C 00 06 FF 00 09 00 00 00 00 00"},
        BadPrelogin{"offset past the end", "00 00 06 00 06 FF 09 00 00 00 00"},
        BadPrelogin{"offset inside the table", "00 00 00 00 06 FF 09 00 00 00 00 00"},
        BadPrelogin{"length past the end", "00 00 06 FF FF FF 09 00 00 00 00 00"},
        BadPrelogin{"version of wrong length", "00 00 06 00 02 FF 09 00"},
        BadPrelogin{"encryption of wrong length", "00 00 0B 00 06 01 00 11 00 02 FF 09 00 00 00 00 00 01 01"},
        BadPrelogin{"unknown encryption value", "00 00 0B 00 06 01 00 11 00 01 FF 09 00 00 00 00 00 07"},
        BadPrelogin{"version twice", "00 00 0B 00 06 00 00 0B 00 06 FF 09 00 00 00 00 00"}),
    [](const auto& info) { return tdstest::testName(info.param.name); });
