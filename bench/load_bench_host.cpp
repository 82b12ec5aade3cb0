// load_bench_host: the server side of load_bench. A headless process that
// runs the connection service (TConnectionService) on a throwaway engine
// instance holding the installed catalogue, and beside it, on the same
// event loop, a minimal echo server (every read written back) as the
// baseline.
//
// With VQ_LOAD_LOG_ROWS set, the login log is first filled with that many
// rows. Once both listen it prints one line "ports <service> <echo>" and runs
// until its standard input closes or it gets SIGTERM. On the way out it
// prints "rows <n>", the number of rows of the login log, and removes its
// temporary folder. Boxes the service would show go to standard error.
#include "../tests/support/installedbackups.h"
#include "clientlogfill.h"
#include "clientlogindexes.h"
#include "connection.h"
#include "instance.h"
#include "linkdm.h"
#include "operatordialogs.h"
#include "connectionservice.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSaPassword = "Sa#1234";

// Nobody sits at this console: questions are answered No, and the text of
// every box goes to standard error.
class LoggingOperator : public SilentOperator {
public:
    void showInfo(const QString& text, const QString& caption) override { log("info", text, caption); }
    void showError(const QString& text, const QString& caption) override { log("error", text, caption); }
    DialogAnswer askYesNo(const QString& text, const QString& caption) override
    {
        log("question", text, caption);
        return SilentOperator::askYesNo(text, caption);
    }
    DialogAnswer askYesNoCancel(const QString& text, const QString& caption) override
    {
        log("question", text, caption);
        return SilentOperator::askYesNoCancel(text, caption);
    }

private:
    static void log(const char* kind, const QString& text, const QString& caption)
    {
        std::fprintf(stderr, "load_bench_host: %s box [%s] %s\n", kind, caption.toUtf8().constData(),
                     text.toUtf8().constData());
    }
};

// SIGTERM reaches the event loop through this pipe.
int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(signalPipe[1], &byte, 1);
}

// Restores an installed backup of the program folder under its own name.
void restoreInstalled(const std::string& instance, const std::string& name)
{
    vqsql::Connection c;
    c.open(vqsql::ConnectionParams{instance, "master", "sa", kSaPassword});
    vqtest::restoreInstalledBackup(c, instance, name);
}

// The baseline: accepts on 127.0.0.1 and writes back whatever it reads.
class EchoServer : public QObject {
public:
    bool start()
    {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->write(socket->readAll()); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        return server_.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return server_.serverPort(); }

private:
    QTcpServer server_;
};

int run(QCoreApplication& app, const std::string& instance)
{
    vqsql::initialiseInstance(instance, kSaPassword);
    auto link = std::make_unique<TLinkData>();
    LinkData = link.get();
    const QString server = QString::fromStdString(instance);
    if (!link->ConnectCatalogue(server, "master", kSaPassword, false)) {
        std::fprintf(stderr, "load_bench_host: cannot connect to the instance\n");
        return 1;
    }
    restoreInstalled(instance, "VQTCWAccList");
    if (!link->ConnectCatalogue(server, "VQTCWAccList", kSaPassword, false)) {
        std::fprintf(stderr, "load_bench_host: cannot open the catalogue\n");
        return 1;
    }
    // A login log of many rows, as years of use leave it (VQ_LOAD_LOG_ROWS),
    // with the indexes start-up gives every catalogue.
    if (const char* logRows = std::getenv("VQ_LOAD_LOG_ROWS"))
        vqbench::fillClientLog(link->AccListDB, std::atol(logRows));
    EnsureClientLogIndexes(*link);

    int rc = 0;
    {
        TConnectionService form;
        form.setPort(0);
        form.SetServiceActive(true);
        EchoServer echo;
        if (!form.serviceStarted() || !echo.start()) {
            std::fprintf(stderr, "load_bench_host: cannot listen\n");
            return 1;
        }

        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, &app, [&input, &app] {
            char buffer[256];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                input.setEnabled(false);
                app.quit();
            }
        });
        QSocketNotifier terminate(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&terminate, &QSocketNotifier::activated, &app, [&app] { app.quit(); });

        std::printf("ports %u %u\n", unsigned(form.listeningPort()), unsigned(echo.port()));
        std::fflush(stdout);
        rc = app.exec();
    }

    const vqsql::ResultSet rows = link->AccListDB.query(std::string("select count(*) as n from T_ClientLog"));
    std::printf("rows %s\n", rows.rows.empty() ? "?" : rows.rows[0][0].toString().c_str());
    std::fflush(stdout);
    LinkData = nullptr;
    return rc;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("pipe2");
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    LoggingOperator dialogs;
    setOperatorDialogs(&dialogs);

    std::string pattern = (fs::temp_directory_path() / "load-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    int rc = 1;
    try {
        rc = run(app, pattern + "/instance");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "load_bench_host: %s\n", e.what());
    }
    setOperatorDialogs(nullptr);
    std::error_code ec;
    fs::remove_all(pattern, ec);
    return rc;
}
