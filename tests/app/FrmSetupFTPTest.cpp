#include "app/FrmSetupFTP.h"

#include "support/FtpTree.h"
#include "support/Owners.h"
#include "support/PythonPeer.h"
#include "support/SilentPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;
using namespace Qt::StringLiterals;

namespace {

struct TesterFixture : ::testing::Test {
    TesterFixture()
    {
        // The client's waits let the window's events run, as the real host does.
        owners.host.onPump = [] { QCoreApplication::processEvents(); };
        QObject::connect(&tester, &FrmSetupFTP::recuperationRequested,
                         [this](int index, const RecoveredFtpFields& fields) {
                             recovered.append({index, fields});
                         });
    }
    void startServer(const QStringList& options = {})
    {
        ASSERT_TRUE(server.start(QStringLiteral("ftp_peer.py"), QStringList{tree.root.path()} + options))
            << server.error().toStdString();
    }
    void tester_(const QString& folder, const QString& password = QStringLiteral("secret"))
    {
        tester.TesterCnx(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("nvx"), password, folder,
                         3, false, false);
    }
    QStringList names() const
    {
        QStringList n;
        for (const FtpRow& row : tester.listFiles())
            n << row.name();
        return n;
    }
    int rowOf(const QString& name) const { return int(names().indexOf(name)); }

    TraceOwners owners;
    FtpClient client{owners.host};
    FrmSetupFTP tester{client, owners.host, owners.lifecycle, owners.trace,
                       [] { return QStringLiteral("Main"); }};
    FtpTree tree;
    PythonPeer server;
    QList<std::pair<int, RecoveredFtpFields>> recovered;
};

TEST_F(TesterFixture, AnEmptyServerFillsTheFieldsAndConnectsNowhere)
{
    tester.TesterCnx(QStringLiteral("  "), 2121, QStringLiteral("u"), QStringLiteral("p"),
                     QStringLiteral("/music"), 2, true, false);
    EXPECT_EQ(tester.editPort, QStringLiteral("2121"));
    EXPECT_EQ(tester.editUserName, QStringLiteral("u"));
    EXPECT_EQ(tester.editRemoteFolder, QStringLiteral("/"));
    EXPECT_TRUE(tester.chkSecure[0]);
    EXPECT_FALSE(tester.chkSecure[1]);
    EXPECT_EQ(tester.state(), FrmSetupFTP::State::Disconnected);
    EXPECT_EQ(tester.cmdConnectCaption(), QStringLiteral("Connecter"));
    EXPECT_FALSE(tester.cmdUpEnabled());
    EXPECT_TRUE(owners.host.boxes.isEmpty());
}

TEST_F(TesterFixture, TheFolderPathIsWalkedSegmentBySegmentSkippingMissingOnes)
{
    startServer();
    // "nope" is not in /music: it is skipped, and "new" is found in /music's own listing.
    tester_(QStringLiteral("/music/nope/new"));
    ASSERT_EQ(tester.state(), FrmSetupFTP::State::Connected);
    EXPECT_EQ(tester.cmdConnectCaption(), QStringLiteral("Déconnecter"));
    EXPECT_TRUE(tester.cmdUpEnabled());
    EXPECT_EQ(tester.editRemoteFolder, QStringLiteral("/music/new"));
    EXPECT_EQ(tester.skippedSegments(), QStringList{QStringLiteral("nope")});
    EXPECT_TRUE(tester.listFiles().isEmpty());
    EXPECT_TRUE(owners.host.boxes.isEmpty());

    // "Dossier parent" appends the separator and "..".
    tester.cmdUp_Click();
    EXPECT_EQ(tester.editRemoteFolder, QStringLiteral("/music"));
    EXPECT_EQ(tester.listFiles().size(), 2);
    const FtpRow& song = tester.listFiles().at(rowOf(QStringLiteral("song.mp3")));
    EXPECT_EQ(song.texts[1], QStringLiteral("     1234"));
    EXPECT_TRUE(song.permissions().startsWith(u'-'));
    EXPECT_TRUE(tester.listFiles().at(rowOf(QStringLiteral("new"))).permissions().startsWith(u'd'));
}

TEST_F(TesterFixture, AFileIsNotEnteredAndABadFolderPutsTheLastOneBack)
{
    startServer();
    tester_(QStringLiteral("/music"));
    ASSERT_EQ(tester.editRemoteFolder, QStringLiteral("/music"));

    tester.selectRow(rowOf(QStringLiteral("song.mp3")));
    tester.listFiles_DblClick();
    ASSERT_EQ(owners.host.boxes.size(), 1);
    EXPECT_EQ(owners.host.boxes[0].text, QStringLiteral("song.mp3 n'est pas un dossier"));
    EXPECT_EQ(owners.host.boxes[0].title, QStringLiteral("Main"));
    EXPECT_EQ(owners.host.boxes[0].icon, Host::Icon::Critical);
    EXPECT_EQ(tester.editRemoteFolder, QStringLiteral("/music"));

    tester.editRemoteFolder = QStringLiteral(" /absent ");
    tester.editRemoteFolder_Enter();
    ASSERT_EQ(owners.host.boxes.size(), 2);
    EXPECT_TRUE(
        owners.host.boxes[1].text.startsWith(QStringLiteral("Impossible de changer de dossier. Erreur:\n")))
        << owners.host.boxes[1].text.toStdString();
    EXPECT_EQ(tester.editRemoteFolder, QStringLiteral("/music"));

    tester.editRemoteFolder = QStringLiteral("/");
    tester.editRemoteFolder_Enter();
    EXPECT_EQ(names().size(), 2);
    EXPECT_TRUE(names().contains(QStringLiteral("readme.txt")));
}

TEST_F(TesterFixture, ColumnClicksSortAndReverse)
{
    startServer();
    tree.write(QStringLiteral("Alpha.txt"), 5);
    tester_(QStringLiteral("/"));
    EXPECT_EQ(names(), (QStringList{u"Alpha.txt"_s, u"music"_s, u"readme.txt"_s})) << "as the header shows";
    EXPECT_EQ(tester.sortColumn(), 0);
    EXPECT_EQ(tester.sortOrder(), 0);

    // The list opens sorted by name ascending: the first click on "Name" reverses it, as text
    // without regard to case.
    tester.listFiles_ColumnClick(0);
    EXPECT_EQ(tester.sortOrder(), 1);
    EXPECT_EQ(names(), (QStringList{u"readme.txt"_s, u"music"_s, u"Alpha.txt"_s}));

    // Another column sorts ascending, then descending; the padded size sorts as a number.
    tester.listFiles_ColumnClick(1);
    EXPECT_EQ(tester.sortColumn(), 1);
    EXPECT_EQ(tester.sortOrder(), 0);
    EXPECT_LT(rowOf(QStringLiteral("Alpha.txt")), rowOf(QStringLiteral("readme.txt")));
    tester.listFiles_ColumnClick(1);
    EXPECT_EQ(tester.sortOrder(), 1);
    EXPECT_GT(rowOf(QStringLiteral("Alpha.txt")), rowOf(QStringLiteral("readme.txt")));

    // A later listing keeps the chosen order, and the selection follows its row.
    tester.selectRow(rowOf(QStringLiteral("music")));
    tester.listFiles_ColumnClick(0);
    EXPECT_EQ(tester.selectedRow(), rowOf(QStringLiteral("music")));
    tester.listFiles_DblClick();
    tester.cmdUp_Click();
    EXPECT_EQ(names(), (QStringList{u"Alpha.txt"_s, u"music"_s, u"readme.txt"_s}));
}

TEST_F(TesterFixture, AFailedConnectionSaysWhyAndAPendingOneCanBeCancelled)
{
    startServer();
    tester_(QStringLiteral("/music"), QStringLiteral("wrong-password"));
    EXPECT_EQ(tester.state(), FrmSetupFTP::State::Disconnected);
    EXPECT_TRUE(tester.cmdConnectEnabled());
    ASSERT_EQ(owners.host.boxes.size(), 1);
    EXPECT_TRUE(owners.host.boxes[0].text.startsWith(QStringLiteral("Echec de la connexion. Erreur: \n")));
    EXPECT_FALSE(owners.host.boxes[0].text.contains(QStringLiteral("wrong-password")));
    EXPECT_EQ(tester.lastFailure(), owners.host.boxes[0].text);

    // A port that takes the connection and never greets: "Annuler" ends the wait.
    SilentPort silent;
    ASSERT_NE(silent.port, 0);
    tester.editPort = QString::number(silent.port);
    bool disabled = false;
    QTimer::singleShot(200, [&] {
        EXPECT_EQ(tester.cmdConnectCaption(), QStringLiteral("Annuler"));
        tester.cmdConnect_Click();
        disabled = !tester.cmdConnectEnabled();
    });
    tester.cmdConnect_Click();
    EXPECT_TRUE(disabled);
    EXPECT_EQ(tester.state(), FrmSetupFTP::State::Disconnected);
    EXPECT_TRUE(tester.cmdConnectEnabled());
    ASSERT_EQ(owners.host.boxes.size(), 2);
    EXPECT_TRUE(owners.host.boxes[1].text.contains(QStringLiteral("annulée")))
        << owners.host.boxes[1].text.toStdString();
}

TEST_F(TesterFixture, RecupererHandsTheFieldsBackAndFermerDisconnects)
{
    startServer();
    tester_(QStringLiteral("/music"));
    tester.CommandTransferer_Click();
    ASSERT_EQ(recovered.size(), 1);
    EXPECT_EQ(recovered[0].first, 3);
    EXPECT_EQ(recovered[0].second.folder, QStringLiteral("/music"));
    EXPECT_EQ(recovered[0].second.port, QString::number(server.port()));
    EXPECT_EQ(recovered[0].second.password, QStringLiteral("secret"));

    bool closed = false;
    QObject::connect(&tester, &FrmSetupFTP::closeRequested, [&] { closed = true; });
    tester.CommandFermer_Click();
    EXPECT_TRUE(closed);
    EXPECT_EQ(tester.state(), FrmSetupFTP::State::Disconnected);
    EXPECT_TRUE(tester.listFiles().isEmpty());

    // Nothing goes back while the program closes.
    owners.lifecycle.unloadStarted();
    tester.CommandTransferer_Click();
    EXPECT_EQ(recovered.size(), 1);
}

TEST_F(TesterFixture, AListingCutOffShowsWhatCameAndSaysSo)
{
    startServer({QStringLiteral("--cut-listings")});
    tester_(QStringLiteral("/"));
    ASSERT_EQ(tester.state(), FrmSetupFTP::State::Connected);
    ASSERT_EQ(owners.host.boxes.size(), 1);
    EXPECT_TRUE(owners.host.boxes[0].text.startsWith(u"Erreur à la lacture du dossier. Erreur:\n"_s))
        << owners.host.boxes[0].text.toStdString();
    EXPECT_EQ(tester.listFiles().size(), 1) << "the entry that came whole is shown";
    EXPECT_EQ(tester.editRemoteFolder, u"/"_s);
}

} // namespace
