#include "db/Catalogue.h"

#include <gtest/gtest.h>

#include <set>

using namespace nvx;

namespace {

Catalogue charge()
{
    Catalogue c;
    c.InitGeneralData();
    return c;
}

quint16 u16(const QByteArray& b, int offset)
{
    return quint16(quint8(b[offset]) | (quint8(b[offset + 1]) << 8));
}

} // namespace

TEST(Catalogue, FileNamesFollowThePerStationFlag)
{
    const Catalogue c = charge();
    EXPECT_EQ(c.NomFichierBTR(0, 0), QStringLiteral("FRAD000.bt6"));
    EXPECT_EQ(c.NomFichierBTR(53, 0), QStringLiteral("FRADA53.bt6"));
    EXPECT_EQ(c.NomFichierBTR(53, 1), QStringLiteral("FRADB53.bt6"));
    EXPECT_EQ(c.NomFichierBTR(22, 19), QStringLiteral("FRADT22.bt6"));
    EXPECT_EQ(c.NomFichierBTR(12, 5), QStringLiteral("FRAD012.bt6"));
    EXPECT_EQ(c.NomFichierBTR(8, 0), QString()) << "no table behind number 8";
    EXPECT_EQ(c.NomFichierBTR(71, 0), QString());

    const std::set<int> parStation = {20, 21, 22, 23, 24, 26, 29, 31, 32, 33, 34, 35, 40, 41, 42, 46, 48, 53};
    for (int i = 0; i < Catalogue::kNbFichiers; ++i) {
        const EntreeCatalogue& e = c.entree(i);
        EXPECT_EQ(e.nomFichier.size(), 8) << i;
        EXPECT_EQ(e.parStation, parStation.count(i) ? QStringLiteral("O") : QStringLiteral("N")) << i;
    }
}

TEST(Catalogue, TablesHaveConsistentKeys)
{
    const Catalogue c = charge();
    const std::set<int> sansTable = {8, 37, 38, 39, 50, 51, 52};
    int tables = 0;
    for (int i = 0; i < Catalogue::kNbFichiers; ++i) {
        const EntreeCatalogue& e = c.entree(i);
        const bool attendue = i <= 53 && !sansTable.count(i);
        ASSERT_EQ(e.existe(), attendue) << i;
        if (!e.existe())
            continue;
        ++tables;
        EXPECT_FALSE(e.description.isEmpty()) << i;
        EXPECT_GE(e.nbCles, 1) << i;
        EXPECT_LE(e.segments.size(), Catalogue::kMaxSegments) << i;
        // Every key lies inside the record, and the segment chain gives the stated key count.
        int cles = 0;
        for (const SegmentCle& s : e.segments) {
            EXPECT_GE(s.position, 1) << i;
            EXPECT_LE(s.position - 1 + s.longueur, e.longueurEnregistrement) << i;
            EXPECT_TRUE(s.flags & SegmentCle::Modifiable) << i;
            cles += (s.flags & SegmentCle::Segmente) ? 0 : 1;
        }
        EXPECT_EQ(cles, e.nbCles) << i;
        // The first key starts on the leading bytes.
        EXPECT_EQ(e.segments.first().position, 1) << i;
    }
    EXPECT_EQ(tables, 47);

    const EntreeCatalogue& artistes = c.entree(20);
    EXPECT_EQ(artistes.longueurEnregistrement, 300);
    EXPECT_EQ(artistes.nbCles, 4);
    const QList<SegmentCle> cle3 = artistes.segmentsCle(3);
    ASSERT_EQ(cle3.size(), 2);
    EXPECT_EQ(cle3[0].position, 46);
    EXPECT_EQ(cle3[0].longueur, 1);
    EXPECT_TRUE(cle3[0].flags & SegmentCle::Segmente);
    EXPECT_EQ(cle3[1].position, 16);
    EXPECT_EQ(cle3[1].longueur, 20);
    EXPECT_FALSE(cle3[1].flags & SegmentCle::SansCasse);
    EXPECT_EQ(artistes.longueurCle(3), 21);
    EXPECT_EQ(artistes.longueurCle(4), 0) << "no fifth key";

    EXPECT_EQ(c.entree(53).longueurCle(0), 16);
    EXPECT_EQ(c.entree(31).longueurCle(0), 11);
    EXPECT_EQ(c.entree(21).longueurCle(0), 10);
    EXPECT_TRUE(c.entree(22).segmentsCle(5)[0].flags & SegmentCle::SansCasse);
    EXPECT_TRUE(c.entree(22).segmentsCle(1)[0].flags & SegmentCle::Doublons);
    EXPECT_FALSE(c.entree(22).segmentsCle(0)[0].flags & SegmentCle::Doublons);
}

TEST(Catalogue, CreateBufferIsReadBackByTheEngine)
{
    const Catalogue c = charge();
    const QByteArray b = c.specCreation(21);
    ASSERT_EQ(b.size(), 16 + 3 * 16);
    EXPECT_EQ(u16(b, 0), 980);
    EXPECT_EQ(u16(b, 2), 1024);
    EXPECT_EQ(u16(b, 4), 2);
    // Key 1, first segment: bytes 1-5, duplicates, case-insensitive, joined to the next.
    EXPECT_EQ(u16(b, 32), 1);
    EXPECT_EQ(u16(b, 34), 5);
    EXPECT_EQ(u16(b, 36),
              SegmentCle::Doublons | SegmentCle::Modifiable | SegmentCle::SansCasse | SegmentCle::Segmente);
    EXPECT_EQ(u16(b, 48), 11);
    EXPECT_EQ(c.specCreation(8), QByteArray());
}
