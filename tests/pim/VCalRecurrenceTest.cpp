// Recurrence rules and alarm triggers: reading the forms servers and phones send (both grammars)
// and writing the store's patterns.
#include <gtest/gtest.h>

#include "pim/VCalRecurrence.h"
#include "tests/pim/VCalTestZone.h"

namespace {

RecurrencePattern Pattern(int type, int interval, int dayMask = 0, OleDate end = OleDate()) {
  RecurrencePattern pattern;
  pattern.type = type;
  pattern.interval = interval;
  pattern.dayMask = dayMask;
  pattern.noEndDate = end.IsNull();
  pattern.end = end;
  return pattern;
}

RecurrencePattern Read(std::string_view rule) {
  RecurrencePattern pattern;
  EXPECT_TRUE(ReadRecurrenceRule(rule, pattern)) << rule;
  return pattern;
}

std::string RoundTrip(std::string_view rule, RecurrenceWriteOptions options = {}) {
  return WriteRecurrenceRule(Read(rule), options);
}

}  // namespace

TEST(WriteRecurrenceRule, WritesFrequencyIntervalDaysAndEnd) {
  ScopedTimeZone machine(kZoneUtc);
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_DAILY, 1)), "FREQ=DAILY;INTERVAL=1");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_MONTHLY_NTH, 2, DAY_FRIDAY)), "FREQ=MONTHLY;INTERVAL=2;BYDAY=FR");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_YEARLY, 12)), "FREQ=YEARLY;INTERVAL=1");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_YEARLY_NTH, 24, DAY_MONDAY)), "FREQ=YEARLY;INTERVAL=2;BYDAY=MO");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_YEARLY, 6)), "FREQ=YEARLY;INTERVAL=1");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_WEEKLY, 0)), "FREQ=WEEKLY;INTERVAL=1");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_WEEKLY, 1, DAY_SATURDAY | DAY_SUNDAY | DAY_WEDNESDAY,
                                        OleDate(2024, 6, 30, 9, 30, 0))),
            "FREQ=WEEKLY;INTERVAL=1;BYDAY=SU,WE,SA;UNTIL=20240630T093000Z");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_DAILY, 3, 0x7F)), "FREQ=DAILY;INTERVAL=3;BYDAY=SU,MO,TU,WE,TH,FR,SA");
}

TEST(WriteRecurrenceRule, OrdinalsMonthsDaysOfTheMonthAndCounts) {
  RecurrencePattern secondFriday = Pattern(RECUR_MONTHLY_NTH, 1, DAY_FRIDAY);
  secondFriday.instance = 2;
  EXPECT_EQ(WriteRecurrenceRule(secondFriday), "FREQ=MONTHLY;INTERVAL=1;BYDAY=2FR");
  RecurrencePattern lastSunday = Pattern(RECUR_YEARLY_NTH, 12, DAY_SUNDAY);
  lastSunday.instance = kLastInstance;
  lastSunday.monthOfYear = 3;
  EXPECT_EQ(WriteRecurrenceRule(lastSunday), "FREQ=YEARLY;INTERVAL=1;BYDAY=-1SU;BYMONTH=3");
  RecurrencePattern lastWorkday = Pattern(RECUR_MONTHLY_NTH, 1, 0x3E);
  lastWorkday.instance = kLastInstance;
  EXPECT_EQ(WriteRecurrenceRule(lastWorkday), "FREQ=MONTHLY;INTERVAL=1;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1");
  RecurrencePattern fifteenth = Pattern(RECUR_MONTHLY, 1);
  fifteenth.dayOfMonth = 15;
  fifteenth.occurrences = 10;
  fifteenth.noEndDate = false;
  EXPECT_EQ(WriteRecurrenceRule(fifteenth), "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=15;COUNT=10");
  RecurrencePattern birthday = Pattern(RECUR_YEARLY, 12);
  birthday.dayOfMonth = 29;
  birthday.monthOfYear = 2;
  EXPECT_EQ(WriteRecurrenceRule(birthday), "FREQ=YEARLY;INTERVAL=1;BYMONTHDAY=29;BYMONTH=2");
  // Instance and day of the month belong to their types only.
  RecurrencePattern weekly = Pattern(RECUR_WEEKLY, 1, DAY_MONDAY);
  weekly.instance = 2;
  weekly.dayOfMonth = 3;
  EXPECT_EQ(WriteRecurrenceRule(weekly), "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO");
}

TEST(WriteRecurrenceRule, EndsAreRealUtcInstantsAndAWholeDayKeepsItsLastOccurrence) {
  ScopedTimeZone machine(kZoneBerlin);
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_WEEKLY, 1, DAY_MONDAY, OleDate(2024, 7, 29, 9, 30, 0))),
            "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20240729T073000Z");
  RecurrencePattern day = Pattern(RECUR_DAILY, 1, 0, OleDate(2024, 12, 20));
  day.endIsDate = true;
  EXPECT_EQ(WriteRecurrenceRule(day), "FREQ=DAILY;INTERVAL=1;UNTIL=20241220T225959Z");
  EXPECT_EQ(WriteRecurrenceRule(day, {true}), "FREQ=DAILY;INTERVAL=1;UNTIL=20241220");
  // A UTC end read from a rule goes out as it came, even in the repeated hour of the autumn change.
  EXPECT_EQ(RoundTrip("FREQ=DAILY;UNTIL=20241027T010000Z"), "FREQ=DAILY;INTERVAL=1;UNTIL=20241027T010000Z");
  EXPECT_EQ(RoundTrip("FREQ=DAILY;UNTIL=20241027T003000Z"), "FREQ=DAILY;INTERVAL=1;UNTIL=20241027T003000Z");
}

TEST(WriteRecurrenceRule, EndlessPatternsAndUnknownTypes) {
  RecurrencePattern endless = Pattern(RECUR_DAILY, 1, 0, OleDate(2024, 1, 1));
  endless.noEndDate = true;
  EXPECT_EQ(WriteRecurrenceRule(endless), "FREQ=DAILY;INTERVAL=1");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_DAILY, 1, 0, OleDate(4501, 1, 1))), "FREQ=DAILY;INTERVAL=1");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(RECUR_DAILY, 1, 0, OleDate(0.0))), "FREQ=DAILY;INTERVAL=1");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(4, 1)), "");
  EXPECT_EQ(WriteRecurrenceRule(Pattern(-1, 1)), "");
}

TEST(ReadRecurrenceRule, ReadsTheFormsServersSend) {
  ScopedTimeZone machine(kZoneBerlin);
  const RecurrencePattern weekly = Read("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE");
  EXPECT_EQ(weekly.type, RECUR_WEEKLY);
  EXPECT_EQ(weekly.interval, 2);
  EXPECT_EQ(weekly.dayMask, DAY_MONDAY | DAY_WEDNESDAY);
  EXPECT_TRUE(weekly.noEndDate);

  const RecurrencePattern yearly = Read("FREQ=YEARLY;INTERVAL=1");
  EXPECT_EQ(yearly.type, RECUR_YEARLY);
  EXPECT_EQ(yearly.interval, 12);
  EXPECT_EQ(Read("FREQ=YEARLY;INTERVAL=12").interval, 12);
  EXPECT_EQ(Read("FREQ=YEARLY;INTERVAL=2").interval, 24);

  const RecurrencePattern lastFriday = Read("FREQ=MONTHLY;BYDAY=-1FR");
  EXPECT_EQ(lastFriday.type, RECUR_MONTHLY_NTH);
  EXPECT_EQ(lastFriday.dayMask, DAY_FRIDAY);
  EXPECT_EQ(lastFriday.instance, kLastInstance);
  EXPECT_EQ(lastFriday.interval, 1);
  EXPECT_EQ(Read("FREQ=MONTHLY;BYDAY=+2TU").instance, 2);
  EXPECT_EQ(Read("FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1").instance, kLastInstance);
  EXPECT_EQ(Read("FREQ=MONTHLY;BYDAY=-2FR").instance, 0) << "the store has no second to last";
  const RecurrencePattern fifteenth = Read("FREQ=MONTHLY;BYMONTHDAY=15");
  EXPECT_EQ(fifteenth.type, RECUR_MONTHLY);
  EXPECT_EQ(fifteenth.dayOfMonth, 15);
  EXPECT_EQ(Read("FREQ=MONTHLY;BYMONTHDAY=-1").dayOfMonth, -1);
  const RecurrencePattern thanksgiving = Read("FREQ=YEARLY;BYMONTH=11;BYDAY=4TH");
  EXPECT_EQ(thanksgiving.type, RECUR_YEARLY_NTH);
  EXPECT_EQ(thanksgiving.monthOfYear, 11);
  EXPECT_EQ(thanksgiving.instance, 4);

  // UNTIL in UTC is the local end; COUNT ends a series too.
  const RecurrencePattern until = Read("FREQ=DAILY;UNTIL=20241231T225959Z;X-FOO;=BAR");
  EXPECT_FALSE(until.noEndDate);
  EXPECT_EQ(until.end, OleDate(2024, 12, 31, 23, 59, 59));
  EXPECT_FALSE(until.endIsDate);
  const RecurrencePattern counted = Read("FREQ=WEEKLY;COUNT=10");
  EXPECT_EQ(counted.occurrences, 10);
  EXPECT_FALSE(counted.noEndDate);
  const RecurrencePattern dateEnd = Read("FREQ=DAILY;UNTIL=20241220");
  EXPECT_TRUE(dateEnd.endIsDate);
  EXPECT_EQ(dateEnd.end, OleDate(2024, 12, 20));
  EXPECT_EQ(Read("FREQ=DAILY;UNTIL=20241220T090000").end, OleDate(2024, 12, 20, 9, 0, 0)) << "floating is local";
  EXPECT_EQ(Read("FREQ=DAILY;INTERVAL=0").interval, 1);
  EXPECT_TRUE(Read("FREQ=DAILY;UNTIL=2024").noEndDate);
}

TEST(ReadRecurrenceRule, ReadsTheVCalendar10Grammar) {
  ScopedTimeZone machine(kZoneUtc);
  const RecurrencePattern daily = Read("D1 #5");
  EXPECT_EQ(daily.type, RECUR_DAILY);
  EXPECT_EQ(daily.occurrences, 5);
  const RecurrencePattern weekly = Read("W2 MO WE #0");
  EXPECT_EQ(weekly.type, RECUR_WEEKLY);
  EXPECT_EQ(weekly.interval, 2);
  EXPECT_EQ(weekly.dayMask, DAY_MONDAY | DAY_WEDNESDAY);
  EXPECT_TRUE(weekly.noEndDate);
  EXPECT_EQ(weekly.occurrences, 0);
  const RecurrencePattern secondFriday = Read("MP1 2+ FR #0");
  EXPECT_EQ(secondFriday.type, RECUR_MONTHLY_NTH);
  EXPECT_EQ(secondFriday.instance, 2);
  EXPECT_EQ(secondFriday.dayMask, DAY_FRIDAY);
  const RecurrencePattern lastSunday = Read("MP1 1- SU 20251231T000000Z");
  EXPECT_EQ(lastSunday.instance, kLastInstance);
  EXPECT_EQ(lastSunday.end, OleDate(2025, 12, 31));
  const RecurrencePattern fifteenth = Read("MD1 15 #12");
  EXPECT_EQ(fifteenth.type, RECUR_MONTHLY);
  EXPECT_EQ(fifteenth.dayOfMonth, 15);
  EXPECT_EQ(fifteenth.occurrences, 12);
  EXPECT_EQ(Read("MP1 2+ #0").type, RECUR_MONTHLY) << "by position without a weekday: by day";
  EXPECT_EQ(Read("MD1 1- #0").dayOfMonth, -1);
  EXPECT_EQ(Read("MD1 LD").dayOfMonth, -1);
  const RecurrencePattern june = Read("YM1 6 #10");
  EXPECT_EQ(june.type, RECUR_YEARLY);
  EXPECT_EQ(june.interval, 12);
  EXPECT_EQ(june.monthOfYear, 6);
  EXPECT_EQ(june.occurrences, 10);
  EXPECT_EQ(Read("YD1 #0").type, RECUR_YEARLY);
  EXPECT_TRUE(Read("W1 TU TH").noEndDate) << "no duration: open-ended";
  const RecurrencePattern untilDate = Read("W1 TU 20241231");
  EXPECT_TRUE(untilDate.endIsDate);
  // Written back, the 1.0 rules are the 2.0 rules that say the same.
  EXPECT_EQ(RoundTrip("MP1 2+ FR #0"), "FREQ=MONTHLY;INTERVAL=1;BYDAY=2FR");
  EXPECT_EQ(RoundTrip("YM1 6 #10"), "FREQ=YEARLY;INTERVAL=1;BYMONTH=6;COUNT=10");
  EXPECT_EQ(RoundTrip("W1 MO 20240701T080000Z"), "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20240701T080000Z");
}

TEST(ReadRecurrenceRule, RuleWithoutKnownFrequencySetsNothing) {
  RecurrencePattern pattern = Pattern(RECUR_WEEKLY, 3, DAY_MONDAY);
  const RecurrencePattern before = pattern;
  for (const char* rule : {"FREQ=HOURLY;INTERVAL=2", "INTERVAL=2;BYDAY=MO", "", "X1 MO", "M1 15", "#5", "W MO"}) {
    EXPECT_FALSE(ReadRecurrenceRule(rule, pattern)) << rule;
  }
  EXPECT_EQ(pattern, before);
}

TEST(RecurrenceRule, WrittenPatternsReadBackUnchanged) {
  for (const char* zone : {kZoneUtc, kZoneBerlin, kZoneSydney}) {
    ScopedTimeZone machine(zone);
    RecurrencePattern nth = Pattern(RECUR_MONTHLY_NTH, 1, DAY_SUNDAY);
    nth.instance = 3;
    RecurrencePattern counted = Pattern(RECUR_YEARLY, 12);
    counted.dayOfMonth = 4;
    counted.monthOfYear = 7;
    counted.occurrences = 5;
    counted.noEndDate = false;
    for (const RecurrencePattern& written :
         {Pattern(RECUR_DAILY, 2), Pattern(RECUR_WEEKLY, 1, DAY_TUESDAY | DAY_THURSDAY, OleDate(2025, 1, 31, 8, 0, 0)),
          Pattern(RECUR_MONTHLY, 3), nth, counted, Pattern(RECUR_YEARLY_NTH, 36, DAY_FRIDAY)}) {
      RecurrencePattern read = Read(WriteRecurrenceRule(written));
      read.endUtc = OleDate();  // what the reading remembers of the UTC text
      EXPECT_EQ(read, written) << zone << " " << WriteRecurrenceRule(written);
    }
  }
}

TEST(WriteTrigger, LargestWholeUnit) {
  EXPECT_EQ(WriteTrigger(0), "-PT0M");
  EXPECT_EQ(WriteTrigger(2880), "-P2D");
  EXPECT_EQ(WriteTrigger(90), "-PT90M");
  EXPECT_EQ(WriteTrigger(20160), "-P2W");
  EXPECT_EQ(WriteTrigger(120), "-PT2H");
  EXPECT_EQ(WriteTrigger(15), "-PT15M");
  EXPECT_EQ(WriteTrigger(-10), "-PT0M");
}

TEST(ReadTrigger, AddsUpEveryUnitOfTheDuration) {
  EXPECT_EQ(ReadTrigger("-PT15M"), 15);
  EXPECT_EQ(ReadTrigger("-P1DT2H"), 1560);
  EXPECT_EQ(ReadTrigger("-PT1H30M"), 90);
  EXPECT_EQ(ReadTrigger("-P2W"), 20160);
  EXPECT_EQ(ReadTrigger("PT5M"), 5);
  EXPECT_EQ(ReadTrigger("-PT90S"), 1);
  EXPECT_EQ(ReadTrigger("-PT0M"), 0);
  // A unit letter in the wrong part is skipped, as is a text without any unit.
  EXPECT_EQ(ReadTrigger("-P5M"), 0);
  EXPECT_EQ(ReadTrigger("-P1D5MT1H"), 1500);
  EXPECT_EQ(ReadTrigger("20240301T100000Z"), 0);
  EXPECT_EQ(ReadTrigger(""), 0);
  EXPECT_GT(ReadTrigger("-P99999999999999999999W"), 0);
  for (const int minutes : {0, 5, 90, 60, 1440, 2880, 10080, 43200}) EXPECT_EQ(ReadTrigger(WriteTrigger(minutes)), minutes);
  EXPECT_EQ(ReadSignedTrigger("-PT15M"), -15);
  EXPECT_EQ(ReadSignedTrigger("PT10M"), 10);
  EXPECT_EQ(ReadSignedTrigger("+PT10M"), 10);
}

TEST(ReadDuration, SignedLengthsOfIsoDurations) {
  long long seconds = 0;
  EXPECT_TRUE(ReadDuration("PT1H30M", seconds));
  EXPECT_EQ(seconds, 5400);
  EXPECT_TRUE(ReadDuration("P1D", seconds));
  EXPECT_EQ(seconds, 86400);
  EXPECT_TRUE(ReadDuration("-P1W", seconds));
  EXPECT_EQ(seconds, -604800);
  EXPECT_TRUE(ReadDuration("P1DT12H", seconds));
  EXPECT_EQ(seconds, 129600);
  for (const char* bad : {"", "P", "PT", "1H", "PT5", "P5M", "PTD", "P1H"}) EXPECT_FALSE(ReadDuration(bad, seconds)) << bad;
}
