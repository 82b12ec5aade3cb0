// The connection service while a modal box runs its own event loop: the
// connection that caused the box may end meanwhile, and the handler that
// opened the box must neither touch a freed socket nor write a log row
// that nothing would close.
#include "program_fixture.h"
#include "mwsocket.h"
#include "connectionservice.h"
#include "srvmain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTcpSocket>
#include <QTest>

namespace {

bool waitUntil(const std::function<bool()>& condition, int milliseconds = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QByteArray fields(std::initializer_list<const char*> values)
{
    QByteArray out;
    for (const char* v : values)
        out += QByteArray(v) + kFieldSeparator;
    return out;
}

class ServiceReentry : public ProgramFixture {
protected:
    void SetUp() override
    {
        ProgramFixture::SetUp();
        form_.service().setPort(0);
        form_.service().SetServiceActive(true);
        ASSERT_TRUE(form_.service().serviceStarted());
    }

    QTcpSocket* connectClient()
    {
        auto* client = new QTcpSocket(&form_);
        client->connectToHost(QHostAddress::LocalHost, form_.service().listeningPort());
        EXPECT_TRUE(waitUntil([&] { return form_.service().openConnections() > 0 && client->state() == QAbstractSocket::ConnectedState; }));
        return client;
    }

    long long openRows()
    {
        return std::stoll(catalogueRows("select count(*) from T_ClientLog where Closed=0")[0][0]);
    }

    TSrvMainForm form_;
};

TEST_F(ServiceReentry, ConnectionEndingDuringTheMalformedReportBoxLeavesNoOpenRow)
{
    dialogs_.setModalDelay(300);
    dialogs_.expect(DialogKind::Info, "内部错", "接收的信息不正确！");
    QTcpSocket* client = connectClient();
    client->write(fields({"2", "0", "0", "null", "Acc"}));   // too few fields: the box
    client->flush();
    ASSERT_TRUE(waitUntil([&] { return !dialogs_.shown().empty(); }, 3000));
    client->abort();
    ASSERT_TRUE(waitUntil([&] { return form_.service().openConnections() == 0; }));
    waitUntil([] { return false; }, 500);   // the box closes, the handler returns
    EXPECT_EQ(openRows(), 0) << "a row for a connection that had already ended";

    // The service goes on serving.
    dialogs_.setModalDelay(0);
    QTcpSocket* next = connectClient();
    next->write(fields({"1", "0", "0", "null", "a", "b", "c", "d", "e"}));
    ASSERT_TRUE(waitUntil([&] { return next->bytesAvailable() > 0; }));
    EXPECT_TRUE(next->readAll().startsWith("1\x0A\x1A" "1\x0A\x1A" "0"));
}

TEST_F(ServiceReentry, ConnectionEndingDuringTheMalformedHandshakeBoxGetsNoAnswer)
{
    dialogs_.setModalDelay(300);
    dialogs_.expect(DialogKind::Info, "内部错", "接收的信息不正确！");
    QTcpSocket* client = connectClient();
    client->write(fields({"1", "0", "0"}));
    client->flush();
    ASSERT_TRUE(waitUntil([&] { return !dialogs_.shown().empty(); }, 3000));
    client->abort();
    waitUntil([] { return false; }, 600);
    EXPECT_EQ(form_.service().openConnections(), 0);
    EXPECT_EQ(form_.service().activeCount(), 0);
}

TEST_F(ServiceReentry, StateButtonNeedsARunningDatabaseServer)
{
    // The default instance (VQSQL_HOME) is not this test's instance: point
    // it at an empty folder, so that no database server runs.
    const QByteArray saved = qgetenv("VQSQL_HOME");
    qputenv("VQSQL_HOME", QByteArray::fromStdString(root_ + "/nothing"));
    form_.service().SetServiceActive(false);
    dialogs_.expect(DialogKind::Info, "提示", "微软SQL Server数据库系统尚未启动，不能启动本服务器。");
    QTest::mouseClick(form_.findChild<QPushButton*>(QStringLiteral("btnState")), Qt::LeftButton);
    EXPECT_FALSE(form_.service().serviceStarted());
    qputenv("VQSQL_HOME", saved);
}

}  // namespace
