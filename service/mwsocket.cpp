// The wire record (see mwsocket.h).
#include "mwsocket.h"

#include "mwstdfun.h"

#include <QList>

#include <charconv>

namespace {

// A whole field read as a 32-bit integer: an optional sign and digits.
bool readInteger(const QByteArray& field, int& value)
{
    if (field.isEmpty())
        return false;
    const char* begin = field.constData();
    const char* end = begin + field.size();
    if (*begin == '+')
        ++begin;
    if (begin == end)
        return false;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end;
}

QByteArray nullForEmpty(const QByteArray& text)
{
    return text.isEmpty() ? QByteArrayLiteral("null") : text;
}

}  // namespace

int GetMsgType(const QByteArray& text)
{
    const QByteArray withSeparator = text + kFieldSeparator;
    const QByteArray first = withSeparator.left(withSeparator.indexOf(kFieldSeparator));
    int type = -1;
    return readInteger(first, type) ? type : -1;
}

void TSocketInfo::ParseText(const QByteArray& text)
{
    if (!ParseFields(text))
        ShowInfo(kMalformedMessageText, kMalformedMessageCaption);
}

bool TSocketInfo::ParseFields(const QByteArray& text)
{
    QByteArray remaining = text + kFieldSeparator;
    QList<QByteArray> fields;
    qsizetype at;
    while ((at = remaining.indexOf(kFieldSeparator)) >= 0) {
        QByteArray field = remaining.left(at);
        remaining.remove(0, at + kFieldSeparator.size());
        if (field.toLower() == "null")
            field.clear();
        fields.append(field);
        if (fields.size() > 9)
            break;   // fields after the ninth are not used
    }
    if (fields.size() < 9)
        return false;
    MsgType = readInteger(fields[0], MsgType) ? MsgType : -1;
    if (!readInteger(fields[1], Value1))
        Value1 = 0;
    if (!readInteger(fields[2], Value2))
        Value2 = 1;
    Text3 = fields[3];
    Text4 = fields[4];
    Text5 = fields[5];
    Text6 = fields[6];
    Text7 = fields[7];
    Text8 = fields[8];
    return true;
}

qsizetype RecordEnd(const QByteArray& text)
{
    qsizetype at = 0;
    for (int field = 0; field < 9; ++field) {
        at = text.indexOf(kFieldSeparator, at);
        if (at < 0)
            return -1;
        at += kFieldSeparator.size();
    }
    return at;
}

QByteArray TSocketInfo::BuildText() const
{
    QByteArray out;
    for (int n : {MsgType, Value1, Value2})
        out += QByteArray::number(n) + kFieldSeparator;
    for (const QByteArray* t : {&Text3, &Text4, &Text5, &Text6, &Text7, &Text8})
        out += nullForEmpty(*t) + kFieldSeparator;
    return out;
}
