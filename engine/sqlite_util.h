// Small helpers around the SQLite C API used by the engine's lower layers.
#pragma once

#include "sqlerror.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace vqsql {

// "name" with embedded double quotes doubled: a safe SQLite identifier.
std::string quoteIdent(std::string_view name);
// 'text' with embedded apostrophes doubled: a safe SQLite string literal.
std::string quoteString(std::string_view text);
// ASCII lower-case copy (identifiers and keywords).
std::string lowerAscii(std::string_view text);
// ASCII case-insensitive equality.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// The error a user sees for a failure SQLite reports as `message`: errors
// raised by the engine's functions keep their SQL Server number, SQLite's
// limits and missing objects become SQL Server's errors for them, and
// anything else is a plain refusal: SQLite's wording and the translated
// SQL never reach the user.
SqlException sqliteFailure(const std::string& message);

// Turns the current error of `db` into an SqlException: engine errors raised
// by our SQL functions keep their SQL Server number; constraint failures and
// the rest are mapped by the executor, so this is the plain fallback.
[[noreturn]] void throwSqlite(sqlite3* db, const std::string& context = {});

// A prepared statement that finalizes itself.
class Stmt {
public:
    Stmt() = default;
    Stmt(sqlite3* db, std::string_view sql);
    ~Stmt();
    Stmt(Stmt&& other) noexcept;
    Stmt& operator=(Stmt&& other) noexcept;
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    explicit operator bool() const { return stmt_ != nullptr; }

    Stmt& bind(int index, std::int64_t v);
    Stmt& bind(int index, const std::string& v);
    Stmt& bindNull(int index);
    // Steps once; true when a row is available. Throws on error.
    bool step();
    void reset();
    std::int64_t columnInt(int i) const { return sqlite3_column_int64(stmt_, i); }
    std::string columnText(int i) const;
    bool columnIsNull(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

// Runs SQL that returns no rows (may hold several statements); throws on error.
void execSql(sqlite3* db, const std::string& sql);

}  // namespace vqsql
