// Packing of a memory stream, as carried inside .cwz backup files: the
// unpacked length as four bytes little-endian, then the whole content as
// one zlib stream (level 9, 32 KiB window, memory level 8, default
// strategy). Both operations rewrite the stream they are given in place.
#pragma once

#include <QByteArray>

// Replaces the content by its packed form. Only the low 32 bits of the
// size are stored. Throws std::runtime_error only when zlib itself fails
// (out of memory); the stream is then unchanged.
void PackStream(QByteArray& stream);

// Replaces packed content by the unpacked bytes: exactly as many as the
// length field says, taken from the start of the zlib stream (a length
// smaller than the zlib data holds gives that many leading bytes; bytes
// after the end of the zlib stream are ignored; a zero length reads no
// zlib data at all).
// Throws std::runtime_error, leaving the stream unchanged, when the stream
// is shorter than the length field, when the data after it is not a valid
// zlib stream, or when it yields fewer bytes than the length says.
void UnpackStream(QByteArray& stream);
