// The server's limits: the login time-out for a connection that sends
// nothing, the maximum of logged-in connections, and the slowing down of
// repeated failed logins (the throttle itself on a made-up clock, and one
// check over the socket).
#include "server_fixture.h"

#include "login_throttle.h"

#include <thread>

using namespace tdstest;
using namespace vqtds;
using vqtdsserver::LoginThrottle;

namespace {

std::chrono::milliseconds since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

class ServerLimits : public ServerFixture {
protected:
    void adjust(vqtdsserver::ServerSettings& s) override
    {
        s.loginTimeoutSeconds = 1;
        s.maxConnections = 2;
    }
};

TEST_F(ServerLimits, SilentConnectionIsClosedAfterTheLoginTimeout)
{
    auto silent = connect();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(silent->closedByServer(4s));
    EXPECT_GE(since(start), 800ms);
}

TEST_F(ServerLimits, ConnectionStuckAfterPreloginIsClosedToo)
{
    auto stuck = connect();
    stuck->prelogin();
    EXPECT_TRUE(stuck->closedByServer(4s));
}

TEST_F(ServerLimits, TricklingBytesDoesNotExtendTheLoginTimeout)
{
    auto slow = connect();
    const Bytes prelogin = splitIntoPackets(packet_type::Prelogin, Bytes(40, 0), kDefaultPacketSize);
    const auto start = std::chrono::steady_clock::now();
    bool closed = false;
    for (std::size_t i = 0; i < prelogin.size() && !closed; ++i) {
        try {
            slow->sendRaw(ByteView(&prelogin[i], 1));
        } catch (const std::runtime_error&) {
            break;
        }
        closed = slow->closedByServer(150ms);
    }
    EXPECT_TRUE(closed || slow->closedByServer(2s));
    EXPECT_LT(since(start), 2500ms);
}

TEST_F(ServerLimits, LoggedInConnectionMayBeIdleLongerThanTheLoginTimeout)
{
    auto client = loggedIn();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(exec(*client, "SELECT 1").scalar().integer, 1);
}

TEST_F(ServerLimits, LoginBeyondMaxConnectionsIsRefusedUntilOneLeaves)
{
    auto first = loggedIn();
    auto second = loggedIn();
    auto third = connect();
    const Response refused = third->login(loginAs());
    EXPECT_EQ(refused.errorNumbers(), std::vector<std::int32_t>{17809});
    ASSERT_FALSE(refused.errors.empty());
    EXPECT_EQ(refused.errors[0].severity, 20);
    EXPECT_NE(refused.errors[0].text.find("'2'"), std::string::npos);
    EXPECT_TRUE(third->closedByServer());
    // The ones logged in are unaffected.
    EXPECT_EQ(exec(*second, "SELECT 2").scalar().integer, 2);

    first->close();
    // The place is free once the server has seen the first one go.
    Response again;
    for (int attempt = 0; attempt < 40; ++attempt) {
        auto fourth = connect();
        again = fourth->login(loginAs());
        if (again.errors.empty())
            break;
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_TRUE(again.errors.empty()) << describe(again);
}

TEST_F(ServerLimits, ConnectionsFarBeyondTheLimitAreClosedAtOnce)
{
    // Up to 32 connections beyond the limit wait for their login (to be
    // refused then); any more are closed as they arrive.
    std::vector<std::unique_ptr<TdsClient>> waiting;
    for (int i = 0; i < 2 + 32; ++i)
        waiting.push_back(connect());
    auto oneTooMany = connect();
    EXPECT_TRUE(oneTooMany->closedByServer(500ms));
    EXPECT_FALSE(waiting.back()->closedByServer(50ms));
}

TEST_F(ServerLimits, RefusedLoginsGiveTheirPlaceBackBeforeTheAnswer)
{
    auto holder = loggedIn();
    for (int i = 0; i < 20; ++i) {
        auto refused = connect();
        EXPECT_TRUE(refused->login(loginAs(kSaPassword, "nosuchdb")).hasError(4060));
        // The place is free the moment the refusal arrives.
        auto next = connect();
        const Response r = next->login(loginAs());
        ASSERT_TRUE(r.errors.empty()) << "round " << i << ": " << describe(r);
        next.reset();
        for (int wait = 0; wait < 100 && server_->openConnections() > 1; ++wait)
            std::this_thread::sleep_for(5ms);
    }
}

// ---- the throttle ----------------------------------------------------------------

struct ThrottleStep {
    int failure;                      // the n-th failure in a row
    std::chrono::milliseconds delay;  // how long its answer waits
};

TEST(LoginThrottleDelays, FreeFailuresThenDoublingUpToTheLimit)
{
    LoginThrottle throttle;   // 3 free, 500 ms doubling to 8 s
    const auto t0 = LoginThrottle::Clock::time_point{} + std::chrono::hours(1);
    const ThrottleStep steps[] = {{1, 0ms},    {2, 0ms},    {3, 0ms},    {4, 500ms},  {5, 1000ms},
                                  {6, 2000ms}, {7, 4000ms}, {8, 8000ms}, {9, 8000ms}, {10, 8000ms}};
    for (const auto& s : steps)
        EXPECT_EQ(throttle.recordFailure("10.0.0.1", t0 + std::chrono::seconds(s.failure)), s.delay)
            << "failure " << s.failure;
    EXPECT_EQ(throttle.recentFailures("10.0.0.1", t0 + 20s), 10);
}

TEST(LoginThrottleDelays, AddressesAreCountedApart)
{
    LoginThrottle throttle;
    const auto t0 = LoginThrottle::Clock::time_point{} + std::chrono::hours(1);
    for (int i = 0; i < 5; ++i)
        throttle.recordFailure("10.0.0.1", t0);
    EXPECT_EQ(throttle.recordFailure("10.0.0.2", t0), 0ms);
    EXPECT_EQ(throttle.recentFailures("10.0.0.2", t0), 1);
    EXPECT_EQ(throttle.recentFailures("10.0.0.3", t0), 0);
}

TEST(LoginThrottleDelays, OldFailuresAreForgotten)
{
    LoginThrottle::Policy policy;
    policy.freeFailures = 2;
    policy.firstDelay = 100ms;
    policy.maxDelay = 300ms;
    policy.window = 60s;
    LoginThrottle throttle(policy);
    const auto t0 = LoginThrottle::Clock::time_point{} + std::chrono::hours(1);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(throttle.recordFailure("a", t0 + std::chrono::seconds(i)), 0ms);
    EXPECT_EQ(throttle.recordFailure("a", t0 + 10s), 100ms);
    EXPECT_EQ(throttle.recordFailure("a", t0 + 11s), 200ms);
    EXPECT_EQ(throttle.recordFailure("a", t0 + 12s), 300ms);
    EXPECT_EQ(throttle.recordFailure("a", t0 + 13s), 300ms);
    // A minute after the first two, they no longer count.
    EXPECT_EQ(throttle.recentFailures("a", t0 + 62s), 4);
    // Long after all of them the address starts afresh.
    EXPECT_EQ(throttle.recordFailure("a", t0 + 200s), 0ms);
    EXPECT_EQ(throttle.recentFailures("a", t0 + 200s), 1);
}

class ServerThrottle : public ServerFixture {};

TEST_F(ServerThrottle, FourthWrongPasswordIsAnsweredLater)
{
    for (int attempt = 1; attempt <= 4; ++attempt) {
        auto client = connect();
        const auto start = std::chrono::steady_clock::now();
        const Response r = client->login(loginAs("wrong"));
        const auto took = since(start);
        EXPECT_TRUE(r.hasError(18456));
        if (attempt <= 3)
            EXPECT_LT(took, 400ms) << "attempt " << attempt;
        else
            EXPECT_GE(took, LoginThrottle::Policy{}.firstDelay) << "attempt " << attempt;
    }
    // The right password is never held back.
    auto client = connect();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(client->login(loginAs()).errors.empty());
    EXPECT_LT(since(start), 400ms);
}

// Delayed answers to failed logins neither hold a stopping server nor
// keep a thread once their client has gone.
TEST_F(ServerThrottle, DelayedFailuresEndWithTheClientOrTheServer)
{
    for (int attempt = 1; attempt <= 3; ++attempt)
        connect()->login(loginAs("wrong"));
    // Five more at once: delays of 0.5 to 8 seconds.
    const Bytes record = loginAs("wrong").build();
    auto sendLogin = [&](TdsClient& c) {
        c.prelogin();
        c.sendMessage(packet_type::Login7, record);
    };
    std::vector<std::unique_ptr<TdsClient>> leaving, waiting;
    for (int i = 0; i < 5; ++i)
        sendLogin(*leaving.emplace_back(connect()));
    std::this_thread::sleep_for(300ms);
    leaving.clear();
    for (int i = 0; i < 100 && server_->openConnections() > 0; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(server_->openConnections(), 0) << "threads of clients that left still wait";

    for (int i = 0; i < 3; ++i)
        sendLogin(*waiting.emplace_back(connect()));
    std::this_thread::sleep_for(300ms);
    const auto start = std::chrono::steady_clock::now();
    server_->stop();
    EXPECT_LT(since(start), 1500ms);
}

}  // namespace
