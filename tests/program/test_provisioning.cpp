// First-run provisioning against a fresh engine instance reached as the
// default instance ("."), with a program folder in a temporary directory
// that holds copies of the installed backups (or not all of them, or
// broken ones).
#include "installedbackups.h"
#include "instance.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "scriptedoperator.h"
#include "srvprovision.h"

#include "programtesthelpers.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

const QString kNotice = QStringLiteral("提示");
const QString kWaiting = QStringLiteral("正在为第一次运行本软件创建数据库，请稍候......");
const QString kSampleMissing = QStringLiteral("例子账文件不存在，不能创建例子账数据库。");
const QString kSampleFailed = QStringLiteral("创建例子账数据库失败。");
const QString kCatalogueFailed = QStringLiteral("创建账套集数据库失败。");
const QString kPackFailed = QStringLiteral("创建模板数据库失败。");
const QString kNotABackup = QStringLiteral("您选择的备份文件不是有效的SQL Server数据库的备份文件。");

QString missingFile(const char* file)
{
    return QStringLiteral("您的安装目录下缺少文件：\"") + QString::fromUtf8(file) +
           QStringLiteral("\"，请重新安装后再运行本软件。");
}

const char* const kSample = "VQTCW_Sample";
const char* const kCatalogue = "VQTCWAccList";
const char* const kPack = "VQTCWPack";

using Rows = std::vector<std::vector<std::string>>;

const Rows kSampleRow = {{"1", "Sample", "财务例子账", "0", "0", "0"}};

}  // namespace

class Provisioning : public vqtest::ThrowawayInstallation {
protected:
    static constexpr const char* kPassword = "Prov#1";

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(createInstallation(kPassword));
        startProgram();
    }

    void TearDown() override
    {
        dialogs_.verifyDone();
        LinkData = nullptr;
        link_.reset();
        releaseInstallation();
    }

    // A new start of the program: a fresh data module whose catalogue
    // connection is open on master, as start-up leaves it.
    void startProgram()
    {
        LinkData = nullptr;
        link_ = std::make_unique<TLinkData>();
        LinkData = link_.get();
        ASSERT_TRUE(link_->ConnectCatalogue(".", "master", kPassword, false));
    }

    void install(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            const QString target = program_ + name + ".mdk";
            QFile::remove(target);
            ASSERT_TRUE(QFile::copy(QStringLiteral(VQ_PROGRAM_DIR "/") + name + ".mdk", target)) << name;
        }
    }

    void installBroken(const char* name)
    {
        QFile f(program_ + name + ".mdk");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a database backup\r\n");
    }

    // A connection of the test's own on the default instance.
    std::unique_ptr<vqsql::Connection> open(const std::string& database = "master")
    {
        auto c = std::make_unique<vqsql::Connection>();
        c->open(vqsql::ConnectionParams{".", database, "sa", kPassword});
        return c;
    }

    std::set<std::string> databases()
    {
        std::set<std::string> out;
        for (const auto& row : open()->query("select name from master..sysdatabases").rows) {
            const std::string name = row.at(0).toString();
            if (name != "master" && name != "tempdb" && name != "model" && name != "msdb")
                out.insert(name);
        }
        return out;
    }

    Rows rows(const std::string& database, const std::string& sql)
    {
        return vqtest::textRows(open(database)->query(sql));
    }

    Rows accList() { return rows(kCatalogue, "select KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag from AccList order by KeyID"); }

    bool hasTable(const std::string& database, const std::string& table)
    {
        return !rows(database, "select name from sysobjects where name = '" + table + "'").empty();
    }

    void addMarker(const std::string& database)
    {
        open(database)->execute("create table T_TestMarker(a int)");
    }

    std::unique_ptr<TLinkData> link_;
    ScriptedOperator dialogs_;
};

TEST_F(Provisioning, FreshServerGetsAllThreeDatabasesAndTheSampleRow)
{
    install({kSample, kCatalogue, kPack});
    EXPECT_TRUE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();   // no box at all

    EXPECT_EQ(databases(), (std::set<std::string>{kSample, kCatalogue, kPack}));
    EXPECT_EQ(accList(), kSampleRow);
    ASSERT_TRUE(link_->AccListDB.isOpen());
    EXPECT_EQ(link_->AccListDB.currentDatabase(), kCatalogue);
    EXPECT_EQ(dialogs_.waitingTexts(), QStringList{kWaiting});
    EXPECT_FALSE(dialogs_.waitingShown()) << "the waiting window must be closed again";

    // The databases' files went into the instance's data folder, named after them.
    const std::string data = vqsql::instanceDataFolder(home_) + "/";
    for (const char* name : {kSample, kCatalogue, kPack}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(QFile::exists(QString::fromStdString(data + name + ".mdf")));
        EXPECT_TRUE(QFile::exists(QString::fromStdString(data + name + "_log.ldf")));
    }
    // The sample books arrived with their content.
    EXPECT_FALSE(rows(kSample, "select KeyID from T_Operator where KeyID = 1").empty());
}

TEST_F(Provisioning, SecondStartOnlyConnectsToTheCatalogue)
{
    install({kSample, kCatalogue, kPack});
    ASSERT_TRUE(ProvisionDatabases(kPassword));
    open(kCatalogue)->execute("insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) "
                              "values(2, 'Mine', 'Mine', 0, 0, 0)");
    addMarker(kSample);
    addMarker(kPack);
    // The backups are not even needed any more.
    for (const char* name : {kSample, kCatalogue, kPack})
        QFile::remove(program_ + name + ".mdk");

    startProgram();
    EXPECT_TRUE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();

    EXPECT_EQ(dialogs_.waitingTexts().size(), 1) << "no waiting window on a provisioned machine";
    EXPECT_EQ(link_->AccListDB.currentDatabase(), kCatalogue);
    EXPECT_FALSE(link_->UserDB.isOpen()) << "nothing was restored";
    EXPECT_EQ(accList().size(), 2u);
    EXPECT_TRUE(hasTable(kSample, "T_TestMarker"));
    EXPECT_TRUE(hasTable(kPack, "T_TestMarker"));
}

// ---- missing and broken backup files ----------------------------------------

struct FileCase {
    const char* name;
    std::vector<const char*> installed;
    const char* broken;            // installed as garbage, or nullptr
    std::vector<QString> boxes;    // in this order, caption "提示"
    bool result;
    std::set<std::string> databases;
};

class ProvisioningFiles : public Provisioning, public ::testing::WithParamInterface<FileCase> {};

TEST_P(ProvisioningFiles, ReportsEveryProblemAndGoesOn)
{
    const FileCase& c = GetParam();
    for (const char* name : c.installed)
        install({name});
    if (c.broken)
        installBroken(c.broken);
    for (const QString& box : c.boxes)
        dialogs_.expect(DialogKind::Info, kNotice, box);

    EXPECT_EQ(ProvisionDatabases(kPassword), c.result);
    dialogs_.verifyDone();
    EXPECT_EQ(databases(), c.databases);
    EXPECT_EQ(dialogs_.waitingTexts(), QStringList{kWaiting});
    EXPECT_FALSE(dialogs_.waitingShown());

    if (c.databases.count(kCatalogue)) {
        // The catalogue always receives the sample row, sample or not, and
        // the catalogue connection ends on it.
        EXPECT_EQ(accList(), kSampleRow);
        EXPECT_EQ(link_->AccListDB.currentDatabase(), kCatalogue);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProvisioningFiles,
    ::testing::Values(
        FileCase{"SampleMissing", {kCatalogue, kPack}, nullptr, {kSampleMissing}, true, {kCatalogue, kPack}},
        FileCase{"SampleBroken", {kCatalogue, kPack}, kSample, {kNotABackup, kSampleFailed}, true,
                 {kCatalogue, kPack}},
        FileCase{"CatalogueMissing", {kSample, kPack}, nullptr, {missingFile("VQTCWAccList.mdk")}, false,
                 {kSample, kPack}},
        FileCase{"CatalogueBroken", {kSample, kPack}, kCatalogue, {kNotABackup, kCatalogueFailed}, false,
                 {kSample, kPack}},
        FileCase{"PackMissing", {kSample, kCatalogue}, nullptr, {missingFile("VQTCWPack.mdk")}, false,
                 {kSample, kCatalogue}},
        FileCase{"PackBroken", {kSample, kCatalogue}, kPack, {kNotABackup, kPackFailed}, false,
                 {kSample, kCatalogue}},
        FileCase{"AllMissing",
                 {},
                 nullptr,
                 {kSampleMissing, missingFile("VQTCWAccList.mdk"), missingFile("VQTCWPack.mdk")},
                 false,
                 {}}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST_F(Provisioning, AfterAFailedCatalogueTheNextStartIsAFirstRunAgain)
{
    install({kSample, kPack});
    dialogs_.expect(DialogKind::Info, kNotice, missingFile("VQTCWAccList.mdk"));
    ASSERT_FALSE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();
    addMarker(kSample);

    install({kCatalogue});
    startProgram();
    EXPECT_TRUE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();
    EXPECT_EQ(databases(), (std::set<std::string>{kSample, kCatalogue, kPack}));
    EXPECT_FALSE(hasTable(kSample, "T_TestMarker")) << "the sample left by the failed run must be made afresh";
    EXPECT_EQ(accList(), kSampleRow);
    EXPECT_EQ(dialogs_.waitingTexts().size(), 2);
}

TEST_F(Provisioning, AfterAFailedPackTheNextStartCountsAsProvisioned)
{
    install({kSample, kCatalogue});
    dialogs_.expect(DialogKind::Info, kNotice, missingFile("VQTCWPack.mdk"));
    ASSERT_FALSE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();

    startProgram();
    EXPECT_TRUE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();
    EXPECT_EQ(databases(), (std::set<std::string>{kSample, kCatalogue}));
    EXPECT_EQ(dialogs_.waitingTexts().size(), 1);
}

TEST_F(Provisioning, LeftOverSampleWithoutCatalogueIsDroppedAndRestored)
{
    open()->execute("create database VQTCW_Sample");
    addMarker(kSample);
    install({kSample, kCatalogue, kPack});

    EXPECT_TRUE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();
    EXPECT_FALSE(hasTable(kSample, "T_TestMarker"));
    EXPECT_FALSE(rows(kSample, "select KeyID from T_Operator where KeyID = 1").empty());
    EXPECT_EQ(accList(), kSampleRow);
}

TEST_F(Provisioning, PackAlreadyPresentIsReplaced)
{
    open()->execute("create database VQTCWPack");
    addMarker(kPack);
    install({kSample, kCatalogue, kPack});

    EXPECT_TRUE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();
    EXPECT_FALSE(hasTable(kPack, "T_TestMarker"));
}

// The catalogue backup may already list account sets: the sample row is
// added only when no row with KeyID 1 and DBName 'Sample' exists, and a
// failing insert changes nothing.
struct ListedCase {
    const char* name;
    const char* firstRow;   // values of the row with KeyID 1 in the backup
    Rows expected;
};

class ProvisioningListed : public Provisioning, public ::testing::WithParamInterface<ListedCase> {
protected:
    // A catalogue backup in the program folder made from the installed one
    // with one row added.
    void installCatalogueWith(const std::string& values)
    {
        auto c = open();
        const std::string folder = dir_.filePath("staging").toStdString();
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
        vqtest::restoreBackupAs(*c, vqtest::installedBackupFile("VQTCWAccList"), "Staging", folder + "/s.mdf",
                                folder + "/s.ldf");
        open("Staging")->execute(
            "insert into AccList(KeyID, DBName, AccName, DelFlag, ShareCount, LockFlag) values(" + values + ")");
        c->execute("backup database Staging to disk = '" + (program_ + "VQTCWAccList.mdk").toStdString() + "'");
        c->execute("drop database Staging");
    }
};

TEST_P(ProvisioningListed, NoSecondSampleRow)
{
    installCatalogueWith(GetParam().firstRow);
    install({kSample, kPack});
    EXPECT_TRUE(ProvisionDatabases(kPassword));
    dialogs_.verifyDone();
    EXPECT_EQ(databases(), (std::set<std::string>{kSample, kCatalogue, kPack}));
    EXPECT_EQ(accList(), GetParam().expected);
    EXPECT_EQ(link_->AccListDB.currentDatabase(), kCatalogue);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProvisioningListed,
    ::testing::Values(ListedCase{"SampleAlreadyListed", "1, 'Sample', '已有的例子账', 0, 0, 0",
                                 {{"1", "Sample", "已有的例子账", "0", "0", "0"}}},
                      ListedCase{"KeyOneTakenByAnother", "1, 'Other', '别的账套', 0, 0, 0",
                                 {{"1", "Other", "别的账套", "0", "0", "0"}}},
                      ListedCase{"SampleUnderAnotherKey", "7, 'Sample', '例子', 1, 0, 0",
                                 {{"1", "Sample", "财务例子账", "0", "0", "0"}, {"7", "Sample", "例子", "1", "0", "0"}}}),
    [](const ::testing::TestParamInfo<ListedCase>& info) { return std::string(info.param.name); });

TEST_F(Provisioning, ListedCatalogueThatCannotBeOpenedEndsTheStart)
{
    install({kSample, kCatalogue, kPack});
    ASSERT_TRUE(ProvisionDatabases(kPassword));
    startProgram();
    // The catalogue stays listed, but its data file is gone.
    const QString dataFile = QString::fromStdString(vqsql::instanceDataFolder(home_) + "/VQTCWAccList.mdf");
    ASSERT_TRUE(QFile::remove(dataFile));
    {
        vqsql::Connection probe;
        bool opened = true;
        try {
            probe.open(vqsql::ConnectionParams{".", kCatalogue, "sa", kPassword});
        } catch (const vqsql::SqlException&) {
            opened = false;
        }
        if (opened)
            GTEST_SKIP() << "the engine opens a database whose data file is gone";
    }
    dialogs_.expect(DialogKind::Info, kNotice, QStringLiteral("联接到账套集数据库失败，不能运行本软件。"));
    EXPECT_FALSE(ProvisionDatabases(kPassword));
    EXPECT_EQ(dialogs_.waitingTexts().size(), 1);
}
