// Index use: an index made with Transact-SQL CREATE INDEX must serve the
// statements the engine translates, which only holds while the translation
// leaves the indexed column bare and compares it under the column's own
// collation (vq_ci for texts) and affinity. Each test watches the SQLite
// statements a connection runs: a trace hook, installed on every SQLite
// connection opened while a test runs, records each statement's text, its
// query plan and how many virtual-machine steps it took.
#include "conformance_fixture.h"

#include <sqlite3.h>

#include <cstring>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using Strings = std::vector<std::string>;

struct TracedStatement {
    std::string sql;
    std::string plan;   // EXPLAIN QUERY PLAN details, one per line
    int vmSteps = 0;
};

std::vector<TracedStatement>* g_traced = nullptr;
bool g_inTrace = false;

int onStatementEnd(unsigned type, void*, void* p, void*)
{
    if (type != SQLITE_TRACE_PROFILE || !g_traced || g_inTrace)
        return 0;
    auto* stmt = static_cast<sqlite3_stmt*>(p);
    const char* sql = sqlite3_sql(stmt);
    if (!sql)
        return 0;
    TracedStatement t;
    t.sql = sql;
    // Per-run count: the engine keeps prepared statements and runs them again.
    t.vmSteps = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_VM_STEP, 1);
    g_inTrace = true;
    sqlite3_stmt* explain = nullptr;
    if (sqlite3_prepare_v2(sqlite3_db_handle(stmt), ("EXPLAIN QUERY PLAN " + t.sql).c_str(), -1, &explain,
                           nullptr) == SQLITE_OK) {
        while (sqlite3_step(explain) == SQLITE_ROW)
            t.plan += std::string(reinterpret_cast<const char*>(sqlite3_column_text(explain, 3))) + "\n";
    }
    sqlite3_finalize(explain);
    g_inTrace = false;
    g_traced->push_back(std::move(t));
    return 0;
}

int installTrace(sqlite3* db, const char**, const sqlite3_api_routines*)
{
    sqlite3_trace_v2(db, SQLITE_TRACE_PROFILE, onStatementEnd, nullptr);
    return SQLITE_OK;
}

using AutoExtension = void (*)();

// The login log as the installed catalogue defines it, with the user types
// it is declared with, filled with `rows` closed rows and two open ones.
// The rows come from one INSERT ... SELECT over a cross join of digits.
void createClientLog(Connection& db, int thousands)
{
    auto exec = [&](const std::string& sql) {
        BatchResult r = db.run(sql);
        ASSERT_TRUE(r.ok()) << sql << "\n" << describeErrors(r);
    };
    exec("exec sp_addtype T_KEYID, 'int', 'NOT NULL' exec sp_addtype T_VA64, 'varchar(64)', 'NULL' "
         "exec sp_addtype T_VA255, 'varchar(255)', 'NULL' exec sp_addtype T_VA32, 'varchar(32)', 'NULL' "
         "exec sp_addtype T_INTEGER, 'int', 'NULL' exec sp_addtype T_BYTE, 'tinyint', 'NULL' "
         "exec sp_addtype T_DATETIME, 'datetime', 'NULL'");
    exec("create table T_ClientLog (KeyID T_KEYID not null, MashineIP T_VA64 null, MashineName T_VA255 null, "
         "ConnectPort T_INTEGER null, DBName T_VA32 null, AccName T_VA255 null, LoginUser T_VA64 null, "
         "LoginTime T_DATETIME null, LogoutTime T_DATETIME null, Closed T_BYTE not null, "
         "constraint PK_T_CLIENTLOG primary key clustered (KeyID))");
    exec("create table Digits (n int not null)");
    for (int i = 0; i < 10; ++i)
        exec("insert into Digits values (" + std::to_string(i) + ")");
    exec("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
         "LoginTime, LogoutTime, Closed) "
         "select a.n*100 + b.n*10 + c.n + 1000*k.n + 1, '10.0.' + cast(b.n as varchar(4)) + '.' + cast(c.n as "
         "varchar(4)), 'PC', 40000 + a.n, '001', 'name', 'user', '2024-01-01', '2024-01-02', "
         "case when c.n = 0 then 2 else 1 end "
         "from Digits a, Digits b, Digits c, Digits k where k.n < " + std::to_string(thousands));
    exec("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
         "LoginTime, Closed) values (100001, 'Host-A', 'A', 50001, '001', 'name', 'user', '2024-02-01', 0)");
    exec("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
         "LoginTime, Closed) values (100002, 'host-b', 'B', 50002, '001', 'name', 'user', '2024-02-01', 0)");
}

class IndexUse : public EngineFixture {
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_EQ(sqlite3_auto_extension(reinterpret_cast<AutoExtension>(installTrace)), SQLITE_OK);
        exec("create database LogDb");
        traced_db_ = connect(kSaPassword, "LogDb");
    }

    void TearDown() override
    {
        g_traced = nullptr;
        traced_db_.reset();
        sqlite3_cancel_auto_extension(reinterpret_cast<AutoExtension>(installTrace));
        EngineFixture::TearDown();
    }

    // Runs a batch on the traced connection; returns the statements on
    // T_ClientLog it ran (the engine's own catalogue reads left out).
    std::vector<TracedStatement> trace(const std::string& batch, BatchResult* result = nullptr)
    {
        std::vector<TracedStatement> all;
        g_traced = &all;
        BatchResult r = traced_db_->run(batch);
        g_traced = nullptr;
        EXPECT_TRUE(r.ok()) << batch << "\n" << describeErrors(r);
        if (result)
            *result = std::move(r);
        std::vector<TracedStatement> onLog;
        for (TracedStatement& t : all)
            if (t.sql.find("\"T_ClientLog\"") != std::string::npos)
                onLog.push_back(std::move(t));
        return onLog;
    }

    // The batch's statements on the log each seek an index rather than read
    // the table or an index from end to end, and stay within `maxSteps`.
    void expectSeeks(const std::string& batch, int maxSteps, BatchResult* result = nullptr)
    {
        SCOPED_TRACE(batch);
        std::vector<TracedStatement> statements = trace(batch, result);
        ASSERT_FALSE(statements.empty());
        for (const TracedStatement& t : statements) {
            if (t.plan.empty())
                continue;   // INSERT ... VALUES reads no table
            SCOPED_TRACE(t.sql + "\n" + t.plan);
            EXPECT_NE(t.plan.find("SEARCH"), std::string::npos);
            EXPECT_EQ(t.plan.find("SCAN s"), std::string::npos);
            EXPECT_LE(t.vmSteps, maxSteps);
        }
    }

    std::unique_ptr<Connection> traced_db_;
};

// The statements the connection service runs on the login log, exactly.
const char* const kOpenClients = "select distinct MashineIP from T_ClientLog where Closed=0";
const char* const kLoginRow =
    " declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert into "
    "T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName,AccName, LoginUser, LoginTime, Closed) "
    "values( @MaxID,'127.0.0.1','host',50000,'001','name','user', GetDate(), 0) ";
const char* const kCloseOne = " update T_ClientLog set LogoutTime=GetDate(), Closed=1  where "
                              "MashineIP='127.0.0.1' and ConnectPort=50000 and Closed=0";
const char* const kCloseAll = " update T_ClientLog set LogoutTime=GetDate(), Closed=1 where Closed=0";
const char* const kClosedView =
    " select * from T_ClientLog  where Closed=1 and LoginTime<'2026-12-10' order by KeyID DESC ";
const char* const kActiveView = " select * from T_ClientLog  where Closed=0 order by KeyID DESC ";

TEST_F(IndexUse, LoginLogStatementsSeekTheIndexOnClosed)
{
    createClientLog(*traced_db_, 4);   // 4000 rows: a scan would take tens of thousands of steps
    ASSERT_NO_FATAL_FAILURE(trace("create index IX_T_CLIENTLOG_CLOSED on T_ClientLog(Closed, KeyID)"));

    BatchResult r;
    expectSeeks(kOpenClients, 300, &r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows.size(), 2u);
    expectSeeks(kLoginRow, 300);
    expectSeeks(kCloseOne, 300);
    // (Row counts read here, not from the batch: the hook's own query plan
    // statement leaves SQLite's change count at zero.)
    EXPECT_EQ(text("select count(*) from LogDb..T_ClientLog where Closed = 0"), "2");
    expectSeeks(kActiveView, 300, &r);
    EXPECT_EQ(r.resultSets[0].rows.size(), 2u);
    expectSeeks(kCloseAll, 300);
    EXPECT_EQ(text("select count(*) from LogDb..T_ClientLog where Closed = 0"), "0");

    // The viewer reads Closed = 1 in key order from the index: no sort.
    // (The login row gets a fixed login time, so that the viewer's date
    // bound takes it whatever day the test runs.)
    trace("update T_ClientLog set LoginTime = '2024-03-01' where KeyID = 100003");
    std::vector<TracedStatement> view = trace(kClosedView, &r);
    ASSERT_EQ(view.size(), 1u);
    EXPECT_NE(view[0].plan.find("IX_T_CLIENTLOG_CLOSED"), std::string::npos) << view[0].plan;
    EXPECT_EQ(view[0].plan.find("TEMP B-TREE"), std::string::npos) << view[0].plan;
    ASSERT_FALSE(r.resultSets[0].rows.empty());
    EXPECT_EQ(r.resultSets[0].rows.front().front().toString(), "100003");   // the login row, closed above
}

TEST_F(IndexUse, MaxOfTheKeyReadsOneEndOfThePrimaryKey)
{
    createClientLog(*traced_db_, 4);
    BatchResult r;
    // No other index: the maximum comes from the primary key alone.
    expectSeeks(" select isnull(max(KeyID),0) as MaxID from T_ClientLog", 50, &r);
    EXPECT_EQ(r.resultSets[0].rows[0][0].toString(), "100002");
    std::vector<TracedStatement> login = trace(kLoginRow);
    ASSERT_EQ(login.size(), 2u);   // the select of @MaxID, then the insert
    EXPECT_NE(login[0].plan.find("sqlite_autoindex_T_ClientLog"), std::string::npos) << login[0].plan;
    EXPECT_LE(login[0].vmSteps, 50);
    EXPECT_EQ(text("select max(KeyID) from LogDb..T_ClientLog"), "100003");
}

TEST_F(IndexUse, TextIndexServesCaseInsensitiveComparisonsWithTheSameRows)
{
    createClientLog(*traced_db_, 1);
    ASSERT_NO_FATAL_FAILURE(trace("create index IX_T_CLIENTLOG_IP on T_ClientLog(MashineIP)"));
    BatchResult r;
    // The index carries the column's case-insensitive collation, so it serves
    // the comparison whichever side the column stands on and finds the rows
    // of any letter case, as the comparison without the index does.
    for (const char* where : {"MashineIP = 'HOST-a'", "'host-A' = MashineIP", "MashineIP = N'HOST-A'",
                              "MashineIP in ('host-a', 'x')"}) {
        expectSeeks(std::string("select KeyID from T_ClientLog where ") + where, 100, &r);
        ASSERT_EQ(r.resultSets[0].rows.size(), 1u) << where;
        EXPECT_EQ(r.resultSets[0].rows[0][0].toString(), "100001") << where;
    }
    expectSeeks("declare @ip varchar(64) set @ip = 'HOST-B' select KeyID from T_ClientLog where MashineIP = @ip",
                100, &r);
    ASSERT_EQ(r.resultSets.size(), 1u);
    ASSERT_EQ(r.resultSets[0].rows.size(), 1u);
    EXPECT_EQ(r.resultSets[0].rows[0][0].toString(), "100002");
    expectSeeks("select count(*) from T_ClientLog where MashineIP between 'HOST-A' and 'host-b'", 100, &r);
    EXPECT_EQ(r.resultSets[0].rows[0][0].toString(), "2");
}

TEST_F(IndexUse, NumberIndexServesValuesOfOtherTypes)
{
    createClientLog(*traced_db_, 1);
    ASSERT_NO_FATAL_FAILURE(trace("create index IX_T_CLIENTLOG_CLOSED on T_ClientLog(Closed, KeyID)"));
    BatchResult r;
    // A tinyint column beside an int, a bit, a text literal and variables:
    // the other side converts, the column stays bare.
    for (const char* batch :
         {"select count(*) from T_ClientLog where Closed = '0'",
          "declare @c tinyint set @c = 0 select count(*) from T_ClientLog where Closed = @c",
          "declare @c int set @c = 0 select count(*) from T_ClientLog where Closed = @c",
          "declare @c varchar(4) set @c = '0' select count(*) from T_ClientLog where Closed = @c",
          "select count(*) from T_ClientLog where Closed = 0.0",
          "select count(*) from T_ClientLog where Closed in (0)"}) {
        expectSeeks(batch, 100, &r);
        ASSERT_EQ(r.resultSets.size(), 1u) << batch;
        EXPECT_EQ(r.resultSets[0].rows[0][0].toString(), "2") << batch;
    }
}

TEST_F(IndexUse, IndexMadeOnAnotherConnectionServesStatementsRunBefore)
{
    // The service's connection has run its statements (translated and
    // prepared) before the index is made on another connection: its next
    // run must use the index.
    createClientLog(*traced_db_, 4);
    trace(kOpenClients);
    trace(kCloseOne);
    std::unique_ptr<Connection> other = connect(kSaPassword, "LogDb");
    BatchResult made = other->run("create index IX_T_CLIENTLOG_CLOSED on T_ClientLog(Closed, KeyID)");
    ASSERT_TRUE(made.ok()) << describeErrors(made);
    expectSeeks(kOpenClients, 300);
    expectSeeks(kCloseOne, 300);
}

}  // namespace
