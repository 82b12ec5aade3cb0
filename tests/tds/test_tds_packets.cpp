// Packets: the header, the assembly of messages from bytes that arrive
// in any pieces, the refusal of bad lengths and oversized messages, and
// the splitting of a message into packets.
#include "packet.h"
#include "tds_test_helpers.h"

#include <gtest/gtest.h>

using namespace vqtds;
using tdstest::fromHex;
using tdstest::toHex;

namespace {

Bytes packet(std::uint8_t type, std::uint8_t status, const Bytes& body, std::uint8_t id = 1)
{
    Bytes out;
    PacketHeader h;
    h.type = type;
    h.status = status;
    h.length = static_cast<std::uint16_t>(body.size() + 8);
    h.packetId = id;
    writePacketHeader(out, h);
    putBytes(out, body);
    return out;
}

}  // namespace

TEST(TdsPacket, HeaderIsBigEndianLengthAndSpid)
{
    const Bytes raw = fromHex("12 01 00 2F 00 35 01 00");
    const PacketHeader h = readPacketHeader(raw);
    EXPECT_EQ(h.type, packet_type::Prelogin);
    EXPECT_TRUE(h.endOfMessage());
    EXPECT_EQ(h.length, 0x2F);
    EXPECT_EQ(h.spid, 0x35);
    EXPECT_EQ(h.packetId, 1);
    Bytes back;
    writePacketHeader(back, h);
    EXPECT_EQ(toHex(back), toHex(raw));
}

TEST(TdsPacket, ShortHeaderIsAProtocolError)
{
    const Bytes raw = fromHex("12 01 00");
    EXPECT_THROW(readPacketHeader(raw), ProtocolError);
}

TEST(TdsPacket, MessageFromOnePacket)
{
    MessageAssembler a;
    a.feed(packet(packet_type::SqlBatch, packet_status::EndOfMessage, {1, 2, 3}));
    auto m = a.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->type, packet_type::SqlBatch);
    EXPECT_EQ(m->payload, (Bytes{1, 2, 3}));
    EXPECT_FALSE(a.next());
    EXPECT_EQ(a.bufferedBytes(), 0u);
}

TEST(TdsPacket, MessageFromSeveralPacketsFedByteByByte)
{
    Bytes stream = packet(packet_type::SqlBatch, 0, {1, 2}, 1);
    putBytes(stream, packet(packet_type::SqlBatch, 0, {3}, 2));
    putBytes(stream, packet(packet_type::SqlBatch, packet_status::EndOfMessage, {4, 5}, 3));
    putBytes(stream, packet(packet_type::Attention, packet_status::EndOfMessage, {}, 1));
    MessageAssembler a;
    std::vector<Message> got;
    for (std::uint8_t b : stream) {
        a.feed(Bytes{b});
        while (auto m = a.next())
            got.push_back(std::move(*m));
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].payload, (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(got[1].type, packet_type::Attention);
    EXPECT_TRUE(got[1].payload.empty());
}

TEST(TdsPacket, ResetConnectionAndIgnoreBits)
{
    MessageAssembler a;
    a.feed(packet(packet_type::SqlBatch, packet_status::ResetConnection, {1}));
    a.feed(packet(packet_type::SqlBatch, packet_status::EndOfMessage | packet_status::Ignore, {2}));
    auto m = a.next();
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->resetConnection());
    EXPECT_TRUE(m->ignored);
}

struct BadStream {
    const char* name;
    Bytes bytes;
};

class TdsPacketRefusal : public ::testing::TestWithParam<BadStream> {};

TEST_P(TdsPacketRefusal, Throws)
{
    MessageAssembler a(4096);
    a.feed(GetParam().bytes);
    EXPECT_THROW(while (a.next()) {}, ProtocolError) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    BadLengths, TdsPacketRefusal,
    ::testing::Values(BadStream{"length below the header", fromHex("01 01 00 07 00 00 01 00")},
                      BadStream{"length zero", fromHex("01 01 00 00 00 00 01 00")},
                      BadStream{"length above the packet size", fromHex("01 01 10 01 00 00 01 00")},
                      BadStream{"type change inside a message",
                                fromHex("01 00 00 09 00 00 01 00 AA 03 01 00 09 00 00 02 00 BB")}),
    [](const auto& info) { return tdstest::testName(info.param.name); });

TEST(TdsPacket, MessageAboveItsLimitIsRefusedBeforeItIsBuffered)
{
    MessageLimits limits;
    limits.prelogin = 100;
    MessageAssembler a(512, limits);
    // Two packets of 60 bytes of body each: the second passes the limit.
    a.feed(packet(packet_type::Prelogin, 0, Bytes(60, 0)));
    EXPECT_FALSE(a.next());
    a.feed(packet(packet_type::Prelogin, packet_status::EndOfMessage, Bytes(60, 0), 2));
    EXPECT_THROW(a.next(), ProtocolError);
}

TEST(TdsPacket, NegotiatedPacketSizeAppliesToLaterPackets)
{
    MessageAssembler a;
    a.setPacketSize(512);
    a.feed(packet(packet_type::SqlBatch, packet_status::EndOfMessage, Bytes(600, 0x41)));
    EXPECT_THROW(a.next(), ProtocolError);
    EXPECT_THROW(a.setPacketSize(100), ProtocolError);
}

TEST(TdsPacket, NegotiatePacketSize)
{
    EXPECT_EQ(negotiatePacketSize(0), 4096u);
    EXPECT_EQ(negotiatePacketSize(8192), 8192u);
    EXPECT_EQ(negotiatePacketSize(100), 512u);
    EXPECT_EQ(negotiatePacketSize(70000), 32767u);
}

TEST(TdsPacket, SplitIntoPacketsExactBytes)
{
    const Bytes payload(1000, 0x5A);
    const Bytes out = splitIntoPackets(packet_type::TabularResult, payload, 512, 0x34);
    ASSERT_EQ(out.size(), 1000u + 2 * 8);
    EXPECT_EQ(toHex(ByteView(out).first(8)), "04 00 02 00 00 34 01 00");
    EXPECT_EQ(toHex(ByteView(out).subspan(512, 8)), "04 01 01 F8 00 34 02 00");   // 496 bytes + header
}

TEST(TdsPacket, EmptyMessageIsOneHeaderOnlyPacket)
{
    const Bytes out = splitIntoPackets(packet_type::TabularResult, {}, 4096);
    EXPECT_EQ(toHex(out), "04 01 00 08 00 00 01 00");
}

TEST(TdsPacket, SplitThenAssembleRoundTrip)
{
    for (std::size_t size : {0u, 1u, 503u, 504u, 505u, 4088u, 70000u}) {
        Bytes payload(size);
        for (std::size_t i = 0; i < size; ++i)
            payload[i] = static_cast<std::uint8_t>(i * 7);
        MessageAssembler a(512);
        a.feed(splitIntoPackets(packet_type::SqlBatch, payload, 512));
        auto m = a.next();
        ASSERT_TRUE(m) << size;
        EXPECT_EQ(m->payload, payload) << size;
        EXPECT_FALSE(a.next());
    }
}

TEST(TdsPacket, PacketIdsWrapAfter255)
{
    const Bytes payload(504 * 300, 1);
    const Bytes out = splitIntoPackets(packet_type::TabularResult, payload, 512);
    EXPECT_EQ(out[255 * 512 + 6], 0);   // the 256th packet
    EXPECT_EQ(out[256 * 512 + 6], 1);
}
