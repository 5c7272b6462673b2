#include "link/RequestIntake.h"

#include "common/Win1252.h"
#include "job/JobDriver.h"
#include "link/Replies.h"
#include "link/UdpSocket.h"
#include "support/LinkFixture.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;

namespace {

class RequestIntakeTest : public ::testing::Test {
protected:
    RequestIntakeTest()
    {
        owners.settings.Reception[0] = {QStringLiteral("127.0.0.1"), QStringLiteral("0"), false, {}};
        driver.listen(intake, replies);
    }
    // started: the start-up is over, so that requests are run.
    quint16 switchOn(bool started = true)
    {
        if (started)
            owners.lifecycle.startupEnded();
        owners.settings.setReceptionActif(0, true);
        return intake.socket(0).localPort();
    }
    void send(quint16 port, const QString& text)
    {
        sender.writeDatagram(toWindows1252(text), QHostAddress::LocalHost, port);
    }
    static QString request(int station)
    {
        return QStringLiteral("<NoStation:%1><DateConducteur:20201208><HHDeb:05><HHFin:05>").arg(station);
    }

    LinkOwners owners;
    RecordingExport exporter;
    RecordingPlatform platform;
    Replies replies{owners.trace, owners.clock, owners.host, owners.settings};
    JobDriver driver{owners.trace,     owners.clock, owners.host, owners.systeme,
                     owners.lifecycle, exporter,     platform};
    RequestIntake intake{owners.trace, owners.clock, owners.host, owners.settings, owners.lifecycle};
    QUdpSocket sender;
};

TEST_F(RequestIntakeTest, SwitchingAnEndpointBindsAndUnbindsIt)
{
    const quint16 port = switchOn();
    ASSERT_NE(intake.socket(0).handle(), -1);
    EXPECT_GT(port, 0);
    EXPECT_TRUE(owners.traced(QStringLiteral("UDP: SocketWrenchUDPIn.Binded to: 127.0.0.1:0 (Index: 0)")));
    EXPECT_TRUE(owners.traced(QStringLiteral("UDP: SocketWrenchUDPIn: Receive buffer: ")));
    EXPECT_TRUE(owners.settings.networkModified);

    owners.settings.setReceptionActif(0, false);
    EXPECT_EQ(intake.socket(0).handle(), -1);
    EXPECT_TRUE(owners.traced(QStringLiteral("UDP: SocketWrenchUDPIn.Disconnected (Index: 0)")));

    owners.settings.Reception[1] = {QStringLiteral("  "), QStringLiteral("5000"), false, {}};
    owners.settings.setReceptionActif(1, true);
    EXPECT_EQ(intake.socket(1).handle(), -1);
    EXPECT_TRUE(
        owners.traced(QStringLiteral("Err: Unable to Check CheckUDPInActif due to IP source is empty")));
}

TEST_F(RequestIntakeTest, RequestsAreQueuedHeldWhileLoadingAndRunInOrder)
{
    const quint16 port = switchOn(false);
    send(port, request(1));
    send(port, QStringLiteral("     "));
    send(port, request(2));
    ASSERT_TRUE(waitFor([&] { return intake.ListeDataArrival.size() == 2; }));
    EXPECT_TRUE(owners.traced(QStringLiteral("UDP: Data arrival:      ")))
        << "a datagram of blanks is logged but not queued";

    intake.TimerDataArrival_Timer();
    EXPECT_EQ(intake.ListeDataArrival.size(), 2) << "held while the main window loads";
    EXPECT_TRUE(intake.TimerDataArrival.isActive());
    EXPECT_TRUE(exporter.calls.isEmpty());

    owners.lifecycle.startupEnded();
    ASSERT_TRUE(waitFor([&] { return exporter.calls.size() == 2; }));
    EXPECT_TRUE(exporter.calls[0].startsWith(QStringLiteral("1|")));
    EXPECT_TRUE(exporter.calls[1].startsWith(QStringLiteral("2|")));
    EXPECT_TRUE(intake.ListeDataArrival.isEmpty());
    EXPECT_FALSE(intake.TimerDataArrival.isActive());
}

TEST_F(RequestIntakeTest, ATickDuringAJobNeverStartsANestedJob)
{
    const quint16 port = switchOn();
    int depth = 0;
    int deepest = 0;
    exporter.during = [&] {
        ++depth;
        deepest = qMax(deepest, depth);
        // A request arrives and the timer ticks while this job runs.
        if (exporter.calls.size() == 1) {
            send(port, request(2));
            waitFor([&] { return !intake.ListeDataArrival.isEmpty(); });
            intake.TimerDataArrival_Timer();
        }
        --depth;
    };
    send(port, request(1));
    ASSERT_TRUE(waitFor([&] { return exporter.calls.size() == 2; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_TRUE(exporter.calls[1].startsWith(QStringLiteral("2|")));
}

TEST_F(RequestIntakeTest, AConnectInProgressHoldsTheQueueAndAQuitDropsIt)
{
    const quint16 port = switchOn();
    {
        // The connect to the platform waits for an answer and lets events run meanwhile.
        const Lifecycle::Activity connect(owners.lifecycle);
        send(port, request(1));
        ASSERT_TRUE(waitFor([&] { return intake.ListeDataArrival.size() == 1; }));
        intake.TimerDataArrival_Timer();
        EXPECT_TRUE(exporter.calls.isEmpty()) << "no job inside the connect's wait";
        EXPECT_TRUE(intake.TimerDataArrival.isActive());
    }
    ASSERT_TRUE(waitFor([&] { return exporter.calls.size() == 1; })) << "run once the connect has returned";

    // A quit asked during a job: what is still queued is traced, not run.
    exporter.during = [&] {
        if (exporter.calls.size() == 2) {
            send(port, request(3));
            waitFor([&] { return !intake.ListeDataArrival.isEmpty(); });
            owners.lifecycle.requestQuit();
        }
    };
    send(port, request(2));
    ASSERT_TRUE(waitFor([&] { return exporter.calls.size() == 2; }));
    ASSERT_TRUE(waitFor([&] { return intake.ListeDataArrival.isEmpty() && !intake.occupe(); }));
    EXPECT_EQ(exporter.calls.size(), 2);
    EXPECT_TRUE(
        owners.traced(QStringLiteral("Warning: the program is closing, request not run: ") + request(3)));
}

TEST_F(RequestIntakeTest, TheSampleRequestAsksForTheMorningAndAnswersToThisComputer)
{
    owners.lifecycle.startupEnded();
    driver.UDPDataArrival_00(RequestIntake::sampleRequest(QStringLiteral("POSTE-1")));
    ASSERT_EQ(exporter.calls.size(), 12) << "hours 00 to 11";
    EXPECT_EQ(exporter.calls[0], QStringLiteral("1|20200508|0"));
    EXPECT_EQ(driver.requete.ReponseIP, QStringLiteral("POSTE-1"));
    EXPECT_EQ(driver.requete.ReponsePort, 112);
}

TEST_F(RequestIntakeTest, NewNetworkSettingsRebindOnlyTheEndpointsTheyChange)
{
    switchOn();
    const auto binds = [&](int index) {
        return owners.lignes()
            .filter(QStringLiteral("SocketWrenchUDPIn.Binded to:"))
            .filter(QStringLiteral("(Index: %1)").arg(index))
            .size();
    };
    SettingsValues v = owners.settings.values();
    v.Reception[1] = {QStringLiteral("127.0.0.1"), QStringLiteral("0"), true, {}};
    owners.settings.apply(v);
    EXPECT_EQ(binds(0), 1) << "an endpoint whose row did not change stays open";
    EXPECT_EQ(binds(1), 1);
    EXPECT_NE(intake.socket(1).handle(), -1);

    v.Reception[0].Actif = false;
    owners.settings.apply(v);
    EXPECT_EQ(intake.socket(0).handle(), -1);
    EXPECT_NE(intake.socket(1).handle(), -1);
}

TEST_F(RequestIntakeTest, AResetOrAWouldBlockReadReopensTheEndpointAndTheWouldBlockSendsAMail)
{
    const quint16 port = switchOn();
    intake.socket(0).failNextRead(10054);
    send(port, request(1));
    ASSERT_TRUE(waitFor([&] { return owners.traced(QStringLiteral("There is no server running")) > 0; }));
    EXPECT_EQ(intake.socket(0).handle(), -1) << "a reset closes the endpoint";

    owners.settings.setReceptionActif(0, false);
    const quint16 again = switchOn();
    QStringList mails;
    intake.envoiMail = [&](const QString& to, const QString& text, const QString&) {
        mails << to + u'|' + text;
    };
    owners.settings.TexteEmailsAdresses = QStringLiteral("regie@radio.fr");
    intake.socket(0).failNextRead(10035);
    send(again, request(2));
    ASSERT_TRUE(waitFor([&] { return !mails.isEmpty(); }));
    EXPECT_EQ(mails, QStringList{QStringLiteral(
                         "regie@radio.fr|Re-Init SocketWrenchUDPIn due to swErrorOperationWouldBlock")});
    EXPECT_NE(intake.socket(0).handle(), -1) << "a would-block read reopens the endpoint at once";
    EXPECT_EQ(owners.traced(QStringLiteral("UDP: SocketWrenchUDPIn.Disconnect: True")), 2);
}

TEST_F(RequestIntakeTest, AnEndpointTakesRequestsOnlyFromTheSendersItAllows)
{
    owners.settings.Reception[0].Expediteurs = QStringLiteral("10.0.0.0/8;192.168.1.5");
    const quint16 port = switchOn();
    const QString refus =
        QStringLiteral("Warning: UDP: Expéditeur non autorisé, datagrammes ignorés pendant une "
                       "heure: 127.0.0.1 (Index: 0)");
    // On loopback the three wait in the socket when it is first read, and are all read at once.
    for (int i = 0; i < 3; ++i)
        send(port, request(1));
    ASSERT_TRUE(waitFor([&] { return owners.traced(refus) == 1; }));
    EXPECT_TRUE(intake.ListeDataArrival.isEmpty());
    EXPECT_EQ(owners.traced(QStringLiteral("UDP: Data arrival")), 0);

    owners.clock.advance(60 * 60 * 1000);
    send(port, request(1));
    ASSERT_TRUE(waitFor([&] { return owners.traced(refus) == 2; }));
    EXPECT_EQ(owners.traced(refus + QStringLiteral(" (2 autres depuis)")), 1)
        << "one line per sender per hour";

    // A list whose entries are all wrong lets nobody in; a right one lets its sender in.
    owners.settings.Reception[0].Expediteurs = QStringLiteral("127.0.0.300");
    send(port, request(2));
    ASSERT_TRUE(waitFor([&] {
        return owners.traced(
                   QStringLiteral("Warning: UDP: Expediteurs: entrée invalide ignorée: '127.0.0.300'")) == 1;
    }));
    owners.settings.Reception[0].Expediteurs = QStringLiteral("10.0.0.5; 127.0.0.0/8");
    send(port, request(3));
    ASSERT_TRUE(waitFor([&] { return exporter.calls.size() == 1; }));
    EXPECT_TRUE(exporter.calls[0].startsWith(QStringLiteral("3|")));
}

TEST_F(RequestIntakeTest, WhatIsNotARequestIsDroppedAndTheQueueIsBounded)
{
    const quint16 port = switchOn(false);
    for (int i = 0; i < 5; ++i)
        send(port, QStringLiteral("GET / HTTP/1.0 ") + QString(2000, u'x'));
    send(port, request(1).toLower());
    ASSERT_TRUE(waitFor([&] { return intake.ListeDataArrival.size() == 1; }));
    EXPECT_EQ(
        owners.traced(QStringLiteral("Warning: UDP: Datagramme ignoré, ce n'est pas une requête: 127.0.0.1")),
        1)
        << "one line a minute per sender";
    EXPECT_EQ(owners.traced(QStringLiteral("UDP: Data arrival: GET")), 0);

    // Held while the start-up runs: beyond the bound, requests are refused with an incident line.
    for (int i = 1; i < RequestIntake::kMaxQueue + 5; ++i)
        send(port, request(1));
    ASSERT_TRUE(waitFor([&] {
        return owners.traced(QStringLiteral("Err: UDP: File d'attente pleine (1000 requêtes)")) == 1 &&
               intake.ListeDataArrival.size() == RequestIntake::kMaxQueue;
    }));
}

} // namespace
