// What survives a writer that is killed, and several processes on one
// instance: a child process inserts rows one autocommitted statement at a
// time and is killed with SIGKILL; every row it reported committed must be
// there afterwards and the database file must be sound. The vqsql tool, a
// separate process, works on a database the test process holds open.
#include "connection.h"
#include "functions.h"
#include "instance.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef VQSQL_BINARY
#error "VQSQL_BINARY must name the vqsql program"
#endif

using namespace vqsql;

namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = "Dur#2008";

std::string shellQuote(const std::string& word)
{
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class Durability : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vqdur-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        folder_ = root_ + "/instance";
        ASSERT_NO_THROW(initialiseInstance(folder_, kPassword));
        Connection c;
        c.open(params("master"));
        c.execute("create database Books\nuse Books\n"
                  "create table ledger (id int primary key, summary nvarchar(100), amount money)");
    }

    void TearDown() override
    {
        std::error_code ec;
        if (!root_.empty())
            fs::remove_all(root_, ec);
    }

    ConnectionParams params(const std::string& database) const
    {
        return ConnectionParams{folder_, database, "sa", kPassword};
    }

    // Result of PRAGMA integrity_check on a database file, opened as the
    // engine opens it (its functions and collation registered).
    static std::string integrityOf(const std::string& file)
    {
        sqlite3* db = nullptr;
        std::string result;
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            result = std::string("cannot open: ") + sqlite3_errmsg(db);
        } else if (registerEngineFunctions(db) != SQLITE_OK) {
            result = "cannot register the engine's functions";
        } else {
            auto collect = [](void* out, int n, char** values, char**) {
                auto* text = static_cast<std::string*>(out);
                for (int i = 0; i < n; ++i)
                    *text += (text->empty() ? "" : "\n") + std::string(values[i] ? values[i] : "NULL");
                return 0;
            };
            char* error = nullptr;
            if (sqlite3_exec(db, "PRAGMA integrity_check", collect, &result, &error) != SQLITE_OK) {
                result = std::string("integrity_check failed: ") + (error ? error : "?");
                sqlite3_free(error);
            }
        }
        sqlite3_close(db);
        return result;
    }

    struct ToolRun {
        int exitCode = -1;
        std::string out;
    };

    // Runs the vqsql tool on this instance with one batch.
    ToolRun tool(const std::string& database, const std::string& batch)
    {
        const std::string out = root_ + "/tool.out";
        const std::string command = shellQuote(VQSQL_BINARY) + " -S " + shellQuote(folder_) + " -P " +
                                    shellQuote(kPassword) + " -d " + shellQuote(database) + " -Q " +
                                    shellQuote(batch) + " >" + shellQuote(out) + " 2>&1 </dev/null";
        ToolRun r;
        const int status = std::system(command.c_str());
        if (status != -1 && WIFEXITED(status))
            r.exitCode = WEXITSTATUS(status);
        std::ifstream in(out, std::ios::binary);
        r.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return r;
    }

    std::string root_;
    std::string folder_;
};

// The child's work: insert rows 1, 2, 3 ... each in its own autocommitted
// statement, writing each number to `out` once its insert has returned.
// Never returns.
[[noreturn]] void insertUntilKilled(const ConnectionParams& params, int out)
{
    try {
        Connection c;
        c.open(params);
        for (int i = 1; i <= 1000000; ++i) {
            BatchResult r = c.run("insert into ledger (id, summary, amount) values (" + std::to_string(i) +
                                  ", N'凭证摘要 number " + std::to_string(i) + "', " + std::to_string(i) + ".25)");
            if (!r.ok())
                _exit(2);
            if (write(out, &i, sizeof i) != static_cast<ssize_t>(sizeof i))
                _exit(3);
        }
    } catch (...) {
        _exit(4);
    }
    _exit(0);
}

TEST_F(Durability, RowsReportedCommittedSurviveAKilledWriter)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        close(fds[0]);
        insertUntilKilled(params("Books"), fds[1]);
    }
    close(fds[1]);

    constexpr int kWanted = 200;
    int last = 0;
    while (last < kWanted) {
        int n = 0;
        if (read(fds[0], &n, sizeof n) != static_cast<ssize_t>(sizeof n))
            break;
        last = n;
    }
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // Counts written before the kill that the loop above did not read yet.
    for (int n = 0; read(fds[0], &n, sizeof n) == static_cast<ssize_t>(sizeof n);)
        last = n;
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself with status " << status;
    ASSERT_GE(last, kWanted) << "the writer stopped reporting after " << last << " rows";

    Connection c;
    c.open(params("Books"));
    ResultSet rs = c.query("select count(*) as n, min(id) as lo, max(id) as hi, "
                           "sum(case when amount = id + 0.25 then 1 else 0 end) as exact from ledger");
    const long long n = rs.at(0, "n").toInt64();
    // Every reported row is there; at most the one insert under way when
    // the kill came is there unreported.
    EXPECT_GE(n, last);
    EXPECT_LE(n, last + 1);
    EXPECT_EQ(rs.at(0, "lo").toInt64(), 1);
    EXPECT_EQ(rs.at(0, "hi").toInt64(), n);
    EXPECT_EQ(rs.at(0, "exact").toInt64(), n);
    EXPECT_EQ(c.query("select summary from ledger where id = 7").rows.at(0).at(0).toString(),
              "凭证摘要 number 7");
    // The database goes on taking writes.
    c.execute("insert into ledger (id, summary, amount) values (" + std::to_string(n + 1) + ", 'after', 1)");
    c.close();

    EXPECT_EQ(integrityOf(folder_ + "/Data/Books.mdf"), "ok");
    EXPECT_EQ(integrityOf(folder_ + "/Data/master.mdf"), "ok");
}

TEST_F(Durability, ToolAndConnectionShareADatabase)
{
    Connection c;
    c.open(params("Books"));
    c.execute("insert into ledger values (1, N'服务端', 10)");

    ToolRun insert = tool("Books", "insert into ledger values (2, N'工具', 20)");
    ASSERT_EQ(insert.exitCode, 0) << insert.out;
    ResultSet rs = c.query("select summary from ledger order by id");
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(rs.rows[1][0].toString(), "工具");

    ToolRun select = tool("master", "select cast(sum(amount) as int) as total from Books..ledger");
    EXPECT_EQ(select.exitCode, 0) << select.out;
    EXPECT_NE(select.out.find("30"), std::string::npos) << select.out;

    // The connection in this process holds Books as its current database:
    // the tool, another process, may not drop it.
    ToolRun drop = tool("master", "drop database Books");
    EXPECT_EQ(drop.exitCode, 1) << drop.out;
    EXPECT_NE(drop.out.find("Cannot drop database \"Books\" because it is currently in use."), std::string::npos)
        << drop.out;
    EXPECT_EQ(c.query("select count(*) from ledger").rows.at(0).at(0).toInt64(), 2);

    c.execute("use master");
    ToolRun dropped = tool("master", "drop database Books");
    EXPECT_EQ(dropped.exitCode, 0) << dropped.out;
    EXPECT_FALSE(fs::exists(folder_ + "/Data/Books.mdf"));
}

}  // namespace
