// The wire record between the desktop clients and the server: nine fields
// written as text, each followed by the separator 0x0A 0x1A. Fields 0 to 2
// are integers, 3 to 8 texts (GBK bytes, carried unchanged); an empty text
// goes out as "null" and a received "null" (any letter case) is empty.
//
// Message types: 1 the handshake, which the server answers with a record
// of its own; 2 the login report, which it records without an answer.
#pragma once

#include <QByteArray>
#include <QString>

// The field separator: line feed, then SUB.
inline const QByteArray kFieldSeparator("\x0A\x1A", 2);
// The box of a malformed message.
inline const QString kMalformedMessageText = QStringLiteral("接收的信息不正确！");
inline const QString kMalformedMessageCaption = QStringLiteral("内部错");

class TSocketInfo {
public:
    int MsgType = 0;
    int Value1 = 0;
    int Value2 = 0;
    QByteArray Text3;
    QByteArray Text4;
    QByteArray Text5;
    QByteArray Text6;
    QByteArray Text7;
    QByteArray Text8;

    // Fills the record from a received text. With fewer than nine fields
    // it shows the box "接收的信息不正确！" (caption "内部错") and leaves the
    // record as it was. Integers that do not read as such become -1, 0 and
    // 1 (fields 0, 1, 2).
    void ParseText(const QByteArray& text);
    // The same without the box: false for a text of fewer than nine fields
    // (the record then keeps what it held), for callers that tell the
    // operator in their own way.
    bool ParseFields(const QByteArray& text);
    // The record's text form.
    QByteArray BuildText() const;
};

// The message type of a received text without building a record: the
// integer before the first separator, -1 when there is none.
int GetMsgType(const QByteArray& text);
// Where a whole record (nine separators) ends in `text`, or -1 when the
// ninth separator has not arrived.
qsizetype RecordEnd(const QByteArray& text);
