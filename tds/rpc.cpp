#include "rpc.h"

#include <algorithm>
#include <array>

namespace vqtds {

namespace {

constexpr std::uint16_t kProcIdSwitch = 0xFFFF;

bool isSeparator(std::uint8_t b)
{
    return b == rpc_separator::Batch || b == rpc_separator::BatchBefore72 || b == rpc_separator::NoExec;
}

// A UTF-16 text of `units` code units.
std::string readUtf16(Reader& r, std::size_t units)
{
    return utf16ToUtf8(r.take(units * 2));
}

void readProcedure(Reader& r, RpcCall& call)
{
    const std::uint16_t length = r.u16le();
    if (length == kProcIdSwitch) {
        const std::uint16_t id = r.u16le();
        const std::optional<std::string_view> name = wellKnownProcedureName(id);
        if (!name)
            throw ProtocolError("unknown procedure number " + std::to_string(id));
        call.procedureId = id;
        call.procedureName = std::string(*name);
        return;
    }
    if (length == 0)
        throw ProtocolError("RPC without a procedure name");
    call.procedureName = readUtf16(r, length);
}

RpcParameter readParameter(Reader& r)
{
    RpcParameter p;
    p.name = readUtf16(r, r.u8());
    p.status = r.u8();
    if (p.status & rpc_param_status::Encrypted)
        throw ProtocolError("encrypted parameters are not supported");
    p.type = readTypeInfo(r);
    p.value = readValue(r, p.type, ValueContext::Parameter);
    return p;
}

// One call: the procedure, the option flags, then parameters up to the
// end of the payload or the next separator.
RpcCall readCall(Reader& r, ByteView payload)
{
    RpcCall call;
    readProcedure(r, call);
    call.options = r.u16le();
    while (!r.atEnd() && !isSeparator(payload[r.position()]))
        call.parameters.push_back(readParameter(r));
    return call;
}

}  // namespace

std::optional<std::string_view> wellKnownProcedureName(std::uint16_t id)
{
    static constexpr std::array<std::string_view, 15> names = {
        "sp_cursor",        "sp_cursoropen", "sp_cursorprepare", "sp_cursorexecute", "sp_cursorprepexec",
        "sp_cursorunprepare", "sp_cursorfetch", "sp_cursoroption", "sp_cursorclose", "sp_executesql",
        "sp_prepare",       "sp_execute",    "sp_prepexec",      "sp_prepexecrpc",   "sp_unprepare",
    };
    if (id < 1 || id > names.size())
        return std::nullopt;
    return names[id - 1];
}

std::vector<RpcCall> parseRpcRequest(ByteView payload, TdsVersion version, RequestHeaders* headers)
{
    Reader r(payload);
    if (isAtLeast72(version)) {
        RequestHeaders h = readRequestHeaders(r);
        if (headers)
            *headers = h;
    }
    std::vector<RpcCall> calls;
    bool afterNoExec = false;
    for (;;) {
        RpcCall call = readCall(r, payload);
        call.afterNoExec = afterNoExec;
        calls.push_back(std::move(call));
        if (r.atEnd())
            break;
        const std::uint8_t separator = r.u8();   // readCall stopped on one
        afterNoExec = separator == rpc_separator::NoExec;
        if (r.atEnd())
            break;   // a separator closing the request
    }
    return calls;
}

std::string declarationOf(const TypeInfo& type)
{
    const TypeInfo info = nullableForm(type);
    if (info.type == tds_type::DecimalN)
        return "decimal(" + std::to_string(info.precision) + "," + std::to_string(info.scale) + ")";
    vqsql::SqlType t = sqlTypeOf(info);
    if (t.isUnknown())
        throw ProtocolError("wire type " + std::to_string(type.type) + " has no declaration");
    if (info.type == tds_type::NChar || info.type == tds_type::NVarChar) {
        if (!info.plp)
            t.length = static_cast<int>((info.maxLength + 1) / 2);
    }
    switch (t.base) {
    case vqsql::BaseType::Char: case vqsql::BaseType::VarChar: case vqsql::BaseType::NChar:
    case vqsql::BaseType::NVarChar: case vqsql::BaseType::Binary: case vqsql::BaseType::VarBinary:
        // A client sends an empty text as a type of length 0; T-SQL has no such type.
        if (t.length == 0)
            t.length = 1;
        break;
    default:
        break;
    }
    return t.toString();
}

std::string declarationOf(const RpcParameter& parameter)
{
    return declarationOf(parameter.type);
}

}  // namespace vqtds
