// VTIMEZONE reading and the zone offset in force at a date.
#include "pim/TimeZoneRule.h"

#include <algorithm>

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

// The part's rule: BYMONTH, BYDAY (ordinal and weekday) and BYYEARDAY.
void ReadPartRule(std::string_view value, TimeZonePart& part) {
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find_first_of(";,", start);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view piece = value.substr(start, end - start);
    start = end + 1;
    const size_t equals = piece.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    const std::string_view key = piece.substr(0, equals);
    const std::string_view argument = piece.substr(equals + 1);
    if (key == "BYMONTH") {
      part.month = ReadDecimal(argument);
    } else if (key == "BYDAY" && argument.size() >= 2) {
      const int weekday = WeekdayOf(argument.substr(argument.size() - 2));
      if (weekday == 0) continue;
      part.weekday = weekday;
      part.ordinal = std::clamp(ReadDecimal(argument.substr(0, argument.size() - 2)), -53, 53);
    } else if (key == "BYYEARDAY") {
      part.yearDay = ReadDecimal(argument);
    }
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
int TransitionDay(int year, int month, int weekday, int ordinal) {
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

OleDate MonthTransition(int year, const TimeZonePart& part) {
  return OleDate(year, part.month, TransitionDay(year, part.month, part.weekday, part.ordinal), part.start.Hour(),
                 part.start.Minute());
}

OleDate YearDayTransition(int year, const TimeZonePart& part) {
  const int daysInYear = OleDate(year, 12, 31).DayOfYear();
  const OleDate first(year, 1, 1, part.start.Hour(), part.start.Minute());
  return first + OleDateSpan(std::min(part.yearDay, daysInYear) - 1, 0, 0, 0);
}

}  // namespace

void ReadVTimeZone(std::string_view text, size_t& position, TimeZoneRule& rule) {
  rule = TimeZoneRule();
  ZoneState state = ZoneState::Zone;
  TimeZonePart part;
  bool standardSeen = false;
  bool daylightSeen = false;
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
      }
      continue;
    }
    if (name == "END" && (value == "STANDARD" || value == "DAYLIGHT")) {
      if (state == ZoneState::Standard) {
        KeepPart(rule.standard, standardSeen, part);
      } else {
        KeepPart(rule.daylight, daylightSeen, part);
      }
      state = ZoneState::Zone;
    } else if (name == "DTSTART") {
      part.start = ParseVCalDateTime(value);
    } else if (name == "TZOFFSETFROM") {
      part.offsetFrom = ReadUtcOffset(value);
    } else if (name == "TZOFFSETTO") {
      part.offsetTo = ReadUtcOffset(value);
    } else if (name == "TZNAME") {
      part.name = value;
    } else if (name == "RRULE") {
      ReadPartRule(value, part);
    }
  }
  // A part left open by a missing END line still counts.
  if (state == ZoneState::Standard) KeepPart(rule.standard, standardSeen, part);
  if (state == ZoneState::Daylight) KeepPart(rule.daylight, daylightSeen, part);
}

int ZoneOffsetAt(const TimeZoneRule& rule, const OleDate& date, bool dateIsUtc) {
  TimeZonePart standard = rule.standard;
  TimeZonePart daylight = rule.daylight;
  if (standard.offsetTo == 0 && daylight.offsetFrom != 0) standard.offsetTo = daylight.offsetFrom;
  if (daylight.offsetTo == 0 && standard.offsetFrom != 0) daylight.offsetTo = standard.offsetFrom;
  if (standard.offsetTo == daylight.offsetTo || !date.IsValid()) return standard.offsetTo;

  const int year = date.Year();
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
