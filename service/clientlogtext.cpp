// The texts of a login-log row (see clientlogtext.h).
#include "clientlogtext.h"

#include "textcodec.h"

namespace {

bool isLeadByte(unsigned char b)
{
    return b >= 0x81 && b <= 0xFE;
}

bool isTrailByte(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

bool isControl(char16_t c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

// The character a two-byte GBK sequence names, or none (a null QChar) when
// it names none that decodes to one character and encodes back to the same
// two bytes.
QChar gbkPair(const QByteArray& pair)
{
    const QString decoded = fromGbk(pair);
    if (decoded.size() != 1)
        return QChar();
    const QChar c = decoded.at(0);
    if (c == QChar::ReplacementCharacter || c.isSurrogate() || isControl(c.unicode()) || toGbk(decoded) != pair)
        return QChar();
    return c;
}

}  // namespace

QString ClientLogText(const QByteArray& field, int widthBytes)
{
    QString out;
    int used = 0;   // GBK bytes of `out`
    qsizetype i = 0;
    // Each character of the result takes at least one byte, so the loop
    // ends after at most widthBytes characters whatever the field's size.
    while (i < field.size() && used < widthBytes) {
        const auto b = static_cast<unsigned char>(field.at(i));
        QChar c(kClientLogStandIn);
        int bytes = 1;      // GBK bytes of c
        qsizetype taken = 1;   // bytes of the field c stands for
        if (b < 0x80) {
            if (!isControl(b))
                c = QChar(b);
        } else if (isLeadByte(b) && i + 1 < field.size() && isTrailByte(static_cast<unsigned char>(field.at(i + 1)))) {
            taken = 2;
            const QChar named = gbkPair(field.mid(i, 2));
            if (!named.isNull()) {
                c = named;
                bytes = 2;
            }
        }
        if (used + bytes > widthBytes)
            break;
        out += c;
        used += bytes;
        i += taken;
    }
    return out;
}

QString ClientLogText(const QString& text, int widthBytes)
{
    return ClientLogText(toGbk(text), widthBytes);
}
