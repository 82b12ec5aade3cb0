// clientlog_bench: what one client costs the connection service as the
// catalogue's login log T_ClientLog grows, with and without the log's index.
//
//   clientlog_bench [rounds] [rows ...]     defaults: 2000 rounds, rows 0 and 1000000
//
// In a throwaway instance (VQSQL_HOME pointed at a temporary folder) the
// installed catalogue backup (VQTCWAccList.mdk of the program folder) is
// restored, its index IX_T_CLIENTLOG_CLOSED dropped or kept, and the log
// filled with the given number of rows (nine in ten closed, one in ten
// cleared, five open) by one INSERT ... SELECT through the engine. Then,
// through vqsql::Connection, each round is one client's visit as the
// service runs it: the open-clients query, the login report (new row), the
// open-clients query again and the disconnect, each client on a port of
// its own. A configuration stops after 10 seconds when the rounds are not
// done by then. Printed: rounds per second for each row count with and
// without the index and the ratio largest/0 rows; the closing of all open
// rows (service start/stop); the closed-rows viewer, its first 100 rows
// through a cursor (what the viewer shows first) and the whole result
// through Connection::query; the active viewer; and the clearing of the
// closed rows.
#include "clientlogfill.h"
#include "connection.h"
#include "installedbackups.h"
#include "instance.h"

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const char* const kOpenClients = "select distinct MashineIP from T_ClientLog where Closed=0";
const char* const kCloseAll = " update T_ClientLog set LogoutTime=GetDate(), Closed=1 where Closed=0";
const char* const kClosedView =
    " select * from T_ClientLog  where Closed=1 and LoginTime<'2026-12-10' order by KeyID DESC ";
const char* const kClear = " update T_ClientLog set Closed=2 where Closed=1 and LoginTime<'2026-12-10'";
const char* const kActiveView = " select * from T_ClientLog  where Closed=0 order by KeyID DESC ";

std::string loginReport(int port)
{
    return " declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert into "
           "T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName,AccName, LoginUser, LoginTime, Closed) "
           "values( @MaxID,'127.0.0.1','host'," + std::to_string(port) + ",'001','name','user', GetDate(), 0) ";
}

std::string disconnect(int port)
{
    return " update T_ClientLog set LogoutTime=GetDate(), Closed=1  where MashineIP='127.0.0.1' and ConnectPort=" +
           std::to_string(port) + " and Closed=0";
}

// The catalogue restored afresh, with or without the index, its log filled.
void prepareCatalogue(const std::string& instance, bool withIndex, long rows)
{
    vqsql::Connection c;
    c.open(vqsql::ConnectionParams{".", "master", "sa", ""});
    c.execute("if exists (select 1 from master..sysdatabases where name = 'VQTCWAccList') drop database VQTCWAccList");
    vqtest::restoreInstalledBackup(c, instance, "VQTCWAccList");
    c.execute("use VQTCWAccList");
    if (!withIndex)
        c.execute("drop index T_ClientLog.IX_T_CLIENTLOG_CLOSED");
    vqbench::fillClientLog(c, rows);
}

struct Figures {
    int rounds = 0;
    double perSecond = 0;
    double closeAll = 0, viewTop = 0, view = 0, active = 0, clear = 0;
    std::size_t viewRows = 0;
    long cleared = 0;
};

Figures measure(int rounds)
{
    vqsql::Connection c;
    c.open(vqsql::ConnectionParams{".", "VQTCWAccList", "sa", ""});
    c.setCommandTimeout(0);
    Figures f;
    // One visit first, so that the statements are translated and prepared.
    c.query(kOpenClients);
    c.execute(loginReport(1));
    c.execute(disconnect(1));
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    for (int i = 0; i < rounds && elapsed < 10.0; ++i) {
        const int port = 10000 + i % 50000;
        c.query(kOpenClients);
        c.execute(loginReport(port));
        c.query(kOpenClients);
        c.execute(disconnect(port));
        ++f.rounds;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    f.perSecond = f.rounds / elapsed;
    f.closeAll = seconds([&] { c.execute(kCloseAll); });
    f.viewTop = seconds([&] {
        // What the viewer shows first: 100 rows read through a cursor.
        vqsql::RowCursor cursor = c.openCursor(kClosedView);
        std::vector<std::vector<vqsql::Value>> rows;
        cursor.fetch(100, rows);
    });
    f.view = seconds([&] { f.viewRows = c.query(kClosedView).rows.size(); });
    f.active = seconds([&] { c.query(kActiveView); });
    f.clear = seconds([&] { f.cleared = c.run(kClear).rowsAffected; });
    return f;
}

}  // namespace

int main(int argc, char* argv[])
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    std::vector<long> rowCounts;
    for (int i = 2; i < argc; ++i)
        rowCounts.push_back(std::atol(argv[i]));
    if (rowCounts.empty())
        rowCounts = {0, 1000000};

    std::string pattern = (fs::temp_directory_path() / "clientlog-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    const std::string instance = (root / "instance").string();
    setenv("VQSQL_HOME", instance.c_str(), 1);
    int status = 0;
    try {
        vqsql::initialiseInstance(instance, "");
        std::printf("%-10s %-8s %7s %10s %9s %9s %9s %9s %9s %9s\n", "log rows", "index", "rounds", "rounds/s",
                    "close-all", "view-100", "view", "(rows)", "active", "clear");
        std::map<bool, std::map<long, double>> rates;
        for (long rows : rowCounts) {
            for (bool withIndex : {false, true}) {
                prepareCatalogue(instance, withIndex, rows);
                const Figures f = measure(rounds);
                rates[withIndex][rows] = f.perSecond;
                std::printf("%-10ld %-8s %7d %10.1f %8.4fs %8.4fs %8.3fs %9zu %8.4fs %8.3fs\n", rows,
                            withIndex ? "with" : "without", f.rounds, f.perSecond, f.closeAll, f.viewTop, f.view,
                            f.viewRows, f.active, f.clear);
                std::fflush(stdout);
            }
        }
        if (rowCounts.size() > 1) {
            for (bool withIndex : {false, true}) {
                const double base = rates[withIndex][rowCounts.front()];
                const double last = rates[withIndex][rowCounts.back()];
                std::printf("ratio %ld/%ld rows, %s index: %.3f\n", rowCounts.back(), rowCounts.front(),
                            withIndex ? "with" : "without", base > 0 ? last / base : 0.0);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "clientlog_bench: %s\n", e.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return status;
}
