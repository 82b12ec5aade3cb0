#include <algorithm>
#include "tds_client.h"

#include "prelogin.h"
#include "rpc.h"
#include "txmanager.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <stdexcept>

namespace tdstest {

using namespace vqtds;

// ---- the answer -------------------------------------------------------------

std::string ReceivedEnvChange::newText() const { return utf16ToUtf8(newValue); }
std::string ReceivedEnvChange::oldText() const { return utf16ToUtf8(oldValue); }

const ReceivedDone& Response::finalDone() const
{
    if (dones.empty())
        throw std::runtime_error("the answer has no DONE token");
    return dones.back();
}

const ReceivedEnvChange* Response::env(std::uint8_t type) const
{
    for (const auto& e : envChanges)
        if (e.type == type)
            return &e;
    return nullptr;
}

bool Response::hasError(std::int32_t number) const
{
    for (const auto& e : errors)
        if (e.number == number)
            return true;
    return false;
}

std::vector<std::int32_t> Response::errorNumbers() const
{
    std::vector<std::int32_t> numbers;
    for (const auto& e : errors)
        numbers.push_back(e.number);
    return numbers;
}

const vqsql::Value& Response::scalar(std::size_t resultSet) const
{
    if (resultSet >= resultSets.size() || resultSets[resultSet].rows.empty())
        throw std::runtime_error("no such result set or no row in it");
    return resultSets[resultSet].rows[0].at(0);
}

namespace {

std::string bVarChar(Reader& r) { return utf16ToUtf8(r.take(std::size_t{r.u8()} * 2)); }

ReceivedMessage readMessageToken(Reader& r, TdsVersion version)
{
    ReceivedMessage m;
    m.number = static_cast<std::int32_t>(r.u32le());
    m.state = r.u8();
    m.severity = r.u8();
    m.text = utf16ToUtf8(r.take(std::size_t{r.u16le()} * 2));
    m.serverName = bVarChar(r);
    m.procedureName = bVarChar(r);
    m.line = isAtLeast72(version) ? static_cast<std::int32_t>(r.u32le()) : r.u16le();
    return m;
}

// The values of ENVCHANGE are B_VARCHAR for the named settings (database,
// language, character set, packet size ...) and B_VARBYTE otherwise.
ReceivedEnvChange readEnvChange(Reader& r)
{
    ReceivedEnvChange e;
    e.type = r.u8();
    const bool text = e.type >= 1 && e.type <= 6;
    auto value = [&] {
        const std::size_t n = r.u8();
        const ByteView v = r.take(text ? n * 2 : n);
        return Bytes(v.begin(), v.end());
    };
    e.newValue = value();
    e.oldValue = value();
    return e;
}

}  // namespace

Response parseTokenStream(ByteView payload, TdsVersion version)
{
    Response out;
    Reader r(payload);
    ReceivedResultSet* current = nullptr;
    auto userType = [&] {
        if (isAtLeast72(version))
            r.u32le();
        else
            r.u16le();
    };
    while (!r.atEnd()) {
        const std::uint8_t token = r.u8();
        out.tokens.push_back(token);
        switch (token) {
        case token::ColMetadata: {
            const std::uint16_t count = r.u16le();
            current = &out.resultSets.emplace_back();
            for (std::uint16_t c = 0; count != 0xFFFF && c < count; ++c) {
                userType();
                current->flags.push_back(r.u16le());
                current->types.push_back(readTypeInfo(r));
                if (current->types.back().isLongText()) {
                    if (isAtLeast72(version)) {
                        for (std::uint8_t parts = r.u8(); parts > 0; --parts)
                            r.skip(std::size_t{r.u16le()} * 2);
                    } else {
                        r.skip(std::size_t{r.u16le()} * 2);
                    }
                }
                current->columns.push_back(bVarChar(r));
            }
            break;
        }
        case token::Row:
        case token::NbcRow: {
            if (!current)
                throw ProtocolError("a row before COLMETADATA");
            const std::size_t n = current->types.size();
            Bytes nulls((n + 7) / 8, 0);
            if (token == token::NbcRow) {
                const ByteView bitmap = r.take(nulls.size());
                nulls.assign(bitmap.begin(), bitmap.end());
            }
            auto& row = current->rows.emplace_back();
            for (std::size_t i = 0; i < n; ++i)
                row.push_back((nulls[i / 8] >> (i % 8)) & 1 ? vqsql::Value::null() : readValue(r, current->types[i]));
            break;
        }
        case token::Done:
        case token::DoneProc:
        case token::DoneInProc: {
            ReceivedDone d;
            d.token = token;
            d.status = r.u16le();
            d.command = r.u16le();
            d.count = isAtLeast72(version) ? r.u64le() : r.u32le();
            out.dones.push_back(d);
            break;
        }
        case token::Error:
        case token::Info:
        case token::EnvChange:
        case token::LoginAck: {
            Reader body(r.take(r.u16le()));
            if (token == token::Error)
                out.errors.push_back(readMessageToken(body, version));
            else if (token == token::Info)
                out.infos.push_back(readMessageToken(body, version));
            else if (token == token::EnvChange)
                out.envChanges.push_back(readEnvChange(body));
            else {
                LoginAckToken ack;
                ack.interface = body.u8();
                ack.version = body.u32be();
                ack.programName = bVarChar(body);
                out.loginAck = ack;
            }
            break;
        }
        case token::ReturnStatus: out.returnStatuses.push_back(static_cast<std::int32_t>(r.u32le())); break;
        case token::ReturnValue: {
            ReceivedReturnValue v;
            v.ordinal = r.u16le();
            v.name = bVarChar(r);
            v.status = r.u8();
            userType();
            r.u16le();   // flags
            v.type = readTypeInfo(r);
            v.value = readValue(r, v.type, ValueContext::Parameter);
            out.returnValues.push_back(std::move(v));
            break;
        }
        default: throw ProtocolError("unexpected token " + std::to_string(token));
        }
    }
    return out;
}

namespace {

bool containsIgnoringCase(std::string text, std::string_view what)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find(what) != std::string::npos;
}

}  // namespace

void checkNothingInternal(const Response& r)
{
    for (const auto* list : {&r.errors, &r.infos})
        for (const auto& m : *list)
            if (containsIgnoringCase(m.text, "sqlite"))
                ADD_FAILURE() << "internal text reached the client: " << m.text;
    for (const auto& rs : r.resultSets)
        for (const auto& name : rs.columns)
            if (name.rfind("__vq", 0) == 0)
                ADD_FAILURE() << "an internal column reached the client: " << name;
}

// ---- parameters ---------------------------------------------------------------

Param intParam(std::string name, std::optional<std::int64_t> value, bool output)
{
    TypeInfo type;
    type.type = tds_type::IntN;
    type.maxLength = 4;
    Param p{std::move(name), type, vqsql::Value::null(), output};
    if (value)
        p.value = vqsql::Value::fromInteger(*value);
    return p;
}

Param nvarcharParam(std::string name, std::optional<std::string> value, bool output, std::uint32_t chars)
{
    TypeInfo type;
    type.type = tds_type::NVarChar;
    type.maxLength = chars * 2;
    type.collation = chinesePrcCiAs();
    Param p{std::move(name), type, vqsql::Value::null(), output};
    if (value)
        p.value = vqsql::Value::fromText(*value);
    return p;
}

// ---- the connection -----------------------------------------------------------

TdsClient::TdsClient(unsigned short port)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        throw std::runtime_error("cannot connect to port " + std::to_string(port));
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

TdsClient::~TdsClient() { close(); }

void TdsClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void TdsClient::sendRaw(ByteView bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            throw std::runtime_error("send failed: the server closed the connection");
        }
        sent += static_cast<std::size_t>(n);
    }
}

void TdsClient::sendMessage(std::uint8_t type, ByteView payload)
{
    Bytes packets = splitIntoPackets(type, payload, packetSize_);
    if (resetNext_ && !packets.empty())
        packets[1] |= packet_status::ResetConnection;
    resetNext_ = false;
    sendRaw(packets);
}

Bytes TdsClient::readExactly(std::size_t n, std::chrono::steady_clock::time_point deadline)
{
    Bytes out(n);
    std::size_t got = 0;
    while (got < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0)
            throw std::runtime_error("no answer from the server in time");
        const ssize_t k = ::recv(fd_, out.data() + got, n - got, 0);
        if (k == 0 || (k < 0 && errno != EINTR))
            throw std::runtime_error("the server closed the connection");
        if (k > 0)
            got += static_cast<std::size_t>(k);
    }
    return out;
}

Response TdsClient::readUntilAttentionAck(std::chrono::milliseconds limit)
{
    Response all;
    for (int messages = 0; messages < 16; ++messages) {
        Response r = readResponse(limit);
        auto append = [](auto& to, const auto& from) { to.insert(to.end(), from.begin(), from.end()); };
        append(all.tokens, r.tokens);
        append(all.resultSets, r.resultSets);
        append(all.dones, r.dones);
        append(all.errors, r.errors);
        append(all.infos, r.infos);
        append(all.envChanges, r.envChanges);
        append(all.returnStatuses, r.returnStatuses);
        append(all.returnValues, r.returnValues);
        append(all.packetLengths, r.packetLengths);
        const bool acknowledged = std::any_of(r.dones.begin(), r.dones.end(), [](const ReceivedDone& d) {
            return (d.status & vqtds::done_status::Attention) != 0;
        });
        if (acknowledged)
            return all;
    }
    throw std::runtime_error("no attention acknowledgement in 16 messages");
}

Response TdsClient::readResponse(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Bytes payload;
    std::vector<std::size_t> lengths;
    for (;;) {
        const Bytes head = readExactly(kPacketHeaderSize, deadline);
        const PacketHeader h = readPacketHeader(head);
        if (h.type != packet_type::TabularResult || h.length < kPacketHeaderSize)
            throw std::runtime_error("unexpected packet from the server");
        lengths.push_back(h.length);
        const Bytes body = readExactly(h.length - kPacketHeaderSize, deadline);
        payload.insert(payload.end(), body.begin(), body.end());
        if (h.endOfMessage())
            break;
    }
    Response r = parseTokenStream(payload, version_);
    r.packetLengths = std::move(lengths);
    checkNothingInternal(r);
    for (const auto& e : r.envChanges) {
        if (e.type == env_change::BeginTransaction && e.newValue.size() == 8) {
            Reader d(e.newValue);
            descriptor_ = d.u64le();
        } else if (e.type == env_change::CommitTransaction || e.type == env_change::RollbackTransaction) {
            descriptor_ = 0;
        }
    }
    return r;
}

bool TdsClient::closedByServer(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::uint8_t buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0)
            return false;
        const ssize_t k = ::recv(fd_, buffer, sizeof buffer, 0);
        if (k == 0 || (k < 0 && errno != EINTR))
            return true;
    }
}

Response TdsClient::prelogin()
{
    // VERSION and ENCRYPTION, then the terminator: 2 * 5 + 1 bytes of table.
    Bytes p{prelogin_option::Version, 0, 11, 0, 6, prelogin_option::Encryption, 0, 17, 0, 1,
            prelogin_option::Terminator, 9, 0, 0, 0, 0, 0, encryption::NotSupported};
    sendMessage(packet_type::Prelogin, p);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    const PacketHeader h = readPacketHeader(readExactly(kPacketHeaderSize, deadline));
    readExactly(h.length - kPacketHeaderSize, deadline);   // the server's options
    return {};
}

Response TdsClient::login(const LoginBuilder& builder, std::uint32_t packetSize)
{
    prelogin();
    Bytes record = builder.build();
    for (int i = 0; i < 4; ++i)   // the packet size field follows length and version
        record[8 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(packetSize >> (8 * i));
    if (const auto v = negotiateTdsVersion(builder.version))
        version_ = *v;
    sendMessage(packet_type::Login7, record);
    Response r = readResponse();
    if (const auto* e = r.env(env_change::PacketSize))
        packetSize_ = std::stoul(e->newText());
    return r;
}

Bytes TdsClient::allHeaders() const
{
    Bytes b;
    if (!isAtLeast72(version_))
        return b;
    putU32le(b, 22);
    putU32le(b, 18);
    putU16le(b, request_header::TransactionDescriptor);
    putU64le(b, descriptor_);
    putU32le(b, 1);
    return b;
}

void TdsClient::sendBatch(const std::string& text)
{
    Bytes payload = allHeaders();
    putBytes(payload, utf8ToUtf16(text));
    sendMessage(packet_type::SqlBatch, payload);
}

Response TdsClient::batch(const std::string& text)
{
    sendBatch(text);
    return readResponse();
}

Response TdsClient::rpc(const std::vector<Call>& calls)
{
    sendMessage(packet_type::Rpc, rpcPayload(calls));
    return readResponse();
}

Bytes TdsClient::rpcPayload(const std::vector<Call>& calls) const
{
    Bytes payload = allHeaders();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (i > 0)
            putU8(payload, isAtLeast72(version_) ? rpc_separator::Batch : rpc_separator::BatchBefore72);
        const Call& c = calls[i];
        if (c.id != 0) {
            putU16le(payload, 0xFFFF);
            putU16le(payload, c.id);
        } else {
            putUsVarChar(payload, c.name);
        }
        putU16le(payload, 0);   // options
        for (const Param& p : c.params) {
            putBVarChar(payload, p.name);
            putU8(payload, p.output ? rpc_param_status::ByReference : 0);
            writeTypeInfo(payload, p.type);
            writeValue(payload, p.type, p.value, ValueContext::Parameter);
        }
    }
    return payload;
}

Response TdsClient::transactionRequest(std::uint16_t type, const std::string& name, bool beginAfter)
{
    Bytes payload = allHeaders();
    putU16le(payload, type);
    auto bVarByteName = [&](const std::string& n) {
        const Bytes utf16 = utf8ToUtf16(n);
        putU8(payload, static_cast<std::uint8_t>(utf16.size()));
        putBytes(payload, utf16);
    };
    if (type == tm_request::BeginXact) {
        putU8(payload, 0);   // isolation unchanged
        bVarByteName(name);
    } else if (type == tm_request::SaveXact) {
        bVarByteName(name);
    } else {
        bVarByteName(name);
        putU8(payload, beginAfter ? 1 : 0);
        if (beginAfter) {
            putU8(payload, 0);
            bVarByteName({});
        }
    }
    sendMessage(packet_type::TransactionManager, payload);
    return readResponse();
}

void TdsClient::attention()
{
    sendMessage(packet_type::Attention, {});
}

}  // namespace tdstest
