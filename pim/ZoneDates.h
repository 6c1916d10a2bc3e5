// Dates of a zone of the system's zone database: a wall-clock date of the zone as a UTC date, and back.
#pragma once

#include "pim/OleDate.h"
#include "platform/zoneinfo/SystemTimeZone.h"

// The UTC date of `wall`, a wall-clock time of `zone` (SystemTimeZone::WallToUtc); a date that is
// not Valid, or that the C library cannot represent, is returned as it is.
OleDate ZoneWallToUtc(const SystemTimeZone& zone, const OleDate& wall);
// The wall-clock time of `zone` at the UTC date `utc`; the same rules.
OleDate ZoneUtcToWall(const SystemTimeZone& zone, const OleDate& utc);
