// The connection API over an engine session.
#include "connection.h"

#include "instance.h"
#include "session.h"
#include "session_internal.h"
#include "sqlite_util.h"

#include <stdexcept>

namespace vqsql {

namespace {

std::string trim(const std::string& s)
{
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// The values of Trusted_Connection / Integrated Security that ask for a
// trusted login.
bool isTrustedValue(const std::string& value)
{
    const std::string v = lowerAscii(value);
    return v == "yes" || v == "true" || v == "sspi";
}

}  // namespace

ConnectionParams parseConnectionString(const std::string& text)
{
    ConnectionParams p;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t eq = text.find('=', i);
        if (eq == std::string::npos)
            break;
        std::string key = lowerAscii(trim(text.substr(i, eq - i)));
        std::size_t v = eq + 1;
        while (v < text.size() && text[v] == ' ')
            ++v;
        std::string value;
        if (v < text.size() && (text[v] == '"' || text[v] == '\'')) {
            // Quoted value: a doubled quote stands for one quote.
            char q = text[v++];
            while (v < text.size()) {
                if (text[v] == q) {
                    if (v + 1 < text.size() && text[v + 1] == q) {
                        value.push_back(q);
                        v += 2;
                        continue;
                    }
                    ++v;
                    break;
                }
                value.push_back(text[v++]);
            }
            std::size_t semi = text.find(';', v);
            i = semi == std::string::npos ? text.size() : semi + 1;
        } else {
            std::size_t semi = text.find(';', v);
            value = trim(text.substr(v, semi == std::string::npos ? std::string::npos : semi - v));
            i = semi == std::string::npos ? text.size() : semi + 1;
        }
        if (key == "data source" || key == "server" || key == "address" || key == "addr")
            p.server = value;
        else if (key == "initial catalog" || key == "database")
            p.database = value;
        else if (key == "user id" || key == "uid" || key == "user")
            p.user = value;
        else if (key == "password" || key == "pwd")
            p.password = value;
        else if (key == "trusted_connection" || key == "integrated security")
            p.trusted = isTrustedValue(value);
    }
    return p;
}

struct Connection::Impl {
    ConnectionParams params;
    std::unique_ptr<Session> session;
    int timeout = 30;
    ProgressHandler progress;
};

Connection::Connection() : impl_(std::make_unique<Impl>()) {}
Connection::~Connection() = default;

void Connection::open(const ConnectionParams& params)
{
    close();
    impl_->params = params;
    auto session = std::make_unique<Session>();
    session->open(instanceFolderFor(params.server), params.database, params.user.empty() ? "sa" : params.user,
                  params.password, params.trusted);
    session->setCommandTimeout(impl_->timeout);
    session->setProgressHandler(impl_->progress);
    impl_->session = std::move(session);
}

void Connection::open(const std::string& connectionString)
{
    open(parseConnectionString(connectionString));
}

void Connection::close()
{
    impl_->session.reset();
}

bool Connection::isOpen() const
{
    return impl_->session != nullptr;
}

static Session& requireOpen(const std::unique_ptr<Session>& s)
{
    if (!s)
        throw SqlException(err::Internal, "The connection is closed.");
    return *s;
}

BatchResult Connection::run(const std::string& batch)
{
    return requireOpen(impl_->session).run(batch);
}

CallResult Connection::call(const std::string& procedure, const std::vector<CallArgument>& arguments)
{
    return requireOpen(impl_->session).call(procedure, arguments);
}

void Connection::execute(const std::string& batch)
{
    BatchResult r = run(batch);
    if (!r.ok())
        throw SqlException(r.errors);
}

ResultSet Connection::query(const std::string& batch)
{
    BatchResult r = run(batch);
    if (!r.ok())
        throw SqlException(r.errors);
    if (r.resultSets.empty())
        return {};
    return std::move(r.resultSets.front());
}

RowCursor Connection::openCursor(const std::string& select)
{
    std::shared_ptr<Session::CursorState> state = requireOpen(impl_->session).openCursor(select);
    auto impl = std::make_unique<RowCursor::Impl>();
    impl->columns = state->prepared->translation.columns;
    impl->state = state;
    return RowCursor(std::move(impl));
}

void Connection::beginTransaction()
{
    requireOpen(impl_->session).beginTransaction();
}

void Connection::commit()
{
    requireOpen(impl_->session).commit();
}

void Connection::rollback()
{
    requireOpen(impl_->session).rollback();
}

bool Connection::inTransaction() const
{
    return impl_->session && impl_->session->inTransaction();
}

std::uint64_t Connection::committedTransactions() const
{
    return impl_->session ? impl_->session->committedTransactions() : 0;
}

void Connection::requestCancel()
{
    if (impl_->session)
        impl_->session->requestCancel();
}

void Connection::setCancelPoll(std::function<bool()> poll)
{
    requireOpen(impl_->session).setCancelPoll(std::move(poll));
}

void Connection::resetSessionScope()
{
    requireOpen(impl_->session).resetSessionScope();
}

void Connection::setCommandTimeout(int seconds)
{
    impl_->timeout = seconds;
    if (impl_->session)
        impl_->session->setCommandTimeout(seconds);
}

void Connection::setProgressHandler(ProgressHandler handler)
{
    impl_->progress = std::move(handler);
    if (impl_->session)
        impl_->session->setProgressHandler(impl_->progress);
}

int Connection::commandTimeout() const
{
    return impl_->timeout;
}

std::string Connection::currentDatabase() const
{
    return impl_->session ? impl_->session->currentDatabase() : std::string();
}

const ConnectionParams& Connection::params() const
{
    return impl_->params;
}

}  // namespace vqsql
