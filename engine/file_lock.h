// Whole-file locks (flock) that tell the engine's connections, in this
// process and in others, who is using a database. Every connection holds
// a shared lock on the log file of each database it has open; dropping or
// restoring a database needs the exclusive lock, which it gets only when
// nobody else has the database open.
#pragma once

#include <string>

namespace vqsql {

class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens (creating it if needed) the file and takes the lock without
    // waiting; false when another holder stands in the way or the file
    // cannot be opened.
    bool lockShared(const std::string& path);
    bool lockExclusive(const std::string& path);
    void release();
    bool held() const { return fd_ >= 0; }
    // Whether the lock held is on the file `path` names now (and not on
    // one removed or replaced since it was opened).
    bool locksFile(const std::string& path) const;

private:
    bool lock(const std::string& path, int operation);
    int fd_ = -1;
};

}  // namespace vqsql
