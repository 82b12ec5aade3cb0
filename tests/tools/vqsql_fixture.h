// The fixture of vqsql's tests: each test runs the built program as a
// separate process against a throwaway instance folder (VQSQL_HOME points
// at a temporary folder, the data source is ".") and checks what it prints
// and its exit code.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef VQSQL_BINARY
#error "VQSQL_BINARY must name the vqsql program"
#endif

namespace vqsqltest {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;   // standard output
    std::string err;   // standard error
};

inline std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Quotes a word for /bin/sh.
inline std::string shellQuote(const std::string& word)
{
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

class VqsqlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vqsql-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        instance_ = folder_ / "instance";
        fs::create_directories(instance_);
        ASSERT_EQ(vqsql({"--init"}).exitCode, 0);
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Runs vqsql with the arguments, `input` on its standard input, in the
    // test's own instance.
    RunResult vqsql(const std::vector<std::string>& args, const std::string& input = "")
    {
        const fs::path in = folder_ / "stdin.txt";
        const fs::path out = folder_ / "stdout.txt";
        const fs::path err = folder_ / "stderr.txt";
        std::ofstream(in, std::ios::binary) << input;

        std::string command = environment_ + "VQSQL_HOME=" + shellQuote(instance_.string()) + " "
            + shellQuote(VQSQL_BINARY);
        for (const auto& arg : args)
            command += " " + shellQuote(arg);
        command += " <" + shellQuote(in.string()) + " >" + shellQuote(out.string()) + " 2>"
            + shellQuote(err.string());

        RunResult result;
        const int status = std::system(command.c_str());
        if (status != -1 && WIFEXITED(status))
            result.exitCode = WEXITSTATUS(status);
        result.out = readFile(out);
        result.err = readFile(err);
        return result;
    }

    // Sets an environment variable for the following runs of vqsql.
    void setEnvironment(const std::string& name, const std::string& value)
    {
        environment_ += name + "=" + shellQuote(value) + " ";
    }

    fs::path writeScript(const std::string& name, const std::string& text)
    {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    fs::path folder_;
    fs::path instance_;
    std::string environment_;   // "NAME='value' ..." before the command
};

inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

inline std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

inline bool isDashLine(const std::string& line)
{
    return line.find('-') != std::string::npos && line.find_first_not_of("- ") == std::string::npos;
}

// The rows of every result set in the output, each split into words: the
// lines between a line of dashes and the blank line before "(N rows affected)".
inline std::vector<std::vector<std::string>> dataRows(const std::string& output)
{
    std::vector<std::vector<std::string>> rows;
    bool inRows = false;
    for (const auto& line : lines(output)) {
        if (isDashLine(line)) {
            inRows = true;
            continue;
        }
        if (line.empty()) {
            inRows = false;
            continue;
        }
        if (inRows)
            rows.push_back(words(line));
    }
    return rows;
}

inline int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

using Row = std::vector<std::string>;

}  // namespace vqsqltest
