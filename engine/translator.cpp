// Translator: Transact-SQL syntax trees into SQLite SQL with SQL Server's
// semantics. See translator.h for the principles; each translate function
// below handles one node kind, and the dispatchers fail loudly on a node
// kind they do not know.
#include "translator.h"

#include "translator_internal.h"

namespace vqsql {

std::string Translator::Impl::parameter(const std::string& lowerName)
{
    for (std::size_t i = 0; i < parameters.size(); ++i)
        if (parameters[i] == lowerName)
            return "?" + std::to_string(i + 1);
    parameters.push_back(lowerName);
    return "?" + std::to_string(parameters.size());
}

// The table or view an object name stands for; 208 when there is none.
const TableInfo& Translator::Impl::resolveTable(const ast::ObjectName& name)
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
std::string Translator::Impl::tableSql(const TableInfo& info, const ast::Pos& pos)
{
    if (viewMode) {
        if (isTemporaryTableName(info.name))
            fail(4508,
                 "Views or functions are not allowed on temporary tables. Table names that begin with '#' denote "
                 "temporary tables.",
                 pos);
        if (!equalsIgnoreCase(info.database, viewDatabase))
            unsupported("a view that reads another database", pos);
        return quoteIdent(info.name);
    }
    return quoteIdent(info.schemaAlias) + "." + quoteIdent(info.name);
}

// The SQL Server type a written type name stands for. Texts without a
// length keep length -2 so that the caller applies its own default
// (1 in declarations, 30 in CAST).
SqlType Translator::Impl::resolveTypeName(const ast::TypeName& t, const std::string& database, int ordinal, bool* allowNulls)
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

// The value converted as SQL Server converts on assignment; `truncate`
// cuts texts silently (variables, CAST) instead of failing (columns).
std::string Translator::Impl::convert(const TExpr& e, const SqlType& to, bool truncate)
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
        // text and ntext have no length limit of their own (the 16 that
        // syscolumns shows for them is the size of a text pointer).
        if (to.length < 0 || to.base == BaseType::Text || to.base == BaseType::NText)
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
std::string Translator::Impl::toMoney(const TExpr& e, const SqlType& to)
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
TExpr Translator::Impl::castTo(const TExpr& e, SqlType to, const TExpr* style)
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
TExpr Translator::Impl::coerceForCompare(const TExpr& e, const SqlType& other)
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
std::string Translator::Impl::comparisonOperator(const ast::Expr& e) const
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

std::string Translator::Impl::compareSql(const std::string& op, TExpr a, TExpr b)
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

std::string literalParameterName(std::size_t index)
{
    return "#" + std::to_string(index);
}

SqlType varcharType(int bytes)
{
    return makeType(BaseType::VarChar, bytes);
}

// ---- Translator -----------------------------------------------------------

Translator::Translator(Catalog& catalog, const VariableTypes& variables) : catalog_(catalog), variables_(variables) {}

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

}  // namespace vqsql
