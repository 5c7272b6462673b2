// Scheduler link: a burst of requests while a job runs (every datagram must be queued and
// run in order), and the cost of one echoed progress line beyond the wait the scheduler
// needs after each datagram.
#include "common/Clock.h"
#include "common/Win1252.h"
#include "job/JobDriver.h"
#include "link/Replies.h"
#include "link/RequestIntake.h"
#include "link/UdpSocket.h"
#include "support/LinkFixture.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <benchmark/benchmark.h>

namespace {

using namespace nvx;
using namespace nvx::test;

struct NullLines final : ProgressLines {
    void MsgListeEtScheduler(const QString&) override {}
    void resetTarget() override {}
    void setTarget(const QString&, qint32) override {}
};

// 1,000 datagrams sent back-to-back while the first job runs.
void BM_BurstWhileAJobRuns(benchmark::State& state)
{
    const int burst = int(state.range(0));
    qint64 lost = 0;
    qint64 outOfOrder = 0;
    for (auto _ : state) {
        LinkOwners owners;
        HourFiles files;
        RecordingExport exporter;
        RecordingPlatform platform;
        NullLines lines;
        JobDriver driver(owners.identity, owners.trace, owners.clock, owners.host, owners.systeme,
                         owners.lifecycle, lines, exporter, platform, files);
        RequestIntake intake(owners.identity, owners.trace, owners.host, owners.settings, owners.lifecycle,
                             driver);
        owners.settings.Reception[0] = {QStringLiteral("127.0.0.1"), QStringLiteral("0"), false};
        owners.settings.setReceptionActif(0, true);
        const quint16 port = intake.socket(0).localPort();
        QUdpSocket sender;
        const auto request = [](int n) {
            return toWindows1252(
                QStringLiteral("<NoStation:%1><DateConducteur:20201208><HHDeb:07><HHFin:07>").arg(n));
        };
        exporter.during = [&] {
            if (exporter.calls.size() != 1)
                return;
            for (int i = 1; i <= burst; ++i)
                sender.writeDatagram(request(i), QHostAddress::LocalHost, port);
            waitFor([&] { return intake.ListeDataArrival.size() >= burst; }, 10000);
        };
        sender.writeDatagram(request(0), QHostAddress::LocalHost, port);
        waitFor([&] { return exporter.calls.size() >= burst + 1; }, 60000);
        lost += burst + 1 - exporter.calls.size();
        for (int i = 0; i < exporter.calls.size(); ++i)
            if (!exporter.calls[i].startsWith(QString::number(i) + u'|'))
                ++outOfOrder;
    }
    state.counters["lost"] = double(lost);
    state.counters["out_of_order"] = double(outOfOrder);
    state.SetItemsProcessed(state.iterations() * (burst + 1));
}
BENCHMARK(BM_BurstWhileAJobRuns)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);

// One progress line echoed to a scheduler on loopback, without the 200 ms wait.
void BM_EchoedLine(benchmark::State& state)
{
    LinkOwners owners;
    SystemClock clock;
    Replies replies(owners.identity, owners.trace, clock, owners.host, owners.settings);
    replies.attenteApresEcriture = 0;
    QUdpSocket scheduler;
    scheduler.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
    replies.setTarget(QStringLiteral("127.0.0.2"), scheduler.localPort());
    for (auto _ : state) {
        replies.MsgListeEtScheduler(QStringLiteral("Transfert du conducteur de 07H: Début"));
        while (scheduler.hasPendingDatagrams())
            scheduler.receiveDatagram();
        if (owners.host.progressLines.size() > 1000)
            owners.host.progressLines.clear();
        if (owners.trace.ListeBis.size() > 1000)
            owners.trace.ListeBis.clear();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EchoedLine)->Unit(benchmark::kMicrosecond);

} // namespace
