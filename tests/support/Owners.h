#pragma once

#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "config/Configuration.h"
#include "config/Ini.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "support/TraceChecks.h"
#include "system/Systeme.h"
#include "system/Trace.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nvx::test {

// The trace and the system helpers over a temporary drive root, application folder C:\Velmora\.
// The drive root is process-wide: it is set for the owners' lifetime and cleared when they go.
// Members are built in declaration order and several take references to earlier ones, so a new
// member goes after the ones it needs.
struct TraceOwners {
    TraceOwners() : trace(clock, host, identity, lifecycle), systeme(trace, clock, host, identity, lifecycle)
    {
        lifecycle.setReporter(trace);
        failOnUnexpectedErrors(trace, erreursAttendues);
        QObject::connect(&trace, &Trace::incidentAdded,
                         [this](const QString& l) { host.addIncidentLine(l); });
        systeme.shell = [this](const QString& verb, const QString& file, const QString& parameters,
                               const QString& directory, int showMode) {
            return host.shellExecute(verb, file, parameters, directory, showMode);
        };
        setDriveRoot(drives.path());
        identity.DossierApplication = QStringLiteral("C:\\Velmora\\");
        trace.attach(systeme);
    }
    ~TraceOwners() { setDriveRoot({}); }

    // The lines traced and still held in memory: those from before the settings were loaded, then
    // those waiting for the log file.
    QStringList lignes() const { return trace.ListeBis + trace.ListeLog; }
    qsizetype traced(const QString& fragment) const { return test::traced(trace, fragment); }

    // The test provokes trapped errors on purpose.
    bool erreursAttendues = false;
    QTemporaryDir drives;
    FakeClock clock;
    FakeHost host;
    Identity identity;
    Lifecycle lifecycle;
    Trace trace;
    Systeme systeme;
};

// The same with the INI access and the configuration, which most subsystems need.
struct Owners : TraceOwners {
    Owners() : ini(trace, systeme), config(identity, trace, systeme, ini, host) {}

    IniAccess ini;
    Configuration config;
};

} // namespace nvx::test
