// The parser's SELECT: set operators, select lists, table sources and joins, ORDER BY.
#include "parser_internal.h"

namespace vqsql::parsing {

// Whether the "(" at the current token opens a query: "(select" or
// "((select".
bool Parser::parenStartsQuery() const
{
    std::size_t i = 0;
    while (ahead(i).isOperator("("))
        ++i;
    return i > 0 && ahead(i).isKeyword("SELECT");
}

// A query expression: set operations over SELECT blocks, then ORDER BY
// for the whole. INTERSECT binds tighter than UNION and EXCEPT, which
// apply from left to right.
QueryPtr Parser::query()
{
    DepthGuard guard(*this);
    const Pos pos = cur().pos;
    QueryPtr q = intersectTerm();
    for (;;) {
        SetOp op;
        if (acceptKw("UNION"))
            op = acceptKw("ALL") ? SetOp::UnionAll : SetOp::Union;
        else if (acceptKw("EXCEPT"))
            op = SetOp::Except;
        else
            break;
        appendOperand(q, op, asOperand(intersectTerm()));
    }
    std::vector<OrderItem> orderBy;
    if (atKw("ORDER")) {
        next();
        expectKw("BY");
        orderBy = orderList();
    }
    // "(query)" alone is the query itself, unless both it and the
    // outside have an ORDER BY.
    if (q->blocks.size() == 1 && q->blocks[0]->nested &&
        (orderBy.empty() || q->blocks[0]->nested->orderBy.empty())) {
        QueryPtr inner = std::move(q->blocks[0]->nested);
        q = std::move(inner);
    }
    q->pos = pos;
    if (!orderBy.empty())
        q->orderBy = std::move(orderBy);
    return q;
}

// Operands joined by INTERSECT.
QueryPtr Parser::intersectTerm()
{
    auto q = std::make_unique<Query>();
    q->pos = cur().pos;
    q->blocks.push_back(queryOperand());
    while (acceptKw("INTERSECT"))
        appendOperand(q, SetOp::Intersect, queryOperand());
    return q;
}

// SELECT ... or "( query )".
std::unique_ptr<QueryBlock> Parser::queryOperand()
{
    if (atOp("(")) {
        next();
        QueryPtr inner = query();
        expectOp(")");
        return asOperand(std::move(inner));
    }
    if (!atKw("SELECT"))
        fail();
    return selectBlock();
}

// A query as one operand: its only block, or the query nested.
std::unique_ptr<QueryBlock> Parser::asOperand(QueryPtr q)
{
    if (q->blocks.size() == 1 && q->orderBy.empty())
        return std::move(q->blocks[0]);
    auto block = std::make_unique<QueryBlock>();
    block->pos = q->pos;
    block->nested = std::move(q);
    return block;
}

void Parser::appendOperand(QueryPtr& q, SetOp op, std::unique_ptr<QueryBlock> operand)
{
    // "(a op b) op c" is "a op b op c": the operators apply from left to right.
    if (q->blocks.size() == 1 && q->blocks[0]->nested && q->blocks[0]->nested->orderBy.empty()) {
        QueryPtr inner = std::move(q->blocks[0]->nested);
        q = std::move(inner);
    }
    if (q->blocks.size() >= kMaxFlatOperands) {
        const Pos pos = q->pos;
        auto outer = std::make_unique<Query>();
        outer->pos = pos;
        outer->blocks.push_back(asOperand(std::move(q)));
        q = std::move(outer);
    }
    q->ops.push_back(op);
    q->blocks.push_back(std::move(operand));
}

std::vector<OrderItem> Parser::orderList()
{
    std::vector<OrderItem> items;
    do {
        OrderItem item;
        item.expr = expr();
        if (acceptKw("DESC"))
            item.descending = true;
        else
            acceptKw("ASC");
        items.push_back(std::move(item));
    } while (acceptOp(","));
    return items;
}

// SELECT [DISTINCT | ALL] [TOP (n) [PERCENT]] item, ... [INTO table]
//     [FROM table sources] [WHERE condition] [GROUP BY expr, ...] [HAVING condition]
std::unique_ptr<QueryBlock> Parser::selectBlock()
{
    auto block = std::make_unique<QueryBlock>();
    block->pos = next().pos;  // SELECT
    if (acceptKw("DISTINCT"))
        block->distinct = true;
    else
        acceptKw("ALL");
    if (atKw("TOP")) {
        block->top = topClause(&block->topPercent);
        if (atKw("WITH") && ahead(1).isKeyword("TIES")) {
            next();
            next();
            block->topWithTies = true;
        }
    }
    do {
        block->items.push_back(selectItem());
    } while (acceptOp(","));
    if (acceptKw("INTO"))
        block->into = objectName();
    if (acceptKw("FROM"))
        block->from = tableSources();
    if (acceptKw("WHERE"))
        block->where = expr();
    if (atKw("GROUP")) {
        next();
        expectKw("BY");
        do {
            block->groupBy.push_back(expr());
        } while (acceptOp(","));
    }
    if (acceptKw("HAVING"))
        block->having = expr();
    return block;
}

// *, t.*, @v = expr, 'alias' = expr, alias = expr, expr [AS] alias.
SelectItem Parser::selectItem()
{
    SelectItem item;
    item.pos = cur().pos;
    const Token& t = cur();
    if (t.isOperator("*")) {
        next();
        item.expr = makeExpr(ExprKind::Star, t.pos);
        return item;
    }
    if (t.kind == TokenKind::Variable && ahead(1).isOperator("=")) {
        item.assignVariable = next().text;
        next();
        item.expr = expr();
        return item;
    }
    if ((t.kind == TokenKind::String || t.kind == TokenKind::NString || isName(t)) &&
        ahead(1).isOperator("=")) {
        item.alias = next().text;
        next();
        item.expr = expr();
        return item;
    }
    item.expr = expr();
    if (acceptKw("AS")) {
        const Token& a = cur();
        if (a.kind == TokenKind::String || a.kind == TokenKind::NString || isName(a))
            item.alias = next().text;
        else
            fail();
    } else if (cur().kind == TokenKind::String || isName(cur())) {
        item.alias = next().text;
    }
    return item;
}

std::vector<TableRefPtr> Parser::tableSources()
{
    std::vector<TableRefPtr> sources;
    do {
        sources.push_back(joinedTable());
    } while (acceptOp(","));
    return sources;
}

// source { [INNER] JOIN | LEFT/RIGHT/FULL [OUTER] JOIN source ON cond
//        | CROSS JOIN source }
TableRefPtr Parser::joinedTable()
{
    TableRefPtr left = tableSource();
    for (;;) {
        JoinType type;
        if (atKw("JOIN")) {
            type = JoinType::Inner;
        } else if (atKw("INNER")) {
            type = JoinType::Inner;
            next();
        } else if (atKw("LEFT") || atKw("RIGHT") || atKw("FULL")) {
            type = atKw("LEFT") ? JoinType::Left : atKw("RIGHT") ? JoinType::Right : JoinType::Full;
            next();
            acceptKw("OUTER");
        } else if (atKw("CROSS")) {
            type = JoinType::Cross;
            next();
        } else {
            break;
        }
        expectKw("JOIN");
        auto join = std::make_unique<TableRef>();
        join->kind = TableRef::Kind::Join;
        join->pos = left->pos;
        join->joinType = type;
        join->left = std::move(left);
        join->right = tableSource();
        if (type != JoinType::Cross) {
            expectKw("ON");
            join->on = expr();
        }
        left = std::move(join);
    }
    return left;
}

TableRefPtr Parser::tableSource()
{
    DepthGuard guard(*this);
    auto ref = std::make_unique<TableRef>();
    ref->pos = cur().pos;
    if (atOp("(")) {
        if (parenStartsQuery()) {
            next();
            ref->kind = TableRef::Kind::Derived;
            ref->query = query();
            expectOp(")");
            acceptKw("AS");
            ref->alias = name();
            return ref;
        }
        next();
        TableRefPtr inner = joinedTable();
        expectOp(")");
        return inner;
    }
    ref->kind = TableRef::Kind::Named;
    ref->name = objectName();
    tableHints();
    if (acceptKw("AS"))
        ref->alias = name();
    else if (isName(cur()))
        ref->alias = next().text;
    tableHints();
    return ref;
}

// Table hints are accepted and ignored: WITH (NOLOCK, ...) and the old
// form "(NOLOCK)" straight after the table.
void Parser::tableHints()
{
    if (atKw("WITH") && ahead(1).isOperator("(")) {
        next();
        skipParenthesised();
        return;
    }
    if (atOp("(") && ahead(1).kind == TokenKind::Identifier) {
        static const char* const hints[] = {
            "NOLOCK", "HOLDLOCK", "UPDLOCK", "ROWLOCK", "TABLOCK", "TABLOCKX", "PAGLOCK",
            "READPAST", "XLOCK", "NOWAIT", "READUNCOMMITTED", "READCOMMITTED",
            "REPEATABLEREAD", "SERIALIZABLE", "INDEX"};
        for (const char* h : hints) {
            if (ahead(1).isKeyword(h)) {
                skipParenthesised();
                return;
            }
        }
    }
}

}  // namespace vqsql::parsing
