// Statements cached by shape, as SQL Server's simple parameterization
// caches them: clients splice values into their SQL texts, so most
// statements differ from the last one only in their literals. The
// literals in value positions (INSERT ... VALUES items, UPDATE ... SET
// values, operands compared with a column in a WHERE clause) are bound as
// parameters, and the translation and the prepared SQLite statement are
// kept under the statement's text with those literals replaced by their
// types. A literal's type is part of the key because the translation
// depends on it ('abc' is varchar(3), 1.50 numeric(3,2)); every other
// literal stays in the key as written, so literals whose value the
// translator uses (TOP n, date parts, styles, LIKE patterns, ORDER BY
// positions) never share a translation.
#include "session_internal.h"

#include "translator.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace vqsql {

// Statements of more than this many shapes are not worth keeping: the
// cache is emptied and starts again.
constexpr std::size_t kShapeCacheLimit = 1000;

// Decimal and float literals with more significant digits than this stay
// inline: their bound double is then the one SQLite reads from the text.
constexpr int kMaxBoundDigits = 15;

int significantDigits(const std::string& text)
{
    int digits = 0;
    bool leading = true;
    for (char c : text) {
        if (c == 'e' || c == 'E')
            break;
        if (c < '0' || c > '9')
            continue;
        if (leading && c == '0')
            continue;
        leading = false;
        ++digits;
    }
    return digits;
}

// Whether a literal can be bound with the value its inline SQL would give.
bool bindableLiteral(const ast::Expr& e)
{
    if (e.kind != ast::ExprKind::Literal)
        return false;
    switch (e.litKind) {
    case ast::LiteralKind::Integer:
        // 19 digits and more may leave the 64-bit range (written as a real).
        return e.text.size() <= 18;
    case ast::LiteralKind::Decimal:
    case ast::LiteralKind::Float: return significantDigits(e.text) <= kMaxBoundDigits;
    case ast::LiteralKind::String:
    case ast::LiteralKind::NString:
        // A text with a NUL byte goes into SQLite as its bytes (textLiteral).
        return e.text.find('\0') == std::string::npos;
    case ast::LiteralKind::Binary: return true;
    case ast::LiteralKind::Null: return false;
    }
    return false;
}

// A value: a literal, or a number literal with a minus sign.
void collectValue(const ast::Expr* e, std::vector<const ast::Expr*>& out)
{
    if (!e)
        return;
    if (e->kind == ast::ExprKind::Unary && e->op == "-" && e->args.size() == 1 && e->args[0] &&
        e->args[0]->kind == ast::ExprKind::Literal &&
        (e->args[0]->litKind == ast::LiteralKind::Integer || e->args[0]->litKind == ast::LiteralKind::Decimal ||
         e->args[0]->litKind == ast::LiteralKind::Float))
        e = e->args[0].get();
    if (bindableLiteral(*e))
        out.push_back(e);
}

bool isColumn(const ast::Expr* e) { return e && e->kind == ast::ExprKind::Column; }

// The operands compared with a column in a search condition.
void collectCondition(const ast::Expr* e, std::vector<const ast::Expr*>& out)
{
    if (!e)
        return;
    switch (e->kind) {
    case ast::ExprKind::And:
    case ast::ExprKind::Or:
    case ast::ExprKind::Not:
        for (const auto& a : e->args)
            collectCondition(a.get(), out);
        return;
    case ast::ExprKind::Compare:
        if (e->args.size() == 2 && isColumn(e->args[0].get()))
            collectValue(e->args[1].get(), out);
        else if (e->args.size() == 2 && isColumn(e->args[1].get()))
            collectValue(e->args[0].get(), out);
        return;
    case ast::ExprKind::Between:
    case ast::ExprKind::InList:
        if (!e->args.empty() && isColumn(e->args[0].get()))
            for (std::size_t i = 1; i < e->args.size(); ++i)
                collectValue(e->args[i].get(), out);
        return;
    default: return;
    }
}

// The literals of a statement that are bound as parameters, in text order.
void collectParameterizableLiterals(const ast::Stmt& s, std::vector<const ast::Expr*>& out)
{
    out.clear();
    switch (s.kind) {
    case ast::StmtKind::Insert: {
        const auto& insert = static_cast<const ast::InsertStmt&>(s);
        for (const auto& row : insert.values)
            for (const auto& value : row)
                collectValue(value.get(), out);
        break;
    }
    case ast::StmtKind::Update: {
        const auto& update = static_cast<const ast::UpdateStmt&>(s);
        for (const auto& a : update.assignments)
            if (a.variable.empty())
                collectValue(a.value.get(), out);
        collectCondition(update.where.get(), out);
        break;
    }
    case ast::StmtKind::Delete:
        collectCondition(static_cast<const ast::DeleteStmt&>(s).where.get(), out);
        break;
    case ast::StmtKind::Select: {
        const auto& query = *static_cast<const ast::SelectStmt&>(s).query;
        if (query.blocks.size() == 1)
            collectCondition(query.blocks[0]->where.get(), out);
        break;
    }
    default: break;
    }
}

namespace {

// The byte offset just past the literal token starting at `offset`.
std::size_t literalTokenEnd(const std::string& text, std::size_t offset)
{
    std::size_t i = offset;
    const std::size_t n = text.size();
    if (i < n && (text[i] == 'N' || text[i] == 'n') && i + 1 < n && text[i + 1] == '\'')
        ++i;
    if (i < n && text[i] == '\'') {
        ++i;
        while (i < n) {
            if (text[i] == '\'') {
                if (i + 1 < n && text[i + 1] == '\'') {
                    i += 2;
                    continue;
                }
                return i + 1;
            }
            ++i;
        }
        return n;
    }
    if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
        while (i < n && std::isxdigit(static_cast<unsigned char>(text[i])))
            ++i;
        return i;
    }
    while (i < n && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        ++i;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
    }
    return i;
}

void appendNumber(std::string& key, int n)
{
    char buffer[16];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, n);
    key.append(buffer, r.ptr);
}

// The key of a statement's shape: the current database, then the text with
// each bound literal replaced by a mark and its type. False when the
// literals do not stand in text order inside the statement.
bool buildShapeKey(const std::string& text, std::size_t begin, std::size_t end,
                   const std::vector<const ast::Expr*>& literals, const std::string& database, std::string& key)
{
    key.clear();
    key += database;
    key += '\x02';
    std::size_t at = begin;
    for (const ast::Expr* e : literals) {
        const std::size_t start = e->pos.offset;
        if (start < at || start >= end)
            return false;
        key.append(text, at, start - at);
        const SqlType type = literalType(*e);
        key += '\x01';
        key += static_cast<char>('A' + static_cast<int>(e->litKind));
        appendNumber(key, static_cast<int>(type.base));
        key += ',';
        appendNumber(key, type.length);
        key += ',';
        appendNumber(key, type.precision);
        key += ',';
        appendNumber(key, type.scale);
        key += '\x01';
        at = literalTokenEnd(text, start);
    }
    if (at > end)
        return false;
    key.append(text, at, end - at);
    return true;
}

}  // namespace

std::shared_ptr<Session::Prepared> Session::preparedByShape(RunState& st, bool& shapeKnown)
{
    shapeKnown = false;
    collectParameterizableLiterals(*st.statement, st.literalBuffer);
    st.literals = &st.literalBuffer;
    const std::string& text = st.cache->batch->text;
    std::size_t end = std::min(st.statementEnd, text.size());
    while (end > st.statement->pos.offset &&
           (std::isspace(static_cast<unsigned char>(text[end - 1])) || text[end - 1] == ';'))
        --end;
    if (!buildShapeKey(text, st.statement->pos.offset, end, st.literalBuffer, current_, shapeKey_)) {
        st.literalBuffer.clear();
        return nullptr;
    }
    shapeKnown = true;
    auto it = shapeCache_.find(shapeKey_);
    if (it == shapeCache_.end())
        return nullptr;
    Prepared& p = *it->second;
    if (p.generation != cacheGeneration_ || p.database != current_) {
        shapeCache_.erase(it);
        return nullptr;
    }
    return it->second;
}

void Session::rememberShape(const std::shared_ptr<Prepared>& p, RunState& st)
{
    // Which parameter binds which literal; a translation that left one of
    // the literals inline, or that reads a variable (whose type comes
    // from the batch's DECLARE), serves this statement only.
    const auto& names = p->translation.parameters;
    p->literalIndex.assign(names.size(), -1);
    std::vector<bool> bound(st.literalBuffer.size(), false);
    bool shareable = true;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (!name.empty() && name[0] == '#') {
            const int index = std::atoi(name.c_str() + 1);
            p->literalIndex[i] = index;
            p->bindsLiterals = true;
            if (index >= 0 && static_cast<std::size_t>(index) < bound.size())
                bound[static_cast<std::size_t>(index)] = true;
        } else if (name.rfind("@@", 0) != 0) {
            shareable = false;
        }
    }
    if (std::find(bound.begin(), bound.end(), false) != bound.end())
        shareable = false;
    if (!shareable)
        return;
    if (shapeCache_.size() >= kShapeCacheLimit)
        shapeCache_.clear();
    shapeCache_[shapeKey_] = p;
}

// Binds a literal with the value SQLite would read from its inline SQL.
// The literal's text lives in the batch's syntax tree, which outlives the
// statement's step.
void bindLiteral(sqlite3_stmt* stmt, int index, const ast::Expr& e)
{
    switch (e.litKind) {
    case ast::LiteralKind::Integer: {
        std::int64_t v = 0;
        std::from_chars(e.text.data(), e.text.data() + e.text.size(), v);
        sqlite3_bind_int64(stmt, index, v);
        return;
    }
    case ast::LiteralKind::Decimal:
    case ast::LiteralKind::Float:
    {
        // from_chars reads the C locale's form whatever the process's locale.
        double v = 0;
        std::from_chars(e.text.data(), e.text.data() + e.text.size(), v);
        sqlite3_bind_double(stmt, index, v);
        return;
    }
    case ast::LiteralKind::String:
    case ast::LiteralKind::NString:
        sqlite3_bind_text(stmt, index, e.text.data(), static_cast<int>(e.text.size()), SQLITE_STATIC);
        return;
    case ast::LiteralKind::Binary:
        sqlite3_bind_blob(stmt, index, e.text.data(), static_cast<int>(e.text.size()), SQLITE_STATIC);
        return;
    case ast::LiteralKind::Null: sqlite3_bind_null(stmt, index); return;
    }
}

}  // namespace vqsql
