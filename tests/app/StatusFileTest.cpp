#include "app/StatusFile.h"
#include "job/JobDriver.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using nvx::JobResult;
using nvx::StatusFile;

JobResult job(int station, QDate day, std::initializer_list<int> sent, std::initializer_list<int> unsent,
              const QString& failure = {})
{
    JobResult r;
    r.requestValid = true;
    r.station = station;
    r.day = day;
    for (int h : sent)
        r.sentHours.set(size_t(h));
    for (int h : unsent)
        r.unsentHours.set(size_t(h));
    r.lastFailure = failure;
    return r;
}

QJsonObject written(const StatusFile& status)
{
    QFile f(status.path());
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

TEST(StatusFile, AStationsDayKeepsTheHoursStillWaitingUntilALaterJobSendsThem)
{
    QTemporaryDir dir;
    StatusFile status;
    const QDateTime t0(QDate(2026, 12, 9), QTime(14, 0));
    status.start(dir.filePath(QStringLiteral("status.json")), t0, 2);
    EXPECT_EQ(written(status).value(QStringLiteral("instance")).toInt(), 2) << "written at start";

    const QDate day(2020, 5, 8);
    status.jobFinished(t0.addSecs(60), job(1, day, {}, {7, 8}, QStringLiteral("plateforme injoignable")),
                       QStringLiteral("Matin"), 3);
    status.jobFinished(t0.addSecs(120), job(1, day, {7}, {}), QStringLiteral("Matin"), 0);
    QJsonObject jour = written(status).value(QStringLiteral("lastJobs")).toArray()[0].toObject();
    EXPECT_EQ(jour.value(QStringLiteral("sentHours")).toArray(), QJsonArray({7}));
    EXPECT_EQ(jour.value(QStringLiteral("unsentHours")).toArray(), QJsonArray({8})) << "hour 8 still waits";
    EXPECT_EQ(jour.value(QStringLiteral("lastFailure")).toString(), QStringLiteral("plateforme injoignable"));

    status.jobFinished(t0.addSecs(180), job(1, day, {8}, {}), QStringLiteral("Matin"), 0);
    jour = written(status).value(QStringLiteral("lastJobs")).toArray()[0].toObject();
    EXPECT_TRUE(jour.value(QStringLiteral("unsentHours")).toArray().isEmpty());
    EXPECT_TRUE(jour.value(QStringLiteral("lastFailure")).toString().isEmpty()) << "nothing waits any more";

    // A refused request names no day; months of days keep only the latest.
    JobResult refused;
    status.jobFinished(t0.addSecs(240), refused, {}, 0);
    EXPECT_EQ(written(status).value(QStringLiteral("lastJobs")).toArray().size(), 1);
    for (int i = 1; i <= StatusFile::kMaxDays; ++i)
        status.jobFinished(t0.addDays(i), job(1, day.addDays(i), {7}, {}), QStringLiteral("Matin"), 0);
    const QJsonArray jours = written(status).value(QStringLiteral("lastJobs")).toArray();
    ASSERT_EQ(jours.size(), StatusFile::kMaxDays);
    EXPECT_EQ(jours[0].toObject().value(QStringLiteral("day")).toString(), QStringLiteral("2020-05-09"))
        << "the oldest day went";
}

} // namespace
