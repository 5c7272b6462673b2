#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nvx::test {

// A remote tree for the FTP tester's tests: /music/new/, /music/song.mp3 (1234 bytes),
// /readme.txt (10 bytes).
struct FtpTree {
    FtpTree()
    {
        QDir(root.path()).mkpath(QStringLiteral("music/new"));
        write(QStringLiteral("music/song.mp3"), 1234);
        write(QStringLiteral("readme.txt"), 10);
    }
    void write(const QString& path, int size)
    {
        QFile f(QDir(root.path()).filePath(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }
    QTemporaryDir root;
};

} // namespace nvx::test
