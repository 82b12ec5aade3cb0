// Data changes through a view, rewritten against its base table.
#include "view_update.h"

#include "parser.h"
#include "sqlerror.h"
#include "sqlite_util.h"

namespace vqsql {

ast::ExprPtr cloneExpr(const ast::Expr& e)
{
    auto c = std::make_unique<ast::Expr>();
    c->kind = e.kind;
    c->pos = e.pos;
    c->litKind = e.litKind;
    c->text = e.text;
    c->op = e.op;
    c->name = e.name;
    for (const auto& a : e.args)
        c->args.push_back(a ? cloneExpr(*a) : nullptr);
    c->negated = e.negated;
    c->distinct = e.distinct;
    c->star = e.star;
    c->hasOperand = e.hasOperand;
    c->type = e.type;
    for (const auto& [when, then] : e.whens)
        c->whens.emplace_back(when ? cloneExpr(*when) : nullptr, then ? cloneExpr(*then) : nullptr);
    if (e.elseExpr)
        c->elseExpr = cloneExpr(*e.elseExpr);
    if (e.query)
        c->query = cloneQuery(*e.query);
    return c;
}

ast::TableRefPtr cloneTableRef(const ast::TableRef& r)
{
    auto c = std::make_unique<ast::TableRef>();
    c->kind = r.kind;
    c->pos = r.pos;
    c->name = r.name;
    c->alias = r.alias;
    if (r.query)
        c->query = cloneQuery(*r.query);
    c->joinType = r.joinType;
    if (r.left)
        c->left = cloneTableRef(*r.left);
    if (r.right)
        c->right = cloneTableRef(*r.right);
    if (r.on)
        c->on = cloneExpr(*r.on);
    return c;
}

ast::QueryPtr cloneQuery(const ast::Query& q)
{
    auto c = std::make_unique<ast::Query>();
    c->pos = q.pos;
    for (const auto& b : q.blocks) {
        auto block = std::make_unique<ast::QueryBlock>();
        block->pos = b->pos;
        block->distinct = b->distinct;
        if (b->top)
            block->top = cloneExpr(*b->top);
        block->topPercent = b->topPercent;
        for (const ast::SelectItem& item : b->items) {
            ast::SelectItem copy;
            copy.expr = item.expr ? cloneExpr(*item.expr) : nullptr;
            copy.alias = item.alias;
            copy.assignVariable = item.assignVariable;
            copy.pos = item.pos;
            block->items.push_back(std::move(copy));
        }
        for (const auto& f : b->from)
            block->from.push_back(cloneTableRef(*f));
        if (b->where)
            block->where = cloneExpr(*b->where);
        for (const auto& g : b->groupBy)
            block->groupBy.push_back(cloneExpr(*g));
        if (b->having)
            block->having = cloneExpr(*b->having);
        block->into = b->into;
        c->blocks.push_back(std::move(block));
    }
    c->ops = q.ops;
    for (const ast::OrderItem& o : q.orderBy)
        c->orderBy.push_back(ast::OrderItem{cloneExpr(*o.expr), o.descending});
    return c;
}

namespace {

// A named table of the view's FROM clause.
struct BaseTable {
    const ast::TableRef* ref = nullptr;
    std::string exposed;        // its alias, or its name
    const TableInfo* info = nullptr;
};

// The parsed view: its one SELECT block, its base tables and, for every
// view column, the base table and column it shows (nullptr when the column
// is computed).
struct ViewShape {
    std::unique_ptr<ast::Batch> batch;
    const ast::QueryBlock* block = nullptr;
    std::vector<BaseTable> tables;
    struct Column {
        const BaseTable* table = nullptr;
        std::string baseColumn;
        ast::ExprPtr expr;      // the view column's expression, for substitution
    };
    std::vector<Column> columns;
};

[[noreturn]] void fail(int number, const std::string& message, const ast::Pos& pos)
{
    throw SqlException(number, message, pos.line);
}

void collectTables(const ast::TableRef& ref, std::vector<const ast::TableRef*>& out)
{
    if (ref.kind == ast::TableRef::Kind::Join) {
        collectTables(*ref.left, out);
        collectTables(*ref.right, out);
    } else {
        out.push_back(&ref);
    }
}

// The view's table names carry its database, so that a statement through
// "db..v" reaches db's tables from any current database.
void qualifyTableNames(ast::TableRef& ref, const std::string& database)
{
    if (ref.kind == ast::TableRef::Kind::Join) {
        qualifyTableNames(*ref.left, database);
        qualifyTableNames(*ref.right, database);
    } else if (ref.kind == ast::TableRef::Kind::Named && ref.name.parts.size() == 1) {
        ref.name.parts = {database, "", ref.name.parts.front()};
    }
}

ViewShape analyseView(const TableInfo& view, Catalog& catalog, const ast::Pos& pos)
{
    ViewShape shape;
    shape.batch = parseBatch(view.definition);
    if (shape.batch->statements.empty() || shape.batch->statements.front()->kind != ast::StmtKind::CreateView)
        throw SqlException(err::Unsupported, "The engine cannot read the definition of view '" + view.name + "'.",
                           pos.line);
    auto& create = static_cast<ast::CreateViewStmt&>(*shape.batch->statements.front());
    const ast::Query& query = *create.query;
    if (query.blocks.size() != 1)
        throw SqlException(err::Unsupported,
                           "The engine cannot change data through view '" + view.name + "', which combines queries.",
                           pos.line);
    const ast::QueryBlock& block = *query.blocks.front();
    shape.block = &block;
    bool aggregates = block.distinct || !block.groupBy.empty() || block.having;
    for (const ast::SelectItem& item : block.items)
        aggregates = aggregates || (item.expr && containsAggregate(*item.expr));
    if (aggregates)
        fail(4403, "Cannot update the view or function '" + view.name +
                       "' because it contains aggregates, or a DISTINCT or GROUP BY clause, or PIVOT or UNPIVOT "
                       "operator.",
             pos);
    if (block.top)
        throw SqlException(err::Unsupported,
                           "The engine cannot change data through view '" + view.name + "', which has TOP.", pos.line);

    std::vector<const ast::TableRef*> refs;
    for (const auto& f : block.from)
        collectTables(*f, refs);
    for (const ast::TableRef* ref : refs) {
        if (ref->kind != ast::TableRef::Kind::Named)
            continue;
        BaseTable t;
        t.ref = ref;
        t.exposed = ref->alias.empty() ? ref->name.last() : ref->alias;
        t.info = catalog.findTable(view.database, ref->name.last());
        if (!t.info)
            fail(err::InvalidObject, "Invalid object name '" + ref->name.toString() + "'.", pos);
        if (t.info->isView())
            throw SqlException(err::Unsupported,
                               "The engine cannot change data through view '" + view.name +
                                   "', which reads another view.",
                               pos.line);
        shape.tables.push_back(t);
    }

    // The columns: a * stands for every column of the tables it names.
    auto columnOf = [&](const BaseTable* table, const std::string& column) {
        ViewShape::Column c;
        c.table = table;
        int idx = table->info->columnIndex(column);
        c.baseColumn = table->info->columns[static_cast<std::size_t>(idx)].name;
        c.expr = std::make_unique<ast::Expr>();
        c.expr->kind = ast::ExprKind::Column;
        c.expr->name.parts = {table->exposed, c.baseColumn};
        return c;
    };
    for (const ast::SelectItem& item : block.items) {
        const ast::Expr& e = *item.expr;
        if (e.kind == ast::ExprKind::Star) {
            for (const BaseTable& t : shape.tables)
                if (e.name.empty() || equalsIgnoreCase(e.name.last(), t.exposed))
                    for (const ColumnInfo& col : t.info->columns)
                        shape.columns.push_back(columnOf(&t, col.name));
            continue;
        }
        ViewShape::Column c;
        if (e.kind == ast::ExprKind::Column) {
            const std::string qualifier = e.name.parts.size() >= 2 ? e.name.parts[e.name.parts.size() - 2] : "";
            for (const BaseTable& t : shape.tables) {
                bool named = qualifier.empty() ? t.info->columnIndex(e.name.last()) >= 0
                                               : equalsIgnoreCase(qualifier, t.exposed) ||
                                                     (t.ref->alias.empty() && equalsIgnoreCase(qualifier, t.info->name));
                if (named && t.info->columnIndex(e.name.last()) >= 0) {
                    c = columnOf(&t, e.name.last());
                    break;
                }
            }
        }
        if (!c.table)
            c.expr = cloneExpr(e);
        shape.columns.push_back(std::move(c));
    }
    if (shape.columns.size() != view.columns.size())
        throw SqlException(err::Unsupported, "The engine cannot read the columns of view '" + view.name + "'.",
                           pos.line);
    return shape;
}

// The view column `name` stands for, or -1.
int viewColumn(const TableInfo& view, const std::string& name)
{
    return view.columnIndex(name);
}

// The one base table the written columns belong to.
const BaseTable* writtenTable(const ViewShape& shape, const TableInfo& view, const std::vector<int>& columns,
                              const ast::Pos& pos)
{
    for (int i : columns)
        if (!shape.columns[static_cast<std::size_t>(i)].table)
            fail(4406, "Update or insert of view or function '" + view.name +
                           "' failed because it contains a derived or constant field.",
                 pos);
    const BaseTable* table = nullptr;
    for (int i : columns) {
        const BaseTable* t = shape.columns[static_cast<std::size_t>(i)].table;
        if (table && table != t)
            fail(4405, "View or function '" + view.name +
                           "' is not updatable because the modification affects multiple base tables.",
                 pos);
        table = t;
    }
    return table;
}

// Replaces references to the view's columns ("c", "v.c") by the columns'
// expressions. Inside subqueries only references qualified by the view's
// name are replaced, as an unqualified name there may be the subquery's own.
void substituteColumns(ast::ExprPtr& e, const ViewShape& shape, const TableInfo& view, const std::string& exposed,
                       bool inSubquery);

void substituteInQuery(ast::Query& q, const ViewShape& shape, const TableInfo& view, const std::string& exposed)
{
    for (auto& b : q.blocks) {
        for (auto& item : b->items)
            if (item.expr)
                substituteColumns(item.expr, shape, view, exposed, true);
        if (b->where)
            substituteColumns(b->where, shape, view, exposed, true);
        if (b->having)
            substituteColumns(b->having, shape, view, exposed, true);
    }
}

void substituteColumns(ast::ExprPtr& e, const ViewShape& shape, const TableInfo& view, const std::string& exposed,
                       bool inSubquery)
{
    if (!e)
        return;
    if (e->kind == ast::ExprKind::Column) {
        const auto& parts = e->name.parts;
        bool ours = parts.size() == 1 ? !inSubquery
                                      : parts.size() == 2 && equalsIgnoreCase(parts.front(), exposed);
        int idx = ours ? viewColumn(view, parts.back()) : -1;
        if (idx >= 0) {
            ast::Pos pos = e->pos;
            e = cloneExpr(*shape.columns[static_cast<std::size_t>(idx)].expr);
            e->pos = pos;
        }
        return;
    }
    for (auto& a : e->args)
        substituteColumns(a, shape, view, exposed, inSubquery);
    for (auto& [w, t] : e->whens) {
        substituteColumns(w, shape, view, exposed, inSubquery);
        substituteColumns(t, shape, view, exposed, inSubquery);
    }
    substituteColumns(e->elseExpr, shape, view, exposed, inSubquery);
    if (e->query)
        substituteInQuery(*e->query, shape, view, exposed);
}

ast::ExprPtr both(ast::ExprPtr a, ast::ExprPtr b)
{
    if (!a)
        return b;
    if (!b)
        return a;
    auto e = std::make_unique<ast::Expr>();
    e->kind = ast::ExprKind::And;
    e->pos = a->pos;
    e->args.push_back(std::move(a));
    e->args.push_back(std::move(b));
    return e;
}

// The view's FROM clause, its tables named with the view's database.
std::vector<ast::TableRefPtr> viewFrom(const ViewShape& shape, const TableInfo& view)
{
    std::vector<ast::TableRefPtr> from;
    for (const auto& f : shape.block->from) {
        from.push_back(cloneTableRef(*f));
        qualifyTableNames(*from.back(), view.database);
    }
    return from;
}

}  // namespace

const TableInfo& changedBaseTable(const ast::Stmt& s, const TableInfo& view, Catalog& catalog)
{
    try {
        std::string name;
        if (s.kind == ast::StmtKind::Insert) {
            name = insertThroughView(static_cast<const ast::InsertStmt&>(s), view, catalog)->table.last();
        } else if (s.kind == ast::StmtKind::Delete) {
            ViewShape shape = analyseView(view, catalog, s.pos);
            if (shape.tables.size() == 1)
                name = shape.tables.front().info->name;
        } else if (s.kind == ast::StmtKind::Update) {
            auto update = updateThroughView(static_cast<const ast::UpdateStmt&>(s), view, catalog);
            std::vector<const ast::TableRef*> refs;
            for (const auto& f : update->from)
                collectTables(*f, refs);
            for (const ast::TableRef* ref : refs)
                if (ref->kind == ast::TableRef::Kind::Named &&
                    equalsIgnoreCase(ref->alias.empty() ? ref->name.last() : ref->alias, update->table.last()))
                    name = ref->name.last();
        }
        if (const TableInfo* base = name.empty() ? nullptr : catalog.findTable(view.database, name))
            return *base;
    } catch (const SqlException&) {
    }
    return view;
}

std::unique_ptr<ast::InsertStmt> insertThroughView(const ast::InsertStmt& s, const TableInfo& view, Catalog& catalog)
{
    ViewShape shape = analyseView(view, catalog, s.pos);
    std::vector<int> written;
    if (s.columns.empty()) {
        for (std::size_t i = 0; i < view.columns.size(); ++i)
            written.push_back(static_cast<int>(i));
    } else {
        for (const std::string& name : s.columns) {
            int idx = viewColumn(view, name);
            if (idx < 0)
                fail(err::InvalidColumn, "Invalid column name '" + name + "'.", s.pos);
            written.push_back(idx);
        }
    }
    auto out = std::make_unique<ast::InsertStmt>();
    out->pos = s.pos;
    out->endOffset = s.endOffset;
    out->defaultValues = s.defaultValues;
    if (s.defaultValues) {
        if (shape.tables.size() != 1)
            fail(4405, "View or function '" + view.name +
                           "' is not updatable because the modification affects multiple base tables.",
                 s.pos);
        out->table = shape.tables.front().ref->name;
    } else {
        const BaseTable* table = writtenTable(shape, view, written, s.pos);
        out->table = table->ref->name;
        for (int i : written)
            out->columns.push_back(shape.columns[static_cast<std::size_t>(i)].baseColumn);
    }
    if (out->table.parts.size() == 1)
        out->table.parts = {view.database, "", out->table.parts.front()};
    out->table.pos = s.table.pos;
    for (const auto& row : s.values) {
        std::vector<ast::ExprPtr> copy;
        for (const auto& v : row)
            copy.push_back(v ? cloneExpr(*v) : nullptr);
        out->values.push_back(std::move(copy));
    }
    if (s.query)
        out->query = cloneQuery(*s.query);
    return out;
}

std::unique_ptr<ast::UpdateStmt> updateThroughView(const ast::UpdateStmt& s, const TableInfo& view, Catalog& catalog)
{
    ViewShape shape = analyseView(view, catalog, s.pos);
    std::vector<int> written;
    for (const ast::Assignment& a : s.assignments) {
        if (!a.variable.empty())
            continue;
        int idx = viewColumn(view, a.column.last());
        if (idx < 0)
            fail(err::InvalidColumn, "Invalid column name '" + a.column.last() + "'.", s.pos);
        written.push_back(idx);
    }
    const BaseTable* table = writtenTable(shape, view, written, s.pos);
    const std::string exposed = s.table.last();
    auto out = std::make_unique<ast::UpdateStmt>();
    out->pos = s.pos;
    out->endOffset = s.endOffset;
    out->table.parts = {table->exposed};
    out->table.pos = s.table.pos;
    if (s.top)
        out->top = cloneExpr(*s.top);
    std::size_t next = 0;
    for (const ast::Assignment& a : s.assignments) {
        ast::Assignment copy;
        copy.variable = a.variable;
        if (a.variable.empty())
            copy.column.parts = {shape.columns[static_cast<std::size_t>(written[next++])].baseColumn};
        copy.column.pos = a.column.pos;
        if (a.value) {
            copy.value = cloneExpr(*a.value);
            substituteColumns(copy.value, shape, view, exposed, false);
        }
        out->assignments.push_back(std::move(copy));
    }
    out->from = viewFrom(shape, view);
    ast::ExprPtr where;
    if (s.where) {
        where = cloneExpr(*s.where);
        substituteColumns(where, shape, view, exposed, false);
    }
    out->where = both(shape.block->where ? cloneExpr(*shape.block->where) : nullptr, std::move(where));
    return out;
}

std::unique_ptr<ast::DeleteStmt> deleteThroughView(const ast::DeleteStmt& s, const TableInfo& view, Catalog& catalog)
{
    ViewShape shape = analyseView(view, catalog, s.pos);
    if (shape.tables.size() != 1)
        fail(4405, "View or function '" + view.name +
                       "' is not updatable because the modification affects multiple base tables.",
             s.pos);
    const BaseTable& table = shape.tables.front();
    auto out = std::make_unique<ast::DeleteStmt>();
    out->pos = s.pos;
    out->endOffset = s.endOffset;
    out->from = viewFrom(shape, view);
    // The target: the table's alias, or its name with the view's database.
    if (!table.ref->alias.empty())
        out->table.parts = {table.ref->alias};
    else
        out->table.parts = {view.database, "", table.ref->name.last()};
    out->table.pos = s.table.pos;
    if (s.top)
        out->top = cloneExpr(*s.top);
    ast::ExprPtr where;
    if (s.where) {
        where = cloneExpr(*s.where);
        substituteColumns(where, shape, view, s.table.last(), false);
    }
    out->where = both(shape.block->where ? cloneExpr(*shape.block->where) : nullptr, std::move(where));
    return out;
}

}  // namespace vqsql
