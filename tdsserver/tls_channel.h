// TLS for a TDS connection, over memory buffers instead of a socket.
//
// In TDS the TLS handshake does not run on the bare TCP stream: after
// PRELOGIN, the client's and the server's handshake records travel inside
// TDS packets of type 0x12 (PRELOGIN). Only once the handshake is done do
// TLS records flow raw on the stream, each carrying TDS packets. So the
// connection code moves the bytes itself: it feeds what it received into a
// TlsChannel and takes out what has to be sent, wrapping it in PRELOGIN
// packets during the handshake and sending it as it is afterwards.
//
// With ENCRYPT_OFF ("login only") the client encrypts just the LOGIN7
// record. The connection then reads the login through the channel and
// discards it: from the next packet on the stream is plain TDS again and
// the channel is no longer used. Nothing in the channel has to know.
//
// Errors: a TlsError carries a short message of our own that may be shown
// to a client or written to its log; OpenSSL's error stack is kept apart in
// detail(), for the server's log only.
#pragma once

#include "wire.h"

#include <openssl/types.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

namespace vqtdsserver {

using vqtds::ByteView;
using vqtds::Bytes;

class TlsError : public std::runtime_error {
public:
    explicit TlsError(const std::string& message, std::string detail = {});
    // OpenSSL's own error text, for the server's log; never sent to a client.
    const std::string& detail() const noexcept { return detail_; }

private:
    std::string detail_;
};

// A server's TLS configuration: its certificate and key. Configured once
// by load() and read-only afterwards, so one instance is shared by all
// connections on all threads.
class TlsServerContext {
public:
    // Loads a PEM certificate (with any intermediate certificates after it)
    // and its PEM private key. Throws TlsError naming the file when it is
    // missing or unreadable, or when the key does not belong to the
    // certificate.
    static std::shared_ptr<TlsServerContext> load(const std::string& certFile, const std::string& keyFile);

    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    SSL_CTX* native() const noexcept { return ctx_; }

private:
    explicit TlsServerContext(SSL_CTX* ctx) : ctx_(ctx) {}
    SSL_CTX* ctx_;
};

// The server side of one connection's TLS session, used by one thread.
//
// The usual cycle: feedCiphertext() with what arrived, then either
// continueHandshake() or readPlaintext(), then takeCiphertext() and send
// whatever it returns (OpenSSL may have something to send at any step,
// including the alert that tells the client why a handshake failed, so
// take it even after a TlsError).
//
// After a TlsError the session is dead: every further call except
// takeCiphertext() throws TlsError again.
class TlsChannel {
public:
    // More ciphertext than this, fed and not yet processed, is refused:
    // a client cannot make the server buffer without bound.
    static constexpr std::size_t kMaxBufferedCiphertext = 1024 * 1024;

    explicit TlsChannel(std::shared_ptr<TlsServerContext> context);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Bytes received from the client, in any pieces: partial records and
    // many records at once are both fine. Throws TlsError when the unread
    // ciphertext would exceed kMaxBufferedCiphertext.
    void feedCiphertext(ByteView data);
    // Bytes fed and not yet consumed by OpenSSL.
    std::size_t bufferedCiphertext() const;

    // Advances the handshake with what has been fed. Returns true once the
    // handshake is complete (and keeps returning true), false while it
    // waits for more from the client. Throws TlsError when it fails: bad
    // records, an unsupported protocol version, no common cipher.
    bool continueHandshake();
    bool handshakeComplete() const noexcept { return handshakeComplete_; }

    // Everything OpenSSL has produced for the client so far; empty when
    // there is nothing to send.
    Bytes takeCiphertext();

    // Encrypts `data` into as many records as it takes; the records are
    // then available from takeCiphertext(). Only after the handshake.
    void writePlaintext(ByteView data);

    // All plaintext decryptable from what has been fed; empty while a
    // record is still incomplete. Throws TlsError on a record that does
    // not decrypt or verify, and on any alert other than close_notify.
    // On close_notify it returns the plaintext that came before it and
    // peerClosed() becomes true; nothing more is read after that.
    // Plaintext from records before a bad one is not returned: the
    // connection is closed on the error anyway. Only after the handshake.
    Bytes readPlaintext();
    bool peerClosed() const noexcept { return peerClosed_; }

    // Queues a close_notify alert for takeCiphertext(), to end the session
    // politely before closing the connection.
    void writeCloseNotify();

private:
    void throwIfFailed() const;
    void requireHandshake(const char* operation) const;
    [[noreturn]] void fail(const char* message);

    std::shared_ptr<TlsServerContext> context_;
    SSL* ssl_ = nullptr;
    BIO* fromClient_ = nullptr;   // owned by ssl_
    BIO* toClient_ = nullptr;     // owned by ssl_
    bool handshakeComplete_ = false;
    bool peerClosed_ = false;
    bool failed_ = false;
};

}  // namespace vqtdsserver
