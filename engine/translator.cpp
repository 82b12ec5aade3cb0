// Translator: Transact-SQL syntax trees into SQLite SQL with SQL Server's
// semantics. See translator.h for the principles; each translate function
// below handles one node kind, and the dispatchers fail loudly on a node
// kind they do not know.
#include "translator.h"

#include "information_schema.h"
#include "parser.h"
#include "sqlite_util.h"
#include "version.h"
#include "view_update.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace vqsql {

namespace {

SqlType makeType(BaseType base, int length = 0, int precision = 0, int scale = 0)
{
    SqlType t;
    t.base = base;
    t.length = length;
    t.precision = precision;
    t.scale = scale;
    return t;
}

const SqlType kInt = makeType(BaseType::Int);
const SqlType kBigInt = makeType(BaseType::BigInt);
const SqlType kFloat = makeType(BaseType::Float);
const SqlType kDateTime = makeType(BaseType::DateTime);
const SqlType kNull = makeType(BaseType::Null);
const SqlType kUnknown = makeType(BaseType::Unknown);

[[noreturn]] void fail(int number, const std::string& message, const ast::Pos& pos)
{
    throw SqlException(number, message, pos.line);
}

// A text value as a SQLite expression. SQLite ends a statement's text at a
// NUL byte, so a text holding one (SQL Server keeps char(0) in a string)
// goes in as its bytes, read back as text: CAST(X'..' AS TEXT) keeps every
// byte, the NULs included.
std::string textLiteral(const std::string& text)
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

[[noreturn]] void unsupported(const std::string& what, const ast::Pos& pos)
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

struct QueryResult {
    std::string sql;
    std::vector<Output> outputs;
    std::vector<std::string> assignTargets;
};

bool isAggregateName(const std::string& lower)
{
    return lower == "count" || lower == "sum" || lower == "avg" || lower == "min" || lower == "max" ||
           lower == "count_big" || lower == "stdev" || lower == "var";
}

// True when the expression holds an aggregate outside any subquery.
bool containsAggregate(const ast::Expr& e)
{
    if (e.kind == ast::ExprKind::Function && isAggregateName(lowerAscii(e.text)))
        return true;
    for (const auto& a : e.args)
        if (a && containsAggregate(*a))
            return true;
    for (const auto& [w, t] : e.whens)
        if ((w && containsAggregate(*w)) || (t && containsAggregate(*t)))
            return true;
    return e.elseExpr && containsAggregate(*e.elseExpr);
}

// Byte length of a text as GBK counts it: ASCII one byte, other characters two.
int gbkLengthEstimate(const std::string& utf8)
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

int integerRank(BaseType b)
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
int precedence(const SqlType& t)
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
void decimalShape(const SqlType& t, int& p, int& s)
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
SqlType arithmeticType(const SqlType& a, const SqlType& b, const std::string& op)
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

const char* intTypeName(BaseType b)
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

std::string paren(const std::string& s)
{
    return "(" + s + ")";
}

// Width in bits the checked integer functions (vq_iadd ...) take for a
// result type: 8 tinyint, 16 smallint, 32 int, 64 bigint.
std::string intBits(BaseType b)
{
    switch (b) {
    case BaseType::TinyInt: return "8";
    case BaseType::SmallInt: return "16";
    case BaseType::BigInt: return "64";
    default: return "32";
    }
}

bool isMoney(const SqlType& t)
{
    return t.base == BaseType::Money || t.base == BaseType::SmallMoney;
}

bool isUnicodeText(const SqlType& t)
{
    return t.base == BaseType::NVarChar || t.base == BaseType::NChar || t.base == BaseType::NText;
}

// A decimal literal as the translator writes it ("1234567890123.4567",
// "(-2.5)"): SQLite would read it as a double, so conversions that must be
// exact (money) take it as text instead.
bool isDecimalLiteralSql(const std::string& sql)
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
int nonMaxLimit(BaseType b)
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

std::string balancedChain(std::vector<std::string> terms, const std::string& op)
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

std::string balancedCall(std::vector<std::string> terms, const std::string& fn)
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
const std::string kChainOperand = "\x02chain\x02";

void replaceAll(std::string& text, const std::string& from, const std::string& to)
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

}  // namespace

std::string literalParameterName(std::size_t index)
{
    return "#" + std::to_string(index);
}

SqlType varcharType(int bytes)
{
    return makeType(BaseType::VarChar, bytes);
}

struct Translator::Impl {
    Catalog& catalog;
    const VariableTypes& variables;
    std::vector<std::string> parameters;
    std::vector<std::string> viewsRead;   // views of the FROM clauses, in order
    int aliasCounter = 0;
    int depth = 0;
    bool viewMode = false;
    std::string viewDatabase;
    // Literals the executor binds as parameters (see
    // Translator::parameterizeLiterals); nullptr: every literal inline.
    const std::vector<const ast::Expr*>* literalParameters = nullptr;

    Impl(Catalog& c, const VariableTypes& v, const std::vector<const ast::Expr*>* literals = nullptr)
        : catalog(c), variables(v), literalParameters(literals)
    {
    }

    // ---- parameters and names -----------------------------------------

    std::string parameter(const std::string& lowerName)
    {
        for (std::size_t i = 0; i < parameters.size(); ++i)
            if (parameters[i] == lowerName)
                return "?" + std::to_string(i + 1);
        parameters.push_back(lowerName);
        return "?" + std::to_string(parameters.size());
    }

    std::string newAlias() { return "s" + std::to_string(++aliasCounter); }

    // The table or view an object name stands for; 208 when there is none.
    const TableInfo& resolveTable(const ast::ObjectName& name)
    {
        const std::string schema = name.schema();
        if (name.parts.size() > 3 || (!schema.empty() && !equalsIgnoreCase(schema, "dbo")))
            fail(err::InvalidObject, "Invalid object name '" + name.toString() + "'.", name.pos);
        const TableInfo* info = catalog.findTable(name.database(), name.last());
        if (!info)
            fail(err::InvalidObject, "Invalid object name '" + name.toString() + "'.", name.pos);
        return *info;
    }

    // SQLite text naming a table: schema-qualified, or bare inside a view.
    std::string tableSql(const TableInfo& info, const ast::Pos& pos)
    {
        if (viewMode) {
            if (!equalsIgnoreCase(info.database, viewDatabase))
                unsupported("a view that reads another database", pos);
            return quoteIdent(info.name);
        }
        return quoteIdent(info.schemaAlias) + "." + quoteIdent(info.name);
    }

    // The SQL Server type a written type name stands for. Texts without a
    // length keep length -2 so that the caller applies its own default
    // (1 in declarations, 30 in CAST).
    SqlType resolveTypeName(const ast::TypeName& t, const std::string& database, int ordinal, bool* allowNulls)
    {
        if (allowNulls)
            *allowNulls = true;
        BaseType base = baseTypeFromName(t.name);
        if (base == BaseType::Unknown) {
            const UserType* u = catalog.findUserType(database, t.name);
            if (!u)
                fail(err::UnknownType,
                     "Column, parameter, or variable #" + std::to_string(ordinal) + ": Cannot find data type " +
                         t.name + ".",
                     t.pos);
            if (allowNulls)
                *allowNulls = u->allowNulls;
            return u->type;
        }
        SqlType r;
        r.base = base;
        std::string lower = lowerAscii(t.name);
        switch (base) {
        case BaseType::Char: case BaseType::VarChar: case BaseType::NChar: case BaseType::NVarChar:
        case BaseType::Binary: case BaseType::VarBinary:
            r.length = lower == "sysname" ? 128 : t.length;
            if (r.length == 0 || r.length > 8000)
                fail(131,
                     "The size (" + std::to_string(r.length) + ") given to the type '" + t.name +
                         "' exceeds the maximum allowed for any data type (8000).",
                     t.pos);
            break;
        case BaseType::Text: case BaseType::NText: case BaseType::Image:
            r.length = -1;
            break;
        case BaseType::Numeric:
            r.precision = t.precision > 0 ? t.precision : 18;
            r.scale = t.scale >= 0 ? t.scale : 0;
            if (r.precision > 38 || r.scale > r.precision)
                fail(2750, "Column or parameter #" + std::to_string(ordinal) + ": Specified column precision " +
                               std::to_string(r.precision) + " is greater than the maximum precision of 38.",
                     t.pos);
            break;
        case BaseType::Money: r.precision = 19; r.scale = 4; break;
        case BaseType::SmallMoney: r.precision = 10; r.scale = 4; break;
        case BaseType::UniqueIdentifier: r.length = 36; break;
        default: break;
        }
        return r;
    }

    // ---- conversions ----------------------------------------------------

    // The value converted as SQL Server converts on assignment; `truncate`
    // cuts texts silently (variables, CAST) instead of failing (columns).
    std::string convert(const TExpr& e, const SqlType& to, bool truncate)
    {
        const SqlType& from = e.type;
        if (to.isUnknown() || e.nullLiteral)
            return e.sql;
        if (to.isIntegerFamily()) {
            if (from.isIntegerFamily() && integerRank(from.base) <= integerRank(to.base))
                return e.sql;
            // The source kind: a float out of range is error 232; an exact
            // decimal may come as text (money with more than 15 digits).
            const bool fromFloat = from.base == BaseType::Float || from.base == BaseType::Real;
            return "vq_to_int(" + e.sql + ",'" + intTypeName(to.base) +
                   (fromFloat ? "',1)" : from.isExactDecimal() ? "',2)" : "')");
        }
        if (isMoney(to))
            return toMoney(e, to);
        if (to.isExactDecimal()) {
            int p, s;
            decimalShape(to, p, s);
            if (from.isIntegerFamily() && from.base != BaseType::BigInt && p - s >= 10)
                return e.sql;
            if (from.isExactDecimal()) {
                int fp, fs;
                decimalShape(from, fp, fs);
                if (fs <= s && fp - fs <= p - s)
                    return e.sql;
            }
            return "vq_to_numeric(" + e.sql + "," + std::to_string(p) + "," + std::to_string(s) + ")";
        }
        if (to.base == BaseType::Float || to.base == BaseType::Real) {
            if (from.isNumericFamily())
                return e.sql;
            return "vq_to_float(" + e.sql + ")";
        }
        if (to.isText()) {
            std::string text = e.sql;
            if (from.isDateTime())
                text = "vq_format_datetime(" + e.sql + ",0)";
            else if (from.isNumericFamily()) {
                int scale = -1;
                if (from.isExactDecimal()) {
                    int p;
                    decimalShape(from, p, scale);
                }
                if (from.base == BaseType::Money || from.base == BaseType::SmallMoney)
                    scale = 2;   // money converts with style 0: two decimals
                text = "vq_to_varchar(" + e.sql + ",-1," + std::to_string(scale) + ")";
            } else if (from.isBinary()) {
                text = "vq_from_binary(" + e.sql + (isUnicodeText(to) ? ",1)" : ",0)");
            }
            if (to.length < 0)
                return text;
            bool fits = from.isText() && from.length >= 0 && from.length <= to.length &&
                        from.base != BaseType::Text && from.base != BaseType::NText &&
                        !((from.base == BaseType::NVarChar || from.base == BaseType::NChar) &&
                          (to.base == BaseType::VarChar || to.base == BaseType::Char));
            if (fits)
                return text;
            // varchar(n) holds n GBK bytes, nvarchar(n) n characters.
            bool unicode = to.base == BaseType::NVarChar || to.base == BaseType::NChar;
            if (truncate)
                return unicode ? "vq_left(" + text + "," + std::to_string(to.length) + ")"
                               : "vq_to_varchar(" + text + "," + std::to_string(to.length) + ",-1)";
            return (unicode ? "vq_chk_nlen(" : "vq_chk_len(") + text + "," + std::to_string(to.length) + ")";
        }
        if (to.base == BaseType::DateTime) {
            if (from.isDateTime())
                return e.sql;
            return "vq_to_datetime(" + e.sql + ")";
        }
        if (to.base == BaseType::SmallDateTime) {
            if (from.base == BaseType::SmallDateTime)
                return e.sql;
            return "vq_to_smalldatetime(" + e.sql + ")";
        }
        if (to.isBinary()) {
            // char/varchar give their GBK bytes, nchar/nvarchar UCS-2LE.
            std::string encoding;
            if (from.isText())
                encoding = isUnicodeText(from) ? "1" : "0";
            else if (from.isIntegerFamily())
                encoding = from.base == BaseType::BigInt ? "-8" : from.base == BaseType::Int ? "-4"
                           : from.base == BaseType::SmallInt ? "-2" : "-1";
            else
                return e.sql;
            return "vq_to_binary(" + e.sql + "," + encoding + "," + std::to_string(to.length > 0 ? to.length : 0) +
                   (to.base == BaseType::Binary ? ",1)" : ",0)");
        }
        return e.sql;
    }

    // A value converted to money or smallmoney: unchanged when every value
    // of its type fits, else through vq_to_money, which is exact and
    // checks the range (a decimal literal goes as text, not as a double).
    std::string toMoney(const TExpr& e, const SqlType& to)
    {
        const SqlType& from = e.type;
        const bool small = to.base == BaseType::SmallMoney;
        const int integerDigits = small ? 5 : 14;   // digits every value of the target holds
        if (from.base == to.base || (!small && from.base == BaseType::SmallMoney))
            return e.sql;
        if (from.isIntegerFamily() && integerRank(from.base) <= integerRank(small ? BaseType::SmallInt : BaseType::Int))
            return e.sql;
        if (from.base == BaseType::Numeric && !isDecimalLiteralSql(e.sql) && from.scale <= 4 &&
            from.precision - from.scale <= integerDigits)
            return e.sql;
        std::string value = e.sql;
        if (isDecimalLiteralSql(value)) {
            if (value.front() == '(')   // "(-2.5)"
                value = value.substr(1, value.size() - 2);
            value = quoteString(value);
        }
        return "vq_to_money(" + value + (small ? ",2)" : ",1)");
    }

    // CAST / CONVERT: explicit conversion with SQL Server's rules.
    TExpr castTo(const TExpr& e, SqlType to, const TExpr* style)
    {
        TExpr r;
        r.type = to;
        if (e.nullLiteral) {   // CAST(NULL AS int) is a NULL of type int
            if (r.type.isText() && r.type.length == -2)
                r.type.length = 30;
            r.sql = "NULL";
            return r;
        }
        if ((to.isText() || to.isBinary()) && to.length == -2)
            to.length = 30;
        r.type = to;
        if (to.isText() && e.type.isDateTime()) {
            std::string s = style ? style->sql : "0";
            r.sql = "vq_format_datetime(" + e.sql + "," + s + ")";
            if (to.length >= 0)
                r.sql = "vq_to_varchar(" + r.sql + "," + std::to_string(to.length) + ",-1)";
            r.type = to;
            return r;
        }
        if (to.isText() && e.type.isBinary()) {
            // Binary to text: the bytes themselves, read as text.
            r.sql = "vq_from_binary(" + e.sql + (isUnicodeText(to) ? ",1)" : ",0)");
            if (to.length >= 0)
                r.sql = isUnicodeText(to) ? "vq_left(" + r.sql + "," + std::to_string(to.length) + ")"
                                          : "vq_to_varchar(" + r.sql + "," + std::to_string(to.length) + ",-1)";
            return r;
        }
        if (to.isText()) {
            int scale = -1;
            if (e.type.isExactDecimal()) {
                int p;
                decimalShape(e.type, p, scale);
            }
            if (e.type.base == BaseType::Money || e.type.base == BaseType::SmallMoney)
                scale = style && style->sql == "2" ? 4 : 2;   // money: style 0 and 1 two decimals, style 2 four
            r.sql = "vq_to_varchar(" + e.sql + "," + std::to_string(to.length) + "," + std::to_string(scale) + ")";
            return r;
        }
        if (to.isDateTime() && e.type.isDateTime() && to.base == BaseType::DateTime) {
            r.sql = e.sql;
            return r;
        }
        r.sql = convert(e, to, true);
        if (r.sql == e.sql && !e.nullLiteral && to.isIntegerFamily() == false && to.isNumericFamily() &&
            !e.type.isNumericFamily())
            r.sql = "vq_to_float(" + e.sql + ")";
        r.nullLiteral = e.nullLiteral;
        return r;
    }

    // Makes `e` comparable with a value of type `other`: texts against
    // numbers and date-times convert to those, as SQL Server does.
    TExpr coerceForCompare(const TExpr& e, const SqlType& other)
    {
        if (e.nullLiteral || other.isUnknown() || e.type.isUnknown())
            return e;
        if (e.type.isText() && other.isDateTime())
            return {"vq_to_datetime(" + e.sql + ")", kDateTime};
        if (e.type.isText() && other.isIntegerFamily())
            return {"vq_to_int(" + e.sql + ",'int')", kInt};
        if (e.type.isText() && other.isNumericFamily())
            return {"vq_to_float(" + e.sql + ")", kFloat};
        return e;
    }

    // Under SET ANSI_NULLS OFF, = and <> against a variable or the NULL
    // literal treat NULL as a value (SQLite's IS and IS NOT); comparisons
    // of columns and other expressions keep the standard rule.
    std::string comparisonOperator(const ast::Expr& e) const
    {
        if (catalog.ansiNulls() || (e.op != "=" && e.op != "<>"))
            return e.op;
        auto nullSide = [](const ast::Expr& x) {
            return x.kind == ast::ExprKind::Variable ||
                   (x.kind == ast::ExprKind::Literal && x.litKind == ast::LiteralKind::Null);
        };
        if (!nullSide(*e.args[0]) && !nullSide(*e.args[1]))
            return e.op;
        return e.op == "=" ? "IS" : "IS NOT";
    }

    std::string compareSql(const std::string& op, TExpr a, TExpr b)
    {
        a = coerceForCompare(a, b.type);
        b = coerceForCompare(b, a.type);
        // A money value past 15 digits travels as exact text, which SQLite
        // would order after every number: compared as a double instead.
        for (TExpr* x : {&a, &b})
            if (isMoney(x->type) && !x->sql.empty() && x->sql.front() != '"')
                x->sql = "CAST(" + x->sql + " AS REAL)";
        std::string rhs = b.sql;
        if ((a.type.isText() || a.type.isUnknown()) && (b.type.isText() || b.type.isUnknown()) &&
            !(a.type.isUnknown() && b.type.isUnknown()))
            rhs += " COLLATE vq_ci";
        else if (a.type.isText() && b.type.isText())
            rhs += " COLLATE vq_ci";
        return paren(a.sql + " " + op + " " + rhs);
    }

    // ---- expressions ----------------------------------------------------

    TExpr expr(const ast::Expr& e, Scope& scope)
    {
        if (++depth > 400) {
            --depth;
            fail(191,
                 "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into "
                 "smaller queries.",
                 e.pos);
        }
        struct DepthGuard {
            int& d;
            ~DepthGuard() { --d; }
        } guard{depth};

        switch (e.kind) {
        case ast::ExprKind::Literal: return literalOrParameter(e);
        case ast::ExprKind::Column: return column(e.name, scope);
        case ast::ExprKind::Variable: return variable(e);
        case ast::ExprKind::SysVariable: return sysVariable(e);
        case ast::ExprKind::Unary: return unary(e, scope);
        case ast::ExprKind::Binary: return binary(e, scope);
        case ast::ExprKind::Compare:
            return {compareSql(comparisonOperator(e), expr(*e.args[0], scope), expr(*e.args[1], scope)), kInt};
        case ast::ExprKind::And:
        case ast::ExprKind::Or:
            return logicalChain(e, scope);
        case ast::ExprKind::Not: return {paren("NOT " + expr(*e.args[0], scope).sql), kInt};
        case ast::ExprKind::Like: return like(e, scope);
        case ast::ExprKind::Between: return between(e, scope);
        case ast::ExprKind::InList: return inList(e, scope);
        case ast::ExprKind::InSubquery: return inSubquery(e, scope);
        case ast::ExprKind::Exists: {
            QueryResult q = query(*e.query, &scope, false);
            return {paren("EXISTS " + paren(q.sql)), kInt};
        }
        case ast::ExprKind::IsNull:
            return {paren(expr(*e.args[0], scope).sql + (e.negated ? " IS NOT NULL" : " IS NULL")), kInt};
        case ast::ExprKind::Function: return function(e, scope);
        case ast::ExprKind::Cast: {
            TExpr v = expr(*e.args[0], scope);
            return castTo(v, resolveTypeName(e.type, "", 1, nullptr), nullptr);
        }
        case ast::ExprKind::Convert: {
            TExpr v = expr(*e.args[0], scope);
            TExpr style;
            bool hasStyle = e.args.size() > 1 && e.args[1];
            if (hasStyle)
                style = expr(*e.args[1], scope);
            return castTo(v, resolveTypeName(e.type, "", 1, nullptr), hasStyle ? &style : nullptr);
        }
        case ast::ExprKind::Case: return caseExpr(e, scope);
        case ast::ExprKind::Subquery: return scalarSubquery(*e.query, scope, e.pos);
        case ast::ExprKind::Star: fail(err::SyntaxError, "Incorrect syntax near '*'.", e.pos);
        }
        unsupported("this expression", e.pos);
    }

    // a AND b AND c ... (or OR): the operands of the whole chain, however
    // grouped, collected without recursion and written as a balanced chain.
    TExpr logicalChain(const ast::Expr& e, Scope& scope)
    {
        std::vector<std::string> terms;
        std::vector<const ast::Expr*> pending{&e};
        while (!pending.empty()) {
            const ast::Expr* n = pending.back();
            pending.pop_back();
            if (n->kind == e.kind) {
                pending.push_back(n->args[1].get());
                pending.push_back(n->args[0].get());
            } else {
                terms.push_back(expr(*n, scope).sql);
            }
        }
        return {balancedChain(std::move(terms), e.kind == ast::ExprKind::And ? "AND" : "OR"), kInt};
    }

    // A literal inline, or as parameter "#k" when the executor binds the
    // k-th literal of its list: the type stays the literal's own, so
    // the translation is the one the inline literal would get.
    TExpr literalOrParameter(const ast::Expr& e)
    {
        TExpr r = literal(e);
        if (literalParameters) {
            const auto& list = *literalParameters;
            auto it = std::find(list.begin(), list.end(), &e);
            if (it != list.end())
                r.sql = parameter(literalParameterName(static_cast<std::size_t>(it - list.begin())));
        }
        return r;
    }

    // Static: the type of a literal depends on its text alone (literalType).
    static TExpr literal(const ast::Expr& e)
    {
        TExpr r;
        switch (e.litKind) {
        case ast::LiteralKind::Null:
            r.sql = "NULL";
            r.type = kNull;
            r.nullLiteral = true;
            return r;
        case ast::LiteralKind::Integer: {
            r.sql = e.text;
            std::string digits = e.text;
            digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() > 0 ? digits.size() - 1 : 0));
            if (digits.size() < 10 || (digits.size() == 10 && digits <= "2147483647"))
                r.type = kInt;
            else if (digits.size() < 19 || (digits.size() == 19 && digits <= "9223372036854775807"))
                r.type = makeType(BaseType::Numeric, 0, static_cast<int>(digits.size()), 0);
            else {
                r.sql = e.text + ".0";
                r.type = makeType(BaseType::Numeric, 0, 38, 0);
            }
            return r;
        }
        case ast::LiteralKind::Decimal: {
            std::string t = e.text;
            if (!t.empty() && t.front() == '.')
                t = "0" + t;
            if (!t.empty() && t.back() == '.')
                t += "0";
            r.sql = t;
            std::size_t dot = e.text.find('.');
            int scale = dot == std::string::npos ? 0 : static_cast<int>(e.text.size() - dot - 1);
            int digits = 0;
            for (char c : e.text)
                if (c >= '0' && c <= '9')
                    ++digits;
            r.type = makeType(BaseType::Numeric, 0, std::max(digits, scale), scale);
            return r;
        }
        case ast::LiteralKind::Float:
            r.sql = e.text;
            r.type = kFloat;
            return r;
        case ast::LiteralKind::Money:   // $12.34: text = "12.34" or "-2"
            r.sql = "vq_to_money(" + quoteString(e.text) + ",1)";
            r.type = makeType(BaseType::Money, 0, 19, 4);
            return r;
        case ast::LiteralKind::String:
            r.sql = textLiteral(e.text);
            r.type = varcharType(gbkLengthEstimate(e.text));
            return r;
        case ast::LiteralKind::NString: {
            r.sql = textLiteral(e.text);
            int chars = 0;
            for (unsigned char c : e.text)
                if ((c & 0xC0) != 0x80)
                    ++chars;
            r.type = makeType(BaseType::NVarChar, chars);
            return r;
        }
        case ast::LiteralKind::Binary: {
            static const char* hex = "0123456789ABCDEF";
            std::string s = "X'";
            for (unsigned char c : e.text) {
                s.push_back(hex[c >> 4]);
                s.push_back(hex[c & 15]);
            }
            r.sql = s + "'";
            r.type = makeType(BaseType::VarBinary, static_cast<int>(e.text.size()));
            return r;
        }
        }
        unsupported("this literal", e.pos);
    }

    TExpr variable(const ast::Expr& e)
    {
        std::string name = lowerAscii(e.text);
        auto it = variables.find(name);
        if (it == variables.end() || it->second.declaredAt > e.pos.offset)
            fail(err::MustDeclare, "Must declare the scalar variable \"" + e.text + "\".", e.pos);
        return {parameter(name), it->second.type};
    }

    TExpr sysVariable(const ast::Expr& e)
    {
        std::string name = lowerAscii(e.text);
        if (name == "@@version")
            return {quoteString(engineVersionText()), makeType(BaseType::NVarChar, 300)};
        if (name == "@@rowcount" || name == "@@error" || name == "@@trancount" || name == "@@spid" ||
            name == "@@fetch_status")
            return {parameter(name), kInt};
        if (name == "@@identity")
            return {parameter(name), makeType(BaseType::Numeric, 0, 38, 0)};
        if (name == "@@servername" || name == "@@servicename")
            return {parameter(name), makeType(BaseType::NVarChar, 128)};
        if (name == "@@datefirst" || name == "@@options" || name == "@@textsize" || name == "@@lock_timeout")
            return {parameter(name), kInt};
        if (name == "@@language")
            return {parameter(name), makeType(BaseType::NVarChar, 128)};
        if (name == "@@max_precision")
            return {"38", kInt};
        fail(err::MustDeclare, "Must declare the scalar variable \"" + e.text + "\".", e.pos);
    }

    TExpr column(const ast::ObjectName& name, Scope& scope)
    {
        const std::string& col = name.last();
        for (Scope* s = &scope; s; s = s->parent) {
            const Source* found = nullptr;
            const SourceColumn* foundCol = nullptr;
            if (name.parts.size() == 1) {
                for (const Source& src : s->sources) {
                    for (const SourceColumn& c : src.columns) {
                        if (equalsIgnoreCase(c.name, col)) {
                            if (found)
                                fail(err::AmbiguousColumn, "Ambiguous column name '" + col + "'.", name.pos);
                            found = &src;
                            foundCol = &c;
                            break;
                        }
                    }
                }
            } else {
                const std::string& qualifier = name.parts[name.parts.size() - 2];
                std::string database = name.parts.size() >= 4 ? name.parts[name.parts.size() - 4] : "";
                for (const Source& src : s->sources) {
                    bool match = src.aliased || src.tableName.empty()
                                     ? equalsIgnoreCase(src.exposed, qualifier) && name.parts.size() == 2
                                     : equalsIgnoreCase(src.tableName, qualifier) &&
                                           (database.empty() || equalsIgnoreCase(database, src.database));
                    if (!match)
                        continue;
                    found = &src;
                    for (const SourceColumn& c : src.columns)
                        if (equalsIgnoreCase(c.name, col))
                            foundCol = &c;
                    if (!foundCol)
                        fail(err::InvalidColumn, "Invalid column name '" + col + "'.", name.pos);
                    break;
                }
            }
            if (found && foundCol) {
                if (s->bareColumns)
                    return {quoteIdent(foundCol->name), foundCol->type};
                return {quoteIdent(found->sqlAlias) + "." + quoteIdent(foundCol->name), foundCol->type};
            }
        }
        if (name.parts.size() == 1)
            fail(err::InvalidColumn, "Invalid column name '" + col + "'.", name.pos);
        fail(4104, "The multi-part identifier \"" + name.toString() + "\" could not be bound.", name.pos);
    }

    TExpr unary(const ast::Expr& e, Scope& scope)
    {
        TExpr v = expr(*e.args[0], scope);
        if (e.op == "+")
            return v;
        if (v.type.isText())
            v = {"vq_to_float(" + v.sql + ")", kFloat};
        // -(-2147483648) does not fit int: checked as SQL Server checks it.
        const bool digitsOnly = !v.sql.empty() && v.sql.find_first_not_of("0123456789") == std::string::npos;
        if (e.op == "-" && !v.nullLiteral && !digitsOnly &&
            (v.type.base == BaseType::Int || v.type.base == BaseType::BigInt || v.type.base == BaseType::SmallInt))
            return {"vq_ineg(" + v.sql + "," + intBits(v.type.base) + ")", v.type};
        if (e.op == "-" && !v.nullLiteral && isMoney(v.type))
            return {"vq_msub(0," + v.sql + ")", v.type};
        return {paren(e.op + v.sql), v.type};
    }

    // a + b of two strings. A non-max result holds at most 8000 bytes (4000
    // nvarchar characters): longer ones are cut, as SQL Server cuts them.
    TExpr concatenation(const TExpr& a, const TExpr& b)
    {
        const bool unicode = a.type.base == BaseType::NVarChar || b.type.base == BaseType::NVarChar ||
                             a.type.base == BaseType::NChar || b.type.base == BaseType::NChar;
        const BaseType base = unicode ? BaseType::NVarChar : BaseType::VarChar;
        const bool max = a.type.length < 0 || b.type.length < 0 || a.type.base == BaseType::Text ||
                         a.type.base == BaseType::NText || b.type.base == BaseType::Text ||
                         b.type.base == BaseType::NText;
        std::string sql = paren(a.sql + " || " + b.sql);
        if (max)
            return {sql, makeType(base, -1)};
        const int limit = nonMaxLimit(base);
        const int len = a.type.length + b.type.length;
        if (len <= limit)
            return {sql, makeType(base, len)};
        sql = unicode ? "vq_left(" + sql + "," + std::to_string(limit) + ")"
                      : "vq_to_varchar(" + sql + "," + std::to_string(limit) + ",-1)";
        return {sql, makeType(base, limit)};
    }

    // Operand of arithmetic: a text beside a number converts to that number.
    TExpr numericOperand(const TExpr& v, const SqlType& other)
    {
        if (!v.type.isText() || other.isText() || other.isUnknown())
            return v;
        if (other.isIntegerFamily())
            return {"vq_to_int(" + v.sql + ",'int')", kInt};
        if (other.isExactDecimal())
            return {"vq_to_float(" + v.sql + ")", makeType(BaseType::Numeric, 0, 38, 10)};
        return {"vq_to_float(" + v.sql + ")", kFloat};
    }

    // A chain of binary operators: the left spine of the tree is walked
    // without recursion and each step translated with the operands' types,
    // the text built by OperatorChain.
    TExpr binary(const ast::Expr& e, Scope& scope)
    {
        std::vector<const ast::Expr*> spine;
        for (const ast::Expr* n = &e; n->kind == ast::ExprKind::Binary; n = n->args[0].get())
            spine.push_back(n);
        TExpr acc = expr(*spine.back()->args[0], scope);
        OperatorChain chain(acc.sql);
        for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
            TExpr right = expr(*(*it)->args[1], scope);
            TExpr step = binaryStep({kChainOperand, acc.type, acc.nullLiteral}, right, **it);
            chain.add(step.sql, (*it)->op, right.sql);
            acc.type = step.type;
            acc.nullLiteral = step.nullLiteral;
        }
        acc.sql = chain.text();
        return acc;
    }

    // One operator of a chain: a op b, both translated.
    TExpr binaryStep(TExpr a, TExpr b, const ast::Expr& e)
    {
        const std::string& op = e.op;
        if (a.nullLiteral || b.nullLiteral) {
            TExpr r{"NULL", a.nullLiteral ? b.type : a.type, true};
            return r;
        }
        if (op == "+") {
            if (a.type.isText() && b.type.isText()) {
                return concatenation(a, b);
            }
            if (a.type.isBinary() && b.type.isBinary())
                return {"vq_add(" + a.sql + "," + b.sql + ")", a.type};
            if (a.type.isDateTime() && (b.type.isNumericFamily() || b.type.isText()))
                return {"vq_datetime_plus(" + a.sql + "," + b.sql + ")", a.type};
            if (b.type.isDateTime() && (a.type.isNumericFamily() || a.type.isText()))
                return {"vq_datetime_plus(" + b.sql + "," + a.sql + ")", b.type};
            if (a.type.isUnknown() || b.type.isUnknown())
                return {"vq_add(" + a.sql + "," + b.sql + ")", a.type.isUnknown() ? b.type : a.type};
        }
        if (op == "-" && a.type.isDateTime() && (b.type.isNumericFamily() || b.type.isText()))
            return {"vq_datetime_minus(" + a.sql + "," + b.sql + ")", a.type};
        if (op == "-" && a.type.isDateTime() && b.type.isDateTime())
            return {"vq_datetime_minus(" + a.sql + "," + b.sql + ")", a.type};
        if (a.type.isText() && b.type.isText())
            fail(8117, "Operand data type varchar is invalid for " + operatorName(op) + " operator.", e.pos);
        a = numericOperand(a, b.type);
        b = numericOperand(b, a.type);
        SqlType type = arithmeticType(a.type, b.type, op);
        // Integer and money arithmetic is checked: SQLite computes in 64
        // bits (and turns an overflow into a double), SQL Server refuses a
        // result outside the type with 8115 (2147483647 + 1).
        const bool integers = type.isIntegerFamily() && a.type.isIntegerFamily() && b.type.isIntegerFamily();
        const bool checkInt = integers && type.base == BaseType::Int;
        auto intChecked = [&](const std::string& sql) {
            return checkInt ? "vq_to_int(" + sql + ",'int')" : sql;
        };
        if (integers && (op == "+" || op == "-" || op == "*")) {
            const char* fn = op == "+" ? "vq_iadd(" : op == "-" ? "vq_isub(" : "vq_imul(";
            return {fn + a.sql + "," + b.sql + "," + intBits(type.base) + ")", type};
        }
        // money plus or minus a decimal of at most four places is exact on
        // the money scale too (its type is numeric, as SQL Server types it).
        const bool moneyAndDecimal =
            (op == "+" || op == "-") &&
            ((isMoney(a.type) && b.type.base == BaseType::Numeric && b.type.scale <= 4) ||
             (isMoney(b.type) && a.type.base == BaseType::Numeric && a.type.scale <= 4));
        if (moneyAndDecimal ||
            (isMoney(type) && !a.type.isUnknown() && !b.type.isUnknown() &&
             (op == "+" || op == "-" || op == "*" || op == "/"))) {
            const char* fn = op == "+" ? "vq_madd(" : op == "-" ? "vq_msub(" : op == "*" ? "vq_mmul(" : "vq_mdiv(";
            return {fn + a.sql + "," + b.sql + ")", type};
        }
        if (op == "/") {
            std::string lhs = a.sql;
            if (!type.isIntegerFamily() && !a.type.isUnknown())
                lhs = "CAST(" + a.sql + " AS REAL)";
            return {intChecked("vq_div(" + lhs + "," + b.sql + ")"), type};
        }
        if (op == "%")
            return {"vq_mod(" + a.sql + "," + b.sql + ")", type};
        if (op == "^")   // a function, as spelling it with | and & would copy both operands
            return {"vq_bitxor(" + a.sql + "," + b.sql + ")", type};
        // Exact decimals are carried as doubles: rounding the result to its
        // scale gives the double nearest the exact decimal (0.1 + 0.2 = 0.3).
        if (type.isExactDecimal() && (op == "+" || op == "-" || op == "*")) {
            int p, sc;
            decimalShape(type, p, sc);
            if (sc <= 12)
                return {"round(" + a.sql + " " + op + " " + b.sql + "," + std::to_string(sc) + ")", type};
        }
        if (op == "+" || op == "-" || op == "*")
            return {intChecked(paren(a.sql + " " + op + " " + b.sql)), type};
        return {paren(a.sql + " " + op + " " + b.sql), type};
    }

    static std::string operatorName(const std::string& op)
    {
        if (op == "-") return "subtract";
        if (op == "*") return "multiply";
        if (op == "/") return "divide";
        if (op == "%") return "modulo";
        return op;
    }

    TExpr like(const ast::Expr& e, Scope& scope)
    {
        TExpr v = expr(*e.args[0], scope);
        TExpr p = expr(*e.args[1], scope);
        std::string value = v.type.isDateTime() ? "vq_format_datetime(" + v.sql + ",0)" : v.sql;
        std::string sql = value + (e.negated ? " NOT LIKE " : " LIKE ") + p.sql;
        if (e.args.size() > 2 && e.args[2])
            sql += " ESCAPE " + expr(*e.args[2], scope).sql;
        return {paren(sql), kInt};
    }

    TExpr between(const ast::Expr& e, Scope& scope)
    {
        TExpr v = expr(*e.args[0], scope);
        TExpr lo = coerceForCompare(expr(*e.args[1], scope), v.type);
        TExpr hi = coerceForCompare(expr(*e.args[2], scope), v.type);
        std::string lhs = v.sql;
        if (v.type.isText())
            lhs += " COLLATE vq_ci";
        return {paren(lhs + (e.negated ? " NOT BETWEEN " : " BETWEEN ") + lo.sql + " AND " + hi.sql), kInt};
    }

    TExpr inList(const ast::Expr& e, Scope& scope)
    {
        TExpr v = expr(*e.args[0], scope);
        std::string items;
        for (std::size_t i = 1; i < e.args.size(); ++i) {
            TExpr item = coerceForCompare(expr(*e.args[i], scope), v.type);
            if (i > 1)
                items += ", ";
            items += item.sql;
        }
        std::string lhs = v.sql;
        if (v.type.isText())
            lhs += " COLLATE vq_ci";
        return {paren(lhs + (e.negated ? " NOT IN (" : " IN (") + items + ")"), kInt};
    }

    TExpr inSubquery(const ast::Expr& e, Scope& scope)
    {
        TExpr v = expr(*e.args[0], scope);
        QueryResult q = query(*e.query, &scope, false);
        if (q.outputs.size() != 1)
            fail(116,
                 "Only one expression can be specified in the select list when the subquery is not introduced "
                 "with EXISTS.",
                 e.pos);
        std::string lhs = v.sql;
        if (v.type.isText() || q.outputs[0].expr.type.isText())
            lhs += " COLLATE vq_ci";
        return {paren(lhs + (e.negated ? " NOT IN " : " IN ") + paren(q.sql)), kInt};
    }

    TExpr caseExpr(const ast::Expr& e, Scope& scope)
    {
        std::string sql = "CASE";
        TExpr operand;
        if (e.hasOperand)
            operand = expr(*e.args[0], scope);
        std::vector<TExpr> results;
        std::vector<std::string> conditions;
        for (const auto& [when, then] : e.whens) {
            if (e.hasOperand)
                conditions.push_back(compareSql("=", operand, expr(*when, scope)));
            else
                conditions.push_back(expr(*when, scope).sql);
            results.push_back(expr(*then, scope));
        }
        TExpr elseValue{"NULL", kNull, true};
        if (e.elseExpr)
            elseValue = expr(*e.elseExpr, scope);
        SqlType type = kNull;
        auto consider = [&](const TExpr& r) {
            if (r.nullLiteral)
                return;
            if (type.isUnknown() || precedence(r.type) > precedence(type))
                type = r.type;
            else if (type.isText() && r.type.isText())
                type.length = (type.length < 0 || r.type.length < 0) ? -1 : std::max(type.length, r.type.length);
        };
        for (const auto& r : results)
            consider(r);
        consider(elseValue);
        for (std::size_t i = 0; i < results.size(); ++i)
            sql += " WHEN " + conditions[i] + " THEN " + caseResult(results[i], type);
        if (e.elseExpr)
            sql += " ELSE " + caseResult(elseValue, type);
        sql += " END";
        return {paren(sql), type};
    }

    // A CASE branch converted to the CASE's type when SQL Server would.
    std::string caseResult(const TExpr& r, const SqlType& type)
    {
        if (r.nullLiteral || r.type.isUnknown())
            return r.sql;
        if (type.isDateTime() && r.type.isText())
            return "vq_to_datetime(" + r.sql + ")";
        if (type.isNumericFamily() && r.type.isText())
            return type.isIntegerFamily() ? "vq_to_int(" + r.sql + ",'int')" : "vq_to_float(" + r.sql + ")";
        return r.sql;
    }

    TExpr scalarSubquery(const ast::Query& q, Scope& scope, const ast::Pos& pos)
    {
        // A subquery used as a value must yield at most one row (error 512).
        // A single plain SELECT without aggregates is checked by turning its
        // value into the aggregate vq_single(); aggregate queries without
        // GROUP BY give one row by themselves.
        bool simple = q.blocks.size() == 1 && q.orderBy.empty();
        const ast::QueryBlock* block = simple ? q.blocks[0].get() : nullptr;
        bool wrap = block && !block->distinct && !block->top && block->groupBy.empty() && !block->having &&
                    block->items.size() == 1 && block->items[0].expr &&
                    block->items[0].expr->kind != ast::ExprKind::Star && !containsAggregate(*block->items[0].expr) &&
                    !block->from.empty();
        QueryResult r = query(q, &scope, false, wrap);
        if (r.outputs.size() != 1)
            fail(116,
                 "Only one expression can be specified in the select list when the subquery is not introduced "
                 "with EXISTS.",
                 pos);
        return {paren(r.sql), r.outputs[0].expr.type};
    }

    // ---- functions ------------------------------------------------------

    TExpr function(const ast::Expr& e, Scope& scope);

    std::vector<TExpr> arguments(const ast::Expr& e, Scope& scope, std::size_t min, std::size_t max)
    {
        if (e.args.size() < min || e.args.size() > max)
            fail(174,
                 "The " + lowerAscii(e.text) + " function requires " + std::to_string(min) + " argument(s).",
                 e.pos);
        std::vector<TExpr> out;
        for (const auto& a : e.args)
            out.push_back(expr(*a, scope));
        return out;
    }

    // The date part argument of DATEADD and its kin: a bare word.
    std::string datePart(const ast::Expr& a)
    {
        if (a.kind == ast::ExprKind::Column && a.name.parts.size() == 1)
            return quoteString(lowerAscii(a.name.last()));
        if (a.kind == ast::ExprKind::Literal && a.litKind == ast::LiteralKind::String)
            return textLiteral(lowerAscii(a.text));
        fail(err::SyntaxError, "Incorrect syntax near the date part.", a.pos);
    }

    TExpr objectId(const ast::Expr& e, Scope& scope)
    {
        if (e.args.empty() || e.args.size() > 2)
            fail(174, "The object_id function requires 1 to 2 arguments.", e.pos);
        std::string typeFilter;
        if (e.args.size() == 2)
            typeFilter = " AND xtype = " + expr(*e.args[1], scope).sql + " COLLATE vq_ci";
        const ast::Expr& a = *e.args[0];
        if (a.kind == ast::ExprKind::Literal &&
            (a.litKind == ast::LiteralKind::String || a.litKind == ast::LiteralKind::NString)) {
            std::vector<std::string> parts = splitObjectName(a.text);
            if (parts.empty() || parts.size() > 3)
                return {"NULL", kInt, true};
            std::string database = parts.size() == 3 ? parts[0] : "";
            std::string schemaAlias;
            try {
                schemaAlias = catalog.schemaFor(database);
            } catch (const SqlException&) {
                return {"NULL", kInt, true};
            }
            std::string table = viewMode ? "sysobjects" : quoteIdent(schemaAlias) + ".sysobjects";
            return {paren("SELECT id FROM " + table + " WHERE name = " + textLiteral(parts.back()) +
                          " COLLATE vq_ci" + typeFilter + " LIMIT 1"),
                    kInt};
        }
        TExpr v = expr(a, scope);
        std::string table = viewMode ? "sysobjects" : quoteIdent(catalog.schemaFor("")) + ".sysobjects";
        return {paren("SELECT id FROM " + table + " WHERE name = vq_objname(" + v.sql + ") COLLATE vq_ci" +
                      typeFilter + " LIMIT 1"),
                kInt};
    }

    static std::vector<std::string> splitObjectName(const std::string& text)
    {
        std::vector<std::string> parts;
        std::string cur;
        bool inBracket = false, inQuote = false;
        for (char c : text) {
            if (inBracket) {
                if (c == ']')
                    inBracket = false;
                else
                    cur.push_back(c);
            } else if (inQuote) {
                if (c == '"')
                    inQuote = false;
                else
                    cur.push_back(c);
            } else if (c == '[') {
                inBracket = true;
            } else if (c == '"') {
                inQuote = true;
            } else if (c == '.') {
                parts.push_back(cur);
                cur.clear();
            } else if (c != ' ') {
                cur.push_back(c);
            }
        }
        parts.push_back(cur);
        if (parts.size() == 3 || parts.size() == 2) {
            // db.schema.name or schema.name: the schema must be dbo or empty.
            const std::string& schema = parts[parts.size() - 2];
            if (!schema.empty() && !equalsIgnoreCase(schema, "dbo"))
                return {};
            if (parts.size() == 2)
                parts.erase(parts.begin());
        }
        return parts;
    }

    // ---- queries --------------------------------------------------------

    // INFORMATION_SCHEMA.X of the current or a named database: a derived
    // table over that database's system tables.
    std::string informationSchemaRef(const ast::TableRef& ref, Scope& scope)
    {
        const TableInfo* sysobjects = catalog.findTable(ref.name.database(), "sysobjects");
        if (!sysobjects)
            catalog.schemaFor(ref.name.database());   // 911 for a database that does not exist
        if (!sysobjects)
            fail(err::InvalidObject, "Invalid object name '" + ref.name.toString() + "'.", ref.name.pos);
        std::string prefix = quoteIdent(sysobjects->schemaAlias) + ".";
        if (viewMode) {
            if (!equalsIgnoreCase(sysobjects->database, viewDatabase))
                unsupported("a view that reads another database", ref.pos);
            prefix.clear();
        }
        LaterSystemTables present;
        present.foreignKeys = catalog.findTable(ref.name.database(), "sysforeignkeys") != nullptr;
        present.depends = catalog.findTable(ref.name.database(), "sysdepends") != nullptr;
        auto view = informationSchemaView(ref.name.last(), prefix, sysobjects->database, present);
        if (!view)
            fail(err::InvalidObject, "Invalid object name '" + ref.name.toString() + "'.", ref.name.pos);
        Source src;
        src.aliased = !ref.alias.empty();
        src.exposed = src.aliased ? ref.alias : view->name;
        src.tableName = view->name;
        src.database = sysobjects->database;
        src.sqlAlias = newAlias();
        for (const auto& [name, type] : view->columns)
            src.columns.push_back({name, type});
        std::string sql = paren(view->sql) + " AS " + quoteIdent(src.sqlAlias);
        scope.sources.push_back(std::move(src));
        return sql;
    }

    std::string tableRef(const ast::TableRef& ref, Scope& scope)
    {
        switch (ref.kind) {
        case ast::TableRef::Kind::Named: {
            if (equalsIgnoreCase(ref.name.schema(), "INFORMATION_SCHEMA") && ref.name.parts.size() <= 3)
                return informationSchemaRef(ref, scope);
            const TableInfo& info = resolveTable(ref.name);
            if (info.isView())
                viewsRead.push_back(info.name);
            Source src;
            src.aliased = !ref.alias.empty();
            src.exposed = src.aliased ? ref.alias : ref.name.last();
            src.tableName = info.name;
            src.database = info.database;
            src.sqlAlias = newAlias();
            for (const ColumnInfo& c : info.columns)
                src.columns.push_back({c.name, c.type});
            for (const Source& other : scope.sources)
                if (equalsIgnoreCase(other.exposed, src.exposed) && (other.aliased || src.aliased ||
                                                                    equalsIgnoreCase(other.database, src.database)))
                    fail(1013,
                         "The objects \"" + other.exposed + "\" and \"" + src.exposed +
                             "\" in the FROM clause have the same exposed names. Use correlation names to "
                             "distinguish them.",
                         ref.pos);
            std::string sql = tableSql(info, ref.pos) + " AS " + quoteIdent(src.sqlAlias);
            scope.sources.push_back(std::move(src));
            return sql;
        }
        case ast::TableRef::Kind::Derived: {
            QueryResult inner = query(*ref.query, scope.parent, true);
            Source src;
            src.aliased = true;
            src.exposed = ref.alias;
            src.sqlAlias = newAlias();
            std::set<std::string> seen;
            for (std::size_t i = 0; i < inner.outputs.size(); ++i) {
                const Output& o = inner.outputs[i];
                if (o.name.empty())
                    fail(8155,
                         "No column name was specified for column " + std::to_string(i + 1) + " of '" + ref.alias +
                             "'.",
                         ref.pos);
                if (!seen.insert(lowerAscii(o.name)).second)
                    fail(8156, "The column '" + o.name + "' was specified multiple times for '" + ref.alias + "'.",
                         ref.pos);
                src.columns.push_back({o.sqlName, o.expr.type});
            }
            std::string sql = paren(inner.sql) + " AS " + quoteIdent(src.sqlAlias);
            scope.sources.push_back(std::move(src));
            return sql;
        }
        case ast::TableRef::Kind::Join: {
            std::string left = tableRef(*ref.left, scope);
            std::string right = tableRef(*ref.right, scope);
            const char* kw = "JOIN";
            switch (ref.joinType) {
            case ast::JoinType::Inner: kw = "JOIN"; break;
            case ast::JoinType::Left: kw = "LEFT JOIN"; break;
            case ast::JoinType::Right: kw = "RIGHT JOIN"; break;
            case ast::JoinType::Full: kw = "FULL JOIN"; break;
            case ast::JoinType::Cross: kw = "CROSS JOIN"; break;
            }
            std::string sql = left + " " + kw + " " + right;
            if (ref.on)
                sql += " ON " + expr(*ref.on, scope).sql;
            return sql;
        }
        }
        unsupported("this table source", ref.pos);
    }

    // Translates one SELECT block. `scopeOut` receives its scope (for
    // ORDER BY); `derived` demands unique column names as SQL aliases;
    // `single` wraps the only value in vq_single() (scalar subquery).
    std::string queryBlock(const ast::QueryBlock& block, Scope* parent, bool derived, bool single, bool dedupe,
                          std::vector<Output>& outputs, std::vector<std::string>& assignTargets, Scope& scope)
    {
        scope.parent = parent;
        std::string from;
        for (const auto& ref : block.from) {
            if (!from.empty())
                from += ", ";
            from += tableRef(*ref, scope);
        }
        if (block.into.parts.size() > 0)
            unsupported("SELECT ... INTO", block.pos);

        bool assigning = false;
        for (std::size_t i = 0; i < block.items.size(); ++i) {
            const ast::SelectItem& item = block.items[i];
            bool assigns = !item.assignVariable.empty();
            if (i == 0)
                assigning = assigns;
            else if (assigns != assigning)
                fail(141,
                     "A SELECT statement that assigns a value to a variable must not be combined with "
                     "data-retrieval operations.",
                     item.pos);
            if (item.expr->kind == ast::ExprKind::Star) {
                expandStar(*item.expr, scope, outputs);
                continue;
            }
            Output o;
            o.expr = expr(*item.expr, scope);
            if (!item.alias.empty())
                o.name = item.alias;
            else if (item.expr->kind == ast::ExprKind::Column)
                o.name = item.expr->name.last();
            if (assigns) {
                std::string var = lowerAscii(item.assignVariable);
                auto it = variables.find(var);
                if (it == variables.end() || it->second.declaredAt > item.pos.offset)
                    fail(err::MustDeclare, "Must declare the scalar variable \"" + item.assignVariable + "\".",
                         item.pos);
                o.expr.sql = convert(o.expr, it->second.type, true);
                o.expr.type = it->second.type;
                assignTargets.push_back(var);
            }
            outputs.push_back(std::move(o));
        }
        if (outputs.size() > kMaxSelectListElements)
            fail(1056,
                 "The number of elements in the select list exceeds the maximum allowed number of " +
                     std::to_string(kMaxSelectListElements) + " elements.",
                 block.pos);
        // SQL aliases: the column's own name where it is unique, else a
        // generated one (a derived table needs the real names).
        std::set<std::string> used;
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            Output& o = outputs[i];
            std::string key = lowerAscii(o.name);
            if (!o.name.empty() && used.insert(key).second)
                o.sqlName = o.name;
            else
                o.sqlName = "__c" + std::to_string(i + 1);
            (void)derived;
        }

        std::string sql = block.distinct ? "SELECT DISTINCT " : "SELECT ";
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            if (i)
                sql += ", ";
            std::string value = outputs[i].expr.sql;
            if (single)
                value = "vq_single(" + value + ")";
            else if ((block.distinct || dedupe) && outputs[i].expr.type.isText())
                value += " COLLATE vq_ci";
            sql += value + " AS " + quoteIdent(outputs[i].sqlName);
        }
        if (!from.empty())
            sql += " FROM " + from;
        if (block.where)
            sql += " WHERE " + expr(*block.where, scope).sql;
        std::vector<std::string> groupSql;
        if (!block.groupBy.empty()) {
            sql += " GROUP BY ";
            for (std::size_t i = 0; i < block.groupBy.size(); ++i) {
                TExpr g = expr(*block.groupBy[i], scope);
                groupSql.push_back(g.sql);
                if (i)
                    sql += ", ";
                sql += g.sql;
                if (g.type.isText())
                    sql += " COLLATE vq_ci";
            }
        }
        if (block.having)
            sql += " HAVING " + expr(*block.having, scope).sql;
        checkGrouping(block, scope, groupSql);
        return sql;
    }

    // Column references outside aggregates, not looking into subqueries.
    static void ungroupedColumns(const ast::Expr& e, std::vector<const ast::Expr*>& out)
    {
        if (e.kind == ast::ExprKind::Column) {
            out.push_back(&e);
            return;
        }
        if (e.kind == ast::ExprKind::Function && isAggregateName(lowerAscii(e.text)))
            return;
        if (e.kind == ast::ExprKind::Subquery || e.kind == ast::ExprKind::Exists)
            return;
        for (const auto& a : e.args)
            if (a)
                ungroupedColumns(*a, out);
        for (const auto& [w, t] : e.whens) {
            if (w)
                ungroupedColumns(*w, out);
            if (t)
                ungroupedColumns(*t, out);
        }
        if (e.elseExpr)
            ungroupedColumns(*e.elseExpr, out);
    }

    // An aggregated query may show a column only inside an aggregate or
    // when it is grouped by (error 8120), as SQL Server insists.
    void checkGrouping(const ast::QueryBlock& block, Scope& scope, const std::vector<std::string>& groupSql)
    {
        bool aggregated = !block.groupBy.empty() || block.having;
        for (const ast::SelectItem& item : block.items)
            if (item.expr->kind != ast::ExprKind::Star && containsAggregate(*item.expr))
                aggregated = true;
        if (!aggregated)
            return;
        auto check = [&](const ast::Expr& e, const char* clause) {
            if (e.kind == ast::ExprKind::Star) {
                checkStarGrouped(e, scope, groupSql);
                return;
            }
            if (std::find(groupSql.begin(), groupSql.end(), expr(e, scope).sql) != groupSql.end())
                return;
            std::vector<const ast::Expr*> columns;
            ungroupedColumns(e, columns);
            for (const ast::Expr* c : columns) {
                std::string colSql = expr(*c, scope).sql;
                if (std::find(groupSql.begin(), groupSql.end(), colSql) != groupSql.end())
                    continue;
                // A reference to an outer query is a constant within the group.
                bool local = false;
                for (const Source& src : scope.sources)
                    if (colSql.rfind(quoteIdent(src.sqlAlias) + ".", 0) == 0 || scope.bareColumns)
                        local = true;
                if (!local)
                    continue;
                std::string shown = c->name.parts.size() > 1 ? c->name.toString() : c->name.last();
                for (const Source& src : scope.sources)
                    if (colSql.rfind(quoteIdent(src.sqlAlias) + ".", 0) == 0 && c->name.parts.size() == 1)
                        shown = src.exposed + "." + c->name.last();
                fail(8120, "Column '" + shown + "' is invalid in the " + clause +
                               " because it is not contained in either an aggregate function or the GROUP BY clause.",
                     c->pos);
            }
        };
        for (const ast::SelectItem& item : block.items)
            check(*item.expr, "select list");
        if (block.having)
            check(*block.having, "HAVING clause");
    }

    // Whether `*` (bare) or `q.*` covers the columns of `src`.
    static bool starCovers(const ast::Expr& star, const Source& src)
    {
        if (star.name.empty())
            return true;
        const std::string& q = star.name.last();
        return src.aliased || src.tableName.empty() ? equalsIgnoreCase(src.exposed, q)
                                                    : equalsIgnoreCase(src.tableName, q);
    }

    static std::string starColumnSql(const Scope& scope, const Source& src, const SourceColumn& c)
    {
        return scope.bareColumns ? quoteIdent(c.name) : quoteIdent(src.sqlAlias) + "." + quoteIdent(c.name);
    }

    // `*` in an aggregated query stands for its columns, each of which must
    // be grouped by (SELECT * FROM t GROUP BY every column of t is valid).
    void checkStarGrouped(const ast::Expr& star, const Scope& scope, const std::vector<std::string>& groupSql)
    {
        for (const Source& src : scope.sources) {
            if (!starCovers(star, src))
                continue;
            for (const SourceColumn& c : src.columns) {
                if (std::find(groupSql.begin(), groupSql.end(), starColumnSql(scope, src, c)) != groupSql.end())
                    continue;
                fail(8120, "Column '" + src.exposed + "." + c.name +
                               "' is invalid in the select list because it is not contained in either an aggregate "
                               "function or the GROUP BY clause.",
                     star.pos);
            }
        }
    }

    void expandStar(const ast::Expr& star, Scope& scope, std::vector<Output>& outputs)
    {
        bool any = false;
        for (const Source& src : scope.sources) {
            if (!starCovers(star, src))
                continue;
            any = true;
            for (const SourceColumn& c : src.columns) {
                Output o;
                o.name = c.name;
                o.expr.type = c.type;
                o.expr.sql = starColumnSql(scope, src, c);
                outputs.push_back(std::move(o));
            }
        }
        if (!any) {
            if (star.name.empty())
                fail(263, "Must specify table to select from.", star.pos);
            fail(107,
                 "The column prefix '" + star.name.toString() +
                     "' does not match with a table name or alias name used in the query.",
                 star.pos);
        }
    }

    // A parenthesised set expression as one operand of a set operation.
    // SQLite's compound SELECT takes no parentheses and applies its
    // operators from left to right, so the operand is read from a subquery.
    std::string nestedOperand(const ast::Query& q, Scope* parent, bool dedupe, std::vector<Output>& outputs)
    {
        QueryResult inner = query(q, parent, true);
        const std::string alias = newAlias();
        std::string sql = "SELECT ";
        for (std::size_t i = 0; i < inner.outputs.size(); ++i) {
            Output o = inner.outputs[i];
            o.expr.sql = quoteIdent(alias) + "." + quoteIdent(o.sqlName);
            sql += (i ? ", " : "") + o.expr.sql;
            if (dedupe && o.expr.type.isText())
                sql += " COLLATE vq_ci";
            sql += " AS " + quoteIdent(o.sqlName);
            outputs.push_back(std::move(o));
        }
        return sql + " FROM " + paren(inner.sql) + " AS " + quoteIdent(alias);
    }

    QueryResult query(const ast::Query& q, Scope* parent, bool derived, bool single = false)
    {
        QueryResult result;
        std::vector<Scope> scopes(q.blocks.size());
        std::string sql;
        for (std::size_t i = 0; i < q.blocks.size(); ++i) {
            std::vector<Output> outputs;
            std::vector<std::string> targets;
            bool dedupe = std::any_of(q.ops.begin(), q.ops.end(), [](ast::SetOp op) { return op != ast::SetOp::UnionAll; });
            std::string part = q.blocks[i]->nested
                                   ? nestedOperand(*q.blocks[i]->nested, parent, dedupe, outputs)
                                   : queryBlock(*q.blocks[i], parent, derived, single, dedupe, outputs, targets, scopes[i]);
            const ast::QueryBlock& block = *q.blocks[i];
            if (block.topPercent)
                unsupported("TOP ... PERCENT", block.pos);
            if (i == 0) {
                result.outputs = std::move(outputs);
                result.assignTargets = std::move(targets);
            } else {
                if (outputs.size() != result.outputs.size())
                    fail(205,
                         "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an equal "
                         "number of expressions in their target lists.",
                         block.pos);
                for (std::size_t c = 0; c < outputs.size(); ++c)
                    if (precedence(outputs[c].expr.type) > precedence(result.outputs[c].expr.type))
                        result.outputs[c].expr.type = outputs[c].expr.type;
            }
            if (block.top && q.blocks.size() > 1)
                part = "SELECT * FROM (" + part + " LIMIT " + expr(*block.top, scopes[i]).sql + ")";
            if (i > 0) {
                switch (q.ops[i - 1]) {
                case ast::SetOp::Union: sql += " UNION "; break;
                case ast::SetOp::UnionAll: sql += " UNION ALL "; break;
                case ast::SetOp::Except: sql += " EXCEPT "; break;
                case ast::SetOp::Intersect: sql += " INTERSECT "; break;
                }
            }
            sql += part;
        }
        if (!q.orderBy.empty()) {
            sql += " ORDER BY ";
            for (std::size_t i = 0; i < q.orderBy.size(); ++i) {
                if (i)
                    sql += ", ";
                sql += orderTerm(*q.orderBy[i].expr, result.outputs, q.blocks.size() == 1 ? &scopes[0] : nullptr);
                if (q.orderBy[i].descending)
                    sql += " DESC";
            }
        }
        if (q.blocks.size() == 1 && q.blocks[0]->top) {
            TExpr n = expr(*q.blocks[0]->top, scopes[0]);
            sql += " LIMIT " + n.sql;
        }
        result.sql = sql;
        return result;
    }

    // ORDER BY: a select-list alias or position first, then an expression
    // over the FROM clause, as SQL Server resolves it. Texts sort under
    // the case-insensitive collation.
    std::string orderTerm(const ast::Expr& e, const std::vector<Output>& outputs, Scope* scope)
    {
        auto byPosition = [&](std::size_t index) {
            std::string term = std::to_string(index + 1);
            if (outputs[index].expr.type.isText())
                term += " COLLATE vq_ci";
            return term;
        };
        if (e.kind == ast::ExprKind::Column && e.name.parts.size() == 1) {
            for (std::size_t i = 0; i < outputs.size(); ++i)
                if (equalsIgnoreCase(outputs[i].name, e.name.last()))
                    return byPosition(i);
        }
        if (e.kind == ast::ExprKind::Literal && e.litKind == ast::LiteralKind::Integer) {
            std::size_t index = 0;
            auto parsed = std::from_chars(e.text.data(), e.text.data() + e.text.size(), index);
            if (parsed.ec != std::errc() || index < 1 || index > outputs.size())
                fail(108, "The ORDER BY position number " + e.text +
                              " is out of range of the number of items in the select list.",
                     e.pos);
            return byPosition(index - 1);
        }
        if (!scope)
            fail(104, "ORDER BY items must appear in the select list if the statement contains a UNION, INTERSECT "
                      "or EXCEPT operator.",
                 e.pos);
        TExpr t = expr(e, *scope);
        for (std::size_t i = 0; i < outputs.size(); ++i)
            if (outputs[i].expr.sql == t.sql)
                return byPosition(i);
        return t.type.isText() ? t.sql + " COLLATE vq_ci" : t.sql;
    }

    // ---- data modification ---------------------------------------------

    const TableInfo& targetTable(const ast::ObjectName& name, const ast::Pos& pos)
    {
        if (equalsIgnoreCase(name.schema(), "INFORMATION_SCHEMA"))
            fail(259, "Ad hoc updates to system catalogs are not allowed.", pos);
        const TableInfo& info = resolveTable(name);
        if (info.isView())
            unsupported("changing data through a view", pos);
        if (info.xtype == "S")
            fail(259, "Ad hoc updates to system catalogs are not allowed.", pos);
        return info;
    }

    // The default of a column: its stored SQLite expression (already
    // converted to the column's type when the column was defined). An
    // identity column that SQLite does not number itself stores
    // "identity(seed,increment)": the n-th row inserted by one statement
    // (`ordinal`, an SQL expression) gets the largest value so far plus n
    // increments.
    std::string defaultValue(const ColumnInfo& c, const std::string& tableSqlText = {},
                             const std::string& ordinal = "1")
    {
        if (c.defaultText.empty())
            return "NULL";
        if (c.identity) {
            long long seed = 1, increment = 1;
            std::sscanf(c.defaultText.c_str(), "identity(%lld,%lld)", &seed, &increment);
            return "((SELECT ifnull(max(" + quoteIdent(c.name) + "), " + std::to_string(seed - increment) + ") FROM " +
                   tableSqlText + ") + " + std::to_string(increment) + " * " + ordinal + ")";
        }
        return c.defaultText;
    }
};

namespace {

// Functions that map one to one onto an engine function of the same
// arguments: name, SQLite function, argument count and result type.
struct PlainFunction {
    enum class Result { Int, FirstText, LongText, OneChar };
    const char* name;
    const char* sqlName;
    std::size_t minArgs, maxArgs;
    Result result;
};

const PlainFunction kPlainFunctions[] = {
    {"len", "vq_len", 1, 1, PlainFunction::Result::Int},
    {"datalength", "vq_datalength", 1, 1, PlainFunction::Result::Int},
    {"charindex", "vq_charindex", 2, 3, PlainFunction::Result::Int},
    {"ascii", "vq_ascii", 1, 1, PlainFunction::Result::Int},
    {"isnumeric", "vq_isnumeric", 1, 1, PlainFunction::Result::Int},
    {"substring", "vq_substring", 3, 3, PlainFunction::Result::FirstText},
    {"left", "vq_left", 2, 2, PlainFunction::Result::FirstText},
    {"right", "vq_right", 2, 2, PlainFunction::Result::FirstText},
    {"upper", "vq_upper", 1, 1, PlainFunction::Result::FirstText},
    {"lower", "vq_lower", 1, 1, PlainFunction::Result::FirstText},
    {"ltrim", "vq_ltrim", 1, 1, PlainFunction::Result::FirstText},
    {"rtrim", "vq_rtrim", 1, 1, PlainFunction::Result::FirstText},
    {"reverse", "vq_reverse", 1, 1, PlainFunction::Result::FirstText},
    {"replicate", "vq_replicate", 2, 2, PlainFunction::Result::LongText},
    {"space", "vq_space", 1, 1, PlainFunction::Result::LongText},
    {"replace", "vq_replace", 3, 3, PlainFunction::Result::LongText},
    {"stuff", "vq_stuff", 4, 4, PlainFunction::Result::LongText},
    {"char", "vq_char", 1, 1, PlainFunction::Result::OneChar},
};

// SQL Server's float functions of one argument, each computed by the
// engine function vq_<name>.
bool isFloatMathFunction(const std::string& lowerName)
{
    static const char* const names[] = {"exp", "log", "log10", "square", "sin", "cos",
                                        "tan", "cot", "asin", "acos", "atan"};
    return std::find(std::begin(names), std::end(names), lowerName) != std::end(names);
}

const PlainFunction* findPlainFunction(const std::string& lowerName)
{
    for (const PlainFunction& f : kPlainFunctions)
        if (lowerName == f.name)
            return &f;
    return nullptr;
}

}  // namespace

TExpr Translator::Impl::function(const ast::Expr& e, Scope& scope)
{
    const std::string name = lowerAscii(e.text);
    auto call = [&](const std::string& fn, const std::vector<TExpr>& args) {
        std::string sql = fn + "(";
        for (std::size_t i = 0; i < args.size(); ++i)
            sql += (i ? "," : "") + args[i].sql;
        return sql + ")";
    };
    auto textType = [](const TExpr& t) { return t.type.isText() ? t.type : varcharType(8000); };

    // Aggregates.
    if (isAggregateName(name)) {
        if (e.star) {
            if (name != "count" && name != "count_big")
                fail(err::SyntaxError, "Incorrect syntax near '*'.", e.pos);
            return {"count(*)", name == "count" ? kInt : kBigInt};
        }
        std::vector<TExpr> a = arguments(e, scope, 1, 1);
        std::string arg = a[0].sql;
        if (a[0].type.isText() && (e.distinct || name == "min" || name == "max"))
            arg += " COLLATE vq_ci";
        std::string prefix = e.distinct ? "DISTINCT " : "";
        if (name == "count" || name == "count_big")
            return {"count(" + prefix + arg + ")", name == "count" ? kInt : kBigInt};
        if (name == "min" || name == "max")
            return {name + "(" + prefix + arg + ")", a[0].type};
        if (a[0].type.isText() || a[0].type.isDateTime())
            fail(8117, "Operand data type " + a[0].type.baseName() + " is invalid for " + name + " operator.", e.pos);
        if (name == "sum") {
            SqlType t = a[0].type;
            if (t.isIntegerFamily() && t.base != BaseType::BigInt)   // SUM(int) is an int: 8115 past it
                return {"vq_to_int(sum(" + prefix + arg + "),'int')", kInt};
            if (t.isIntegerFamily())
                t = kBigInt;
            else if (t.base == BaseType::Numeric)
                t = makeType(BaseType::Numeric, 0, 38, t.scale);
            if (t.isExactDecimal()) {
                // Rounded to the scale, so that sums of decimals compare exactly.
                int p, sc;
                decimalShape(t, p, sc);
                return {"round(sum(" + prefix + arg + ")," + std::to_string(sc) + ")", t};
            }
            return {"sum(" + prefix + arg + ")", t};
        }
        if (name == "avg") {
            SqlType t = a[0].type;
            if (t.isIntegerFamily())
                return {"CAST(avg(" + prefix + arg + ") AS INTEGER)", t.base == BaseType::BigInt ? kBigInt : kInt};
            if (t.base == BaseType::Numeric)
                t = makeType(BaseType::Numeric, 0, 38, std::max(6, t.scale));
            return {"avg(" + prefix + arg + ")", t};
        }
        unsupported("the aggregate " + e.text, e.pos);
    }

    if (name == "isnull") {
        std::vector<TExpr> a = arguments(e, scope, 2, 2);
        // The result has the first argument's type: the replacement is
        // converted (and cut) to it.
        SqlType t = a[0].nullLiteral ? a[1].type : a[0].type;
        std::string second = a[0].nullLiteral || a[0].type.isUnknown() ? a[1].sql : convert(a[1], t, true);
        return {"ifnull(" + a[0].sql + "," + second + ")", t};
    }
    if (name == "coalesce") {
        std::vector<TExpr> a = arguments(e, scope, 2, 255);
        SqlType t = kNull;
        for (const auto& x : a)
            if (!x.nullLiteral && (t.isUnknown() || precedence(x.type) > precedence(t)))
                t = x.type;
        std::string sql = "coalesce(";
        for (std::size_t i = 0; i < a.size(); ++i)
            sql += (i ? "," : "") + caseResult(a[i], t);
        return {sql + ")", t};
    }
    if (name == "nullif") {
        std::vector<TExpr> a = arguments(e, scope, 2, 2);
        return {paren("CASE WHEN " + compareSql("=", a[0], a[1]) + " THEN NULL ELSE " + a[0].sql + " END"),
                a[0].type};
    }
    if (name == "datalength" && e.args.size() == 1) {
        // nchar/nvarchar hold two bytes a character, char/varchar GBK bytes.
        TExpr v = expr(*e.args[0], scope);
        if (isUnicodeText(v.type))
            return {"vq_ndatalength(" + v.sql + ")", kInt};
    }
    if (name == "replicate" && e.args.size() == 2) {
        // A non-max argument gives at most 8000 bytes (4000 nvarchar characters).
        auto a = arguments(e, scope, 2, 2);
        const SqlType t = textType(a[0]);
        if (t.length < 0 || t.base == BaseType::Text || t.base == BaseType::NText)
            return {call("vq_replicate", a), makeType(isUnicodeText(t) ? BaseType::NVarChar : BaseType::VarChar, -1)};
        const bool unicode = isUnicodeText(t);
        return {"vq_replicate(" + a[0].sql + "," + a[1].sql + "," + (unicode ? "-4000" : "8000") + ")",
                makeType(unicode ? BaseType::NVarChar : BaseType::VarChar, unicode ? 4000 : 8000)};
    }
    if (const PlainFunction* f = findPlainFunction(name)) {
        auto a = arguments(e, scope, f->minArgs, f->maxArgs);
        SqlType t = kInt;
        switch (f->result) {
        case PlainFunction::Result::Int: t = kInt; break;
        case PlainFunction::Result::FirstText: t = textType(a[0]); break;
        case PlainFunction::Result::LongText: t = varcharType(8000); break;
        case PlainFunction::Result::OneChar: t = makeType(BaseType::Char, 1); break;
        }
        return {call(f->sqlName, a), t};
    }
    if (name == "abs") {
        auto a = arguments(e, scope, 1, 1);
        TExpr v = numericOperand(a[0], kFloat);
        if (v.type.base == BaseType::Int || v.type.base == BaseType::BigInt || v.type.base == BaseType::SmallInt)
            return {"vq_iabs(" + v.sql + "," + intBits(v.type.base) + ")", v.type};
        return {"abs(" + v.sql + ")", v.type};
    }
    if (name == "round") {
        auto a = arguments(e, scope, 2, 3);
        SqlType t = a[0].type.isText() ? kFloat : a[0].type;
        return {call("vq_round", a), t};
    }
    if (name == "floor" || name == "ceiling" || name == "sign") {
        auto a = arguments(e, scope, 1, 1);
        SqlType t = a[0].type.isText() ? kFloat : a[0].type;
        if (t.base == BaseType::Numeric && name != "sign")
            t = makeType(BaseType::Numeric, 0, t.precision, 0);
        return {call("vq_" + name, a), t};
    }
    if (name == "power") {
        auto a = arguments(e, scope, 2, 2);
        return {call("vq_power", a), a[0].type.isText() ? kFloat : a[0].type};
    }
    if (name == "sqrt") {
        auto a = arguments(e, scope, 1, 1);
        return {call("vq_sqrt", a), kFloat};
    }
    if (isFloatMathFunction(name)) {
        auto a = arguments(e, scope, 1, 1);
        return {call("vq_" + name, a), kFloat};
    }
    if (name == "atn2") {
        auto a = arguments(e, scope, 2, 2);
        return {call("vq_atn2", a), kFloat};
    }
    if (name == "degrees" || name == "radians") {
        auto a = arguments(e, scope, 1, 1);
        SqlType t = a[0].type.isIntegerFamily() ? (a[0].type.base == BaseType::BigInt ? kBigInt : kInt) : kFloat;
        return {call("vq_" + name, a), t};
    }
    if (name == "pi") {
        arguments(e, scope, 0, 0);
        return {"3.141592653589793", kFloat};
    }
    if (name == "rand") {
        auto a = arguments(e, scope, 0, 1);
        return {call("vq_rand", a), kFloat};
    }
    if (name == "getdate" || name == "current_timestamp" || name == "sysdatetime") {
        arguments(e, scope, 0, 0);
        return {"vq_getdate()", kDateTime};
    }
    if (name == "dateadd") {
        if (e.args.size() != 3)
            fail(174, "The dateadd function requires 3 argument(s).", e.pos);
        TExpr n = expr(*e.args[1], scope);
        TExpr d = expr(*e.args[2], scope);
        SqlType t = d.type.base == BaseType::SmallDateTime ? d.type : kDateTime;
        return {"vq_dateadd(" + datePart(*e.args[0]) + "," + n.sql + "," + d.sql + ")", t};
    }
    if (name == "datediff") {
        if (e.args.size() != 3)
            fail(174, "The datediff function requires 3 argument(s).", e.pos);
        TExpr a = expr(*e.args[1], scope);
        TExpr b = expr(*e.args[2], scope);
        return {"vq_datediff(" + datePart(*e.args[0]) + "," + a.sql + "," + b.sql + ")", kInt};
    }
    if (name == "datepart") {
        if (e.args.size() != 2)
            fail(174, "The datepart function requires 2 argument(s).", e.pos);
        TExpr d = expr(*e.args[1], scope);
        return {"vq_datepart(" + datePart(*e.args[0]) + "," + d.sql + ")", kInt};
    }
    if (name == "year" || name == "month" || name == "day") {
        auto a = arguments(e, scope, 1, 1);
        return {"vq_datepart('" + name + "'," + a[0].sql + ")", kInt};
    }
    if (name == "object_id")
        return objectId(e, scope);
    if (name == "db_name") {
        arguments(e, scope, 0, 1);
        return {quoteString(catalog.currentDatabase()), makeType(BaseType::NVarChar, 128)};
    }
    if (name == "user_name" || name == "user" || name == "current_user") {
        return {"'dbo'", makeType(BaseType::NVarChar, 128)};
    }
    if (name == "suser_sname" || name == "system_user") {
        return {"'sa'", makeType(BaseType::NVarChar, 128)};
    }
    if (name == "host_name") {
        return {parameter("@@hostname"), makeType(BaseType::NVarChar, 128)};
    }
    if (name == "app_name") {
        return {"''", makeType(BaseType::NVarChar, 128)};
    }
    if (name == "newid") {
        arguments(e, scope, 0, 0);
        return {"upper(substr(hex(randomblob(16)),1,8)||'-'||substr(hex(randomblob(16)),1,4)||'-4'||"
                "substr(hex(randomblob(16)),1,3)||'-A'||substr(hex(randomblob(16)),1,3)||'-'||"
                "substr(hex(randomblob(16)),1,12))",
                makeType(BaseType::UniqueIdentifier, 36)};
    }
    if (e.name.parts.size() > 1)
        fail(4121,
             "Cannot find either column \"" + e.name.parts[e.name.parts.size() - 2] +
                 "\" or the user-defined function or aggregate \"" + e.text + "\", or the name is ambiguous.",
             e.pos);
    unsupported("the function " + e.text + "()", e.pos);
}

// ---- Translator -----------------------------------------------------------

Translator::Translator(Catalog& catalog, const VariableTypes& variables) : catalog_(catalog), variables_(variables) {}

namespace {

std::vector<Column> columnsOf(const std::vector<Output>& outputs)
{
    std::vector<Column> cols;
    for (const Output& o : outputs)
        cols.push_back({o.name, o.expr.type});
    return cols;
}

}  // namespace

Translation Translator::query(const ast::Query& q)
{
    Impl impl(catalog_, variables_, literalParameters_);
    QueryResult r = impl.query(q, nullptr, false);
    Translation t;
    t.sql = r.sql;
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    t.columns = columnsOf(r.outputs);
    t.assignTargets = r.assignTargets;
    return t;
}

Translation Translator::viewBody(const ast::Query& q, const std::string& database)
{
    Impl impl(catalog_, variables_);
    impl.viewMode = true;
    impl.viewDatabase = database;
    QueryResult r = impl.query(q, nullptr, true);
    if (!impl.parameters.empty())
        fail(err::Unsupported, "A view cannot reference variables.", q.pos);
    Translation t;
    t.sql = r.sql;
    t.columns = columnsOf(r.outputs);
    // A view's column names must be unique and present.
    std::set<std::string> seen;
    for (std::size_t i = 0; i < r.outputs.size(); ++i) {
        if (r.outputs[i].name.empty())
            fail(4511,
                 "Create View or Function failed because no column name was specified for column " +
                     std::to_string(i + 1) + ".",
                 q.pos);
        if (!seen.insert(lowerAscii(r.outputs[i].name)).second)
            fail(4506,
                 "Column names in each view or function must be unique. Column name '" + r.outputs[i].name +
                     "' in view or function is specified more than once.",
                 q.pos);
    }
    return t;
}

namespace {

// The view a data statement targets, or nullptr when it targets a table
// (or names nothing: the statement's own translation reports that).
const TableInfo* targetView(Catalog& catalog, const ast::ObjectName& name)
{
    const std::string schema = name.schema();
    if (name.parts.size() > 3 || (!schema.empty() && !equalsIgnoreCase(schema, "dbo")))
        return nullptr;
    const TableInfo* info = catalog.findTable(name.database(), name.last());
    return info && info->isView() ? info : nullptr;
}

}  // namespace

Translation Translator::insert(const ast::InsertStmt& s)
{
    if (const TableInfo* view = targetView(catalog_, s.table))
        return insert(*insertThroughView(s, *view, catalog_));
    Impl impl(catalog_, variables_, literalParameters_);
    const TableInfo& info = impl.targetTable(s.table, s.pos);
    const std::string target = impl.tableSql(info, s.pos);

    // The columns receiving values, in the order given.
    // (none with DEFAULT VALUES: every column then takes its default)
    std::vector<const ColumnInfo*> cols;
    if (s.columns.empty() && !s.defaultValues) {
        for (const ColumnInfo& c : info.columns)
            if (!c.identity)
                cols.push_back(&c);
    } else {
        for (const std::string& name : s.columns) {
            int idx = info.columnIndex(name);
            if (idx < 0)
                fail(err::InvalidColumn, "Invalid column name '" + name + "'.", s.pos);
            for (const ColumnInfo* c : cols)
                if (equalsIgnoreCase(c->name, name))
                    fail(264,
                         "The column name '" + name +
                             "' is specified more than once in the SET clause or column list of an INSERT. A "
                             "column cannot be assigned more than one value in the same clause. Modify the clause "
                             "to make sure that a column is updated only once. If this statement updates or "
                             "inserts columns into a view, column aliasing can conceal the duplication in your "
                             "code.",
                         s.pos);
            const ColumnInfo& col = info.columns[static_cast<std::size_t>(idx)];
            if (col.identity && !catalog_.identityInsertAllowed(info))
                fail(544,
                     "Cannot insert explicit value for identity column in table '" + info.name +
                         "' when IDENTITY_INSERT is set to OFF.",
                     s.pos);
            cols.push_back(&col);
        }
    }
    // Columns left out take their defaults.
    std::vector<const ColumnInfo*> defaults;
    // A NOT NULL column without a default is given an explicit NULL, so
    // that leaving it out fails as in SQL Server (error 515).
    for (const ColumnInfo& c : info.columns) {
        if (c.defaultText.empty() && (c.identity || c.nullable))
            continue;
        if (std::find(cols.begin(), cols.end(), &c) == cols.end())
            defaults.push_back(&c);
    }

    std::string columnList;
    auto addColumn = [&](const ColumnInfo* c) {
        columnList += (columnList.empty() ? "" : ", ") + quoteIdent(c->name);
    };
    if (!s.defaultValues)
        for (const ColumnInfo* c : cols)
            addColumn(c);
    for (const ColumnInfo* c : defaults)
        addColumn(c);

    Translation t;
    std::string sql = "INSERT INTO " + target;
    if (s.defaultValues) {
        if (defaults.empty()) {
            sql += " DEFAULT VALUES";
        } else {
            sql += " (" + columnList + ") VALUES (";
            for (std::size_t i = 0; i < defaults.size(); ++i)
                sql += (i ? ", " : "") + impl.defaultValue(*defaults[i], target);
            sql += ")";
        }
    } else if (!s.values.empty()) {
        sql += " (" + columnList + ") VALUES ";
        for (std::size_t r = 0; r < s.values.size(); ++r) {
            const auto& row = s.values[r];
            if (row.size() < cols.size())
                fail(109,
                     "There are more columns in the INSERT statement than values specified in the VALUES clause. "
                     "The number of values in the VALUES clause must match the number of columns specified in the "
                     "INSERT statement.",
                     s.pos);
            if (row.size() > cols.size())
                fail(110,
                     "There are fewer columns in the INSERT statement than values specified in the VALUES clause. "
                     "The number of values in the VALUES clause must match the number of columns specified in the "
                     "INSERT statement.",
                     s.pos);
            sql += r ? ", (" : "(";
            Scope empty;
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (!row[i]) {   // DEFAULT
                    sql += (i ? ", " : "") + impl.defaultValue(*cols[i], target);
                    continue;
                }
                TExpr v = impl.expr(*row[i], empty);
                sql += (i ? ", " : "") + impl.convert(v, cols[i]->type, false);
            }
            for (const ColumnInfo* c : defaults)
                sql += ", " + impl.defaultValue(*c, target, std::to_string(r + 1));
            sql += ")";
        }
    } else if (s.query) {
        QueryResult q = impl.query(*s.query, nullptr, false);
        if (!q.assignTargets.empty())
            fail(141, "A SELECT statement that assigns a value to a variable must not be combined with data-retrieval "
                      "operations.",
                 s.pos);
        if (q.outputs.size() < cols.size())
            fail(120,
                 "The select list for the INSERT statement contains fewer items than the insert list. The number "
                 "of SELECT values must match the number of INSERT columns.",
                 s.pos);
        if (q.outputs.size() > cols.size())
            fail(121,
                 "The select list for the INSERT statement contains more items than the insert list. The number "
                 "of SELECT values must match the number of INSERT columns.",
                 s.pos);
        std::vector<std::string> values;
        bool wrap = !defaults.empty();
        for (std::size_t i = 0; i < cols.size(); ++i) {
            TExpr ref{"\"q\"." + quoteIdent(q.outputs[i].sqlName), q.outputs[i].expr.type};
            std::string v = impl.convert(ref, cols[i]->type, false);
            if (v != ref.sql)
                wrap = true;
            values.push_back(v);
        }
        sql += " (" + columnList + ") ";
        if (!wrap) {
            sql += q.sql;
        } else {
            sql += "SELECT ";
            for (std::size_t i = 0; i < values.size(); ++i)
                sql += (i ? ", " : "") + values[i];
            for (const ColumnInfo* c : defaults)
                sql += (values.empty() ? "" : ", ") + impl.defaultValue(*c, target, "row_number() OVER ()");
            sql += " FROM (" + q.sql + ") AS \"q\"";
        }
    } else {
        unsupported("this form of INSERT", s.pos);
    }
    t.sql = sql;
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    t.identityTarget =
        std::any_of(info.columns.begin(), info.columns.end(), [](const ColumnInfo& c) { return c.identity; });
    return t;
}

namespace {

// The sources of a FROM list with its inner joins taken apart: the tables
// (or outer-join subtrees, kept whole) and the ON conditions of the inner
// joins. UPDATE ... FROM uses it to lift its target out of the joins.
void flattenInnerJoins(const ast::TableRef& ref, std::vector<const ast::TableRef*>& leaves,
                       std::vector<const ast::Expr*>& conditions)
{
    if (ref.kind == ast::TableRef::Kind::Join &&
        (ref.joinType == ast::JoinType::Inner || ref.joinType == ast::JoinType::Cross)) {
        flattenInnerJoins(*ref.left, leaves, conditions);
        flattenInnerJoins(*ref.right, leaves, conditions);
        if (ref.on)
            conditions.push_back(ref.on.get());
        return;
    }
    leaves.push_back(&ref);
}

}  // namespace

Translation Translator::update(const ast::UpdateStmt& s)
{
    if (const TableInfo* view = s.from.empty() ? targetView(catalog_, s.table) : nullptr)
        return update(*updateThroughView(s, *view, catalog_));
    // UPDATE t SET ... [FROM ...] [WHERE ...]. When the FROM clause names
    // the target (UPDATE a SET ... FROM T a JOIN B b ON ...), the target
    // becomes the table SQLite updates, the other sources its FROM clause
    // and the join conditions part of its WHERE clause.
    Impl impl(catalog_, variables_, literalParameters_);
    Scope scope;
    std::vector<const ast::TableRef*> leaves;
    std::vector<const ast::Expr*> conditions;
    for (const auto& ref : s.from)
        flattenInnerJoins(*ref, leaves, conditions);
    const ast::TableRef* targetLeaf = nullptr;
    if (s.table.parts.size() == 1) {
        for (const ast::TableRef* leaf : leaves) {
            if (leaf->kind != ast::TableRef::Kind::Named)
                continue;
            const std::string& exposed = leaf->alias.empty() ? leaf->name.last() : leaf->alias;
            if (equalsIgnoreCase(exposed, s.table.last()))
                targetLeaf = leaf;
        }
    }
    const TableInfo* info = &impl.targetTable(targetLeaf ? targetLeaf->name : s.table, s.pos);
    Source target;
    target.aliased = targetLeaf && !targetLeaf->alias.empty();
    target.exposed = target.aliased ? targetLeaf->alias : info->name;
    target.tableName = info->name;
    target.database = info->database;
    target.sqlAlias = impl.newAlias();
    for (const ColumnInfo& c : info->columns)
        target.columns.push_back({c.name, c.type});
    const std::string targetAlias = target.sqlAlias;
    scope.sources.push_back(target);

    std::string from;
    if (targetLeaf) {
        for (const ast::TableRef* leaf : leaves) {
            if (leaf == targetLeaf)
                continue;
            from += (from.empty() ? "" : ", ") + impl.tableRef(*leaf, scope);
        }
    } else {
        for (const auto& ref : s.from)
            from += (from.empty() ? "" : ", ") + impl.tableRef(*ref, scope);
        conditions.clear();   // kept inside the joins translated above
        for (std::size_t i = 1; i < scope.sources.size(); ++i)
            if (!scope.sources[i].tableName.empty() && equalsIgnoreCase(scope.sources[i].exposed, s.table.last()))
                unsupported("UPDATE ... FROM whose target stands inside an outer join", s.pos);
    }

    std::string sets;
    for (const ast::Assignment& a : s.assignments) {
        if (!a.variable.empty())
            unsupported("assigning variables in UPDATE", s.pos);
        int idx = info->columnIndex(a.column.last());
        if (idx < 0)
            fail(err::InvalidColumn, "Invalid column name '" + a.column.last() + "'.", s.pos);
        const ColumnInfo& col = info->columns[static_cast<std::size_t>(idx)];
        if (col.identity)
            fail(8102, "Cannot update identity column '" + col.name + "'.", s.pos);
        std::string value;
        if (!a.value)
            value = col.defaultText.empty() ? "NULL" : impl.defaultValue(col);
        else
            value = impl.convert(impl.expr(*a.value, scope), col.type, false);
        sets += (sets.empty() ? "" : ", ") + quoteIdent(col.name) + " = " + value;
    }
    std::string sql = "UPDATE " + impl.tableSql(*info, s.pos) + " AS " + quoteIdent(targetAlias) + " SET " + sets;
    if (!from.empty())
        sql += " FROM " + from;
    std::string where;
    for (const ast::Expr* c : conditions)
        where += (where.empty() ? "" : " AND ") + impl.expr(*c, scope).sql;
    if (s.where)
        where += (where.empty() ? "" : " AND ") + impl.expr(*s.where, scope).sql;
    if (!where.empty())
        sql += " WHERE " + where;
    if (s.top)
        sql += " LIMIT " + impl.expr(*s.top, scope).sql;
    Translation t;
    t.sql = sql;
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    return t;
}

Translation Translator::remove(const ast::DeleteStmt& s)
{
    if (const TableInfo* view = s.from.empty() ? targetView(catalog_, s.table) : nullptr)
        return remove(*deleteThroughView(s, *view, catalog_));
    Impl impl(catalog_, variables_, literalParameters_);
    // DELETE a FROM T a JOIN ...: the target may be an alias of the FROM clause.
    const ast::ObjectName* targetName = &s.table;
    if (!s.from.empty() && s.table.parts.size() == 1) {
        std::vector<const ast::TableRef*> leaves;
        std::vector<const ast::Expr*> conditions;
        for (const auto& ref : s.from)
            flattenInnerJoins(*ref, leaves, conditions);
        for (const ast::TableRef* leaf : leaves)
            if (leaf->kind == ast::TableRef::Kind::Named && !leaf->alias.empty() &&
                equalsIgnoreCase(leaf->alias, s.table.last()))
                targetName = &leaf->name;
    }
    const TableInfo& info = impl.targetTable(*targetName, s.pos);
    Scope scope;
    Source target;
    target.exposed = s.table.last();
    target.tableName = info.name;
    target.database = info.database;
    target.sqlAlias = impl.newAlias();
    for (const ColumnInfo& c : info.columns)
        target.columns.push_back({c.name, c.type});
    scope.sources.push_back(target);
    std::string sql = "DELETE FROM " + impl.tableSql(info, s.pos) + " AS " + quoteIdent(target.sqlAlias);
    if (!s.from.empty()) {
        // DELETE t FROM t JOIN ... WHERE ...: delete the rows of t that the
        // joined query finds.
        Scope fromScope;
        std::string from;
        for (const auto& ref : s.from) {
            if (!from.empty())
                from += ", ";
            from += impl.tableRef(*ref, fromScope);
        }
        const Source* match = nullptr;
        for (const Source& src : fromScope.sources)
            if (equalsIgnoreCase(src.exposed, s.table.last()) && !src.tableName.empty())
                match = &src;
        if (!match)
            unsupported("DELETE ... FROM whose target is not in the FROM clause", s.pos);
        std::string inner = "SELECT " + quoteIdent(match->sqlAlias) + ".rowid FROM " + from;
        if (s.where)
            inner += " WHERE " + impl.expr(*s.where, fromScope).sql;
        sql += " WHERE " + quoteIdent(target.sqlAlias) + ".rowid IN (" + inner + ")";
    } else if (s.where) {
        sql += " WHERE " + impl.expr(*s.where, scope).sql;
    }
    if (s.top)
        sql += " LIMIT " + impl.expr(*s.top, scope).sql;
    Translation t;
    t.sql = sql;
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    return t;
}

Translation Translator::scalar(const ast::Expr& e, const SqlType* target)
{
    Impl impl(catalog_, variables_);
    Scope empty;
    TExpr v = impl.expr(e, empty);
    Translation t;
    SqlType type = v.type;
    std::string sql = v.sql;
    if (target) {
        sql = impl.convert(v, *target, true);
        type = *target;
    }
    t.sql = "SELECT " + sql;
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    t.columns.push_back({"", type});
    return t;
}

Translation Translator::condition(const ast::Expr& e)
{
    Impl impl(catalog_, variables_);
    Scope empty;
    TExpr v = impl.expr(e, empty);
    Translation t;
    t.sql = "SELECT CASE WHEN " + v.sql + " THEN 1 ELSE 0 END";
    t.parameters = impl.parameters;
    t.views = impl.viewsRead;
    t.columns.push_back({"", kInt});
    return t;
}

std::string Translator::tableExpression(const ast::Expr& e, const std::vector<ColumnInfo>& columns)
{
    Impl impl(catalog_, variables_);
    impl.viewMode = true;
    impl.viewDatabase = catalog_.currentDatabase();
    Scope scope;
    scope.bareColumns = true;
    Source src;
    for (const ColumnInfo& c : columns)
        src.columns.push_back({c.name, c.type});
    scope.sources.push_back(src);
    TExpr v = impl.expr(e, scope);
    if (!impl.parameters.empty())
        fail(128,
             "The name is not permitted in this context. Valid expressions are constants, constant expressions, and "
             "(in some contexts) variables. Column names are not permitted.",
             e.pos);
    return v.sql;
}

SqlType Translator::resolveType(const ast::TypeName& t, const std::string& database, int ordinal, bool* allowNulls)
{
    Impl impl(catalog_, variables_);
    return impl.resolveTypeName(t, database, ordinal, allowNulls);
}

std::string Translator::convertForAssignment(const std::string& sql, const SqlType& from, const SqlType& to)
{
    Impl impl(catalog_, variables_);
    return impl.convert(TExpr{sql, from}, to, false);
}

SqlType literalType(const ast::Expr& literal)
{
    return Translator::Impl::literal(literal).type;
}

}  // namespace vqsql
