// The executor's control statements: variables, SET options, transactions,
// USE, EXEC and the system procedures.
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

// Steps an expression's statement to its one row; a failure is reset and
// thrown as SQL Server's error.
void Session::stepToRow(sqlite3_stmt* stmt)
{
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW) {
        StepError e = stepError(rc);
        sqlite3_reset(stmt);
        throwStepError(e, nullptr, false);
    }
}

Value Session::evaluateScalar(const ast::Expr& e, const SqlType* target, RunState& st)
{
    // Keyed by the expression node and the target type's presence.
    const void* key = reinterpret_cast<const char*>(&e) + (target ? 1 : 0);
    Prepared& p = prepare(key, st, [&](Translator& tr) { return tr.scalar(e, target); });
    bindParameters(p, st);
    stepToRow(p.stmt);
    Value v = readColumn(p.stmt, 0, p.translation.columns[0].type);
    sqlite3_reset(p.stmt);
    return v;
}

bool Session::evaluateCondition(const ast::Expr& e, RunState& st)
{
    const void* key = reinterpret_cast<const char*>(&e) + 2;
    Prepared& p = prepare(key, st, [&](Translator& tr) { return tr.condition(e); });
    bindParameters(p, st);
    stepToRow(p.stmt);
    bool result = sqlite3_column_int(p.stmt, 0) != 0;
    sqlite3_reset(p.stmt);
    return result;
}

void Session::executeDeclare(const ast::DeclareStmt& s, RunState& st)
{
    for (const ast::VariableDecl& v : s.variables) {
        const std::string name = lowerAscii(v.name);
        if (isCursorType(v.type)) {
            st.cursorVariables[name].reset();
            continue;
        }
        auto t = st.types.find(name);
        if (t == st.types.end()) {
            // The type could not be resolved before the batch ran: report it.
            Translator tr(*this, st.types);
            SqlType type = tr.resolveType(v.type, "", 1);
            if (type.isText() && type.length == -2)
                type.length = 1;
            st.types[name] = VariableInfo{type, v.pos.offset};
            t = st.types.find(name);
        }
        if (v.init)
            st.values[name] = evaluateScalar(*v.init, &t->second.type, st);
        else if (!st.values.count(name))
            st.values[name] = Value::null();
    }
}

void Session::executeSet(const ast::SetVariableStmt& s, RunState& st)
{
    const std::string name = lowerAscii(s.variable);
    auto t = st.types.find(name);
    if (t == st.types.end() || t->second.declaredAt > s.pos.offset)
        throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + s.variable + "\".", s.pos.line);
    st.values[name] = evaluateScalar(*s.value, &t->second.type, st);
    rowCount_ = 1;
}

void Session::executeTransaction(const ast::Stmt& s, RunState& st)
{
    const std::string name = transactionNameValue(static_cast<const ast::SimpleStmt&>(s).name, st);
    switch (s.kind) {
    case ast::StmtKind::BeginTran:
        beginTransaction();
        if (tranCount_ == 1)
            transactionName_ = name;
        break;
    case ast::StmtKind::CommitTran: commit(); break;
    case ast::StmtKind::SaveTran: saveTransaction(name, s.pos.line); break;
    default: rollbackTransaction(name, s.pos.line); break;
    }
}

// SET IDENTITY_INSERT t ON|OFF, SET NOCOUNT, and the options SessionOptions
// keeps; they last for the session.
void Session::setOption(const ast::SetOptionStmt& s, RunState& st)
{
    if (s.option == "NOCOUNT") {
        noCount_ = equalsIgnoreCase(s.value, "on");
        return;
    }
    // Other options may change how statements translate.
    shapeCache_.clear();
    if (s.option != "IDENTITY_INSERT") {
        applySessionOption(options_, s.option, optionValue(s, st), s.pos.line);
        setThreadDateSettings(options_.dates);
        return;
    }
    const TableInfo* info = findTable(s.table.database(), s.table.last());
    if (!info || info->isView())
        throw SqlException(err::InvalidObject, "Invalid object name '" + s.table.toString() + "'.", s.pos.line);
    if (std::none_of(info->columns.begin(), info->columns.end(), [](const ColumnInfo& c) { return c.identity; }))
        throw SqlException(8106, "Table '" + info->name + "' does not have the identity property. Cannot perform SET "
                                                          "operation.",
                           s.pos.line);
    const std::string key = lowerAscii(info->database + "." + info->name);
    if (equalsIgnoreCase(s.value, "on"))
        identityInsert_.insert(key);
    else
        identityInsert_.erase(key);
}

// Switches the current database and says so as SQL Server does (message
// 5701), naming the database as sysdatabases spells it.
void Session::useDatabase(const ast::UseStmt& s, RunState& st)
{
    std::string alias = schemaFor(s.database);
    for (const auto& [key, a] : attached_)
        if (a.alias == alias)
            current_ = a.name;
    st.result->addMessage("Changed database context to '" + current_ + "'.");
}

// ---- EXEC and system procedures -------------------------------------------------

namespace {

// Appends what a nested batch (EXEC of a text) produced, in its order.
void mergeResult(BatchResult inner, BatchResult& outer)
{
    for (const BatchEvent& e : inner.events) {
        switch (e.kind) {
        case BatchEvent::Kind::ResultSet: outer.addResultSet(std::move(inner.resultSets[e.index])); break;
        case BatchEvent::Kind::Message:
            if (const SqlError* detail = inner.messageDetail(e.index))
                outer.addNumberedMessage(*detail);
            else
                outer.addMessage(std::move(inner.messages[e.index]));
            break;
        case BatchEvent::Kind::Error: outer.addError(std::move(inner.errors[e.index])); break;
        case BatchEvent::Kind::RowsAffected: outer.addRowsAffected(e.count); break;
        }
    }
}

}  // namespace

void Session::executeExec(const ast::ExecStmt& s, RunState& st)
{
    if (s.dynamicSql) {
        SqlType text = varcharType(-1);
        text.length = -1;
        Value sql = evaluateScalar(*s.dynamicSql, &text, st);
        BatchResult nested = runNested(sql.toString());
        const bool failed = !nested.ok();
        mergeResult(std::move(nested), *st.result);
        // Under SET XACT_ABORT ON an error of the text ends its caller too.
        if (failed && options_.isOn(option_bit::XactAbort))
            abortAfterError(st);
        return;
    }
    ast::ObjectName target = s.procedure;
    if (target.parts.size() == 1 && !target.last().empty() && target.last()[0] == '@') {
        // EXEC @name: the procedure named by a variable's value.
        const std::string variable = lowerAscii(target.last());
        if (!st.types.count(variable))
            throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + target.last() + "\".",
                               s.pos.line);
        auto v = st.values.find(variable);
        target.parts = splitProcedureName(v == st.values.end() ? std::string() : v->second.toString());
        if (target.parts.empty())
            target.parts.push_back("");
    }
    const std::string name = target.last();
    const std::string lower = lowerAscii(name);
    if (lower == "sp_executesql") {
        executeSqlStatement(s, st);
        return;
    }
    if (lower == "sp_helptext") {
        SqlType text = varcharType(-1);
        text.length = -1;
        if (s.args.empty() || !s.args[0].value)
            throw SqlException(201, "Procedure or function 'sp_helptext' expects parameter '@objname', which was "
                                    "not supplied.",
                               s.pos.line);
        helpText(evaluateScalar(*s.args[0].value, &text, st).toString(), st, s.pos.line);
        setReturnVariable(s, 0, st);
        return;
    }
    if (lower != "sp_addtype" && lower != "sp_droptype" && lower != "sp_rename") {
        if (std::shared_ptr<Procedure> proc = findProcedure(target)) {
            executeProcedureCall(*proc, s, st);
            return;
        }
    }
    systemProcedure(lower, s, st);
    setReturnVariable(s, 0, st);
}

void Session::systemProcedure(const std::string& name, const ast::ExecStmt& s, RunState& st)
{
    auto argText = [&](std::size_t i) -> std::string {
        if (i >= s.args.size() || !s.args[i].value)
            return {};
        SqlType text = varcharType(-1);
        text.length = -1;
        return evaluateScalar(*s.args[i].value, &text, st).toString();
    };
    if (name == "sp_addtype") {
        if (s.args.size() < 2)
            throw SqlException(201, "Procedure or function 'sp_addtype' expects parameter '@phystype', which was "
                                    "not supplied.",
                               s.pos.line);
        std::string typeName = argText(0);
        std::string base = argText(1);
        std::string nulls = lowerAscii(argText(2));
        ast::ExprPtr cast = parseExpression("CAST(NULL AS " + base + ")");
        std::optional<bool> nullable;
        if (nulls == "not null" || nulls == "nonull")
            nullable = false;
        else if (nulls == "null")
            nullable = true;
        createType(typeName, cast->type, nullable, s.pos);
        return;
    }
    if (name == "sp_droptype") {
        std::string typeName = argText(0);
        std::string alias = schemaFor("");
        Stmt q(db_, "DELETE FROM " + quoteIdent(alias) + ".systypes WHERE name = ?1 COLLATE vq_ci AND xusertype > 256");
        q.bind(1, typeName);
        q.step();
        if (sqlite3_changes(db_) == 0)
            throw SqlException(15032, "The type '" + typeName + "' does not exist.", s.pos.line);
        bumpSchemaGeneration();
        return;
    }
    if (name == "sp_rename") {
        renameObject(argText(0), argText(1), lowerAscii(argText(2)), s.pos.line);
        st.result->addMessage(
            "Caution: Changing any part of an object name could break scripts and stored procedures.");
        return;
    }
    throw SqlException(err::NoSuchProcedure, "Could not find stored procedure '" + s.procedure.last() + "'.",
                       s.pos.line);
}

namespace {

// "dbo.[T]" -> "T": sp_rename takes names with their schema and brackets.
std::string plainName(std::string name)
{
    name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return c == '[' || c == ']'; }), name.end());
    if (name.size() > 4 && equalsIgnoreCase(name.substr(0, 4), "dbo."))
        name = name.substr(4);
    return name;
}

}  // namespace

// sp_rename 'table', 'new' and sp_rename 'table.column', 'new', 'COLUMN':
// the SQLite table or column, the catalogue rows, the key column lists and
// the engine's index names ("<table>$<index>") follow the new name.
void Session::renameObject(const std::string& objectName, const std::string& newName, const std::string& kind,
                           int line)
{
    const std::string oldName = plainName(objectName);
    const std::string alias = schemaFor("");
    const std::string schema = quoteIdent(alias);
    withSavepoint([&] {
        if (kind == "column") {
            auto dot = oldName.rfind('.');
            std::string table = dot == std::string::npos ? std::string() : oldName.substr(0, dot);
            std::string column = oldName.substr(dot == std::string::npos ? 0 : dot + 1);
            const TableInfo* info = findTable("", table);
            if (!info || info->isView() || info->columnIndex(column) < 0)
                throw SqlException(15248, "Either the parameter @objname is ambiguous or the claimed @objtype "
                                          "(COLUMN) is wrong.",
                                   line);
            const int id = info->id;
            column = info->columns[static_cast<std::size_t>(info->columnIndex(column))].name;
            execSql(db_, "ALTER TABLE " + schema + "." + quoteIdent(info->name) + " RENAME COLUMN " +
                             quoteIdent(column) + " TO " + quoteIdent(newName));
            Stmt u(db_, "UPDATE " + schema + ".syscolumns SET name = ?1 WHERE id = ?2 AND name = ?3");
            u.bind(1, newName).bind(2, static_cast<std::int64_t>(id)).bind(3, column);
            u.step();
            // Key column lists ("a,b") of the table's keys.
            Stmt keys(db_, "SELECT id, keycols FROM " + schema + ".sysobjects WHERE parent_obj = ?1 AND keycols IS NOT NULL");
            keys.bind(1, static_cast<std::int64_t>(id));
            std::vector<std::pair<std::int64_t, std::string>> updates;
            while (keys.step()) {
                std::string list = "," + keys.columnText(1) + ",";
                std::string changed;
                std::size_t start = 1;
                while (start < list.size()) {
                    std::size_t comma = list.find(',', start);
                    std::string part = list.substr(start, comma - start);
                    changed += (changed.empty() ? "" : ",") + (equalsIgnoreCase(part, column) ? newName : part);
                    start = comma + 1;
                }
                updates.push_back({keys.columnInt(0), changed});
            }
            for (const auto& [keyId, list] : updates) {
                Stmt k(db_, "UPDATE " + schema + ".sysobjects SET keycols = ?1 WHERE id = ?2");
                k.bind(1, list).bind(2, keyId);
                k.step();
            }
            return;
        }
        {
            // A procedure: only its catalogue row is renamed; its stored
            // text keeps the name it was created with, as in SQL Server.
            Stmt proc(db_, "SELECT id FROM " + schema + ".sysobjects WHERE name = ?1 COLLATE vq_ci AND xtype = 'P'");
            proc.bind(1, oldName);
            if (proc.step()) {
                const std::int64_t id = proc.columnInt(0);
                proc.reset();
                Stmt taken(db_, "SELECT 1 FROM " + schema + ".sysobjects WHERE name = ?1 COLLATE vq_ci");
                taken.bind(1, newName);
                if (taken.step())
                    throw SqlException(15335, "Error: The new name '" + newName +
                                                  "' is already in use as a object name and would cause a duplicate "
                                                  "that is not permitted.",
                                       line);
                taken.reset();
                Stmt u(db_, "UPDATE " + schema + ".sysobjects SET name = ?1 WHERE id = ?2");
                u.bind(1, newName).bind(2, id);
                u.step();
                return;
            }
        }
        const TableInfo* info = findTable("", oldName);
        if (!info || info->xtype == "S")
            throw SqlException(15225, "No item by the name of '" + objectName +
                                          "' could be found in the current database '" + current_ +
                                          "', given that @itemtype was input as '(null)'.",
                               line);
        if (info->isView())
            throw SqlException(err::Unsupported, "The engine cannot rename a view; drop and create it again.", line);
        if (findTable("", newName))
            throw SqlException(15335, "Error: The new name '" + newName +
                                          "' is already in use as a object name and would cause a duplicate that is "
                                          "not permitted.",
                               line);
        const std::string old = info->name;
        const int id = info->id;
        // The engine's indexes are named after their table: made anew under the new name.
        std::vector<std::pair<std::string, std::string>> indexes;   // old name, SQL
        {
            Stmt q(db_, "SELECT name, sql FROM " + schema + ".sqlite_master WHERE type = 'index' AND tbl_name = ?1 "
                                                            "COLLATE NOCASE AND sql IS NOT NULL");
            q.bind(1, old);
            while (q.step())
                indexes.push_back({q.columnText(0), q.columnText(1)});
        }
        execSql(db_, "ALTER TABLE " + schema + "." + quoteIdent(old) + " RENAME TO " + quoteIdent(newName));
        for (const auto& [indexName, sql] : indexes) {
            const std::size_t dollar = indexName.find('$');
            if (dollar == std::string::npos)
                continue;
            const std::string renamed = newName + indexName.substr(dollar);
            std::string create = sql;
            const std::string quotedOld = quoteIdent(indexName);
            const std::size_t at = create.find(quotedOld);
            if (at == std::string::npos)
                continue;
            create.replace(at, quotedOld.size(), schema + "." + quoteIdent(renamed));
            std::size_t on = create.find(" ON ");
            if (on != std::string::npos) {
                std::size_t paren = create.find('(', on);
                create.replace(on, paren - on, " ON " + quoteIdent(newName) + " ");
            }
            execSql(db_, "DROP INDEX " + schema + "." + quotedOld);
            execSql(db_, create);
        }
        Stmt u(db_, "UPDATE " + schema + ".sysobjects SET name = ?1 WHERE id = ?2");
        u.bind(1, newName).bind(2, static_cast<std::int64_t>(id));
        u.step();
    });
}

}  // namespace vqsql
