// Loading an engine library at run time, and the choice of engine.
#include "EngineHarness.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nvx::test {
namespace {

using namespace nvx::engine;

const QString SharedEngine = QStringLiteral(NVX_LIB_DIR "/libvl3btrieve.so");

TEST(EngineLoader, TheSharedEngineCreatesAndReadsFiles)
{
    QString error;
    auto loaded = loadVendorEngine(SharedEngine, &error);
    ASSERT_TRUE(loaded) << error.toStdString();
    EXPECT_EQ(loaded->description(), SharedEngine);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("FRAD031.bt6"));
    ASSERT_EQ(createFile(*loaded, path, fileDescription(12, {{{1, 4, KeyFlag::Duplicates}}})), 0);
    EXPECT_EQ(createFile(*loaded, path, fileDescription(12, {{{1, 4}}}), -1), StatusFileExists);
    {
        Handle file(*loaded, path);
        ASSERT_EQ(file.openStatus, 0);
        ASSERT_EQ(file.insert("0001aaaaaaaa"), 0);
        ASSERT_EQ(file.insert("0001bbbbbbbb"), 0);
        ASSERT_EQ(file.get(OpGetLessOrEqual, 0, "0001"), 0);
        EXPECT_EQ(file.record(), "0001bbbbbbbb");
    }
    // The program's own engine reads what the library wrote.
    auto embedded = createEmbeddedEngine();
    Handle file(*embedded, path);
    ASSERT_EQ(file.get(OpGetEqual, 0, "0001"), 0);
    EXPECT_EQ(file.record(), "0001aaaaaaaa");
}

TEST(EngineLoader, LibrariesThatCannotServeAreRefusedWithAReason)
{
    QString error;
    EXPECT_FALSE(loadVendorEngine(QStringLiteral("/nonexistent/libengine.so"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("/nonexistent/libengine.so"))) << error.toStdString();

    error.clear();
    EXPECT_FALSE(loadVendorEngine(QStringLiteral("libm.so.6"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("no BTRCALL"))) << error.toStdString();
}

TEST(EngineLoader, TheLibraryIsChosenByArgumentThenEnvironment)
{
    const QByteArray saved = qgetenv("VL3_BTRIEVE_LIBRARY");
    QString error;
    qunsetenv("VL3_BTRIEVE_LIBRARY");
    auto engine = createEngine({}, &error);
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->description(), QStringLiteral("embedded"));

    qputenv("VL3_BTRIEVE_LIBRARY", SharedEngine.toLocal8Bit());
    engine = createEngine({}, &error);
    ASSERT_TRUE(engine) << error.toStdString();
    EXPECT_EQ(engine->description(), SharedEngine);

    // The argument wins over the environment, and its failure is not hidden by a fallback.
    EXPECT_FALSE(createEngine(QStringLiteral("/nonexistent/libengine.so"), &error));
    EXPECT_FALSE(error.isEmpty());

    if (saved.isNull())
        qunsetenv("VL3_BTRIEVE_LIBRARY");
    else
        qputenv("VL3_BTRIEVE_LIBRARY", saved);
}

} // namespace
} // namespace nvx::test
