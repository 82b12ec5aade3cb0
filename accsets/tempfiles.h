// Temporary files in the program's Temp folder, shared by backup and
// restore: the name "#mw$cw&backup.tmp", or a numbered one when a file of
// that name is still in use by another process.
#pragma once

#include <QString>

#include <memory>

// The name the Backup and Restore commands use for the engine's backup.
QString BackupTempName();   // "#mw$cw&backup.tmp"

// True when the file is absent, or present and could be deleted now (and
// was): nobody holds a lock (flock) on it and it is not read-only. A read-only file is kept, as the operator meant to keep it.
bool RemoveIfPossible(const QString& path);

class TTempFileLock;

// A path in the Temp folder (GetProgramSubfolder("Temp"); without a folder
// when that cannot be made) for `name` that does not exist on return:
// name itself, else stem + n + extension for n = 1, 2, 3, ..., the stem
// being the part before the first "." ("#mw$cw&backup1.tmp"). Empty when
// none of name and the numbers up to kMaxTempFileNumber is free (some
// process keeps thousands of such files: a fault to report, not to pass by).
//
// With `reservation`, the name returned stays reserved for the caller
// until the reservation is released or destroyed: another process (or
// command) choosing a name meanwhile passes it by, even while the file
// does not exist yet or after it has been replaced by a rename (as the
// engine's backup replaces its target). Names reserved by others are
// passed by in either case.
constexpr int kMaxTempFileNumber = 9999;
QString MakeTempFileName(const QString& name, TTempFileLock* reservation = nullptr);

// A reservation of a temporary name: an exclusive lock (flock) on a small
// lock file beside it (the name + ".lock"), held while it lives. The lock
// sits beside the file rather than on it because the file itself is
// written under another name and renamed into place, which would drop a
// lock held on it. The lock file is left behind: it is empty, and removing
// it could let two holders lock two different files of the same name.
class TTempFileLock {
public:
    TTempFileLock();
    ~TTempFileLock();
    TTempFileLock(const TTempFileLock&) = delete;
    TTempFileLock& operator=(const TTempFileLock&) = delete;
    // Reserves the name; false when another holder has it. A reservation
    // held before is released first.
    bool reserve(const QString& path);
    void release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// True when another holder (this process or another) reserves the name.
bool IsTempNameReserved(const QString& path);
