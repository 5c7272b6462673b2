#include "platform/HourStates.h"
#include "platform/PlatformRequests.h"

#include <gtest/gtest.h>

using namespace nvx;

namespace {

std::vector<qint16> decode(const char* etats, int premiere, int derniere)
{
    const std::array<qint16, 24> a = DecodeStatutsHeures(QString::fromLatin1(etats), premiere, derniere);
    return {a.begin(), a.end()};
}

std::vector<qint16> unknownExcept(std::initializer_list<std::pair<int, qint16>> known)
{
    std::vector<qint16> s(24, -1);
    for (const auto& [h, v] : known)
        s[std::size_t(h)] = v;
    return s;
}

} // namespace

TEST(Requests, PathsUsePlainNumbersAndBodiesAreEscaped)
{
    const QDate day(2020, 2, 20);
    EXPECT_EQ(RequeteSetStatutHeure(QStringLiteral("t"), 7, day, 5).path,
              u"/t/radio/7/schedule/2020-02-20/5/status");
    EXPECT_EQ(RequeteStatutHeures({}, 12, day).path, u"//radio/12/schedule/2020-02-20/status");
    EXPECT_EQ(RequeteAuth(QStringLiteral("k<1&"), QStringLiteral("s>")).body,
              QByteArray("<auth><key>k&lt;1&amp;</key><secret>s&gt;</secret></auth>"));

    PlatformFtpAccount ftp;
    ftp.Serveur = QStringLiteral("  ftp.local ");
    ftp.NoPort = QStringLiteral("21");
    ftp.User = QStringLiteral(" radio ");
    ftp.Dossier = QStringLiteral(" /sons & jingles ");
    ftp.Cnx = 1;
    ftp.SecureSSL = true;
    EXPECT_EQ(CorpsFtp(ftp), u"<ftp><url>ftp.local</url><folder> /sons &amp; jingles </folder><port>21</port>"
                             u"<user>radio</user><pw></pw><cnx>0</cnx><securessl>1</securessl>"
                             u"<securessh>0</securessh><retry>1</retry></ftp>");
}

TEST(Requests, EveryScheduleLineEndsWithCrLf)
{
    EXPECT_EQ(CorpsConducteur("<a>\n<b/>\r\n</a>"), QByteArray("<a>\r\n<b/>\r\n</a>\r\n"));
    EXPECT_EQ(CorpsConducteur("x\ry\n\n"), QByteArray("x\r\ny\r\n\r\n"));
    const QByteArray crlf = "<h>\xc3\xa9t\xc3\xa9</h>\r\n";
    EXPECT_EQ(CorpsConducteur(crlf), crlf);
    EXPECT_EQ(CorpsConducteur("<h>\xe9t\xe9</h>"), crlf) << "a Windows-1252 file goes as UTF-8";
    // Files that end in CR LF but break a line some other way on the way.
    EXPECT_EQ(CorpsConducteur("a\r\nb\nc\r\n"), QByteArray("a\r\nb\r\nc\r\n"));
    EXPECT_EQ(CorpsConducteur("a\r\r\n"), QByteArray("a\r\n\r\n"));
    EXPECT_EQ(CorpsConducteur("a\r\n\n\r\n"), QByteArray("a\r\n\r\n\r\n"));
}

TEST(Requests, StatesTextGivesTheRequestedHours)
{
    EXPECT_EQ(decode("000001004002003", 0, 4), unknownExcept({{0, 0}, {1, 1}, {2, 4}, {3, 2}, {4, 3}}));
    EXPECT_EQ(decode("009-01abc 2 ", 0, 4), unknownExcept({{0, 0}, {1, 0}, {2, 0}, {3, 2}, {4, 0}}));
    EXPECT_EQ(decode("2.53.5", 0, 1), unknownExcept({{0, 2}, {1, 4}}));
    EXPECT_EQ(decode("001001001001001001001001", 6, 5), unknownExcept({}));
    EXPECT_EQ(decode("", 22, 23), unknownExcept({{22, 0}, {23, 0}}));
}
