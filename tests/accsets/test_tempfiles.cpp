// Temporary file names in the program's Temp folder: a name in use by
// another process, or read-only, is passed by for the next number; a free
// one is cleared and returned.
#include "mwcwfun.h"
#include "tempfiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class TempFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        setProgramFolder(dir_.path());
        temp_ = dir_.filePath(QStringLiteral("Temp/"));
    }
    void TearDown() override { setProgramFolder(QString()); }

    void make(const QString& name, QFileDevice::Permissions permissions = {})
    {
        QDir().mkpath(temp_);
        QFile f(temp_ + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("in use");
        f.close();
        if (permissions) {
            ASSERT_TRUE(f.setPermissions(permissions));
        }
    }

    QTemporaryDir dir_;
    QString temp_;
};

// Another process holding a lock on the file until killed.
class LockHolder {
public:
    LockHolder(const QString& path, int operation)
    {
        const QByteArray file = QFile::encodeName(path);
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {   // only async-signal-safe calls in the child
            const int fd = ::open(file.constData(), O_RDONLY);
            const char ok = fd >= 0 && ::flock(fd, operation) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            for (;;)
                ::pause();
        }
        char ok = 'n';
        if (pid_ > 0)
            (void)!::read(ready[0], &ok, 1);
        ::close(ready[0]);
        ::close(ready[1]);
        locked_ = ok == 'y';
    }
    ~LockHolder() { stop(); }
    bool locked() const { return locked_; }
    void stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    bool locked_ = false;
};

TEST_F(TempFiles, ANameHeldByAnotherProcessIsPassedByForTheNextNumber)
{
    const QString first = temp_ + BackupTempName();
    const QString second = temp_ + QStringLiteral("#mw$cw&backup1.tmp");
    // Shared as another copy of the program holds it, and exclusive.
    for (const int operation : {LOCK_SH, LOCK_EX}) {
        make(BackupTempName());
        LockHolder holder(first, operation);
        ASSERT_TRUE(holder.locked());

        make(QStringLiteral("#mw$cw&backup1.tmp"));   // left over, free: cleared and taken
        EXPECT_EQ(MakeTempFileName(BackupTempName()).toStdString(), second.toStdString());
        EXPECT_FALSE(QFile::exists(second));
        EXPECT_TRUE(QFile::exists(first));

        holder.stop();
        EXPECT_EQ(MakeTempFileName(BackupTempName()).toStdString(), first.toStdString());
        EXPECT_FALSE(QFile::exists(first));
    }
}

TEST_F(TempFiles, AReservedNameIsPassedByEvenWhenItsFileIsReplacedOrMissing)
{
    const QString plain = temp_ + BackupTempName();
    TTempFileLock first;
    ASSERT_EQ(MakeTempFileName(BackupTempName(), &first), plain);
    EXPECT_TRUE(first.held());
    // The file does not exist yet: the name is taken all the same.
    TTempFileLock second;
    EXPECT_EQ(MakeTempFileName(BackupTempName(), &second), temp_ + QStringLiteral("#mw$cw&backup1.tmp"));
    EXPECT_EQ(MakeTempFileName(BackupTempName()), temp_ + QStringLiteral("#mw$cw&backup2.tmp"));
    // Written under another name and renamed into place, as the engine's
    // backup does: still reserved.
    make(QStringLiteral("partial"));
    ASSERT_TRUE(QFile::rename(temp_ + QStringLiteral("partial"), plain));
    EXPECT_TRUE(IsTempNameReserved(plain));
    EXPECT_EQ(MakeTempFileName(BackupTempName()), temp_ + QStringLiteral("#mw$cw&backup2.tmp"));
    EXPECT_TRUE(QFile::exists(plain));
    // Released, the name is free again and its old file goes.
    first.release();
    EXPECT_FALSE(IsTempNameReserved(plain));
    EXPECT_EQ(MakeTempFileName(BackupTempName()), plain);
    EXPECT_FALSE(QFile::exists(plain));
}

TEST_F(TempFiles, NamesFollowTheNumberingRule)
{
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const struct {
        QString name;
        QStringList readOnlyFiles;   // made first, kept
        QString expected;
    } cases[] = {
        {BackupTempName(), {}, QStringLiteral("#mw$cw&backup.tmp")},
        {BackupTempName(), {BackupTempName()}, QStringLiteral("#mw$cw&backup1.tmp")},
        {BackupTempName(),
         {BackupTempName(), QStringLiteral("#mw$cw&backup1.tmp"), QStringLiteral("#mw$cw&backup2.tmp")},
         QStringLiteral("#mw$cw&backup3.tmp")},
        {QStringLiteral("restore"), {QStringLiteral("restore")}, QStringLiteral("restore1")},
        {QStringLiteral("a.b.c"), {QStringLiteral("a.b.c")}, QStringLiteral("a1.b.c")},
    };
    for (const auto& c : cases) {
        for (const QString& file : c.readOnlyFiles)
            make(file, readOnly);
        EXPECT_EQ(MakeTempFileName(c.name).toStdString(), (temp_ + c.expected).toStdString());
        for (const QString& file : c.readOnlyFiles) {
            EXPECT_TRUE(QFile::exists(temp_ + file)) << file.toStdString();
            QFile::setPermissions(temp_ + file, readOnly | QFileDevice::WriteOwner);
            QFile::remove(temp_ + file);
        }
    }
}

TEST_F(TempFiles, WithoutATempFolderTheBareNameIsUsed)
{
    // A file where the Temp folder would be: the folder cannot be made.
    QDir(temp_).removeRecursively();
    QFile blocker(dir_.filePath(QStringLiteral("Temp")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(MakeTempFileName(QStringLiteral("vq-no-such-name.tmp")).toStdString(), "vq-no-such-name.tmp");
}

}  // namespace
