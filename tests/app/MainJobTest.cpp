#include "MainJobFixture.h"
#include "common/IniFile.h"
#include "support/PythonPeer.h"
#include "support/ReceivedMail.h"
#include "support/SiteBuilder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <gtest/gtest.h>

using nvx::test::SiteBuilder;

namespace {

using nvx::test::kBin;

class MainJobTest : public nvx::test::MainJobFixture {};

TEST_F(MainJobTest, EveryHourIsImportedMarkedSentAndItsFileRemoved)
{
    const QString address = startPlatform();
    ASSERT_FALSE(address.isEmpty());
    QByteArray out;
    EXPECT_EQ(job(&out), 0) << out.constData();
    EXPECT_TRUE(out.contains("Transfert du conducteur de 08H: Fin"));
    EXPECT_FALSE(out.contains("non envoy"));

    const QJsonObject st = state(address);
    const QJsonArray imports = st.value(QStringLiteral("imports")).toArray();
    ASSERT_EQ(imports.size(), 2) << QJsonDocument(st).toJson().constData();
    EXPECT_EQ(imports[0].toObject().value(QStringLiteral("hour")).toInt(), 7);
    EXPECT_EQ(imports[1].toObject().value(QStringLiteral("hour")).toInt(), 8);
    const QJsonArray days = st.value(QStringLiteral("hourStates")).toArray();
    ASSERT_EQ(days.size(), 1);
    const QJsonArray states = days[0].toObject().value(QStringLiteral("states")).toArray();
    EXPECT_EQ(states[7].toInt(), 1);
    EXPECT_EQ(states[8].toInt(), 1);
    EXPECT_TRUE(xmlFiles().isEmpty()) << xmlFiles().join(u' ').toStdString();
}

TEST_F(MainJobTest, AnHourTheVoiceTrackersHoldIsLeftAsItIs)
{
    // State 2: the hour is being worked on the platform, so the job neither sends nor marks it.
    const QString address = startPlatform({QStringLiteral("--state"), QStringLiteral("1:2020-05-08:8:2")});
    QByteArray out;
    EXPECT_EQ(job(&out), 0) << out.constData();
    EXPECT_TRUE(out.contains("Transfert du conducteur de 07H: Fin"));
    EXPECT_FALSE(out.contains("Transfert du conducteur de 08H"));

    const QJsonObject st = state(address);
    ASSERT_EQ(imports(st).size(), 1) << QJsonDocument(st).toJson().constData();
    EXPECT_EQ(imports(st)[0].toObject().value(QStringLiteral("hour")).toInt(), 7);
    const QJsonArray states = st.value(QStringLiteral("hourStates"))
                                  .toArray()[0]
                                  .toObject()
                                  .value(QStringLiteral("states"))
                                  .toArray();
    EXPECT_EQ(states[7].toInt(), 1);
    EXPECT_EQ(states[8].toInt(), 2);
    EXPECT_EQ(xmlFiles(), QStringList{QStringLiteral("NVX_Upload_20200508_08_Station_01.xml")});
}

TEST_F(MainJobTest, AnImportRefusedWithA401IsSentAgainAfterOneNewLogin)
{
    const QString address =
        startPlatform({QStringLiteral("--fault"), QStringLiteral("/schedule/import$:401:1")});
    QByteArray out;
    EXPECT_EQ(job(&out), 0) << out.constData();
    EXPECT_FALSE(out.contains("non envoy"));
    EXPECT_FALSE(out.contains("authentification !"));

    EXPECT_EQ(imports(state(address)).size(), 2);
    const QStringList seen = requests();
    EXPECT_EQ(seen.count(QStringLiteral("POST /vlapi/T/radio/1/schedule/import")), 3)
        << seen.join(u'\n').toStdString();
    // One login at start-up, one forced by the refused import.
    EXPECT_EQ(seen.count(QStringLiteral("POST /vlapi/auth")), 2) << seen.join(u'\n').toStdString();
    EXPECT_TRUE(xmlFiles().isEmpty());
}

TEST_F(MainJobTest, AQuitDuringASlowExchangeEndsTheJobAtOnceAndKeepsTheFiles)
{
    // Every answer takes a minute; without the connect at start-up the job's first exchange is
    // the one the quit interrupts.
    startPlatform({QStringLiteral("--delay"), QStringLiteral("60000")});
    settings(QStringLiteral("Plateforme"), QStringLiteral("ConnexionAuDemarrage"), QStringLiteral("0"));
    QProcess tool;
    startJob(tool);
    // The hour files are written before the first exchange, which begins right after its line.
    QByteArray out;
    ASSERT_TRUE(waitOutput(tool, out, "Status des heures")) << out.constData();
    ASSERT_EQ(xmlFiles().size(), 2);
    QElapsedTimer fin;
    fin.start();
    tool.terminate();
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_LT(fin.elapsed(), 3000) << "the job within a second, then the unload";
    out += tool.readAllStandardOutput();
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 3) << out.constData();
    EXPECT_EQ(out.count("fermeture du programme demand"), 1) << out.constData();
    EXPECT_TRUE(out.contains("Fermeture demand\xc3\xa9"
                             "e: 07H \xc3\xa0 08H conserv\xc3\xa9"
                             "es"))
        << out.constData();
    EXPECT_FALSE(out.contains("non envoy")) << out.constData();
    EXPECT_EQ(xmlFiles().size(), 2) << "the hour files wait for a later job";
}

TEST_F(MainJobTest, APlatformThatDroppedTheStartUpIsUsedByTheFirstJobAfterWithoutRestart)
{
    // Both logins of the start-up connect are dropped unanswered, as when the network comes up late.
    const QString address = startPlatform({QStringLiteral("--fault"), QStringLiteral("/vlapi/:close:2")});
    QProcess tool;
    const quint16 port = startListening(tool);
    ASSERT_NE(port, 0);
    QByteArray out;
    ASSERT_TRUE(waitOutput(tool, out, "Tools NVX started")) << out.constData();
    EXPECT_TRUE(out.contains("Erreur de communication avec la plateforme: réponse vide")) << out.constData();

    const QString lines = schedulerRequest(port);
    EXPECT_TRUE(lines.contains(QStringLiteral("Transfert du conducteur de 08H: Fin"))) << qPrintable(lines);
    EXPECT_FALSE(lines.contains(QStringLiteral("Problème d'authentification"))) << qPrintable(lines);
    EXPECT_EQ(imports(state(address)).size(), 2);
    EXPECT_TRUE(xmlFiles().isEmpty());
    stop(tool);
}

TEST_F(MainJobTest, ARequestThatArrivesDuringTheStartUpConnectWaitsForIt)
{
    // The login at start-up takes 2.5 s; the scheduler asks meanwhile.
    const QString address =
        startPlatform({QStringLiteral("--fault"), QStringLiteral("/vlapi/auth$:late=2500:1")});
    QProcess tool;
    const quint16 port = startListening(tool);
    ASSERT_NE(port, 0);
    QByteArray out;
    ASSERT_TRUE(waitOutput(tool, out, "Tools NVX: Init: Fin")) << out.constData();
    EXPECT_FALSE(out.contains("Tools NVX started"));

    const QString lines = schedulerRequest(port);
    EXPECT_TRUE(lines.contains(QStringLiteral("Transfert du conducteur de 08H: Fin"))) << qPrintable(lines);
    EXPECT_FALSE(lines.contains(QStringLiteral("Problème d'authentification"))) << qPrintable(lines);
    EXPECT_EQ(imports(state(address)).size(), 2);
    EXPECT_EQ(requests().count(QStringLiteral("POST /vlapi/auth")), 1) << "no login beyond the start-up's";
    stop(tool);
}

TEST_F(MainJobTest, AWrongStationOrAnEmptyDayIsNeverUploaded)
{
    const QString address = startPlatform();
    QByteArray out;
    // A station the one-station database does not have.
    EXPECT_EQ(job(&out, QStringLiteral("<NoStation:9><DateConducteur:20200508><HHDeb:07><HHFin:08>")), 3);
    EXPECT_TRUE(out.contains("Requ\xc3\xaate invalide: NoStation '9'")) << out.constData();
    // A day the database does not hold: every hour is empty.
    EXPECT_EQ(job(&out, QStringLiteral("<NoStation:1><DateConducteur:20201208><HHDeb:07><HHFin:08>")), 3);
    EXPECT_TRUE(out.contains("Conducteur de 07H vide: non envoy\xc3\xa9")) << out.constData();
    EXPECT_TRUE(out.contains("Conducteur de 08H vide: non envoy\xc3\xa9")) << out.constData();
    EXPECT_TRUE(imports(state(address)).isEmpty());
    EXPECT_TRUE(requests().filter(QStringLiteral("/schedule/import")).isEmpty());
    EXPECT_TRUE(xmlFiles().isEmpty());
}

TEST_F(MainJobTest, PlatformDownKeepsTheFilesAndSaysSo)
{
    // A port where nothing listens: the connect at start-up already fails, so the job ends with
    // the authentication problem and sends nothing.
    settings(QStringLiteral("Plateforme"), QStringLiteral("URL"), QStringLiteral("http://127.0.0.1:9"));
    QByteArray out;
    EXPECT_EQ(job(&out), 2) << out.constData();
    EXPECT_TRUE(out.contains("Problème d'authentification"));
    EXPECT_EQ(xmlFiles().size(), 2) << "the hour files wait for a later job";
}

TEST_F(MainJobTest, HoursLeftUnsentSendOneAlertAndTheirLaterSendingOneRecoveryMail)
{
    nvx::test::PythonPeer smtp;
    ASSERT_TRUE(smtp.start(QStringLiteral("smtp_peer.py"))) << smtp.error().toStdString();
    settings(QStringLiteral("Email"), QStringLiteral("Emails"), QStringLiteral("regie@radio.test"));
    settings(QStringLiteral("Email_SMTP"), QStringLiteral("Serveur"), QStringLiteral("127.0.0.1"));
    settings(QStringLiteral("Email_SMTP"), QStringLiteral("Port"), QString::number(smtp.port()));
    settings(QStringLiteral("Email_SMTP"), QStringLiteral("Securite"), QStringLiteral("0"));
    settings(QStringLiteral("Email_SMTP"), QStringLiteral("Expediteur"), QStringLiteral("nvx@radio.test"));
    // The first two imports fail: both hours of the first job stay unsent.
    startPlatform({QStringLiteral("--fault"), QStringLiteral("/schedule/import$:500:2")});
    QProcess tool;
    const quint16 port = startListening(tool);
    QByteArray out;
    ASSERT_TRUE(waitOutput(tool, out, "Tools NVX started")) << out.constData();

    EXPECT_TRUE(
        schedulerRequest(port).contains(QStringLiteral("Transfert du conducteur de 08H: non envoyé")));
    // The peer's first line names its certificate; each mail is one more line.
    QList<nvx::test::ReceivedMail> mails = nvx::test::receivedMails(smtp.lines(2, 20000));
    ASSERT_EQ(mails.size(), 1);
    EXPECT_EQ(mails[0].rcpt, QStringList{QStringLiteral("regie@radio.test")});
    EXPECT_TRUE(mails[0].body.contains(QStringLiteral("07H, 08H"))) << mails[0].body.toStdString();
    EXPECT_TRUE(mails[0].body.contains(QStringLiteral("08/05/2020")));
    EXPECT_TRUE(mails[0].body.contains(QStringLiteral("Transfert du conducteur de 08H: non envoyé")));

    // The next request sends both hours: one recovery mail, and no second alert.
    const QString second = schedulerRequest(port);
    EXPECT_TRUE(second.contains(QStringLiteral("Fin du traitement"))) << second.toStdString();
    mails = nvx::test::receivedMails(smtp.lines(3, 20000));
    ASSERT_EQ(mails.size(), 2) << second.toStdString();
    EXPECT_TRUE(mails[1].headers.value(QStringLiteral("Subject")).contains(QStringLiteral("envoyées")))
        << mails[1].headers.value(QStringLiteral("Subject")).toStdString();
    EXPECT_FALSE(mails[1].headers.value(QStringLiteral("Subject")).contains(QStringLiteral("non envoyées")));
    EXPECT_TRUE(mails[1].body.contains(QStringLiteral("07H, 08H")));
    EXPECT_TRUE(xmlFiles().isEmpty());
    stop(tool);
}

} // namespace
