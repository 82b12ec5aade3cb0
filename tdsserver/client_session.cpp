#include "client_session.h"

#include "login7.h"
#include "prelogin.h"
#include "sqlbatch.h"
#include "text_util.h"
#include "tls_channel.h"

#include <algorithm>
#include <cctype>

namespace vqtdsserver {

using namespace vqtds;
using vqsql::BatchEvent;
using vqsql::SqlError;
using vqsql::SqlException;

namespace {

// The version this server gives in PRELOGIN and LOGINACK: SQL Server 2008
// (10.0), whose behaviour the engine follows, as @@VERSION says.
constexpr ProductVersion kServerVersion{10, 0, 1600, 0};
// LOGINACK's program name. Clients read it to tell SQL Server from other
// servers that speak TDS, so it is the name they expect.
constexpr const char* kLoginAckProgramName = "Microsoft SQL Server";
constexpr std::uint16_t kSelectCommand = 0xC1;
constexpr const char* kDatabaseChangedPrefix = "Changed database context to '";

SqlError makeError(int number, std::string text, int severity = 16, int state = 1)
{
    SqlError e;
    e.number = number;
    e.message = std::move(text);
    e.severity = severity;
    e.state = state;
    return e;
}

const char* isolationText(IsolationLevel level)
{
    switch (level) {
    case IsolationLevel::ReadUncommitted: return "READ UNCOMMITTED";
    case IsolationLevel::ReadCommitted: return "READ COMMITTED";
    case IsolationLevel::RepeatableRead: return "REPEATABLE READ";
    case IsolationLevel::Serializable: return "SERIALIZABLE";
    case IsolationLevel::Snapshot: return "SNAPSHOT";
    case IsolationLevel::NoChange: break;
    }
    return nullptr;
}

// The text value of a call's parameter, or "" when it is missing or NULL.
std::string textParameter(const RpcCall& call, std::size_t index)
{
    if (index >= call.parameters.size() || call.parameters[index].value.isNull())
        return {};
    return call.parameters[index].value.text;
}

SqlException missingParameter(const std::string& procedure, const std::string& parameter)
{
    return SqlException(201, "Procedure or function '" + procedure + "' expects parameter '" + parameter +
                                 "', which was not supplied.", 1, 16);
}

}  // namespace

ClientSession::ClientSession(ClientStream& stream, const ServerContext& context) : stream_(stream), context_(context)
{
}

ClientSession::~ClientSession()
{
    if (counted_ && context_.loggedIn)
        context_.loggedIn->fetch_sub(1);
}

void ClientSession::serve()
{
    auto log = [&](const std::string& what) {
        if (context_.log)
            context_.log("client " + stream_.peerAddress() + ": " + what);
    };
    try {
        if (!login())
            return;
        serveRequests();
    } catch (const ConnectionClosed&) {
        // The client went away; its transaction is rolled back as the
        // engine connection closes.
    } catch (const ProtocolError& e) {
        log(std::string("closed after a malformed request: ") + e.what());
    } catch (const TlsError& e) {
        log(std::string("closed: ") + e.what() + (e.detail().empty() ? "" : " (" + e.detail() + ")"));
    } catch (const std::exception& e) {
        log(std::string("closed: ") + e.what());
    }
}

// ---- login ------------------------------------------------------------------

bool ClientSession::login()
{
    const Deadline deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(context_.settings.loginTimeoutSeconds);
    std::optional<Message> message = stream_.readMessage(deadline);
    if (!message)
        return false;
    bool loginOnlyEncryption = false;
    if (message->type == packet_type::Prelogin) {
        const PreloginRequest request = parsePrelogin(message->payload);
        const ServerEncryption ability = !context_.tls                       ? ServerEncryption::NoCertificate
                                         : context_.settings.forceEncryption ? ServerEncryption::Required
                                                                             : ServerEncryption::Available;
        const EncryptionChoice choice = negotiateEncryption(request.encryption, ability);
        stream_.send(packet_type::TabularResult, buildPreloginResponse(kServerVersion, choice.response));
        if (choice.outcome == EncryptionOutcome::Refuse)
            return false;
        if (choice.outcome == EncryptionOutcome::LoginOnly || choice.outcome == EncryptionOutcome::Full)
            stream_.startTls(context_.tls, deadline);
        loginOnlyEncryption = choice.outcome == EncryptionOutcome::LoginOnly;
        message = stream_.readMessage(deadline);
        if (!message)
            return false;
    } else if (context_.settings.forceEncryption) {
        return false;   // a client that skips PRELOGIN cannot encrypt
    }
    if (message->type != packet_type::Login7)
        throw ProtocolError("expected a login record");
    const Login7 record = parseLogin7(message->payload);
    if (loginOnlyEncryption)
        stream_.endLoginEncryption();
    const auto version = negotiateTdsVersion(record.tdsVersion);
    if (!version)
        throw ProtocolError("TDS versions before 7.1 are not supported");
    version_ = *version;

    auto refuse = [&](std::vector<SqlError> errors) {
        // The place is given back before the answer: a client that tries
        // again at once must not find it still taken.
        if (counted_) {
            context_.loggedIn->fetch_sub(1);
            counted_ = false;
        }
        TokenWriter w(version_);
        writeErrors(w, errors);
        w.done(done_status::Error, 0, 0);
        send(w);
        return false;
    };
    const std::string user = record.userName.empty() ? "sa" : record.userName;
    if (record.integratedSecurity())
        return refuse({makeError(18452,
                                 "Login failed. The login is from an untrusted domain and cannot be used with "
                                 "Windows authentication.",
                                 14)});
    if (context_.loggedIn) {
        if (context_.loggedIn->fetch_add(1) >= context_.settings.maxConnections) {
            context_.loggedIn->fetch_sub(1);
            return refuse({makeError(17809,
                                     "Could not connect because the maximum number of '" +
                                         std::to_string(context_.settings.maxConnections) +
                                         "' user connections has already been reached. The system administrator "
                                         "can use sp_configure to increase the maximum value. The connection has "
                                         "been closed.",
                                     20)});
        }
        counted_ = true;
    }

    vqsql::ConnectionParams params;
    params.server = context_.instanceFolder;
    params.database = record.database;
    params.user = user;
    params.password = record.password;
    try {
        connection_.open(params);
    } catch (const SqlException& e) {
        std::vector<SqlError> errors = e.errors();
        const bool wrongPassword =
            std::any_of(errors.begin(), errors.end(), [](const SqlError& x) { return x.number == 18456; });
        if (wrongPassword && context_.throttle) {
            const auto delay = context_.throttle->recordFailure(stream_.peerAddress());
            if (context_.log)
                context_.log("client " + stream_.peerAddress() + ": login failed for user '" + user + "'");
            // A client that leaves meanwhile gets no answer, and a stopping
            // server does not wait for the delay to pass.
            if (!stream_.pause(delay))
                return false;
        }
        if (!wrongPassword)
            errors.push_back(makeError(18456, "Login failed for user '" + user + "'.", 14));
        return refuse(errors);
    }
    // Clients time their commands out themselves, with an attention signal.
    connection_.setCommandTimeout(0);
    connection_.setCancelPoll([this] {
        if (!stream_.attentionArrived())
            return false;
        attention_ = true;
        return true;
    });
    database_ = loginDatabase_ = connection_.currentDatabase();

    const auto packetSize = negotiatePacketSize(record.packetSize);
    TokenWriter w(version_);
    w.envDatabase(database_, "master");
    w.info({5701, 2, 0, kDatabaseChangedPrefix + database_ + "'.", context_.serverName, "", 1});
    w.envCollation(chinesePrcCiAs());
    w.envLanguage("us_english", "");
    w.info({5703, 1, 0, "Changed language setting to us_english.", context_.serverName, "", 1});
    w.loginAck(record.tdsVersion, kLoginAckProgramName, kServerVersion.major, kServerVersion.minor,
               kServerVersion.build);
    w.envPacketSize(packetSize, record.packetSize ? record.packetSize : packetSize);
    w.done(done_status::Final, 0, 0);
    stream_.setPacketSize(packetSize);
    send(w);
    return true;
}

// ---- requests ---------------------------------------------------------------

void ClientSession::serveRequests()
{
    for (;;) {
        std::optional<Message> message = stream_.readMessage();
        if (!message)
            return;
        handle(*message);
    }
}

void ClientSession::handle(const Message& message)
{
    attention_ = false;
    switch (message.type) {
    case packet_type::SqlBatch: runBatch(message); break;
    case packet_type::Rpc: runRpc(message); break;
    case packet_type::TransactionManager: runTransactionRequest(message); break;
    case packet_type::Attention: sendAttentionAck(); break;
    case packet_type::BulkLoad:
        sendRequestError(makeError(50000, "The engine does not support bulk loading (BULK INSERT over TDS)."));
        break;
    default: throw ProtocolError("unexpected message type " + std::to_string(message.type));
    }
}

ClientSession::Outcome ClientSession::execute(const std::string& text)
{
    Outcome outcome;
    attention_ = false;
    outcome.result = connection_.run(text);
    outcome.attention = attention_;
    return outcome;
}

void ClientSession::runBatch(const Message& message)
{
    const SqlBatch batch = parseSqlBatch(message.payload, version_);
    TokenWriter w = replyWriter();
    if (message.resetConnection())
        resetConnection(w);
    const Outcome outcome = execute(batch.text);
    if (outcome.attention) {
        writeStateChanges(w);
        sendCancelledReply(w);
        return;
    }
    PendingDone pending;
    writeEvents(w, outcome.result, false, pending);
    writeStateChanges(w);
    if (pending.present)
        w.done(static_cast<std::uint16_t>(pending.status & ~done_status::More), pending.command, pending.count);
    else
        w.done(done_status::Final, 0, 0);
    send(w);
}

bool ClientSession::writeEvents(TokenWriter& w, const vqsql::BatchResult& result, bool inProcedure,
                                PendingDone& pending, std::size_t skipLastResultSet)
{
    bool errors = false;
    auto flush = [&] {
        if (!pending.present)
            return;
        const auto status = static_cast<std::uint16_t>(pending.status | done_status::More);
        if (inProcedure)
            w.doneInProc(status, pending.command, pending.count);
        else
            w.done(status, pending.command, pending.count);
        pending = {};
    };
    for (const BatchEvent& e : result.events) {
        switch (e.kind) {
        case BatchEvent::Kind::ResultSet: {
            if (skipLastResultSet && e.index + 1 == result.resultSets.size())
                break;
            flush();
            const vqsql::ResultSet& rs = result.resultSets[e.index];
            w.resultSet(rs);
            pending = {true, static_cast<std::uint16_t>(rs.countShown ? done_status::Count : 0), kSelectCommand,
                       rs.rows.size()};
            break;
        }
        case BatchEvent::Kind::RowsAffected:
            flush();
            pending = {true, done_status::Count, 0, static_cast<std::uint64_t>(std::max(0LL, e.count))};
            break;
        case BatchEvent::Kind::Message: {
            flush();
            const std::string& text = result.messages[e.index];
            const std::size_t prefix = std::char_traits<char>::length(kDatabaseChangedPrefix);
            if (text.rfind(kDatabaseChangedPrefix, 0) == 0 && text.size() > prefix + 2) {
                // "Changed database context to 'name'."
                const std::string name = text.substr(prefix, text.size() - prefix - 2);
                w.envDatabase(name, database_);
                database_ = name;
                w.info({5701, 1, 0, text, context_.serverName, "", 1});
            } else if (const SqlError* detail = result.messageDetail(e.index)) {
                // RAISERROR of severity 10 or less: its number, state and severity.
                w.info({detail->number, static_cast<std::uint8_t>(detail->state),
                        static_cast<std::uint8_t>(detail->severity), text, context_.serverName, detail->procedure,
                        detail->line});
            } else {
                w.info({0, 1, 0, text, context_.serverName, "", 1});
            }
            break;
        }
        case BatchEvent::Kind::Error:
            flush();
            writeError(w, result.errors[e.index]);
            pending = {true, done_status::Error, 0, 0};
            errors = true;
            break;
        }
    }
    if (inProcedure)
        flush();
    return errors;
}

void ClientSession::writeStateChanges(TokenWriter& w)
{
    const std::string database = connection_.currentDatabase();
    if (lowerAscii(database) != lowerAscii(database_)) {
        w.envDatabase(database, database_);
        database_ = database;
    }
    const bool inTransaction = connection_.inTransaction();
    if (inTransaction && transactionDescriptor_ == 0) {
        transactionDescriptor_ = nextDescriptor_++;
        w.envBeginTransaction(transactionDescriptor_);
    } else if (!inTransaction && transactionDescriptor_ != 0) {
        if (connection_.committedTransactions() != commitsSeen_)
            w.envCommitTransaction(transactionDescriptor_);
        else
            w.envRollbackTransaction(transactionDescriptor_);
        transactionDescriptor_ = 0;
    }
    commitsSeen_ = connection_.committedTransactions();
}

void ClientSession::writeError(TokenWriter& w, const SqlError& error)
{
    w.error(messageFromError(error, context_.serverName));
}

void ClientSession::writeErrors(TokenWriter& w, const std::vector<SqlError>& errors)
{
    for (const SqlError& e : errors)
        writeError(w, e);
}

TokenWriter ClientSession::replyWriter()
{
    TokenWriter w(version_);
    w.streamTo([this](ByteView bytes) {
        if (!stream_.messageOpen())
            stream_.beginMessage(packet_type::TabularResult);
        stream_.appendToMessage(bytes);
    });
    return w;
}

void ClientSession::send(const TokenWriter& w)
{
    if (stream_.messageOpen())
        stream_.endMessage(w.bytes());
    else
        stream_.send(packet_type::TabularResult, w.bytes());
}

// A request cancelled by the client's attention: its reply ends in a
// message of its own, and the acknowledgement (DONE with the attention
// bit) follows as the next message, which is where clients look for it.
void ClientSession::sendCancelledReply(TokenWriter& w)
{
    w.done(done_status::Error, 0, 0);
    send(w);
    sendAttentionAck();
}

void ClientSession::sendAttentionAck()
{
    TokenWriter w(version_);
    w.done(done_status::Attention, 0, 0);
    send(w);
}

void ClientSession::sendRequestError(const SqlError& error)
{
    TokenWriter w(version_);
    writeError(w, error);
    w.done(done_status::Error, 0, 0);
    send(w);
}

// What sp_reset_connection does for a pooled connection handed to a new
// user: the transaction rolled back, the options and the database back to
// those of the login, prepared statements forgotten.
void ClientSession::resetConnection(TokenWriter& w)
{
    if (connection_.inTransaction()) {
        try {
            connection_.rollback();
        } catch (const SqlException&) {
        }
    }
    transactionDescriptor_ = 0;
    connection_.run("SET NOCOUNT OFF;SET XACT_ABORT OFF;SET ROWCOUNT 0;SET LANGUAGE us_english;"
                    "SET TRANSACTION ISOLATION LEVEL READ COMMITTED");
    if (lowerAscii(connection_.currentDatabase()) != lowerAscii(loginDatabase_))
        connection_.run("USE " + bracketed(loginDatabase_));
    database_ = connection_.currentDatabase();
    prepared_.clear();
    closeServerCursors();
    try {
        connection_.resetSessionScope();
    } catch (const SqlException&) {
        // A #table that could not go now goes with the session.
    }
    w.envResetConnectionAck();
}

// ---- remote procedure calls ------------------------------------------------

void ClientSession::runRpc(const Message& message)
{
    const std::vector<RpcCall> calls = parseRpcRequest(message.payload, version_);
    TokenWriter w = replyWriter();
    if (message.resetConnection())
        resetConnection(w);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        runRpcCall(calls[i], w, i + 1 == calls.size());
        if (attention_)
            break;
    }
    if (attention_) {
        writeStateChanges(w);
        sendCancelledReply(w);
        return;
    }
    send(w);
}

void ClientSession::runRpcCall(const RpcCall& call, TokenWriter& w, bool last)
{
    const std::string name = lowerAscii(call.procedureName);
    bool errors = false;
    try {
        if (name == "sp_prepare" || name == "sp_execute" || name == "sp_prepexec") {
            errors = runPrepared(call, w);
        } else if (name == "sp_unprepare") {
            errors = runUnprepare(call, w);
        } else if (name == "sp_cursoropen") {
            errors = runCursorOpen(call, w);
        } else if (name == "sp_cursorfetch") {
            errors = runCursorFetch(call, w);
        } else if (name == "sp_cursorclose") {
            errors = runCursorClose(call, w);
        } else if (name.rfind("sp_cursor", 0) == 0 || name == "sp_prepexecrpc") {
            throw SqlException(vqsql::err::Unsupported,
                               "The engine does not support the procedure " + call.procedureName +
                                   " (server cursors other than sp_cursoropen, sp_cursorfetch and "
                                   "sp_cursorclose on a SELECT); read the rows with a plain query instead.");
        } else {
            // sp_executesql and every other procedure: the engine binds the
            // typed values to the parameters itself.
            std::vector<CallOrigin> origins;
            for (std::size_t i = 0; i < call.parameters.size(); ++i)
                origins.push_back({static_cast<std::uint16_t>(i), &call.parameters[i]});
            errors = runEngineCall(call.procedureName, callArguments(call.parameters, 0), origins, w);
        }
    } catch (const SqlException& e) {
        writeErrors(w, e.errors());
        w.returnStatus(1);
        errors = true;
    }
    std::uint16_t status = last ? done_status::Final : static_cast<std::uint16_t>(done_status::More | done_status::RpcInBatch);
    if (errors)
        status |= done_status::Error;
    writeStateChanges(w);
    w.doneProc(status, 0, 0);
}

std::vector<vqsql::CallArgument> ClientSession::callArguments(const std::vector<RpcParameter>& parameters,
                                                              std::size_t first)
{
    std::vector<vqsql::CallArgument> arguments;
    for (std::size_t i = first; i < parameters.size(); ++i) {
        const RpcParameter& p = parameters[i];
        vqsql::CallArgument a;
        a.name = p.name;
        a.type = sqlTypeOf(p.type);
        a.value = p.value;
        a.output = p.isOutput();
        a.useDefault = p.wantsDefault();
        arguments.push_back(std::move(a));
    }
    return arguments;
}

bool ClientSession::runEngineCall(const std::string& procedure, const std::vector<vqsql::CallArgument>& arguments,
                                  const std::vector<CallOrigin>& origins, TokenWriter& w,
                                  const std::vector<ExtraOutput>& extra)
{
    attention_ = false;
    const vqsql::CallResult call = connection_.call(procedure, arguments);
    if (attention_)
        return true;
    PendingDone pending;
    const bool errors = writeEvents(w, call.result, true, pending);
    w.returnStatus(call.returnStatus);
    // Return values in the order of the call's parameters.
    std::size_t next = 0;
    auto writeExtraBefore = [&](std::uint16_t ordinal) {
        for (; next < extra.size() && extra[next].ordinal < ordinal; ++next)
            writeReturnValue(w, extra[next].ordinal, *extra[next].parameter, extra[next].value,
                             vqsql::SqlType{vqsql::BaseType::Int, 0, 0, 0, {}});
    };
    for (const vqsql::CallResult::Output& out : call.outputs) {
        if (out.argument >= origins.size() || !origins[out.argument].parameter)
            continue;
        const CallOrigin& origin = origins[out.argument];
        writeExtraBefore(origin.ordinal);
        writeReturnValue(w, origin.ordinal, *origin.parameter, out.value, out.type);
    }
    writeExtraBefore(0xFFFF);
    return errors;
}

void ClientSession::writeReturnValue(TokenWriter& w, std::uint16_t ordinal, const RpcParameter& parameter,
                                     const vqsql::Value& value, const vqsql::SqlType& valueType)
{
    try {
        w.returnValue(ordinal, parameter.name, parameter.type, value);
        return;
    } catch (const ProtocolError&) {
        // The value does not fit the type the client declared (a longer
        // text, say): sent in the type of the parameter instead.
    }
    try {
        const TypeInfo wide = typeInfoFor(valueType, version_, wireTextLength(valueType, value));
        w.returnValue(ordinal, parameter.name, wide, value);
    } catch (const ProtocolError&) {
        w.returnValue(ordinal, parameter.name, parameter.type, vqsql::Value::null());
    }
}

// sp_prepare keeps the statement and its declarations under a handle;
// sp_execute and sp_prepexec run them as sp_executesql does.
bool ClientSession::runPrepared(const RpcCall& call, TokenWriter& w)
{
    const std::string name = lowerAscii(call.procedureName);
    const bool prepares = name != "sp_execute";
    const bool executes = name != "sp_prepare";
    std::int32_t handle = 0;
    std::size_t firstValue = 0;
    if (prepares) {
        if (call.parameters.size() < 3)
            throw missingParameter(call.procedureName, call.parameters.size() < 2 ? "@params" : "@stmt");
        PreparedStatement p;
        p.declarations = textParameter(call, 1);
        p.statement = textParameter(call, 2);
        handle = nextHandle_++;
        prepared_[handle] = std::move(p);
        // sp_prepare's fourth parameter holds options; sp_prepexec's values start there.
        firstValue = name == "sp_prepexec" ? 3 : call.parameters.size();
    } else {
        if (call.parameters.empty() || call.parameters[0].value.isNull())
            throw missingParameter("sp_execute", "@handle");
        handle = static_cast<std::int32_t>(call.parameters[0].value.toInt64());
        firstValue = 1;
    }
    auto it = prepared_.find(handle);
    if (it == prepared_.end())
        throw SqlException(8179, "Could not find prepared statement with handle " + std::to_string(handle) + ".", 1, 16);
    std::vector<ExtraOutput> extra;
    if (prepares)
        extra.push_back({0, &call.parameters[0], vqsql::Value::fromInteger(handle)});
    if (!executes) {
        w.returnStatus(0);
        for (const ExtraOutput& e : extra)
            writeReturnValue(w, e.ordinal, *e.parameter, e.value, vqsql::SqlType{vqsql::BaseType::Int, 0, 0, 0, {}});
        return false;
    }
    std::vector<vqsql::CallArgument> arguments(2);
    arguments[0].type = vqsql::makeType(vqsql::BaseType::NVarChar, -1);
    arguments[0].value = vqsql::Value::fromText(it->second.statement);
    arguments[1].type = arguments[0].type;
    arguments[1].value = vqsql::Value::fromText(it->second.declarations);
    std::vector<CallOrigin> origins(2);
    for (std::size_t i = firstValue; i < call.parameters.size(); ++i)
        origins.push_back({static_cast<std::uint16_t>(i), &call.parameters[i]});
    for (vqsql::CallArgument& a : callArguments(call.parameters, firstValue))
        arguments.push_back(std::move(a));
    return runEngineCall("sp_executesql", arguments, origins, w, extra);
}

bool ClientSession::runUnprepare(const RpcCall& call, TokenWriter& w)
{
    if (call.parameters.empty() || call.parameters[0].value.isNull())
        throw missingParameter("sp_unprepare", "@handle");
    const auto handle = static_cast<std::int32_t>(call.parameters[0].value.toInt64());
    if (prepared_.erase(handle) == 0)
        throw SqlException(8179, "Could not find prepared statement with handle " + std::to_string(handle) + ".", 1, 16);
    w.returnStatus(0);
    return false;
}

// ---- transaction-manager requests ------------------------------------------

void ClientSession::runTransactionRequest(const Message& message)
{
    const TransactionManagerRequest request = parseTransactionManagerRequest(message.payload, version_);
    TokenWriter w(version_);
    if (message.resetConnection())
        resetConnection(w);
    bool errors = false;
    auto begin = [&](IsolationLevel level) {
        if (const char* text = isolationText(level)) {
            const vqsql::BatchResult r = connection_.run(std::string("SET TRANSACTION ISOLATION LEVEL ") + text);
            if (!r.ok())
                throw SqlException(r.errors);
        }
        connection_.beginTransaction();
        writeStateChanges(w);
    };
    try {
        switch (request.type) {
        case tm_request::BeginXact: begin(request.isolation); break;
        case tm_request::CommitXact:
        case tm_request::RollbackXact: {
            const bool commit = request.type == tm_request::CommitXact;
            if (!commit && !request.name.empty() && connection_.inTransaction()) {
                // A rollback to a savepoint goes through the engine's statement.
                const vqsql::BatchResult r = connection_.run("ROLLBACK TRANSACTION " + bracketed(request.name));
                if (!r.ok())
                    throw SqlException(r.errors);
                break;
            }
            if (commit)
                connection_.commit();
            else
                connection_.rollback();
            writeStateChanges(w);
            if (request.beginAfter)
                begin(request.isolation);
            break;
        }
        case tm_request::SaveXact: {
            const vqsql::BatchResult r = connection_.run("SAVE TRANSACTION " + bracketed(request.name));
            if (!r.ok())
                throw SqlException(r.errors);
            break;
        }
        default:
            throw SqlException(vqsql::err::Unsupported, "The engine does not support distributed transactions.");
        }
    } catch (const SqlException& e) {
        writeErrors(w, e.errors());
        writeStateChanges(w);
        errors = true;
    }
    w.done(errors ? done_status::Error : done_status::Final, 0, 0);
    send(w);
}

}  // namespace vqtdsserver
