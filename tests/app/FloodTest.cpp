// The real program's UDP port under a flood of junk, huge datagrams and requests with absurd
// values, with real requests in between: it must keep running, keep its memory, and answer every
// real request in full. NVX_FLOOD_DATAGRAMS sets the count for longer runs by hand.
#include "ProgramFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QThread>
#include <QUdpSocket>

#include <gtest/gtest.h>

namespace {

using nvx::test::ProgramFixture;

// Bytes waiting in the receive queue of the loopback UDP socket bound to port, from the kernel's
// table; -1 when the socket is not found.
qint64 waitingBytes(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == local)
            return fields[4].split(':').value(1).toLongLong(nullptr, 16);
    }
    return -1;
}

qint64 kilobytes(qint64 pid, const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

class Flood {
public:
    explicit Flood(quint32 seed) : random_(seed) {}

    // The n-th datagram of the flood: random bytes, a datagram of the largest size, or a request
    // that looks right but whose station, date or hours are absurd.
    QByteArray datagram(int n)
    {
        switch (n % 20) {
        case 0:
            return absurdRequest(n / 20);
        case 1:
            return bytes(65507);
        case 2:
            return QByteArray("<NoStation:1>") + QByteArray("<X:1>").repeated(10000);
        default:
            return bytes(1 + int(random_.bounded(1500)));
        }
    }

    // Whether the n-th datagram is taken for a request and run.
    static bool isRequest(int n) { return n % 20 == 0 || n % 20 == 2; }

private:
    QByteArray absurdRequest(int k)
    {
        static const QList<QByteArray> stations{"0", "65535", "-1", "1e9", "abc"};
        static const QList<QByteArray> dates{"00000000", "99999999", "20201332", ""};
        // Every other one names a station the database lacks, the others a date that does not exist.
        const QByteArray station = k % 2 == 0 ? stations[k / 2 % stations.size()] : "1";
        const QByteArray date = k % 2 == 0 ? "20201208" : dates[k / 2 % dates.size()];
        return "<NoStation:" + station + "><DateConducteur:" + date +
               "><HHDeb:" + QByteArray::number(int(random_.bounded(105)) - 5) +
               "><HHFin:" + QByteArray::number(int(random_.bounded(105)) - 5) + '>';
    }
    QByteArray bytes(int size)
    {
        QByteArray b(size, Qt::Uninitialized);
        for (char& c : b)
            c = char(random_.bounded(256));
        return b;
    }

    QRandomGenerator random_;
};

class FloodTest : public ProgramFixture {};

TEST_F(FloodTest, TheProgramOutlivesAFloodAndAnswersEveryRealRequest)
{
    const int total = qEnvironmentVariableIsSet("NVX_FLOOD_DATAGRAMS")
                          ? qEnvironmentVariableIntValue("NVX_FLOOD_DATAGRAMS")
                          : 100000;
    // Ten real requests: each answer takes a few seconds, the scheduler's lines being paced.
    const int betweenRequests = qMax(1, total / 10);
    constexpr int kBatch = 100;
    const quint32 seed = quint32(QRandomGenerator::global()->generate());
    SCOPED_TRACE("flood seed " + std::to_string(seed));

    QProcess tool;
    QByteArray out;
    const quint16 port = startListening(tool, out);
    ASSERT_GT(port, 0) << out.constData();
    const qint64 rssAtStart = kilobytes(tool.processId(), "VmRSS");

    QUdpSocket scheduler;
    ASSERT_TRUE(scheduler.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    // Hours out of the day are brought back into it: before midnight, after 23H.
    const QByteArray replyTo =
        "<StationLib:Matin><ReponseIP:127.0.0.2><ReponsePort:" + QByteArray::number(scheduler.localPort()) +
        '>';
    const QList<QByteArray> real{"<NoStation:1><DateConducteur:20201208><HHDeb:-5><HHFin:0>" + replyTo,
                                 "<NoStation:1><DateConducteur:20201208><HHDeb:23><HHFin:99>" + replyTo};
    // Waits for the end of one real request's reply sequence, keeping every line.
    QStringList replies;
    const auto answered = [&] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 120000) {
            if (!scheduler.hasPendingDatagrams() && !scheduler.waitForReadyRead(1000))
                continue;
            while (scheduler.hasPendingDatagrams()) {
                QByteArray d(int(scheduler.pendingDatagramSize()), '\0');
                scheduler.readDatagram(d.data(), d.size());
                replies << QString::fromLatin1(d).mid(9);
                if (replies.last() == QStringLiteral("================="))
                    return true;
            }
        }
        return false;
    };

    // What the program prints must be read, or its output pipe fills up and it waits; each job
    // it ran ends with one "Fin du traitement" line.
    QByteArray printed;
    qsizetype counted = 0;
    int jobsDone = 0;
    const auto readPrinted = [&] {
        tool.waitForReadyRead(0);
        printed += tool.readAllStandardOutput();
        for (qsizetype at; (at = printed.indexOf("Fin du traitement", counted)) >= 0;) {
            ++jobsDone;
            counted = at + 1;
        }
    };
    // Requests wait in a bounded queue: the flood keeps it short, as a real scheduler's would be.
    const auto jobsCatchUp = [&](int sent, int allowed) {
        QElapsedTimer t;
        t.start();
        // Each job the program ends prints; what it prints is waited for.
        for (readPrinted(); jobsDone < sent - allowed && t.elapsed() < 120000; readPrinted())
            tool.waitForReadyRead(100);
        return jobsDone >= sent - allowed;
    };

    Flood flood(seed);
    QUdpSocket sender;
    int realSent = 0;
    int requestsSent = 0;
    for (int n = 0; n < total; ++n) {
        sender.writeDatagram(flood.datagram(n), QHostAddress::LocalHost, port);
        requestsSent += Flood::isRequest(n) ? 1 : 0;
        // The kernel drops what does not fit in the socket: what is sent must have been read.
        if (n % kBatch == kBatch - 1) {
            QElapsedTimer t;
            t.start();
            while (waitingBytes(port) > 0 && t.elapsed() < 60000)
                QThread::msleep(1);
            ASSERT_EQ(waitingBytes(port), 0) << "the program stopped reading after " << n << " datagrams";
            ASSERT_TRUE(jobsCatchUp(requestsSent, 200)) << "the program stopped running requests after " << n;
        }
        if (n % betweenRequests == betweenRequests - 1) {
            ASSERT_TRUE(jobsCatchUp(requestsSent, 0));
            sender.writeDatagram(real[realSent % 2], QHostAddress::LocalHost, port);
            ++realSent;
            ++requestsSent;
            ASSERT_TRUE(answered()) << "real request " << realSent << " after " << n << " datagrams";
        }
    }
    ASSERT_EQ(tool.state(), QProcess::Running);
    const qint64 peak = kilobytes(tool.processId(), "VmHWM");

    // Every real request got its whole sequence, hours clamped to the day.
    EXPECT_EQ(replies.count(QStringLiteral("Début du traitement")), realSent);
    EXPECT_EQ(replies.count(QStringLiteral("Réception: Station: Matin Date: 08/12/2020 de 00H à 00H")),
              (realSent + 1) / 2);
    EXPECT_EQ(replies.count(QStringLiteral("Réception: Station: Matin Date: 08/12/2020 de 23H à 23H")),
              realSent / 2);
    EXPECT_EQ(replies.count(QStringLiteral("Fin du traitement")), realSent);
    tool.terminate();
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0);

    // The absurd requests were refused in so many words, and none reached an export.
    const QString lines = QString::fromUtf8(printed + tool.readAllStandardOutput());
    EXPECT_GT(lines.count(QStringLiteral("Requête invalide: NoStation '65535'")), 0);
    EXPECT_GT(lines.count(QStringLiteral("Requête invalide: DateConducteur '99999999'")), 0);
    EXPECT_EQ(lines.count(QStringLiteral("Création des XML")), realSent);
    std::cout << "flood: " << total << " datagrams, " << realSent << " real requests, RSS " << rssAtStart
              << " kB at start, peak " << peak << " kB\n";
#if !defined(__SANITIZE_ADDRESS__)
    // A bounded queue and bounded reads: the flood costs the program a few megabytes at most.
    EXPECT_LT(peak - rssAtStart, 32 * 1024);
#endif
}

} // namespace
