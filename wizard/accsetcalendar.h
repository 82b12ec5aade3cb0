// The accounting calendar of a new account set: twelve periods of the
// start year, natural months or periods the operator sets by their end
// dates.
#pragma once

#include <QDate>

// One period of the calendar: its month number (1 to 12) and its first and
// last day.
struct TCalendarMonth {
    int MonthID = 0;
    QDate BeginDate;
    QDate EndDate;
};
