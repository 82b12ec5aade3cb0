// Sessions on many threads at once, as the network server runs them: one
// connection per thread, all on one instance and one database, doing mixed
// reads and writes. Every change a thread was told succeeded must be kept,
// and the only errors allowed are the lock errors SQL Server itself gives
// under contention (1222 lock time-out, 1205 deadlock victim).
#include "conformance_fixture.h"

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

namespace vqsql::conformance {
namespace {

constexpr int kThreads = 8;
constexpr int kIterations = 25;

// What one thread did, to be checked against the database afterwards.
struct ThreadLog {
    int inserted = 0;          // rows of Shared it inserted (Owner = thread)
    int bumped = 0;            // updates of its row in Counter that were committed
    long long valueSum = 0;    // sum of Val over its rows of Shared
    int lockErrors = 0;        // 1222 / 1205 met
    std::vector<std::string> unexpected;   // errors SQL Server would not give
};

bool isLockError(const SqlError& e) { return e.number == 1222 || e.number == 1205; }

// True when the batch succeeded; lock errors return false, any other
// error is logged as unexpected.
bool succeeded(const BatchResult& r, ThreadLog& log, const std::string& what)
{
    for (const SqlError& e : r.errors) {
        if (isLockError(e))
            ++log.lockErrors;
        else
            log.unexpected.push_back(what + ": " + e.format());
    }
    return r.ok();
}

void worker(const ConnectionParams& params, int id, ThreadLog& log)
{
    Connection c;
    try {
        c.open(params);
    } catch (const SqlException& e) {
        log.unexpected.push_back("open: " + std::string(e.what()));
        return;
    }
    const std::string owner = std::to_string(id);
    const std::string privateTable = "Private" + owner;
    for (int i = 0; i < kIterations; ++i) {
        const std::string key = std::to_string(id * 100000 + i);
        // An insert with its own literals, then an update of it.
        if (succeeded(c.run("insert into Shared (Id, Owner, Val, Note) values (" + key + ", " + owner + ", " +
                            std::to_string(i) + ", 'it''s row " + key + "')"),
                      log, "insert")) {
            ++log.inserted;
            log.valueSum += i;
            if (succeeded(c.run("update Shared set Val = Val + 1 where Id = " + key), log, "update"))
                log.valueSum += 1;
        }
        // Its own rows, as it knows them.
        BatchResult count = c.run("select count(*), sum(Val) from Shared where Owner = " + owner);
        if (succeeded(count, log, "select") && !count.resultSets.empty()) {
            const auto& row = count.resultSets.front().rows.at(0);
            if (row[0].toString() != std::to_string(log.inserted) ||
                (log.inserted > 0 && row[1].toString() != std::to_string(log.valueSum)))
                log.unexpected.push_back("select: " + row[0].toString() + " rows, sum " + row[1].toString() +
                                         " after " + std::to_string(log.inserted) + " inserts, sum " +
                                         std::to_string(log.valueSum));
        }
        // A transaction that reads before it writes.
        bool ok = succeeded(c.run("begin transaction"), log, "begin");
        ok = ok && succeeded(c.run("select N from Counter where Id = " + owner), log, "read in transaction");
        ok = ok && succeeded(c.run("update Counter set N = N + 1 where Id = " + owner), log, "update in transaction");
        ok = ok && succeeded(c.run("commit transaction"), log, "commit");
        if (ok)
            ++log.bumped;
        else
            c.run("if @@trancount > 0 rollback transaction");
        // A table of its own, made, used and dropped.
        if (i % 5 == 0 && succeeded(c.run("create table " + privateTable + " (x int, y varchar(10))"), log, "create")) {
            succeeded(c.run("insert into " + privateTable + " values (" + key + ", 'x')"), log, "insert private");
            succeeded(c.run("drop table " + privateTable), log, "drop");
        }
    }
}

class Threads : public EngineFixture {};

// A transaction that read what another connection then changed cannot
// write any more: it is the deadlock victim (1205), rolled back whole, and
// the connection goes on outside any transaction.
TEST_F(Threads, WriterAfterAConflictingCommitIsTheDeadlockVictim)
{
    exec("create table Conflict (Id int primary key, N int)");
    exec("insert into Conflict values (1, 0) insert into Conflict values (2, 0)");
    auto other = connect();
    exec("begin transaction");
    exec("insert into Conflict values (3, 0)");
    exec("commit transaction");
    exec("begin transaction");
    EXPECT_EQ(text("select N from Conflict where Id = 1"), "0");
    ASSERT_TRUE(other->run("update Conflict set N = 5 where Id = 2").ok());
    BatchResult r = run("update Conflict set N = 1 where Id = 1");
    RecordProperty("deadlockVictim", r.ok() ? 0 : 1);
    if (r.ok()) {
        exec("commit transaction");   // the engine got the write through
    } else {
        ASSERT_EQ(r.errors.front().number, 1205) << describeErrors(r);
        EXPECT_EQ(r.errors.front().severity, 13);
        EXPECT_EQ(text("select @@trancount"), "0");
        EXPECT_EQ(run("commit transaction").errors.at(0).number, 3902);
    }
    EXPECT_EQ(column("select N from Conflict order by Id"),
              (std::vector<std::string>{r.ok() ? "1" : "0", "5", "0"}));
}

TEST_F(Threads, SessionsOnManyThreadsKeepEveryChange)
{
    exec("create database ThreadsDb");
    auto setup = connect(kSaPassword, "ThreadsDb");
    ASSERT_TRUE(setup->run("create table Shared (Id int primary key, Owner int not null, Val int, Note varchar(40))")
                    .ok());
    ASSERT_TRUE(setup->run("create table Counter (Id int primary key, N int not null)").ok());
    for (int t = 0; t < kThreads; ++t)
        ASSERT_TRUE(setup->run("insert into Counter values (" + std::to_string(t) + ", 0)").ok());

    std::vector<ThreadLog> logs(kThreads);
    std::vector<std::thread> threads;
    const ConnectionParams p = params(kSaPassword, "ThreadsDb");
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(worker, p, t, std::ref(logs[t]));
    for (auto& thread : threads)
        thread.join();

    int totalInserted = 0;
    int lockErrors = 0;
    for (int t = 0; t < kThreads; ++t) {
        const ThreadLog& log = logs[t];
        lockErrors += log.lockErrors;
        for (const std::string& e : log.unexpected)
            ADD_FAILURE() << "thread " << t << ": " << e;
        totalInserted += log.inserted;
        const std::string owner = std::to_string(t);
        BatchResult r = setup->run("select count(*), isnull(sum(Val), 0) from Shared where Owner = " + owner +
                                   " select N from Counter where Id = " + owner);
        ASSERT_TRUE(r.ok()) << describeErrors(r);
        ASSERT_EQ(r.resultSets.size(), 2u);
        EXPECT_EQ(r.resultSets[0].rows.at(0)[0].toString(), std::to_string(log.inserted)) << "thread " << t;
        EXPECT_EQ(r.resultSets[0].rows.at(0)[1].toString(), std::to_string(log.valueSum)) << "thread " << t;
        EXPECT_EQ(r.resultSets[1].rows.at(0)[0].toString(), std::to_string(log.bumped)) << "thread " << t;
    }
    RecordProperty("lockErrors", lockErrors);
    // Most of the work got through: lock errors are the exception.
    EXPECT_GT(totalInserted, kThreads * kIterations / 2);
    EXPECT_EQ(setup->run("select * from sysobjects where name like 'Private%'").resultSets.at(0).rows.size(), 0u);
}

// Statements of one shape on many sessions at once: each session's cache
// by shape is its own, and each thread reads back exactly its literals.
TEST_F(Threads, SameShapesOnManyThreadsKeepTheirOwnLiterals)
{
    exec("create database ThreadsDb");
    auto setup = connect(kSaPassword, "ThreadsDb");
    ASSERT_TRUE(setup->run("create table Items (Id int primary key, Name nvarchar(40), Price money)").ok());
    std::vector<std::vector<std::string>> problems(kThreads);
    std::vector<std::thread> threads;
    const ConnectionParams p = params(kSaPassword, "ThreadsDb");
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Connection c;
            c.open(p);
            for (int i = 0; i < kIterations; ++i) {
                const std::string id = std::to_string(t * 1000 + i);
                const std::string name = "N'项目 " + id + "'";
                BatchResult r = c.run("insert into Items values (" + id + ", " + name + ", " + id + ".25) "
                                      "select Name, Price from Items where Id = " + id);
                if (!r.ok()) {
                    for (const SqlError& e : r.errors)
                        if (!isLockError(e))
                            problems[t].push_back(e.format());
                    continue;
                }
                const auto& row = r.resultSets.at(0).rows.at(0);
                if (row[0].toString() != "项目 " + id || row[1].toString() != id + ".25")
                    problems[t].push_back("read back " + row[0].toString() + " / " + row[1].toString());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        for (const std::string& problem : problems[t])
            ADD_FAILURE() << "thread " << t << ": " << problem;
}

}  // namespace
}  // namespace vqsql::conformance
