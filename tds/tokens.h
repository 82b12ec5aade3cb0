// The server's side of a tabular result: a TokenWriter appends tokens
// (LOGINACK, ENVCHANGE, INFO, ERROR, DONE and its kin, COLMETADATA, ROW
// or NBCROW, RETURNSTATUS, RETURNVALUE) to a payload in the encodings of the TDS
// version agreed at login. The payload is then split into packets of
// type 0x04.
#pragma once

#include "results.h"
#include "types.h"
#include "version.h"
#include "wire.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vqtds {

namespace token {
constexpr std::uint8_t ReturnStatus = 0x79;
constexpr std::uint8_t ColMetadata = 0x81;
constexpr std::uint8_t Error = 0xAA;
constexpr std::uint8_t Info = 0xAB;
constexpr std::uint8_t ReturnValue = 0xAC;
constexpr std::uint8_t LoginAck = 0xAD;
constexpr std::uint8_t Row = 0xD1;
constexpr std::uint8_t NbcRow = 0xD2;
constexpr std::uint8_t EnvChange = 0xE3;
constexpr std::uint8_t Done = 0xFD;
constexpr std::uint8_t DoneProc = 0xFE;
constexpr std::uint8_t DoneInProc = 0xFF;
}  // namespace token

namespace done_status {
constexpr std::uint16_t Final = 0x0000;
constexpr std::uint16_t More = 0x0001;
constexpr std::uint16_t Error = 0x0002;
constexpr std::uint16_t InTransaction = 0x0004;
constexpr std::uint16_t Count = 0x0010;
constexpr std::uint16_t Attention = 0x0020;
// DONEPROC of a call that is not the last of a request holding several.
constexpr std::uint16_t RpcInBatch = 0x0080;
constexpr std::uint16_t ServerError = 0x0100;
}  // namespace done_status

namespace return_value_status {
constexpr std::uint8_t OutputParameter = 0x01;
constexpr std::uint8_t FunctionResult = 0x02;   // the value of a user-defined function called as an RPC
}  // namespace return_value_status

namespace env_change {
constexpr std::uint8_t Database = 1;
constexpr std::uint8_t Language = 2;
constexpr std::uint8_t PacketSize = 4;
constexpr std::uint8_t SqlCollation = 7;
constexpr std::uint8_t BeginTransaction = 8;
constexpr std::uint8_t CommitTransaction = 9;
constexpr std::uint8_t RollbackTransaction = 10;
constexpr std::uint8_t ResetConnectionAck = 18;
}  // namespace env_change

// An INFO or ERROR token's content.
struct ServerMessage {
    std::int32_t number = 0;
    std::uint8_t state = 1;
    std::uint8_t severity = 0;   // the "class": 0..10 informational, 11+ errors
    std::string text;
    std::string serverName;
    std::string procedureName;
    std::int32_t line = 1;
};

ServerMessage messageFromError(const vqsql::SqlError& error, const std::string& serverName);

// A column as COLMETADATA describes it.
struct ColumnDescription {
    std::string name;
    TypeInfo type;
    bool nullable = true;
    bool hidden = false;   // fHidden (TDS 7.2 on): a column the client does not show, a server cursor's ROWSTAT
};

// The wire description of a result set's columns: each engine type
// mapped with typeInfoFor, lengths raised to the longest value present;
// a column of unknown type typed from its values.
std::vector<ColumnDescription> describeColumns(const vqsql::ResultSet& rs, TdsVersion version);

class TokenWriter {
public:
    explicit TokenWriter(TdsVersion version) : version_(version) {}

    TdsVersion version() const { return version_; }
    // Hands the bytes written so far to `sink` whenever a row takes them
    // past `threshold` (and keeps none of them), so that a large result
    // goes out while it is being written instead of all at its end.
    void streamTo(std::function<void(ByteView)> sink, std::size_t threshold = 64 * 1024)
    {
        sink_ = std::move(sink);
        threshold_ = threshold;
    }
    const Bytes& bytes() const { return out_; }
    Bytes take() { return std::move(out_); }

    // LOGINACK: interface 1 (T-SQL), the version code for `loginCode`
    // (the client's LOGIN7 version), the program's name and version.
    void loginAck(std::uint32_t loginCode, const std::string& programName, std::uint8_t major,
                  std::uint8_t minor, std::uint16_t build);

    void envDatabase(const std::string& newName, const std::string& oldName);
    void envLanguage(const std::string& newName, const std::string& oldName);
    void envPacketSize(std::uint32_t newSize, std::uint32_t oldSize);
    void envCollation(const Collation& collation);
    // Transaction descriptors exist from 7.2 on; with 7.1 these write
    // nothing and return false.
    bool envBeginTransaction(std::uint64_t descriptor);
    bool envCommitTransaction(std::uint64_t descriptor);
    bool envRollbackTransaction(std::uint64_t descriptor);
    // The answer to a request whose first packet asked for the connection
    // to be reset (7.2 on; false and nothing written with 7.1).
    bool envResetConnectionAck();

    void info(const ServerMessage& message);
    void error(const ServerMessage& message);

    void done(std::uint16_t status, std::uint16_t currentCommand, std::uint64_t rowCount);
    void doneProc(std::uint16_t status, std::uint16_t currentCommand, std::uint64_t rowCount);
    void doneInProc(std::uint16_t status, std::uint16_t currentCommand, std::uint64_t rowCount);

    void colMetadata(const std::vector<ColumnDescription>& columns);
    // A row of values for those columns: NBCROW from 7.3 on when some value
    // is NULL (it is shorter), ROW otherwise.
    void row(const std::vector<ColumnDescription>& columns, const std::vector<vqsql::Value>& values);
    // COLMETADATA and every ROW of a result set (the DONE is the caller's).
    void resultSet(const vqsql::ResultSet& rs);

    void returnStatus(std::int32_t status);
    // RETURNVALUE: an OUTPUT parameter's value after the call, with the
    // parameter's ordinal in the call (from 0) and name. The type is sent
    // in its nullable form (nullableForm), marked nullable, user type 0.
    // text, ntext and image cannot be output parameters: ProtocolError.
    void returnValue(std::uint16_t ordinal, const std::string& name, const TypeInfo& type,
                     const vqsql::Value& value, std::uint8_t status = return_value_status::OutputParameter);

private:
    void envChange(std::uint8_t type, const Bytes& newValue, const Bytes& oldValue);
    void message(std::uint8_t tokenType, const ServerMessage& message);
    void doneToken(std::uint8_t tokenType, std::uint16_t status, std::uint16_t currentCommand,
                   std::uint64_t rowCount);
    std::size_t beginLengthPrefixed(std::uint8_t tokenType);
    void endLengthPrefixed(std::size_t lengthAt);

    TdsVersion version_;
    Bytes out_;
    std::function<void(ByteView)> sink_;
    std::size_t threshold_ = 0;
};

// B_VARCHAR (one-byte length in characters) and US_VARCHAR (two-byte)
// UTF-16 texts; longer texts are cut at the limit.
void putBVarChar(Bytes& out, const std::string& utf8);
void putUsVarChar(Bytes& out, const std::string& utf8);

}  // namespace vqtds
