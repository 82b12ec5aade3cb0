// The active-connections viewer (see srvactivelog.h).
#include "srvactivelog.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>

TSrvActiveLogForm::TSrvActiveLogForm(QWidget* parent) : TSrvBaseLogForm(parent)
{
    setObjectName("SrvActiveLogForm");
    setWindowTitle(QStringLiteral("当前活动用户列表"));
    auto* top = new QHBoxLayout(PanelTop);
    top->setContentsMargins(16, 8, 16, 8);
    auto* label = new QLabel(QStringLiteral("当前活动用户"), PanelTop);
    QFont font = label->font();
    font.setPixelSize(20);
    font.setBold(true);
    label->setFont(font);
    top->addWidget(label);
    top->addStretch(1);
}

void TSrvActiveLogForm::RefreshLog()
{
    openLog(QStringLiteral(" select * from T_ClientLog ") + QStringLiteral(" where Closed=0") +
            QStringLiteral(" order by KeyID DESC "));
}
