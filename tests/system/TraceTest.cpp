#include "system/Trace.h"

#include "support/Owners.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

using namespace nvx;

namespace {

class TraceLogTest : public ::testing::Test, protected test::TraceOwners {
protected:
    TraceLogTest()
    {
        identity.NomExecutable = QStringLiteral("vl3-tools-nvx");
        systeme.setCommandRunner([this](const QString& program, const QStringList& args) {
            commands.append(program + u' ' + args.join(u' '));
            return 0;
        });
        systeme.setAutostartFolder(drives.filePath(QStringLiteral("autostart")));
        trace.setLogFolder(0, QStringLiteral("C:\\Logs\\"));
    }

    QString logPath(const QString& day = QStringLiteral("20200220")) const
    {
        return drives.filePath(QStringLiteral("c/Logs/") + day + QStringLiteral(".Log"));
    }
    QStringList fileLines(const QString& day = QStringLiteral("20200220")) const
    {
        QFile f(logPath(day));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    void loadSetup() { lifecycle.setSetupCharge(true); }

    QStringList commands;
};

TEST_F(TraceLogTest, LineLayoutColumnsAndElapsedField)
{
    trace.TraceLog(-1, -1, -1, QStringLiteral("first"));
    clock.advance(5);
    trace.TraceLog(-1, 12, 12, QStringLiteral("five ms later"));
    clock.advance(250);
    trace.TraceLog(-1, -2, -1, QStringLiteral("not debug"));
    clock.advance(10000);
    trace.TraceLog(-1, -2, -2, QStringLiteral("debug"));
    clock.advance(21);
    trace.TraceLog(-1, 3, 7, QStringLiteral(" kept as given "));

    ASSERT_EQ(trace.ListeBis.size(), 5);
    EXPECT_EQ(trace.ListeBis[0], QStringLiteral("*0:00:00:000 : : :    :first"));
    EXPECT_EQ(trace.ListeBis[1], QStringLiteral("10:00:00:005 :12:C:    :five ms later"));
    EXPECT_EQ(trace.ListeBis[2], QStringLiteral("10:00:00:255 : : : 250:not debug"));
    EXPECT_EQ(trace.ListeBis[3], QStringLiteral("10:00:10:255 :Debug:xxxx:debug"));
    EXPECT_EQ(trace.ListeBis[4], QStringLiteral("10:00:10:276 :3:7:  21: kept as given "));
}

TEST_F(TraceLogTest, BlankTextTracesNothingAndKeepsTheElapsedReference)
{
    trace.TraceLog(-1, -1, -1, QStringLiteral("a"));
    clock.advance(300);
    trace.TraceLog(-1, -1, -1, QStringLiteral("   "));
    clock.advance(100);
    trace.TraceLog(-1, -1, -1, QStringLiteral("b"));
    ASSERT_EQ(trace.ListeBis.size(), 2);
    EXPECT_TRUE(trace.ListeBis[1].endsWith(QStringLiteral(" 400:b")));
}

TEST_F(TraceLogTest, PendingStartupLinesMoveToTheLogListInOrder)
{
    trace.TraceLog(-1, -1, -1, QStringLiteral("one"));
    trace.TraceLog(-1, -1, -1, QStringLiteral("two"));
    EXPECT_TRUE(trace.ListeLog.isEmpty());
    loadSetup();
    trace.TraceLog(-1, -1, -1, QStringLiteral("three"));
    ASSERT_EQ(trace.ListeLog.size(), 3);
    EXPECT_TRUE(trace.ListeBis.isEmpty());
    EXPECT_TRUE(trace.ListeLog[0].startsWith(u'*'));
    EXPECT_TRUE(trace.ListeLog[1].startsWith(u'1'));
    EXPECT_TRUE(trace.ListeLog[2].endsWith(QStringLiteral("three")));
    EXPECT_FALSE(QFile::exists(logPath())) << "nothing is written before a batch is full";

    lifecycle.unloadStarted();
    lifecycle.setSetupCharge(false);
    trace.TraceLog(-1, -1, -1, QStringLiteral("after unload"));
    EXPECT_TRUE(trace.ListeBis.isEmpty());
}

TEST_F(TraceLogTest, IncidentsAreTrimmedBoundedAndWrittenAtOnce)
{
    loadSetup();
    trace.TraceLog(-1, -1, -1, QStringLiteral(":: Err: disk lost "), true);
    ASSERT_EQ(trace.ListeIncidents.size(), 1);
    EXPECT_EQ(trace.ListeIncidents[0], QStringLiteral("20/02 *0:00:00:000 : : :    :Err: disk lost"));
    EXPECT_EQ(host.incidentLines, trace.ListeIncidents);
    EXPECT_TRUE(trace.ListeLog.isEmpty()) << "an incident flushes the list";
    EXPECT_TRUE(fileLines().last().endsWith(QStringLiteral(":: Err: disk lost ")));

    trace.TraceLog(-1, -1, -1, QStringLiteral("level makes an incident"), false, 0);
    EXPECT_EQ(trace.ListeIncidents.size(), 2);

    // A window opened later shows the last thousand.
    while (trace.ListeIncidents.size() < Trace::kMaxIncidentLines)
        trace.ListeIncidents.append(QStringLiteral("old"));
    trace.TraceLog(-1, -1, -1, QStringLiteral("newest"), true);
    ASSERT_EQ(trace.ListeIncidents.size(), Trace::kMaxIncidentLines);
    EXPECT_TRUE(trace.ListeIncidents.last().endsWith(QStringLiteral("newest")));
    EXPECT_EQ(host.incidentLines.last(), trace.ListeIncidents.last());
    trace.clearIncidents();
    EXPECT_TRUE(trace.ListeIncidents.isEmpty());
}

TEST_F(TraceLogTest, BatchesHeaderOncePerDayAndEmptyWrites)
{
    loadSetup();
    trace.setBatchSizeText(QStringLiteral("3"));
    trace.TraceLog(-1, -1, -1, QStringLiteral("l1"));
    trace.TraceLog(-1, -1, -1, QStringLiteral("l2"));
    EXPECT_FALSE(QFile::exists(logPath()));
    trace.TraceLog(-1, -1, -1, QStringLiteral("l3"));
    QStringList lines = fileLines();
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[0], QStringLiteral("==:==:==:====:=:=:=:==========================================="));
    EXPECT_EQ(lines[1], QStringLiteral("==:==:==:====:=:=:=:System started since 1 H 0 Min 0 Sec"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("==:==:==:====:=:=:=:App.Version: 20")));
    EXPECT_EQ(lines[3], QStringLiteral("==:==:==:====:=:=:=:App.ExeName: C:\\Velmora\\vl3-tools-nvx"));
    EXPECT_EQ(lines[6], QStringLiteral("==:==:==:====:=:=:=:ActiveTheme: WinClassic"));
    EXPECT_EQ(lines[8], lines[0]);
    EXPECT_TRUE(lines[11].endsWith(QStringLiteral("l3")));

    trace.flush();
    trace.flush();
    EXPECT_EQ(fileLines().size(), 12) << "an empty list on the same day writes nothing";

    clock.advance(24LL * 3600 * 1000);
    trace.flush();
    const QStringList next = fileLines(QStringLiteral("20200221"));
    ASSERT_EQ(next.size(), 9) << "the first write of a new day writes the header alone";
    EXPECT_EQ(next[1], QStringLiteral("==:==:==:====:=:=:=:System started since 1 D 1 H 0 Min 0 Sec"));

    QString name;
    trace.TraceLog(-1, -1, -1, QStringLiteral("late"));
    trace.TraceLogForce(trace.ListeLog, name, true);
    EXPECT_EQ(name, QStringLiteral("20200220")) << "the caller sees the name chosen for the previous day";
    EXPECT_TRUE(fileLines().last().endsWith(QStringLiteral("late")));
}

TEST_F(TraceLogTest, PendingLinesReachTheFileOfTheirDayWithinASecond)
{
    loadSetup();
    clock.advance((14 * 3600 - 1) * 1000); // 23:59:59
    trace.TraceLog(-1, -1, -1, QStringLiteral("last of the day"));
    EXPECT_TRUE(fileLines().isEmpty()) << "a batch is not full yet";
    clock.advance(2000);
    trace.TraceLog(-1, -1, -1, QStringLiteral("first of the next day"));
    ASSERT_FALSE(fileLines().isEmpty());
    EXPECT_TRUE(fileLines().last().endsWith(QStringLiteral("last of the day")));
    trace.flush();
    const QStringList next = fileLines(QStringLiteral("20200221"));
    ASSERT_FALSE(next.isEmpty());
    EXPECT_TRUE(next.last().endsWith(QStringLiteral("first of the next day")));
    EXPECT_FALSE(fileLines().join(u'\n').contains(QStringLiteral("first of the next day")));

    // Without a full batch nor a flush, the line is written by the event loop within a second.
    trace.TraceLog(-1, -1, -1, QStringLiteral("waiting line"));
    QElapsedTimer t;
    t.start();
    while (!fileLines(QStringLiteral("20200221")).last().endsWith(QStringLiteral("waiting line")) &&
           t.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_TRUE(trace.ListeLog.isEmpty());
}

TEST_F(TraceLogTest, UptimeWarningsAppearOncePerRun)
{
    loadSetup();
    clock.setChrono(49LL * 24 * 3600 * 1000);
    trace.TraceLog(-1, -1, -1, QStringLiteral("x"), true);
    clock.advance(24LL * 3600 * 1000);
    trace.TraceLog(-1, -1, -1, QStringLiteral("y"), true);
    const QStringList all = fileLines() + fileLines(QStringLiteral("20200221"));
    EXPECT_EQ(all.filter(QStringLiteral("since more 45 days")).size(), 1);
    EXPECT_EQ(all.filter(QStringLiteral("since more 48 days")).size(), 1);
    EXPECT_EQ(trace.ListeIncidents.filter(QStringLiteral("Reboot needed")).size(), 2);
}

TEST_F(TraceLogTest, PurgeDeletesOnlyDayFilesOlderThan45Days)
{
    QDir().mkpath(drives.filePath(QStringLiteral("c/Logs")));
    for (const char* n : {"20200101", "20200105", "20200106", "20200219", "Abc"}) {
        QFile f(logPath(QString::fromLatin1(n)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    loadSetup();
    trace.TraceLog(-1, -1, -1, QStringLiteral("go"), true);
    EXPECT_FALSE(QFile::exists(logPath(QStringLiteral("20200101"))));
    EXPECT_FALSE(QFile::exists(logPath(QStringLiteral("20200105"))));
    EXPECT_TRUE(QFile::exists(logPath(QStringLiteral("20200106"))));
    EXPECT_TRUE(QFile::exists(logPath(QStringLiteral("20200219"))));
    EXPECT_TRUE(QFile::exists(logPath(QStringLiteral("Abc"))));

    QFile again(logPath(QStringLiteral("20200102")));
    ASSERT_TRUE(again.open(QIODevice::WriteOnly));
    again.close();
    trace.TraceLog(-1, -1, -1, QStringLiteral("same day"), true);
    EXPECT_TRUE(QFile::exists(logPath(QStringLiteral("20200102")))) << "the purge runs once a day";
}

TEST_F(TraceLogTest, VanishedLogFolderIsRecreated)
{
    loadSetup();
    trace.TraceLog(-1, -1, -1, QStringLiteral("before"), true);
    ASSERT_TRUE(QDir(drives.filePath(QStringLiteral("c/Logs"))).removeRecursively());
    trace.TraceLog(-1, -1, -1, QStringLiteral("after"), true);
    ASSERT_FALSE(fileLines().isEmpty());
    EXPECT_TRUE(fileLines().last().endsWith(QStringLiteral("after")));
    EXPECT_TRUE(trace.ListeLog.isEmpty());
}

TEST_F(TraceLogTest, UnwritableLogKeepsABoundedListAndReportsOnce)
{
    erreursAttendues = true;
    // A regular file where the folder should be: neither creation nor writing can succeed.
    QDir().mkpath(drives.filePath(QStringLiteral("c")));
    QFile blocker(drives.filePath(QStringLiteral("c/Logs")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    loadSetup();
    trace.setBatchSizeText(QStringLiteral("1"));
    trace.TraceLog(-1, -1, -1, QStringLiteral("kept"));
    trace.TraceLog(-1, -1, -1, QStringLiteral("kept too"));
    EXPECT_TRUE(trace.ListeLog.first().endsWith(QStringLiteral("kept")));
    EXPECT_EQ(trace.ListeLog.filter(QStringLiteral("Err: 75 (")).size(), 1)
        << trace.ListeLog.join(u'\n').toStdString();

    for (int i = 0; i < Trace::kMaxPendingLines + 10; ++i)
        trace.TraceLog(-1, -1, -1, QStringLiteral("line %1").arg(i));
    EXPECT_LE(trace.ListeLog.size(), Trace::kMaxPendingLines);
    EXPECT_TRUE(trace.ListeLog.first().contains(QStringLiteral("trace lines dropped")));
    EXPECT_TRUE(trace.ListeLog.last().endsWith(QStringLiteral("line %1").arg(Trace::kMaxPendingLines + 9)));

    // Once the disk is back, everything pending reaches the file.
    QFile::remove(drives.filePath(QStringLiteral("c/Logs")));
    trace.flush();
    EXPECT_TRUE(trace.ListeLog.isEmpty());
    EXPECT_GT(fileLines().size(), Trace::kMaxPendingLines - 1000);
}

TEST_F(TraceLogTest, ErrorReportFormatsAndNumberFolding)
{
    erreursAttendues = true;
    loadSetup();
    trace.erreur =
        SavedError{qint32(0x80040005u), 12, QStringLiteral("Custom failure"), QStringLiteral("Engine")};
    trace.GestionDesErreurs(QStringLiteral("Lib_Public:TraceLog"));
    const QString report =
        QStringLiteral("Err: 5 (Custom failure)  Source:Lib_Public:TraceLog:12 (Source: Engine)");
    ASSERT_GE(trace.ListeIncidents.size(), 1);
    EXPECT_TRUE(trace.ListeIncidents.last().endsWith(report));
    // The frame above and the report reach the file at once; the closing frame is no incident
    // and waits for the next batch.
    const QStringList lines = fileLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.last().endsWith(report));
    EXPECT_TRUE(lines[lines.size() - 2].endsWith(QString(report.size(), u'=')));
    ASSERT_EQ(trace.ListeLog.size(), 1);
    EXPECT_TRUE(trace.ListeLog[0].endsWith(QString(report.size(), u'=')));
    EXPECT_EQ(trace.EtatTrace.DerniereErreurNumero, 5);

    trace.erreur = SavedError{qint32(0x80040000u), 0, QStringLiteral("x"), QStringLiteral("Engine")};
    trace.GestionDesErreurs(QStringLiteral("M:P"));
    EXPECT_TRUE(trace.ListeIncidents.last().endsWith(QStringLiteral("Err: -2147221504 (x)  Source:M:P:0")));

    const QString hundred = QStringLiteral("a. b") + QString(96, u'c');
    trace.erreur = SavedError{91, 0, hundred, {}};
    trace.GestionDesErreurs(QString());
    EXPECT_TRUE(trace.ListeIncidents.last().endsWith(QStringLiteral("Err: 91 (") + hundred + u')'));
    trace.erreur = SavedError{91, 0, hundred + u'c', {}};
    trace.GestionDesErreurs(QString());
    EXPECT_TRUE(trace.ListeIncidents.last().contains(QStringLiteral("(a  bccc")));

    const qsizetype before = trace.ListeIncidents.size();
    trace.erreur = SavedError{0, 0, QStringLiteral("none"), {}};
    trace.GestionDesErreurs(QStringLiteral("M:P"));
    EXPECT_EQ(trace.ListeIncidents.size(), before) << "error 0 is not reported";

    trace.EtatTrace.GestionErreurEnCours = true;
    trace.erreur = SavedError{5, 0, QStringLiteral("re-entry"), {}};
    trace.GestionDesErreurs(QStringLiteral("M:P"));
    EXPECT_EQ(trace.ListeIncidents.size(), before) << "a report during a report is ignored";
}

TEST_F(TraceLogTest, AutomationDisconnectRestartsTheMachineThroughTheRunner)
{
    erreursAttendues = true;
    loadSetup();
    trace.erreur = SavedError{qint32(0x80010108u), 3, QStringLiteral("Automation error"), {}};
    trace.GestionDesErreurs(QStringLiteral("M:P"));
    EXPECT_EQ(
        trace.ListeIncidents.filter(QStringLiteral("Reboot the Computer because of Automation Error")).size(),
        1);
    ASSERT_EQ(commands.size(), 1);
    EXPECT_TRUE(commands[0].contains(QStringLiteral("reboot")));
    EXPECT_TRUE(QFile::exists(drives.filePath(QStringLiteral("autostart/Velmora - Tools NVX.desktop"))));
}

TEST_F(TraceLogTest, LectureLogFlushesThenOpensTheChosenFile)
{
    loadSetup();
    trace.TraceLog(-1, -1, -1, QStringLiteral("pending"));
    trace.LectureLog(QStringLiteral("C:\\Logs\\"), QString());
    EXPECT_TRUE(trace.ListeLog.isEmpty());
    ASSERT_EQ(host.fileRequests.size(), 1);
    EXPECT_EQ(host.fileRequests[0], QStringLiteral("C:\\Logs\\|Logs|*.log|C:\\Logs\\20200220.Log"));
    EXPECT_TRUE(host.executions.isEmpty()) << "cancelling opens nothing";

    host.fileAnswers.append(QStringLiteral("C:\\Logs\\20200220.Log"));
    trace.LectureLog(QStringLiteral("C:\\Logs\\"), QString());
    ASSERT_EQ(host.executions.size(), 1);
    EXPECT_EQ(host.executions[0].file, QStringLiteral("C:\\Logs\\20200220.Log"));
}

} // namespace
