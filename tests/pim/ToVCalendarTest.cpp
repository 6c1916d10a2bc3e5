// The calendar text of event and task records, byte for byte, in iCalendar 2.0 and vCalendar 1.0,
// and its reading back.
#include <gtest/gtest.h>

#include "pim/CDataItem.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/VCalItemReader.h"
#include "tests/pim/VCalTestZone.h"

namespace {

std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (const std::string_view line : lines) {
    text.append(line);
    text += "\r\n";
  }
  return text;
}

CDataItem Record(int kind, std::initializer_list<std::pair<const std::string, std::string>> properties) {
  CDataItem item(kind);
  item.properties = properties;
  item.itemId = item.Property("PR_ENTRYID");
  return item;
}

const ItemTextOptions kVCalendar10{CalendarVersion::VCalendar10};

}  // namespace

TEST(ToVCalendar, AllDayEvent) {
  const CDataItem event = Record(ITEM_EVENT, {{"PR_ENTRYID", "00000000AB12CD34"},
                                              {"PR_LAST_MODIFICATION_TIME", "45650.50000000000000000000"},
                                              {"PR_MESSAGE_CLASS", "IPM.Appointment"},
                                              {"VC_SUMMARY", "Christmas Day"},
                                              {"VC_DESCRIPTION", "Family=20lunch"},
                                              {"VC_CLASS", "PRIVATE"},
                                              {"VC_DTSTART", "20241225"},
                                              {"VC_DTEND", "20241226"},
                                              {"VC_CATEGORIES", "Holiday"},
                                              {"VC_LOCATION", ""}});
  EXPECT_EQ(event.ToVCalendar(),
            Lines({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Tarnwell//QuenorSync//EN", "BEGIN:VEVENT",
                   "UID:00000000AB12CD34", "SUMMARY:Christmas Day", "DESCRIPTION:Family lunch", "CLASS:PRIVATE",
                   "DTSTART;VALUE=DATE:20241225", "DTEND;VALUE=DATE:20241226", "CATEGORIES:Holiday", "END:VEVENT",
                   "END:VCALENDAR"}));
  EXPECT_EQ(event.ToText(), event.ToVCalendar());
  EXPECT_EQ(event.ToVCalendar(kVCalendar10),
            Lines({"BEGIN:VCALENDAR", "VERSION:1.0", "PRODID:-//Tarnwell//QuenorSync//EN", "BEGIN:VEVENT",
                   "UID:00000000AB12CD34", "SUMMARY:Christmas Day", "DESCRIPTION:Family lunch", "CLASS:PRIVATE",
                   "DTSTART:20241225", "DTEND:20241226", "CATEGORIES:Holiday", "END:VEVENT", "END:VCALENDAR"}));
}

TEST(ToVCalendar, TimedEventWithAttendeesAlarmAndWeeklyRuleWithExceptions) {
  const CDataItem event = Record(
      ITEM_EVENT,
      {{"PR_ENTRYID", "00000000EF567890"},
       {"VC_SUMMARY", "Project review, phase 2"},
       {"VC_DESCRIPTION", "Agenda:=0D=0A1.=20Demo=0D=0A2.=20Q&A"},
       {"VC_PRIORITY", "1"},
       {"VC_DTSTART", "20240610T073000Z"},
       {"VC_DTEND", "20240610T090000Z"},
       {"VC_TRIGGER", "-PT15M"},
       {"VC_CATEGORIES", "Business"},
       {"VC_LOCATION", "Room 4.12"},
       {"VC_ORGANIZER", "anna@example.org"},
       {"VC_ORGANIZER_NAME", "Anna Kovacs"},
       {"VC_ATTENDEE_COUNT", "3"},
       {"VC_ATTENDEE_NAME_1", "Smith, Bob"},
       {"VC_ATTENDEE_EMAIL_1", "bob@example.org"},
       {"VC_ATTENDEE_STATUS_1", "ACCEPTED"},
       {"VC_ATTENDEE_RSVP_1", "TRUE"},
       {"VC_ATTENDEE_EMAIL_2", "li@example.net"},
       {"VC_ATTENDEE_STATUS_2", "NEEDS-ACTION"},
       {"VC_ATTENDEE_ROLE_2", "OPT-PARTICIPANT"},
       {"VC_ATTENDEE_NAME_3", "No Address"},
       {"VC_RRULE", "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20240729T093000Z"},
       {"EXDATE", "20240617T093000Z,20240624T093000Z"}});
  EXPECT_EQ(event.ToVCalendar(),
            Lines({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Tarnwell//QuenorSync//EN", "BEGIN:VEVENT",
                   "UID:00000000EF567890", "SUMMARY:Project review\\, phase 2", "DESCRIPTION:Agenda:\\n1. Demo\\n2. Q&A",
                   "PRIORITY:1", "DTSTART:20240610T073000Z", "DTEND:20240610T090000Z", "CATEGORIES:Business",
                   "LOCATION:Room 4.12", "ORGANIZER;CN=Anna Kovacs:mailto:anna@example.org",
                   "ATTENDEE;CN=\"Smith, Bob\";PARTSTAT=ACCEPTED;RSVP=TRUE:mailto:bob@example.org",
                   "ATTENDEE;ROLE=OPT-PARTICIPANT:mailto:li@example.net",
                   "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20240729T093000Z",
                   "EXDATE:20240617T093000Z,20240624T093000Z", "BEGIN:VALARM", "ACTION:DISPLAY",
                   "DESCRIPTION:Project review\\, phase 2", "TRIGGER:-PT15M", "END:VALARM", "END:VEVENT",
                   "END:VCALENDAR"}));
  EXPECT_EQ(event.ToVCalendar(kVCalendar10),
            Lines({"BEGIN:VCALENDAR", "VERSION:1.0", "PRODID:-//Tarnwell//QuenorSync//EN", "BEGIN:VEVENT",
                   "UID:00000000EF567890", "SUMMARY:Project review, phase 2",
                   "DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Agenda:=0D=0A1.=20Demo=0D=0A2.=20Q&A",
                   "PRIORITY:1", "DTSTART:20240610T073000Z", "DTEND:20240610T090000Z", "CATEGORIES:Business",
                   "LOCATION:Room 4.12", "ATTENDEE;ROLE=ORGANIZER:Anna Kovacs <anna@example.org>",
                   "ATTENDEE;ROLE=ATTENDEE;STATUS=ACCEPTED;RSVP=YES:Smith, Bob <bob@example.org>",
                   "ATTENDEE;ROLE=ATTENDEE;STATUS=NEEDS ACTION;EXPECT=REQUEST:li@example.net",
                   "RRULE:W1 MO 20240729T093000Z", "EXDATE:20240617T093000Z;20240624T093000Z",
                   "DALARM:20240610T071500Z;;;Project review, phase 2", "END:VEVENT", "END:VCALENDAR"}));
}

TEST(ToVCalendar, TaskWithItsScalesAndTimes) {
  const CDataItem task = Record(ITEM_TASK, {{"PR_ENTRYID", "00000000TASK0001"},
                                            {"PR_LAST_MODIFICATION_TIME", "45446.25000000000000000000"},
                                            {"VC_SUMMARY", "Submit the travel expenses"},
                                            {"VC_DESCRIPTION", "Receipts=20in=20the=20blue=20folder"},
                                            {"VC_PRIORITY", "3"},
                                            {"VC_STATUS", "NEEDS-ACTION"},
                                            {"VC_DTSTART", "20240603"},
                                            {"VC_DUE", "20240614T150000Z"},
                                            {"VC_COMPLETED", "20240613T080000Z"},
                                            {"PERCENT-COMPLETE", "40"}});
  EXPECT_EQ(task.ToVCalendar(),
            Lines({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Tarnwell//QuenorSync//EN", "BEGIN:VTODO",
                   "UID:00000000TASK0001", "SUMMARY:Submit the travel expenses",
                   "DESCRIPTION:Receipts in the blue folder", "PRIORITY:9", "STATUS:NEEDS-ACTION", "PERCENT-COMPLETE:40",
                   "DTSTART;VALUE=DATE:20240603", "DUE:20240614T150000Z", "COMPLETED:20240613T080000Z", "END:VTODO",
                   "END:VCALENDAR"}));
  const std::string old = task.ToVCalendar(kVCalendar10);
  EXPECT_NE(old.find("\r\nPRIORITY:3\r\n"), std::string::npos) << old;
  EXPECT_NE(old.find("\r\nSTATUS:NEEDS ACTION\r\n"), std::string::npos) << old;
}

TEST(ToVCalendar, NothingIsWrittenForWhatTheRecordDoesNotHold) {
  EXPECT_EQ(Record(ITEM_EVENT, {{"PR_ENTRYID", "X1"}, {"VC_SUMMARY", ""}, {"VC_LOCATION", ""}, {"VC_DESCRIPTION", ""},
                                {"VC_CATEGORIES", "Appointment"}, {"PERCENT-COMPLETE", "0"}})
                .ToVCalendar(),
            Lines({"BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Tarnwell//QuenorSync//EN", "BEGIN:VEVENT", "UID:X1",
                   "END:VEVENT", "END:VCALENDAR"}));
  const std::string occurrence =
      Record(ITEM_EVENT, {{"PR_ENTRYID", "X2"}, {"VC_RECURRENCE_ID", "20240617"}, {"VC_ATTENDEE_COUNT", "junk"}})
          .ToVCalendar();
  EXPECT_NE(occurrence.find("\r\nUID:X2\r\nRECURRENCE-ID;VALUE=DATE:20240617\r\nEND:VEVENT\r\n"), std::string::npos);
  EXPECT_EQ(occurrence.find("ATTENDEE"), std::string::npos);
  // Neither a CHARSET line nor quoted-printable inside iCalendar.
  const std::string text = Record(ITEM_EVENT, {{"PR_ENTRYID", "X3"}, {"VC_DESCRIPTION", "Gr=C3=BC=C3=9Fe"}}).ToVCalendar();
  EXPECT_EQ(text.find("CHARSET"), std::string::npos);
  EXPECT_EQ(text.find("QUOTED-PRINTABLE"), std::string::npos);
  EXPECT_NE(text.find("\r\nDESCRIPTION:Grüße\r\n"), std::string::npos);
}

TEST(ToVCalendar, AZonedSeriesIsWrittenInItsZoneWithItsDescription) {
  const CDataItem series = Record(ITEM_EVENT, {{"PR_ENTRYID", "S1"},
                                               {"VC_SUMMARY", "Weekly"},
                                               {"VC_TZID", "Europe/Berlin"},
                                               {"VC_DTSTART", "20250113T090000Z"},
                                               {"VC_DTEND", "20250113T100000Z"},
                                               {"VC_RRULE", "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20250630T080000Z"},
                                               {"EXDATE", "20250120T090000Z,20250707T080000Z"}});
  const std::string text = series.ToVCalendar();
  EXPECT_NE(text.find(Lines({"BEGIN:VTIMEZONE", "TZID:Europe/Berlin", "BEGIN:STANDARD", "DTSTART:19701025T030000",
                             "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU", "TZNAME:CET", "TZOFFSETFROM:+0200",
                             "TZOFFSETTO:+0100", "END:STANDARD", "BEGIN:DAYLIGHT", "DTSTART:19700329T020000",
                             "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU", "TZNAME:CEST", "TZOFFSETFROM:+0100",
                             "TZOFFSETTO:+0200", "END:DAYLIGHT", "END:VTIMEZONE"})),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\nDTSTART;TZID=Europe/Berlin:20250113T100000\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nEXDATE;TZID=Europe/Berlin:20250120T100000,20250707T100000\r\n"), std::string::npos) << text;

  // vCalendar 1.0: the zone's offsets for each year the series spans, and its wall clock.
  const std::string old = series.ToVCalendar(kVCalendar10);
  EXPECT_NE(old.find(Lines({"TZ:+01:00", "DAYLIGHT:TRUE;+02:00;20250330T010000Z;20251026T010000Z;CEST;CET"})),
            std::string::npos)
      << old;
  EXPECT_NE(old.find("\r\nDTSTART:20250113T100000\r\n"), std::string::npos) << old;
  EXPECT_NE(old.find("\r\nRRULE:W1 MO 20250630T100000\r\n"), std::string::npos) << old;
  EXPECT_NE(old.find("\r\nEXDATE:20250120T100000;20250707T100000\r\n"), std::string::npos) << old;

  // A zone without daylight time has one part.
  const std::string india =
      Record(ITEM_EVENT, {{"PR_ENTRYID", "S2"}, {"VC_TZID", "Asia/Kolkata"}, {"VC_DTSTART", "20250112T203000Z"}})
          .ToVCalendar();
  EXPECT_NE(india.find(Lines({"BEGIN:STANDARD", "DTSTART:19700101T000000", "TZNAME:IST", "TZOFFSETFROM:+0530",
                              "TZOFFSETTO:+0530", "END:STANDARD"})),
            std::string::npos)
      << india;
  EXPECT_NE(india.find("\r\nDTSTART;TZID=Asia/Kolkata:20250113T020000\r\n"), std::string::npos);
}

TEST(ToVCalendar, LineBreaksAndBackslashesNeverBreakALine) {
  const CDataItem event = Record(ITEM_EVENT, {{"PR_ENTRYID", "X3"},
                                              {"VC_SUMMARY", "Line one\r\nLine two"},
                                              {"VC_LOCATION", "C:\\new\nfolder"},
                                              {"VC_ATTENDEE_COUNT", "1"},
                                              {"VC_ATTENDEE_NAME_1", "Bob \"The Builder\"\nSmith"},
                                              {"VC_ATTENDEE_EMAIL_1", "bob@example.org"}});
  for (const ItemTextOptions& options : {ItemTextOptions{}, kVCalendar10}) {
    const std::string text = event.ToVCalendar(options);
    // Every CR is followed by LF and every LF preceded by CR: no bare line breaks inside values.
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r') {
        EXPECT_EQ(text[i + 1], '\n');
      }
      if (text[i] == '\n') {
        EXPECT_EQ(text[i - 1], '\r');
      }
    }
  }
  const std::string text = event.ToVCalendar();
  EXPECT_NE(text.find("\r\nSUMMARY:Line one\\nLine two\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nLOCATION:C:\\\\new\\nfolder\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nATTENDEE;CN=\"Bob 'The Builder' Smith\":mailto:bob@example.org\r\n"), std::string::npos);
}

TEST(ToVCalendar, ReadsBackThroughTheComponentWalkInBothVersions) {
  ScopedTimeZone machine(kZoneBerlin);
  const CDataItem event = Record(ITEM_EVENT, {{"PR_ENTRYID", "X4"},
                                              {"VC_SUMMARY", "Dinner, drinks; \"fun\""},
                                              {"VC_DESCRIPTION", "Bring=0D=0Aa=20gift=20=E2=82=AC"},
                                              {"VC_LOCATION", "Quay 3\nLevel 2 \\ rear"},
                                              {"VC_DTSTART", "20240701T180000Z"},
                                              {"VC_TRIGGER", "-P1D"},
                                              {"VC_ATTENDEE_COUNT", "1"},
                                              {"VC_ATTENDEE_NAME_1", "Kovacs, Anna"},
                                              {"VC_ATTENDEE_EMAIL_1", "anna@example.org"},
                                              {"VC_ATTENDEE_STATUS_1", "TENTATIVE"}});
  std::string text = event.ToVCalendar();
  VCalItemContent content;
  ASSERT_TRUE(ReadVCalItem(text, {}, content));
  ASSERT_EQ(content.components.size(), 1u);
  const VCalComponent& read = content.components[0];
  EXPECT_EQ(read.Find("SUMMARY")->value, "Dinner, drinks; \"fun\"");
  EXPECT_EQ(read.Find("DESCRIPTION")->value, "Bring\na gift €");
  EXPECT_EQ(read.Find("LOCATION")->value, "Quay 3\nLevel 2 \\ rear");
  EXPECT_EQ(read.Find("ATTENDEE")->Param("CN"), "Kovacs, Anna");
  EXPECT_EQ(read.Find("ATTENDEE")->Param("PARTSTAT"), "TENTATIVE");
  ASSERT_EQ(read.alarms.size(), 3u);
  EXPECT_EQ(read.alarms[2].value, "-P1D");
  // The record of either text is the record written.
  for (const ItemTextOptions& options : {ItemTextOptions{}, kVCalendar10}) {
    const CDataItem::Ptr again = CalendarRecordBuilder::Build(event.ToVCalendar(options));
    ASSERT_TRUE(again);
    for (const char* key : {"VC_SUMMARY", "VC_DESCRIPTION", "VC_LOCATION", "VC_DTSTART", "VC_TRIGGER",
                            "VC_ATTENDEE_NAME_1", "VC_ATTENDEE_EMAIL_1", "VC_ATTENDEE_STATUS_1"}) {
      EXPECT_EQ(again->Property(key), event.Property(key)) << key << " " << event.ToVCalendar(options);
    }
  }
}

// The Meta Type an item goes under: the program's own names, or the registered ones of the forms a
// store that keeps items whole writes (a calendar of a server that takes vCalendar 1.0 only keeps
// the old name).
TEST(ItemContentType, NamesTheFormTheItemIsWrittenIn) {
  const ItemTextOptions registered{CalendarVersion::ICalendar20, true};
  const ItemTextOptions registered10{CalendarVersion::VCalendar10, true};
  const struct {
    int kind;
    ItemTextOptions options;
    const char* type;
  } kRows[] = {
      {ITEM_CONTACT, {}, "text/x-vcard"},          {ITEM_EVENT, {}, "text/x-vcalendar"},
      {ITEM_TASK, kVCalendar10, "text/x-vcalendar"}, {ITEM_GROUP, registered, "text/zep-group"},
      {ITEM_CONTACT, registered, "text/vcard"},    {ITEM_EVENT, registered, "text/calendar"},
      {ITEM_TASK, registered, "text/calendar"},    {ITEM_EVENT, registered10, "text/x-vcalendar"},
  };
  for (const auto& row : kRows) EXPECT_EQ(CDataItem(row.kind).ContentTypeOf(row.options), row.type) << row.kind;
}
