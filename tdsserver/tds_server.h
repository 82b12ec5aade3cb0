// The TDS server of an engine instance: listens on the address and port
// of its settings, serves each client connection on a thread of its own
// with its own engine session, and stops cleanly: the listener closes,
// running requests are interrupted, open transactions roll back, and
// every thread is joined.
#pragma once

#include "client_session.h"
#include "login_throttle.h"
#include "server_settings.h"

#include <asio.hpp>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vqtdsserver {

class TdsServer {
public:
    using Log = std::function<void(const std::string&)>;

    // `settings` as loaded from the instance (loadServerSettings); the
    // certificate and key, when both files exist, enable encryption.
    TdsServer(std::string instanceFolder, ServerSettings settings, Log log = {});
    ~TdsServer();
    TdsServer(const TdsServer&) = delete;
    TdsServer& operator=(const TdsServer&) = delete;

    // Binds, listens and starts accepting. Throws std::runtime_error when
    // the address cannot be bound (in use, not an address of this
    // machine), or when encryption is forced without a usable certificate.
    void start();
    // Ends everything; returns when every connection's thread has ended.
    void stop();

    // Where it listens, e.g. "0.0.0.0:1433" (the real port when 0 was asked).
    std::string listeningOn() const;
    unsigned short port() const;
    bool encryptionAvailable() const { return context_.tls != nullptr; }
    // Connections open now, logged in or not.
    int openConnections() const;

private:
    struct Client {
        std::unique_ptr<ClientStream> stream;
        std::unique_ptr<ClientSession> session;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void acceptNext();
    void startClient(asio::ip::tcp::socket socket);
    void reapFinished();

    ServerContext context_;
    LoginThrottle throttle_;
    std::atomic<int> loggedIn_{0};
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    std::thread acceptThread_;
    mutable std::mutex clientsMutex_;
    std::list<std::unique_ptr<Client>> clients_;
    bool stopping_ = false;
    unsigned short port_ = 0;
};

}  // namespace vqtdsserver
