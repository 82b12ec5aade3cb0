#include "txmanager.h"

namespace vqtds {

namespace {

std::string readBVarByteText(Reader& r)
{
    return utf16ToUtf8(r.take(r.u8()));
}

IsolationLevel readIsolation(Reader& r)
{
    const std::uint8_t level = r.u8();
    if (level > static_cast<std::uint8_t>(IsolationLevel::Snapshot))
        throw ProtocolError("isolation level " + std::to_string(level) + " unknown");
    return static_cast<IsolationLevel>(level);
}

// Commit and rollback: the name, the flags, and when the first flag asks
// for a new transaction, its isolation level and name.
void readEndTransaction(Reader& r, TransactionManagerRequest& request)
{
    request.name = readBVarByteText(r);
    request.beginAfter = (r.u8() & 0x01) != 0;
    if (request.beginAfter) {
        request.isolation = readIsolation(r);
        request.newName = readBVarByteText(r);
    }
}

}  // namespace

bool TransactionManagerRequest::isDistributed() const
{
    return type == tm_request::GetDtcAddress || type == tm_request::PropagateXact ||
           type == tm_request::PromoteXact;
}

TransactionManagerRequest parseTransactionManagerRequest(ByteView payload, TdsVersion version)
{
    Reader r(payload);
    TransactionManagerRequest request;
    if (isAtLeast72(version))
        request.headers = readRequestHeaders(r);
    request.type = r.u16le();
    switch (request.type) {
    case tm_request::GetDtcAddress:
    case tm_request::PropagateXact:
        // US_VARBYTE: empty for the address, the DTC's cookie to propagate.
        r.skip(r.u16le());
        break;
    case tm_request::PromoteXact:
        break;
    case tm_request::BeginXact:
        request.isolation = readIsolation(r);
        request.name = readBVarByteText(r);
        break;
    case tm_request::CommitXact:
    case tm_request::RollbackXact:
        readEndTransaction(r, request);
        break;
    case tm_request::SaveXact:
        request.name = readBVarByteText(r);
        if (request.name.empty())
            throw ProtocolError("a savepoint without a name");
        break;
    default:
        throw ProtocolError("transaction manager request " + std::to_string(request.type) + " unknown");
    }
    return request;
}

}  // namespace vqtds
