// First-run provisioning (see srvprovision.h).
#include "srvprovision.h"

#include "linkdm.h"
#include "mwcwfun.h"
#include "mwstdfun.h"

#include <QFile>

namespace {

QString missingFileText(const QString& fileName)
{
    return QStringLiteral("您的安装目录下缺少文件：\"") + fileName + QStringLiteral("\"，请重新安装后再运行本软件。");
}

int countDatabases(const QString& name)
{
    return LinkData->QueryCount(LinkData->AccListDB,
                                QStringLiteral(" select count(*) from master.dbo.sysdatabases  where name = N'") + name +
                                    QStringLiteral("'"));
}

}  // namespace

bool ProvisionDatabases(const QString& password)
{
    TLinkData& link = *LinkData;
    const QString folder = GetProgramFolder();

    // 1-2. Without the catalogue, what an earlier installation left is dropped.
    if (link.QueryCount(link.AccListDB, QStringLiteral(" select 1 from master.dbo.sysdatabases where Name='VQTCWAccList'")) <= 0) {
        if (countDatabases(QStringLiteral("VQTCWAccList")) > 0)
            link.ExecuteSql(link.AccListDB, QStringLiteral(" drop database VQTCWAccList "));
        if (countDatabases(QStringLiteral("VQTCW_Sample")) > 0)
            link.ExecuteSql(link.AccListDB, QStringLiteral(" drop database VQTCW_Sample "));
    }

    // 3-4. A provisioned machine: only the catalogue connection.
    if (countDatabases(QStringLiteral("VQTCWAccList")) != 0) {
        if (link.ConnectCatalogue(QStringLiteral("."), QStringLiteral("VQTCWAccList"), password, false))
            return true;
        ShowInfo(QStringLiteral("联接到账套集数据库失败，不能运行本软件。"), QStringLiteral("提示"));
        return false;
    }

    // 5. The first run.
    ShowWaiting(QStringLiteral("正在为第一次运行本软件创建数据库，"), QStringLiteral("请稍候......"));
    bool result = false;

    const QString sampleFile = folder + QStringLiteral("VQTCW_Sample.mdk");
    if (countDatabases(QStringLiteral("VQTCW_Sample")) == 0) {
        if (QFile::exists(sampleFile)) {
            if (!link.RestoreDatabase(sampleFile, QStringLiteral("VQTCW_Sample")))
                ShowInfo(QStringLiteral("创建例子账数据库失败。"), QStringLiteral("提示"));
        } else {
            ShowInfo(QStringLiteral("例子账文件不存在，不能创建例子账数据库。"), QStringLiteral("提示"));
        }
    }

    const QString catalogueFile = folder + QStringLiteral("VQTCWAccList.mdk");
    if (QFile::exists(catalogueFile)) {
        if (link.RestoreDatabase(catalogueFile, QStringLiteral("VQTCWAccList"))) {
            result = link.ConnectCatalogue(QStringLiteral("."), QStringLiteral("VQTCWAccList"), password, false);
            if (result &&
                link.QueryCount(link.AccListDB,
                                QStringLiteral(" select count(*) from AccList  where KeyID=1 and DBName='Sample'")) == 0)
                link.ExecuteSql(link.AccListDB,
                                QStringLiteral(" insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount,  "
                                               "LockFlag) values(1, 'Sample', '财务例子账', 0, 0, 0) "));
        } else {
            ShowInfo(QStringLiteral("创建账套集数据库失败。"), QStringLiteral("提示"));
            result = false;
        }
    } else {
        ShowInfo(missingFileText(QStringLiteral("VQTCWAccList.mdk")), QStringLiteral("提示"));
        result = false;
    }

    const QString packFile = folder + QStringLiteral("VQTCWPack.mdk");
    if (QFile::exists(packFile)) {
        if (link.RestoreDatabase(packFile, QStringLiteral("VQTCWPack"))) {
            link.ConnectCatalogue(QStringLiteral("."), QStringLiteral("VQTCWAccList"), password, false);
        } else {
            ShowInfo(QStringLiteral("创建模板数据库失败。"), QStringLiteral("提示"));
            result = false;
        }
    } else {
        ShowInfo(missingFileText(QStringLiteral("VQTCWPack.mdk")), QStringLiteral("提示"));
        result = false;
    }

    CloseWaiting();
    return result;
}
