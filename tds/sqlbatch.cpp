#include "sqlbatch.h"

namespace vqtds {

RequestHeaders readRequestHeaders(Reader& r)
{
    RequestHeaders headers;
    const std::uint32_t total = r.u32le();
    if (total < 4 || total - 4 > r.remaining())
        throw ProtocolError("request headers of length " + std::to_string(total) + " do not fit the message");
    Reader block(r.take(total - 4));
    while (!block.atEnd()) {
        const std::uint32_t length = block.u32le();
        if (length < 6 || length - 4 > block.remaining())
            throw ProtocolError("request header of length " + std::to_string(length) + " does not fit");
        Reader header(block.take(length - 4));
        const std::uint16_t type = header.u16le();
        if (type == request_header::TransactionDescriptor) {
            if (header.remaining() != 12)
                throw ProtocolError("transaction descriptor header of the wrong length");
            headers.transactionDescriptor = header.u64le();
            headers.outstandingRequestCount = header.u32le();
        }
        // Query notification and trace activity headers carry nothing this server uses.
    }
    return headers;
}

SqlBatch parseSqlBatch(ByteView payload, TdsVersion version)
{
    Reader r(payload);
    SqlBatch batch;
    if (isAtLeast72(version))
        batch.headers = readRequestHeaders(r);
    batch.text = utf16ToUtf8(r.take(r.remaining()));
    return batch;
}

}  // namespace vqtds
