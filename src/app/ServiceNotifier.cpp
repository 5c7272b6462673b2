#include "app/ServiceNotifier.h"

#include "job/JobDriver.h"

#include <QTime>

#include <systemd/sd-daemon.h>

namespace nvx {

namespace {

QString heures(const std::bitset<24>& h)
{
    int first = -1;
    int last = -1;
    for (int i = 0; i < 24; ++i) {
        if (h.test(size_t(i))) {
            first = first < 0 ? i : first;
            last = i;
        }
    }
    if (first < 0)
        return {};
    return QStringLiteral("%1H-%2H").arg(first, 2, 10, QLatin1Char('0')).arg(last, 2, 10, QLatin1Char('0'));
}

} // namespace

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent)
{
    uint64_t usec = 0;
    // The period the manager expects, for this process only; nothing without a watchdog.
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        watchdog_.setInterval(int(qBound<uint64_t>(1, usec / 2000, 3600 * 1000)));
        connect(&watchdog_, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
    }
}

void ServiceNotifier::ready()
{
    send("READY=1");
    if (watchdog_.interval() > 0 && !watchdog_.isActive() && sd_watchdog_enabled(0, nullptr) > 0)
        watchdog_.start();
}

void ServiceNotifier::status(const QString& texte)
{
    // One line: the manager shows it as it is.
    QString ligne = texte;
    ligne.replace(u'\n', u' ');
    send("STATUS=" + ligne.toUtf8());
}

void ServiceNotifier::stopping()
{
    watchdog_.stop();
    send("STOPPING=1");
}

QString ServiceNotifier::statusLine(const QTime& fin, const JobResult& r)
{
    QString ligne = QStringLiteral("dernier traitement ") + fin.toString(QStringLiteral("HH:mm:ss")) +
                    QStringLiteral(": station ") + QString::number(r.station) + QStringLiteral(", ") +
                    r.day.toString(QStringLiteral("dd/MM/yyyy"));
    const QString demandees = heures(r.sentHours | r.unsentHours);
    if (!demandees.isEmpty())
        ligne += u' ' + demandees;
    if (r.unsentHours.none() && r.lastFailure.isEmpty())
        return ligne + QStringLiteral(", envoyé");
    return ligne + QStringLiteral(", ") + QString::number(r.unsentHours.count()) +
           QStringLiteral(" heure(s) non envoyée(s): ") + r.lastFailure;
}

void ServiceNotifier::send(const QByteArray& message)
{
    sd_notify(0, message.constData());
}

} // namespace nvx
