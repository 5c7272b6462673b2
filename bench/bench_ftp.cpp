// A folder listing of 10,000 entries, as a server sends it, parsed into the tester's rows with
// their permission and size texts.
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
    qint64 rows = 0;
    for (auto _ : state) {
        const QList<FtpEntry> entries = parseListing(answer, mlsd);
        for (const FtpEntry& e : entries)
            rows += FilePerms(e.flags, e.folder).size() + tailleTexte(e.size).size();
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(state.iterations() * 10'000);
}
BENCHMARK(BM_ParseListing)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
