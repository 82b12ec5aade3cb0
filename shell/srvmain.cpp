// The server's main window and its connection service (see srvmain.h).
#include "srvmain.h"

#include "inifile.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwsrvpub.h"
#include "mwdbfun.h"
#include "mwsocket.h"
#include "mwstdfun.h"
#include "srvprovision.h"
#include "textcodec.h"
#include "mwupgrade.h"

#include <QApplication>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

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

// The client's address as dotted IPv4 text.
QString addressText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

// The client's host name by a reverse look-up of its address, done at once
// on this thread; empty when the look-up finds nothing.
QString reverseLookup(const QString& address)
{
    const QHostInfo info = QHostInfo::fromName(address);
    if (info.error() != QHostInfo::NoError || info.hostName() == address)
        return {};
    return info.hostName();
}

QPushButton* makeButton(const QString& text, const char* name, int width, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedWidth(width);
    return button;
}

QLabel* makeLabel(const QString& text, const char* name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

// Closes every open row of the login log: at each start and stop of the
// service (rows an earlier run left open, or those of the connections just
// dropped) and when the program is asked to end.
QString closeOpenLoginRows()
{
    return QStringLiteral(" update T_ClientLog set LogoutTime=GetDate(), Closed=1 where Closed=0");
}

}  // namespace

QString ListenErrorText(QAbstractSocket::SocketError error, quint16 port, const QString& detail)
{
    const QString portText = QString::number(port);
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("端口") + portText + QStringLiteral("已被其他程序占用，不能启动本服务器。\r\n") +
               QStringLiteral("请先关闭占用该端口的程序，或者更改服务器端口号。");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("没有使用端口") + portText + QStringLiteral("的权限，不能启动本服务器。\r\n") +
               QStringLiteral("1024以下的端口需要系统管理员权限，请更改服务器端口号。");
    default:
        return QStringLiteral("在端口") + portText + QStringLiteral("上启动本服务器失败：") + detail;
    }
}

TSrvMainForm::TSrvMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("SrvMainForm");
    setWindowTitle(productTitle() + "管理软件-服务器");
    buildWindow();

    stateIcons_[0] = stateIcon(QColor(0, 128, 0));
    stateIcons_[1] = stateIcon(QColor(255, 0, 0));
    trayIcon_ = new QSystemTrayIcon(stateIcons_[1], this);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        trayIcon_->show();

    server_ = new QTcpServer(this);
    server_->setListenBacklogSize(5);
    connect(server_, &QTcpServer::newConnection, this, &TSrvMainForm::acceptConnections);

    TimerServer = new QTimer(this);
    TimerServer->setObjectName("TimerServer");
    TimerServer->setInterval(1000);

    RefreshStatus();
}

TSrvMainForm::~TSrvMainForm()
{
    // Leaving without the disconnect handling, as a stopped listener does.
    for (const Client& c : clients_) {
        c.socket->disconnect(this);
        c.socket->abort();
    }
}

QString TSrvMainForm::productTitle()
{
    return ProductTitle();
}

// ---- start-up -------------------------------------------------------------

void TSrvMainForm::FormCreate()
{
    LabelMainTitle->setText(ProductTitle() + QStringLiteral("管理软件"));
    // The taskbar text. (Not the application display name: X11 would add
    // that to every window's title, message boxes included.)
    QApplication::setApplicationName(ProductTitle() + QStringLiteral("-服务器"));
    setWindowTitle(ProductTitle() + QStringLiteral("管理软件-服务器") + QStringLiteral("<版本：") +
                   QStringLiteral("V3.1.860") + QStringLiteral(">"));
    connect(TimerServer, &QTimer::timeout, this, &TSrvMainForm::TimerServerTimer, Qt::UniqueConnection);
    TimerServer->setInterval(1000);
    TimerServer->start();
    trayIcon_->setIcon(stateIcons_[0]);
    RefreshStatus();
}

void TSrvMainForm::TimerServerTimer()
{
    if (TimerServer->interval() >= 10000) {
        ReconcileCount();
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
    setPort(static_cast<quint16>(ReadServerPort()));
    if (server_->isListening()) {
        closeListener();
        state_ = ServiceState::Stopped;
    }
    SetServiceActive(true);
    TimerServer->setInterval(30000);
    TimerServer->start();
}

bool TSrvMainForm::PrepareDatabases()
{
    const QString server = QStringLiteral(".");
    QString password =
        readIniString(GetClientIniPath(), QStringLiteral("LoginInfo"), QStringLiteral("SAPassword"), QString());
    bool connected = LinkData->ConnectCatalogue(server, QStringLiteral("master"), password, false);
    if (!connected) {
        if (!IsSqlServerInstalled()) {
            ShowInfo(QStringLiteral("本机尚未安装微软SQL Server 2000或其免费版本MSDE 2000数据库系统，\r\n"
                                    "请先安装SQLServer数据库，安装成功再运行本软件。"),
                     QStringLiteral("提示"));
            return false;
        }
        if (!IsSqlServerRunning()) {
            ShowInfo(QStringLiteral("\u3000\u3000您在安装微软SQL Server 2000或其免费版本MSDE 2000数据库系\r\n"
                                    "统后，可能尚未重新启动过Windows系统，SQL Server仍处于尚未运\r\n"
                                    "行状态，请重新启动系统后，再试一次。\r\n"
                                    "\r\n"
                                    "提示：在屏幕右下角的系统托盘中有一个小图标，图标象小机箱，其\r\n"
                                    "右下方是个圆，圆中间为绿色三角形就代表SQL Server正在运行，没\r\n"
                                    "有该图标，或图标的圆中间为红色小方块就代表尚未运行。"),
                     QStringLiteral("提示"));
            return false;
        }
    }
    while (!connected) {
        const std::optional<QString> entered = ShowPasswordDialog(QStringLiteral("请输入SQL Server数据库的sa口令"),
                                                                  QStringLiteral("请输入SQL Server数据库的sa口令："));
        if (!entered)
            return false;
        connected = LinkData->ConnectCatalogue(server, QStringLiteral("master"), *entered, false);
        if (connected) {
            password = *entered;
            writeIniString(GetClientIniPath(), QStringLiteral("LoginInfo"), QStringLiteral("SAPassword"), password);
        } else {
            ShowInfo(QStringLiteral("联接到SQL Server数据库失败，请检查SQL Server数据库是否启动，或者您输入的sa口令是否正确。"),
                     QStringLiteral("提示"));
        }
    }
    return ProvisionDatabases(password);
}

void TSrvMainForm::bringToFront()
{
    if (isMinimized() || isHidden())
        showNormal();
    raise();
    activateWindow();
}

void TSrvMainForm::buildWindow()
{
    auto* central = new QWidget(this);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    central->setFont(font);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(24, 8, 24, 8);

    auto* titlePanel = new QWidget(central);
    titlePanel->setFixedHeight(77);
    auto* titleLayout = new QVBoxLayout(titlePanel);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    LabelMainTitle = makeLabel(productTitle() + "管理软件", "LabelMainTitle", titlePanel);
    QFont titleFont(QStringLiteral("华文新魏"));
    titleFont.setPixelSize(28);
    LabelMainTitle->setFont(titleFont);
    Label4 = makeLabel(QStringLiteral("服务器"), "Label4", titlePanel);
    QFont serverFont(QStringLiteral("隶书"));
    serverFont.setPixelSize(35);
    Label4->setFont(serverFont);
    Label4->setAlignment(Qt::AlignRight);
    titleLayout->addWidget(LabelMainTitle);
    titleLayout->addWidget(Label4);
    layout->addWidget(titlePanel);

    auto group = [&](const QString& title) {
        auto* box = new QGroupBox(title, central);
        box->setFixedWidth(377);
        layout->addWidget(box);
        return box;
    };

    QGroupBox* stateBox = group(QStringLiteral("服务状态"));
    auto* stateRow = new QHBoxLayout(stateBox);
    stateRow->addWidget(new QLabel(QStringLiteral("当前状态："), stateBox));
    lbState = makeLabel(QStringLiteral("未启动"), "lbState", stateBox);
    stateRow->addWidget(lbState, 1);
    btnState = makeButton(QStringLiteral("启动(&R)"), "btnState", 100, stateBox);
    stateRow->addWidget(btnState);
    connect(btnState, &QPushButton::clicked, this, [this] { btnStateClick(); });

    QGroupBox* clientBox = group(QStringLiteral("客户端连接"));
    auto* clientRow = new QHBoxLayout(clientBox);
    clientRow->addWidget(new QLabel(QStringLiteral("已连接的用户数："), clientBox));
    lbActiveCount = makeLabel(QStringLiteral("0"), "lbActiveCount", clientBox);
    clientRow->addWidget(lbActiveCount, 1);
    auto* clientButtons = new QVBoxLayout;
    btnClients = makeButton(QStringLiteral("用户列表(&C)"), "btnClients", 100, clientBox);
    btnDisconnAllUser = makeButton(QStringLiteral("断开所有用户"), "btnDisconnAllUser", 100, clientBox);
    clientButtons->addWidget(btnClients);
    clientButtons->addWidget(btnDisconnAllUser);
    clientRow->addLayout(clientButtons);
    connect(btnDisconnAllUser, &QPushButton::clicked, this, [this] { btnDisconnAllUserClick(); });

    QGroupBox* portBox = group(QStringLiteral("服务器端口号维护"));
    auto* portRow = new QHBoxLayout(portBox);
    portRow->addWidget(new QLabel(QStringLiteral("服务器端口号："), portBox));
    LabelPort = makeLabel(QString::number(port_), "LabelPort", portBox);
    portRow->addWidget(LabelPort, 1);
    btnChangePort = makeButton(QStringLiteral("更改端口号"), "btnChangePort", 100, portBox);
    portRow->addWidget(btnChangePort);

    QGroupBox* systemBox = group(QStringLiteral("系统维护"));
    auto* systemLayout = new QVBoxLayout(systemBox);
    auto* systemRow = new QHBoxLayout;
    systemRow->addWidget(new QLabel(QStringLiteral("备份，恢复，新建账套请点击“账套管理”。"), systemBox), 1);
    auto* systemButtons = new QVBoxLayout;
    btnAccManage = makeButton(QStringLiteral("账套管理(&M)"), "btnAccManage", 100, systemBox);
    btnLog = makeButton(QStringLiteral("登录日志(&L)"), "btnLog", 100, systemBox);
    systemButtons->addWidget(btnAccManage);
    systemButtons->addWidget(btnLog);
    systemRow->addLayout(systemButtons);
    systemLayout->addLayout(systemRow);
    btnSQLVersion = makeButton(QStringLiteral("查看Microsoft SQL Server版本号"), "btnSQLVersion", 221, systemBox);
    systemLayout->addWidget(btnSQLVersion, 0, Qt::AlignLeft);

    layout->addStretch();
    setCentralWidget(central);
    setFixedSize(426, 401);
}

// ---- the service -------------------------------------------------------

void TSrvMainForm::setPort(quint16 port)
{
    port_ = port;
    LabelPort->setText(QString::number(port));
}

quint16 TSrvMainForm::listeningPort() const
{
    return server_->isListening() ? server_->serverPort() : port_;
}

void TSrvMainForm::btnStateClick()
{
    if (!IsSqlServerRunning()) {
        ShowInfo(QStringLiteral("微软SQL Server数据库系统尚未启动，不能启动本服务器。"), QStringLiteral("提示"));
        return;
    }
    SetServiceActive(!serviceStarted());
}

void TSrvMainForm::SetServiceActive(bool active)
{
    // The current state is whether the listener is open.
    if (active == server_->isListening())
        return;
    if (active) {
        if (!server_->listen(QHostAddress::AnyIPv4, port_)) {
            ShowError(ListenErrorText(server_->serverError(), port_, server_->errorString()),
                      QStringLiteral("错误"));
            return;
        }
    } else {
        if (activeCount_ > 0 &&
            !AskYesNo(QStringLiteral("当前服务器共有") + QString::number(activeCount_) +
                          QStringLiteral("活动连接，是否断开所有连接？"),
                      QStringLiteral("询问")))
            return;
        closeListener();
    }
    state_ = active ? ServiceState::Started : ServiceState::Stopped;
    trayIcon_->setIcon(stateIcons_[active ? 0 : 1]);
    QApplication::setWindowIcon(stateIcons_[active ? 0 : 1]);
    activeCount_ = openConnections();
    RefreshStatus();
    showState();
    if (LinkData)
        LinkData->ExecuteSql(LinkData->AccListDB, closeOpenLoginRows());
    emit serviceStateChanged(active);
}

void TSrvMainForm::StopForShutdown()
{
    TimerServer->stop();
    if (server_->isListening()) {
        closeListener();
        state_ = ServiceState::Stopped;
        activeCount_ = 0;
        RefreshStatus();
        showState();
    }
    if (LinkData && LinkData->AccListDB.isOpen())
        LinkData->ExecuteSql(LinkData->AccListDB, closeOpenLoginRows());
}

// Stopping the listener closes every connection without the per-connection
// disconnect handling.
void TSrvMainForm::closeListener()
{
    server_->close();
    const QList<Client> clients = clients_;
    clients_.clear();
    for (const Client& c : clients) {
        c.socket->disconnect(this);
        c.socket->abort();
        release(c.socket);
    }
}

// A socket leaves memory only when no read handler is on the stack: a
// modal box opened while reading runs its own event loop, in which the
// connection may end, and the handler below it still holds the socket.
void TSrvMainForm::release(QTcpSocket* socket)
{
    if (readDepth_ > 0)
        released_.append(socket);
    else
        socket->deleteLater();
}

void TSrvMainForm::showState()
{
    if (state_ == ServiceState::Started) {
        lbState->setText(QStringLiteral("已启动"));
        lbState->setStyleSheet(QStringLiteral("color: rgb(0, 128, 0);"));
        btnState->setText(QStringLiteral("停止(&R)"));
    } else if (state_ == ServiceState::Stopped) {
        lbState->setText(QStringLiteral("停止"));
        lbState->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
        btnState->setText(QStringLiteral("启动(&R)"));
    }
}

void TSrvMainForm::RefreshStatus()
{
    const QString base = productTitle() + QStringLiteral("管理软件-服务器");
    if (serviceStarted() && activeCount_ > 0) {
        lbActiveCount->setText(QString::number(activeCount_));
        trayHint_ = base + QStringLiteral("\u3000共有") + QString::number(activeCount_) + QStringLiteral("个活动连接");
    } else {
        lbActiveCount->setText(QStringLiteral("0"));
        trayHint_ = base;
    }
    trayIcon_->setToolTip(trayHint_);
}

int TSrvMainForm::CountOpenClientMachines()
{
    // Not guarded: a failing query ends the handler that called it and its
    // error reaches the operator.
    vqsql::ResultSet rs =
        LinkData->AccListDB.query(std::string("select distinct MashineIP from T_ClientLog where Closed=0"));
    return static_cast<int>(rs.rows.size());
}

void TSrvMainForm::ReconcileCount()
{
    if (openConnections() == activeCount_)
        return;
    runGuarded([this] {
        activeCount_ = std::min(CountOpenClientMachines(), openConnections());
        RefreshStatus();
    });
}

// ---- the listener's events ---------------------------------------------

void TSrvMainForm::acceptConnections()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        // Reads are bounded: the socket buffers at most kMaxReadBytes, so a
        // huge message arrives as several reads and memory stays bounded.
        socket->setReadBufferSize(kMaxReadBytes);
        Client client;
        client.socket = socket;
        client.address = addressText(socket->peerAddress());
        client.port = socket->peerPort();
        clients_.append(client);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ServerSocketClientRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { ServerSocketClientDisconnect(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { ServerSocketClientError(socket); });
        ServerSocketClientConnect(socket);
    }
}

TSrvMainForm::Client* TSrvMainForm::findClient(QTcpSocket* socket)
{
    for (Client& c : clients_)
        if (c.socket == socket)
            return &c;
    return nullptr;
}

void TSrvMainForm::ServerSocketClientConnect(QTcpSocket*)
{
    runGuarded([this] {
        activeCount_ = std::min(CountOpenClientMachines(), openConnections());
        RefreshStatus();
    });
}

void TSrvMainForm::ServerSocketClientRead(QTcpSocket* socket)
{
    if (!findClient(socket))
        return;
    ++readDepth_;
    // All bytes available at this read form one message (there is no
    // framing in the protocol).
    const QByteArray text = socket->read(kMaxReadBytes);
    switch (GetMsgType(text)) {
    case 1: answerHandshake(socket, text); break;
    case 2: runGuarded([&] { recordLogin(socket, text); }); break;
    default: break;   // anything else is ignored without a word
    }
    if (--readDepth_ == 0) {
        for (QTcpSocket* released : std::as_const(released_))
            released->deleteLater();
        released_.clear();
    }
}

void TSrvMainForm::answerHandshake(QTcpSocket* socket, const QByteArray& text)
{
    TSocketInfo info;
    info.ParseText(text);
    info.MsgType = 1;
    info.Value1 = 1;
    info.Value2 = 0;
    info.Text3 = toGbk(LinkData ? LinkData->rememberedPassword() : QString());
    // The box of a malformed request may have let the connection end meanwhile.
    if (findClient(socket))
        socket->write(info.BuildText());
    RefreshStatus();
}

void TSrvMainForm::recordLogin(QTcpSocket* socket, const QByteArray& text)
{
    const Client* client = findClient(socket);
    if (!client)
        return;
    const QString address = client->address;
    const quint16 port = client->port;
    const QString hostName = reverseLookup(address);
    TSocketInfo info;
    info.ParseText(text);
    // The box of a malformed report may have let the connection end
    // meanwhile: its row would then never be closed.
    if (!findClient(socket))
        return;
    // Every text goes between single quotes with its apostrophes doubled:
    // stored as sent, and never part of the statement.
    const QString sql =
        QStringLiteral(" declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert into "
                       "T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName,AccName, LoginUser, LoginTime, "
                       "Closed) values( @MaxID,") +
        sqlQuoted(address) + QLatin1Char(',') + sqlQuoted(hostName) + QLatin1Char(',') + QString::number(port) +
        QLatin1Char(',') + sqlQuoted(fromGbk(info.Text4)) + QLatin1Char(',') + sqlQuoted(fromGbk(info.Text5)) +
        QLatin1Char(',') + sqlQuoted(fromGbk(info.Text6)) + QStringLiteral(", GetDate(), 0) ");
    LinkData->ExecuteSql(LinkData->AccListDB, sql);
    const int machines = CountOpenClientMachines();
    if (machines != activeCount_) {
        activeCount_ = machines;
        RefreshStatus();
    }
}

void TSrvMainForm::ServerSocketClientDisconnect(QTcpSocket* socket)
{
    const Client* client = findClient(socket);
    if (!client)
        return;   // handled already (an error closes the connection too)
    const QString address = client->address;
    const quint16 port = client->port;
    clients_.removeIf([socket](const Client& c) { return c.socket == socket; });
    socket->disconnect(this);
    release(socket);
    if (LinkData)
        LinkData->ExecuteSql(LinkData->AccListDB,
                             QStringLiteral(" update T_ClientLog set LogoutTime=GetDate(), Closed=1  where MashineIP=") +
                                 sqlQuoted(address) + QStringLiteral(" and ConnectPort=") + QString::number(port) +
                                 QStringLiteral(" and Closed=0"));
    if (activeCount_ > 0)
        --activeCount_;
    RefreshStatus();
}

// An error on a connection closes it, which runs the disconnect handling;
// nothing is shown.
void TSrvMainForm::ServerSocketClientError(QTcpSocket* socket)
{
    if (!findClient(socket))
        return;
    socket->abort();
    ServerSocketClientDisconnect(socket);   // no-op if abort() ran it already
}

void TSrvMainForm::btnDisconnAllUserClick()
{
    if (!serviceStarted() || activeCount_ <= 0)
        return;
    if (!AskYesNo(QStringLiteral("是否确认断开与所有客户端的联接？"), QStringLiteral("询问")))
        return;
    const QList<Client> clients = clients_;
    for (const Client& c : clients) {
        c.socket->abort();
        ServerSocketClientDisconnect(c.socket);   // runs unless abort() ran it
    }
}
