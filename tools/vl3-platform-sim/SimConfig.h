#pragma once

#include <QDate>
#include <QRegularExpression>
#include <QString>

#include <optional>
#include <vector>

namespace nvx::platformsim {

// One account the platform accepts at login.
struct Credential {
    QString key;
    QString secret;
};

// An hour state set before the first request.
struct PresetState {
    int station = 0;
    QDate date;
    int hour = 0;
    int state = 0;
};

// How a fault answers a matching request.
enum class FaultKind {
    Code,    // an XML answer carrying `code`, with the same HTTP status (a 204 goes out as 200)
    Close,   // the connection is closed without a byte of answer
    NonXml,  // plain text with HTTP 200
    Hang,    // the request is read and never answered, until the client goes or the server stops
    Cut,     // the normal answer's status, headers and half its body, then the connection is closed
    Late,    // the normal answer, after `param` milliseconds
    Big,     // the normal answer padded to `param` bytes with an element the client ignores
    Trickle, // the normal answer's body one byte every `param` milliseconds
};

// Answers the next `remaining` requests whose path matches (and whose method, when one is given)
// with the fault instead of the normal answer; a negative `remaining` applies to every request.
struct FaultRule {
    QRegularExpression path;
    int code = 0;
    int remaining = 0;
    FaultKind kind = FaultKind::Code;
    qint64 param = 0;
    QString method;

    static FaultRule make(const QRegularExpression& path, FaultKind kind, int remaining = -1,
                          qint64 param = 0)
    {
        FaultRule r;
        r.path = path;
        r.kind = kind;
        r.remaining = remaining;
        r.param = param;
        return r;
    }
    static FaultRule answer(const QRegularExpression& path, int code, int remaining = -1)
    {
        FaultRule r = make(path, FaultKind::Code, remaining);
        r.code = code;
        return r;
    }
};

struct SimConfig {
    QString bind = QStringLiteral("127.0.0.1");
    int port = 0;
    std::vector<Credential> credentials;
    qint64 tokenLifetimeSeconds = 86400;
    std::vector<PresetState> states;
    std::vector<FaultRule> faults;
    int delayMs = 0;
    std::vector<QRegularExpression> nonXml;
    std::vector<QRegularExpression> close;
    // Empty: the request log goes to stdout.
    QString logFile;
    // Certificate chain and private key (PEM files): the server speaks https when both are given.
    QString tlsCert;
    QString tlsKey;
    bool secure() const { return !tlsCert.isEmpty(); }
};

// The highest station number the platform knows (the suite stores it in 16 bits).
constexpr int kMaxStation = 32767;

// "KEY:SECRET"; the secret may itself contain ":".
std::optional<Credential> parseCredential(const QString& text);
// "STATION:YYYY-MM-DD:HOUR:STATE" with an hour 0..23 and a state 0..4.
std::optional<PresetState> parseState(const QString& text);
// "PATH-REGEX:KIND[:N]", KIND being a code 200..599, "close", "non-xml", "hang", "cut",
// "late=MS", "big[=BYTES]" (10 MB by default) or "trickle[=MS]" (100 ms by default); without N the
// fault applies to every matching request. The regex may contain ":", so KIND and N are taken
// from the right.
std::optional<FaultRule> parseFault(const QString& text);
// A valid regular expression, or nothing.
std::optional<QRegularExpression> parsePathPattern(const QString& text);

// Plain decimal digits only ("7", "07"), within [min, max]; no sign, no blanks.
std::optional<int> parseDecimal(const QString& text, int min, int max);
// A calendar date written exactly "YYYY-MM-DD".
std::optional<QDate> parseIsoDate(const QString& text);

} // namespace nvx::platformsim
