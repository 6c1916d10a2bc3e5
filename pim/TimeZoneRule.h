// A time zone as a VTIMEZONE component describes it, and the conversions between its local time and UTC.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pim/OleDate.h"

// One STANDARD or DAYLIGHT sub-component.
struct TimeZonePart {
  std::string name;    // TZNAME
  OleDate start;       // DTSTART of the part; its hour and minute give the transition time
  int offsetFrom = 0;  // TZOFFSETFROM as hours*100 + minutes with the sign: "+0100" 100, "-0430" -430
  int offsetTo = 0;    // TZOFFSETTO, same form
  int month = 0;       // BYMONTH of the part's rule, 0 when absent
  int weekday = 0;     // weekday of BYDAY, 1 = Sunday ... 7 = Saturday, 0 when absent
  int yearDay = 0;     // BYYEARDAY, 0 when absent
  int ordinal = 0;     // ordinal of BYDAY: 1 first, 2 second, -1 last, 0 none given
  unsigned monthDays = 0;  // BYMONTHDAY values as bits (bit d for day d of the month), 0 when absent

  // Whether the part's transitions follow a yearly rule (BYMONTH or BYYEARDAY).
  bool HasRule() const { return month > 0 || yearDay > 0; }

  bool operator==(const TimeZonePart&) const = default;
};

// A transition given by its date: an RDATE of a part, or the DTSTART of a part without a yearly
// rule. `wall` is the wall-clock time of the change in the offset in force before it.
struct TimeZoneOnset {
  OleDate wall;
  int offsetFrom = 0;
  int offsetTo = 0;

  bool operator==(const TimeZoneOnset&) const = default;
};

// A value type: the zone of one VTIMEZONE.
struct TimeZoneRule {
  std::string tzid;  // TZID
  TimeZonePart standard;
  TimeZonePart daylight;
  std::vector<TimeZoneOnset> onsets;  // in text order

  bool operator==(const TimeZoneRule&) const = default;
};

// Reads a VTIMEZONE whose BEGIN line has been read, from `position` up to and including its
// END:VTIMEZONE (or the end of `text`), into `rule`, which is reset first. Line ends are LF. When
// the component holds several STANDARD (or DAYLIGHT) parts with yearly rules, the one with the
// latest start is kept. The RDATE values of every part, and the DTSTART of each part without a
// yearly rule, become onsets with that part's offsets. A yearly rule's days are BYMONTH with BYDAY
// (an ordinal weekday, or a weekday among BYMONTHDAY days), BYMONTH with BYMONTHDAY alone, or
// BYYEARDAY. A component without any TZOFFSETFROM or TZOFFSETTO leaves `rule` empty (no TZID).
void ReadVTimeZone(std::string_view text, size_t& position, TimeZoneRule& rule);

// Zone time to UTC (subtracts the zone's offset in force at `date`) and UTC to zone time (adds it).
// A zone whose parts share one offset has that offset all year; daylight time is recognised both
// within a year (northern hemisphere) and across the turn of the year (southern hemisphere). A
// zone whose parts do not both have yearly rules takes the offset of the latest onset (or rule
// transition) at or before `date`, and before the first one the offset that one changes from; a
// zone without any transitions uses its standard offset. A date that is not Valid is left alone.
void ZoneToUtc(const TimeZoneRule& rule, OleDate& date);
void UtcToZone(const TimeZoneRule& rule, OleDate& date);
// The zone's offset in force at `date` (zone time, or UTC when `dateIsUtc`), as hours*100 + minutes.
int ZoneOffsetAt(const TimeZoneRule& rule, const OleDate& date, bool dateIsUtc);

// When `zoneId` equals the rule's tzid, ZoneToUtc; then, in every case, UtcToLocal.
void ApplyZone(const TimeZoneRule& rule, OleDate& date, std::string_view zoneId);
