// Translation of common table expressions (WITH, recursive ones included,
// with OPTION (MAXRECURSION n)) into SQLite's WITH clause, and of TOP:
// checked row counts, TOP ... PERCENT and TOP ... WITH TIES; and of the
// window functions (f(...) OVER (...)).
//
// A CTE is typed like a derived table and becomes a SQLite CTE under a
// generated name ("vq_cte1") with its column names as SQL Server gives
// them. A recursive CTE with a recursion limit carries one hidden column,
// the recursion level: 0 in the anchor members, the referenced row's
// level + 1 in the recursive members, which raise error 530 instead of
// going past the limit.
#include "translator_internal.h"

namespace vqsql {

namespace {

constexpr const char* kLevelColumn = "__vq_level";
constexpr const char* kRankColumn = "__vq_rank";
constexpr const char* kCountColumn = "__vq_count";

// Where a query refers to a CTE: straight in a FROM clause (`direct`), or
// inside a subquery or derived table (`nested`); `inOuterJoin` when a
// direct reference stands inside an outer join.
struct CteUse {
    int direct = 0;
    int nested = 0;
    bool inOuterJoin = false;
    int total() const { return direct + nested; }
};

void useInQuery(const ast::Query& q, const std::string& name, CteUse& use, bool nested);

void useInExpr(const ast::Expr& e, const std::string& name, CteUse& use)
{
    for (const auto& a : e.args)
        if (a)
            useInExpr(*a, name, use);
    for (const auto& [w, t] : e.whens) {
        if (w)
            useInExpr(*w, name, use);
        if (t)
            useInExpr(*t, name, use);
    }
    if (e.elseExpr)
        useInExpr(*e.elseExpr, name, use);
    if (e.query)
        useInQuery(*e.query, name, use, true);
}

void useInTableRef(const ast::TableRef& ref, const std::string& name, CteUse& use, bool nested, bool outer)
{
    switch (ref.kind) {
    case ast::TableRef::Kind::Named:
        if (ref.name.parts.size() == 1 && equalsIgnoreCase(ref.name.last(), name)) {
            if (nested) {
                ++use.nested;
            } else {
                ++use.direct;
                use.inOuterJoin = use.inOuterJoin || outer;
            }
        }
        return;
    case ast::TableRef::Kind::Derived:
        useInQuery(*ref.query, name, use, true);
        return;
    case ast::TableRef::Kind::Join: {
        const bool outerHere = outer || ref.joinType == ast::JoinType::Left ||
                               ref.joinType == ast::JoinType::Right || ref.joinType == ast::JoinType::Full;
        useInTableRef(*ref.left, name, use, nested, outerHere);
        useInTableRef(*ref.right, name, use, nested, outerHere);
        if (ref.on)
            useInExpr(*ref.on, name, use);
        return;
    }
    }
}

void useInBlock(const ast::QueryBlock& b, const std::string& name, CteUse& use, bool nested)
{
    if (b.nested)
        useInQuery(*b.nested, name, use, true);
    for (const auto& ref : b.from)
        useInTableRef(*ref, name, use, nested, false);
    for (const ast::SelectItem& item : b.items)
        useInExpr(*item.expr, name, use);
    for (const ast::Expr* e : {b.top.get(), b.where.get(), b.having.get()})
        if (e)
            useInExpr(*e, name, use);
    for (const auto& g : b.groupBy)
        useInExpr(*g, name, use);
}

void useInQuery(const ast::Query& q, const std::string& name, CteUse& use, bool nested)
{
    for (const auto& b : q.blocks)
        useInBlock(*b, name, use, nested);
    for (const ast::OrderItem& o : q.orderBy)
        useInExpr(*o.expr, name, use);
}

// The types SQL Server demands to be equal between the anchor and the
// recursive part of a recursive CTE: the same type, and for texts and
// binaries the same length, for numeric the same precision and scale.
bool sameRecursiveType(const SqlType& a, const SqlType& b)
{
    if (a.isUnknown() || b.isUnknown())
        return true;
    if (a.base != b.base)
        return false;
    if (a.isText() || a.isBinary())
        return a.length == b.length;
    if (a.base == BaseType::Numeric)
        return a.precision == b.precision && a.scale == b.scale;
    return true;
}

bool aggregatesOrGroups(const ast::QueryBlock& b)
{
    if (!b.groupBy.empty() || b.having)
        return true;
    for (const ast::SelectItem& item : b.items)
        if (item.expr->kind != ast::ExprKind::Star && containsAggregate(*item.expr))
            return true;
    return false;
}

// The select list exactly as queryBlock writes it for a block without
// DISTINCT in a query without set operators: "SELECT v AS "n", ...".
std::string selectListPrefix(const std::vector<Output>& outputs, bool single)
{
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (i)
            sql += ", ";
        sql += single ? "vq_single(" + outputs[i].expr.sql + ")" : outputs[i].expr.sql;
        sql += " AS " + quoteIdent(outputs[i].sqlName);
    }
    return sql;
}

// A block's SQL with more items after its select list.
std::string withMoreSelectItems(const std::string& blockSql, const std::vector<Output>& outputs,
                                const std::string& items, const ast::Pos& pos)
{
    const std::string prefix = selectListPrefix(outputs, false);
    if (blockSql.compare(0, prefix.size(), prefix) != 0)
        unsupported("this form of query with TOP or a recursive common table expression", pos);
    return prefix + items + blockSql.substr(prefix.size());
}

std::string setOperatorSql(ast::SetOp op)
{
    switch (op) {
    case ast::SetOp::Union: return " UNION ";
    case ast::SetOp::UnionAll: return " UNION ALL ";
    case ast::SetOp::Except: return " EXCEPT ";
    case ast::SetOp::Intersect: return " INTERSECT ";
    }
    return " UNION ALL ";
}

}  // namespace

Translator::Impl::CteBinding* Translator::Impl::findCte(const ast::ObjectName& name)
{
    if (name.parts.size() != 1)
        return nullptr;
    for (CteBinding& b : ctes)
        if (equalsIgnoreCase(b.name, name.last()))
            return &b;
    return nullptr;
}

// A reference to a CTE in a FROM clause.
std::string Translator::Impl::cteRef(const ast::TableRef& ref, CteBinding& cte, Scope& scope)
{
    Source src;
    src.aliased = !ref.alias.empty();
    src.exposed = src.aliased ? ref.alias : cte.name;
    src.sqlAlias = newAlias();
    src.columns = cte.columns;
    for (const Source& other : scope.sources)
        if (equalsIgnoreCase(other.exposed, src.exposed))
            fail(1013,
                 "The objects \"" + other.exposed + "\" and \"" + src.exposed +
                     "\" in the FROM clause have the same exposed names. Use correlation names to distinguish them.",
                 ref.pos);
    cte.lastAlias = src.sqlAlias;
    std::string sql = quoteIdent(cte.sqlName) + " AS " + quoteIdent(src.sqlAlias);
    scope.sources.push_back(std::move(src));
    return sql;
}

// "WITH [RECURSIVE] a(cols) AS (...), ... " for the statement's CTEs
// ("" when it has none); each becomes visible to the ones after it and to
// the statement.
std::string Translator::Impl::withClause(const ast::Stmt& s)
{
    if (s.with.empty())
        return {};
    std::string sql;
    bool anyRecursive = false;
    for (const ast::CommonTableExpr& c : s.with) {
        if (findCte(ast::ObjectName{{c.name}, c.pos}))
            fail(239, "Duplicate common table expression name '" + c.name + "' was specified.", c.pos);
        bool recursive = false;
        std::string definition = commonTableExpr(c, s.maxRecursion, &recursive);
        anyRecursive = anyRecursive || recursive;
        sql += (sql.empty() ? "" : ", ") + definition;
    }
    return (anyRecursive ? "WITH RECURSIVE " : "WITH ") + sql + " ";
}

namespace {

// The columns of a CTE: named by its column list or by its query, each
// name present and unique (8155, 8156), as many as the list says (8158,
// 8159).
std::vector<SourceColumn> cteColumns(const ast::CommonTableExpr& c, const std::vector<Output>& outputs)
{
    if (!c.columns.empty() && outputs.size() > c.columns.size())
        fail(8158, "'" + c.name + "' has more columns than were specified in the column list.", c.pos);
    if (!c.columns.empty() && outputs.size() < c.columns.size())
        fail(8159, "'" + c.name + "' has fewer columns than were specified in the column list.", c.pos);
    std::vector<SourceColumn> columns;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string& name = c.columns.empty() ? outputs[i].name : c.columns[i];
        if (name.empty())
            fail(8155,
                 "No column name was specified for column " + std::to_string(i + 1) + " of '" + c.name + "'.",
                 c.pos);
        if (!seen.insert(lowerAscii(name)).second)
            fail(8156, "The column '" + name + "' was specified multiple times for '" + c.name + "'.", c.pos);
        columns.push_back({name, outputs[i].expr.type});
    }
    return columns;
}

std::string columnListSql(const std::vector<SourceColumn>& columns, bool withLevel)
{
    std::string sql = "(";
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql += (i ? ", " : "") + quoteIdent(columns[i].name);
    if (withLevel)
        sql += ", " + quoteIdent(kLevelColumn);
    return sql + ")";
}

}  // namespace

std::string Translator::Impl::commonTableExpr(const ast::CommonTableExpr& c, int maxRecursion, bool* recursive)
{
    const ast::Query& q = *c.query;
    if (!q.orderBy.empty() && !(q.blocks.size() == 1 && q.blocks[0]->top))
        fail(1033,
             "The ORDER BY clause is invalid in views, inline functions, derived tables, subqueries, and common "
             "table expressions, unless TOP or FOR XML is also specified.",
             c.pos);
    CteBinding binding;
    binding.name = c.name;
    binding.sqlName = "vq_cte" + std::to_string(ctes.size() + 1);
    std::size_t firstRecursive = q.blocks.size();
    for (std::size_t i = 0; i < q.blocks.size() && firstRecursive == q.blocks.size(); ++i) {
        CteUse use;
        useInBlock(*q.blocks[i], c.name, use, false);
        if (use.total() > 0)
            firstRecursive = i;
    }
    CteUse orderUse;
    for (const ast::OrderItem& o : q.orderBy)
        useInExpr(*o.expr, c.name, orderUse);
    if (firstRecursive == q.blocks.size() && orderUse.total() == 0) {
        QueryResult r = query(q, nullptr, true);
        binding.columns = cteColumns(c, r.outputs);
        std::string sql = quoteIdent(binding.sqlName) + columnListSql(binding.columns, false) + " AS " + paren(r.sql);
        ctes.push_back(std::move(binding));
        return sql;
    }
    *recursive = true;
    return recursiveCte(c, firstRecursive, maxRecursion, binding);
}

// anchor [op anchor ...] UNION ALL recursive [UNION ALL recursive ...]
std::string Translator::Impl::recursiveCte(const ast::CommonTableExpr& c, std::size_t firstRecursive, int maxRecursion,
                                          CteBinding& binding)
{
    const ast::Query& q = *c.query;
    const std::string quotedName = "\"" + c.name + "\"";
    if (firstRecursive == 0 || firstRecursive == q.blocks.size())
        fail(246, "No anchor member was specified for recursive query " + quotedName + ".", c.pos);
    if (!q.orderBy.empty())
        fail(1033,
             "The ORDER BY clause is invalid in views, inline functions, derived tables, subqueries, and common "
             "table expressions, unless TOP or FOR XML is also specified.",
             c.pos);
    for (std::size_t i = firstRecursive - 1; i < q.ops.size(); ++i)
        if (q.ops[i] != ast::SetOp::UnionAll)
            fail(252, "Recursive common table expression '" + c.name + "' does not contain a top-level UNION ALL operator.",
                 c.pos);

    // The anchor members, typed as a query of their own.
    bool dedupe = false;
    for (std::size_t i = 0; i + 1 < firstRecursive; ++i)
        dedupe = dedupe || q.ops[i] != ast::SetOp::UnionAll;
    std::vector<Output> anchorOutputs;
    std::string anchorSql;
    for (std::size_t i = 0; i < firstRecursive; ++i) {
        const ast::QueryBlock& block = *q.blocks[i];
        std::vector<Output> outputs;
        std::vector<std::string> targets;
        Scope scope;
        std::string part = block.nested ? nestedOperand(*block.nested, nullptr, dedupe, outputs)
                                        : queryBlock(block, nullptr, true, false, dedupe, outputs, targets, scope);
        if (block.top && (block.topPercent || block.topWithTies))
            unsupported("TOP ... PERCENT or WITH TIES in a recursive common table expression", block.pos);
        if (block.top)
            part = "SELECT * FROM (" + part + " LIMIT " + topCount(*block.top, scope, false) + ")";
        if (i == 0) {
            anchorOutputs = std::move(outputs);
        } else {
            if (outputs.size() != anchorOutputs.size())
                fail(205, kUnequalSetOperands, block.pos);
            for (std::size_t k = 0; k < outputs.size(); ++k)
                if (precedence(outputs[k].expr.type) > precedence(anchorOutputs[k].expr.type))
                    anchorOutputs[k].expr.type = outputs[k].expr.type;
            anchorSql += setOperatorSql(q.ops[i - 1]);
        }
        anchorSql += part;
    }
    binding.columns = cteColumns(c, anchorOutputs);
    const bool limited = maxRecursion > 0;
    std::string sql = quoteIdent(binding.sqlName) + columnListSql(binding.columns, limited) + " AS (";
    sql += limited ? "SELECT *, 0 FROM " + paren(anchorSql) : anchorSql;
    ctes.push_back(binding);
    const std::size_t bindingIndex = ctes.size() - 1;

    // The recursive members: one reference to the CTE each, in the FROM
    // clause and outside outer joins; no DISTINCT, TOP or grouping.
    for (std::size_t i = firstRecursive; i < q.blocks.size(); ++i) {
        const ast::QueryBlock& block = *q.blocks[i];
        CteUse use;
        useInBlock(block, c.name, use, false);
        if (use.total() == 0)
            unsupported("an anchor member after the recursive member of a common table expression", block.pos);
        if (use.nested > 0 || block.nested)
            fail(465, "Recursive references are not allowed in subqueries.", block.pos);
        if (use.direct > 1)
            fail(253, "Recursive member of a common table expression '" + c.name + "' has multiple recursive references.",
                 block.pos);
        if (use.inOuterJoin)
            fail(462, "Outer join is not allowed in the recursive part of a recursive common table expression '" + c.name +
                          "'.",
                 block.pos);
        if (block.distinct)
            fail(460, "DISTINCT operator is not allowed in the recursive part of a recursive common table expression '" +
                          c.name + "'.",
                 block.pos);
        if (block.top)
            fail(461, "TOP operator is not allowed in the recursive part of a recursive common table expression '" +
                          c.name + "'.",
                 block.pos);
        if (aggregatesOrGroups(block))
            fail(467, "GROUP BY, HAVING, or aggregate functions are not allowed in the recursive part of a recursive "
                      "common table expression '" + c.name + "'.",
                 block.pos);
        std::vector<Output> outputs;
        std::vector<std::string> targets;
        Scope scope;
        std::string part = queryBlock(block, nullptr, true, false, false, outputs, targets, scope);
        if (outputs.size() != binding.columns.size())
            fail(205, kUnequalSetOperands, block.pos);
        for (std::size_t k = 0; k < outputs.size(); ++k)
            if (!sameRecursiveType(binding.columns[k].type, outputs[k].expr.type))
                fail(240, "Types don't match between the anchor and the recursive part in column \"" +
                              binding.columns[k].name + "\" of recursive query " + quotedName + ".",
                     block.pos);
        if (limited) {
            const std::string level = quoteIdent(ctes[bindingIndex].lastAlias) + "." + quoteIdent(kLevelColumn);
            const std::string message = "The statement terminated. The maximum recursion " +
                                        std::to_string(maxRecursion) +
                                        " has been exhausted before statement completion.";
            part = withMoreSelectItems(part, outputs,
                                       ", CASE WHEN " + level + " >= " + std::to_string(maxRecursion) +
                                           " THEN vq_error(530, " + quoteString(message) + ") ELSE " + level +
                                           " + 1 END",
                                       block.pos);
        }
        sql += " UNION ALL " + part;
    }
    return sql + ")";
}

// The row count of TOP, checked as SQL Server checks it: a whole number
// of rows (1060), not negative (127); a percentage between 0 and 100
// (1031). A constant is checked here, anything else when it runs.
std::string Translator::Impl::topCount(const ast::Expr& top, Scope& scope, bool percent)
{
    const ast::Expr* e = &top;
    const bool negated = e->kind == ast::ExprKind::Unary && e->op == "-" && e->args.size() == 1 && e->args[0] &&
                         e->args[0]->kind == ast::ExprKind::Literal;
    const ast::Expr* literal = negated ? e->args[0].get() : e->kind == ast::ExprKind::Literal ? e : nullptr;
    const std::string percentMessage = "Percent values must be between 0 and 100.";
    const std::string negativeMessage = "A TOP N value may not be negative.";
    if (literal) {
        const bool number = literal->litKind == ast::LiteralKind::Integer ||
                            literal->litKind == ast::LiteralKind::Decimal ||
                            literal->litKind == ast::LiteralKind::Float;
        if (number && !percent && literal->litKind != ast::LiteralKind::Integer)
            throw SqlException(1060,
                               "The number of rows provided for a TOP or FETCH clauses row count parameter must be an "
                               "integer.",
                               top.pos.line, 15);
        if (number && negated)
            throw SqlException(percent ? 1031 : 127, percent ? percentMessage : negativeMessage, top.pos.line, 15);
        if (number && percent && std::strtod(literal->text.c_str(), nullptr) > 100)
            throw SqlException(1031, percentMessage, top.pos.line, 15);
        // A whole count may be bound as a parameter of a shared translation;
        // a percentage keeps its check below, since the next statement of
        // the same shape may bring another number.
        if (literal->litKind == ast::LiteralKind::Integer && !negated && !percent)
            return expr(top, scope).sql;
    }
    const std::string v = expr(top, scope).sql;
    if (percent)
        return "(CASE WHEN " + v + " IS NULL OR " + v + " < 0 OR " + v + " > 100 THEN vq_error(1031, " +
               quoteString(percentMessage) + ") ELSE " + v + " END)";
    return "(CASE WHEN " + v + " IS NULL OR " + v + " < 0 THEN vq_error(127, " + quoteString(negativeMessage) +
           ") ELSE CAST(" + v + " AS INTEGER) END)";
}

// TOP ... WITH TIES and TOP ... PERCENT of a query of one block: the
// block numbers its rows in the ORDER BY order (rank() so that ties share
// a number; row_number() otherwise) and counts them, and the query keeps
// the rows numbered within the limit. n PERCENT keeps ceiling(n% of the
// rows): number - 1 < n * count / 100.
std::string Translator::Impl::rankedTop(const ast::Query& q, const std::string& blockSql,
                                        const std::vector<Output>& outputs, Scope& scope, bool single)
{
    const ast::QueryBlock& block = *q.blocks[0];
    if (block.topWithTies && q.orderBy.empty())
        throw SqlException(1062, "The TOP N WITH TIES clause is not allowed without a corresponding ORDER BY clause.",
                           block.pos.line, 15);
    if (block.distinct || single)
        unsupported("TOP ... WITH TIES or PERCENT together with DISTINCT or as a single value", block.pos);
    std::string order;
    for (const ast::OrderItem& item : q.orderBy) {
        const ast::Expr& e = *item.expr;
        TExpr term;
        bool found = false;
        if (e.kind == ast::ExprKind::Column && e.name.parts.size() == 1) {
            for (const Output& o : outputs)
                if (!found && equalsIgnoreCase(o.name, e.name.last())) {
                    term = o.expr;
                    found = true;
                }
        }
        if (!found && e.kind == ast::ExprKind::Literal && e.litKind == ast::LiteralKind::Integer) {
            std::size_t index = 0;
            auto parsed = std::from_chars(e.text.data(), e.text.data() + e.text.size(), index);
            if (parsed.ec != std::errc() || index < 1 || index > outputs.size())
                fail(108, "The ORDER BY position number " + e.text +
                              " is out of range of the number of items in the select list.",
                     e.pos);
            term = outputs[index - 1].expr;
            found = true;
        }
        if (!found)
            term = expr(e, scope);
        order += (order.empty() ? "" : ", ") + term.sql + (term.type.isText() ? " COLLATE vq_ci" : "") +
                 (item.descending ? " DESC" : "");
    }
    const std::string rank = quoteIdent(kRankColumn);
    const std::string count = quoteIdent(kCountColumn);
    std::string items = std::string(", ") + (block.topWithTies ? "rank()" : "row_number()") + " OVER (" +
                        (order.empty() ? "" : "ORDER BY " + order) + ") AS " + rank;
    if (block.topPercent)
        items += ", count(*) OVER () AS " + count;
    const std::string inner = withMoreSelectItems(blockSql, outputs, items, block.pos);
    const std::string n = topCount(*block.top, scope, block.topPercent);
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < outputs.size(); ++i)
        sql += (i ? ", " : "") + quoteIdent(outputs[i].sqlName);
    sql += " FROM " + paren(inner) + " WHERE ";
    sql += block.topPercent ? "(" + rank + " - 1) * 100.0 < " + n + " * " + count : rank + " <= " + n;
    return sql + " ORDER BY " + rank;
}

namespace {

// Where the call `name(` ... `)` ends in `sql`, from its start `at`
// (parentheses inside quoted text and names skipped); npos if unbalanced.
std::size_t callEnd(const std::string& sql, std::size_t at)
{
    int depth = 0;
    for (std::size_t i = at; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            const std::size_t close = sql.find(c, i + 1);
            if (close == std::string::npos)
                return std::string::npos;
            i = close;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return i + 1;
        }
    }
    return std::string::npos;
}

// Where the call of SQLite's function `fn` starts in `sql`: not part of a
// longer name.
std::size_t callStart(const std::string& sql, const std::string& fn)
{
    for (std::size_t at = sql.find(fn + "("); at != std::string::npos; at = sql.find(fn + "(", at + 1)) {
        const char before = at > 0 ? sql[at - 1] : ' ';
        if (!(std::isalnum(static_cast<unsigned char>(before)) || before == '_'))
            return at;
    }
    return std::string::npos;
}

}  // namespace

namespace {

// The first f(...) OVER (...) in an expression, not looking into subqueries.
const ast::Expr* windowCallIn(const ast::Expr& e)
{
    if (e.kind == ast::ExprKind::Function && e.over)
        return &e;
    for (const auto& a : e.args)
        if (const ast::Expr* w = a ? windowCallIn(*a) : nullptr)
            return w;
    for (const auto& [w, t] : e.whens) {
        if (const ast::Expr* found = w ? windowCallIn(*w) : nullptr)
            return found;
        if (const ast::Expr* found = t ? windowCallIn(*t) : nullptr)
            return found;
    }
    return e.elseExpr ? windowCallIn(*e.elseExpr) : nullptr;
}

void windowCallsIn(const ast::TableRef& ref, std::vector<const ast::Expr*>& out)
{
    if (ref.kind != ast::TableRef::Kind::Join)
        return;
    windowCallsIn(*ref.left, out);
    windowCallsIn(*ref.right, out);
    if (ref.on)
        out.push_back(windowCallIn(*ref.on));
}

}  // namespace

// Window functions belong to the select list and ORDER BY only (4108).
void Translator::Impl::refuseWindowsOutsideSelectList(const ast::QueryBlock& block)
{
    std::vector<const ast::Expr*> found;
    for (const auto& ref : block.from)
        windowCallsIn(*ref, found);
    for (const ast::Expr* e : {block.where.get(), block.having.get()})
        if (e)
            found.push_back(windowCallIn(*e));
    for (const auto& g : block.groupBy)
        found.push_back(windowCallIn(*g));
    for (const ast::Expr* w : found)
        if (w)
            fail(4108, "Windowed functions can only appear in the SELECT or ORDER BY clauses.", w->pos);
}

// ROW_NUMBER, RANK, DENSE_RANK, NTILE and the aggregates COUNT, SUM, AVG,
// MIN, MAX over a window: SQLite's own window functions, the aggregates
// typed and converted as without OVER.
TExpr Translator::Impl::windowFunction(const ast::Expr& e, Scope& scope)
{
    const std::string name = lowerAscii(e.text);
    std::string over;
    for (std::size_t i = 0; i < e.partitionBy.size(); ++i) {
        TExpr p = expr(*e.partitionBy[i], scope);
        over += (i ? ", " : "PARTITION BY ") + p.sql + (p.type.isText() ? " COLLATE vq_ci" : "");
    }
    for (std::size_t i = 0; i < e.overOrderBy.size(); ++i) {
        TExpr o = expr(*e.overOrderBy[i], scope);
        over += std::string(i ? ", " : over.empty() ? "ORDER BY " : " ORDER BY ") + o.sql +
                (o.type.isText() ? " COLLATE vq_ci" : "") + (e.overDescending[i] ? " DESC" : "");
    }
    over = " OVER (" + over + ")";
    const bool ranking = name == "row_number" || name == "rank" || name == "dense_rank" || name == "ntile";
    if (ranking) {
        std::string upper = e.text;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (e.overOrderBy.empty())
            fail(4112, "The ranking function \"" + upper + "\" must have an ORDER BY clause.", e.pos);
        const std::size_t arguments = name == "ntile" ? 1 : 0;
        if (e.args.size() != arguments || e.star)
            fail(174, "The " + name + " function requires " + std::to_string(arguments) + " argument(s).", e.pos);
        if (name == "ntile")
            return {"ntile(" + expr(*e.args[0], scope).sql + ")" + over, kBigInt};
        return {name + "()" + over, kBigInt};
    }
    if (!isAggregateName(name) || name == "grouping" || name.rfind("stdev", 0) == 0 || name.rfind("var", 0) == 0)
        unsupported("the window function " + e.text + " ... OVER", e.pos);
    if (!e.overOrderBy.empty())
        unsupported("ORDER BY in the OVER clause of an aggregate", e.pos);
    if (e.distinct)
        fail(10759, "Use of DISTINCT is not allowed with the OVER clause.", e.pos);
    windowedAggregate = &e;
    TExpr r = function(e, scope);
    windowedAggregate = nullptr;
    const std::string fn = name == "count_big" ? "count" : name;
    const std::size_t start = callStart(r.sql, fn);
    const std::size_t end = start == std::string::npos ? start : callEnd(r.sql, start);
    if (end == std::string::npos)
        unsupported("the window function " + e.text + " ... OVER", e.pos);
    r.sql.insert(end, over);
    return r;
}

Translation Translator::select(const ast::SelectStmt& s)
{
    Impl impl(catalog_, variables_, literalParameters_);
    const std::string with = impl.withClause(s);
    return queryTranslation(impl, with, impl.query(*s.query, nullptr, false));
}

}  // namespace vqsql
