// Damaged record files under the access layer: the status the record call answers and the
// report made of it (message box and incident), for files cut short, of random bytes, of another
// format, held by another process or deleted while open. Nothing crashes or waits for ever, and
// nothing replaces the damaged file.
#include "EmbeddedFixture.h"
#include "support/LockHolder.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <random>
#include <sqlite3.h>

using namespace nvx;
using namespace nvx::test;

namespace {

const QString kCaller = QStringLiteral("Frm_MainBis:Test");
const QString kOpening = QStringLiteral(" >Lib_Data_Pervasive:FichierPervasiveOuvrir");
const QString kCall = QStringLiteral(" >Lib_Data_Pervasive:BTRieve");
const QString kRestore = QStringLiteral("\n\nFaîtes une restauration de ce fichier\n");

struct DamagedFiles : OverEmbeddedEngine {
    QString nativePath(int file) const { return DbOwners::natif(o.pervasive.NomFichierBTR(file, 0)); }
    static QString suitePath(int file)
    {
        return QStringLiteral("C:\\VL_Data\\FRADA") + QString::number(file) + QStringLiteral(".bt6");
    }

    // File 53 of station 1 with an hour of rows, closed again.
    void writeHour(int rows)
    {
        creer(53);
        o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
        ASSERT_TRUE(o.pervasive.etat(1, 53).FichierOuvert);
        for (int i = 0; i < rows; ++i)
            ligne(QStringLiteral("2020050807%1%2")
                      .arg(i / 100, 2, 10, QChar(u'0'))
                      .arg(i % 100, 4, 10, QChar(u'0')),
                  QStringLiteral("Son"), QStringLiteral("%1").arg(i, 8, 10, QChar(u'0')));
        o.pervasive.FichierPervasiveFermer(0, 1, 1, 53);
    }

    void writeFile(const QString& file, const QByteArray& content)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    static QByteArray readFile(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The last report: its box and the incident line that carries it.
    void expectReport(const QString& text, bool restore, const QString& end)
    {
        ASSERT_FALSE(o.host.boxes.isEmpty());
        const FakeHost::Box& box = o.host.boxes.last();
        EXPECT_EQ(box.icon, Host::Icon::Critical);
        EXPECT_EQ(box.buttons, Host::Buttons::AbortRetryIgnore);
        EXPECT_TRUE(box.text.startsWith(QStringLiteral("Fichier: ") + suitePath(53) + QStringLiteral("  (")))
            << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(u'\n' + text + u'\n')) << box.text.toStdString();
        EXPECT_EQ(box.text.contains(kRestore), restore) << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(QStringLiteral("\nS:01 "))) << box.text.toStdString();
        EXPECT_TRUE(box.text.endsWith(end)) << box.text.toStdString();
        EXPECT_TRUE(o.traced(text + QStringLiteral(" | Fichier: ") + suitePath(53)));
    }
};

TEST_F(DamagedFiles, AFileThatIsNotARecordFileIsReportedAtOpeningAndKeptAsItIs)
{
    writeHour(50);
    const QByteArray intact = readFile(nativePath(53));
    std::mt19937 rng(3);
    QByteArray noise(8192, '\0');
    for (char& c : noise)
        c = char(rng());
    const QString notARecordFile = QStringLiteral("Err: 30: The file specified is not a MicroKernel file");
    const QString ioError = QStringLiteral("Err: 2: The application encountered an I/O error");
    const struct {
        const char* what;
        QByteArray content;
        QString text;
    } cases[] = {
        {"cut short", intact.left(intact.size() / 2), ioError},
        {"cut in its header", intact.left(60), notARecordFile},
        {"random bytes", noise, notARecordFile},
        {"text", QByteArray("Date;Heure;Titre\r\n20200508;07;Intro\r\n"), notARecordFile},
        {"empty", QByteArray(), notARecordFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(nativePath(53), c.content);
        o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
        EXPECT_FALSE(o.pervasive.etat(1, 53).FichierOuvert);
        expectReport(c.text, true, kOpening);
        EXPECT_EQ(readFile(nativePath(53)), c.content) << "the damaged file is left for a restore";
        // Reads of the file that could not be opened find nothing, without another report.
        const qsizetype reports = o.host.boxes.size();
        QString key = QStringLiteral("2020050807000000");
        EXPECT_EQ(o.pervasive.BTRieve(0, 9, key, 0, 53, 1, kCaller), 9);
        EXPECT_EQ(o.host.boxes.size(), reports);
    }

    // Another program's SQLite database.
    QFile::remove(nativePath(53));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(nativePath(53).toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE playlist(title TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const QByteArray foreign = readFile(nativePath(53));
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    EXPECT_FALSE(o.pervasive.etat(1, 53).FichierOuvert);
    expectReport(notARecordFile, true, kOpening);
    EXPECT_EQ(readFile(nativePath(53)), foreign);
}

TEST_F(DamagedFiles, ADamagedFileThatMayBeMissingIsNotReplacedByAnEmptyOne)
{
    const QString f42 = DbOwners::natif(QStringLiteral("FRADA42.bt6"));
    writeFile(f42, QByteArray("not a record file"));
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 42, 0);
    EXPECT_FALSE(o.pervasive.etat(1, 42).FichierOuvert);
    EXPECT_EQ(o.traced(QStringLiteral("Create empty structure")), 0);
    EXPECT_EQ(readFile(f42), QByteArray("not a record file"));
    EXPECT_TRUE(o.traced(QStringLiteral("Err: 30: The file specified is not a MicroKernel file | Fichier: "
                                        "C:\\VL_Data\\FRADA42.bt6")));
}

TEST_F(DamagedFiles, APageDamagedInsideTheFileFailsTheReadThatMeetsItWithARestoreReport)
{
    writeHour(400);
    const QByteArray intact = readFile(nativePath(53));
    const qsizetype pages = intact.size() / 4096;
    std::mt19937 rng(5);
    bool readFailed = false;
    // Some page that the opening does not read and the walk of the hour does.
    for (qsizetype page = 2; page < pages && !readFailed; ++page) {
        QByteArray damaged = intact;
        for (qsizetype i = page * 4096; i < (page + 1) * 4096; ++i)
            damaged[i] = char(rng());
        writeFile(nativePath(53), damaged);
        o.host.boxes.clear();
        o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
        if (!o.pervasive.etat(1, 53).FichierOuvert)
            continue;
        QString key = QStringLiteral("2020050807000000");
        qint16 st = o.pervasive.BTRieve(0, 9, key, 0, 53, 1, kCaller);
        int read = 0;
        for (; st == 0; st = o.pervasive.BTRieve(0, 6, key, 0, 53, 1, kCaller))
            ++read;
        if (st == 9) {
            EXPECT_EQ(read, 400) << "the walk lost rows without a word";
            EXPECT_TRUE(o.host.boxes.isEmpty());
        } else {
            EXPECT_EQ(st, 2);
            EXPECT_EQ(o.pervasive.StatutBTrieve, 2);
            expectReport(QStringLiteral("Err: 2: The application encountered an I/O error"), true, kCall);
            readFailed = true;
        }
        o.pervasive.FichierPervasiveFermer(0, 1, 1, 53);
    }
    EXPECT_TRUE(readFailed);
}

TEST(DbLockHolder, HoldsTheFileForWritingUntilReleased)
{
    const QString path = LockHolder::fileToLock();
    if (path.isEmpty())
        GTEST_SKIP() << "runs only as the child process of the locked-file tests";
    EXPECT_TRUE(LockHolder::holdForWriting(path));
}

TEST(DbLockHolder, HoldsTheFileExclusivelyUntilReleased)
{
    const QString path = LockHolder::fileToLock();
    if (path.isEmpty())
        GTEST_SKIP() << "runs only as the child process of the locked-file tests";
    EXPECT_TRUE(LockHolder::holdExclusively(path));
}

struct LockedFile : DamagedFiles {
    void SetUp() override
    {
        writeHour(10);
        o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
        ASSERT_TRUE(o.pervasive.etat(1, 53).FichierOuvert);
        ASSERT_TRUE(
            holder.start(nativePath(53), QStringLiteral("DbLockHolder.HoldsTheFileForWritingUntilReleased")))
            << holder.output().toStdString();
        start = o.clock.ChronoMilliSec();
    }
    void TearDown() override { EXPECT_TRUE(holder.release()) << holder.output().toStdString(); }

    // An insert of a new row, as the call leaves it.
    qint16 insertRow()
    {
        Record& r = o.pervasive.enregistrement(53);
        r.clear();
        r.setText(u"Date", QStringLiteral("20200508"));
        r.setText(u"Heure", QStringLiteral("09"));
        QString key;
        return o.pervasive.BTRieve(0, 2, key, 0, 53, 1, kCaller);
    }
    qint64 elapsed() const { return o.clock.ChronoMilliSec() - start; }

    LockHolder holder;
    qint64 start = 0;
};

TEST_F(LockedFile, AWriteWaitsSecondBySecondReportsFromTheEleventhTryAndEndsWithTheOperatorsAbort)
{
    // Reads go on while the other program writes.
    QString key = QStringLiteral("2020050807000000");
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, key, 0, 53, 1, kCaller), 0);

    // The other program keeps the file for a minute; the operator gives up at the third report.
    o.host.answers = {Host::Answer::Ignore, Host::Answer::Retry, Host::Answer::Abort};
    EXPECT_EQ(insertRow(), 85);
    EXPECT_EQ(o.pervasive.StatutBTrieve, 85);
    EXPECT_EQ(o.host.boxes.size(), 3);
    EXPECT_EQ(elapsed(), 12000) << "one second between tries, none after the Abort";
    EXPECT_EQ(o.finsProgramme, 1);
    expectReport(QStringLiteral("Err: 85"), false, kCall);
    EXPECT_EQ(o.traced(QStringLiteral("Err: 85 | Fichier: C:\\VL_Data\\FRADA53.bt6")), 3);
}

TEST_F(LockedFile, UnattendedTheWaitEndsWithTheErrorWhenTheProgramIsAskedToClose)
{
    // Nobody answers the reports (the default Ignore goes on waiting); the stop comes at 25 s.
    o.host.onPump = [this] {
        if (elapsed() >= 25000)
            o.lifecycle.unloadStarted();
    };
    EXPECT_EQ(insertRow(), 85);
    EXPECT_EQ(elapsed(), 25000);
    EXPECT_EQ(o.host.boxes.size(), 15) << "tries 11 to 25 are reported";
    expectReport(QStringLiteral("Err: 85"), false, kCall);
    // Nothing of the refused insert is in the file.
    o.host.onPump = nullptr;
    QString key = QStringLiteral("2020050809000000");
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, key, 0, 53, 1, kCaller), 9);
}

TEST_F(DamagedFiles, AFileHeldExclusivelyByAnotherProgramIsReportedAtOpening)
{
    writeHour(10);
    LockHolder holder;
    ASSERT_TRUE(
        holder.start(nativePath(53), QStringLiteral("DbLockHolder.HoldsTheFileExclusivelyUntilReleased")))
        << holder.output().toStdString();
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    EXPECT_FALSE(o.pervasive.etat(1, 53).FichierOuvert);
    expectReport(QStringLiteral("Err: 84"), false, kOpening);
    ASSERT_TRUE(holder.release()) << holder.output().toStdString();
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    EXPECT_TRUE(o.pervasive.etat(1, 53).FichierOuvert);
}

TEST_F(DamagedFiles, AFileDeletedWhileOpenIsReportedMissingAndNothingIsWrittenToIt)
{
    writeHour(10);
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    QString key = QStringLiteral("2020050807000000");
    ASSERT_EQ(o.pervasive.BTRieve(0, 9, key, 0, 53, 1, kCaller), 0);
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(nativePath(53) + QString::fromLatin1(suffix));

    const QString missing =
        QStringLiteral("Err: 12: The MicroKernel cannot find the specified file (") + suitePath(53) + u')';
    EXPECT_EQ(o.pervasive.BTRieve(0, 6, key, 0, 53, 1, kCaller), 12);
    EXPECT_EQ(o.pervasive.StatutBTrieve, 12);
    expectReport(missing, false, kCall);
    Record& r = o.pervasive.enregistrement(53);
    r.setText(u"Heure", QStringLiteral("09"));
    EXPECT_EQ(o.pervasive.BTRieve(0, 2, key, 0, 53, 1, kCaller), 12);
    EXPECT_EQ(o.host.boxes.size(), 2);
    EXPECT_FALSE(QFile::exists(nativePath(53)));
    // Closing the file gives its position back without a word.
    o.pervasive.FichierPervasiveFermer(0, 1, 1, 53);
    EXPECT_EQ(o.traced(QStringLiteral("Unable to close")), 0);
}

} // namespace
