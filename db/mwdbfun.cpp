// SQL text helpers (see mwdbfun.h).
#include "mwdbfun.h"

#include <QFile>

QString StripSqlComments(const QString& text)
{
    if (text.isEmpty())
        return {};
    QString result;
    QString remaining = text;
    qsizetype at;
    while ((at = remaining.indexOf(QLatin1String("--"))) >= 0) {
        result += remaining.left(at) + QLatin1String("\r\n");
        const qsizetype lineEnd = remaining.indexOf(QLatin1String("\r\n"), at);
        remaining = lineEnd < 0 ? QString() : remaining.mid(lineEnd + 2);
    }
    return result + remaining;
}

QString sqlQuoted(const QString& value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('\'');
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\''))
            out += QLatin1String("''");
        else if (c == QLatin1Char('-') && i > 0 && value.at(i - 1) == QLatin1Char('-'))
            out += QLatin1String("'+'-");   // "--" would start a comment: 'a-'+'-b'
        else
            out += c;
    }
    return out + QLatin1Char('\'');
}

QString ExtractSection(const QString& text, const QString& startMarker, const QString& endMarker)
{
    if (text.isEmpty() || startMarker.isEmpty() || endMarker.isEmpty())
        return text;
    const qsizetype start = text.indexOf(startMarker);
    const qsizetype end = text.indexOf(endMarker);
    if (start < 0 || end < 0 || start >= end)
        return {};
    return text.mid(start, end - start);
}

QString ReplacePlaceholder(const QString& text, const QString& placeholder, const QString& value)
{
    if (placeholder.isEmpty())
        return text;
    QString out = text;
    out.replace(placeholder, value, Qt::CaseInsensitive);
    return out;
}

QString scriptText(const QString& raw)
{
    QString text = raw;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.isEmpty())
        return {};
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text + QLatin1String("\r\n");
}

// The resources live in a static library: registered here, at first use.
static void registerScripts()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(scripts);
        return true;
    }();
    (void)registered;
}

QString loadScript(const QString& name)
{
    registerScripts();
    QFile file(QStringLiteral(":/scripts/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return scriptText(QString::fromUtf8(file.readAll()));
}

QString sqlInsideQuotes(const QString& value)
{
    QString doubled = value;
    return doubled.replace(QLatin1Char('\''), QLatin1String("''"));
}

QString sqlInsideBrackets(const QString& name)
{
    QString doubled = name;
    return doubled.replace(QLatin1Char(']'), QLatin1String("]]"));
}
