// Small helpers shared by the program's tests: environment overrides,
// waiting on the event loop, and whole-file reads and writes.
#pragma once

#include "instance.h"
#include "mwcwfun.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <QTest>

#include <functional>
#include <optional>
#include <string>

namespace vqtest {

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// Spins the event loop (deferred deletes included) until `done` holds or
// the time is up.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(2);
    }
    return true;
}

// The whole file, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces the file's content.
inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A fixture base for tests of a whole installation: a throwaway default
// instance (VQSQL_HOME points at it) and an empty program folder, both in
// one temporary folder that goes last.
class ThrowawayInstallation : public ::testing::Test {
protected:
    void createInstallation(const char* saPassword)
    {
        ASSERT_TRUE(dir_.isValid());
        home_ = dir_.filePath("instance").toStdString();
        vqsql::initialiseInstance(home_, saPassword);
        env_.emplace("VQSQL_HOME", QByteArray::fromStdString(home_));
        program_ = dir_.filePath("program") + "/";
        ASSERT_TRUE(QDir().mkpath(program_));
        setProgramFolder(program_);
    }

    void releaseInstallation()
    {
        setProgramFolder(QString());
        env_.reset();
    }

    QTemporaryDir dir_;
    std::string home_;
    std::optional<ScopedEnv> env_;
    QString program_;
};

}  // namespace vqtest
