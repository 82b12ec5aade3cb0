// GBK conversion through glibc's iconv, the GBK byte length of a text, the
// locale-independent case mapping and the vq_ci sort keys.
//
// The per-code-point GBK table is not written by hand: it is filled once,
// at first use, by asking iconv to convert every BMP code point.
#include "gbk.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace vqsql {

namespace {

// Marks a BMP code point GBK cannot encode (0xFFFF is no valid GBK code:
// a trail byte is never 0xFF).
constexpr std::uint16_t kNoGbk = 0xFFFF;

// Owns an iconv descriptor.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }
    void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd_;
};

struct Tables {
    std::vector<std::uint16_t> gbk;   // code point -> GBK code or kNoGbk
    std::vector<std::uint32_t> key;   // code point -> vq_ci sort key
};

// Asks iconv for the GBK code of every BMP code point, then derives the
// sort keys from the upper-case form of each code point.
Tables buildTables() {
    Tables t;
    t.gbk.assign(0x10000, kNoGbk);
    t.key.assign(0x10000, 0);
    Iconv cd("GBK", "UTF-8");
    t.gbk[0] = 0;
    if (cd.ok()) {
        for (char32_t cp = 1; cp < 0x10000; ++cp) {
            if (cp >= 0xD800 && cp <= 0xDFFF) continue;
            char in[4];
            int n = encodeUtf8(cp, in);
            unsigned char out[8];
            char* ip = in;
            char* op = reinterpret_cast<char*>(out);
            size_t il = static_cast<size_t>(n), ol = sizeof out;
            if (iconv(cd.get(), &ip, &il, &op, &ol) == static_cast<size_t>(-1)) {
                cd.reset();
                continue;
            }
            size_t len = sizeof out - ol;
            if (len == 1)
                t.gbk[cp] = out[0];
            else if (len == 2)
                t.gbk[cp] = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
        }
    } else {
        // Without the GBK converter only ASCII is known to be single-byte.
        for (char32_t cp = 1; cp < 0x80; ++cp) t.gbk[cp] = static_cast<std::uint16_t>(cp);
    }
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        char32_t f = foldUpper(cp);
        std::uint16_t code = f < 0x10000 ? t.gbk[f] : kNoGbk;
        t.key[cp] = code != kNoGbk ? code : 0x10000u + f;
    }
    return t;
}

const Tables& tables() {
    static const Tables t = buildTables();
    return t;
}

}  // namespace

int encodeUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp >= 0xDC80 && cp <= 0xDCFF) {  // a bad byte kept by decodeUtf8
        out[0] = static_cast<char>(cp - 0xDC00);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

std::size_t utf8Length(std::string_view utf8) {
    auto p = reinterpret_cast<const unsigned char*>(utf8.data());
    auto end = p + utf8.size();
    std::size_t n = 0;
    while (p < end) {
        if (*p < 0x80)
            ++p;
        else
            decodeUtf8(p, end);
        ++n;
    }
    return n;
}

char32_t foldUpper(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
        if (c == 0xFF) return 0x178;
        return c;
    }
    if (c < 0x180) {
        if (c <= 0x137) return (c == 0x130 || c == 0x131) ? c : (c & ~1u);
        if (c >= 0x139 && c <= 0x148) return (c % 2 == 0) ? c - 1 : c;
        if (c >= 0x14A && c <= 0x177) return c & ~1u;
        if (c >= 0x179 && c <= 0x17E) return (c % 2 == 0) ? c - 1 : c;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 32;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
    return c;
}

char32_t foldLower(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c < 0x100) return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? c + 32 : c;
    if (c < 0x180) {
        if (c <= 0x137) return (c == 0x130 || c == 0x131) ? c : (c | 1u);
        if (c >= 0x139 && c <= 0x148) return (c % 2 == 1) ? c + 1 : c;
        if (c >= 0x14A && c <= 0x177) return c | 1u;
        if (c == 0x178) return 0xFF;
        if (c >= 0x179 && c <= 0x17E) return (c % 2 == 1) ? c + 1 : c;
        return c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
    return c;
}

// Through the per-code-point table that iconv filled, so no converter is
// opened per value (a result of many rows converts many texts).
std::string utf8ToGbk(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    auto p = reinterpret_cast<const unsigned char*>(utf8.data());
    auto end = p + utf8.size();
    const std::vector<std::uint16_t>& gbk = tables().gbk;
    while (p < end) {
        if (*p < 0x80) {
            out.push_back(static_cast<char>(*p++));
            continue;
        }
        const char32_t cp = decodeUtf8(p, end);
        // Unencodable or malformed input: SQL Server stores '?' per UTF-16
        // unit, so a character beyond the BMP becomes "??".
        if (cp > 0xFFFF) {
            out.append(2, '?');
            continue;
        }
        const std::uint16_t code = gbk[cp];
        if (code == kNoGbk) {
            out.push_back('?');
        } else if (code < 0x100) {
            out.push_back(static_cast<char>(code));
        } else {
            out.push_back(static_cast<char>(code >> 8));
            out.push_back(static_cast<char>(code & 0xFF));
        }
    }
    return out;
}

std::optional<std::string> gbkToUtf8(std::string_view gbk) {
    Iconv cd("UTF-8", "GBK");
    if (!cd.ok()) return std::nullopt;
    std::string out(gbk.size() * 3 + 4, '\0');
    auto ip = const_cast<char*>(gbk.data());
    size_t il = gbk.size();
    char* op = out.data();
    size_t ol = out.size();
    if (iconv(cd.get(), &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return std::nullopt;
    out.resize(out.size() - ol);
    return out;
}

int gbkCharLength(char32_t cp) {
    if (cp < 0x80) return 1;
    if (cp > 0xFFFF) return 2;  // stored as "??"
    std::uint16_t code = tables().gbk[cp];
    return (code == kNoGbk || code < 0x100) ? 1 : 2;
}

std::size_t gbkByteLength(std::string_view utf8) {
    auto p = reinterpret_cast<const unsigned char*>(utf8.data());
    auto end = p + utf8.size();
    std::size_t n = 0;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            ++n;
        } else {
            n += static_cast<std::size_t>(gbkCharLength(decodeUtf8(p, end)));
        }
    }
    return n;
}

std::uint32_t collationKey(char32_t cp) {
    if (cp < 0x10000) return tables().key[cp];
    return 0x10000u + cp;
}

int compareCi(const unsigned char* a, std::size_t na, const unsigned char* b, std::size_t nb) {
    while (na > 0 && a[na - 1] == ' ') --na;
    while (nb > 0 && b[nb - 1] == ' ') --nb;
    // Identical leading bytes compare equal whatever they encode; back up
    // to a character boundary before comparing character by character.
    std::size_t n = na < nb ? na : nb, i = 0;
    while (i < n && a[i] == b[i]) ++i;
    auto continuation = [](const unsigned char* s, std::size_t len, std::size_t at) {
        return at < len && (s[at] & 0xC0) == 0x80;
    };
    while (i > 0 && (continuation(a, na, i) || continuation(b, nb, i))) --i;
    const unsigned char* ea = a + na;
    const unsigned char* eb = b + nb;
    a += i;
    b += i;
    const std::uint32_t* keys = nullptr;
    while (a < ea && b < eb) {
        unsigned ca = *a, cb = *b;
        if ((ca | cb) < 0x80) {
            if (ca != cb) {
                unsigned ua = (ca >= 'a' && ca <= 'z') ? ca - 32 : ca;
                unsigned ub = (cb >= 'a' && cb <= 'z') ? cb - 32 : cb;
                if (ua != ub) return ua < ub ? -1 : 1;
            }
            ++a;
            ++b;
            continue;
        }
        if (!keys) keys = tables().key.data();
        char32_t xa = decodeUtf8(a, ea), xb = decodeUtf8(b, eb);
        std::uint32_t ka = xa < 0x10000 ? keys[xa] : 0x10000u + xa;
        std::uint32_t kb = xb < 0x10000 ? keys[xb] : 0x10000u + xb;
        if (ka != kb) return ka < kb ? -1 : 1;
    }
    if (a < ea) return 1;
    if (b < eb) return -1;
    return 0;
}

}  // namespace vqsql
