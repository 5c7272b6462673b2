// Trace-log throughput: lines per second from TraceLog to the daily file, written in batches
// of the default size (200 lines).
#include "common/Clock.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "support/FakeHost.h"
#include "system/Systeme.h"
#include "system/Trace.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void BM_TraceLogToFile(benchmark::State& state)
{
    QTemporaryDir tmp;
    nvx::setDriveRoot(tmp.path());
    nvx::SystemClock clock;
    nvx::test::FakeHost host;
    nvx::Identity identity;
    nvx::Lifecycle lifecycle;
    lifecycle.setSetupCharge(true);
    nvx::Trace trace(clock, host, identity, lifecycle);
    nvx::Systeme systeme(trace, clock, host, identity, lifecycle);
    trace.attach(systeme);
    trace.setLogFolder(0, QStringLiteral("C:\\Logs\\"));
    trace.setBatchSizeText(QString::number(state.range(0)));

    const QString text =
        QStringLiteral("UDPDataArrival_00: Hour 07: XML file written: NVX_Upload_20201208_07_Station_01.xml");
    for (auto _ : state)
        trace.TraceLog(-1, -1, -1, text);
    trace.flush();
    state.SetItemsProcessed(state.iterations());
    nvx::setDriveRoot({});
}
BENCHMARK(BM_TraceLogToFile)->Arg(200)->Arg(1000)->Unit(benchmark::kNanosecond);

} // namespace
