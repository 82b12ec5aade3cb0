// The server's main window TSrvMainForm: the operator's console. It shows
// the state of the connection service and the active-connection count,
// and offers the commands: start and stop the service, list and disconnect
// clients, change the port, the account-set manager, the login log and the
// database server's version. Its tray icon stays in the notification area
// (where there is one); its timer drives the start-up and then reconciles
// the count every 30 seconds.
//
// The window is thin: the connection service (TConnectionService) owns the
// listener, the clients and the login log; the start-up preparation and
// the texts the commands show are free functions the tests call directly.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QString>

#include <optional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class TConnectionService;

// The information box's text for a database server version, or nothing
// when the major version is none of 8, 9 and 10 (then no box is shown).
// Version 8 below service pack 4 carries the hint to install it.
std::optional<QString> SqlServerVersionText(int major, const QString& versionText);

class TSrvMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TSrvMainForm(QWidget* parent = nullptr);
    ~TSrvMainForm() override;

    TConnectionService& service() const { return *service_; }

    // Start-up: the captions, the tray and the timer that drives the rest
    // (waiting for the database server, PrepareDatabases, the upgrades, the
    // automatic start of the service). Called once after construction.
    void FormCreate();
    // The timer's tick: a start-up step while its interval is below 10 s,
    // afterwards the 30-second reconciliation.
    void TimerServerTimer();
    // Opens the catalogue connection and provisions the databases; false
    // ends the program.
    bool PrepareDatabases();
    // A second start of the program: the window comes back.
    void bringToFront();
    QTimer* timer() const { return TimerServer; }
    QSystemTrayIcon* trayIcon() const { return TrayIcon; }
    QMenu* trayMenu() const { return TrayMenu; }
    // The tray icon's hint: the service's status text.
    QString trayHint() const;

    // The commands, by their own names.
    void btnStateClick();
    void btnClientsClick();
    void btnDisconnAllUserClick();
    void btnChangePortClick();
    void btnAccManageClick();
    void btnLogClick();
    void btnSQLVersionClick();
    void TrayIconClick();
    void ShowWindowActionExecute();
    void StartActionExecute();
    void PauseActionExecute();
    void ExitActionExecute();

signals:
    // The window was closed for good (the closing rules let it): the
    // program ends.
    void closedForGood();

protected:
    // FormClose: refused while clients are connected, otherwise asked.
    void closeEvent(QCloseEvent* event) override;
    // Minimising hides the window from the taskbar where a tray icon can
    // bring it back.
    void changeEvent(QEvent* event) override;

private:
    void buildWindow();
    void buildTray();
    void showServiceState(bool started);
    void showStatus();

    TConnectionService* service_ = nullptr;

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
    QSystemTrayIcon* TrayIcon = nullptr;
    QMenu* TrayMenu = nullptr;
    QIcon stateIcons_[2];   // 0 started, 1 stopped
    QTimer* TimerServer = nullptr;
};
