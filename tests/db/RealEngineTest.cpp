// The access layer over the embedded engine: files created from the catalogue, rows written
// through the generic call and read back the way the schedule export reads them.
#include "EmbeddedFixture.h"

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;

namespace {

const QString kAppelant = QStringLiteral("Frm_MainBis:Test");

} // namespace

TEST_F(OverEmbeddedEngine, ScheduleHourIsReadInKeyOrderWithItsLookups)
{
    for (qint16 f : Pervasive::kFichiersOuverts)
        creer(f);
    o.pervasive.PervasiveOuvertureFichiers(0, 1, 1);
    ASSERT_TRUE(o.host.boxes.isEmpty());

    ligne(QStringLiteral("2020050808000001"), QStringLiteral("Rup"));
    ligne(QStringLiteral("2020050807300001"), QStringLiteral("Son"), QStringLiteral("00000042"));
    ligne(QStringLiteral("2020050807000001"), QStringLiteral("Rup"));
    ligne(QStringLiteral("2020050807300002"), QStringLiteral("Pub"));
    inserer(20, [](Record& r) {
        r.setText(u"CodeArtiste", QStringLiteral("00001"));
        r.setText(u"Nom", QStringLiteral("Zoé"));
    });
    inserer(21, [](Record& r) {
        r.setText(u"Type", QStringLiteral("CATEG"));
        r.setText(u"Code", QStringLiteral("POP"));
        r.setText(u"Libelle", QStringLiteral("Pop"));
        r.setText(u"Couleur", QStringLiteral("65280"));
    });

    // The hour 07, as the export reads it: greater-or-equal from the lower key, then next.
    QString cle = QStringLiteral("2020050807") + QString(6, QChar(0));
    QStringList lu;
    for (qint16 st = o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant); st == 0;
         st = o.pervasive.BTRieve(0, 6, cle, 0, 53, 1, kAppelant)) {
        if (cle > QStringLiteral("2020050807") + QString(6, QChar(0xFF)))
            break;
        lu << o.pervasive.enregistrement(53).text(u"Minute") + o.pervasive.enregistrement(53).text(u"Nature");
    }
    EXPECT_EQ(lu, (QStringList{QStringLiteral("00Rup"), QStringLiteral("30Son"), QStringLiteral("30Pub")}));

    // The last row of the hour with code 255 read as "z".
    cle = QStringLiteral("2020050807") + QString(6, QChar(0xFF));
    ASSERT_EQ(o.pervasive.BTRieve(0, 11, cle, 0, 53, 1, kAppelant), 0);
    EXPECT_EQ(cle, QStringLiteral("2020050807300002"));
    // Past the end of the file: 9, without a report.
    cle = QStringLiteral("2020050809000000");
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 53, 1, kAppelant), 9);

    EXPECT_EQ(o.pervasive.NomArtiste(1, QStringLiteral("00001"), QStringLiteral("00007")),
              QStringLiteral("Zoé"));
    qint32 couleur = 0;
    EXPECT_EQ(o.pervasive.LibCategorie(1, QStringLiteral("POP  "), couleur), QStringLiteral("Pop"));
    EXPECT_EQ(couleur, 65280);
    EXPECT_TRUE(o.host.boxes.isEmpty());

    o.pervasive.PervasiveFermetureFichiers(0, 1, 1);
    cle = QStringLiteral("2020050807000001");
    EXPECT_EQ(o.pervasive.BTRieve(0, 5, cle, 0, 53, 1, kAppelant), 4);
}

TEST_F(OverEmbeddedEngine, MissingFilesAreCreatedOrReported)
{
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 42, 0);
    EXPECT_TRUE(o.pervasive.etat(1, 42).FichierOuvert);
    EXPECT_TRUE(QFile::exists(DbOwners::natif(QStringLiteral("FRADA42.bt6"))));
    // Created empty: the first read finds the end of the file.
    QString cle(20, u' ');
    EXPECT_EQ(o.pervasive.BTRieve(0, 9, cle, 0, 42, 1, kAppelant), 9);
    EXPECT_TRUE(o.host.boxes.isEmpty());

    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 22, 0);
    EXPECT_FALSE(o.pervasive.etat(1, 22).FichierOuvert);
    EXPECT_FALSE(QFile::exists(DbOwners::natif(QStringLiteral("FRADA22.bt6"))));
    EXPECT_TRUE(o.traced(QStringLiteral(
        "Err: 12: The MicroKernel cannot find the specified file (C:\\VL_Data\\FRADA22.bt6)")));
}

TEST_F(OverEmbeddedEngine, EngineKeepsEveryCatalogueStructure)
{
    const auto u16 = [](const QByteArray& b, int offset) {
        return int(quint8(b[offset]) | (quint8(b[offset + 1]) << 8));
    };
    const Catalogue& c = o.pervasive.catalogue();
    for (int i = 0; i < Catalogue::kNbFichiers; ++i) {
        const EntreeCatalogue& e = c.entree(i);
        if (!e.existe())
            continue;
        creer(i);
        QByteArray cle = QFile::encodeName(DbOwners::natif(o.pervasive.NomFichierBTR(i, 0)));
        cle.append('\0');
        QByteArray bloc(128, '\0');
        QByteArray donnees(4096, '\0');
        quint32 longueur = 0;
        ASSERT_EQ(
            engine->BTRCALL(0, bloc.data(), donnees.data(), &longueur, cle.data(), quint8(cle.size()), 0), 0);
        longueur = quint32(donnees.size());
        ASSERT_EQ(engine->BTRCALL(15, bloc.data(), donnees.data(), &longueur, cle.data(), 255, 0), 0) << i;
        // Stat gives the structure back in the create layout: the same buffer, but for the
        // record count.
        const QByteArray structureFichier = c.specCreation(i);
        ASSERT_EQ(int(longueur), structureFichier.size()) << i;
        EXPECT_EQ(u16(donnees, 0), e.longueurEnregistrement) << i;
        EXPECT_EQ(u16(donnees, 2), e.taillePage) << i;
        EXPECT_EQ(u16(donnees, 4), e.nbCles) << i;
        for (int s = 0; s < e.segments.size(); ++s) {
            const int at = Catalogue::kLongueurSpecFichier + s * Catalogue::kLongueurSpecSegment;
            EXPECT_EQ(donnees.mid(at, 6), structureFichier.mid(at, 6)) << i << " segment " << s;
        }
        engine->BTRCALL(1, bloc.data(), donnees.data(), &longueur, cle.data(), 255, 0);
    }
}

TEST_F(OverEmbeddedEngine, AnUpdateMeetingAnotherProgramsChangeIsWrittenOnTheRecordReadAgain)
{
    creer(53);
    o.pervasive.FichierPervasiveOuvrir(0, 1, 1, 53, 0);
    ligne(QStringLiteral("2020050807000001"), QStringLiteral("Son"), QStringLiteral("00000042"));
    QString key = QStringLiteral("2020050807000001");
    ASSERT_EQ(o.pervasive.BTRieve(0, 5, key, 0, 53, 1, kAppelant), 0);

    // Another program changes the row after the tool read it.
    auto other = createEmbeddedEngine();
    QByteArray path = QFile::encodeName(DbOwners::natif(QStringLiteral("FRADA53.bt6")));
    path.append('\0');
    QByteArray pos(128, '\0'), data(4096, '\0'), otherKey(255, '\0');
    quint32 length = 0;
    ASSERT_EQ(other->BTRCALL(0, pos.data(), data.data(), &length, path.data(), 255, 0), 0);
    otherKey.replace(0, 16, "2020050807000001");
    length = quint32(data.size());
    ASSERT_EQ(other->BTRCALL(5, pos.data(), data.data(), &length, otherKey.data(), 255, 0), 0);
    data.replace(24, 3, "Pub");
    ASSERT_EQ(other->BTRCALL(3, pos.data(), data.data(), &length, otherKey.data(), 255, 0), 0);

    // The tool's update is a conflict: it waits, reads the row again and writes its own fields.
    o.pervasive.enregistrement(53).setText(u"IdMorceau", QStringLiteral("00000043"));
    const qint64 start = o.clock.ChronoMilliSec();
    EXPECT_EQ(o.pervasive.BTRieve(0, 3, key, 0, 53, 1, kAppelant), 0);
    EXPECT_EQ(o.clock.ChronoMilliSec() - start, 500);
    EXPECT_TRUE(o.host.boxes.isEmpty());
    key = QStringLiteral("2020050807000001");
    ASSERT_EQ(o.pervasive.BTRieve(0, 5, key, 0, 53, 1, kAppelant), 0);
    EXPECT_EQ(o.pervasive.enregistrement(53).text(u"IdMorceau"), QStringLiteral("00000043"));
}
