// Questions about the database server, the program's folders and the date
// (see mwcwfun.h).
#include "mwcwfun.h"

#include "connection.h"
#include "instance.h"
#include "mwstdfun.h"

#include <QCoreApplication>
#include <QDir>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString programFolderOverride;

// The embedded engine has no named instances; a driver for another engine
// answers here whether only a named instance ("SQLExpress") is present.
bool namedInstanceInstalled()
{
    return false;
}

bool namedInstanceRunning()
{
    return false;
}

}  // namespace

bool IsPortInUse(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool inUse = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno == EADDRINUSE;
    ::close(fd);
    return inUse;
}

QString GetSqlServerInstallPath()
{
    return vqsql::isDefaultInstanceInstalled() ? QString::fromStdString(vqsql::defaultInstanceFolder()) : QString();
}

bool IsSqlServerInstalled()
{
    if (IsPortInUse(1433))
        return true;
    if (GetSqlServerInstallPath().isEmpty() && !namedInstanceInstalled())
        return false;
    if (vqsql::isDefaultInstanceInstalled())
        return true;
    if (namedInstanceInstalled()) {
        ShowInfo(QStringLiteral("您安装的SQL Server 2005/2008 Express实例不是默认实例(MSSQLSERVER)，\r\n"
                                "本程序可能不能正常工作，如不能正常工作，请在重新安装Express时，选择默认实例。"),
                 QStringLiteral("提示"));
        return true;
    }
    return false;
}

bool IsSqlServerRunning()
{
    if (IsPortInUse(1433))
        return true;
    if (vqsql::isDefaultInstanceInstalled())
        return vqsql::isDefaultInstanceRunning();
    if (!namedInstanceInstalled())
        return false;
    ShowInfo(QStringLiteral("本机安装的是SQL Server的命名实例SQLExpress，本系统可能。无法正常工作，请安装SQL Server"
                            "的默认实例后再运行本系统。"),
             QStringLiteral("提示"));
    return namedInstanceRunning();
}

SqlServerVersion GetSqlServerVersion(vqsql::Connection& connection)
{
    connection.setCommandTimeout(0);
    vqsql::ResultSet rs = connection.query(std::string("select @@Version as VersionName"));
    SqlServerVersion v;
    if (rs.rows.empty())
        return v;
    const QString text = QString::fromStdString(rs.at(0, "VersionName").toString());
    const struct {
        const char* marker;
        int length;
        int major;
    } kinds[] = {{"8.", 9, 8}, {"9.", 9, 9}, {"10.", 10, 10}};
    for (const auto& k : kinds) {
        const qsizetype at = text.indexOf(QLatin1String(k.marker));
        if (at >= 0) {
            v.major = k.major;
            v.text = text.mid(at, k.length).trimmed();
            return v;
        }
    }
    v.text = text;
    return v;
}

QString GetProgramFolder()
{
    QString folder = programFolderOverride.isEmpty() ? QCoreApplication::applicationDirPath() : programFolderOverride;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

void setProgramFolder(const QString& folder)
{
    programFolderOverride = folder;
}

QString GetProgramSubfolder(const QString& name)
{
    const QString base = GetProgramFolder();
    if (name.isEmpty())
        return base;
    const QString folder = base + name + QLatin1Char('/');
    if (!QDir().mkpath(folder) || !QDir(folder).exists())
        return {};
    return folder;
}

QString GetClientIniPath()
{
    return GetProgramFolder() + QStringLiteral("VQTCWC.ini");
}

QDate Today()
{
    return QDate::currentDate();
}

QString ProductTitle()
{
    return QStringLiteral("VQTCW财务");
}
