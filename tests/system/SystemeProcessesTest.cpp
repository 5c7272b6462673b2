#include "common/Clock.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "support/RecordingReporter.h"
#include "system/Systeme.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace nvx;
using nvx::test::RecordingReporter;

namespace {

// A child process that is killed and collected when the test ends, whatever happened.
struct Child {
    explicit Child(const QString& script)
    {
        process.start(QStringLiteral("sh"), {QStringLiteral("-c"), script});
        EXPECT_TRUE(process.waitForStarted());
    }
    ~Child()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    qint64 pid() const { return process.processId(); }
    QProcess process;
};

class ProcessHelpersTest : public ::testing::Test {
protected:
    ProcessHelpersTest()
        : fake(reporter, fakeClock, host, identity, lifecycle),
          real(reporter, systemClock, host, identity, lifecycle)
    {
        const auto runner = [this](const QString& program, const QStringList& arguments) {
            commands.append(program + u' ' + arguments.join(u' '));
            return runnerResult;
        };
        fake.setCommandRunner(runner);
        real.setCommandRunner(runner);
        fake.setAutostartFolder(tmp.filePath(QStringLiteral("autostart")));
        fake.shell = [this](const QString& verb, const QString& file, const QString& parameters,
                            const QString& directory, int showMode) {
            return host.shellExecute(verb, file, parameters, directory, showMode);
        };
    }

    QString entryPath() const
    {
        return tmp.filePath(QStringLiteral("autostart/Velmora - Tools NVX.desktop"));
    }
    QStringList entryLines() const
    {
        QFile f(entryPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                           : QStringList();
    }

    QTemporaryDir tmp;
    RecordingReporter reporter;
    test::FakeClock fakeClock;
    SystemClock systemClock;
    test::FakeHost host;
    Identity identity;
    Lifecycle lifecycle;
    Systeme fake;
    Systeme real;
    QStringList commands;
    int runnerResult = 0;
};

TEST_F(ProcessHelpersTest, WaitingForARunningChildEndsAtTheTimeOutWithStillActive)
{
    Child child(QStringLiteral("exec sleep 30"));
    const qint64 start = systemClock.ChronoMilliSec();
    EXPECT_EQ(real.AttenteFinProcessusExterne(child.pid(), 300), 259);
    const qint64 elapsed = systemClock.ChronoMilliSec() - start;
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 5000);
    EXPECT_GT(host.pumps, 0) << "a positive time-out keeps events running";
    EXPECT_EQ(child.process.state(), QProcess::Running);
}

TEST_F(ProcessHelpersTest, WaitingReturnsTheExitCodeAndLeavesTheChildToItsOwner)
{
    Child child(QStringLiteral("sleep 0.2; exit 3"));
    EXPECT_EQ(real.AttenteFinProcessusExterne(child.pid(), -1), 3);
    EXPECT_EQ(host.pumps, 0) << "time-out -1 does not pump";
    ASSERT_TRUE(child.process.waitForFinished(5000));
    EXPECT_EQ(child.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.process.exitCode(), 3) << "the QProcess still gets its child's status";

    // A process that is not our child is followed until the system no longer knows it.
    Child parent(QStringLiteral("sleep 0.3 & echo $!; wait"));
    ASSERT_TRUE(parent.process.waitForReadyRead(5000));
    const qint64 grandChild = parent.process.readLine().trimmed().toLongLong();
    ASSERT_GT(grandChild, 0);
    EXPECT_EQ(real.AttenteFinProcessusExterne(grandChild, 10000), 0);
    // Ended: gone, or a zombie its shell has not reaped yet.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(grandChild));
    const QByteArray etat = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const qsizetype fin = etat.lastIndexOf(')');
    EXPECT_TRUE(::kill(pid_t(grandChild), 0) != 0 || etat.isEmpty() ||
                (fin > 0 && (etat.mid(fin + 2, 1) == "Z" || etat.mid(fin + 2, 1) == "X")))
        << etat.constData();
}

TEST_F(ProcessHelpersTest, WaitingStylesAndStops)
{
    const qint64 self = QCoreApplication::applicationPid(); // never ends while we wait

    // Positive time-out with the fake clock: each poll sleeps 10 ms.
    EXPECT_EQ(fake.AttenteFinProcessusExterne(self, 1000), 259);
    EXPECT_GE(fakeClock.ChronoMilliSec() - 3600000, 1000);
    EXPECT_LE(fakeClock.ChronoMilliSec() - 3600000, 1020);
    EXPECT_GE(host.pumps, 100);

    // Time-out 0 has no limit: it ends only when the application closes.
    host.pumps = 0;
    host.onPump = [this] {
        if (host.pumps == 50)
            lifecycle.unloadStarted();
    };
    EXPECT_EQ(fake.AttenteFinProcessusExterne(self, 0), 259);
    EXPECT_EQ(host.pumps, 50);

    // Ids that name process groups are never waited for or signalled.
    host.pumps = 0;
    EXPECT_EQ(fake.AttenteFinProcessusExterne(0, 1000), 0);
    EXPECT_EQ(fake.AttenteFinProcessusExterne(-1, 1000), 0);
    EXPECT_EQ(host.pumps, 0);
}

TEST_F(ProcessHelpersTest, WaitOnDurationPumpsUntilDoneOrClosing)
{
    const qint64 start = fakeClock.ChronoMilliSec();
    fake.WaitOnDuration(95);
    EXPECT_EQ(fakeClock.ChronoMilliSec() - start, 95);
    EXPECT_GE(host.pumps, 10);

    host.pumps = 0;
    host.onPump = [this] {
        if (host.pumps == 3)
            lifecycle.unloadStarted();
    };
    fake.WaitOnDuration(60000);
    EXPECT_EQ(host.pumps, 3);
    EXPECT_LT(fakeClock.ChronoMilliSec() - start, 200);
}

TEST_F(ProcessHelpersTest, ShutdownGoesThroughTheInjectedRunner)
{
    fake.ShutdownWindows(2);
    fake.ShutdownWindows(1);
    fake.ShutdownWindows(8);
    runnerResult = 1;
    fake.ShutdownWindows(2 | 4);
    ASSERT_EQ(commands.size(), 4);
    EXPECT_EQ(commands[0], QStringLiteral("systemctl reboot -i"));
    EXPECT_EQ(commands[1], QStringLiteral("systemctl poweroff -i"));
    EXPECT_EQ(commands[2], commands[1]);
    EXPECT_EQ(commands[3], commands[0]);
    EXPECT_EQ(reporter.lines.filter(QStringLiteral("systemctl reboot")).size(), 3)
        << "each request is traced";
    EXPECT_TRUE(reporter.lines.last().startsWith(QStringLiteral("Err: ShutdownWindows:")));

    fake.ShutdownWindows(0);
    EXPECT_EQ(commands.size(), 4) << "a mode without a system equivalent runs nothing";
    EXPECT_TRUE(reporter.lines.last().startsWith(QStringLiteral("Warning: ShutdownWindows")));
}

TEST_F(ProcessHelpersTest, StartUpEntryIsWrittenWithTheClampedWaitAndRemoved)
{
    const QString program = QCoreApplication::applicationFilePath();
    for (const auto& [asked, used] : {std::pair{0, 1000}, {999, 1000}, {45000, 45000}, {500000, 120000}}) {
        fake.CreateShortCutStartUp(true, asked, QStringLiteral("Test"));
        const QStringList lines = entryLines();
        ASSERT_FALSE(lines.isEmpty()) << asked;
        EXPECT_EQ(lines[0], QStringLiteral("[Desktop Entry]"));
        EXPECT_TRUE(lines.contains(QStringLiteral("Exec=\"") + program + QStringLiteral("\" /Wait=") +
                                   QString::number(used)))
            << asked;
    }
    const QStringList lines = entryLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("Type=Application")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Name=Tools NVX")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Comment=Lancer le Tools NVX Velmora")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Path=") + QFileInfo(program).absolutePath()));
    EXPECT_TRUE(lines.contains(QStringLiteral("Icon=vl3-tools-nvx")));

    fake.CreateShortCutStartUp(false, 0, QStringLiteral("Test"));
    EXPECT_FALSE(QFile::exists(entryPath()));
    fake.CreateShortCutStartUp(false, 0, QStringLiteral("Test"));
    EXPECT_TRUE(reporter.origins.isEmpty());

    // A folder that cannot be created is logged with the caller.
    QFile blocker(tmp.filePath(QStringLiteral("blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    fake.setAutostartFolder(tmp.filePath(QStringLiteral("blocked/autostart")));
    fake.CreateShortCutStartUp(true, 5000, QStringLiteral("Lib_Public:GestionDesErreurs"));
    ASSERT_FALSE(reporter.lines.isEmpty());
    EXPECT_TRUE(reporter.lines.last().startsWith(QStringLiteral("Err: Unable to create the shortcut: ")));
    EXPECT_TRUE(reporter.lines.last().endsWith(QStringLiteral("Lib_Public:GestionDesErreurs")));
}

namespace {

// The keys of the [Desktop Entry] group of a desktop entry file, as key=value lines.
QStringList desktopEntryKeys(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList keys;
    bool inEntry = false;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line.startsWith(u'['))
            inEntry = line == u"[Desktop Entry]";
        else if (inEntry && line.contains(u'=') && !line.startsWith(u'#'))
            keys.append(line);
    }
    return keys;
}

QString keyValue(const QStringList& keys, const QString& key)
{
    const QString prefix = key + u'=';
    for (const QString& line : keys)
        if (line.startsWith(prefix))
            return line.mid(prefix.size());
    return QStringLiteral("<%1 missing>").arg(key);
}

} // namespace

TEST_F(ProcessHelpersTest, StartUpEntryShowsTheProgramAsTheInstalledDesktopEntryDoes)
{
    const QStringList installed =
        desktopEntryKeys(QStringLiteral(NVX_SOURCE_DIR "/packaging/vl3-tools-nvx.desktop"));
    ASSERT_FALSE(installed.isEmpty()) << "the package's desktop entry is readable";

    fake.CreateShortCutStartUp(true, 10000, QStringLiteral("Test"));
    const QStringList startUp = desktopEntryKeys(entryPath());
    ASSERT_FALSE(startUp.isEmpty());
    for (const char* key : {"Type", "Name", "Comment", "Icon"})
        EXPECT_EQ(keyValue(startUp, QString::fromLatin1(key)).toStdString(),
                  keyValue(installed, QString::fromLatin1(key)).toStdString())
            << key;
    // Only the start-up entry waits before starting, and it starts this very program.
    EXPECT_TRUE(keyValue(startUp, QStringLiteral("Exec"))
                    .startsWith(u'"' + QCoreApplication::applicationFilePath() + u'"'));
    EXPECT_TRUE(keyValue(startUp, QStringLiteral("Exec")).endsWith(QStringLiteral(" /Wait=10000")));
}

TEST_F(ProcessHelpersTest, ShellFailuresAreReportedWithTheirFrenchText)
{
    host.shellResult = 42;
    EXPECT_EQ(fake.ExecuterProgrammeExterne(QStringLiteral("open"), QStringLiteral("C:\\doc.pdf")), 42);
    EXPECT_TRUE(reporter.origins.isEmpty());

    const struct {
        int result;
        const char16_t* text;
    } cases[] = {
        {26, u"Violation de partage: Erreur d'accès au Dossier/Fichier"},
        {32, u"Le fichier dll ne peut être trouvé"},
        {17, u"Erreur à l'ouverture ou l'impression du fichier sélectionné"},
    };
    for (const auto& c : cases) {
        host.shellResult = c.result;
        EXPECT_EQ(fake.ExecuterProgrammeExterne(QStringLiteral("open"), QStringLiteral("C:\\doc.pdf")),
                  c.result);
        ASSERT_FALSE(reporter.errors.isEmpty());
        EXPECT_EQ(reporter.origins.last(), QStringLiteral("Lib_Systeme:ExecuterProgrammeExterne"));
        EXPECT_EQ(reporter.errors.last().ErreurNumero, c.result);
        EXPECT_EQ(reporter.errors.last().ErreurDescription, QString::fromUtf16(c.text));
        EXPECT_EQ(reporter.errors.last().ErreurSource,
                  QStringLiteral("C:\\doc.pdf.ExecuterProgrammeExterne"));
    }

    // The shell's 0 is a memory shortage; it must not read as "no error" in the report.
    host.shellResult = 0;
    EXPECT_EQ(fake.ExecuterProgrammeExterne(QStringLiteral("open"), QStringLiteral("x")), 0);
    EXPECT_EQ(reporter.errors.last().ErreurNumero, 8);
    EXPECT_EQ(reporter.errors.last().ErreurDescription, QStringLiteral("Dépassement de mémoire"));
    EXPECT_EQ(host.executions.size(), 5);
}

TEST_F(ProcessHelpersTest, FolderSelectAddsTheBackslashOrAnswersStar)
{
    host.folderAnswers = {QStringLiteral("D:\\Sons"), QStringLiteral("E:\\Pub\\")};
    EXPECT_EQ(fake.FolderSelect(QString(), QStringLiteral("C:\\")), QStringLiteral("D:\\Sons\\"));
    EXPECT_EQ(fake.FolderSelect(QStringLiteral("Dossier pub"), QString()), QStringLiteral("E:\\Pub\\"));
    EXPECT_EQ(fake.FolderSelect(QStringLiteral("Dossier pub"), QString()), QStringLiteral("*"));
    ASSERT_EQ(host.folderRequests.size(), 3);
    EXPECT_EQ(host.folderRequests[0], QStringLiteral("Sélectionnez un dossier: |C:\\"));
    EXPECT_EQ(host.folderRequests[1], QStringLiteral("Dossier pub|"));
}

} // namespace
