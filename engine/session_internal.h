// The executor's inner records, shared by its source files: cached
// batches with their prepared statements, and the state of one run.
#pragma once

#include "session.h"
#include "sqlite_util.h"

#include <sqlite3.h>

#include <map>
#include <optional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace vqsql {

// A prepared, cached statement and the translation it came from.
struct Session::Prepared {
    unsigned long long generation = 0;
    std::string database;
    std::vector<std::string> databases;   // every database the statement reaches
    bool ansiNulls = true;                // SET ANSI_NULLS when translated
    Translation translation;
    sqlite3_stmt* stmt = nullptr;
    // For each parameter, the index of the statement's literal it binds
    // (RunState::literals), -1 for a variable.
    std::vector<int> literalIndex;
    bool bindsLiterals = false;

    Prepared() = default;
    Prepared(const Prepared&) = delete;
    ~Prepared() { sqlite3_finalize(stmt); }
};

struct Session::CachedBatch {
    std::unique_ptr<ast::Batch> batch;
    // A long script: checked whole, then read and run statement by
    // statement (batch->statements stays empty); `owned` keeps the
    // statements holding its DECLAREs. Nothing of it is kept by address.
    bool script = false;
    std::vector<ast::StmtPtr> owned;
    std::vector<const ast::DeclareStmt*> declarations;   // every DECLARE, in text order
    // Shared with the session's cache of statements by shape.
    std::unordered_map<const void*, std::shared_ptr<Prepared>> prepared;
    // The literals each statement of `prepared` binds, found once.
    std::unordered_map<const void*, std::vector<const ast::Expr*>> boundLiterals;
};

// One level deeper for a procedure, sp_executesql or EXEC of a text:
// @@NESTLEVEL counts it, and a 33rd level is refused with error 217.
class Session::NestScope {
public:
    static constexpr int kMaxNestLevel = 32;
    explicit NestScope(Session& session) : session_(session)
    {
        if (session_.nestLevel_ >= kMaxNestLevel)
            throw SqlException(217,
                               "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit "
                               "32).");
        ++session_.nestLevel_;
    }
    // The #tables the scope created go with it, as in SQL Server.
    ~NestScope()
    {
        --session_.nestLevel_;
        try {
            session_.dropTemporaryTablesAbove(session_.nestLevel_);
        } catch (const std::exception&) {
            // Left to the end of the session, which drops every #table.
        }
    }
    NestScope(const NestScope&) = delete;
    NestScope& operator=(const NestScope&) = delete;

private:
    Session& session_;
};

// One command of the client: a batch, the opening of a cursor or one
// fetch. The outermost scope starts the command time-out and ends it (a
// nested batch, EXEC of a text, runs within its caller's time), and frees
// the catalogue entries the previous command retired.
class Session::CommandScope {
public:
    explicit CommandScope(Session& session);
    ~CommandScope();
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;
    bool outermost() const { return outermost_; }

private:
    Session& session_;
    bool outermost_;
};

// The open cursor of a session. Its parsed text owns the prepared
// statement, which stays in the batch cache for the next run of the text.
struct Session::CursorState {
    Session* session = nullptr;
    std::shared_ptr<CachedBatch> batch;
    const ast::SelectStmt* statement = nullptr;
    Prepared* prepared = nullptr;
    long long rowsRead = 0;
};

struct RowCursor::Impl {
    std::weak_ptr<Session::CursorState> state;
    std::vector<Column> columns;
    bool closed = false;   // read to its end, closed, or failed
};

// The literals of a statement bound as parameters "#k" when its
// translation is cached by shape, in text order (session_shapes.cpp).
void collectParameterizableLiterals(const ast::Stmt& s, std::vector<const ast::Expr*>& out);
// Binds parameter `index` to the value of literal `e`.
void bindLiteral(sqlite3_stmt* stmt, int index, const ast::Expr& e);

struct Session::RunState {
    BatchResult* result = nullptr;
    CachedBatch* cache = nullptr;
    VariableTypes types;
    std::map<std::string, Value> values;
    bool returned = false;
    bool breaking = false;
    bool continuing = false;
    bool aborted = false;    // SET XACT_ABORT ON ended the batch after an error
    int depth = 0;
    // The top-level statement running and where its text ends: its
    // translation may be cached by shape (session_shapes.cpp).
    const ast::Stmt* statement = nullptr;
    std::size_t statementEnd = 0;
    // The literals of the running statement bound as parameters "#k":
    // `literals` points at the batch's list or at literalBuffer.
    const std::vector<const ast::Expr*>* literals = nullptr;
    std::vector<const ast::Expr*> literalBuffer;
    // Keeps the running statement's prepared form alive when neither the
    // batch nor the shape cache holds it.
    std::shared_ptr<Prepared> running;
    // The batch's LOCAL cursors by lower-cased name, and its cursor
    // variables (null until SET @c = CURSOR ... gives them one).
    std::map<std::string, std::shared_ptr<DeclaredCursor>> localCursors;
    std::map<std::string, std::shared_ptr<DeclaredCursor>> cursorVariables;
    // Inside a procedure: its name (errors carry it; "" for a batch and
    // for dynamic SQL), its RETURN value, and the highest severity of the
    // errors it reported (its status when it returns no value).
    std::string procedure;
    bool inProcedure = false;
    std::optional<int> returnStatus;
    int worstSeverity = 0;
};

// "db.dbo.[p]" -> {"db", "dbo", "p"}: a procedure's name as a text.
std::vector<std::string> splitProcedureName(const std::string& text);

// The declarations of a statement and the statements inside it, in text order.
void collectDeclarations(const ast::Stmt& s, std::vector<const ast::DeclareStmt*>& out);

// A procedure's parsed definition, or an sp_executesql statement with its
// parameter list: what a call binds and runs.
struct Session::Procedure {
    std::string name;        // as created ("sp_executesql" for dynamic SQL)
    std::string database;    // where it lives: its body runs there ("" for dynamic SQL)
    int id = 0;
    bool dynamic = false;    // sp_executesql: errors carry no procedure name
    std::string definition;
    std::string parameterText;   // sp_executesql's @params as written
    std::shared_ptr<CachedBatch> cache;   // the parsed text; prepared statements
    std::vector<ast::ProcedureParameter> ownParameters;
    const std::vector<ast::ProcedureParameter>* parameters = nullptr;
    const std::vector<ast::StmtPtr>* body = nullptr;
};

// One argument of a call: an expression of the caller's batch (EXEC) or
// a typed value (Session::call).
struct Session::Argument {
    std::string name;        // "@p", or "" by position
    bool useDefault = false;
    bool output = false;
    const ast::Expr* expr = nullptr;
    Value value;
    SqlType type;
};

// A conversion of a value from one type to another, translated once.
struct Session::Conversion {
    CachedBatch cache;
    ast::Expr variable;
};

// Thrown by a failing statement inside a TRY block to the TRY ... CATCH
// statement running it. It is no std::exception, so that the statements
// it passes on its way (blocks, IF, WHILE, EXEC of a text) neither report
// nor stop it.
struct CatchJump {
    SqlError error;
};

// Keeps what a nested batch (EXEC of a text) produced when a jump to a
// CATCH block leaves it half-run: the TRY ... CATCH statement adds that
// output to its own batch's before the CATCH block runs.
struct Session::NestedOutputKeeper {
    NestedOutputKeeper(Session& session, BatchResult& result);
    ~NestedOutputKeeper();
    NestedOutputKeeper(const NestedOutputKeeper&) = delete;
    NestedOutputKeeper& operator=(const NestedOutputKeeper&) = delete;

    Session& session;
    BatchResult& result;
    int exceptions;   // in flight when the batch started
};
// Whether a declared type is the word CURSOR (DECLARE @c CURSOR).
inline bool isCursorType(const ast::TypeName& t)
{
    return t.length == -2 && equalsIgnoreCase(t.name, "cursor");
}

// Helpers that several of the executor's files use.

// Storage size SQL Server reports in syscolumns.length.
inline int storageLength(const SqlType& t)
{
    switch (t.base) {
    case BaseType::Bit: case BaseType::TinyInt: return 1;
    case BaseType::SmallInt: return 2;
    case BaseType::Int: case BaseType::Real: case BaseType::SmallMoney: case BaseType::SmallDateTime: return 4;
    case BaseType::BigInt: case BaseType::Float: case BaseType::Money: case BaseType::DateTime: return 8;
    case BaseType::Numeric: return t.precision <= 9 ? 5 : t.precision <= 19 ? 9 : t.precision <= 28 ? 13 : 17;
    case BaseType::Text: case BaseType::NText: case BaseType::Image: return 16;
    case BaseType::UniqueIdentifier: return 16;
    case BaseType::NChar: case BaseType::NVarChar: return t.length < 0 ? -1 : t.length * 2;
    default: return t.length;
    }
}

// The error for a table a statement names but that is not there (or is not
// a table this statement may change).
inline SqlException objectNotFound(int number, const std::string& name, int line)
{
    return SqlException(
        number, "Cannot find the object \"" + name + "\" because it does not exist or you do not have permissions.", line);
}

}  // namespace vqsql
