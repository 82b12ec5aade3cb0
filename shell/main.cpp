// VQTCWSrv: the server program. Creates the application and the main
// window and runs the event loop; everything else lives in the libraries.
#include "srvmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("VQTCWSrv");

    TSrvMainForm mainForm;
    mainForm.show();
    return app.exec();
}
