// The main window as the operator uses it: the real buttons and tray
// actions, found by object name and clicked, with the scripted operator
// answering every box. The database server is the fixture's throwaway
// instance reached as the default instance (VQSQL_HOME); the program folder
// (VQTCWSrv.ini) is a temporary folder.
#include "connectionservice.h"
#include "instance.h"
#include "mwcwfun.h"
#include "program_fixture.h"
#include "programtesthelpers.h"
#include "srvaccmanage.h"
#include "srvmain.h"
#include "srvnewport.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace {

using vqtest::ScopedEnv;
using vqtest::waitUntil;

const QString kNotRunning = QStringLiteral("微软SQL Server数据库系统尚未启动，不能启动本服务器。");
const QString kPortQuestion = QStringLiteral(
    "服务器端口号更改后，客户端程序在登录时，相应的端口号都必须随着更改，并且要与新的服务器端口号保持一致，是否继续更改服务器端口号？");

// Acts on the modal dialog of type T while its exec() runs; rejects it
// afterwards if it is still open, so that a failing test cannot hang.
template <typename T>
void whileModal(std::function<void(T*)> action)
{
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr) << "the expected dialog is not open";
        action(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

class MainWindowTest : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        // The default instance is this test's: the running check sees it.
        home_.emplace("VQSQL_HOME", QByteArray::fromStdString(instance_));
        ASSERT_TRUE(programDir_.isValid());
        setProgramFolder(programDir_.path() + "/");
        form_ = std::make_unique<TSrvMainForm>();
        form_->service().setPort(0);
        form_->show();
    }

    void TearDown() override
    {
        clients_.clear();
        form_.reset();
        setProgramFolder(QString());
        home_.reset();
        ProgramFixture::TearDown();
    }

    template <typename W>
    W* find(const char* name) const
    {
        W* widget = form_->findChild<W*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* button(const char* name) const { return find<QPushButton>(name); }
    QString label(const char* name) const { return find<QLabel>(name)->text(); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    void trigger(const char* name)
    {
        QAction* action = form_->trayMenu()->findChild<QAction*>(QLatin1String(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }

    // A client connected to the listener, once the service has taken it in.
    QTcpSocket* connectClient()
    {
        const int before = form_->service().openConnections();
        clients_.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket* socket = clients_.back().get();
        socket->connectToHost(QHostAddress::LocalHost, form_->service().listeningPort());
        EXPECT_TRUE(waitUntil([&] { return form_->service().openConnections() > before; }));
        return socket;
    }

    // A login report of a client (an operator logged in on it).
    static void reportLogin(QTcpSocket* client)
    {
        QByteArray report;
        for (const char* field : {"2", "0", "0", "null", "001", "Books", "clerk", "null", "null"})
            report += QByteArray(field) + QByteArray("\x0A\x1A", 2);
        client->write(report);
    }

    // Types `entry` into the port dialog and clicks OK; true when the
    // dialog closed with it.
    static bool enterPort(TSrvNewPortForm* dialog, const QString& entry)
    {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("EditNewPort"));
        edit->clear();
        QTest::keyClicks(edit, entry);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btnOk")), Qt::LeftButton);
        return !dialog->isVisible() && dialog->result() == QDialog::Accepted;
    }

    QString serverIni() const { return programDir_.path() + "/VQTCWSrv.ini"; }

    std::optional<ScopedEnv> home_;
    QTemporaryDir programDir_;
    std::unique_ptr<TSrvMainForm> form_;
    std::vector<std::unique_ptr<QTcpSocket>> clients_;
};

TEST_F(MainWindowTest, EveryPartStandsAtItsSizeAndReadsWhole)
{
    EXPECT_EQ(form_->size(), QSize(426, 401));
    EXPECT_FALSE(form_->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form_->windowFlags() & Qt::WindowMinimizeButtonHint);

    const struct {
        const char* name;
        const char* text;
        int width;
    } buttons[] = {{"btnState", "启动(&R)", 100},      {"btnClients", "用户列表(&C)", 100},
                   {"btnDisconnAllUser", "断开所有用户", 100}, {"btnChangePort", "更改端口号", 100},
                   {"btnAccManage", "账套管理(&M)", 100}, {"btnLog", "登录日志(&L)", 100},
                   {"btnSQLVersion", "查看Microsoft SQL Server版本号", 221}};
    for (const auto& b : buttons) {
        QPushButton* w = button(b.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->text(), QString::fromUtf8(b.text)) << b.name;
        EXPECT_EQ(w->width(), b.width) << b.name;
        // Tall enough for its text, and inside the window.
        EXPECT_GE(w->height(), w->fontMetrics().height() + 4) << b.name;
        const QRect inWindow(w->mapTo(form_.get(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(form_->rect().contains(inWindow)) << b.name;
    }
    for (QGroupBox* group : form_->findChildren<QGroupBox*>()) {
        EXPECT_EQ(group->width(), 377) << group->title().toStdString();
        EXPECT_EQ(group->mapTo(form_.get(), QPoint(0, 0)).x(), 24) << group->title().toStdString();
    }
    EXPECT_EQ(form_->findChildren<QGroupBox*>().size(), 4);
    EXPECT_EQ(label("lbState"), "未启动");
    EXPECT_EQ(label("lbActiveCount"), "0");
    EXPECT_EQ(label("LabelPort"), "5971");
    EXPECT_EQ(label("Label4"), "服务器");
    EXPECT_EQ(label("LabelMainTitle"), ProductTitle() + "管理软件");
}

TEST_F(MainWindowTest, StateButtonStartsAndStopsTheService)
{
    const QString hint = ProductTitle() + QStringLiteral("管理软件-服务器");
    click("btnState");
    EXPECT_TRUE(form_->service().serviceStarted());
    EXPECT_EQ(label("lbState"), "已启动");
    EXPECT_TRUE(find<QLabel>("lbState")->styleSheet().remove(' ').contains("rgb(0,128,0)"));
    EXPECT_EQ(button("btnState")->text(), "停止(&R)");
    EXPECT_EQ(form_->trayHint(), hint);
    click("btnState");
    EXPECT_EQ(form_->service().serviceState(), TConnectionService::ServiceState::Stopped);
    EXPECT_EQ(label("lbState"), "停止");
    EXPECT_TRUE(find<QLabel>("lbState")->styleSheet().remove(' ').contains("rgb(255,0,0)"));
    EXPECT_EQ(button("btnState")->text(), "启动(&R)");
}

TEST_F(MainWindowTest, CountAndHintFollowTheLoginsAndDisconnectAllDropsThem)
{
    click("btnState");
    QTcpSocket* client = connectClient();
    reportLogin(client);
    ASSERT_TRUE(waitUntil([&] { return label("lbActiveCount") == "1"; }));
    EXPECT_EQ(form_->trayHint(), ProductTitle() + QStringLiteral("管理软件-服务器\u3000共有1个活动连接"));

    dialogs_.expect(DialogKind::YesNo, "询问", QStringLiteral("是否确认断开与所有客户端的联接？"), DialogAnswer::Yes);
    click("btnDisconnAllUser");
    EXPECT_TRUE(waitUntil([&] { return form_->service().openConnections() == 0; }));
    EXPECT_EQ(label("lbActiveCount"), "0");
    EXPECT_EQ(form_->trayHint(), ProductTitle() + QStringLiteral("管理软件-服务器"));
    EXPECT_TRUE(form_->service().serviceStarted()) << "the listener stays open";
}

TEST_F(MainWindowTest, StateButtonWithTheDatabaseServerStoppedOnlyShowsTheBox)
{
    vqsql::stopInstance(instance_);
    dialogs_.expect(DialogKind::Info, "提示", kNotRunning);
    click("btnState");
    EXPECT_EQ(form_->service().serviceState(), TConnectionService::ServiceState::NotStarted);
    EXPECT_EQ(label("lbState"), "未启动");
    // The tray's commands do not look: they start and stop all the same.
    trigger("StartAction");
    EXPECT_TRUE(form_->service().serviceStarted());
    trigger("PauseAction");
    EXPECT_EQ(label("lbState"), "停止");
    vqsql::startInstance(instance_);
}

TEST_F(MainWindowTest, TrayMenuHoldsItsCommandsInOrder)
{
    QStringList texts;
    for (QAction* action : form_->trayMenu()->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts, (QStringList{"显示窗口(&W)", "启动服务(&S)", "暂停服务(&P)", "-", "退出(&X)"}));
    form_->hide();
    trigger("ShowWindowAction");
    EXPECT_TRUE(form_->isVisible());
    form_->hide();
    form_->TrayIconClick();
    EXPECT_TRUE(form_->isVisible());
}

TEST_F(MainWindowTest, MinimisingWithoutATrayKeepsTheWindowOnTheTaskbar)
{
    ASSERT_FALSE(form_->trayIcon()->isVisible()) << "no tray exists off screen";
    form_->showMinimized();
    QTest::qWait(20);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(dialogs_.shown().empty()) << "nothing is said about it";
}

TEST_F(MainWindowTest, PortChangeIsRefusedWhileStarted)
{
    click("btnState");
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("请先停止服务后，再执行\"更改端口号\"。"));
    click("btnChangePort");
    EXPECT_FALSE(QFile::exists(serverIni()));
}

TEST_F(MainWindowTest, PortDialogRefusesWhatTheListenerCannotUseAndTakes65000)
{
    const struct {
        const char* entry;
        const char* refusal;
    } refused[] = {{"0", "端口号必须为正整数。"},   {"-5", "端口号必须为正整数。"},
                   {"abc", "端口号必须为正整数。"}, {"", "端口号必须为正整数。"},
                   {"65536", "端口号不能大于65535。"}, {"99999999999", "端口号不能大于65535。"}};
    for (const auto& r : refused)
        dialogs_.expect(DialogKind::Info, "提示", QString::fromUtf8(r.refusal));
    dialogs_.expect(DialogKind::YesNo, "询问", kPortQuestion, DialogAnswer::Yes);
    whileModal<TSrvNewPortForm>([&](TSrvNewPortForm* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "更改服务器端口号");
        EXPECT_EQ(dialog->size(), QSize(342, 149));
        EXPECT_TRUE(dialog->findChild<QLineEdit*>(QStringLiteral("EditNewPort"))->text().isEmpty());
        for (const auto& r : refused)
            EXPECT_FALSE(enterPort(dialog, QString::fromUtf8(r.entry))) << r.entry << " was taken";
        EXPECT_TRUE(enterPort(dialog, "65000"));
    });
    click("btnChangePort");
    EXPECT_EQ(form_->service().port(), 65000);
    EXPECT_EQ(label("LabelPort"), "65000");
    EXPECT_EQ(vqtest::fileBytes(serverIni()), QByteArray("[ServerInfo]\r\nServerPort=65000\r\n"));
    EXPECT_FALSE(form_->service().serviceStarted()) << "the service stays stopped";
}

TEST_F(MainWindowTest, PortChangeAnsweredNoOrCancelledChangesNothing)
{
    dialogs_.expect(DialogKind::YesNo, "询问", kPortQuestion, DialogAnswer::No);
    whileModal<TSrvNewPortForm>([&](TSrvNewPortForm* dialog) { EXPECT_TRUE(enterPort(dialog, "6001")); });
    click("btnChangePort");
    whileModal<TSrvNewPortForm>([](TSrvNewPortForm* dialog) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
    });
    click("btnChangePort");
    whileModal<TSrvNewPortForm>([](TSrvNewPortForm* dialog) {
        QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("EditNewPort")), "6002");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    click("btnChangePort");
    EXPECT_EQ(form_->service().port(), 0);
    EXPECT_EQ(label("LabelPort"), "5971");
    EXPECT_FALSE(QFile::exists(serverIni()));
}

TEST_F(MainWindowTest, VersionButtonShowsTheDatabaseServersVersion)
{
    const SqlServerVersion version = GetSqlServerVersion(link_->AccListDB);
    ASSERT_EQ(version.major, 10);
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("当前安装的SQL Server 2008(或Express)版本为：") + version.text);
    click("btnSQLVersion");
}

TEST(VersionText, ServicePackFourHintFollowsTheCharacterComparison)
{
    const QString v8 = QStringLiteral("当前安装的SQL Server 2000(或MSDE)版本为：");
    const QString hint = QStringLiteral("\r\n\r\n{提示：您的SQL Server 2000(或MSDE)未安装SP4补丁}");
    const struct {
        const char* version;
        bool withHint;
    } cases[] = {{"8.00.2039", false}, {"8.00.2040", false}, {"8.00.9999", false}, {"8.00.760", true},
                 {"8.00.2038", true},  {"8.00.1000", true},  {"8.00.20390", true}, {"", true}};
    for (const auto& c : cases) {
        const QString version = QString::fromUtf8(c.version);
        EXPECT_EQ(SqlServerVersionText(8, version), v8 + version + (c.withHint ? hint : QString())) << c.version;
    }
    EXPECT_EQ(SqlServerVersionText(9, "9.00.1399"), QStringLiteral("当前安装的SQL Server 2005(或Express)版本为：9.00.1399"));
    EXPECT_EQ(SqlServerVersionText(10, "10.0.1600"), QStringLiteral("当前安装的SQL Server 2008(或Express)版本为：10.0.1600"));
    EXPECT_EQ(SqlServerVersionText(0, "x"), std::nullopt);
    EXPECT_EQ(SqlServerVersionText(11, "11.0"), std::nullopt);
}

TEST_F(MainWindowTest, AccountSetManagerIsRefusedWhileStarted)
{
    click("btnState");
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("请先停止服务后，再执行\"账套管理\"。"));
    click("btnAccManage");
}

TEST_F(MainWindowTest, AccountSetManagerOpensModallyWhileStoppedAndExitReturns)
{
    bool opened = false;
    whileModal<TSrvAccManageForm>([&](TSrvAccManageForm* manager) {
        opened = true;
        EXPECT_EQ(manager->windowTitle(), "账套管理");
        EXPECT_TRUE(manager->isModal());
        EXPECT_EQ(manager->parentWidget(), form_.get()) << "owned by the main window";
        auto* exit = manager->findChild<QPushButton*>(QStringLiteral("btnExit"));
        ASSERT_NE(exit, nullptr);
        EXPECT_EQ(exit->text(), "退出(&X)");
        QTest::mouseClick(exit, Qt::LeftButton);
        EXPECT_FALSE(manager->isVisible());
    });
    click("btnAccManage");
    EXPECT_TRUE(opened);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(form_->findChildren<TSrvAccManageForm*>().isEmpty()) << "freed when it closes";
    EXPECT_EQ(form_->service().serviceState(), TConnectionService::ServiceState::NotStarted);
}

TEST_F(MainWindowTest, ClosingWithALoggedInClientIsRefused)
{
    click("btnState");
    QTcpSocket* client = connectClient();
    reportLogin(client);
    ASSERT_TRUE(waitUntil([&] { return form_->service().activeCount() == 1; }));
    dialogs_.expect(DialogKind::Info, "提示", QStringLiteral("当前服务器共有1个活动连接，请先断开所有用户连接后再退出。"));
    QSignalSpy closed(form_.get(), &TSrvMainForm::closedForGood);
    EXPECT_FALSE(form_->close());
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->service().serviceStarted());
    EXPECT_EQ(closed.count(), 0);
}

TEST_F(MainWindowTest, ClosingAskedNoStaysAndYesStopsAndClosesTheOpenRows)
{
    click("btnState");
    // A client that never reported a login: the count stays 0.
    QTcpSocket* client = connectClient();
    link_->AccListDB.execute("insert into T_ClientLog(KeyID, MashineIP, ConnectPort, LoginTime, Closed) "
                             "values (1, '10.0.0.9', 4000, GetDate(), 0)");
    const QString question = QStringLiteral("确定退出《") + ProductTitle() + QStringLiteral("服务器》吗？");
    QSignalSpy closed(form_.get(), &TSrvMainForm::closedForGood);

    dialogs_.expect(DialogKind::YesNo, "询问", question, DialogAnswer::No);
    trigger("ExitAction");
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(form_->service().serviceStarted());

    dialogs_.expect(DialogKind::YesNo, "询问", question, DialogAnswer::Yes);
    EXPECT_TRUE(form_->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(form_->service().serviceStarted());
    EXPECT_EQ(catalogueRows("select count(*) from T_ClientLog where Closed=0")[0][0], "0");
    EXPECT_TRUE(waitUntil([&] { return client->state() == QAbstractSocket::UnconnectedState; }))
        << "the client's connection is dropped with the listener";
}

}  // namespace
