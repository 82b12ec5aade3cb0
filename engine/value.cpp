// Values and static SQL types.
#include "value.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace vqsql {

std::int64_t Value::toInt64() const
{
    switch (kind) {
    case ValueKind::Integer: return integer;
    case ValueKind::Number: return static_cast<std::int64_t>(number);
    case ValueKind::Text: return std::strtoll(text.c_str(), nullptr, 10);
    default: return 0;
    }
}

double Value::toDouble() const
{
    switch (kind) {
    case ValueKind::Integer: return static_cast<double>(integer);
    case ValueKind::Number: return number;
    case ValueKind::Text: return std::strtod(text.c_str(), nullptr);
    default: return 0.0;
    }
}

// Shortest text that reads back as the same double, without exponent for
// ordinary magnitudes and without trailing zeros.
static std::string formatNumber(double v)
{
    if (v == std::floor(v) && std::fabs(v) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", v);
        return buf;
    }
    char buf[64];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, v);
        if (std::strtod(buf, nullptr) == v)
            break;
    }
    std::string s = buf;
    if (s.find('e') == std::string::npos && s.find('E') == std::string::npos) {
        if (s.find('.') != std::string::npos) {
            while (!s.empty() && s.back() == '0')
                s.pop_back();
            if (!s.empty() && s.back() == '.')
                s.pop_back();
        }
    }
    return s;
}

std::string Value::toString() const
{
    switch (kind) {
    case ValueKind::Null: return std::string();
    case ValueKind::Integer: return std::to_string(integer);
    case ValueKind::Number: return text.empty() ? formatNumber(number) : text;   // exact text when kept
    case ValueKind::Text:
    case ValueKind::DateTime:
    case ValueKind::Bytes: return text;
    }
    return std::string();
}

bool SqlType::isText() const
{
    switch (base) {
    case BaseType::Char: case BaseType::VarChar: case BaseType::NChar: case BaseType::NVarChar:
    case BaseType::Text: case BaseType::NText: case BaseType::UniqueIdentifier:
        return true;
    default:
        return false;
    }
}

bool SqlType::isIntegerFamily() const
{
    switch (base) {
    case BaseType::Bit: case BaseType::TinyInt: case BaseType::SmallInt: case BaseType::Int: case BaseType::BigInt:
        return true;
    default:
        return false;
    }
}

bool SqlType::isExactDecimal() const
{
    return base == BaseType::Numeric || base == BaseType::Money || base == BaseType::SmallMoney;
}

bool SqlType::isNumericFamily() const
{
    return isIntegerFamily() || isExactDecimal() || base == BaseType::Float || base == BaseType::Real;
}

bool SqlType::isDateTime() const
{
    return base == BaseType::DateTime || base == BaseType::SmallDateTime;
}

bool SqlType::isBinary() const
{
    return base == BaseType::Binary || base == BaseType::VarBinary || base == BaseType::Image;
}

namespace {
struct TypeInfo {
    const char* name;
    BaseType base;
    int xtype;
};
const TypeInfo kTypes[] = {
    {"bit", BaseType::Bit, 104},           {"tinyint", BaseType::TinyInt, 48},
    {"smallint", BaseType::SmallInt, 52},  {"int", BaseType::Int, 56},
    {"bigint", BaseType::BigInt, 127},     {"numeric", BaseType::Numeric, 108},
    {"money", BaseType::Money, 60},        {"smallmoney", BaseType::SmallMoney, 122},
    {"float", BaseType::Float, 62},        {"real", BaseType::Real, 59},
    {"char", BaseType::Char, 175},         {"varchar", BaseType::VarChar, 167},
    {"nchar", BaseType::NChar, 239},       {"nvarchar", BaseType::NVarChar, 231},
    {"text", BaseType::Text, 35},          {"ntext", BaseType::NText, 99},
    {"datetime", BaseType::DateTime, 61},  {"smalldatetime", BaseType::SmallDateTime, 58},
    {"binary", BaseType::Binary, 173},     {"varbinary", BaseType::VarBinary, 165},
    {"image", BaseType::Image, 34},        {"uniqueidentifier", BaseType::UniqueIdentifier, 36},
};
}  // namespace

BaseType baseTypeFromName(const std::string& name)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "decimal" || lower == "dec")
        return BaseType::Numeric;
    if (lower == "integer")
        return BaseType::Int;
    if (lower == "double precision")
        return BaseType::Float;
    if (lower == "sysname")
        return BaseType::NVarChar;
    if (lower == "timestamp" || lower == "rowversion")
        return BaseType::Binary;
    for (const auto& t : kTypes)
        if (lower == t.name)
            return t.base;
    return BaseType::Unknown;
}

std::string SqlType::baseName() const
{
    for (const auto& t : kTypes)
        if (t.base == base)
            return t.name;
    return base == BaseType::Null ? "null" : "unknown";
}

int SqlType::xtype() const
{
    for (const auto& t : kTypes)
        if (t.base == base)
            return t.xtype;
    return 0;
}

std::string SqlType::toString() const
{
    std::string n = baseName();
    switch (base) {
    case BaseType::Char: case BaseType::VarChar: case BaseType::NChar: case BaseType::NVarChar:
    case BaseType::Binary: case BaseType::VarBinary:
        return n + "(" + (length < 0 ? std::string("max") : std::to_string(length)) + ")";
    case BaseType::Numeric:
        return n + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    default:
        return n;
    }
}

}  // namespace vqsql
