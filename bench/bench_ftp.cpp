// A folder listing of 10,000 entries, as a server sends it, parsed into the tester's rows with
// their permission and size texts, then sorted as a click on a column does.
#include "app/FrmSetupFTP.h"
#include "net/FtpListing.h"

#include <benchmark/benchmark.h>

namespace {

using namespace nvx;

QByteArray listing(bool mlsd)
{
    QByteArray out;
    for (int i = 0; i < 10'000; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (mlsd)
            out += "type=file;size=" + n + ";modify=20200220093015;UNIX.mode=0644;UNIX.owner=radio; son " +
                   n + ".wav\r\n";
        else
            out += "-rw-r--r--    1 radio    sons     " + n + " Feb 20 09:30 son " + n + ".wav\r\n";
    }
    return out;
}

void BM_ParseListing(benchmark::State& state)
{
    const bool mlsd = state.range(0) != 0;
    const QByteArray answer = listing(mlsd);
    for (auto _ : state) {
        QList<FtpRow> rows = ftpRows(parseListing(answer, mlsd));
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * 10'000);
}
BENCHMARK(BM_ParseListing)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The rows sorted by name, descending: the first click on "Name".
void BM_ParseAndSortListing(benchmark::State& state)
{
    const bool mlsd = state.range(0) != 0;
    const QByteArray answer = listing(mlsd);
    for (auto _ : state) {
        QList<FtpRow> rows = ftpRows(parseListing(answer, mlsd));
        sortFtpRows(rows, 0, 1);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * 10'000);
}
BENCHMARK(BM_ParseAndSortListing)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
