// Restoring installed backups under a chosen name, the logical file names
// inside a backup, the folders where new database files go, and the
// program's own folders.
#include "program_fixture.h"
#include "programtesthelpers.h"

#include "mwcwfun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <string>

namespace {

const QString kNotABackup = QStringLiteral("您选择的备份文件不是有效的SQL Server数据库的备份文件。");
const QString kNotice = QStringLiteral("提示");

QString installed(const char* name)
{
    return QStringLiteral(VQ_PROGRAM_DIR "/") + QString::fromUtf8(name) + QStringLiteral(".mdk");
}

using vqtest::ScopedEnv;

// Points the program folder elsewhere for the life of the object.
class ScopedProgramFolder {
public:
    explicit ScopedProgramFolder(const QString& folder) { setProgramFolder(folder); }
    ~ScopedProgramFolder() { setProgramFolder(QString()); }
};

}  // namespace

// ---------------------------------------------------------------------------
// ReadBackupFileList

class BackupFileList : public ProgramFixture {};

TEST_F(BackupFileList, InstalledBackupsNameTheirDataAndLogFiles)
{
    const struct {
        const char* file;
        const char* data;
        const char* log;
    } cases[] = {
        {"VQTCWTemp", "VQTCWTemp", "VQTCWTemp_Log"},
        {"VQTCW_Sample", "VQTCW_Sample", "VQTCW_Sample_log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        QString data, log;
        EXPECT_TRUE(ReadBackupFileList(link_->AccListDB, installed(c.file), data, log));
        EXPECT_EQ(data.toStdString(), c.data);
        EXPECT_EQ(log.toStdString(), c.log);
    }
}

TEST_F(BackupFileList, WhatIsNoBackupGivesTheNoticeAndFalse)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString text = dir.filePath("text.mdk");
    const QString empty = dir.filePath("empty.mdk");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a backup of any database\r\n");
        QFile e(empty);
        ASSERT_TRUE(e.open(QIODevice::WriteOnly));
    }
    for (const QString& file : {text, empty, dir.filePath("missing.mdk"), dir.path()}) {
        SCOPED_TRACE(file.toStdString());
        dialogs_.expect(DialogKind::Info, kNotice, kNotABackup);
        QString data = "untouched", log = "untouched";
        EXPECT_FALSE(ReadBackupFileList(link_->AccListDB, file, data, log));
        dialogs_.verifyDone();
        EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
    }
}

// ---------------------------------------------------------------------------
// RestoreDatabase

class RestoreDatabaseTest : public ProgramFixture {
protected:
    std::string dataFolder() const { return vqsql::instanceDataFolder(instance_); }

    // The logical names and the files of a database, read the way SQL
    // Server shows them: from a fresh backup of it.
    struct Files {
        std::string dataLogical, logLogical, dataPhysical, logPhysical;
    };
    Files filesOf(const std::string& database)
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "master", "sa", kSaPassword});
        const std::string backup = root_ + "/" + database + ".probe.bak";
        std::filesystem::remove(backup);
        c.execute("backup database [" + database + "] to disk = '" + backup + "'");
        vqsql::ResultSet rs = c.query("restore filelistonly from disk = '" + backup + "'");
        Files f;
        for (std::size_t i = 0; i < rs.rows.size(); ++i) {
            const bool data = rs.at(i, "Type").toString() == "D";
            (data ? f.dataLogical : f.logLogical) = rs.at(i, "LogicalName").toString();
            (data ? f.dataPhysical : f.logPhysical) = rs.at(i, "PhysicalName").toString();
        }
        return f;
    }

    int databaseCount(const std::string& name)
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "master", "sa", kSaPassword});
        return static_cast<int>(
            c.query("select name from master..sysdatabases where name = '" + name + "'").rows.size());
    }

    // Runs a batch in a database on a connection of its own.
    void runIn(const std::string& database, const std::string& sql)
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, database, "sa", kSaPassword});
        c.execute(sql);
    }
};

TEST_F(RestoreDatabaseTest, RestoresUnderTheNewNameWithRenamedFiles)
{
    ASSERT_TRUE(link_->RestoreDatabase(installed("VQTCWTemp"), "VQTCW_R1"));
    dialogs_.verifyDone();

    EXPECT_EQ(link_->AccListDB.currentDatabase(), "master");
    ASSERT_TRUE(link_->UserDB.isOpen());
    EXPECT_EQ(link_->UserDB.currentDatabase(), "VQTCW_R1");
    // The account-set tables came with it.
    EXPECT_EQ(link_->AccountSetCount("select count(*) from T_Operator where KeyID=1"), 1);

    const Files f = filesOf("VQTCW_R1");
    EXPECT_EQ(f.dataLogical, "VQTCW_R1");
    EXPECT_EQ(f.logLogical, "VQTCW_R1_log");
    EXPECT_EQ(f.dataPhysical, dataFolder() + "/VQTCW_R1.mdf");
    EXPECT_EQ(f.logPhysical, dataFolder() + "/VQTCW_R1_log.ldf");
    EXPECT_TRUE(std::filesystem::exists(dataFolder() + "/VQTCW_R1.mdf"));
    EXPECT_TRUE(std::filesystem::exists(dataFolder() + "/VQTCW_R1_log.ldf"));
}

TEST_F(RestoreDatabaseTest, RestoringOntoAnExistingNameReplacesIt)
{
    ASSERT_TRUE(link_->RestoreDatabase(installed("VQTCWTemp"), "VQTCW_X"));
    link_->UserDB.close();
    runIn("VQTCW_X", "create table T_Marker(a int) insert into T_Marker values(1)");

    // Another backup under the same name: its content replaces what was there.
    ASSERT_TRUE(link_->RestoreDatabase(installed("VQTCW_Sample"), "VQTCW_X"));
    dialogs_.verifyDone();
    EXPECT_EQ(link_->AccountSetCount("select count(*) from sysobjects where name='T_Marker'"), 0);
    EXPECT_EQ(link_->AccountSetCount("select count(*) from T_Operator where KeyID=2"), 1);   // the sample's bookkeeper
    link_->UserDB.close();
    EXPECT_EQ(databaseCount("VQTCW_X"), 1);
    const Files f = filesOf("VQTCW_X");
    EXPECT_EQ(f.dataLogical, "VQTCW_X");
    EXPECT_EQ(f.logLogical, "VQTCW_X_log");
}

TEST_F(RestoreDatabaseTest, NoBackupShowsTheNoticeAndRunsNothing)
{
    const std::string bogus = root_ + "/bogus.mdk";
    {
        QFile f(QString::fromStdString(bogus));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("garbage");
    }
    dialogs_.expect(DialogKind::Info, kNotice, kNotABackup);
    EXPECT_FALSE(link_->RestoreDatabase(QString::fromStdString(bogus), "VQTCW_Bogus"));
    dialogs_.verifyDone();
    // The script did not run: the catalogue connection stayed where it was.
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
    EXPECT_FALSE(link_->UserDB.isOpen());
    EXPECT_EQ(databaseCount("VQTCW_Bogus"), 0);
}

// ---------------------------------------------------------------------------
// Data paths

class DataPathTest : public ProgramFixture {};

TEST_F(DataPathTest, MasterDataPathIsTheInstancesDataFolder)
{
    EXPECT_EQ(link_->GetMasterDataPath().toStdString(), vqsql::instanceDataFolder(instance_));
    EXPECT_EQ(link_->GetDataPath().toStdString(), vqsql::instanceDataFolder(instance_));
    // The catalogue connection stays where it was.
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
}

TEST_F(DataPathTest, FolderNamedInCapitalsStillYieldsTheFolder)
{
    const std::string folder = root_ + "/MASTER/inst";
    std::filesystem::create_directories(root_ + "/MASTER");
    vqsql::initialiseInstance(folder, "pw");
    TLinkData link;
    ASSERT_TRUE(link.ConnectCatalogue(QString::fromStdString(folder), "master", "pw", false));
    EXPECT_EQ(link.GetMasterDataPath().toStdString(), vqsql::instanceDataFolder(folder));
}

TEST_F(DataPathTest, ClosedCatalogueFallsBackToTheEnginesFolderThenToTheProgramFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ScopedProgramFolder program(dir.filePath("program"));
    QDir().mkpath(dir.filePath("program"));

    TLinkData closed;
    EXPECT_EQ(closed.GetMasterDataPath().toStdString(), "");

    {
        // An installed default instance: its folder + "/Data".
        ScopedEnv home("VQSQL_HOME", QByteArray::fromStdString(instance_));
        EXPECT_EQ(closed.GetDataPath().toStdString(), instance_ + "/Data");
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("program/Data")));
    }
    {
        // None installed: the program folder's Data, created on the way.
        ScopedEnv home("VQSQL_HOME", dir.filePath("no-instance").toUtf8());
        EXPECT_EQ(closed.GetDataPath().toStdString(), dir.filePath("program/Data").toStdString());
        EXPECT_TRUE(QFileInfo(dir.filePath("program/Data")).isDir());
    }
}

// ---------------------------------------------------------------------------
// Program folders

TEST(ProgramFolders, FolderEndsWithASlashAndSubfoldersAreCreated)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString base = dir.filePath("prog");
    ScopedProgramFolder program(base);

    EXPECT_EQ(GetProgramFolder().toStdString(), (base + "/").toStdString());
    EXPECT_EQ(GetProgramSubfolder(QString()).toStdString(), (base + "/").toStdString());
    EXPECT_EQ(GetClientIniPath().toStdString(), (base + "/VQTCWC.ini").toStdString());

    // Missing parents included.
    EXPECT_EQ(GetProgramSubfolder("Backup").toStdString(), (base + "/Backup/").toStdString());
    EXPECT_TRUE(QFileInfo(base + "/Backup").isDir());
    EXPECT_EQ(GetProgramSubfolder("Temp").toStdString(), (base + "/Temp/").toStdString());
    EXPECT_TRUE(QFileInfo(base + "/Temp").isDir());
    // Asking again for an existing folder gives it unchanged.
    EXPECT_EQ(GetProgramSubfolder("Backup").toStdString(), (base + "/Backup/").toStdString());

    // A file in the way: the folder cannot exist, the answer is empty.
    {
        QFile blocker(base + "/Blocked");
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(GetProgramSubfolder("Blocked").toStdString(), "");
}

TEST(ProgramFolders, DefaultIsTheExecutablesFolder)
{
    setProgramFolder(QString());
    EXPECT_EQ(GetProgramFolder().toStdString(), (QCoreApplication::applicationDirPath() + "/").toStdString());
}
