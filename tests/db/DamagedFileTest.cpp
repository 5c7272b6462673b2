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

const QString kAppelant = QStringLiteral("Frm_MainBis:Test");
const QString kOuverture = QStringLiteral(" >Lib_Data_Pervasive:FichierPervasiveOuvrir");
const QString kAppel = QStringLiteral(" >Lib_Data_Pervasive:BTRieve");
const QString kRestauration = QStringLiteral("\n\nFaîtes une restauration de ce fichier\n");

struct DamagedFiles : OverEmbeddedEngine {
    QString natif(int fichier) const { return DbOwners::natif(o.pervasive.NomFichierBTR(fichier, 0)); }
    static QString chemin(int fichier)
    {
        return QStringLiteral("C:\\VL_Data\\FRADA") + QString::number(fichier) + QStringLiteral(".bt6");
    }

    // File 53 of station 1 with an hour of rows, closed again.
    void heureComplete(int lignes)
    {
        creer(53);
        o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
        ASSERT_TRUE(o.pervasive.etat(1, 53).FichierOuvert);
        for (int i = 0; i < lignes; ++i)
            ligne(QStringLiteral("2020050807%1%2")
                      .arg(i / 100, 2, 10, QChar(u'0'))
                      .arg(i % 100, 4, 10, QChar(u'0')),
                  QStringLiteral("Son"), QStringLiteral("%1").arg(i, 8, 10, QChar(u'0')));
        o.pervasive.FichierPervasiveFermer(0, 1, 1, 53);
    }

    void ecrire(const QString& fichier, const QByteArray& contenu)
    {
        QFile f(fichier);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(contenu);
    }
    static QByteArray lire(const QString& fichier)
    {
        QFile f(fichier);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The last report: its box and the incident line that carries it.
    void verifierRapport(const QString& libelle, bool restauration, const QString& fin)
    {
        ASSERT_FALSE(o.host.boxes.isEmpty());
        const FakeHost::Box& box = o.host.boxes.last();
        EXPECT_EQ(box.icon, Host::Icon::Critical);
        EXPECT_EQ(box.buttons, Host::Buttons::AbortRetryIgnore);
        EXPECT_TRUE(box.text.startsWith(QStringLiteral("Fichier: ") + chemin(53) + QStringLiteral("  (")))
            << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(u'\n' + libelle + u'\n')) << box.text.toStdString();
        EXPECT_EQ(box.text.contains(kRestauration), restauration) << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(QStringLiteral("\nS:01 "))) << box.text.toStdString();
        EXPECT_TRUE(box.text.endsWith(fin)) << box.text.toStdString();
        EXPECT_TRUE(o.traced(libelle + QStringLiteral(" | Fichier: ") + chemin(53)));
    }
};

TEST_F(DamagedFiles, AFileThatIsNotARecordFileIsReportedAtOpeningAndKeptAsItIs)
{
    heureComplete(50);
    const QByteArray sain = lire(natif(53));
    std::mt19937 rng(3);
    QByteArray bruit(8192, '\0');
    for (char& c : bruit)
        c = char(rng());
    const QString texte30 = QStringLiteral("Err: 30: The file specified is not a MicroKernel file");
    const QString texte2 = QStringLiteral("Err: 2: The application encountered an I/O error");
    const struct {
        const char* quoi;
        QByteArray contenu;
        QString libelle;
    } cas[] = {
        {"cut short", sain.left(sain.size() / 2), texte2},
        {"cut in its header", sain.left(60), texte30},
        {"random bytes", bruit, texte30},
        {"text", QByteArray("Date;Heure;Titre\r\n20200508;07;Intro\r\n"), texte30},
        {"empty", QByteArray(), texte30},
    };
    for (const auto& c : cas) {
        SCOPED_TRACE(c.quoi);
        ecrire(natif(53), c.contenu);
        o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
        EXPECT_FALSE(o.pervasive.etat(1, 53).FichierOuvert);
        verifierRapport(c.libelle, true, kOuverture);
        EXPECT_EQ(lire(natif(53)), c.contenu) << "the damaged file is left for a restore";
        // Reads of the file that could not be opened find nothing, without another report.
        const qsizetype rapports = o.host.boxes.size();
        QString cle = QStringLiteral("2020050807000000");
        EXPECT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant), 9);
        EXPECT_EQ(o.host.boxes.size(), rapports);
    }

    // Another program's SQLite database.
    QFile::remove(natif(53));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(natif(53).toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE playlist(title TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const QByteArray etranger = lire(natif(53));
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    EXPECT_FALSE(o.pervasive.etat(1, 53).FichierOuvert);
    verifierRapport(texte30, true, kOuverture);
    EXPECT_EQ(lire(natif(53)), etranger);
}

TEST_F(DamagedFiles, ADamagedFileThatMayBeMissingIsNotReplacedByAnEmptyOne)
{
    const QString f42 = DbOwners::natif(QStringLiteral("FRADA42.bt6"));
    ecrire(f42, QByteArray("not a record file"));
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 42, 0);
    EXPECT_FALSE(o.pervasive.etat(1, 42).FichierOuvert);
    EXPECT_EQ(o.traced(QStringLiteral("Create empty structure")), 0);
    EXPECT_EQ(lire(f42), QByteArray("not a record file"));
    EXPECT_TRUE(o.traced(QStringLiteral("Err: 30: The file specified is not a MicroKernel file | Fichier: "
                                        "C:\\VL_Data\\FRADA42.bt6")));
}

TEST_F(DamagedFiles, APageDamagedInsideTheFileFailsTheReadThatMeetsItWithARestoreReport)
{
    heureComplete(400);
    const QByteArray sain = lire(natif(53));
    const qsizetype pages = sain.size() / 4096;
    std::mt19937 rng(5);
    bool lectureEchouee = false;
    // Some page that the opening does not read and the walk of the hour does.
    for (qsizetype page = 2; page < pages && !lectureEchouee; ++page) {
        QByteArray abime = sain;
        for (qsizetype i = page * 4096; i < (page + 1) * 4096; ++i)
            abime[i] = char(rng());
        ecrire(natif(53), abime);
        o.host.boxes.clear();
        o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
        if (!o.pervasive.etat(1, 53).FichierOuvert)
            continue;
        QString cle = QStringLiteral("2020050807000000");
        qint16 st = o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant);
        int lues = 0;
        for (; st == 0; st = o.pervasive.BTRieve(0, 6, cle, 0, 53, 1, kAppelant))
            ++lues;
        if (st == 9) {
            EXPECT_EQ(lues, 400) << "the walk lost rows without a word";
            EXPECT_TRUE(o.host.boxes.isEmpty());
        } else {
            EXPECT_EQ(st, 2);
            EXPECT_EQ(o.pervasive.StatutBTrieve, 2);
            verifierRapport(QStringLiteral("Err: 2: The application encountered an I/O error"), true, kAppel);
            lectureEchouee = true;
        }
        o.pervasive.FichierPervasiveFermer(0, 1, 1, 53);
    }
    EXPECT_TRUE(lectureEchouee);
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
        heureComplete(10);
        o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
        ASSERT_TRUE(o.pervasive.etat(1, 53).FichierOuvert);
        ASSERT_TRUE(
            holder.start(natif(53), QStringLiteral("DbLockHolder.HoldsTheFileForWritingUntilReleased")))
            << holder.output().toStdString();
        debut = o.clock.ChronoMilliSec();
    }
    void TearDown() override { EXPECT_TRUE(holder.release()) << holder.output().toStdString(); }

    // An insert of a new row, as the call leaves it.
    qint16 inserer()
    {
        Record& r = o.pervasive.enregistrement(53);
        r.clear();
        r.setText(u"Date", QStringLiteral("20200508"));
        r.setText(u"Heure", QStringLiteral("09"));
        QString cle;
        return o.pervasive.BTRieve(0, 2, cle, 0, 53, 1, kAppelant);
    }
    qint64 ecoule() const { return o.clock.ChronoMilliSec() - debut; }

    LockHolder holder;
    qint64 debut = 0;
};

TEST_F(LockedFile, AWriteWaitsSecondBySecondReportsFromTheEleventhTryAndEndsWithTheOperatorsAbort)
{
    // Reads go on while the other program writes.
    QString cle = QStringLiteral("2020050807000000");
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant), 0);

    // The other program keeps the file for a minute; the operator gives up at the third report.
    o.host.answers = {Host::Answer::Ignore, Host::Answer::Retry, Host::Answer::Abort};
    EXPECT_EQ(inserer(), 85);
    EXPECT_EQ(o.pervasive.StatutBTrieve, 85);
    EXPECT_EQ(o.host.boxes.size(), 3);
    EXPECT_EQ(ecoule(), 12000) << "one second between tries, none after the Abort";
    EXPECT_EQ(o.finsProgramme, 1);
    verifierRapport(QStringLiteral("Err: 85"), false, kAppel);
    EXPECT_EQ(o.traced(QStringLiteral("Err: 85 | Fichier: C:\\VL_Data\\FRADA53.bt6")), 3);
}

TEST_F(LockedFile, UnattendedTheWaitEndsWithTheErrorWhenTheProgramIsAskedToClose)
{
    // Nobody answers the reports (the default Ignore goes on waiting); the stop comes at 25 s.
    o.host.onPump = [this] {
        if (ecoule() >= 25000)
            o.lifecycle.unloadStarted();
    };
    EXPECT_EQ(inserer(), 85);
    EXPECT_EQ(ecoule(), 25000);
    EXPECT_EQ(o.host.boxes.size(), 15) << "tries 11 to 25 are reported";
    verifierRapport(QStringLiteral("Err: 85"), false, kAppel);
    // Nothing of the refused insert is in the file.
    o.host.onPump = nullptr;
    QString cle = QStringLiteral("2020050809000000");
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant), 9);
}

TEST_F(DamagedFiles, AFileHeldExclusivelyByAnotherProgramIsReportedAtOpening)
{
    heureComplete(10);
    LockHolder holder;
    ASSERT_TRUE(holder.start(natif(53), QStringLiteral("DbLockHolder.HoldsTheFileExclusivelyUntilReleased")))
        << holder.output().toStdString();
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    EXPECT_FALSE(o.pervasive.etat(1, 53).FichierOuvert);
    verifierRapport(QStringLiteral("Err: 84"), false, kOuverture);
    ASSERT_TRUE(holder.release()) << holder.output().toStdString();
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    EXPECT_TRUE(o.pervasive.etat(1, 53).FichierOuvert);
}

TEST_F(DamagedFiles, AFileDeletedWhileOpenIsReportedMissingAndNothingIsWrittenToIt)
{
    heureComplete(10);
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    QString cle = QStringLiteral("2020050807000000");
    ASSERT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant), 0);
    for (const char* suffixe : {"", "-wal", "-shm"})
        QFile::remove(natif(53) + QString::fromLatin1(suffixe));

    const QString manquant =
        QStringLiteral("Err: 12: The MicroKernel cannot find the specified file (") + chemin(53) + u')';
    EXPECT_EQ(o.pervasive.BTRieve(0, 6, cle, 0, 53, 1, kAppelant), 12);
    EXPECT_EQ(o.pervasive.StatutBTrieve, 12);
    verifierRapport(manquant, false, kAppel);
    Record& r = o.pervasive.enregistrement(53);
    r.setText(u"Heure", QStringLiteral("09"));
    EXPECT_EQ(o.pervasive.BTRieve(0, 2, cle, 0, 53, 1, kAppelant), 12);
    EXPECT_EQ(o.host.boxes.size(), 2);
    EXPECT_FALSE(QFile::exists(natif(53)));
    // Closing the file gives its position back without a word.
    o.pervasive.FichierPervasiveFermer(0, 1, 1, 53);
    EXPECT_EQ(o.traced(QStringLiteral("Unable to close")), 0);
}

} // namespace
