#include "app/Application.h"
#include "common/NativePath.h"
#include "common/Win1252.h"
#include "db/FakeEngine.h"
#include "link/UdpSocket.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "support/PythonPeer.h"
#include "support/ReceivedMail.h"
#include "support/SiteBuilder.h"
#include "support/TraceChecks.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace nvx;
using nvx::test::FakeClock;
using nvx::test::FakeHost;
using nvx::test::SiteBuilder;

namespace {

class StartupTest : public ::testing::Test {
protected:
    StartupTest()
    {
        setDriveRoot(drives.path());
        site.build();
        exe = home.filePath(QStringLiteral("vl3-tools-nvx"));
        prepare(app, host);
    }
    ~StartupTest() override { setDriveRoot({}); }

    // The site's record files, all there and empty.
    static std::unique_ptr<BtrieveEngine> siteEngine()
    {
        auto engine = std::make_unique<test::FakeEngine>();
        engine->everyFileExists = true;
        return engine;
    }
    // The site's settings name no XML folder: a job gets one here.
    void withXmlFolder(Application& a)
    {
        QDir().mkpath(site.c(QStringLiteral("VL_XML")));
        a.settings().TexteDossierXML = QStringLiteral("C:\\VL_XML\\");
    }
    void prepare(Application& a, FakeHost& h)
    {
        test::failOnUnexpectedErrors(a.trace(), erreursAttendues);
        a.frmMain().lockFolder = locks.path();
        a.frmMain().Form_Initialize(SuitePath(home.path()) + u'\\', exe);
        QObject::connect(&a.frmMain(), &FrmMain::basesOpened, [this](int base, int first, int last) {
            opened.append({base, first, last});
        });
        QObject::connect(&a.frmMain(), &FrmMain::basesClosed, [this](int base, int first, int last) {
            closed.append({base, first, last});
        });
        QObject::connect(&a.frmMain(), &FrmMain::processEnded, [this] { ++ended; });
        QObject::connect(&a.frmMain(), &FrmMain::captionChanged, [&h](const QString& c) { h.setCaption(c); });
    }

    bool erreursAttendues = false;
    QTemporaryDir drives, home, locks;
    SiteBuilder site{drives.path(), home.path()};
    QString exe;
    FakeClock clock;
    FakeHost host;
    Application app{host, clock, siteEngine()};
    QList<std::array<int, 3>> opened, closed;
    int ended = 0;
};

TEST_F(StartupTest, StartsWithTheInstanceSettingsAndTracesEveryStep)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QStringLiteral("/Instance=3")));
    EXPECT_EQ(app.config().NoInstance, 3);
    EXPECT_TRUE(app.config()
                    .NomFichierSettings({}, QStringLiteral(".Ini"))
                    .endsWith(QStringLiteral("\\VL3_Tools_NVX_3.Ini")));
    EXPECT_TRUE(app.lifecycle().SetupCharge());
    EXPECT_FALSE(app.lifecycle().PbBInModeLoadingFrmMain());
    EXPECT_TRUE(app.frmMain().ChargementTermine);
    EXPECT_TRUE(app.frmMain().ApplicationDemarree);
    for (const char* line : {"Command Line: '/Instance=3'", "Instance: 3", "FrmMain: Init General: Start",
                             "----- Init: InitGeneralPath -----", "----- Init: InitGeneralSite -----",
                             "----- Tools NVX: Init: Bases -----", "FrmMain: Init General: End",
                             "----- Tools NVX: Init: Create Object -----", "----- Tools NVX: Init: Fin -----",
                             "----- Init: Duration: ", "Id Radio: {RADIO-01}"})
        EXPECT_TRUE(test::traced(app.trace(), QString::fromUtf8(line))) << line;
    EXPECT_EQ(app.trace().ListeLog.filter(QStringLiteral("Command Line: '/Instance=3'")).size(), 1);
    ASSERT_FALSE(host.captions.isEmpty());
    EXPECT_TRUE(host.captions.last().startsWith(QStringLiteral("Velmora: Tools NVX - ")));
    EXPECT_TRUE(host.captions.last().endsWith(QStringLiteral(" - {RADIO-01}")));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], (std::array<int, 3>{0, 1, 2}));
    EXPECT_EQ(app.trace().logFolder(0), QStringLiteral("C:\\Logs\\Histo_VL3_Tools_NVX\\"));
}

TEST_F(StartupTest, BlankCommandLineMeansNoInstance)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QStringLiteral("  ")));
    EXPECT_EQ(app.config().NoInstance, 0);
    EXPECT_FALSE(test::traced(app.trace(), QStringLiteral("Command Line:")));
    EXPECT_TRUE(app.config()
                    .NomFichierSettings({}, QStringLiteral(".Ini"))
                    .endsWith(QStringLiteral("\\VL3_Tools_NVX.Ini")));
}

TEST_F(StartupTest, UnloadMarksEachDatabaseAndWritesTheLog)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    app.frmMain().Form_Unload();
    EXPECT_EQ(IniFile::read(site.c(QStringLiteral("Site/Config1/QM_PRG.ini")), QStringLiteral("Data_Backup"),
                            QStringLiteral("Start")),
              QStringLiteral("0FF"));
    ASSERT_EQ(closed.size(), 1);
    EXPECT_EQ(closed[0], (std::array<int, 3>{0, 1, 2}));
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(app.lifecycle().PbBFermetureApplication());
    EXPECT_FALSE(app.lifecycle().SetupCharge());
    EXPECT_FALSE(app.frmMain().ApplicationDemarree);

    QFile log(site.c(QStringLiteral("Logs/Histo_VL3_Tools_NVX/20200220.Log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("==:==:==:====:=:=:=:====")));
    EXPECT_TRUE(text.contains(QStringLiteral("---------- Frm_Main: Form_Unload: Start")));
    EXPECT_TRUE(text.contains(QStringLiteral("Id Radio: {RADIO-01}")));

    app.frmMain().Form_Unload();
    EXPECT_EQ(ended, 1) << "a second unload does nothing";
}

TEST_F(StartupTest, SecondCopyWaitsThenRefusesWithoutTouchingAnything)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    FakeHost host2;
    FakeClock clock2;
    Application second(host2, clock2, siteEngine());
    prepare(second, host2);
    const qint64 before = clock2.ChronoMilliSec();
    // Instance 0 is already running in this folder.
    EXPECT_FALSE(second.frmMain().Form_Load(QString()));
    EXPECT_GE(clock2.ChronoMilliSec() - before, 5000);
    ASSERT_EQ(host2.boxes.size(), 1);
    EXPECT_EQ(
        host2.boxes[0].text,
        QStringLiteral("Application encore chargée en mémoire.\n\n"
                       "Veuillez la quitter avant de relancer une autre instance de cette application."));
    EXPECT_EQ(host2.boxes[0].icon, Host::Icon::Critical);
    ASSERT_EQ(second.trace().ListeBis.size(), 1) << "only the refusal";
    EXPECT_TRUE(second.trace().ListeBis[0].contains(
        QStringLiteral("Err: Application encore chargée en mémoire: instance 0, verrou ") + locks.path()));
    EXPECT_TRUE(second.trace().ListeBis[0].endsWith(QStringLiteral(", processus ") +
                                                    QString::number(QCoreApplication::applicationPid())));

    // Once the first copy has gone, a new one starts.
    app.frmMain().Form_Unload();
    Application third(host2, clock2, siteEngine());
    prepare(third, host2);
    EXPECT_TRUE(third.frmMain().TesterPrevInstance(false, 5000));
}

TEST(ApplicationFolder, APortableCopyKeepsItsFolderAnInstalledOneUsesTheUsersDataFolder)
{
    QTemporaryDir user, portable, installed;
    const QByteArray oldHome = qgetenv("HOME"), oldVl3 = qgetenv("VL3_HOME");
    qputenv("HOME", user.path().toUtf8());
    qunsetenv("VL3_HOME");
    QDir(portable.path()).mkdir(QStringLiteral("Settings"));
    const auto native = [](const QString& folder) { return NativePath(folder); };
    EXPECT_EQ(
        native(FrmMain::resolveDossierApplication({}, portable.filePath(QStringLiteral("vl3-tools-nvx")))),
        portable.path() + u'/');
    // A writable folder without settings is not enough: nothing is written beside the program.
    EXPECT_EQ(
        native(FrmMain::resolveDossierApplication({}, installed.filePath(QStringLiteral("vl3-tools-nvx")))),
        user.path() + QStringLiteral("/.local/share/velmora/"));
    EXPECT_TRUE(QDir(installed.path()).isEmpty());
    EXPECT_EQ(
        native(FrmMain::resolveDossierApplication(installed.path(), portable.filePath(QStringLiteral("x")))),
        installed.path() + u'/')
        << "--home wins";
    qputenv("HOME", oldHome);
    if (!oldVl3.isNull())
        qputenv("VL3_HOME", oldVl3);
}

TEST_F(StartupTest, QuitQuestionAndCloseBox)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    host.answers = {Host::Answer::No};
    bool cancel = false;
    app.frmMain().Form_QueryUnload(cancel, true);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(ended, 0);
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].text, QStringLiteral("Voulez-vous quitter le programme ?"));
    EXPECT_EQ(host.boxes[0].buttons, Host::Buttons::YesNo);

    host.answers = {Host::Answer::Yes};
    app.frmMain().Quitter();
    EXPECT_TRUE(app.lifecycle().quitRequested());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(app.lifecycle().state(), Lifecycle::State::Closed);

    cancel = true;
    app.frmMain().Form_QueryUnload(cancel, true);
    EXPECT_EQ(host.boxes.size(), 2) << "nothing is asked once the program is closing";
    EXPECT_EQ(ended, 1);
}

TEST_F(StartupTest, AProgramCloseIsNotQuestionedButGoesThroughTheSameQuit)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    bool cancel = false;
    app.frmMain().Form_QueryUnload(cancel, false);
    EXPECT_FALSE(cancel);
    EXPECT_TRUE(host.boxes.isEmpty());
    EXPECT_EQ(ended, 1);
}

TEST_F(StartupTest, MandatoryLoginNeedsTheToolsRight)
{
    const QString sys = site.c(QStringLiteral("Site/Config1/VL3_Systeme.ini"));
    const QString rights = site.c(QStringLiteral("Site/Config1/VL3_Systeme_Droits.ini"));
    site.set(sys, QStringLiteral("DroitsUsers"), QStringLiteral("Actif"), QStringLiteral("1"));
    site.set(rights, QStringLiteral("User"), QStringLiteral("Courant"), QStringLiteral("Paul"));
    site.set(rights, QStringLiteral("Droits_Paul"), QStringLiteral("VL3_Tools_NVX"), QStringLiteral("1"));
    EXPECT_TRUE(app.frmMain().Form_Load(QString()));
    // A user change that leaves nobody logged in ends the program.
    site.set(rights, QStringLiteral("User"), QStringLiteral("Courant"), QString());
    app.frmMain().Mnu01User_Click();
    EXPECT_TRUE(app.lifecycle().quitRequested());
    app.frmMain().Form_Unload();

    site.set(rights, QStringLiteral("User"), QStringLiteral("Courant"), QStringLiteral("Paul"));
    site.set(rights, QStringLiteral("Droits_Paul"), QStringLiteral("VL3_Tools_NVX"), QStringLiteral("0"));
    site.set(site.c(QStringLiteral("Site/Config1/QM_PRG.ini")), QStringLiteral("Data_Backup"),
             QStringLiteral("Start"), QStringLiteral("ON"));
    FakeHost host2;
    Application refused(host2, clock, siteEngine());
    prepare(refused, host2);
    EXPECT_FALSE(refused.frmMain().Form_Load(QString()));
    EXPECT_TRUE(refused.lifecycle().quitRequested());
    ASSERT_FALSE(host2.boxes.isEmpty());
    EXPECT_TRUE(host2.boxes.last().text.startsWith(QStringLiteral("Programme non trouvé:")));

    // The refused start leaves the site as a quit does.
    EXPECT_EQ(IniFile::read(site.c(QStringLiteral("Site/Config1/QM_PRG.ini")), QStringLiteral("Data_Backup"),
                            QStringLiteral("Start")),
              QStringLiteral("0FF"));
    EXPECT_EQ(closed.size(), 2) << "the record files it opened are closed";
    EXPECT_EQ(refused.lifecycle().state(), Lifecycle::State::Closed);
    Application next(host2, clock, siteEngine());
    prepare(next, host2);
    EXPECT_TRUE(next.frmMain().TesterPrevInstance(false, 0)) << "the single-copy lock is given back";
}

TEST_F(StartupTest, AnAbandonedDatabaseChoiceGivesTheLockBack)
{
    site.build(2);
    host.itemAnswers = {-1};
    EXPECT_FALSE(app.frmMain().Form_Load(QString()));
    EXPECT_EQ(app.lifecycle().state(), Lifecycle::State::Closed);
    EXPECT_TRUE(opened.isEmpty());
    FakeHost host2;
    Application next(host2, clock, siteEngine());
    prepare(next, host2);
    EXPECT_TRUE(next.frmMain().TesterPrevInstance(false, 0));
}

TEST_F(StartupTest, AQuitAskedDuringAJobWaitsForTheJobWhateverAsksIt)
{
    // The close box (answered Yes) on the first program, the operator's signal on a second one.
    const auto quitDuringJob = [this](Application& a, FakeHost& h, bool closeBox) {
        SCOPED_TRACE(closeBox ? "close box" : "signal");
        const qsizetype closedBefore = closed.size();
        const int endedBefore = ended;
        QList<bool> closedDuringJob;
        h.answers = {Host::Answer::Yes};
        h.onPump = [&] {
            if (closedDuringJob.isEmpty()) {
                bool cancel = false;
                if (closeBox)
                    a.frmMain().Form_QueryUnload(cancel, true);
                else
                    a.lifecycle().requestQuit();
                EXPECT_EQ(cancel, closeBox) << "the window stays until the job is over";
            }
            if (a.driver().enCours())
                closedDuringJob.append(closed.size() > closedBefore ||
                                       a.lifecycle().PbBFermetureApplication());
        };
        withXmlFolder(a);
        a.frmMain().runRequest(QStringLiteral("<NoStation:1><DateConducteur:20200508><HHDeb:07><HHFin:07>"));
        h.onPump = nullptr;
        ASSERT_FALSE(closedDuringJob.isEmpty());
        EXPECT_FALSE(closedDuringJob.contains(true)) << "nothing is closed under the running job";
        EXPECT_EQ(closed.size(), closedBefore + 1);
        EXPECT_EQ(ended, endedBefore + 1);
        EXPECT_EQ(a.lifecycle().state(), Lifecycle::State::Closed);
        QFile log(site.c(QStringLiteral("Logs/Histo_VL3_Tools_NVX/20200220.Log")));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        EXPECT_EQ(text.count(QStringLiteral("Quit requested: it takes effect at the end of the running job")),
                  closeBox ? 1 : 2);
    };
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    quitDuringJob(app, host, true);

    FakeHost host2;
    Application second(host2, clock, siteEngine());
    prepare(second, host2);
    ASSERT_TRUE(second.frmMain().Form_Load(QString()));
    quitDuringJob(second, host2, false);
}

TEST_F(StartupTest, NewPlatformSettingsReachTheClientAtOnce)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    SettingsValues v = app.settings().values();
    v.Plateforme.URL = QStringLiteral("https://vt.example:8443");
    v.ServeursFtp[0].Serveur = QStringLiteral("ftp.station");
    app.settings().apply(v);
    EXPECT_EQ(app.plateforme().config().URL, QStringLiteral("https://vt.example:8443"));
    EXPECT_EQ(app.plateforme().config().Ftp.Serveur, QStringLiteral("ftp.station"));
}

TEST_F(StartupTest, TheJobReadsThroughTheRecordEngineChosenBeforeStartUp)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    withXmlFolder(app);
    auto& moteur = dynamic_cast<test::FakeEngine&>(app.moteur());
    const int lecturesAvant = moteur.dataCalls();
    app.frmMain().runRequest(QStringLiteral("<NoStation:1><DateConducteur:20200508><HHDeb:07><HHFin:07>"));
    EXPECT_GT(moteur.dataCalls(), lecturesAvant) << "the hour's rows are read from the chosen engine";
}

TEST_F(StartupTest, AQuitDuringAJobStartedByADatagramTakesEffectWhenTheJobIsOver)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    withXmlFolder(app);
    SettingsValues v = app.settings().values();
    v.Reception[0] = {QStringLiteral("127.0.0.1"), QStringLiteral("0"), true, {}};
    app.settings().apply(v);
    const quint16 port = app.intake().socket(0).localPort();
    ASSERT_GT(port, 0);

    bool fermeSousLeJob = false;
    bool quitDemande = false;
    host.onPump = [&] {
        if (!app.driver().enCours())
            return;
        if (!quitDemande) {
            quitDemande = true;
            app.lifecycle().requestQuit();
        }
        fermeSousLeJob = fermeSousLeJob || !closed.isEmpty() || app.lifecycle().PbBFermetureApplication();
    };
    QUdpSocket scheduler;
    scheduler.writeDatagram(
        toWindows1252(QStringLiteral("<NoStation:1><DateConducteur:20200508><HHDeb:07><HHFin:08>")),
        QHostAddress::LocalHost, port);
    ASSERT_TRUE(test::waitFor([&] { return ended == 1; }));
    host.onPump = nullptr;
    EXPECT_TRUE(quitDemande) << "the quit came while the job ran";
    EXPECT_FALSE(fermeSousLeJob) << "nothing is closed under the running job";
    EXPECT_EQ(closed.size(), 1);
    EXPECT_EQ(app.lifecycle().state(), Lifecycle::State::Closed);
}

TEST_F(StartupTest, ConnectAndTestCommandsSayHowTheyEnded)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    host.boxes.clear();
    // The test site names no platform: the connect cannot succeed.
    app.frmMain().CommandConnecter_Click();
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_EQ(host.boxes[0].text, QStringLiteral("Non connecté"));
    EXPECT_EQ(host.boxes[0].title, app.frmMain().caption(true));

    withXmlFolder(app);
    app.frmMain().CommandTest_Click();
    ASSERT_EQ(host.boxes.size(), 2);
    EXPECT_EQ(host.boxes[1].text, QStringLiteral("Terminé"));
    EXPECT_EQ(app.driver().requete.HHFin, 11) << "the sample request asks for the morning";
    EXPECT_EQ(app.driver().requete.ReponsePort, 112);
}

TEST_F(StartupTest, AReceiverReopenedAfterAWouldBlockReadMailsTheRecipientsAndTheSettingsTestMailToo)
{
    test::PythonPeer smtp;
    ASSERT_TRUE(smtp.start(QStringLiteral("smtp_peer.py"))) << smtp.error().toStdString();
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    // The mailer waits for the server through the host, as a window would.
    host.onPump = [] { QCoreApplication::processEvents(); };
    SettingsValues v = app.settings().values();
    v.Reception[0] = {QStringLiteral("127.0.0.1"), QStringLiteral("0"), true, {}};
    v.TexteEmailsAdresses = QStringLiteral("regie@radio.test");
    v.EmailSmtp.Serveur = QStringLiteral("127.0.0.1");
    v.EmailSmtp.Port = smtp.port();
    v.EmailSmtp.Securite = 0;
    v.EmailSmtp.Expediteur = QStringLiteral("nvx@radio.test");
    app.settings().apply(v);
    const quint16 port = app.intake().socket(0).localPort();
    ASSERT_GT(port, 0);

    app.intake().socket(0).failNextRead(10035);
    QUdpSocket scheduler;
    scheduler.writeDatagram(QByteArray("<NoStation:1>"), QHostAddress::LocalHost, port);
    QList<test::ReceivedMail> mails;
    ASSERT_TRUE(
        test::waitFor([&] { return !(mails = test::receivedMails(smtp.lines(2, 0))).isEmpty(); }, 20000));
    EXPECT_EQ(mails[0].rcpt, QStringList{QStringLiteral("regie@radio.test")});
    EXPECT_EQ(mails[0].headers.value(QStringLiteral("Subject")), QStringLiteral("SocketWrenchUDPIn"));
    EXPECT_TRUE(mails[0].body.contains(
        QStringLiteral("Re-Init SocketWrenchUDPIn due to swErrorOperationWouldBlock")));
    EXPECT_TRUE(mails[0].body.startsWith(QStringLiteral("Radio: {RADIO-01}\r\n")))
        << mails[0].body.toStdString();

    host.boxes.clear();
    app.frmSetup().CommandEmailTest_Click();
    ASSERT_EQ(host.boxes.size(), 1);
    EXPECT_TRUE(host.boxes[0].text.startsWith(QStringLiteral("Vérifiez dans votre boite mail")));
    EXPECT_EQ(host.boxes[0].title, app.frmMain().caption(true));
    EXPECT_EQ(test::receivedMails(smtp.lines(3, 20000)).size(), 2);
}

TEST_F(StartupTest, TheLocalRevisionHistoryMustBeBesideTheProgramAndTheWebOneNeedsItsSite)
{
    ASSERT_TRUE(app.frmMain().Form_Load(QString()));
    app.systeme().shell = [this](const QString& verb, const QString& file, const QString& parameters,
                                 const QString& directory, int showMode) {
        return host.shellExecute(verb, file, parameters, directory, showMode);
    };
    host.boxes.clear();
    app.frmMain().MnuWhatNews_Click(0);
    ASSERT_EQ(host.boxes.size(), 1);
    const QString fichier = app.identity().DossierApplication + QStringLiteral("VL3_Tools_NVX_Revisions.htm");
    EXPECT_EQ(host.boxes[0].text,
              QStringLiteral("Le fichier: ") + fichier +
                  QStringLiteral(" est absent.\n\nVeuillez le mettre en place à partir de la "
                                 "mise-à-jour disponible sur le Net."));
    EXPECT_EQ(host.boxes[0].icon, Host::Icon::Exclamation);
    EXPECT_TRUE(host.executions.isEmpty());

    QFile page(home.filePath(QStringLiteral("VL3_Tools_NVX_Revisions.htm")));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    app.frmMain().MnuWhatNews_Click(0);
    ASSERT_EQ(host.executions.size(), 1);
    EXPECT_EQ(host.executions[0].verb, QStringLiteral("Open"));

    // No release server set: the web entry has nothing to open.
    EXPECT_TRUE(app.frmMain().revisionsWebPage().isEmpty());
    app.frmMain().MnuWhatNews_Click(1);
    EXPECT_EQ(host.executions.size(), 1);
    app.settings().SiteMaker = QStringLiteral("releases.velmora.test/");
    EXPECT_EQ(
        app.frmMain().revisionsWebPage(),
        QStringLiteral(
            "https://releases.velmora.test/VL/Releases/VL_34/Histo_Revisions/VL3_Tools_NVX_Revisions.htm"));
    app.frmMain().MnuWhatNews_Click(1);
    ASSERT_EQ(host.executions.size(), 2);
    EXPECT_EQ(host.executions[1].file, app.frmMain().revisionsWebPage());
}

} // namespace
