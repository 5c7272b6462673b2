// Writes: what update hands back, where updates and deletes leave records and positions, the
// conflicts between opens and clients, and record identities that are never given twice.
#include "EngineHarness.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace nvx::test {
namespace {

using namespace nvx::engine;

constexpr uint16_t RecordLength = 16;

// Key 0: id, bytes 1-4, unique. Key 1: group, bytes 5-6, duplicates. Key 2: code, bytes 7-8,
// unique. All modifiable.
std::string row(const std::string& id, const std::string& group, const std::string& code,
                const std::string& text = {})
{
    return record(RecordLength, {{0, id}, {4, group}, {6, code}, {8, text}});
}

std::vector<uint8_t> desc()
{
    return fileDescription(RecordLength, {{{1, 4, KeyFlag::Modifiable}},
                                          {{5, 2, KeyFlag::Duplicates | KeyFlag::Modifiable}},
                                          {{7, 2, KeyFlag::Modifiable}}});
}

class EngineWrites : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("FRADA31.bt6"));
        ASSERT_EQ(createFile(*engine, path, desc()), 0);
        file = std::make_unique<Handle>(*engine, path);
        ASSERT_EQ(file->openStatus, 0);
    }

    // The ids met walking key keyNum from the first record on.
    std::vector<std::string> walk(Handle& h, int8_t keyNum)
    {
        std::vector<std::string> ids;
        for (int16_t s = h.get(OpGetFirst, keyNum); s == 0; s = h.get(OpGetNext, keyNum))
            ids.push_back(h.record().substr(0, 4));
        return ids;
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<BtrieveEngine> engine = createEmbeddedEngine();
    std::unique_ptr<Handle> file;
};

TEST_F(EngineWrites, UpdateHandsBackTheKeyOfTheRecordLikeInsertAndGets)
{
    ASSERT_EQ(file->insert(row("id01", "G1", "c1"), 2), 0);
    EXPECT_EQ(file->key(2), "c1");
    // The update changes key 2, the key of the position: the key buffer holds the new value.
    ASSERT_EQ(file->update(row("id01", "G1", "c9"), 2), 0);
    EXPECT_EQ(file->key(2), "c9");
    EXPECT_EQ(file->keyBuf.substr(2, 10), std::string(10, ' ')) << "nothing past the key is written";
    // A key buffer too short for the key is refused before anything is written.
    std::string data = row("id01", "G1", "c7");
    char shortKey[1] = {};
    uint32_t len = RecordLength;
    EXPECT_EQ(engine->BTRCALL(OpUpdate, file->pos, data.data(), &len, shortKey, 1, 2),
              StatusKeyBufferTooShort);
    ASSERT_EQ(file->get(OpGetEqual, 2, "c9"), 0);
    EXPECT_EQ(file->record(), row("id01", "G1", "c9"));
}

TEST_F(EngineWrites, AfterADeleteNextAndPreviousFollowTheKeyThatSetThePosition)
{
    for (const char* id : {"id01", "id02", "id03"})
        ASSERT_EQ(file->insert(row(id, "G1", std::string("c") + id[3])), 0);
    // Key 1 sets the position; the delete's own key number plays no part.
    ASSERT_EQ(file->get(OpGetEqual, 0, "id02"), 0);
    ASSERT_EQ(file->get(OpGetEqual, 1, "G1"), 0);
    ASSERT_EQ(file->get(OpGetNext, 1), 0);
    EXPECT_EQ(file->record().substr(0, 4), "id02");
    std::string key(255, ' ');
    uint32_t len = 0;
    ASSERT_EQ(engine->BTRCALL(OpDelete, file->pos, nullptr, &len, key.data(), 255, 0), 0);
    EXPECT_EQ(file->get(OpGetNext, 0), StatusDifferentKeyNumber);
    ASSERT_EQ(file->get(OpGetNext, 1), 0);
    EXPECT_EQ(file->record().substr(0, 4), "id03");
}

TEST_F(EngineWrites, ADuplicateWhoseValueChangesGoesAfterTheOthersOfItsNewValue)
{
    ASSERT_EQ(file->insert(row("id01", "G2", "c1")), 0);
    ASSERT_EQ(file->insert(row("id02", "G1", "c2")), 0);
    ASSERT_EQ(file->insert(row("id03", "G2", "c3")), 0);
    ASSERT_EQ(file->insert(row("id04", "G1", "c4")), 0);
    // id01, the first inserted, moves into G1 after the two already there.
    ASSERT_EQ(file->get(OpGetEqual, 1, "G2"), 0);
    ASSERT_EQ(file->update(row("id01", "G1", "c1"), 1), 0);
    EXPECT_EQ(walk(*file, 1), (std::vector<std::string>{"id02", "id04", "id01", "id03"}));
    // A write that leaves the value as it is keeps the record's place.
    ASSERT_EQ(file->get(OpGetEqual, 0, "id02"), 0);
    ASSERT_EQ(file->update(row("id02", "G1", "c2", "new text"), 0), 0);
    EXPECT_EQ(walk(*file, 1), (std::vector<std::string>{"id02", "id04", "id01", "id03"}));
    // The position follows the moved record to its new place.
    ASSERT_EQ(file->get(OpGetEqual, 1, "G2"), 0);
    ASSERT_EQ(file->update(row("id03", "G1", "c3"), 1), 0);
    EXPECT_EQ(file->get(OpGetNext, 1), StatusEndOfFile);
    ASSERT_EQ(file->get(OpGetPrevious, 1), 0);
    EXPECT_EQ(file->record().substr(0, 4), "id01");
}

TEST_F(EngineWrites, AWriteFromAnOutOfDateReadIsAConflict)
{
    ASSERT_EQ(file->insert(row("id01", "G1", "c1", "first")), 0);
    Handle other(*engine, path);
    ASSERT_EQ(file->get(OpGetEqual, 0, "id01"), 0);
    ASSERT_EQ(other.get(OpGetEqual, 0, "id01"), 0);
    ASSERT_EQ(other.update(row("id01", "G1", "c1", "other's"), 0), 0);
    // This open read the record before the other open wrote it: its write would undo the
    // other's, so it is refused until it reads the record again.
    EXPECT_EQ(file->update(row("id01", "G1", "c1", "mine"), 0), StatusConflict);
    EXPECT_EQ(file->remove(), StatusConflict);
    ASSERT_EQ(file->get(OpGetEqual, 0, "id01"), 0);
    EXPECT_EQ(file->record(), row("id01", "G1", "c1", "other's"));
    ASSERT_EQ(file->update(row("id01", "G1", "c1", "mine"), 0), 0);

    // The same between two clients of the file.
    auto client = createEmbeddedEngine();
    Handle elsewhere(*client, path);
    ASSERT_EQ(elsewhere.get(OpGetEqual, 0, "id01"), 0);
    ASSERT_EQ(file->update(row("id01", "G1", "c1", "again"), 0), 0);
    EXPECT_EQ(elsewhere.remove(), StatusConflict);
    ASSERT_EQ(elsewhere.get(OpGetEqual, 0, "id01"), 0);
    EXPECT_EQ(elsewhere.remove(), 0);
    // A record deleted since it was read is no conflict: there is nothing left to write.
    EXPECT_EQ(file->update(row("id01", "G1", "c1", "late"), 0), StatusInvalidPositioning);
}

TEST_F(EngineWrites, ARecordNeverTakesTheIdentityOfADeletedOrAbortedOne)
{
    Handle other(*engine, path);
    // The last record inserted is deleted through another open, then a record is inserted
    // without taking a position: this open's write must not land on the newcomer.
    ASSERT_EQ(file->insert(row("id01", "G1", "c1")), 0);
    ASSERT_EQ(other.get(OpGetEqual, 0, "id01"), 0);
    ASSERT_EQ(other.remove(), 0);
    ASSERT_EQ(other.insert(row("id02", "G1", "c2"), -1), 0);
    EXPECT_EQ(file->update(row("id01", "G1", "c1", "late"), 0), StatusInvalidPositioning);
    EXPECT_EQ(file->remove(), StatusInvalidPositioning);

    // A record inserted inside an aborted transaction is gone with it, and so is its identity.
    ASSERT_EQ(transaction(*engine, OpBeginTransaction), 0);
    ASSERT_EQ(file->insert(row("id03", "G1", "c3")), 0);
    ASSERT_EQ(transaction(*engine, OpAbortTransaction), 0);
    ASSERT_EQ(other.insert(row("id04", "G1", "c4"), -1), 0);
    EXPECT_EQ(file->update(row("id03", "G1", "c3", "late"), 0), StatusInvalidPositioning);
    // ... also for another client, which did not see the transaction at all.
    ASSERT_EQ(transaction(*engine, OpBeginTransaction), 0);
    ASSERT_EQ(file->insert(row("id05", "G2", "c5"), 1), 0);
    ASSERT_EQ(transaction(*engine, OpAbortTransaction), 0);
    auto client = createEmbeddedEngine();
    Handle elsewhere(*client, path);
    ASSERT_EQ(elsewhere.insert(row("id06", "G2", "c6"), -1), 0);
    EXPECT_EQ(file->update(row("id05", "G2", "c5", "late"), 1), StatusInvalidPositioning);
    // The next record of the group is the newcomer, inserted after the place of the aborted one.
    ASSERT_EQ(file->get(OpGetNext, 1), 0);
    EXPECT_EQ(file->record().substr(0, 4), "id06");
    EXPECT_EQ(walk(*file, 0), (std::vector<std::string>{"id02", "id04", "id06"}));
}

// A file written by the engine's first format: no versions, no order columns, no sequence.
void createFirstFormatFile(const QString& path, const std::vector<uint8_t>& description)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    const char* sql = "PRAGMA application_id=1314281538;PRAGMA user_version=1;"
                      "CREATE TABLE description(body BLOB NOT NULL);"
                      "CREATE TABLE records(seq INTEGER PRIMARY KEY, data BLOB NOT NULL, k0 BLOB NOT NULL,"
                      " k1 BLOB NOT NULL, k2 BLOB NOT NULL);"
                      "CREATE UNIQUE INDEX key0 ON records(k0);CREATE INDEX key1 ON records(k1, seq);"
                      "CREATE UNIQUE INDEX key2 ON records(k2);";
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO description(body) VALUES (?1)", -1, &st, nullptr),
              SQLITE_OK);
    sqlite3_bind_blob(st, 1, description.data(), int(description.size()), SQLITE_STATIC);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    ASSERT_EQ(sqlite3_prepare_v2(db, "INSERT INTO records VALUES (?1, ?2, ?3, ?4, ?5)", -1, &st, nullptr),
              SQLITE_OK);
    int seq = 0;
    for (const std::string& r : {row("id01", "G1", "c1"), row("id02", "G1", "c2"), row("id03", "G2", "c3")}) {
        sqlite3_bind_int(st, 1, ++seq);
        sqlite3_bind_blob(st, 2, r.data(), int(r.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(st, 3, r.data(), 4, SQLITE_TRANSIENT);
        sqlite3_bind_blob(st, 4, r.data() + 4, 2, SQLITE_TRANSIENT);
        sqlite3_bind_blob(st, 5, r.data() + 6, 2, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST_F(EngineWrites, AFileOfTheFirstFormatIsBroughtUpToDateWhenOpened)
{
    const QString old = dir.filePath(QStringLiteral("FRADA32.bt6"));
    createFirstFormatFile(old, desc());
    Handle h(*engine, old);
    ASSERT_EQ(h.openStatus, 0);
    EXPECT_EQ(walk(h, 1), (std::vector<std::string>{"id01", "id02", "id03"}));
    ASSERT_EQ(h.get(OpGetEqual, 0, "id01"), 0);
    ASSERT_EQ(h.update(row("id01", "G2", "c1"), 0), 0);
    ASSERT_EQ(h.insert(row("id04", "G2", "c4")), 0);
    EXPECT_EQ(walk(h, 1), (std::vector<std::string>{"id02", "id03", "id01", "id04"}));
    // Opened again, by another client, it is taken as it now is.
    h.close();
    auto client = createEmbeddedEngine();
    Handle again(*client, old);
    ASSERT_EQ(again.openStatus, 0);
    EXPECT_EQ(walk(again, 1), (std::vector<std::string>{"id02", "id03", "id01", "id04"}));
}

} // namespace
} // namespace nvx::test
