// The syntax tree of a Transact-SQL batch, as the parser builds it and the
// translator and executor read it.
//
// Identifiers are kept unquoted ("[Password]" -> "Password") in their
// original letter case; keywords are not kept. Every node carries the
// position of its first token. Nodes own their children through
// unique_ptr; a node is never shared.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vqsql::ast {

struct Pos {
    int line = 1;            // 1-based line in the batch
    int column = 1;          // 1-based column (bytes)
    std::size_t offset = 0;  // byte offset in the batch text
};

// A possibly qualified name as written: "t", "dbo.t", "db..t", "db.dbo.t",
// and for columns "t.c", "db.dbo.t.c". parts holds every part in order;
// an omitted middle part ("db..t") is an empty string.
struct ObjectName {
    std::vector<std::string> parts;
    Pos pos;

    bool empty() const { return parts.empty(); }
    const std::string& last() const { return parts.back(); }
    // For a table name: the database part ("" if none), the schema part
    // ("" if none) and the object name.
    std::string database() const { return parts.size() >= 3 ? parts[parts.size() - 3] : std::string(); }
    std::string schema() const { return parts.size() >= 2 ? parts[parts.size() - 2] : std::string(); }
    // Parts joined with "." as written ("db..t").
    std::string toString() const;
};

// A type as written: "int", "varchar(32)", "numeric(19,4)", "varchar(max)",
// "T_VA32". length: -2 when not given, -1 for MAX.
struct TypeName {
    std::string name;
    int length = -2;
    int precision = -1;   // numeric(p,s): precision = p, scale = s; also
    int scale = -1;       // for a single argument of numeric: precision only
    Pos pos;
};

struct Expr;
struct Query;
struct Stmt;
using ExprPtr = std::unique_ptr<Expr>;
using QueryPtr = std::unique_ptr<Query>;
using StmtPtr = std::unique_ptr<Stmt>;

enum class ExprKind {
    Literal,      // litKind + text
    Column,       // name: [db.][schema.][table.]column
    Variable,     // text = "@name"
    SysVariable,  // text = "@@NAME" as written
    Unary,        // op "-", "+", "~"; args[0]
    Binary,       // op "+", "-", "*", "/", "%", "&", "|", "^"; args[0], args[1]
    Compare,      // op "=", "<>", "<", ">", "<=", ">=" ("!=" becomes "<>", "!<" ">=", "!>" "<=")
    And,          // args[0] AND args[1]
    Or,           // args[0] OR args[1]
    Not,          // NOT args[0]
    Like,         // args[0] [NOT] LIKE args[1] [ESCAPE args[2]]
    Between,      // args[0] [NOT] BETWEEN args[1] AND args[2]
    InList,       // args[0] [NOT] IN (args[1], args[2] ...)
    InSubquery,   // args[0] [NOT] IN (query)
    Exists,       // EXISTS (query)   (NOT EXISTS is Not over Exists)
    IsNull,       // args[0] IS [NOT] NULL
    Function,     // name(args); count(*) has star = true; count(distinct x) distinct = true
    Cast,         // CAST(args[0] AS type)
    Convert,      // CONVERT(type, args[0] [, args[1] = style])
    Case,         // CASE [args[0] if hasOperand] WHEN whens[i].first THEN whens[i].second ... [ELSE elseExpr] END
    Subquery,     // (query) used as a value
    Star,         // * or qualifier.* in a select list / count(*)
};

enum class LiteralKind {
    Null,
    Integer,   // text = digits
    Decimal,   // text = "1.50" (a numeric literal)
    Float,     // text = "1.5E3"
    String,    // text = the value, quotes removed and '' undone (UTF-8)
    NString,   // N'...'
    Binary,    // 0x1F2E: text = the raw bytes
    Money,     // $12.34, ￥-2: text = "12.34", "-2" (symbol removed)
};

struct Expr {
    ExprKind kind = ExprKind::Literal;
    Pos pos;

    LiteralKind litKind = LiteralKind::Null;
    std::string text;          // literal text, variable name, function name (as written)
    std::string op;            // operator of Unary/Binary/Compare
    ObjectName name;           // Column; Star qualifier (empty for a bare *)
    std::vector<ExprPtr> args;
    bool negated = false;      // NOT LIKE, NOT BETWEEN, NOT IN, IS NOT NULL
    bool distinct = false;     // aggregate(DISTINCT x)
    bool star = false;         // count(*)
    bool hasOperand = false;   // simple CASE
    TypeName type;             // Cast / Convert target
    std::vector<std::pair<ExprPtr, ExprPtr>> whens;
    ExprPtr elseExpr;
    QueryPtr query;            // Subquery, InSubquery, Exists
    bool over = false;                  // Function: f(...) OVER (...)
    std::vector<ExprPtr> partitionBy;   // OVER (PARTITION BY ...)
    std::vector<ExprPtr> overOrderBy;   // OVER (... ORDER BY ...)
    std::vector<bool> overDescending;   // per overOrderBy item
};

enum class JoinType { Inner, Left, Right, Full, Cross };

struct TableRef;
using TableRefPtr = std::unique_ptr<TableRef>;

struct TableRef {
    enum class Kind { Named, Derived, Join };
    Kind kind = Kind::Named;
    Pos pos;
    ObjectName name;           // Named
    std::string alias;         // Named (optional), Derived (required)
    QueryPtr query;            // Derived
    JoinType joinType = JoinType::Inner;   // Join
    TableRefPtr left, right;   // Join
    ExprPtr on;                // Join (none for Cross)
};

struct SelectItem {
    ExprPtr expr;              // a Star expression for * and t.*
    std::string alias;         // "" when none; "x = expr" and "expr AS x" both set it
    std::string assignVariable;  // SELECT @v = expr: "@v" ("" otherwise)
    Pos pos;
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

// One SELECT ... FROM ... WHERE ... GROUP BY ... HAVING block.
struct QueryBlock {
    Pos pos;
    bool distinct = false;
    ExprPtr top;               // TOP n / TOP (n)
    bool topPercent = false;
    bool topWithTies = false;  // TOP n WITH TIES
    std::vector<SelectItem> items;
    std::vector<TableRefPtr> from;   // comma-separated sources (each may be a join tree)
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    ObjectName into;           // SELECT ... INTO table (empty if none)
    QueryPtr nested;           // a parenthesised set expression standing as one operand
                               // of a set operation (the other fields are then unused)
};

enum class SetOp { Union, UnionAll, Except, Intersect };

// A query expression: blocks[0] (op[0] blocks[1] ...) ORDER BY ..., the
// operators applied from left to right; the parser turns INTERSECT's
// higher precedence and parentheses into nested operands.
struct Query {
    Pos pos;
    std::vector<std::unique_ptr<QueryBlock>> blocks;
    std::vector<SetOp> ops;    // ops.size() == blocks.size() - 1
    std::vector<OrderItem> orderBy;
};

// WITH name [(columns)] AS (query): one common table expression of the
// WITH clause in front of a SELECT, INSERT, UPDATE or DELETE.
struct CommonTableExpr {
    std::string name;
    std::vector<std::string> columns;   // the optional column list
    QueryPtr query;
    Pos pos;
};

// ---- statements -------------------------------------------------------

enum class StmtKind {
    Select, Insert, Update, Delete, Truncate,
    CreateTable, AlterTable, CreateView, CreateIndex, CreateType,
    Drop,                      // DROP TABLE / VIEW / INDEX / TYPE / PROCEDURE
    Declare, SetVariable, SetOption,
    If, While, Block, Return, Break, Continue,
    Exec, BeginTran, CommitTran, RollbackTran, Print,
    Use, CreateDatabase, DropDatabase, AlterDatabase, Backup, Restore,
    TryCatch, Raiserror, WaitFor, SaveTran,
    DeclareCursor, OpenCursor, FetchCursor, CloseCursor, DeallocateCursor,   // Transact-SQL cursors
    CreateProcedure,           // CREATE / ALTER PROCEDURE
};

struct Stmt {
    explicit Stmt(StmtKind k) : kind(k) {}
    virtual ~Stmt() = default;
    StmtKind kind;
    Pos pos;
    std::size_t endOffset = 0;   // byte offset just past the statement's last token
    std::vector<CommonTableExpr> with;   // WITH ... in front of SELECT / INSERT / UPDATE / DELETE
    int maxRecursion = 100;      // OPTION (MAXRECURSION n) at its end; 0: no limit
};

struct SelectStmt : Stmt {
    SelectStmt() : Stmt(StmtKind::Select) {}
    QueryPtr query;
};

struct InsertStmt : Stmt {
    InsertStmt() : Stmt(StmtKind::Insert) {}
    ExprPtr top;                                   // INSERT TOP (n) ... SELECT
    ObjectName table;
    std::vector<std::string> columns;              // empty: all columns in order
    std::vector<std::vector<ExprPtr>> values;      // VALUES (...), (...)
    QueryPtr query;                                // INSERT ... SELECT
    bool defaultValues = false;                    // DEFAULT VALUES
};

// A cursor as a statement names it: `c`, `GLOBAL c`, or a cursor variable `@c`.
struct CursorRef {
    std::string name;        // as written; "@c" for a cursor variable
    bool global = false;     // GLOBAL c: the global cursor even where a local one has the name
    Pos pos;

    bool empty() const { return name.empty(); }
};

struct Assignment {
    ObjectName column;         // SET col = ... / SET t.col = ...
    std::string variable;      // SET @v = ... (inside UPDATE), "" otherwise
    ExprPtr value;             // nullptr for "= DEFAULT"
};

struct UpdateStmt : Stmt {
    UpdateStmt() : Stmt(StmtKind::Update) {}
    ObjectName table;          // target (may be an alias of a FROM source)
    ExprPtr top;
    std::vector<Assignment> assignments;
    std::vector<TableRefPtr> from;   // UPDATE ... SET ... FROM ...
    ExprPtr where;
    CursorRef currentOf;             // WHERE CURRENT OF c (empty otherwise)
};

struct DeleteStmt : Stmt {
    DeleteStmt() : Stmt(StmtKind::Delete) {}
    ObjectName table;
    ExprPtr top;
    std::vector<TableRefPtr> from;   // DELETE t FROM t JOIN ...
    ExprPtr where;
    CursorRef currentOf;             // WHERE CURRENT OF c (empty otherwise)
};

struct TruncateStmt : Stmt {
    TruncateStmt() : Stmt(StmtKind::Truncate) {}
    ObjectName table;
};

struct TableConstraint;

struct ColumnDef {
    std::string name;
    TypeName type;
    Pos pos;
    std::optional<bool> nullable;   // NULL / NOT NULL as written; nullopt if neither
    ExprPtr defaultValue;
    std::string defaultName;        // CONSTRAINT x DEFAULT ...
    bool identity = false;
    std::int64_t identitySeed = 1, identityIncrement = 1;
    bool primaryKey = false;        // inline PRIMARY KEY
    bool unique = false;            // inline UNIQUE
    std::string keyName;            // CONSTRAINT x PRIMARY KEY / UNIQUE (inline)
    bool clustered = true;          // inline key: CLUSTERED (default) / NONCLUSTERED
    std::string collation;          // COLLATE x
    ExprPtr check;                  // inline CHECK (...)
    std::vector<TableConstraint> foreignKeys;   // inline [CONSTRAINT x] [FOREIGN KEY] REFERENCES t (c)
};

struct TableConstraint {
    enum class Kind { PrimaryKey, Unique, Check, ForeignKey, Default };
    Kind kind = Kind::PrimaryKey;
    std::string name;               // "" when not named
    Pos pos;
    std::vector<OrderItem> keyColumns;   // PK / UNIQUE / FK: Column expressions
    bool clustered = true;          // PRIMARY KEY default CLUSTERED; UNIQUE default NONCLUSTERED
    ExprPtr expr;                   // CHECK (...), DEFAULT value
    std::string defaultColumn;      // ALTER TABLE ADD CONSTRAINT d DEFAULT v FOR col
    ObjectName refTable;            // FOREIGN KEY ... REFERENCES t (cols)
    std::vector<std::string> refColumns;
    std::string onDelete = "NO ACTION";   // ON DELETE / ON UPDATE: NO ACTION, CASCADE, SET NULL, SET DEFAULT
    std::string onUpdate = "NO ACTION";
};

struct CreateTableStmt : Stmt {
    CreateTableStmt() : Stmt(StmtKind::CreateTable) {}
    ObjectName table;
    std::vector<ColumnDef> columns;
    std::vector<TableConstraint> constraints;
};

struct AlterTableStmt : Stmt {
    AlterTableStmt() : Stmt(StmtKind::AlterTable) {}
    // CheckConstraint / NoCheckConstraint: [WITH CHECK] CHECK | NOCHECK
    // CONSTRAINT names (names empty for ALL).
    enum class Action { Add, DropColumn, DropConstraint, AlterColumn, CheckConstraint, NoCheckConstraint };
    Action action = Action::Add;
    std::optional<bool> withCheck;             // WITH CHECK (true) / WITH NOCHECK (false): check existing rows
    ObjectName table;
    std::vector<ColumnDef> columns;            // ADD columns / ALTER COLUMN (one)
    std::vector<TableConstraint> constraints;  // ADD [CONSTRAINT] ...
    std::vector<std::string> names;            // DROP COLUMN a, b / DROP CONSTRAINT x
};

struct CreateViewStmt : Stmt {
    CreateViewStmt() : Stmt(StmtKind::CreateView) {}
    ObjectName view;
    std::vector<std::string> columns;   // optional column list
    QueryPtr query;
    std::size_t queryOffset = 0;        // where the view's SELECT starts in the batch
};

struct CreateIndexStmt : Stmt {
    CreateIndexStmt() : Stmt(StmtKind::CreateIndex) {}
    std::string name;
    ObjectName table;
    std::vector<OrderItem> columns;
    bool unique = false;
    bool clustered = false;
};

struct CreateTypeStmt : Stmt {
    CreateTypeStmt() : Stmt(StmtKind::CreateType) {}
    ObjectName name;
    TypeName base;
    std::optional<bool> nullable;
};

struct DropStmt : Stmt {
    DropStmt() : Stmt(StmtKind::Drop) {}
    enum class Object { Table, View, Index, Type, Procedure };
    Object object = Object::Table;
    bool ifExists = false;
    std::vector<ObjectName> names;      // DROP INDEX t.i gives {"t","i"}; "i ON t" gives {"t","i"} too
};

// One parameter of a procedure (or of sp_executesql's declaration list):
// @name type [= default] [OUTPUT].
struct ProcedureParameter {
    std::string name;        // "@x"
    TypeName type;
    ExprPtr defaultValue;    // null when none
    bool output = false;
    Pos pos;
};

// CREATE PROCEDURE / ALTER PROCEDURE name params [WITH ...] AS body: the
// body runs to the end of the batch.
struct CreateProcedureStmt : Stmt {
    CreateProcedureStmt() : Stmt(StmtKind::CreateProcedure) {}
    bool alter = false;
    ObjectName procedure;
    std::vector<ProcedureParameter> parameters;
    std::vector<StmtPtr> body;
};

struct VariableDecl {
    std::string name;        // "@x"
    TypeName type;
    ExprPtr init;
    Pos pos;
};

struct DeclareStmt : Stmt {
    DeclareStmt() : Stmt(StmtKind::Declare) {}
    std::vector<VariableDecl> variables;
};

struct SetVariableStmt : Stmt {
    SetVariableStmt() : Stmt(StmtKind::SetVariable) {}
    std::string variable;    // "@x"
    std::string op = "=";    // "=", "+=", "-=", "*=", "/="
    ExprPtr value;
};

// SET NOCOUNT ON, SET ANSI_NULLS OFF, SET DATEFORMAT ymd, SET XACT_ABORT ON ...
struct SetOptionStmt : Stmt {
    SetOptionStmt() : Stmt(StmtKind::SetOption) {}
    std::string option;      // upper-cased
    std::string value;       // as written ("ON", "OFF", "ymd", a number)
    ObjectName table;        // SET IDENTITY_INSERT t ON: the table (empty otherwise)
};

struct IfStmt : Stmt {
    IfStmt() : Stmt(StmtKind::If) {}
    ExprPtr condition;
    StmtPtr thenStmt;
    StmtPtr elseStmt;        // may be null
};

struct WhileStmt : Stmt {
    WhileStmt() : Stmt(StmtKind::While) {}
    ExprPtr condition;
    StmtPtr body;
};

struct BlockStmt : Stmt {
    BlockStmt() : Stmt(StmtKind::Block) {}
    std::vector<StmtPtr> body;
};

struct ReturnStmt : Stmt {
    ReturnStmt() : Stmt(StmtKind::Return) {}
    ExprPtr value;
};

struct SimpleStmt : Stmt {   // BREAK, CONTINUE, BEGIN/COMMIT/ROLLBACK/SAVE TRAN
    explicit SimpleStmt(StmtKind k) : Stmt(k) {}
    std::string name;        // transaction or savepoint name ("@v" for a variable), if any
};

// BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH
struct TryCatchStmt : Stmt {
    TryCatchStmt() : Stmt(StmtKind::TryCatch) {}
    std::vector<StmtPtr> tryBody;
    std::vector<StmtPtr> catchBody;   // may be empty
};

// RAISERROR (message, severity, state [, argument ...]) [WITH option, ...];
// the old form RAISERROR number 'text' has message = number, text = 'text'.
struct RaiserrorStmt : Stmt {
    RaiserrorStmt() : Stmt(StmtKind::Raiserror) {}
    ExprPtr message;           // msg_str, @variable or msg_id
    ExprPtr severity;
    ExprPtr state;
    std::vector<ExprPtr> args;
    ExprPtr legacyText;        // the old form's text (then severity and state are null)
    bool withLog = false;
    bool withNowait = false;
    bool withSetError = false;
};

// WAITFOR DELAY 'hh:mm:ss' | WAITFOR TIME 'hh:mm:ss' (a string or a variable)
struct WaitForStmt : Stmt {
    WaitForStmt() : Stmt(StmtKind::WaitFor) {}
    bool delay = true;         // DELAY (false: TIME)
    ExprPtr time;
};

struct ExecArg {
    std::string parameter;   // "@p" for @p = value, "" for a positional argument
    ExprPtr value;           // literal, variable, or DEFAULT (nullptr)
    bool output = false;
};

struct ExecStmt : Stmt {
    ExecStmt() : Stmt(StmtKind::Exec) {}
    ObjectName procedure;    // empty for EXEC ('dynamic sql')
    std::string returnVariable;   // EXEC @r = proc
    std::vector<ExecArg> args;
    ExprPtr dynamicSql;      // EXEC ('...' + @x)
};

struct PrintStmt : Stmt {
    PrintStmt() : Stmt(StmtKind::Print) {}
    ExprPtr value;
};

struct UseStmt : Stmt {
    UseStmt() : Stmt(StmtKind::Use) {}
    std::string database;
};

struct DatabaseFileOptions {
    std::string logicalName;   // NAME = x
    ExprPtr fileName;          // FILENAME = '...'
    std::string newName;       // NEWNAME = x (ALTER DATABASE MODIFY FILE)
};

struct CreateDatabaseStmt : Stmt {
    CreateDatabaseStmt() : Stmt(StmtKind::CreateDatabase) {}
    std::string database;
    std::vector<DatabaseFileOptions> dataFiles;   // ON (...)
    std::vector<DatabaseFileOptions> logFiles;    // LOG ON (...)
};

struct DropDatabaseStmt : Stmt {
    DropDatabaseStmt() : Stmt(StmtKind::DropDatabase) {}
    bool ifExists = false;
    std::vector<std::string> databases;
};

struct AlterDatabaseStmt : Stmt {
    AlterDatabaseStmt() : Stmt(StmtKind::AlterDatabase) {}
    enum class Action { ModifyFile, ModifyName, Set };
    Action action = Action::ModifyFile;
    std::string database;
    DatabaseFileOptions file;     // MODIFY FILE (NAME = x, NEWNAME = y | FILENAME = '...')
    std::string newName;       // MODIFY NAME = y
    std::vector<std::string> options;   // SET ... (as written, ignored)
};

struct BackupStmt : Stmt {
    BackupStmt() : Stmt(StmtKind::Backup) {}
    std::string database;
    ExprPtr disk;              // TO DISK = '...' (string literal or variable)
    std::vector<std::string> options;   // WITH INIT, FORMAT ... (upper-cased)
};

struct RestoreMove {
    ExprPtr logicalName;       // 'name' (string literal or variable)
    ExprPtr physicalName;
};

struct RestoreStmt : Stmt {
    RestoreStmt() : Stmt(StmtKind::Restore) {}
    enum class Kind { Database, FileListOnly, HeaderOnly, VerifyOnly };
    Kind what = Kind::Database;
    std::string database;      // Kind::Database
    ExprPtr disk;
    std::vector<RestoreMove> moves;
    bool replace = false;
    std::vector<std::string> options;   // other WITH options (upper-cased)
};

// ---- Transact-SQL cursors ----------------------------------------------

// DECLARE c CURSOR [LOCAL|GLOBAL] [FORWARD_ONLY|SCROLL] [STATIC|KEYSET|
// DYNAMIC|FAST_FORWARD] [READ_ONLY|SCROLL_LOCKS|OPTIMISTIC] [TYPE_WARNING]
// FOR select [FOR READ ONLY | FOR UPDATE [OF cols]], the ISO form
// DECLARE c [INSENSITIVE] [SCROLL] CURSOR FOR ..., and SET @c = CURSOR ...
struct DeclareCursorStmt : Stmt {
    DeclareCursorStmt() : Stmt(StmtKind::DeclareCursor) {}
    enum class Sensitivity { Default, Static, Keyset, Dynamic, FastForward };
    enum class Concurrency { Default, ReadOnly, ScrollLocks, Optimistic };
    std::string name;            // the cursor's name; "" for SET @c = CURSOR ...
    std::string variable;        // SET @c = CURSOR ...: "@c"
    std::optional<bool> local;   // LOCAL / GLOBAL as written; nullopt: the database default (GLOBAL)
    bool scroll = false;         // SCROLL
    bool forwardOnly = false;    // FORWARD_ONLY
    Sensitivity sensitivity = Sensitivity::Default;   // INSENSITIVE is Static
    Concurrency concurrency = Concurrency::Default;   // FOR READ ONLY is ReadOnly
    bool typeWarning = false;
    bool forUpdate = false;      // FOR UPDATE [OF ...]
    std::vector<std::string> updateColumns;
    QueryPtr query;
    std::size_t queryOffset = 0, queryEnd = 0;   // the SELECT's text in the batch
};

// OPEN, CLOSE and DEALLOCATE.
struct CursorStmt : Stmt {
    explicit CursorStmt(StmtKind k) : Stmt(k) {}
    CursorRef cursor;
};

struct FetchStmt : Stmt {
    FetchStmt() : Stmt(StmtKind::FetchCursor) {}
    enum class Orientation { Next, Prior, First, Last, Absolute, Relative };
    Orientation orientation = Orientation::Next;
    ExprPtr offset;                  // ABSOLUTE / RELATIVE n: a literal or a variable
    CursorRef cursor;
    std::vector<std::string> into;   // INTO @a, @b ...: the variables as written
    std::vector<Pos> intoPos;
};

// A parsed batch: its statements in order.
struct Batch {
    std::string text;
    std::vector<StmtPtr> statements;
};

// Whether a function name, in lower case, is one of the aggregates.
bool isAggregateName(const std::string& lower);
// True when the expression holds an aggregate outside any subquery.
bool containsAggregate(const Expr& e);

}  // namespace vqsql::ast
