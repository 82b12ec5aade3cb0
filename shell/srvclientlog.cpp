// The login-log viewer (see srvclientlog.h).
#include "srvclientlog.h"

#include "clientlogmodel.h"
#include "linkdm.h"
#include "mwstdfun.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

QString LogLimitText(const QDate& endDate)
{
    return endDate.addDays(1).toString(Qt::ISODate);
}

TSrvClientLogForm::TSrvClientLogForm(QWidget* parent) : TSrvBaseLogForm(parent)
{
    setObjectName("SrvClientLogForm");
    setWindowTitle(QStringLiteral("登录日志"));

    auto* top = new QHBoxLayout(PanelTop);
    top->setContentsMargins(16, 8, 16, 8);
    top->addWidget(new QLabel(QStringLiteral("截止日期："), PanelTop));
    dtpEndDate = new QDateEdit(PanelTop);
    dtpEndDate->setObjectName("dtpEndDate");
    dtpEndDate->setCalendarPopup(true);
    dtpEndDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dtpEndDate->setDate(QDate::currentDate());   // FormCreate: today
    top->addWidget(dtpEndDate);
    top->addStretch(1);

    btnClear = new QPushButton(QStringLiteral("清除日志(&C)"), PanelBottom);
    btnClear->setObjectName("btnClear");
    btnClear->setFixedWidth(100);
    auto* bottom = static_cast<QHBoxLayout*>(PanelBottom->layout());
    bottom->insertWidget(bottom->indexOf(btnExit), btnClear);

    connect(dtpEndDate, &QDateEdit::dateChanged, this, [this] { dtpEndDateChange(); });
    connect(btnClear, &QPushButton::clicked, this, [this] { btnClearClick(); });
}

QDate TSrvClientLogForm::endDate() const
{
    return dtpEndDate->date();
}

void TSrvClientLogForm::RefreshLog()
{
    openLog(QStringLiteral(" select * from T_ClientLog ") + QStringLiteral(" where Closed=1 and LoginTime<'") +
            LogLimitText(endDate()) + QStringLiteral("'") + QStringLiteral(" order by KeyID DESC "));
}

void TSrvClientLogForm::dtpEndDateChange()
{
    // Only while shown: creation sets the date before anything is read.
    if (isVisible())
        RefreshLog();
}

void TSrvClientLogForm::btnClearClick()
{
    if (!AskYesNo(QStringLiteral("是否确认清除登录日志？"), QStringLiteral("询问")))
        return;
    // The viewer's rows end their read first: clearing writes the table.
    rows().close();
    LinkData->ExecuteSql(LinkData->AccListDB, QStringLiteral(" update T_ClientLog set Closed=2 where Closed=1 and LoginTime<'") +
                                                  LogLimitText(endDate()) + QStringLiteral("'"));
    RefreshLog();
}
