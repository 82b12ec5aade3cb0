// backup_bench: times BACKUP DATABASE and RESTORE DATABASE of a large
// database beside a plain copy of its data file (cp) made in the same run,
// and prints the ratios.
//
//   backup_bench [megabytes]          default 200
//
// The database lives in a throwaway instance in a temporary folder. Its
// one table is filled by doubling (INSERT ... SELECT of itself) with rows
// of about 1 KB until the data file reaches the size asked for.
#include "connection.h"
#include "instance.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace fs = std::filesystem;

namespace {

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void run(vqsql::Connection& c, const std::string& sql)
{
    vqsql::BatchResult r = c.run(sql);
    if (!r.ok()) {
        std::fprintf(stderr, "%s\n%s\n", sql.c_str(), r.errors.front().format().c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 200.0;
    char pattern[] = "/tmp/backup-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    const std::string instance = (root / "instance").string();
    vqsql::initialiseInstance(instance, "");
    const std::string data = instance + "/Data";

    {
        vqsql::Connection c;
        c.open(vqsql::ConnectionParams{instance, "master", "sa", ""});
        c.setCommandTimeout(0);
        run(c, "create database Big");
        run(c, "use Big");
        run(c, "create table Rows (KeyID int primary key, Payload varchar(1000))");
        run(c, "insert into Rows values (1, replicate('x', 1000))");
        const fs::path file = data + "/Big.mdf";
        while (fs::file_size(file) < megabytes * 1048576.0)
            run(c, "insert into Rows select KeyID + (select max(KeyID) from Rows), Payload from Rows");
        run(c, "use master");
    }
    const std::uintmax_t size = fs::file_size(data + "/Big.mdf");

    vqsql::Connection c;
    c.open(vqsql::ConnectionParams{instance, "master", "sa", ""});
    c.setCommandTimeout(0);
    const std::string backupFile = (root / "big.bak").string();
    const double copySeconds = seconds([&] {
        const std::string cmd = "cp '" + data + "/Big.mdf' '" + (root / "copy.mdf").string() + "'";
        if (std::system(cmd.c_str()) != 0)
            std::exit(1);
    });
    const double backupSeconds = seconds([&] { run(c, "backup database Big to disk = '" + backupFile + "'"); });
    const double restoreSeconds = seconds([&] {
        run(c, "restore database Big2 from disk = '" + backupFile + "' with move 'Big' to '" + data +
                   "/Big2.mdf', move 'Big_log' to '" + data + "/Big2_log.ldf'");
    });

    std::printf("backup_bench: data file %.1f MB\n\n", size / 1048576.0);
    std::printf("%-22s %10s %8s\n", "operation", "seconds", "x cp");
    std::printf("%-22s %10.3f %8.2f\n", "cp of the data file", copySeconds, 1.0);
    std::printf("%-22s %10.3f %8.2f\n", "BACKUP DATABASE", backupSeconds, backupSeconds / copySeconds);
    std::printf("%-22s %10.3f %8.2f\n", "RESTORE DATABASE", restoreSeconds, restoreSeconds / copySeconds);

    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
