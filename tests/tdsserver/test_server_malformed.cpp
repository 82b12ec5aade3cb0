// Malformed input over a real socket closes only the connection that sent
// it: a client logged in at the same time keeps working and the server
// goes on accepting new ones. Table-driven cases before and after the
// login, then a bounded fuzzing of whole connections (VQ_FUZZ_ROUNDS
// connections, seed VQ_FUZZ_SEED) with random and mutated valid messages.
#include "server_fixture.h"

#include "prelogin.h"
#include "rpc.h"
#include "txmanager.h"

#include <functional>
#include <random>
#include <thread>

using namespace tdstest;
using namespace vqtds;

namespace {

Bytes packet(std::uint8_t type, std::uint8_t status, std::uint16_t length, const Bytes& body)
{
    Bytes out;
    writePacketHeader(out, PacketHeader{type, status, length, 0, 1, 0});
    putBytes(out, body);
    return out;
}

Bytes validPrelogin()
{
    return splitIntoPackets(packet_type::Prelogin,
                            Bytes{0, 0, 11, 0, 6, 1, 0, 17, 0, 1, 0xFF, 9, 0, 0, 0, 0, 0, encryption::NotSupported},
                            kDefaultPacketSize);
}

// Sends what may be refused half-way: the server closing the connection
// while we still send is one of the expected outcomes.
void sendTolerant(TdsClient& client, const Bytes& bytes)
{
    try {
        client.sendRaw(bytes);
    } catch (const std::runtime_error&) {
    }
}

struct MalformedCase {
    const char* name;
    bool afterLogin;
    std::function<void(TdsClient&)> send;
};

Bytes truncatedLogin()
{
    Bytes record = loginAs().build();
    record.resize(40);
    return splitIntoPackets(packet_type::Login7, record, kDefaultPacketSize);
}

Bytes loginWithFieldOutside()
{
    Bytes record = loginAs().build();
    record[36 + 4 * 2] = 0xF0;   // the user name's offset, far beyond the record
    record[36 + 4 * 2 + 1] = 0x7F;
    return splitIntoPackets(packet_type::Login7, record, kDefaultPacketSize);
}

const MalformedCase kMalformedCases[] = {
    {"TextInsteadOfPackets", false, [](TdsClient& c) { sendTolerant(c, Bytes(asBytes("GET / HTTP/1.1\r\n\r\n").begin(), asBytes("GET / HTTP/1.1\r\n\r\n").end())); }},
    {"ZeroBytes", false, [](TdsClient& c) { sendTolerant(c, Bytes(64, 0)); }},
    {"LengthBeyondWhatIsSent", false, [](TdsClient& c) { sendTolerant(c, packet(packet_type::Prelogin, 1, 1000, Bytes(20, 0))); }},
    {"LengthShorterThanTheHeader", false, [](TdsClient& c) { sendTolerant(c, packet(packet_type::Prelogin, 1, 4, Bytes(20, 0))); }},
    {"OversizedPacket", false, [](TdsClient& c) { sendTolerant(c, packet(packet_type::Prelogin, 1, 0xFFFF, Bytes(0xFFF7, 0))); }},
    {"PreloginWithoutTerminator", false, [](TdsClient& c) { sendTolerant(c, splitIntoPackets(packet_type::Prelogin, Bytes(200, 0), 4096)); }},
    {"PreloginThatNeverEnds", false,
     [](TdsClient& c) {
         for (int i = 0; i < 80; ++i)
             sendTolerant(c, packet(packet_type::Prelogin, 0, 1008, Bytes(1000, 0)));
     }},
    {"TruncatedLogin", false,
     [](TdsClient& c) {
         sendTolerant(c, validPrelogin());
         sendTolerant(c, truncatedLogin());
     }},
    {"LoginFieldOutsideTheRecord", false,
     [](TdsClient& c) {
         sendTolerant(c, validPrelogin());
         sendTolerant(c, loginWithFieldOutside());
     }},
    {"BatchBeforeLogin", false, [](TdsClient& c) { sendTolerant(c, splitIntoPackets(packet_type::SqlBatch, utf8ToUtf16("SELECT 1"), 4096)); }},
    {"PacketBeyondTheAgreedSize", true, [](TdsClient& c) { sendTolerant(c, packet(packet_type::SqlBatch, 1, 8008, Bytes(8000, 0x41))); }},
    {"UnknownMessageType", true, [](TdsClient& c) { sendTolerant(c, packet(0x55, 1, 12, Bytes(4, 0))); }},
    {"SecondLogin", true, [](TdsClient& c) { sendTolerant(c, splitIntoPackets(packet_type::Login7, loginAs().build(), 4096)); }},
    {"BatchWithBadHeaders", true, [](TdsClient& c) { sendTolerant(c, packet(packet_type::SqlBatch, 1, 8 + 22 + 3, Bytes(25, 0x41))); }},
    {"RpcOfGarbage", true, [](TdsClient& c) { sendTolerant(c, packet(packet_type::Rpc, 1, 8 + 10, Bytes(10, 0xEE))); }},
    {"TransactionRequestTruncated", true, [](TdsClient& c) { sendTolerant(c, packet(packet_type::TransactionManager, 1, 8 + 3, Bytes{22, 0, 0})); }},
    {"BatchBeyondTheMessageLimit", true,
     [](TdsClient& c) {
         const Bytes piece = packet(packet_type::SqlBatch, 0, 4096, Bytes(4088, 0x20));
         Bytes many;
         for (int i = 0; i < 64; ++i)
             putBytes(many, piece);
         for (int i = 0; i < 18; ++i)   // 18 * 64 * 4 KB: beyond 4 MB
             sendTolerant(c, many);
     }},
    {"TypeChangeInsideAMessage", true,
     [](TdsClient& c) {
         sendTolerant(c, packet(packet_type::SqlBatch, 0, 8 + 4, Bytes(4, 0)));
         sendTolerant(c, packet(packet_type::Rpc, 1, 8 + 4, Bytes(4, 0)));
     }},
};

class MalformedInput : public ServerFixture, public ::testing::WithParamInterface<MalformedCase> {
protected:
    void adjust(vqtdsserver::ServerSettings& s) override { s.loginTimeoutSeconds = 2; }
};

TEST_P(MalformedInput, ClosesOnlyThatConnection)
{
    const MalformedCase& c = GetParam();
    auto bystander = loggedIn();
    auto offender = c.afterLogin ? loggedIn() : connect();
    c.send(*offender);
    EXPECT_TRUE(offender->closedByServer(4s));
    EXPECT_EQ(exec(*bystander, "SELECT 21").scalar().integer, 21);
    auto newcomer = loggedIn();
    EXPECT_EQ(exec(*newcomer, "SELECT 22").scalar().integer, 22);
}

INSTANTIATE_TEST_SUITE_P(Cases, MalformedInput, ::testing::ValuesIn(kMalformedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- fuzzing -----------------------------------------------------------------------

using tdstest::Mutator;

class ServerFuzz : public ServerFixture {
protected:
    void adjust(vqtdsserver::ServerSettings& s) override { s.loginTimeoutSeconds = 2; }
};

// Valid requests of a logged-in client, to be mutated.
std::vector<Bytes> validRequests(const TdsClient& client)
{
    Bytes headers;
    putU32le(headers, 22);
    putU32le(headers, 18);
    putU16le(headers, request_header::TransactionDescriptor);
    putU64le(headers, 0);
    putU32le(headers, 1);
    Bytes batch = headers;
    putBytes(batch, utf8ToUtf16("SELECT 1 AS a, N'x' AS b"));
    Bytes tm = headers;
    putU16le(tm, tm_request::BeginXact);
    putU8(tm, 0);
    putU8(tm, 0);
    const Bytes rpc = client.rpcPayload({Call{"", proc_id::ExecuteSql,
                                              {nvarcharParam("", "SELECT @a AS v"), nvarcharParam("", "@a int"), intParam("@a", 3)}}});
    return {splitIntoPackets(packet_type::SqlBatch, batch, 4096), splitIntoPackets(packet_type::TransactionManager, tm, 4096),
            splitIntoPackets(packet_type::Rpc, rpc, 4096)};
}

TEST_F(ServerFuzz, RandomAndMutatedConnectionsLeaveTheServerWorking)
{
    Mutator m(fuzzSeed());
    const int rounds = fuzzRounds(100);
    const Bytes prelogin = validPrelogin();
    const Bytes login = splitIntoPackets(packet_type::Login7, loginAs().build(), kDefaultPacketSize);
    auto bystander = loggedIn();
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(fuzzSeed()));
        const std::size_t kind = m.below(5);
        std::unique_ptr<TdsClient> client = kind == 4 ? loggedIn() : connect();
        switch (kind) {
        case 0: sendTolerant(*client, m.random(600)); break;
        case 1: sendTolerant(*client, m.mutate(prelogin)); break;
        case 2:
            sendTolerant(*client, prelogin);
            sendTolerant(*client, m.mutate(login));
            break;
        case 3: {
            Bytes both = prelogin;
            putBytes(both, login);
            sendTolerant(*client, m.mutate(both));
            break;
        }
        default: {
            const auto requests = validRequests(*client);
            sendTolerant(*client, m.mutate(requests[m.below(requests.size())]));
        }
        }
        client->close();
    }
    EXPECT_EQ(exec(*bystander, "SELECT 31").scalar().integer, 31);
    auto newcomer = loggedIn();
    EXPECT_EQ(exec(*newcomer, "SELECT 32").scalar().integer, 32);
    // Every fuzzing connection ends: only the two clients remain.
    for (int i = 0; i < 100 && server_->openConnections() > 2; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server_->openConnections(), 2);
}

}  // namespace
