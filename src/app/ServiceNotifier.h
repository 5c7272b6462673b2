#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace nvx {

struct JobResult;

// Tells the service manager how the program is doing, when it runs as a service that asked for
// it (NOTIFY_SOCKET set): READY once the start-up has finished, WATCHDOG from the event loop at
// half the manager's watchdog period (a loop that hangs stops feeding it and gets restarted), a
// STATUS line after each job, STOPPING during the unload. Outside a service manager it does
// nothing.
class ServiceNotifier : public QObject {
    Q_OBJECT

public:
    explicit ServiceNotifier(QObject* parent = nullptr);

    void ready();
    void status(const QString& texte);
    void stopping();
    // The line shown after a job: "dernier traitement 14:02:11: station 1, 08/05/2020 07H-08H,
    // envoyé", or the failure.
    static QString statusLine(const QTime& fin, const JobResult& resultat);
    // Milliseconds between two watchdog messages; 0 without a watchdog.
    int watchdogIntervalMs() const { return watchdog_.isActive() ? watchdog_.interval() : 0; }

private:
    void send(const QByteArray& message);

    QTimer watchdog_;
};

} // namespace nvx
