// Small helpers around the SQLite C API.
#include "sqlite_util.h"

#include "functions.h"

namespace vqsql {

std::string quoteIdent(std::string_view name)
{
    std::string out;
    out.reserve(name.size() + 2);
    out.push_back('"');
    for (char c : name) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string quoteString(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('\'');
    for (char c : text) {
        if (c == '\'')
            out.push_back('\'');
        out.push_back(c);
    }
    out.push_back('\'');
    return out;
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

namespace {

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// "main.t" or "vqtcwpack.t" as SQLite names a table: the table's name.
std::string withoutSchema(const std::string& name)
{
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

}  // namespace

SqlException sqliteFailure(const std::string& message)
{
    int number = 0;
    std::string engineMessage;
    if (parseEngineError(message, number, engineMessage))
        return SqlException(number, engineMessage);
    if (message.find("parser stack overflow") != std::string::npos ||
        message.find("Expression tree is too large") != std::string::npos) {
        return SqlException(191,
                            "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up "
                            "into smaller queries.",
                            1, 15);
    }
    // SQLite names the missing object after the view it expanded (if any).
    const std::size_t noTable = message.find("no such table: ");
    if (noTable != std::string::npos)
        return SqlException(err::InvalidObject,
                            "Invalid object name '" + withoutSchema(message.substr(noTable + 15)) + "'.");
    const std::size_t noColumn = message.find("no such column: ");
    if (noColumn != std::string::npos)
        return SqlException(err::InvalidColumn,
                            "Invalid column name '" + withoutSchema(message.substr(noColumn + 16)) + "'.");
    if (startsWith(message, "too many columns"))
        return SqlException(err::Unsupported, "The engine does not support more than 2000 columns in one result.");
    if (startsWith(message, "string or blob too big"))
        return SqlException(err::Unsupported, "The engine does not support a value of this size.");
    return SqlException(err::Internal, "The engine could not carry out the statement.");
}

void throwSqlite(sqlite3* db, const std::string& context)
{
    if (!db)
        throw SqlException(err::Internal, context.empty() ? "Out of memory." : context + ": out of memory.");
    SqlException e = sqliteFailure(sqlite3_errmsg(db));
    if (e.number() == err::Internal && !context.empty())
        throw SqlException(err::Internal, context + ".");
    throw e;
}

Stmt::Stmt(sqlite3* db, std::string_view sql) : db_(db)
{
    if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throwSqlite(db);
    }
}

Stmt::~Stmt()
{
    sqlite3_finalize(stmt_);
}

Stmt::Stmt(Stmt&& other) noexcept : db_(other.db_), stmt_(other.stmt_)
{
    other.stmt_ = nullptr;
}

Stmt& Stmt::operator=(Stmt&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(stmt_);
        db_ = other.db_;
        stmt_ = other.stmt_;
        other.stmt_ = nullptr;
    }
    return *this;
}

Stmt& Stmt::bind(int index, std::int64_t v)
{
    sqlite3_bind_int64(stmt_, index, v);
    return *this;
}

Stmt& Stmt::bind(int index, const std::string& v)
{
    sqlite3_bind_text(stmt_, index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

Stmt& Stmt::bindNull(int index)
{
    sqlite3_bind_null(stmt_, index);
    return *this;
}

bool Stmt::step()
{
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throwSqlite(db_);
}

void Stmt::reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Stmt::columnText(int i) const
{
    const unsigned char* p = sqlite3_column_text(stmt_, i);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(stmt_, i)) : std::string();
}

void execSql(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw sqliteFailure(message);
    }
}

}  // namespace vqsql
