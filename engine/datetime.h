// SQL Server's datetime and smalldatetime as the engine keeps them: parsing
// the date texts SQL Server accepts (us_english, DATEFORMAT mdy), the stored
// text form "YYYY-MM-DD HH:MM:SS.mmm", rounding to datetime's 1/300 s ticks
// and to smalldatetime's minutes, CONVERT styles, and DATEADD / DATEDIFF /
// DATEPART.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vqsql {

struct DateTime {
    int year = 1900;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    bool operator==(const DateTime&) const = default;
};

enum class DateParse { Ok, Invalid, OutOfRange };

// The order of month, day and year in a numeric date text such as
// '01/02/2008' (SET DATEFORMAT).
enum class DateOrder { MDY, DMY, YMD, YDM, MYD, DYM };
// "mdy", "dmy" ... (any letter case) and back.
std::optional<DateOrder> dateOrderFromName(std::string_view name);
const char* dateOrderName(DateOrder order);

// The session settings that date conversions and DATEPART follow. They
// belong to the session running on the calling thread: the session sets
// them whenever it starts a command and when a SET statement changes them.
struct DateSettings {
    DateOrder order = DateOrder::MDY;
    int firstDayOfWeek = 7;   // SET DATEFIRST: 1 = Monday ... 7 = Sunday
};
void setThreadDateSettings(const DateSettings& settings);
const DateSettings& threadDateSettings();

// Parses a date and/or time text as CAST(text AS datetime) does: dates
// 'yyyy-mm-dd', 'yyyy/mm/dd', 'yyyy.mm.dd', 'yyyymmdd', 'yymmdd', 'yyyy',
// 'mm/dd/yyyy' and 'mm/dd/yy' (also with '-' or '.'), 'mon dd yyyy',
// 'dd mon yyyy'; numeric dates separated by '/', '.' or '-' follow the
// thread's DateOrder (threadDateSettings), except 'yyyy-mm-dd', the form
// the engine stores datetimes in, which is always year, month, day; optionally followed (after blanks or 'T') by a time
// 'hh:mi[:ss[.fff|:mmm]]' with optional AM/PM; a time alone or an empty
// text means 1900-01-01. Milliseconds are rounded to 1/300 s ticks.
// Invalid: not such a text; OutOfRange: a valid date outside 1753..9999.
DateParse parseDateTime(std::string_view text, DateTime& out);

// "YYYY-MM-DD HH:MM:SS.mmm" into out (24 bytes incl. the terminating NUL).
void formatDateTime(const DateTime& d, char out[24]);
std::string formatDateTime(const DateTime& d);

// Days since 1900-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(int year, int month, int day);
void civilFromDays(std::int64_t days, int& year, int& month, int& day);

// Milliseconds since 1900-01-01 00:00:00.000 (negative before), and back.
// fromMillis rounds to 1/300 s ticks as datetime stores them
// (.xx0, .xx3, .xx7; .999 carries into the next second).
std::int64_t toMillis(const DateTime& d);
DateTime fromMillis(std::int64_t ms);

// True when d lies in datetime's range 1753-01-01 .. 9999-12-31.
bool inDateTimeRange(const DateTime& d);
// True when d lies in smalldatetime's range 1900-01-01 .. 2079-06-06 23:59.
bool inSmallDateTimeRange(const DateTime& d);

// Rounds a datetime to the minute as smalldatetime stores it: 29.998 s
// (stored as .997) rounds down, 29.999 s (stored as 30.000) up.
DateTime roundToMinute(const DateTime& d);

// A number of days since 1900-01-01, the fraction being the time of day,
// as CAST(number AS datetime) reads it; nullopt outside datetime's range.
std::optional<DateTime> fromDays(double days);
// The inverse: days since 1900-01-01 with the time as fraction.
double toDays(const DateTime& d);

enum class DatePart {
    Year, Quarter, Month, DayOfYear, Day, Week, Weekday, Hour, Minute, Second, Millisecond
};

// Recognises SQL Server's datepart names and abbreviations (year, yy,
// yyyy, quarter, qq, q, month, mm, m, dayofyear, dy, y, day, dd, d, week,
// wk, ww, weekday, dw, w, hour, hh, minute, mi, n, second, ss, s,
// millisecond, ms), case-insensitively.
std::optional<DatePart> parseDatePart(std::string_view name);

// DATEADD: adds n units; months and years keep the day when the target
// month has it, else take its last day. nullopt when the result leaves
// datetime's range.
std::optional<DateTime> dateAdd(DatePart part, std::int64_t n, const DateTime& d);

// DATEDIFF: the number of `part` boundaries crossed going from a to b
// (datediff(year, '2005-12-31', '2006-01-01') = 1; weeks start on Sunday).
std::int64_t dateDiff(DatePart part, const DateTime& a, const DateTime& b);

// DATEPART under the thread's DATEFIRST (threadDateSettings): weekday 1
// is the first day of the week; week 1 is the week containing January 1st.
int datePart(DatePart part, const DateTime& d);

// CONVERT(varchar, d, style). nullopt for a style SQL Server does not
// know for datetime.
std::optional<std::string> formatDateTimeStyle(const DateTime& d, int style);

}  // namespace vqsql
