// The INFORMATION_SCHEMA views of a database (TABLES, VIEWS, COLUMNS,
// SCHEMATA, TABLE_CONSTRAINTS, KEY_COLUMN_USAGE, CONSTRAINT_COLUMN_USAGE,
// REFERENTIAL_CONSTRAINTS, VIEW_TABLE_USAGE, ROUTINES, DOMAINS), with SQL Server's column
// names and types, computed from the engine's system tables. The
// translator reads "INFORMATION_SCHEMA.X" / "db.INFORMATION_SCHEMA.X" as a
// derived table over that SQL.
#pragma once

#include "ast.h"
#include "value.h"

#include <sqlite3.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vqsql {

struct InformationSchemaView {
    std::string name;                                     // as SQL Server spells it ("TABLES")
    std::vector<std::pair<std::string, SqlType>> columns; // in SQL Server's order
    std::string sql;                                      // a SELECT giving exactly these columns
};

// The system tables a database made by an older engine may lack.
struct LaterSystemTables {
    bool foreignKeys = false;   // sysforeignkeys
    bool depends = false;       // sysdepends
};

// The view `name` (letter case ignored) over the system tables reached as
// `schemaPrefix` ("\"alias\"." or "" inside a view) of database `database`.
// nullopt when INFORMATION_SCHEMA has no such view.
std::optional<InformationSchemaView> informationSchemaView(const std::string& name, const std::string& schemaPrefix,
                                                           const std::string& database,
                                                           const LaterSystemTables& present);

// The tables and views a view's query names (FROM clauses of the query
// and of its subqueries), as written, without repeats.
std::vector<std::string> tablesReadBy(const ast::Query& q);

// sysdepends rows: view `viewId` reads the named objects of its database
// (names not in the catalogue are skipped); and removing an object's rows.
void recordViewDependencies(sqlite3* db, const std::string& alias, int viewId, const std::vector<std::string>& names);
void forgetDependencies(sqlite3* db, const std::string& alias, int objectId);

}  // namespace vqsql
