// Data types on the wire: the TYPE_INFO of a column or a parameter and
// the encoding of its values, as SQL Server sends them. Engine types map
// to the nullable variable-length forms (INTN, NUMERICN, MONEYN, FLTN,
// DATETIMN, the 2-byte-length character and binary types, the long
// text types and the PLP (max) types from 7.2 on); the readers also take
// the fixed-length forms that clients use for parameters.
#pragma once

#include "value.h"
#include "version.h"
#include "wire.h"

#include <cstdint>

namespace vqtds {

namespace tds_type {
constexpr std::uint8_t Null = 0x1F;
constexpr std::uint8_t Int1 = 0x30;
constexpr std::uint8_t Bit = 0x32;
constexpr std::uint8_t Int2 = 0x34;
constexpr std::uint8_t Int4 = 0x38;
constexpr std::uint8_t DateTim4 = 0x3A;
constexpr std::uint8_t Flt4 = 0x3B;
constexpr std::uint8_t Money = 0x3C;
constexpr std::uint8_t DateTime = 0x3D;
constexpr std::uint8_t Flt8 = 0x3E;
constexpr std::uint8_t Money4 = 0x7A;
constexpr std::uint8_t Int8 = 0x7F;
constexpr std::uint8_t Guid = 0x24;
constexpr std::uint8_t IntN = 0x26;
constexpr std::uint8_t Decimal = 0x37;   // legacy forms, read like the N forms
constexpr std::uint8_t Numeric = 0x3F;
constexpr std::uint8_t BitN = 0x68;
constexpr std::uint8_t DecimalN = 0x6A;
constexpr std::uint8_t NumericN = 0x6C;
constexpr std::uint8_t FltN = 0x6D;
constexpr std::uint8_t MoneyN = 0x6E;
constexpr std::uint8_t DateTimeN = 0x6F;
constexpr std::uint8_t Image = 0x22;
constexpr std::uint8_t Text = 0x23;
constexpr std::uint8_t NText = 0x63;
constexpr std::uint8_t BigVarBinary = 0xA5;
constexpr std::uint8_t BigVarChar = 0xA7;
constexpr std::uint8_t BigBinary = 0xAD;
constexpr std::uint8_t BigChar = 0xAF;
constexpr std::uint8_t NVarChar = 0xE7;
constexpr std::uint8_t NChar = 0xEF;
}  // namespace tds_type

// The 5-byte collation: a little-endian DWORD holding the LCID (20 bits),
// the comparison flags (ignore case 0x1, accent 0x2, width 0x4, kana 0x8,
// binary 0x10, binary2 0x20 in bits 20..27) and a version (bits 28..31),
// then the SQL sort id (0 for a Windows collation).
struct Collation {
    std::uint32_t info = 0;
    std::uint8_t sortId = 0;

    std::uint32_t lcid() const { return info & 0xFFFFF; }
    bool operator==(const Collation&) const = default;
};

// Chinese_PRC_CI_AS: LCID 0x0804 (code page 936), case-insensitive,
// accent-sensitive, kana- and width-insensitive.
Collation chinesePrcCiAs();
void writeCollation(Bytes& out, const Collation& c);
Collation readCollation(Reader& r);

// TYPE_INFO: the wire type and what follows it.
struct TypeInfo {
    std::uint8_t type = tds_type::IntN;
    std::uint32_t maxLength = 4;   // bytes; 0xFFFF with plp for the (max) types
    std::uint8_t precision = 0;
    std::uint8_t scale = 0;
    Collation collation;           // character types only
    bool plp = false;              // values in partially length-prefixed chunks

    bool hasCollation() const;
    bool isLongText() const;       // text, ntext, image (a table name follows in COLMETADATA)
};

constexpr std::uint16_t kPlpMaxLength = 0xFFFF;
constexpr std::size_t kMaxShortLength = 8000;   // longest non-(max) char/binary column, in bytes

// The TYPE_INFO for a column of this engine type whose longest value
// takes `longestValueBytes` on the wire: a declared length below that is
// raised, a length beyond 8000 bytes or (max) becomes a PLP type (7.2 on)
// or text/ntext/image (7.1).
TypeInfo typeInfoFor(const vqsql::SqlType& type, TdsVersion version, std::size_t longestValueBytes = 0);
// Bytes a value takes in a character or binary column of this type (the
// GBK length for char/varchar, UTF-16 for nchar/nvarchar); 0 otherwise.
std::size_t wireTextLength(const vqsql::SqlType& type, const vqsql::Value& value);
// The engine type a TYPE_INFO stands for (a fixed-length form stands for
// the type of its N form).
vqsql::SqlType sqlTypeOf(const TypeInfo& info);
// The nullable N form of a fixed-length TYPE_INFO (INT4 -> INTN(4), FLT8
// -> FLTN(8), DATETIME -> DATETIMN(8) ..., the NULL type -> INTN(4));
// any other TYPE_INFO unchanged. A value going back to a client in the
// type it was sent in (an OUTPUT parameter) needs the N form to be NULL.
TypeInfo nullableForm(const TypeInfo& info);

void writeTypeInfo(Bytes& out, const TypeInfo& info);
// Reads a TYPE_INFO; throws ProtocolError for an unknown or unsupported
// type, or a length, precision or scale the type cannot have.
TypeInfo readTypeInfo(Reader& r);

// Long text values are framed differently in a row (with a text pointer
// and a timestamp) and in an RPC parameter (a 4-byte length alone).
enum class ValueContext { Row, Parameter };

// Writes a value in the format of `info`: char types as GBK, nchar types
// as UTF-16LE, numbers and date-times converted from the engine's forms;
// a fixed-length form without a length, so never NULL.
// Throws ProtocolError for a value the type cannot hold (a number beyond
// the precision, a date out of range, a malformed uniqueidentifier).
void writeValue(Bytes& out, const TypeInfo& info, const vqsql::Value& value, ValueContext context = ValueContext::Row);
// Reads a value in the format of `info`; throws ProtocolError for a bad
// length or truncated data.
vqsql::Value readValue(Reader& r, const TypeInfo& info, ValueContext context = ValueContext::Row);

// Date-time helpers, exposed for the tests: the engine's
// "YYYY-MM-DD HH:MM:SS.mmm" text to days since 1900-01-01 and 1/300
// seconds since midnight, and back.
struct DateTimeParts {
    std::int32_t days = 0;
    std::uint32_t ticks = 0;
};
DateTimeParts dateTimeToParts(const std::string& text);
std::string partsToDateTime(DateTimeParts parts);

}  // namespace vqtds
