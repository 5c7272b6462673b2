// One mail of the tool, built and sent on loopback to the SMTP peer: what a test mail or an alert
// costs the program, from the workstation block to the server's acceptance.
#include "common/Clock.h"
#include "config/SettingsValues.h"
#include "mail/Mailer.h"
#include "support/FakeHost.h"
#include "support/PythonPeer.h"
#include "support/RecordingReporter.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

using namespace nvx;

void BM_SendMail(benchmark::State& state)
{
    test::PythonPeer peer;
    if (!peer.start(QStringLiteral("smtp_peer.py"))) {
        state.SkipWithError("SMTP peer did not start");
        return;
    }
    SettingsValues values;
    values.EmailSmtp.Serveur = QStringLiteral("127.0.0.1");
    values.EmailSmtp.Port = peer.port();
    values.EmailSmtp.Securite = 0;
    values.EmailSmtp.Expediteur = QStringLiteral("noreply@velmora.example");
    test::FakeHost host;
    // As in the program, waits let pending events run: here the peer's output is read, so its
    // pipe never fills and stalls it.
    host.onPump = [] { QCoreApplication::processEvents(); };
    test::RecordingReporter reporter;
    SystemClock clock;
    Mailer mailer(values, host, reporter, clock, [] {
        WorkstationInfo p;
        p.radioId = QStringLiteral("{0A1B}");
        p.mainCaption = QStringLiteral("Velmora: Tools NVX - 3.2.1 - {0A1B}");
        return p;
    });
    qint64 sent = 0;
    for (auto _ : state) {
        if (!mailer.EnvoiMail(false, QStringLiteral("ops@x.fr"), QStringLiteral("Test d'envoi de mail."), {},
                              false)) {
            state.SkipWithError(mailer.lastError().toUtf8().constData());
            break;
        }
        ++sent;
    }
    // Every mail reached the server's output before its acceptance came back.
    if (peer.lines(int(sent) + 1).size() < sent + 1)
        state.SkipWithError("the peer did not print every mail");
    state.SetItemsProcessed(sent);
}
BENCHMARK(BM_SendMail)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
