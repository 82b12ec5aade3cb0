// The accounting calendar of a new account set: twelve periods of the
// start year, natural months or periods the operator sets by their end
// dates.
#pragma once

#include <QAbstractTableModel>
#include <QDate>

#include <array>

// One period of the calendar: its month number (1 to 12) and its first and
// last day.
struct TCalendarMonth {
    int MonthID = 0;
    QDate BeginDate;
    QDate EndDate;
};

// The calendar table of the wizard: always twelve rows, months 1 to 12 in
// order, with the columns 会计月份, 开始日期 and 结束日期. Rows are never
// added nor removed.
//
// With natural months (kind 0) every period is a calendar month of the
// start year and nothing is editable. With user-defined months (kind 1) the
// operator types the end date of months 1 to 11; month 12 always ends on
// 31 December. Typing the end date E on the row of month m (EndDateChanged):
//   - E is taken into month m of the start year Y with its day d: a date of
//     another month, or of month m but another year, becomes (Y, m, d). When
//     month m of Y has no day d (31 typed on a 30-day month, 29 on February
//     of a common year) it becomes the last day of month m;
//   - every following month k then begins the day after month k-1 ends and,
//     if k < 12, ends on day d of month k of Y, or on its last day if
//     month k is shorter (d stays the typed day, so 31 January gives
//     29 February and then 31 March);
//   - months before m are not changed.
// So month 1 always begins on 1 January, month 12 always ends on
// 31 December, every month begins the day after the previous one ends, and
// months 1 to 11 end within their own month.
//
// Refused (setData returns false, nothing changes): an invalid or empty
// date, an edit that would make the month end before it begins (a period
// that is empty or negative; the rules above never lead to one while the
// rows hold, the check keeps a wrong calendar from ever being stored), and
// edits of a cell that is not editable.
//
// The rows are rebuilt as natural months (FillNaturalMonths) when the start
// year changes, whatever the kind, and when the kind becomes 0 (typed end
// dates are dropped); choosing kind 1 keeps the rows as they are.
class TAccSetCalendar : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { MonthID, BeginDate, EndDate, ColumnCount };
    // The grid's column widths, in pixels.
    static constexpr int kMonthIDWidth = 80;
    static constexpr int kBeginDateWidth = 120;
    static constexpr int kEndDateWidth = 120;
    // The calendar kinds.
    static constexpr int kNaturalMonths = 0;
    static constexpr int kUserDefinedMonths = 1;
    // The start years the wizard accepts.
    static constexpr int kMinYear = 2000;
    static constexpr int kMaxYear = 2200;
    static constexpr int kMonthCount = 12;

    // Natural months of `startYear` (brought into kMinYear..kMaxYear).
    explicit TAccSetCalendar(int startYear = QDate::currentDate().year(), QObject* parent = nullptr);

    // The title and the width of a column.
    static QString title(int column);
    static int columnWidth(int column);

    int kind() const { return kind_; }
    int startYear() const { return startYear_; }
    const std::array<TCalendarMonth, kMonthCount>& months() const { return months_; }

    // Rebuilds the rows as the calendar months of `year`, which becomes the
    // start year; the rows are written directly, so no edit rule runs.
    // False, and nothing changes, for a year outside kMinYear..kMaxYear.
    bool FillNaturalMonths(int year);
    // The calendar kind chosen (RadioGroupCalendarKindClick): 0 rebuilds
    // natural months of the start year, 1 keeps the rows. False for any
    // other kind.
    bool setKind(int kind);
    // The start year changed (SpinEditYearChange): natural months of
    // `year`, whatever the kind. False for a year out of range.
    bool setStartYear(int year);
    // Whether the end date of `row` may be typed: kind 1 and not month 12.
    // The grid is read-only on a row where this is false.
    bool isRowEditable(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Takes a QDate, or a text yyyy-MM-dd, typed as the end date of an
    // editable row (EditRole), and applies EndDateChanged.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // The calendar has exactly twelve rows: always false.
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

private:
    // Whether `index` is one of this model's cells.
    bool isCell(const QModelIndex& index) const;
    // The end date `typed` on `row`, by the rules above. False when refused.
    bool EndDateChanged(int row, const QDate& typed);
    // Replaces the rows, telling views of the rows that differ.
    void replaceMonths(const std::array<TCalendarMonth, kMonthCount>& months);

    int kind_ = kNaturalMonths;
    int startYear_ = kMinYear;
    std::array<TCalendarMonth, kMonthCount> months_;
};
