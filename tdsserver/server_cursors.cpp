// Server cursors as ADO, OLE DB and ODBC clients drive them by RPC:
// sp_cursoropen, sp_cursorfetch and sp_cursorclose, built on the engine's
// Transact-SQL cursors. Each handle stands for a GLOBAL SCROLL STATIC
// READ_ONLY cursor under a generated name; whatever scrolling and
// concurrency the client asks for, it is told (through the OUTPUT values
// of @scrollopt and @ccopt) that it got a static read-only cursor, as
// SQL Server tells a client whose request it had to change.
//
// sp_cursoropen answers with the columns (COLMETADATA, no rows);
// sp_cursorfetch with a buffer of rows. Both describe one more column
// after the SELECT's own: ROWSTAT, hidden, the status of each row.
#include "client_session.h"

#include "text_util.h"

#include <algorithm>
#include <climits>
#include <cctype>

namespace vqtdsserver {

using namespace vqtds;
using vqsql::SqlException;

namespace {

// sp_cursoropen @scrollopt and @ccopt values.
namespace scroll_option {
constexpr std::int64_t Static = 0x0008;
constexpr std::int64_t ParameterizedStatement = 0x1000;
}  // namespace scroll_option
namespace concurrency_option {
constexpr std::int64_t ReadOnly = 0x0001;
}  // namespace concurrency_option

// sp_cursorfetch @fetchtype values.
namespace fetch_type {
constexpr std::int64_t First = 0x0001;
constexpr std::int64_t Next = 0x0002;
constexpr std::int64_t Prev = 0x0004;
constexpr std::int64_t Last = 0x0008;
constexpr std::int64_t Absolute = 0x0010;
constexpr std::int64_t Relative = 0x0020;
constexpr std::int64_t Refresh = 0x0080;
constexpr std::int64_t Info = 0x0100;
}  // namespace fetch_type

constexpr std::uint16_t kSelectCommand = 0xC1;

// ROWSTAT of a row fetched as it is.
constexpr std::int64_t kRowFetched = 1;
// Rows sp_cursorfetch returns when the call does not say.
constexpr std::int64_t kDefaultFetchRows = 20;
// Rows one fetch may ask for: each becomes a statement of the batch.
constexpr std::int64_t kMostFetchRows = 100000;

const vqsql::SqlType kIntType{vqsql::BaseType::Int, 0, 0, 0, {}};

std::optional<std::int64_t> intParameter(const RpcCall& call, std::size_t index)
{
    if (index >= call.parameters.size() || call.parameters[index].value.isNull())
        return std::nullopt;
    return call.parameters[index].value.toInt64();
}

SqlException missingCursorParameter(const std::string& procedure, const std::string& parameter)
{
    return SqlException(201, "Procedure or function '" + procedure + "' expects parameter '" + parameter +
                                 "', which was not supplied.", 1, 16);
}

// Whether a statement is one SELECT (what a server cursor can be opened on).
bool startsWithSelect(const std::string& statement)
{
    const std::string text = lowerAscii(trimmed(statement));
    if (text.rfind("(", 0) == 0)
        return true;
    return text.rfind("select", 0) == 0 && (text.size() == 6 || !std::isalnum(static_cast<unsigned char>(text[6])));
}

}  // namespace

// A cursor's rows on the wire: its columns with the hidden ROWSTAT column
// last, each row with its ROWSTAT value, and a DONEINPROC.
void ClientSession::writeCursorRows(TokenWriter& w, const vqsql::ResultSet& rs)
{
    std::vector<ColumnDescription> columns = describeColumns(rs, version_);
    ColumnDescription rowStat;
    rowStat.name = "ROWSTAT";
    rowStat.type = typeInfoFor(kIntType, version_);
    rowStat.nullable = false;
    rowStat.hidden = true;
    columns.push_back(rowStat);
    w.colMetadata(columns);
    for (const auto& row : rs.rows) {
        std::vector<vqsql::Value> values = row;
        values.push_back(vqsql::Value::fromInteger(kRowFetched));
        w.row(columns, values);
    }
    w.doneInProc(static_cast<std::uint16_t>(done_status::More | done_status::Count), kSelectCommand,
                 rs.rows.size());
}

// Runs one batch of cursor statements; its errors, if any, are thrown.
vqsql::BatchResult ClientSession::runCursorBatch(const std::string& text)
{
    const Outcome outcome = execute(text);
    if (outcome.attention)
        throw SqlException(vqsql::err::Timeout, "Query timeout expired");
    if (!outcome.result.ok())
        throw SqlException(outcome.result.errors);
    return outcome.result;
}

bool ClientSession::runCursorOpen(const RpcCall& call, TokenWriter& w)
{
    if (call.parameters.size() < 2)
        throw missingCursorParameter("sp_cursoropen", call.parameters.empty() ? "@cursor" : "@stmt");
    const std::string statement = call.parameters[1].value.isNull() ? std::string() : call.parameters[1].value.text;
    if (!startsWithSelect(statement))
        throw SqlException(vqsql::err::Unsupported,
                           "The engine does not support the procedure sp_cursoropen on anything but one SELECT "
                           "statement; run other statements as a plain batch instead.");
    const std::int64_t scrollOptions = intParameter(call, 2).value_or(0);
    const std::int32_t handle = nextCursorHandle_++;
    const std::string name = bracketed("vq_api_cursor_" + std::to_string(handle));
    // The cursor is declared through the engine's sp_executesql, so a
    // parameterised statement gets its typed values; a GLOBAL cursor
    // outlives that call and keeps the values it was declared with.
    std::vector<vqsql::CallArgument> arguments(2);
    arguments[0].type = vqsql::makeType(vqsql::BaseType::NVarChar, -1);
    arguments[0].value = vqsql::Value::fromText("DECLARE " + name + " CURSOR GLOBAL SCROLL STATIC READ_ONLY FOR " +
                                                statement + "\n;OPEN " + name);
    arguments[1].type = arguments[0].type;
    if ((scrollOptions & scroll_option::ParameterizedStatement) && call.parameters.size() > 5) {
        if (!call.parameters[5].value.isNull())
            arguments[1].value = vqsql::Value::fromText(call.parameters[5].value.text);
        for (vqsql::CallArgument& a : callArguments(call.parameters, 6)) {
            a.output = false;   // a cursor's parameters are read once, at its declaration
            arguments.push_back(std::move(a));
        }
    } else {
        arguments.resize(1);
    }
    attention_ = false;
    const vqsql::CallResult opened = connection_.call("sp_executesql", arguments);
    if (attention_ || !opened.result.ok()) {
        connection_.run("DEALLOCATE " + name);   // when the DECLARE ran; its error, if not, is no concern
        if (attention_)
            throw SqlException(vqsql::err::Timeout, "Query timeout expired");
        throw SqlException(opened.result.errors);
    }
    // Its row count, and its columns from a fetch that moves nowhere.
    const vqsql::BatchResult result = runCursorBatch("SELECT @@CURSOR_ROWS;FETCH RELATIVE 0 FROM " + name);
    if (result.resultSets.size() != 2)
        throw SqlException(vqsql::err::Unsupported,
                           "The engine does not support the procedure sp_cursoropen on this statement.");
    const long long rows = result.resultSets[result.resultSets.size() - 2].rows.at(0).at(0).toInt64();
    serverCursors_[handle] = ServerCursor{name, rows, 0, 0};

    vqsql::ResultSet columns = result.resultSets.back();
    columns.rows.clear();
    writeCursorRows(w, columns);
    w.returnStatus(0);
    const vqsql::Value given[] = {vqsql::Value::fromInteger(handle), vqsql::Value(),
                                  vqsql::Value::fromInteger(scroll_option::Static),
                                  vqsql::Value::fromInteger(concurrency_option::ReadOnly),
                                  vqsql::Value::fromInteger(rows)};
    for (std::size_t i = 0; i < std::min<std::size_t>(5, call.parameters.size()); ++i)
        if (i != 1 && call.parameters[i].isOutput())
            writeReturnValue(w, static_cast<std::uint16_t>(i), call.parameters[i], given[i], kIntType);
    return false;
}

ClientSession::ServerCursor& ClientSession::serverCursor(const RpcCall& call, const std::string& procedure)
{
    const std::optional<std::int64_t> handle = intParameter(call, 0);
    if (!handle)
        throw missingCursorParameter(procedure, "@cursor");
    auto it = serverCursors_.find(static_cast<std::int32_t>(*handle));
    if (it == serverCursors_.end())
        throw SqlException(16916, "A cursor with the name '" + std::to_string(*handle) + "' does not exist.", 1, 16);
    return it->second;
}

bool ClientSession::runCursorFetch(const RpcCall& call, TokenWriter& w)
{
    ServerCursor& cursor = serverCursor(call, "sp_cursorfetch");
    const std::int64_t type = intParameter(call, 1).value_or(fetch_type::Next);
    // An int on the wire; held to its range so the sums below cannot overflow.
    const std::int64_t rownum = std::clamp<std::int64_t>(intParameter(call, 2).value_or(0), INT32_MIN, INT32_MAX);
    std::int64_t wanted = std::clamp<std::int64_t>(intParameter(call, 3).value_or(kDefaultFetchRows), 0, kMostFetchRows);
    const long long n = cursor.rows;
    if (type == fetch_type::Info) {
        // The position of the fetch buffer and the cursor's rows, as OUTPUT values.
        w.returnStatus(0);
        const vqsql::Value info[] = {vqsql::Value::fromInteger(cursor.bufferStart), vqsql::Value::fromInteger(n)};
        for (std::size_t i = 2; i < std::min<std::size_t>(4, call.parameters.size()); ++i)
            if (call.parameters[i].isOutput())
                writeReturnValue(w, static_cast<std::uint16_t>(i), call.parameters[i], info[i - 2], kIntType);
        return false;
    }
    // The first row of the new fetch buffer (1-based); outside 1..n, none.
    long long start = 0;
    switch (type) {
    case fetch_type::First: start = 1; break;
    case fetch_type::Next: start = cursor.bufferStart < 1 ? 1 : cursor.bufferStart + cursor.bufferSize; break;
    case fetch_type::Prev:
        start = cursor.bufferStart > n ? n - wanted + 1 : cursor.bufferStart - wanted;
        if (start < 1 && cursor.bufferStart > 1)
            start = 1;
        break;
    case fetch_type::Last: start = std::max(1LL, n - wanted + 1); break;
    case fetch_type::Absolute: start = rownum > 0 ? rownum : rownum < 0 ? std::max(1LL, n + 1 + rownum) : 0; break;
    case fetch_type::Relative: start = cursor.bufferStart + rownum; break;
    case fetch_type::Refresh:
        start = cursor.bufferStart;
        wanted = cursor.bufferSize;
        break;
    default:
        throw SqlException(vqsql::err::Unsupported, "The engine does not support sp_cursorfetch with fetch type " +
                                                        std::to_string(type) + ".");
    }
    const long long count = start >= 1 && start <= n ? std::min<long long>(wanted, n - start + 1) : 0;
    std::string text = "FETCH ABSOLUTE " + std::to_string(count > 0 ? start : 0) + " FROM " + cursor.name;
    for (long long i = 1; i < count; ++i)
        text += ";FETCH NEXT FROM " + cursor.name;
    const vqsql::BatchResult result = runCursorBatch(text);
    vqsql::ResultSet rows = result.resultSets.at(0);
    rows.rows.clear();
    for (const vqsql::ResultSet& one : result.resultSets)
        for (const auto& row : one.rows)
            rows.rows.push_back(row);
    cursor.bufferStart = count > 0 ? start : start < 1 ? 0 : n + 1;
    cursor.bufferSize = count;
    writeCursorRows(w, rows);
    w.returnStatus(0);
    return false;
}

bool ClientSession::runCursorClose(const RpcCall& call, TokenWriter& w)
{
    ServerCursor& cursor = serverCursor(call, "sp_cursorclose");
    const std::string name = cursor.name;
    serverCursors_.erase(static_cast<std::int32_t>(*intParameter(call, 0)));
    runCursorBatch("CLOSE " + name + ";DEALLOCATE " + name);
    w.returnStatus(0);
    return false;
}

// The connection's server cursors end (a connection reset).
void ClientSession::closeServerCursors()
{
    for (const auto& [handle, cursor] : serverCursors_)
        connection_.run("DEALLOCATE " + cursor.name);
    serverCursors_.clear();
}

}  // namespace vqtdsserver
