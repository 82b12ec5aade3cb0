// Cursors: the rows of one SELECT read on demand from a live SQLite
// statement, through the same translation, preparation and value
// conversion as a SELECT in a batch.
#include "session.h"
#include "session_internal.h"

#include <utility>

namespace vqsql {

namespace {

// The one SELECT statement of a cursor's text; anything else is refused.
const ast::SelectStmt& singleSelect(const ast::Batch& batch)
{
    const auto& statements = batch.statements;
    if (statements.size() != 1)
        throw SqlException(err::Unsupported,
                           "A cursor reads one SELECT statement; the text holds " +
                               std::to_string(statements.size()) + " statements.");
    if (statements.front()->kind != ast::StmtKind::Select)
        throw SqlException(err::Unsupported, "A cursor reads only a SELECT statement.", statements.front()->pos.line);
    return static_cast<const ast::SelectStmt&>(*statements.front());
}

}  // namespace

// ---- the session's side ------------------------------------------------------------

SqlError Session::connectionBusyError()
{
    return SqlError{err::ConnectionBusy, 16, 1, 1,
                    "The connection is busy with the results of an open cursor. Read the cursor to its end or "
                    "close it first."};
}

void Session::refuseWhileCursorOpen() const
{
    if (cursor_)
        throw SqlException(std::vector<SqlError>{connectionBusyError()});
}

std::shared_ptr<Session::CursorState> Session::openCursor(const std::string& text)
{
    refuseWhileCursorOpen();
    CommandScope command(*this);
    std::shared_ptr<CachedBatch> cached = parsedBatch(text);
    const ast::SelectStmt& select = singleSelect(*cached->batch);

    BatchResult reported;
    RunState st;
    st.result = &reported;
    st.cache = cached.get();
    Prepared* prepared = nullptr;
    try {
        checkDeadline();
        prepared = &prepareSelect(select, st);
        if (!prepared->translation.assignTargets.empty())
            throw SqlException(err::Unsupported, "A cursor reads no SELECT that assigns variables.", select.pos.line);
    } catch (const std::exception&) {
        // Reported as the same SELECT fails in a batch; a database its
        // three-part names opened is let go again.
        reportFailure(currentErrors(select), select, st);
        detachUnused();
        if (reported.errors.empty())
            throw;
        throw SqlException(reported.errors);
    }
    auto cursor = std::make_shared<CursorState>();
    cursor->session = this;
    cursor->batch = std::move(cached);
    cursor->statement = &select;
    cursor->prepared = prepared;
    cursor_ = cursor;
    lastError_ = 0;
    return cursor;
}

std::size_t Session::fetch(CursorState& cursor, std::size_t count, std::vector<std::vector<Value>>& out)
{
    if (cursor_.get() != &cursor || count == 0)
        return 0;
    CommandScope command(*this);
    sqlite3_stmt* stmt = cursor.prepared->stmt;
    const std::vector<Column>& columns = cursor.prepared->translation.columns;
    std::size_t fetched = 0;
    try {
        checkDeadline();
        // SET ROWCOUNT ends the rows a cursor reads as it ends a SELECT's.
        const long long limit = options_.rowCount;
        while (fetched < count && (limit == 0 || cursor.rowsRead + static_cast<long long>(fetched) < limit) &&
               stepRow(stmt)) {
            out.push_back(readRow(stmt, columns));
            ++fetched;
        }
    } catch (const std::exception&) {
        BatchResult reported;
        RunState st;
        st.result = &reported;
        reportFailure(currentErrors(*cursor.statement), *cursor.statement, st);
        cursor.rowsRead += static_cast<long long>(fetched);
        closeCursor();
        if (reported.errors.empty())
            throw;
        throw SqlException(reported.errors);
    }
    cursor.rowsRead += static_cast<long long>(fetched);
    if (fetched < count)
        closeCursor();
    return fetched;
}

void Session::closeCursor()
{
    if (!cursor_)
        return;
    std::shared_ptr<CursorState> cursor = std::move(cursor_);
    // Resetting ends the statement's read transaction (in autocommit mode),
    // so that checkpoints can pass the snapshot it was reading.
    sqlite3_reset(cursor->prepared->stmt);
    cursor->prepared = nullptr;
    rowCount_ = cursor->rowsRead;
    detachUnused();
}

// ---- the client's side ---------------------------------------------------------------

RowCursor::RowCursor() : impl_(std::make_unique<Impl>())
{
    impl_->closed = true;
}

RowCursor::RowCursor(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

RowCursor::~RowCursor()
{
    try {
        close();
    } catch (...) {
        // Closing only resets a statement and lets databases go.
    }
}

RowCursor::RowCursor(RowCursor&& other) noexcept : impl_(std::exchange(other.impl_, nullptr)) {}

RowCursor& RowCursor::operator=(RowCursor&& other) noexcept
{
    if (this != &other) {
        try {
            close();
        } catch (...) {
        }
        impl_ = std::exchange(other.impl_, nullptr);
    }
    return *this;
}

const std::vector<Column>& RowCursor::columns() const
{
    static const std::vector<Column> none;
    return impl_ ? impl_->columns : none;
}

std::size_t RowCursor::fetch(std::size_t count, std::vector<std::vector<Value>>& out)
{
    if (!impl_ || impl_->closed)
        return 0;
    std::shared_ptr<Session::CursorState> state = impl_->state.lock();
    if (!state)
        throw SqlException(err::Internal, "The connection of the cursor is closed.");
    try {
        const std::size_t fetched = state->session->fetch(*state, count, out);
        if (!state->prepared)
            impl_->closed = true;
        return fetched;
    } catch (...) {
        impl_->closed = true;
        throw;
    }
}

bool RowCursor::atEnd() const
{
    return !impl_ || impl_->closed || impl_->state.expired();
}

void RowCursor::close()
{
    if (!impl_ || impl_->closed)
        return;
    impl_->closed = true;
    if (std::shared_ptr<Session::CursorState> state = impl_->state.lock())
        state->session->closeCursor();
}

}  // namespace vqsql
