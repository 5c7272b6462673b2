#include "mail/MailText.h"

#include "support/ReceivedMail.h"

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(MailText, DurationsReadAsDaysHoursMinutesSeconds)
{
    EXPECT_EQ(NbSecondes2String(3600), u"1 H 0 Min 0 Sec"_s);
    EXPECT_EQ(NbSecondes2String(59), u"0 Min 59 Sec"_s);
    EXPECT_EQ(NbSecondes2String(65), u"1 Min 5 Sec"_s);
    EXPECT_EQ(NbSecondes2String(86400 + 3600 + 61), u"1 J 1 H 1 Min 1 Sec"_s);
    EXPECT_EQ(NbSecondes2String(86400), u"1 J 0 H 0 Min 0 Sec"_s);
    EXPECT_EQ(NbSecondes2String(23 * 3600 + 59 * 60), u"23 H 59 Min 0 Sec"_s);
}

TEST(MailText, PartnerInstallationsAreKnownByTheirCustomerNumber)
{
    for (const char* n : {"39", "57", "122", " 195 "})
        EXPECT_TRUE(EstCeUneRadioDravik(QString::fromLatin1(n))) << n;
    for (const char* n : {"", "0", "38", "58", "196", "abc"})
        EXPECT_FALSE(EstCeUneRadioDravik(QString::fromLatin1(n))) << n;
}

TEST(MailText, RecipientsAreSplitTrimmedAndBlankPartsLeftOut)
{
    EXPECT_EQ(splitRecipients(u"a@x.fr;;b@y.fr ;"_s), (QStringList{u"a@x.fr"_s, u"b@y.fr"_s}));
    EXPECT_TRUE(splitRecipients(u" ; ;"_s).isEmpty());
}

TEST(MailText, QuotedPrintableKeepsLinesShortAndDecodesBack)
{
    const QString text = u"Message: \r\n"_s + QString(200, u'é') + u"\nfin = 1 \t"_s;
    const QByteArray encoded = encodeQuotedPrintable(text);
    for (const QByteArray& line : encoded.split('\n')) {
        EXPECT_LE(line.size(), 77) << line.constData(); // 76 and the CR
        EXPECT_FALSE(line.endsWith(' ') || line.endsWith('\t'));
    }
    EXPECT_EQ(test::ReceivedMail::decodeQuotedPrintable(encoded),
              QString(text).replace(u"\r\n"_s, u"\n"_s).replace(u"\n"_s, u"\r\n"_s));
}

TEST(MailText, HeaderTextIsEncodedOnlyBeyondAscii)
{
    EXPECT_EQ(encodeHeaderText(u"Tools NVX - 3.2.1"_s), QByteArray("Tools NVX - 3.2.1"));
    const QString text = QString(60, u'é') + u"\U0001F600"_s;
    const QByteArray encoded = encodeHeaderText(text);
    for (const QByteArray& line : encoded.split('\n'))
        EXPECT_LE(line.size(), 78);
    EXPECT_EQ(test::ReceivedMail::decodeWords(QString::fromLatin1(encoded).replace(u"\r\n"_s, QString())),
              text);
}

} // namespace
