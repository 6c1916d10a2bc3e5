// Sync runs against each local SyncML server that are cancelled, lose their server between
// two messages, or lose their own process: the link fails cleanly, and the next run ends with
// both sides equal and nothing duplicated.
#include <csignal>
#include <filesystem>

#include "common/StringTable.h"
#include "tests/e2e/E2eSupport.h"

namespace {

class SyncFaultE2eTest : public E2eTest {
 protected:
  // Items on both sides that need more than one message each way, synchronized once; then a
  // change on each side, so the next run has work in both directions.
  void SynchronizeThenChangeBothSides() {
    mConf->SetMaxMsgSize(4000);
    // The scripted server stores no anchor for this first run and asks for a slow sync in the next
    // one; these faults are about what follows, so that slow sync runs without a question.
    mConf->SetSlowSyncGuard(false);
    for (int i = 0; i < 12; ++i) WriteLocal("contacts", "local-" + std::to_string(i) + ".vcf", VCard("Local" + std::to_string(i), "Person"));
    for (int i = 0; i < 8; ++i) WriteServer("contacts", "server-" + std::to_string(i), VCard("Server" + std::to_string(i), "Person"));
    WriteLocal("events", "review.vcs", VEvent("Review", "20270112T090000Z", "20270112T103000Z"));
    ASSERT_TRUE(Sync().Succeeded()) << Link(0).mStatusText;
    ExpectBothSidesEqual();
    for (int i = 12; i < 20; ++i) WriteLocal("contacts", "local-" + std::to_string(i) + ".vcf", VCard("Local" + std::to_string(i), "Person"));
    for (int i = 8; i < 14; ++i) WriteServer("contacts", "server-" + std::to_string(i), VCard("Server" + std::to_string(i), "Person"));
    WriteServer("events", "server-launch", VEvent("Launch", "20270301T140000Z", "20270301T150000Z"));
    mContactsBefore = AnchorAndIndex(0);
  }
  // The next run, with nothing in the way, repairs everything.
  void ExpectNextRunRepairs() {
    mBeforePost = nullptr;
    mAfterPost = nullptr;
    const SyncRunOutcome outcome = Sync();
    EXPECT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(0).mStatusText << " " << Link(1).mStatusText << "\n"
                                     << Server().LogTail();
    ExpectBothSidesEqual();
    EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 34u);
    EXPECT_EQ(FolderContents(LocalFolder("events"), true).size(), 2u);
  }

  std::string mContactsBefore;
};

TEST_P(SyncFaultE2eTest, CancelWhileWaitingStopsAfterTheReplyAndLaterLinksAreNotStarted) {
  LARK_SKIP_ON_KNOWN_FAULT(PeerFault::DropsItsChangesAfterAPackageOfSeveralMessages);
  SynchronizeThenChangeBothSides();
  const std::string eventsBefore = AnchorAndIndex(1);
  const int eventsState = Link(1).mState;
  mAfterPost = [this](int session, int message) {
    // The user's confirmed cancel arrives while the contacts session waits for its first reply.
    if (session == 1 && message == 0) mConf->SetSyncRunning(CConf::RUN_CANCEL_REQUESTED);
  };
  const SyncRunOutcome outcome = Sync();
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_CANCELLED);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_CANCELED_BY_USER));
  EXPECT_EQ(AnchorAndIndex(0), mContactsBefore);
  EXPECT_EQ(Link(1).mState, eventsState);
  EXPECT_EQ(AnchorAndIndex(1), eventsBefore);
  // The reply was not parsed: none of the server's new contacts arrived.
  EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 28u);
  ExpectNextRunRepairs();
}

TEST_P(SyncFaultE2eTest, ServerStoppedBetweenMessagesFailsTheLinkWithTheTransportMessage) {
  LARK_SKIP_ON_KNOWN_FAULT(PeerFault::DropsItsChangesAfterAPackageOfSeveralMessages);
  SynchronizeThenChangeBothSides();
  mAfterPost = [this](int session, int message) {
    if (session == 1 && message == 0) Server().Stop();
  };
  const SyncRunOutcome outcome = Sync();
  EXPECT_FALSE(outcome.Succeeded());
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_COMMUNICATION_ERROR));
  EXPECT_EQ(AnchorAndIndex(0), mContactsBefore);
  EXPECT_EQ(Link(1).mState, SYNC_STATE_FAILED);  // the run went on; the server was still away
  Server().Start();
  ExpectNextRunRepairs();
}

TEST_P(SyncFaultE2eTest, ProcessKilledAfterTheServerAppliedItsFirstMessage) {
  LARK_SKIP_ON_KNOWN_FAULT(PeerFault::DropsItsChangesAfterAPackageOfSeveralMessages);
  SynchronizeThenChangeBothSides();
  const bool killed = SyncInChildKilledBy(nullptr, [](int session, int message) {
    if (session == 1 && message == 0) ::raise(SIGKILL);
  });
  EXPECT_TRUE(killed);
  EXPECT_EQ(AnchorAndIndex(0), mContactsBefore);
  ExpectNextRunRepairs();
}

TEST_P(SyncFaultE2eTest, ProcessKilledAfterApplyingServerItemsBeforeTheirMapsWentOut) {
  LARK_SKIP_ON_KNOWN_FAULT(PeerFault::DropsItsChangesAfterAPackageOfSeveralMessages);
  SynchronizeThenChangeBothSides();
  // The server's items are written while their reply is read; the next message carries the Maps.
  mInspect = [](int session, int, const std::string& text) {
    if (session == 1 && text.find("<Map>") != std::string::npos) ::raise(SIGKILL);
  };
  EXPECT_TRUE(SyncInChild());
  mInspect = nullptr;
  EXPECT_EQ(AnchorAndIndex(0), mContactsBefore);
  // Some of the server's new contacts were written before the process died.
  EXPECT_GT(FolderContents(LocalFolder("contacts"), false).size(), 28u);
  ExpectNextRunRepairs();
}

TEST_P(SyncFaultE2eTest, DownloadKilledAfterApplyingServerItemsLeavesNoLocalDuplicates) {
  Link(0).mMode = SYNC_MODE_DOWNLOAD;
  for (int i = 0; i < 8; ++i) WriteServer("contacts", "server-" + std::to_string(i), VCard("Server" + std::to_string(i), "Person"));
  ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  for (int i = 8; i < 14; ++i) WriteServer("contacts", "server-" + std::to_string(i), VCard("Server" + std::to_string(i), "Person"));
  mInspect = [](int session, int, const std::string& text) {
    if (session == 1 && text.find("<Map>") != std::string::npos) ::raise(SIGKILL);
  };
  EXPECT_TRUE(SyncInChild());
  mInspect = nullptr;
  ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
  EXPECT_EQ(FolderContents(LocalFolder("contacts"), false).size(), 14u);
  ExpectBothSidesEqual();
}

LARK_E2E_OVER_EVERY_SERVER(SyncFaultE2eTest);

}  // namespace
