// The executor's SELECT, INSERT, UPDATE and DELETE: preparing, stepping and reading rows.
#include "session.h"
#include "session_internal.h"

#include "foreign_keys.h"
#include "functions.h"
#include "information_schema.h"
#include "gbk.h"
#include "instance.h"
#include "parser.h"
#include "view_update.h"
#include "password_hash.h"
#include "sqlite_util.h"
#include "version.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <new>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace vqsql {

namespace {

// "The maximum recursion n has been exhausted before statement completion."
constexpr int kMaxRecursionExhausted = 530;

}  // namespace

// ---- statements -------------------------------------------------------------------

Session::Prepared& Session::prepareSelect(const ast::SelectStmt& s, RunState& st)
{
    Prepared& p = prepare(&s, st, [&](Translator& tr) { return tr.select(s); });
    bindParameters(p, st);
    return p;
}

bool Session::stepRow(sqlite3_stmt* stmt)
{
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(stmt);
        return false;
    }
    StepError e = stepError(rc);
    sqlite3_reset(stmt);
    throwStepError(e, nullptr, false);
}

std::vector<Value> Session::readRow(sqlite3_stmt* stmt, const std::vector<Column>& columns) const
{
    std::vector<Value> row;
    row.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        row.push_back(readColumn(stmt, static_cast<int>(i), columns[i].type));
        if (isTextSizeLimited(columns[i].type) && !row.back().isNull())
            row.back().text = truncateToTextSize(row.back().text, columns[i].type, options_.textSize);
    }
    return row;
}

void Session::executeSelect(const ast::SelectStmt& s, RunState& st)
{
    if (!s.query->blocks.empty() && !s.query->blocks[0]->into.empty()) {
        selectInto(s, st);
        return;
    }
    Prepared& p = prepareSelect(s, st);
    const auto& cols = p.translation.columns;
    const bool assigning = !p.translation.assignTargets.empty();
    ResultSet rs;
    if (!assigning)
        rs.columns = cols;
    long long rows = 0;
    try {
        while ((options_.rowCount == 0 || rows < options_.rowCount) && stepRow(p.stmt)) {
            ++rows;
            if (assigning) {
                for (std::size_t i = 0; i < p.translation.assignTargets.size(); ++i)
                    st.values[p.translation.assignTargets[i]] = readColumn(p.stmt, static_cast<int>(i), cols[i].type);
                continue;
            }
            rs.rows.push_back(readRow(p.stmt, cols));
        }
    } catch (const SqlException& e) {
        // A recursive query that reaches its recursion limit has sent its
        // rows so far when SQL Server stops it (error 530); so do we.
        if (e.number() == kMaxRecursionExhausted && !assigning) {
            rs.countShown = false;
            st.result->addResultSet(std::move(rs));
        }
        throw;
    }
    sqlite3_reset(p.stmt);   // a SET ROWCOUNT limit may have stopped it early
    rowCount_ = rows;
    rs.countShown = !noCount_;
    if (!assigning)
        st.result->addResultSet(std::move(rs));
}

void Session::executeDml(const ast::Stmt& s, RunState& st)
{
    const TableInfo* target = nullptr;
    bool isUpdate = s.kind == ast::StmtKind::Update;
    Prepared& p = prepare(&s, st, [&](Translator& tr) {
        switch (s.kind) {
        case ast::StmtKind::Insert: return tr.insert(static_cast<const ast::InsertStmt&>(s));
        case ast::StmtKind::Update: return tr.update(static_cast<const ast::UpdateStmt&>(s));
        default: return tr.remove(static_cast<const ast::DeleteStmt&>(s));
        }
    });
    // WHERE CURRENT OF: the cursor's row bound before the parameters are.
    const std::shared_ptr<DeclaredCursor> positioned = bindCurrentRow(s, st);
    bindParameters(p, st);
    int rc;
    if (options_.rowCount > 0) {
        const ast::ObjectName& table = s.kind == ast::StmtKind::Insert   ? static_cast<const ast::InsertStmt&>(s).table
                                       : s.kind == ast::StmtKind::Update ? static_cast<const ast::UpdateStmt&>(s).table
                                                                         : static_cast<const ast::DeleteStmt&>(s).table;
        rc = stepWithRowLimit(p.stmt, findTable(table.database(), table.last()));
    } else {
        rc = sqlite3_step(p.stmt);
    }
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        StepError e = stepError(rc);
        sqlite3_reset(p.stmt);
        const ast::ObjectName* name = nullptr;
        if (s.kind == ast::StmtKind::Insert)
            name = &static_cast<const ast::InsertStmt&>(s).table;
        else if (s.kind == ast::StmtKind::Update)
            name = &static_cast<const ast::UpdateStmt&>(s).table;
        else
            name = &static_cast<const ast::DeleteStmt&>(s).table;
        target = findTable(name->database(), name->last());
        if (target && target->isView())
            target = &changedBaseTable(s, *target, *this);
        try {
            throwStepError(e, target, isUpdate);
        } catch (SqlException& error) {
            // SQL Server follows a failed data statement with this notice.
            std::vector<SqlError> errors = error.errors();
            errors.push_back(SqlError{3621, 0, 0, s.pos.line, "The statement has been terminated."});
            throw SqlException(errors);
        }
    }
    sqlite3_reset(p.stmt);
    rowCount_ = sqlite3_changes(db_);
    if (positioned)
        noteCurrentRowChanged(*positioned, s.kind == ast::StmtKind::Delete && rowCount_ > 0);
    if (s.kind == ast::StmtKind::Insert) {
        identity_ = p.translation.identityTarget && rowCount_ > 0
                        ? lastIdentity(static_cast<const ast::InsertStmt&>(s).table)
                        : 0;
        // SCOPE_IDENTITY() follows this scope's own inserts only; an UPDATE
        // or DELETE leaves it alone.
        if (identity_)
            noteScopeIdentity(identity_);
    }
    st.result->addRowsAffected(rowCount_, !noCount_);
}

// @@IDENTITY after an insert: the identity value of the last row, or
// NULL (0) for a table without an identity column.
std::int64_t Session::lastIdentity(const ast::ObjectName& table)
{
    const TableInfo* info = findTable(table.database(), table.last());
    if (!info)
        return 0;
    for (const ColumnInfo& c : info->columns) {
        if (!c.identity)
            continue;
        if (c.defaultText.empty())
            return sqlite3_last_insert_rowid(db_);
        Stmt q(db_, "SELECT max(" + quoteIdent(c.name) + ") FROM " + quoteIdent(info->schemaAlias) + "." +
                        quoteIdent(info->name));
        q.step();
        return q.columnInt(0);
    }
    return 0;
}

}  // namespace vqsql
