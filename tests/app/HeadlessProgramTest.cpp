#include "support/SiteBuilder.h"

#include <QDate>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using nvx::test::SiteBuilder;

namespace {

const QString kProgram = QStringLiteral(NVX_BIN_DIR "/vl3-tools-nvx");

class HeadlessProgramTest : public ::testing::Test {
protected:
    HeadlessProgramTest() { site.build(); }

    void start(QProcess& p, const QStringList& switches) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VL3_DRIVE_ROOT"), drives.path());
        env.insert(QStringLiteral("TMPDIR"), locks.path()); // where the single-copy lock lives
        p.setProcessEnvironment(env);
        p.start(kProgram,
                QStringList{QStringLiteral("--headless"), QStringLiteral("--home"), home.path()} + switches);
        ASSERT_TRUE(p.waitForStarted(10000));
    }
    // Reads stdout until the program says it runs.
    static bool waitStarted(QProcess& p, QByteArray& out)
    {
        for (int i = 0; i < 200 && !out.contains("Tools NVX started"); ++i) {
            if (!p.waitForReadyRead(100) && p.state() == QProcess::NotRunning)
                break;
            out += p.readAllStandardOutput();
        }
        return out.contains("Tools NVX started");
    }

    QTemporaryDir drives, home, locks;
    SiteBuilder site{drives.path(), home.path()};
};

TEST_F(HeadlessProgramTest, StartsTracesAndQuitsCleanlyOnSigterm)
{
    QProcess p;
    start(p, {QStringLiteral("/Instance=3")});
    QByteArray out;
    ASSERT_TRUE(waitStarted(p, out)) << out.constData() << p.readAllStandardError().constData();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);

    QFile log(site.c(QStringLiteral("Logs/Histo_VL3_Tools_NVX/")) +
              QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".Log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << qPrintable(log.fileName());
    const QString text = QString::fromUtf8(log.readAll());
    for (const char* line : {"==:==:==:====:=:=:=:App.Version: ", "Command Line: '/Instance=3'",
                             "Instance: 3", "----- Tools NVX: Init: Fin -----", "----- Init: Duration: ",
                             "Id Radio: {RADIO-01}", "Frm_Main: Form_Unload: Start"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line;
    EXPECT_EQ(nvx::IniFile::read(site.c(QStringLiteral("Site/Config1/QM_PRG.ini")),
                                 QStringLiteral("Data_Backup"), QStringLiteral("Start")),
              QStringLiteral("0FF"));
}

TEST_F(HeadlessProgramTest, SecondCopyIsRefused)
{
    QProcess first;
    start(first, {});
    QByteArray out;
    ASSERT_TRUE(waitStarted(first, out));

    QProcess second;
    start(second, {QStringLiteral("/Instance=2")});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError())
                    .contains(QStringLiteral("Application encore chargée en mémoire.")));
    EXPECT_FALSE(QFile::exists(home.filePath(QStringLiteral("Settings/VL3_Tools_NVX/VL3_Tools_NVX_2.Ini"))));

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitCode(), 0);
}

} // namespace
