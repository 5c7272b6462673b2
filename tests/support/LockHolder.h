#pragma once

// Another process holding a record file. The test executable starts itself again, running only
// the child test named, with the file in an environment variable; the child takes its lock,
// says so on its output and keeps the lock until it is told to let go.
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <iostream>
#include <sqlite3.h>
#include <string>

namespace nvx::test {

class LockHolder {
public:
    static constexpr const char* FileVariable = "NVX_LOCK_HOLDER_FILE";

    LockHolder() = default;
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    ~LockHolder()
    {
        if (child_.state() != QProcess::NotRunning) {
            child_.kill();
            child_.waitForFinished(10000);
        }
    }

    // Runs childTest (as --gtest_filter names it) on path; true once the child holds the lock.
    bool start(const QString& path, const QString& childTest)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(FileVariable), path);
        child_.setProcessEnvironment(env);
        child_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child_.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--gtest_filter=") + childTest});
        if (!child_.waitForStarted(10000))
            return false;
        while (!output_.contains("\nlocked\n")) {
            if (!child_.waitForReadyRead(20000))
                return false;
            output_ += child_.readAllStandardOutput();
        }
        return true;
    }

    // Lets the lock go; true when the child then ended well.
    bool release()
    {
        child_.write("release\n");
        child_.closeWriteChannel();
        if (!child_.waitForFinished(20000))
            return false;
        output_ += child_.readAllStandardOutput();
        return child_.exitStatus() == QProcess::NormalExit && child_.exitCode() == 0;
    }
    QString output() const { return QString::fromLocal8Bit(output_); }

    // In the child: the file to lock; empty when the test runs on its own.
    static QString fileToLock() { return qEnvironmentVariable(FileVariable); }
    // In the child, once the lock is taken: says so and waits for the word to let it go.
    static bool lockedUntilReleased()
    {
        std::cout << "\nlocked" << std::endl;
        std::string line;
        std::getline(std::cin, line);
        return line == "release";
    }
    // In the child: holds the file the way another program of the suite may, so that no other
    // process can even read it (exclusive locking of the database under a write transaction).
    static bool holdExclusively(const QString& path)
    {
        sqlite3* db = nullptr;
        bool ok =
            sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
            sqlite3_exec(db, "PRAGMA locking_mode=EXCLUSIVE;BEGIN EXCLUSIVE;SELECT count(*) FROM records",
                         nullptr, nullptr, nullptr) == SQLITE_OK;
        ok = ok && lockedUntilReleased();
        ok = ok && sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return ok;
    }

    // In the child: holds the write lock of the file, as a writer of another program of the
    // suite does for the length of its transaction; others still read what was committed.
    static bool holdForWriting(const QString& path)
    {
        sqlite3* db = nullptr;
        bool ok =
            sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        ok = ok && lockedUntilReleased();
        ok = ok && sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return ok;
    }

private:
    QProcess child_;
    QByteArray output_;
};

} // namespace nvx::test
