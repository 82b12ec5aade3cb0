// The SQLite functions and the vq_ci collation through which translated
// Transact-SQL gets SQL Server's semantics: operators whose meaning depends
// on run-time types, string functions counting characters, CAST/CONVERT
// with SQL Server's errors, and date-time functions on the stored text form.
// See functions.h for the list of names and their argument orders.
#include "functions.h"

#include "datetime.h"
#include "gbk.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>

namespace vqsql {

std::string makeEngineError(int number, const std::string& message) {
    return "\x01VQ" + std::to_string(number) + ":" + message;
}

bool parseEngineError(const std::string& text, int& number, std::string& message) {
    std::size_t at = text.find("\x01VQ");
    if (at == std::string::npos) return false;
    const char* p = text.data() + at + 3;
    const char* end = text.data() + text.size();
    int n = 0;
    auto r = std::from_chars(p, end, n);
    if (r.ec != std::errc() || r.ptr == end || *r.ptr != ':') return false;
    number = n;
    message.assign(r.ptr + 1, end);
    return true;
}

namespace {

using u8 = unsigned char;

// ---------------------------------------------------------------- helpers

void fail(sqlite3_context* ctx, int number, const std::string& message) {
    std::string t = makeEngineError(number, message);
    sqlite3_result_error(ctx, t.c_str(), static_cast<int>(t.size()));
}

bool isNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

bool anyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (isNull(argv[i])) return true;
    return false;
}

void resultText(sqlite3_context* ctx, std::string_view s) {
    // A null pointer would make the result NULL instead of ''.
    sqlite3_result_text64(ctx, s.data() ? s.data() : "", s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void resultText(sqlite3_context* ctx, const u8* b, const u8* e) {
    resultText(ctx, std::string_view(reinterpret_cast<const char*>(b), static_cast<std::size_t>(e - b)));
}

// Shortest text of a double with up to 15 significant digits ("2.5",
// "1e+20"), independent of the process locale.
std::string_view formatReal(double d, char* buf, std::size_t size) {
    auto r = std::to_chars(buf, buf + size, d, std::chars_format::general, 15);
    return std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
}

// A value's text as SQL Server shows it after converting to varchar:
// integers plainly, reals as formatReal, texts and blobs as they are.
struct TextOf {
    char buf[48];
    std::string_view view;
    bool blob = false;

    explicit TextOf(sqlite3_value* v) {
        switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER: {
            auto r = std::to_chars(buf, buf + sizeof buf, sqlite3_value_int64(v));
            view = std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
            break;
        }
        case SQLITE_FLOAT: view = formatReal(sqlite3_value_double(v), buf, sizeof buf); break;
        case SQLITE_TEXT: {
            auto t = reinterpret_cast<const char*>(sqlite3_value_text(v));
            view = std::string_view(t ? t : "", static_cast<std::size_t>(sqlite3_value_bytes(v)));
            break;
        }
        case SQLITE_BLOB: {
            auto b = static_cast<const char*>(sqlite3_value_blob(v));
            view = std::string_view(b ? b : "", static_cast<std::size_t>(sqlite3_value_bytes(v)));
            blob = true;
            break;
        }
        default: break;
        }
    }
    const u8* begin() const { return reinterpret_cast<const u8*>(view.data()); }
    const u8* end() const { return begin() + view.size(); }
};

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

enum class IntParse { Ok, Bad, Overflow };

// Text -> integer as CAST(text AS int) reads it: blanks around, optional
// sign, digits only; an empty or blank text is 0.
IntParse parseInt64(std::string_view t, std::int64_t& out) {
    t = trimSpaces(t);
    if (t.empty()) {
        out = 0;
        return IntParse::Ok;
    }
    bool neg = false;
    if (t.front() == '+' || t.front() == '-') {
        neg = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty()) return IntParse::Bad;
    const std::uint64_t limit = std::uint64_t{1} << 63;  // |INT64_MIN|
    std::uint64_t v = 0;
    bool over = false;
    for (char c : t) {
        if (!isDigit(c)) return IntParse::Bad;
        auto digit = static_cast<std::uint64_t>(c - '0');
        if (over || v > (limit - digit) / 10)
            over = true;
        else
            v = v * 10 + digit;
    }
    if (over || (!neg && v == limit)) return IntParse::Overflow;
    out = neg ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
    return IntParse::Ok;
}

// Text -> double as CAST(text AS float) reads it: blanks around, optional
// sign, digits with an optional point and exponent; blank text is 0.
bool parseDouble(std::string_view t, double& out) {
    t = trimSpaces(t);
    if (t.empty()) {
        out = 0;
        return true;
    }
    bool neg = false;
    if (t.front() == '+' || t.front() == '-') {
        neg = t.front() == '-';
        t.remove_prefix(1);
    }
    std::size_t i = 0, mant = 0;
    while (i < t.size() && isDigit(t[i])) ++i, ++mant;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i])) ++i, ++mant;
    }
    if (mant == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t ed = 0;
        while (i < t.size() && isDigit(t[i])) ++i, ++ed;
        if (ed == 0) return false;
    }
    if (i != t.size()) return false;
    double v = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec == std::errc::result_out_of_range) return false;
    if (r.ec != std::errc() || !std::isfinite(v)) return false;
    out = neg ? -v : v;
    return true;
}

// An exact decimal: value = 0.d1 d2 d3 ... x 10^exponent, so `exponent`
// is the number of digits before the decimal point. Zero has no digits.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    void normalize() {
        std::size_t lead = 0;
        while (lead < digits.size() && digits[lead] == '0') ++lead;
        digits.erase(0, lead);
        exponent -= static_cast<int>(lead);
        while (!digits.empty() && digits.back() == '0') digits.pop_back();
        if (digits.empty()) {
            exponent = 0;
            negative = false;
        }
    }
    int integerDigits() const { return digits.empty() ? 0 : std::max(exponent, 0); }
};

// The decimal a double stands for, read from its 15 significant digits
// (2.675 -> 2.675, not 2.67499999999999982236431605997495353221893310546875).
Decimal decimalFromDouble(double v) {
    Decimal d;
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
    if (!s.empty() && s.front() == '-') {
        d.negative = true;
        s.remove_prefix(1);
    }
    std::size_t e = s.find('e');
    for (std::size_t i = 0; i < e; ++i)
        if (isDigit(s[i])) d.digits += s[i];
    int exp10 = 0;
    std::string_view es = s.substr(e + 1);
    if (!es.empty() && es.front() == '+') es.remove_prefix(1);
    std::from_chars(es.data(), es.data() + es.size(), exp10);
    d.exponent = exp10 + 1;
    d.normalize();
    return d;
}

Decimal decimalFromInt(std::int64_t v) {
    Decimal d;
    d.negative = v < 0;
    std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    d.digits = std::to_string(u);
    d.exponent = static_cast<int>(d.digits.size());
    d.normalize();
    return d;
}

// Text -> decimal as CAST(text AS numeric) reads it: blanks around,
// optional sign, digits with an optional point; no exponent.
bool parseDecimal(std::string_view t, Decimal& d) {
    t = trimSpaces(t);
    d = Decimal{};
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        d.negative = t.front() == '-';
        t.remove_prefix(1);
    }
    bool seenPoint = false, seenDigit = false;
    for (char c : t) {
        if (isDigit(c)) {
            d.digits += c;
            if (!seenPoint) ++d.exponent;
            seenDigit = true;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            return false;
        }
    }
    if (!seenDigit) return false;
    d.normalize();
    return true;
}

// Rounds half away from zero (or truncates) to `places` decimals; places
// may be negative (round to tens, hundreds ...).
void roundDecimal(Decimal& d, int places, bool truncate) {
    if (d.digits.empty()) return;
    long keep = static_cast<long>(d.exponent) + places;
    if (keep >= static_cast<long>(d.digits.size())) return;
    bool up = !truncate && keep >= 0 && d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(std::max(keep, 0L)));
    if (up) {
        long i = static_cast<long>(d.digits.size()) - 1;
        while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9') d.digits[static_cast<std::size_t>(i--)] = '0';
        if (i >= 0) {
            ++d.digits[static_cast<std::size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    d.normalize();
}

double decimalToDouble(const Decimal& d) {
    if (d.digits.empty()) return 0.0;
    std::string s = d.digits + "e" + std::to_string(d.exponent - static_cast<int>(d.digits.size()));
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return d.negative ? -v : v;
}

// The integer value of a decimal without fraction; false when it does not
// fit 64 bits or has a fraction.
bool decimalToInt(const Decimal& d, std::int64_t& out) {
    if (d.digits.empty()) {
        out = 0;
        return true;
    }
    if (d.exponent < static_cast<int>(d.digits.size()) || d.exponent > 19) return false;
    std::string s = d.digits + std::string(static_cast<std::size_t>(d.exponent) - d.digits.size(), '0');
    if (d.negative) s.insert(s.begin(), '-');
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc();
}

// Fixed-point text with exactly `scale` decimals (d already rounded).
std::string decimalToFixed(const Decimal& d, int scale) {
    std::string s;
    if (d.negative) s += '-';
    int n = static_cast<int>(d.digits.size());
    auto digitAt = [&](int k) { return (k >= 0 && k < n) ? d.digits[static_cast<std::size_t>(k)] : '0'; };
    if (d.exponent <= 0)
        s += '0';
    else
        for (int k = 0; k < d.exponent; ++k) s += digitAt(k);
    if (scale > 0) {
        s += '.';
        for (int k = 0; k < scale; ++k) s += digitAt(d.exponent + k);
    }
    return s;
}

// A numeric operand: integer or real.
struct Num {
    bool isInt = true;
    std::int64_t i = 0;
    double d = 0;
    double real() const { return isInt ? static_cast<double>(i) : d; }
};

std::string conversionFailed(std::string_view text, const char* type) {
    return "Conversion failed when converting the varchar value '" + std::string(text) + "' to data type " + type +
           ".";
}

// Converts a TEXT operand facing a number of the other operand's kind:
// to an integer facing an INTEGER (error 245), to a real facing a REAL
// (error 8114). Returns false after reporting the error.
bool textToNum(sqlite3_context* ctx, sqlite3_value* text, bool wantInt, Num& out) {
    TextOf t(text);
    if (wantInt) {
        out.isInt = true;
        if (parseInt64(t.view, out.i) != IntParse::Ok) {
            fail(ctx, 245, conversionFailed(t.view, "int"));
            return false;
        }
        return true;
    }
    out.isInt = false;
    if (!parseDouble(t.view, out.d)) {
        fail(ctx, 8114, "Error converting data type varchar to numeric.");
        return false;
    }
    return true;
}

Num numOf(sqlite3_value* v) {
    Num n;
    if (sqlite3_value_type(v) == SQLITE_INTEGER) {
        n.i = sqlite3_value_int64(v);
    } else {
        n.isInt = false;
        n.d = sqlite3_value_double(v);
    }
    return n;
}

bool isNumber(int type) { return type == SQLITE_INTEGER || type == SQLITE_FLOAT; }

// Resolves the operands of an arithmetic operator to numbers: a text
// facing a number converts to that number's kind. `op` names the operator
// in the error for operand types that cannot take part ("divide").
bool arithmeticOperands(sqlite3_context* ctx, sqlite3_value* a, sqlite3_value* b, const char* op, Num& x, Num& y) {
    int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
    if (!isNumber(ta) && !isNumber(tb)) {
        const char* type = (ta == SQLITE_BLOB || tb == SQLITE_BLOB) ? "varbinary" : "varchar";
        fail(ctx, 8117, std::string("Operand data type ") + type + " is invalid for " + op + " operator.");
        return false;
    }
    if (isNumber(ta)) {
        x = numOf(a);
    } else if (ta == SQLITE_TEXT) {
        if (!textToNum(ctx, a, tb == SQLITE_INTEGER, x)) return false;
    } else {
        fail(ctx, 8117, std::string("Operand data type varbinary is invalid for ") + op + " operator.");
        return false;
    }
    if (isNumber(tb)) {
        y = numOf(b);
    } else if (tb == SQLITE_TEXT) {
        if (!textToNum(ctx, b, ta == SQLITE_INTEGER, y)) return false;
    } else {
        fail(ctx, 8117, std::string("Operand data type varbinary is invalid for ") + op + " operator.");
        return false;
    }
    return true;
}

const char* const kBigintOverflow = "Arithmetic overflow error converting expression to data type bigint.";

// Byte offset just after the first n characters (or the end).
const u8* skipChars(const u8* p, const u8* end, std::int64_t n) {
    while (n > 0 && p < end) {
        if (*p < 0x80)
            ++p;
        else
            decodeUtf8(p, end);
        --n;
    }
    return p;
}

bool sameCi(char32_t a, char32_t b) { return a == b || foldUpper(a) == foldUpper(b); }

// Does `find` occur (case-insensitively) at p? On success *matchEnd is the
// end of the match in the searched text.
bool matchesAt(const u8* p, const u8* end, const u8* f, const u8* fend, const u8** matchEnd) {
    while (f < fend) {
        if (p >= end) return false;
        if ((*p | *f) < 0x80) {
            u8 a = *p++, b = *f++;
            if (a != b && !((a | 0x20) == (b | 0x20) && (a | 0x20) >= 'a' && (a | 0x20) <= 'z')) return false;
        } else if (!sameCi(decodeUtf8(p, end), decodeUtf8(f, fend))) {
            return false;
        }
    }
    *matchEnd = p;
    return true;
}

std::int64_t argInt(sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_FLOAT) {
        double d = std::trunc(sqlite3_value_double(v));
        if (d >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
        if (d <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(d);
    }
    return sqlite3_value_int64(v);
}

const char* const kLobTooLarge = "Attempting to grow LOB beyond maximum allowed size of 2147483647 bytes.";

// Allocates a result buffer; reports "too big" and returns null when n
// exceeds the connection's length limit.
char* resultBuffer(sqlite3_context* ctx, std::uint64_t n) {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    if (n > static_cast<std::uint64_t>(sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1))) {
        fail(ctx, 7119, kLobTooLarge);
        return nullptr;
    }
    auto p = static_cast<char*>(sqlite3_malloc64(n + 1));
    if (!p) sqlite3_result_error_nomem(ctx);
    return p;
}

void resultOwnedText(sqlite3_context* ctx, char* p, std::uint64_t n, bool blob) {
    if (blob)
        sqlite3_result_blob64(ctx, p, n, sqlite3_free);
    else
        sqlite3_result_text64(ctx, p, n, sqlite3_free, SQLITE_UTF8);
}

// ------------------------------------------------------------- collation

int collateCi(void*, int na, const void* a, int nb, const void* b) {
    return compareCi(static_cast<const u8*>(a), static_cast<std::size_t>(na), static_cast<const u8*>(b),
                     static_cast<std::size_t>(nb));
}

// ------------------------------------------------------------------ LIKE

inline char32_t nextChar(const u8*& p, const u8* end) {
    if (*p < 0x80) return *p++;
    return decodeUtf8(p, end);
}

inline bool likeCharEq(char32_t a, char32_t b) {
    if (a == b) return true;
    if ((a | b) < 0x80) {
        return (a | 0x20) == (b | 0x20) && (a | 0x20) >= 'a' && (a | 0x20) <= 'z';
    }
    return foldUpper(a) == foldUpper(b);
}

// Matches c against the set whose text starts after '[' at p; returns
// false in *ok when there is no closing ']'. On success p is moved past
// the ']'. Ranges compare by vq_ci sort key, so [a-c] also matches 'B'.
bool likeSet(const u8*& p, const u8* end, char32_t c, bool* ok) {
    const u8* q = p;
    bool negate = false;
    if (q < end && *q == '^') {
        negate = true;
        ++q;
    }
    bool found = false;
    std::uint32_t key = collationKey(c);
    char32_t prev = 0;
    bool havePrev = false;
    while (q < end && *q != ']') {
        char32_t e = nextChar(q, end);
        if (e == '-' && havePrev && q < end && *q != ']') {
            char32_t hi = nextChar(q, end);
            if (key >= collationKey(prev) && key <= collationKey(hi)) found = true;
            havePrev = false;
            continue;
        }
        if (likeCharEq(c, e)) found = true;
        prev = e;
        havePrev = true;
    }
    if (q >= end) {
        *ok = false;
        return false;
    }
    *ok = true;
    p = q + 1;
    return found != negate;
}

// SQL Server LIKE on UTF-8 code points: % any run, _ one character,
// [set] / [^set] / [a-z], esc (or -1) makes the next character literal.
// Iterative, backtracking only to the last '%'.
bool likeMatch(const u8* p, const u8* pe, const u8* v, const u8* ve, std::int64_t esc) {
    const u8* starP = nullptr;
    const u8* starV = nullptr;
    for (;;) {
        if (p < pe) {
            char32_t pc = nextChar(p, pe);
            if (static_cast<std::int64_t>(pc) == esc) {
                if (p < pe) {
                    char32_t lit = nextChar(p, pe);
                    if (v < ve && likeCharEq(nextChar(v, ve), lit)) continue;
                }
            } else if (pc == '%') {
                while (p < pe && *p == '%') ++p;
                if (p >= pe) return true;
                starP = p;
                starV = v;
                continue;
            } else if (pc == '_') {
                if (v < ve) {
                    nextChar(v, ve);
                    continue;
                }
            } else if (pc == '[') {
                if (v < ve) {
                    const u8* save = v;
                    char32_t c = nextChar(v, ve);
                    bool ok;
                    const u8* q = p;
                    bool in = likeSet(q, pe, c, &ok);
                    if (ok) {
                        if (in) {
                            p = q;
                            continue;
                        }
                    } else {
                        v = save;  // no closing ']': the '[' is literal
                        if (likeCharEq(nextChar(v, ve), '[')) continue;
                    }
                }
            } else if (v < ve && likeCharEq(nextChar(v, ve), pc)) {
                continue;
            }
        } else if (v >= ve) {
            return true;
        }
        // Mismatch: let the last '%' swallow one more character.
        if (!starP || starV >= ve) return false;
        nextChar(starV, ve);
        v = starV;
        p = starP;
    }
}

void fnLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t esc = -1;
    if (argc == 3) {
        TextOf e(argv[2]);
        const u8* p = e.begin();
        if (p == e.end() || (nextChar(p, e.end()), p != e.end())) {
            return fail(ctx, 506,
                        "The invalid escape character \"" + std::string(e.view) +
                            "\" was specified in a LIKE predicate.");
        }
        p = e.begin();
        esc = static_cast<std::int64_t>(nextChar(p, e.end()));
    }
    TextOf pat(argv[0]), val(argv[1]);
    // Blanks at the end of the tested text are ignored ('abc  ' LIKE 'abc'),
    // blanks at the end of the pattern are not.
    bool match = likeMatch(pat.begin(), pat.end(), val.begin(), val.end(), esc);
    if (!match) {
        const u8* end = val.end();
        while (end > val.begin() && end[-1] == ' ') --end;
        if (end != val.end()) match = likeMatch(pat.begin(), pat.end(), val.begin(), end, esc);
    }
    sqlite3_result_int(ctx, match ? 1 : 0);
}

// ------------------------------------------------------------ operators

void fnAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* a = argv[0];
    sqlite3_value* b = argv[1];
    int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
    if (ta == SQLITE_NULL || tb == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) {
        std::int64_t r;
        if (__builtin_add_overflow(sqlite3_value_int64(a), sqlite3_value_int64(b), &r))
            return fail(ctx, 8115, kBigintOverflow);
        return sqlite3_result_int64(ctx, r);
    }
    if (isNumber(ta) && isNumber(tb))
        return sqlite3_result_double(ctx, sqlite3_value_double(a) + sqlite3_value_double(b));
    if (!isNumber(ta) && !isNumber(tb)) {  // text and/or bytes: concatenation
        bool blob = ta == SQLITE_BLOB && tb == SQLITE_BLOB;
        const void* pa = blob ? sqlite3_value_blob(a) : sqlite3_value_text(a);
        auto na = static_cast<std::uint64_t>(sqlite3_value_bytes(a));
        const void* pb = blob ? sqlite3_value_blob(b) : sqlite3_value_text(b);
        auto nb = static_cast<std::uint64_t>(sqlite3_value_bytes(b));
        char* out = resultBuffer(ctx, na + nb);
        if (!out) return;
        if (na) std::memcpy(out, pa, na);
        if (nb) std::memcpy(out + na, pb, nb);
        out[na + nb] = '\0';
        return resultOwnedText(ctx, out, na + nb, blob);
    }
    Num x, y;
    if (!arithmeticOperands(ctx, a, b, "add", x, y)) return;
    if (x.isInt && y.isInt) {
        std::int64_t r;
        if (__builtin_add_overflow(x.i, y.i, &r)) return fail(ctx, 8115, kBigintOverflow);
        return sqlite3_result_int64(ctx, r);
    }
    sqlite3_result_double(ctx, x.real() + y.real());
}

// '/' and '%' share the operand rules; `modulo` selects the operator.
void divideOrModulo(sqlite3_context* ctx, sqlite3_value** argv, bool modulo) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    Num x, y;
    if (!arithmeticOperands(ctx, argv[0], argv[1], modulo ? "modulo" : "divide", x, y)) return;
    if (x.isInt && y.isInt) {
        if (y.i == 0) return fail(ctx, 8134, "Divide by zero error encountered.");
        if (y.i == -1) {
            if (modulo) return sqlite3_result_int64(ctx, 0);
            if (x.i == std::numeric_limits<std::int64_t>::min()) return fail(ctx, 8115, kBigintOverflow);
        }
        return sqlite3_result_int64(ctx, modulo ? x.i % y.i : x.i / y.i);
    }
    if (y.real() == 0.0) return fail(ctx, 8134, "Divide by zero error encountered.");
    sqlite3_result_double(ctx, modulo ? std::fmod(x.real(), y.real()) : x.real() / y.real());
}

void fnDiv(sqlite3_context* ctx, int, sqlite3_value** argv) { divideOrModulo(ctx, argv, false); }
void fnMod(sqlite3_context* ctx, int, sqlite3_value** argv) { divideOrModulo(ctx, argv, true); }

// ---------------------------------------------------------------- strings

void fnLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    if (t.blob) return sqlite3_result_int64(ctx, static_cast<std::int64_t>(t.view.size()));
    std::string_view s = t.view;
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(utf8Length(s)));
}

void fnDataLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL: return sqlite3_result_null(ctx);
    case SQLITE_INTEGER: {
        std::int64_t i = sqlite3_value_int64(v);
        return sqlite3_result_int(ctx, (i >= INT32_MIN && i <= INT32_MAX) ? 4 : 8);
    }
    case SQLITE_FLOAT: return sqlite3_result_int(ctx, 8);
    case SQLITE_BLOB: return sqlite3_result_int(ctx, sqlite3_value_bytes(v));
    default: {
        TextOf t(v);
        sqlite3_result_int64(ctx, static_cast<std::int64_t>(gbkByteLength(t.view)));
    }
    }
}

void fnGbkLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    std::size_t n = t.blob ? t.view.size() : gbkByteLength(t.view);
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(n));
}

// Characters [from, to) of a text (1-based; from may be below 1), or
// bytes of a blob.
void resultSlice(sqlite3_context* ctx, const TextOf& t, std::int64_t from, std::int64_t to) {
    from = std::max<std::int64_t>(from, 1);
    if (to <= from) {
        if (t.blob) return sqlite3_result_zeroblob(ctx, 0);
        return resultText(ctx, std::string_view());
    }
    if (t.blob) {
        auto n = static_cast<std::int64_t>(t.view.size());
        std::int64_t b = std::min(from - 1, n), e = std::min(to - 1, n);
        return sqlite3_result_blob64(ctx, t.view.data() + b, static_cast<std::uint64_t>(e - b), SQLITE_TRANSIENT);
    }
    const u8* b = skipChars(t.begin(), t.end(), from - 1);
    const u8* e = skipChars(b, t.end(), to - from);
    resultText(ctx, b, e);
}

void fnSubstring(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t start = argInt(argv[1]), length = argInt(argv[2]);
    if (length < 0) return fail(ctx, 537, "Invalid length parameter passed to the substring function.");
    TextOf t(argv[0]);
    std::int64_t to;
    if (__builtin_add_overflow(start, length, &to)) to = std::numeric_limits<std::int64_t>::max();
    resultSlice(ctx, t, start, to);
}

void fnLeft(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = argInt(argv[1]);
    if (n < 0) return fail(ctx, 536, "Invalid length parameter passed to the left function.");
    TextOf t(argv[0]);
    resultSlice(ctx, t, 1, n == std::numeric_limits<std::int64_t>::max() ? n : n + 1);
}

void fnRight(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = argInt(argv[1]);
    if (n < 0) return fail(ctx, 536, "Invalid length parameter passed to the right function.");
    TextOf t(argv[0]);
    auto total = static_cast<std::int64_t>(t.blob ? t.view.size() : utf8Length(t.view));
    if (n >= total) return resultSlice(ctx, t, 1, total + 1);
    resultSlice(ctx, t, total - n + 1, total + 1);
}

// Repeats [p, p+n) count times into a new result.
void resultRepeated(sqlite3_context* ctx, const char* p, std::uint64_t n, std::int64_t count, bool blob) {
    std::uint64_t total;
    if (__builtin_mul_overflow(n, static_cast<std::uint64_t>(count), &total)) return fail(ctx, 7119, kLobTooLarge);
    char* out = resultBuffer(ctx, total);
    if (!out) return;
    for (std::int64_t i = 0; i < count; ++i) std::memcpy(out + static_cast<std::uint64_t>(i) * n, p, n);
    out[total] = '\0';
    resultOwnedText(ctx, out, total, blob);
}

// Size of a text as a limit counts it: GBK bytes (limit > 0, varchar),
// characters (limit < 0, nvarchar), bytes of a blob.
std::int64_t limitedSize(const TextOf& t, std::int64_t limit) {
    if (t.blob) return static_cast<std::int64_t>(t.view.size());
    return static_cast<std::int64_t>(limit < 0 ? utf8Length(t.view) : gbkByteLength(t.view));
}

// The longest prefix of t that fits `room` units as limitedSize counts them.
std::string_view prefixWithin(const TextOf& t, std::int64_t room, bool characters) {
    if (t.blob) return t.view.substr(0, static_cast<std::size_t>(std::max<std::int64_t>(room, 0)));
    const u8* p = t.begin();
    while (p < t.end()) {
        const u8* next = p;
        int width = characters ? 1 : gbkCharLength(decodeUtf8(next, t.end()));
        if (characters) decodeUtf8(next, t.end());
        if (width > room) break;
        room -= width;
        p = next;
    }
    return std::string_view(t.view.data(), static_cast<std::size_t>(p - t.begin()));
}

// REPLICATE(s, n[, limit]): a non-max argument gives at most 8000 bytes
// (4000 characters for nvarchar), as SQL Server cuts it; the translator
// passes that limit (see limitedSize), so no more is ever allocated.
void fnReplicate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t n = argInt(argv[1]);
    if (n < 0) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    std::int64_t limit = argc > 2 ? argInt(argv[2]) : 0;
    if (limit == 0 || t.view.empty()) return resultRepeated(ctx, t.view.data(), t.view.size(), n, t.blob);
    const std::int64_t room = limit < 0 ? -limit : limit;
    const std::int64_t unit = limitedSize(t, limit);
    const std::int64_t whole = std::min(n, room / unit);
    std::string out;
    out.reserve(static_cast<std::size_t>(whole) * t.view.size() + t.view.size());
    for (std::int64_t i = 0; i < whole; ++i) out.append(t.view);
    if (whole < n) out.append(prefixWithin(t, room - whole * unit, limit < 0));
    if (t.blob) return sqlite3_result_blob64(ctx, out.data(), out.size(), SQLITE_TRANSIENT);
    resultText(ctx, out);
}

// SPACE(n) is a varchar of at most 8000 blanks.
void fnSpace(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    std::int64_t n = argInt(argv[0]);
    if (n < 0) return sqlite3_result_null(ctx);
    resultRepeated(ctx, " ", 1, std::min<std::int64_t>(n, 8000), false);
}

void fnCharIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    TextOf find(argv[0]), s(argv[1]);
    std::int64_t start = argc == 3 ? std::max<std::int64_t>(argInt(argv[2]), 1) : 1;
    if (find.view.empty()) return sqlite3_result_int(ctx, 0);
    const u8* p = skipChars(s.begin(), s.end(), start - 1);
    std::int64_t pos = start;
    while (p < s.end()) {
        const u8* m;
        if (matchesAt(p, s.end(), find.begin(), find.end(), &m)) return sqlite3_result_int64(ctx, pos);
        nextChar(p, s.end());
        ++pos;
    }
    sqlite3_result_int(ctx, 0);
}

void fnLtrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    std::string_view s = t.view;
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    resultText(ctx, s);
}

void fnRtrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    std::string_view s = t.view;
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    resultText(ctx, s);
}

// Maps every code point of a text with `map` (upper or lower case).
void resultMapped(sqlite3_context* ctx, sqlite3_value* v, char32_t (*map)(char32_t)) {
    if (isNull(v)) return sqlite3_result_null(ctx);
    TextOf t(v);
    std::string out;
    out.reserve(t.view.size());
    const u8* p = t.begin();
    while (p < t.end()) {
        char buf[4];
        int n = encodeUtf8(map(nextChar(p, t.end())), buf);
        out.append(buf, static_cast<std::size_t>(n));
    }
    resultText(ctx, out);
}

void fnUpper(sqlite3_context* ctx, int, sqlite3_value** argv) { resultMapped(ctx, argv[0], foldUpper); }
void fnLower(sqlite3_context* ctx, int, sqlite3_value** argv) { resultMapped(ctx, argv[0], foldLower); }

void fnReplace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    TextOf s(argv[0]), f(argv[1]), r(argv[2]);
    if (f.view.empty()) return resultText(ctx, s.view);
    std::string out;
    out.reserve(s.view.size());
    const u8* p = s.begin();
    const u8* copied = p;
    while (p < s.end()) {
        const u8* m;
        if (matchesAt(p, s.end(), f.begin(), f.end(), &m)) {
            out.append(reinterpret_cast<const char*>(copied), static_cast<std::size_t>(p - copied));
            out.append(r.view);
            p = copied = m;
        } else {
            nextChar(p, s.end());
        }
    }
    out.append(reinterpret_cast<const char*>(copied), static_cast<std::size_t>(p - copied));
    resultText(ctx, out);
}

void fnStuff(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1]) || isNull(argv[2])) return sqlite3_result_null(ctx);
    TextOf s(argv[0]);
    std::int64_t start = argInt(argv[1]), n = argInt(argv[2]);
    auto total = static_cast<std::int64_t>(utf8Length(s.view));
    if (start < 1 || start > total || n < 0) return sqlite3_result_null(ctx);
    const u8* cut = skipChars(s.begin(), s.end(), start - 1);
    const u8* rest = skipChars(cut, s.end(), n);
    std::string out(reinterpret_cast<const char*>(s.begin()), static_cast<std::size_t>(cut - s.begin()));
    if (!isNull(argv[3])) out.append(TextOf(argv[3]).view);
    out.append(reinterpret_cast<const char*>(rest), static_cast<std::size_t>(s.end() - rest));
    resultText(ctx, out);
}

void fnReverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    std::string out(t.view.size(), '\0');
    if (t.blob) {
        std::reverse_copy(t.view.begin(), t.view.end(), out.begin());
        return sqlite3_result_blob64(ctx, out.data(), out.size(), SQLITE_TRANSIENT);
    }
    std::size_t w = out.size();
    const u8* p = t.begin();
    while (p < t.end()) {
        const u8* b = p;
        nextChar(p, t.end());
        auto n = static_cast<std::size_t>(p - b);
        w -= n;
        std::memcpy(&out[w], b, n);
    }
    resultText(ctx, out);
}

void fnChar(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    std::int64_t n = argInt(argv[0]);
    if (n < 0 || n > 127) return sqlite3_result_null(ctx);
    char c = static_cast<char>(n);
    resultText(ctx, std::string_view(&c, 1));
}

void fnAscii(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    if (t.view.empty()) return sqlite3_result_null(ctx);
    if (t.blob || t.begin()[0] < 0x80) return sqlite3_result_int(ctx, t.begin()[0]);
    const u8* p = t.begin();
    nextChar(p, t.end());
    std::string g = utf8ToGbk(std::string_view(t.view.data(), static_cast<std::size_t>(p - t.begin())));
    sqlite3_result_int(ctx, g.empty() ? '?' : static_cast<u8>(g[0]));
}

// ---------------------------------------------------------------- numbers

// A numeric argument for the math functions: texts convert as to float.
bool mathArg(sqlite3_context* ctx, sqlite3_value* v, Num& out) {
    int t = sqlite3_value_type(v);
    if (isNumber(t)) {
        out = numOf(v);
        return true;
    }
    TextOf text(v);
    out.isInt = false;
    if (t == SQLITE_TEXT && parseDouble(text.view, out.d)) return true;
    fail(ctx, 8114, std::string("Error converting data type ") + (t == SQLITE_BLOB ? "varbinary" : "varchar") +
                        " to float.");
    return false;
}

void fnRound(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    Num x;
    if (!mathArg(ctx, argv[0], x)) return;
    std::int64_t places64 = argInt(argv[1]);
    int places = static_cast<int>(std::clamp<std::int64_t>(places64, -400, 400));
    bool truncate = argc == 3 && !isNull(argv[2]) && sqlite3_value_double(argv[2]) != 0.0;
    if (x.isInt) {
        if (places >= 0) return sqlite3_result_int64(ctx, x.i);
        Decimal d = decimalFromInt(x.i);
        roundDecimal(d, places, truncate);
        std::int64_t r;
        if (!decimalToInt(d, r)) return fail(ctx, 8115, kBigintOverflow);
        return sqlite3_result_int64(ctx, r);
    }
    if (!std::isfinite(x.d)) return sqlite3_result_double(ctx, x.d);
    Decimal d = decimalFromDouble(x.d);
    roundDecimal(d, places, truncate);
    sqlite3_result_double(ctx, decimalToDouble(d));
}

// floor / ceiling: integers unchanged, reals rounded by `op`.
void roundingFunction(sqlite3_context* ctx, sqlite3_value* v, double (*op)(double)) {
    if (isNull(v)) return sqlite3_result_null(ctx);
    Num x;
    if (!mathArg(ctx, v, x)) return;
    if (x.isInt) return sqlite3_result_int64(ctx, x.i);
    sqlite3_result_double(ctx, op(x.d));
}

void fnFloor(sqlite3_context* ctx, int, sqlite3_value** argv) {
    roundingFunction(ctx, argv[0], [](double d) { return std::floor(d); });
}
void fnCeiling(sqlite3_context* ctx, int, sqlite3_value** argv) {
    roundingFunction(ctx, argv[0], [](double d) { return std::ceil(d); });
}

void fnSign(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    Num x;
    if (!mathArg(ctx, argv[0], x)) return;
    if (x.isInt) return sqlite3_result_int(ctx, (x.i > 0) - (x.i < 0));
    sqlite3_result_double(ctx, (x.d > 0) - (x.d < 0));
}

const char* const kInvalidFloatOp = "An invalid floating point operation occurred.";

// POWER keeps the type of its first argument: power(2, -1) is 0.
void fnPower(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    Num x, y;
    if (!mathArg(ctx, argv[0], x) || !mathArg(ctx, argv[1], y)) return;
    double r = std::pow(x.real(), y.real());
    if (std::isnan(r)) return fail(ctx, 3623, kInvalidFloatOp);
    if (!x.isInt) {
        if (!std::isfinite(r)) return fail(ctx, 8115, "Arithmetic overflow error converting expression to data type float.");
        return sqlite3_result_double(ctx, r);
    }
    r = std::trunc(r);
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return fail(ctx, 8115, kBigintOverflow);
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(r));
}

void fnSqrt(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    Num x;
    if (!mathArg(ctx, argv[0], x)) return;
    if (x.real() < 0) return fail(ctx, 3623, kInvalidFloatOp);
    sqlite3_result_double(ctx, std::sqrt(x.real()));
}

// The float functions of SQL Server's mathematical set (EXP, LOG, SIN ...):
// the argument converts to float, a value outside the function's domain is
// error 3623 and a result too large for a float 8115.
void floatResult(sqlite3_context* ctx, double r) {
    if (std::isnan(r)) return fail(ctx, 3623, kInvalidFloatOp);
    if (!std::isfinite(r)) return fail(ctx, 8115, "Arithmetic overflow error converting expression to data type float.");
    sqlite3_result_double(ctx, r);
}

template <double (*Compute)(double), bool (*InDomain)(double)>
void floatFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    Num x;
    if (!mathArg(ctx, argv[0], x)) return;
    if (!InDomain(x.real())) return fail(ctx, 3623, kInvalidFloatOp);
    floatResult(ctx, Compute(x.real()));
}

bool anyReal(double) { return true; }
bool positiveReal(double x) { return x > 0; }
bool unitInterval(double x) { return x >= -1 && x <= 1; }
bool nonZeroTangent(double x) { return std::tan(x) != 0; }

double expOf(double x) { return std::exp(x); }
double logOf(double x) { return std::log(x); }
double log10Of(double x) { return std::log10(x); }
double squareOf(double x) { return x * x; }
double sinOf(double x) { return std::sin(x); }
double cosOf(double x) { return std::cos(x); }
double tanOf(double x) { return std::tan(x); }
double cotOf(double x) { return 1.0 / std::tan(x); }
double asinOf(double x) { return std::asin(x); }
double acosOf(double x) { return std::acos(x); }
double atanOf(double x) { return std::atan(x); }

void fnAtn2(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    Num y, x;
    if (!mathArg(ctx, argv[0], y) || !mathArg(ctx, argv[1], x)) return;
    floatResult(ctx, std::atan2(y.real(), x.real()));
}

// DEGREES and RADIANS keep an integer argument's type: the result is cut
// to a whole number (RADIANS(1) is 0).
void angleConversion(sqlite3_context* ctx, sqlite3_value* v, double factor) {
    if (isNull(v)) return sqlite3_result_null(ctx);
    Num x;
    if (!mathArg(ctx, v, x)) return;
    double r = x.real() * factor;
    if (!x.isInt) return floatResult(ctx, r);
    r = std::trunc(r);
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return fail(ctx, 8115, kBigintOverflow);
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(r));
}
void fnDegrees(sqlite3_context* ctx, int, sqlite3_value** argv) { angleConversion(ctx, argv[0], 180.0 / M_PI); }
void fnRadians(sqlite3_context* ctx, int, sqlite3_value** argv) { angleConversion(ctx, argv[0], M_PI / 180.0); }

// RAND(): a float in [0, 1); RAND(seed) gives the same value for the same seed.
void fnRand(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::uint64_t bits = 0;
    if (argc == 0 || isNull(argv[0])) {
        sqlite3_randomness(sizeof bits, &bits);
    } else {
        // splitmix64 of the seed: a fixed, well spread value per seed.
        bits = static_cast<std::uint64_t>(sqlite3_value_int64(argv[0])) + 0x9E3779B97F4A7C15ull;
        bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ull;
        bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBull;
        bits ^= bits >> 31;
    }
    sqlite3_result_double(ctx, static_cast<double>(bits >> 11) / 9007199254740992.0);
}

// ------------------------------------------------------------ conversions

struct IntType {
    const char* name;
    std::int64_t min, max;
    const char* overflowColumn;  // as SQL Server names it in error 248
};

const IntType* intTypeByName(std::string_view name) {
    static const IntType types[] = {
        {"bit", 0, 1, "bit"},
        {"tinyint", 0, 255, "INT1"},
        {"smallint", -32768, 32767, "INT2"},
        {"int", INT32_MIN, INT32_MAX, "int"},
        {"bigint", std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), "bigint"},
    };
    for (const IntType& t : types) {
        if (name.size() != std::strlen(t.name)) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size(); ++i)
            if ((name[i] | 0x20) != t.name[i]) same = false;
        if (same) return &t;
    }
    return nullptr;
}

std::string arithmeticOverflow(const char* type) {
    return std::string("Arithmetic overflow error converting expression to data type ") + type + ".";
}

bool equalsNoCase(std::string_view a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != b[i]) return false;
    return true;
}

void fnToInt(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (isNull(v)) return sqlite3_result_null(ctx);
    TextOf typeName(argv[1]);
    const IntType* type = intTypeByName(typeName.view);
    if (!type) return fail(ctx, 50001, "vq_to_int: unknown type " + std::string(typeName.view) + ".");
    bool bit = type->max == 1;
    std::int64_t r = 0;
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: r = sqlite3_value_int64(v); break;
    case SQLITE_FLOAT: {
        double d = sqlite3_value_double(v);
        if (bit) return sqlite3_result_int(ctx, d != 0.0);
        // A float (third argument 1) out of the target's range is error
        // 232, naming the value with six decimals as SQL Server does.
        const bool fromFloat = argc > 2 && sqlite3_value_int(argv[2]) == 1;
        if (fromFloat && !(std::trunc(d) >= static_cast<double>(type->min) &&
                           std::trunc(d) <= static_cast<double>(type->max))) {
            char value[400];
            std::snprintf(value, sizeof value, "%f", d);
            return fail(ctx, 232, std::string("Arithmetic overflow error for type ") + type->name +
                                      ", value = " + value + ".");
        }
        d = std::trunc(d);
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
            return fail(ctx, 8115, arithmeticOverflow(type->name));
        r = static_cast<std::int64_t>(d);
        break;
    }
    case SQLITE_BLOB: {
        // varbinary -> integer: the last bytes, big-endian.
        TextOf b(v);
        std::size_t size = bit ? 1 : type->max == 255 ? 1 : type->max == 32767 ? 2 : type->max == INT32_MAX ? 4 : 8;
        std::size_t n = std::min(size, b.view.size());
        std::uint64_t u = 0;
        for (std::size_t i = b.view.size() - n; i < b.view.size(); ++i) u = u << 8 | static_cast<u8>(b.view[i]);
        if (bit) return sqlite3_result_int(ctx, u != 0);
        if (size == 2) r = static_cast<std::int16_t>(u);
        else if (size == 4) r = static_cast<std::int32_t>(u);
        else r = static_cast<std::int64_t>(u);
        return sqlite3_result_int64(ctx, r);
    }
    default: {
        TextOf t(v);
        std::string_view s = trimSpaces(t.view);
        if (s.empty()) return sqlite3_result_int(ctx, 0);   // '' converts to 0 for every integer type
        if (bit && equalsNoCase(s, "true")) return sqlite3_result_int(ctx, 1);
        if (bit && equalsNoCase(s, "false")) return sqlite3_result_int(ctx, 0);
        Decimal exact;
        if (argc > 2 && sqlite3_value_int(argv[2]) == 2 && parseDecimal(s, exact)) {
            // An exact decimal carried as text (money past a double's digits).
            roundDecimal(exact, 0, true);
            if (!decimalToInt(exact, r) || r < type->min || r > type->max)
                return fail(ctx, 8115, arithmeticOverflow(type->name));
            return sqlite3_result_int64(ctx, bit ? r != 0 : r);
        }
        IntParse p = parseInt64(t.view, r);
        if (p == IntParse::Bad) return fail(ctx, 245, conversionFailed(t.view, type->name));
        if (bit) return sqlite3_result_int(ctx, p == IntParse::Overflow || r != 0);
        if (p == IntParse::Overflow || r < type->min || r > type->max) {
            std::string column = std::string(type->overflowColumn) + " column.";
            if (type->max <= 32767) column += " Use a larger integer column.";
            return fail(ctx, 248,
                        "The conversion of the varchar value '" + std::string(t.view) + "' overflowed an " + column);
        }
        return sqlite3_result_int64(ctx, r);
    }
    }
    if (bit) return sqlite3_result_int(ctx, r != 0);
    if (r < type->min || r > type->max) {
        // An integer too big for tinyint or smallint names its value (220);
        // wider targets report the conversion (8115), as SQL Server does.
        if (sqlite3_value_type(v) == SQLITE_INTEGER && type->max <= 32767)
            return fail(ctx, 220, "Arithmetic overflow error for data type " + std::string(type->name) +
                                      ", value = " + std::to_string(r) + ".");
        return fail(ctx, 8115, arithmeticOverflow(type->name));
    }
    sqlite3_result_int64(ctx, r);
}

void fnToNumeric(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (isNull(v)) return sqlite3_result_null(ctx);
    int precision = isNull(argv[1]) ? 18 : static_cast<int>(std::clamp<std::int64_t>(argInt(argv[1]), 1, 38));
    int scale = isNull(argv[2]) ? 0 : static_cast<int>(std::clamp<std::int64_t>(argInt(argv[2]), 0, precision));
    Decimal d;
    const char* from;
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        d = decimalFromInt(sqlite3_value_int64(v));
        from = "int";
        break;
    case SQLITE_FLOAT:
        if (!std::isfinite(sqlite3_value_double(v)))
            return fail(ctx, 8115, "Arithmetic overflow error converting float to data type numeric.");
        d = decimalFromDouble(sqlite3_value_double(v));
        from = "numeric";
        break;
    case SQLITE_TEXT: {
        TextOf t(v);
        // money (a fourth argument 1) reads an empty text as 0, numeric does not.
        const bool money = argc > 3 && argInt(argv[3]) == 1;
        if (money && trimSpaces(t.view).empty()) {
            d = decimalFromInt(0);
        } else if (!parseDecimal(t.view, d)) {
            return fail(ctx, 8114, "Error converting data type varchar to numeric.");
        }
        from = "varchar";
        break;
    }
    default: return fail(ctx, 8114, "Error converting data type varbinary to numeric.");
    }
    roundDecimal(d, scale, false);
    if (d.integerDigits() > precision - scale)
        return fail(ctx, 8115, std::string("Arithmetic overflow error converting ") + from + " to data type numeric.");
    std::int64_t i;
    if (scale == 0 && decimalToInt(d, i)) return sqlite3_result_int64(ctx, i);
    sqlite3_result_double(ctx, decimalToDouble(d));
}

void fnToFloat(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    // An empty text converts to 0, as SQL Server converts it to float.
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT && trimSpaces(TextOf(argv[0]).view).empty())
        return sqlite3_result_double(ctx, 0.0);
    Num x;
    if (!mathArg(ctx, argv[0], x)) return;
    sqlite3_result_double(ctx, x.real());
}

void fnToVarchar(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (isNull(v)) return sqlite3_result_null(ctx);
    std::int64_t n = isNull(argv[1]) ? -1 : argInt(argv[1]);
    std::int64_t scale = isNull(argv[2]) ? -1 : argInt(argv[2]);
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
        TextOf t(v);
        if (scale > 0) {
            // A whole number kept as an integer by a numeric column still
            // shows its scale: 0 as numeric(19,4) is '0.0000'.
            std::string s(t.view);
            s += '.';
            s.append(static_cast<std::size_t>(std::min<std::int64_t>(scale, 38)), '0');
            if (n >= 0 && static_cast<std::int64_t>(s.size()) > n)
                return fail(ctx, 8115, "Arithmetic overflow error converting numeric to data type varchar.");
            return resultText(ctx, s);
        }
        // An integer too long for the target shows as '*'.
        if (n >= 0 && static_cast<std::int64_t>(t.view.size()) > n) return resultText(ctx, "*");
        return resultText(ctx, t.view);
    }
    case SQLITE_FLOAT: {
        double x = sqlite3_value_double(v);
        std::string s;
        if (scale >= 0 && std::isfinite(x)) {
            int sc = static_cast<int>(std::min<std::int64_t>(scale, 38));
            Decimal d = decimalFromDouble(x);
            roundDecimal(d, sc, false);
            s = decimalToFixed(d, sc);
        } else {
            s = std::string(TextOf(v).view);
        }
        if (n >= 0 && static_cast<std::int64_t>(s.size()) > n)
            return fail(ctx, 8115, "Arithmetic overflow error converting numeric to data type varchar.");
        return resultText(ctx, s);
    }
    case SQLITE_BLOB: return sqlite3_result_value(ctx, v);
    default: {
        Decimal exact;
        if (scale >= 0 && parseDecimal(TextOf(v).view, exact)) {
            // A money value too long for a REAL travels as its exact text.
            int sc = static_cast<int>(std::min<std::int64_t>(scale, 38));
            roundDecimal(exact, sc, false);
            std::string s = decimalToFixed(exact, sc);
            if (n >= 0 && static_cast<std::int64_t>(s.size()) > n)
                return fail(ctx, 8115, "Arithmetic overflow error converting numeric to data type varchar.");
            return resultText(ctx, s);
        }
        if (n < 0) return sqlite3_result_value(ctx, v);
        // varchar(n) holds n GBK bytes: a double-byte character that does
        // not fit whole is left out.
        TextOf t(v);
        const u8* p = t.begin();
        std::int64_t used = 0;
        while (p < t.end()) {
            const u8* next = p;
            int width = gbkCharLength(decodeUtf8(next, t.end()));
            if (used + width > n) break;
            used += width;
            p = next;
        }
        resultText(ctx, t.begin(), p);
    }
    }
}

const char* const kDateFromText = "Conversion failed when converting date and/or time from character string.";

// Reads a datetime argument: a date text, or a number of days since
// 1900-01-01. Reports SQL Server's error and returns false when it is none.
// `target` names the type in the out-of-range errors.
bool dateArg(sqlite3_context* ctx, sqlite3_value* v, DateTime& out, const char* target = "datetime") {
    int t = sqlite3_value_type(v);
    if (isNumber(t)) {
        auto d = fromDays(sqlite3_value_double(v));
        if (!d) {
            fail(ctx, 8115, arithmeticOverflow(target));
            return false;
        }
        out = *d;
        return true;
    }
    if (t != SQLITE_TEXT) {
        fail(ctx, 241, kDateFromText);
        return false;
    }
    TextOf text(v);
    switch (parseDateTime(text.view, out)) {
    case DateParse::Ok: return true;
    case DateParse::Invalid: fail(ctx, 241, kDateFromText); return false;
    case DateParse::OutOfRange:
        fail(ctx, 242, std::string("The conversion of a varchar data type to a ") + target +
                           " data type resulted in an out-of-range value.");
        return false;
    }
    return false;
}

// Returns d in the stored form; when the argument already is exactly that
// text it is passed through untouched.
void resultDateTime(sqlite3_context* ctx, const DateTime& d, sqlite3_value* original = nullptr) {
    char buf[24];
    formatDateTime(d, buf);
    if (original && sqlite3_value_type(original) == SQLITE_TEXT && sqlite3_value_bytes(original) == 23 &&
        std::memcmp(sqlite3_value_text(original), buf, 23) == 0)
        return sqlite3_result_value(ctx, original);
    sqlite3_result_text(ctx, buf, 23, SQLITE_TRANSIENT);
}

void fnToDateTime(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    DateTime d;
    if (!dateArg(ctx, argv[0], d)) return;
    resultDateTime(ctx, d, argv[0]);
}

void fnToSmallDateTime(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (isNull(v)) return sqlite3_result_null(ctx);
    DateTime d;
    if (!dateArg(ctx, v, d, "smalldatetime")) return;
    d = roundToMinute(d);
    if (!inSmallDateTimeRange(d)) {
        if (isNumber(sqlite3_value_type(v))) return fail(ctx, 8115, arithmeticOverflow("smalldatetime"));
        return fail(ctx, 242,
                    "The conversion of a varchar data type to a smalldatetime data type resulted in an out-of-range "
                    "value.");
    }
    resultDateTime(ctx, d, v);
}

void fnFormatDateTime(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    std::int64_t style = argInt(argv[1]);
    TextOf t(argv[0]);
    DateTime d;
    // Only a date text takes a style; anything else converts as it is.
    if (t.blob || sqlite3_value_type(argv[0]) != SQLITE_TEXT || parseDateTime(t.view, d) != DateParse::Ok)
        return resultText(ctx, t.view);
    auto s = formatDateTimeStyle(d, static_cast<int>(std::clamp<std::int64_t>(style, -1, 100000)));
    if (!s)
        return fail(ctx, 281,
                    std::to_string(style) +
                        " is not a valid style number when converting from datetime to a character string.");
    resultText(ctx, *s);
}

void fnGetDate(sqlite3_context* ctx, int, sqlite3_value**) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    DateTime d{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, std::min(tm.tm_sec, 59),
               static_cast<int>(ts.tv_nsec / 1000000)};
    resultDateTime(ctx, fromMillis(toMillis(d)));
}

// Reads the datepart argument; reports error 155 naming `function`.
bool partArg(sqlite3_context* ctx, sqlite3_value* v, const char* function, DatePart& out) {
    TextOf t(v);
    auto p = parseDatePart(t.view);
    if (!p) {
        fail(ctx, 155, "'" + std::string(t.view) + "' is not a recognized " + function + " option.");
        return false;
    }
    out = *p;
    return true;
}

const char* const kDateAddOverflow = "Adding a value to a 'datetime' column caused an overflow.";

void fnDateAdd(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    DatePart part;
    if (!partArg(ctx, argv[0], "dateadd", part)) return;
    std::int64_t n;
    if (sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        TextOf t(argv[1]);
        if (parseInt64(t.view, n) != IntParse::Ok) return fail(ctx, 245, conversionFailed(t.view, "int"));
    } else {
        n = argInt(argv[1]);  // a fraction is truncated
    }
    DateTime d;
    if (!dateArg(ctx, argv[2], d)) return;
    auto r = dateAdd(part, n, d);
    if (!r) return fail(ctx, 517, kDateAddOverflow);
    resultDateTime(ctx, *r);
}

void fnDateDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    DatePart part;
    if (!partArg(ctx, argv[0], "datediff", part)) return;
    DateTime a, b;
    if (!dateArg(ctx, argv[1], a) || !dateArg(ctx, argv[2], b)) return;
    std::int64_t r = dateDiff(part, a, b);
    if (r < INT32_MIN || r > INT32_MAX)
        return fail(ctx, 535,
                    "The datediff function resulted in an overflow. The number of dateparts separating two "
                    "date/time instances is too large. Try to use datediff with a less precise datepart.");
    sqlite3_result_int64(ctx, r);
}

void fnDatePart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    DatePart part;
    if (!partArg(ctx, argv[0], "datepart", part)) return;
    DateTime d;
    if (!dateArg(ctx, argv[1], d)) return;
    sqlite3_result_int(ctx, datePart(part, d));
}

// datetime +/- number of days (a fraction is a time of day); a date text
// on the right counts as its days since 1900-01-01, as SQL Server's
// datetime arithmetic does.
void shiftDateTime(sqlite3_context* ctx, sqlite3_value** argv, double sign) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    DateTime d;
    if (!dateArg(ctx, argv[0], d)) return;
    double days;
    if (sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        TextOf t(argv[1]);
        DateTime other;
        if (!parseDouble(t.view, days)) {
            if (parseDateTime(t.view, other) != DateParse::Ok) return fail(ctx, 241, kDateFromText);
            days = toDays(other);
        }
    } else {
        days = sqlite3_value_double(argv[1]);
    }
    auto r = fromDays(toDays(d) + sign * days);
    if (!r) return fail(ctx, 517, kDateAddOverflow);
    resultDateTime(ctx, *r);
}

void fnDateTimePlus(sqlite3_context* ctx, int, sqlite3_value** argv) { shiftDateTime(ctx, argv, 1.0); }
void fnDateTimeMinus(sqlite3_context* ctx, int, sqlite3_value** argv) { shiftDateTime(ctx, argv, -1.0); }

// ----------------------------------------------------------------- others

// Splits a possibly qualified, bracketed or quoted name and returns its
// last part without the delimiters: "[db].[dbo].[T]" -> "T".
std::string lastNamePart(std::string_view s) {
    std::string part;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '[' || c == '"') {
            char close = c == '[' ? ']' : '"';
            ++i;
            while (i < s.size()) {
                if (s[i] == close) {
                    if (i + 1 < s.size() && s[i + 1] == close) {  // ]] or "" inside
                        part += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                part += s[i++];
            }
        } else if (c == '.') {
            part.clear();
            ++i;
        } else {
            if (c != ' ') part += c;
            ++i;
        }
    }
    return part;
}

void fnObjName(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    resultText(ctx, lastNamePart(t.view));
}

// ISNUMERIC on a text: blanks around, an optional currency sign, an
// optional sign, digits with thousands commas and a point, an optional
// exponent (e or d); at least one digit.
bool looksNumeric(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    auto currency = [&s] {
        static const char* const signs[] = {"$", "\xC2\xA3", "\xC2\xA5", "\xE2\x82\xAC", "\xEF\xBF\xA5"};
        for (const char* c : signs)
            if (s.substr(0, std::strlen(c)) == c) {
                s.remove_prefix(std::strlen(c));
                return;
            }
    };
    currency();
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    currency();
    std::size_t i = 0, digits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (isDigit(c)) {
            ++digits;
        } else if (c == ',' && !point) {
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t ed = 0;
        while (i < s.size() && isDigit(s[i])) ++i, ++ed;
        if (ed == 0) return false;
    }
    return i == s.size();
}

void fnIsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: return sqlite3_result_int(ctx, 1);
    case SQLITE_TEXT: return sqlite3_result_int(ctx, looksNumeric(TextOf(argv[0]).view) ? 1 : 0);
    default: return sqlite3_result_int(ctx, 0);
    }
}

void fnError(sqlite3_context* ctx, int, sqlite3_value** argv) {
    fail(ctx, static_cast<int>(sqlite3_value_int64(argv[0])), std::string(TextOf(argv[1]).view));
}

// vq_single's running state: rows seen and the first row's value.
struct SingleState {
    std::int64_t rows;
    sqlite3_value* value;
};

void singleStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto st = static_cast<SingleState*>(sqlite3_aggregate_context(ctx, sizeof(SingleState)));
    if (!st) return sqlite3_result_error_nomem(ctx);
    if (++st->rows > 1)
        return fail(ctx, 512,
                    "Subquery returned more than 1 value. This is not permitted when the subquery follows =, !=, "
                    "<, <= , >, >= or when the subquery is used as an expression.");
    st->value = sqlite3_value_dup(argv[0]);
}

void singleFinal(sqlite3_context* ctx) {
    auto st = static_cast<SingleState*>(sqlite3_aggregate_context(ctx, 0));
    if (!st || !st->value) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, st->value);
    sqlite3_value_free(st->value);
    st->value = nullptr;
}

// ------------------------------------------------- checked integer arithmetic

// The integer type an operator's result has, by its width in bits as the
// translator passes it: 8 tinyint, 16 smallint, 32 int, 64 bigint.
struct IntRange {
    const char* name;
    std::int64_t min, max;
};

IntRange intRangeOf(sqlite3_value* bits) {
    switch (sqlite3_value_int(bits)) {
    case 8: return {"tinyint", 0, 255};
    case 16: return {"smallint", -32768, 32767};
    case 32: return {"int", INT32_MIN, INT32_MAX};
    default: return {"bigint", std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()};
    }
}

enum class IntOp { Add, Subtract, Multiply };

// a op b in the integer type of argv[2]; a result outside it is error 8115,
// as SQL Server reports it ("... converting expression to data type int.").
void integerOperator(sqlite3_context* ctx, sqlite3_value** argv, IntOp op, const char* opName) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    const IntRange range = intRangeOf(argv[2]);
    Num x, y;
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && sqlite3_value_type(argv[1]) == SQLITE_INTEGER) {
        x = numOf(argv[0]);
        y = numOf(argv[1]);
    } else if (!arithmeticOperands(ctx, argv[0], argv[1], opName, x, y)) {
        return;
    }
    if (x.isInt && y.isInt) {
        std::int64_t r = 0;
        bool over = op == IntOp::Add        ? __builtin_add_overflow(x.i, y.i, &r)
                    : op == IntOp::Subtract ? __builtin_sub_overflow(x.i, y.i, &r)
                                            : __builtin_mul_overflow(x.i, y.i, &r);
        if (over || r < range.min || r > range.max) return fail(ctx, 8115, arithmeticOverflow(range.name));
        return sqlite3_result_int64(ctx, r);
    }
    double r = op == IntOp::Add ? x.real() + y.real() : op == IntOp::Subtract ? x.real() - y.real() : x.real() * y.real();
    r = std::trunc(r);
    if (!(r >= static_cast<double>(range.min) && r <= static_cast<double>(range.max)))
        return fail(ctx, 8115, arithmeticOverflow(range.name));
    sqlite3_result_int64(ctx, static_cast<std::int64_t>(r));
}

void fnIntAdd(sqlite3_context* ctx, int, sqlite3_value** argv) { integerOperator(ctx, argv, IntOp::Add, "add"); }
void fnIntSubtract(sqlite3_context* ctx, int, sqlite3_value** argv) {
    integerOperator(ctx, argv, IntOp::Subtract, "subtract");
}
void fnIntMultiply(sqlite3_context* ctx, int, sqlite3_value** argv) {
    integerOperator(ctx, argv, IntOp::Multiply, "multiply");
}

// Unary minus and ABS of an integer type: -(-2147483648) does not fit int.
void negateOrAbs(sqlite3_context* ctx, sqlite3_value** argv, bool abs) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER) {
        double d = sqlite3_value_double(argv[0]);
        return sqlite3_result_double(ctx, abs ? std::fabs(d) : -d);
    }
    const IntRange range = intRangeOf(argv[1]);
    std::int64_t v = sqlite3_value_int64(argv[0]);
    if (abs && v >= 0) return sqlite3_result_int64(ctx, v);
    std::int64_t r = 0;
    if (__builtin_sub_overflow(std::int64_t{0}, v, &r) || r < range.min || r > range.max)
        return fail(ctx, 8115, arithmeticOverflow(range.name));
    sqlite3_result_int64(ctx, r);
}

void fnIntNegate(sqlite3_context* ctx, int, sqlite3_value** argv) { negateOrAbs(ctx, argv, false); }
void fnIntAbs(sqlite3_context* ctx, int, sqlite3_value** argv) { negateOrAbs(ctx, argv, true); }

// ------------------------------------------------------------------ money

// money is a 64-bit count of ten-thousandths (-922,337,203,685,477.5808 to
// 922,337,203,685,477.5807), smallmoney a 32-bit one (+-214,748.3648).
// Between statements a money value travels as a REAL when its decimal has
// at most 15 significant digits (a double holds those exactly enough to
// read them back), else as the exact decimal text; these functions compute
// on the scaled integer, so no digit is lost on the way.
constexpr std::int64_t kMoneyUnits = 10000;
constexpr std::int64_t kExactAsReal = 1000000000000000;   // 10^15 units

bool isSmallMoney(sqlite3_value* kind) { return sqlite3_value_int(kind) == 2; }

std::string moneyOverflow(bool small) {
    return std::string("Arithmetic overflow error converting expression to data type ") +
           (small ? "smallmoney." : "money.");
}

// Decimal -> ten-thousandths, rounded half away from zero; false when the
// value does not fit 64 bits.
bool decimalToUnits(Decimal d, std::int64_t& out) {
    roundDecimal(d, 4, false);
    if (!d.digits.empty()) d.exponent += 4;
    return decimalToInt(d, out);
}

// A text as money reads it: blanks around, an optional sign before or
// after a currency symbol ($, ￥, ¥), digits with thousands commas and an
// optional point. Blank text is 0.
bool parseMoneyText(std::string_view t, Decimal& d) {
    t = trimSpaces(t);
    if (t.empty()) {
        d = Decimal{};
        return true;
    }
    std::string cleaned;
    bool negative = false;
    auto takeSign = [&] {
        if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
            negative = t.front() == '-';
            t.remove_prefix(1);
        }
    };
    takeSign();
    for (std::string_view symbol : {std::string_view("$"), std::string_view("\xEF\xBF\xA5"), std::string_view("\xC2\xA5")})
        if (t.substr(0, symbol.size()) == symbol) {
            t.remove_prefix(symbol.size());
            if (!negative) takeSign();
            break;
        }
    for (char c : t)
        if (c != ',') cleaned += c;
    if (!parseDecimal(cleaned, d)) return false;
    if (negative && !d.digits.empty()) d.negative = !d.negative;
    return true;
}

// Reads any operand as money units. Reports the error and returns false
// when it is not a number or does not fit.
bool moneyUnitsOf(sqlite3_context* ctx, sqlite3_value* v, bool small, std::int64_t& out) {
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        if (__builtin_mul_overflow(sqlite3_value_int64(v), kMoneyUnits, &out)) break;
        return true;
    case SQLITE_FLOAT: {
        double d = sqlite3_value_double(v);
        if (std::fabs(d) < 1e11) {   // d * 10^4 < 10^15: the product rounds to the exact count
            out = std::llround(d * static_cast<double>(kMoneyUnits));
            return true;
        }
        // Larger: the count nearest the double's own value, in extended precision.
        if (!std::isfinite(d) || std::fabs(d) >= 922337203685477.0) break;
        out = std::llroundl(static_cast<long double>(d) * kMoneyUnits);
        return true;
    }
    case SQLITE_TEXT: {
        Decimal d;
        TextOf t(v);
        if (!parseMoneyText(t.view, d)) {
            fail(ctx, 235, "Cannot convert a char value to money. The char value has incorrect syntax.");
            return false;
        }
        if (decimalToUnits(d, out)) return true;
        break;
    }
    default:
        fail(ctx, 8114, "Error converting data type varbinary to money.");
        return false;
    }
    fail(ctx, 8115, moneyOverflow(small));
    return false;
}

// The exact decimal of a count of ten-thousandths: "-1234567890123.4567".
std::string unitsToText(std::int64_t units) {
    std::uint64_t u = units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    std::string frac = std::to_string(u % kMoneyUnits);
    frac.insert(0, 4 - frac.size(), '0');
    return (units < 0 ? "-" : "") + std::to_string(u / kMoneyUnits) + "." + frac;
}

void resultMoney(sqlite3_context* ctx, std::int64_t units, bool small) {
    if (small && (units < INT32_MIN || units > INT32_MAX)) return fail(ctx, 8115, moneyOverflow(true));
    if (units > -kExactAsReal && units < kExactAsReal)
        return sqlite3_result_double(ctx, static_cast<double>(units) / static_cast<double>(kMoneyUnits));
    resultText(ctx, unitsToText(units));
}

// Nearest integer of n / d, halves away from zero (d != 0).
__int128 divideRounded(__int128 n, __int128 d) {
    __int128 q = n / d, r = n % d;
    __int128 twice = (r < 0 ? -r : r) * 2;
    if (twice >= (d < 0 ? -d : d)) q += ((n < 0) != (d < 0)) ? -1 : 1;
    return q;
}

enum class MoneyOp { Add, Subtract, Multiply, Divide };

void moneyOperator(sqlite3_context* ctx, sqlite3_value** argv, MoneyOp op) {
    if (isNull(argv[0]) || isNull(argv[1])) return sqlite3_result_null(ctx);
    std::int64_t a, b;
    if (!moneyUnitsOf(ctx, argv[0], false, a) || !moneyUnitsOf(ctx, argv[1], false, b)) return;
    __int128 r = 0;
    switch (op) {
    case MoneyOp::Add: r = static_cast<__int128>(a) + b; break;
    case MoneyOp::Subtract: r = static_cast<__int128>(a) - b; break;
    case MoneyOp::Multiply: r = divideRounded(static_cast<__int128>(a) * b, kMoneyUnits); break;
    case MoneyOp::Divide:
        if (b == 0) return fail(ctx, 8134, "Divide by zero error encountered.");
        r = divideRounded(static_cast<__int128>(a) * kMoneyUnits, b);
        break;
    }
    if (r < std::numeric_limits<std::int64_t>::min() || r > std::numeric_limits<std::int64_t>::max())
        return fail(ctx, 8115, moneyOverflow(false));
    resultMoney(ctx, static_cast<std::int64_t>(r), false);
}

void fnMoneyAdd(sqlite3_context* ctx, int, sqlite3_value** argv) { moneyOperator(ctx, argv, MoneyOp::Add); }

// vq_msum(a, b, ...): a + b + ... in money, exact, from left to right; the
// translator writes a long chain of money additions as one call.
void fnMoneySum(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    std::int64_t total = 0;
    for (int k = 0; k < argc; ++k) {
        if (isNull(argv[k])) return sqlite3_result_null(ctx);
        std::int64_t v;
        if (!moneyUnitsOf(ctx, argv[k], false, v)) return;
        if (__builtin_add_overflow(total, v, &total)) return fail(ctx, 8115, moneyOverflow(false));
    }
    resultMoney(ctx, total, false);
}
void fnMoneySubtract(sqlite3_context* ctx, int, sqlite3_value** argv) { moneyOperator(ctx, argv, MoneyOp::Subtract); }
void fnMoneyMultiply(sqlite3_context* ctx, int, sqlite3_value** argv) { moneyOperator(ctx, argv, MoneyOp::Multiply); }
void fnMoneyDivide(sqlite3_context* ctx, int, sqlite3_value** argv) { moneyOperator(ctx, argv, MoneyOp::Divide); }

// CAST(x AS money) / smallmoney (kind 1 / 2): exact, with 8115 on overflow.
void fnToMoney(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    const bool small = isSmallMoney(argv[1]);
    std::int64_t units;
    if (!moneyUnitsOf(ctx, argv[0], small, units)) return;
    resultMoney(ctx, units, small);
}

// ------------------------------------------------------ binary conversion

// CAST(text AS binary/varbinary): char/varchar give their GBK bytes
// (encoding 0), nchar/nvarchar UCS-2 little-endian (encoding 1), an integer
// type of w bytes (encoding -w) its big-endian bytes. n > 0
// cuts to n bytes; `pad` fills binary(n) up to n with zero bytes.
void fnToBinary(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    TextOf t(argv[0]);
    std::string bytes;
    if (t.blob) {
        bytes.assign(t.view);
    } else if (sqlite3_value_int(argv[1]) == 1) {
        const u8* p = t.begin();
        while (p < t.end()) {
            char32_t cp = decodeUtf8(p, t.end());
            auto unit = [&](std::uint32_t w) {
                bytes.push_back(static_cast<char>(w & 0xFF));
                bytes.push_back(static_cast<char>(w >> 8));
            };
            if (cp >= 0x10000) {
                unit(0xD800 + ((cp - 0x10000) >> 10));
                unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                unit(cp);
            }
        }
    } else if (sqlite3_value_int(argv[1]) < 0 && sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
        // An integer (encoding -width): its bytes, most significant first.
        auto u = static_cast<std::uint64_t>(sqlite3_value_int64(argv[0]));
        for (int k = -sqlite3_value_int(argv[1]) - 1; k >= 0; --k)
            bytes.push_back(static_cast<char>((u >> (8 * k)) & 0xFF));
        // binary(n) and varbinary(n) keep the low bytes, binary pads on the left.
        std::int64_t n = argInt(argv[2]);
        if (n > 0 && static_cast<std::int64_t>(bytes.size()) > n) bytes.erase(0, bytes.size() - static_cast<std::size_t>(n));
        if (n > 0 && sqlite3_value_int(argv[3]) != 0 && static_cast<std::int64_t>(bytes.size()) < n)
            bytes.insert(0, static_cast<std::size_t>(n) - bytes.size(), '\0');
        return sqlite3_result_blob64(ctx, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    } else if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        bytes = utf8ToGbk(t.view);
    } else {
        bytes.assign(t.view);
    }
    std::int64_t n = argInt(argv[2]);
    if (n > 0 && static_cast<std::int64_t>(bytes.size()) > n) bytes.resize(static_cast<std::size_t>(n));
    if (n > 0 && sqlite3_value_int(argv[3]) != 0 && static_cast<std::int64_t>(bytes.size()) < n)
        bytes.append(static_cast<std::size_t>(n) - bytes.size(), '\0');
    sqlite3_result_blob64(ctx, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

// CAST(binary AS varchar) decodes GBK (encoding 0), AS nvarchar UCS-2
// little-endian (encoding 1). Bytes GBK cannot read become '?'.
void fnFromBinary(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) != SQLITE_BLOB) return sqlite3_result_value(ctx, argv[0]);
    TextOf t(argv[0]);
    std::string out;
    if (sqlite3_value_int(argv[1]) == 1) {
        char buf[4];
        for (std::size_t i = 0; i + 1 < t.view.size(); i += 2) {
            char32_t w = static_cast<u8>(t.view[i]) | static_cast<char32_t>(static_cast<u8>(t.view[i + 1])) << 8;
            if (w >= 0xD800 && w < 0xDC00 && i + 3 < t.view.size()) {
                char32_t lo = static_cast<u8>(t.view[i + 2]) | static_cast<char32_t>(static_cast<u8>(t.view[i + 3])) << 8;
                if (lo >= 0xDC00 && lo < 0xE000) {
                    w = 0x10000 + ((w - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                }
            }
            out.append(buf, static_cast<std::size_t>(encodeUtf8(w, buf)));
        }
    } else {
        std::string_view rest = t.view;
        while (!rest.empty()) {
            std::size_t width = (static_cast<u8>(rest[0]) >= 0x81 && rest.size() >= 2) ? 2 : 1;
            std::optional<std::string> one = gbkToUtf8(rest.substr(0, width));
            if (!one && width == 2) {
                width = 1;
                one = gbkToUtf8(rest.substr(0, 1));
            }
            out += one ? *one : std::string("?");
            rest.remove_prefix(width);
        }
    }
    resultText(ctx, out);
}

// DATALENGTH of an nchar/nvarchar value: two bytes a UTF-16 unit.
void fnUnicodeDataLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (isNull(argv[0])) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return fnDataLength(ctx, 1, argv);
    TextOf t(argv[0]);
    std::int64_t units = 0;
    const u8* p = t.begin();
    while (p < t.end()) units += decodeUtf8(p, t.end()) >= 0x10000 ? 2 : 1;
    sqlite3_result_int64(ctx, units * 2);
}

// ------------------------------------------------------------ registration

// a ^ b ^ ...: exclusive or of the integers (SQLite has no such operator).
void fnBitXor(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::int64_t r = 0;
    for (int i = 0; i < argc; ++i) r ^= sqlite3_value_int64(argv[i]);
    sqlite3_result_int64(ctx, r);
}

// ------------------------------------------------------- operator chains

// A number as SQLite's arithmetic operators read an operand.
struct FoldValue {
    bool null = false;
    bool isInt = true;
    std::int64_t i = 0;
    double d = 0;
    double real() const { return isInt ? static_cast<double>(i) : d; }
};

FoldValue foldOperand(sqlite3_value* v) {
    FoldValue r;
    int type = sqlite3_value_numeric_type(v);
    if (type == SQLITE_NULL) {
        r.null = true;
    } else if (type == SQLITE_INTEGER) {
        r.i = sqlite3_value_int64(v);
    } else {
        r.isInt = false;
        r.d = sqlite3_value_double(v);
    }
    return r;
}

// a op b as SQLite computes it: integers while the result fits in 64
// bits, reals otherwise; a NaN result is NULL.
FoldValue sqliteArithmetic(const FoldValue& a, char op, const FoldValue& b) {
    FoldValue r;
    if (a.isInt && b.isInt) {
        bool overflow = op == '+'   ? __builtin_add_overflow(a.i, b.i, &r.i)
                        : op == '-' ? __builtin_sub_overflow(a.i, b.i, &r.i)
                                    : __builtin_mul_overflow(a.i, b.i, &r.i);
        if (!overflow) return r;
    }
    r.isInt = false;
    r.d = op == '+' ? a.real() + b.real() : op == '-' ? a.real() - b.real() : a.real() * b.real();
    if (std::isnan(r.d)) r.null = true;
    return r;
}

// round(x, n) as SQLite's own round() computes it (always a real).
double sqliteRound(double r, int n) {
    if (n == 0 && r >= 0 && r < 9223372036854775806.0) return static_cast<double>(static_cast<std::int64_t>(r + 0.5));
    if (n == 0 && r < 0 && -r < 9223372036854775806.0) return -static_cast<double>(static_cast<std::int64_t>(-r + 0.5));
    char* text = sqlite3_mprintf("%.*f", n, r);
    if (!text) return r;
    double v = std::strtod(text, nullptr);
    sqlite3_free(text);
    return v;
}

// vq_arith_fold(v0, v1, ... vn, steps): v0 op1 v1 op2 v2 ... from left to
// right. The translator writes a long chain of + - * as one call instead of
// one nested call per operator, which SQLite's parser could not take; a
// longer chain continues with the call of the first part as v0 (SQLite
// nests calls deepest in a first argument). steps holds two characters
// per operator: the operator, then what the step's result goes through:
// 'p' nothing, 'i' vq_to_int(x,'int'), 'A' + n round(x, n); '1', '2', '4'
// and '8' make the step a checked integer operation in tinyint, smallint,
// int or bigint (as vq_iadd, vq_isub and vq_imul with 8, 16, 32, 64 bits).
void fnArithFold(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc < 3) return fail(ctx, 50001, "vq_arith_fold: wrong arguments.");
    TextOf steps(argv[argc - 1]);
    const int operands = argc - 1;
    if (steps.view.size() != 2 * static_cast<std::size_t>(operands - 1))
        return fail(ctx, 50001, "vq_arith_fold: wrong arguments.");
    FoldValue acc = foldOperand(argv[0]);
    for (int k = 1; k < operands; ++k) {
        const char op = steps.view[2 * (k - 1)];
        const char mode = steps.view[2 * (k - 1) + 1];
        FoldValue b = foldOperand(argv[k]);
        if (acc.null || b.null) {
            acc.null = true;
            continue;
        }
        if (mode == '1' || mode == '2' || mode == '4' || mode == '8') {
            // a checked integer step, as vq_iadd/vq_isub/vq_imul compute it
            const std::int64_t lo = mode == '1' ? 0 : mode == '2' ? -32768 : mode == '4' ? INT32_MIN
                                                                          : std::numeric_limits<std::int64_t>::min();
            const std::int64_t hi = mode == '1' ? 255 : mode == '2' ? 32767 : mode == '4' ? INT32_MAX
                                                                         : std::numeric_limits<std::int64_t>::max();
            const char* name = mode == '1' ? "tinyint" : mode == '2' ? "smallint" : mode == '4' ? "int" : "bigint";
            std::int64_t r = 0;
            if (acc.isInt && b.isInt) {
                bool over = op == '+' ? __builtin_add_overflow(acc.i, b.i, &r)
                            : op == '-' ? __builtin_sub_overflow(acc.i, b.i, &r)
                                        : __builtin_mul_overflow(acc.i, b.i, &r);
                if (over || r < lo || r > hi) return fail(ctx, 8115, arithmeticOverflow(name));
            } else {
                double d = op == '+' ? acc.real() + b.real() : op == '-' ? acc.real() - b.real() : acc.real() * b.real();
                d = std::trunc(d);
                if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi)))
                    return fail(ctx, 8115, arithmeticOverflow(name));
                r = static_cast<std::int64_t>(d);
            }
            acc.i = r;
            acc.isInt = true;
            continue;
        }
        acc = sqliteArithmetic(acc, op, b);
        if (acc.null) continue;
        if (mode == 'i') {
            double whole = acc.isInt ? static_cast<double>(acc.i) : std::trunc(acc.d);
            if (!(whole >= INT32_MIN && whole <= INT32_MAX)) return fail(ctx, 8115, arithmeticOverflow("int"));
            acc.i = acc.isInt ? acc.i : static_cast<std::int64_t>(whole);
            acc.isInt = true;
        } else if (mode >= 'A' && mode <= 'Z') {
            acc.d = sqliteRound(acc.real(), mode - 'A');
            acc.isInt = false;
        }
    }
    if (acc.null) return sqlite3_result_null(ctx);
    if (acc.isInt) return sqlite3_result_int64(ctx, acc.i);
    sqlite3_result_double(ctx, acc.d);
}

using ScalarFn = void (*)(sqlite3_context*, int, sqlite3_value**);

struct Registration {
    const char* name;
    int nArg;
    ScalarFn fn;
    bool deterministic;
};

const Registration kFunctions[] = {
    {"like", 2, fnLike, true},
    {"like", 3, fnLike, true},
    {"vq_add", 2, fnAdd, true},
    {"vq_div", 2, fnDiv, true},
    {"vq_mod", 2, fnMod, true},
    {"vq_len", 1, fnLen, true},
    {"vq_datalength", 1, fnDataLength, true},
    {"vq_substring", 3, fnSubstring, true},
    {"vq_left", 2, fnLeft, true},
    {"vq_right", 2, fnRight, true},
    {"vq_replicate", 2, fnReplicate, true},
    {"vq_replicate", 3, fnReplicate, true},
    {"vq_space", 1, fnSpace, true},
    {"vq_charindex", 2, fnCharIndex, true},
    {"vq_charindex", 3, fnCharIndex, true},
    {"vq_ltrim", 1, fnLtrim, true},
    {"vq_rtrim", 1, fnRtrim, true},
    {"vq_upper", 1, fnUpper, true},
    {"vq_lower", 1, fnLower, true},
    {"vq_replace", 3, fnReplace, true},
    {"vq_reverse", 1, fnReverse, true},
    {"vq_stuff", 4, fnStuff, true},
    {"vq_char", 1, fnChar, true},
    {"vq_ascii", 1, fnAscii, true},
    {"vq_round", 2, fnRound, true},
    {"vq_round", 3, fnRound, true},
    {"vq_floor", 1, fnFloor, true},
    {"vq_ceiling", 1, fnCeiling, true},
    {"vq_sign", 1, fnSign, true},
    {"vq_power", 2, fnPower, true},
    {"vq_sqrt", 1, fnSqrt, true},
    {"vq_exp", 1, floatFunction<expOf, anyReal>, true},
    {"vq_log", 1, floatFunction<logOf, positiveReal>, true},
    {"vq_log10", 1, floatFunction<log10Of, positiveReal>, true},
    {"vq_square", 1, floatFunction<squareOf, anyReal>, true},
    {"vq_sin", 1, floatFunction<sinOf, anyReal>, true},
    {"vq_cos", 1, floatFunction<cosOf, anyReal>, true},
    {"vq_tan", 1, floatFunction<tanOf, anyReal>, true},
    {"vq_cot", 1, floatFunction<cotOf, nonZeroTangent>, true},
    {"vq_asin", 1, floatFunction<asinOf, unitInterval>, true},
    {"vq_acos", 1, floatFunction<acosOf, unitInterval>, true},
    {"vq_atan", 1, floatFunction<atanOf, anyReal>, true},
    {"vq_atn2", 2, fnAtn2, true},
    {"vq_degrees", 1, fnDegrees, true},
    {"vq_radians", 1, fnRadians, true},
    {"vq_rand", 0, fnRand, false},
    {"vq_rand", 1, fnRand, true},
    {"vq_arith_fold", -1, fnArithFold, true},
    {"vq_bitxor", -1, fnBitXor, true},
    {"vq_to_int", 2, fnToInt, true},
    {"vq_to_int", 3, fnToInt, true},
    {"vq_to_numeric", 3, fnToNumeric, true},
    {"vq_to_numeric", 4, fnToNumeric, true},
    {"vq_to_float", 1, fnToFloat, true},
    {"vq_to_varchar", 3, fnToVarchar, true},
    {"vq_to_datetime", 1, fnToDateTime, true},
    {"vq_to_smalldatetime", 1, fnToSmallDateTime, true},
    {"vq_format_datetime", 2, fnFormatDateTime, true},
    {"vq_getdate", 0, fnGetDate, false},
    {"vq_dateadd", 3, fnDateAdd, true},
    {"vq_datediff", 3, fnDateDiff, true},
    {"vq_datepart", 2, fnDatePart, true},
    {"vq_datetime_plus", 2, fnDateTimePlus, true},
    {"vq_datetime_minus", 2, fnDateTimeMinus, true},
    {"vq_gbklen", 1, fnGbkLen, true},
    {"vq_objname", 1, fnObjName, true},
    {"vq_isnumeric", 1, fnIsNumeric, true},
    {"vq_iadd", 3, fnIntAdd, true},
    {"vq_isub", 3, fnIntSubtract, true},
    {"vq_imul", 3, fnIntMultiply, true},
    {"vq_ineg", 2, fnIntNegate, true},
    {"vq_iabs", 2, fnIntAbs, true},
    {"vq_madd", 2, fnMoneyAdd, true},
    {"vq_msum", -1, fnMoneySum, true},
    {"vq_msub", 2, fnMoneySubtract, true},
    {"vq_mmul", 2, fnMoneyMultiply, true},
    {"vq_mdiv", 2, fnMoneyDivide, true},
    {"vq_to_money", 2, fnToMoney, true},
    {"vq_to_binary", 4, fnToBinary, true},
    {"vq_from_binary", 2, fnFromBinary, true},
    {"vq_ndatalength", 1, fnUnicodeDataLength, true},
    // Not deterministic so that SQLite never evaluates it ahead of time.
    {"vq_error", 2, fnError, false},
};

}  // namespace

int registerEngineFunctions(sqlite3* db) {
    int rc = sqlite3_create_collation_v2(db, "vq_ci", SQLITE_UTF8, nullptr, collateCi, nullptr);
    if (rc != SQLITE_OK) return rc;
    for (const Registration& r : kFunctions) {
        int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (r.deterministic ? SQLITE_DETERMINISTIC : 0);
        rc = sqlite3_create_function_v2(db, r.name, r.nArg, flags, nullptr, r.fn, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    return sqlite3_create_function_v2(db, "vq_single", 1, SQLITE_UTF8 | SQLITE_INNOCUOUS | SQLITE_DETERMINISTIC,
                                      nullptr, nullptr, singleStep, singleFinal, nullptr);
}

}  // namespace vqsql
