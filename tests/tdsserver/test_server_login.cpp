// Logging in over a real socket: what a successful login announces
// (LOGINACK, the database, collation, language and packet size), the
// errors of the refused ones and the connection ending after them, the
// older TDS 7.1 framing, and the agreed packet size held to by the server.
#include "server_fixture.h"

#include "rpc.h"

using namespace tdstest;
using namespace vqtds;

namespace {

class ServerLogin : public ServerFixture {};

TEST_F(ServerLogin, SuccessfulLoginAnnouncesTheSessionState)
{
    auto client = connect();
    const Response r = client->login(loginAs());
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_TRUE(r.loginAck.has_value());
    EXPECT_EQ(r.loginAck->interface, 1);
    EXPECT_EQ(r.loginAck->version, tds_version_code::V7_4);
    EXPECT_EQ(r.loginAck->programName, "Microsoft SQL Server");

    const auto* db = r.env(env_change::Database);
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(db->newText(), "master");
    const auto* collation = r.env(env_change::SqlCollation);
    ASSERT_NE(collation, nullptr);
    ASSERT_EQ(collation->newValue.size(), 5u);
    Reader c(collation->newValue);
    EXPECT_EQ(readCollation(c), chinesePrcCiAs());
    const auto* packetSize = r.env(env_change::PacketSize);
    ASSERT_NE(packetSize, nullptr);
    EXPECT_EQ(packetSize->newText(), "4096");
    ASSERT_NE(r.env(env_change::Language), nullptr);

    EXPECT_EQ(r.finalDone().token, token::Done);
    EXPECT_EQ(r.finalDone().status & done_status::Error, 0);
    EXPECT_EQ(exec(*client, "SELECT DB_NAME() AS d").scalar().text, "master");
}

struct RefusedLogin {
    const char* name;
    std::string user;
    std::string password;
    std::string database;
    std::vector<std::int32_t> errors;
};

class RefusedLogins : public ServerFixture, public ::testing::WithParamInterface<RefusedLogin> {};

TEST_P(RefusedLogins, AnswerWithTheErrorsThenClose)
{
    const RefusedLogin& c = GetParam();
    auto client = connect();
    LoginBuilder b = loginAs(c.password, c.database);
    b.user = c.user;
    const Response r = client->login(b);
    EXPECT_EQ(r.errorNumbers(), c.errors);
    EXPECT_FALSE(r.loginAck.has_value());
    ASSERT_FALSE(r.errors.empty());
    const ReceivedMessage& last = r.errors.back();
    EXPECT_EQ(last.text, "Login failed for user '" + c.user + "'.");
    EXPECT_EQ(last.severity, 14);
    EXPECT_GE(last.state, 1);
    EXPECT_NE(r.finalDone().status & done_status::Error, 0);
    EXPECT_TRUE(client->closedByServer());
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedLogins,
                         ::testing::Values(RefusedLogin{"WrongPassword", "sa", "wrong", "master", {18456}},
                                           RefusedLogin{"EmptyPassword", "sa", "", "master", {18456}},
                                           RefusedLogin{"UnknownUser", "nobody", kSaPassword, "master", {18456}},
                                           RefusedLogin{"MissingDatabase", "sa", kSaPassword, "nosuchdb", {4060, 18456}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerLogin, IntegratedSecurityIsRefused)
{
    auto client = connect();
    Bytes record = loginAs().build();
    record[25] |= login_flags::Flags2IntegratedSecurity;   // OptionFlags2
    client->prelogin();
    client->sendMessage(packet_type::Login7, record);
    const Response r = client->readResponse();
    EXPECT_EQ(r.errorNumbers(), std::vector<std::int32_t>{18452});
    EXPECT_FALSE(r.loginAck.has_value());
    EXPECT_TRUE(client->closedByServer());
}

TEST_F(ServerLogin, LoginWithoutPreloginIsAccepted)
{
    auto client = connect();
    client->sendMessage(packet_type::Login7, loginAs().build());
    const Response r = client->readResponse();
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    EXPECT_TRUE(r.loginAck.has_value());
    EXPECT_EQ(exec(*client, "SELECT 4").scalar().integer, 4);
}

TEST_F(ServerLogin, LoginIntoAnotherDatabaseStartsThere)
{
    auto setup = loggedIn();
    exec(*setup, "CREATE DATABASE books");
    auto client = connect();
    const Response r = client->login(loginAs(kSaPassword, "books"));
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_NE(r.env(env_change::Database), nullptr);
    EXPECT_EQ(r.env(env_change::Database)->newText(), "books");
    EXPECT_EQ(exec(*client, "SELECT DB_NAME()").scalar().text, "books");
}

TEST_F(ServerLogin, Tds71ClientGetsTheOlderFraming)
{
    auto client = connect();
    LoginBuilder b = loginAs();
    b.version = tds_version_code::V7_1;
    const Response r = client->login(b);
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_TRUE(r.loginAck.has_value());
    EXPECT_EQ(r.loginAck->version, tds_version_code::V7_1Rev1);
    // 4-byte row counts and 2-byte line numbers are read as 7.1 clients read them.
    const Response q = exec(*client, "SELECT 7 AS n UNION ALL SELECT 8");
    ASSERT_EQ(q.resultSets.size(), 1u);
    EXPECT_EQ(q.finalDone().count, 2u);
    // No transaction descriptors before 7.2.
    const Response begin = exec(*client, "BEGIN TRAN");
    EXPECT_EQ(begin.env(env_change::BeginTransaction), nullptr);
    exec(*client, "ROLLBACK");
}

// Each TDS version gets its own LOGINACK code and the row format it
// reads: NBCROW for a row with NULLs from 7.3 on, ROW before.
struct VersionCase {
    const char* name;
    std::uint32_t asked;
    std::uint32_t acknowledged;
    bool nullBitmapRows;
};

class LoginVersions : public ServerFixture, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(LoginVersions, AcknowledgedAndSpokenAsAsked)
{
    const VersionCase& c = GetParam();
    auto client = connect();
    LoginBuilder b = loginAs();
    b.version = c.asked;
    const Response r = client->login(b);
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_TRUE(r.loginAck.has_value());
    EXPECT_EQ(r.loginAck->version, c.acknowledged);
    const Response q = exec(*client, "SELECT 1 AS a, CAST(NULL AS int) AS b, N'x' AS c; PRINT 'p'");
    ASSERT_EQ(q.resultSets.size(), 1u);
    EXPECT_TRUE(q.resultSets[0].rows.at(0)[1].isNull());
    EXPECT_EQ(q.resultSets[0].rows[0][2].text, "x");
    EXPECT_EQ(q.tokens.at(1), c.nullBitmapRows ? token::NbcRow : token::Row);
    ASSERT_EQ(q.infos.size(), 1u);
    EXPECT_EQ(q.infos[0].line, 1);

    // Request headers (7.2 on), the call separator and RETURNVALUE's user type differ too.
    const Call first{"", proc_id::ExecuteSql, {nvarcharParam("", "SET @o = 6 * 7"), nvarcharParam("", "@o int OUTPUT"),
                                               intParam("@o", std::nullopt, true)}};
    const Call second{"", proc_id::ExecuteSql, {nvarcharParam("", "SELECT 5 AS five")}};
    const Response call = client->rpc(std::vector<Call>{first, second});
    ASSERT_TRUE(call.errors.empty()) << describe(call);
    ASSERT_EQ(call.returnValues.size(), 1u);
    EXPECT_EQ(call.returnValues[0].value.integer, 42);
    EXPECT_EQ(call.scalar().integer, 5);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoginVersions,
                         ::testing::Values(VersionCase{"V7_1", tds_version_code::V7_1, tds_version_code::V7_1Rev1, false},
                                           VersionCase{"V7_2", tds_version_code::V7_2, tds_version_code::V7_2, false},
                                           VersionCase{"V7_3A", tds_version_code::V7_3A, tds_version_code::V7_3A, true},
                                           VersionCase{"V7_3B", tds_version_code::V7_3B, tds_version_code::V7_3B, true},
                                           VersionCase{"V7_4", tds_version_code::V7_4, tds_version_code::V7_4, true},
                                           VersionCase{"Newer", 0x75000000, tds_version_code::V7_4, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerLogin, SmallPacketSizeIsHeldToInBothDirections)
{
    auto client = connect();
    const Response r = client->login(loginAs(), 512);
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_NE(r.env(env_change::PacketSize), nullptr);
    EXPECT_EQ(r.env(env_change::PacketSize)->newText(), "512");

    // A batch longer than one packet goes out in 512-byte packets too.
    const std::string text = "SELECT REPLICATE(N'x', 3000) AS a, REPLICATE('y', 500) AS b /*" + std::string(1200, '-') + "*/";
    const Response q = exec(*client, text);
    ASSERT_EQ(q.resultSets.size(), 1u);
    EXPECT_EQ(q.resultSets[0].rows[0][0].text.size(), 3000u);
    EXPECT_GT(q.packetLengths.size(), 10u);
    for (std::size_t length : q.packetLengths)
        EXPECT_LE(length, 512u);
}

TEST_F(ServerLogin, PacketSizeOutsideTheLimitsIsClamped)
{
    auto client = connect();
    const Response r = client->login(loginAs(), 100);
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_NE(r.env(env_change::PacketSize), nullptr);
    EXPECT_EQ(r.env(env_change::PacketSize)->newText(), "512");
    EXPECT_EQ(exec(*client, "SELECT 1").scalar().integer, 1);
}

}  // namespace
