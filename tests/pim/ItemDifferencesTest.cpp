// The fields the conflict question shows: what counts as a difference and how values read.
#include "pim/ItemDifferences.h"

#include <gtest/gtest.h>

#include <ostream>

#include "tests/pim/VCalTestZone.h"

void PrintTo(const ConflictField& field, std::ostream* out) {
  *out << "{" << field.key << ", \"" << field.local << "\", \"" << field.server << "\"}";
}

namespace {

using Fields = std::vector<ConflictField>;

CDataItem::Ptr Card(const std::string& lines) {
  return RecordOfItemText("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\n" + lines + "END:VCARD\r\n");
}

CDataItem::Ptr Event(const std::string& lines) {
  return RecordOfItemText("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nSUMMARY:Review\r\n" + lines +
                          "END:VEVENT\r\nEND:VCALENDAR\r\n");
}

// Only changed fields count; addresses read as the user writes them, e-mail addresses without
// their home/work letter, phones beyond the fixed fields as one list.
TEST(DifferingFields, ContactFieldsThatChangedAsTheUserReadsThem) {
  const CDataItem::Ptr local = Card("TEL;WORK;VOICE:+1 555 0100\r\nEMAIL;INTERNET;WORK:ann@work.example\r\n"
                                    "ADR;WORK:;;Main St 1;Springfield;;12345;USA\r\nNOTE:same\r\n");
  const CDataItem::Ptr server = Card("TEL;WORK;VOICE:+1 555 0100\r\nEMAIL;INTERNET;HOME:ann@home.example\r\n"
                                     "EMAIL;INTERNET:ann@work.example\r\nADR;WORK:;;Main St 2;Springfield;;12345;USA\r\n"
                                     "TEL;PAGER:+1 555 0199\r\nNOTE:same\r\n");
  ASSERT_TRUE(local && server);
  EXPECT_EQ(DifferingFields(*local, *server),
            (Fields{{"EMAIL", "ann@work.example", "ann@home.example, ann@work.example"},
                    {"PR_ZEP_ADDITIONAL_PHONES_LIST", "", "+1 555 0199"},
                    {"BUSINESS_ADDRESS", "Main St 1, Springfield, 12345, USA", "Main St 2, Springfield, 12345, USA"}}));
  EXPECT_EQ(DifferingFields(*local, *local), Fields{});
}

// Times in the machine's zone, all-day dates as dates, the description decoded; an event without
// categories is the same as one the local store marked "Appointment".
TEST(DifferingFields, EventTimesInLocalTimeAndDescriptionsDecoded) {
  const ScopedTimeZone berlin(kZoneBerlin);
  const CDataItem::Ptr local = Event("DTSTART:20270112T090000Z\r\nDTEND:20270112T100000Z\r\nDESCRIPTION:Agenda\\nBudget\r\n"
                                     "CATEGORIES:Appointment\r\n");
  const CDataItem::Ptr server = Event("DTSTART:20270112T100000Z\r\nDTEND:20270112T100000Z\r\nDESCRIPTION:Agenda\r\n");
  ASSERT_TRUE(local && server);
  EXPECT_EQ(DifferingFields(*local, *server),
            (Fields{{"VC_DTSTART", "2027-01-12 10:00", "2027-01-12 11:00"}, {"VC_DESCRIPTION", "Agenda\nBudget", "Agenda"}}));
  const CDataItem::Ptr allDay = Event("DTSTART;VALUE=DATE:20270112\r\n");
  const CDataItem::Ptr nextDay = Event("DTSTART;VALUE=DATE:20270113\r\n");
  ASSERT_TRUE(allDay && nextDay);
  EXPECT_EQ(DifferingFields(*allDay, *nextDay), (Fields{{"VC_DTSTART", "2027-01-12", "2027-01-13"}}));
}

TEST(DifferingFields, TextThatIsNoItemGivesNoRecord) {
  EXPECT_EQ(RecordOfItemText("hello"), nullptr);
  EXPECT_EQ(RecordOfItemText("BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n"), nullptr);
}

}  // namespace
