// Whole-file locks with flock(2): per open file description, so two
// connections of one process exclude each other just as two processes do.
#include "file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vqsql {

FileLock::~FileLock()
{
    release();
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_)
{
    other.fd_ = -1;
}

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool FileLock::lockShared(const std::string& path)
{
    return lock(path, LOCK_SH);
}

bool FileLock::lockExclusive(const std::string& path)
{
    return lock(path, LOCK_EX);
}

bool FileLock::lock(const std::string& path, int operation)
{
    release();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, operation | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool FileLock::locksFile(const std::string& path) const
{
    struct stat held {}, named {};
    return fd_ >= 0 && ::fstat(fd_, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

void FileLock::release()
{
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace vqsql
