// Bounded fuzzing of vqsql's script reader, which reads script files and
// standard input from anywhere: random bytes and random mixtures of
// commands, variables and SQL must never crash it, hang it or break its
// rules. Run under the sanitizer build (see the top CMakeLists.txt) to
// catch memory faults too. The seed is fixed; VQ_FUZZ_SEED picks another
// and VQ_FUZZ_ROUNDS sets how many inputs each test tries.
#include "vqsql_script.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using vqsql::cli::BatchOutcome;
using vqsql::cli::BatchRunner;
using vqsql::cli::classifyLine;
using vqsql::cli::ScriptLine;
using vqsql::cli::ScriptRunner;
using vqsql::cli::ScriptVariables;
using vqsql::cli::substituteVariables;

unsigned fuzzSeed()
{
    const char* seed = std::getenv("VQ_FUZZ_SEED");
    return seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20261209u;
}

int fuzzRounds(int fallback)
{
    const char* rounds = std::getenv("VQ_FUZZ_ROUNDS");
    return rounds ? std::atoi(rounds) : fallback;
}

std::string randomBytes(std::mt19937& random, std::size_t maxLength)
{
    std::string text(random() % (maxLength + 1), '\0');
    for (char& c : text)
        c = static_cast<char>(random() % 256);
    return text;
}

// Collects the batches instead of running them; every third one fails.
class RecordingRunner : public BatchRunner {
public:
    BatchOutcome run(const std::string& batch, int times) override
    {
        batches.push_back(batch);
        totalTimes += times;
        BatchOutcome outcome;
        outcome.ok = batches.size() % 3 != 0;
        if (batch.find("exitvalue") != std::string::npos)
            outcome.exitValue = static_cast<long long>(batch.size());
        return outcome;
    }
    std::vector<std::string> batches;
    long long totalTimes = 0;
};

// Lines made of the pieces scripts are made of. No shell command and no
// include of a real file: those would reach outside the test.
std::string randomScriptLine(std::mt19937& random)
{
    static const char* const pieces[] = {
        "GO", "go 3", "GO 0", "GO 99999", ":setvar x ", ":setvar Y \"a\"\"b\"", ":setvar", "$(x)", "$(y)", "$(",
        ")", "$(undefined_name)", "$()", "exit", "EXIT()", "exit(select 1)", "exit(", "quit", ":reset", "reset",
        ":on error exit", ":on error ignore", ":on error", ":listvar", ":r /nonexistent/vqsql-fuzz.sql", ":r",
        ":connect x", ":out y", ":", "::", "select 'a''b'", "select 1", " ", "\t", "\r", "--", "/*", "*/", "'",
        "\"", "exitvalue", "\xE4\xB8\xAD", "\xFF", std::string(1, '\0').c_str()};
    std::string line;
    const int count = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) {
        line += pieces[random() % std::size(pieces)];
        if (random() % 3 == 0)
            line += ' ';
    }
    if (random() % 8 == 0)
        line += randomBytes(random, 8);
    const ScriptLine::Kind kind = classifyLine(line).kind;
    if (kind == ScriptLine::Kind::Shell || (kind == ScriptLine::Kind::Include && line.find("/nonexistent/") == std::string::npos))
        return "select 0";
    return line;
}

TEST(VqsqlFuzz, RandomLinesAreClassifiedAndSubstitutedSafely)
{
    std::mt19937 random(fuzzSeed());
    ScriptVariables variables;
    variables.set("x", "value of x");
    for (int round = 0, rounds = fuzzRounds(100000); round < rounds; ++round) {
        const std::string line = round % 2 ? randomBytes(random, 64) : randomScriptLine(random);
        const ScriptLine classified = classifyLine(line);
        EXPECT_GE(classified.count, 0) << round;
        const auto substituted = substituteVariables(line, variables);
        // Nothing to substitute: the line comes back as it was.
        if (line.find("$(") == std::string::npos) {
            EXPECT_EQ(substituted.text, line) << round;
            EXPECT_TRUE(substituted.undefined.empty()) << round;
        }
        if (!substituted.undefined.empty()) {
            EXPECT_TRUE(vqsql::cli::isValidVariableName(substituted.undefined)) << round;
        }
    }
}

TEST(VqsqlFuzz, RandomScriptsRunToTheirEndWithoutCrashing)
{
    std::mt19937 random(fuzzSeed() + 1);
    long long batchesRun = 0;
    for (int round = 0, rounds = fuzzRounds(20000); round < rounds; ++round) {
        std::string script;
        const int lines = static_cast<int>(random() % 20);
        for (int i = 0; i < lines; ++i)
            script += randomScriptLine(random) + (random() % 5 ? "\n" : "\r\n");
        RecordingRunner runner;
        ScriptVariables variables;
        std::ostringstream out;
        ScriptRunner reader(runner, variables, out, random() % 2 == 0);
        reader.runText(script);
        // A batch that failed, or a command refused, shows in the exit code.
        const bool anyFailed = runner.batches.size() >= 3 || out.str().find("rror") != std::string::npos;
        if (anyFailed && script.find("exit") == std::string::npos && script.find("EXIT") == std::string::npos) {
            EXPECT_NE(reader.exitCode(), 0) << "round " << round << ":\n" << script;
        }
        batchesRun += static_cast<long long>(runner.batches.size());
    }
    // The inputs were scripts at all: many of them reached the runner.
    EXPECT_GT(batchesRun, 1000);
}

}  // namespace
