// Temporary files in the program's Temp folder, shared by backup and
// restore: the name "#mw$cw&backup.tmp", or a numbered one when a file of
// that name is still in use by another process.
#pragma once

#include <QString>

#include <memory>

// The name the Backup and Restore commands use for the engine's backup.
QString BackupTempName();   // "#mw$cw&backup.tmp"

// True when the file is absent, or present and could be deleted now (and
// was): nobody holds a lock on it (see TTempFileLock) and it is not
// read-only. A read-only file is kept, as the operator meant to keep it.
bool RemoveIfPossible(const QString& path);

// A path in the Temp folder (GetProgramSubfolder("Temp"); without a folder
// when that cannot be made) for `name` that does not exist on return:
// name itself, else stem + n + extension for n = 1, 2, 3, ..., the stem
// being the part before the first "." ("#mw$cw&backup1.tmp"). Empty when
// none of name and the numbers up to kMaxTempFileNumber is free (some
// process keeps thousands of such files: a fault to report, not to pass by).
constexpr int kMaxTempFileNumber = 9999;
QString MakeTempFileName(const QString& name);

// Holds a shared lock (flock) on a temporary file while a command uses it,
// so that another process's MakeTempFileName passes it by. Released when
// destroyed.
class TTempFileLock {
public:
    TTempFileLock();
    ~TTempFileLock();
    TTempFileLock(const TTempFileLock&) = delete;
    TTempFileLock& operator=(const TTempFileLock&) = delete;
    // Takes the lock on an existing file; false when it cannot.
    bool lock(const QString& path);
    void release();

private:
    int fd_ = -1;
};
