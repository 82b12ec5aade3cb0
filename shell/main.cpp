// VQTCWSrv: the server program. Hands over to a running instance when
// there is one; otherwise creates the application, the operator dialogs,
// the main window and the data module, and runs the event loop. The main
// window's timer drives the start-up from there.
#include "linkdm.h"
#include "qtoperatordialogs.h"
#include "singleinstance.h"
#include "srvmain.h"
#include "upgradedm.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("VQTCWSrv");

    TSingleInstance instance;
    if (instance.handOverToRunningInstance())
        return 0;

    QtOperatorDialogs dialogs;
    setOperatorDialogs(&dialogs);

    TSrvMainForm mainForm;
    TLinkData linkData;
    LinkData = &linkData;
    TUpgradeData upgradeData;
    UpgradeData = &upgradeData;
    instance.listen([&mainForm] { mainForm.bringToFront(); });
    mainForm.FormCreate();
    mainForm.show();
    const int rc = app.exec();
    UpgradeData = nullptr;
    LinkData = nullptr;
    setOperatorDialogs(nullptr);
    return rc;
}
