#include "job/JobDriver.h"

#include "common/ErrorTrap.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "job/HourExporter.h"
#include "job/PlatformSession.h"
#include "job/ScheduleRequest.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "support/LinkFixture.h"
#include "support/RecordingLines.h"
#include "support/TraceChecks.h"
#include "system/Systeme.h"
#include "system/Trace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>

using namespace nvx;
using nvx::test::FakeClock;
using nvx::test::FakeHost;

namespace {

QString hourFile(int heure)
{
    return QStringLiteral("C:\\XML\\h") + QStringLiteral("%1").arg(heure, 2, 10, QLatin1Char('0')) +
           QStringLiteral(".xml");
}

bool onDisk(const QString& suitePath)
{
    return QFileInfo::exists(NativePath(suitePath));
}

void writeFile(const QString& suitePath, const QByteArray& content)
{
    const QString native = NativePath(suitePath);
    QDir().mkpath(QFileInfo(native).absolutePath());
    QFile f(native);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

// Writes a real small file per hour and records the call.
class FakeExport final : public HourExporter {
public:
    HourExport exportHour(const ScheduleRequest& r, int heure) override
    {
        calls.append(QStringList{QString::number(r.NoStation), r.SchedulerVersion, r.StationLib, r.UserId,
                                 r.UserLib, r.DateConducteur, QString::number(heure),
                                 r.BuilddDate.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))}
                         .join(u'|'));
        hours.append(heure);
        if (throwOnHour == heure)
            Raise(75, QStringLiteral("Path/File access error"));
        if (outcomes.contains(heure))
            return outcomes.value(heure);
        writeFile(hourFile(heure), "<root/>");
        return {HourExport::Outcome::Written, hourFile(heure), {}};
    }
    int stationCount() const override { return stations; }

    QStringList calls;
    QList<int> hours;
    int throwOnHour = -1;
    int stations = 2;
    // Hours that are not written, and why.
    QMap<int, HourExport> outcomes;
};

// A platform whose answers are scripted per call. Each call may be given a queue of outcomes;
// unscripted calls succeed. Only an authentication clears a recorded authentication failure.
class FakePlatform final : public PlatformSession {
public:
    struct Outcome {
        bool result = true;
        bool authFailure = false;
        bool unreachable = false; // the platform did not answer at all
    };

    FakePlatform() { platformStates.fill(-1); }

    bool PbBErreurAuthentification() const override { return authFailure; }
    PlatformStep reauthenticate() override
    {
        calls.append(QStringLiteral("auth cle secret forced"));
        if (authSucceeds)
            authFailure = false;
        return {authSucceeds, {}};
    }
    PlatformStep login() override { return {true, {}}; }
    PlatformStep UDPDataArrival_04_02_Hours_Get_Status(qint16 noStation, const QDate& date, qint16 hhDeb,
                                                       qint16 hhFin) override
    {
        const QString call = QStringLiteral("status %1 %2 %3-%4")
                                 .arg(noStation)
                                 .arg(date.toString(QStringLiteral("yyyyMMdd")))
                                 .arg(hhDeb)
                                 .arg(hhFin);
        states.fill(-1);
        for (int h = hhDeb; h <= hhFin; ++h)
            states[std::size_t(h)] = platformStates[std::size_t(h)];
        return answer(call);
    }
    qint16 StatutHeure(int heure) const override { return states[std::size_t(heure)]; }
    PlatformStep UDPDataArrival_04_03_FTP_Sons(int ligne) override
    {
        return answer(QStringLiteral("ftp %1").arg(ligne));
    }
    PlatformStep UDPDataArrival_04_04_Conducteur(qint16 noStation, const QString& fichier) override
    {
        EXPECT_TRUE(onDisk(fichier)) << fichier.toStdString();
        return answer(QStringLiteral("import %1 ").arg(noStation) + fichier);
    }
    PlatformStep UDPDataArrival_04_05_Hours_Set_Status(qint16 noStation, const QDate& date, int premiere,
                                                       int derniere) override
    {
        return answer(QStringLiteral("set %1 %2 %3-%4")
                          .arg(noStation)
                          .arg(date.toString(QStringLiteral("yyyyMMdd")))
                          .arg(premiere)
                          .arg(derniere));
    }

    void beginJob() override
    {
        ++jobsBegun;
        unreachableNow = false;
    }
    bool unreachable() const override { return unreachableNow; }

    static QString import(int heure) { return QStringLiteral("import 1 ") + hourFile(heure); }
    static QString setStatus(int heure) { return QStringLiteral("set 1 20200508 %1-%1").arg(heure); }

    std::array<qint16, 24> platformStates{};
    std::array<qint16, 24> states{};
    bool authFailure = false;
    bool authSucceeds = true;
    bool unreachableNow = false;
    int jobsBegun = 0;
    std::function<void(const QString&)> onCall;
    QMap<QString, QList<Outcome>> script;
    QStringList calls;

private:
    PlatformStep answer(const QString& call)
    {
        calls.append(call);
        if (onCall)
            onCall(call);
        Outcome o;
        if (!script.value(call).isEmpty())
            o = script[call].takeFirst();
        if (o.authFailure)
            authFailure = true;
        if (o.unreachable)
            unreachableNow = true;
        return {o.result, {}};
    }
};

const QString kRequest = QStringLiteral(
    "<ComputerName:PC-REGIE><SchedulerVersion:2020.0409.1204><DateConducteur:20200508><HHDeb:05><HHFin:09>"
    "<NoStation:1><StationLib:Radio Été><UserId:42><UserLib:Anne><BuilddDate:06/05/2020 14:48:57>"
    "<ReponseIP:10.1.2.3><ReponsePort:112>");

QString request(int deb, int fin)
{
    return QStringLiteral("<DateConducteur:20200508><HHDeb:%1><HHFin:%2><NoStation:1><StationLib:S1>")
        .arg(deb)
        .arg(fin);
}

QStringList opening(const QString& reception)
{
    return {QStringLiteral("Clear"), QStringLiteral("==================="),
            QStringLiteral("Début du traitement"), reception};
}

QStringList closing()
{
    return {QStringLiteral("Fin du traitement"), QStringLiteral("=================")};
}

const QString kProblem = QStringLiteral("!!!!! Problème d'authentification !!!!!");

QString begin(int h)
{
    return QStringLiteral("Transfert du conducteur de %1H: Début").arg(h, 2, 10, QLatin1Char('0'));
}
QString end(int h)
{
    return QStringLiteral("Transfert du conducteur de %1H: Fin").arg(h, 2, 10, QLatin1Char('0'));
}
QString notSent(int h)
{
    return QStringLiteral("Transfert du conducteur de %1H: non envoyé").arg(h, 2, 10, QLatin1Char('0'));
}

class JobDriverTest : public ::testing::Test {
protected:
    JobDriverTest()
        : trace(clock, host, identity, lifecycle), systeme(trace, clock, host, identity, lifecycle),
          driver(trace, clock, host, systeme, lifecycle, exporter, platform)
    {
        lifecycle.setReporter(trace);
        test::failOnUnexpectedErrors(trace, erreursAttendues);
        lignes.watch(driver);
        test::showProgress(driver, host);
        setDriveRoot(tmp.path());
        identity.DossierApplication = QStringLiteral("C:\\Velmora\\");
        trace.attach(systeme);
        trace.setLogFolder(0, QStringLiteral("C:\\Logs\\"));
    }
    ~JobDriverTest() override { setDriveRoot({}); }

    QTemporaryDir tmp;
    FakeClock clock{QDateTime(QDate(2020, 5, 7), QTime(9, 30, 15))};
    FakeHost host;
    bool erreursAttendues = false;
    Identity identity;
    Lifecycle lifecycle;
    Trace trace;
    Systeme systeme;
    test::RecordingLines lignes;
    FakeExport exporter;
    FakePlatform platform;
    JobDriver driver;
};

TEST_F(JobDriverTest, NormalJobSendsAllowedHoursAndKeepsTheOthers)
{
    // A file left by an earlier job for an hour outside this request's range.
    writeFile(hourFile(3), "old");
    platform.platformStates = {};
    platform.platformStates.fill(0);
    platform.platformStates[6] = 1;
    platform.platformStates[7] = 2;
    platform.platformStates[8] = 4;
    platform.platformStates[9] = 3;
    host.progressLines = QStringList{QStringLiteral("line of the previous job")};

    driver.UDPDataArrival_00(kRequest);

    QStringList expected =
        opening(QStringLiteral("Réception: Station: Radio Été Date: 08/05/2020 de 05H à 09H"));
    expected << QStringLiteral("Création des XML") << QStringLiteral("MAJ des données sur le Net")
             << QStringLiteral("Status des heures") << QStringLiteral("Infos FTP des sons")
             << QStringLiteral("Transfert du conducteur") << begin(5) << end(5) << begin(6) << end(6)
             << begin(8) << end(8) << closing();
    EXPECT_EQ(lignes.lines, expected);

    EXPECT_EQ(exporter.hours, (QList<int>{5, 6, 7, 8, 9}));
    EXPECT_EQ(exporter.calls.first(),
              QStringLiteral("1|2020.0409.1204|Radio Été|42|Anne|20200508|5|06/05/2020 14:48:57"));
    EXPECT_EQ(platform.calls,
              (QStringList{QStringLiteral("status 1 20200508 5-9"), QStringLiteral("ftp 0"),
                           FakePlatform::import(5), FakePlatform::setStatus(5), FakePlatform::import(6),
                           FakePlatform::setStatus(6), FakePlatform::import(8), FakePlatform::setStatus(8)}));

    for (int h : {5, 6, 8}) {
        EXPECT_FALSE(onDisk(hourFile(h))) << h;
        EXPECT_TRUE(driver.NomFichierXMLHeure[std::size_t(h)].isEmpty()) << h;
    }
    EXPECT_TRUE(onDisk(hourFile(3))) << "an earlier job's file is not this job's";
    for (int h : {7, 9}) {
        EXPECT_TRUE(onDisk(hourFile(h))) << h;
        EXPECT_EQ(driver.NomFichierXMLHeure[std::size_t(h)], hourFile(h)) << h;
    }

    // Intake: the window is cleared, the reply target reset then set from the request.
    EXPECT_FALSE(host.progressLines.contains(QStringLiteral("line of the previous job")));
    EXPECT_EQ(host.progressLines.size(), expected.size() - 1) << "every line but the clearing one";
    EXPECT_EQ(lignes.resets, 1);
    EXPECT_EQ(lignes.target, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(lignes.port, 112);
    EXPECT_EQ(driver.TexteUDPDonneeRecues, kRequest);
    EXPECT_EQ(driver.requete.ComputerName, QStringLiteral("PC-REGIE"));
    EXPECT_GE(host.pumps, 24);
    EXPECT_FALSE(driver.enCours());
}

TEST_F(JobDriverTest, FirstHourAfterLastHourWritesAndSendsNothing)
{
    platform.platformStates.fill(0);

    driver.UDPDataArrival_00(request(6, 5));

    QStringList expected = opening(QStringLiteral("Réception: Station: S1 Date: 08/05/2020 de 06H à 05H"));
    expected << QStringLiteral("Création des XML") << QStringLiteral("MAJ des données sur le Net")
             << QStringLiteral("Status des heures") << QStringLiteral("Infos FTP des sons")
             << QStringLiteral("Transfert du conducteur") << closing();
    EXPECT_EQ(lignes.lines, expected);
    EXPECT_TRUE(exporter.calls.isEmpty());
    EXPECT_EQ(platform.calls,
              (QStringList{QStringLiteral("status 1 20200508 6-5"), QStringLiteral("ftp 0")}));
}

TEST_F(JobDriverTest, ImportRefusedTwiceKeepsTheHourAndStillTriesTheNextOnes)
{
    platform.platformStates.fill(0);
    const FakePlatform::Outcome refused{false, true};
    platform.script[FakePlatform::import(6)] = {refused, refused};
    platform.script[FakePlatform::import(7)] = {refused, refused};

    driver.UDPDataArrival_00(request(6, 7));

    const QString forced = QStringLiteral("auth cle secret forced");
    EXPECT_EQ(platform.calls, (QStringList{QStringLiteral("status 1 20200508 6-7"), QStringLiteral("ftp 0"),
                                           FakePlatform::import(6), forced, FakePlatform::import(6),
                                           FakePlatform::import(7), forced, FakePlatform::import(7)}));
    EXPECT_EQ(lignes.lines.mid(lignes.lines.indexOf(QStringLiteral("Transfert du conducteur"))),
              (QStringList{QStringLiteral("Transfert du conducteur"), begin(6), end(6), notSent(6), begin(7),
                           end(7), notSent(7), kProblem}
               << closing()));
    for (int h : {6, 7}) {
        EXPECT_TRUE(onDisk(hourFile(h)));
        EXPECT_EQ(driver.NomFichierXMLHeure[std::size_t(h)], hourFile(h));
    }
}

TEST_F(JobDriverTest, FailureLeftByAnEarlierHourIsRecoveredOnTheNextHour)
{
    platform.platformStates.fill(0);
    const FakePlatform::Outcome refused{false, true};
    platform.script[FakePlatform::import(6)] = {refused, refused};

    driver.UDPDataArrival_00(request(6, 7));

    // Hour 7 finds the failure still recorded after its first try, authenticates and tries again.
    const QString forced = QStringLiteral("auth cle secret forced");
    EXPECT_EQ(platform.calls.mid(2),
              (QStringList{FakePlatform::import(6), forced, FakePlatform::import(6), FakePlatform::import(7),
                           forced, FakePlatform::import(7), FakePlatform::setStatus(7)}));
    EXPECT_FALSE(lignes.lines.contains(kProblem));
    EXPECT_TRUE(onDisk(hourFile(6)));
    EXPECT_FALSE(onDisk(hourFile(7)));
}

TEST_F(JobDriverTest, SingleAuthenticationFailureIsRetriedOnceAndSucceeds)
{
    platform.platformStates.fill(0);
    const FakePlatform::Outcome expired{false, true};
    platform.script[QStringLiteral("status 1 20200508 6-6")] = {expired};
    platform.script[FakePlatform::import(6)] = {expired};
    QList<qsizetype> pumpedAfterCalls;
    host.onPump = [&] { pumpedAfterCalls.append(platform.calls.size()); };

    driver.UDPDataArrival_00(request(6, 6));

    const QString forced = QStringLiteral("auth cle secret forced");
    EXPECT_EQ(platform.calls, (QStringList{QStringLiteral("status 1 20200508 6-6"), forced,
                                           QStringLiteral("status 1 20200508 6-6"), QStringLiteral("ftp 0"),
                                           FakePlatform::import(6), forced, FakePlatform::import(6),
                                           FakePlatform::setStatus(6)}));
    EXPECT_FALSE(lignes.lines.contains(kProblem));
    EXPECT_FALSE(onDisk(hourFile(6)));
    EXPECT_TRUE(driver.NomFichierXMLHeure[6].isEmpty());
    // Pending events run just before each forced authentication.
    EXPECT_TRUE(pumpedAfterCalls.contains(1));
    EXPECT_TRUE(pumpedAfterCalls.contains(5));
}

TEST_F(JobDriverTest, StatusRefusedTwiceSkipsEveryLaterPlatformStep)
{
    platform.platformStates.fill(0);
    platform.authSucceeds = false;
    platform.script[QStringLiteral("status 1 20200508 6-6")] = {{false, true}, {false, true}};

    driver.UDPDataArrival_00(request(6, 6));

    EXPECT_EQ(platform.calls,
              (QStringList{QStringLiteral("status 1 20200508 6-6"), QStringLiteral("auth cle secret forced"),
                           QStringLiteral("status 1 20200508 6-6")}));
    EXPECT_EQ(lignes.lines.mid(lignes.lines.indexOf(QStringLiteral("Status des heures"))),
              QStringList{QStringLiteral("Status des heures")} << kProblem << closing());
    EXPECT_TRUE(onDisk(hourFile(6)));
}

TEST_F(JobDriverTest, ARecordedAuthenticationFailureGetsOneNewLoginBeforeTheJobGivesUp)
{
    platform.platformStates.fill(0);
    platform.authFailure = true;
    platform.authSucceeds = false;

    driver.UDPDataArrival_00(request(4, 5));

    QStringList expected = opening(QStringLiteral("Réception: Station: S1 Date: 08/05/2020 de 04H à 05H"));
    expected << QStringLiteral("Création des XML") << QStringLiteral("MAJ des données sur le Net") << kProblem
             << closing();
    EXPECT_EQ(lignes.lines, expected);
    EXPECT_EQ(platform.calls, QStringList{QStringLiteral("auth cle secret forced")});
    EXPECT_TRUE(onDisk(hourFile(4)));
    EXPECT_TRUE(onDisk(hourFile(5)));
    EXPECT_EQ(test::traced(trace, QStringLiteral("an earlier authentication failed: logging in again")), 1);

    // The platform accepts the key again: the next job logs in once and sends everything.
    platform.authSucceeds = true;
    platform.calls.clear();
    lignes.lines.clear();
    driver.UDPDataArrival_00(request(4, 5));
    EXPECT_EQ(platform.calls,
              (QStringList{QStringLiteral("auth cle secret forced"), QStringLiteral("status 1 20200508 4-5"),
                           QStringLiteral("ftp 0"), FakePlatform::import(4), FakePlatform::setStatus(4),
                           FakePlatform::import(5), FakePlatform::setStatus(5)}));
    EXPECT_FALSE(lignes.lines.contains(kProblem));
    EXPECT_FALSE(onDisk(hourFile(4)));
    EXPECT_FALSE(onDisk(hourFile(5)));
    EXPECT_EQ(platform.jobsBegun, 2);

    // Without a recorded failure no login is made.
    platform.calls.clear();
    driver.UDPDataArrival_00(request(4, 4));
    EXPECT_EQ(platform.calls.first(), QStringLiteral("status 1 20200508 4-4"));
}

TEST_F(JobDriverTest, AnUnreachablePlatformIsAskedNothingMoreInThatJob)
{
    platform.platformStates.fill(0);
    const FakePlatform::Outcome silent{false, false, true};
    platform.script[FakePlatform::import(5)] = {silent};

    driver.UDPDataArrival_00(request(4, 6));

    // Hour 04 went through; 05 met the time-out; 06 is not tried.
    EXPECT_EQ(platform.calls,
              (QStringList{QStringLiteral("status 1 20200508 4-6"), QStringLiteral("ftp 0"),
                           FakePlatform::import(4), FakePlatform::setStatus(4), FakePlatform::import(5)}));
    EXPECT_EQ(lignes.lines.mid(lignes.lines.indexOf(QStringLiteral("Transfert du conducteur"))),
              (QStringList{QStringLiteral("Transfert du conducteur"), begin(4), end(4), begin(5), end(5),
                           notSent(5), notSent(6)}
               << closing()));
    EXPECT_EQ(driver.result().hoursNotSent, 2);
    for (int h : {5, 6})
        EXPECT_TRUE(onDisk(hourFile(h))) << h;
    // What an alert names: the station, the day, the hours and the last failure line.
    EXPECT_EQ(driver.result().station, 1);
    EXPECT_EQ(driver.result().day, QDate(2020, 5, 8));
    EXPECT_EQ(driver.result().sentHours, std::bitset<24>(1u << 4));
    EXPECT_EQ(driver.result().unsentHours, std::bitset<24>((1u << 5) | (1u << 6)));
    EXPECT_EQ(driver.result().lastFailure, notSent(6));

    // Found unreachable by the hour-status query: no FTP account, no transfer.
    platform.calls.clear();
    lignes.lines.clear();
    platform.script[QStringLiteral("status 1 20200508 4-6")] = {silent};
    driver.UDPDataArrival_00(request(4, 6));
    EXPECT_EQ(platform.calls, QStringList{QStringLiteral("status 1 20200508 4-6")});
    EXPECT_FALSE(lignes.lines.contains(QStringLiteral("Infos FTP des sons")));
    EXPECT_FALSE(driver.result().statesReceived);
    // Every requested hour waits for the platform, and none was said "non envoyé".
    EXPECT_EQ(driver.result().unsentHours, std::bitset<24>(0x70));
    EXPECT_TRUE(driver.result().sentHours.none());
}

TEST_F(JobDriverTest, AQuitDuringTheTransferKeepsTheRestWithOneLine)
{
    platform.platformStates.fill(0);
    // The operator quits while hour 04 is being imported; its exchange is abandoned.
    platform.onCall = [&](const QString& call) {
        if (call == FakePlatform::import(4))
            lifecycle.requestQuit();
    };
    platform.script[FakePlatform::import(4)] = {{false, false, true}};

    driver.UDPDataArrival_00(request(3, 6));

    EXPECT_EQ(platform.calls.filter(QStringLiteral("import")),
              (QStringList{FakePlatform::import(3), FakePlatform::import(4)}));
    EXPECT_EQ(lignes.lines.mid(lignes.lines.indexOf(end(4))),
              (QStringList{end(4), QStringLiteral("Fermeture demandée: 04H à 06H conservées")} << closing()));
    EXPECT_EQ(lignes.lines.filter(QStringLiteral("non envoy")).size(), 0);
    EXPECT_EQ(driver.result().hoursNotSent, 3);
    for (int h : {4, 5, 6})
        EXPECT_TRUE(onDisk(hourFile(h))) << h;
}

TEST_F(JobDriverTest, AnHourImportedButNotMarkedKeepsItsFile)
{
    platform.platformStates.fill(0);
    platform.script[FakePlatform::setStatus(4)] = {{false, false}};

    driver.UDPDataArrival_00(request(4, 5));

    EXPECT_TRUE(
        lignes.lines.contains(QStringLiteral("Transfert du conducteur de 04H: statut non mis à jour")));
    EXPECT_TRUE(onDisk(hourFile(4)));
    EXPECT_EQ(driver.NomFichierXMLHeure[4], hourFile(4));
    EXPECT_FALSE(onDisk(hourFile(5)));
    EXPECT_EQ(driver.result().hoursNotSent, 1);
}

TEST_F(JobDriverTest, AStationTheDatabaseDoesNotHaveIsRefusedBeforeAnyFileOrPlatformCall)
{
    platform.platformStates.fill(0);
    for (const QString& value :
         {QString(), QStringLiteral("0"), QStringLiteral("3"), QStringLiteral("-1"), QStringLiteral("x")}) {
        lignes.lines.clear();
        const QString field = value.isNull() ? QString() : QStringLiteral("<NoStation:") + value + u'>';
        driver.UDPDataArrival_00(
            QStringLiteral("<DateConducteur:20200508><HHDeb:1><HHFin:2><StationLib:S1>") + field);

        QStringList expected =
            opening(QStringLiteral("Réception: Station: S1 Date: 08/05/2020 de 01H à 02H"));
        expected << QStringLiteral("Requête invalide: NoStation '") + value + u'\'' << closing();
        EXPECT_EQ(lignes.lines, expected) << value.toStdString();
        EXPECT_FALSE(driver.result().requestValid);
    }
    EXPECT_TRUE(exporter.calls.isEmpty());
    EXPECT_TRUE(platform.calls.isEmpty());

    driver.UDPDataArrival_00(
        request(1, 1).replace(QStringLiteral("<NoStation:1>"), QStringLiteral("<NoStation:2>")));
    EXPECT_TRUE(driver.result().requestValid) << "the database's last station";
    EXPECT_EQ(exporter.calls.size(), 1);
}

TEST_F(JobDriverTest, AnHourNotWrittenIsSaidCountedAndNotSent)
{
    platform.platformStates.fill(0);
    // A file of hour 05 from an earlier job, which the export removes when it cannot write the hour.
    exporter.outcomes[5] = {
        HourExport::Outcome::Failed, {}, QStringLiteral("fichier du conducteur non ouvert (station 1)")};
    exporter.outcomes[6] = {HourExport::Outcome::Empty, {}, {}};

    driver.UDPDataArrival_00(request(5, 7));

    const QStringList expected{
        QStringLiteral("Création des XML"),
        QStringLiteral("Création du XML de 05H impossible: fichier du conducteur non ouvert (station 1)"),
        QStringLiteral("Conducteur de 06H vide: non envoyé"), QStringLiteral("MAJ des données sur le Net")};
    const qsizetype at = lignes.lines.indexOf(expected[0]);
    ASSERT_GE(at, 0);
    EXPECT_EQ(lignes.lines.mid(at, 4), expected);
    EXPECT_EQ(platform.calls.filter(QStringLiteral("import")), QStringList{FakePlatform::import(7)});
    EXPECT_EQ(driver.result().hoursNotSent, 2) << "each hour counted once";
    EXPECT_TRUE(driver.result().requestValid);
}

TEST_F(JobDriverTest, InvalidScheduleDateStopsBeforeAnyFileOrPlatformCall)
{
    platform.platformStates.fill(0);
    platform.authFailure = true; // not mentioned either: the request itself is refused
    for (const QString& value : {QStringLiteral("20200230"), QStringLiteral("2020058"),
                                 QStringLiteral("2020O508"), QStringLiteral("202005081"), QString()}) {
        lignes.lines.clear();
        driver.UDPDataArrival_00(QStringLiteral("<DateConducteur:") + value +
                                 QStringLiteral("><HHDeb:1><HHFin:2><StationLib:S1>"));

        QStringList expected = opening(QStringLiteral("Réception: Station: S1 Date:  de 01H à 02H"));
        expected << QStringLiteral("Requête invalide: DateConducteur '") + value + u'\'' << closing();
        EXPECT_EQ(lignes.lines, expected) << value.toStdString();
    }
    EXPECT_TRUE(exporter.calls.isEmpty());
    EXPECT_TRUE(platform.calls.isEmpty());
    EXPECT_FALSE(driver.enCours());
}

TEST_F(JobDriverTest, ImportWithoutUsableAnswerKeepsTheFileAndSkipsTheStatus)
{
    platform.platformStates.fill(0);
    platform.script[FakePlatform::import(10)] = {{false, false}};

    driver.UDPDataArrival_00(request(10, 11));

    EXPECT_EQ(platform.calls.mid(2),
              (QStringList{FakePlatform::import(10), FakePlatform::import(11), FakePlatform::setStatus(11)}));
    EXPECT_TRUE(onDisk(hourFile(10)));
    EXPECT_EQ(driver.NomFichierXMLHeure[10], hourFile(10));
    EXPECT_FALSE(onDisk(hourFile(11)));
    EXPECT_EQ(lignes.lines.mid(lignes.lines.indexOf(end(10)), 3),
              (QStringList{end(10), notSent(10), begin(11)}));
    EXPECT_FALSE(lignes.lines.contains(notSent(11)));
    EXPECT_EQ(driver.result().hoursNotSent, 1);
    EXPECT_FALSE(lignes.lines.contains(kProblem));
}

TEST_F(JobDriverTest, FailingStepIsReportedAndTheJobGoesOn)
{
    erreursAttendues = true;
    platform.platformStates.fill(0);
    exporter.throwOnHour = 6;

    driver.UDPDataArrival_00(request(5, 7));

    EXPECT_EQ(exporter.hours, (QList<int>{5, 6, 7}));
    EXPECT_EQ(platform.calls.mid(2), (QStringList{FakePlatform::import(5), FakePlatform::setStatus(5),
                                                  FakePlatform::import(7), FakePlatform::setStatus(7)}));
    EXPECT_EQ(lignes.lines.mid(lignes.lines.size() - 2), closing());
    EXPECT_TRUE(test::traced(trace, QStringLiteral("Frm_MainBis:UDPDataArrival_00")));
}

TEST_F(JobDriverTest, RequestArrivingThroughAPumpDoesNotStartASecondJob)
{
    platform.platformStates.fill(0);
    bool busySeen = false;
    host.onPump = [&] {
        busySeen = busySeen || driver.enCours();
        driver.UDPDataArrival_00(request(20, 20));
    };

    driver.UDPDataArrival_00(request(5, 5));

    EXPECT_TRUE(busySeen);
    EXPECT_FALSE(driver.enCours());
    EXPECT_EQ(exporter.hours, QList<int>{5});
    EXPECT_EQ(lignes.lines.count(QStringLiteral("Début du traitement")), 1);
    EXPECT_EQ(driver.requete.HHDeb, 5);
    EXPECT_TRUE(test::traced(trace, QStringLiteral("a job is already running")));

    // Once the job has returned the next request runs normally.
    host.onPump = nullptr;
    driver.UDPDataArrival_00(request(20, 20));
    EXPECT_EQ(exporter.hours, (QList<int>{5, 20}));
}

TEST_F(JobDriverTest, NothingHappensWhileTheApplicationCloses)
{
    lifecycle.unloadStarted();
    host.progressLines = QStringList{QStringLiteral("kept")};

    driver.UDPDataArrival_00(kRequest);

    EXPECT_TRUE(lignes.lines.isEmpty());
    EXPECT_EQ(lignes.resets, 0);
    EXPECT_EQ(host.progressLines, QStringList{QStringLiteral("kept")});
    EXPECT_TRUE(exporter.calls.isEmpty());
    EXPECT_TRUE(platform.calls.isEmpty());
    EXPECT_TRUE(driver.TexteUDPDonneeRecues.isEmpty());
}

TEST_F(JobDriverTest, ReplyTargetOnlyWhenTheRequestNamesOne)
{
    for (const QString& reply : {QString(), QStringLiteral("<ReponseIP:   >")}) {
        lignes = test::RecordingLines{};
        lignes.target = QStringLiteral("stale");
        driver.UDPDataArrival_00(request(1, 1) + reply + QStringLiteral("<ReponsePort:112>"));
        EXPECT_EQ(lignes.resets, 1);
        EXPECT_EQ(lignes.targetsSet, 0);
        EXPECT_TRUE(lignes.target.isEmpty());
        EXPECT_EQ(driver.requete.ReponsePort, 0);
    }
}

TEST_F(JobDriverTest, InvalidBuildDateFallsBackToNowInTheExport)
{
    driver.UDPDataArrival_00(request(2, 2) + QStringLiteral("<BuilddDate:31/02/2020 10:00:00>"));
    ASSERT_EQ(exporter.calls.size(), 1);
    EXPECT_TRUE(exporter.calls.first().endsWith(QStringLiteral("|07/05/2020 09:30:15")));
}

TEST(ScheduleRequestParsing, HoursAreClampedAndReadNumerically)
{
    const QDateTime now(QDate(2021, 1, 2), QTime(3, 4, 5));
    ScheduleRequest r = parseScheduleRequest(QStringLiteral("<HHDeb:-3><HHFin:30>"), now);
    EXPECT_EQ(r.HHDeb, 0);
    EXPECT_EQ(r.HHFin, 23);

    r = parseScheduleRequest(QStringLiteral("<HHDeb:xx><HHFin:7.6><NoStation:2.5>"), now);
    EXPECT_EQ(r.HHDeb, 0);
    EXPECT_EQ(r.HHFin, 8);
    EXPECT_EQ(r.NoStation, 2);
}

TEST(ScheduleRequestParsing, KeysAnyCaseFirstOccurrenceWins)
{
    const ScheduleRequest r = parseScheduleRequest(
        QStringLiteral("<hhdeb:05><HHDeb:07><DATECONDUCTEUR:20200508><stationlib:A: <b>><StationLib:B>"), {});
    EXPECT_EQ(r.HHDeb, 5);
    EXPECT_EQ(r.DateConducteur, QStringLiteral("20200508"));
    EXPECT_EQ(r.dateConducteur(), QDate(2020, 5, 8));
    EXPECT_EQ(r.StationLib, QStringLiteral("A: <b"));
}

TEST(ScheduleRequestParsing, ReplyPortReadOnlyWithAnAddress)
{
    EXPECT_EQ(parseScheduleRequest(QStringLiteral("<ReponsePort:112>"), {}).ReponsePort, 0);
    EXPECT_EQ(parseScheduleRequest(QStringLiteral("<ReponseIP: ><ReponsePort:112>"), {}).ReponsePort, 0);
    const ScheduleRequest r = parseScheduleRequest(QStringLiteral("<ReponseIP:host-1><ReponsePort:112>"), {});
    EXPECT_EQ(r.ReponseIP, QStringLiteral("host-1"));
    EXPECT_EQ(r.ReponsePort, 112);
}

TEST(ScheduleRequestParsing, BuildDateValidOrNow)
{
    const QDateTime now(QDate(2021, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(parseScheduleRequest(QStringLiteral("<BuilddDate:06/05/2020 14:48:57>"), now).BuilddDate,
              QDateTime(QDate(2020, 5, 6), QTime(14, 48, 57)));
    for (const QString& text :
         {QStringLiteral("<BuilddDate:32/05/2020 14:48:57>"), QStringLiteral("<BuilddDate:>"),
          QStringLiteral("<BuilddDate:hier>"), QString()})
        EXPECT_EQ(parseScheduleRequest(text, now).BuilddDate, now) << text.toStdString();
}

} // namespace
