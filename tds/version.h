// The TDS versions this server speaks (7.1 to 7.4), their codes on the
// wire, and what each version changes in the encodings.
#pragma once

#include <cstdint>
#include <optional>

namespace vqtds {

// TDS versions as LOGIN7 and LOGINACK carry them.
namespace tds_version_code {
constexpr std::uint32_t V7_0 = 0x70000000;
constexpr std::uint32_t V7_1 = 0x71000000;
constexpr std::uint32_t V7_1Rev1 = 0x71000001;
constexpr std::uint32_t V7_2 = 0x72090002;
constexpr std::uint32_t V7_3A = 0x730A0003;
constexpr std::uint32_t V7_3B = 0x730B0003;
constexpr std::uint32_t V7_4 = 0x74000004;
}  // namespace tds_version_code

enum class TdsVersion { V7_1 = 1, V7_2, V7_3, V7_4 };

// The version used with a client that asked for `loginCode`: the same, or
// 7.4 for anything newer; nullopt before 7.1.
inline std::optional<TdsVersion> negotiateTdsVersion(std::uint32_t loginCode)
{
    switch (loginCode >> 24) {
    case 0x71: return TdsVersion::V7_1;
    case 0x72: return TdsVersion::V7_2;
    case 0x73: return TdsVersion::V7_3;
    default: break;
    }
    if ((loginCode >> 24) >= 0x74)
        return TdsVersion::V7_4;
    return std::nullopt;
}

// The code LOGINACK sends for the version agreed with a client that asked
// for `loginCode` (7.3 comes in two revisions; the client's is kept).
inline std::uint32_t loginAckVersionCode(TdsVersion version, std::uint32_t loginCode)
{
    switch (version) {
    case TdsVersion::V7_1: return tds_version_code::V7_1Rev1;
    case TdsVersion::V7_2: return tds_version_code::V7_2;
    case TdsVersion::V7_3:
        return loginCode == tds_version_code::V7_3A ? tds_version_code::V7_3A : tds_version_code::V7_3B;
    case TdsVersion::V7_4: return tds_version_code::V7_4;
    }
    return tds_version_code::V7_4;
}

// 7.2 brought 8-byte row counts, 4-byte user types and line numbers,
// transaction descriptors, the request headers and the (max) types.
inline bool isAtLeast72(TdsVersion v) { return v >= TdsVersion::V7_2; }
// 7.3 brought the null-bitmap row.
inline bool isAtLeast73(TdsVersion v) { return v >= TdsVersion::V7_3; }

}  // namespace vqtds
