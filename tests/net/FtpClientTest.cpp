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
        const QDir racine(dir.path());
        racine.mkpath(QStringLiteral("music/new"));
        racine.mkpath(kAccents);
        QFile f(racine.filePath(QStringLiteral("music/a.txt")));
        if (f.open(QIODevice::WriteOnly))
            f.write("hello world\n");
        f.close();
        ::chmod(QFile::encodeName(f.fileName()).constData(), 0644);
        QFile::link(QStringLiteral("music"), racine.filePath(QStringLiteral("lien")));
        QFile g(racine.filePath(kAccents + QStringLiteral("/dedans.txt")));
        if (g.open(QIODevice::WriteOnly))
            g.write("x");
    }
    QTemporaryDir dir;
};

FtpCompte compteSur(int port, FtpCompte::Securite securite,
                    const QString& password = QStringLiteral("secret"))
{
    FtpCompte c;
    c.serveur = QStringLiteral("127.0.0.1");
    c.port = port;
    c.delai = 10;
    c.user = QStringLiteral("nvx");
    c.password = password;
    c.securite = securite;
    return c;
}

const FtpEntry* trouver(const QList<FtpEntry>& entrees, const QString& nom)
{
    for (const FtpEntry& e : entrees)
        if (e.name == nom)
            return &e;
    return nullptr;
}

struct Protocole {
    const char* nom;
    const char* script;
    QStringList options;
    FtpCompte::Securite securite;
    bool passif;
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
        FtpCompte c = compteSur(peer.port(), GetParam().securite);
        c.passif = GetParam().passif;
        ASSERT_TRUE(client.connecter(c)) << client.derniereErreur().toStdString();
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
    EXPECT_TRUE(client.connecte());
    EXPECT_EQ(client.dossierCourant(), QStringLiteral("/"));
    FtpListe racine = client.lister();
    ASSERT_EQ(racine.etat, FtpListe::Etat::Lu) << client.derniereErreur().toStdString();
    const FtpEntry* music = trouver(racine.entrees, QStringLiteral("music"));
    ASSERT_TRUE(music);
    EXPECT_TRUE(music->folder);
    EXPECT_EQ(FilePerms(music->flags, music->folder), QStringLiteral("drwxr-xr-x"));
    EXPECT_TRUE(trouver(racine.entrees, kAccents));
    EXPECT_FALSE(trouver(racine.entrees, QStringLiteral(".")));
    EXPECT_FALSE(trouver(racine.entrees, QStringLiteral("..")));
    const FtpEntry* lien = trouver(racine.entrees, QStringLiteral("lien"));
    ASSERT_TRUE(lien);
    EXPECT_EQ(FilePerms(lien->flags, lien->folder).left(1),
              GetParam().liens ? QStringLiteral("l") : QStringLiteral("d"));

    ASSERT_TRUE(client.changerDossier(QStringLiteral("music"))) << client.derniereErreur().toStdString();
    const FtpListe liste = client.lister();
    ASSERT_EQ(liste.etat, FtpListe::Etat::Lu) << client.derniereErreur().toStdString();
    EXPECT_EQ(liste.entrees.size(), 2);
    const FtpEntry* fichier = trouver(liste.entrees, QStringLiteral("a.txt"));
    ASSERT_TRUE(fichier);
    EXPECT_EQ(fichier->size, 12);
    EXPECT_FALSE(fichier->folder);
    EXPECT_EQ(FilePerms(fichier->flags, fichier->folder), QStringLiteral("-rw-r--r--"));
    static const QRegularExpression dateMlsd(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}$"));
    EXPECT_EQ(dateMlsd.match(fichier->date).hasMatch(), GetParam().mlsd) << fichier->date.toStdString();
    const FtpEntry* nouveau = trouver(liste.entrees, QStringLiteral("new"));
    ASSERT_TRUE(nouveau);
    EXPECT_TRUE(FilePerms(nouveau->flags, nouveau->folder).startsWith(u'd'));
}

// Absolute and relative moves, ".." never above the root, names needing encoding, and a folder
// that is not there, which leaves the current folder as it was.
TEST_P(FtpClientProtocole, MovesThroughFoldersAndRefusesAMissingOne)
{
    ASSERT_TRUE(client.changerDossier(QStringLiteral("/music/new")));
    EXPECT_EQ(client.dossierCourant(), QStringLiteral("/music/new"));
    ASSERT_TRUE(client.changerDossier(QStringLiteral("..")));
    EXPECT_EQ(client.dossierCourant(), QStringLiteral("/music"));
    ASSERT_TRUE(client.changerDossier(QStringLiteral("./new//")));
    EXPECT_EQ(client.dossierCourant(), QStringLiteral("/music/new"));
    ASSERT_TRUE(client.changerDossier(QStringLiteral("../../..")));
    EXPECT_EQ(client.dossierCourant(), QStringLiteral("/"));

    ASSERT_TRUE(client.changerDossier(kAccents)) << client.derniereErreur().toStdString();
    EXPECT_EQ(client.dossierCourant(), u'/' + kAccents);
    const FtpListe liste = client.lister();
    ASSERT_EQ(liste.etat, FtpListe::Etat::Lu) << client.derniereErreur().toStdString();
    ASSERT_EQ(liste.entrees.size(), 1);
    EXPECT_EQ(liste.entrees.first().name, QStringLiteral("dedans.txt"));

    EXPECT_FALSE(client.changerDossier(QStringLiteral("/music/absent")));
    EXPECT_EQ(client.dossierCourant(), u'/' + kAccents);
    EXPECT_TRUE(client.derniereErreur().startsWith(QStringLiteral("dossier introuvable ou accès refusé")))
        << client.derniereErreur().toStdString();
    EXPECT_TRUE(client.connecte());

    client.deconnecter();
    EXPECT_FALSE(client.connecte());
    EXPECT_EQ(client.lister().etat, FtpListe::Etat::OuvertureImpossible);
    EXPECT_EQ(client.derniereErreur(), QStringLiteral("non connecté"));
}

INSTANTIATE_TEST_SUITE_P(
    Protocoles, FtpClientProtocole,
    ::testing::Values(Protocole{"FtpMlsd", "ftp_peer.py", {}, FtpCompte::Securite::Aucune, true, true, false},
                      Protocole{"FtpListActive",
                                "ftp_peer.py",
                                {QStringLiteral("--no-mlsd")},
                                FtpCompte::Securite::Aucune,
                                false,
                                false,
                                true},
                      Protocole{"FtpsExplicit",
                                "ftp_peer.py",
                                {QStringLiteral("--tls")},
                                FtpCompte::Securite::Ssl,
                                true,
                                true,
                                false},
                      Protocole{"Sftp", "sftp_peer.py", {}, FtpCompte::Securite::Ssh, true, false, true}),
    [](const ::testing::TestParamInfo<Protocole>& info) { return std::string(info.param.nom); });

// A refused login says so, and never shows the password, even from a server that quotes it.
TEST(FtpClient, WrongPasswordIsRefusedWithoutShowingIt)
{
    Arbre arbre;
    const QString faux = QStringLiteral("Faux-m0t2passe");
    FakeHost host;
    FtpClient client(host);
    for (const auto& [script, securite, options] :
         {std::tuple{"ftp_peer.py", FtpCompte::Securite::Aucune,
                     QStringList{QStringLiteral("--echo-refused-password")}},
          std::tuple{"sftp_peer.py", FtpCompte::Securite::Ssh, QStringList{}}}) {
        PythonPeer peer;
        ASSERT_TRUE(peer.start(QString::fromLatin1(script), QStringList{arbre.dir.path()} + options))
            << peer.error().toStdString();
        EXPECT_FALSE(client.connecter(compteSur(peer.port(), securite, faux)));
        EXPECT_FALSE(client.connecte());
        const QString erreur = client.derniereErreur();
        EXPECT_TRUE(erreur.startsWith(QStringLiteral("identifiant ou mot de passe refusé")))
            << erreur.toStdString();
        EXPECT_FALSE(erreur.contains(faux, Qt::CaseInsensitive)) << erreur.toStdString();
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
    EXPECT_FALSE(client.connecter(compteSur(ferme.port, FtpCompte::Securite::Aucune)));
    EXPECT_TRUE(client.derniereErreur().startsWith(QStringLiteral("connexion refusée par le serveur")))
        << client.derniereErreur().toStdString();

    Arbre arbre;
    PythonPeer peer;
    ASSERT_TRUE(peer.start(QStringLiteral("ftp_peer.py"), {arbre.dir.path()})) << peer.error().toStdString();
    EXPECT_FALSE(client.connecter(compteSur(peer.port(), FtpCompte::Securite::Ssl)));
    EXPECT_FALSE(client.connecte());
    EXPECT_TRUE(client.derniereErreur().startsWith(QStringLiteral("échec de la sécurisation TLS")))
        << client.derniereErreur().toStdString();
    EXPECT_FALSE(client.changerDossier(QStringLiteral("/music")));
    EXPECT_EQ(client.derniereErreur(), QStringLiteral("non connecté"));
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
    QTimer::singleShot(100, [&client] { client.annuler(); });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(client.connecter(compteSur(muet.port, FtpCompte::Securite::Aucune)));
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(client.derniereErreur(), QStringLiteral("connexion annulée"));
    EXPECT_FALSE(client.connecte());

    int attentes = 0;
    client.abandon = [&attentes] { return ++attentes > 3; };
    t.restart();
    EXPECT_FALSE(client.connecter(compteSur(muet.port, FtpCompte::Securite::Ssh)));
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(client.derniereErreur(), QStringLiteral("connexion annulée"));
}
