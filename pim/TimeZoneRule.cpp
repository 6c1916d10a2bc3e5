// VTIMEZONE reading and the zone offset in force at a date.
#include "pim/TimeZoneRule.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "pim/VCalDateTime.h"
#include "pim/VCalProperty.h"

namespace {

enum class ZoneState { Zone, Standard, Daylight };

// A signed decimal number by its leading sign and digits, clamped to a sane magnitude.
int ReadDecimal(std::string_view text, size_t maxDigits = 9) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (size_t digits = 0; i < text.size() && digits < maxDigits && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (text[i] - '0');
  }
  value = std::min<long long>(value, 1000000000LL);
  return static_cast<int>(negative ? -value : value);
}

// "+HHMM" (seconds, if any, ignored) as hours*100 + minutes with the sign.
int ReadUtcOffset(std::string_view text) { return ReadDecimal(text, 4); }

int WeekdayOf(std::string_view twoLetters) {
  static constexpr std::string_view kNames[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  for (int i = 0; i < 7; ++i) {
    if (kNames[i] == twoLetters) return i + 1;
  }
  return 0;
}

// The part's rule: BYMONTH, BYDAY (ordinal and weekday), BYMONTHDAY (a list of days) and BYYEARDAY.
// Of a list, BYMONTH, BYDAY and BYYEARDAY take the first element. `yearly` tells whether the rule
// repeats every year: FREQ=YEARLY, or FREQ=MONTHLY with INTERVAL=12 (as some servers write it).
void ReadPartRule(std::string_view value, TimeZonePart& part, bool& yearly) {
  std::string_view frequency;
  std::string_view interval = "1";
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view piece = value.substr(start, end - start);
    start = end + 1;
    const size_t equals = piece.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    const std::string_view key = piece.substr(0, equals);
    const std::string_view list = piece.substr(equals + 1);
    const std::string_view argument = list.substr(0, list.find(','));
    if (key == "FREQ") {
      frequency = argument;
    } else if (key == "INTERVAL") {
      interval = argument;
    } else if (key == "BYMONTH") {
      part.month = ReadDecimal(argument);
    } else if (key == "BYDAY" && argument.size() >= 2) {
      const int weekday = WeekdayOf(argument.substr(argument.size() - 2));
      if (weekday == 0) continue;
      part.weekday = weekday;
      part.ordinal = std::clamp(ReadDecimal(argument.substr(0, argument.size() - 2)), -53, 53);
    } else if (key == "BYMONTHDAY") {
      for (size_t at = 0; at <= list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        const int day = ReadDecimal(list.substr(at, comma - at));
        if (day >= 1 && day <= 31) part.monthDays |= 1u << day;
        at = comma + 1;
      }
    } else if (key == "BYYEARDAY") {
      part.yearDay = ReadDecimal(argument);
    }
  }
  yearly = (frequency == "YEARLY" && ReadDecimal(interval) == 1) || (frequency == "MONTHLY" && ReadDecimal(interval) == 12);
}

// A yearly rule with days of the month but no BYMONTH repeats in the month of its start.
void CompleteYearlyRule(TimeZonePart& part, bool yearly) {
  const bool days = part.weekday != 0 || part.monthDays != 0;
  if (yearly && days && part.month == 0 && part.yearDay == 0 && part.start.IsValid()) part.month = part.start.Month();
}

// The dates of an RDATE value (a comma-separated list; periods are not read).
void ReadOnsetDates(const VCalProperty& property, std::vector<OleDate>& dates) {
  if (property.Param("VALUE") == "PERIOD") return;
  const std::string& value = property.value;
  for (size_t at = 0; at <= value.size();) {
    const size_t comma = std::min(value.find(',', at), value.size());
    const OleDate date = ParseVCalDateTime(std::string_view(value).substr(at, comma - at));
    if (date.IsValid()) dates.push_back(date);
    at = comma + 1;
  }
}

void KeepPart(TimeZonePart& kept, bool& seen, const TimeZonePart& read) {
  if (!seen || !(read.start < kept.start)) kept = read;
  seen = true;
}

OleDateSpan OffsetSpan(int offset) { return OleDateSpan(0, offset / 100, offset % 100, 0); }

int DaysInMonth(int year, int month) {
  const OleDate first(year, month, 1);
  const OleDate next = month == 12 ? OleDate(year + 1, 1, 1) : OleDate(year, month + 1, 1);
  return static_cast<int>((next - first).TotalSeconds() / 86400);
}

// The day of `month` on which the part's weekday occurs for the ordinal-th time (counted from the
// end when negative); the last such day when the month has fewer, or when no ordinal was given.
int WeekdayTransitionDay(int year, int month, int weekday, int ordinal) {
  if (weekday < 1 || weekday > 7) return 1;
  const int daysInMonth = DaysInMonth(year, month);
  const int firstMatch = 1 + (weekday - OleDate(year, month, 1).DayOfWeek() + 7) % 7;
  const int lastMatch = firstMatch + 7 * ((daysInMonth - firstMatch) / 7);
  if (ordinal > 0) {
    const int day = firstMatch + 7 * (ordinal - 1);
    return day > daysInMonth ? lastMatch : day;
  }
  if (ordinal < 0) {
    const int day = lastMatch + 7 * (ordinal + 1);
    return day < 1 ? firstMatch : day;
  }
  return lastMatch;
}

// With BYMONTHDAY the first listed day of the month (that is the part's weekday, when one is
// given); without it the weekday rule above. Day 1 when nothing matches.
int TransitionDay(int year, const TimeZonePart& part) {
  if (part.monthDays == 0) return WeekdayTransitionDay(year, part.month, part.weekday, part.ordinal);
  const int daysInMonth = DaysInMonth(year, part.month);
  const int firstWeekday = OleDate(year, part.month, 1).DayOfWeek();
  for (int day = 1; day <= daysInMonth; ++day) {
    const bool listed = (part.monthDays & (1u << day)) != 0;
    const bool weekdayMatches = part.weekday < 1 || part.weekday > 7 || (firstWeekday + day - 2) % 7 + 1 == part.weekday;
    if (listed && weekdayMatches) return day;
  }
  return 1;
}

OleDate MonthTransition(int year, const TimeZonePart& part) {
  return OleDate(year, part.month, TransitionDay(year, part), part.start.Hour(), part.start.Minute());
}

OleDate YearDayTransition(int year, const TimeZonePart& part) {
  const int daysInYear = OleDate(year, 12, 31).DayOfYear();
  const OleDate first(year, 1, 1, part.start.Hour(), part.start.Minute());
  return first + OleDateSpan(std::min(part.yearDay, daysInYear) - 1, 0, 0, 0);
}

// The transitions of a part with a yearly rule in `year`.
std::optional<OleDate> RuleTransition(int year, const TimeZonePart& part) {
  if (part.yearDay > 0) return YearDayTransition(year, part);
  if (part.month >= 1 && part.month <= 12) return MonthTransition(year, part);
  return std::nullopt;
}

// The offset after the latest transition at or before `date`, from the onsets and the yearly rule
// of either part (this year's and last year's transitions); before every transition, the offset
// the first one changes from.
int OnsetOffsetAt(const TimeZoneRule& rule, const TimeZonePart& standard, const TimeZonePart& daylight,
                  const OleDate& date, bool dateIsUtc) {
  std::vector<TimeZoneOnset> transitions = rule.onsets;
  for (const TimeZonePart* part : {&standard, &daylight}) {
    if (!part->HasRule()) continue;
    for (const int year : {date.Year() - 1, date.Year()}) {
      const std::optional<OleDate> wall = RuleTransition(year, *part);
      if (wall && !(*wall < part->start)) transitions.push_back({*wall, part->offsetFrom, part->offsetTo});
    }
  }
  const auto instant = [dateIsUtc](const TimeZoneOnset& onset) {
    return dateIsUtc ? onset.wall - OffsetSpan(onset.offsetFrom) : onset.wall;
  };
  const TimeZoneOnset* latest = nullptr;
  const TimeZoneOnset* earliest = nullptr;
  for (const TimeZoneOnset& onset : transitions) {
    if (!onset.wall.IsValid()) continue;
    if (earliest == nullptr || instant(onset) < instant(*earliest)) earliest = &onset;
    if (!(date < instant(onset)) && (latest == nullptr || instant(*latest) < instant(onset))) latest = &onset;
  }
  if (latest != nullptr) return latest->offsetTo;
  return earliest != nullptr ? earliest->offsetFrom : standard.offsetTo;
}

}  // namespace

void ReadVTimeZone(std::string_view text, size_t& position, TimeZoneRule& rule) {
  rule = TimeZoneRule();
  ZoneState state = ZoneState::Zone;
  TimeZonePart part;
  std::vector<OleDate> rdates;
  bool yearly = false;
  bool standardSeen = false;
  bool daylightSeen = false;
  bool offsets = false;
  const auto endPart = [&](ZoneState kind) {
    CompleteYearlyRule(part, yearly);
    KeepPart(kind == ZoneState::Standard ? rule.standard : rule.daylight,
             kind == ZoneState::Standard ? standardSeen : daylightSeen, part);
    if (!part.HasRule() && part.start.IsValid()) rule.onsets.push_back({part.start, part.offsetFrom, part.offsetTo});
    for (const OleDate& date : rdates) rule.onsets.push_back({date, part.offsetFrom, part.offsetTo});
  };
  VCalProperty property;
  while (ReadVCalProperty(text, position, property)) {
    if (property.name.empty() || property.value.empty()) continue;
    const std::string& name = property.name;
    const std::string& value = property.value;
    if (name == "END" && value == "VTIMEZONE") break;
    if (state == ZoneState::Zone) {
      if (name == "TZID") {
        rule.tzid = value;
      } else if (name == "BEGIN" && (value == "STANDARD" || value == "DAYLIGHT")) {
        state = value == "STANDARD" ? ZoneState::Standard : ZoneState::Daylight;
        part = TimeZonePart();
        rdates.clear();
        yearly = false;
      }
      continue;
    }
    if (name == "END" && (value == "STANDARD" || value == "DAYLIGHT")) {
      endPart(state);
      state = ZoneState::Zone;
    } else if (name == "DTSTART") {
      part.start = ParseVCalDateTime(value);
    } else if (name == "TZOFFSETFROM") {
      part.offsetFrom = ReadUtcOffset(value);
      offsets = true;
    } else if (name == "TZOFFSETTO") {
      part.offsetTo = ReadUtcOffset(value);
      offsets = true;
    } else if (name == "TZNAME") {
      part.name = value;
    } else if (name == "RRULE") {
      ReadPartRule(value, part, yearly);
    } else if (name == "RDATE") {
      ReadOnsetDates(property, rdates);
    }
  }
  // A part left open by a missing END line still counts.
  if (state != ZoneState::Zone) endPart(state);
  // Without any offset (Virtuoso drops them) the component describes no zone: no TZID names it.
  if (!offsets) rule = TimeZoneRule();
}

int ZoneOffsetAt(const TimeZoneRule& rule, const OleDate& date, bool dateIsUtc) {
  TimeZonePart standard = rule.standard;
  TimeZonePart daylight = rule.daylight;
  if (standard.offsetTo == 0 && daylight.offsetFrom != 0) standard.offsetTo = daylight.offsetFrom;
  if (daylight.offsetTo == 0 && standard.offsetFrom != 0) daylight.offsetTo = standard.offsetFrom;
  if (standard.offsetTo == daylight.offsetTo || !date.IsValid()) return standard.offsetTo;

  const int year = date.Year();
  if (!standard.HasRule() || !daylight.HasRule()) {
    return rule.onsets.empty() ? standard.offsetTo : OnsetOffsetAt(rule, standard, daylight, date, dateIsUtc);
  }
  OleDate daylightStart;
  OleDate standardStart;
  if (standard.yearDay > 0 && daylight.yearDay > 0) {
    daylightStart = YearDayTransition(year, daylight);
    standardStart = YearDayTransition(year, standard);
  } else if (standard.month >= 1 && standard.month <= 12 && daylight.month >= 1 && daylight.month <= 12) {
    daylightStart = MonthTransition(year, daylight);
    standardStart = MonthTransition(year, standard);
  } else {
    return standard.offsetTo;
  }
  if (dateIsUtc) {
    // Each transition happens at the wall-clock time of the offset in force before it.
    daylightStart -= OffsetSpan(standard.offsetTo);
    standardStart -= OffsetSpan(daylight.offsetTo);
  }
  const bool daylightTime = daylightStart <= standardStart ? date >= daylightStart && date < standardStart
                                                           : date >= daylightStart || date < standardStart;
  return daylightTime ? daylight.offsetTo : standard.offsetTo;
}

void ZoneToUtc(const TimeZoneRule& rule, OleDate& date) {
  if (!date.IsValid()) return;
  date -= OffsetSpan(ZoneOffsetAt(rule, date, false));
}

void UtcToZone(const TimeZoneRule& rule, OleDate& date) {
  if (!date.IsValid()) return;
  date += OffsetSpan(ZoneOffsetAt(rule, date, true));
}

void ApplyZone(const TimeZoneRule& rule, OleDate& date, std::string_view zoneId) {
  if (zoneId == rule.tzid) ZoneToUtc(rule, date);
  UtcToLocal(date);
}
