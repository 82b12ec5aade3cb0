// The executor's stored procedures: CREATE / ALTER / DROP PROCEDURE, calls
// with their arguments, OUTPUT parameters and return status, sp_executesql
// with typed parameters, sp_helptext, and the typed call API that a
// network server's remote procedure calls use.
//
// A procedure's text lives in its sysobjects row (xtype 'P', the text in
// `definition`, as a view's does); it is parsed once per definition and
// its prepared statements stay with that parse. A call runs the body one
// nesting level deeper with its own variables (the parameters first), its
// results going straight into the caller's result in their order.
#include "session.h"
#include "session_internal.h"

#include "parser.h"
#include "sqlite_util.h"

#include <algorithm>
#include <map>
#include <set>

namespace vqsql {

namespace {

constexpr std::size_t kDynamicCacheLimit = 256;

SqlType nvarcharMax()
{
    return makeType(BaseType::NVarChar, -1);
}

// An error of a call's binding: SQL Server names the procedure and line 0.
SqlException callError(int number, int state, const std::string& message, const std::string& procedure, int line)
{
    SqlError e{number, 16, state, line, message, procedure};
    return SqlException(std::vector<SqlError>{e});
}

// The type name SQL Server's conversion error 8114 gives the value passed.
std::string argumentTypeName(const ast::Expr& e, const VariableTypes& types)
{
    if (e.kind == ast::ExprKind::Variable) {
        auto t = types.find(lowerAscii(e.text));
        return t == types.end() ? std::string("int") : t->second.type.baseName();
    }
    if (e.kind == ast::ExprKind::Literal)
        return literalType(e).baseName();
    return "varchar";
}

bool sameType(const SqlType& a, const SqlType& b)
{
    return a.base == b.base && a.length == b.length && a.precision == b.precision && a.scale == b.scale;
}

bool sameOptions(const SessionOptions& a, const SessionOptions& b)
{
    return a.bits == b.bits && a.rowCount == b.rowCount && a.textSize == b.textSize &&
           a.lockTimeout == b.lockTimeout && a.language == b.language && a.isolationLevel == b.isolationLevel &&
           a.dates.order == b.dates.order && a.dates.firstDayOfWeek == b.dates.firstDayOfWeek;
}

// The text of a procedure as stored: the batch that created it, an ALTER
// written as CREATE (as SQL Server keeps it).
std::string storedDefinition(const std::string& batchText, const ast::CreateProcedureStmt& s)
{
    std::string text = batchText;
    if (s.alter && s.pos.offset + 5 <= text.size())
        text.replace(s.pos.offset, 5, "CREATE");
    return text;
}

// USE inside a procedure: SQL Server refuses it when the procedure is created.
void refuseUse(const ast::Stmt& s)
{
    switch (s.kind) {
    case ast::StmtKind::Use:
        throw SqlException(154, "a USE database statement is not allowed in a procedure, function or trigger.",
                           s.pos.line, 15);
    case ast::StmtKind::Block:
        for (const auto& c : static_cast<const ast::BlockStmt&>(s).body)
            refuseUse(*c);
        break;
    case ast::StmtKind::If: {
        const auto& i = static_cast<const ast::IfStmt&>(s);
        if (i.thenStmt)
            refuseUse(*i.thenStmt);
        if (i.elseStmt)
            refuseUse(*i.elseStmt);
        break;
    }
    case ast::StmtKind::While:
        if (const auto& body = static_cast<const ast::WhileStmt&>(s).body)
            refuseUse(*body);
        break;
    default: break;
    }
}

// Variables a procedure's body uses before (or without) declaring them:
// SQL Server refuses the procedure when it is created (137). Only the
// parameters and DECLAREs standing earlier in the text declare a name.
class VariableCheck {
public:
    VariableCheck(const std::vector<ast::ProcedureParameter>& parameters,
                  const std::vector<const ast::DeclareStmt*>& declarations)
    {
        for (const ast::ProcedureParameter& p : parameters)
            declaredAt_[lowerAscii(p.name)] = 0;
        for (const ast::DeclareStmt* d : declarations)
            for (const ast::VariableDecl& v : d->variables)
                declaredAt_.emplace(lowerAscii(v.name), v.pos.offset);
    }

    void statement(const ast::Stmt& s)
    {
        using K = ast::StmtKind;
        switch (s.kind) {
        case K::Select: query(static_cast<const ast::SelectStmt&>(s).query.get()); break;
        case K::Insert: {
            const auto& i = static_cast<const ast::InsertStmt&>(s);
            for (const auto& row : i.values)
                for (const auto& e : row)
                    expr(e.get());
            query(i.query.get());
            break;
        }
        case K::Update: {
            const auto& u = static_cast<const ast::UpdateStmt&>(s);
            expr(u.top.get());
            for (const ast::Assignment& a : u.assignments) {
                if (!a.variable.empty())
                    name(a.variable, s.pos);
                expr(a.value.get());
            }
            for (const auto& t : u.from)
                table(t.get());
            expr(u.where.get());
            break;
        }
        case K::Delete: {
            const auto& d = static_cast<const ast::DeleteStmt&>(s);
            expr(d.top.get());
            for (const auto& t : d.from)
                table(t.get());
            expr(d.where.get());
            break;
        }
        case K::Declare:
            for (const ast::VariableDecl& v : static_cast<const ast::DeclareStmt&>(s).variables)
                expr(v.init.get());
            break;
        case K::SetVariable: {
            const auto& v = static_cast<const ast::SetVariableStmt&>(s);
            name(v.variable, s.pos);
            expr(v.value.get());
            break;
        }
        case K::If: {
            const auto& i = static_cast<const ast::IfStmt&>(s);
            expr(i.condition.get());
            if (i.thenStmt)
                statement(*i.thenStmt);
            if (i.elseStmt)
                statement(*i.elseStmt);
            break;
        }
        case K::While: {
            const auto& w = static_cast<const ast::WhileStmt&>(s);
            expr(w.condition.get());
            if (w.body)
                statement(*w.body);
            break;
        }
        case K::Block:
            for (const auto& c : static_cast<const ast::BlockStmt&>(s).body)
                statement(*c);
            break;
        case K::Return: expr(static_cast<const ast::ReturnStmt&>(s).value.get()); break;
        case K::Print: expr(static_cast<const ast::PrintStmt&>(s).value.get()); break;
        case K::Exec: {
            const auto& e = static_cast<const ast::ExecStmt&>(s);
            if (!e.returnVariable.empty())
                name(e.returnVariable, s.pos);
            for (const ast::ExecArg& a : e.args)
                expr(a.value.get());
            expr(e.dynamicSql.get());
            break;
        }
        default: break;
        }
    }

private:
    std::map<std::string, std::size_t> declaredAt_;

    void name(const std::string& variable, const ast::Pos& pos)
    {
        if (variable.size() > 1 && variable[0] == '@' && variable[1] == '@')
            return;
        auto it = declaredAt_.find(lowerAscii(variable));
        if (it == declaredAt_.end() || it->second > pos.offset)
            throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + variable + "\".", pos.line,
                               15);
    }

    void expr(const ast::Expr* e)
    {
        if (!e)
            return;
        if (e->kind == ast::ExprKind::Variable)
            name(e->text, e->pos);
        for (const auto& a : e->args)
            expr(a.get());
        for (const auto& [when, then] : e->whens) {
            expr(when.get());
            expr(then.get());
        }
        expr(e->elseExpr.get());
        query(e->query.get());
    }

    void table(const ast::TableRef* t)
    {
        if (!t)
            return;
        query(t->query.get());
        table(t->left.get());
        table(t->right.get());
        expr(t->on.get());
    }

    void block(const ast::QueryBlock* b)
    {
        if (!b)
            return;
        expr(b->top.get());
        for (const ast::SelectItem& i : b->items) {
            if (!i.assignVariable.empty())
                name(i.assignVariable, i.pos);
            expr(i.expr.get());
        }
        for (const auto& t : b->from)
            table(t.get());
        expr(b->where.get());
        for (const auto& g : b->groupBy)
            expr(g.get());
        expr(b->having.get());
        query(b->nested.get());
    }

    void query(const ast::Query* q)
    {
        if (!q)
            return;
        for (const auto& b : q->blocks)
            block(b.get());
        for (const ast::OrderItem& o : q->orderBy)
            expr(o.expr.get());
    }
};

// Duplicate names among the parameters and the body's DECLAREs: error 134.
void checkVariableNames(const std::vector<ast::ProcedureParameter>& parameters,
                        const std::vector<const ast::DeclareStmt*>& declarations)
{
    std::set<std::string> names;
    auto add = [&](const std::string& name, int line) {
        if (!names.insert(lowerAscii(name)).second)
            throw SqlException(err::AlreadyDeclared,
                               "The variable name '" + name +
                                   "' has already been declared. Variable names must be unique within a query "
                                   "batch or stored procedure.",
                               line, 15);
    };
    for (const ast::ProcedureParameter& p : parameters)
        add(p.name, p.pos.line);
    for (const ast::DeclareStmt* d : declarations)
        for (const ast::VariableDecl& v : d->variables)
            add(v.name, v.pos.line);
}

}  // namespace

std::vector<std::string> splitProcedureName(const std::string& text)
{
    std::vector<std::string> parts(1);
    bool inBracket = false;
    for (char c : text) {
        if (inBracket) {
            if (c == ']')
                inBracket = false;
            else
                parts.back().push_back(c);
        } else if (c == '[') {
            inBracket = true;
        } else if (c == '.') {
            parts.emplace_back();
        } else if (c != '"') {
            parts.back().push_back(c);
        }
    }
    return parts;
}

// ---- CREATE / ALTER / DROP ------------------------------------------------------

void Session::createProcedure(const ast::CreateProcedureStmt& s, RunState& st)
{
    const std::string verb = s.alter ? "ALTER" : "CREATE";
    if (!s.procedure.database().empty() && !equalsIgnoreCase(s.procedure.database(), current_))
        throw SqlException(166,
                           "'" + verb +
                               " PROCEDURE' does not allow specifying the database name as a prefix to the object "
                               "name.",
                           s.pos.line, 15);
    std::vector<const ast::DeclareStmt*> declarations;
    for (const auto& b : s.body) {
        refuseUse(*b);
        collectDeclarations(*b, declarations);
    }
    checkVariableNames(s.parameters, declarations);
    VariableCheck variables(s.parameters, declarations);
    for (const auto& b : s.body)
        variables.statement(*b);
    {
        // Unknown parameter types are refused now, as SQL Server does.
        VariableTypes none;
        Translator tr(*this, none);
        for (std::size_t i = 0; i < s.parameters.size(); ++i)
            tr.resolveType(s.parameters[i].type, "", static_cast<int>(i + 1));
    }
    const std::string alias = schemaFor("");
    const std::string& name = s.procedure.last();
    const std::string definition = storedDefinition(st.cache->batch->text, s);
    const std::string schema = quoteIdent(alias);
    withSavepoint([&] {
        if (s.alter) {
            Stmt u(db_, "UPDATE " + schema + ".sysobjects SET definition = ?1 WHERE name = ?2 COLLATE vq_ci AND "
                                             "xtype = 'P'");
            u.bind(1, definition).bind(2, name);
            u.step();
            if (sqlite3_changes(db_) == 0)
                throw SqlException(err::InvalidObject, "Invalid object name '" + name + "'.", s.pos.line);
            return;
        }
        Stmt q(db_, "SELECT 1 FROM " + schema + ".sysobjects WHERE name = ?1 COLLATE vq_ci");
        q.bind(1, name);
        if (q.step())
            throw SqlException(err::ObjectExists, "There is already an object named '" + name + "' in the database.",
                               s.pos.line);
        q.reset();
        const int id = nextObjectId(db_, alias);
        Stmt obj(db_, "INSERT INTO " + schema +
                          ".sysobjects(id, name, xtype, type, uid, parent_obj, crdate, info, status, definition) "
                          "VALUES(?1, ?2, 'P', 'P', 1, 0, vq_getdate(), 0, 0, ?3)");
        obj.bind(1, static_cast<std::int64_t>(id)).bind(2, name).bind(3, definition);
        obj.step();
    });
}

void Session::dropProcedure(const ast::ObjectName& name, bool ifExists, int line)
{
    const std::string alias = schemaFor(name.database());
    Stmt q(db_, "DELETE FROM " + quoteIdent(alias) + ".sysobjects WHERE name = ?1 COLLATE vq_ci AND xtype = 'P'");
    q.bind(1, name.last());
    q.step();
    if (sqlite3_changes(db_) == 0) {
        if (ifExists)
            return;
        throw SqlException(3701, "Cannot drop the procedure '" + name.toString() +
                                     "', because it does not exist or you do not have permission.",
                           line);
    }
    procedureCache_.erase(alias + '\x01' + lowerAscii(name.last()));
    bumpSchemaGeneration();
}

// ---- finding and parsing --------------------------------------------------------

std::shared_ptr<Session::Procedure> Session::findProcedure(const ast::ObjectName& name)
{
    if (name.empty() || name.last().empty() || name.parts.size() > 3)
        return nullptr;
    const std::string alias = schemaFor(name.database());
    Stmt q(db_, "SELECT id, name, definition FROM " + quoteIdent(alias) +
                    ".sysobjects WHERE name = ?1 COLLATE vq_ci AND xtype = 'P' LIMIT 1");
    q.bind(1, name.last());
    if (!q.step())
        return nullptr;
    const int id = static_cast<int>(q.columnInt(0));
    std::string stored = q.columnText(1);
    std::string definition = q.columnText(2);
    q.reset();
    const std::string key = alias + '\x01' + lowerAscii(name.last());
    auto it = procedureCache_.find(key);
    if (it != procedureCache_.end() && it->second->id == id && it->second->definition == definition) {
        it->second->name = stored;   // sp_rename keeps the text
        return it->second;
    }
    auto proc = std::make_shared<Procedure>();
    proc->id = id;
    proc->name = stored;
    for (const auto& [lower, a] : attached_)
        if (a.alias == alias)
            proc->database = a.name;
    proc->definition = std::move(definition);
    proc->cache = std::make_shared<CachedBatch>();
    proc->cache->batch = parseBatch(proc->definition, true);
    const auto& statements = proc->cache->batch->statements;
    if (statements.empty() || statements[0]->kind != ast::StmtKind::CreateProcedure)
        throw SqlException(err::Internal, "The stored text of procedure '" + stored + "' is damaged.");
    const auto& create = static_cast<const ast::CreateProcedureStmt&>(*statements[0]);
    for (const auto& b : create.body)
        collectDeclarations(*b, proc->cache->declarations);
    proc->parameters = &create.parameters;
    proc->body = &create.body;
    procedureCache_[key] = proc;
    return proc;
}

// sp_executesql's statement with its parameter list, parsed once per pair.
std::shared_ptr<Session::Procedure> Session::dynamicStatement(const std::string& statement,
                                                              const std::string& parameters)
{
    const bool quotedIdentifiers = options_.isOn(option_bit::QuotedIdentifier);
    std::string key = parameters;
    key += quotedIdentifiers ? '\x01' : '\x02';
    key += statement;
    auto it = dynamicCache_.find(key);
    if (it != dynamicCache_.end())
        return it->second;
    auto proc = std::make_shared<Procedure>();
    proc->name = "sp_executesql";
    proc->dynamic = true;
    proc->parameterText = parameters;
    proc->ownParameters = parseParameterList(parameters);
    proc->parameters = &proc->ownParameters;
    proc->cache = std::make_shared<CachedBatch>();
    proc->cache->batch = parseBatch(statement, quotedIdentifiers);
    for (const auto& b : proc->cache->batch->statements)
        collectDeclarations(*b, proc->cache->declarations);
    checkBatch(*proc->cache);
    checkVariableNames(proc->ownParameters, proc->cache->declarations);
    proc->body = &proc->cache->batch->statements;
    if (dynamicCache_.size() >= kDynamicCacheLimit)
        dynamicCache_.clear();
    dynamicCache_[key] = proc;
    return proc;
}

std::vector<SqlType> Session::parameterTypes(const Procedure& proc)
{
    VariableTypes none;
    Translator tr(*this, none);
    std::vector<SqlType> types;
    for (std::size_t i = 0; i < proc.parameters->size(); ++i) {
        SqlType t = tr.resolveType((*proc.parameters)[i].type, "", static_cast<int>(i + 1));
        if (t.isText() && t.length == -2)
            t.length = 1;
        types.push_back(t);
    }
    return types;
}

// ---- binding and running -------------------------------------------------------------

std::vector<Value> Session::bindArguments(const Procedure& proc, const std::vector<SqlType>& types,
                                          const std::vector<Argument>& arguments, std::vector<int>& parameterOf,
                                          RunState& caller, int line)
{
    const auto& parameters = *proc.parameters;
    const std::string where = proc.dynamic ? std::string() : proc.name;
    const int errorLine = proc.dynamic ? line : 0;
    std::vector<int> argumentOf(parameters.size(), -1);
    parameterOf.assign(arguments.size(), -1);
    bool named = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const Argument& a = arguments[i];
        std::size_t slot = parameters.size();
        if (!a.name.empty()) {
            named = true;
            for (std::size_t p = 0; p < parameters.size(); ++p)
                if (equalsIgnoreCase(parameters[p].name, a.name))
                    slot = p;
            if (slot == parameters.size())
                throw callError(8145, 2, a.name + " is not a parameter for procedure " + proc.name + ".", where,
                                errorLine);
        } else {
            if (named)
                throw callError(119, 1,
                                "Must pass parameter number " + std::to_string(i + 1) +
                                    " and subsequent parameters as '@name = value'. After the form '@name = value' "
                                    "has been used, all subsequent parameters must be passed in the form '@name = "
                                    "value'.",
                                where, errorLine);
            if (i >= parameters.size())
                throw callError(8144, 2, "Procedure or function " + proc.name + " has too many arguments specified.",
                                where, errorLine);
            slot = i;
        }
        if (a.output && !parameters[slot].output)
            throw callError(8162, 1,
                            "The formal parameter \"" + parameters[slot].name +
                                "\" was not declared as an OUTPUT parameter, but the actual parameter passed in "
                                "requested output.",
                            where, errorLine);
        if (a.output && a.expr && a.expr->kind != ast::ExprKind::Variable)
            throw callError(179, 1, "Cannot use the OUTPUT option when passing a constant to a stored procedure.",
                            where, errorLine);
        argumentOf[slot] = static_cast<int>(i);
        parameterOf[i] = static_cast<int>(slot);
    }
    std::vector<Value> values(parameters.size());
    for (std::size_t p = 0; p < parameters.size(); ++p) {
        const int i = argumentOf[p];
        const ast::ProcedureParameter& param = parameters[p];
        if (i < 0 || arguments[static_cast<std::size_t>(i)].useDefault) {
            if (param.defaultValue) {
                RunState own;
                own.result = caller.result;
                own.cache = proc.cache.get();
                values[p] = evaluateScalar(*param.defaultValue, &types[p], own);
                continue;
            }
            if (proc.dynamic)
                throw callError(8178, 1,
                                "The parameterized query '(" + proc.parameterText + ")" +
                                    "' expects the parameter '" + param.name + "', which was not supplied.",
                                where, errorLine);
            throw callError(201, 4,
                            "Procedure or function '" + proc.name + "' expects parameter '" + param.name +
                                "', which was not supplied.",
                            where, errorLine);
        }
        const Argument& a = arguments[static_cast<std::size_t>(i)];
        try {
            values[p] = a.expr ? evaluateScalar(*a.expr, &types[p], caller) : convertValue(a.value, a.type, types[p]);
        } catch (const SqlException& e) {
            if (e.number() != err::ConversionFailed)
                throw;
            const std::string from = a.expr ? argumentTypeName(*a.expr, caller.types) : a.type.baseName();
            throw callError(8114, 1, "Error converting data type " + from + " to " + types[p].baseName() + ".",
                            where, errorLine);
        }
    }
    return values;
}

int Session::invoke(const Procedure& proc, const std::vector<SqlType>& types, std::vector<Value>& values,
                    RunState& caller)
{
    NestScope nest(*this);
    // What the procedure changes of the session goes back when it ends,
    // also when an error jumps out of it to its caller's CATCH block.
    struct Restore {
        Session& session;
        bool options;                  // SET options a procedure changed last until it returns
        bool savedNoCount;
        SessionOptions savedOptions;
        int savedProcId;
        std::string savedDatabase;
        ~Restore()
        {
            session.current_ = savedDatabase;
            session.procId_ = savedProcId;
            if (!options)
                return;
            session.noCount_ = savedNoCount;
            if (!sameOptions(savedOptions, session.options_)) {
                session.options_ = savedOptions;
                session.shapeCache_.clear();
                setThreadDateSettings(session.options_.dates);
            }
        }
    } restore{*this, !proc.dynamic, noCount_, options_, procId_, current_};
    const int savedTranCount = tranCount_;
    // A procedure's body runs in its own database, whichever database the
    // caller is in.
    if (!proc.database.empty())
        current_ = proc.database;
    RunState ps;
    ps.result = caller.result;
    ps.cache = proc.cache.get();
    ps.inProcedure = !proc.dynamic;
    ps.procedure = proc.dynamic ? std::string() : proc.name;
    if (!proc.dynamic)
        procId_ = proc.id;
    const auto& parameters = *proc.parameters;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::string name = lowerAscii(parameters[i].name);
        ps.types[name] = VariableInfo{types[i], 0};
        ps.values[name] = values[i];
    }
    declareVariableTypes(*proc.cache, ps.types);
    const auto& body = *proc.body;
    const std::string& text = proc.cache->batch->text;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (ps.returned || ps.breaking || ps.continuing)
            break;
        ps.statement = body[i].get();
        ps.statementEnd = i + 1 < body.size() ? body[i + 1]->pos.offset : text.size();
        execute(*body[i], ps);
    }
    ps.statement = nullptr;
    ps.running.reset();
    if (!proc.dynamic && !ps.aborted && tranCount_ != savedTranCount) {
        const SqlError mismatch{266, 16, 2, 0,
                                "Transaction count after EXECUTE indicates a mismatching number of BEGIN and COMMIT "
                                "statements. Previous count = " +
                                    std::to_string(savedTranCount) + ", current count = " +
                                    std::to_string(tranCount_) + ".",
                                proc.name};
        caller.result->addError(mismatch);
        lastError_ = mismatch.number;
        ps.worstSeverity = std::max(ps.worstSeverity, mismatch.severity);
    }
    if (ps.aborted) {
        caller.aborted = true;
        caller.returned = true;
    }
    for (std::size_t i = 0; i < parameters.size(); ++i)
        values[i] = ps.values[lowerAscii(parameters[i].name)];
    if (ps.returnStatus)
        return *ps.returnStatus;
    // Without a RETURN value an error makes the status 10 minus its severity.
    return ps.worstSeverity > 10 ? 10 - ps.worstSeverity : 0;
}

std::vector<Session::Argument> Session::execArguments(const ast::ExecStmt& s, std::size_t first)
{
    std::vector<Argument> out;
    for (std::size_t i = first; i < s.args.size(); ++i) {
        Argument a;
        a.name = s.args[i].parameter;
        a.useDefault = !s.args[i].value;
        a.output = s.args[i].output;
        a.expr = s.args[i].value.get();
        out.push_back(std::move(a));
    }
    return out;
}

void Session::setReturnVariable(const ast::ExecStmt& s, int status, RunState& st)
{
    if (s.returnVariable.empty())
        return;
    const std::string name = lowerAscii(s.returnVariable);
    auto t = st.types.find(name);
    if (t == st.types.end())
        throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + s.returnVariable + "\".",
                           s.pos.line);
    st.values[name] = convertValue(Value::fromInteger(status), makeType(BaseType::Int, 4), t->second.type);
}

namespace {

// The OUTPUT arguments' variables get their parameters' values back.
template <class Arguments, class Convert>
void writeBackOutputs(const Arguments& arguments, const std::vector<int>& parameterOf,
                      const std::vector<ast::ProcedureParameter>& parameters, const std::vector<SqlType>& types,
                      const std::vector<Value>& values, VariableTypes& callerTypes,
                      std::map<std::string, Value>& callerValues, Convert convert)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& a = arguments[i];
        const int p = parameterOf[i];
        if (!a.output || p < 0 || !parameters[static_cast<std::size_t>(p)].output || !a.expr)
            continue;
        const std::string name = lowerAscii(a.expr->text);
        auto t = callerTypes.find(name);
        if (t == callerTypes.end())
            continue;
        callerValues[name] =
            convert(values[static_cast<std::size_t>(p)], types[static_cast<std::size_t>(p)], t->second.type);
    }
}

}  // namespace

void Session::executeProcedureCall(const Procedure& proc, const ast::ExecStmt& s, RunState& st)
{
    if (!s.returnVariable.empty() && !st.types.count(lowerAscii(s.returnVariable)))
        throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + s.returnVariable + "\".",
                           s.pos.line);
    const std::vector<SqlType> types = parameterTypes(proc);
    const std::vector<Argument> arguments = execArguments(s, 0);
    std::vector<int> parameterOf;
    std::vector<Value> values = bindArguments(proc, types, arguments, parameterOf, st, s.pos.line);
    const int status = invoke(proc, types, values, st);
    writeBackOutputs(arguments, parameterOf, *proc.parameters, types, values, st.types, st.values,
                     [&](const Value& v, const SqlType& from, const SqlType& to) { return convertValue(v, from, to); });
    setReturnVariable(s, status, st);
}

// EXEC sp_executesql [@stmt =] statement [, [@params =] N'@a int, ...'] [, values ...]
void Session::executeSqlStatement(const ast::ExecStmt& s, RunState& st)
{
    const SqlType text = nvarcharMax();
    std::size_t next = 0;
    auto takeText = [&](const char* parameter) -> std::optional<std::string> {
        if (next >= s.args.size())
            return std::nullopt;
        const ast::ExecArg& a = s.args[next];
        if (!a.parameter.empty() && !equalsIgnoreCase(a.parameter, parameter) &&
            !(equalsIgnoreCase(parameter, "@stmt") && equalsIgnoreCase(a.parameter, "@statement")))
            return std::nullopt;
        ++next;
        if (!a.value)
            return std::string();
        return evaluateScalar(*a.value, &text, st).toString();
    };
    const std::optional<std::string> statement = takeText("@stmt");
    if (!statement)
        throw SqlException(201, "Procedure or function 'sp_executesql' expects parameter '@statement', which was not "
                                "supplied.",
                           s.pos.line);
    const std::string parameterList = takeText("@params").value_or(std::string());
    if (!s.returnVariable.empty() && !st.types.count(lowerAscii(s.returnVariable)))
        throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + s.returnVariable + "\".",
                           s.pos.line);
    std::shared_ptr<Procedure> proc;
    try {
        proc = dynamicStatement(*statement, parameterList);
    } catch (const SqlException& e) {
        // The text is a batch of its own: its syntax errors keep its lines.
        for (const SqlError& error : e.errors()) {
            st.result->addError(error);
            lastError_ = error.number;
        }
        setReturnVariable(s, 10 - e.first().severity, st);
        return;
    }
    const std::vector<SqlType> types = parameterTypes(*proc);
    const std::vector<Argument> arguments = execArguments(s, next);
    std::vector<int> parameterOf;
    std::vector<Value> values = bindArguments(*proc, types, arguments, parameterOf, st, s.pos.line);
    const int status = invoke(*proc, types, values, st);
    writeBackOutputs(arguments, parameterOf, *proc->parameters, types, values, st.types, st.values,
                     [&](const Value& v, const SqlType& from, const SqlType& to) { return convertValue(v, from, to); });
    setReturnVariable(s, status, st);
}

// ---- conversions --------------------------------------------------------------------

Value Session::convertValue(const Value& v, const SqlType& from, const SqlType& to)
{
    if (v.isNull() || to.isUnknown() || sameType(from, to))
        return v;
    auto typeKey = [](const SqlType& t) {
        return std::to_string(static_cast<int>(t.base)) + "," + std::to_string(t.length) + "," +
               std::to_string(t.precision) + "," + std::to_string(t.scale);
    };
    std::unique_ptr<Conversion>& c = conversions_[typeKey(from) + ">" + typeKey(to)];
    if (!c) {
        c = std::make_unique<Conversion>();
        c->cache.batch = std::make_unique<ast::Batch>();
        c->variable.kind = ast::ExprKind::Variable;
        c->variable.text = "@value";
    }
    BatchResult ignored;
    RunState rs;
    rs.result = &ignored;
    rs.cache = &c->cache;
    // A value of no known type is taken as what it holds.
    SqlType source = from;
    if (source.isUnknown()) {
        switch (v.kind) {
        case ValueKind::Integer: source = makeType(BaseType::BigInt, 8); break;
        case ValueKind::Number: source = makeType(BaseType::Float, 8); break;
        case ValueKind::DateTime: source = makeType(BaseType::DateTime, 8); break;
        case ValueKind::Bytes: source = makeType(BaseType::VarBinary, -1); break;
        default: source = nvarcharMax(); break;
        }
    }
    rs.types["@value"] = VariableInfo{source, 0};
    rs.values["@value"] = v;
    return evaluateScalar(c->variable, &to, rs);
}

// ---- sp_helptext ------------------------------------------------------------------------

// The text of a procedure or view as one result set, column Text, a row
// per line of the definition (each line with its line break, as stored).
void Session::helpText(const std::string& name, RunState& st, int line)
{
    const std::vector<std::string> parts = splitProcedureName(name);
    const std::string alias = schemaFor(parts.size() >= 3 ? parts[parts.size() - 3] : std::string());
    Stmt q(db_, "SELECT xtype, definition FROM " + quoteIdent(alias) +
                    ".sysobjects WHERE name = ?1 COLLATE vq_ci LIMIT 1");
    q.bind(1, parts.back());
    if (!q.step())
        throw SqlException(15009,
                           "The object '" + name + "' does not exist in database '" + current_ +
                               "' or is invalid for this operation.",
                           line);
    const std::string xtype = q.columnText(0);
    const std::string definition = q.columnText(1);
    q.reset();
    if ((xtype != "P " && xtype != "P" && xtype != "V " && xtype != "V") || definition.empty())
        throw SqlException(15197, "There is no text for object '" + name + "'.", line);
    ResultSet rs;
    rs.columns.push_back(Column{"Text", makeType(BaseType::NVarChar, 255)});
    std::size_t at = 0;
    while (at < definition.size()) {
        std::size_t end = definition.find('\n', at);
        end = end == std::string::npos ? definition.size() : end + 1;
        rs.rows.push_back({Value::fromText(definition.substr(at, end - at))});
        at = end;
    }
    rs.countShown = !noCount_;
    st.result->addResultSet(std::move(rs));
}

// ---- the call API ------------------------------------------------------------------------

CallResult Session::call(const std::string& procedure, const std::vector<CallArgument>& arguments)
{
    CallResult out;
    if (cursor_) {
        out.result.addError(connectionBusyError());
        out.returnStatus = -6;
        return out;
    }
    CommandScope command(*this);
    CachedBatch none;
    none.batch = std::make_unique<ast::Batch>();
    RunState st;
    st.result = &out.result;
    st.cache = &none;
    auto fail = [&](const std::vector<SqlError>& errors) {
        for (const SqlError& e : errors) {
            out.result.addError(e);
            lastError_ = e.number;
        }
        out.returnStatus = errors.empty() ? 0 : 10 - errors.front().severity;
    };
    try {
        std::shared_ptr<Procedure> proc;
        std::size_t first = 0;
        const std::vector<std::string> parts = splitProcedureName(procedure);
        if (equalsIgnoreCase(parts.back(), "sp_executesql")) {
            if (arguments.empty() || arguments[0].useDefault)
                throw SqlException(201, "Procedure or function 'sp_executesql' expects parameter '@statement', "
                                        "which was not supplied.");
            const std::string parameterList =
                arguments.size() > 1 && !arguments[1].useDefault ? arguments[1].value.toString() : std::string();
            first = std::min<std::size_t>(2, arguments.size());
            try {
                proc = dynamicStatement(arguments[0].value.toString(), parameterList);
            } catch (const SqlException& e) {
                fail(e.errors());
                if (command.outermost())
                    detachUnused();
                return out;
            }
        } else {
            ast::ObjectName name;
            name.parts = parts;
            proc = findProcedure(name);
            if (!proc) {
                // A system procedure: run as EXEC with the values as constants.
                ast::ExecStmt exec;
                exec.procedure = name;
                std::vector<std::unique_ptr<ast::Expr>> keep;
                for (const CallArgument& a : arguments) {
                    ast::ExecArg arg;
                    arg.parameter = a.name;
                    if (!a.useDefault) {
                        auto e = std::make_unique<ast::Expr>();
                        e->kind = ast::ExprKind::Literal;
                        e->litKind = a.value.isNull() ? ast::LiteralKind::Null : ast::LiteralKind::NString;
                        e->text = a.value.toString();
                        arg.value = std::move(e);
                    }
                    exec.args.push_back(std::move(arg));
                }
                execute(exec, st);
                out.returnStatus = out.result.ok() ? 0 : 10 - out.result.errors.front().severity;
                if (command.outermost())
                    detachUnused();
                return out;
            }
        }
        const std::vector<SqlType> types = parameterTypes(*proc);
        std::vector<Argument> bound;
        for (std::size_t i = first; i < arguments.size(); ++i) {
            Argument a;
            a.name = arguments[i].name;
            if (!a.name.empty() && a.name[0] != '@')
                a.name = "@" + a.name;
            a.useDefault = arguments[i].useDefault;
            a.output = arguments[i].output && !proc->dynamic;
            a.value = arguments[i].value;
            a.type = arguments[i].type;
            bound.push_back(std::move(a));
        }
        std::vector<int> parameterOf;
        std::vector<Value> values = bindArguments(*proc, types, bound, parameterOf, st, 1);
        out.returnStatus = invoke(*proc, types, values, st);
        for (std::size_t i = 0; i < bound.size(); ++i) {
            const int p = parameterOf[i];
            if (!arguments[first + i].output || p < 0 || !(*proc->parameters)[static_cast<std::size_t>(p)].output)
                continue;
            out.outputs.push_back(
                {first + i, values[static_cast<std::size_t>(p)], types[static_cast<std::size_t>(p)]});
        }
    } catch (const SqlException& e) {
        fail(e.errors());
    }
    st.statement = nullptr;
    st.running.reset();
    if (command.outermost()) {
        // A transaction an error left uncommittable ends with the call, as
        // with a batch.
        endDoomedTransaction(out.result, 1);
        detachUnused();
    }
    return out;
}

}  // namespace vqsql
