// The component walk over item texts as servers send them: which properties reach the store, zones,
// local times of dates, and the changed-occurrence marker.
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

using Names_ = std::vector<std::string>;

}  // namespace

TEST(ReadVCalItem, EventDeliversItsPropertiesAlarmAndZone) {
  const VCalItemContent event = Read(ItemText("event-timed-tz.ics"));
  EXPECT_EQ(Names(event.properties),
            (Names_{"SUMMARY", "DESCRIPTION", "LOCATION", "CLASS", "PRIORITY", "CATEGORIES", "DTSTART", "DTEND", "RRULE",
                    "EXDATE", "ORGANIZER", "ATTENDEE", "ATTENDEE"}));
  EXPECT_EQ(event.Find("SUMMARY")->value, "Quarterly planning with the whole product team and the partners from Lyon");
  EXPECT_EQ(event.Find("DESCRIPTION")->value,
            "Agenda:\n1. Review, numbers\n2. Roadmap; risks\nRoom key at the desk");
  EXPECT_EQ(event.Find("LOCATION")->value, "Main building, room 4.12");
  EXPECT_EQ(event.Find("CATEGORIES")->value, "Business,Planning");
  EXPECT_EQ(event.Find("ATTENDEE")->Param("CN"), "Chen Li");
  EXPECT_EQ(event.properties[11].Param("CN"), "Smith, Bob");
  EXPECT_EQ(event.properties[11].value, "MAILTO:bob@example.org");
  ASSERT_EQ(event.alarms.size(), 1u);
  EXPECT_EQ(event.alarms[0].value, "-PT15M");
  ASSERT_EQ(event.zones.size(), 1u);
  EXPECT_EQ(event.zones[0].tzid, "Europe/Berlin");
  EXPECT_EQ(event.zones[0].standard.offsetTo, 100);
  EXPECT_EQ(event.Find("UID"), nullptr);
}

TEST(ReadVCalItem, LinesEndingInCrLfReadTheSame) {
  std::string text = ItemText("event-timed-tz.ics");
  std::string crlf;
  for (const char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const VCalItemContent fromLf = Read(text);
  const VCalItemContent fromCrLf = Read(crlf);
  EXPECT_EQ(fromCrLf.properties, fromLf.properties);
  EXPECT_EQ(fromCrLf.alarms, fromLf.alarms);
  EXPECT_EQ(fromCrLf.zones, fromLf.zones);
}

TEST(ReadVCalItem, ZonedTimesBecomeMachineLocalTime) {
  ScopedTimeZone machine(kZoneSydney);
  const VCalItemContent event = Read(ItemText("event-timed-tz.ics"));
  // 09:30 in Berlin summer time is 07:30 UTC, 17:30 in Sydney winter.
  EXPECT_EQ(event.LocalTime(*event.Find("DTSTART")).Format("%Y-%m-%d %H:%M"), "2024-06-10 17:30");
  EXPECT_EQ(event.LocalTime(*event.Find("DTEND")).Format("%Y-%m-%d %H:%M"), "2024-06-10 19:00");
}

TEST(VCalDateTimeToLocal, UtcFloatingAndDateValues) {
  ScopedTimeZone machine(kZoneBerlin);
  const std::vector<TimeZoneRule> none;
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART:20240701T100000Z\n"), none), OleDate(2024, 7, 1, 12, 0, 0));
  // Without Z and without a known zone the time is floating local time.
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART:20240701T100000\n"), none), OleDate(2024, 7, 1, 10, 0, 0));
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART;TZID=Mars/Olympus:20240701T100000\n"), none),
            OleDate(2024, 7, 1, 10, 0, 0));
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART;VALUE=DATE:20240701\n"), none), OleDate(2024, 7, 1));
  EXPECT_EQ(VCalDateTimeToLocal(Line("DUE:20240701\n"), none), OleDate(2024, 7, 1));
  EXPECT_FALSE(VCalDateTimeToLocal(Line("DTSTART:2024\n"), none).IsValid());
  // With several zones the one named is used.
  TimeZoneRule kolkata;
  kolkata.tzid = "Asia/Kolkata";
  kolkata.standard.offsetFrom = kolkata.standard.offsetTo = 530;
  TimeZoneRule other;
  other.tzid = "Etc/Other";
  other.standard.offsetTo = other.daylight.offsetTo = -1000;
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART;TZID=Asia/Kolkata:20240101T120000\n"), {kolkata, other}),
            OleDate(2024, 1, 1, 7, 30, 0));
  EXPECT_EQ(VCalDateTimeToLocal(Line("DTSTART;TZID=\"Asia/Kolkata\":20240101T120000Z\n"), {kolkata, other}),
            OleDate(2024, 1, 1, 7, 30, 0));
}

TEST(ReadVCalItem, AllDayEventOfAnOlderSender) {
  const VCalItemContent event = Read(ItemText("event-allday.vcs"));
  EXPECT_EQ(Names(event.properties), (Names_{"SUMMARY", "DESCRIPTION", "DTSTART", "DTEND", "CLASS", "CATEGORIES"}));
  EXPECT_EQ(event.Find("DESCRIPTION")->value,
            "Family lunch at Großmutter's, bring the cake and the gifts\r\ndo not forget the camera");
  EXPECT_EQ(event.LocalTime(*event.Find("DTSTART")), OleDate(2024, 12, 25));
  EXPECT_TRUE(event.alarms.empty());
}

TEST(ReadVCalItem, TaskTakesOnlyTaskPropertiesAndNoAlarm) {
  const VCalItemContent task = Read(ItemText("task.ics"), ITEM_TASK);
  EXPECT_EQ(Names(task.properties),
            (Names_{"SUMMARY", "DESCRIPTION", "PRIORITY", "STATUS", "PERCENT-COMPLETE", "DTSTART", "DUE"}));
  EXPECT_EQ(task.Find("DESCRIPTION")->value, "Receipts are in the blue folder");
  EXPECT_TRUE(task.alarms.empty());
  // Read as an event, the task text has no item at all.
  EXPECT_TRUE(Read(ItemText("task.ics"), ITEM_EVENT).properties.empty());
}

TEST(ReadVCalItem, ChangedOccurrenceTakesTheNarrowerSet) {
  const std::string text = ItemText("event-exception.ics");
  const VCalItemContent occurrence = Read(text, ITEM_EVENT, true);
  EXPECT_EQ(Names(occurrence.properties),
            (Names_{"SUMMARY", "DTSTART", "DTEND", "RRULE", "SUMMARY", "DTSTART", "DTEND", "LOCATION"}));
  const VCalItemContent full = Read(text);
  const std::vector<std::string> fullNames = Names(full.properties);
  EXPECT_EQ(std::count(fullNames.begin(), fullNames.end(), "EXDATE"), 1);
  EXPECT_EQ(full.Find("SUMMARY")->value, "Stand-up (moved)");
}

TEST(WalkVCalItem, NestedAndUnterminatedComponentsAndEmptyLines) {
  const std::string text =
      "BEGIN:VCALENDAR\nSUMMARY:outside\nBEGIN:VEVENT\nSUMMARY:\n:no name\nLOCATION:here\n"
      "BEGIN:X-EXTRA\nLOCATION:nested\nBEGIN:X-DEEPER\nEND:X-DEEPER\nSUMMARY:still nested\nEND:X-EXTRA\n"
      "BEGIN:VALARM\nTRIGGER:-PT5M\nSUMMARY:alarm summary\nEND:VEVENT\nLOCATION:after\n"
      "BEGIN:VEVENT\nCLASS:PRIVATE\nEND:VEVENT\nEND:VCALENDAR";
  std::vector<std::pair<VCalSection, std::string>> seen;
  ASSERT_TRUE(WalkVCalItem(text, {}, [&seen](VCalSection section, const VCalProperty& property) {
    seen.emplace_back(section, property.name + "=" + property.value);
  }));
  const std::vector<std::pair<VCalSection, std::string>> expected = {{VCalSection::Item, "LOCATION=here"},
                                                                     {VCalSection::Alarm, "TRIGGER=-PT5M"},
                                                                     {VCalSection::Item, "CLASS=PRIVATE"}};
  EXPECT_EQ(seen, expected);
}

TEST(WalkVCalItem, RefusesTextsBeyondTheCeiling) {
  const std::string huge(kMaxVCalItemBytes + 1, 'x');
  bool visited = false;
  EXPECT_FALSE(WalkVCalItem(huge, {}, [&visited](VCalSection, const VCalProperty&) { visited = true; }));
  EXPECT_FALSE(visited);
  EXPECT_EQ(FindRecurrenceId(huge).uid, "");
}

TEST(FindRecurrenceId, TakesDateAndUidOfTheLastEvent) {
  const VCalRecurrenceId id = FindRecurrenceId(ItemText("event-exception.ics"));
  EXPECT_EQ(id.date, "20240617");
  EXPECT_EQ(id.uid, "standup-42@calendar.example.org");
  const VCalRecurrenceId master = FindRecurrenceId(ItemText("event-timed-tz.ics"));
  EXPECT_EQ(master.date, "");
  EXPECT_EQ(master.uid, "20240603T081512Z-4711@calendar.example.org");
  // Outside a VEVENT nothing is taken.
  EXPECT_EQ(FindRecurrenceId("UID:x\nRECURRENCE-ID:20240101\nBEGIN:VTODO\nUID:y\nEND:VTODO\n").uid, "");
}
