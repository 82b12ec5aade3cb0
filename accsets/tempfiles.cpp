// Temporary files of the backup and restore commands.
#include "tempfiles.h"

#include "mwcwfun.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

QString BackupTempName()
{
    return QStringLiteral("#mw$cw&backup.tmp");
}

bool RemoveIfPossible(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISREG(st.st_mode))
        return false;
    // Read-only as the operator sees it: no write permission in the mode
    // (which root would otherwise override), or none for this process.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(native.constData(), W_OK) != 0)
        return false;
    // A process that holds a lock on the file itself (here or elsewhere)
    // is using it: an exclusive lock on a fresh descriptor meets it.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    bool removed = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        removed = ::unlink(native.constData()) == 0;
    ::close(fd);
    return removed;
}

namespace {

QByteArray lockFileOf(const QString& path)
{
    return QFile::encodeName(path + QStringLiteral(".lock"));
}

// Takes the name for the caller (with a reservation) or checks that
// nobody else holds it (without one), then frees the name itself.
bool takeName(const QString& candidate, TTempFileLock* reservation)
{
    if (reservation ? !reservation->reserve(candidate) : IsTempNameReserved(candidate))
        return false;
    if (RemoveIfPossible(candidate))
        return true;
    if (reservation)
        reservation->release();
    return false;
}

}  // namespace

QString MakeTempFileName(const QString& name, TTempFileLock* reservation)
{
    const QString folder = GetProgramSubfolder(QStringLiteral("Temp"));
    if (takeName(folder + name, reservation))
        return folder + name;
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? name : name.left(dot);
    const QString extension = dot < 0 ? QString() : name.mid(dot);
    for (int n = 1; n <= kMaxTempFileNumber; ++n) {
        const QString candidate = folder + stem + QString::number(n) + extension;
        if (takeName(candidate, reservation))
            return candidate;
    }
    return {};
}

bool IsTempNameReserved(const QString& path)
{
    const int fd = ::open(lockFileOf(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;   // no lock file: never reserved
    const bool reserved = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return reserved;
}

TTempFileLock::TTempFileLock() = default;

TTempFileLock::~TTempFileLock()
{
    release();
}

bool TTempFileLock::reserve(const QString& path)
{
    release();
    const int fd = ::open(lockFileOf(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void TTempFileLock::release()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}
