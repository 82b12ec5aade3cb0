// Foreign keys: kept in the catalogue (a sysobjects row of xtype 'F' whose
// parent_obj is the referencing table, one sysforeignkeys row per column
// pair) and enforced by SQLite triggers that the engine creates with the
// key, because SQLite cannot add a foreign key to an existing table.
//
// The triggers of a key named K:
//   K$ci  after INSERT on the referencing table: the referenced row must exist
//   K$cu  after UPDATE of the referencing columns: likewise
//   K$pd  after DELETE on the referenced table: refuse, cascade or set null
//   K$pu  after UPDATE of the referenced columns: refuse, cascade or set null
// A refusal raises error 547 with SQL Server's text; the database's name in
// it is the marker kDatabaseNameMarker, which the executor replaces by the
// table's database (so a renamed or restored database reports its own name).
#pragma once

#include "ast.h"
#include "catalog.h"

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

namespace vqsql {

inline constexpr const char* kDatabaseNameMarker = "\x02" "DB" "\x02";

struct ForeignKeyDef {
    std::string name;
    std::vector<std::string> columns;      // referencing columns, as the table names them
    std::string refTable;                  // referenced table, as the catalogue names it
    int refTableId = 0;
    std::vector<std::string> refColumns;   // referenced columns, as that table names them
    std::string onDelete = "NO ACTION";    // NO ACTION, CASCADE, SET NULL, SET DEFAULT
    std::string onUpdate = "NO ACTION";
};

// Checks a FOREIGN KEY constraint of table `child` (which may not be in the
// catalogue yet when `child` is being created) and resolves its names.
// `objectId` numbers the automatic name FK__child__col__XXXXXXXX.
// Throws 1767, 1769, 1770, 1776, 8139 as SQL Server does.
ForeignKeyDef resolveForeignKey(sqlite3* db, const TableInfo& child, const ast::TableConstraint& c, int objectId,
                                int line);

// Records the key in the catalogue as object `objectId` and creates its
// triggers. `checkExisting` (ALTER TABLE ADD) first checks the rows already
// in the table: 547 "The ALTER TABLE statement conflicted ...".
void createForeignKey(sqlite3* db, const TableInfo& child, const ForeignKeyDef& fk, int objectId,
                      bool checkExisting, int line);

// ALTER TABLE CHECK / NOCHECK CONSTRAINT: enforces the key again (its
// triggers made anew; `checkExisting` first checks the rows in the table)
// or stops enforcing it. `names` empty: every foreign key of the table.
// Throws 4917 for a name that is not a constraint of the table.
void setForeignKeysEnabled(sqlite3* db, const TableInfo& child, const std::vector<std::string>& names, bool enabled,
                           bool checkExisting, int line);

// Drops the key's triggers and catalogue rows (ALTER TABLE DROP CONSTRAINT,
// DROP TABLE of the referencing table).
void dropForeignKey(sqlite3* db, const std::string& alias, const std::string& name, int objectId);
void dropForeignKeysOf(sqlite3* db, const std::string& alias, int tableId);

// The name of a foreign key of another table that references table
// `tableId`, if any (DROP TABLE and TRUNCATE TABLE are refused then).
std::optional<std::string> referencingForeignKey(sqlite3* db, const std::string& alias, int tableId);

// The name of a foreign key that column `colid` of table `tableId` takes
// part in, on either side (such a column cannot be dropped).
std::optional<std::string> foreignKeyOnColumn(sqlite3* db, const std::string& alias, int tableId, int colid);

}  // namespace vqsql
