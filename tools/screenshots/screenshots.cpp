// vqscreenshots FOLDER: shows the server program's windows one by one and
// saves a PNG picture of each into FOLDER. Meant for a virtual X display
// (scripts/screenshots.sh runs it under xvfb-run with QT_QPA_PLATFORM=xcb).
//
// It works on a throwaway installation only: VQSQL_HOME must name a folder
// that holds no engine instance yet; the program initialises one there
// (empty sa password), restores the installed database backups of the
// build's program folder into it, and uses a temporary program folder.
// The main window then starts up as the program does (FormCreate and its
// timer: the catalogue connection, the upgrades, the service on the port
// of VQTCWSrv.ini). A few login-log rows are written, one client connects
// and reports its login, and the windows are shown:
//
//   main-window.png      the main window after start-up
//   tray-menu.png        the tray icon's menu, popped up on its own
//   port-dialog.png      the port dialog
//   version-box.png      the database server version's information box
//   login-log.png        the login-log viewer
//   active-log.png       the active-connections viewer
//   exit-question.png    the question the closing rules ask
//   account-sets.png     the account-set manager (opened by 账套管理 once
//                        the service is stopped), with a few account sets
//   recycle-bin.png      the account-set recycle bin
//   attach-dialog.png    the attach dialog, offering the sample's database
//
// Modal windows run their own event loop: a timer finds the modal window,
// saves its picture and closes it (No, Cancel or OK). A box nobody expected
// is saved as unexpected-N.png, its text printed, and closed the same way.
// A watchdog thread ends the program with status 3 after 60 seconds, so it
// never waits for ever.
#include "connectionservice.h"
#include "instance.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwdbfun.h"
#include "mwsocket.h"
#include "mwsrvpub.h"
#include "operatordialogs.h"
#include "pubselefunddb.h"
#include "qtoperatordialogs.h"
#include "srvmain.h"
#include "srvnewport.h"
#include "srvrecycle.h"
#include "textcodec.h"
#include "upgradedm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr int kWatchdogSeconds = 60;

QString g_folder;          // where the pictures go
int g_saved = 0;           // pictures written
int g_unexpected = 0;      // boxes nobody expected
bool g_expectingModal = false;

void say(const QString& text)
{
    std::fprintf(stdout, "%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

// Ends the program when the work has not finished in time: a thread of its
// own, so that it fires even when the main thread is stuck outside the
// event loop.
class Watchdog {
public:
    explicit Watchdog(int seconds)
        : thread_([this, seconds] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return finished_; })) {
                  std::fprintf(stderr, "vqscreenshots: not finished after %d s, giving up\n", seconds);
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// Runs the event loop for about `ms` milliseconds.
void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

// Runs the event loop until `done` holds or the time is up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// True when every pixel has the same colour (a grab that caught nothing).
bool isUniform(const QImage& image)
{
    if (image.isNull())
        return true;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            if (image.pixel(x, y) != first)
                return false;
    return true;
}

// The window as it is on the X screen (frame included where a window
// manager draws one); the widget's own rendering when the screen gives
// nothing.
QImage grabWindow(QWidget* window)
{
    window->repaint();
    QCoreApplication::processEvents();
    const QRect area = window->frameGeometry();
    QImage image;
    if (QScreen* screen = window->screen())
        image = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    if (isUniform(image)) {
        say(QStringLiteral("  (the screen gave no picture of %1; drawn by the widget instead)").arg(window->objectName()));
        image = window->grab().toImage();
    }
    return image;
}

bool save(const QString& name, const QImage& image)
{
    const QString path = g_folder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (image.isNull() || !image.save(path, "PNG")) {
        say(QStringLiteral("FAILED to save ") + path);
        return false;
    }
    ++g_saved;
    say(QStringLiteral("saved %1 (%2 x %3)").arg(path).arg(image.width()).arg(image.height()));
    return true;
}

// Waits until the window is on the screen and drawn.
void waitShown(QWidget* window)
{
    waitUntil([window] { return window->windowHandle() && window->windowHandle()->isExposed(); }, 5000);
    settle(400);
}

// Closes a modal window the way an operator who says no would: No, then
// Cancel, then OK of a box; a dialog is rejected.
void closeModal(QWidget* window)
{
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        for (QMessageBox::StandardButton which : {QMessageBox::No, QMessageBox::Cancel, QMessageBox::Ok})
            if (QAbstractButton* button = box->button(which)) {
                button->click();
                return;
            }
    }
    if (auto* dialog = qobject_cast<QDialog*>(window)) {
        dialog->reject();
        return;
    }
    window->close();
}

QString modalText(QWidget* window)
{
    if (auto* box = qobject_cast<QMessageBox*>(window))
        return box->windowTitle() + QStringLiteral(": ") + box->text();
    return window->windowTitle();
}

// Runs `open`, which shows a modal window and returns once it is closed;
// meanwhile a timer saves the window's picture as `name` and closes it.
// False when no modal window came up.
bool grabModal(const QString& name, const std::function<void()>& open)
{
    QWidget* const before = QApplication::activeModalWidget();
    QPointer<QWidget> target;
    QElapsedTimer seen;
    bool grabbed = false;
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window || window == before || !window->isVisible())
            return;
        if (target != window) {
            target = window;
            seen.start();
            return;
        }
        if (!window->windowHandle() || !window->windowHandle()->isExposed() || seen.elapsed() < 600)
            return;
        poll.stop();
        say(QStringLiteral("%1: %2").arg(name, modalText(window)));
        grabbed = save(name, grabWindow(window));
        closeModal(window);
    });
    g_expectingModal = true;
    poll.start();
    open();
    poll.stop();
    g_expectingModal = false;
    if (!grabbed)
        say(QStringLiteral("NOT SHOWN: ") + name + QStringLiteral(" (no modal window came up)"));
    return grabbed;
}

// Saves and closes any modal box that comes up while nothing expects one
// (an error during start-up, say), so that nothing waits on it.
void watchUnexpectedBoxes(QObject* owner)
{
    auto* timer = new QTimer(owner);
    timer->setInterval(250);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (g_expectingModal)
            return;
        QWidget* window = QApplication::activeModalWidget();
        if (!window || !window->isVisible())
            return;
        ++g_unexpected;
        say(QStringLiteral("UNEXPECTED box: ") + modalText(window));
        save(QStringLiteral("unexpected-%1").arg(g_unexpected), grabWindow(window));
        closeModal(window);
    });
    timer->start();
}

// A port nothing listens on just now: the program's default 5971 when it
// is free (the pictures then show the port an operator sees), else any.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::AnyIPv4, 5971) && !probe.listen(QHostAddress::AnyIPv4, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// Restores an installed backup of the build's program folder under its own
// name into the instance's data folder.
void restoreInstalledBackup(vqsql::Connection& master, const std::string& instance, const QString& name)
{
    const QString file = QStringLiteral(VQ_PROGRAM_DIR "/") + name + QStringLiteral(".mdk");
    const QString data = QString::fromStdString(vqsql::instanceDataFolder(instance)) + QLatin1Char('/');
    vqsql::ResultSet files = master.query(("restore filelistonly from disk = " + sqlQuoted(file)).toStdString());
    QString dataName, logName;
    for (std::size_t i = 0; i < files.rows.size(); ++i)
        (files.at(i, "Type").toString() == "D" ? dataName : logName) =
            QString::fromStdString(files.at(i, "LogicalName").toString());
    master.execute((QStringLiteral("restore database [") + name + QStringLiteral("] from disk = ") + sqlQuoted(file) +
                    QStringLiteral(" with move ") + sqlQuoted(dataName) + QStringLiteral(" to ") +
                    sqlQuoted(data + name + QStringLiteral(".mdf")) + QStringLiteral(", move ") + sqlQuoted(logName) +
                    QStringLiteral(" to ") + sqlQuoted(data + name + QStringLiteral("_log.ldf")))
                       .toStdString());
}

struct LogRow {
    const char* ip;
    const char* machine;
    int port;
    const char* dbName;
    const char* accName;
    const char* user;
    int minutesAgo;      // login
    int minutesLasted;   // 0: still open
};

// A few days of logins: ended ones (Closed = 1) and open ones (Closed = 0).
const LogRow kLogRows[] = {
    {"192.168.1.21", "CAIWU-01", 1052, "Sample", "财务例子账", "张会计", 3 * 1440 + 95, 212},
    {"192.168.1.35", "CHUNA-PC", 1077, "ZT001", "华兴五金商行", "李出纳", 2 * 1440 + 300, 48},
    {"192.168.1.21", "CAIWU-01", 1101, "ZT001", "华兴五金商行", "张会计", 2 * 1440 + 120, 185},
    {"192.168.1.48", "LAOBAN", 1130, "ZT002", "顺达物流有限公司", "王经理", 1440 + 200, 31},
    {"192.168.1.35", "CHUNA-PC", 1164, "ZT002", "顺达物流有限公司", "李出纳", 1440 + 90, 77},
    {"192.168.1.21", "CAIWU-01", 1203, "ZT001", "华兴五金商行", "张会计", 240, 0},
    {"192.168.1.35", "CHUNA-PC", 1218, "ZT002", "顺达物流有限公司", "李出纳", 150, 0},
    {"192.168.1.48", "LAOBAN", 1226, "Sample", "财务例子账", "王经理", 35, 0},
};

void writeLogRows()
{
    int key = LinkData->QueryMaxID(LinkData->AccListDB, QStringLiteral("T_ClientLog"), QStringLiteral("KeyID"));
    const QDateTime now = QDateTime::currentDateTime();
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    for (const LogRow& row : kLogRows) {
        const QDateTime login = now.addSecs(-60LL * row.minutesAgo);
        const QString logout = row.minutesLasted > 0
                                   ? sqlQuoted(login.addSecs(60LL * row.minutesLasted).toString(format))
                                   : QStringLiteral("null");
        const QString sql =
            QStringLiteral("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, "
                           "LoginUser, LoginTime, LogoutTime, Closed) values(") +
            QString::number(++key) + QLatin1Char(',') + sqlQuoted(QString::fromUtf8(row.ip)) + QLatin1Char(',') +
            sqlQuoted(QString::fromUtf8(row.machine)) + QLatin1Char(',') + QString::number(row.port) +
            QLatin1Char(',') + sqlQuoted(QString::fromUtf8(row.dbName)) + QLatin1Char(',') +
            sqlQuoted(QString::fromUtf8(row.accName)) + QLatin1Char(',') + sqlQuoted(QString::fromUtf8(row.user)) +
            QLatin1Char(',') + sqlQuoted(login.toString(format)) + QLatin1Char(',') + logout + QLatin1Char(',') +
            QString::number(row.minutesLasted > 0 ? 1 : 0) + QLatin1Char(')');
        if (!LinkData->ExecuteSql(LinkData->AccListDB, sql))
            say(QStringLiteral("could not write a login row: ") + sql);
    }
}

struct AccSetRow {
    const char* code;
    const char* name;
    int delFlag;
};

// The catalogue's account sets: active ones, and two in the recycle bin of
// which the sample is the one whose database exists (the attach dialog
// offers it).
const AccSetRow kAccSetRows[] = {
    {"ZT001", "华兴五金商行", 0},       {"ZT002", "顺达物流有限公司", 0}, {"ZT004", "明远贸易有限公司", 0},
    {"ZT005", "福安食品加工厂", 0},     {"Sample", "财务例子账", 1},      {"ZT003", "旧账套2019", 1},
};

void writeAccSetRows()
{
    int key = LinkData->QueryMaxID(LinkData->AccListDB, QStringLiteral("AccList"), QStringLiteral("KeyID"));
    for (const AccSetRow& row : kAccSetRows) {
        const QString sql = QStringLiteral("insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) "
                                           "values(") +
                            QString::number(++key) + QLatin1Char(',') + sqlQuoted(QString::fromUtf8(row.code)) +
                            QLatin1Char(',') + sqlQuoted(QString::fromUtf8(row.name)) + QLatin1Char(',') +
                            QString::number(row.delFlag) + QStringLiteral(",0,0)");
        if (!LinkData->ExecuteSql(LinkData->AccListDB, sql))
            say(QStringLiteral("could not write an account-set row: ") + sql);
    }
}

// The fields of a client message as on the wire, each followed by the separator.
QByteArray record(const QList<QByteArray>& fields)
{
    QByteArray out;
    for (const QByteArray& field : fields)
        out += field + kFieldSeparator;
    return out;
}

int run(QApplication& app)
{
    // The throwaway instance: VQSQL_HOME must name a folder without one.
    if (qEnvironmentVariableIsEmpty("VQSQL_HOME")) {
        say(QStringLiteral("VQSQL_HOME must name a throwaway folder"));
        return 2;
    }
    const std::string instance = vqsql::defaultInstanceFolder();
    if (vqsql::isInstanceInitialised(instance)) {
        say(QStringLiteral("VQSQL_HOME already holds an instance; give a fresh folder"));
        return 2;
    }
    vqsql::initialiseInstance(instance, "");
    {
        vqsql::Connection master;
        master.open(vqsql::ConnectionParams{instance, "master", "sa", ""});
        for (const char* name : {"VQTCW_Sample", "VQTCWAccList", "VQTCWPack"})
            restoreInstalledBackup(master, instance, QString::fromLatin1(name));
    }
    QTemporaryDir programDir;
    if (!programDir.isValid()) {
        say(QStringLiteral("no temporary folder"));
        return 2;
    }
    setProgramFolder(programDir.path() + QLatin1Char('/'));
    const quint16 port = freePort();
    WriteServerPort(port ? port : 47971);

    LoadChineseQtTranslations(app);
    QtOperatorDialogs dialogs;
    setOperatorDialogs(&dialogs);
    watchUnexpectedBoxes(&app);
    say(QSystemTrayIcon::isSystemTrayAvailable()
            ? QStringLiteral("system tray: available")
            : QStringLiteral("system tray: none on this display; the tray menu is popped up on its own"));

    TSrvMainForm mainForm;
    TLinkData linkData;
    LinkData = &linkData;
    TUpgradeData upgradeData;
    UpgradeData = &upgradeData;

    // The start-up as the program runs it.
    mainForm.FormCreate();
    mainForm.show();
    if (!waitUntil([&] { return mainForm.service().serviceStarted(); }, 20000)) {
        say(QStringLiteral("the service did not start"));
        return 1;
    }
    // The 30-second reconciliation would change the count between pictures.
    mainForm.timer()->stop();

    // Starting the service closed the open rows; these come afterwards.
    writeLogRows();
    // One client connects and reports its login, as a desktop client does.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, mainForm.service().listeningPort());
    if (!waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState &&
                                mainForm.service().openConnections() == 1; },
                   5000))
        say(QStringLiteral("the client did not connect"));
    client.write(record({"1", "0", "0", "null", "a", "b", "c", "d", "e"}));
    waitUntil([&] { return client.bytesAvailable() > 0; }, 5000);
    client.readAll();
    client.write(record({"2", "0", "0", "null", "ZT001", toGbk(QStringLiteral("华兴五金商行")),
                         toGbk(QStringLiteral("赵主管")), "null", "null"}));
    waitUntil([&] { return mainForm.service().activeCount() > 0; }, 5000);
    settle(300);
    say(QStringLiteral("service started on port %1, active count %2")
            .arg(mainForm.service().listeningPort())
            .arg(mainForm.service().activeCount()));

    // The main window.
    waitShown(&mainForm);
    save(QStringLiteral("main-window"), grabWindow(&mainForm));

    // The tray menu: without a system tray it cannot open from an icon; it
    // is popped up on its own beside the main window.
    if (QMenu* menu = mainForm.trayMenu()) {
        menu->popup(mainForm.frameGeometry().topRight() + QPoint(12, 40));
        if (waitUntil([menu] { return menu->isVisible(); }, 3000)) {
            waitShown(menu);
            save(QStringLiteral("tray-menu"), grabWindow(menu));
        } else {
            say(QStringLiteral("NOT SHOWN: tray-menu (the menu did not pop up)"));
        }
        menu->hide();
        settle(200);
    }

    // The port dialog. (更改端口号 opens it only while the service is
    // stopped; here it is opened directly.)
    {
        TSrvNewPortForm dialog(&mainForm);
        grabModal(QStringLiteral("port-dialog"), [&] { dialog.exec(); });
    }
    auto click = [&](const char* name) {
        if (auto* button = mainForm.findChild<QPushButton*>(QLatin1String(name)))
            button->click();
        else
            say(QStringLiteral("no button ") + QLatin1String(name));
    };
    grabModal(QStringLiteral("version-box"), [&] { click("btnSQLVersion"); });
    grabModal(QStringLiteral("login-log"), [&] { click("btnLog"); });
    grabModal(QStringLiteral("active-log"), [&] { click("btnClients"); });

    // The closing rules ask only when no client is connected: the client
    // leaves and the count is brought in line first.
    client.disconnectFromHost();
    waitUntil([&] { return mainForm.service().openConnections() == 0; }, 5000);
    mainForm.service().ReconcileCount();
    settle(200);
    grabModal(QStringLiteral("exit-question"), [&] { mainForm.close(); });

    // The account-set windows: the manager opens from its button once the
    // service is stopped; the recycle bin and the attach dialog are opened
    // directly (from the manager they would be a modal window inside one).
    mainForm.service().SetServiceActive(false);
    writeAccSetRows();
    settle(200);
    grabModal(QStringLiteral("account-sets"), [&] { click("btnAccManage"); });
    {
        TSrvRecycleForm recycleBin(&mainForm);
        grabModal(QStringLiteral("recycle-bin"), [&] { recycleBin.exec(); });
    }
    {
        TPubSeleFundDBForm attach(&mainForm);
        grabModal(QStringLiteral("attach-dialog"), [&] { attach.exec(); });
    }

    mainForm.service().StopForShutdown();
    mainForm.hide();
    settle(100);
    UpgradeData = nullptr;
    LinkData = nullptr;
    setOperatorDialogs(nullptr);
    say(QStringLiteral("%1 pictures, %2 unexpected boxes").arg(g_saved).arg(g_unexpected));
    return g_saved >= 10 && g_unexpected == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    Watchdog watchdog(kWatchdogSeconds);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vqscreenshots"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vqscreenshots FOLDER\n");
        return 2;
    }
    g_folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(g_folder)) {
        std::fprintf(stderr, "vqscreenshots: cannot create %s\n", argv[1]);
        return 2;
    }
    if (IsHeadlessPlatform()) {
        std::fprintf(stderr, "vqscreenshots: needs an X display (QT_QPA_PLATFORM=xcb), not %s\n",
                     qPrintable(QGuiApplication::platformName()));
        return 2;
    }
    try {
        return run(app);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vqscreenshots: %s\n", e.what());
        return 1;
    }
}
