// Initialisation files (see inifile.h).
#include "inifile.h"

#include "textcodec.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

namespace {

QList<QByteArray> readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// "[Name]" -> "Name", or an empty array for any other line.
QByteArray sectionOf(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (t.size() >= 2 && t.startsWith('[') && t.endsWith(']'))
        return t.mid(1, t.size() - 2).trimmed();
    return {};
}

bool sameName(const QByteArray& a, const QString& b)
{
    return fromGbk(a).trimmed().compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

QString readIniString(const QString& path, const QString& section, const QString& key, const QString& defaultValue)
{
    bool inSection = false;
    for (const QByteArray& line : readLines(path)) {
        const QByteArray name = sectionOf(line);
        if (!name.isEmpty()) {
            inSection = sameName(name, section);
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && sameName(line.left(eq), key))
            return fromGbk(line.mid(eq + 1).trimmed());
    }
    return defaultValue;
}

int readIniInt(const QString& path, const QString& section, const QString& key, int defaultValue)
{
    bool ok = false;
    const int value = readIniString(path, section, key).toInt(&ok);
    return ok ? value : defaultValue;
}

bool writeIniString(const QString& path, const QString& section, const QString& key, const QString& value)
{
    QList<QByteArray> lines = readLines(path);
    const QByteArray entry = toGbk(key) + '=' + toGbk(value);
    qsizetype sectionLine = -1, insertAt = -1;
    bool written = false;
    for (qsizetype i = 0; i < lines.size() && !written; ++i) {
        const QByteArray name = sectionOf(lines[i]);
        if (!name.isEmpty()) {
            if (sectionLine >= 0)
                break;   // past our section
            if (sameName(name, section)) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        const qsizetype eq = lines[i].indexOf('=');
        if (eq > 0 && sameName(lines[i].left(eq), key)) {
            lines[i] = entry;
            written = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!written) {
        if (sectionLine < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines.append(QByteArray());
            lines.append('[' + toGbk(section) + ']');
            lines.append(entry);
        } else {
            lines.insert(insertAt, entry);
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray& line : lines)
        file.write(line + "\r\n");
    return file.commit();
}
