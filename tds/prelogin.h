// PRELOGIN: the client's option table (version, encryption, instance,
// thread id, MARS, ...) and the server's answer, with the choice of
// encryption made from what the client asks and what the server can do.
#pragma once

#include "wire.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vqtds {

namespace prelogin_option {
constexpr std::uint8_t Version = 0x00;
constexpr std::uint8_t Encryption = 0x01;
constexpr std::uint8_t InstOpt = 0x02;
constexpr std::uint8_t ThreadId = 0x03;
constexpr std::uint8_t Mars = 0x04;
constexpr std::uint8_t TraceId = 0x05;
constexpr std::uint8_t FedAuthRequired = 0x06;
constexpr std::uint8_t Nonce = 0x07;
constexpr std::uint8_t Terminator = 0xFF;
}  // namespace prelogin_option

// Values of the ENCRYPTION option.
namespace encryption {
constexpr std::uint8_t Off = 0x00;      // encryption available, off (the login record alone is encrypted)
constexpr std::uint8_t On = 0x01;       // encryption available and on
constexpr std::uint8_t NotSupported = 0x02;
constexpr std::uint8_t Required = 0x03;
}  // namespace encryption

// Version of the sender: major, minor, build (big-endian), sub-build.
struct ProductVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t subBuild = 0;
};

struct PreloginRequest {
    ProductVersion version;
    std::uint8_t encryption = encryption::Off;
    std::optional<std::string> instance;   // bytes up to the NUL
    std::optional<std::uint32_t> threadId;
    bool mars = false;
    bool hasTraceId = false;
};

// Parses the client's PRELOGIN payload. The option table must end with
// its terminator inside the payload, VERSION must come first, every
// option's data must lie inside the payload and after the table, the
// known options must have their fixed sizes. Throws ProtocolError.
PreloginRequest parsePrelogin(ByteView payload);

// What the server can do about encryption.
enum class ServerEncryption {
    NoCertificate,   // cannot encrypt at all
    Available,       // encrypts when the client asks (and the login record otherwise)
    Required,        // encrypts every connection
};

// What the connection does after PRELOGIN.
enum class EncryptionOutcome {
    None,        // nothing is encrypted
    LoginOnly,   // TLS for the LOGIN7 record, plain after it
    Full,        // TLS for the whole connection
    Refuse,      // the two sides cannot agree: close the connection
};

struct EncryptionChoice {
    std::uint8_t response = encryption::NotSupported;   // the value the server sends back
    EncryptionOutcome outcome = EncryptionOutcome::None;
};

EncryptionChoice negotiateEncryption(std::uint8_t clientValue, ServerEncryption server);

// The server's PRELOGIN payload: VERSION, ENCRYPTION, INSTOPT (0: the
// instance matched), THREADID (empty), MARS (off), terminator.
Bytes buildPreloginResponse(const ProductVersion& version, std::uint8_t encryptionValue);

}  // namespace vqtds
