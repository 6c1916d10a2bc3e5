// A time zone as a VTIMEZONE component describes it, and the conversions between its local time and UTC.
#pragma once

#include <string>
#include <string_view>

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

  bool operator==(const TimeZonePart&) const = default;
};

// A value type: the zone of one VTIMEZONE.
struct TimeZoneRule {
  std::string tzid;  // TZID
  TimeZonePart standard;
  TimeZonePart daylight;

  bool operator==(const TimeZoneRule&) const = default;
};

// Reads a VTIMEZONE whose BEGIN line has been read, from `position` up to and including its
// END:VTIMEZONE (or the end of `text`), into `rule`, which is reset first. Line ends are LF. When
// the component holds several STANDARD (or DAYLIGHT) parts, the one with the latest start is kept.
void ReadVTimeZone(std::string_view text, size_t& position, TimeZoneRule& rule);

// Zone time to UTC (subtracts the zone's offset in force at `date`) and UTC to zone time (adds it).
// A zone whose parts share one offset has that offset all year; daylight time is recognised both
// within a year (northern hemisphere) and across the turn of the year (southern hemisphere). A
// zone without transition rules uses its standard offset. A date that is not Valid is left alone.
void ZoneToUtc(const TimeZoneRule& rule, OleDate& date);
void UtcToZone(const TimeZoneRule& rule, OleDate& date);
// The zone's offset in force at `date` (zone time, or UTC when `dateIsUtc`), as hours*100 + minutes.
int ZoneOffsetAt(const TimeZoneRule& rule, const OleDate& date, bool dateIsUtc);

// When `zoneId` equals the rule's tzid, ZoneToUtc; then, in every case, UtcToLocal.
void ApplyZone(const TimeZoneRule& rule, OleDate& date, std::string_view zoneId);
