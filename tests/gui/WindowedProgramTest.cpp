#include "common/IniFile.h"
#include "support/SiteBuilder.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The real program on a virtual X display: its main window is found by its caption, pictured,
// and the quit from its menu runs the unload.
TEST(WindowedProgram, ShowsItsMainWindowAndQuitsThroughTheMenu)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
        GTEST_FAIL() << "xvfb-run is missing: scripts/bootstrap installs it";
    QTemporaryDir drives, home, locks;
    nvx::test::SiteBuilder site{drives.path(), home.path()};
    site.build();
    // Empty record files for every station: a missing one would stop the start-up on its question.
    for (const QString& station : {QStringLiteral("1"), QStringLiteral("2")})
        for (const char* fichier : {"20", "21", "22", "24", "26", "31", "32", "41", "42", "53"}) {
            QProcess creer;
            creer.start(QStringLiteral(NVX_BIN_DIR "/vl3-btrieve"),
                        {QStringLiteral("create"), QStringLiteral("--data"), site.c(QStringLiteral("Data1")),
                         QStringLiteral("--file"), QString::fromLatin1(fichier), QStringLiteral("--station"),
                         station});
            ASSERT_TRUE(creer.waitForFinished(30000));
            ASSERT_EQ(creer.exitCode(), 0) << creer.readAllStandardError().constData();
        }
    const QString shot = locks.filePath(QStringLiteral("main.png"));

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), locks.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), locks.path());
    // Under the sanitizers, the X and font libraries keep memory to the end of the process.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    run.setProcessEnvironment(env);
    run.start(QStringLiteral("xvfb-run"),
              {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x720x24"),
               QStringLiteral(NVX_TESTS_DIR "/gui/windowed-program.sh"),
               QStringLiteral(NVX_BIN_DIR "/vl3-tools-nvx"), home.path(), drives.path(), shot});
    ASSERT_TRUE(run.waitForFinished(90000));
    const QString out = QString::fromUtf8(run.readAllStandardOutput());
    QFile trace(shot + QStringLiteral(".trace"));
    const QByteArray etapes = trace.open(QIODevice::ReadOnly) ? trace.readAll() : QByteArray();
    ASSERT_EQ(run.exitCode(), 0) << out.toStdString() << etapes.constData();
    EXPECT_TRUE(out.contains(QStringLiteral("exit 0"))) << out.toStdString();

    const QImage image(shot);
    ASSERT_FALSE(image.isNull()) << "no screenshot";
    EXPECT_GT(image.width(), 300);
    EXPECT_GT(image.height(), 200);
    // The unload ran: each database is marked as the program leaves it.
    EXPECT_EQ(nvx::IniFile::read(site.c(QStringLiteral("Site/Config1/QM_PRG.ini")),
                                 QStringLiteral("Data_Backup"), QStringLiteral("Start")),
              QStringLiteral("0FF"));
}

} // namespace
