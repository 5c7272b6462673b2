#include "DbFixture.h"
#include "common/Win1252.h"

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;

namespace {

const QString kAppelant = QStringLiteral("Frm_MainBis:Test");

// A schedule row of file 53: key (date, hour, minute, second, order) then the rest.
QByteArray ligne53(const char* cle16, const char* nature = "Son")
{
    return QByteArray(cle16) + QByteArray("00000042") + QByteArray(nature);
}

// An operation that keeps failing with one status.
std::function<int16_t(uint16_t)> toujours(int16_t statut, uint16_t surOp)
{
    return [=](uint16_t op) -> int16_t { return op == surOp ? statut : -1; };
}

} // namespace

TEST(PervasiveOpening, OpensTheToolsFilesInOrderAndClosesInReverse)
{
    DbOwners o;
    o.ouvrir(2);
    QStringList ouverts;
    for (const FakeEngine::Call& c : o.fake.calls)
        if (c.op == 0)
            ouverts << QString::fromUtf8(c.key).section(u'/', -1);
    EXPECT_EQ(ouverts.size(), 20);
    EXPECT_EQ(ouverts.mid(0, 4), (QStringList{QStringLiteral("FRADA20.bt6"), QStringLiteral("FRADB20.bt6"),
                                              QStringLiteral("FRADA21.bt6"), QStringLiteral("FRADB21.bt6")}));
    EXPECT_EQ(ouverts.last(), QStringLiteral("FRADB53.bt6"));
    EXPECT_TRUE(o.traced(QStringLiteral("Pervasive files opened")));
    EXPECT_TRUE(o.pervasive.baseOuverte(0));
    EXPECT_EQ(o.pervasive.etat(2, 53).CheminFichierBTR, QStringLiteral("C:\\VL_Data\\FRADB53.bt6"));
    EXPECT_TRUE(o.pervasive.etat(2, 53).FichierOuvert);
    EXPECT_TRUE(o.host.boxes.isEmpty());

    // Opening again closes first, so no open is left behind.
    o.pervasive.PervasiveOuvertureFichiers(0, 1, 2);
    EXPECT_EQ(o.fake.count(1), 20);

    o.fake.calls.clear();
    o.pervasive.PervasiveFermetureFichiers(0, 1, 2);
    ASSERT_EQ(o.fake.count(1), 20);
    EXPECT_TRUE(o.traced(QStringLiteral("Pervasive files closed")));
    EXPECT_FALSE(o.pervasive.baseOuverte(0));
    EXPECT_FALSE(o.pervasive.etat(1, 20).FichierOuvert);
    // A second close has nothing left to close.
    o.fake.calls.clear();
    o.pervasive.FichierPervasiveFermer(0, 1, 2, 22);
    EXPECT_TRUE(o.fake.calls.isEmpty());
}

TEST(PervasiveOpening, MissingFilesAreCreatedOnlyWhereTheSuiteAllowsIt)
{
    DbOwners o;
    // File 12 may be missing: it is created empty with its structure, then opened.
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 12, 0);
    EXPECT_TRUE(o.traced(QStringLiteral("File: C:\\VL_Data\\FRAD012.bt6 not found |Create empty structure")));
    ASSERT_EQ(o.fake.count(14), 1);
    const FakeEngine::Call creation = o.fake.calls[1];
    EXPECT_EQ(creation.op, 14);
    EXPECT_EQ(creation.keyNum, -1) << "an existing file must never be replaced";
    EXPECT_EQ(o.fake.files[DbOwners::natif(QStringLiteral("FRAD012.bt6")).toStdString()].recordLength, 300);
    EXPECT_TRUE(o.pervasive.etat(1, 12).FichierOuvert);
    EXPECT_TRUE(o.host.boxes.isEmpty());

    // File 22 must exist: it is reported, not created.
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 22, 0);
    EXPECT_EQ(o.fake.count(14), 1);
    EXPECT_FALSE(o.pervasive.etat(1, 22).FichierOuvert);
    EXPECT_TRUE(o.traced(QStringLiteral(
        "Err: 12: The MicroKernel cannot find the specified file (C:\\VL_Data\\FRADA22.bt6)")));
    ASSERT_EQ(o.host.boxes.size(), 1);
    EXPECT_EQ(o.host.boxes[0].icon, Host::Icon::Critical);
    EXPECT_EQ(o.host.boxes[0].buttons, Host::Buttons::AbortRetryIgnore);
    EXPECT_TRUE(o.host.boxes[0].text.startsWith(QStringLiteral("Fichier: C:\\VL_Data\\FRADA22.bt6  (")));
    EXPECT_TRUE(o.host.boxes[0].text.contains(QStringLiteral("S:01 ")));
    EXPECT_EQ(o.finsProgramme, 0) << "Ignore goes on";

    // A file of the creatable range that exists but refuses the open is left alone.
    o.fichier(41);
    o.fake.openRefusal = 85;
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 41, 0);
    EXPECT_FALSE(o.pervasive.etat(1, 41).FichierOuvert);
    EXPECT_EQ(o.fake.count(14), 1);
    EXPECT_EQ(o.host.boxes.size(), 2);
    EXPECT_TRUE(o.host.boxes[1].text.contains(QStringLiteral("Err: 85\n")));
}

TEST(PervasiveCall, ReadsWithoutAnOpenFileOrAValidStationNeverReachTheEngine)
{
    DbOwners o;
    QString cle = QStringLiteral("00000042");
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 1, kAppelant), 4);
    EXPECT_EQ(o.pervasive.StatutBTrieve, 4);
    EXPECT_EQ(o.pervasive.BTRieve(0, 6, cle, 0, 22, 1, kAppelant), 9);
    EXPECT_TRUE(o.fake.calls.isEmpty());

    o.ouvrir(1);
    o.fake.calls.clear();
    // Station 2's files were never opened.
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 2, kAppelant), 4);
    EXPECT_TRUE(o.fake.calls.isEmpty());

    // Station 21 is out of limits: a box, then "not found".
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 21, kAppelant), 4);
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 22, 21, kAppelant), 9);
    EXPECT_TRUE(o.fake.calls.isEmpty());
    ASSERT_EQ(o.host.boxes.size(), 2);
    EXPECT_EQ(o.host.boxes[0].text, QStringLiteral("N° station hors limite: 21\n\nSub: Frm_MainBis:Test"));
}

TEST(PervasiveCall, StationZeroReadsStationOnesFile)
{
    DbOwners o;
    FakeEngine::put(o.fichier(22, 1), QByteArray("00000042Un"));
    FakeEngine::put(o.fichier(22, 2), QByteArray("00000042Deux"));
    for (int s = 1; s <= 2; ++s)
        for (qint16 f : Pervasive::kFichiersOuverts)
            if (f != 22)
                o.fichier(f, s);
    o.pervasive.PervasiveOuvertureFichiers(0, 1, 2);

    QString cle = QStringLiteral("00000042");
    ASSERT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 0, kAppelant), 0);
    EXPECT_EQ(o.pervasive.enregistrement(22).text(u"CodeArtiste1"), QStringLiteral("Un   "));
    EXPECT_EQ(o.pervasive.LongueurEnregistrement(22), 900u);
    ASSERT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 2, kAppelant), 0);
    EXPECT_EQ(o.pervasive.enregistrement(22).text(u"CodeArtiste1"), QStringLiteral("Deux "));
}

TEST(PervasiveCall, KeysGoOutAndComeBackInWindows1252)
{
    DbOwners o;
    FakeEngine::File& f20 = o.fichier(20);
    FakeEngine::put(f20, QByteArray("C\xE9"
                                    "d\x80"
                                    "A") +
                             QByteArray(10, ' ') + QByteArray("L\xE9o \x8C"));
    o.ouvrir();
    o.fake.calls.clear();

    QString cle = QStringLiteral("Céd€A");
    ASSERT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 20, 1, kAppelant), 0);
    ASSERT_EQ(o.fake.calls.size(), 1);
    EXPECT_EQ(o.fake.calls[0].key.size(), Pervasive::kLongueurCle);
    EXPECT_EQ(o.fake.calls[0].key.left(6), QByteArray("C\xE9"
                                                      "d\x80"
                                                      "A\0",
                                                      6));
    EXPECT_EQ(cle, QStringLiteral("Céd€A"));
    EXPECT_EQ(o.pervasive.enregistrement(20).text(u"Nom").trimmed(), QStringLiteral("Léo Œ"));

    // A key shorter than the file's key is pointed out, and the call still goes on.
    QString courte = QStringLiteral("Céd");
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, courte, 0, 20, 1, kAppelant), 4);
    ASSERT_EQ(o.host.boxes.size(), 1);
    EXPECT_EQ(o.host.boxes[0].text,
              QStringLiteral(
                  "Clé trop courte: Fichier: 20 NoCle: 0 Lng: 5 OP: 5\nKey:Céd\n Sub: Frm_MainBis:Test"));
    EXPECT_EQ(o.fake.calls.size(), 2);
    // An empty key buffer goes out as blanks, which no key is longer than.
    QString sortie;
    o.pervasive.enregistrement(20).setText(u"CodeArtiste", QStringLiteral("B"));
    EXPECT_EQ(o.pervasive.BTRieve(0, 2, sortie, 0, 20, 1, kAppelant), 0);
    EXPECT_EQ(o.fake.calls.last().key.left(100), QByteArray(100, ' '));
    EXPECT_EQ(sortie.left(5), QStringLiteral("B    "));
    // Transactions carry no key and are not checked.
    QString vide;
    EXPECT_EQ(o.pervasive.BTRieve(0, 19, vide, 0, 20, 1, kAppelant), 0);
    EXPECT_TRUE(o.pervasive.EnTransaction);
    EXPECT_EQ(o.pervasive.BTRieve(0, 20, vide, 0, 20, 1, kAppelant), 0);
    EXPECT_FALSE(o.pervasive.EnTransaction);
    EXPECT_EQ(o.host.boxes.size(), 1);
}

TEST(PervasiveCall, LessOrEqualSearchesWithZInPlaceOfCode255)
{
    DbOwners o;
    FakeEngine::File& f53 = o.fichier(53);
    FakeEngine::put(f53, ligne53("2020050807000001"));
    FakeEngine::put(f53, ligne53("2020050807595901"));
    FakeEngine::put(f53, ligne53("2020050807zzzzzz", "Rup"));
    FakeEngine::put(f53, ligne53("2020050808000001"));
    o.ouvrir();
    o.fake.calls.clear();

    QString cle = QStringLiteral("2020050807") + QString(6, QChar(0xFF));
    ASSERT_EQ(o.pervasive.BTRieve(0, 11, cle, 0, 53, 1, kAppelant), 0);
    EXPECT_EQ(o.fake.calls[0].key.left(16), QByteArray("2020050807zzzzzz"));
    EXPECT_EQ(cle, QStringLiteral("2020050807zzzzzz"));
    EXPECT_EQ(o.pervasive.enregistrement(53).text(u"Nature"), QStringLiteral("Rup"));

    // Other operations keep the character: a greater-or-equal from it lands past the hour.
    cle = QStringLiteral("2020050807") + QString(6, QChar(0xFF));
    ASSERT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant), 0);
    EXPECT_EQ(cle, QStringLiteral("2020050808000001"));
    // ... and a get-next from there reaches the end of the file without a report.
    EXPECT_EQ(o.pervasive.BTRieve(0, 6, cle, 0, 53, 1, kAppelant), 9);
    EXPECT_TRUE(o.host.boxes.isEmpty());
}

TEST(PervasiveRetries, ConflictsAreRetriedAndAPersistentOneIsAFailure)
{
    DbOwners o;
    FakeEngine::put(o.fichier(22), QByteArray("00000042"));
    o.ouvrir();

    // A conflict that clears is invisible to the caller.
    int restants = 2;
    o.fake.impose = [&](uint16_t) -> int16_t { return restants-- > 0 ? 80 : -1; };
    o.fake.calls.clear();
    QString cle = QStringLiteral("00000042");
    const qint64 debut = o.clock.ChronoMilliSec();
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 1, kAppelant), 0);
    EXPECT_EQ(o.fake.calls.size(), 3);
    EXPECT_EQ(o.clock.ChronoMilliSec() - debut, 1000);
    EXPECT_TRUE(o.host.boxes.isEmpty());

    // One that persists: ten retries, then 80 is reported and returned.
    o.fake.impose = toujours(80, 5);
    o.fake.calls.clear();
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 1, kAppelant), 80);
    EXPECT_EQ(o.pervasive.StatutBTrieve, 80);
    EXPECT_EQ(o.fake.calls.size(), 11);
    ASSERT_EQ(o.host.boxes.size(), 1);
    EXPECT_TRUE(o.host.boxes[0].text.contains(QStringLiteral("Err: 80\n")));
    EXPECT_TRUE(o.traced(QStringLiteral("Err: 80")));
    EXPECT_GT(o.host.pumps, 0) << "the waits let events run";

    // A caller that reports the status it got does not report the conflict a second time.
    o.pervasive.ErreurBTrieve(80, 22, 1, cle, kAppelant);
    EXPECT_EQ(o.host.boxes.size(), 1);
}

TEST(PervasiveRetries, AnUpdateInConflictRereadsAndStillWritesTheCallersRecord)
{
    DbOwners o;
    FakeEngine::File& f22 = o.fichier(22);
    FakeEngine::put(f22, QByteArray("00000042") + QByteArray(15, ' ') + QByteArray("Ancien titre"));
    o.ouvrir();
    QString cle = QStringLiteral("00000042");
    ASSERT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 1, kAppelant), 0);
    o.pervasive.enregistrement(22).setText(u"Titre1", QStringLiteral("Nouveau titre"));

    bool conflit = true;
    o.fake.impose = [&](uint16_t op) -> int16_t {
        if (op == 3 && conflit) {
            conflit = false;
            return 80;
        }
        return -1;
    };
    o.fake.calls.clear();
    ASSERT_EQ(o.pervasive.BTRieve(0, 3, cle, 0, 22, 1, kAppelant), 0);
    ASSERT_EQ(o.fake.calls.size(), 3);
    EXPECT_EQ(o.fake.calls[1].op, 5) << "the record is read again before the update is repeated";
    EXPECT_EQ(o.fake.calls[2].op, 3);
    EXPECT_EQ(f22.records[QByteArray("00000042")].mid(23, 13), QByteArray("Nouveau titre"));
}

TEST(PervasiveRetries, LocksAreWaitedForUntilTheProgramCloses)
{
    DbOwners o;
    FakeEngine::put(o.fichier(53), ligne53("2020050807000001"));
    o.ouvrir();
    QString cle = QStringLiteral("2020050807000001");

    // A lock released after three attempts: no report.
    int restants = 3;
    o.fake.impose = [&](uint16_t) -> int16_t { return restants-- > 0 ? 84 : -1; };
    qint64 debut = o.clock.ChronoMilliSec();
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 53, 1, kAppelant), 0);
    EXPECT_EQ(o.clock.ChronoMilliSec() - debut, 3000);
    EXPECT_TRUE(o.host.boxes.isEmpty());

    // A lock that never goes: reported from the eleventh attempt on, until the quit.
    o.fake.impose = toujours(85, 9);
    o.fake.calls.clear();
    debut = o.clock.ChronoMilliSec();
    o.host.onPump = [&] {
        if (o.clock.ChronoMilliSec() - debut >= 14500)
            o.lifecycle.unloadStarted();
    };
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant), 85);
    EXPECT_EQ(o.pervasive.StatutBTrieve, 85);
    EXPECT_EQ(o.fake.calls.size(), 15);
    EXPECT_EQ(o.host.boxes.size(), 5);
    EXPECT_TRUE(o.traced(QStringLiteral("Err: 85 | Fichier: C:\\VL_Data\\FRADA53.bt6")));

    // Once closing, a locked file is given up at once.
    o.fake.calls.clear();
    o.host.boxes.clear();
    o.fake.impose = toujours(37, 19);
    o.fake.calls.clear();
    EXPECT_EQ(o.pervasive.BTRieve(0, 19, cle, 0, 53, 1, kAppelant), 37);
    EXPECT_EQ(o.fake.calls.size(), 1);
}

TEST(PervasiveRetries, AbortOnALockReportEndsTheProgram)
{
    DbOwners o;
    o.ouvrir();
    o.fake.impose = toujours(84, 5);
    o.host.answers = {Host::Answer::Abort};
    QString cle = QStringLiteral("00000042");
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 1, kAppelant), 84);
    EXPECT_EQ(o.finsProgramme, 1);
    EXPECT_EQ(o.fake.calls.size() - o.fake.count(0), 11) << "no attempt after the Abort";
}

TEST(PervasiveStatuses, SilentStatusesKeyChangesAndReports)
{
    DbOwners o;
    FakeEngine::File& f22 = o.fichier(22);
    FakeEngine::put(f22, QByteArray("00000001"));
    FakeEngine::put(f22, QByteArray("00000002"));
    FakeEngine::File& f34 = o.fake.seed(DbOwners::natif(QStringLiteral("FRADA34.bt6")), 16, 200);
    FakeEngine::put(f34, QByteArray("x"));
    o.ouvrir();
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 34, 0);

    QString cle = QStringLiteral("00000009");
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 1, kAppelant), 4);
    cle = QStringLiteral("00000001");
    o.pervasive.enregistrement(22).setText(u"IdMorceau", QStringLiteral("00000002"));
    EXPECT_EQ(o.pervasive.BTRieve(0, 2, cle, 0, 22, 1, kAppelant), 5) << "duplicate on insert";
    EXPECT_TRUE(o.host.boxes.isEmpty());

    // A key change on get-next: the current record is read again with get-equal.
    bool change = true;
    o.fake.impose = [&](uint16_t op) -> int16_t {
        if (op == 6 && change) {
            change = false;
            return 7;
        }
        return -1;
    };
    o.fake.calls.clear();
    cle = QStringLiteral("00000001");
    EXPECT_EQ(o.pervasive.BTRieve(0, 6, cle, 0, 22, 1, kAppelant), 0);
    ASSERT_EQ(o.fake.calls.size(), 2);
    EXPECT_EQ(o.fake.calls[1].op, 5);
    // ... except on file 34, where it is the caller's business.
    o.fake.impose = toujours(7, 6);
    QString cle34(16, u'x');
    EXPECT_EQ(o.pervasive.BTRieve(0, 6, cle34, 0, 34, 1, kAppelant), 7);
    EXPECT_TRUE(o.host.boxes.isEmpty());
    // Anywhere else it is reported.
    o.fake.impose = toujours(7, 9);
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 22, 1, kAppelant), 7);
    EXPECT_EQ(o.host.boxes.size(), 1);

    // A damaged file asks for a restore.
    o.fake.impose = toujours(2, 5);
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 22, 1, kAppelant), 2);
    ASSERT_EQ(o.host.boxes.size(), 2);
    EXPECT_TRUE(o.host.boxes[1].text.contains(QStringLiteral(
        "Err: 2: The application encountered an I/O error\n\nFaîtes une restauration de ce fichier\n")));
    EXPECT_TRUE(o.host.boxes[1].text.endsWith(QStringLiteral(" >Lib_Data_Pervasive:BTRieve")));
}

TEST(PervasiveErrors, TextsAndNetworkFailures)
{
    const QString f = QStringLiteral("C:\\VL_Data\\FRADA22.bt6");
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(3, f), QStringLiteral("Err: 3: The file is not open\n"));
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(11, f),
              QStringLiteral("Err: 11: The specified filename is invalid (C:\\VL_Data\\FRADA22.bt6)\n"));
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(46, f),
              QStringLiteral("Err: 46: Access to the requested file is denied (File locked ?)\n"));
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(161, f),
              QStringLiteral("Err: 161: The maximum number of user count licenses has been reached\n"));
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(2007, f),
              QStringLiteral("Err: 2007: A pointer parameter is invalid\n"));
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(3103, f), QStringLiteral("Err: 3103: Network error\n"));
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(3132, f), QStringLiteral("Err: 3132: Network error\n"));
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(3102, f), QStringLiteral("Err: 3102\n"));
    EXPECT_EQ(Pervasive::ErreurBTrieveLibelle(54, f), QStringLiteral("Err: 54\n"));

    // Shortly after the machine started, a network failure is traced and the program goes on.
    DbOwners o;
    o.ouvrir();
    o.clock.setChrono(120000);
    o.pervasive.ErreurBTrieve(3105, 22, 1, QStringLiteral("00000042"), kAppelant);
    EXPECT_TRUE(o.traced(QStringLiteral("Err: Network Pervasive errors: 3105")));
    EXPECT_EQ(o.finsProgramme, 0);
    // Later, it ends the program once the box is closed, whatever the answer.
    o.clock.setChrono(300001);
    o.pervasive.ErreurBTrieve(3105, 22, 1, QStringLiteral("00000042"), kAppelant);
    EXPECT_EQ(o.host.boxes.size(), 2);
    EXPECT_EQ(o.finsProgramme, 1);
    // An information report has a single OK button.
    o.pervasive.ErreurBTrieve(4, 22, 1, QStringLiteral("00000042"), kAppelant, true);
    EXPECT_EQ(o.host.boxes.last().icon, Host::Icon::Information);
    EXPECT_EQ(o.host.boxes.last().buttons, Host::Buttons::Ok);
}
