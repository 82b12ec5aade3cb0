// One client's byte stream: the TCP socket, the TLS layer when the client
// asked for encryption, and the assembly of what arrives into whole TDS
// messages. Used by the connection's own thread only, except shutdown(),
// which any thread may call to end a blocked read.
#pragma once

#include "packet.h"

#include <asio.hpp>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace vqtdsserver {

class TlsChannel;
class TlsServerContext;

// The client went away, or a read or write failed: the connection ends.
class ConnectionClosed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

class ClientStream {
public:
    explicit ClientStream(asio::ip::tcp::socket socket);
    ~ClientStream();
    ClientStream(const ClientStream&) = delete;
    ClientStream& operator=(const ClientStream&) = delete;

    std::string peerAddress() const { return peerAddress_; }

    // The next whole message; nullopt when the client closed the
    // connection or the deadline passed first. Throws ProtocolError for
    // malformed packets and ConnectionClosed for a failed read.
    std::optional<vqtds::Message> readMessage(Deadline deadline = std::nullopt);
    // Reads what has arrived without waiting; true when an ATTENTION
    // message is among it (it is consumed; other messages wait their turn)
    // or when the client has closed the connection: either way the
    // running request is not wanted any more.
    bool attentionArrived() noexcept;

    // Sends a message as packets of the agreed size. Throws
    // ConnectionClosed when the client is gone.
    void send(std::uint8_t type, vqtds::ByteView payload);
    // A message sent in pieces as it is written (a large result): the
    // whole packets go out as each piece completes them, the last one,
    // marked end of message, with endMessage.
    void beginMessage(std::uint8_t type);
    void appendToMessage(vqtds::ByteView payload);
    void endMessage(vqtds::ByteView payload);
    bool messageOpen() const { return messageOpen_; }
    // The packet size agreed at login, for both directions.
    void setPacketSize(std::size_t size);

    // The TLS handshake, carried in PRELOGIN packets. Afterwards every
    // byte in both directions is encrypted until endLoginEncryption().
    void startTls(std::shared_ptr<TlsServerContext> context, Deadline deadline);
    // "Login only" encryption: from now on nothing is encrypted.
    void endLoginEncryption();
    bool encrypted() const { return tls_ != nullptr; }

    // From any thread: ends blocked reads and writes of the connection.
    void shutdown();
    // Waits for `duration` unless the connection ends first (the client
    // hangs up, or shutdown() is called); true when the whole time passed.
    // What the client sends meanwhile waits to be read.
    bool pause(std::chrono::milliseconds duration);

private:
    // Waits for bytes (up to the deadline), reads them and feeds the
    // assembler; false on end of stream or deadline.
    bool receive(Deadline deadline, bool wait = true);
    void feedPlain(vqtds::ByteView bytes);
    void writeRaw(vqtds::ByteView bytes);
    void writePackets(vqtds::ByteView packets);
    void emitPackets(bool last);

    asio::ip::tcp::socket socket_;
    int fd_;
    std::string peerAddress_;
    vqtds::MessageAssembler assembler_;
    std::deque<vqtds::Message> ready_;
    std::size_t packetSize_ = vqtds::kDefaultPacketSize;
    std::unique_ptr<TlsChannel> tls_;
    bool closed_ = false;   // the client ended the stream
    bool messageOpen_ = false;
    std::uint8_t messageType_ = 0;
    std::uint8_t nextPacketId_ = 1;
    vqtds::Bytes partial_;  // payload of the open message not yet in a packet
    std::vector<std::uint8_t> readBuffer_;
};

}  // namespace vqtdsserver
