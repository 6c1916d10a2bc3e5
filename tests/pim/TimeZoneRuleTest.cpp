// Time zones read from VTIMEZONE: northern and southern daylight rules, single-offset zones, conversions.
#include <gtest/gtest.h>

#include "pim/TimeZoneRule.h"
#include "tests/pim/VCalTestZone.h"
#include "tests/support/TempDir.h"

namespace {

std::string ZoneText(const std::string& file) { return ReadFileBytes(std::string(LARK_TEST_DATA) + "/vcal/" + file); }

// Reads the VTIMEZONE of `text` as the component walk does: after its BEGIN line.
TimeZoneRule ReadZone(const std::string& text) {
  size_t position = text.find('\n') + 1;
  TimeZoneRule rule;
  ReadVTimeZone(text, position, rule);
  return rule;
}

std::string ToUtc(const TimeZoneRule& rule, OleDate date) {
  ZoneToUtc(rule, date);
  return date.Format("%Y-%m-%d %H:%M");
}

std::string ToZone(const TimeZoneRule& rule, OleDate date) {
  UtcToZone(rule, date);
  return date.Format("%Y-%m-%d %H:%M");
}

}  // namespace

TEST(ReadVTimeZone, ReadsIdentifierOffsetsNamesAndRules) {
  const std::string text = ZoneText("vtimezone-berlin.ics") + "BEGIN:VEVENT\n";
  size_t position = text.find('\n') + 1;
  TimeZoneRule rule;
  rule.tzid = "left over";
  rule.standard.yearDay = 7;
  ReadVTimeZone(text, position, rule);
  EXPECT_EQ(rule.tzid, "Europe/Berlin");
  EXPECT_EQ(rule.daylight.name, "CEST");
  EXPECT_EQ(rule.daylight.offsetFrom, 100);
  EXPECT_EQ(rule.daylight.offsetTo, 200);
  EXPECT_EQ(rule.daylight.month, 3);
  EXPECT_EQ(rule.daylight.weekday, 1);
  EXPECT_EQ(rule.daylight.ordinal, -1);
  EXPECT_EQ(rule.daylight.start.Format("%H:%M"), "02:00");
  EXPECT_EQ(rule.standard.name, "CET");
  EXPECT_EQ(rule.standard.offsetTo, 100);
  EXPECT_EQ(rule.standard.month, 10);
  EXPECT_EQ(rule.standard.yearDay, 0);  // the rule was reset before reading
  // Reading stops after END:VTIMEZONE.
  EXPECT_EQ(text.substr(position), "BEGIN:VEVENT\n");
}

TEST(ReadVTimeZone, NegativeOffsetsOrdinalsAndYearDaysAndTheLatestPartWins) {
  const TimeZoneRule rule = ReadZone(
      "BEGIN:VTIMEZONE\nTZID:America/New_York\n"
      "BEGIN:DAYLIGHT\nDTSTART:19870405T020000\nTZOFFSETFROM:-0500\nTZOFFSETTO:-0400\n"
      "RRULE:FREQ=YEARLY;BYMONTH=4;BYDAY=1SU;UNTIL=20060402T070000Z\nEND:DAYLIGHT\n"
      "BEGIN:DAYLIGHT\nDTSTART:20070311T020000\nTZOFFSETFROM:-0500\nTZOFFSETTO:-0400\n"
      "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\nEND:DAYLIGHT\n"
      "BEGIN:STANDARD\nDTSTART:20071104T020000\nTZOFFSETFROM:-0400\nTZOFFSETTO:-0500\n"
      "RRULE:FREQ=YEARLY;BYDAY=+1XX;BYYEARDAY=308;BYMONTH=11\nEND:STANDARD\nEND:VTIMEZONE\n");
  EXPECT_EQ(rule.tzid, "America/New_York");
  EXPECT_EQ(rule.daylight.month, 3);
  EXPECT_EQ(rule.daylight.ordinal, 2);
  EXPECT_EQ(rule.daylight.start.Year(), 2007);
  EXPECT_EQ(rule.standard.offsetFrom, -400);
  EXPECT_EQ(rule.standard.offsetTo, -500);
  EXPECT_EQ(rule.standard.weekday, 0);  // an unknown day name has no effect
  EXPECT_EQ(rule.standard.yearDay, 308);
  // Second Sunday of March 2024 is the 10th.
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 10, 1, 59, 0)), "2024-03-10 06:59");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 10, 3, 0, 0)), "2024-03-10 07:00");
}

TEST(ZoneToUtc, NorthernZoneHasDaylightTimeInSummer) {
  const TimeZoneRule rule = ReadZone(ZoneText("vtimezone-berlin.ics"));
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 7, 1, 12, 0, 0)), "2024-07-01 10:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 1, 15, 12, 0, 0)), "2024-01-15 11:00");
  // Last Sunday of March 2024 is the 31st, the change at 02:00.
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 31, 3, 0, 0)), "2024-03-31 01:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 31, 1, 59, 0)), "2024-03-31 00:59");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 24, 12, 0, 0)), "2024-03-24 11:00");
  // Last Sunday of October 2024 is the 27th, the change at 03:00.
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 10, 27, 2, 59, 0)), "2024-10-27 00:59");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 10, 27, 3, 0, 0)), "2024-10-27 02:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 12, 31, 23, 30, 0)), "2024-12-31 22:30");
}

TEST(UtcToZone, ChangesAtTheInstantOfEachTransition) {
  const TimeZoneRule rule = ReadZone(ZoneText("vtimezone-berlin.ics"));
  EXPECT_EQ(ToZone(rule, OleDate(2024, 3, 31, 0, 59, 0)), "2024-03-31 01:59");
  EXPECT_EQ(ToZone(rule, OleDate(2024, 3, 31, 1, 0, 0)), "2024-03-31 03:00");
  EXPECT_EQ(ToZone(rule, OleDate(2024, 10, 27, 0, 59, 0)), "2024-10-27 02:59");
  EXPECT_EQ(ToZone(rule, OleDate(2024, 10, 27, 1, 0, 0)), "2024-10-27 02:00");
  EXPECT_EQ(ToZone(rule, OleDate(2024, 7, 1, 10, 0, 0)), "2024-07-01 12:00");
}

TEST(ZoneToUtc, SouthernZoneHasDaylightTimeAcrossTheTurnOfTheYear) {
  const TimeZoneRule rule = ReadZone(ZoneText("vtimezone-sydney.ics"));
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 1, 15, 12, 0, 0)), "2024-01-15 01:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 12, 25, 12, 0, 0)), "2024-12-25 01:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 7, 15, 12, 0, 0)), "2024-07-15 02:00");
  // First Sunday of April 2024 is the 7th (back to standard at 03:00), of October the 6th.
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 4, 7, 2, 59, 0)), "2024-04-06 15:59");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 4, 7, 3, 0, 0)), "2024-04-06 17:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 10, 6, 1, 59, 0)), "2024-10-05 15:59");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 10, 6, 3, 0, 0)), "2024-10-05 16:00");
  EXPECT_EQ(ToZone(rule, OleDate(2024, 1, 15, 1, 0, 0)), "2024-01-15 12:00");
  EXPECT_EQ(ToZone(rule, OleDate(2024, 7, 15, 2, 0, 0)), "2024-07-15 12:00");
}

TEST(ZoneToUtc, SingleOffsetZonesApplyTheirOffset) {
  const TimeZoneRule india = ReadZone(ZoneText("vtimezone-kolkata.ics"));
  EXPECT_EQ(ToUtc(india, OleDate(2024, 7, 1, 12, 0, 0)), "2024-07-01 06:30");
  EXPECT_EQ(ToZone(india, OleDate(2024, 7, 1, 6, 30, 0)), "2024-07-01 12:00");

  TimeZoneRule sameOffsets;
  sameOffsets.standard.offsetTo = -430;
  sameOffsets.daylight.offsetTo = -430;
  EXPECT_EQ(ToUtc(sameOffsets, OleDate(2024, 1, 1, 22, 0, 0)), "2024-01-02 02:30");

  // A daylight part alone: the standard offset is the one it changes from.
  TimeZoneRule daylightOnly;
  daylightOnly.daylight.offsetFrom = 100;
  daylightOnly.daylight.offsetTo = 100;
  EXPECT_EQ(ToUtc(daylightOnly, OleDate(2024, 1, 1, 12, 0, 0)), "2024-01-01 11:00");

  // No offsets at all leaves the time as it is.
  EXPECT_EQ(ToUtc(TimeZoneRule(), OleDate(2024, 1, 1, 12, 0, 0)), "2024-01-01 12:00");
}

TEST(ZoneToUtc, ZonesWithoutTransitionRulesUseTheStandardOffset) {
  TimeZoneRule rule;
  rule.standard.offsetTo = 100;
  rule.daylight.offsetTo = 200;
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 7, 1, 12, 0, 0)), "2024-07-01 11:00");
  OleDate invalid(2024, 2, 30);
  ZoneToUtc(rule, invalid);
  EXPECT_EQ(invalid.GetStatus(), OleDate::Invalid);
}

TEST(ZoneToUtc, YearDayTransitions) {
  TimeZoneRule rule;
  rule.standard.offsetFrom = 200;
  rule.standard.offsetTo = 100;
  rule.standard.yearDay = 300;
  rule.standard.start = OleDate(1970, 1, 1, 3, 0, 0);
  rule.daylight.offsetTo = 200;
  rule.daylight.yearDay = 90;
  rule.daylight.start = OleDate(1970, 1, 1, 2, 0, 0);
  // Day 90 of 2024 (a leap year) is 30 March.
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 30, 1, 0, 0)), "2024-03-30 00:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 30, 2, 0, 0)), "2024-03-30 00:00");
  // A day beyond the year's end is the last day, not an endless search.
  rule.standard.yearDay = 400;
  EXPECT_EQ(ToUtc(rule, OleDate(2023, 12, 31, 2, 0, 0)), "2023-12-31 00:00");
}

TEST(ApplyZone, ConvertsFromTheNamedZoneThenToTheMachinesLocalTime) {
  ScopedTimeZone machine(kZoneSydney);
  const TimeZoneRule berlin = ReadZone(ZoneText("vtimezone-berlin.ics"));
  OleDate meeting(2024, 7, 1, 12, 0, 0);
  ApplyZone(berlin, meeting, "Europe/Berlin");
  EXPECT_EQ(meeting.Format("%Y-%m-%d %H:%M"), "2024-07-01 20:00");
  // Another zone identifier: the time is taken as UTC.
  OleDate utc(2024, 7, 1, 12, 0, 0);
  ApplyZone(berlin, utc, "Europe/Paris");
  EXPECT_EQ(utc.Format("%Y-%m-%d %H:%M"), "2024-07-01 22:00");
}

TEST(ReadVTimeZone, UnterminatedComponentsEndWithTheText) {
  const TimeZoneRule rule = ReadZone("BEGIN:VTIMEZONE\nTZID:X\nBEGIN:STANDARD\nTZOFFSETTO:+0300\nTZOFFSETFROM:+0300");
  EXPECT_EQ(rule.tzid, "X");
  EXPECT_EQ(rule.standard.offsetTo, 300);
  EXPECT_EQ(rule.standard.offsetFrom, 300);
}

TEST(ReadVTimeZone, PartsGivenByMonthDaysFindTheirWeekdayAmongThem) {
  // The last Sunday written as the Sunday among the last seven days, as some senders write it.
  const TimeZoneRule rule = ReadZone(
      "BEGIN:VTIMEZONE\nTZID:Central Europe\n"
      "BEGIN:DAYLIGHT\nDTSTART:19810329T020000\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0200\n"
      "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=SU;BYMONTHDAY=25,26,27,28,29,30,31\nEND:DAYLIGHT\n"
      "BEGIN:STANDARD\nDTSTART:19961027T030000\nTZOFFSETFROM:+0200\nTZOFFSETTO:+0100\n"
      "RRULE:FREQ=YEARLY;BYMONTH=10;BYMONTHDAY=25,26,27,28,29,30,31;BYDAY=SU\nEND:STANDARD\nEND:VTIMEZONE\n");
  EXPECT_EQ(rule.daylight.monthDays, 0xFE000000u);
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 31, 1, 59, 0)), "2024-03-31 00:59");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 3, 31, 3, 0, 0)), "2024-03-31 01:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 10, 27, 3, 0, 0)), "2024-10-27 02:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2025, 3, 30, 12, 0, 0)), "2025-03-30 10:00");
  // A day of the month alone is the day.
  TimeZoneRule fixedDays = rule;
  fixedDays.daylight.weekday = 0;
  fixedDays.daylight.monthDays = 1u << 15;
  EXPECT_EQ(ToUtc(fixedDays, OleDate(2024, 3, 15, 1, 0, 0)), "2024-03-15 00:00");
  EXPECT_EQ(ToUtc(fixedDays, OleDate(2024, 3, 15, 3, 0, 0)), "2024-03-15 01:00");
}

TEST(ReadVTimeZone, PartsGivenByDatesTakeTheLatestOnsetBeforeTheTime) {
  // One part per change, with RDATE lists and without rules.
  const TimeZoneRule rule = ReadZone(
      "BEGIN:VTIMEZONE\nTZID:Listed\n"
      "BEGIN:STANDARD\nDTSTART:20231029T030000\nRDATE:20241027T030000,20251026T030000\nTZOFFSETFROM:+0200\n"
      "TZOFFSETTO:+0100\nEND:STANDARD\n"
      "BEGIN:DAYLIGHT\nDTSTART:20240331T020000\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0200\nEND:DAYLIGHT\n"
      "BEGIN:DAYLIGHT\nDTSTART:20250330T020000\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0200\nEND:DAYLIGHT\nEND:VTIMEZONE\n");
  EXPECT_EQ(rule.onsets.size(), 5u);
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 1, 15, 12, 0, 0)), "2024-01-15 11:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 7, 1, 12, 0, 0)), "2024-07-01 10:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2024, 12, 1, 12, 0, 0)), "2024-12-01 11:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2025, 7, 1, 12, 0, 0)), "2025-07-01 10:00");
  EXPECT_EQ(ToZone(rule, OleDate(2024, 10, 27, 0, 59, 0)), "2024-10-27 02:59");
  EXPECT_EQ(ToZone(rule, OleDate(2024, 10, 27, 1, 0, 0)), "2024-10-27 02:00");
  // Before the first onset: the offset it changes from.
  EXPECT_EQ(ToUtc(rule, OleDate(2023, 7, 1, 12, 0, 0)), "2023-07-01 10:00");
}

TEST(ReadVTimeZone, AMonthlyRuleEveryTwelveMonthsWithoutMonthIsYearlyInTheMonthOfItsStart) {
  // As SyncEvolution's server writes its zones (valid iCalendar).
  const std::string berlin =
      "BEGIN:VTIMEZONE\nTZID:Europe/Berlin\n"
      "BEGIN:STANDARD\nDTSTART:19701025T030000\nRRULE:FREQ=MONTHLY;INTERVAL=12;BYDAY=-1SU\nTZNAME:CET\n"
      "TZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nEND:STANDARD\n"
      "BEGIN:DAYLIGHT\nDTSTART:19700329T020000\nRRULE:FREQ=MONTHLY;INTERVAL=12;BYDAY=-1SU\nTZNAME:CEST\n"
      "TZOFFSETFROM:+0100\nTZOFFSETTO:+0200\nEND:DAYLIGHT\nEND:VTIMEZONE\n";
  const TimeZoneRule rule = ReadZone(berlin);
  EXPECT_EQ(rule.standard.month, 10);
  EXPECT_EQ(rule.daylight.month, 3);
  EXPECT_EQ(ToUtc(rule, OleDate(2025, 1, 13, 10, 0, 0)), "2025-01-13 09:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2025, 7, 14, 10, 0, 0)), "2025-07-14 08:00");
  EXPECT_EQ(ToUtc(rule, OleDate(2025, 3, 30, 3, 0, 0)), "2025-03-30 01:00");
  // FREQ=YEARLY without BYMONTH likewise; a monthly rule at another interval is not yearly.
  std::string yearly = berlin;
  for (size_t at; (at = yearly.find("MONTHLY;INTERVAL=12")) != std::string::npos;) yearly.replace(at, 19, "YEARLY");
  EXPECT_EQ(ReadZone(yearly).standard.month, 10);
  std::string monthly = berlin;
  for (size_t at; (at = monthly.find("INTERVAL=12")) != std::string::npos;) monthly.replace(at, 11, "INTERVAL=1");
  EXPECT_EQ(ReadZone(monthly).standard.month, 0);
}
