// The server's settings file: defaults, every key read back, and the
// mistakes an administrator makes reported with their line.
#include "server_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace vqtdsserver;

namespace {

class ServerSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = std::filesystem::temp_directory_path() /
                  ("vq-settings-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    void writeFile(const std::string& text) { std::ofstream(folder_ / kServerSettingsFile) << text; }
    std::filesystem::path folder_;
};

}  // namespace

TEST_F(ServerSettingsTest, MissingFileMeansSqlServersDefaults)
{
    ServerSettings s = loadServerSettings(folder_.string());
    EXPECT_EQ(s.address, "0.0.0.0");
    EXPECT_EQ(s.port, 1433);
    EXPECT_FALSE(s.forceEncryption);
}

TEST_F(ServerSettingsTest, WrittenSettingsReadBack)
{
    ServerSettings s;
    s.address = "127.0.0.1";
    s.port = 14330;
    s.maxConnections = 7;
    s.loginTimeoutSeconds = 3;
    s.certificateFile = "/etc/ssl/x.pem";
    s.forceEncryption = true;
    writeServerSettings(folder_.string(), s);
    ServerSettings r = loadServerSettings(folder_.string());
    EXPECT_EQ(r.address, "127.0.0.1");
    EXPECT_EQ(r.port, 14330);
    EXPECT_EQ(r.maxConnections, 7);
    EXPECT_EQ(r.loginTimeoutSeconds, 3);
    EXPECT_EQ(r.certificateFile, "/etc/ssl/x.pem");
    EXPECT_EQ(resolveInInstance(folder_.string(), r.certificateFile), "/etc/ssl/x.pem");
    EXPECT_EQ(resolveInInstance(folder_.string(), r.keyFile), (folder_ / "server.key").string());
    EXPECT_TRUE(r.forceEncryption);
}

TEST_F(ServerSettingsTest, MistakesNameTheirLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"port = 1433\nprot = 1\n", "line 2: unknown setting 'prot'"},
        {"port = 70000\n", "line 1: expected a whole number from 0 to 65535, found '70000'"},
        {"# comment\nmax_connections\n", "line 2: expected key = value"},
        {"force_encryption = maybe\n", "line 1: expected yes or no, found 'maybe'"},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(text);
        try {
            loadServerSettings(folder_.string());
            ADD_FAILURE() << "accepted: " << text;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
    }
}
