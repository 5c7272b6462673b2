#pragma once

#include "SimConfig.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

namespace nvx::platformsim {

// Where an imported schedule belongs.
struct ImportKey {
    int station = 0;
    QDate date;
    int hour = 0;
    auto operator<=>(const ImportKey& o) const
    {
        return std::tuple(station, date.toJulianDay(), hour) <=>
               std::tuple(o.station, o.date.toJulianDay(), o.hour);
    }
    bool operator==(const ImportKey& o) const = default;
};

// What the platform answers to one request: the `code`, `message` and `data` children of the
// `response` element. `data` is inner XML, already escaped.
struct Answer {
    int code = 200;
    QString message;
    QString data;
    // Set when the request imported a schedule, for the request log.
    std::optional<ImportKey> imported;
    int importedItems = 0;
};

// The answer as the platform sends it: an XML document whose `code` comes before its `data`, since
// the client takes the token only after it has seen a success code.
std::string renderAnswer(const Answer& answer);

// Escapes "&", "<", ">" and '"' for element text.
QString xmlEscape(const QString& text);

// The platform's accounts, tokens, hour states, FTP accounts and imported schedules. Every method is
// safe to call from the server's worker threads.
class PlatformState {
public:
    using Clock = std::function<QDateTime()>;

    // Without a clock, the current local time is used. Dates go out in local time without a zone, as
    // the client compares them with its own clock.
    PlatformState(std::vector<Credential> credentials, qint64 tokenLifetimeSeconds, Clock clock = {});

    void presetState(const PresetState& preset);

    // Serves one request of the API; `path` is the part after "/vlapi".
    Answer handle(const std::string& method, const std::string& path, const std::string& body);

    // Everything received so far, for inspection.
    QJsonObject snapshot() const;
    // The body of the last schedule imported for that station, day and hour.
    std::optional<std::string> importedBody(const ImportKey& key) const;

    static QString formatTime(const QDateTime& t);

private:
    struct Token {
        QString key;
        QDateTime created;
        QDateTime expires;
    };
    struct FtpAccount {
        std::vector<std::pair<QString, QString>> fields;
        QDateTime received;
    };
    struct Import {
        std::string body;
        int items = 0;
        int times = 0;
        QString account;
        QDateTime received;
    };
    using States = std::array<int, 24>;

    QDateTime now() const;
    // The account of a live token, or nothing (unknown or expired).
    std::optional<QString> accountOf(const QString& token) const;

    Answer login(const std::string& body);
    Answer checkToken(const QString& token);
    Answer ftpQuery(const QString& account);
    Answer ftpStore(const QString& account, const std::string& body);
    Answer hourStates(int station, const QDate& date);
    Answer setHourState(int station, const QDate& date, int hour, const std::string& body);
    Answer importSchedule(const QString& account, int station, const std::string& body);

    const std::vector<Credential> credentials_;
    const qint64 lifetime_;
    const Clock clock_;

    mutable std::mutex mutex_;
    std::map<QString, Token> tokens_;
    std::map<QString, FtpAccount> ftp_;
    std::map<std::pair<int, qint64>, States> states_;
    std::map<ImportKey, Import> imports_;
};

} // namespace nvx::platformsim
