#include "server_settings.h"

#include "text_util.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vqtdsserver {

namespace {

int parseInt(const std::string& value, int low, int high, const std::string& where)
{
    int n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n < low || n > high)
        throw std::runtime_error(where + ": expected a whole number from " + std::to_string(low) + " to " +
                                 std::to_string(high) + ", found '" + value + "'");
    return n;
}

bool parseBool(const std::string& value, const std::string& where)
{
    if (value == "yes" || value == "true" || value == "on" || value == "1")
        return true;
    if (value == "no" || value == "false" || value == "off" || value == "0")
        return false;
    throw std::runtime_error(where + ": expected yes or no, found '" + value + "'");
}

}  // namespace

std::string resolveInInstance(const std::string& instanceFolder, const std::string& name)
{
    std::filesystem::path p(name);
    if (p.is_absolute())
        return name;
    return (std::filesystem::path(instanceFolder) / p).string();
}

ServerSettings loadServerSettings(const std::string& instanceFolder)
{
    ServerSettings s;
    const std::string file = (std::filesystem::path(instanceFolder) / kServerSettingsFile).string();
    std::ifstream in(file);
    if (!in)
        return s;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const auto hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        line = trimmed(line);
        if (line.empty())
            continue;
        const std::string where = file + ", line " + std::to_string(lineNumber);
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            throw std::runtime_error(where + ": expected key = value");
        const std::string key = trimmed(line.substr(0, eq));
        const std::string value = trimmed(line.substr(eq + 1));
        if (key == "address")
            s.address = value;
        else if (key == "port")
            s.port = static_cast<unsigned short>(parseInt(value, 0, 65535, where));
        else if (key == "max_connections")
            s.maxConnections = parseInt(value, 1, 32767, where);
        else if (key == "login_timeout_seconds")
            s.loginTimeoutSeconds = parseInt(value, 1, 3600, where);
        else if (key == "certificate")
            s.certificateFile = value;
        else if (key == "key")
            s.keyFile = value;
        else if (key == "force_encryption")
            s.forceEncryption = parseBool(value, where);
        else
            throw std::runtime_error(where + ": unknown setting '" + key + "'");
    }
    return s;
}

void writeServerSettings(const std::string& instanceFolder, const ServerSettings& s)
{
    const std::string file = (std::filesystem::path(instanceFolder) / kServerSettingsFile).string();
    std::ofstream out(file, std::ios::trunc);
    out << "# The network (TDS) server of this engine instance, as `vqsql start` runs it.\n"
        << "# Address to listen on: 0.0.0.0 for every IPv4 address, :: for IPv6 too,\n"
        << "# 127.0.0.1 for this machine only.\n"
        << "address = " << s.address << "\n"
        << "port = " << s.port << "\n"
        << "# Client connections served at once; further ones are refused.\n"
        << "max_connections = " << s.maxConnections << "\n"
        << "# A connection that has not logged in by then is closed.\n"
        << "login_timeout_seconds = " << s.loginTimeoutSeconds << "\n"
        << "# TLS certificate and private key (PEM), relative to this folder. Without\n"
        << "# them the server offers no encryption. Replace them with your own at will.\n"
        << "certificate = " << s.certificateFile << "\n"
        << "key = " << s.keyFile << "\n"
        << "# yes: every connection is encrypted; clients that cannot are refused.\n"
        << "force_encryption = " << (s.forceEncryption ? "yes" : "no") << "\n";
    if (!out.flush())
        throw std::runtime_error("cannot write " + file);
}

}  // namespace vqtdsserver
