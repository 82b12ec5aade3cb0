// LOGIN7: a login record as a real ODBC client sends it, the password
// obfuscation, the 7.1 layout, long SSPI blobs, and records whose
// offsets, lengths or Length field point outside.
#include "login7.h"
#include "packet.h"
#include "login_builder.h"
#include "tds_test_helpers.h"

#include <gtest/gtest.h>

using namespace vqtds;
using tdstest::fromHex;
using tdstest::LoginBuilder;
using tdstest::toHex;

namespace {

// TDS 7.2, packet size 4096, host "skostov1", user "sa", no password,
// application "OSQL-32", interface "ODBC".
const char* kOdbcLogin =
    "10 01 00 90 00 00 01 00 88 00 00 00 02 00 09 72 "
    "00 10 00 00 00 00 00 07 00 01 00 00 00 00 00 00 "
    "E0 03 00 00 00 00 00 00 09 04 00 00 5E 00 08 00 "
    "6E 00 02 00 72 00 00 00 72 00 07 00 80 00 00 00 "
    "80 00 00 00 80 00 04 00 88 00 00 00 88 00 00 00 "
    "00 50 8B E2 B7 8F 88 00 00 00 88 00 00 00 88 00 "
    "00 00 00 00 00 00 73 00 6B 00 6F 00 73 00 74 00 "
    "6F 00 76 00 31 00 73 00 61 00 4F 00 53 00 51 00 "
    "4C 00 2D 00 33 00 32 00 4F 00 44 00 42 00 43 00";

}  // namespace

TEST(TdsLogin7, ParsesAnOdbcClientLogin)
{
    MessageAssembler a;
    a.feed(fromHex(kOdbcLogin));
    auto m = a.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->type, packet_type::Login7);
    const Login7 login = parseLogin7(m->payload);
    EXPECT_EQ(login.length, 0x88u);
    EXPECT_EQ(login.tdsVersion, tds_version_code::V7_2);
    EXPECT_EQ(login.packetSize, 4096u);
    EXPECT_EQ(login.clientProgVersion, 0x07000000u);
    EXPECT_EQ(login.clientPid, 0x100u);
    EXPECT_EQ(login.optionFlags1, 0xE0);
    EXPECT_EQ(login.optionFlags2, 0x03);
    EXPECT_EQ(login.clientLcid, 0x0409u);
    EXPECT_EQ(login.hostName, "skostov1");
    EXPECT_EQ(login.userName, "sa");
    EXPECT_EQ(login.password, "");
    EXPECT_EQ(login.appName, "OSQL-32");
    EXPECT_EQ(login.serverName, "");
    EXPECT_EQ(login.clientInterfaceName, "ODBC");
    EXPECT_EQ(login.database, "");
    EXPECT_EQ(toHex(login.clientId), "00 50 8B E2 B7 8F");
    EXPECT_TRUE(login.sspi.empty());
    EXPECT_FALSE(login.integratedSecurity());
}

TEST(TdsLogin7, PasswordObfuscationByHand)
{
    // 'a' is 61 00 in UTF-16LE; nibbles swapped 16 00; XOR A5: B3 A5.
    EXPECT_EQ(toHex(obfuscatePassword("a")), "B3 A5");
    EXPECT_EQ(deobfuscatePassword(fromHex("B3 A5")), "a");
    // A Chinese password survives the round trip.
    EXPECT_EQ(deobfuscatePassword(obfuscatePassword("密码Pw1")), "密码Pw1");
}

TEST(TdsLogin7, BuiltRecordRoundTripsForEachVersion)
{
    for (std::uint32_t version : {tds_version_code::V7_1Rev1, tds_version_code::V7_2, tds_version_code::V7_3B,
                                  tds_version_code::V7_4}) {
        LoginBuilder b;
        b.version = version;
        b.user = "会计";
        b.password = "p@ss'词";
        b.database = "账套001";
        b.newPassword = version >= tds_version_code::V7_2 ? "new" : "";
        const Login7 login = parseLogin7(b.build());
        EXPECT_EQ(login.tdsVersion, version);
        EXPECT_EQ(login.userName, "会计");
        EXPECT_EQ(login.password, "p@ss'词");
        EXPECT_EQ(login.database, "账套001");
        EXPECT_EQ(login.appName, "tsql");
        EXPECT_EQ(login.clientInterfaceName, "DB-Library");
        EXPECT_EQ(login.clientTimeZone, -480);
        EXPECT_EQ(login.changePassword, b.newPassword);
    }
}

TEST(TdsLogin7, LongSspiBlobUsesTheLongLength)
{
    LoginBuilder b;
    b.sspi = Bytes(70000, 0x4E);
    const Login7 login = parseLogin7(b.build());
    EXPECT_EQ(login.sspi.size(), 70000u);
}

TEST(TdsLogin7, VersionsBefore71AreRefused)
{
    LoginBuilder b;
    b.version = tds_version_code::V7_0;
    EXPECT_THROW(parseLogin7(b.build()), ProtocolError);
}

TEST(TdsLogin7, TruncatedRecordsAreRefused)
{
    const Bytes good = LoginBuilder{}.build();
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        Bytes shorter(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_THROW(parseLogin7(shorter), ProtocolError) << "cut at " << cut;
    }
}

struct Corruption {
    const char* name;
    std::size_t at;       // byte offset in the record
    std::uint16_t value;  // written little-endian there
};

class TdsLogin7Refusal : public ::testing::TestWithParam<Corruption> {};

TEST_P(TdsLogin7Refusal, Throws)
{
    Bytes rec = LoginBuilder{}.build();
    patchU16le(rec, GetParam().at, GetParam().value);
    EXPECT_THROW(parseLogin7(rec), ProtocolError) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, TdsLogin7Refusal,
    ::testing::Values(Corruption{"host name offset past the end", 36, 0xFFF0},
                      Corruption{"user name length past the end", 42, 0x7FFF},
                      Corruption{"password inside the fixed part", 44, 10},
                      Corruption{"database length past the end", 70, 0x1000},
                      Corruption{"sspi length past the end", 80, 0x0100},
                      Corruption{"record length beyond the payload", 0, 0xFFFF},
                      Corruption{"record length shorter than the fixed part", 0, 20}),
    [](const auto& info) { return tdstest::testName(info.param.name); });
