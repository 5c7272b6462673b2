// vl3-platform-sim: a local, stateful stand-in for the voice-tracking platform's HTTP API, for the
// demo and the tests, in clear or over https. It prints the address it listens on, logs every request as one
// JSON line, and stops cleanly on SIGINT or SIGTERM.

#include "SimConfig.h"
#include "SimServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <pthread.h>

using namespace nvx::platformsim;

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

void writeLine(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int usageError(const QString& message)
{
    writeLine(stderr, QStringLiteral("vl3-platform-sim: ") + message);
    writeLine(stderr, QStringLiteral("Try 'vl3-platform-sim --help'."));
    return kUsageError;
}

} // namespace

int main(int argc, char** argv)
{
    // The signals are taken by sigwait below; blocking them before any thread starts keeps every
    // worker thread from receiving them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vl3-platform-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Local stand-in for the voice-tracking platform's HTTP API under /vlapi.\n"
        "GET /sim/state shows everything received; GET /sim/imports/STATION/YYYY-MM-DD/HOUR gives the "
        "body of an imported schedule.\nPATH-REGEX is searched anywhere in the request path."));
    parser.addHelpOption();
    const QCommandLineOption portOpt(QStringLiteral("port"),
                                     QStringLiteral("TCP port, 0 for any (default 0)."), QStringLiteral("N"),
                                     QStringLiteral("0"));
    const QCommandLineOption bindOpt(QStringLiteral("bind"), QStringLiteral("Address to listen on."),
                                     QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption credOpt(
        QStringLiteral("credentials"),
        QStringLiteral("Accepted key and secret, repeatable (default demo-key:demo-secret)."),
        QStringLiteral("KEY:SECRET"));
    const QCommandLineOption lifetimeOpt(
        QStringLiteral("token-lifetime"),
        QStringLiteral("Token lifetime in seconds (default 86400: a stored token stays usable for a day)."),
        QStringLiteral("SECONDS"), QStringLiteral("86400"));
    const QCommandLineOption stateOpt(QStringLiteral("state"),
                                      QStringLiteral("Preset hour state, repeatable."),
                                      QStringLiteral("STATION:YYYY-MM-DD:HOUR:STATE"));
    const QCommandLineOption faultOpt(
        QStringLiteral("fault"),
        QStringLiteral("Answer the next N matching requests (every one without N) with a fault, "
                       "repeatable. KIND is a code 200..599 (XML answer and HTTP status), close (no "
                       "answer), non-xml, hang (never answer), cut (half the answer, then close), "
                       "late=MS, big[=BYTES] (padded answer, 10 MB) or trickle[=MS] (one byte every "
                       "MS, 100)."),
        QStringLiteral("PATH-REGEX:KIND[:N]"));
    const QCommandLineOption delayOpt(QStringLiteral("delay"),
                                      QStringLiteral("Wait this long before every answer."),
                                      QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption nonXmlOpt(
        QStringLiteral("non-xml"), QStringLiteral("Answer matching requests with plain text, repeatable."),
        QStringLiteral("PATH-REGEX"));
    const QCommandLineOption closeOpt(
        QStringLiteral("close"),
        QStringLiteral("Close matching requests' connections unanswered, repeatable."),
        QStringLiteral("PATH-REGEX"));
    const QCommandLineOption logOpt(
        QStringLiteral("log"), QStringLiteral("Request log, one JSON line per request (default stdout)."),
        QStringLiteral("FILE"));
    const QCommandLineOption certOpt(
        QStringLiteral("tls-cert"),
        QStringLiteral("Serve https with this certificate chain (PEM, the server's first); needs --tls-key."),
        QStringLiteral("FILE"));
    const QCommandLineOption keyOpt(QStringLiteral("tls-key"),
                                    QStringLiteral("Private key (PEM) of the --tls-cert certificate."),
                                    QStringLiteral("FILE"));
    parser.addOptions({portOpt, bindOpt, credOpt, lifetimeOpt, stateOpt, faultOpt, delayOpt, nonXmlOpt,
                       closeOpt, logOpt, certOpt, keyOpt});
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        writeLine(stdout, parser.helpText());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument: ") + parser.positionalArguments().first());

    SimConfig config;
    const auto port = parseDecimal(parser.value(portOpt), 0, 65535);
    if (!port)
        return usageError(QStringLiteral("invalid --port: ") + parser.value(portOpt));
    config.port = *port;
    config.bind = parser.value(bindOpt);
    const auto lifetime = parseDecimal(parser.value(lifetimeOpt), 1, 100'000'000);
    if (!lifetime)
        return usageError(QStringLiteral("invalid --token-lifetime: ") + parser.value(lifetimeOpt));
    config.tokenLifetimeSeconds = *lifetime;
    const auto delay = parseDecimal(parser.value(delayOpt), 0, 600'000);
    if (!delay)
        return usageError(QStringLiteral("invalid --delay: ") + parser.value(delayOpt));
    config.delayMs = *delay;
    config.logFile = parser.value(logOpt);
    config.tlsCert = parser.value(certOpt);
    config.tlsKey = parser.value(keyOpt);
    if (config.tlsCert.isEmpty() != config.tlsKey.isEmpty())
        return usageError(QStringLiteral("--tls-cert and --tls-key go together"));

    for (const QString& v : parser.values(credOpt)) {
        const auto c = parseCredential(v);
        if (!c)
            return usageError(QStringLiteral("invalid --credentials (KEY:SECRET): ") + v);
        config.credentials.push_back(*c);
    }
    if (config.credentials.empty())
        config.credentials.push_back({QStringLiteral("demo-key"), QStringLiteral("demo-secret")});
    for (const QString& v : parser.values(stateOpt)) {
        const auto s = parseState(v);
        if (!s)
            return usageError(QStringLiteral("invalid --state (STATION:YYYY-MM-DD:HOUR:STATE): ") + v);
        config.states.push_back(*s);
    }
    for (const QString& v : parser.values(faultOpt)) {
        const auto f = parseFault(v);
        if (!f)
            return usageError(QStringLiteral("invalid --fault (PATH-REGEX:KIND[:N]): ") + v);
        config.faults.push_back(*f);
    }
    const auto patterns = [&](const QCommandLineOption& opt, std::vector<QRegularExpression>& out) {
        for (const QString& v : parser.values(opt)) {
            const auto re = parsePathPattern(v);
            if (!re)
                return usageError(QStringLiteral("invalid --") + opt.names().first() +
                                  QStringLiteral(" regular expression: ") + v);
            out.push_back(*re);
        }
        return 0;
    };
    if (const int rc = patterns(nonXmlOpt, config.nonXml))
        return rc;
    if (const int rc = patterns(closeOpt, config.close))
        return rc;

    const QString bind = config.bind;
    const QString logFile = config.logFile;
    const bool secure = config.secure();
    const QString certificate = config.tlsCert;
    SimServer server(std::move(config));
    const int bound = server.start();
    if (bound == SimServer::kLogFailed) {
        writeLine(stderr, QStringLiteral("vl3-platform-sim: cannot open the log ") + logFile);
        return kFailure;
    }
    if (bound == SimServer::kTlsFailed) {
        writeLine(stderr, QStringLiteral("vl3-platform-sim: cannot load the certificate ") + certificate +
                              QStringLiteral(" with its key"));
        return kFailure;
    }
    if (bound < 0) {
        writeLine(stderr, QStringLiteral("vl3-platform-sim: cannot listen on ") + bind + QLatin1Char(':') +
                              QString::number(*port));
        return kFailure;
    }
    // In clear the address alone, as scripts read it; over TLS with its scheme.
    writeLine(stdout, QStringLiteral("vl3-platform-sim listening on ") +
                          (secure ? QStringLiteral("https://") : QString()) + bind + QLatin1Char(':') +
                          QString::number(bound));

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
