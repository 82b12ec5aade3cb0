// Translation of INSERT, UPDATE and DELETE.
#include "translator_internal.h"

namespace vqsql {

const TableInfo& Translator::Impl::targetTable(const ast::ObjectName& name, const ast::Pos& pos)
{
    if (equalsIgnoreCase(name.schema(), "INFORMATION_SCHEMA"))
        fail(259, "Ad hoc updates to system catalogs are not allowed.", pos);
    const TableInfo& info = resolveTable(name);
    if (info.isView())
        unsupported("changing data through a view", pos);
    if (info.xtype == "S")
        fail(259, "Ad hoc updates to system catalogs are not allowed.", pos);
    return info;
}

// The default of a column: its stored SQLite expression (already
// converted to the column's type when the column was defined). An
// identity column that SQLite does not number itself stores
// "identity(seed,increment)": the n-th row inserted by one statement
// (`ordinal`, an SQL expression) gets the largest value so far plus n
// increments.
std::string Translator::Impl::defaultValue(const ColumnInfo& c, const std::string& tableSqlText, const std::string& ordinal)
{
    if (c.defaultText.empty())
        return "NULL";
    if (c.identity) {
        long long seed = 1, increment = 1;
        std::sscanf(c.defaultText.c_str(), "identity(%lld,%lld)", &seed, &increment);
        return "((SELECT ifnull(max(" + quoteIdent(c.name) + "), " + std::to_string(seed - increment) + ") FROM " +
               tableSqlText + ") + " + std::to_string(increment) + " * " + ordinal + ")";
    }
    return c.defaultText;
}

namespace {

// The SQL of a statement with the parameters and views its translation used.
Translation finishedTranslation(const Translator::Impl& impl, std::string sql)
{
    Translation t;
    t.sql = std::move(sql);
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    return t;
}

// The view a data statement targets, or nullptr when it targets a table
// (or names nothing: the statement's own translation reports that).
const TableInfo* targetView(Catalog& catalog, const ast::ObjectName& name)
{
    const std::string schema = name.schema();
    if (name.parts.size() > 3 || (!schema.empty() && !equalsIgnoreCase(schema, "dbo")))
        return nullptr;
    const TableInfo* info = catalog.findTable(name.database(), name.last());
    return info && info->isView() ? info : nullptr;
}

}  // namespace

Translation Translator::insert(const ast::InsertStmt& s)
{
    if (const TableInfo* view = targetView(catalog_, s.table))
        return insert(*insertThroughView(s, *view, catalog_));
    Impl impl(catalog_, variables_, literalParameters_);
    const std::string with = impl.withClause(s);
    const TableInfo& info = impl.targetTable(s.table, s.pos);
    const std::string target = impl.tableSql(info, s.pos);
    if (s.top && !s.query)
        unsupported("INSERT TOP (n) without a query", s.pos);

    // The columns receiving values, in the order given.
    // (none with DEFAULT VALUES: every column then takes its default)
    std::vector<const ColumnInfo*> cols;
    if (s.columns.empty() && !s.defaultValues) {
        for (const ColumnInfo& c : info.columns)
            if (!c.identity)
                cols.push_back(&c);
    } else {
        for (const std::string& name : s.columns) {
            int idx = info.columnIndex(name);
            if (idx < 0)
                fail(err::InvalidColumn, "Invalid column name '" + name + "'.", s.pos);
            for (const ColumnInfo* c : cols)
                if (equalsIgnoreCase(c->name, name))
                    fail(264,
                         "The column name '" + name +
                             "' is specified more than once in the SET clause or column list of an INSERT. A "
                             "column cannot be assigned more than one value in the same clause. Modify the clause "
                             "to make sure that a column is updated only once. If this statement updates or "
                             "inserts columns into a view, column aliasing can conceal the duplication in your "
                             "code.",
                         s.pos);
            const ColumnInfo& col = info.columns[static_cast<std::size_t>(idx)];
            if (col.identity && !catalog_.identityInsertAllowed(info))
                fail(544,
                     "Cannot insert explicit value for identity column in table '" + info.name +
                         "' when IDENTITY_INSERT is set to OFF.",
                     s.pos);
            cols.push_back(&col);
        }
    }
    // Columns left out take their defaults.
    std::vector<const ColumnInfo*> defaults;
    // A NOT NULL column without a default is given an explicit NULL, so
    // that leaving it out fails as in SQL Server (error 515).
    for (const ColumnInfo& c : info.columns) {
        if (c.defaultText.empty() && (c.identity || c.nullable))
            continue;
        if (std::find(cols.begin(), cols.end(), &c) == cols.end())
            defaults.push_back(&c);
    }

    std::string columnList;
    auto addColumn = [&](const ColumnInfo* c) {
        columnList += (columnList.empty() ? "" : ", ") + quoteIdent(c->name);
    };
    if (!s.defaultValues)
        for (const ColumnInfo* c : cols)
            addColumn(c);
    for (const ColumnInfo* c : defaults)
        addColumn(c);

    Translation t;
    std::string sql = "INSERT INTO " + target;
    if (s.defaultValues) {
        if (defaults.empty()) {
            sql += " DEFAULT VALUES";
        } else {
            sql += " (" + columnList + ") VALUES (";
            for (std::size_t i = 0; i < defaults.size(); ++i)
                sql += (i ? ", " : "") + impl.defaultValue(*defaults[i], target);
            sql += ")";
        }
    } else if (!s.values.empty()) {
        sql += " (" + columnList + ") VALUES ";
        for (std::size_t r = 0; r < s.values.size(); ++r) {
            const auto& row = s.values[r];
            if (row.size() < cols.size())
                fail(109,
                     "There are more columns in the INSERT statement than values specified in the VALUES clause. "
                     "The number of values in the VALUES clause must match the number of columns specified in the "
                     "INSERT statement.",
                     s.pos);
            if (row.size() > cols.size())
                fail(110,
                     "There are fewer columns in the INSERT statement than values specified in the VALUES clause. "
                     "The number of values in the VALUES clause must match the number of columns specified in the "
                     "INSERT statement.",
                     s.pos);
            sql += r ? ", (" : "(";
            Scope empty;
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (!row[i]) {   // DEFAULT
                    sql += (i ? ", " : "") + impl.defaultValue(*cols[i], target);
                    continue;
                }
                TExpr v = impl.expr(*row[i], empty);
                sql += (i ? ", " : "") + impl.convert(v, cols[i]->type, false);
            }
            for (const ColumnInfo* c : defaults)
                sql += ", " + impl.defaultValue(*c, target, std::to_string(r + 1));
            sql += ")";
        }
    } else if (s.query) {
        QueryResult q = impl.query(*s.query, nullptr, false);
        if (s.top) {
            Scope empty;
            q.sql = "SELECT * FROM " + paren(q.sql) + " LIMIT " + impl.topCount(*s.top, empty, false);
        }
        if (!q.assignTargets.empty())
            fail(141, "A SELECT statement that assigns a value to a variable must not be combined with data-retrieval "
                      "operations.",
                 s.pos);
        if (q.outputs.size() < cols.size())
            fail(120,
                 "The select list for the INSERT statement contains fewer items than the insert list. The number "
                 "of SELECT values must match the number of INSERT columns.",
                 s.pos);
        if (q.outputs.size() > cols.size())
            fail(121,
                 "The select list for the INSERT statement contains more items than the insert list. The number "
                 "of SELECT values must match the number of INSERT columns.",
                 s.pos);
        std::vector<std::string> values;
        bool wrap = !defaults.empty();
        for (std::size_t i = 0; i < cols.size(); ++i) {
            TExpr ref{"\"q\"." + quoteIdent(q.outputs[i].sqlName), q.outputs[i].expr.type};
            std::string v = impl.convert(ref, cols[i]->type, false);
            if (v != ref.sql)
                wrap = true;
            values.push_back(v);
        }
        sql += " (" + columnList + ") ";
        if (!wrap) {
            sql += q.sql;
        } else {
            sql += "SELECT ";
            for (std::size_t i = 0; i < values.size(); ++i)
                sql += (i ? ", " : "") + values[i];
            for (const ColumnInfo* c : defaults)
                sql += (values.empty() ? "" : ", ") + impl.defaultValue(*c, target, "row_number() OVER ()");
            sql += " FROM (" + q.sql + ") AS \"q\"";
        }
    } else {
        unsupported("this form of INSERT", s.pos);
    }
    t.sql = with + sql;
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    t.identityTarget =
        std::any_of(info.columns.begin(), info.columns.end(), [](const ColumnInfo& c) { return c.identity; });
    return t;
}

namespace {

// WHERE CURRENT OF: the row whose rowid the executor binds as the
// parameter "@@cursor_row" (the cursor's current row).
std::string currentRowCondition(Translator::Impl& impl, const std::string& alias)
{
    return quoteIdent(alias) + ".rowid = " + impl.parameter("@@cursor_row");
}

// The sources of a FROM list with its inner joins taken apart: the tables
// (or outer-join subtrees, kept whole) and the ON conditions of the inner
// joins. UPDATE ... FROM uses it to lift its target out of the joins.
void flattenInnerJoins(const ast::TableRef& ref, std::vector<const ast::TableRef*>& leaves,
                       std::vector<const ast::Expr*>& conditions)
{
    if (ref.kind == ast::TableRef::Kind::Join &&
        (ref.joinType == ast::JoinType::Inner || ref.joinType == ast::JoinType::Cross)) {
        flattenInnerJoins(*ref.left, leaves, conditions);
        flattenInnerJoins(*ref.right, leaves, conditions);
        if (ref.on)
            conditions.push_back(ref.on.get());
        return;
    }
    leaves.push_back(&ref);
}

}  // namespace

Translation Translator::update(const ast::UpdateStmt& s)
{
    if (const TableInfo* view = s.from.empty() ? targetView(catalog_, s.table) : nullptr) {
        if (!s.currentOf.empty())
            unsupported("WHERE CURRENT OF through a view", s.pos);
        return update(*updateThroughView(s, *view, catalog_));
    }
    // UPDATE t SET ... [FROM ...] [WHERE ...]. When the FROM clause names
    // the target (UPDATE a SET ... FROM T a JOIN B b ON ...), the target
    // becomes the table SQLite updates, the other sources its FROM clause
    // and the join conditions part of its WHERE clause.
    Impl impl(catalog_, variables_, literalParameters_);
    const std::string with = impl.withClause(s);
    Scope scope;
    std::vector<const ast::TableRef*> leaves;
    std::vector<const ast::Expr*> conditions;
    for (const auto& ref : s.from)
        flattenInnerJoins(*ref, leaves, conditions);
    const ast::TableRef* targetLeaf = nullptr;
    if (s.table.parts.size() == 1) {
        for (const ast::TableRef* leaf : leaves) {
            if (leaf->kind != ast::TableRef::Kind::Named)
                continue;
            const std::string& exposed = leaf->alias.empty() ? leaf->name.last() : leaf->alias;
            if (equalsIgnoreCase(exposed, s.table.last()))
                targetLeaf = leaf;
        }
    }
    if (impl.findCte(targetLeaf ? targetLeaf->name : s.table))
        unsupported("UPDATE of a common table expression", s.pos);
    const TableInfo* info = &impl.targetTable(targetLeaf ? targetLeaf->name : s.table, s.pos);
    Source target;
    target.aliased = targetLeaf && !targetLeaf->alias.empty();
    target.exposed = target.aliased ? targetLeaf->alias : info->name;
    target.tableName = info->name;
    target.database = info->database;
    target.sqlAlias = impl.newAlias();
    for (const ColumnInfo& c : info->columns)
        target.columns.push_back({c.name, c.type});
    const std::string targetAlias = target.sqlAlias;
    scope.sources.push_back(target);

    std::string from;
    if (targetLeaf) {
        for (const ast::TableRef* leaf : leaves) {
            if (leaf == targetLeaf)
                continue;
            from += (from.empty() ? "" : ", ") + impl.tableRef(*leaf, scope);
        }
    } else {
        for (const auto& ref : s.from)
            from += (from.empty() ? "" : ", ") + impl.tableRef(*ref, scope);
        conditions.clear();   // kept inside the joins translated above
        for (std::size_t i = 1; i < scope.sources.size(); ++i)
            if (!scope.sources[i].tableName.empty() && equalsIgnoreCase(scope.sources[i].exposed, s.table.last()))
                unsupported("UPDATE ... FROM whose target stands inside an outer join", s.pos);
    }

    std::string sets;
    for (const ast::Assignment& a : s.assignments) {
        if (!a.variable.empty())
            unsupported("assigning variables in UPDATE", s.pos);
        int idx = info->columnIndex(a.column.last());
        if (idx < 0)
            fail(err::InvalidColumn, "Invalid column name '" + a.column.last() + "'.", s.pos);
        const ColumnInfo& col = info->columns[static_cast<std::size_t>(idx)];
        if (col.identity)
            fail(8102, "Cannot update identity column '" + col.name + "'.", s.pos);
        std::string value;
        if (!a.value)
            value = col.defaultText.empty() ? "NULL" : impl.defaultValue(col);
        else
            value = impl.convert(impl.expr(*a.value, scope), col.type, false);
        sets += (sets.empty() ? "" : ", ") + quoteIdent(col.name) + " = " + value;
    }
    std::string sql = "UPDATE " + impl.tableSql(*info, s.pos) + " AS " + quoteIdent(targetAlias) + " SET " + sets;
    if (!from.empty())
        sql += " FROM " + from;
    std::string where;
    for (const ast::Expr* c : conditions)
        where += (where.empty() ? "" : " AND ") + impl.expr(*c, scope).sql;
    if (s.where)
        where += (where.empty() ? "" : " AND ") + impl.expr(*s.where, scope).sql;
    if (!s.currentOf.empty())
        where += (where.empty() ? "" : " AND ") + currentRowCondition(impl, targetAlias);
    if (!where.empty())
        sql += " WHERE " + where;
    if (s.top)
        sql += " LIMIT " + impl.topCount(*s.top, scope, false);
    return finishedTranslation(impl, with + sql);
}

Translation Translator::remove(const ast::DeleteStmt& s)
{
    if (const TableInfo* view = s.from.empty() ? targetView(catalog_, s.table) : nullptr) {
        if (!s.currentOf.empty())
            unsupported("WHERE CURRENT OF through a view", s.pos);
        return remove(*deleteThroughView(s, *view, catalog_));
    }
    Impl impl(catalog_, variables_, literalParameters_);
    const std::string with = impl.withClause(s);
    // DELETE a FROM T a JOIN ...: the target may be an alias of the FROM clause.
    const ast::ObjectName* targetName = &s.table;
    if (!s.from.empty() && s.table.parts.size() == 1) {
        std::vector<const ast::TableRef*> leaves;
        std::vector<const ast::Expr*> conditions;
        for (const auto& ref : s.from)
            flattenInnerJoins(*ref, leaves, conditions);
        for (const ast::TableRef* leaf : leaves)
            if (leaf->kind == ast::TableRef::Kind::Named && !leaf->alias.empty() &&
                equalsIgnoreCase(leaf->alias, s.table.last()))
                targetName = &leaf->name;
    }
    if (impl.findCte(*targetName))
        unsupported("DELETE from a common table expression", s.pos);
    const TableInfo& info = impl.targetTable(*targetName, s.pos);
    Scope scope;
    Source target;
    target.exposed = s.table.last();
    target.tableName = info.name;
    target.database = info.database;
    target.sqlAlias = impl.newAlias();
    for (const ColumnInfo& c : info.columns)
        target.columns.push_back({c.name, c.type});
    scope.sources.push_back(target);
    std::string sql = "DELETE FROM " + impl.tableSql(info, s.pos) + " AS " + quoteIdent(target.sqlAlias);
    if (!s.from.empty()) {
        // DELETE t FROM t JOIN ... WHERE ...: delete the rows of t that the
        // joined query finds.
        Scope fromScope;
        std::string from;
        for (const auto& ref : s.from) {
            if (!from.empty())
                from += ", ";
            from += impl.tableRef(*ref, fromScope);
        }
        const Source* match = nullptr;
        for (const Source& src : fromScope.sources)
            if (equalsIgnoreCase(src.exposed, s.table.last()) && !src.tableName.empty())
                match = &src;
        if (!match)
            unsupported("DELETE ... FROM whose target is not in the FROM clause", s.pos);
        std::string inner = "SELECT " + quoteIdent(match->sqlAlias) + ".rowid FROM " + from;
        if (s.where)
            inner += " WHERE " + impl.expr(*s.where, fromScope).sql;
        sql += " WHERE " + quoteIdent(target.sqlAlias) + ".rowid IN (" + inner + ")";
        // DELETE t FROM t ... WHERE CURRENT OF c: only the cursor's row.
        if (!s.currentOf.empty())
            sql += " AND " + currentRowCondition(impl, target.sqlAlias);
    } else if (s.where) {
        sql += " WHERE " + impl.expr(*s.where, scope).sql;
    } else if (!s.currentOf.empty()) {
        sql += " WHERE " + currentRowCondition(impl, target.sqlAlias);
    }
    if (s.top)
        sql += " LIMIT " + impl.topCount(*s.top, scope, false);
    return finishedTranslation(impl, with + sql);
}

}  // namespace vqsql
