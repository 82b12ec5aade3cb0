// PBKDF2-HMAC-SHA256 password hashes with OpenSSL.
#include "password_hash.h"

#include "sqlerror.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <vector>

namespace vqsql {

namespace {

constexpr const char* kScheme = "pbkdf2-sha256";
// Slow enough to make guessing expensive, fast enough that a login stays
// well under 50 ms.
constexpr int kIterations = 100000;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;

std::string toHex(const unsigned char* bytes, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 0xf];
    }
    return s;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool fromHex(const std::string& s, std::vector<unsigned char>& out)
{
    if (s.empty() || s.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return true;
}

// The parts of a stored hash; false when the text is not one.
struct ParsedHash {
    int iterations = 0;
    std::vector<unsigned char> salt;
    std::vector<unsigned char> hash;
};

bool parseHash(const std::string& stored, ParsedHash& p)
{
    const std::string prefix = std::string(kScheme) + "$";
    if (stored.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::size_t a = prefix.size();
    const std::size_t b = stored.find('$', a);
    if (b == std::string::npos)
        return false;
    const std::size_t c = stored.find('$', b + 1);
    if (c == std::string::npos)
        return false;
    const char* first = stored.data() + a;
    const char* last = stored.data() + b;
    auto [end, ec] = std::from_chars(first, last, p.iterations);
    if (ec != std::errc() || end != last || p.iterations < 1)
        return false;
    return fromHex(stored.substr(b + 1, c - b - 1), p.salt) && fromHex(stored.substr(c + 1), p.hash);
}

bool derive(const std::string& password, const std::vector<unsigned char>& salt, int iterations,
            std::vector<unsigned char>& out, std::size_t length)
{
    out.assign(length, 0);
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                             static_cast<int>(salt.size()), iterations, EVP_sha256(), static_cast<int>(length),
                             out.data()) == 1;
}

}  // namespace

std::string hashPassword(const std::string& password)
{
    std::vector<unsigned char> salt(kSaltBytes);
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
        throw SqlException(err::Internal, "cannot obtain random bytes for a password salt");
    std::vector<unsigned char> hash;
    if (!derive(password, salt, kIterations, hash, kHashBytes))
        throw SqlException(err::Internal, "cannot hash a password");
    return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" + toHex(salt.data(), salt.size()) + "$" +
           toHex(hash.data(), hash.size());
}

bool isPasswordHash(const std::string& stored)
{
    ParsedHash p;
    return parseHash(stored, p);
}

bool passwordMatches(const std::string& stored, const std::string& password)
{
    ParsedHash p;
    if (parseHash(stored, p)) {
        std::vector<unsigned char> hash;
        return derive(password, p.salt, p.iterations, hash, p.hash.size()) &&
               CRYPTO_memcmp(hash.data(), p.hash.data(), hash.size()) == 0;
    }
    // A plain-text password of an older instance; the lengths may differ,
    // so both sides are first hashed to the same length.
    unsigned char a[EVP_MAX_MD_SIZE], b[EVP_MAX_MD_SIZE];
    unsigned int la = 0, lb = 0;
    if (EVP_Digest(stored.data(), stored.size(), a, &la, EVP_sha256(), nullptr) != 1 ||
        EVP_Digest(password.data(), password.size(), b, &lb, EVP_sha256(), nullptr) != 1 || la != lb)
        return false;
    return CRYPTO_memcmp(a, b, la) == 0;
}

}  // namespace vqsql
