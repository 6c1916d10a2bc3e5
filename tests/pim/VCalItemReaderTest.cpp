// The component walk over item texts as servers send them: which properties reach the store, one
// component per event of a series, zones (with and without VTIMEZONE), the instants and local times
// of dates, and the changed-occurrence marker.
#include <gtest/gtest.h>

#include <algorithm>

#include "pim/VCalItemReader.h"
#include "tests/pim/VCalTestZone.h"
#include "tests/support/TempDir.h"

namespace {

std::string ItemText(const std::string& file) { return ReadFileBytes(std::string(LARK_TEST_DATA) + "/vcal/" + file); }

std::vector<std::string> Names(const std::vector<VCalProperty>& properties) {
  std::vector<std::string> names;
  for (const VCalProperty& property : properties) names.push_back(property.name);
  return names;
}

VCalItemContent Read(const std::string& text, int kind = ITEM_EVENT, bool changedOccurrence = false) {
  VCalItemContent content;
  EXPECT_TRUE(ReadVCalItem(text, {kind, changedOccurrence}, content));
  return content;
}

VCalProperty Line(const std::string& line) {
  size_t position = 0;
  VCalProperty property;
  ReadVCalProperty(line, position, property);
  return property;
}

std::string Utc(const std::string& line, const VCalZones& zones = VCalZones()) {
  return VCalDateTimeToUtc(Line(line), zones).Format("%Y-%m-%d %H:%M");
}

using Names_ = std::vector<std::string>;

}  // namespace

TEST(ReadVCalItem, EventDeliversItsPropertiesAlarmAndZone) {
  const VCalItemContent content = Read(ItemText("event-timed-tz.ics"));
  ASSERT_EQ(content.components.size(), 1u);
  const VCalComponent& event = content.components[0];
  EXPECT_EQ(Names(event.properties),
            (Names_{"UID", "SUMMARY", "DESCRIPTION", "LOCATION", "CLASS", "PRIORITY", "CATEGORIES", "DTSTART", "DTEND",
                    "RRULE", "EXDATE", "ORGANIZER", "ATTENDEE", "ATTENDEE"}));
  EXPECT_EQ(event.Find("SUMMARY")->value, "Quarterly planning with the whole product team and the partners from Lyon");
  EXPECT_EQ(event.Find("DESCRIPTION")->value, "Agenda:\n1. Review, numbers\n2. Roadmap; risks\nRoom key at the desk");
  EXPECT_EQ(event.Find("LOCATION")->value, "Main building, room 4.12");
  EXPECT_EQ(event.Find("ATTENDEE")->Param("CN"), "Chen Li");
  EXPECT_EQ(event.properties[12].Param("CN"), "Smith, Bob");
  EXPECT_EQ(event.properties[12].value, "MAILTO:bob@example.org");
  ASSERT_EQ(Names(event.alarms), (Names_{"ACTION", "DESCRIPTION", "TRIGGER"}));
  EXPECT_EQ(event.alarms[2].value, "-PT15M");
  ASSERT_EQ(content.zones.Rules().size(), 1u);
  EXPECT_EQ(content.zones.Rules()[0].tzid, "Europe/Berlin");
  EXPECT_EQ(content.zones.Rules()[0].standard.offsetTo, 100);
  EXPECT_EQ(content.version, "2.0");
  EXPECT_FALSE(event.IsChangedOccurrence());
}

TEST(ReadVCalItem, LinesEndingInCrLfReadTheSame) {
  std::string text = ItemText("event-timed-tz.ics");
  std::string crlf;
  for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const VCalItemContent fromLf = Read(text);
  const VCalItemContent fromCrLf = Read(crlf);
  EXPECT_EQ(fromCrLf.components[0].properties, fromLf.components[0].properties);
  EXPECT_EQ(fromCrLf.components[0].alarms, fromLf.components[0].alarms);
  EXPECT_EQ(fromCrLf.zones.Rules(), fromLf.zones.Rules());
}

TEST(ReadVCalItem, ZonedTimesAreInstantsAndMachineLocalTimes) {
  ScopedTimeZone machine(kZoneSydney);
  const VCalItemContent content = Read(ItemText("event-timed-tz.ics"));
  const VCalComponent& event = content.components[0];
  // 09:30 in Berlin summer time is 07:30 UTC, 17:30 in Sydney winter.
  EXPECT_EQ(content.UtcTime(*event.Find("DTSTART")).Format("%Y-%m-%d %H:%M"), "2024-06-10 07:30");
  EXPECT_EQ(content.LocalTime(*event.Find("DTSTART")).Format("%Y-%m-%d %H:%M"), "2024-06-10 17:30");
  EXPECT_EQ(content.LocalTime(*event.Find("DTEND")).Format("%Y-%m-%d %H:%M"), "2024-06-10 19:00");
}

TEST(ReadVCalItem, ASeriesAndItsChangedOccurrencesAreComponentsOfTheirOwn) {
  const VCalItemContent content = Read(ItemText("event-exception.ics"));
  ASSERT_EQ(content.components.size(), 2u);
  const VCalComponent& series = content.components[0];
  const VCalComponent& moved = content.components[1];
  EXPECT_FALSE(series.IsChangedOccurrence());
  EXPECT_EQ(series.Find("SUMMARY")->value, "Stand-up");
  EXPECT_EQ(series.Find("RRULE")->value, "FREQ=DAILY;COUNT=20");
  EXPECT_TRUE(moved.IsChangedOccurrence());
  EXPECT_EQ(moved.Find("SUMMARY")->value, "Stand-up (moved)");
  EXPECT_EQ(moved.Find("RECURRENCE-ID")->value, "20240617T070000Z");
  EXPECT_EQ(moved.Find("UID")->value, series.Find("UID")->value);

  // A changed occurrence read on its own takes the narrower set.
  const VCalItemContent narrow = Read(ItemText("event-exception.ics"), ITEM_EVENT, true);
  EXPECT_EQ(Names(narrow.components[1].properties),
            (Names_{"UID", "RECURRENCE-ID", "SUMMARY", "DTSTART", "DTEND", "LOCATION"}));
}

TEST(ReadVCalItem, AllDayEventOfAnOlderSenderWithItsAlarm) {
  const VCalItemContent content = Read(ItemText("event-allday.vcs"));
  const VCalComponent& event = content.components[0];
  EXPECT_EQ(Names(event.properties),
            (Names_{"UID", "SUMMARY", "DESCRIPTION", "DTSTART", "DTEND", "CLASS", "CATEGORIES", "AALARM"}));
  EXPECT_EQ(event.Find("DESCRIPTION")->value,
            "Family lunch at Großmutter's, bring the cake and the gifts\r\ndo not forget the camera");
  EXPECT_EQ(content.LocalTime(*event.Find("DTSTART")), OleDate(2024, 12, 25));
  EXPECT_EQ(content.version, "1.0");
  EXPECT_TRUE(event.alarms.empty());
}

TEST(ReadVCalItem, TaskTakesOnlyTaskPropertiesAndNoAlarm) {
  const VCalItemContent content = Read(ItemText("task.ics"), ITEM_TASK);
  const VCalComponent& task = content.components[0];
  EXPECT_EQ(Names(task.properties),
            (Names_{"UID", "SUMMARY", "DESCRIPTION", "CLASS", "PRIORITY", "STATUS", "PERCENT-COMPLETE", "DTSTART", "DUE"}));
  EXPECT_EQ(task.Find("DESCRIPTION")->value, "Receipts are in the blue folder");
  EXPECT_TRUE(task.alarms.empty());
  // Read as an event, the task text has no item at all.
  EXPECT_TRUE(Read(ItemText("task.ics"), ITEM_EVENT).components.empty());
}

TEST(VCalDateTimeToUtc, UtcStaysUtcZonesConvertAndFloatingTimesAreLocal) {
  ScopedTimeZone machine(kZoneBerlin);
  // The repeated hour of the autumn change: a UTC value is never read through local time.
  EXPECT_EQ(Utc("DTEND:20241027T010000Z\n"), "2024-10-27 01:00");
  EXPECT_EQ(Utc("DTEND:20241027T000000Z\n"), "2024-10-27 00:00");
  // Floating and date values are the machine's local time.
  EXPECT_EQ(Utc("DTSTART:20240701T100000\n"), "2024-07-01 08:00");
  EXPECT_EQ(Utc("DTSTART;VALUE=DATE:20240101\n"), "2023-12-31 23:00");
  EXPECT_EQ(Utc("DTSTART;TZID=Mars/Olympus:20240701T100000\n"), "2024-07-01 08:00") << "an unknown zone floats";
  EXPECT_FALSE(VCalDateTimeToUtc(Line("DTSTART:2024\n"), VCalZones()).IsValid());
}

TEST(VCalDateTimeToUtc, ZonesTheSystemKnowsApplyWithoutVTimeZone) {
  ScopedTimeZone machine(kZoneUtc);
  EXPECT_EQ(Utc("DTSTART;TZID=Europe/Berlin:20240701T093000\n"), "2024-07-01 07:30");
  EXPECT_EQ(Utc("DTSTART;TZID=Europe/Berlin:20240115T093000\n"), "2024-01-15 08:30");
  EXPECT_EQ(Utc("DTSTART;TZID=America/New_York:20241103T013000\n"), "2024-11-03 05:30") << "the first of two";
  EXPECT_EQ(Utc("DTSTART;TZID=America/New_York:20240310T023000\n"), "2024-03-10 07:30") << "in the gap";
  EXPECT_EQ(Utc("DTSTART;TZID=Australia/Sydney:20240115T090000\n"), "2024-01-14 22:00");
  EXPECT_EQ(Utc("DTSTART;TZID=/mozilla.org/20050126_1/Europe/Berlin:20240701T093000\n"), "2024-07-01 07:30");
  EXPECT_EQ(Utc("DTSTART;TZID=../../etc/passwd:20240701T093000\n"), "2024-07-01 09:30") << "not a zone name";
  // A VTIMEZONE of the text comes before the system's zone of the same name.
  TimeZoneRule fixed;
  fixed.tzid = "Europe/Berlin";
  fixed.standard.offsetFrom = fixed.standard.offsetTo = 300;
  EXPECT_EQ(Utc("DTSTART;TZID=Europe/Berlin:20240701T093000\n", VCalZones({fixed})), "2024-07-01 06:30");
  // A zone named by TZID wins over a trailing Z.
  EXPECT_EQ(Utc("DTSTART;TZID=\"Europe/Berlin\":20240701T093000Z\n"), "2024-07-01 07:30");
}

TEST(VCalDateTimeToLocal, UtcFloatingAndDateValues) {
  ScopedTimeZone machine(kZoneBerlin);
  const VCalZones none;
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART:20240701T100000Z\n"), none), OleDate(2024, 7, 1, 12, 0, 0));
  // Without Z and without a known zone the time is floating local time.
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART:20240701T100000\n"), none), OleDate(2024, 7, 1, 10, 0, 0));
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART;TZID=Mars/Olympus:20240701T100000\n"), none), OleDate(2024, 7, 1, 10, 0, 0));
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART;VALUE=DATE:20240701\n"), none), OleDate(2024, 7, 1));
  EXPECT_EQ(VCalDateTimeToLocal(Line("DUE:20240701\n"), none), OleDate(2024, 7, 1));
  // With several zones the one named is used.
  TimeZoneRule kolkata;
  kolkata.tzid = "Asia/Kolkata";
  kolkata.standard.offsetFrom = kolkata.standard.offsetTo = 530;
  TimeZoneRule other;
  other.tzid = "Etc/Other";
  other.standard.offsetTo = other.daylight.offsetTo = -1000;
  const VCalZones zones({kolkata, other});
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART;TZID=Asia/Kolkata:20240101T120000\n"), zones), OleDate(2024, 1, 1, 7, 30, 0));
}

TEST(WalkVCalItem, NestedAndUnterminatedComponentsAndEmptyLines) {
  const std::string text =
      "BEGIN:VCALENDAR\nSUMMARY:outside\nBEGIN:VEVENT\nSUMMARY:\n:no name\nLOCATION:here\n"
      "BEGIN:X-EXTRA\nLOCATION:nested\nBEGIN:X-DEEPER\nEND:X-DEEPER\nSUMMARY:still nested\nEND:X-EXTRA\n"
      "BEGIN:VALARM\nTRIGGER:-PT5M\nSUMMARY:alarm summary\nEND:VEVENT\nLOCATION:after\n"
      "BEGIN:VEVENT\nCLASS:PRIVATE\nEND:VEVENT\nEND:VCALENDAR";
  std::vector<std::string> seen;
  ASSERT_TRUE(WalkVCalItem(text, {}, [&seen](size_t component, VCalSection section, const VCalProperty& property) {
    seen.push_back(std::to_string(component) + (section == VCalSection::Alarm ? " alarm " : " item ") + property.name +
                   "=" + property.value);
  }));
  EXPECT_EQ(seen, (Names_{"0 item LOCATION=here", "0 alarm TRIGGER=-PT5M", "1 item CLASS=PRIVATE"}));
}

TEST(WalkVCalItem, RefusesTextsBeyondTheCeiling) {
  const std::string huge(kMaxVCalItemBytes + 1, 'x');
  bool visited = false;
  EXPECT_FALSE(WalkVCalItem(huge, {}, [&visited](size_t, VCalSection, const VCalProperty&) { visited = true; }));
  EXPECT_FALSE(visited);
  EXPECT_EQ(FindRecurrenceId(huge).uid, "");
}

TEST(FindRecurrenceId, TakesDateAndUidOfTheLastEvent) {
  ScopedTimeZone machine(kZoneUtc);
  const VCalRecurrenceId id = FindRecurrenceId(ItemText("event-exception.ics"));
  EXPECT_EQ(id.date, "20240617");
  {
    // The date is the local date of the original start.
    ScopedTimeZone sydney(kZoneSydney);
    EXPECT_EQ(FindRecurrenceId("BEGIN:VEVENT\nRECURRENCE-ID:20240617T200000Z\nEND:VEVENT\n").date, "20240618");
    EXPECT_EQ(FindRecurrenceId("BEGIN:VEVENT\nRECURRENCE-ID;VALUE=DATE:20240617\nEND:VEVENT\n").date, "20240617");
    EXPECT_EQ(FindRecurrenceId("BEGIN:VEVENT\nRECURRENCE-ID;TZID=Europe/Berlin:20240617T230000\nEND:VEVENT\n").date, "20240618");
  }
  EXPECT_EQ(id.uid, "standup-42@calendar.example.org");
  const VCalRecurrenceId master = FindRecurrenceId(ItemText("event-timed-tz.ics"));
  EXPECT_EQ(master.date, "");
  EXPECT_EQ(master.uid, "20240603T081512Z-4711@calendar.example.org");
  // Outside a VEVENT nothing is taken.
  EXPECT_EQ(FindRecurrenceId("UID:x\nRECURRENCE-ID:20240101\nBEGIN:VTODO\nUID:y\nEND:VTODO\n").uid, "");
}
