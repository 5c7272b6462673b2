#include "DbFixture.h"

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;

namespace {

QByteArray artiste(const char* code, const char* nom)
{
    return QByteArray(code).leftJustified(15, ' ') + QByteArray(nom);
}

QByteArray categorie(const char* code, const char* libelle, const char* couleur)
{
    QByteArray r = QByteArray("CATEG") + QByteArray(code).leftJustified(5, ' ') + QByteArray(libelle);
    r = r.leftJustified(688, ' ');
    return r + QByteArray(couleur).leftJustified(10, ' ');
}

struct Lookups : ::testing::Test {
    void SetUp() override
    {
        FakeEngine::File& f20 = o.fichier(20);
        FakeEngine::put(f20, artiste("00001", "Alpha"));
        FakeEngine::put(f20, artiste("00002", ""));
        FakeEngine::put(f20, artiste("00003", "  Beta  "));
        FakeEngine::File& f21 = o.fichier(21);
        FakeEngine::put(f21, categorie("POP", "  Pop rock  ", "  16711680"));
        FakeEngine::put(f21, categorie("VIDE", "", "255"));
        FakeEngine::put(f21, categorie("GRIS", "Gris", "   "));
        o.ouvrir();
        o.fake.calls.clear();
    }
    DbOwners o;
};

} // namespace

TEST_F(Lookups, ArtistNamesJoinBothCodes)
{
    EXPECT_EQ(o.pervasive.NomArtiste(1, QStringLiteral("     "), QString()), QString());
    EXPECT_TRUE(o.fake.calls.isEmpty()) << "blank codes are not looked up";

    EXPECT_EQ(o.pervasive.NomArtiste(1, QStringLiteral("00001"), QStringLiteral("     ")),
              QStringLiteral("Alpha"));
    // The second artist has no name: its code stands in.
    EXPECT_EQ(o.pervasive.NomArtiste(1, QStringLiteral("00001"), QStringLiteral("00002")),
              QStringLiteral("Alpha + Artiste: 00002"));
    // The first artist has no record: only the second's name.
    EXPECT_EQ(o.pervasive.NomArtiste(1, QStringLiteral("00009"), QStringLiteral("00003")),
              QStringLiteral("Beta"));
    EXPECT_EQ(o.pervasive.NomArtiste(1, QStringLiteral("00008"), QStringLiteral("00009")), QString());
    // A code given without its trailing blanks still finds the record.
    EXPECT_EQ(o.pervasive.NomArtiste(1, QStringLiteral("00003"), QStringLiteral("00001")),
              QStringLiteral("Beta + Alpha"));
    EXPECT_TRUE(o.host.boxes.isEmpty());
}

TEST_F(Lookups, CategoryLabelsAndColoursAreRemembered)
{
    qint32 couleur = -1;
    EXPECT_EQ(o.pervasive.LibCategorie(1, QStringLiteral("POP  "), couleur), QStringLiteral("Pop rock"));
    EXPECT_EQ(couleur, 16711680);
    EXPECT_EQ(o.fake.count(5), 1);
    ASSERT_EQ(o.fake.calls[0].key.left(10), QByteArray("CATEGPOP  "));

    couleur = -1;
    EXPECT_EQ(o.pervasive.LibCategorie(1, QStringLiteral("POP  "), couleur), QStringLiteral("Pop rock"));
    EXPECT_EQ(couleur, 16711680);
    EXPECT_EQ(o.fake.count(5), 1) << "the same station and code are not read again";

    // A change of the record during the run is not seen while the code stays the same.
    o.fake.files[DbOwners::natif(QStringLiteral("FRADA21.bt6")).toStdString()].records.clear();
    EXPECT_EQ(o.pervasive.LibCategorie(1, QStringLiteral("POP  "), couleur), QStringLiteral("Pop rock"));
    // Another station reads again, and finds nothing there.
    EXPECT_EQ(o.pervasive.LibCategorie(2, QStringLiteral("POP  "), couleur),
              QStringLiteral("Catégorie: POP  "));
    EXPECT_EQ(couleur, 0);
    EXPECT_EQ(o.fake.count(5), 1) << "station 2 has no open file, so no engine call";
}

TEST_F(Lookups, CategoryFallbacks)
{
    qint32 couleur = -1;
    EXPECT_EQ(o.pervasive.LibCategorie(1, QStringLiteral("VIDE "), couleur),
              QStringLiteral("Catégorie: VIDE "));
    EXPECT_EQ(couleur, 255) << "a blank label keeps the record's colour";
    EXPECT_EQ(o.pervasive.LibCategorie(1, QStringLiteral("GRIS "), couleur), QStringLiteral("Gris"));
    EXPECT_EQ(couleur, 0);
    EXPECT_EQ(o.pervasive.LibCategorie(1, QStringLiteral("ZZZ  "), couleur),
              QStringLiteral("Catégorie: ZZZ  "));
    EXPECT_EQ(couleur, 0);
    // A read error is reported and gives the same fallback.
    o.fake.impose = [](uint16_t) -> int16_t { return 2; };
    couleur = -1;
    EXPECT_EQ(o.pervasive.LibCategorie(1, QStringLiteral("POP  "), couleur),
              QStringLiteral("Catégorie: POP  "));
    EXPECT_EQ(couleur, 0);
    EXPECT_EQ(o.host.boxes.size(), 1);
}
