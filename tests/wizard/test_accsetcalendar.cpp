// The accounting calendar model of the new account-set wizard: the end
// dates the operator types and how the following months move, what may be
// edited, and the rebuilds on a change of kind or start year.
#include "accsetcalendar.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

// Dates in failure messages as yyyy-MM-dd.
static void PrintTo(const QDate& date, std::ostream* os)
{
    *os << date.toString(Qt::ISODate).toStdString();
}

namespace {

QDate d(int y, int m, int day)
{
    return QDate(y, m, day);
}

// The twelve natural months of `year`, by QDate's own month arithmetic.
std::vector<QDate> naturalEnds(int year)
{
    std::vector<QDate> ends;
    for (int m = 1; m <= 12; ++m)
        ends.push_back(d(year, m, 1).addMonths(1).addDays(-1));
    return ends;
}

// Ends on day `day` (or the month's last) from month `from` to 11; months
// before `from` as in `before`; 31 December.
std::vector<QDate> endsOnDay(int year, int from, int day, std::vector<QDate> before)
{
    for (int m = from; m <= 11; ++m) {
        const QDate first = d(year, m, 1);
        before[m - 1] = d(year, m, std::min(day, first.daysInMonth()));
    }
    before[11] = d(year, 12, 31);
    return before;
}

std::vector<QDate> endsOf(const TAccSetCalendar& calendar)
{
    std::vector<QDate> ends;
    for (const TCalendarMonth& month : calendar.months())
        ends.push_back(month.EndDate);
    return ends;
}

// What every calendar must be: months 1..12 in order, month 1 from
// 1 January, month 12 to 31 December, each month beginning the day after
// the previous one ends and never ending before it begins.
void expectWellFormed(const TAccSetCalendar& calendar, const std::string& where)
{
    SCOPED_TRACE(where);
    const int year = calendar.startYear();
    const auto& months = calendar.months();
    EXPECT_EQ(months[0].BeginDate, d(year, 1, 1));
    EXPECT_EQ(months[11].EndDate, d(year, 12, 31));
    for (int row = 0; row < 12; ++row) {
        EXPECT_EQ(months[row].MonthID, row + 1);
        EXPECT_LE(months[row].BeginDate, months[row].EndDate) << "month " << row + 1;
        if (row > 0) {
            EXPECT_EQ(months[row].BeginDate, months[row - 1].EndDate.addDays(1)) << "month " << row + 1;
        }
    }
}

bool typeEnd(TAccSetCalendar& calendar, int month, const QVariant& value)
{
    return calendar.setData(calendar.index(month - 1, TAccSetCalendar::EndDate), value);
}

// ---- Accepted edits ------------------------------------------------------

struct EditCase {
    const char* name;
    int year;
    std::vector<std::pair<int, QVariant>> edits;  // (month, typed end date), in order
    std::vector<QDate> ends;                      // the twelve end dates afterwards
};

std::vector<EditCase> editCases()
{
    const auto n2024 = naturalEnds(2024);
    const auto n2023 = naturalEnds(2023);
    return {
        {"Day25FromJanuary", 2024, {{1, d(2024, 1, 25)}}, endsOnDay(2024, 1, 25, n2024)},
        {"TypedAsText", 2024, {{1, QStringLiteral("2024-01-25")}}, endsOnDay(2024, 1, 25, n2024)},
        // 31 after 25: back to day 31, February of the leap year ends on the 29th.
        {"Day31LeapYear", 2024, {{1, d(2024, 1, 25)}, {1, d(2024, 1, 31)}}, n2024},
        // February of 2023 ends on the 28th.
        {"Day31CommonYear", 2023, {{1, d(2023, 1, 10)}, {1, d(2023, 1, 31)}}, n2023},
        // 10 April typed on month 3 is 10 March; 20 February likewise 20 March.
        {"AnotherMonthTyped", 2024, {{3, d(2024, 4, 10)}}, endsOnDay(2024, 3, 10, n2024)},
        {"EarlierMonthTyped", 2024, {{3, d(2024, 2, 20)}}, endsOnDay(2024, 3, 20, n2024)},
        // 31 May on April (30 days): 30 April, and the later months keep day 31.
        {"MissingDayBecomesLastDay", 2024, {{4, d(2024, 5, 31)}},
         {d(2024, 1, 31), d(2024, 2, 29), d(2024, 3, 31), d(2024, 4, 30), d(2024, 5, 31), d(2024, 6, 30),
          d(2024, 7, 31), d(2024, 8, 31), d(2024, 9, 30), d(2024, 10, 31), d(2024, 11, 30), d(2024, 12, 31)}},
        {"OwnMonthOtherYear", 2024, {{2, d(2023, 2, 15)}}, endsOnDay(2024, 2, 15, n2024)},
        {"LeapDayIntoCommonYear", 2023, {{2, d(2024, 2, 29)}},
         {d(2023, 1, 31), d(2023, 2, 28), d(2023, 3, 29), d(2023, 4, 29), d(2023, 5, 29), d(2023, 6, 29),
          d(2023, 7, 29), d(2023, 8, 29), d(2023, 9, 29), d(2023, 10, 29), d(2023, 11, 29), d(2023, 12, 31)}},
        // Earlier months keep their own end dates.
        {"LaterEditKeepsEarlierMonths", 2024, {{1, d(2024, 1, 25)}, {6, d(2024, 6, 15)}},
         endsOnDay(2024, 6, 15, endsOnDay(2024, 1, 25, n2024))},
        {"EarlierEditRedoesLaterMonths", 2024, {{6, d(2024, 6, 15)}, {2, d(2024, 2, 20)}},
         endsOnDay(2024, 2, 20, n2024)},
        // Month 11 moves only month 12's beginning.
        {"Month11", 2024, {{1, d(2024, 1, 25)}, {11, d(2024, 11, 20)}},
         endsOnDay(2024, 11, 20, endsOnDay(2024, 1, 25, n2024))},
        {"OneDayPeriod", 2024, {{1, d(2024, 1, 31)}, {2, d(2024, 2, 1)}}, endsOnDay(2024, 2, 1, n2024)},
    };
}

void PrintTo(const EditCase& c, std::ostream* os)
{
    *os << c.name;
}

class CalendarEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(CalendarEdit, MovesTheFollowingMonths)
{
    const EditCase& c = GetParam();
    TAccSetCalendar calendar(c.year);
    ASSERT_TRUE(calendar.setKind(TAccSetCalendar::kUserDefinedMonths));
    for (const auto& [month, typed] : c.edits)
        ASSERT_TRUE(typeEnd(calendar, month, typed)) << "month " << month;
    EXPECT_EQ(endsOf(calendar), c.ends);
    expectWellFormed(calendar, c.name);
}

INSTANTIATE_TEST_SUITE_P(AccSetCalendar, CalendarEdit, ::testing::ValuesIn(editCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Views hear of the rows that changed, from the edited one on, and of none
// when the same end date is typed again.
TEST(AccSetCalendar, TellsViewsOfChangedRows)
{
    TAccSetCalendar calendar(2024);
    calendar.setKind(TAccSetCalendar::kUserDefinedMonths);
    QSignalSpy changed(&calendar, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(typeEnd(calendar, 11, d(2024, 11, 20)));
    ASSERT_TRUE(typeEnd(calendar, 11, d(2024, 11, 20)));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 10);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 11);
}

// ---- Refused edits -------------------------------------------------------

struct RefusedCase {
    const char* name;
    int kind;
    int row;
    int column;
    QVariant value;
    int role;
};

void PrintTo(const RefusedCase& c, std::ostream* os)
{
    *os << c.name;
}

class CalendarRefusedEdit : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(CalendarRefusedEdit, ChangesNothing)
{
    const RefusedCase& c = GetParam();
    TAccSetCalendar calendar(2024);
    calendar.setKind(TAccSetCalendar::kUserDefinedMonths);
    ASSERT_TRUE(typeEnd(calendar, 2, d(2024, 2, 20)));
    calendar.setKind(c.kind);
    const auto before = calendar.months();
    QSignalSpy changed(&calendar, &QAbstractItemModel::dataChanged);
    EXPECT_FALSE(calendar.setData(calendar.index(c.row, c.column), c.value, c.role));
    for (int row = 0; row < 12; ++row) {
        EXPECT_EQ(calendar.months()[row].BeginDate, before[row].BeginDate) << "row " << row;
        EXPECT_EQ(calendar.months()[row].EndDate, before[row].EndDate) << "row " << row;
    }
    EXPECT_EQ(changed.count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    AccSetCalendar, CalendarRefusedEdit,
    ::testing::Values(
        RefusedCase{"NullDate", 1, 4, TAccSetCalendar::EndDate, QDate(), Qt::EditRole},
        RefusedCase{"EmptyText", 1, 4, TAccSetCalendar::EndDate, QString(), Qt::EditRole},
        RefusedCase{"NoSuchDay", 1, 4, TAccSetCalendar::EndDate, QStringLiteral("2024-02-30"), Qt::EditRole},
        RefusedCase{"NotADate", 1, 4, TAccSetCalendar::EndDate, QStringLiteral("next week"), Qt::EditRole},
        RefusedCase{"Number", 1, 4, TAccSetCalendar::EndDate, 20240515, Qt::EditRole},
        RefusedCase{"Month12", 1, 11, TAccSetCalendar::EndDate, d(2024, 12, 20), Qt::EditRole},
        RefusedCase{"NaturalMonths", 0, 4, TAccSetCalendar::EndDate, d(2024, 5, 20), Qt::EditRole},
        RefusedCase{"BeginDate", 1, 4, TAccSetCalendar::BeginDate, d(2024, 5, 5), Qt::EditRole},
        RefusedCase{"MonthID", 1, 4, TAccSetCalendar::MonthID, 7, Qt::EditRole},
        RefusedCase{"OtherRole", 1, 4, TAccSetCalendar::EndDate, d(2024, 5, 20), Qt::ToolTipRole},
        RefusedCase{"NoSuchRow", 1, 12, TAccSetCalendar::EndDate, d(2024, 5, 20), Qt::EditRole}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- What may be edited --------------------------------------------------

TEST(AccSetCalendar, OnlyEndDatesOfMonths1To11OfUserDefinedMonths)
{
    TAccSetCalendar calendar(2024);
    for (int kind : {0, 1}) {
        calendar.setKind(kind);
        for (int row = 0; row < 12; ++row) {
            const bool editableRow = kind == 1 && row < 11;
            EXPECT_EQ(calendar.isRowEditable(row), editableRow) << "kind " << kind << " row " << row;
            for (int column = 0; column < 3; ++column) {
                const bool editable = calendar.flags(calendar.index(row, column)).testFlag(Qt::ItemIsEditable);
                EXPECT_EQ(editable, editableRow && column == TAccSetCalendar::EndDate)
                    << "kind " << kind << " row " << row << " column " << column;
            }
        }
    }
}

TEST(AccSetCalendar, AlwaysTwelveRows)
{
    TAccSetCalendar calendar(2024);
    calendar.setKind(TAccSetCalendar::kUserDefinedMonths);
    EXPECT_FALSE(calendar.insertRows(12, 1));
    EXPECT_FALSE(calendar.removeRows(11, 1));
    EXPECT_EQ(calendar.rowCount(), 12);
}

TEST(AccSetCalendar, GridTitlesWidthsAndDates)
{
    TAccSetCalendar calendar(2024);
    const char* titles[] = {"会计月份", "开始日期", "结束日期"};
    const int widths[] = {80, 120, 120};
    for (int column = 0; column < 3; ++column) {
        EXPECT_EQ(calendar.headerData(column, Qt::Horizontal).toString(), QString::fromUtf8(titles[column]));
        EXPECT_EQ(calendar.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
                  Qt::Alignment(Qt::AlignCenter));
        EXPECT_EQ(TAccSetCalendar::columnWidth(column), widths[column]);
    }
    EXPECT_EQ(calendar.data(calendar.index(1, 0)).toInt(), 2);
    EXPECT_EQ(calendar.data(calendar.index(1, 1)).toString(), QStringLiteral("2024-02-01"));
    EXPECT_EQ(calendar.data(calendar.index(1, 2)).toString(), QStringLiteral("2024-02-29"));
    EXPECT_EQ(calendar.data(calendar.index(1, 2), Qt::EditRole).toDate(), d(2024, 2, 29));
}

// ---- Kind and start year -------------------------------------------------

// Natural months at first and again when chosen; choosing user-defined
// months keeps the rows as they are.
TEST(AccSetCalendar, KindChanges)
{
    TAccSetCalendar calendar(2024);
    EXPECT_EQ(calendar.kind(), 0);
    EXPECT_EQ(endsOf(calendar), naturalEnds(2024));
    EXPECT_TRUE(calendar.setKind(1));
    EXPECT_EQ(endsOf(calendar), naturalEnds(2024));
    ASSERT_TRUE(typeEnd(calendar, 1, d(2024, 1, 25)));
    const auto edited = endsOf(calendar);
    EXPECT_TRUE(calendar.setKind(1));
    EXPECT_EQ(endsOf(calendar), edited);
    EXPECT_FALSE(calendar.setKind(2));
    EXPECT_EQ(calendar.kind(), 1);
    EXPECT_TRUE(calendar.setKind(0));
    EXPECT_EQ(calendar.kind(), 0);
    EXPECT_EQ(endsOf(calendar), naturalEnds(2024));
}

// A start year in 2000..2200 gives natural months of that year whatever
// the kind; any other is refused.
TEST(AccSetCalendar, StartYearRebuildsInEitherKind)
{
    for (int kind : {0, 1}) {
        TAccSetCalendar calendar(2024);
        calendar.setKind(kind);
        if (kind == 1) {
            ASSERT_TRUE(typeEnd(calendar, 2, d(2024, 2, 20)));
        }
        const auto before = endsOf(calendar);
        EXPECT_FALSE(calendar.setStartYear(1999));
        EXPECT_FALSE(calendar.setStartYear(2201));
        EXPECT_EQ(endsOf(calendar), before);
        for (int year : {2023, 2000, 2200}) {
            EXPECT_TRUE(calendar.setStartYear(year));
            EXPECT_EQ(calendar.kind(), kind);
            EXPECT_EQ(calendar.startYear(), year);
            EXPECT_EQ(endsOf(calendar), naturalEnds(year)) << "kind " << kind << " year " << year;
        }
    }
}

// Edits on rows 1..11 of a typed date anywhere in the next centuries, with
// now and then a new start year: every accepted edit leaves a well-formed
// calendar, moves months 1..11 into their own month and the months before
// the edited one not at all.
TEST(AccSetCalendar, EveryEditKeepsTheCalendarWellFormed)
{
    std::mt19937 random(20240125);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    TAccSetCalendar calendar(2024);
    calendar.setKind(1);
    for (int step = 0; step < 5000; ++step) {
        if (pick(0, 99) == 0) {
            ASSERT_TRUE(calendar.setStartYear(pick(TAccSetCalendar::kMinYear, TAccSetCalendar::kMaxYear)));
        }
        const int month = pick(1, 11);
        const QDate first(pick(1990, 2250), pick(1, 12), 1);
        const QDate typed(first.year(), first.month(), pick(1, first.daysInMonth()));
        const auto before = calendar.months();
        const std::string where = "step " + std::to_string(step) + " month " + std::to_string(month) + " typed " +
                                  typed.toString(Qt::ISODate).toStdString();
        ASSERT_TRUE(typeEnd(calendar, month, typed)) << where;
        expectWellFormed(calendar, where);
        const auto& months = calendar.months();
        for (int row = 0; row < month - 1; ++row)
            EXPECT_EQ(months[row].EndDate, before[row].EndDate) << where;
        for (int row = 0; row < 11; ++row) {
            EXPECT_EQ(months[row].EndDate.month(), row + 1) << where;
            EXPECT_EQ(months[row].EndDate.year(), calendar.startYear()) << where;
        }
        const QDate end = months[month - 1].EndDate;
        EXPECT_EQ(end.day(), std::min(typed.day(), end.daysInMonth())) << where;
        if (HasFailure())
            break;
    }
}

}  // namespace
