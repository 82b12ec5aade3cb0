#include "wire.h"

#include "gbk.h"

namespace vqtds {

void Reader::need(std::size_t n) const
{
    if (n > data_.size() - pos_)
        throw ProtocolError("truncated data: " + std::to_string(n) + " bytes needed at offset " +
                            std::to_string(pos_) + ", " + std::to_string(data_.size() - pos_) +
                            " left");
}

std::uint8_t Reader::u8()
{
    need(1);
    return data_[pos_++];
}

std::uint16_t Reader::u16le()
{
    need(2);
    std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

std::uint16_t Reader::u16be()
{
    need(2);
    std::uint16_t v = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
    pos_ += 2;
    return v;
}

std::uint32_t Reader::u32le()
{
    need(4);
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | data_[pos_ + i];
    pos_ += 4;
    return v;
}

std::uint32_t Reader::u32be()
{
    need(4);
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | data_[pos_ + i];
    pos_ += 4;
    return v;
}

std::uint64_t Reader::u64le()
{
    need(8);
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | data_[pos_ + i];
    pos_ += 8;
    return v;
}

ByteView Reader::take(std::size_t n)
{
    need(n);
    ByteView v = data_.subspan(pos_, n);
    pos_ += n;
    return v;
}

void putU8(Bytes& out, std::uint8_t v) { out.push_back(v); }

void putU16le(Bytes& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putU16be(Bytes& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putU32le(Bytes& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putU32be(Bytes& out, std::uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putU64le(Bytes& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putBytes(Bytes& out, ByteView bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void putBytes(Bytes& out, std::string_view bytes) { putBytes(out, asBytes(bytes)); }

void patchU16le(Bytes& out, std::size_t at, std::uint16_t v)
{
    out.at(at) = static_cast<std::uint8_t>(v);
    out.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

ByteView asBytes(std::string_view s)
{
    return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

std::string utf16ToUtf8(ByteView utf16le)
{
    if (utf16le.size() % 2 != 0)
        throw ProtocolError("UTF-16 text with an odd number of bytes");
    std::string out;
    out.reserve(utf16le.size());
    char buf[4];
    const std::size_t units = utf16le.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t cp = utf16le[2 * i] | (utf16le[2 * i + 1] << 8);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units) {
            char32_t low = utf16le[2 * i + 2] | (utf16le[2 * i + 3] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        out.append(buf, static_cast<std::size_t>(vqsql::encodeUtf8(cp, buf)));
    }
    return out;
}

namespace {

// Code points of a UTF-8 text; an invalid byte becomes U+FFFD.
template <typename F>
void forEachCodePoint(std::string_view utf8, F&& f)
{
    auto p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto end = p + utf8.size();
    while (p < end) {
        const unsigned char* start = p;
        char32_t cp = vqsql::decodeUtf8(p, end);
        if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        if (!f(cp, static_cast<std::size_t>(start - reinterpret_cast<const unsigned char*>(utf8.data()))))
            return;
    }
}

}  // namespace

Bytes utf8ToUtf16(std::string_view utf8)
{
    Bytes out;
    appendUtf16(out, utf8);
    return out;
}

void appendUtf16(Bytes& out, std::string_view utf8)
{
    out.reserve(out.size() + utf8.size() * 2);
    forEachCodePoint(utf8, [&](char32_t cp, std::size_t) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            putU16le(out, static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
            putU16le(out, static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            putU16le(out, static_cast<std::uint16_t>(cp));
        }
        return true;
    });
}

std::size_t utf16Units(std::string_view utf8)
{
    std::size_t units = 0;
    forEachCodePoint(utf8, [&](char32_t cp, std::size_t) {
        units += cp >= 0x10000 ? 2 : 1;
        return true;
    });
    return units;
}

std::string truncateToUtf16Units(std::string_view utf8, std::size_t maxUnits)
{
    std::size_t units = 0;
    std::size_t cut = utf8.size();
    forEachCodePoint(utf8, [&](char32_t cp, std::size_t offset) {
        std::size_t n = cp >= 0x10000 ? 2 : 1;
        if (units + n > maxUnits) {
            cut = offset;
            return false;
        }
        units += n;
        return true;
    });
    return std::string(utf8.substr(0, cut));
}

}  // namespace vqtds
