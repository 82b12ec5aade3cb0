// TLS over memory buffers: a real OpenSSL client, pumped by hand, against
// a TlsChannel whose certificate createSelfSignedCertificate made in a
// temporary folder. Handshakes whole and byte by byte, data both ways in
// any size and piece, the protocol versions refused, garbage and tampered
// records, files that cannot be loaded, the certificate's content, and a
// bounded fuzzing of the ciphertext a client can send (VQ_FUZZ_ROUNDS,
// VQ_FUZZ_SEED).
#include "fuzz_support.h"
#include "certificate.h"
#include "tls_channel.h"

#include <gtest/gtest.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

using namespace vqtdsserver;
namespace fs = std::filesystem;

namespace {

// One certificate pair for the whole program (RSA key generation is the
// slow part), and a second one for a key that belongs to another
// certificate.
struct TestCertificates {
    fs::path folder;
    std::string cert, key, otherCert, otherKey;

    TestCertificates()
    {
        folder = fs::temp_directory_path() / ("vq-tls-test-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        cert = (folder / "server.crt").string();
        key = (folder / "server.key").string();
        otherCert = (folder / "other.crt").string();
        otherKey = (folder / "other.key").string();
        createSelfSignedCertificate(cert, key, "books.example");
        createSelfSignedCertificate(otherCert, otherKey, "other.example", 30);
    }
    ~TestCertificates() { fs::remove_all(folder); }
};

const TestCertificates& certificates()
{
    static TestCertificates instance;
    return instance;
}

std::shared_ptr<TlsServerContext> serverContext()
{
    static std::shared_ptr<TlsServerContext> context =
        TlsServerContext::load(certificates().cert, certificates().key);
    return context;
}

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

// The client side: an SSL over two memory BIOs, as a TDS client library
// would have it.
class TestClient {
public:
    struct Options {
        int minVersion = TLS1_2_VERSION;
        int maxVersion = TLS1_3_VERSION;
        bool verifyAgainstOurCertificate = false;
    };

    TestClient() : TestClient(Options{}) {}
    explicit TestClient(const Options& options)
    {
        ctx_ = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_min_proto_version(ctx_, options.minVersion);
        SSL_CTX_set_max_proto_version(ctx_, options.maxVersion);
        if (options.maxVersion < TLS1_2_VERSION) {
            // OpenSSL 3 does not even offer TLS 1.0 or 1.1 at the default
            // security level; an old client does.
            SSL_CTX_set_security_level(ctx_, 0);
            SSL_CTX_set_cipher_list(ctx_, "DEFAULT:@SECLEVEL=0");
        }
        if (options.verifyAgainstOurCertificate) {
            SSL_CTX_load_verify_locations(ctx_, certificates().cert.c_str(), nullptr);
            SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        }
        ssl_ = SSL_new(ctx_);
        if (options.verifyAgainstOurCertificate)
            SSL_set1_host(ssl_, "localhost");
        in_ = BIO_new(BIO_s_mem());
        out_ = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(in_, -1);
        BIO_set_mem_eof_return(out_, -1);
        SSL_set_bio(ssl_, in_, out_);
        SSL_set_connect_state(ssl_);
    }
    ~TestClient()
    {
        SSL_free(ssl_);
        SSL_CTX_free(ctx_);
        ERR_clear_error();
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    SSL* ssl() const { return ssl_; }

    // 1 done, 0 waiting for the server, -1 failed.
    int handshake()
    {
        const int r = SSL_do_handshake(ssl_);
        if (r == 1)
            return 1;
        const int e = SSL_get_error(ssl_, r);
        return e == SSL_ERROR_WANT_READ ? 0 : -1;
    }
    void feed(ByteView data)
    {
        if (!data.empty())
            BIO_write(in_, data.data(), static_cast<int>(data.size()));
    }
    Bytes take()
    {
        Bytes out(BIO_ctrl_pending(out_));
        if (!out.empty())
            BIO_read(out_, out.data(), static_cast<int>(out.size()));
        return out;
    }
    void write(ByteView data)
    {
        ASSERT_EQ(SSL_write(ssl_, data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
    }
    // Everything readable; sets `closed` on close_notify.
    Bytes read(bool* closed = nullptr)
    {
        Bytes out;
        std::uint8_t buffer[4096];
        for (;;) {
            const int n = SSL_read(ssl_, buffer, sizeof buffer);
            if (n > 0) {
                out.insert(out.end(), buffer, buffer + n);
                continue;
            }
            if (closed)
                *closed = SSL_get_error(ssl_, n) == SSL_ERROR_ZERO_RETURN;
            return out;
        }
    }

private:
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    BIO* in_ = nullptr;
    BIO* out_ = nullptr;
};

// Feeds `data` to the channel in pieces of `piece` bytes.
void feedInPieces(TlsChannel& server, ByteView data, std::size_t piece, const std::function<void()>& afterEach)
{
    for (std::size_t at = 0; at < data.size(); at += piece) {
        server.feedCiphertext(data.subspan(at, std::min(piece, data.size() - at)));
        afterEach();
    }
}

// Runs both sides until both have finished; the client's bytes reach the
// server in pieces of `piece` bytes. Throws what the server throws.
bool handshake(TestClient& client, TlsChannel& server, std::size_t piece = SIZE_MAX)
{
    for (int round = 0; round < 20; ++round) {
        const int clientState = client.handshake();
        if (clientState < 0)
            return false;
        feedInPieces(server, client.take(), piece, [&] { server.continueHandshake(); });
        server.continueHandshake();
        client.feed(server.takeCiphertext());
        if (clientState == 1 && server.handshakeComplete())
            return true;
    }
    return false;
}

// Client records in, plaintext out, in pieces of `piece` bytes.
Bytes serverReceives(TestClient& client, TlsChannel& server, std::size_t piece = SIZE_MAX)
{
    Bytes got;
    feedInPieces(server, client.take(), piece, [&] {
        const Bytes part = server.readPlaintext();
        got.insert(got.end(), part.begin(), part.end());
    });
    return got;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

// ---- handshake ------------------------------------------------------------

TEST(TlsHandshake, CompletesWithTls12AndTheClientVerifiesTheCertificate)
{
    TestClient client({.verifyAgainstOurCertificate = true});
    TlsChannel server(serverContext());
    EXPECT_FALSE(server.handshakeComplete());
    ASSERT_TRUE(handshake(client, server));
    EXPECT_TRUE(server.handshakeComplete());
    EXPECT_EQ(SSL_version(client.ssl()), TLS1_2_VERSION);
    EXPECT_EQ(SSL_get_verify_result(client.ssl()), X509_V_OK);
    EXPECT_FALSE(SSL_session_reused(client.ssl()));
    EXPECT_TRUE(server.takeCiphertext().empty()) << "nothing left to send after the handshake";
}

TEST(TlsHandshake, CompletesWithCiphertextFedByteByByte)
{
    TestClient client;
    TlsChannel server(serverContext());
    ASSERT_TRUE(handshake(client, server, 1));
    client.write(bytesOf("after a slow start"));
    EXPECT_EQ(serverReceives(client, server, 1), bytesOf("after a slow start"));
}

TEST(TlsHandshake, RefusesEveryVersionButTls12)
{
    struct Case {
        const char* name;
        int minVersion, maxVersion;
    };
    const Case cases[] = {
        {"TLS 1.3 only", TLS1_3_VERSION, TLS1_3_VERSION},
        {"TLS 1.1", TLS1_1_VERSION, TLS1_1_VERSION},
        {"TLS 1.0", TLS1_VERSION, TLS1_VERSION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestClient client({.minVersion = c.minVersion, .maxVersion = c.maxVersion});
        TlsChannel server(serverContext());
        ASSERT_EQ(client.handshake(), 0) << "the client did not even send a hello";
        server.feedCiphertext(client.take());
        try {
            server.continueHandshake();
            ADD_FAILURE() << "handshake went on";
        } catch (const TlsError& e) {
            EXPECT_STREQ(e.what(), "TLS handshake failed");
            EXPECT_FALSE(e.detail().empty()) << "OpenSSL's reason belongs in the log";
        }
        // The alert still reaches the client, and the channel stays dead.
        client.feed(server.takeCiphertext());
        EXPECT_EQ(client.handshake(), -1);
        EXPECT_THROW(server.continueHandshake(), TlsError);
        EXPECT_THROW(server.feedCiphertext(bytesOf("x")), TlsError);
    }
}

TEST(TlsHandshake, GarbageIsATlsError)
{
    const std::pair<const char*, Bytes> cases[] = {
        {"HTTP request", bytesOf("GET / HTTP/1.1\r\nHost: x\r\n\r\n")},
        {"a TDS PRELOGIN packet instead of a record", Bytes{0x12, 0x01, 0x00, 0x2F, 0x00, 0x00, 0x01, 0x00, 0, 0}},
        {"handshake record with a huge length", Bytes{0x16, 0x03, 0x03, 0xFF, 0xFF, 0x01}},
        {"alert record", Bytes{0x15, 0x03, 0x03, 0x00, 0x02, 0x02, 0x28}},
        {"application data first", Bytes{0x17, 0x03, 0x03, 0x00, 0x03, 1, 2, 3}},
    };
    for (const auto& [name, input] : cases) {
        SCOPED_TRACE(name);
        TlsChannel server(serverContext());
        server.feedCiphertext(input);
        EXPECT_THROW(server.continueHandshake(), TlsError);
    }
}

TEST(TlsHandshake, IncompleteHelloWaitsForMore)
{
    TestClient client;
    TlsChannel server(serverContext());
    client.handshake();
    const Bytes hello = client.take();
    server.feedCiphertext(ByteView(hello).first(hello.size() - 1));
    EXPECT_FALSE(server.continueHandshake());
    EXPECT_TRUE(server.takeCiphertext().empty());
    server.feedCiphertext(ByteView(hello).last(1));
    EXPECT_FALSE(server.continueHandshake());
    EXPECT_FALSE(server.takeCiphertext().empty()) << "ServerHello and certificate";
}

TEST(TlsHandshake, RefusesToBufferMoreThanTheLimit)
{
    TlsChannel server(serverContext());
    const Bytes half(TlsChannel::kMaxBufferedCiphertext / 2, 0x16);
    server.feedCiphertext(half);
    server.feedCiphertext(half);
    EXPECT_EQ(server.bufferedCiphertext(), TlsChannel::kMaxBufferedCiphertext);
    EXPECT_THROW(server.feedCiphertext(Bytes{0x16}), TlsError);
}

TEST(TlsHandshake, DataBeforeTheHandshakeIsAProgrammingError)
{
    TlsChannel server(serverContext());
    EXPECT_THROW(server.readPlaintext(), std::logic_error);
    EXPECT_THROW(server.writePlaintext(bytesOf("x")), std::logic_error);
}

// ---- data -----------------------------------------------------------------

class TlsData : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(handshake(client_, server_)); }
    TestClient client_;
    TlsChannel server_{serverContext()};
};

TEST_F(TlsData, TravelsBothWaysInTurn)
{
    for (int turn = 0; turn < 3; ++turn) {
        const Bytes question = bytesOf("select " + std::to_string(turn));
        client_.write(question);
        EXPECT_EQ(serverReceives(client_, server_), question);
        const Bytes answer = bytesOf("row " + std::to_string(turn));
        server_.writePlaintext(answer);
        client_.feed(server_.takeCiphertext());
        EXPECT_EQ(client_.read(), answer);
    }
}

TEST_F(TlsData, LargeDataSpansManyRecords)
{
    const Bytes upload = randomBytes(300 * 1024, 1);
    client_.write(upload);
    EXPECT_EQ(serverReceives(client_, server_), upload);

    const Bytes download = randomBytes(200 * 1024 + 7, 2);
    server_.writePlaintext(download);
    const Bytes ciphertext = server_.takeCiphertext();
    EXPECT_GT(ciphertext.size(), download.size() + 12 * 16) << "at least 13 records with their overhead";
    client_.feed(ciphertext);
    EXPECT_EQ(client_.read(), download);
}

TEST_F(TlsData, ManyRecordsAtOnceAndOneSplitAnywhere)
{
    Bytes expected;
    for (int i = 0; i < 20; ++i) {
        const Bytes message = bytesOf("message " + std::to_string(i) + ";");
        client_.write(message);
        expected.insert(expected.end(), message.begin(), message.end());
    }
    EXPECT_EQ(serverReceives(client_, server_), expected);

    // Split inside the header, right after it, and one byte short.
    const Bytes message = randomBytes(1000, 3);
    for (const int split : {1, 4, 5, -1}) {
        SCOPED_TRACE(split);
        TestClient client;
        TlsChannel server(serverContext());
        ASSERT_TRUE(handshake(client, server));
        client.write(message);
        const Bytes own = client.take();
        const std::size_t at = split < 0 ? own.size() - 1 : static_cast<std::size_t>(split);
        server.feedCiphertext(ByteView(own).first(at));
        EXPECT_TRUE(server.readPlaintext().empty());
        server.feedCiphertext(ByteView(own).subspan(at));
        EXPECT_EQ(server.readPlaintext(), message);
    }
}

TEST_F(TlsData, ClientCloseNotifyEndsReading)
{
    client_.write(bytesOf("last words"));
    SSL_shutdown(client_.ssl());
    EXPECT_EQ(serverReceives(client_, server_), bytesOf("last words"));
    EXPECT_TRUE(server_.peerClosed());
    EXPECT_TRUE(server_.readPlaintext().empty());
}

TEST_F(TlsData, ServerCloseNotifyReachesTheClient)
{
    server_.writePlaintext(bytesOf("bye"));
    server_.writeCloseNotify();
    client_.feed(server_.takeCiphertext());
    bool closed = false;
    EXPECT_EQ(client_.read(&closed), bytesOf("bye"));
    EXPECT_TRUE(closed);
}

TEST_F(TlsData, TamperedRecordIsRejectedWithOurOwnMessage)
{
    client_.write(bytesOf("transfer 100 to account 7"));
    Bytes record = client_.take();
    record[record.size() - 3] ^= 0x01;
    server_.feedCiphertext(record);
    try {
        server_.readPlaintext();
        FAIL() << "tampered record accepted";
    } catch (const TlsError& e) {
        EXPECT_STREQ(e.what(), "TLS record rejected");
        EXPECT_FALSE(e.detail().empty());
    }
    EXPECT_THROW(server_.readPlaintext(), TlsError);
}

// ---- loading the certificate and key ---------------------------------------

namespace {

void writeEncryptedCopyOfKey(const std::string& from, const std::string& to)
{
    FILE* in = std::fopen(from.c_str(), "r");
    ASSERT_TRUE(in);
    EVP_PKEY* key = PEM_read_PrivateKey(in, nullptr, nullptr, nullptr);
    std::fclose(in);
    ASSERT_TRUE(key);
    FILE* out = std::fopen(to.c_str(), "w");
    ASSERT_TRUE(out);
    char passphrase[] = "secret";
    EXPECT_EQ(PEM_write_PrivateKey(out, key, EVP_aes_128_cbc(), reinterpret_cast<unsigned char*>(passphrase), 6,
                                   nullptr, nullptr),
              1);
    std::fclose(out);
    EVP_PKEY_free(key);
}

}  // namespace

TEST(TlsContext, FilesThatCannotBeUsedAreNamed)
{
    const TestCertificates& c = certificates();
    const std::string missing = (c.folder / "missing.pem").string();
    const std::string notPem = (c.folder / "not.pem").string();
    std::ofstream(notPem) << "this is not a certificate\n";
    const std::string encryptedKey = (c.folder / "encrypted.key").string();
    writeEncryptedCopyOfKey(c.key, encryptedKey);
    struct Case {
        const char* name;
        std::string cert, key, expected;
    };
    const Case cases[] = {
        {"missing certificate", missing, c.key, "'" + missing + "' does not exist"},
        {"missing key", c.cert, missing, "'" + missing + "' does not exist"},
        {"certificate not PEM", notPem, c.key, "certificate file '" + notPem + "'"},
        {"key not PEM", c.cert, notPem, "key file '" + notPem + "'"},
        {"key with a passphrase", c.cert, encryptedKey, "key file '" + encryptedKey + "'"},
        {"key of another certificate", c.cert, c.otherKey, "'" + c.otherKey + "' does not match"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        try {
            TlsServerContext::load(k.cert, k.key);
            ADD_FAILURE() << "loaded";
        } catch (const TlsError& e) {
            EXPECT_TRUE(contains(e.what(), k.expected)) << e.what();
        }
    }
}

TEST(TlsContext, OneContextServesManyChannels)
{
    auto context = TlsServerContext::load(certificates().otherCert, certificates().otherKey);
    for (int i = 0; i < 3; ++i) {
        TestClient client;
        TlsChannel server(context);
        ASSERT_TRUE(handshake(client, server));
        EXPECT_FALSE(SSL_session_reused(client.ssl()));
    }
}

// ---- the self-signed certificate --------------------------------------------

namespace {

X509* readCertificate(const std::string& file)
{
    FILE* f = std::fopen(file.c_str(), "r");
    if (!f)
        return nullptr;
    X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    return cert;
}

EVP_PKEY* readKey(const std::string& file)
{
    FILE* f = std::fopen(file.c_str(), "r");
    if (!f)
        return nullptr;
    EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    return key;
}

}  // namespace

TEST(SelfSignedCertificate, SignedByItsKeyWithTheNamesClientsCheck)
{
    X509* cert = readCertificate(certificates().cert);
    EVP_PKEY* key = readKey(certificates().key);
    ASSERT_TRUE(cert && key);
    EXPECT_EQ(X509_check_private_key(cert, key), 1);
    EXPECT_EQ(X509_verify(cert, key), 1);
    EXPECT_EQ(EVP_PKEY_get_bits(key), 2048);
    EXPECT_EQ(EVP_PKEY_get_base_id(key), EVP_PKEY_RSA);
    EXPECT_EQ(X509_get_signature_nid(cert), NID_sha256WithRSAEncryption);

    char cn[128] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn, sizeof cn);
    EXPECT_STREQ(cn, "books.example");
    EXPECT_EQ(X509_NAME_cmp(X509_get_subject_name(cert), X509_get_issuer_name(cert)), 0);
    EXPECT_EQ(X509_check_host(cert, "books.example", 0, 0, nullptr), 1);
    EXPECT_EQ(X509_check_host(cert, "localhost", 0, 0, nullptr), 1);
    EXPECT_EQ(X509_check_ip_asc(cert, "127.0.0.1", 0), 1);
    EXPECT_EQ(X509_check_host(cert, "elsewhere.example", 0, 0, nullptr), 0);
    EXPECT_EQ(X509_check_ca(cert), 0);
    EXPECT_EQ(X509_check_purpose(cert, X509_PURPOSE_SSL_SERVER, 0), 1);

    int days = 0, seconds = 0;
    ASSERT_EQ(ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(cert), X509_get0_notAfter(cert)), 1);
    EXPECT_EQ(days, 3650);
    EXPECT_EQ(X509_cmp_current_time(X509_get0_notBefore(cert)), -1) << "valid already";
    X509_free(cert);
    EVP_PKEY_free(key);
}

TEST(SelfSignedCertificate, SerialsAreRandom)
{
    X509* a = readCertificate(certificates().cert);
    X509* b = readCertificate(certificates().otherCert);
    ASSERT_TRUE(a && b);
    EXPECT_NE(ASN1_INTEGER_cmp(X509_get0_serialNumber(a), X509_get0_serialNumber(b)), 0);
    EXPECT_GT(ASN1_STRING_length(X509_get0_serialNumber(a)), 16);
    X509_free(a);
    X509_free(b);
}

TEST(SelfSignedCertificate, KeyIsPrivateEvenUnderAPermissiveUmask)
{
    const fs::path folder = certificates().folder / "umask";
    fs::create_directories(folder);
    const std::string cert = (folder / "a.crt").string(), key = (folder / "a.key").string();
    const mode_t previous = ::umask(0);
    createSelfSignedCertificate(cert, key, "127.0.0.2", 1);
    ::umask(previous);
    struct stat st {};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(cert.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    X509* c = readCertificate(cert);
    ASSERT_TRUE(c);
    EXPECT_EQ(X509_check_ip_asc(c, "127.0.0.2", 0), 1) << "an address as common name is an IP name";
    X509_free(c);
}

TEST(SelfSignedCertificate, ReplacesOldFilesAndLeavesNothingElse)
{
    const fs::path folder = certificates().folder / "replace";
    fs::create_directories(folder);
    const std::string cert = (folder / "s.crt").string(), key = (folder / "s.key").string();
    std::ofstream(cert) << "old";
    std::ofstream(key) << "old";
    createSelfSignedCertificate(cert, key, "localhost", 1);
    EXPECT_NO_THROW(TlsServerContext::load(cert, key));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST(SelfSignedCertificate, FailuresNameTheFile)
{
    const std::string nowhere = (certificates().folder / "no" / "such" / "folder" / "x.key").string();
    const std::string cert = (certificates().folder / "f.crt").string();
    const struct {
        std::string cert, key, commonName, expected;
    } cases[] = {
        {cert, nowhere, "localhost", nowhere},
        {cert, (certificates().folder / "f.key").string(), std::string(65, 'x'), cert},
        {cert, (certificates().folder / "f.key").string(), "", cert},
    };
    for (const auto& k : cases) {
        try {
            createSelfSignedCertificate(k.cert, k.key, k.commonName, 1);
            ADD_FAILURE() << "created " << k.cert;
        } catch (const std::runtime_error& e) {
            EXPECT_TRUE(contains(e.what(), k.expected)) << e.what();
        }
    }
}

TEST(SelfSignedCertificate, PresenceNeedsBothFiles)
{
    const TestCertificates& c = certificates();
    const std::string missing = (c.folder / "missing").string();
    EXPECT_TRUE(certificateFilesPresent(c.cert, c.key));
    EXPECT_FALSE(certificateFilesPresent(c.cert, missing));
    EXPECT_FALSE(certificateFilesPresent(missing, c.key));
    EXPECT_FALSE(certificateFilesPresent(c.folder.string(), c.key)) << "a folder is not a certificate";
}

// ---- fuzzing ----------------------------------------------------------------

namespace {

using tdstest::fuzzRounds;
using tdstest::fuzzSeed;

class TlsRecordMutator {
public:
    explicit TlsRecordMutator(unsigned seed) : rng_(seed) {}
    std::size_t below(std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

    Bytes random(std::size_t maxSize)
    {
        Bytes b(below(maxSize + 1));
        for (auto& x : b)
            x = static_cast<std::uint8_t>(below(256));
        return b;
    }

    // One to three edits, aimed at what a record parser looks at: the
    // record header's type, version and length, and the bytes after it.
    Bytes mutate(Bytes b)
    {
        const std::size_t edits = 1 + below(3);
        for (std::size_t e = 0; e < edits && !b.empty(); ++e) {
            switch (below(6)) {
            case 0:
                b[below(b.size())] ^= static_cast<std::uint8_t>(1 + below(255));
                break;
            case 1:
                b[below(std::min<std::size_t>(b.size(), 5))] = static_cast<std::uint8_t>(below(256));
                break;
            case 2:   // record length (big-endian, bytes 3 and 4) set to a boundary value
                if (b.size() >= 5) {
                    static const std::uint16_t values[] = {0, 1, 0x4000, 0x4100, 0x4800, 0x4801, 0xFFFF};
                    const std::uint16_t v = values[below(std::size(values))];
                    b[3] = static_cast<std::uint8_t>(v >> 8);
                    b[4] = static_cast<std::uint8_t>(v);
                }
                break;
            case 3:
                b.resize(below(b.size() + 1));
                break;
            case 4: {
                const Bytes junk = random(32);
                b.insert(b.end(), junk.begin(), junk.end());
                break;
            }
            default: {   // a region repeated
                const std::size_t from = below(b.size());
                const std::size_t n = below(std::min<std::size_t>(64, b.size() - from) + 1);
                const Bytes region(b.begin() + static_cast<std::ptrdiff_t>(from),
                                   b.begin() + static_cast<std::ptrdiff_t>(from + n));
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(below(b.size() + 1)), region.begin(), region.end());
                break;
            }
            }
        }
        return b;
    }

    // Feeds `input` in random pieces, calling `step` after each.
    void feedInRandomPieces(TlsChannel& server, const Bytes& input, const std::function<void()>& step)
    {
        std::size_t at = 0;
        while (at < input.size()) {
            const std::size_t n = 1 + below(std::min<std::size_t>(input.size() - at, 700));
            server.feedCiphertext(ByteView(input).subspan(at, n));
            step();
            at += n;
        }
    }

private:
    std::mt19937 rng_;
};

bool isPrefix(const Bytes& prefix, const Bytes& whole)
{
    return prefix.size() <= whole.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

}  // namespace

// Random bytes and mutated client hellos while the handshake runs: the
// handshake goes on, waits or fails with TlsError, nothing else.
TEST(TlsFuzz, HandshakeInput)
{
    TlsRecordMutator m(fuzzSeed());
    TestClient helloSource;
    helloSource.handshake();
    const Bytes hello = helloSource.take();
    const int rounds = fuzzRounds(200);
    for (int round = 0; round < rounds; ++round) {
        const Bytes input = m.below(3) == 0 ? m.random(600) : m.mutate(hello);
        TlsChannel server(serverContext());
        try {
            m.feedInRandomPieces(server, input, [&] {
                server.continueHandshake();
                server.takeCiphertext();
            });
        } catch (const TlsError&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << round << " threw " << e.what();
        }
        EXPECT_FALSE(server.handshakeComplete()) << "round " << round;
    }
}

// Mutated application records after a real handshake: the server either
// rejects them with TlsError or returns only plaintext the client really
// sent (a truncated record gives nothing yet).
TEST(TlsFuzz, RecordsAfterTheHandshake)
{
    TlsRecordMutator m(fuzzSeed() + 1);
    const int rounds = fuzzRounds(200);
    for (int round = 0; round < rounds; ++round) {
        TestClient client;
        TlsChannel server(serverContext());
        ASSERT_TRUE(handshake(client, server));
        const Bytes plaintext = m.random(3000);
        if (!plaintext.empty())
            client.write(plaintext);
        if (m.below(4) == 0)
            SSL_shutdown(client.ssl());
        const Bytes records = client.take();
        const Bytes input = m.below(5) == 0 ? m.random(600) : m.mutate(records);
        Bytes got;
        try {
            m.feedInRandomPieces(server, input, [&] {
                const Bytes part = server.readPlaintext();
                got.insert(got.end(), part.begin(), part.end());
                server.takeCiphertext();
            });
        } catch (const TlsError&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << round << " threw " << e.what();
        }
        EXPECT_TRUE(isPrefix(got, plaintext)) << "round " << round << ": " << got.size() << " bytes not sent";
    }
}
