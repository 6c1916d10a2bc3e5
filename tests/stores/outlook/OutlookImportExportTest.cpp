// "larkstore outlook import" and "export": an address book exported by another program (vCard
// 3.0, grouped names, photos, a group) and a calendar file (zones, a series with its changed
// occurrence as a separate component, tasks) go into the profile and come out again field by field.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "pim/VCardStream.h"
#include "platform/automation/OutlookDispatch.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "tests/support/ItemFields.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kCards = 500;

// Card `i` of the other program's export: every fourth with a photo, grouped e-mail names with
// their labels, a nickname-only card every fiftieth, text that needs escapes and UTF-8.
std::string ExportedCard(int i) {
  std::ostringstream card;
  const std::string n = std::to_string(i);
  card << "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Other Address Book//EN\r\nUID:urn:uuid:card-" << n << "\r\n";
  if (i % 50 == 0) {
    card << "NICKNAME:Nick" << n << "\r\n";
  } else {
    card << "N:Family" << n << ";Given" << n << ";Middle;Dr.;\r\nFN:Given" << n << " Family" << n << "\r\n";
  }
  card << "ORG:Company " << n << ";Dept\\; " << n << "\r\nTITLE:Engineer \xC3\xA9" << n << "\r\n";
  card << "item1.EMAIL;type=INTERNET;type=pref:first" << n << "@example.org\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n";
  if (i % 3 == 0) card << "item2.EMAIL;type=INTERNET;type=WORK:second" << n << "@example.com\r\n";
  card << "TEL;type=CELL:+1 555 " << n << "\r\nTEL;type=WORK;type=VOICE:+1 666 " << n << "\r\n";
  if (i % 2 == 0) card << "TEL;type=HOME;type=VOICE:+1 777 " << n << "\r\n";
  card << "item3.ADR;type=WORK:;Suite " << n << ";" << n << " Main Street;Springfield;IL;62701;USA\r\nitem3.X-ABADR:us\r\n";
  card << "ADR;type=HOME:;;" << n << " Elm Road;Shelbyville;IL;62565;USA\r\n";
  card << "URL;type=WORK:https://example.org/" << n << "\r\n";
  card << "NOTE:Line one\\nline two, with a comma\r\n";
  card << "BDAY:1970-01-0" << (i % 9 + 1) << "\r\n";
  if (i % 4 == 0) {
    card << "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgKDBQNDAsLDBkSEw8U\r\n"
            " HRofHh0aHBwgJC4nICIsIxwcKDcpLDAxNDQ0Hyc5PTgyPC4zNDL/wAALCAABAAEBAREA/8QAFAAB\r\n";
  }
  card << "END:VCARD\r\n";
  return card.str();
}

std::string GroupCard() {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:urn:uuid:group-1\r\nX-ADDRESSBOOKSERVER-KIND:group\r\nFN:Friends\r\nN:Friends;;;;\r\n"
         "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:card-1\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:card-2\r\n"
         "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:card-404\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:card-999\r\nEND:VCARD\r\n";
}

// The fields Outlook holds of a card, as the shared contact rules read them, by display name.
std::map<std::string, std::map<std::string, std::string>> Fields(const std::string& text) {
  static const char* const kKeys[] = {
      "PR_DISPLAY_NAME", "PR_SURNAME", "PR_GIVEN_NAME", "PR_MIDDLE_NAME", "PR_DISPLAY_NAME_PREFIX", "PR_COMPANY_NAME",
      "PR_DEPARTMENT_NAME", "PR_TITLE", "PR_CONTACT_EMAIL_ADDRESSES", "PR_MOBILE_TELEPHONE_NUMBER",
      "PR_BUSINESS_TELEPHONE_NUMBER", "PR_HOME_TELEPHONE_NUMBER", "PR_OFFICE_LOCATION", "PR_STREET_ADDRESS",
      "PR_LOCALITY", "PR_STATE_OR_PROVINCE", "PR_POSTAL_CODE", "PR_COUNTRY", "PR_HOME_ADDRESS_STREET",
      "PR_HOME_ADDRESS_CITY", "PR_BUSINESS_HOME_PAGE", "PR_COMMENT"};
  std::map<std::string, std::map<std::string, std::string>> cards;
  VCardContext context;
  VCardInputStream stream;
  EXPECT_EQ(stream.Open(text, text.size() + 1), VCARD_OK);
  for (;;) {
    PVCardPtr card;
    ParseVCard(&context, card, stream);
    if (!card) break;
    CDataItem record;
    ContactRecordBuilder(record).Build(*card);
    std::map<std::string, std::string> fields;
    for (const char* key : kKeys) {
      if (!record.Property(key).empty()) fields[key] = record.Property(key);
    }
    cards[record.Property("PR_DISPLAY_NAME")] = fields;
  }
  return cards;
}

class OutlookImportExportTest : public ::testing::Test {
 protected:
  // `shell` goes before the command (a limit of the shell's).
  int Tool(const std::string& arguments, const std::string& output, const std::string& shell = "") const {
    const std::string command = shell + "LARK_OUTLOOKMODEL_PROFILE='" + mProfile + "' XDG_DATA_HOME='" + mDir.Path() + "data' '" LARK_TOOL
                                "' outlook " + arguments + " >'" + output + "' 2>'" + mDir.Path() + "errors'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempDir mDir;
  std::string mProfile = mDir.Path() + "profile.db";
};

TEST_F(OutlookImportExportTest, AnAddressBookOfAnotherProgramGoesInAndComesOutFieldByField) {
  std::string file;
  for (int i = 1; i <= kCards; ++i) file += ExportedCard(i);
  file += GroupCard();
  WriteFileBytes(mDir.Path() + "book.vcf", file);

  ASSERT_EQ(Tool("import contacts '" + mDir.Path() + "book.vcf'", mDir.Path() + "import.out"), 0)
      << ReadFileBytes(mDir.Path() + "errors");
  EXPECT_EQ(ReadFileBytes(mDir.Path() + "import.out"), "501 imported, 0 skipped\n");
  EXPECT_NE(ReadFileBytes(mDir.Path() + "errors").find("group member card-999 is no card of"), std::string::npos)
      << ReadFileBytes(mDir.Path() + "errors");
  ASSERT_EQ(Tool("export contacts '" + mDir.Path() + "out.vcf'", mDir.Path() + "export.out"), 0)
      << ReadFileBytes(mDir.Path() + "errors");

  const auto before = Fields(file.substr(0, file.size() - GroupCard().size()));
  const auto after = Fields(ReadFileBytes(mDir.Path() + "out.vcf"));
  ASSERT_EQ(before.size(), size_t{kCards});
  ASSERT_EQ(after.size(), size_t{kCards}) << "the list is not exported, every contact is";
  for (const auto& [name, fields] : before) {
    const auto found = after.find(name);
    ASSERT_NE(found, after.end()) << name;
    EXPECT_EQ(found->second, fields) << name;
  }
  EXPECT_EQ(after.at("Given7 Family7").at("PR_TITLE"), "Engineer \xC3\xA9" "7");
  EXPECT_EQ(after.at("Nick50").at("PR_COMPANY_NAME"), "Company 50") << "a nickname-only card is named by its nickname";

  // Exported again over that file on a full disk (files limited to half its size): it stays whole.
  const std::string exported = ReadFileBytes(mDir.Path() + "out.vcf");
  const std::string fullDisk = "ulimit -f " + std::to_string(exported.size() / 2 / 512) + "; trap '' XFSZ; ";
  EXPECT_EQ(Tool("export contacts '" + mDir.Path() + "out.vcf'", mDir.Path() + "export.out", fullDisk), 1);
  EXPECT_EQ(ReadFileBytes(mDir.Path() + "out.vcf"), exported);

  // The group became a distribution list of the contacts its members name (the unknown one left out).
  outlook::NameSpace session = outlook::Application(outlookmodel::CreateOutlookApplication(mProfile)).GetNamespace("MAPI");
  const outlook::Items items = session.GetDefaultFolder(olFolderContacts).GetItems();
  std::vector<std::string> members;
  for (int32_t i = 1; i <= items.GetCount(); ++i) {
    const outlook::DistListItem item(items.Item(i));
    if (item.GetMessageClass() != "IPM.DistList") continue;
    EXPECT_EQ(item.GetDLName(), "Friends");
    for (int32_t m = 1; m <= item.GetMemberCount(); ++m) members.push_back(item.GetMember(m).GetName());
  }
  EXPECT_EQ(members, (std::vector<std::string>{"Given1 Family1", "Given2 Family2", "Given404 Family404"}));
}

TEST_F(OutlookImportExportTest, ACardOutlookRefusesIsReportedAndTheOthersAreStillImported) {
  WriteFileBytes(mDir.Path() + "book.vcf", ExportedCard(1) + "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Huge\r\nNOTE:" +
                                               std::string(5u << 20, 'x') + "\r\nEND:VCARD\r\n" + ExportedCard(2));
  EXPECT_EQ(Tool("import contacts '" + mDir.Path() + "book.vcf'", mDir.Path() + "import.out"), 1);
  EXPECT_EQ(ReadFileBytes(mDir.Path() + "import.out"), "2 imported, 1 skipped\n");
  EXPECT_NE(ReadFileBytes(mDir.Path() + "errors").find("card 2: "), std::string::npos) << ReadFileBytes(mDir.Path() + "errors");
  EXPECT_EQ(Tool("import contacts '" + mDir.Path() + "missing.vcf'", mDir.Path() + "none.out"), 1);
}

// A calendar as another program exports it: one file, a zone, a series whose changed occurrence
// is a component of its own after an unrelated event.
constexpr const char* kCalendarFile =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other Calendar//EN\r\n"
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nTZOFFSETFROM:+0100\r\n"
    "TZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\nUID:series-1\r\nSUMMARY:Team\r\nDTSTART;TZID=Europe/Berlin:20270104T093000\r\n"
    "DTEND;TZID=Europe/Berlin:20270104T100000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO;COUNT=6\r\n"
    "EXDATE;TZID=Europe/Berlin:20270111T093000\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT10M\r\nEND:VALARM\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:single-1\r\nSUMMARY:Lunch\r\nLOCATION:Canteen\r\nDTSTART:20270105T113000Z\r\n"
    "DTEND:20270105T123000Z\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:series-1\r\nRECURRENCE-ID;TZID=Europe/Berlin:20270118T093000\r\nSUMMARY:Team, later\r\n"
    "DTSTART;TZID=Europe/Berlin:20270118T110000\r\nDTEND;TZID=Europe/Berlin:20270118T113000\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

// The fields of the events of a calendar text as a calendar store keeps them, the UIDs left out.
std::vector<ItemField> KeptFields(const std::string& text) {
  std::vector<ItemField> fields = ReadItemFields(ToVCalendar(CalendarRecordBuilder::BuildAll(text)));
  std::erase_if(fields, [](const ItemField& field) { return field.name == "UID"; });
  return fields;
}

// The events of one exported calendar, each (a series with its changed occurrences, which share
// its UID) as a calendar of its own, by the summary of its first component.
std::map<std::string, std::string> EventsBySummary(const std::string& text) {
  std::map<std::string, std::string> byUid;
  std::vector<std::string> order;
  for (size_t at = text.find("BEGIN:VEVENT"); at != std::string::npos; at = text.find("BEGIN:VEVENT", at + 1)) {
    const size_t end = text.find("END:VEVENT\r\n", at) + 12;
    const std::string component = text.substr(at, end - at);
    const size_t uid = component.find("UID:") + 4;
    const std::string id = component.substr(uid, component.find("\r\n", uid) - uid);
    if (byUid.count(id) == 0) order.push_back(id);
    byUid[id] += component;
  }
  std::map<std::string, std::string> events;
  for (const std::string& id : order) {
    const std::string calendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + byUid[id] + "END:VCALENDAR\r\n";
    events[CalendarRecordBuilder::Build(calendar)->Property("VC_SUMMARY")] = calendar;
  }
  return events;
}

TEST_F(OutlookImportExportTest, ACalendarFileGoesInItemByItemAndComesOutSayingTheSame) {
  WriteFileBytes(mDir.Path() + "cal.ics", kCalendarFile);
  ASSERT_EQ(Tool("import calendar '" + mDir.Path() + "cal.ics'", mDir.Path() + "import.out"), 0)
      << ReadFileBytes(mDir.Path() + "errors");
  EXPECT_EQ(ReadFileBytes(mDir.Path() + "import.out"), "2 imported, 0 skipped\n");
  ASSERT_EQ(Tool("export calendar '" + mDir.Path() + "out.ics'", mDir.Path() + "export.out"), 0)
      << ReadFileBytes(mDir.Path() + "errors");
  const std::string exported = ReadFileBytes(mDir.Path() + "out.ics");
  // The file's series and its changed occurrence, then the single event, each as the file says.
  const std::string text(kCalendarFile);
  const size_t lunch = text.find("BEGIN:VEVENT\r\nUID:single-1");
  const size_t later = text.find("BEGIN:VEVENT\r\nUID:series-1\r\nRECURRENCE-ID");
  const std::string series = text.substr(0, lunch) + text.substr(later);
  const std::string single = text.substr(0, text.find("BEGIN:VEVENT")) + text.substr(lunch, later - lunch) + "END:VCALENDAR\r\n";
  const std::map<std::string, std::string> items = EventsBySummary(exported);
  ASSERT_EQ(items.size(), 2u) << exported;
  for (const std::string& original : {series, single}) {
    const std::string summary = CalendarRecordBuilder::Build(original)->Property("VC_SUMMARY");
    ASSERT_EQ(items.count(summary), 1u) << summary << "\n" << exported;
    for (const FieldDifference& difference : CompareItemFields(KeptFields(original), KeptFields(items.at(summary)))) {
      // Outlook gives every event a class and an importance.
      if (difference.name != "CLASS" && difference.name != "PRIORITY") ADD_FAILURE() << difference.Describe() << "\n" << exported;
    }
  }
}

TEST_F(OutlookImportExportTest, TasksGoInAndOutAndAFolderOfAnotherKindIsRefused) {
  WriteFileBytes(mDir.Path() + "tasks.ics",
                 "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VTODO\r\nUID:a\r\nSUMMARY:Taxes\r\nDUE;VALUE=DATE:20270415\r\n"
                 "END:VTODO\r\nBEGIN:VTODO\r\nUID:b\r\nSUMMARY:Someday\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
  ASSERT_EQ(Tool("import tasks '" + mDir.Path() + "tasks.ics'", mDir.Path() + "import.out"), 0)
      << ReadFileBytes(mDir.Path() + "errors");
  EXPECT_EQ(ReadFileBytes(mDir.Path() + "import.out"), "2 imported, 0 skipped\n");
  ASSERT_EQ(Tool("export tasks", mDir.Path() + "tasks.out"), 0);
  const std::string exported = ReadFileBytes(mDir.Path() + "tasks.out");
  EXPECT_NE(exported.find("SUMMARY:Taxes\r\n"), std::string::npos) << exported;
  EXPECT_NE(exported.find("DUE;VALUE=DATE:20270415\r\n"), std::string::npos) << exported;
  EXPECT_NE(exported.find("SUMMARY:Someday\r\n"), std::string::npos) << exported;
  EXPECT_NE(Tool("import inbox '" + mDir.Path() + "tasks.ics'", mDir.Path() + "inbox.out"), 0);
}

}  // namespace
