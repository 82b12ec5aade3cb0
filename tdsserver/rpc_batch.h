// Remote procedure calls made runnable: sp_executesql, sp_execute and
// friends, and calls of other procedures, turned into a Transact-SQL batch
// for the engine. The parameters become variables declared with their
// types and set to their values, so the statement sees typed variables as
// it would in SQL Server; output parameters are read back by a final
// SELECT that the server takes off the results.
#pragma once

#include "rpc.h"

#include <optional>
#include <string>
#include <vector>

namespace vqtdsserver {

// One parameter of a parameter declaration list ("@a int, @b nvarchar(10) OUTPUT").
struct DeclaredParameter {
    std::string name;   // with its '@'
    std::string type;   // as written
    bool output = false;
};

// Splits a declaration list at its top-level commas. Throws
// std::invalid_argument with SQL Server's wording for an item that is no
// "@name type".
std::vector<DeclaredParameter> parseParameterDeclarations(const std::string& list);

// A value as a Transact-SQL literal of the parameter's type: numbers as
// written, texts quoted with their apostrophes doubled (N'' for the
// Unicode types), date-times in the canonical style 121, binaries in hex.
std::string sqlLiteral(const vqtds::TypeInfo& type, const vqsql::Value& value);

// The name of the result column by which the output values come back.
inline constexpr const char* kOutputMarkerColumn = "__vq_rpc_output__";

// An output parameter: where it was in the call and what the client sent.
struct OutputBinding {
    std::uint16_t ordinal = 0;
    const vqtds::RpcParameter* parameter = nullptr;
    std::string variable;
};

struct RpcBatch {
    std::string text;
    std::vector<OutputBinding> outputs;   // in the order of the final SELECT's columns
};

// The batch for a statement with its declarations and the call's value
// parameters (named or by position, in declaration order). `firstOrdinal`
// is the position of the first value parameter in the call. Throws
// vqsql::SqlException with SQL Server's errors for a missing or unknown
// parameter.
RpcBatch statementBatch(const std::string& statement, const std::vector<DeclaredParameter>& declarations,
                        const std::vector<vqtds::RpcParameter>& values, std::size_t firstOrdinal);

// The batch for a call of any other procedure: EXEC name @p = value, ...
// with OUTPUT parameters bound to variables.
RpcBatch procedureBatch(const vqtds::RpcCall& call);

}  // namespace vqtdsserver
