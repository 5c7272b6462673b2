#include "gui/FrmSetupFTPWindow.h"

#include "app/Application.h"
#include "app/FrmSetupFTP.h"
#include "db/FakeEngine.h"
#include "gui/GuiHost.h"
#include "gui/Windows.h"
#include "support/FakeClock.h"
#include "support/FtpTree.h"
#include "support/Owners.h"
#include "support/PythonPeer.h"
#include "support/Wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;

namespace {

void mouse(QWidget* target, QEvent::Type type, const QPoint& at)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void click(QWidget* target, const QPoint& at)
{
    mouse(target, QEvent::MouseButtonPress, at);
    mouse(target, QEvent::MouseButtonRelease, at);
}

void doubleClick(QWidget* target, const QPoint& at)
{
    click(target, at);
    mouse(target, QEvent::MouseButtonDblClick, at);
    mouse(target, QEvent::MouseButtonRelease, at);
}

void pressReturn(QWidget* target)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

// The tester window over a presenter on a real client, against the loopback FTP peer.
struct WindowFixture : ::testing::Test {
    WindowFixture()
    {
        // The client's waits let the window's events run, as the real host does.
        owners.host.onPump = [] { QCoreApplication::processEvents(); };
        window.show();
        QApplication::setActiveWindow(&window);
    }
    void startServer()
    {
        ASSERT_TRUE(server.start(QStringLiteral("ftp_peer.py"), QStringList{tree.root.path()}))
            << server.error().toStdString();
    }
    void test(const QString& folder)
    {
        tester.TesterCnx(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("nvx"),
                         QStringLiteral("secret"), folder, 3, false, false);
    }
    template <typename T> T* child(const QString& name) const
    {
        T* found = window.findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(QString::fromLatin1(name)); }
    QPushButton* button(const char* name) const { return child<QPushButton>(QString::fromLatin1(name)); }
    QTreeWidget* list() const { return child<QTreeWidget>(QStringLiteral("listFiles")); }
    QStringList names() const
    {
        QStringList n;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            n << list()->topLevelItem(i)->text(0);
        return n;
    }
    QTreeWidgetItem* item(const QString& name) const
    {
        const QList<QTreeWidgetItem*> found = list()->findItems(name, Qt::MatchExactly, 0);
        return found.size() == 1 ? found.first() : nullptr;
    }

    TraceOwners owners;
    FtpClient client{owners.host};
    FrmSetupFTP tester{client, owners.host, owners.lifecycle, owners.trace,
                       [] { return QStringLiteral("Main"); }};
    FrmSetupFTPWindow window{tester};
    FtpTree tree;
    PythonPeer server;
};

TEST_F(WindowFixture, OpensWithTheControlsOfTheTester)
{
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Test FTP"));
    EXPECT_EQ(edit("editPort")->text(), QStringLiteral("21"));
    EXPECT_EQ(edit("editTimeout")->text(), QStringLiteral("60"));
    EXPECT_EQ(edit("editPassword")->echoMode(), QLineEdit::Password);
    const QList<QCheckBox*> secure = window.findChildren<QCheckBox*>(QStringLiteral("chkSecure"));
    ASSERT_EQ(secure.size(), 2);
    EXPECT_EQ(secure[0]->text(), QStringLiteral("Securité SSL"));
    EXPECT_EQ(secure[1]->text(), QStringLiteral("Securité SSH"));
    EXPECT_EQ(button("cmdConnect")->text(), QStringLiteral("Connecter"));
    EXPECT_EQ(button("cmdUp")->text(), QStringLiteral("Dossier parent"));
    EXPECT_FALSE(button("cmdUp")->isEnabled());
    EXPECT_EQ(button("CommandTransferer")->text(), QStringLiteral("Récupérer"));
    EXPECT_EQ(button("CommandFermer")->text(), QStringLiteral("Fermer"));
    QStringList titles;
    for (int i = 0; i < list()->columnCount(); ++i)
        titles << list()->headerItem()->text(i);
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Permissions"),
                           QStringLiteral("Date"), QStringLiteral("Owner"), QStringLiteral("Group")}));
    EXPECT_FALSE(list()->isSortingEnabled());
}

TEST_F(WindowFixture, TestingAPathWalksItAndTheListShowsItsRows)
{
    startServer();
    test(QStringLiteral("/music"));
    EXPECT_EQ(edit("editServerName")->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(edit("editUserName")->text(), QStringLiteral("nvx"));
    EXPECT_EQ(edit("editRemoteFolder")->text(), QStringLiteral("/music"));
    EXPECT_EQ(button("cmdConnect")->text(), QStringLiteral("Déconnecter"));
    EXPECT_TRUE(button("cmdUp")->isEnabled());
    EXPECT_EQ(names().size(), 2);
    QTreeWidgetItem* song = item(QStringLiteral("song.mp3"));
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->columnCount(), 6);
    EXPECT_EQ(song->text(1), QStringLiteral("     1234"));
    EXPECT_TRUE(song->text(2).startsWith(u'-'));
    EXPECT_FALSE(song->text(3).isEmpty());
    EXPECT_TRUE(owners.host.boxes.isEmpty());
}

TEST_F(WindowFixture, ADoubleClickedFileIsRefusedAndTheParentIsReached)
{
    startServer();
    test(QStringLiteral("/music"));
    QTreeWidgetItem* song = item(QStringLiteral("song.mp3"));
    ASSERT_NE(song, nullptr);
    doubleClick(list()->viewport(), list()->visualItemRect(song).center());
    EXPECT_EQ(tester.selectedRow(), list()->indexOfTopLevelItem(song));
    ASSERT_EQ(owners.host.boxes.size(), 1);
    EXPECT_EQ(owners.host.boxes[0].text, QStringLiteral("song.mp3 n'est pas un dossier"));
    EXPECT_EQ(edit("editRemoteFolder")->text(), QStringLiteral("/music"));
    EXPECT_TRUE(item(QStringLiteral("song.mp3")) != nullptr);

    // A double click on a folder goes into it, with the busy cursor around the change.
    QList<bool> busy;
    QObject::connect(&tester, &FrmSetupFTP::busyChanged, &window,
                     [&](bool) { busy << (window.cursor().shape() == Qt::WaitCursor); });
    QTreeWidgetItem* folder = item(QStringLiteral("new"));
    ASSERT_NE(folder, nullptr);
    doubleClick(list()->viewport(), list()->visualItemRect(folder).center());
    EXPECT_EQ(edit("editRemoteFolder")->text(), QStringLiteral("/music/new"));
    EXPECT_EQ(busy, (QList<bool>{true, false}));

    button("cmdUp")->click();
    button("cmdUp")->click();
    EXPECT_EQ(edit("editRemoteFolder")->text(), QStringLiteral("/"));
    EXPECT_NE(item(QStringLiteral("readme.txt")), nullptr);
    EXPECT_EQ(owners.host.boxes.size(), 1);
}

TEST_F(WindowFixture, TheTypedFolderIsEnteredAndAHeaderClickReversesTheOrder)
{
    startServer();
    test(QStringLiteral("/"));
    QLineEdit* folder = edit("editRemoteFolder");
    folder->setText(QStringLiteral(" /music "));
    pressReturn(folder);
    EXPECT_EQ(folder->text(), QStringLiteral("/music"));
    EXPECT_EQ(names().size(), 2);

    QHeaderView* header = list()->header();
    click(header->viewport(), QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    EXPECT_EQ(tester.sortOrder(), 1);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("song.mp3"), QStringLiteral("new")}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // A selection in the view is the presenter's, and follows its row through the sort.
    list()->setCurrentItem(item(QStringLiteral("new")));
    EXPECT_EQ(tester.selectedRow(), 1);
    click(header->viewport(), QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("new"), QStringLiteral("song.mp3")}));
    EXPECT_EQ(list()->currentItem(), item(QStringLiteral("new")));
}

TEST_F(WindowFixture, TheConnectButtonFollowsTheConnectionAndRecoveryTakesTheTypedFields)
{
    startServer();
    QList<std::pair<int, RecoveredFtpFields>> recovered;
    QObject::connect(&tester, &FrmSetupFTP::recuperationRequested,
                     [&](int index, const RecoveredFtpFields& fields) {
                         recovered.append({index, fields});
                     });
    QStringList captions;
    QObject::connect(&tester, &FrmSetupFTP::changed, &window,
                     [&] { captions << button("cmdConnect")->text(); });
    tester.TesterCnx(QString(), 21, QString(), QString(), QString(), 2, false, false);
    edit("editServerName")->setText(QStringLiteral("127.0.0.1"));
    edit("editPort")->setText(QString::number(server.port()));
    edit("editUserName")->setText(QStringLiteral("nvx"));
    edit("editPassword")->setText(QStringLiteral("secret"));
    EXPECT_EQ(button("cmdConnect")->text(), QStringLiteral("Connecter"));

    button("cmdConnect")->click();
    EXPECT_TRUE(captions.contains(QStringLiteral("Annuler")));
    EXPECT_EQ(button("cmdConnect")->text(), QStringLiteral("Déconnecter"));
    EXPECT_EQ(names().size(), 2);
    EXPECT_TRUE(waitFor([&] { return edit("editRemoteFolder")->hasFocus(); }));

    edit("editRemoteFolder")->setText(QStringLiteral("/music"));
    button("CommandTransferer")->click();
    ASSERT_EQ(recovered.size(), 1);
    EXPECT_EQ(recovered[0].first, 2);
    EXPECT_EQ(recovered[0].second.server, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(recovered[0].second.port, QString::number(server.port()));
    EXPECT_EQ(recovered[0].second.user, QStringLiteral("nvx"));
    EXPECT_EQ(recovered[0].second.password, QStringLiteral("secret"));
    EXPECT_EQ(recovered[0].second.folder, QStringLiteral("/music"));

    button("cmdConnect")->click();
    EXPECT_EQ(button("cmdConnect")->text(), QStringLiteral("Connecter"));
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_FALSE(button("cmdUp")->isEnabled());
    EXPECT_TRUE(owners.host.boxes.isEmpty());
}

TEST_F(WindowFixture, FermerAndTheCloseBoxDisconnectAndHide)
{
    startServer();
    test(QStringLiteral("/"));
    ASSERT_EQ(tester.state(), FrmSetupFTP::State::Connected);
    button("CommandFermer")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(tester.state(), FrmSetupFTP::State::Disconnected);

    window.show();
    test(QStringLiteral("/"));
    ASSERT_EQ(tester.state(), FrmSetupFTP::State::Connected);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(tester.state(), FrmSetupFTP::State::Disconnected);
}

TEST_F(WindowFixture, UserNameAndPasswordAreSelectedWholeOnFocus)
{
    for (const char* name : {"editUserName", "editPassword"}) {
        QLineEdit* field = edit(name);
        field->setText(QStringLiteral("abc"));
        field->deselect();
        field->setFocus(Qt::MouseFocusReason);
        EXPECT_TRUE(waitFor([&] { return field->selectedText() == QStringLiteral("abc"); })) << name;
    }
    QLineEdit* server = edit("editServerName");
    server->setText(QStringLiteral("host"));
    server->deselect();
    server->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
    EXPECT_TRUE(server->selectedText().isEmpty());
}

// The settings' test button opens the window, first, then the tester fills it.
TEST(FtpTesterWindows, TheSettingsTestShowsTheWindowBeforeTheTesterRuns)
{
    QTemporaryDir drives;
    setDriveRoot(drives.path());
    FakeClock clock;
    GuiHost host;
    Application app{host, clock, std::make_unique<FakeEngine>()};
    Windows windows{app, host};
    QList<bool> shownOnChange;
    QObject::connect(&app.frmSetupFtp(), &FrmSetupFTP::changed, [&] {
        const auto* tester = windows.shell().mainWindow().findChild<FrmSetupFTPWindow*>();
        shownOnChange << (tester && tester->isVisible());
    });
    // An empty server fills the fields and connects nowhere, so no box is raised.
    app.settings().ServeursFtp[1].Serveur.clear();
    app.settings().ServeursFtp[1].User = QStringLiteral("someone");
    app.frmSetup().CommandFTPTester_Click(1);
    ASSERT_FALSE(shownOnChange.isEmpty());
    EXPECT_TRUE(shownOnChange.first());
    const auto* tester = windows.shell().mainWindow().findChild<FrmSetupFTPWindow*>();
    ASSERT_NE(tester, nullptr);
    EXPECT_EQ(tester->windowTitle(), QStringLiteral("Test FTP"));
    EXPECT_EQ(tester->findChild<QLineEdit*>(QStringLiteral("editUserName"))->text(),
              QStringLiteral("someone"));

    // A second test reuses the same window.
    app.frmSetup().CommandFTPTester_Click(1);
    EXPECT_EQ(windows.shell().mainWindow().findChildren<FrmSetupFTPWindow*>().size(), 1);
    setDriveRoot({});
}

} // namespace
