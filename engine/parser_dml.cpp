// The parser's INSERT, UPDATE, DELETE and TRUNCATE TABLE.
#include "parser_internal.h"

namespace vqsql::parsing {

// TOP n / TOP (expr) [PERCENT]; the caller has seen TOP.
ExprPtr Parser::topClause(bool* percent)
{
    next();
    ExprPtr top;
    if (acceptOp("(")) {
        top = expr();
        expectOp(")");
    } else if (isLiteralToken(cur()) || cur().kind == TokenKind::Variable) {
        top = primary();
    } else {
        fail();
    }
    if (acceptKw("PERCENT")) {
        if (percent == nullptr)
            fail();
        *percent = true;
    }
    return top;
}

// INSERT [INTO] table [hints] [(column, ...)]
//     { VALUES (expr | DEFAULT, ...) [, (...)] | DEFAULT VALUES | query }
StmtPtr Parser::insertStatement()
{
    next();
    auto s = std::make_unique<InsertStmt>();
    if (atKw("TOP"))
        s->top = topClause(nullptr);
    acceptKw("INTO");
    s->table = objectName();
    tableHints();
    if (atOp("(") && !parenStartsQuery()) {
        next();
        do {
            s->columns.push_back(objectName().last());
        } while (acceptOp(","));
        expectOp(")");
    }
    if (acceptKw("VALUES")) {
        do {
            expectOp("(");
            std::vector<ExprPtr> row;
            do {
                if (acceptKw("DEFAULT"))
                    row.push_back(nullptr);
                else
                    row.push_back(expr());
            } while (acceptOp(","));
            expectOp(")");
            s->values.push_back(std::move(row));
        } while (acceptOp(","));
    } else if (atKw("DEFAULT")) {
        next();
        expectKw("VALUES");
        s->defaultValues = true;
    } else if (atKw("SELECT") || atOp("(")) {
        s->query = query();
    } else {
        fail();
    }
    return s;
}

// col = expr, t.col = expr, @v = expr, col = DEFAULT; the compound forms
// "col += expr" become "col = col + expr".
Assignment Parser::assignment()
{
    Assignment a;
    ExprPtr target;
    if (cur().kind == TokenKind::Variable) {
        target = makeExpr(ExprKind::Variable, cur().pos);
        target->text = cur().text;
        a.variable = next().text;
    } else {
        a.column = objectName();
        target = makeExpr(ExprKind::Column, a.column.pos);
        target->name = a.column;
    }
    const Token& op = cur();
    if (op.isOperator("=")) {
        next();
        if (acceptKw("DEFAULT"))
            return a;
        a.value = expr();
    } else if (isCompoundAssignment(op)) {
        const std::string bin = op.text.substr(0, 1);
        next();
        a.value = makeBinary(ExprKind::Binary, bin, std::move(target), expr());
    } else {
        fail();
    }
    return a;
}

// UPDATE [TOP (n)] table [hints] SET assignment, ...
//     [FROM table sources] [WHERE condition]
StmtPtr Parser::updateStatement()
{
    next();
    auto s = std::make_unique<UpdateStmt>();
    if (atKw("TOP"))
        s->top = topClause(nullptr);
    s->table = objectName();
    tableHints();
    expectKw("SET");
    do {
        s->assignments.push_back(assignment());
    } while (acceptOp(","));
    if (acceptKw("FROM"))
        s->from = tableSources();
    if (acceptKw("WHERE") && !currentOfClause(s->currentOf))
        s->where = expr();
    return s;
}

// DELETE [TOP (n)] [FROM] table [hints] [FROM table sources] [WHERE condition]
StmtPtr Parser::deleteStatement()
{
    next();
    auto s = std::make_unique<DeleteStmt>();
    if (atKw("TOP"))
        s->top = topClause(nullptr);
    acceptKw("FROM");
    s->table = objectName();
    tableHints();
    if (acceptKw("FROM"))
        s->from = tableSources();
    if (acceptKw("WHERE") && !currentOfClause(s->currentOf))
        s->where = expr();
    return s;
}

// TRUNCATE TABLE table
StmtPtr Parser::truncateStatement()
{
    next();
    expectKw("TABLE");
    auto s = std::make_unique<TruncateStmt>();
    s->table = objectName();
    return s;
}

}  // namespace vqsql::parsing
