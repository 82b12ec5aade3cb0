// Start-up in this process: the main window's creation, the start-up timer
// waiting for the database server, PrepareDatabases with the sa password
// prompt and VQTCWC.ini, the port file, and the whole path from the first
// tick to a listening service that answers a client. The database server
// is a fresh engine instance reached as the default instance (".") through
// VQSQL_HOME; the program folder is a temporary directory holding copies
// of the installed backups.
#include "inifile.h"
#include "instance.h"
#include "linkdm.h"
#include "mwcwfun.h"
#include "mwsocket.h"
#include "mwsrvpub.h"
#include "scriptedoperator.h"
#include "connectionservice.h"
#include "srvmain.h"

#include "programtesthelpers.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace {

const QString kNotice = QStringLiteral("提示");
const QString kPasswordCaption = QStringLiteral("请输入SQL Server数据库的sa口令");
const QString kPasswordPrompt = QStringLiteral("请输入SQL Server数据库的sa口令：");
const QString kConnectFailed =
    QStringLiteral("联接到SQL Server数据库失败，请检查SQL Server数据库是否启动，或者您输入的sa口令是否正确。");
const QString kNotInstalled = QStringLiteral("本机尚未安装微软SQL Server 2000或其免费版本MSDE 2000数据库系统，\r\n"
                                             "请先安装SQLServer数据库，安装成功再运行本软件。");
const QString kNotRunning = QStringLiteral("\u3000\u3000您在安装微软SQL Server 2000或其免费版本MSDE 2000数据库系\r\n"
                                           "统后，可能尚未重新启动过Windows系统，SQL Server仍处于尚未运\r\n"
                                           "行状态，请重新启动系统后，再试一次。\r\n"
                                           "\r\n"
                                           "提示：在屏幕右下角的系统托盘中有一个小图标，图标象小机箱，其\r\n"
                                           "右下方是个圆，圆中间为绿色三角形就代表SQL Server正在运行，没\r\n"
                                           "有该图标，或图标的圆中间为红色小方块就代表尚未运行。");
const QString kWaiting = QStringLiteral("正在为第一次运行本软件创建数据库，请稍候......");

using vqtest::ScopedEnv;
using vqtest::waitUntil;
using vqtest::fileBytes;
using vqtest::writeBytes;

// Something other than the engine already holds TCP port 1433: the
// presence checks would answer "running" whatever the instance does.
bool port1433Taken()
{
    return IsPortInUse(1433);
}

}  // namespace

class Startup : public vqtest::ThrowawayInstallation {
protected:
    static constexpr const char* kPassword = "right";

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(createInstallation(kPassword));
        for (const char* name : {"VQTCW_Sample", "VQTCWAccList", "VQTCWPack"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(VQ_PROGRAM_DIR "/") + name + ".mdk", program_ + name + ".mdk"));
        newStart();
    }

    void TearDown() override
    {
        form_.reset();
        dialogs_.verifyDone();
        LinkData = nullptr;
        link_.reset();
        releaseInstallation();
    }

    // A new start of the program: its main window and its data module.
    void newStart()
    {
        form_.reset();
        LinkData = nullptr;
        link_ = std::make_unique<TLinkData>();
        form_ = std::make_unique<TSrvMainForm>();
        LinkData = link_.get();
    }

    QString clientIni() const { return program_ + "VQTCWC.ini"; }

    std::unique_ptr<vqsql::Connection> openCatalogue()
    {
        auto c = std::make_unique<vqsql::Connection>();
        c->open(vqsql::ConnectionParams{home_, "VQTCWAccList", "sa", kPassword});
        return c;
    }

    bool catalogueExists()
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{home_, "master", "sa", kPassword});
        return !c.query("select name from master..sysdatabases where name = 'VQTCWAccList'").rows.empty();
    }

    QString label(const char* name) { return form_->findChild<QLabel*>(name)->text(); }

    std::unique_ptr<TLinkData> link_;
    std::unique_ptr<TSrvMainForm> form_;
    ScriptedOperator dialogs_;
};

// ---- the main window's creation ------------------------------------------------

TEST_F(Startup, FormCreateSetsTheTitlesAndStartsTheTimerWithoutTheDatabase)
{
    const QString oldDisplayName = QApplication::applicationDisplayName();
    LinkData = nullptr;   // the data module does not exist yet at that moment
    form_->FormCreate();
    const QString title = ProductTitle();
    EXPECT_EQ(label("LabelMainTitle").toStdString(), (title + "管理软件").toStdString());
    EXPECT_EQ(form_->windowTitle().toStdString(), (title + "管理软件-服务器<版本：V3.1.860>").toStdString());
    EXPECT_EQ(QApplication::applicationDisplayName().toStdString(), (title + "-服务器").toStdString());
    EXPECT_TRUE(form_->timer()->isActive());
    EXPECT_EQ(form_->timer()->interval(), 1000);
    EXPECT_EQ(label("lbActiveCount").toStdString(), "0");
    EXPECT_EQ(form_->trayHint().toStdString(), (title + "管理软件-服务器").toStdString());
    EXPECT_FALSE(form_->service().serviceStarted());
    form_->timer()->stop();
    QApplication::setApplicationDisplayName(oldDisplayName);
}

// ---- PrepareDatabases: the sa password ---------------------------------------

TEST_F(Startup, PromptsUntilTheRightPasswordAndRemembersIt)
{
    ASSERT_FALSE(QFile::exists(clientIni()));
    dialogs_.expect(DialogKind::Password, kPasswordCaption, kPasswordPrompt, DialogAnswer::Ok, QStringLiteral("wrong"));
    dialogs_.expect(DialogKind::Info, kNotice, kConnectFailed);
    dialogs_.expect(DialogKind::Password, kPasswordCaption, kPasswordPrompt, DialogAnswer::Ok, QStringLiteral("right"));

    EXPECT_TRUE(form_->PrepareDatabases());
    dialogs_.verifyDone();
    EXPECT_EQ(fileBytes(clientIni()).toStdString(), "[LoginInfo]\r\nSAPassword=right\r\n");
    EXPECT_EQ(link_->rememberedPassword().toStdString(), "right");
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
    EXPECT_EQ(dialogs_.waitingTexts(), QStringList{kWaiting});   // the first run went on

    // The next start reads the password from the file and asks nothing.
    newStart();
    EXPECT_TRUE(form_->PrepareDatabases());
    EXPECT_EQ(link_->rememberedPassword().toStdString(), "right");
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
    EXPECT_EQ(dialogs_.waitingTexts().size(), 1);
}

TEST_F(Startup, ACatalogueWithoutTheLoginLogIndexGetsItAtTheNextStart)
{
    vqsql::changeSaPassword(home_, kPassword, "");
    ASSERT_TRUE(form_->PrepareDatabases());
    link_->AccListDB.execute("drop index T_ClientLog.IX_T_CLIENTLOG_CLOSED");
    link_->AccListDB.execute("insert into T_ClientLog(KeyID, Closed) values (7, 1)");

    newStart();
    EXPECT_TRUE(form_->PrepareDatabases());
    // Made again, and made once: a second index of that name is refused.
    const vqsql::BatchResult again =
        link_->AccListDB.run("create index IX_T_CLIENTLOG_CLOSED on T_ClientLog(Closed, KeyID)");
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.errors.front().number, 1913);
    EXPECT_EQ(link_->AccListDB.query("select count(*) from T_ClientLog").rows[0][0].toString(), "1");
}

TEST_F(Startup, StalePasswordInTheFileIsReplacedAndTheRestKept)
{
    writeBytes(clientIni(), "[LoginInfo]\r\nUserName=sa\r\nSAPassword=stale\r\n[Other]\r\nKey=1\r\n");
    dialogs_.expect(DialogKind::Password, kPasswordCaption, kPasswordPrompt, DialogAnswer::Ok, QStringLiteral("right"));
    EXPECT_TRUE(form_->PrepareDatabases());
    dialogs_.verifyDone();
    EXPECT_EQ(fileBytes(clientIni()).toStdString(),
              "[LoginInfo]\r\nUserName=sa\r\nSAPassword=right\r\n[Other]\r\nKey=1\r\n");
}

TEST_F(Startup, EmptyUnchangedPasswordNeedsNoPromptAndNoFile)
{
    vqsql::changeSaPassword(home_, kPassword, "");
    EXPECT_TRUE(form_->PrepareDatabases());
    dialogs_.verifyDone();
    EXPECT_FALSE(QFile::exists(clientIni()));
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
}

TEST_F(Startup, CancelledPromptFailsBeforeProvisioning)
{
    dialogs_.expect(DialogKind::Password, kPasswordCaption, kPasswordPrompt, DialogAnswer::Cancel, std::nullopt);
    EXPECT_FALSE(form_->PrepareDatabases());
    dialogs_.verifyDone();
    EXPECT_FALSE(QFile::exists(clientIni()));
    EXPECT_FALSE(catalogueExists());
    EXPECT_TRUE(dialogs_.waitingTexts().isEmpty());
}

TEST_F(Startup, CancelledPromptEndsTheProgramWithoutListening)
{
    form_->FormCreate();
    dialogs_.expect(DialogKind::Password, kPasswordCaption, kPasswordPrompt, DialogAnswer::Cancel, std::nullopt);
    form_->TimerServerTimer();
    dialogs_.verifyDone();
    EXPECT_FALSE(form_->timer()->isActive()) << "the timer must stay off";
    EXPECT_EQ(form_->service().serviceState(), TConnectionService::ServiceState::NotStarted);
    EXPECT_FALSE(catalogueExists());

    // The program ends: the event loop is told to leave with code 0. The
    // guard ends a loop that nobody told to leave.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    guard.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    guard.stop();
    EXPECT_FALSE(form_->service().serviceStarted());
}

// The database server is not there when the first connection fails: a box
// and the end of start-up, without a prompt.
struct AbsentServerCase {
    const char* name;
    bool installed;
    QString box;
};

class StartupAbsentServer : public Startup, public ::testing::WithParamInterface<AbsentServerCase> {};

TEST_P(StartupAbsentServer, ShowsItsBoxAndFails)
{
    if (port1433Taken())
        GTEST_SKIP() << "TCP port 1433 is in use on this machine";
    std::optional<ScopedEnv> elsewhere;
    if (GetParam().installed)
        vqsql::stopInstance(home_);
    else
        elsewhere.emplace("VQSQL_HOME", dir_.filePath("no-instance").toUtf8());
    dialogs_.expect(DialogKind::Info, kNotice, GetParam().box);
    EXPECT_FALSE(form_->PrepareDatabases());
    dialogs_.verifyDone();
    EXPECT_FALSE(QFile::exists(clientIni()));
}

INSTANTIATE_TEST_SUITE_P(Cases, StartupAbsentServer,
                         ::testing::Values(AbsentServerCase{"NotInstalled", false, kNotInstalled},
                                           AbsentServerCase{"InstalledButStopped", true, kNotRunning}),
                         [](const ::testing::TestParamInfo<AbsentServerCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- presence checks of the default instance ------------------------------------

TEST_F(Startup, PresenceFollowsTheDefaultInstance)
{
    if (port1433Taken())
        GTEST_SKIP() << "TCP port 1433 is in use on this machine";
    EXPECT_TRUE(IsSqlServerInstalled());
    EXPECT_TRUE(IsSqlServerRunning());
    EXPECT_EQ(GetSqlServerInstallPath().toStdString(), home_);

    vqsql::stopInstance(home_);
    EXPECT_TRUE(IsSqlServerInstalled());
    EXPECT_FALSE(IsSqlServerRunning());

    {
        ScopedEnv elsewhere("VQSQL_HOME", dir_.filePath("no-instance").toUtf8());
        EXPECT_FALSE(IsSqlServerInstalled());
        EXPECT_FALSE(IsSqlServerRunning());
        EXPECT_EQ(GetSqlServerInstallPath().toStdString(), "");

        // Anything listening on 1433 counts as a running SQL Server.
        QTcpServer sqlPort;
        if (sqlPort.listen(QHostAddress::AnyIPv4, 1433)) {
            EXPECT_TRUE(IsSqlServerRunning());
            EXPECT_TRUE(IsSqlServerInstalled());
            sqlPort.close();
        }
    }
    dialogs_.verifyDone();
}

// ---- the port file ---------------------------------------------------------------

TEST_F(Startup, PortFileAndItsDefault)
{
    const QString ini = program_ + "VQTCWSrv.ini";
    EXPECT_EQ(GetServerIniPath().toStdString(), ini.toStdString());
    EXPECT_EQ(ReadServerPort(), 5971);
    EXPECT_FALSE(QFile::exists(ini)) << "reading must not create the file";
    EXPECT_EQ(label("LabelPort").toStdString(), "5971");

    const struct {
        const char* content;
        int port;
    } cases[] = {
        {"[ServerInfo]\r\nServerPort=6010\r\n", 6010},
        {"[serverinfo]\r\nSERVERPORT=6011\r\n", 6011},
        {"[ServerInfo]\r\nServerPort=abc\r\n", 5971},
        {"[ServerInfo]\r\nServerPort=\r\n", 5971},
        {"[Other]\r\nServerPort=6012\r\n", 5971},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        writeBytes(ini, c.content);
        EXPECT_EQ(ReadServerPort(), c.port);
    }

    // Writing the port keeps the rest of the file.
    writeBytes(ini, "[Other]\r\nKey=1\r\n");
    ASSERT_TRUE(WriteServerPort(6020));
    EXPECT_EQ(ReadServerPort(), 6020);
    EXPECT_EQ(readIniString(ini, "Other", "Key").toStdString(), "1");
}

// ---- the whole start-up -----------------------------------------------------------

TEST_F(Startup, WaitsForTheServerThenProvisionsAndListens)
{
    if (port1433Taken())
        GTEST_SKIP() << "TCP port 1433 is in use on this machine";
    writeBytes(program_ + "VQTCWSrv.ini", "[ServerInfo]\r\nServerPort=0\r\n");
    writeBytes(clientIni(), "[LoginInfo]\r\nSAPassword=right\r\n");
    vqsql::stopInstance(home_);

    form_->FormCreate();
    ASSERT_EQ(form_->timer()->interval(), 1000);
    // While the server is down each tick only lengthens the wait.
    for (int expected : {1500, 2000, 2000}) {
        form_->TimerServerTimer();
        EXPECT_EQ(form_->timer()->interval(), expected);
        EXPECT_TRUE(form_->timer()->isActive());
    }
    EXPECT_EQ(form_->service().serviceState(), TConnectionService::ServiceState::NotStarted);
    EXPECT_TRUE(dialogs_.shown().empty());

    // The server comes up: the timer's next tick does the rest by itself.
    vqsql::startInstance(home_);
    ASSERT_TRUE(waitUntil([&] { return form_->service().serviceStarted(); }, 15000)) << "the service did not start";
    dialogs_.verifyDone();
    EXPECT_TRUE(dialogs_.shown().empty()) << "start-up must show nothing";
    EXPECT_EQ(dialogs_.waitingTexts(), QStringList{kWaiting});
    EXPECT_EQ(form_->timer()->interval(), 30000);
    EXPECT_TRUE(form_->timer()->isActive());
    EXPECT_EQ(form_->service().port(), 0);
    EXPECT_EQ(label("LabelPort").toStdString(), "0");
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
    ASSERT_NE(form_->service().listeningPort(), 0);

    // The administrator password cache was brought up to date.
    vqsql::ResultSet cached =
        openCatalogue()->query("select TxtValue from T_Options where Name = 'VQTCW_Sample'");
    EXPECT_EQ(cached.rows.size(), 1u);

    // A client's handshake is answered with the sa password.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, form_->service().listeningPort());
    ASSERT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }, 5000));
    QByteArray request;
    for (const char* field : {"1", "0", "0", "null", "host", "b", "c", "d", "e"})
        request += QByteArray(field) + kFieldSeparator;
    client.write(request);
    QByteArray answer;
    ASSERT_TRUE(waitUntil(
        [&] {
            answer += client.readAll();
            return answer.count(kFieldSeparator) >= 9;
        },
        5000))
        << answer.toStdString();
    QList<QByteArray> fields;
    for (qsizetype at; (at = answer.indexOf(kFieldSeparator)) >= 0; answer.remove(0, at + kFieldSeparator.size()))
        fields.append(answer.left(at));
    ASSERT_EQ(fields.size(), 9);
    EXPECT_EQ(fields[0].toStdString(), "1");
    EXPECT_EQ(fields[1].toStdString(), "1");
    EXPECT_EQ(fields[2].toStdString(), "0");
    EXPECT_EQ(fields[3].toStdString(), "right");
    EXPECT_EQ(fields[4].toStdString(), "host");

    // Later ticks only reconcile the count.
    form_->TimerServerTimer();
    EXPECT_TRUE(form_->service().serviceStarted());
    EXPECT_EQ(form_->timer()->interval(), 30000);
    client.disconnectFromHost();
    dialogs_.verifyDone();
}

TEST_F(Startup, EveryStartBringsAnOlderTemplatePackUpToDate)
{
    writeBytes(program_ + "VQTCWSrv.ini", "[ServerInfo]\r\nServerPort=0\r\n");
    writeBytes(clientIni(), "[LoginInfo]\r\nSAPassword=right\r\n");
    auto versions = [&] {
        std::vector<std::string> out;
        for (const auto& row : openCatalogue()->query("select Version from DBVersion order by KeyID").rows)
            out.push_back(row.at(0).toString());
        return out;
    };

    // The first start: the installed catalogue records the shipped pack,
    // so the pack is restored once only.
    form_->FormCreate();
    form_->TimerServerTimer();
    ASSERT_TRUE(form_->service().serviceStarted());
    EXPECT_EQ(versions(), std::vector<std::string>{"PKV121224"});

    // An installation that records no pack version has an older pack.
    openCatalogue()->execute("delete from DBVersion");
    {
        vqsql::Connection pack;
        pack.open(vqsql::ConnectionParams{home_, "VQTCWPack", "sa", kPassword});
        pack.execute("create table T_TestMarker(a int)");
    }

    newStart();
    form_->FormCreate();
    form_->TimerServerTimer();
    ASSERT_TRUE(form_->service().serviceStarted());
    dialogs_.verifyDone();
    EXPECT_EQ(versions(), std::vector<std::string>{"PKV121224"}) << "the start-up must record the upgraded pack";
    vqsql::Connection pack;
    pack.open(vqsql::ConnectionParams{home_, "VQTCWPack", "sa", kPassword});
    EXPECT_TRUE(pack.query("select name from sysobjects where name = 'T_TestMarker'").rows.empty())
        << "the start-up must replace the older template pack";
    EXPECT_EQ(link_->AccListDB.currentDatabase(), "VQTCWAccList");
}
