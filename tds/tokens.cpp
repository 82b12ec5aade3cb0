#include "tokens.h"

#include <algorithm>

namespace vqtds {

using vqsql::Value;

void putBVarChar(Bytes& out, const std::string& utf8)
{
    const Bytes text = utf8ToUtf16(truncateToUtf16Units(utf8, 255));
    putU8(out, static_cast<std::uint8_t>(text.size() / 2));
    putBytes(out, text);
}

void putUsVarChar(Bytes& out, const std::string& utf8)
{
    const Bytes text = utf8ToUtf16(truncateToUtf16Units(utf8, 65535));
    putU16le(out, static_cast<std::uint16_t>(text.size() / 2));
    putBytes(out, text);
}

ServerMessage messageFromError(const vqsql::SqlError& error, const std::string& serverName)
{
    ServerMessage m;
    m.number = error.number;
    m.state = static_cast<std::uint8_t>(std::clamp(error.state, 0, 255));
    m.severity = static_cast<std::uint8_t>(std::clamp(error.severity, 0, 25));
    m.text = error.message;
    m.serverName = serverName;
    m.procedureName = error.procedure;
    m.line = error.line;
    return m;
}

namespace {

// The type of a column the engine could not type: taken from its first
// non-NULL value, so that a text is not sent as an int; int when all are
// NULL, as SQL Server types SELECT NULL.
vqsql::SqlType effectiveType(const vqsql::ResultSet& rs, std::size_t c)
{
    const vqsql::SqlType& declared = rs.columns[c].type;
    if (!declared.isUnknown())
        return declared;
    vqsql::SqlType t;
    t.base = vqsql::BaseType::Int;
    for (const auto& row : rs.rows) {
        if (c >= row.size() || row[c].isNull())
            continue;
        switch (row[c].kind) {
        case vqsql::ValueKind::Integer: t.base = vqsql::BaseType::BigInt; break;
        case vqsql::ValueKind::Number: t.base = vqsql::BaseType::Float; break;
        case vqsql::ValueKind::DateTime: t.base = vqsql::BaseType::DateTime; break;
        case vqsql::ValueKind::Bytes: t.base = vqsql::BaseType::VarBinary; break;
        default: t.base = vqsql::BaseType::NVarChar; break;
        }
        break;
    }
    return t;
}

}  // namespace

std::vector<ColumnDescription> describeColumns(const vqsql::ResultSet& rs, TdsVersion version)
{
    std::vector<ColumnDescription> columns;
    columns.reserve(rs.columns.size());
    for (std::size_t c = 0; c < rs.columns.size(); ++c) {
        const vqsql::SqlType type = effectiveType(rs, c);
        std::size_t longest = 0;
        if (type.isText() || type.isBinary()) {
            // A value whose UTF-8 form alone shows that it fits the declared
            // length needs no exact measure: GBK takes at most as many bytes
            // as UTF-8, UTF-16 at most twice as many.
            const std::size_t declared = typeInfoFor(type, version, 0).maxLength;
            const bool unicode = type.base == vqsql::BaseType::NChar || type.base == vqsql::BaseType::NVarChar ||
                                 type.base == vqsql::BaseType::NText;
            for (const auto& row : rs.rows) {
                if (c >= row.size() || row[c].isNull())
                    continue;
                const vqsql::Value& v = row[c];
                const bool textual = v.kind == vqsql::ValueKind::Text || v.kind == vqsql::ValueKind::Bytes;
                if (textual && (unicode ? 2 * v.text.size() : v.text.size()) <= declared)
                    continue;
                longest = std::max(longest, wireTextLength(type, v));
            }
        }
        columns.push_back({rs.columns[c].name, typeInfoFor(type, version, longest), true});
    }
    return columns;
}

std::size_t TokenWriter::beginLengthPrefixed(std::uint8_t tokenType)
{
    putU8(out_, tokenType);
    const std::size_t at = out_.size();
    putU16le(out_, 0);
    return at;
}

void TokenWriter::endLengthPrefixed(std::size_t lengthAt)
{
    const std::size_t length = out_.size() - lengthAt - 2;
    if (length > 0xFFFF)
        throw ProtocolError("token longer than 65535 bytes");
    patchU16le(out_, lengthAt, static_cast<std::uint16_t>(length));
}

void TokenWriter::loginAck(std::uint32_t loginCode, const std::string& programName, std::uint8_t major,
                           std::uint8_t minor, std::uint16_t build)
{
    const std::size_t at = beginLengthPrefixed(token::LoginAck);
    putU8(out_, 1);   // interface: T-SQL
    // The version goes out most significant byte first here.
    putU32be(out_, loginAckVersionCode(version_, loginCode));
    putBVarChar(out_, programName);
    putU8(out_, major);
    putU8(out_, minor);
    putU16be(out_, build);
    endLengthPrefixed(at);
}

void TokenWriter::envChange(std::uint8_t type, const Bytes& newValue, const Bytes& oldValue)
{
    const std::size_t at = beginLengthPrefixed(token::EnvChange);
    putU8(out_, type);
    putBytes(out_, newValue);
    putBytes(out_, oldValue);
    endLengthPrefixed(at);
}

namespace {

Bytes bVarChar(const std::string& utf8)
{
    Bytes b;
    putBVarChar(b, utf8);
    return b;
}

Bytes bVarByte(const Bytes& data)
{
    Bytes b;
    putU8(b, static_cast<std::uint8_t>(data.size()));
    putBytes(b, data);
    return b;
}

Bytes descriptorBytes(std::uint64_t descriptor)
{
    Bytes b;
    putU64le(b, descriptor);
    return b;
}

}  // namespace

void TokenWriter::envDatabase(const std::string& newName, const std::string& oldName)
{
    envChange(env_change::Database, bVarChar(newName), bVarChar(oldName));
}

void TokenWriter::envLanguage(const std::string& newName, const std::string& oldName)
{
    envChange(env_change::Language, bVarChar(newName), bVarChar(oldName));
}

void TokenWriter::envPacketSize(std::uint32_t newSize, std::uint32_t oldSize)
{
    envChange(env_change::PacketSize, bVarChar(std::to_string(newSize)), bVarChar(std::to_string(oldSize)));
}

void TokenWriter::envCollation(const Collation& collation)
{
    Bytes c;
    writeCollation(c, collation);
    envChange(env_change::SqlCollation, bVarByte(c), bVarByte({}));
}

bool TokenWriter::envBeginTransaction(std::uint64_t descriptor)
{
    if (!isAtLeast72(version_))
        return false;
    envChange(env_change::BeginTransaction, bVarByte(descriptorBytes(descriptor)), bVarByte({}));
    return true;
}

bool TokenWriter::envCommitTransaction(std::uint64_t descriptor)
{
    if (!isAtLeast72(version_))
        return false;
    envChange(env_change::CommitTransaction, bVarByte({}), bVarByte(descriptorBytes(descriptor)));
    return true;
}

bool TokenWriter::envRollbackTransaction(std::uint64_t descriptor)
{
    if (!isAtLeast72(version_))
        return false;
    envChange(env_change::RollbackTransaction, bVarByte({}), bVarByte(descriptorBytes(descriptor)));
    return true;
}

bool TokenWriter::envResetConnectionAck()
{
    if (!isAtLeast72(version_))
        return false;
    envChange(env_change::ResetConnectionAck, bVarByte({}), bVarByte({}));
    return true;
}

void TokenWriter::message(std::uint8_t tokenType, const ServerMessage& m)
{
    // The text is cut so that the token's 16-bit length holds it with its
    // names (at most 2 * 255 characters each) and the fixed fields.
    const std::size_t at = beginLengthPrefixed(tokenType);
    putU32le(out_, static_cast<std::uint32_t>(m.number));
    putU8(out_, m.state);
    putU8(out_, m.severity);
    const Bytes text = utf8ToUtf16(truncateToUtf16Units(m.text, 30000));
    putU16le(out_, static_cast<std::uint16_t>(text.size() / 2));
    putBytes(out_, text);
    putBVarChar(out_, m.serverName);
    putBVarChar(out_, m.procedureName);
    if (isAtLeast72(version_))
        putU32le(out_, static_cast<std::uint32_t>(m.line));
    else
        putU16le(out_, static_cast<std::uint16_t>(std::clamp(m.line, 0, 0xFFFF)));
    endLengthPrefixed(at);
}

void TokenWriter::info(const ServerMessage& m) { message(token::Info, m); }

void TokenWriter::error(const ServerMessage& m) { message(token::Error, m); }

void TokenWriter::doneToken(std::uint8_t tokenType, std::uint16_t status, std::uint16_t currentCommand,
                            std::uint64_t rowCount)
{
    putU8(out_, tokenType);
    putU16le(out_, status);
    putU16le(out_, currentCommand);
    if (isAtLeast72(version_))
        putU64le(out_, rowCount);
    else
        putU32le(out_, static_cast<std::uint32_t>(std::min<std::uint64_t>(rowCount, 0xFFFFFFFF)));
}

void TokenWriter::done(std::uint16_t status, std::uint16_t currentCommand, std::uint64_t rowCount)
{
    doneToken(token::Done, status, currentCommand, rowCount);
}

void TokenWriter::doneProc(std::uint16_t status, std::uint16_t currentCommand, std::uint64_t rowCount)
{
    doneToken(token::DoneProc, status, currentCommand, rowCount);
}

void TokenWriter::doneInProc(std::uint16_t status, std::uint16_t currentCommand, std::uint64_t rowCount)
{
    doneToken(token::DoneInProc, status, currentCommand, rowCount);
}

void TokenWriter::colMetadata(const std::vector<ColumnDescription>& columns)
{
    if (columns.size() > 0xFFFE)
        throw ProtocolError("too many columns");
    putU8(out_, token::ColMetadata);
    putU16le(out_, static_cast<std::uint16_t>(columns.size()));
    for (const ColumnDescription& c : columns) {
        if (isAtLeast72(version_))
            putU32le(out_, 0);   // user type
        else
            putU16le(out_, 0);
        // Flags: nullable, updatability unknown, hidden (from 7.2 on).
        const bool hidden = c.hidden && isAtLeast72(version_);
        putU16le(out_, static_cast<std::uint16_t>((c.nullable ? 0x0001 : 0) | 0x0008 | (hidden ? 0x2000 : 0)));
        writeTypeInfo(out_, c.type);
        if (c.type.isLongText()) {
            // The table name of a text/ntext/image column; none is known here.
            if (isAtLeast72(version_))
                putU8(out_, 0);   // number of name parts
            else
                putU16le(out_, 0);
        }
        putBVarChar(out_, c.name);
    }
}

void TokenWriter::row(const std::vector<ColumnDescription>& columns, const std::vector<Value>& values)
{
    if (values.size() != columns.size())
        throw ProtocolError("row of " + std::to_string(values.size()) + " values for " +
                            std::to_string(columns.size()) + " columns");
    const bool anyNull = std::any_of(values.begin(), values.end(), [](const Value& v) { return v.isNull(); });
    if (isAtLeast73(version_) && anyNull) {
        putU8(out_, token::NbcRow);
        Bytes bitmap((columns.size() + 7) / 8, 0);
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i].isNull())
                bitmap[i / 8] = static_cast<std::uint8_t>(bitmap[i / 8] | (1u << (i % 8)));
        putBytes(out_, bitmap);
        for (std::size_t i = 0; i < values.size(); ++i)
            if (!values[i].isNull())
                writeValue(out_, columns[i].type, values[i]);
        return;
    }
    putU8(out_, token::Row);
    for (std::size_t i = 0; i < values.size(); ++i)
        writeValue(out_, columns[i].type, values[i]);
}

void TokenWriter::resultSet(const vqsql::ResultSet& rs)
{
    const std::vector<ColumnDescription> columns = describeColumns(rs, version_);
    colMetadata(columns);
    for (const auto& r : rs.rows) {
        row(columns, r);
        if (sink_ && out_.size() >= threshold_) {
            sink_(out_);
            out_.clear();
        }
    }
}

void TokenWriter::returnStatus(std::int32_t status)
{
    putU8(out_, token::ReturnStatus);
    putU32le(out_, static_cast<std::uint32_t>(status));
}

void TokenWriter::returnValue(std::uint16_t ordinal, const std::string& name, const TypeInfo& type,
                              const Value& value, std::uint8_t status)
{
    const TypeInfo info = nullableForm(type);
    if (info.isLongText())
        throw ProtocolError("text, ntext and image values cannot be returned as parameters");
    // The value first, so that a value the type cannot hold leaves no half token.
    Bytes body;
    writeValue(body, info, value, ValueContext::Parameter);
    putU8(out_, token::ReturnValue);
    putU16le(out_, ordinal);
    putBVarChar(out_, name);
    putU8(out_, status);
    if (isAtLeast72(version_))
        putU32le(out_, 0);   // user type
    else
        putU16le(out_, 0);
    putU16le(out_, 0x0001);   // flags: nullable, read-only
    writeTypeInfo(out_, info);
    putBytes(out_, body);
}

}  // namespace vqtds
