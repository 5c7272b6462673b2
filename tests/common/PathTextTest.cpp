#include "common/PathText.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::StringLiterals;

namespace {

void expectParts(const QString& path, const QString& folder, const QString& name, const QString& ext)
{
    const EclatementChemin parts = EclateRepFicExt(path);
    EXPECT_EQ(parts.RepEclate, folder) << qPrintable(path);
    EXPECT_EQ(parts.FicEclate, name) << qPrintable(path);
    EXPECT_EQ(parts.ExtEclate, ext) << qPrintable(path);
}

} // namespace

TEST(PathText, EclateRepFicExtSplitsFromTheRight)
{
    expectParts(u"C:\\VL_Data\\Log\\Lundi.Log"_s, u"C:\\VL_Data\\Log\\"_s, u"Lundi"_s, u".Log"_s);
    expectParts(u"  C:\\a\\b.c.txt  "_s, u"C:\\a\\"_s, u"b.c"_s, u".txt"_s);
    expectParts(u"name"_s, QString(), u"name"_s, QString());
    expectParts(u"C:\\my.dir\\file"_s, u"C:\\my.dir\\"_s, u"file"_s, QString());
    expectParts(u"a.b.c"_s, QString(), u"a.b"_s, u".c"_s);
    expectParts(u"C:\\dir\\"_s, u"C:\\dir\\"_s, QString(), QString());
    expectParts(u"\\file.txt"_s, u"\\"_s, u"file"_s, u".txt"_s);
    expectParts(u".hidden"_s, QString(), QString(), u".hidden"_s);
    expectParts(QString(), QString(), QString(), QString());
}

TEST(PathText, CheckRepLeavesOneTrailingBackslash)
{
    EXPECT_EQ(CheckRep(QString()), QString());
    EXPECT_EQ(CheckRep(u"C:\\VL_Data\\\\"_s), u"C:\\VL_Data\\"_s);
    EXPECT_EQ(CheckRep(u"C:\\VL_Data\\"_s), u"C:\\VL_Data\\"_s);
    EXPECT_EQ(CheckRep(u"C:\\VL_Data"_s), u"C:\\VL_Data\\"_s);
}

TEST(PathText, NettoieNomDeDossierRemovesForbiddenCharacters)
{
    EXPECT_EQ(NettoieNomDeDossier(u"C:\\Music:Live\\Set?"_s), u"C:\\Music Live\\Set"_s);
    EXPECT_EQ(NettoieNomDeDossier(u"C:\\a:::b"_s), u"C:\\a b"_s);
    EXPECT_EQ(NettoieNomDeDossier(u"C:\\a..b\\c...d%e"_s), u"C:\\ab\\cde"_s);
    EXPECT_EQ(NettoieNomDeDossier(u"C:\\x <y>   \\z|"_s), u"C:\\x  y\\z"_s);
    EXPECT_EQ(NettoieNomDeDossier(u"D:\\a/b*c,d\"e "_s), u"D:\\a b c d e"_s);
}

TEST(PathText, NomFichierCorrect)
{
    EXPECT_TRUE(NomFichierCorrect(u"Lundi.Log"_s));
    EXPECT_TRUE(NomFichierCorrect(QString()));
    EXPECT_TRUE(NomFichierCorrect(u"a<b>.txt"_s));
    for (const QString& bad : {u"a*b"_s, u"a?b"_s, u"a\"b"_s, u"a|b"_s})
        EXPECT_FALSE(NomFichierCorrect(bad)) << qPrintable(bad);
}

TEST(PathText, SerieDeRepertoireNumbersTheKinds)
{
    const QStringList codes = {u"JIN"_s, u"LIN"_s, u"RUB"_s, u"INF"_s, u"EMI"_s, u"ANN"_s,
                               u"CHR"_s, u"SPE"_s, u"PRE"_s, u"EXT"_s, u"PUB"_s, u"TMP"_s};
    for (qsizetype i = 0; i < codes.size(); ++i)
        EXPECT_EQ(SerieDeRepertoire(codes[i]), i + 1) << qPrintable(codes[i]);
    EXPECT_EQ(SerieDeRepertoire(u"jin"_s), 0);
    EXPECT_EQ(SerieDeRepertoire(u"JINX"_s), 0);
    EXPECT_EQ(SerieDeRepertoire(QString()), 0);
}
