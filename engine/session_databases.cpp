// Statements on whole databases: CREATE, DROP and ALTER DATABASE, BACKUP
// and RESTORE.
//
// Who uses a database is told by file locks (file_lock.h): a connection
// holds a shared lock on the log file of every database it has open, and
// DROP and RESTORE take the exclusive lock, so they are refused while any
// other connection, in this process or another, uses the database.
//
// A restore never damages what it replaces: the backup is checked whole
// (checksum) and written to a temporary file beside the target, that file
// is checked as a database, and only then is it renamed over the old data
// file. A failure at any step leaves the old database exactly as it was
// and nothing half-made behind.
#include "backup_file.h"
#include "catalog.h"
#include "functions.h"
#include "instance.h"
#include "session.h"
#include "session_internal.h"
#include "sqlite_util.h"
#include "version.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace vqsql {

namespace fs = std::filesystem;

namespace {

// SQL Server reports sizes in 8 KB pages.
long long pagesOf(std::uint64_t bytes)
{
    return static_cast<long long>((bytes + 8191) / 8192);
}

std::string secondsText(double seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", seconds);
    return buf;
}

std::string rateText(std::uint64_t bytes, double seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", seconds > 0 ? bytes / 1048576.0 / seconds : 0.0);
    return buf;
}

// Removes a database file and the files SQLite keeps beside it.
void removeDataFiles(const std::string& file)
{
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(file + suffix, ec);
}

void writeLogFile(const std::string& path, const std::string& database)
{
    if (FILE* f = std::fopen(path.c_str(), "ab")) {
        if (std::ftell(f) == 0)
            std::fputs(("VQSQL LOG " + database + "\n").c_str(), f);
        std::fclose(f);
    }
}

SqlException withClosing(const SqlException& e, const std::string& operation)
{
    std::vector<SqlError> errors = e.errors();
    if (errors.back().number != 3013)
        errors.push_back(SqlError{3013, 16, 1, 1, operation + " is terminating abnormally."});
    return SqlException(errors);
}

std::string nowText(sqlite3* db)
{
    Stmt q(db, "SELECT vq_getdate()");
    q.step();
    return q.columnText(0);
}

// Checks that a restored file is a sound database of this engine.
bool isSoundDatabase(const std::string& file)
{
    sqlite3* db = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        registerEngineFunctions(db) == SQLITE_OK) {
        try {
            Stmt check(db, "PRAGMA quick_check");
            ok = check.step() && check.columnText(0) == "ok";
            if (ok) {
                Stmt objects(db, "SELECT count(*) FROM sysobjects WHERE name IN ('sysobjects','syscolumns','systypes')");
                ok = objects.step() && objects.columnInt(0) == 3;
            }
        } catch (const SqlException&) {
            ok = false;
        }
    }
    sqlite3_close(db);
    return ok;
}

// The name of a database's files in the data folder (without ".mdf" or
// "_log.ldf"). SQL Server allows nearly any character in a database name,
// but a name must never reach outside the data folder nor hide from a
// listing: path separators, control characters (NUL among them), the
// characters file systems refuse and a leading dot become '_'. Letters,
// digits, CJK and the other characters of UTF-8 text stay as they are.
std::string databaseFileStem(const std::string& name)
{
    std::string stem = name;
    for (char& c : stem) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || std::strchr("/\\:*?\"<>|", c) != nullptr)
            c = '_';
    }
    if (!stem.empty() && stem.front() == '.')
        stem.front() = '_';
    return stem;
}

// The exclusive lock on a restore's temporary file, created empty when
// missing. A clean-up that holds it for a moment (it found a file of an
// earlier, killed restore) is waited for briefly; the lock must be on the
// file the path names once that clean-up has removed it.
FileLock lockRestoringFile(const std::string& temp)
{
    FileLock lock;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (lock.lockExclusive(temp) && lock.locksFile(temp))
            return lock;
        lock.release();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return lock;
}

}  // namespace

std::string Session::diskPath(const ast::Expr& e, RunState& st)
{
    SqlType text = varcharType(-1);
    text.length = -1;
    return evaluateScalar(e, &text, st).toString();
}

// Takes the exclusive lock of a database for DROP, RESTORE or a rename;
// this session lets go of it first.
FileLock Session::lockExclusively(const DatabaseRow& row, int inUseError, const std::string& inUseMessage,
                                  const std::string& operation)
{
    detach(row.name);
    FileLock lock;
    if (!lock.lockExclusive(row.logFile)) {
        if (operation.empty())
            throw SqlException(inUseError, inUseMessage);
        throw SqlException(std::vector<SqlError>{{inUseError, 16, 1, 1, inUseMessage},
                                                 {3013, 16, 1, 1, operation + " is terminating abnormally."}});
    }
    return lock;
}

void Session::createDatabase(const ast::CreateDatabaseStmt& s, RunState& st)
{
    if (tranCount_ > 0)
        throw SqlException(226, "CREATE DATABASE statement not allowed within multi-statement transaction.",
                           s.pos.line);
    const std::string& name = s.database;
    if (databaseRow(name))
        throw SqlException(1801, "Database '" + name + "' already exists. Choose a different database name.",
                           s.pos.line);
    auto pathOf = [&](const std::vector<ast::DatabaseFileOptions>& files, const std::string& fallback,
                      std::string& logical, const std::string& defaultLogical) {
        logical = defaultLogical;
        if (files.empty())
            return fallback;
        if (!files.front().logicalName.empty())
            logical = files.front().logicalName;
        return files.front().fileName ? diskPath(*files.front().fileName, st) : fallback;
    };
    const std::string folder = instanceDataFolder(folder_);
    std::string dataLogical, logLogical;
    const std::string stem = folder + "/" + databaseFileStem(name);
    const std::string dataFile = pathOf(s.dataFiles, stem + ".mdf", dataLogical, name);
    const std::string logFile = pathOf(s.logFiles, stem + "_log.ldf", logLogical, name + "_log");
    for (const std::string& f : {dataFile, logFile})
        if (fs::exists(f))
            throw SqlException(std::vector<SqlError>{
                {5170, 16, 1, s.pos.line,
                 "Cannot create file '" + f +
                     "' because it already exists. Change the file path or the file name, and retry the operation."},
                {1802, 16, 4, s.pos.line,
                 "CREATE DATABASE failed. Some file names listed could not be created. Check related errors."}});

    // The data file is made complete under a temporary name first.
    const std::string temp = dataFile + ".creating";
    removeDataFiles(temp);
    sqlite3* db = nullptr;
    bool made = false;
    if (sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK &&
        registerEngineFunctions(db) == SQLITE_OK) {
        try {
            execSql(db, "PRAGMA journal_mode=WAL");
            execSql(db, "BEGIN");
            createSystemTables(db, "main", false);
            execSql(db, "COMMIT");
            made = true;
        } catch (const SqlException&) {
            made = false;
        }
    }
    sqlite3_close(db);
    std::error_code ec;
    if (made)
        fs::rename(temp, dataFile, ec);
    if (!made || ec) {
        removeDataFiles(temp);
        throw SqlException(5123, "CREATE FILE encountered operating system error while attempting to open or create "
                                 "the physical file '" + dataFile + "'.",
                           s.pos.line);
    }
    writeLogFile(logFile, name);
    Stmt insert(db_, "INSERT INTO master.sysdatabases(name, dbid, crdate, filename, logfilename, datalogical, "
                     "loglogical) VALUES(?1, (SELECT max(dbid) + 1 FROM master.sysdatabases), vq_getdate(), ?2, ?3, "
                     "?4, ?5)");
    insert.bind(1, name).bind(2, dataFile).bind(3, logFile).bind(4, dataLogical).bind(5, logLogical);
    insert.step();
}

void Session::dropDatabase(const ast::DropDatabaseStmt& s)
{
    if (tranCount_ > 0)
        throw SqlException(574, "DROP DATABASE statement cannot be used inside a user transaction.", s.pos.line);
    for (const std::string& name : s.databases) {
        auto row = databaseRow(name);
        if (!row) {
            if (s.ifExists)
                continue;
            throw SqlException(3701, "Cannot drop the database '" + name +
                                         "', because it does not exist or you do not have permission.",
                               s.pos.line);
        }
        if (equalsIgnoreCase(row->name, "master"))
            throw SqlException(3708, "Cannot drop the database 'master' because it is a system database.", s.pos.line);
        const std::string inUse = "Cannot drop database \"" + row->name + "\" because it is currently in use.";
        if (equalsIgnoreCase(row->name, current_))
            throw SqlException(3702, inUse, s.pos.line);
        FileLock lock = lockExclusively(*row, 3702, inUse, {});
        Stmt del(db_, "DELETE FROM master.sysdatabases WHERE name = ?1 COLLATE vq_ci");
        del.bind(1, row->name);
        del.step();
        removeDataFiles(row->file);
        std::error_code ec;
        fs::remove(row->logFile, ec);
        bumpSchemaGeneration();
    }
}

void Session::alterDatabase(const ast::AlterDatabaseStmt& s)
{
    auto row = databaseRow(s.database);
    if (!row)
        throw SqlException(911, "Database '" + s.database +
                                    "' does not exist. Make sure that the name is entered correctly.",
                           s.pos.line);
    switch (s.action) {
    case ast::AlterDatabaseStmt::Action::ModifyFile: {
        const std::string& logical = s.file.logicalName;
        if (s.file.newName.empty())
            throw SqlException(err::Unsupported,
                               "The engine changes logical file names only (MODIFY FILE (NAME = ..., NEWNAME = ...)).",
                               s.pos.line);
        const char* column = equalsIgnoreCase(row->dataLogical, logical) ? "datalogical"
                             : equalsIgnoreCase(row->logLogical, logical) ? "loglogical"
                                                                           : nullptr;
        if (!column)
            throw SqlException(5041, "MODIFY FILE failed. File '" + logical + "' does not exist.", s.pos.line);
        const std::string& other = column == std::string("datalogical") ? row->logLogical : row->dataLogical;
        if (equalsIgnoreCase(other, s.file.newName))
            throw SqlException(1828, "The logical file name \"" + s.file.newName + "\" is already in use. Choose a "
                                                                                   "different name.",
                               s.pos.line);
        Stmt u(db_, std::string("UPDATE master.sysdatabases SET ") + column + " = ?1 WHERE name = ?2 COLLATE vq_ci");
        u.bind(1, s.file.newName).bind(2, row->name);
        u.step();
        break;
    }
    case ast::AlterDatabaseStmt::Action::ModifyName: {
        if (databaseRow(s.newName))
            throw SqlException(1801, "Database '" + s.newName + "' already exists. Choose a different database name.",
                               s.pos.line);
        if (equalsIgnoreCase(row->name, "master") || equalsIgnoreCase(row->name, current_))
            throw SqlException(5030, "The database could not be exclusively locked to perform the operation.",
                               s.pos.line);
        FileLock lock = lockExclusively(*row, 5030,
                                        "The database could not be exclusively locked to perform the operation.", {});
        Stmt u(db_, "UPDATE master.sysdatabases SET name = ?1 WHERE name = ?2 COLLATE vq_ci");
        u.bind(1, s.newName).bind(2, row->name);
        u.step();
        bumpSchemaGeneration();
        break;
    }
    case ast::AlterDatabaseStmt::Action::Set:
        break;   // database options have no effect on this engine
    }
}

void Session::backupDatabase(const ast::BackupStmt& s, RunState& st)
{
    const std::string operation = "BACKUP DATABASE";
    if (tranCount_ > 0)
        throw SqlException(std::vector<SqlError>{
            {3021, 16, 1, s.pos.line, "Cannot perform a backup or restore operation within a transaction."},
            {3013, 16, 1, s.pos.line, operation + " is terminating abnormally."}});
    auto row = databaseRow(s.database);
    if (!row)
        throw SqlException(std::vector<SqlError>{
            {911, 16, 11, s.pos.line,
             "Database '" + s.database + "' does not exist. Make sure that the name is entered correctly."},
            {3013, 16, 1, s.pos.line, operation + " is terminating abnormally."}});
    const std::string file = diskPath(*s.disk, st);
    const auto started = std::chrono::steady_clock::now();
    const std::string alias = schemaFor(row->name);

    // A consistent copy of the database as it is now, through SQLite's
    // online backup: other connections may go on working meanwhile.
    const std::string snapshot = file + ".snapshot";
    removeDataFiles(snapshot);
    sqlite3* dest = nullptr;
    bool copied = false;
    if (sqlite3_open_v2(snapshot.c_str(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
        // The snapshot is a scratch file: no journal, no syncing (the backup
        // file written from it is synced).
        sqlite3_exec(dest, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
        if (sqlite3_backup* b = sqlite3_backup_init(dest, "main", db_, alias.c_str())) {
            // Steps of 4 MiB of pages, so that progress can be reported;
            // the progress is the snapshot (first half) then the file.
            int rc;
            while ((rc = sqlite3_backup_step(b, 1024)) == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
                if (rc != SQLITE_OK)
                    sqlite3_sleep(10);
                else if (progress_ && sqlite3_backup_pagecount(b) > 0)
                    progress_(static_cast<std::uint64_t>(sqlite3_backup_pagecount(b) - sqlite3_backup_remaining(b)),
                              2 * static_cast<std::uint64_t>(sqlite3_backup_pagecount(b)));
            }
            copied = sqlite3_backup_finish(b) == SQLITE_OK && rc == SQLITE_DONE;
        }
        if (copied) {
            // The copy stands alone: no write-ahead log beside it.
            copied = sqlite3_exec(dest, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) == SQLITE_OK;
        }
    }
    sqlite3_close(dest);
    if (!copied) {
        removeDataFiles(snapshot);
        throw SqlException(std::vector<SqlError>{
            {3201, 16, 1, s.pos.line, "Cannot open backup device '" + file + "'."},
            {3013, 16, 1, s.pos.line, operation + " is terminating abnormally."}});
    }

    BackupHeader header;
    header.database = row->name;
    header.dataLogical = row->dataLogical;
    header.logLogical = row->logLogical;
    header.dataPhysical = row->file;
    header.logPhysical = row->logFile;
    header.created = nowText(db_);
    header.engine = engineVersionText();
    std::error_code ec;
    const std::uint64_t size = fs::file_size(snapshot, ec);
    try {
        ByteProgress second;
        if (progress_)
            second = [this](std::uint64_t done, std::uint64_t total) { progress_(total + done, 2 * total); };
        writeBackupFile(file, header, snapshot, second);
    } catch (const SqlException& e) {
        removeDataFiles(snapshot);
        throw withClosing(e, operation);
    }
    removeDataFiles(snapshot);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    st.result->addMessage("Processed " + std::to_string(pagesOf(size)) + " pages for database '" + row->name +
                          "', file '" + row->dataLogical + "' on file 1.");
    st.result->addMessage("BACKUP DATABASE successfully processed " + std::to_string(pagesOf(size)) + " pages in " +
                          secondsText(seconds) + " seconds (" + rateText(size, seconds) + " MB/sec).");
}

void Session::restore(const ast::RestoreStmt& s, RunState& st)
{
    const std::string file = diskPath(*s.disk, st);
    switch (s.what) {
    case ast::RestoreStmt::Kind::Database:
        restoreDatabase(s, file, st);
        return;
    case ast::RestoreStmt::Kind::VerifyOnly:
        readBackupFile(file, "VERIFY DATABASE");
        st.result->addMessage("The backup set on file 1 is valid.");
        return;
    case ast::RestoreStmt::Kind::HeaderOnly: {
        BackupHeader h = readBackupFile(file, "RESTORE HEADERONLY");
        ResultSet rs;
        auto col = [&](const char* name, BaseType base, int length = 0) {
            SqlType t;
            t.base = base;
            t.length = length;
            rs.columns.push_back({name, t});
        };
        col("BackupName", BaseType::NVarChar, 128);
        col("BackupType", BaseType::SmallInt);
        col("DatabaseName", BaseType::NVarChar, 128);
        col("BackupSize", BaseType::BigInt);
        col("BackupStartDate", BaseType::DateTime);
        col("BackupFinishDate", BaseType::DateTime);
        col("SoftwareVersionMajor", BaseType::Int);
        col("Position", BaseType::SmallInt);
        rs.rows.push_back({Value::null(), Value::fromInteger(1), Value::fromText(h.database),
                           Value::fromInteger(static_cast<std::int64_t>(h.dataSize)), Value::fromDateTime(h.created),
                           Value::fromDateTime(h.created), Value::fromInteger(10), Value::fromInteger(1)});
        rs.countShown = !noCount_;
        st.result->addResultSet(std::move(rs));
        return;
    }
    case ast::RestoreStmt::Kind::FileListOnly: {
        BackupHeader h = readBackupFile(file, "RESTORE FILELIST");
        ResultSet rs;
        auto col = [&](const char* name, BaseType base, int length = 0, int precision = 0) {
            SqlType t;
            t.base = base;
            t.length = length;
            t.precision = precision;
            rs.columns.push_back({name, t});
        };
        col("LogicalName", BaseType::NVarChar, 128);
        col("PhysicalName", BaseType::NVarChar, 260);
        col("Type", BaseType::Char, 1);
        col("FileGroupName", BaseType::NVarChar, 128);
        col("Size", BaseType::Numeric, 0, 20);
        col("MaxSize", BaseType::Numeric, 0, 20);
        col("FileId", BaseType::BigInt);
        col("CreateLSN", BaseType::Numeric, 0, 25);
        col("DropLSN", BaseType::Numeric, 0, 25);
        col("UniqueId", BaseType::UniqueIdentifier, 36);
        col("ReadOnlyLSN", BaseType::Numeric, 0, 25);
        col("ReadWriteLSN", BaseType::Numeric, 0, 25);
        col("BackupSizeInBytes", BaseType::BigInt);
        col("SourceBlockSize", BaseType::Int);
        col("FileGroupId", BaseType::Int);
        col("LogGroupGUID", BaseType::UniqueIdentifier, 36);
        col("DifferentialBaseLSN", BaseType::Numeric, 0, 25);
        col("DifferentialBaseGUID", BaseType::UniqueIdentifier, 36);
        col("IsReadOnly", BaseType::Bit);
        col("IsPresent", BaseType::Bit);
        const auto size = static_cast<double>(h.dataSize);
        const double maxSize = 35184372080640.0;   // SQL Server's "unlimited"
        rs.rows.push_back({Value::fromText(h.dataLogical), Value::fromText(h.dataPhysical), Value::fromText("D"),
                           Value::fromText("PRIMARY"), Value::fromNumber(size), Value::fromNumber(maxSize),
                           Value::fromInteger(1), Value::fromNumber(0), Value::null(),
                           Value::fromText("00000000-0000-0000-0000-000000000001"), Value::null(), Value::null(),
                           Value::fromInteger(static_cast<std::int64_t>(h.dataSize)), Value::fromInteger(512),
                           Value::fromInteger(1), Value::null(), Value::null(),
                           Value::fromText("00000000-0000-0000-0000-000000000000"), Value::fromInteger(0),
                           Value::fromInteger(1)});
        rs.rows.push_back({Value::fromText(h.logLogical), Value::fromText(h.logPhysical), Value::fromText("L"),
                           Value::null(), Value::fromNumber(524288), Value::fromNumber(2199023255552.0),
                           Value::fromInteger(2), Value::fromNumber(0), Value::null(),
                           Value::fromText("00000000-0000-0000-0000-000000000002"), Value::null(), Value::null(),
                           Value::fromInteger(0), Value::fromInteger(512), Value::fromInteger(0), Value::null(),
                           Value::null(), Value::fromText("00000000-0000-0000-0000-000000000000"),
                           Value::fromInteger(0), Value::fromInteger(1)});
        rs.countShown = !noCount_;
        st.result->addResultSet(std::move(rs));
        return;
    }
    }
}

void Session::restoreDatabase(const ast::RestoreStmt& s, const std::string& file, RunState& st)
{
    const std::string operation = "RESTORE DATABASE";
    auto fail = [&](int number, const std::string& message) {
        throw SqlException(std::vector<SqlError>{{number, 16, 1, s.pos.line, message},
                                                 {3013, 16, 1, s.pos.line, operation + " is terminating abnormally."}});
    };
    if (tranCount_ > 0)
        fail(3021, "Cannot perform a backup or restore operation within a transaction.");
    const std::string& name = s.database;
    if (equalsIgnoreCase(name, "master"))
        fail(3108, "To restore the master database, the server must be running in single-user mode.");
    const auto started = std::chrono::steady_clock::now();
    BackupHeader header = readBackupHeader(file, operation);   // the checksum is checked while extracting

    // Where the files go: MOVE, else the files of the database replaced,
    // else the data folder under the database's name.
    std::string dataFile, logFile;
    for (const ast::RestoreMove& m : s.moves) {
        const std::string logical = diskPath(*m.logicalName, st);
        const std::string physical = diskPath(*m.physicalName, st);
        if (equalsIgnoreCase(logical, header.dataLogical))
            dataFile = physical;
        else if (equalsIgnoreCase(logical, header.logLogical))
            logFile = physical;
        else
            fail(3234, "Logical file '" + logical + "' is not part of database '" + name +
                           "'. Use RESTORE FILELISTONLY to list the logical file names.");
    }
    auto existing = databaseRow(name);
    if (existing && !s.replace) {
        if (!equalsIgnoreCase(header.database, existing->name))
            fail(3154, "The backup set holds a backup of a database other than the existing '" + existing->name +
                           "' database.");
        fail(3159, "The tail of the log for the database \"" + existing->name +
                       "\" has not been backed up. Use BACKUP LOG WITH NORECOVERY to backup the log if it contains work "
                       "you do not want to lose. Use the WITH REPLACE or WITH STOPAT clause of the RESTORE statement to "
                       "just overwrite the contents of the log.");
    }
    const std::string folder = instanceDataFolder(folder_);
    if (dataFile.empty())
        dataFile = existing ? existing->file : folder + "/" + databaseFileStem(name) + ".mdf";
    if (logFile.empty())
        logFile = existing ? existing->logFile : folder + "/" + databaseFileStem(name) + "_log.ldf";

    // The target files must not belong to another database.
    {
        Stmt q(db_, "SELECT name, filename, logfilename FROM master.sysdatabases WHERE name <> ?1 COLLATE vq_ci");
        q.bind(1, name);
        while (q.step()) {
            for (int i = 1; i <= 2; ++i) {
                const std::string used = q.columnText(i);
                if (used == dataFile || used == logFile)
                    fail(1834, "The file '" + used + "' cannot be overwritten.  It is being used by database '" +
                                   q.columnText(0) + "'.");
            }
        }
    }
    if (!existing && !s.replace && fs::exists(dataFile))
        fail(3142, "File \"" + header.dataLogical + "\" cannot be restored over the existing \"" + dataFile +
                       "\". Reissue the RESTORE statement using WITH REPLACE to overwrite pre-existing files, or WITH "
                       "MOVE to identify an alternate location.");

    // Nobody else may use the database while it is replaced.
    FileLock oldLock, newLock;
    if (existing) {
        if (equalsIgnoreCase(existing->name, current_))
            fail(3102, "RESTORE cannot process database '" + existing->name +
                           "' because it is in use by this session. It is recommended that the master database be "
                           "used when performing this operation.");
        oldLock = lockExclusively(*existing, 3101, "Exclusive access could not be obtained because the database is in use.",
                                  operation);
    }
    bool madeLog = false;
    if (!existing || existing->logFile != logFile) {
        madeLog = !fs::exists(logFile);
        if (!newLock.lockExclusive(logFile))
            fail(3101, "Exclusive access could not be obtained because the database is in use.");
        if (madeLog)
            writeLogFile(logFile, name);
    }
    // Until the rename below nothing of the old database has changed. The
    // temporary file stays locked while it is written, so that the clean-up
    // of files abandoned by killed restores (removeAbandonedRestores)
    // leaves it alone.
    const std::string temp = dataFile + kRestoringSuffix;
    FileLock tempLock = lockRestoringFile(temp);
    if (!tempLock.held()) {
        if (madeLog) {
            std::error_code ignored;
            fs::remove(logFile, ignored);
        }
        fail(3101, "Exclusive access could not be obtained because the database is in use.");
    }
    auto undo = [&] {
        removeDataFiles(temp);
        std::error_code ignored;
        if (madeLog)
            fs::remove(logFile, ignored);
    };
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        std::error_code ignored;
        fs::remove(temp + suffix, ignored);
    }
    try {
        extractBackupData(file, temp, operation, progress_);
    } catch (const SqlException& e) {
        undo();
        throw withClosing(e, operation);
    }
    if (!isSoundDatabase(temp)) {
        undo();
        fail(3241, "The media family on device '" + file +
                       "' is incorrectly formed. SQL Server cannot process this media family.");
    }
    // What SQLite keeps beside the old data file would otherwise be read as
    // part of the new one; nobody has the old database open (exclusive lock).
    std::error_code ec;
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        fs::remove(dataFile + suffix, ec);
    fs::rename(temp, dataFile, ec);
    if (ec) {
        undo();
        fail(3201, "Cannot move the restored data into '" + dataFile + "': " + ec.message());
    }
    writeLogFile(logFile, name);
    if (existing && existing->file != dataFile)
        removeDataFiles(existing->file);
    if (existing && existing->logFile != logFile)
        fs::remove(existing->logFile, ec);

    if (existing) {
        Stmt u(db_, "UPDATE master.sysdatabases SET filename = ?1, logfilename = ?2, datalogical = ?3, loglogical = ?4, "
                    "crdate = vq_getdate() WHERE name = ?5 COLLATE vq_ci");
        u.bind(1, dataFile).bind(2, logFile).bind(3, header.dataLogical).bind(4, header.logLogical).bind(5, name);
        u.step();
    } else {
        Stmt i(db_, "INSERT INTO master.sysdatabases(name, dbid, crdate, filename, logfilename, datalogical, "
                    "loglogical) VALUES(?1, (SELECT max(dbid) + 1 FROM master.sysdatabases), vq_getdate(), ?2, ?3, "
                    "?4, ?5)");
        i.bind(1, name).bind(2, dataFile).bind(3, logFile).bind(4, header.dataLogical).bind(5, header.logLogical);
        i.step();
    }
    bumpSchemaGeneration();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    st.result->addMessage("Processed " + std::to_string(pagesOf(header.dataSize)) + " pages for database '" + name +
                          "', file '" + header.dataLogical + "' on file 1.");
    st.result->addMessage("RESTORE DATABASE successfully processed " + std::to_string(pagesOf(header.dataSize)) +
                          " pages in " + secondsText(seconds) + " seconds (" + rateText(header.dataSize, seconds) +
                          " MB/sec).");
}

}  // namespace vqsql
