#include "types.h"

#include "gbk.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace vqtds {

using vqsql::BaseType;
using vqsql::SqlType;
using vqsql::Value;
using vqsql::ValueKind;

namespace {

using u128 = unsigned __int128;

constexpr std::uint32_t kTextMaxLength = 0x7FFFFFFF;
constexpr std::uint32_t kNTextMaxLength = 0x7FFFFFFE;
constexpr std::uint64_t kPlpNull = ~std::uint64_t(0);
constexpr std::uint64_t kPlpUnknownLength = ~std::uint64_t(0) - 1;
constexpr std::int32_t kMinDateTimeDays = -53690;   // 1753-01-01
constexpr std::int32_t kMaxDateTimeDays = 2958463;  // 9999-12-31

bool isCharType(std::uint8_t t)
{
    return t == tds_type::BigChar || t == tds_type::BigVarChar || t == tds_type::Text;
}

bool isNCharType(std::uint8_t t)
{
    return t == tds_type::NChar || t == tds_type::NVarChar || t == tds_type::NText;
}

bool isShortLengthType(std::uint8_t t)
{
    switch (t) {
    case tds_type::BigChar: case tds_type::BigVarChar: case tds_type::NChar: case tds_type::NVarChar:
    case tds_type::BigBinary: case tds_type::BigVarBinary:
        return true;
    default:
        return false;
    }
}

bool isFixedPadded(std::uint8_t t)
{
    return t == tds_type::BigChar || t == tds_type::NChar || t == tds_type::BigBinary;
}

// Size of the decimal magnitude plus its sign byte, by precision.
std::uint8_t decimalLength(int precision)
{
    if (precision <= 9) return 5;
    if (precision <= 19) return 9;
    if (precision <= 28) return 13;
    return 17;
}

// 10^0 .. 10^38: every power a decimal of 38 digits needs, made once
// rather than multiplied out for each value.
constexpr auto kPowersOf10 = [] {
    std::array<u128, 39> powers{};
    u128 v = 1;
    for (u128& p : powers) {
        p = v;
        v *= 10;
    }
    return powers;
}();

u128 pow10(int n)
{
    if (n >= 0 && n < static_cast<int>(kPowersOf10.size()))
        return kPowersOf10[static_cast<std::size_t>(n)];
    u128 v = 1;
    for (int i = 0; i < n; ++i)
        v *= 10;
    return v;
}

struct ScaledDecimal {
    bool negative = false;
    u128 magnitude = 0;
};

// A decimal text ("-12.345", "7", ".5") scaled to `scale` digits after
// the point, rounding half away from zero. Nullopt when not a plain
// decimal or beyond 38 digits.
std::optional<ScaledDecimal> parseDecimal(std::string_view text, int scale)
{
    ScaledDecimal d;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        d.negative = text[i++] == '-';
    int digits = 0;
    int fractionDigits = 0;
    bool point = false;
    bool roundUp = false;
    bool any = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9')
            break;
        any = true;
        if (point && fractionDigits == scale) {
            // The first digit beyond the scale decides the rounding.
            roundUp = c >= '5';
            for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {}
            break;
        }
        if (point)
            ++fractionDigits;
        if (d.magnitude != 0 || c != '0')
            ++digits;
        if (digits > 38)
            return std::nullopt;
        d.magnitude = d.magnitude * 10 + static_cast<unsigned>(c - '0');
    }
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (!any || i != text.size())
        return std::nullopt;
    if (digits + (scale - fractionDigits) > 38)
        return std::nullopt;
    d.magnitude *= pow10(scale - fractionDigits);
    if (roundUp)
        d.magnitude += 1;
    if (d.magnitude >= pow10(38))
        return std::nullopt;
    if (d.magnitude == 0)
        d.negative = false;
    return d;
}

// The value as decimal text with `scale` digits, for the exact types.
ScaledDecimal scaledValue(const Value& v, int scale)
{
    std::string text;
    if (v.kind == ValueKind::Integer) {
        text = std::to_string(v.integer);
    } else if (v.kind == ValueKind::Number && v.text.empty()) {
        if (!std::isfinite(v.number))
            throw ProtocolError("a number that is not finite cannot be sent as a decimal");
        // Fifteen significant digits give back the decimal a double was
        // made from (2.675, not 2.67499999...), which then rounds as
        // SQL Server rounds decimals: half away from zero. to_chars writes
        // what "%.15g" writes, several times faster than snprintf.
        char buf[64];
        const auto written = std::to_chars(buf, buf + sizeof buf, v.number, std::chars_format::general, 15);
        text.assign(buf, written.ptr);
    } else {
        text = v.toString();
    }
    std::optional<ScaledDecimal> d = parseDecimal(text, scale);
    if (!d && v.kind != ValueKind::Integer) {
        // Exponent forms: through a double.
        char* end = nullptr;
        const double x = std::strtod(text.c_str(), &end);
        if (end && *end == '\0' && std::isfinite(x) && std::fabs(x) < 1e38) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%.*f", scale, x);
            d = parseDecimal(buf, scale);
        }
    }
    if (!d)
        throw ProtocolError("value '" + text.substr(0, 40) + "' is not a decimal number");
    return *d;
}

std::string decimalText(bool negative, u128 magnitude, int scale)
{
    std::string digits;
    do {
        digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    while (static_cast<int>(digits.size()) <= scale)
        digits.push_back('0');
    std::reverse(digits.begin(), digits.end());
    if (scale > 0)
        digits.insert(digits.end() - scale, '.');
    if (negative && digits.find_first_not_of("0.") != std::string::npos)
        digits.insert(digits.begin(), '-');
    return digits;
}

Value exactNumber(bool negative, u128 magnitude, int scale)
{
    Value v = Value::fromNumber(0);
    v.text = decimalText(negative, magnitude, scale);
    v.number = std::strtod(v.text.c_str(), nullptr);
    return v;
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const std::int64_t kDays1900 = daysFromCivil(1900, 1, 1);

bool readDigits(const std::string& s, std::size_t& i, int count, int& out)
{
    out = 0;
    for (int k = 0; k < count; ++k, ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

unsigned daysInMonth(int y, unsigned m)
{
    static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// Milliseconds since 1900-01-01 00:00 of the engine's date-time text.
std::int64_t parseDateTimeMillis(const std::string& s)
{
    std::size_t i = 0;
    int y, mo, d, h = 0, mi = 0, sec = 0, ms = 0;
    bool ok = readDigits(s, i, 4, y) && i < s.size() && s[i++] == '-' && readDigits(s, i, 2, mo) &&
              i < s.size() && s[i++] == '-' && readDigits(s, i, 2, d);
    if (ok && i < s.size()) {
        ok = (s[i] == ' ' || s[i] == 'T') && (++i, readDigits(s, i, 2, h)) && i < s.size() && s[i++] == ':' &&
             readDigits(s, i, 2, mi);
        if (ok && i < s.size() && s[i] == ':') {
            ++i;
            ok = readDigits(s, i, 2, sec);
        }
        if (ok && i < s.size() && s[i] == '.') {
            ++i;
            int scale = 100;
            bool any = false;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                if (scale >= 1)
                    ms += (s[i] - '0') * scale;
                scale /= 10;
                any = true;
                ++i;
            }
            ok = any;
        }
        ok = ok && i == s.size();
    }
    if (!ok || mo < 1 || mo > 12 || d < 1 || static_cast<unsigned>(d) > daysInMonth(y, static_cast<unsigned>(mo)) ||
        h > 23 || mi > 59 || sec > 59)
        throw ProtocolError("'" + s.substr(0, 40) + "' is not a date-time");
    const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - kDays1900;
    return days * 86400000LL + ((h * 60LL + mi) * 60 + sec) * 1000 + ms;
}

std::string formatDateTime(std::int64_t days, std::int64_t millisOfDay)
{
    int y;
    unsigned m, d;
    civilFromDays(days + kDays1900, y, m, d);
    const std::int64_t h = millisOfDay / 3600000, mi = millisOfDay / 60000 % 60, s = millisOfDay / 1000 % 60,
                       ms = millisOfDay % 1000;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02d:%02d:%02d.%03d", y, m, d, static_cast<int>(h),
                  static_cast<int>(mi), static_cast<int>(s), static_cast<int>(ms));
    return buf;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The 16 bytes of a uniqueidentifier: its first three groups little-endian.
Bytes guidBytes(const Value& v)
{
    if (v.kind == ValueKind::Bytes && v.text.size() == 16)
        return Bytes(v.text.begin(), v.text.end());
    std::string s = v.toString();
    if (s.size() == 38 && s.front() == '{' && s.back() == '}')
        s = s.substr(1, 36);
    std::uint8_t b[16];
    std::size_t i = 0;
    for (int k = 0; k < 16; ++k) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (i >= s.size() || s[i] != '-')
                throw ProtocolError("'" + s.substr(0, 40) + "' is not a uniqueidentifier");
            ++i;
        }
        const int hi = i + 1 < s.size() ? hexDigit(s[i]) : -1;
        const int lo = i + 1 < s.size() ? hexDigit(s[i + 1]) : -1;
        if (hi < 0 || lo < 0)
            throw ProtocolError("'" + s.substr(0, 40) + "' is not a uniqueidentifier");
        b[k] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    if (i != s.size())
        throw ProtocolError("'" + s.substr(0, 40) + "' is not a uniqueidentifier");
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    Bytes out(16);
    for (int k = 0; k < 16; ++k)
        out[static_cast<std::size_t>(k)] = b[order[k]];
    return out;
}

std::string guidText(ByteView b)
{
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    for (int k = 0; k < 16; ++k) {
        if (k == 4 || k == 6 || k == 8 || k == 10)
            s.push_back('-');
        const std::uint8_t x = b[static_cast<std::size_t>(order[k])];
        s.push_back(hex[x >> 4]);
        s.push_back(hex[x & 15]);
    }
    return s;
}

// The text of a value: the one it holds when it is a text, date-time or
// byte string (no copy), else its text form made in `storage`.
std::string_view textView(const Value& v, std::string& storage)
{
    switch (v.kind) {
    case ValueKind::Text: case ValueKind::DateTime: case ValueKind::Bytes:
        return v.text;
    default:
        storage = v.toString();
        return storage;
    }
}

bool isAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The bytes of a character or binary value in the wire form of its type.
// Appends the value's bytes in the wire form of `type` (UTF-16LE for the
// nchar types, GBK for the char types, raw bytes for binaries) straight
// onto `out`, which a result of many rows fills without copies between;
// returns how many bytes were appended.
std::size_t appendTextBytes(Bytes& out, std::uint8_t type, const Value& v)
{
    std::string storage;
    const std::string_view text = textView(v, storage);
    const std::size_t before = out.size();
    if (isNCharType(type)) {
        appendUtf16(out, text);
    } else if (isCharType(type) && !isAscii(text)) {
        // GBK keeps ASCII as it is: a text of ASCII alone needs no conversion.
        putBytes(out, vqsql::utf8ToGbk(text));
    } else {
        putBytes(out, text);
    }
    return out.size() - before;
}

std::string textBytes(std::uint8_t type, const Value& v)
{
    Bytes b;
    appendTextBytes(b, type, v);
    return std::string(b.begin(), b.end());
}

Value textValue(std::uint8_t type, ByteView bytes)
{
    if (isNCharType(type))
        return Value::fromText(utf16ToUtf8(bytes));
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (isCharType(type)) {
        std::optional<std::string> utf8 = vqsql::gbkToUtf8(raw);
        if (!utf8)
            throw ProtocolError("character data that is not valid GBK");
        return Value::fromText(std::move(*utf8));
    }
    return Value::fromBytes(std::string(raw));
}

void putSigned(Bytes& out, std::int64_t v, std::uint32_t bytes)
{
    for (std::uint32_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
}

std::int64_t readSigned(Reader& r, std::uint32_t bytes)
{
    std::uint64_t v = 0;
    for (std::uint32_t i = 0; i < bytes; ++i)
        v |= std::uint64_t(r.u8()) << (8 * i);
    if (bytes < 8 && bytes > 0 && (v >> (8 * bytes - 1)) & 1)
        v |= ~std::uint64_t(0) << (8 * bytes);
    return static_cast<std::int64_t>(v);
}

void checkIntRange(std::int64_t v, std::uint32_t bytes)
{
    bool ok = true;
    switch (bytes) {
    case 1: ok = v >= 0 && v <= 255; break;
    case 2: ok = v >= INT16_MIN && v <= INT16_MAX; break;
    case 4: ok = v >= INT32_MIN && v <= INT32_MAX; break;
    default: break;
    }
    if (!ok)
        throw ProtocolError("integer " + std::to_string(v) + " out of range of its column");
}

// Fixed-size body of the numeric, money, float and date-time types.
void writeFixedBody(Bytes& out, std::uint8_t kind, std::uint32_t length, const TypeInfo& info, const Value& v)
{
    switch (kind) {
    case tds_type::IntN: {
        const std::int64_t x = v.toInt64();
        checkIntRange(x, length);
        putSigned(out, x, length);
        return;
    }
    case tds_type::BitN:
        putU8(out, v.toInt64() != 0 ? 1 : 0);
        return;
    case tds_type::FltN:
        if (length == 4) {
            const double x = v.toDouble();
            // A finite double beyond the range of a float has no real form.
            if (std::isfinite(x) && std::fabs(x) > std::numeric_limits<float>::max())
                throw ProtocolError("value out of the range of real");
            putU32le(out, std::bit_cast<std::uint32_t>(static_cast<float>(x)));
        } else
            putU64le(out, std::bit_cast<std::uint64_t>(v.toDouble()));
        return;
    case tds_type::MoneyN: {
        const ScaledDecimal d = scaledValue(v, 4);
        // The range is that of a 64-bit integer of ten-thousandths, one
        // more below zero than above.
        if (d.magnitude > u128(INT64_MAX) + (d.negative ? 1 : 0))
            throw ProtocolError("money value out of range");
        const std::int64_t x = d.negative ? static_cast<std::int64_t>(~static_cast<std::uint64_t>(d.magnitude) + 1)
                                          : static_cast<std::int64_t>(d.magnitude);
        if (length == 4) {
            checkIntRange(x, 4);
            putSigned(out, x, 4);
        } else {
            putU32le(out, static_cast<std::uint32_t>(static_cast<std::uint64_t>(x) >> 32));
            putU32le(out, static_cast<std::uint32_t>(x));
        }
        return;
    }
    case tds_type::DateTimeN: {
        const std::int64_t ms = parseDateTimeMillis(v.toString());
        std::int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
        std::int64_t msOfDay = ms - days * 86400000;
        if (length == 4) {
            std::int64_t minutes = (msOfDay + 30000) / 60000;
            if (minutes == 1440) {
                minutes = 0;
                ++days;
            }
            if (days < 0 || days > 65535)
                throw ProtocolError("date out of the smalldatetime range");
            putU16le(out, static_cast<std::uint16_t>(days));
            putU16le(out, static_cast<std::uint16_t>(minutes));
        } else {
            std::int64_t ticks = (msOfDay * 300 + 500) / 1000;
            if (ticks == 300LL * 86400) {
                ticks = 0;
                ++days;
            }
            if (days < kMinDateTimeDays || days > kMaxDateTimeDays)
                throw ProtocolError("date out of the datetime range");
            putSigned(out, days, 4);
            putU32le(out, static_cast<std::uint32_t>(ticks));
        }
        return;
    }
    case tds_type::DecimalN:
    case tds_type::NumericN: {
        const ScaledDecimal d = scaledValue(v, info.scale);
        if (d.magnitude >= pow10(info.precision))
            throw ProtocolError("value does not fit numeric(" + std::to_string(info.precision) + "," +
                                std::to_string(info.scale) + ")");
        putU8(out, d.negative ? 0 : 1);
        u128 m = d.magnitude;
        for (std::uint32_t i = 0; i + 1 < length; ++i, m >>= 8)
            out.push_back(static_cast<std::uint8_t>(m));
        return;
    }
    }
}

Value readFixedBody(Reader& r, std::uint8_t kind, std::uint32_t length, const TypeInfo& info)
{
    switch (kind) {
    case tds_type::IntN: {
        if (length == 1)
            return Value::fromInteger(r.u8());
        return Value::fromInteger(readSigned(r, length));
    }
    case tds_type::BitN:
        return Value::fromInteger(r.u8() != 0 ? 1 : 0);
    case tds_type::FltN:
        if (length == 4)
            return Value::fromNumber(std::bit_cast<float>(r.u32le()));
        return Value::fromNumber(std::bit_cast<double>(r.u64le()));
    case tds_type::MoneyN: {
        std::int64_t x;
        if (length == 4) {
            x = readSigned(r, 4);
        } else {
            const std::uint64_t hi = r.u32le();
            const std::uint64_t lo = r.u32le();
            x = static_cast<std::int64_t>((hi << 32) | lo);
        }
        const bool negative = x < 0;
        const u128 magnitude = negative ? u128(-(x + 1)) + 1 : u128(x);
        Value v = exactNumber(negative, magnitude, 4);
        return v;
    }
    case tds_type::DateTimeN: {
        if (length == 4) {
            const std::uint16_t days = r.u16le();
            const std::uint16_t minutes = r.u16le();
            if (minutes >= 1440)
                throw ProtocolError("smalldatetime minutes out of range");
            return Value::fromDateTime(formatDateTime(days, minutes * 60000LL));
        }
        const std::int64_t days = readSigned(r, 4);
        const std::uint32_t ticks = r.u32le();
        if (days < kMinDateTimeDays || days > kMaxDateTimeDays || ticks >= 300u * 86400)
            throw ProtocolError("datetime out of range");
        return Value::fromDateTime(formatDateTime(days, (ticks * 1000LL + 150) / 300));
    }
    case tds_type::DecimalN:
    case tds_type::NumericN: {
        const std::uint8_t sign = r.u8();
        u128 m = 0;
        const ByteView mag = r.take(length - 1);
        for (std::size_t i = mag.size(); i-- > 0;)
            m = (m << 8) | mag[i];
        return exactNumber(sign == 0, m, info.scale);
    }
    }
    throw ProtocolError("unexpected fixed type");
}

// The N form of a fixed-length type, and its size.
std::optional<std::pair<std::uint8_t, std::uint32_t>> fixedForm(std::uint8_t type)
{
    switch (type) {
    case tds_type::Int1: return {{tds_type::IntN, 1}};
    case tds_type::Int2: return {{tds_type::IntN, 2}};
    case tds_type::Int4: return {{tds_type::IntN, 4}};
    case tds_type::Int8: return {{tds_type::IntN, 8}};
    case tds_type::Bit: return {{tds_type::BitN, 1}};
    case tds_type::Flt4: return {{tds_type::FltN, 4}};
    case tds_type::Flt8: return {{tds_type::FltN, 8}};
    case tds_type::Money4: return {{tds_type::MoneyN, 4}};
    case tds_type::Money: return {{tds_type::MoneyN, 8}};
    case tds_type::DateTim4: return {{tds_type::DateTimeN, 4}};
    case tds_type::DateTime: return {{tds_type::DateTimeN, 8}};
    case tds_type::Null: return {{tds_type::Null, 0}};
    default: return std::nullopt;
    }
}

bool validNLength(std::uint8_t type, std::uint32_t length)
{
    switch (type) {
    case tds_type::IntN: return length == 1 || length == 2 || length == 4 || length == 8;
    case tds_type::BitN: return length == 1;
    case tds_type::FltN:
    case tds_type::MoneyN:
    case tds_type::DateTimeN: return length == 4 || length == 8;
    case tds_type::Guid: return length == 16;
    case tds_type::DecimalN:
    case tds_type::NumericN:
    case tds_type::Decimal:
    case tds_type::Numeric: return length >= 2 && length <= 17;
    default: return false;
    }
}

ByteView readPlp(Reader& r, Bytes& storage, bool& isNull)
{
    const std::uint64_t total = r.u64le();
    isNull = total == kPlpNull;
    if (isNull)
        return {};
    if (total != kPlpUnknownLength && total > r.remaining())
        throw ProtocolError("PLP value longer than the data received");
    for (;;) {
        const std::uint32_t chunk = r.u32le();
        if (chunk == 0)
            break;
        putBytes(storage, r.take(chunk));   // take() checks the chunk is there
    }
    if (total != kPlpUnknownLength && total != storage.size())
        throw ProtocolError("PLP chunks do not add up to the announced length");
    return storage;
}

}  // namespace

Collation chinesePrcCiAs()
{
    // LCID 0x0804; ignore case (bit 20), width (bit 22) and kana (bit 23).
    return Collation{0x00D00804, 0};
}

void writeCollation(Bytes& out, const Collation& c)
{
    putU32le(out, c.info);
    putU8(out, c.sortId);
}

Collation readCollation(Reader& r)
{
    Collation c;
    c.info = r.u32le();
    c.sortId = r.u8();
    return c;
}

bool TypeInfo::hasCollation() const
{
    return isCharType(type) || isNCharType(type);
}

bool TypeInfo::isLongText() const
{
    return type == tds_type::Text || type == tds_type::NText || type == tds_type::Image;
}

std::size_t wireTextLength(const SqlType& type, const Value& value)
{
    if (value.isNull())
        return 0;
    std::string storage;
    switch (type.base) {
    case BaseType::Char: case BaseType::VarChar: case BaseType::Text:
        return vqsql::gbkByteLength(textView(value, storage));
    case BaseType::NChar: case BaseType::NVarChar: case BaseType::NText:
        return utf16Units(textView(value, storage)) * 2;
    case BaseType::Binary: case BaseType::VarBinary: case BaseType::Image:
        return textView(value, storage).size();
    default:
        return 0;
    }
}

TypeInfo typeInfoFor(const SqlType& type, TdsVersion version, std::size_t longestValueBytes)
{
    TypeInfo t;
    auto fixed = [&](std::uint8_t wire, std::uint32_t length) {
        t.type = wire;
        t.maxLength = length;
        return t;
    };
    // Character and binary types: the declared length in bytes (at least
    // the longest value), PLP or the long type beyond 8000 bytes.
    auto sized = [&](std::uint8_t shortType, std::uint8_t longType, std::size_t declaredBytes, bool isMax) {
        const std::size_t need = std::max<std::size_t>({declaredBytes, longestValueBytes, 1});
        if (isMax || need > kMaxShortLength) {
            if (isAtLeast72(version)) {
                t.type = shortType == tds_type::BigChar ? tds_type::BigVarChar
                         : shortType == tds_type::NChar ? tds_type::NVarChar
                         : shortType == tds_type::BigBinary ? tds_type::BigVarBinary
                                                            : shortType;
                t.maxLength = kPlpMaxLength;
                t.plp = true;
            } else {
                t.type = longType;
                t.maxLength = longType == tds_type::NText ? kNTextMaxLength : kTextMaxLength;
            }
        } else {
            t.type = shortType;
            t.maxLength = static_cast<std::uint32_t>(need);
        }
        if (t.hasCollation())
            t.collation = chinesePrcCiAs();
        return t;
    };
    const bool isMax = type.length < 0;
    const std::size_t declared = type.length > 0 ? static_cast<std::size_t>(type.length) : 0;
    switch (type.base) {
    case BaseType::Bit: return fixed(tds_type::BitN, 1);
    case BaseType::TinyInt: return fixed(tds_type::IntN, 1);
    case BaseType::SmallInt: return fixed(tds_type::IntN, 2);
    case BaseType::BigInt: return fixed(tds_type::IntN, 8);
    case BaseType::Numeric: {
        t.type = tds_type::NumericN;
        t.precision = static_cast<std::uint8_t>(type.precision >= 1 && type.precision <= 38 ? type.precision : 18);
        t.scale = static_cast<std::uint8_t>(std::clamp(type.scale, 0, int(t.precision)));
        t.maxLength = decimalLength(t.precision);
        return t;
    }
    case BaseType::Money: return fixed(tds_type::MoneyN, 8);
    case BaseType::SmallMoney: return fixed(tds_type::MoneyN, 4);
    case BaseType::Float: return fixed(tds_type::FltN, 8);
    case BaseType::Real: return fixed(tds_type::FltN, 4);
    case BaseType::DateTime: return fixed(tds_type::DateTimeN, 8);
    case BaseType::SmallDateTime: return fixed(tds_type::DateTimeN, 4);
    case BaseType::UniqueIdentifier: return fixed(tds_type::Guid, 16);
    case BaseType::Char: return sized(tds_type::BigChar, tds_type::Text, declared, false);
    case BaseType::VarChar: return sized(tds_type::BigVarChar, tds_type::Text, declared, isMax);
    case BaseType::NChar: return sized(tds_type::NChar, tds_type::NText, declared * 2, false);
    case BaseType::NVarChar: return sized(tds_type::NVarChar, tds_type::NText, declared * 2, isMax);
    case BaseType::Binary: return sized(tds_type::BigBinary, tds_type::Image, declared, false);
    case BaseType::VarBinary: return sized(tds_type::BigVarBinary, tds_type::Image, declared, isMax);
    case BaseType::Text:
        t = TypeInfo{tds_type::Text, kTextMaxLength, 0, 0, chinesePrcCiAs(), false};
        return t;
    case BaseType::NText:
        t = TypeInfo{tds_type::NText, kNTextMaxLength, 0, 0, chinesePrcCiAs(), false};
        return t;
    case BaseType::Image:
        t = TypeInfo{tds_type::Image, kTextMaxLength, 0, 0, {}, false};
        return t;
    case BaseType::Int:
    default:
        // int, and the type of an untyped NULL (SELECT NULL), as SQL Server does.
        return fixed(tds_type::IntN, 4);
    }
}

TypeInfo nullableForm(const TypeInfo& info)
{
    TypeInfo t = info;
    if (auto f = fixedForm(info.type)) {
        // A NULL-typed value is typed int, as SQL Server types SELECT NULL.
        t.type = f->first == tds_type::Null ? tds_type::IntN : f->first;
        t.maxLength = f->first == tds_type::Null ? 4 : f->second;
    }
    return t;
}

SqlType sqlTypeOf(const TypeInfo& wire)
{
    // Clients send parameters in the fixed-length forms too (INT4, FLT8,
    // DATETIME ...): they stand for the same types as their N forms.
    const TypeInfo info = wire.type == tds_type::Null ? wire : nullableForm(wire);
    SqlType s;
    const auto len = [&](int divisor) {
        return info.plp ? -1 : static_cast<int>(info.maxLength) / divisor;
    };
    switch (info.type) {
    case tds_type::IntN:
        s.base = info.maxLength == 1 ? BaseType::TinyInt : info.maxLength == 2 ? BaseType::SmallInt
                 : info.maxLength == 8 ? BaseType::BigInt : BaseType::Int;
        break;
    case tds_type::BitN: s.base = BaseType::Bit; break;
    case tds_type::FltN: s.base = info.maxLength == 4 ? BaseType::Real : BaseType::Float; break;
    case tds_type::MoneyN: s.base = info.maxLength == 4 ? BaseType::SmallMoney : BaseType::Money; break;
    case tds_type::DateTimeN: s.base = info.maxLength == 4 ? BaseType::SmallDateTime : BaseType::DateTime; break;
    case tds_type::Guid: s.base = BaseType::UniqueIdentifier; break;
    case tds_type::DecimalN: case tds_type::NumericN: case tds_type::Decimal: case tds_type::Numeric:
        s.base = BaseType::Numeric;
        s.precision = info.precision;
        s.scale = info.scale;
        break;
    case tds_type::BigChar: s.base = BaseType::Char; s.length = len(1); break;
    case tds_type::BigVarChar: s.base = BaseType::VarChar; s.length = len(1); break;
    case tds_type::NChar: s.base = BaseType::NChar; s.length = len(2); break;
    case tds_type::NVarChar: s.base = BaseType::NVarChar; s.length = len(2); break;
    case tds_type::BigBinary: s.base = BaseType::Binary; s.length = len(1); break;
    case tds_type::BigVarBinary: s.base = BaseType::VarBinary; s.length = len(1); break;
    case tds_type::Text: s.base = BaseType::Text; break;
    case tds_type::NText: s.base = BaseType::NText; break;
    case tds_type::Image: s.base = BaseType::Image; break;
    case tds_type::Null: s.base = BaseType::Null; break;
    default: s.base = BaseType::Unknown; break;
    }
    return s;
}

void writeTypeInfo(Bytes& out, const TypeInfo& info)
{
    putU8(out, info.type);
    if (fixedForm(info.type))
        return;   // the fixed-length forms are the type byte alone
    switch (info.type) {
    case tds_type::IntN: case tds_type::BitN: case tds_type::FltN: case tds_type::MoneyN:
    case tds_type::DateTimeN: case tds_type::Guid:
        putU8(out, static_cast<std::uint8_t>(info.maxLength));
        return;
    case tds_type::DecimalN: case tds_type::NumericN:
        putU8(out, static_cast<std::uint8_t>(info.maxLength));
        putU8(out, info.precision);
        putU8(out, info.scale);
        return;
    case tds_type::Text: case tds_type::NText: case tds_type::Image:
        putU32le(out, info.maxLength);
        break;
    default:
        if (!isShortLengthType(info.type))
            throw ProtocolError("cannot describe wire type " + std::to_string(info.type));
        putU16le(out, info.plp ? kPlpMaxLength : static_cast<std::uint16_t>(info.maxLength));
        break;
    }
    if (info.hasCollation())
        writeCollation(out, info.collation);
}

TypeInfo readTypeInfo(Reader& r)
{
    TypeInfo t;
    t.type = r.u8();
    if (auto f = fixedForm(t.type)) {
        t.maxLength = f->second;
        return t;
    }
    switch (t.type) {
    case tds_type::IntN: case tds_type::BitN: case tds_type::FltN: case tds_type::MoneyN:
    case tds_type::DateTimeN: case tds_type::Guid:
        t.maxLength = r.u8();
        if (!validNLength(t.type, t.maxLength))
            throw ProtocolError("length " + std::to_string(t.maxLength) + " invalid for wire type " +
                                std::to_string(t.type));
        return t;
    case tds_type::DecimalN: case tds_type::NumericN: case tds_type::Decimal: case tds_type::Numeric:
        t.maxLength = r.u8();
        t.precision = r.u8();
        t.scale = r.u8();
        if (!validNLength(t.type, t.maxLength) || t.precision < 1 || t.precision > 38 || t.scale > t.precision)
            throw ProtocolError("invalid decimal type description");
        if (t.type == tds_type::Decimal)
            t.type = tds_type::DecimalN;
        if (t.type == tds_type::Numeric)
            t.type = tds_type::NumericN;
        return t;
    case tds_type::Text: case tds_type::NText: case tds_type::Image:
        t.maxLength = r.u32le();
        break;
    default:
        if (!isShortLengthType(t.type))
            throw ProtocolError("wire type " + std::to_string(t.type) + " not supported");
        t.maxLength = r.u16le();
        if (t.maxLength == kPlpMaxLength) {
            if (isFixedPadded(t.type))
                throw ProtocolError("a fixed-length type cannot be (max)");
            t.plp = true;
        } else if (t.maxLength > kMaxShortLength) {
            throw ProtocolError("length " + std::to_string(t.maxLength) + " beyond 8000 bytes");
        }
        break;
    }
    if (t.hasCollation())
        t.collation = readCollation(r);
    return t;
}

void writeValue(Bytes& out, const TypeInfo& info, const Value& value, ValueContext context)
{
    const bool null = value.isNull();
    if (auto f = fixedForm(info.type)) {
        // No length byte, so no way to say NULL except with the NULL type.
        if (f->first == tds_type::Null) {
            if (!null)
                throw ProtocolError("a value cannot be sent with the NULL type");
            return;
        }
        if (null)
            throw ProtocolError("NULL cannot be sent in a fixed-length type");
        writeFixedBody(out, f->first, f->second, info, value);
        return;
    }
    switch (info.type) {
    case tds_type::IntN: case tds_type::BitN: case tds_type::FltN: case tds_type::MoneyN:
    case tds_type::DateTimeN: case tds_type::DecimalN: case tds_type::NumericN:
        if (null) {
            putU8(out, 0);
            return;
        }
        putU8(out, static_cast<std::uint8_t>(info.maxLength));
        writeFixedBody(out, info.type, info.maxLength, info, value);
        return;
    case tds_type::Guid:
        if (null) {
            putU8(out, 0);
            return;
        }
        putU8(out, 16);
        putBytes(out, guidBytes(value));
        return;
    case tds_type::Text: case tds_type::NText: case tds_type::Image: {
        if (context == ValueContext::Parameter) {
            if (null) {
                putU32le(out, 0xFFFFFFFF);
                return;
            }
            const std::string bytes = textBytes(info.type, value);
            putU32le(out, static_cast<std::uint32_t>(bytes.size()));
            putBytes(out, bytes);
            return;
        }
        if (null) {
            putU8(out, 0);
            return;
        }
        const std::string bytes = textBytes(info.type, value);
        if (bytes.size() > info.maxLength)
            throw ProtocolError("value longer than its column");
        // A text pointer and a timestamp: clients only check that they are there.
        putU8(out, 16);
        out.insert(out.end(), 16, 0);
        out.insert(out.end(), 8, 0);
        putU32le(out, static_cast<std::uint32_t>(bytes.size()));
        putBytes(out, bytes);
        return;
    }
    default:
        break;
    }
    if (!isShortLengthType(info.type))
        throw ProtocolError("cannot write a value of wire type " + std::to_string(info.type));
    if (info.plp) {
        if (null) {
            putU64le(out, kPlpNull);
            return;
        }
        const std::string bytes = textBytes(info.type, value);
        putU64le(out, bytes.size());
        // One chunk per 2^31 bytes at most; the engine's values are far smaller.
        if (!bytes.empty()) {
            putU32le(out, static_cast<std::uint32_t>(bytes.size()));
            putBytes(out, bytes);
        }
        putU32le(out, 0);
        return;
    }
    if (null) {
        putU16le(out, 0xFFFF);
        return;
    }
    const std::size_t lengthAt = out.size();
    putU16le(out, 0);
    std::size_t length = appendTextBytes(out, info.type, value);
    if (length > info.maxLength) {
        out.resize(lengthAt);
        throw ProtocolError("value of " + std::to_string(length) + " bytes longer than its column (" +
                            std::to_string(info.maxLength) + ")");
    }
    if (isFixedPadded(info.type) && length < info.maxLength) {
        // char(n), nchar(n) and binary(n) values go out at their full length.
        if (info.type == tds_type::BigBinary) {
            out.insert(out.end(), info.maxLength - length, 0);
            length = info.maxLength;
        } else if (info.type == tds_type::NChar) {
            for (; length + 2 <= info.maxLength; length += 2)
                putU16le(out, ' ');
        } else {
            out.insert(out.end(), info.maxLength - length, ' ');
            length = info.maxLength;
        }
    }
    patchU16le(out, lengthAt, static_cast<std::uint16_t>(length));
}

Value readValue(Reader& r, const TypeInfo& info, ValueContext context)
{
    if (auto f = fixedForm(info.type)) {
        if (f->first == tds_type::Null)
            return Value::null();
        return readFixedBody(r, f->first, f->second, info);
    }
    switch (info.type) {
    case tds_type::IntN: case tds_type::BitN: case tds_type::FltN: case tds_type::MoneyN:
    case tds_type::DateTimeN: case tds_type::DecimalN: case tds_type::NumericN: {
        const std::uint8_t length = r.u8();
        if (length == 0)
            return Value::null();
        if (!validNLength(info.type, length) || length > info.maxLength)
            throw ProtocolError("value length " + std::to_string(length) + " invalid for its type");
        return readFixedBody(r, info.type, length, info);
    }
    case tds_type::Guid: {
        const std::uint8_t length = r.u8();
        if (length == 0)
            return Value::null();
        if (length != 16)
            throw ProtocolError("uniqueidentifier value of length " + std::to_string(length));
        return Value::fromText(guidText(r.take(16)));
    }
    case tds_type::Text: case tds_type::NText: case tds_type::Image: {
        if (context == ValueContext::Row) {
            const std::uint8_t pointerLength = r.u8();
            if (pointerLength == 0)
                return Value::null();
            r.skip(pointerLength);
            r.skip(8);   // timestamp
        }
        const std::uint32_t length = r.u32le();
        if (context == ValueContext::Parameter && length == 0xFFFFFFFF)
            return Value::null();
        // A row's value never exceeds its column's length; a parameter's
        // may: clients declare text/ntext/image parameters with lengths
        // counted in characters, or not at all.
        if (context == ValueContext::Row && length > info.maxLength)
            throw ProtocolError("value longer than its type");
        return textValue(info.type, r.take(length));
    }
    default:
        break;
    }
    if (!isShortLengthType(info.type))
        throw ProtocolError("cannot read a value of wire type " + std::to_string(info.type));
    if (info.plp) {
        Bytes storage;
        bool isNull = false;
        const ByteView bytes = readPlp(r, storage, isNull);
        if (isNull)
            return Value::null();
        return textValue(info.type, bytes);
    }
    const std::uint16_t length = r.u16le();
    if (length == 0xFFFF)
        return Value::null();
    if (length > info.maxLength)
        throw ProtocolError("value of " + std::to_string(length) + " bytes longer than its type");
    return textValue(info.type, r.take(length));
}

DateTimeParts dateTimeToParts(const std::string& text)
{
    Bytes out;
    TypeInfo t{tds_type::DateTimeN, 8, 0, 0, {}, false};
    writeFixedBody(out, tds_type::DateTimeN, 8, t, Value::fromDateTime(text));
    Reader r(out);
    DateTimeParts p;
    p.days = static_cast<std::int32_t>(r.u32le());
    p.ticks = r.u32le();
    return p;
}

std::string partsToDateTime(DateTimeParts parts)
{
    Bytes in;
    putU32le(in, static_cast<std::uint32_t>(parts.days));
    putU32le(in, parts.ticks);
    Reader r(in);
    TypeInfo t{tds_type::DateTimeN, 8, 0, 0, {}, false};
    return readFixedBody(r, tds_type::DateTimeN, 8, t).text;
}

}  // namespace vqtds
