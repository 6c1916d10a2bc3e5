// Event and task records from calendar text: instants around the changes of daylight time, a zoned
// series with its zone, exclusions, changed occurrences and end, alarms of every kind, addresses
// and participants, values the local application cannot tell apart, task times, and the keys of
// changed occurrences.
#include <gtest/gtest.h>

#include "pim/CalendarRecordBuilder.h"
#include "tests/pim/VCalTestZone.h"

namespace {

std::string Event(const std::string& lines) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:u1\r\nSUMMARY:s\r\n" + lines + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

std::string Dump(const std::vector<CDataItem::Ptr>& records) {
  std::string dump;
  for (const CDataItem::Ptr& record : records) {
    for (const auto& [key, value] : record->properties) dump += key + "=" + value + "\n";
  }
  return dump;
}

CDataItem::Ptr Build(const std::string& text) {
  CDataItem::Ptr record = CalendarRecordBuilder::Build(text);
  EXPECT_TRUE(record) << text;
  return record ? record : CDataItem::Create(ITEM_EVENT);
}

}  // namespace

TEST(CalendarRecordBuilder, UtcInstantsNeverGoThroughLocalTime) {
  ScopedTimeZone machine(kZoneBerlin);
  // The night of the autumn change: 01:00 UTC is the second 02:00 of the night in Berlin.
  const CDataItem::Ptr night = Build(Event("DTSTART:20241026T230000Z\r\nDTEND:20241027T010000Z\r\n"));
  EXPECT_EQ(night->Property("VC_DTSTART"), "20241026T230000Z");
  EXPECT_EQ(night->Property("VC_DTEND"), "20241027T010000Z");
  EXPECT_NE(night->ToVCalendar().find("\r\nDTEND:20241027T010000Z\r\n"), std::string::npos);
  // A floating time is the machine's local time, converted once.
  EXPECT_EQ(Build(Event("DTSTART:20240701T100000\r\n"))->Property("VC_DTSTART"), "20240701T080000Z");
  // An event is all-day only when all its times are dates; a date among times is its local midnight.
  const CDataItem::Ptr mixed = Build(Event("DTSTART;VALUE=DATE:20240701\r\nDTEND:20240701T120000Z\r\n"));
  EXPECT_EQ(mixed->Property("VC_DTSTART"), "20240630T220000Z");
  EXPECT_EQ(Build(Event("DTSTART;VALUE=DATE:20240701\r\nDTEND;VALUE=DATE:20240703\r\n"))->Property("VC_DTEND"), "20240703");
}

TEST(CalendarRecordBuilder, AnEndGivenByDurationIsTheEnd) {
  ScopedTimeZone machine(kZoneUtc);
  EXPECT_EQ(Build(Event("DTSTART:20240701T100000Z\r\nDURATION:PT1H30M\r\n"))->Property("VC_DTEND"), "20240701T113000Z");
  EXPECT_EQ(Build(Event("DTSTART;VALUE=DATE:20240701\r\nDURATION:P3D\r\n"))->Property("VC_DTEND"), "20240704");
  EXPECT_EQ(Build(Event("DTSTART:20240701T100000Z\r\nDTEND:20240701T103000Z\r\nDURATION:PT5H\r\n"))->Property("VC_DTEND"),
            "20240701T103000Z");
}

TEST(CalendarRecordBuilder, AZonedSeriesKeepsItsZoneWithItsExclusionsChangedOccurrencesAndEnd) {
  for (const char* machine : {kZoneUtc, kZoneSydney}) {
    ScopedTimeZone zone(machine);
    // Mondays 09:00 in Berlin from January (08:00 UTC); in summer they are 07:00 UTC. The rule's
    // days are Berlin's, and every date of the series is the instant of its occurrence.
    const std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:weekly\r\nSUMMARY:Weekly\r\n"
        "DTSTART;TZID=Europe/Berlin:20250106T090000\r\nDTEND;TZID=Europe/Berlin:20250106T093000\r\n"
        "RRULE:FREQ=WEEKLY;BYDAY=MO;UNTIL=20250630T070000Z\r\n"
        "EXDATE;TZID=Europe/Berlin:20250113T090000,20250407T090000\r\nEXDATE:20250505T070000Z\r\nEXDATE;VALUE=DATE:20250512\r\n"
        "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:weekly\r\nRECURRENCE-ID:20250414T070000Z\r\nSUMMARY:Moved\r\n"
        "DTSTART;TZID=Europe/Berlin:20250414T110000\r\nDTEND;TZID=Europe/Berlin:20250414T113000\r\nEND:VEVENT\r\n"
        "END:VCALENDAR\r\n");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]->Property("VC_DTSTART"), "20250106T080000Z");
    EXPECT_EQ(records[0]->Property("VC_TZID"), "Europe/Berlin");
    EXPECT_EQ(records[0]->Property("EXDATE"), "20250113T080000Z,20250407T070000Z,20250505T070000Z,20250512T070000Z");
    EXPECT_EQ(records[0]->Property("VC_RRULE"), "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20250630T070000Z");
    EXPECT_EQ(records[1]->Property("VC_RECURRENCE_ID"), "20250414T070000Z");
    EXPECT_EQ(records[1]->Property("VC_DTSTART"), "20250414T090000Z") << "the occurrence's own times are its instants";
    EXPECT_EQ(records[1]->Property("VC_RRULE"), "");
    // Written back in its zone: the wall clock of Berlin on both sides of the change.
    const std::string written = ToVCalendar(records);
    for (const char* line : {"\r\nTZID:Europe/Berlin\r\n", "\r\nDTSTART;TZID=Europe/Berlin:20250106T090000\r\n",
                             "\r\nEXDATE;TZID=Europe/Berlin:20250113T090000,20250407T090000,20250505T090000,20250512T090000\r\n",
                             "\r\nRRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20250630T070000Z\r\n",
                             "\r\nRECURRENCE-ID;TZID=Europe/Berlin:20250414T090000\r\n",
                             "\r\nDTSTART;TZID=Europe/Berlin:20250414T110000\r\n"}) {
      EXPECT_NE(written.find(line), std::string::npos) << line << written;
    }
    EXPECT_EQ(Dump(CalendarRecordBuilder::BuildAll(written)), Dump(records));
  }
}

TEST(CalendarRecordBuilder, RuleDaysAreThoseOfTheSeriesZoneInEveryZoneOfTheMachine) {
  for (const char* machine : {kZoneUtc, kZoneBerlin, kZoneSydney, "America/New_York"}) {
    ScopedTimeZone zone(machine);
    const CDataItem::Ptr kolkata = Build(Event(
        "DTSTART;TZID=Asia/Kolkata:20250113T020000\r\nDTEND;TZID=Asia/Kolkata:20250113T030000\r\n"
        "RRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\n"));
    EXPECT_EQ(kolkata->Property("VC_DTSTART"), "20250112T203000Z") << machine;
    EXPECT_EQ(kolkata->Property("VC_TZID"), "Asia/Kolkata");
    EXPECT_EQ(kolkata->Property("VC_RRULE"), "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,WE");
    const CDataItem::Ptr tokyo = Build(Event(
        "DTSTART;TZID=Asia/Tokyo:20250201T080000\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=1;COUNT=6\r\n"));
    EXPECT_EQ(tokyo->Property("VC_RRULE"), "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=1;COUNT=6");
    EXPECT_NE(tokyo->ToVCalendar().find("\r\nDTSTART;TZID=Asia/Tokyo:20250201T080000\r\n"), std::string::npos);
  }
}

TEST(CalendarRecordBuilder, FloatingTimesAreTheWallClockOfTheItemsZoneOrTheMachines) {
  ScopedTimeZone machine("America/New_York");
  // vCalendar 1.0: TZ and DAYLIGHT say whose wall clock the floating times are.
  const CDataItem::Ptr old = Build(
      "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nTZ:+01\r\nDAYLIGHT:TRUE;+02;20250330T010000Z;20251026T010000Z;;\r\n"
      "BEGIN:VEVENT\r\nSUMMARY:s\r\nDTSTART:20250707T100000\r\nDTEND:20250707T110000\r\nRRULE:W1 MO #5\r\n"
      "END:VEVENT\r\nEND:VCALENDAR\r\n");
  EXPECT_EQ(old->Property("VC_DTSTART"), "20250707T080000Z");
  EXPECT_EQ(old->Property("VC_TZID"), "<+0100>-1<+0200>-2,M3.5.0/2,M10.5.0/3");
  EXPECT_EQ(old->Property("VC_RRULE"), "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;COUNT=5");
  // Without them, and in iCalendar, the machine's.
  const CDataItem::Ptr floating = Build(Event("DTSTART:20250707T100000\r\n"));
  EXPECT_EQ(floating->Property("VC_DTSTART"), "20250707T140000Z");
  EXPECT_EQ(floating->Property("VC_TZID"), "America/New_York");
  EXPECT_EQ(Build(Event("DTSTART:20250707T100000Z\r\n"))->Property("VC_TZID"), "") << "UTC has no zone to keep";
  // A VTIMEZONE of a name the zone database does not know keeps its rule.
  const CDataItem::Ptr custom = Build(
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VTIMEZONE\r\nTZID:Eastern\r\nBEGIN:STANDARD\r\nDTSTART:19701101T020000\r\n"
      "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nEND:STANDARD\r\n"
      "BEGIN:DAYLIGHT\r\nDTSTART:19700308T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nTZOFFSETFROM:-0500\r\n"
      "TZOFFSETTO:-0400\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\nBEGIN:VEVENT\r\nSUMMARY:s\r\n"
      "DTSTART;TZID=Eastern:20250707T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  EXPECT_EQ(custom->Property("VC_TZID"), "<-0500>5<-0400>4,M3.2.0/2,M11.1.0/2");
  EXPECT_EQ(custom->Property("VC_DTSTART"), "20250707T140000Z");
}

TEST(CalendarRecordBuilder, AnAllDaySeriesKeepsDatesForItsExclusionsAndOriginalStarts) {
  ScopedTimeZone machine(kZoneSydney);
  const std::vector<CDataItem::Ptr> records = CalendarRecordBuilder::BuildAll(
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:d\r\nSUMMARY:Daily\r\nDTSTART;VALUE=DATE:20250101\r\n"
      "DTEND;VALUE=DATE:20250102\r\nRRULE:FREQ=DAILY;UNTIL=20250110\r\nEXDATE;VALUE=DATE:20250103\r\nEXDATE:20250104T120000Z\r\n"
      "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:d\r\nRECURRENCE-ID;VALUE=DATE:20250105\r\nSUMMARY:Other\r\n"
      "DTSTART;VALUE=DATE:20250106\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]->Property("EXDATE"), "20250103,20250104") << "12:00 UTC is the 4th in Sydney too";
  EXPECT_EQ(records[0]->Property("VC_RRULE"), "FREQ=DAILY;INTERVAL=1;UNTIL=20250110");
  EXPECT_EQ(records[1]->Property("VC_RECURRENCE_ID"), "20250105");
  EXPECT_EQ(ChangedOccurrenceKey("d.ics", *records[1]), "d.ics/20250105");
  const std::string written = records[0]->ToVCalendar();
  EXPECT_NE(written.find("\r\nEXDATE;VALUE=DATE:20250103,20250104\r\n"), std::string::npos) << written;
  EXPECT_NE(records[1]->ToVCalendar().find("\r\nRECURRENCE-ID;VALUE=DATE:20250105\r\n"), std::string::npos);
}

TEST(CalendarRecordBuilder, ChangedOccurrencesOfOtherSeriesAreLeftOutAndAloneTheyAreKept) {
  const std::string other = "BEGIN:VEVENT\r\nUID:other\r\nRECURRENCE-ID:20250108T080000Z\r\nSUMMARY:x\r\nEND:VEVENT\r\n";
  const std::string own = "BEGIN:VEVENT\r\nRECURRENCE-ID:20250109T080000Z\r\nSUMMARY:y\r\nEND:VEVENT\r\n";
  const std::string series = "BEGIN:VEVENT\r\nUID:s\r\nSUMMARY:z\r\nDTSTART:20250106T080000Z\r\nRRULE:FREQ=DAILY\r\nEND:VEVENT\r\n";
  EXPECT_EQ(CalendarRecordBuilder::BuildAll("BEGIN:VCALENDAR\r\n" + other + series + own + "END:VCALENDAR\r\n").size(), 2u)
      << "the series first, then its own occurrence (one without a UID is the series')";
  const std::vector<CDataItem::Ptr> alone = CalendarRecordBuilder::BuildAll("BEGIN:VCALENDAR\r\n" + other + "END:VCALENDAR\r\n");
  ASSERT_EQ(alone.size(), 1u);
  EXPECT_TRUE(IsChangedOccurrence(*alone[0]));
  EXPECT_EQ(SeriesKeyOf("a.ics/20250108"), "a.ics");
  EXPECT_EQ(SeriesKeyOf("a.ics"), "a.ics");
  EXPECT_EQ(ChangedOccurrenceKey("a.ics", *CDataItem::Create(ITEM_EVENT)), "");
}

TEST(CalendarRecordBuilder, ChangedOccurrenceKeysAreLocalDates) {
  ScopedTimeZone machine(kZoneSydney);
  CDataItem occurrence(ITEM_EVENT);
  occurrence["VC_RECURRENCE_ID"] = "20250110T200000Z";
  EXPECT_EQ(ChangedOccurrenceKey("a", occurrence), "a/20250111") << "20:00 UTC is the next morning in Sydney";
}

TEST(CalendarRecordBuilder, AlarmsOfEveryKindBecomeTheLeadTime) {
  ScopedTimeZone machine(kZoneUtc);
  const std::string times = "DTSTART:20250301T100000Z\r\nDTEND:20250301T120000Z\r\n";
  const auto lead = [&times](const std::string& alarm) { return Build(Event(times + alarm))->Property("VC_TRIGGER"); };
  EXPECT_EQ(lead("BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"), "-PT15M");
  EXPECT_EQ(lead("BEGIN:VALARM\r\nTRIGGER;VALUE=DATE-TIME:20250301T090000Z\r\nEND:VALARM\r\n"), "-PT1H");
  EXPECT_EQ(lead("BEGIN:VALARM\r\nTRIGGER;RELATED=END:-PT150M\r\nEND:VALARM\r\n"), "-PT30M");
  EXPECT_EQ(lead("BEGIN:VALARM\r\nTRIGGER;RELATED=END:-PT15M\r\nEND:VALARM\r\n"), "-PT0M") << "after the start: at the start";
  EXPECT_EQ(lead("AALARM:20250301T094500Z;;;\r\n"), "-PT15M");
  EXPECT_EQ(lead("DALARM;TYPE=X:20250228T100000Z;PT5M;2;Wake up\r\n"), "-P1D");
  EXPECT_EQ(lead("AALARM:;;;\r\n"), "");
  EXPECT_EQ(lead(""), "");
}

TEST(CalendarRecordBuilder, AddressesInEitherGrammarAndAnyLetterCase) {
  const CDataItem::Ptr record = Build(Event(
      "ORGANIZER;CN=Ann:mailto:ann@example.org\r\nATTENDEE;CN=\"Lee, Bo\";PARTSTAT=ACCEPTED:Mailto:bo@example.org\r\n"
      "ATTENDEE;PARTSTAT=DELEGATED;DELEGATED-TO=\"mailto:a@x\",\"mailto:b@x\":MAILTO:cy@example.org\r\n"));
  EXPECT_EQ(record->Property("VC_ORGANIZER"), "ann@example.org");
  EXPECT_EQ(record->Property("VC_ATTENDEE_EMAIL_1"), "bo@example.org");
  EXPECT_EQ(record->Property("VC_ATTENDEE_NAME_1"), "Lee, Bo");
  EXPECT_EQ(record->Property("VC_ATTENDEE_EMAIL_2"), "cy@example.org");
  EXPECT_EQ(record->Property("VC_ATTENDEE_STATUS_2"), "NEEDS-ACTION");
  EXPECT_EQ(record->Property("VC_ORGANIZER_NAME"), "Ann");
  const std::string written = record->ToVCalendar();
  EXPECT_EQ(written.find("Mailto:"), std::string::npos);
  EXPECT_NE(written.find("\r\nORGANIZER;CN=Ann:mailto:ann@example.org\r\n"), std::string::npos);

  const CDataItem::Ptr old = Build(
      "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:s\r\nCATEGORIES:MEETING;BUSINESS\r\n"
      "ATTENDEE;ROLE=ORGANIZER;STATUS=CONFIRMED:Jo Weber <jo@example.de>\r\n"
      "ATTENDEE;ROLE=ATTENDEE;STATUS=TENTATIVE:Sam <MAILTO:sam@example.de>\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  EXPECT_EQ(old->Property("VC_ORGANIZER"), "jo@example.de");
  EXPECT_EQ(old->Property("VC_ORGANIZER_NAME"), "Jo Weber");
  EXPECT_EQ(old->Property("VC_ATTENDEE_COUNT"), "1");
  EXPECT_EQ(old->Property("VC_ATTENDEE_NAME_1"), "Sam");
  EXPECT_EQ(old->Property("VC_ATTENDEE_EMAIL_1"), "sam@example.de");
  EXPECT_EQ(old->Property("VC_ATTENDEE_STATUS_1"), "TENTATIVE");
  EXPECT_EQ(old->Property("VC_CATEGORIES"), "MEETING,BUSINESS");

  // A record that came with the scheme in its address is not written with it twice.
  CDataItem stored(ITEM_EVENT);
  stored["VC_ORGANIZER"] = "mailto:x@example.org";
  EXPECT_NE(stored.ToVCalendar().find("\r\nORGANIZER:mailto:x@example.org\r\n"), std::string::npos);
}

TEST(CalendarRecordBuilder, AttendeesKeepTheirRoleAndRsvpInEitherGrammar) {
  const CDataItem::Ptr record = Build(Event(
      "ATTENDEE;CN=Opt;ROLE=OPT-PARTICIPANT;RSVP=TRUE:mailto:o@example.org\r\n"
      "ATTENDEE;ROLE=REQ-PARTICIPANT;RSVP=FALSE:mailto:r@example.org\r\nATTENDEE;ROLE=CHAIR:mailto:c@example.org\r\n"));
  EXPECT_EQ(record->Property("VC_ATTENDEE_ROLE_1"), "OPT-PARTICIPANT");
  EXPECT_EQ(record->Property("VC_ATTENDEE_RSVP_1"), "TRUE");
  EXPECT_EQ(record->properties.count("VC_ATTENDEE_ROLE_2"), 0u) << "required is the default";
  EXPECT_EQ(record->properties.count("VC_ATTENDEE_RSVP_2"), 0u);
  EXPECT_EQ(record->Property("VC_ATTENDEE_ROLE_3"), "CHAIR");
  EXPECT_NE(record->ToVCalendar().find("\r\nATTENDEE;CN=\"Opt\";ROLE=OPT-PARTICIPANT;RSVP=TRUE:mailto:o@example.org\r\n"),
            std::string::npos);
  const CDataItem::Ptr old = Build(
      "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY:s\r\n"
      "ATTENDEE;ROLE=ATTENDEE;STATUS=ACCEPTED;RSVP=YES;EXPECT=REQUEST:Sam <sam@example.de>\r\n"
      "ATTENDEE;EXPECT=FYI:kim@example.de\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  EXPECT_EQ(old->Property("VC_ATTENDEE_ROLE_1"), "OPT-PARTICIPANT");
  EXPECT_EQ(old->Property("VC_ATTENDEE_RSVP_1"), "TRUE");
  EXPECT_EQ(old->Property("VC_ATTENDEE_ROLE_2"), "NON-PARTICIPANT");
}

TEST(CalendarRecordBuilder, ValuesTheLocalApplicationCannotTellApartReadAlike) {
  const auto priority = [](const std::string& version, const std::string& value) {
    return CalendarRecordBuilder::Build("BEGIN:VCALENDAR\r\nVERSION:" + version + "\r\nBEGIN:VEVENT\r\nPRIORITY:" + value +
                                        "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        ->Property("VC_PRIORITY");
  };
  for (const auto& [value, expected] : std::vector<std::pair<std::string, std::string>>{
           {"1", "1"}, {"4", "1"}, {"5", ""}, {"0", ""}, {"6", "3"}, {"9", "3"}, {"x", ""}}) {
    EXPECT_EQ(priority("2.0", value), expected) << value;
  }
  for (const auto& [value, expected] :
       std::vector<std::pair<std::string, std::string>>{{"1", "1"}, {"2", ""}, {"3", "3"}, {"0", ""}}) {
    EXPECT_EQ(priority("1.0", value), expected) << value;
  }
  EXPECT_EQ(Build(Event("CLASS:PUBLIC\r\n"))->properties.count("VC_CLASS"), 0u);
  EXPECT_EQ(Build(Event("CLASS:CONFIDENTIAL\r\n"))->Property("VC_CLASS"), "CONFIDENTIAL");
  EXPECT_EQ(Build(Event("CLASS:PRIVATE\r\n"))->Property("VC_CLASS"), "PRIVATE");
  EXPECT_EQ(Build(Event("STATUS:CANCELLED\r\n"))->Property("VC_STATUS"), "CANCELLED");
  // Nothing is made up for what the text does not say.
  const CDataItem::Ptr bare = Build(Event(""));
  for (const char* key : {"VC_CATEGORIES", "VC_CLASS", "VC_PRIORITY", "VC_LOCATION", "VC_DESCRIPTION", "VC_TZID"}) {
    EXPECT_EQ(bare->properties.count(key), 0u) << key;
  }
}

TEST(CalendarRecordBuilder, TaskTimesStayTimesAndTheCompletionClassAndCategoriesAreKept) {
  ScopedTimeZone machine(kZoneUtc);
  const CDataItem::Ptr task = CalendarRecordBuilder::Build(
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VTODO\r\nSUMMARY:t\r\nDTSTART;TZID=Europe/Berlin:20250303T090000\r\n"
      "DUE;TZID=Europe/Berlin:20250331T175900\r\nCOMPLETED:20250330T101500Z\r\nSTATUS:COMPLETED\r\nCLASS:PRIVATE\r\n"
      "CATEGORIES:Home,Errands\r\nPRIORITY:5\r\nPERCENT-COMPLETE:100\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
  EXPECT_EQ(task->Property("VC_DTSTART"), "20250303T080000Z");
  EXPECT_EQ(task->Property("VC_DUE"), "20250331T155900Z");
  EXPECT_EQ(task->Property("VC_TZID"), "Europe/Berlin");
  EXPECT_EQ(task->Property("VC_COMPLETED"), "20250330T101500Z");
  EXPECT_EQ(task->Property("VC_CLASS"), "PRIVATE");
  EXPECT_EQ(task->Property("VC_CATEGORIES"), "Home,Errands");
  EXPECT_EQ(task->properties.count("VC_PRIORITY"), 0u);
  const std::string written = task->ToVCalendar();
  for (const char* line : {"\r\nDUE;TZID=Europe/Berlin:20250331T175900\r\n", "\r\nCOMPLETED:20250330T101500Z\r\n",
                           "\r\nCATEGORIES:Home,Errands\r\n", "\r\nCLASS:PRIVATE\r\n", "\r\nPERCENT-COMPLETE:100\r\n"}) {
    EXPECT_NE(written.find(line), std::string::npos) << line << written;
  }
  EXPECT_EQ(written.find("PRIORITY"), std::string::npos);
  // A date stays a date.
  EXPECT_EQ(CalendarRecordBuilder::Build("BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nDUE;VALUE=DATE:20250331\r\nEND:VTODO\r\n"
                                         "END:VCALENDAR\r\n")->Property("VC_DUE"),
            "20250331");
}

TEST(CalendarRecordBuilder, TaskStatusesOfBothGrammarsAndOthersIgnored) {
  const auto status = [](const std::string& value) {
    return CalendarRecordBuilder::Build("BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nSTATUS:" + value + "\r\nEND:VTODO\r\nEND:VCALENDAR\r\n")
        ->Property("VC_STATUS");
  };
  EXPECT_EQ(status("NEEDS ACTION"), "") << "needing action is having no status";
  EXPECT_EQ(status("NEEDS-ACTION"), "");
  EXPECT_EQ(status("IN-PROCESS"), "IN-PROCESS");
  EXPECT_EQ(status("COMPLETED"), "COMPLETED");
  EXPECT_EQ(status("CANCELLED"), "");
}
