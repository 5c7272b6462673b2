#pragma once

#include "config/Settings.h"
#include "job/HourExporter.h"
#include "job/JobDriver.h"
#include "job/PlatformSession.h"
#include "job/ScheduleRequest.h"
#include "support/Owners.h"
#include "support/Wait.h"

#include <functional>

namespace nvx::test {

// The owners a scheduler-link test needs, over a temporary drive root.
struct LinkOwners : Owners {
    LinkOwners() : settings(identity, lifecycle, trace, systeme, host, ini, config) {}

    Settings settings;
};

// The progress list of the window, as the fake host records it.
inline void showProgress(JobDriver& driver, FakeHost& host)
{
    QObject::connect(&driver, &JobDriver::progressLine,
                     [&host](const QString& l) { host.addProgressLine(l); });
    QObject::connect(&driver, &JobDriver::progressCleared,
                     [&host](const QString&) { host.clearProgressLines(); });
}

// Export and platform steps that only record what the job asked of them.
struct RecordingExport final : HourExporter {
    HourExport exportHour(const ScheduleRequest& r, int heure) override
    {
        calls.append(QString::number(r.NoStation) + u'|' + r.DateConducteur + u'|' + QString::number(heure));
        if (during)
            during();
        return {HourExport::Outcome::Empty, {}, {}};
    }
    int stationCount() const override { return stations; }
    int stations = 20;
    QStringList calls;
    std::function<void()> during;
};

struct RecordingPlatform final : PlatformSession {
    bool PbBErreurAuthentification() const override { return false; }
    PlatformStep reauthenticate() override { return {true, {}}; }
    PlatformStep UDPDataArrival_04_02_Hours_Get_Status(qint16, const QDate&, qint16, qint16) override
    {
        return {true, {}};
    }
    qint16 StatutHeure(int) const override { return -1; }
    PlatformStep UDPDataArrival_04_03_FTP_Sons(int) override { return {true, {}}; }
    PlatformStep UDPDataArrival_04_04_Conducteur(qint16, const QString&) override { return {true, {}}; }
    PlatformStep UDPDataArrival_04_05_Hours_Set_Status(qint16, const QDate&, int, int) override
    {
        return {true, {}};
    }
    PlatformStep login() override { return {true, {}}; }
    void beginJob() override {}
    bool unreachable() const override { return false; }
};

} // namespace nvx::test
