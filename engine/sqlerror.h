// Errors as SQL Server reports them: number, severity, state, line, text.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace vqsql {

struct SqlError {
    int number = 0;
    int severity = 16;
    int state = 1;
    int line = 1;              // line of the batch the failing statement starts on
    std::string message;
    std::string procedure;    // the procedure the error occurred in ("" in a batch)

    // "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'X'."
    std::string format() const;
};

// Thrown by the connection API; carries every error the batch reported.
class SqlException : public std::runtime_error {
public:
    explicit SqlException(std::vector<SqlError> errors);
    SqlException(int number, std::string message, int line = 1, int severity = 16);
    const std::vector<SqlError>& errors() const { return errors_; }
    const SqlError& first() const { return errors_.front(); }
    int number() const { return errors_.front().number; }

private:
    std::vector<SqlError> errors_;
};

// Well-known error numbers.
namespace err {
constexpr int SyntaxError = 102;            // Incorrect syntax near 'X'.
constexpr int SyntaxKeyword = 156;          // Incorrect syntax near the keyword 'X'.
constexpr int InvalidColumn = 207;
constexpr int InvalidObject = 208;
constexpr int AmbiguousColumn = 209;
constexpr int ConversionFailed = 245;
constexpr int MustDeclare = 137;            // Must declare the scalar variable "@x".
constexpr int AlreadyDeclared = 134;
constexpr int NotNullViolation = 515;
constexpr int Truncation = 8152;            // String or binary data would be truncated.
constexpr int PrimaryKeyViolation = 2627;
constexpr int UniqueIndexViolation = 2601;
constexpr int ObjectExists = 2714;          // There is already an object named 'X' in the database.
constexpr int DivideByZero = 8134;
constexpr int ArithmeticOverflow = 8115;
constexpr int UnknownType = 2715;           // Column, parameter, or variable #1: Cannot find data type X.
constexpr int NoSuchProcedure = 2812;       // Could not find stored procedure 'X'.
constexpr int ColumnCountMismatch = 213;
constexpr int Timeout = -2;                 // Query timeout expired
constexpr int Unsupported = 50000;          // construct the engine does not support
constexpr int Internal = 50001;
}  // namespace err

}  // namespace vqsql
