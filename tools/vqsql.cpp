// vqsql: the engine's command-line tool, in the manner of sqlcmd.
//
// Runs Transact-SQL batches against an engine instance and prints what they
// return the way sqlcmd prints it:
//
//   vqsql -Q "select 1 as n"          one batch, then exit
//   vqsql -i setup.sql                a script; batches end at lines "GO"
//   vqsql < setup.sql                 the same from standard input
//
// Result sets come out as a header line, a line of dashes under each
// column, the rows padded to the column widths, a blank line and
// "(N rows affected)". Errors come out as
//
//   Msg 208, Level 16, State 1, Server HOST, Line 1
//   Invalid object name 'X'.
//
// The exit code is 1 when any batch reported an error, else 0.
//
// The same tool administers an instance (init, start, stop, status,
// password, also written --init ...); those commands are dispatched from
// runAdmin().
#include "connection.h"
#include "instance.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using vqsql::BaseType;
using vqsql::SqlType;
using vqsql::Value;
using vqsql::ValueKind;

// ---------------------------------------------------------------------------
// Command line

enum class AdminCommand { None, Init, Start, Stop, Status, Password };

struct Options {
    std::string server = ".";
    std::string user = "sa";
    std::string password;
    std::string database = "master";
    std::optional<std::string> query;      // -Q
    std::vector<std::string> inputFiles;   // -i
    bool trimWidths = false;               // -W: widths from the data, no trailing spaces
    std::string separator = " ";           // -s
    bool usage = false;                    // -h, -?
    AdminCommand admin = AdminCommand::None;
    std::string newPassword;               // --password
};

struct UsageError {
    std::string message;
};

const char* const kUsage =
    "usage: vqsql [-S server] [-U user] [-P password] [-d database]\n"
    "             [-Q \"batch\" | -i file[,file...]] [-W] [-s separator]\n"
    "       vqsql init [-S folder] [-P password]      initialise and start an instance\n"
    "       vqsql start | stop | status [-S server]    status: running, stopped or not installed\n"
    "       vqsql password NEW [-S server] [-P old]    change the sa password\n"
    "\n"
    "  -S server     data source: \".\" (default), \"(local)\", a host or an instance folder\n"
    "  -U user       login (default sa)\n"
    "  -P password   password of the login\n"
    "  -d database   database to start in (default master)\n"
    "  -Q \"batch\"    run one batch and exit\n"
    "  -i file       run the files; batches end at lines holding only GO [count]\n"
    "  -W            size columns by their data and drop trailing spaces\n"
    "  -s separator  text between columns (default one space)\n"
    "  -h, -?        show this text\n"
    "Without -Q and -i, batches are read from standard input.\n"
    "The environment variables SQLCMDSERVER, SQLCMDUSER, SQLCMDPASSWORD and\n"
    "SQLCMDDBNAME give defaults for -S, -U, -P and -d.\n"
    "The instance commands may also be written --init, --start, --stop, --status\n"
    "and --password.\n";

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

// Parses the arguments; throws UsageError. sqlcmd accepts both "-Sname" and
// "-S name"; so does this.
Options parseArguments(int argc, char* argv[])
{
    Options o;
    if (const char* v = std::getenv("SQLCMDSERVER")) o.server = v;
    if (const char* v = std::getenv("SQLCMDUSER")) o.user = v;
    if (const char* v = std::getenv("SQLCMDPASSWORD")) o.password = v;
    if (const char* v = std::getenv("SQLCMDDBNAME")) o.database = v;

    auto setAdmin = [&o](AdminCommand command) {
        if (o.admin != AdminCommand::None)
            throw UsageError{"only one of --init, --start, --stop, --status, --password may be given"};
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
        if (arg == "--password" || (firstWord && arg == "password")) {
            setAdmin(AdminCommand::Password);
            o.newPassword = nextValue(arg);
            continue;
        }
        if (arg == "--help" || arg == "-h" || arg == "-?") { o.usage = true; continue; }
        if (arg == "-W") { o.trimWidths = true; continue; }

        if (arg.size() < 2 || arg[0] != '-' || arg.compare(0, 2, "--") == 0)
            throw UsageError{"unexpected argument '" + arg + "'"};
        const char letter = arg[1];
        const std::string name = arg.substr(0, 2);
        if (std::string_view("SUPdQsi").find(letter) == std::string_view::npos)
            throw UsageError{"unknown option '" + name + "'"};
        const std::string value = arg.size() > 2 ? arg.substr(2) : nextValue(name);
        switch (letter) {
        case 'S': o.server = value; break;
        case 'U': o.user = value; break;
        case 'P': o.password = value; break;
        case 'd': o.database = value; break;
        case 'Q': o.query = value; break;
        case 's': o.separator = value; break;
        case 'i': {
            auto files = splitList(value);
            o.inputFiles.insert(o.inputFiles.end(), files.begin(), files.end());
            break;
        }
        default:
            throw UsageError{"unknown option '" + name + "'"};
        }
    }

    if (o.query && !o.inputFiles.empty())
        throw UsageError{"-Q and -i cannot be used together"};
    if (o.admin != AdminCommand::None && (o.query || !o.inputFiles.empty()))
        throw UsageError{"an administration command cannot be combined with -Q or -i"};
    return o;
}

// ---------------------------------------------------------------------------
// Text helpers

std::string_view trim(std::string_view s)
{
    const char* ws = " \t\r\n\f\v";
    const auto first = s.find_first_not_of(ws);
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(ws);
    return s.substr(first, last - first + 1);
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Columns a UTF-8 text takes on a terminal: East Asian characters take two.
// Good enough for alignment; malformed bytes count one each.
std::size_t displayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        char32_t cp = c;
        if (c >= 0xF0 && i + 3 < text.size()) {
            length = 4;
            cp = (c & 0x07u) << 18 | (text[i + 1] & 0x3Fu) << 12 | (text[i + 2] & 0x3Fu) << 6 | (text[i + 3] & 0x3Fu);
        } else if (c >= 0xE0 && i + 2 < text.size()) {
            length = 3;
            cp = (c & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
        } else if (c >= 0xC0 && i + 1 < text.size()) {
            length = 2;
            cp = (c & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu);
        }
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF)
            || (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF)
            || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60)
            || (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        width += wide ? 2 : 1;
        i += length;
    }
    return width;
}

// The number of times to run the batch when `line` ends one ("GO", "go",
// "GO 3"), else 0.
int batchSeparatorCount(std::string_view line)
{
    const std::string_view t = trim(line);
    if (t.size() < 2 || !equalsIgnoreCase(t.substr(0, 2), "go"))
        return 0;
    const std::string_view rest = trim(t.substr(2));
    if (rest.empty())
        return 1;
    if (t[2] != ' ' && t[2] != '\t')   // "goto", "go_x": SQL text, not a separator
        return 0;
    if (!std::all_of(rest.begin(), rest.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })
        || rest.size() > 9)
        return 0;
    return std::max(1, std::atoi(std::string(rest).c_str()));
}

// ---------------------------------------------------------------------------
// Output in sqlcmd's format

// The width sqlcmd gives a column of this type; 0 when the data decides.
std::size_t typeWidth(const SqlType& type)
{
    switch (type.base) {
    case BaseType::Bit: return 1;
    case BaseType::TinyInt: return 3;
    case BaseType::SmallInt: return 6;
    case BaseType::Int: return 11;
    case BaseType::BigInt: return 20;
    case BaseType::Numeric: return type.precision > 0 ? static_cast<std::size_t>(type.precision) + 2 : 0;
    case BaseType::Money: return 21;
    case BaseType::SmallMoney: return 12;
    case BaseType::Float: return 24;
    case BaseType::Real: return 14;
    case BaseType::DateTime: return 23;
    case BaseType::SmallDateTime: return 19;
    case BaseType::UniqueIdentifier: return 36;
    case BaseType::Char:
    case BaseType::VarChar:
    case BaseType::NChar:
    case BaseType::NVarChar:
        // Very long declared texts would make every line kilobytes wide.
        return type.length > 0 && type.length <= 256 ? static_cast<std::size_t>(type.length) : 0;
    default:
        return 0;
    }
}

std::string cellText(const Value& value)
{
    if (value.isNull())
        return "NULL";
    if (value.kind == ValueKind::Bytes) {
        static const char* hex = "0123456789ABCDEF";
        std::string out = "0x";
        for (unsigned char c : value.text) {
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
        return out;
    }
    return value.toString();
}

bool isNumericValue(const Value& v)
{
    return v.kind == ValueKind::Integer || v.kind == ValueKind::Number;
}

// Numbers stand right-aligned in their column, everything else left-aligned.
bool rightAligned(const vqsql::ResultSet& rs, std::size_t column)
{
    const SqlType& type = rs.columns[column].type;
    if (!type.isUnknown())
        return type.isNumericFamily();
    for (const auto& row : rs.rows)
        if (column < row.size() && !row[column].isNull())
            return isNumericValue(row[column]);
    return false;
}

void writePadded(std::ostream& out, const std::string& text, std::size_t width, bool right)
{
    const std::size_t w = displayWidth(text);
    const std::string pad(width > w ? width - w : 0, ' ');
    if (right)
        out << pad << text;
    else
        out << text << pad;
}

struct OutputStyle {
    bool trimWidths = false;
    std::string separator = " ";
};

void printResultSet(std::ostream& out, const vqsql::ResultSet& rs, const OutputStyle& style)
{
    const std::size_t n = rs.columns.size();
    std::vector<std::vector<std::string>> cells;
    cells.reserve(rs.rows.size());
    for (const auto& row : rs.rows) {
        std::vector<std::string> line;
        line.reserve(n);
        for (std::size_t c = 0; c < n; ++c)
            line.push_back(c < row.size() ? cellText(row[c]) : std::string("NULL"));
        cells.push_back(std::move(line));
    }

    std::vector<std::size_t> widths(n);
    std::vector<bool> right(n);
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t w = displayWidth(rs.columns[c].name);
        if (!style.trimWidths)
            w = std::max(w, typeWidth(rs.columns[c].type));
        for (const auto& line : cells)
            w = std::max(w, displayWidth(line[c]));
        widths[c] = w;
        right[c] = !style.trimWidths && rightAligned(rs, c);
    }

    // With -W each field is printed as it is, without padding.
    auto writeLine = [&](auto&& fieldOf, auto&& alignOf) {
        for (std::size_t c = 0; c < n; ++c) {
            if (c > 0)
                out << style.separator;
            if (style.trimWidths)
                out << fieldOf(c);
            else
                writePadded(out, fieldOf(c), widths[c], alignOf(c));
        }
        out << '\n';
    };

    writeLine([&](std::size_t c) -> const std::string& { return rs.columns[c].name; },
              [](std::size_t) { return false; });
    writeLine([&](std::size_t c) { return std::string(std::max<std::size_t>(widths[c], 1), '-'); },
              [](std::size_t) { return false; });
    for (const auto& line : cells)
        writeLine([&](std::size_t c) -> const std::string& { return line[c]; },
                  [&](std::size_t c) { return bool(right[c]); });
    out << "\n(" << rs.rows.size() << " rows affected)\n";
}

// The server name sqlcmd puts into error lines: the machine's name for
// the local aliases, otherwise the data source as given.
std::string serverDisplayName(const std::string& server)
{
    const std::string_view s = trim(server);
    if (s.empty() || s == "." || equalsIgnoreCase(s, "(local)") || equalsIgnoreCase(s, "localhost")
        || s == "127.0.0.1") {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) == 0 && host[0] != '\0')
            return host;
        return "localhost";
    }
    return std::string(s);
}

void printError(std::ostream& out, const vqsql::SqlError& e, const std::string& serverName)
{
    out << "Msg " << e.number << ", Level " << e.severity << ", State " << e.state << ", Server " << serverName
        << ", Line " << e.line << '\n'
        << e.message << '\n';
}

// ---------------------------------------------------------------------------
// Running batches

class Session {
public:
    Session(const Options& options, std::ostream& out)
        : options_(options), out_(out), serverName_(serverDisplayName(options.server))
    {
        style_.trimWidths = options.trimWidths;
        style_.separator = options.separator;
    }

    // Opens the connection; prints the errors and returns false on failure.
    bool open()
    {
        try {
            connection_.open(vqsql::ConnectionParams{options_.server, options_.database, options_.user,
                                                     options_.password});
            return true;
        } catch (const vqsql::SqlException& e) {
            for (const auto& error : e.errors())
                printError(out_, error, serverName_);
        } catch (const std::exception& e) {
            out_ << "vqsql: cannot connect to '" << options_.server << "': " << e.what() << '\n';
        }
        failed_ = true;
        return false;
    }

    // Runs one batch `times` times and prints what it returned.
    void runBatch(const std::string& batch, int times = 1)
    {
        if (trim(batch).empty())
            return;
        for (int i = 0; i < times; ++i) {
            try {
                print(connection_.run(batch));
            } catch (const vqsql::SqlException& e) {
                for (const auto& error : e.errors())
                    printError(out_, error, serverName_);
                failed_ = true;
            } catch (const std::exception& e) {
                out_ << "vqsql: " << e.what() << '\n';
                failed_ = true;
            }
        }
        out_.flush();
    }

    // Reads batches separated by GO lines and runs each as it ends; the
    // text after the last GO runs at the end of the input. With a prompt
    // (a terminal), numbers the lines as sqlcmd does and stops at EXIT/QUIT.
    void runStream(std::istream& in, bool prompt)
    {
        std::string batch;
        std::string line;
        int lineInBatch = 1;
        bool firstLine = true;
        auto showPrompt = [&] {
            if (prompt)
                out_ << lineInBatch << "> " << std::flush;
        };

        showPrompt();
        while (std::getline(in, line)) {
            if (firstLine && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
                line.erase(0, 3);   // UTF-8 byte order mark
            firstLine = false;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();

            if (prompt && trim(batch).empty()
                && (equalsIgnoreCase(trim(line), "exit") || equalsIgnoreCase(trim(line), "quit")))
                return;
            if (const int count = batchSeparatorCount(line)) {
                runBatch(batch, count);
                batch.clear();
                lineInBatch = 1;
            } else {
                batch += line;
                batch += '\n';
                ++lineInBatch;
            }
            showPrompt();
        }
        if (prompt)
            out_ << '\n';
        runBatch(batch);
    }

    void fail() { failed_ = true; }
    bool failed() const { return failed_; }

private:
    // Everything the batch produced, in the order it happened, as sqlcmd
    // prints it.
    void print(const vqsql::BatchResult& result)
    {
        for (const vqsql::BatchEvent& e : result.events) {
            switch (e.kind) {
            case vqsql::BatchEvent::Kind::Message: out_ << result.messages[e.index] << '\n'; break;
            case vqsql::BatchEvent::Kind::ResultSet: printResultSet(out_, result.resultSets[e.index], style_); break;
            case vqsql::BatchEvent::Kind::RowsAffected: out_ << "\n(" << e.count << " rows affected)\n"; break;
            case vqsql::BatchEvent::Kind::Error: printError(out_, result.errors[e.index], serverName_); break;
            }
        }
        if (!result.errors.empty())
            failed_ = true;
    }

    const Options& options_;
    std::ostream& out_;
    std::string serverName_;
    OutputStyle style_;
    vqsql::Connection connection_;
    bool failed_ = false;
};

int runBatches(const Options& options)
{
    Session session(options, std::cout);
    if (!session.open())
        return 1;

    if (options.query) {
        session.runBatch(*options.query);
    } else if (!options.inputFiles.empty()) {
        for (const auto& path : options.inputFiles) {
            std::ifstream file(path, std::ios::binary);
            if (!file) {
                std::cout << "vqsql: '" << path << "': cannot open the input file.\n";
                session.fail();
                break;
            }
            session.runStream(file, false);
        }
    } else {
        session.runStream(std::cin, isatty(STDIN_FILENO) != 0);
    }
    std::cout.flush();
    return session.failed() ? 1 : 0;
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
// instance, with the sa password -P (may be empty).
int adminInit(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    int rc = adminRun([&] { vqsql::initialiseInstance(folder, options.password); });
    if (rc == 0)
        std::cout << "Initialised and started the instance in " << folder << '\n';
    return rc;
}

int adminStart(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    int rc = adminRun([&] { vqsql::startInstance(folder); });
    if (rc == 0)
        std::cout << "running\n";
    return rc;
}

int adminStop(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    int rc = adminRun([&] { vqsql::stopInstance(folder); });
    if (rc == 0)
        std::cout << "stopped\n";
    return rc;
}

// Prints "running", "stopped" or "not installed".
int adminStatus(const Options& options)
{
    const std::string folder = adminFolder(options);
    if (folder.empty())
        return 1;
    if (!vqsql::isInstanceInitialised(folder))
        std::cout << "not installed\n";
    else
        std::cout << (vqsql::isInstanceRunning(folder) ? "running" : "stopped") << '\n';
    return 0;
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
    return runBatches(options);
}
