#include "PlatformFixture.h"
#include "platform/HourStates.h"
#include "platform/PlatformRequests.h"

#include <QFile>

#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace nvx;
using namespace nvx::test;

namespace {

const QDate kDay(2020, 2, 20);

struct Steps : PlatformOwners, ::testing::Test {
    Steps()
    {
        config.URL = platform.url() + u'/';
        client().valeurs().TokenId = QStringLiteral("tok");
    }
    QString writeFile(const QString& name, const QByteArray& content)
    {
        const QString path = dir.path() + u'/' + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    std::vector<qint16> states() const
    {
        std::vector<qint16> s;
        for (int h = 0; h < 24; ++h)
            s.push_back(client_->StatutHeure(h));
        return s;
    }
    bool communicationError() const
    {
        return !lignes.lines.isEmpty() &&
               lignes.lines.last().startsWith(QStringLiteral("Erreur de communication avec la plateforme: "));
    }

    // The client closes its kept connections first, so the platform stops at once.
    ~Steps() override { client_.reset(); }

    FakePlatform platform;
};

std::vector<qint16> unknownExcept(std::initializer_list<std::pair<int, qint16>> known)
{
    std::vector<qint16> s(24, -1);
    for (const auto& [h, v] : known)
        s[std::size_t(h)] = v;
    return s;
}

std::vector<qint16> decode(const QString& etats, int premiere, int derniere)
{
    const std::array<qint16, 24> a = DecodeStatutsHeures(etats, premiere, derniere);
    return {a.begin(), a.end()};
}

// A port on the loopback that refuses connections: bound, never listening.
struct RefusingPort {
    RefusingPort()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~RefusingPort() { ::close(fd); }
    int fd = -1;
    int port = 0;
};

} // namespace

TEST(HourStates, FieldsOfThreeCharactersGiveTheRequestedHoursStates)
{
    EXPECT_EQ(decode(QStringLiteral("000001004002003"), 0, 4),
              unknownExcept({{0, 0}, {1, 1}, {2, 4}, {3, 2}, {4, 3}}));
    // Out-of-range values, text and missing fields all read 0.
    EXPECT_EQ(decode(QStringLiteral("009-01abc 2 "), 0, 4),
              unknownExcept({{0, 0}, {1, 0}, {2, 0}, {3, 2}, {4, 0}}));
    EXPECT_EQ(decode(QStringLiteral("2.53.5"), 0, 1), unknownExcept({{0, 2}, {1, 4}}));
    EXPECT_EQ(decode(QString(72, u'1'), 6, 5), unknownExcept({}));
    EXPECT_EQ(decode({}, 22, 23), unknownExcept({{22, 0}, {23, 0}}));
}

TEST(ScheduleBody, EveryLineEndsWithCrLfWhateverTheFileUsed)
{
    EXPECT_EQ(CorpsConducteur("<a>\n<b/>\r\n</a>"), QByteArray("<a>\r\n<b/>\r\n</a>\r\n"));
    EXPECT_EQ(CorpsConducteur("x\ry\n\n"), QByteArray("x\r\ny\r\n\r\n"));
    EXPECT_EQ(CorpsConducteur(""), QByteArray());
    const QByteArray crlf = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<h>\xc3\xa9t\xc3\xa9</h>\r\n";
    EXPECT_EQ(CorpsConducteur(crlf), crlf) << "a file written with CR LF goes byte for byte";
    EXPECT_EQ(CorpsConducteur("<h>\xe9t\xe9</h>"), QByteArray("<h>\xc3\xa9t\xc3\xa9</h>\r\n"));
}

TEST_F(Steps, RequestsFollowTheTableWithPlainNumbersAndTheClientHeaders)
{
    client().UDPDataArrival_04_02_Hours_Get_Status(7, kDay, 0, 23);
    client().UDPDataArrival_04_05_Hours_Set_Status(7, kDay, 5, 5);
    client().valeurs().TokenId.clear();
    client().UDPDataArrival_04_02_Hours_Get_Status(12, kDay, 0, 23);

    const std::vector<Received> r = platform.received();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].method + ' ' + r[0].path, "GET /vlapi/tok/radio/7/schedule/2020-02-20/status");
    EXPECT_EQ(r[1].method + ' ' + r[1].path, "POST /vlapi/tok/radio/7/schedule/2020-02-20/5/status");
    EXPECT_EQ(r[1].body, "<hour><state>1</state></hour>");
    EXPECT_EQ(r[1].contentType, "text/xml; charset=UTF-8");
    EXPECT_EQ(r[2].path, "/vlapi//radio/12/schedule/2020-02-20/status");
    for (const Received& x : r) {
        EXPECT_EQ(x.userAgent, "Mozilla/4.0 (compatible; Clever Internet Suite)");
        EXPECT_EQ(x.accept, "*/*");
    }
}

TEST_F(Steps, HourStatusAnswerFillsTheRequestedHours)
{
    platform.respond([](const Received&) {
        return answer("200", {}, "<day><date>2020-02-20</date><states>000001004002003</states></day>");
    });
    EXPECT_TRUE(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 4));
    EXPECT_EQ(states(), unknownExcept({{0, 0}, {1, 1}, {2, 4}, {3, 2}, {4, 3}}));

    // No states at all: every requested hour may be sent.
    platform.respond([](const Received&) { return answer("200"); });
    EXPECT_TRUE(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 10, 11));
    EXPECT_EQ(states(), unknownExcept({{10, 0}, {11, 0}}));

    platform.respond([](const Received&) { return answer("401", {}, "<day><states>000000</states></day>"); });
    EXPECT_FALSE(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 1));
    EXPECT_TRUE(client().PbBErreurAuthentification());
    EXPECT_EQ(states(), unknownExcept({}));
}

TEST_F(Steps, FtpAccountGoesTrimmedEscapedWithFixedConnectionAndRetry)
{
    config.Ftp.Serveur = QStringLiteral("  ftp.station.local ");
    config.Ftp.NoPort = QStringLiteral("21");
    config.Ftp.User = QStringLiteral(" radio ");
    config.Ftp.PW = QStringLiteral("a<b&c>");
    config.Ftp.Dossier = QStringLiteral(" /sons & jingles ");
    config.Ftp.Cnx = 1;
    config.Ftp.SecureSSL = true;
    config.Ftp.Retry = false;
    client().setConfig(config);
    platform.respond([](const Received&) { return answer("204", "enregistré"); });

    EXPECT_TRUE(client().UDPDataArrival_04_03_FTP_Sons(0));
    ASSERT_EQ(platform.received().size(), 1u);
    const Received r = platform.received()[0];
    EXPECT_EQ(r.method + ' ' + r.path, "POST /vlapi/tok/ftp/credentials");
    EXPECT_EQ(r.body, "<ftp><url>ftp.station.local</url><folder> /sons &amp; jingles </folder><port>21</port>"
                      "<user>radio</user><pw>a&lt;b&amp;c&gt;</pw><cnx>0</cnx><securessl>1</securessl>"
                      "<securessh>0</securessh><retry>1</retry></ftp>");
    EXPECT_EQ(lignes.lines, QStringList{QStringLiteral("FTP sons: réussie: 204")});

    config.Ftp.PW.clear();
    EXPECT_TRUE(CorpsFtp(config.Ftp).contains(QStringLiteral("<pw></pw>")));
}

TEST_F(Steps, ScheduleImportSendsTheFileAndCountsOnlyAnswersWithoutErrorCode)
{
    const QString path =
        writeFile(QStringLiteral("NVX_Upload_2020022007_1.xml"), "<schedule>\n<hour>7</hour>");
    EXPECT_TRUE(client().UDPDataArrival_04_04_Conducteur(7, path));
    ASSERT_EQ(platform.received().size(), 1u);
    EXPECT_EQ(platform.received()[0].path, "/vlapi/tok/radio/7/schedule/import");
    EXPECT_EQ(platform.received()[0].body, "<schedule>\r\n<hour>7</hour>\r\n");

    platform.respond([](const Received&) { return answer("500", "échec SQL"); });
    EXPECT_FALSE(client().UDPDataArrival_04_04_Conducteur(7, path));
    EXPECT_EQ(lignes.lines.last(), u"Erreur 500 (Erreur interne (SQL, Librairie,...): 500");
    EXPECT_TRUE(reporter.traced(QStringLiteral("XML: MAJ Conducteur: Message: échec SQL")));

    platform.respond([](const Received&) { return std::string("<html><body>proxy</body></html>"); });
    EXPECT_FALSE(client().UDPDataArrival_04_04_Conducteur(7, path))
        << "an answer without a code proves nothing";

    platform.clear();
    EXPECT_FALSE(client().UDPDataArrival_04_04_Conducteur(7, path + QStringLiteral(".absent")));
    EXPECT_TRUE(platform.received().empty()) << "an unreadable file is not sent empty";
    EXPECT_FALSE(reporter.errors.isEmpty());
}

TEST_F(Steps, StatusUpdateMarksEveryHourEvenAfterARefusal)
{
    platform.respond([](const Received& r) {
        return answer(r.path.find("/4/status") != std::string::npos ? "401" : "200");
    });
    EXPECT_FALSE(client().UDPDataArrival_04_05_Hours_Set_Status(3, kDay, 3, 5));
    EXPECT_EQ(platform.received().size(), 3u);
    EXPECT_TRUE(client().PbBErreurAuthentification());
}

TEST_F(Steps, APlatformThatRefusesTheConnectionIsACommunicationError)
{
    RefusingPort refusing;
    ASSERT_NE(refusing.port, 0);
    config.URL = QStringLiteral("http://127.0.0.1:") + QString::number(refusing.port);
    client().setConfig(config);

    EXPECT_FALSE(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 23));
    EXPECT_TRUE(communicationError()) << lignes.lines.join(u'\n').toStdString();
    EXPECT_EQ(states(), unknownExcept({})) << "nothing is known, so nothing may be sent";
    ASSERT_FALSE(reporter.errors.isEmpty());
    EXPECT_TRUE(reporter.errors.first().startsWith(
        QStringLiteral("Frm_MainBis:UDPDataArrival_04_02_Hours_Get_Status")));
    EXPECT_FALSE(client().PbBErreurAuthentification());

    EXPECT_FALSE(
        client().UDPDataArrival_04_01_Authentification(QStringLiteral("k"), QStringLiteral("s"), true));
    EXPECT_TRUE(communicationError());
    EXPECT_FALSE(client().PbBTokenValide());
}

TEST_F(Steps, AnAnswerThatIsNotXmlIsACommunicationError)
{
    platform.respond([](const Received&) { return std::string("Service Unavailable"); });
    EXPECT_FALSE(client().UDPDataArrival_04_03_FTP_Sons(0));
    EXPECT_EQ(lignes.lines.last(), u"Erreur de communication avec la plateforme: réponse non XML (HTTP 200)");
    EXPECT_FALSE(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 23));
    EXPECT_EQ(states(), unknownExcept({}));
}

TEST_F(Steps, AnEmptyUrlIsSaidOncePerJobAndNothingIsSent)
{
    config.URL = QStringLiteral("  ");
    client().setConfig(config);
    const QString path = writeFile(QStringLiteral("h.xml"), "<x/>");
    EXPECT_FALSE(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 23));
    EXPECT_FALSE(client().UDPDataArrival_04_03_FTP_Sons(0));
    EXPECT_FALSE(client().UDPDataArrival_04_04_Conducteur(1, path));
    EXPECT_EQ(lignes.lines, QStringList{QStringLiteral("Plateforme non configurée")});
    EXPECT_EQ(states(), unknownExcept({}));

    EXPECT_FALSE(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 23));
    EXPECT_EQ(lignes.lines.count(QStringLiteral("Plateforme non configurée")), 2)
        << "the next job says it again";
    EXPECT_TRUE(platform.received().empty());
}

TEST_F(Steps, WaitingForTheAnswerLetsPendingEventsRun)
{
    std::atomic<bool> pumped{false};
    host.onPump = [&] { pumped = true; };
    // The platform answers only once the client has let events run (bounded wait).
    platform.respond([&](const Received&) {
        QElapsedTimer t;
        t.start();
        while (!pumped && t.elapsed() < 5000)
            std::this_thread::yield();
        return answer(pumped ? "204" : "500");
    });
    EXPECT_TRUE(client().UDPDataArrival_04_03_FTP_Sons(0));
    EXPECT_GT(host.pumps, 0);
}

TEST_F(Steps, APlatformThatDoesNotAnswerInTimeIsACommunicationError)
{
    config.DelaiConnexion = 1;
    config.DelaiReponse = 1;
    client().setConfig(config);
    // Shared with the platform's thread, which may still be answering after this test's body.
    const auto release = std::make_shared<std::atomic<bool>>(false);
    platform.respond([release](const Received&) {
        QElapsedTimer t;
        t.start();
        while (!*release && t.elapsed() < 10000)
            std::this_thread::yield();
        return answer("200");
    });
    QElapsedTimer waited;
    waited.start();
    const bool ok = client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 23);
    *release = true;
    EXPECT_FALSE(ok);
    EXPECT_LT(waited.elapsed(), 8000);
    EXPECT_TRUE(communicationError());
    EXPECT_EQ(states(), unknownExcept({}));
}
