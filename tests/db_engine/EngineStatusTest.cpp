// Statuses of the engine for files, positions, buffers and keys; independent opens.
#include "EngineHarness.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace nvx::test {
namespace {

using namespace nvx::engine;

constexpr uint16_t RecordLength = 20;

// Key 0: bytes 1-6 unique. Key 1: bytes 7-10 with duplicates.
std::string row(const std::string& id, const std::string& group, const std::string& text = {})
{
    return record(RecordLength, {{0, id}, {6, group}, {10, text}});
}

class EngineStatus : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("FRADA53.bt6"));
        ASSERT_EQ(createFile(*engine, path, desc()), 0);
        file = std::make_unique<Handle>(*engine, path);
        ASSERT_EQ(file->openStatus, 0);
    }
    static std::vector<uint8_t> desc()
    {
        return fileDescription(
            RecordLength,
            {{{1, 6, KeyFlag::Modifiable}}, {{7, 4, KeyFlag::Duplicates | KeyFlag::Modifiable}}}, 1536);
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<BtrieveEngine> engine = createEmbeddedEngine();
    std::unique_ptr<Handle> file;
};

TEST_F(EngineStatus, OpeningAndCreatingFiles)
{
    // The position block names the open in hex digits.
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(isxdigit(static_cast<unsigned char>(file->pos[i]))) << i;

    Handle missing(*engine, dir.filePath(QStringLiteral("FRADA22.bt6")));
    EXPECT_EQ(missing.openStatus, StatusFileNotFound);

    QFile text(dir.filePath(QStringLiteral("notes.bt6")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a record file, not a database either");
    text.close();
    EXPECT_EQ(Handle(*engine, text.fileName()).openStatus, StatusNotAnEngineFile);

    // Another program's SQLite database is refused too, never written to.
    const QString foreign = dir.filePath(QStringLiteral("foreign.db"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(Handle(*engine, foreign).openStatus, StatusNotAnEngineFile);

    // Mode -1 refuses an existing file; mode 0 replaces one that no open holds.
    ASSERT_EQ(file->insert(row("A00001", "G1")), 0);
    EXPECT_EQ(createFile(*engine, path, desc(), -1), StatusFileExists);
    EXPECT_EQ(createFile(*engine, path, desc(), 0), StatusFileInUse);
    file->close();
    EXPECT_EQ(createFile(*engine, path, desc(), -1), StatusFileExists);
    ASSERT_EQ(createFile(*engine, path, desc(), 0), 0);
    Handle reopened(*engine, path);
    ASSERT_EQ(reopened.openStatus, 0);
    EXPECT_EQ(reopened.get(OpGetFirst, 0), StatusEndOfFile);

    EXPECT_EQ(createFile(*engine, dir.filePath(QStringLiteral("no/such/folder.bt6")), desc()),
              StatusFileNotFound);
}

TEST_F(EngineStatus, CreateRefusesInconsistentDescriptions)
{
    const QString other = dir.filePath(QStringLiteral("other.bt6"));
    EXPECT_EQ(createFile(*engine, other, fileDescription(20, {{{15, 8}}})), StatusInvalidKeyPosition);
    EXPECT_EQ(createFile(*engine, other, fileDescription(20, {{{1, 3, 0, KeyType::Integer}}})),
              StatusInvalidKeyLength);
    EXPECT_EQ(createFile(*engine, other, fileDescription(20, {{{1, 4}}}, 700)), StatusPageSizeError);
    EXPECT_EQ(createFile(*engine, other, fileDescription(0, {{{1, 4}}})), StatusInvalidRecordLength);
    EXPECT_EQ(createFile(*engine, other, fileDescription(20, {})), StatusInvalidKeyCount);
    // A header announcing two keys with the segments of one.
    std::vector<uint8_t> truncated = fileDescription(20, {{{1, 4}}});
    truncated[4] = 2;
    EXPECT_EQ(createFile(*engine, other, truncated), StatusDataBufferTooShort);
    EXPECT_FALSE(QFile::exists(other));
}

TEST_F(EngineStatus, StatGivesTheDescriptionBackWithTheRecordCount)
{
    ASSERT_EQ(file->insert(row("A00001", "G1")), 0);
    ASSERT_EQ(file->insert(row("A00002", "G1")), 0);
    std::string buf(100, '\0');
    uint32_t len = uint32_t(buf.size());
    char key[255] = {};
    ASSERT_EQ(engine->BTRCALL(OpStat, file->pos, buf.data(), &len, key, 255, 0), 0);
    std::vector<uint8_t> expected = desc();
    expected[6] = 2; // record count
    ASSERT_EQ(len, expected.size());
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + len), expected);
    len = 20;
    EXPECT_EQ(engine->BTRCALL(OpStat, file->pos, buf.data(), &len, key, 255, 0), StatusDataBufferTooShort);
}

TEST_F(EngineStatus, CallsOnAFileThatIsNotOpen)
{
    Handle never(*engine, dir.filePath(QStringLiteral("missing.bt6")));
    EXPECT_EQ(never.get(OpGetFirst, 0), StatusFileNotOpen);
    ASSERT_EQ(file->insert(row("A00001", "G1")), 0);
    char saved[128];
    std::memcpy(saved, file->pos, sizeof saved);
    ASSERT_EQ(file->close(), 0);
    std::memcpy(file->pos, saved, sizeof saved);
    EXPECT_EQ(file->get(OpGetFirst, 0), StatusFileNotOpen);
    EXPECT_EQ(file->insert(row("A00002", "G1")), StatusFileNotOpen);
    EXPECT_EQ(file->get(99, 0), StatusInvalidOperation);
}

TEST_F(EngineStatus, PositionAndKeyNumberRules)
{
    ASSERT_EQ(file->insert(row("A00001", "G1"), -1), 0); // no position taken
    ASSERT_EQ(file->insert(row("A00002", "G1"), -1), 0);
    ASSERT_EQ(file->insert(row("A00003", "G2"), -1), 0);
    EXPECT_EQ(file->get(OpGetNext, 0), StatusInvalidPositioning);
    EXPECT_EQ(file->get(OpGetPrevious, 0), StatusInvalidPositioning);
    EXPECT_EQ(file->update(row("A00001", "G9"), 0), StatusInvalidPositioning);
    EXPECT_EQ(file->remove(), StatusInvalidPositioning);

    EXPECT_EQ(file->get(OpGetFirst, 2), StatusInvalidKeyNumber);
    EXPECT_EQ(file->get(OpGetEqual, -1, "A00001"), StatusInvalidKeyNumber);

    ASSERT_EQ(file->get(OpGetEqual, 0, "A00001"), 0);
    EXPECT_EQ(file->get(OpGetNext, 1), StatusDifferentKeyNumber);
    EXPECT_EQ(file->update(row("A00001", "G9"), 1), StatusDifferentKeyNumber);
    ASSERT_EQ(file->get(OpGetNext, 0), 0);
    EXPECT_EQ(file->record().substr(0, 6), "A00002");

    // After a delete the position stays between the neighbours; the deleted record cannot be
    // changed or deleted again.
    ASSERT_EQ(file->remove(), 0);
    EXPECT_EQ(file->update(row("A00002", "G9"), 0), StatusInvalidPositioning);
    EXPECT_EQ(file->remove(), StatusInvalidPositioning);
    ASSERT_EQ(file->get(OpGetNext, 0), 0);
    EXPECT_EQ(file->record().substr(0, 6), "A00003");
    ASSERT_EQ(file->get(OpGetPrevious, 0), 0);
    EXPECT_EQ(file->record().substr(0, 6), "A00001");
}

TEST_F(EngineStatus, ShortBuffersCopyNothingAndKeepThePosition)
{
    ASSERT_EQ(file->insert(row("A00001", "G1")), 0);
    ASSERT_EQ(file->insert(row("A00002", "G1")), 0);
    ASSERT_EQ(file->get(OpGetFirst, 0), 0);
    EXPECT_EQ(file->get(OpGetNext, 0, {}, RecordLength - 1), StatusDataBufferTooShort);
    EXPECT_EQ(file->buffer, std::string(RecordLength - 1, '\xAA'));
    EXPECT_EQ(file->keyBuf.substr(0, 6), "      ");
    ASSERT_EQ(file->get(OpGetNext, 0), 0);
    EXPECT_EQ(file->record().substr(0, 6), "A00002");

    // A record shorter than the fixed length is refused.
    EXPECT_EQ(file->insert(row("A00003", "G1").substr(0, RecordLength - 1)), StatusDataBufferTooShort);

    // A key buffer too short for the key.
    char key[4] = {};
    std::string buf(64, '\0');
    uint32_t len = uint32_t(buf.size());
    EXPECT_EQ(engine->BTRCALL(OpGetFirst, file->pos, buf.data(), &len, key, 4, 0), StatusKeyBufferTooShort);
}

TEST_F(EngineStatus, DuplicatesOnAUniqueKeyAreRefused)
{
    ASSERT_EQ(file->insert(row("A00001", "G1", "first")), 0);
    ASSERT_EQ(file->insert(row("A00002", "G1")), 0);
    EXPECT_EQ(file->insert(row("A00001", "G2", "second")), StatusDuplicateKey);
    ASSERT_EQ(file->get(OpGetEqual, 0, "A00002"), 0);
    EXPECT_EQ(file->update(row("A00001", "G1"), 0), StatusDuplicateKey);
    // Nothing of the refused writes is kept.
    ASSERT_EQ(file->get(OpGetEqual, 0, "A00001"), 0);
    EXPECT_EQ(file->record(), row("A00001", "G1", "first"));
    EXPECT_EQ(file->get(OpGetNext, 0), 0);
    EXPECT_EQ(file->record(), row("A00002", "G1"));
    EXPECT_EQ(file->get(OpGetNext, 0), StatusEndOfFile);
}

TEST_F(EngineStatus, UpdateMovesTheRecordInKeyOrderUnlessTheKeyIsFixed)
{
    ASSERT_EQ(file->insert(row("A00001", "G1")), 0);
    ASSERT_EQ(file->insert(row("A00002", "G2")), 0);
    ASSERT_EQ(file->get(OpGetEqual, 0, "A00001"), 0);
    ASSERT_EQ(file->update(row("A00003", "G1", "changed"), 0), 0);
    // The position follows the record to its new key.
    EXPECT_EQ(file->get(OpGetPrevious, 0), 0);
    EXPECT_EQ(file->record().substr(0, 6), "A00002");
    ASSERT_EQ(file->get(OpGetLast, 0), 0);
    EXPECT_EQ(file->record(), row("A00003", "G1", "changed"));

    const QString fixed = dir.filePath(QStringLiteral("fixed.bt6"));
    ASSERT_EQ(createFile(*engine, fixed, fileDescription(RecordLength, {{{1, 6}}})), 0);
    Handle f(*engine, fixed);
    ASSERT_EQ(f.insert(row("B00001", "G1")), 0);
    EXPECT_EQ(f.update(row("B00002", "G1"), 0), StatusKeyNotModifiable);
    EXPECT_EQ(f.update(row("B00001", "G1", "text"), 0), 0);
}

TEST_F(EngineStatus, ReadOnlyOpenRefusesWrites)
{
    ASSERT_EQ(file->insert(row("A00001", "G1")), 0);
    Handle reader(*engine, path, -2);
    ASSERT_EQ(reader.openStatus, 0);
    EXPECT_EQ(reader.insert(row("A00002", "G1")), StatusAccessDenied);
    ASSERT_EQ(reader.get(OpGetFirst, 0), 0);
    EXPECT_EQ(reader.remove(), StatusAccessDenied);
}

TEST_F(EngineStatus, EveryOpenKeepsItsOwnPosition)
{
    for (const char* id : {"A00001", "A00002", "A00003", "A00004"})
        ASSERT_EQ(file->insert(row(id, "G1")), 0);
    Handle second(*engine, path);
    ASSERT_EQ(second.openStatus, 0);
    EXPECT_NE(std::string(second.pos, 8), std::string(file->pos, 8));

    ASSERT_EQ(file->get(OpGetFirst, 0), 0);
    ASSERT_EQ(second.get(OpGetLast, 1), 0);
    ASSERT_EQ(file->get(OpGetNext, 0), 0);
    EXPECT_EQ(file->record().substr(0, 6), "A00002");
    ASSERT_EQ(second.get(OpGetPrevious, 1), 0);
    EXPECT_EQ(second.record().substr(0, 6), "A00003");

    // The other open deletes this one's record: this one goes on from where it was.
    ASSERT_EQ(second.get(OpGetEqual, 0, "A00002"), 0);
    ASSERT_EQ(second.remove(), 0);
    EXPECT_EQ(file->update(row("A00002", "G1", "late"), 0), StatusInvalidPositioning);
    ASSERT_EQ(file->get(OpGetNext, 0), 0);
    EXPECT_EQ(file->record().substr(0, 6), "A00003");

    // Closing one open leaves the other working.
    ASSERT_EQ(second.close(), 0);
    EXPECT_EQ(file->get(OpGetNext, 0), 0);
    EXPECT_EQ(file->record().substr(0, 6), "A00004");
}

} // namespace
} // namespace nvx::test
