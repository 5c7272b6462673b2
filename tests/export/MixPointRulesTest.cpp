// The corrections of a song's mix points and the play duration, case by case.
#include "export/MixPointRules.h"

#include "common/ErrorTrap.h"

#include <gtest/gtest.h>

using namespace nvx;

namespace {

// Fade-in position and duration, start-next, fade-out position and duration; then the play.
using Points = std::array<qint32, 5>;

std::pair<Points, qint32> corriger(const char* id, qint32 duree, Points p)
{
    UDPDataArrival_03_Create_XML_05_Verifier_Coherence(QString::fromLatin1(id), duree, p[0], p[1], p[2], p[3],
                                                       p[4]);
    qint32 jouee = -1;
    UDPDataArrival_03_Create_XML_04_Check_Pointeurs_Duration(duree, p[2], p[3], p[0], p[1], jouee);
    return {p, jouee};
}

using Resultat = std::pair<Points, qint32>;

} // namespace

TEST(MixPointRules, MissingOrNegativeMarkersTakeTheDefaultsOfTheSongKind)
{
    EXPECT_EQ(corriger("00000042", 180000, {}), Resultat({}, 180000));
    EXPECT_EQ(corriger("00000042", 0, {}), Resultat({}, 0));
    const Points negatifs{0, 0, -1, -1, 700};
    EXPECT_EQ(corriger("00000042", 180000, negatifs), Resultat({0, 0, 179904, 179904, 0}, 179904));
    EXPECT_EQ(corriger("PUB00001", 180000, negatifs), Resultat({0, 0, 179952, 179952, 0}, 179952));
    // Promotions and external items do not chain: start-next 0, the fade-out ends them.
    EXPECT_EQ(corriger("PRE00001", 180000, negatifs), Resultat({0, 0, 0, 179952, 0}, 179952));
    EXPECT_EQ(corriger("EXT00001", 180000, negatifs), Resultat({0, 0, 0, 179952, 0}, 179952));
    // The prefix is compared exactly; a song shorter than its margin ends at 0.
    EXPECT_EQ(MargeFinMorceau(QStringLiteral("pub00001")), 96);
    EXPECT_EQ(corriger("00000042", 50, {0, 0, 0, -1, 0}), Resultat({0, 0, 0, 0, 0}, 50));
}

TEST(MixPointRules, FadeOutTooLateIsBroughtForwardButNeverBeforeTheStart)
{
    EXPECT_EQ(corriger("00000042", 180000, {0, 0, 0, 178000, 5000}),
              Resultat({0, 0, 174904, 174904, 5000}, 174904));
    EXPECT_EQ(corriger("00000042", 100, {0, 0, 0, 10, 50}), Resultat({0, 0, 0, 0, 50}, 100));
}

TEST(MixPointRules, StartNextCasesApplyInOrder)
{
    // Within 80 % of the fade-out, before the end-of-sound limit, rounded to the ms.
    EXPECT_EQ(corriger("00000042", 180000, {0, 0, 176000, 170000, 5000}),
              Resultat({0, 0, 174000, 170000, 5000}, 174000));
    EXPECT_EQ(corriger("00000042", 180000, {0, 0, 179990, 179000, 1000}),
              Resultat({0, 0, 179704, 178904, 1000}, 179704));
    EXPECT_EQ(corriger("00000042", 180000, {0, 0, 20000, 10000, 3}),
              Resultat({0, 0, 10002, 10000, 3}, 10002));
    // Past the sound with no fade-out length: 48 ms before the end, whatever the margin.
    EXPECT_EQ(corriger("00000042", 180000, {0, 0, 200000, 0, 0}), Resultat({0, 0, 179952, 0, 0}, 179952));
    // At 0 it follows the fade-out; inside the song it stays.
    EXPECT_EQ(corriger("00000042", 180000, {0, 0, 0, 170000, 0}),
              Resultat({0, 0, 170000, 170000, 0}, 170000));
    EXPECT_EQ(corriger("00000042", 180000, {0, 0, 150000, 170000, 5000}),
              Resultat({0, 0, 150000, 170000, 5000}, 150000));
}

TEST(MixPointRules, FadeInShortensThePlayUnlessItIsAtOrPastTheEnd)
{
    EXPECT_EQ(corriger("00000042", 180000, {5000, 2000, 0, 0, 0}), Resultat({5000, 2000, 0, 0, 0}, 173000));
    EXPECT_EQ(corriger("00000042", 180000, {100000, 3000, 0, 100000, 0}),
              Resultat({0, 0, 100000, 100000, 0}, 100000));
    EXPECT_EQ(corriger("00000042", 180000, {60000, 3000, 0, 100000, 0}),
              Resultat({60000, 3000, 100000, 100000, 0}, 37000));
    EXPECT_EQ(corriger("00000042", 180000, {-5, 3000, 0, 0, 0}), Resultat({0, 0, 0, 0, 0}, 180000));
    EXPECT_EQ(corriger("00000042", 1000, {900, 500, 0, 0, 0}), Resultat({900, 500, 0, 0, 0}, 0));
    // A start-next at or past the end does not count for the play; the fade-out does.
    qint32 jouee = -1;
    UDPDataArrival_03_Create_XML_04_Check_Pointeurs_Duration(180000, 180000, 170000, 0, 0, jouee);
    EXPECT_EQ(jouee, 170000);
}

TEST(MixPointRules, RoundingTakesHalvesToEvenAndRefusesOverflow)
{
    EXPECT_EQ(ArrondiEntier32(2.5), 2);
    EXPECT_EQ(ArrondiEntier32(3.5), 4);
    EXPECT_EQ(ArrondiEntier32(-2.5), -2);
    EXPECT_EQ(ArrondiEntier32(2147483647.0), 2147483647);
    EXPECT_THROW(ArrondiEntier32(9999999999.0), VbError);
}
