#include "prelogin.h"

#include <vector>

namespace vqtds {

namespace {

struct OptionEntry {
    std::uint8_t token;
    std::uint16_t offset;
    std::uint16_t length;
};

std::vector<OptionEntry> readOptionTable(ByteView payload)
{
    Reader r(payload);
    std::vector<OptionEntry> entries;
    for (;;) {
        if (r.atEnd())
            throw ProtocolError("PRELOGIN option table without its terminator");
        const std::uint8_t token = r.u8();
        if (token == prelogin_option::Terminator)
            break;
        OptionEntry e{token, 0, 0};
        e.offset = r.u16be();
        e.length = r.u16be();
        entries.push_back(e);
    }
    const std::size_t tableEnd = r.position();
    for (const OptionEntry& e : entries) {
        if (e.length > 0 && (e.offset < tableEnd || std::size_t(e.offset) + e.length > payload.size()))
            throw ProtocolError("PRELOGIN option " + std::to_string(e.token) + " points outside its data");
    }
    return entries;
}

void requireLength(const OptionEntry& e, std::size_t expected)
{
    if (e.length != expected)
        throw ProtocolError("PRELOGIN option " + std::to_string(e.token) + " has length " +
                            std::to_string(e.length) + ", " + std::to_string(expected) + " expected");
}

}  // namespace

PreloginRequest parsePrelogin(ByteView payload)
{
    const std::vector<OptionEntry> entries = readOptionTable(payload);
    if (entries.empty() || entries.front().token != prelogin_option::Version)
        throw ProtocolError("PRELOGIN does not start with the VERSION option");

    PreloginRequest req;
    unsigned seen = 0;   // bit per known option, to refuse repeats
    for (const OptionEntry& e : entries) {
        if (e.token <= prelogin_option::Nonce) {
            if (seen & (1u << e.token))
                throw ProtocolError("PRELOGIN option " + std::to_string(e.token) + " given twice");
            seen |= 1u << e.token;
        }
        Reader data(payload.subspan(e.offset, e.length));
        switch (e.token) {
        case prelogin_option::Version:
            requireLength(e, 6);
            req.version.major = data.u8();
            req.version.minor = data.u8();
            req.version.build = data.u16be();
            req.version.subBuild = data.u16be();
            break;
        case prelogin_option::Encryption: {
            requireLength(e, 1);
            // The high bit asks for client certificate authentication,
            // which this server does not offer; the low bits are the choice.
            const std::uint8_t v = data.u8() & 0x7F;
            if (v > encryption::Required)
                throw ProtocolError("PRELOGIN encryption value " + std::to_string(v) + " unknown");
            req.encryption = v;
            break;
        }
        case prelogin_option::InstOpt: {
            std::string name;
            while (!data.atEnd()) {
                const std::uint8_t c = data.u8();
                if (c == 0)
                    break;
                name.push_back(static_cast<char>(c));
            }
            req.instance = name;
            break;
        }
        case prelogin_option::ThreadId:
            // Some clients send it empty.
            if (e.length != 0) {
                requireLength(e, 4);
                req.threadId = data.u32le();
            }
            break;
        case prelogin_option::Mars:
            requireLength(e, 1);
            req.mars = data.u8() != 0;
            break;
        case prelogin_option::TraceId:
            requireLength(e, 36);
            req.hasTraceId = true;
            break;
        default:
            break;   // later options (federated authentication, nonce) are not used here
        }
    }
    return req;
}

EncryptionChoice negotiateEncryption(std::uint8_t clientValue, ServerEncryption server)
{
    using enum EncryptionOutcome;
    const bool clientCannot = clientValue == encryption::NotSupported;
    const bool clientWants = clientValue == encryption::On || clientValue == encryption::Required;
    switch (server) {
    case ServerEncryption::NoCertificate:
        return {encryption::NotSupported, clientWants ? Refuse : None};
    case ServerEncryption::Available:
        if (clientCannot)
            return {encryption::NotSupported, None};
        if (clientWants)
            return {encryption::On, Full};
        return {encryption::Off, LoginOnly};
    case ServerEncryption::Required:
        if (clientCannot)
            return {encryption::Required, Refuse};
        return {clientValue == encryption::On ? encryption::On : encryption::Required, Full};
    }
    return {encryption::NotSupported, Refuse};
}

Bytes buildPreloginResponse(const ProductVersion& version, std::uint8_t encryptionValue)
{
    struct Option {
        std::uint8_t token;
        Bytes data;
    };
    Bytes versionData;
    putU8(versionData, version.major);
    putU8(versionData, version.minor);
    putU16be(versionData, version.build);
    putU16be(versionData, version.subBuild);
    const Option options[] = {
        {prelogin_option::Version, versionData},
        {prelogin_option::Encryption, Bytes{encryptionValue}},
        {prelogin_option::InstOpt, Bytes{0x00}},
        {prelogin_option::ThreadId, Bytes{}},
        {prelogin_option::Mars, Bytes{0x00}},
    };
    const std::size_t tableSize = std::size(options) * 5 + 1;
    Bytes out;
    std::size_t offset = tableSize;
    for (const Option& o : options) {
        putU8(out, o.token);
        putU16be(out, static_cast<std::uint16_t>(offset));
        putU16be(out, static_cast<std::uint16_t>(o.data.size()));
        offset += o.data.size();
    }
    putU8(out, prelogin_option::Terminator);
    for (const Option& o : options)
        putBytes(out, o.data);
    return out;
}

}  // namespace vqtds
