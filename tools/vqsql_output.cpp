#include "vqsql_output.h"

#include "vqsql_text.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

namespace vqsql::cli {

namespace {

// The width sqlcmd gives a column of this type; 0 when the data decides.
std::size_t typeWidth(const SqlType& type)
{
    switch (type.base) {
    case BaseType::Bit: return 1;
    case BaseType::TinyInt: return 3;
    case BaseType::SmallInt: return 6;
    case BaseType::Int: return 11;
    case BaseType::BigInt: return 20;
    case BaseType::Numeric: return type.precision > 0 ? static_cast<std::size_t>(type.precision) + 2 : 0;
    case BaseType::Money: return 21;
    case BaseType::SmallMoney: return 12;
    case BaseType::Float: return 24;
    case BaseType::Real: return 14;
    case BaseType::DateTime: return 23;
    case BaseType::SmallDateTime: return 19;
    case BaseType::UniqueIdentifier: return 36;
    case BaseType::Char:
    case BaseType::VarChar:
    case BaseType::NChar:
    case BaseType::NVarChar:
        // Very long declared texts would make every line kilobytes wide.
        return type.length > 0 && type.length <= 256 ? static_cast<std::size_t>(type.length) : 0;
    default:
        return 0;
    }
}

std::string cellText(const Value& value)
{
    if (value.isNull())
        return "NULL";
    if (value.kind == ValueKind::Bytes) {
        static const char* hex = "0123456789ABCDEF";
        std::string out = "0x";
        for (unsigned char c : value.text) {
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
        return out;
    }
    return value.toString();
}

bool isNumericValue(const Value& v)
{
    return v.kind == ValueKind::Integer || v.kind == ValueKind::Number;
}

// Numbers stand right-aligned in their column, everything else left-aligned.
bool rightAligned(const ResultSet& rs, std::size_t column)
{
    const SqlType& type = rs.columns[column].type;
    if (!type.isUnknown())
        return type.isNumericFamily();
    for (const auto& row : rs.rows)
        if (column < row.size() && !row[column].isNull())
            return isNumericValue(row[column]);
    return false;
}

std::string withoutTrailingSpaces(std::string text)
{
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

void writePadded(std::ostream& out, const std::string& text, std::size_t width, bool right)
{
    const std::size_t w = displayWidth(text);
    const std::string pad(width > w ? width - w : 0, ' ');
    if (right)
        out << pad << text;
    else
        out << text << pad;
}

// The cells of a result set as text; with -W without the padding char(n)
// values carry.
std::vector<std::vector<std::string>> cellTexts(const ResultSet& rs, bool trimmed)
{
    const std::size_t n = rs.columns.size();
    std::vector<std::vector<std::string>> cells;
    cells.reserve(rs.rows.size());
    for (const auto& row : rs.rows) {
        std::vector<std::string> line;
        line.reserve(n);
        for (std::size_t c = 0; c < n; ++c) {
            std::string text = c < row.size() ? cellText(row[c]) : std::string("NULL");
            line.push_back(trimmed ? withoutTrailingSpaces(std::move(text)) : std::move(text));
        }
        cells.push_back(std::move(line));
    }
    return cells;
}

}  // namespace

std::size_t displayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        char32_t cp = c;
        if (c >= 0xF0 && i + 3 < text.size()) {
            length = 4;
            cp = (c & 0x07u) << 18 | (text[i + 1] & 0x3Fu) << 12 | (text[i + 2] & 0x3Fu) << 6 | (text[i + 3] & 0x3Fu);
        } else if (c >= 0xE0 && i + 2 < text.size()) {
            length = 3;
            cp = (c & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
        } else if (c >= 0xC0 && i + 1 < text.size()) {
            length = 2;
            cp = (c & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu);
        }
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF)
            || (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF)
            || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60)
            || (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        width += wide ? 2 : 1;
        i += length;
    }
    return width;
}

std::string serverDisplayName(const std::string& server)
{
    const std::string_view s = trim(server);
    if (s.empty() || s == "." || equalsIgnoreCase(s, "(local)") || equalsIgnoreCase(s, "localhost")
        || s == "127.0.0.1") {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0')
            return host;
        return "localhost";
    }
    return std::string(s);
}

void printResultSet(std::ostream& out, const ResultSet& rs, const OutputStyle& style)
{
    const std::size_t n = rs.columns.size();
    const auto cells = cellTexts(rs, style.trimWidths);

    std::vector<std::size_t> widths(n);
    std::vector<bool> right(n);
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t w = displayWidth(rs.columns[c].name);
        if (!style.trimWidths)
            w = std::max(w, typeWidth(rs.columns[c].type));
        for (const auto& line : cells)
            w = std::max(w, displayWidth(line[c]));
        widths[c] = w;
        right[c] = !style.trimWidths && rightAligned(rs, c);
    }

    // With -W each field is printed as it is, without padding.
    auto writeLine = [&](auto&& fieldOf, auto&& alignOf) {
        for (std::size_t c = 0; c < n; ++c) {
            if (c > 0)
                out << style.separator;
            if (style.trimWidths)
                out << fieldOf(c);
            else
                writePadded(out, fieldOf(c), widths[c], alignOf(c));
        }
        out << '\n';
    };
    auto writeHeader = [&] {
        writeLine([&](std::size_t c) -> const std::string& { return rs.columns[c].name; },
                  [](std::size_t) { return false; });
        writeLine([&](std::size_t c) { return std::string(std::max<std::size_t>(widths[c], 1), '-'); },
                  [](std::size_t) { return false; });
    };

    if (style.rowsPerHeader != kNoHeader)
        writeHeader();
    for (std::size_t r = 0; r < cells.size(); ++r) {
        // -h N: a blank line and the header again before every N rows.
        if (style.rowsPerHeader > 0 && r > 0 && r % static_cast<std::size_t>(style.rowsPerHeader) == 0) {
            out << '\n';
            writeHeader();
        }
        writeLine([&](std::size_t c) -> const std::string& { return cells[r][c]; },
                  [&](std::size_t c) { return bool(right[c]); });
    }
    if (rs.countShown)
        out << "\n(" << rs.rows.size() << " rows affected)\n";
}

void printError(std::ostream& out, const SqlError& e, const std::string& serverName)
{
    out << "Msg " << e.number << ", Level " << e.severity << ", State " << e.state << ", Server " << serverName
        << ", Line " << e.line << '\n'
        << e.message << '\n';
}

void printBatchResult(std::ostream& out, const BatchResult& result, const OutputStyle& style,
                      const std::string& serverName)
{
    for (const BatchEvent& e : result.events) {
        switch (e.kind) {
        case BatchEvent::Kind::Message: out << result.messages[e.index] << '\n'; break;
        case BatchEvent::Kind::ResultSet: printResultSet(out, result.resultSets[e.index], style); break;
        case BatchEvent::Kind::RowsAffected: out << "\n(" << e.count << " rows affected)\n"; break;
        case BatchEvent::Kind::Error: printError(out, result.errors[e.index], serverName); break;
        }
    }
}

}  // namespace vqsql::cli
