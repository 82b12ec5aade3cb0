// The server's main window (see srvmain.h).
#include "srvmain.h"

#include <QFont>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

TSrvMainForm::TSrvMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("SrvMainForm");
    setWindowTitle(productTitle() + "管理软件-服务器");

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    LabelMainTitle = new QLabel(productTitle() + "管理软件", central);
    LabelMainTitle->setObjectName("LabelMainTitle");
    QFont titleFont("华文新魏");
    titleFont.setPixelSize(28);
    LabelMainTitle->setFont(titleFont);
    LabelMainTitle->setAlignment(Qt::AlignCenter);

    lbState = new QLabel("服务器正在启动……", central);
    lbState->setObjectName("lbState");
    lbState->setAlignment(Qt::AlignCenter);

    layout->addWidget(LabelMainTitle);
    layout->addWidget(lbState);
    layout->addStretch();
    setCentralWidget(central);
    setFixedSize(426, 401);
}

QString TSrvMainForm::productTitle()
{
    return QStringLiteral("VQTCW财务");
}
