#include "rpc_batch.h"

#include "sqlerror.h"
#include "text_util.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <stdexcept>

namespace vqtdsserver {

using namespace vqtds;

namespace {

bool equalsNoCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

std::string quoted(const std::string& text, bool unicode)
{
    std::string out = unicode ? "N'" : "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    out += '\'';
    return out;
}

bool isUnicode(const TypeInfo& type)
{
    const auto base = sqlTypeOf(type).base;
    return base == vqsql::BaseType::NChar || base == vqsql::BaseType::NVarChar || base == vqsql::BaseType::NText;
}

std::string hex(const std::string& raw)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (unsigned char c : raw) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The variable a parameter's value goes into: the declared name.
std::string variableName(const std::string& name)
{
    return name.empty() || name[0] != '@' ? "@" + name : name;
}

// A procedure name as the client wrote it ("sp_who", "dbo.p",
// "master..sp_helpdb", "[my proc]") when it is made of name characters,
// dots and brackets; anything else becomes one bracketed name, so that no
// text of the call can turn into a statement of its own.
std::string procedureReference(const std::string& name)
{
    bool plain = !name.empty();
    int brackets = 0;
    for (unsigned char c : name) {
        if (c == '[')
            ++brackets;
        else if (c == ']')
            --brackets;
        else if (!(std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c == '.' || c >= 0x80 ||
                   (c == ' ' && brackets > 0)))
            plain = false;
        if (brackets < 0 || brackets > 1)
            plain = false;
    }
    return plain && brackets == 0 ? name : bracketed(name);
}

}  // namespace

std::vector<DeclaredParameter> parseParameterDeclarations(const std::string& list)
{
    std::vector<DeclaredParameter> out;
    std::vector<std::string> items;
    int depth = 0;
    std::string current;
    for (char c : list) {
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        if (c == ',' && depth == 0) {
            items.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    items.push_back(current);
    for (const std::string& raw : items) {
        std::string item = trimmed(raw);
        if (item.empty()) {
            if (items.size() == 1)
                break;   // an empty list
            throw std::invalid_argument("Incorrect syntax near ','.");
        }
        if (item[0] != '@')
            throw std::invalid_argument("Incorrect syntax near '" + item.substr(0, item.find_first_of(" \t")) + "'.");
        const auto space = item.find_first_of(" \t\r\n");
        if (space == std::string::npos)
            throw std::invalid_argument("Incorrect syntax near '" + item + "'.");
        DeclaredParameter p;
        p.name = item.substr(0, space);
        std::string type = trimmed(item.substr(space));
        // A trailing OUTPUT (or OUT) marks an output parameter.
        const auto lastSpace = type.find_last_of(" \t\r\n");
        if (lastSpace != std::string::npos) {
            const std::string tail = type.substr(lastSpace + 1);
            if (equalsNoCase(tail, "output") || equalsNoCase(tail, "out")) {
                p.output = true;
                type = trimmed(type.substr(0, lastSpace));
            }
        }
        if (type.empty() || type.find_first_of(";'") != std::string::npos)
            throw std::invalid_argument("Incorrect syntax near '" + p.name + "'.");
        p.type = type;
        out.push_back(std::move(p));
    }
    return out;
}

std::string sqlLiteral(const TypeInfo& type, const vqsql::Value& value)
{
    using vqsql::ValueKind;
    switch (value.kind) {
    case ValueKind::Null: return "NULL";
    case ValueKind::Integer: return std::to_string(value.integer);
    case ValueKind::Number: {
        const auto sql = sqlTypeOf(type);
        if (sql.isExactDecimal())
            return value.toString();
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%.17g", value.number);
        std::string text = buffer;
        // A float literal needs its exponent; a plain "1.5" would be decimal.
        if (text.find_first_of("eE") == std::string::npos)
            text += "E0";
        return text;
    }
    case ValueKind::Text: return quoted(value.text, isUnicode(type));
    case ValueKind::DateTime: return "CONVERT(datetime, '" + value.text + "', 121)";
    case ValueKind::Bytes: return hex(value.text);
    }
    return "NULL";
}

RpcBatch statementBatch(const std::string& statement, const std::vector<DeclaredParameter>& declarations,
                        const std::vector<RpcParameter>& values, std::size_t firstOrdinal)
{
    // Each value goes to a declared parameter: by name, or by position
    // until the first named one.
    std::vector<const RpcParameter*> assigned(declarations.size(), nullptr);
    std::vector<std::size_t> ordinals(declarations.size(), 0);
    bool named = false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const RpcParameter& v = values[i];
        std::size_t slot = declarations.size();
        if (!v.name.empty()) {
            named = true;
            for (std::size_t d = 0; d < declarations.size(); ++d) {
                if (lowerAscii(declarations[d].name) == lowerAscii(v.name))
                    slot = d;
            }
            if (slot == declarations.size())
                throw vqsql::SqlException(8145, v.name + " is not a parameter for procedure sp_executesql.", 1, 16);
        } else {
            if (named)
                throw vqsql::SqlException(119,
                                          "Must pass parameter number " + std::to_string(i + firstOrdinal + 1) +
                                              " and subsequent parameters as '@name = value'. After the form "
                                              "'@name = value' has been used, all subsequent parameters must be "
                                              "passed in the form '@name = value'.",
                                          1, 15);
            slot = i;
            if (slot >= declarations.size())
                throw vqsql::SqlException(8144, "Procedure or function sp_executesql has too many arguments specified.",
                                          1, 16);
        }
        assigned[slot] = &v;
        ordinals[slot] = i + firstOrdinal;
    }

    RpcBatch batch;
    std::string declare;
    std::string sets;
    for (std::size_t d = 0; d < declarations.size(); ++d) {
        const DeclaredParameter& p = declarations[d];
        declare += (declare.empty() ? "DECLARE " : ", ") + p.name + " " + p.type;
        const RpcParameter* v = assigned[d];
        if (!v)
            throw vqsql::SqlException(8178,
                                      "The parameterized query '(" + p.name + " " + p.type +
                                          ")' expects the parameter '" + p.name + "', which was not supplied.",
                                      1, 16);
        if (!v->value.isNull())
            sets += "SET " + p.name + " = " + sqlLiteral(v->type, v->value) + ";";
        if (v->isOutput() && p.output)
            batch.outputs.push_back({static_cast<std::uint16_t>(ordinals[d]), v, p.name});
    }
    // The statement keeps its own line numbers: what comes before it stays
    // on its first line.
    batch.text = (declare.empty() ? "" : declare + ";") + sets + statement;
    if (!batch.outputs.empty()) {
        batch.text += "\n;SELECT ";
        for (std::size_t i = 0; i < batch.outputs.size(); ++i)
            batch.text += (i ? ", " : "") + batch.outputs[i].variable + (i ? "" : std::string(" AS ") + kOutputMarkerColumn);
    }
    return batch;
}

RpcBatch procedureBatch(const RpcCall& call)
{
    RpcBatch batch;
    std::string declare;
    std::string sets;
    std::string arguments;
    for (std::size_t i = 0; i < call.parameters.size(); ++i) {
        const RpcParameter& p = call.parameters[i];
        std::string argument;
        if (p.wantsDefault()) {
            argument = "DEFAULT";
        } else if (p.isOutput()) {
            const std::string variable = "@vq_out" + std::to_string(i);
            declare += (declare.empty() ? "DECLARE " : ", ") + variable + " " + declarationOf(p);
            if (!p.value.isNull())
                sets += "SET " + variable + " = " + sqlLiteral(p.type, p.value) + ";";
            batch.outputs.push_back({static_cast<std::uint16_t>(i), &p, variable});
            argument = variable + " OUTPUT";
        } else {
            argument = sqlLiteral(p.type, p.value);
        }
        if (!p.name.empty())
            argument = variableName(p.name) + " = " + argument;
        arguments += (arguments.empty() ? " " : ", ") + argument;
    }
    batch.text = (declare.empty() ? "" : declare + ";") + sets + "EXEC " + procedureReference(call.procedureName) + arguments;
    if (!batch.outputs.empty()) {
        batch.text += "\n;SELECT ";
        for (std::size_t i = 0; i < batch.outputs.size(); ++i)
            batch.text += (i ? ", " : "") + batch.outputs[i].variable + (i ? "" : std::string(" AS ") + kOutputMarkerColumn);
    }
    return batch;
}

}  // namespace vqtdsserver
