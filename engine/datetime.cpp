// SQL Server datetime arithmetic, parsing and formatting (us_english).
#include "datetime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vqsql {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::int64_t kTicksPerDay = 25920000;  // 300 ticks per second

const char* const kMonthAbbr[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthName[12] = {"january", "february", "march",     "april",   "may",      "june",
                                    "july",    "august",   "september", "october", "november", "december"};

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::int64_t floorMod(std::int64_t a, std::int64_t b) { return a - floorDiv(a, b) * b; }

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int dim[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && isLeap(y)) ? 29 : dim[m - 1];
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// Reading position in a date text.
struct Cursor {
    std::string_view s;
    std::size_t i = 0;

    bool atEnd() const { return i >= s.size(); }
    char peek() const { return atEnd() ? '\0' : s[i]; }
    void skipBlanks() {
        while (!atEnd() && isBlank(s[i])) ++i;
    }
    // Reads a run of digits; len is its length (0 when none). Runs longer
    // than 9 digits are read but reported with len 10 so callers reject them.
    int digits(int& len) {
        int v = 0;
        len = 0;
        while (!atEnd() && isDigit(s[i])) {
            if (len < 9) v = v * 10 + (s[i] - '0');
            ++len;
            ++i;
        }
        if (len > 9) len = 10;
        return v;
    }
    std::string_view word() {
        std::size_t b = i;
        while (!atEnd() && isAlpha(s[i])) ++i;
        return s.substr(b, i - b);
    }
};

// 'Dec', 'december', 'Sept' -> 1..12; 0 when no month.
int monthFromName(std::string_view w) {
    if (w.size() < 3) return 0;
    for (int m = 0; m < 12; ++m) {
        std::string_view full = kMonthName[m];
        if (equalsNoCase(w, full)) return m + 1;
        if (equalsNoCase(w, full.substr(0, 3))) return m + 1;
        if (m == 8 && equalsNoCase(w, "sept")) return m + 1;
    }
    return 0;
}

int twoDigitYear(int yy) { return yy < 50 ? 2000 + yy : 1900 + yy; }

// Reads a year of 2 or 4 digits.
bool readYear(Cursor& c, int& year) {
    int len;
    int v = c.digits(len);
    if (len == 4)
        year = v;
    else if (len == 2)
        year = twoDigitYear(v);
    else
        return false;
    return true;
}

// Does the text at c start with a time ("12:", "4PM", "4 pm")?
bool startsWithTime(Cursor c) {
    int len;
    c.digits(len);
    if (len < 1 || len > 2) return false;
    if (c.peek() == ':') return true;
    c.skipBlanks();
    std::string_view w = c.word();
    return equalsNoCase(w, "am") || equalsNoCase(w, "pm");
}

thread_local DateSettings tDateSettings;

// Month, day and year from three numbers in the text's order under a date
// order; a year has 2 or 4 digits. A 4-digit number can only be the year: when it
// stands where the order expects another part, the text is invalid, except
// for the year first ('1998/12/31'), where month and day keep the order's
// relative order (ydm reads '1998/31/12').
bool assignDateFields(DateOrder order, const int v[3], const int len[3], DateTime& d) {
    const char* name = dateOrderName(order);
    if (len[0] == 4 && name[0] != 'y') {
        const bool dayFirst = std::string_view(name).find('d') < std::string_view(name).find('m');
        d.year = v[0];
        d.month = dayFirst ? v[2] : v[1];
        d.day = dayFirst ? v[1] : v[2];
        return len[1] <= 2 && len[2] <= 2;
    }
    for (int i = 0; i < 3; ++i) {
        switch (name[i]) {
        case 'y':
            if (len[i] == 4) d.year = v[i];
            else if (len[i] == 2) d.year = twoDigitYear(v[i]);
            else return false;
            break;
        case 'm':
            if (len[i] > 2) return false;
            d.month = v[i];
            break;
        default:
            if (len[i] > 2) return false;
            d.day = v[i];
            break;
        }
    }
    return true;
}

// Parses the date part: see parseDateTime for the accepted forms.
bool parseDatePart(Cursor& c, DateTime& d) {
    if (isAlpha(c.peek())) {  // mon dd[,] yyyy
        d.month = monthFromName(c.word());
        if (d.month == 0) return false;
        c.skipBlanks();
        int len;
        d.day = c.digits(len);
        if (len < 1 || len > 2) return false;
        if (c.peek() == ',') ++c.i;
        c.skipBlanks();
        return readYear(c, d.year);
    }
    int len1;
    int v1 = c.digits(len1);
    if (len1 == 0) return false;
    char sep = c.peek();
    if (sep == '-' || sep == '/' || sep == '.') {
        ++c.i;
        int len2, len3;
        int v2 = c.digits(len2);
        if (len2 < 1 || len2 > 4 || c.peek() != sep) return false;
        ++c.i;
        int v3 = c.digits(len3);
        if (len3 < 1 || len3 > 4) return false;
        if (len1 == 4 && sep == '-') {  // yyyy-mm-dd, as the engine stores datetimes
            if (len2 > 2 || len3 > 2) return false;
            d.year = v1;
            d.month = v2;
            d.day = v3;
            return true;
        }
        if (len1 > 4) return false;
        const int v[3] = {v1, v2, v3};
        const int len[3] = {len1, len2, len3};
        return assignDateFields(tDateSettings.order, v, len, d);
    }
    Cursor look = c;
    look.skipBlanks();
    if (len1 <= 2 && isAlpha(look.peek())) {  // dd mon yyyy
        c = look;
        d.day = v1;
        d.month = monthFromName(c.word());
        if (d.month == 0) return false;
        c.skipBlanks();
        return readYear(c, d.year);
    }
    if (len1 == 8) {  // yyyymmdd
        d.year = v1 / 10000;
        d.month = v1 / 100 % 100;
        d.day = v1 % 100;
        return true;
    }
    if (len1 == 6) {  // yymmdd
        d.year = twoDigitYear(v1 / 10000);
        d.month = v1 / 100 % 100;
        d.day = v1 % 100;
        return true;
    }
    if (len1 == 4) {  // a year alone: January 1st
        d.year = v1;
        return true;
    }
    return false;
}

// Parses 'hh:mi[:ss[.fff|:mmm]]' or 'hh' with optional blanks and AM/PM.
bool parseTimePart(Cursor& c, DateTime& d) {
    int len;
    d.hour = c.digits(len);
    if (len < 1 || len > 2) return false;
    bool needMeridiem = true;
    if (c.peek() == ':') {
        needMeridiem = false;
        ++c.i;
        d.minute = c.digits(len);
        if (len < 1 || len > 2) return false;
        if (c.peek() == ':') {
            ++c.i;
            d.second = c.digits(len);
            if (len < 1 || len > 2) return false;
            if (c.peek() == '.') {  // .f tenths, .ff hundredths, .fff thousandths
                ++c.i;
                int f = c.digits(len);
                if (len > 3) return false;
                for (int k = len; k < 3; ++k) f *= 10;
                d.millisecond = f;
            } else if (c.peek() == ':') {  // :mmm counts thousandths
                ++c.i;
                d.millisecond = c.digits(len);
                if (len < 1 || len > 3) return false;
            }
        }
    }
    Cursor look = c;
    look.skipBlanks();
    std::string_view w = look.word();
    bool am = equalsNoCase(w, "am"), pm = equalsNoCase(w, "pm");
    if (!am && !pm) return !needMeridiem;
    c = look;
    if (d.hour > 12) return false;
    if (am && d.hour == 12) d.hour = 0;
    if (pm && d.hour < 12) d.hour += 12;
    return true;
}

bool validFields(const DateTime& d) {
    return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= daysInMonth(d.year, d.month) && d.hour >= 0 &&
           d.hour <= 23 && d.minute >= 0 && d.minute <= 59 && d.second >= 0 && d.second <= 59 &&
           d.millisecond >= 0 && d.millisecond <= 999;
}

void put2(char* p, int v) {
    p[0] = static_cast<char>('0' + v / 10 % 10);
    p[1] = static_cast<char>('0' + v % 10);
}

}  // namespace

std::int64_t daysFromCivil(int year, int month, int day) {
    // Howard Hinnant's days_from_civil, shifted so 1900-01-01 is day 0.
    std::int64_t y = year - (month <= 2 ? 1 : 0);
    std::int64_t era = floorDiv(y, 400);
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25567;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
    std::int64_t z = days - 25567 + 719468;
    std::int64_t era = floorDiv(z, 146097);
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::int64_t toMillis(const DateTime& d) {
    return daysFromCivil(d.year, d.month, d.day) * kMsPerDay +
           ((d.hour * 60 + d.minute) * 60 + d.second) * std::int64_t{1000} + d.millisecond;
}

DateTime fromMillis(std::int64_t ms) {
    std::int64_t days = floorDiv(ms, kMsPerDay);
    std::int64_t msOfDay = ms - days * kMsPerDay;
    // 1/300 s ticks, half rounded up: .001 -> .000, .002 -> .003, .005 -> .007, .009 -> .010
    std::int64_t ticks = (msOfDay * 3 + 5) / 10;
    if (ticks >= kTicksPerDay) {
        ++days;
        ticks -= kTicksPerDay;
    }
    msOfDay = (ticks * 10 + 1) / 3;
    DateTime d;
    civilFromDays(days, d.year, d.month, d.day);
    d.millisecond = static_cast<int>(msOfDay % 1000);
    std::int64_t secs = msOfDay / 1000;
    d.second = static_cast<int>(secs % 60);
    d.minute = static_cast<int>(secs / 60 % 60);
    d.hour = static_cast<int>(secs / 3600);
    return d;
}

bool inDateTimeRange(const DateTime& d) { return d.year >= 1753 && d.year <= 9999; }

bool inSmallDateTimeRange(const DateTime& d) {
    if (d.year < 1900) return false;
    DateTime last{2079, 6, 6, 23, 59, 0, 0};
    return toMillis(d) <= toMillis(last);
}

DateTime roundToMinute(const DateTime& d) {
    int intoMinute = d.second * 1000 + d.millisecond;
    std::int64_t ms = toMillis(d) - intoMinute;
    if (intoMinute >= 30000) ms += 60000;
    return fromMillis(ms);
}

std::optional<DateOrder> dateOrderFromName(std::string_view name) {
    static const std::pair<const char*, DateOrder> kOrders[] = {
        {"mdy", DateOrder::MDY}, {"dmy", DateOrder::DMY}, {"ymd", DateOrder::YMD},
        {"ydm", DateOrder::YDM}, {"myd", DateOrder::MYD}, {"dym", DateOrder::DYM}};
    for (const auto& [n, order] : kOrders)
        if (equalsNoCase(name, n)) return order;
    return std::nullopt;
}

const char* dateOrderName(DateOrder order) {
    switch (order) {
    case DateOrder::MDY: return "mdy";
    case DateOrder::DMY: return "dmy";
    case DateOrder::YMD: return "ymd";
    case DateOrder::YDM: return "ydm";
    case DateOrder::MYD: return "myd";
    case DateOrder::DYM: return "dym";
    }
    return "mdy";
}

void setThreadDateSettings(const DateSettings& settings) { tDateSettings = settings; }

const DateSettings& threadDateSettings() { return tDateSettings; }

DateParse parseDateTime(std::string_view text, DateTime& out) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    DateTime d;
    Cursor c{text};
    if (!text.empty()) {
        if (startsWithTime(c)) {
            if (!parseTimePart(c, d)) return DateParse::Invalid;
        } else {
            if (!parseDatePart(c, d)) return DateParse::Invalid;
            if (c.peek() == 'T' || c.peek() == 't') {
                ++c.i;
                if (!parseTimePart(c, d)) return DateParse::Invalid;
            } else if (isBlank(c.peek())) {
                c.skipBlanks();
                if (!parseTimePart(c, d)) return DateParse::Invalid;
            }
        }
        if (!c.atEnd()) return DateParse::Invalid;
    }
    if (!validFields(d)) return DateParse::Invalid;
    if (!inDateTimeRange(d)) return DateParse::OutOfRange;
    DateTime r = fromMillis(toMillis(d));
    if (!inDateTimeRange(r)) return DateParse::OutOfRange;  // 9999-12-31 23:59:59.999
    out = r;
    return DateParse::Ok;
}

void formatDateTime(const DateTime& d, char out[24]) {
    int y = d.year;
    out[0] = static_cast<char>('0' + y / 1000 % 10);
    out[1] = static_cast<char>('0' + y / 100 % 10);
    put2(out + 2, y % 100);
    out[4] = '-';
    put2(out + 5, d.month);
    out[7] = '-';
    put2(out + 8, d.day);
    out[10] = ' ';
    put2(out + 11, d.hour);
    out[13] = ':';
    put2(out + 14, d.minute);
    out[16] = ':';
    put2(out + 17, d.second);
    out[19] = '.';
    out[20] = static_cast<char>('0' + d.millisecond / 100 % 10);
    put2(out + 21, d.millisecond % 100);
    out[23] = '\0';
}

std::string formatDateTime(const DateTime& d) {
    char buf[24];
    formatDateTime(d, buf);
    return std::string(buf, 23);
}

std::optional<DateTime> fromDays(double days) {
    // 1753-01-01 is day -53690, 9999-12-31 is day 2958463.
    if (!std::isfinite(days) || days < -53690.0 || days >= 2958464.0) return std::nullopt;
    double whole = std::floor(days);
    auto ticks = static_cast<std::int64_t>(std::llround((days - whole) * kTicksPerDay));
    std::int64_t ms = static_cast<std::int64_t>(whole) * kMsPerDay + (ticks * 10 + 1) / 3;
    DateTime d = fromMillis(ms);
    if (!inDateTimeRange(d)) return std::nullopt;
    return d;
}

double toDays(const DateTime& d) {
    std::int64_t ms = toMillis(d);
    std::int64_t days = floorDiv(ms, kMsPerDay);
    return static_cast<double>(days) + static_cast<double>(ms - days * kMsPerDay) / kMsPerDay;
}

std::optional<DatePart> parseDatePart(std::string_view name) {
    while (!name.empty() && isBlank(name.front())) name.remove_prefix(1);
    while (!name.empty() && isBlank(name.back())) name.remove_suffix(1);
    struct Alias {
        const char* name;
        DatePart part;
    };
    static const Alias aliases[] = {
        {"year", DatePart::Year},         {"yy", DatePart::Year},          {"yyyy", DatePart::Year},
        {"quarter", DatePart::Quarter},   {"qq", DatePart::Quarter},       {"q", DatePart::Quarter},
        {"month", DatePart::Month},       {"mm", DatePart::Month},         {"m", DatePart::Month},
        {"dayofyear", DatePart::DayOfYear}, {"dy", DatePart::DayOfYear},   {"y", DatePart::DayOfYear},
        {"day", DatePart::Day},           {"dd", DatePart::Day},           {"d", DatePart::Day},
        {"week", DatePart::Week},         {"wk", DatePart::Week},          {"ww", DatePart::Week},
        {"weekday", DatePart::Weekday},   {"dw", DatePart::Weekday},       {"w", DatePart::Weekday},
        {"hour", DatePart::Hour},         {"hh", DatePart::Hour},          {"minute", DatePart::Minute},
        {"mi", DatePart::Minute},         {"n", DatePart::Minute},         {"second", DatePart::Second},
        {"ss", DatePart::Second},         {"s", DatePart::Second},         {"millisecond", DatePart::Millisecond},
        {"ms", DatePart::Millisecond},
    };
    for (const Alias& a : aliases)
        if (equalsNoCase(name, a.name)) return a.part;
    return std::nullopt;
}

std::optional<DateTime> dateAdd(DatePart part, std::int64_t n, const DateTime& d) {
    // Far beyond any datetime distance; keeps the arithmetic below in range.
    if (n > 4000000000000LL || n < -4000000000000LL) return std::nullopt;
    std::int64_t months = 0, unitMs = 0;
    switch (part) {
    case DatePart::Year: months = n * 12; break;
    case DatePart::Quarter: months = n * 3; break;
    case DatePart::Month: months = n; break;
    case DatePart::DayOfYear:
    case DatePart::Day:
    case DatePart::Weekday: unitMs = kMsPerDay; break;
    case DatePart::Week: unitMs = 7 * kMsPerDay; break;
    case DatePart::Hour: unitMs = 3600000; break;
    case DatePart::Minute: unitMs = 60000; break;
    case DatePart::Second: unitMs = 1000; break;
    case DatePart::Millisecond: unitMs = 1; break;
    }
    DateTime r = d;
    if (unitMs == 0) {
        std::int64_t total = d.year * std::int64_t{12} + (d.month - 1) + months;
        std::int64_t y = floorDiv(total, 12);
        if (y < 1753 || y > 9999) return std::nullopt;
        r.year = static_cast<int>(y);
        r.month = static_cast<int>(floorMod(total, 12) + 1);
        r.day = std::min(d.day, daysInMonth(r.year, r.month));
    } else {
        std::int64_t delta;
        if (__builtin_mul_overflow(n, unitMs, &delta)) return std::nullopt;
        r = fromMillis(toMillis(d) + delta);
    }
    if (!inDateTimeRange(r)) return std::nullopt;
    return r;
}

std::int64_t dateDiff(DatePart part, const DateTime& a, const DateTime& b) {
    auto quarter = [](const DateTime& d) { return (d.month - 1) / 3; };
    auto days = [](const DateTime& d) { return daysFromCivil(d.year, d.month, d.day); };
    std::int64_t ma = toMillis(a), mb = toMillis(b);
    switch (part) {
    case DatePart::Year: return b.year - a.year;
    case DatePart::Quarter: return (b.year * 4LL + quarter(b)) - (a.year * 4LL + quarter(a));
    case DatePart::Month: return (b.year * 12LL + b.month) - (a.year * 12LL + a.month);
    case DatePart::DayOfYear:
    case DatePart::Day:
    case DatePart::Weekday: return days(b) - days(a);
    case DatePart::Week:  // weeks begin on Sunday; 1900-01-01 was a Monday
        return floorDiv(days(b) + 1, 7) - floorDiv(days(a) + 1, 7);
    case DatePart::Hour: return floorDiv(mb, 3600000) - floorDiv(ma, 3600000);
    case DatePart::Minute: return floorDiv(mb, 60000) - floorDiv(ma, 60000);
    case DatePart::Second: return floorDiv(mb, 1000) - floorDiv(ma, 1000);
    case DatePart::Millisecond: return mb - ma;
    }
    return 0;
}

int datePart(DatePart part, const DateTime& d) {
    // 1900-01-01 was a Monday; weekday 1 is the DATEFIRST day.
    const int first = tDateSettings.firstDayOfWeek;
    auto weekday = [first](std::int64_t days) { return static_cast<int>(floorMod(days + 8 - first, 7)) + 1; };
    std::int64_t days = daysFromCivil(d.year, d.month, d.day);
    std::int64_t jan1 = daysFromCivil(d.year, 1, 1);
    switch (part) {
    case DatePart::Year: return d.year;
    case DatePart::Quarter: return (d.month - 1) / 3 + 1;
    case DatePart::Month: return d.month;
    case DatePart::DayOfYear: return static_cast<int>(days - jan1) + 1;
    case DatePart::Day: return d.day;
    case DatePart::Week: return static_cast<int>((days - jan1 + weekday(jan1) - 1) / 7) + 1;
    case DatePart::Weekday: return weekday(days);
    case DatePart::Hour: return d.hour;
    case DatePart::Minute: return d.minute;
    case DatePart::Second: return d.second;
    case DatePart::Millisecond: return d.millisecond;
    }
    return 0;
}

std::optional<std::string> formatDateTimeStyle(const DateTime& d, int style) {
    char buf[64];
    const char* mon = kMonthAbbr[d.month - 1];
    int yy = d.year % 100;
    int h12 = d.hour % 12 == 0 ? 12 : d.hour % 12;
    const char* ampm = d.hour < 12 ? "AM" : "PM";
    bool century = style >= 100;
    int y = century ? d.year : yy;
    const char* yf = century ? "%04d" : "%02d";
    auto date3 = [&](const char* order, char sep) {
        // order "mdy", "ymd" or "dmy"; the year takes 2 or 4 digits.
        std::string s;
        for (const char* o = order; *o; ++o) {
            char part[8];
            if (*o == 'y')
                std::snprintf(part, sizeof part, yf, y);
            else
                std::snprintf(part, sizeof part, "%02d", *o == 'm' ? d.month : d.day);
            if (!s.empty() && sep) s += sep;
            s += part;
        }
        return s;
    };
    switch (style) {
    case 0:
    case 100:
        std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", mon, d.day, d.year, h12, d.minute, ampm);
        return std::string(buf);
    case 9:
    case 109:
        std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d:%02d:%03d%s", mon, d.day, d.year, h12, d.minute,
                      d.second, d.millisecond, ampm);
        return std::string(buf);
    case 1:
    case 101: return date3("mdy", '/');
    case 2:
    case 102: return date3("ymd", '.');
    case 3:
    case 103: return date3("dmy", '/');
    case 4:
    case 104: return date3("dmy", '.');
    case 5:
    case 105: return date3("dmy", '-');
    case 10:
    case 110: return date3("mdy", '-');
    case 11:
    case 111: return date3("ymd", '/');
    case 12:
    case 112: return date3("ymd", '\0');
    case 6:
    case 106:
        std::snprintf(buf, sizeof buf, "%02d %s ", d.day, mon);
        return std::string(buf) + date3("y", '\0');
    case 7:
    case 107:
        std::snprintf(buf, sizeof buf, "%s %02d, ", mon, d.day);
        return std::string(buf) + date3("y", '\0');
    case 8:
    case 108:
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", d.hour, d.minute, d.second);
        return std::string(buf);
    case 13:
    case 113:
        std::snprintf(buf, sizeof buf, "%02d %s %04d %02d:%02d:%02d:%03d", d.day, mon, d.year, d.hour, d.minute,
                      d.second, d.millisecond);
        return std::string(buf);
    case 14:
    case 114:
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%03d", d.hour, d.minute, d.second, d.millisecond);
        return std::string(buf);
    case 20:
    case 120: return formatDateTime(d).substr(0, 19);
    case 21:
    case 121: return formatDateTime(d);
    case 23: return formatDateTime(d).substr(0, 10);
    case 126:
    case 127: {
        // ISO 8601; the fraction is left out when it is zero.
        std::string s = formatDateTime(d);
        s[10] = 'T';
        if (d.millisecond == 0) s.resize(19);
        return s;
    }
    default: return std::nullopt;
    }
}

}  // namespace vqsql
