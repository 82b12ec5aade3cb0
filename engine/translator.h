// Translator: syntax-tree statements and expressions into SQLite SQL that
// behaves as SQL Server would.
//
// Every expression is typed as SQL Server types it (columns from the
// catalogue, variables from their declarations, literals, functions), and
// the type decides the SQLite form, e.g.
//   'VQTCW_' + DBName          ->  ('VQTCW_' || "s1"."DBName")
//   KeyID + '1'                ->  ("s1"."KeyID" + vq_to_int('1','int'))
//   Name = 'abc'               ->  ("s1"."Name" = 'abc' COLLATE vq_ci)
//   LoginTime < '2026-12-10'   ->  ("s1"."LoginTime" < vq_to_datetime('2026-12-10'))
// Table names become schema-qualified SQLite names with a generated alias
// ("VQTCWPack..CW_Report" -> "vqtcwpack"."CW_Report" AS "s1"), so several
// databases can be joined in one statement. Variables become numbered
// parameters that the executor binds.
#pragma once

#include "ast.h"
#include "catalog.h"
#include "connection.h"

#include <map>
#include <string>
#include <vector>

namespace vqsql {

// A declared variable: its type and where its DECLARE stands in the batch
// (a variable is known only after its declaration, as SQL Server knows it).
struct VariableInfo {
    SqlType type;
    std::size_t declaredAt = 0;
};

// Declared variables of a batch: lower-cased name ("@x") -> declaration.
using VariableTypes = std::map<std::string, VariableInfo>;

struct Translation {
    std::string sql;
    // Parameter ?N is the value of parameters[N-1]: a lower-cased variable
    // name ("@maxid"), system variable ("@@rowcount"), or "#k" for the
    // k-th literal of the list given to Translator::parameterizeLiterals.
    std::vector<std::string> parameters;
    std::vector<Column> columns;             // result columns of a query
    std::vector<std::string> assignTargets;  // SELECT @v = ...: the variable of each column
    bool identityTarget = false;             // an INSERT into a table with an identity column
    std::vector<std::string> views;          // the views the statement reads (error 4413 names one)
    // cursorQuery: the base table whose rowid follows the result columns
    // as one more column ("" when the query reads no single base table).
    std::string rowidDatabase, rowidTable;
};

// The seed and increment written in IDENTITY(type, seed, increment) of
// SELECT ... INTO: integer literals; 1 and 1 when not given. False when
// they are something else.
bool identitySeedAndIncrement(const ast::Expr& e, std::int64_t& seed, std::int64_t& increment);

class Translator {
public:
    Translator(Catalog& catalog, const VariableTypes& variables);

    // A SELECT statement: a result set, or variable assignments when its
    // items are "@v = expr".
    Translation query(const ast::Query& q);
    // A SELECT statement with its WITH clause (common table expressions).
    Translation select(const ast::SelectStmt& s);
    // A cursor's SELECT: as query, and when it is one block reading one
    // base table (no DISTINCT, grouping or aggregates), that table's rowid
    // as a further column, so that WHERE CURRENT OF finds the row.
    Translation cursorQuery(const ast::Query& q);
    Translation insert(const ast::InsertStmt& s);
    Translation update(const ast::UpdateStmt& s);
    Translation remove(const ast::DeleteStmt& s);
    // "SELECT <e>" converted to `target` when given (SET @v = e, PRINT e ...).
    Translation scalar(const ast::Expr& e, const SqlType* target = nullptr);
    // "SELECT CASE WHEN <cond> THEN 1 ELSE 0 END" for IF and WHILE.
    Translation condition(const ast::Expr& e);
    // The body of CREATE VIEW: table names left unqualified, as SQLite
    // requires of a view stored in its own database file.
    Translation viewBody(const ast::Query& q, const std::string& database);
    // The query of SELECT ... INTO: the rows to copy, without the INTO.
    Translation selectIntoSource(const ast::SelectStmt& s);
    // A CHECK or DEFAULT expression over the columns of one table, for
    // use inside that table's SQLite definition (column names unqualified).
    std::string tableExpression(const ast::Expr& e, const std::vector<ColumnInfo>& columns);
    // The SQL Server type a TypeName stands for: a system type, or a user
    // type of `database`. Throws 2715 naming column/variable `ordinal`.
    SqlType resolveType(const ast::TypeName& t, const std::string& database, int ordinal, bool* allowNulls = nullptr);
    // The conversion SQL Server applies when a value of type `from` is
    // stored into a column or variable of type `to`.
    std::string convertForAssignment(const std::string& sql, const SqlType& from, const SqlType& to);

    // The literals of `literals` (nodes of the statement translated next)
    // become parameters "#k" in query, insert, update and remove instead
    // of inline values, typed as the literal is: the translation then
    // serves every statement of the same shape. nullptr turns it off.
    void parameterizeLiterals(const std::vector<const ast::Expr*>* literals) { literalParameters_ = literals; }

    struct Impl;

private:
    Catalog& catalog_;
    const VariableTypes& variables_;
    const std::vector<const ast::Expr*>* literalParameters_ = nullptr;
};

// CURSOR_STATUS('scope', 'name') becomes the parameter
// "@@cursor_status:scope:name" (lower-cased), which the executor answers.
inline constexpr const char* kCursorStatusParameter = "@@cursor_status:";

// The type SQL Server gives a literal: 'abc' varchar(3), N'ab' nvarchar(2),
// 1.50 numeric(3,2), 2147483648 numeric(10,0) ...
SqlType literalType(const ast::Expr& literal);

// The parameter name of the k-th parameterized literal: "#k".
std::string literalParameterName(std::size_t index);

// The static type SQL Server gives a literal text of `bytes` GBK bytes.
SqlType varcharType(int bytes);

}  // namespace vqsql
