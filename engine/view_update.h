// INSERT, UPDATE and DELETE through a view, as SQL Server allows them: the
// statement may change one base table of the view, through view columns
// that are plain columns of that table. The statement is rewritten against
// the base table: view columns become base columns, and UPDATE/DELETE read
// the view's FROM clause with the view's WHERE added to their own (the
// view's WHERE restricts which rows change, not the values written).
//
// Errors as SQL Server gives them:
//   4403  the view has aggregates, DISTINCT or GROUP BY
//   4405  the change reaches more than one base table
//   4406  a column written is derived or constant
#pragma once

#include "ast.h"
#include "catalog.h"

#include <memory>

namespace vqsql {

// The statement rewritten against the view's base table. `view` is the
// catalogue entry of the statement's target (a view, with its definition).
std::unique_ptr<ast::InsertStmt> insertThroughView(const ast::InsertStmt& s, const TableInfo& view, Catalog& catalog);
std::unique_ptr<ast::UpdateStmt> updateThroughView(const ast::UpdateStmt& s, const TableInfo& view, Catalog& catalog);
std::unique_ptr<ast::DeleteStmt> deleteThroughView(const ast::DeleteStmt& s, const TableInfo& view, Catalog& catalog);

// The base table a data statement through `view` changes (for the texts of
// constraint errors, which name the table); `view` itself when the
// statement cannot be rewritten.
const TableInfo& changedBaseTable(const ast::Stmt& s, const TableInfo& view, Catalog& catalog);

// Deep copies of syntax trees.
ast::ExprPtr cloneExpr(const ast::Expr& e);
ast::QueryPtr cloneQuery(const ast::Query& q);
ast::TableRefPtr cloneTableRef(const ast::TableRef& r);

}  // namespace vqsql
