// vl3-scheduler-sim: plays the music scheduler's side of the link. It sends one request datagram to
// the tool, prints every progress line the tool sends back, and stops after the job's closing line.

#include "RequestBuilder.h"
#include "common/Win1252.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <optional>

using namespace nvx::schedsim;

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;
// The tool reads at most this many characters of a datagram.
constexpr qsizetype kToolReadLimit = 1024;
// QTimer counts milliseconds in an int.
constexpr qint64 kMaxTimeoutSeconds = 2'000'000;
// Silence this long from the tool is worth a word while the wait goes on.
constexpr int kSilenceSeconds = 10;

void writeLine(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int usageError(const QCommandLineParser& parser, const QString& message)
{
    writeLine(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + message);
    writeLine(stderr, parser.helpText());
    return kUsageError;
}

int failure(const QString& message)
{
    writeLine(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + message);
    return kFailure;
}

std::optional<qint64> integer(const QString& text, qint64 min, qint64 max)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

// The scheduler addresses the tool over IPv4; a name is resolved once, before sending.
std::optional<QHostAddress> resolveIPv4(const QString& host)
{
    QHostAddress address;
    if (address.setAddress(host))
        return address.protocol() == QAbstractSocket::IPv4Protocol ? std::optional(address) : std::nullopt;
    const QHostInfo info = QHostInfo::fromName(host);
    for (const QHostAddress& a : info.addresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vl3-scheduler-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends one scheduler request to the tool and prints the progress lines it sends back.\n"
        "Exits 0 after the job's closing line, 1 at the time-out, 2 on a usage error."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption hostOpt(QStringLiteral("host"), QStringLiteral("Tool address or name."),
                                     QStringLiteral("HOST"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("Tool UDP port (required)."),
                                     QStringLiteral("PORT"));
    const QCommandLineOption stationOpt(QStringLiteral("station"), QStringLiteral("Station number."),
                                        QStringLiteral("N"));
    const QCommandLineOption labelOpt(QStringLiteral("label"),
                                      QStringLiteral("Station label (default \"Station N\")."),
                                      QStringLiteral("TEXT"));
    const QCommandLineOption dateOpt(QStringLiteral("date"), QStringLiteral("Schedule date (required)."),
                                     QStringLiteral("YYYYMMDD"));
    const QCommandLineOption firstOpt(QStringLiteral("first"), QStringLiteral("First hour (default 0)."),
                                      QStringLiteral("H"));
    const QCommandLineOption lastOpt(QStringLiteral("last"), QStringLiteral("Last hour (default 23)."),
                                     QStringLiteral("H"));
    const QCommandLineOption userIdOpt(QStringLiteral("user-id"), QStringLiteral("User id."),
                                       QStringLiteral("ID"));
    const QCommandLineOption userOpt(QStringLiteral("user"), QStringLiteral("User label."),
                                     QStringLiteral("TEXT"));
    const QCommandLineOption versionOpt(QStringLiteral("version"), QStringLiteral("Scheduler version."),
                                        QStringLiteral("TEXT"));
    const QCommandLineOption rawOpt(QStringLiteral("raw"),
                                    QStringLiteral("Send this request text as is (the reply address is "
                                                   "appended unless the text has a <ReponseIP: item)."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption listenOpt(
        QStringLiteral("listen"),
        QStringLiteral("Local IPv4 address for the replies (the tool sends "
                       "nothing to 127.0.0.1, hence another loopback address)."),
        QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.2"));
    const QCommandLineOption timeoutOpt(QStringLiteral("timeout"),
                                        QStringLiteral("Seconds to wait for the closing line."),
                                        QStringLiteral("SECONDS"), QStringLiteral("600"));
    const QCommandLineOption noReplyOpt(QStringLiteral("no-reply"),
                                        QStringLiteral("Send without a reply address and exit at once."));
    const QList<QCommandLineOption> fieldOpts{stationOpt, labelOpt,  dateOpt, firstOpt,
                                              lastOpt,    userIdOpt, userOpt, versionOpt};
    parser.addOptions(fieldOpts);
    parser.addOptions({hostOpt, portOpt, rawOpt, listenOpt, timeoutOpt, noReplyOpt});

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser, parser.errorText());
    if (parser.isSet(help)) {
        writeLine(stdout, parser.helpText());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(parser,
                          QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments()[0]));

    // ---- options ----
    if (!parser.isSet(portOpt))
        return usageError(parser, QStringLiteral("--port is required"));
    const auto port = integer(parser.value(portOpt), 1, 65535);
    if (!port)
        return usageError(parser, QStringLiteral("--port must be a number from 1 to 65535"));
    const auto timeout = integer(parser.value(timeoutOpt), 1, kMaxTimeoutSeconds);
    if (!timeout)
        return usageError(parser, QStringLiteral("--timeout must be a whole number of seconds from 1 to %1")
                                      .arg(kMaxTimeoutSeconds));
    const QHostAddress listen(parser.value(listenOpt));
    if (listen.protocol() != QAbstractSocket::IPv4Protocol || listen == QHostAddress::AnyIPv4 ||
        listen == QHostAddress::Broadcast)
        return usageError(parser, QStringLiteral("--listen must be one local IPv4 address the tool can "
                                                 "reply to"));
    const bool wantReplies = !parser.isSet(noReplyOpt);

    QString request;
    if (parser.isSet(rawOpt)) {
        for (const QCommandLineOption& o : fieldOpts)
            if (parser.isSet(o))
                return usageError(parser,
                                  QStringLiteral("--raw cannot be combined with --%1").arg(o.names()[0]));
        request = parser.value(rawOpt);
        if (request.trimmed().isEmpty())
            return usageError(parser,
                              QStringLiteral("--raw needs a request text (the tool ignores a blank one)"));
    } else {
        RequestFields fields = defaultFields(QDateTime::currentDateTime());
        if (parser.isSet(stationOpt)) {
            const auto station = integer(parser.value(stationOpt), -32768, 32767);
            if (!station)
                return usageError(parser, QStringLiteral("--station must be a whole number"));
            fields.station = int(*station);
            fields.stationLabel = QStringLiteral("Station ") + QString::number(fields.station);
        }
        // A day taken by default would be one the site may not hold: the tool would find no rows.
        if (!parser.isSet(dateOpt))
            return usageError(parser, QStringLiteral("--date is required (the schedule day, YYYYMMDD)"));
        static const QRegularExpression eightDigits(QStringLiteral("^[0-9]{8}$"));
        const QString text = parser.value(dateOpt);
        fields.date = QDate::fromString(text, QStringLiteral("yyyyMMdd"));
        if (!eightDigits.match(text).hasMatch() || !fields.date.isValid())
            return usageError(parser, QStringLiteral("--date must be a real date written YYYYMMDD"));
        // A request's hours out of range are tried with --raw; the options ask for real hours.
        for (const auto& [opt, hour] :
             {std::pair{&firstOpt, &fields.firstHour}, {&lastOpt, &fields.lastHour}}) {
            if (!parser.isSet(*opt))
                continue;
            const auto h = integer(parser.value(*opt), 0, 23);
            if (!h)
                return usageError(parser,
                                  QStringLiteral("--%1 must be an hour from 0 to 23").arg(opt->names()[0]));
            *hour = int(*h);
        }
        if (parser.isSet(labelOpt))
            fields.stationLabel = parser.value(labelOpt);
        if (parser.isSet(userIdOpt))
            fields.userId = parser.value(userIdOpt);
        if (parser.isSet(userOpt))
            fields.userLabel = parser.value(userOpt);
        if (parser.isSet(versionOpt))
            fields.schedulerVersion = parser.value(versionOpt);
        if (const QString bad = unreadableField(fields); !bad.isEmpty())
            return usageError(parser, QStringLiteral("the value of %1 may not contain '>'").arg(bad));
        request = buildRequest(fields, std::nullopt); // the reply address is known once bound
    }

    const auto target = resolveIPv4(parser.value(hostOpt));
    if (!target)
        return failure(QStringLiteral("cannot resolve '%1' to an IPv4 address").arg(parser.value(hostOpt)));

    // ---- send ----
    QUdpSocket socket;
    if (!socket.bind(listen, 0))
        return failure(
            QStringLiteral("cannot listen on %1: %2").arg(listen.toString(), socket.errorString()));
    if (wantReplies) {
        const ReplyAddress reply{socket.localAddress().toString(), socket.localPort()};
        if (reply.ip == QStringLiteral("127.0.0.1"))
            writeLine(stderr, QStringLiteral("note: the tool sends nothing to 127.0.0.1; use --listen with "
                                             "another loopback address such as 127.0.0.2 to get its lines"));
        request = withReplyAddress(request, reply);
    }
    const QByteArray datagram = nvx::toWindows1252(request);
    if (datagram.size() > kToolReadLimit)
        writeLine(stderr, QStringLiteral("note: the request is %1 bytes; the tool reads only the first %2")
                              .arg(datagram.size())
                              .arg(kToolReadLimit));
    if (socket.writeDatagram(datagram, *target, quint16(*port)) != datagram.size())
        return failure(QStringLiteral("cannot send to %1:%2: %3")
                           .arg(target->toString())
                           .arg(*port)
                           .arg(socket.errorString()));
    if (!wantReplies)
        return 0;

    // ---- replies ----
    bool received = false;
    QObject::connect(&socket, &QUdpSocket::readyRead, &app, [&socket, &received] {
        while (socket.hasPendingDatagrams()) {
            received = true;
            const QString line = nvx::fromWindows1252(socket.receiveDatagram().data());
            writeLine(stdout, line);
            if (isClosingLine(line)) {
                QCoreApplication::exit(0);
                return;
            }
        }
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &app, [&] {
        writeLine(stderr, QCoreApplication::applicationName() +
                              QStringLiteral(": no closing line from the tool within %1 s").arg(*timeout));
        QCoreApplication::exit(kFailure);
    });
    timer.start(std::chrono::milliseconds(*timeout * 1000));
    // A tool that is not listening, or a wrong port, shows as silence: said once, then the wait goes on.
    QTimer silence;
    silence.setSingleShot(true);
    QObject::connect(&silence, &QTimer::timeout, &app, [&] {
        if (!received)
            writeLine(stderr, QStringLiteral("aucune réponse de %1:%2 depuis %3 s")
                                  .arg(target->toString())
                                  .arg(*port)
                                  .arg(kSilenceSeconds));
    });
    if (*timeout > kSilenceSeconds)
        silence.start(std::chrono::seconds(kSilenceSeconds));
    return app.exec();
}
