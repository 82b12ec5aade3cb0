// The INFORMATION_SCHEMA views of a database (TABLES, VIEWS, COLUMNS,
// SCHEMATA, TABLE_CONSTRAINTS, KEY_COLUMN_USAGE, CONSTRAINT_COLUMN_USAGE,
// REFERENTIAL_CONSTRAINTS, ROUTINES, DOMAINS), with SQL Server's column
// names and types, computed from the engine's system tables. The
// translator reads "INFORMATION_SCHEMA.X" / "db.INFORMATION_SCHEMA.X" as a
// derived table over that SQL.
#pragma once

#include "value.h"

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

// The view `name` (letter case ignored) over the system tables reached as
// `schemaPrefix` ("\"alias\"." or "" inside a view) of database `database`.
// `hasForeignKeyTable`: whether that database has sysforeignkeys yet.
// nullopt when INFORMATION_SCHEMA has no such view.
std::optional<InformationSchemaView> informationSchemaView(const std::string& name, const std::string& schemaPrefix,
                                                           const std::string& database, bool hasForeignKeyTable);

}  // namespace vqsql
