// The executor's temporary tables, SELECT ... INTO and the identity of a
// scope.
//
// Where the tables live:
//  - #t (local): in a private database each session attaches under
//    kLocalTempAlias (SQLite's "" file: a temporary file of this handle
//    alone, removed when the handle closes). It takes part in the
//    session's transactions like any attached database, so a rollback
//    undoes a #table's creation and rows, and two sessions never wait for
//    each other's #tables.
//  - ##t (global): in the instance's shared tempdb, Data/tempdb.mdf, which
//    every session attaches as the database "tempdb" and which is locked
//    as every other database is (SQLite's file locks, WAL). A session
//    holds Data/templog.ldf shared while it has tempdb attached; a session
//    that finds no other holder (its exclusive lock succeeds) starts
//    tempdb afresh, so ##tables left by a process that died go away
//    when the instance is next used alone.
// A #table remembers the nesting level that created it (vq_temp_scopes);
// a ##table remembers the session that created it (vq_global_owners) and
// goes when that session ends.
#include "session.h"
#include "session_internal.h"

#include "foreign_keys.h"
#include "functions.h"
#include "instance.h"
#include "sqlite_util.h"
#include "view_update.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>
#include <unistd.h>

namespace vqsql {

namespace {

std::string localTemp()
{
    return quoteIdent(kLocalTempAlias);
}

// Creates tempdb anew in `file`: its system tables and the table of the
// ##tables' owners. The caller holds tempdb's lock exclusively.
void createSharedTempdb(const std::string& file)
{
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(file + suffix, ec);
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw SqlException(err::Internal, "cannot open SQLite");
    }
    try {
        registerEngineFunctions(db);
        execSql(db, "ATTACH DATABASE " + quoteString(file) + " AS tempdb");
        execSql(db, "PRAGMA tempdb.journal_mode=WAL; PRAGMA tempdb.synchronous=OFF; BEGIN");
        createSystemTables(db, "tempdb", false);
        execSql(db, "CREATE TABLE tempdb.vq_global_owners(id INTEGER PRIMARY KEY, owner TEXT NOT NULL); COMMIT");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    restrictToOwner(file);
}

// A mark no other session of any process shares.
std::string newOwnerMark(int spid)
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return std::to_string(::getpid()) + "." + std::to_string(spid) + "." + std::to_string(counter++) + "." +
           std::to_string(random());
}

// What SQL Server calls a column of the new table of SELECT ... INTO
// when it copies a table's column: nullability and identity.
struct CopiedColumn {
    bool nullable = true;
    const ColumnInfo* identity = nullptr;   // the identity column copied, if any
    const ast::Expr* identityFunction = nullptr;   // IDENTITY(type, seed, increment)
};

// A table of a FROM clause as SELECT ... INTO sees it.
struct IntoSource {
    std::string exposed;
    const TableInfo* info = nullptr;   // nullptr: a derived table
    bool outerSide = false;            // on the side of an outer join that may come out NULL
};

void collectIntoSources(const ast::TableRef& ref, bool outerSide, Catalog& catalog, std::vector<IntoSource>& out)
{
    switch (ref.kind) {
    case ast::TableRef::Kind::Named: {
        IntoSource s;
        s.exposed = ref.alias.empty() ? ref.name.last() : ref.alias;
        s.info = catalog.findTable(ref.name.database(), ref.name.last());
        s.outerSide = outerSide;
        out.push_back(s);
        break;
    }
    case ast::TableRef::Kind::Derived: out.push_back(IntoSource{ref.alias, nullptr, outerSide}); break;
    case ast::TableRef::Kind::Join: {
        const bool leftOuter = ref.joinType == ast::JoinType::Right || ref.joinType == ast::JoinType::Full;
        const bool rightOuter = ref.joinType == ast::JoinType::Left || ref.joinType == ast::JoinType::Full;
        collectIntoSources(*ref.left, outerSide || leftOuter, catalog, out);
        collectIntoSources(*ref.right, outerSide || rightOuter, catalog, out);
        break;
    }
    }
}

// The table column a column reference names, with whether its table
// may come out NULL; nullptr when not a plain column of a table.
const ColumnInfo* referencedColumn(const ast::Expr& e, const std::vector<IntoSource>& sources, bool& outerSide)
{
    if (e.kind != ast::ExprKind::Column)
        return nullptr;
    const std::string qualifier = e.name.parts.size() >= 2 ? e.name.parts[e.name.parts.size() - 2] : "";
    for (const IntoSource& s : sources) {
        if (!qualifier.empty() && !equalsIgnoreCase(s.exposed, qualifier))
            continue;
        if (!s.info)
            continue;
        int i = s.info->columnIndex(e.name.last());
        if (i >= 0) {
            outerSide = s.outerSide;
            return &s.info->columns[static_cast<std::size_t>(i)];
        }
    }
    return nullptr;
}

// SQL Server's nullability of a select-list expression: a table's column
// keeps its own, a constant is NOT NULL, ISNULL with a NOT NULL
// replacement is NOT NULL, CAST and CONVERT keep their operand's, CASE is
// NOT NULL when every result is; anything else may overflow into NULL.
bool expressionNullable(const ast::Expr& e, const std::vector<IntoSource>& sources)
{
    switch (e.kind) {
    case ast::ExprKind::Literal: return e.litKind == ast::LiteralKind::Null;
    case ast::ExprKind::Column: {
        bool outer = false;
        const ColumnInfo* c = referencedColumn(e, sources, outer);
        return !c || c->nullable || outer;
    }
    case ast::ExprKind::Unary:
        return e.args[0]->kind != ast::ExprKind::Literal || expressionNullable(*e.args[0], sources);
    case ast::ExprKind::Cast:
    case ast::ExprKind::Convert: return expressionNullable(*e.args[0], sources);
    case ast::ExprKind::Function:
        if (equalsIgnoreCase(e.text, "isnull") && e.args.size() == 2)
            return expressionNullable(*e.args[0], sources) && expressionNullable(*e.args[1], sources);
        return true;
    case ast::ExprKind::Case:
        if (!e.elseExpr || expressionNullable(*e.elseExpr, sources))
            return true;
        return std::any_of(e.whens.begin(), e.whens.end(),
                           [&](const auto& w) { return expressionNullable(*w.second, sources); });
    default: return true;
    }
}

bool isAggregateCall(const ast::Expr& e)
{
    if (e.kind == ast::ExprKind::Function) {
        static const char* const kAggregates[] = {"count", "sum", "avg", "min", "max", "count_big", "stdev",
                                                  "stdevp", "var", "varp"};
        for (const char* a : kAggregates)
            if (equalsIgnoreCase(e.text, a))
                return true;
    }
    for (const auto& a : e.args)
        if (a && isAggregateCall(*a))
            return true;
    return false;
}

// The nullability and identity of each column SELECT ... INTO creates,
// or an empty list when the select list cannot be followed (a * over a
// derived table): every column is then nullable.
std::vector<CopiedColumn> copiedColumns(const ast::Query& q, Catalog& catalog)
{
    std::vector<CopiedColumn> result;
    for (std::size_t b = 0; b < q.blocks.size(); ++b) {
        const ast::QueryBlock& block = *q.blocks[b];
        if (block.nested)
            return {};
        std::vector<IntoSource> sources;
        for (const auto& ref : block.from)
            collectIntoSources(*ref, false, catalog, sources);
        // The identity property passes only to a plain copy of one table's
        // rows: not through a join, grouping, an aggregate or a UNION.
        bool identityPasses = q.blocks.size() == 1 && sources.size() == 1 && block.groupBy.empty();
        std::vector<CopiedColumn> columns;
        for (const ast::SelectItem& item : block.items) {
            if (isAggregateCall(*item.expr))
                identityPasses = false;
            if (item.expr->kind == ast::ExprKind::Star) {
                for (const IntoSource& s : sources) {
                    if (!item.expr->name.empty() && !equalsIgnoreCase(s.exposed, item.expr->name.last()))
                        continue;
                    if (!s.info)
                        return {};
                    for (const ColumnInfo& c : s.info->columns)
                        columns.push_back(CopiedColumn{c.nullable || s.outerSide, c.identity ? &c : nullptr, nullptr});
                }
                continue;
            }
            if (item.expr->kind == ast::ExprKind::Function && equalsIgnoreCase(item.expr->text, "identity")) {
                columns.push_back(CopiedColumn{false, nullptr, item.expr.get()});
                continue;
            }
            bool outer = false;
            const ColumnInfo* c = referencedColumn(*item.expr, sources, outer);
            columns.push_back(CopiedColumn{expressionNullable(*item.expr, sources),
                                           c && c->identity ? c : nullptr, nullptr});
        }
        // An identity column listed twice passes its property to neither.
        std::vector<long> copies;
        for (const CopiedColumn& c : columns)
            copies.push_back(std::count_if(columns.begin(), columns.end(),
                                           [&](const CopiedColumn& o) { return o.identity == c.identity; }));
        for (std::size_t i = 0; i < columns.size(); ++i) {
            CopiedColumn& c = columns[i];
            if (!c.identity)
                continue;
            if (!identityPasses || copies[i] > 1) {
                // SQL Server then creates the column NOT NULL.
                c.identity = nullptr;
                c.nullable = false;
            }
        }
        if (b == 0) {
            result = std::move(columns);
            continue;
        }
        if (columns.size() != result.size())
            return {};
        for (std::size_t i = 0; i < columns.size(); ++i)
            result[i].nullable = result[i].nullable || columns[i].nullable;
    }
    return result;
}

// The written form of a column's type in the new table.
ast::TypeName typeNameOf(const SqlType& type)
{
    ast::TypeName t;
    if (type.isUnknown()) {   // SELECT NULL AS x INTO t: SQL Server makes it int
        t.name = "int";
        return t;
    }
    t.name = type.baseName();
    if (type.isText() || type.isBinary())
        t.length = type.base == BaseType::Text || type.base == BaseType::NText || type.base == BaseType::Image
                       ? -2
                       : type.length;
    if (type.base == BaseType::Numeric) {
        t.precision = type.precision;
        t.scale = type.scale;
    }
    return t;
}

// The seed and increment an identity column was declared with.
void identityParameters(const ColumnInfo& c, std::int64_t& seed, std::int64_t& increment)
{
    seed = 1;
    increment = 1;
    long long s = 1, i = 1;
    if (std::sscanf(c.defaultText.c_str(), "identity(%lld,%lld)", &s, &i) == 2) {
        seed = s;
        increment = i;
    }
}

// The column whose identity SELECT ... INTO passes on, for error 8108.
std::string inheritedIdentityName(const std::vector<CopiedColumn>& copied, const Translation& source)
{
    for (std::size_t i = 0; i < copied.size(); ++i)
        if (copied[i].identity)
            return source.columns[i].name;
    return source.columns.front().name;
}

}  // namespace

// ---- the stores ----------------------------------------------------------------

void Session::openTemporaryStores()
{
    execSql(db_, "ATTACH DATABASE '' AS " + localTemp());
    execSql(db_, "PRAGMA " + localTemp() + ".synchronous=OFF; BEGIN");
    try {
        createSystemTables(db_, kLocalTempAlias, false);
        execSql(db_, "CREATE TABLE " + localTemp() +
                         ".vq_temp_scopes(id INTEGER PRIMARY KEY, nestlevel INTEGER NOT NULL); COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }

    const std::string file = instanceDataFolder(folder_) + "/tempdb.mdf";
    const std::string log = instanceDataFolder(folder_) + "/templog.ldf";
    globalTempOwner_ = newOwnerMark(spid_);
    // Another session starting tempdb afresh holds it exclusively for a
    // moment: wait for it.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        {
            FileLock alone;
            // Only the holder of the exclusive lock starts it afresh; a
            // session that finds it missing without the lock waits for
            // the one making it.
            if (alone.lockExclusive(log))
                createSharedTempdb(file);
        }
        try {
            attach(kTempdbName, file, log);
            return;
        } catch (const SqlException& e) {
            if ((e.number() != 927 && e.number() != 5120) || std::chrono::steady_clock::now() > giveUp)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string Session::temporaryTableAlias(const std::string& name)
{
    return isGlobalTemporaryTableName(name) ? schemaFor(kTempdbName) : std::string(kLocalTempAlias);
}

const TableInfo* Session::findTemporaryTable(const std::string& name)
{
    const std::string alias = temporaryTableAlias(name);
    auto& perDb = tableCache_[alias];
    const std::string key = lowerAscii(name);
    if (auto it = perDb.find(key); it != perDb.end())
        return it->second.get();
    auto info = loadTableInfo(db_, alias, name);
    if (!info)
        return nullptr;
    info->database = kTempdbName;
    auto& stored = perDb[key];
    stored = std::make_unique<TableInfo>(std::move(*info));
    return stored.get();
}

void Session::recordTemporaryTable(const std::string& alias, int id)
{
    if (alias == kLocalTempAlias) {
        Stmt q(db_, "INSERT OR REPLACE INTO " + localTemp() + ".vq_temp_scopes(id, nestlevel) VALUES(?1, ?2)");
        q.bind(1, static_cast<std::int64_t>(id)).bind(2, static_cast<std::int64_t>(nestLevel_));
        q.step();
    } else {
        Stmt q(db_, "INSERT OR REPLACE INTO " + quoteIdent(alias) + ".vq_global_owners(id, owner) VALUES(?1, ?2)");
        q.bind(1, static_cast<std::int64_t>(id)).bind(2, globalTempOwner_);
        q.step();
    }
}

namespace {

// Drops a temporary table with its catalogue rows.
void dropTemporaryTableObjects(sqlite3* db, const TableInfo& t)
{
    const std::string schema = quoteIdent(t.schemaAlias);
    const std::string id = std::to_string(t.id);
    dropForeignKeysOf(db, t.schemaAlias, t.id);
    execSql(db, "DROP TABLE " + schema + "." + quoteIdent(t.name));
    execSql(db, "DELETE FROM " + schema + ".syscolumns WHERE id = " + id + "; DELETE FROM " + schema +
                    ".sysobjects WHERE id = " + id + " OR parent_obj = " + id);
}

}  // namespace

void Session::dropTemporaryTablesAbove(int nestLevel)
{
    scopeIdentities_.erase(scopeIdentities_.upper_bound(nestLevel), scopeIdentities_.end());
    std::vector<std::string> names;
    {
        Stmt q(db_, "SELECT o.name FROM " + localTemp() + ".vq_temp_scopes s JOIN " + localTemp() +
                        ".sysobjects o ON o.id = s.id AND o.xtype = 'U' WHERE s.nestlevel > ?1");
        q.bind(1, static_cast<std::int64_t>(nestLevel));
        while (q.step())
            names.push_back(q.columnText(0));
    }
    if (names.empty())
        return;
    // Only the session's private store changes: no other database is locked.
    withSavepoint(
        [&] {
            for (const std::string& name : names)
                if (const TableInfo* info = findTemporaryTable(name)) {
                    const TableInfo copy = *info;
                    dropTemporaryTableObjects(db_, copy);
                }
        },
        false);
}

void Session::resetSessionScope()
{
    dropTemporaryTablesAbove(-1);
    scopeIdentities_.clear();
    globalCursors_.clear();
    fetchStatus_ = -1;
}

// At the end of the session: its ##tables go (its #tables go with the
// handle). An open transaction is rolled back first, as at any
// disconnection.
void Session::dropOwnGlobalTemporaryTables()
{
    try {
        cursor_.reset();
        if (!sqlite3_get_autocommit(db_))
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        tranCount_ = 0;
        auto it = attached_.find(kTempdbName);
        if (it == attached_.end())
            return;
        const std::string schema = quoteIdent(it->second.alias);
        std::vector<TableInfo> tables;
        {
            Stmt q(db_, "SELECT o.name FROM " + schema + ".vq_global_owners w JOIN " + schema +
                            ".sysobjects o ON o.id = w.id AND o.xtype = 'U' WHERE w.owner = ?1");
            q.bind(1, globalTempOwner_);
            std::vector<std::string> names;
            while (q.step())
                names.push_back(q.columnText(0));
            q.reset();
            for (const std::string& n : names)
                if (auto info = loadTableInfo(db_, it->second.alias, n))
                    tables.push_back(*info);
        }
        if (tables.empty())
            return;
        execSql(db_, "BEGIN IMMEDIATE");
        try {
            for (const TableInfo& t : tables)
                dropTemporaryTableObjects(db_, t);
            Stmt d(db_, "DELETE FROM " + schema + ".vq_global_owners WHERE owner = ?1");
            d.bind(1, globalTempOwner_);
            d.step();
            execSql(db_, "COMMIT");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        bumpSchemaGeneration();
    } catch (...) {
        // The session ends in any case; tempdb is started afresh later.
    }
}

BatchResult Session::runNested(const std::string& text)
{
    NestScope nest(*this);
    return run(text);
}

// ---- identity ------------------------------------------------------------------

void Session::noteScopeIdentity(std::int64_t value)
{
    scopeIdentities_[nestLevel_] = value;
}

Value Session::scopeIdentity()
{
    auto it = scopeIdentities_.find(nestLevel_);
    return it == scopeIdentities_.end() ? Value::null() : Value::fromInteger(it->second);
}

// ---- SELECT ... INTO -----------------------------------------------------------

void Session::selectInto(const ast::SelectStmt& s, RunState& st)
{
    const ast::ObjectName& target = s.query->blocks[0]->into;
    const std::string& name = target.last();
    const int line = target.pos.line;
    if (findTable(target.database(), name))
        throw SqlException(err::ObjectExists, "There is already an object named '" + name + "' in the database.",
                           line);
    Translation source;
    {
        Translator tr(*this, st.types);
        source = tr.selectIntoSource(s);
    }
    if (!source.assignTargets.empty())
        throw SqlException(err::SyntaxKeyword, "Incorrect syntax near the keyword 'INTO'.", line, 15);
    for (const Column& c : source.columns)
        if (c.name.empty())
            throw SqlException(1038,
                               "An object or column name is missing or empty. For SELECT INTO statements, verify "
                               "each column has a name. For other statements, look for empty alias names. Aliases "
                               "defined as \"\" or [] are not allowed. Change the alias to a valid name.",
                               line, 15);
    std::vector<CopiedColumn> copied = copiedColumns(*s.query, *this);
    if (copied.size() != source.columns.size())
        copied.assign(source.columns.size(), CopiedColumn{});
    if (std::count_if(copied.begin(), copied.end(), [](const CopiedColumn& c) {
            return c.identity || c.identityFunction;
        }) > 1)
        throw SqlException(8108, "Cannot add identity column, using the SELECT INTO statement, to table '" + name +
                                     "', which already has column '" + inheritedIdentityName(copied, source) +
                                     "' that inherits the identity property.",
                           line);

    ast::CreateTableStmt create;
    create.pos = s.pos;
    create.table = target;
    for (std::size_t i = 0; i < source.columns.size(); ++i) {
        ast::ColumnDef def;
        def.name = source.columns[i].name;
        def.type = typeNameOf(source.columns[i].type);
        def.nullable = copied[i].nullable && !copied[i].identity;
        if (copied[i].identity) {
            def.identity = true;
            identityParameters(*copied[i].identity, def.identitySeed, def.identityIncrement);
        } else if (copied[i].identityFunction) {
            def.identity = true;
            identitySeedAndIncrement(*copied[i].identityFunction, def.identitySeed, def.identityIncrement);
        }
        create.columns.push_back(std::move(def));
    }

    long long rows = 0;
    const TableInfo* created = nullptr;
    withSavepoint([&] {
        createTable(create, st);
        created = findTable(target.database(), name);
        if (!created)
            throw SqlException(err::Internal, "The new table of SELECT ... INTO is missing.", line);
        std::string columns;
        for (const ColumnInfo& c : created->columns)
            columns += (columns.empty() ? "" : ", ") + quoteIdent(c.name);
        Prepared p;
        p.translation = source;
        p.translation.sql = "INSERT INTO " + quoteIdent(created->schemaAlias) + "." + quoteIdent(created->name) +
                            " (" + columns + ") " + source.sql;
        if (sqlite3_prepare_v2(db_, p.translation.sql.c_str(), static_cast<int>(p.translation.sql.size()), &p.stmt,
                               nullptr) != SQLITE_OK)
            throw sqliteFailure(sqlite3_errmsg(db_));
        bindParameters(p, st);
        const int rc = sqlite3_step(p.stmt);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
            StepError e = stepError(rc);
            sqlite3_reset(p.stmt);
            throwStepError(e, created, false);
        }
        rows = sqlite3_changes(db_);
    }, !isTemporaryTableName(name) || isGlobalTemporaryTableName(name));
    rowCount_ = rows;
    const bool hasIdentity = std::any_of(create.columns.begin(), create.columns.end(),
                                         [](const ast::ColumnDef& d) { return d.identity; });
    // @@IDENTITY after SELECT ... INTO: the new table's last identity
    // value, NULL when it has none.
    identity_ = hasIdentity && rows > 0 ? lastIdentity(target) : 0;
    if (identity_)
        noteScopeIdentity(identity_);
    st.result->addRowsAffected(rows, !noCount_);
}

}  // namespace vqsql
