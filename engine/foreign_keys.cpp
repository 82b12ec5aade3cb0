// Foreign keys: their catalogue rows and the triggers that enforce them.
#include "foreign_keys.h"

#include "functions.h"
#include "sqlite_util.h"

#include <algorithm>
#include <cstdio>

namespace vqsql {

namespace {

// sysobjects.status of a foreign key: the delete action plus four times the
// update action, numbered as SQL Server numbers referential actions.
int actionCode(const std::string& action)
{
    if (action == "CASCADE")
        return 1;
    if (action == "SET NULL")
        return 2;
    if (action == "SET DEFAULT")
        return 3;
    return 0;
}

std::string automaticName(const std::string& table, const std::string& column, int id)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(id) * 2654435761u);
    return "FK__" + table.substr(0, 16) + "__" + column.substr(0, 16) + "__" + hex;
}

std::vector<std::string> splitList(const std::string& list)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (!list.empty() && start <= list.size()) {
        std::size_t comma = list.find(',', start);
        out.push_back(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return out;
}

std::vector<std::string> sortedLower(std::vector<std::string> names)
{
    for (auto& n : names)
        n = lowerAscii(n);
    std::sort(names.begin(), names.end());
    return names;
}

// The column sets of a table's primary key, unique constraints and unique
// indexes: the keys a foreign key may reference.
std::vector<std::vector<std::string>> candidateKeys(sqlite3* db, const std::string& alias, const TableInfo& table)
{
    std::vector<std::vector<std::string>> keys;
    const std::string schema = quoteIdent(alias);
    {
        Stmt q(db, "SELECT keycols FROM " + schema + ".sysobjects WHERE parent_obj = ?1 AND xtype IN ('PK','UQ')");
        q.bind(1, static_cast<std::int64_t>(table.id));
        while (q.step())
            keys.push_back(sortedLower(splitList(q.columnText(0))));
    }
    std::vector<std::string> uniqueIndexes;
    {
        Stmt q(db, "PRAGMA " + schema + ".index_list(" + quoteIdent(table.name) + ")");
        while (q.step())
            if (q.columnInt(2) != 0)
                uniqueIndexes.push_back(q.columnText(1));
    }
    for (const std::string& index : uniqueIndexes) {
        std::vector<std::string> cols;
        Stmt q(db, "PRAGMA " + schema + ".index_info(" + quoteIdent(index) + ")");
        while (q.step())
            cols.push_back(q.columnText(2));
        keys.push_back(sortedLower(cols));
    }
    return keys;
}

// "column 'x'" of SQL Server's conflict message: named only for a key of one column.
std::string conflictTail(const std::string& database, const std::string& table, const std::vector<std::string>& cols)
{
    std::string text = " The conflict occurred in database \"" + database + "\", table \"dbo." + table + "\"";
    if (cols.size() == 1)
        text += ", column '" + cols.front() + "'";
    return text + ".";
}

std::string raiseSql(const std::string& message)
{
    return "SELECT RAISE(ABORT, " + quoteString(makeEngineError(547, message)) + ");";
}

// "a" = NEW."b" AND ... between two column lists.
std::string matchSql(const std::vector<std::string>& left, const std::string& rightPrefix,
                     const std::vector<std::string>& right)
{
    std::string sql;
    for (std::size_t i = 0; i < left.size(); ++i)
        sql += (i ? " AND " : "") + quoteIdent(left[i]) + " = " + rightPrefix + quoteIdent(right[i]);
    return sql;
}

std::string allNotNull(const std::string& prefix, const std::vector<std::string>& cols)
{
    std::string sql;
    for (std::size_t i = 0; i < cols.size(); ++i)
        sql += (i ? " AND " : "") + prefix + quoteIdent(cols[i]) + " IS NOT NULL";
    return sql;
}

std::string columnList(const std::vector<std::string>& cols)
{
    std::string sql;
    for (std::size_t i = 0; i < cols.size(); ++i)
        sql += (i ? ", " : "") + quoteIdent(cols[i]);
    return sql;
}

// The SET list of ON DELETE/UPDATE SET NULL / SET DEFAULT / CASCADE (UPDATE).
std::string referencingSetList(const TableInfo& child, const ForeignKeyDef& fk, const std::string& action)
{
    std::string sql;
    for (std::size_t i = 0; i < fk.columns.size(); ++i) {
        std::string value = "NULL";
        if (action == "CASCADE") {
            value = "NEW." + quoteIdent(fk.refColumns[i]);
        } else if (action == "SET DEFAULT") {
            int idx = child.columnIndex(fk.columns[i]);
            if (idx >= 0 && !child.columns[static_cast<std::size_t>(idx)].defaultText.empty() &&
                !child.columns[static_cast<std::size_t>(idx)].identity)
                value = child.columns[static_cast<std::size_t>(idx)].defaultText;
        }
        sql += (i ? ", " : "") + quoteIdent(fk.columns[i]) + " = " + value;
    }
    return sql;
}

void createTriggers(sqlite3* db, const std::string& alias, const TableInfo& child, const ForeignKeyDef& fk)
{
    const std::string schema = quoteIdent(alias) + ".";
    const std::string childTable = quoteIdent(child.name);
    const std::string parentTable = quoteIdent(fk.refTable);
    const std::string database = kDatabaseNameMarker;
    const std::string parentMissing = "NOT EXISTS (SELECT 1 FROM " + parentTable + " WHERE " +
                                      matchSql(fk.refColumns, "NEW.", fk.columns) + ")";
    const std::string toParent = conflictTail(database, fk.refTable, fk.refColumns);
    const std::string toChild = conflictTail(database, child.name, fk.columns);

    execSql(db, "CREATE TRIGGER " + schema + quoteIdent(fk.name + "$ci") + " AFTER INSERT ON " + childTable +
                    " FOR EACH ROW WHEN " + allNotNull("NEW.", fk.columns) + " AND " + parentMissing + " BEGIN " +
                    raiseSql("The INSERT statement conflicted with the FOREIGN KEY constraint \"" + fk.name + "\"." +
                             toParent) +
                    " END");
    execSql(db, "CREATE TRIGGER " + schema + quoteIdent(fk.name + "$cu") + " AFTER UPDATE OF " +
                    columnList(fk.columns) + " ON " + childTable + " FOR EACH ROW WHEN " +
                    allNotNull("NEW.", fk.columns) + " AND " + parentMissing + " BEGIN " +
                    raiseSql("The UPDATE statement conflicted with the FOREIGN KEY constraint \"" + fk.name + "\"." +
                             toParent) +
                    " END");

    const std::string referencedOld = matchSql(fk.columns, "OLD.", fk.refColumns);
    const std::string childExists = "EXISTS (SELECT 1 FROM " + childTable + " WHERE " + referencedOld + ")";
    std::string onDelete;
    if (fk.onDelete == "CASCADE")
        onDelete = " BEGIN DELETE FROM " + childTable + " WHERE " + referencedOld + "; END";
    else if (fk.onDelete == "SET NULL" || fk.onDelete == "SET DEFAULT")
        onDelete = " BEGIN UPDATE " + childTable + " SET " + referencingSetList(child, fk, fk.onDelete) + " WHERE " +
                   referencedOld + "; END";
    else
        onDelete = " WHEN " + childExists + " BEGIN " +
                   raiseSql("The DELETE statement conflicted with the REFERENCE constraint \"" + fk.name + "\"." +
                            toChild) +
                   " END";
    execSql(db, "CREATE TRIGGER " + schema + quoteIdent(fk.name + "$pd") + " AFTER DELETE ON " + parentTable +
                    " FOR EACH ROW" + onDelete);

    std::string changed;
    for (std::size_t i = 0; i < fk.refColumns.size(); ++i)
        changed += (i ? " OR " : "") + ("OLD." + quoteIdent(fk.refColumns[i])) + " IS NOT " +
                   ("NEW." + quoteIdent(fk.refColumns[i]));
    std::string onUpdate;
    if (fk.onUpdate == "NO ACTION")
        onUpdate = " WHEN (" + changed + ") AND " + childExists + " BEGIN " +
                   raiseSql("The UPDATE statement conflicted with the REFERENCE constraint \"" + fk.name + "\"." +
                            toChild) +
                   " END";
    else
        onUpdate = " WHEN " + changed + " BEGIN UPDATE " + childTable + " SET " +
                   referencingSetList(child, fk, fk.onUpdate) + " WHERE " + referencedOld + "; END";
    execSql(db, "CREATE TRIGGER " + schema + quoteIdent(fk.name + "$pu") + " AFTER UPDATE OF " +
                    columnList(fk.refColumns) + " ON " + parentTable + " FOR EACH ROW" + onUpdate);
}

bool hasForeignKeyTable(sqlite3* db, const std::string& alias)
{
    Stmt q(db, "SELECT 1 FROM " + quoteIdent(alias) + ".sqlite_master WHERE type = 'table' AND name = 'sysforeignkeys'");
    return q.step();
}

// sysobjects.status bit of a foreign key that is not enforced (NOCHECK).
constexpr int kDisabled = 256;

std::string actionName(int code)
{
    static const char* const kNames[] = {"NO ACTION", "CASCADE", "SET NULL", "SET DEFAULT"};
    return kNames[code & 3];
}

void dropTriggers(sqlite3* db, const std::string& alias, const std::string& name)
{
    for (const char* suffix : {"$ci", "$cu", "$pd", "$pu"})
        execSql(db, "DROP TRIGGER IF EXISTS " + quoteIdent(alias) + "." + quoteIdent(name + suffix));
}

// A foreign key as the catalogue keeps it.
ForeignKeyDef loadForeignKey(sqlite3* db, const std::string& alias, int objectId, int& status)
{
    const std::string s = quoteIdent(alias);
    ForeignKeyDef fk;
    Stmt obj(db, "SELECT name, status FROM " + s + ".sysobjects WHERE id = ?1");
    obj.bind(1, static_cast<std::int64_t>(objectId));
    obj.step();
    fk.name = obj.columnText(0);
    status = static_cast<int>(obj.columnInt(1));
    fk.onDelete = actionName(status);
    fk.onUpdate = actionName(status >> 2);
    Stmt cols(db, "SELECT fc.name, r.name, rc.name, r.id FROM " + s + ".sysforeignkeys AS f JOIN " + s +
                      ".syscolumns AS fc ON fc.id = f.fkeyid AND fc.colid = f.fkey JOIN " + s +
                      ".syscolumns AS rc ON rc.id = f.rkeyid AND rc.colid = f.rkey JOIN " + s +
                      ".sysobjects AS r ON r.id = f.rkeyid WHERE f.constid = ?1 ORDER BY f.keyno");
    cols.bind(1, static_cast<std::int64_t>(objectId));
    while (cols.step()) {
        fk.columns.push_back(cols.columnText(0));
        fk.refTable = cols.columnText(1);
        fk.refColumns.push_back(cols.columnText(2));
        fk.refTableId = static_cast<int>(cols.columnInt(3));
    }
    return fk;
}

void checkExistingRows(sqlite3* db, const TableInfo& child, const ForeignKeyDef& fk, const std::string& statement,
                       int line)
{
    const std::string schema = quoteIdent(child.schemaAlias);
    Stmt q(db, "SELECT 1 FROM " + schema + "." + quoteIdent(child.name) + " AS c WHERE " +
                   allNotNull("c.", fk.columns) + " AND NOT EXISTS (SELECT 1 FROM " + schema + "." +
                   quoteIdent(fk.refTable) + " WHERE " + matchSql(fk.refColumns, "c.", fk.columns) + ") LIMIT 1");
    if (q.step())
        throw SqlException(547, "The " + statement + " statement conflicted with the FOREIGN KEY constraint \"" +
                                    fk.name + "\"." + conflictTail(child.database, fk.refTable, fk.refColumns),
                           line);
}

}  // namespace

ForeignKeyDef resolveForeignKey(sqlite3* db, const TableInfo& child, const ast::TableConstraint& c, int objectId,
                                int line)
{
    ForeignKeyDef fk;
    for (const ast::OrderItem& k : c.keyColumns)
        fk.columns.push_back(k.expr->name.last());
    fk.name = c.name.empty() ? automaticName(child.name, fk.columns.empty() ? "" : fk.columns.front(), objectId)
                             : c.name;
    fk.onDelete = c.onDelete;
    fk.onUpdate = c.onUpdate;
    const std::string refName = c.refTable.last();
    const std::string refDatabase = c.refTable.database();
    if (!refDatabase.empty() && !equalsIgnoreCase(refDatabase, child.database))
        throw SqlException(1763, "Cross-database foreign key references are not supported. Foreign key '" +
                                     refName + "'.",
                           line);
    const std::string schemaPart = c.refTable.schema();
    std::optional<TableInfo> parent;
    if (schemaPart.empty() || equalsIgnoreCase(schemaPart, "dbo"))
        parent = loadTableInfo(db, child.schemaAlias, refName);
    if (!parent || parent->xtype != "U")
        throw SqlException(1767, "Foreign key '" + fk.name + "' references invalid table '" + c.refTable.toString() +
                                     "'.",
                           line);
    fk.refTable = parent->name;
    fk.refTableId = parent->id;
    for (std::string& col : fk.columns) {
        int idx = child.columnIndex(col);
        if (idx < 0)
            throw SqlException(1769, "Foreign key '" + fk.name + "' references invalid column '" + col +
                                         "' in referencing table '" + child.name + "'.",
                               line);
        col = child.columns[static_cast<std::size_t>(idx)].name;
    }
    std::vector<std::string> refColumns = c.refColumns.empty() ? parent->primaryKey : c.refColumns;
    if (c.refColumns.empty() && refColumns.empty())
        throw SqlException(1776, "There are no primary or candidate keys in the referenced table '" + parent->name +
                                     "' that match the referencing column list in the foreign key '" + fk.name + "'.",
                           line);
    for (const std::string& col : refColumns) {
        int idx = parent->columnIndex(col);
        if (idx < 0)
            throw SqlException(1770, "Foreign key '" + fk.name + "' references invalid column '" + col +
                                         "' in referenced table '" + parent->name + "'.",
                               line);
        fk.refColumns.push_back(parent->columns[static_cast<std::size_t>(idx)].name);
    }
    if (fk.refColumns.size() != fk.columns.size())
        throw SqlException(8139, "Number of referencing columns in foreign key differs from number of referenced "
                                 "columns, table '" + child.name + "'.",
                           line);
    const auto keys = candidateKeys(db, child.schemaAlias, *parent);
    if (std::find(keys.begin(), keys.end(), sortedLower(fk.refColumns)) == keys.end())
        throw SqlException(1776, "There are no primary or candidate keys in the referenced table '" + parent->name +
                                     "' that match the referencing column list in the foreign key '" + fk.name + "'.",
                           line);
    // SQL Server refuses a cascading action that leads back to the same table.
    if (parent->id == child.id && (fk.onDelete != "NO ACTION" || fk.onUpdate != "NO ACTION"))
        throw SqlException(1785, "Introducing FOREIGN KEY constraint '" + fk.name + "' on table '" + child.name +
                                     "' may cause cycles or multiple cascade paths. Specify ON DELETE NO ACTION or "
                                     "ON UPDATE NO ACTION, or modify other FOREIGN KEY constraints.",
                           line);
    return fk;
}

void createForeignKey(sqlite3* db, const TableInfo& child, const ForeignKeyDef& fk, int objectId, bool checkExisting,
                      int line)
{
    const std::string& alias = child.schemaAlias;
    const std::string schema = quoteIdent(alias);
    {
        Stmt q(db, "SELECT 1 FROM " + schema + ".sysobjects WHERE name = ?1 COLLATE vq_ci");
        q.bind(1, fk.name);
        if (q.step())
            throw SqlException(err::ObjectExists, "There is already an object named '" + fk.name + "' in the database.",
                               line);
    }
    if (checkExisting)
        checkExistingRows(db, child, fk, "ALTER TABLE", line);
    ensureForeignKeyTable(db, alias);
    std::string keycols;
    for (const std::string& c : fk.columns)
        keycols += (keycols.empty() ? "" : ",") + c;
    Stmt obj(db, "INSERT INTO " + schema +
                     ".sysobjects(id, name, xtype, type, uid, parent_obj, crdate, keycols, status) "
                     "VALUES(?1, ?2, 'F', 'F', 1, ?3, vq_getdate(), ?4, ?5)");
    obj.bind(1, static_cast<std::int64_t>(objectId))
        .bind(2, fk.name)
        .bind(3, static_cast<std::int64_t>(child.id))
        .bind(4, keycols)
        .bind(5, static_cast<std::int64_t>(actionCode(fk.onDelete) + 4 * actionCode(fk.onUpdate)));
    obj.step();
    Stmt parent(db, "SELECT id FROM " + schema + ".sysobjects WHERE name = ?1 COLLATE vq_ci AND xtype = 'U'");
    parent.bind(1, fk.refTable);
    parent.step();
    const std::int64_t parentId = parent.columnInt(0);
    parent.reset();
    for (std::size_t i = 0; i < fk.columns.size(); ++i) {
        Stmt row(db, "INSERT INTO " + schema +
                         ".sysforeignkeys(constid, fkeyid, rkeyid, fkey, rkey, keyno) VALUES(?1, ?2, ?3, "
                         "(SELECT colid FROM " + schema + ".syscolumns WHERE id = ?2 AND name = ?4 COLLATE vq_ci), "
                         "(SELECT colid FROM " + schema + ".syscolumns WHERE id = ?3 AND name = ?5 COLLATE vq_ci), ?6)");
        row.bind(1, static_cast<std::int64_t>(objectId))
            .bind(2, static_cast<std::int64_t>(child.id))
            .bind(3, parentId)
            .bind(4, fk.columns[i])
            .bind(5, fk.refColumns[i])
            .bind(6, static_cast<std::int64_t>(i + 1));
        row.step();
    }
    createTriggers(db, alias, child, fk);
    bumpSchemaGeneration();
}

void setForeignKeysEnabled(sqlite3* db, const TableInfo& child, const std::vector<std::string>& names, bool enabled,
                           bool checkExisting, int line)
{
    const std::string s = quoteIdent(child.schemaAlias);
    std::vector<int> ids;
    if (names.empty()) {
        Stmt q(db, "SELECT id FROM " + s + ".sysobjects WHERE xtype = 'F' AND parent_obj = ?1");
        q.bind(1, static_cast<std::int64_t>(child.id));
        while (q.step())
            ids.push_back(static_cast<int>(q.columnInt(0)));
    }
    for (const std::string& name : names) {
        Stmt q(db, "SELECT id, xtype FROM " + s + ".sysobjects WHERE name = ?1 COLLATE vq_ci AND parent_obj = ?2");
        q.bind(1, name).bind(2, static_cast<std::int64_t>(child.id));
        if (!q.step())
            throw SqlException(4917, "Constraint '" + name + "' does not exist.", line);
        // Only foreign keys can be switched off; the engine's CHECK constraints always hold.
        if (q.columnText(1) == "F")
            ids.push_back(static_cast<int>(q.columnInt(0)));
    }
    for (int id : ids) {
        int status = 0;
        ForeignKeyDef fk = loadForeignKey(db, child.schemaAlias, id, status);
        if (enabled && checkExisting)
            checkExistingRows(db, child, fk, "ALTER TABLE", line);
        dropTriggers(db, child.schemaAlias, fk.name);
        if (enabled)
            createTriggers(db, child.schemaAlias, child, fk);
        const int newStatus = enabled ? (status & ~kDisabled) : (status | kDisabled);
        execSql(db, "UPDATE " + s + ".sysobjects SET status = " + std::to_string(newStatus) +
                        " WHERE id = " + std::to_string(id));
    }
    bumpSchemaGeneration();
}

void dropForeignKey(sqlite3* db, const std::string& alias, const std::string& name, int objectId)
{
    const std::string schema = quoteIdent(alias);
    dropTriggers(db, alias, name);
    execSql(db, "DELETE FROM " + schema + ".sysobjects WHERE id = " + std::to_string(objectId));
    if (hasForeignKeyTable(db, alias))
        execSql(db, "DELETE FROM " + schema + ".sysforeignkeys WHERE constid = " + std::to_string(objectId));
    bumpSchemaGeneration();
}

void dropForeignKeysOf(sqlite3* db, const std::string& alias, int tableId)
{
    std::vector<std::pair<std::string, int>> keys;
    {
        Stmt q(db, "SELECT name, id FROM " + quoteIdent(alias) + ".sysobjects WHERE xtype = 'F' AND parent_obj = ?1");
        q.bind(1, static_cast<std::int64_t>(tableId));
        while (q.step())
            keys.push_back({q.columnText(0), static_cast<int>(q.columnInt(1))});
    }
    for (const auto& [name, id] : keys)
        dropForeignKey(db, alias, name, id);
}

std::optional<std::string> foreignKeyOnColumn(sqlite3* db, const std::string& alias, int tableId, int colid)
{
    if (!hasForeignKeyTable(db, alias))
        return std::nullopt;
    const std::string schema = quoteIdent(alias);
    Stmt q(db, "SELECT o.name FROM " + schema + ".sysforeignkeys AS f JOIN " + schema +
                   ".sysobjects AS o ON o.id = f.constid WHERE (f.fkeyid = ?1 AND f.fkey = ?2) OR "
                   "(f.rkeyid = ?1 AND f.rkey = ?2) LIMIT 1");
    q.bind(1, static_cast<std::int64_t>(tableId)).bind(2, static_cast<std::int64_t>(colid));
    if (q.step())
        return q.columnText(0);
    return std::nullopt;
}

std::optional<std::string> referencingForeignKey(sqlite3* db, const std::string& alias, int tableId)
{
    if (!hasForeignKeyTable(db, alias))
        return std::nullopt;
    const std::string schema = quoteIdent(alias);
    Stmt q(db, "SELECT o.name FROM " + schema + ".sysforeignkeys AS f JOIN " + schema +
                   ".sysobjects AS o ON o.id = f.constid WHERE f.rkeyid = ?1 AND f.fkeyid <> ?1 LIMIT 1");
    q.bind(1, static_cast<std::int64_t>(tableId));
    if (q.step())
        return q.columnText(0);
    return std::nullopt;
}

}  // namespace vqsql
