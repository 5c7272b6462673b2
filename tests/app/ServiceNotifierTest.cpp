#include "app/ServiceNotifier.h"

#include "job/JobDriver.h"
#include "support/FakeServiceManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTime>

#include <gtest/gtest.h>

using namespace nvx;
using nvx::test::FakeServiceManager;

namespace {

void runEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(ServiceNotifier, ReadyThenTheWatchdogWhileTheLoopRunsThenStatusAndStopping)
{
    FakeServiceManager manager(200);
    ASSERT_TRUE(manager.bound());
    ServiceNotifier notifier;
    EXPECT_EQ(notifier.watchdogIntervalMs(), 0) << "nothing before the start-up has finished";
    notifier.ready();
    EXPECT_EQ(notifier.watchdogIntervalMs(), 100);
    EXPECT_EQ(manager.received(), QList<QByteArray>{"READY=1"});

    runEventsFor(550);
    const qsizetype fed = manager.received().count("WATCHDOG=1");
    // About five; fewer on a loaded machine, never more than the period allows.
    EXPECT_GE(fed, 2);
    EXPECT_LE(fed, 6);

    // A loop that hangs feeds nothing: the manager would restart the program.
    QThread::msleep(400);
    EXPECT_EQ(manager.received().count("WATCHDOG=1"), fed);

    JobResult r;
    r.station = 1;
    r.day = QDate(2020, 5, 8);
    r.sentHours.set(7).set(8);
    notifier.status(ServiceNotifier::statusLine(QTime(14, 2, 11), r));
    r.unsentHours.set(9);
    r.lastFailure = QStringLiteral("Plateforme non configurée");
    notifier.status(ServiceNotifier::statusLine(QTime(14, 5, 0), r));
    notifier.stopping();
    runEventsFor(250);
    const QList<QByteArray> all = manager.received();
    EXPECT_TRUE(all.contains("STATUS=dernier traitement 14:02:11: station 1, 08/05/2020 07H-08H, envoyé"));
    EXPECT_TRUE(
        all.contains(QStringLiteral("STATUS=dernier traitement 14:05:00: station 1, 08/05/2020 07H-09H, 1 "
                                    "heure(s) non envoyée(s): Plateforme non configurée")
                         .toUtf8()));
    EXPECT_EQ(all.last(), "STOPPING=1") << "no watchdog after the stop";
}

TEST(ServiceNotifier, OutsideAServiceManagerNothingIsSentAndNothingFails)
{
    qunsetenv("NOTIFY_SOCKET");
    ServiceNotifier notifier;
    notifier.ready();
    notifier.status(QStringLiteral("x"));
    notifier.stopping();
    EXPECT_EQ(notifier.watchdogIntervalMs(), 0);
}

} // namespace
