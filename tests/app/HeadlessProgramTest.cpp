#include "ProgramFixture.h"
#include "support/FakeServiceManager.h"
#include "support/PythonPeer.h"
#include "support/ReceivedMail.h"
#include "support/SiteBuilder.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <csignal>

using nvx::test::kProgram;
using nvx::test::kSimulator;
using nvx::test::SiteBuilder;

namespace {

class HeadlessProgramTest : public nvx::test::ProgramFixture {};

TEST_F(HeadlessProgramTest, StartsTracesAndQuitsCleanlyOnSigterm)
{
    QProcess p;
    start(p, {QStringLiteral("/Instance=3")});
    QByteArray out;
    ASSERT_TRUE(waitStarted(p, out)) << out.constData() << p.readAllStandardError().constData();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);

    QFile log(site.c(QStringLiteral("Logs/Histo_VL3_Tools_NVX/")) +
              QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".Log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << qPrintable(log.fileName());
    const QString text = QString::fromUtf8(log.readAll());
    for (const char* line :
         {"==:==:==:====:=:=:=:App.Version: ", "Command Line: '/Instance=3'", "Instance: 3",
          "----- Tools NVX: Init: Fin -----", "----- Init: Duration: ", "Id Radio: {RADIO-01}",
          "Frm_Main: Form_Unload: Start", "Record engine: embedded", "Pervasive files opened",
          "Err: 12: The MicroKernel cannot find the specified file (C:\\Data1\\FRADA22.bt6)",
          "Pervasive files closed"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line;
    EXPECT_EQ(nvx::IniFile::read(site.c(QStringLiteral("Site/Config1/QM_PRG.ini")),
                                 QStringLiteral("Data_Backup"), QStringLiteral("Start")),
              QStringLiteral("0FF"));
}

TEST_F(HeadlessProgramTest, TheStartUpSaysWhatItFound)
{
    QProcess p;
    start(p, {});
    QByteArray out;
    ASSERT_TRUE(waitStarted(p, out)) << out.constData();
    const QString text = QString::fromUtf8(out);
    for (const QString& line : QStringList{
             QStringLiteral("Dossier de l'application: ") + home.path() + QStringLiteral("/ (trouvé)"),
             QStringLiteral("Racine des lecteurs: ") + drives.path() + QStringLiteral(" (trouvé)"),
             QStringLiteral("Configuration du site: ") + home.path() +
                 QStringLiteral("/Settings/VL3_Config.ini (trouvé)"),
             QStringLiteral("Base: Radio 1"),
             QStringLiteral("  Données: ") + site.c(QStringLiteral("Data1/ (trouvé)")),
             QStringLiteral("  XML: non défini"), QStringLiteral("Journal de trace: ")})
        EXPECT_TRUE(text.contains(line)) << qPrintable(line) << '\n' << qPrintable(text);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(20000));
}

TEST_F(HeadlessProgramTest, AMissingSiteStopsTheStartUpAndCreatesNothing)
{
    // A wrong --home: no site configuration there.
    QTemporaryDir wrongHome, emptyDrives;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VL3_DRIVE_ROOT"), emptyDrives.path());
    env.insert(QStringLiteral("TMPDIR"), locks.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), locks.path());
    p.setProcessEnvironment(env);
    p.start(kProgram, {QStringLiteral("--headless"), QStringLiteral("--home"), wrongHome.path()});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("démarrage arrêté: configuration du site absente: ") +
                             wrongHome.path() + QStringLiteral("/Settings/VL3_Config.ini")))
        << qPrintable(err);
    EXPECT_TRUE(QDir(wrongHome.path()).isEmpty()) << "no default site is made up";
    EXPECT_TRUE(QDir(emptyDrives.path()).isEmpty());

    // A typo in the data folder: the folder is not created with empty record files.
    site.set(site.c(QStringLiteral("Site/Config1/VL3_Systeme.ini")), QStringLiteral("Base_01"),
             QStringLiteral("Dossier_Data"), QStringLiteral("C:\\Dta1\\"));
    QProcess typo;
    start(typo, {});
    ASSERT_TRUE(typo.waitForFinished(20000));
    EXPECT_EQ(typo.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(typo.readAllStandardError())
                    .contains(QStringLiteral("démarrage arrêté: dossier des données absent: ") +
                              site.c(QStringLiteral("Dta1/"))));
    EXPECT_FALSE(QFileInfo::exists(site.c(QStringLiteral("Dta1"))));
}

TEST_F(HeadlessProgramTest, TheOnlyEndpointNotListeningStopsTheStartUp)
{
    // An address of another machine: nothing can listen on it here.
    const QString settings = home.filePath(QStringLiteral("Settings/VL3_Tools_NVX/VL3_Tools_NVX.Ini"));
    site.set(settings, QStringLiteral("Peripheriques_Reseau_Reception_UDP_0"), QStringLiteral("IP"),
             QStringLiteral("192.0.2.1"));
    site.set(settings, QStringLiteral("Peripheriques_Reseau_Reception_UDP_0"), QStringLiteral("Port"),
             QStringLiteral("5000"));
    site.set(settings, QStringLiteral("Peripheriques_Reseau_Reception_UDP_0"), QStringLiteral("Actif"),
             QStringLiteral("1"));
    QProcess p;
    start(p, {});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError())
                    .contains(QStringLiteral("démarrage arrêté: écoute UDP impossible sur 192.0.2.1:5000")));
    EXPECT_EQ(nvx::IniFile::read(site.c(QStringLiteral("Site/Config1/QM_PRG.ini")),
                                 QStringLiteral("Data_Backup"), QStringLiteral("Start")),
              QStringLiteral("0FF"))
        << "the stop unloads like a quit";
}

TEST_F(HeadlessProgramTest, AnUnknownOptionIsRefusedWithItsNameAndTheUsage)
{
    QProcess p;
    start(p, {QStringLiteral("--hme"), home.path()});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.startsWith(QStringLiteral("vl3-tools-nvx: unknown option --hme\n"))) << qPrintable(err);
    EXPECT_TRUE(err.contains(QStringLiteral("Usage: vl3-tools-nvx")));
    EXPECT_TRUE(err.contains(QStringLiteral("3  with --job: the request was refused")))
        << "the exit codes are listed";
    EXPECT_TRUE(traceFile().isEmpty()) << "nothing was started";
}

TEST_F(HeadlessProgramTest, ASecondCopyOfAnInstanceIsRefusedAnotherInstanceRuns)
{
    QProcess first;
    start(first, {QStringLiteral("/Instance=2")});
    QByteArray out;
    ASSERT_TRUE(waitStarted(first, out));

    QProcess second;
    start(second, {QStringLiteral("/Instance=2")});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_NE(second.exitCode(), 0);
    const QString err = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("Application encore chargée en mémoire.")));
    // The refusal names the lock, in the runtime folder, and the process holding it.
    const QStringList locks = QDir(this->locks.path()).entryList({QStringLiteral("*-2.lock")}, QDir::Files);
    ASSERT_EQ(locks.size(), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("instance 2, verrou ") + this->locks.filePath(locks[0]) +
                             QStringLiteral(", processus ") + QString::number(first.processId())))
        << qPrintable(err);

    // Another instance of the same program and folder runs beside the first.
    QProcess third;
    start(third, {QStringLiteral("/Instance=3")});
    QByteArray out3;
    EXPECT_TRUE(waitStarted(third, out3)) << out3.constData();
    for (QProcess* p : {&first, &third}) {
        p->terminate();
        ASSERT_TRUE(p->waitForFinished(20000));
        EXPECT_EQ(p->exitCode(), 0);
    }
}

TEST_F(HeadlessProgramTest, SchedulerRequestOverUdpGetsEveryLineBack)
{
    // The tool's reception endpoint on a port the system chooses, which the tool then reports.
    QProcess tool;
    QByteArray out;
    const quint16 port = startListening(tool, out);
    ASSERT_GT(port, 0) << out.constData();

    QProcess sim;
    sim.start(kSimulator,
              {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
               QString::number(port), QStringLiteral("--date"), QStringLiteral("20201208"),
               QStringLiteral("--first"), QStringLiteral("7"), QStringLiteral("--last"), QStringLiteral("8"),
               QStringLiteral("--label"), QStringLiteral("Matin"), QStringLiteral("--listen"),
               QStringLiteral("127.0.0.2"), QStringLiteral("--timeout"), QStringLiteral("60")});
    ASSERT_TRUE(sim.waitForFinished(90000));
    const QStringList lines = QString::fromUtf8(sim.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().constData();

    // Each line is "HH:MM:SS message"; the messages come in the job's order.
    QStringList messages;
    for (const QString& l : lines)
        messages.append(l.mid(9));
    const QStringList expected{QStringLiteral("Clear"), QStringLiteral("==================="),
                               QStringLiteral("Début du traitement"),
                               QStringLiteral("Réception: Station: Matin Date: 08/12/2020 de 07H à 08H"),
                               QStringLiteral("Création des XML"),
                               // The test site has no XML folder: the scheduler is told.
                               QStringLiteral("Création du XML de 07H impossible: dossier XML non défini"),
                               QStringLiteral("Création du XML de 08H impossible: dossier XML non défini"),
                               QStringLiteral("MAJ des données sur le Net")};
    ASSERT_GE(messages.size(), expected.size() + 2) << qPrintable(lines.join(u'\n'));
    EXPECT_EQ(messages.mid(0, expected.size()), expected);
    EXPECT_EQ(messages.mid(messages.size() - 2),
              QStringList({QStringLiteral("Fin du traitement"), QStringLiteral("=================")}));

    // The job is in the log file at once, and what followed it within a second: each write to
    // the file is waited for, up to a limit well beyond that second.
    QFileSystemWatcher watcher({traceFilePath()});
    QEventLoop loop;
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer t;
    t.start();
    limit.start(3000);
    while (!traceFile().contains(QStringLiteral("TimerDataArrival_Timer: End")) && limit.isActive())
        loop.exec();
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_TRUE(traceFile().contains(QStringLiteral("UDP: Data arrival: <ComputerName:")));

    // A hang-up is a confirmed quit like a termination.
    ASSERT_EQ(::kill(pid_t(tool.processId()), SIGHUP), 0);
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_TRUE(traceFile().contains(QStringLiteral("Frm_Main: Form_Unload: Start")));
    EXPECT_EQ(nvx::IniFile::read(site.c(QStringLiteral("Site/Config1/QM_PRG.ini")),
                                 QStringLiteral("Data_Backup"), QStringLiteral("Start")),
              QStringLiteral("0FF"));
}

TEST_F(HeadlessProgramTest, JobOptionRunsOneRequestAndQuits)
{
    QProcess tool;
    start(tool,
          {QStringLiteral("--job"),
           QStringLiteral("<NoStation:1><DateConducteur:20201208><HHDeb:-3><HHFin:30><StationLib:Matin>")});
    ASSERT_TRUE(tool.waitForFinished(60000));
    // No platform is configured: the hours could not be sent.
    EXPECT_EQ(tool.exitCode(), 3) << tool.readAllStandardError().constData();
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("Réception: Station: Matin Date: 08/12/2020 de 00H à 23H")));
    EXPECT_TRUE(out.contains(QStringLiteral("Plateforme non configurée")));
    EXPECT_TRUE(out.contains(QStringLiteral("Fin du traitement")));
    // The site has no XML folder: every hour's export says so instead of writing anywhere.
    EXPECT_EQ(traceFile().count(QStringLiteral("(Dossier XML non défini)")), 24);
}

TEST_F(HeadlessProgramTest, TestFtpListsTheAccountsFolderOrSaysWhatIsWrong)
{
    QTemporaryDir remote;
    ASSERT_TRUE(QDir(remote.path()).mkpath(QStringLiteral("music/new")));
    QFile son(remote.filePath(QStringLiteral("music/a.mp3")));
    ASSERT_TRUE(son.open(QIODevice::WriteOnly));
    son.write("abc");
    son.close();
    nvx::test::PythonPeer serveur;
    ASSERT_TRUE(serveur.start(QStringLiteral("ftp_peer.py"), {remote.path()}))
        << serveur.error().toStdString();

    const QString settings = home.filePath(QStringLiteral("Settings/VL3_Tools_NVX/VL3_Tools_NVX.Ini"));
    const auto ftp = [&](const QString& cle, const QString& valeur) {
        site.set(settings, QStringLiteral("ServeurFTP_4"), cle, valeur);
    };
    ftp(QStringLiteral("Serveur"), QStringLiteral("127.0.0.1"));
    ftp(QStringLiteral("NoPort"), QString::number(serveur.port()));
    ftp(QStringLiteral("User"), QStringLiteral("nvx"));
    ftp(QStringLiteral("PW"), QStringLiteral("secret"));
    ftp(QStringLiteral("Dossier"), QStringLiteral("/music"));
    QProcess tool;
    start(tool, {QStringLiteral("--test-ftp"), QStringLiteral("4")});
    ASSERT_TRUE(tool.waitForFinished(60000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    EXPECT_EQ(tool.exitCode(), 0) << err.toStdString();
    const QStringList lignes = QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n');
    const QStringList fichier = lignes.filter(QRegularExpression(QStringLiteral("\\ta\\.mp3$")));
    ASSERT_EQ(fichier.size(), 1) << lignes.join(u'\n').toStdString();
    EXPECT_TRUE(fichier[0].startsWith(QStringLiteral("-rw"))) << fichier[0].toStdString();
    EXPECT_EQ(fichier[0].split(u'\t').value(1), QStringLiteral("3"));
    EXPECT_EQ(lignes.filter(QRegularExpression(QStringLiteral("^d.*\\tnew$"))).size(), 1);

    // A folder the account does not have, then a wrong password: the reason on stderr.
    ftp(QStringLiteral("Dossier"), QStringLiteral("/music/absent"));
    QProcess absent;
    start(absent, {QStringLiteral("--test-ftp"), QStringLiteral("4")});
    ASSERT_TRUE(absent.waitForFinished(60000));
    EXPECT_EQ(absent.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(absent.readAllStandardError())
                    .contains(QStringLiteral("dossier introuvable: absent")));
    ftp(QStringLiteral("PW"), QStringLiteral("not-the-password"));
    QProcess refuse;
    start(refuse, {QStringLiteral("--test-ftp"), QStringLiteral("4")});
    ASSERT_TRUE(refuse.waitForFinished(60000));
    EXPECT_EQ(refuse.exitCode(), 1);
    const QString raison = QString::fromUtf8(refuse.readAllStandardError());
    EXPECT_TRUE(raison.contains(QStringLiteral("Echec de la connexion. Erreur:"))) << raison.toStdString();
    EXPECT_FALSE(raison.contains(QStringLiteral("not-the-password")));
    EXPECT_FALSE(traceFile().contains(QStringLiteral("not-the-password")));
}

TEST_F(HeadlessProgramTest, TestFtpWorksOverTlsAndSsh)
{
    QTemporaryDir remote;
    ASSERT_TRUE(QDir(remote.path()).mkpath(QStringLiteral("sons")));
    const QString settings = home.filePath(QStringLiteral("Settings/VL3_Tools_NVX/VL3_Tools_NVX.Ini"));
    struct Cas {
        QString script, option, cle;
    };
    for (const Cas& cas :
         {Cas{QStringLiteral("ftp_peer.py"), QStringLiteral("--tls"), QStringLiteral("SecureSSL")},
          Cas{QStringLiteral("sftp_peer.py"), QString(), QStringLiteral("SecureSSH")}}) {
        nvx::test::PythonPeer serveur;
        QStringList arguments{remote.path()};
        if (!cas.option.isEmpty())
            arguments << cas.option;
        ASSERT_TRUE(serveur.start(cas.script, arguments)) << serveur.error().toStdString();
        const auto ftp = [&](const QString& cle, const QString& valeur) {
            site.set(settings, QStringLiteral("ServeurFTP_0"), cle, valeur);
        };
        ftp(QStringLiteral("Serveur"), QStringLiteral("127.0.0.1"));
        ftp(QStringLiteral("NoPort"), QString::number(serveur.port()));
        ftp(QStringLiteral("User"), QStringLiteral("nvx"));
        ftp(QStringLiteral("PW"), QStringLiteral("secret"));
        ftp(QStringLiteral("Dossier"), QStringLiteral("/"));
        ftp(cas.cle, QStringLiteral("1"));
        QProcess tool;
        start(tool, {QStringLiteral("--test-ftp"), QStringLiteral("0")});
        ASSERT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(tool.exitCode(), 0) << cas.script.toStdString() << tool.readAllStandardError().constData();
        const QString out = QString::fromUtf8(tool.readAllStandardOutput());
        EXPECT_TRUE(out.contains(
            QRegularExpression(QStringLiteral("^d[^\\n]*\\tsons$"), QRegularExpression::MultilineOption)))
            << cas.script.toStdString() << out.toStdString();
        ftp(cas.cle, QStringLiteral("0"));
    }
}

TEST_F(HeadlessProgramTest, TestMailIsDeliveredWithTheWorkstationBlockOrSaysWhyNot)
{
    const QString settings = home.filePath(QStringLiteral("Settings/VL3_Tools_NVX/VL3_Tools_NVX.Ini"));
    const auto set = [&](const QString& section, const QString& cle, const QString& valeur) {
        site.set(settings, section, cle, valeur);
    };
    const auto testMail = [&](QString* err) {
        QProcess tool;
        start(tool, {QStringLiteral("--test-mail")});
        EXPECT_TRUE(tool.waitForFinished(60000));
        *err = QString::fromUtf8(tool.readAllStandardError());
        return tool.exitCode();
    };
    QString err;
    // No recipients, then no server: nothing is sent and the console says why.
    EXPECT_EQ(testMail(&err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Veuillez renseigner un ou plusieurs emails")))
        << err.toStdString();
    set(QStringLiteral("Email"), QStringLiteral("Emails"), QStringLiteral("a@radio.test; b@radio.test"));
    EXPECT_EQ(testMail(&err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Serveur SMTP non configuré"))) << err.toStdString();

    nvx::test::PythonPeer smtp;
    ASSERT_TRUE(
        smtp.start(QStringLiteral("smtp_peer.py"), {QStringLiteral("--starttls"), QStringLiteral("--auth"),
                                                    QStringLiteral("nvx:mot-de-passe")}))
        << smtp.error().toStdString();
    const QString certificat = smtp.lines().filter(QStringLiteral("CERT ")).value(0).mid(5);
    set(QStringLiteral("Email_SMTP"), QStringLiteral("Serveur"), QStringLiteral("127.0.0.1"));
    set(QStringLiteral("Email_SMTP"), QStringLiteral("Port"), QString::number(smtp.port()));
    set(QStringLiteral("Email_SMTP"), QStringLiteral("User"), QStringLiteral("nvx"));
    set(QStringLiteral("Email_SMTP"), QStringLiteral("PW"), QStringLiteral("mot-de-passe"));
    set(QStringLiteral("Email_SMTP"), QStringLiteral("Expediteur"), QStringLiteral("nvx@radio.test"));
    set(QStringLiteral("Email_SMTP"), QStringLiteral("Certificat"), certificat);
    EXPECT_EQ(testMail(&err), 0) << err.toStdString();
    const QList<nvx::test::ReceivedMail> mails = nvx::test::receivedMails(smtp.lines(2, 20000));
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails[0].rcpt, (QStringList{QStringLiteral("a@radio.test"), QStringLiteral("b@radio.test")}));
    const QStringList corps = mails[0].body.split(QStringLiteral("\r\n"));
    ASSERT_GE(corps.size(), 15) << mails[0].body.toStdString();
    EXPECT_TRUE(corps[0].startsWith(QStringLiteral("Radio: ")));
    EXPECT_TRUE(corps[1].startsWith(QStringLiteral("Ordinateur: ")));
    EXPECT_TRUE(corps[2].startsWith(QStringLiteral("OS: ")));
    EXPECT_TRUE(corps[3].contains(QRegularExpression(QStringLiteral("^Mémoire: \\d+ Mo$"))));
    EXPECT_EQ(corps[4], QString());
    EXPECT_TRUE(corps[5].startsWith(QStringLiteral("Date du poste: ")));
    EXPECT_TRUE(corps[6].startsWith(QStringLiteral("Poste démarré depuis: ")));
    EXPECT_TRUE(corps[7].contains(
        QRegularExpression(QStringLiteral("^Application démarrée depuis: \\d+ Min \\d+ Sec$"))));
    EXPECT_EQ(corps[9], QStringLiteral("Application: vl3-tools-nvx.exe"));
    EXPECT_EQ(corps[12], QStringLiteral("Message: "));
    EXPECT_EQ(corps[13], QStringLiteral("Test d'envoi de mail."));
    EXPECT_TRUE(err.contains(QStringLiteral("Vérifiez dans votre boite mail")));
    EXPECT_FALSE(traceFile().contains(QStringLiteral("mot-de-passe")));

    // A refused login: exit 1, the reason on the console, never the password.
    set(QStringLiteral("Email_SMTP"), QStringLiteral("PW"), QStringLiteral("pas-le-bon"));
    EXPECT_EQ(testMail(&err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Un problème est survenu lors de l'envoi du mail.")))
        << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("pas-le-bon")));
    EXPECT_FALSE(traceFile().contains(QStringLiteral("pas-le-bon")));
}

TEST_F(HeadlessProgramTest, UnderAServiceManagerItSaysReadyFeedsTheWatchdogAndSaysStopping)
{
    nvx::test::FakeServiceManager manager(300, false);
    ASSERT_TRUE(manager.bound());
    QProcess tool;
    start(tool, {});
    QByteArray out;
    ASSERT_TRUE(waitStarted(tool, out)) << out.constData();
    QElapsedTimer t;
    t.start();
    while (manager.received().count("WATCHDOG=1") < 2 && t.elapsed() < 10000)
        tool.waitForFinished(50);
    EXPECT_EQ(manager.received().value(0), QByteArray("READY=1"));
    EXPECT_GE(manager.received().count("WATCHDOG=1"), 2);
    tool.terminate();
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(manager.received().last(), QByteArray("STOPPING=1"));
}

} // namespace
