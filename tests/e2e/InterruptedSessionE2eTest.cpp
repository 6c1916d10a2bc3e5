// A link's run killed at each point where a process can die with work pending on both sides, and
// the next run: both sides end with the same items, none twice, no deleted item back and no change
// lost, without the client ever asking for a slow sync. Against SyncEvolution (content matching)
// and the scripted server without content matching, which erases its map of the client's
// identifiers on a slow sync the client asks for.
#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/StatefulSyncServer.h"

namespace {

// The codes of the Alerts in a client message.
std::vector<std::string> AlertCodes(const std::string& text) {
  std::vector<std::string> codes;
  for (std::size_t at = text.find("<Alert>"); at != std::string::npos; at = text.find("<Alert>", at + 1)) {
    const std::size_t data = text.find("<Data>", at);
    if (data != std::string::npos) codes.push_back(text.substr(data + 6, text.find("</Data>", data) - data - 6));
  }
  return codes;
}

class InterruptedSessionE2eTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (StatefulSyncServer* scripted = Server().Scripted()) {
      ServerHabits habits;
      habits.contentMatching = false;
      habits.eraseMapOnClientSlowSync = true;
      scripted->SetHabits(habits);
    }
  }

  // A first run leaves six contacts on both sides; then each side adds two, changes one and
  // deletes one, and the contacts need several messages each way.
  void SynchronizeThenChangeBothSides() {
    mConf->SetMaxMsgSize(4000);
    for (int i = 0; i < 4; ++i) WriteLocal("contacts", "local-" + std::to_string(i) + ".vcf", VCard("Local" + std::to_string(i), "Person"));
    for (int i = 0; i < 2; ++i) WriteServer("contacts", "server-" + std::to_string(i), VCard("Server" + std::to_string(i), "Person"));
    ASSERT_TRUE(Sync(0).Succeeded()) << Link(0).mStatusText;
    ExpectBothSidesEqual();
    WriteLocal("contacts", "local-4.vcf", VCard("Local4", "Added"));
    WriteLocal("contacts", "local-5.vcf", VCard("Local5", "Added"));
    WriteLocal("contacts", "local-0.vcf", VCard("Local0", "Changed"));
    ASSERT_EQ(::unlink((LocalFolder("contacts") + "local-1.vcf").c_str()), 0);
    WriteServer("contacts", "server-2", VCard("Server2", "Added"));
    WriteServer("contacts", "server-3", VCard("Server3", "Added"));
    WriteServer("contacts", "server-0", VCard("Server0", "Changed"));
    DeleteServer("contacts", "server-1");
  }

  // The next run with nothing in the way: the same contacts on both sides, each once, and a run
  // after it that finds nothing to do.
  void ExpectNextRunConverges() {
    mBeforePost = nullptr;
    mAfterPost = nullptr;
    mCheckpoint = nullptr;
    mKillAfterServerWrites = -1;
    std::vector<std::string> sent;
    mInspect = [&](int, int, const std::string& text) { sent.push_back(text); };
    const SyncRunOutcome outcome = Sync(0);
    EXPECT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(0).mStatusText << "\n" << Server().LogTail();
    ExpectBothSidesEqual();
    const std::vector<std::string> local = FolderContents(LocalFolder("contacts"), false);
    const std::vector<std::string> expected = {
        "Local0 Changed", "Local2 Person", "Local3 Person", "Local4 Added", "Local5 Added",
        "Server0 Changed", "Server2 Added", "Server3 Added"};
    ASSERT_EQ(local.size(), expected.size()) << ::testing::PrintToString(local);
    for (const std::string& name : expected) {
      const std::string field = "PR_DISPLAY_NAME=" + name + ";";
      EXPECT_EQ(std::count_if(local.begin(), local.end(), [&](const std::string& c) { return c.find(field) != std::string::npos; }), 1)
          << name << " in " << ::testing::PrintToString(local);
    }
    // Never a slow sync the client asks for: it cannot carry the deletions.
    for (const std::string& text : sent) {
      const std::vector<std::string> codes = AlertCodes(text);
      EXPECT_EQ(std::count(codes.begin(), codes.end(), "201"), 0) << text;
    }

    sent.clear();
    ASSERT_TRUE(Sync(0).Succeeded());
    for (const std::string& text : sent) {
      for (const char* command : {"<Add>", "<Replace>", "<Delete>"}) EXPECT_EQ(text.find(command), std::string::npos) << text;
    }
    mInspect = nullptr;
  }

  void KillAtPost(bool after, int message) {
    const HookedTransport::Hook kill = [message](int session, int number) {
      if (session == 1 && number == message) ::raise(SIGKILL);
    };
    (after ? mAfterPost : mBeforePost) = kill;
    EXPECT_TRUE(SyncInChild(0));
  }
};

TEST_P(InterruptedSessionE2eTest, KilledAfterTheFirstPost) {
  SynchronizeThenChangeBothSides();
  KillAtPost(true, 0);
  ExpectNextRunConverges();
}

TEST_P(InterruptedSessionE2eTest, KilledAfterThePostOfTheFirstChanges) {
  LARK_SKIP_ON_KNOWN_FAULT(PeerFault::ForgetsTheChangesOfAnAbortedSession);
  SynchronizeThenChangeBothSides();
  KillAtPost(true, 1);
  ExpectNextRunConverges();
}

TEST_P(InterruptedSessionE2eTest, KilledAfterTheServersItemsWereWrittenLocally) {
  SynchronizeThenChangeBothSides();
  mKillAfterServerWrites = 2;
  EXPECT_TRUE(SyncInChild(0));
  ExpectNextRunConverges();
}

TEST_P(InterruptedSessionE2eTest, KilledBeforeTheMapsWentOut) {
  SynchronizeThenChangeBothSides();
  mInspect = [](int session, int, const std::string& text) {
    if (session == 1 && text.find("<Map>") != std::string::npos) ::raise(SIGKILL);
  };
  EXPECT_TRUE(SyncInChild(0));
  ExpectNextRunConverges();
}

TEST_P(InterruptedSessionE2eTest, KilledAfterTheMapsWentOut) {
  SynchronizeThenChangeBothSides();
  bool maps = false;
  mInspect = [&](int session, int, const std::string& text) { maps = session == 1 && text.find("<Map>") != std::string::npos; };
  mAfterPost = [&](int, int) {
    if (maps) ::raise(SIGKILL);
  };
  EXPECT_TRUE(SyncInChild(0));
  ExpectNextRunConverges();
}

TEST_P(InterruptedSessionE2eTest, KilledBeforeTheIndexWasSaved) {
  SynchronizeThenChangeBothSides();
  mCheckpoint = [](const char* step) {
    if (std::strcmp(step, "index") == 0) ::raise(SIGKILL);
  };
  EXPECT_TRUE(SyncInChild(0));
  ExpectNextRunConverges();
}

TEST_P(InterruptedSessionE2eTest, KilledBeforeTheAnchorWasWritten) {
  SynchronizeThenChangeBothSides();
  mCheckpoint = [](const char* step) {
    if (std::strcmp(step, "anchor") == 0) ::raise(SIGKILL);
  };
  EXPECT_TRUE(SyncInChild(0));
  ExpectNextRunConverges();
}

TEST_P(InterruptedSessionE2eTest, KilledBeforeTheJournalWasRemoved) {
  SynchronizeThenChangeBothSides();
  mCheckpoint = [](const char* step) {
    if (std::strcmp(step, "journal") == 0) ::raise(SIGKILL);
  };
  EXPECT_TRUE(SyncInChild(0));
  ExpectNextRunConverges();
}

INSTANTIATE_TEST_SUITE_P(Peers, InterruptedSessionE2eTest, ::testing::Values(PeerKind::SyncEvolution, PeerKind::Scripted),
                         PeerTestName<::testing::TestParamInfo<E2eParam>>);

}  // namespace
