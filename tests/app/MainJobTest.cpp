#include "common/IniFile.h"
#include "support/SiteBuilder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using nvx::test::SiteBuilder;

namespace {

const QString kBin = QStringLiteral(NVX_BIN_DIR);

// The whole main job: a schedule day in the record files, the platform simulator, and one
// request run with --job.
class MainJobTest : public ::testing::Test {
protected:
    MainJobTest()
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
    ~MainJobTest() override
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
    // Starts the simulator and points the settings at it; returns host:port.
    QString startPlatform()
    {
        platform.start(kBin + QStringLiteral("/vl3-platform-sim"),
                       {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--log"),
                        drives.filePath(QStringLiteral("platform.log"))});
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains('\n'); ++i) {
            platform.waitForReadyRead(100);
            out += platform.readAllStandardOutput();
        }
        const QString line = QString::fromUtf8(out).trimmed();
        const QString address = line.mid(line.lastIndexOf(u' ') + 1);
        settings(QStringLiteral("Plateforme"), QStringLiteral("URL"), QStringLiteral("http://") + address);
        return address;
    }
    int job(QByteArray* out = nullptr) const
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VL3_DRIVE_ROOT"), drives.path());
        env.insert(QStringLiteral("TMPDIR"), drives.path());
        tool.setProcessEnvironment(env);
        tool.start(
            kBin + QStringLiteral("/vl3-tools-nvx"),
            {QStringLiteral("--headless"), QStringLiteral("--home"), home.path(), QStringLiteral("--job"),
             QStringLiteral("<NoStation:1><DateConducteur:20200508><HHDeb:07><HHFin:08><StationLib:Matin>")});
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
    QStringList xmlFiles() const { return QDir(site.c(QStringLiteral("VL_XML"))).entryList(QDir::Files); }

    QTemporaryDir drives, home;
    SiteBuilder site{drives.path(), home.path()};
    QProcess platform;
};

TEST_F(MainJobTest, EveryHourIsImportedMarkedSentAndItsFileRemoved)
{
    const QString address = startPlatform();
    ASSERT_FALSE(address.isEmpty());
    QByteArray out;
    EXPECT_EQ(job(&out), 0) << out.constData();
    EXPECT_TRUE(out.contains("Transfert du conducteur de 08H: Fin"));
    EXPECT_FALSE(out.contains("non envoy"));

    const QJsonObject st = state(address);
    const QJsonArray imports = st.value(QStringLiteral("imports")).toArray();
    ASSERT_EQ(imports.size(), 2) << QJsonDocument(st).toJson().constData();
    EXPECT_EQ(imports[0].toObject().value(QStringLiteral("hour")).toInt(), 7);
    EXPECT_EQ(imports[1].toObject().value(QStringLiteral("hour")).toInt(), 8);
    const QJsonArray days = st.value(QStringLiteral("hourStates")).toArray();
    ASSERT_EQ(days.size(), 1);
    const QJsonArray states = days[0].toObject().value(QStringLiteral("states")).toArray();
    EXPECT_EQ(states[7].toInt(), 1);
    EXPECT_EQ(states[8].toInt(), 1);
    EXPECT_TRUE(xmlFiles().isEmpty()) << xmlFiles().join(u' ').toStdString();
}

TEST_F(MainJobTest, PlatformDownKeepsTheFilesAndSaysSo)
{
    // A port where nothing listens: the connect at start-up already fails, so the job ends with
    // the authentication problem and sends nothing.
    settings(QStringLiteral("Plateforme"), QStringLiteral("URL"), QStringLiteral("http://127.0.0.1:9"));
    QByteArray out;
    EXPECT_EQ(job(&out), 2) << out.constData();
    EXPECT_TRUE(out.contains("Problème d'authentification"));
    EXPECT_EQ(xmlFiles().size(), 2) << "the hour files wait for a later job";
}

} // namespace
