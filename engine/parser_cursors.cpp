// The parser's Transact-SQL cursors: DECLARE ... CURSOR in both of SQL
// Server's forms, SET @c = CURSOR ..., OPEN, FETCH, CLOSE, DEALLOCATE and
// WHERE CURRENT OF.
#include "parser_internal.h"

namespace vqsql::parsing {

namespace {

// SQL Server's error for two cursor options that exclude each other.
[[noreturn]] void conflictingOptions(const Token& at, const std::string& a, const std::string& b)
{
    throw SqlException(1048, "Conflicting cursor options " + a + " and " + b + ".", at.pos.line, 16);
}

}  // namespace

// `c`, `GLOBAL c` or `@c`.
CursorRef Parser::cursorRef()
{
    CursorRef r;
    r.pos = cur().pos;
    if (cur().kind == TokenKind::Variable) {
        r.name = next().text;
        return r;
    }
    if (atKw("GLOBAL") && (isName(ahead(1)))) {
        next();
        r.global = true;
    }
    r.name = name();
    return r;
}

// DECLARE c ... CURSOR ...: DECLARE itself is consumed, the cursor's name
// is the current token.
StmtPtr Parser::declareCursorStatement()
{
    auto s = std::make_unique<DeclareCursorStmt>();
    s->name = name();
    if (atKw("INSENSITIVE") || atKw("SCROLL")) {
        // ISO form: DECLARE c [INSENSITIVE] [SCROLL] CURSOR FOR ...
        if (acceptKw("INSENSITIVE"))
            s->sensitivity = DeclareCursorStmt::Sensitivity::Static;
        if (acceptKw("SCROLL"))
            s->scroll = true;
        s->forwardOnly = !s->scroll;   // the ISO form scrolls only when it says SCROLL
        expectKw("CURSOR");
    } else {
        expectKw("CURSOR");
    }
    cursorOptionsAndQuery(*s);
    return s;
}

// The options after CURSOR (Transact-SQL's extended form, in its order),
// FOR select, and FOR READ ONLY | FOR UPDATE [OF columns].
void Parser::cursorOptionsAndQuery(DeclareCursorStmt& s)
{
    const Token& first = cur();
    const std::size_t firstOffset = first.pos.offset;
    const bool iso = s.sensitivity != DeclareCursorStmt::Sensitivity::Default || s.scroll || s.forwardOnly;
    if (atKw("LOCAL") || atKw("GLOBAL"))
        s.local = toUpper(next().text) == "LOCAL";
    if (atKw("FORWARD_ONLY")) {
        next();
        s.forwardOnly = true;
    } else if (atKw("SCROLL")) {
        next();
        s.scroll = true;
    }
    using Sensitivity = DeclareCursorStmt::Sensitivity;
    using Concurrency = DeclareCursorStmt::Concurrency;
    static const std::pair<const char*, Sensitivity> sensitivities[] = {
        {"STATIC", Sensitivity::Static}, {"KEYSET", Sensitivity::Keyset},
        {"DYNAMIC", Sensitivity::Dynamic}, {"FAST_FORWARD", Sensitivity::FastForward}};
    static const std::pair<const char*, Concurrency> concurrencies[] = {
        {"READ_ONLY", Concurrency::ReadOnly}, {"SCROLL_LOCKS", Concurrency::ScrollLocks},
        {"OPTIMISTIC", Concurrency::Optimistic}};
    for (const auto& [word, sensitivity] : sensitivities) {
        if (atKw(word)) {
            next();
            s.sensitivity = sensitivity;
            break;
        }
    }
    for (const auto& [word, concurrency] : concurrencies) {
        if (atKw(word)) {
            next();
            s.concurrency = concurrency;
            break;
        }
    }
    if (acceptKw("TYPE_WARNING"))
        s.typeWarning = true;
    // The ISO form takes none of the extended options.
    if (iso && cur().pos.offset != firstOffset)
        fail();
    if (s.sensitivity == Sensitivity::FastForward && s.scroll)
        conflictingOptions(first, "FAST_FORWARD", "SCROLL");
    if (s.sensitivity == Sensitivity::FastForward && s.forwardOnly)
        conflictingOptions(first, "FAST_FORWARD", "FORWARD_ONLY");
    if (s.sensitivity == Sensitivity::FastForward && s.concurrency != Concurrency::Default &&
        s.concurrency != Concurrency::ReadOnly)
        conflictingOptions(first, "FAST_FORWARD", s.concurrency == Concurrency::ScrollLocks ? "SCROLL_LOCKS"
                                                                                            : "OPTIMISTIC");
    expectKw("FOR");
    if (!atKw("SELECT") && !atOp("("))
        fail();
    s.queryOffset = cur().pos.offset;
    s.query = query();
    s.queryEnd = lastEnd();
    if (atKw("FOR") && ahead(1).isKeyword("READ")) {
        next();
        next();
        if (!atKw("ONLY"))
            fail();
        next();
        s.concurrency = Concurrency::ReadOnly;
    } else if (atKw("FOR") && ahead(1).isKeyword("UPDATE")) {
        const Token& at = next();
        next();
        if (acceptKw("OF")) {
            do {
                s.updateColumns.push_back(name());
            } while (acceptOp(","));
        }
        if (s.concurrency == Concurrency::ReadOnly || s.sensitivity == Sensitivity::Static ||
            s.sensitivity == Sensitivity::FastForward)
            throw SqlException(16957, "FOR UPDATE cannot be specified on a READ ONLY cursor.", at.pos.line, 16);
        s.forUpdate = true;
    }
}

// SET @c = CURSOR ...: SET @c = is consumed.
StmtPtr Parser::cursorAssignment(const std::string& variable)
{
    expectKw("CURSOR");
    auto s = std::make_unique<DeclareCursorStmt>();
    s->variable = variable;
    cursorOptionsAndQuery(*s);
    return s;
}

// OPEN c, CLOSE c, DEALLOCATE c.
StmtPtr Parser::cursorStatement(StmtKind kind)
{
    next();
    auto s = std::make_unique<CursorStmt>(kind);
    s->cursor = cursorRef();
    return s;
}

// FETCH [[NEXT | PRIOR | FIRST | LAST | ABSOLUTE n | RELATIVE n] FROM]
//     [GLOBAL] c | @c [INTO @a, ...]
StmtPtr Parser::fetchStatement()
{
    next();
    auto s = std::make_unique<FetchStmt>();
    using Orientation = FetchStmt::Orientation;
    static const struct {
        const char* word;
        Orientation orientation;
    } plain[] = {{"NEXT", Orientation::Next}, {"PRIOR", Orientation::Prior}, {"FIRST", Orientation::First},
                 {"LAST", Orientation::Last}};
    bool oriented = false;
    for (const auto& p : plain) {
        if (atKw(p.word) && ahead(1).isKeyword("FROM")) {
            next();
            s->orientation = p.orientation;
            oriented = true;
        }
    }
    if (!oriented && (atKw("ABSOLUTE") || atKw("RELATIVE")) && !ahead(1).isKeyword("FROM") &&
        !ahead(1).isKeyword("INTO") && ahead(1).kind != TokenKind::End) {
        s->orientation = toUpper(next().text) == "ABSOLUTE" ? Orientation::Absolute : Orientation::Relative;
        const Token& t = cur();
        if (t.kind == TokenKind::Variable) {
            s->offset = makeExpr(ExprKind::Variable, t.pos);
            s->offset->text = next().text;
        } else if (t.kind == TokenKind::Integer) {
            s->offset = makeLiteral(next());
        } else if ((t.isOperator("-") || t.isOperator("+")) && ahead(1).kind == TokenKind::Integer) {
            auto u = makeExpr(ExprKind::Unary, t.pos);
            u->op = next().text;
            u->args.push_back(makeLiteral(next()));
            s->offset = std::move(u);
        } else {
            fail();
        }
        oriented = true;
    }
    if (oriented)
        expectKw("FROM");
    else
        acceptKw("FROM");
    s->cursor = cursorRef();
    if (acceptKw("INTO")) {
        do {
            if (cur().kind != TokenKind::Variable)
                fail();
            s->intoPos.push_back(cur().pos);
            s->into.push_back(next().text);
        } while (acceptOp(","));
    }
    return s;
}

// After WHERE: CURRENT OF cursor, or false (a search condition follows).
bool Parser::currentOfClause(CursorRef& out)
{
    if (!atKw("CURRENT") || !ahead(1).isKeyword("OF"))
        return false;
    next();
    next();
    out = cursorRef();
    return true;
}

}  // namespace vqsql::parsing
