// Recurrence rules and alarm triggers: reading the forms servers send and writing the store's patterns.
#include <gtest/gtest.h>

#include "pim/VCalRecurrence.h"

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

}  // namespace

TEST(WriteRecurrenceRule, WritesFrequencyIntervalDaysAndEnd) {
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
  EXPECT_EQ(lastFriday.interval, 1);
  EXPECT_EQ(Read("FREQ=MONTHLY;BYMONTHDAY=15").type, RECUR_MONTHLY);
  EXPECT_EQ(Read("FREQ=YEARLY;BYMONTH=11;BYDAY=4TH").type, RECUR_YEARLY_NTH);

  const RecurrencePattern until = Read("FREQ=DAILY;UNTIL=20241231T235959Z;COUNT=10;X-FOO;=BAR");
  EXPECT_FALSE(until.noEndDate);
  EXPECT_EQ(until.end, OleDate(2024, 12, 31, 23, 59, 59));
  EXPECT_EQ(until.occurrences, 10);
  EXPECT_EQ(Read("FREQ=DAILY;INTERVAL=0").interval, 1);
  EXPECT_TRUE(Read("FREQ=DAILY;UNTIL=2024").noEndDate);
}

TEST(ReadRecurrenceRule, RuleWithoutKnownFrequencySetsNothing) {
  RecurrencePattern pattern = Pattern(RECUR_WEEKLY, 3, DAY_MONDAY);
  const RecurrencePattern before = pattern;
  EXPECT_FALSE(ReadRecurrenceRule("FREQ=HOURLY;INTERVAL=2", pattern));
  EXPECT_FALSE(ReadRecurrenceRule("INTERVAL=2;BYDAY=MO", pattern));
  EXPECT_FALSE(ReadRecurrenceRule("", pattern));
  EXPECT_EQ(pattern, before);
}

TEST(RecurrenceRule, WrittenPatternsReadBackUnchanged) {
  for (const RecurrencePattern& written :
       {Pattern(RECUR_DAILY, 2), Pattern(RECUR_WEEKLY, 1, DAY_TUESDAY | DAY_THURSDAY, OleDate(2025, 1, 31, 8, 0, 0)),
        Pattern(RECUR_MONTHLY, 3), Pattern(RECUR_MONTHLY_NTH, 1, DAY_SUNDAY), Pattern(RECUR_YEARLY, 12),
        Pattern(RECUR_YEARLY_NTH, 36, DAY_FRIDAY)}) {
    EXPECT_EQ(Read(WriteRecurrenceRule(written)), written) << WriteRecurrenceRule(written);
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
}
