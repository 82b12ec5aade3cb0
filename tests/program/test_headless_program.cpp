// The server program run headless, as a process of its own: a copy of the
// program folder in a temporary folder, its own engine instance, Qt's
// offscreen platform. Without a terminal every question gets the safe
// answer and the program never waits for ever; on a terminal (a pseudo
// terminal here) the password is asked without echo; a taken port is named
// in the error; a termination signal closes the open login rows.
#include "connection.h"
#include "instance.h"

#include "programtesthelpers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <pty.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#ifndef VQTCWSRV_BINARY
#error "VQTCWSRV_BINARY must name the server program"
#endif

namespace {

constexpr const char* kSaPassword = "Sa#1234";
const QByteArray kFieldEnd("\x0A\x1A", 2);

// A port nobody listens on right now, below the range the system gives
// clients their own ports from (32768 and up), so that no client of a test
// running beside this one takes it before the program listens.
quint16 freePort()
{
    static std::mt19937 random(static_cast<unsigned>(::getpid()));
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto port = static_cast<quint16>(20000 + random() % 12000);
        QTcpServer probe;
        if (probe.listen(QHostAddress::AnyIPv4, port))
            return port;
    }
    ADD_FAILURE() << "no free port below 32000";
    return 0;
}

class HeadlessProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        instance_ = dir_.filePath("instance").toStdString();
        vqsql::initialiseInstance(instance_, kSaPassword);
        program_ = dir_.filePath("program");
        ASSERT_TRUE(QDir().mkpath(program_));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VQTCWSRV_BINARY), program_ + "/VQTCWSrv"));
        for (const char* backup : {"VQTCWAccList.mdk", "VQTCW_Sample.mdk", "VQTCWPack.mdk", "VQTCWTemp.mdk"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(VQ_PROGRAM_DIR "/") + backup, program_ + "/" + backup));
        port_ = freePort();
        vqtest::writeBytes(program_ + "/VQTCWSrv.ini", "[ServerInfo]\r\nServerPort=" + QByteArray::number(port_) + "\r\n");
    }

    void storePassword(const QByteArray& password)
    {
        vqtest::writeBytes(program_ + "/VQTCWC.ini", "[LoginInfo]\r\nSAPassword=" + password + "\r\n");
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VQSQL_HOME", QString::fromStdString(instance_));
        return env;
    }

    // The program with a pipe for standard input: no terminal attached.
    void startWithoutTerminal(QProcess& process)
    {
        process.setProcessEnvironment(environment());
        process.start(program_ + "/VQTCWSrv", {});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    bool listening() const
    {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        return probe.waitForConnected(300);
    }

    std::vector<std::vector<std::string>> catalogueRows(const std::string& sql)
    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance_, "VQTCWAccList", "sa", kSaPassword});
        std::vector<std::vector<std::string>> rows;
        for (const auto& row : c.query(sql).rows) {
            rows.emplace_back();
            for (const auto& v : row)
                rows.back().push_back(v.isNull() ? "<NULL>" : v.toString());
        }
        return rows;
    }

    QTemporaryDir dir_;
    std::string instance_;
    QString program_;
    quint16 port_ = 0;
};

// The program on a pseudo terminal, as an operator at a console starts it.
class TerminalSession {
public:
    TerminalSession(const QString& program, const QProcessEnvironment& env)
    {
        pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            for (const QString& key : env.keys())
                setenv(key.toLocal8Bit().constData(), env.value(key).toLocal8Bit().constData(), 1);
            const QByteArray path = program.toLocal8Bit();
            execl(path.constData(), path.constData(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TerminalSession()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
    }

    bool started() const { return pid_ > 0; }
    void type(const std::string& text) { [[maybe_unused]] auto n = write(master_, text.data(), text.size()); }

    // Reads what the program shows until `text` appears; false on time-out.
    bool waitFor(const std::string& text, int timeoutMs = 20000)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (shown_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[1024];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0)
                return false;   // the program ended
            shown_.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }

    // Sends the signal and waits for the end; the exit code, or -1.
    int stop(int signalNumber, int timeoutMs = 10000)
    {
        kill(pid_, signalNumber);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            waitFor("\x01", 50);   // keeps reading so the program never blocks on output
        }
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::string& shown() const { return shown_; }

private:
    int master_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    std::string shown_;
};

TEST_F(HeadlessProgram, WrongStoredPasswordWithoutTerminalEndsWithAPrintedMessage)
{
    storePassword("wrong");
    QProcess server;
    startWithoutTerminal(server);
    ASSERT_TRUE(server.waitForFinished(20000)) << "the program waits on a question nobody can answer";
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    const QString err = QString::fromUtf8(server.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("[请输入SQL Server数据库的sa口令] 请输入SQL Server数据库的sa口令：")))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("（没有可以应答的终端，按“取消”处理）"))) << err.toStdString();
    EXPECT_FALSE(listening());
}

TEST_F(HeadlessProgram, PasswordTypedOnTheTerminalIsRememberedAndAStopClosesTheLoginRows)
{
    storePassword("wrong");
    TerminalSession terminal(program_ + "/VQTCWSrv", environment());
    ASSERT_TRUE(terminal.started());
    ASSERT_TRUE(terminal.waitFor("口令（输入时不显示）> ")) << terminal.shown();
    terminal.type(std::string(kSaPassword) + "\r");
    const std::string started = "服务已启动，端口" + std::to_string(port_);
    ASSERT_TRUE(terminal.waitFor(started, 60000)) << terminal.shown();
    EXPECT_EQ(terminal.shown().find(kSaPassword), std::string::npos) << "the password was echoed";
    EXPECT_NE(vqtest::fileBytes(program_ + "/VQTCWC.ini").indexOf(QByteArray("SAPassword=") + kSaPassword), -1);

    // A client logs in and stays connected.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port_);
    ASSERT_TRUE(client.waitForConnected(5000));
    QByteArray report;
    for (const char* field : {"2", "0", "0", "null", "001", "测试账套", "张三", "null", "null"})
        report += QByteArray(field) + kFieldEnd;
    client.write(report);
    ASSERT_TRUE(client.waitForBytesWritten(5000));
    ASSERT_TRUE(vqtest::waitUntil(
        [&] { return catalogueRows("select count(*) from T_ClientLog where Closed=0")[0][0] == "1"; }, 10000));

    EXPECT_EQ(terminal.stop(SIGTERM), 0) << terminal.shown();
    EXPECT_NE(terminal.shown().find("服务器已退出"), std::string::npos) << terminal.shown();
    EXPECT_EQ(catalogueRows("select count(*) from T_ClientLog where Closed=0")[0][0], "0");
    EXPECT_EQ(catalogueRows("select count(*) from T_ClientLog where Closed=1 and LogoutTime is not null")[0][0], "1");
}

TEST_F(HeadlessProgram, APasswordTypedAheadOfThePromptIsNotThrownAway)
{
    // Typed before the program asks: turning the echo off must not flush
    // the terminal's input (it did, and the program then waited for ever).
    storePassword("wrong");
    TerminalSession terminal(program_ + "/VQTCWSrv", environment());
    ASSERT_TRUE(terminal.started());
    terminal.type(std::string(kSaPassword) + "\r");
    ASSERT_TRUE(terminal.waitFor("服务已启动，端口" + std::to_string(port_), 60000)) << terminal.shown();
    EXPECT_EQ(terminal.stop(SIGTERM), 0) << terminal.shown();
}

TEST_F(HeadlessProgram, TakenPortIsNamedInTheErrorAndTheProgramStillStopsOnRequest)
{
    storePassword(kSaPassword);
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::AnyIPv4, port_));
    QProcess server;
    startWithoutTerminal(server);
    const QString expected = QStringLiteral("[错误] 端口") + QString::number(port_) + QStringLiteral("已被其他程序占用，不能启动本服务器。");
    QString err;
    ASSERT_TRUE(vqtest::waitUntil(
        [&] {
            server.waitForReadyRead(50);
            err += QString::fromUtf8(server.readAllStandardError());
            return err.contains(expected) || server.state() == QProcess::NotRunning;
        },
        60000));
    EXPECT_TRUE(err.contains(expected)) << err.toStdString();
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitCode(), 0);
}

}  // namespace
