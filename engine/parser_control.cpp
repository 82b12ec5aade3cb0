// The parser's DECLARE, SET, IF, WHILE, BEGIN ... END, transactions, RETURN and EXEC.
#include "parser_internal.h"

namespace vqsql::parsing {

// DECLARE @name [AS] type [= expr], ...
StmtPtr Parser::declareStatement()
{
    next();
    auto s = std::make_unique<DeclareStmt>();
    do {
        VariableDecl v;
        v.pos = cur().pos;
        if (isName(cur()) && s->variables.empty() &&
            (ahead(1).isKeyword("CURSOR") || ahead(1).isKeyword("INSENSITIVE") || ahead(1).isKeyword("SCROLL")))
            return declareCursorStatement();
        if (cur().kind != TokenKind::Variable)
            fail();
        v.name = next().text;
        acceptKw("AS");
        if (atKw("CURSOR")) {
            // A cursor variable: its type is kept as the word CURSOR.
            v.type.pos = cur().pos;
            v.type.name = next().text;
            s->variables.push_back(std::move(v));
            continue;
        }
        if (atKw("TABLE"))
            unsupportedAt(cur(), "table variables (DECLARE @v TABLE)");
        v.type = typeName();
        if (acceptOp("="))
            v.init = expr();
        s->variables.push_back(std::move(v));
    } while (acceptOp(","));
    return s;
}

// SET @variable { = | += | -= | *= | /= | %= | &= | |= | ^= } expr
// SET option value, e.g. SET NOCOUNT ON, SET TRANSACTION ISOLATION LEVEL ...
StmtPtr Parser::setStatement()
{
    const Pos setPos = next().pos;
    if (cur().kind == TokenKind::Variable) {
        auto s = std::make_unique<SetVariableStmt>();
        s->variable = next().text;
        const Token& op = cur();
        if (op.isOperator("=") && ahead(1).isKeyword("CURSOR")) {
            next();
            return cursorAssignment(s->variable);
        }
        if (!op.isOperator("=") && !isCompoundAssignment(op))
            fail();
        const Pos opPos = op.pos;
        s->op = next().text;
        s->value = expr();
        if (s->op != "=") {
            // SET @v += x runs as SET @v = @v + (x): the translator types
            // and converts it as the plain operator (+ concatenates text).
            auto target = makeExpr(ExprKind::Variable, opPos);
            target->text = s->variable;
            s->value = makeBinary(ExprKind::Binary, s->op.substr(0, 1), std::move(target), std::move(s->value));
        }
        return s;
    }
    if (cur().kind != TokenKind::Identifier)
        fail();
    if (atKw("TRANSACTION")) {
        // SET TRANSACTION ISOLATION LEVEL READ COMMITTED
        next();
        expectKw("ISOLATION");
        expectKw("LEVEL");
        auto s = std::make_unique<SetOptionStmt>();
        s->option = "TRANSACTION ISOLATION LEVEL";
        // The level as written: READ UNCOMMITTED, READ COMMITTED,
        // REPEATABLE READ, SNAPSHOT or SERIALIZABLE.
        std::string value;
        if (atKw("READ")) {
            value = next().text;
            if (!atKw("COMMITTED") && !atKw("UNCOMMITTED"))
                fail();
            value += " " + next().text;
        } else if (atKw("REPEATABLE")) {
            value = next().text;
            if (!atKw("READ"))
                fail();
            value += " " + next().text;
        } else if (atKw("SNAPSHOT") || atKw("SERIALIZABLE")) {
            value = next().text;
        } else {
            fail();
        }
        s->value = value;
        return s;
    }
    if (atKw("IDENTITY_INSERT")) {
        auto s = std::make_unique<SetOptionStmt>();
        s->option = toUpper(next().text);
        s->table = objectName();
        if (!atKw("ON") && !atKw("OFF"))
            fail();
        s->value = next().text;
        return s;
    }
    // One option with a value, or several ON/OFF options: SET A, B ON.
    std::vector<std::string> names;
    do {
        if (cur().kind != TokenKind::Identifier)
            fail();
        const Token& nameToken = next();
        names.push_back(toUpper(nameToken.text));
        if (names.back() == "STATISTICS") {
            if (cur().kind != TokenKind::Identifier)
                fail();
            names.back() += " " + toUpper(next().text);
        }
        if (!isKnownSetOption(names.back()))
            throw SqlException(195, "'" + nameToken.text + "' is not a recognized SET option.",
                               nameToken.pos.line, kSyntaxSeverity);
    } while (acceptOp(","));
    std::string value;
    const Token& v = cur();
    if (v.isOperator("-") && (ahead(1).kind == TokenKind::Integer)) {
        next();
        value = "-" + next().text;
    } else if (v.kind == TokenKind::Identifier || v.kind == TokenKind::QuotedIdentifier ||
               v.kind == TokenKind::String || v.kind == TokenKind::NString ||
               v.kind == TokenKind::Integer || v.kind == TokenKind::Variable || v.kind == TokenKind::Binary) {
        if (v.kind == TokenKind::Identifier && startsStatementOrBlockEnd(v))
            fail();
        value = next().text;
    } else {
        fail();
    }
    // QUOTED_IDENTIFIER takes effect while the batch is parsed.
    for (const std::string& n : names)
        if (n == "QUOTED_IDENTIFIER")
            applyQuotedIdentifier(equalsIgnoreCase(value, "ON"));
    if (names.size() == 1) {
        auto s = std::make_unique<SetOptionStmt>();
        s->option = names.front();
        s->value = value;
        return s;
    }
    auto block = std::make_unique<BlockStmt>();
    for (const std::string& n : names) {
        auto s = std::make_unique<SetOptionStmt>();
        s->option = n;
        s->value = value;
        s->pos = setPos;
        s->endOffset = lastEnd();
        block->body.push_back(std::move(s));
    }
    return block;
}

// IF condition statement [ELSE statement]
StmtPtr Parser::ifStatement()
{
    next();
    auto s = std::make_unique<IfStmt>();
    s->condition = expr();
    s->thenStmt = nestedStatement();
    if (acceptKw("ELSE"))
        s->elseStmt = nestedStatement();
    return s;
}

// WHILE condition statement
StmtPtr Parser::whileStatement()
{
    next();
    auto s = std::make_unique<WhileStmt>();
    s->condition = expr();
    s->body = nestedStatement();
    return s;
}

// BEGIN TRAN[SACTION] [name] starts a transaction; BEGIN alone a block.
StmtPtr Parser::beginStatement()
{
    next();
    if (atKw("TRAN") || atKw("TRANSACTION")) {
        next();
        auto s = std::make_unique<SimpleStmt>(StmtKind::BeginTran);
        s->name = transactionName();
        return s;
    }
    if (atKw("TRY"))
        return tryCatchStatement();
    if (atKw("CATCH"))
        failAt(cur());   // a CATCH block without its TRY block
    if (atKw("DISTRIBUTED"))
        unsupportedAt(at(p_ - 1), "distributed transactions");
    auto block = std::make_unique<BlockStmt>();
    for (;;) {
        while (acceptOp(";")) {
        }
        if (atKw("END"))
            break;
        if (cur().kind == TokenKind::End)
            fail();
        block->body.push_back(statement(false));
    }
    if (block->body.empty())
        fail();  // "BEGIN END" is an error in SQL Server too
    next();
    return block;
}

std::string Parser::transactionName()
{
    if (cur().kind == TokenKind::Variable || isName(cur()))
        return next().text;
    return {};
}

// { COMMIT | ROLLBACK } [ TRAN[SACTION] [name] | WORK ]
StmtPtr Parser::endTransaction(StmtKind kind)
{
    next();
    auto s = std::make_unique<SimpleStmt>(kind);
    if (atKw("TRAN") || atKw("TRANSACTION")) {
        next();
        s->name = transactionName();
    } else {
        acceptKw("WORK");
    }
    return s;
}

// RETURN [expr]
StmtPtr Parser::returnStatement()
{
    next();
    auto s = std::make_unique<ReturnStmt>();
    if (startsExpression(cur()))
        s->value = expr();
    return s;
}

// Whether t can begin an expression (RETURN's value is optional).
bool Parser::startsExpression(const Token& t)
{
    if (isLiteralToken(t) || t.kind == TokenKind::Variable ||
        t.kind == TokenKind::SysVariable || t.kind == TokenKind::QuotedIdentifier)
        return true;
    if (t.kind == TokenKind::Operator)
        return t.text == "(" || t.text == "-" || t.text == "+" || t.text == "~";
    if (t.kind != TokenKind::Identifier)
        return false;
    if (!isReservedToken(t))
        return true;
    static const char* const starters[] = {
        "NULL", "CASE", "CONVERT", "EXISTS", "NOT", "LEFT", "RIGHT", "COALESCE", "NULLIF",
        "CURRENT_TIMESTAMP", "CURRENT_USER", "SESSION_USER", "SYSTEM_USER", "USER"};
    for (const char* w : starters) {
        if (t.isKeyword(w))
            return true;
    }
    return false;
}

// EXEC [@r =] proc [args] | EXEC ('dynamic' + @x); EXEC itself is
// already consumed (or absent for a call first in the batch).
StmtPtr Parser::execStatement()
{
    auto s = std::make_unique<ExecStmt>();
    if (acceptOp("(")) {
        s->dynamicSql = expr();
        expectOp(")");
        return s;
    }
    if (cur().kind == TokenKind::Variable && ahead(1).isOperator("=")) {
        s->returnVariable = next().text;
        next();
    }
    if (cur().kind == TokenKind::Variable) {
        // EXEC @procName: the procedure named by a variable
        s->procedure.pos = cur().pos;
        s->procedure.parts.push_back(next().text);
    } else {
        s->procedure = objectName();
    }
    if (startsExecArg(cur())) {
        do {
            s->args.push_back(execArg());
        } while (acceptOp(","));
    }
    return s;
}

bool Parser::startsExecArg(const Token& t) const
{
    if (isLiteralToken(t) || t.kind == TokenKind::Variable || t.kind == TokenKind::SysVariable ||
        isName(t) || t.isKeyword("DEFAULT") || t.isKeyword("NULL"))
        return true;
    return (t.isOperator("-") || t.isOperator("+")) &&
           (ahead(1).kind == TokenKind::Integer || ahead(1).kind == TokenKind::Decimal ||
            ahead(1).kind == TokenKind::Float);
}

// [@p =] value [OUTPUT]; value is a constant, a variable, DEFAULT, or a
// bare word, which SQL Server passes as a string (sp_addtype T_KEYID, ...).
ExecArg Parser::execArg()
{
    ExecArg a;
    if (cur().kind == TokenKind::Variable && ahead(1).isOperator("=")) {
        a.parameter = next().text;
        next();
    }
    const Token& t = cur();
    if (t.isKeyword("DEFAULT")) {
        next();
    } else if (t.isKeyword("NULL")) {
        a.value = makeExpr(ExprKind::Literal, t.pos);
        next();
    } else if (t.kind == TokenKind::Variable || t.kind == TokenKind::SysVariable) {
        a.value = makeExpr(t.kind == TokenKind::Variable ? ExprKind::Variable : ExprKind::SysVariable, t.pos);
        a.value->text = next().text;
    } else if (isLiteralToken(t)) {
        a.value = makeLiteral(next());
    } else if ((t.isOperator("-") || t.isOperator("+")) && isLiteralToken(ahead(1))) {
        auto u = makeExpr(ExprKind::Unary, t.pos);
        u->op = next().text;
        u->args.push_back(makeLiteral(next()));
        a.value = std::move(u);
    } else if (isName(t)) {
        a.value = makeExpr(ExprKind::Literal, t.pos);
        a.value->litKind = LiteralKind::String;
        a.value->text = next().text;
    } else {
        fail();
    }
    if (acceptKw("OUTPUT") || acceptKw("OUT"))
        a.output = true;
    return a;
}

}  // namespace vqsql::parsing
