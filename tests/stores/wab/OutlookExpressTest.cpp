// The Windows Contacts store over a real address book: opening failures, reading contacts into
// records, identifiers, e-mail types, and the writes of the server's contacts.
#include <algorithm>
#include <map>
#include <sstream>
#include <gtest/gtest.h>

#include "common/StringIds.h"
#include "common/TextCodec.h"
#include "pim/ItemLists.h"
#include "pim/MapiPropertyName.h"
#include "platform/wab/WabSetting.h"
#include "stores/RunStoreFactory.h"
#include "stores/wab/ContactProperties.h"
#include "tests/stores/wab/WabStoreFixture.h"
#include "tests/support/TestStore.h"

namespace {

const ULONG kGivenName = ContactTag("PR_GIVEN_NAME");
const ULONG kSurname = ContactTag("PR_SURNAME");
const ULONG kNickname = ContactTag("PR_NICKNAME");
const ULONG kEmails = ContactTag("PR_CONTACT_EMAIL_ADDRESSES");
const ULONG kBusinessPhone = ContactTag("PR_BUSINESS_TELEPHONE_NUMBER");

std::string Card(const std::string& lines) { return "BEGIN:VCARD\r\nVERSION:2.1\r\n" + lines + "END:VCARD\r\n"; }

// ---- Opening

struct OpenFailureCase {
  const char* name;
  std::optional<std::string> setting;  // nullopt: no setting file
  unsigned initError;
  bool garbageBook = false;
};

class WabStoreOpening : public WabStoreTest, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(WabStoreOpening, EachFailingStepLeavesItsMessageAndTouchesNothing) {
  const OpenFailureCase& failure = GetParam();
  if (failure.setting) {
    WriteFileBytes(mDir.File("wab.conf"), *failure.setting);
  } else {
    ::unlink(mDir.File("wab.conf").c_str());
  }
  if (failure.garbageBook) WriteFileBytes(mDir.File("addressbook.db"), std::string(4096, 'x'));
  const std::string bookBefore = ReadFileBytes(mDir.File("addressbook.db"));

  auto store = OpenStore();
  EXPECT_EQ(store->mInitError, failure.initError);
  // Without a book nothing can be read or written, and nothing crashes trying.
  EXPECT_NE(store->LoadAddressBook(), kStoreOk);
  ParsedCard card(Card("N:Doe;Jane;;;\r\nFN:Jane Doe\r\n"));
  std::string id;
  EXPECT_EQ(store->AddAddressBookItem(*card.card, id, "S1", "text/x-vcard"), kStoreFail);
  EXPECT_FALSE(store->RemoveItem("anything"));
  store.reset();
  EXPECT_EQ(ReadFileBytes(mDir.File("addressbook.db")), bookBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WabStoreOpening,
    ::testing::Values(OpenFailureCase{"NoSettingFile", std::nullopt, IDS_WAB_REGISTRY_ERROR},
                      OpenFailureCase{"SettingWithoutValue", std::string("# nothing here\nOther=1\n"), IDS_WAB_REGISTRY_ERROR},
                      OpenFailureCase{"WrongLibraryPath", std::string("DLLPath=/nonexistent/libwab.so\n"), IDS_WAB_NOT_FOUND},
                      OpenFailureCase{"LibraryWithoutEntryPoint", std::string("DLLPath=libm.so.6\n"), IDS_WAB_NO_ENTRY_POINT},
                      OpenFailureCase{"UnreadableBook", std::string("DLLPath=") + LARK_WAB_LIBRARY + "\n", IDS_OUTLOOK_LOAD_ERROR,
                                      true}),
    [](const auto& step) { return std::string(step.param.name); });

TEST_F(WabStoreTest, AnEmptyBookLoadsAsNoContactsWithoutError) {
  auto store = LoadedStore();
  EXPECT_EQ(store->mCurrentItems.Count(), 0u);
  EXPECT_EQ(store->mInitError, 0u);
  EXPECT_EQ(store->GetContentKind(), 0);
  EXPECT_TRUE(store->SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
}

// ---- Identifiers

TEST_F(WabStoreTest, AContactOfAnotherProgramGetsItsIdentifierOnceAndKeepsIt) {
  const auto entry = CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "Ann Other").Text(kGivenName, "Ann"));
  std::string first;
  {
    auto store = LoadedStore();
    ASSERT_EQ(store->mCurrentItems.Count(), 1u);
    const CDataItem& record = *store->mCurrentItems.Items()[0];
    first = record.itemId;
    EXPECT_EQ(first, std::to_string(kNow) + "_0");
    EXPECT_EQ(record.Property("PR_ENTRYID"), first);
    EXPECT_EQ(record.Property("PR_ZEP_ENTRYID"), first);
    EXPECT_EQ(record.Property("PR_GIVEN_NAME"), "Ann");
    ASSERT_NE(store->BinaryEntryId(first), nullptr);
    EXPECT_EQ(*store->BinaryEntryId(first), entry);
  }
  EXPECT_EQ(TextOf(entry, PR_ZEP_ENTRYID), first);  // saved into the contact at once
  auto later = LoadedStore(kNow + 100);
  ASSERT_EQ(later->mCurrentItems.Count(), 1u);
  EXPECT_EQ(later->mCurrentItems.Items()[0]->itemId, first);
}

TEST_F(WabStoreTest, IdentifiersMadeInTheSameSecondDifferByTheCounterAndSkipThoseInUse) {
  // One made by an earlier run in the same second is already in the book.
  CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "Earlier").Text(PR_ZEP_ENTRYID, std::to_string(kNow) + "_0"));
  auto store = LoadedStore();
  std::vector<std::string> ids;
  for (const char* name : {"One", "Two"}) {
    ParsedCard card(Card(std::string("FN:") + name + "\r\n"));
    std::string id;
    ASSERT_EQ(store->AddAddressBookItem(*card.card, id, std::string("S-") + name, "text/x-vcard"), kStoreOk);
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{std::to_string(kNow) + "_1", std::to_string(kNow) + "_2"}));
  EXPECT_EQ(store->mIdMap.at("S-Two"), ids[1]);
}

// The book lists contacts by name: a new one read before the contact holding an identifier made
// in the same second by an earlier run must not get that identifier (the older contact would be
// taken for a copy, renamed and sent to the server again).
TEST_F(WabStoreTest, ANewContactReadFirstNeverTakesTheIdentifierOfOneReadLater) {
  CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "B earlier").Text(PR_ZEP_ENTRYID, std::to_string(kNow) + "_0"));
  CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "A new"));
  auto store = LoadedStore();
  std::vector<std::string> ids;
  for (const auto& item : store->mCurrentItems.Items()) ids.push_back(item->itemId);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<std::string>{std::to_string(kNow) + "_0", std::to_string(kNow) + "_1"}));
  EXPECT_EQ(store->mCurrentItems.Find(std::to_string(kNow) + "_0")->Property("PR_DISPLAY_NAME"), "B earlier");
}

TEST_F(WabStoreTest, AContactCopiedWithItsIdentifierBecomesAContactOfItsOwn) {
  CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "A original").Text(PR_ZEP_ENTRYID, "1600000000_3"));
  const auto copy = CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "B copy").Text(PR_ZEP_ENTRYID, "1600000000_3"));
  auto store = LoadedStore();
  ASSERT_EQ(store->mCurrentItems.Count(), 2u);
  EXPECT_EQ(store->mCurrentItems.Items()[0]->itemId, "1600000000_3");
  const std::string renamed = store->mCurrentItems.Items()[1]->itemId;
  EXPECT_NE(renamed, "1600000000_3");
  EXPECT_EQ(TextOf(copy, PR_ZEP_ENTRYID), renamed);
}

// ---- Reading

TEST_F(WabStoreTest, DistributionListsAreNotRead) {
  CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "Team"), true);
  CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "Member"));
  auto store = LoadedStore();
  ASSERT_EQ(store->mCurrentItems.Count(), 1u);
  EXPECT_EQ(store->mCurrentItems.Items()[0]->Property("PR_DISPLAY_NAME"), "Member");
}

TEST_F(WabStoreTest, EveryPropertyBecomesAKeyWithItsValueText) {
  const auto member = CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "Member").Text(PR_ZEP_ENTRYID, "1600000000_9"));
  CreateByOtherProgram(OtherProgramValues()
                           .Text(PR_DISPLAY_NAME, "Zoë Valued")
                           .Texts(kEmails, {"z@example.org"})
                           .Texts(0x80FF101F, {"a", "b"})
                           .Binaries(PR_WAB_DL_ENTRIES, {member}));
  auto store = LoadedStore();
  const CDataItem::Ptr record = store->mCurrentItems.Items()[0]->Property("PR_DISPLAY_NAME") == "Zoë Valued"
                                    ? store->mCurrentItems.Items()[0]
                                    : store->mCurrentItems.Items()[1];
  EXPECT_EQ(record->Property("PR_DISPLAY_NAME"), "Zoë Valued");
  EXPECT_EQ(record->Property("PR_CONTACT_EMAIL_ADDRESSES"), "z@example.org\t");
  EXPECT_EQ(record->Property("PR_OBJECT_TYPE"), "6");
  EXPECT_EQ(record->Property("0x80ff"), "a\tb\t");
  // The member list names the members by their identifiers.
  EXPECT_EQ(record->Property("0x6600"), "1600000000_9\t");
  EXPECT_EQ(record->members, std::vector<std::string>{"1600000000_9"});
  // The change stamp: whole seconds since 1970, near the time the book saved the entry.
  const long long stamp = std::stoll(record->Property("PR_LAST_MODIFICATION_TIME"));
  EXPECT_NEAR(static_cast<double>(stamp), static_cast<double>(std::time(nullptr)), 120.0);
}

// ---- E-mail types

TEST_F(WabStoreTest, EmailTypesAreMatchedByAddressAndTheUnknownOnesResolvedAndSaved) {
  mConf.SetEmailManagementMode(EMAIL_UNKNOWN_BUSINESS);
  // The typed list is in another order than the addresses, holds an address another program
  // removed since, and lacks the one it added.
  const auto entry = CreateByOtherProgram(OtherProgramValues()
                                              .Text(PR_DISPLAY_NAME, "Typed")
                                              .Texts(kEmails, {"home@x.org", "work@x.org", "new@x.org"})
                                              .Texts(PR_ZEP_EMAIL_ADDRESSES_TYPES, {"W:work@x.org", "W:gone@x.org", "H:home@x.org"}));
  auto store = LoadedStore();
  const std::string expected = "H:home@x.org\tW:work@x.org\tW:new@x.org\t";
  EXPECT_EQ(store->mCurrentItems.Items()[0]->Property("PR_ZEP_EMAIL_ADDRESSES_TYPES"), expected);
  EXPECT_EQ(TextsOf(entry, PR_ZEP_EMAIL_ADDRESSES_TYPES), (std::vector<std::string>{"H:home@x.org", "W:work@x.org", "W:new@x.org"}));
  // Sent as the server will read it.
  const std::string vcard = store->mCurrentItems.Items()[0]->ToVCard();
  const std::size_t line = vcard.rfind("EMAIL", vcard.find("new@x.org"));
  ASSERT_NE(line, std::string::npos) << vcard;
  EXPECT_NE(vcard.substr(line, vcard.find("new@x.org") - line).find("WORK"), std::string::npos) << vcard;
  EXPECT_EQ(vcard.find("gone@x.org"), std::string::npos) << vcard;
}

TEST_F(WabStoreTest, TheSameAddressTwiceIsTypedFromTheLastEntriesBackwards) {
  const auto entry = CreateByOtherProgram(OtherProgramValues()
                                              .Text(PR_DISPLAY_NAME, "Twice")
                                              .Texts(kEmails, {"same@x.org", "same@x.org"})
                                              .Texts(PR_ZEP_EMAIL_ADDRESSES_TYPES, {"W:same@x.org"}));
  mConf.SetEmailManagementMode(EMAIL_UNKNOWN_PERSONAL);
  auto store = LoadedStore();
  EXPECT_EQ(store->mCurrentItems.Items()[0]->Property("PR_ZEP_EMAIL_ADDRESSES_TYPES"), "H:same@x.org\tW:same@x.org\t");
  EXPECT_EQ(mPrompt.questions, 0);
}

TEST_F(WabStoreTest, CancellingTheEmailQuestionFailsTheLoadAsCancelled) {
  mConf.SetSilent(false);
  mConf.SetEmailManagementMode(EMAIL_ALWAYS_ASK);
  mPrompt.cancel = true;
  const auto entry = CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "Asked").Texts(kEmails, {"a@x.org"}));
  WriteIndexOfAnEarlierRun(mConf.ConfigFolder(), "Contacts");
  auto store = OpenStore();
  EXPECT_NE(store->LoadContent("Contacts"), kStoreOk);
  EXPECT_EQ(store->mInitError, static_cast<unsigned>(IDS_SYNC_CANCELED));
  EXPECT_EQ(mPrompt.questions, 1);
  EXPECT_EQ(TextsOf(entry, PR_ZEP_EMAIL_ADDRESSES_TYPES), std::nullopt);
}

// A first upload is not stopped once per contact: the addresses are typed as a silent run types
// them (home first, then work).
TEST_F(WabStoreTest, AFirstSyncTypesUnknownAddressesWithoutAsking) {
  mConf.SetSilent(false);
  mConf.SetEmailManagementMode(EMAIL_ALWAYS_ASK);
  mPrompt.cancel = true;
  const auto entry = CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "New").Texts(kEmails, {"a@x.org", "b@x.org"}));
  auto store = LoadedStore();
  EXPECT_EQ(mPrompt.questions, 0);
  EXPECT_EQ(TextsOf(entry, PR_ZEP_EMAIL_ADDRESSES_TYPES), (std::vector<std::string>{"H:a@x.org", "W:b@x.org"}));
  EXPECT_EQ(mConf.EmailManagementMode(), EMAIL_ALWAYS_ASK);
}

// ---- Writing

TEST_F(WabStoreTest, AnAddedContactIsInTheBookAndItsRecordIsWhatTheNextLoadReads) {
  auto store = LoadedStore();
  ParsedCard card(Card("N:Doe;Jane;Q;Dr;\r\nFN:Jane Doe\r\nTEL;WORK;VOICE:+1 555 0100\r\nEMAIL;INTERNET;PREF:jane@x.org\r\n"));
  std::string id;
  ASSERT_EQ(store->AddAddressBookItem(*card.card, id, "S1", "text/x-vcard"), kStoreOk);
  const CDataItem::Ptr written = store->mCurrentItems.Find(id);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->Property("PR_SURNAME"), "Doe");
  EXPECT_EQ(written->Property("PR_DISPLAY_NAME_PREFIX"), "Dr");

  auto next = LoadedStore();
  const CDataItem::Ptr read = next->mCurrentItems.Find(id);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->properties, written->properties);  // the stamp included: no local change
}

TEST_F(WabStoreTest, AnUpdateRemovesWhatTheServerNoLongerSends) {
  auto store = LoadedStore();
  ParsedCard first(Card("N:Doe;Jane;;;\r\nFN:Jane Doe\r\nNICKNAME:JD\r\nTEL;WORK;VOICE:+1 555 0100\r\nURL;WORK:http://x.org\r\n"));
  std::string id;
  ASSERT_EQ(store->AddAddressBookItem(*first.card, id, "S1", "text/x-vcard"), kStoreOk);
  const std::vector<BYTE> entry = *store->BinaryEntryId(id);

  ParsedCard second(Card("N:Doe;Janet;;;\r\nFN:Janet Doe\r\n"));
  StoreWriteStatus status = WRITE_NOTHING;
  std::string same = id;
  ASSERT_EQ(store->UpdateAddressBookItem(*second.card, same, "S1", "text/x-vcard", status), kStoreOk);
  EXPECT_EQ(status, WRITE_DONE);
  EXPECT_EQ(same, id);
  EXPECT_EQ(TextOf(entry, kGivenName), "Janet");
  EXPECT_EQ(TextOf(entry, kNickname), std::nullopt);
  EXPECT_EQ(TextOf(entry, kBusinessPhone), std::nullopt);
  EXPECT_EQ(TextOf(entry, PR_ZEP_ENTRYID), id);
  EXPECT_EQ(store->mCurrentItems.Find(id)->Property("PR_NICKNAME"), "");
  EXPECT_EQ(store->mCurrentItems.Find(id)->properties, LoadedStore()->mCurrentItems.Find(id)->properties);
}

TEST_F(WabStoreTest, AnUpdateOfAContactAnotherProgramDeletedWritesItAnewUnderItsIdentifier) {
  const auto entry = CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "Gone").Text(PR_ZEP_ENTRYID, "1600000000_1"));
  auto store = LoadedStore();
  DeleteByOtherProgram(entry);
  ParsedCard card(Card("FN:Back Again\r\n"));
  StoreWriteStatus status = WRITE_NOTHING;
  std::string id = "1600000000_1";
  ASSERT_EQ(store->UpdateAddressBookItem(*card.card, id, "S7", "text/x-vcard", status), kStoreOk);
  EXPECT_EQ(id, "1600000000_1");
  EXPECT_EQ(EntryCount(), 1u);
  auto next = LoadedStore();
  ASSERT_EQ(next->mCurrentItems.Count(), 1u);
  EXPECT_EQ(next->mCurrentItems.Items()[0]->itemId, "1600000000_1");
  EXPECT_EQ(next->mCurrentItems.Items()[0]->Property("PR_DISPLAY_NAME"), "Back Again");
}

TEST_F(WabStoreTest, AnUpdateTheBookRefusesKeepsTheContactAsItWas) {
  auto store = LoadedStore();
  ParsedCard first(Card("FN:Kept As Is\r\nNOTE:short\r\n"));
  std::string id;
  ASSERT_EQ(store->AddAddressBookItem(*first.card, id, "S1", "text/x-vcard"), kStoreOk);
  const std::vector<BYTE> entry = *store->BinaryEntryId(id);
  // A note over the book's limit for one value.
  ParsedCard huge(Card("FN:Too Big\r\nNOTE:" + std::string(5u << 20, 'n') + "\r\n"));
  ASSERT_TRUE(huge.card);
  StoreWriteStatus status = WRITE_DONE;
  EXPECT_EQ(store->UpdateAddressBookItem(*huge.card, id, "S1", "text/x-vcard", status), kStoreFail);
  EXPECT_EQ(status, WRITE_NOTHING);
  EXPECT_EQ(EntryCount(), 1u);
  EXPECT_EQ(TextOf(entry, PR_DISPLAY_NAME), "Kept As Is");
  EXPECT_EQ(TextOf(entry, ContactTag("PR_COMMENT")), "short");
  EXPECT_TRUE(store->mCurrentItems.Contains(id));
}

TEST_F(WabStoreTest, AGroupIsAcknowledgedWithoutCreatingAnything) {
  auto store = LoadedStore();
  ParsedCard group(Card("FN:Team\r\nUID:TMP:S1\r\n"));
  std::string id;
  ASSERT_EQ(store->AddAddressBookItem(*group.card, id, "G1", "text/zep-group"), kStoreOk);
  EXPECT_FALSE(id.empty());
  EXPECT_EQ(store->mIdMap.at("G1"), id);
  StoreWriteStatus status = WRITE_NOTHING;
  ASSERT_EQ(store->UpdateAddressBookItem(*group.card, id, "G1", "text/zep-group", status), kStoreOk);
  EXPECT_EQ(EntryCount(), 0u);
  EXPECT_EQ(store->mCurrentItems.Count(), 0u);
}

TEST_F(WabStoreTest, RemovingDeletesTheContactAndForgetsItInBothLists) {
  CreateByOtherProgram(OtherProgramValues().Text(PR_DISPLAY_NAME, "Doomed").Text(PR_ZEP_ENTRYID, "1600000000_5"));
  auto store = LoadedStore();
  store->mSavedItems.Add(store->mCurrentItems.Find("1600000000_5"));
  EXPECT_FALSE(store->RemoveItem("1600000000_404"));
  EXPECT_TRUE(store->RemoveItem("1600000000_5"));
  EXPECT_EQ(EntryCount(), 0u);
  EXPECT_FALSE(store->mCurrentItems.Contains("1600000000_5"));
  EXPECT_FALSE(store->mSavedItems.Contains("1600000000_5"));
  EXPECT_FALSE(store->RemoveItem("1600000000_5"));
}

TEST_F(WabStoreTest, CalendarItemsAreIgnoredAndNothingIsEverOutsideTheFolder) {
  auto store = LoadedStore();
  std::string id;
  EXPECT_EQ(store->AddCalendarItem("BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n", id), kStoreOk);
  EXPECT_FALSE(store->ItemExists("1600000000_1"));
  EXPECT_EQ(EntryCount(), 0u);
}

}  // namespace

// ---- The run's choice

namespace {

TEST_F(WabStoreTest, TheRunGetsTheWindowsContactsStoreForTheWindowsContactsApplication) {
  mConf.SetSyncWithOutlook(LOCAL_APP_WINDOWS_CONTACTS);
  RunStoreFactory factory;
  std::unique_ptr<CDatabaseObject> store = factory.CreateStore(mConf, mPrompt);
  ASSERT_NE(dynamic_cast<OutlookExpress*>(store.get()), nullptr);
  EXPECT_EQ(store->mInitError, 0u);
  // A store that cannot open its book is still made: its message stops the run.
  ::unlink(mDir.File("wab.conf").c_str());
  EXPECT_EQ(factory.CreateStore(mConf, mPrompt)->mInitError, static_cast<unsigned>(IDS_WAB_REGISTRY_ERROR));
}

}  // namespace

// ---- Books written by earlier releases

// The contact lines of `cards` that say numbers, addresses and web pages, sorted, by display name.
std::map<std::string, std::vector<std::string>> TypedLinesByName(const std::string& cards) {
  std::map<std::string, std::vector<std::string>> lines;
  std::string name;
  std::istringstream text(cards);
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("FN:", 0) == 0) name = line.substr(3);
    for (const char* property : {"TEL", "EMAIL", "URL"}) {
      if (line.rfind(property, 0) == 0) lines[name].push_back(line);
    }
  }
  for (auto& [card, list] : lines) std::sort(list.begin(), list.end());
  return lines;
}

// A book written before the two address-book stores shared one contact mapping marks the numbers
// without a field with two letters (a third only for the preferred one): its contacts go out with
// the numbers and types that release sent, and loading the book writes nothing into it.
TEST_F(WabStoreTest, ABookOfAnEarlierReleaseIsSentWithItsNumbersAndTypesAndStaysAsItWas) {
  const std::string folder = std::string(LARK_TEST_DATA) + "/wab/earlier-release/";
  WriteFileBytes(mDir.File("addressbook.db"), ReadFileBytes(folder + "book.db"));
  std::string sent;
  std::map<std::string, std::string> marks;
  for (int load = 0; load < 2; ++load) {
    sent.clear();
    const auto store = LoadedStore();
    for (const CDataItem::Ptr& record : store->mCurrentItems.Items()) {
      sent += record->ToVCard();
      marks[record->Property("PR_DISPLAY_NAME")] = record->Property("PR_ZEP_ADDITIONAL_PHONES_ATTR");
    }
  }
  EXPECT_EQ(TypedLinesByName(sent), TypedLinesByName(ReadFileBytes(folder + "sent-then.vcf")));
  EXPECT_EQ(marks["Erin Early"], "WCP\tHP\tWF\tHP\tHC\tWT\t");
  EXPECT_EQ(marks["Sam Second"], "HT\t");
  EXPECT_EQ(ReadFileBytes(mDir.File("addressbook.db")), ReadFileBytes(folder + "book.db")) << "loading changed the book";
}
