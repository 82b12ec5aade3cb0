// The parser's WITH clause (common table expressions) and the OPTION
// clause at the end of a query or data statement.
#include "parser_internal.h"

namespace vqsql::parsing {

namespace {

// SQL Server's limit on OPTION (MAXRECURSION n).
constexpr long long kMaxRecursionLimit = 32767;

}  // namespace

// WITH a [(columns)] AS (query) [, b ...] followed by SELECT, INSERT,
// UPDATE or DELETE. WITH also ends table hints and other clauses, so SQL
// Server insists that a statement before it ends with a semicolon.
StmtPtr Parser::withStatement()
{
    const Token& with = cur();
    if (ahead(1).isKeyword("XMLNAMESPACES"))
        unsupportedAt(with, "WITH XMLNAMESPACES");
    if (p_ > 0) {
        const Token& before = at(p_ - 1);
        if (!before.isOperator(";") && !before.isKeyword("BEGIN") && !before.isKeyword("AS"))
            throw SqlException(319,
                               "Incorrect syntax near the keyword 'with'. If this statement is a common table "
                               "expression, an xmlnamespaces clause or a change tracking context clause, the "
                               "previous statement must be terminated with a semicolon.",
                               with.pos.line, kSyntaxSeverity);
    }
    next();
    std::vector<CommonTableExpr> ctes;
    do {
        ctes.push_back(commonTableExpr());
    } while (acceptOp(","));
    StmtPtr s;
    const Token& t = cur();
    if (t.isKeyword("SELECT") || t.isOperator("(")) {
        auto select = std::make_unique<SelectStmt>();
        select->query = query();
        s = std::move(select);
    } else if (t.isKeyword("INSERT")) {
        s = insertStatement();
    } else if (t.isKeyword("UPDATE")) {
        s = updateStatement();
    } else if (t.isKeyword("DELETE")) {
        s = deleteStatement();
    } else if (t.isKeyword("MERGE")) {
        unsupportedAt(t, "MERGE");
    } else {
        fail();
    }
    s->with = std::move(ctes);
    return s;
}

// name [(column, ...)] AS (query)
CommonTableExpr Parser::commonTableExpr()
{
    CommonTableExpr c;
    c.pos = cur().pos;
    c.name = name();
    if (atOp("("))
        c.columns = nameList();
    expectKw("AS");
    expectOp("(");
    c.query = query();
    expectOp(")");
    return c;
}

// OPTION (hint, ...). MAXRECURSION n limits recursive common table
// expressions; the other query hints (FORCE ORDER, RECOMPILE, MAXDOP n,
// FAST n, HASH JOIN, OPTIMIZE FOR (...) ...) only steer SQL Server's plan
// and are read and ignored.
void Parser::queryOptions(ast::Stmt& s)
{
    next();   // OPTION
    expectOp("(");
    do {
        const Token& hint = cur();
        if (hint.kind != TokenKind::Identifier)
            fail();
        if (hint.isKeyword("MAXRECURSION")) {
            next();
            if (cur().kind != TokenKind::Integer)
                fail();
            const Token& n = next();
            const long long value = n.text.size() > 9 ? kMaxRecursionLimit + 1 : std::atoll(n.text.c_str());
            if (value > kMaxRecursionLimit)
                throw SqlException(310,
                                   "The value " + n.text + " specified for the MAXRECURSION option exceeds the "
                                       "allowed maximum of " + std::to_string(kMaxRecursionLimit) + ".",
                                   n.pos.line, kSyntaxSeverity);
            s.maxRecursion = static_cast<int>(value);
            continue;
        }
        // Any other hint: its words, numbers and parenthesised parts.
        while (!atOp(",") && !atOp(")")) {
            if (cur().kind == TokenKind::End)
                fail();
            if (atOp("("))
                skipParenthesised();
            else
                next();
        }
    } while (acceptOp(","));
    expectOp(")");
}

// f(...) OVER ([PARTITION BY expr, ...] [ORDER BY expr [ASC|DESC], ...]):
// the ranking functions and the aggregates over a window.
void Parser::windowClause(Expr& e)
{
    if (!atKw("OVER"))
        return;
    next();
    expectOp("(");
    if (atKw("PARTITION")) {
        next();
        expectKw("BY");
        do {
            e.partitionBy.push_back(expr());
        } while (acceptOp(","));
    }
    if (atKw("ORDER")) {
        next();
        expectKw("BY");
        do {
            e.overOrderBy.push_back(expr());
            const bool descending = acceptKw("DESC");
            if (!descending)
                acceptKw("ASC");
            e.overDescending.push_back(descending);
        } while (acceptOp(","));
    }
    expectOp(")");
    e.over = true;
}

}  // namespace vqsql::parsing
