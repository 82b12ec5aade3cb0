// The login-log viewer TSrvClientLogForm: the ended logins up to the end
// of the chosen day, newest first, and clearing them from view (their rows
// stay in the table with Closed = 2).
#pragma once

#include "srvbaselog.h"

#include <QDate>

class QDateEdit;
class QPushButton;

class TSrvClientLogForm : public TSrvBaseLogForm {
    Q_OBJECT

public:
    explicit TSrvClientLogForm(QWidget* parent = nullptr);

    void RefreshLog() override;
    void dtpEndDateChange();
    void btnClearClick();

    QDate endDate() const;

private:
    QDateEdit* dtpEndDate = nullptr;
    QPushButton* btnClear = nullptr;
};

// The limit of the viewer's statements: the day after `endDate`, as an
// ISO date that SQL Server and the engine both read unambiguously.
QString LogLimitText(const QDate& endDate);
