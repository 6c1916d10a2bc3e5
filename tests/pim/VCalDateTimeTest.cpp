// Calendar date and date-time texts: event times to UTC text, dates and stamps, and reading them back.
#include <gtest/gtest.h>

#include "pim/VCalDateTime.h"
#include "tests/pim/VCalTestZone.h"

TEST(DateToVCalText, EmptyForDatesNotAfterZero) {
  EXPECT_EQ(DateToVCalText(0, false), "");
  EXPECT_EQ(DateToVCalText(-5.5, true), "");
  EXPECT_EQ(DateToVCalText(1e12, false), "");
}

TEST(DateToVCalText, AllDayGivesTheLocalDate) {
  ScopedTimeZone zone(kZoneSydney);
  EXPECT_EQ(DateToVCalText(45000.5, true), "20230315");
  EXPECT_EQ(DateToVCalText(45000.99, true), "20230315");
}

TEST(DateToVCalText, TimedGivesUtcByTheRulesOfThatDate) {
  ScopedTimeZone zone(kZoneBerlin);
  EXPECT_EQ(DateToVCalText(OleDate(2024, 7, 1, 12, 0, 0).Days(), false), "20240701T100000Z");
  EXPECT_EQ(DateToVCalText(OleDate(2024, 1, 15, 12, 0, 0).Days(), false), "20240115T110000Z");
  // Local midnight moves to the previous UTC day.
  EXPECT_EQ(DateToVCalText(OleDate(2024, 3, 1).Days(), false), "20240229T230000Z");
}

TEST(DateToVCalText, DatesBefore1970UseTheZoneOfThatDate) {
  ScopedTimeZone zone(kZonePlusOne);
  EXPECT_EQ(DateToVCalText(OleDate(1960, 1, 1, 10, 0, 0).Days(), false), "19600101T090000Z");
  EXPECT_EQ(DateToVCalText(OleDate(1899, 12, 30, 0, 30, 0).Days(), false), "18991229T233000Z");
}

TEST(VCalDateText, DatesAndStampsUseTheirOwnDigits) {
  ScopedTimeZone zone(kZoneBerlin);
  EXPECT_EQ(VCalDateText(OleDate(2024, 3, 1, 23, 0, 0)), "20240301");
  EXPECT_EQ(VCalStampText(OleDate(2024, 3, 1, 23, 0, 0)), "20240301T230000Z");
  EXPECT_EQ(VCalDateText(OleDate()), "");
  EXPECT_EQ(VCalStampText(OleDate(2024, 2, 30)), "");
}

TEST(ParseVCalDateTime, ReadsDateAndOptionalTime) {
  EXPECT_EQ(ParseVCalDateTime("20240301"), OleDate(2024, 3, 1));
  EXPECT_EQ(ParseVCalDateTime("20240301T101500Z"), OleDate(2024, 3, 1, 10, 15, 0));
  EXPECT_EQ(ParseVCalDateTime("20240301T101500"), OleDate(2024, 3, 1, 10, 15, 0));
  EXPECT_EQ(ParseVCalDateTime("20240301T101500+0200 trailing"), OleDate(2024, 3, 1, 10, 15, 0));
  // Up to 14 characters the time part is not read.
  EXPECT_EQ(ParseVCalDateTime("20240301T1015"), OleDate(2024, 3, 1));
}

TEST(ParseVCalDateTime, ShortOrMalformedTextGivesInvalid) {
  EXPECT_FALSE(ParseVCalDateTime("2024").IsValid());
  EXPECT_FALSE(ParseVCalDateTime("2024030").IsValid());
  EXPECT_FALSE(ParseVCalDateTime("").IsValid());
  EXPECT_FALSE(ParseVCalDateTime("2024xx01").IsValid());
  EXPECT_FALSE(ParseVCalDateTime("20240230").IsValid());
  EXPECT_FALSE(ParseVCalDateTime("20240301T256000Z").IsValid());
  // A field is read by its leading digits: "-3" has none, so the month is 0.
  EXPECT_FALSE(ParseVCalDateTime("2024-3-1").IsValid());
  EXPECT_EQ(ParseVCalDateTime("20240301T1x1500Z"), OleDate(2024, 3, 1, 1, 15, 0));
}

TEST(IsVCalUtcText, OnlyATimeEndingInZ) {
  EXPECT_TRUE(IsVCalUtcText("20240301T101500Z"));
  EXPECT_FALSE(IsVCalUtcText("20240301T101500"));
  EXPECT_FALSE(IsVCalUtcText("20240301"));
  EXPECT_FALSE(IsVCalUtcText("2024030Z"));
}
