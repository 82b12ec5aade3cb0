// The connection service against hostile and broken clients, with real
// sockets: boxes that never pile up however many malformed messages come,
// records that arrive in pieces, a huge message whose client goes away,
// and running out of file descriptors.
#include "connectionservice.h"
#include "mwsocket.h"
#include "program_fixture.h"
#include "programtesthelpers.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

namespace {

using vqtest::waitUntil;

QByteArray record(const QList<QByteArray>& fields)
{
    QByteArray out;
    for (const QByteArray& f : fields)
        out += f + kFieldSeparator;
    return out;
}

// An operator who leaves every box open a while before closing it, as a
// person does, and notes how deeply boxes were ever nested.
class SlowOperator : public SilentOperator {
public:
    explicit SlowOperator(int holdMs) : holdMs_(holdMs) {}
    void showInfo(const QString& text, const QString& caption) override
    {
        texts << caption + QLatin1Char(':') + text;
        ++depth_;
        deepest = std::max(deepest, depth_);
        QEventLoop loop;
        QTimer::singleShot(holdMs_, &loop, &QEventLoop::quit);
        loop.exec();
        --depth_;
    }
    void showError(const QString& text, const QString& caption) override { showInfo(text, caption); }
    QStringList texts;
    int deepest = 0;

private:
    int holdMs_;
    int depth_ = 0;
};

class HostileClients : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        service_ = std::make_unique<TConnectionService>();
        service_->setPort(0);
        service_->SetServiceActive(true);
        ASSERT_TRUE(service_->serviceStarted());
    }
    void TearDown() override
    {
        clients_.clear();
        service_.reset();
        setOperatorDialogs(&dialogs_);
        ProgramFixture::TearDown();
    }

    QTcpSocket* connectClient()
    {
        clients_.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket* socket = clients_.back().get();
        const int before = service_->openConnections();
        socket->connectToHost(QHostAddress::LocalHost, service_->listeningPort());
        EXPECT_TRUE(waitUntil([&] {
            return socket->state() == QAbstractSocket::ConnectedState && service_->openConnections() > before;
        }));
        return socket;
    }

    // The nine fields of the answer to a handshake, read as they arrive.
    QByteArray answerOn(QTcpSocket* client, int timeoutMs = 5000)
    {
        QByteArray text;
        waitUntil(
            [&] {
                text += client->readAll();
                return text.count(kFieldSeparator) >= 9;
            },
            timeoutMs);
        return text;
    }

    long long openRows()
    {
        return std::stoll(catalogueRows("select count(*) from T_ClientLog where Closed=0")[0][0]);
    }

    std::unique_ptr<TConnectionService> service_;
    std::vector<std::unique_ptr<QTcpSocket>> clients_;
};

const QByteArray kHandshake = record({"1", "0", "0", "null", "a", "b", "c", "d", "e"});

TEST_F(HostileClients, HundredsOfMalformedMessagesOpenOneBoxAtATime)
{
    SlowOperator slow(300);
    setOperatorDialogs(&slow);
    // Short handshakes and reports that stay short: each is told once its
    // rest has failed to come; every client still gets its answer.
    std::vector<QTcpSocket*> senders;
    for (int i = 0; i < 300; ++i) {
        QTcpSocket* client = connectClient();
        client->write(i % 2 ? QByteArray("1") + kFieldSeparator + "0" : QByteArray("2") + kFieldSeparator);
        senders.push_back(client);
    }
    ASSERT_TRUE(waitUntil([&] { return !slow.texts.isEmpty(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return openRows() == 150; }, 10000)) << "each short report leaves its row";
    int answered = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            answered = 0;
            for (int i = 1; i < 300; i += 2)
                answered += senders[static_cast<std::size_t>(i)]->bytesAvailable() > 0;
            return answered == 150;
        },
        10000));
    // A correct handshake is answered at once while a box is open.
    QTcpSocket* good = connectClient();
    good->write(kHandshake);
    EXPECT_EQ(answerOn(good, 2000).count(kFieldSeparator), 9);

    waitUntil([] { return false; }, 1200);   // the boxes close
    EXPECT_EQ(slow.deepest, 1) << "boxes nested";
    // A few boxes told all 300: one each, or the count of those that came
    // while the box before was open.
    EXPECT_LE(slow.texts.size(), 20) << slow.texts.join('\n').toStdString();
    int told = 0;
    for (const QString& text : slow.texts) {
        EXPECT_TRUE(text.startsWith("内部错:接收的信息不正确！")) << text.toStdString();
        const qsizetype at = text.indexOf("共收到");
        told += at < 0 ? 1 : text.mid(at + 3).section("条", 0, 0).toInt();
    }
    EXPECT_EQ(told, 300);

    clients_.clear();
    EXPECT_TRUE(waitUntil([&] { return service_->openConnections() == 0 && openRows() == 0; }, 5000));
}

TEST_F(HostileClients, ConnectionsAreServedAndFreedWhileABoxIsOpen)
{
    SlowOperator slow(4000);
    setOperatorDialogs(&slow);
    // A handshake that grows past what a record may hold: the box.
    QTcpSocket* hostile = connectClient();
    hostile->write(QByteArray("1") + kFieldSeparator + QByteArray(70 * 1024, 'x'));
    ASSERT_TRUE(waitUntil([&] { return !slow.texts.isEmpty(); }, 5000));

    // While the operator has not closed it, clients come and go.
    int answered = 0;
    for (int i = 0; i < 200; ++i) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, service_->listeningPort());
        client.write(kHandshake);
        answered += answerOn(&client, 2000).count(kFieldSeparator) >= 9;
        client.disconnectFromHost();
    }
    EXPECT_EQ(answered, 200);
    EXPECT_TRUE(waitUntil([&] { return service_->openConnections() == 1; }, 2000));
    waitUntil([] { return false; }, 50);
    EXPECT_LE(service_->findChildren<QTcpSocket*>().size(), 5) << "sockets kept until the box closes";
    EXPECT_EQ(slow.texts.size(), 1);
}

TEST_F(HostileClients, ASlowClientsHandshakeIsAnsweredOnceComplete)
{
    QTcpSocket* slow = connectClient();
    const QByteArray whole = record({"1", "0", "0", "null", "slow4", "slow5", "slow6", "slow7", "slow8"});
    for (char byte : whole) {
        slow->write(&byte, 1);
        slow->flush();
        waitUntil([] { return false; }, 15);
    }
    const QByteArray answer = answerOn(slow);
    EXPECT_TRUE(answer.startsWith(record({"1", "1", "0", kSaPassword, "slow4", "slow5", "slow6", "slow7", "slow8"})))
        << answer.toStdString();
    dialogs_.verifyDone();   // no box
}

TEST_F(HostileClients, ARecordSplitAcrossWritesIsOneMessage)
{
    QTcpSocket* client = connectClient();
    const QByteArray report = record({"2", "0", "0", "null", "001", "Books", "clerk", "null", "null"});
    client->write(report.left(7));
    client->flush();
    waitUntil([] { return false; }, 100);
    client->write(report.mid(7));
    ASSERT_TRUE(waitUntil([&] { return openRows() == 1; }));
    EXPECT_EQ(catalogueRows("select DBName, LoginUser from T_ClientLog"),
              (std::vector<std::vector<std::string>>{{"001", "clerk"}}));
    client->disconnectFromHost();
    EXPECT_TRUE(waitUntil([&] { return openRows() == 0; }));
}

TEST_F(HostileClients, AHugeHandshakeWhoseClientGoesLeavesNothingOpen)
{
    dialogs_.expect(DialogKind::Info, kMalformedMessageCaption, kMalformedMessageText);
    QTcpSocket* big = connectClient();
    big->write(record({"1", "0", "0", "null", QByteArray(200 * 1024, 'B'), "5", "6", "7", "8"}));
    // As much as a record may hold is handled as a message: the box, and
    // an answer with empty fields.
    const QByteArray answer = answerOn(big);
    EXPECT_TRUE(answer.startsWith(record({"1", "1", "0", kSaPassword, "null"}))) << answer.left(80).toStdString();
    big->abort();
    EXPECT_TRUE(waitUntil([&] { return service_->openConnections() == 0; }));
    EXPECT_EQ(openRows(), 0);
}

TEST_F(HostileClients, EveryLoginReportLeavesExactlyOneRowClosedAtDisconnect)
{
    const QByteArray gbkName = QByteArray::fromHex("d5c5c8fd");   // 张三 in GBK
    const struct {
        const char* name;
        QByteArray field;
        std::string stored;   // as the row holds it
    } cases[] = {
        {"nul", QByteArray("a\0b", 3), "a?b"},
        {"control bytes", QByteArray("x\ty\rz\x7f"), "x?y?z?"},
        {"over the width", QByteArray(300, 'w'), std::string(64, 'w')},
        // 64 bytes hold sixteen of the twenty names, cut on a character boundary.
        {"Chinese over the width", gbkName.repeated(20), QStringLiteral("张三").repeated(16).toStdString()},
        {"invalid GBK", QByteArray("\x80\xff\x81"), "???"},
        {"quotes", QByteArray("o'brien''"), "o'brien''"},
        {"comment", QByteArray("x'); delete from T_ClientLog --"), "x'); delete from T_ClientLog --"},
        {"bracket", QByteArray("]a["), "]a["},
    };
    int keyCount = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTcpSocket* client = connectClient();
        client->write(record({"2", "0", "0", "null", "001", "Books", c.field, "null", "null"}));
        ASSERT_TRUE(waitUntil([&] { return openRows() == 1; })) << "no row";
        ++keyCount;
        const auto rows = catalogueRows("select LoginUser from T_ClientLog where Closed=0");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], c.stored);
        client->disconnectFromHost();
        ASSERT_TRUE(waitUntil([&] { return openRows() == 0; })) << "the row stayed open";
    }
    EXPECT_EQ(catalogueRows("select count(*) from T_ClientLog")[0][0], std::to_string(keyCount));
}

// A TCP connection made with plain non-blocking sockets, so that its
// descriptor exists before the limit is lowered and connecting never waits
// on a full listen queue.
int rawSocket()
{
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

bool rawConnect(int fd, quint16 port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 || errno == EINPROGRESS;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST_F(HostileClients, OutOfDescriptorsAcceptingPausesWithoutSpinningAndResumes)
{
    std::vector<int> fds;
    for (int i = 0; i < 40; ++i)
        fds.push_back(rawSocket());
    ASSERT_GE(fds.back(), 0);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    // Room for a few accepted connections only.
    const int highest = dup(0);
    close(highest);
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(highest + 5);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);

    dialogs_.expect(DialogKind::Error, "错误");
    for (int fd : fds)
        rawConnect(fd, service_->listeningPort());   // the kernel queues them
    waitUntil([] { return false; }, 500);
    const int accepted = service_->openConnections();
    EXPECT_LT(accepted, 40);
    // Waiting with connections queued that cannot be taken costs no CPU.
    const double before = cpuSeconds();
    waitUntil([] { return false; }, 1000);
    EXPECT_LT(cpuSeconds() - before, 0.3) << "the listener spins";

    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    // A connection closes: accepting goes on and takes the queued ones.
    for (int i = 0; i < 3; ++i)
        ::close(fds[static_cast<std::size_t>(i)]);
    EXPECT_TRUE(waitUntil([&] { return service_->openConnections() > accepted; }, 5000));
    for (std::size_t i = 3; i < fds.size(); ++i)
        ::close(fds[i]);
    EXPECT_TRUE(waitUntil([&] { return service_->openConnections() == 0; }, 5000));
}

}  // namespace
