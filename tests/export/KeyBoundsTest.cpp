// The range check of keys read back from the record manager, against the comparison of the
// encoded texts it stands for.
#include "export/KeyBounds.h"

#include "common/Win1252.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace nvx;

namespace {

bool parOctets(const QString& cle, const QString& limite)
{
    const QByteArray max = toWindows1252(limite);
    return toWindows1252(cle).left(max.size()) <= max;
}

} // namespace

TEST(KeyBounds, AKeyWithinTheRangeOrEqualToItsLimitIsKept)
{
    EXPECT_TRUE(cleAuPlus(u"2020050812000000", u"2020050812\xFF\xFF\xFF\xFF\xFF\xFF"));
    EXPECT_TRUE(cleAuPlus(u"00000042499", u"00000042499"));
    EXPECT_TRUE(cleAuPlus(u"00000042400", u"00000042499"));
}

TEST(KeyBounds, AKeyPastTheLimitEndsTheRange)
{
    EXPECT_FALSE(cleAuPlus(u"2020050813000000", u"2020050812\xFF\xFF\xFF\xFF\xFF\xFF"));
    EXPECT_FALSE(cleAuPlus(u"00000042500", u"00000042499"));
}

TEST(KeyBounds, OnlyTheLimitsLengthOfTheKeyCounts)
{
    EXPECT_TRUE(cleAuPlus(u"00000042499zzz", u"00000042499"));
    EXPECT_TRUE(cleAuPlus(u"0000004", u"00000042499"));
    EXPECT_TRUE(cleAuPlus(u"", u"00000042499"));
}

TEST(KeyBounds, CharactersCompareByTheirCodePageBytes)
{
    // The euro sign is byte 0x80, below y with diaeresis (0xFF) although its code point is
    // above; a character outside the code page counts as "?".
    const QString euro = QStringLiteral("2020050812\u20AC");
    const QString limite = QStringLiteral("2020050812\u00FF");
    EXPECT_TRUE(cleAuPlus(euro, limite));
    EXPECT_FALSE(cleAuPlus(QString(limite + u'1'), euro));
    EXPECT_TRUE(cleAuPlus(QStringLiteral("AB\u4E2D"), QStringLiteral("AB?")));
    EXPECT_FALSE(cleAuPlus(QStringLiteral("AB\u4E2D"), QStringLiteral("AB>")));
    const QStringList textes = {euro,
                                limite,
                                QStringLiteral("2020050812\u0152"),
                                QStringLiteral("2020050812z"),
                                QStringLiteral("2020050812\u00E9t\u00E9"),
                                QStringLiteral("2020050812\u4E2D"),
                                QStringLiteral("2020050812")};
    for (const QString& a : textes)
        for (const QString& b : textes)
            EXPECT_EQ(cleAuPlus(a, b), parOctets(a, b)) << a.toStdString() << " / " << b.toStdString();
}
