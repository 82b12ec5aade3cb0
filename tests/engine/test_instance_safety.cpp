// What an instance keeps safe: login passwords only as salted slow hashes
// (older instances' plain text upgraded at the first login), the master
// files readable by their owner alone, database names that never become
// paths outside the data folder, and the files of killed restores removed
// when the instance is opened, never those of a restore still running.
#include "conformance_fixture.h"
#include "file_lock.h"
#include "functions.h"
#include "password_hash.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

namespace fs = std::filesystem;

// The stored password of a login, read from the master file directly.
std::string storedPassword(const std::string& folder, const std::string& login)
{
    sqlite3* db = nullptr;
    std::string value = "<none>";
    if (sqlite3_open_v2(instanceMasterFile(folder).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        registerEngineFunctions(db) == SQLITE_OK) {
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT password FROM syslogins WHERE name = ?1", -1, &q, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(q, 1, login.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(q) == SQLITE_ROW)
                value = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
        }
        sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return value;
}

// Writes a login's stored password as an instance made before hashing had it.
void storePlainPassword(const std::string& folder, const std::string& login, const std::string& password)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(instanceMasterFile(folder).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(registerEngineFunctions(db), SQLITE_OK);
    sqlite3_stmt* u = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE syslogins SET password = ?1 WHERE name = ?2", -1, &u, nullptr), SQLITE_OK);
    sqlite3_bind_text(u, 1, password.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(u, 2, login.c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(u), SQLITE_DONE);
    sqlite3_finalize(u);
    sqlite3_close(db);
}

// A value between apostrophes in SQL text: its apostrophes doubled.
std::string doubled(const std::string& value)
{
    std::string out;
    for (char c : value) {
        out += c;
        if (c == '\'')
            out += c;
    }
    return out;
}

unsigned permissionsOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0xffff;
}

int loginNumber(const std::string& folder, const std::string& password, std::unique_ptr<Connection>& out)
{
    try {
        out = std::make_unique<Connection>();
        out->open(ConnectionParams{folder, "master", "sa", password});
        return 0;
    } catch (const SqlException& e) {
        return e.number();
    }
}

class InstanceSafety : public EngineFixture {};

// ---- passwords ----------------------------------------------------------------------------

TEST(PasswordHash, FormatSaltAndVerification)
{
    const std::string a = hashPassword("Conf#2008");
    EXPECT_NE(a, hashPassword("Conf#2008")) << "two hashes of one password share their salt";
    // pbkdf2-sha256$<iterations>$<32 hex digits of salt>$<64 hex digits of hash>
    const std::size_t iterationsEnd = a.find('$', 14), saltEnd = a.find('$', iterationsEnd + 1);
    ASSERT_EQ(a.rfind("pbkdf2-sha256$", 0), 0u) << a;
    EXPECT_GE(std::stoi(a.substr(14, iterationsEnd - 14)), 10000);
    EXPECT_EQ(saltEnd - iterationsEnd - 1, 32u) << a;
    EXPECT_EQ(a.size() - saltEnd - 1, 64u) << a;

    EXPECT_TRUE(passwordMatches(a, "Conf#2008"));
    for (const char* wrong : {"", "conf#2008", "Conf#2008 ", "Conf#200"})
        EXPECT_FALSE(passwordMatches(a, wrong)) << wrong;
    // A plain-text value of an older instance verifies as it is.
    EXPECT_FALSE(isPasswordHash("Conf#2008"));
    EXPECT_TRUE(passwordMatches("plain", "plain"));
    EXPECT_FALSE(passwordMatches("plain", "plain2"));
}

TEST(PasswordHash, LoginStaysFast)
{
    const std::string stored = hashPassword("Conf#2008");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(passwordMatches(stored, "Conf#2008"));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    // Well under 50 ms on an idle machine; the bound leaves room for a loaded one.
    EXPECT_LT(ms, 250);
}

TEST_F(InstanceSafety, MasterKeepsNoPlainPassword)
{
    const std::string stored = storedPassword(folder_, "sa");
    EXPECT_TRUE(isPasswordHash(stored)) << stored;
    EXPECT_EQ(stored.find(kSaPassword), std::string::npos);
    // Neither does the database file's raw content.
    std::ifstream in(instanceMasterFile(folder_), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes.find(kSaPassword), std::string::npos);
}

TEST_F(InstanceSafety, ChangedPasswordIsHashedAndChecked)
{
    changeSaPassword(folder_, kSaPassword, "N3w#pass");
    const std::string stored = storedPassword(folder_, "sa");
    EXPECT_TRUE(isPasswordHash(stored)) << stored;
    std::unique_ptr<Connection> c;
    EXPECT_EQ(loginNumber(folder_, "N3w#pass", c), 0);
    EXPECT_EQ(loginNumber(folder_, kSaPassword, c), 18456);
    EXPECT_THROW(changeSaPassword(folder_, kSaPassword, "x"), SqlException);
}

TEST_F(InstanceSafety, PlainTextPasswordOfAnOlderInstanceIsUpgradedAtLogin)
{
    db_.reset();
    storePlainPassword(folder_, "sa", "Old#pass");
    ASSERT_EQ(storedPassword(folder_, "sa"), "Old#pass");
    std::unique_ptr<Connection> c;
    EXPECT_EQ(loginNumber(folder_, "wrong", c), 18456);
    EXPECT_EQ(storedPassword(folder_, "sa"), "Old#pass") << "a failed login changed the stored value";
    EXPECT_EQ(loginNumber(folder_, "Old#pass", c), 0);
    const std::string stored = storedPassword(folder_, "sa");
    EXPECT_TRUE(isPasswordHash(stored)) << stored;
    c.reset();
    EXPECT_EQ(loginNumber(folder_, "Old#pass", c), 0);
    EXPECT_EQ(loginNumber(folder_, "old#pass", c), 18456);
}

// ---- file permissions ---------------------------------------------------------------------

TEST_F(InstanceSafety, MasterFilesAreTheOwnersAlone)
{
    EXPECT_EQ(permissionsOf(instanceMasterFile(folder_)), 0600u);
    EXPECT_EQ(permissionsOf(instanceDataFolder(folder_) + "/mastlog.ldf"), 0600u);
    EXPECT_EQ(permissionsOf(instanceDataFolder(folder_)), 0700u);
    // A second connection of the same user (as another process would be) opens it.
    EXPECT_NO_THROW(connect());
}

TEST_F(InstanceSafety, OlderInstanceFilesAreRestrictedAtLogin)
{
    db_.reset();
    ::chmod(instanceMasterFile(folder_).c_str(), 0644);
    ::chmod((instanceDataFolder(folder_) + "/mastlog.ldf").c_str(), 0644);
    storePlainPassword(folder_, "sa", "Old#pass");
    std::unique_ptr<Connection> c;
    ASSERT_EQ(loginNumber(folder_, "Old#pass", c), 0);
    EXPECT_EQ(permissionsOf(instanceMasterFile(folder_)), 0600u);
    EXPECT_EQ(permissionsOf(instanceDataFolder(folder_) + "/mastlog.ldf"), 0600u);
}

// ---- database names and files -------------------------------------------------------------

struct NameCase {
    const char* name;       // as written between brackets (] doubled)
    const char* sysname;    // as sysdatabases spells it
};

TEST_F(InstanceSafety, DatabaseNamesNeverBecomePathsOutsideTheDataFolder)
{
    const NameCase cases[] = {
        {"../../escape", "../../escape"},
        {"..", ".."},
        {"a/b", "a/b"},
        {"a\\b", "a\\b"},
        {"/tmp/abs", "/tmp/abs"},
        {"tab\there", "tab\there"},
        {"账套2008", "账套2008"},
        {"with space", "with space"},
    };
    const fs::path data = fs::canonical(instanceDataFolder(folder_));
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string escaped = c.name;
        for (std::size_t i = escaped.find(']'); i != std::string::npos; i = escaped.find(']', i + 2))
            escaped.insert(i, "]");
        exec("create database [" + escaped + "]");
        const auto files = rows("select filename, logfilename from master..sysdatabases where name = N'" +
                                doubled(c.sysname) + "'");
        ASSERT_EQ(files.rows.size(), 1u);
        for (const Value& v : files.rows.front()) {
            const fs::path file = fs::weakly_canonical(v.toString());
            EXPECT_EQ(file.parent_path(), data) << v.toString();
            EXPECT_TRUE(fs::exists(file)) << v.toString();
        }
        // The database works and goes away cleanly.
        exec("use [" + escaped + "]\ncreate table t (x int)\ninsert into t values (1)\nuse master");
        exec("drop database [" + escaped + "]");
        for (const Value& v : files.rows.front())
            EXPECT_FALSE(fs::exists(v.toString())) << v.toString();
    }
    EXPECT_FALSE(fs::exists(fs::path(root_) / "escape.mdf"));
    EXPECT_FALSE(fs::exists("/tmp/abs.mdf"));
    // Nothing was written beside the instance folder.
    for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_EQ(entry.path().filename(), "instance") << entry.path();
}

TEST_F(InstanceSafety, NamesThatMapToOneFileCollideCleanly)
{
    exec("create database [a/b]");
    const SqlError e = errorOf("create database [a_b]");
    EXPECT_EQ(e.number, 5170) << e.message;
    EXPECT_EQ(text("select count(*) from master..sysdatabases where name = 'a_b'"), "0");
}

TEST_F(InstanceSafety, RestoreUnderANameWithSeparatorsStaysInTheDataFolder)
{
    exec("create database Src\nuse Src\ncreate table t (x int)\ninsert into t values (7)\nuse master");
    const std::string backup = root_ + "/src.bak";
    exec("backup database Src to disk = '" + doubled(backup) + "'");
    exec("restore database [../../restored] from disk = '" + doubled(backup) + "' with move 'Src' to '" +
         doubled(instanceDataFolder(folder_) + "/moved.mdf") + "', move 'Src_log' to '" +
         doubled(instanceDataFolder(folder_) + "/moved_log.ldf") + "'");
    // MOVE names a path the user chose; without it the name is mapped.
    exec("restore database [../../mapped] from disk = '" + doubled(backup) + "'");
    const fs::path data = fs::canonical(instanceDataFolder(folder_));
    for (const std::string& file : column("select filename from master..sysdatabases"))
        EXPECT_EQ(fs::weakly_canonical(file).parent_path(), data) << file;
    EXPECT_EQ(text("select x from [../../mapped]..t"), "7");
    EXPECT_FALSE(fs::exists(fs::path(root_) / "mapped.mdf"));
}

// ---- files of killed restores -------------------------------------------------------------

TEST_F(InstanceSafety, AbandonedRestoreFilesGoWhenTheInstanceIsOpened)
{
    const std::string data = instanceDataFolder(folder_);
    const std::string leftover = data + "/Killed.mdf.restoring";
    std::ofstream(leftover) << "half a database";
    std::ofstream(leftover + "-journal") << "x";
    // A restore still running holds its file locked: that one stays.
    const std::string running = data + "/Running.mdf.restoring";
    std::ofstream(running) << "being written";
    FileLock restoreInProgress;
    ASSERT_TRUE(restoreInProgress.lockExclusive(running));

    auto second = connect();
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_FALSE(fs::exists(leftover + "-journal"));
    EXPECT_TRUE(fs::exists(running));

    restoreInProgress.release();
    second = connect();
    EXPECT_FALSE(fs::exists(running));
    // Other files of the data folder are untouched.
    EXPECT_TRUE(fs::exists(instanceMasterFile(folder_)));
}

TEST_F(InstanceSafety, AbandonedRestoreFileGoesWhenItsDatabaseIsAttached)
{
    exec("create database Kept");
    const std::string file = text("select filename from master..sysdatabases where name = 'Kept'");
    std::ofstream(file + ".restoring") << "half a database";
    exec("use Kept\nuse master");
    EXPECT_FALSE(fs::exists(file + ".restoring"));
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(InstanceSafety, RestoreOverAnAbandonedFileSucceeds)
{
    exec("create database Src\nuse Src\ncreate table t (x int)\ninsert into t values (3)\nuse master");
    const std::string backup = root_ + "/src.bak";
    exec("backup database Src to disk = '" + doubled(backup) + "'");
    const std::string target = instanceDataFolder(folder_) + "/Copy.mdf";
    std::ofstream(target + ".restoring") << "left by a killed restore";
    exec("restore database Copy from disk = '" + doubled(backup) + "' with move 'Src' to '" +
         doubled(target) + "', move 'Src_log' to '" +
         doubled(instanceDataFolder(folder_) + "/Copy_log.ldf") + "'");
    EXPECT_EQ(text("select x from Copy..t"), "3");
    EXPECT_FALSE(fs::exists(target + ".restoring"));
}

}  // namespace
