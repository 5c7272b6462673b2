// Record files that are not what they should be: cut short, random bytes, another format, held
// by another process, deleted while open. Each call answers a status; none crashes, and none
// answers 0 with a record that is not one of the file's.
#include "EngineHarness.h"
#include "support/LockHolder.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <sqlite3.h>

namespace nvx::test {
namespace {

using namespace nvx::engine;

constexpr uint16_t RecordLength = 64;
constexpr int RecordCount = 400;

std::vector<uint8_t> desc()
{
    return fileDescription(RecordLength, {{{1, 8}}, {{9, 4, KeyFlag::Duplicates}}}, 4096);
}

std::string row(int i)
{
    char id[9];
    std::snprintf(id, sizeof id, "%08d", i);
    return record(RecordLength,
                  {{0, id}, {8, "G" + std::to_string(i % 7)}, {12, "text of record " + std::to_string(i)}});
}

class EngineDamagedFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        good = dir.filePath(QStringLiteral("good.bt6"));
        path = dir.filePath(QStringLiteral("FRADA53.bt6"));
        auto engine = createEmbeddedEngine();
        ASSERT_EQ(createFile(*engine, good, desc()), 0);
        Handle h(*engine, good);
        ASSERT_EQ(transaction(*engine, OpBeginTransaction), 0);
        for (int i = 0; i < RecordCount; ++i) {
            ASSERT_EQ(h.insert(row(i)), 0);
            originals.insert(row(i));
        }
        ASSERT_EQ(transaction(*engine, OpEndTransaction), 0);
        // Closed by its last client, the file holds everything and its log beside it is gone.
    }

    // A copy of the good file cut to size bytes.
    void cutCopy(qint64 size)
    {
        QFile::remove(path);
        ASSERT_TRUE(QFile::copy(good, path));
        QFile f(path);
        ASSERT_TRUE(f.resize(size));
    }

    // Walks every key both ways. Every record read must be one of the file's; the walk ends at
    // the end of the file after every record, or at another status, which it returns.
    int16_t walkAll(Handle& h)
    {
        for (int8_t k = 0; k < 2; ++k) {
            for (bool forward : {true, false}) {
                int read = 0;
                int16_t s = h.get(forward ? OpGetFirst : OpGetLast, k);
                for (; s == 0; s = h.get(forward ? OpGetNext : OpGetPrevious, k)) {
                    EXPECT_EQ(originals.count(h.record()), 1u) << "a record that is not the file's";
                    ++read;
                }
                if (s != StatusEndOfFile)
                    return s;
                EXPECT_EQ(read, RecordCount) << "the walk ended without a word about the missing records";
            }
        }
        return 0;
    }

    QTemporaryDir dir;
    QString good, path;
    std::set<std::string> originals;
    std::unique_ptr<BtrieveEngine> engine = createEmbeddedEngine();
};

TEST_F(EngineDamagedFile, ACutFileIsRefusedOrFailsItsReadsWithAnIoError)
{
    const qint64 size = QFileInfo(good).size();
    ASSERT_GT(size, 8 * 4096);
    for (qint64 cut :
         {qint64(50), qint64(100), qint64(4096), qint64(2 * 4096), size / 2, size - 4096, size - 1}) {
        SCOPED_TRACE(cut);
        cutCopy(cut);
        Handle h(*engine, path);
        if (h.openStatus != 0) {
            EXPECT_TRUE(h.openStatus == StatusIoError || h.openStatus == StatusNotAnEngineFile)
                << h.openStatus;
            continue;
        }
        const int16_t s = walkAll(h);
        EXPECT_TRUE(s == 0 || s == StatusIoError) << s;
        // Writing into the damaged file is refused as well, or lands whole.
        const int16_t w = h.insert(row(RecordCount + 1));
        EXPECT_TRUE(w == 0 || w == StatusIoError) << w;
    }
}

TEST_F(EngineDamagedFile, APageOverwrittenWithNoiseFailsTheReadsThatMeetIt)
{
    const qint64 pages = QFileInfo(good).size() / 4096;
    std::mt19937 rng(11);
    int failedWalks = 0;
    for (qint64 page = 1; page < pages; ++page) {
        SCOPED_TRACE(page);
        cutCopy(QFileInfo(good).size());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray noise(4096, '\0');
        for (char& c : noise)
            c = char(rng());
        f.seek(page * 4096);
        f.write(noise);
        f.close();
        Handle h(*engine, path);
        if (h.openStatus != 0) {
            EXPECT_EQ(h.openStatus, StatusIoError);
            continue;
        }
        const int16_t s = walkAll(h);
        EXPECT_TRUE(s == 0 || s == StatusIoError) << s;
        failedWalks += s == StatusIoError;
    }
    EXPECT_GT(failedWalks, 0) << "no page met by the reads: the test proves nothing";
}

TEST_F(EngineDamagedFile, RandomBytesEmptyFilesAndOtherFormatsAreNotRecordFiles)
{
    std::mt19937 rng(7);
    QByteArray noise(3 * 4096, '\0');
    for (char& c : noise)
        c = char(rng());
    const auto refused = [&](const QByteArray& content) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        Handle h(*engine, path);
        EXPECT_EQ(h.get(OpGetFirst, 0), StatusFileNotOpen);
        return h.openStatus;
    };
    EXPECT_EQ(refused(noise), StatusNotAnEngineFile);
    EXPECT_EQ(refused(QByteArray("Date;Heure;Titre\r\n20200508;07;Intro\r\n")), StatusNotAnEngineFile);
    EXPECT_EQ(refused(QByteArray()), StatusNotAnEngineFile);
    EXPECT_EQ(QFileInfo(path).size(), 0) << "an empty file is left as it was, not made a database";

    // A database of this engine whose description is damaged.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::copy(good, path));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE description SET body = x'0102'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(Handle(*engine, path).openStatus, StatusNotAnEngineFile);
}

TEST_F(EngineDamagedFile, ARecordShorterThanTheFileSaysIsAnIoErrorNotARecord)
{
    ASSERT_TRUE(QFile::copy(good, path));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE records SET data = x'3030' WHERE k0 = CAST('00000005' AS BLOB)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    Handle h(*engine, path);
    ASSERT_EQ(h.openStatus, 0);
    EXPECT_EQ(h.get(OpGetEqual, 0, "00000005"), StatusIoError);
    EXPECT_EQ(h.buffer, std::string(512, '\xAA')) << "nothing copied";
    ASSERT_EQ(h.get(OpGetEqual, 0, "00000004"), 0);
    EXPECT_EQ(h.get(OpGetNext, 0), StatusIoError);
}

TEST(EngineLockHolder, HoldsTheFileExclusivelyUntilReleased)
{
    const QString path = LockHolder::fileToLock();
    if (path.isEmpty())
        GTEST_SKIP() << "runs only as the child process of the locked-file test";
    EXPECT_TRUE(LockHolder::holdExclusively(path));
}

TEST_F(EngineDamagedFile, AFileHeldExclusivelyByAnotherProcessCannotBeOpenedUntilReleased)
{
    ASSERT_TRUE(QFile::copy(good, path));
    LockHolder holder;
    ASSERT_TRUE(holder.start(path, QStringLiteral("EngineLockHolder.*"))) << holder.output().toStdString();
    Handle refused(*engine, path);
    EXPECT_EQ(refused.openStatus, StatusRecordInUse);
    EXPECT_EQ(refused.get(OpGetFirst, 0), StatusFileNotOpen);
    ASSERT_TRUE(holder.release()) << holder.output().toStdString();
    Handle h(*engine, path);
    ASSERT_EQ(h.openStatus, 0);
    EXPECT_EQ(walkAll(h), 0);
}

TEST_F(EngineDamagedFile, AFileDeletedWhileOpenIsMissingAndNothingIsWrittenToIt)
{
    ASSERT_TRUE(QFile::copy(good, path));
    Handle h(*engine, path);
    ASSERT_EQ(h.openStatus, 0);
    ASSERT_EQ(h.get(OpGetFirst, 0), 0);
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QString::fromLatin1(suffix));

    EXPECT_EQ(h.get(OpGetNext, 0), StatusFileNotFound);
    EXPECT_EQ(h.insert(row(RecordCount + 1)), StatusFileNotFound);
    EXPECT_EQ(h.update(row(0), 0), StatusFileNotFound);
    EXPECT_EQ(h.remove(), StatusFileNotFound);
    EXPECT_FALSE(QFile::exists(path));

    // A new file made at the path is another file: this client can create it and open it while
    // the open of the deleted one still answers that its file is missing.
    ASSERT_EQ(createFile(*engine, path, desc()), 0);
    Handle fresh(*engine, path);
    ASSERT_EQ(fresh.openStatus, 0);
    EXPECT_EQ(fresh.get(OpGetFirst, 0), StatusEndOfFile);
    EXPECT_EQ(h.get(OpGetFirst, 0), StatusFileNotFound);
    EXPECT_EQ(h.close(), 0);
}

} // namespace
} // namespace nvx::test
