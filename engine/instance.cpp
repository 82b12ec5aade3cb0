// Engine instances on disk.
#include "instance.h"

#include "catalog.h"
#include "functions.h"
#include "sqlite_util.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace vqsql {

namespace fs = std::filesystem;

namespace {

// An SQLite handle with the engine's functions and a master database file
// attached as "master"; closed when it goes.
struct MasterFile {
    sqlite3* db = nullptr;

    explicit MasterFile(const std::string& file)
    {
        if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
            sqlite3_close(db);
            throw SqlException(err::Internal, "cannot open SQLite");
        }
        try {
            registerEngineFunctions(db);
            execSql(db, "ATTACH DATABASE " + quoteString(file) + " AS master");
        } catch (...) {
            sqlite3_close(db);
            throw;
        }
    }
    ~MasterFile() { sqlite3_close(db); }
    MasterFile(const MasterFile&) = delete;
    MasterFile& operator=(const MasterFile&) = delete;
};

}  // namespace

std::string defaultInstanceFolder()
{
    if (const char* home = std::getenv("VQSQL_HOME"); home && *home)
        return home;
    const char* user = std::getenv("HOME");
    std::string base = user && *user ? user : "/tmp";
    return base + "/.local/share/vqsql";
}

std::string instanceFolderFor(const std::string& dataSource)
{
    std::string ds = dataSource;
    while (!ds.empty() && ds.back() == ' ')
        ds.pop_back();
    while (!ds.empty() && ds.front() == ' ')
        ds.erase(ds.begin());
    // "tcp:" prefixes and ",port" suffixes name the same local instance.
    if (ds.rfind("tcp:", 0) == 0)
        ds = ds.substr(4);
    if (auto comma = ds.find(','); comma != std::string::npos && ds.find('/') == std::string::npos)
        ds = ds.substr(0, comma);
    char host[256] = {0};
    gethostname(host, sizeof host - 1);
    if (ds.empty() || ds == "." || equalsIgnoreCase(ds, "(local)") || equalsIgnoreCase(ds, "localhost") ||
        ds == "127.0.0.1" || equalsIgnoreCase(ds, host))
        return defaultInstanceFolder();
    if (ds.find('/') != std::string::npos)
        return ds;
    return {};
}

std::string instanceDataFolder(const std::string& folder)
{
    return folder + "/Data";
}

std::string instanceMasterFile(const std::string& folder)
{
    return instanceDataFolder(folder) + "/master.mdf";
}

bool isInstanceInitialised(const std::string& folder)
{
    std::error_code ec;
    return fs::is_regular_file(instanceMasterFile(folder), ec);
}

void initialiseInstance(const std::string& folder, const std::string& saPassword)
{
    if (isInstanceInitialised(folder))
        throw SqlException(1801, "The instance in '" + folder + "' is already initialised.");
    std::error_code ec;
    fs::create_directories(instanceDataFolder(folder), ec);
    if (ec)
        throw SqlException(5123, "CREATE FILE encountered operating system error " + ec.message() +
                                     " while attempting to open or create the physical file '" + folder + "'.");
    const std::string masterFile = instanceMasterFile(folder);
    const std::string tempFile = masterFile + ".init";
    fs::remove(tempFile, ec);
    try {
        MasterFile master(tempFile);
        sqlite3* db = master.db;
        execSql(db, "BEGIN");
        createSystemTables(db, "master", true);
        execSql(db, "INSERT INTO master.sysdatabases(name, dbid, crdate, filename, logfilename, datalogical, "
                    "loglogical) VALUES('master', 1, vq_getdate(), " +
                        quoteString(masterFile) + ", " + quoteString(instanceDataFolder(folder) + "/mastlog.ldf") +
                        ", 'master', 'mastlog')");
        execSql(db, "INSERT INTO master.syslogins(name, password) VALUES('sa', " + quoteString(saPassword) + ")");
        execSql(db, "COMMIT");
    } catch (...) {
        fs::remove(tempFile, ec);
        throw;
    }
    // The log file of master exists as it does beside SQL Server's master.
    if (FILE* f = std::fopen((instanceDataFolder(folder) + "/mastlog.ldf").c_str(), "wb")) {
        std::fputs("VQSQL LOG\n", f);
        std::fclose(f);
    }
    fs::rename(tempFile, masterFile, ec);
    if (ec)
        throw SqlException(5123, "cannot create '" + masterFile + "': " + ec.message());
    startInstance(folder);
}

namespace {

std::string runningFlag(const std::string& folder)
{
    return folder + "/running";
}

void requireInstance(const std::string& folder)
{
    if (!isInstanceInitialised(folder))
        throw SqlException(17, "No engine instance is installed in '" + folder + "'.");
}

}  // namespace

bool isInstanceRunning(const std::string& folder)
{
    std::error_code ec;
    return isInstanceInitialised(folder) && fs::exists(runningFlag(folder), ec);
}

void startInstance(const std::string& folder)
{
    requireInstance(folder);
    FILE* f = std::fopen(runningFlag(folder).c_str(), "wb");
    if (!f)
        throw SqlException(17, "Cannot start the instance in '" + folder + "'.");
    std::fputs("running\n", f);
    std::fclose(f);
}

void stopInstance(const std::string& folder)
{
    requireInstance(folder);
    std::error_code ec;
    fs::remove(runningFlag(folder), ec);
    if (ec)
        throw SqlException(17, "Cannot stop the instance in '" + folder + "': " + ec.message());
}

void changeSaPassword(const std::string& folder, const std::string& oldPassword, const std::string& newPassword)
{
    requireInstance(folder);
    MasterFile master(instanceMasterFile(folder));
    sqlite3_busy_timeout(master.db, 30000);
    Stmt check(master.db, "SELECT password FROM master.syslogins WHERE name = 'sa'");
    if (!check.step() || check.columnText(0) != oldPassword)
        throw SqlException(18456, "Login failed for user 'sa'.", 1, 14);
    check.reset();
    Stmt update(master.db, "UPDATE master.syslogins SET password = ?1 WHERE name = 'sa'");
    update.bind(1, newPassword);
    update.step();
}

bool isDefaultInstanceInstalled()
{
    return isInstanceInitialised(defaultInstanceFolder());
}

bool isDefaultInstanceRunning()
{
    return isInstanceRunning(defaultInstanceFolder());
}

}  // namespace vqsql
