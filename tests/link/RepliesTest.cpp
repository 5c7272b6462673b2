#include "link/Replies.h"

#include "common/Win1252.h"
#include "link/UdpSocket.h"
#include "support/LinkFixture.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace nvx;
using namespace nvx::test;

namespace {

class RepliesTest : public ::testing::Test {
protected:
    RepliesTest() { owners.clock.setNow(QDateTime(QDate(2020, 5, 8), QTime(14, 5, 9))); }

    // A scheduler listening on a loopback address other than 127.0.0.1, on a port chosen now.
    quint16 listen()
    {
        EXPECT_TRUE(scheduler.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        return scheduler.localPort();
    }
    QStringList received(int count)
    {
        QStringList out;
        waitFor([&] {
            while (scheduler.hasPendingDatagrams())
                out.append(fromWindows1252(scheduler.receiveDatagram().data()));
            return out.size() >= count;
        });
        return out;
    }

    LinkOwners owners;
    Replies replies{owners.trace, owners.clock, owners.host, owners.settings};
    QUdpSocket scheduler;
};

TEST_F(RepliesTest, WithoutReplyAddressNothingIsSent)
{
    replies.sendLine(QStringLiteral("14:05:09 Début du traitement"));
    replies.setTarget(QStringLiteral("127.0.0.2"), 9);
    replies.setTarget(QString(), 0);
    replies.sendLine(QStringLiteral("14:05:09 Création des XML"));
    EXPECT_FALSE(replies.PbBReponseScheduler);
    EXPECT_EQ(replies.socket(0).handle(), -1) << "no socket is touched without a reply address";
}

TEST_F(RepliesTest, EveryLineReachesTheSchedulerIncludingClear)
{
    const quint16 port = listen();
    replies.setTarget(QStringLiteral("127.0.0.2"), port);
    const qint64 debut = owners.clock.ChronoMilliSec();
    const int pumpsAvant = owners.host.pumps;
    replies.sendLine(QStringLiteral("14:05:09 Clear"));
    replies.sendLine(QStringLiteral("14:05:09 Réception: Station: Matin"));
    replies.sendLine(QStringLiteral("14:05:09 ") + QString(1500, u'x'));
    // The scheduler needs 200 ms between two lines; events keep running meanwhile.
    EXPECT_GE(owners.clock.ChronoMilliSec() - debut, 3 * Replies::kWaitAfterWriteMs);
    EXPECT_GT(owners.host.pumps - pumpsAvant, 3 * Replies::kWaitAfterWriteMs / 2);
    const QStringList got = received(3);
    ASSERT_EQ(got.size(), 3);
    EXPECT_EQ(got[0], QStringLiteral("14:05:09 Clear"));
    EXPECT_EQ(got[1], QStringLiteral("14:05:09 Réception: Station: Matin"));
    EXPECT_EQ(got[2].size(), 1024);
    EXPECT_TRUE(got[2].startsWith(QStringLiteral("14:05:09 xxx")));
    EXPECT_TRUE(owners.traced(QStringLiteral("UDP: SocketWrenchUDPOut.Write: Data Sent to: 127.0.0.2:") +
                              QString::number(port)));
    EXPECT_TRUE(owners.traced(QStringLiteral("UDP: SocketWrenchUDPOut_OnWrite: Index: 0")));
    EXPECT_TRUE(owners.traced(QStringLiteral("UDP: SocketWrenchUDPOut_OnDisconnect: Index: 0")))
        << "the socket is closed before every send";
    EXPECT_EQ(replies.dernierAddress[0], QStringLiteral("127.0.0.2"));
    EXPECT_EQ(replies.dernierPort[0], port);
}

TEST_F(RepliesTest, NothingIsSentToThisMachinesOwnAddress)
{
    replies.setTarget(QStringLiteral("127.0.0.1"), 9);
    replies.sendLine(QStringLiteral("14:05:09 Début du traitement"));
    replies.setTarget(QStringLiteral("localhost"), 9);
    replies.sendLine(QStringLiteral("14:05:09 Fin du traitement"));
    EXPECT_TRUE(
        owners.traced(QStringLiteral("UDP: SocketWrenchUDPOut.Resolve: HostName changed to HostAddress: "
                                     "localhost to 127.0.0.1")));
    EXPECT_FALSE(owners.traced(QStringLiteral("SocketWrenchUDPOut.Connected")));
    EXPECT_EQ(replies.socket(0).handle(), -1);
}

TEST_F(RepliesTest, ManualSendUsesBothPortsOfTheRow)
{
    const quint16 port = listen();
    QUdpSocket second;
    ASSERT_TRUE(second.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    owners.settings.Emission[3].IP = QStringLiteral("127.0.0.2");
    owners.settings.Emission[3].Port1 = QString::number(port);
    owners.settings.Emission[3].Port2 = QString::number(second.localPort());
    replies.SendMessageUDP(3, QStringLiteral("essai"));
    EXPECT_EQ(received(1), QStringList{QStringLiteral("essai")});
    ASSERT_TRUE(waitFor([&] { return second.hasPendingDatagrams(); }));
    EXPECT_EQ(second.receiveDatagram().data(), QByteArray("essai"));
}

} // namespace
