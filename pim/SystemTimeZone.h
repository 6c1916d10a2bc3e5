// A zone of the system's zone database (TZif files), read by name: the UTC offset it gives an
// instant, and the instant of a wall-clock time of the zone.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pim/OleDate.h"

// The rule of a POSIX TZ string ("CET-1CEST,M3.5.0,M10.5.0/3"): a standard offset and, when the
// zone has daylight time, the daylight offset and the two yearly transitions. Offsets are seconds
// east of UTC.
struct PosixZoneRule {
  // A transition day: Mm.w.d (month, week 1-5 with 5 the last, weekday 0 = Sunday), Jn (day 1-365,
  // 29 February never counted) or n (day 0-365); `seconds` is the wall time of the transition in
  // the offset in force before it.
  struct Transition {
    enum Form { MonthWeekDay, JulianNoLeap, JulianZero } form = MonthWeekDay;
    int month = 0;
    int week = 0;
    int weekday = 0;
    int day = 0;
    long seconds = 7200;
  };

  long standardOffset = 0;
  bool hasDaylight = false;
  long daylightOffset = 0;
  Transition daylightStart;
  Transition daylightEnd;

  // The rule of `text`; none when it is not a TZ string this reader knows.
  static std::optional<PosixZoneRule> Parse(std::string_view text);
  // The offset in force at `utcSeconds` (seconds since 1970-01-01 00:00 UTC).
  long OffsetAt(long long utcSeconds) const;
};

// A value type, immutable once read. Offsets are seconds east of UTC.
class SystemTimeZone {
 public:
  // Ceiling for a zone file; real ones are a few kilobytes.
  static constexpr std::size_t kMaxFileBytes = 256 * 1024;

  // The zone `name` names in the database under TZDIR (default /usr/share/zoneinfo), such as
  // "Europe/Berlin"; none for a name that is not a plain relative zone name, or that names no
  // readable zone file.
  static std::optional<SystemTimeZone> Load(std::string_view name);
  // The zone described by the bytes of a TZif file (versions 1 to 4); none when they are not one.
  static std::optional<SystemTimeZone> FromTzif(std::string_view bytes);

  // The UTC offset in force at `utcSeconds`.
  long OffsetAt(long long utcSeconds) const;
  // The instant of the zone's wall-clock time `wallSeconds` (the wall time's parts read as if they
  // were UTC): a time that occurs twice (when clocks go back) is its first occurrence; a time that
  // does not occur (when clocks go forward) is read with the offset in force before the gap.
  long long WallToUtc(long long wallSeconds) const;

  // The same for dates: a wall-clock date of the zone to UTC, and UTC to the zone's wall clock.
  // A date that is not Valid is returned as it is.
  OleDate ToUtc(const OleDate& wall) const;
  OleDate FromUtc(const OleDate& utc) const;

 private:
  struct LocalType {
    long offset = 0;
    bool daylight = false;
  };

  std::vector<long long> mTransitions;      // ascending instants
  std::vector<std::uint8_t> mTypeIndices;   // the type in force from each transition on
  std::vector<LocalType> mTypes;
  std::optional<PosixZoneRule> mFooter;     // for instants after the last transition
};
