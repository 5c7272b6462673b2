#pragma once

#include "support/SiteBuilder.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gtest/gtest.h>

namespace nvx::test {

const QString kBin = QStringLiteral(NVX_BIN_DIR);

// The whole main job: a schedule day in the record files, the platform simulator, and one
// request run with --job.
class MainJobFixture : public ::testing::Test {
protected:
    MainJobFixture()
    {
        site.build();
        for (const char* f : {"20", "21", "22", "26", "31", "53"}) {
            const QString n = QString::fromLatin1(f);
            run(kBin + QStringLiteral("/vl3-btrieve"),
                {QStringLiteral("create"), QStringLiteral("--data"), site.c(QStringLiteral("Data1")),
                 QStringLiteral("--file"), n, QStringLiteral("--station"), QStringLiteral("1")});
            run(kBin + QStringLiteral("/vl3-btrieve"),
                {QStringLiteral("import"), QStringLiteral("--data"), site.c(QStringLiteral("Data1")),
                 QStringLiteral("--file"), n, QStringLiteral("--station"), QStringLiteral("1"),
                 QStringLiteral(NVX_TEST_DATA_DIR "/export/file") + n + QStringLiteral(".jsonl")});
        }
        QDir().mkpath(site.c(QStringLiteral("VL_XML")));
        settings(QStringLiteral("XML"), QStringLiteral("Dossier"), QStringLiteral("C:\\VL_XML\\"));
        settings(QStringLiteral("Plateforme"), QStringLiteral("Cle"), QStringLiteral("demo-key"));
        settings(QStringLiteral("Plateforme"), QStringLiteral("Secret"), QStringLiteral("demo-secret"));
    }
    ~MainJobFixture() override
    {
        if (platform.state() != QProcess::NotRunning) {
            platform.terminate();
            platform.waitForFinished(5000);
        }
    }

    static void run(const QString& program, const QStringList& args)
    {
        QProcess p;
        p.start(program, args);
        ASSERT_TRUE(p.waitForFinished(30000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    }
    void settings(const QString& section, const QString& key, const QString& value) const
    {
        site.set(home.filePath(QStringLiteral("Settings/VL3_Tools_NVX/VL3_Tools_NVX.Ini")), section, key,
                 value);
    }
    // Starts the simulator (over https when the options give it a certificate) and points the
    // settings at it; returns host:port.
    QString startPlatform(const QStringList& options = {})
    {
        platform.start(kBin + QStringLiteral("/vl3-platform-sim"),
                       QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"),
                                   drives.filePath(QStringLiteral("platform.log"))} +
                           options);
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains('\n'); ++i) {
            platform.waitForReadyRead(100);
            out += platform.readAllStandardOutput();
        }
        const QString line = QString::fromUtf8(out).trimmed();
        QString address = line.mid(line.lastIndexOf(u' ') + 1);
        const QString https = QStringLiteral("https://");
        const bool secure = address.startsWith(https);
        if (secure)
            address.remove(0, https.size());
        settings(QStringLiteral("Plateforme"), QStringLiteral("URL"),
                 (secure ? https : QStringLiteral("http://")) + address);
        return address;
    }
    // The site's drives, and the single-copy lock beside them.
    QProcessEnvironment toolEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VL3_DRIVE_ROOT"), drives.path());
        env.insert(QStringLiteral("TMPDIR"), drives.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), drives.path());
        return env;
    }
    // Starts the tool on one job for hours 07 and 08 (of another request when given).
    void startJob(QProcess& tool,
                  const QString& request = QStringLiteral(
                      "<NoStation:1><DateConducteur:20200508><HHDeb:07><HHFin:08><StationLib:Matin>")) const
    {
        tool.setProcessEnvironment(toolEnvironment());
        tool.start(kBin + QStringLiteral("/vl3-tools-nvx"),
                   {QStringLiteral("--headless"), QStringLiteral("--home"), home.path(),
                    QStringLiteral("--job"), request});
    }
    int job(QByteArray* out = nullptr, const QString& request = {}) const
    {
        QProcess tool;
        if (request.isEmpty())
            startJob(tool);
        else
            startJob(tool, request);
        EXPECT_TRUE(tool.waitForFinished(60000));
        if (out)
            *out = tool.readAllStandardOutput();
        return tool.exitCode();
    }
    // What the simulator received, through its inspection page.
    static QJsonObject state(const QString& address)
    {
        QTcpSocket s;
        const qsizetype colon = address.lastIndexOf(u':');
        s.connectToHost(address.left(colon), quint16(address.mid(colon + 1).toUInt()));
        if (!s.waitForConnected(5000))
            return {};
        s.write("GET /sim/state HTTP/1.0\r\nHost: sim\r\n\r\n");
        QByteArray reply;
        while (s.waitForReadyRead(5000) || s.bytesAvailable())
            reply += s.readAll();
        return QJsonDocument::fromJson(reply.mid(reply.indexOf("\r\n\r\n") + 4)).object();
    }
    // "METHOD path" of every request the simulator received, with the token left out.
    QStringList requests() const
    {
        QFile log(drives.filePath(QStringLiteral("platform.log")));
        QStringList seen;
        if (log.open(QIODevice::ReadOnly))
            for (const QByteArray& line : log.readAll().split('\n'))
                if (const QJsonObject o = QJsonDocument::fromJson(line).object(); !o.isEmpty()) {
                    QString path = o.value(QStringLiteral("path")).toString();
                    path.replace(QRegularExpression(QStringLiteral("^/vlapi/[0-9a-f]{32}")),
                                 QStringLiteral("/vlapi/T"));
                    seen.append(o.value(QStringLiteral("method")).toString() + u' ' + path);
                }
        return seen;
    }
    static QJsonArray imports(const QJsonObject& st) { return st.value(QStringLiteral("imports")).toArray(); }

    // The tool running for good, listening for the scheduler on a loopback port; returns the port.
    quint16 startListening(QProcess& tool) const
    {
        QUdpSocket probe; // a free port, taken now and handed over
        if (!probe.bind(QHostAddress::LocalHost, 0))
            return 0;
        const quint16 port = probe.localPort();
        probe.close();
        const QString endpoint = QStringLiteral("Peripheriques_Reseau_Reception_UDP_0");
        settings(endpoint, QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
        settings(endpoint, QStringLiteral("Port"), QString::number(port));
        settings(endpoint, QStringLiteral("Actif"), QStringLiteral("1"));
        tool.setProcessEnvironment(toolEnvironment());
        tool.start(kBin + QStringLiteral("/vl3-tools-nvx"),
                   {QStringLiteral("--headless"), QStringLiteral("--home"), home.path()});
        return port;
    }
    // Reads the tool's output until it holds the text.
    static bool waitOutput(QProcess& tool, QByteArray& out, const char* text)
    {
        for (int i = 0; i < 300 && !out.contains(text); ++i) {
            if (!tool.waitForReadyRead(100) && tool.state() == QProcess::NotRunning)
                break;
            out += tool.readAllStandardOutput();
        }
        return out.contains(text);
    }
    // Sends the scheduler's request for hours 07 and 08 and returns the lines it gets back.
    static QString schedulerRequest(quint16 port)
    {
        QProcess sim;
        sim.start(kBin + QStringLiteral("/vl3-scheduler-sim"),
                  {QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                   QString::number(port), QStringLiteral("--date"), QStringLiteral("20200508"),
                   QStringLiteral("--first"), QStringLiteral("7"), QStringLiteral("--last"),
                   QStringLiteral("8"), QStringLiteral("--station"), QStringLiteral("1"),
                   QStringLiteral("--listen"), QStringLiteral("127.0.0.2"), QStringLiteral("--timeout"),
                   QStringLiteral("60")});
        sim.waitForFinished(90000);
        return QString::fromUtf8(sim.readAllStandardOutput());
    }
    static void stop(QProcess& tool)
    {
        tool.terminate();
        EXPECT_TRUE(tool.waitForFinished(20000));
        EXPECT_EQ(tool.exitCode(), 0);
    }
    QStringList xmlFiles() const { return QDir(site.c(QStringLiteral("VL_XML"))).entryList(QDir::Files); }

    QTemporaryDir drives, home;
    SiteBuilder site{drives.path(), home.path()};
    QProcess platform;
};

} // namespace nvx::test
