// The zone of a calendar item as text: the VTIMEZONE of iCalendar 2.0 and the TZ and DAYLIGHT
// lines of vCalendar 1.0 written from a zone of the system's database (or a POSIX TZ string), and
// the zone identifier an item's own zone description reads as.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pim/TimeZoneRule.h"
#include "platform/zoneinfo/SystemTimeZone.h"

// The zone a record's VC_TZID names (a database name or a POSIX TZ string); none when unknown.
std::optional<SystemTimeZone> CalendarZone(std::string_view zoneId);

// The VTIMEZONE component (CR LF line ends) describing `zoneId` for dates in the years `fromYear`
// to `toYear`: its yearly rule of daylight time as STANDARD and DAYLIGHT parts with RRULE, a single
// STANDARD part for a zone without daylight time, or, for a zone whose rule no yearly RRULE can
// say, each change in those years as a part of its own. "" when the zone is unknown.
std::string VTimeZoneText(std::string_view zoneId, int fromYear, int toYear);

// The TZ line and one DAYLIGHT line per year from `fromYear` to `toYear` (DAYLIGHT:FALSE for a zone
// without daylight time in them), as name and value; empty when the zone is unknown.
std::vector<std::pair<std::string, std::string>> VCal10ZoneLines(std::string_view zoneId, int fromYear, int toYear);

// The POSIX TZ string of a VTIMEZONE's yearly rule or single offset ("<+0100>-1<+0200>-2,M3.5.0/2,
// M10.5.0/3"); "" when its parts are given by dates only.
std::string PosixZoneOfRule(const TimeZoneRule& rule);

// The POSIX TZ string of a vCalendar 1.0 zone: TZ (the standard offset, "+01", "-05:00") and the
// DAYLIGHT values ("TRUE;+02;20250330T010000Z;20251026T010000Z;CEST;CET"); the first DAYLIGHT
// value that is TRUE gives the yearly rule. "" when TZ cannot be read.
std::string PosixZoneOfVCal10(std::string_view tz, const std::vector<std::string>& daylight);
