#include "PlatformFixture.h"
#include "platform/TokenStore.h"

#include <QElapsedTimer>
#include <QJsonArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace nvx;
using namespace nvx::test;

namespace {

const QDate kDay(2020, 2, 20);
constexpr qint64 kLifetime = 7200;
const QString kCommunication = QStringLiteral("Erreur de communication avec la plateforme: ");

QByteArray schedule(int station, int hour)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<root>\r\n<station>\r\n<id>" +
           QByteArray::number(station) +
           "</id>\r\n<lib>\xc3\x89t\xc3\xa9 FM</lib>\r\n</station>\r\n<schedule>\r\n<date>20200220</date>\r\n"
           "<starttiming>" +
           QByteArray::number(hour).rightJustified(2, '0') +
           ":00:00</starttiming>\r\n</schedule>\r\n<data>\r\n<item/>\r\n</data>\r\n</root>\r\n";
}

struct Client : PlatformOwners, ::testing::Test {
    Client()
    {
        sim.tokenLifetimeSeconds = kLifetime;
        sim.states = {{3, kDay, 7, 2}};
    }
    QString write(const QString& name, const QByteArray& content)
    {
        QFile f(dir.path() + u'/' + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    }
    qsizetype logins() const { return requests().count(QStringLiteral("POST /vlapi/auth")); }
    QString storedToken()
    {
        PlatformValues v;
        v.PbSCleRegistreToken = kCleRegistreTokenBase + u'\\' + config.Cle;
        UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme, v);
        return v.TokenId;
    }
};

// A loopback port of the test's own. Bound but not listening, it refuses connections. Listening
// with its queue of connections not yet accepted full, it drops every new attempt silently, so
// connecting waits until the client gives up.
struct LoopbackPort {
    enum Mode { Refusing, Full };
    explicit LoopbackPort(Mode mode)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        if (mode == Full) {
            if (::listen(fd, 0) != 0)
                return;
            for (int& f : fillers) {
                f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
                ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
            }
        }
        port = ntohs(a.sin_port);
    }
    ~LoopbackPort()
    {
        for (int f : fillers)
            if (f >= 0)
                ::close(f);
        ::close(fd);
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int fillers[3] = {-1, -1, -1};
    int port = 0;
};

} // namespace

TEST_F(Client, AJobsExchangesReachThePlatformWhileEventsKeepRunning)
{
    sim.delayMs = 30;
    config.Ftp.Serveur = QStringLiteral("ftp.station.local");
    config.Ftp.PW = QStringLiteral("p&w<1>");
    startPlatform();
    lignes(client().login());
    ASSERT_TRUE(client().PbBTokenValide());
    EXPECT_GT(host.pumps, 0) << "waiting for the platform lets pending events run";

    EXPECT_TRUE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 6, 8)));
    const qint16 expected[] = {-1, 0, 2, 0, -1};
    for (int h = 5; h <= 9; ++h)
        EXPECT_EQ(client().StatutHeure(h), expected[h - 5]) << h;

    EXPECT_TRUE(lignes(client().UDPDataArrival_04_03_FTP_Sons(0)));
    EXPECT_EQ(lignes.lines.last(), u"FTP sons: réussie: 204");
    const QJsonObject ftp = server->state().snapshot().value(QStringLiteral("ftp")).toObject();
    ASSERT_EQ(ftp.size(), 1);
    EXPECT_EQ(ftp.begin()->toObject().value(QStringLiteral("pw")).toString(), u"p&w<1>");

    const QByteArray file = schedule(3, 6);
    EXPECT_TRUE(lignes(client().UDPDataArrival_04_04_Conducteur(3, write(QStringLiteral("h06.xml"), file))));
    EXPECT_EQ(server->state().importedBody({3, kDay, 6}), file.toStdString()) << "the file goes as written";

    EXPECT_TRUE(lignes(client().UDPDataArrival_04_05_Hours_Set_Status(3, kDay, 6, 6)));
    lignes(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23));
    EXPECT_EQ(client().StatutHeure(6), 1);
    EXPECT_TRUE(reporter.origins.isEmpty()) << reporter.origins.join(u'\n').toStdString();
}

TEST_F(Client, AStoredTokenIsReusedAfterARestartUntilItsLastHour)
{
    startPlatform();
    lignes(client().login());
    const QString first = client().TokenId();
    EXPECT_EQ(storedToken(), first);

    PlatformClient& second = restarted();
    lignes(second.login());
    EXPECT_TRUE(second.PbBTokenValide());
    EXPECT_EQ(second.TokenId(), first);
    EXPECT_EQ(logins(), 1);

    advance(kLifetime - 1800);
    PlatformClient& third = restarted();
    lignes(third.login());
    EXPECT_TRUE(third.PbBTokenValide());
    EXPECT_NE(third.TokenId(), first);
    EXPECT_EQ(storedToken(), third.TokenId());
    EXPECT_EQ(logins(), 2) << "a token with half an hour left is checked, then replaced";
}

TEST_F(Client, AnExpiredTokenIsRefusedUntilAForcedLogin)
{
    startPlatform();
    lignes(client().login());
    advance(kLifetime + 1);
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23)));
    EXPECT_TRUE(client().PbBErreurAuthentification());
    EXPECT_EQ(client().StatutHeure(7), -1);
    EXPECT_EQ(lignes.lines.last(), u"Authentification requise: 401");
    // The hour loop does not stop on a refusal.
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_05_Hours_Set_Status(3, kDay, 3, 5)));
    EXPECT_EQ(requests().filter(QStringLiteral("/status")).size(), 4);

    const qsizetype checks = requests().filter(QStringLiteral("/auth/test")).size();
    EXPECT_TRUE(lignes(
        client().UDPDataArrival_04_01_Authentification(client().PbSCleAPI(), client().PbSSecretAPI(), true)));
    EXPECT_EQ(requests().filter(QStringLiteral("/auth/test")).size(), checks)
        << "a forced login checks no token";
    EXPECT_TRUE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23)));
    EXPECT_EQ(client().StatutHeure(7), 2);
}

TEST_F(Client, ARefusedOrUnexpectedLoginLeavesTheStoreAlone)
{
    config.Secret = QStringLiteral("faux");
    startPlatform();
    bool connecte = true;
    QObject::connect(&client(), &PlatformClient::connectedChanged, [&](bool c) { connecte = c; });
    EXPECT_FALSE(lignes(client().login())) << "the command then says \"Non connecté\"";
    EXPECT_EQ(logins(), 2) << "one login, then one forced login";
    EXPECT_FALSE(connecte);
    EXPECT_TRUE(client().PbBErreurAuthentification()) << "jobs skip the platform until a connection succeeds";
    EXPECT_TRUE(storedToken().isEmpty());

    server->stop();
    sim.faults.push_back(
        platformsim::FaultRule::answer(QRegularExpression(QStringLiteral("/auth$")), 300, 1));
    startPlatform();
    client().setConfig(config);
    client().valeurs().PbBErreurAuthentification = false;
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_01_Authentification(config.Cle, config.Secret, true)));
    EXPECT_EQ(lignes.lines.last(), u"!!!!! Erreur d'authenfification 300 !!!!!");
    EXPECT_FALSE(client().PbBErreurAuthentification());
    EXPECT_TRUE(storedToken().isEmpty());
}

TEST_F(Client, InjectedFaultsAreNeverTakenAsSuccess)
{
    sim.faults.push_back(
        platformsim::FaultRule::answer(QRegularExpression(QStringLiteral("/schedule/import$")), 500, 1));
    sim.nonXml.push_back(QRegularExpression(QStringLiteral("/ftp/credentials$")));
    sim.close.push_back(QRegularExpression(QStringLiteral("/2020-02-20/status$")));
    sim.faults.push_back(
        platformsim::FaultRule::answer(QRegularExpression(QStringLiteral("/2020-02-21/status$")), 500, 1));
    startPlatform();
    // The credential query after the login gets the non-XML fault, which leaves the login granted.
    ASSERT_TRUE(lignes(client().UDPDataArrival_04_01_Authentification(config.Cle, config.Secret, true)));

    const QString path = write(QStringLiteral("h09.xml"), schedule(3, 9));
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_04_Conducteur(3, path)));
    EXPECT_EQ(lignes.lines.last(), u"Erreur 500 (Erreur interne (SQL, Librairie,...): 500");
    EXPECT_TRUE(lignes(client().UDPDataArrival_04_04_Conducteur(3, path)));

    EXPECT_FALSE(lignes(client().UDPDataArrival_04_03_FTP_Sons(0)));
    EXPECT_EQ(lignes.lines.last(), kCommunication + QStringLiteral("réponse non XML (HTTP 200)"));

    EXPECT_FALSE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23)));
    EXPECT_TRUE(lignes.lines.last().startsWith(kCommunication));
    EXPECT_EQ(client().StatutHeure(7), -1);
    // A status answer with an error code says nothing of the hours either: none may be sent.
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay.addDays(1), 0, 23)));
    EXPECT_EQ(lignes.lines.last(), u"Erreur 500 (Erreur interne (SQL, Librairie,...): 500");
    EXPECT_EQ(client().StatutHeure(7), -1);

    EXPECT_FALSE(lignes(client().UDPDataArrival_04_04_Conducteur(3, path + QStringLiteral(".absent"))));
    EXPECT_EQ(requests().filter(QStringLiteral("import")).size(), 2)
        << "an unreadable file is not sent empty";
}

TEST_F(Client, AQuitEndsTheExchangeInProgressAndStartsNoOther)
{
    sim.delayMs = 2500; // well within the answer time-out
    startPlatform();
    QElapsedTimer attente;
    // The quit comes while the exchange waits for its answer.
    host.onPump = [&] { lifecycle.requestQuit(); };
    attente.start();
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23)));
    EXPECT_LT(attente.elapsed(), 1500);
    EXPECT_EQ(lignes.lines.last(), kCommunication + QStringLiteral("fermeture du programme demandée"));
    EXPECT_EQ(client().StatutHeure(7), -1);

    const qsizetype recus = requests().size();
    const QString path = write(QStringLiteral("h09.xml"), schedule(3, 9));
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_04_Conducteur(3, path)));
    EXPECT_EQ(requests().size(), recus) << "nothing more is sent once the quit is confirmed";
}

TEST_F(Client, NoPlatformMeansNoTransferAndOneNoticePerJob)
{
    LoopbackPort refusing(LoopbackPort::Refusing);
    ASSERT_NE(refusing.port, 0);
    config.URL = QStringLiteral("http://127.0.0.1:") + QString::number(refusing.port);
    client().beginJob();
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 23)));
    EXPECT_EQ(lignes.lines, QStringList{kCommunication + QStringLiteral("connexion refusée")});
    EXPECT_EQ(client().StatutHeure(0), -1);
    EXPECT_EQ(reporter.origins.value(0), u"Frm_MainBis:UDPDataArrival_04_02_Hours_Get_Status");
    EXPECT_TRUE(reporter.errors.value(0).ErreurDescription.contains(QStringLiteral("onnect")))
        << "the library's own text is kept for the trace";
    EXPECT_FALSE(client().PbBErreurAuthentification());
    EXPECT_TRUE(client().unreachable());
    // The rest of the job asks nothing more of a platform that refused it.
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_03_FTP_Sons(0)));
    EXPECT_EQ(lignes.lines.size(), 1);
    client().beginJob();
    EXPECT_FALSE(client().unreachable());
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_03_FTP_Sons(0)));
    EXPECT_EQ(lignes.lines.size(), 2) << "the next job tries again";

    config.URL = QStringLiteral("  ");
    client().setConfig(config);
    client().beginJob();
    lignes.lines.clear();
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 23)));
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_03_FTP_Sons(0)));
    EXPECT_EQ(lignes.lines, QStringList{QStringLiteral("Plateforme non configurée")});
    client().beginJob();
    EXPECT_FALSE(lignes(client().UDPDataArrival_04_02_Hours_Get_Status(1, kDay, 0, 23)));
    EXPECT_EQ(lignes.lines.size(), 2) << "the next job says it again";
}

TEST_F(Client, TransportFailuresAreToldInFrenchByKind)
{
    config.DelaiConnexion = 1;
    config.DelaiReponse = 1;
    const auto failure = [&](const QString& url) {
        config.URL = url;
        client().setConfig(config);
        client().beginJob();
        lignes.lines.clear();
        QElapsedTimer t;
        t.start();
        EXPECT_FALSE(lignes(client().UDPDataArrival_04_03_FTP_Sons(0)));
        EXPECT_LT(t.elapsed(), 4000) << "one time-out at most";
        return lignes.lines.value(0);
    };

    LoopbackPort full(LoopbackPort::Full);
    ASSERT_NE(full.port, 0);
    EXPECT_EQ(failure(QStringLiteral("http://127.0.0.1:") + QString::number(full.port)),
              kCommunication + QStringLiteral("délai de connexion dépassé"));
    EXPECT_EQ(failure(QStringLiteral("http://nvx-platform.invalid")),
              kCommunication + QStringLiteral("serveur introuvable"));

    // An answer far beyond anything the platform sends is cut off rather than kept in memory.
    sim.faults.push_back(platformsim::FaultRule::make(QRegularExpression(QStringLiteral("/ftp/credentials$")),
                                                      platformsim::FaultKind::Big, -1, 20'000'000));
    startPlatform();
    EXPECT_EQ(failure(config.URL), kCommunication + QStringLiteral("réponse trop volumineuse"));
    EXPECT_TRUE(reporter.errors.last().ErreurDescription.contains(QStringLiteral("/ftp/credentials")))
        << "the trace keeps the library's own text and the address";
}

TEST_F(Client, SettingsLoadedAfterStartUpGiveTheKeyOfAForcedLogin)
{
    startPlatform();
    const PlatformConfig loaded = config;
    config = PlatformConfig{};
    client().setConfig(loaded);
    EXPECT_EQ(client().PbSCleAPI(), loaded.Cle);
    EXPECT_TRUE(lignes(
        client().UDPDataArrival_04_01_Authentification(client().PbSCleAPI(), client().PbSSecretAPI(), true)));
    config = loaded;
    EXPECT_EQ(storedToken(), client().TokenId()) << "the token is stored under the installation's key";
}
