#include "mail/MailAlerts.h"

#include "config/SettingsValues.h"
#include "support/FakeClock.h"
#include "support/RecordingReporter.h"

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::Literals::StringLiterals;

namespace {

struct SentMail {
    QString to, message, title;
};

class MailAlertsTest : public ::testing::Test {
protected:
    MailAlertsTest()
        : alerts(values, reporter, clock,
                 [this](const QString& to, const QString& message, const QString& title) {
                     sent.append({to, message, title});
                     return accepted;
                 })
    {
        values.Alertes = true;
        values.TexteEmailsAdresses = u"ops@x.fr"_s;
    }
    static JobHours job(int station, QList<int> sentHours, QList<int> unsent)
    {
        return {station, u"Radio Nord"_s, u"20/02/2020"_s, sentHours, unsent, u"plateforme injoignable"_s};
    }

    SettingsValues values;
    test::RecordingReporter reporter;
    test::FakeClock clock;
    QList<SentMail> sent;
    bool accepted = true;
    MailAlerts alerts;
};

TEST_F(MailAlertsTest, AlertNamesStationDayHoursAndLastFailure)
{
    alerts.jobFinished(job(1, {9}, {8, 7}));
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].to, u"ops@x.fr"_s);
    EXPECT_EQ(sent[0].title, u"Tools NVX: station 1: heures non envoyées"_s);
    EXPECT_EQ(sent[0].message, u"Heures du 20/02/2020 non envoyées pour la station 1 (Radio Nord): 07H, 08H"
                               u"|Dernier échec: plateforme injoignable"_s);
    EXPECT_EQ(alerts.followedHours(1, u"20/02/2020"_s), (QList<int>{7, 8}));
}

TEST_F(MailAlertsTest, NoAlertWhenSwitchedOffWithoutRecipientsOrWithAllHoursSent)
{
    values.Alertes = false;
    alerts.jobFinished(job(1, {}, {7}));
    values.Alertes = true;
    values.TexteEmailsAdresses = u" "_s;
    alerts.jobFinished(job(1, {}, {7}));
    values.TexteEmailsAdresses = u"ops@x.fr"_s;
    alerts.jobFinished(job(1, {7, 8}, {}));
    EXPECT_TRUE(sent.isEmpty());
}

TEST_F(MailAlertsTest, OneAlertPerStationAnHour)
{
    alerts.jobFinished(job(1, {}, {7}));
    clock.advance(59 * 60 * 1000);
    alerts.jobFinished(job(1, {}, {8}));
    alerts.jobFinished(job(2, {}, {8}));
    ASSERT_EQ(sent.size(), 2) << "station 2 has its own allowance";
    EXPECT_EQ(sent[1].title, u"Tools NVX: station 2: heures non envoyées"_s);
    EXPECT_EQ(reporter.lines.filter(u"Mail: alert held back"_s).size(), 1);
    EXPECT_EQ(alerts.followedHours(1, u"20/02/2020"_s), QList<int>{7}) << "a held-back alert follows nothing";
    clock.advance(60 * 1000);
    alerts.jobFinished(job(1, {}, {8}));
    EXPECT_EQ(sent.size(), 3);
}

TEST_F(MailAlertsTest, RecoveryMailNamesTheAlertedHoursThatWentThrough)
{
    alerts.jobFinished(job(1, {}, {7, 8}));
    alerts.jobFinished(job(1, {8, 9}, {}));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[1].title, u"Tools NVX: station 1: heures envoyées"_s);
    EXPECT_EQ(sent[1].message, u"Heures du 20/02/2020 envoyées pour la station 1 (Radio Nord): 08H"_s);
    EXPECT_EQ(alerts.followedHours(1, u"20/02/2020"_s), QList<int>{7});
    alerts.jobFinished(job(1, {8}, {}));
    alerts.jobFinished(job(2, {7}, {}));
    EXPECT_EQ(sent.size(), 2) << "hours already reported, or never alerted";
    alerts.jobFinished(job(1, {7}, {}));
    ASSERT_EQ(sent.size(), 3);
    EXPECT_TRUE(sent[2].message.endsWith(u": 07H"_s));
    EXPECT_TRUE(alerts.followedHours(1, u"20/02/2020"_s).isEmpty());
}

TEST_F(MailAlertsTest, HoursOfAnAlertThatFailedAreNotFollowed)
{
    accepted = false;
    alerts.jobFinished(job(1, {}, {7}));
    accepted = true;
    alerts.jobFinished(job(1, {7}, {}));
    EXPECT_EQ(sent.size(), 1);
    EXPECT_TRUE(alerts.followedHours(1, u"20/02/2020"_s).isEmpty());
}

TEST_F(MailAlertsTest, HoursAreFollowedForAMonthAfterTheirAlertWhateverTheScheduleDay)
{
    // An alert today about a day years back: its hours are followed from today.
    clock.setNow(QDateTime(QDate(2026, 12, 9), QTime(8, 0)));
    alerts.jobFinished(job(1, {}, {7, 8}));
    clock.advance(30LL * 24 * 3600 * 1000);
    alerts.jobFinished(job(1, {7}, {}));
    ASSERT_EQ(sent.size(), 2);
    EXPECT_TRUE(sent[1].message.endsWith(u": 07H"_s));
    clock.advance(2LL * 24 * 3600 * 1000);
    alerts.jobFinished(job(1, {8}, {}));
    EXPECT_EQ(sent.size(), 2) << "hours of an alert more than a month old are forgotten";
    EXPECT_TRUE(alerts.followedHours(1, u"20/02/2020"_s).isEmpty());
}

} // namespace
