// Marker reads: which record counts for a kind, how its texts read as numbers, and what a
// failed read or a quit leaves.
#include "export/MixPointReader.h"

#include "db/DbFixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace nvx;
using namespace nvx::test;

namespace {

using Pair = std::pair<qint32, qint32>;

struct MixPointMarkers : ::testing::Test {
    MixPointMarkers() { o.ouvrir(); }

    void marqueur(const QString& id, int type, const QString& sequence, const QString& valeur,
                  const QString& duree = {}, const QString& signe = {})
    {
        Record r(*layoutFichier(31));
        r.setText(u"IdMorceau", id);
        r.setText(u"Type", QString::number(type));
        r.setText(u"Sequence", sequence);
        r.setText(u"Valeur", valeur);
        r.setText(u"Duree", duree);
        r.setText(u"Signe", signe);
        FakeEngine::put(o.fichier(31), r.bytes());
    }
    Pair lire(int type, const QString& id)
    {
        Pair v{-7, -7};
        lecteur.UDPDataArrival_03_Create_XML_01_Charger_Pointeur(1, id, type, v.first, v.second);
        return v;
    }
    float niveau(const QString& id)
    {
        float l = -7.0f;
        lecteur.UDPDataArrival_03_Create_XML_02_Charger_Pointeur_Level(1, id, l);
        return l;
    }
    qsizetype incidents(const QString& texte) const
    {
        return std::count_if(o.trace.ListeIncidents.cbegin(), o.trace.ListeIncidents.cend(),
                             [&](const QString& l) { return l.contains(texte); });
    }

    DbOwners o;
    MixPointReader lecteur{o.identity, o.lifecycle, o.trace, o.pervasive};
    const QString id = QStringLiteral("00000042");
};

} // namespace

TEST_F(MixPointMarkers, OnlyTheFirstMarkerOfTheSongsKindCounts)
{
    marqueur(id, 0, QStringLiteral("07"), QStringLiteral("9999"), QStringLiteral("9999"));
    marqueur(id, 0, QStringLiteral("03"), QStringLiteral("5000"), QStringLiteral("2000"));
    marqueur(id, 2, QStringLiteral("00"), QStringLiteral("55555"), QStringLiteral("55555"));
    marqueur(QStringLiteral("00000043"), 1, QStringLiteral("00"), QStringLiteral("170000"),
             QStringLiteral("5"));

    EXPECT_EQ(lire(0, id), Pair(5000, 2000));
    // The record found past the kind belongs to another kind, or song; or there is none.
    EXPECT_EQ(lire(1, id), Pair(0, 0));
    EXPECT_EQ(lire(1, QStringLiteral("00000041")), Pair(0, 0));
    EXPECT_EQ(lire(5, QStringLiteral("00000043")), Pair(0, 0));
    EXPECT_TRUE(o.trace.ListeIncidents.isEmpty());
}

TEST_F(MixPointMarkers, TextsReadAsNumbersAndTheLevelAsHundredths)
{
    const QList<std::pair<const char*, qint32>> cas = {
        {" 1 2 0 0 0", 12000}, {"2.5", 2}, {"3.5", 4}, {"- 250", -250}, {"12x7", 12}, {"abc", 0}, {"", 0}};
    int n = 100;
    for (const auto& [texte, valeur] : cas) {
        const QString autre = QString::number(++n).rightJustified(8, u'0');
        marqueur(autre, 5, QStringLiteral("00"), QString::fromLatin1(texte), QString::fromLatin1(texte));
        EXPECT_EQ(lire(5, autre), Pair(valeur, valeur)) << '"' << texte << '"';
    }
    const QList<std::tuple<const char*, const char*, float>> niveaux = {
        {"350", "--", -3.5f}, {"350", "", 3.5f}, {"350", "-", 3.5f}, {"12.5", "", 0.125f}, {"0", "--", 0.0f}};
    for (const auto& [valeur, signe, attendu] : niveaux) {
        const QString autre = QString::number(++n).rightJustified(8, u'0');
        marqueur(autre, 8, QStringLiteral("00"), QString::fromLatin1(valeur), {}, QString::fromLatin1(signe));
        const float l = niveau(autre);
        EXPECT_EQ(l, attendu) << valeur << signe;
        EXPECT_EQ(std::signbit(l), std::signbit(attendu)) << valeur << signe;
    }
    EXPECT_EQ(niveau(QStringLiteral("99999999")), 0.0f);
}

TEST_F(MixPointMarkers, AFailedReadIsReportedOnceAndCountsAsNoMarker)
{
    o.erreursAttendues = true;
    marqueur(id, 1, QStringLiteral("00"), QStringLiteral("170000"), QStringLiteral("5000"));
    marqueur(id, 8, QStringLiteral("00"), QStringLiteral("350"));
    o.fake.impose = [](uint16_t op) -> int16_t { return op == 9 ? 2 : -1; };
    EXPECT_EQ(lire(1, id), Pair(0, 0));
    EXPECT_EQ(niveau(id), 0.0f);
    EXPECT_EQ(o.host.boxes.size(), 2);
    EXPECT_EQ(incidents(QStringLiteral("Err: 2:")), 2);

    // A status the record call passes back silently is reported here, under the reader's name.
    o.fake.impose = [](uint16_t op) -> int16_t { return op == 9 ? 4 : -1; };
    EXPECT_EQ(lire(1, id), Pair(0, 0));
    EXPECT_EQ(incidents(QStringLiteral(">Frm_MainBis:UDPDataArrival_03_Create_XML_01_Charger_Pointeur")), 1);
    o.fake.impose = nullptr;

    // A value beyond 32 bits is a fault of the procedure; the marker stays absent.
    marqueur(id, 0, QStringLiteral("00"), QStringLiteral("9999999999"), QStringLiteral("2000"));
    EXPECT_EQ(lire(0, id), Pair(0, 0));
    EXPECT_EQ(
        incidents(QStringLiteral("Source:Frm_MainBis:UDPDataArrival_03_Create_XML_01_Charger_Pointeur")), 1);
}

TEST_F(MixPointMarkers, NothingIsReadOnceTheQuitIsConfirmed)
{
    marqueur(id, 1, QStringLiteral("00"), QStringLiteral("170000"), QStringLiteral("5000"));
    EXPECT_EQ(lire(1, id), Pair(170000, 5000));
    o.lifecycle.requestQuit();
    EXPECT_EQ(lire(1, id), Pair(0, 0));
}
