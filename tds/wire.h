// The byte-level helpers every TDS unit shares: the error type of the
// codec, a bounds-checked reader over received bytes, the little- and
// big-endian writers, and UTF-16LE <-> UTF-8 conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vqtds {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Thrown for anything malformed that came from the wire (and for a value
// that cannot be written in the requested format). The connection that
// sent it is answered with an error or closed; nothing else is affected.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads from a fixed buffer; every read checks that the bytes are there
// and throws ProtocolError otherwise, so a length or an offset from the
// wire can never take it outside the buffer.
class Reader {
public:
    explicit Reader(ByteView data) : data_(data) {}

    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }

    std::uint8_t u8();
    std::uint16_t u16le();
    std::uint16_t u16be();
    std::uint32_t u32le();
    std::uint32_t u32be();
    std::uint64_t u64le();
    // The next n bytes, as a view into the buffer.
    ByteView take(std::size_t n);
    void skip(std::size_t n) { take(n); }

private:
    void need(std::size_t n) const;

    ByteView data_;
    std::size_t pos_ = 0;
};

void putU8(Bytes& out, std::uint8_t v);
void putU16le(Bytes& out, std::uint16_t v);
void putU16be(Bytes& out, std::uint16_t v);
void putU32le(Bytes& out, std::uint32_t v);
void putU32be(Bytes& out, std::uint32_t v);
void putU64le(Bytes& out, std::uint64_t v);
void putBytes(Bytes& out, ByteView bytes);
void putBytes(Bytes& out, std::string_view bytes);
// Overwrites two bytes at `at` (a length written after its content).
void patchU16le(Bytes& out, std::size_t at, std::uint16_t v);

ByteView asBytes(std::string_view s);

// UTF-16LE -> UTF-8. Throws on an odd byte count; a lone surrogate
// becomes U+FFFD.
std::string utf16ToUtf8(ByteView utf16le);
// UTF-8 -> UTF-16LE (surrogate pairs above U+FFFF).
Bytes utf8ToUtf16(std::string_view utf8);
// The same appended to `out`.
void appendUtf16(Bytes& out, std::string_view utf8);
// Number of UTF-16 code units of a UTF-8 text.
std::size_t utf16Units(std::string_view utf8);
// The longest prefix of a UTF-8 text that has at most maxUnits UTF-16
// units, cut on a character boundary (for the one-byte length fields).
std::string truncateToUtf16Units(std::string_view utf8, std::size_t maxUnits);

}  // namespace vqtds
