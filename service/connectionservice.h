// The connection service TConnectionService: the TCP listener through which
// the desktop clients reach the server, the login log it keeps in the
// catalogue's T_ClientLog, and the active-connection count that the main
// window and the tray hint show. No widgets: the main window listens to its
// signals, and tests and benchmarks run it without a window.
//
// Everything runs on the main thread: socket events arrive through the
// event loop, and the catalogue statements and the reverse name look-up of
// a client run synchronously inside the handlers. A box opened inside a
// handler runs its own event loop, so handlers may nest.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;
class QTimer;

class TConnectionService : public QObject {
    Q_OBJECT

public:
    explicit TConnectionService(QObject* parent = nullptr);
    ~TConnectionService() override;

    // The longest single read the service takes from a connection: a read
    // never holds more (the socket's read buffer is bounded), and like any
    // read it is handled as one message.
    static constexpr qint64 kMaxReadBytes = 64 * 1024;
    // How long the rest of a record that began arriving is waited for
    // (since its last bytes); then what arrived is handled as the message.
    static constexpr int kRecordWaitMs = 2000;

    enum class ServiceState { NotStarted, Started, Stopped };
    // Starts or stops the listener and brings the count and the log in
    // line; stopping with active connections asks first.
    void SetServiceActive(bool active);
    ServiceState serviceState() const { return state_; }
    bool serviceStarted() const { return state_ == ServiceState::Started; }
    void setPort(quint16 port);
    quint16 port() const { return port_; }
    // The port the listener is bound to (differs from port() only for 0).
    quint16 listeningPort() const;
    int activeCount() const { return activeCount_; }
    int openConnections() const { return static_cast<int>(clients_.size()); }
    // The status text of the tray hint: the title, and the count while
    // started with active connections.
    QString statusText() const { return statusText_; }

    // Closes every client connection, after the question, while started
    // with active connections; the listener stays open.
    void DisconnectAllClients();
    // The program is asked to end from outside (a termination signal):
    // stops the listener without asking and closes the open login rows.
    void StopForShutdown();

    // The listener's per-connection events, by their own names.
    void ServerSocketClientConnect(QTcpSocket* socket);
    void ServerSocketClientRead(QTcpSocket* socket);
    void ServerSocketClientDisconnect(QTcpSocket* socket);
    void ServerSocketClientError(QTcpSocket* socket);
    // Distinct addresses among the open login rows; not guarded: a failing
    // query throws to the handler that called it.
    int CountOpenClientMachines();
    // Recomputes the status text and tells the listeners.
    void RefreshStatus();
    // Brings the count in line with the open connections (the 30-second
    // step of the main window's timer).
    void ReconcileCount();

signals:
    // The service was started or stopped (after every step of SetServiceActive).
    void serviceStateChanged(bool started);
    // The count or the status text may have changed.
    void statusRefreshed();

private:
    struct Client {
        QTcpSocket* socket = nullptr;
        QString address;   // dotted IPv4 text
        quint16 port = 0;
        QByteArray pending;          // the beginning of a record still arriving
        QTimer* assembly = nullptr;  // how long the rest is waited for (owned by the socket)
    };
    class BusyGuard;

    void acceptConnections();
    void closeListener();
    void closeOpenLoginRows();
    Client* findClient(QTcpSocket* socket);
    void handlePendingRecords(QTcpSocket* socket);
    void finishPendingRecord(QTcpSocket* socket);
    void handleMessage(QTcpSocket* socket, const QByteArray& text);
    void reportMalformedMessage();
    void acceptFailed();
    void answerHandshake(QTcpSocket* socket, const QByteArray& text);
    void recordLogin(QTcpSocket* socket, const QByteArray& text);
    void release(QTcpSocket* socket);

    QTcpServer* server_ = nullptr;
    QList<Client> clients_;
    QHash<QTcpSocket*, int> busy_;          // sockets whose handler is on the stack
    QSet<QTcpSocket*> releaseWhenIdle_;     // ended while their handler ran
    int malformedWaiting_ = 0;              // malformed messages not yet told
    bool malformedBoxScheduled_ = false;    // their box is queued or open
    bool acceptPaused_ = false;
    bool acceptFailureShown_ = false;
    ServiceState state_ = ServiceState::NotStarted;
    quint16 port_ = 5971;
    int activeCount_ = 0;
    QString statusText_;
};

// The error box's text when the listener cannot open its port: names the
// port and what to do; `detail` is the socket's own text for other causes.
QString ListenErrorText(int socketError, quint16 port, const QString& detail);
