// The engine's catalogue of a database: which tables, views, columns and
// user-defined types it holds.
//
// Every database file carries three engine-maintained tables that mirror
// SQL Server's system tables of the same names:
//   sysobjects (id, name, xtype, type, uid, parent_obj, crdate, ...):
//              'U' tables, 'V' views, 'PK'/'UQ' keys, 'S' system tables
//   syscolumns (id, colid, name, xtype, typename, length, prec, scale,
//              isnullable, ...): one row per column of a table or view
//   sysforeignkeys (constid, fkeyid, rkeyid, fkey, rkey, keyno): the column
//              pairs of each foreign key ('F' in sysobjects)
//   sysdepends (id, depid, number, depnumber, readobj): the tables and views
//              a view reads
//   systypes   (name, xtype, xusertype, basename, length, prec, scale,
//              allownulls): the system types (xusertype = xtype) and the
//              user-defined types (sp_addtype, CREATE TYPE ... FROM;
//              xusertype from 257 on)
// The master database also carries sysdatabases and syslogins.
// Queries read these tables directly ("select * from sysobjects"), and the
// translator reads them through the Catalog interface below.
#pragma once

#include "value.h"

#include <sqlite3.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vqsql {

struct ColumnInfo {
    std::string name;
    SqlType type;
    bool nullable = true;
    int colid = 0;
    std::string defaultText;   // the default as a SQLite expression ("" if none); for an
                               // identity column "identity(seed,increment)"
    bool identity = false;
};

struct TableInfo {
    int id = 0;
    std::string name;          // as created
    std::string xtype;         // "U", "V" or "S"
    std::string database;      // database name as the catalogue knows it
    std::string schemaAlias;   // SQLite schema the table lives in
    std::vector<ColumnInfo> columns;
    std::string primaryKeyName;
    std::vector<std::string> primaryKey;
    std::string definition;    // a view's CREATE VIEW text

    // Index of the named column (letter case ignored), -1 if none.
    int columnIndex(const std::string& name) const;
    bool isView() const { return xtype == "V"; }
};

struct UserType {
    std::string name;
    SqlType type;              // base type with length/precision/scale; userTypeName set
    bool allowNulls = true;
    int xusertype = 257;       // its number in systypes (user types count from 257)
};

// What the translator needs to know about the databases it can reach.
class Catalog {
public:
    virtual ~Catalog() = default;
    // The current database's name.
    virtual std::string currentDatabase() const = 0;
    // SQLite schema alias of a database ("" = current); attaches it when
    // needed. Throws SqlException 911 when there is no such database.
    virtual std::string schemaFor(const std::string& database) = 0;
    // The table or view, or nullptr when it does not exist.
    virtual const TableInfo* findTable(const std::string& database, const std::string& name) = 0;
    // The user-defined type, or nullptr.
    virtual const UserType* findUserType(const std::string& database, const std::string& name) = 0;
    // True while SET IDENTITY_INSERT is ON for the table.
    virtual bool identityInsertAllowed(const TableInfo& table) const = 0;
    // False under SET ANSI_NULLS OFF: "= NULL" then matches NULL.
    virtual bool ansiNulls() const { return true; }
};

// Temporary tables: "#t" is private to its session, "##t" is shared by
// every session of the instance; both belong to tempdb. A session keeps
// its #tables in a private database attached under kLocalTempAlias; the
// ##tables live in the instance's shared tempdb database.
inline constexpr const char* kLocalTempAlias = "#tempdb";
inline constexpr const char* kTempdbName = "tempdb";
inline bool isTemporaryTableName(const std::string& name) { return !name.empty() && name[0] == '#'; }
inline bool isGlobalTemporaryTableName(const std::string& name) { return name.size() > 1 && name.compare(0, 2, "##") == 0; }

// Creates the engine's system tables in a fresh, empty database file
// attached under `alias`. `isMaster` adds sysdatabases and syslogins.
void createSystemTables(sqlite3* db, const std::string& alias, bool isMaster);

// Create sysforeignkeys / sysdepends in a database made before the engine
// kept foreign keys and view dependencies (nothing when they exist).
void ensureForeignKeyTable(sqlite3* db, const std::string& alias);
void ensureDependsTable(sqlite3* db, const std::string& alias);

// Reads a table's catalogue entry from the database attached as `alias`.
std::optional<TableInfo> loadTableInfo(sqlite3* db, const std::string& alias, const std::string& name);
std::optional<UserType> loadUserType(sqlite3* db, const std::string& alias, const std::string& name);

// Next free object id in the database attached as `alias`.
int nextObjectId(sqlite3* db, const std::string& alias);

// BaseType of a SQL Server xtype number.
BaseType baseTypeFromXtype(int xtype);

// SQLite column declaration of a SQL type: "varchar(32)", "int", ...
std::string sqliteDeclaredType(const SqlType& type);

// The process-wide schema generation: bumped by every DDL statement of any
// connection in this process, so that cached translations are redone.
unsigned long long schemaGeneration();
void bumpSchemaGeneration();

}  // namespace vqsql
