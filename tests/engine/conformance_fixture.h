// Shared fixture of the conformance tests: each test gets a throwaway
// engine instance in a temporary folder, a connection to its master
// database as `sa`, and short helpers that run a batch and hand back what
// a test wants to look at (one value, one result set, one error). The
// folder is removed when the test ends.
#pragma once

#include "connection.h"
#include "instance.h"
#include "sqlerror.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vqsql::conformance {

inline constexpr const char* kSaPassword = "Conf#2008";

// Every error of a batch as "Msg n ... text", one per line, for failure output.
inline std::string describeErrors(const BatchResult& r)
{
    std::string s;
    for (const SqlError& e : r.errors)
        s += e.format() + "\n";
    return s;
}

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vqconf-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        ASSERT_NE(::mkdtemp(buf.data()), nullptr);
        root_ = buf.data();
        folder_ = (std::filesystem::path(root_) / "instance").string();
        ASSERT_NO_THROW(initialiseInstance(folder_, kSaPassword));
        db_ = connect();
        ASSERT_TRUE(db_ && db_->isOpen());
    }

    void TearDown() override
    {
        db_.reset();
        std::error_code ec;
        if (!root_.empty())
            std::filesystem::remove_all(root_, ec);
    }

    // A further connection on the same instance; throws on login failure.
    std::unique_ptr<Connection> connect(const std::string& password = kSaPassword,
                                        const std::string& database = "master",
                                        const std::string& user = "sa")
    {
        auto c = std::make_unique<Connection>();
        c->open(ConnectionParams{folder_, database, user, password});
        return c;
    }

    ConnectionParams params(const std::string& password = kSaPassword,
                            const std::string& database = "master") const
    {
        return ConnectionParams{folder_, database, "sa", password};
    }

    BatchResult run(const std::string& sql) { return db_->run(sql); }

    // Runs a batch that must succeed.
    void exec(const std::string& sql)
    {
        BatchResult r = db_->run(sql);
        if (!r.ok())
            ADD_FAILURE() << "batch failed:\n" << sql << "\n" << describeErrors(r);
    }

    // First result set of a batch that must succeed.
    ResultSet rows(const std::string& sql)
    {
        BatchResult r = db_->run(sql);
        if (!r.ok())
            ADD_FAILURE() << "batch failed:\n" << sql << "\n" << describeErrors(r);
        if (r.resultSets.empty()) {
            ADD_FAILURE() << "no result set from:\n" << sql;
            return {};
        }
        return r.resultSets.front();
    }

    // First column of the first row of the first result set.
    Value scalar(const std::string& sql)
    {
        ResultSet rs = rows(sql);
        if (rs.rows.empty() || rs.rows.front().empty()) {
            ADD_FAILURE() << "no value from:\n" << sql;
            return Value::null();
        }
        return rs.rows.front().front();
    }

    // scalar() as SQL Server would show it; NULL is "<NULL>".
    std::string text(const std::string& sql)
    {
        Value v = scalar(sql);
        return v.isNull() ? "<NULL>" : v.toString();
    }

    // The first column of every row, as text (NULL is "<NULL>").
    std::vector<std::string> column(const std::string& sql)
    {
        std::vector<std::string> out;
        for (const auto& row : rows(sql).rows)
            out.push_back(row.empty() || row.front().isNull() ? "<NULL>" : row.front().toString());
        return out;
    }

    // The first error of a batch that must fail.
    SqlError errorOf(const std::string& sql)
    {
        BatchResult r = db_->run(sql);
        if (r.errors.empty()) {
            ADD_FAILURE() << "batch did not fail:\n" << sql;
            return SqlError{0, 0, 0, 0, "(no error)"};
        }
        return r.errors.front();
    }

    std::string root_;
    std::string folder_;
    std::unique_ptr<Connection> db_;
};

}  // namespace vqsql::conformance
