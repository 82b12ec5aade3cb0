// Tests of the datetime unit: the date texts SQL Server accepts under
// us_english, rounding to datetime ticks and smalldatetime minutes, day
// numbers, CONVERT styles and DATEADD / DATEDIFF / DATEPART. Expected values
// follow SQL Server's documentation of datetime and of those functions.
#include "datetime.h"

#include <gtest/gtest.h>

using namespace vqsql;

namespace {

// Parses a text that must be valid and returns the stored form.
std::string stored(const char* text) {
    DateTime d;
    DateParse r = parseDateTime(text, d);
    EXPECT_EQ(r, DateParse::Ok) << text;
    return formatDateTime(d);
}

DateTime at(const char* text) {
    DateTime d;
    EXPECT_EQ(parseDateTime(text, d), DateParse::Ok) << text;
    return d;
}

TEST(DateTimeParse, AcceptsSqlServerDateTexts) {
    struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"2026-12-09", "2026-12-09 00:00:00.000"},
        {"2026-1-9", "2026-01-09 00:00:00.000"},
        {"20261209", "2026-12-09 00:00:00.000"},
        {"261209", "2026-12-09 00:00:00.000"},
        {"2026", "2026-01-01 00:00:00.000"},
        {"2026/12/09", "2026-12-09 00:00:00.000"},
        {"2026.12.09", "2026-12-09 00:00:00.000"},
        {"12/09/2026", "2026-12-09 00:00:00.000"},  // mdy
        {"12-09-2026", "2026-12-09 00:00:00.000"},
        {"12/09/26", "2026-12-09 00:00:00.000"},
        {"12/09/50", "1950-12-09 00:00:00.000"},    // two-digit year cutoff 2049
        {"2026-12-09 13:14", "2026-12-09 13:14:00.000"},
        {"2026-12-09 13:14:15", "2026-12-09 13:14:15.000"},
        {"2026-12-09 13:14:15.5", "2026-12-09 13:14:15.500"},
        {"2026-12-09 13:14:15.12", "2026-12-09 13:14:15.120"},
        {"2026-12-09T13:14:15.123", "2026-12-09 13:14:15.123"},
        {"20261209 13:14:15", "2026-12-09 13:14:15.000"},
        {"2026-12-09 13:14:15:5", "2026-12-09 13:14:15.007"},  // ':' counts thousandths
        {"13:14:15", "1900-01-01 13:14:15.000"},
        {"1:30PM", "1900-01-01 13:30:00.000"},
        {"4 pm", "1900-01-01 16:00:00.000"},
        {"12:00 AM", "1900-01-01 00:00:00.000"},
        {"12:00PM", "1900-01-01 12:00:00.000"},
        {"2026-12-09 4:05PM", "2026-12-09 16:05:00.000"},
        {"Dec  9 2026  4:05AM", "2026-12-09 04:05:00.000"},
        {"December 9, 2026", "2026-12-09 00:00:00.000"},
        {"09 Dec 2026 04:05:06:007", "2026-12-09 04:05:06.007"},
        {"  2026-12-09  ", "2026-12-09 00:00:00.000"},
        {"", "1900-01-01 00:00:00.000"},
        {"2000-02-29", "2000-02-29 00:00:00.000"},
        {"1753-01-01", "1753-01-01 00:00:00.000"},
        {"9999-12-31 23:59:59.997", "9999-12-31 23:59:59.997"},
    };
    for (const auto& c : cases) EXPECT_EQ(stored(c.text), c.expected) << c.text;
}

TEST(DateTimeParse, RejectsInvalidAndOutOfRangeTexts) {
    struct {
        const char* text;
        DateParse expected;
    } cases[] = {
        {"abc", DateParse::Invalid},
        {"2026-02-30", DateParse::Invalid},
        {"1900-02-29", DateParse::Invalid},
        {"2026-13-01", DateParse::Invalid},
        {"2026-12-09 24:00", DateParse::Invalid},
        {"2026-12-09 12:60", DateParse::Invalid},
        {"2026-12-09x", DateParse::Invalid},
        {"2026-12-09 13:14:15.1234", DateParse::Invalid},
        {"13:00 PM", DateParse::Invalid},
        {"12/09", DateParse::Invalid},
        {"1752-12-31", DateParse::OutOfRange},
        {"9999-12-31 23:59:59.999", DateParse::OutOfRange},  // rounds into year 10000
    };
    for (const auto& c : cases) {
        DateTime d;
        EXPECT_EQ(parseDateTime(c.text, d), c.expected) << c.text;
    }
}

// The rounding table of SQL Server's datetime documentation.
TEST(DateTimeParse, RoundsMillisecondsToTicks) {
    struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"01/01/98 23:59:59.999", "1998-01-02 00:00:00.000"},
        {"01/01/98 23:59:59.995", "1998-01-01 23:59:59.997"},
        {"01/01/98 23:59:59.996", "1998-01-01 23:59:59.997"},
        {"01/01/98 23:59:59.997", "1998-01-01 23:59:59.997"},
        {"01/01/98 23:59:59.998", "1998-01-01 23:59:59.997"},
        {"01/01/98 23:59:59.992", "1998-01-01 23:59:59.993"},
        {"01/01/98 23:59:59.993", "1998-01-01 23:59:59.993"},
        {"01/01/98 23:59:59.994", "1998-01-01 23:59:59.993"},
        {"01/01/98 23:59:59.990", "1998-01-01 23:59:59.990"},
        {"01/01/98 23:59:59.991", "1998-01-01 23:59:59.990"},
    };
    for (const auto& c : cases) EXPECT_EQ(stored(c.text), c.expected) << c.text;
}

TEST(SmallDateTime, RoundsToTheMinute) {
    EXPECT_EQ(formatDateTime(roundToMinute(at("2000-05-08 12:35:29.998"))), "2000-05-08 12:35:00.000");
    EXPECT_EQ(formatDateTime(roundToMinute(at("2000-05-08 12:35:29.999"))), "2000-05-08 12:36:00.000");
    EXPECT_EQ(formatDateTime(roundToMinute(at("2000-05-08 23:59:30"))), "2000-05-09 00:00:00.000");
    EXPECT_TRUE(inSmallDateTimeRange(at("1900-01-01")));
    EXPECT_TRUE(inSmallDateTimeRange(at("2079-06-06 23:59")));
    EXPECT_FALSE(inSmallDateTimeRange(at("2079-06-07")));
    EXPECT_FALSE(inSmallDateTimeRange(at("1899-12-31 23:59")));
}

TEST(DayNumbers, CountFromJanuaryFirst1900) {
    EXPECT_EQ(daysFromCivil(1900, 1, 1), 0);
    EXPECT_EQ(daysFromCivil(1753, 1, 1), -53690);
    EXPECT_EQ(daysFromCivil(9999, 12, 31), 2958463);
    EXPECT_EQ(daysFromCivil(2000, 3, 1) - daysFromCivil(2000, 2, 28), 2);
    for (std::int64_t day = -53690; day <= 2958463; day += 997) {
        int y, m, d;
        civilFromDays(day, y, m, d);
        ASSERT_EQ(daysFromCivil(y, m, d), day);
    }
    EXPECT_EQ(formatDateTime(*fromDays(0)), "1900-01-01 00:00:00.000");
    EXPECT_EQ(formatDateTime(*fromDays(1.5)), "1900-01-02 12:00:00.000");
    EXPECT_EQ(formatDateTime(*fromDays(-1)), "1899-12-31 00:00:00.000");
    EXPECT_FALSE(fromDays(-53691).has_value());
    EXPECT_FALSE(fromDays(2958464).has_value());
    EXPECT_DOUBLE_EQ(toDays(at("1900-01-03 06:00")), 2.25);
}

TEST(DateParts, RecognisesNamesAndAbbreviations) {
    struct {
        const char* name;
        DatePart part;
    } cases[] = {
        {"year", DatePart::Year},          {"yy", DatePart::Year},          {"YYYY", DatePart::Year},
        {"qq", DatePart::Quarter},         {"q", DatePart::Quarter},        {"mm", DatePart::Month},
        {"m", DatePart::Month},            {"dy", DatePart::DayOfYear},     {"y", DatePart::DayOfYear},
        {"dd", DatePart::Day},             {"d", DatePart::Day},            {"wk", DatePart::Week},
        {"ww", DatePart::Week},            {"dw", DatePart::Weekday},       {"hh", DatePart::Hour},
        {"mi", DatePart::Minute},          {"n", DatePart::Minute},         {"ss", DatePart::Second},
        {"s", DatePart::Second},           {"ms", DatePart::Millisecond},   {"Millisecond", DatePart::Millisecond},
    };
    for (const auto& c : cases) {
        auto p = parseDatePart(c.name);
        ASSERT_TRUE(p.has_value()) << c.name;
        EXPECT_EQ(*p, c.part) << c.name;
    }
    EXPECT_FALSE(parseDatePart("mon").has_value());
    EXPECT_FALSE(parseDatePart("").has_value());
}

TEST(DateAdd, AddsUnitsAndClampsTheDay) {
    struct {
        DatePart part;
        std::int64_t n;
        const char* from;
        const char* expected;
    } cases[] = {
        {DatePart::Month, 1, "2006-08-31", "2006-09-30 00:00:00.000"},
        {DatePart::Year, 1, "2008-02-29", "2009-02-28 00:00:00.000"},
        {DatePart::Quarter, 1, "2006-11-30", "2007-02-28 00:00:00.000"},
        {DatePart::Month, -13, "2006-01-15", "2004-12-15 00:00:00.000"},
        {DatePart::Day, 1, "2006-12-31", "2007-01-01 00:00:00.000"},
        {DatePart::DayOfYear, 1, "2006-12-31", "2007-01-01 00:00:00.000"},
        {DatePart::Weekday, -1, "2007-01-01", "2006-12-31 00:00:00.000"},
        {DatePart::Week, 2, "2006-12-25", "2007-01-08 00:00:00.000"},
        {DatePart::Hour, -1, "2006-01-01 00:30", "2005-12-31 23:30:00.000"},
        {DatePart::Minute, 90, "2006-01-01 23:00", "2006-01-02 00:30:00.000"},
        {DatePart::Second, 61, "2006-01-01 00:00:00", "2006-01-01 00:01:01.000"},
        {DatePart::Millisecond, 2, "2006-01-01 00:00:00.000", "2006-01-01 00:00:00.003"},
        {DatePart::Millisecond, 1, "2006-01-01 00:00:00.000", "2006-01-01 00:00:00.000"},
    };
    for (const auto& c : cases) {
        auto r = dateAdd(c.part, c.n, at(c.from));
        ASSERT_TRUE(r.has_value()) << c.from;
        EXPECT_EQ(formatDateTime(*r), c.expected) << c.from;
    }
    EXPECT_FALSE(dateAdd(DatePart::Year, 1, at("9999-06-01")).has_value());
    EXPECT_FALSE(dateAdd(DatePart::Day, -1, at("1753-01-01")).has_value());
    EXPECT_FALSE(dateAdd(DatePart::Millisecond, INT64_MAX, at("2000-01-01")).has_value());
}

// DATEDIFF counts crossed boundaries, not elapsed whole units.
TEST(DateDiff, CountsBoundariesCrossed) {
    DateTime a = at("2005-12-31 23:59:59.997"), b = at("2006-01-01 00:00:00.000");
    for (DatePart p : {DatePart::Year, DatePart::Quarter, DatePart::Month, DatePart::DayOfYear, DatePart::Day,
                       DatePart::Week, DatePart::Hour, DatePart::Minute, DatePart::Second})
        EXPECT_EQ(dateDiff(p, a, b), 1) << static_cast<int>(p);
    EXPECT_EQ(dateDiff(DatePart::Millisecond, a, b), 3);
    EXPECT_EQ(dateDiff(DatePart::Year, at("2006-01-01"), at("2006-12-31")), 0);
    EXPECT_EQ(dateDiff(DatePart::Month, at("2006-01-31"), at("2006-02-01")), 1);
    EXPECT_EQ(dateDiff(DatePart::Day, at("2006-01-02"), at("2006-01-01")), -1);
    EXPECT_EQ(dateDiff(DatePart::Week, at("2024-01-06"), at("2024-01-07")), 1);  // Saturday -> Sunday
    EXPECT_EQ(dateDiff(DatePart::Week, at("2024-01-07"), at("2024-01-13")), 0);  // Sunday -> Saturday
    EXPECT_EQ(dateDiff(DatePart::Hour, at("2006-01-01 10:59"), at("2006-01-01 11:00")), 1);
    EXPECT_EQ(dateDiff(DatePart::Hour, at("1800-01-01 10:59"), at("1800-01-01 11:00")), 1);
    EXPECT_EQ(dateDiff(DatePart::Minute, at("2006-01-01 10:59:59"), at("2006-01-01 10:59:00")), 0);
}

TEST(DatePart, UsEnglishWeeksStartOnSunday) {
    DateTime d = at("2024-01-07 13:14:15.997");  // a Sunday
    EXPECT_EQ(datePart(DatePart::Year, d), 2024);
    EXPECT_EQ(datePart(DatePart::Quarter, d), 1);
    EXPECT_EQ(datePart(DatePart::Month, d), 1);
    EXPECT_EQ(datePart(DatePart::DayOfYear, d), 7);
    EXPECT_EQ(datePart(DatePart::Day, d), 7);
    EXPECT_EQ(datePart(DatePart::Week, d), 2);
    EXPECT_EQ(datePart(DatePart::Weekday, d), 1);
    EXPECT_EQ(datePart(DatePart::Hour, d), 13);
    EXPECT_EQ(datePart(DatePart::Minute, d), 14);
    EXPECT_EQ(datePart(DatePart::Second, d), 15);
    EXPECT_EQ(datePart(DatePart::Millisecond, d), 997);
    EXPECT_EQ(datePart(DatePart::Weekday, at("1900-01-01")), 2);  // a Monday
    EXPECT_EQ(datePart(DatePart::Week, at("2024-01-06")), 1);
    EXPECT_EQ(datePart(DatePart::Week, at("2007-04-21")), 16);
    EXPECT_EQ(datePart(DatePart::Weekday, at("2007-04-21")), 7);
    EXPECT_EQ(datePart(DatePart::DayOfYear, at("2008-12-31")), 366);
    EXPECT_EQ(datePart(DatePart::Weekday, at("1800-01-01")), 4);  // a Wednesday
}

TEST(ConvertStyles, FormatsAsSqlServer) {
    DateTime d = at("2026-12-09 04:05:06.007");
    struct {
        int style;
        const char* expected;
    } cases[] = {
        {0, "Dec  9 2026  4:05AM"},   {100, "Dec  9 2026  4:05AM"},
        {1, "12/09/26"},              {101, "12/09/2026"},
        {2, "26.12.09"},              {102, "2026.12.09"},
        {3, "09/12/26"},              {103, "09/12/2026"},
        {4, "09.12.26"},              {104, "09.12.2026"},
        {5, "09-12-26"},              {105, "09-12-2026"},
        {6, "09 Dec 26"},             {106, "09 Dec 2026"},
        {7, "Dec 09, 26"},            {107, "Dec 09, 2026"},
        {8, "04:05:06"},              {108, "04:05:06"},
        {9, "Dec  9 2026  4:05:06:007AM"}, {109, "Dec  9 2026  4:05:06:007AM"},
        {10, "12-09-26"},             {110, "12-09-2026"},
        {11, "26/12/09"},             {111, "2026/12/09"},
        {12, "261209"},               {112, "20261209"},
        {13, "09 Dec 2026 04:05:06:007"}, {113, "09 Dec 2026 04:05:06:007"},
        {14, "04:05:06:007"},         {114, "04:05:06:007"},
        {20, "2026-12-09 04:05:06"},  {120, "2026-12-09 04:05:06"},
        {21, "2026-12-09 04:05:06.007"}, {121, "2026-12-09 04:05:06.007"},
        {23, "2026-12-09"},           {126, "2026-12-09T04:05:06.007"},
    };
    for (const auto& c : cases) {
        auto s = formatDateTimeStyle(d, c.style);
        ASSERT_TRUE(s.has_value()) << c.style;
        EXPECT_EQ(*s, c.expected) << c.style;
    }
    EXPECT_EQ(*formatDateTimeStyle(at("2026-12-19 12:00"), 0), "Dec 19 2026 12:00PM");
    EXPECT_EQ(*formatDateTimeStyle(at("2026-12-19 00:07"), 100), "Dec 19 2026 12:07AM");
    EXPECT_EQ(*formatDateTimeStyle(at("2026-12-19 23:07"), 100), "Dec 19 2026 11:07PM");
    EXPECT_EQ(*formatDateTimeStyle(at("2026-12-19 23:07"), 126), "2026-12-19T23:07:00");  // no zero fraction
    EXPECT_FALSE(formatDateTimeStyle(d, 99).has_value());
    EXPECT_FALSE(formatDateTimeStyle(d, 15).has_value());
}

TEST(ConvertStyles, StyleZeroTextParsesBack) {
    DateTime d = at("2026-03-04 17:08");
    EXPECT_EQ(at(formatDateTimeStyle(d, 0)->c_str()), d);
    EXPECT_EQ(at(formatDateTimeStyle(d, 121)->c_str()), d);
    EXPECT_EQ(at(formatDateTimeStyle(d, 113)->c_str()), d);
}

}  // namespace
