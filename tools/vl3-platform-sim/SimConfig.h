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

// Answer `code` instead of serving the next `remaining` requests whose path matches.
struct FaultRule {
    QRegularExpression path;
    int code = 0;
    int remaining = 0;
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
};

// The highest station number the platform knows (the suite stores it in 16 bits).
constexpr int kMaxStation = 32767;

// "KEY:SECRET"; the secret may itself contain ":".
std::optional<Credential> parseCredential(const QString& text);
// "STATION:YYYY-MM-DD:HOUR:STATE" with an hour 0..23 and a state 0..4.
std::optional<PresetState> parseState(const QString& text);
// "PATH-REGEX:CODE:N"; the regex may contain ":", so CODE and N are taken from the right.
std::optional<FaultRule> parseFault(const QString& text);
// A valid regular expression, or nothing.
std::optional<QRegularExpression> parsePathPattern(const QString& text);

// Plain decimal digits only ("7", "07"), within [min, max]; no sign, no blanks.
std::optional<int> parseDecimal(const QString& text, int min, int max);
// A calendar date written exactly "YYYY-MM-DD".
std::optional<QDate> parseIsoDate(const QString& text);

} // namespace nvx::platformsim
