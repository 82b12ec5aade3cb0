// What a batch produces: result sets with their columns and rows, errors,
// messages and row counts, in the order they happened. These types carry
// no session, so a front end (the command-line tool, a network server)
// can hold and encode them on its own.
#pragma once

#include "sqlerror.h"
#include "value.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace vqsql {

struct Column {
    std::string name;   // as SQL Server names it: alias, column name, or "" for an unnamed expression
    SqlType type;       // declared type
};

struct ResultSet {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
    // False when SET NOCOUNT ON was in force: clients then print no
    // "(N rows affected)" after it, as SQL Server sends them no count.
    bool countShown = true;

    // Index of the column of this name (letter case ignored), -1 if none.
    int columnIndex(const std::string& name) const;
    // Cell of the named column in the given row; throws std::out_of_range.
    const Value& at(std::size_t row, const std::string& column) const;
};

// One thing a batch produced, in the order it happened: a result set, a
// message or an error (by index into the vectors of BatchResult), or the
// row count of a data-changing statement.
struct BatchEvent {
    enum class Kind { ResultSet, Message, Error, RowsAffected };
    Kind kind = Kind::Message;
    std::size_t index = 0;   // ResultSet, Message, Error
    long long count = 0;     // RowsAffected
};

// Everything one batch produced. Statement errors do not stop the batch
// (as in SQL Server); they are collected in `errors`.
struct BatchResult {
    std::vector<ResultSet> resultSets;
    std::vector<SqlError> errors;
    std::vector<std::string> messages;   // PRINT output and informational messages
    // The number, severity (0 to 10), state and line of a message that
    // RAISERROR sent, by its index in messages; PRINT output has none.
    std::map<std::size_t, SqlError> messageDetails;
    long long rowsAffected = -1;         // rows touched by the last data statement, -1 if none ran
    std::vector<BatchEvent> events;      // all of the above in the order they happened

    bool ok() const { return errors.empty(); }

    void addResultSet(ResultSet rs);
    void addMessage(std::string text);
    void addError(SqlError error);
    // An informational message with its number and severity (RAISERROR
    // of severity 10 or less): its text in messages, the rest in
    // messageDetails.
    void addNumberedMessage(SqlError info);
    // The number and severity of message `index`; nullptr for PRINT output.
    const SqlError* messageDetail(std::size_t index) const;
    // Appends everything `other` produced, in its order, after what this
    // result holds (the output of a nested batch).
    void append(BatchResult other);
    // The row count of a data statement; under SET NOCOUNT ON (`shown`
    // false) it only sets rowsAffected and is not an event.
    void addRowsAffected(long long count, bool shown = true);
};

}  // namespace vqsql
