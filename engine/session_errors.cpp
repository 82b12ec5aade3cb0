// The executor's error handling: TRY ... CATCH with ERROR_NUMBER() and
// its kin, XACT_STATE() and doomed transactions, RAISERROR, savepoints
// (SAVE TRANSACTION, ROLLBACK TRANSACTION name) and WAITFOR.
//
// Which errors a CATCH block receives: those of severity 11 to 19 raised
// by a statement run inside the TRY block, also from a nested batch (EXEC
// of a text). Not caught: messages of severity 10 or less, errors of
// severity 20 or more (they end SQL Server's connection), a cancel or the
// command time-out, and, as SQL Server documents, name-resolution errors
// (208 invalid object, 207 invalid column) of a statement at the TRY's own
// level: they go to the client and end the batch. Syntax errors never get
// this far: they refuse the whole batch before it runs.
//
// XACT_ABORT ON inside a TRY block: the error goes to the CATCH block and
// the transaction stays open but doomed (XACT_STATE() -1): it can only be
// rolled back; COMMIT and statements that write give 3930, and at the end
// of the client's batch it is rolled back with error 3998. An error
// RAISERROR raised dooms nothing: RAISERROR does not honour XACT_ABORT.
#include "session.h"
#include "session_internal.h"

#include "raiserror_format.h"
#include "sqlite_util.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <optional>
#include <thread>

namespace vqsql {

// ---- TRY ... CATCH ----------------------------------------------------------

// A TRY block running: errors at or below its level go to its CATCH block.
struct Session::TryScope {
    explicit TryScope(Session& s) : session(s) { session.tryLevels_.push_back(session.nestLevel_); }
    ~TryScope() { session.tryLevels_.pop_back(); }
    TryScope(const TryScope&) = delete;
    TryScope& operator=(const TryScope&) = delete;
    Session& session;
};

// A CATCH block running: ERROR_NUMBER() and its kin read its error, in
// nested batches too.
struct Session::CatchScope {
    CatchScope(Session& s, const SqlError& error) : session(s) { session.caughtErrors_.push_back(error); }
    ~CatchScope() { session.caughtErrors_.pop_back(); }
    CatchScope(const CatchScope&) = delete;
    CatchScope& operator=(const CatchScope&) = delete;
    Session& session;
};

Session::NestedOutputKeeper::NestedOutputKeeper(Session& s, BatchResult& r)
    : session(s), result(r), exceptions(std::uncaught_exceptions())
{
    if (session.runDepth_ == 1)
        session.jumpOutput_.clear();
}

Session::NestedOutputKeeper::~NestedOutputKeeper()
{
    if (std::uncaught_exceptions() > exceptions && !session.tryLevels_.empty())
        session.jumpOutput_.push_back(std::move(result));
}

void Session::executeTryCatch(const ast::TryCatchStmt& s, RunState& st)
{
    std::optional<SqlError> caught;
    const std::size_t outputMark = jumpOutput_.size();
    {
        TryScope scope(*this);
        try {
            executeBlock(s.tryBody, st);
        } catch (const CatchJump& jump) {
            caught = jump.error;
        }
    }
    if (!caught)
        return;
    // What the nested batches the jump left had produced, outermost first.
    for (std::size_t i = jumpOutput_.size(); i > outputMark; --i)
        st.result->append(std::move(jumpOutput_[i - 1]));
    jumpOutput_.resize(outputMark);
    CatchScope handling(*this, *caught);
    lastError_ = caught->number;   // what @@ERROR shows the CATCH block's first statement
    executeBlock(s.catchBody, st);
}

namespace {

bool isNameResolutionError(int number)
{
    return number == err::InvalidObject || number == err::InvalidColumn;
}

}  // namespace

void Session::jumpToCatch(const std::vector<SqlError>& errors, const ast::Stmt& s, RunState& st)
{
    if (errors.empty())
        return;
    SqlError error = errors.front();
    if (error.line <= 1 && error.procedure.empty())
        error.line = s.pos.line;
    if (error.procedure.empty())
        error.procedure = st.procedure;
    if (error.number == err::Timeout || error.severity <= 10 || error.severity >= 20)
        return;
    if (isNameResolutionError(error.number) && tryLevels_.back() == nestLevel_) {
        st.returned = true;
        return;
    }
    if (tranCount_ > 0 && sqlite3_get_autocommit(db_)) {
        // SQLite ended the transaction itself.
        tranCount_ = 0;
        bumpSchemaGeneration();
    }
    // RAISERROR does not honour XACT_ABORT.
    if (options_.isOn(option_bit::XactAbort) && tranCount_ > 0 && s.kind != ast::StmtKind::Raiserror)
        doomed_ = true;
    rowCount_ = 0;
    throw CatchJump{error};
}

Value Session::errorFunctionValue(const std::string& parameter) const
{
    if (parameter == "@@xact_state")
        return Value::fromInteger(tranCount_ == 0 ? 0 : doomed_ ? -1 : 1);
    if (caughtErrors_.empty())
        return Value::null();
    const SqlError& e = caughtErrors_.back();
    if (parameter == "@@error_number")
        return Value::fromInteger(e.number);
    if (parameter == "@@error_severity")
        return Value::fromInteger(e.severity);
    if (parameter == "@@error_state")
        return Value::fromInteger(e.state);
    if (parameter == "@@error_line")
        return Value::fromInteger(e.line);
    if (parameter == "@@error_message")
        return Value::fromText(e.message);
    if (parameter == "@@error_procedure")
        return e.procedure.empty() ? Value::null() : Value::fromText(e.procedure);
    return Value::null();
}

// ---- doomed transactions ---------------------------------------------------------

namespace {

const char* const kDoomedText = "The current transaction cannot be committed and cannot support operations that write "
                                "to the log file. Roll back the transaction.";

bool writesToLog(ast::StmtKind kind)
{
    switch (kind) {
    case ast::StmtKind::Insert: case ast::StmtKind::Update: case ast::StmtKind::Delete:
    case ast::StmtKind::Truncate: case ast::StmtKind::CreateTable: case ast::StmtKind::AlterTable:
    case ast::StmtKind::CreateView: case ast::StmtKind::CreateIndex: case ast::StmtKind::CreateType:
    case ast::StmtKind::Drop: case ast::StmtKind::SaveTran:
        return true;
    default:
        return false;
    }
}

}  // namespace

void Session::refuseWriteWhenDoomed(const ast::Stmt& s) const
{
    if (doomed_ && tranCount_ > 0 && writesToLog(s.kind))
        throw SqlException(3930, kDoomedText, s.pos.line);
}

void Session::endDoomedTransaction(BatchResult& result, int line)
{
    if (!doomed_ || tranCount_ == 0)
        return;
    tranCount_ = 0;
    doomed_ = false;
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    bumpSchemaGeneration();
    SqlError error;
    error.number = 3998;
    error.line = line;
    error.message = "Uncommittable transaction is detected at the end of the batch. The transaction is rolled back.";
    result.addError(std::move(error));
    lastError_ = 3998;
}

// ---- savepoints ---------------------------------------------------------------------

std::string Session::transactionNameValue(const std::string& written, RunState& st)
{
    if (written.empty() || written.front() != '@')
        return written;
    const std::string name = lowerAscii(written);
    if (!st.types.count(name))
        throw SqlException(err::MustDeclare, "Must declare the scalar variable \"" + written + "\".");
    auto v = st.values.find(name);
    return v == st.values.end() ? std::string() : v->second.toString();
}

// SAVE TRAN name: a SQLite savepoint inside the open transaction. Names
// may repeat; a rollback goes to the latest of that name.
void Session::saveTransaction(const std::string& name, int line)
{
    refuseWhileCursorOpen();
    if (tranCount_ == 0 || sqlite3_get_autocommit(db_))
        throw SqlException(628, "Cannot issue SAVE TRANSACTION when there is no active transaction.", line);
    const std::string point = "vq_save_" + std::to_string(++savepointCounter_);
    execSql(db_, "SAVEPOINT " + point);
    savepoints_.emplace_back(name, point);
}

// ROLLBACK TRAN without a name or with the outermost BEGIN TRAN's name
// ends the whole transaction; with a savepoint's name it undoes the work
// since that savepoint, which stays, and the transaction (and
// @@TRANCOUNT) stays as it was. Names are compared exactly, as SQL Server
// compares transaction names.
void Session::rollbackTransaction(const std::string& name, int line)
{
    if (name.empty() || tranCount_ == 0 || name == transactionName_) {
        rollback();
        return;
    }
    auto it = savepoints_.rbegin();
    while (it != savepoints_.rend() && it->first != name)
        ++it;
    if (it == savepoints_.rend())
        throw SqlException(6401, "Cannot roll back " + name + ". No transaction or savepoint of that name was found.",
                           line);
    if (doomed_)
        throw SqlException(3931, "The current transaction cannot be committed and cannot be rolled back to a "
                                 "savepoint. Roll back the entire transaction.",
                           line);
    refuseWhileCursorOpen();
    execSql(db_, "ROLLBACK TO " + it->second);
    savepoints_.erase(it.base(), savepoints_.end());   // later savepoints go
    bumpSchemaGeneration();   // DDL may have been undone
}

// ---- RAISERROR -------------------------------------------------------------------------

Value Session::evaluateWithType(const ast::Expr& e, SqlType& type, RunState& st)
{
    // The same key and translation as evaluateScalar without a target type.
    Prepared& p = prepare(&e, st, [&](Translator& tr) { return tr.scalar(e, nullptr); });
    bindParameters(p, st);
    stepToRow(p.stmt);
    type = p.translation.columns[0].type;
    Value v = readColumn(p.stmt, 0, type);
    sqlite3_reset(p.stmt);
    return v;
}

namespace {

constexpr std::size_t kMaxRaiserrorArguments = 20;

}  // namespace

// RAISERROR: severity 0 to 10 sends an informational message (the batch
// and a TRY block go on; @@ERROR is 0 unless WITH SETERROR); 11 to 18 an
// error; 19 to 25 only WITH LOG (else 2754). Severity 20 and more ends
// the batch and rolls back its transaction (SQL Server ends the
// connection; the engine leaves that to its front end). Severities below
// 0 count as 0, above 25 as 25; a state below 0 as 1, above 255 as 255.
// A msg_id needs sys.messages, which holds no user messages here: below
// 13000 and 50000 give 2732, others 18054.
void Session::executeRaiserror(const ast::RaiserrorStmt& s, RunState& st)
{
    const int line = s.pos.line;
    SqlType firstType;
    const Value first = evaluateWithType(*s.message, firstType, st);
    SqlError e;
    e.line = line;
    if (s.legacyText) {
        // RAISERROR msg_id 'text': the text as written, severity 16.
        SqlType text = varcharType(-1);
        text.length = -1;
        e.number = static_cast<int>(first.toInt64());
        e.message = evaluateScalar(*s.legacyText, &text, st).toString();
    } else {
        SqlType intType = makeType(BaseType::Int);
        const auto severity = evaluateScalar(*s.severity, &intType, st).toInt64();
        const auto state = evaluateScalar(*s.state, &intType, st).toInt64();
        e.severity = static_cast<int>(std::clamp<std::int64_t>(severity, 0, 25));
        e.state = state < 0 ? 1 : static_cast<int>(std::min<std::int64_t>(state, 255));
        if (e.severity > 18 && !s.withLog)
            throw SqlException(2754, "Error severity levels greater than 18 can only be specified by members of the "
                                     "sysadmin role, using the WITH LOG option.",
                               line);
        if (s.args.size() > kMaxRaiserrorArguments)
            throw SqlException(2747, "Too many substitution parameters for RAISERROR. Cannot exceed 20 substitution "
                                     "parameters.",
                               line);
        if (firstType.isIntegerFamily()) {
            const std::int64_t id = first.toInt64();
            if (id < 13000 || id == 50000 || id > 2147483647)
                throw SqlException(2732, "Error number " + std::to_string(id) +
                                             " is invalid. The number must be from 13000 through 2147483647 and it "
                                             "cannot be 50000.",
                                   line);
            throw SqlException(18054, "Error " + std::to_string(id) + ", severity " + std::to_string(e.severity) +
                                          ", state " + std::to_string(e.state) +
                                          " was raised, but no message with that error number was found in "
                                          "sys.messages. If error is larger than 50000, make sure the user-defined "
                                          "message is added using sp_addmessage.",
                               line);
        }
        std::vector<RaiserrorArgument> args;
        for (std::size_t i = 0; i < s.args.size(); ++i) {
            SqlType type;
            Value v = evaluateWithType(*s.args[i], type, st);
            RaiserrorArgument a;
            if (v.isNull()) {
                a.kind = RaiserrorArgument::Kind::Null;
            } else if (type.isIntegerFamily()) {
                a.kind = RaiserrorArgument::Kind::Integer;
                a.integer = v.toInt64();
                a.wide = type.base == BaseType::BigInt;
            } else if (type.isText() && type.base != BaseType::Text && type.base != BaseType::NText) {
                a.kind = RaiserrorArgument::Kind::String;
                a.text = v.toString();
            } else {
                throw SqlException(2748, "Cannot specify " + type.baseName() + " data type (parameter " +
                                             std::to_string(i + 4) + ") as a substitution parameter.",
                                   line);
            }
            args.push_back(std::move(a));
        }
        e.number = 50000;
        e.message = formatRaiserrorMessage(first.toString(), args, line);
    }
    if (e.severity <= 10) {
        st.result->addNumberedMessage(e);
        lastError_ = s.withSetError ? e.number : 0;
        return;
    }
    throw SqlException(std::vector<SqlError>{e});
}

// ---- WAITFOR -------------------------------------------------------------------------

namespace {

// "hh:mm[:ss[.mmm]]" (blanks around allowed) as milliseconds since
// midnight; nullopt when the text is no time of day.
std::optional<long long> timeOfDayMs(const std::string& text)
{
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && text[i] == ' ')
            ++i;
    };
    auto number = [&](std::size_t maxDigits, long long& out) {
        std::size_t n = 0;
        out = 0;
        while (i < text.size() && n < maxDigits && text[i] >= '0' && text[i] <= '9') {
            out = out * 10 + (text[i++] - '0');
            ++n;
        }
        return n > 0;
    };
    long long h = 0, m = 0, s = 0, ms = 0;
    skipBlanks();
    if (!number(2, h) || i >= text.size() || text[i++] != ':' || !number(2, m))
        return std::nullopt;
    if (i < text.size() && text[i] == ':') {
        ++i;
        if (!number(2, s))
            return std::nullopt;
        if (i < text.size() && text[i] == '.') {
            ++i;
            const std::size_t start = i;
            if (!number(3, ms))
                return std::nullopt;
            for (std::size_t d = i - start; d < 3; ++d)
                ms *= 10;
        }
    }
    skipBlanks();
    if (i != text.size() || h > 23 || m > 59 || s > 59)
        return std::nullopt;
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

// Milliseconds from now until the next time the local clock shows `target`.
long long msUntilTimeOfDay(long long target)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    const long long current = ((local.tm_hour * 60LL + local.tm_min) * 60 + local.tm_sec) * 1000 + ms;
    const long long day = 24LL * 3600 * 1000;
    return ((target - current) % day + day) % day;
}

}  // namespace

// WAITFOR DELAY / TIME: sleeps in short steps, each checking the command
// time-out and the cancel (a TDS client's attention ends it at once).
void Session::executeWaitFor(const ast::WaitForStmt& s, RunState& st)
{
    SqlType type;
    const Value v = evaluateWithType(*s.time, type, st);
    // A datetime variable waits for (or until) its time of day.
    std::string written = v.kind == ValueKind::DateTime && v.text.size() > 11 ? v.text.substr(11) : v.toString();
    const std::optional<long long> time = timeOfDayMs(written);
    if (!time)
        throw SqlException(148, "Incorrect time syntax in time string '" + written + "' used with WAITFOR.",
                           s.pos.line, 15);
    const long long wait = s.delay ? *time : msUntilTimeOfDay(*time);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
    for (;;) {
        checkDeadline();
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            break;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now,
                                                                                 std::chrono::milliseconds(10)));
    }
}

}  // namespace vqsql
