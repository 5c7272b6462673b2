#include "common/DateHelpers.h"

#include "support/RecordingReporter.h"

#include <gtest/gtest.h>

using namespace nvx;
using namespace Qt::StringLiterals;
using nvx::test::RecordingReporter;

namespace {

// Sunday 1 March 2020, 14:05:09.
const QDateTime kAfternoon(QDate(2020, 3, 1), QTime(14, 5, 9));

} // namespace

TEST(DateHelpers, D2SWritesYearMonthDay)
{
    RecordingReporter reporter;
    EXPECT_EQ(D2S(QDate(2020, 2, 7), &reporter), u"20200207"_s);
    EXPECT_EQ(D2S(QDate(1999, 12, 31), &reporter), u"19991231"_s);
    EXPECT_TRUE(reporter.origins.isEmpty());

    const QDate before = QDate::currentDate();
    const QString fallback = D2S(QDate(), &reporter);
    EXPECT_TRUE(fallback == D2S(before) || fallback == D2S(QDate::currentDate()));
    EXPECT_EQ(reporter.origins, QStringList{u"Lib_Public:D2S"_s});
}

TEST(DateHelpers, S2DRollsOverLikeTheCalendar)
{
    EXPECT_EQ(S2D(u"20200508"_s), QDate(2020, 5, 8));
    EXPECT_EQ(S2D(u"20200230"_s), QDate(2020, 3, 1));
    EXPECT_EQ(S2D(u"20201301"_s), QDate(2021, 1, 1));
    EXPECT_EQ(S2D(u"20200300"_s), QDate(2020, 2, 29));
    // A non-numeric part counts as 0: month 0 is December of the year before.
    EXPECT_EQ(S2D(u"2020ab15"_s), QDate(2019, 12, 15));
    EXPECT_EQ(S2D(u"0029 1 1"_s), QDate(2029, 1, 1));
    EXPECT_EQ(S2D(u"00300101"_s), QDate(1930, 1, 1));
    EXPECT_EQ(S2D(u"00990101"_s), QDate(1999, 1, 1));
    EXPECT_EQ(S2D(u"01000101"_s), QDate(100, 1, 1));
    for (const QDate& d : {QDate(2020, 2, 29), QDate(1930, 1, 1), QDate(9999, 12, 31)})
        EXPECT_EQ(S2D(D2S(d)), d);
}

TEST(DateHelpers, S2DReportsDatesOutsideTheCalendar)
{
    RecordingReporter reporter;
    EXPECT_FALSE(S2D(u"99991301"_s, &reporter).isValid());
    EXPECT_FALSE(S2D(u"1e990101"_s, &reporter).isValid());
    EXPECT_FALSE(S2D(u"-0010101"_s, &reporter).isValid());
    EXPECT_EQ(reporter.origins, QStringList(3, u"Lib_Public:S2D"_s));
    EXPECT_EQ(S2D(u"99991231"_s, &reporter), QDate(9999, 12, 31));
    EXPECT_EQ(reporter.origins.size(), 3);
}

TEST(DateHelpers, Date2StringExPatternsOfTheSystem)
{
    EXPECT_EQ(Date2StringEx(kAfternoon, u"HH:MM:SS"_s), u"14:05:09"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"   "_s), u"14:05:09"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"dd/MM/yyyy"_s), u"01/03/2020"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"dd/MM"_s), u"01/03"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"dd/MM/yy"_s), u"01/03/20"_s);
    EXPECT_EQ(Date2StringEx(QDateTime(QDate(2005, 11, 9), QTime(7, 8, 0)), u"d/m/yy h:nn:s"_s),
              u"9/11/05 7:08:0"_s);
    EXPECT_EQ(Date2StringEx(QDateTime(), u"dd/MM/yyyy"_s), QString());
}

TEST(DateHelpers, Date2StringExMonthOrMinute)
{
    EXPECT_EQ(Date2StringEx(kAfternoon, u"hhmm"_s), u"1405"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"mm hh:mm"_s), u"03 14:05"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"HH MM"_s), u"14 03"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"nn:ss"_s), u"05:09"_s);
}

TEST(DateHelpers, Date2StringExNamesWeeksAndLiterals)
{
    EXPECT_EQ(Date2StringEx(kAfternoon, u"dddd d mmmm yyyy"_s), u"dimanche 1 mars 2020"_s);
    EXPECT_EQ(Date2StringEx(QDateTime(QDate(2020, 2, 4), QTime()), u"ddd d mmm"_s), u"mar. 4 févr."_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"w y q"_s), u"1 61 1"_s);
    EXPECT_EQ(Date2StringEx(QDateTime(QDate(2020, 3, 2), QTime()), u"w"_s), u"2"_s);
    // 1 January 2020 is a Wednesday: its Saturday ends week 1, the Sunday after starts week 2.
    EXPECT_EQ(Date2StringEx(QDateTime(QDate(2020, 1, 4), QTime()), u"ww"_s), u"1"_s);
    EXPECT_EQ(Date2StringEx(QDateTime(QDate(2020, 1, 5), QTime()), u"ww"_s), u"2"_s);
    EXPECT_EQ(Date2StringEx(QDateTime(QDate(2020, 12, 31), QTime()), u"ww"_s), u"53"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"\"le\" d \\h hh\\h"_s), u"le 1 h 14h"_s);
}

TEST(DateHelpers, Date2StringExTwelveHourClock)
{
    EXPECT_EQ(Date2StringEx(kAfternoon, u"hh:nn AM/PM"_s), u"02:05 PM"_s);
    EXPECT_EQ(Date2StringEx(kAfternoon, u"h:nn a/p"_s), u"2:05 p"_s);
    const QDateTime midnight(QDate(2020, 3, 1), QTime(0, 30));
    EXPECT_EQ(Date2StringEx(midnight, u"h:nn am/pm"_s), u"12:30 am"_s);
}
