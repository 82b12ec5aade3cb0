// TDS packets: the 8-byte header, the assembly of received bytes into
// whole messages (one or more packets up to the one marked end of
// message), and the splitting of an outgoing message into packets.
#pragma once

#include "wire.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace vqtds {

// Message types of the packet header.
namespace packet_type {
constexpr std::uint8_t SqlBatch = 0x01;
constexpr std::uint8_t PreTds7Login = 0x02;
constexpr std::uint8_t Rpc = 0x03;
constexpr std::uint8_t TabularResult = 0x04;
constexpr std::uint8_t Attention = 0x06;
constexpr std::uint8_t BulkLoad = 0x07;
constexpr std::uint8_t FederatedAuthToken = 0x08;
constexpr std::uint8_t TransactionManager = 0x0E;
constexpr std::uint8_t Login7 = 0x10;
constexpr std::uint8_t Sspi = 0x11;
constexpr std::uint8_t Prelogin = 0x12;
}  // namespace packet_type

// Bits of the header's status byte.
namespace packet_status {
constexpr std::uint8_t EndOfMessage = 0x01;
constexpr std::uint8_t Ignore = 0x02;
constexpr std::uint8_t ResetConnection = 0x08;
constexpr std::uint8_t ResetConnectionSkipTran = 0x10;
}  // namespace packet_status

constexpr std::size_t kPacketHeaderSize = 8;
constexpr std::size_t kMinPacketSize = 512;
constexpr std::size_t kMaxPacketSize = 32767;
constexpr std::size_t kDefaultPacketSize = 4096;

struct PacketHeader {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0;   // header included; big-endian on the wire
    std::uint16_t spid = 0;     // big-endian on the wire
    std::uint8_t packetId = 0;
    std::uint8_t window = 0;

    bool endOfMessage() const { return (status & packet_status::EndOfMessage) != 0; }
};

PacketHeader readPacketHeader(ByteView eightBytes);
void writePacketHeader(Bytes& out, const PacketHeader& header);

// The packet size the server agrees to for the one a client asks for in
// LOGIN7: 0 means the server's default; others are held to 512..32767.
std::uint32_t negotiatePacketSize(std::uint32_t requested);

// A complete message: its type, the status bits of its first packet (the
// reset-connection bits are only meaningful there) and the payloads of
// all its packets joined.
struct Message {
    std::uint8_t type = 0;
    std::uint8_t firstStatus = 0;
    bool ignored = false;   // the client cancelled it mid-way (Ignore bit): discard
    Bytes payload;

    bool resetConnection() const
    {
        return (firstStatus & (packet_status::ResetConnection | packet_status::ResetConnectionSkipTran)) != 0;
    }
};

// The largest message accepted, by message type. PRELOGIN (which also
// carries the TLS handshake) and LOGIN7 are small; batches and RPCs may
// be large.
struct MessageLimits {
    std::size_t prelogin = 64 * 1024;
    std::size_t login = 128 * 1024;
    std::size_t other = 4 * 1024 * 1024;

    std::size_t forType(std::uint8_t type) const;
};

// Takes bytes as they arrive and yields whole messages. After each
// feed() the caller takes messages with next() until it returns nullopt;
// what is then kept is at most one incomplete packet plus the message
// being assembled, both bounded. A bad header, a packet longer than the
// packet size, a type change inside a message or a message beyond its
// limit throws ProtocolError; the connection is then beyond repair.
class MessageAssembler {
public:
    explicit MessageAssembler(std::size_t packetSize = kMaxPacketSize, MessageLimits limits = {});

    // The negotiated packet size: longer packets are refused from now on.
    void setPacketSize(std::size_t packetSize);
    std::size_t packetSize() const { return packetSize_; }

    void feed(ByteView bytes);
    std::optional<Message> next();

    // Bytes received and not yet part of a returned message.
    std::size_t bufferedBytes() const { return pending_.size() - consumed_ + current_.payload.size(); }

private:
    ByteView unread() const { return ByteView(pending_).subspan(consumed_); }
    void compact();

    std::size_t packetSize_;
    MessageLimits limits_;
    Bytes pending_;              // received bytes; [consumed_, end) not yet read
    std::size_t consumed_ = 0;
    Message current_;
    bool inMessage_ = false;
};

// Splits a message into packets of at most packetSize bytes (header
// included), numbered from 1, the last one marked end of message. An
// empty payload gives one packet with the header alone.
Bytes splitIntoPackets(std::uint8_t type, ByteView payload, std::size_t packetSize, std::uint16_t spid = 0);

}  // namespace vqtds
