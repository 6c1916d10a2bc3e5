// Automation dates between wall clocks and UTC.
#include "platform/outlookmodel/ModelTime_p.h"

#include <cmath>
#include <ctime>

#include "platform/automation/AutomationDate.h"
#include "platform/zoneinfo/SystemTimeZone.h"

namespace outlookmodel {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 after 1899-12-30

// Whole seconds since 1970 of a date read as UTC (its milliseconds dropped).
long long SecondsOf(double date) {
  const long long ms = std::llround((date - kUnixEpochDays) * kSecondsPerDay * 1000.0);
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

double Shifted(double date, long long offsetSeconds) { return RoundToMillisecond(date + offsetSeconds / kSecondsPerDay); }

}  // namespace

double UtcDateOfLocal(double local) {
  const time_t moment = TimeFromDate(local);
  if (moment == static_cast<time_t>(-1)) return local;
  // mktime gave the instant of the local time's whole seconds; its offset applies to the whole date.
  return Shifted(local, static_cast<long long>(moment) - SecondsOf(local));
}

double LocalDateOfUtc(double utc) {
  const time_t moment = static_cast<time_t>(SecondsOf(utc));
  std::tm parts{};
  if (localtime_r(&moment, &parts) == nullptr) return utc;
  return Shifted(utc, parts.tm_gmtoff);
}

double UtcDateOfZoneWall(const SystemTimeZone& zone, double wall) {
  const long long seconds = SecondsOf(wall);
  return Shifted(wall, zone.WallToUtc(seconds) - seconds);
}

double ZoneWallOfUtcDate(const SystemTimeZone& zone, double utc) { return Shifted(utc, zone.OffsetAt(SecondsOf(utc))); }

}  // namespace outlookmodel
