// The server's main window (see srvmain.h).
#include "srvmain.h"

#include "connectionservice.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwsrvpub.h"
#include "mwstdfun.h"
#include "mwupgrade.h"
#include "srvaccmanage.h"
#include "srvactivelog.h"
#include "srvclientlog.h"
#include "srvnewport.h"
#include "srvstartup.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// A round state light for the tray: green while started, red while stopped.
QIcon stateIcon(const QColor& colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(Qt::darkGray);
    painter.drawEllipse(1, 1, 14, 14);
    return QIcon(pixmap);
}

QFont fontOf(const char* family, int pixels, bool bold = false)
{
    QFont font(QString::fromUtf8(family));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// The window is laid out as the operator has always seen it: fixed
// positions in a fixed-size client area of 426 x 401 pixels.
constexpr int kGroupLeft = 24;
constexpr int kGroupWidth = 377;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;
constexpr int kButtonLeft = kGroupWidth - kButtonWidth - 12;

QPushButton* makeButton(const QString& text, const char* name, QWidget* parent, int x, int y,
                        int width = kButtonWidth)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(x, y, width, kButtonHeight);
    return button;
}

QLabel* makeLabel(const QString& text, const char* name, QWidget* parent, int x, int y, int width = 0)
{
    auto* label = new QLabel(text, parent);
    if (name)
        label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->adjustSize();
    if (width > 0)
        label->resize(width, label->height());
    return label;
}

// The title sits on the frame's top line, so that the frame begins 7
// pixels down and the fixed positions inside (buttons from y = 18, labels
// from y = 24) fall inside it. (Styles such as Fusion otherwise put the
// title above the frame, whose top line then runs through the buttons.)
QGroupBox* makeGroup(const QString& title, QWidget* parent, int y, int height)
{
    auto* box = new QGroupBox(title, parent);
    box->setGeometry(kGroupLeft, y, kGroupWidth, height);
    box->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px; padding: 0 2px; }"));
    return box;
}

}  // namespace

std::optional<QString> SqlServerVersionText(int major, const QString& versionText)
{
    switch (major) {
    case 8: {
        QString text = QStringLiteral("当前安装的SQL Server 2000(或MSDE)版本为：") + versionText;
        // Service pack 4 is 8.00.2039: compared character by character.
        if (versionText.size() != 9 || versionText < QLatin1String("8.00.2039"))
            text += QStringLiteral("\r\n\r\n{提示：您的SQL Server 2000(或MSDE)未安装SP4补丁}");
        return text;
    }
    case 9: return QStringLiteral("当前安装的SQL Server 2005(或Express)版本为：") + versionText;
    case 10: return QStringLiteral("当前安装的SQL Server 2008(或Express)版本为：") + versionText;
    default: return std::nullopt;
    }
}

TSrvMainForm::TSrvMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("SrvMainForm");
    // A single border, a system menu and a minimise box; no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(ProductTitle() + QStringLiteral("管理软件-服务器"));
    service_ = new TConnectionService(this);
    buildWindow();
    buildTray();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    TimerServer = new QTimer(this);
    TimerServer->setObjectName("TimerServer");
    TimerServer->setInterval(1000);

    connect(service_, &TConnectionService::serviceStateChanged, this, &TSrvMainForm::showServiceState);
    connect(service_, &TConnectionService::statusRefreshed, this, &TSrvMainForm::showStatus);
    showStatus();
}

TSrvMainForm::~TSrvMainForm() = default;

QString TSrvMainForm::trayHint() const
{
    return TrayIcon->toolTip();
}

// ---- start-up -------------------------------------------------------------

void TSrvMainForm::FormCreate()
{
    LabelMainTitle->setText(ProductTitle() + QStringLiteral("管理软件"));
    LabelMainTitle->adjustSize();
    // The taskbar text. (Not the application display name: X11 would add
    // that to every window's title, message boxes included.)
    QApplication::setApplicationName(ProductTitle() + QStringLiteral("-服务器"));
    setWindowTitle(ProductTitle() + QStringLiteral("管理软件-服务器") + QStringLiteral("<版本：") +
                   QStringLiteral("V3.1.860") + QStringLiteral(">"));
    connect(TimerServer, &QTimer::timeout, this, &TSrvMainForm::TimerServerTimer, Qt::UniqueConnection);
    TimerServer->setInterval(1000);
    TimerServer->start();
    TrayIcon->setIcon(stateIcons_[0]);
    service_->RefreshStatus();
}

void TSrvMainForm::TimerServerTimer()
{
    if (TimerServer->interval() >= 10000) {
        service_->ReconcileCount();
        return;
    }
    TimerServer->stop();
    // Waiting for the database server: looking again after 1.5 s, then every 2 s.
    if (!IsSqlServerRunning()) {
        if (TimerServer->interval() < 2000)
            TimerServer->setInterval(TimerServer->interval() + 500);
        TimerServer->start();
        return;
    }
    if (!PrepareDatabases()) {
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        return;
    }
    runGuarded([] { UpgradePackDatabase(); });
    runGuarded([] { LinkData->SyncAdminPasswords(); });
    const quint16 port = static_cast<quint16>(ReadServerPort());
    service_->setPort(port);
    LabelPort->setText(QString::number(port));
    if (service_->serviceStarted())
        service_->SetServiceActive(false);
    service_->SetServiceActive(true);
    TimerServer->setInterval(30000);
    TimerServer->start();
}

bool TSrvMainForm::PrepareDatabases()
{
    return ::PrepareDatabases();
}

void TSrvMainForm::bringToFront()
{
    if (isMinimized() || isHidden())
        showNormal();
    raise();
    activateWindow();
}

// ---- the window -------------------------------------------------------------

void TSrvMainForm::buildWindow()
{
    auto* central = new QWidget(this);
    central->setFont(fontOf("宋体", 12));

    // The title panel, full width, 77 pixels high.
    auto* titlePanel = new QWidget(central);
    titlePanel->setGeometry(0, 0, 426, 77);
    LabelMainTitle = makeLabel(ProductTitle() + QStringLiteral("管理软件"), "LabelMainTitle", titlePanel, 24, 6);
    LabelMainTitle->setFont(fontOf("华文新魏", 28));
    LabelMainTitle->adjustSize();
    Label4 = makeLabel(QStringLiteral("服务器"), "Label4", titlePanel, 0, 36);
    Label4->setFont(fontOf("隶书", 35));
    Label4->adjustSize();
    Label4->move(kGroupLeft + kGroupWidth - Label4->width(), 36);

    QGroupBox* stateBox = makeGroup(QStringLiteral("服务状态"), central, 80, 52);
    makeLabel(QStringLiteral("当前状态："), nullptr, stateBox, 16, 24);
    lbState = makeLabel(QStringLiteral("未启动"), "lbState", stateBox, 80, 24, 120);
    btnState = makeButton(QStringLiteral("启动(&R)"), "btnState", stateBox, kButtonLeft, 18);

    QGroupBox* clientBox = makeGroup(QStringLiteral("客户端连接"), central, 136, 82);
    makeLabel(QStringLiteral("已连接的用户数："), nullptr, clientBox, 16, 24);
    lbActiveCount = makeLabel(QStringLiteral("0"), "lbActiveCount", clientBox, 112, 24, 80);
    btnClients = makeButton(QStringLiteral("用户列表(&C)"), "btnClients", clientBox, kButtonLeft, 18);
    btnDisconnAllUser = makeButton(QStringLiteral("断开所有用户"), "btnDisconnAllUser", clientBox, kButtonLeft, 48);

    QGroupBox* portBox = makeGroup(QStringLiteral("服务器端口号维护"), central, 222, 52);
    makeLabel(QStringLiteral("服务器端口号："), nullptr, portBox, 16, 24);
    LabelPort = makeLabel(QStringLiteral("5971"), "LabelPort", portBox, 100, 24, 80);
    btnChangePort = makeButton(QStringLiteral("更改端口号"), "btnChangePort", portBox, kButtonLeft, 18);

    QGroupBox* systemBox = makeGroup(QStringLiteral("系统维护"), central, 278, 114);
    makeLabel(QStringLiteral("备份，恢复，新建账套请点击“账套管理”。"), nullptr, systemBox, 16, 24, 240);
    btnAccManage = makeButton(QStringLiteral("账套管理(&M)"), "btnAccManage", systemBox, kButtonLeft, 18);
    btnLog = makeButton(QStringLiteral("登录日志(&L)"), "btnLog", systemBox, kButtonLeft, 48);
    btnSQLVersion = makeButton(QStringLiteral("查看Microsoft SQL Server版本号"), "btnSQLVersion", systemBox, 16, 80, 221);

    connect(btnState, &QPushButton::clicked, this, [this] { btnStateClick(); });
    connect(btnClients, &QPushButton::clicked, this, [this] { btnClientsClick(); });
    connect(btnDisconnAllUser, &QPushButton::clicked, this, [this] { btnDisconnAllUserClick(); });
    connect(btnChangePort, &QPushButton::clicked, this, [this] { btnChangePortClick(); });
    connect(btnAccManage, &QPushButton::clicked, this, [this] { btnAccManageClick(); });
    connect(btnLog, &QPushButton::clicked, this, [this] { btnLogClick(); });
    connect(btnSQLVersion, &QPushButton::clicked, this, [this] { btnSQLVersionClick(); });

    setCentralWidget(central);
    setFixedSize(426, 401);
}

void TSrvMainForm::buildTray()
{
    stateIcons_[0] = stateIcon(QColor(0, 128, 0));
    stateIcons_[1] = stateIcon(QColor(255, 0, 0));
    TrayIcon = new QSystemTrayIcon(stateIcons_[1], this);
    TrayIcon->setObjectName("TrayIcon");
    TrayMenu = new QMenu(this);
    TrayMenu->setObjectName("TrayMenu");
    auto addAction = [this](const QString& text, const char* name, void (TSrvMainForm::*handler)()) {
        QAction* action = TrayMenu->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    addAction(QStringLiteral("显示窗口(&W)"), "ShowWindowAction", &TSrvMainForm::ShowWindowActionExecute);
    addAction(QStringLiteral("启动服务(&S)"), "StartAction", &TSrvMainForm::StartActionExecute);
    addAction(QStringLiteral("暂停服务(&P)"), "PauseAction", &TSrvMainForm::PauseActionExecute);
    TrayMenu->addSeparator();
    addAction(QStringLiteral("退出(&X)"), "ExitAction", &TSrvMainForm::ExitActionExecute);
    TrayIcon->setContextMenu(TrayMenu);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            TrayIconClick();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        TrayIcon->show();
}

void TSrvMainForm::showServiceState(bool started)
{
    TrayIcon->setIcon(stateIcons_[started ? 0 : 1]);
    QApplication::setWindowIcon(stateIcons_[started ? 0 : 1]);
    if (started) {
        lbState->setText(QStringLiteral("已启动"));
        lbState->setStyleSheet(QStringLiteral("color: rgb(0, 128, 0);"));
        btnState->setText(QStringLiteral("停止(&R)"));
    } else {
        lbState->setText(QStringLiteral("停止"));
        lbState->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
        btnState->setText(QStringLiteral("启动(&R)"));
    }
}

void TSrvMainForm::showStatus()
{
    const int count = service_->serviceStarted() ? service_->activeCount() : 0;
    lbActiveCount->setText(QString::number(count > 0 ? count : 0));
    TrayIcon->setToolTip(service_->statusText());
}

// ---- the commands -----------------------------------------------------------

void TSrvMainForm::btnStateClick()
{
    if (!IsSqlServerRunning()) {
        ShowInfo(QStringLiteral("微软SQL Server数据库系统尚未启动，不能启动本服务器。"), QStringLiteral("提示"));
        return;
    }
    service_->SetServiceActive(!service_->serviceStarted());
}

void TSrvMainForm::StartActionExecute()
{
    service_->SetServiceActive(true);
}

void TSrvMainForm::PauseActionExecute()
{
    service_->SetServiceActive(false);
}

void TSrvMainForm::btnDisconnAllUserClick()
{
    service_->DisconnectAllClients();
}

void TSrvMainForm::btnChangePortClick()
{
    if (service_->serviceStarted()) {
        ShowInfo(QStringLiteral("请先停止服务后，再执行\"更改端口号\"。"), QStringLiteral("提示"));
        return;
    }
    TSrvNewPortForm dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!AskYesNo(QStringLiteral("服务器端口号更改后，客户端程序在登录时，相应的端口号都必须随着更改，并且要与新的服务器端口"
                                 "号保持一致，是否继续更改服务器端口号？"),
                  QStringLiteral("询问")))
        return;
    const int port = dialog.newPort();
    service_->setPort(static_cast<quint16>(port));
    LabelPort->setText(QString::number(port));
    WriteServerPort(port);
}

void TSrvMainForm::btnAccManageClick()
{
    if (service_->serviceStarted()) {
        ShowInfo(QStringLiteral("请先停止服务后，再执行\"账套管理\"。"), QStringLiteral("提示"));
        return;
    }
    TSrvAccManageForm manager(this);
    manager.exec();
}

void TSrvMainForm::btnLogClick()
{
    TSrvClientLogForm viewer(this);
    viewer.exec();
}

void TSrvMainForm::btnClientsClick()
{
    TSrvActiveLogForm viewer(this);
    viewer.exec();
}

void TSrvMainForm::btnSQLVersionClick()
{
    runGuarded([] {
        const SqlServerVersion version = GetSqlServerVersion(LinkData->AccListDB);
        if (const std::optional<QString> text = SqlServerVersionText(version.major, version.text))
            ShowInfo(*text, QStringLiteral("提示"));
    });
}

// ---- closing and the tray -----------------------------------------------------

void TSrvMainForm::closeEvent(QCloseEvent* event)
{
    const int count = service_->activeCount();
    if (count > 0) {
        ShowInfo(QStringLiteral("当前服务器共有") + QString::number(count) + QStringLiteral("个活动连接，") +
                     QStringLiteral("请先断开所有用户连接后再退出。"),
                 QStringLiteral("提示"));
        event->ignore();
        return;
    }
    if (!AskYesNo(QStringLiteral("确定退出《") + ProductTitle() + QStringLiteral("服务器》吗？"), QStringLiteral("询问"))) {
        event->ignore();
        return;
    }
    service_->SetServiceActive(false);
    TimerServer->stop();
    event->accept();
    emit closedForGood();
}

void TSrvMainForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon->isVisible())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();   // off the taskbar: the tray icon brings it back
        });
}

void TSrvMainForm::TrayIconClick()
{
    ShowWindowActionExecute();
}

void TSrvMainForm::ShowWindowActionExecute()
{
    showNormal();
    raise();
    activateWindow();
}

void TSrvMainForm::ExitActionExecute()
{
    close();
}
