// Every exchange of a job against every fault the platform can show, on a platform simulator in
// this process: the job ends within its time-outs, says what happened in French, logs in at most
// twice per step, marks no hour it did not import and keeps every file it did not send; once the
// fault is lifted the next job of the same process sends what was left.
#include "common/Lifecycle.h"
#include "job/HourExporter.h"
#include "job/JobDriver.h"
#include "job/PlatformSession.h"
#include "platform/PlatformFixture.h"

#include <QElapsedTimer>
#include <QJsonArray>

using namespace nvx;
using namespace nvx::test;
using platformsim::FaultKind;
using platformsim::FaultRule;

namespace {

// Short time-outs keep the whole matrix within two minutes.
constexpr int kConnectSec = 1;
constexpr int kAnswerSec = 2;
constexpr qint64 kPhaseLimitMs = (kConnectSec + kAnswerSec + 2) * 1000;
const QDate kDay(2020, 2, 20);

struct Exchange {
    const char* name;
    const char* method;
    const char* path;
    // The progress line said just before the exchange: a refusal starts there. Empty: before the
    // connect.
    const char* before;
    // The exchange happens at the connect only when a token is stored.
    bool storedToken;
};

const Exchange kExchanges[] = {
    {"login", "POST", "/vlapi/auth$", "", false},
    {"token check", "GET", "/auth/test$", "", true},
    {"hour states", "GET", "/schedule/\\d{4}-\\d\\d-\\d\\d/status$", "Status des heures", true},
    {"FTP credentials", "POST", "/ftp/credentials$", "Infos FTP des sons", true},
    {"schedule import", "POST", "/schedule/import$", "Transfert du conducteur de 07H: Début", true},
    {"hour status set", "POST", "/schedule/\\d{4}-\\d\\d-\\d\\d/\\d+/status$",
     "Transfert du conducteur de 07H: Fin", true},
};

// A fault as the simulator shows it, and the line the operator then reads: the text, after
// "Erreur de communication avec la plateforme: " for a failure of the communication itself (no
// text: the exchange succeeds in spite of the fault).
struct Fault {
    const char* name;
    bool refused; // the platform's port refuses connections (the test stops the simulator's listener)
    FaultKind kind;
    int code;
    qint64 param;
    bool communication;
    const char* text;
};

const Fault kFaults[] = {
    {"refused", true, FaultKind::Code, 0, 0, true, "connexion refusée"},
    {"hang", false, FaultKind::Hang, 0, 0, true, "délai de réponse dépassé"},
    {"cut", false, FaultKind::Cut, 0, 0, true, "connexion interrompue"},
    {"empty", false, FaultKind::Close, 0, 0, true, "réponse vide"},
    {"nonXml", false, FaultKind::NonXml, 0, 0, true, "réponse non XML (HTTP 200)"},
    {"http500", false, FaultKind::Code, 500, 0, false,
     "Erreur 500 (Erreur interne (SQL, Librairie,...): 500"},
    {"xml401", false, FaultKind::Code, 401, 0, false, "Authentification requise: 401"},
    // Just under the response time-out.
    {"late", false, FaultKind::Late, 0, kAnswerSec * 1000 - 400, false, ""},
    {"big", false, FaultKind::Big, 0, 10'000'000, false, ""},
    {"trickle", false, FaultKind::Trickle, 0, 100, true, "délai de réponse dépassé"},
};

QString expectedLine(const Fault& f)
{
    const QString text = QString::fromUtf8(f.text);
    return f.communication ? QStringLiteral("Erreur de communication avec la plateforme: ") + text : text;
}

struct Row {
    Exchange exchange;
    Fault fault;
};

FaultRule ruleFor(const Row& row)
{
    FaultRule r = FaultRule::make(QRegularExpression(QString::fromLatin1(row.exchange.path)), row.fault.kind,
                                  -1, row.fault.param);
    r.code = row.fault.code;
    r.method = QString::fromLatin1(row.exchange.method);
    return r;
}

// Writes each hour's schedule as the export does, different from one job to the next, and keeps
// what it wrote.
struct MatrixExport final : HourExporter {
    HourExport exportHour(const ScheduleRequest&, int heure) override
    {
        const QByteArray body =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<root>\r\n<station>\r\n"
            "<id>1</id>\r\n</station>\r\n<schedule>\r\n<date>20200220</date>\r\n"
            "<starttiming>" +
            QByteArray::number(heure).rightJustified(2, '0') + ":00:00</starttiming>\r\n<job>" +
            QByteArray::number(job) +
            "</job>\r\n</schedule>\r\n<data>\r\n<item/>\r\n<item/>\r\n</data>\r\n</root>\r\n";
        const QString path =
            folder +
            QStringLiteral("/NVX_Upload_20200220_%1_Station_01.xml").arg(heure, 2, 10, QLatin1Char('0'));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(body);
        written[heure] = body;
        return {HourExport::Outcome::Written, path, {}};
    }
    int stationCount() const override { return 1; }

    QString folder;
    int job = 0;
    QMap<int, QByteArray> written;
};

class FaultMatrix : public PlatformOwners, public ::testing::TestWithParam<Row> {
protected:
    FaultMatrix()
    {
        config.DelaiConnexion = kConnectSec;
        config.DelaiReponse = kAnswerSec;
        exporter.folder = dir.path() + QStringLiteral("/hours");
        QDir().mkpath(exporter.folder);
    }
    ~FaultMatrix() override
    {
        driver.reset();
        if (server)
            server->setFaults({});
    }

    // The lines, the time taken and the requests made by one phase (the connect, or a job).
    struct Phase {
        QStringList lines;
        qint64 ms = 0;
        QStringList requests;
    };
    template <class F> Phase run(F&& body)
    {
        const qsizetype linesBefore = lignes.lines.size();
        const qsizetype requestsBefore = requests().size();
        QElapsedTimer t;
        t.start();
        body();
        Phase p;
        p.ms = t.elapsed();
        p.lines = lignes.lines.mid(linesBefore);
        p.requests = requests().mid(requestsBefore);
        return p;
    }
    Phase job()
    {
        ++exporter.job;
        return run([&] {
            driver->UDPDataArrival_00(QStringLiteral(
                "<NoStation:1><DateConducteur:20200220><HHDeb:07><HHFin:08><StationLib:Matin>"));
        });
    }
    // The platform's state of each hour of the day.
    QList<int> hourStates()
    {
        QList<int> states(24, 0);
        const QJsonArray days = server->state().snapshot().value(QStringLiteral("hourStates")).toArray();
        for (const QJsonValue& d : days)
            if (d.toObject().value(QStringLiteral("date")).toString() == kDay.toString(Qt::ISODate)) {
                const QJsonArray s = d.toObject().value(QStringLiteral("states")).toArray();
                for (int h = 0; h < 24 && h < s.size(); ++h)
                    states[h] = s[h].toInt();
            }
        return states;
    }
    std::optional<std::string> imported(int hour) { return server->state().importedBody({1, kDay, hour}); }
    QByteArray onDisk(int hour) const
    {
        QFile f(exporter.folder +
                QStringLiteral("/NVX_Upload_20200220_%1_Station_01.xml").arg(hour, 2, 10, QLatin1Char('0')));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The longest run of logins with no other request between them (the credential query that
    // follows a login belongs to it).
    static int longestLoginRun(const QStringList& seen)
    {
        int run = 0, longest = 0;
        for (const QString& r : seen) {
            if (r == u"POST /vlapi/auth")
                longest = std::max(longest, ++run);
            else if (!r.startsWith(u"GET ") || !r.endsWith(u"/ftp/credentials"))
                run = 0;
        }
        return longest;
    }

    MatrixExport exporter;
    std::unique_ptr<ClientSession> session;
    std::unique_ptr<JobDriver> driver;
};

TEST_P(FaultMatrix, TheJobEndsInTimeSaysWhyKeepsWhatItDidNotSendAndTheNextJobSendsIt)
{
    const Row row = GetParam();
    startPlatform();
    if (row.exchange.storedToken) {
        // An earlier run of the program left a valid token.
        lignes(client().login());
        ASSERT_TRUE(client().PbBTokenValide());
    }
    PlatformClient& program = restarted();
    session = std::make_unique<ClientSession>(program);
    driver = std::make_unique<JobDriver>(reporter, clock, host, systeme, lifecycle, exporter, *session);
    lignes.watch(*driver);

    // The fault, from its exchange on.
    const QString before = QString::fromUtf8(row.exchange.before);
    if (row.fault.refused) {
        if (before.isEmpty()) {
            ASSERT_TRUE(server->setRefusing(true));
        } else {
            lignes.onLine = [&] {
                if (lignes.lines.last() == before)
                    server->setRefusing(true);
            };
        }
    } else {
        server->setFaults({ruleFor(row)});
    }

    const Phase connect = run([&] { lignes(program.login()); });
    const Phase first = job();
    lignes.onLine = nullptr;

    EXPECT_LE(connect.ms, kPhaseLimitMs) << "connect";
    EXPECT_LE(first.ms, kPhaseLimitMs) << "job";
    const QString line = expectedLine(row.fault);
    if (!line.isEmpty()) {
        EXPECT_TRUE((connect.lines + first.lines).contains(line))
            << (connect.lines + first.lines).join(u'\n').toStdString() << "\n"
            << (connect.requests + first.requests).join(u'\n').toStdString();
    }
    EXPECT_LE(connect.requests.count(QStringLiteral("POST /vlapi/auth")), 2)
        << connect.requests.join(u'\n').toStdString();
    EXPECT_LE(longestLoginRun(first.requests), 2) << first.requests.join(u'\n').toStdString();
    for (const QString& l : connect.lines + first.lines) {
        EXPECT_FALSE(l.contains(QStringLiteral("Empty reply")) || l.contains(QStringLiteral("timed out")) ||
                     l.contains(QStringLiteral("Could not")))
            << "no library text reaches the scheduler: " << l.toStdString();
    }

    const QList<int> states = hourStates();
    for (int h : {7, 8}) {
        SCOPED_TRACE(h);
        if (states[h] == 1) { // marked sent: the platform has this job's schedule for it
            EXPECT_EQ(imported(h).value_or(std::string()), exporter.written[h].toStdString());
        }
        if (!onDisk(h).isEmpty()) {
            EXPECT_EQ(onDisk(h), exporter.written[h]) << "a file not sent is kept as it was written";
        } else {
            EXPECT_EQ(states[h], 1) << "a file is removed only once its hour is marked sent";
        }
    }
    if (line.isEmpty()) {
        EXPECT_EQ(driver->result().hoursNotSent, 0) << first.lines.join(u'\n').toStdString();
    }

    // The fault is lifted: the next job of the same process sends what was left.
    server->setFaults({});
    ASSERT_TRUE(server->setRefusing(false));
    const Phase second = job();
    EXPECT_LE(second.ms, kPhaseLimitMs);
    EXPECT_EQ(driver->result().hoursNotSent, 0) << second.lines.join(u'\n').toStdString();
    EXPECT_TRUE(driver->result().statesReceived);
    EXPECT_FALSE(program.PbBErreurAuthentification());
    EXPECT_LE(longestLoginRun(second.requests), 2);
    for (int h : {7, 8}) {
        SCOPED_TRACE(h);
        EXPECT_TRUE(onDisk(h).isEmpty());
        EXPECT_EQ(hourStates()[h], 1);
        EXPECT_EQ(imported(h).value_or(std::string()), exporter.written[h].toStdString());
    }
}

std::vector<Row> matrix()
{
    std::vector<Row> rows;
    for (const Exchange& e : kExchanges)
        for (const Fault& f : kFaults)
            rows.push_back({e, f});
    return rows;
}

std::string rowName(const ::testing::TestParamInfo<Row>& info)
{
    QString name =
        QString::fromLatin1(info.param.exchange.name) + u'_' + QString::fromLatin1(info.param.fault.name);
    name.replace(u' ', u'_');
    return name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Platform, FaultMatrix, ::testing::ValuesIn(matrix()), rowName);

} // namespace
