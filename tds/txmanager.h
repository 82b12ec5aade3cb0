// Transaction manager requests (packet type 0x0E): what ODBC, OLE DB and
// .NET clients send to begin, commit, roll back or save a transaction
// instead of the T-SQL statements. From 7.2 on the request headers come
// first. The distributed requests are recognised so that the server can
// refuse them with an error.
#pragma once

#include "sqlbatch.h"
#include "version.h"
#include "wire.h"

#include <cstdint>
#include <string>

namespace vqtds {

namespace tm_request {
constexpr std::uint16_t GetDtcAddress = 0;
constexpr std::uint16_t PropagateXact = 1;
constexpr std::uint16_t BeginXact = 5;
constexpr std::uint16_t PromoteXact = 6;
constexpr std::uint16_t CommitXact = 7;
constexpr std::uint16_t RollbackXact = 8;
constexpr std::uint16_t SaveXact = 9;
}  // namespace tm_request

enum class IsolationLevel : std::uint8_t {
    NoChange = 0,
    ReadUncommitted = 1,
    ReadCommitted = 2,
    RepeatableRead = 3,
    Serializable = 4,
    Snapshot = 5,
};

struct TransactionManagerRequest {
    RequestHeaders headers;
    std::uint16_t type = tm_request::BeginXact;
    // Begin: the new transaction's name; commit and rollback: the name of
    // the one ended; save: the savepoint's name. UTF-8, may be empty.
    std::string name;
    // Commit and rollback: start a new transaction afterwards.
    bool beginAfter = false;
    // Begin, or the transaction begun after a commit or rollback.
    IsolationLevel isolation = IsolationLevel::NoChange;
    std::string newName;   // the transaction begun after a commit or rollback

    // The DTC requests (address, propagate, promote), which this server refuses.
    bool isDistributed() const;
};

// Reads a transaction manager request. Names are B_VARBYTE: a length in
// bytes, then UTF-16LE. An unknown request type, an isolation level
// beyond 5, an odd-length name, a savepoint without a name or a
// truncated payload throw ProtocolError; bytes after the request are
// ignored. The DTC payloads are checked for length and dropped.
TransactionManagerRequest parseTransactionManagerRequest(ByteView payload, TdsVersion version);

}  // namespace vqtds
