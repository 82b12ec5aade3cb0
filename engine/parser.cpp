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

#include "lexer.h"
#include "session_options.h"
#include "sqlerror.h"
#include "sqlite_util.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <string_view>
#include <unordered_set>

namespace vqsql {

using namespace ast;

namespace {

// Nesting deeper than this (parentheses, subqueries, unary chains, nested
// statements) is refused with error 191 instead of risking the stack.
constexpr int kMaxDepth = 500;

// SQL Server reports syntax errors at level 15.
constexpr int kSyntaxSeverity = 15;

std::string toUpper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string toLower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// SQL Server's reserved keywords (as of the 2008 release). These words can
// only be used as names when bracketed or double-quoted.
bool isReservedWord(std::string_view upper)
{
    static const std::unordered_set<std::string_view> words = {
        "ADD", "ALL", "ALTER", "AND", "ANY", "AS", "ASC", "AUTHORIZATION", "BACKUP",
        "BEGIN", "BETWEEN", "BREAK", "BROWSE", "BULK", "BY", "CASCADE", "CASE", "CHECK",
        "CHECKPOINT", "CLOSE", "CLUSTERED", "COALESCE", "COLLATE", "COLUMN", "COMMIT",
        "COMPUTE", "CONSTRAINT", "CONTAINS", "CONTAINSTABLE", "CONTINUE", "CONVERT",
        "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
        "CURRENT_USER", "CURSOR", "DATABASE", "DBCC", "DEALLOCATE", "DECLARE", "DEFAULT",
        "DELETE", "DENY", "DESC", "DISK", "DISTINCT", "DISTRIBUTED", "DOUBLE", "DROP",
        "DUMP", "ELSE", "END", "ERRLVL", "ESCAPE", "EXCEPT", "EXEC", "EXECUTE", "EXISTS",
        "EXIT", "EXTERNAL", "FETCH", "FILE", "FILLFACTOR", "FOR", "FOREIGN", "FREETEXT",
        "FREETEXTTABLE", "FROM", "FULL", "FUNCTION", "GOTO", "GRANT", "GROUP", "HAVING",
        "HOLDLOCK", "IDENTITY", "IDENTITY_INSERT", "IDENTITYCOL", "IF", "IN", "INDEX",
        "INNER", "INSERT", "INTERSECT", "INTO", "IS", "JOIN", "KEY", "KILL", "LEFT", "LIKE",
        "LINENO", "LOAD", "MERGE", "NATIONAL", "NOCHECK", "NONCLUSTERED", "NOT", "NULL",
        "NULLIF", "OF", "OFF", "OFFSETS", "ON", "OPEN", "OPENDATASOURCE", "OPENQUERY",
        "OPENROWSET", "OPENXML", "OPTION", "OR", "ORDER", "OUTER", "OVER", "PERCENT",
        "PIVOT", "PLAN", "PRECISION", "PRIMARY", "PRINT", "PROC", "PROCEDURE", "PUBLIC",
        "RAISERROR", "READ", "READTEXT", "RECONFIGURE", "REFERENCES", "REPLICATION",
        "RESTORE", "RESTRICT", "RETURN", "REVERT", "REVOKE", "RIGHT", "ROLLBACK",
        "ROWCOUNT", "ROWGUIDCOL", "RULE", "SAVE", "SCHEMA", "SECURITYAUDIT", "SELECT",
        "SESSION_USER", "SET", "SETUSER", "SHUTDOWN", "SOME", "STATISTICS", "SYSTEM_USER",
        "TABLE", "TABLESAMPLE", "TEXTSIZE", "THEN", "TO", "TOP", "TRAN", "TRANSACTION",
        "TRIGGER", "TRUNCATE", "TSEQUAL", "UNION", "UNIQUE", "UNPIVOT", "UPDATE",
        "UPDATETEXT", "USE", "USER", "VALUES", "VARYING", "VIEW", "WAITFOR", "WHEN",
        "WHERE", "WHILE", "WITH", "WRITETEXT",
    };
    return words.count(upper) != 0;
}

bool isReservedToken(const Token& t)
{
    // No reserved word is longer than this: longer words need no look-up.
    constexpr std::size_t kLongest = 24;
    if (t.kind != TokenKind::Identifier || t.text.size() > kLongest)
        return false;
    char upper[kLongest];
    for (std::size_t i = 0; i < t.text.size(); ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(t.text[i])));
    return isReservedWord(std::string_view(upper, t.text.size()));
}

// Keywords that begin a statement (or close a block); option lists of
// ALTER DATABASE ... SET end before them.
bool startsStatementOrBlockEnd(const Token& t)
{
    static const char* const words[] = {
        "SELECT", "INSERT", "UPDATE", "DELETE", "TRUNCATE", "CREATE", "ALTER", "DROP",
        "DECLARE", "SET", "IF", "WHILE", "BEGIN", "RETURN", "BREAK", "CONTINUE", "EXEC",
        "EXECUTE", "COMMIT", "ROLLBACK", "PRINT", "USE", "BACKUP", "RESTORE", "END", "ELSE",
        "GOTO", "RAISERROR", "WAITFOR", "SAVE", "DBCC"};
    for (const char* w : words) {
        if (t.isKeyword(w))
            return true;
    }
    return false;
}

// The built-in functions of SQL Server 2008 that take an argument list.
// A call of any other one-part name is error 195 when the batch is parsed;
// whether the engine implements a listed function is decided later.
bool isBuiltinFunctionName(const std::string& upper)
{
    static const std::unordered_set<std::string> names = {
        // aggregates and ranking
        "AVG", "CHECKSUM_AGG", "COUNT", "COUNT_BIG", "GROUPING", "GROUPING_ID", "MAX", "MIN", "STDEV",
        "STDEVP", "SUM", "VAR", "VARP", "ROW_NUMBER", "RANK", "DENSE_RANK", "NTILE",
        // mathematical
        "ABS", "ACOS", "ASIN", "ATAN", "ATN2", "CEILING", "COS", "COT", "DEGREES", "EXP", "FLOOR", "LOG",
        "LOG10", "PI", "POWER", "RADIANS", "RAND", "ROUND", "SIGN", "SIN", "SQRT", "SQUARE", "TAN",
        // strings
        "ASCII", "CHAR", "CHARINDEX", "DIFFERENCE", "LEFT", "LEN", "LOWER", "LTRIM", "NCHAR", "PATINDEX",
        "QUOTENAME", "REPLACE", "REPLICATE", "REVERSE", "RIGHT", "RTRIM", "SOUNDEX", "SPACE", "STR", "STUFF",
        "SUBSTRING", "UNICODE", "UPPER",
        // date and time
        "DATEADD", "DATEDIFF", "DATENAME", "DATEPART", "DAY", "GETDATE", "GETUTCDATE", "ISDATE", "MONTH",
        "SYSDATETIME", "SYSDATETIMEOFFSET", "SYSUTCDATETIME", "SWITCHOFFSET", "TODATETIMEOFFSET", "YEAR",
        // system, metadata and security
        "APP_NAME", "APPLOCK_MODE", "APPLOCK_TEST", "ASSEMBLYPROPERTY", "BINARY_CHECKSUM", "CHECKSUM",
        "COALESCE", "COL_LENGTH", "COL_NAME", "COLLATIONPROPERTY", "COLUMNPROPERTY", "COLUMNS_UPDATED",
        "CONNECTIONPROPERTY", "CONTEXT_INFO", "CURRENT_REQUEST_ID", "CURRENT_TIMESTAMP", "CURRENT_USER",
        "DATABASEPROPERTY", "DATABASEPROPERTYEX", "DATALENGTH", "DB_ID", "DB_NAME", "DECRYPTBYPASSPHRASE",
        "ENCRYPTBYPASSPHRASE", "ERROR_LINE", "ERROR_MESSAGE", "ERROR_NUMBER", "ERROR_PROCEDURE",
        "ERROR_SEVERITY", "ERROR_STATE", "EVENTDATA", "FILE_ID", "FILE_IDEX", "FILE_NAME", "FILEGROUP_ID",
        "FILEGROUP_NAME", "FILEGROUPPROPERTY", "FILEPROPERTY", "FORMATMESSAGE", "FULLTEXTCATALOGPROPERTY",
        "FULLTEXTSERVICEPROPERTY", "GETANSINULL", "HAS_DBACCESS", "HAS_PERMS_BY_NAME", "HASHBYTES", "HOST_ID",
        "HOST_NAME", "IDENT_CURRENT", "IDENT_INCR", "IDENT_SEED", "IDENTITY", "INDEX_COL", "INDEXKEY_PROPERTY",
        "INDEXPROPERTY", "IS_MEMBER", "IS_OBJECTSIGNED", "IS_SRVROLEMEMBER", "ISNULL", "ISNUMERIC",
        "LOGINPROPERTY", "MIN_ACTIVE_ROWVERSION", "NEWID", "NEWSEQUENTIALID", "NULLIF", "OBJECT_DEFINITION",
        "OBJECT_ID", "OBJECT_NAME", "OBJECT_SCHEMA_NAME", "OBJECTPROPERTY", "OBJECTPROPERTYEX",
        "ORIGINAL_DB_NAME", "ORIGINAL_LOGIN", "PARSENAME", "PERMISSIONS", "PWDCOMPARE", "PWDENCRYPT",
        "ROWCOUNT_BIG", "SCHEMA_ID", "SCHEMA_NAME", "SCOPE_IDENTITY", "SERVERPROPERTY", "SESSION_USER",
        "SESSIONPROPERTY", "STATS_DATE", "SUSER_ID", "SUSER_NAME", "SUSER_SID", "SUSER_SNAME", "SYSTEM_USER",
        "TEXTPTR", "TEXTVALID", "TRIGGER_NESTLEVEL", "TYPE_ID", "TYPE_NAME", "TYPEPROPERTY", "UPDATE", "USER",
        "USER_ID", "USER_NAME", "XACT_STATE",
    };
    return names.count(upper) != 0;
}

bool isLiteralToken(const Token& t)
{
    switch (t.kind) {
    case TokenKind::String:
    case TokenKind::NString:
    case TokenKind::Integer:
    case TokenKind::Decimal:
    case TokenKind::Float:
    case TokenKind::Binary:
    case TokenKind::Money:
        return true;
    default:
        return false;
    }
}

ExprPtr makeExpr(ExprKind kind, const Pos& pos)
{
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->pos = pos;
    return e;
}

ExprPtr makeLiteral(const Token& t)
{
    auto e = makeExpr(ExprKind::Literal, t.pos);
    switch (t.kind) {
    case TokenKind::String: e->litKind = LiteralKind::String; break;
    case TokenKind::NString: e->litKind = LiteralKind::NString; break;
    case TokenKind::Integer: e->litKind = LiteralKind::Integer; break;
    case TokenKind::Decimal: e->litKind = LiteralKind::Decimal; break;
    case TokenKind::Float: e->litKind = LiteralKind::Float; break;
    case TokenKind::Binary: e->litKind = LiteralKind::Binary; break;
    case TokenKind::Money: e->litKind = LiteralKind::Money; break;
    default: e->litKind = LiteralKind::Null; break;
    }
    e->text = t.text;
    return e;
}

ExprPtr makeBinary(ExprKind kind, std::string op, ExprPtr left, ExprPtr right)
{
    auto e = makeExpr(kind, left->pos);
    e->op = std::move(op);
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
}

// Comparison operators as stored in the tree: "!=" is "<>", "!<" is ">=",
// "!>" is "<="; nullptr when the token is no comparison.
const char* comparisonOp(const Token& t)
{
    if (t.kind != TokenKind::Operator)
        return nullptr;
    static const char* const plain[] = {"=", "<>", "<", ">", "<=", ">="};
    for (const char* op : plain) {
        if (t.text == op)
            return op;
    }
    if (t.text == "!=") return "<>";
    if (t.text == "!<") return ">=";
    if (t.text == "!>") return "<=";
    return nullptr;
}

class Parser {
public:
    explicit Parser(const std::string& text) : src_(text), reader_(text) {}

    // SET QUOTED_IDENTIFIER: with it OFF, text in double quotes from the
    // current token on is a string literal; ON makes it an identifier again.
    void applyQuotedIdentifier(bool on)
    {
        quotedIdentifiers_ = on;
        for (std::size_t i = p_ - std::min(p_, base_); i < toks_.size(); ++i)
            applyQuotes(toks_[i]);
    }

    std::unique_ptr<Batch> batch()
    {
        auto b = std::make_unique<Batch>();
        b->text = src_;
        while (StmtPtr s = nextStatement())
            b->statements.push_back(std::move(s));
        return b;
    }

    // The batch's next statement, nullptr at its end.
    StmtPtr nextStatement()
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

    ExprPtr standaloneExpression()
    {
        ExprPtr e = expr();
        if (cur().kind != TokenKind::End)
            fail();
        return e;
    }

private:
    const std::string& src_;
    // The tokens read and not yet dropped: toks_[0] is token number base_.
    // A deque, so that references to tokens stay valid as more are read.
    mutable TokenReader reader_;
    mutable std::deque<Token> toks_;
    mutable bool ended_ = false;
    std::size_t base_ = 0;
    std::size_t p_ = 0;
    bool first_ = true;   // the next statement is the batch's first
    mutable const Token* cur_ = nullptr;   // token number p_, once looked up
    int depth_ = 0;
    bool quotedIdentifiers_ = true;   // SET QUOTED_IDENTIFIER

    // Text in double quotes is an identifier under QUOTED_IDENTIFIER ON, a
    // string literal under OFF.
    void applyQuotes(Token& t) const
    {
        const bool doubleQuoted = (t.kind == TokenKind::QuotedIdentifier || t.kind == TokenKind::String) &&
                                  t.pos.offset < src_.size() && src_[t.pos.offset] == '"';
        if (doubleQuoted)
            t.kind = quotedIdentifiers_ ? TokenKind::QuotedIdentifier : TokenKind::String;
    }

    // One level deeper; beyond kMaxDepth the batch is refused with 191.
    void enterLevel()
    {
        if (++depth_ > kMaxDepth) {
            --depth_;
            throw SqlException(191,
                               "Some part of your SQL statement is nested too deeply. "
                               "Rewrite the query or break it up into smaller queries.",
                               cur().pos.line, kSyntaxSeverity);
        }
    }

    // Counts nesting for the life of one recursive call.
    struct DepthGuard {
        explicit DepthGuard(Parser& p) : parser(p) { parser.enterLevel(); }
        ~DepthGuard() { --parser.depth_; }
        DepthGuard(const DepthGuard&) = delete;
        DepthGuard& operator=(const DepthGuard&) = delete;
        Parser& parser;
    };

    // A chain of one precedence level (a + b + c ..., a OR b OR c ...) is
    // parsed in a loop, not by recursion, and builds a left-deep tree that
    // later stages walk recursively; so that tree stays bounded, every
    // kLinksPerLevel operators of a chain count as one level of nesting.
    static constexpr int kLinksPerLevel = 16;

    struct ChainGuard {
        explicit ChainGuard(Parser& p) : parser(p) {}
        void link()
        {
            if (++links % kLinksPerLevel == 0) {
                parser.enterLevel();
                ++levels;
            }
        }
        ~ChainGuard() { parser.depth_ -= levels; }
        ChainGuard(const ChainGuard&) = delete;
        ChainGuard& operator=(const ChainGuard&) = delete;
        Parser& parser;
        int links = 0;
        int levels = 0;
    };

    // ---- token access ---------------------------------------------------

    // Token number i, read when first needed; past the end, the End token.
    const Token& at(std::size_t i) const
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
    void dropReadTokens()
    {
        while (base_ + 1 < p_ && !toks_.empty()) {
            toks_.pop_front();
            ++base_;
        }
    }
    // The current token, looked up once per position.
    const Token& cur() const
    {
        if (!cur_)
            cur_ = &at(p_);
        return *cur_;
    }
    const Token& ahead(std::size_t n) const { return at(p_ + n); }
    const Token& next()
    {
        const Token& t = cur();
        if (t.kind != TokenKind::End) {
            ++p_;
            cur_ = nullptr;
        }
        return t;
    }
    std::size_t lastEnd() const { return p_ > 0 ? at(p_ - 1).endOffset : 0; }

    bool atKw(const char* kw) const { return cur().isKeyword(kw); }
    bool atOp(const char* op) const { return cur().isOperator(op); }
    bool acceptKw(const char* kw)
    {
        if (!atKw(kw))
            return false;
        next();
        return true;
    }
    bool acceptOp(const char* op)
    {
        if (!atOp(op))
            return false;
        next();
        return true;
    }
    void expectKw(const char* kw)
    {
        if (!acceptKw(kw))
            fail();
    }
    void expectOp(const char* op)
    {
        if (!acceptOp(op))
            fail();
    }

    // A word usable as a name: a bracketed/quoted identifier or a word that
    // is not reserved.
    static bool isName(const Token& t)
    {
        return t.kind == TokenKind::QuotedIdentifier ||
               (t.kind == TokenKind::Identifier && !isReservedToken(t));
    }

    // Throws the syntax error for the current token. At the end of the batch
    // SQL Server names the batch's last token.
    [[noreturn]] void fail() const
    {
        const Token* t = &cur();
        if (t->kind == TokenKind::End && p_ > 0)
            t = &at(p_ - 1);   // End is read once: the token before it is the last
        failAt(*t);
    }

    [[noreturn]] void failAt(const Token& t) const
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
    [[noreturn]] static void unsupportedAt(const Token& t, const std::string& what)
    {
        throw SqlException(err::Unsupported,
                           "The engine does not support " + what + " (line " + std::to_string(t.pos.line) +
                               ", column " + std::to_string(t.pos.column) + ").",
                           t.pos.line);
    }

    // ---- names ------------------------------------------------------------

    // One name: [x], "x" or a non-reserved word.
    std::string name()
    {
        if (!isName(cur()))
            fail();
        return next().text;
    }

    // A name after a dot; SQL Server is lenient there, so reserved words
    // are accepted too ("t.file").
    std::string namePartAfterDot()
    {
        if (cur().kind != TokenKind::Identifier && cur().kind != TokenKind::QuotedIdentifier)
            fail();
        return next().text;
    }

    // "t", "dbo.t", "db..t", "db.dbo.t", "srv.db.dbo.t".
    ObjectName objectName()
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
        if (!n.parts.back().empty() && n.parts.back().front() == '#')
            unsupportedAt(at(p_ - 1), "temporary tables (" + n.parts.back() + ")");
        return n;
    }

    // A name or a string ('x' or N'x'), as several commands accept either.
    std::string nameOrString()
    {
        if (cur().kind == TokenKind::String || cur().kind == TokenKind::NString)
            return next().text;
        return name();
    }

    // ---- statements -------------------------------------------------------

    // One statement, with its position and the end of its text.
    StmtPtr statement(bool firstInBatch)
    {
        DepthGuard guard(*this);
        const Pos pos = cur().pos;
        StmtPtr s = statementBody(firstInBatch);
        s->pos = pos;
        s->endOffset = lastEnd();
        return s;
    }

    // Chooses the statement by its first keyword; a bare name first in the
    // batch is a procedure call.
    StmtPtr statementBody(bool firstInBatch)
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
        if (t.isKeyword("BACKUP")) return backupStatement();
        if (t.isKeyword("RESTORE")) return restoreStatement();
        refuseUnsupportedStatement(t);
        // The first statement of a batch may call a procedure without EXEC.
        if (firstInBatch && isName(t))
            return execStatement();
        fail();
    }

    // Statements of SQL Server that the engine does not implement.
    void refuseUnsupportedStatement(const Token& t)
    {
        static const struct {
            const char* keyword;
            const char* construct;
        } statements[] = {
            {"RAISERROR", "RAISERROR"}, {"WAITFOR", "WAITFOR"},      {"GOTO", "GOTO"},
            {"MERGE", "MERGE"},         {"OPEN", "cursors (OPEN)"}, {"FETCH", "cursors (FETCH)"},
            {"CLOSE", "cursors (CLOSE)"}, {"DEALLOCATE", "cursors (DEALLOCATE)"},
        };
        for (const auto& st : statements) {
            if (t.isKeyword(st.keyword))
                unsupportedAt(t, st.construct);
        }
        if (t.isKeyword("SAVE") && (ahead(1).isKeyword("TRAN") || ahead(1).isKeyword("TRANSACTION")))
            unsupportedAt(t, "SAVE TRANSACTION");
        if (t.isKeyword("WITH") && isName(ahead(1)))
            unsupportedAt(t, "common table expressions (WITH ... AS)");
    }

    // A statement nested in IF, WHILE or BEGIN ... END.
    StmtPtr nestedStatement()
    {
        while (acceptOp(";")) {
        }
        if (cur().kind == TokenKind::End)
            fail();
        return statement(false);
    }

    // TOP n / TOP (expr) [PERCENT]; the caller has seen TOP.
    ExprPtr topClause(bool* percent)
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
    StmtPtr insertStatement()
    {
        next();
        auto s = std::make_unique<InsertStmt>();
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
    Assignment assignment()
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
        } else if (op.isOperator("+=") || op.isOperator("-=") || op.isOperator("*=") ||
                   op.isOperator("/=")) {
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
    StmtPtr updateStatement()
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
        if (acceptKw("WHERE"))
            s->where = expr();
        return s;
    }

    // DELETE [TOP (n)] [FROM] table [hints] [FROM table sources] [WHERE condition]
    StmtPtr deleteStatement()
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
        if (acceptKw("WHERE"))
            s->where = expr();
        return s;
    }

    // TRUNCATE TABLE table
    StmtPtr truncateStatement()
    {
        next();
        expectKw("TABLE");
        auto s = std::make_unique<TruncateStmt>();
        s->table = objectName();
        return s;
    }

    // ---- CREATE / ALTER / DROP -------------------------------------------

    // CREATE { TABLE | VIEW | [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX | TYPE | DATABASE } ...
    StmtPtr createStatement()
    {
        next();
        if (acceptKw("TABLE")) return createTable();
        if (acceptKw("VIEW")) return createView();
        if (atKw("UNIQUE") || atKw("CLUSTERED") || atKw("NONCLUSTERED") || atKw("INDEX"))
            return createIndex();
        if (acceptKw("TYPE")) return createType();
        if (acceptKw("DATABASE")) return createDatabase();
        refuseUnsupportedModule("CREATE");
        fail();
    }

    // CREATE / ALTER of procedures, functions and triggers; the caller has
    // seen CREATE or ALTER.
    void refuseUnsupportedModule(const char* verb)
    {
        const Token& t = at(p_ - 1);
        if (atKw("PROC") || atKw("PROCEDURE"))
            unsupportedAt(t, std::string(verb) + " PROCEDURE");
        if (atKw("FUNCTION"))
            unsupportedAt(t, std::string(verb) + " FUNCTION");
        if (atKw("TRIGGER"))
            unsupportedAt(t, std::string(verb) + " TRIGGER");
    }

    // Parses a type: "int", "varchar(32)", "varchar(max)", "numeric(19,4)",
    // "[T_VA32]", "dbo.T_X" (the last part is kept), "double precision".
    TypeName typeName()
    {
        TypeName ty;
        ty.pos = cur().pos;
        if (atKw("DOUBLE") && ahead(1).isKeyword("PRECISION")) {
            next();
            next();
            ty.name = "float";
            return ty;
        }
        ty.name = objectName().last();
        if (!acceptOp("("))
            return ty;
        auto intArg = [this]() -> int {
            if (atKw("MAX")) {
                next();
                return -1;
            }
            if (cur().kind != TokenKind::Integer)
                fail();
            return std::atoi(next().text.c_str());
        };
        const int a = intArg();
        int b = -2;
        if (acceptOp(","))
            b = intArg();
        expectOp(")");
        const std::string lower = toLower(ty.name);
        if (lower == "decimal" || lower == "numeric" || lower == "dec") {
            ty.precision = a;
            if (b != -2)
                ty.scale = b;
        } else if (lower == "float" || lower == "real") {
            ty.precision = a;
        } else if (lower == "datetime2" || lower == "time" || lower == "datetimeoffset") {
            ty.scale = a;
        } else {
            ty.length = a;
            if (b != -2)
                ty.scale = b;
        }
        return ty;
    }

    // An optionally signed integer (identity seed and increment).
    std::int64_t signedInteger()
    {
        bool negative = false;
        if (atOp("-") || atOp("+")) {
            negative = next().text == "-";
        }
        if (cur().kind != TokenKind::Integer && cur().kind != TokenKind::Decimal)
            fail();
        const std::int64_t v = std::strtoll(next().text.c_str(), nullptr, 10);
        return negative ? -v : v;
    }

    // Skips a balanced "( ... )" starting at the current token.
    void skipParenthesised()
    {
        expectOp("(");
        int depth = 1;
        while (depth > 0) {
            if (cur().kind == TokenKind::End)
                fail();
            if (atOp("("))
                ++depth;
            else if (atOp(")"))
                --depth;
            next();
        }
    }

    // Storage clauses that have no meaning here: ON [PRIMARY], ON "default",
    // TEXTIMAGE_ON [PRIMARY], WITH (index options), WITH FILLFACTOR = n.
    void skipStorageClauses()
    {
        for (;;) {
            if (atKw("ON") && (isName(ahead(1)) || ahead(1).isKeyword("PRIMARY"))) {
                next();
                next();
            } else if (atKw("TEXTIMAGE_ON")) {
                next();
                if (!atKw("PRIMARY"))
                    name();
                else
                    next();
            } else if (atKw("WITH") && ahead(1).isOperator("(")) {
                next();
                skipParenthesised();
            } else if (atKw("WITH") && ahead(1).isKeyword("FILLFACTOR")) {
                next();
                next();
                expectOp("=");
                signedInteger();
            } else {
                return;
            }
        }
    }

    // "(a [ASC|DESC], b ...)" of keys and indexes.
    std::vector<OrderItem> keyColumnList()
    {
        std::vector<OrderItem> cols;
        expectOp("(");
        do {
            OrderItem item;
            item.expr = makeExpr(ExprKind::Column, cur().pos);
            item.expr->name.pos = cur().pos;
            item.expr->name.parts.push_back(name());
            if (acceptKw("DESC"))
                item.descending = true;
            else
                acceptKw("ASC");
            cols.push_back(std::move(item));
        } while (acceptOp(","));
        expectOp(")");
        return cols;
    }

    std::vector<std::string> nameList()
    {
        std::vector<std::string> names;
        expectOp("(");
        do {
            names.push_back(name());
        } while (acceptOp(","));
        expectOp(")");
        return names;
    }

    // CLUSTERED / NONCLUSTERED after PRIMARY KEY or UNIQUE.
    void clusteredOption(bool* clustered)
    {
        if (acceptKw("CLUSTERED"))
            *clustered = true;
        else if (acceptKw("NONCLUSTERED"))
            *clustered = false;
    }

    // Actions after REFERENCES t (c): ON DELETE/UPDATE CASCADE | NO ACTION |
    // SET NULL | SET DEFAULT, NOT FOR REPLICATION (ignored).
    void referenceActions(TableConstraint& c)
    {
        for (;;) {
            if (atKw("ON") && (ahead(1).isKeyword("DELETE") || ahead(1).isKeyword("UPDATE"))) {
                next();
                std::string& action = cur().isKeyword("DELETE") ? c.onDelete : c.onUpdate;
                next();
                if (acceptKw("CASCADE")) {
                    action = "CASCADE";
                } else if (acceptKw("NO")) {
                    expectKw("ACTION");
                    action = "NO ACTION";
                } else if (acceptKw("SET")) {
                    if (acceptKw("NULL")) {
                        action = "SET NULL";
                    } else {
                        expectKw("DEFAULT");
                        action = "SET DEFAULT";
                    }
                } else {
                    fail();
                }
            } else if (atKw("NOT") && ahead(1).isKeyword("FOR")) {
                next();
                next();
                expectKw("REPLICATION");
            } else {
                return;
            }
        }
    }

    // The inline REFERENCES t (c) of column `column`, as a table constraint.
    TableConstraint columnReference(const std::string& column, const std::string& constraintName, const Pos& pos)
    {
        TableConstraint c;
        c.kind = TableConstraint::Kind::ForeignKey;
        c.name = constraintName;
        c.pos = pos;
        OrderItem key;
        key.expr = std::make_unique<Expr>();
        key.expr->kind = ExprKind::Column;
        key.expr->pos = pos;
        key.expr->name.parts.push_back(column);
        key.expr->name.pos = pos;
        c.keyColumns.push_back(std::move(key));
        c.refTable = objectName();
        if (atOp("("))
            c.refColumns = nameList();
        referenceActions(c);
        return c;
    }

    // Whether the current token starts a table constraint (after an
    // optional CONSTRAINT name).
    bool atTableConstraint() const
    {
        return atKw("CONSTRAINT") || atKw("PRIMARY") || atKw("UNIQUE") || atKw("CHECK") ||
               atKw("FOREIGN") || atKw("DEFAULT");
    }

    // [CONSTRAINT x] PRIMARY KEY | UNIQUE | CHECK | FOREIGN KEY | DEFAULT v FOR c.
    TableConstraint tableConstraint()
    {
        TableConstraint c;
        c.pos = cur().pos;
        if (acceptKw("CONSTRAINT"))
            c.name = name();
        if (atKw("PRIMARY") || atKw("UNIQUE")) {
            const bool primary = atKw("PRIMARY");
            next();
            if (primary)
                expectKw("KEY");
            c.kind = primary ? TableConstraint::Kind::PrimaryKey : TableConstraint::Kind::Unique;
            c.clustered = primary;
            clusteredOption(&c.clustered);
            c.keyColumns = keyColumnList();
            skipStorageClauses();
        } else if (acceptKw("CHECK")) {
            c.kind = TableConstraint::Kind::Check;
            if (atKw("NOT")) {
                next();
                expectKw("FOR");
                expectKw("REPLICATION");
            }
            expectOp("(");
            c.expr = expr();
            expectOp(")");
        } else if (acceptKw("FOREIGN")) {
            expectKw("KEY");
            c.kind = TableConstraint::Kind::ForeignKey;
            c.keyColumns = keyColumnList();
            expectKw("REFERENCES");
            c.refTable = objectName();
            if (atOp("("))
                c.refColumns = nameList();
            referenceActions(c);
        } else if (acceptKw("DEFAULT")) {
            c.kind = TableConstraint::Kind::Default;
            c.expr = expr();
            expectKw("FOR");
            c.defaultColumn = name();
        } else {
            fail();
        }
        return c;
    }

    // name type [NULL | NOT NULL | [CONSTRAINT x] DEFAULT v | IDENTITY[(s,i)]
    // | [CONSTRAINT x] PRIMARY KEY / UNIQUE [CLUSTERED|NONCLUSTERED] | CHECK (e)
    // | REFERENCES t(c) | COLLATE x | ROWGUIDCOL] ...
    ColumnDef columnDef()
    {
        ColumnDef col;
        col.pos = cur().pos;
        col.name = name();
        col.type = typeName();
        for (;;) {
            std::string constraintName;
            if (acceptKw("CONSTRAINT"))
                constraintName = name();
            if (atKw("NULL")) {
                next();
                col.nullable = true;
            } else if (atKw("NOT") && ahead(1).isKeyword("NULL")) {
                next();
                next();
                col.nullable = false;
            } else if (acceptKw("DEFAULT")) {
                col.defaultValue = expr();
                col.defaultName = constraintName;
            } else if (acceptKw("IDENTITY")) {
                col.identity = true;
                if (acceptOp("(")) {
                    col.identitySeed = signedInteger();
                    expectOp(",");
                    col.identityIncrement = signedInteger();
                    expectOp(")");
                }
                if (atKw("NOT") && ahead(1).isKeyword("FOR")) {
                    next();
                    next();
                    expectKw("REPLICATION");
                }
            } else if (atKw("PRIMARY") || atKw("UNIQUE")) {
                const bool primary = atKw("PRIMARY");
                next();
                if (primary) {
                    expectKw("KEY");
                    col.primaryKey = true;
                } else {
                    col.unique = true;
                }
                col.clustered = primary;
                clusteredOption(&col.clustered);
                col.keyName = constraintName;
                skipStorageClauses();
            } else if (acceptKw("CHECK")) {
                expectOp("(");
                col.check = expr();
                expectOp(")");
            } else if (atKw("FOREIGN") || atKw("REFERENCES")) {
                const Pos at = cur().pos;
                if (acceptKw("FOREIGN"))
                    expectKw("KEY");
                expectKw("REFERENCES");
                col.foreignKeys.push_back(columnReference(col.name, constraintName, at));
            } else if (acceptKw("COLLATE")) {
                col.collation = name();
            } else if (acceptKw("ROWGUIDCOL")) {
            } else {
                if (!constraintName.empty())
                    fail();
                return col;
            }
        }
    }

    // CREATE TABLE table ( { column definition | table constraint }, ... )
    //     [ON filegroup] [TEXTIMAGE_ON filegroup]
    StmtPtr createTable()
    {
        auto s = std::make_unique<CreateTableStmt>();
        s->table = objectName();
        expectOp("(");
        do {
            if (atOp(")") && !(s->columns.empty() && s->constraints.empty()))
                break;  // a trailing comma before ")" is accepted
            if (atTableConstraint())
                s->constraints.push_back(tableConstraint());
            else
                s->columns.push_back(columnDef());
        } while (acceptOp(","));
        expectOp(")");
        skipStorageClauses();
        return s;
    }

    // CREATE VIEW view [(column, ...)] [WITH attribute, ...] AS query
    //     [WITH CHECK OPTION]
    StmtPtr createView()
    {
        auto s = std::make_unique<CreateViewStmt>();
        s->view = objectName();
        if (atOp("("))
            s->columns = nameList();
        if (atKw("WITH")) {
            next();
            do {
                name();  // SCHEMABINDING, ENCRYPTION, VIEW_METADATA
            } while (acceptOp(","));
        }
        expectKw("AS");
        s->queryOffset = cur().pos.offset;
        s->query = query();
        if (atKw("WITH") && ahead(1).isKeyword("CHECK")) {
            next();
            next();
            expectKw("OPTION");
        }
        return s;
    }

    // CREATE [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX name ON table (key, ...)
    //     [INCLUDE (column, ...)] [WITH options] [ON filegroup]
    StmtPtr createIndex()
    {
        auto s = std::make_unique<CreateIndexStmt>();
        if (acceptKw("UNIQUE"))
            s->unique = true;
        clusteredOption(&s->clustered);
        expectKw("INDEX");
        s->name = name();
        expectKw("ON");
        s->table = objectName();
        s->columns = keyColumnList();
        if (atKw("INCLUDE")) {
            next();
            nameList();
        }
        if (atKw("WITH") && !ahead(1).isOperator("(")) {
            // Old form: WITH PAD_INDEX, FILLFACTOR = n, IGNORE_DUP_KEY
            next();
            do {
                if (!acceptKw("FILLFACTOR") && !acceptKw("DROP_EXISTING") && !acceptKw("STATISTICS_NORECOMPUTE"))
                    name();
                if (acceptOp("="))
                    primary();
            } while (acceptOp(","));
        }
        skipStorageClauses();
        return s;
    }

    // CREATE TYPE name FROM base type [NULL | NOT NULL]
    StmtPtr createType()
    {
        auto s = std::make_unique<CreateTypeStmt>();
        s->name = objectName();
        expectKw("FROM");
        s->base = typeName();
        if (acceptKw("NULL")) {
            s->nullable = true;
        } else if (atKw("NOT") && ahead(1).isKeyword("NULL")) {
            next();
            next();
            s->nullable = false;
        }
        return s;
    }

    // "(NAME = x, FILENAME = 'f', SIZE = 10MB, ...)"; sizes and growth are
    // skipped.
    DatabaseFileOptions fileOptions()
    {
        DatabaseFileOptions file;
        expectOp("(");
        do {
            if (cur().kind != TokenKind::Identifier)
                fail();
            const std::string key = toUpper(next().text);
            expectOp("=");
            if (key == "NAME") {
                file.logicalName = nameOrString();
            } else if (key == "NEWNAME") {
                file.newName = nameOrString();
            } else if (key == "FILENAME") {
                file.fileName = primary();
            } else {
                if (atOp(",") || atOp(")"))
                    fail();
                while (!atOp(",") && !atOp(")")) {
                    if (cur().kind == TokenKind::End)
                        fail();
                    next();
                }
            }
        } while (acceptOp(","));
        expectOp(")");
        return file;
    }

    // CREATE DATABASE name [ON [PRIMARY] (file), ...] [LOG ON (file), ...]
    //     [COLLATE collation] [FOR ATTACH | FOR ATTACH_REBUILD_LOG]
    StmtPtr createDatabase()
    {
        auto s = std::make_unique<CreateDatabaseStmt>();
        s->database = name();
        if (acceptKw("ON")) {
            acceptKw("PRIMARY");
            do {
                s->dataFiles.push_back(fileOptions());
            } while (acceptOp(","));
        }
        if (atKw("LOG") && ahead(1).isKeyword("ON")) {
            next();
            next();
            do {
                s->logFiles.push_back(fileOptions());
            } while (acceptOp(","));
        }
        if (acceptKw("COLLATE"))
            name();
        if (atKw("FOR") && (ahead(1).isKeyword("ATTACH") || ahead(1).isKeyword("ATTACH_REBUILD_LOG"))) {
            next();
            next();
        }
        return s;
    }

    // ALTER { TABLE | DATABASE } ...
    StmtPtr alterStatement()
    {
        next();
        if (acceptKw("TABLE")) return alterTable();
        if (acceptKw("DATABASE")) return alterDatabase();
        refuseUnsupportedModule("ALTER");
        fail();
    }

    // ALTER TABLE table [WITH CHECK | NOCHECK]
    //     { ADD { column definition | table constraint }, ...
    //     | DROP { COLUMN name, ... | [CONSTRAINT] name, ... }
    //     | ALTER COLUMN name type [COLLATE c] [NULL | NOT NULL] }
    StmtPtr alterTable()
    {
        auto s = std::make_unique<AlterTableStmt>();
        s->table = objectName();
        if (atKw("WITH") && (ahead(1).isKeyword("CHECK") || ahead(1).isKeyword("NOCHECK"))) {
            next();
            s->withCheck = next().isKeyword("CHECK");
        }
        if ((atKw("CHECK") || atKw("NOCHECK")) && ahead(1).isKeyword("CONSTRAINT")) {
            s->action = next().isKeyword("CHECK") ? AlterTableStmt::Action::CheckConstraint
                                                  : AlterTableStmt::Action::NoCheckConstraint;
            next();
            if (!acceptKw("ALL")) {
                do {
                    s->names.push_back(name());
                } while (acceptOp(","));
            }
        } else if (acceptKw("ADD")) {
            s->action = AlterTableStmt::Action::Add;
            do {
                if (atTableConstraint())
                    s->constraints.push_back(tableConstraint());
                else
                    s->columns.push_back(columnDef());
            } while (acceptOp(","));
        } else if (acceptKw("DROP")) {
            if (acceptKw("COLUMN")) {
                s->action = AlterTableStmt::Action::DropColumn;
            } else {
                acceptKw("CONSTRAINT");
                s->action = AlterTableStmt::Action::DropConstraint;
            }
            do {
                s->names.push_back(name());
            } while (acceptOp(","));
        } else if (acceptKw("ALTER")) {
            expectKw("COLUMN");
            s->action = AlterTableStmt::Action::AlterColumn;
            ColumnDef col;
            col.pos = cur().pos;
            col.name = name();
            col.type = typeName();
            if (acceptKw("COLLATE"))
                col.collation = name();
            if (acceptKw("NULL")) {
                col.nullable = true;
            } else if (atKw("NOT") && ahead(1).isKeyword("NULL")) {
                next();
                next();
                col.nullable = false;
            }
            s->columns.push_back(std::move(col));
        } else {
            fail();
        }
        return s;
    }

    // ALTER DATABASE x MODIFY FILE (...) | MODIFY NAME = y | SET options.
    StmtPtr alterDatabase()
    {
        auto s = std::make_unique<AlterDatabaseStmt>();
        s->database = name();
        if (acceptKw("MODIFY")) {
            if (acceptKw("FILE")) {
                s->action = AlterDatabaseStmt::Action::ModifyFile;
                s->file = fileOptions();
            } else if (acceptKw("NAME")) {
                s->action = AlterDatabaseStmt::Action::ModifyName;
                expectOp("=");
                s->newName = name();
            } else {
                fail();
            }
        } else if (acceptKw("SET")) {
            s->action = AlterDatabaseStmt::Action::Set;
            s->options = optionWords();
        } else {
            fail();
        }
        return s;
    }

    // Comma-separated options kept as text ("RECOVERY SIMPLE", "SINGLE_USER
    // WITH ROLLBACK IMMEDIATE"), up to the next statement.
    std::vector<std::string> optionWords()
    {
        std::vector<std::string> options;
        std::string curOption;
        for (;;) {
            const Token& t = cur();
            if (t.kind == TokenKind::End || t.isOperator(";"))
                break;
            if (t.isOperator(",")) {
                if (curOption.empty())
                    fail();
                options.push_back(curOption);
                curOption.clear();
                next();
                continue;
            }
            if (t.isKeyword("WITH") && ahead(1).isKeyword("ROLLBACK")) {
                // termination clause: WITH ROLLBACK IMMEDIATE | AFTER n [SECONDS]
                curOption += curOption.empty() ? "" : " ";
                curOption += next().text;
                curOption += " " + next().text;
                continue;
            }
            if (startsStatementOrBlockEnd(t))
                break;
            if (!curOption.empty())
                curOption += ' ';
            curOption += src_.substr(t.pos.offset, t.endOffset - t.pos.offset);
            next();
        }
        if (curOption.empty())
            fail();
        options.push_back(curOption);
        return options;
    }

    // DROP DATABASE [IF EXISTS] name, ...
    // DROP { TABLE | VIEW | INDEX | TYPE | PROC[EDURE] } [IF EXISTS] name, ...
    //     (an index as table.index or index ON table)
    StmtPtr dropStatement()
    {
        next();
        if (acceptKw("DATABASE")) {
            auto s = std::make_unique<DropDatabaseStmt>();
            s->ifExists = ifExistsClause();
            do {
                s->databases.push_back(name());
            } while (acceptOp(","));
            return s;
        }
        auto s = std::make_unique<DropStmt>();
        if (acceptKw("TABLE")) s->object = DropStmt::Object::Table;
        else if (acceptKw("VIEW")) s->object = DropStmt::Object::View;
        else if (acceptKw("INDEX")) s->object = DropStmt::Object::Index;
        else if (acceptKw("TYPE")) s->object = DropStmt::Object::Type;
        else if (acceptKw("PROC") || acceptKw("PROCEDURE")) s->object = DropStmt::Object::Procedure;
        else fail();
        s->ifExists = ifExistsClause();
        do {
            ObjectName n = objectName();
            if (s->object == DropStmt::Object::Index && acceptKw("ON")) {
                // DROP INDEX i ON t: stored as {t..., i}
                ObjectName table = objectName();
                table.parts.push_back(n.last());
                table.pos = n.pos;
                n = std::move(table);
            }
            s->names.push_back(std::move(n));
        } while (acceptOp(","));
        return s;
    }

    bool ifExistsClause()
    {
        if (atKw("IF") && ahead(1).isKeyword("EXISTS")) {
            next();
            next();
            return true;
        }
        return false;
    }

    // ---- variables and options -------------------------------------------

    // DECLARE @name [AS] type [= expr], ...
    StmtPtr declareStatement()
    {
        next();
        auto s = std::make_unique<DeclareStmt>();
        do {
            VariableDecl v;
            v.pos = cur().pos;
            if (isName(cur()) && (ahead(1).isKeyword("CURSOR") || ahead(1).isKeyword("INSENSITIVE") ||
                                  ahead(1).isKeyword("SCROLL")))
                unsupportedAt(cur(), "cursors (DECLARE ... CURSOR)");
            if (cur().kind != TokenKind::Variable)
                fail();
            v.name = next().text;
            acceptKw("AS");
            if (atKw("CURSOR"))
                unsupportedAt(cur(), "cursor variables (DECLARE @v CURSOR)");
            if (atKw("TABLE"))
                unsupportedAt(cur(), "table variables (DECLARE @v TABLE)");
            v.type = typeName();
            if (acceptOp("="))
                v.init = expr();
            s->variables.push_back(std::move(v));
        } while (acceptOp(","));
        return s;
    }

    // SET @variable { = | += | -= | *= | /= } expr
    // SET option value, e.g. SET NOCOUNT ON, SET TRANSACTION ISOLATION LEVEL ...
    StmtPtr setStatement()
    {
        const Pos setPos = next().pos;
        if (cur().kind == TokenKind::Variable) {
            auto s = std::make_unique<SetVariableStmt>();
            s->variable = next().text;
            const Token& op = cur();
            if (op.isOperator("=") || op.isOperator("+=") || op.isOperator("-=") ||
                op.isOperator("*=") || op.isOperator("/=")) {
                s->op = next().text;
            } else {
                fail();
            }
            s->value = expr();
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

    // ---- control flow ----------------------------------------------------

    // IF condition statement [ELSE statement]
    StmtPtr ifStatement()
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
    StmtPtr whileStatement()
    {
        next();
        auto s = std::make_unique<WhileStmt>();
        s->condition = expr();
        s->body = nestedStatement();
        return s;
    }

    // BEGIN TRAN[SACTION] [name] starts a transaction; BEGIN alone a block.
    StmtPtr beginStatement()
    {
        next();
        if (atKw("TRAN") || atKw("TRANSACTION")) {
            next();
            auto s = std::make_unique<SimpleStmt>(StmtKind::BeginTran);
            s->name = transactionName();
            return s;
        }
        if (atKw("TRY") || atKw("CATCH"))
            unsupportedAt(at(p_ - 1), "BEGIN TRY ... END CATCH");
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

    std::string transactionName()
    {
        if (cur().kind == TokenKind::Variable || isName(cur()))
            return next().text;
        return {};
    }

    // { COMMIT | ROLLBACK } [ TRAN[SACTION] [name] | WORK ]
    StmtPtr endTransaction(StmtKind kind)
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
    StmtPtr returnStatement()
    {
        next();
        auto s = std::make_unique<ReturnStmt>();
        if (startsExpression(cur()))
            s->value = expr();
        return s;
    }

    // Whether t can begin an expression (RETURN's value is optional).
    static bool startsExpression(const Token& t)
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
    StmtPtr execStatement()
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

    bool startsExecArg(const Token& t) const
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
    ExecArg execArg()
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

    // ---- backup and restore ----------------------------------------------

    // TO DISK = 'f' / FROM DISK = 'f' (the caller has taken TO or FROM).
    ExprPtr diskClause()
    {
        expectKw("DISK");
        expectOp("=");
        const Token& t = cur();
        if (t.kind == TokenKind::String || t.kind == TokenKind::NString ||
            t.kind == TokenKind::Variable)
            return primary();
        fail();
    }

    // One WITH option: "INIT", "STATS = 10", "NAME = 'x'" -> "INIT",
    // "STATS=10", "NAME=x".
    std::string withOption()
    {
        if (cur().kind != TokenKind::Identifier)
            fail();
        std::string opt = toUpper(next().text);
        if (acceptOp("=")) {
            const Token& v = cur();
            if (isLiteralToken(v) || v.kind == TokenKind::Variable || isName(v))
                opt += "=" + next().text;
            else
                fail();
        }
        return opt;
    }

    // BACKUP DATABASE { name | @v } TO DISK = file [WITH option, ...]
    StmtPtr backupStatement()
    {
        next();
        expectKw("DATABASE");
        auto s = std::make_unique<BackupStmt>();
        if (cur().kind == TokenKind::Variable)
            s->database = next().text;
        else
            s->database = name();
        expectKw("TO");
        s->disk = diskClause();
        if (acceptKw("WITH")) {
            do {
                s->options.push_back(withOption());
            } while (acceptOp(","));
        }
        return s;
    }

    // RESTORE { DATABASE { name | @v } | FILELISTONLY | HEADERONLY | VERIFYONLY }
    //     FROM DISK = file [WITH { MOVE logical TO physical | REPLACE | option }, ...]
    StmtPtr restoreStatement()
    {
        next();
        auto s = std::make_unique<RestoreStmt>();
        if (acceptKw("DATABASE")) {
            s->what = RestoreStmt::Kind::Database;
            if (cur().kind == TokenKind::Variable)
                s->database = next().text;
            else
                s->database = name();
        } else if (acceptKw("FILELISTONLY")) {
            s->what = RestoreStmt::Kind::FileListOnly;
        } else if (acceptKw("HEADERONLY")) {
            s->what = RestoreStmt::Kind::HeaderOnly;
        } else if (acceptKw("VERIFYONLY")) {
            s->what = RestoreStmt::Kind::VerifyOnly;
        } else {
            fail();
        }
        expectKw("FROM");
        s->disk = diskClause();
        if (acceptKw("WITH")) {
            do {
                if (acceptKw("MOVE")) {
                    RestoreMove m;
                    m.logicalName = moveOperand();
                    expectKw("TO");
                    m.physicalName = moveOperand();
                    s->moves.push_back(std::move(m));
                } else if (acceptKw("REPLACE")) {
                    s->replace = true;
                } else {
                    s->options.push_back(withOption());
                }
            } while (acceptOp(","));
        }
        return s;
    }

    ExprPtr moveOperand()
    {
        const Token& t = cur();
        if (t.kind == TokenKind::String || t.kind == TokenKind::NString ||
            t.kind == TokenKind::Variable)
            return primary();
        fail();
    }

    // ---- queries ------------------------------------------------------------

    // Whether the "(" at the current token opens a query: "(select" or
    // "((select".
    bool parenStartsQuery() const
    {
        std::size_t i = 0;
        while (ahead(i).isOperator("("))
            ++i;
        return i > 0 && ahead(i).isKeyword("SELECT");
    }

    // A query expression: set operations over SELECT blocks, then ORDER BY
    // for the whole. INTERSECT binds tighter than UNION and EXCEPT, which
    // apply from left to right.
    QueryPtr query()
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
    QueryPtr intersectTerm()
    {
        auto q = std::make_unique<Query>();
        q->pos = cur().pos;
        q->blocks.push_back(queryOperand());
        while (acceptKw("INTERSECT"))
            appendOperand(q, SetOp::Intersect, queryOperand());
        return q;
    }

    // SELECT ... or "( query )".
    std::unique_ptr<QueryBlock> queryOperand()
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
    static std::unique_ptr<QueryBlock> asOperand(QueryPtr q)
    {
        if (q->blocks.size() == 1 && q->orderBy.empty())
            return std::move(q->blocks[0]);
        auto block = std::make_unique<QueryBlock>();
        block->pos = q->pos;
        block->nested = std::move(q);
        return block;
    }

    // SQLite runs at most 500 operands in one compound SELECT; longer
    // chains continue from a nested operand holding what came before.
    static constexpr std::size_t kMaxFlatOperands = 400;

    static void appendOperand(QueryPtr& q, SetOp op, std::unique_ptr<QueryBlock> operand)
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

    std::vector<OrderItem> orderList()
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
    std::unique_ptr<QueryBlock> selectBlock()
    {
        auto block = std::make_unique<QueryBlock>();
        block->pos = next().pos;  // SELECT
        if (acceptKw("DISTINCT"))
            block->distinct = true;
        else
            acceptKw("ALL");
        if (atKw("TOP")) {
            block->top = topClause(&block->topPercent);
            if (atKw("WITH") && ahead(1).isKeyword("TIES"))
                unsupportedAt(cur(), "TOP ... WITH TIES");
        }
        do {
            block->items.push_back(selectItem());
        } while (acceptOp(","));
        if (atKw("INTO"))
            unsupportedAt(cur(), "SELECT ... INTO");
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
    SelectItem selectItem()
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

    std::vector<TableRefPtr> tableSources()
    {
        std::vector<TableRefPtr> sources;
        do {
            sources.push_back(joinedTable());
        } while (acceptOp(","));
        return sources;
    }

    // source { [INNER] JOIN | LEFT/RIGHT/FULL [OUTER] JOIN source ON cond
    //        | CROSS JOIN source }
    TableRefPtr joinedTable()
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

    TableRefPtr tableSource()
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
    void tableHints()
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

    // ---- expressions --------------------------------------------------------
    //
    // Precedence, loosest first: OR; AND; NOT; comparisons and the predicates
    // LIKE, BETWEEN, IN, IS NULL; binary + - & ^ |; * / %; unary - + ~.

    ExprPtr expr()
    {
        DepthGuard guard(*this);
        return orExpr();
    }

    ExprPtr orExpr()
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

    ExprPtr andExpr()
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

    ExprPtr notExpr()
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
    ExprPtr predicate()
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

    ExprPtr additive()
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

    ExprPtr multiplicative()
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

    ExprPtr unary()
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

    ExprPtr primary()
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
    ExprPtr nameExpression()
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
    ExprPtr functionCall(ObjectName n)
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
            refuseWindow();
            return e;
        }
        if (atOp("*") && ahead(1).isOperator(")")) {
            next();
            next();
            e->star = true;
            refuseWindow();
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
        refuseWindow();
        return e;
    }

    // f(...) OVER (...): ranking and windowed aggregates.
    void refuseWindow() const
    {
        if (atKw("OVER"))
            unsupportedAt(cur(), "window functions (OVER)");
    }

    // CAST(expr AS type)
    ExprPtr castExpression()
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
    ExprPtr convertExpression()
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
    ExprPtr caseExpression()
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
};

}  // namespace

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
