// The texts of a login-log row (the catalogue's T_ClientLog): what a client
// reports, and what the server learns about the connection, made into
// values the row can always hold, so that a login always leaves exactly one
// row and the row shows what was sent as far as it can be stored.
//
// A text becomes:
//   - GBK decoded to Unicode, character by character. A byte sequence that
//     names no GBK character becomes one '?': a lead byte (0x81-0xFE) with
//     a trail byte (0x40-0x7E, 0x80-0xFE) that together name no character
//     gives one '?' for the two bytes; any other byte from 0x80 up (0x80,
//     0xFF, a lead byte without a trail byte) gives one '?' for itself.
//   - Control characters (0x00-0x1F and 0x7F: NUL, tab, line breaks, ...)
//     become '?' as well.
//   - Cut to at most the column's width in GBK bytes, after whole
//     characters only: a two-byte character that would not fit entirely is
//     left out with everything after it.
// '?' is ASCII, so it reads back unchanged from every varchar column and
// through every GBK conversion. The result holds only characters that GBK
// stores and reads back as themselves.
#pragma once

#include <QByteArray>
#include <QString>

// Widths in GBK bytes of the text columns of T_ClientLog, after their types
// (resources/databases/common/types.sql: T_VA64 is varchar(64), T_VA255
// varchar(255), T_VA32 varchar(32)).
namespace ClientLogWidth {
inline constexpr int MashineIP = 64;     // T_VA64
inline constexpr int MashineName = 255;  // T_VA255
inline constexpr int DBName = 32;        // T_VA32
inline constexpr int AccName = 255;      // T_VA255
inline constexpr int LoginUser = 64;     // T_VA64
}  // namespace ClientLogWidth

// The character that stands in for an invalid GBK sequence and for a
// control character.
inline constexpr char16_t kClientLogStandIn = u'?';

// A field of a client's report (raw GBK bytes, as TSocketInfo carries it)
// as the text of a column widthBytes GBK bytes wide. Empty for an empty
// field or a width of 0 or less.
QString ClientLogText(const QByteArray& field, int widthBytes);

// A text the server has in Unicode (the peer's address, its host name) as
// the text of a column widthBytes GBK bytes wide: characters GBK lacks
// become '?' (as toGbk converts them), then as above.
QString ClientLogText(const QString& text, int widthBytes);
