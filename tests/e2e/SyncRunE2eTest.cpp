// Complete sync runs against each local SyncML server with each local store: first slow sync
// both ways, quiet second run, local and server changes, groups, modes, contacts with more than
// the application holds, the e-mail types, a run killed during a download.
#include <filesystem>
#include <set>
#include <sstream>

#include "common/StringTable.h"
#include "pim/ContactRecordBuilder.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "syncml/DatabaseRequest.h"
#include "stores/CDatabaseObject.h"
#include "tests/support/StatefulSyncServer.h"
#include "tests/e2e/E2eSupport.h"

namespace {

namespace fs = std::filesystem;

class SyncRunE2eTest : public E2eTest {
 protected:
  // Local and server items of all three kinds, synchronized once.
  void SynchronizeSamples() {
    mAda = Local().AddContact(VCard("Ada", "Lovelace", "TEL;WORK;VOICE:+44 20 7946 0001\r\nEMAIL;INTERNET:ada@example.org\r\n"));
    mAlan = Local().AddContact(VCard("Alan", "Turing", "ORG:Bletchley Park\r\nNOTE:Codes\r\n"));
    WriteServer("contacts", "server-grace", VCard("Grace", "Hopper", "TEL;CELL:+1 202 555 0143\r\n"));
    if (Can().calendar) {
      mReview = Local().AddCalendarItem(DATA_TYPE_EVENTS, VEvent("Quarterly review", "20270112T090000Z", "20270112T103000Z"));
      WriteServer("events", "server-launch", VEvent("Launch", "20270301T140000Z", "20270301T150000Z"));
    }
    if (Can().tasks) {
      Local().AddCalendarItem(DATA_TYPE_TASKS, VTodo("Annual report", "20270131"));
      WriteServer("tasks", "server-taxes", VTodo("File taxes", "20270415"));
    }
    const SyncRunOutcome outcome = Sync();
    ASSERT_TRUE(outcome.Succeeded()) << outcome.error << " " << Statuses();
  }
  std::string Statuses() {
    std::string text;
    for (size_t i = 0; i < mConf->Links().Size(); ++i) text += Link(static_cast<int>(i)).mStatusText + " | ";
    return text;
  }
  // The links the store has: contacts first, then events and tasks where it holds them.
  std::vector<int> Links() const {
    std::vector<int> links;
    for (size_t i = 0; i < mConf->Links().Size(); ++i) links.push_back(static_cast<int>(i));
    return links;
  }
  // The server's contact whose display name is `name`, read with the shared contact rules.
  CDataItem ServerContact(const std::string& name) const {
    for (const std::string& text : Server().Items("contacts")) {
      VCardContext context;
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
      CDataItem record;
      if (card) ContactRecordBuilder(record).Build(*card);
      if (record.Property("PR_DISPLAY_NAME") == name) return record;
    }
    ADD_FAILURE() << "no contact " << name << " on the server";
    return CDataItem();
  }
  std::string mAda, mAlan, mReview;
};

// Scenarios of the driver and the server alone (sync modes, the database request, switched-off
// links): what they check does not depend on the local store, so they run over every server with
// the folder store only.
class SyncRunDriverE2eTest : public SyncRunE2eTest {};

TEST_P(SyncRunE2eTest, FirstRunSlowSyncsEveryTypeBothWaysAndBothSidesHoldTheSameItems) {
  SynchronizeSamples();
  ExpectBothSidesEqual();
  EXPECT_EQ(LocalContacts().size(), 3u);
  if (Can().calendar) {
    EXPECT_EQ(Local().CalendarItems(DATA_TYPE_EVENTS).size(), 2u);
  }
  if (Can().tasks) {
    EXPECT_EQ(Local().CalendarItems(DATA_TYPE_TASKS).size(), 2u);
  }
  EXPECT_EQ(Links().size(), 1u + Can().calendar + Can().tasks);
  for (int link : Links()) {
    EXPECT_EQ(Link(link).mState, SYNC_STATE_SYNCHRONIZED);
    EXPECT_EQ(Link(link).mServerCounts.added, 1) << link;
  }
  EXPECT_EQ(Link(0).mLocalCounts.added, 2);
}

TEST_P(SyncRunE2eTest, SecondRunWithoutChangesSendsAndReceivesNothing) {
  SynchronizeSamples();
  const SyncRunOutcome outcome = Sync();
  EXPECT_TRUE(outcome.Succeeded()) << outcome.error;
  EXPECT_EQ(ItemCommandsInLog(), 0);
  for (int link : Links()) {
    EXPECT_FALSE(Link(link).mLocalCounts.Any()) << link;
    EXPECT_FALSE(Link(link).mServerCounts.Any()) << link;
  }
  ExpectBothSidesEqual();
}

TEST_P(SyncRunE2eTest, LocalUpdateIsSentAsReplaceAndLocalDeletionAsDelete) {
  SynchronizeSamples();
  Local().ChangeContact(mAda, VCard("Ada", "King", "TEL;WORK;VOICE:+44 20 7946 0002\r\n"));
  Local().DeleteContact(mAlan);
  if (Can().calendar) {
    Local().ChangeCalendarItem(DATA_TYPE_EVENTS, mReview, VEvent("Quarterly review (moved)", "20270113T090000Z", "20270113T103000Z"));
  }
  ASSERT_TRUE(Sync().Succeeded()) << Statuses();
  const std::string log = LogText();
  EXPECT_NE(log.find("CSyncML::Replace\tDebug\tItem Id\n"), std::string::npos);
  EXPECT_NE(log.find("\tCSyncML::Delete\tDebug\tBegin"), std::string::npos);
  EXPECT_EQ(Link(0).mLocalCounts, (ChangeCounts{0, 1, 1}));
  if (Can().calendar) {
    EXPECT_EQ(Link(1).mLocalCounts, (ChangeCounts{0, 1, 0}));
  }
  ExpectBothSidesEqual();
  EXPECT_EQ(ServerContents("contacts").size(), 2u);
}

TEST_P(SyncRunE2eTest, ServerAdditionChangeAndDeletionReachTheLocalStore) {
  SynchronizeSamples();
  WriteServer("contacts", "server-linus", VCard("Linus", "Pauling", "EMAIL;INTERNET;WORK:linus@example.org\r\n"));
  WriteServer("contacts", "server-grace", VCard("Grace", "Hopper", "TEL;CELL:+1 202 555 0199\r\nTITLE:Rear Admiral\r\n"));
  if (Can().tasks) WriteServer("tasks", "server-taxes", VTodo("File taxes early", "20270401"));
  if (Can().calendar) DeleteServer("events", "server-launch");
  ASSERT_TRUE(Sync().Succeeded()) << Statuses();
  EXPECT_EQ(Link(0).mServerCounts, (ChangeCounts{1, 1, 0}));
  if (Can().calendar) {
    EXPECT_EQ(Link(1).mServerCounts, (ChangeCounts{0, 0, 1}));
  }
  if (Can().tasks) {
    EXPECT_EQ(Link(Can().calendar ? 2 : 1).mServerCounts, (ChangeCounts{0, 1, 0}));
  }
  ExpectBothSidesEqual();
  const auto contacts = LocalContacts();
  EXPECT_EQ(contacts.size(), 4u);
  EXPECT_NE(std::find_if(contacts.begin(), contacts.end(), [](const std::string& c) { return c.find("Rear Admiral") != std::string::npos; }),
            contacts.end());
  if (Can().calendar) {
    EXPECT_EQ(Local().CalendarItems(DATA_TYPE_EVENTS).size(), 1u);
  }

  // A server deletion reaches the store as well.
  DeleteServer("contacts", "server-linus");
  ASSERT_TRUE(Sync().Succeeded()) << Statuses();
  EXPECT_EQ(Link(0).mServerCounts, (ChangeCounts{0, 0, 1}));
  EXPECT_EQ(Local().IdOf("Linus Pauling"), "");
  ExpectBothSidesEqual();

  // What came from the server is not sent back by the run after.
  ASSERT_TRUE(Sync().Succeeded());
  EXPECT_EQ(ItemCommandsInLog(), 0);
}

TEST_P(SyncRunE2eTest, AGroupsNewMembersGoOutFirstAndTheGroupStaysLocal) {
  if (!Can().groups) GTEST_SKIP() << Local().Name() << " store does not read its groups as items";
  if (GetParam().store != StoreKind::Folder) GTEST_SKIP() << "the group is written as a folder store's group file";
  SynchronizeSamples();
  WriteLocal("contacts", "b-outsider.vcf", VCard("Olive", "Outsider"));
  WriteLocal("contacts", "m1.vcf", VCard("Mona", "Member"));
  WriteLocal("contacts", "m2.vcf", VCard("Max", "Member"));
  WriteLocal("contacts", "a-team.group", "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Team\r\nUID:m1.vcf\r\nUID:m2.vcf\r\nEND:VCARD\r\n");
  ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  const std::string log = LogText();
  const size_t first = log.find("Item Id\n");
  ASSERT_NE(first, std::string::npos);
  // The group sorts first in the folder; its members go out before the contact after it.
  EXPECT_LT(log.find("\tm1.vcf\n"), log.find("\tb-outsider.vcf\n"));
  EXPECT_LT(log.find("\tm2.vcf\n"), log.find("\tb-outsider.vcf\n"));
  EXPECT_EQ(log.find("\ta-team.group\n", log.find("CSyncML::Add")), std::string::npos);
  ExpectBothSidesEqual();
  EXPECT_TRUE(fs::exists(LocalFolder("contacts") + "a-team.group"));
}

TEST_P(SyncRunDriverE2eTest, DownloadOnlySendsNothingEvenWhenTheServerAsksForASlowSync) {
  Link(0).mMode = SYNC_MODE_DOWNLOAD;
  Local().AddContact(VCard("Lou", "Local"));
  WriteServer("contacts", "server-sam", VCard("Sam", "Server"));
  ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  EXPECT_EQ(ServerContents("contacts"), std::vector<std::string>{ContactContent(VCard("Sam", "Server"))});
  EXPECT_EQ(LocalContacts().size(), 2u);

  // An anchor the server does not know makes it ask for a slow sync (a server that looks at anchors),
  // which runs without a question with the guard off.
  mConf->SetSlowSyncGuard(false);
  WriteFileBytes(mConf->ConfigFolder() + Link(0).LocalFileName() + ".anc", "41");
  const SyncRunOutcome outcome = Sync(0);
  EXPECT_TRUE(outcome.Succeeded()) << Link(0).mStatusText;
  if (ForcesSlowSyncOnUnknownAnchor(GetParam())) {
    EXPECT_NE(LogText().find("Slow Sync requested"), std::string::npos);
  }
  EXPECT_EQ(ItemCommandsInLog(), 0);
  EXPECT_EQ(ServerContents("contacts").size(), 1u);
}

TEST_P(SyncRunDriverE2eTest, UploadOnlyAppliesNothingFromTheServer) {
  Link(0).mMode = SYNC_MODE_UPLOAD;
  Local().AddContact(VCard("Mine", "Local"));
  WriteServer("contacts", "server-theirs", VCard("Theirs", "Server"));
  ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  EXPECT_EQ(LocalContacts(), std::vector<std::string>{ContactContent(VCard("Mine", "Local"))});
  EXPECT_FALSE(Link(0).mServerCounts.Any());
  const auto server = ServerContents("contacts");
  EXPECT_NE(std::find(server.begin(), server.end(), ContactContent(VCard("Mine", "Local"))), server.end());
}

TEST_P(SyncRunDriverE2eTest, DatabaseRequestFindsTheServersContactsEventsAndTasks) {
  std::ostringstream out;
  HeadlessPrompt prompt(out);
  ASSERT_EQ(RequestServerDatabases(*mConf, prompt), DatabaseRequestResult::Succeeded) << out.str();
  std::set<int> types;
  for (const CSyncLink& link : mConf->Links()) {
    if (link.mServerName.empty()) types.insert(link.mDataType);
  }
  EXPECT_EQ(types, (std::set<int>{DATA_TYPE_CONTACTS, DATA_TYPE_EVENTS, DATA_TYPE_TASKS}));
  // The request leaves its session open (the server's Get of the client's DevInf is never
  // answered), which makes SyncEvolution hold every other device's session until the client's
  // time-out; a restart ends it for the tests after this one.
  Server().Stop();
  Server().Start();
}

TEST_P(SyncRunDriverE2eTest, LinksSwitchedOffOrNotSelectedKeepTheirStateAndItems) {
  if (!Can().calendar || !Can().tasks) GTEST_SKIP() << Local().Name() << " store holds no events and tasks";
  WriteServer("events", "server-launch", VEvent("Launch", "20270301T140000Z", "20270301T150000Z"));
  WriteServer("tasks", "server-taxes", VTodo("File taxes", "20270415"));
  mConf->SetSyncCal(false);
  ASSERT_TRUE(Sync(0).Succeeded());
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  ASSERT_EQ(mConf->Links().Size(), 2u);  // saving drops the link of the switched-off type
  EXPECT_EQ(Link(1).mDataType, DATA_TYPE_TASKS);
  EXPECT_EQ(Link(1).mState, SYNC_STATE_NEVER);
  EXPECT_TRUE(Local().CalendarItems(DATA_TYPE_EVENTS).empty());
  EXPECT_TRUE(Local().CalendarItems(DATA_TYPE_TASKS).empty());
  EXPECT_FALSE(fs::exists(mConf->ConfigFolder() + "Tasks.anc"));
}

TEST_P(SyncRunE2eTest, ExtraAddressesAndPhonesOfAServerContactSurviveALocalChange) {
  WriteServer("contacts", "server-many",
              VCard("Many", "Ways",
                    "EMAIL;INTERNET:one@example.org\r\nEMAIL;INTERNET;WORK:two@example.org\r\nEMAIL;INTERNET:three@example.org\r\n"
                    "EMAIL;INTERNET;WORK:four@example.org\r\nTEL;WORK;VOICE:+1 555 0001\r\nTEL;WORK;VOICE:+1 555 0002\r\n"
                    "TEL;WORK;VOICE:+1 555 0003\r\n"));
  ASSERT_TRUE(Sync(0).Succeeded()) << Statuses();
  const std::string id = Local().IdOf("Many Ways");
  ASSERT_NE(id, "");

  // The user changes the title; an application with three address and two work phone fields
  // keeps only those, and what it had no field for goes back from the store's side lists.
  Local().ChangeContact(id, VCard("Many", "Ways",
                                  "TITLE:Juggler\r\nEMAIL;INTERNET:one@example.org\r\nEMAIL;INTERNET;WORK:two@example.org\r\n"
                                  "EMAIL;INTERNET:three@example.org\r\nEMAIL;INTERNET;WORK:four@example.org\r\n"
                                  "TEL;WORK;VOICE:+1 555 0001\r\nTEL;WORK;VOICE:+1 555 0002\r\nTEL;WORK;VOICE:+1 555 0003\r\n"));
  ASSERT_TRUE(Sync(0).Succeeded()) << Statuses();
  EXPECT_EQ(Link(0).mLocalCounts, (ChangeCounts{0, 1, 0}));
  const CDataItem sent = ServerContact("Many Ways");
  EXPECT_EQ(sent.Property("PR_TITLE"), "Juggler");
  const std::string& typed = sent.Property("PR_ZEP_EMAIL_ADDRESSES_TYPES");
  for (const char* address : {"one@example.org", "two@example.org", "three@example.org", "four@example.org"}) {
    EXPECT_NE(typed.find(address), std::string::npos) << address << " in " << typed;
  }
  EXPECT_NE(typed.find("W:four@example.org"), std::string::npos) << typed;
  // Which number takes which field is the store's rule (the address book places them from the
  // last to the first); each of the three goes back once.
  std::vector<std::string> phones{sent.Property("PR_BUSINESS_TELEPHONE_NUMBER"), sent.Property("PR_BUSINESS2_TELEPHONE_NUMBER")};
  const std::string extra = sent.Property("PR_ZEP_ADDITIONAL_PHONES_LIST");
  ASSERT_FALSE(extra.empty());
  EXPECT_EQ(extra.back(), '\t') << extra;
  phones.push_back(extra.substr(0, extra.size() - 1));
  std::sort(phones.begin(), phones.end());
  EXPECT_EQ(phones, (std::vector<std::string>{"+1 555 0001", "+1 555 0002", "+1 555 0003"}));
}

// The system's own server sends contact groups ("text/zep-group") whose members name contacts it
// sent earlier in the same run by server identifier ("TMP:"); the standard servers send none.
TEST_P(SyncRunE2eTest, AServerGroupWhoseMembersCameInTheSameRunBecomesALocalGroupOfThem) {
  if (!Can().serverGroups) GTEST_SKIP() << Local().Name() << " store keeps no groups";
  StatefulSyncServer* server = Server().Scripted();
  if (server == nullptr) GTEST_SKIP() << PeerName(GetParam()) << " sends no contact groups";
  server->PutItem("contacts", "a-mona", VCard("Mona", "Member"));
  server->PutItem("contacts", "b-max", VCard("Max", "Member"));
  server->PutItem("contacts", "z-team",
                  "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Team\r\nUID:TMP:a-mona\r\nUID:TMP:b-max\r\nUID:TMP:unknown\r\nEND:VCARD\r\n",
                  kGroupContentType);
  ASSERT_TRUE(Sync(0).Succeeded()) << Statuses();
  EXPECT_EQ(Local().GroupMembers("Team"), (std::vector<std::string>{"Mona Member", "Max Member"}));
  EXPECT_EQ(LocalContacts().size(), 2u) << "the group is no contact";
  ASSERT_TRUE(Sync(0).Succeeded()) << Statuses();
  EXPECT_EQ(ItemCommandsInLog(), 0) << "the group stays local";
}

// Addresses the user typed in without a kind get one by the e-mail management mode (the run is
// silent: "always ask" takes the automatic answer).
TEST_P(SyncRunE2eTest, UntypedLocalAddressesGoOutTypedByTheEmailManagementMode) {
  if (!Can().typesEmailAddresses) GTEST_SKIP() << Local().Name() << " store sends the types its items carry";
  const std::pair<int, const char*> modes[] = {
      {EMAIL_UNKNOWN_PERSONAL, "H:a@example.org\tH:b@example.org\t"},
      {EMAIL_UNKNOWN_BUSINESS, "W:a@example.org\tW:b@example.org\t"},
      {EMAIL_ALWAYS_ASK, "H:a@example.org\tW:b@example.org\t"},
  };
  for (const auto& [mode, expected] : modes) {
    mConf->SetEmailManagementMode(mode);
    const std::string name = "Mode" + std::to_string(mode);
    Local().AddContact(VCard(name, "Typed", "EMAIL;INTERNET:a@example.org\r\nEMAIL;INTERNET:b@example.org\r\n"));
    ASSERT_TRUE(Sync(0).Succeeded()) << Statuses();
    EXPECT_EQ(ServerContact(name + " Typed").Property("PR_ZEP_EMAIL_ADDRESSES_TYPES"), expected) << "mode " << mode;
  }
}

// A run killed while it writes the server's items: the next run leaves each item once on both sides.
TEST_P(SyncRunE2eTest, ARunKilledDuringADownloadLeavesNoDuplicateAndLosesNothing) {
  for (int i = 0; i < 12; ++i) WriteServer("contacts", "server-" + std::to_string(i), VCard("Given" + std::to_string(i), "Server"));
  mKillAfterServerWrites = 5;
  ASSERT_TRUE(SyncInChild(0)) << "the run was not killed";
  mKillAfterServerWrites = -1;
  ASSERT_TRUE(Sync(0).Succeeded()) << Statuses();
  EXPECT_EQ(LocalContacts().size(), 12u);
  EXPECT_EQ(ServerContents("contacts").size(), 12u);
  ExpectBothSidesEqual();
  ASSERT_TRUE(Sync(0).Succeeded()) << Statuses();
  EXPECT_EQ(ItemCommandsInLog(), 0);
}

LARK_E2E_OVER_EVERY_STORE_AND_SERVER(SyncRunE2eTest);
LARK_E2E_OVER_EVERY_SERVER(SyncRunDriverE2eTest);

}  // namespace
