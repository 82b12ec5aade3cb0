// GBK (code page 936) at the program's edges: the wire records, file
// headers and .ini values are GBK bytes, while the program works in
// Unicode. Characters GBK lacks become '?', as Windows converts them.
#pragma once

#include <QByteArray>
#include <QString>

QString fromGbk(const QByteArray& bytes);
QByteArray toGbk(const QString& text);
// Bytes the text takes in GBK (the unit of the program's length limits).
int gbkLength(const QString& text);
