// Instances and databases against real instance folders: starting and
// stopping an instance, the sa password, CREATE / DROP / ALTER DATABASE,
// USE, names of objects in other databases, and what a database in use by
// another connection refuses.
#include "conformance_fixture.h"

#include <filesystem>

using namespace vqsql;
using namespace vqsql::conformance;

namespace {

namespace fs = std::filesystem;

class Databases : public EngineFixture {
protected:
    std::string dataFolder() const { return folder_ + "/Data"; }
    std::string dataFile(const std::string& db) const { return dataFolder() + "/" + db + ".mdf"; }
    std::string logFile(const std::string& db) const { return dataFolder() + "/" + db + "_log.ldf"; }

    // The error a login attempt fails with; number 0 when it succeeds.
    SqlError loginError(const std::string& password, const std::string& database = "master")
    {
        try {
            connect(password, database);
        } catch (const SqlException& e) {
            return e.first();
        }
        return SqlError{0, 0, 0, 0, "(logged in)"};
    }

    // The first error of a batch run on another connection.
    static SqlError errorOn(Connection& c, const std::string& sql)
    {
        BatchResult r = c.run(sql);
        if (r.errors.empty()) {
            ADD_FAILURE() << "batch did not fail:\n" << sql;
            return SqlError{0, 0, 0, 0, "(no error)"};
        }
        return r.errors.front();
    }

    long long databaseRows(const std::string& name)
    {
        return scalar("select count(*) from master..sysdatabases where name = '" + name + "'").toInt64();
    }
};

// ---- the instance -----------------------------------------------------------

TEST_F(Databases, StoppedInstanceRefusesNewConnectionsButKeepsOpenOnes)
{
    EXPECT_TRUE(isInstanceInitialised(folder_));
    EXPECT_TRUE(isInstanceRunning(folder_));

    stopInstance(folder_);
    EXPECT_TRUE(isInstanceInitialised(folder_));
    EXPECT_FALSE(isInstanceRunning(folder_));
    SqlError e = loginError(kSaPassword);
    EXPECT_EQ(e.number, 17);
    EXPECT_NE(e.message.find("SQL Server does not exist or access denied"), std::string::npos) << e.message;
    // The connection opened before the stop goes on working.
    exec("create table still_open (a int) insert into still_open values (1)");
    EXPECT_EQ(text("select count(*) from still_open"), "1");

    startInstance(folder_);
    EXPECT_TRUE(isInstanceRunning(folder_));
    auto again = connect();
    EXPECT_EQ(again->query("select count(*) from still_open").rows.at(0).at(0).toInt64(), 1);
}

TEST_F(Databases, FolderNeverInitialisedIsNeitherInstalledNorRunning)
{
    const std::string never = root_ + "/never";
    fs::create_directories(never);
    EXPECT_FALSE(isInstanceInitialised(never));
    EXPECT_FALSE(isInstanceRunning(never));
    EXPECT_THROW(startInstance(never), SqlException);
    EXPECT_FALSE(isInstanceRunning(never));
    EXPECT_FALSE(isInstanceInitialised(root_ + "/absent"));
}

TEST_F(Databases, ChangeSaPassword)
{
    try {
        changeSaPassword(folder_, "not the password", "x");
        ADD_FAILURE() << "password changed with a wrong old password";
    } catch (const SqlException& e) {
        EXPECT_EQ(e.number(), 18456);
    }
    EXPECT_EQ(loginError(kSaPassword).number, 0);
    EXPECT_EQ(loginError("x").number, 18456);

    changeSaPassword(folder_, kSaPassword, "N3w#pass");
    EXPECT_EQ(loginError("N3w#pass").number, 0);
    SqlError old = loginError(kSaPassword);
    EXPECT_EQ(old.number, 18456);
    EXPECT_EQ(old.message, "Login failed for user 'sa'.");
}

TEST_F(Databases, UnknownDatabaseAtLoginIs4060)
{
    SqlError e = loginError(kSaPassword, "NoSuchBooks");
    EXPECT_EQ(e.number, 4060);
    EXPECT_EQ(e.message, "Cannot open database \"NoSuchBooks\" requested by the login. The login failed.");
}

// ---- CREATE DATABASE and USE --------------------------------------------------

TEST_F(Databases, CreateDatabaseMakesBothFilesAndItsRow)
{
    exec("create database Books");
    EXPECT_TRUE(fs::is_regular_file(dataFile("Books")));
    EXPECT_TRUE(fs::is_regular_file(logFile("Books")));
    ResultSet rs = rows("select name, filename, logfilename, datalogical, loglogical, dbid, crdate "
                        "from master..sysdatabases where name = 'Books'");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.at(0, "filename").toString(), dataFile("Books"));
    EXPECT_EQ(rs.at(0, "logfilename").toString(), logFile("Books"));
    EXPECT_EQ(rs.at(0, "datalogical").toString(), "Books");
    EXPECT_EQ(rs.at(0, "loglogical").toString(), "Books_log");
    EXPECT_GT(rs.at(0, "dbid").toInt64(), 1);
    EXPECT_FALSE(rs.at(0, "crdate").isNull());

    SqlError e = errorOf("create database Books");
    EXPECT_EQ(e.number, 1801);
    EXPECT_EQ(e.message, "Database 'Books' already exists. Choose a different database name.");
    SqlError differentCase = errorOf("create database BOOKS");
    EXPECT_EQ(differentCase.number, 1801);
}

TEST_F(Databases, CreateDatabaseInsideATransactionIs226)
{
    db_->beginTransaction();
    SqlError e = errorOf("create database InTran");
    db_->rollback();
    EXPECT_EQ(e.number, 226);
    EXPECT_EQ(e.message, "CREATE DATABASE statement not allowed within multi-statement transaction.");
    EXPECT_EQ(databaseRows("InTran"), 0);
    EXPECT_FALSE(fs::exists(dataFile("InTran")));
}

TEST_F(Databases, UseStaysForTheFollowingBatches)
{
    exec("create database Shop");
    EXPECT_EQ(db_->currentDatabase(), "master");
    exec("use Shop");
    EXPECT_EQ(db_->currentDatabase(), "Shop");
    EXPECT_EQ(text("select db_name()"), "Shop");
    // Tables made now belong to Shop, not to master.
    exec("create table only_here (a int)");
    auto onMaster = connect();
    EXPECT_FALSE(onMaster->run("select * from only_here").ok());
    EXPECT_TRUE(onMaster->run("select * from Shop..only_here").ok());

    exec("use master");
    EXPECT_EQ(db_->currentDatabase(), "master");
    EXPECT_EQ(text("select db_name()"), "master");
}

TEST_F(Databases, UseReportsTheDatabaseAsSysdatabasesNamesIt)
{
    exec("create database Shop");
    // Written in other letter case and in brackets, named as created.
    BatchResult r = run("use [shop]\nselect 1\nuse MASTER");
    ASSERT_TRUE(r.ok()) << describeErrors(r);
    EXPECT_EQ(r.messages, (std::vector<std::string>{"Changed database context to 'Shop'.",
                                                    "Changed database context to 'master'."}));
    // The message stands where the USE ran, before the select's rows.
    ASSERT_EQ(r.events.size(), 3u);
    EXPECT_EQ(r.events[0].kind, BatchEvent::Kind::Message);
    EXPECT_EQ(r.events[1].kind, BatchEvent::Kind::ResultSet);

    // A USE of a database that is not there changes nothing and says nothing.
    BatchResult missing = run("use NoSuchDb");
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(missing.messages.empty());
    EXPECT_EQ(db_->currentDatabase(), "master");
}

// Each spelling of a name in another database, used from master for a table
// in Shop and from Shop for a table in master.
struct OtherDatabaseName {
    const char* here;       // current database
    const char* there;      // the other database
    const char* prefix;     // how a table of `there` is named from `here`
};

class OtherDatabaseNames : public Databases, public ::testing::WithParamInterface<OtherDatabaseName> {};

TEST_P(OtherDatabaseNames, SelectInsertUpdateDeleteAndJoin)
{
    const OtherDatabaseName& p = GetParam();
    exec("create database Shop");
    exec(std::string("use ") + p.there +
         "\ncreate table goods (id int, name varchar(20), price money)"
         "\ninsert into goods values (1, 'pen', 2.5)"
         "\ninsert into goods values (2, N'纸', 1)"
         "\ninsert into goods values (3, 'ink', 7)");
    exec(std::string("use ") + p.here + "\ncreate table local_goods (id int, name varchar(20), price money)");
    ASSERT_EQ(db_->currentDatabase(), p.here);
    const std::string goods = std::string(p.prefix) + "goods";

    EXPECT_EQ(column("select name from " + goods + " order by id"), (std::vector<std::string>{"pen", "纸", "ink"}));

    exec("insert into local_goods (id, name, price) select id, name, price from " + goods + " where id <= 2");
    EXPECT_EQ(text("select count(*) from local_goods"), "2");

    exec("update " + goods + " set price = price * 2 where id = 3");
    exec("delete from " + goods + " where id = 1");
    EXPECT_EQ(column("select cast(price as int) from " + goods + " order by id"),
              (std::vector<std::string>{"1", "14"}));

    EXPECT_EQ(column("select l.name + '/' + g.name from local_goods l join " + goods +
                     " g on g.id = l.id order by l.id"),
              (std::vector<std::string>{"纸/纸"}));

    // The other database's own view of it agrees.
    auto there = connect(kSaPassword, p.there);
    ResultSet rs = there->query("select id, cast(price as int) as p from goods order by id");
    ASSERT_EQ(rs.rows.size(), 2u);
    EXPECT_EQ(rs.at(0, "id").toInt64(), 2);
    EXPECT_EQ(rs.at(1, "p").toInt64(), 14);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, OtherDatabaseNames,
    ::testing::Values(OtherDatabaseName{"master", "Shop", "[Shop].."}, OtherDatabaseName{"master", "Shop", "Shop.."},
                      OtherDatabaseName{"master", "Shop", "Shop.dbo."},
                      OtherDatabaseName{"master", "Shop", "[Shop].[dbo]."},
                      OtherDatabaseName{"Shop", "master", "master.."},
                      OtherDatabaseName{"Shop", "master", "[master].dbo."}),
    [](const ::testing::TestParamInfo<OtherDatabaseName>& info) { return "Case" + std::to_string(info.index); });

TEST_F(Databases, MasterSysdatabasesFromAnyDatabaseNamesTheDataFolder)
{
    exec("create database Shop\nuse Shop");
    for (const char* table : {"master..sysdatabases", "master.dbo.sysdatabases"}) {
        ResultSet rs = rows(std::string("select filename from ") + table + " where name = 'master'");
        ASSERT_EQ(rs.rows.size(), 1u) << table;
        const std::string file = rs.rows[0][0].toString();
        EXPECT_EQ(file, folder_ + "/Data/master.mdf") << table;
        EXPECT_EQ(file.substr(0, file.rfind("/master")), dataFolder()) << table;
    }
    EXPECT_EQ(column("select name from master..sysdatabases order by dbid"),
              (std::vector<std::string>{"master", "Shop"}));
}

// ---- DROP DATABASE -------------------------------------------------------------

TEST_F(Databases, DropRemovesFilesAndRow)
{
    exec("create database Gone\nuse Gone\ncreate table t (a int)\ninsert into t values (1)\nuse master");
    exec("drop database Gone");
    EXPECT_EQ(databaseRows("Gone"), 0);
    EXPECT_FALSE(fs::exists(dataFile("Gone")));
    EXPECT_FALSE(fs::exists(logFile("Gone")));
    // The name is free again, and the new database is empty.
    exec("create database Gone");
    EXPECT_EQ(text("select count(*) from Gone..sysobjects where name = 't'"), "0");
}

TEST_F(Databases, DropErrors)
{
    SqlError master = errorOf("drop database master");
    EXPECT_EQ(master.number, 3708);
    EXPECT_EQ(master.message, "Cannot drop the database 'master' because it is a system database.");
    EXPECT_TRUE(fs::exists(folder_ + "/Data/master.mdf"));

    SqlError missing = errorOf("drop database NotThere");
    EXPECT_EQ(missing.number, 3701);
    EXPECT_EQ(missing.message, "Cannot drop the database 'NotThere', because it does not exist or you do not have "
                               "permission.");
}

TEST_F(Databases, DropOfADatabaseAnotherConnectionIsInIs3702)
{
    exec("create database Busy\nuse Busy\ncreate table t (a int)\ninsert into t values (5)\nuse master");
    auto other = connect(kSaPassword, "Busy");
    ASSERT_EQ(other->currentDatabase(), "Busy");

    SqlError e = errorOf("drop database Busy");
    EXPECT_EQ(e.number, 3702);
    EXPECT_EQ(e.message, "Cannot drop database \"Busy\" because it is currently in use.");
    EXPECT_EQ(databaseRows("Busy"), 1);
    EXPECT_TRUE(fs::exists(dataFile("Busy")));
    EXPECT_TRUE(fs::exists(logFile("Busy")));
    EXPECT_EQ(other->query("select a from t").rows.at(0).at(0).toInt64(), 5);

    // Still in use after further batches there.
    other->execute("insert into t values (6)");
    EXPECT_EQ(errorOf("drop database Busy").number, 3702);

    other->execute("use master");
    exec("drop database Busy");
    EXPECT_EQ(databaseRows("Busy"), 0);
    EXPECT_FALSE(fs::exists(dataFile("Busy")));
    EXPECT_FALSE(fs::exists(logFile("Busy")));
}

TEST_F(Databases, DropOfTheConnectionsOwnCurrentDatabaseIs3702)
{
    exec("create database Mine\nuse Mine");
    SqlError e = errorOf("drop database Mine");
    EXPECT_EQ(e.number, 3702);
    EXPECT_EQ(e.message, "Cannot drop database \"Mine\" because it is currently in use.");
    EXPECT_EQ(db_->currentDatabase(), "Mine");
}

TEST_F(Databases, AnEarlierThreePartNameDoesNotBlockTheDrop)
{
    exec("create database Peek\nuse Peek\ncreate table t (a int)\ninsert into t values (1)\nuse master");
    auto other = connect();
    EXPECT_EQ(other->query("select count(*) from Peek..t").rows.at(0).at(0).toInt64(), 1);
    other->execute("update Peek.dbo.t set a = 2");
    exec("drop database Peek");
    EXPECT_EQ(databaseRows("Peek"), 0);
    EXPECT_FALSE(fs::exists(dataFile("Peek")));
    // The other connection finds it gone rather than a stale copy.
    EXPECT_FALSE(other->run("select count(*) from Peek..t").ok());
}

// ---- ALTER DATABASE MODIFY FILE --------------------------------------------------

TEST_F(Databases, ModifyFileRenamesTheLogicalNames)
{
    exec("create database Acc");
    exec("alter database [Acc] modify file (name=[Acc], NewName=[Ledger])");
    exec("alter database Acc modify file (name = Acc_log, newname = Ledger_log)");
    ResultSet rs = rows("select datalogical, loglogical, filename, logfilename from master..sysdatabases "
                        "where name = 'Acc'");
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_EQ(rs.at(0, "datalogical").toString(), "Ledger");
    EXPECT_EQ(rs.at(0, "loglogical").toString(), "Ledger_log");
    // Only the logical names change; the files stay where they are.
    EXPECT_EQ(rs.at(0, "filename").toString(), dataFile("Acc"));
    EXPECT_EQ(rs.at(0, "logfilename").toString(), logFile("Acc"));

    SqlError e = errorOf("alter database Acc modify file (name = Acc, newname = Other)");
    EXPECT_EQ(e.number, 5041);
    EXPECT_EQ(e.message, "MODIFY FILE failed. File 'Acc' does not exist.");
    EXPECT_EQ(text("select datalogical from master..sysdatabases where name = 'Acc'"), "Ledger");
}

}  // namespace
