// SQLBatch: the text of a batch, preceded from 7.2 on by the request
// headers (ALL_HEADERS), of which the transaction descriptor matters.
#pragma once

#include "version.h"
#include "wire.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vqtds {

namespace request_header {
constexpr std::uint16_t QueryNotifications = 1;
constexpr std::uint16_t TransactionDescriptor = 2;
constexpr std::uint16_t TraceActivity = 3;
}  // namespace request_header

struct RequestHeaders {
    std::optional<std::uint64_t> transactionDescriptor;
    std::uint32_t outstandingRequestCount = 0;
};

// Reads ALL_HEADERS: a total length (itself included), then headers of a
// length (itself included), a type and data. Every length is checked
// against the total and the data; the transaction descriptor header must
// have its 8-byte descriptor and 4-byte request count. Throws
// ProtocolError.
RequestHeaders readRequestHeaders(Reader& r);

struct SqlBatch {
    RequestHeaders headers;
    std::string text;   // UTF-8
};

SqlBatch parseSqlBatch(ByteView payload, TdsVersion version);

}  // namespace vqtds
