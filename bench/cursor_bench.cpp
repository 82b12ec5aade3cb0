// cursor_bench: reading a large login log through a cursor against
// reading it through query(), which holds every row at once.
//
//   cursor_bench [rows]          default 1000000 (at most 1000000)
//
// A throwaway instance gets a table shaped like the server's login log,
// T_ClientLog, filled by one INSERT ... SELECT over a cross join of digit
// tables. Each way of reading then runs in a process of its own (this
// program started again with --read), so that its peak memory is its own:
//   time to the first 100 rows   open + fetch(100), against query()
//   time to the end              the rest in fetches of 256, rows discarded
//   peak memory                  VmHWM above the RSS of the idle open
//                                connection
// The viewer's query:
//   select * from T_ClientLog where Closed=1 and LoginTime<'2026-12-10'
//   order by KeyID DESC
#include "connection.h"
#include "tempfolder.h"
#include "instance.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kPassword = "Bench#2008";
const char* const kViewerQuery =
    "select * from T_ClientLog where Closed=1 and LoginTime<'2026-12-10' order by KeyID DESC";

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A field of /proc/self/status in kB (VmRSS, VmHWM).
long statusKb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

using vqbench::TempFolder;

vqsql::ConnectionParams logDatabase(const std::string& instance)
{
    return vqsql::ConnectionParams{instance, "ClientLog", "sa", kPassword};
}

// The login log with `rows` rows: nine in ten closed, one login a minute
// from 2025-01-01 on, machine and user names varying with the key.
void fill(const std::string& instance, long rows)
{
    vqsql::Connection c;
    c.open(vqsql::ConnectionParams{instance, "master", "sa", kPassword});
    c.setCommandTimeout(0);
    c.execute("create database ClientLog");
    c.execute("use ClientLog\n"
              "create table T_ClientLog (KeyID int primary key, MashineIP varchar(64), MashineName varchar(255), "
              "ConnectPort int, DBName varchar(32), AccName varchar(255), LoginUser varchar(64), "
              "LoginTime datetime, LogoutTime datetime, Closed tinyint)\n"
              "create table Digit (d int)\n"
              "insert into Digit values (0), (1), (2), (3), (4), (5), (6), (7), (8), (9)");
    const std::string key = "(a.d + 10 * b.d + 100 * c.d + 1000 * e.d + 10000 * f.d + 100000 * g.d + 1)";
    c.execute("insert into T_ClientLog select " + key +
              ", '192.168.' + convert(varchar(3), b.d) + '.' + convert(varchar(3), a.d + 10 * c.d)"
              ", '财务部-PC' + convert(varchar(10), " + key + " % 500)"
              ", 5971, 'VQTCW_Sample', '示例账套 ' + convert(varchar(10), e.d)"
              ", 'user' + convert(varchar(10), f.d * 10 + g.d)"
              ", dateadd(minute, " + key + ", '2025-01-01')"
              ", dateadd(minute, " + key + " + 30, '2025-01-01')"
              ", case when a.d = 0 then 0 else 1 end "
              "from Digit a, Digit b, Digit c, Digit e, Digit f, Digit g where " + key +
              " <= " + std::to_string(rows));
    c.execute("drop table Digit");
}

// One way of reading, in this process: prints
// "<first 100 ms> <total ms> <rows> <peak kB above idle>".
int read(const std::string& instance, const std::string& how)
{
    vqsql::Connection c;
    c.open(logDatabase(instance));
    const long idleKb = statusKb("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    double firstMs = 0;
    long rows = 0;
    if (how == "cursor") {
        vqsql::RowCursor cursor = c.openCursor(kViewerQuery);
        std::vector<std::vector<vqsql::Value>> chunk;
        rows = static_cast<long>(cursor.fetch(100, chunk));
        firstMs = msSince(start);
        for (;;) {
            chunk.clear();
            const std::size_t got = cursor.fetch(256, chunk);
            rows += static_cast<long>(got);
            if (got < 256)
                break;
        }
    } else {
        vqsql::ResultSet all = c.query(kViewerQuery);
        firstMs = msSince(start);
        rows = static_cast<long>(all.rows.size());
    }
    const double totalMs = msSince(start);
    std::cout << firstMs << ' ' << totalMs << ' ' << rows << ' ' << statusKb("VmHWM") - idleKb << '\n';
    return 0;
}

struct Reading {
    double firstMs = 0, totalMs = 0;
    long rows = 0, peakKb = 0;
};

Reading readInChild(const std::string& self, const std::string& instance, const std::string& how)
{
    const std::string command = "'" + self + "' --read " + how + " '" + instance + "'";
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        throw std::runtime_error("cannot start " + command);
    char line[256] = {0};
    const bool got = fgets(line, sizeof line, child) != nullptr;
    if (pclose(child) != 0 || !got)
        throw std::runtime_error("reading through " + how + " failed");
    Reading r;
    std::istringstream(line) >> r.firstMs >> r.totalMs >> r.rows >> r.peakKb;
    return r;
}

int run(const std::string& self, long rows)
{
    const TempFolder temp("vqcursorbench");
    const std::string instance = (temp.path / "instance").string();
    vqsql::initialiseInstance(instance, kPassword);

    auto start = std::chrono::steady_clock::now();
    fill(instance, rows);
    std::printf("filled T_ClientLog with %ld rows in %.0f ms\n", rows, msSince(start));

    const Reading cursor = readInChild(self, instance, "cursor");
    const Reading query = readInChild(self, instance, "query");
    if (cursor.rows != query.rows)
        throw std::runtime_error("the cursor read " + std::to_string(cursor.rows) + " rows, query " +
                                 std::to_string(query.rows));
    std::printf("%s\n%ld rows selected\n\n", kViewerQuery, cursor.rows);
    std::printf("%-28s %12s %12s %10s\n", "", "cursor", "query()", "ratio");
    std::printf("%-28s %12.1f %12.1f %10.4f\n", "first 100 rows, ms", cursor.firstMs, query.firstMs,
                cursor.firstMs / query.firstMs);
    std::printf("%-28s %12.1f %12.1f %10.3f\n", "all rows, ms", cursor.totalMs, query.totalMs,
                cursor.totalMs / query.totalMs);
    std::printf("%-28s %12.1f %12.1f %10.4f\n", "peak memory above idle, MB", cursor.peakKb / 1024.0,
                query.peakKb / 1024.0, static_cast<double>(cursor.peakKb) / static_cast<double>(query.peakKb));
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    try {
        if (argc == 4 && std::string(argv[1]) == "--read")
            return read(argv[3], argv[2]);
        long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
        if (rows < 1 || rows > 1000000)
            throw std::runtime_error("rows must be from 1 to 1000000");
        return run(fs::canonical("/proc/self/exe").string(), rows);
    } catch (const std::exception& e) {
        std::cerr << "cursor_bench: " << e.what() << '\n';
        return 1;
    }
}
