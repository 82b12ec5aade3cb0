#include "login7.h"

namespace vqtds {

namespace {

struct FieldRef {
    std::uint16_t offset = 0;
    std::uint16_t length = 0;   // characters for texts, bytes for SSPI and the extension
};

FieldRef readFieldRef(Reader& r)
{
    FieldRef f;
    f.offset = r.u16le();
    f.length = r.u16le();
    return f;
}

// The bytes of a field, checked to lie inside the record and after its
// fixed part.
ByteView fieldBytes(ByteView record, std::size_t fixedSize, std::uint32_t offset, std::size_t bytes,
                    const char* name)
{
    if (bytes == 0)
        return {};
    if (offset < fixedSize || offset > record.size() || bytes > record.size() - offset)
        throw ProtocolError(std::string("LOGIN7 field ") + name + " lies outside the record");
    return record.subspan(offset, bytes);
}

std::string textField(ByteView record, std::size_t fixedSize, FieldRef f, const char* name)
{
    return utf16ToUtf8(fieldBytes(record, fixedSize, f.offset, std::size_t(f.length) * 2, name));
}

std::uint8_t swapNibbles(std::uint8_t b) { return static_cast<std::uint8_t>((b << 4) | (b >> 4)); }

}  // namespace

Bytes obfuscatePassword(std::string_view utf8)
{
    Bytes bytes = utf8ToUtf16(utf8);
    for (std::uint8_t& b : bytes)
        b = swapNibbles(b) ^ 0xA5;
    return bytes;
}

std::string deobfuscatePassword(ByteView obfuscated)
{
    Bytes bytes(obfuscated.begin(), obfuscated.end());
    for (std::uint8_t& b : bytes)
        b = swapNibbles(static_cast<std::uint8_t>(b ^ 0xA5));
    return utf16ToUtf8(bytes);
}

Login7 parseLogin7(ByteView payload)
{
    Reader r(payload);
    Login7 login;
    login.length = r.u32le();
    if (login.length > payload.size())
        throw ProtocolError("LOGIN7 length " + std::to_string(login.length) + " beyond the " +
                            std::to_string(payload.size()) + " bytes received");
    if (login.length > kLogin7MaxSize)
        throw ProtocolError("LOGIN7 record too long");
    const ByteView record = payload.first(login.length);
    r = Reader(record);
    r.skip(4);
    login.tdsVersion = r.u32le();
    if (login.tdsVersion < tds_version_code::V7_1)
        throw ProtocolError("TDS version before 7.1 is not supported");
    const bool is72 = login.tdsVersion >= tds_version_code::V7_2;
    const std::size_t fixedSize = is72 ? kLogin7FixedSize72 : kLogin7FixedSize71;
    if (record.size() < fixedSize)
        throw ProtocolError("LOGIN7 record shorter than its fixed part");

    login.packetSize = r.u32le();
    login.clientProgVersion = r.u32le();
    login.clientPid = r.u32le();
    login.connectionId = r.u32le();
    login.optionFlags1 = r.u8();
    login.optionFlags2 = r.u8();
    login.typeFlags = r.u8();
    login.optionFlags3 = r.u8();
    login.clientTimeZone = static_cast<std::int32_t>(r.u32le());
    login.clientLcid = r.u32le();

    const FieldRef hostName = readFieldRef(r);
    const FieldRef userName = readFieldRef(r);
    const FieldRef password = readFieldRef(r);
    const FieldRef appName = readFieldRef(r);
    const FieldRef serverName = readFieldRef(r);
    const FieldRef extension = readFieldRef(r);
    const FieldRef cltIntName = readFieldRef(r);
    const FieldRef language = readFieldRef(r);
    const FieldRef database = readFieldRef(r);
    const ByteView clientId = r.take(6);
    std::copy(clientId.begin(), clientId.end(), login.clientId.begin());
    const FieldRef sspi = readFieldRef(r);
    const FieldRef attachDbFile = readFieldRef(r);
    FieldRef changePassword;
    std::uint32_t sspiLong = 0;
    if (is72) {
        changePassword = readFieldRef(r);
        sspiLong = r.u32le();
    }

    login.hostName = textField(record, fixedSize, hostName, "HostName");
    login.userName = textField(record, fixedSize, userName, "UserName");
    login.password = deobfuscatePassword(
        fieldBytes(record, fixedSize, password.offset, std::size_t(password.length) * 2, "Password"));
    login.appName = textField(record, fixedSize, appName, "AppName");
    login.serverName = textField(record, fixedSize, serverName, "ServerName");
    const ByteView ext = fieldBytes(record, fixedSize, extension.offset, extension.length, "Extension");
    login.extension.assign(ext.begin(), ext.end());
    login.clientInterfaceName = textField(record, fixedSize, cltIntName, "CltIntName");
    login.language = textField(record, fixedSize, language, "Language");
    login.database = textField(record, fixedSize, database, "Database");
    // A blob longer than 65534 bytes gives 0xFFFF here and its length in cbSSPILong.
    const std::size_t sspiBytes = (sspi.length == 0xFFFF && is72) ? sspiLong : sspi.length;
    const ByteView sspiData = fieldBytes(record, fixedSize, sspi.offset, sspiBytes, "SSPI");
    login.sspi.assign(sspiData.begin(), sspiData.end());
    login.attachDbFile = textField(record, fixedSize, attachDbFile, "AtchDBFile");
    if (is72)
        login.changePassword = deobfuscatePassword(fieldBytes(
            record, fixedSize, changePassword.offset, std::size_t(changePassword.length) * 2, "ChangePassword"));
    return login;
}

}  // namespace vqtds
