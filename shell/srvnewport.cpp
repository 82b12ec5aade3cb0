// The port dialog (see srvnewport.h).
#include "srvnewport.h"

#include "mwstdfun.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

QString PortEntryProblem(const QString& entry)
{
    bool isNumber = false;
    const qlonglong port = entry.trimmed().toLongLong(&isNumber);
    if (!isNumber || port <= 0)
        return QStringLiteral("端口号必须为正整数。");
    if (port > 65535)
        return QStringLiteral("端口号不能大于65535。");
    return {};
}

TSrvNewPortForm::TSrvNewPortForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("SrvNewPortForm");
    setWindowTitle(QStringLiteral("更改服务器端口号"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(342, 149);

    auto* label = new QLabel(QStringLiteral("服务器端口号："), this);
    label->setGeometry(40, 40, 90, 21);
    EditNewPort = new QLineEdit(this);
    EditNewPort->setObjectName("EditNewPort");
    EditNewPort->setGeometry(130, 38, 160, 23);

    btnOk = new QPushButton(QStringLiteral("确定(&O)"), this);
    btnOk->setObjectName("btnOk");
    btnOk->setGeometry(130, 96, 75, 25);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("取消(&C)"), this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(215, 96, 75, 25);

    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    // Escape rejects a QDialog, as the cancel button does.
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSrvNewPortForm::btnOkClick()
{
    const QString problem = PortEntryProblem(EditNewPort->text());
    if (!problem.isEmpty()) {
        ShowInfo(problem, QStringLiteral("提示"));
        EditNewPort->setFocus();
        return;
    }
    newPort_ = EditNewPort->text().trimmed().toInt();
    accept();
}
