// Questions about the database server on this machine, the program's
// folders and the current date.
//
// On this platform the database server is the embedded engine's default
// instance: "installed" means initialised, "running" means started. The
// short cut of the original checks stays: anything listening on TCP port
// 1433 (a SQL Server) counts as installed and running.
#pragma once

#include <QDate>
#include <QString>

namespace vqsql {
class Connection;
}

// True when a TCP socket cannot be bound to the port on any local address
// because the address is in use.
bool IsPortInUse(int port);
bool IsSqlServerInstalled();
bool IsSqlServerRunning();
// The database server's installation folder (the engine's default
// instance folder), empty when none is installed.
QString GetSqlServerInstallPath();

struct SqlServerVersion {
    int major = 0;      // 8, 9, 10 or 0
    QString text;       // e.g. "10.0.1600." or the whole version text
};
// "select @@Version as VersionName" with no time-out; the first of "8.",
// "9.", "10." found in the text gives the major version. Errors pass.
SqlServerVersion GetSqlServerVersion(vqsql::Connection& connection);

// The program's folder, ending in "/": the executable's folder unless a
// test has set another with setProgramFolder.
QString GetProgramFolder();
void setProgramFolder(const QString& folder);
// With an empty name the program folder; otherwise the program folder +
// name + "/", created when missing; empty when it cannot be created.
QString GetProgramSubfolder(const QString& name);
// The login configuration file VQTCWC.ini beside the program.
QString GetClientIniPath();
QDate Today();
// The short fixed text naming the product.
QString ProductTitle();
