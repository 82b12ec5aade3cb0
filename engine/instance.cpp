// Engine instances on disk.
#include "instance.h"

#include "catalog.h"
#include "file_lock.h"
#include "functions.h"
#include "password_hash.h"
#include "sqlite_util.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// Creates (empty) or truncates a file readable and writable by its owner
// only, so that SQLite, which keeps the mode of an existing file, and the
// files it makes beside it, never expose what is written into it.
bool createPrivateFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    ::close(fd);
    return true;
}

}  // namespace

void restrictToOwner(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (info.st_mode & 077) != 0 && info.st_uid == ::getuid())
        ::chmod(path.c_str(), info.st_mode & 0700);
}

void removeAbandonedRestore(const std::string& dataFile)
{
    const std::string temp = dataFile + kRestoringSuffix;
    std::error_code ec;
    if (!fs::exists(temp, ec))
        return;
    FileLock lock;
    if (!lock.lockExclusive(temp) || !lock.locksFile(temp))
        return;   // a restore is writing it
    for (const char* suffix : {"-wal", "-shm", "-journal", ""})
        fs::remove(temp + suffix, ec);
}

void removeAbandonedRestores(const std::string& folder)
{
    const std::string suffix = kRestoringSuffix;
    std::error_code ec;
    std::vector<std::string> dataFiles;
    for (fs::directory_iterator it(instanceDataFolder(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            dataFiles.push_back(it->path().string().substr(0, it->path().string().size() - suffix.size()));
    }
    for (const std::string& f : dataFiles)
        removeAbandonedRestore(f);
}

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
    // The data folder holds every database: its owner's alone.
    if (!ec)
        fs::permissions(instanceDataFolder(folder), fs::perms::owner_all, fs::perm_options::replace, ec);
    if (ec)
        throw SqlException(5123, "CREATE FILE encountered operating system error " + ec.message() +
                                     " while attempting to open or create the physical file '" + folder + "'.");
    const std::string masterFile = instanceMasterFile(folder);
    const std::string tempFile = masterFile + ".init";
    fs::remove(tempFile, ec);
    if (!createPrivateFile(tempFile))
        throw SqlException(5123, "CREATE FILE encountered operating system error while attempting to open or create "
                                 "the physical file '" + masterFile + "'.");
    try {
        MasterFile master(tempFile);
        sqlite3* db = master.db;
        execSql(db, "BEGIN");
        createSystemTables(db, "master", true);
        execSql(db, "INSERT INTO master.sysdatabases(name, dbid, crdate, filename, logfilename, datalogical, "
                    "loglogical) VALUES('master', 1, vq_getdate(), " +
                        quoteString(masterFile) + ", " + quoteString(instanceDataFolder(folder) + "/mastlog.ldf") +
                        ", 'master', 'mastlog')");
        execSql(db, "INSERT INTO master.syslogins(name, password) VALUES('sa', " + quoteString(hashPassword(saPassword)) + ")");
        execSql(db, "COMMIT");
    } catch (...) {
        fs::remove(tempFile, ec);
        throw;
    }
    // The log file of master exists as it does beside SQL Server's master.
    const std::string masterLog = instanceDataFolder(folder) + "/mastlog.ldf";
    if (createPrivateFile(masterLog)) {
        if (FILE* f = std::fopen(masterLog.c_str(), "wb")) {
            std::fputs("VQSQL LOG\n", f);
            std::fclose(f);
        }
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
    if (!check.step() || !passwordMatches(check.columnText(0), oldPassword))
        throw SqlException(18456, "Login failed for user 'sa'.", 1, 14);
    check.reset();
    Stmt update(master.db, "UPDATE master.syslogins SET password = ?1 WHERE name = 'sa'");
    update.bind(1, hashPassword(newPassword));
    update.step();
    restrictToOwner(instanceMasterFile(folder));
    restrictToOwner(instanceDataFolder(folder) + "/mastlog.ldf");
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
