// Zones of the system's zone database: TZif files of every version, the POSIX rule for later
// instants, wall-clock times around the changes, the changes listed, names that are no zone, and
// the machine's zone.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "platform/zoneinfo/SystemTimeZone.h"
#include "tests/support/TempDir.h"

namespace {

// Seconds since 1970 of a UTC time (a civil date's days by the usual era arithmetic).
long long Utc(int year, int month, int day, int hour, int minute = 0) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yoe = year - era * 400;
  const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  return days * 86400 + hour * 3600 + minute * 60;
}

void Put32(std::string& bytes, std::int64_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
}
void Put64(std::string& bytes, std::int64_t value) {
  for (int shift = 56; shift >= 0; shift -= 8) bytes += static_cast<char>((value >> shift) & 0xFF);
}

struct Type {
  long offset;
  bool daylight;
};

// A TZif file: a version 1 block, and for version 2 a 64-bit block and the footer.
std::string Tzif(char version, const std::vector<long long>& transitions, const std::vector<uint8_t>& indices,
                 const std::vector<Type>& types, const std::string& footer) {
  const auto block = [&](bool wide) {
    std::string bytes = "TZif";
    bytes += version;
    bytes += std::string(15, '\0');
    for (const size_t count : {size_t{0}, size_t{0}, size_t{0}, transitions.size(), types.size(), size_t{4}}) Put32(bytes, count);
    for (const long long transition : transitions) wide ? Put64(bytes, transition) : Put32(bytes, transition);
    for (const uint8_t index : indices) bytes += static_cast<char>(index);
    for (const Type& type : types) {
      Put32(bytes, type.offset);
      bytes += static_cast<char>(type.daylight ? 1 : 0);
      bytes += '\0';
    }
    bytes += std::string("ABC", 4);
    return bytes;
  };
  std::string file = block(false);
  if (version >= '2') file += block(true) + "\n" + footer + "\n";
  return file;
}

std::string SystemZoneFile(const std::string& name) { return ReadFileBytes("/usr/share/zoneinfo/" + name); }

}  // namespace

TEST(SystemTimeZone, OffsetsOfRealZonesAcrossTheYear) {
  const std::optional<SystemTimeZone> berlin = SystemTimeZone::Load("Europe/Berlin");
  ASSERT_TRUE(berlin) << "tzdata is installed on the machines the tests run on";
  EXPECT_EQ(berlin->OffsetAt(Utc(2024, 1, 15, 12)), 3600);
  EXPECT_EQ(berlin->OffsetAt(Utc(2024, 7, 1, 12)), 7200);
  EXPECT_EQ(berlin->OffsetAt(Utc(2024, 3, 31, 0, 59)), 3600);
  EXPECT_EQ(berlin->OffsetAt(Utc(2024, 3, 31, 1, 0)), 7200);
  EXPECT_EQ(berlin->OffsetAt(Utc(2024, 10, 27, 0, 59)), 7200);
  EXPECT_EQ(berlin->OffsetAt(Utc(2024, 10, 27, 1, 0)), 3600);
  EXPECT_EQ(berlin->OffsetAt(Utc(2090, 7, 1, 12)), 7200) << "beyond the table the footer rule holds";
  const std::optional<SystemTimeZone> sydney = SystemTimeZone::Load("Australia/Sydney");
  ASSERT_TRUE(sydney);
  EXPECT_EQ(sydney->OffsetAt(Utc(2024, 1, 15, 0)), 11 * 3600);
  EXPECT_EQ(sydney->OffsetAt(Utc(2024, 7, 15, 0)), 10 * 3600);
  const std::optional<SystemTimeZone> kolkata = SystemTimeZone::Load("Asia/Kolkata");
  ASSERT_TRUE(kolkata);
  EXPECT_EQ(kolkata->OffsetAt(Utc(2024, 7, 15, 0)), 19800);
}

TEST(SystemTimeZone, WallClockTimesTwiceOrNeverGiveTheFirstOrTheOffsetBefore) {
  const std::optional<SystemTimeZone> berlin = SystemTimeZone::Load("Europe/Berlin");
  ASSERT_TRUE(berlin);
  EXPECT_EQ(berlin->WallToUtc(Utc(2024, 10, 27, 2, 30)), Utc(2024, 10, 27, 0, 30));
  EXPECT_EQ(berlin->WallToUtc(Utc(2024, 10, 27, 3, 0)), Utc(2024, 10, 27, 2, 0));
  EXPECT_EQ(berlin->WallToUtc(Utc(2024, 3, 31, 2, 30)), Utc(2024, 3, 31, 1, 30));
  EXPECT_EQ(berlin->WallToUtc(Utc(2024, 3, 31, 3, 0)), Utc(2024, 3, 31, 1, 0));
  EXPECT_EQ(berlin->UtcToWall(Utc(2024, 12, 1, 23, 30)), Utc(2024, 12, 2, 0, 30));
}

TEST(SystemTimeZone, ReadsEveryVersionAndUsesTheFooterAfterTheLastTransition) {
  // Version 1: 32-bit times only, no footer; the last type holds on.
  const std::optional<SystemTimeZone> v1 = SystemTimeZone::FromTzif(Tzif('\0', {1000}, {1}, {{0, false}, {3600, false}}, ""));
  ASSERT_TRUE(v1);
  EXPECT_EQ(v1->OffsetAt(999), 0);
  EXPECT_EQ(v1->OffsetAt(5000000000LL), 3600);
  // Version 2 with a footer: the rule takes over after the table.
  const std::optional<SystemTimeZone> v2 = SystemTimeZone::FromTzif(
      Tzif('2', {Utc(2000, 1, 1, 0)}, {0}, {{3600, false}}, "CET-1CEST,M3.5.0,M10.5.0/3"));
  ASSERT_TRUE(v2);
  EXPECT_EQ(v2->OffsetAt(Utc(2024, 7, 1, 0)), 7200);
  EXPECT_EQ(v2->OffsetAt(Utc(2024, 12, 1, 0)), 3600);
  // Before the first transition the first standard type holds.
  const std::optional<SystemTimeZone> early = SystemTimeZone::FromTzif(
      Tzif('3', {Utc(2000, 1, 1, 0)}, {1}, {{7200, true}, {3600, false}}, ""));
  ASSERT_TRUE(early);
  EXPECT_EQ(early->OffsetAt(Utc(1990, 1, 1, 0)), 3600);
  // A real file of the system reads like the same zone loaded by name.
  const std::optional<SystemTimeZone> ny = SystemTimeZone::FromTzif(SystemZoneFile("America/New_York"));
  ASSERT_TRUE(ny);
  EXPECT_EQ(ny->OffsetAt(Utc(2024, 7, 1, 12)), -4 * 3600);
}

TEST(SystemTimeZone, DamagedFilesAndNamesThatAreNoZoneGiveNothing) {
  const std::string good = Tzif('2', {100, 200}, {0, 1}, {{0, false}, {3600, true}}, "UTC0");
  EXPECT_TRUE(SystemTimeZone::FromTzif(good));
  for (size_t cut : {size_t{0}, size_t{10}, size_t{44}, size_t{60}, good.size() / 2}) {
    EXPECT_FALSE(SystemTimeZone::FromTzif(good.substr(0, cut))) << cut;
  }
  EXPECT_FALSE(SystemTimeZone::FromTzif(Tzif('2', {200, 100}, {0, 0}, {{0, false}}, ""))) << "unsorted";
  EXPECT_FALSE(SystemTimeZone::FromTzif(Tzif('2', {100}, {5}, {{0, false}}, ""))) << "type out of range";
  EXPECT_FALSE(SystemTimeZone::FromTzif("not a zone file at all, but long enough to hold a header"));
  for (const char* name : {"", "/etc/passwd", "../zoneinfo/Europe/Berlin", "Europe//Berlin", "Europe/Berlin ", "Mars/Olympus"}) {
    EXPECT_FALSE(SystemTimeZone::Load(name)) << name;
  }
}

TEST(SystemTimeZone, TzdirNamesTheDatabase) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() + "Test");
  WriteFileBytes(dir.File("Test/Plus5"), Tzif('2', {}, {}, {{18000, false}}, "<+05>-5"));
  ScopedEnv tzdir("TZDIR", dir.Path());
  const std::optional<SystemTimeZone> zone = SystemTimeZone::Load("Test/Plus5");
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->OffsetAt(Utc(2024, 1, 1, 0)), 18000);
  EXPECT_FALSE(SystemTimeZone::Load("Europe/Berlin"));
  // A name whose letter case a sender changed is the database's own spelling.
  EXPECT_EQ(SystemTimeZone::DatabaseName("TEST/PLUS5"), "Test/Plus5");
  EXPECT_EQ(SystemTimeZone::DatabaseName("test/plus5"), "Test/Plus5");
  EXPECT_EQ(SystemTimeZone::DatabaseName("Test"), "") << "a folder is no zone";
  for (const char* name : {"TEST/PLUS6", "../TEST/PLUS5", ""}) EXPECT_EQ(SystemTimeZone::DatabaseName(name), "") << name;
}

TEST(PosixZoneRule, ReadsTheFormsOfTheDatabaseFooters) {
  const std::optional<PosixZoneRule> berlin = PosixZoneRule::Parse("CET-1CEST,M3.5.0,M10.5.0/3");
  ASSERT_TRUE(berlin);
  EXPECT_EQ(berlin->standardOffset, 3600);
  EXPECT_EQ(berlin->daylightOffset, 7200);
  EXPECT_EQ(berlin->daylightEnd.seconds, 3 * 3600);
  EXPECT_EQ(berlin->OffsetAt(Utc(2025, 3, 30, 0, 59)), 3600);
  EXPECT_EQ(berlin->OffsetAt(Utc(2025, 3, 30, 1, 0)), 7200);
  const std::optional<PosixZoneRule> sydney = PosixZoneRule::Parse("AEST-10AEDT,M10.1.0,M4.1.0/3");
  ASSERT_TRUE(sydney);
  EXPECT_EQ(sydney->OffsetAt(Utc(2025, 1, 1, 0)), 11 * 3600);
  EXPECT_EQ(sydney->OffsetAt(Utc(2025, 6, 1, 0)), 10 * 3600);
  const std::optional<PosixZoneRule> india = PosixZoneRule::Parse("IST-5:30");
  ASSERT_TRUE(india);
  EXPECT_FALSE(india->hasDaylight);
  EXPECT_EQ(india->OffsetAt(0), 19800);
  EXPECT_EQ(PosixZoneRule::Parse("<-03>3")->standardOffset, -3 * 3600);
  // Transition times beyond 24 hours and Julian days.
  const std::optional<PosixZoneRule> israel = PosixZoneRule::Parse("IST-2IDT,M3.4.4/26,M10.5.0");
  ASSERT_TRUE(israel);
  EXPECT_EQ(israel->daylightStart.seconds, 26 * 3600);
  // Friday 28 March 02:00, given as the fourth Thursday at 26:00: 00:00 UTC.
  EXPECT_EQ(israel->OffsetAt(Utc(2025, 3, 27, 23, 59)), 2 * 3600);
  EXPECT_EQ(israel->OffsetAt(Utc(2025, 3, 28, 0, 0)), 3 * 3600);
  const std::optional<PosixZoneRule> julian = PosixZoneRule::Parse("XST3XDT,J60/0,J300/0");
  ASSERT_TRUE(julian);
  EXPECT_EQ(julian->OffsetAt(Utc(2024, 3, 1, 3, 0)), -2 * 3600) << "J60 is 1 March, leap year or not";
  for (const char* bad : {"", "C-1", "CET", "CET-1CEST,M13.1.0,M10.5.0", "CET-1CEST,M3.5.0", "CET-1CEST,M3.6.0,M10.5.0",
                          "CET-1CEST,M3.5.0,M10.5.0/3x", "<+05"}) {
    EXPECT_FALSE(PosixZoneRule::Parse(bad)) << bad;
  }
}

TEST(SystemTimeZone, ListsTheChangesOfOffsetWithTheirNames) {
  const std::optional<SystemTimeZone> berlin = SystemTimeZone::Load("Europe/Berlin");
  ASSERT_TRUE(berlin);
  const std::vector<ZoneTransition> changes = berlin->Transitions(Utc(2024, 1, 1, 0), Utc(2025, 1, 1, 0));
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0], (ZoneTransition{Utc(2024, 3, 31, 1), 3600, 7200, true, "CEST"}));
  EXPECT_EQ(changes[1], (ZoneTransition{Utc(2024, 10, 27, 1), 7200, 3600, false, "CET"}));
  // Far beyond the file's own list, the footer's rule gives the same changes.
  const std::vector<ZoneTransition> later = berlin->Transitions(Utc(2100, 1, 1, 0), Utc(2101, 1, 1, 0));
  ASSERT_EQ(later.size(), 2u);
  EXPECT_EQ(later[0].utc, Utc(2100, 3, 28, 1));
  EXPECT_TRUE(berlin->HasDaylightAfter(Utc(2024, 1, 1, 0)));

  // Southern hemisphere: the end of daylight time comes first in the year.
  const std::optional<SystemTimeZone> lordHowe = SystemTimeZone::Load("Australia/Lord_Howe");
  ASSERT_TRUE(lordHowe);
  const std::vector<ZoneTransition> south = lordHowe->Transitions(Utc(2125, 1, 1, 0), Utc(2126, 1, 1, 0));
  ASSERT_EQ(south.size(), 2u);
  EXPECT_FALSE(south[0].daylight);
  EXPECT_EQ(south[0].offsetBefore - south[0].offsetAfter, 1800);
  EXPECT_TRUE(south[1].daylight);

  const std::optional<SystemTimeZone> kolkata = SystemTimeZone::Load("Asia/Kolkata");
  ASSERT_TRUE(kolkata);
  EXPECT_TRUE(kolkata->Transitions(Utc(2000, 1, 1, 0), Utc(2030, 1, 1, 0)).empty());
  EXPECT_FALSE(kolkata->HasDaylightAfter(Utc(2000, 1, 1, 0)));
}

TEST(SystemTimeZone, APosixStringIsAZoneOfItsOwn) {
  const std::optional<SystemTimeZone> zone = SystemTimeZone::Named("CET-1CEST,M3.5.0,M10.5.0/3");
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->OffsetAt(Utc(1990, 7, 1, 0)), 7200);
  EXPECT_EQ(zone->WallToUtc(Utc(2024, 7, 1, 10)), Utc(2024, 7, 1, 8));
  const std::vector<ZoneTransition> changes = zone->Transitions(Utc(2024, 1, 1, 0), Utc(2025, 1, 1, 0));
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[1].name, "CET");
  ASSERT_TRUE(SystemTimeZone::Named("Asia/Tokyo"));
  EXPECT_EQ(SystemTimeZone::Named("Asia/Tokyo")->OffsetAt(0), 9 * 3600);
  EXPECT_FALSE(SystemTimeZone::Named("Not/AZone"));
}

TEST(MachineZone, NamedByTzOrByTheLinkOfLocaltime) {
  {
    ScopedEnv tz("TZ", ":Europe/Berlin");
    EXPECT_EQ(MachineZoneId(), "Europe/Berlin");
  }
  {
    ScopedEnv tz("TZ", "America/New_York");
    EXPECT_EQ(MachineZoneId(), "America/New_York");
  }
  {
    ScopedEnv tz("TZ", "AEST-10AEDT,M10.1.0,M4.1.0/3");
    EXPECT_EQ(MachineZoneId(), "AEST-10AEDT,M10.1.0,M4.1.0/3");
  }
  {
    ScopedEnv tz("TZ", "Not/AZone");
    EXPECT_EQ(MachineZoneId(), "UTC");
  }
  {
    ScopedEnv tz("TZ", std::nullopt);
    const std::string id = MachineZoneId();
    EXPECT_TRUE(SystemTimeZone::Named(id)) << id;
  }
  EXPECT_TRUE(IsUtcZoneId("Etc/UTC"));
  EXPECT_TRUE(IsUtcZoneId("UTC"));
  EXPECT_FALSE(IsUtcZoneId("Europe/London"));
}
