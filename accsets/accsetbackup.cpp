// The Backup command: the selected account set into a .cwz file.
//
// The engine backs the database up into a temporary file; that file is
// checked (its structure and checksum) while it is packed, and the .cwz is
// written under a temporary name beside the target and renamed into place
// only when complete. So a backup is reported as done only when the file
// under the chosen name is whole, and a failure leaves an existing file of
// that name as it was. Neither step has a time-out: a large account set
// takes as long as it takes, with its progress in the waiting window.
#include "accsetcommands.h"
#include "accsetinternal.h"

#include "cwzfile.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwdbfun.h"
#include "mwstdfun.h"
#include "options.h"
#include "tempfiles.h"

#include <QFileInfo>

namespace {

// Whether an existing target could be deleted: it is not read-only and its
// folder lets us remove it. (The new file replaces it by a rename, so it is
// not deleted before the new one is complete.)
bool canReplace(const QString& path)
{
    const QFileInfo file(path);
    return file.isFile() && !IsWriteProtected(path) && !IsWriteProtected(file.absolutePath());
}

QString backupFailedText(const QString& reason)
{
    return QStringLiteral("备份账套数据库失败，没有生成备份文件。\r\n") + reason;
}

}  // namespace

QString ProposedBackupName(const QString& code, const QDate& date)
{
    return code + QLatin1Char('-') + date.toString(QStringLiteral("yyMMdd"));
}

bool BackupAccountSet(TLinkData& link, const TAccListRow& row)
{
    return guardedCommand(false, [&] {
        if (!CheckAdminPassword(link, row.DBName, AccSetText::backupRefusal()))
            return false;
        const QString code = row.DBName;
        const QString target = operatorDialogs().saveFileName(
            {AccSetText::saveCaption(), BackupFolder(), ProposedBackupName(code, Today()), AccSetText::backupFilter(),
             QStringLiteral("cwz")});
        if (target.isEmpty())
            return false;
        if (QFileInfo::exists(target) && !canReplace(target)) {
            ShowInfo(QStringLiteral("指定文件已存在，并且无法删除！不能进行备份操作。"), QStringLiteral("提示"));
            return false;
        }
        // Reserved until the .cwz is written: a restore or backup in another
        // process meanwhile takes another name.
        TTempFileLock reservation;
        const QString temp = MakeTempFileName(BackupTempName(), &reservation);

        ShowWaiting(QStringLiteral("正在备份数据，"), QStringLiteral("请稍候......"));
        // The engine's backup is the first half of the way, packing the second.
        TWaitingProgress engineProgress(0, 50);
        const QString error =
            RunLongBatch(link.AccListDB,
                         QStringLiteral("backup database [VQTCW_") + sqlInsideBrackets(code) +
                             QStringLiteral("] to disk ='") + sqlInsideQuotes(temp) + QLatin1Char('\''),
                         engineProgress);
        if (!error.isEmpty() || !QFileInfo::exists(temp)) {
            CloseWaiting();
            ShowError(backupFailedText(error.isEmpty() ? QStringLiteral("数据库引擎没有生成备份。") : error),
                      QStringLiteral("错误"));
            return false;
        }
        TWaitingProgress packProgress(50, 100);
        try {
            SaveStampedBackup(temp, target, ProgramFileStamp(code, row.AccName),
                              [&packProgress](std::uint64_t done, std::uint64_t total) { packProgress(done, total); });
        } catch (const CwzError& e) {
            CloseWaiting();
            ShowError(backupFailedText(e.message()), QStringLiteral("错误"));
            return false;
        }
        reservation.release();

        // The file is written; the date of the last backup goes into the
        // account set's own options.
        CloseWaiting();
        if (!link.ConnectAccountSet(QStringLiteral("VQTCW_") + code, true))
            return false;
        TFundOptions options(link.UserDB);
        options.SetDateOption(QStringLiteral("LastBackupDate"), Today());
        options.SaveOptions();
        ShowInfo(QStringLiteral("当前账套数据库备份成功。"), QStringLiteral("提示"));
        return true;
    });
}
