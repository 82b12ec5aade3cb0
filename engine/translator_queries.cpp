// Translation of queries: table sources and joins, select lists, grouping,
// set operators and ORDER BY.
#include "translator_internal.h"

namespace vqsql {

// INFORMATION_SCHEMA.X of the current or a named database: a derived
// table over that database's system tables.
std::string Translator::Impl::informationSchemaRef(const ast::TableRef& ref, Scope& scope)
{
    const TableInfo* sysobjects = catalog.findTable(ref.name.database(), "sysobjects");
    if (!sysobjects)
        catalog.schemaFor(ref.name.database());   // 911 for a database that does not exist
    if (!sysobjects)
        fail(err::InvalidObject, "Invalid object name '" + ref.name.toString() + "'.", ref.name.pos);
    std::string prefix = quoteIdent(sysobjects->schemaAlias) + ".";
    if (viewMode) {
        if (!equalsIgnoreCase(sysobjects->database, viewDatabase))
            unsupported("a view that reads another database", ref.pos);
        prefix.clear();
    }
    LaterSystemTables present;
    present.foreignKeys = catalog.findTable(ref.name.database(), "sysforeignkeys") != nullptr;
    present.depends = catalog.findTable(ref.name.database(), "sysdepends") != nullptr;
    auto view = informationSchemaView(ref.name.last(), prefix, sysobjects->database, present);
    if (!view)
        fail(err::InvalidObject, "Invalid object name '" + ref.name.toString() + "'.", ref.name.pos);
    Source src;
    src.aliased = !ref.alias.empty();
    src.exposed = src.aliased ? ref.alias : view->name;
    src.tableName = view->name;
    src.database = sysobjects->database;
    src.sqlAlias = newAlias();
    for (const auto& [name, type] : view->columns)
        src.columns.push_back({name, type});
    std::string sql = paren(view->sql) + " AS " + quoteIdent(src.sqlAlias);
    scope.sources.push_back(std::move(src));
    return sql;
}

std::string Translator::Impl::tableRef(const ast::TableRef& ref, Scope& scope)
{
    switch (ref.kind) {
    case ast::TableRef::Kind::Named: {
        if (CteBinding* cte = findCte(ref.name))
            return cteRef(ref, *cte, scope);
        if (equalsIgnoreCase(ref.name.schema(), "INFORMATION_SCHEMA") && ref.name.parts.size() <= 3)
            return informationSchemaRef(ref, scope);
        const TableInfo& info = resolveTable(ref.name);
        if (info.isView())
            viewsRead.push_back(info.name);
        Source src;
        src.aliased = !ref.alias.empty();
        src.exposed = src.aliased ? ref.alias : ref.name.last();
        src.tableName = info.name;
        src.database = info.database;
        src.sqlAlias = newAlias();
        for (const ColumnInfo& c : info.columns)
            src.columns.push_back({c.name, c.type});
        for (const Source& other : scope.sources)
            if (equalsIgnoreCase(other.exposed, src.exposed) && (other.aliased || src.aliased ||
                                                                equalsIgnoreCase(other.database, src.database)))
                fail(1013,
                     "The objects \"" + other.exposed + "\" and \"" + src.exposed +
                         "\" in the FROM clause have the same exposed names. Use correlation names to "
                         "distinguish them.",
                     ref.pos);
        std::string sql = tableSql(info, ref.pos) + " AS " + quoteIdent(src.sqlAlias);
        scope.sources.push_back(std::move(src));
        return sql;
    }
    case ast::TableRef::Kind::Derived: {
        QueryResult inner = query(*ref.query, scope.parent, true);
        Source src;
        src.aliased = true;
        src.exposed = ref.alias;
        src.sqlAlias = newAlias();
        std::set<std::string> seen;
        for (std::size_t i = 0; i < inner.outputs.size(); ++i) {
            const Output& o = inner.outputs[i];
            if (o.name.empty())
                fail(8155,
                     "No column name was specified for column " + std::to_string(i + 1) + " of '" + ref.alias +
                         "'.",
                     ref.pos);
            if (!seen.insert(lowerAscii(o.name)).second)
                fail(8156, "The column '" + o.name + "' was specified multiple times for '" + ref.alias + "'.",
                     ref.pos);
            src.columns.push_back({o.sqlName, o.expr.type});
        }
        std::string sql = paren(inner.sql) + " AS " + quoteIdent(src.sqlAlias);
        scope.sources.push_back(std::move(src));
        return sql;
    }
    case ast::TableRef::Kind::Join: {
        std::string left = tableRef(*ref.left, scope);
        std::string right = tableRef(*ref.right, scope);
        const char* kw = "JOIN";
        switch (ref.joinType) {
        case ast::JoinType::Inner: kw = "JOIN"; break;
        case ast::JoinType::Left: kw = "LEFT JOIN"; break;
        case ast::JoinType::Right: kw = "RIGHT JOIN"; break;
        case ast::JoinType::Full: kw = "FULL JOIN"; break;
        case ast::JoinType::Cross: kw = "CROSS JOIN"; break;
        }
        std::string sql = left + " " + kw + " " + right;
        if (ref.on)
            sql += " ON " + expr(*ref.on, scope).sql;
        return sql;
    }
    }
    unsupported("this table source", ref.pos);
}

// Translates one SELECT block. `scopeOut` receives its scope (for
// ORDER BY); `derived` demands unique column names as SQL aliases;
// `single` wraps the only value in vq_single() (scalar subquery).
std::string Translator::Impl::queryBlock(const ast::QueryBlock& block, Scope* parent, bool derived, bool single, bool dedupe, std::vector<Output>& outputs, std::vector<std::string>& assignTargets, Scope& scope)
{
    scope.parent = parent;
    std::string from;
    for (const auto& ref : block.from) {
        if (!from.empty())
            from += ", ";
        from += tableRef(*ref, scope);
    }
    if (block.into.parts.size() > 0 && !std::exchange(selectInto, false))
        unsupported("SELECT ... INTO", block.pos);

    bool assigning = false;
    for (std::size_t i = 0; i < block.items.size(); ++i) {
        const ast::SelectItem& item = block.items[i];
        bool assigns = !item.assignVariable.empty();
        if (i == 0)
            assigning = assigns;
        else if (assigns != assigning)
            fail(141,
                 "A SELECT statement that assigns a value to a variable must not be combined with "
                 "data-retrieval operations.",
                 item.pos);
        if (item.expr->kind == ast::ExprKind::Star) {
            expandStar(*item.expr, scope, outputs);
            continue;
        }
        Output o;
        o.expr = expr(*item.expr, scope);
        if (!item.alias.empty())
            o.name = item.alias;
        else if (item.expr->kind == ast::ExprKind::Column)
            o.name = item.expr->name.last();
        if (assigns) {
            std::string var = lowerAscii(item.assignVariable);
            auto it = variables.find(var);
            if (it == variables.end() || it->second.declaredAt > item.pos.offset)
                fail(err::MustDeclare, "Must declare the scalar variable \"" + item.assignVariable + "\".",
                     item.pos);
            o.expr.sql = convert(o.expr, it->second.type, true);
            o.expr.type = it->second.type;
            assignTargets.push_back(var);
        }
        outputs.push_back(std::move(o));
    }
    if (outputs.size() > kMaxSelectListElements)
        fail(1056,
             "The number of elements in the select list exceeds the maximum allowed number of " +
                 std::to_string(kMaxSelectListElements) + " elements.",
             block.pos);
    // SQL aliases: the column's own name where it is unique, else a
    // generated one (a derived table needs the real names).
    std::set<std::string> used;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        Output& o = outputs[i];
        std::string key = lowerAscii(o.name);
        if (!o.name.empty() && used.insert(key).second)
            o.sqlName = o.name;
        else
            o.sqlName = "__c" + std::to_string(i + 1);
        (void)derived;
    }

    std::string sql = block.distinct ? "SELECT DISTINCT " : "SELECT ";
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (i)
            sql += ", ";
        std::string value = outputs[i].expr.sql;
        if (single)
            value = "vq_single(" + value + ")";
        else if ((block.distinct || dedupe) && outputs[i].expr.type.isText())
            value += " COLLATE vq_ci";
        sql += value + " AS " + quoteIdent(outputs[i].sqlName);
    }
    if (cursorRowid && !parent && !derived && !single)
        sql += cursorRowidColumn(block, scope);
    if (!from.empty())
        sql += " FROM " + from;
    refuseWindowsOutsideSelectList(block);
    if (block.where)
        sql += " WHERE " + expr(*block.where, scope).sql;
    std::vector<std::string> groupSql;
    if (!block.groupBy.empty()) {
        sql += " GROUP BY ";
        for (std::size_t i = 0; i < block.groupBy.size(); ++i) {
            TExpr g = expr(*block.groupBy[i], scope);
            groupSql.push_back(g.sql);
            if (i)
                sql += ", ";
            sql += g.sql;
            if (g.type.isText())
                sql += " COLLATE vq_ci";
        }
    }
    if (block.having)
        sql += " HAVING " + expr(*block.having, scope).sql;
    checkGrouping(block, scope, groupSql);
    return sql;
}

// Column references outside aggregates, not looking into subqueries.
void Translator::Impl::ungroupedColumns(const ast::Expr& e, std::vector<const ast::Expr*>& out)
{
    if (e.kind == ast::ExprKind::Column) {
        out.push_back(&e);
        return;
    }
    if (e.kind == ast::ExprKind::Function && isAggregateName(lowerAscii(e.text)))
        return;
    if (e.kind == ast::ExprKind::Subquery || e.kind == ast::ExprKind::Exists)
        return;
    for (const auto& a : e.args)
        if (a)
            ungroupedColumns(*a, out);
    for (const auto& [w, t] : e.whens) {
        if (w)
            ungroupedColumns(*w, out);
        if (t)
            ungroupedColumns(*t, out);
    }
    if (e.elseExpr)
        ungroupedColumns(*e.elseExpr, out);
}

// An aggregated query may show a column only inside an aggregate or
// when it is grouped by (error 8120), as SQL Server insists.
void Translator::Impl::checkGrouping(const ast::QueryBlock& block, Scope& scope, const std::vector<std::string>& groupSql)
{
    bool aggregated = !block.groupBy.empty() || block.having;
    for (const ast::SelectItem& item : block.items)
        if (item.expr->kind != ast::ExprKind::Star && containsAggregate(*item.expr))
            aggregated = true;
    if (!aggregated)
        return;
    auto check = [&](const ast::Expr& e, const char* clause) {
        if (e.kind == ast::ExprKind::Star) {
            checkStarGrouped(e, scope, groupSql);
            return;
        }
        if (std::find(groupSql.begin(), groupSql.end(), expr(e, scope).sql) != groupSql.end())
            return;
        std::vector<const ast::Expr*> columns;
        ungroupedColumns(e, columns);
        for (const ast::Expr* c : columns) {
            std::string colSql = expr(*c, scope).sql;
            if (std::find(groupSql.begin(), groupSql.end(), colSql) != groupSql.end())
                continue;
            // A reference to an outer query is a constant within the group.
            bool local = false;
            for (const Source& src : scope.sources)
                if (colSql.rfind(quoteIdent(src.sqlAlias) + ".", 0) == 0 || scope.bareColumns)
                    local = true;
            if (!local)
                continue;
            std::string shown = c->name.parts.size() > 1 ? c->name.toString() : c->name.last();
            for (const Source& src : scope.sources)
                if (colSql.rfind(quoteIdent(src.sqlAlias) + ".", 0) == 0 && c->name.parts.size() == 1)
                    shown = src.exposed + "." + c->name.last();
            fail(8120, "Column '" + shown + "' is invalid in the " + clause +
                           " because it is not contained in either an aggregate function or the GROUP BY clause.",
                 c->pos);
        }
    };
    for (const ast::SelectItem& item : block.items)
        check(*item.expr, "select list");
    if (block.having)
        check(*block.having, "HAVING clause");
}

// Whether `*` (bare) or `q.*` covers the columns of `src`.
bool Translator::Impl::starCovers(const ast::Expr& star, const Source& src)
{
    if (star.name.empty())
        return true;
    const std::string& q = star.name.last();
    return src.aliased || src.tableName.empty() ? equalsIgnoreCase(src.exposed, q)
                                                : equalsIgnoreCase(src.tableName, q);
}

std::string Translator::Impl::starColumnSql(const Scope& scope, const Source& src, const SourceColumn& c)
{
    return scope.bareColumns ? quoteIdent(c.name) : quoteIdent(src.sqlAlias) + "." + quoteIdent(c.name);
}

// `*` in an aggregated query stands for its columns, each of which must
// be grouped by (SELECT * FROM t GROUP BY every column of t is valid).
void Translator::Impl::checkStarGrouped(const ast::Expr& star, const Scope& scope, const std::vector<std::string>& groupSql)
{
    for (const Source& src : scope.sources) {
        if (!starCovers(star, src))
            continue;
        for (const SourceColumn& c : src.columns) {
            if (std::find(groupSql.begin(), groupSql.end(), starColumnSql(scope, src, c)) != groupSql.end())
                continue;
            fail(8120, "Column '" + src.exposed + "." + c.name +
                           "' is invalid in the select list because it is not contained in either an aggregate "
                           "function or the GROUP BY clause.",
                 star.pos);
        }
    }
}

void Translator::Impl::expandStar(const ast::Expr& star, Scope& scope, std::vector<Output>& outputs)
{
    bool any = false;
    for (const Source& src : scope.sources) {
        if (!starCovers(star, src))
            continue;
        any = true;
        for (const SourceColumn& c : src.columns) {
            Output o;
            o.name = c.name;
            o.expr.type = c.type;
            o.expr.sql = starColumnSql(scope, src, c);
            outputs.push_back(std::move(o));
        }
    }
    if (!any) {
        if (star.name.empty())
            fail(263, "Must specify table to select from.", star.pos);
        fail(107,
             "The column prefix '" + star.name.toString() +
                 "' does not match with a table name or alias name used in the query.",
             star.pos);
    }
}

// A parenthesised set expression as one operand of a set operation.
// SQLite's compound SELECT takes no parentheses and applies its
// operators from left to right, so the operand is read from a subquery.
std::string Translator::Impl::nestedOperand(const ast::Query& q, Scope* parent, bool dedupe, std::vector<Output>& outputs)
{
    QueryResult inner = query(q, parent, true);
    const std::string alias = newAlias();
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < inner.outputs.size(); ++i) {
        Output o = inner.outputs[i];
        o.expr.sql = quoteIdent(alias) + "." + quoteIdent(o.sqlName);
        sql += (i ? ", " : "") + o.expr.sql;
        if (dedupe && o.expr.type.isText())
            sql += " COLLATE vq_ci";
        sql += " AS " + quoteIdent(o.sqlName);
        outputs.push_back(std::move(o));
    }
    return sql + " FROM " + paren(inner.sql) + " AS " + quoteIdent(alias);
}

QueryResult Translator::Impl::query(const ast::Query& q, Scope* parent, bool derived, bool single)
{
    QueryResult result;
    std::vector<Scope> scopes(q.blocks.size());
    std::string sql;
    for (std::size_t i = 0; i < q.blocks.size(); ++i) {
        std::vector<Output> outputs;
        std::vector<std::string> targets;
        bool dedupe = std::any_of(q.ops.begin(), q.ops.end(), [](ast::SetOp op) { return op != ast::SetOp::UnionAll; });
        std::string part = q.blocks[i]->nested
                               ? nestedOperand(*q.blocks[i]->nested, parent, dedupe, outputs)
                               : queryBlock(*q.blocks[i], parent, derived, single, dedupe, outputs, targets, scopes[i]);
        const ast::QueryBlock& block = *q.blocks[i];
        if (block.top && (block.topPercent || block.topWithTies) && q.blocks.size() > 1)
            unsupported("TOP ... PERCENT or WITH TIES in a UNION, INTERSECT or EXCEPT", block.pos);
        if (i == 0) {
            result.outputs = std::move(outputs);
            result.assignTargets = std::move(targets);
        } else {
            if (outputs.size() != result.outputs.size())
                fail(205, kUnequalSetOperands, block.pos);
            for (std::size_t c = 0; c < outputs.size(); ++c)
                if (precedence(outputs[c].expr.type) > precedence(result.outputs[c].expr.type))
                    result.outputs[c].expr.type = outputs[c].expr.type;
        }
        if (block.top && q.blocks.size() > 1)
            part = "SELECT * FROM (" + part + " LIMIT " + topCount(*block.top, scopes[i], false) + ")";
        if (i > 0) {
            switch (q.ops[i - 1]) {
            case ast::SetOp::Union: sql += " UNION "; break;
            case ast::SetOp::UnionAll: sql += " UNION ALL "; break;
            case ast::SetOp::Except: sql += " EXCEPT "; break;
            case ast::SetOp::Intersect: sql += " INTERSECT "; break;
            }
        }
        sql += part;
    }
    if (q.blocks.size() == 1 && q.blocks[0]->top && (q.blocks[0]->topPercent || q.blocks[0]->topWithTies)) {
        result.sql = rankedTop(q, sql, result.outputs, scopes[0], single);
        return result;
    }
    if (!q.orderBy.empty()) {
        sql += " ORDER BY ";
        for (std::size_t i = 0; i < q.orderBy.size(); ++i) {
            if (i)
                sql += ", ";
            sql += orderTerm(*q.orderBy[i].expr, result.outputs, q.blocks.size() == 1 ? &scopes[0] : nullptr);
            if (q.orderBy[i].descending)
                sql += " DESC";
        }
    }
    if (q.blocks.size() == 1 && q.blocks[0]->top) {
        sql += " LIMIT " + topCount(*q.blocks[0]->top, scopes[0], false);
    }
    result.sql = sql;
    return result;
}

// ORDER BY: a select-list alias or position first, then an expression
// over the FROM clause, as SQL Server resolves it. Texts sort under
// the case-insensitive collation.
std::string Translator::Impl::orderTerm(const ast::Expr& e, const std::vector<Output>& outputs, Scope* scope)
{
    auto byPosition = [&](std::size_t index) {
        std::string term = std::to_string(index + 1);
        if (outputs[index].expr.type.isText())
            term += " COLLATE vq_ci";
        return term;
    };
    if (e.kind == ast::ExprKind::Column && e.name.parts.size() == 1) {
        for (std::size_t i = 0; i < outputs.size(); ++i)
            if (equalsIgnoreCase(outputs[i].name, e.name.last()))
                return byPosition(i);
    }
    if (e.kind == ast::ExprKind::Literal && e.litKind == ast::LiteralKind::Integer) {
        std::size_t index = 0;
        auto parsed = std::from_chars(e.text.data(), e.text.data() + e.text.size(), index);
        if (parsed.ec != std::errc() || index < 1 || index > outputs.size())
            fail(108, "The ORDER BY position number " + e.text +
                          " is out of range of the number of items in the select list.",
                 e.pos);
        return byPosition(index - 1);
    }
    if (!scope)
        fail(104, "ORDER BY items must appear in the select list if the statement contains a UNION, INTERSECT "
                  "or EXCEPT operator.",
             e.pos);
    TExpr t = expr(e, *scope);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (outputs[i].expr.sql == t.sql)
            return byPosition(i);
    return t.type.isText() ? t.sql + " COLLATE vq_ci" : t.sql;
}

namespace {

std::vector<Column> columnsOf(const std::vector<Output>& outputs)
{
    std::vector<Column> cols;
    for (const Output& o : outputs)
        cols.push_back({o.name, o.expr.type});
    return cols;
}

}  // namespace

Translation queryTranslation(const Translator::Impl& impl, const std::string& with, const QueryResult& r)
{
    Translation t;
    t.sql = with + r.sql;
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    t.columns = columnsOf(r.outputs);
    t.assignTargets = r.assignTargets;
    return t;
}

Translation Translator::query(const ast::Query& q)
{
    Impl impl(catalog_, variables_, literalParameters_);
    return queryTranslation(impl, "", impl.query(q, nullptr, false));
}

Translation Translator::selectIntoSource(const ast::SelectStmt& s)
{
    Impl impl(catalog_, variables_, literalParameters_);
    impl.selectInto = true;
    impl.identityAllowed = true;
    const std::string with = impl.withClause(s);
    return queryTranslation(impl, with, impl.query(*s.query, nullptr, false));
}

Translation Translator::cursorQuery(const ast::Query& q)
{
    Impl impl(catalog_, variables_, literalParameters_);
    // TOP ... WITH TIES and PERCENT wrap the block in a ranking query that
    // keeps only the result columns: no rowid to follow then.
    impl.cursorRowid = q.blocks.size() == 1 && !q.blocks[0]->nested && !q.blocks[0]->topPercent &&
                       !q.blocks[0]->topWithTies;
    Translation t = queryTranslation(impl, "", impl.query(q, nullptr, false));
    t.rowidDatabase = impl.rowidDatabase;
    t.rowidTable = impl.rowidTable;
    return t;
}

// The rowid column a cursor's block adds after its result columns when
// it reads one base table without grouping; "" otherwise.
std::string Translator::Impl::cursorRowidColumn(const ast::QueryBlock& block, const Scope& scope)
{
    cursorRowid = false;   // the top block only
    if (block.distinct || !block.groupBy.empty() || block.having || scope.sources.size() != 1 ||
        scope.sources[0].tableName.empty() || !block.into.empty())
        return {};
    for (const ast::SelectItem& item : block.items)
        if (item.expr->kind != ast::ExprKind::Star && containsAggregate(*item.expr))
            return {};
    const Source& src = scope.sources[0];
    const TableInfo* info = catalog.findTable(src.database, src.tableName);
    if (!info || info->isView() || !equalsIgnoreCase(info->name, src.tableName))
        return {};
    rowidDatabase = info->database;
    rowidTable = info->name;
    return ", " + quoteIdent(src.sqlAlias) + ".rowid";
}

Translation Translator::viewBody(const ast::Query& q, const std::string& database)
{
    Impl impl(catalog_, variables_);
    impl.viewMode = true;
    impl.viewDatabase = database;
    QueryResult r = impl.query(q, nullptr, true);
    if (!impl.parameters.empty())
        fail(err::Unsupported, "A view cannot reference variables.", q.pos);
    Translation t;
    t.sql = r.sql;
    t.columns = columnsOf(r.outputs);
    // A view's column names must be unique and present.
    std::set<std::string> seen;
    for (std::size_t i = 0; i < r.outputs.size(); ++i) {
        if (r.outputs[i].name.empty())
            fail(4511,
                 "Create View or Function failed because no column name was specified for column " +
                     std::to_string(i + 1) + ".",
                 q.pos);
        if (!seen.insert(lowerAscii(r.outputs[i].name)).second)
            fail(4506,
                 "Column names in each view or function must be unique. Column name '" + r.outputs[i].name +
                     "' in view or function is specified more than once.",
                 q.pos);
    }
    return t;
}

}  // namespace vqsql
