// Zones of the system's zone database (TZif files) and POSIX TZ rules, read by name: the UTC
// offset a zone gives an instant, the instant of a wall-clock time, the changes of offset, and
// the machine's own zone. Times are seconds since 1970-01-01 00:00 UTC; a wall-clock time is given
// as the seconds its parts would have if they were UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

  std::string standardName;  // "CET", "+0530" (the text between "<" and ">" when quoted)
  long standardOffset = 0;
  bool hasDaylight = false;
  std::string daylightName;
  long daylightOffset = 0;
  Transition daylightStart;
  Transition daylightEnd;

  // The rule of `text`; none when it is not a TZ string this reader knows.
  static std::optional<PosixZoneRule> Parse(std::string_view text);
  // The offset in force at `utcSeconds`.
  long OffsetAt(long long utcSeconds) const;
  // The wall-clock time (as seconds) of `transition` in `year`, in the offset in force before it.
  static long long TransitionWallTime(long long year, const Transition& transition);
};

// A change of a zone's offset.
struct ZoneTransition {
  long long utc = 0;      // the instant of the change
  long offsetBefore = 0;  // seconds east of UTC
  long offsetAfter = 0;
  bool daylight = false;  // daylight time from then on
  std::string name;       // abbreviation from then on ("CEST"), "" when the zone gives none

  bool operator==(const ZoneTransition&) const = default;
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
  // The database's own spelling of a zone name whose letter case a sender changed
  // ("ASIA/KOLKATA": "Asia/Kolkata"); "" when the database has no such zone.
  static std::string DatabaseName(std::string_view name);
  // The zone described by the bytes of a TZif file (versions 1 to 4); none when they are not one.
  static std::optional<SystemTimeZone> FromTzif(std::string_view bytes);
  // The zone a POSIX TZ string describes, for every instant; none when it is no such string.
  static std::optional<SystemTimeZone> FromPosix(std::string_view text);
  // The zone a zone identifier names: a database name (Load), else a POSIX TZ string (FromPosix).
  static std::optional<SystemTimeZone> Named(std::string_view id);

  // The UTC offset in force at `utcSeconds`.
  long OffsetAt(long long utcSeconds) const;
  // The instant of the zone's wall-clock time `wallSeconds`: a time that occurs twice (when
  // clocks go back) is its first occurrence; a time that does not occur (when clocks go forward)
  // is read with the offset in force before the gap.
  long long WallToUtc(long long wallSeconds) const;
  // The wall-clock time of an instant.
  long long UtcToWall(long long utcSeconds) const { return utcSeconds + OffsetAt(utcSeconds); }

  // The changes of offset from `fromUtc` up to (not including) `toUtc`, in time order; at most
  // `limit` of them.
  std::vector<ZoneTransition> Transitions(long long fromUtc, long long toUtc, std::size_t limit = 1000) const;
  // Whether the zone has daylight time at or after `utcSeconds` (a yearly rule, or a later change).
  bool HasDaylightAfter(long long utcSeconds) const;
  // The rule the zone follows after its last listed change, when it has one.
  const std::optional<PosixZoneRule>& Footer() const { return mFooter; }

 private:
  struct LocalType {
    long offset = 0;
    bool daylight = false;
    std::string name;
  };

  std::vector<long long> mTransitions;      // ascending instants
  std::vector<std::uint8_t> mTypeIndices;   // the type in force from each transition on
  std::vector<LocalType> mTypes;
  std::optional<PosixZoneRule> mFooter;     // for instants after the last transition
};

// The identifier of the machine's zone: TZ when set (a database name, with or without a leading
// ":", or a POSIX TZ string), else the database name /etc/localtime links to, else the name in
// /etc/timezone, else "UTC". A TZ that names nothing the database or the POSIX grammar knows is
// UTC, as the C library takes it.
std::string MachineZoneId();

// Whether a zone identifier names UTC itself ("UTC", "Etc/UTC", "GMT", "Z", ...).
bool IsUtcZoneId(std::string_view id);
