// GBK conversions through Qt's codecs (ICU on this platform).
#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

QString fromGbk(const QByteArray& bytes)
{
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}

QByteArray toGbk(const QString& text)
{
    QStringEncoder encoder("GBK", QStringConverter::Flag::Default);
    if (!encoder.isValid())
        return text.toLatin1();
    // Unencodable characters: encoded one by one so that each becomes '?'.
    QByteArray out = encoder.encode(text);
    if (!encoder.hasError())
        return out;
    out.clear();
    for (const QChar c : text) {
        QStringEncoder single("GBK");
        QByteArray b = single.encode(QString(c));
        out += single.hasError() || b.isEmpty() ? QByteArray("?") : b;
    }
    return out;
}

int gbkLength(const QString& text)
{
    return static_cast<int>(toGbk(text).size());
}
