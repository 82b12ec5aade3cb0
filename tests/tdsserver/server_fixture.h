// Shared fixture of the server tests: each test gets a throwaway engine
// instance in a temporary folder and a TdsServer for it listening on
// 127.0.0.1 on a free port, plus helpers to connect and log in with the
// test client, to restart the server with other settings and to look at
// the instance directly through the engine.
#pragma once

#include "fuzz_support.h"
#include "tds_client.h"

#include "connection.h"
#include "instance.h"
#include "tds_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tdstest {

inline constexpr const char* kSaPassword = "Srv#2008";

inline LoginBuilder loginAs(const std::string& password = kSaPassword, const std::string& database = "master")
{
    LoginBuilder b;
    b.password = password;
    b.database = database;
    return b;
}

inline std::string describe(const Response& r)
{
    std::string s;
    for (const auto& e : r.errors)
        s += "Msg " + std::to_string(e.number) + ": " + e.text + "\n";
    return s;
}

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vqsrv-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        ASSERT_NE(::mkdtemp(buf.data()), nullptr);
        root_ = buf.data();
        folder_ = (std::filesystem::path(root_) / "instance").string();
        ASSERT_NO_THROW(vqsql::initialiseInstance(folder_, kSaPassword));
        settings_.address = "127.0.0.1";
        settings_.port = 0;
        adjust(settings_);
        startServer();
    }

    void TearDown() override
    {
        server_.reset();
        std::error_code ec;
        if (!root_.empty())
            std::filesystem::remove_all(root_, ec);
    }

    // Settings for every test of a fixture derived from this one.
    virtual void adjust(vqtdsserver::ServerSettings&) {}

    void startServer()
    {
        server_ = std::make_unique<vqtdsserver::TdsServer>(folder_, settings_);
        ASSERT_NO_THROW(server_->start());
    }

    void restartServer(const vqtdsserver::ServerSettings& settings)
    {
        server_.reset();
        settings_ = settings;
        startServer();
    }

    std::unique_ptr<TdsClient> connect() { return std::make_unique<TdsClient>(server_->port()); }

    // A client logged in as sa; the test fails when the login does.
    std::unique_ptr<TdsClient> loggedIn(const std::string& database = "master", std::uint32_t packetSize = 4096)
    {
        auto client = connect();
        const Response r = client->login(loginAs(kSaPassword, database), packetSize);
        EXPECT_TRUE(r.errors.empty()) << describe(r);
        EXPECT_TRUE(r.loginAck.has_value());
        return client;
    }

    // Runs a batch that must succeed.
    Response exec(TdsClient& client, const std::string& sql)
    {
        Response r = client.batch(sql);
        EXPECT_TRUE(r.errors.empty()) << sql << "\n" << describe(r);
        return r;
    }

    // A connection to the instance through the engine itself, beside the server.
    std::unique_ptr<vqsql::Connection> openEngine(const std::string& database = "master")
    {
        auto c = std::make_unique<vqsql::Connection>();
        c->open(vqsql::ConnectionParams{folder_, database, "sa", kSaPassword});
        return c;
    }

    std::string root_;
    std::string folder_;
    vqtdsserver::ServerSettings settings_;
    std::unique_ptr<vqtdsserver::TdsServer> server_;
};

}  // namespace tdstest
