#include "app/Application.h"
#include "common/NativePath.h"
#include "db/FakeEngine.h"
#include "gui/FrmSetupWindow.h"
#include "gui/GuiShell.h"
#include "link/UdpSocket.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "support/SiteBuilder.h"
#include "support/TraceChecks.h"
#include "support/Wait.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace nvx;

namespace {

// The windows over a started program on a site of empty record files.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        setDriveRoot(drives.path());
        site.build();
        test::failOnUnexpectedErrors(app.trace(), erreursAttendues);
        app.frmMain().lockFolder = locks.path();
        app.frmMain().Form_Initialize(SuitePath(home.path()) + u'\\',
                                      home.filePath(QStringLiteral("vl3-tools-nvx")));
    }
    ~MainWindowTest() override { setDriveRoot({}); }

    static std::unique_ptr<BtrieveEngine> engine()
    {
        auto e = std::make_unique<test::FakeEngine>();
        e->everyFileExists = true;
        return e;
    }
    void start() { ASSERT_TRUE(app.frmMain().Form_Load(QString())); }
    void incident(const QString& line) { app.trace().trace(line, true); }
    bool incidentsTabVisible() { return window().SftTabsMain->isTabVisible(IncidentDisplay::Incidents); }
    Frm_Main& window() { return shell.mainWindow(); }

    bool erreursAttendues = false;
    QTemporaryDir drives, home, locks;
    test::SiteBuilder site{drives.path(), home.path()};
    test::FakeClock clock;
    test::FakeHost host;
    Application app{host, clock, engine()};
    GuiShell shell{app, host};
};

TEST_F(MainWindowTest, StartsShownWithTheCaptionAndTheMenuOfTheProgram)
{
    start();
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(window().windowTitle().startsWith(QStringLiteral("Velmora: Tools NVX - ")));
    EXPECT_TRUE(window().windowTitle().endsWith(QStringLiteral(" - {RADIO-01}")));
    EXPECT_FALSE(incidentsTabVisible());
    EXPECT_EQ(window().MnuQuitter->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(window().Mnu01Log->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F2));
    EXPECT_TRUE(window().Mnu01Options->isEnabled());
    EXPECT_FALSE(window().MnuWhatNews[1]->isEnabled()) << "no release server set";

    // A job fills the progress list, emptied at the start of the next one.
    QDir().mkpath(site.c(QStringLiteral("VL_XML")));
    app.settings().TexteDossierXML = QStringLiteral("C:\\VL_XML\\");
    window().CommandTest->click();
    const QStringList lignes = window().upload.lines();
    ASSERT_FALSE(lignes.isEmpty());
    EXPECT_TRUE(lignes.first().endsWith(QStringLiteral("===================")));
    EXPECT_TRUE(lignes.last().endsWith(QStringLiteral("=================")));
    window().CommandTest->click();
    EXPECT_EQ(window().upload.lines().size(), lignes.size());
}

TEST_F(MainWindowTest, IncidentsShowOneTabFlashUntilLookedAtAndGoOnPurge)
{
    // Before the window: remembered, and shown with it.
    incident(QStringLiteral("Err: early"));
    start();
    EXPECT_TRUE(incidentsTabVisible());
    incident(QStringLiteral("Err: second"));
    EXPECT_EQ(window().SftTabsMain->count(), 3) << "one incidents tab, however many incidents";
    EXPECT_TRUE(window().TimerFlash.isActive());
    EXPECT_TRUE(window().windowTitle().startsWith(QStringLiteral("Err: ")));
    EXPECT_EQ(window().incidents.lines().size(), 2);

    window().SftTabsMain->setCurrentIndex(IncidentDisplay::Upload);
    EXPECT_TRUE(window().TimerFlash.isActive());
    window().SftTabsMain->setCurrentIndex(IncidentDisplay::Incidents);
    EXPECT_FALSE(window().TimerFlash.isActive());
    EXPECT_FALSE(window().windowTitle().startsWith(QStringLiteral("Err: ")));

    host.answers = {Host::Answer::No};
    window().CommandIncidentsPurge->click();
    EXPECT_EQ(window().incidents.lines().size(), 2);
    EXPECT_TRUE(incidentsTabVisible());
    host.answers = {Host::Answer::Yes};
    window().CommandIncidentsPurge->click();
    EXPECT_TRUE(window().incidents.lines().isEmpty());
    EXPECT_FALSE(incidentsTabVisible());
    EXPECT_EQ(window().SftTabsMain->currentIndex(), IncidentDisplay::Upload);
    EXPECT_FALSE(window().TimerFlash.isActive());
}

TEST_F(MainWindowTest, StandbyHidesTheWindowAndAfficherBringsItBack)
{
    start();
    shell.tray().trayCheck = [] { return true; };
    window().Mnu01Veille->trigger();
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(shell.tray().standby().EnVeille());
    EXPECT_TRUE(shell.tray().icon().isVisible());
    EXPECT_EQ(shell.tray().icon().toolTip(), QStringLiteral("Velmora: NVX"));
    EXPECT_EQ(shell.tray().MnuFlottant().actions().first()->text(), QStringLiteral("Afficher"));

    // An incident meanwhile keeps the icon and the windows hidden.
    incident(QStringLiteral("Err: during standby"));
    EXPECT_TRUE(shell.tray().icon().isVisible());
    EXPECT_FALSE(window().isVisible());

    shell.tray().MnuFlottant().actions().first()->trigger();
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(shell.tray().standby().EnVeille());
    EXPECT_FALSE(shell.tray().icon().isVisible());
}

TEST_F(MainWindowTest, VeilleOnTheCommandLineWaitsForTheWindowThenGoesToStandby)
{
    shell.tray().trayCheck = [] { return true; };
    ASSERT_TRUE(app.frmMain().Form_Load(QStringLiteral("/Veille=True")));
    ASSERT_TRUE(test::waitFor([&] { return shell.tray().standby().EnVeille(); }));
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(app.frmMain().VeilleDemandee);
}

TEST_F(MainWindowTest, ThePlacementIsKeptAndBroughtBackOnScreen)
{
    start();
    window().move(40, 30);
    window().savePlacement();
    window().move(300, 200);
    window().restorePlacement();
    EXPECT_EQ(window().pos(), QPoint(40, 30));

    // Saved on a screen that is no longer there.
    app.config().PositionFeuilleSauvegarde(QStringLiteral("Frm_Main"), QString(), QPoint(-5000, 9000));
    window().restorePlacement();
    EXPECT_TRUE(window().screen()->availableGeometry().intersects(window().frameGeometry()));
}

TEST_F(MainWindowTest, TheSettingsWindowRefusesABadPortAndSwitchesAnEndpointOnAtOnce)
{
    start();
    FrmSetupWindow options(app.settings(), app.frmSetup());
    EXPECT_EQ(options.smtpPW->echoMode(), QLineEdit::Password);
    EXPECT_EQ(options.plateformeSecret->echoMode(), QLineEdit::Password);
    EXPECT_EQ(options.TexteFTPPW[0]->echoMode(), QLineEdit::Password);

    options.TexteUDPPortSource[1]->setText(QStringLiteral("70000"));
    options.TexteEmailsAdresses->setText(QStringLiteral("regie@radio.test"));
    const QList<FieldError> erreurs = options.CommandSave_Click();
    ASSERT_EQ(erreurs.size(), 1);
    EXPECT_TRUE(options.labelErreurs->text().contains(QStringLiteral("Port invalide")));
    EXPECT_TRUE(app.settings().Reception[1].Port.isEmpty()) << "the network group is kept back";
    EXPECT_EQ(app.settings().TexteEmailsAdresses, QStringLiteral("regie@radio.test"));

    // A reception endpoint switched on listens at once, its fields locked.
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
    const quint16 port = probe.localPort();
    probe.close();
    options.TexteUDPPortSource[1]->setText(QString());
    options.TexteUDPIPSource[0]->setText(QStringLiteral("127.0.0.1"));
    options.TexteUDPPortSource[0]->setText(QString::number(port));
    options.CheckUDPInActif[0]->click();
    EXPECT_EQ(app.intake().socket(0).localPort(), port);
    EXPECT_TRUE(options.TexteUDPPortSource[0]->isReadOnly());
    QUdpSocket scheduler;
    scheduler.writeDatagram(QByteArray("<NoStation:1>"), QHostAddress::LocalHost, port);
    EXPECT_TRUE(
        test::waitFor([&] { return test::traced(app.trace(), QStringLiteral("UDP: Data arrival")) > 0; }));

    // The close box only hides the window.
    options.show();
    options.close();
    EXPECT_FALSE(options.isVisible());
}

} // namespace
