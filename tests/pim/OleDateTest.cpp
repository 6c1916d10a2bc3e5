// Date value: validity range, the no-date year, parts, spans, ordering, formatting and local time.
#include <gtest/gtest.h>

#include <limits>

#include "pim/OleDate.h"
#include "tests/pim/VCalTestZone.h"

TEST(OleDate, ValidityRangeIsPlusMinus3615897Days) {
  EXPECT_TRUE(OleDate(3615897.0).IsValid());
  EXPECT_TRUE(OleDate(-3615897.0).IsValid());
  EXPECT_EQ(OleDate(3615897.5).GetStatus(), OleDate::Invalid);
  EXPECT_EQ(OleDate(-3615898.0).GetStatus(), OleDate::Invalid);
  EXPECT_EQ(OleDate(std::numeric_limits<double>::quiet_NaN()).GetStatus(), OleDate::Invalid);
  EXPECT_EQ(OleDate(std::numeric_limits<double>::infinity()).GetStatus(), OleDate::Invalid);
  // Arithmetic that leaves the range gives an invalid date instead of a wrapped one.
  EXPECT_FALSE((OleDate(3615897.0) + OleDateSpan(1, 0, 0, 0)).IsValid());
  EXPECT_FALSE((OleDate(-3615897.0) - OleDateSpan(1, 0, 0, 0)).IsValid());
}

TEST(OleDate, ImpossiblePartsGiveInvalidAndDefaultIsNull) {
  EXPECT_TRUE(OleDate().IsNull());
  EXPECT_EQ(OleDate(2023, 2, 29).GetStatus(), OleDate::Invalid);
  EXPECT_TRUE(OleDate(2024, 2, 29).IsValid());
  EXPECT_EQ(OleDate(2024, 13, 1).GetStatus(), OleDate::Invalid);
  EXPECT_EQ(OleDate(2024, 0, 1).GetStatus(), OleDate::Invalid);
  EXPECT_EQ(OleDate(2024, 1, 1, 24, 0, 0).GetStatus(), OleDate::Invalid);
  EXPECT_EQ(OleDate(2024, 1, 1, 0, 60, 0).GetStatus(), OleDate::Invalid);
  EXPECT_EQ(OleDate(0, 0, 0).GetStatus(), OleDate::Invalid);
  OleDate date(2024, 5, 5);
  EXPECT_FALSE(date.SetDateTime(2024, 4, 31));
  EXPECT_EQ(date.GetStatus(), OleDate::Invalid);
}

TEST(OleDate, Year4501AndTheZeroDateCountAsAbsent) {
  EXPECT_TRUE(OleDate(4501, 1, 1).IsAbsent());
  EXPECT_TRUE(OleDate(4501, 12, 31, 23, 59, 59).IsAbsent());
  EXPECT_FALSE(OleDate(4500, 12, 31).IsAbsent());
  EXPECT_FALSE(OleDate(4502, 1, 1).IsAbsent());
  EXPECT_TRUE(OleDate(0.0).IsAbsent());
  EXPECT_TRUE(OleDate().IsAbsent());
  EXPECT_TRUE(OleDate(9e9).IsAbsent());
  EXPECT_FALSE(OleDate(45000.5).IsAbsent());
}

TEST(OleDate, PartsWeekdayAndDayOfYearOfKnownDates) {
  const OleDate noon(45000.5);  // 15 March 2023, a Wednesday
  EXPECT_EQ(noon.Year(), 2023);
  EXPECT_EQ(noon.Month(), 3);
  EXPECT_EQ(noon.Day(), 15);
  EXPECT_EQ(noon.Hour(), 12);
  EXPECT_EQ(noon.DayOfWeek(), 4);
  EXPECT_EQ(noon.DayOfYear(), 74);
  EXPECT_EQ(OleDate(0.0).DayOfWeek(), 7);  // 1899-12-30 was a Saturday
  EXPECT_EQ(OleDate(2024, 12, 31).DayOfYear(), 366);
  EXPECT_EQ(OleDate(2023, 12, 31).DayOfYear(), 365);
  EXPECT_EQ(OleDate(2024, 3, 1, 10, 15, 0).Days(), 45352.0 + (10 * 60 + 15) / 1440.0);
  // Binary fractions never show as 09:59:59: parts are rounded to the second.
  const OleDate tenFifteen(45352.0 + (10 * 3600 + 15 * 60) / 86400.0);
  EXPECT_EQ(tenFifteen.Minute(), 15);
  EXPECT_EQ(tenFifteen.Second(), 0);
  // Parts round-trip across the whole range, centuries and leap rules included.
  for (const int year : {-8000, 1, 1600, 1899, 1900, 2000, 2100, 9999, 11799}) {
    const OleDate date(year, 2, 28, 23, 59, 58);
    ASSERT_TRUE(date.IsValid()) << year;
    EXPECT_EQ(date.Year(), year);
    EXPECT_EQ(date.Month(), 2);
    EXPECT_EQ(date.Day(), 28);
    EXPECT_EQ(date.Second(), 58);
  }
  EXPECT_FALSE(OleDate(1900, 2, 29).IsValid());
  EXPECT_TRUE(OleDate(2000, 2, 29).IsValid());
}

TEST(OleDate, DatesBefore1899KeepTheTimeOfDayForward) {
  const OleDate date(-1.25);  // 1899-12-29 06:00
  EXPECT_EQ(date.Format("%Y-%m-%d %H:%M"), "1899-12-29 06:00");
  EXPECT_EQ(OleDate(1899, 12, 29, 18, 0, 0).Days(), -1.75);
  // Adding a day crosses from the backwards-counting days into the forward ones.
  EXPECT_EQ((date + OleDateSpan(1, 0, 0, 0)).Days(), 0.25);
  EXPECT_LT(OleDate(-1.25), OleDate(-1.75));
  EXPECT_EQ((OleDate(0.25) - OleDate(-1.25)).Days(), 1.0);
}

TEST(OleDate, SpansAddSubtractAndMeasure) {
  const OleDate start(2024, 2, 28, 22, 30, 0);
  EXPECT_EQ((start + OleDateSpan(1, 2, 0, 0)).Format("%Y-%m-%d %H:%M"), "2024-03-01 00:30");
  EXPECT_EQ((start - OleDateSpan(0, 0, 31, 0)).Format("%H:%M"), "21:59");
  EXPECT_EQ((OleDate(2024, 3, 1) - OleDate(2024, 2, 1)).TotalSeconds(), 29 * 86400);
  OleDate moving = start;
  moving += OleDateSpan(0, 0, 0, 30);
  moving -= OleDateSpan(0, 0, 0, 90);
  EXPECT_EQ(moving.Format("%H:%M:%S"), "22:29:00");
  // Operations on a date that is not valid stay not valid.
  EXPECT_TRUE((OleDate() + OleDateSpan(1.0)).IsNull());
  EXPECT_EQ((OleDate(1e10) + OleDateSpan(1.0)).GetStatus(), OleDate::Invalid);
}

TEST(OleDate, ComparesByTimeWithInvalidDatesFirst) {
  EXPECT_EQ(OleDate(2024, 1, 1), OleDate(45292.0));
  EXPECT_LT(OleDate(2024, 1, 1), OleDate(2024, 1, 1, 0, 0, 1));
  EXPECT_GT(OleDate(2024, 1, 2), OleDate(2024, 1, 1, 23, 59, 59));
  EXPECT_LT(OleDate(), OleDate(-100.0));
  EXPECT_NE(OleDate(), OleDate(0.0));
  EXPECT_EQ(OleDate(), OleDate());
}

TEST(OleDate, FormatsWithStrftimeAndMarksNullAndInvalid) {
  EXPECT_EQ(OleDate(2024, 3, 1, 10, 15, 0).Format("%Y%m%dT%H%M%SZ"), "20240301T101500Z");
  EXPECT_EQ(OleDate(2024, 3, 1).Format("%A %j"), "Friday 061");
  EXPECT_EQ(OleDate().Format("%Y"), "");
  EXPECT_EQ(OleDate(2024, 2, 30).Format("%Y"), "Invalid DateTime");
  EXPECT_EQ(OleDate(2024, 3, 1).Format(""), "");
  const std::string longPattern(600, 'x');
  EXPECT_EQ(OleDate(2024, 3, 1).Format((longPattern + "%Y").c_str()), longPattern + "2024");
}

TEST(OleDate, LocalTimeFollowsTheTzEnvironment) {
  {
    ScopedTimeZone zone(kZoneBerlin);
    OleDate summer(2024, 7, 1, 12, 0, 0);
    UtcToLocal(summer);
    EXPECT_EQ(summer.Format("%H:%M"), "14:00");
    OleDate winter(2024, 1, 15, 12, 0, 0);
    UtcToLocal(winter);
    EXPECT_EQ(winter.Format("%H:%M"), "13:00");
    LocalToUtc(winter);
    EXPECT_EQ(winter.Format("%H:%M"), "12:00");
    // Before 1970 the C library's rules still apply.
    OleDate old(1960, 1, 1, 10, 0, 0);
    LocalToUtc(old);
    EXPECT_EQ(old.Format("%Y%m%dT%H%M%S"), "19600101T090000");
  }
  {
    ScopedTimeZone zone(kZoneSydney);
    OleDate january(2024, 1, 15, 0, 0, 0);
    UtcToLocal(january);
    EXPECT_EQ(january.Format("%H:%M"), "11:00");
    OleDate july(2024, 7, 15, 0, 0, 0);
    UtcToLocal(july);
    EXPECT_EQ(july.Format("%H:%M"), "10:00");
  }
  {
    ScopedTimeZone zone(kZonePlusOne);
    EXPECT_EQ(CurrentBiasSeconds(), -3600);
    time_t seconds = 0;
    ASSERT_TRUE(OleDate(1970, 1, 1, 1, 0, 0).ToUnixTimeLocal(seconds));
    EXPECT_EQ(seconds, 0);
    EXPECT_EQ(OleDate::FromUnixTimeLocal(0), OleDate(1970, 1, 1, 1, 0, 0));
    EXPECT_EQ(OleDate::FromUnixTimeUtc(86400), OleDate(1970, 1, 2));
  }
  OleDate null;
  UtcToLocal(null);
  EXPECT_TRUE(null.IsNull());
}
