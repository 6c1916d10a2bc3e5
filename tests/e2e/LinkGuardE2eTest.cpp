// The guards of a link against each server that looks at anchors, with each local store: a server
// that lost its data and its record of the client asks for a slow sync, which a silent run does not
// run (nothing changes on either side) and each answer of the user carries out exactly; the server
// deleting most of a link's items, and an emptied local folder, delete nothing until confirmed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/E2eSupport.h"

namespace {

// Answers the guards' questions with fixed answers and counts them.
class GuardAnswering final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons buttons, PromptKind) override { return SafeDefaultAnswer(buttons); }
  bool AskLogin(LoginRequest&) override { return false; }
  SlowSyncAnswer AskSlowSync(const SlowSyncQuestion& question) override {
    slowSyncQuestions.push_back(question);
    return slowSync;
  }
  DeletionAnswer AskMassDeletion(const MassDeletionQuestion& question) override {
    deletionQuestions.push_back(question);
    return deletions;
  }
  SlowSyncAnswer slowSync = SlowSyncAnswer::Skip;
  DeletionAnswer deletions = DeletionAnswer::Hold;
  std::vector<SlowSyncQuestion> slowSyncQuestions;
  std::vector<MassDeletionQuestion> deletionQuestions;
};

std::vector<std::string> ContentsOf(const std::vector<std::string>& vcards) { return Contents(vcards, false); }

class LinkGuardE2eTest : public E2eTest {
 protected:
  // Ada, Bob and Cy made here, Sam and Sue on the server, synchronized; then Cy deleted and Dee added
  // here; then the server loses its items and its record of this client, and gets Eve.
  void ServerWipedAfterLocalChanges() {
    Local().AddContact(VCard("Ada", "Local"));
    Local().AddContact(VCard("Bob", "Local"));
    const std::string cy = Local().AddContact(VCard("Cy", "Local"));
    WriteServer("contacts", "sam", VCard("Sam", "Server"));
    WriteServer("contacts", "sue", VCard("Sue", "Server"));
    ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
    ExpectBothSidesEqual();
    Local().DeleteContact(cy);
    Local().AddContact(VCard("Dee", "Local"));
    Server().Clear();
    WriteServer("contacts", "eve", VCard("Eve", "Server"));
    // A last anchor the server never gave: it asks for a slow sync as after a reset.
    WriteFileBytes(mConf->ConfigFolder() + Link(0).LocalFileName() + ".anc", "41");
  }
  std::vector<std::string> LocalNow() const {
    return ContentsOf({VCard("Ada", "Local"), VCard("Bob", "Local"), VCard("Dee", "Local"), VCard("Sam", "Server"), VCard("Sue", "Server")});
  }
  void Answer(SlowSyncAnswer answer) {
    mAnswers.slowSync = answer;
    mPrompt = &mAnswers;
    mConf->SetSilent(false);
  }
  // `count` contacts made on the server and synchronized; their server names.
  std::vector<std::string> ServerContacts(int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
      names.push_back("person-" + std::to_string(i));
      WriteServer("contacts", names.back(), VCard("Person" + std::to_string(i), "Server"));
    }
    EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
    EXPECT_EQ(LocalContacts().size(), static_cast<std::size_t>(count));
    return names;
  }

  GuardAnswering mAnswers;
};

TEST_P(LinkGuardE2eTest, ASilentRunMeetingAWipedServerChangesNothingAndNeedsADecision) {
  ServerWipedAfterLocalChanges();
  const std::string files = AnchorAndIndex(0);
  const SyncRunOutcome outcome = Sync(0);
  EXPECT_TRUE(outcome.Completed()) << Link(0).mStatusText;
  EXPECT_FALSE(outcome.Succeeded());
  EXPECT_EQ(outcome.linksNeedingDecision, 1);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);
  EXPECT_EQ(ItemCommandsInLog(), 0);
  EXPECT_EQ(AnchorAndIndex(0), files);
  EXPECT_EQ(LocalContacts(), LocalNow());
  EXPECT_EQ(ServerContents("contacts"), ContentsOf({VCard("Eve", "Server")}));
}

TEST_P(LinkGuardE2eTest, MergingAfterAWipedServerBringsNoDeletedItemBackAndDoublesNothing) {
  ServerWipedAfterLocalChanges();
  Answer(SlowSyncAnswer::Merge);
  EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText << "\n" << Server().LogTail();
  ASSERT_EQ(mAnswers.slowSyncQuestions.size(), 1u);
  EXPECT_TRUE(mAnswers.slowSyncQuestions[0].serverAsked);
  std::vector<std::string> expected = LocalNow();
  expected.push_back(ContactContent(VCard("Eve", "Server")));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(LocalContacts(), expected);
  EXPECT_EQ(ServerContents("contacts"), expected);
}

TEST_P(LinkGuardE2eTest, ReplacingThisComputersItemsLeavesExactlyTheServers) {
  ServerWipedAfterLocalChanges();
  Answer(SlowSyncAnswer::RefreshFromServer);
  EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText << "\n" << Server().LogTail();
  EXPECT_EQ(LocalContacts(), ContentsOf({VCard("Eve", "Server")}));
  EXPECT_EQ(ServerContents("contacts"), ContentsOf({VCard("Eve", "Server")}));
  // The run after it moves nothing.
  mConf->SetSilent(true);
  EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  EXPECT_EQ(ItemCommandsInLog(), 0);
}

TEST_P(LinkGuardE2eTest, ReplacingTheServersItemsLeavesExactlyThisComputers) {
  ServerWipedAfterLocalChanges();
  Answer(SlowSyncAnswer::RefreshFromClient);
  EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText << "\n" << Server().LogTail();
  EXPECT_EQ(LocalContacts(), LocalNow());
  EXPECT_EQ(ServerContents("contacts"), LocalNow());
  mConf->SetSilent(true);
  EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  EXPECT_EQ(ItemCommandsInLog(), 0);
  EXPECT_EQ(LocalContacts(), LocalNow());
}

TEST_P(LinkGuardE2eTest, SkippingLeavesBothSidesAsTheyWere) {
  ServerWipedAfterLocalChanges();
  const std::string files = AnchorAndIndex(0);
  Answer(SlowSyncAnswer::Skip);
  EXPECT_FALSE(Sync(0).Succeeded());
  EXPECT_EQ(mAnswers.slowSyncQuestions.size(), 1u);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);
  EXPECT_EQ(AnchorAndIndex(0), files);
  EXPECT_EQ(LocalContacts(), LocalNow());
  EXPECT_EQ(ServerContents("contacts"), ContentsOf({VCard("Eve", "Server")}));
}

TEST_P(LinkGuardE2eTest, TheServerDeletingMostItemsIsHeldThenConfirmed) {
  const auto names = ServerContacts(15);
  for (int i = 0; i < 12; ++i) DeleteServer("contacts", names[static_cast<std::size_t>(i)]);
  const SyncRunOutcome held = Sync(0);
  EXPECT_EQ(held.linksNeedingDecision, 1) << Link(0).mStatusText;
  EXPECT_EQ(LocalContacts().size(), 15u);

  mAnswers.deletions = DeletionAnswer::Confirm;
  mPrompt = &mAnswers;
  mConf->SetSilent(false);
  EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  ASSERT_EQ(mAnswers.deletionQuestions.size(), 1u);
  EXPECT_EQ(mAnswers.deletionQuestions[0].deletions, 12);
  EXPECT_EQ(LocalContacts().size(), 3u);
  ExpectBothSidesEqual();
}

TEST_P(LinkGuardE2eTest, TheServerDeletingMostItemsRefusedPutsThemBackOnTheServer) {
  const auto names = ServerContacts(15);
  const std::vector<std::string> all = LocalContacts();
  for (int i = 0; i < 12; ++i) DeleteServer("contacts", names[static_cast<std::size_t>(i)]);
  mAnswers.deletions = DeletionAnswer::Refuse;
  mPrompt = &mAnswers;
  mConf->SetSilent(false);
  EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText << "\n" << Server().LogTail();
  EXPECT_EQ(LocalContacts(), all);
  EXPECT_EQ(ServerContents("contacts"), all);
  mConf->SetSilent(true);
  EXPECT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  EXPECT_EQ(ItemCommandsInLog(), 0);
  EXPECT_EQ(ServerContents("contacts"), all);
}

TEST_P(LinkGuardE2eTest, AnEmptiedLocalFolderLeavesTheServerEveryItem) {
  std::vector<std::string> ids;
  for (const char* name : {"Ann", "Ben", "Col"}) ids.push_back(Local().AddContact(VCard(name, "Local")));
  ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  const std::vector<std::string> all = ServerContents("contacts");
  ASSERT_EQ(all.size(), 3u);
  for (const std::string& id : ids) Local().DeleteContact(id);
  for (int run = 0; run < 2; ++run) {
    const SyncRunOutcome outcome = Sync(0);
    EXPECT_EQ(outcome.linksNeedingDecision, 1) << Link(0).mStatusText;
    EXPECT_EQ(ServerContents("contacts"), all) << "run " << run;
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, LinkGuardE2eTest,
                         ::testing::Values(E2eParam(PeerKind::SyncEvolution, StoreKind::Folder),
                                           E2eParam(PeerKind::Scripted, StoreKind::Folder),
                                           E2eParam(PeerKind::SyncEvolution, StoreKind::Outlook),
                                           E2eParam(PeerKind::Scripted, StoreKind::Outlook),
                                           E2eParam(PeerKind::SyncEvolution, StoreKind::WindowsContacts),
                                           E2eParam(PeerKind::Scripted, StoreKind::WindowsContacts),
                                           E2eParam(PeerKind::SyncEvolution, StoreKind::Vdir),
                                           E2eParam(PeerKind::Scripted, StoreKind::Vdir)),
                         StoreAndPeerTestName);

}  // namespace
