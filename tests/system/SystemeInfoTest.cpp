#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "common/Reporter.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"
#include "system/Systeme.h"

#include <QDir>
#include <QRegularExpression>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace nvx;

namespace {

class NullReporter final : public Reporter {
public:
    void TraceLog(qint16, qint16, qint16, const QString&, bool, qint16, bool) override {}
    void GestionDesErreurs(const QString&) override {}
};

class SystemInfoTest : public ::testing::Test {
protected:
    SystemInfoTest() : systeme(reporter, clock, host, identity, lifecycle) {}

    NullReporter reporter;
    test::FakeClock clock;
    test::FakeHost host;
    Identity identity;
    Lifecycle lifecycle;
    Systeme systeme;
};

TEST_F(SystemInfoTest, VersionPadsMonthDayAndHourMinute)
{
    EXPECT_EQ(Systeme::VersionApplication(2020, 822, 1311), QStringLiteral("2020.0822.1311"));
}

TEST_F(SystemInfoTest, TimesComeFromTheClock)
{
    clock.setNow(QDateTime(QDate(2020, 2, 20), QTime(7, 5, 9, 42)));
    EXPECT_EQ(systeme.TimingMilliSec(), QStringLiteral("07:05:09:042"));
    clock.advance(1001);
    EXPECT_EQ(systeme.TimingMilliSec(), QStringLiteral("07:05:10:043"));
    EXPECT_EQ(systeme.ChronoMilliSec(), clock.ChronoMilliSec());

    clock.setNow(QDateTime(QDate(2020, 7, 1), QTime(12, 0), QTimeZone(2 * 3600)));
    EXPECT_EQ(systeme.GetGMTOffSet(), 120);
    clock.setNow(QDateTime(QDate(2020, 7, 1), QTime(12, 0), QTimeZone(-(3 * 3600 + 1800))));
    EXPECT_EQ(systeme.GetGMTOffSet(), -210);
}

TEST_F(SystemInfoTest, SystemDescriptionAndNames)
{
    const QString os = systeme.GetOSDisplayString();
    EXPECT_FALSE(os.isEmpty());
    EXPECT_TRUE(os.contains(QStringLiteral("-bit"))) << os.toStdString();
    EXPECT_TRUE(os.contains(QRegularExpression(QStringLiteral("\\(kernel \\d+(\\.\\d+)*\\)$"))))
        << os.toStdString();

    EXPECT_FALSE(systeme.ComputerName().isEmpty());
    EXPECT_FALSE(systeme.ComputerName().contains(u'.'));
    EXPECT_TRUE(systeme.GetHostName().startsWith(systeme.ComputerName()));
    EXPECT_GT(systeme.GetMemoryUsage(), 1024 * 1024) << "a running test holds more than a megabyte";
}

TEST_F(SystemInfoTest, SpecialFoldersAreInSuiteFormWithABackslash)
{
    systeme.setAutostartFolder(QStringLiteral("/tmp/somewhere/autostart"));
    EXPECT_EQ(NativePath(systeme.GetSpecialFolderLocation(7)), QStringLiteral("/tmp/somewhere/autostart/"));
    EXPECT_EQ(systeme.GetSpecialFolderLocation(0), SuitePath(QDir::homePath()) + u'\\');
}

} // namespace
