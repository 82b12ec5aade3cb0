// The parser's CREATE and ALTER PROCEDURE, and the parameter declaration
// lists that procedures and sp_executesql share.
#include "parser.h"

#include "parser_internal.h"

namespace vqsql::parsing {

// { CREATE | ALTER } PROC[EDURE] name [;number]
//     [(] @p type [VARYING] [= default] [OUT[PUT]] [READONLY], ... [)]
//     [WITH option, ...] [FOR REPLICATION] AS statements to the end of the batch
// CREATE or ALTER is consumed; the current token is PROC or PROCEDURE.
StmtPtr Parser::createProcedure(bool alter)
{
    next();
    auto s = std::make_unique<CreateProcedureStmt>();
    s->alter = alter;
    s->procedure = objectName();
    if (s->procedure.parts.size() > 3)
        fail();
    if (acceptOp(";"))
        unsupportedAt(at(p_ - 1), "numbered procedures (;number)");
    const bool parenthesised = acceptOp("(");
    if (cur().kind == TokenKind::Variable)
        s->parameters = procedureParameters();
    if (parenthesised)
        expectOp(")");
    if (acceptKw("WITH")) {
        do {
            if (acceptKw("EXECUTE") || acceptKw("EXEC")) {
                expectKw("AS");
                nameOrString();   // CALLER, SELF, OWNER or a user: the engine runs every procedure as its caller
            } else if (!acceptKw("RECOMPILE") && !acceptKw("ENCRYPTION")) {
                fail();
            }
        } while (acceptOp(","));
    }
    if (acceptKw("FOR"))
        expectKw("REPLICATION");
    expectKw("AS");
    for (;;) {
        while (acceptOp(";")) {
        }
        if (cur().kind == TokenKind::End)
            break;
        s->body.push_back(statement(false));
    }
    return s;
}

// @p type [VARYING] [= default] [OUT | OUTPUT] [READONLY], ...
std::vector<ProcedureParameter> Parser::procedureParameters()
{
    std::vector<ProcedureParameter> out;
    do {
        ProcedureParameter p;
        p.pos = cur().pos;
        if (cur().kind != TokenKind::Variable)
            fail();
        p.name = next().text;
        acceptKw("AS");
        if (atKw("CURSOR"))
            unsupportedAt(cur(), "cursor parameters");
        p.type = typeName();
        acceptKw("VARYING");
        if (acceptOp("=")) {
            const Token& t = cur();
            if (t.isKeyword("NULL")) {
                p.defaultValue = makeExpr(ExprKind::Literal, t.pos);
                next();
            } else if ((t.isOperator("-") || t.isOperator("+")) && isLiteralToken(ahead(1))) {
                auto u = makeExpr(ExprKind::Unary, t.pos);
                u->op = next().text;
                u->args.push_back(makeLiteral(next()));
                p.defaultValue = std::move(u);
            } else if (isLiteralToken(t)) {
                p.defaultValue = makeLiteral(next());
            } else if (isName(t)) {
                // A bare word is a string, as in an EXEC argument.
                p.defaultValue = makeExpr(ExprKind::Literal, t.pos);
                p.defaultValue->litKind = LiteralKind::String;
                p.defaultValue->text = next().text;
            } else {
                fail();
            }
        }
        if (acceptKw("OUTPUT") || acceptKw("OUT"))
            p.output = true;
        if (acceptKw("READONLY"))
            unsupportedAt(at(p_ - 1), "READONLY parameters");
        out.push_back(std::move(p));
    } while (acceptOp(","));
    return out;
}

// A whole text that is only a parameter declaration list (sp_executesql's
// @params); an empty text declares nothing.
std::vector<ProcedureParameter> Parser::parameterList()
{
    std::vector<ProcedureParameter> out;
    if (cur().kind != TokenKind::End)
        out = procedureParameters();
    if (cur().kind != TokenKind::End)
        fail();
    return out;
}

}  // namespace vqsql::parsing

namespace vqsql {

std::vector<ast::ProcedureParameter> parseParameterList(const std::string& text)
{
    return parsing::Parser(text).parameterList();
}

}  // namespace vqsql
