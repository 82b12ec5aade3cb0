#include "client_stream.h"

#include "tls_channel.h"

#include <poll.h>
#include <sys/socket.h>

namespace vqtdsserver {

using namespace vqtds;

ClientStream::ClientStream(asio::ip::tcp::socket socket)
    : socket_(std::move(socket)), fd_(socket_.native_handle()), readBuffer_(64 * 1024)
{
    asio::error_code ec;
    auto endpoint = socket_.remote_endpoint(ec);
    peerAddress_ = ec ? std::string("unknown") : endpoint.address().to_string();
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
}

ClientStream::~ClientStream() = default;

void ClientStream::shutdown()
{
    ::shutdown(fd_, SHUT_RDWR);
}

bool ClientStream::pause(std::chrono::milliseconds duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return true;
        // Only the end of the stream wakes this: hang-up and errors are
        // always reported, POLLRDHUP adds the client's own close.
        pollfd p{fd_, POLLRDHUP, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno != EINTR)
            return false;
        if (n > 0)
            return false;
    }
}

void ClientStream::setPacketSize(std::size_t size)
{
    packetSize_ = size;
    assembler_.setPacketSize(size);
}

bool ClientStream::receive(Deadline deadline, bool wait)
{
    if (closed_)
        return false;
    pollfd p{fd_, POLLIN, 0};
    // Waiting without a deadline (between requests) is the blocking read
    // itself: a poll first would only cost a system call per request.
    // shutdown() ends the read as it ends a poll.
    const bool readAtOnce = wait && !deadline;
    while (!readAtOnce) {
        int timeoutMs = -1;
        if (!wait) {
            timeoutMs = 0;
        } else if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            timeoutMs = static_cast<int>(std::min<long long>(left.count() + 1, 60'000));
        }
        const int n = ::poll(&p, 1, timeoutMs);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ConnectionClosed("poll failed");
        }
        if (n == 0) {
            if (!wait)
                return false;
            continue;   // the deadline is checked at the top
        }
        break;
    }
    asio::error_code ec;
    std::size_t got = 0;
    do {
        got = socket_.read_some(asio::buffer(readBuffer_), ec);
    } while (ec == asio::error::interrupted);
    if (ec == asio::error::eof || (!ec && got == 0)) {
        closed_ = true;
        return false;
    }
    if (ec) {
        closed_ = true;
        throw ConnectionClosed(ec.message());
    }
    const ByteView bytes(readBuffer_.data(), got);
    if (tls_) {
        tls_->feedCiphertext(bytes);
        const Bytes plain = tls_->readPlaintext();
        feedPlain(plain);
    } else {
        feedPlain(bytes);
    }
    return true;
}

void ClientStream::feedPlain(ByteView bytes)
{
    assembler_.feed(bytes);
    while (auto m = assembler_.next()) {
        if (!m->ignored)
            ready_.push_back(std::move(*m));
    }
}

std::optional<Message> ClientStream::readMessage(Deadline deadline)
{
    while (ready_.empty()) {
        if (!receive(deadline))
            return std::nullopt;
    }
    Message m = std::move(ready_.front());
    ready_.pop_front();
    return m;
}

bool ClientStream::attentionArrived() noexcept
{
    if (closed_)
        return true;
    // Called from inside the engine's statement: nothing may be thrown
    // through it. Bytes that cannot be read (malformed, a failed socket)
    // end the connection as a closed one does.
    try {
        while (receive(std::nullopt, false)) {
        }
    } catch (...) {
        closed_ = true;
        return true;
    }
    if (closed_)
        return true;
    for (auto it = ready_.begin(); it != ready_.end(); ++it) {
        if (it->type == packet_type::Attention) {
            ready_.erase(it);
            return true;
        }
    }
    return false;
}

void ClientStream::writeRaw(ByteView bytes)
{
    asio::error_code ec;
    asio::write(socket_, asio::buffer(bytes.data(), bytes.size()), ec);
    if (ec)
        throw ConnectionClosed(ec.message());
}

void ClientStream::writePackets(ByteView packets)
{
    if (tls_) {
        tls_->writePlaintext(packets);
        writeRaw(tls_->takeCiphertext());
    } else {
        writeRaw(packets);
    }
}

void ClientStream::send(std::uint8_t type, ByteView payload)
{
    if (messageOpen_)
        throw std::logic_error("a message is being sent in pieces");
    writePackets(splitIntoPackets(type, payload, packetSize_));
}

void ClientStream::beginMessage(std::uint8_t type)
{
    if (messageOpen_)
        throw std::logic_error("a message is being sent in pieces");
    messageOpen_ = true;
    messageType_ = type;
    nextPacketId_ = 1;
    partial_.clear();
}

void ClientStream::emitPackets(bool last)
{
    const std::size_t perPacket = packetSize_ - kPacketHeaderSize;
    Bytes out;
    std::size_t offset = 0;
    // Whole packets while more than one packet's worth is pending; the
    // last packet (marked end of message) takes what is left, even nothing.
    while (partial_.size() - offset > perPacket || (last && offset <= partial_.size())) {
        const std::size_t n = std::min(perPacket, partial_.size() - offset);
        const bool final = last && offset + n == partial_.size();
        PacketHeader h;
        h.type = messageType_;
        h.status = final ? packet_status::EndOfMessage : 0;
        h.length = static_cast<std::uint16_t>(n + kPacketHeaderSize);
        h.packetId = nextPacketId_++;
        writePacketHeader(out, h);
        putBytes(out, ByteView(partial_).subspan(offset, n));
        offset += n;
        if (final)
            break;
    }
    partial_.erase(partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(offset));
    if (!out.empty())
        writePackets(out);
}

void ClientStream::appendToMessage(ByteView payload)
{
    putBytes(partial_, payload);
    emitPackets(false);
}

void ClientStream::endMessage(ByteView payload)
{
    putBytes(partial_, payload);
    messageOpen_ = false;
    emitPackets(true);
}

void ClientStream::startTls(std::shared_ptr<TlsServerContext> context, Deadline deadline)
{
    auto channel = std::make_unique<TlsChannel>(std::move(context));
    while (!channel->handshakeComplete()) {
        // The client's handshake records come in PRELOGIN packets, and the
        // server's go back the same way.
        std::optional<Message> m = readMessage(deadline);
        if (!m)
            throw ConnectionClosed("the client left during the TLS handshake");
        if (m->type != packet_type::Prelogin)
            throw ProtocolError("expected a TLS handshake packet");
        channel->feedCiphertext(m->payload);
        channel->continueHandshake();
        const Bytes out = channel->takeCiphertext();
        if (!out.empty())
            writeRaw(splitIntoPackets(packet_type::Prelogin, out, packetSize_));
    }
    tls_ = std::move(channel);
}

void ClientStream::endLoginEncryption()
{
    tls_.reset();
}

}  // namespace vqtdsserver
