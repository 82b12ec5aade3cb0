#include "vqsql_options.h"

#include "vqsql_script.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace vqsql::cli {

const char* const kUsage =
    "usage: vqsql [-S server] [-U user] [-P password | -E] [-d database]\n"
    "             [-Q \"batch\" | -q \"batch\" | -i file[,file...]] [-o file] [-b]\n"
    "             [-v name=value ...] [-h rows] [-W] [-s separator]\n"
    "       vqsql init [-S folder] [-P password]      initialise and start an instance\n"
    "       vqsql start | stop | status [-S server]    the instance and its network server\n"
    "       vqsql serve [-S folder] [--address A] [--port N]\n"
    "                                                 run the network server in the foreground\n"
    "       vqsql password NEW [-S server] [-P old]    change the sa password\n"
    "\n"
    "  -S server     data source: \".\" (default), \"(local)\", a host or an instance folder\n"
    "  -U user       login (default sa)\n"
    "  -P password   password of the login\n"
    "  -E            trusted connection: sa without a password, for the owner of the\n"
    "                instance folder\n"
    "  -d database   database to start in (default master)\n"
    "  -Q \"batch\"    run the text as a script and exit\n"
    "  -q \"batch\"    run the text as a script, then read standard input\n"
    "  -i file       run the files; batches end at lines holding only GO [count]\n"
    "  -o file       write all output to the file\n"
    "  -b            stop at the first batch that fails, exit code 1\n"
    "  -v name=value set scripting variables, used as $(name); several pairs may follow\n"
    "  -h rows       print the header again every so many rows; -1: no header at all\n"
    "  -W            size columns by their data and drop trailing spaces\n"
    "  -s separator  text between columns (default one space)\n"
    "  -?, --help    show this text\n"
    "\n"
    "Without -Q, -q and -i, batches are read from standard input. The exit code\n"
    "is 1 when any batch failed (with -b at the first one), else 0.\n"
    "\n"
    "Commands, at the start of a line, in any letter case:\n"
    "  GO [count]             run the batch (count times)\n"
    "  [:]EXIT                end without running the batch\n"
    "  [:]EXIT()              run the batch, then end\n"
    "  [:]EXIT(query)         run the batch and the query; its first value is the exit code\n"
    "  [:]QUIT                end without running the batch\n"
    "  [:]RESET               clear the batch\n"
    "  :r file                read the file's lines here\n"
    "  :setvar name [value]   set a scripting variable (\"value\" in double quotes), or remove it\n"
    "  :listvar               list the scripting variables\n"
    "  :on error exit|ignore  stop at the first failure (as -b), or go on\n"
    "  [:]!! command          run the command with /bin/sh and print its output\n"
    "$(name) is replaced in every line by the variable's value, inside quotes too;\n"
    "environment variables are scripting variables as well.\n"
    "\n"
    "The environment variables SQLCMDSERVER, SQLCMDUSER, SQLCMDPASSWORD and\n"
    "SQLCMDDBNAME give defaults for -S, -U, -P and -d. The default instance (\".\")\n"
    "lives in the folder VQSQL_HOME names, else in ~/.local/share/vqsql.\n"
    "The instance commands may also be written --init, --start, --stop, --status\n"
    "and --password.\n";

namespace {

// Splits "-i a.sql,b.sql" into its files.
std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ','))
        if (!item.empty())
            items.push_back(item);
    return items;
}

// -h: -1, or a count of rows from 1 up.
int parseRowsPerHeader(const std::string& text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value < -1)
        throw UsageError{"-h: the value must be -1 or from 1 to " + std::to_string(INT_MAX)};
    return value;
}

// An argument that continues a -v list: "name=value".
bool looksLikeAssignment(const std::string& arg)
{
    return !arg.empty() && arg.front() != '-' && arg.find('=') != std::string::npos;
}

std::pair<std::string, std::string> parseAssignment(const std::string& text)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || !isValidVariableName(text.substr(0, eq)))
        throw UsageError{"-v: '" + text + "' is not name=value"};
    return {text.substr(0, eq), text.substr(eq + 1)};
}

}  // namespace

// sqlcmd accepts both "-Sname" and "-S name"; so does this.
Options parseArguments(int argc, char* argv[])
{
    Options o;
    if (const char* v = std::getenv("SQLCMDSERVER")) o.server = v;
    if (const char* v = std::getenv("SQLCMDUSER")) o.user = v;
    if (const char* v = std::getenv("SQLCMDPASSWORD")) o.password = v;
    if (const char* v = std::getenv("SQLCMDDBNAME")) o.database = v;
    bool loginGiven = false;   // -U or -P on the command line

    auto setAdmin = [&o](AdminCommand command) {
        if (o.admin != AdminCommand::None)
            throw UsageError{"only one of --init, --start, --stop, --status, --serve, --password may be given"};
        o.admin = command;
    };

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto nextValue = [&](const std::string& name) -> std::string {
            if (i + 1 >= argc)
                throw UsageError{"option " + name + " needs a value"};
            return argv[++i];
        };

        // The instance commands, as a first word ("vqsql init") or as an
        // option ("vqsql --init").
        const bool firstWord = i == 1;
        if (arg == "--init" || (firstWord && arg == "init")) { setAdmin(AdminCommand::Init); continue; }
        if (arg == "--start" || (firstWord && arg == "start")) { setAdmin(AdminCommand::Start); continue; }
        if (arg == "--stop" || (firstWord && arg == "stop")) { setAdmin(AdminCommand::Stop); continue; }
        if (arg == "--status" || (firstWord && arg == "status")) { setAdmin(AdminCommand::Status); continue; }
        if (arg == "--serve" || (firstWord && arg == "serve")) { setAdmin(AdminCommand::Serve); continue; }
        if (arg == "--address") { o.listenAddress = nextValue(arg); continue; }
        if (arg == "--port") {
            const std::string value = nextValue(arg);
            char* end = nullptr;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || port < 0 || port > 65535)
                throw UsageError{"--port: '" + value + "' is not a port number (0 to 65535)"};
            o.listenPort = static_cast<unsigned short>(port);
            continue;
        }
        if (arg == "--password" || (firstWord && arg == "password")) {
            setAdmin(AdminCommand::Password);
            o.newPassword = nextValue(arg);
            continue;
        }
        if (arg == "--help" || arg == "-?") { o.usage = true; continue; }
        if (arg == "-W") { o.trimWidths = true; continue; }
        if (arg == "-b") { o.stopOnError = true; continue; }
        if (arg == "-E") { o.trusted = true; continue; }

        if (arg.size() < 2 || arg[0] != '-' || arg.compare(0, 2, "--") == 0)
            throw UsageError{"unexpected argument '" + arg + "'"};
        const char letter = arg[1];
        const std::string name = arg.substr(0, 2);
        if (std::string_view("SUPdQqsiohv").find(letter) == std::string_view::npos)
            throw UsageError{"unknown option '" + name + "'"};
        const std::string value = arg.size() > 2 ? arg.substr(2) : nextValue(name);
        switch (letter) {
        case 'S': o.server = value; break;
        case 'U': o.user = value; loginGiven = true; break;
        case 'P': o.password = value; loginGiven = true; break;
        case 'd': o.database = value; break;
        case 'Q': o.query = value; break;
        case 'q': o.initialQuery = value; break;
        case 's': o.separator = value; break;
        case 'o': o.outputFile = value; break;
        case 'h': o.rowsPerHeader = parseRowsPerHeader(value); break;
        case 'i': {
            auto files = splitList(value);
            o.inputFiles.insert(o.inputFiles.end(), files.begin(), files.end());
            break;
        }
        case 'v':
            // sqlcmd takes several pairs after one -v.
            o.variables.push_back(parseAssignment(value));
            while (i + 1 < argc && looksLikeAssignment(argv[i + 1]))
                o.variables.push_back(parseAssignment(argv[++i]));
            break;
        default:
            throw UsageError{"unknown option '" + name + "'"};
        }
    }

    const int scriptSources = (o.query ? 1 : 0) + (o.initialQuery ? 1 : 0) + (o.inputFiles.empty() ? 0 : 1);
    if (scriptSources > 1)
        throw UsageError{"only one of -Q, -q and -i may be given"};
    if (o.admin != AdminCommand::None && scriptSources > 0)
        throw UsageError{"an administration command cannot be combined with -Q, -q or -i"};
    if ((o.listenAddress || o.listenPort) && o.admin != AdminCommand::Start && o.admin != AdminCommand::Serve)
        throw UsageError{"--address and --port go with start or serve"};
    if (o.trusted && loginGiven && o.admin == AdminCommand::None)
        throw UsageError{"-E cannot be combined with -U or -P"};
    return o;
}

}  // namespace vqsql::cli
