#include "tls_channel.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace vqtdsserver {

namespace {

// OpenSSL's queued errors of this thread as one line, and the queue
// emptied so that they do not show up with a later, unrelated failure.
std::string takeOpenSslErrors()
{
    std::string text;
    char buffer[256];
    while (const unsigned long code = ERR_get_error()) {
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.empty())
            text += "; ";
        text += buffer;
    }
    return text;
}

std::string quoted(const std::string& file)
{
    return "'" + file + "'";
}

void requireFile(const std::string& file, const char* what)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw TlsError(std::string("the TLS ") + what + " file " + quoted(file) + " does not exist");
}

// A PEM private key, or null. An encrypted key is refused rather than
// asked a passphrase for: the server runs unattended, and OpenSSL's
// default would prompt on a terminal.
EVP_PKEY* readPrivateKey(const std::string& file)
{
    std::unique_ptr<BIO, int (*)(BIO*)> bio(BIO_new_file(file.c_str(), "r"), BIO_free);
    if (!bio)
        return nullptr;
    const auto noPassphrase = [](char*, int, int, void*) { return 0; };
    return PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr);
}

// The settings every TDS connection uses.
//
// TLS 1.2 only. In TDS the handshake is carried inside PRELOGIN packets and
// ends when the server's Finished message has been sent; after that the
// connection expects TDS packets in TLS records and nothing else. TLS 1.3
// sends handshake messages after the handshake (NewSessionTicket, key
// updates) which the wrapped handshake of SQL Server's clients does not
// carry, and TLS 1.3 in TDS is only defined for TDS 8 (strict encryption),
// where TLS runs before PRELOGIN. TLS 1.0 and 1.1 are obsolete.
//
// No session tickets and no session cache: every connection does a full
// handshake, so the server always writes the last handshake message and the
// end of the handshake is the same on both sides. No compression (CRIME),
// no renegotiation (nothing in TDS asks for it, and it would need handshake
// messages in the middle of the data).
void configure(SSL_CTX* ctx)
{
    if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION) != 1)
        throw TlsError("cannot restrict TLS to version 1.2", takeOpenSslErrors());
    SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET | SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION |
                                 SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    // Idle connections are the common case: let OpenSSL free its record
    // buffers between records.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
}

}  // namespace

TlsError::TlsError(const std::string& message, std::string detail)
    : std::runtime_error(message), detail_(std::move(detail))
{
}

std::shared_ptr<TlsServerContext> TlsServerContext::load(const std::string& certFile, const std::string& keyFile)
{
    requireFile(certFile, "certificate");
    requireFile(keyFile, "key");

    ERR_clear_error();
    SSL_CTX* raw = SSL_CTX_new(TLS_server_method());
    if (!raw)
        throw TlsError("cannot create a TLS context", takeOpenSslErrors());
    std::shared_ptr<TlsServerContext> context(new TlsServerContext(raw));
    configure(raw);

    if (SSL_CTX_use_certificate_chain_file(raw, certFile.c_str()) != 1)
        throw TlsError("cannot read the TLS certificate file " + quoted(certFile), takeOpenSslErrors());
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(readPrivateKey(keyFile), EVP_PKEY_free);
    if (!key)
        throw TlsError("cannot read the TLS key file " + quoted(keyFile), takeOpenSslErrors());
    if (X509_check_private_key(SSL_CTX_get0_certificate(raw), key.get()) != 1)
        throw TlsError("the TLS key file " + quoted(keyFile) + " does not match the certificate " + quoted(certFile),
                       takeOpenSslErrors());
    if (SSL_CTX_use_PrivateKey(raw, key.get()) != 1 || SSL_CTX_check_private_key(raw) != 1)
        throw TlsError("cannot use the TLS key file " + quoted(keyFile), takeOpenSslErrors());
    return context;
}

TlsServerContext::~TlsServerContext()
{
    SSL_CTX_free(ctx_);
}

TlsChannel::TlsChannel(std::shared_ptr<TlsServerContext> context) : context_(std::move(context))
{
    if (!context_)
        throw std::invalid_argument("TlsChannel needs a TLS context");
    ERR_clear_error();
    ssl_ = SSL_new(context_->native());
    fromClient_ = BIO_new(BIO_s_mem());
    toClient_ = BIO_new(BIO_s_mem());
    if (!ssl_ || !fromClient_ || !toClient_) {
        BIO_free(fromClient_);
        BIO_free(toClient_);
        SSL_free(ssl_);
        throw TlsError("cannot create a TLS session", takeOpenSslErrors());
    }
    // An empty buffer means "wait for more", not end of stream.
    BIO_set_mem_eof_return(fromClient_, -1);
    BIO_set_mem_eof_return(toClient_, -1);
    SSL_set_bio(ssl_, fromClient_, toClient_);   // ssl_ owns both from here
    SSL_set_accept_state(ssl_);
}

TlsChannel::~TlsChannel()
{
    SSL_free(ssl_);
    // Errors a failed session left in this thread's queue would otherwise
    // be blamed on the next session of the thread.
    ERR_clear_error();
}

void TlsChannel::feedCiphertext(ByteView data)
{
    throwIfFailed();
    if (data.empty())
        return;
    if (data.size() > kMaxBufferedCiphertext - std::min(bufferedCiphertext(), kMaxBufferedCiphertext)) {
        failed_ = true;
        throw TlsError("too much TLS data from the client at once");
    }
    std::size_t written = 0;
    if (BIO_write_ex(fromClient_, data.data(), data.size(), &written) != 1 || written != data.size())
        fail("cannot buffer TLS data");
}

std::size_t TlsChannel::bufferedCiphertext() const
{
    return BIO_ctrl_pending(fromClient_);
}

bool TlsChannel::continueHandshake()
{
    throwIfFailed();
    if (handshakeComplete_)
        return true;
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_);
    if (result == 1) {
        handshakeComplete_ = true;
        return true;
    }
    const int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return false;
    fail("TLS handshake failed");
}

Bytes TlsChannel::takeCiphertext()
{
    Bytes out(BIO_ctrl_pending(toClient_));
    if (out.empty())
        return out;
    std::size_t read = 0;
    if (BIO_read_ex(toClient_, out.data(), out.size(), &read) != 1)
        read = 0;
    out.resize(read);
    return out;
}

void TlsChannel::writePlaintext(ByteView data)
{
    requireHandshake("writePlaintext");
    ERR_clear_error();
    while (!data.empty()) {
        // SSL_write_ex takes any size and splits it into records itself;
        // the loop is for writes it reports as partial.
        std::size_t written = 0;
        if (SSL_write_ex(ssl_, data.data(), data.size(), &written) != 1 || written == 0)
            fail("TLS write failed");
        data = data.subspan(written);
    }
}

Bytes TlsChannel::readPlaintext()
{
    requireHandshake("readPlaintext");
    Bytes out;
    if (peerClosed_)
        return out;
    ERR_clear_error();
    std::uint8_t buffer[16384];
    for (;;) {
        std::size_t read = 0;
        const int result = SSL_read_ex(ssl_, buffer, sizeof buffer, &read);
        if (result == 1) {
            out.insert(out.end(), buffer, buffer + read);
            continue;
        }
        switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            return out;
        case SSL_ERROR_ZERO_RETURN:
            peerClosed_ = true;
            return out;
        default:
            fail("TLS record rejected");
        }
    }
}

void TlsChannel::writeCloseNotify()
{
    requireHandshake("writeCloseNotify");
    ERR_clear_error();
    // 0 means "sent, the peer's close_notify not received yet", which is
    // all that is wanted before closing the connection.
    if (SSL_shutdown(ssl_) < 0)
        fail("TLS shutdown failed");
}

void TlsChannel::throwIfFailed() const
{
    if (failed_)
        throw TlsError("TLS session already failed");
}

void TlsChannel::requireHandshake(const char* operation) const
{
    throwIfFailed();
    if (!handshakeComplete_)
        throw std::logic_error(std::string("TlsChannel::") + operation + " before the TLS handshake is complete");
}

void TlsChannel::fail(const char* message)
{
    failed_ = true;
    throw TlsError(message, takeOpenSslErrors());
}

}  // namespace vqtdsserver
