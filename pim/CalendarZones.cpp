// Zones as calendar text: VTIMEZONE, TZ and DAYLIGHT written from the zone database, and POSIX TZ
// strings read from an item's own zone description.
#include "pim/CalendarZones.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "pim/OleDate.h"
#include "pim/VCalDateTime.h"
#include "pim/VCalProperty.h"

namespace {

constexpr const char* kWeekdays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// Seconds since 1970 of 1 January of `year`, 00:00 UTC.
long long YearStart(int year) {
  std::time_t seconds = 0;
  OleDate(year, 1, 1).ToUnixTimeUtc(seconds);
  return seconds;
}

// "+HHMM" of an offset in seconds east of UTC; with `colon` "+HH:MM".
std::string OffsetText(long offset, bool colon = false) {
  const char sign = offset < 0 ? '-' : '+';
  const long minutes = std::labs(offset) / 60;
  char text[48];
  std::snprintf(text, sizeof text, colon ? "%c%02ld:%02ld" : "%c%02ld%02ld", sign, minutes / 60, minutes % 60);
  return text;
}

// A local date-time text of seconds read as UTC parts ("%Y%m%dT%H%M%S", no "Z").
std::string WallText(long long seconds) {
  const std::string stamp = VCalStampText(OleDate::FromUnixTimeUtc(static_cast<std::time_t>(seconds)));
  return stamp.empty() ? stamp : stamp.substr(0, stamp.size() - 1);
}

std::string UtcText(long long seconds) { return VCalStampText(OleDate::FromUnixTimeUtc(static_cast<std::time_t>(seconds))); }

// A zone abbreviation for TZNAME: the rule's, or the offset when it has none.
std::string NameOr(const std::string& name, long offset) { return name.empty() ? OffsetText(offset) : name; }

void Line(std::string& text, std::string_view name, std::string_view value) {
  text.append(name);
  text += ':';
  text.append(value);
  text += "\r\n";
}

void RulePart(std::string& text, bool daylight, const PosixZoneRule::Transition& transition, long from, long to,
              const std::string& name) {
  const char* part = daylight ? "DAYLIGHT" : "STANDARD";
  Line(text, "BEGIN", part);
  Line(text, "DTSTART", WallText(PosixZoneRule::TransitionWallTime(1970, transition)));
  const std::string ordinal = transition.week >= 5 ? "-1" : std::to_string(transition.week);
  Line(text, "RRULE", "FREQ=YEARLY;BYMONTH=" + std::to_string(transition.month) + ";BYDAY=" + ordinal +
                          kWeekdays[transition.weekday % 7]);
  Line(text, "TZNAME", NameOr(name, to));
  Line(text, "TZOFFSETFROM", OffsetText(from));
  Line(text, "TZOFFSETTO", OffsetText(to));
  Line(text, "END", part);
}

void OnsetPart(std::string& text, const ZoneTransition& change) {
  const char* part = change.daylight ? "DAYLIGHT" : "STANDARD";
  Line(text, "BEGIN", part);
  Line(text, "DTSTART", WallText(change.utc + change.offsetBefore));
  Line(text, "TZNAME", NameOr(change.name, change.offsetAfter));
  Line(text, "TZOFFSETFROM", OffsetText(change.offsetBefore));
  Line(text, "TZOFFSETTO", OffsetText(change.offsetAfter));
  Line(text, "END", part);
}

bool IsMonthWeekDay(const PosixZoneRule& rule) {
  return rule.daylightStart.form == PosixZoneRule::Transition::MonthWeekDay &&
         rule.daylightEnd.form == PosixZoneRule::Transition::MonthWeekDay;
}

// Whether every change is one the yearly rule makes (so its RRULE describes them all).
bool FollowsRule(const std::vector<ZoneTransition>& changes, const PosixZoneRule& rule) {
  for (const ZoneTransition& change : changes) {
    const int year = OleDate::FromUnixTimeUtc(static_cast<std::time_t>(change.utc)).Year();
    bool made = false;
    for (const int y : {year - 1, year, year + 1}) {
      const long long start = PosixZoneRule::TransitionWallTime(y, rule.daylightStart) - rule.standardOffset;
      const long long end = PosixZoneRule::TransitionWallTime(y, rule.daylightEnd) - rule.daylightOffset;
      made = made || (change.daylight ? change.utc == start && change.offsetAfter == rule.daylightOffset
                                      : change.utc == end && change.offsetAfter == rule.standardOffset);
    }
    if (!made) return false;
  }
  return true;
}

// ---- POSIX TZ strings

// "<+0100>-1" of an offset in seconds east of UTC (POSIX counts west of UTC).
std::string PosixOffset(long offset) {
  const long west = -offset;
  const long minutes = std::labs(west) / 60;
  std::string text = "<" + OffsetText(offset) + ">" + (west < 0 ? "-" : "") + std::to_string(minutes / 60);
  if (minutes % 60 != 0) {
    char rest[8];
    std::snprintf(rest, sizeof rest, ":%02ld", minutes % 60);
    text += rest;
  }
  return text;
}

std::string PosixTime(int hour, int minute) {
  std::string text = "/" + std::to_string(hour);
  if (minute != 0) {
    char rest[8];
    std::snprintf(rest, sizeof rest, ":%02d", minute);
    text += rest;
  }
  return text;
}

// ",Mm.w.d/hh" of a transition on `day` of `month` (its weekday 0 = Sunday) at a wall time.
std::string PosixTransition(int month, int week, int weekday, int hour, int minute) {
  return ",M" + std::to_string(month) + "." + std::to_string(week) + "." + std::to_string(weekday) + PosixTime(hour, minute);
}

// The week of a day of the month for a POSIX rule: 5 for a day in the last seven of the month.
int WeekOfDay(const OleDate& date) {
  const OleDate next = date + OleDateSpan(7.0);
  return next.Month() != date.Month() ? 5 : (date.Day() - 1) / 7 + 1;
}

std::string PartTransition(const TimeZonePart& part) {
  if (part.yearDay > 0) return ",J" + std::to_string(part.yearDay) + PosixTime(part.start.Hour(), part.start.Minute());
  int week = part.ordinal < 0 || part.ordinal >= 5 ? 5 : part.ordinal;
  if (part.monthDays != 0) {
    int first = 1;
    while (first <= 31 && (part.monthDays & (1u << first)) == 0) ++first;
    week = first + 6 >= 28 ? 5 : (first - 1) / 7 + 1;
  }
  if (week == 0) week = 5;
  const int weekday = part.weekday >= 1 && part.weekday <= 7 ? part.weekday - 1 : 0;
  return PosixTransition(part.month, week, weekday, part.start.Hour(), part.start.Minute());
}

long SecondsOfOffset(int offset) { return (offset / 100) * 3600L + (offset % 100) * 60L; }

// "+01", "+0100", "+01:00", "-5" as seconds east of UTC; false when it is none of them.
bool ReadOffset(std::string_view text, long& seconds) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty() || (text[0] != '+' && text[0] != '-')) return false;
  const bool negative = text[0] == '-';
  text.remove_prefix(1);
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') digits += c;
    else if (c != ':') break;
  }
  if (digits.empty() || digits.size() > 4) return false;
  const int hours = std::atoi(digits.substr(0, digits.size() <= 2 ? digits.size() : digits.size() - 2).c_str());
  const int minutes = digits.size() > 2 ? std::atoi(digits.substr(digits.size() - 2).c_str()) : 0;
  if (hours > 15 || minutes > 59) return false;
  seconds = (hours * 3600L + minutes * 60L) * (negative ? -1 : 1);
  return true;
}


}  // namespace

std::optional<SystemTimeZone> CalendarZone(std::string_view zoneId) {
  if (zoneId.empty()) return std::nullopt;
  return SystemTimeZone::Named(zoneId);
}

std::string VTimeZoneText(std::string_view zoneId, int fromYear, int toYear) {
  const std::optional<SystemTimeZone> zone = CalendarZone(zoneId);
  if (!zone) return {};
  std::string text;
  Line(text, "BEGIN", "VTIMEZONE");
  Line(text, "TZID", zoneId);
  const long long from = YearStart(fromYear);
  const long long to = YearStart(toYear + 1);
  const std::vector<ZoneTransition> changes = zone->Transitions(from, to);
  const std::optional<PosixZoneRule>& footer = zone->Footer();
  if (footer && footer->hasDaylight && IsMonthWeekDay(*footer) && FollowsRule(changes, *footer)) {
    RulePart(text, false, footer->daylightEnd, footer->daylightOffset, footer->standardOffset, footer->standardName);
    RulePart(text, true, footer->daylightStart, footer->standardOffset, footer->daylightOffset, footer->daylightName);
  } else if (changes.empty()) {
    const long offset = zone->OffsetAt(from);
    Line(text, "BEGIN", "STANDARD");
    Line(text, "DTSTART", "19700101T000000");
    Line(text, "TZNAME", NameOr(footer && !footer->hasDaylight ? footer->standardName : std::string(), offset));
    Line(text, "TZOFFSETFROM", OffsetText(offset));
    Line(text, "TZOFFSETTO", OffsetText(offset));
    Line(text, "END", "STANDARD");
  } else {
    // The offset before the first change, then each change.
    OnsetPart(text, ZoneTransition{from, changes.front().offsetBefore, changes.front().offsetBefore,
                                   false, std::string()});
    for (const ZoneTransition& change : changes) OnsetPart(text, change);
  }
  Line(text, "END", "VTIMEZONE");
  return text;
}

std::vector<std::pair<std::string, std::string>> VCal10ZoneLines(std::string_view zoneId, int fromYear, int toYear) {
  const std::optional<SystemTimeZone> zone = CalendarZone(zoneId);
  if (!zone) return {};
  std::vector<std::pair<std::string, std::string>> lines;
  long standard = zone->OffsetAt(YearStart(fromYear));
  const std::vector<ZoneTransition> changes = zone->Transitions(YearStart(fromYear), YearStart(toYear + 1));
  for (const ZoneTransition& change : changes) {
    if (!change.daylight) {
      standard = change.offsetAfter;
      break;
    }
    standard = change.offsetBefore;
  }
  lines.emplace_back("TZ", OffsetText(standard, true));
  bool any = false;
  for (size_t i = 0; i < changes.size(); ++i) {
    if (!changes[i].daylight) continue;
    const auto end = std::find_if(changes.begin() + static_cast<long>(i) + 1, changes.end(),
                                  [](const ZoneTransition& change) { return !change.daylight; });
    if (end == changes.end()) continue;
    lines.emplace_back("DAYLIGHT", "TRUE;" + OffsetText(changes[i].offsetAfter, true) + ";" + UtcText(changes[i].utc) + ";" +
                                       UtcText(end->utc) + ";" + NameOr(changes[i].name, changes[i].offsetAfter) + ";" +
                                       NameOr(end->name, end->offsetAfter));
    any = true;
  }
  if (!any) lines.emplace_back("DAYLIGHT", "FALSE");
  return lines;
}

std::string PosixZoneOfRule(const TimeZoneRule& rule) {
  TimeZonePart standard = rule.standard;
  TimeZonePart daylight = rule.daylight;
  if (standard.offsetTo == 0 && daylight.offsetFrom != 0) standard.offsetTo = daylight.offsetFrom;
  if (daylight.offsetTo == 0 && standard.offsetFrom != 0) daylight.offsetTo = standard.offsetFrom;
  const long standardOffset = SecondsOfOffset(standard.offsetTo);
  if (standard.offsetTo == daylight.offsetTo || (!standard.HasRule() && !daylight.HasRule() && rule.onsets.empty())) {
    return PosixOffset(standardOffset);
  }
  if (!standard.HasRule() || !daylight.HasRule() || standard.month == 0 || daylight.month == 0) return {};
  return PosixOffset(standardOffset) + PosixOffset(SecondsOfOffset(daylight.offsetTo)) + PartTransition(daylight) +
         PartTransition(standard);
}

std::string PosixZoneOfVCal10(std::string_view tz, const std::vector<std::string>& daylight) {
  long standard = 0;
  if (!ReadOffset(tz, standard)) return {};
  for (const std::string& value : daylight) {
    const std::vector<std::string_view> fields = SemicolonFields(value);
    long offset = 0;
    if (fields.size() < 4 || fields[0] != "TRUE" || !ReadOffset(fields[1], offset) || offset == standard) continue;
    const OleDate startUtc = ParseVCalDateTime(fields[2]);
    const OleDate endUtc = ParseVCalDateTime(fields[3]);
    if (!startUtc.IsValid() || !endUtc.IsValid()) continue;
    // Each change at the wall clock of the offset before it (a floating value is that already).
    const OleDate start = IsVCalUtcText(fields[2]) ? startUtc + OleDateSpan(0, 0, 0, static_cast<int>(standard)) : startUtc;
    const OleDate end = IsVCalUtcText(fields[3]) ? endUtc + OleDateSpan(0, 0, 0, static_cast<int>(offset)) : endUtc;
    return PosixOffset(standard) + PosixOffset(offset) +
           PosixTransition(start.Month(), WeekOfDay(start), start.DayOfWeek() - 1, start.Hour(), start.Minute()) +
           PosixTransition(end.Month(), WeekOfDay(end), end.DayOfWeek() - 1, end.Hour(), end.Minute());
  }
  return PosixOffset(standard);
}
