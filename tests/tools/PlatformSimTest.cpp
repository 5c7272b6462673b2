#include "PlatformState.h"
#include "SimConfig.h"
#include "SimServer.h"
#include "support/TestCertificates.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <httplib.h>
#include <memory>
#include <pugixml.hpp>

using namespace nvx::platformsim;

namespace {

const QString kSimBinary = QStringLiteral(NVX_BIN_DIR "/vl3-platform-sim");
const std::string kDay = "2024-03-01";
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kStartBudgetMs = 3000;
#else
constexpr qint64 kStartBudgetMs = 1000;
#endif

struct Reply {
    int status = 0; // HTTP status, 0 when no answer came
    int code = 0;   // the answer's `code`, 0 when the body is not an answer document
    std::string body;
    pugi::xml_document doc;

    std::string value(const char* name) const
    {
        return doc.select_node((std::string("//") + name).c_str()).node().child_value();
    }
};

QString sampleSchedule(const QString& stationId, const QString& date, const QString& hour, int items,
                       const QString& label = QStringLiteral("Titre"))
{
    QStringList lines{QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>"),
                      QStringLiteral("<root>"),
                      QStringLiteral("<version>"),
                      QStringLiteral("<xml>0.3</xml>"),
                      QStringLiteral("</version>"),
                      QStringLiteral("<station>"),
                      QStringLiteral("<id>") + stationId + QStringLiteral("</id>"),
                      QStringLiteral("<lib>Été FM</lib>"),
                      QStringLiteral("</station>"),
                      QStringLiteral("<schedule>"),
                      QStringLiteral("<date>") + date + QStringLiteral("</date>"),
                      QStringLiteral("<starttiming>") + hour + QStringLiteral(":00:00</starttiming>"),
                      QStringLiteral("<endtiming>") + hour + QStringLiteral(":59:59</endtiming>"),
                      QStringLiteral("</schedule>"),
                      QStringLiteral("<data>")};
    for (int i = 0; i < items; ++i)
        lines << QStringLiteral("<item>") << QStringLiteral("<song>")
              << QStringLiteral("<lib>") + label + QStringLiteral("</lib>") << QStringLiteral("</song>")
              << QStringLiteral("</item>");
    lines << QStringLiteral("</data>") << QStringLiteral("</root>");
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

QJsonObject find(const QJsonArray& list, const std::function<bool(const QJsonObject&)>& pred)
{
    for (const QJsonValue& v : list)
        if (pred(v.toObject()))
            return v.toObject();
    return {};
}

std::vector<QJsonObject> readLog(const QString& path)
{
    std::vector<QJsonObject> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (!line.isEmpty())
            out.push_back(QJsonDocument::fromJson(line).object());
    return out;
}

class PlatformSimTest : public ::testing::Test {
protected:
    void start(SimConfig config = {})
    {
        if (config.credentials.empty())
            config.credentials = {{QStringLiteral("demo-key"), QStringLiteral("demo-secret")}};
        config.logFile = logPath();
        const QDateTime base = QDateTime::currentDateTime();
        sim = std::make_unique<SimServer>(std::move(config),
                                          [this, base] { return base.addSecs(clockSeconds); });
        port = sim->start();
        ASSERT_GT(port, 0);
        client = std::make_unique<httplib::Client>("127.0.0.1", port);
        client->set_read_timeout(10, 0);
    }

    QString logPath() const { return dir.filePath(QStringLiteral("requests.log")); }

    std::unique_ptr<Reply> call(const std::string& method, const std::string& path, const QString& body = {})
    {
        auto r = std::make_unique<Reply>();
        const std::string data = body.toStdString();
        const httplib::Result res = method == "GET"
                                        ? client->Get(path.c_str())
                                        : client->Post(path.c_str(), data, "text/xml; charset=UTF-8");
        if (!res)
            return r;
        r->status = res->status;
        r->body = res->body;
        if (r->doc.load_string(r->body.c_str()))
            r->code = std::atoi(r->doc.child("response").child_value("code"));
        return r;
    }

    std::string login(const QString& key = QStringLiteral("demo-key"),
                      const QString& secret = QStringLiteral("demo-secret"))
    {
        const auto r =
            call("POST", "/vlapi/auth",
                 QStringLiteral("<auth><key>") + xmlEscape(key) + QStringLiteral("</key><secret>") +
                     xmlEscape(secret) + QStringLiteral("</secret></auth>"));
        return r->code == 200 ? r->value("authSucceeded/token") : std::string();
    }

    QJsonObject simState()
    {
        const httplib::Result res = client->Get("/sim/state");
        return res ? QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object() : QJsonObject();
    }

    QTemporaryDir dir;
    std::atomic<qint64> clockSeconds{0};
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<httplib::Client> client;
    int port = 0;
};

} // namespace

// ---- option values ----

TEST(PlatformSimOptionsTest, ValuesWithColonsAndRangesAreParsed)
{
    const auto fault = parseFault(QStringLiteral("^/vlapi/[^:]+/import$:401:3"));
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->path.pattern(), QStringLiteral("^/vlapi/[^:]+/import$"));
    EXPECT_EQ(fault->code, 401);
    EXPECT_EQ(fault->remaining, 3);
    EXPECT_FALSE(parseFault(QStringLiteral("(:500:1")));
    EXPECT_FALSE(parseFault(QStringLiteral("import:abc:1")));
    EXPECT_FALSE(parseFault(QStringLiteral("import:late")));
    EXPECT_FALSE(parseFault(QStringLiteral("import:hang=5")));

    // Without a count a fault lasts; named faults take their value after "=".
    const auto lasting = parseFault(QStringLiteral("a:b:401"));
    ASSERT_TRUE(lasting);
    EXPECT_EQ(lasting->path.pattern(), QStringLiteral("a:b"));
    EXPECT_EQ(lasting->code, 401);
    EXPECT_LT(lasting->remaining, 0);
    const auto late = parseFault(QStringLiteral("/status$:late=1700:2"));
    ASSERT_TRUE(late);
    EXPECT_EQ(late->kind, FaultKind::Late);
    EXPECT_EQ(late->param, 1700);
    EXPECT_EQ(late->remaining, 2);
    const auto big = parseFault(QStringLiteral("/auth:big"));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->kind, FaultKind::Big);
    EXPECT_EQ(big->param, 10'000'000);

    const auto cred = parseCredential(QStringLiteral("key:se:cret"));
    ASSERT_TRUE(cred);
    EXPECT_EQ(cred->key, QStringLiteral("key"));
    EXPECT_EQ(cred->secret, QStringLiteral("se:cret"));
    EXPECT_FALSE(parseCredential(QStringLiteral(":secret")));

    const auto state = parseState(QStringLiteral("7:2024-03-01:23:4"));
    ASSERT_TRUE(state);
    EXPECT_EQ(state->station, 7);
    EXPECT_EQ(state->date, QDate(2024, 3, 1));
    EXPECT_EQ(state->hour, 23);
    EXPECT_EQ(state->state, 4);
    EXPECT_FALSE(parseState(QStringLiteral("7:2024-03-01:24:1")));
    EXPECT_FALSE(parseState(QStringLiteral("7:2024-03-01:5:5")));
    EXPECT_FALSE(parseState(QStringLiteral("7:2024-02-30:5:1")));
    EXPECT_FALSE(parseState(QStringLiteral("-7:2024-03-01:5:1")));
}

// ---- authentication and tokens ----

TEST_F(PlatformSimTest, LoginGrantsATokenOnlyForAConfiguredPair)
{
    SimConfig c;
    c.credentials = {{QStringLiteral("demo-key"), QStringLiteral("demo-secret")},
                     {QStringLiteral("k&<1"), QStringLiteral("s:2")}};
    c.tokenLifetimeSeconds = 900;
    start(c);

    const auto ok = call("POST", "/vlapi/auth",
                         QStringLiteral("<auth><key>demo-key</key><secret>demo-secret</secret></auth>"));
    EXPECT_EQ(ok->status, 200);
    ASSERT_EQ(ok->code, 200);
    // The client takes the token only after it has seen the success code.
    const pugi::xml_node response = ok->doc.child("response");
    EXPECT_STREQ(response.first_child().name(), "code");
    EXPECT_STREQ(response.last_child().name(), "data");
    const std::string token = ok->value("authSucceeded/token");
    EXPECT_GE(token.size(), 17u); // the client's token store scrambles 22 characters and more
    EXPECT_EQ(ok->value("authSucceeded/userGUID"), "demo-key");
    const QDateTime created =
        QDateTime::fromString(QString::fromStdString(ok->value("tokenCreated")), Qt::ISODate);
    const QDateTime expires =
        QDateTime::fromString(QString::fromStdString(ok->value("tokenExpire")), Qt::ISODate);
    ASSERT_TRUE(created.isValid() && expires.isValid());
    EXPECT_EQ(created.secsTo(expires), 900);

    EXPECT_FALSE(login(QStringLiteral("k&<1"), QStringLiteral("s:2")).empty())
        << "escaped values are read back";
    EXPECT_NE(login(), token) << "every login gets its own token";

    const auto refused =
        call("POST", "/vlapi/auth", QStringLiteral("<auth><key>demo-key</key><secret>wrong</secret></auth>"));
    EXPECT_EQ(refused->code, 401);
    EXPECT_TRUE(refused->value("token").empty());
    EXPECT_EQ(call("POST", "/vlapi/auth", QStringLiteral("<auth><key></key><secret></secret></auth>"))->code,
              401);
    EXPECT_EQ(call("POST", "/vlapi/auth", QStringLiteral("<auth><key>a<b</key></auth>"))->code, 400);
    EXPECT_EQ(call("GET", "/vlapi/auth")->code, 405);
}

TEST_F(PlatformSimTest, TokenIsRefusedFromItsExpiryOn)
{
    SimConfig c;
    c.tokenLifetimeSeconds = 60;
    start(c);
    const std::string token = login();
    ASSERT_FALSE(token.empty());
    const std::string check = "/vlapi/" + token + "/auth/test";
    const std::string states = "/vlapi/" + token + "/radio/1/schedule/" + kDay + "/status";

    clockSeconds = 59;
    const auto live = call("GET", check);
    ASSERT_EQ(live->code, 200);
    EXPECT_EQ(live->value("auth/token"), token);
    EXPECT_EQ(live->value("auth/userGUID"), "demo-key");
    EXPECT_EQ(live->value("auth/userDescription").empty(), false);
    EXPECT_EQ(call("GET", states)->code, 200);

    clockSeconds = 60;
    const auto expired = call("GET", check);
    EXPECT_EQ(expired->code, 401);
    EXPECT_EQ(expired->status, 401);
    EXPECT_EQ(call("GET", states)->code, 401);
    const QJsonArray tokens = simState()[QStringLiteral("tokens")].toArray();
    ASSERT_EQ(tokens.size(), 1);
    EXPECT_FALSE(tokens[0].toObject()[QStringLiteral("valid")].toBool());

    const std::string renewed = login();
    EXPECT_EQ(call("GET", "/vlapi/" + renewed + "/auth/test")->code, 200);
}

TEST_F(PlatformSimTest, RequestsWithoutALiveTokenOrWithBadPartsAreRefused)
{
    start();
    const std::string t = login();
    // Before any login the client's token is empty: the path then starts with two slashes.
    EXPECT_EQ(call("GET", "/vlapi//radio/1/schedule/" + kDay + "/status")->code, 401);
    EXPECT_EQ(call("GET", "/vlapi/0123456789abcdef0123456789abcdef/auth/test")->code, 401);
    EXPECT_EQ(call("GET", "/vlapi/" + t + "/radio/1/schedule/2024-02-30/status")->code, 400);
    EXPECT_EQ(call("GET", "/vlapi/" + t + "/radio/x/schedule/" + kDay + "/status")->code, 400);
    EXPECT_EQ(call("POST", "/vlapi/" + t + "/radio/1/schedule/" + kDay + "/24/status",
                   QStringLiteral("<hour><state>1</state></hour>"))
                  ->code,
              400);
    EXPECT_EQ(call("GET", "/vlapi/" + t + "/radio/1/schedule/import")->code, 405);
    EXPECT_EQ(call("GET", "/vlapi/" + t + "/radio/1/unknown")->code, 404);
}

// ---- hour states, FTP account, imports ----

TEST_F(PlatformSimTest, HourStatesArePresetAndSetPerStationAndDay)
{
    SimConfig c;
    c.states = {*parseState(QStringLiteral("7:2024-03-01:3:2")),
                *parseState(QStringLiteral("7:2024-03-01:4:4"))};
    start(c);
    const std::string t = login();
    const auto statesOf = [&](int station, const std::string& day) {
        const auto r =
            call("GET", "/vlapi/" + t + "/radio/" + std::to_string(station) + "/schedule/" + day + "/status");
        EXPECT_EQ(r->code, 200);
        EXPECT_EQ(r->value("day/date"), day);
        return r->value("day/states");
    };

    std::string expected(72, '0');
    expected.replace(3 * 3, 3, "002");
    expected.replace(4 * 3, 3, "004");
    EXPECT_EQ(statesOf(7, kDay), expected);
    EXPECT_EQ(statesOf(1, kDay), std::string(72, '0'));

    const auto set = call("POST", "/vlapi/" + t + "/radio/7/schedule/" + kDay + "/5/status",
                          QStringLiteral("<hour><state>1</state></hour>"));
    EXPECT_EQ(set->code, 200);
    expected.replace(5 * 3, 3, "001");
    EXPECT_EQ(statesOf(7, kDay), expected);
    EXPECT_EQ(statesOf(7, "2024-03-02"), std::string(72, '0'));

    EXPECT_EQ(call("POST", "/vlapi/" + t + "/radio/7/schedule/" + kDay + "/6/status",
                   QStringLiteral("<hour><state>9</state></hour>"))
                  ->code,
              400);
    EXPECT_EQ(statesOf(7, kDay), expected);

    const QJsonObject day =
        find(simState()[QStringLiteral("hourStates")].toArray(),
             [](const QJsonObject& o) { return o[QStringLiteral("station")].toInt() == 7; });
    const QJsonArray hours = day[QStringLiteral("states")].toArray();
    ASSERT_EQ(hours.size(), 24);
    EXPECT_EQ(hours[3].toInt(), 2);
    EXPECT_EQ(hours[5].toInt(), 1);
}

TEST_F(PlatformSimTest, LastFtpAccountPostedIsStoredAndReturned)
{
    start();
    const std::string path = "/vlapi/" + login() + "/ftp/credentials";
    const auto post = [&](const QString& pw) {
        return call(
            "POST", path,
            QStringLiteral("<ftp><url>ftp.radio.test</url><folder>/sons</folder><port>21</port><user>u</user>"
                           "<pw>") +
                xmlEscape(pw) +
                QStringLiteral("</pw><cnx>0</cnx><securessl>0</securessl><securessh>1</securessh>"
                               "<retry>1</retry></ftp>"));
    };
    EXPECT_EQ(call("GET", path)->value("ftp/url"), "");
    const auto first = post(QStringLiteral("old"));
    EXPECT_EQ(first->code, 204);
    EXPECT_EQ(first->status, 200) << "a 204 status could not carry the answer";
    EXPECT_EQ(post(QStringLiteral("p&ss<"))->code, 204);

    const auto stored = call("GET", path);
    EXPECT_EQ(stored->code, 200);
    EXPECT_EQ(stored->value("ftp/pw"), "p&ss<");
    EXPECT_EQ(stored->value("ftp/securessh"), "1");
    const QJsonObject ftp = simState()[QStringLiteral("ftp")][QStringLiteral("demo-key")].toObject();
    EXPECT_EQ(ftp[QStringLiteral("pw")].toString(), QStringLiteral("p&ss<"));
    EXPECT_EQ(ftp[QStringLiteral("url")].toString(), QStringLiteral("ftp.radio.test"));

    EXPECT_EQ(call("POST", path, QStringLiteral("<ftp><url>x</url><pw>a&b</pw></ftp>"))->code, 400);
    EXPECT_EQ(call("GET", path)->value("ftp/pw"), "p&ss<");
}

TEST_F(PlatformSimTest, ImportedScheduleIsKeptByStationDayAndHourFromItsHeader)
{
    start();
    const std::string t = login();
    const QString file =
        sampleSchedule(QStringLiteral("07"), QStringLiteral("20240301"), QStringLiteral("05"), 3);
    const auto r = call("POST", "/vlapi/" + t + "/radio/7/schedule/import", file);
    EXPECT_EQ(r->code, 200);
    EXPECT_EQ(r->value("import/items"), "3");
    EXPECT_EQ(call("POST", "/vlapi/" + t + "/radio/7/schedule/import", file)->code, 200);

    QJsonObject imp = find(simState()[QStringLiteral("imports")].toArray(), [](const QJsonObject& o) {
        return o[QStringLiteral("station")].toInt() == 7 && o[QStringLiteral("hour")].toInt() == 5;
    });
    EXPECT_EQ(imp[QStringLiteral("date")].toString(), QStringLiteral("2024-03-01"));
    EXPECT_EQ(imp[QStringLiteral("items")].toInt(), 3);
    EXPECT_EQ(imp[QStringLiteral("times")].toInt(), 2);
    const httplib::Result body = client->Get("/sim/imports/7/2024-03-01/5");
    ASSERT_TRUE(body);
    EXPECT_EQ(body->body, file.toStdString()) << "kept byte for byte";

    const auto importLine = readLog(logPath()).at(2);
    EXPECT_EQ(importLine[QStringLiteral("method")].toString(), QStringLiteral("POST"));
    EXPECT_EQ(importLine[QStringLiteral("bodyLength")].toInt(), int(file.toUtf8().size()));
    EXPECT_EQ(importLine[QStringLiteral("station")].toInt(), 7);
    EXPECT_EQ(importLine[QStringLiteral("date")].toString(), QStringLiteral("2024-03-01"));
    EXPECT_EQ(importLine[QStringLiteral("hour")].toInt(), 5);
    EXPECT_EQ(importLine[QStringLiteral("items")].toInt(), 3);

    // A whole day's hour is larger than the library's limit for form bodies; a client that leaves
    // libcurl's default content type must still be served.
    const QString large =
        sampleSchedule(QStringLiteral("7"), QStringLiteral("20240301"), QStringLiteral("23"), 300);
    ASSERT_GT(large.size(), 8192);
    const httplib::Result form = client->Post(("/vlapi/" + t + "/radio/7/schedule/import").c_str(),
                                              large.toStdString(), "application/x-www-form-urlencoded");
    ASSERT_TRUE(form);
    EXPECT_NE(form->body.find("<items>300</items>"), std::string::npos) << form->body;

    // A file of another station, or one that is not a document, is refused and not kept.
    EXPECT_EQ(call("POST", "/vlapi/" + t + "/radio/8/schedule/import", file)->code, 400);
    const QString broken = sampleSchedule(QStringLiteral("07"), QStringLiteral("20240301"),
                                          QStringLiteral("06"), 1, QStringLiteral("A<B"));
    EXPECT_EQ(call("POST", "/vlapi/" + t + "/radio/7/schedule/import", broken)->code, 400);
    EXPECT_EQ(simState()[QStringLiteral("imports")].toArray().size(), 2);
}

// ---- injected faults ----

TEST_F(PlatformSimTest, CodeFaultAnswersTheNextMatchingRequestsOnly)
{
    SimConfig c;
    c.faults = {*parseFault(QStringLiteral("schedule/import$:401:2"))};
    start(c);
    const std::string t = login();
    const QString file =
        sampleSchedule(QStringLiteral("01"), QStringLiteral("20240301"), QStringLiteral("00"), 1);
    const std::string import = "/vlapi/" + t + "/radio/1/schedule/import";

    EXPECT_EQ(call("GET", "/vlapi/" + t + "/auth/test")->code, 200);
    const auto first = call("POST", import, file);
    EXPECT_EQ(first->code, 401);
    EXPECT_EQ(first->status, 401);
    EXPECT_EQ(call("POST", import, file)->code, 401);
    EXPECT_TRUE(simState()[QStringLiteral("imports")].toArray().isEmpty()) << "a fault replaces the request";
    EXPECT_EQ(call("POST", import, file)->code, 200);
    EXPECT_EQ(readLog(logPath()).at(2)[QStringLiteral("fault")].toString(), QStringLiteral("code"));
}

TEST_F(PlatformSimTest, NonXmlAndCloseFaultsLeaveTheStateAlone)
{
    SimConfig c;
    c.nonXml = {*parsePathPattern(QStringLiteral("/\\d+/status$"))};
    c.close = {*parsePathPattern(QStringLiteral("/ftp/"))};
    start(c);
    const std::string t = login();

    const auto text = call("POST", "/vlapi/" + t + "/radio/1/schedule/" + kDay + "/3/status",
                           QStringLiteral("<hour><state>1</state></hour>"));
    EXPECT_EQ(text->status, 200);
    EXPECT_FALSE(text->body.empty());
    EXPECT_FALSE(pugi::xml_document().load_string(text->body.c_str())) << "the body must not be XML";
    EXPECT_TRUE(simState()[QStringLiteral("hourStates")].toArray().isEmpty());

    const httplib::Result closed = client->Get(("/vlapi/" + t + "/ftp/credentials").c_str());
    EXPECT_FALSE(closed);
    const QJsonObject line = readLog(logPath()).back();
    EXPECT_EQ(line[QStringLiteral("fault")].toString(), QStringLiteral("close"));
    EXPECT_TRUE(line[QStringLiteral("code")].isNull());
    EXPECT_EQ(call("GET", "/vlapi/" + t + "/auth/test")->code, 200) << "the server keeps serving";
}

TEST_F(PlatformSimTest, DelayHoldsEveryAnswer)
{
    SimConfig c;
    c.delayMs = 150;
    start(c);
    QElapsedTimer timer;
    timer.start();
    const std::string t = login();
    EXPECT_EQ(call("GET", "/vlapi/" + t + "/auth/test")->code, 200);
    EXPECT_GE(timer.elapsed(), 300);
}

// ---- the executable ----

TEST(PlatformSimProcessTest, ServesOnThePortItPrintsAndStopsOnSigterm)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    QProcess sim;
    sim.start(kSimBinary, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--credentials"),
                           QStringLiteral("k:s"), QStringLiteral("--state"),
                           QStringLiteral("2:2024-03-01:1:3"), QStringLiteral("--log"), log});
    ASSERT_TRUE(sim.waitForStarted(5000));
    QElapsedTimer timer;
    timer.start();
    while (!sim.canReadLine() && timer.elapsed() < 5000)
        sim.waitForReadyRead(100);
    EXPECT_LT(timer.elapsed(), kStartBudgetMs) << "starts in well under a second";
    const QString line = QString::fromUtf8(sim.readLine()).trimmed();
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^vl3-platform-sim listening on 127\\.0\\.0\\.1:(\\d+)$"))
            .match(line);
    ASSERT_TRUE(m.hasMatch()) << qPrintable(line);

    httplib::Client client("127.0.0.1", m.captured(1).toInt());
    const httplib::Result auth =
        client.Post("/vlapi/auth", "<auth><key>k</key><secret>s</secret></auth>", "text/xml");
    ASSERT_TRUE(auth);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(auth->body.c_str()));
    EXPECT_STREQ(doc.child("response").child_value("code"), "200");
    const std::string token = doc.select_node("//authSucceeded/token").node().child_value();
    const httplib::Result states =
        client.Get(("/vlapi/" + token + "/radio/2/schedule/2024-03-01/status").c_str());
    ASSERT_TRUE(states);
    ASSERT_TRUE(doc.load_string(states->body.c_str()));
    EXPECT_EQ(std::string(doc.select_node("//states").node().child_value()).substr(0, 6), "000003");

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    const auto entries = readLog(log);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0][QStringLiteral("path")].toString(), QStringLiteral("/vlapi/auth"));
    EXPECT_EQ(entries[0][QStringLiteral("code")].toInt(), 200);
}

TEST(PlatformSimProcessTest, ServesHttpsWithTheGivenCertificateAndSaysSoInItsLine)
{
    QTemporaryDir dir;
    const nvx::test::TestCertificates certs(dir.filePath(QStringLiteral("tls")));
    ASSERT_TRUE(certs.ok()) << qPrintable(certs.error);
    QProcess sim;
    sim.start(kSimBinary, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"),
                           dir.filePath(QStringLiteral("sim.log")), QStringLiteral("--tls-cert"),
                           certs.serverCert(), QStringLiteral("--tls-key"), certs.serverKey()});
    ASSERT_TRUE(sim.waitForStarted(5000));
    for (int i = 0; i < 50 && !sim.canReadLine(); ++i)
        sim.waitForReadyRead(100);
    const QString line = QString::fromUtf8(sim.readLine()).trimmed();
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^vl3-platform-sim listening on https://127\\.0\\.0\\.1:(\\d+)$"))
            .match(line);
    ASSERT_TRUE(m.hasMatch()) << qPrintable(line);
    const int port = m.captured(1).toInt();

    httplib::SSLClient secure("127.0.0.1", port);
    secure.set_ca_cert_path(certs.ca().toStdString());
    secure.enable_server_certificate_verification(true);
    const httplib::Result auth = secure.Post(
        "/vlapi/auth", "<auth><key>demo-key</key><secret>demo-secret</secret></auth>", "text/xml");
    ASSERT_TRUE(auth) << httplib::to_string(auth.error());
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(auth->body.c_str()));
    EXPECT_STREQ(doc.child("response").child_value("code"), "200");
    // Clear HTTP on the same port gets no answer, and the server goes on serving TLS.
    httplib::Client clear("127.0.0.1", port);
    EXPECT_FALSE(clear.Get("/sim/state"));
    EXPECT_TRUE(secure.Get("/sim/state"));

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(5000));
    EXPECT_EQ(sim.exitCode(), 0);

    // A key it cannot load stops it at once, with the certificate named.
    QProcess refused;
    refused.start(kSimBinary, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--tls-cert"),
                               certs.serverCert(), QStringLiteral("--tls-key"),
                               dir.filePath(QStringLiteral("absent.key"))});
    ASSERT_TRUE(refused.waitForFinished(5000));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(refused.readAllStandardError().contains(certs.serverCert().toUtf8()));
}
