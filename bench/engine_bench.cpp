// engine_bench: times the same work through the engine and directly on
// SQLite, and prints both times and their ratio (engine / SQLite).
//
//   engine_bench [rows] [query-runs]        defaults: 10000 rows, 20 runs
//
// The engine runs in a throwaway instance folder (VQSQL_HOME is pointed at
// a temporary folder); SQLite works on a file in the same folder. Both
// sides get equivalent SQL texts, both wrap the inserts in one transaction
// and run the selects in autocommit mode, and both read every cell of
// every row they select.
//
// Phases:
//   insert, distinct texts   one insert per row, values spliced into the text
//   insert, same text        one statement text run over and over: what
//                            the engine's translation cache is for; the
//                            SQLite side reuses one prepared statement
//   select by key            point selects, a different key in each text
//   select, same text        one point-select text run over and over
//                            (SQLite: one prepared statement)
//   code query               the chart-of-accounts code conversion over
//                            every row, ordered by the new code
//
// The goal is a ratio within 1.5 for a statement run many times.
//
// Then the path a client script takes: voucher entries (the columns of
// CW_VouDetail on the installed databases' user-defined types, plus the
// voucher's date), 20,000 INSERTs with distinct literals (texts with
// quotes, N'' texts, dates, money, negative amounts, NULLs)
//   script, one batch             every insert in one batch, autocommit
//   script, one batch in a tran   the same batch inside BEGIN TRAN ... COMMIT
//   script, batch per statement   one batch for each insert (in a transaction)
// against sqlite3_exec of the equivalent SQLite text on a plain table (the
// SQLite shell's path); target: within 2x. And one statement text run over
// and over against one prepared SQLite statement; target: within 1.2x.
#include "connection.h"
#include "tempfolder.h"
#include "instance.h"

#include <sqlite3.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

double timeMs(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// The direct SQLite side.
class Sqlite {
public:
    explicit Sqlite(const fs::path& file)
    {
        if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK)
            throw std::runtime_error("sqlite3_open: " + std::string(sqlite3_errmsg(db_)));
        // The same journal settings as the engine's database files.
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
    }
    ~Sqlite() { sqlite3_close(db_); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    void exec(const std::string& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string text = error ? error : "unknown error";
            sqlite3_free(error);
            throw std::runtime_error("SQLite: " + text + " in: " + sql);
        }
    }

    // Runs a query, reads every cell as text; returns the number of rows.
    // `firstCell` receives the cell of `column` in the first row.
    long query(const std::string& sql, std::string* firstCell = nullptr, int column = 0)
    {
        sqlite3_stmt* stmt = prepare(sql);
        const long rows = readAll(stmt, firstCell, column);
        sqlite3_finalize(stmt);
        return rows;
    }

    sqlite3_stmt* prepare(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error("SQLite: " + std::string(sqlite3_errmsg(db_)) + " in: " + sql);
        return stmt;
    }

    long readAll(sqlite3_stmt* stmt, std::string* firstCell = nullptr, int column = 0)
    {
        long rows = 0;
        int rc;
        std::vector<std::string> cells;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const int n = sqlite3_column_count(stmt);
            cells.resize(n);
            for (int c = 0; c < n; ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                cells[c] = text ? text : "";
            }
            if (rows == 0 && firstCell && column < n)
                *firstCell = cells[column];
            ++rows;
        }
        if (rc != SQLITE_DONE)
            throw std::runtime_error("SQLite: " + std::string(sqlite3_errmsg(db_)));
        return rows;
    }

private:
    sqlite3* db_ = nullptr;
};

// The engine side.
class Engine {
public:
    void open(const std::string& password)
    {
        connection_.open(vqsql::ConnectionParams{".", "master", "sa", password});
        // A database of its own when the instance can make one; master otherwise.
        const auto created = connection_.run("create database VQBench");
        if (created.ok() && connection_.run("use VQBench").ok())
            database_ = "VQBench";
        else
            database_ = connection_.currentDatabase();
    }

    void execute(const std::string& sql) { connection_.execute(sql); }

    long query(const std::string& sql, std::string* firstCell = nullptr, int column = 0)
    {
        // The result set already holds every cell as a value: that is the
        // counterpart of SQLite's side reading every cell.
        const vqsql::ResultSet rs = connection_.query(sql);
        if (firstCell && !rs.rows.empty() && column < static_cast<int>(rs.rows.front().size()))
            *firstCell = rs.rows.front()[column].toString();
        return static_cast<long>(rs.rows.size());
    }

    vqsql::Connection& connection() { return connection_; }
    const std::string& database() const { return database_; }

private:
    vqsql::Connection connection_;
    std::string database_;
};

struct Phase {
    std::string name;
    long count = 0;
    double engineMs = 0;
    double sqliteMs = 0;
    bool repeatedText = false;
};

std::string codeOf(long i)
{
    // Level-one codes have four digits, the others three more: 1001, 1001001 ...
    const long first = 1001 + i / 1000;
    const long second = i % 1000;
    if (second == 0)
        return std::to_string(first);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%ld%03ld", first, second);
    return buffer;
}

std::string insertText(long i)
{
    return "insert into CW_SubTemp (KeyID, SubKind, Code, Name) values (" + std::to_string(i + 1) + ", 0, '"
        + codeOf(i) + "', '科目" + std::to_string(i) + "')";
}

std::string pointSelectText(long key)
{
    return "select KeyID, SubKind, Code, Name from CW_SubTemp where KeyID = " + std::to_string(key);
}

const char* const kEngineCodeQuery =
    "select KeyID, substring(Code,1,4)+ (case when 3<=3 then substring(Code,5+3-3,3) else "
    "(case when len(Code)>4 then replicate('0',3-3) else '' end)+ substring(Code,5,3) end) as Code "
    "from CW_SubTemp where SubKind=0 order by Code";

// The same on plain SQLite: substr for substring, || for +, length for len,
// and a cut of a row of zeros for replicate.
const char* const kSqliteCodeQuery =
    "select KeyID, substr(Code,1,4) || (case when 3<=3 then substr(Code,5+3-3,3) else "
    "(case when length(Code)>4 then substr('0000000000',1,3-3) else '' end) || substr(Code,5,3) end) as Code "
    "from CW_SubTemp where SubKind=0 order by Code";

void check(bool condition, const std::string& what)
{
    if (!condition)
        throw std::runtime_error("results differ: " + what);
}


// ---- voucher entries: distinct literals through the batch path ----------

// The user-defined types of the installed databases the table below uses.
const char* const kVoucherTypes =
    "create type T_KEYID from int not null\n"
    "create type T_KEY from int null\n"
    "create type T_SHORT from smallint null\n"
    "create type T_VA255 from varchar(255) null\n"
    "create type T_NUMBER from numeric(19,4) null\n"
    "create type T_MONEY from money null\n"
    "create type T_DATETIME from datetime null\n";

// CW_VouDetail's columns, with the voucher's date beside them.
const char* const kEngineVoucherTable =
    "create table CW_VouEntry (KeyID T_KEYID not null, VouID T_KEY not null, SecID T_SHORT null, "
    "VouDate T_DATETIME null, Summary T_VA255 null, SubID T_KEY not null, MoneyID T_KEY null, "
    "ExchRate T_NUMBER null, DebitAmt T_MONEY null, CreditAmt T_MONEY null, Qty T_NUMBER null, "
    "Price T_NUMBER null, DeptID T_KEY null, constraint PK_CW_VOUENTRY primary key clustered (KeyID))";

const char* const kSqliteVoucherTable =
    "create table CW_VouEntry (KeyID int not null primary key, VouID int not null, SecID smallint, "
    "VouDate text, Summary varchar(255), SubID int not null, MoneyID int, ExchRate numeric(19,4), "
    "DebitAmt real, CreditAmt real, Qty numeric(19,4), Price numeric(19,4), DeptID int)";

// An amount with two decimals, negative for every seventh row.
std::string amountText(long i)
{
    const long cents = (i * 7919) % 1000000 + 1;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s%ld.%02ld", i % 7 == 0 ? "-" : "", cents / 100, cents % 100);
    return buffer;
}

// The same voucher entry as Transact-SQL (engine) and as SQLite text.
struct VoucherInsert {
    std::string engine;
    std::string sqlite;
};

VoucherInsert voucherInsert(long i, const char* table = "CW_VouEntry")
{
    char date[16];
    std::snprintf(date, sizeof date, "2026-%02ld-%02ld", 1 + i % 12, 1 + i % 28);
    // Summaries of several lengths, some with apostrophes (doubled in the
    // text), every fifth one a Unicode N'' text.
    std::string summary;
    switch (i % 4) {
    case 0: summary = "Paid O''Brien''s invoice " + std::to_string(i); break;
    case 1: summary = "收到货款 " + std::to_string(i * 13); break;
    case 2: summary = "Cash"; break;
    default: summary = "Transfer to account " + std::to_string(100000 + i); break;
    }
    const bool unicode = i % 5 == 0;
    const bool debit = i % 2 == 0;
    const std::string amount = amountText(i);
    const std::string qty = i % 3 == 0 ? "NULL" : std::to_string(i % 50) + ".5";
    const std::string dept = i % 6 == 0 ? "NULL" : std::to_string(i % 9 - 4);
    const std::string common = std::to_string(i + 1) + ", " + std::to_string(1 + i / 4) + ", " + std::to_string(i % 4)
        + ", '" + date + "', ";
    const std::string rest = ", " + std::to_string(1001 + i % 300) + ", NULL, 1.0, "
        + (debit ? amount + ", 0, " : "0, " + amount + ", ") + qty + ", " + qty + ", " + dept + ")";
    const std::string head = std::string("insert into ") + table
        + " (KeyID, VouID, SecID, VouDate, Summary, SubID, MoneyID, ExchRate, DebitAmt, CreditAmt, Qty, Price, "
          "DeptID) values (";
    return {head + common + (unicode ? "N'" : "'") + summary + "'" + rest, head + common + "'" + summary + "'" + rest};
}

struct TargetPhase {
    std::string name;
    long count = 0;
    double engineMs = 0;
    double sqliteMs = 0;
    double target = 2.0;
};

void expectOk(const vqsql::BatchResult& result, const std::string& what)
{
    if (!result.ok())
        throw std::runtime_error(what + ": " + result.errors.front().format());
}

std::vector<TargetPhase> runVoucherPhases(Engine& engine, Sqlite& lite, long rows)
{
    vqsql::Connection& connection = engine.connection();
    expectOk(connection.run(kVoucherTypes), "create type");
    std::vector<VoucherInsert> inserts;
    inserts.reserve(static_cast<std::size_t>(rows));
    for (long i = 0; i < rows; ++i)
        inserts.push_back(voucherInsert(i));
    std::string engineScript, sqliteScript;
    for (const auto& insert : inserts) {
        engineScript += insert.engine + "\n";
        sqliteScript += insert.sqlite + ";\n";
    }

    auto recreate = [&] {
        connection.run("drop table CW_VouEntry");
        expectOk(connection.run(kEngineVoucherTable), "create table");
        lite.exec("drop table if exists CW_VouEntry");
        lite.exec(kSqliteVoucherTable);
    };
    auto checkCount = [&](const std::string& phase) {
        std::string engineCount, sqliteCount;
        engine.query("select count(*) from CW_VouEntry", &engineCount);
        lite.query("select count(*) from CW_VouEntry", &sqliteCount);
        check(engineCount == std::to_string(rows) && sqliteCount == engineCount,
              phase + ": count " + engineCount + " / " + sqliteCount);
    };

    std::vector<TargetPhase> phases;
    TargetPhase oneBatch{"script, one batch", rows};
    recreate();
    oneBatch.engineMs = timeMs([&] { expectOk(connection.run(engineScript), "script"); });
    oneBatch.sqliteMs = timeMs([&] { lite.exec(sqliteScript); });
    checkCount(oneBatch.name);
    phases.push_back(oneBatch);

    TargetPhase inTran{"script, one batch in a tran", rows};
    recreate();
    const std::string engineTran = "begin transaction\n" + engineScript + "commit transaction\n";
    const std::string sqliteTran = "BEGIN;\n" + sqliteScript + "COMMIT;\n";
    inTran.engineMs = timeMs([&] { expectOk(connection.run(engineTran), "script in a transaction"); });
    inTran.sqliteMs = timeMs([&] { lite.exec(sqliteTran); });
    checkCount(inTran.name);
    phases.push_back(inTran);

    TargetPhase perStatement{"script, batch per statement", rows};
    recreate();
    perStatement.engineMs = timeMs([&] {
        connection.beginTransaction();
        for (const auto& insert : inserts)
            expectOk(connection.run(insert.engine), "insert");
        connection.commit();
    });
    perStatement.sqliteMs = timeMs([&] {
        lite.exec("BEGIN");
        for (const auto& insert : inserts)
            lite.exec(insert.sqlite);
        lite.exec("COMMIT");
    });
    checkCount(perStatement.name);
    phases.push_back(perStatement);

    // The same entry over and over (the key is left out so that every run
    // inserts): the engine's cached statement against one prepared SQLite
    // statement, reset and stepped again.
    connection.run("create table CW_VouLog (VouID int, VouDate datetime, Summary varchar(255), DebitAmt money)");
    lite.exec("create table CW_VouLog (VouID int, VouDate text, Summary varchar(255), DebitAmt real)");
    const std::string sameEngine =
        "insert into CW_VouLog (VouID, VouDate, Summary, DebitAmt) values (7, '2026-03-01', N'收到货款', 125.50)";
    const std::string sameSqlite =
        "insert into CW_VouLog (VouID, VouDate, Summary, DebitAmt) values (7, '2026-03-01', '收到货款', 125.50)";
    TargetPhase repeated{"same insert, repeated", rows, 0, 0, 1.2};
    repeated.engineMs = timeMs([&] {
        connection.beginTransaction();
        for (long i = 0; i < rows; ++i)
            engine.execute(sameEngine);
        connection.commit();
    });
    repeated.sqliteMs = timeMs([&] {
        lite.exec("BEGIN");
        sqlite3_stmt* stmt = lite.prepare(sameSqlite);
        for (long i = 0; i < rows; ++i) {
            lite.readAll(stmt);
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        lite.exec("COMMIT");
    });
    phases.push_back(repeated);

    const std::string sameSelect = "select VouID, Summary, DebitAmt from CW_VouEntry where KeyID = 4242";
    TargetPhase repeatedSelect{"same select, repeated", rows, 0, 0, 1.2};
    repeatedSelect.engineMs = timeMs([&] {
        for (long i = 0; i < rows; ++i)
            engine.query(sameSelect);
    });
    repeatedSelect.sqliteMs = timeMs([&] {
        sqlite3_stmt* stmt = lite.prepare(sameSelect);
        for (long i = 0; i < rows; ++i) {
            lite.readAll(stmt);
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
    });
    phases.push_back(repeatedSelect);
    return phases;
}

void printTargetPhases(const std::vector<TargetPhase>& phases)
{
    std::printf("\n%-28s %8s %12s %12s %8s %8s\n", "phase", "count", "engine ms", "SQLite ms", "ratio", "target");
    for (const auto& p : phases) {
        const double ratio = p.sqliteMs > 0 ? p.engineMs / p.sqliteMs : 0.0;
        std::printf("%-28s %8ld %12.1f %12.1f %8.2f %8.2f  %s\n", p.name.c_str(), p.count, p.engineMs, p.sqliteMs,
                    ratio, p.target, ratio <= p.target ? "met" : "NOT met");
    }
}

using vqbench::TempFolder;

int run(long rows, long queryRuns)
{
    const TempFolder temp;
    const fs::path& folder = temp.path;
    const fs::path instance = folder / "instance";
    fs::create_directories(instance);
    setenv("VQSQL_HOME", instance.c_str(), 1);
    const char* password = std::getenv("VQ_BENCH_PASSWORD");
    vqsql::initialiseInstance(instance.string(), password ? password : "");

    std::vector<Phase> phases;
    {
        Engine engine;
        engine.open(password ? password : "");
        Sqlite lite(folder / "bench.db");

        const std::string createMain =
            "create table CW_SubTemp (KeyID int primary key, SubKind int, Code varchar(32), Name varchar(64))";
        const std::string createLog = "create table CW_SubLog (SubKind int, Code varchar(32), Name varchar(64))";
        engine.execute(createMain);
        engine.execute(createLog);
        lite.exec(createMain);
        lite.exec(createLog);

        // (a) inserts, a different text for every row.
        Phase insertDistinct{"insert, distinct texts", rows};
        insertDistinct.engineMs = timeMs([&] {
            engine.connection().beginTransaction();
            for (long i = 0; i < rows; ++i)
                engine.execute(insertText(i));
            engine.connection().commit();
        });
        insertDistinct.sqliteMs = timeMs([&] {
            lite.exec("BEGIN");
            for (long i = 0; i < rows; ++i)
                lite.exec(insertText(i));
            lite.exec("COMMIT");
        });
        phases.push_back(insertDistinct);

        // (a') inserts, one text over and over.
        const std::string sameInsert = "insert into CW_SubLog (SubKind, Code, Name) values (0, '1001001', '现金')";
        Phase insertSame{"insert, same text", rows, 0, 0, true};
        insertSame.engineMs = timeMs([&] {
            engine.connection().beginTransaction();
            for (long i = 0; i < rows; ++i)
                engine.execute(sameInsert);
            engine.connection().commit();
        });
        // A statement run many times is measured against SQLite's best
        // case: one prepared statement, reset and stepped again each time.
        insertSame.sqliteMs = timeMs([&] {
            lite.exec("BEGIN");
            sqlite3_stmt* stmt = lite.prepare(sameInsert);
            for (long i = 0; i < rows; ++i) {
                lite.readAll(stmt);
                sqlite3_reset(stmt);
            }
            sqlite3_finalize(stmt);
            lite.exec("COMMIT");
        });
        phases.push_back(insertSame);

        for (const char* table : {"CW_SubTemp", "CW_SubLog"}) {
            std::string engineCount, sqliteCount;
            engine.query(std::string("select count(*) from ") + table, &engineCount);
            lite.query(std::string("select count(*) from ") + table, &sqliteCount);
            check(engineCount == sqliteCount && engineCount == std::to_string(rows),
                  std::string(table) + " count " + engineCount + " / " + sqliteCount);
        }

        // (b) point selects by key.
        Phase selectDistinct{"select by key", rows};
        long engineFound = 0, sqliteFound = 0;
        selectDistinct.engineMs = timeMs([&] {
            for (long i = 0; i < rows; ++i)
                engineFound += engine.query(pointSelectText(1 + (i * 7919) % rows));
        });
        selectDistinct.sqliteMs = timeMs([&] {
            for (long i = 0; i < rows; ++i)
                sqliteFound += lite.query(pointSelectText(1 + (i * 7919) % rows));
        });
        check(engineFound == rows && sqliteFound == rows, "point selects found "
              + std::to_string(engineFound) + " / " + std::to_string(sqliteFound));
        phases.push_back(selectDistinct);

        const std::string sameSelect = pointSelectText(rows / 2 + 1);
        Phase selectSame{"select, same text", rows, 0, 0, true};
        selectSame.engineMs = timeMs([&] {
            for (long i = 0; i < rows; ++i)
                engine.query(sameSelect);
        });
        selectSame.sqliteMs = timeMs([&] {
            sqlite3_stmt* stmt = lite.prepare(sameSelect);
            for (long i = 0; i < rows; ++i) {
                lite.readAll(stmt);
                sqlite3_reset(stmt);
            }
            sqlite3_finalize(stmt);
        });
        phases.push_back(selectSame);

        // (c) the code conversion query over every row.
        Phase codeQuery{"code query (" + std::to_string(rows) + " rows)", queryRuns, 0, 0, true};
        std::string engineFirst, sqliteFirst;
        long engineRows = 0, sqliteRows = 0;
        codeQuery.engineMs = timeMs([&] {
            for (long i = 0; i < queryRuns; ++i)
                engineRows = engine.query(kEngineCodeQuery, &engineFirst, 1);
        });
        codeQuery.sqliteMs = timeMs([&] {
            for (long i = 0; i < queryRuns; ++i)
                sqliteRows = lite.query(kSqliteCodeQuery, &sqliteFirst, 1);
        });
        check(engineRows == sqliteRows && engineFirst == sqliteFirst,
              "code query: " + std::to_string(engineRows) + " rows from '" + engineFirst + "' / "
                  + std::to_string(sqliteRows) + " rows from '" + sqliteFirst + "'");
        phases.push_back(codeQuery);

        std::printf("engine_bench: %ld rows, code query run %ld times, engine database %s\n\n", rows, queryRuns,
                    engine.database().c_str());
        std::printf("%-28s %8s %12s %12s %8s\n", "phase", "count", "engine ms", "SQLite ms", "ratio");
        for (const auto& p : phases)
            std::printf("%-28s %8ld %12.1f %12.1f %8.2f\n", p.name.c_str(), p.count, p.engineMs, p.sqliteMs,
                        p.sqliteMs > 0 ? p.engineMs / p.sqliteMs : 0.0);

        std::printf("\ntarget: ratio <= 1.50 for a statement run many times\n");
        for (const auto& p : phases) {
            if (!p.repeatedText)
                continue;
            const double ratio = p.sqliteMs > 0 ? p.engineMs / p.sqliteMs : 0.0;
            std::printf("  %-28s %5.2f  %s\n", p.name.c_str(), ratio, ratio <= 1.5 ? "met" : "NOT met");
        }

        const long scriptRows = std::max(rows * 2, 20000L);
        std::printf("\nvoucher entries: %ld inserts with distinct literals, engine against sqlite3_exec\n", scriptRows);
        printTargetPhases(runVoucherPhases(engine, lite, scriptRows));
    }
    return 0;
}

long argumentOr(int argc, char* argv[], int index, long fallback)
{
    if (index >= argc)
        return fallback;
    const long value = std::strtol(argv[index], nullptr, 10);
    return value > 0 ? value : fallback;
}

}  // namespace

int main(int argc, char* argv[])
{
    const long rows = argumentOr(argc, argv, 1, 10000);
    const long queryRuns = argumentOr(argc, argv, 2, 20);
    try {
        return run(rows, queryRuns);
    } catch (const vqsql::SqlException& e) {
        for (const auto& error : e.errors())
            std::cerr << error.format() << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "engine_bench: " << e.what() << '\n';
        return 1;
    }
}
