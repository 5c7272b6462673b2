// Order of records by key: duplicates, the get operations around a key, folding of case and
// the order of integer keys.
#include "EngineHarness.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nvx::test {
namespace {

using namespace nvx::engine;

constexpr uint16_t RecordLength = 32;

// Key 0: id, bytes 1-8, unique. Key 1: group, bytes 9-12, duplicates, case-insensitive.
// Key 2: signed 32-bit value at bytes 13-16, duplicates.
std::string row(const std::string& id, const std::string& group, int32_t value = 0)
{
    return record(RecordLength, {{0, id}, {8, group}, {12, int32le(value)}, {16, "payload"}});
}

class EngineOrder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("FRAD099.bt6"));
        ASSERT_EQ(createFile(
                      *engine, path,
                      fileDescription(RecordLength, {{{1, 8}},
                                                     {{9, 4, KeyFlag::Duplicates | KeyFlag::CaseInsensitive}},
                                                     {{13, 4, KeyFlag::Duplicates, KeyType::Integer}}})),
                  0);
        file = std::make_unique<Handle>(*engine, path);
        ASSERT_EQ(file->openStatus, 0);
    }

    void insertAll(const std::vector<std::string>& rows)
    {
        for (const std::string& r : rows)
            ASSERT_EQ(file->insert(r), 0);
    }

    // The ids met walking key keyNum from one end to the other.
    std::vector<std::string> walk(int8_t keyNum, bool forward)
    {
        std::vector<std::string> ids;
        int16_t status = file->get(forward ? OpGetFirst : OpGetLast, keyNum);
        while (status == 0) {
            ids.push_back(file->record().substr(0, 8));
            status = file->get(forward ? OpGetNext : OpGetPrevious, keyNum);
        }
        EXPECT_EQ(status, StatusEndOfFile);
        return ids;
    }

    std::string idOf(uint16_t op, int8_t keyNum, const std::string& key)
    {
        const int16_t status = file->get(op, keyNum, key);
        return status == 0 ? file->record().substr(0, 8) : "status " + std::to_string(status);
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<BtrieveEngine> engine = createEmbeddedEngine();
    std::unique_ptr<Handle> file;
};

TEST_F(EngineOrder, DuplicatesWalkInInsertionOrderBothWays)
{
    insertAll({row("id1     ", "B"), row("id2     ", "A"), row("id3     ", "B"), row("id4     ", "C"),
               row("id5     ", "B")});
    EXPECT_EQ(walk(1, true),
              (std::vector<std::string>{"id2     ", "id1     ", "id3     ", "id5     ", "id4     "}));
    EXPECT_EQ(walk(1, false),
              (std::vector<std::string>{"id4     ", "id5     ", "id3     ", "id1     ", "id2     "}));
    // Deleting a record of a group and inserting again puts the new one at the group's end.
    ASSERT_EQ(file->get(OpGetEqual, 0, "id1     "), 0);
    ASSERT_EQ(file->remove(), 0);
    ASSERT_EQ(file->insert(row("id1     ", "B")), 0);
    EXPECT_EQ(walk(1, true),
              (std::vector<std::string>{"id2     ", "id3     ", "id5     ", "id1     ", "id4     "}));
}

TEST_F(EngineOrder, EqualAndGreaterFindTheFirstOfAGroupLessTheLast)
{
    insertAll({row("id1     ", "B"), row("id2     ", "A"), row("id3     ", "B"), row("id4     ", "D"),
               row("id5     ", "B")});
    EXPECT_EQ(idOf(OpGetEqual, 1, "B"), "id1     ");
    EXPECT_EQ(file->dataLen, RecordLength);
    EXPECT_EQ(file->record(), row("id1     ", "B"));
    EXPECT_EQ(idOf(OpGetNext, 1, {}), "id3     "); // on through the group
    EXPECT_EQ(file->key(4), "B   ");
    EXPECT_EQ(idOf(OpGetGreaterOrEqual, 1, "B"), "id1     ");
    EXPECT_EQ(idOf(OpGetGreaterOrEqual, 1, "AZ"), "id1     ");
    EXPECT_EQ(idOf(OpGetGreater, 1, "A"), "id1     ");
    EXPECT_EQ(idOf(OpGetGreater, 1, "B"), "id4     ");
    EXPECT_EQ(idOf(OpGetLessOrEqual, 1, "B"), "id5     ");
    EXPECT_EQ(idOf(OpGetLessOrEqual, 1, "C"), "id5     ");
    EXPECT_EQ(idOf(OpGetLess, 1, "D"), "id5     ");
    EXPECT_EQ(idOf(OpGetLess, 1, "B"), "id2     ");
    EXPECT_EQ(file->key(4), "A   ");
    EXPECT_EQ(idOf(OpGetLessOrEqual, 1, "B"), "id5     ");
    EXPECT_EQ(idOf(OpGetPrevious, 1, {}), "id3     ");

    EXPECT_EQ(idOf(OpGetEqual, 1, "C"), "status 4");
    EXPECT_EQ(idOf(OpGetGreater, 1, "D"), "status 9");
    EXPECT_EQ(idOf(OpGetGreaterOrEqual, 1, "E"), "status 9");
    EXPECT_EQ(idOf(OpGetLess, 1, "A"), "status 9");
    EXPECT_EQ(idOf(OpGetLessOrEqual, 1, "0"), "status 9");
}

TEST_F(EngineOrder, CaseInsensitiveKeysFoldOnlyUnaccentedLetters)
{
    insertAll({row("id1     ", "abc"), row("id2     ", "ABD"), row("id3     ", "Abb"),
               row("id4     ", "\xE9t\xE9"), row("id5     ", "_")});
    // '_' sorts after the upper-case letters that a-z fold into.
    EXPECT_EQ(walk(1, true),
              (std::vector<std::string>{"id3     ", "id1     ", "id2     ", "id5     ", "id4     "}));
    ASSERT_EQ(file->get(OpGetEqual, 1, "ABC"), 0);
    EXPECT_EQ(file->key(4), "abc "); // the key as stored, not as folded
    EXPECT_EQ(idOf(OpGetEqual, 1, "\xC9T\xC9"), "status 4");
    EXPECT_EQ(idOf(OpGetEqual, 1, "\xE9T\xE9"), "id4     ");
    // The unique key is case-sensitive: a different case is a different value.
    EXPECT_EQ(file->insert(row("ID1     ", "x")), 0);
}

TEST_F(EngineOrder, IntegerKeysOrderNumericallyWithNegatives)
{
    insertAll({row("a       ", "", 5), row("b       ", "", -1), row("c       ", "", 300),
               row("d       ", "", -70000), row("e       ", "", 0), row("f       ", "", INT32_MIN),
               row("g       ", "", INT32_MAX)});
    EXPECT_EQ(walk(2, true), (std::vector<std::string>{"f       ", "d       ", "b       ", "e       ",
                                                       "a       ", "c       ", "g       "}));
    EXPECT_EQ(idOf(OpGetGreaterOrEqual, 2, int32le(-2)), "b       ");
    EXPECT_EQ(idOf(OpGetLess, 2, int32le(0)), "b       ");
    EXPECT_EQ(idOf(OpGetGreater, 2, int32le(255)), "c       ");
    EXPECT_EQ(file->key(4), int32le(300));
}

TEST(EngineSegmentedKey, SegmentsCompareInTurnAndDescendingReverses)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("seg.bt6"));
    auto engine = createEmbeddedEngine();
    // Key 0: an unsigned 16-bit number at bytes 5-6, then text at bytes 1-4 descending.
    ASSERT_EQ(createFile(*engine, path,
                         fileDescription(8, {{{5, 2, KeyFlag::Duplicates, KeyType::Unsigned},
                                              {1, 4, KeyFlag::Duplicates | KeyFlag::Descending}}})),
              0);
    Handle file(*engine, path);
    auto rec = [](const std::string& text, uint16_t n) {
        std::string r = text;
        r.resize(4, ' ');
        r += char(n & 0xFF);
        r += char(n >> 8);
        r += "  ";
        return r;
    };
    for (const auto& [text, n] : std::vector<std::pair<std::string, uint16_t>>{
             {"aaaa", 256}, {"bbbb", 1}, {"cccc", 256}, {"dddd", 1}, {"eeee", 65535}})
        ASSERT_EQ(file.insert(rec(text, n)), 0);
    std::vector<std::string> order;
    for (int16_t s = file.get(OpGetFirst, 0); s == 0; s = file.get(OpGetNext, 0))
        order.push_back(file.record().substr(0, 4));
    EXPECT_EQ(order, (std::vector<std::string>{"dddd", "bbbb", "cccc", "aaaa", "eeee"}));
    // The key buffer holds the segments one after the other, as they stand in the record.
    ASSERT_EQ(file.get(OpGetFirst, 0), 0);
    EXPECT_EQ(file.key(6), std::string("\x01\x00", 2) + "dddd");
}

} // namespace
} // namespace nvx::test
