// The real program killed with SIGKILL at random moments of a job, then run again with the same
// request, against a platform simulator started afresh each time so that what each killed run
// left can be seen: no hour is marked sent that the platform did not receive whole, no part
// file stays behind, and the next run finishes the work. NVX_CRASH_KILLS sets the count.
#include "MainJobFixture.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using nvx::test::MainJobFixture;

class CrashConsistencyTest : public MainJobFixture {
protected:
    // items and bytes of each hour's import, keyed by hour.
    static QMap<int, QPair<int, qint64>> importsOf(const QJsonObject& st)
    {
        QMap<int, QPair<int, qint64>> byHour;
        for (const QJsonValue& v : imports(st)) {
            const QJsonObject o = v.toObject();
            byHour.insert(o.value(QStringLiteral("hour")).toInt(),
                          {o.value(QStringLiteral("items")).toInt(),
                           qint64(o.value(QStringLiteral("bytes")).toDouble())});
        }
        return byHour;
    }
    static QList<int> hoursMarkedSent(const QJsonObject& st)
    {
        QList<int> sent;
        for (const QJsonValue& day : st.value(QStringLiteral("hourStates")).toArray()) {
            const QJsonArray states = day.toObject().value(QStringLiteral("states")).toArray();
            for (int h = 0; h < states.size(); ++h)
                if (states[h].toInt() == 1)
                    sent << h;
        }
        return sent;
    }
    // Part files of interrupted writes, anywhere in the site or the program's home.
    QStringList partFiles() const
    {
        QStringList parts;
        for (const QString& root : {drives.path(), home.path()}) {
            QDirIterator it(root, {QStringLiteral("*.part")}, QDir::Files | QDir::Hidden,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                parts << it.next();
        }
        return parts;
    }
    QString restartPlatform()
    {
        platform.terminate();
        platform.waitForFinished(5000);
        // Each answer a little late, so that a kill also falls between the exchanges.
        return startPlatform({QStringLiteral("--delay"), QStringLiteral("15")});
    }
};

TEST_F(CrashConsistencyTest, AJobKilledAtAnyMomentLeavesNothingHalfDoneAndTheNextRunFinishesIt)
{
#if defined(__SANITIZE_ADDRESS__)
    const int defaultKills = 40; // each run is several times slower under the sanitizers
#else
    const int defaultKills = 200;
#endif
    const int kills = qEnvironmentVariableIsSet("NVX_CRASH_KILLS")
                          ? qEnvironmentVariableIntValue("NVX_CRASH_KILLS")
                          : defaultKills;
    const quint32 seed = quint32(QRandomGenerator::global()->generate());
    SCOPED_TRACE("crash seed " + std::to_string(seed));
    QRandomGenerator random(seed);

    // A run to the end gives what the platform receives of each hour, and how long a job lasts.
    QString address = restartPlatform();
    ASSERT_FALSE(address.isEmpty());
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(job(), 0);
    const qint64 length = clock.elapsed();
    const QMap<int, QPair<int, qint64>> whole = importsOf(state(address));
    ASSERT_EQ(whole.keys(), (QList<int>{7, 8}));

    int sentWhenKilled = 0;
    for (int k = 0; k < kills; ++k) {
        address = restartPlatform();
        ASSERT_FALSE(address.isEmpty());
        QProcess tool;
        startJob(tool);
        ASSERT_TRUE(tool.waitForStarted(10000));
        QThread::msleep(random.bounded(quint32(length) + 1));
        ::kill(pid_t(tool.processId()), SIGKILL);
        ASSERT_TRUE(tool.waitForFinished(10000));

        const QJsonObject st = state(address);
        const QMap<int, QPair<int, qint64>> received = importsOf(st);
        for (auto it = received.cbegin(); it != received.cend(); ++it)
            EXPECT_EQ(it.value(), whole.value(it.key()))
                << "kill " << k << ": hour " << it.key() << " imported in part";
        for (const int h : hoursMarkedSent(st)) {
            EXPECT_TRUE(received.contains(h))
                << "kill " << k << ": hour " << h << " marked sent, never imported";
            ++sentWhenKilled;
        }
        if (::testing::Test::HasFailure())
            return;
    }

    // The same request once more, to the end: everything goes through, nothing is left over.
    QByteArray out;
    ASSERT_EQ(job(&out), 0) << out.constData();
    const QJsonObject st = state(address);
    EXPECT_EQ(hoursMarkedSent(st), (QList<int>{7, 8}));
    EXPECT_EQ(importsOf(st), whole);
    EXPECT_TRUE(xmlFiles().isEmpty()) << xmlFiles().join(u' ').toStdString();
    EXPECT_TRUE(partFiles().isEmpty()) << partFiles().join(u' ').toStdString();
    std::cout << "crash: " << kills << " kills within " << length << " ms jobs, " << sentWhenKilled
              << " hours found marked sent after a kill\n";
}

} // namespace
