#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

namespace nvx {

class Clock;
class Mailer;
class Reporter;
struct SettingsValues;

// What one finished job did for one station and day.
struct JobHours {
    int station = 0;
    QString stationName; // empty when unknown
    QString day;         // "dd/MM/yyyy"
    QList<int> sentHours;
    QList<int> unsentHours;
    QString lastFailure; // the job's last failure line, in French
};

// Mails the recipients when a job leaves hours of a station unsent, and again when a later job
// sends some of those hours. A station gets at most one alert an hour, so a failing platform does
// not flood the mailboxes; an alert held back is traced, never sent later. Only hours named in an
// alert that went out are followed, per station and day, and forgotten once reported sent.
class MailAlerts {
public:
    // Sends one mail to the ";"-separated recipients; true when the server took it.
    using Send = std::function<bool(const QString& recipients, const QString& message, const QString& titre)>;

    static constexpr qint64 kMinSecondsBetweenAlerts = 3600;
    // Hours named in an alert older than this are no longer followed: a station that never sends
    // them again does not keep them in memory for ever.
    static constexpr qint64 kFollowedDays = 31;

    MailAlerts(const SettingsValues& settings, Reporter& reporter, Clock& clock, Send send);
    // Sends through the mailer, outside test mode and without forcing.
    MailAlerts(const SettingsValues& settings, Reporter& reporter, Clock& clock, Mailer& mailer);

    void jobFinished(const JobHours& job);

    // Hours of an alert that went out and are not yet reported sent.
    QList<int> followedHours(int station, const QString& day) const;

private:
    using Key = std::pair<int, QString>;

    void recover(const JobHours& job, const QString& recipients);
    void alert(const JobHours& job, const QString& recipients);
    void forgetOldDays();

    const SettingsValues& settings_;
    Reporter& reporter_;
    Clock& clock_;
    Send send_;
    QMap<int, QDateTime> lastAlert_;
    struct Followed {
        QSet<int> hours;
        QDateTime since; // when the last alert naming them went out
    };
    QMap<Key, Followed> followed_;
};

// Hours as the mails name them: "07H, 08H", in ascending order.
QString hoursText(QList<int> hours);

} // namespace nvx
