// vqsql: the engine's command-line tool, in the manner of sqlcmd.
//
// Runs Transact-SQL batches against an engine instance and prints what they
// return the way sqlcmd prints it:
//
//   vqsql -Q "select 1 as n"          one batch, then exit
//   vqsql -i setup.sql                a script; batches end at lines "GO"
//   vqsql < setup.sql                 the same from standard input
//
// The units: vqsql_options (the command line), vqsql_script (lines,
// batches, scripting variables and sqlcmd's commands), vqsql_output
// (sqlcmd's format). This file connects, runs the batches and administers
// instances.
//
// The exit code is 1 when any batch reported an error, else 0; with -b (or
// after ":on error exit") the first failing batch ends the run. Unlike
// sqlcmd, without -b every batch runs and a failure anywhere still makes the
// exit code 1, which callers rely on.
//
// The same tool administers an instance (init, start, stop, status,
// password, also written --init ...); those commands are dispatched from
// runAdmin().
#include "connection.h"
#include "instance.h"
#include "vqsql_options.h"
#include "vqsql_output.h"
#include "vqsql_script.h"
#include "vqsql_server.h"

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>

namespace {

using namespace vqsql::cli;

// ---------------------------------------------------------------------------
// Running batches

// The first value of a batch's last result set as a whole number: what
// EXIT(query) returns, its query being the end of the batch. None when
// there is no such value or it is no number.
std::optional<long long> exitValueOf(const vqsql::BatchResult& result)
{
    if (result.resultSets.empty() || result.resultSets.back().rows.empty()
        || result.resultSets.back().rows.front().empty())
        return std::nullopt;
    const vqsql::Value& v = result.resultSets.back().rows.front().front();
    if (v.kind == vqsql::ValueKind::Integer)
        return v.toInt64();
    if (v.kind == vqsql::ValueKind::Number)
        return static_cast<long long>(std::trunc(v.toDouble()));
    return std::nullopt;
}

// One connection to the instance; runs the batches the script hands over
// and prints what they return.
class ConnectionRunner : public BatchRunner {
public:
    ConnectionRunner(const Options& options, std::ostream& out)
        : options_(options), out_(out), serverName_(serverDisplayName(options.server))
    {
        style_.trimWidths = options.trimWidths;
        style_.separator = options.separator;
        style_.rowsPerHeader = options.rowsPerHeader;
    }

    // Opens the connection; prints the errors and returns false on failure.
    bool open()
    {
        try {
            vqsql::ConnectionParams params{options_.server, options_.database, options_.user, options_.password};
            params.trusted = options_.trusted;
            connection_.open(params);
            return true;
        } catch (const vqsql::SqlException& e) {
            for (const auto& error : e.errors())
                printError(out_, error, serverName_);
        } catch (const std::exception& e) {
            out_ << "vqsql: cannot connect to '" << options_.server << "': " << e.what() << '\n';
        }
        return false;
    }

    BatchOutcome run(const std::string& batch, int times) override
    {
        BatchOutcome outcome;
        for (int i = 0; i < times; ++i) {
            try {
                const vqsql::BatchResult result = connection_.run(batch);
                printBatchResult(out_, result, style_, serverName_);
                outcome.ok = outcome.ok && result.ok();
                outcome.exitValue = exitValueOf(result);
            } catch (const vqsql::SqlException& e) {
                for (const auto& error : e.errors())
                    printError(out_, error, serverName_);
                outcome.ok = false;
            } catch (const std::exception& e) {
                out_ << "vqsql: " << e.what() << '\n';
                outcome.ok = false;
            }
        }
        out_.flush();
        return outcome;
    }

private:
    const Options& options_;
    std::ostream& out_;
    std::string serverName_;
    OutputStyle style_;
    vqsql::Connection connection_;
};

// The scripting variables a run starts with: sqlcmd's own for the
// connection, then those of -v.
ScriptVariables initialVariables(const Options& options)
{
    ScriptVariables variables;
    variables.set("SQLCMDSERVER", options.server);
    variables.set("SQLCMDDBNAME", options.database);
    variables.set("SQLCMDUSER", options.trusted ? std::string() : options.user);
    for (const auto& [name, value] : options.variables)
        variables.set(name, value);
    return variables;
}

int runBatches(const Options& options, std::ostream& out)
{
    ConnectionRunner connection(options, out);
    if (!connection.open())
        return 1;

    ScriptVariables variables = initialVariables(options);
    ScriptRunner script(connection, variables, out, options.stopOnError);
    if (options.query) {
        script.runText(*options.query);
    } else if (!options.inputFiles.empty()) {
        for (const auto& path : options.inputFiles) {
            if (script.stopped())
                break;
            if (!script.runFile(path)) {
                out << "vqsql: '" << path << "': cannot open the input file.\n";
                script.fail();
                break;
            }
        }
    } else {
        if (options.initialQuery)
            script.runText(*options.initialQuery);
        if (!script.stopped())
            script.runStream(std::cin, "", isatty(STDIN_FILENO) != 0);
    }
    out.flush();
    return script.exitCode();
}

// ---------------------------------------------------------------------------
// Administration of an instance. Each command gets the parsed options (-S
// names the instance, -P the sa password) and returns the exit code.

// The instance folder -S names; prints the problem and returns "" when it
// names none.
std::string adminFolder(const Options& options)
{
    const std::string folder = vqsql::instanceFolderFor(options.server);
    if (folder.empty())
        std::cerr << "vqsql: " << options.server << " names no local instance\n";
    return folder;
}

// Runs one instance command, printing its error; returns the exit code.
int adminRun(const std::function<void()>& command)
{
    try {
        command();
    } catch (const vqsql::SqlException& e) {
        std::cerr << "vqsql: " << e.first().message << '\n';
        return 1;
    }
    return 0;
}

// Initialises (and starts) the instance -S names, default the default
// instance, with the sa password -P (may be empty), and prepares its
// network server: server.conf and a self-signed certificate.
int adminInit(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    int rc = adminRun([&] { vqsql::initialiseInstance(folder, options.password); });
    if (rc != 0)
        return rc;
    try {
        prepareNetworkServer(folder);
    } catch (const std::exception& e) {
        std::cerr << "vqsql: the network server was not prepared: " << e.what() << '\n';
        return 1;
    }
    std::cout << "Initialised and started the instance in " << folder << '\n';
    return 0;
}

ServerOverrides serverOverrides(const Options& options)
{
    return {options.listenAddress, options.listenPort};
}

// The path of this program, to start it again as the background server.
std::string selfPath()
{
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("vqsql") : p.string();
}

// Starts the instance and its network server in the background.
int adminStart(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    int rc = adminRun([&] { vqsql::startInstance(folder); });
    if (rc != 0)
        return rc;
    try {
        prepareNetworkServer(folder);   // an instance made before the network server existed
    } catch (const std::exception& e) {
        std::cerr << "vqsql: " << e.what() << '\n';
        return 1;
    }
    return startServer(folder, serverOverrides(options), selfPath());
}

// Stops the network server (its open transactions roll back) and the
// instance: new connections then fail as against a stopped SQL Server.
int adminStop(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    if (vqsql::isInstanceInitialised(folder))
        stopServer(folder);
    int rc = adminRun([&] { vqsql::stopInstance(folder); });
    if (rc == 0)
        std::cout << "stopped\n";
    return rc;
}

// Prints "not installed", "stopped", "running" (local connections only)
// or "running, listening on ADDRESS:PORT (pid N)".
int adminStatus(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    if (!vqsql::isInstanceInitialised(folder)) {
        std::cout << "not installed\n";
    } else if (!vqsql::isInstanceRunning(folder)) {
        std::cout << "stopped\n";
    } else if (auto server = runningServer(folder)) {
        std::cout << "running, listening on " << server->listeningOn << " (pid " << server->pid << ")\n";
    } else {
        std::cout << "running\n";
    }
    return 0;
}

// Runs the network server in the foreground until a signal ends it.
int adminServe(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    return serveForeground(folder, serverOverrides(options));
}

// Changes the sa password to the command's argument; -P gives the old one.
int adminPassword(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    int rc = adminRun([&] { vqsql::changeSaPassword(folder, options.password, options.newPassword); });
    if (rc == 0)
        std::cout << "The sa password has been changed.\n";
    return rc;
}

int runAdmin(const Options& options)
{
    switch (options.admin) {
    case AdminCommand::Init: return adminInit(options);
    case AdminCommand::Start: return adminStart(options);
    case AdminCommand::Stop: return adminStop(options);
    case AdminCommand::Status: return adminStatus(options);
    case AdminCommand::Password: return adminPassword(options);
    case AdminCommand::Serve: return adminServe(options);
    case AdminCommand::None: break;
    }
    return 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    Options options;
    try {
        options = parseArguments(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "vqsql: " << e.message << "\n\n" << kUsage;
        return 1;
    }
    if (options.usage) {
        std::cout << kUsage;
        return 0;
    }
    if (options.admin != AdminCommand::None)
        return runAdmin(options);
    if (!options.outputFile)
        return runBatches(options, std::cout);
    std::ofstream file(*options.outputFile, std::ios::binary | std::ios::trunc);
    if (!file) {
        std::cerr << "vqsql: '" << *options.outputFile << "': cannot open the output file.\n";
        return 1;
    }
    return runBatches(options, file);
}
