// The vCalendar text of event and task records, byte for byte, and its reading back.
#include <gtest/gtest.h>

#include "pim/CDataItem.h"
#include "pim/VCalItemReader.h"

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

}  // namespace

TEST(ToVCalendar, AllDayEvent) {
  const CDataItem event = Record(ITEM_EVENT, {{"PR_ENTRYID", "00000000AB12CD34"},
                                              {"PR_LAST_MODIFICATION_TIME", "45650.50000000000000000000"},
                                              {"PR_MESSAGE_CLASS", "IPM.Appointment"},
                                              {"VC_SUMMARY", "Christmas Day"},
                                              {"VC_DESCRIPTION", "Family=20lunch"},
                                              {"VC_CLASS", "PRIVATE"},
                                              {"VC_PRIORITY", "2"},
                                              {"VC_DTSTART", "20241225"},
                                              {"VC_DTEND", "20241226"},
                                              {"VC_CATEGORIES", "Holiday"},
                                              {"VC_LOCATION", ""}});
  EXPECT_EQ(event.ToVCalendar(), Lines({"BEGIN:VCALENDAR", "VERSION:2.0", "BEGIN:VEVENT", "UID:00000000AB12CD34",
                                        "SUMMARY:Christmas Day",
                                        "DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Family=20lunch",
                                        "CLASS:PRIVATE", "PRIORITY:2", "PERCENT-COMPLETE:", "DTSTART;VALUE=DATE:20241225",
                                        "DTEND;VALUE=DATE:20241226", "CATEGORIES:Holiday", "LOCATION:", "END:VEVENT",
                                        "END:VCALENDAR"}));
  EXPECT_EQ(event.ToText(), event.ToVCalendar());
}

TEST(ToVCalendar, TimedEventWithAttendeesAlarmAndWeeklyRuleWithExceptions) {
  const CDataItem event = Record(
      ITEM_EVENT,
      {{"PR_ENTRYID", "00000000EF567890"},
       {"VC_SUMMARY", "Project review, phase 2"},
       {"VC_DESCRIPTION", "Agenda:=0D=0A1.=20Demo=0D=0A2.=20Q&A"},
       {"VC_CLASS", "PUBLIC"},
       {"VC_PRIORITY", "1"},
       {"VC_DTSTART", "20240610T073000Z"},
       {"VC_DTEND", "20240610T090000Z"},
       {"VC_TRIGGER", "-PT15M"},
       {"VC_CATEGORIES", "Business"},
       {"VC_LOCATION", "Room 4.12"},
       {"VC_ORGANIZER", "anna@example.org"},
       {"VC_ATTENDEE_COUNT", "3"},
       {"VC_ATTENDEE_NAME_1", "Smith, Bob"},
       {"VC_ATTENDEE_EMAIL_1", "bob@example.org"},
       {"VC_ATTENDEE_STATUS_1", "ACCEPTED"},
       {"VC_ATTENDEE_EMAIL_2", "li@example.net"},
       {"VC_ATTENDEE_STATUS_2", "NEEDS-ACTION"},
       {"VC_ATTENDEE_NAME_3", "No Address"},
       {"VC_RRULE", "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20240729T093000Z"},
       {"EXDATE", "20240617T093000Z,20240624T093000Z"}});
  EXPECT_EQ(event.ToVCalendar(),
            Lines({"BEGIN:VCALENDAR", "VERSION:2.0", "BEGIN:VEVENT", "UID:00000000EF567890",
                   "SUMMARY:Project review, phase 2",
                   "DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Agenda:=0D=0A1.=20Demo=0D=0A2.=20Q&A",
                   "CLASS:PUBLIC", "PRIORITY:1", "PERCENT-COMPLETE:", "DTSTART:20240610T073000Z",
                   "DTEND:20240610T090000Z", "CATEGORIES:Business", "BEGIN:VALARM", "ACTION:EMAIL", "TRIGGER:-PT15M",
                   "END:VALARM", "LOCATION:Room 4.12", "ORGANIZER:MAILTO:anna@example.org",
                   "ATTENDEE;CN=\"Smith, Bob\";PARTSTAT=ACCEPTED:MAILTO:bob@example.org",
                   "ATTENDEE;PARTSTAT=NEEDS-ACTION:MAILTO:li@example.net",
                   "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;UNTIL=20240729T093000Z",
                   "EXDATE:20240617T093000Z,20240624T093000Z", "END:VEVENT", "END:VCALENDAR"}));
}

TEST(ToVCalendar, Task) {
  const CDataItem task = Record(ITEM_TASK, {{"PR_ENTRYID", "00000000TASK0001"},
                                            {"PR_LAST_MODIFICATION_TIME", "45446.25000000000000000000"},
                                            {"VC_SUMMARY", "Submit the travel expenses"},
                                            {"VC_DESCRIPTION", "Receipts=20in=20the=20blue=20folder"},
                                            {"VC_PRIORITY", "3"},
                                            {"VC_STATUS", "IN-PROCESS"},
                                            {"VC_DTSTART", "20240603"},
                                            {"VC_DUE", "20240614"},
                                            {"PERCENT-COMPLETE", "40"}});
  EXPECT_EQ(task.ToVCalendar(),
            Lines({"BEGIN:VCALENDAR", "VERSION:2.0", "BEGIN:VTODO", "UID:00000000TASK0001",
                   "SUMMARY:Submit the travel expenses",
                   "DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Receipts=20in=20the=20blue=20folder", "CLASS:",
                   "PRIORITY:3", "STATUS:IN-PROCESS", "PERCENT-COMPLETE:40", "DTSTART;VALUE=DATE:20240603",
                   "DUE;VALUE=DATE:20240614", "LOCATION:", "END:VTODO", "END:VCALENDAR"}));
}

TEST(ToVCalendar, RecordWithOnlyAnIdentifierAndAChangedOccurrence) {
  EXPECT_EQ(Record(ITEM_EVENT, {{"PR_ENTRYID", "X1"}}).ToVCalendar(),
            Lines({"BEGIN:VCALENDAR", "VERSION:2.0", "BEGIN:VEVENT", "UID:X1", "SUMMARY:",
                   "DESCRIPTION;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:", "CLASS:", "PRIORITY:", "PERCENT-COMPLETE:",
                   "LOCATION:", "END:VEVENT", "END:VCALENDAR"}));
  const std::string occurrence =
      Record(ITEM_EVENT, {{"PR_ENTRYID", "X2"}, {"VC_RECURRENCE_ID", "20240617"}, {"VC_ATTENDEE_COUNT", "junk"}})
          .ToVCalendar();
  EXPECT_NE(occurrence.find("\r\nLOCATION:\r\nRECURRENCE-ID;VALUE=DATE:20240617\r\nEND:VEVENT\r\n"), std::string::npos);
  EXPECT_EQ(occurrence.find("ATTENDEE"), std::string::npos);
}

TEST(ToVCalendar, LineBreaksAndBackslashesNeverBreakALine) {
  const CDataItem event = Record(ITEM_EVENT, {{"PR_ENTRYID", "X3"},
                                              {"VC_SUMMARY", "Line one\r\nLine two"},
                                              {"VC_LOCATION", "C:\\new\nfolder"},
                                              {"VC_ATTENDEE_COUNT", "1"},
                                              {"VC_ATTENDEE_NAME_1", "Bob \"The Builder\"\nSmith"},
                                              {"VC_ATTENDEE_EMAIL_1", "bob@example.org"}});
  const std::string text = event.ToVCalendar();
  EXPECT_NE(text.find("\r\nSUMMARY:Line one\\nLine two\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nLOCATION:C:\\\\new\\nfolder\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nATTENDEE;CN=\"Bob 'The Builder' Smith\":MAILTO:bob@example.org\r\n"), std::string::npos);
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

TEST(ToVCalendar, ReadsBackThroughTheComponentWalk) {
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
  EXPECT_EQ(read.Find("DESCRIPTION")->value, "Bring\r\na gift €");
  EXPECT_EQ(read.Find("LOCATION")->value, "Quay 3\nLevel 2 \\ rear");
  EXPECT_EQ(read.Find("ATTENDEE")->Param("CN"), "Kovacs, Anna");
  EXPECT_EQ(read.Find("ATTENDEE")->Param("PARTSTAT"), "TENTATIVE");
  ASSERT_EQ(read.alarms.size(), 1u);
  EXPECT_EQ(read.alarms[0].value, "-P1D");
}
