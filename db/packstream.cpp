// Stream packing (see packstream.h).
#include "packstream.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

// zlib counts in uInt; larger buffers are fed in slices of this size.
constexpr qsizetype kSlice = qsizetype(1) << 30;

std::string zlibError(const char* what, int code, const z_stream& z)
{
    std::string text = std::string(what) + " (zlib " + std::to_string(code);
    if (z.msg)
        text += std::string(": ") + z.msg;
    return text + ")";
}

// Hands zlib the next slice of input once it has used up the last one.
void feedInput(z_stream& z, const char*& in, qsizetype& inLeft)
{
    if (z.avail_in != 0 || inLeft <= 0)
        return;
    const qsizetype slice = std::min(inLeft, kSlice);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
    z.avail_in = uInt(slice);
    in += slice;
    inLeft -= slice;
}

}  // namespace

void PackStream(QByteArray& stream)
{
    z_stream z{};
    int rc = deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK)
        throw std::runtime_error(zlibError("cannot start compression", rc, z));

    const quint32 size = quint32(quint64(stream.size()) & 0xFFFFFFFFu);
    QByteArray packed;
    // Usually enough for the whole result; grown below when not.
    packed.resize(4 + qsizetype(deflateBound(&z, uLong(std::min<qsizetype>(stream.size(), kSlice)))));
    packed[0] = char(size & 0xFF);
    packed[1] = char((size >> 8) & 0xFF);
    packed[2] = char((size >> 16) & 0xFF);
    packed[3] = char((size >> 24) & 0xFF);
    qsizetype written = 4;

    const char* in = stream.constData();
    qsizetype inLeft = stream.size();
    for (;;) {
        feedInput(z, in, inLeft);
        if (written == packed.size())
            packed.resize(packed.size() + std::max<qsizetype>(packed.size() / 2, 64 * 1024));
        const qsizetype room = std::min(packed.size() - written, kSlice);
        z.next_out = reinterpret_cast<Bytef*>(packed.data() + written);
        z.avail_out = uInt(room);
        rc = deflate(&z, inLeft > 0 ? Z_NO_FLUSH : Z_FINISH);
        written += room - qsizetype(z.avail_out);
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            const std::string message = zlibError("compression failed", rc, z);
            deflateEnd(&z);
            throw std::runtime_error(message);
        }
    }
    deflateEnd(&z);
    packed.truncate(written);
    stream = std::move(packed);
}

void UnpackStream(QByteArray& stream)
{
    if (stream.size() < 4)
        throw std::runtime_error("packed stream too short for its length field");
    const auto* bytes = reinterpret_cast<const unsigned char*>(stream.constData());
    const quint32 length =
        quint32(bytes[0]) | (quint32(bytes[1]) << 8) | (quint32(bytes[2]) << 16) | (quint32(bytes[3]) << 24);
    if (length == 0) {
        stream.clear();
        return;
    }

    z_stream z{};
    int rc = inflateInit2(&z, 15);
    if (rc != Z_OK)
        throw std::runtime_error(zlibError("cannot start decompression", rc, z));

    // The buffer grows with what the data really yields, so that a damaged
    // length field does not reserve gigabytes up front.
    QByteArray out;
    out.resize(std::min<qsizetype>(length, std::max<qsizetype>(4 * stream.size(), 64 * 1024)));
    qsizetype produced = 0;
    const char* in = stream.constData() + 4;
    qsizetype inLeft = stream.size() - 4;
    std::string failure;
    while (produced < qsizetype(length)) {
        feedInput(z, in, inLeft);
        if (produced == out.size())
            out.resize(std::min<qsizetype>(length, out.size() * 2));
        const qsizetype room = std::min(out.size() - produced, kSlice);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        z.avail_out = uInt(room);
        rc = inflate(&z, Z_NO_FLUSH);
        produced += room - qsizetype(z.avail_out);
        if (rc == Z_STREAM_END) {
            if (produced < qsizetype(length))
                failure = "packed stream holds fewer bytes than its length field says";
            break;
        }
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && inLeft == 0) {
            failure = "packed stream ends before its length field is reached";
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            failure = zlibError("packed stream is no valid zlib stream", rc, z);
            break;
        }
    }
    inflateEnd(&z);
    if (!failure.empty())
        throw std::runtime_error(failure);
    out.truncate(produced);
    stream = std::move(out);
}
