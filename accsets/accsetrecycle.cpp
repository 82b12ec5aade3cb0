// Delete into the recycle bin, undelete, purge and rename.
//
// Delete and undelete only flip the catalogue row's DelFlag; purge drops
// the database and then removes the row, but only when the database is
// really gone; rename writes the catalogue's AccName and the set's own
// AccSetName option.
#include "accsetcommands.h"
#include "accsetinternal.h"

#include "linkdm.h"
#include "mwdbfun.h"
#include "mwstdfun.h"
#include "options.h"

bool DeleteAccountSet(TLinkData& link, const TAccListRow& row)
{
    return guardedCommand(false, [&] {
        if (!AskYesNo(QStringLiteral("是否确认删除当前选中的账套？"), QStringLiteral("询问")))
            return false;
        link.ExecuteSql(link.AccListDB,
                        QStringLiteral(" update AccList set DelFlag=1 where KeyID=") + QString::number(row.KeyID));
        return true;
    });
}

void UndeleteAccountSet(TLinkData& link, const TAccListRow& row)
{
    runGuarded([&] {
        link.ExecuteSql(link.AccListDB,
                        QStringLiteral(" update AccList set DelFlag=0 where KeyID=") + QString::number(row.KeyID));
    });
}

bool PurgeAccountSet(TLinkData& link, const TAccListRow& row)
{
    return guardedCommand(false, [&] {
        const QString code = row.DBName;
        const QString stored = link.GetAdminPassword(code);
        const std::optional<QString> typed =
            ShowPasswordDialog(AccSetText::passwordCaption(), AccSetText::passwordPrompt(code));
        if (!typed)
            return false;
        if (*typed != stored) {
            ShowInfo(QStringLiteral("您输入的当前选中账套的系统管理员口令不正确，不能永久删除该账套。"), QStringLiteral("提示"));
            return false;
        }
        if (!AskYesNo(QStringLiteral("是否确认永久删除当前选中的账套？"), QStringLiteral("询问")))
            return false;
        const QString database = QStringLiteral("VQTCW_") + code;
        ReleaseUserDB(link, database);   // our own connection would keep the drop from happening
        // As it stands: the bracketed name may hold "--".
        TLinkData::ExecuteSqlAsIs(link.AccListDB,
                                  QStringLiteral(" if exists (select name from master.dbo.sysdatabases  where name=") +
                                      sqlQuoted(database) + QStringLiteral(") drop database [") +
                                      sqlInsideBrackets(database) + QLatin1Char(']'));
        link.ExecuteSql(link.AccListDB,
                        QStringLiteral(" if not exists (select name from master.dbo.sysdatabases  where name=") +
                            sqlQuoted(database) + QStringLiteral(") delete from AccList where KeyID=") +
                            QString::number(row.KeyID));
        return true;
    });
}

bool RenameAccountSet(TLinkData& link, const TAccListRow& row)
{
    return guardedCommand(false, [&] {
        if (!CheckAdminPassword(link, row.DBName, AccSetText::renameRefusal()))
            return false;
        const std::optional<QString> typed = ShowInputDialog(
            QStringLiteral("更改账套名称"), QStringLiteral("请输入新的账套名称："), row.AccName, 0);
        if (!typed || typed->isEmpty())
            return false;
        const QString name = *typed;
        if (!AskYesNo(QStringLiteral("您是否确定将当前账套名称改为\"") + name + QStringLiteral("\"？"),
                      QStringLiteral("询问")))
            return false;
        // The set's own name follows only when the catalogue took the new
        // one (a name too long for AccName is refused there), so the two
        // never disagree.
        if (!link.ExecuteSql(link.AccListDB, QStringLiteral(" update AccList set AccName=") + sqlQuoted(name) +
                                                 QStringLiteral(" where KeyID=") + QString::number(row.KeyID))) {
            ShowError(QStringLiteral("账套名称没有修改：新的名称不能超过255个字节。"), QStringLiteral("错误"));
            return false;
        }
        if (link.ConnectAccountSet(QStringLiteral("VQTCW_") + row.DBName, true)) {
            TFundOptions options(link.UserDB);
            options.SetOption(QStringLiteral("AccSetName"), name);
            options.SaveOptions();
        }
        return true;
    });
}
