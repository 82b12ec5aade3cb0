// The executor's Transact-SQL cursors: DECLARE ... CURSOR, SET @c = CURSOR,
// OPEN, FETCH, CLOSE, DEALLOCATE, @@FETCH_STATUS, @@CURSOR_ROWS and the
// positioned UPDATE / DELETE ... WHERE CURRENT OF.
//
// Every cursor kind is materialised when it is opened: OPEN runs the
// SELECT to its end and keeps the rows, so a loop whose body changes the
// table it reads sees the rows as they were at OPEN. What tells the kinds
// apart afterwards:
//   STATIC / INSENSITIVE  the rows as read at OPEN, read only;
//   KEYSET                a row deleted since OPEN fetches as status -2;
//   DYNAMIC, FAST_FORWARD and the default: a deleted row is passed over.
// When the SELECT reads one base table, each row keeps that table's rowid:
// that is how deleted rows are noticed and how WHERE CURRENT OF finds the
// row to change. Values changed in the table after OPEN are not re-read.
//
// Variables in the SELECT take the values they had at DECLARE (SQL Server
// binds them there), so a global cursor can be opened in a later batch.
#include "session.h"
#include "session_internal.h"

#include "parser.h"
#include "sqlite_util.h"

#include <algorithm>

namespace vqsql {

namespace {

constexpr int kCursorExists = 16915;
constexpr int kCursorMissing = 16916;
constexpr int kCursorAlreadyOpen = 16905;
constexpr int kCursorNotOpen = 16917;
constexpr int kFetchForwardOnly = 16911;
constexpr int kFetchIntoCount = 16924;
constexpr int kCursorReadOnly = 16929;
constexpr int kRowNotInBuffer = 16930;
constexpr int kColumnNotInUpdateList = 16932;
constexpr int kTableNotInCursor = 16933;
constexpr int kNotCursorVariable = 16948;
constexpr int kNoCursorAllocated = 16950;

// The variable the executor fills with a fetched value to convert it to
// an INTO variable's type.
constexpr const char* kFetchedValue = "@vq_fetched_value";

const char* orientationName(ast::FetchStmt::Orientation o)
{
    switch (o) {
    case ast::FetchStmt::Orientation::Next: return "Next";
    case ast::FetchStmt::Orientation::Prior: return "Prior";
    case ast::FetchStmt::Orientation::First: return "First";
    case ast::FetchStmt::Orientation::Last: return "Last";
    case ast::FetchStmt::Orientation::Absolute: return "Absolute";
    case ast::FetchStmt::Orientation::Relative: return "Relative";
    }
    return "";
}

bool sameType(const SqlType& a, const SqlType& b)
{
    return a.base == b.base && a.length == b.length && a.precision == b.precision && a.scale == b.scale;
}

}  // namespace

// One declared cursor, named or held by a cursor variable.
struct Session::DeclaredCursor {
    std::string name;             // as declared ("" for SET @c = CURSOR ...)
    bool scrollable = false;      // every FETCH orientation, not only NEXT
    bool readOnly = false;        // refuses WHERE CURRENT OF
    bool staticRows = false;      // STATIC / INSENSITIVE: deletions are not noticed
    bool keyset = false;          // KEYSET: a deleted row fetches as -2 (else it is passed over)
    std::vector<std::string> updateColumns;   // FOR UPDATE OF ...
    // The SELECT parsed on its own (it outlives the declaring batch) and
    // the variables it reads, as they were at DECLARE.
    std::shared_ptr<CachedBatch> select;
    VariableTypes types;
    std::map<std::string, Value> values;
    // Conversions of fetched values to INTO variables, by column, variable and type.
    std::map<std::string, std::unique_ptr<ast::Expr>> conversions;

    // While open:
    bool open = false;
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
    std::vector<std::int64_t> rowids;   // parallel to rows when the SELECT reads one base table
    std::vector<bool> deleted;          // rows deleted through WHERE CURRENT OF
    std::string baseDatabase, baseTable;
    std::size_t position = 0;           // 0 before the first row, rows.size() + 1 after the last

    bool onRow() const { return position >= 1 && position <= rows.size(); }
};

// ---- finding cursors ------------------------------------------------------------

std::shared_ptr<Session::DeclaredCursor> Session::findCursor(const ast::CursorRef& ref, RunState& st)
{
    const std::string key = lowerAscii(ref.name);
    if (!ref.name.empty() && ref.name[0] == '@') {
        auto var = st.cursorVariables.find(key);
        if (var == st.cursorVariables.end()) {
            if (st.types.count(key))
                throw SqlException(kNotCursorVariable,
                                   "The variable '" + ref.name +
                                       "' is not a cursor variable, but it is used in a place where a cursor "
                                       "variable is expected.",
                                   ref.pos.line);
            throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + ref.name + "\".",
                               ref.pos.line, 15);
        }
        if (!var->second)
            throw SqlException(kNoCursorAllocated,
                               "The variable '" + ref.name + "' does not currently have a cursor allocated to it.",
                               ref.pos.line);
        return var->second;
    }
    if (!ref.global) {
        auto local = st.localCursors.find(key);
        if (local != st.localCursors.end())
            return local->second;
    }
    auto global = globalCursors_.find(key);
    if (global != globalCursors_.end())
        return global->second;
    throw SqlException(kCursorMissing, "A cursor with the name '" + ref.name + "' does not exist.", ref.pos.line);
}

// ---- DECLARE, OPEN, CLOSE, DEALLOCATE ----------------------------------------------

void Session::declareCursor(const ast::DeclareCursorStmt& s, RunState& st)
{
    auto cursor = std::make_shared<DeclaredCursor>();
    cursor->name = s.name;
    using Sensitivity = ast::DeclareCursorStmt::Sensitivity;
    cursor->scrollable =
        s.scroll || (!s.forwardOnly && (s.sensitivity == Sensitivity::Static || s.sensitivity == Sensitivity::Keyset ||
                                        s.sensitivity == Sensitivity::Dynamic));
    cursor->staticRows = s.sensitivity == Sensitivity::Static;
    cursor->keyset = s.sensitivity == Sensitivity::Keyset;
    cursor->readOnly = s.concurrency == ast::DeclareCursorStmt::Concurrency::ReadOnly || cursor->staticRows ||
                       s.sensitivity == Sensitivity::FastForward;
    cursor->updateColumns = s.updateColumns;
    // The SELECT's own text, parsed apart from the batch; what stands
    // before it keeps its line numbers.
    const std::string& text = st.cache->batch->text;
    std::string select = std::string(static_cast<std::size_t>(std::count(
                                         text.begin(), text.begin() + static_cast<std::ptrdiff_t>(s.queryOffset), '\n')),
                                     '\n') +
                         text.substr(s.queryOffset, s.queryEnd - s.queryOffset);
    cursor->select = std::make_shared<CachedBatch>();
    cursor->select->batch = parseBatch(select, options_.isOn(option_bit::QuotedIdentifier));
    if (cursor->select->batch->statements.size() != 1 ||
        cursor->select->batch->statements[0]->kind != ast::StmtKind::Select)
        throw SqlException(err::Unsupported, "The engine does not support this cursor's SELECT.", s.pos.line);
    for (const auto& [name, info] : st.types)
        if (info.declaredAt <= s.pos.offset)
            cursor->types[name] = VariableInfo{info.type, 0};
    cursor->values = st.values;

    if (!s.variable.empty()) {
        const std::string key = lowerAscii(s.variable);
        auto var = st.cursorVariables.find(key);
        if (var == st.cursorVariables.end())
            findCursor(ast::CursorRef{s.variable, false, s.pos}, st);   // throws the right error
        var->second = std::move(cursor);
        return;
    }
    const bool local = s.local.value_or(false);
    auto& scope = local ? st.localCursors : globalCursors_;
    const std::string key = lowerAscii(s.name);
    if (scope.count(key))
        throw SqlException(kCursorExists, "A cursor with the name '" + s.name + "' already exists.", s.pos.line);
    scope[key] = std::move(cursor);
}

void Session::openDeclaredCursor(DeclaredCursor& cursor, int line)
{
    if (cursor.open)
        throw SqlException(kCursorAlreadyOpen, "The cursor is already open.", line);
    RunState st;
    BatchResult ignored;
    st.result = &ignored;
    st.cache = cursor.select.get();
    st.types = cursor.types;
    st.values = cursor.values;
    const auto& select = static_cast<const ast::SelectStmt&>(*cursor.select->batch->statements[0]);
    Prepared& p = prepare(&select, st, [&](Translator& tr) { return tr.cursorQuery(*select.query); });
    if (!p.translation.assignTargets.empty())
        throw SqlException(16938,
                           "sp_cursoropen/sp_cursorprepare: The statement parameter can only be a batch or a stored "
                           "procedure with a single select, without FOR BROWSE, COMPUTE BY, or variable "
                           "assignments.",
                           line);
    bindParameters(p, st);
    const bool withRowids = !p.translation.rowidTable.empty();
    const int rowidColumn = static_cast<int>(p.translation.columns.size());
    cursor.columns = p.translation.columns;
    cursor.rows.clear();
    cursor.rowids.clear();
    while (stepRow(p.stmt)) {
        cursor.rows.push_back(readRow(p.stmt, cursor.columns));
        if (withRowids)
            cursor.rowids.push_back(sqlite3_column_int64(p.stmt, rowidColumn));
    }
    cursor.baseDatabase = p.translation.rowidDatabase;
    cursor.baseTable = p.translation.rowidTable;
    cursor.deleted.assign(cursor.rows.size(), false);
    cursor.position = 0;
    cursor.open = true;
}

void Session::closeDeclaredCursor(DeclaredCursor& cursor)
{
    cursor.open = false;
    cursor.rows.clear();
    cursor.rowids.clear();
    cursor.deleted.clear();
    cursor.position = 0;
}

void Session::executeCursorStatement(const ast::CursorStmt& s, RunState& st)
{
    std::shared_ptr<DeclaredCursor> cursor = findCursor(s.cursor, st);
    switch (s.kind) {
    case ast::StmtKind::OpenCursor:
        openDeclaredCursor(*cursor, s.pos.line);
        lastOpened_ = cursor;
        break;
    case ast::StmtKind::CloseCursor:
        if (!cursor->open)
            throw SqlException(kCursorNotOpen, "Cursor is not open.", s.pos.line);
        closeDeclaredCursor(*cursor);
        break;
    default: {
        // DEALLOCATE: the name (or the variable's reference) goes; the
        // cursor itself goes with its last reference.
        const std::string key = lowerAscii(s.cursor.name);
        if (s.cursor.name[0] == '@') {
            st.cursorVariables[key].reset();
        } else if (!s.cursor.global && st.localCursors.count(key)) {
            st.localCursors.erase(key);
        } else {
            globalCursors_.erase(key);
        }
        if (cursor.use_count() == 1)
            closeDeclaredCursor(*cursor);
        break;
    }
    }
}

// ---- FETCH ------------------------------------------------------------------------

namespace {

// Whether the row at `rowid` is still in `table`.
bool rowExists(sqlite3* db, const TableInfo& table, std::int64_t rowid)
{
    Stmt q(db, "SELECT 1 FROM " + quoteIdent(table.schemaAlias) + "." + quoteIdent(table.name) + " WHERE rowid = ?1");
    q.bind(1, rowid);
    return q.step();
}

}  // namespace

// Whether the cursor's row `index` (1-based) is gone from its base table.
bool Session::cursorRowGone(DeclaredCursor& cursor, std::size_t index)
{
    if (cursor.staticRows || cursor.rowids.empty())
        return false;
    if (cursor.deleted[index - 1])
        return true;
    const TableInfo* table = findTable(cursor.baseDatabase, cursor.baseTable);
    if (!table || !rowExists(db_, *table, cursor.rowids[index - 1])) {
        cursor.deleted[index - 1] = true;
        return true;
    }
    return false;
}

void Session::executeFetch(const ast::FetchStmt& s, RunState& st)
{
    std::shared_ptr<DeclaredCursor> cursor = findCursor(s.cursor, st);
    if (!cursor->open)
        throw SqlException(kCursorNotOpen, "Cursor is not open.", s.pos.line);
    using Orientation = ast::FetchStmt::Orientation;
    if (!cursor->scrollable && s.orientation != Orientation::Next)
        throw SqlException(kFetchForwardOnly,
                           std::string("fetch: The fetch type ") + orientationName(s.orientation) +
                               " cannot be used with forward only cursors.",
                           s.pos.line);
    if (!s.into.empty() && s.into.size() != cursor->columns.size())
        throw SqlException(kFetchIntoCount,
                           "Cursorfetch: The number of variables declared in the INTO list must match that of "
                           "selected columns.",
                           s.pos.line);
    for (std::size_t i = 0; i < s.into.size(); ++i) {
        auto t = st.types.find(lowerAscii(s.into[i]));
        if (t == st.types.end() || t->second.declaredAt > s.intoPos[i].offset)
            throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + s.into[i] + "\".",
                               s.intoPos[i].line, 15);
    }
    long long offset = 0;
    if (s.offset) {
        const SqlType target = makeType(BaseType::Int);
        Value v = evaluateScalar(*s.offset, &target, st);
        offset = v.isNull() ? 0 : v.toInt64();
    }

    // The new position: 0 before the first row, n + 1 after the last.
    const auto n = static_cast<long long>(cursor->rows.size());
    const auto here = static_cast<long long>(cursor->position);
    long long target = 0;
    int step = 1;   // the direction in which a deleted row is passed over
    switch (s.orientation) {
    case Orientation::Next: target = here + 1; break;
    case Orientation::Prior: target = here - 1; step = -1; break;
    case Orientation::First: target = 1; break;
    case Orientation::Last: target = n; step = -1; break;
    case Orientation::Absolute: target = offset > 0 ? offset : offset < 0 ? n + 1 + offset : 0; break;
    case Orientation::Relative:
        target = here + offset;
        step = offset < 0 ? -1 : 1;
        break;
    }
    if (s.orientation == Orientation::Absolute && offset == 0)
        target = 0;
    target = std::clamp(target, 0LL, n + 1);
    int status = 0;
    if (target >= 1 && target <= n && cursorRowGone(*cursor, static_cast<std::size_t>(target))) {
        if (cursor->keyset) {
            status = -2;
        } else {
            // A dynamic cursor no longer has the row: the next one that way.
            while (target >= 1 && target <= n && cursorRowGone(*cursor, static_cast<std::size_t>(target)))
                target += step;
        }
    }
    cursor->position = static_cast<std::size_t>(target);
    if (status == 0 && !cursor->onRow())
        status = -1;
    fetchStatus_ = status;

    const std::vector<Value>* row = status == 0 ? &cursor->rows[cursor->position - 1] : nullptr;
    if (s.into.empty()) {
        ResultSet rs;
        rs.columns = cursor->columns;
        if (row)
            rs.rows.push_back(*row);
        rs.countShown = !noCount_;
        rowCount_ = row ? 1 : 0;
        st.result->addResultSet(std::move(rs));
        return;
    }
    rowCount_ = row ? 1 : 0;
    if (!row)
        return;   // the variables keep their values
    for (std::size_t i = 0; i < s.into.size(); ++i) {
        const std::string name = lowerAscii(s.into[i]);
        const SqlType& type = st.types[name].type;
        st.values[name] = convertFetched(*cursor, i, (*row)[i], type);
    }
}

// A fetched value in the type of the variable it goes into, converted as
// SET @v = value would convert it.
Value Session::convertFetched(DeclaredCursor& cursor, std::size_t column, const Value& value, const SqlType& type)
{
    const SqlType& from = cursor.columns[column].type;
    if (value.isNull() || sameType(from, type))
        return value;
    const std::string key = std::to_string(column) + "|" + type.toString() + "|" + type.userTypeName;
    auto& expr = cursor.conversions[key];
    if (!expr) {
        expr = std::make_unique<ast::Expr>();
        expr->kind = ast::ExprKind::Variable;
        expr->text = kFetchedValue;
    }
    RunState st;
    BatchResult ignored;
    st.result = &ignored;
    st.cache = cursor.select.get();
    st.types[kFetchedValue] = VariableInfo{from, 0};
    st.values[kFetchedValue] = value;
    return evaluateScalar(*expr, &type, st);
}

// ---- WHERE CURRENT OF ---------------------------------------------------------------

// For an UPDATE or DELETE ... WHERE CURRENT OF: checks that the cursor may
// change its current row in the statement's table and binds that row's
// rowid for the statement ("@@cursor_row"); nullptr for any other statement.
std::shared_ptr<Session::DeclaredCursor> Session::bindCurrentRow(const ast::Stmt& s, RunState& st)
{
    const ast::CursorRef* ref = nullptr;
    const ast::ObjectName* table = nullptr;
    const ast::UpdateStmt* update = nullptr;
    if (s.kind == ast::StmtKind::Update) {
        update = &static_cast<const ast::UpdateStmt&>(s);
        ref = &update->currentOf;
        table = &update->table;
    } else if (s.kind == ast::StmtKind::Delete) {
        ref = &static_cast<const ast::DeleteStmt&>(s).currentOf;
        table = &static_cast<const ast::DeleteStmt&>(s).table;
    }
    if (!ref || ref->empty())
        return nullptr;
    std::shared_ptr<DeclaredCursor> cursor = findCursor(*ref, st);
    if (!cursor->open)
        throw SqlException(kCursorNotOpen, "Cursor is not open.", s.pos.line);
    if (cursor->readOnly || (cursor->rowids.empty() && !cursor->rows.empty()))
        throw SqlException(kCursorReadOnly, "The cursor is READ ONLY.", s.pos.line);
    const TableInfo* target = findTable(table->database(), table->last());
    if (!target || cursor->baseTable.empty() || !equalsIgnoreCase(target->name, cursor->baseTable) ||
        !equalsIgnoreCase(target->database, cursor->baseDatabase))
        throw SqlException(kTableNotInCursor,
                           "The cursor does not include the table being modified or the table is not updatable "
                           "through the cursor.",
                           s.pos.line);
    if (!cursor->onRow() || cursorRowGone(*cursor, cursor->position))
        throw SqlException(kRowNotInBuffer, "The requested row is not in the fetch buffer.", s.pos.line);
    if (update && !cursor->updateColumns.empty()) {
        for (const ast::Assignment& a : update->assignments) {
            if (a.column.empty())
                continue;
            const bool listed = std::any_of(cursor->updateColumns.begin(), cursor->updateColumns.end(),
                                            [&](const std::string& c) { return equalsIgnoreCase(c, a.column.last()); });
            if (!listed)
                throw SqlException(kColumnNotInUpdateList,
                                   "The cursor has a FOR UPDATE list and the requested column to be updated is not "
                                   "in this list.",
                                   s.pos.line);
        }
    }
    st.values["@@cursor_row"] = Value::fromInteger(cursor->rowids[cursor->position - 1]);
    return cursor;
}

void Session::noteCurrentRowChanged(DeclaredCursor& cursor, bool deleted)
{
    if (deleted && cursor.onRow())
        cursor.deleted[cursor.position - 1] = true;
}

// ---- @@CURSOR_ROWS and CURSOR_STATUS ----------------------------------------------------

// The rows of the cursor last opened: -1 for a dynamic one (SQL Server
// does not count them), 0 once it is closed or gone.
long long Session::cursorRows() const
{
    std::shared_ptr<DeclaredCursor> last = lastOpened_.lock();
    if (!last || !last->open)
        return 0;
    if (!last->staticRows && !last->keyset)
        return -1;
    return static_cast<long long>(last->rows.size());
}

// CURSOR_STATUS('local' | 'global' | 'variable', name): 1 open with rows
// (always for a dynamic cursor), 0 open and empty, -1 closed, -2 a
// variable without a cursor, -3 no such cursor or variable.
int Session::cursorStatus(const std::string& parameter, RunState& st) const
{
    // "@@cursor_status:scope:name", as the translator names it.
    const std::string rest = parameter.substr(std::char_traits<char>::length(kCursorStatusParameter));
    const std::size_t colon = rest.find(':');
    const std::string scope = rest.substr(0, colon);
    const std::string key = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
    std::shared_ptr<DeclaredCursor> cursor;
    if (equalsIgnoreCase(scope, "variable")) {
        auto var = st.cursorVariables.find(key);
        if (var == st.cursorVariables.end())
            return -3;
        if (!var->second)
            return -2;
        cursor = var->second;
    } else {
        const auto& cursors = equalsIgnoreCase(scope, "local") ? st.localCursors : globalCursors_;
        auto found = cursors.find(key);
        if (found == cursors.end())
            return -3;
        cursor = found->second;
    }
    if (!cursor->open)
        return -1;
    if (!cursor->staticRows && !cursor->keyset)
        return 1;
    return cursor->rows.empty() ? 0 : 1;
}

}  // namespace vqsql
