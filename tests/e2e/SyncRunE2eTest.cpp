// Complete sync runs against each local SyncML server with the folder store: first slow
// sync both ways, quiet second run, local and server changes, groups, modes.
#include <filesystem>
#include <set>
#include <sstream>

#include "common/StringTable.h"
#include "syncml/DatabaseRequest.h"
#include "tests/e2e/E2eSupport.h"

namespace {

namespace fs = std::filesystem;

class SyncRunE2eTest : public E2eTest {
 protected:
  // Local and server items of all three kinds, synchronized once.
  void SynchronizeSamples() {
    WriteLocal("contacts", "ada.vcf", VCard("Ada", "Lovelace", "TEL;WORK;VOICE:+44 20 7946 0001\r\nEMAIL;INTERNET:ada@example.org\r\n"));
    WriteLocal("contacts", "alan.vcf", VCard("Alan", "Turing", "ORG:Bletchley Park\r\nNOTE:Codes\r\n"));
    WriteLocal("events", "review.vcs", VEvent("Quarterly review", "20270112T090000Z", "20270112T103000Z"));
    WriteLocal("tasks", "report.vcs", VTodo("Annual report", "20270131"));
    WriteServer("contacts", "server-grace", VCard("Grace", "Hopper", "TEL;CELL:+1 202 555 0143\r\n"));
    WriteServer("events", "server-launch", VEvent("Launch", "20270301T140000Z", "20270301T150000Z"));
    WriteServer("tasks", "server-taxes", VTodo("File taxes", "20270415"));
    const SyncRunOutcome outcome = Sync();
    ASSERT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(0).mStatusText << " " << Link(1).mStatusText << " "
                                     << Link(2).mStatusText;
  }
  int ItemCommandsInLog() const {
    const std::string log = LogText();
    int count = 0;
    for (const char* operation : {"CSyncML::Add\tDebug\tItem Id", "CSyncML::Replace\tDebug\tItem Id", "\tCSyncML::Delete\tDebug\tBegin"}) {
      for (size_t at = log.find(operation); at != std::string::npos; at = log.find(operation, at + 1)) ++count;
    }
    return count;
  }
};

TEST_P(SyncRunE2eTest, FirstRunSlowSyncsEveryTypeBothWaysAndBothSidesHoldTheSameItems) {
  SynchronizeSamples();
  ExpectBothSidesEqual();
  EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 3u);
  EXPECT_EQ(FolderContents(LocalFolder("events"), true).size(), 2u);
  EXPECT_EQ(FolderContents(LocalFolder("tasks"), true).size(), 2u);
  for (int link : {0, 1, 2}) {
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
  for (int link : {0, 1, 2}) {
    EXPECT_FALSE(Link(link).mLocalCounts.Any()) << link;
    EXPECT_FALSE(Link(link).mServerCounts.Any()) << link;
  }
  ExpectBothSidesEqual();
}

TEST_P(SyncRunE2eTest, LocalUpdateIsSentAsReplaceAndLocalDeletionAsDelete) {
  SynchronizeSamples();
  WriteLocal("contacts", "ada.vcf", VCard("Ada", "King", "TEL;WORK;VOICE:+44 20 7946 0002\r\n"));
  fs::remove(LocalFolder("contacts") + "alan.vcf");
  WriteLocal("events", "review.vcs", VEvent("Quarterly review (moved)", "20270113T090000Z", "20270113T103000Z"));
  ASSERT_TRUE(Sync().Succeeded());
  const std::string log = LogText();
  EXPECT_NE(log.find("CSyncML::Replace\tDebug\tItem Id\n"), std::string::npos);
  EXPECT_NE(log.find("\tCSyncML::Delete\tDebug\tBegin"), std::string::npos);
  EXPECT_EQ(Link(0).mLocalCounts, (ChangeCounts{0, 1, 1}));
  EXPECT_EQ(Link(1).mLocalCounts, (ChangeCounts{0, 1, 0}));
  ExpectBothSidesEqual();
  EXPECT_EQ(ServerContents("contacts").size(), 2u);
}

TEST_P(SyncRunE2eTest, ServerAdditionChangeAndDeletionReachTheLocalStore) {
  SynchronizeSamples();
  WriteServer("contacts", "server-linus", VCard("Linus", "Pauling"));
  WriteServer("contacts", "server-grace", VCard("Grace", "Hopper", "TEL;CELL:+1 202 555 0199\r\nTITLE:Rear Admiral\r\n"));
  WriteServer("tasks", "server-taxes", VTodo("File taxes early", "20270401"));
  DeleteServer("events", "server-launch");
  ASSERT_TRUE(Sync().Succeeded());
  EXPECT_EQ(Link(0).mServerCounts, (ChangeCounts{1, 1, 0}));
  EXPECT_EQ(Link(1).mServerCounts, (ChangeCounts{0, 0, 1}));
  EXPECT_EQ(Link(2).mServerCounts, (ChangeCounts{0, 1, 0}));
  ExpectBothSidesEqual();
  const auto contacts = FolderContents(LocalFolder("contacts"), false);
  EXPECT_EQ(contacts.size(), 4u);
  EXPECT_NE(std::find_if(contacts.begin(), contacts.end(), [](const std::string& c) { return c.find("Rear Admiral") != std::string::npos; }),
            contacts.end());
  EXPECT_EQ(FolderContents(LocalFolder("events"), true).size(), 1u);

  // What came from the server is not sent back by the run after.
  ASSERT_TRUE(Sync().Succeeded());
  EXPECT_EQ(ItemCommandsInLog(), 0);
}

TEST_P(SyncRunE2eTest, AGroupsNewMembersGoOutFirstAndTheGroupStaysLocal) {
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

TEST_P(SyncRunE2eTest, DownloadOnlySendsNothingEvenWhenTheServerAsksForASlowSync) {
  Link(0).mMode = SYNC_MODE_DOWNLOAD;
  WriteLocal("contacts", "local.vcf", VCard("Lou", "Local"));
  WriteServer("contacts", "server-sam", VCard("Sam", "Server"));
  ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  EXPECT_EQ(ServerContents("contacts"), std::vector<std::string>{ContactContent(VCard("Sam", "Server"))});
  EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 2u);

  // An anchor the server does not know makes it ask for a slow sync (a server that looks at anchors).
  WriteFileBytes(mConf->ConfigFolder() + Link(0).LocalFileName() + ".anc", "41");
  const SyncRunOutcome outcome = Sync(0);
  EXPECT_TRUE(outcome.Succeeded()) << Link(0).mStatusText;
  if (ForcesSlowSyncOnUnknownAnchor(GetParam())) {
    EXPECT_NE(LogText().find("Slow Sync requested"), std::string::npos);
  }
  EXPECT_EQ(ItemCommandsInLog(), 0);
  EXPECT_EQ(ServerContents("contacts").size(), 1u);
}

TEST_P(SyncRunE2eTest, UploadOnlyAppliesNothingFromTheServer) {
  Link(2).mMode = SYNC_MODE_UPLOAD;
  WriteLocal("tasks", "mine.vcs", VTodo("Mine", "20270601"));
  WriteServer("tasks", "server-theirs", VTodo("Theirs", "20270602"));
  ASSERT_TRUE(Sync(2).Succeeded()) << Link(2).mStatusText;
  EXPECT_EQ(FolderContents(LocalFolder("tasks"), true), std::vector<std::string>{CalendarContent(VTodo("Mine", "20270601"))});
  EXPECT_FALSE(Link(2).mServerCounts.Any());
  const auto server = ServerContents("tasks");
  EXPECT_NE(std::find(server.begin(), server.end(), CalendarContent(VTodo("Mine", "20270601"))), server.end());
}

TEST_P(SyncRunE2eTest, DatabaseRequestFindsTheServersContactsEventsAndTasks) {
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

TEST_P(SyncRunE2eTest, LinksSwitchedOffOrNotSelectedKeepTheirStateAndItems) {
  WriteServer("events", "server-launch", VEvent("Launch", "20270301T140000Z", "20270301T150000Z"));
  WriteServer("tasks", "server-taxes", VTodo("File taxes", "20270415"));
  mConf->SetSyncCal(false);
  ASSERT_TRUE(Sync(0).Succeeded());
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  ASSERT_EQ(mConf->Links().Size(), 2u);  // saving drops the link of the switched-off type
  EXPECT_EQ(Link(1).mDataType, DATA_TYPE_TASKS);
  EXPECT_EQ(Link(1).mState, SYNC_STATE_NEVER);
  EXPECT_TRUE(FolderContents(LocalFolder("events"), true).empty());
  EXPECT_TRUE(FolderContents(LocalFolder("tasks"), true).empty());
  EXPECT_FALSE(fs::exists(mConf->ConfigFolder() + "Tasks.anc"));
}

LARK_E2E_OVER_EVERY_SERVER(SyncRunE2eTest);

}  // namespace
