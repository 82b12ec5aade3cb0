// The engine's connection API: what the program (and vqsql) use to talk
// Transact-SQL to the embedded engine.
//
// A connection is opened on a data source (an engine instance), a
// database, a login and a password, the keys of an OLE DB connection
// string. It executes batches of Transact-SQL and returns their result
// sets. Several connections may be open at once, in one process and
// across processes.
#pragma once

#include "results.h"
#include "sqlerror.h"
#include "value.h"

#include <cstdint>
#include <functional>
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

namespace err {
// A command sent to a connection whose cursor is still open.
constexpr int ConnectionBusy = 50010;
}  // namespace err

// One argument of a procedure called by name (Connection::call), as a
// remote procedure call carries it.
struct CallArgument {
    std::string name;        // "@p", or "" for an argument by position
    SqlType type;            // the value's type as the caller sent it (Unknown: taken as it is)
    Value value;
    bool output = false;     // the caller wants the parameter's value back
    bool useDefault = false; // DEFAULT: the parameter's own default
};

// What a procedure call produced: the results of its statements, its
// return status, and the values of its OUTPUT parameters.
struct CallResult {
    BatchResult result;
    int returnStatus = 0;
    struct Output {
        std::size_t argument = 0;   // index into the call's arguments
        Value value;
        SqlType type;               // the parameter's declared type
    };
    // One per argument passed OUTPUT to an OUTPUT parameter, in argument order.
    std::vector<Output> outputs;
};

// A forward-only reader of the rows of one SELECT (Connection::openCursor).
// Rows come from a live SQLite statement stepped as they are fetched, so
// only the rows asked for are ever in memory; values, types and column
// names are those Connection::query gives for the same text.
//
// While it is open its connection runs nothing else: run, execute, query,
// the transaction calls and a second openCursor are refused with
// err::ConnectionBusy. It closes when a fetch reaches the end, when a
// fetch fails, on close() and on destruction; closing releases the
// statement, its read snapshot (unless a transaction of the connection is
// open) and the databases only it had opened. Closing the connection first
// invalidates it safely: fetch then throws SqlException and atEnd() is
// true.
class RowCursor {
public:
    RowCursor();   // closed, with no columns
    ~RowCursor();
    RowCursor(RowCursor&& other) noexcept;
    RowCursor& operator=(RowCursor&& other) noexcept;
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    // The result columns, known from the opening on (also once closed).
    const std::vector<Column>& columns() const;
    // Appends up to `count` further rows to `out` and returns how many.
    // Fewer than asked means the end was reached (and the cursor closed);
    // 0 once closed. The command time-out counts for each fetch on its
    // own. Throws SqlException when reading fails (the cursor is closed
    // then; rows read before the failure stay in `out`) or when the
    // connection was closed under the cursor.
    std::size_t fetch(std::size_t count, std::vector<std::vector<Value>>& out);
    // True once no further row can be fetched: the end was reached, or
    // the cursor or its connection was closed.
    bool atEnd() const;
    // Ends the reading early; nothing when already closed.
    void close();

    struct Impl;

private:
    friend class Connection;
    explicit RowCursor(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
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
    // Closes the connection; an open cursor of it is invalidated.
    void close();
    bool isOpen() const;

    // Runs one batch. SQL errors are returned, not thrown; throws only when
    // the connection is not open. While a cursor of the connection is open
    // the batch is refused with err::ConnectionBusy.
    BatchResult run(const std::string& batch);
    // Runs one batch and throws SqlException if any statement failed.
    void execute(const std::string& batch);
    // Runs one batch and returns its first result set (an empty one when
    // the batch produced none); throws SqlException if any statement failed.
    ResultSet query(const std::string& batch);
    // Calls a procedure of the current database by name, or the engine's
    // sp_executesql (arguments: the statement, the parameter declaration
    // list, then the values), with typed arguments: by position, then by
    // name. Each value is converted to its parameter's declared type as
    // SQL Server converts it. Errors (an unknown procedure, a missing
    // parameter ...) go into the result as for run(); throws only when
    // the connection is not open.
    CallResult call(const std::string& procedure, const std::vector<CallArgument>& arguments);
    // Opens a cursor on a text holding exactly one SELECT statement (a
    // trailing semicolon allowed) and reads none of its rows yet. Throws
    // SqlException: the errors query would report for the text (208 for an
    // unknown table ...), err::Unsupported for any other text (several
    // statements, DML, DECLARE, SELECT @v = ...), err::ConnectionBusy when
    // a cursor of this connection is already open.
    RowCursor openCursor(const std::string& select);

    // Explicit transaction around the following batches.
    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const;
    // Outermost transactions this connection has committed (by COMMIT or
    // commit()); one that ended without adding to it was rolled back.
    std::uint64_t committedTransactions() const;

    // What a pooled connection's reset clears besides the transaction:
    // the session's #tables and its Transact-SQL cursors.
    void resetSessionScope();

    // Command time-out in seconds; 0 means no limit. Default 30.
    void setCommandTimeout(int seconds);
    int commandTimeout() const;

    // Called while BACKUP DATABASE and RESTORE DATABASE run, with how far
    // they have got (done of total, in units of their choice), on the
    // thread that runs the batch. An empty handler turns it off.
    using ProgressHandler = std::function<void(std::uint64_t done, std::uint64_t total)>;
    void setProgressHandler(ProgressHandler handler);

    // Stops the running batch from another thread, as a client's attention
    // signal does: the statement running is interrupted and the batch ends
    // there (reported as a time-out); an open transaction stays open.
    void requestCancel();
    // Asked every few milliseconds on the batch's thread while a batch
    // runs; true cancels it as requestCancel does.
    void setCancelPoll(std::function<bool()> poll);

    std::string currentDatabase() const;
    const ConnectionParams& params() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vqsql
