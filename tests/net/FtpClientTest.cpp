#include "net/FtpClient.h"

#include "support/FakeHost.h"
#include "support/PythonPeer.h"
#include "support/SilentPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace nvx;
using namespace nvx::test;

namespace {

const QString kAccents = QStringLiteral("été #1 %");

// The tree the servers show: /music/a.txt (12 bytes, rw-r--r--), /music/new/, a link /lien to
// music, and a folder whose name needs encoding in an address.
struct Arbre {
    Arbre()
    {
        const QDir root(dir.path());
        root.mkpath(QStringLiteral("music/new"));
        root.mkpath(kAccents);
        QFile f(root.filePath(QStringLiteral("music/a.txt")));
        if (f.open(QIODevice::WriteOnly))
            f.write("hello world\n");
        f.close();
        ::chmod(QFile::encodeName(f.fileName()).constData(), 0644);
        QFile::link(QStringLiteral("music"), root.filePath(QStringLiteral("lien")));
        QFile g(root.filePath(kAccents + QStringLiteral("/dedans.txt")));
        if (g.open(QIODevice::WriteOnly))
            g.write("x");
    }
    QTemporaryDir dir;
};

FtpAccount accountOn(int port, FtpAccount::Security security,
                     const QString& password = QStringLiteral("secret"))
{
    FtpAccount c;
    c.server = QStringLiteral("127.0.0.1");
    c.port = port;
    c.timeoutSec = 10;
    c.user = QStringLiteral("nvx");
    c.password = password;
    c.security = security;
    return c;
}

const FtpEntry* trouver(const QList<FtpEntry>& entries, const QString& nom)
{
    for (const FtpEntry& e : entries)
        if (e.name == nom)
            return &e;
    return nullptr;
}

struct Protocole {
    const char* nom;
    const char* script;
    QStringList options;
    FtpAccount::Security security;
    bool passive;
    bool mlsd;  // the listing comes from MLSD (its dates are written 2020-01-31 12:00)
    bool liens; // the server shows links as links
};

void PrintTo(const Protocole& p, std::ostream* os)
{
    *os << p.nom;
}

class FtpClientProtocole : public ::testing::TestWithParam<Protocole> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(arbre.dir.isValid());
        ASSERT_TRUE(peer.start(QString::fromLatin1(GetParam().script),
                               QStringList{arbre.dir.path()} + GetParam().options))
            << "the test server did not start: " << peer.error().toStdString();
        FtpAccount c = accountOn(peer.port(), GetParam().security);
        c.passive = GetParam().passive;
        ASSERT_TRUE(client.open(c)) << client.lastError().toStdString();
    }

    Arbre arbre;
    PythonPeer peer;
    FakeHost host;
    FtpClient client{host};
};

} // namespace

// Each protocol lists names, sizes and permissions, from the start folder and from a folder
// entered, with the listing command its server offers.
TEST_P(FtpClientProtocole, ListsTheFoldersItEnters)
{
    EXPECT_TRUE(client.isOpen());
    EXPECT_EQ(client.currentFolder(), QStringLiteral("/"));
    FtpListingResult root = client.list();
    ASSERT_EQ(root.state, FtpListingResult::State::Complete) << client.lastError().toStdString();
    const FtpEntry* music = trouver(root.entries, QStringLiteral("music"));
    ASSERT_TRUE(music);
    EXPECT_TRUE(music->folder);
    EXPECT_EQ(FilePerms(music->flags, music->folder), QStringLiteral("drwxr-xr-x"));
    EXPECT_TRUE(trouver(root.entries, kAccents));
    EXPECT_FALSE(trouver(root.entries, QStringLiteral(".")));
    EXPECT_FALSE(trouver(root.entries, QStringLiteral("..")));
    const FtpEntry* lien = trouver(root.entries, QStringLiteral("lien"));
    ASSERT_TRUE(lien);
    EXPECT_EQ(FilePerms(lien->flags, lien->folder).left(1),
              GetParam().liens ? QStringLiteral("l") : QStringLiteral("d"));

    ASSERT_TRUE(client.changeFolder(QStringLiteral("music"))) << client.lastError().toStdString();
    const FtpListingResult listing = client.list();
    ASSERT_EQ(listing.state, FtpListingResult::State::Complete) << client.lastError().toStdString();
    EXPECT_EQ(listing.entries.size(), 2);
    const FtpEntry* fichier = trouver(listing.entries, QStringLiteral("a.txt"));
    ASSERT_TRUE(fichier);
    EXPECT_EQ(fichier->size, 12);
    EXPECT_FALSE(fichier->folder);
    EXPECT_EQ(FilePerms(fichier->flags, fichier->folder), QStringLiteral("-rw-r--r--"));
    static const QRegularExpression dateMlsd(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}$"));
    EXPECT_EQ(dateMlsd.match(fichier->date).hasMatch(), GetParam().mlsd) << fichier->date.toStdString();
    const FtpEntry* nouveau = trouver(listing.entries, QStringLiteral("new"));
    ASSERT_TRUE(nouveau);
    EXPECT_TRUE(FilePerms(nouveau->flags, nouveau->folder).startsWith(u'd'));
}

// Absolute and relative moves, ".." never above the root, names needing encoding, and a folder
// that is not there, which leaves the current folder as it was.
TEST_P(FtpClientProtocole, MovesThroughFoldersAndRefusesAMissingOne)
{
    ASSERT_TRUE(client.changeFolder(QStringLiteral("/music/new")));
    EXPECT_EQ(client.currentFolder(), QStringLiteral("/music/new"));
    ASSERT_TRUE(client.changeFolder(QStringLiteral("..")));
    EXPECT_EQ(client.currentFolder(), QStringLiteral("/music"));
    ASSERT_TRUE(client.changeFolder(QStringLiteral("./new//")));
    EXPECT_EQ(client.currentFolder(), QStringLiteral("/music/new"));
    ASSERT_TRUE(client.changeFolder(QStringLiteral("../../..")));
    EXPECT_EQ(client.currentFolder(), QStringLiteral("/"));

    ASSERT_TRUE(client.changeFolder(kAccents)) << client.lastError().toStdString();
    EXPECT_EQ(client.currentFolder(), u'/' + kAccents);
    const FtpListingResult listing = client.list();
    ASSERT_EQ(listing.state, FtpListingResult::State::Complete) << client.lastError().toStdString();
    ASSERT_EQ(listing.entries.size(), 1);
    EXPECT_EQ(listing.entries.first().name, QStringLiteral("dedans.txt"));

    EXPECT_FALSE(client.changeFolder(QStringLiteral("/music/absent")));
    EXPECT_EQ(client.currentFolder(), u'/' + kAccents);
    EXPECT_TRUE(client.lastError().startsWith(QStringLiteral("dossier introuvable ou accès refusé")))
        << client.lastError().toStdString();
    EXPECT_TRUE(client.isOpen());

    client.close();
    EXPECT_FALSE(client.isOpen());
    EXPECT_EQ(client.list().state, FtpListingResult::State::OpenFailed);
    EXPECT_EQ(client.lastError(), QStringLiteral("non connecté"));
}

INSTANTIATE_TEST_SUITE_P(
    Protocoles, FtpClientProtocole,
    ::testing::Values(Protocole{"FtpMlsd", "ftp_peer.py", {}, FtpAccount::Security::None, true, true, false},
                      Protocole{"FtpListActive",
                                "ftp_peer.py",
                                {QStringLiteral("--no-mlsd")},
                                FtpAccount::Security::None,
                                false,
                                false,
                                true},
                      Protocole{"FtpsExplicit",
                                "ftp_peer.py",
                                {QStringLiteral("--tls")},
                                FtpAccount::Security::Ssl,
                                true,
                                true,
                                false},
                      Protocole{"Sftp", "sftp_peer.py", {}, FtpAccount::Security::Ssh, true, false, true}),
    [](const ::testing::TestParamInfo<Protocole>& info) { return std::string(info.param.nom); });

// A refused login says so, and never shows the password, even from a server that quotes it.
TEST(FtpClient, WrongPasswordIsRefusedWithoutShowingIt)
{
    Arbre arbre;
    const QString faux = QStringLiteral("Faux-m0t2passe");
    FakeHost host;
    FtpClient client(host);
    for (const auto& [script, security, options] :
         {std::tuple{"ftp_peer.py", FtpAccount::Security::None,
                     QStringList{QStringLiteral("--echo-refused-password")}},
          std::tuple{"sftp_peer.py", FtpAccount::Security::Ssh, QStringList{}}}) {
        PythonPeer peer;
        ASSERT_TRUE(peer.start(QString::fromLatin1(script), QStringList{arbre.dir.path()} + options))
            << peer.error().toStdString();
        EXPECT_FALSE(client.open(accountOn(peer.port(), security, faux)));
        EXPECT_FALSE(client.isOpen());
        const QString error = client.lastError();
        EXPECT_TRUE(error.startsWith(QStringLiteral("identifiant ou mot de passe refusé")))
            << error.toStdString();
        EXPECT_FALSE(error.contains(faux, Qt::CaseInsensitive)) << error.toStdString();
    }
}

// A port where nothing listens, and a server that cannot secure the channel asked for.
TEST(FtpClient, UnreachableOrUnsecuredServersFailWithAReason)
{
    FakeHost host;
    FtpClient client(host);
    SilentPort ferme;
    ASSERT_GT(ferme.port, 0);
    ferme.close();
    EXPECT_FALSE(client.open(accountOn(ferme.port, FtpAccount::Security::None)));
    EXPECT_TRUE(client.lastError().startsWith(QStringLiteral("connexion refusée par le serveur")))
        << client.lastError().toStdString();

    Arbre arbre;
    PythonPeer peer;
    ASSERT_TRUE(peer.start(QStringLiteral("ftp_peer.py"), {arbre.dir.path()})) << peer.error().toStdString();
    EXPECT_FALSE(client.open(accountOn(peer.port(), FtpAccount::Security::Ssl)));
    EXPECT_FALSE(client.isOpen());
    EXPECT_TRUE(client.lastError().startsWith(QStringLiteral("échec de la sécurisation TLS")))
        << client.lastError().toStdString();
    EXPECT_FALSE(client.changeFolder(QStringLiteral("/music")));
    EXPECT_EQ(client.lastError(), QStringLiteral("non connecté"));
}

// A connection kept waiting by a silent server ends at once when cancelled from an event, or
// when the program closes.
TEST(FtpClient, APendingConnectionEndsWhenCancelled)
{
    SilentPort muet;
    ASSERT_GT(muet.port, 0);
    FakeHost host;
    host.onPump = [] { QCoreApplication::processEvents(); };
    FtpClient client(host);
    QTimer::singleShot(100, [&client] { client.cancel(); });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(client.open(accountOn(muet.port, FtpAccount::Security::None)));
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(client.lastError(), QStringLiteral("connexion annulée"));
    EXPECT_FALSE(client.isOpen());

    int attentes = 0;
    client.abandon = [&attentes] { return ++attentes > 3; };
    t.restart();
    EXPECT_FALSE(client.open(accountOn(muet.port, FtpAccount::Security::Ssh)));
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(client.lastError(), QStringLiteral("connexion annulée"));
}

// On port 990 a server may speak TLS from the first byte: when FTP over explicit TLS gets no
// greeting there, the same account is tried with implicit TLS.
TEST(FtpClient, Port990FallsBackToImplicitTls)
{
    Arbre arbre;
    PythonPeer peer;
    // Port 990 is privileged: a test run without the right to bind it says so.
    if (!peer.start(QStringLiteral("ftp_peer.py"),
                    {arbre.dir.path(), QStringLiteral("--implicit-tls"), QStringLiteral("--host"),
                     QStringLiteral("127.0.0.99"), QStringLiteral("--port"), QStringLiteral("990")}))
        GTEST_SKIP() << "cannot listen on 127.0.0.99:990: " << peer.error().toStdString();
    FakeHost host;
    FtpClient client(host);
    FtpAccount account = accountOn(990, FtpAccount::Security::Ssl);
    account.server = QStringLiteral("127.0.0.99");
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(client.open(account)) << client.lastError().toStdString();
    const FtpListingResult listing = client.list();
    ASSERT_EQ(listing.state, FtpListingResult::State::Complete) << client.lastError().toStdString();
    EXPECT_TRUE(trouver(listing.entries, QStringLiteral("music")));
    EXPECT_LT(t.elapsed(), 8000) << "the clear greeting is waited for a few seconds, not the whole time-out";
}
