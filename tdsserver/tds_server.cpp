#include "tds_server.h"

#include "tls_channel.h"

#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace vqtdsserver {

namespace {

std::string machineName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

// Connections beyond the login limit still get a thread of their own until
// they are refused at login; past this many more they are closed at once.
constexpr int kPreLoginAllowance = 32;

}  // namespace

TdsServer::TdsServer(std::string instanceFolder, ServerSettings settings, Log log) : acceptor_(io_)
{
    context_.instanceFolder = std::move(instanceFolder);
    context_.settings = std::move(settings);
    context_.serverName = machineName();
    context_.throttle = &throttle_;
    context_.loggedIn = &loggedIn_;
    context_.log = std::move(log);
}

TdsServer::~TdsServer()
{
    stop();
}

void TdsServer::start()
{
    const std::string cert = resolveInInstance(context_.instanceFolder, context_.settings.certificateFile);
    const std::string key = resolveInInstance(context_.instanceFolder, context_.settings.keyFile);
    if (std::filesystem::exists(cert) && std::filesystem::exists(key)) {
        try {
            context_.tls = TlsServerContext::load(cert, key);
        } catch (const TlsError& e) {
            if (context_.settings.forceEncryption)
                throw std::runtime_error(std::string("encryption is forced but the certificate cannot be used: ") +
                                         e.what());
            if (context_.log)
                context_.log(std::string("encryption is off: ") + e.what());
        }
    } else if (context_.settings.forceEncryption) {
        throw std::runtime_error("encryption is forced but there is no certificate (" + cert + ")");
    }

    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(context_.settings.address, ec);
    if (ec)
        throw std::runtime_error("'" + context_.settings.address + "' is not an IP address");
    const asio::ip::tcp::endpoint endpoint(address, context_.settings.port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint, ec);
    if (ec)
        throw std::runtime_error("cannot listen on " + context_.settings.address + ":" +
                                 std::to_string(context_.settings.port) + ": " + ec.message());
    acceptor_.listen(asio::socket_base::max_listen_connections);
    port_ = acceptor_.local_endpoint().port();
    acceptNext();
    acceptThread_ = std::thread([this] { io_.run(); });
}

std::string TdsServer::listeningOn() const
{
    return context_.settings.address + ":" + std::to_string(port_);
}

unsigned short TdsServer::port() const
{
    return port_;
}

int TdsServer::openConnections() const
{
    std::lock_guard lock(clientsMutex_);
    int n = 0;
    for (const auto& c : clients_)
        n += c->finished ? 0 : 1;
    return n;
}

void TdsServer::acceptNext()
{
    acceptor_.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open())
            return;
        if (!ec)
            startClient(std::move(socket));
        acceptNext();
    });
}

void TdsServer::startClient(asio::ip::tcp::socket socket)
{
    std::lock_guard lock(clientsMutex_);
    reapFinished();
    if (stopping_)
        return;
    if (static_cast<int>(clients_.size()) >= context_.settings.maxConnections + kPreLoginAllowance) {
        asio::error_code ec;
        const auto peer = socket.remote_endpoint(ec);
        if (context_.log)
            context_.log("too many connections: one from " + (ec ? std::string("?") : peer.address().to_string()) +
                         " closed");
        return;   // the socket closes as it goes out of scope
    }
    auto client = std::make_unique<Client>();
    client->stream = std::make_unique<ClientStream>(std::move(socket));
    client->session = std::make_unique<ClientSession>(*client->stream, context_);
    Client* raw = client.get();
    client->thread = std::thread([raw] {
        raw->session->serve();
        raw->session.reset();   // closes the engine connection first (rolling back)
        // The client sees the end now, not when the next connection
        // arrives and the finished ones are reaped.
        raw->stream->shutdown();
        raw->finished = true;
    });
    clients_.push_back(std::move(client));
}

void TdsServer::reapFinished()
{
    for (auto it = clients_.begin(); it != clients_.end();) {
        if ((*it)->finished) {
            (*it)->thread.join();
            it = clients_.erase(it);
        } else {
            ++it;
        }
    }
}

void TdsServer::stop()
{
    {
        std::lock_guard lock(clientsMutex_);
        if (stopping_)
            return;
        stopping_ = true;
    }
    asio::post(io_, [this] {
        asio::error_code ignored;
        acceptor_.close(ignored);
    });
    if (acceptThread_.joinable())
        acceptThread_.join();
    std::list<std::unique_ptr<Client>> clients;
    {
        std::lock_guard lock(clientsMutex_);
        clients.swap(clients_);
        for (auto& c : clients) {
            if (!c->finished) {
                c->stream->shutdown();
                // The session may be going away on its own thread: only
                // the stream's shutdown is safe then, and it suffices.
            }
        }
    }
    for (auto& c : clients) {
        if (c->thread.joinable())
            c->thread.join();
    }
}

}  // namespace vqtdsserver
