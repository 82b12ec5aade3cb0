// Text helpers of the engine: UTF-8 decoding, GBK (code page 936) through
// glibc's iconv, the GBK byte length SQL Server would store for a text, a
// locale-independent case mapping, and the per-code-point sort keys of the
// vq_ci collation (Chinese_PRC_CI_AS-like: case-insensitive, ordered by
// GBK code, which puts level-1 hanzi in pinyin order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vqsql {

// Decodes one code point at p (p < end) and advances p. A byte that does
// not start a valid UTF-8 sequence is consumed alone and returned as
// 0xDC00 + byte (a lone surrogate, so it never equals a real character).
inline char32_t decodeUtf8(const unsigned char*& p, const unsigned char* end) {
    unsigned c = *p;
    if (c < 0x80) {
        ++p;
        return c;
    }
    int extra;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        extra = 1;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        extra = 2;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        extra = 3;
        cp = c & 0x07;
    } else {
        ++p;
        return 0xDC00 + c;
    }
    if (end - p <= extra) {
        ++p;
        return 0xDC00 + c;
    }
    for (int i = 1; i <= extra; ++i) {
        unsigned b = p[i];
        if ((b & 0xC0) != 0x80) {
            ++p;
            return 0xDC00 + c;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and values above U+10FFFF.
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
        ++p;
        return 0xDC00 + c;
    }
    p += extra + 1;
    return cp;
}

// Appends the UTF-8 form of cp to out; returns the number of bytes written
// (at most 4). Lone surrogates made by decodeUtf8 from a bad byte are
// written back as that byte.
int encodeUtf8(char32_t cp, char* out);

// Number of code points in a UTF-8 text.
std::size_t utf8Length(std::string_view utf8);

// Case mapping for ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and
// full-width Latin letters; other code points map to themselves. Does not
// depend on the process locale.
char32_t foldUpper(char32_t cp);
char32_t foldLower(char32_t cp);

// UTF-8 -> GBK. A character GBK cannot encode (and an invalid UTF-8 byte)
// becomes '?', as SQL Server stores it in a varchar column.
std::string utf8ToGbk(std::string_view utf8);
// GBK -> UTF-8; nullopt when the bytes are not valid GBK.
std::optional<std::string> gbkToUtf8(std::string_view gbk);
// Length in bytes of utf8ToGbk(utf8), computed without converting.
std::size_t gbkByteLength(std::string_view utf8);
// GBK bytes of one code point: 1 or 2 (1 for a character stored as '?').
int gbkCharLength(char32_t cp);

// Sort key of one code point under vq_ci: ASCII letters fold to upper
// case; every character GBK encodes sorts by its GBK code (single-byte
// codes before double-byte ones); characters GBK lacks sort after all of
// them by code point. Equal keys mean the characters compare equal.
std::uint32_t collationKey(char32_t cp);

// Compares two UTF-8 texts as the vq_ci collation does: trailing blanks
// ignored, characters compared by collationKey. Returns <0, 0 or >0.
int compareCi(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb);

}  // namespace vqsql
