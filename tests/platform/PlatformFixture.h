#pragma once

#include "SimServer.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "platform/PlatformClient.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "support/RecordingLines.h"
#include "support/RecordingReporter.h"
#include "system/Systeme.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>

namespace nvx::test {

// The owners a platform test needs over a temporary folder (answer copies, token store), and the
// platform simulator in this process on a loopback port of its choosing, reading the test's clock.
struct PlatformOwners {
    PlatformOwners() : systeme(reporter, clock, host, identity, lifecycle)
    {
        systeme.setRegistryFolder(dir.path() + QStringLiteral("/"));
        config.DossierXML = dir.path() + QStringLiteral("/xml");
        QDir().mkpath(config.DossierXML);
        config.Cle = QStringLiteral("cle-sim");
        config.Secret = QStringLiteral("secret-sim");
        sim.credentials = {{config.Cle, config.Secret}};
        sim.logFile = dir.path() + QStringLiteral("/sim.log");
        now->store(clock.now().toMSecsSinceEpoch());
    }
    ~PlatformOwners()
    {
        // Clients first: they hold connections the simulator would otherwise wait for.
        client_.reset();
        other_.reset();
        if (server)
            server->stop();
    }

    void startPlatform()
    {
        server = std::make_unique<platformsim::SimServer>(
            sim, [t = now] { return QDateTime::fromMSecsSinceEpoch(t->load()); });
        const int port = server->start();
        ASSERT_GT(port, 0);
        config.URL = QStringLiteral("http://127.0.0.1:") + QString::number(port);
    }
    void advance(qint64 seconds)
    {
        clock.advance(seconds * 1000);
        now->store(clock.now().toMSecsSinceEpoch());
    }
    PlatformClient& client()
    {
        if (!client_)
            client_.emplace(config, reporter, clock, host, systeme, lifecycle);
        return *client_;
    }
    // Another run of the program on the same machine (same token store), as after a restart.
    PlatformClient& restarted()
    {
        other_.emplace(config, reporter, clock, host, systeme, lifecycle);
        return *other_;
    }
    // "METHOD path" of every request the simulator received, from its request log.
    QStringList requests() const
    {
        QFile log(sim.logFile);
        QStringList seen;
        if (log.open(QIODevice::ReadOnly))
            for (const QByteArray& line : log.readAll().split('\n'))
                if (const QJsonObject o = QJsonDocument::fromJson(line).object(); !o.isEmpty())
                    seen.append(o.value(QStringLiteral("method")).toString() + u' ' +
                                o.value(QStringLiteral("path")).toString());
        return seen;
    }
    QStringList xmlFolder() const { return QDir(config.DossierXML).entryList(QDir::Files); }

    QTemporaryDir dir;
    FakeClock clock{QDateTime(QDate(2020, 2, 20), QTime(10, 0))};
    FakeHost host;
    Identity identity;
    Lifecycle lifecycle;
    RecordingReporter reporter;
    Systeme systeme;
    RecordingLines lignes;
    PlatformConfig config;
    platformsim::SimConfig sim;
    std::shared_ptr<std::atomic<qint64>> now = std::make_shared<std::atomic<qint64>>(0);
    std::unique_ptr<platformsim::SimServer> server;
    std::optional<PlatformClient> client_;
    std::optional<PlatformClient> other_;
};

} // namespace nvx::test
