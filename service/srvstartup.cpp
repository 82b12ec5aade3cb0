// Start-up preparation (see srvstartup.h).
#include "srvstartup.h"

#include "clientlogindexes.h"
#include "inifile.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwsrvpub.h"
#include "mwstdfun.h"
#include "srvprovision.h"

bool PrepareDatabases()
{
    const QString server = QStringLiteral(".");
    QString password =
        readIniString(GetClientIniPath(), QStringLiteral("LoginInfo"), QStringLiteral("SAPassword"), QString());
    bool connected = LinkData->ConnectCatalogue(server, QStringLiteral("master"), password, false);
    if (!connected) {
        if (!IsSqlServerInstalled()) {
            ShowInfo(QStringLiteral("本机尚未安装微软SQL Server 2000或其免费版本MSDE 2000数据库系统，\r\n"
                                    "请先安装SQLServer数据库，安装成功再运行本软件。"),
                     QStringLiteral("提示"));
            return false;
        }
        if (!IsSqlServerRunning()) {
            ShowInfo(QStringLiteral("\u3000\u3000您在安装微软SQL Server 2000或其免费版本MSDE 2000数据库系\r\n"
                                    "统后，可能尚未重新启动过Windows系统，SQL Server仍处于尚未运\r\n"
                                    "行状态，请重新启动系统后，再试一次。\r\n"
                                    "\r\n"
                                    "提示：在屏幕右下角的系统托盘中有一个小图标，图标象小机箱，其\r\n"
                                    "右下方是个圆，圆中间为绿色三角形就代表SQL Server正在运行，没\r\n"
                                    "有该图标，或图标的圆中间为红色小方块就代表尚未运行。"),
                     QStringLiteral("提示"));
            return false;
        }
    }
    while (!connected) {
        const std::optional<QString> entered = ShowPasswordDialog(QStringLiteral("请输入SQL Server数据库的sa口令"),
                                                                  QStringLiteral("请输入SQL Server数据库的sa口令："));
        if (!entered)
            return false;
        connected = LinkData->ConnectCatalogue(server, QStringLiteral("master"), *entered, false);
        if (connected) {
            password = *entered;
            writeIniString(GetClientIniPath(), QStringLiteral("LoginInfo"), QStringLiteral("SAPassword"), password);
        } else {
            ShowInfo(QStringLiteral("联接到SQL Server数据库失败，请检查SQL Server数据库是否启动，或者您输入的sa口令是否正确。"),
                     QStringLiteral("提示"));
        }
    }
    if (!ProvisionDatabases(password))
        return false;
    // A catalogue made before its login log had indexes gets them now,
    // once: without them every log-in reads the whole log. A failure here
    // only leaves the log slower; the start goes on.
    EnsureClientLogIndexes(*LinkData);
    return true;
}

