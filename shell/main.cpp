// VQTCWSrv: the server program. Creates the application, the operator
// dialogs, the main window and the data module, and runs the event loop;
// everything else lives in the libraries.
#include "linkdm.h"
#include "qtoperatordialogs.h"
#include "srvmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("VQTCWSrv");

    QtOperatorDialogs dialogs;
    setOperatorDialogs(&dialogs);

    TSrvMainForm mainForm;
    TLinkData linkData;
    LinkData = &linkData;
    mainForm.show();
    const int rc = app.exec();
    LinkData = nullptr;
    setOperatorDialogs(nullptr);
    return rc;
}
