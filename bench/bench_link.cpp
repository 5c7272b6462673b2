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

// 1,000 datagrams sent back-to-back while the first job runs.
void BM_BurstWhileAJobRuns(benchmark::State& state)
{
    const int burst = int(state.range(0));
    qint64 lost = 0;
    qint64 outOfOrder = 0;
    for (auto _ : state) {
        LinkOwners owners;
        RecordingExport exporter;
        exporter.stations = burst + 1; // a database with one station per request
        RecordingPlatform platform;
        JobDriver driver(owners.trace, owners.clock, owners.host, owners.systeme, owners.lifecycle, exporter,
                         platform);
        RequestIntake intake(owners.trace, owners.clock, owners.host, owners.settings, owners.lifecycle);
        Replies replies(owners.trace, owners.clock, owners.host, owners.settings);
        driver.listen(intake, replies);
        owners.lifecycle.startupEnded();
        owners.settings.Reception[0] = {QStringLiteral("127.0.0.1"), QStringLiteral("0"), false, {}};
        owners.settings.setReceptionActif(0, true);
        const quint16 port = intake.socket(0).localPort();
        QUdpSocket sender;
        const auto request = [](int n) {
            return toWindows1252(
                QStringLiteral("<NoStation:%1><DateConducteur:20201208><HHDeb:07><HHFin:07>").arg(n + 1));
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
            if (!exporter.calls[i].startsWith(QString::number(i + 1) + u'|'))
                ++outOfOrder;
    }
    state.counters["lost"] = double(lost);
    state.counters["out_of_order"] = double(outOfOrder);
    state.SetItemsProcessed(state.iterations() * (burst + 1));
}
BENCHMARK(BM_BurstWhileAJobRuns)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);

// One progress line sent to a scheduler on loopback, without the 200 ms wait.
void BM_EchoedLine(benchmark::State& state)
{
    LinkOwners owners;
    SystemClock clock;
    Replies replies(owners.trace, clock, owners.host, owners.settings);
    replies.attenteApresEcriture = 0;
    QUdpSocket scheduler;
    scheduler.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
    replies.setTarget(QStringLiteral("127.0.0.2"), scheduler.localPort());
    for (auto _ : state) {
        replies.sendLine(QStringLiteral("14:05:09 Transfert du conducteur de 07H: Début"));
        while (scheduler.hasPendingDatagrams())
            scheduler.receiveDatagram();
        if (owners.trace.ListeBis.size() > 1000)
            owners.trace.ListeBis.clear();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EchoedLine)->Unit(benchmark::kMicrosecond);

} // namespace
