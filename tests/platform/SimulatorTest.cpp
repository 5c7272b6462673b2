#include "PlatformFixture.h"
#include "SimServer.h"
#include "platform/TokenStore.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <memory>

using namespace nvx;
using namespace nvx::test;
using namespace nvx::platformsim;

namespace {

const QDate kDay(2020, 2, 20);
constexpr qint64 kLifetime = 7200;

QByteArray schedule(int station, int hour)
{
    const QByteArray h = QByteArray::number(hour).rightJustified(2, '0');
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<root>\r\n<station>\r\n<id>" +
           QByteArray::number(station) +
           "</id>\r\n<lib>\xc3\x89t\xc3\xa9 FM</lib>\r\n</station>\r\n<schedule>\r\n<date>20200220</date>\r\n"
           "<starttiming>" +
           h +
           ":00:00</starttiming>\r\n</schedule>\r\n<data>\r\n<item>\r\n<song/>\r\n</item>\r\n</data>\r\n</"
           "root>\r\n";
}

// The simulator in this process, on a loopback port of its choosing, reading the test's clock.
struct Simulated : PlatformOwners, ::testing::Test {
    Simulated()
    {
        now->store(clock.now().toMSecsSinceEpoch());
        sim.credentials = {{QStringLiteral("cle-sim"), QStringLiteral("secret-sim")}};
        sim.tokenLifetimeSeconds = kLifetime;
        sim.states = {{3, kDay, 7, 2}};
        sim.logFile = dir.path() + QStringLiteral("/sim.log");
        config.Cle = QStringLiteral("cle-sim");
        config.Secret = QStringLiteral("secret-sim");
    }
    ~Simulated() override
    {
        client_.reset();
        other_.reset();
        if (server)
            server->stop();
    }
    void start()
    {
        server =
            std::make_unique<SimServer>(sim, [t = now] { return QDateTime::fromMSecsSinceEpoch(t->load()); });
        const int port = server->start();
        ASSERT_GT(port, 0);
        config.URL = QStringLiteral("http://127.0.0.1:") + QString::number(port);
    }
    void advance(qint64 seconds)
    {
        clock.advance(seconds * 1000);
        now->store(clock.now().toMSecsSinceEpoch());
    }
    // Another copy of the program on the same machine (same token store), as after a restart.
    PlatformClient& restarted()
    {
        other_.emplace(config, reporter, clock, host, systeme, lignes);
        return *other_;
    }
    qsizetype tokensGranted()
    {
        return server->state().snapshot().value(QStringLiteral("tokens")).toArray().size();
    }
    QString write(const QString& name, const QByteArray& content)
    {
        QFile f(dir.path() + u'/' + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return f.fileName();
    }

    std::shared_ptr<std::atomic<qint64>> now = std::make_shared<std::atomic<qint64>>(0);
    SimConfig sim;
    std::unique_ptr<SimServer> server;
    std::optional<PlatformClient> other_;
};

} // namespace

TEST_F(Simulated, AJobsExchangesReachThePlatform)
{
    config.Ftp.Serveur = QStringLiteral("ftp.station.local");
    config.Ftp.NoPort = QStringLiteral("21");
    config.Ftp.User = QStringLiteral("radio");
    config.Ftp.PW = QStringLiteral("p&w<1>");
    start();
    client().CommandConnecter_Click();
    ASSERT_TRUE(client().PbBTokenValide());
    EXPECT_TRUE(host.boxes.isEmpty());

    EXPECT_TRUE(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 6, 8));
    EXPECT_EQ(client().StatutHeure(5), -1);
    EXPECT_EQ(client().StatutHeure(6), 0);
    EXPECT_EQ(client().StatutHeure(7), 2);
    EXPECT_EQ(client().StatutHeure(8), 0);

    EXPECT_TRUE(client().UDPDataArrival_04_03_FTP_Sons(0));
    EXPECT_TRUE(lignes.lines.contains(QStringLiteral("FTP sons: réussie: 204")));
    const QJsonObject ftp = server->state().snapshot().value(QStringLiteral("ftp")).toObject();
    ASSERT_EQ(ftp.size(), 1);
    EXPECT_EQ(ftp.begin()->toObject().value(QStringLiteral("pw")).toString(), u"p&w<1>");

    const QByteArray file = schedule(3, 6);
    EXPECT_TRUE(client().UDPDataArrival_04_04_Conducteur(3, write(QStringLiteral("h06.xml"), file)));
    const std::optional<std::string> received = server->state().importedBody({3, kDay, 6});
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(QByteArray::fromStdString(*received), file) << "the platform gets the file as written";

    EXPECT_TRUE(client().UDPDataArrival_04_05_Hours_Set_Status(3, kDay, 6, 6));
    EXPECT_TRUE(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23));
    EXPECT_EQ(client().StatutHeure(6), 1);
    EXPECT_TRUE(reporter.errors.isEmpty()) << reporter.errors.join(u'\n').toStdString();
}

TEST_F(Simulated, AStoredTokenIsReusedAfterARestartUntilItsLastHour)
{
    start();
    client().CommandConnecter_Click();
    ASSERT_TRUE(client().PbBTokenValide());
    const QString first = client().TokenId();

    PlatformClient& second = restarted();
    second.CommandConnecter_Click();
    EXPECT_TRUE(second.PbBTokenValide());
    EXPECT_EQ(second.TokenId(), first);
    EXPECT_EQ(tokensGranted(), 1);

    // Half an hour of life left: checked, then replaced.
    advance(kLifetime - 1800);
    PlatformClient& third = restarted();
    third.CommandConnecter_Click();
    EXPECT_TRUE(third.PbBTokenValide());
    EXPECT_NE(third.TokenId(), first);
    EXPECT_EQ(tokensGranted(), 2);
}

TEST_F(Simulated, AnExpiredTokenIsRefusedThenAForcedLoginLetsTheStepRunAgain)
{
    start();
    client().CommandConnecter_Click();
    advance(kLifetime + 1);
    EXPECT_FALSE(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23));
    EXPECT_TRUE(client().PbBErreurAuthentification());
    EXPECT_TRUE(lignes.lines.contains(QStringLiteral("Authentification requise: 401")));

    EXPECT_TRUE(
        client().UDPDataArrival_04_01_Authentification(client().PbSCleAPI(), client().PbSSecretAPI(), true));
    EXPECT_TRUE(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23));
    EXPECT_EQ(client().StatutHeure(7), 2);
}

TEST_F(Simulated, InjectedFaultsAreNeverTakenAsSuccess)
{
    sim.faults.push_back({QRegularExpression(QStringLiteral("/schedule/import$")), 500, 1});
    sim.nonXml.push_back(QRegularExpression(QStringLiteral("/ftp/credentials$")));
    sim.close.push_back(QRegularExpression(QStringLiteral("/2020-02-20/status$")));
    start();
    // The credential query after the login gets the non-XML fault, which leaves the login granted.
    ASSERT_TRUE(client().UDPDataArrival_04_01_Authentification(config.Cle, config.Secret, true));

    const QString path = write(QStringLiteral("h09.xml"), schedule(3, 9));
    EXPECT_FALSE(client().UDPDataArrival_04_04_Conducteur(3, path));
    EXPECT_EQ(lignes.lines.last(), u"Erreur 500 (Erreur interne (SQL, Librairie,...): 500");
    EXPECT_TRUE(client().UDPDataArrival_04_04_Conducteur(3, path)) << "the fault was for one request";

    EXPECT_FALSE(client().UDPDataArrival_04_03_FTP_Sons(0));
    EXPECT_TRUE(lignes.lines.last().startsWith(
        QStringLiteral("Erreur de communication avec la plateforme: réponse non XML")));

    EXPECT_FALSE(client().UDPDataArrival_04_02_Hours_Get_Status(3, kDay, 0, 23));
    EXPECT_TRUE(
        lignes.lines.last().startsWith(QStringLiteral("Erreur de communication avec la plateforme: ")));
    EXPECT_EQ(client().StatutHeure(7), -1);
}
