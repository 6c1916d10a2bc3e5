// The test store behaves like a real store: identifiers, stamps, folders, date window, server writes, mirror files.
#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "config/CConf.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStore.h"

namespace {

// Pins the C library's time zone for one test and restores it afterwards.
class ZoneGuard {
 public:
  explicit ZoneGuard(const std::string& zone) : mEnv(std::make_unique<ScopedEnv>("TZ", zone)) { tzset(); }
  ~ZoneGuard() {
    mEnv.reset();
    tzset();
  }

 private:
  std::unique_ptr<ScopedEnv> mEnv;
};

class TestStoreTest : public ::testing::Test {
 protected:
  PVCardPtr Card(const std::string& lines) {
    auto card = Zep3_PVCard_FromStream(&mContext, "BEGIN:VCARD\r\nVERSION:2.1\r\n" + lines + "END:VCARD\r\n");
    EXPECT_NE(card, nullptr);
    return card;
  }
  static std::string Calendar(const std::string& component, const std::string& lines) {
    return "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:" + component + "\r\n" + lines + "END:" + component +
           "\r\nEND:VCALENDAR\r\n";
  }
  void Select(SyncDataType dataType) {
    ASSERT_TRUE(mStore.SetCurrentFolder(dataType, "", ""));
    ASSERT_EQ(mStore.LoadContent("Link"), kStoreOk);
  }

  TempDir mDir;
  CConf mConf{mDir.Path()};
  TestStore mStore{mConf};
  VCardContext mContext;
};

TEST_F(TestStoreTest, NewItemsGetNewIdentifiersAndEveryWriteANewStamp) {
  const auto a = mStore.AddLocalContact("A");
  const auto b = mStore.AddLocalContact("B");
  EXPECT_NE(a, b);
  const std::string before = mStore.Held(a)->Property("PR_LAST_MODIFICATION_TIME");
  // Days since 1899-12-30 printed with "%.20f": 2026-01-01 is day 46023.
  EXPECT_EQ(before.substr(0, 10), "46023.0000") << before;
  EXPECT_EQ(before.size(), 26u) << before;
  mStore.TouchLocal(a);
  EXPECT_NE(mStore.Held(a)->Property("PR_LAST_MODIFICATION_TIME"), before);
  EXPECT_FALSE(mStore.TouchLocal("no-such-id"));

  TestStore seconds(mConf, TestStore::Options{TestStore::StampForm::UnixSeconds, "", 1000});
  const auto id = seconds.AddLocalContact("S");
  EXPECT_EQ(seconds.Held(id)->Property("PR_LAST_MODIFICATION_TIME"), "1001");
}

TEST_F(TestStoreTest, LoadedRecordsCarryTheStoreKeysAndAreCopies) {
  const auto id = mStore.AddLocalContact("A");
  const auto task = mStore.AddLocalTask("T", "20260201");
  Select(DATA_TYPE_CONTACTS);
  ASSERT_EQ(mStore.mCurrentItems.Count(), 1u);
  const auto record = mStore.mCurrentItems.First();
  EXPECT_EQ(record->itemId, id);
  EXPECT_EQ(record->Property("PR_ENTRYID"), id);
  EXPECT_EQ(record->Property("PR_MESSAGE_CLASS"), "IPM.Contact");
  EXPECT_EQ(record->Property("PR_LAST_MODIFICATION_TIME"), mStore.Held(id)->Property("PR_LAST_MODIFICATION_TIME"));
  (*record)["PR_DISPLAY_NAME"] = "changed in the list";
  EXPECT_EQ(mStore.Held(id)->Property("PR_DISPLAY_NAME"), "A");
  EXPECT_EQ(mStore.Held(task)->Property("PR_MESSAGE_CLASS"), "IPM.Task");
  EXPECT_EQ(mStore.GetContentKind(), CONTENT_CONTACT);
}

TEST_F(TestStoreTest, FoldersAreSelectedByBothIdentifiersOrByType) {
  mStore.AddFolder(DATA_TYPE_EVENTS, "folder-1", "store-1");
  EXPECT_TRUE(mStore.SetCurrentFolder(DATA_TYPE_EVENTS, "folder-1", "store-1"));
  EXPECT_EQ(mStore.GetContentKind(), CONTENT_CALENDAR);
  EXPECT_FALSE(mStore.SetCurrentFolder(DATA_TYPE_EVENTS, "folder-2", "store-1"));
  EXPECT_TRUE(mStore.SetCurrentFolder(DATA_TYPE_TASKS, "folder-2", ""));
  EXPECT_EQ(mStore.GetContentKind(), CONTENT_CALENDAR);
  mStore.SetOpen(false);
  EXPECT_FALSE(mStore.SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
}

TEST_F(TestStoreTest, ItemsOutsideTheDateWindowAreLeftOutButStillExist) {
  const auto january = mStore.AddLocalEvent("Jan", "20260110", "20260111");
  const auto march = mStore.AddLocalEvent("Mar", "20260310T090000Z", "20260310T100000Z");
  const auto contact = mStore.AddLocalContact("C");
  mStore.SetDateWindow("20260301", "20261231");
  Select(DATA_TYPE_EVENTS);
  ASSERT_EQ(mStore.mCurrentItems.Count(), 1u);
  EXPECT_EQ(mStore.mCurrentItems.First()->itemId, march);
  EXPECT_TRUE(mStore.ItemExists(january));
  EXPECT_FALSE(mStore.ItemExists("no-such-id"));

  mStore.mSavedItems.Add(mStore.Held(january));
  EXPECT_TRUE(mStore.RemoveItem(january));  // outside the window: kept in the store
  EXPECT_NE(mStore.Held(january), nullptr);
  EXPECT_EQ(mStore.mSavedItems.Find(january), nullptr);
  EXPECT_TRUE(mStore.RemoveItem(march));
  EXPECT_EQ(mStore.Held(march), nullptr);
  EXPECT_EQ(mStore.mCurrentItems.Count(), 0u);

  Select(DATA_TYPE_CONTACTS);
  EXPECT_FALSE(mStore.ItemExists(contact));
}

TEST_F(TestStoreTest, ServerContactIsWrittenLikeAContactStoreDoes) {
  Select(DATA_TYPE_CONTACTS);
  auto card = Card("N:Doe;John;Q;Dr\r\nFN:John Doe\r\nTEL;WORK;VOICE:111\r\nTEL;WORK;VOICE:222\r\nTEL;WORK;VOICE:333\r\n"
                   "TEL;CELL:444\r\nEMAIL;INTERNET:home@example.org\r\nEMAIL;INTERNET;WORK;PREF:work@example.org\r\n"
                   "ORG:Acme;Sales\r\nNOTE:Call back\r\n");
  std::string id;
  ASSERT_EQ(mStore.AddAddressBookItem(*card, id, "1001", "text/x-vcard"), kStoreOk);
  const auto held = mStore.Held(id);
  ASSERT_NE(held, nullptr);
  const std::map<std::string, std::string> expected = {
      {"PR_SURNAME", "Doe"}, {"PR_GIVEN_NAME", "John"}, {"PR_MIDDLE_NAME", "Q"}, {"PR_DISPLAY_NAME_PREFIX", "Dr"},
      {"PR_DISPLAY_NAME", "John Doe"}, {"PR_BUSINESS_TELEPHONE_NUMBER", "111"}, {"PR_BUSINESS2_TELEPHONE_NUMBER", "222"},
      {"PR_ZEP_ADDITIONAL_PHONES_LIST", "333\t"}, {"PR_ZEP_ADDITIONAL_PHONES_ATTR", "WTN\t"},
      {"PR_MOBILE_TELEPHONE_NUMBER", "444"}, {"PR_CONTACT_EMAIL_ADDRESSES", "work@example.org\thome@example.org\t"},
      {"PR_ZEP_EMAIL_ADDRESSES_TYPES", "W:work@example.org\tH:home@example.org\t"}, {"PR_COMPANY_NAME", "Acme"},
      {"PR_DEPARTMENT_NAME", "Sales"}, {"PR_COMMENT", "Call back"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(held->Property(key), value) << key;
  EXPECT_EQ(mStore.mIdMap.at("1001"), id);
  // The list record is brought up to date, so the write is not a local change next run.
  ASSERT_NE(mStore.mCurrentItems.Find(id), nullptr);
  EXPECT_EQ(mStore.mCurrentItems.Find(id)->properties, held->properties);
}

TEST_F(TestStoreTest, UpdateOfAVanishedContactCreatesItAnewAndNicknameCompletesTheName) {
  Select(DATA_TYPE_CONTACTS);
  auto card = Card("NICKNAME:Johnny\r\n");
  std::string id = "vanished";
  StoreWriteStatus status = WRITE_NOTHING;
  ASSERT_EQ(mStore.UpdateAddressBookItem(*card, id, "", "text/x-vcard", status), kStoreOk);
  EXPECT_NE(id, "vanished");
  EXPECT_EQ(status, WRITE_NAME_COMPLETED);
  EXPECT_EQ(mStore.Held(id)->Property("PR_DISPLAY_NAME"), "Johnny");

  const std::string stamp = mStore.Held(id)->Property("PR_LAST_MODIFICATION_TIME");
  auto named = Card("FN:John\r\n");
  std::string same = id;
  ASSERT_EQ(mStore.UpdateAddressBookItem(*named, same, "", "text/x-vcard", status), kStoreOk);
  EXPECT_EQ(same, id);
  EXPECT_EQ(status, WRITE_DONE);
  EXPECT_EQ(mStore.Held(id)->Property("PR_NICKNAME"), "");
  EXPECT_NE(mStore.Held(id)->Property("PR_LAST_MODIFICATION_TIME"), stamp);
}

TEST_F(TestStoreTest, GroupMembersNamedByServerIdentifierResolveThroughTheIdMap) {
  Select(DATA_TYPE_CONTACTS);
  const auto local = mStore.AddLocalContact("Local");
  auto member = Card("FN:From server\r\n");
  std::string memberId;
  ASSERT_EQ(mStore.AddAddressBookItem(*member, memberId, "TMP:77", "text/x-vcard"), kStoreOk);
  auto group = Card("FN:Team\r\nUID:TMP:77\r\nUID:" + local + "\r\nUID:TMP:99\r\nUID:unknown\r\n");
  std::string groupId;
  ASSERT_EQ(mStore.AddAddressBookItem(*group, groupId, "500", kGroupContentType), kStoreOk);
  const auto held = mStore.Held(groupId);
  EXPECT_EQ(held->kind, ITEM_GROUP);
  EXPECT_EQ(held->Property("PR_MESSAGE_CLASS"), "IPM.DistList");
  EXPECT_EQ(held->members, (std::vector<std::string>{memberId, local}));

  // The same card as an ordinary contact.
  std::string contactId;
  ASSERT_EQ(mStore.AddAddressBookItem(*group, contactId, "501", "text/x-vcard"), kStoreOk);
  EXPECT_EQ(mStore.Held(contactId)->kind, ITEM_CONTACT);
  EXPECT_TRUE(mStore.Held(contactId)->members.empty());
}

TEST_F(TestStoreTest, ServerEventsAndTasksBecomeCalendarRecords) {
  ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
  Select(DATA_TYPE_EVENTS);
  const std::string event = Calendar("VEVENT",
                                     "SUMMARY:Review\r\nDTSTART:20260310T100000\r\nDTEND:20260310T110000Z\r\n"
                                     "LOCATION:Room 1\r\nATTENDEE;CN=Ann;PARTSTAT=ACCEPTED:MAILTO:ann@example.org\r\n"
                                     "BEGIN:VALARM\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n");
  std::string id;
  ASSERT_EQ(mStore.AddCalendarItem(event, id), kStoreOk);
  const auto held = mStore.Held(id);
  EXPECT_EQ(held->kind, ITEM_EVENT);
  EXPECT_EQ(held->Property("VC_SUMMARY"), "Review");
  EXPECT_EQ(held->Property("VC_DTSTART"), "20260310T090000Z");  // floating local time, in UTC
  EXPECT_EQ(held->Property("VC_DTEND"), "20260310T110000Z");
  EXPECT_EQ(held->properties.count("VC_CATEGORIES"), 0u);
  EXPECT_EQ(held->Property("VC_TRIGGER"), "-PT15M");
  EXPECT_EQ(held->Property("VC_ATTENDEE_COUNT"), "1");
  EXPECT_EQ(held->Property("VC_ATTENDEE_EMAIL_1"), "ann@example.org");
  EXPECT_EQ(held->Property("VC_ATTENDEE_STATUS_1"), "ACCEPTED");

  std::string same = id;
  ASSERT_EQ(mStore.AddCalendarItem(Calendar("VEVENT", "SUMMARY:Moved\r\nDTSTART;VALUE=DATE:20260311\r\n"), same), kStoreOk);
  EXPECT_EQ(same, id);
  EXPECT_EQ(mStore.Held(id)->Property("VC_DTSTART"), "20260311");
  EXPECT_EQ(mStore.Held(id)->Property("VC_LOCATION"), "");

  std::string taskId;
  EXPECT_EQ(mStore.AddCalendarItem(Calendar("VTODO", "SUMMARY:Task\r\n"), taskId), kStoreFail);
  EXPECT_EQ(mStore.AddCalendarItem("not a calendar", taskId), kStoreFail);
  Select(DATA_TYPE_TASKS);
  ASSERT_EQ(mStore.AddCalendarItem(Calendar("VTODO", "SUMMARY:Task\r\nDUE:20260320T120000Z\r\nSTATUS:COMPLETED\r\n"), taskId),
            kStoreOk);
  EXPECT_EQ(mStore.Held(taskId)->Property("VC_DUE"), "20260320T120000Z") << "a due time stays a time";
  EXPECT_EQ(mStore.Held(taskId)->Property("VC_STATUS"), "COMPLETED");
}

TEST_F(TestStoreTest, FailingWritesAreReportedAndChangeNothing) {
  Select(DATA_TYPE_CONTACTS);
  mStore.FailWrites(true);
  auto card = Card("FN:X\r\n");
  std::string id;
  EXPECT_EQ(mStore.AddAddressBookItem(*card, id, "1", "text/x-vcard"), kStoreFail);
  EXPECT_EQ(mStore.HeldCount(DATA_TYPE_CONTACTS), 0u);
  EXPECT_TRUE(mStore.mIdMap.empty());
  mStore.FailNextLoad(-7);
  EXPECT_EQ(mStore.LoadContent("Link"), -7);
}

TEST_F(TestStoreTest, MirrorFolderKeepsItemsAcrossStoreObjects) {
  const std::string mirror = mDir.File("store");
  std::string contact, event;
  {
    TestStore first(mConf, TestStore::Options{TestStore::StampForm::OleDateText, mirror, 1767225600});
    contact = first.AddLocalContact("Tab\tand\nline");
    event = first.AddLocalEvent("Meeting", "20260310T090000Z", "20260310T100000Z");
    const auto group = first.AddLocalGroup("G", {contact});
    first.DeleteLocal(group);
  }
  TestStore second(mConf, TestStore::Options{TestStore::StampForm::OleDateText, mirror, 0});
  EXPECT_EQ(second.HeldIds(DATA_TYPE_CONTACTS), std::vector<std::string>{contact});
  EXPECT_EQ(second.Held(contact)->Property("PR_DISPLAY_NAME"), "Tab\tand\nline");
  EXPECT_EQ(second.Held(event)->kind, ITEM_EVENT);
  EXPECT_EQ(second.HeldIds(DATA_TYPE_EVENTS), std::vector<std::string>{event});
  const auto next = second.AddLocalContact("Next");
  EXPECT_NE(next, contact);
  EXPECT_NE(next, event);
  EXPECT_GT(second.Clock(), 1767225600);
}

}  // namespace
