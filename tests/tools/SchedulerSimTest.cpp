#include "RequestBuilder.h"
#include "common/Win1252.h"
#include "job/ScheduleRequest.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <optional>

using namespace nvx::schedsim;

namespace {

const QString kSim = QStringLiteral(NVX_BIN_DIR "/vl3-scheduler-sim");

QStringList keysOf(const QString& request)
{
    static const QRegularExpression key(QStringLiteral("<([^:<>]+):"));
    QStringList keys;
    for (auto it = key.globalMatch(request); it.hasNext();)
        keys << it.next().captured(1);
    return keys;
}

RequestFields sampleFields()
{
    RequestFields f;
    f.computerName = QStringLiteral("REGIE-02");
    f.schedulerVersion = QStringLiteral("2021.0101.0900");
    f.date = QDate(2024, 3, 1);
    f.firstHour = 5;
    f.lastHour = 9;
    f.station = 7;
    f.stationLabel = QStringLiteral("Été FM");
    f.userId = QStringLiteral("42");
    f.userLabel = QStringLiteral("Chloé");
    f.buildDate = QDateTime(QDate(2024, 2, 28), QTime(14, 48, 57));
    return f;
}

} // namespace

// ---- request text ----

TEST(SchedulerRequestTest, KeysComeInTheSchedulersOrderWithTheReplyAddressLast)
{
    const QStringList body{QStringLiteral("ComputerName"),   QStringLiteral("SchedulerVersion"),
                           QStringLiteral("DateConducteur"), QStringLiteral("HHDeb"),
                           QStringLiteral("HHFin"),          QStringLiteral("NoStation"),
                           QStringLiteral("StationLib"),     QStringLiteral("UserId"),
                           QStringLiteral("UserLib"),        QStringLiteral("BuilddDate")};
    EXPECT_EQ(keysOf(buildRequest(sampleFields(), std::nullopt)), body);
    const QStringList withReply =
        body + QStringList{QStringLiteral("ReponseIP"), QStringLiteral("ReponsePort")};
    EXPECT_EQ(keysOf(buildRequest(sampleFields(), ReplyAddress{QStringLiteral("127.0.0.2"), 4321})),
              withReply);
}

TEST(SchedulerRequestTest, ToolReadsBackEveryField)
{
    const RequestFields f = sampleFields();
    const QString text = buildRequest(f, ReplyAddress{QStringLiteral("127.0.0.2"), 4321});
    EXPECT_TRUE(text.contains(QStringLiteral("<HHDeb:05><HHFin:09>"))) << qPrintable(text);

    const nvx::ScheduleRequest r = nvx::parseScheduleRequest(text, QDateTime());
    EXPECT_EQ(r.ComputerName, f.computerName);
    EXPECT_EQ(r.SchedulerVersion, f.schedulerVersion);
    EXPECT_EQ(r.dateConducteur(), f.date);
    EXPECT_EQ(r.HHDeb, f.firstHour);
    EXPECT_EQ(r.HHFin, f.lastHour);
    EXPECT_EQ(r.NoStation, f.station);
    EXPECT_EQ(r.StationLib, f.stationLabel);
    EXPECT_EQ(r.UserId, f.userId);
    EXPECT_EQ(r.UserLib, f.userLabel);
    EXPECT_EQ(r.BuilddDate, f.buildDate);
    EXPECT_EQ(r.ReponseIP, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(r.ReponsePort, 4321);
}

TEST(SchedulerRequestTest, DefaultsAskForTheWholeDayOfStationOne)
{
    const QDateTime now(QDate(2025, 12, 31), QTime(23, 59, 58));
    const QString text = buildRequest(defaultFields(now), std::nullopt);
    EXPECT_TRUE(text.contains(QStringLiteral("<HHDeb:00><HHFin:23>"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("<BuilddDate:31/12/2025 23:59:58>"))) << qPrintable(text);

    const nvx::ScheduleRequest r = nvx::parseScheduleRequest(text, QDateTime());
    EXPECT_EQ(r.ComputerName, QHostInfo::localHostName());
    EXPECT_EQ(r.SchedulerVersion, QStringLiteral("2020.0409.1204"));
    EXPECT_EQ(r.DateConducteur, QStringLiteral("20251231"));
    EXPECT_EQ(r.NoStation, 1);
    EXPECT_EQ(r.StationLib, QStringLiteral("Station 1"));
    EXPECT_EQ(r.UserId, QStringLiteral("1"));
    EXPECT_EQ(r.UserLib, QStringLiteral("Operateur"));
    EXPECT_EQ(r.BuilddDate, now);
    EXPECT_TRUE(r.ReponseIP.isEmpty());
}

TEST(SchedulerRequestTest, RawTextKeepsItsOwnReplyAddress)
{
    const ReplyAddress reply{QStringLiteral("127.0.0.3"), 5000};
    EXPECT_EQ(withReplyAddress(QStringLiteral("<NoStation:3>"), reply),
              QStringLiteral("<NoStation:3><ReponseIP:127.0.0.3><ReponsePort:5000>"));
    // A key that only appears as a value does not count as an address.
    EXPECT_EQ(withReplyAddress(QStringLiteral("<StationLib:ReponseIP>"), reply),
              QStringLiteral("<StationLib:ReponseIP><ReponseIP:127.0.0.3><ReponsePort:5000>"));
    for (const QString& own : {QStringLiteral("<ReponseIP:10.0.0.9><ReponsePort:7>"),
                               QStringLiteral("<reponseip:10.0.0.9><NoStation:3>")})
        EXPECT_EQ(withReplyAddress(own, reply), own);
}

TEST(SchedulerRequestTest, OnlyTheSeventeenSignLineClosesAJob)
{
    EXPECT_TRUE(isClosingLine(QStringLiteral("14:05:09 =================")));
    EXPECT_FALSE(isClosingLine(QStringLiteral("14:05:09 ==================="))); // opening line
    EXPECT_FALSE(isClosingLine(QStringLiteral("=================")));            // no time
    EXPECT_FALSE(isClosingLine(QStringLiteral("14:05:09 ================= fin")));
    EXPECT_FALSE(isClosingLine(QStringLiteral("1a:05:09 =================")));
    EXPECT_FALSE(isClosingLine(QStringLiteral("14:05:09 Fin du traitement")));
    EXPECT_EQ(replyMessage(QStringLiteral("14:05:09 Début du traitement")),
              QStringLiteral("Début du traitement"));
    EXPECT_TRUE(replyMessage(QStringLiteral("14:05:09")).isNull());
}

// ---- the executable against a fake scheduler peer ----

class SchedulerSimProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0)); }

    QStringList withPort(QStringList args) const
    {
        return QStringList{QStringLiteral("--port"), QString::number(peer.localPort())} + args;
    }
    void start(const QStringList& args)
    {
        sim.start(kSim, withPort(args));
        ASSERT_TRUE(sim.waitForStarted(10000));
    }
    // The request the sim sent, waited for at most ten seconds.
    std::optional<QNetworkDatagram> receive()
    {
        for (int i = 0; i < 100 && !peer.hasPendingDatagrams(); ++i)
            peer.waitForReadyRead(100);
        if (!peer.hasPendingDatagrams())
            return std::nullopt;
        return peer.receiveDatagram();
    }
    void answer(const nvx::ScheduleRequest& r, const QStringList& lines)
    {
        for (const QString& line : lines)
            ASSERT_EQ(peer.writeDatagram(nvx::toWindows1252(line), QHostAddress(r.ReponseIP),
                                         quint16(r.ReponsePort)),
                      nvx::toWindows1252(line).size());
    }
    QStringList printedLines()
    {
        return QString::fromUtf8(sim.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

    QUdpSocket peer;
    QProcess sim;
};

TEST_F(SchedulerSimProcessTest, PrintsEveryLineAndStopsAfterTheClosingLine)
{
    start({QStringLiteral("--station"), QStringLiteral("7"), QStringLiteral("--label"), QStringLiteral("Été"),
           QStringLiteral("--first"), QStringLiteral("5"), QStringLiteral("--last"), QStringLiteral("9"),
           QStringLiteral("--date"), QStringLiteral("20240301")});
    const auto request = receive();
    ASSERT_TRUE(request);
    // Sent in the scheduler's code page, not UTF-8.
    EXPECT_TRUE(request->data().contains("<StationLib:\xC9t\xE9>")) << request->data().constData();
    const nvx::ScheduleRequest r =
        nvx::parseScheduleRequest(nvx::fromWindows1252(request->data()), QDateTime());
    EXPECT_EQ(r.NoStation, 7);
    EXPECT_EQ(r.HHDeb, 5);
    EXPECT_EQ(r.HHFin, 9);
    EXPECT_EQ(r.DateConducteur, QStringLiteral("20240301"));
    EXPECT_EQ(r.ReponseIP, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(r.ReponsePort, request->senderPort()); // replies go to the socket that sent

    const QStringList job{QStringLiteral("12:00:00 Clear"), QStringLiteral("12:00:00 ==================="),
                          QStringLiteral("12:00:00 Début du traitement"),
                          QStringLiteral("12:00:00 Fin du traitement"),
                          QStringLiteral("12:00:00 =================")};
    answer(r, job + QStringList{QStringLiteral("12:00:01 après la fin")});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().constData();
    EXPECT_EQ(printedLines(), job);
}

TEST_F(SchedulerSimProcessTest, OpeningLineAloneEndsInTimeOut)
{
    start({QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("--date"),
           QStringLiteral("20240301")});
    const auto request = receive();
    ASSERT_TRUE(request);
    const nvx::ScheduleRequest r =
        nvx::parseScheduleRequest(nvx::fromWindows1252(request->data()), QDateTime());
    answer(r, {QStringLiteral("12:00:00 ===================")});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 1);
    EXPECT_EQ(printedLines(), QStringList{QStringLiteral("12:00:00 ===================")});
    EXPECT_TRUE(sim.readAllStandardError().contains("no closing line"));
}

TEST_F(SchedulerSimProcessTest, RawTextGetsTheListeningAddressAppended)
{
    start({QStringLiteral("--raw"), QStringLiteral("<NoStation:3><HHDeb:-3>"), QStringLiteral("--listen"),
           QStringLiteral("127.0.0.2")});
    const auto request = receive();
    ASSERT_TRUE(request);
    const QString text = nvx::fromWindows1252(request->data());
    EXPECT_TRUE(text.startsWith(QStringLiteral("<NoStation:3><HHDeb:-3><ReponseIP:127.0.0.2><ReponsePort:")))
        << qPrintable(text);
    const nvx::ScheduleRequest r = nvx::parseScheduleRequest(text, QDateTime());
    answer(r, {QStringLiteral("08:15:00 =================")});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_EQ(printedLines(), QStringList{QStringLiteral("08:15:00 =================")});
}

TEST_F(SchedulerSimProcessTest, NoReplySendsWithoutAddressAndReturnsAtOnce)
{
    start({QStringLiteral("--no-reply"), QStringLiteral("--date"), QStringLiteral("20240301")});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    const auto request = receive();
    ASSERT_TRUE(request);
    const QString text = nvx::fromWindows1252(request->data());
    EXPECT_TRUE(text.startsWith(QStringLiteral("<ComputerName:"))) << qPrintable(text);
    EXPECT_FALSE(text.contains(QStringLiteral("ReponseIP"))) << qPrintable(text);
}

TEST_F(SchedulerSimProcessTest, SilenceIsSaidOnceWhileTheWaitGoesOn)
{
    start({QStringLiteral("--timeout"), QStringLiteral("11"), QStringLiteral("--date"),
           QStringLiteral("20240301")});
    ASSERT_TRUE(receive());
    ASSERT_TRUE(sim.waitForFinished(20000));
    EXPECT_EQ(sim.exitCode(), 1);
    const QString err = QString::fromUtf8(sim.readAllStandardError());
    EXPECT_EQ(err.count(QStringLiteral("aucune réponse de 127.0.0.1:") + QString::number(peer.localPort()) +
                        QStringLiteral(" depuis 10 s")),
              1)
        << qPrintable(err);
    EXPECT_TRUE(err.contains(QStringLiteral("no closing line")));
}

TEST_F(SchedulerSimProcessTest, BadOptionsShowUsageAndSendNothing)
{
    const QList<QStringList> cases{
        {QStringLiteral("--first"), QStringLiteral("xx"), QStringLiteral("--date"),
         QStringLiteral("20240301")},
        {QStringLiteral("--first"), QStringLiteral("24"), QStringLiteral("--date"),
         QStringLiteral("20240301")},
        {QStringLiteral("--last"), QStringLiteral("-1"), QStringLiteral("--date"),
         QStringLiteral("20240301")},
        {QStringLiteral("--station"), QStringLiteral("1")}, // no --date
        {QStringLiteral("--date"), QStringLiteral("20230231")},
        {QStringLiteral("--date"), QStringLiteral("2023-02-03")},
        {QStringLiteral("--raw"), QStringLiteral("<NoStation:1>"), QStringLiteral("--station"),
         QStringLiteral("2")},
        {QStringLiteral("--label"), QStringLiteral("a>b")},
        {QStringLiteral("--listen"), QStringLiteral("0.0.0.0")},
        {QStringLiteral("--timeout"), QStringLiteral("0")},
        {QStringLiteral("--bogus")},
    };
    for (const QStringList& args : cases) {
        sim.start(kSim, withPort(args));
        ASSERT_TRUE(sim.waitForFinished(10000));
        EXPECT_EQ(sim.exitCode(), 2) << qPrintable(args.join(u' '));
        EXPECT_TRUE(sim.readAllStandardError().contains("Usage:")) << qPrintable(args.join(u' '));
    }
    sim.start(kSim, {QStringLiteral("--no-reply")}); // no --port
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 2);
    EXPECT_FALSE(peer.hasPendingDatagrams());
}
