// The Outlook store over the object model: connection, folder listing, contact reading with the
// e-mail types the index keeps, the writing rules of cards and lists, deletion and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "common/BuildInfo.h"
#include "common/CXException.h"
#include "common/Prompt.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/ItemLists.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "platform/automation/AutomationError.h"
#include "platform/automation/ObjectFactory.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "stores/RunStoreFactory.h"
#include "stores/outlook/COutlook.h"
#include "tests/support/SyncRunTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStore.h"

namespace {

// Answers the e-mail type question with `answer` (nullopt: Cancel) and counts the questions.
class EmailPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons buttons, PromptKind) override { return SafeDefaultAnswer(buttons); }
  bool AskLogin(LoginRequest&) override { return false; }
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override {
    questions.push_back(question);
    return answer;
  }
  std::vector<EmailTypesQuestion> questions;
  std::optional<EmailTypesAnswer> answer;
};

std::string Card(const std::string& lines) { return "BEGIN:VCARD\r\nVERSION:2.1\r\n" + lines + "END:VCARD\r\n"; }

class COutlookTest : public ::testing::Test {
 protected:
  COutlookTest() {
    mFactory.Register("Outlook.Application", [path = mProfile] { return outlookmodel::CreateOutlookApplication(path); });
    mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    mConf.SetSilent(true);
    mStore = std::make_unique<COutlook>(mConf, mPrompt, mFactory);
    mApp = outlook::Application(outlookmodel::CreateOutlookApplication(mProfile));
    mNamespace = mApp.GetNamespace("MAPI");
  }

  // The user's own edits, made through the application like any other program would.
  std::string AddContact(const outlook::MAPIFolder& folder, std::initializer_list<std::pair<DispId, std::string>> values) {
    const outlook::ContactItem contact(folder.GetItems().Add("IPM.Contact"));
    for (const auto& [id, value] : values) contact.PutText(id, value);
    contact.Save();
    return contact.GetEntryID();
  }
  outlook::MAPIFolder Contacts() const { return mNamespace.GetDefaultFolder(olFolderContacts); }
  outlook::ContactItem Contact(const std::string& entryId) const {
    return outlook::ContactItem(mNamespace.GetItemFromID(entryId, ""));
  }
  void Load() {
    ASSERT_TRUE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
    ASSERT_EQ(mStore->LoadContent("Link"), kStoreOk);
  }
  // Writes `text` as the server's new item; its new identifier.
  std::string Add(const std::string& text, const std::string& serverId = "", const std::string& type = "text/x-vcard") {
    const PVCardPtr card = Zep3_PVCard_FromStream(&mContext, text);
    std::string id;
    EXPECT_EQ(mStore->AddAddressBookItem(*card, id, serverId, type), kStoreOk);
    return id;
  }
  StoreWriteStatus Update(const std::string& text, std::string& id, const std::string& type = "text/x-vcard") {
    const PVCardPtr card = Zep3_PVCard_FromStream(&mContext, text);
    StoreWriteStatus status = WRITE_NOTHING;
    EXPECT_EQ(mStore->UpdateAddressBookItem(*card, id, "", type, status), kStoreOk);
    return status;
  }
  // A new store object for the next run (the index saved by this one).
  void NextRun() {
    mStore->mCurrentItems.SaveFile();
    mStore = std::make_unique<COutlook>(mConf, mPrompt, mFactory);
  }
  std::vector<std::string> Members(const std::string& listId) const {
    const outlook::DistListItem list(mNamespace.GetItemFromID(listId, ""));
    std::vector<std::string> names;
    for (int32_t i = 1; i <= list.GetMemberCount(); ++i) names.push_back(list.GetMember(i).GetName());
    return names;
  }

  TempDir mDir;
  std::string mProfile = mDir.Path() + "profile.db";
  ObjectFactory mFactory;
  CConf mConf{mDir.Path() + "config"};
  EmailPrompt mPrompt;
  std::unique_ptr<COutlook> mStore;
  outlook::Application mApp;
  outlook::NameSpace mNamespace;
  VCardContext mContext;
};

// ---- Connection and folders

TEST_F(COutlookTest, TheFirstIdentifierThatCanBeCreatedIsUsedAndNoneGivesTheAutomationErrorText) {
  ObjectFactory laterOnly;
  laterOnly.Register("Outlook.Application.14", [path = mProfile] { return outlookmodel::CreateOutlookApplication(path); });
  EXPECT_TRUE(COutlook(mConf, mPrompt, laterOnly).Initialized());

  ScopedEnv absent("LARK_OUTLOOK_NOT_INSTALLED", "1");
  try {
    COutlook store(mConf, mPrompt, outlookmodel::MakeDefaultObjectFactory());
    FAIL() << "created without the application";
  } catch (const COutlookException& error) {
    EXPECT_EQ(error.Message(), "CreateDispatch() failed Invalid class string - Invalid class string");
  }
}

TEST_F(COutlookTest, FoldersAreListedDefaultFirstDepthFirstWithFullPathsForNamesSeenTwice) {
  const outlook::MAPIFolder other(mNamespace.Call(OutlookId::kAddStore, {"Archive"}).ToDispatch());
  const outlook::MAPIFolder archived = other.GetFolders().Add("Contacts", olFolderContacts);
  archived.GetFolders().Add("Friends", olFolderContacts);
  other.GetFolders().Add("Calendar", olFolderCalendar);
  Contacts().GetFolders().Add("Clients", olFolderContacts);

  std::vector<CSyncLink> folders;
  mStore->EnumerateFolders(olFolderContacts, folders);
  std::vector<std::string> names;
  for (const CSyncLink& folder : folders) names.push_back(folder.mLocalName);
  EXPECT_EQ(names, (std::vector<std::string>{"Personal Folders\\Contacts", "Clients", "Archive\\Contacts", "Friends"}));
  EXPECT_EQ(folders[0].mLocalEntryId, Contacts().GetEntryID());
  EXPECT_EQ(folders[3].mLocalPath, "Archive\\Contacts\\Friends");

  // The listed identifiers select the folder; an item of another folder is absent from it.
  const std::string elsewhere = AddContact(archived, {{OutlookId::kFileAs, "Far Away"}});
  ASSERT_TRUE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, folders[0].mLocalEntryId, folders[0].mLocalStoreId));
  EXPECT_FALSE(mStore->GetItem(elsewhere));
  EXPECT_FALSE(mStore->ItemExists(elsewhere));
  ASSERT_TRUE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, folders[2].mLocalEntryId, folders[2].mLocalStoreId));
  EXPECT_TRUE(mStore->GetItem(elsewhere));
  EXPECT_FALSE(mStore->ItemExists(elsewhere)) << "a contact folder never says a missing item exists";

  try {
    mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "00000000DEADBEEF", folders[0].mLocalStoreId);
    FAIL() << "selected a folder that does not exist";
  } catch (const COutlookException& error) {
    EXPECT_NE(error.Message().find("refuses the synchronization"), std::string::npos) << error.Message();
  }
}

// ---- Reading

TEST_F(COutlookTest, ContactsAreReadIntoRecordsListsAreSkippedAndEmptyAddressesKeepTheirPlace) {
  const std::string id = AddContact(Contacts(), {{OutlookId::kFirstName, "Ada"},
                                                 {OutlookId::kLastName, "Lovelace"},
                                                 {OutlookId::kEmail2Address, "ada@example.org"},
                                                 {OutlookId::kBusinessTelephoneNumber, "+44 1"},
                                                 {OutlookId::kBody, "Notes"}});
  const outlook::DistListItem list(Contacts().GetItems().Add("IPM.DistList"));
  list.SetDLName("Team");
  list.Save();
  Load();

  ASSERT_EQ(mStore->mCurrentItems.Count(), 1u);
  const CDataItem::Ptr ada = mStore->mCurrentItems.Find(id);
  ASSERT_TRUE(ada);
  EXPECT_TRUE(ada->properties.IsPacked()) << "a loaded folder is held packed, also after the e-mail types";
  EXPECT_EQ(ada->Property("PR_ENTRYID"), id);
  EXPECT_EQ(ada->Property("PR_MESSAGE_CLASS"), "IPM.Contact");
  EXPECT_EQ(ada->Property("PR_DISPLAY_NAME"), "Lovelace, Ada");
  EXPECT_EQ(ada->Property("PR_CONTACT_EMAIL_ADDRESSES"), "\tada@example.org\t\t");
  EXPECT_EQ(ada->Property("PR_BUSINESS_TELEPHONE_NUMBER"), "+44 1");
  EXPECT_EQ(ada->Property("PR_COMMENT"), "Notes");
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%.20f", Contact(id).GetLastModificationTime());
  EXPECT_EQ(ada->Property("PR_LAST_MODIFICATION_TIME"), stamp);
  // Silent and "always ask": the empty address before it is business, the address personal.
  EXPECT_EQ(ada->Property("PR_ZEP_EMAIL_ADDRESSES_TYPES"), "W:\tH:ada@example.org\tH:\t");
}

TEST_F(COutlookTest, ACancelRequestStopsTheLoad) {
  AddContact(Contacts(), {{OutlookId::kFileAs, "Someone"}});
  ASSERT_TRUE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
  mConf.SetSyncRunning(CConf::RUN_CANCEL_REQUESTED);
  try {
    mStore->LoadContent("Link");
    FAIL() << "loaded although cancelled";
  } catch (const COutlookException& error) {
    EXPECT_EQ(error.StringId(), unsigned{IDS_CANCELED_BY_USER});
  }
}

// ---- E-mail types

struct EmailCase {
  const char* name;
  int mode;
  bool silent;
  std::vector<std::string> addresses;  // Email1 to Email3
  std::string expectedTypes;
  bool asks;
  bool firstSync = false;  // the link's index lists no item yet
};

class COutlookEmailTypes : public COutlookTest, public ::testing::WithParamInterface<EmailCase> {};

TEST_P(COutlookEmailTypes, AddressesWithoutTypeAreTypedByTheModeOrAsked) {
  const EmailCase& c = GetParam();
  mConf.SetEmailManagementMode(c.mode);
  mConf.SetSilent(c.silent);
  mPrompt.answer = EmailTypesAnswer{{"W", "W", "H"}, EMAIL_UNKNOWN_BUSINESS};
  const DispId ids[] = {OutlookId::kEmail1Address, OutlookId::kEmail2Address, OutlookId::kEmail3Address};
  const outlook::ContactItem contact(Contacts().GetItems().Add("IPM.Contact"));
  contact.SetFileAs("Typed");
  for (size_t i = 0; i < c.addresses.size(); ++i) contact.PutText(ids[i], c.addresses[i]);
  contact.Save();
  if (!c.firstSync) WriteIndexOfAnEarlierRun(mConf.ConfigFolder(), "Link");
  Load();
  EXPECT_EQ(mStore->mCurrentItems.Find(contact.GetEntryID())->Property("PR_ZEP_EMAIL_ADDRESSES_TYPES"), c.expectedTypes);
  EXPECT_EQ(mPrompt.questions.size(), c.asks ? 1u : 0u);
  if (c.asks) {
    EXPECT_EQ(mPrompt.questions[0].displayName, "Typed");
    EXPECT_EQ(mConf.EmailManagementMode(), EMAIL_UNKNOWN_BUSINESS) << "the chosen mode is kept";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, COutlookEmailTypes,
    ::testing::Values(EmailCase{"Personal", EMAIL_UNKNOWN_PERSONAL, false, {"a@x", "b@x"}, "H:a@x\tH:b@x\tW:\t", false},
                      EmailCase{"Business", EMAIL_UNKNOWN_BUSINESS, false, {"a@x", "", "c@x"}, "W:a@x\tW:\tW:c@x\t", false},
                      EmailCase{"SilentAskHomeThenWork", EMAIL_ALWAYS_ASK, true, {"a@x", "b@x"}, "H:a@x\tW:b@x\tH:\t", false},
                      EmailCase{"Asked", EMAIL_ALWAYS_ASK, false, {"a@x", "b@x"}, "W:a@x\tW:b@x\tH:\t", true},
                      // A first upload is not stopped once per contact: typed as a silent run would.
                      EmailCase{"FirstSyncHomeThenWorkUnasked", EMAIL_ALWAYS_ASK, false, {"a@x", "b@x"}, "H:a@x\tW:b@x\tH:\t", false,
                                true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(COutlookTest, CancellingTheEmailQuestionFailsTheLoadAndStopsTheRun) {
  mConf.SetSilent(false);
  mPrompt.answer = std::nullopt;
  WriteIndexOfAnEarlierRun(mConf.ConfigFolder(), "Link");
  AddContact(Contacts(), {{OutlookId::kFileAs, "Untyped"}, {OutlookId::kEmail1Address, "u@x"}});
  ASSERT_TRUE(mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "", ""));
  mConf.SetSyncRunning(CConf::RUN_RUNNING);
  EXPECT_EQ(mStore->LoadContent("Link"), kStoreFail);
  EXPECT_EQ(mStore->mInitError, 0u);
  EXPECT_EQ(mConf.SyncRunning(), CConf::RUN_CANCEL_REQUESTED);
}

// ---- Writing contacts

TEST_F(COutlookTest, ACardFillsTheFieldsByItsRulesAndKeepsWhatOutlookCannotHoldInTheSideLists) {
  Load();
  const std::string id = Add(Card(
      "N:Hopper;Grace;Brewster;Dr.\r\nFN:Grace Hopper\r\nORG:Navy;Research\r\nTITLE:Rear Admiral\r\n"
      "ADR;WORK:;Room 1;1 Main St;Arlington;VA;22201;USA\r\nADR;HOME:;;2 Side St;Sometown;NY;10001;USA\r\n"
      "TEL;WORK;VOICE:+1 1\r\nTEL;WORK;VOICE:+1 2\r\nTEL;WORK;VOICE:+1 3\r\nTEL;CELL:+1 4\r\nTEL;HOME;FAX:+1 5\r\n"
      "EMAIL;INTERNET:one@x\r\nEMAIL;INTERNET;WORK:two@x\r\nEMAIL;INTERNET:three@x\r\nEMAIL;INTERNET;PREF:four@x\r\n"
      "URL;WORK:http://work\r\nURL;WORK:http://work2\r\nNOTE:Compilers\r\n"),
      "server-grace");
  const outlook::ContactItem grace = Contact(id);
  EXPECT_EQ(grace.GetLastName(), "Hopper");
  EXPECT_EQ(grace.GetMiddleName(), "Brewster");
  EXPECT_EQ(grace.GetTitle(), "Dr.");
  EXPECT_EQ(grace.GetFileAs(), "Grace Hopper");
  EXPECT_EQ(grace.GetCompanyName(), "Navy");
  EXPECT_EQ(grace.GetDepartment(), "Research");
  EXPECT_EQ(grace.GetJobTitle(), "Rear Admiral");
  EXPECT_EQ(grace.GetOfficeLocation(), "Room 1");
  EXPECT_EQ(grace.GetBusinessAddressCity(), "Arlington");
  EXPECT_EQ(grace.GetHomeAddressStreet(), "2 Side St");
  EXPECT_EQ(grace.GetBusinessTelephoneNumber(), "+1 1");
  EXPECT_EQ(grace.GetBusiness2TelephoneNumber(), "+1 2");
  EXPECT_EQ(grace.GetMobileTelephoneNumber(), "+1 4");
  EXPECT_EQ(grace.GetHomeFaxNumber(), "+1 5");
  EXPECT_EQ(grace.GetEmail1Address(), "four@x") << "a preferred address seen last comes first";
  EXPECT_EQ(grace.GetEmail2Address(), "one@x");
  EXPECT_EQ(grace.GetEmail3Address(), "two@x");
  EXPECT_EQ(grace.GetBusinessHomePage(), "http://work");
  EXPECT_EQ(grace.GetBody(), "Compilers");

  const CDataItem::Ptr record = mStore->mCurrentItems.Find(id);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->Property("PR_ZEP_EMAIL_ADDRESSES_TYPES"), "H:four@x\tH:one@x\tW:two@x\tH:three@x\t");
  EXPECT_EQ(record->Property("PR_ZEP_ADDITIONAL_PHONES_LIST"), "+1 3\t");
  EXPECT_EQ(record->Property("PR_ZEP_ADDITIONAL_PHONES_ATTR"), "WTN\t");
  EXPECT_EQ(record->Property("PR_ZEP_ADDITIONAL_URLS_LIST"), "http://work2\t");
  EXPECT_EQ(mStore->mIdMap.at("server-grace"), id);

  // The next run reads Outlook's three addresses and phones and brings back what only the index
  // holds: the card it sends is the card it was given.
  NextRun();
  Load();
  const CDataItem::Ptr again = mStore->mCurrentItems.Find(id);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Property("PR_ZEP_EMAIL_ADDRESSES_TYPES"), "H:four@x\tH:one@x\tW:two@x\tH:three@x\t");
  EXPECT_EQ(again->Property("PR_LAST_MODIFICATION_TIME"), record->Property("PR_LAST_MODIFICATION_TIME"));
  const std::string sent = again->ToVCard();
  for (const char* expected : {"three@x", "+1 3", "http://work2", "four@x"}) {
    EXPECT_NE(sent.find(expected), std::string::npos) << expected << " missing from\n" << sent;
  }
}

TEST_F(COutlookTest, AReplacedContactLosesWhatTheCardNoLongerSaysAndAMissingOneIsMadeAnew) {
  Load();
  std::string id = Add(Card("N:Turing;Alan\r\nFN:Alan Turing\r\nTEL;HOME;VOICE:+44 1\r\nEMAIL:alan@x\r\nNOTE:Codes\r\n"));
  EXPECT_EQ(Update(Card("N:Turing;Alan\r\nFN:Alan Turing\r\nTEL;WORK;VOICE:+44 2\r\n"), id), WRITE_DONE);
  const outlook::ContactItem alan = Contact(id);
  EXPECT_EQ(alan.GetHomeTelephoneNumber(), "");
  EXPECT_EQ(alan.GetBusinessTelephoneNumber(), "+44 2");
  EXPECT_EQ(alan.GetEmail1Address(), "");
  EXPECT_EQ(alan.GetBody(), "");

  const std::string before = id;
  alan.Delete();
  EXPECT_EQ(Update(Card("NICKNAME:Prof\r\nN:Turing;Alan\r\n"), id), WRITE_NAME_COMPLETED);
  EXPECT_NE(id, before);
  EXPECT_EQ(Contact(id).GetFileAs(), "Prof") << "the nickname completes the missing display name";
}

TEST_F(COutlookTest, AGroupGoesToADistributionListWithTheMembersTheServerSentEarlierInTheRun) {
  Load();
  const std::string mona = Add(Card("N:Member;Mona\r\nFN:Mona Member\r\n"), "srv-1");
  const std::string max = Add(Card("N:Member;Max\r\nFN:Max Member\r\n"), "srv-2");
  const std::string local = AddContact(Contacts(), {{OutlookId::kFileAs, "Lou Local"}});
  const std::string group = Card("FN:Team\r\nNOTE:The team\r\nUID:TMP:srv-1\r\nUID:TMP:srv-2\r\nUID:TMP:srv-unknown\r\nUID:" +
                                 local + "\r\n");
  const std::string list = Add(group, "srv-team", kGroupContentType);
  EXPECT_EQ(Members(list), (std::vector<std::string>{"Mona Member", "Max Member", "Lou Local"}));
  EXPECT_EQ(outlook::DistListItem(mNamespace.GetItemFromID(list, "")).GetDLName(), "Team");
  EXPECT_FALSE(mStore->mCurrentItems.Contains(list)) << "lists stay local";

  // A new card of the list replaces its members; the same card as a contact makes a contact.
  std::string listId = list;
  Update(Card("FN:Team\r\nUID:" + max + "\r\n"), listId, kGroupContentType);
  EXPECT_EQ(listId, list);
  EXPECT_EQ(Members(list), std::vector<std::string>{"Max Member"});
  const std::string asContact = Add(Card("FN:Team\r\nUID:" + max + "\r\n"));
  EXPECT_EQ(Contact(asContact).GetMessageClass(), "IPM.Contact");
  (void)mona;
}

// A member is the contact the group names, never another of the same name; one Outlook cannot
// resolve to it (no address, its name taken) is left out.
TEST_F(COutlookTest, ListMembersAreTheContactsTheGroupNamesNotOthersOfTheirName) {
  Load();
  AddContact(Contacts(), {{OutlookId::kFileAs, "Chris Lee"}, {OutlookId::kEmail1Address, "chris@first.example"}});
  const std::string second =
      AddContact(Contacts(), {{OutlookId::kFileAs, "Chris Lee"}, {OutlookId::kEmail1Address, "chris@second.example"}});
  const std::string third = AddContact(Contacts(), {{OutlookId::kFileAs, "Chris Lee"}});
  const std::string list = Add(Card("FN:Team\r\nUID:" + second + "\r\nUID:" + third + "\r\n"), "srv-team", kGroupContentType);
  const outlook::DistListItem item(mNamespace.GetItemFromID(list, ""));
  ASSERT_EQ(item.GetMemberCount(), 1);
  EXPECT_EQ(item.GetMember(1).GetEntryID(), std::string(kContactReferencePrefix) + second);
}

// ---- Deleting and failures

TEST_F(COutlookTest, ADeletionRemovesTheItemAndItsRecordsEvenWhenOutlookNoLongerHasIt) {
  const std::string id = AddContact(Contacts(), {{OutlookId::kFileAs, "Gone Soon"}});
  Load();
  NextRun();
  Load();
  ASSERT_TRUE(mStore->mSavedItems.Contains(id));
  EXPECT_TRUE(mStore->RemoveItem(id));
  EXPECT_FALSE(mStore->mCurrentItems.Contains(id));
  EXPECT_FALSE(mStore->mSavedItems.Contains(id));
  EXPECT_THROW(Contact(id), AutomationError);
  EXPECT_TRUE(mStore->RemoveItem(id));
}

TEST_F(COutlookTest, AValueOutlookRefusesReachesTheCallerAsAnAutomationRefusal) {
  Load();
  const PVCardPtr card = Zep3_PVCard_FromStream(&mContext, Card("FN:Huge\r\nNOTE:" + std::string(5u << 20, 'x') + "\r\n"));
  ASSERT_TRUE(card);
  std::string id;
  try {
    mStore->AddAddressBookItem(*card, id, "srv-huge", "text/x-vcard");
    FAIL() << "a refused value was reported as written";
  } catch (const CAutomationException& error) {
    EXPECT_NE(error.Description().find("too long"), std::string::npos) << error.Description();
  }
  EXPECT_EQ(Contacts().GetItems().GetCount(), 0);
}

TEST_F(COutlookTest, CalendarFoldersHoldCalendarItemsAndATextWithoutEventOrTaskIsRefused) {
  ASSERT_TRUE(mStore->SetCurrentFolder(DATA_TYPE_EVENTS, "", ""));
  EXPECT_EQ(mStore->GetContentKind(), CONTENT_CALENDAR);
  EXPECT_EQ(mStore->LoadContent("Calendar"), kStoreOk);
  std::string id;
  EXPECT_EQ(mStore->AddCalendarItem("BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n", id), kStoreFail);
  EXPECT_EQ(mNamespace.GetDefaultFolder(olFolderCalendar).GetItems().GetCount(), 0);
}

}  // namespace

// ---- The run's store

class OutlookRunTest : public SyncRunTest {
 protected:
  OutlookRunTest() {
    mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    mConf.SetSilent(false);
  }
  ScopedEnv mProfile{"LARK_OUTLOOKMODEL_PROFILE", mDir.Path() + "profile.db"};
};

TEST_F(OutlookRunTest, WithoutTheApplicationTheRunShowsTheConstructorsTextOnceAndRunsNoLink) {
  ScopedEnv absent("LARK_OUTLOOK_NOT_INSTALLED", "1");
  RunStoreFactory stores;
  ASSERT_THROW(stores.CreateStore(mConf, mPrompt), COutlookException);
  mRun = std::make_unique<CSyncRun>(mConf, CSyncRun::Services{mObserver, mPrompt, stores, mUpdates, &mTransports});
  RunOnce();
  const std::string text = "CreateDispatch() failed Invalid class string - Invalid class string";
  EXPECT_EQ(mPrompt.Texts(), std::vector<std::string>{text});
  EXPECT_EQ(mRun->LastOutcome().error, text);
  EXPECT_EQ(mRun->LastOutcome().linksRun, 0);
  for (const CSyncLink& link : mConf.Links()) EXPECT_EQ(link.mState, SYNC_STATE_NEVER);
}

TEST_F(OutlookRunTest, WithTheApplicationTheRunGetsTheOutlookStore) {
  RunStoreFactory stores;
  const std::unique_ptr<CDatabaseObject> store = stores.CreateStore(mConf, mPrompt);
  EXPECT_NE(dynamic_cast<COutlook*>(store.get()), nullptr);
  EXPECT_EQ(store->mInitError, 0u);
}

// Records, each time the run asks the store to make its writes durable, how many server items
// it had written, how many messages had gone to the server and what the index file held.
struct CommitSeen {
  int writes;
  size_t postsBefore;
  std::string index;
};

class RecordingOutlook final : public COutlook {
 public:
  RecordingOutlook(CConf& conf, Prompt& prompt, const ObjectFactory& factory, std::function<void(int)> onCommit)
      : COutlook(conf, prompt, factory), mOnCommit(std::move(onCommit)) {}
  int32_t AddAddressBookItem(PVCard& card, std::string& id, const std::string& serverId, const std::string& type) override {
    ++mWrites;
    return COutlook::AddAddressBookItem(card, id, serverId, type);
  }
  void CommitWrites() override {
    mOnCommit(mWrites);
    COutlook::CommitWrites();
  }

 private:
  std::function<void(int)> mOnCommit;
  int mWrites = 0;
};

class RecordingOutlookFactory final : public SyncStoreFactory {
 public:
  RecordingOutlookFactory(std::string profile, std::function<void(int)> onCommit) : mOnCommit(std::move(onCommit)) {
    mFactory.Register("Outlook.Application", [profile] { return outlookmodel::CreateOutlookApplication(profile); });
  }
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt& prompt) override {
    return std::make_unique<RecordingOutlook>(conf, prompt, mFactory, mOnCommit);
  }

 private:
  ObjectFactory mFactory;
  std::function<void(int)> mOnCommit;
};

TEST_F(OutlookRunTest, ServerItemsAreFlushedBeforeTheMessageWithTheirMapsAndBeforeTheIndex) {
  mConf.SetSilent(true);
  std::vector<CommitSeen> commits;
  RecordingOutlookFactory stores(mDir.Path() + "profile.db", [&](int writes) {
    commits.push_back({writes, mServer.Posts().size(), IndexBytes(0)});
  });
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("./contacts") != std::string::npos && message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + ServerSync(ServerContactAdd(4, "srv-1", "Grace Hopper")));
    }
    return ScriptedPeer::DefaultReply(message, index);
  });
  mRun = std::make_unique<CSyncRun>(mConf, CSyncRun::Services{mObserver, mPrompt, stores, mUpdates, &mTransports});
  RunOnce(0);
  ASSERT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED) << Link(0).mStatusText;

  const std::vector<ScriptedPeer::Posted> posts = mServer.Posts();
  size_t mapPost = posts.size();
  for (size_t i = 0; i < posts.size() && mapPost == posts.size(); ++i) {
    if (posts[i].body.find("<Map>") != std::string::npos) mapPost = i;
  }
  ASSERT_LT(mapPost, posts.size()) << "no Map was sent";
  const auto flushedBeforeMap = std::find_if(commits.begin(), commits.end(), [&](const CommitSeen& commit) {
    return commit.writes == 1 && commit.postsBefore <= mapPost;
  });
  EXPECT_NE(flushedBeforeMap, commits.end()) << "the written item was not flushed before its Map went out";
  // The last request comes after the session, just before the index is written.
  const std::string grace("G\0r\0a\0c\0e", 9);  // the index holds UTF-16LE text
  ASSERT_FALSE(commits.empty());
  EXPECT_EQ(commits.back().postsBefore, posts.size());
  EXPECT_EQ(commits.back().index.find(grace), std::string::npos) << "the index was saved before the flush";
  EXPECT_NE(IndexBytes(0).find(grace), std::string::npos) << "the index lists the item";
}

// ---- The command-line import, then the folder's first sync

namespace {

// Cards as another address book exports them: the work address first, the home one second (the
// order the automatic typing of a first sync would read the other way round), and a fourth
// address and a car phone Outlook has no field for.
std::string ImportedCard(int i) {
  const std::string n = std::to_string(i);
  std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:imported-" + n + "\r\nN:Family" + n + ";Given" + n + ";;;\r\nFN:Given" + n +
                     " Family" + n + "\r\nEMAIL;TYPE=INTERNET,WORK:work" + n + "@example.com\r\nEMAIL;TYPE=INTERNET,HOME:home" + n +
                     "@example.org\r\n";
  if (i % 2 == 0) {
    card += "EMAIL;TYPE=WORK:desk" + n + "@example.com\r\nEMAIL;TYPE=HOME:old" + n + "@example.org\r\nTEL;TYPE=CAR:+1 555 01" + n + "\r\n";
  }
  return card + "END:VCARD\r\n";
}

// Each sent card's display name with the side lists the contact mapping reads from it.
std::map<std::string, std::string> SideListsOfCards(const std::vector<std::string>& texts) {
  std::map<std::string, std::string> lists;
  for (const std::string& text : texts) {
    for (size_t begin = text.find("BEGIN:VCARD"); begin != std::string::npos; begin = text.find("BEGIN:VCARD", begin + 1)) {
      const size_t end = text.find("END:VCARD", begin);
      if (end == std::string::npos) break;
      VCardContext context;
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, text.substr(begin, end + 9 - begin) + "\r\n");
      if (!card) continue;
      CDataItem record;
      ContactRecordBuilder(record).Build(*card);
      lists[record.Property("PR_DISPLAY_NAME")] = record.Property("PR_ZEP_EMAIL_ADDRESSES_TYPES") + "|" +
                                                   record.Property("PR_ZEP_ADDITIONAL_PHONES_ATTR");
    }
  }
  return lists;
}

}  // namespace

TEST_F(OutlookRunTest, AnImportedAddressBookReachesTheServerWithTheTypesOfItsCardsAndTheProfileKeepsItsAddresses) {
  constexpr int kCards = 40;
  std::string file;
  std::vector<std::string> cards;
  for (int i = 1; i <= kCards; ++i) cards.push_back(ImportedCard(i));
  for (const std::string& card : cards) file += card;
  WriteFileBytes(mDir.Path() + "book.vcf", file);
  // The tool runs as the user's program: its configuration folder is the one the runs use.
  const std::string data = mDir.Path() + "data/";
  std::filesystem::create_directories(data + BuildInfo::kCompanyName);
  std::filesystem::create_directory_symlink(mConf.ConfigFolder(), data + BuildInfo::kCompanyName + "/" + BuildInfo::kProductName);
  const std::string command = "LARK_OUTLOOKMODEL_PROFILE='" + mDir.Path() + "profile.db' XDG_DATA_HOME='" + data + "' '" LARK_TOOL
                              "' outlook import contacts '" + mDir.Path() + "book.vcf' >'" + mDir.Path() + "import.out' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(mDir.Path() + "import.out");

  outlook::NameSpace session = outlook::Application(outlookmodel::CreateOutlookApplication(mDir.Path() + "profile.db")).GetNamespace("MAPI");
  const auto addresses = [&session] {
    std::map<std::string, std::string> held;
    const outlook::Items items = session.GetDefaultFolder(olFolderContacts).GetItems();
    for (int32_t i = 1; i <= items.GetCount(); ++i) {
      const outlook::ContactItem contact(items.Item(i));
      held[contact.GetFileAs()] = contact.GetEmail1Address() + " " + contact.GetEmail2Address() + " " + contact.GetEmail3Address();
    }
    return held;
  };
  const std::map<std::string, std::string> imported = addresses();
  ASSERT_EQ(imported.size(), size_t{kCards});

  mConf.SetSilent(true);
  RunStoreFactory stores;
  mRun = std::make_unique<CSyncRun>(mConf, CSyncRun::Services{mObserver, mPrompt, stores, mUpdates, &mTransports});
  RunOnce(0);
  ASSERT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED) << Link(0).mStatusText;
  std::vector<std::string> bodies;
  for (const ScriptedPeer::Posted& post : mServer.Posts()) bodies.push_back(post.body);
  const std::map<std::string, std::string> sent = SideListsOfCards(bodies);
  EXPECT_EQ(sent, SideListsOfCards(cards)) << "every address and number goes out with the type its card gave it";
  EXPECT_EQ(addresses(), imported);

  // The next run sends nothing: the index took the types over.
  const size_t postsBefore = mServer.Posts().size();
  RunOnce(0);
  ASSERT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED) << Link(0).mStatusText;
  for (size_t i = postsBefore; i < mServer.Posts().size(); ++i) EXPECT_EQ(CountElements(mServer.Posts()[i].body, "Replace"), 0);
  EXPECT_EQ(addresses(), imported);
}

TEST_F(OutlookRunTest, ARunWithoutChangesReadsNoKeptTextAndARunWithOneReadsIt) {
  outlook::NameSpace session = outlook::Application(outlookmodel::CreateOutlookApplication(mDir.Path() + "profile.db")).GetNamespace("MAPI");
  const outlook::MAPIFolder contacts = session.GetDefaultFolder(olFolderContacts);
  for (int i = 0; i < 30; ++i) {
    const outlook::ContactItem contact(contacts.GetItems().Add("IPM.Contact"));
    contact.PutText(OutlookId::kFileAs, "Contact " + std::to_string(i));
    contact.PutText(OutlookId::kEmail1Address, "c" + std::to_string(i) + "@example.org");
    contact.Save();
  }
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("./contacts") != std::string::npos && message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + ServerSync(ServerContactAdd(4, "srv-1", "Grace Hopper")));
    }
    return ScriptedPeer::DefaultReply(message, index);
  });
  RunStoreFactory stores;
  mRun = std::make_unique<CSyncRun>(mConf, CSyncRun::Services{mObserver, mPrompt, stores, mUpdates, &mTransports});
  RunOnce(0);
  ASSERT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED) << Link(0).mStatusText;
  const std::string texts = mConf.ConfigFolder() + Link(0).LocalFileName() + ".texts";
  ASSERT_NE(ReadFileBytes(texts).find("Grace"), std::string::npos) << "the server's item is kept";

  // A file that cannot be read fails any run that reads it.
  mServer.SetResponder(ScriptedPeer::DefaultReply);
  WriteFileBytes(texts, std::string(8192, 'x'));
  RunOnce(0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED) << "a run without changes read a kept text: " << Link(0).mStatusText;

  const outlook::ContactItem changed(contacts.GetItems().Item(1));
  changed.PutText(OutlookId::kEmail1Address, "changed@example.org");
  changed.Save();
  RunOnce(0);
  EXPECT_NE(Link(0).mState, SYNC_STATE_SYNCHRONIZED) << "the changed contact goes out merged into its kept text";
}
