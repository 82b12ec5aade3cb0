// A LOGIN7 record built field by field, as a client builds it, for the
// login and fuzzing tests.
#pragma once

#include "login7.h"

#include <string>

namespace tdstest {

// Builds a login record field by field, as a client would.
struct LoginBuilder {
    using Bytes = vqtds::Bytes;
    std::uint32_t version = vqtds::tds_version_code::V7_4;
    std::string host = "pc1", user = "sa", password = "secret", app = "tsql", server = "srv",
                library = "DB-Library", language = "", database = "master", attach = "", newPassword = "";
    Bytes sspi;

    Bytes build() const
    {
        using namespace vqtds;
        const bool is72 = version >= tds_version_code::V7_2;
        const std::size_t fixed = is72 ? kLogin7FixedSize72 : kLogin7FixedSize71;
        Bytes head, data;
        auto field = [&](const Bytes& bytes, std::size_t count) {
            putU16le(head, static_cast<std::uint16_t>(fixed + data.size()));
            putU16le(head, static_cast<std::uint16_t>(count));
            putBytes(data, bytes);
        };
        auto text = [&](const std::string& s) { field(utf8ToUtf16(s), utf16Units(s)); };
        putU32le(head, 0);   // length, patched below
        putU32le(head, version);
        putU32le(head, 4096);
        putU32le(head, 7);
        putU32le(head, 1234);
        putU32le(head, 0);
        putU8(head, 0xE0);
        putU8(head, 0x03);
        putU8(head, 0);
        putU8(head, 0);
        putU32le(head, 0xFFFFFE20);   // UTC-8h in minutes
        putU32le(head, 0x0804);
        text(host);
        text(user);
        field(obfuscatePassword(password), utf16Units(password));
        text(app);
        text(server);
        field({}, 0);   // extension
        text(library);
        text(language);
        text(database);
        putBytes(head, Bytes{1, 2, 3, 4, 5, 6});
        const bool longSspi = sspi.size() >= 0xFFFF;
        field(sspi, longSspi ? 0xFFFF : sspi.size());
        text(attach);
        if (is72) {
            field(obfuscatePassword(newPassword), utf16Units(newPassword));
            putU32le(head, longSspi ? static_cast<std::uint32_t>(sspi.size()) : 0);
        }
        Bytes out = head;
        putBytes(out, data);
        const std::uint32_t n = static_cast<std::uint32_t>(out.size());
        for (int i = 0; i < 4; ++i)
            out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(n >> (8 * i));
        return out;
    }
};

}  // namespace tdstest
