#include "mail/MailAlerts.h"

#include "common/Clock.h"
#include "common/Reporter.h"
#include "config/SettingsValues.h"
#include "mail/Mailer.h"

#include <algorithm>

namespace nvx {

namespace {

QString stationText(const JobHours& job)
{
    QString text = QStringLiteral("station %1").arg(job.station);
    if (!job.stationName.trimmed().isEmpty())
        text += QStringLiteral(" (") + job.stationName.trimmed() + u')';
    return text;
}

QString title(const JobHours& job, const QString& what)
{
    return QStringLiteral("Tools NVX: station %1: ").arg(job.station) + what;
}

} // namespace

QString hoursText(QList<int> hours)
{
    std::sort(hours.begin(), hours.end());
    hours.erase(std::unique(hours.begin(), hours.end()), hours.end());
    QStringList parts;
    for (const int h : hours)
        parts << QStringLiteral("%1H").arg(h, 2, 10, QChar(u'0'));
    return parts.join(QStringLiteral(", "));
}

MailAlerts::MailAlerts(const SettingsValues& settings, Reporter& reporter, Clock& clock, Send send)
    : settings_(settings), reporter_(reporter), clock_(clock), send_(std::move(send))
{
}

MailAlerts::MailAlerts(const SettingsValues& settings, Reporter& reporter, Clock& clock, Mailer& mailer)
    : MailAlerts(settings, reporter, clock,
                 [&mailer](const QString& recipients, const QString& message, const QString& titre) {
                     return mailer.EnvoiMail(false, recipients, message, titre, false);
                 })
{
}

void MailAlerts::jobFinished(const JobHours& job)
{
    forgetOldDays();
    const QString recipients = settings_.TexteEmailsAdresses.trimmed();
    const bool active = settings_.Alertes && !recipients.isEmpty();
    // Hours sent are reported even when the alerts were switched off since: they are forgotten.
    recover(job, active ? recipients : QString());
    if (active && !job.unsentHours.isEmpty())
        alert(job, recipients);
}

QList<int> MailAlerts::followedHours(int station, const QString& day) const
{
    QList<int> hours = followed_.value(Key(station, day)).hours.values();
    std::sort(hours.begin(), hours.end());
    return hours;
}

void MailAlerts::recover(const JobHours& job, const QString& recipients)
{
    const auto it = followed_.find(Key(job.station, job.day));
    if (it == followed_.end())
        return;
    QList<int> recovered;
    for (const int h : job.sentHours) {
        if (it->hours.remove(h))
            recovered << h;
    }
    if (it->hours.isEmpty())
        followed_.erase(it);
    if (recovered.isEmpty() || recipients.isEmpty())
        return;
    const QString message = QStringLiteral("Heures du %1 envoyées pour la ").arg(job.day) + stationText(job) +
                            QStringLiteral(": ") + hoursText(recovered);
    send_(recipients, message, title(job, QStringLiteral("heures envoyées")));
}

void MailAlerts::alert(const JobHours& job, const QString& recipients)
{
    const QDateTime now = clock_.now();
    const auto last = lastAlert_.constFind(job.station);
    if (last != lastAlert_.cend() && last->secsTo(now) < kMinSecondsBetweenAlerts) {
        reporter_.trace(QStringLiteral("Mail: alert held back, one went out less than an hour ago: ") +
                        stationText(job) + QStringLiteral(", ") + job.day + QStringLiteral(", ") +
                        hoursText(job.unsentHours));
        return;
    }
    // A failed attempt counts too: a server that is down is not asked again at every job.
    lastAlert_.insert(job.station, now);
    QString message = QStringLiteral("Heures du %1 non envoyées pour la ").arg(job.day) + stationText(job) +
                      QStringLiteral(": ") + hoursText(job.unsentHours);
    if (!job.lastFailure.trimmed().isEmpty())
        message += QStringLiteral("|Dernier échec: ") + job.lastFailure.trimmed();
    if (!send_(recipients, message, title(job, QStringLiteral("heures non envoyées"))))
        return;
    Followed& followed = followed_[Key(job.station, job.day)];
    followed.since = now;
    for (const int h : job.unsentHours)
        followed.hours.insert(h);
}

void MailAlerts::forgetOldDays()
{
    // By the date of the alert, not of the schedule day: a day months back may be sent today.
    const QDateTime now = clock_.now();
    for (auto it = followed_.begin(); it != followed_.end();) {
        if (it->since.daysTo(now) > kFollowedDays)
            it = followed_.erase(it);
        else
            ++it;
    }
}

} // namespace nvx
