// The template pack upgrade (see mwupgrade.h).
#include "mwupgrade.h"

#include "linkdm.h"
#include "mwcwfun.h"
#include "mwstdfun.h"
#include "upgradedm.h"

#include <QFileInfo>

QString GetPackVersion()
{
    vqsql::Connection& db = LinkData->AccListDB;
    db.setCommandTimeout(TLinkData::kDefaultTimeout);
    const vqsql::ResultSet rs = db.query(std::string(
        " select max(Version) as Version  from VQTCWAccList.dbo.DBVersion where Version like 'PKV%'"));
    const int column = rs.columnIndex("Version");
    if (rs.rows.empty() || column < 0)
        return QStringLiteral("PKV090101");
    const vqsql::Value& v = rs.rows.front()[static_cast<std::size_t>(column)];
    const QString version = v.isNull() ? QString() : QString::fromStdString(v.toString());
    return version.isEmpty() ? QStringLiteral("PKV090101") : version;
}

void AddCatalogueVersion(const QString& version)
{
    LinkData->ExecuteSql(LinkData->AccListDB,
                         QStringLiteral(" declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from DBVersion "
                                        " insert into DBVersion(KeyID,Version,ReleaseDate)  values( @MaxID,'") +
                             version + QStringLiteral("',cast(GetDate() as smalldatetime)) "));
}

void UpgradePackDatabase()
{
    const QString shipped = QString::fromLatin1(kPackVersion);
    if (!IsVersionSmaller(GetPackVersion(), shipped))
        return;
    const QString name = QStringLiteral("VQTCWPack");
    const QString file = GetProgramSubfolder(QString()) + name + QStringLiteral(".mdk");
    if (!QFileInfo::exists(file)) {
        ShowInfo(QStringLiteral("您的安装目录下缺少文件：\"") + name + QStringLiteral(".mdk\"，请重新安装后再运行本软件。"),
                 QStringLiteral("提示"));
        return;
    }
    if (!LinkData->RestoreDatabase(file, name)) {
        ShowInfo(QStringLiteral("升级模板数据库失败，请重新启动机器后再试一次。"), QStringLiteral("提示"));
        return;
    }
    // The restore left the catalogue connection on master.
    LinkData->ConnectCatalogue(LinkData->rememberedServer(), QStringLiteral("VQTCWAccList"),
                               LinkData->rememberedPassword(), false);
    AddCatalogueVersion(shipped);
}
