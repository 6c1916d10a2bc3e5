// Occurrence days of recurrence rules.
#include "platform/outlookmodel/Recurrence.h"

#include <vector>

namespace outlookmodel {

namespace {

constexpr int kSearchYears = 100;

int32_t WeekdayBit(double day) { return 1 << WeekdayOf(day); }

int MonthIndex(const DateParts& parts) { return parts.year * 12 + parts.month - 1; }

int DaysInMonth(int year, int month) {
  const int next = month == 12 ? 1 : month + 1;
  const int nextYear = month == 12 ? year + 1 : year;
  return static_cast<int>(DaysFromCivil(nextYear, next, 1) - DaysFromCivil(year, month, 1));
}

DateParts PartsOf(double day) {
  DateParts parts;
  PartsFromDate(day, parts);
  return parts;
}

// Week number counted in weeks that start on Sunday.
int64_t WeekIndex(double day) { return (static_cast<int64_t>(DayOf(day)) - WeekdayOf(day)) / 7; }

// The day of the month that a monthly rule on `dayOfMonth` falls on.
bool IsMonthDay(const DateParts& parts, int32_t dayOfMonth) {
  const int last = DaysInMonth(parts.year, parts.month);
  return parts.day == (dayOfMonth > last ? last : dayOfMonth);
}

// Whether `parts` is the instance-th (5: last) day of its month whose weekday is in `mask`.
bool IsNthWeekday(const DateParts& parts, int32_t mask, int32_t instance) {
  if (mask == 0) return false;
  std::vector<int> days;
  const double first = static_cast<double>(DaysFromCivil(parts.year, parts.month, 1));
  const int length = DaysInMonth(parts.year, parts.month);
  for (int offset = 0; offset < length; ++offset) {
    if ((WeekdayBit(first + offset) & mask) != 0) days.push_back(offset + 1);
  }
  if (days.empty()) return false;
  if (instance >= 5) return parts.day == days.back();
  return instance >= 1 && static_cast<size_t>(instance) <= days.size() && parts.day == days[instance - 1];
}

int32_t PositiveInterval(const RecurrenceRule& rule) { return rule.interval > 0 ? rule.interval : 1; }

// Months between occurrences of the yearly types; an interval below 12 counts years.
int32_t YearlyMonthStep(const RecurrenceRule& rule) {
  const int32_t interval = PositiveInterval(rule);
  return interval >= 12 ? interval : interval * 12;
}

bool MatchesRule(const RecurrenceRule& rule, double day) {
  const DateParts parts = PartsOf(day);
  const DateParts start = PartsOf(rule.patternStart);
  const int months = MonthIndex(parts) - MonthIndex(start);
  switch (rule.type) {
    case olRecursDaily:
      if (rule.dayOfWeekMask != 0) return (WeekdayBit(day) & rule.dayOfWeekMask) != 0;
      return static_cast<int64_t>(DayOf(day) - DayOf(rule.patternStart)) % PositiveInterval(rule) == 0;
    case olRecursWeekly: {
      const int32_t mask = rule.dayOfWeekMask != 0 ? rule.dayOfWeekMask : WeekdayBit(rule.patternStart);
      return (WeekdayBit(day) & mask) != 0 && (WeekIndex(day) - WeekIndex(rule.patternStart)) % PositiveInterval(rule) == 0;
    }
    case olRecursMonthly: return months % PositiveInterval(rule) == 0 && IsMonthDay(parts, rule.dayOfMonth);
    case olRecursMonthNth:
      return months % PositiveInterval(rule) == 0 && IsNthWeekday(parts, rule.dayOfWeekMask, rule.instance);
    case olRecursYearly:
      return parts.month == rule.monthOfYear && months % YearlyMonthStep(rule) == 0 && IsMonthDay(parts, rule.dayOfMonth);
    case olRecursYearNth:
      return parts.month == rule.monthOfYear && months % YearlyMonthStep(rule) == 0 &&
             IsNthWeekday(parts, rule.dayOfWeekMask, rule.instance);
    default: return false;
  }
}

double LastSearchDay(const RecurrenceRule& rule, double from) {
  const double horizon = from + 366.0 * kSearchYears;
  return !rule.noEndDate && rule.patternEnd < horizon ? rule.patternEnd : horizon;
}

}  // namespace

RecurrenceRule RuleStartingOn(double start) {
  RecurrenceRule rule;
  SetRuleType(rule, olRecursWeekly, start);
  return rule;
}

bool SetRuleType(RecurrenceRule& rule, int32_t type, double start) {
  const DateParts parts = PartsOf(start);
  rule.patternStart = DayOf(start);
  rule.dayOfMonth = parts.day;
  rule.monthOfYear = parts.month;
  rule.instance = (parts.day - 1) / 7 + 1;
  switch (type) {
    case olRecursDaily: rule.interval = 1; rule.dayOfWeekMask = 0; break;
    case olRecursWeekly:
    case olRecursMonthNth: rule.interval = 1; rule.dayOfWeekMask = WeekdayBit(start); break;
    case olRecursMonthly: rule.interval = 1; rule.dayOfWeekMask = 0; break;
    case olRecursYearly: rule.interval = 12; rule.dayOfWeekMask = 0; break;
    case olRecursYearNth: rule.interval = 12; rule.dayOfWeekMask = WeekdayBit(start); break;
    default: return false;
  }
  rule.type = type;
  return true;
}

bool IsOccurrenceDay(const RecurrenceRule& rule, double day) {
  const double whole = DayOf(day);
  if (whole < rule.patternStart) return false;
  if (!rule.noEndDate && whole > rule.patternEnd) return false;
  return MatchesRule(rule, whole);
}

std::optional<double> NextOccurrenceDay(const RecurrenceRule& rule, double day) {
  double candidate = DayOf(day) < rule.patternStart ? rule.patternStart : DayOf(day);
  const double last = LastSearchDay(rule, candidate);
  for (; candidate <= last; candidate += 1.0) {
    if (MatchesRule(rule, candidate)) return candidate;
  }
  return std::nullopt;
}

int32_t CountOccurrences(const RecurrenceRule& rule) {
  if (rule.noEndDate) return 0;
  int32_t count = 0;
  for (std::optional<double> day = NextOccurrenceDay(rule, rule.patternStart); day && count <= kMaxOccurrenceCount;
       day = NextOccurrenceDay(rule, *day + 1.0)) {
    ++count;
  }
  return count;
}

std::optional<double> NthOccurrenceDay(const RecurrenceRule& rule, int32_t count) {
  std::optional<double> day = NextOccurrenceDay(rule, rule.patternStart);
  for (int32_t n = 1; day && n < count; ++n) day = NextOccurrenceDay(rule, *day + 1.0);
  return count >= 1 ? day : std::nullopt;
}

}  // namespace outlookmodel
