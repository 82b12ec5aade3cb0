// Hex helpers for the TDS tests: byte strings written as in network
// captures ("12 01 00 2F ...") and printed the same way on failure.
#pragma once

#include "wire.h"

#include <cctype>
#include <cstdio>
#include <string>

namespace tdstest {

inline vqtds::Bytes fromHex(const std::string& hex)
{
    vqtds::Bytes out;
    int nibbles = 0;
    unsigned current = 0;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        current = current * 16 + static_cast<unsigned>(v);
        if (++nibbles == 2) {
            out.push_back(static_cast<std::uint8_t>(current));
            nibbles = 0;
            current = 0;
        }
    }
    return out;
}

inline std::string toHex(vqtds::ByteView bytes)
{
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
        out += buf;
    }
    return out;
}

inline vqtds::Bytes utf16(const std::string& utf8) { return vqtds::utf8ToUtf16(utf8); }

// A parameterised case's name as GoogleTest accepts it: letters, digits
// and underscores.
inline std::string testName(std::string name)
{
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

}  // namespace tdstest
