#pragma once

#include "support/SiteBuilder.h"

#include <QDate>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nvx::test {

const QString kProgram = QStringLiteral(NVX_BIN_DIR "/vl3-tools-nvx");
const QString kSimulator = QStringLiteral(NVX_BIN_DIR "/vl3-scheduler-sim");

// The real program, run headless on a site of its own.
class ProgramFixture : public ::testing::Test {
protected:
    ProgramFixture() { site.build(); }
    void start(QProcess& p, const QStringList& switches) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VL3_DRIVE_ROOT"), drives.path());
        env.insert(QStringLiteral("TMPDIR"), locks.path()); // where the single-copy lock lives
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), locks.path());
        p.setProcessEnvironment(env);
        p.start(kProgram,
                QStringList{QStringLiteral("--headless"), QStringLiteral("--home"), home.path()} + switches);
        ASSERT_TRUE(p.waitForStarted(10000));
    }
    // Reads stdout until the program says it runs.
    static bool waitStarted(QProcess& p, QByteArray& out)
    {
        for (int i = 0; i < 200 && !out.contains("Tools NVX started"); ++i) {
            if (!p.waitForReadyRead(100) && p.state() == QProcess::NotRunning)
                break;
            out += p.readAllStandardOutput();
        }
        return out.contains("Tools NVX started");
    }

    QString traceFilePath() const
    {
        return site.c(QStringLiteral("Logs/Histo_VL3_Tools_NVX/")) +
               QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".Log");
    }
    QString traceFile() const
    {
        QFile log(traceFilePath());
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    // Reception endpoint 0 on a loopback port the system chooses.
    void listenOnLoopback()
    {
        const QString settings = home.filePath(QStringLiteral("Settings/VL3_Tools_NVX/VL3_Tools_NVX.Ini"));
        const QString section = QStringLiteral("Peripheriques_Reseau_Reception_UDP_0");
        site.set(settings, section, QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
        site.set(settings, section, QStringLiteral("Port"), QStringLiteral("0"));
        site.set(settings, section, QStringLiteral("Actif"), QStringLiteral("1"));
    }
    // Starts the program listening on loopback; returns its port, 0 when it did not start.
    quint16 startListening(QProcess& p, QByteArray& out)
    {
        listenOnLoopback();
        start(p, {});
        return waitStarted(p, out) ? listeningPort(out) : 0;
    }
    // The port the program says it listens on, from its start-up report.
    static quint16 listeningPort(const QByteArray& out)
    {
        const QRegularExpressionMatch ecoute =
            QRegularExpression(QStringLiteral("Écoute UDP 0: 127.0.0.1:(\\d+)"))
                .match(QString::fromUtf8(out));
        return ecoute.hasMatch() ? quint16(ecoute.captured(1).toUInt()) : 0;
    }

    QTemporaryDir drives, home, locks;
    SiteBuilder site{drives.path(), home.path()};
};

} // namespace nvx::test
