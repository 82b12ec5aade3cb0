// The translator's shared declarations: the typed expression and scope
// types and the Impl class, whose families of statements live in
// translator_*.cpp. Private to the translator; everything else uses
// translator.h.
#pragma once

#include "translator.h"
#include "information_schema.h"
#include "parser.h"
#include "sqlite_util.h"
#include "version.h"
#include "view_update.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace vqsql::translation {

inline const SqlType kInt = makeType(BaseType::Int);
inline const SqlType kBigInt = makeType(BaseType::BigInt);
inline const SqlType kFloat = makeType(BaseType::Float);
inline const SqlType kDateTime = makeType(BaseType::DateTime);
inline const SqlType kNull = makeType(BaseType::Null);
inline const SqlType kUnknown = makeType(BaseType::Unknown);

[[noreturn]] inline void fail(int number, const std::string& message, const ast::Pos& pos)
{
    throw SqlException(number, message, pos.line);
}

// A text value as a SQLite expression. SQLite ends a statement's text at a
// NUL byte, so a text holding one (SQL Server keeps char(0) in a string)
// goes in as its bytes, read back as text: CAST(X'..' AS TEXT) keeps every
// byte, the NULs included.
inline std::string textLiteral(const std::string& text)
{
    if (text.find('\0') == std::string::npos)
        return quoteString(text);
    static const char* hex = "0123456789ABCDEF";
    std::string s = "CAST(X'";
    for (unsigned char c : text) {
        s.push_back(hex[c >> 4]);
        s.push_back(hex[c & 15]);
    }
    return s + "' AS TEXT)";
}

[[noreturn]] inline void unsupported(const std::string& what, const ast::Pos& pos)
{
    fail(err::Unsupported,
         "The engine does not support " + what + " (line " + std::to_string(pos.line) + ", column " +
             std::to_string(pos.column) + ").",
         pos);
}

// A translated expression: its SQLite text and its SQL Server type. The
// text is either atomic or wrapped in parentheses, so that it can be
// followed by COLLATE or combined without further care.
struct TExpr {
    std::string sql;
    SqlType type;
    bool nullLiteral = false;
};

struct SourceColumn {
    std::string name;
    SqlType type;
};

// One table, view or derived table of a FROM clause.
struct Source {
    std::string exposed;      // the name queries use: the alias, or the table's name as written
    bool aliased = false;
    std::string tableName;    // catalogue name of a table or view ("" for a derived table)
    std::string database;     // its database
    std::string sqlAlias;     // the generated SQLite alias ("s1")
    std::vector<SourceColumn> columns;
};

// One result column of a query.
struct Output {
    std::string name;         // name SQL Server gives it ("" for an unnamed expression)
    std::string sqlName;      // alias used in the SQLite text (unique within the query)
    TExpr expr;
};

struct Scope {
    Scope* parent = nullptr;
    std::vector<Source> sources;
    bool bareColumns = false;   // table-expression mode: columns unqualified
};

// Error 205: the operands of a set operator (or a recursive CTE's parts)
// differ in their number of columns.
inline constexpr const char* kUnequalSetOperands =
    "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an equal number of expressions in "
    "their target lists.";

struct QueryResult {
    std::string sql;
    std::vector<Output> outputs;
    std::vector<std::string> assignTargets;
};

using ast::containsAggregate;
using ast::isAggregateName;

// Byte length of a text as GBK counts it: ASCII one byte, other characters two.
inline int gbkLengthEstimate(const std::string& utf8)
{
    int n = 0;
    for (unsigned char c : utf8) {
        if (c < 0x80)
            ++n;
        else if ((c & 0xC0) != 0x80)
            n += 2;
    }
    return n;
}

inline int integerRank(BaseType b)
{
    switch (b) {
    case BaseType::Bit: return 1;
    case BaseType::TinyInt: return 2;
    case BaseType::SmallInt: return 3;
    case BaseType::Int: return 4;
    case BaseType::BigInt: return 5;
    default: return 0;
    }
}

// SQL Server's data type precedence, higher wins in an expression.
inline int precedence(const SqlType& t)
{
    switch (t.base) {
    case BaseType::DateTime: return 20;
    case BaseType::SmallDateTime: return 19;
    case BaseType::Float: return 18;
    case BaseType::Real: return 17;
    case BaseType::Numeric: return 16;
    case BaseType::Money: return 15;
    case BaseType::SmallMoney: return 14;
    case BaseType::BigInt: return 13;
    case BaseType::Int: return 12;
    case BaseType::SmallInt: return 11;
    case BaseType::TinyInt: return 10;
    case BaseType::Bit: return 9;
    case BaseType::NText: return 8;
    case BaseType::Text: return 7;
    case BaseType::Image: return 6;
    case BaseType::UniqueIdentifier: return 5;
    case BaseType::NVarChar: return 4;
    case BaseType::NChar: return 3;
    case BaseType::VarChar: return 2;
    case BaseType::Char: return 1;
    default: return 0;
    }
}

// Precision and scale of an exact number type (integers as numeric(p,0)).
inline void decimalShape(const SqlType& t, int& p, int& s)
{
    switch (t.base) {
    case BaseType::Bit: p = 1; s = 0; return;
    case BaseType::TinyInt: p = 3; s = 0; return;
    case BaseType::SmallInt: p = 5; s = 0; return;
    case BaseType::Int: p = 10; s = 0; return;
    case BaseType::BigInt: p = 19; s = 0; return;
    case BaseType::Money: p = 19; s = 4; return;
    case BaseType::SmallMoney: p = 10; s = 4; return;
    default: p = t.precision > 0 ? t.precision : 18; s = t.scale > 0 ? t.scale : 0; return;
    }
}

// Result type of a numeric binary operator, after SQL Server's rules.
inline SqlType arithmeticType(const SqlType& a, const SqlType& b, const std::string& op)
{
    if (a.isUnknown())
        return b.isUnknown() ? kInt : b;
    if (b.isUnknown())
        return a;
    if (a.base == BaseType::Float || b.base == BaseType::Float || a.base == BaseType::Real ||
        b.base == BaseType::Real)
        return kFloat;
    if (a.isIntegerFamily() && b.isIntegerFamily()) {
        int r = std::max({integerRank(a.base), integerRank(b.base), integerRank(BaseType::Int)});
        return r == 5 ? kBigInt : kInt;
    }
    if ((a.base == BaseType::Money || a.base == BaseType::SmallMoney) &&
        (b.base == BaseType::Money || b.base == BaseType::SmallMoney || b.isIntegerFamily()))
        return makeType(BaseType::Money, 0, 19, 4);
    if ((b.base == BaseType::Money || b.base == BaseType::SmallMoney) && a.isIntegerFamily())
        return makeType(BaseType::Money, 0, 19, 4);
    int p1, s1, p2, s2;
    decimalShape(a, p1, s1);
    decimalShape(b, p2, s2);
    int p, s;
    if (op == "*") {
        p = p1 + p2 + 1;
        s = s1 + s2;
    } else if (op == "/") {
        s = std::max(6, s1 + p2 + 1);
        p = p1 - s1 + s2 + s;
    } else {
        s = std::max(s1, s2);
        p = std::max(p1 - s1, p2 - s2) + s + 1;
    }
    if (p > 38) {
        int intDigits = p - s;
        p = 38;
        s = std::max(std::min(s, 38 - intDigits), std::min(s, 6));
    }
    return makeType(BaseType::Numeric, 0, p, s);
}

inline const char* intTypeName(BaseType b)
{
    switch (b) {
    case BaseType::Bit: return "bit";
    case BaseType::TinyInt: return "tinyint";
    case BaseType::SmallInt: return "smallint";
    case BaseType::BigInt: return "bigint";
    default: return "int";
    }
}

// SQL Server's limit on the select list (error 1056).
constexpr std::size_t kMaxSelectListElements = 4096;

inline std::string paren(const std::string& s)
{
    return "(" + s + ")";
}

// Width in bits the checked integer functions (vq_iadd ...) take for a
// result type: 8 tinyint, 16 smallint, 32 int, 64 bigint.
inline std::string intBits(BaseType b)
{
    switch (b) {
    case BaseType::TinyInt: return "8";
    case BaseType::SmallInt: return "16";
    case BaseType::BigInt: return "64";
    default: return "32";
    }
}

inline bool isMoney(const SqlType& t)
{
    return t.base == BaseType::Money || t.base == BaseType::SmallMoney;
}

inline bool isUnicodeText(const SqlType& t)
{
    return t.base == BaseType::NVarChar || t.base == BaseType::NChar || t.base == BaseType::NText;
}

// A decimal literal as the translator writes it ("1234567890123.4567",
// "(-2.5)"): SQLite would read it as a double, so conversions that must be
// exact (money) take it as text instead.
inline bool isDecimalLiteralSql(const std::string& sql)
{
    std::string_view v = sql;
    if (v.size() > 3 && v.substr(0, 2) == "(-" && v.back() == ')')
        v = v.substr(2, v.size() - 3);
    if (v.empty() || v.find('.') == std::string_view::npos)
        return false;
    for (char c : v)
        if (!(c == '.' || (c >= '0' && c <= '9')))
            return false;
    return true;
}

// Longest non-max string SQL Server builds: 8000 bytes, or 4000 characters
// of nvarchar.
inline int nonMaxLimit(BaseType b)
{
    return b == BaseType::NVarChar || b == BaseType::NChar ? 4000 : 8000;
}

// SQLite refuses expressions nested deeper than its parser stack (about a
// hundred parentheses, thirty function calls) or a tree higher than 1000,
// while SQL Server takes chains of thousands of operators. Long chains are
// therefore written flat or balanced instead of one level per operator.

// Terms joined by an associative operator (OR, AND, ||, &, |) as groups of
// at most kTermsPerGroup, so that the text nests only logarithmically.
constexpr std::size_t kTermsPerGroup = 64;

inline std::string balancedChain(std::vector<std::string> terms, const std::string& op)
{
    while (terms.size() > 1) {
        std::vector<std::string> groups;
        for (std::size_t i = 0; i < terms.size(); i += kTermsPerGroup) {
            std::string g = terms[i];
            for (std::size_t k = i + 1; k < std::min(terms.size(), i + kTermsPerGroup); ++k)
                g += " " + op + " " + terms[k];
            groups.push_back(paren(g));
        }
        terms = std::move(groups);
    }
    return terms.front();
}

// fn(t1, ..., tn) for an associative engine function of any number of
// arguments, as calls of at most kArgumentsPerCall terms (SQLite takes 127).
constexpr std::size_t kArgumentsPerCall = 125;

inline std::string balancedCall(std::vector<std::string> terms, const std::string& fn)
{
    while (terms.size() > 1) {
        std::vector<std::string> calls;
        for (std::size_t i = 0; i < terms.size(); i += kArgumentsPerCall) {
            std::string c = fn + "(" + terms[i];
            for (std::size_t k = i + 1; k < std::min(terms.size(), i + kArgumentsPerCall); ++k)
                c += "," + terms[k];
            calls.push_back(c + ")");
        }
        terms = std::move(calls);
    }
    return terms.front();
}

// Stands for the left operand while one step of an operator chain is
// translated; the step's text shows how it combined the operands.
inline const std::string kChainOperand = "\x02chain\x02";

inline void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The text of a left-deep chain "a op b op c ..." built step by step. Steps
// of + - * (plain, int-checked or rounded) go into vq_arith_fold calls of at
// most kFoldOperands operands, steps of one associative operator (||, &, |,
// ^) into a balanced chain, and any other step nests as it was translated.
class OperatorChain {
public:
    explicit OperatorChain(std::string first) : atom_(std::move(first)) {}

    // `step` is the translation of (kChainOperand op right).
    void add(const std::string& step, const std::string& op, const std::string& right)
    {
        const std::string plain = paren(kChainOperand + " " + op + " " + right);
        const bool arithmetic = op == "+" || op == "-" || op == "*";
        if (arithmetic && step == plain)
            return fold(op, 'p', right);
        if (arithmetic && step == "vq_to_int(" + plain + ",'int')")
            return fold(op, 'i', right);
        const std::string roundPrefix = "round(" + kChainOperand + " " + op + " " + right + ",";
        if (arithmetic && step.size() > roundPrefix.size() + 1 && step.compare(0, roundPrefix.size(), roundPrefix) == 0 &&
            step.back() == ')') {
            const std::string digits = step.substr(roundPrefix.size(), step.size() - roundPrefix.size() - 1);
            if (!digits.empty() && digits.size() <= 2 && std::all_of(digits.begin(), digits.end(), ::isdigit))
                return fold(op, static_cast<char>('A' + std::stoi(digits)), right);
        }
        if (arithmetic) {
            const char* fn = op == "+" ? "vq_iadd(" : op == "-" ? "vq_isub(" : "vq_imul(";
            for (const char* bits : {"8", "16", "32", "64"}) {
                if (step == fn + kChainOperand + "," + right + "," + bits + ")")
                    return fold(op, bits[0] == '1' ? '2' : bits[0] == '3' ? '4' : bits[0] == '6' ? '8' : '1', right);
            }
        }
        if (op == "+" && step == "vq_madd(" + kChainOperand + "," + right + ")")
            return associate("vq_msum", right);
        if ((op == "&" || op == "|") && step == plain)
            return associate(op, right);
        if (op == "+" && step == paren(kChainOperand + " || " + right))
            return associate("||", right);
        if (op == "^" && step == "vq_bitxor(" + kChainOperand + "," + right + ")")
            return associate("^", right);
        std::string text = step;
        replaceAll(text, kChainOperand, materialize());
        atom_ = std::move(text);
    }

    std::string text() { return materialize(); }

private:
    static constexpr std::size_t kFoldOperands = 125;   // SQLite takes at most 127 arguments

    void fold(const std::string& op, char mode, const std::string& right)
    {
        if (kind_ != Kind::Fold || foldCount_ >= kFoldOperands) {
            std::string first = materialize();
            kind_ = Kind::Fold;
            steps_.clear();
            operands_ = std::move(first);
            foldCount_ = 1;
        }
        steps_ += op;
        steps_ += mode;
        operands_ += "," + right;
        ++foldCount_;
    }

    void associate(const std::string& op, const std::string& right)
    {
        if (kind_ != Kind::Associative || op != op_) {
            std::string first = materialize();
            kind_ = Kind::Associative;
            op_ = op;
            terms_.clear();
            terms_.push_back(std::move(first));
        }
        terms_.push_back(right);
    }

    const std::string& materialize()
    {
        if (kind_ == Kind::Fold)
            atom_ = "vq_arith_fold(" + operands_ + ",'" + steps_ + "')";
        else if (kind_ == Kind::Associative && op_ == "^")
            atom_ = balancedCall(std::move(terms_), "vq_bitxor");
        else if (kind_ == Kind::Associative && op_ == "vq_msum")
            atom_ = balancedCall(std::move(terms_), "vq_msum");
        else if (kind_ == Kind::Associative)
            atom_ = balancedChain(std::move(terms_), op_);
        kind_ = Kind::Atom;
        return atom_;
    }

    enum class Kind { Atom, Fold, Associative };
    Kind kind_ = Kind::Atom;
    std::string atom_;
    std::string steps_, operands_;
    std::size_t foldCount_ = 0;
    std::string op_;
    std::vector<std::string> terms_;
};

}  // namespace vqsql::translation

namespace vqsql {

using namespace translation;

struct Translator::Impl {
    Catalog& catalog;
    const VariableTypes& variables;
    std::vector<std::string> parameters;
    std::vector<std::string> viewsRead;   // views of the FROM clauses, in order
    int aliasCounter = 0;
    int depth = 0;
    bool viewMode = false;
    std::string viewDatabase;
    bool selectInto = false;   // the first block's INTO is the executor's (SELECT ... INTO)
    bool identityAllowed = false;   // IDENTITY(type, seed, increment) allowed: a SELECT ... INTO
    // cursorQuery: the top block adds its base table's rowid (see
    // Translator::cursorQuery) and names the table here.
    bool cursorRowid = false;
    std::string rowidDatabase, rowidTable;
    // Literals the executor binds as parameters (see
    // Translator::parameterizeLiterals); nullptr: every literal inline.
    const std::vector<const ast::Expr*>* literalParameters = nullptr;

    Impl(Catalog& c, const VariableTypes& v, const std::vector<const ast::Expr*>* literals = nullptr)
        : catalog(c), variables(v), literalParameters(literals)
    {
    }

    // ---- parameters and names -----------------------------------------

    std::string parameter(const std::string& lowerName);
    std::string newAlias() { return "s" + std::to_string(++aliasCounter); }
    std::string cursorRowidColumn(const ast::QueryBlock& block, const Scope& scope);

    const TableInfo& resolveTable(const ast::ObjectName& name);
    std::string tableSql(const TableInfo& info, const ast::Pos& pos);
    SqlType resolveTypeName(const ast::TypeName& t, const std::string& database, int ordinal, bool* allowNulls);

    // ---- conversions ----------------------------------------------------

    std::string convert(const TExpr& e, const SqlType& to, bool truncate);
    std::string toMoney(const TExpr& e, const SqlType& to);
    TExpr castTo(const TExpr& e, SqlType to, const TExpr* style);
    TExpr coerceForCompare(const TExpr& e, const SqlType& other);
    std::string comparisonOperator(const ast::Expr& e) const;
    std::string compareSql(const std::string& op, TExpr a, TExpr b);

    // ---- expressions ----------------------------------------------------

    TExpr expr(const ast::Expr& e, Scope& scope);
    TExpr logicalChain(const ast::Expr& e, Scope& scope);
    TExpr literalOrParameter(const ast::Expr& e);
    static TExpr literal(const ast::Expr& e);
    TExpr variable(const ast::Expr& e);
    TExpr sysVariable(const ast::Expr& e);
    TExpr column(const ast::ObjectName& name, Scope& scope);
    TExpr unary(const ast::Expr& e, Scope& scope);
    TExpr concatenation(const TExpr& a, const TExpr& b);
    TExpr numericOperand(const TExpr& v, const SqlType& other);
    TExpr binary(const ast::Expr& e, Scope& scope);
    TExpr binaryStep(TExpr a, TExpr b, const ast::Expr& e);
    static std::string operatorName(const std::string& op);
    TExpr like(const ast::Expr& e, Scope& scope);
    TExpr between(const ast::Expr& e, Scope& scope);
    TExpr inList(const ast::Expr& e, Scope& scope);
    TExpr inSubquery(const ast::Expr& e, Scope& scope);
    TExpr caseExpr(const ast::Expr& e, Scope& scope);
    std::string caseResult(const TExpr& r, const SqlType& type);
    TExpr scalarSubquery(const ast::Query& q, Scope& scope, const ast::Pos& pos);

    // ---- functions ------------------------------------------------------

    TExpr function(const ast::Expr& e, Scope& scope);
    std::vector<TExpr> arguments(const ast::Expr& e, Scope& scope, std::size_t min, std::size_t max);
    std::string datePart(const ast::Expr& a);
    TExpr identityFunction(const std::string& name, const ast::Expr& e, Scope& scope);
    TExpr objectId(const ast::Expr& e, Scope& scope);
    static std::vector<std::string> splitObjectName(const std::string& text);

    // ---- queries --------------------------------------------------------

    std::string informationSchemaRef(const ast::TableRef& ref, Scope& scope);
    std::string tableRef(const ast::TableRef& ref, Scope& scope);
    std::string queryBlock(const ast::QueryBlock& block, Scope* parent, bool derived, bool single, bool dedupe,
                          std::vector<Output>& outputs, std::vector<std::string>& assignTargets, Scope& scope);

    static void ungroupedColumns(const ast::Expr& e, std::vector<const ast::Expr*>& out);
    void checkGrouping(const ast::QueryBlock& block, Scope& scope, const std::vector<std::string>& groupSql);
    static bool starCovers(const ast::Expr& star, const Source& src);
    static std::string starColumnSql(const Scope& scope, const Source& src, const SourceColumn& c);
    void checkStarGrouped(const ast::Expr& star, const Scope& scope, const std::vector<std::string>& groupSql);
    void expandStar(const ast::Expr& star, Scope& scope, std::vector<Output>& outputs);
    std::string nestedOperand(const ast::Query& q, Scope* parent, bool dedupe, std::vector<Output>& outputs);
    QueryResult query(const ast::Query& q, Scope* parent, bool derived, bool single = false);
    std::string orderTerm(const ast::Expr& e, const std::vector<Output>& outputs, Scope* scope);

    // ---- common table expressions and TOP (translator_cte.cpp) ---------

    // A common table expression of the statement's WITH clause, visible
    // to every query of the statement.
    struct CteBinding {
        std::string name;           // as declared
        std::string sqlName;        // its name in the SQLite WITH clause
        std::vector<SourceColumn> columns;
        std::string lastAlias;      // the SQLite alias of its latest reference
    };
    std::vector<CteBinding> ctes;

    std::string withClause(const ast::Stmt& s);
    std::string commonTableExpr(const ast::CommonTableExpr& c, int maxRecursion, bool* recursive);
    std::string recursiveCte(const ast::CommonTableExpr& c, std::size_t firstRecursive, int maxRecursion,
                             CteBinding& binding);
    CteBinding* findCte(const ast::ObjectName& name);
    std::string cteRef(const ast::TableRef& ref, CteBinding& cte, Scope& scope);
    std::string topCount(const ast::Expr& top, Scope& scope, bool percent);
    const ast::Expr* windowedAggregate = nullptr;   // the f(...) OVER (...) translated as a plain aggregate
    TExpr windowFunction(const ast::Expr& e, Scope& scope);
    static void refuseWindowsOutsideSelectList(const ast::QueryBlock& block);
    std::string rankedTop(const ast::Query& q, const std::string& blockSql, const std::vector<Output>& outputs,
                          Scope& scope, bool single);

    // ---- data modification ---------------------------------------------

    const TableInfo& targetTable(const ast::ObjectName& name, const ast::Pos& pos);
    std::string defaultValue(const ColumnInfo& c, const std::string& tableSqlText = {},
                             const std::string& ordinal = "1");
};

// The translation of a query the Impl has just translated: `with` (its
// WITH clause, or "") and its SQL, the parameters, views and columns it
// read, and the variables a SELECT @v = ... assigns.
Translation queryTranslation(const Translator::Impl& impl, const std::string& with, const QueryResult& r);

}  // namespace vqsql
