// Translation of expressions: literals, names, operators, predicates,
// CASE, subqueries and function calls.
#include "translator_internal.h"

#include <cinttypes>
#include <cstdio>

namespace vqsql {

TExpr Translator::Impl::expr(const ast::Expr& e, Scope& scope)
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
TExpr Translator::Impl::logicalChain(const ast::Expr& e, Scope& scope)
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
TExpr Translator::Impl::literalOrParameter(const ast::Expr& e)
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
TExpr Translator::Impl::literal(const ast::Expr& e)
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

TExpr Translator::Impl::variable(const ast::Expr& e)
{
    std::string name = lowerAscii(e.text);
    auto it = variables.find(name);
    if (it == variables.end() || it->second.declaredAt > e.pos.offset)
        fail(err::MustDeclare, "Must declare the scalar variable \"" + e.text + "\".", e.pos);
    return {parameter(name), it->second.type};
}

TExpr Translator::Impl::sysVariable(const ast::Expr& e)
{
    std::string name = lowerAscii(e.text);
    if (name == "@@version")
        return {quoteString(engineVersionText()), makeType(BaseType::NVarChar, 300)};
    if (name == "@@rowcount" || name == "@@error" || name == "@@trancount" || name == "@@spid" ||
        name == "@@nestlevel" || name == "@@procid" ||
        name == "@@fetch_status" || name == "@@cursor_rows")
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

TExpr Translator::Impl::column(const ast::ObjectName& name, Scope& scope)
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

TExpr Translator::Impl::unary(const ast::Expr& e, Scope& scope)
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
TExpr Translator::Impl::concatenation(const TExpr& a, const TExpr& b)
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
TExpr Translator::Impl::numericOperand(const TExpr& v, const SqlType& other)
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
TExpr Translator::Impl::binary(const ast::Expr& e, Scope& scope)
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
TExpr Translator::Impl::binaryStep(TExpr a, TExpr b, const ast::Expr& e)
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

std::string Translator::Impl::operatorName(const std::string& op)
{
    if (op == "-") return "subtract";
    if (op == "*") return "multiply";
    if (op == "/") return "divide";
    if (op == "%") return "modulo";
    return op;
}

TExpr Translator::Impl::like(const ast::Expr& e, Scope& scope)
{
    TExpr v = expr(*e.args[0], scope);
    TExpr p = expr(*e.args[1], scope);
    std::string value = v.type.isDateTime() ? "vq_format_datetime(" + v.sql + ",0)" : v.sql;
    std::string sql = value + (e.negated ? " NOT LIKE " : " LIKE ") + p.sql;
    if (e.args.size() > 2 && e.args[2])
        sql += " ESCAPE " + expr(*e.args[2], scope).sql;
    return {paren(sql), kInt};
}

TExpr Translator::Impl::between(const ast::Expr& e, Scope& scope)
{
    TExpr v = expr(*e.args[0], scope);
    TExpr lo = coerceForCompare(expr(*e.args[1], scope), v.type);
    TExpr hi = coerceForCompare(expr(*e.args[2], scope), v.type);
    std::string lhs = v.sql;
    if (v.type.isText())
        lhs += " COLLATE vq_ci";
    return {paren(lhs + (e.negated ? " NOT BETWEEN " : " BETWEEN ") + lo.sql + " AND " + hi.sql), kInt};
}

TExpr Translator::Impl::inList(const ast::Expr& e, Scope& scope)
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

TExpr Translator::Impl::inSubquery(const ast::Expr& e, Scope& scope)
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

TExpr Translator::Impl::caseExpr(const ast::Expr& e, Scope& scope)
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
std::string Translator::Impl::caseResult(const TExpr& r, const SqlType& type)
{
    if (r.nullLiteral || r.type.isUnknown())
        return r.sql;
    if (type.isDateTime() && r.type.isText())
        return "vq_to_datetime(" + r.sql + ")";
    if (type.isNumericFamily() && r.type.isText())
        return type.isIntegerFamily() ? "vq_to_int(" + r.sql + ",'int')" : "vq_to_float(" + r.sql + ")";
    return r.sql;
}

TExpr Translator::Impl::scalarSubquery(const ast::Query& q, Scope& scope, const ast::Pos& pos)
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

std::vector<TExpr> Translator::Impl::arguments(const ast::Expr& e, Scope& scope, std::size_t min, std::size_t max)
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
std::string Translator::Impl::datePart(const ast::Expr& a)
{
    if (a.kind == ast::ExprKind::Column && a.name.parts.size() == 1)
        return quoteString(lowerAscii(a.name.last()));
    if (a.kind == ast::ExprKind::Literal && a.litKind == ast::LiteralKind::String)
        return textLiteral(lowerAscii(a.text));
    fail(err::SyntaxError, "Incorrect syntax near the date part.", a.pos);
}

TExpr Translator::Impl::objectId(const ast::Expr& e, Scope& scope)
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
        // A temporary table is found in tempdb only, and tempdb must be
        // named before a #table (the current database is never tempdb).
        if (isTemporaryTableName(parts.back()) &&
            !(isGlobalTemporaryTableName(parts.back()) || equalsIgnoreCase(database, kTempdbName)))
            return {"NULL", kInt, true};
        try {
            if (isTemporaryTableName(parts.back()) && !isGlobalTemporaryTableName(parts.back()))
                schemaAlias = kLocalTempAlias;
            else
                schemaAlias = catalog.schemaFor(isGlobalTemporaryTableName(parts.back()) ? kTempdbName : database);
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

// The seed and increment of IDENTITY(type, seed, increment): integer
// literals, possibly signed; 1 and 1 when not given.
bool identitySeedAndIncrement(const ast::Expr& e, std::int64_t& seed, std::int64_t& increment)
{
    if (e.args.empty())
        return true;
    if (e.args.size() != 2)
        return false;
    std::int64_t* out[] = {&seed, &increment};
    for (std::size_t i = 0; i < 2; ++i) {
        const ast::Expr* a = e.args[i].get();
        bool negative = false;
        if (a->kind == ast::ExprKind::Unary && (a->op == "-" || a->op == "+")) {
            negative = a->op == "-";
            a = a->args[0].get();
        }
        if (a->kind != ast::ExprKind::Literal || a->litKind != ast::LiteralKind::Integer)
            return false;
        *out[i] = std::strtoll(a->text.c_str(), nullptr, 10) * (negative ? -1 : 1);
    }
    return true;
}

// IDENT_CURRENT('t'): the last identity value the table gave (its seed
// before the first); IDENT_SEED and IDENT_INCR: its identity's seed and
// increment. NULL for a table without an identity column. The name must
// be written as a string.
TExpr Translator::Impl::identityFunction(const std::string& name, const ast::Expr& e, Scope& scope)
{
    if (e.args.size() != 1)
        fail(174, "The " + name + " function requires 1 argument(s).", e.pos);
    const ast::Expr& a = *e.args[0];
    if (a.kind != ast::ExprKind::Literal ||
        (a.litKind != ast::LiteralKind::String && a.litKind != ast::LiteralKind::NString)) {
        expr(a, scope);
        unsupported(name + "() of a table name that is not written as a string", e.pos);
    }
    const SqlType numeric = makeType(BaseType::Numeric, 0, 38, 0);
    std::vector<std::string> parts = splitObjectName(a.text);
    if (parts.empty() || parts.size() > 3)
        return {"NULL", numeric, true};
    const TableInfo* info = catalog.findTable(parts.size() == 3 ? parts[0] : "", parts.back());
    if (!info || info->isView())
        return {"NULL", numeric, true};
    for (const ColumnInfo& c : info->columns) {
        if (!c.identity)
            continue;
        std::int64_t seed = 1, increment = 1;
        std::sscanf(c.defaultText.c_str(), "identity(%" SCNd64 ",%" SCNd64 ")", &seed, &increment);
        if (name == "ident_seed")
            return {std::to_string(seed), numeric};
        if (name == "ident_incr")
            return {std::to_string(increment), numeric};
        const std::string table = quoteIdent(info->schemaAlias) + "." + quoteIdent(info->name);
        // An identity key numbered by SQLite keeps its last value in
        // sqlite_sequence; any other identity column continues after its
        // largest value.
        const std::string last =
            c.defaultText.empty()
                ? "(SELECT seq FROM " + quoteIdent(info->schemaAlias) + ".sqlite_sequence WHERE name = " +
                      quoteString(info->name) + ")"
                : "(SELECT max(" + quoteIdent(c.name) + ") FROM " + table + ")";
        return {"coalesce(" + last + ", " + std::to_string(seed) + ")", numeric};
    }
    return {"NULL", numeric, true};
}

std::vector<std::string> Translator::Impl::splitObjectName(const std::string& text)
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
    if (e.over && windowedAggregate != &e)
        return windowFunction(e, scope);
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

    if (name == "cursor_status") {
        // Answered by the executor, which knows the cursors: a parameter
        // naming the scope and the cursor.
        if (e.args.size() != 2)
            fail(174, "The cursor_status function requires 2 argument(s).", e.pos);
        for (const auto& a : e.args)
            if (!a || a->kind != ast::ExprKind::Literal ||
                (a->litKind != ast::LiteralKind::String && a->litKind != ast::LiteralKind::NString))
                unsupported("CURSOR_STATUS other than of two constant texts", e.pos);
        return {parameter(kCursorStatusParameter + lowerAscii(e.args[0]->text) + ":" + lowerAscii(e.args[1]->text)),
                makeType(BaseType::SmallInt)};
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
    if (name == "identity") {
        // SELECT IDENTITY(int, 1, 1) AS n INTO t: the rows numbered as
        // they come; the executor gives the new column the property.
        if (!identityAllowed)
            fail(177, "The IDENTITY function can only be used when the SELECT statement has an INTO clause.", e.pos);
        const SqlType t = resolveTypeName(e.type, "", 1, nullptr);
        std::int64_t seed = 1, increment = 1;
        if (!identitySeedAndIncrement(e, seed, increment) ||
            !(t.isIntegerFamily() || (t.base == BaseType::Numeric && t.scale == 0)) || t.base == BaseType::Bit)
            fail(err::SyntaxError, "Incorrect syntax near 'IDENTITY'.", e.pos);
        return {"(" + std::to_string(seed) + " + (row_number() OVER () - 1) * " + std::to_string(increment) + ")",
                t};
    }
    if (name == "scope_identity") {
        arguments(e, scope, 0, 0);
        return {parameter("@@scope_identity"), makeType(BaseType::Numeric, 0, 38, 0)};
    }
    if (name == "ident_current" || name == "ident_seed" || name == "ident_incr")
        return identityFunction(name, e, scope);
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
    // The error a CATCH block handles and the transaction's state: read
    // from the session when the statement runs.
    if (name == "error_number" || name == "error_severity" || name == "error_state" || name == "error_line") {
        arguments(e, scope, 0, 0);
        return {parameter("@@" + name), kInt};
    }
    if (name == "error_message" || name == "error_procedure") {
        arguments(e, scope, 0, 0);
        return {parameter("@@" + name), makeType(BaseType::NVarChar, name == "error_message" ? 4000 : 126)};
    }
    if (name == "xact_state") {
        arguments(e, scope, 0, 0);
        return {parameter("@@xact_state"), makeType(BaseType::SmallInt)};
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

SqlType literalType(const ast::Expr& literal)
{
    return Translator::Impl::literal(literal).type;
}

}  // namespace vqsql
