// SQL batches over a real socket: result sets and their DONE tokens, row
// counts with and without NOCOUNT, errors that end a statement but not the
// batch, PRINT, USE; and transactions: across batches with their
// descriptors, by transaction-manager requests, and rolled back when the
// client disconnects inside one.
#include "server_fixture.h"

#include <algorithm>
#include <thread>

using namespace tdstest;
using namespace vqtds;

namespace {

class ServerBatches : public ServerFixture {};

TEST_F(ServerBatches, SeveralResultSetsEachEndedByItsDone)
{
    auto client = loggedIn();
    const Response r = exec(*client, "SELECT 1 AS a; SELECT N'x' AS b, 2 AS c UNION ALL SELECT N'y', 3");
    ASSERT_EQ(r.resultSets.size(), 2u);
    EXPECT_EQ(r.resultSets[0].columns, std::vector<std::string>{"a"});
    EXPECT_EQ(r.resultSets[1].columns, (std::vector<std::string>{"b", "c"}));
    ASSERT_EQ(r.resultSets[1].rows.size(), 2u);
    EXPECT_EQ(r.resultSets[1].rows[1][0].text, "y");
    EXPECT_EQ(r.resultSets[1].rows[1][1].integer, 3);

    ASSERT_EQ(r.dones.size(), 2u);
    EXPECT_EQ(r.dones[0].status, done_status::More | done_status::Count);
    EXPECT_EQ(r.dones[0].count, 1u);
    EXPECT_EQ(r.dones[1].status, done_status::Count);
    EXPECT_EQ(r.dones[1].count, 2u);
    // Each DONE follows its own result set.
    EXPECT_EQ(r.tokens.front(), token::ColMetadata);
    EXPECT_EQ(r.tokens.back(), token::Done);
}

TEST_F(ServerBatches, RequestsSentAheadAreAnsweredInOrder)
{
    auto client = loggedIn();
    client->sendBatch("SELECT 1 AS first");
    client->sendBatch("SELECT 2 AS second");
    EXPECT_EQ(client->readResponse().scalar().integer, 1);
    EXPECT_EQ(client->readResponse().scalar().integer, 2);
}

TEST_F(ServerBatches, NullsComeBackAsNulls)
{
    auto client = loggedIn();
    const Response r = exec(*client, "SELECT CAST(NULL AS int) AS a, N'z' AS b, CAST(NULL AS nvarchar(5)) AS c");
    ASSERT_EQ(r.resultSets.size(), 1u);
    const auto& row = r.resultSets[0].rows.at(0);
    EXPECT_TRUE(row[0].isNull());
    EXPECT_EQ(row[1].text, "z");
    EXPECT_TRUE(row[2].isNull());
    EXPECT_NE(std::find(r.tokens.begin(), r.tokens.end(), token::NbcRow), r.tokens.end());
}

TEST_F(ServerBatches, LongTextAndMaxTypes)
{
    auto client = loggedIn();
    const Response r = exec(*client, "SELECT CAST('abc' AS text) AS t, CAST(N'xyz' AS ntext) AS n, CAST(0x0102 AS image) AS i, "
                                     "REPLICATE(CAST(N'a' AS nvarchar(max)), 10000) AS m, CAST(NULL AS ntext) AS z");
    ASSERT_EQ(r.resultSets.size(), 1u);
    const auto& rs = r.resultSets[0];
    EXPECT_EQ(rs.columns, (std::vector<std::string>{"t", "n", "i", "m", "z"}));
    const auto& row = rs.rows.at(0);
    EXPECT_EQ(row[0].text, "abc");
    EXPECT_EQ(row[1].text, "xyz");
    EXPECT_EQ(row[2].text, std::string("\x01\x02"));
    EXPECT_EQ(row[3].text, std::string(10000, 'a'));
    EXPECT_TRUE(rs.types[3].plp);
    EXPECT_TRUE(row[4].isNull());
}

TEST_F(ServerBatches, RowCountsAndNocount)
{
    auto client = loggedIn();
    exec(*client, "CREATE TABLE t (id int, name nvarchar(20))");
    const Response counted = exec(*client, "INSERT INTO t VALUES (1, N'a'), (2, N'b'), (3, N'c')");
    EXPECT_EQ(counted.finalDone().status, done_status::Count);
    EXPECT_EQ(counted.finalDone().count, 3u);

    const Response update = exec(*client, "UPDATE t SET name = N'z' WHERE id >= 2");
    EXPECT_EQ(update.finalDone().count, 2u);

    const Response quiet = exec(*client, "SET NOCOUNT ON; INSERT INTO t VALUES (4, N'd'); SELECT COUNT(*) FROM t");
    for (const auto& d : quiet.dones)
        EXPECT_EQ(d.status & done_status::Count, 0) << "NOCOUNT leaves the count bit off";
    EXPECT_EQ(quiet.scalar().integer, 4);
}

TEST_F(ServerBatches, ErrorEndsTheStatementButNotTheBatch)
{
    auto client = loggedIn();
    const Response r = client->batch("SELECT 1 AS a\nSELECT 1 / 0 AS never\nSELECT 2 AS b");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].number, 8134);
    EXPECT_EQ(r.errors[0].text, "Divide by zero error encountered.");
    EXPECT_EQ(r.errors[0].severity, 16);
    EXPECT_EQ(r.errors[0].state, 1);
    EXPECT_EQ(r.errors[0].line, 2);
    ASSERT_EQ(r.resultSets.size(), 2u) << "the failed SELECT sends no rows";
    EXPECT_EQ(r.scalar(1).integer, 2);
    ASSERT_EQ(r.dones.size(), 3u);
    EXPECT_NE(r.dones[1].status & done_status::Error, 0);
    EXPECT_NE(r.dones[1].status & done_status::More, 0);
    EXPECT_EQ(r.finalDone().status & done_status::More, 0);
}

TEST_F(ServerBatches, EngineErrorsCarryNumberAndLineButNoInternalText)
{
    auto client = loggedIn();
    const Response r = client->batch("SELECT 1\nSELECT * FROM no_such_table\n");
    ASSERT_FALSE(r.errors.empty());
    EXPECT_EQ(r.errors[0].number, 208);
    EXPECT_EQ(r.errors[0].line, 2);
    EXPECT_NE(r.errors[0].text.find("no_such_table"), std::string::npos);
    const Response syntax = client->batch("SELEC 1 FROM");
    ASSERT_FALSE(syntax.errors.empty());
    for (const auto& e : syntax.errors) {
        EXPECT_EQ(e.text.find("sqlite"), std::string::npos) << e.text;
        EXPECT_EQ(e.text.find("SQLITE"), std::string::npos) << e.text;
    }
    // The connection goes on.
    EXPECT_EQ(exec(*client, "SELECT 5").scalar().integer, 5);
}

TEST_F(ServerBatches, BulkLoadIsRefusedAndTheConnectionGoesOn)
{
    auto client = loggedIn();
    client->sendMessage(packet_type::BulkLoad, Bytes(16, 0));
    const Response r = client->readResponse();
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_NE(r.finalDone().status & done_status::Error, 0);
    EXPECT_EQ(exec(*client, "SELECT 6").scalar().integer, 6);
}

TEST_F(ServerBatches, PrintComesAsInfo)
{
    auto client = loggedIn();
    const Response r = exec(*client, "PRINT 'hello there'");
    ASSERT_EQ(r.infos.size(), 1u);
    EXPECT_EQ(r.infos[0].text, "hello there");
    EXPECT_EQ(r.infos[0].severity, 0);
    EXPECT_EQ(r.infos[0].number, 0);
}

TEST_F(ServerBatches, UseAnnouncesTheDatabase)
{
    auto client = loggedIn();
    exec(*client, "CREATE DATABASE ledger");
    const Response r = exec(*client, "USE ledger");
    const auto* e = r.env(env_change::Database);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->newText(), "ledger");
    EXPECT_EQ(e->oldText(), "master");
    EXPECT_EQ(r.envChanges.size(), 1u) << "announced once";
    ASSERT_FALSE(r.infos.empty());
    EXPECT_EQ(r.infos[0].number, 5701);
    EXPECT_EQ(exec(*client, "SELECT DB_NAME()").scalar().text, "ledger");
    const Response back = exec(*client, "USE master");
    ASSERT_NE(back.env(env_change::Database), nullptr);
    EXPECT_EQ(back.env(env_change::Database)->oldText(), "ledger");
}

TEST_F(ServerBatches, ResetConnectionRestoresTheLoginState)
{
    auto client = loggedIn();
    exec(*client, "CREATE DATABASE other");
    exec(*client, "USE other; CREATE TABLE t (id int); SET NOCOUNT ON; BEGIN TRAN; INSERT INTO t VALUES (1)");
    exec(*client, "CREATE TABLE #work (id int); DECLARE pending CURSOR GLOBAL FOR SELECT 1");
    client->resetConnectionOnNextRequest();
    const Response r = exec(*client, "SELECT @@TRANCOUNT AS n, DB_NAME() AS d");
    EXPECT_NE(r.env(env_change::ResetConnectionAck), nullptr);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows[0][0].integer, 0);
    EXPECT_EQ(r.resultSets[0].rows[0][1].text, "master");
    EXPECT_NE(r.finalDone().status & done_status::Count, 0) << "NOCOUNT is off again";
    EXPECT_EQ(exec(*client, "SELECT COUNT(*) FROM other.dbo.t").scalar().integer, 0);
    // The next user of the pooled connection may make the same #table and cursor.
    const Response again = client->batch("CREATE TABLE #work (id int); DECLARE pending CURSOR GLOBAL FOR SELECT 1");
    EXPECT_TRUE(again.errors.empty()) << again.errors.front().text;
}

TEST_F(ServerBatches, ClientsWorkSideBySide)
{
    exec(*loggedIn(), "CREATE TABLE t (client int, n int)");
    constexpr int kClients = 4, kBatches = 10;
    std::vector<std::thread> threads;
    std::vector<int> failures(kClients, 0);
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            TdsClient client(server_->port());
            if (!client.login(loginAs()).errors.empty()) {
                failures[static_cast<std::size_t>(c)] = -1;
                return;
            }
            for (int b = 0; b < kBatches; ++b) {
                const Response r = client.batch("INSERT INTO t VALUES (" + std::to_string(c) + ", " + std::to_string(b) +
                                                "); SELECT COUNT(*) FROM t WHERE client = " + std::to_string(c));
                if (!r.errors.empty() || r.resultSets.empty() || r.scalar().integer != b + 1)
                    ++failures[static_cast<std::size_t>(c)];
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures, std::vector<int>(kClients, 0));
    EXPECT_EQ(exec(*loggedIn(), "SELECT COUNT(*) FROM t").scalar().integer, kClients * kBatches);
}

// ---- transactions --------------------------------------------------------------

TEST_F(ServerBatches, RaiserrorMessagesAndErrorsKeepTheirNumberAndSeverity)
{
    auto client = loggedIn();
    const Response r = client->batch("RAISERROR('note %d', 10, 3, 7); RAISERROR('bad', 16, 2)");
    ASSERT_EQ(r.infos.size(), 1u);
    EXPECT_EQ(r.infos[0].number, 50000);
    EXPECT_EQ(r.infos[0].severity, 10);
    EXPECT_EQ(r.infos[0].state, 3);
    EXPECT_EQ(r.infos[0].text, "note 7");
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].number, 50000);
    EXPECT_EQ(r.errors[0].severity, 16);
    EXPECT_EQ(r.errors[0].state, 2);
}

class ServerTransactions : public ServerFixture {};

TEST_F(ServerTransactions, BeginInOneBatchRollbackInTheNext)
{
    auto client = loggedIn();
    exec(*client, "CREATE TABLE t (id int)");
    const Response begin = exec(*client, "BEGIN TRAN; INSERT INTO t VALUES (1)");
    const auto* b = begin.env(env_change::BeginTransaction);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->newValue.size(), 8u);
    EXPECT_NE(client->transactionDescriptor(), 0u);

    // The next batch carries the descriptor and sees the transaction.
    EXPECT_EQ(exec(*client, "SELECT @@TRANCOUNT").scalar().integer, 1);
    const Response rollback = exec(*client, "ROLLBACK");
    ASSERT_EQ(rollback.envChanges.size(), 1u);
    EXPECT_EQ(rollback.envChanges[0].oldValue, b->newValue) << "the end names the transaction begun";
    EXPECT_EQ(client->transactionDescriptor(), 0u);
    EXPECT_EQ(exec(*client, "SELECT COUNT(*) FROM t").scalar().integer, 0);

    exec(*client, "BEGIN TRAN; INSERT INTO t VALUES (2); COMMIT");
    EXPECT_EQ(exec(*client, "SELECT COUNT(*) FROM t").scalar().integer, 1);
}

// A transaction's end is announced as what it was: a ROLLBACK statement
// that succeeds, or a failed COMMIT's rollback under XACT_ABORT, is no commit.
TEST_F(ServerTransactions, RollbackStatementIsAnnouncedAsRollback)
{
    auto client = loggedIn();
    exec(*client, "BEGIN TRAN");
    const Response rollback = exec(*client, "ROLLBACK");
    EXPECT_NE(rollback.env(env_change::RollbackTransaction), nullptr);
    EXPECT_EQ(rollback.env(env_change::CommitTransaction), nullptr);

    exec(*client, "CREATE TABLE k (id int PRIMARY KEY)");
    exec(*client, "BEGIN TRAN; INSERT INTO k VALUES (1)");
    const Response committed = client->batch("INSERT INTO k VALUES (1); COMMIT");   // 2627, then a commit
    EXPECT_TRUE(committed.hasError(2627));
    EXPECT_NE(committed.env(env_change::CommitTransaction), nullptr);

    exec(*client, "SET XACT_ABORT ON; BEGIN TRAN; INSERT INTO k VALUES (2)");
    const Response aborted = client->batch("INSERT INTO k VALUES (2)");
    EXPECT_NE(aborted.env(env_change::RollbackTransaction), nullptr);
}

TEST_F(ServerTransactions, EachNewTransactionGetsANewDescriptor)
{
    auto client = loggedIn();
    exec(*client, "BEGIN TRAN");
    const std::uint64_t first = client->transactionDescriptor();
    const Response commit = exec(*client, "COMMIT");
    ASSERT_NE(commit.env(env_change::CommitTransaction), nullptr);
    exec(*client, "BEGIN TRAN");
    EXPECT_NE(client->transactionDescriptor(), first);
    exec(*client, "ROLLBACK");
}

struct TmCase {
    const char* name;
    std::uint16_t end;   // commit or rollback
    std::uint8_t envType;
    std::int64_t rowsAfter;
};

class TransactionManagerRequests : public ServerFixture, public ::testing::WithParamInterface<TmCase> {};

TEST_P(TransactionManagerRequests, BeginAndEndWithTheirEnvChanges)
{
    const TmCase& c = GetParam();
    auto client = loggedIn();
    exec(*client, "CREATE TABLE t (id int)");
    const Response begin = client->transactionRequest(tm_request::BeginXact);
    ASSERT_TRUE(begin.errors.empty()) << describe(begin);
    const auto* b = begin.env(env_change::BeginTransaction);
    ASSERT_NE(b, nullptr);
    exec(*client, "INSERT INTO t VALUES (1)");
    const Response end = client->transactionRequest(c.end);
    ASSERT_TRUE(end.errors.empty()) << describe(end);
    const auto* e = end.env(c.envType);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->oldValue, b->newValue);
    EXPECT_EQ(client->transactionDescriptor(), 0u);
    EXPECT_EQ(exec(*client, "SELECT COUNT(*) FROM t").scalar().integer, c.rowsAfter);
}

INSTANTIATE_TEST_SUITE_P(Cases, TransactionManagerRequests,
                         ::testing::Values(TmCase{"Commit", tm_request::CommitXact, env_change::CommitTransaction, 1},
                                           TmCase{"Rollback", tm_request::RollbackXact, env_change::RollbackTransaction, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerTransactions, CommitThatBeginsTheNextTransaction)
{
    auto client = loggedIn();
    client->transactionRequest(tm_request::BeginXact);
    const Response r = client->transactionRequest(tm_request::CommitXact, {}, true);
    ASSERT_TRUE(r.errors.empty()) << describe(r);
    ASSERT_NE(r.env(env_change::CommitTransaction), nullptr);
    ASSERT_NE(r.env(env_change::BeginTransaction), nullptr);
    EXPECT_EQ(exec(*client, "SELECT @@TRANCOUNT").scalar().integer, 1);
    client->transactionRequest(tm_request::RollbackXact);
}

TEST_F(ServerTransactions, CommitWithoutTransactionIsAnError)
{
    auto client = loggedIn();
    const Response r = client->transactionRequest(tm_request::CommitXact);
    EXPECT_FALSE(r.errors.empty());
    EXPECT_NE(r.finalDone().status & done_status::Error, 0);
    EXPECT_EQ(exec(*client, "SELECT 1").scalar().integer, 1);
}

TEST_F(ServerTransactions, SaveRequestAndRollbackToTheSavepoint)
{
    auto client = loggedIn();
    exec(*client, "CREATE TABLE t (id int)");
    client->transactionRequest(tm_request::BeginXact);
    exec(*client, "INSERT INTO t VALUES (1)");
    const Response save = client->transactionRequest(tm_request::SaveXact, "before_two");
    ASSERT_TRUE(save.errors.empty()) << describe(save);
    exec(*client, "INSERT INTO t VALUES (2)");
    const Response back = client->transactionRequest(tm_request::RollbackXact, "before_two");
    ASSERT_TRUE(back.errors.empty()) << describe(back);
    EXPECT_EQ(back.env(env_change::RollbackTransaction), nullptr);   // the transaction goes on
    EXPECT_EQ(exec(*client, "SELECT @@TRANCOUNT").scalar().integer, 1);
    EXPECT_EQ(exec(*client, "SELECT COUNT(*) FROM t").scalar().integer, 1);
    const Response unknown = client->transactionRequest(tm_request::RollbackXact, "nowhere");
    ASSERT_EQ(unknown.errors.size(), 1u);
    EXPECT_EQ(unknown.errors[0].number, 6401);
    client->transactionRequest(tm_request::CommitXact);
    EXPECT_EQ(exec(*client, "SELECT COUNT(*) FROM t").scalar().integer, 1);
    // Outside a transaction a savepoint is refused.
    const Response outside = client->transactionRequest(tm_request::SaveXact, "s");
    ASSERT_EQ(outside.errors.size(), 1u);
    EXPECT_EQ(outside.errors[0].number, 628);
}

TEST_F(ServerTransactions, DisconnectInsideATransactionRollsItBack)
{
    auto writer = loggedIn();
    exec(*writer, "CREATE TABLE t (id int)");
    exec(*writer, "BEGIN TRAN; INSERT INTO t VALUES (1), (2)");
    writer->close();

    auto reader = loggedIn();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(exec(*reader, "SELECT COUNT(*) FROM t").scalar().integer, 0);
    // Not blocked by the departed writer's locks.
    exec(*reader, "INSERT INTO t VALUES (3)");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_EQ(exec(*reader, "SELECT COUNT(*) FROM t").scalar().integer, 1);
}

}  // namespace
