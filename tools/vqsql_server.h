// vqsql's commands for an instance's network server: `serve` runs it in
// the foreground (for service managers and tests), `start` runs it in the
// background, `stop` ends it, `status` tells where it listens. The
// running server keeps "<instance>/server.pid": its process id on the
// first line and the address it listens on on the second.
#pragma once

#include <optional>
#include <string>

namespace vqsql::cli {

// Command-line overrides of the instance's server.conf.
struct ServerOverrides {
    std::optional<std::string> address;
    std::optional<unsigned short> port;
};

inline constexpr const char* kServerPidFile = "server.pid";
inline constexpr const char* kServerLogFile = "server.log";

// Writes server.conf and a self-signed certificate for a new instance.
void prepareNetworkServer(const std::string& folder);

// Runs the server until SIGTERM, SIGINT or SIGHUP; prints "Listening on
// ADDRESS:PORT" once it accepts connections. Returns the exit code.
int serveForeground(const std::string& folder, const ServerOverrides& overrides);
// Starts `vqsql serve` as a background process and waits until it
// listens; prints where. Returns the exit code.
int startServer(const std::string& folder, const ServerOverrides& overrides, const std::string& selfPath);
// Stops the background server, if one runs; returns whether one did.
bool stopServer(const std::string& folder);

struct RunningServer {
    int pid = 0;
    std::string listeningOn;
};
// The server running for the instance, if any.
std::optional<RunningServer> runningServer(const std::string& folder);

}  // namespace vqsql::cli
