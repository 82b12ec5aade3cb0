// The Restore command: a .cwz file or an engine backup (.mdk) back into an
// account-set database and its catalogue row.
//
// The account-set code comes from inside the backup (its data file's
// logical name "VQTCW_<code>"); when a catalogue row has it already, the
// operator overwrites that set (with its administrator password) or gives
// a new code. The engine's restore replaces a database only as a whole, so
// a restore that fails leaves the old set as it was; it is reported.
#include "accsetcommands.h"
#include "accsetinternal.h"

#include "cwzfile.h"
#include "linkdm.h"
#include "mwdbfun.h"
#include "mwstdfun.h"
#include "options.h"
#include "tempfiles.h"
#include "textcodec.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString notOurBackupText()
{
    return QStringLiteral("您选择的文件不是本软件数据库的备份文件。");
}

// True when a catalogue row, the recycle bin included, has the code
// (letter case ignored).
bool catalogueHasCode(TLinkData& link, const QString& code, TAccListRow* found = nullptr)
{
    for (const TAccListRow& row : LoadAccList(link, QStringLiteral("select * from AccList"))) {
        if (row.DBName.compare(code, Qt::CaseInsensitive) == 0) {
            if (found)
                *found = row;
            return true;
        }
    }
    return false;
}

// Every occurrence of the placeholder (letter case ignored) replaced by the
// value as its place needs it: after "[" with "]" doubled, elsewhere (between
// quotes) with apostrophes doubled. A placeholder has no terminator, so
// "##DBName" also fills the start of "##DBName_log".
QString fillPlaceholder(const QString& script, const QString& placeholder, const QString& value)
{
    QString out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = script.indexOf(placeholder, from, Qt::CaseInsensitive);
        if (at < 0)
            break;
        out += script.mid(from, at - from);
        const bool inBrackets = at > 0 && script.at(at - 1) == QLatin1Char('[');
        out += inBrackets ? sqlInsideBrackets(value) : sqlInsideQuotes(value);
        from = at + placeholder.size();
    }
    return out + script.mid(from);
}

// The restore script filled in and run; the first error's text, or empty
// text when the restored database opened on UserDB.
QString runRestoreScript(TLinkData& link, const QString& backupFile, const QString& dbName,
                         const QString& dataLogicalName, const QString& logLogicalName, const QString& dataFile,
                         const QString& logFile, TWaitingProgress& progress)
{
    QString script = loadScript(QStringLiteral("qryAccManageRestore.sql"));
    script = fillPlaceholder(script, QStringLiteral("##MDKFile"), backupFile);
    script = fillPlaceholder(script, QStringLiteral("##DBName"), dbName);
    script = fillPlaceholder(script, QStringLiteral("##MDFLogicName"), dataLogicalName);
    script = fillPlaceholder(script, QStringLiteral("##LDFLogicName"), logLogicalName);
    script = fillPlaceholder(script, QStringLiteral("##MDFFile"), dataFile);
    script = fillPlaceholder(script, QStringLiteral("##LDFFile"), logFile);
    ReleaseUserDB(link, dbName);
    const QString error = RunLongBatch(link.AccListDB, script, progress);
    // The script's last line puts the catalogue connection back; a batch
    // stopped early may not have got there.
    try {
        if (link.AccListDB.isOpen() && link.AccListDB.currentDatabase() != "VQTCWAccList")
            link.AccListDB.execute("use VQTCWAccList");
    } catch (const std::exception&) {
    }
    if (!error.isEmpty())
        return error;
    if (!link.ConnectAccountSet(dbName, false))
        return QStringLiteral("恢复后的账套数据库不能打开。");
    return {};
}

QString restoreFailedText(const QString& reason)
{
    return QStringLiteral("账套数据恢复失败，原有的账套没有改变。\r\n") + reason;
}

}  // namespace

bool IsCwzFileName(const QString& path)
{
    const qsizetype at = path.indexOf(QLatin1String(".cwz"));
    return at >= 0 && at + 4 == path.size();
}

QString RestoreAccountSet(TLinkData& link)
{
    const QString file = operatorDialogs().openFileName(
        {AccSetText::openCaption(), BackupFolder(), QString(), AccSetText::restoreFilter(), QStringLiteral("cwz")});
    if (file.isEmpty())
        return {};
    return RestoreFromFile(link, file);
}

QString RestoreFromFile(TLinkData& link, const QString& file, const QString& asCode)
{
    return guardedCommand(QString(), [&]() -> QString {
        BackupFolder();
        QString backupFile = file;
        // The extracted backup's name stays reserved until the restore is
        // over, so that no other command's file takes its place meanwhile.
        TTempFileLock reservation;
        const bool packed = IsCwzFileName(file);
        if (packed) {
            if (!IsProgramFileStamp(ReadFileStamp(file))) {
                ShowInfo(notOurBackupText(), QStringLiteral("提示"));
                return {};
            }
            backupFile = MakeTempFileName(BackupTempName(), &reservation);
            ShowWaiting(QStringLiteral("正在恢复数据，"), QStringLiteral("请稍候......"));
            TWaitingProgress unpackProgress(0, 50);
            try {
                ExtractStampedBackup(file, backupFile, [&unpackProgress](std::uint64_t done, std::uint64_t total) {
                    unpackProgress(done, total);
                });
            } catch (const CwzError& e) {
                CloseWaiting();
                ShowError(e.message(), QStringLiteral("错误"));
                return {};
            }
            CloseWaiting();
        } else if (IsSqlServerBackupFile(file)) {
            ShowError(SqlServerPayloadText(), QStringLiteral("错误"));
            return {};
        }

        link.AccListDB.setCommandTimeout(0);
        QString dataLogical, logLogical;
        if (!ReadBackupFileList(link.AccListDB, backupFile, dataLogical, logLogical))
            return {};
        if (!(gbkLength(dataLogical) > 6 && dataLogical.startsWith(QLatin1String("VQTCW_")))) {
            ShowInfo(notOurBackupText(), QStringLiteral("提示"));
            return {};
        }
        const QString code = ResolveRestoreCode(link, asCode.isEmpty() ? dataLogical.mid(6) : asCode);
        if (code.isEmpty())
            return {};

        ShowWaiting(QStringLiteral("正在恢复数据，"), QStringLiteral("请稍候......"));
        const QString dataFolder = link.GetDataPath();
        const QString dbName = QStringLiteral("VQTCW_") + code;
        TWaitingProgress restoreProgress(packed ? 50 : 0, 100);
        const QString error =
            runRestoreScript(link, backupFile, dbName, dataLogical, logLogical,
                             dataFolder + QStringLiteral("/VQTCW_") + code + QStringLiteral(".mdf"),
                             dataFolder + QStringLiteral("/VQTCW_") + code + QStringLiteral("_log.ldf"), restoreProgress);
        if (!error.isEmpty()) {
            CloseWaiting();
            ShowError(restoreFailedText(error), QStringLiteral("错误"));
            return {};
        }
        CloseWaiting();

        // The catalogue: a row in the recycle bin comes back, an active row
        // stays as it is, a new code gets a row named after the set itself.
        TAccListRow existing;
        if (catalogueHasCode(link, code, &existing)) {
            if (existing.DelFlag != 0)
                link.ExecuteSql(link.AccListDB,
                                QStringLiteral("update AccList set DelFlag=0 where DBName=") + sqlQuoted(code));
        } else {
            QString name;
            if (link.ConnectAccountSet(dbName, true)) {
                try {
                    TFundOptions options(link.UserDB);
                    name = options.GetOption(QStringLiteral("AccSetName"), QString());
                } catch (const std::exception&) {
                    name.clear();   // no options table: a set without a name
                }
            }
            if (name.isEmpty()) {
                name = QStringLiteral("未命名账套");
                ShowInfo(QStringLiteral("您可以在登录账套后，在账套选项窗口更改账套名称。"), QStringLiteral("提示"));
            }
            AddAccListRow(link, code, name);
        }
        link.ForgetAdminPassword(code);
        ShowInfo(QStringLiteral("账套数据恢复成功。"), QStringLiteral("提示"));
        return code;
    });
}

QString ResolveRestoreCode(TLinkData& link, QString code)
{
    while (catalogueHasCode(link, code)) {
        switch (AskYesNoCancel(AccSetText::overwriteQuestion(code), QStringLiteral("询问"))) {
        case DialogAnswer::Yes: {
            const QString stored = link.GetAdminPassword(code);
            const std::optional<QString> typed =
                ShowPasswordDialog(AccSetText::passwordCaption(), AccSetText::overwritePasswordPrompt());
            if (!typed)
                return {};
            if (*typed == stored)
                return code;
            ShowInfo(QStringLiteral("您输入的将被覆盖账套的系统管理员口令不正确，不能覆盖该账套。"), QStringLiteral("提示"));
            return {};
        }
        case DialogAnswer::No: {
            const std::optional<QString> typed =
                ShowInputDialog(AccSetText::newCodeCaption(), AccSetText::newCodePrompt(), QString(), 24);
            if (!typed || typed->isEmpty())
                return {};
            code = *typed;
            break;
        }
        default:
            return {};
        }
    }
    return code;
}

bool RunRestoreScript(TLinkData& link, const QString& backupFile, const QString& dbName,
                      const QString& dataLogicalName, const QString& logLogicalName, const QString& dataFile,
                      const QString& logFile)
{
    TWaitingProgress progress(0, 100);
    return runRestoreScript(link, backupFile, dbName, dataLogicalName, logLogicalName, dataFile, logFile, progress)
        .isEmpty();
}

void AddAccListRow(TLinkData& link, const QString& code, const QString& name)
{
    if (!link.AccListDB.isOpen())
        return;
    const int keyId = link.QueryMaxID(link.AccListDB, QStringLiteral("AccList"), QStringLiteral("KeyID")) + 1;
    link.ExecuteSql(link.AccListDB,
                    QStringLiteral(" insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag)  values(") +
                        QString::number(keyId) + QLatin1Char(',') + sqlQuoted(code) + QLatin1Char(',') + sqlQuoted(name) +
                        QStringLiteral(",0,0,0)"));
}
