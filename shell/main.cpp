// VQTCWSrv: the server program. Hands over to a running instance when
// there is one; otherwise creates the application, the operator dialogs,
// the main window and the data module, and runs the event loop. The main
// window's timer drives the start-up from there.
//
// With a display the operator's boxes are windows. Without one (Qt's
// offscreen platform, a server without a desktop) they go to the terminal:
// notices on standard error, questions asked there when a terminal is
// attached, otherwise answered with the safe choice. SIGTERM, SIGINT and
// SIGHUP stop the service, close the open login rows and end the program.
#include "connectionservice.h"
#include "linkdm.h"
#include "mwstdfun.h"
#include "qtoperatordialogs.h"
#include "singleinstance.h"
#include "srvmain.h"
#include "terminaloperatordialogs.h"
#include "terminationsignals.h"
#include "upgradedm.h"

#include <QApplication>
#include <QTimer>

#include <optional>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("VQTCWSrv");
    // The program ends when the main window is closed for good, also from
    // the tray while the window is hidden; not when a dialog closes.
    QApplication::setQuitOnLastWindowClosed(false);

    TSingleInstance instance;
    if (instance.handOverToRunningInstance())
        return 0;

    const bool headless = IsHeadlessPlatform();
    QtOperatorDialogs windowDialogs;
    std::optional<TerminalOperatorDialogs> terminalDialogs;
    if (headless) {
        terminalDialogs.emplace(TerminalOperatorDialogs::onStandardStreams());
        setOperatorDialogs(&*terminalDialogs);
    } else {
        LoadChineseQtTranslations(app);
        setOperatorDialogs(&windowDialogs);
    }

    TSrvMainForm mainForm;
    TLinkData linkData;
    LinkData = &linkData;
    TUpgradeData upgradeData;
    UpgradeData = &upgradeData;
    instance.listen([&mainForm] { mainForm.bringToFront(); });

    if (headless) {
        QObject::connect(&mainForm.service(), &TConnectionService::serviceStateChanged, &mainForm, [&](bool started) {
            ShowInfo(started ? QStringLiteral("服务已启动，端口") + QString::number(mainForm.service().listeningPort()) +
                                   QStringLiteral("，等待客户端联接。")
                             : QStringLiteral("服务已停止。"));
        });
    }
    TTerminationSignals termination;
    QObject::connect(&termination, &TTerminationSignals::requested, &mainForm, [&](int) {
        if (terminalDialogs)
            terminalDialogs->cancelPendingQuestions();
        mainForm.timer()->stop();
        mainForm.service().StopForShutdown();
        if (headless)
            ShowInfo(QStringLiteral("服务器已退出，未关闭的登录记录已全部关闭。"));
        QCoreApplication::exit(0);
    });

    QObject::connect(&mainForm, &TSrvMainForm::closedForGood, &app, [] { QCoreApplication::exit(0); },
                     Qt::QueuedConnection);
    mainForm.FormCreate();
    mainForm.show();
    const int rc = app.exec();
    UpgradeData = nullptr;
    LinkData = nullptr;
    setOperatorDialogs(nullptr);
    return rc;
}
