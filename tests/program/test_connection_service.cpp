// The connection service end to end, without a window: its listener on
// 127.0.0.1, real QTcpSocket clients, and the login log in a throwaway
// catalogue. The server runs on this thread, so every wait below spins the
// event loop instead of blocking on a socket.
#include "program_fixture.h"
#include "programtesthelpers.h"

#include "instance.h"
#include "mwsocket.h"
#include "connectionservice.h"
#include "mwcwfun.h"
#include "textcodec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

const QString kBaseHint = ProductTitle() + QStringLiteral("管理软件-服务器");

using vqtest::waitUntil;

// Lets the server handle whatever is under way.
void settle(int ms = 150)
{
    QTest::qWait(ms);
}

// The fields written as on the wire, each followed by the separator.
QByteArray record(const QList<QByteArray>& fields)
{
    QByteArray out;
    for (const QByteArray& f : fields)
        out += f + kFieldSeparator;
    return out;
}

QByteArray handshake(const QByteArray& f4 = "a", const QByteArray& f5 = "b", const QByteArray& f6 = "c",
                     const QByteArray& f7 = "d", const QByteArray& f8 = "e")
{
    return record({"1", "0", "0", "null", f4, f5, f6, f7, f8});
}

QByteArray loginReport(const QByteArray& dbName, const QByteArray& accName, const QByteArray& user)
{
    return record({"2", "0", "0", "null", dbName, accName, user, "null", "null"});
}

// A received text split at the separators (the empty tail after the last
// separator is dropped).
QList<QByteArray> fieldsOf(QByteArray text)
{
    QList<QByteArray> out;
    qsizetype at;
    while ((at = text.indexOf(kFieldSeparator)) >= 0) {
        out.append(text.left(at));
        text.remove(0, at + kFieldSeparator.size());
    }
    if (!text.isEmpty())
        out.append(text);
    return out;
}

std::string s(const QByteArray& bytes)
{
    return bytes.toStdString();
}

}  // namespace

class ConnectionServiceTest : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        if (HasFatalFailure())
            return;
        service_ = std::make_unique<TConnectionService>();
        service_->setPort(0);
    }

    void TearDown() override
    {
        clients_.clear();
        service_.reset();
        ProgramFixture::TearDown();
    }

    void start()
    {
        service_->SetServiceActive(true);
        ASSERT_TRUE(service_->serviceStarted());
        ASSERT_NE(service_->listeningPort(), 0);
    }

    // A client connected to the listener, once the server has taken it in.
    QTcpSocket* connectClient()
    {
        const int before = service_->openConnections();
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, service_->listeningPort());
        QTcpSocket* raw = socket.get();
        clients_.push_back(std::move(socket));
        EXPECT_TRUE(waitUntil([&] {
            return raw->state() == QAbstractSocket::ConnectedState && service_->openConnections() > before;
        })) << "the server did not take the connection in";
        return raw;
    }

    // Closes a client and waits until the server has handled its end.
    void closeClient(QTcpSocket* client)
    {
        const int before = service_->openConnections();
        client->disconnectFromHost();
        EXPECT_TRUE(waitUntil([&] { return service_->openConnections() < before; }))
            << "the server did not notice the end of the connection";
    }

    void send(QTcpSocket* client, const QByteArray& bytes)
    {
        client->write(bytes);
        EXPECT_TRUE(waitUntil([&] { return client->bytesToWrite() == 0; }));
    }

    // The answer to a handshake: nine fields, read as they arrive.
    QList<QByteArray> answerOn(QTcpSocket* client)
    {
        QByteArray text;
        const bool complete = waitUntil([&] {
            text += client->readAll();
            return text.count(kFieldSeparator) >= 9;
        });
        EXPECT_TRUE(complete) << "no complete answer, received: " << text.toStdString();
        return fieldsOf(text);
    }

    int rowCount(const std::string& where = "1=1")
    {
        return static_cast<int>(catalogueRows("select KeyID from T_ClientLog where " + where).size());
    }

    void reportLogin(QTcpSocket* client, const QByteArray& dbName, const QByteArray& accName,
                     const QByteArray& user)
    {
        const int before = rowCount();
        send(client, loginReport(dbName, accName, user));
        EXPECT_TRUE(waitUntil([&] { return rowCount() > before; })) << "no login row was written";
    }

    // A new client still gets its handshake answered.
    void expectServerAnswers()
    {
        QTcpSocket* fresh = connectClient();
        send(fresh, handshake("alive"));
        const QList<QByteArray> answer = answerOn(fresh);
        ASSERT_GE(answer.size(), 9);
        EXPECT_EQ(s(answer[0]), "1");
        EXPECT_EQ(s(answer[4]), "alive");
    }


    std::unique_ptr<TConnectionService> service_;
    std::vector<std::unique_ptr<QTcpSocket>> clients_;
};

// ---- starting and stopping --------------------------------------------------

TEST_F(ConnectionServiceTest, StartStopAndStartAgain)
{
    EXPECT_EQ(service_->serviceState(), TConnectionService::ServiceState::NotStarted);

    start();
    EXPECT_EQ(service_->statusText(), kBaseHint);

    service_->SetServiceActive(false);   // count 0: no question
    EXPECT_EQ(service_->serviceState(), TConnectionService::ServiceState::Stopped);

    // A stopped listener takes no connections.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, service_->listeningPort());
    settle(100);
    EXPECT_EQ(service_->openConnections(), 0);

    service_->SetServiceActive(true);
    expectServerAnswers();
}

TEST_F(ConnectionServiceTest, TakenPortShowsErrorAndServiceStaysNotStarted)
{
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::AnyIPv4, 0));
    service_->setPort(blocker.serverPort());
    dialogs_.expect(DialogKind::Error, "错误",
                    QStringLiteral("端口") + QString::number(blocker.serverPort()) +
                        QStringLiteral("已被其他程序占用，不能启动本服务器。\r\n"
                                       "请先关闭占用该端口的程序，或者更改服务器端口号。"));
    service_->SetServiceActive(true);
    EXPECT_FALSE(service_->serviceStarted());
    EXPECT_EQ(service_->serviceState(), TConnectionService::ServiceState::NotStarted);
}

// ---- handshake -------------------------------------------------------------

TEST_F(ConnectionServiceTest, HandshakeAnswerCarriesPasswordAndEchoesFields)
{
    start();
    QTcpSocket* client = connectClient();
    send(client, record({"1", "7", "8", "clientpw", "a", "", "NULL", "f7", "f8"}));
    const QList<QByteArray> answer = answerOn(client);
    ASSERT_EQ(answer.size(), 9);
    EXPECT_EQ(s(answer[0]), "1");
    EXPECT_EQ(s(answer[1]), "1");
    EXPECT_EQ(s(answer[2]), "0");
    EXPECT_EQ(s(answer[3]), kSaPassword);
    EXPECT_EQ(s(answer[4]), "a");
    EXPECT_EQ(s(answer[5]), "null");
    EXPECT_EQ(s(answer[6]), "null");
    EXPECT_EQ(s(answer[7]), "f7");
    EXPECT_EQ(s(answer[8]), "f8");

    // A handshake changes neither the log nor the count.
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_EQ(service_->statusText(), kBaseHint);

    // The connection stays open for more: a second handshake, a second answer.
    send(client, handshake("again", "", "", "", ""));
    const QList<QByteArray> second = answerOn(client);
    ASSERT_EQ(second.size(), 9);
    EXPECT_EQ(s(second[4]), "again");
    EXPECT_EQ(s(second[5]), "null");
}

TEST_F(ConnectionServiceTest, HandshakeWithEmptyPasswordSendsNull)
{
    vqsql::changeSaPassword(instance_, kSaPassword, "");
    ASSERT_TRUE(link_->ConnectCatalogue(server(), "VQTCWAccList", "", false));
    ASSERT_TRUE(link_->rememberedPassword().isEmpty());
    start();
    QTcpSocket* client = connectClient();
    send(client, record({"1", "null", "null", "null", "null", "null", "null", "null", "null"}));
    QByteArray text;
    ASSERT_TRUE(waitUntil([&] {
        text += client->readAll();
        return text.size() >= 45;
    }));
    settle(50);
    text += client->readAll();
    // "1", "1", "0" and six times "null": 45 bytes in all.
    EXPECT_EQ(text, record({"1", "1", "0", "null", "null", "null", "null", "null", "null"}));
}

TEST_F(ConnectionServiceTest, HandshakeEdgeFormsOfTheRecord)
{
    start();
    QTcpSocket* client = connectClient();

    // Nine fields without the final separator read as a whole record.
    QByteArray bare = handshake("x4", "x5", "x6", "x7", "x8");
    bare.chop(kFieldSeparator.size());
    send(client, bare);
    QList<QByteArray> answer = answerOn(client);
    ASSERT_EQ(answer.size(), 9);
    EXPECT_EQ(s(answer[4]), "x4");
    EXPECT_EQ(s(answer[8]), "x8");

    // Eight fields, each with its separator, still make nine (the last
    // empty): no box, field 8 goes back as "null".
    send(client, record({"1", "0", "0", "p", "y4", "y5", "y6", "y7"}));
    answer = answerOn(client);
    ASSERT_EQ(answer.size(), 9);
    EXPECT_EQ(s(answer[4]), "y4");
    EXPECT_EQ(s(answer[7]), "y7");
    EXPECT_EQ(s(answer[8]), "null");

    // Two records in one read: only the first one is handled.
    send(client, handshake("first") + handshake("second"));
    answer = answerOn(client);
    settle();
    EXPECT_EQ(client->bytesAvailable(), 0) << "a second answer was sent";
    ASSERT_EQ(answer.size(), 9);
    EXPECT_EQ(s(answer[4]), "first");
}

// ---- login reports -----------------------------------------------------------

TEST_F(ConnectionServiceTest, LoginReportWritesRowAndRaisesCount)
{
    start();
    QTcpSocket* client = connectClient();
    EXPECT_EQ(service_->activeCount(), 0) << "a connection alone is no login";
    EXPECT_EQ(rowCount(), 0);

    reportLogin(client, "Acc001", "Books", "admin");
    const QHostInfo host = QHostInfo::fromName("127.0.0.1");
    const QString expectedName =
        host.error() == QHostInfo::NoError && host.hostName() != "127.0.0.1" ? host.hostName() : QString();
    const auto rows = catalogueRows(
        "select KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, Closed, "
        "case when LoginTime is null then 0 else 1 end, case when LogoutTime is null then 0 else 1 end "
        "from T_ClientLog");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "1");
    EXPECT_EQ(rows[0][1], "127.0.0.1");
    EXPECT_EQ(rows[0][2], expectedName.toStdString());
    EXPECT_EQ(rows[0][3], std::to_string(client->localPort()));
    EXPECT_EQ(rows[0][4], "Acc001");
    EXPECT_EQ(rows[0][5], "Books");
    EXPECT_EQ(rows[0][6], "admin");
    EXPECT_EQ(rows[0][7], "0");
    EXPECT_EQ(rows[0][8], "1") << "LoginTime not set";
    EXPECT_EQ(rows[0][9], "0") << "LogoutTime set on an open row";

    EXPECT_EQ(service_->activeCount(), 1);
    EXPECT_EQ(service_->statusText(), kBaseHint + QStringLiteral("\u3000共有1个活动连接"));

    // A login report is not answered; a handshake afterwards changes nothing.
    settle(50);
    EXPECT_EQ(client->bytesAvailable(), 0);
    send(client, handshake());
    EXPECT_EQ(answerOn(client).size(), 9);
    EXPECT_EQ(rowCount(), 1);
    EXPECT_EQ(service_->activeCount(), 1);

    // The end of the connection closes the row and lowers the count.
    closeClient(client);
    const auto closed = catalogueRows(
        "select Closed, case when LogoutTime is null then 0 else 1 end, "
        "case when LogoutTime >= LoginTime then 1 else 0 end from T_ClientLog");
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0][0], "1");
    EXPECT_EQ(closed[0][1], "1") << "LogoutTime not set";
    EXPECT_EQ(closed[0][2], "1");
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_EQ(service_->statusText(), kBaseHint);
}

TEST_F(ConnectionServiceTest, LoginReportStoresGbkTextAndQuotesAsSent)
{
    start();
    QTcpSocket* client = connectClient();
    reportLogin(client, toGbk(QStringLiteral("账套01")), toGbk(QStringLiteral("华东分公司账套")),
                toGbk(QStringLiteral("张三")));
    auto rows = catalogueRows("select DBName, AccName, LoginUser from T_ClientLog where KeyID=1");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "账套01");
    EXPECT_EQ(rows[0][1], "华东分公司账套");
    EXPECT_EQ(rows[0][2], "张三");

    // A quote in every field of the report.
    send(client, record({"2", "'", "0'", "pw'", "O'Brien", "x'); delete from T_ClientLog; select('", "'",
                         "f7'", "'f8"}));
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 2; })) << "the quoted report wrote no row";
    rows = catalogueRows("select DBName, AccName, LoginUser, MashineIP, Closed from T_ClientLog where KeyID=2");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "O'Brien");
    EXPECT_EQ(rows[0][1], "x'); delete from T_ClientLog; select('");
    EXPECT_EQ(rows[0][2], "'");
    EXPECT_EQ(rows[0][3], "127.0.0.1");
    EXPECT_EQ(rows[0][4], "0");
    EXPECT_EQ(rowCount(), 2) << "a row was lost";

    // A "--" in a field would start a comment for the statement helper,
    // which strips comments even inside quotes: the texts are spliced so
    // that no "--" appears, and the row is stored as sent.
    send(client, loginReport("cut--here", "Books---", "--admin"));
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 3; })) << "the report with -- wrote no row";
    rows = catalogueRows("select DBName, AccName, LoginUser from T_ClientLog where KeyID=3");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"cut--here", "Books---", "--admin"}));
    send(client, handshake("on"));
    EXPECT_EQ(answerOn(client).size(), 9);

    closeClient(client);
    EXPECT_EQ(rowCount("Closed=1"), 3);
}

TEST_F(ConnectionServiceTest, TwoReportsOnOneConnectionGiveTwoRowsBothClosedAtTheEnd)
{
    start();
    QTcpSocket* client = connectClient();
    QTcpSocket* other = connectClient();
    reportLogin(client, "Acc001", "Books", "admin");
    reportLogin(client, "Acc002", "More books", "clerk");
    reportLogin(other, "Acc003", "Other", "boss");
    EXPECT_EQ(catalogueRows("select KeyID from T_ClientLog order by KeyID").size(), 3u);
    EXPECT_EQ(rowCount("KeyID in (1,2,3)"), 3);
    EXPECT_EQ(service_->activeCount(), 1) << "one machine";

    closeClient(client);
    EXPECT_EQ(rowCount("Closed=1"), 2);
    EXPECT_EQ(rowCount("Closed=1 and DBName in ('Acc001','Acc002') and LogoutTime is not null"), 2);
    // The other connection's row stays open.
    EXPECT_EQ(rowCount("Closed=0 and DBName='Acc003'"), 1);
}

// ---- the count ----------------------------------------------------------------

TEST_F(ConnectionServiceTest, CountFollowsConnectionsAndReconciliationCorrectsIt)
{
    start();
    // A connection that ends without a report never takes the count below 0.
    QTcpSocket* x = connectClient();
    EXPECT_EQ(service_->activeCount(), 0);
    closeClient(x);
    EXPECT_EQ(service_->activeCount(), 0);

    QTcpSocket* a = connectClient();
    reportLogin(a, "Acc001", "Books", "admin");
    EXPECT_EQ(service_->activeCount(), 1);

    // A second connection from the same machine, logged in too: still one.
    QTcpSocket* b = connectClient();
    EXPECT_EQ(service_->activeCount(), 1);
    reportLogin(b, "Acc001", "Books", "clerk");
    EXPECT_EQ(service_->activeCount(), 1);
    EXPECT_EQ(service_->statusText(), kBaseHint + QStringLiteral("\u3000共有1个活动连接"));
    // Two connections, count 1: reconciliation recomputes min(1 machine, 2).
    service_->ReconcileCount();
    EXPECT_EQ(service_->activeCount(), 1);

    // The end of one lowers the count by one, though b is still logged in.
    closeClient(a);
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_EQ(service_->openConnections(), 1);
    EXPECT_EQ(service_->statusText(), kBaseHint);
    // Reconciliation brings it back: one machine with an open row.
    service_->ReconcileCount();
    EXPECT_EQ(service_->activeCount(), 1);

    // A connection without a report: the count is min(1 machine, 2 open) at
    // its start, and its end lowers it all the same.
    QTcpSocket* c = connectClient();
    EXPECT_EQ(service_->activeCount(), 1);
    closeClient(c);
    EXPECT_EQ(service_->activeCount(), 0);
    service_->ReconcileCount();
    EXPECT_EQ(service_->activeCount(), 1);

    // The last connection ends and closes b's row.
    closeClient(b);
    EXPECT_EQ(service_->activeCount(), 0);
    service_->ReconcileCount();
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_EQ(rowCount("Closed=0"), 0);
    EXPECT_EQ(rowCount("Closed=1"), 2);
}

TEST_F(ConnectionServiceTest, ClientAbortClosesRowLikeAnOrderlyEnd)
{
    start();
    QTcpSocket* client = connectClient();
    reportLogin(client, "Acc001", "Books", "admin");
    client->abort();
    ASSERT_TRUE(waitUntil([&] { return service_->openConnections() == 0; }));
    EXPECT_EQ(rowCount("Closed=1 and LogoutTime is not null"), 1);
    EXPECT_EQ(service_->activeCount(), 0);
    expectServerAnswers();
}

// ---- stopping and restarting --------------------------------------------------

TEST_F(ConnectionServiceTest, StopQuestionAnsweredNoKeepsEverything)
{
    start();
    QTcpSocket* a = connectClient();
    reportLogin(a, "Acc001", "Books", "admin");
    dialogs_.expect(DialogKind::YesNo, "询问", "当前服务器共有1活动连接，是否断开所有连接？", DialogAnswer::No);
    service_->SetServiceActive(false);
    EXPECT_TRUE(service_->serviceStarted());
    EXPECT_EQ(service_->activeCount(), 1);
    EXPECT_EQ(rowCount("Closed=0"), 1);
    settle(50);
    EXPECT_EQ(a->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(service_->openConnections(), 1);
    send(a, handshake("still"));
    const QList<QByteArray> answer = answerOn(a);
    ASSERT_EQ(answer.size(), 9);
    EXPECT_EQ(s(answer[4]), "still");
}

TEST_F(ConnectionServiceTest, StopQuestionAnsweredYesDropsClientsAndClosesRows)
{
    start();
    QTcpSocket* a = connectClient();
    QTcpSocket* b = connectClient();
    reportLogin(a, "Acc001", "Books", "admin");
    reportLogin(b, "Acc002", "More", "clerk");
    ASSERT_EQ(service_->activeCount(), 1);
    dialogs_.expect(DialogKind::YesNo, "询问", "当前服务器共有1活动连接，是否断开所有连接？", DialogAnswer::Yes);
    service_->SetServiceActive(false);
    EXPECT_EQ(service_->serviceState(), TConnectionService::ServiceState::Stopped);
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_EQ(service_->openConnections(), 0);
    EXPECT_EQ(service_->statusText(), kBaseHint);
    EXPECT_TRUE(waitUntil([&] {
        return a->state() == QAbstractSocket::UnconnectedState && b->state() == QAbstractSocket::UnconnectedState;
    })) << "the clients were not disconnected";
    EXPECT_EQ(rowCount("Closed=1 and LogoutTime is not null"), 2);
    EXPECT_EQ(rowCount(), 2);

    // Started again, the service takes new clients.
    service_->SetServiceActive(true);
    expectServerAnswers();
}

TEST_F(ConnectionServiceTest, StopWithConnectionsButCountZeroAsksNothing)
{
    start();
    QTcpSocket* a = connectClient();
    ASSERT_EQ(service_->activeCount(), 0);
    service_->SetServiceActive(false);   // no question: the operator script is empty
    EXPECT_EQ(service_->serviceState(), TConnectionService::ServiceState::Stopped);
    EXPECT_TRUE(waitUntil([&] { return a->state() == QAbstractSocket::UnconnectedState; }));
}

TEST_F(ConnectionServiceTest, StartClosesRowsLeftOpenByAnEarlierRun)
{
    ASSERT_TRUE(link_->ExecuteSql(
        link_->AccListDB,
        "insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, LoginTime, "
        "Closed) values(1, '10.0.0.9', 'old', 4000, 'Acc001', 'Books', 'admin', GetDate(), 0)"));
    ASSERT_TRUE(link_->ExecuteSql(
        link_->AccListDB,
        "insert into T_ClientLog(KeyID, MashineIP, MashineName, ConnectPort, DBName, AccName, LoginUser, LoginTime, "
        "LogoutTime, Closed) values(2, '10.0.0.8', 'older', 4001, 'Acc001', 'Books', 'admin', GetDate(), NULL, 2)"));
    start();
    const auto rows = catalogueRows(
        "select KeyID, Closed, case when LogoutTime is null then 0 else 1 end from T_ClientLog order by KeyID");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], "1");
    EXPECT_EQ(rows[0][2], "1") << "LogoutTime not set";
    EXPECT_EQ(rows[1][1], "2") << "a cleared row was touched";
    EXPECT_EQ(rows[1][2], "0");
    EXPECT_EQ(service_->activeCount(), 0);

    // The next login takes the next key.
    QTcpSocket* client = connectClient();
    reportLogin(client, "Acc001", "Books", "admin");
    EXPECT_EQ(rowCount("KeyID=3 and Closed=0"), 1);
}

// ---- disconnect all -------------------------------------------------------------

TEST_F(ConnectionServiceTest, DisconnectAllWithCountZeroDoesNothing)
{
    start();
    QTcpSocket* a = connectClient();
    QTcpSocket* b = connectClient();
    ASSERT_EQ(service_->activeCount(), 0);
    service_->DisconnectAllClients();   // no question expected
    settle(100);
    EXPECT_EQ(service_->openConnections(), 2);
    EXPECT_EQ(a->state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(b->state(), QAbstractSocket::ConnectedState);
}

TEST_F(ConnectionServiceTest, DisconnectAllClosesEveryConnectionAndRow)
{
    start();
    QTcpSocket* a = connectClient();
    QTcpSocket* b = connectClient();
    QTcpSocket* c = connectClient();   // no login
    reportLogin(a, "Acc001", "Books", "admin");
    reportLogin(b, "Acc002", "More", "clerk");
    reportLogin(b, "Acc003", "Third", "clerk");
    ASSERT_EQ(service_->activeCount(), 1);

    // Answered No: nothing changes.
    dialogs_.expect(DialogKind::YesNo, "询问", "是否确认断开与所有客户端的联接？", DialogAnswer::No);
    service_->DisconnectAllClients();
    settle(50);
    EXPECT_EQ(service_->openConnections(), 3);
    EXPECT_EQ(rowCount("Closed=0"), 3);

    dialogs_.expect(DialogKind::YesNo, "询问", "是否确认断开与所有客户端的联接？", DialogAnswer::Yes);
    service_->DisconnectAllClients();
    EXPECT_EQ(service_->openConnections(), 0);
    EXPECT_TRUE(waitUntil([&] {
        return a->state() == QAbstractSocket::UnconnectedState && b->state() == QAbstractSocket::UnconnectedState &&
               c->state() == QAbstractSocket::UnconnectedState;
    })) << "not every client was disconnected";
    EXPECT_EQ(rowCount("Closed=1 and LogoutTime is not null"), 3);
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_TRUE(service_->serviceStarted()) << "the listener stays open";
    settle(50);
    EXPECT_EQ(service_->activeCount(), 0);
    expectServerAnswers();
}

// ---- malformed and hostile input -------------------------------------------------

TEST_F(ConnectionServiceTest, HandshakeWithEightFieldsShowsBoxAndStillAnswers)
{
    start();
    QTcpSocket* client = connectClient();
    dialogs_.expect(DialogKind::Info, "内部错", "接收的信息不正确！");
    QByteArray eight = record({"1", "0", "0", "p", "g4", "g5", "g6", "g7"});
    eight.chop(kFieldSeparator.size());   // eight fields in all
    send(client, eight);
    const QList<QByteArray> answer = answerOn(client);
    ASSERT_EQ(answer.size(), 9);
    EXPECT_EQ(s(answer[0]), "1");
    EXPECT_EQ(s(answer[1]), "1");
    EXPECT_EQ(s(answer[2]), "0");
    EXPECT_EQ(s(answer[3]), kSaPassword);
    for (int i = 4; i <= 8; ++i)
        EXPECT_EQ(s(answer[i]), "null") << "field " << i;
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(ConnectionServiceTest, ShortLoginReportShowsBoxAndWritesRowWithEmptyTexts)
{
    start();
    QTcpSocket* client = connectClient();
    dialogs_.expect(DialogKind::Info, "内部错", "接收的信息不正确！");
    send(client, "2");   // no separator at all
    ASSERT_TRUE(waitUntil([&] { return rowCount() == 1; }));
    const auto rows = catalogueRows("select MashineIP, isnull(DBName,''), isnull(AccName,''), isnull(LoginUser,''), "
                                    "Closed from T_ClientLog");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "127.0.0.1");
    EXPECT_EQ(rows[0][1], "");
    EXPECT_EQ(rows[0][2], "");
    EXPECT_EQ(rows[0][3], "");
    EXPECT_EQ(rows[0][4], "0");
    settle(50);
    EXPECT_EQ(client->bytesAvailable(), 0);
}

TEST_F(ConnectionServiceTest, OtherTypesAndGarbageAreIgnoredWithoutAWord)
{
    start();
    QTcpSocket* client = connectClient();
    const QList<QByteArray> ignored = {
        record({"3", "0", "0", "p", "a", "b", "c", "d", "e"}),
        record({"0", "0", "0", "p", "a", "b", "c", "d", "e"}),
        record({"-1", "0", "0", "p", "a", "b", "c", "d", "e"}),
        record({"null", "0", "0", "p", "a", "b", "c", "d", "e"}),
        record({"", "0", "0", "p", "a", "b", "c", "d", "e"}),
        record({"1x", "0", "0", "p", "a", "b", "c", "d", "e"}),
        record({"99999999999999999999", "0", "0", "p", "a", "b", "c", "d", "e"}),
        QByteArray("hello, server"),
        QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n"),
        kFieldSeparator,
        QByteArray("\n\n\x1a\x1a"),
    };
    for (const QByteArray& text : ignored) {
        send(client, text);
        settle(40);   // one read per message
    }
    settle(100);
    EXPECT_EQ(client->bytesAvailable(), 0) << "an ignored message was answered";
    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_EQ(client->state(), QAbstractSocket::ConnectedState);

    // The same connection still gets its handshake answered.
    send(client, handshake("after"));
    const QList<QByteArray> answer = answerOn(client);
    ASSERT_EQ(answer.size(), 9);
    EXPECT_EQ(s(answer[4]), "after");
}

TEST_F(ConnectionServiceTest, HandshakeSplitAcrossTwoWritesIsOneMessage)
{
    start();
    QTcpSocket* client = connectClient();
    const QByteArray whole = handshake("s4", "s5", "s6", "s7", "s8");
    const qsizetype cut = whole.indexOf("s5");
    // The first part waits for the rest; together they are one handshake,
    // answered whole and without a box.
    send(client, whole.left(cut));
    settle(100);
    EXPECT_EQ(client->bytesAvailable(), 0) << "answered before the record was complete";
    send(client, whole.mid(cut));
    const QList<QByteArray> answer = answerOn(client);
    ASSERT_EQ(answer.size(), 9);
    EXPECT_EQ(s(answer[0]), "1");
    EXPECT_EQ(s(answer[3]), kSaPassword);
    EXPECT_EQ(s(answer[4]), "s4");
    EXPECT_EQ(s(answer[8]), "s8");
    expectServerAnswers();
}

TEST_F(ConnectionServiceTest, HugeAndBinaryMessagesLeaveTheServerWorking)
{
    start();

    // Several megabytes without a separator, none of whose reads begins
    // with a number: each read is ignored.
    QTcpSocket* flood = connectClient();
    QByteArray huge(4 * 1024 * 1024 + 123, 'A');
    send(flood, huge);
    settle(200);
    EXPECT_EQ(flood->bytesAvailable(), 0);

    // Binary bytes (no digits, signs or separator anywhere, NULs included).
    QTcpSocket* binary = connectClient();
    QByteArray bytes;
    for (int round = 0; round < 2000; ++round)
        for (int b = 0; b < 256; ++b)
            if (!(b >= '0' && b <= '9') && b != '+' && b != '-' && b != 0x0A)
                bytes.append(char(b));
    send(binary, bytes);
    settle(200);
    EXPECT_EQ(binary->bytesAvailable(), 0);

    // A handshake whose field 4 takes several megabytes: the first read is a
    // short handshake (the box, an answer with "null" fields), the rest is
    // read in pieces of at most kMaxReadBytes that begin with no number.
    QTcpSocket* big = connectClient();
    dialogs_.expect(DialogKind::Info, "内部错", "接收的信息不正确！");
    send(big, handshake(QByteArray(3 * 1024 * 1024, 'B'), "tail5", "tail6", "tail7", "tail8"));
    const QList<QByteArray> answer = answerOn(big);
    ASSERT_GE(answer.size(), 9);
    EXPECT_EQ(s(answer[4]), "null");
    settle(200);
    EXPECT_EQ(big->bytesAvailable(), 0) << "more than one answer";

    EXPECT_EQ(rowCount(), 0);
    EXPECT_EQ(service_->openConnections(), 3);
    expectServerAnswers();
}

TEST_F(ConnectionServiceTest, ConnectDisconnectInATightLoop)
{
    start();
    constexpr int kRounds = 200;
    int reports = 0;
    for (int i = 0; i < kRounds; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, service_->listeningPort());
        ASSERT_TRUE(waitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000))
            << "round " << i;
        if (i % 20 == 0) {
            socket.write(loginReport("Acc001", "Books", QByteArray::number(i)));
            ++reports;
        } else if (i % 20 == 10) {
            socket.write(handshake());
        }
        if (i % 2)
            socket.abort();
        else
            socket.disconnectFromHost();
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(waitUntil([&] { return service_->openConnections() == 0; }))
        << service_->openConnections() << " connections still open";
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_LE(rowCount(), reports);
    EXPECT_EQ(rowCount("Closed=0"), 0) << "a row of an ended connection stayed open";
    service_->ReconcileCount();
    EXPECT_EQ(service_->activeCount(), 0);
    EXPECT_EQ(service_->statusText(), kBaseHint);
    expectServerAnswers();
}
