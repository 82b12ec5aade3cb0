// EnsureClientLogIndexes on the installed catalogue: a catalogue made
// before the login log had its index gets it once, keeps every row, and the
// connection service's statements answer as they did without it.
#include "program_fixture.h"

#include "clientlogindexes.h"

#include <sqlite3.h>

#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::vector<std::string>>;

// The statements the connection service and the log viewers run on the
// login log, in the order of a client's visit and an operator's look.
const std::vector<std::string> kServiceStatements = {
    "select distinct MashineIP from T_ClientLog where Closed=0",
    " declare @MaxID int  select @MaxID = ISNULL(max(KeyID),0)+1 from T_ClientLog  insert into "
    "T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName,AccName, LoginUser, LoginTime, Closed) "
    "values( @MaxID,'127.0.0.1','host',50000,'001','name','user', GetDate(), 0) ",
    "select distinct MashineIP from T_ClientLog where Closed=0",
    " select * from T_ClientLog  where Closed=0 order by KeyID DESC ",
    " update T_ClientLog set LogoutTime=GetDate(), Closed=1  where MashineIP='127.0.0.1' and ConnectPort=50000 "
    "and Closed=0",
    " update T_ClientLog set LogoutTime=GetDate(), Closed=1 where Closed=0",
    " select * from T_ClientLog  where Closed=1 and LoginTime<'2026-12-10' order by KeyID DESC ",
    " update T_ClientLog set Closed=2 where Closed=1 and LoginTime<'2026-12-10'",
    " select * from T_ClientLog  where Closed=0 order by KeyID DESC ",
};

// The log's rows as text; LogoutTime only as set or not, since GetDate()
// differs between two runs.
const char* const kAllRows =
    "select KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, LoginTime, "
    "case when LogoutTime is null then 'open' else 'out' end, Closed from T_ClientLog order by KeyID";

class ClientLogIndexes : public ProgramFixture {
protected:
    // Removes the index, as in a catalogue made before it existed.
    void dropIndex(vqsql::Connection& c)
    {
        c.execute("drop index T_ClientLog.IX_T_CLIENTLOG_CLOSED");
    }

    // Closed, cleared and open rows, the open ones under other letter cases
    // and ports.
    static void fillLog(vqsql::Connection& c)
    {
        c.execute("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
                  "LoginTime, LogoutTime, Closed) values (1, '10.0.0.1', 'A', 50001, '001', '账套', 'u', "
                  "'2024-01-01', '2024-01-02', 2)");
        for (int i = 2; i <= 40; ++i)
            c.execute("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, "
                      "LoginUser, LoginTime, LogoutTime, Closed) values (" + std::to_string(i) + ", '10.0.0." +
                      std::to_string(i % 7) + "', 'PC', " + std::to_string(50000 + i) +
                      ", '001', 'n', 'u', '2024-01-03', '2024-01-04', " + std::to_string(i % 5 ? 1 : 2) + ")");
        c.execute("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
                  "LoginTime, Closed) values (41, 'Host-X', 'X', 50000, '001', 'n', 'u', '2024-02-01', 0)");
        c.execute("insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, "
                  "LoginTime, Closed) values (42, '127.0.0.1', 'Y', 50001, '001', 'n', 'u', '2024-02-01', 0)");
    }

    // Every result set and row count of the service's statements, then the rows.
    static std::vector<Rows> runService(vqsql::Connection& c)
    {
        std::vector<Rows> out;
        for (const std::string& sql : kServiceStatements) {
            vqsql::BatchResult r = c.run(sql);
            EXPECT_TRUE(r.ok()) << sql;
            for (const vqsql::ResultSet& rs : r.resultSets) {
                Rows rows = vqtest::textRows(rs);
                // LoginTime and LogoutTime of the row made now differ between runs.
                const int login = rs.columnIndex("LoginTime"), logout = rs.columnIndex("LogoutTime");
                for (auto& row : rows) {
                    if (row[0] == "43" && login >= 0)
                        row[static_cast<std::size_t>(login)] = "now";
                    if (logout >= 0 && row[static_cast<std::size_t>(logout)] != "<NULL>")
                        row[static_cast<std::size_t>(logout)] = "set";
                }
                out.push_back(std::move(rows));
            }
            out.push_back({{"rows", std::to_string(r.rowsAffected)}});
        }
        Rows all = vqtest::textRows(c.query(kAllRows));
        for (auto& row : all)
            if (row[0] == "43")
                row[7] = "now";
        out.push_back(std::move(all));
        return out;
    }

    // The SQLite definition of the log's index in a database file, "" if none.
    static std::string indexDefinition(const std::string& file)
    {
        sqlite3* db = nullptr;
        std::string sql;
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* q = nullptr;
            if (sqlite3_prepare_v2(db,
                                   "select sql from sqlite_master where type = 'index' and "
                                   "name = 'T_ClientLog$IX_T_CLIENTLOG_CLOSED'",
                                   -1, &q, nullptr) == SQLITE_OK &&
                sqlite3_step(q) == SQLITE_ROW)
                sql = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
            sqlite3_finalize(q);
        }
        sqlite3_close(db);
        return sql;
    }

    std::string catalogueFile() const { return instance_ + "/Data/VQTCWAccList.mdf"; }
};

TEST_F(ClientLogIndexes, InstalledCatalogueAlreadyHasThem)
{
    EXPECT_FALSE(indexDefinition(catalogueFile()).empty());
    int created = -1;
    EXPECT_TRUE(EnsureClientLogIndexes(*link_, &created));
    EXPECT_EQ(created, 0);
}

TEST_F(ClientLogIndexes, OldCatalogueGetsThemOnceWithEveryRowKept)
{
    const std::string installed = indexDefinition(catalogueFile());
    ASSERT_FALSE(installed.empty());
    dropIndex(link_->AccListDB);
    fillLog(link_->AccListDB);
    const Rows before = catalogueRows(kAllRows);
    ASSERT_EQ(before.size(), 42u);
    ASSERT_TRUE(indexDefinition(catalogueFile()).empty());

    int created = -1;
    EXPECT_TRUE(EnsureClientLogIndexes(*link_, &created));
    EXPECT_EQ(created, 1);
    EXPECT_EQ(catalogueRows(kAllRows), before);
    // The same index new installations get.
    EXPECT_EQ(indexDefinition(catalogueFile()), installed);

    EXPECT_TRUE(EnsureClientLogIndexes(*link_, &created));
    EXPECT_EQ(created, 0);
    EXPECT_EQ(catalogueRows(kAllRows), before);
    // The catalogue connection goes on with the data layer's usual time-out.
    EXPECT_EQ(link_->AccListDB.commandTimeout(), TLinkData::kDefaultTimeout);
}

TEST_F(ClientLogIndexes, ServiceStatementsAnswerAsWithoutTheIndex)
{
    // Two copies of the catalogue with the same rows: one as before the
    // index, one given the index by EnsureClientLogIndexes.
    vqsql::Connection plain;
    plain.open(vqsql::ConnectionParams{instance_, "master", "sa", kSaPassword});
    vqtest::restoreBackupAs(plain, vqtest::installedBackupFile("VQTCWAccList"), "OldCatalogue",
                            root_ + "/OldCatalogue.mdf", root_ + "/OldCatalogue_log.ldf");
    plain.execute("use OldCatalogue");
    dropIndex(plain);
    dropIndex(link_->AccListDB);
    fillLog(plain);
    fillLog(link_->AccListDB);
    ASSERT_TRUE(EnsureClientLogIndexes(*link_));
    ASSERT_TRUE(indexDefinition(root_ + "/OldCatalogue.mdf").empty());

    const std::vector<Rows> without = runService(plain);
    const std::vector<Rows> with = runService(link_->AccListDB);
    EXPECT_EQ(with, without);
    // What the statements did: the login row made and closed, every open
    // row closed, the closed rows cleared.
    EXPECT_EQ(catalogueRows("select count(*) from T_ClientLog where Closed = 0"), Rows{{"0"}});
    EXPECT_EQ(catalogueRows("select count(*) from T_ClientLog"), Rows{{"43"}});
}

TEST_F(ClientLogIndexes, CatalogueWithoutTheLogReportsFailure)
{
    link_->AccListDB.execute("drop table T_ClientLog");
    int created = -1;
    EXPECT_FALSE(EnsureClientLogIndexes(*link_, &created));
    EXPECT_EQ(created, 0);
}

}  // namespace
