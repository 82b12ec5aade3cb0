// The executor's CREATE, ALTER and DROP of tables, views, indexes and types, and TRUNCATE TABLE.
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

bool Session::identityInsertAllowed(const TableInfo& table) const
{
    return identityInsert_.count(lowerAscii(table.database + "." + table.name)) > 0;
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
    }, info->schemaAlias != kLocalTempAlias);
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

void Session::createTable(const ast::CreateTableStmt& s, RunState& st)
{
    const std::string& name = s.table.last();
    const bool temporary = isTemporaryTableName(name);
    const std::string database = temporary ? kTempdbName : s.table.database().empty() ? current_ : s.table.database();
    const std::string alias = temporary ? temporaryTableAlias(name) : schemaFor(database);
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
        // SQL Server skips a temporary table's foreign keys with a notice.
        for (const ast::TableConstraint* c : foreignKeys) {
            if (temporary) {
                st.result->addMessage("Skipping FOREIGN KEY constraint '" + c->name +
                                      "' definition for temporary table. FOREIGN KEY constraints are not enforced "
                                      "on local or global temporary tables.");
                continue;
            }
            const int fkId = nextId++;
            createForeignKey(db_, table, resolveForeignKey(db_, table, *c, fkId, s.pos.line), fkId, false,
                             s.pos.line);
        }
        if (temporary)
            recordTemporaryTable(alias, id);
    }, !temporary || isGlobalTemporaryTableName(name));
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
            }, copy.schemaAlias != kLocalTempAlias);
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
        case ast::DropStmt::Object::Procedure: dropProcedure(n, s.ifExists, s.pos.line); break;
        }
    }
}

}  // namespace vqsql
