// The server's main window TSrvMainForm: the operator's console, and the
// owner of the connection service — the TCP listener through which the
// desktop clients reach the server, the login log it keeps in the
// catalogue's T_ClientLog, and the active-connection count shown in the
// window and the tray hint.
//
// Everything runs on the main thread: socket events arrive through the
// event loop, and the catalogue statements and the reverse name look-up of
// a client run synchronously inside the handlers.
#pragma once

#include <QAbstractSocket>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>

class QLabel;
class QPushButton;
class QSystemTrayIcon;
class QTcpServer;
class QTcpSocket;
class QTimer;

// The error box's text when the listener cannot open its port: names the
// port and what to do; `detail` is the socket's own text for other causes.
QString ListenErrorText(QAbstractSocket::SocketError error, quint16 port, const QString& detail);

class TSrvMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TSrvMainForm(QWidget* parent = nullptr);
    ~TSrvMainForm() override;

    // The short fixed text naming the product; it begins the captions.
    static QString productTitle();

    // The longest single read the service takes from a connection: a read
    // never holds more (the socket's read buffer is bounded), and like any
    // read it is handled as one message.
    static constexpr qint64 kMaxReadBytes = 64 * 1024;

    // The service.
    enum class ServiceState { NotStarted, Started, Stopped };
    void SetServiceActive(bool active);
    ServiceState serviceState() const { return state_; }
    bool serviceStarted() const { return state_ == ServiceState::Started; }
    void setPort(quint16 port);
    quint16 port() const { return port_; }
    // The port the listener is bound to (differs from port() only for 0).
    quint16 listeningPort() const;
    int activeCount() const { return activeCount_; }
    int openConnections() const { return static_cast<int>(clients_.size()); }
    QString trayHint() const { return trayHint_; }

    // Start-up: the captions, the tray and the timer that drives the rest
    // (waiting for the database server, PrepareDatabases, the upgrades, the
    // automatic start of the service). Called once after construction.
    void FormCreate();
    // The timer's tick: a start-up step while its interval is below 10 s,
    // afterwards the 30-second reconciliation.
    void TimerServerTimer();
    // Opens the catalogue connection as sa (asking for the password when
    // the stored one fails, and remembering a right one in VQTCWC.ini) and
    // provisions the databases; false ends the program.
    bool PrepareDatabases();
    // The program is asked to end from outside (a termination signal):
    // stops the timer and the listener without asking, and closes the open
    // login rows, as stopping the service does.
    void StopForShutdown();
    // A second start of the program: the window comes back.
    void bringToFront();
    QTimer* timer() const { return TimerServer; }

    // Operator commands and the listener's events, by their own names.
    void btnStateClick();
    void btnDisconnAllUserClick();
    void ServerSocketClientConnect(QTcpSocket* socket);
    void ServerSocketClientRead(QTcpSocket* socket);
    void ServerSocketClientDisconnect(QTcpSocket* socket);
    void ServerSocketClientError(QTcpSocket* socket);
    int CountOpenClientMachines();
    void RefreshStatus();
    // The timer's step once start-up is over: brings the count in line
    // with the open connections (every 30 seconds).
    void ReconcileCount();

signals:
    // The service was started or stopped (after every step of SetServiceActive).
    void serviceStateChanged(bool started);

private:
    struct Client {
        QTcpSocket* socket = nullptr;
        QString address;   // dotted IPv4 text
        quint16 port = 0;
    };

    void buildWindow();
    void acceptConnections();
    void closeListener();
    void showState();
    Client* findClient(QTcpSocket* socket);
    void answerHandshake(QTcpSocket* socket, const QByteArray& text);
    void recordLogin(QTcpSocket* socket, const QByteArray& text);
    void release(QTcpSocket* socket);

    // Window parts, by the names the program has always used.
    QLabel* LabelMainTitle = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* lbState = nullptr;
    QPushButton* btnState = nullptr;
    QLabel* lbActiveCount = nullptr;
    QPushButton* btnClients = nullptr;
    QPushButton* btnDisconnAllUser = nullptr;
    QLabel* LabelPort = nullptr;
    QPushButton* btnChangePort = nullptr;
    QPushButton* btnAccManage = nullptr;
    QPushButton* btnLog = nullptr;
    QPushButton* btnSQLVersion = nullptr;
    QSystemTrayIcon* trayIcon_ = nullptr;
    QIcon stateIcons_[2];   // 0 started, 1 stopped
    QTimer* TimerServer = nullptr;

    QTcpServer* server_ = nullptr;
    QList<Client> clients_;
    int readDepth_ = 0;               // read handlers on the stack
    QList<QTcpSocket*> released_;     // sockets to free once none is
    ServiceState state_ = ServiceState::NotStarted;
    quint16 port_ = 5971;
    int activeCount_ = 0;
    QString trayHint_;
};
