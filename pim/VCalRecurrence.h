// Recurrence rules (RRULE) and alarm triggers (TRIGGER): reading them from calendar text and writing them.
#pragma once

#include <string>
#include <string_view>

#include "pim/OleDate.h"

// Pattern types of the store's recurrence patterns.
enum RecurrenceType : int {
  RECUR_DAILY = 0,
  RECUR_WEEKLY = 1,
  RECUR_MONTHLY = 2,         // by day of the month
  RECUR_MONTHLY_NTH = 3,     // by weekday
  RECUR_YEARLY = 5,          // by day
  RECUR_YEARLY_NTH = 6,      // by weekday
};

// Day-of-week mask bits.
enum RecurrenceDay : int {
  DAY_SUNDAY = 0x1,
  DAY_MONDAY = 0x2,
  DAY_TUESDAY = 0x4,
  DAY_WEDNESDAY = 0x8,
  DAY_THURSDAY = 0x10,
  DAY_FRIDAY = 0x20,
  DAY_SATURDAY = 0x40,
};

// A value type: what a recurrence rule says, in the store's terms.
struct RecurrencePattern {
  int type = -1;         // a RecurrenceType; -1 none
  int interval = 1;      // in months for the yearly types, as the store counts them
  int dayMask = 0;       // RecurrenceDay bits
  bool noEndDate = true; // open-ended
  OleDate end;           // the recurrence end (its own digits, no zone conversion) when !noEndDate
  int occurrences = 0;   // COUNT of a rule read from text, 0 when none; never written

  bool operator==(const RecurrencePattern&) const = default;
};

// Reads an RRULE value: FREQ (DAILY, WEEKLY, MONTHLY, YEARLY), INTERVAL (default 1, at least 1),
// BYDAY (every two-letter day name anywhere in it; ordinals ignored; a day set makes the monthly
// and yearly types the by-weekday ones), UNTIL and COUNT. Yearly intervals are converted to
// months (a value of 12 is taken as months already). Other parts are ignored. False, with
// `pattern` untouched, when the rule has no known FREQ.
bool ReadRecurrenceRule(std::string_view value, RecurrencePattern& pattern);

// The RRULE value of a pattern: FREQ, INTERVAL (yearly ones in years, at least 1), BYDAY when days
// are set (SU MO TU WE TH FR SA order, no ordinals) and UNTIL (the end's digits with a literal Z)
// when the pattern ends on a date that is set and not in the year 4501. "" for an unknown type.
std::string WriteRecurrenceRule(const RecurrencePattern& pattern);

// The reminder lead time of a TRIGGER value in minutes: weeks, days, hours, minutes and seconds
// of the ISO 8601 duration are added up (-P1DT2H is 1560); the sign is ignored; a value without a
// duration unit gives 0.
int ReadTrigger(std::string_view value);

// A lead time of `minutes` as a negative duration in the largest whole unit: -PT0M, -P%dW, -P%dD,
// -PT%dH or -PT%dM. A negative lead time is written as -PT0M.
std::string WriteTrigger(int minutes);
