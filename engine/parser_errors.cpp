// The parser's error handling statements: TRY ... CATCH, RAISERROR,
// WAITFOR and SAVE TRANSACTION.
#include "parser_internal.h"

namespace vqsql::parsing {

// BEGIN TRY statements END TRY BEGIN CATCH [statements] END CATCH; BEGIN
// is already consumed and TRY is the current token.
StmtPtr Parser::tryCatchStatement()
{
    next();
    auto s = std::make_unique<TryCatchStmt>();
    s->tryBody = statementsUntilEnd("TRY");
    if (s->tryBody.empty())
        fail();   // "BEGIN TRY END TRY" is refused as SQL Server does
    // The CATCH block must follow at once.
    expectKw("BEGIN");
    expectKw("CATCH");
    s->catchBody = statementsUntilEnd("CATCH");
    return s;
}

// Statements up to END <closing>, which is consumed.
std::vector<StmtPtr> Parser::statementsUntilEnd(const char* closing)
{
    std::vector<StmtPtr> body;
    for (;;) {
        while (acceptOp(";")) {
        }
        if (atKw("END") && ahead(1).isKeyword(closing)) {
            next();
            next();
            return body;
        }
        if (cur().kind == TokenKind::End)
            fail();
        body.push_back(statement(false));
    }
}

// RAISERROR ( msg_id | msg_str | @variable, severity, state [, argument ...] )
//     [ WITH LOG | NOWAIT | SETERROR [, ...] ]
// and the old form RAISERROR msg_id 'text'.
StmtPtr Parser::raiserrorStatement()
{
    next();
    auto s = std::make_unique<RaiserrorStmt>();
    if (acceptOp("(")) {
        s->message = expr();
        expectOp(",");
        s->severity = expr();
        expectOp(",");
        s->state = expr();
        while (acceptOp(","))
            s->args.push_back(expr());
        expectOp(")");
    } else {
        const Token& id = cur();
        if (id.kind == TokenKind::Integer) {
            s->message = makeLiteral(next());
        } else if (id.kind == TokenKind::Variable) {
            s->message = makeExpr(ExprKind::Variable, id.pos);
            s->message->text = next().text;
        } else {
            fail();
        }
        const Token& text = cur();
        if (text.kind == TokenKind::String || text.kind == TokenKind::NString) {
            s->legacyText = makeLiteral(next());
        } else if (text.kind == TokenKind::Variable) {
            s->legacyText = makeExpr(ExprKind::Variable, text.pos);
            s->legacyText->text = next().text;
        } else {
            fail();
        }
    }
    if (atKw("WITH") && (ahead(1).isKeyword("LOG") || ahead(1).isKeyword("NOWAIT") || ahead(1).isKeyword("SETERROR"))) {
        next();
        do {
            if (acceptKw("LOG"))
                s->withLog = true;
            else if (acceptKw("NOWAIT"))
                s->withNowait = true;
            else if (acceptKw("SETERROR"))
                s->withSetError = true;
            else
                fail();
        } while (acceptOp(","));
    }
    return s;
}

// WAITFOR DELAY 'time' | WAITFOR TIME 'time', the time a string or a
// variable. Waiting for Service Broker messages stays unsupported.
StmtPtr Parser::waitforStatement()
{
    const Token& waitfor = next();
    auto s = std::make_unique<WaitForStmt>();
    if (acceptKw("DELAY"))
        s->delay = true;
    else if (acceptKw("TIME"))
        s->delay = false;
    else if (atOp("("))
        unsupportedAt(waitfor, "WAITFOR (RECEIVE ...)");
    else
        fail();
    const Token& t = cur();
    if (t.kind == TokenKind::String || t.kind == TokenKind::NString) {
        s->time = makeLiteral(next());
    } else if (t.kind == TokenKind::Variable) {
        s->time = makeExpr(ExprKind::Variable, t.pos);
        s->time->text = next().text;
    } else {
        fail();
    }
    return s;
}

// SAVE TRAN[SACTION] { savepoint_name | @variable }
StmtPtr Parser::saveTransactionStatement()
{
    next();
    next();
    auto s = std::make_unique<SimpleStmt>(StmtKind::SaveTran);
    s->name = transactionName();
    if (s->name.empty())
        fail();
    return s;
}

}  // namespace vqsql::parsing
