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
// temporary folder. Boxes the service would show are counted, and listed
// with their counts on standard error at the end.
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

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSaPassword = "Sa#1234";

// Nobody sits at this console: questions are answered No, and every box is
// counted by its kind, caption and text. A hostile client makes the service
// show a box for each malformed record, thousands a second, so nothing is
// written while the boxes come; summary() lists them once, with their counts,
// on standard error when the host ends.
class LoggingOperator : public SilentOperator {
public:
    void showInfo(const QString& text, const QString& caption) override { count("info", text, caption); }
    void showError(const QString& text, const QString& caption) override { count("error", text, caption); }
    DialogAnswer askYesNo(const QString& text, const QString& caption) override
    {
        count("question", text, caption);
        return SilentOperator::askYesNo(text, caption);
    }
    DialogAnswer askYesNoCancel(const QString& text, const QString& caption) override
    {
        count("question", text, caption);
        return SilentOperator::askYesNoCancel(text, caption);
    }

    // One line per distinct box, most frequent first; at most kListed lines.
    void summary() const
    {
        std::vector<std::pair<std::string, long long>> boxes(counts_.begin(), counts_.end());
        std::sort(boxes.begin(), boxes.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        long long total = 0;
        for (const auto& box : boxes)
            total += box.second;
        if (total == 0)
            return;
        std::fprintf(stderr, "load_bench_host: %lld boxes, %zu distinct%s\n", total, boxes.size(),
                     dropped_ > 0 ? " (the texts of some were not kept apart)" : "");
        for (std::size_t i = 0; i < boxes.size() && i < kListed; ++i)
            std::fprintf(stderr, "load_bench_host: %lld x %s\n", boxes[i].second, boxes[i].first.c_str());
        if (boxes.size() > kListed)
            std::fprintf(stderr, "load_bench_host: ... and %zu more distinct boxes\n", boxes.size() - kListed);
    }

private:
    static constexpr std::size_t kListed = 20;
    static constexpr std::size_t kKept = 1000;   // distinct texts kept apart; beyond that they share one line

    void count(const char* kind, const QString& text, const QString& caption)
    {
        std::string key = std::string(kind) + " box [" + caption.toStdString() + "] " + text.toStdString();
        if (counts_.size() >= kKept && !counts_.contains(key)) {
            key = std::string(kind) + " box (other texts)";
            ++dropped_;
        }
        ++counts_[key];
    }

    std::map<std::string, long long> counts_;
    long long dropped_ = 0;
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
    dialogs.summary();
    std::error_code ec;
    fs::remove_all(pattern, ec);
    return rc;
}
