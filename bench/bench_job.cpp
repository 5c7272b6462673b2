// The whole main job for a full day against the platform simulator on loopback, with no reply
// address: the 24 hour files written, then the platform phase (the hour states, the sound FTP
// account, and for every hour its import and its state). For comparison in the same run, the
// same 50 exchanges made by a plain libcurl loop (one handle, no event pumping, no answer
// analysis), and by the program's transport alone, which tells the transport's share of the
// difference from the answer handling's.
#include "DayFixture.h"
#include "SimServer.h"
#include "common/Lifecycle.h"
#include "job/HourExporter.h"
#include "job/JobDriver.h"
#include "job/PlatformSession.h"
#include "net/HttpTransport.h"
#include "platform/PlatformClient.h"
#include "platform/PlatformRequests.h"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <curl/curl.h>
#include <vector>

namespace {

using namespace nvx;
using namespace nvx::bench;

const QDate kJour(2020, 5, 8);
const QString kRequete =
    QStringLiteral("<NoStation:1><DateConducteur:20200508><HHDeb:00><HHFin:23><StationLib:Matin>");

// The platform session of the program, with the time spent in its exchanges added up.
class TimedPlatform final : public PlatformSession {
public:
    explicit TimedPlatform(PlatformClient& client) : session_(client) {}

    bool PbBErreurAuthentification() const override { return session_.PbBErreurAuthentification(); }
    qint16 StatutHeure(int heure) const override { return session_.StatutHeure(heure); }
    PlatformStep reauthenticate() override
    {
        return timed([&] { return session_.reauthenticate(); });
    }
    PlatformStep UDPDataArrival_04_02_Hours_Get_Status(qint16 noStation, const QDate& date, qint16 hhDeb,
                                                       qint16 hhFin) override
    {
        return timed(
            [&] { return session_.UDPDataArrival_04_02_Hours_Get_Status(noStation, date, hhDeb, hhFin); });
    }
    PlatformStep UDPDataArrival_04_03_FTP_Sons(int ligne) override
    {
        return timed([&] { return session_.UDPDataArrival_04_03_FTP_Sons(ligne); });
    }
    PlatformStep UDPDataArrival_04_04_Conducteur(qint16 noStation, const QString& fichier) override
    {
        return timed([&] { return session_.UDPDataArrival_04_04_Conducteur(noStation, fichier); });
    }
    PlatformStep UDPDataArrival_04_05_Hours_Set_Status(qint16 noStation, const QDate& date, int premiere,
                                                       int derniere) override
    {
        return timed([&] {
            return session_.UDPDataArrival_04_05_Hours_Set_Status(noStation, date, premiere, derniere);
        });
    }
    PlatformStep login() override { return session_.login(); }
    void beginJob() override { session_.beginJob(); }
    bool unreachable() const override { return session_.unreachable(); }

    qint64 nanoseconds = 0;

private:
    template <class F> PlatformStep timed(F&& f)
    {
        QElapsedTimer t;
        t.start();
        PlatformStep fait = f();
        nanoseconds += t.nsecsElapsed();
        return fait;
    }
    ClientSession session_;
};

struct Banc {
    Programme programme{jour()};
    platformsim::SimConfig sim;
    std::unique_ptr<platformsim::SimServer> server;
    PlatformConfig config;
    std::unique_ptr<PlatformClient> client;
    std::unique_ptr<TimedPlatform> timed;
    ScheduleHourExporter heures{programme.exporter};
    std::unique_ptr<JobDriver> driver;

    Banc()
    {
        test::DbOwners& o = programme.o;
        o.systeme.setRegistryFolder(o.drives.path() + QStringLiteral("/"));
        sim.credentials = {{QStringLiteral("bench-key"), QStringLiteral("bench-secret")}};
        sim.logFile = o.drives.filePath(QStringLiteral("platform.log"));
        server = std::make_unique<platformsim::SimServer>(sim, [&o] { return o.clock.now(); });
        const int port = server->start();
        verifier(port > 0, "simulator start");
        config.URL = QStringLiteral("http://127.0.0.1:") + QString::number(port);
        config.Cle = sim.credentials[0].key;
        config.Secret = sim.credentials[0].secret;
        config.DossierXML = programme.settings.TexteDossierXML;
        config.Ftp.Serveur = QStringLiteral("ftp.example.org");
        config.Ftp.NoPort = QStringLiteral("21");
        config.Ftp.User = QStringLiteral("sons");
        config.Ftp.PW = QStringLiteral("p&w");
        client = std::make_unique<PlatformClient>(config, o.trace, o.clock, o.host, o.systeme, o.lifecycle);
        timed = std::make_unique<TimedPlatform>(*client);
        driver =
            std::make_unique<JobDriver>(o.trace, o.clock, o.host, o.systeme, o.lifecycle, heures, *timed);
        // Authenticated at start-up, as the program is before its first job.
        client->login();
        verifier(client->PbBTokenValide(), "login");
    }
    ~Banc()
    {
        driver.reset();
        client.reset();
        server->stop();
    }

    // Every hour open again on the platform, so that each job sends the whole day.
    void rouvrirHeures()
    {
        for (int h = 0; h < kHeures; ++h)
            server->state().presetState({1, kJour, h, 0});
    }
    qint64 job()
    {
        rouvrirHeures();
        timed->nanoseconds = 0;
        driver->UDPDataArrival_00(kRequete);
        verifier(driver->result().statesReceived && driver->result().hoursNotSent == 0,
                 "every hour sent");
        return timed->nanoseconds;
    }
};

Banc& banc()
{
    static Banc b;
    return b;
}

// The plain loop's 50 requests: the ones the job makes, built the same way, with the bodies the
// platform received from the job.
std::vector<PlatformRequest> requetesDuJob(Banc& b)
{
    const QString token = b.client->TokenId();
    std::vector<PlatformRequest> r;
    r.push_back(RequeteStatutHeures(token, 1, kJour));
    r.push_back(RequeteFtpSons(token, b.config.Ftp));
    for (int h = 0; h < kHeures; ++h) {
        const std::optional<std::string> corps = b.server->state().importedBody({1, kJour, h});
        verifier(corps.has_value(), "imported hour");
        r.push_back(RequeteImportConducteur(token, 1, QByteArray::fromStdString(*corps)));
        r.push_back(RequeteSetStatutHeure(token, 1, kJour, h));
    }
    return r;
}

size_t ajouter(char* data, size_t size, size_t count, void* cible)
{
    static_cast<std::string*>(cible)->append(data, size * count);
    return size * count;
}

// The job's 50 requests made one after the other on one easy handle, without event pumping or
// answer analysis: what the platform phase is compared with.
class PlainLoop {
public:
    explicit PlainLoop(Banc& b) : b_(b), requetes_(requetesDuJob(b)), base_(b.client->urlBase().toUtf8())
    {
        verifier(requetes_.size() == 50, "50 exchanges");
        get_ = curl_slist_append(nullptr, "Accept: */*");
        post_ = curl_slist_append(curl_slist_append(curl_slist_append(nullptr, "Accept: */*"),
                                                    "Content-Type: text/xml; charset=UTF-8"),
                                  "Expect:");
        curl_easy_setopt(e_, CURLOPT_USERAGENT, HttpTransport::userAgent());
        curl_easy_setopt(e_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e_, CURLOPT_WRITEFUNCTION, ajouter);
        curl_easy_setopt(e_, CURLOPT_WRITEDATA, &reponse_);
    }
    ~PlainLoop()
    {
        curl_slist_free_all(get_);
        curl_slist_free_all(post_);
        curl_easy_cleanup(e_);
    }
    PlainLoop(const PlainLoop&) = delete;
    PlainLoop& operator=(const PlainLoop&) = delete;

    // Nanoseconds spent in the 50 exchanges.
    qint64 run()
    {
        b_.rouvrirHeures();
        QElapsedTimer t;
        t.start();
        for (const PlatformRequest& r : requetes_) {
            const QByteArray url = base_ + r.path.toUtf8();
            curl_easy_setopt(e_, CURLOPT_URL, url.constData());
            if (r.post) {
                curl_easy_setopt(e_, CURLOPT_POST, 1L);
                curl_easy_setopt(e_, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r.body.size()));
                curl_easy_setopt(e_, CURLOPT_POSTFIELDS, r.body.constData());
                curl_easy_setopt(e_, CURLOPT_HTTPHEADER, post_);
            } else {
                curl_easy_setopt(e_, CURLOPT_HTTPGET, 1L);
                curl_easy_setopt(e_, CURLOPT_HTTPHEADER, get_);
            }
            reponse_.clear();
            long code = 0;
            verifier(curl_easy_perform(e_) == CURLE_OK, "plain exchange");
            curl_easy_getinfo(e_, CURLINFO_RESPONSE_CODE, &code);
            verifier(code == 200 && reponse_.find("<code>2") != std::string::npos, "plain answer");
        }
        return t.nsecsElapsed();
    }

private:
    Banc& b_;
    const std::vector<PlatformRequest> requetes_;
    const QByteArray base_;
    CURL* e_ = curl_easy_init();
    curl_slist* get_ = nullptr;
    curl_slist* post_ = nullptr;
    std::string reponse_;
};

// Each job is followed, outside the timed part, by the plain loop, so that the two are compared
// pair by pair under the same conditions of this machine (its speed drifts by a third within
// minutes).
void BM_JobDay(benchmark::State& state)
{
    Banc& b = banc();
    b.job(); // the first job also writes the day's files for the first time
    PlainLoop boucle(b);
    qint64 plateforme = 0;
    qint64 simple = 0;
    for (auto _ : state) {
        plateforme += b.job();
        state.PauseTiming();
        simple += boucle.run();
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    state.counters["platform_ms"] = benchmark::Counter(double(plateforme) / 1e6 / n);
    state.counters["plain_ms"] = benchmark::Counter(double(simple) / 1e6 / n);
    state.counters["ratio"] = benchmark::Counter(double(plateforme) / double(simple));
}
BENCHMARK(BM_JobDay)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainCurlLoop(benchmark::State& state)
{
    Banc& b = banc();
    b.job();
    PlainLoop boucle(b);
    for (auto _ : state)
        state.SetIterationTime(double(boucle.run()) / 1e9);
}
BENCHMARK(BM_PlainCurlLoop)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_TransportLoop(benchmark::State& state)
{
    Banc& b = banc();
    b.job();
    const std::vector<PlatformRequest> requetes = requetesDuJob(b);
    const QString base = b.client->urlBase();
    HttpTransport t(b.programme.o.host);
    for (auto _ : state) {
        b.rouvrirHeures();
        QElapsedTimer chrono;
        chrono.start();
        for (const PlatformRequest& r : requetes) {
            const HttpAnswer a = r.post ? t.post(base + r.path, r.body) : t.get(base + r.path);
            verifier(a.repondu(), "transport");
        }
        state.SetIterationTime(double(chrono.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_TransportLoop)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
