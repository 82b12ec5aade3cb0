// What the account-set commands share: their texts, the Backup folder, the
// administrator password check and the helpers of accsetinternal.h.
#include "accsetcommands.h"
#include "accsetinternal.h"

#include "connection.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwstdfun.h"

#include <QDir>

namespace AccSetText {
QString passwordCaption() { return QStringLiteral("请输入系统管理员口令"); }
QString passwordPrompt(const QString& code)
{
    return QStringLiteral("请输入当前选中账套\"") + code + QStringLiteral("\"的系统管理员口令：");
}
QString wrongPassword() { return QStringLiteral("您输入的当前选中账套的系统管理员口令不正确，"); }
QString backupRefusal() { return QStringLiteral("不能备份该账套。"); }
QString renameRefusal() { return QStringLiteral("不能修改该账套名称。"); }
QString overwriteQuestion(const QString& code)
{
    return QStringLiteral("账套代号为\"") + code +
           QStringLiteral("\"的账套已存在(包括在账套回收站内的账套)，\r\n选择\"是\"将覆盖原来账套，选择\"否\"将创建新帐套？");
}
QString overwritePasswordPrompt() { return QStringLiteral("请输入将被覆盖账套的系统管理员口令："); }
QString newCodeCaption() { return QStringLiteral("恢复账套数据库"); }
QString newCodePrompt() { return QStringLiteral("请重新输入账套代号："); }
QString backupFilter() { return QStringLiteral("账套数据库备份文件(*.cwz)|*.cwz"); }
QString restoreFilter()
{
    return QStringLiteral("财务数据库备份文件(*.cwz)|*.cwz|账套数据库备份文件(*.mdk)|*.mdk");
}
QString saveCaption() { return QStringLiteral("另存为"); }
QString openCaption() { return QStringLiteral("打开"); }
}  // namespace AccSetText

QString BackupFolder()
{
    const QString folder = GetProgramFolder() + QStringLiteral("Backup");
    QDir().mkpath(folder);
    return folder;
}

bool CheckAdminPassword(TLinkData& link, const QString& code, const QString& refusalSuffix)
{
    const QString stored = link.GetAdminPassword(code);
    const std::optional<QString> typed =
        ShowPasswordDialog(AccSetText::passwordCaption(), AccSetText::passwordPrompt(code));
    if (!typed)
        return false;
    if (*typed == stored)
        return true;
    if (!refusalSuffix.isEmpty())
        ShowInfo(AccSetText::wrongPassword() + refusalSuffix, QStringLiteral("提示"));
    return false;
}

// ---- helpers ---------------------------------------------------------------

void TWaitingProgress::operator()(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return;
    const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
    const int percent = from_ + static_cast<int>(fraction * (to_ - from_));
    if (percent == shown_)
        return;
    shown_ = percent;
    operatorDialogs().showWaitingProgress(percent);
}

QString RunLongBatch(vqsql::Connection& connection, const QString& batch, TWaitingProgress& progress)
{
    connection.setCommandTimeout(0);
    connection.setProgressHandler([&progress](std::uint64_t done, std::uint64_t total) { progress(done, total); });
    QString error;
    try {
        const vqsql::BatchResult result = connection.run(batch.toStdString());
        if (!result.ok())
            error = QString::fromStdString(result.errors.front().message);
    } catch (const vqsql::SqlException& e) {
        error = QString::fromStdString(e.first().message);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    connection.setProgressHandler({});
    connection.setCommandTimeout(TLinkData::kDefaultTimeout);
    return error;
}

void ReleaseUserDB(TLinkData& link, const QString& database)
{
    if (link.UserDB.isOpen() &&
        QString::fromStdString(link.UserDB.currentDatabase()).compare(database, Qt::CaseInsensitive) == 0)
        link.UserDB.close();
}
