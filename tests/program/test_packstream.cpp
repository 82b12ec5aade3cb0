// Stream packing: the exact packed bytes, round trips, and how damaged
// packed data is treated.
#include "packstream.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace {

QByteArray fromHex(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex));
}

QByteArray packed(const QByteArray& content)
{
    QByteArray s = content;
    PackStream(s);
    return s;
}

// Pseudo-random bytes of a fixed sequence (a linear congruential
// generator), so that the data compresses badly and runs are repeatable.
QByteArray noise(qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    std::uint32_t x = 0x12345678u;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1664525u + 1013904223u;
        out[i] = char(x >> 24);
    }
    return out;
}

QByteArray allByteValues()
{
    QByteArray out;
    for (int i = 0; i < 256; ++i)
        out.append(char(i));
    return out;
}

void setLength(QByteArray& s, std::uint32_t length)
{
    s[0] = char(length & 0xFF);
    s[1] = char((length >> 8) & 0xFF);
    s[2] = char((length >> 16) & 0xFF);
    s[3] = char((length >> 24) & 0xFF);
}

}  // namespace

// ---------------------------------------------------------------------------
// Packed layout

TEST(PackStreamLayout, EmptyContentGivesTheTwelveKnownBytes)
{
    EXPECT_EQ(packed({}).toHex(' ').toStdString(), "00 00 00 00 78 da 03 00 00 00 00 01");
}

TEST(PackStreamLayout, LengthIsLittleEndianAndZlibHeaderIsBestCompression)
{
    EXPECT_TRUE(packed("abc").startsWith(fromHex("0300000078DA")));
    // A length that needs all four bytes shows their order.
    const QByteArray big = packed(QByteArray(0x010203, 'x'));
    EXPECT_TRUE(big.startsWith(fromHex("0302010078DA")));
    EXPECT_LT(big.size(), 0x010203 / 100);  // a run of one letter really is compressed
}

// ---------------------------------------------------------------------------
// Round trips

struct RoundTripCase {
    const char* name;
    QByteArray content;
};

class PackStreamRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(PackStreamRoundTrip, UnpackGivesTheInputBack)
{
    QByteArray s = GetParam().content;
    PackStream(s);
    if (!GetParam().content.isEmpty())
        EXPECT_NE(s, GetParam().content);
    UnpackStream(s);
    EXPECT_EQ(s.size(), GetParam().content.size());
    EXPECT_TRUE(s == GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(Contents, PackStreamRoundTrip,
                         ::testing::Values(RoundTripCase{"Empty", QByteArray()},
                                           RoundTripCase{"Small", QByteArray("abc")},
                                           RoundTripCase{"OneByte", QByteArray(1, '\0')},
                                           RoundTripCase{"AllByteValues", allByteValues()},
                                           RoundTripCase{"OneMegabyteOfNoise", noise(1 << 20)},
                                           RoundTripCase{"Repetitive", QByteArray(3 << 20, 'z')}),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Damaged packed data

TEST(UnpackStreamDamaged, LengthLargerThanTheDataFailsAndLeavesTheStream)
{
    QByteArray s = packed(noise(5000));
    setLength(s, 5001);
    const QByteArray before = s;
    EXPECT_THROW(UnpackStream(s), std::runtime_error);
    EXPECT_TRUE(s == before);
}

TEST(UnpackStreamDamaged, HugeLengthFailsWithoutReservingIt)
{
    QByteArray s = packed("abc");
    setLength(s, 0xFFFFFFFFu);
    const QByteArray before = s;
    EXPECT_THROW(UnpackStream(s), std::runtime_error);
    EXPECT_TRUE(s == before);
}

TEST(UnpackStreamDamaged, LengthSmallerThanTheDataGivesTheLeadingBytes)
{
    const QByteArray content = noise(200000);
    for (std::uint32_t length : {1u, 10u, 65536u, 199999u}) {
        SCOPED_TRACE(length);
        QByteArray s = packed(content);
        setLength(s, length);
        UnpackStream(s);
        EXPECT_TRUE(s == content.left(length));
    }
}

TEST(UnpackStreamDamaged, BytesAfterTheZlibStreamAreIgnored)
{
    const QByteArray content = noise(3000);
    QByteArray s = packed(content) + QByteArray("trailing garbage\x00\xff", 18);
    UnpackStream(s);
    EXPECT_TRUE(s == content);
}

struct BadDataCase {
    const char* name;
    QByteArray stream;
};

class UnpackStreamBadData : public ::testing::TestWithParam<BadDataCase> {};

TEST_P(UnpackStreamBadData, FailsAndLeavesTheStream)
{
    QByteArray s = GetParam().stream;
    EXPECT_THROW(UnpackStream(s), std::runtime_error);
    EXPECT_TRUE(s == GetParam().stream);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, UnpackStreamBadData,
    ::testing::Values(BadDataCase{"GarbageAfterTheLength", fromHex("03000000") + QByteArray("not zlib at all")},
                      BadDataCase{"NothingAfterTheLength", fromHex("03000000")},
                      BadDataCase{"ShorterThanTheLengthField", fromHex("0300")},
                      BadDataCase{"CutOffZlibStream", packed(noise(4000)).left(1000)},
                      // A raw deflate stream without the zlib header.
                      BadDataCase{"WrongHeader", fromHex("03000000") + fromHex("4B4C4A0600")},
                      // A final block of the reserved block type.
                      BadDataCase{"InvalidBlockType", fromHex("0300000078DA07000000")},
                      // The Adler-32 checksum at the end does not match.
                      BadDataCase{"WrongChecksum",
                                  [] {
                                      QByteArray s = packed("abc");
                                      s[s.size() - 1] = char(s[s.size() - 1] ^ 0x01);
                                      return s;
                                  }()}),
    [](const ::testing::TestParamInfo<BadDataCase>& info) { return info.param.name; });
