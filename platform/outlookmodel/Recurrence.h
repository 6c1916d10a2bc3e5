// The rule of a recurring appointment (daily, weekly, monthly, monthly by weekday, yearly, yearly
// by weekday) and the calendar arithmetic that decides which days are occurrences.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/automation/AutomationDate.h"
#include "platform/automation/OutlookDispIds.h"

namespace outlookmodel {

struct RecurrenceRule {
  int32_t type = olRecursWeekly;
  // Days, weeks or months between occurrences (months for the yearly types: 12 is every year).
  int32_t interval = 1;
  int32_t dayOfWeekMask = 0;  // OlDaysOfWeek bits
  int32_t dayOfMonth = 1;     // 1-31; a shorter month uses its last day
  int32_t monthOfYear = 1;    // 1-12
  int32_t instance = 1;       // 1-4, or 5 for the last such weekday of the month
  // Days are those of the series' zone (of the calendar, for an all-day series).
  double patternStart = 0;    // first day of the series (00:00)
  double patternEnd = kNoDate;  // last possible day (00:00) unless noEndDate
  bool noEndDate = true;
  int32_t occurrences = 0;    // the series was given as that many occurrences (ending on patternEnd); 0 by date

  bool operator==(const RecurrenceRule&) const = default;
};

// Largest accepted field values (interval, occurrence count), as the store's dialogs allow.
inline constexpr int32_t kMaxRecurrenceInterval = 999;
inline constexpr int32_t kMaxOccurrenceCount = 999;

// A weekly rule on the weekday of `start`, with the other fields taken from `start`'s date.
RecurrenceRule RuleStartingOn(double start);
// Changes the type and resets the fields that depend on it from `start` (interval 1, or 12 for
// the yearly types). False for a type the model does not know (4 and other values).
bool SetRuleType(RecurrenceRule& rule, int32_t type, double start);

// Whether `day` (any time of it) is a day of an occurrence: within the series and matching the rule.
bool IsOccurrenceDay(const RecurrenceRule& rule, double day);
// The first occurrence day on or after `day`; none when the series ends first or none falls in
// the next 100 years.
std::optional<double> NextOccurrenceDay(const RecurrenceRule& rule, double day);
// Number of occurrences of a series with an end date (counting stops at kMaxOccurrenceCount + 1);
// 0 for an open series.
int32_t CountOccurrences(const RecurrenceRule& rule);
// The day of the `count`-th occurrence (1-based); none when the series has fewer.
std::optional<double> NthOccurrenceDay(const RecurrenceRule& rule, int32_t count);

}  // namespace outlookmodel
