// Recursive-descent parser for Transact-SQL batches (SQL Server 2000-2008
// dialect) producing the tree of ast.h.
//
// A batch is a sequence of statements with optional semicolons; as in SQL
// Server a statement ends where the next token cannot continue it, so every
// clause parser stops at the first token it does not understand and leaves
// it to the caller. Reserved keywords (SQL Server's list) never serve as bare
// identifiers; every other word does. The first syntax error aborts the
// whole batch with SQL Server's message 102 or 156.
#include "parser.h"

#include "parser_internal.h"

namespace vqsql::parsing {

// SET QUOTED_IDENTIFIER: with it OFF, text in double quotes from the
// current token on is a string literal; ON makes it an identifier again.
void Parser::applyQuotedIdentifier(bool on)
{
    quotedIdentifiers_ = on;
    for (std::size_t i = p_ - std::min(p_, base_); i < toks_.size(); ++i)
        applyQuotes(toks_[i]);
}

std::unique_ptr<Batch> Parser::batch()
{
    auto b = std::make_unique<Batch>();
    b->text = src_;
    while (StmtPtr s = nextStatement())
        b->statements.push_back(std::move(s));
    return b;
}

// The batch's next statement, nullptr at its end.
StmtPtr Parser::nextStatement()
{
    while (acceptOp(";")) {
    }
    if (cur().kind == TokenKind::End)
        return nullptr;
    StmtPtr s = statement(first_);
    first_ = false;
    dropReadTokens();
    return s;
}

ExprPtr Parser::standaloneExpression()
{
    ExprPtr e = expr();
    if (cur().kind != TokenKind::End)
        fail();
    return e;
}

// Text in double quotes is an identifier under QUOTED_IDENTIFIER ON, a
// string literal under OFF.
void Parser::applyQuotes(Token& t) const
{
    const bool doubleQuoted = (t.kind == TokenKind::QuotedIdentifier || t.kind == TokenKind::String) &&
                              t.pos.offset < src_.size() && src_[t.pos.offset] == '"';
    if (doubleQuoted)
        t.kind = quotedIdentifiers_ ? TokenKind::QuotedIdentifier : TokenKind::String;
}

// One level deeper; beyond kMaxDepth the batch is refused with 191.
void Parser::enterLevel()
{
    if (++depth_ > kMaxDepth) {
        --depth_;
        throw SqlException(191,
                           "Some part of your SQL statement is nested too deeply. "
                           "Rewrite the query or break it up into smaller queries.",
                           cur().pos.line, kSyntaxSeverity);
    }
}

// Token number i, read when first needed; past the end, the End token.
const Token& Parser::at(std::size_t i) const
{
    while (i - base_ >= toks_.size() && !ended_) {
        toks_.emplace_back();
        reader_.read(toks_.back());
        ended_ = toks_.back().kind == TokenKind::End;
        if (!quotedIdentifiers_)
            applyQuotes(toks_.back());
    }
    return toks_[std::min(i - base_, toks_.size() - 1)];
}

// Forgets the tokens before the current one but one (lastEnd reads it).
void Parser::dropReadTokens()
{
    while (base_ + 1 < p_ && !toks_.empty()) {
        toks_.pop_front();
        ++base_;
    }
}

// The current token, looked up once per position.
const Token& Parser::cur() const
{
    if (!cur_)
        cur_ = &at(p_);
    return *cur_;
}

const Token& Parser::next()
{
    const Token& t = cur();
    if (t.kind != TokenKind::End) {
        ++p_;
        cur_ = nullptr;
    }
    return t;
}

bool Parser::acceptKw(const char* kw)
{
    if (!atKw(kw))
        return false;
    next();
    return true;
}

bool Parser::acceptOp(const char* op)
{
    if (!atOp(op))
        return false;
    next();
    return true;
}

void Parser::expectKw(const char* kw)
{
    if (!acceptKw(kw))
        fail();
}

void Parser::expectOp(const char* op)
{
    if (!acceptOp(op))
        fail();
}

// A word usable as a name: a bracketed/quoted identifier or a word that
// is not reserved.
bool Parser::isName(const Token& t)
{
    return t.kind == TokenKind::QuotedIdentifier ||
           (t.kind == TokenKind::Identifier && !isReservedToken(t));
}

// Throws the syntax error for the current token. At the end of the batch
// SQL Server names the batch's last token.
[[noreturn]] void Parser::fail() const
{
    const Token* t = &cur();
    if (t->kind == TokenKind::End && p_ > 0)
        t = &at(p_ - 1);   // End is read once: the token before it is the last
    failAt(*t);
}

[[noreturn]] void Parser::failAt(const Token& t) const
{
    if (isReservedToken(t)) {
        throw SqlException(err::SyntaxKeyword,
                           "Incorrect syntax near the keyword '" + t.text + "'.", t.pos.line,
                           kSyntaxSeverity);
    }
    std::string near;
    switch (t.kind) {
    case TokenKind::String:
    case TokenKind::NString:
    case TokenKind::QuotedIdentifier:
        near = t.text;
        break;
    default:
        near = src_.substr(t.pos.offset, t.endOffset - t.pos.offset);
        break;
    }
    throw SqlException(err::SyntaxError, "Incorrect syntax near '" + near + "'.", t.pos.line,
                       kSyntaxSeverity);
}

// Valid Transact-SQL that the engine does not implement: refused when
// the batch is parsed, so that nothing of the batch runs, naming the
// construct and where it stands.
[[noreturn]] void Parser::unsupportedAt(const Token& t, const std::string& what)
{
    throw SqlException(err::Unsupported,
                       "The engine does not support " + what + " (line " + std::to_string(t.pos.line) +
                           ", column " + std::to_string(t.pos.column) + ").",
                       t.pos.line);
}

// One name: [x], "x" or a non-reserved word.
std::string Parser::name()
{
    if (!isName(cur()))
        fail();
    return next().text;
}

// A name after a dot; SQL Server is lenient there, so reserved words
// are accepted too ("t.file").
std::string Parser::namePartAfterDot()
{
    if (cur().kind != TokenKind::Identifier && cur().kind != TokenKind::QuotedIdentifier)
        fail();
    return next().text;
}

// "t", "dbo.t", "db..t", "db.dbo.t", "srv.db.dbo.t".
ObjectName Parser::objectName()
{
    ObjectName n;
    n.pos = cur().pos;
    n.parts.push_back(name());
    while (atOp(".")) {
        next();
        while (atOp(".")) {
            n.parts.emplace_back();
            next();
        }
        n.parts.push_back(namePartAfterDot());
    }
    if (n.parts.size() > 4)
        fail();
    // A temporary table's name leaves room for the suffix SQL Server adds
    // to tell the sessions' #tables apart.
    const std::string& last = n.parts.back();
    if (last.size() > 116 && last[0] == '#' && (last.size() < 2 || last[1] != '#'))
        throw SqlException(193, "The object or column name starting with '" + last.substr(0, 116) +
                                    "' is too long. The maximum length is 116 characters.",
                           at(p_ - 1).pos.line, 15);
    return n;
}

// A name or a string ('x' or N'x'), as several commands accept either.
std::string Parser::nameOrString()
{
    if (cur().kind == TokenKind::String || cur().kind == TokenKind::NString)
        return next().text;
    return name();
}

// One statement, with its position and the end of its text.
StmtPtr Parser::statement(bool firstInBatch)
{
    DepthGuard guard(*this);
    const Pos pos = cur().pos;
    StmtPtr s = statementBody(firstInBatch);
    if (atKw("OPTION") && ahead(1).isOperator("(") &&
        (s->kind == StmtKind::Select || s->kind == StmtKind::Insert || s->kind == StmtKind::Update ||
         s->kind == StmtKind::Delete))
        queryOptions(*s);
    s->pos = pos;
    s->endOffset = lastEnd();
    return s;
}

// Chooses the statement by its first keyword; a bare name first in the
// batch is a procedure call.
StmtPtr Parser::statementBody(bool firstInBatch)
{
    const Token& t = cur();
    if (t.isKeyword("SELECT") || t.isOperator("(")) {
        auto s = std::make_unique<SelectStmt>();
        s->query = query();
        return s;
    }
    if (t.isKeyword("INSERT")) return insertStatement();
    if (t.isKeyword("UPDATE")) return updateStatement();
    if (t.isKeyword("DELETE")) return deleteStatement();
    if (t.isKeyword("TRUNCATE")) return truncateStatement();
    if (t.isKeyword("CREATE")) return createStatement();
    if (t.isKeyword("ALTER")) return alterStatement();
    if (t.isKeyword("DROP")) return dropStatement();
    if (t.isKeyword("DECLARE")) return declareStatement();
    if (t.isKeyword("SET")) return setStatement();
    if (t.isKeyword("IF")) return ifStatement();
    if (t.isKeyword("WHILE")) return whileStatement();
    if (t.isKeyword("BEGIN")) return beginStatement();
    if (t.isKeyword("RETURN")) return returnStatement();
    if (t.isKeyword("BREAK")) {
        next();
        return std::make_unique<SimpleStmt>(StmtKind::Break);
    }
    if (t.isKeyword("CONTINUE")) {
        next();
        return std::make_unique<SimpleStmt>(StmtKind::Continue);
    }
    if (t.isKeyword("EXEC") || t.isKeyword("EXECUTE")) {
        next();
        return execStatement();
    }
    if (t.isKeyword("COMMIT")) return endTransaction(StmtKind::CommitTran);
    if (t.isKeyword("ROLLBACK")) return endTransaction(StmtKind::RollbackTran);
    if (t.isKeyword("PRINT")) {
        next();
        auto s = std::make_unique<PrintStmt>();
        s->value = expr();
        return s;
    }
    if (t.isKeyword("USE")) {
        next();
        auto s = std::make_unique<UseStmt>();
        s->database = name();
        return s;
    }
    if (t.isKeyword("RAISERROR")) return raiserrorStatement();
    if (t.isKeyword("WAITFOR")) return waitforStatement();
    if (t.isKeyword("SAVE") && (ahead(1).isKeyword("TRAN") || ahead(1).isKeyword("TRANSACTION")))
        return saveTransactionStatement();
    if (t.isKeyword("WITH") && isName(ahead(1))) return withStatement();
    if (t.isKeyword("OPEN")) return cursorStatement(StmtKind::OpenCursor);
    if (t.isKeyword("FETCH")) return fetchStatement();
    if (t.isKeyword("CLOSE")) return cursorStatement(StmtKind::CloseCursor);
    if (t.isKeyword("DEALLOCATE")) return cursorStatement(StmtKind::DeallocateCursor);
    if (t.isKeyword("BACKUP")) return backupStatement();
    if (t.isKeyword("RESTORE")) return restoreStatement();
    refuseUnsupportedStatement(t);
    // The first statement of a batch may call a procedure without EXEC.
    if (firstInBatch && isName(t))
        return execStatement();
    fail();
}

// Statements of SQL Server that the engine does not implement.
void Parser::refuseUnsupportedStatement(const Token& t)
{
    static const struct {
        const char* keyword;
        const char* construct;
    } statements[] = {
        {"GOTO", "GOTO"}, {"MERGE", "MERGE"},
    };
    for (const auto& st : statements) {
        if (t.isKeyword(st.keyword))
            unsupportedAt(t, st.construct);
    }
}

// A statement nested in IF, WHILE or BEGIN ... END.
StmtPtr Parser::nestedStatement()
{
    while (acceptOp(";")) {
    }
    if (cur().kind == TokenKind::End)
        fail();
    return statement(false);
}

}  // namespace vqsql::parsing

namespace vqsql {

using namespace ast;
using parsing::Parser;

namespace {

// An error of the tokenizer anywhere in a batch is the batch's error,
// before any syntax error: after a syntax error the whole text is read
// once more for one (the tokenizer throws it).
void throwTokenizerError(const std::string& text)
{
    TokenReader check(text);
    Token t;
    do
        check.read(t);
    while (t.kind != TokenKind::End);
}

}  // namespace

struct StatementReader::Impl {
    const std::string& text;
    bool tokensChecked;
    Parser parser;
};

StatementReader::StatementReader(const std::string& text, bool tokensChecked, bool quotedIdentifiers)
    : impl_(new Impl{text, tokensChecked, Parser(text)})
{
    if (!quotedIdentifiers)
        impl_->parser.applyQuotedIdentifier(false);
}

StatementReader::~StatementReader() = default;

ast::StmtPtr StatementReader::next()
{
    try {
        return impl_->parser.nextStatement();
    } catch (const SqlException&) {
        if (!impl_->tokensChecked)
            throwTokenizerError(impl_->text);
        throw;
    }
}

std::unique_ptr<Batch> parseBatch(const std::string& text)
{
    try {
        return Parser(text).batch();
    } catch (const SqlException&) {
        throwTokenizerError(text);
        throw;
    }
}

std::unique_ptr<Batch> parseBatch(const std::string& text, bool quotedIdentifiers)
{
    Parser parser(text);
    if (!quotedIdentifiers)
        parser.applyQuotedIdentifier(false);
    return parser.batch();
}

ExprPtr parseExpression(const std::string& text)
{
    try {
        return Parser(text).standaloneExpression();
    } catch (const SqlException&) {
        throwTokenizerError(text);
        throw;
    }
}

}  // namespace vqsql
