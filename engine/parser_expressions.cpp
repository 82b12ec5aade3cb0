// The parser's expressions, by precedence from OR down to primaries, and
// the special forms (CAST, CONVERT, CASE).
#include "parser_internal.h"

namespace vqsql::parsing {

ExprPtr Parser::expr()
{
    DepthGuard guard(*this);
    return orExpr();
}

ExprPtr Parser::orExpr()
{
    ExprPtr left = andExpr();
    ChainGuard chain(*this);
    while (atKw("OR")) {
        chain.link();
        next();
        left = makeBinary(ExprKind::Or, "", std::move(left), andExpr());
    }
    return left;
}

ExprPtr Parser::andExpr()
{
    ExprPtr left = notExpr();
    ChainGuard chain(*this);
    while (atKw("AND")) {
        chain.link();
        next();
        left = makeBinary(ExprKind::And, "", std::move(left), notExpr());
    }
    return left;
}

ExprPtr Parser::notExpr()
{
    if (!atKw("NOT"))
        return predicate();
    DepthGuard guard(*this);
    auto e = makeExpr(ExprKind::Not, next().pos);
    e->args.push_back(notExpr());
    return e;
}

// additive [ comparison additive | [NOT] LIKE | [NOT] BETWEEN | [NOT] IN
// | IS [NOT] NULL ]
ExprPtr Parser::predicate()
{
    ExprPtr left = additive();
    if (const char* op = comparisonOp(cur())) {
        next();
        return makeBinary(ExprKind::Compare, op, std::move(left), additive());
    }
    bool negated = false;
    if (atKw("NOT") &&
        (ahead(1).isKeyword("LIKE") || ahead(1).isKeyword("BETWEEN") || ahead(1).isKeyword("IN"))) {
        next();
        negated = true;
    }
    if (acceptKw("LIKE")) {
        ExprPtr e = makeBinary(ExprKind::Like, "", std::move(left), additive());
        if (acceptKw("ESCAPE"))
            e->args.push_back(additive());
        e->negated = negated;
        return e;
    }
    if (acceptKw("BETWEEN")) {
        ExprPtr e = makeBinary(ExprKind::Between, "", std::move(left), additive());
        expectKw("AND");
        e->args.push_back(additive());
        e->negated = negated;
        return e;
    }
    if (acceptKw("IN")) {
        expectOp("(");
        ExprPtr e;
        if (atKw("SELECT")) {
            e = makeExpr(ExprKind::InSubquery, left->pos);
            e->args.push_back(std::move(left));
            e->query = query();
        } else {
            e = makeExpr(ExprKind::InList, left->pos);
            e->args.push_back(std::move(left));
            do {
                e->args.push_back(expr());
            } while (acceptOp(","));
        }
        expectOp(")");
        e->negated = negated;
        return e;
    }
    if (negated)
        fail();
    if (acceptKw("IS")) {
        auto e = makeExpr(ExprKind::IsNull, left->pos);
        e->negated = acceptKw("NOT");
        expectKw("NULL");
        e->args.push_back(std::move(left));
        return e;
    }
    return left;
}

ExprPtr Parser::additive()
{
    ExprPtr left = multiplicative();
    ChainGuard chain(*this);
    for (;;) {
        const Token& t = cur();
        if (t.kind != TokenKind::Operator ||
            (t.text != "+" && t.text != "-" && t.text != "&" && t.text != "^" && t.text != "|"))
            return left;
        chain.link();
        const std::string op = next().text;
        left = makeBinary(ExprKind::Binary, op, std::move(left), multiplicative());
    }
}

ExprPtr Parser::multiplicative()
{
    ExprPtr left = unary();
    ChainGuard chain(*this);
    for (;;) {
        const Token& t = cur();
        if (t.kind != TokenKind::Operator || (t.text != "*" && t.text != "/" && t.text != "%"))
            return left;
        chain.link();
        const std::string op = next().text;
        left = makeBinary(ExprKind::Binary, op, std::move(left), unary());
    }
}

ExprPtr Parser::unary()
{
    const Token& t = cur();
    if (t.isOperator("-") || t.isOperator("+") || t.isOperator("~")) {
        DepthGuard guard(*this);
        auto e = makeExpr(ExprKind::Unary, t.pos);
        e->op = next().text;
        e->args.push_back(unary());
        return e;
    }
    return primary();
}

ExprPtr Parser::primary()
{
    const Token& t = cur();
    if (isLiteralToken(t))
        return makeLiteral(next());
    switch (t.kind) {
    case TokenKind::Variable:
    case TokenKind::SysVariable: {
        auto e = makeExpr(t.kind == TokenKind::Variable ? ExprKind::Variable : ExprKind::SysVariable, t.pos);
        e->text = next().text;
        return e;
    }
    case TokenKind::Operator:
        if (t.text == "(") {
            next();
            if (atKw("SELECT")) {
                auto e = makeExpr(ExprKind::Subquery, t.pos);
                e->query = query();
                expectOp(")");
                return e;
            }
            ExprPtr inner = expr();
            expectOp(")");
            return inner;
        }
        fail();
    case TokenKind::QuotedIdentifier:
        return nameExpression();
    case TokenKind::Identifier:
        break;
    default:
        fail();
    }
    if (!isReservedToken(t)) {
        if (t.isKeyword("CAST") && ahead(1).isOperator("("))
            return castExpression();
        return nameExpression();
    }
    if (t.isKeyword("NULL")) {
        auto e = makeExpr(ExprKind::Literal, t.pos);
        next();
        return e;
    }
    if (t.isKeyword("CASE"))
        return caseExpression();
    if (t.isKeyword("CONVERT") && ahead(1).isOperator("("))
        return convertExpression();
    if (t.isKeyword("IDENTITY") && ahead(1).isOperator("(")) {
        // IDENTITY(type [, seed, increment]) of SELECT ... INTO
        auto e = makeExpr(ExprKind::Function, t.pos);
        e->text = next().text;
        e->name.pos = t.pos;
        e->name.parts.push_back(e->text);
        expectOp("(");
        e->type = typeName();
        if (acceptOp(",")) {
            e->args.push_back(expr());
            expectOp(",");
            e->args.push_back(expr());
        }
        expectOp(")");
        return e;
    }
    if (t.isKeyword("EXISTS")) {
        auto e = makeExpr(ExprKind::Exists, next().pos);
        expectOp("(");
        e->query = query();
        expectOp(")");
        return e;
    }
    if ((t.isKeyword("LEFT") || t.isKeyword("RIGHT") || t.isKeyword("COALESCE") ||
         t.isKeyword("NULLIF")) &&
        ahead(1).isOperator("(")) {
        ObjectName n;
        n.pos = t.pos;
        n.parts.push_back(next().text);
        return functionCall(std::move(n));
    }
    if (t.isKeyword("CURRENT_TIMESTAMP") || t.isKeyword("CURRENT_USER") ||
        t.isKeyword("SESSION_USER") || t.isKeyword("SYSTEM_USER") || t.isKeyword("USER")) {
        auto e = makeExpr(ExprKind::Function, t.pos);
        e->text = t.text;
        e->name.pos = t.pos;
        e->name.parts.push_back(t.text);
        next();
        return e;
    }
    fail();
}

// A column "c", "t.c", "db.dbo.t.c", a qualified star "t.*", or a call
// "f(...)", "dbo.f(...)".
ExprPtr Parser::nameExpression()
{
    ObjectName n;
    n.pos = cur().pos;
    n.parts.push_back(next().text);
    while (atOp(".")) {
        next();
        while (atOp(".")) {
            n.parts.emplace_back();
            next();
        }
        if (atOp("*")) {
            next();
            auto e = makeExpr(ExprKind::Star, n.pos);
            e->name = std::move(n);
            return e;
        }
        n.parts.push_back(namePartAfterDot());
    }
    if (n.parts.size() > 5)
        fail();
    if (atOp("("))
        return functionCall(std::move(n));
    auto e = makeExpr(ExprKind::Column, n.pos);
    e->name = std::move(n);
    return e;
}

// name(args), count(*), aggregate(DISTINCT x); text is the name as
// written, parts joined with ".".
ExprPtr Parser::functionCall(ObjectName n)
{
    if (n.parts.size() == 1 && !isBuiltinFunctionName(toUpper(n.parts[0]))) {
        throw SqlException(195, "'" + n.parts[0] + "' is not a recognized built-in function name.", n.pos.line,
                           kSyntaxSeverity);
    }
    auto e = makeExpr(ExprKind::Function, n.pos);
    e->text = n.toString();
    e->name = std::move(n);
    expectOp("(");
    if (acceptOp(")")) {
        windowClause(*e);
        return e;
    }
    if (atOp("*") && ahead(1).isOperator(")")) {
        next();
        next();
        e->star = true;
        windowClause(*e);
        return e;
    }
    if (acceptKw("DISTINCT"))
        e->distinct = true;
    else
        acceptKw("ALL");
    do {
        e->args.push_back(expr());
    } while (acceptOp(","));
    expectOp(")");
    windowClause(*e);
    return e;
}

// CAST(expr AS type)
ExprPtr Parser::castExpression()
{
    auto e = makeExpr(ExprKind::Cast, next().pos);
    expectOp("(");
    e->args.push_back(expr());
    expectKw("AS");
    e->type = typeName();
    expectOp(")");
    return e;
}

// CONVERT(type, expr [, style])
ExprPtr Parser::convertExpression()
{
    auto e = makeExpr(ExprKind::Convert, next().pos);
    expectOp("(");
    e->type = typeName();
    expectOp(",");
    e->args.push_back(expr());
    if (acceptOp(","))
        e->args.push_back(expr());
    expectOp(")");
    return e;
}

// CASE [operand] WHEN expr THEN expr ... [ELSE expr] END
ExprPtr Parser::caseExpression()
{
    DepthGuard guard(*this);
    auto e = makeExpr(ExprKind::Case, next().pos);
    if (!atKw("WHEN")) {
        e->hasOperand = true;
        e->args.push_back(expr());
    }
    if (!atKw("WHEN"))
        fail();
    while (acceptKw("WHEN")) {
        ExprPtr when = expr();
        expectKw("THEN");
        ExprPtr then = expr();
        e->whens.emplace_back(std::move(when), std::move(then));
    }
    if (acceptKw("ELSE"))
        e->elseExpr = expr();
    expectKw("END");
    return e;
}

}  // namespace vqsql::parsing
