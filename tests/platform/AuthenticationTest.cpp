#include "PlatformFixture.h"
#include "platform/TokenStore.h"

using namespace nvx;
using namespace nvx::test;

namespace {

const std::string kStored = "STORED-TOKEN-0123456789-abc";
const std::string kNew = "NEW-TOKEN-9876543210-zyxwvu";

// A platform that knows one key/secret pair and the tokens it granted.
struct Authentication : PlatformOwners, ::testing::Test {
    Authentication()
    {
        config.URL = platform.url();
        config.Cle = QStringLiteral("cle-1");
        config.Secret = QStringLiteral("secret-1");
        platform.respond([this](const Received& r) { return reply(r); });
    }

    std::string reply(const Received& r)
    {
        std::lock_guard lock(mutex);
        const auto tokenOf = [&](const std::string& suffix) {
            const std::string prefix = "/vlapi/";
            if (r.path.rfind(prefix, 0) != 0 || r.path.size() < prefix.size() + suffix.size() ||
                r.path.compare(r.path.size() - suffix.size(), suffix.size(), suffix) != 0)
                return std::string("?");
            return r.path.substr(prefix.size(), r.path.size() - prefix.size() - suffix.size());
        };
        const auto known = [&](const std::string& t) {
            return t == kNew || (t == kStored && storedAccepted);
        };
        if (r.method == "POST" && r.path == "/vlapi/auth") {
            if (loginCode != "200")
                return answer(loginCode, "refus");
            if (r.body != "<auth><key>cle-1</key><secret>secret-1</secret></auth>")
                return answer("401", "inconnu");
            return answer("200", "bienvenue", "<authSucceeded><token>" + kNew + "</token></authSucceeded>");
        }
        if (r.method == "GET" && r.path.ends_with("/auth/test")) {
            if (!known(tokenOf("/auth/test")))
                return answer("401", "jeton inconnu");
            return answer("200", "ok",
                          "<auth><token>" + tokenOf("/auth/test") +
                              "</token><tokenCreated>2020-02-20T08:00:00"
                              "</tokenCreated><tokenExpire>" +
                              expire +
                              "</tokenExpire><userGUID>cle-1</userGUID>"
                              "<userDescription>Radio Test</userDescription></auth>");
        }
        if (r.method == "GET" && r.path.ends_with("/ftp/credentials"))
            return known(tokenOf("/ftp/credentials")) ? answer("200") : answer("401");
        return answer("404");
    }

    void storeToken(const std::string& token, const QDateTime& expiration)
    {
        PlatformValues v;
        v.PbSCleRegistreToken = kCleRegistreTokenBase + QStringLiteral("\\cle-1");
        v.TokenId = QString::fromStdString(token);
        v.TokenDateExpiration = expiration;
        ASSERT_TRUE(UDPDataArrival_04_01_Authentification_03_BaseRegistre_Save(systeme, v));
    }
    QString storedToken()
    {
        PlatformValues v;
        v.PbSCleRegistreToken = kCleRegistreTokenBase + QStringLiteral("\\cle-1");
        UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme, v);
        return v.TokenId;
    }
    bool authenticate(bool forcer)
    {
        return client().UDPDataArrival_04_01_Authentification(config.Cle, config.Secret, forcer);
    }

    // The client closes its kept connections first, so the platform stops at once.
    ~Authentication() override { client_.reset(); }

    FakePlatform platform;
    std::mutex mutex;
    bool storedAccepted = true;
    std::string expire = "2020-02-22T10:00:00";
    std::string loginCode = "200";
};

} // namespace

TEST_F(Authentication, AStoredTokenThePlatformStillAcceptsIsReused)
{
    storeToken(kStored, QDateTime(QDate(2020, 2, 22), QTime(10, 0)));
    EXPECT_TRUE(authenticate(false));
    EXPECT_EQ(platform.paths(), (std::vector<std::string>{"GET /vlapi/" + kStored + "/auth/test",
                                                          "GET /vlapi/" + kStored + "/ftp/credentials"}));
    EXPECT_TRUE(client().PbBTokenValide());
    EXPECT_FALSE(client().PbBErreurAuthentification());
    EXPECT_EQ(client().TokenId().toStdString(), kStored);
    EXPECT_EQ(client().valeurs().UserDescription, u"Radio Test");
    EXPECT_EQ(lignes.lines.count(QStringLiteral("Authentification: réussie")), 2);
    EXPECT_EQ(storedToken().toStdString(), kStored);
}

TEST_F(Authentication, ATokenExpiringWithinTheHourIsCheckedThenReplaced)
{
    expire = "2020-02-20T10:30:00";
    storeToken(kStored, QDateTime(QDate(2020, 2, 22), QTime(10, 0)));
    EXPECT_TRUE(authenticate(false));
    EXPECT_EQ(platform.paths(),
              (std::vector<std::string>{"GET /vlapi/" + kStored + "/auth/test", "POST /vlapi/auth",
                                        "GET /vlapi/" + kNew + "/ftp/credentials"}));
    EXPECT_EQ(client().TokenId().toStdString(), kNew);
    EXPECT_EQ(storedToken().toStdString(), kNew);
}

TEST_F(Authentication, ARefusedCheckLeadsToANewLoginInTheSameCall)
{
    storedAccepted = false;
    storeToken(kStored, QDateTime(QDate(2020, 2, 22), QTime(10, 0)));
    EXPECT_TRUE(authenticate(false));
    ASSERT_EQ(platform.paths().size(), 3u);
    EXPECT_EQ(platform.paths()[1], "POST /vlapi/auth");
    EXPECT_FALSE(client().PbBErreurAuthentification());
    EXPECT_EQ(storedToken().toStdString(), kNew);
}

TEST_F(Authentication, AForcedLoginIgnoresTheStoreAndEscapesTheCredentials)
{
    storeToken(kStored, QDateTime(QDate(2020, 2, 22), QTime(10, 0)));
    EXPECT_FALSE(
        client().UDPDataArrival_04_01_Authentification(QStringLiteral("k<1&"), QStringLiteral("s>"), true));
    const std::vector<Received> received = platform.received();
    ASSERT_EQ(received.size(), 1u) << "a refused login asks for nothing else";
    EXPECT_EQ(received[0].path, "/vlapi/auth");
    EXPECT_EQ(received[0].body, "<auth><key>k&lt;1&amp;</key><secret>s&gt;</secret></auth>");
    EXPECT_EQ(received[0].contentType, "text/xml; charset=UTF-8");
    EXPECT_TRUE(client().PbBErreurAuthentification());
    EXPECT_EQ(storedToken().toStdString(), kStored) << "a refused login leaves the store alone";

    EXPECT_TRUE(authenticate(true));
    EXPECT_EQ(client().TokenId().toStdString(), kNew);
}

TEST_F(Authentication, AnUnexpectedLoginAnswerShowsItsLineAndChangesNothing)
{
    loginCode = "300";
    EXPECT_FALSE(authenticate(true));
    EXPECT_EQ(lignes.lines, QStringList{QStringLiteral("!!!!! Erreur d'authenfification 300 !!!!!")});
    EXPECT_FALSE(client().PbBTokenValide());
    EXPECT_FALSE(client().PbBErreurAuthentification());
    EXPECT_TRUE(storedToken().isEmpty());
}

TEST_F(Authentication, ConnectCommandShowsConnectedAfterASuccessfulLogin)
{
    QList<bool> shown;
    client().afficherConnecte = [&](bool connecte) { shown.append(connecte); };
    int panelCleared = 0;
    client().viderPanneauFtp = [&] { ++panelCleared; };
    client().CommandConnecter_Click();
    EXPECT_EQ(shown, (QList<bool>{false, true}));
    EXPECT_EQ(panelCleared, 1);
    EXPECT_TRUE(host.boxes.isEmpty());
    EXPECT_FALSE(client().PbBErreurAuthentification());
    EXPECT_EQ(client().valeurs().PbSCleRegistreToken,
              QStringLiteral("Software\\Merovax\\Velmora\\NVX\\cle-1"));
    EXPECT_EQ(storedToken().toStdString(), kNew);
}

TEST_F(Authentication, ConnectCommandTriesTwiceThenSaysNotConnected)
{
    config.Secret = QStringLiteral("faux");
    config.TitreFenetre = QStringLiteral("Tools NVX - Station");
    client().CommandConnecter_Click();
    EXPECT_EQ(platform.paths(), (std::vector<std::string>{"POST /vlapi/auth", "POST /vlapi/auth"}));
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].text, u"Non connecté");
    EXPECT_EQ(host.boxes[0].title, u"Tools NVX - Station");
    EXPECT_EQ(host.boxes[0].icon, Host::Icon::Exclamation);
    EXPECT_TRUE(client().PbBErreurAuthentification()) << "jobs skip the platform until a connection succeeds";
    EXPECT_TRUE(storedToken().isEmpty());
}
