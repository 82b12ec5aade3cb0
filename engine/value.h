// Values and column types as the engine hands them to its callers.
//
// A Value is one cell of a result set or one variable: NULL, an integer,
// a number (numeric, money, float), a text (UTF-8), a date-time (kept as
// the text "YYYY-MM-DD HH:MM:SS.mmm"), or raw bytes (image/varbinary).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vqsql {

enum class ValueKind { Null, Integer, Number, Text, DateTime, Bytes };

struct Value {
    ValueKind kind = ValueKind::Null;
    std::int64_t integer = 0;   // Integer
    double number = 0.0;        // Number
    std::string text;           // Text (UTF-8), DateTime (ISO text), Bytes (raw)

    static Value null() { return {}; }
    static Value fromInteger(std::int64_t v) { Value r; r.kind = ValueKind::Integer; r.integer = v; return r; }
    static Value fromNumber(double v) { Value r; r.kind = ValueKind::Number; r.number = v; return r; }
    static Value fromText(std::string v) { Value r; r.kind = ValueKind::Text; r.text = std::move(v); return r; }
    static Value fromDateTime(std::string iso) { Value r; r.kind = ValueKind::DateTime; r.text = std::move(iso); return r; }
    static Value fromBytes(std::string raw) { Value r; r.kind = ValueKind::Bytes; r.text = std::move(raw); return r; }

    bool isNull() const { return kind == ValueKind::Null; }
    // Integer view: numbers truncate, texts parse (0 when not numeric), NULL is 0.
    std::int64_t toInt64() const;
    double toDouble() const;
    // Text view as SQL Server would show it: integers plainly, numbers
    // without trailing zeros, date-times as stored, NULL as "".
    std::string toString() const;
};

// The base types of SQL Server that the engine knows.
enum class BaseType {
    Unknown, Null, Bit, TinyInt, SmallInt, Int, BigInt, Numeric, Money, SmallMoney, Float, Real,
    Char, VarChar, NChar, NVarChar, Text, NText, DateTime, SmallDateTime, Binary, VarBinary, Image,
    UniqueIdentifier
};

// A static SQL type: base type plus length (texts, binaries; -1 = max),
// precision and scale (numeric), and the user-defined type name when the
// column was declared with one.
struct SqlType {
    BaseType base = BaseType::Unknown;
    int length = 0;
    int precision = 0;
    int scale = 0;
    std::string userTypeName;

    bool isText() const;
    bool isNumericFamily() const;   // every number type, bit included
    bool isIntegerFamily() const;   // bit, tinyint, smallint, int, bigint
    bool isExactDecimal() const;    // numeric, money, smallmoney
    bool isDateTime() const;        // datetime, smalldatetime
    bool isBinary() const;
    bool isUnknown() const { return base == BaseType::Unknown || base == BaseType::Null; }

    // SQL Server's spelling, e.g. "varchar(32)", "numeric(19,4)", "int".
    std::string toString() const;
    // The name alone, e.g. "varchar".
    std::string baseName() const;
    // SQL Server's systypes xtype number (56 int, 167 varchar, 61 datetime ...).
    int xtype() const;
};

// A type from its parts.
inline SqlType makeType(BaseType base, int length = 0, int precision = 0, int scale = 0)
{
    SqlType t;
    t.base = base;
    t.length = length;
    t.precision = precision;
    t.scale = scale;
    return t;
}

// Looks up a system type name ("int", "varchar", "decimal" ...); Unknown if
// the name is not a system type.
BaseType baseTypeFromName(const std::string& name);

}  // namespace vqsql
