// vqsql's script reader: reads lines from a file, standard input or the
// command line, collects them into batches that end at lines "GO [count]",
// substitutes scripting variables $(name), and carries out sqlcmd's
// commands at the start of a line:
//
//   GO [count]            run the batch (count times)
//   [:]EXIT               end without running the batch
//   [:]EXIT()             run the batch, then end
//   [:]EXIT(query)        run the batch with the query; its first value is the exit code
//   [:]QUIT               end without running the batch
//   [:]RESET              clear the batch
//   :r file               read the file's lines here (nested up to kMaxIncludeDepth)
//   :setvar name [value]  set a variable ("value" in double quotes), or remove it
//   :listvar              list the variables set
//   :on error exit|ignore stop at the first failure (as -b), or go on
//   [:]!! command         run the command with /bin/sh and print its output
//
// Commands are recognised at the start of a line in any letter case.
#pragma once

#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace vqsql::cli {

inline constexpr int kMaxIncludeDepth = 16;

// Scripting variables: -v, :setvar and the environment, in that order of
// precedence. Names ignore letter case, as in sqlcmd.
class ScriptVariables {
public:
    void set(const std::string& name, std::string value);
    void remove(const std::string& name);
    // The value of a variable set here, else of the environment variable.
    std::optional<std::string> find(const std::string& name) const;
    // The variables set here, by upper-case name: {name as written, value}.
    const std::map<std::string, std::pair<std::string, std::string>>& all() const { return variables_; }

private:
    std::map<std::string, std::pair<std::string, std::string>> variables_;
};

// A name a variable may have: a letter or '_' first, then letters, digits,
// '_' or '-'.
bool isValidVariableName(std::string_view name);

// `line` with every $(name) replaced by its value. When a variable is not
// defined, `undefined` names it and `text` is of no use.
struct Substitution {
    std::string text;
    std::string undefined;
};
Substitution substituteVariables(std::string_view line, const ScriptVariables& variables);

// What one line of a script is.
struct ScriptLine {
    enum class Kind {
        Sql,           // text of the batch
        Go,            // count
        Exit,          // exitQuery: none = EXIT, "" = EXIT(), else EXIT(query)
        Quit,
        Reset,
        Include,       // argument: the file
        SetVar,        // name, argument (value), hasValue
        ListVar,
        OnError,       // exitOnError
        Shell,         // argument: the command
        Unsupported,   // a command of sqlcmd vqsql does not carry out; word
        Invalid        // a line starting with ':' that is no command, or a command written wrongly; word
    };
    Kind kind = Kind::Sql;
    int count = 1;
    std::optional<std::string> exitQuery;
    std::string word;       // the command as written, for error messages
    std::string name;
    std::string argument;
    bool hasValue = false;
    bool exitOnError = false;
};
ScriptLine classifyLine(std::string_view line);

// What a batch came to: whether it ran without errors, and the first value
// of its last result set as a whole number, when it has one (the exit code
// EXIT(query) asks for).
struct BatchOutcome {
    bool ok = true;
    std::optional<long long> exitValue;
};

// Runs the batches the script reader hands over and prints their results.
class BatchRunner {
public:
    virtual ~BatchRunner() = default;
    virtual BatchOutcome run(const std::string& batch, int times) = 0;
};

class ScriptRunner {
public:
    ScriptRunner(BatchRunner& runner, ScriptVariables& variables, std::ostream& out, bool exitOnError);

    // Runs the lines of `in`; the text after its last GO runs at its end.
    // `source` names it in error messages ("" for standard input and the
    // command line); `prompt` numbers the lines as sqlcmd does on a terminal.
    void runStream(std::istream& in, const std::string& source, bool prompt = false);
    // The same for a file; false (and nothing run) when it cannot be opened.
    bool runFile(const std::string& path);
    // The same for text given on the command line (-Q, -q).
    void runText(const std::string& text);

    // Records a failure outside a batch (an input file that cannot be opened).
    void fail();

    // True after EXIT or QUIT, or after a failure with -b / :on error exit:
    // no further input is read.
    bool stopped() const { return stopped_; }
    // The exit code: EXIT(query)'s value, else 1 when any batch or command
    // failed, else 0.
    int exitCode() const;

private:
    void readLines(std::istream& in, const std::string& source, int depth, bool prompt);
    void handleLine(const std::string& rawLine, const std::string& source, int lineNumber, int depth);
    void carryOut(const ScriptLine& command, const std::string& source, int lineNumber, int depth);
    void include(const std::string& path, int depth);
    void exit(const std::optional<std::string>& query);
    void runBatch(int times);
    void clearBatch();
    void listVariables();
    void runShellCommand(const std::string& command);
    void reportError(const std::string& message);

    BatchRunner& runner_;
    ScriptVariables& variables_;
    std::ostream& out_;
    bool exitOnError_;
    std::string batch_;
    bool batchSpoiled_ = false;   // an undefined variable: the batch must not run
    int lineInBatch_ = 1;
    bool stopped_ = false;
    bool failed_ = false;
    std::optional<long long> exitValue_;
};

}  // namespace vqsql::cli
