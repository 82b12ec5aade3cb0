#include "vqsql_script.h"

#include "vqsql_text.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vqsql::cli {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
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
    if (!isBlank(t[2]))   // "goto", "go_x": SQL text, not a separator
        return 0;
    if (!std::all_of(rest.begin(), rest.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })
        || rest.size() > 9)
        return 0;
    return std::max(1, std::atoi(std::string(rest).c_str()));
}

// The letters a command line starts with: "setvar" of "setvar x 1".
std::string_view leadingWord(std::string_view text)
{
    std::size_t n = 0;
    while (n < text.size() && std::isalpha(static_cast<unsigned char>(text[n])))
        ++n;
    return text.substr(0, n);
}

// Reads a value in double quotes at the start of `text` ("" stands for one
// quote); false when the closing quote is missing or text follows it.
bool readQuoted(std::string_view text, std::string& value)
{
    value.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] != '"') {
            value += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '"') {
            value += '"';
            ++i;
            continue;
        }
        return trim(text.substr(i + 1)).empty();
    }
    return false;
}

// ":setvar name [value]": value bare (one word) or in double quotes.
ScriptLine parseSetVar(std::string_view rest, ScriptLine line)
{
    const std::string_view args = trim(rest);
    std::size_t nameEnd = 0;
    while (nameEnd < args.size() && !isBlank(args[nameEnd]))
        ++nameEnd;
    line.name = std::string(args.substr(0, nameEnd));
    const std::string_view value = trim(args.substr(nameEnd));
    line.kind = ScriptLine::Kind::SetVar;
    if (!isValidVariableName(line.name))
        line.kind = ScriptLine::Kind::Invalid;
    else if (value.empty())
        line.hasValue = false;
    else if (value.front() == '"') {
        if (readQuoted(value, line.argument))
            line.hasValue = true;
        else
            line.kind = ScriptLine::Kind::Invalid;
    } else if (std::any_of(value.begin(), value.end(), isBlank))
        line.kind = ScriptLine::Kind::Invalid;
    else {
        line.hasValue = true;
        line.argument = std::string(value);
    }
    return line;
}

// ":on error exit" / ":on error ignore".
ScriptLine parseOnError(std::string_view rest, ScriptLine line)
{
    std::istringstream words{std::string(rest)};
    std::string error, action, extra;
    words >> error >> action >> extra;
    line.kind = ScriptLine::Kind::Invalid;
    if (equalsIgnoreCase(error, "error") && extra.empty()
        && (equalsIgnoreCase(action, "exit") || equalsIgnoreCase(action, "ignore"))) {
        line.kind = ScriptLine::Kind::OnError;
        line.exitOnError = equalsIgnoreCase(action, "exit");
    }
    return line;
}

// ":r file", the file name optionally in double quotes.
ScriptLine parseInclude(std::string_view rest, ScriptLine line)
{
    const std::string_view file = trim(rest);
    line.kind = ScriptLine::Kind::Invalid;
    if (rest.empty() || !isBlank(rest.front()) || file.empty())
        return line;
    if (file.front() == '"') {
        if (!readQuoted(file, line.argument) || line.argument.empty())
            return line;
    } else {
        line.argument = std::string(file);
    }
    line.kind = ScriptLine::Kind::Include;
    return line;
}

// sqlcmd's commands that vqsql knows by name but does not carry out.
bool isUnsupportedCommand(std::string_view word)
{
    for (const char* known : {"ed", "list", "error", "out", "perftrace", "connect", "help", "serverlist", "xml"})
        if (equalsIgnoreCase(word, known))
            return true;
    return false;
}

}  // namespace

// ---- variables -------------------------------------------------------------------

void ScriptVariables::set(const std::string& name, std::string value)
{
    variables_[upperAscii(name)] = {name, std::move(value)};
}

void ScriptVariables::remove(const std::string& name)
{
    variables_.erase(upperAscii(name));
}

std::optional<std::string> ScriptVariables::find(const std::string& name) const
{
    if (auto it = variables_.find(upperAscii(name)); it != variables_.end())
        return it->second.second;
    if (const char* value = std::getenv(name.c_str()))
        return std::string(value);
    if (const char* value = std::getenv(upperAscii(name).c_str()))
        return std::string(value);
    return std::nullopt;
}

bool isValidVariableName(std::string_view name)
{
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name.front())) || name.front() == '_'))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

Substitution substituteVariables(std::string_view line, const ScriptVariables& variables)
{
    Substitution result;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line.compare(i, 2, "$(") == 0) {
            const std::size_t close = line.find(')', i + 2);
            if (close != std::string_view::npos) {
                const std::string name(line.substr(i + 2, close - i - 2));
                if (isValidVariableName(name)) {
                    const auto value = variables.find(name);
                    if (!value) {
                        result.undefined = name;
                        return result;
                    }
                    result.text += *value;   // not scanned again
                    i = close + 1;
                    continue;
                }
            }
        }
        result.text += line[i++];
    }
    return result;
}

// ---- commands --------------------------------------------------------------------

ScriptLine classifyLine(std::string_view text)
{
    using Kind = ScriptLine::Kind;
    ScriptLine line;
    const std::string_view t = trim(text);
    if (const int count = batchSeparatorCount(t)) {
        line.kind = Kind::Go;
        line.count = count;
        return line;
    }
    const bool colon = !t.empty() && t.front() == ':';
    const std::string_view body = colon ? t.substr(1) : t;
    if (body.substr(0, 2) == "!!") {
        line.kind = Kind::Shell;
        line.word = std::string(t.substr(0, colon ? 3 : 2));
        line.argument = std::string(trim(body.substr(2)));
        return line;
    }

    const std::string_view word = leadingWord(body);
    const std::string_view rest = body.substr(word.size());
    line.word = std::string(t.substr(0, word.size() + (colon ? 1 : 0)));
    if (equalsIgnoreCase(word, "exit")) {
        const std::string_view args = trim(rest);
        if (args.empty()) {
            line.kind = Kind::Exit;
            return line;
        }
        if (args.front() == '(' && args.back() == ')') {
            line.kind = Kind::Exit;
            line.exitQuery = std::string(trim(args.substr(1, args.size() - 2)));
            return line;
        }
    } else if ((equalsIgnoreCase(word, "quit") || equalsIgnoreCase(word, "reset")) && trim(rest).empty()) {
        line.kind = equalsIgnoreCase(word, "quit") ? Kind::Quit : Kind::Reset;
        return line;
    }
    if (!colon)
        return line;   // SQL text

    if (equalsIgnoreCase(word, "r"))
        return parseInclude(rest, line);
    if (equalsIgnoreCase(word, "setvar"))
        return parseSetVar(rest, line);
    if (equalsIgnoreCase(word, "on"))
        return parseOnError(rest, line);
    if (equalsIgnoreCase(word, "listvar") && trim(rest).empty())
        line.kind = Kind::ListVar;
    else if (isUnsupportedCommand(word))
        line.kind = Kind::Unsupported;
    else
        line.kind = Kind::Invalid;
    return line;
}

// ---- running a script ------------------------------------------------------------

ScriptRunner::ScriptRunner(BatchRunner& runner, ScriptVariables& variables, std::ostream& out, bool exitOnError)
    : runner_(runner), variables_(variables), out_(out), exitOnError_(exitOnError)
{
}

void ScriptRunner::runStream(std::istream& in, const std::string& source, bool prompt)
{
    readLines(in, source, 0, prompt);
    if (!stopped_)
        runBatch(1);
}

bool ScriptRunner::runFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    runStream(file, path);
    return true;
}

void ScriptRunner::runText(const std::string& text)
{
    std::istringstream in(text);
    runStream(in, "");
}

void ScriptRunner::fail()
{
    failed_ = true;
    if (exitOnError_)
        stopped_ = true;
}

int ScriptRunner::exitCode() const
{
    if (exitValue_)
        return static_cast<int>(*exitValue_);
    return failed_ ? 1 : 0;
}

void ScriptRunner::readLines(std::istream& in, const std::string& source, int depth, bool prompt)
{
    auto showPrompt = [&] {
        if (prompt)
            out_ << lineInBatch_ << "> " << std::flush;
    };
    showPrompt();
    std::string line;
    int lineNumber = 0;
    while (!stopped_ && std::getline(in, line)) {
        ++lineNumber;
        if (lineNumber == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);   // UTF-8 byte order mark
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        handleLine(line, source, lineNumber, depth);
        if (!stopped_)
            showPrompt();
    }
    if (prompt && !stopped_)
        out_ << '\n';
}

void ScriptRunner::handleLine(const std::string& rawLine, const std::string& source, int lineNumber, int depth)
{
    const Substitution line = substituteVariables(rawLine, variables_);
    if (!line.undefined.empty()) {
        out_ << "'" << line.undefined << "' scripting variable not defined.\n";
        // A batch missing a value must not run at all.
        if (classifyLine(rawLine).kind == ScriptLine::Kind::Sql)
            batchSpoiled_ = true;
        fail();
        return;
    }
    const ScriptLine command = classifyLine(line.text);
    if (command.kind == ScriptLine::Kind::Sql) {
        batch_ += line.text;
        batch_ += '\n';
        ++lineInBatch_;
        return;
    }
    carryOut(command, source, lineNumber, depth);
}

void ScriptRunner::carryOut(const ScriptLine& command, const std::string& source, int lineNumber, int depth)
{
    using Kind = ScriptLine::Kind;
    switch (command.kind) {
    case Kind::Sql: break;
    case Kind::Go: runBatch(command.count); break;
    case Kind::Exit: exit(command.exitQuery); break;
    case Kind::Quit: stopped_ = true; break;
    case Kind::Reset: clearBatch(); break;
    case Kind::Include: include(command.argument, depth); break;
    case Kind::SetVar:
        if (command.hasValue)
            variables_.set(command.name, command.argument);
        else
            variables_.remove(command.name);
        break;
    case Kind::ListVar: listVariables(); break;
    case Kind::OnError: exitOnError_ = command.exitOnError; break;
    case Kind::Shell: runShellCommand(command.argument); break;
    case Kind::Unsupported: reportError("The command '" + command.word + "' is not supported."); break;
    case Kind::Invalid:
        reportError("Syntax error at line " + std::to_string(lineNumber) + " near command '" + command.word + "'"
                    + (source.empty() ? std::string() : " in file '" + source + "'") + ".");
        break;
    }
}

void ScriptRunner::include(const std::string& path, int depth)
{
    if (depth >= kMaxIncludeDepth) {
        reportError(":r files nest deeper than " + std::to_string(kMaxIncludeDepth) + " levels; '" + path
                    + "' is not read.");
        return;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        reportError("The file '" + path + "' cannot be opened.");
        return;
    }
    // The file's lines join the batch in progress, as if written here.
    readLines(file, path, depth + 1, false);
}

void ScriptRunner::exit(const std::optional<std::string>& query)
{
    if (query && !batchSpoiled_) {
        const std::string text = batch_ + *query;
        if (!trim(text).empty()) {
            const BatchOutcome outcome = runner_.run(text, 1);
            if (!outcome.ok)
                fail();
            else if (!query->empty() && outcome.exitValue)
                exitValue_ = outcome.exitValue;
        }
    }
    clearBatch();
    stopped_ = true;
}

void ScriptRunner::runBatch(int times)
{
    // A spoiled batch has had its failure counted already.
    if (!batchSpoiled_ && !trim(batch_).empty()) {
        const BatchOutcome outcome = runner_.run(batch_, times);
        if (!outcome.ok)
            fail();
    }
    clearBatch();
}

void ScriptRunner::clearBatch()
{
    batch_.clear();
    batchSpoiled_ = false;
    lineInBatch_ = 1;
}

void ScriptRunner::listVariables()
{
    for (const auto& [key, entry] : variables_.all())
        out_ << entry.first << " = \"" << entry.second << "\"\n";
}

void ScriptRunner::runShellCommand(const std::string& command)
{
    if (trim(command).empty())
        return;
    out_.flush();
    // Standard input stays the script's; the command's errors are output too.
    const std::string shellLine = "{ " + command + "\n} </dev/null 2>&1";
    FILE* pipe = ::popen(shellLine.c_str(), "r");
    if (!pipe) {
        reportError("The command '" + command + "' cannot be run.");
        return;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out_.write(buffer, static_cast<std::streamsize>(n));
    ::pclose(pipe);
}

void ScriptRunner::reportError(const std::string& message)
{
    out_ << "vqsql: Error: " << message << '\n';
    fail();
}

}  // namespace vqsql::cli
