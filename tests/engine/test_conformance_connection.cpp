// Conformance of the connection API against a real instance: several
// connections, explicit transactions, the command time-out and the login
// errors SQL Server reports.
#include "conformance_fixture.h"

#include "session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

using ConformanceConnection = EngineFixture;

TEST_F(ConformanceConnection, TwoConnectionsSeeEachOthersCommittedRows)
{
    auto other = connect();
    exec("create table shared (a int)\ninsert into shared values (1)");
    EXPECT_EQ(other->query("select count(*) from shared").rows.at(0).at(0).toInt64(), 1);
    other->execute("insert into shared values (2)");
    EXPECT_EQ(text("select sum(a) from shared"), "3");
    // Objects made on one connection are in the other's system views.
    EXPECT_EQ(other->query("select count(*) from sysobjects where name = 'shared' and xtype = 'U'")
                  .rows.at(0).at(0).toInt64(),
              1);
}

TEST_F(ConformanceConnection, RollbackUndoesAndCommitKeeps)
{
    exec("create table t (a int)\ninsert into t values (1)");
    db_->beginTransaction();
    EXPECT_TRUE(db_->inTransaction());
    exec("insert into t values (2)\nupdate t set a = a * 10");
    EXPECT_EQ(text("select sum(a) from t"), "30");
    db_->rollback();
    EXPECT_FALSE(db_->inTransaction());
    EXPECT_EQ(text("select sum(a) from t"), "1");

    db_->beginTransaction();
    exec("insert into t values (5)");
    db_->commit();
    EXPECT_FALSE(db_->inTransaction());
    EXPECT_EQ(text("select sum(a) from t"), "6");
    auto other = connect();
    EXPECT_EQ(other->query("select sum(a) from t").rows.at(0).at(0).toInt64(), 6);
}

TEST_F(ConformanceConnection, RowsSurviveReconnecting)
{
    exec("create table t (a varchar(10))\ninsert into t values (N'中文')");
    db_->close();
    EXPECT_FALSE(db_->isOpen());
    db_->open(params());
    EXPECT_EQ(text("select a from t"), "中文");
}

TEST_F(ConformanceConnection, CommandTimeoutStopsALongLoop)
{
    db_->setCommandTimeout(1);
    EXPECT_EQ(db_->commandTimeout(), 1);
    auto start = std::chrono::steady_clock::now();
    BatchResult r = run("declare @i int = 0\nwhile 1 = 1 set @i = @i + 1");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(r.ok());
    EXPECT_LT(seconds, 5.0);
    EXPECT_GE(seconds, 0.9);
    // The connection is still usable afterwards.
    db_->setCommandTimeout(30);
    EXPECT_EQ(text("select 1"), "1");
}

TEST_F(ConformanceConnection, CommandTimeoutStopsAHugeCrossJoin)
{
    exec("create table n (i int)\ninsert into n values (0), (1), (2), (3), (4), (5), (6), (7), (8), (9)");
    db_->setCommandTimeout(1);
    auto start = std::chrono::steady_clock::now();
    BatchResult r = run("select count(*) from n a, n b, n c, n d, n e, n f, n g, n h, n i, n j, n k");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(r.ok());
    EXPECT_LT(seconds, 5.0);
    db_->setCommandTimeout(30);
    EXPECT_EQ(text("select count(*) from n"), "10");
}

TEST_F(ConformanceConnection, WrongPasswordIsLoginFailure18456)
{
    try {
        connect("wrong password");
        ADD_FAILURE() << "login with a wrong password succeeded";
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 18456);
        EXPECT_EQ(e.first().message, "Login failed for user 'sa'.");
    }
    // Passwords are compared exactly: letter case counts.
    std::string upper = kSaPassword;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    try {
        connect(upper);
        ADD_FAILURE() << "login with the password in other letter case succeeded";
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 18456);
    }
    try {
        connect(kSaPassword, "master", "nobody");
        ADD_FAILURE() << "login of an unknown user succeeded";
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 18456);
        EXPECT_EQ(e.first().message, "Login failed for user 'nobody'.");
    }
}

TEST_F(ConformanceConnection, UnknownDatabaseIs4060)
{
    try {
        connect(kSaPassword, "NoSuchDb");
        ADD_FAILURE() << "opening an unknown database succeeded";
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 4060);
        EXPECT_EQ(e.first().message.rfind("Cannot open database \"NoSuchDb\" requested by the login.", 0), 0u)
            << e.first().message;
    }
    // An empty database name means master.
    auto c = connect(kSaPassword, "");
    EXPECT_EQ(c->currentDatabase(), "master");
}

TEST_F(ConformanceConnection, ConnectionStringKeys)
{
    Connection c;
    c.open("Provider=SQLOLEDB.1;Password=" + std::string(kSaPassword) +
           ";Persist Security Info=True;User ID=sa;Initial Catalog=master;Data Source=" + folder_);
    ASSERT_TRUE(c.isOpen());
    EXPECT_EQ(c.query("select 1 + 1").rows.at(0).at(0).toInt64(), 2);
}

TEST_F(ConformanceConnection, ConnectionStringAsksForATrustedLogin)
{
    struct Case {
        const char* text;
        bool trusted;
    };
    for (const Case& c : {Case{"Data Source=.;Trusted_Connection=yes", true},
                          Case{"Data Source=.;trusted_connection=True", true},
                          Case{"Data Source=.;Integrated Security=SSPI", true},
                          Case{"Integrated Security = 'yes';Data Source=.", true},
                          Case{"Data Source=.;Trusted_Connection=no", false},
                          Case{"Data Source=.;Integrated Security=false", false},
                          Case{"Data Source=.;User ID=sa;Password=x", false}})
        EXPECT_EQ(parseConnectionString(c.text).trusted, c.trusted) << c.text;
}

TEST_F(ConformanceConnection, TrustedLoginOfTheFolderOwnerNeedsNoPassword)
{
    ConnectionParams p = params("");
    p.user = "";
    p.trusted = true;
    Connection c;
    ASSERT_NO_THROW(c.open(p));
    EXPECT_EQ(c.query("select suser_sname()").rows.at(0).at(0).toString(), "sa");
    // The same through a connection string.
    Connection viaString;
    ASSERT_NO_THROW(viaString.open("Data Source=" + folder_ + ";Integrated Security=SSPI"));
}

TEST_F(ConformanceConnection, OnlyTheFolderOwnerMayLogInTrusted)
{
    EXPECT_TRUE(mayLogInTrusted(folder_, ::getuid()));
    EXPECT_FALSE(mayLogInTrusted(folder_, ::getuid() + 4242));
    EXPECT_FALSE(mayLogInTrusted(folder_ + "/no-such-folder", ::getuid()));
    EXPECT_FALSE(mayLogInTrusted("", ::getuid()));
}

TEST_F(ConformanceConnection, TrustedLoginOnSomeoneElsesFolderIs18452)
{
    struct stat info {};
    ASSERT_EQ(::stat(folder_.c_str(), &info), 0);
    // Handing the folder to another user needs root; tests as anyone else skip.
    if (::chown(folder_.c_str(), info.st_uid + 4242, static_cast<gid_t>(-1)) != 0)
        GTEST_SKIP() << "cannot give the instance folder to another user";
    ConnectionParams p = params("");
    p.trusted = true;
    Connection c;
    try {
        c.open(p);
        ADD_FAILURE() << "a trusted login on another user's instance succeeded";
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 18452);
        EXPECT_EQ(e.first().severity, 14);
        EXPECT_EQ(e.first().state, 1);
        EXPECT_EQ(e.first().message,
                  "Login failed. The login is from an untrusted domain and cannot be used with Windows "
                  "authentication.");
    }
    // The password still opens it.
    EXPECT_NO_THROW(connect());
    ASSERT_EQ(::chown(folder_.c_str(), info.st_uid, static_cast<gid_t>(-1)), 0);
}

}  // namespace
