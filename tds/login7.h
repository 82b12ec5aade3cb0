// LOGIN7: the client's login record. The fixed part, then the table of
// offsets and lengths of its variable fields (UTF-16LE texts, the SSPI
// blob, the extension), each checked to lie inside the record.
#pragma once

#include "version.h"
#include "wire.h"

#include <array>
#include <cstdint>
#include <string>

namespace vqtds {

// Bits of the option flags that the server acts on.
namespace login_flags {
constexpr std::uint8_t Flags1UseDbFatal = 0x20;        // OptionFlags1: failing to use the database fails the login
constexpr std::uint8_t Flags1SetLang = 0x40;
constexpr std::uint8_t Flags2IntegratedSecurity = 0x80; // OptionFlags2: SSPI instead of user and password
constexpr std::uint8_t TypeFlagsReadOnlyIntent = 0x20;
constexpr std::uint8_t Flags3Extension = 0x10;          // OptionFlags3: ibExtension points to feature data
}  // namespace login_flags

struct Login7 {
    std::uint32_t length = 0;
    std::uint32_t tdsVersion = 0;
    std::uint32_t packetSize = 0;
    std::uint32_t clientProgVersion = 0;
    std::uint32_t clientPid = 0;
    std::uint32_t connectionId = 0;
    std::uint8_t optionFlags1 = 0;
    std::uint8_t optionFlags2 = 0;
    std::uint8_t typeFlags = 0;
    std::uint8_t optionFlags3 = 0;
    std::int32_t clientTimeZone = 0;   // minutes
    std::uint32_t clientLcid = 0;

    std::string hostName;
    std::string userName;
    std::string password;   // de-obfuscated
    std::string appName;
    std::string serverName;
    Bytes extension;        // raw bytes of the extension field
    std::string clientInterfaceName;
    std::string language;
    std::string database;
    std::array<std::uint8_t, 6> clientId{};   // the client's MAC address
    Bytes sspi;
    std::string attachDbFile;
    std::string changePassword;   // de-obfuscated

    bool integratedSecurity() const { return (optionFlags2 & login_flags::Flags2IntegratedSecurity) != 0; }
};

// Fixed part sizes: up to the SSPI/AtchDBFile table (TDS 7.1), and with
// ChangePassword and the long SSPI length (7.2 and later).
constexpr std::size_t kLogin7FixedSize71 = 86;
constexpr std::size_t kLogin7FixedSize72 = 94;
// The record may not be longer than this (the 16-bit lengths of its
// fields bound it well below).
constexpr std::size_t kLogin7MaxSize = 128 * 1024;

// Parses a LOGIN7 payload. Throws ProtocolError for a record shorter
// than its fixed part, a Length field beyond the payload, a TDS version
// before 7.1 or a field outside the record.
Login7 parseLogin7(ByteView payload);

// The password as the client sends it: for every byte of its UTF-16LE
// form, the nibbles swapped and then XOR 0xA5.
Bytes obfuscatePassword(std::string_view utf8);
// The inverse: XOR 0xA5, then the nibbles swapped back; UTF-8 result.
std::string deobfuscatePassword(ByteView obfuscated);

}  // namespace vqtds
