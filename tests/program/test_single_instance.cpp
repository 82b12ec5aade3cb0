// The single-instance rule: a later start hands over to the running one
// and ends. In this process on local sockets of the test's own, then with
// two real processes of the program on the name it really uses.
#include "singleinstance.h"
#include "srvmain.h"

#include "programtesthelpers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <functional>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using vqtest::waitUntil;

// True when something accepts connections on the local socket name.
bool someoneListens(const QString& name)
{
    QLocalSocket probe;
    probe.connectToServer(name);
    const bool connected = probe.waitForConnected(500);
    probe.abort();
    return connected;
}

// A socket file as a crashed instance leaves it: bound, never unlinked.
bool leaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= static_cast<qsizetype>(sizeof address.sun_path)) {
        ::close(fd);
        return false;
    }
    std::memcpy(address.sun_path, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

}  // namespace

class SingleInstanceLocal : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString name() const { return dir_.filePath("srv.sock"); }
    QTemporaryDir dir_;
};

TEST_F(SingleInstanceLocal, NobodyToHandOverTo)
{
    TSingleInstance later(name());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(later.handOverToRunningInstance());
    EXPECT_LT(clock.elapsed(), 1500);
}

TEST_F(SingleInstanceLocal, LaterStartIsHandedOverAndShowsTheFirst)
{
    TSingleInstance first(name());
    int shown = 0;
    ASSERT_TRUE(first.listen([&shown] { ++shown; }));

    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        TSingleInstance later(name());
        EXPECT_TRUE(later.handOverToRunningInstance());
        EXPECT_TRUE(waitUntil([&] { return shown == start; }, 3000)) << "shown " << shown << " times";
    }
    QTest::qWait(50);
    EXPECT_EQ(shown, 2);
}

TEST_F(SingleInstanceLocal, SocketLeftByACrashedInstanceDoesNotBlockTheName)
{
    ASSERT_TRUE(leaveStaleSocket(name()));
    ASSERT_TRUE(QFile::exists(name()));
    TSingleInstance later(name());
    EXPECT_FALSE(later.handOverToRunningInstance()) << "nobody listens behind a stale socket";

    TSingleInstance first(name());
    int shown = 0;
    ASSERT_TRUE(first.listen([&shown] { ++shown; }));
    EXPECT_TRUE(later.handOverToRunningInstance());
    EXPECT_TRUE(waitUntil([&] { return shown == 1; }, 3000));
}

TEST_F(SingleInstanceLocal, OtherMessagesDoNotShowTheWindow)
{
    TSingleInstance first(name());
    int shown = 0;
    ASSERT_TRUE(first.listen([&shown] { ++shown; }));
    QLocalSocket stranger;
    stranger.connectToServer(name());
    ASSERT_TRUE(stranger.waitForConnected(1000));
    stranger.write("hello\n");
    stranger.waitForBytesWritten(1000);
    QTest::qWait(200);
    stranger.disconnectFromServer();
    QTest::qWait(100);
    EXPECT_EQ(shown, 0);
}

TEST_F(SingleInstanceLocal, HandOverBringsBackAWindowHiddenInTheTray)
{
    TSrvMainForm form;
    TSingleInstance first(name());
    ASSERT_TRUE(first.listen([&form] { form.bringToFront(); }));

    form.hide();   // minimised to the tray
    TSingleInstance later(name());
    ASSERT_TRUE(later.handOverToRunningInstance());
    EXPECT_TRUE(waitUntil([&] { return form.isVisible(); }, 3000));

    form.showMinimized();
    ASSERT_TRUE(later.handOverToRunningInstance());
    EXPECT_TRUE(waitUntil([&] { return !form.isMinimized(); }, 3000));
    EXPECT_TRUE(form.isVisible());
}

// Two real processes of the program. The first finds no database server
// (VQSQL_HOME names an empty folder) and just waits for one; the second
// must end at once with code 0 and leave the first running.
TEST(SingleInstanceProcesses, SecondStartEndsAndTheFirstGoesOn)
{
    const QString name = QStringLiteral("VQTCWServer");
    if (someoneListens(name))
        GTEST_SKIP() << "a server program is already running for this user";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString home = dir.filePath("no-instance");
    ASSERT_TRUE(QDir().mkpath(home));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VQSQL_HOME", home);

    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(QStringLiteral(VQTCWSRV_BINARY), {});
    ASSERT_TRUE(first.waitForStarted(5000));
    struct Killer {
        QProcess& p;
        ~Killer()
        {
            if (p.state() != QProcess::NotRunning) {
                p.kill();
                p.waitForFinished(5000);
            }
        }
    } killer{first};

    ASSERT_TRUE(waitUntil([&] { return first.state() != QProcess::Running || someoneListens(name); }, 10000))
        << "the first instance did not take the name";
    ASSERT_EQ(first.state(), QProcess::Running) << "the first instance ended: " << first.exitCode();

    QProcess second;
    second.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    second.start(QStringLiteral(VQTCWSRV_BINARY), {});
    ASSERT_TRUE(second.waitForStarted(5000));
    ASSERT_TRUE(second.waitForFinished(10000)) << "the second instance did not end";
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    QTest::qWait(300);
    EXPECT_EQ(first.state(), QProcess::Running) << "the first instance must go on";
    EXPECT_TRUE(someoneListens(name));
    // Waiting for a database server touches nothing.
    EXPECT_TRUE(QDir(home).isEmpty());

    first.kill();
    EXPECT_TRUE(first.waitForFinished(5000));
    // The killed process left its socket file; nobody else took the name meanwhile.
    if (!someoneListens(name))
        QLocalServer::removeServer(name);
}
