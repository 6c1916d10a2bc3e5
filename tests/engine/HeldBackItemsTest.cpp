// Matching the server's copies of held-back items: what servers send back of a client's item.
#include "engine/HeldBackItems.h"

#include <gtest/gtest.h>

#include "pim/CDataItem.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"

namespace {

CDataItem::Ptr ContactFrom(const std::string& text, const std::string& id = "") {
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  auto record = CDataItem::Create(ITEM_CONTACT);
  ContactRecordBuilder(*record).Build(*card);
  record->itemId = id;
  if (!id.empty()) (*record)["PR_ENTRYID"] = id;
  return record;
}

// The client's card as sent, and SyncEvolution's copy of it in the next session (2.1, every
// property it knows written, empty or not).
constexpr const char* kSent =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nCHARSET:utf-8\r\nFN:Local4 Added\r\nNICKNAME:Local4 Added\r\nN:Added;Local4;;\r\n"
    "ORG:;\r\nTITLE:\r\nTEL;TYPE=WORK:+49 30 1234\r\nEMAIL;TYPE=INTERNET:l4@example.org\r\n"
    "ADR;TYPE=WORK:;;;;;;\r\nADR;TYPE=HOME:;;;;;;\r\nEND:VCARD\r\n";
constexpr const char* kServersCopy =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nREV:20100328T103410Z\r\nN:Added;Local4;;;\r\nFN:Local4 Added\r\n"
    "NICKNAME:Local4 Added\r\nTITLE:\r\nORG:;;;\r\nROLE:\r\nTEL;WORK:+49 30 1234\r\nEMAIL;INTERNET:l4@example.org\r\n"
    "URL:\r\nADR:;;;;;;\r\nBDAY:\r\nNOTE:\r\nEND:VCARD\r\n";

TEST(HeldBackItems, TheServersRewrittenCopyOfAHeldBackContactIsFoundOnce) {
  HeldBackItems held;
  held.Hold(*ContactFrom(kSent, "local-4.vcf"));
  held.Hold(*ContactFrom("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Other\r\nN:Other;;;;\r\nEND:VCARD\r\n", "local-5.vcf"));

  EXPECT_EQ(held.TakeCopyOf(*ContactFrom(kServersCopy)), "local-4.vcf");
  EXPECT_EQ(held.TakeCopyOf(*ContactFrom(kServersCopy)), "") << "taken once";
  EXPECT_EQ(held.Ids(), std::vector<std::string>{"local-5.vcf"});
}

// Two items the same but for one value are two items.
TEST(HeldBackItems, AnItemThatDiffersInOneValueIsNoCopy) {
  HeldBackItems held;
  held.Hold(*ContactFrom(kSent, "local-4.vcf"));
  std::string changed = kServersCopy;
  changed.replace(changed.find("+49 30 1234"), 11, "+49 30 9999");
  EXPECT_EQ(held.TakeCopyOf(*ContactFrom(changed)), "");
  changed = kServersCopy;
  changed.replace(changed.find("NOTE:"), 5, "NOTE:call back");
  EXPECT_EQ(held.TakeCopyOf(*ContactFrom(changed)), "");
  EXPECT_EQ(held.Ids(), std::vector<std::string>{"local-4.vcf"});
}

// An event comes back with its own identifier and stamp; its series' changed occurrences may
// come along.
TEST(HeldBackItems, AnEventIsFoundByItsContentWhateverTheServerNamesIt) {
  const std::string event = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:local-7.vcs\r\nSUMMARY:Review\r\n"
                            "DTSTART:20250303T090000Z\r\nDTEND:20250303T100000Z\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\nEND:VEVENT\r\n";
  CDataItem::Ptr local = CalendarRecordBuilder::Build(event + "END:VCALENDAR\r\n");
  local->itemId = "local-7.vcs";
  (*local)["PR_LAST_MODIFICATION_TIME"] = "46000.5";
  HeldBackItems held;
  held.Hold(*local);
  const std::string copy = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:20250303-server-17\r\nDTSTAMP:20250304T000000Z\r\n"
                           "SUMMARY:Review\r\nDTSTART:20250303T090000Z\r\nDTEND:20250303T100000Z\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\n"
                           "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:20250303-server-17\r\nRECURRENCE-ID:20250310T090000Z\r\n"
                           "SUMMARY:Review (moved)\r\nDTSTART:20250311T090000Z\r\nDTEND:20250311T100000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  EXPECT_EQ(held.TakeCopyOf(*CalendarRecordBuilder::Build(copy)), "local-7.vcs");
}

}  // namespace
