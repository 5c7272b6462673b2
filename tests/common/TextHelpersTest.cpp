#include "common/TextHelpers.h"

#include "common/Reporter.h"
#include "common/Win1252.h"

#include <gtest/gtest.h>

#include <limits>

using namespace nvx;
using namespace Qt::StringLiterals;

TEST(TextHelpers, N2SPadsCutsAndRounds)
{
    EXPECT_EQ(N2S(7, 2), u"07"_s);
    EXPECT_EQ(N2S(2020, 4), u"2020"_s);
    EXPECT_EQ(N2S(123, 2), u"23"_s);
    // value + 0.005 lands exactly on a half here, which goes to the even neighbour.
    EXPECT_EQ(N2S(0.495, 1), u"0"_s);
    EXPECT_EQ(N2S(2.495, 1), u"2"_s);
    EXPECT_EQ(N2S(3.495, 1), u"4"_s);
    EXPECT_EQ(N2S(2.5, 1), u"3"_s);
    EXPECT_EQ(N2S(1e12, 10), u"2147483647"_s);
    EXPECT_EQ(N2S(5, 3, 0, u" "_s), u"  5"_s);
    EXPECT_EQ(N2S(5, 0), QString());
    EXPECT_EQ(N2S(-5, 3), u"-05"_s);
}

TEST(TextHelpers, VbValReadsTheNumericStart)
{
    EXPECT_EQ(vbVal(u"  12ab"_s), 12.0);
    EXPECT_EQ(vbVal(u"-3.5x"_s), -3.5);
    EXPECT_EQ(vbVal(u"1 2"_s), 12.0);
    EXPECT_EQ(vbVal(u"1e3"_s), 1000.0);
    EXPECT_EQ(vbVal(u"7e"_s), 7.0);
    EXPECT_EQ(vbVal(u".5"_s), 0.5);
    EXPECT_EQ(vbVal(u"ab"_s), 0.0);
    EXPECT_EQ(vbVal(QString()), 0.0);
    EXPECT_EQ(vbVal(u"+4.d1"_s), 40.0);
    EXPECT_EQ(vbVal(u"3\u00e9"_s), 3.0);
    EXPECT_EQ(vbVal(u"-1e999"_s), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(vbVal(u"1e-999"_s), 0.0);
}

TEST(TextHelpers, ExtraireBaliseFindsTheValueOfAKey)
{
    const QString request = u"<NoStation:1><HHDeb:05><HHFin:11><BuilddDate:06/05/2020 14:48:57>"_s;
    EXPECT_EQ(ExtraireBalise(request, u"<hhdeb:"_s, u"x"_s), u"05"_s);
    EXPECT_EQ(ExtraireBalise(request, u"<HHFin:"_s, u"x"_s), u"11"_s);
    EXPECT_EQ(ExtraireBalise(request, u"<BuilddDate:"_s, {}), u"06/05/2020 14:48:57"_s);
    EXPECT_EQ(ExtraireBalise(u"<A: v >"_s, u"<A:"_s, {}), u" v "_s);
    EXPECT_EQ(ExtraireBalise(u"<A:>"_s, u"<A:"_s, u"d"_s), QString());
    EXPECT_EQ(ExtraireBalise(request, u"<UserId:"_s, u"def"_s), u"def"_s);
    EXPECT_EQ(ExtraireBalise(u"<HHDeb:05"_s, u"<HHDeb:"_s, u"def"_s), u"def"_s);
    EXPECT_EQ(ExtraireBalise(u"     "_s, QString(), u"def"_s), u"def"_s);
}

TEST(TextHelpers, RemplaceChaineOverwritesInPlace)
{
    EXPECT_EQ(RemplaceChaine(u"10:00:00"_s, u"*"_s, 1, 1), u"*0:00:00"_s);
    EXPECT_EQ(RemplaceChaine(u"abcdef"_s, u"XYZ"_s, 2, 3), u"abXYef"_s);
    EXPECT_EQ(RemplaceChaine(u"abc"_s, u"XYZ"_s, 3, 2), u"aXY"_s);
    EXPECT_EQ(RemplaceChaine(u"abc"_s, u"X"_s, 0, 1), QString());
    EXPECT_EQ(RemplaceChaine(u"abc"_s, u"XXXX"_s, 4, 1), u"abc"_s);
    EXPECT_EQ(RemplaceChaine(u"abc"_s, u"X"_s, 1, 9), u"abc"_s);
}

TEST(TextHelpers, ClearChaineBlanksControlAndHighCharactersInTheArgument)
{
    QString text = u"a\tb\u00FCc\u00FBd\u00E9\u00FF\u20AC"_s;
    const QString result = ClearChaine(text);
    EXPECT_EQ(text, u"a b c\u00FBd\u00E9 \u20AC"_s);
    EXPECT_EQ(result, text);
}

TEST(TextHelpers, RemoveAccentFoldsAndKeepsLength)
{
    EXPECT_EQ(RemoveAccent(u"Éléphant Ça"_s, false, false, false), u"Elephant Ca"_s);
    EXPECT_EQ(RemoveAccent(u"œuvre à côté"_s, false, false, false), u"œuvre a cote"_s);
    EXPECT_EQ(RemoveAccent(u"   "_s, false, false, false), QString());
}

TEST(TextHelpers, RemoveAccentPunctuationSets)
{
    const QString text = u"a@b:c+d\"e#f"_s;
    EXPECT_EQ(RemoveAccent(text, true, false, false), u"a b c d e f"_s);
    EXPECT_EQ(RemoveAccent(text, true, true, false), u"a@b c d e f"_s);
    EXPECT_EQ(RemoveAccent(text, true, false, true), u"a b:c d e f"_s);
    EXPECT_EQ(RemoveAccent(text, true, true, true), u"a@b:c d e f"_s);
    // Double blanks are halved in one pass only.
    EXPECT_EQ(RemoveAccent(u"a , b"_s, true, false, false), u"a  b"_s);
    EXPECT_EQ(RemoveAccent(u"°%'\\/!"_s, true, false, false), u"   "_s);
}

TEST(TextHelpers, Utf8EncodeSystemGivesOneCharacterPerByte)
{
    const QString e = UTF8_Encode_System(u"é"_s);
    ASSERT_EQ(e.size(), 2);
    EXPECT_EQ(e[0].unicode(), 0xC3);
    EXPECT_EQ(e[1].unicode(), 0xA9);
    // Written back in the code page, the text is the UTF-8 of the input.
    const QString input = u"Café €uro – ok"_s;
    EXPECT_EQ(toWindows1252(UTF8_Encode_System(input)), input.toUtf8());
    EXPECT_EQ(UTF8_Encode_System(u"   "_s), u"   "_s);
}

TEST(TextHelpers, Utf8EncodeSystemSpellsAmpersand)
{
    EXPECT_EQ(UTF8_Encode_System(u"Simon & Garfunkel"_s), u"Simon et Garfunkel"_s);
    EXPECT_EQ(UTF8_Encode_System(u"A& B"_s), u"A et B"_s);
    EXPECT_EQ(UTF8_Encode_System(u"A &B"_s), u"A et B"_s);
    EXPECT_EQ(UTF8_Encode_System(u"A&B&C"_s), u"A et B et C"_s);
}

TEST(TextHelpers, TitreDuMorceau)
{
    const QString title = u" Song "_s;
    EXPECT_EQ(TitreDuMorceau(title, u"Live"_s, true, true), title);
    EXPECT_EQ(TitreDuMorceau(title, u"Live"_s, false, false), title);
    EXPECT_EQ(TitreDuMorceau(title, u" Live\0\0"_s, true, false), u"Song [Live]"_s);
    EXPECT_EQ(TitreDuMorceau(title, QString(3, QChar(u'\0')), true, false), title);
    EXPECT_EQ(TitreDuMorceau(title, u"  "_s, true, false), title);
}

TEST(TextHelpers, VbTrimRemovesBlanksOnly)
{
    EXPECT_EQ(vbTrim(u"  a b  "_s), u"a b"_s);
    EXPECT_EQ(vbTrim(u"\ta\t"_s), u"\ta\t"_s);
    EXPECT_EQ(vbTrim(u"   "_s), QString());
}
