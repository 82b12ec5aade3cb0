#include "vqsql_server.h"

#include "certificate.h"
#include "connection.h"
#include "instance.h"
#include "server_settings.h"
#include "tds_server.h"

#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vqsql::cli {

namespace {

std::string pidFile(const std::string& folder)
{
    return (std::filesystem::path(folder) / kServerPidFile).string();
}

std::string logFile(const std::string& folder)
{
    return (std::filesystem::path(folder) / kServerLogFile).string();
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

// True while `pid` is a vqsql server process (not some other process that
// got the number of one that ended).
bool isServerProcess(int pid)
{
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM))
        return false;
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
    std::string all((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    if (all.find("serve") == std::string::npos)
        return false;
    // A process that has ended but is not yet reaped is no server any more.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

void writePidFile(const std::string& folder, const std::string& listeningOn)
{
    const std::string target = pidFile(folder);
    const std::string temporary = target + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << ::getpid() << '\n' << listeningOn << '\n';
    }
    std::filesystem::rename(temporary, target);
}

std::string timestamp()
{
    std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    return text;
}

// The last lines of the server's log, to explain a start that failed.
std::string logTail(const std::string& folder)
{
    std::ifstream in(logFile(folder));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        if (lines.size() > 5)
            lines.erase(lines.begin());
    }
    std::string out;
    for (const auto& l : lines)
        out += "  " + l + "\n";
    return out;
}

// Whether sa logs in without a password.
bool saPasswordIsEmpty(const std::string& folder)
{
    try {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{folder, "master", "sa", "", false});
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void prepareNetworkServer(const std::string& folder)
{
    const vqtdsserver::ServerSettings settings;
    if (!std::filesystem::exists(std::filesystem::path(folder) / vqtdsserver::kServerSettingsFile))
        vqtdsserver::writeServerSettings(folder, settings);
    const std::string cert = vqtdsserver::resolveInInstance(folder, settings.certificateFile);
    const std::string key = vqtdsserver::resolveInInstance(folder, settings.keyFile);
    if (!vqtdsserver::certificateFilesPresent(cert, key))
        vqtdsserver::createSelfSignedCertificate(cert, key, hostName());
}

std::optional<RunningServer> runningServer(const std::string& folder)
{
    std::ifstream in(pidFile(folder));
    RunningServer r;
    if (!(in >> r.pid))
        return std::nullopt;
    in >> r.listeningOn;
    if (!isServerProcess(r.pid))
        return std::nullopt;
    return r;
}

int serveForeground(const std::string& folder, const ServerOverrides& overrides)
{
    if (!isInstanceInitialised(folder)) {
        std::cerr << "vqsql: " << folder << " holds no instance (vqsql init makes one)\n";
        return 1;
    }
    if (auto other = runningServer(folder); other && other->pid != ::getpid()) {
        std::cerr << "vqsql: the instance's server already runs (pid " << other->pid << ", listening on "
                  << other->listeningOn << ")\n";
        return 1;
    }
    vqtdsserver::ServerSettings settings;
    try {
        settings = vqtdsserver::loadServerSettings(folder);
    } catch (const std::exception& e) {
        std::cerr << "vqsql: " << e.what() << '\n';
        return 1;
    }
    if (overrides.address)
        settings.address = *overrides.address;
    if (overrides.port)
        settings.port = *overrides.port;

    // The signals that end the server are taken by sigwait below, so every
    // thread started from here on must have them blocked.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    auto log = [](const std::string& line) { std::cerr << timestamp() << "  " << line << std::endl; };
    vqtdsserver::TdsServer server(folder, settings, log);
    try {
        if (!isInstanceRunning(folder))
            startInstance(folder);
        server.start();
    } catch (const std::exception& e) {
        std::cerr << "vqsql: " << e.what() << '\n';
        return 1;
    }
    writePidFile(folder, server.listeningOn());
    log("listening on " + server.listeningOn() + (server.encryptionAvailable() ? ", encryption available" : ", no encryption (no certificate)"));
    std::cout << "Listening on " << server.listeningOn() << std::endl;
    if (saPasswordIsEmpty(folder) && settings.address != "127.0.0.1" && settings.address != "::1")
        log("warning: the sa login has an empty password, so anyone who reaches " + server.listeningOn() +
            " is sa; set one with `vqsql password NEW`");

    int signal = 0;
    sigwait(&endSignals, &signal);
    log(std::string("stopping (") + strsignal(signal) + ")");
    server.stop();
    std::error_code ignored;
    if (auto current = runningServer(folder); !current || current->pid == ::getpid())
        std::filesystem::remove(pidFile(folder), ignored);
    log("stopped");
    return 0;
}

int startServer(const std::string& folder, const ServerOverrides& overrides, const std::string& selfPath)
{
    if (auto running = runningServer(folder)) {
        std::cout << "running, listening on " << running->listeningOn << " (pid " << running->pid << ")\n";
        return 0;
    }
    std::error_code ignored;
    std::filesystem::remove(pidFile(folder), ignored);
    std::vector<std::string> args = {selfPath, "serve", "-S", folder};
    if (overrides.address) {
        args.push_back("--address");
        args.push_back(*overrides.address);
    }
    if (overrides.port) {
        args.push_back("--port");
        args.push_back(std::to_string(*overrides.port));
    }
    const pid_t child = ::fork();
    if (child < 0) {
        std::cerr << "vqsql: cannot start the server: " << std::strerror(errno) << '\n';
        return 1;
    }
    if (child == 0) {
        ::setsid();
        const int devNull = ::open("/dev/null", O_RDONLY);
        const int log = ::open(logFile(folder).c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (devNull >= 0)
            ::dup2(devNull, STDIN_FILENO);
        if (log >= 0) {
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
        }
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(selfPath.c_str(), argv.data());
        _exit(127);
    }
    // Wait until the server has written its pid file, or has ended.
    for (int waited = 0; waited < 15000; waited += 20) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            std::cerr << "vqsql: the server did not start; its log (" << logFile(folder) << ") ends:\n"
                      << logTail(folder);
            return 1;
        }
        if (auto running = runningServer(folder); running && running->pid == child) {
            std::cout << "running, listening on " << running->listeningOn << " (pid " << running->pid << ")\n";
            // The server's log says so too, but the person starting it
            // should read it now.
            const bool onlyThisMachine = running->listeningOn.rfind("127.0.0.1:", 0) == 0 ||
                                         running->listeningOn.rfind("::1:", 0) == 0;
            if (!onlyThisMachine && saPasswordIsEmpty(folder))
                std::cerr << "vqsql: warning: the sa login has an empty password, so anyone who reaches "
                          << running->listeningOn << " is sa; set one with `vqsql password NEW`\n";
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(child, SIGTERM);
    std::cerr << "vqsql: the server did not start listening within 15 seconds\n";
    return 1;
}

bool stopServer(const std::string& folder)
{
    auto running = runningServer(folder);
    std::error_code ignored;
    if (!running) {
        std::filesystem::remove(pidFile(folder), ignored);
        return false;
    }
    ::kill(running->pid, SIGTERM);
    for (int waited = 0; waited < 20000 && isServerProcess(running->pid); waited += 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (isServerProcess(running->pid))
        ::kill(running->pid, SIGKILL);
    std::filesystem::remove(pidFile(folder), ignored);
    return true;
}

}  // namespace vqsql::cli
