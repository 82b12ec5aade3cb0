// The connection service (see connectionservice.h).
#include "connectionservice.h"

#include "clientlogtext.h"
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
#include <QTimer>

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
    connect(server_, &QTcpServer::acceptError, this, &TConnectionService::acceptFailed);
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

// A socket leaves memory at once, unless its own handler is on the stack
// (a box opened inside it runs an event loop in which the connection may
// end): then when that handler returns. Other connections never wait.
void TConnectionService::release(QTcpSocket* socket)
{
    if (busy_.value(socket) > 0)
        releaseWhenIdle_.insert(socket);
    else
        socket->deleteLater();
    // A descriptor is free again: accepting goes on if it had to pause.
    if (acceptPaused_ && server_->isListening()) {
        acceptPaused_ = false;
        server_->resumeAccepting();
    }
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
        client.assembly = new QTimer(socket);
        client.assembly->setSingleShot(true);
        client.assembly->setInterval(kRecordWaitMs);
        connect(client.assembly, &QTimer::timeout, this, [this, socket] { finishPendingRecord(socket); });
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

// Accepting failed, most likely for want of file descriptors: accepting
// pauses (instead of failing again at once, for ever) until a connection
// closes, and the operator is told the first time.
void TConnectionService::acceptFailed()
{
    server_->pauseAccepting();
    acceptPaused_ = true;
    if (acceptFailureShown_)
        return;
    acceptFailureShown_ = true;
    const QString detail = server_->errorString();
    QTimer::singleShot(0, this, [detail] {
        ShowError(QStringLiteral("服务器暂时不能接受新的客户端联接（") + detail +
                      QStringLiteral("），有联接断开后将自动恢复。"),
                  QStringLiteral("错误"));
    });
}

void TConnectionService::ServerSocketClientConnect(QTcpSocket*)
{
    runGuarded([this] {
        activeCount_ = std::min(CountOpenClientMachines(), openConnections());
        RefreshStatus();
    });
}

// Marks a socket's handler as on the stack: the socket is not freed under
// it, even when its connection ends inside a box the handler opened.
class TConnectionService::BusyGuard {
public:
    BusyGuard(TConnectionService& service, QTcpSocket* socket) : service_(service), socket_(socket)
    {
        ++service_.busy_[socket_];
    }
    ~BusyGuard()
    {
        if (--service_.busy_[socket_] > 0)
            return;
        service_.busy_.remove(socket_);
        if (service_.releaseWhenIdle_.remove(socket_))
            socket_->deleteLater();
    }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    TConnectionService& service_;
    QTcpSocket* socket_;
};

namespace {

// True when `text` may be the beginning of a handshake or a login report:
// its first field is 1 or 2, or has not ended yet and so far reads as a
// number. Anything else is ignored as soon as it is seen.
bool mayBeginRecord(const QByteArray& text)
{
    const qsizetype firstEnd = text.indexOf(kFieldSeparator);
    if (firstEnd >= 0) {
        const int type = GetMsgType(text);
        return type == 1 || type == 2;
    }
    if (text.isEmpty() || text.size() > 11)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool sign = i == 0 && (c == '+' || c == '-');
        if (!sign && !(c >= '0' && c <= '9') && !(c == '\x0A' && i == text.size() - 1))
            return false;
    }
    return true;
}

}  // namespace

void TConnectionService::ServerSocketClientRead(QTcpSocket* socket)
{
    Client* client = findClient(socket);
    if (!client)
        return;
    BusyGuard busy(*this, socket);
    const QByteArray bytes = socket->read(kMaxReadBytes);
    if (client->pending.isEmpty()) {
        // A read that holds a whole record, or that cannot begin one, is
        // one message, as it always was (there is no framing in the
        // protocol): bytes after the record's ninth field are not used.
        if (RecordEnd(bytes) >= 0 || !mayBeginRecord(bytes)) {
            handleMessage(socket, bytes);
            return;
        }
    }
    // A record the network split, or a slow client: gathered until its
    // ninth separator arrives.
    client->pending += bytes;
    handlePendingRecords(socket);
}

void TConnectionService::handlePendingRecords(QTcpSocket* socket)
{
    for (;;) {
        Client* client = findClient(socket);
        if (!client)
            return;
        const qsizetype end = RecordEnd(client->pending);
        if (end < 0 && client->pending.size() < kMaxReadBytes) {
            if (!mayBeginRecord(client->pending)) {
                client->pending.clear();
                client->assembly->stop();
            } else {
                client->assembly->start();   // what arrived waits for the rest a while
            }
            return;
        }
        // A whole record, or as much as one may hold: handled as one message.
        const QByteArray message = end >= 0 ? client->pending.left(end) : client->pending;
        client->pending.remove(0, message.size());
        if (!mayBeginRecord(client->pending))
            client->pending.clear();
        if (client->pending.isEmpty())
            client->assembly->stop();
        handleMessage(socket, message);
    }
}

void TConnectionService::finishPendingRecord(QTcpSocket* socket)
{
    Client* client = findClient(socket);
    if (!client || client->pending.isEmpty())
        return;
    BusyGuard busy(*this, socket);
    // The rest did not come in time: what arrived is the message.
    const QByteArray message = client->pending;
    client->pending.clear();
    handleMessage(socket, message);
}

void TConnectionService::handleMessage(QTcpSocket* socket, const QByteArray& text)
{
    switch (GetMsgType(text)) {
    case 1: answerHandshake(socket, text); break;
    case 2: runGuarded([&] { recordLogin(socket, text); }); break;
    default: break;   // anything else is ignored without a word
    }
}

// The box of a malformed message is shown from the event loop, never inside
// a read handler, and one at a time: messages that arrive meanwhile are
// counted and told in the next box. So no client waits behind a box, and
// no number of malformed messages makes boxes pile up.
void TConnectionService::reportMalformedMessage()
{
    ++malformedWaiting_;
    if (malformedBoxScheduled_)
        return;
    malformedBoxScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        while (malformedWaiting_ > 0) {
            const int count = malformedWaiting_;
            malformedWaiting_ = 0;
            ShowInfo(count == 1 ? kMalformedMessageText
                                : kMalformedMessageText + QStringLiteral("（共收到") + QString::number(count) +
                                      QStringLiteral("条不正确的信息）"),
                     kMalformedMessageCaption);
        }
        malformedBoxScheduled_ = false;
    });
}

void TConnectionService::answerHandshake(QTcpSocket* socket, const QByteArray& text)
{
    TSocketInfo info;
    if (!info.ParseFields(text))
        reportMalformedMessage();
    info.MsgType = 1;
    info.Value1 = 1;
    info.Value2 = 0;
    info.Text3 = toGbk(LinkData ? LinkData->rememberedPassword() : QString());
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
    if (!info.ParseFields(text))
        reportMalformedMessage();   // the row is written all the same, with empty texts
    // Every text goes between single quotes with its apostrophes doubled,
    // never part of the statement, and made a text its column can hold (cut
    // to its width, '?' for bytes no text can hold), so that every login
    // leaves exactly one row.
    const QString sql =
        QStringLiteral(" declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert into "
                       "T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName,AccName, LoginUser, LoginTime, "
                       "Closed) values( @MaxID,") +
        sqlQuoted(ClientLogText(address, ClientLogWidth::MashineIP)) + QLatin1Char(',') +
        sqlQuoted(ClientLogText(hostName, ClientLogWidth::MashineName)) + QLatin1Char(',') + QString::number(port) +
        QLatin1Char(',') + sqlQuoted(ClientLogText(info.Text4, ClientLogWidth::DBName)) + QLatin1Char(',') +
        sqlQuoted(ClientLogText(info.Text5, ClientLogWidth::AccName)) + QLatin1Char(',') +
        sqlQuoted(ClientLogText(info.Text6, ClientLogWidth::LoginUser)) + QStringLiteral(", GetDate(), 0) ");
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
                                 sqlQuoted(ClientLogText(address, ClientLogWidth::MashineIP)) + QStringLiteral(" and ConnectPort=") + QString::number(port) +
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
