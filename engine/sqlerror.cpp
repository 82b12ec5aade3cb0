// SQL Server style errors.
#include "sqlerror.h"

namespace vqsql {

std::string SqlError::format() const
{
    return "Msg " + std::to_string(number) + ", Level " + std::to_string(severity) + ", State " +
           std::to_string(state) + (procedure.empty() ? "" : ", Procedure " + procedure) + ", Line " +
           std::to_string(line) + "\n" + message;
}

static std::string firstMessage(const std::vector<SqlError>& errors)
{
    return errors.empty() ? std::string("unknown error") : errors.front().message;
}

SqlException::SqlException(std::vector<SqlError> errors)
    : std::runtime_error(firstMessage(errors)), errors_(std::move(errors))
{
    if (errors_.empty())
        errors_.push_back(SqlError{err::Internal, 16, 1, 1, "unknown error"});
}

SqlException::SqlException(int number, std::string message, int line, int severity)
    : SqlException(std::vector<SqlError>{SqlError{number, severity, 1, line, std::move(message)}})
{
}

}  // namespace vqsql
