// Interrupting work over a real socket: a client's attention signal
// cancelling a long batch or call (and acknowledged when nothing runs),
// and the server stopping while a client is inside a transaction or
// running a long batch: stop returns promptly and the transaction is
// rolled back in the instance.
#include "server_fixture.h"

#include "rpc.h"

#include <thread>

using namespace tdstest;
using namespace vqtds;

namespace {

// Runs for well over ten seconds uncancelled (some 0.6 microseconds a
// turn), so an interruption that does not work shows as a time beyond
// kPrompt; it still ends by itself rather than hang the tests.
constexpr const char* kLongBatch = "DECLARE @i int = 0; WHILE @i < 30000000 SET @i = @i + 1; SELECT @i AS i";
constexpr auto kPrompt = 3s;

std::chrono::milliseconds since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

class ServerAttention : public ServerFixture {
protected:
    // Sends the attention signal once the request has run for `after`,
    // reads up to its acknowledgement, and checks that it came promptly.
    static Response cancelAfter(TdsClient& client, std::chrono::milliseconds after = 200ms)
    {
        std::this_thread::sleep_for(after);
        const auto start = std::chrono::steady_clock::now();
        client.attention();
        Response r = client.readUntilAttentionAck();
        EXPECT_LT(since(start), kPrompt);
        EXPECT_NE(r.finalDone().status & done_status::Attention, 0);
        return r;
    }
};

TEST_F(ServerAttention, CancelsALongBatchAndTheConnectionGoesOn)
{
    auto client = loggedIn();
    client->sendBatch(kLongBatch);
    const Response r = cancelAfter(*client);
    EXPECT_TRUE(r.resultSets.empty()) << "the batch did not run to its end";
    EXPECT_EQ(exec(*client, "SELECT 11").scalar().integer, 11);
}

TEST_F(ServerAttention, CancelsALongProcedureCall)
{
    auto client = loggedIn();
    Call call{"", proc_id::ExecuteSql, {nvarcharParam("", kLongBatch)}};
    client->sendMessage(packet_type::Rpc, client->rpcPayload({call}));
    cancelAfter(*client);
    EXPECT_EQ(exec(*client, "SELECT 12").scalar().integer, 12);
}

TEST_F(ServerAttention, EndsAWaitforDelayAtOnce)
{
    auto client = loggedIn();
    client->sendBatch("WAITFOR DELAY '00:00:30'; SELECT 1");
    const Response r = cancelAfter(*client);
    EXPECT_TRUE(r.resultSets.empty());
    EXPECT_EQ(exec(*client, "SELECT 13").scalar().integer, 13);
}

TEST_F(ServerAttention, EndsAWaitForAnotherClientsLock)
{
    auto holder = loggedIn();
    exec(*holder, "CREATE TABLE t (id int)");
    exec(*holder, "BEGIN TRAN; INSERT INTO t VALUES (1)");
    auto waiter = loggedIn();
    waiter->sendBatch("INSERT INTO t VALUES (2)");
    cancelAfter(*waiter, 300ms);
    exec(*holder, "COMMIT");
    EXPECT_EQ(exec(*waiter, "SELECT COUNT(*) FROM t").scalar().integer, 1);
}

TEST_F(ServerAttention, AttentionWhileIdleIsAcknowledged)
{
    auto client = loggedIn();
    client->attention();
    const Response r = client->readUntilAttentionAck(3s);
    ASSERT_EQ(r.dones.size(), 1u);
    EXPECT_EQ(r.dones[0].status, done_status::Attention);
    EXPECT_EQ(exec(*client, "SELECT 13").scalar().integer, 13);
}

TEST_F(ServerAttention, CancelledTransactionCanStillBeRolledBack)
{
    auto client = loggedIn();
    exec(*client, "CREATE TABLE t (id int)");
    client->sendBatch(std::string("BEGIN TRAN; INSERT INTO t VALUES (1); ") + kLongBatch);
    cancelAfter(*client);
    client->batch("IF @@TRANCOUNT > 0 ROLLBACK");
    EXPECT_EQ(exec(*client, "SELECT COUNT(*) FROM t").scalar().integer, 0);
}

TEST_F(ServerAttention, ClientLeavingStopsItsBatch)
{
    auto client = loggedIn();
    client->sendBatch(kLongBatch);
    std::this_thread::sleep_for(200ms);
    const auto start = std::chrono::steady_clock::now();
    client->close();
    while (server_->openConnections() > 0 && since(start) < kPrompt)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server_->openConnections(), 0);
    EXPECT_LT(since(start), kPrompt);
}

// ---- the server stopping -------------------------------------------------------

class ServerStop : public ServerFixture {
protected:
    std::int64_t rowsInInstance(const std::string& table)
    {
        auto engine = openEngine();
        const vqsql::BatchResult r = engine->run("SELECT COUNT(*) FROM " + table);
        if (!r.ok() || r.resultSets.empty() || r.resultSets[0].rows.empty())
            return -1;
        return r.resultSets[0].rows[0][0].toInt64();
    }
};

TEST_F(ServerStop, RollsBackTheTransactionOfAnIdleClient)
{
    auto client = loggedIn();
    exec(*client, "CREATE TABLE t (id int); INSERT INTO t VALUES (1)");
    exec(*client, "BEGIN TRAN; INSERT INTO t VALUES (2), (3)");
    const auto start = std::chrono::steady_clock::now();
    server_->stop();
    EXPECT_LT(since(start), kPrompt);
    EXPECT_TRUE(client->closedByServer(2s));
    EXPECT_EQ(rowsInInstance("t"), 1);
}

TEST_F(ServerStop, InterruptsALongBatchAndRollsItsTransactionBack)
{
    auto client = loggedIn();
    exec(*client, "CREATE TABLE t (id int)");
    client->sendBatch(std::string("BEGIN TRAN; INSERT INTO t VALUES (1); ") + kLongBatch);
    std::this_thread::sleep_for(200ms);
    const auto start = std::chrono::steady_clock::now();
    server_->stop();
    EXPECT_LT(since(start), kPrompt);
    EXPECT_EQ(rowsInInstance("t"), 0);
}

TEST_F(ServerStop, NoNewConnectionsAfterwards)
{
    const unsigned short port = server_->port();
    server_->stop();
    EXPECT_THROW(TdsClient{port}, std::runtime_error);
}

}  // namespace

// Malformed bytes that arrive while a statement runs are read by the
// engine's cancel check, inside the statement: they end that connection
// (its statement stopped) and nothing else.
TEST_F(ServerAttention, MalformedBytesDuringAStatementEndOnlyThatConnection)
{
    auto bystander = loggedIn();
    auto client = loggedIn();
    client->sendBatch(kLongBatch);
    std::this_thread::sleep_for(200ms);
    const auto start = std::chrono::steady_clock::now();
    const vqtds::Bytes garbage = {0x77, 0x01, 0x00, 0x05, 0x00, 0x00, 0x01, 0x00};   // unknown type, length 5 < header
    client->sendRaw(garbage);
    EXPECT_TRUE(client->closedByServer(kPrompt));
    EXPECT_LT(since(start), kPrompt);
    EXPECT_EQ(exec(*bystander, "SELECT 5").scalar().integer, 5);
}
