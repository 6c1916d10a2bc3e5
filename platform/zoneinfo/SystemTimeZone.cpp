// Zone files of the system's zone database (RFC 8536 TZif), the POSIX TZ rule at their end, and
// the machine's zone.
#include "platform/zoneinfo/SystemTimeZone.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/AtomicFile.h"

namespace {

constexpr long long kSecondsPerDay = 86400;
// Counts beyond these come from a damaged file, not from any zone.
constexpr std::uint32_t kMaxTransitions = 100000;
constexpr std::uint32_t kMaxTypes = 256;
constexpr std::size_t kMaxZoneName = 255;

long long FloorDiv(long long a, long long b) {
  const long long q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = FloorDiv(year, 400);
  const long long yoe = year - era * 400;
  const long long doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

long long YearOf(long long days) {
  days += 719468;
  const long long era = FloorDiv(days, 146097);
  const long long doe = days - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  return yoe + era * 400 + (mp >= 10 ? 1 : 0);
}

bool IsLeapYear(long long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(long long year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// ---- POSIX TZ strings

class TzStringReader {
 public:
  explicit TzStringReader(std::string_view text) : mText(text) {}

  bool AtEnd() const { return mPosition >= mText.size(); }
  bool Take(char c) {
    if (AtEnd() || mText[mPosition] != c) return false;
    ++mPosition;
    return true;
  }
  bool Peek(char c) const { return !AtEnd() && mText[mPosition] == c; }

  // A zone abbreviation: three or more letters, or anything but ">" between "<" and ">" (the
  // name is then the text between them).
  bool Name(std::string& name) {
    const size_t start = mPosition;
    if (Take('<')) {
      while (!AtEnd() && mText[mPosition] != '>') ++mPosition;
      if (!Take('>') || mPosition - start < 2) return false;
      name = std::string(mText.substr(start + 1, mPosition - start - 2));
      return true;
    }
    while (!AtEnd() && IsLetter(mText[mPosition])) ++mPosition;
    name = std::string(mText.substr(start, mPosition - start));
    return mPosition - start >= 3;
  }

  // [+-]hh[:mm[:ss]] as seconds, hours up to `maxHours`.
  bool Time(long& seconds, long maxHours) {
    bool negative = false;
    if (Take('-')) {
      negative = true;
    } else {
      Take('+');
    }
    long hours = 0, minutes = 0, secs = 0;
    if (!Number(hours, 0, maxHours)) return false;
    if (Take(':') && (!Number(minutes, 0, 59) || (Take(':') && !Number(secs, 0, 59)))) return false;
    seconds = (hours * 3600 + minutes * 60 + secs) * (negative ? -1 : 1);
    return true;
  }

  bool Number(long& value, long low, long high) {
    const size_t start = mPosition;
    value = 0;
    while (!AtEnd() && mText[mPosition] >= '0' && mText[mPosition] <= '9' && mPosition - start < 4) {
      value = value * 10 + (mText[mPosition++] - '0');
    }
    return mPosition > start && value >= low && value <= high;
  }

  bool Transition(PosixZoneRule::Transition& transition) {
    long a = 0, b = 0, c = 0;
    if (Take('M')) {
      if (!Number(a, 1, 12) || !Take('.') || !Number(b, 1, 5) || !Take('.') || !Number(c, 0, 6)) return false;
      transition.form = PosixZoneRule::Transition::MonthWeekDay;
      transition.month = static_cast<int>(a);
      transition.week = static_cast<int>(b);
      transition.weekday = static_cast<int>(c);
    } else if (Take('J')) {
      if (!Number(a, 1, 365)) return false;
      transition.form = PosixZoneRule::Transition::JulianNoLeap;
      transition.day = static_cast<int>(a);
    } else {
      if (!Number(a, 0, 365)) return false;
      transition.form = PosixZoneRule::Transition::JulianZero;
      transition.day = static_cast<int>(a);
    }
    transition.seconds = 7200;
    return !Take('/') || Time(transition.seconds, 167);
  }

 private:
  static bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

  std::string_view mText;
  size_t mPosition = 0;
};

}  // namespace

long long PosixZoneRule::TransitionWallTime(long long year, const Transition& transition) {
  long long days = DaysFromCivil(year, 1, 1);
  switch (transition.form) {
    case PosixZoneRule::Transition::JulianNoLeap:
      days += transition.day - 1 + (IsLeapYear(year) && transition.day >= 60 ? 1 : 0);
      break;
    case PosixZoneRule::Transition::JulianZero:
      days += transition.day;
      break;
    case PosixZoneRule::Transition::MonthWeekDay: {
      const long long first = DaysFromCivil(year, transition.month, 1);
      const int firstWeekday = static_cast<int>(((first + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
      int day = 1 + (transition.weekday - firstWeekday + 7) % 7 + 7 * (transition.week - 1);
      while (day > DaysInMonth(year, transition.month)) day -= 7;
      days = first + day - 1;
      break;
    }
  }
  return days * kSecondsPerDay + transition.seconds;
}

namespace {

// ---- TZif files

class TzifReader {
 public:
  explicit TzifReader(std::string_view bytes) : mBytes(bytes) {}

  bool Skip(size_t count) {
    if (mBytes.size() - mPosition < count) return false;
    mPosition += count;
    return true;
  }
  bool Unsigned32(std::uint32_t& value) {
    if (mBytes.size() - mPosition < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(mBytes[mPosition++]);
    return true;
  }
  bool Signed(size_t width, long long& value) {
    if (mBytes.size() - mPosition < width) return false;
    unsigned long long raw = 0;
    for (size_t i = 0; i < width; ++i) raw = raw << 8 | static_cast<unsigned char>(mBytes[mPosition++]);
    if (width == 4) {
      value = static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
    } else {
      value = static_cast<long long>(raw);
    }
    return true;
  }
  bool Byte(std::uint8_t& value) {
    if (mPosition >= mBytes.size()) return false;
    value = static_cast<std::uint8_t>(mBytes[mPosition++]);
    return true;
  }
  std::string_view Rest() const { return mBytes.substr(mPosition); }

 private:
  std::string_view mBytes;
  size_t mPosition = 0;
};

struct TzifHeader {
  char version = 0;
  std::uint32_t isUtcCount = 0, isStdCount = 0, leapCount = 0, timeCount = 0, typeCount = 0, charCount = 0;
};

bool ReadHeader(TzifReader& reader, TzifHeader& header) {
  const std::string_view rest = reader.Rest();
  if (rest.size() < 44 || rest.substr(0, 4) != "TZif") return false;
  header.version = rest[4];
  if (!reader.Skip(20)) return false;
  for (std::uint32_t* count : {&header.isUtcCount, &header.isStdCount, &header.leapCount, &header.timeCount,
                               &header.typeCount, &header.charCount}) {
    if (!reader.Unsigned32(*count)) return false;
  }
  return header.timeCount <= kMaxTransitions && header.typeCount >= 1 && header.typeCount <= kMaxTypes &&
         header.leapCount <= kMaxTransitions && header.isUtcCount <= kMaxTypes && header.isStdCount <= kMaxTypes &&
         header.charCount <= 65536;
}

bool IsPlainZoneName(std::string_view name) {
  if (name.empty() || name.size() > kMaxZoneName || name.front() == '/' || name.back() == '/') return false;
  for (const char c : name) {
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && c != '/' && c != '_' && c != '-' && c != '+') return false;
  }
  return name.find("//") == std::string_view::npos && name.find("..") == std::string_view::npos;
}

std::string ZoneDirectory() {
  const char* directory = std::getenv("TZDIR");
  return directory != nullptr && *directory != '\0' ? directory : "/usr/share/zoneinfo";
}

}  // namespace

// ---- PosixZoneRule

std::optional<PosixZoneRule> PosixZoneRule::Parse(std::string_view text) {
  TzStringReader reader(text);
  PosixZoneRule rule;
  long offset = 0;
  if (!reader.Name(rule.standardName) || !reader.Time(offset, 24)) return std::nullopt;
  rule.standardOffset = -offset;
  if (reader.AtEnd()) return rule;
  if (!reader.Name(rule.daylightName)) return std::nullopt;
  rule.hasDaylight = true;
  rule.daylightOffset = rule.standardOffset + 3600;
  if (!reader.Peek(',') && !reader.AtEnd()) {
    if (!reader.Time(offset, 24)) return std::nullopt;
    rule.daylightOffset = -offset;
  }
  if (reader.AtEnd()) {
    // No transition rule: the United States rules, as POSIX leaves it to the implementation.
    rule.daylightStart = Transition{Transition::MonthWeekDay, 3, 2, 0, 0, 7200};
    rule.daylightEnd = Transition{Transition::MonthWeekDay, 11, 1, 0, 0, 7200};
    return rule;
  }
  if (!reader.Take(',') || !reader.Transition(rule.daylightStart) || !reader.Take(',') ||
      !reader.Transition(rule.daylightEnd) || !reader.AtEnd()) {
    return std::nullopt;
  }
  return rule;
}

long PosixZoneRule::OffsetAt(long long utcSeconds) const {
  if (!hasDaylight) return standardOffset;
  const long long year = YearOf(FloorDiv(utcSeconds + standardOffset, kSecondsPerDay));
  const long long start = TransitionWallTime(year, daylightStart) - standardOffset;
  const long long end = TransitionWallTime(year, daylightEnd) - daylightOffset;
  const bool daylight = start < end ? utcSeconds >= start && utcSeconds < end : utcSeconds >= start || utcSeconds < end;
  return daylight ? daylightOffset : standardOffset;
}

// ---- SystemTimeZone

std::optional<SystemTimeZone> SystemTimeZone::Load(std::string_view name) {
  if (!IsPlainZoneName(name)) return std::nullopt;
  std::string path = ZoneDirectory();
  path += '/';
  path += name;
  std::string bytes;
  if (!ReadWholeFile(path, bytes, kMaxFileBytes)) return std::nullopt;
  return FromTzif(bytes);
}

std::string SystemTimeZone::DatabaseName(std::string_view name) {
  if (!IsPlainZoneName(name)) return {};
  if (Load(name)) return std::string(name);
  const auto lower = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
  };
  std::filesystem::path folder = ZoneDirectory();
  std::string spelled;
  for (size_t at = 0; at <= name.size();) {
    const size_t end = std::min(name.find('/', at), name.size());
    const std::string part = lower(std::string(name.substr(at, end - at)));
    at = end + 1;
    std::error_code error;
    std::string found;
    for (std::filesystem::directory_iterator entry(folder, error), last; !error && entry != last; entry.increment(error)) {
      if (lower(entry->path().filename().string()) == part) found = entry->path().filename().string();
    }
    if (found.empty()) return {};
    spelled += (spelled.empty() ? "" : "/") + found;
    folder /= found;
  }
  return Load(spelled) ? spelled : std::string();
}

std::optional<SystemTimeZone> SystemTimeZone::FromTzif(std::string_view bytes) {
  TzifReader reader(bytes);
  TzifHeader header;
  if (!ReadHeader(reader, header)) return std::nullopt;
  size_t timeWidth = 4;
  if (header.version >= '2') {
    // The 32-bit block is only for old readers; the 64-bit one after it is read.
    const size_t v1Block = header.timeCount * 5ull + header.typeCount * 6ull + header.charCount +
                           header.leapCount * 8ull + header.isStdCount + header.isUtcCount;
    if (!reader.Skip(v1Block) || !ReadHeader(reader, header)) return std::nullopt;
    timeWidth = 8;
  }
  SystemTimeZone zone;
  zone.mTransitions.resize(header.timeCount);
  for (long long& transition : zone.mTransitions) {
    if (!reader.Signed(timeWidth, transition)) return std::nullopt;
  }
  if (!std::is_sorted(zone.mTransitions.begin(), zone.mTransitions.end())) return std::nullopt;
  zone.mTypeIndices.resize(header.timeCount);
  for (std::uint8_t& index : zone.mTypeIndices) {
    if (!reader.Byte(index) || index >= header.typeCount) return std::nullopt;
  }
  zone.mTypes.resize(header.typeCount);
  std::vector<std::uint8_t> designations(header.typeCount);
  for (size_t i = 0; i < zone.mTypes.size(); ++i) {
    LocalType& type = zone.mTypes[i];
    long long offset = 0;
    std::uint8_t daylight = 0;
    if (!reader.Signed(4, offset) || !reader.Byte(daylight) || !reader.Byte(designations[i])) return std::nullopt;
    if (offset < -25 * 3600 || offset > 26 * 3600) return std::nullopt;
    type.offset = static_cast<long>(offset);
    type.daylight = daylight != 0;
  }
  const std::string_view names = reader.Rest().substr(0, header.charCount);
  for (size_t i = 0; i < zone.mTypes.size(); ++i) {
    if (designations[i] < names.size()) {
      const std::string_view name = names.substr(designations[i]);
      zone.mTypes[i].name = std::string(name.substr(0, name.find('\0')));
    }
  }
  if (!reader.Skip(header.charCount + header.leapCount * (timeWidth + 4ull) + header.isStdCount + header.isUtcCount)) {
    return std::nullopt;
  }
  if (header.version >= '2') {
    const std::string_view footer = reader.Rest();
    if (footer.size() >= 2 && footer.front() == '\n') {
      const size_t end = footer.find('\n', 1);
      if (end != std::string_view::npos && end > 1) zone.mFooter = PosixZoneRule::Parse(footer.substr(1, end - 1));
    }
  }
  return zone;
}

long SystemTimeZone::OffsetAt(long long utcSeconds) const {
  if (mTransitions.empty() || utcSeconds >= mTransitions.back()) {
    if (mFooter) return mFooter->OffsetAt(utcSeconds);
    return mTransitions.empty() ? mTypes.front().offset : mTypes[mTypeIndices.back()].offset;
  }
  const auto after = std::upper_bound(mTransitions.begin(), mTransitions.end(), utcSeconds);
  if (after == mTransitions.begin()) {
    // Before the first transition the first standard-time type is in force.
    const auto standard = std::find_if(mTypes.begin(), mTypes.end(), [](const LocalType& type) { return !type.daylight; });
    return (standard != mTypes.end() ? *standard : mTypes.front()).offset;
  }
  return mTypes[mTypeIndices[static_cast<size_t>(after - mTransitions.begin()) - 1]].offset;
}

long long SystemTimeZone::WallToUtc(long long wallSeconds) const {
  // A day either side brackets any one transition; the larger offset gives the earlier instant.
  const long before = OffsetAt(wallSeconds - kSecondsPerDay);
  const long after = OffsetAt(wallSeconds + kSecondsPerDay);
  for (const long offset : {std::max(before, after), std::min(before, after)}) {
    if (OffsetAt(wallSeconds - offset) == offset) return wallSeconds - offset;
  }
  return wallSeconds - before;
}

std::optional<SystemTimeZone> SystemTimeZone::FromPosix(std::string_view text) {
  std::optional<PosixZoneRule> rule = PosixZoneRule::Parse(text);
  if (!rule) return std::nullopt;
  SystemTimeZone zone;
  zone.mTypes.push_back({rule->standardOffset, false, rule->standardName});
  zone.mFooter = std::move(rule);
  return zone;
}

std::optional<SystemTimeZone> SystemTimeZone::Named(std::string_view id) {
  if (std::optional<SystemTimeZone> zone = Load(id)) return zone;
  return FromPosix(id);
}

std::vector<ZoneTransition> SystemTimeZone::Transitions(long long fromUtc, long long toUtc, std::size_t limit) const {
  std::vector<ZoneTransition> changes;
  const auto add = [&](long long utc, long before, long after, bool daylight, const std::string& name) {
    if (utc >= fromUtc && utc < toUtc && before != after && changes.size() < limit) {
      changes.push_back({utc, before, after, daylight, name});
    }
  };
  for (size_t i = 0; i < mTransitions.size() && mTransitions[i] < toUtc; ++i) {
    const LocalType& type = mTypes[mTypeIndices[i]];
    add(mTransitions[i], OffsetAt(mTransitions[i] - 1), type.offset, type.daylight, type.name);
  }
  if (!mFooter || !mFooter->hasDaylight) return changes;
  const long long after = mTransitions.empty() ? fromUtc : std::max(fromUtc, mTransitions.back() + 1);
  const PosixZoneRule& rule = *mFooter;
  for (long long year = YearOf(FloorDiv(after, kSecondsPerDay)) - 1; year <= YearOf(FloorDiv(toUtc, kSecondsPerDay)); ++year) {
    const long long start = PosixZoneRule::TransitionWallTime(year, rule.daylightStart) - rule.standardOffset;
    const long long end = PosixZoneRule::TransitionWallTime(year, rule.daylightEnd) - rule.daylightOffset;
    for (const bool toDaylight : {true, false}) {
      const long long at = toDaylight ? start : end;
      if (at < after) continue;
      add(at, toDaylight ? rule.standardOffset : rule.daylightOffset, toDaylight ? rule.daylightOffset : rule.standardOffset,
          toDaylight, toDaylight ? rule.daylightName : rule.standardName);
    }
  }
  std::sort(changes.begin(), changes.end(), [](const ZoneTransition& a, const ZoneTransition& b) { return a.utc < b.utc; });
  return changes;
}

bool SystemTimeZone::HasDaylightAfter(long long utcSeconds) const {
  if (mFooter && mFooter->hasDaylight) return true;
  const auto later = std::upper_bound(mTransitions.begin(), mTransitions.end(), utcSeconds);
  for (auto at = later; at != mTransitions.end(); ++at) {
    if (mTypes[mTypeIndices[static_cast<size_t>(at - mTransitions.begin())]].daylight) return true;
  }
  return false;
}

// ---- The machine's zone

namespace {

// The database name in a path that leads into the zone database ("/usr/share/zoneinfo/Europe/Berlin").
std::string ZoneNameOfPath(const std::string& path) {
  const std::string marker = "zoneinfo/";
  const size_t at = path.rfind(marker);
  if (at == std::string::npos) return {};
  std::string name = path.substr(at + marker.size());
  // "posix/" and "right/" hold the same zones (the latter with leap seconds).
  for (const char* prefix : {"posix/", "right/"}) {
    if (name.rfind(prefix, 0) == 0) name.erase(0, std::string_view(prefix).size());
  }
  return name;
}

std::string LinkTarget(const char* path) {
  char target[4096];
  const ssize_t length = ::readlink(path, target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

std::string Trimmed(std::string text) {
  const size_t end = text.find_first_of(" \t\r\n");
  if (end != std::string::npos) text.erase(end);
  return text;
}

}  // namespace

std::string MachineZoneId() {
  if (const char* tz = std::getenv("TZ"); tz != nullptr) {
    std::string_view id = tz;
    if (!id.empty() && id.front() == ':') id.remove_prefix(1);
    if (!id.empty() && (SystemTimeZone::Load(id) || PosixZoneRule::Parse(id))) return std::string(id);
    return "UTC";
  }
  std::string name = ZoneNameOfPath(LinkTarget("/etc/localtime"));
  if (!name.empty() && SystemTimeZone::Load(name)) return name;
  std::string text;
  if (ReadWholeFile("/etc/timezone", text, 4096) && !(name = Trimmed(text)).empty() && SystemTimeZone::Load(name)) return name;
  return "UTC";
}

bool IsUtcZoneId(std::string_view id) {
  static constexpr std::string_view kNames[] = {"UTC", "Etc/UTC", "GMT", "Etc/GMT", "Z", "Zulu", "Etc/Zulu",
                                                "Universal", "Etc/Universal", "UCT", "Etc/UCT", "UTC0", "GMT0", "Etc/GMT0"};
  return std::find(std::begin(kNames), std::end(kNames), id) != std::end(kNames);
}
