// The account-set commands behind the manager's buttons, the recycle bin
// and the attach dialog: backup and restore, delete, undelete, purge,
// rename, attach. They run on LinkData's two connections and take every
// answer (passwords, file names, yes and no) through the operator-dialog
// seam, so the windows stay thin and the command-line tool vqacc runs the
// same code with its own answers.
//
// Values spliced into SQL between quotes have their apostrophes doubled
// (sqlQuoted); names between brackets have "]" doubled.
#pragma once

#include "acclist.h"

#include <QDate>
#include <QString>
#include <QStringList>

class TLinkData;

// ---- texts the commands show and the command-line tool answers ----------

namespace AccSetText {
QString passwordCaption();        // "请输入系统管理员口令"
QString passwordPrompt(const QString& code);   // "请输入当前选中账套"<code>"的系统管理员口令："
QString wrongPassword();          // "您输入的当前选中账套的系统管理员口令不正确，"
QString backupRefusal();          // "不能备份该账套。"
QString renameRefusal();          // "不能修改该账套名称。"
QString overwriteQuestion(const QString& code);
QString overwritePasswordPrompt();   // "请输入将被覆盖账套的系统管理员口令："
QString newCodeCaption();         // "恢复账套数据库"
QString newCodePrompt();          // "请重新输入账套代号："
QString backupFilter();           // "账套数据库备份文件(*.cwz)|*.cwz"
QString restoreFilter();          // "财务数据库备份文件(*.cwz)|*.cwz|账套数据库备份文件(*.mdk)|*.mdk"
QString saveCaption();            // "另存为"
QString openCaption();            // "打开"
}  // namespace AccSetText

// ---- shared ----------------------------------------------------------------

// The program's Backup folder (program folder + "Backup"), created with its
// parents when missing.
QString BackupFolder();

// Asks for the administrator password of the account set `code` and tells
// whether it was given correctly (byte for byte). A cancelled dialog gives
// false without a message; a wrong password shows "您输入的当前选中账套的系统
// 管理员口令不正确，" + refusalSuffix when the suffix is not empty. A database
// error while reading the stored password passes to the caller.
bool CheckAdminPassword(TLinkData& link, const QString& code, const QString& refusalSuffix);

// ---- backup -----------------------------------------------------------------

// The name the save dialog proposes: code + "-" + yymmdd ("001-261208").
QString ProposedBackupName(const QString& code, const QDate& date);

// The Backup command for the selected row: the password check, the save
// dialog, the engine's backup into a temporary file, the .cwz written and
// checked, LastBackupDate set and the success notice. True only when the
// .cwz file is complete under the chosen name and was reported as done.
bool BackupAccountSet(TLinkData& link, const TAccListRow& row);

// ---- restore ----------------------------------------------------------------

// True when `path` names a .cwz file: its first ".cwz" (letter case counts)
// stands at its very end.
bool IsCwzFileName(const QString& path);

// The Restore command: the open dialog, then RestoreFromFile. Returns the
// code restored into, or empty text when nothing was restored.
QString RestoreAccountSet(TLinkData& link);
// The Restore command from the chosen file on. With `asCode` (the
// command-line tool's --as) the set is restored under that code instead of
// the backup's own; the overwrite-or-new decision then starts from it.
QString RestoreFromFile(TLinkData& link, const QString& file, const QString& asCode = {});

// The overwrite-or-new decision for a code taken from a backup: the code
// to restore into, or empty text to abandon the restore.
QString ResolveRestoreCode(TLinkData& link, QString code);
// Fills and runs the manager's restore script on AccListDB (no time-out),
// then opens the restored database on UserDB; true when it opens.
bool RunRestoreScript(TLinkData& link, const QString& backupFile, const QString& dbName,
                      const QString& dataLogicalName, const QString& logLogicalName, const QString& dataFile,
                      const QString& logFile);
// Inserts the catalogue row of a new code (KeyID = max + 1, flags 0);
// does nothing when the catalogue connection is closed.
void AddAccListRow(TLinkData& link, const QString& code, const QString& name);

// ---- delete, recycle bin, rename ---------------------------------------------

// Moves the account set into the recycle bin after the question; true when
// the operator said Yes (the statement ran).
bool DeleteAccountSet(TLinkData& link, const TAccListRow& row);
// Takes it back from the recycle bin (no question).
void UndeleteAccountSet(TLinkData& link, const TAccListRow& row);
// Purges it after the password and the question: drops the database, then
// removes the catalogue row only when the database is really gone. True
// when the operator confirmed and the statements were sent, whether or not
// the drop happened (a database in use stays, with its row, silently): the
// caller reloads its list and keeps the row selected when it is still there.
bool PurgeAccountSet(TLinkData& link, const TAccListRow& row);
// Renames it after the password, the new name and the question: the
// catalogue's AccName, then the account set's own AccSetName option. True
// when the catalogue took the new name; when it refuses it (a name longer
// than its 255 bytes) an error says so and the set's own name is left too.
bool RenameAccountSet(TLinkData& link, const TAccListRow& row);

// ---- attach -------------------------------------------------------------------

// The attach dialog's query, line by line as it is run.
QString AttachCandidatesSql();
// The codes of the databases that may be attached, in the query's order.
// Throws vqsql::SqlException on a database error.
QStringList AttachCandidates(TLinkData& link);
// Brings the database VQTCW_<code> back into the catalogue: its rows made
// active when the catalogue knows the code, otherwise a new row named
// after its AccSetName option; the notice "您选择的账套不是本系统有效的账套。"
// when it has none.
void AttachAccountSet(TLinkData& link, const QString& code);
