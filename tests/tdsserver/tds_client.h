// A small synchronous TDS client for the server tests, built on the codec:
// it connects to 127.0.0.1, sends PRELOGIN (no encryption) and LOGIN7,
// then SQL batches, RPCs, transaction-manager requests, attention signals
// or raw bytes, and reads the server's answer into a simple structure.
// Every read has a time limit, so a server that does not answer fails the
// test instead of hanging it. Every answer is also checked for what must
// never reach a client: SQLite's own messages and the server's internal
// result columns.
#pragma once

#include "login_builder.h"
#include "packet.h"
#include "tokens.h"
#include "types.h"
#include "version.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tdstest {

using namespace std::chrono_literals;

struct ReceivedMessage {
    std::int32_t number = 0;
    std::uint8_t state = 0;
    std::uint8_t severity = 0;
    std::string text, serverName, procedureName;
    std::int32_t line = 0;
};

struct ReceivedEnvChange {
    std::uint8_t type = 0;
    vqtds::Bytes newValue, oldValue;   // raw: the text types in UTF-16LE
    std::string newText() const;
    std::string oldText() const;
};

struct ReceivedDone {
    std::uint8_t token = 0;   // DONE, DONEPROC or DONEINPROC
    std::uint16_t status = 0;
    std::uint16_t command = 0;
    std::uint64_t count = 0;
};

struct ReceivedResultSet {
    std::vector<std::string> columns;
    std::vector<vqtds::TypeInfo> types;
    std::vector<std::uint16_t> flags;   // each column's COLMETADATA flags
    std::vector<std::vector<vqsql::Value>> rows;
};

struct ReceivedReturnValue {
    std::uint16_t ordinal = 0;
    std::string name;
    std::uint8_t status = 0;
    vqtds::TypeInfo type;
    vqsql::Value value;
};

struct LoginAckToken {
    std::uint8_t interface = 0;
    std::uint32_t version = 0;
    std::string programName;
};

// One answer of the server: the tokens in order, and each kind collected.
struct Response {
    std::vector<std::uint8_t> tokens;
    std::vector<ReceivedResultSet> resultSets;
    std::vector<ReceivedDone> dones;
    std::vector<ReceivedMessage> errors, infos;
    std::vector<ReceivedEnvChange> envChanges;
    std::optional<LoginAckToken> loginAck;
    std::vector<std::int32_t> returnStatuses;
    std::vector<ReceivedReturnValue> returnValues;
    std::vector<std::size_t> packetLengths;   // of the packets that carried it

    const ReceivedDone& finalDone() const;
    const ReceivedEnvChange* env(std::uint8_t type) const;
    bool hasError(std::int32_t number) const;
    std::vector<std::int32_t> errorNumbers() const;
    // The first value of the n-th result set's first row.
    const vqsql::Value& scalar(std::size_t resultSet = 0) const;
};

// Parses a token stream as a client of `version` reads it. Throws
// vqtds::ProtocolError for a token it does not know or a truncated one.
Response parseTokenStream(vqtds::ByteView payload, vqtds::TdsVersion version);

// Adds a test failure for SQLite's text in a message or an internal
// column name in a result set.
void checkNothingInternal(const Response& r);

// An RPC parameter as a client sends it.
struct Param {
    std::string name;   // with '@', or empty for a positional one
    vqtds::TypeInfo type;
    vqsql::Value value;
    bool output = false;
};
Param intParam(std::string name, std::optional<std::int64_t> value, bool output = false);
Param nvarcharParam(std::string name, std::optional<std::string> value, bool output = false,
                    std::uint32_t chars = 4000);

// One procedure call: by name, or by well-known number when id is set.
struct Call {
    std::string name;
    std::uint16_t id = 0;
    std::vector<Param> params;
};

class TdsClient {
public:
    // Connects to 127.0.0.1:port; throws std::runtime_error when it cannot.
    explicit TdsClient(unsigned short port);
    ~TdsClient();
    TdsClient(const TdsClient&) = delete;
    TdsClient& operator=(const TdsClient&) = delete;

    // PRELOGIN (encryption not supported), then LOGIN7; the answer to the
    // login. The agreed packet size and version are taken from it.
    Response login(const LoginBuilder& builder = {}, std::uint32_t packetSize = 4096);
    Response prelogin();
    Response batch(const std::string& text);
    // Sends a batch without waiting for its answer (to cancel it, say).
    void sendBatch(const std::string& text);
    Response rpc(const std::vector<Call>& calls);
    Response rpc(const Call& call) { return rpc(std::vector<Call>{call}); }
    vqtds::Bytes rpcPayload(const std::vector<Call>& calls) const;
    // A transaction-manager request: begin (isolation, name), commit or
    // rollback (name, optionally beginning a new one).
    Response transactionRequest(std::uint16_t type, const std::string& name = {}, bool beginAfter = false);
    void attention();
    // Marks the next request's first packet "reset connection", as a
    // connection pool does before handing the connection to a new user.
    void resetConnectionOnNextRequest() { resetNext_ = true; }

    void sendMessage(std::uint8_t type, vqtds::ByteView payload);
    void sendRaw(vqtds::ByteView bytes);
    // Reads one whole answer (packets up to end of message) and parses it.
    Response readResponse(std::chrono::milliseconds limit = 10s);
    // After an attention signal: the messages up to the one holding the
    // acknowledgement (DONE with the attention bit), joined. The cancelled
    // request's reply may come first, in a message of its own.
    Response readUntilAttentionAck(std::chrono::milliseconds limit = 10s);
    // True when the server closed the connection within `limit` (what it
    // sends meanwhile is skipped).
    bool closedByServer(std::chrono::milliseconds limit = 5s);
    void close();

    vqtds::TdsVersion version() const { return version_; }
    std::uint64_t transactionDescriptor() const { return descriptor_; }

private:
    vqtds::Bytes allHeaders() const;
    // Reads exactly n bytes; throws on time-out or end of stream.
    vqtds::Bytes readExactly(std::size_t n, std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    std::size_t packetSize_ = vqtds::kDefaultPacketSize;
    vqtds::TdsVersion version_ = vqtds::TdsVersion::V7_4;
    std::uint64_t descriptor_ = 0;   // the transaction the server last announced
    bool resetNext_ = false;
};

}  // namespace tdstest
