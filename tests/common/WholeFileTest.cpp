#include "common/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nvx;

namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("half");
}

TEST(WholeFile, ReplacesTheFileWholeAndClearsWhatKilledWritersLeft)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("VL3_Tools_NVX.Ini"));
    QString error;
    ASSERT_TRUE(
        writeWholeFile(target, "[A]\r\nB=1\r\n", &error, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        << error.toStdString();
    EXPECT_EQ(contents(target), QByteArray("[A]\r\nB=1\r\n"));
    const auto privateFile = [&] {
        const QFileDevice::Permissions p = QFileInfo(target).permissions();
        return p.testFlag(QFileDevice::WriteOwner) &&
               !(p & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
    };
    EXPECT_TRUE(privateFile());

    // A writer that was killed (its process is gone) and one that still runs (process 1).
    QProcess gone;
    gone.start(QStringLiteral("true"));
    ASSERT_TRUE(gone.waitForStarted(10000));
    const qint64 pid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished(10000));
    const QString deadPart = target + u'.' + QString::number(pid) + QStringLiteral(".part");
    const QString livePart = target + QStringLiteral(".1.part");
    touch(deadPart);
    touch(livePart);
    ASSERT_TRUE(writeWholeFile(target, "[A]\r\nB=2\r\n", &error));
    EXPECT_EQ(contents(target), QByteArray("[A]\r\nB=2\r\n"));
    EXPECT_TRUE(privateFile()) << "an existing file keeps its mode";
    EXPECT_FALSE(QFile::exists(deadPart));
    EXPECT_TRUE(QFile::exists(livePart)) << "another running writer's part is its own";

    // A write that cannot be made leaves the old file and nothing beside it.
    const QString nowhere = dir.filePath(QStringLiteral("missing/0700.xml"));
    EXPECT_FALSE(writeWholeFile(nowhere, "<root/>", &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("open: "))) << error.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

} // namespace
