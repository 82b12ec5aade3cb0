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
#include <filesystem>
#include <functional>
#include <new>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vqsql {

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

int progressHandler(void* arg)
{
    auto* deadline = static_cast<std::chrono::steady_clock::time_point*>(arg);
    if (*deadline == std::chrono::steady_clock::time_point::max())
        return 0;
    return coarseNow() > *deadline ? 1 : 0;
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

// Storage size SQL Server reports in syscolumns.length.
int storageLength(const SqlType& t)
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
SqlException objectNotFound(int number, const std::string& name, int line)
{
    return SqlException(
        number, "Cannot find the object \"" + name + "\" because it does not exist or you do not have permissions.", line);
}

}  // namespace

Session::Session() = default;

Session::~Session()
{
    // An open cursor's statement goes before the handle closes; its
    // RowCursor then finds the cursor gone.
    cursor_.reset();
    batchCache_.clear();
    shapeCache_.clear();
    if (db_)
        sqlite3_close_v2(db_);
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
    // Long statements are stopped at the command time-out.
    sqlite3_progress_handler(db_, 1000, progressHandler, &deadline_);
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
    if (static_cast<int>(attached_.size()) >= sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, -1))
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
        if (it->first == "master" || equalsIgnoreCase(it->second.name, current_))
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
        if (key != "master" && !equalsIgnoreCase(a.name, current_))
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
    // Waiting for another connection's lock counts against the time-out;
    // with no time-out a lock is waited for up to a minute.
    sqlite3_busy_timeout(db_, timeoutSeconds_ > 0 ? timeoutSeconds_ * 1000 : 60000);
}

void Session::beginTransaction()
{
    refuseWhileCursorOpen();
    if (tranCount_ == 0)
        execSql(db_, "BEGIN");
    ++tranCount_;
}

void Session::commit()
{
    refuseWhileCursorOpen();
    if (tranCount_ == 0)
        throw SqlException(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    if (tranCount_ == 1) {
        if (sqlite3_get_autocommit(db_)) {
            // SQLite ended the transaction itself (an interrupted statement).
            tranCount_ = 0;
            throw SqlException(3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        }
        execSql(db_, "COMMIT");   // on failure the transaction stays open and counted
    }
    --tranCount_;
}

void Session::rollback()
{
    refuseWhileCursorOpen();
    if (tranCount_ == 0)
        throw SqlException(3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    tranCount_ = 0;
    if (!sqlite3_get_autocommit(db_))
        execSql(db_, "ROLLBACK");
    // A rollback may undo DDL: cached catalogue entries are stale.
    bumpSchemaGeneration();
}

void Session::checkDeadline()
{
    if (deadline_ != std::chrono::steady_clock::time_point::max() && coarseNow() > deadline_)
        throw SqlException(err::Timeout, "Query timeout expired");
}

// Runs a DDL statement's SQLite steps all or nothing. Outside a user
// transaction it takes the write lock at once (BEGIN IMMEDIATE), so that
// a writer committing in between makes it wait instead of fail.
void Session::withSavepoint(const std::function<void()>& body)
{
    const bool own = sqlite3_get_autocommit(db_) != 0;
    execSql(db_, own ? "BEGIN IMMEDIATE" : "SAVEPOINT vq_stmt");
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

namespace {

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
    default: break;
    }
}

}  // namespace

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
    for (std::size_t i = 1; i < statements.size(); ++i)
        if (statements[i]->kind == ast::StmtKind::CreateView)
            throw SqlException(111, "'CREATE VIEW' must be the first statement in a query batch.",
                               statements[i]->pos.line, 15);
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
    setThreadDateSettings(session_.options_.dates);
    if (session_.timeoutSeconds_ > 0)
        session_.deadline_ = coarseNow() + std::chrono::seconds(session_.timeoutSeconds_);
}

Session::CommandScope::~CommandScope()
{
    if (--session_.runDepth_ == 0)
        session_.deadline_ = std::chrono::steady_clock::time_point::max();
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

    for (const ast::DeclareStmt* d : cached->declarations) {
        for (const ast::VariableDecl& v : d->variables) {
            try {
                Translator tr(*this, st.types);
                SqlType t = tr.resolveType(v.type, "", 1);
                if (t.isText() && t.length == -2)
                    t.length = 1;
                st.types[lowerAscii(v.name)] = VariableInfo{t, v.pos.offset};
            } catch (const SqlException&) {
                // Reported when the DECLARE itself runs.
            }
        }
    }

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
    try {
        checkDeadline();
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
        case ast::StmtKind::Return: st.returned = true; break;
        case ast::StmtKind::Break: st.breaking = true; break;
        case ast::StmtKind::Continue: st.continuing = true; break;
        case ast::StmtKind::Exec: executeExec(static_cast<const ast::ExecStmt&>(s), st); break;
        case ast::StmtKind::BeginTran:
        case ast::StmtKind::CommitTran:
        case ast::StmtKind::RollbackTran: executeTransaction(s, st); break;
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
        default:
            throw SqlException(err::Unsupported, "The engine does not support this statement yet.", s.pos.line);
        }
    } catch (const std::exception&) {
        reportFailure(currentErrors(s), s, st);
        if (options_.isOn(option_bit::XactAbort))
            abortAfterError(st);
        return;
    }
    // Leaf statements that succeed clear @@ERROR; a block keeps what its
    // last statement left.
    if (s.kind != ast::StmtKind::Block && s.kind != ast::StmtKind::If && s.kind != ast::StmtKind::While)
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
        if (error.line <= 1)
            error.line = s.pos.line;
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
        else if (name == "@@spid")
            v = Value::fromInteger(spid_);
        else if (name == "@@fetch_status")
            v = Value::fromInteger(-1);
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

// ---- statements -------------------------------------------------------------------

Session::Prepared& Session::prepareSelect(const ast::SelectStmt& s, RunState& st)
{
    Prepared& p = prepare(&s, st, [&](Translator& tr) { return tr.query(*s.query); });
    bindParameters(p, st);
    return p;
}

bool Session::stepRow(sqlite3_stmt* stmt)
{
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(stmt);
        return false;
    }
    StepError e = stepError(rc);
    sqlite3_reset(stmt);
    throwStepError(e, nullptr, false);
}

std::vector<Value> Session::readRow(sqlite3_stmt* stmt, const std::vector<Column>& columns) const
{
    std::vector<Value> row;
    row.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        row.push_back(readColumn(stmt, static_cast<int>(i), columns[i].type));
        if (isTextSizeLimited(columns[i].type) && !row.back().isNull())
            row.back().text = truncateToTextSize(row.back().text, columns[i].type, options_.textSize);
    }
    return row;
}

void Session::executeSelect(const ast::SelectStmt& s, RunState& st)
{
    Prepared& p = prepareSelect(s, st);
    const auto& cols = p.translation.columns;
    const bool assigning = !p.translation.assignTargets.empty();
    ResultSet rs;
    if (!assigning)
        rs.columns = cols;
    long long rows = 0;
    while ((options_.rowCount == 0 || rows < options_.rowCount) && stepRow(p.stmt)) {
        ++rows;
        if (assigning) {
            for (std::size_t i = 0; i < p.translation.assignTargets.size(); ++i)
                st.values[p.translation.assignTargets[i]] = readColumn(p.stmt, static_cast<int>(i), cols[i].type);
            continue;
        }
        rs.rows.push_back(readRow(p.stmt, cols));
    }
    sqlite3_reset(p.stmt);   // a SET ROWCOUNT limit may have stopped it early
    rowCount_ = rows;
    rs.countShown = !noCount_;
    if (!assigning)
        st.result->addResultSet(std::move(rs));
}

void Session::executeDml(const ast::Stmt& s, RunState& st)
{
    const TableInfo* target = nullptr;
    bool isUpdate = s.kind == ast::StmtKind::Update;
    Prepared& p = prepare(&s, st, [&](Translator& tr) {
        switch (s.kind) {
        case ast::StmtKind::Insert: return tr.insert(static_cast<const ast::InsertStmt&>(s));
        case ast::StmtKind::Update: return tr.update(static_cast<const ast::UpdateStmt&>(s));
        default: return tr.remove(static_cast<const ast::DeleteStmt&>(s));
        }
    });
    bindParameters(p, st);
    int rc;
    if (options_.rowCount > 0) {
        const ast::ObjectName& table = s.kind == ast::StmtKind::Insert   ? static_cast<const ast::InsertStmt&>(s).table
                                       : s.kind == ast::StmtKind::Update ? static_cast<const ast::UpdateStmt&>(s).table
                                                                         : static_cast<const ast::DeleteStmt&>(s).table;
        rc = stepWithRowLimit(p.stmt, findTable(table.database(), table.last()));
    } else {
        rc = sqlite3_step(p.stmt);
    }
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        StepError e = stepError(rc);
        sqlite3_reset(p.stmt);
        const ast::ObjectName* name = nullptr;
        if (s.kind == ast::StmtKind::Insert)
            name = &static_cast<const ast::InsertStmt&>(s).table;
        else if (s.kind == ast::StmtKind::Update)
            name = &static_cast<const ast::UpdateStmt&>(s).table;
        else
            name = &static_cast<const ast::DeleteStmt&>(s).table;
        target = findTable(name->database(), name->last());
        if (target && target->isView())
            target = &changedBaseTable(s, *target, *this);
        try {
            throwStepError(e, target, isUpdate);
        } catch (SqlException& error) {
            // SQL Server follows a failed data statement with this notice.
            std::vector<SqlError> errors = error.errors();
            errors.push_back(SqlError{3621, 0, 0, s.pos.line, "The statement has been terminated."});
            throw SqlException(errors);
        }
    }
    sqlite3_reset(p.stmt);
    rowCount_ = sqlite3_changes(db_);
    if (s.kind == ast::StmtKind::Insert)
        identity_ = p.translation.identityTarget && rowCount_ > 0
                        ? lastIdentity(static_cast<const ast::InsertStmt&>(s).table)
                        : 0;
    st.result->addRowsAffected(rowCount_, !noCount_);
}

// @@IDENTITY after an insert: the identity value of the last row, or
// NULL (0) for a table without an identity column.
std::int64_t Session::lastIdentity(const ast::ObjectName& table)
{
    const TableInfo* info = findTable(table.database(), table.last());
    if (!info)
        return 0;
    for (const ColumnInfo& c : info->columns) {
        if (!c.identity)
            continue;
        if (c.defaultText.empty())
            return sqlite3_last_insert_rowid(db_);
        Stmt q(db_, "SELECT max(" + quoteIdent(c.name) + ") FROM " + quoteIdent(info->schemaAlias) + "." +
                        quoteIdent(info->name));
        q.step();
        return q.columnInt(0);
    }
    return 0;
}

Value Session::evaluateScalar(const ast::Expr& e, const SqlType* target, RunState& st)
{
    // Keyed by the expression node and the target type's presence.
    const void* key = reinterpret_cast<const char*>(&e) + (target ? 1 : 0);
    Prepared& p = prepare(key, st, [&](Translator& tr) { return tr.scalar(e, target); });
    bindParameters(p, st);
    int rc = sqlite3_step(p.stmt);
    if (rc != SQLITE_ROW) {
        StepError e = stepError(rc);
        sqlite3_reset(p.stmt);
        throwStepError(e, nullptr, false);
    }
    Value v = readColumn(p.stmt, 0, p.translation.columns[0].type);
    sqlite3_reset(p.stmt);
    return v;
}

bool Session::evaluateCondition(const ast::Expr& e, RunState& st)
{
    const void* key = reinterpret_cast<const char*>(&e) + 2;
    Prepared& p = prepare(key, st, [&](Translator& tr) { return tr.condition(e); });
    bindParameters(p, st);
    int rc = sqlite3_step(p.stmt);
    if (rc != SQLITE_ROW) {
        StepError e = stepError(rc);
        sqlite3_reset(p.stmt);
        throwStepError(e, nullptr, false);
    }
    bool result = sqlite3_column_int(p.stmt, 0) != 0;
    sqlite3_reset(p.stmt);
    return result;
}

void Session::executeDeclare(const ast::DeclareStmt& s, RunState& st)
{
    for (const ast::VariableDecl& v : s.variables) {
        const std::string name = lowerAscii(v.name);
        auto t = st.types.find(name);
        if (t == st.types.end()) {
            // The type could not be resolved before the batch ran: report it.
            Translator tr(*this, st.types);
            SqlType type = tr.resolveType(v.type, "", 1);
            if (type.isText() && type.length == -2)
                type.length = 1;
            st.types[name] = VariableInfo{type, v.pos.offset};
            t = st.types.find(name);
        }
        if (v.init)
            st.values[name] = evaluateScalar(*v.init, &t->second.type, st);
        else if (!st.values.count(name))
            st.values[name] = Value::null();
    }
}

void Session::executeSet(const ast::SetVariableStmt& s, RunState& st)
{
    const std::string name = lowerAscii(s.variable);
    auto t = st.types.find(name);
    if (t == st.types.end() || t->second.declaredAt > s.pos.offset)
        throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + s.variable + "\".", s.pos.line);
    if (s.op != "=")
        throw SqlException(err::Unsupported, "The engine does not support the compound assignment " + s.op + ".",
                           s.pos.line);
    st.values[name] = evaluateScalar(*s.value, &t->second.type, st);
    rowCount_ = 1;
}

void Session::executeTransaction(const ast::Stmt& s, RunState&)
{
    switch (s.kind) {
    case ast::StmtKind::BeginTran: beginTransaction(); break;
    case ast::StmtKind::CommitTran: commit(); break;
    default: rollback(); break;
    }
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

// SET IDENTITY_INSERT t ON|OFF, SET NOCOUNT, and the options SessionOptions
// keeps; they last for the session.
void Session::setOption(const ast::SetOptionStmt& s, RunState& st)
{
    if (s.option == "NOCOUNT") {
        noCount_ = equalsIgnoreCase(s.value, "on");
        return;
    }
    // Other options may change how statements translate.
    shapeCache_.clear();
    if (s.option != "IDENTITY_INSERT") {
        applySessionOption(options_, s.option, optionValue(s, st), s.pos.line);
        setThreadDateSettings(options_.dates);
        return;
    }
    const TableInfo* info = findTable(s.table.database(), s.table.last());
    if (!info || info->isView())
        throw SqlException(err::InvalidObject, "Invalid object name '" + s.table.toString() + "'.", s.pos.line);
    if (std::none_of(info->columns.begin(), info->columns.end(), [](const ColumnInfo& c) { return c.identity; }))
        throw SqlException(8106, "Table '" + info->name + "' does not have the identity property. Cannot perform SET "
                                                          "operation.",
                           s.pos.line);
    const std::string key = lowerAscii(info->database + "." + info->name);
    if (equalsIgnoreCase(s.value, "on"))
        identityInsert_.insert(key);
    else
        identityInsert_.erase(key);
}

bool Session::identityInsertAllowed(const TableInfo& table) const
{
    return identityInsert_.count(lowerAscii(table.database + "." + table.name)) > 0;
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

// Switches the current database and says so as SQL Server does (message
// 5701), naming the database as sysdatabases spells it.
void Session::useDatabase(const ast::UseStmt& s, RunState& st)
{
    std::string alias = schemaFor(s.database);
    for (const auto& [key, a] : attached_)
        if (a.alias == alias)
            current_ = a.name;
    st.result->addMessage("Changed database context to '" + current_ + "'.");
}

void Session::truncate(const ast::TruncateStmt& s)
{
    const TableInfo* info = findTable(s.table.database(), s.table.last());
    if (!info || info->isView())
        throw objectNotFound(4701, s.table.last(), s.pos.line);
    if (info->xtype == "S")
        throw SqlException(259, "Ad hoc updates to system catalogs are not allowed.", s.pos.line);
    if (referencingForeignKey(db_, info->schemaAlias, info->id))
        throw SqlException(4712, "Cannot truncate table '" + info->name +
                                     "' because it is being referenced by a FOREIGN KEY constraint.",
                           s.pos.line);
    const std::string schema = quoteIdent(info->schemaAlias);
    withSavepoint([&] {
        execSql(db_, "DELETE FROM " + schema + "." + quoteIdent(info->name));
        // Identity numbering starts again at its seed.
        Stmt seq(db_, "SELECT 1 FROM " + schema + ".sqlite_master WHERE name = 'sqlite_sequence'");
        if (seq.step()) {
            Stmt reset(db_, "DELETE FROM " + schema + ".sqlite_sequence WHERE name = ?1");
            reset.bind(1, info->name);
            reset.step();
        }
    });
}

// ---- EXEC and system procedures -------------------------------------------------

namespace {

// Appends what a nested batch (EXEC of a text) produced, in its order.
void mergeResult(BatchResult inner, BatchResult& outer)
{
    for (const BatchEvent& e : inner.events) {
        switch (e.kind) {
        case BatchEvent::Kind::ResultSet: outer.addResultSet(std::move(inner.resultSets[e.index])); break;
        case BatchEvent::Kind::Message: outer.addMessage(std::move(inner.messages[e.index])); break;
        case BatchEvent::Kind::Error: outer.addError(std::move(inner.errors[e.index])); break;
        case BatchEvent::Kind::RowsAffected: outer.addRowsAffected(e.count); break;
        }
    }
}

}  // namespace

void Session::executeExec(const ast::ExecStmt& s, RunState& st)
{
    if (s.dynamicSql) {
        SqlType text = varcharType(-1);
        text.length = -1;
        Value sql = evaluateScalar(*s.dynamicSql, &text, st);
        BatchResult nested = run(sql.toString());
        const bool failed = !nested.ok();
        mergeResult(std::move(nested), *st.result);
        // Under SET XACT_ABORT ON an error of the text ends its caller too.
        if (failed && options_.isOn(option_bit::XactAbort))
            abortAfterError(st);
        return;
    }
    std::string name = s.procedure.last();
    systemProcedure(lowerAscii(name), s, st);
}

void Session::systemProcedure(const std::string& name, const ast::ExecStmt& s, RunState& st)
{
    auto argText = [&](std::size_t i) -> std::string {
        if (i >= s.args.size() || !s.args[i].value)
            return {};
        SqlType text = varcharType(-1);
        text.length = -1;
        return evaluateScalar(*s.args[i].value, &text, st).toString();
    };
    if (name == "sp_addtype") {
        if (s.args.size() < 2)
            throw SqlException(201, "Procedure or function 'sp_addtype' expects parameter '@phystype', which was "
                                    "not supplied.",
                               s.pos.line);
        std::string typeName = argText(0);
        std::string base = argText(1);
        std::string nulls = lowerAscii(argText(2));
        ast::ExprPtr cast = parseExpression("CAST(NULL AS " + base + ")");
        std::optional<bool> nullable;
        if (nulls == "not null" || nulls == "nonull")
            nullable = false;
        else if (nulls == "null")
            nullable = true;
        createType(typeName, cast->type, nullable, s.pos);
        return;
    }
    if (name == "sp_droptype") {
        std::string typeName = argText(0);
        std::string alias = schemaFor("");
        Stmt q(db_, "DELETE FROM " + quoteIdent(alias) + ".systypes WHERE name = ?1 COLLATE vq_ci AND xusertype > 256");
        q.bind(1, typeName);
        q.step();
        if (sqlite3_changes(db_) == 0)
            throw SqlException(15032, "The type '" + typeName + "' does not exist.", s.pos.line);
        bumpSchemaGeneration();
        return;
    }
    if (name == "sp_executesql") {
        BatchResult nested = run(argText(0));
        const bool failed = !nested.ok();
        mergeResult(std::move(nested), *st.result);
        if (failed && options_.isOn(option_bit::XactAbort))
            abortAfterError(st);
        return;
    }
    if (name == "sp_rename") {
        renameObject(argText(0), argText(1), lowerAscii(argText(2)), s.pos.line);
        st.result->addMessage(
            "Caution: Changing any part of an object name could break scripts and stored procedures.");
        return;
    }
    throw SqlException(err::NoSuchProcedure, "Could not find stored procedure '" + s.procedure.last() + "'.",
                       s.pos.line);
}

namespace {

// "dbo.[T]" -> "T": sp_rename takes names with their schema and brackets.
std::string plainName(std::string name)
{
    name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return c == '[' || c == ']'; }), name.end());
    if (name.size() > 4 && equalsIgnoreCase(name.substr(0, 4), "dbo."))
        name = name.substr(4);
    return name;
}

}  // namespace

// sp_rename 'table', 'new' and sp_rename 'table.column', 'new', 'COLUMN':
// the SQLite table or column, the catalogue rows, the key column lists and
// the engine's index names ("<table>$<index>") follow the new name.
void Session::renameObject(const std::string& objectName, const std::string& newName, const std::string& kind,
                           int line)
{
    const std::string oldName = plainName(objectName);
    const std::string alias = schemaFor("");
    const std::string schema = quoteIdent(alias);
    withSavepoint([&] {
        if (kind == "column") {
            auto dot = oldName.rfind('.');
            std::string table = dot == std::string::npos ? std::string() : oldName.substr(0, dot);
            std::string column = oldName.substr(dot == std::string::npos ? 0 : dot + 1);
            const TableInfo* info = findTable("", table);
            if (!info || info->isView() || info->columnIndex(column) < 0)
                throw SqlException(15248, "Either the parameter @objname is ambiguous or the claimed @objtype "
                                          "(COLUMN) is wrong.",
                                   line);
            const int id = info->id;
            column = info->columns[static_cast<std::size_t>(info->columnIndex(column))].name;
            execSql(db_, "ALTER TABLE " + schema + "." + quoteIdent(info->name) + " RENAME COLUMN " +
                             quoteIdent(column) + " TO " + quoteIdent(newName));
            Stmt u(db_, "UPDATE " + schema + ".syscolumns SET name = ?1 WHERE id = ?2 AND name = ?3");
            u.bind(1, newName).bind(2, static_cast<std::int64_t>(id)).bind(3, column);
            u.step();
            // Key column lists ("a,b") of the table's keys.
            Stmt keys(db_, "SELECT id, keycols FROM " + schema + ".sysobjects WHERE parent_obj = ?1 AND keycols IS NOT NULL");
            keys.bind(1, static_cast<std::int64_t>(id));
            std::vector<std::pair<std::int64_t, std::string>> updates;
            while (keys.step()) {
                std::string list = "," + keys.columnText(1) + ",";
                std::string changed;
                std::size_t start = 1;
                while (start < list.size()) {
                    std::size_t comma = list.find(',', start);
                    std::string part = list.substr(start, comma - start);
                    changed += (changed.empty() ? "" : ",") + (equalsIgnoreCase(part, column) ? newName : part);
                    start = comma + 1;
                }
                updates.push_back({keys.columnInt(0), changed});
            }
            for (const auto& [keyId, list] : updates) {
                Stmt k(db_, "UPDATE " + schema + ".sysobjects SET keycols = ?1 WHERE id = ?2");
                k.bind(1, list).bind(2, keyId);
                k.step();
            }
            return;
        }
        const TableInfo* info = findTable("", oldName);
        if (!info || info->xtype == "S")
            throw SqlException(15225, "No item by the name of '" + objectName +
                                          "' could be found in the current database '" + current_ +
                                          "', given that @itemtype was input as '(null)'.",
                               line);
        if (info->isView())
            throw SqlException(err::Unsupported, "The engine cannot rename a view; drop and create it again.", line);
        if (findTable("", newName))
            throw SqlException(15335, "Error: The new name '" + newName +
                                          "' is already in use as a object name and would cause a duplicate that is "
                                          "not permitted.",
                               line);
        const std::string old = info->name;
        const int id = info->id;
        // The engine's indexes are named after their table: made anew under the new name.
        std::vector<std::pair<std::string, std::string>> indexes;   // old name, SQL
        {
            Stmt q(db_, "SELECT name, sql FROM " + schema + ".sqlite_master WHERE type = 'index' AND tbl_name = ?1 "
                                                            "COLLATE NOCASE AND sql IS NOT NULL");
            q.bind(1, old);
            while (q.step())
                indexes.push_back({q.columnText(0), q.columnText(1)});
        }
        execSql(db_, "ALTER TABLE " + schema + "." + quoteIdent(old) + " RENAME TO " + quoteIdent(newName));
        for (const auto& [indexName, sql] : indexes) {
            const std::size_t dollar = indexName.find('$');
            if (dollar == std::string::npos)
                continue;
            const std::string renamed = newName + indexName.substr(dollar);
            std::string create = sql;
            const std::string quotedOld = quoteIdent(indexName);
            const std::size_t at = create.find(quotedOld);
            if (at == std::string::npos)
                continue;
            create.replace(at, quotedOld.size(), schema + "." + quoteIdent(renamed));
            std::size_t on = create.find(" ON ");
            if (on != std::string::npos) {
                std::size_t paren = create.find('(', on);
                create.replace(on, paren - on, " ON " + quoteIdent(newName) + " ");
            }
            execSql(db_, "DROP INDEX " + schema + "." + quotedOld);
            execSql(db_, create);
        }
        Stmt u(db_, "UPDATE " + schema + ".sysobjects SET name = ?1 WHERE id = ?2");
        u.bind(1, newName).bind(2, static_cast<std::int64_t>(id));
        u.step();
    });
}

// ---- DDL --------------------------------------------------------------------------

void Session::createType(const std::string& name, const ast::TypeName& base, std::optional<bool> nullable,
                         const ast::Pos& pos)
{
    std::string alias = schemaFor("");
    if (findUserType("", name) || baseTypeFromName(name) != BaseType::Unknown)
        throw SqlException(219, "The type '" + name + "' already exists, or you do not have permission to create it.",
                           pos.line);
    if (baseTypeFromName(base.name) == BaseType::Unknown)
        throw SqlException(err::UnknownType,
                           "Column, parameter, or variable #1: Cannot find data type " + base.name + ".", pos.line);
    VariableTypes none;
    Translator tr(*this, none);
    SqlType t = tr.resolveType(base, "", 1);
    if (t.isText() && t.length == -2)
        t.length = 1;
    Stmt q(db_, "INSERT INTO " + quoteIdent(alias) +
                    ".systypes(name, xtype, xusertype, length, prec, scale, allownulls, basename) "
                    "VALUES(?1, ?2, (SELECT max(ifnull(max(xusertype), 256), 256) + 1 FROM " +
                    quoteIdent(alias) + ".systypes), ?3, ?4, ?5, ?6, ?7)");
    q.bind(1, name)
        .bind(2, static_cast<std::int64_t>(t.xtype()))
        .bind(3, static_cast<std::int64_t>(t.length))
        .bind(4, static_cast<std::int64_t>(t.precision))
        .bind(5, static_cast<std::int64_t>(t.scale))
        .bind(6, static_cast<std::int64_t>(nullable.value_or(true) ? 1 : 0))
        .bind(7, t.baseName());
    q.step();
    bumpSchemaGeneration();
}

SqlType Session::declaredColumnType(const ast::ColumnDef& def, const std::string& database, int ordinal,
                                    bool& allowNulls)
{
    VariableTypes none;
    Translator tr(*this, none);
    SqlType t = tr.resolveType(def.type, database, ordinal, &allowNulls);
    if (t.isText() && t.length == -2)
        t.length = 1;
    if ((t.base == BaseType::Binary || t.base == BaseType::VarBinary) && t.length == -2)
        t.length = 1;
    return t;
}

std::string Session::columnDeclaration(const ColumnInfo& c, const ast::ColumnDef& def, const TableInfo& table)
{
    std::string sql = quoteIdent(c.name) + " " + sqliteDeclaredType(c.type);
    if (!c.nullable)
        sql += " NOT NULL";
    if (c.type.isText()) {
        std::string coll = lowerAscii(def.collation);
        sql += (coll.find("_cs_") != std::string::npos || coll.find("_bin") != std::string::npos) ? " COLLATE BINARY"
                                                                                                   : " COLLATE vq_ci";
    }
    if (def.check) {
        VariableTypes none;
        Translator tr(*this, none);
        sql += " CHECK (" + tr.tableExpression(*def.check, table.columns) + ")";
    }
    return sql;
}

void Session::insertColumnRows(const std::string& alias, int objectId, const std::vector<ColumnInfo>& columns,
                               const std::string& database)
{
    Stmt q(db_, "INSERT INTO " + quoteIdent(alias) +
                    ".syscolumns(name, id, xtype, xusertype, length, colid, prec, scale, isnullable, typename, "
                    "defaulttext, isidentity) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
    for (const ColumnInfo& c : columns) {
        q.reset();
        int xusertype = c.type.xtype();
        if (!c.type.userTypeName.empty())
            if (const UserType* u = findUserType(database, c.type.userTypeName); u)
                xusertype = u->xusertype;
        q.bind(1, c.name)
            .bind(2, static_cast<std::int64_t>(objectId))
            .bind(3, static_cast<std::int64_t>(c.type.xtype()))
            .bind(4, static_cast<std::int64_t>(xusertype))
            .bind(5, static_cast<std::int64_t>(storageLength(c.type)))
            .bind(6, static_cast<std::int64_t>(c.colid))
            .bind(7, static_cast<std::int64_t>(c.type.precision))
            .bind(8, static_cast<std::int64_t>(c.type.scale))
            .bind(9, static_cast<std::int64_t>(c.nullable ? 1 : 0))
            .bind(10, c.type.userTypeName.empty() ? c.type.baseName() : c.type.userTypeName);
        if (c.defaultText.empty())
            q.bindNull(11);
        else
            q.bind(11, c.defaultText);
        q.bind(12, static_cast<std::int64_t>(c.identity ? 1 : 0));
        q.step();
    }
}

namespace {

std::string keyObjectName(const std::string& prefix, const std::string& table, int id)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(id) * 2654435761u);
    return prefix + "__" + table.substr(0, 16) + "__" + hex;
}

bool objectExists(sqlite3* db, const std::string& alias, const std::string& name)
{
    Stmt q(db, "SELECT 1 FROM " + quoteIdent(alias) + ".sysobjects WHERE name = ?1 COLLATE vq_ci");
    q.bind(1, name);
    return q.step();
}

}  // namespace

void Session::createTable(const ast::CreateTableStmt& s, RunState&)
{
    const std::string database = s.table.database().empty() ? current_ : s.table.database();
    const std::string alias = schemaFor(database);
    const std::string& name = s.table.last();
    if (!name.empty() && name[0] == '#')
        throw SqlException(err::Unsupported, "The engine does not support temporary tables.", s.pos.line);
    if (objectExists(db_, alias, name))
        throw SqlException(err::ObjectExists, "There is already an object named '" + name + "' in the database.",
                           s.pos.line);

    TableInfo table;
    table.name = name;
    table.xtype = "U";
    table.database = database;
    table.schemaAlias = alias;

    // The primary key: inline on a column or as a table constraint.
    std::vector<std::string> keyColumns;
    std::string keyName;
    std::vector<std::pair<std::string, std::vector<std::string>>> uniques;
    std::vector<const ast::Expr*> checks;
    for (const ast::ColumnDef& def : s.columns) {
        if (def.primaryKey) {
            if (!keyColumns.empty())
                throw SqlException(8110, "Cannot add multiple PRIMARY KEY constraints to table '" + name + "'.",
                                   s.pos.line);
            keyColumns.push_back(def.name);
            keyName = def.keyName;
        }
        if (def.unique)
            uniques.push_back({def.keyName, {def.name}});
    }
    for (const ast::TableConstraint& c : s.constraints) {
        std::vector<std::string> cols;
        for (const ast::OrderItem& k : c.keyColumns)
            cols.push_back(k.expr->name.last());
        if (c.kind == ast::TableConstraint::Kind::PrimaryKey) {
            if (!keyColumns.empty())
                throw SqlException(8110, "Cannot add multiple PRIMARY KEY constraints to table '" + name + "'.",
                                   s.pos.line);
            keyColumns = cols;
            keyName = c.name;
        } else if (c.kind == ast::TableConstraint::Kind::Unique) {
            uniques.push_back({c.name, cols});
        } else if (c.kind == ast::TableConstraint::Kind::Check) {
            checks.push_back(c.expr.get());
        }
    }

    // Columns with their resolved types.
    std::set<std::string> seen;
    for (std::size_t i = 0; i < s.columns.size(); ++i) {
        const ast::ColumnDef& def = s.columns[i];
        if (!seen.insert(lowerAscii(def.name)).second)
            throw SqlException(2705, "Column names in each table must be unique. Column name '" + def.name +
                                         "' in table '" + name + "' is specified more than once.",
                               s.pos.line);
        bool allowNulls = true;
        ColumnInfo c;
        c.name = def.name;
        c.colid = static_cast<int>(i + 1);
        c.type = declaredColumnType(def, database, c.colid, allowNulls);
        c.nullable = def.nullable.value_or(allowNulls);
        c.identity = def.identity;
        bool inKey = std::any_of(keyColumns.begin(), keyColumns.end(),
                                 [&](const std::string& k) { return equalsIgnoreCase(k, def.name); });
        if (inKey) {
            if (def.nullable.value_or(false))
                throw SqlException(8111,
                                   "Cannot define PRIMARY KEY constraint on nullable column in table '" + name + "'.",
                                   s.pos.line);
            c.nullable = false;
        }
        if (c.identity && !c.type.isIntegerFamily() && !(c.type.base == BaseType::Numeric && c.type.scale == 0))
            throw SqlException(2749, "Identity column '" + def.name +
                                         "' must be of data type int, bigint, smallint, tinyint, or decimal or "
                                         "numeric with a scale of 0, and constrained to be nonnullable.",
                               s.pos.line);
        if (c.identity)
            c.nullable = false;
        table.columns.push_back(c);
    }
    for (const std::string& k : keyColumns)
        if (table.columnIndex(k) < 0)
            throw SqlException(1911, "Column name '" + k + "' does not exist in the target table or view.",
                               s.pos.line);

    // Defaults are kept as SQLite expressions, converted to the column's type.
    VariableTypes none;
    Translator tr(*this, none);
    for (std::size_t i = 0; i < s.columns.size(); ++i) {
        ColumnInfo& c = table.columns[i];
        const ast::ColumnDef& def = s.columns[i];
        if (def.defaultValue) {
            std::string sql = tr.tableExpression(*def.defaultValue, {});
            c.defaultText = tr.convertForAssignment(sql, SqlType{}, c.type);
        }
    }
    // Identity: a single-column integer key numbers itself (SQLite's
    // AUTOINCREMENT); any other identity column takes the next number
    // after the largest one.
    bool autoIncrementKey = false;
    for (std::size_t i = 0; i < s.columns.size(); ++i) {
        ColumnInfo& c = table.columns[i];
        if (!c.identity)
            continue;
        const ast::ColumnDef& def = s.columns[i];
        if (keyColumns.size() == 1 && equalsIgnoreCase(keyColumns[0], c.name) && c.type.isIntegerFamily() &&
            def.identitySeed == 1 && def.identityIncrement == 1) {
            autoIncrementKey = true;
        } else {
            c.defaultText = "identity(" + std::to_string(def.identitySeed) + "," +
                            std::to_string(def.identityIncrement) + ")";
        }
    }

    withSavepoint([&] {
        int id = nextObjectId(db_, alias);
        table.id = id;
        std::string sql = "CREATE TABLE " + quoteIdent(alias) + "." + quoteIdent(name) + " (";
        for (std::size_t i = 0; i < s.columns.size(); ++i) {
            if (i)
                sql += ", ";
            if (autoIncrementKey && table.columns[i].identity)
                sql += quoteIdent(table.columns[i].name) + " INTEGER PRIMARY KEY AUTOINCREMENT";
            else
                sql += columnDeclaration(table.columns[i], s.columns[i], table);
        }
        if (keyName.empty() && !keyColumns.empty())
            keyName = keyObjectName("PK", name, id);
        if (!keyName.empty() && objectExists(db_, alias, keyName))
            throw SqlException(err::ObjectExists,
                               "There is already an object named '" + keyName + "' in the database.", s.pos.line);
        if (!keyColumns.empty() && !autoIncrementKey) {
            sql += ", CONSTRAINT " + quoteIdent(keyName) + " PRIMARY KEY (";
            for (std::size_t i = 0; i < keyColumns.size(); ++i)
                sql += (i ? ", " : "") + quoteIdent(keyColumns[i]);
            sql += ")";
        }
        for (const auto& [uname, cols] : uniques) {
            sql += ", UNIQUE (";
            for (std::size_t i = 0; i < cols.size(); ++i)
                sql += (i ? ", " : "") + quoteIdent(cols[i]);
            sql += ")";
        }
        for (const ast::Expr* check : checks)
            sql += ", CHECK (" + tr.tableExpression(*check, table.columns) + ")";
        sql += ")";
        execSql(db_, sql);

        Stmt obj(db_, "INSERT INTO " + quoteIdent(alias) +
                          ".sysobjects(id, name, xtype, type, uid, parent_obj, crdate, keycols) "
                          "VALUES(?1, ?2, ?3, ?4, 1, ?5, vq_getdate(), ?6)");
        obj.bind(1, static_cast<std::int64_t>(id)).bind(2, name).bind(3, std::string("U")).bind(4, std::string("U"));
        obj.bind(5, static_cast<std::int64_t>(0)).bindNull(6);
        obj.step();
        insertColumnRows(alias, id, table.columns, database);
        int nextId = id + 1;
        if (!keyColumns.empty()) {
            std::string cols;
            for (const std::string& k : keyColumns)
                cols += (cols.empty() ? "" : ",") + table.columns[static_cast<std::size_t>(table.columnIndex(k))].name;
            obj.reset();
            obj.bind(1, static_cast<std::int64_t>(nextId++)).bind(2, keyName).bind(3, std::string("PK"));
            obj.bind(4, std::string("K")).bind(5, static_cast<std::int64_t>(id)).bind(6, cols);
            obj.step();
        }
        for (const auto& [uname, cols] : uniques) {
            std::string n = uname.empty() ? keyObjectName("UQ", name, nextId) : uname;
            std::string list;
            for (const std::string& k : cols)
                list += (list.empty() ? "" : ",") + k;
            obj.reset();
            obj.bind(1, static_cast<std::int64_t>(nextId++)).bind(2, n).bind(3, std::string("UQ"));
            obj.bind(4, std::string("K")).bind(5, static_cast<std::int64_t>(id)).bind(6, list);
            obj.step();
        }
        obj.reset();
        std::vector<const ast::TableConstraint*> foreignKeys;
        for (const ast::ColumnDef& def : s.columns)
            for (const ast::TableConstraint& fk : def.foreignKeys)
                foreignKeys.push_back(&fk);
        for (const ast::TableConstraint& c : s.constraints)
            if (c.kind == ast::TableConstraint::Kind::ForeignKey)
                foreignKeys.push_back(&c);
        for (const ast::TableConstraint* c : foreignKeys) {
            const int fkId = nextId++;
            createForeignKey(db_, table, resolveForeignKey(db_, table, *c, fkId, s.pos.line), fkId, false,
                             s.pos.line);
        }
    });
}

void Session::alterTable(const ast::AlterTableStmt& s, RunState&)
{
    const TableInfo* found = findTable(s.table.database(), s.table.last());
    if (!found || found->isView() || found->xtype == "S")
        throw objectNotFound(4902, s.table.last(), s.pos.line);
    const TableInfo table = *found;
    const std::string alias = table.schemaAlias;
    const std::string target = quoteIdent(alias) + "." + quoteIdent(table.name);
    VariableTypes none;
    Translator tr(*this, none);

    switch (s.action) {
    case ast::AlterTableStmt::Action::Add: {
        withSavepoint([&] {
            Stmt maxCol(db_, "SELECT ifnull(max(colid), 0) FROM " + quoteIdent(alias) + ".syscolumns WHERE id = ?1");
            maxCol.bind(1, static_cast<std::int64_t>(table.id));
            maxCol.step();
            int colid = static_cast<int>(maxCol.columnInt(0));
            Stmt count(db_, "SELECT count(*) FROM " + target);
            count.step();
            bool empty = count.columnInt(0) == 0;
            std::vector<ColumnInfo> added;
            for (const ast::ColumnDef& def : s.columns) {
                if (table.columnIndex(def.name) >= 0 ||
                    std::any_of(added.begin(), added.end(),
                                [&](const ColumnInfo& a) { return equalsIgnoreCase(a.name, def.name); }))
                    throw SqlException(2705, "Column names in each table must be unique. Column name '" + def.name +
                                                 "' in table '" + table.name + "' is specified more than once.",
                                       s.pos.line);
                if (def.identity || def.primaryKey || def.unique)
                    throw SqlException(err::Unsupported,
                                       "The engine cannot add an identity, primary key or unique column to an "
                                       "existing table; add the column, then a constraint.",
                                       s.pos.line);
                bool allowNulls = true;
                ColumnInfo c;
                c.name = def.name;
                c.colid = ++colid;
                c.type = declaredColumnType(def, table.database, c.colid, allowNulls);
                c.nullable = def.nullable.value_or(allowNulls);
                if (def.defaultValue)
                    c.defaultText =
                        tr.convertForAssignment(tr.tableExpression(*def.defaultValue, {}), SqlType{}, c.type);
                std::string sql = "ALTER TABLE " + target + " ADD COLUMN " + quoteIdent(c.name) + " " +
                                  sqliteDeclaredType(c.type);
                if (!c.nullable) {
                    if (c.defaultText.empty() && !empty)
                        throw SqlException(4901,
                                           "ALTER TABLE only allows columns to be added that can contain nulls, or "
                                           "have a DEFAULT definition specified, or the column being added is an "
                                           "identity or timestamp column, or alternatively if none of the previous "
                                           "conditions are satisfied the table must be empty to allow addition of "
                                           "this column. Column '" + c.name + "' cannot be added to non-empty table '" +
                                               table.name + "' because it does not satisfy these conditions.",
                                           s.pos.line);
                    // SQLite fills existing rows from a constant default: take
                    // the default's value now, as SQL Server fills them.
                    std::string literal = "''";
                    if (!c.defaultText.empty()) {
                        Stmt v(db_, "SELECT quote(" + c.defaultText + ")");
                        v.step();
                        literal = v.columnText(0);
                    } else if (c.type.isNumericFamily()) {
                        literal = "0";
                    }
                    sql += " NOT NULL DEFAULT " + literal;
                }
                if (c.type.isText()) {
                    std::string coll = lowerAscii(def.collation);
                    sql += (coll.find("_cs_") != std::string::npos || coll.find("_bin") != std::string::npos)
                               ? " COLLATE BINARY"
                               : " COLLATE vq_ci";
                }
                if (def.check) {
                    std::vector<ColumnInfo> columns = table.columns;
                    columns.push_back(c);
                    sql += " CHECK (" + tr.tableExpression(*def.check, columns) + ")";
                }
                execSql(db_, sql);
                added.push_back(c);
            }
            insertColumnRows(alias, table.id, added, table.database);
            TableInfo widened = table;
            widened.columns.insert(widened.columns.end(), added.begin(), added.end());
            auto addForeignKey = [&](const ast::TableConstraint& c) {
                const int fkId = nextObjectId(db_, alias);
                createForeignKey(db_, widened, resolveForeignKey(db_, widened, c, fkId, s.pos.line), fkId,
                                 s.withCheck.value_or(true), s.pos.line);
            };
            for (const ast::ColumnDef& def : s.columns)
                for (const ast::TableConstraint& c : def.foreignKeys)
                    addForeignKey(c);
            for (const ast::TableConstraint& c : s.constraints) {
                if (c.kind == ast::TableConstraint::Kind::ForeignKey) {
                    addForeignKey(c);
                } else if (c.kind == ast::TableConstraint::Kind::PrimaryKey ||
                    c.kind == ast::TableConstraint::Kind::Unique) {
                    bool pk = c.kind == ast::TableConstraint::Kind::PrimaryKey;
                    if (pk && !table.primaryKeyName.empty())
                        throw SqlException(1779, "Table '" + table.name +
                                                     "' already has a primary key defined on it.",
                                           s.pos.line);
                    int id = nextObjectId(db_, alias);
                    std::string n = c.name.empty() ? keyObjectName(pk ? "PK" : "UQ", table.name, id) : c.name;
                    if (objectExists(db_, alias, n))
                        throw SqlException(err::ObjectExists,
                                           "There is already an object named '" + n + "' in the database.", s.pos.line);
                    std::string cols, list;
                    for (const ast::OrderItem& k : c.keyColumns) {
                        const std::string& col = k.expr->name.last();
                        if (table.columnIndex(col) < 0)
                            throw SqlException(1911, "Column name '" + col +
                                                         "' does not exist in the target table or view.",
                                               s.pos.line);
                        cols += (cols.empty() ? "" : ", ") + quoteIdent(col);
                        list += (list.empty() ? "" : ",") + col;
                    }
                    execSql(db_, "CREATE UNIQUE INDEX " + quoteIdent(alias) + "." +
                                     quoteIdent(table.name + "$" + n) + " ON " + quoteIdent(table.name) + " (" + cols +
                                     ")");
                    Stmt obj(db_, "INSERT INTO " + quoteIdent(alias) +
                                      ".sysobjects(id, name, xtype, type, uid, parent_obj, crdate, keycols) "
                                      "VALUES(?1, ?2, ?3, 'K', 1, ?4, vq_getdate(), ?5)");
                    obj.bind(1, static_cast<std::int64_t>(id)).bind(2, n).bind(3, std::string(pk ? "PK" : "UQ"));
                    obj.bind(4, static_cast<std::int64_t>(table.id)).bind(5, list);
                    obj.step();
                } else if (c.kind == ast::TableConstraint::Kind::Default) {
                    int idx = table.columnIndex(c.defaultColumn);
                    if (idx < 0)
                        throw SqlException(1752, "Column '" + c.defaultColumn + "' in table '" + table.name +
                                                     "' is invalid for creating a default constraint.",
                                           s.pos.line);
                    const ColumnInfo& col = table.columns[static_cast<std::size_t>(idx)];
                    std::string d = tr.convertForAssignment(tr.tableExpression(*c.expr, {}), SqlType{}, col.type);
                    Stmt u(db_, "UPDATE " + quoteIdent(alias) + ".syscolumns SET defaulttext = ?1 WHERE id = ?2 AND "
                                                                "colid = ?3");
                    u.bind(1, d).bind(2, static_cast<std::int64_t>(table.id)).bind(3,
                                                                                   static_cast<std::int64_t>(col.colid));
                    u.step();
                } else {
                    throw SqlException(err::Unsupported,
                                       "The engine does not support adding this kind of constraint.", s.pos.line);
                }
            }
        });
        break;
    }
    case ast::AlterTableStmt::Action::CheckConstraint:
    case ast::AlterTableStmt::Action::NoCheckConstraint: {
        const bool enable = s.action == ast::AlterTableStmt::Action::CheckConstraint;
        withSavepoint([&] {
            setForeignKeysEnabled(db_, table, s.names, enable, s.withCheck.value_or(false), s.pos.line);
        });
        break;
    }
    case ast::AlterTableStmt::Action::DropColumn: {
        withSavepoint([&] {
            for (const std::string& col : s.names) {
                int idx = table.columnIndex(col);
                if (idx < 0)
                    throw SqlException(4924, "ALTER TABLE DROP COLUMN failed because column '" + col +
                                                 "' does not exist in table '" + table.name + "'.",
                                       s.pos.line);
                const ColumnInfo& dropped = table.columns[static_cast<std::size_t>(idx)];
                if (auto key = foreignKeyOnColumn(db_, alias, table.id, dropped.colid))
                    throw SqlException(std::vector<SqlError>{
                        SqlError{5074, 16, 1, s.pos.line,
                                 "The object '" + *key + "' is dependent on column '" + dropped.name + "'."},
                        SqlError{4922, 16, 9, s.pos.line,
                                 "ALTER TABLE DROP COLUMN " + dropped.name +
                                     " failed because one or more objects access this column."}});
                execSql(db_, "ALTER TABLE " + target + " DROP COLUMN " + quoteIdent(col));
                Stmt d(db_, "DELETE FROM " + quoteIdent(alias) + ".syscolumns WHERE id = ?1 AND name = ?2");
                d.bind(1, static_cast<std::int64_t>(table.id)).bind(2, col);
                d.step();
            }
        });
        break;
    }
    case ast::AlterTableStmt::Action::DropConstraint: {
        withSavepoint([&] {
            for (const std::string& n : s.names) {
                Stmt q(db_, "SELECT id, xtype, name FROM " + quoteIdent(alias) +
                                ".sysobjects WHERE name = ?1 COLLATE vq_ci AND parent_obj = ?2");
                q.bind(1, n).bind(2, static_cast<std::int64_t>(table.id));
                if (!q.step())
                    throw SqlException(3728, "'" + n + "' is not a constraint.", s.pos.line);
                std::int64_t id = q.columnInt(0);
                if (q.columnText(1) == "F") {
                    const std::string keyName = q.columnText(2);
                    q.reset();
                    dropForeignKey(db_, alias, keyName, static_cast<int>(id));
                    continue;
                }
                Stmt idx(db_, "SELECT name FROM " + quoteIdent(alias) + ".sqlite_master WHERE type = 'index' AND "
                                                                        "name = ?1");
                idx.bind(1, table.name + "$" + n);
                const bool ownIndex = idx.step();
                idx.reset();   // a statement still reading the schema would lock it
                q.reset();
                if (!ownIndex)
                    throw SqlException(err::Unsupported,
                                       "The engine cannot drop a key declared in CREATE TABLE.", s.pos.line);
                execSql(db_, "DROP INDEX " + quoteIdent(alias) + "." + quoteIdent(table.name + "$" + n));
                Stmt d(db_, "DELETE FROM " + quoteIdent(alias) + ".sysobjects WHERE id = ?1");
                d.bind(1, id);
                d.step();
            }
        });
        break;
    }
    case ast::AlterTableStmt::Action::AlterColumn: {
        // The stored values keep their SQLite form; the new type applies to
        // every value written from now on.
        withSavepoint([&] {
            for (const ast::ColumnDef& def : s.columns) {
                int idx = table.columnIndex(def.name);
                if (idx < 0)
                    throw SqlException(4924, "ALTER TABLE ALTER COLUMN failed because column '" + def.name +
                                                 "' does not exist in table '" + table.name + "'.",
                                       s.pos.line);
                bool allowNulls = true;
                SqlType t = declaredColumnType(def, table.database, idx + 1, allowNulls);
                bool nullable = def.nullable.value_or(true);
                const ColumnInfo& old = table.columns[static_cast<std::size_t>(idx)];
                if (!nullable && old.nullable)
                    throw SqlException(err::Unsupported,
                                       "The engine cannot make an existing column NOT NULL.", s.pos.line);
                // The stored values keep their SQLite form, so only changes
                // within one kind of type are allowed (a longer or shorter
                // text, a wider integer, another precision).
                bool sameKind = (t.isText() && old.type.isText()) ||
                                (t.isIntegerFamily() && old.type.isIntegerFamily()) ||
                                (t.isExactDecimal() && old.type.isExactDecimal()) ||
                                (t.isDateTime() && old.type.isDateTime()) || t.base == old.type.base;
                if (!sameKind)
                    throw SqlException(err::Unsupported,
                                       "The engine cannot change column '" + old.name + "' from " +
                                           old.type.toString() + " to " + t.toString() + ".",
                                       s.pos.line);
                if (t.isText() && t.length >= 0) {
                    Stmt longer(db_, "SELECT count(*) FROM " + target + " WHERE vq_gbklen(" + quoteIdent(old.name) +
                                         ") > " + std::to_string(t.length));
                    longer.step();
                    if (longer.columnInt(0) > 0)
                        throw SqlException(err::Truncation, "String or binary data would be truncated.", s.pos.line);
                }
                Stmt u(db_, "UPDATE " + quoteIdent(alias) +
                                ".syscolumns SET xtype = ?1, xusertype = ?1, typename = ?2, length = ?3, prec = ?4, "
                                "scale = ?5, isnullable = ?6 WHERE id = ?7 AND colid = ?8");
                u.bind(1, static_cast<std::int64_t>(t.xtype()))
                    .bind(2, t.userTypeName.empty() ? t.baseName() : t.userTypeName)
                    .bind(3, static_cast<std::int64_t>(storageLength(t)))
                    .bind(4, static_cast<std::int64_t>(t.precision))
                    .bind(5, static_cast<std::int64_t>(t.scale))
                    .bind(6, static_cast<std::int64_t>(nullable ? 1 : 0))
                    .bind(7, static_cast<std::int64_t>(table.id))
                    .bind(8, static_cast<std::int64_t>(table.columns[static_cast<std::size_t>(idx)].colid));
                u.step();
            }
        });
        break;
    }
    }
}

void Session::createView(const ast::CreateViewStmt& s, RunState& st)
{
    if (!s.view.database().empty())
        throw SqlException(166,
                           "'CREATE VIEW' does not allow specifying the database name as a prefix to the object name.",
                           s.pos.line);
    const std::string alias = schemaFor("");
    const std::string& name = s.view.last();
    if (objectExists(db_, alias, name))
        throw SqlException(err::ObjectExists, "There is already an object named '" + name + "' in the database.",
                           s.pos.line);
    VariableTypes none;
    Translator tr(*this, none);
    Translation body = tr.viewBody(*s.query, current_);
    std::vector<ColumnInfo> columns;
    if (!s.columns.empty() && s.columns.size() != body.columns.size())
        throw SqlException(s.columns.size() < body.columns.size() ? 8158 : 8159,
                           "'" + name + "' has " + (s.columns.size() < body.columns.size() ? "more" : "fewer") +
                               " columns than were specified in the column list.",
                           s.pos.line);
    for (std::size_t i = 0; i < body.columns.size(); ++i) {
        ColumnInfo c;
        c.name = s.columns.empty() ? body.columns[i].name : s.columns[i];
        c.type = body.columns[i].type;
        if (c.type.isUnknown())
            c.type = varcharType(8000);
        c.colid = static_cast<int>(i + 1);
        columns.push_back(c);
    }
    const std::string& text = st.cache->batch->text;
    std::string definition = s.endOffset > s.pos.offset && s.endOffset <= text.size()
                                 ? text.substr(s.pos.offset, s.endOffset - s.pos.offset)
                                 : std::string();
    withSavepoint([&] {
        std::string sql = "CREATE VIEW " + quoteIdent(alias) + "." + quoteIdent(name) + " (";
        for (std::size_t i = 0; i < columns.size(); ++i)
            sql += (i ? ", " : "") + quoteIdent(columns[i].name);
        sql += ") AS " + body.sql;
        execSql(db_, sql);
        int id = nextObjectId(db_, alias);
        Stmt obj(db_, "INSERT INTO " + quoteIdent(alias) +
                          ".sysobjects(id, name, xtype, type, uid, parent_obj, crdate, definition) "
                          "VALUES(?1, ?2, 'V', 'V', 1, 0, vq_getdate(), ?3)");
        obj.bind(1, static_cast<std::int64_t>(id)).bind(2, name).bind(3, definition);
        obj.step();
        insertColumnRows(alias, id, columns, current_);
        recordViewDependencies(db_, alias, id, tablesReadBy(*s.query));
    });
}

void Session::createIndex(const ast::CreateIndexStmt& s)
{
    const TableInfo* info = findTable(s.table.database(), s.table.last());
    if (!info || info->isView() || info->xtype == "S")
        throw objectNotFound(1088, s.table.last(), s.pos.line);
    std::string cols;
    for (const ast::OrderItem& k : s.columns) {
        const std::string& col = k.expr->name.last();
        if (info->columnIndex(col) < 0)
            throw SqlException(1911, "Column name '" + col + "' does not exist in the target table or view.",
                               s.pos.line);
        cols += (cols.empty() ? "" : ", ") + quoteIdent(col) + (k.descending ? " DESC" : "");
    }
    const std::string indexName = info->name + "$" + s.name;
    Stmt q(db_, "SELECT 1 FROM " + quoteIdent(info->schemaAlias) + ".sqlite_master WHERE type = 'index' AND name = ?1 "
                                                                     "COLLATE NOCASE");
    q.bind(1, indexName);
    if (q.step())
        throw SqlException(1913, "The operation failed because an index or statistics with name '" + s.name +
                                     "' already exists on table '" + info->name + "'.",
                           s.pos.line);
    try {
        execSql(db_, std::string("CREATE ") + (s.unique ? "UNIQUE " : "") + "INDEX " + quoteIdent(info->schemaAlias) +
                         "." + quoteIdent(indexName) + " ON " + quoteIdent(info->name) + " (" + cols + ")");
    } catch (const SqlException&) {
        if (sqlite3_extended_errcode(db_) == SQLITE_CONSTRAINT_UNIQUE)
            throw SqlException(1505, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found "
                                     "for the object name 'dbo." + info->name + "' and the index name '" + s.name + "'.",
                               s.pos.line);
        throw;
    }
    bumpSchemaGeneration();
}

void Session::drop(const ast::DropStmt& s)
{
    for (const ast::ObjectName& n : s.names) {
        switch (s.object) {
        case ast::DropStmt::Object::Table:
        case ast::DropStmt::Object::View: {
            bool view = s.object == ast::DropStmt::Object::View;
            const TableInfo* info = findTable(n.database(), n.last());
            if (!info || info->isView() != view || info->xtype == "S") {
                if (s.ifExists)
                    continue;
                throw SqlException(3701, std::string("Cannot drop the ") + (view ? "view" : "table") + " '" +
                                             n.toString() +
                                             "', because it does not exist or you do not have permission.",
                                   s.pos.line);
            }
            const TableInfo copy = *info;
            if (!view)
                if (auto key = referencingForeignKey(db_, copy.schemaAlias, copy.id))
                    throw SqlException(3726, "Could not drop object '" + n.toString() +
                                                 "' because it is referenced by a FOREIGN KEY constraint.",
                                       s.pos.line);
            withSavepoint([&] {
                if (!view)
                    dropForeignKeysOf(db_, copy.schemaAlias, copy.id);
                execSql(db_, std::string("DROP ") + (view ? "VIEW " : "TABLE ") + quoteIdent(copy.schemaAlias) + "." +
                                 quoteIdent(copy.name));
                const std::string schema = quoteIdent(copy.schemaAlias);
                execSql(db_, "DELETE FROM " + schema + ".syscolumns WHERE id = " + std::to_string(copy.id) +
                                 "; DELETE FROM " + schema + ".sysobjects WHERE id = " + std::to_string(copy.id) +
                                 " OR parent_obj = " + std::to_string(copy.id));
                forgetDependencies(db_, copy.schemaAlias, copy.id);
            });
            break;
        }
        case ast::DropStmt::Object::Index: {
            if (n.parts.size() < 2)
                throw SqlException(159,
                                   "Must specify the table name and index name for the DROP INDEX statement.",
                                   s.pos.line);
            const std::string& table = n.parts[n.parts.size() - 2];
            const TableInfo* info = findTable("", table);
            if (!info) {
                if (s.ifExists)
                    continue;
                throw SqlException(3701, "Cannot drop the index '" + n.toString() +
                                             "', because it does not exist or you do not have permission.",
                                   s.pos.line);
            }
            const std::string indexName = info->name + "$" + n.last();
            Stmt q(db_, "SELECT name FROM " + quoteIdent(info->schemaAlias) +
                            ".sqlite_master WHERE type = 'index' AND name = ?1 COLLATE NOCASE");
            q.bind(1, indexName);
            const bool found = q.step();
            const std::string sqliteName = found ? q.columnText(0) : std::string();
            q.reset();   // a statement still reading the schema would lock it
            if (!found) {
                if (s.ifExists)
                    continue;
                throw SqlException(3701, "Cannot drop the index '" + n.toString() +
                                             "', because it does not exist or you do not have permission.",
                                   s.pos.line);
            }
            execSql(db_, "DROP INDEX " + quoteIdent(info->schemaAlias) + "." + quoteIdent(sqliteName));
            bumpSchemaGeneration();
            break;
        }
        case ast::DropStmt::Object::Type: {
            std::string alias = schemaFor("");
            Stmt q(db_, "DELETE FROM " + quoteIdent(alias) +
                            ".systypes WHERE name = ?1 COLLATE vq_ci AND xusertype > 256");
            q.bind(1, n.last());
            q.step();
            if (sqlite3_changes(db_) == 0 && !s.ifExists)
                throw SqlException(218, "Could not find the type '" + n.last() +
                                            "' because it does not exist or you do not have permission.",
                                   s.pos.line);
            bumpSchemaGeneration();
            break;
        }
        case ast::DropStmt::Object::Procedure:
            if (!s.ifExists)
                throw SqlException(3701, "Cannot drop the procedure '" + n.toString() +
                                             "', because it does not exist or you do not have permission.",
                                   s.pos.line);
            break;
        }
    }
}

}  // namespace vqsql
