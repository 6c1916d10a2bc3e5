// Recurrence rules (RRULE, in the iCalendar 2.0 and the vCalendar 1.0 grammar) and alarm triggers
// (TRIGGER, AALARM, DALARM): reading them from calendar text and writing them.
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

// The instance that stands for "the last" such weekday of the month.
inline constexpr int kLastInstance = 5;

// A value type: what a recurrence rule says, in the store's terms (its pattern's Instance,
// DayOfMonth, MonthOfYear and Occurrences).
struct RecurrencePattern {
  int type = -1;          // a RecurrenceType; -1 none
  int interval = 1;       // in months for the yearly types, as the store counts them
  int dayMask = 0;        // RecurrenceDay bits
  int instance = 0;       // 1-4 the n-th, kLastInstance the last of the days in dayMask; 0 none
  int dayOfMonth = 0;     // 1-31, or -1 the last day of the month; 0 none (the start's day)
  int monthOfYear = 0;    // 1-12; 0 none (the start's month)
  bool noEndDate = true;  // open-ended (unless occurrences says otherwise)
  OleDate end;            // the recurrence end in the machine's local time, when !noEndDate
  bool endIsDate = false; // the end is a whole day: the series ends with that day's occurrence
  OleDate endUtc;         // the end as a rule read gave it in UTC, if it did; written as it stands
                          // while `end` is still that instant, so a UTC end never goes through
                          // local time and back
  int occurrences = 0;    // number of occurrences of a counted series, 0 when not counted

  bool operator==(const RecurrencePattern&) const = default;
};

// How a pattern's rule is written.
struct RecurrenceWriteOptions {
  bool allDay = false;  // the series' start is a date: UNTIL is written as a date
};

// Reads an RRULE value in either grammar.
//
// iCalendar 2.0: FREQ (DAILY, WEEKLY, MONTHLY, YEARLY), INTERVAL (default 1, at least 1), BYDAY
// (the day names in it; the ordinal of its first day, or else BYSETPOS, gives the instance, -1
// being the last), BYMONTHDAY (its first value), BYMONTH (its first value), UNTIL and COUNT; other
// parts are ignored. A day set makes the monthly and yearly types the by-weekday ones.
//
// vCalendar 1.0: "D", "W", "MP", "MD", "YM" or "YD" with the interval ("W2 MO WE", "MP1 2+ FR",
// "MP1 1- SU", "MD1 15", "MD1 1-", "YM1 6"), then "#n" (n occurrences, "#0" open-ended) or an end
// date; without either the series is open-ended.
//
// Yearly intervals are converted to months (a value of 12 is taken as months already). UNTIL with
// "Z" is converted from UTC to local time, a floating one is local time already, a date is the end
// of that day. False, with `pattern` untouched, when the rule has no known frequency.
bool ReadRecurrenceRule(std::string_view value, RecurrencePattern& pattern);

// The iCalendar 2.0 RRULE value of a pattern: FREQ, INTERVAL (yearly ones in years, at least 1),
// BYDAY when days are set (SU MO TU WE TH FR SA order; with an instance, as an ordinal of one day,
// or as BYSETPOS for several), BYMONTHDAY and BYMONTH for the types that use them, then COUNT for
// a counted series, or UNTIL when the pattern ends on a date that is set and not in the year 4501:
// a real UTC instant ("Z"), converted from local time, and for an end that is a whole day the end
// of that day; with `options.allDay` the date. "" for an unknown type.
std::string WriteRecurrenceRule(const RecurrencePattern& pattern, const RecurrenceWriteOptions& options = {});

// The vCalendar 1.0 RRULE value of a pattern ("W1 MO WE #0", "MP1 1- FR 20251231T100000", "MD1 15 #10"):
// the frequency and interval, the days, the count ("#n"), `endText` for a series that ends on a
// date, or "#0" for an open one. A yearly pattern by weekday becomes a monthly one every twelve
// months. "" for an unknown type.
std::string WriteRecurrenceRule10(const RecurrencePattern& pattern, std::string_view endText);

// The reminder lead time of a TRIGGER value in minutes: weeks, days, hours, minutes and seconds
// of the ISO 8601 duration are added up (-P1DT2H is 1560); the sign is ignored; a value without a
// duration unit gives 0.
int ReadTrigger(std::string_view value);
// The same duration with its sign: negative before the time it relates to.
int ReadSignedTrigger(std::string_view value);

// A lead time of `minutes` as a negative duration in the largest whole unit: -PT0M, -P%dW, -P%dD,
// -PT%dH or -PT%dM. A negative lead time is written as -PT0M.
std::string WriteTrigger(int minutes);

// The length of an ISO 8601 duration ("P1D", "PT1H30M", "-P1W") in seconds, with its sign; false
// when the text is not a duration.
bool ReadDuration(std::string_view value, long long& seconds);
