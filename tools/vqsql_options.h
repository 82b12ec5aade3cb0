// vqsql's command line: sqlcmd's options and the instance commands.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vqsql::cli {

enum class AdminCommand { None, Init, Start, Stop, Status, Password, Serve };

struct Options {
    std::string server = ".";
    std::string user = "sa";
    std::string password;
    std::string database = "master";
    bool trusted = false;                        // -E
    std::optional<std::string> query;            // -Q: run it, then exit
    std::optional<std::string> initialQuery;     // -q: run it, then read standard input
    std::vector<std::string> inputFiles;         // -i
    std::optional<std::string> outputFile;       // -o
    bool trimWidths = false;                     // -W: widths from the data, no trailing spaces
    std::string separator = " ";                 // -s
    int rowsPerHeader = 0;                       // -h: 0 one header, -1 none, N every N rows
    bool stopOnError = false;                    // -b
    std::vector<std::pair<std::string, std::string>> variables;   // -v name=value, in order
    bool usage = false;                          // -?, --help
    AdminCommand admin = AdminCommand::None;
    std::string newPassword;                     // password NEW
    std::optional<std::string> listenAddress;    // start/serve --address
    std::optional<unsigned short> listenPort;    // start/serve --port
};

struct UsageError {
    std::string message;
};

// Parses the arguments; throws UsageError. The environment variables
// SQLCMDSERVER, SQLCMDUSER, SQLCMDPASSWORD and SQLCMDDBNAME give defaults.
Options parseArguments(int argc, char* argv[]);

// The text -? prints.
extern const char* const kUsage;

}  // namespace vqsql::cli
