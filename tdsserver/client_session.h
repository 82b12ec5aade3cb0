// One client connection from its first packet to its end: PRELOGIN and
// the encryption choice, LOGIN7 against the instance's logins, then the
// requests (SQL batches, remote procedure calls, transaction-manager
// requests, attention signals), each answered with the token stream SQL
// Server would send. Runs on the connection's own thread; the engine
// connection it holds is used by that thread only.
#pragma once

#include "client_stream.h"
#include "login_throttle.h"
#include "rpc.h"
#include "server_settings.h"
#include "tokens.h"
#include "txmanager.h"

#include "connection.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <string>

namespace vqtdsserver {

class TlsServerContext;

// What every connection of one server shares.
struct ServerContext {
    std::string instanceFolder;
    ServerSettings settings;
    std::shared_ptr<TlsServerContext> tls;   // null: no certificate, no encryption
    std::string serverName;                  // in messages: this machine's name
    LoginThrottle* throttle = nullptr;
    // Logged-in connections, counted against settings.maxConnections.
    std::atomic<int>* loggedIn = nullptr;
    // The server's log: one line per event worth an administrator's look.
    std::function<void(const std::string&)> log;
};

class ClientSession {
public:
    ClientSession(ClientStream& stream, const ServerContext& context);
    ~ClientSession();

    // Serves the client until it leaves, the connection fails or the
    // server stops. Never throws.
    // The stream's shutdown (from any thread) ends it: a running request
    // sees the closed stream in its cancel poll and stops.
    void serve();

private:
    bool login();
    void serveRequests();
    void handle(const vqtds::Message& message);

    void runBatch(const vqtds::Message& message);
    void runRpc(const vqtds::Message& message);
    void runTransactionRequest(const vqtds::Message& message);
    void resetConnection(vqtds::TokenWriter& w);

    // One RPC call's results into `w`, ended by its DONEPROC.
    void runRpcCall(const vqtds::RpcCall& call, vqtds::TokenWriter& w, bool last);
    // A value handed back to the client besides the statement's outputs
    // (the handle of sp_prepare and sp_prepexec).
    struct ExtraOutput {
        std::uint16_t ordinal = 0;
        const vqtds::RpcParameter* parameter = nullptr;
        vqsql::Value value;
    };
    // Where an argument of an engine call came from: the position and
    // parameter of the RPC call (no parameter: not the client's own).
    struct CallOrigin {
        std::uint16_t ordinal = 0;
        const vqtds::RpcParameter* parameter = nullptr;
    };
    static std::vector<vqsql::CallArgument> callArguments(const std::vector<vqtds::RpcParameter>& parameters,
                                                          std::size_t first);
    // Calls a procedure (or sp_executesql) on the engine and writes its
    // results, RETURNSTATUS and RETURNVALUEs; true when it reported an error.
    bool runEngineCall(const std::string& procedure, const std::vector<vqsql::CallArgument>& arguments,
                       const std::vector<CallOrigin>& origins, vqtds::TokenWriter& w,
                       const std::vector<ExtraOutput>& extra = {});
    bool runPrepared(const vqtds::RpcCall& call, vqtds::TokenWriter& w);
    bool runUnprepare(const vqtds::RpcCall& call, vqtds::TokenWriter& w);
    void writeReturnValue(vqtds::TokenWriter& w, std::uint16_t ordinal, const vqtds::RpcParameter& parameter,
                          const vqsql::Value& value, const vqsql::SqlType& valueType);

    // Server cursors (server_cursors.cpp): sp_cursoropen, sp_cursorfetch
    // and sp_cursorclose on the engine's Transact-SQL cursors.
    struct ServerCursor {
        std::string name;             // the engine cursor's name, bracketed
        long long rows = 0;           // rows of the result
        long long bufferStart = 0;    // first row of the last fetch buffer (0 before the first row)
        long long bufferSize = 0;     // rows in it
    };
    bool runCursorOpen(const vqtds::RpcCall& call, vqtds::TokenWriter& w);
    bool runCursorFetch(const vqtds::RpcCall& call, vqtds::TokenWriter& w);
    bool runCursorClose(const vqtds::RpcCall& call, vqtds::TokenWriter& w);
    ServerCursor& serverCursor(const vqtds::RpcCall& call, const std::string& procedure);
    vqsql::BatchResult runCursorBatch(const std::string& text);
    void writeCursorRows(vqtds::TokenWriter& w, const vqsql::ResultSet& rs);
    void closeServerCursors();

    struct Outcome {
        vqsql::BatchResult result;
        bool attention = false;
    };
    // Runs a batch on the engine, watching for the client's attention.
    Outcome execute(const std::string& text);
    // The events of a batch as tokens: result sets, row counts, messages
    // and errors, each statement ended by a DONE (or DONEINPROC inside a
    // procedure call). Returns whether any error was written. The last
    // DONE is left to the caller, which knows whether more follows.
    struct PendingDone {
        bool present = false;
        std::uint16_t status = 0;
        std::uint16_t command = 0;
        std::uint64_t count = 0;
    };
    bool writeEvents(vqtds::TokenWriter& w, const vqsql::BatchResult& result, bool inProcedure, PendingDone& pending,
                     std::size_t skipLastResultSet = 0);
    // ENVCHANGE tokens for a change of database or transaction that the
    // request made (a transaction's end as a commit or a rollback, as the
    // engine's count of commits tells).
    void writeStateChanges(vqtds::TokenWriter& w);
    void writeError(vqtds::TokenWriter& w, const vqsql::SqlError& error);
    void writeErrors(vqtds::TokenWriter& w, const std::vector<vqsql::SqlError>& errors);
    // The writer of a request's reply: a large reply goes out in pieces
    // as it is written; send() ends it.
    vqtds::TokenWriter replyWriter();
    void send(const vqtds::TokenWriter& w);
    void sendAttentionAck();
    void sendCancelledReply(vqtds::TokenWriter& w);
    // Errors that end the request early, answered with ERROR + DONE.
    void sendRequestError(const vqsql::SqlError& error);

    ClientStream& stream_;
    const ServerContext& context_;
    vqtds::TdsVersion version_ = vqtds::TdsVersion::V7_4;
    vqsql::Connection connection_;
    bool counted_ = false;      // counted in context_.loggedIn
    bool attention_ = false;    // the client's attention arrived during the running request
    std::string loginDatabase_;
    std::string database_;      // as the client was last told
    std::uint64_t transactionDescriptor_ = 0;   // 0: no transaction
    std::uint64_t nextDescriptor_ = 1;
    std::uint64_t commitsSeen_ = 0;
    struct PreparedStatement {
        std::string statement;
        std::string declarations;   // the parameter declaration list as sent
    };
    std::map<std::int32_t, PreparedStatement> prepared_;
    std::int32_t nextHandle_ = 1;
    std::map<std::int32_t, ServerCursor> serverCursors_;
    std::int32_t nextCursorHandle_ = 180150001;   // the kind of number SQL Server hands out
};

}  // namespace vqtdsserver
