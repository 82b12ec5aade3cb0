// The executor: one engine session (what a connection holds). It owns the
// SQLite handle with every database of the instance it uses attached,
// runs batches statement by statement with SQL Server's error rules, keeps
// the batch's variables, and caches parsed batches and prepared statements.
#pragma once

#include "ast.h"
#include "catalog.h"
#include "connection.h"
#include "file_lock.h"
#include "session_options.h"
#include "translator.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

namespace vqsql {

// Whether the operating-system user `uid` may log in to the instance in
// `instanceFolder` without a password: the owner of the folder already
// has every database file in hand, so a trusted login grants nothing new.
bool mayLogInTrusted(const std::string& instanceFolder, unsigned uid);

class Session : public Catalog {
public:
    Session();
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the session on an instance folder; throws SqlException with
    // SQL Server's login errors. A trusted login is `sa` without a password,
    // granted only to the owner of the instance folder (see
    // mayLogInTrusted).
    void open(const std::string& instanceFolder, const std::string& database, const std::string& user,
              const std::string& password, bool trusted = false);

    // Runs a batch. While a cursor is open the batch is refused
    // (err::ConnectionBusy) and nothing of it runs.
    BatchResult run(const std::string& text);

    // ---- cursors (cursor.cpp) ----
    // One cursor at a time: the SELECT of a text, prepared at open and
    // stepped on demand by fetch. While it is open the session runs
    // nothing else (batches, transactions and another cursor are refused
    // with err::ConnectionBusy). It closes at its end, on a failed fetch
    // and on closeCursor, releasing its statement, its read snapshot and
    // the databases only it had opened.
    struct CursorState;
    // Throws SqlException: the errors the SELECT would report in a batch,
    // or err::Unsupported when the text is not one SELECT returning rows.
    std::shared_ptr<CursorState> openCursor(const std::string& text);
    // Up to `count` further rows appended to `out`; fewer than asked means
    // the end was reached and the cursor is closed. The command time-out
    // counts for each fetch on its own. A failed step closes the cursor
    // and throws.
    std::size_t fetch(CursorState& cursor, std::size_t count, std::vector<std::vector<Value>>& out);
    void closeCursor();
    bool cursorOpen() const { return cursor_ != nullptr; }

    // ---- Transact-SQL cursors (session_cursors.cpp) ----
    struct DeclaredCursor;

    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return tranCount_ > 0; }
    // Outermost transactions committed so far: a front end tells a commit
    // from a rollback by it.
    std::uint64_t committedTransactions() const { return commits_; }
    void setCommandTimeout(int seconds);
    void setProgressHandler(Connection::ProgressHandler handler) { progress_ = std::move(handler); }
    // Stops the running batch as soon as it can, from any thread: the
    // statement running (or waiting for a lock) is interrupted, reported
    // as a time-out, and the batch ends there; an open transaction stays
    // open, as after a client's attention signal. The request is cleared
    // when the next batch starts.
    void requestCancel() { cancelRequested_.store(true, std::memory_order_relaxed); }
    // Asked every few milliseconds while a batch runs, on the batch's
    // thread: true cancels the batch as requestCancel does. A network
    // server reads its client's attention signal here.
    void setCancelPoll(std::function<bool()> poll) { cancelPoll_ = std::move(poll); }
    int commandTimeout() const { return timeoutSeconds_; }

    // Catalog
    std::string currentDatabase() const override { return current_; }
    std::string schemaFor(const std::string& database) override;
    const TableInfo* findTable(const std::string& database, const std::string& name) override;
    const UserType* findUserType(const std::string& database, const std::string& name) override;
    bool identityInsertAllowed(const TableInfo& table) const override;
    bool ansiNulls() const override { return options_.isOn(option_bit::AnsiNulls); }

    struct CachedBatch;
    struct RunState;
    class CommandScope;

    // Temporary tables (session_temp.cpp). Drops the #tables created at a
    // deeper nesting level than `nestLevel` and forgets the SCOPE_IDENTITY()
    // values of those levels: what SQL Server does when a procedure or a
    // dynamic batch ends.
    void dropTemporaryTablesAbove(int nestLevel);
    // A pooled connection's reset: every #table goes, every cursor is
    // deallocated, @@FETCH_STATUS starts again (session_temp.cpp).
    void resetSessionScope();
    // Calls a procedure of the current database (or the engine's
    // sp_executesql) with typed values, as a remote procedure call does:
    // its results, its return status and its OUTPUT values
    // (session_procedures.cpp). Errors go into the result.
    CallResult call(const std::string& procedure, const std::vector<CallArgument>& arguments);

private:
    struct Attached {
        std::string name;    // as sysdatabases spells it
        std::string alias;   // SQLite schema name
        std::string file;
        std::string logFile;
        FileLock inUse;      // shared lock on the log file: "this database is in use"
        unsigned long long lastUse = 0;
    };

    // The master database's row of a database.
    struct DatabaseRow {
        std::string name, file, logFile, dataLogical, logLogical;
        int dbid = 0;
    };
    std::optional<DatabaseRow> databaseRow(const std::string& name);

    // Throws 18456 unless the login exists with this password.
    void checkLogin(const std::string& user, const std::string& password);
    void upgradeStoredPassword(const std::string& user, const std::string& password);

    // statements
    void execute(const ast::Stmt& s, RunState& st);
    void executeBlock(const std::vector<ast::StmtPtr>& body, RunState& st);
    void executeSelect(const ast::SelectStmt& s, RunState& st);
    void executeDml(const ast::Stmt& s, RunState& st);
    void executeDeclare(const ast::DeclareStmt& s, RunState& st);
    void executeSet(const ast::SetVariableStmt& s, RunState& st);
    void executeExec(const ast::ExecStmt& s, RunState& st);
    void executeTransaction(const ast::Stmt& s, RunState& st);
    bool evaluateCondition(const ast::Expr& e, RunState& st);
    Value evaluateScalar(const ast::Expr& e, const SqlType* target, RunState& st);
    void stepToRow(sqlite3_stmt* stmt);

    // Transact-SQL cursors (session_cursors.cpp)
    std::shared_ptr<DeclaredCursor> findCursor(const ast::CursorRef& ref, RunState& st);
    void declareCursor(const ast::DeclareCursorStmt& s, RunState& st);
    void openDeclaredCursor(DeclaredCursor& cursor, int line);
    static void closeDeclaredCursor(DeclaredCursor& cursor);
    void executeCursorStatement(const ast::CursorStmt& s, RunState& st);
    void executeFetch(const ast::FetchStmt& s, RunState& st);
    bool cursorRowGone(DeclaredCursor& cursor, std::size_t index);
    Value convertFetched(DeclaredCursor& cursor, std::size_t column, const Value& value, const SqlType& type);
    std::shared_ptr<DeclaredCursor> bindCurrentRow(const ast::Stmt& s, RunState& st);
    static void noteCurrentRowChanged(DeclaredCursor& cursor, bool deleted);
    long long cursorRows() const;
    int cursorStatus(const std::string& parameter, RunState& st) const;

    // DDL
    void createTable(const ast::CreateTableStmt& s, RunState& st);
    void alterTable(const ast::AlterTableStmt& s, RunState& st);
    void createView(const ast::CreateViewStmt& s, RunState& st);
    void createIndex(const ast::CreateIndexStmt& s);
    void createType(const std::string& name, const ast::TypeName& base, std::optional<bool> nullable,
                    const ast::Pos& pos);
    void drop(const ast::DropStmt& s);
    void truncate(const ast::TruncateStmt& s);
    void useDatabase(const ast::UseStmt& s, RunState& st);
    void setOption(const ast::SetOptionStmt& s, RunState& st);
    // The value of SET ROWCOUNT @v, SET DATEFORMAT @v ...: the variable's
    // value as text, or the value as written.
    std::string optionValue(const ast::SetOptionStmt& s, RunState& st);
    // Runs `step` (one INSERT, UPDATE or DELETE on `target`) so that it
    // changes at most SET ROWCOUNT rows.
    int stepWithRowLimit(sqlite3_stmt* stmt, const TableInfo* target);
    // SET XACT_ABORT ON: a failed statement rolls the transaction back and
    // ends the batch.
    void abortAfterError(RunState& st);
    std::int64_t lastIdentity(const ast::ObjectName& table);
    void systemProcedure(const std::string& name, const ast::ExecStmt& s, RunState& st);
    void renameObject(const std::string& objectName, const std::string& newName, const std::string& kind, int line);

    // procedures (session_procedures.cpp)
    struct Procedure;
    struct Argument;
    struct Conversion;
    void createProcedure(const ast::CreateProcedureStmt& s, RunState& st);
    void dropProcedure(const ast::ObjectName& name, bool ifExists, int line);
    // The procedure of that name, parsed (once per definition); nullptr when none.
    std::shared_ptr<Procedure> findProcedure(const ast::ObjectName& name);
    std::shared_ptr<Procedure> dynamicStatement(const std::string& statement, const std::string& parameters);
    // Runs a procedure: binds the arguments to its parameters (values[i]
    // the value of parameter i), runs its body one level deeper and gives
    // back its return status; `values` then hold the parameters' values.
    std::vector<Value> bindArguments(const Procedure& proc, const std::vector<SqlType>& types,
                                     const std::vector<Argument>& arguments, std::vector<int>& parameterOf,
                                     RunState& caller, int line);
    std::vector<SqlType> parameterTypes(const Procedure& proc);
    int invoke(const Procedure& proc, const std::vector<SqlType>& types, std::vector<Value>& values, RunState& caller);
    void executeProcedureCall(const Procedure& proc, const ast::ExecStmt& s, RunState& st);
    void executeSqlStatement(const ast::ExecStmt& s, RunState& st);
    std::vector<Argument> execArguments(const ast::ExecStmt& s, std::size_t first);
    void setReturnVariable(const ast::ExecStmt& s, int status, RunState& st);
    void helpText(const std::string& name, RunState& st, int line);
    Value convertValue(const Value& v, const SqlType& from, const SqlType& to);
    // Nesting one level deeper for a procedure or dynamic SQL; error 217 past 32.
    class NestScope;

    // helpers
    struct Prepared;
    std::shared_ptr<CachedBatch> parsedBatch(const std::string& text);
    void declareVariableTypes(const CachedBatch& cached, VariableTypes& types);
    // A SELECT translated, prepared and bound, ready to step.
    Prepared& prepareSelect(const ast::SelectStmt& s, RunState& st);
    // Steps a query once: true with a row to read, false at its end. The
    // statement is reset at its end and on failure, which throws SQL
    // Server's error for it.
    bool stepRow(sqlite3_stmt* stmt);
    // The current row of a query, each column converted to its SQL type.
    std::vector<Value> readRow(sqlite3_stmt* stmt, const std::vector<Column>& columns) const;
    // Inside a catch block: the errors of the exception that `s` threw.
    static std::vector<SqlError> currentErrors(const ast::Stmt& s);
    static SqlError connectionBusyError();
    void refuseWhileCursorOpen() const;
    Prepared& prepare(const void* key, RunState& st, const std::function<Translation(Translator&)>& translate);
    void bindParameters(Prepared& p, RunState& st);
    // Statements by shape (session_shapes.cpp): the cached statement of
    // the running top-level statement's shape, if any, with st.literals
    // set; and the recording of a new translation under that shape.
    std::shared_ptr<Prepared> preparedByShape(RunState& st, bool& shapeKnown);
    void rememberShape(const std::shared_ptr<Prepared>& p, RunState& st);
    // The SQLite error of a failed step, read at once (later SQLite calls
    // would overwrite it).
    struct StepError {
        int rc = 0;
        int extended = 0;
        std::string message;
    };
    StepError stepError(int rc) const;
    [[noreturn]] void throwStepError(const StepError& e, const TableInfo* target, bool isUpdate);
    void retire(std::map<std::string, std::unique_ptr<TableInfo>>& tables,
                std::map<std::string, std::unique_ptr<UserType>>& types);
    void noteTransactionLoss(RunState& st);
    [[noreturn]] void throwDuplicateKey(const std::string& message, const TableInfo* target);
    void checkBatch(const CachedBatch& cached);
    Value readColumn(sqlite3_stmt* stmt, int i, const SqlType& type) const;
    SqlType declaredColumnType(const ast::ColumnDef& def, const std::string& database, int ordinal,
                               bool& allowNulls);
    std::string columnDeclaration(const ColumnInfo& c, const ast::ColumnDef& def, const TableInfo& table);
    void insertColumnRows(const std::string& alias, int objectId, const std::vector<ColumnInfo>& columns,
                          const std::string& database);
    void withSavepoint(const std::function<void()>& body, bool immediate = true);
    void invalidateCaches();
    // The cached entry of a name, loaded on first use (nullptr when none).
    template <class T, class Load>
    const T* cachedLookup(std::map<std::string, std::unique_ptr<T>>& perDb, const std::string& name, Load load);
    void attach(const std::string& name, const std::string& file, const std::string& logFile);
    void detach(const std::string& name);
    void detachLeastUsed();
    void detachUnused();
    void ensureAttached(const std::vector<std::string>& databases);

    // temporary tables and SELECT ... INTO (session_temp.cpp)
    void openTemporaryStores();
    void dropOwnGlobalTemporaryTables();
    const TableInfo* findTemporaryTable(const std::string& name);
    std::string temporaryTableAlias(const std::string& name);
    // Notes who created a new temporary table: its nesting level (#t) or
    // this session (##t).
    void recordTemporaryTable(const std::string& alias, int id);
    void selectInto(const ast::SelectStmt& s, RunState& st);
    // A dynamic batch (EXEC('...'), sp_executesql) one nesting level
    // deeper; the #tables it created go at its end.
    BatchResult runNested(const std::string& text);
    void noteScopeIdentity(std::int64_t value);
    Value scopeIdentity();

    // database statements (session_databases.cpp)
    void createDatabase(const ast::CreateDatabaseStmt& s, RunState& st);
    void dropDatabase(const ast::DropDatabaseStmt& s);
    void alterDatabase(const ast::AlterDatabaseStmt& s);
    void backupDatabase(const ast::BackupStmt& s, RunState& st);
    void restore(const ast::RestoreStmt& s, RunState& st);
    void restoreDatabase(const ast::RestoreStmt& s, const std::string& file, RunState& st);
    std::string diskPath(const ast::Expr& e, RunState& st);
    FileLock lockExclusively(const DatabaseRow& row, int inUseError, const std::string& inUseMessage,
                             const std::string& operation);
    void checkDeadline();
    // The command time-out has passed or the batch was cancelled.
    bool interruptRequested();
    static int interruptHandler(void* session);
    static int busyHandler(void* session, int attempt);
    void reportFailure(const std::vector<SqlError>& errors, const ast::Stmt& s, RunState& st);
    std::string hostName() const;

    // ---- TRY ... CATCH, RAISERROR, WAITFOR, savepoints (session_errors.cpp) ----
    struct TryScope;
    struct CatchScope;
    struct NestedOutputKeeper;
    void executeTryCatch(const ast::TryCatchStmt& s, RunState& st);
    void executeRaiserror(const ast::RaiserrorStmt& s, RunState& st);
    void executeWaitFor(const ast::WaitForStmt& s, RunState& st);
    // Inside a TRY block, a catchable error of statement `s` goes to the
    // CATCH block: throws CatchJump. Returns when the error goes to the
    // client.
    void jumpToCatch(const std::vector<SqlError>& errors, const ast::Stmt& s, RunState& st);
    // ERROR_NUMBER() ... ERROR_PROCEDURE() and XACT_STATE(), bound as
    // the parameters "@@error_number" ... "@@xact_state".
    Value errorFunctionValue(const std::string& parameter) const;
    // 3930 for a statement that writes while the transaction is doomed.
    void refuseWriteWhenDoomed(const ast::Stmt& s) const;
    // At the end of the client's batch a doomed transaction is rolled back (3998).
    void endDoomedTransaction(BatchResult& result, int line);
    std::string transactionNameValue(const std::string& written, RunState& st);
    // An expression's value and its SQL type (RAISERROR tells msg_id from msg_str by it).
    Value evaluateWithType(const ast::Expr& e, SqlType& type, RunState& st);
    void saveTransaction(const std::string& name, int line);
    // ROLLBACK TRAN [name]: the whole transaction, or back to a savepoint.
    void rollbackTransaction(const std::string& name, int line);

    sqlite3* db_ = nullptr;
    std::string folder_;
    std::string current_;
    std::string user_;
    std::map<std::string, Attached> attached_;   // lower-cased name -> attachment
    std::vector<std::string>* attachLog_ = nullptr;   // databases a translation reaches
    unsigned long long useCounter_ = 0;
    int tranCount_ = 0;
    std::uint64_t commits_ = 0;
    int timeoutSeconds_ = 30;
    Connection::ProgressHandler progress_;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
    std::atomic<bool> cancelRequested_{false};
    std::function<bool()> cancelPoll_;
    std::chrono::steady_clock::time_point nextCancelPoll_{};
    std::chrono::steady_clock::time_point busySince_{};
    int runDepth_ = 0;
    long long rowCount_ = 0;
    bool noCount_ = false;           // SET NOCOUNT ON: no row counts reported to the client
    SessionOptions options_;         // the other SET options
    RowLimitCounter rowLimit_;       // the data statement running under SET ROWCOUNT
    int lastError_ = 0;
    long long identity_ = 0;
    // SCOPE_IDENTITY(): the last identity value inserted at each nesting
    // level still running.
    std::map<int, std::int64_t> scopeIdentities_;
    // Who created the global temporary tables of the shared tempdb: this
    // session's mark, unique across processes.
    std::string globalTempOwner_;
    int spid_;   // @@SPID
    int nestLevel_ = 0;   // @@NESTLEVEL: procedures and dynamic SQL running inside one another
    int statementDepth_ = 0;   // statements running inside one another (Session::execute)
    std::vector<int> tryLevels_;           // nestLevel_ of each TRY block running, innermost last
    std::vector<SqlError> caughtErrors_;   // the errors the running CATCH blocks handle, innermost last
    std::vector<BatchResult> jumpOutput_;  // output of nested batches a jump to CATCH left, innermost first
    bool doomed_ = false;                  // XACT_STATE() -1: the transaction can only be rolled back
    std::string transactionName_;          // BEGIN TRAN name of the outermost transaction
    // SAVE TRAN names as written and the SQLite savepoints they stand for, oldest first.
    std::vector<std::pair<std::string, std::string>> savepoints_;
    unsigned savepointCounter_ = 0;
    int procId_ = 0;      // @@PROCID: the object id of the running procedure (0 in a batch)

    unsigned long long cacheGeneration_ = 0;
    std::map<std::string, std::map<std::string, std::unique_ptr<TableInfo>>> tableCache_;   // alias -> name -> info
    std::map<std::string, std::map<std::string, std::unique_ptr<UserType>>> typeCache_;
    // Entries dropped from the caches during a batch stay alive until the
    // next batch starts: a translation in progress may still point at them.
    std::vector<std::unique_ptr<TableInfo>> retiredTables_;
    std::vector<std::unique_ptr<UserType>> retiredTypes_;
    std::set<std::string> identityInsert_;   // tables under SET IDENTITY_INSERT ... ON (lower-cased)
    std::unordered_map<std::string, std::shared_ptr<CachedBatch>> batchCache_;
    // Translated, prepared statements by shape: the statement's text with
    // its parameterizable literals replaced by their types
    // (session_shapes.cpp). Cleared by SET statements, whose options may
    // change a translation.
    std::unordered_map<std::string, std::shared_ptr<Prepared>> shapeCache_;
    std::string shapeKey_;   // reused buffer
    // Procedures parsed from their stored definitions (database alias and
    // lower-cased name), and sp_executesql texts with their parameter lists.
    std::map<std::string, std::shared_ptr<Procedure>> procedureCache_;
    std::unordered_map<std::string, std::shared_ptr<Procedure>> dynamicCache_;
    std::map<std::string, std::unique_ptr<Conversion>> conversions_;
    // The open cursor; its RowCursor holds it weakly, so closing the
    // session invalidates the RowCursor instead of leaving it dangling.
    std::shared_ptr<CursorState> cursor_;
    // Transact-SQL cursors: the GLOBAL ones by lower-cased name (LOCAL ones
    // live in their batch's RunState), the one opened last (@@CURSOR_ROWS)
    // and the status of the last FETCH (@@FETCH_STATUS).
    std::map<std::string, std::shared_ptr<DeclaredCursor>> globalCursors_;
    std::weak_ptr<DeclaredCursor> lastOpened_;
    int fetchStatus_ = -1;
};

}  // namespace vqsql
