#pragma once

#include "common/HourFiles.h"
#include "common/JobSteps.h"
#include "common/Lifecycle.h"
#include "config/Settings.h"
#include "support/Owners.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace nvx::test {

// The owners a scheduler-link test needs, over a temporary drive root.
struct LinkOwners : Owners {
    LinkOwners() : settings(flags, trace, systeme, host, ini, config), lifecycle(trace) {}

    Settings settings;
    Lifecycle lifecycle;
};

// Runs the event loop until done() or the time limit (real time) passes.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Export and platform steps that only record what the job asked of them.
struct RecordingExport final : ExportStep {
    HourExport UDPDataArrival_03_Create_XML(qint16, qint16 noStation, const QString&, const QString&,
                                            const QString&, const QString&, const QString& date, int heure,
                                            const QString&, HourFiles&) override
    {
        calls.append(QString::number(noStation) + u'|' + date + u'|' + QString::number(heure));
        if (during)
            during();
        return {};
    }
    int nombreStations(qint16) const override { return 20; }
    QStringList calls;
    std::function<void()> during;
};

struct RecordingPlatform final : PlatformSteps {
    bool PbBErreurAuthentification() const override { return false; }
    QString PbSCleAPI() const override { return {}; }
    QString PbSSecretAPI() const override { return {}; }
    bool UDPDataArrival_04_01_Authentification(const QString&, const QString&, bool) override { return true; }
    bool UDPDataArrival_04_02_Hours_Get_Status(qint16, const QDate&, qint16, qint16) override { return true; }
    qint16 StatutHeure(int) const override { return -1; }
    bool UDPDataArrival_04_03_FTP_Sons(int) override { return true; }
    bool UDPDataArrival_04_04_Conducteur(qint16, const QString&) override { return true; }
    bool UDPDataArrival_04_05_Hours_Set_Status(qint16, const QDate&, int, int) override { return true; }
    void beginJob() override {}
    bool unreachable() const override { return false; }
};

} // namespace nvx::test
