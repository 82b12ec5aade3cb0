// The connection service (see connectionservice.h).
#include "connectionservice.h"

#include "linkdm.h"
#include "mwcwfun.h"
#include "mwdbfun.h"
#include "mwsocket.h"
#include "mwstdfun.h"
#include "textcodec.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace {

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

}  // namespace

QString ListenErrorText(int error, quint16 port, const QString& detail)
{
    const QString portText = QString::number(port);
    switch (static_cast<QAbstractSocket::SocketError>(error)) {
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

TConnectionService::TConnectionService(QObject* parent) : QObject(parent)
{
    server_ = new QTcpServer(this);
    server_->setListenBacklogSize(5);
    connect(server_, &QTcpServer::newConnection, this, &TConnectionService::acceptConnections);
    RefreshStatus();
}

TConnectionService::~TConnectionService()
{
    // Leaving without the disconnect handling, as a stopped listener does.
    for (const Client& c : clients_) {
        c.socket->disconnect(this);
        c.socket->abort();
    }
}

// ---- starting and stopping --------------------------------------------------

void TConnectionService::setPort(quint16 port)
{
    port_ = port;
}

quint16 TConnectionService::listeningPort() const
{
    return server_->isListening() ? server_->serverPort() : port_;
}

void TConnectionService::SetServiceActive(bool active)
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
    activeCount_ = openConnections();
    RefreshStatus();
    closeOpenLoginRows();
    emit serviceStateChanged(active);
}

void TConnectionService::StopForShutdown()
{
    if (server_->isListening()) {
        closeListener();
        state_ = ServiceState::Stopped;
        activeCount_ = 0;
        RefreshStatus();
        emit serviceStateChanged(false);
    }
    if (LinkData && LinkData->AccListDB.isOpen())
        closeOpenLoginRows();
}

// Closes every open row of the login log: at each start and stop of the
// service (rows an earlier run left open, or those of the connections just
// dropped) and when the program is asked to end.
void TConnectionService::closeOpenLoginRows()
{
    if (LinkData)
        LinkData->ExecuteSql(LinkData->AccListDB,
                             QStringLiteral(" update T_ClientLog set LogoutTime=GetDate(), Closed=1 where Closed=0"));
}

// Stopping the listener closes every connection without the per-connection
// disconnect handling.
void TConnectionService::closeListener()
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
void TConnectionService::release(QTcpSocket* socket)
{
    if (readDepth_ > 0)
        released_.append(socket);
    else
        socket->deleteLater();
}

void TConnectionService::RefreshStatus()
{
    const QString base = ProductTitle() + QStringLiteral("管理软件-服务器");
    if (serviceStarted() && activeCount_ > 0)
        statusText_ = base + QStringLiteral("\u3000共有") + QString::number(activeCount_) + QStringLiteral("个活动连接");
    else
        statusText_ = base;
    emit statusRefreshed();
}

int TConnectionService::CountOpenClientMachines()
{
    // Not guarded: a failing query ends the handler that called it and its
    // error reaches the operator.
    vqsql::ResultSet rs =
        LinkData->AccListDB.query(std::string("select distinct MashineIP from T_ClientLog where Closed=0"));
    return static_cast<int>(rs.rows.size());
}

void TConnectionService::ReconcileCount()
{
    if (openConnections() == activeCount_)
        return;
    runGuarded([this] {
        activeCount_ = std::min(CountOpenClientMachines(), openConnections());
        RefreshStatus();
    });
}

// ---- the listener's events ---------------------------------------------

void TConnectionService::acceptConnections()
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

TConnectionService::Client* TConnectionService::findClient(QTcpSocket* socket)
{
    for (Client& c : clients_)
        if (c.socket == socket)
            return &c;
    return nullptr;
}

void TConnectionService::ServerSocketClientConnect(QTcpSocket*)
{
    runGuarded([this] {
        activeCount_ = std::min(CountOpenClientMachines(), openConnections());
        RefreshStatus();
    });
}

void TConnectionService::ServerSocketClientRead(QTcpSocket* socket)
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

void TConnectionService::answerHandshake(QTcpSocket* socket, const QByteArray& text)
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

void TConnectionService::recordLogin(QTcpSocket* socket, const QByteArray& text)
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

void TConnectionService::ServerSocketClientDisconnect(QTcpSocket* socket)
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
void TConnectionService::ServerSocketClientError(QTcpSocket* socket)
{
    if (!findClient(socket))
        return;
    socket->abort();
    ServerSocketClientDisconnect(socket);   // no-op if abort() ran it already
}

void TConnectionService::DisconnectAllClients()
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
