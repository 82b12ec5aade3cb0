// RPC requests (packet type 0x03): one or more procedure calls, each a
// procedure named by text or by a well-known number (sp_executesql,
// sp_prepare, sp_execute ...), its option flags and its parameters with
// their TYPE_INFO and values. From 7.2 on the request headers come first.
#pragma once

#include "sqlbatch.h"
#include "types.h"
#include "version.h"
#include "wire.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vqtds {

// The procedures a client may name by number instead of by text (the
// name's length 0xFFFF, then this number).
namespace proc_id {
constexpr std::uint16_t Cursor = 1;
constexpr std::uint16_t CursorOpen = 2;
constexpr std::uint16_t CursorPrepare = 3;
constexpr std::uint16_t CursorExecute = 4;
constexpr std::uint16_t CursorPrepExec = 5;
constexpr std::uint16_t CursorUnprepare = 6;
constexpr std::uint16_t CursorFetch = 7;
constexpr std::uint16_t CursorOption = 8;
constexpr std::uint16_t CursorClose = 9;
constexpr std::uint16_t ExecuteSql = 10;
constexpr std::uint16_t Prepare = 11;
constexpr std::uint16_t Execute = 12;
constexpr std::uint16_t PrepExec = 13;
constexpr std::uint16_t PrepExecRpc = 14;
constexpr std::uint16_t Unprepare = 15;
}  // namespace proc_id

// "sp_executesql" for 10 and so on; nullopt for a number without a procedure.
std::optional<std::string_view> wellKnownProcedureName(std::uint16_t id);

namespace rpc_option {
constexpr std::uint16_t WithRecompile = 0x01;
constexpr std::uint16_t NoMetaData = 0x02;
constexpr std::uint16_t ReuseMetaData = 0x04;
}  // namespace rpc_option

namespace rpc_param_status {
constexpr std::uint8_t ByReference = 0x01;   // an OUTPUT parameter
constexpr std::uint8_t DefaultValue = 0x02;  // the procedure's default is wanted
constexpr std::uint8_t Encrypted = 0x08;     // column encryption: refused
}  // namespace rpc_param_status

// The bytes between two calls of one request. Clients before 7.2 send
// 0x80 and later ones 0xFF; both are taken with every version. 0xFE
// (no-exec) separates calls the same way and is recorded on the call
// that follows it. Since a parameter's name length stands where a
// separator may stand, parameter names are limited to 127 characters.
namespace rpc_separator {
constexpr std::uint8_t BatchBefore72 = 0x80;
constexpr std::uint8_t Batch = 0xFF;
constexpr std::uint8_t NoExec = 0xFE;
}  // namespace rpc_separator

struct RpcParameter {
    std::string name;     // UTF-8 with its '@'; empty for a parameter passed by position
    std::uint8_t status = 0;
    TypeInfo type;        // as the client sent it (possibly a fixed-length form)
    vqsql::Value value;

    bool isOutput() const { return (status & rpc_param_status::ByReference) != 0; }
    bool wantsDefault() const { return (status & rpc_param_status::DefaultValue) != 0; }
};

struct RpcCall {
    // UTF-8; for a call by number, the well-known procedure's name.
    std::string procedureName;
    std::optional<std::uint16_t> procedureId;   // set for a call by number
    std::uint16_t options = 0;
    // The call followed a no-exec separator (0xFE).
    bool afterNoExec = false;
    std::vector<RpcParameter> parameters;

    bool withRecompile() const { return (options & rpc_option::WithRecompile) != 0; }
    bool noMetaData() const { return (options & rpc_option::NoMetaData) != 0; }
};

// Reads an RPC request. From 7.2 on the request headers come first and,
// when `headers` is given, are stored there. Every length is checked
// against the payload; a name that is empty or of odd bytes, an unknown
// procedure number, an unsupported or encrypted parameter type or a
// value that does not fit its type throws ProtocolError. A separator at
// the very end is accepted.
std::vector<RpcCall> parseRpcRequest(ByteView payload, TdsVersion version, RequestHeaders* headers = nullptr);

// The T-SQL type of a parameter as it would be declared: "int",
// "nvarchar(50)", "nvarchar(max)", "decimal(18,4)", "datetime", "ntext".
// Lengths are in characters (nvarchar: bytes / 2), at least 1. The NULL
// type is declared int, as SQL Server types an untyped NULL.
std::string declarationOf(const RpcParameter& parameter);
std::string declarationOf(const TypeInfo& type);

}  // namespace vqtds
