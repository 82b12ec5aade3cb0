// The accounting calendar of a new account set (see accsetcalendar.h).
#include "accsetcalendar.h"

#include <algorithm>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// Day `day` of `month` in `year`, or the month's last day when it is shorter.
QDate dayOrLastDay(int year, int month, int day)
{
    const QDate first(year, month, 1);
    return QDate(year, month, std::min(day, first.daysInMonth()));
}

}  // namespace

TAccSetCalendar::TAccSetCalendar(int startYear, QObject* parent) : QAbstractTableModel(parent)
{
    startYear_ = std::clamp(startYear, kMinYear, kMaxYear);
    for (int m = 1; m <= kMonthCount; ++m) {
        TCalendarMonth& month = months_[m - 1];
        month.MonthID = m;
        month.BeginDate = QDate(startYear_, m, 1);
        month.EndDate = dayOrLastDay(startYear_, m, 31);
    }
}

QString TAccSetCalendar::title(int column)
{
    switch (column) {
    case MonthID:
        return QStringLiteral("会计月份");
    case BeginDate:
        return QStringLiteral("开始日期");
    case EndDate:
        return QStringLiteral("结束日期");
    default:
        return {};
    }
}

int TAccSetCalendar::columnWidth(int column)
{
    switch (column) {
    case MonthID:
        return kMonthIDWidth;
    case BeginDate:
        return kBeginDateWidth;
    case EndDate:
        return kEndDateWidth;
    default:
        return 0;
    }
}

void TAccSetCalendar::replaceMonths(const std::array<TCalendarMonth, kMonthCount>& months)
{
    int first = -1;
    int last = -1;
    for (int row = 0; row < kMonthCount; ++row) {
        const TCalendarMonth& was = months_[row];
        const TCalendarMonth& now = months[row];
        if (was.MonthID != now.MonthID || was.BeginDate != now.BeginDate || was.EndDate != now.EndDate) {
            if (first < 0)
                first = row;
            last = row;
        }
    }
    months_ = months;
    if (first >= 0)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
}

bool TAccSetCalendar::FillNaturalMonths(int year)
{
    if (year < kMinYear || year > kMaxYear)
        return false;
    startYear_ = year;
    std::array<TCalendarMonth, kMonthCount> months;
    for (int m = 1; m <= kMonthCount; ++m) {
        TCalendarMonth& month = months[m - 1];
        month.MonthID = m;
        month.BeginDate = QDate(year, m, 1);
        month.EndDate = dayOrLastDay(year, m, 31);
    }
    replaceMonths(months);
    return true;
}

bool TAccSetCalendar::setKind(int kind)
{
    if (kind != kNaturalMonths && kind != kUserDefinedMonths)
        return false;
    kind_ = kind;
    if (kind == kNaturalMonths)
        FillNaturalMonths(startYear_);
    return true;
}

bool TAccSetCalendar::setStartYear(int year)
{
    return FillNaturalMonths(year);
}

bool TAccSetCalendar::isRowEditable(int row) const
{
    return kind_ == kUserDefinedMonths && row >= 0 && row < kMonthCount && months_[row].MonthID != kMonthCount;
}

bool TAccSetCalendar::isCell(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && index.row() < kMonthCount && index.column() < ColumnCount;
}

int TAccSetCalendar::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kMonthCount;
}

int TAccSetCalendar::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TAccSetCalendar::data(const QModelIndex& index, int role) const
{
    if (!isCell(index))
        return {};
    const TCalendarMonth& month = months_[index.row()];
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    switch (index.column()) {
    case MonthID:
        return month.MonthID;
    case BeginDate:
        return role == Qt::EditRole ? QVariant(month.BeginDate) : QVariant(month.BeginDate.toString(kDateFormat));
    case EndDate:
        return role == Qt::EditRole ? QVariant(month.EndDate) : QVariant(month.EndDate.toString(kDateFormat));
    default:
        return {};
    }
}

QVariant TAccSetCalendar::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= 0 && section < ColumnCount) {
        if (role == Qt::DisplayRole)
            return title(section);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TAccSetCalendar::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == EndDate && isRowEditable(index.row()))
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TAccSetCalendar::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !isCell(index) || index.column() != EndDate || !isRowEditable(index.row()))
        return false;
    QDate typed;
    if (value.typeId() == QMetaType::QDate)
        typed = value.toDate();
    else if (value.typeId() == QMetaType::QString)
        typed = QDate::fromString(value.toString().trimmed(), kDateFormat);
    return EndDateChanged(index.row(), typed);
}

bool TAccSetCalendar::EndDateChanged(int row, const QDate& typed)
{
    if (!typed.isValid())
        return false;
    const int month = months_[row].MonthID;
    const int day = typed.day();
    // A date of another month or year is taken into the row's month of the
    // start year, on the same day or the month's last.
    QDate end = typed;
    if (typed.year() != startYear_ || typed.month() != month)
        end = dayOrLastDay(startYear_, month, day);
    if (end < months_[row].BeginDate)
        return false;

    std::array<TCalendarMonth, kMonthCount> months = months_;
    months[row].EndDate = end;
    for (int k = row + 1; k < kMonthCount; ++k) {
        months[k].BeginDate = months[k - 1].EndDate.addDays(1);
        if (months[k].MonthID < kMonthCount)
            months[k].EndDate = dayOrLastDay(startYear_, months[k].MonthID, day);
    }
    replaceMonths(months);
    return true;
}

bool TAccSetCalendar::insertRows(int, int, const QModelIndex&)
{
    return false;
}

bool TAccSetCalendar::removeRows(int, int, const QModelIndex&)
{
    return false;
}
