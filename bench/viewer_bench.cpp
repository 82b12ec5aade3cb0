// viewer_bench: the login-log viewer over a large log. For each row count
// (default 0 and 1,000,000) a throwaway instance holds the installed
// catalogue with its log filled (bench/clientlogfill.h); then a child
// process of this program, headless, opens the real viewer
// (TSrvClientLogForm over LinkData's catalogue connection) and measures
//
//   first paint   from creating the viewer to its grid's first paint
//   scroll to end from there until every row was fetched, the grid
//                 scrolled to the bottom as an operator dragging the bar
//   peak memory   the process's peak resident size while the viewer was
//                 open, above the idle program's (the main window and the
//                 catalogue connection, before the viewer)
//
// and, as the baseline in the same child, the old way of reading the same
// rows: Connection::query of the viewer's statement, every row at once.
// Printed with the targets: first paint under 0.5 s and peak memory under
// 100 MB above idle at 1,000,000 rows.
//
//   viewer_bench [rows ...]
#include "clientlogfill.h"
#include "clientlogmodel.h"
#include "installedbackups.h"
#include "instance.h"
#include "linkdm.h"
#include "operatordialogs.h"
#include "srvclientlog.h"
#include "srvmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr const char* kPassword = "";

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long statusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::atol(line.c_str() + prefix.size());
    return -1;
}

// Starts the peak resident size afresh from the current one.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The child: opens the viewer on the prepared instance and prints one line
// "figures <rows listed> <first paint ms> <scroll ms> <peak MB> <query ms> <query peak MB>".
int measure(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SilentOperator quiet;
    setOperatorDialogs(&quiet);
    TLinkData link;
    LinkData = &link;
    if (!link.ConnectCatalogue(QStringLiteral("."), QStringLiteral("VQTCWAccList"), kPassword, false)) {
        std::fprintf(stderr, "viewer_bench: cannot open the catalogue\n");
        return 1;
    }
    TSrvMainForm idleProgram;
    idleProgram.show();
    app.processEvents();
    const long idleKb = statusKb("VmRSS");
    resetPeak();

    QElapsedTimer clock;
    clock.start();
    double firstPaintMs = 0;
    double scrollMs = 0;
    int listed = 0;
    {
        TSrvClientLogForm viewer(&idleProgram);
        PaintCounter counter;
        viewer.grid()->viewport()->installEventFilter(&counter);
        viewer.show();   // shown: FormShow reads the rows
        while (counter.paints == 0 && clock.elapsed() < 60000)
            app.processEvents();
        firstPaintMs = clock.nsecsElapsed() / 1e6;

        clock.restart();
        QTableView* grid = viewer.grid();
        while (viewer.rows().canFetchMore()) {
            grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
            app.processEvents();
            if (viewer.rows().canFetchMore())
                viewer.rows().fetchMore();   // as the view does at the bottom
        }
        grid->scrollToBottom();
        app.processEvents();
        scrollMs = clock.nsecsElapsed() / 1e6;
        listed = viewer.rows().rowCount();
    }
    const double viewerPeakMb = (statusKb("VmHWM") - idleKb) / 1024.0;

    // The baseline: every row of the same statement at once.
    app.processEvents();
    const long beforeQueryKb = statusKb("VmRSS");
    resetPeak();
    clock.restart();
    std::size_t queried = 0;
    {
        vqsql::ResultSet all = link.AccListDB.query(
            " select * from T_ClientLog  where Closed=1 and LoginTime<'" +
            LogLimitText(QDate::currentDate()).toStdString() + "' order by KeyID DESC ");
        queried = all.rows.size();
    }
    const double queryMs = clock.nsecsElapsed() / 1e6;
    const double queryPeakMb = (statusKb("VmHWM") - beforeQueryKb) / 1024.0;
    if (queried != static_cast<std::size_t>(listed))
        std::fprintf(stderr, "viewer_bench: the viewer listed %d rows, the query %zu\n", listed, queried);

    std::printf("figures %d %.1f %.1f %.1f %.1f %.1f\n", listed, firstPaintMs, scrollMs, viewerPeakMb, queryMs,
                queryPeakMb);
    LinkData = nullptr;
    setOperatorDialogs(nullptr);
    return 0;
}

// Restores the catalogue in the instance VQSQL_HOME names and fills its log.
void prepare(const std::string& instance, long rows)
{
    vqsql::Connection c;
    c.open(vqsql::ConnectionParams{".", "master", "sa", kPassword});
    c.execute("if exists (select 1 from master..sysdatabases where name = 'VQTCWAccList') drop database VQTCWAccList");
    vqtest::restoreInstalledBackup(c, instance, "VQTCWAccList");
    c.execute("use VQTCWAccList");
    vqbench::fillClientLog(c, rows);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--child") == 0)
        return measure(argc, argv);

    std::vector<long> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atol(argv[i]));
    if (counts.empty())
        counts = {0, 1000000};

    std::string pattern = (fs::temp_directory_path() / "viewer-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string instance = pattern + "/instance";
    setenv("VQSQL_HOME", instance.c_str(), 1);
    vqsql::initialiseInstance(instance, kPassword);

    std::printf("%10s %8s %14s %14s %14s %12s %14s\n", "log rows", "listed", "first paint ms", "scroll end ms",
                "peak MB", "query ms", "query peak MB");
    int rc = 0;
    for (long rows : counts) {
        prepare(instance, rows);
        std::fflush(stdout);
        const std::string self = fs::canonical("/proc/self/exe").string();
        const std::string command = "'" + self + "' --child";
        FILE* child = popen(command.c_str(), "r");
        char line[512] = {};
        int listed = 0;
        double paint = 0, scroll = 0, peak = 0, query = 0, queryPeak = 0;
        bool got = false;
        while (child && std::fgets(line, sizeof line, child))
            if (std::sscanf(line, "figures %d %lf %lf %lf %lf %lf", &listed, &paint, &scroll, &peak, &query,
                            &queryPeak) == 6)
                got = true;
        if (!child || pclose(child) != 0 || !got) {
            std::fprintf(stderr, "viewer_bench: the measuring process failed for %ld rows\n", rows);
            rc = 1;
            continue;
        }
        std::printf("%10ld %8d %14.1f %14.1f %14.1f %12.1f %14.1f\n", rows, listed, paint, scroll, peak, query,
                    queryPeak);
        std::printf("%10s %8s %14s %14s %14s   (viewer against query: time to first rows %.3f, peak %.3f)\n", "",
                    "", paint < 500 ? "target met" : "TARGET MISSED", "", peak < 100 ? "target met" : "TARGET MISSED",
                    query > 0 ? paint / query : 0.0, queryPeak > 0 ? peak / queryPeak : 0.0);
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return rc;
}
