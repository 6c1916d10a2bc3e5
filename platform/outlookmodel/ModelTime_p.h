// Internal: automation dates between the machine's wall clock, a zone's wall clock and UTC.
// Every date counts days since 1899-12-30 in its own frame; conversions keep the milliseconds.
#pragma once

class SystemTimeZone;

namespace outlookmodel {

// The UTC date of a wall-clock date of the machine (the C library decides daylight time, a time
// that occurs twice being its first occurrence), and back.
double UtcDateOfLocal(double local);
double LocalDateOfUtc(double utc);
// The UTC date of a wall-clock date of `zone`, and back.
double UtcDateOfZoneWall(const SystemTimeZone& zone, double wall);
double ZoneWallOfUtcDate(const SystemTimeZone& zone, double utc);

}  // namespace outlookmodel
