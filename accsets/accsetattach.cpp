// Attaching a database that exists on the server but is not an active
// account set in the catalogue: its catalogue rows made active again, or a
// new row named after the set's own AccSetName option.
#include "accsetcommands.h"
#include "accsetinternal.h"

#include "linkdm.h"
#include "mwdbfun.h"
#include "mwstdfun.h"
#include "options.h"

namespace {

QString notAnAccountSetText()
{
    return QStringLiteral("您选择的账套不是本系统有效的账套。");
}

}  // namespace

QString AttachCandidatesSql()
{
    return QStringLiteral("select *\r\n"
                          "from\r\n"
                          "(\r\n"
                          "  select substring(name,7,64) as DBName\r\n"
                          "  from master..sysdatabases\r\n"
                          "  where name like 'VQTCW[_]%' and Len(Name)>6\r\n"
                          ") as VA\r\n"
                          "where DBName not in (select DBName from VQTCWAccList..AccList where DelFlag=0)\r\n"
                          "order by DBName");
}

QStringList AttachCandidates(TLinkData& link)
{
    link.AccListDB.setCommandTimeout(TLinkData::kDefaultTimeout);
    const vqsql::ResultSet rs = link.AccListDB.query(AttachCandidatesSql().toStdString());
    const int column = rs.columnIndex("DBName");
    QStringList codes;
    for (const auto& r : rs.rows)
        if (column >= 0)
            codes << QString::fromStdString(r[static_cast<std::size_t>(column)].toString());
    return codes;
}

void AttachAccountSet(TLinkData& link, const QString& code)
{
    runGuarded([&] {
        if (link.QueryCount(link.AccListDB, QStringLiteral("select count(*) from AccList where DBName=") +
                                                sqlQuoted(code)) > 0) {
            link.ExecuteSql(link.AccListDB,
                            QStringLiteral(" update AccList set DelFlag=0 where DBName=") + sqlQuoted(code));
            return;
        }
        if (!link.ConnectAccountSet(QStringLiteral("VQTCW_") + code, true)) {
            ShowInfo(notAnAccountSetText(), QStringLiteral("提示"));
            return;
        }
        QString name;
        try {
            TFundOptions options(link.UserDB);
            name = options.GetOption(QStringLiteral("AccSetName"), QString());
        } catch (const std::exception&) {
            name.clear();   // no options table: not one of ours
        }
        if (name.isEmpty()) {
            ShowInfo(notAnAccountSetText(), QStringLiteral("提示"));
            return;
        }
        AddAccListRow(link, code, name);
    });
}
