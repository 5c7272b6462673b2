// Transactions of one client, and two processes on one file.
#include "EngineHarness.h"
#include "support/LockHolder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace nvx::test {
namespace {

using namespace nvx::engine;

constexpr uint16_t RecordLength = 16;

std::string row(const std::string& id)
{
    return record(RecordLength, {{0, id}});
}

std::vector<uint8_t> desc()
{
    return fileDescription(RecordLength, {{{1, 8}}});
}

class EngineTransaction : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("FRAD012.bt6"));
        ASSERT_EQ(createFile(*engine, path, desc()), 0);
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<BtrieveEngine> engine = createEmbeddedEngine();
};

TEST_F(EngineTransaction, EndKeepsAndAbortDiscardsTheWrites)
{
    Handle file(*engine, path);
    ASSERT_EQ(transaction(*engine, OpBeginTransaction), 0);
    ASSERT_EQ(file.insert(row("kept1")), 0);
    ASSERT_EQ(file.insert(row("kept2")), 0);
    ASSERT_EQ(transaction(*engine, OpEndTransaction), 0);

    ASSERT_EQ(transaction(*engine, OpBeginConcurrentTransaction), 0);
    ASSERT_EQ(file.insert(row("dropped")), 0);
    ASSERT_EQ(file.get(OpGetEqual, 0, "kept1"), 0);
    ASSERT_EQ(file.remove(), 0);
    ASSERT_EQ(transaction(*engine, OpAbortTransaction), 0);

    // Another client sees exactly the committed state.
    auto other = createEmbeddedEngine();
    Handle reader(*other, path);
    std::vector<std::string> ids;
    for (int16_t s = reader.get(OpGetFirst, 0); s == 0; s = reader.get(OpGetNext, 0))
        ids.push_back(reader.record().substr(0, 5));
    EXPECT_EQ(ids, (std::vector<std::string>{"kept1", "kept2"}));
}

TEST_F(EngineTransaction, MisuseIsReported)
{
    EXPECT_EQ(transaction(*engine, OpEndTransaction), StatusNoTransaction);
    EXPECT_EQ(transaction(*engine, OpAbortTransaction), StatusNoTransaction);
    ASSERT_EQ(transaction(*engine, OpBeginTransaction), 0);
    EXPECT_EQ(transaction(*engine, OpBeginTransaction), StatusTransactionActive);
    EXPECT_EQ(transaction(*engine, OpBeginConcurrentTransaction), StatusTransactionActive);
    EXPECT_EQ(transaction(*engine, OpEndTransaction), 0);
    EXPECT_EQ(transaction(*engine, OpEndTransaction), StatusNoTransaction);
}

TEST_F(EngineTransaction, AFileClosedOrOpenedInsideATransactionBelongsToIt)
{
    ASSERT_EQ(transaction(*engine, OpBeginTransaction), 0);
    {
        Handle file(*engine, path);
        ASSERT_EQ(file.openStatus, 0);
        ASSERT_EQ(file.insert(row("inside")), 0);
    } // closed before the transaction ends
    ASSERT_EQ(transaction(*engine, OpAbortTransaction), 0);
    Handle file(*engine, path);
    EXPECT_EQ(file.get(OpGetFirst, 0), StatusEndOfFile);
}

TEST_F(EngineTransaction, GroupedReadsKeepOneViewAndGiveWayToWrites)
{
    Handle file(*engine, path);
    ASSERT_EQ(file.insert(row("first")), 0);
    auto other = createEmbeddedEngine();
    Handle writer(*other, path);

    engine->beginReads();
    engine->beginReads(); // nested: only the outer end lets the view go
    ASSERT_EQ(file.get(OpGetFirst, 0), 0);
    // Another client writes while the view is held, and is not kept waiting.
    ASSERT_EQ(writer.insert(row("second")), 0);
    EXPECT_EQ(file.get(OpGetEqual, 0, "second"), StatusKeyNotFound);
    engine->endReads();
    EXPECT_EQ(file.get(OpGetEqual, 0, "second"), StatusKeyNotFound);

    // A transaction of this client starts from the file as it is now, not from the view.
    ASSERT_EQ(writer.insert(row("third")), 0);
    ASSERT_EQ(transaction(*engine, OpBeginTransaction), 0);
    EXPECT_EQ(file.get(OpGetEqual, 0, "third"), 0);
    ASSERT_EQ(file.insert(row("fourth")), 0);
    ASSERT_EQ(transaction(*engine, OpEndTransaction), 0);
    // ... and so does a write outside a transaction.
    ASSERT_EQ(file.get(OpGetFirst, 0), 0);
    ASSERT_EQ(writer.insert(row("fifth")), 0);
    ASSERT_EQ(file.insert(row("sixth")), 0);
    EXPECT_EQ(file.get(OpGetEqual, 0, "fifth"), 0);
    engine->endReads();

    // Outside any group every read sees the latest commit.
    ASSERT_EQ(writer.insert(row("seventh")), 0);
    EXPECT_EQ(file.get(OpGetEqual, 0, "seventh"), 0);
    EXPECT_EQ(writer.get(OpGetEqual, 0, "sixth"), 0);
}

TEST(EngineChildProcess, HoldsATransactionUntilTold)
{
    const QString path = LockHolder::fileToLock();
    if (path.isEmpty())
        GTEST_SKIP() << "runs only as the child process of the two-process test";
    auto engine = createEmbeddedEngine();
    Handle file(*engine, path);
    ASSERT_EQ(file.openStatus, 0);
    ASSERT_EQ(transaction(*engine, OpBeginTransaction), 0);
    ASSERT_EQ(file.insert(row("child")), 0);
    ASSERT_TRUE(LockHolder::lockedUntilReleased());
    ASSERT_EQ(transaction(*engine, OpEndTransaction), 0);
}

TEST_F(EngineTransaction, AnotherProcessHoldingTheFileGivesFileInUseUntilItCommits)
{
    LockHolder child;
    ASSERT_TRUE(child.start(path, QStringLiteral("EngineChildProcess.HoldsATransactionUntilTold")))
        << child.output().toStdString();

    Handle file(*engine, path);
    ASSERT_EQ(file.openStatus, 0);
    EXPECT_EQ(file.insert(row("parent")), StatusFileInUse);
    EXPECT_EQ(transaction(*engine, OpBeginTransaction), StatusFileInUse);
    EXPECT_EQ(transaction(*engine, OpEndTransaction), StatusNoTransaction); // none left behind
    // Reading goes on, without the other process's uncommitted record.
    EXPECT_EQ(file.get(OpGetEqual, 0, "child"), StatusKeyNotFound);

    ASSERT_TRUE(child.release()) << child.output().toStdString();

    EXPECT_EQ(file.get(OpGetEqual, 0, "child"), 0);
    EXPECT_EQ(file.insert(row("parent")), 0);
}

} // namespace
} // namespace nvx::test
