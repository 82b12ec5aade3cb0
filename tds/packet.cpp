#include "packet.h"

#include <algorithm>

namespace vqtds {

PacketHeader readPacketHeader(ByteView eightBytes)
{
    Reader r(eightBytes);
    PacketHeader h;
    h.type = r.u8();
    h.status = r.u8();
    h.length = r.u16be();
    h.spid = r.u16be();
    h.packetId = r.u8();
    h.window = r.u8();
    return h;
}

void writePacketHeader(Bytes& out, const PacketHeader& header)
{
    putU8(out, header.type);
    putU8(out, header.status);
    putU16be(out, header.length);
    putU16be(out, header.spid);
    putU8(out, header.packetId);
    putU8(out, header.window);
}

std::uint32_t negotiatePacketSize(std::uint32_t requested)
{
    if (requested == 0)
        return kDefaultPacketSize;
    return std::clamp<std::uint32_t>(requested, kMinPacketSize, kMaxPacketSize);
}

std::size_t MessageLimits::forType(std::uint8_t type) const
{
    switch (type) {
    case packet_type::Prelogin: return prelogin;
    case packet_type::Login7:
    case packet_type::Sspi: return login;
    default: return other;
    }
}

MessageAssembler::MessageAssembler(std::size_t packetSize, MessageLimits limits)
    : packetSize_(packetSize), limits_(limits)
{
    setPacketSize(packetSize);
}

void MessageAssembler::setPacketSize(std::size_t packetSize)
{
    if (packetSize < kMinPacketSize || packetSize > kMaxPacketSize)
        throw ProtocolError("packet size " + std::to_string(packetSize) + " outside 512..32767");
    packetSize_ = packetSize;
}

void MessageAssembler::feed(ByteView bytes)
{
    compact();
    putBytes(pending_, bytes);
}

void MessageAssembler::compact()
{
    if (consumed_ > 0) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(consumed_));
        consumed_ = 0;
    }
}

std::optional<Message> MessageAssembler::next()
{
    while (unread().size() >= kPacketHeaderSize) {
        const PacketHeader h = readPacketHeader(unread().first(kPacketHeaderSize));
        if (h.length < kPacketHeaderSize)
            throw ProtocolError("packet length " + std::to_string(h.length) + " shorter than its header");
        if (h.length > packetSize_)
            throw ProtocolError("packet length " + std::to_string(h.length) + " above the packet size " +
                                std::to_string(packetSize_));
        if (inMessage_ && h.type != current_.type)
            throw ProtocolError("packet of type " + std::to_string(h.type) + " inside a message of type " +
                                std::to_string(current_.type));
        const std::size_t body = h.length - kPacketHeaderSize;
        if (!inMessage_ && body > limits_.forType(h.type))
            throw ProtocolError("message of type " + std::to_string(h.type) + " above its size limit");
        if (inMessage_ && current_.payload.size() + body > limits_.forType(h.type))
            throw ProtocolError("message of type " + std::to_string(h.type) + " above its size limit");
        if (unread().size() < h.length)
            break;   // the rest of this packet has not arrived yet

        if (!inMessage_) {
            current_ = Message{};
            current_.type = h.type;
            current_.firstStatus = h.status;
            inMessage_ = true;
        }
        putBytes(current_.payload, unread().subspan(kPacketHeaderSize, body));
        consumed_ += h.length;
        if (h.status & packet_status::Ignore)
            current_.ignored = true;
        if (h.endOfMessage()) {
            inMessage_ = false;
            Message done = std::move(current_);
            current_ = Message{};
            if (consumed_ == pending_.size()) {
                pending_.clear();
                consumed_ = 0;
            }
            return done;
        }
    }
    compact();
    return std::nullopt;
}

Bytes splitIntoPackets(std::uint8_t type, ByteView payload, std::size_t packetSize, std::uint16_t spid)
{
    if (packetSize < kMinPacketSize || packetSize > kMaxPacketSize)
        throw ProtocolError("packet size " + std::to_string(packetSize) + " outside 512..32767");
    const std::size_t perPacket = packetSize - kPacketHeaderSize;
    Bytes out;
    out.reserve(payload.size() + (payload.size() / perPacket + 1) * kPacketHeaderSize);
    std::size_t offset = 0;
    std::uint8_t packetId = 1;
    do {
        const std::size_t n = std::min(perPacket, payload.size() - offset);
        const bool last = offset + n == payload.size();
        PacketHeader h;
        h.type = type;
        h.status = last ? packet_status::EndOfMessage : 0;
        h.length = static_cast<std::uint16_t>(n + kPacketHeaderSize);
        h.spid = spid;
        h.packetId = packetId++;   // wraps from 255 to 0, as the field is one byte
        writePacketHeader(out, h);
        putBytes(out, payload.subspan(offset, n));
        offset += n;
    } while (offset < payload.size());
    return out;
}

}  // namespace vqtds
