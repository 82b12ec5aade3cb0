// The administrator password cache in the catalogue: its start-up
// synchronisation against the listed account sets, the look-up with its
// fall-back to the account set itself, and forgetting an entry. Account
// sets are real restores of the installed empty template.
#include "program_fixture.h"

#include <map>
#include <optional>
#include <string>

namespace {

const char* const kNull = "<NULL>";

}  // namespace

class AdminPasswordCache : public ProgramFixture {
protected:
    // Restores the installed template as VQTCW_<code>, with this
    // administrator password (no administrator row for nullopt).
    void makeAccountSet(const std::string& code, const std::optional<std::string>& password)
    {
        const std::string name = "VQTCW_" + code;
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "master", "sa", kSaPassword});
        const std::string file = std::string(VQ_PROGRAM_DIR) + "/VQTCWTemp.mdk";
        const std::string folder = vqsql::instanceDataFolder(instance_) + "/";
        c.execute("restore database [" + name + "] from disk = '" + file + "' with move 'VQTCWTemp' to '" + folder +
                  name + ".mdf', move 'VQTCWTemp_Log' to '" + folder + name + "_log.ldf'");
        c.open(vqsql::ConnectionParams{instance_, name, "sa", kSaPassword});
        if (password)
            c.execute("update T_Operator set Password = '" + *password + "' where KeyID = 1");
        else
            c.execute("delete from T_Operator where KeyID = 1");
    }

    void list(int key, const std::string& code, int delFlag = 0)
    {
        link_->AccListDB.execute("insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) values(" +
                                 std::to_string(key) + ", '" + code + "', 'n" + code + "', " +
                                 std::to_string(delFlag) + ", 0, 0)");
    }

    void cache(const std::string& name, const std::string& value)
    {
        link_->AccListDB.execute(
            "insert into T_Options(KeyID, Name, TxtValue) select isnull(max(KeyID),0)+1, '" + name + "', '" + value +
            "' from T_Options");
    }

    // The catalogue's option rows, name -> value (NULL as "<NULL>").
    std::map<std::string, std::string> options()
    {
        std::map<std::string, std::string> out;
        for (const auto& row : catalogueRows("select Name, TxtValue from T_Options"))
            out[row[0]] = row[1];
        return out;
    }

    std::string admin(const std::string& code) { return link_->GetAdminPassword(QString::fromStdString(code)).toStdString(); }
};

TEST_F(AdminPasswordCache, SyncCachesEveryListedAccountSetThatExists)
{
    makeAccountSet("A", "pa");
    makeAccountSet("B", "pb");        // in the recycle bin
    makeAccountSet("D", std::nullopt);   // no administrator row
    list(1, "A");
    list(2, "B", 1);
    list(3, "C");   // listed, but no such database
    list(4, "D");

    link_->SyncAdminPasswords();
    dialogs_.verifyDone();

    const std::map<std::string, std::string> expected = {
        {"VQTCW_A", "pa"}, {"VQTCW_B", "pb"}, {"VQTCW_D", kNull}};
    EXPECT_EQ(options(), expected);
    EXPECT_EQ(admin("A"), "pa");
    EXPECT_EQ(admin("B"), "pb");
    EXPECT_EQ(admin("D"), "");
    // The keys went up one by one.
    EXPECT_EQ(catalogueRows("select count(distinct KeyID) from T_Options")[0][0], "3");
    // The catalogue connection is still on the catalogue.
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
}

TEST_F(AdminPasswordCache, SyncDropsRowsOfAccountSetsNoLongerListed)
{
    makeAccountSet("A", "pa");
    list(1, "A");
    cache("VQTCW_Gone", "old");     // purged since
    cache("VQTCWxOld", "old");      // "_" of the pattern matches any character
    cache("VQTCW_A", "cached");     // listed: stays, and is not refreshed
    cache("VQTCW", "kept");         // too short for the pattern
    cache("OtherOption", "kept");   // not a cache row at all

    link_->SyncAdminPasswords();

    const std::map<std::string, std::string> expected = {
        {"VQTCW_A", "cached"}, {"VQTCW", "kept"}, {"OtherOption", "kept"}};
    EXPECT_EQ(options(), expected);
    EXPECT_EQ(admin("A"), "cached");
}

TEST_F(AdminPasswordCache, RowOfAVanishedDatabaseStaysAndIsStillAnswered)
{
    list(1, "C");
    cache("VQTCW_C", "kept");
    link_->SyncAdminPasswords();
    EXPECT_EQ(options().at("VQTCW_C"), "kept");
    EXPECT_EQ(admin("C"), "kept");
}

TEST_F(AdminPasswordCache, WithoutACacheRowTheAccountSetIsAsked)
{
    makeAccountSet("A", "direct");
    list(1, "A");
    EXPECT_EQ(admin("A"), "direct");
    EXPECT_TRUE(options().empty()) << "the look-up must not fill the cache";

    // No row and no database: the fall-back query fails and the error passes.
    EXPECT_THROW(link_->GetAdminPassword("Nowhere"), std::exception);
    // An account set without an administrator row answers empty text.
    makeAccountSet("E", std::nullopt);
    EXPECT_EQ(admin("E"), "");
}

TEST_F(AdminPasswordCache, ChinesePasswordRoundTrips)
{
    makeAccountSet("Z", "口令");
    list(1, "Z");
    EXPECT_EQ(admin("Z"), "口令");
    link_->SyncAdminPasswords();
    EXPECT_EQ(options().at("VQTCW_Z"), "口令");
    EXPECT_EQ(admin("Z"), "口令");
}

TEST_F(AdminPasswordCache, ForgetRemovesOnlyThatEntry)
{
    makeAccountSet("A", "fresh");
    list(1, "A");
    cache("VQTCW_A", "stale");
    cache("VQTCW_AB", "other");
    EXPECT_EQ(admin("A"), "stale");

    link_->ForgetAdminPassword("A");
    const std::map<std::string, std::string> expected = {{"VQTCW_AB", "other"}};
    EXPECT_EQ(options(), expected);
    // The next look-up reads the account set itself again ...
    EXPECT_EQ(admin("A"), "fresh");
    // ... and the next start-up caches the fresh value.
    list(2, "AB");
    link_->SyncAdminPasswords();
    EXPECT_EQ(options().at("VQTCW_A"), "fresh");

    // Forgetting what is not cached does no harm.
    link_->ForgetAdminPassword("Nothing");
    EXPECT_EQ(options().size(), 2u);
}

TEST_F(AdminPasswordCache, SecondSyncChangesNothing)
{
    makeAccountSet("A", "pa");
    list(1, "A");
    link_->SyncAdminPasswords();
    const auto first = catalogueRows("select KeyID, Name, TxtValue from T_Options order by KeyID");
    link_->SyncAdminPasswords();
    EXPECT_EQ(catalogueRows("select KeyID, Name, TxtValue from T_Options order by KeyID"), first);
}
