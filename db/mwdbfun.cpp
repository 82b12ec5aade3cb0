// SQL text helpers.
#include "mwdbfun.h"

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
    QString doubled = value;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}
