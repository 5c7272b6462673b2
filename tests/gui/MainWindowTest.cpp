#include "app/Application.h"
#include "app/FrmSetup.h"
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
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
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
    EXPECT_EQ(options.errorShown(QStringLiteral("Reception[1].Port")),
              QStringLiteral("Port: Port invalide: un nombre de 1 à 65535 est attendu"));
    EXPECT_EQ(options.errorShown(QStringLiteral("Reception[0].Port")), QString()) << "beneath its own row";
    EXPECT_TRUE(options.labelErreurs->text().contains(QStringLiteral("Réseau")));
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

TEST_F(MainWindowTest, TheSettingsWindowShowsStoredValuesByTheirRulesAndWritesThemBack)
{
    const QString file = home.filePath(QStringLiteral("Settings/VL3_Tools_NVX/VL3_Tools_NVX.Ini"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    QFile ini(file);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Email]\r\nCheck_2=2\r\n[ServeurFTP_0]\r\nServeur=\r\nUser=ancien\r\n"
              "[Plateforme]\r\nCertificatsCA=C:\\Certificats\\ca.pem\r\n");
    ini.close();
    start();
    FrmSetupWindow options(app.settings(), app.frmSetup());
    EXPECT_TRUE(options.TexteDossierXML->text().isEmpty());
    EXPECT_TRUE(options.CheckEmail[2]->isChecked());
    EXPECT_FALSE(options.CheckEmail[0]->isChecked() || options.CheckEmail[5]->isChecked());
    EXPECT_EQ(options.TexteUDPPortCible[4]->text(), QStringLiteral("100")) << "never configured: 96 + index";
    EXPECT_EQ(options.TexteComputerNameAdresse[0]->text(), app.settings().ComputerNameTexte);
    EXPECT_EQ(options.plateformeCertificatsCA->text(), QStringLiteral("C:\\Certificats\\ca.pem"));

    options.TexteFTPUser[0]->setText(QStringLiteral("nouveau"));
    options.plateformeCertificatsCA->setText(QStringLiteral("/srv/proxy/autorites.pem"));
    EXPECT_TRUE(options.CommandSave_Click().isEmpty());
    const auto stored = [&](const QString& section, const QString& key) {
        return QSettings(file, QSettings::IniFormat)
            .value(section + u'/' + key, QStringLiteral("<none>"))
            .toString();
    };
    EXPECT_EQ(stored(QStringLiteral("Email"), QStringLiteral("Check_2")), QStringLiteral("1"));
    EXPECT_EQ(stored(QStringLiteral("Plateforme"), QStringLiteral("CertificatsCA")),
              QStringLiteral("/srv/proxy/autorites.pem"));
    EXPECT_EQ(stored(QStringLiteral("ServeurFTP_0"), QStringLiteral("User")), QStringLiteral("ancien"))
        << "a blank server writes only its Serveur key";
}

TEST_F(MainWindowTest, EditsLeftUnsavedInTheSettingsWindowAreAskedForAtTheEnd)
{
    start();
    FrmSetupWindow options(app.settings(), app.frmSetup());
    options.keepEdits();
    EXPECT_FALSE(app.settings().generalModified || app.settings().networkModified ||
                 app.settings().ftpModified)
        << "nothing edited, nothing to ask";

    // The mail test with blank recipients warns and sends nothing.
    int mails = 0;
    QObject::connect(&app.frmSetup(), &FrmSetup::mailTestRequested, [&] { ++mails; });
    options.CommandEmailTest->click();
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].text,
              QStringLiteral("Veuillez renseigner un ou plusieurs emails (séparés pas des ;)."));
    EXPECT_EQ(mails, 0);

    // An account taken from the FTP tester shows in its row; what is typed in another stays.
    options.TexteFTPServeur[1]->setText(QStringLiteral("ftp.tape"));
    app.settings().editFtp([](Settings& s) { s.ServeursFtp[0].Serveur = QStringLiteral("ftp.recupere"); });
    EXPECT_EQ(options.TexteFTPServeur[0]->text(), QStringLiteral("ftp.recupere"));
    EXPECT_EQ(options.TexteFTPServeur[1]->text(), QStringLiteral("ftp.tape"));
    options.TexteFTPServeur[1]->clear();
    options.keepEdits();
    app.settings().ftpModified = false;

    // Only a port typed, the window closed: the question comes at the end, and Yes saves it.
    options.TexteFTPNoPort[0]->setText(QStringLiteral("2121"));
    options.show();
    options.close();
    EXPECT_TRUE(app.settings().ftpModified);
    host.answers = {Host::Answer::Yes};
    app.frmSetup().Form_Unload();
    ASSERT_EQ(host.boxes.size(), 2);
    EXPECT_EQ(host.boxes[1].text, QStringLiteral("Voulez-vous enregistrer les options ?"));
    const QSettings stored(NativePath(app.settings().fichierGeneral()), QSettings::IniFormat);
    EXPECT_EQ(stored.value(QStringLiteral("ServeurFTP_0/NoPort")).toString(), QStringLiteral("2121"));
}

} // namespace
