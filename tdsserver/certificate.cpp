#include "certificate.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vqtdsserver {

namespace {

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using OpenSslPtr = std::unique_ptr<T, OpenSslDeleter<T, Free>>;

using PkeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using X509Ptr = OpenSslPtr<X509, X509_free>;
using BioPtr = OpenSslPtr<BIO, BIO_free_all>;
using BignumPtr = OpenSslPtr<BIGNUM, BN_free>;
using ExtensionPtr = OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free>;
using GeneralNamesPtr = OpenSslPtr<GENERAL_NAMES, GENERAL_NAMES_free>;

// Stands for any failure while building the certificate; turned into an
// error naming the certificate file by the caller.
struct BuildFailed {};

void check(bool ok)
{
    if (!ok)
        throw BuildFailed{};
}

std::runtime_error fileError(const std::string& action, const std::string& file, int error)
{
    return std::runtime_error("cannot " + action + " '" + file + "': " + std::strerror(error));
}

// 0, or the errno of the failed write.
int writeAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// Writes `content` to "<file>.tmp-<pid>", created with `mode`, flushes it
// to disk and renames it over `file`: readers see the old file or the
// whole new one, and a file meant to be private is never readable by
// others, not even for a moment.
void writeFileAtomically(const std::string& file, std::string_view content, mode_t mode)
{
    const std::string temporary = file + ".tmp-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());   // a leftover of an interrupted earlier run
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        throw fileError("create", file, errno);
    int error = writeAll(fd, content);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        throw fileError("write", file, error);
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        throw fileError("replace", file, error);
    }
}

std::string_view bioContents(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string_view(data, static_cast<std::size_t>(size)) : std::string_view();
}

void addExtension(X509* cert, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    check(extension && X509_add_ext(cert, extension.get(), -1) == 1);
}

void addName(GENERAL_NAMES* names, int type, ASN1_STRING* value)
{
    check(value != nullptr);
    GENERAL_NAME* name = GENERAL_NAME_new();
    if (!name) {
        ASN1_STRING_free(value);
        throw BuildFailed{};
    }
    GENERAL_NAME_set0_value(name, type, value);
    if (sk_GENERAL_NAME_push(names, name) <= 0) {
        GENERAL_NAME_free(name);
        throw BuildFailed{};
    }
}

void addDnsName(GENERAL_NAMES* names, const std::string& dns)
{
    ASN1_IA5STRING* value = ASN1_IA5STRING_new();
    if (value && ASN1_STRING_set(value, dns.data(), static_cast<int>(dns.size())) != 1) {
        ASN1_IA5STRING_free(value);
        value = nullptr;
    }
    addName(names, GEN_DNS, value);
}

bool isAsciiHostName(const std::string& name)
{
    for (const unsigned char c : name)
        if (c <= ' ' || c >= 0x7F)
            return false;
    return !name.empty();
}

// The names a client may check the certificate against: the common name
// (as an IP address when it is one), localhost and 127.0.0.1.
void addSubjectAltNames(X509* cert, const std::string& commonName)
{
    GeneralNamesPtr names(sk_GENERAL_NAME_new_null());
    check(names != nullptr);
    if (ASN1_OCTET_STRING* ip = a2i_IPADDRESS(commonName.c_str()); ip && commonName != "127.0.0.1")
        addName(names.get(), GEN_IPADD, ip);
    else {
        ASN1_OCTET_STRING_free(ip);
        if (isAsciiHostName(commonName) && commonName != "localhost" && commonName != "127.0.0.1")
            addDnsName(names.get(), commonName);
    }
    addDnsName(names.get(), "localhost");
    addName(names.get(), GEN_IPADD, a2i_IPADDRESS("127.0.0.1"));
    check(X509_add1_ext_i2d(cert, NID_subject_alt_name, names.get(), 0, X509V3_ADD_DEFAULT) == 1);
}

void setRandomSerial(X509* cert)
{
    // 159 random bits: positive, at most 20 bytes as the profile asks,
    // and never repeated in practice.
    BignumPtr serial(BN_new());
    check(serial && BN_rand(serial.get(), 159, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY) == 1);
    check(BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert)) != nullptr);
}

X509Ptr buildCertificate(EVP_PKEY* key, const std::string& commonName, int validDays)
{
    X509Ptr cert(X509_new());
    check(cert != nullptr);
    check(X509_set_version(cert.get(), X509_VERSION_3) == 1);
    setRandomSerial(cert.get());
    check(X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr);
    check(X509_time_adj_ex(X509_getm_notAfter(cert.get()), validDays, 0, nullptr) != nullptr);
    check(X509_set_pubkey(cert.get(), key) == 1);

    X509_NAME* name = X509_get_subject_name(cert.get());
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(commonName.data()),
                                     static_cast<int>(commonName.size()), -1, 0) == 1);
    check(X509_set_issuer_name(cert.get(), name) == 1);

    addExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment");
    addExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    addSubjectAltNames(cert.get(), commonName);

    check(X509_sign(cert.get(), key, EVP_sha256()) > 0);
    return cert;
}

}  // namespace

void createSelfSignedCertificate(const std::string& certFile, const std::string& keyFile,
                                 const std::string& commonName, int validDays)
{
    if (commonName.empty())
        throw std::runtime_error("cannot create the certificate '" + certFile + "': no common name");
    if (validDays <= 0)
        throw std::runtime_error("cannot create the certificate '" + certFile + "': validity must be at least a day");

    ERR_clear_error();
    PkeyPtr key;
    X509Ptr cert;
    // The key's PEM goes through secure memory, cleared when freed.
    BioPtr keyPem(BIO_new(BIO_s_secmem()));
    BioPtr certPem(BIO_new(BIO_s_mem()));
    try {
        key.reset(EVP_RSA_gen(2048));
        check(key != nullptr);
        cert = buildCertificate(key.get(), commonName, validDays);
        check(keyPem && PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1);
        check(certPem && PEM_write_bio_X509(certPem.get(), cert.get()) == 1);
    } catch (const BuildFailed&) {
        ERR_clear_error();
        throw std::runtime_error("cannot create the certificate '" + certFile +
                                 "': generating the key or certificate failed (common name too long?)");
    }

    // The key first, so that a new certificate is never on disk without
    // its key; a new key beside an old certificate (interrupted between
    // the two) is caught when the server loads them and finds they do not
    // match.
    writeFileAtomically(keyFile, bioContents(keyPem.get()), 0600);
    writeFileAtomically(certFile, bioContents(certPem.get()), 0644);
}

bool certificateFilesPresent(const std::string& certFile, const std::string& keyFile)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(certFile, ec) && std::filesystem::is_regular_file(keyFile, ec);
}

}  // namespace vqtdsserver
