// The engine's connection API: what the program (and vqsql) use to talk
// Transact-SQL to the embedded engine.
//
// A connection is opened on a data source (an engine instance), a
// database, a login and a password, the keys of an OLE DB connection
// string. It executes batches of Transact-SQL and returns their result
// sets. Several connections may be open at once, in one process and
// across processes.
#pragma once

#include "sqlerror.h"
#include "value.h"

#include <memory>
#include <string>
#include <vector>

namespace vqsql {

struct ConnectionParams {
    std::string server;     // Data Source: ".", "(local)", "localhost", host name, or an instance folder
    std::string database;   // Initial Catalog; empty means master
    std::string user;       // User ID
    std::string password;   // Password
    bool trusted = false;   // Trusted_Connection / Integrated Security: log in as the instance folder's owner
};

// Reads the keys of an OLE DB / ODBC style connection string
// ("Password=x;User ID=sa;Initial Catalog=db;Data Source=.;..."): key names
// case-insensitive, unknown keys ignored, values optionally in "..." or '...'.
// "Trusted_Connection=yes|true|sspi" and "Integrated Security=SSPI|true|yes"
// ask for a trusted login.
ConnectionParams parseConnectionString(const std::string& text);

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
    long long rowsAffected = -1;         // rows touched by the last data statement, -1 if none ran
    std::vector<BatchEvent> events;      // all of the above in the order they happened

    bool ok() const { return errors.empty(); }

    void addResultSet(ResultSet rs);
    void addMessage(std::string text);
    void addError(SqlError error);
    // The row count of a data statement; under SET NOCOUNT ON (`shown`
    // false) it only sets rowsAffected and is not an event.
    void addRowsAffected(long long count, bool shown = true);
};

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the connection; throws SqlException (login failure, unknown
    // database, instance not running ...). Re-opening closes first.
    void open(const ConnectionParams& params);
    void open(const std::string& connectionString);
    void close();
    bool isOpen() const;

    // Runs one batch. SQL errors are returned, not thrown; throws only when
    // the connection is not open.
    BatchResult run(const std::string& batch);
    // Runs one batch and throws SqlException if any statement failed.
    void execute(const std::string& batch);
    // Runs one batch and returns its first result set (an empty one when
    // the batch produced none); throws SqlException if any statement failed.
    ResultSet query(const std::string& batch);

    // Explicit transaction around the following batches.
    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const;

    // Command time-out in seconds; 0 means no limit. Default 30.
    void setCommandTimeout(int seconds);
    int commandTimeout() const;

    std::string currentDatabase() const;
    const ConnectionParams& params() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vqsql
