// The executor: runs parsed batches on SQLite with SQL Server's rules.
//
// Error rules: a syntax error rejects the whole batch before anything runs;
// a statement that fails at run time reports its error and the batch goes
// on with the next statement; the batch then reports failure.
#include "session.h"
#include "session_internal.h"

#include "foreign_keys.h"
#include "functions.h"
#include "information_schema.h"
#include "gbk.h"
#include "instance.h"
#include "parser.h"
#include "view_update.h"
#include "password_hash.h"
#include "sqlite_util.h"
#include "version.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <thread>
#include <filesystem>
#include <functional>
#include <new>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vqsql {

namespace {

// Sessions of one process get distinct @@SPID values, from 51 as in SQL
// Server (the numbers below belong to its system processes).
int nextSessionId()
{
    static std::atomic<int> counter{0};
    return 51 + counter.fetch_add(1, std::memory_order_relaxed) % 32000;
}

}  // namespace

Session::Session() : spid_(nextSessionId()) {}

namespace {

constexpr std::size_t kBatchCacheLimit = 256;
// A batch text of this many bytes and more is a script: checked whole
// first, then parsed again statement by statement as it runs, so that its
// syntax trees never all stand in memory at once.
constexpr std::size_t kScriptBytes = 64 * 1024;
// A batch of more statements than this (a script) keeps no prepared
// statements of its own; they stay in the session's cache by shape.
constexpr std::size_t kBatchSlotLimit = 64;

// vq_row_limit_reached(): counts a row a data statement reaches and tells
// whether the SET ROWCOUNT limit was already full.
void rowLimitReachedFunction(sqlite3_context* ctx, int, sqlite3_value**)
{
    auto* counter = static_cast<RowLimitCounter*>(sqlite3_user_data(ctx));
    sqlite3_result_int(ctx, ++counter->seen > counter->limit ? 1 : 0);
}

// vq_chk_len(x, n): x unchanged when its GBK length fits n bytes, error
// 8152 otherwise. Trailing blanks beyond the length are dropped silently,
// as SQL Server does when it pads.
void chkLenFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    const char* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    int bytes = sqlite3_value_bytes(argv[0]);
    std::int64_t limit = sqlite3_value_int64(argv[1]);
    // vq_chk_len counts GBK bytes (varchar), vq_chk_nlen characters (nvarchar).
    const bool characters = sqlite3_user_data(ctx) != nullptr;
    auto length = [&](std::string_view t) {
        return static_cast<std::int64_t>(characters ? utf8Length(t) : gbkByteLength(t));
    };
    std::string_view view(text ? text : "", static_cast<std::size_t>(bytes));
    if (length(view) <= limit) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    std::string_view trimmed = view;
    while (!trimmed.empty() && trimmed.back() == ' ')
        trimmed.remove_suffix(1);
    if (length(trimmed) <= limit) {
        std::string padded(trimmed);
        while (length(padded) < limit)
            padded.push_back(' ');
        sqlite3_result_text(ctx, padded.data(), static_cast<int>(padded.size()), SQLITE_TRANSIENT);
        return;
    }
    std::string message = makeEngineError(err::Truncation, "String or binary data would be truncated.");
    sqlite3_result_error(ctx, message.data(), static_cast<int>(message.size()));
}

// A cheap clock for the command time-out: the coarse monotonic clock
// (a few milliseconds of resolution) costs far less than the precise one,
// and it is read before every statement and during long ones.
std::chrono::steady_clock::time_point coarseNow()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return std::chrono::steady_clock::time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}


std::string schemaAliasFor(const std::string& name)
{
    std::string alias = lowerAscii(name);
    if (alias == "main" || alias == "temp")
        alias = "db_" + alias;
    return alias;
}

// Text view of a SQLite value as a date-time text, kept as stored.
std::string columnString(sqlite3_stmt* stmt, int i)
{
    const unsigned char* p = sqlite3_column_text(stmt, i);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)))
             : std::string();
}

}  // namespace

Session::~Session()
{
    // An open cursor's statement goes before the handle closes; its
    // RowCursor then finds the cursor gone.
    cursor_.reset();
    globalCursors_.clear();
    batchCache_.clear();
    procedureCache_.clear();
    dynamicCache_.clear();
    conversions_.clear();
    shapeCache_.clear();
    if (db_) {
        dropOwnGlobalTemporaryTables();   // the #tables go with the handle
        sqlite3_close_v2(db_);
    }
}

// ---- opening ------------------------------------------------------------------

bool mayLogInTrusted(const std::string& instanceFolder, unsigned uid)
{
    struct stat info {};
    return !instanceFolder.empty() && ::stat(instanceFolder.c_str(), &info) == 0 && info.st_uid == uid;
}

void Session::open(const std::string& instanceFolder, const std::string& database, const std::string& user,
                   const std::string& password, bool trusted)
{
    folder_ = instanceFolder;
    const std::string connectError =
        "[DBNETLIB][ConnectionOpen (Connect()).]SQL Server does not exist or access denied.";
    if (folder_.empty() || !isInstanceRunning(folder_))
        throw SqlException(17, connectError, 0, 16);
    if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        throw SqlException(err::Internal, "cannot open SQLite");
    if (registerEngineFunctions(db_) != SQLITE_OK)
        throw SqlException(err::Internal, "cannot register the engine's functions");
    static int countCharacters = 1;
    sqlite3_create_function_v2(db_, "vq_chk_len", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, chkLenFunction,
                               nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "vq_chk_nlen", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, &countCharacters,
                               chkLenFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db_, "vq_row_limit_reached", 0, SQLITE_UTF8, &rowLimit_, rowLimitReachedFunction, nullptr,
                               nullptr, nullptr);
    // Long statements are stopped at the command time-out or on cancel.
    sqlite3_progress_handler(db_, 1000, interruptHandler, this);
    setCommandTimeout(timeoutSeconds_);
    attach("master", instanceMasterFile(folder_), instanceDataFolder(folder_) + "/mastlog.ldf");

    if (trusted) {
        if (!mayLogInTrusted(folder_, ::getuid()))
            throw SqlException(18452,
                               "Login failed. The login is from an untrusted domain and cannot be used with Windows "
                               "authentication.",
                               1, 14);
        user_ = "sa";
    } else {
        checkLogin(user, password);
        user_ = user;
    }
    // Files that killed restores left behind go when the instance is opened.
    removeAbandonedRestores(folder_);
    openTemporaryStores();

    std::string name = database.empty() ? "master" : database;
    std::string alias;
    try {
        alias = schemaFor(name);
    } catch (const SqlException&) {
        throw SqlException(4060, "Cannot open database \"" + name + "\" requested by the login. The login failed.",
                           1, 11);
    }
    for (const auto& [key, a] : attached_)
        if (a.alias == alias)
            current_ = a.name;
}

void Session::checkLogin(const std::string& user, const std::string& password)
{
    std::string storedPassword;
    bool loginFound = false;
    {
        Stmt q(db_, "SELECT password FROM master.syslogins WHERE name = ?1 COLLATE vq_ci");
        q.bind(1, user);
        if (q.step()) {
            loginFound = true;
            storedPassword = q.columnText(0);
        }
    }
    // An unknown login costs a hash check too, so that the time taken does
    // not tell which logins exist.
    static const std::string unknownLogin = hashPassword("");
    if (!passwordMatches(loginFound ? storedPassword : unknownLogin, password) || !loginFound)
        throw SqlException(18456, "Login failed for user '" + user + "'.", 1, 14);
    if (!isPasswordHash(storedPassword))
        upgradeStoredPassword(user, password);
}

// A password an older instance kept as plain text is replaced by its hash
// at the first successful login. Another connection busy in master only
// delays the upgrade to a later login.
void Session::upgradeStoredPassword(const std::string& user, const std::string& password)
{
    try {
        Stmt u(db_, "UPDATE master.syslogins SET password = ?1 WHERE name = ?2 COLLATE vq_ci AND password = ?3");
        u.bind(1, hashPassword(password)).bind(2, user).bind(3, password);
        u.step();
    } catch (const SqlException&) {
    }
    restrictToOwner(instanceMasterFile(folder_));
    restrictToOwner(instanceDataFolder(folder_) + "/mastlog.ldf");
}

void Session::attach(const std::string& name, const std::string& file, const std::string& logFile)
{
    if (static_cast<int>(attached_.size()) + 1 >= sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, -1))
        detachLeastUsed();
    Attached a;
    a.name = name;
    a.alias = schemaAliasFor(name);
    a.file = file;
    a.logFile = logFile;
    a.lastUse = ++useCounter_;
    // The shared lock says "in use" to DROP and RESTORE in any process; a
    // restore in progress holds the exclusive lock.
    if (!logFile.empty() && !a.inUse.lockShared(logFile))
        throw SqlException(927, "Database '" + name + "' cannot be opened. It is in the middle of a restore.");
    removeAbandonedRestore(file);
    if (!std::filesystem::exists(file))
        throw SqlException(5120, "Unable to open the physical file \"" + file +
                                     "\". Operating system error 2: \"2(The system cannot find the file specified.)\".");
    execSql(db_, "ATTACH DATABASE " + quoteString(file) + " AS " + quoteIdent(a.alias));
    // WAL lets readers of other connections go on while one connection
    // writes; NORMAL synchronisation keeps every commit across a crash of
    // the process (a power failure may lose the last commits, never the
    // database).
    try {
        execSql(db_, "PRAGMA " + quoteIdent(a.alias) + ".journal_mode=WAL");
        execSql(db_, "PRAGMA " + quoteIdent(a.alias) + ".synchronous=NORMAL");
    } catch (const SqlException&) {
        // A read-only or busy file keeps its journal mode.
    }
    attached_.emplace(lowerAscii(name), std::move(a));
}

void Session::detach(const std::string& name)
{
    auto it = attached_.find(lowerAscii(name));
    if (it == attached_.end())
        return;
    execSql(db_, "DETACH DATABASE " + quoteIdent(it->second.alias));
    retire(tableCache_[it->second.alias], typeCache_[it->second.alias]);
    tableCache_.erase(it->second.alias);
    typeCache_.erase(it->second.alias);
    attached_.erase(it);   // releases the lock
}

void Session::detachLeastUsed()
{
    if (tranCount_ > 0)
        throw SqlException(err::Internal, "Too many databases are in use inside one transaction.");
    auto victim = attached_.end();
    for (auto it = attached_.begin(); it != attached_.end(); ++it) {
        if (it->first == "master" || it->first == kTempdbName || equalsIgnoreCase(it->second.name, current_))
            continue;
        if (victim == attached_.end() || it->second.lastUse < victim->second.lastUse)
            victim = it;
    }
    if (victim == attached_.end())
        throw SqlException(err::Internal, "Too many databases are in use.");
    detach(victim->second.name);
}

// After a batch, only master and the current database stay open: a
// database reached by a three-part name is in use only while a batch (or
// a transaction) needs it, as in SQL Server, so that it can be dropped or
// restored from another connection.
void Session::detachUnused()
{
    if (tranCount_ > 0)
        return;
    std::vector<std::string> names;
    for (const auto& [key, a] : attached_)
        if (key != "master" && key != kTempdbName && !equalsIgnoreCase(a.name, current_))
            names.push_back(a.name);
    for (const std::string& n : names) {
        try {
            detach(n);
        } catch (const SqlException&) {
            // Still busy: it goes after the next batch.
        }
    }
}

// A cached statement names databases by their aliases: they must be
// attached again before it runs.
void Session::ensureAttached(const std::vector<std::string>& databases)
{
    for (const std::string& d : databases)   // lower-cased when recorded
        if (!attached_.count(d))
            schemaFor(d);
}

std::optional<Session::DatabaseRow> Session::databaseRow(const std::string& name)
{
    Stmt q(db_, "SELECT name, filename, logfilename, datalogical, loglogical, dbid FROM master.sysdatabases "
                "WHERE name = ?1 COLLATE vq_ci");
    q.bind(1, name);
    if (!q.step())
        return std::nullopt;
    DatabaseRow r;
    r.name = q.columnText(0);
    r.file = q.columnText(1);
    r.logFile = q.columnText(2);
    r.dataLogical = q.columnText(3);
    r.logLogical = q.columnText(4);
    r.dbid = static_cast<int>(q.columnInt(5));
    return r;
}

std::string Session::hostName() const
{
    char host[256] = {0};
    gethostname(host, sizeof host - 1);
    return host;
}

// ---- catalogue ----------------------------------------------------------------

std::string Session::schemaFor(const std::string& database)
{
    const std::string name = database.empty() ? current_ : database;
    auto it = attached_.find(lowerAscii(name));
    if (it != attached_.end()) {
        it->second.lastUse = ++useCounter_;
        if (attachLog_)
            attachLog_->push_back(lowerAscii(it->second.name));
        return it->second.alias;
    }
    if (attachLog_)
        attachLog_->push_back(lowerAscii(name));
    auto row = databaseRow(name);
    if (!row)
        throw SqlException(911, "Database '" + name + "' does not exist. Make sure that the name is entered correctly.");
    if (tranCount_ > 0)
        throw SqlException(err::Internal,
                           "Database '" + row->name + "' cannot be opened for the first time inside a transaction.");
    attach(row->name, row->file, row->logFile);
    return schemaAliasFor(row->name);
}

void Session::retire(std::map<std::string, std::unique_ptr<TableInfo>>& tables,
                     std::map<std::string, std::unique_ptr<UserType>>& types)
{
    for (auto& [name, info] : tables)
        retiredTables_.push_back(std::move(info));
    for (auto& [name, type] : types)
        retiredTypes_.push_back(std::move(type));
    tables.clear();
    types.clear();
}

template <class T, class Load>
const T* Session::cachedLookup(std::map<std::string, std::unique_ptr<T>>& perDb, const std::string& name, Load load)
{
    const std::string key = lowerAscii(name);
    auto it = perDb.find(key);
    if (it != perDb.end())
        return it->second.get();
    std::optional<T> loaded = load();
    if (!loaded)
        return nullptr;
    auto stored = std::make_unique<T>(std::move(*loaded));
    const T* result = stored.get();
    perDb[key] = std::move(stored);
    return result;
}

void Session::invalidateCaches()
{
    for (auto& [alias, tables] : tableCache_)
        retire(tables, typeCache_[alias]);
    for (auto& [alias, types] : typeCache_)
        retire(tableCache_[alias], types);
    tableCache_.clear();
    typeCache_.clear();
    shapeCache_.clear();
    cacheGeneration_ = schemaGeneration();
}

const TableInfo* Session::findTable(const std::string& database, const std::string& name)
{
    if (cacheGeneration_ != schemaGeneration())
        invalidateCaches();
    if (isTemporaryTableName(name))
        return findTemporaryTable(name);
    std::string alias;
    try {
        alias = schemaFor(database);
    } catch (const SqlException&) {
        return nullptr;
    }
    auto& perDb = tableCache_[alias];
    return cachedLookup(perDb, name, [&]() -> std::optional<TableInfo> {
        auto info = loadTableInfo(db_, alias, name);
        if (info)
            for (const auto& [k, a] : attached_)
                if (a.alias == alias)
                    info->database = a.name;
        return info;
    });
}

const UserType* Session::findUserType(const std::string& database, const std::string& name)
{
    if (cacheGeneration_ != schemaGeneration())
        invalidateCaches();
    const std::string alias = schemaFor(database);
    return cachedLookup(typeCache_[alias], name, [&] { return loadUserType(db_, alias, name); });
}

// ---- transactions and time-outs ---------------------------------------------

void Session::setCommandTimeout(int seconds)
{
    timeoutSeconds_ = seconds < 0 ? 0 : seconds;
    sqlite3_busy_handler(db_, busyHandler, this);
}

bool Session::interruptRequested()
{
    if (cancelRequested_.load(std::memory_order_relaxed))
        return true;
    const auto now = coarseNow();
    if (cancelPoll_ && now >= nextCancelPoll_) {
        nextCancelPoll_ = now + std::chrono::milliseconds(5);
        if (cancelPoll_()) {
            requestCancel();
            return true;
        }
    }
    return deadline_ != std::chrono::steady_clock::time_point::max() && now > deadline_;
}

int Session::interruptHandler(void* session)
{
    return static_cast<Session*>(session)->interruptRequested() ? 1 : 0;
}

// Waiting for another connection's lock counts against the time-out; with
// no time-out a lock is waited for up to a minute. A cancel ends the wait.
int Session::busyHandler(void* session, int attempt)
{
    auto* self = static_cast<Session*>(session);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0)
        self->busySince_ = now;
    if (self->interruptRequested())
        return 0;
    const auto limit = std::chrono::milliseconds(self->timeoutSeconds_ > 0 ? self->timeoutSeconds_ * 1000 : 60000);
    if (now - self->busySince_ >= limit)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(attempt < 10 ? 1 : 5));
    return 1;
}

void Session::beginTransaction()
{
    refuseWhileCursorOpen();
    if (tranCount_ == 0) {
        execSql(db_, "BEGIN");
        doomed_ = false;
        transactionName_.clear();
        savepoints_.clear();
    }
    ++tranCount_;
}

void Session::commit()
{
    refuseWhileCursorOpen();
    if (tranCount_ == 0)
        throw SqlException(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    if (doomed_)
        throw SqlException(3930, "The current transaction cannot be committed and cannot support operations that "
                                 "write to the log file. Roll back the transaction.");
    if (tranCount_ == 1) {
        if (sqlite3_get_autocommit(db_)) {
            // SQLite ended the transaction itself (an interrupted statement).
            tranCount_ = 0;
            throw SqlException(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        }
        execSql(db_, "COMMIT");   // on failure the transaction stays open and counted
        ++commits_;
    }
    --tranCount_;
}

void Session::rollback()
{
    refuseWhileCursorOpen();
    if (tranCount_ == 0)
        throw SqlException(3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    tranCount_ = 0;
    doomed_ = false;
    if (!sqlite3_get_autocommit(db_))
        execSql(db_, "ROLLBACK");
    // A rollback may undo DDL: cached catalogue entries are stale.
    bumpSchemaGeneration();
}

void Session::checkDeadline()
{
    if (interruptRequested())
        throw SqlException(err::Timeout, "Query timeout expired");
}

// Runs a DDL statement's SQLite steps all or nothing. Outside a user
// transaction it takes the write lock at once (BEGIN IMMEDIATE), so that
// a writer committing in between makes it wait instead of fail. DDL on a
// session's own #tables (`immediate` false) locks only what it writes:
// BEGIN IMMEDIATE would lock every attached database.
void Session::withSavepoint(const std::function<void()>& body, bool immediate)
{
    const bool own = sqlite3_get_autocommit(db_) != 0;
    execSql(db_, own ? (immediate ? "BEGIN IMMEDIATE" : "BEGIN") : "SAVEPOINT vq_stmt");
    try {
        body();
    } catch (...) {
        try {
            execSql(db_, own ? "ROLLBACK" : "ROLLBACK TO vq_stmt; RELEASE vq_stmt");
        } catch (...) {
        }
        bumpSchemaGeneration();
        throw;
    }
    execSql(db_, own ? "COMMIT" : "RELEASE vq_stmt");
    bumpSchemaGeneration();
}

// ---- running batches ----------------------------------------------------------

// Declared variables of the whole batch, in text order (SQL Server knows a
// variable from its DECLARE onwards, whatever branch it sits in).
void collectDeclarations(const ast::Stmt& s, std::vector<const ast::DeclareStmt*>& out)
{
    switch (s.kind) {
    case ast::StmtKind::Declare: out.push_back(static_cast<const ast::DeclareStmt*>(&s)); break;
    case ast::StmtKind::Block:
        for (const auto& c : static_cast<const ast::BlockStmt&>(s).body)
            collectDeclarations(*c, out);
        break;
    case ast::StmtKind::If: {
        const auto& i = static_cast<const ast::IfStmt&>(s);
        if (i.thenStmt)
            collectDeclarations(*i.thenStmt, out);
        if (i.elseStmt)
            collectDeclarations(*i.elseStmt, out);
        break;
    }
    case ast::StmtKind::While: {
        const auto& w = static_cast<const ast::WhileStmt&>(s);
        if (w.body)
            collectDeclarations(*w.body, out);
        break;
    }
    case ast::StmtKind::TryCatch: {
        const auto& t = static_cast<const ast::TryCatchStmt&>(s);
        for (const auto& c : t.tryBody)
            collectDeclarations(*c, out);
        for (const auto& c : t.catchBody)
            collectDeclarations(*c, out);
        break;
    }
    default: break;
    }
}

// What SQL Server refuses when it compiles a batch, before any of it runs.
void Session::checkBatch(const CachedBatch& cached)
{
    std::set<std::string> declared;
    for (const ast::DeclareStmt* d : cached.declarations)
        for (const ast::VariableDecl& v : d->variables)
            if (!declared.insert(lowerAscii(v.name)).second)
                throw SqlException(err::AlreadyDeclared,
                                   "The variable name '" + v.name +
                                       "' has already been declared. Variable names must be unique within a query "
                                       "batch or stored procedure.",
                                   v.pos.line, 15);
    const auto& statements = cached.batch->statements;
    for (std::size_t i = 1; i < statements.size(); ++i) {
        if (statements[i]->kind == ast::StmtKind::CreateView)
            throw SqlException(111, "'CREATE VIEW' must be the first statement in a query batch.",
                               statements[i]->pos.line, 15);
        if (statements[i]->kind == ast::StmtKind::CreateProcedure)
            throw SqlException(111, "'CREATE/ALTER PROCEDURE' must be the first statement in a query batch.",
                               statements[i]->pos.line, 15);
    }
}

// The parsed form of a batch text, from the cache or parsed now; throws
// SqlException for a batch SQL Server would refuse before running any of it.
std::shared_ptr<Session::CachedBatch> Session::parsedBatch(const std::string& text)
{
    // Under SET QUOTED_IDENTIFIER OFF the same text parses differently.
    const bool quotedIdentifiers = options_.isOn(option_bit::QuotedIdentifier);
    const std::string key = quotedIdentifiers ? text : std::string("\0QI-OFF\0", 8) + text;
    auto it = batchCache_.find(key);
    if (it != batchCache_.end())
        return it->second;
    auto cached = std::make_shared<CachedBatch>();
    cached->batch = parseBatch(text, quotedIdentifiers);
    for (const auto& s : cached->batch->statements)
        collectDeclarations(*s, cached->declarations);
    checkBatch(*cached);
    if (batchCache_.size() >= kBatchCacheLimit)
        batchCache_.clear();
    batchCache_[key] = cached;
    return cached;
}

namespace {

// A long script checked as SQL Server checks a batch before running any
// of it: every statement parsed (and let go again), the DECLAREs kept.
std::shared_ptr<Session::CachedBatch> checkedScript(const std::string& text, bool quotedIdentifiers)
{
    auto cached = std::make_shared<Session::CachedBatch>();
    cached->script = true;
    cached->batch = std::make_unique<ast::Batch>();
    cached->batch->text = text;
    StatementReader reader(text, false, quotedIdentifiers);
    bool first = true;
    while (ast::StmtPtr s = reader.next()) {
        if (!first && s->kind == ast::StmtKind::CreateView)
            throw SqlException(111, "'CREATE VIEW' must be the first statement in a query batch.", s->pos.line, 15);
        if (!first && s->kind == ast::StmtKind::CreateProcedure)
            throw SqlException(111, "'CREATE/ALTER PROCEDURE' must be the first statement in a query batch.",
                               s->pos.line, 15);
        first = false;
        const std::size_t declared = cached->declarations.size();
        collectDeclarations(*s, cached->declarations);
        if (cached->declarations.size() > declared)
            cached->owned.push_back(std::move(s));
    }
    return cached;
}

}  // namespace

Session::CommandScope::CommandScope(Session& session) : session_(session), outermost_(session.runDepth_++ == 0)
{
    if (!outermost_)
        return;
    session_.retiredTables_.clear();
    session_.retiredTypes_.clear();
    session_.scopeIdentities_.clear();   // each batch of the client is a scope of its own
    setThreadDateSettings(session_.options_.dates);
    session_.cancelRequested_.store(false, std::memory_order_relaxed);
    if (session_.timeoutSeconds_ > 0)
        session_.deadline_ = coarseNow() + std::chrono::seconds(session_.timeoutSeconds_);
}

Session::CommandScope::~CommandScope()
{
    if (--session_.runDepth_ == 0)
        session_.deadline_ = std::chrono::steady_clock::time_point::max();
}

// The types of every variable a batch or procedure declares, known before
// it runs (SQL Server knows a variable from its DECLARE onwards, whatever
// branch it sits in). Cursor variables are the cursors' business.
void Session::declareVariableTypes(const CachedBatch& cached, VariableTypes& types)
{
    for (const ast::DeclareStmt* d : cached.declarations) {
        for (const ast::VariableDecl& v : d->variables) {
            if (isCursorType(v.type))
                continue;
            try {
                Translator tr(*this, types);
                SqlType t = tr.resolveType(v.type, "", 1);
                if (t.isText() && t.length == -2)
                    t.length = 1;
                types[lowerAscii(v.name)] = VariableInfo{t, v.pos.offset};
            } catch (const SqlException&) {
                // Reported when the DECLARE itself runs.
            }
        }
    }
}

BatchResult Session::run(const std::string& text)
{
    BatchResult result;
    if (cursor_) {
        result.addError(connectionBusyError());
        return result;
    }
    std::shared_ptr<CachedBatch> cached;
    try {
        if (text.size() >= kScriptBytes) {
            cached = checkedScript(text, options_.isOn(option_bit::QuotedIdentifier));
            checkBatch(*cached);
        } else {
            cached = parsedBatch(text);
        }
    } catch (const SqlException& e) {
        // A text run by EXEC inside TRY that does not compile is an error
        // one level down: its caller's CATCH block handles it.
        if (!tryLevels_.empty() && runDepth_ > 0 && e.errors().front().severity > 10 &&
            e.errors().front().severity < 20) {
            lastError_ = e.number();
            throw CatchJump{e.errors().front()};
        }
        for (const SqlError& error : e.errors())
            result.addError(error);
        lastError_ = e.number();
        return result;
    }

    RunState st;
    st.result = &result;
    st.cache = cached.get();
    // The time-out counts for the whole batch; a nested batch (EXEC of a
    // text) runs within its caller's time.
    CommandScope command(*this);
    NestedOutputKeeper keepOnJump(*this, result);

    declareVariableTypes(*cached, st.types);

    // Statement by statement, each known as top-level with where its text
    // ends (for the cache by shape).
    if (cached->script) {
        StatementReader reader(text, true, options_.isOn(option_bit::QuotedIdentifier));
        ast::StmtPtr current = reader.next();
        while (current && !(st.returned || st.breaking || st.continuing)) {
            ast::StmtPtr next = reader.next();
            st.statement = current.get();
            st.statementEnd = next ? next->pos.offset : text.size();
            execute(*current, st);
            current = std::move(next);
        }
    } else {
        const auto& statements = cached->batch->statements;
        for (std::size_t i = 0; i < statements.size(); ++i) {
            if (st.returned || st.breaking || st.continuing)
                break;
            st.statement = statements[i].get();
            st.statementEnd =
                i + 1 < statements.size() ? statements[i + 1]->pos.offset : cached->batch->text.size();
            execute(*statements[i], st);
        }
    }
    st.statement = nullptr;
    st.running.reset();
    if (command.outermost())
        endDoomedTransaction(result, 1);
    if (command.outermost())
        detachUnused();
    return result;
}

void Session::executeBlock(const std::vector<ast::StmtPtr>& body, RunState& st)
{
    for (const auto& s : body) {
        if (st.returned || st.breaking || st.continuing)
            return;
        execute(*s, st);
    }
}

void Session::execute(const ast::Stmt& s, RunState& st)
{
    // Statements inside statements, across procedures and dynamic batches
    // too: a bound keeps a crafted text from exhausting the thread's stack.
    constexpr int kMaxStatementDepth = 1000;
    struct DepthGuard {
        int& depth;
        ~DepthGuard() { --depth; }
    } depthGuard{++statementDepth_};
    try {
        checkDeadline();
        if (statementDepth_ > kMaxStatementDepth)
            throw SqlException(191,
                               "Some part of your SQL statement is nested too deeply. Rewrite the query or break it "
                               "up into smaller queries.",
                               s.pos.line, 15);
        if (doomed_)
            refuseWriteWhenDoomed(s);
        switch (s.kind) {
        case ast::StmtKind::Select: executeSelect(static_cast<const ast::SelectStmt&>(s), st); break;
        case ast::StmtKind::Insert:
        case ast::StmtKind::Update:
        case ast::StmtKind::Delete: executeDml(s, st); break;
        case ast::StmtKind::Truncate: truncate(static_cast<const ast::TruncateStmt&>(s)); break;
        case ast::StmtKind::CreateTable: createTable(static_cast<const ast::CreateTableStmt&>(s), st); break;
        case ast::StmtKind::AlterTable: alterTable(static_cast<const ast::AlterTableStmt&>(s), st); break;
        case ast::StmtKind::CreateView: createView(static_cast<const ast::CreateViewStmt&>(s), st); break;
        case ast::StmtKind::CreateIndex: createIndex(static_cast<const ast::CreateIndexStmt&>(s)); break;
        case ast::StmtKind::CreateType: {
            const auto& c = static_cast<const ast::CreateTypeStmt&>(s);
            createType(c.name.last(), c.base, c.nullable, c.pos);
            break;
        }
        case ast::StmtKind::Drop: drop(static_cast<const ast::DropStmt&>(s)); break;
        case ast::StmtKind::Declare: executeDeclare(static_cast<const ast::DeclareStmt&>(s), st); break;
        case ast::StmtKind::SetVariable: executeSet(static_cast<const ast::SetVariableStmt&>(s), st); break;
        case ast::StmtKind::SetOption: setOption(static_cast<const ast::SetOptionStmt&>(s), st); break;
        case ast::StmtKind::If: {
            const auto& i = static_cast<const ast::IfStmt&>(s);
            if (evaluateCondition(*i.condition, st))
                execute(*i.thenStmt, st);
            else if (i.elseStmt)
                execute(*i.elseStmt, st);
            break;
        }
        case ast::StmtKind::While: {
            const auto& w = static_cast<const ast::WhileStmt&>(s);
            while (!st.returned && evaluateCondition(*w.condition, st)) {
                checkDeadline();
                execute(*w.body, st);
                st.continuing = false;
                if (st.breaking) {
                    st.breaking = false;
                    break;
                }
            }
            break;
        }
        case ast::StmtKind::Block: executeBlock(static_cast<const ast::BlockStmt&>(s).body, st); break;
        case ast::StmtKind::Return: {
            const auto& r = static_cast<const ast::ReturnStmt&>(s);
            if (r.value && st.inProcedure) {
                const SqlType integer = makeType(BaseType::Int, 4);
                const Value v = evaluateScalar(*r.value, &integer, st);
                st.returnStatus = v.isNull() ? 0 : static_cast<int>(v.toInt64());
            }
            st.returned = true;
            break;
        }
        case ast::StmtKind::CreateProcedure: {
            // Only a batch's first statement: one inside IF, BEGIN ... END,
            // TRY or a procedure's body would store text that is not its own.
            const bool batchStart = &s == st.statement && !st.inProcedure && st.cache &&
                                    (st.cache->script || (!st.cache->batch->statements.empty() &&
                                                          st.cache->batch->statements.front().get() == &s));
            if (!batchStart)
                throw SqlException(156, "Incorrect syntax near the keyword 'PROCEDURE'.", s.pos.line, 15);
            createProcedure(static_cast<const ast::CreateProcedureStmt&>(s), st);
            break;
        }
        case ast::StmtKind::Break: st.breaking = true; break;
        case ast::StmtKind::Continue: st.continuing = true; break;
        case ast::StmtKind::Exec:
            lastError_ = 0;   // what the callee leaves stays (see below)
            executeExec(static_cast<const ast::ExecStmt&>(s), st);
            break;
        case ast::StmtKind::BeginTran:
        case ast::StmtKind::CommitTran:
        case ast::StmtKind::RollbackTran:
        case ast::StmtKind::SaveTran: executeTransaction(s, st); break;
        case ast::StmtKind::TryCatch: executeTryCatch(static_cast<const ast::TryCatchStmt&>(s), st); break;
        case ast::StmtKind::Raiserror: executeRaiserror(static_cast<const ast::RaiserrorStmt&>(s), st); break;
        case ast::StmtKind::WaitFor: executeWaitFor(static_cast<const ast::WaitForStmt&>(s), st); break;
        case ast::StmtKind::Print: {
            const auto& p = static_cast<const ast::PrintStmt&>(s);
            SqlType text = varcharType(8000);
            Value v = evaluateScalar(*p.value, &text, st);
            st.result->addMessage(v.toString());
            break;
        }
        case ast::StmtKind::Use: useDatabase(static_cast<const ast::UseStmt&>(s), st); break;
        case ast::StmtKind::CreateDatabase: createDatabase(static_cast<const ast::CreateDatabaseStmt&>(s), st); break;
        case ast::StmtKind::DropDatabase: dropDatabase(static_cast<const ast::DropDatabaseStmt&>(s)); break;
        case ast::StmtKind::AlterDatabase: alterDatabase(static_cast<const ast::AlterDatabaseStmt&>(s)); break;
        case ast::StmtKind::Backup: backupDatabase(static_cast<const ast::BackupStmt&>(s), st); break;
        case ast::StmtKind::Restore: restore(static_cast<const ast::RestoreStmt&>(s), st); break;
        case ast::StmtKind::DeclareCursor: declareCursor(static_cast<const ast::DeclareCursorStmt&>(s), st); break;
        case ast::StmtKind::OpenCursor:
        case ast::StmtKind::CloseCursor:
        case ast::StmtKind::DeallocateCursor: executeCursorStatement(static_cast<const ast::CursorStmt&>(s), st); break;
        case ast::StmtKind::FetchCursor: executeFetch(static_cast<const ast::FetchStmt&>(s), st); break;
        default:
            throw SqlException(err::Unsupported, "The engine does not support this statement yet.", s.pos.line);
        }
    } catch (const std::exception&) {
        const std::vector<SqlError> errors = currentErrors(s);
        if (!tryLevels_.empty())
            jumpToCatch(errors, s, st);
        reportFailure(errors, s, st);
        // Under XACT_ABORT an error ends the batch (RAISERROR's excepted,
        // as SQL Server documents); a deadlock victim's batch ends there
        // in any case, and so does an error of severity 20 or more
        // (RAISERROR ... WITH LOG), which ends SQL Server's connection.
        if ((options_.isOn(option_bit::XactAbort) && s.kind != ast::StmtKind::Raiserror) || lastError_ == 1205 ||
            (!errors.empty() && errors.front().severity >= 20)) {
            abortAfterError(st);
        } else if (lastError_ == err::Timeout || lastError_ == 217) {
            // A time-out or a cancel ends the batch; the transaction stays.
            // So does passing the nesting limit, at every level.
            st.returned = true;
            st.aborted = true;
        }
        return;
    }
    // Leaf statements that succeed clear @@ERROR; a block keeps what its
    // last statement left, and so do TRY ... CATCH and EXEC (what the
    // procedure's or text's last statement left: `EXEC p; IF @@ERROR <> 0`);
    // RAISERROR sets @@ERROR itself.
    if (s.kind != ast::StmtKind::Block && s.kind != ast::StmtKind::If && s.kind != ast::StmtKind::While &&
        s.kind != ast::StmtKind::TryCatch && s.kind != ast::StmtKind::Raiserror && s.kind != ast::StmtKind::Exec)
        lastError_ = 0;
}

// The errors of the exception being handled, which statement `s` threw.
std::vector<SqlError> Session::currentErrors(const ast::Stmt& s)
{
    try {
        throw;
    } catch (const SqlException& e) {
        return e.errors();
    } catch (const std::bad_alloc&) {
        return {SqlError{701, 17, 1, s.pos.line,
                         "There is insufficient system memory in resource pool 'default' to run this query."}};
    } catch (const std::exception&) {
        // What a C++ exception says is no concern of the user.
        return {SqlError{err::Internal, 16, 1, s.pos.line, "The engine could not carry out the statement."}};
    }
}

// A failed statement: its errors (and notices of severity 0) go into the
// batch's result, @@ERROR and @@ROWCOUNT follow SQL Server, and a
// transaction that SQLite has rolled back (a statement interrupted by the
// time-out) is no longer counted as open.
void Session::reportFailure(const std::vector<SqlError>& errors, const ast::Stmt& s, RunState& st)
{
    for (SqlError error : errors) {
        // An error of a procedure called here already carries its place.
        if (error.line <= 1 && error.procedure.empty())
            error.line = s.pos.line;
        if (error.procedure.empty())
            error.procedure = st.procedure;
        if (error.severity > 10)
            st.worstSeverity = std::max(st.worstSeverity, error.severity);
        if (error.severity == 0) {
            st.result->addMessage(error.message);
            continue;
        }
        st.result->addError(error);
        lastError_ = error.number;
    }
    rowCount_ = 0;
    if (tranCount_ > 0 && sqlite3_get_autocommit(db_)) {
        tranCount_ = 0;
        st.result->addError(SqlError{3998, 16, 1, s.pos.line,
                                     "Uncommittable transaction is detected at the end of the batch. The transaction "
                                     "is rolled back."});
    }
}

// ---- preparing and binding ------------------------------------------------------

Session::Prepared& Session::prepare(const void* key, RunState& st,
                                    const std::function<Translation(Translator&)>& translate)
{
    if (cacheGeneration_ != schemaGeneration())
        invalidateCaches();
    auto& slots = st.cache->prepared;
    auto found = slots.find(key);
    if (found != slots.end() && found->second->generation == cacheGeneration_ &&
        found->second->database == current_ && found->second->ansiNulls == ansiNulls()) {
        Prepared& slot = *found->second;
        sqlite3_reset(slot.stmt);   // every parameter is bound anew
        ensureAttached(slot.databases);
        if (slot.bindsLiterals) {   // only statements are prepared with bound literals
            auto known = st.cache->boundLiterals.find(key);
            if (known != st.cache->boundLiterals.end()) {
                st.literals = &known->second;
            } else {
                collectParameterizableLiterals(*static_cast<const ast::Stmt*>(key), st.literalBuffer);
                st.literals = &st.literalBuffer;
            }
        }
        return slot;
    }
    // A top-level statement may share the translation of an earlier
    // statement of the same shape. The batch keeps it too, unless the
    // batch is a long script (run once, its statements would only fill
    // the batch's table).
    const bool topLevel = st.statement && key == st.statement;
    const bool keepInBatch =
        !st.cache->script && (!topLevel || st.cache->batch->statements.size() <= kBatchSlotLimit);
    bool shapeKnown = false;
    if (topLevel) {
        if (std::shared_ptr<Prepared> shared = preparedByShape(st, shapeKnown)) {
            sqlite3_reset(shared->stmt);
            ensureAttached(shared->databases);
            if (keepInBatch) {
                slots[key] = shared;
                if (shared->bindsLiterals)
                    st.cache->boundLiterals[key] = st.literalBuffer;
            }
            st.running = std::move(shared);
            return *st.running;
        }
    }
    auto p = std::make_shared<Prepared>();
    Translator tr(*this, st.types);
    if (shapeKnown)
        tr.parameterizeLiterals(&st.literalBuffer);
    attachLog_ = &p->databases;
    try {
        p->translation = translate(tr);
    } catch (...) {
        attachLog_ = nullptr;
        throw;
    }
    attachLog_ = nullptr;
    if (sqlite3_prepare_v3(db_, p->translation.sql.c_str(), static_cast<int>(p->translation.sql.size()),
                           SQLITE_PREPARE_PERSISTENT, &p->stmt, nullptr) != SQLITE_OK) {
        SqlException failure = sqliteFailure(sqlite3_errmsg(db_));
        // A view whose tables or columns are gone: SQL Server adds 4413.
        if ((failure.number() == err::InvalidObject || failure.number() == err::InvalidColumn) &&
            !p->translation.views.empty()) {
            std::vector<SqlError> errors = failure.errors();
            errors.push_back(SqlError{4413, 16, 1, 1,
                                      "Could not use view or function '" + p->translation.views.front() +
                                          "' because of binding errors."});
            throw SqlException(std::move(errors));
        }
        throw failure;
    }
    // The catalogue may have been read (and attached databases changed) while translating.
    p->generation = cacheGeneration_;
    p->database = current_;
    p->ansiNulls = ansiNulls();
    if (shapeKnown)
        rememberShape(p, st);
    if (keepInBatch) {
        slots[key] = p;
        if (p->bindsLiterals)
            st.cache->boundLiterals[key] = st.literalBuffer;
    }
    st.running = std::move(p);
    return *st.running;
}

void Session::bindParameters(Prepared& p, RunState& st)
{
    const auto& params = p.translation.parameters;
    for (std::size_t i = 0; i < params.size(); ++i) {
        int index = static_cast<int>(i + 1);
        if (i < p.literalIndex.size() && p.literalIndex[i] >= 0) {
            const auto literal = static_cast<std::size_t>(p.literalIndex[i]);
            if (st.literals && literal < st.literals->size())
                bindLiteral(p.stmt, index, *(*st.literals)[literal]);
            else
                sqlite3_bind_null(p.stmt, index);
            continue;
        }
        const std::string& name = params[i];
        Value v;
        if (name == "@@rowcount")
            v = Value::fromInteger(rowCount_);
        else if (name == "@@error")
            v = Value::fromInteger(lastError_);
        else if (name == "@@trancount")
            v = Value::fromInteger(tranCount_);
        else if (name == "@@identity")
            v = identity_ ? Value::fromInteger(identity_) : Value::null();
        else if (name == "@@scope_identity")
            v = scopeIdentity();
        else if (name == "@@spid")
            v = Value::fromInteger(spid_);
        else if (name.rfind("@@error_", 0) == 0 || name == "@@xact_state")
            v = errorFunctionValue(name);
        else if (name == "@@nestlevel")
            v = Value::fromInteger(nestLevel_);
        else if (name == "@@procid")
            v = Value::fromInteger(procId_);
        else if (name == "@@fetch_status")
            v = Value::fromInteger(fetchStatus_);
        else if (name == "@@cursor_rows")
            v = Value::fromInteger(cursorRows());
        else if (name.rfind(kCursorStatusParameter, 0) == 0)
            v = Value::fromInteger(cursorStatus(name, st));
        else if (name == "@@datefirst")
            v = Value::fromInteger(options_.dates.firstDayOfWeek);
        else if (name == "@@language")
            v = Value::fromText(options_.language);
        else if (name == "@@options")
            v = Value::fromInteger(options_.bits | (noCount_ ? option_bit::NoCount : 0));
        else if (name == "@@textsize")
            v = Value::fromInteger(options_.textSize);
        else if (name == "@@lock_timeout")
            v = Value::fromInteger(options_.lockTimeout);
        else if (name == "@@servername" || name == "@@servicename" || name == "@@hostname")
            v = Value::fromText(name == "@@servicename" ? "MSSQLSERVER" : hostName());
        else {
            auto it = st.values.find(name);
            if (it != st.values.end())
                v = it->second;
        }
        switch (v.kind) {
        case ValueKind::Null: sqlite3_bind_null(p.stmt, index); break;
        case ValueKind::Integer: sqlite3_bind_int64(p.stmt, index, v.integer); break;
        case ValueKind::Number:
            // A money value with more digits than a double holds goes back as its exact text.
            if (!v.text.empty())
                sqlite3_bind_text(p.stmt, index, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_double(p.stmt, index, v.number);
            break;
        case ValueKind::Text:
        case ValueKind::DateTime:
            sqlite3_bind_text(p.stmt, index, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
            break;
        case ValueKind::Bytes:
            sqlite3_bind_blob(p.stmt, index, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
            break;
        }
    }
}

namespace {

// A number kept as exact decimal text (money beyond a double's digits):
// the double for arithmetic, the text, without trailing zeros, for show.
Value exactNumber(std::string text)
{
    Value v = Value::fromNumber(std::strtod(text.c_str(), nullptr));
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    v.text = std::move(text);
    return v;
}

}  // namespace

Value Session::readColumn(sqlite3_stmt* stmt, int i, const SqlType& type) const
{
    int storage = sqlite3_column_type(stmt, i);
    if (storage == SQLITE_NULL)
        return Value::null();
    if (type.isIntegerFamily()) {
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
            return Value::fromInteger(sqlite3_column_int64(stmt, i));
        return Value::fromInteger(std::strtoll(columnString(stmt, i).c_str(), nullptr, 10));
    }
    if (type.isExactDecimal() && storage == SQLITE_TEXT)
        return exactNumber(columnString(stmt, i));
    if (type.isExactDecimal()) {
        double v = sqlite3_column_double(stmt, i);
        int scale = type.base == BaseType::Numeric ? type.scale : 4;
        if (scale >= 0 && scale <= 15) {
            double f = std::pow(10.0, scale);
            double r = std::round(v * f) / f;
            if (std::isfinite(r))
                v = r;
        }
        return Value::fromNumber(v);
    }
    if (type.base == BaseType::Float || type.base == BaseType::Real)
        return Value::fromNumber(sqlite3_column_double(stmt, i));
    if (type.isDateTime())
        return Value::fromDateTime(columnString(stmt, i));
    if (type.isBinary() || storage == SQLITE_BLOB) {
        const void* p = sqlite3_column_blob(stmt, i);
        int n = sqlite3_column_bytes(stmt, i);
        return Value::fromBytes(std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)));
    }
    if (type.base == BaseType::Char || type.base == BaseType::NChar) {
        // char(n) is blank-padded to its length (bytes for char, characters for nchar).
        std::string text = columnString(stmt, i);
        if (type.length > 0) {
            auto length = [&] { return type.base == BaseType::Char ? gbkByteLength(text) : utf8Length(text); };
            for (std::size_t n = length(); n < static_cast<std::size_t>(type.length); ++n)
                text.push_back(' ');
        }
        return Value::fromText(std::move(text));
    }
    if (type.isText())
        return Value::fromText(columnString(stmt, i));
    switch (storage) {
    case SQLITE_INTEGER: return Value::fromInteger(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT: return Value::fromNumber(sqlite3_column_double(stmt, i));
    default: return Value::fromText(columnString(stmt, i));
    }
}

Session::StepError Session::stepError(int rc) const
{
    return StepError{rc, sqlite3_extended_errcode(db_), sqlite3_errmsg(db_)};
}

void Session::throwStepError(const StepError& e, const TableInfo* target, bool isUpdate)
{
    const int rc = e.rc;
    const std::string& message = e.message;
    const int extended = e.extended;
    int number = 0;
    std::string engineMessage;
    if (parseEngineError(message, number, engineMessage)) {
        // A foreign key's trigger names the database by a marker.
        const std::string marker = kDatabaseNameMarker;
        for (std::size_t at; target && (at = engineMessage.find(marker)) != std::string::npos;)
            engineMessage.replace(at, marker.size(), target->database);
        throw SqlException(number, engineMessage);
    }
    if ((rc & 0xff) == SQLITE_INTERRUPT)
        throw SqlException(err::Timeout, "Query timeout expired");
    if (extended == SQLITE_BUSY_SNAPSHOT) {
        // The transaction read data another connection has written since:
        // waiting cannot help, it can only start again. SQL Server rolls
        // back the loser of such a conflict and reports a deadlock.
        if (!sqlite3_get_autocommit(db_))
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        if (tranCount_ > 0) {
            tranCount_ = 0;
            bumpSchemaGeneration();   // a rollback may undo DDL
        }
        throw SqlException(1205,
                           "Transaction (Process ID " + std::to_string(spid_) +
                               ") was deadlocked on lock resources with another process and has been chosen as the "
                               "deadlock victim. Rerun the transaction.",
                           1, 13);
    }
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        throw SqlException(1222, "Lock request time out period exceeded.");
    if ((rc & 0xff) == SQLITE_TOOBIG)
        throw SqlException(7119, "Attempting to grow LOB beyond maximum allowed size of 2147483647 bytes.");
    if (message == "integer overflow")   // SUM of bigint past its range
        throw SqlException(8115, "Arithmetic overflow error converting expression to data type bigint.");
    std::string object = target ? "dbo." + target->name : std::string("dbo.?");
    if (extended == SQLITE_CONSTRAINT_NOTNULL) {
        std::string column = message.substr(message.rfind('.') == std::string::npos ? 0 : message.rfind('.') + 1);
        std::string table = target ? target->database + ".dbo." + target->name : std::string("?");
        throw SqlException(err::NotNullViolation, "Cannot insert the value NULL into column '" + column +
                                                      "', table '" + table + "'; column does not allow nulls. " +
                                                      (isUpdate ? "UPDATE" : "INSERT") + " fails.");
    }
    if (extended == SQLITE_CONSTRAINT_PRIMARYKEY || extended == SQLITE_CONSTRAINT_UNIQUE)
        throwDuplicateKey(message, target);
    if ((rc & 0xff) == SQLITE_CONSTRAINT)
        throw SqlException(547, "The statement conflicted with a constraint in object '" + object + "'.");
    throw sqliteFailure(message);
}

namespace {

// The columns SQLite names in "UNIQUE constraint failed: T.a, T.b".
std::vector<std::string> failedColumns(const std::string& message)
{
    std::vector<std::string> cols;
    std::size_t colon = message.find(':');
    if (colon == std::string::npos)
        return cols;
    std::string list = message.substr(colon + 1);
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t comma = list.find(',', start);
        std::string part = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::size_t dot = part.rfind('.');
        std::string col = part.substr(dot == std::string::npos ? 0 : dot + 1);
        while (!col.empty() && col.front() == ' ')
            col.erase(col.begin());
        cols.push_back(lowerAscii(col));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    std::sort(cols.begin(), cols.end());
    return cols;
}

std::vector<std::string> sortedLower(std::vector<std::string> cols)
{
    for (auto& c : cols)
        c = lowerAscii(c);
    std::sort(cols.begin(), cols.end());
    return cols;
}

}  // namespace

// A duplicate key: SQL Server names the primary key or unique constraint
// (2627) or the unique index (2601) whose columns SQLite reports.
void Session::throwDuplicateKey(const std::string& message, const TableInfo* target)
{
    const std::string object = target ? "dbo." + target->name : std::string("dbo.?");
    const std::vector<std::string> cols = failedColumns(message);
    if (target) {
        const std::string schema = quoteIdent(target->schemaAlias);
        Stmt keys(db_, "SELECT name, xtype, keycols FROM " + schema +
                           ".sysobjects WHERE parent_obj = ?1 AND xtype IN ('PK','UQ')");
        keys.bind(1, static_cast<std::int64_t>(target->id));
        while (keys.step()) {
            std::vector<std::string> keyCols;
            std::string list = keys.columnText(2);
            std::size_t start = 0;
            while (start <= list.size()) {
                std::size_t comma = list.find(',', start);
                keyCols.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
            if (sortedLower(keyCols) == cols) {
                bool pk = keys.columnText(1) == "PK";
                throw SqlException(err::PrimaryKeyViolation,
                                   std::string("Violation of ") + (pk ? "PRIMARY KEY" : "UNIQUE KEY") + " constraint '" +
                                       keys.columnText(0) + "'. Cannot insert duplicate key in object '" + object + "'.",
                                   1, 14);
            }
        }
        Stmt indexes(db_, "SELECT name FROM " + schema + ".sqlite_master WHERE type = 'index' AND tbl_name = ?1 "
                                                         "COLLATE NOCASE AND name LIKE ?2");
        indexes.bind(1, target->name).bind(2, target->name + "$%");
        while (indexes.step()) {
            std::string indexName = indexes.columnText(0);
            std::vector<std::string> indexCols;
            Stmt info(db_, "PRAGMA " + schema + ".index_info(" + quoteIdent(indexName) + ")");
            while (info.step())
                indexCols.push_back(info.columnText(2));
            if (sortedLower(indexCols) == cols)
                throw SqlException(err::UniqueIndexViolation,
                                   "Cannot insert duplicate key row in object '" + object + "' with unique index '" +
                                       indexName.substr(target->name.size() + 1) + "'.",
                                   1, 14);
        }
    }
    throw SqlException(err::UniqueIndexViolation,
                       "Cannot insert duplicate key row in object '" + object + "' with unique index.", 1, 14);
}

std::string Session::optionValue(const ast::SetOptionStmt& s, RunState& st)
{
    if (s.value.empty() || s.value.front() != '@')
        return s.value;
    const std::string name = lowerAscii(s.value);
    auto t = st.types.find(name);
    if (t == st.types.end() || t->second.declaredAt > s.pos.offset)
        throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + s.value + "\".", s.pos.line);
    auto v = st.values.find(name);
    if (v == st.values.end() || v->second.isNull())
        return s.option == "ROWCOUNT" || s.option == "TEXTSIZE" ? "0" : "";
    return v->second.toString();
}

// A temporary trigger skips (RAISE(IGNORE)) every row after the first
// SET ROWCOUNT rows the statement reaches; vq_row_limit_reached counts
// them. The trigger is dropped again at once.
int Session::stepWithRowLimit(sqlite3_stmt* stmt, const TableInfo* target)
{
    if (!target || target->isView())
        return sqlite3_step(stmt);
    rowLimit_ = RowLimitCounter{options_.rowCount, 0};
    const std::string table = quoteIdent(target->schemaAlias) + "." + quoteIdent(target->name);
    const char* events[] = {"INSERT", "UPDATE", "DELETE"};
    for (const char* event : events)
        execSql(db_, std::string("CREATE TEMP TRIGGER IF NOT EXISTS vq_row_limit_") + event + " BEFORE " + event +
                         " ON " + table + " WHEN vq_row_limit_reached() BEGIN SELECT RAISE(IGNORE); END");
    const int rc = sqlite3_step(stmt);
    for (const char* event : events)
        sqlite3_exec(db_, (std::string("DROP TRIGGER IF EXISTS temp.vq_row_limit_") + event).c_str(), nullptr,
                     nullptr, nullptr);
    return rc;
}

void Session::abortAfterError(RunState& st)
{
    if (tranCount_ > 0) {
        tranCount_ = 0;
        if (!sqlite3_get_autocommit(db_))
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        bumpSchemaGeneration();
    }
    st.aborted = true;
    st.returned = true;
}

}  // namespace vqsql
