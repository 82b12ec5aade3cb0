// The operator-dialog seam: the installed implementation.
#include "operatordialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

SilentOperator silentOperator;
OperatorDialogs* current = &silentOperator;

}  // namespace

void setOperatorDialogs(OperatorDialogs* dialogs)
{
    current = dialogs ? dialogs : &silentOperator;
}

OperatorDialogs& operatorDialogs()
{
    return *current;
}

QString QtNameFilters(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString pattern = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << (description.contains(QLatin1Char('(')) ? description
                                                             : description + QLatin1String(" (") + pattern + QLatin1Char(')'));
    }
    return filters.join(QLatin1String(";;"));
}

QString WithDefaultExtension(const QString& path, const QString& extension)
{
    if (path.isEmpty() || extension.isEmpty())
        return path;
    const QString name = QFileInfo(path).fileName();
    return name.contains(QLatin1Char('.')) ? path : path + QLatin1Char('.') + extension;
}

bool IsWriteProtected(const QString& path)
{
    const QFileInfo info(path);
    constexpr QFileDevice::Permissions kAnyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !(info.permissions() & kAnyWrite) || !info.isWritable();
}

QString OpenFileRefusal(const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists() || !file.isFile())
        return QStringLiteral("“") + path + QStringLiteral("”\r\n找不到该文件。请检查文件名是否正确。");
    if (IsWriteProtected(path))
        return QStringLiteral("“") + path + QStringLiteral("”\r\n该文件是只读文件，不能选择。");
    if (IsWriteProtected(file.absolutePath()))
        return QStringLiteral("“") + path + QStringLiteral("”\r\n该文件所在的文件夹是写保护的，不能选择。");
    return {};
}

QString SaveFileRefusal(const QString& path)
{
    const QFileInfo file(path);
    if (!QFileInfo(file.absolutePath()).isDir())
        return QStringLiteral("“") + path + QStringLiteral("”\r\n路径不存在。请检查路径是否正确。");
    return {};
}

QString ReplaceFileQuestion(const QString& path)
{
    return path + QStringLiteral(" 已存在。\r\n要替换它吗？");
}
