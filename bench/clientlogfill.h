// Fills the catalogue's login log T_ClientLog with many rows fast, for the
// benchmarks that measure the log at scale: one INSERT ... SELECT through
// the engine over a cross join of number tables, instead of a statement a
// row. Row k (1..rows) logged in k minutes after 2020-01-01 from one of
// 62,500 addresses; nine in ten are closed, one in ten cleared from the
// log, and the last five are still open.
#pragma once

#include "connection.h"

#include <string>

namespace vqbench {

// `connection` is open on the catalogue; its time-out is lifted meanwhile.
inline void fillClientLog(vqsql::Connection& connection, long rows)
{
    if (rows <= 0)
        return;
    const int timeout = connection.commandTimeout();
    connection.setCommandTimeout(0);
    connection.execute("create table BenchDigits (n int not null)");
    connection.execute("insert into BenchDigits values (0) insert into BenchDigits values (1) "
                       "insert into BenchDigits values (2) insert into BenchDigits values (3) "
                       "insert into BenchDigits values (4) insert into BenchDigits values (5) "
                       "insert into BenchDigits values (6) insert into BenchDigits values (7) "
                       "insert into BenchDigits values (8) insert into BenchDigits values (9)");
    connection.execute("create table BenchNums (n int not null)");
    connection.execute(
        "insert into BenchNums select a.n*100 + b.n*10 + c.n from BenchDigits a, BenchDigits b, BenchDigits c");
    // Row k = 1000*a + b + 1 for a below rows/1000 and b below 1000.
    const long thousands = (rows + 999) / 1000;
    connection.execute(
        "insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
        "LoginTime, LogoutTime, Closed) "
        "select a.n*1000 + b.n + 1, '192.168.' + cast(b.n % 250 as varchar(8)) + '.' + "
        "cast(a.n % 250 as varchar(8)), 'PC' + cast(b.n as varchar(8)), 40000 + b.n, '001', '示例账套', "
        "'张三', dateadd(minute, a.n*1000 + b.n, '2020-01-01'), "
        "dateadd(minute, a.n*1000 + b.n + 5, '2020-01-01'), case when b.n % 10 = 0 then 2 else 1 end "
        "from BenchNums a, BenchNums b where a.n < " +
        std::to_string(thousands) + " and a.n*1000 + b.n < " + std::to_string(rows));
    connection.execute("update T_ClientLog set Closed = 0, LogoutTime = null where KeyID > " +
                       std::to_string(rows - 5));
    connection.execute("drop table BenchNums drop table BenchDigits");
    connection.setCommandTimeout(timeout);
}

}  // namespace vqbench
