// Months of work in one process: thousands of 24-hour jobs, each exporting the day from the record
// files and sending it to the platform simulator (a separate process on loopback), with no reply
// address. Reports the resident memory and the open descriptors after the warm-up and at the end.
//
//   build/bin/bench_soak                    10,000 jobs (about 20 minutes)
//   NVX_SOAK_JOBS=1000 build/bin/bench_soak a shorter run
#include "DayFixture.h"
#include "common/Lifecycle.h"
#include "job/HourExporter.h"
#include "job/JobDriver.h"
#include "job/PlatformSession.h"
#include "link/Replies.h"
#include "platform/PlatformClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <unistd.h>

using namespace nvx;
using namespace nvx::bench;

namespace {

constexpr int kWarmUpJobs = 100;
const QString kRequest =
    QStringLiteral("<NoStation:1><DateConducteur:20200508><HHDeb:00><HHFin:23><StationLib:Soak>");

int soakJobs()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("NVX_SOAK_JOBS", &ok);
    return ok && n > kWarmUpJobs ? n : 10'000;
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

qsizetype openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

// The simulator as its own process, so that what it keeps is not counted with the tool's memory.
class Simulator {
public:
    Simulator()
    {
        process_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vl3-platform-sim"),
                       {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"),
                        QStringLiteral("/dev/null"), QStringLiteral("--credentials"),
                        QStringLiteral("soak-key:soak-secret")});
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains('\n'); ++i) {
            process_.waitForReadyRead(100);
            out += process_.readAllStandardOutput();
        }
        const QString line = QString::fromUtf8(out).trimmed();
        url = QStringLiteral("http://") + line.mid(line.lastIndexOf(u' ') + 1);
        verifier(line.startsWith(QStringLiteral("vl3-platform-sim listening")), "simulator start");
    }
    ~Simulator()
    {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    QString url;

private:
    QProcess process_;
};

void BM_Soak(benchmark::State& state)
{
    const int jobs = soakJobs();
    Programme programme{jour()};
    test::DbOwners& o = programme.o;
    o.systeme.setRegistryFolder(o.drives.path() + QStringLiteral("/"));
    // As in the running program: settings loaded, trace lines going to the daily file in batches.
    o.lifecycle.setSetupCharge(true);
    o.trace.setLogFolder(0, QStringLiteral("C:\\Logs\\"));
    Simulator sim;
    PlatformConfig config;
    config.URL = sim.url;
    config.Cle = QStringLiteral("soak-key");
    config.Secret = QStringLiteral("soak-secret");
    config.DossierXML = programme.settings.TexteDossierXML;
    PlatformClient client(config, o.trace, o.clock, o.host, o.systeme, o.lifecycle);
    ClientSession session(client);
    ScheduleHourExporter heures(programme.exporter);
    JobDriver driver(o.trace, o.clock, o.host, o.systeme, o.lifecycle, heures, session);
    client.login();
    verifier(client.PbBTokenValide(), "login");

    qint64 rssWarm = 0, rssEnd = 0, rssMax = 0;
    qsizetype fdWarm = 0, fdEnd = 0;
    for (auto _ : state) {
        for (int n = 1; n <= jobs; ++n) {
            driver.UDPDataArrival_00(kRequest);
            verifier(driver.result().statesReceived && driver.result().hoursNotSent == 0,
                     "every hour sent");
            rssMax = std::max(rssMax, residentBytes());
            if (n == kWarmUpJobs) {
                rssWarm = residentBytes();
                fdWarm = openDescriptors();
            }
        }
        rssEnd = residentBytes();
        fdEnd = openDescriptors();
    }
    state.counters["jobs"] = jobs;
    state.counters["rss_job100_kB"] = double(rssWarm) / 1024;
    state.counters["rss_end_kB"] = double(rssEnd) / 1024;
    state.counters["rss_max_kB"] = double(rssMax) / 1024;
    state.counters["growth_B_per_job"] = double(rssEnd - rssWarm) / double(jobs - kWarmUpJobs);
    state.counters["fd_job100"] = double(fdWarm);
    state.counters["fd_end"] = double(fdEnd);
    state.counters["incidents"] = double(o.host.incidentLines.size());
}
BENCHMARK(BM_Soak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
