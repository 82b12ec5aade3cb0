// The parser's shared declarations: the token helpers and the Parser
// class, whose statement families live in parser_*.cpp. Private to the
// parser; everything else uses parser.h.
#pragma once

#include "ast.h"
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

namespace vqsql::parsing {

using namespace ast;

// Nesting deeper than this (parentheses, subqueries, unary chains, nested
// statements) is refused with error 191 instead of risking the stack.
constexpr int kMaxDepth = 500;

// SQL Server reports syntax errors at level 15.
constexpr int kSyntaxSeverity = 15;

inline std::string toUpper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

inline std::string toLower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// SQL Server's reserved keywords (as of the 2008 release). These words can
// only be used as names when bracketed or double-quoted.
inline bool isReservedWord(std::string_view upper)
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

inline bool isReservedToken(const Token& t)
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
inline bool startsStatementOrBlockEnd(const Token& t)
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
inline bool isBuiltinFunctionName(const std::string& upper)
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
        "CONNECTIONPROPERTY", "CONTEXT_INFO", "CURSOR_STATUS", "CURRENT_REQUEST_ID", "CURRENT_TIMESTAMP", "CURRENT_USER",
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

inline bool isLiteralToken(const Token& t)
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

inline ExprPtr makeExpr(ExprKind kind, const Pos& pos)
{
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->pos = pos;
    return e;
}

inline ExprPtr makeLiteral(const Token& t)
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

inline ExprPtr makeBinary(ExprKind kind, std::string op, ExprPtr left, ExprPtr right)
{
    auto e = makeExpr(kind, left->pos);
    e->op = std::move(op);
    e->args.push_back(std::move(left));
    e->args.push_back(std::move(right));
    return e;
}

// +=, -=, *=, /=, %=, &=, |=, ^=: an assignment that applies the operator
// to the target's value.
inline bool isCompoundAssignment(const Token& t)
{
    static const char* const ops[] = {"+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="};
    for (const char* op : ops)
        if (t.isOperator(op))
            return true;
    return false;
}

// Comparison operators as stored in the tree: "!=" is "<>", "!<" is ">=",
// "!>" is "<="; nullptr when the token is no comparison.
inline const char* comparisonOp(const Token& t)
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

    void applyQuotedIdentifier(bool on);
    std::unique_ptr<Batch> batch();
    StmtPtr nextStatement();
    ExprPtr standaloneExpression();
    std::vector<ProcedureParameter> parameterList();

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

    void applyQuotes(Token& t) const;
    void enterLevel();

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

    const Token& at(std::size_t i) const;
    void dropReadTokens();
    const Token& cur() const;
    const Token& ahead(std::size_t n) const { return at(p_ + n); }
    const Token& next();
    std::size_t lastEnd() const { return p_ > 0 ? at(p_ - 1).endOffset : 0; }

    bool atKw(const char* kw) const { return cur().isKeyword(kw); }
    bool atOp(const char* op) const { return cur().isOperator(op); }
    bool acceptKw(const char* kw);
    bool acceptOp(const char* op);
    void expectKw(const char* kw);
    void expectOp(const char* op);
    static bool isName(const Token& t);
    [[noreturn]] void fail() const;
    [[noreturn]] void failAt(const Token& t) const;
    [[noreturn]] static void unsupportedAt(const Token& t, const std::string& what);

    // ---- names ------------------------------------------------------------

    std::string name();
    std::string namePartAfterDot();
    ObjectName objectName();
    std::string nameOrString();

    // ---- statements -------------------------------------------------------

    StmtPtr statement(bool firstInBatch);
    StmtPtr statementBody(bool firstInBatch);
    void refuseUnsupportedStatement(const Token& t);
    StmtPtr nestedStatement();
    StmtPtr withStatement();
    CommonTableExpr commonTableExpr();
    void queryOptions(ast::Stmt& s);
    void windowClause(Expr& e);
    ExprPtr topClause(bool* percent);
    StmtPtr insertStatement();
    Assignment assignment();
    StmtPtr updateStatement();
    StmtPtr deleteStatement();
    StmtPtr truncateStatement();

    // ---- CREATE / ALTER / DROP -------------------------------------------

    StmtPtr createStatement();
    void refuseUnsupportedModule(const char* verb);
    TypeName typeName();
    std::int64_t signedInteger();
    void skipParenthesised();
    void skipStorageClauses();
    std::vector<OrderItem> keyColumnList();
    std::vector<std::string> nameList();
    void clusteredOption(bool* clustered);
    void referenceActions(TableConstraint& c);
    TableConstraint columnReference(const std::string& column, const std::string& constraintName, const Pos& pos);
    bool atTableConstraint() const;
    TableConstraint tableConstraint();
    ColumnDef columnDef();
    StmtPtr createTable();
    StmtPtr createView();
    StmtPtr createIndex();
    StmtPtr createType();
    DatabaseFileOptions fileOptions();
    StmtPtr createDatabase();
    StmtPtr alterStatement();
    StmtPtr alterTable();
    StmtPtr alterDatabase();
    std::vector<std::string> optionWords();
    StmtPtr dropStatement();
    bool ifExistsClause();
    StmtPtr createProcedure(bool alter);
    std::vector<ProcedureParameter> procedureParameters();

    // ---- variables and options -------------------------------------------

    StmtPtr declareStatement();
    StmtPtr setStatement();

    // ---- control flow ----------------------------------------------------

    StmtPtr ifStatement();
    StmtPtr whileStatement();
    StmtPtr beginStatement();
    std::string transactionName();
    StmtPtr endTransaction(StmtKind kind);
    StmtPtr returnStatement();
    // TRY ... CATCH, RAISERROR, WAITFOR, SAVE TRANSACTION (parser_errors.cpp)
    StmtPtr tryCatchStatement();
    std::vector<StmtPtr> statementsUntilEnd(const char* closing);
    StmtPtr raiserrorStatement();
    StmtPtr waitforStatement();
    StmtPtr saveTransactionStatement();
    static bool startsExpression(const Token& t);
    StmtPtr execStatement();
    bool startsExecArg(const Token& t) const;
    ExecArg execArg();

    // ---- cursors (parser_cursors.cpp) -------------------------------------

    CursorRef cursorRef();
    StmtPtr declareCursorStatement();
    void cursorOptionsAndQuery(DeclareCursorStmt& s);
    StmtPtr cursorAssignment(const std::string& variable);
    StmtPtr cursorStatement(StmtKind kind);
    StmtPtr fetchStatement();
    bool currentOfClause(CursorRef& out);

    // ---- backup and restore ----------------------------------------------

    ExprPtr diskClause();
    std::string withOption();
    StmtPtr backupStatement();
    StmtPtr restoreStatement();
    ExprPtr moveOperand();

    // ---- queries ------------------------------------------------------------

    bool parenStartsQuery() const;
    QueryPtr query();
    QueryPtr intersectTerm();
    std::unique_ptr<QueryBlock> queryOperand();
    static std::unique_ptr<QueryBlock> asOperand(QueryPtr q);

    // SQLite runs at most 500 operands in one compound SELECT; longer
    // chains continue from a nested operand holding what came before.
    static constexpr std::size_t kMaxFlatOperands = 400;

    static void appendOperand(QueryPtr& q, SetOp op, std::unique_ptr<QueryBlock> operand);
    std::vector<OrderItem> orderList();
    std::unique_ptr<QueryBlock> selectBlock();
    SelectItem selectItem();
    std::vector<TableRefPtr> tableSources();
    TableRefPtr joinedTable();
    TableRefPtr tableSource();
    void tableHints();

    // ---- expressions --------------------------------------------------------
    //
    // Precedence, loosest first: OR; AND; NOT; comparisons and the predicates
    // LIKE, BETWEEN, IN, IS NULL; binary + - & ^ |; * / %; unary - + ~.

    ExprPtr expr();
    ExprPtr orExpr();
    ExprPtr andExpr();
    ExprPtr notExpr();
    ExprPtr predicate();
    ExprPtr additive();
    ExprPtr multiplicative();
    ExprPtr unary();
    ExprPtr primary();
    ExprPtr nameExpression();
    ExprPtr functionCall(ObjectName n);
    ExprPtr castExpression();
    ExprPtr convertExpression();
    ExprPtr caseExpression();
};

}  // namespace vqsql::parsing
