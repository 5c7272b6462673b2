// The monitoring check against the real program: what a running instance last did, and the
// exit status a monitoring system acts on.
#include "MainJobFixture.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

using nvx::test::kBin;

class StatusCommandTest : public nvx::test::MainJobFixture {
protected:
    // Runs --status (with --json when asked); returns the exit status and keeps the output.
    int status(QByteArray& out, bool json = false) const
    {
        QProcess p;
        p.setProcessEnvironment(toolEnvironment());
        QStringList args{QStringLiteral("--status"), QStringLiteral("--home"), home.path()};
        if (json)
            args << QStringLiteral("--json");
        p.start(kBin + QStringLiteral("/vl3-tools-nvx"), args);
        EXPECT_TRUE(p.waitForFinished(20000));
        out = p.readAllStandardOutput();
        return p.exitCode();
    }
    QJsonObject statusJson(int expectedExit) const
    {
        QByteArray out;
        EXPECT_EQ(status(out, true), expectedExit) << out.constData();
        return QJsonDocument::fromJson(out).object();
    }
    QString traceLog() const
    {
        QFile log(site.c(QStringLiteral("Logs/Histo_VL3_Tools_NVX/")) +
                  QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".Log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }
};

TEST_F(StatusCommandTest, SaysWhatTheRunningInstanceLastDidAndExitsAccordingly)
{
    QByteArray out;
    EXPECT_EQ(status(out), 2) << "no instance runs";
    EXPECT_TRUE(out.contains("ne fonctionne pas")) << out.constData();

    startPlatform();
    QProcess tool;
    const quint16 port = startListening(tool);
    ASSERT_NE(port, 0);
    QByteArray toolOut;
    ASSERT_TRUE(waitOutput(tool, toolOut, "Tools NVX started")) << toolOut.constData();
    QJsonObject st = statusJson(0);
    EXPECT_TRUE(st.value(QStringLiteral("running")).toBool());
    EXPECT_EQ(st.value(QStringLiteral("pid")).toInteger(), tool.processId());
    EXPECT_TRUE(st.value(QStringLiteral("lastJobs")).toArray().isEmpty());

    // Every hour sent: 0, and the songs the database lacks are listed for the last job.
    EXPECT_TRUE(schedulerRequest(port).contains(QStringLiteral("Transfert du conducteur de 08H: Fin")));
    st = statusJson(0);
    EXPECT_TRUE(st.value(QStringLiteral("platformConnected")).toBool());
    EXPECT_EQ(st.value(QStringLiteral("queueLength")).toInt(), 0);
    QJsonArray jobs = st.value(QStringLiteral("lastJobs")).toArray();
    ASSERT_EQ(jobs.size(), 1) << QJsonDocument(st).toJson().constData();
    EXPECT_EQ(jobs[0].toObject().value(QStringLiteral("day")).toString(), QStringLiteral("2020-05-08"));
    EXPECT_EQ(jobs[0].toObject().value(QStringLiteral("sentHours")).toArray(), QJsonArray({7, 8}));
    const QJsonArray lacking = st.value(QStringLiteral("missingReferences"))
                                   .toObject()
                                   .value(QStringLiteral("hours"))
                                   .toObject()
                                   .value(QStringLiteral("7"))
                                   .toArray();
    EXPECT_EQ(lacking.size(), 4);
    // The platform gone: the hours of the next job wait, and the check says which and why.
    platform.kill();
    platform.waitForFinished(5000);
    schedulerRequest(port);
    st = statusJson(1);
    jobs = st.value(QStringLiteral("lastJobs")).toArray();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].toObject().value(QStringLiteral("unsentHours")).toArray(), QJsonArray({7, 8}));
    EXPECT_TRUE(jobs[0].toObject().value(QStringLiteral("sentHours")).toArray().isEmpty());
    EXPECT_FALSE(jobs[0].toObject().value(QStringLiteral("lastFailure")).toString().isEmpty());
    EXPECT_EQ(status(out), 1);
    EXPECT_TRUE(QString::fromUtf8(out).contains(
        QStringLiteral("08/05/2020: envoyées: aucune; non envoyées: 07H 08H: ")))
        << out.constData();

    stop(tool);
    EXPECT_EQ(status(out), 2) << "the instance has stopped";
    // The end of each job traced the songs of each hour that lack references, the first few of them.
    EXPECT_TRUE(traceLog().contains(QStringLiteral(
        "Warning: Références manquantes, 07H: 4 morceau(x): PUB00001 Spot: artiste 'A0009' introuvable, "
        "catégorie 'JAZZ' introuvable; 00000008 Sans fiche technique: durée nulle; 00000009: morceau "
        "introuvable; …")));
}

} // namespace
