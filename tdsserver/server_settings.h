// The network server's settings, kept in the instance folder as
// "server.conf": lines of "key = value", '#' starts a comment. A missing
// file or key means the default; an unknown key or a bad value is an
// error naming the line, so a typing mistake is not silently ignored.
#pragma once

#include <string>

namespace vqtdsserver {

struct ServerSettings {
    std::string address = "0.0.0.0";   // all IPv4 addresses, as SQL Server listens
    unsigned short port = 1433;
    int maxConnections = 200;
    int loginTimeoutSeconds = 10;       // a connection that has not logged in by then is closed
    std::string certificateFile = "server.crt";   // relative names are in the instance folder
    std::string keyFile = "server.key";
    bool forceEncryption = false;       // encrypt every connection, refuse clients that cannot
};

inline constexpr const char* kServerSettingsFile = "server.conf";

// The settings of the instance in `folder`; throws std::runtime_error
// with the file, line and problem for a malformed file.
ServerSettings loadServerSettings(const std::string& instanceFolder);
// Writes the file with every key and a comment on each; used by
// `vqsql init` so the administrator finds what can be changed.
void writeServerSettings(const std::string& instanceFolder, const ServerSettings& settings);
// A relative certificate or key name resolved against the instance folder.
std::string resolveInInstance(const std::string& instanceFolder, const std::string& name);

}  // namespace vqtdsserver
