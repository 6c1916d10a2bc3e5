// Dates of a zone of the system's zone database.
#include "pim/ZoneDates.h"

OleDate ZoneWallToUtc(const SystemTimeZone& zone, const OleDate& wall) {
  std::time_t seconds;
  if (!wall.ToUnixTimeUtc(seconds)) return wall;
  const OleDate utc = OleDate::FromUnixTimeUtc(static_cast<std::time_t>(zone.WallToUtc(seconds)));
  return utc.IsValid() ? utc : wall;
}

OleDate ZoneUtcToWall(const SystemTimeZone& zone, const OleDate& utc) {
  std::time_t seconds;
  if (!utc.ToUnixTimeUtc(seconds)) return utc;
  const OleDate wall = OleDate::FromUnixTimeUtc(static_cast<std::time_t>(zone.UtcToWall(seconds)));
  return wall.IsValid() ? wall : utc;
}
