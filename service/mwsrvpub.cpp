// The server's configuration file (see mwsrvpub.h).
#include "mwsrvpub.h"

#include "inifile.h"
#include "mwcwfun.h"

QString GetServerIniPath()
{
    return GetProgramFolder() + QStringLiteral("VQTCWSrv.ini");
}

int ReadServerPort()
{
    return readIniInt(GetServerIniPath(), QStringLiteral("ServerInfo"), QStringLiteral("ServerPort"), 5971);
}

bool WriteServerPort(int port)
{
    return writeIniString(GetServerIniPath(), QStringLiteral("ServerInfo"), QStringLiteral("ServerPort"),
                          QString::number(port));
}
