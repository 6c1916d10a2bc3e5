// The guards of a link's run against a scripted server: a slow sync the link did not ask for waits
// for the user (silently it changes nothing), each answer is carried out in the same run; deletions
// of too many items, by the server or on this computer, are held until the user confirms them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/CXException.h"
#include "common/StringTable.h"
#include "stores/CDatabaseObject.h"
#include "tests/support/SyncRunTestSupport.h"

namespace {

class LinkGuardTest : public SyncRunTest {
 protected:
  // `count` local contacts synchronized once; their identifiers.
  std::vector<std::string> SynchronizedContacts(int count) {
    std::vector<std::string> ids;
    {
      auto store = OpenStore();
      for (int i = 0; i < count; ++i) ids.push_back(store->AddLocalContact("Person " + std::to_string(i)));
    }
    RunOnce(0);
    EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
    return ids;
  }
  // The server answers a two-way Alert with 508; a refresh from the server gets `serverItems`.
  void ServerLostItsRecord(int serverItems = 0) {
    mServer.SetResponder([serverItems](const std::string& message, int index) {
      if (message.find("<Alert>") == std::string::npos) return ScriptedPeer::DefaultReply(message, index);
      if (AlertCode(message) == "200") return ServerReply(index + 1, HeaderStatus() + AlertStatus("508"));
      std::string adds;
      if (AlertCode(message) == "205") {
        for (int i = 0; i < serverItems; ++i) adds += ServerContactAdd(10 + i, "srv-" + std::to_string(i), "Server " + std::to_string(i));
      }
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + (adds.empty() ? "" : ServerSync(adds)));
    });
  }
  // The server deletes the first `count` of `ids` in its answer to the next Alert (once).
  void ServerDeletes(const std::vector<std::string>& ids, int count) {
    auto sent = std::make_shared<bool>(false);
    mServer.SetResponder([ids, count, sent](const std::string& message, int index) {
      if (*sent || message.find("<Alert>") == std::string::npos || message.find("./contacts") == std::string::npos) {
        return ScriptedPeer::DefaultReply(message, index);
      }
      *sent = true;
      std::string deletes;
      for (int i = 0; i < count; ++i) deletes += ServerItemDelete(10 + i, ids[static_cast<std::size_t>(i)]);
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + ServerSync(deletes));
    });
  }
  std::size_t LocalContacts() { return OpenStore()->HeldCount(DATA_TYPE_CONTACTS); }
  int Sent(std::size_t session, const char* element) {
    const auto sessions = mServer.SyncSessions();
    return session < sessions.size() ? CountElements(sessions[session], element) : -1;
  }
};

TEST_F(LinkGuardTest, ASilentRunMeetingTheServersSlowSyncChangesNothingAndNeedsADecision) {
  SynchronizedContacts(3);
  OpenStore()->AddLocalContact("Added since");
  const std::string anchor = AnchorText(0);
  const std::string index = IndexBytes(0);
  // The server answers the client's closing message with an item of its own: it is refused.
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("<Alert>") != std::string::npos) return ServerReply(index + 1, HeaderStatus() + AlertStatus("508"));
    if (message.find("<Status>") == std::string::npos) return ScriptedPeer::DefaultReply(message, index);
    return ServerReply(index + 1, HeaderStatus() + ServerSync(ServerContactAdd(20, "srv-pushed", "Pushed Anyway")));
  });

  RunOnce(0);

  const auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_NE(sessions[1].find("<Data>405</Data>"), std::string::npos) << "the server's item is refused";
  EXPECT_EQ(CountElements(sessions[1], "Add") + CountElements(sessions[1], "Replace") + CountElements(sessions[1], "Delete"), 0)
      << "no item may leave before the user decided";
  EXPECT_EQ(AnchorText(0), anchor);
  EXPECT_EQ(IndexBytes(0), index);
  EXPECT_EQ(LocalContacts(), 4u);
  EXPECT_TRUE(mPrompt.slowSyncQuestions.empty());
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);
  EXPECT_EQ(Link(0).StateText().rfind(LoadString(IDS_STATE_NEEDS_DECISION), 0), 0u) << Link(0).StateText();
  EXPECT_EQ(mRun->LastOutcome().linksNeedingDecision, 1);
  EXPECT_TRUE(mRun->LastOutcome().Completed());

  // The next silent run asks the same and still changes nothing.
  RunOnce(0);
  EXPECT_EQ(AnchorText(0), anchor);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);
}

TEST_F(LinkGuardTest, EachAnswerToTheSlowSyncQuestionIsCarriedOutInTheSameRun) {
  const auto ids = SynchronizedContacts(3);
  ServerLostItsRecord(2);
  mConf.SetSilent(false);

  mPrompt.slowSync = SlowSyncAnswer::Skip;
  RunOnce(0);
  ASSERT_EQ(mPrompt.slowSyncQuestions.size(), 1u);
  EXPECT_TRUE(mPrompt.slowSyncQuestions[0].serverAsked);
  EXPECT_EQ(mPrompt.slowSyncQuestions[0].localItems, 3);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);
  EXPECT_EQ(mServer.SyncSessions().size(), 2u);

  // Replacing the server's items: the paused session ends, a refresh from the client sends all.
  mPrompt.slowSync = SlowSyncAnswer::RefreshFromClient;
  RunOnce(0);
  auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 4u);
  EXPECT_EQ(CountElements(sessions[2], "Add"), 0);
  EXPECT_EQ(AlertCode(sessions[3]), "203");
  EXPECT_EQ(CountElements(sessions[3], "Add"), 3);
  EXPECT_EQ(CountElements(sessions[3], "Delete"), 0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);

  // Replacing this computer's items: exactly the server's two remain.
  mPrompt.slowSync = SlowSyncAnswer::RefreshFromServer;
  RunOnce(0);
  sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 6u);
  EXPECT_EQ(AlertCode(sessions[5]), "205");
  EXPECT_EQ(CountElements(sessions[5], "Add") + CountElements(sessions[5], "Delete"), 0);
  auto store = OpenStore();
  ASSERT_EQ(store->HeldCount(DATA_TYPE_CONTACTS), 2u);
  for (const std::string& id : ids) EXPECT_FALSE(store->Held(id)) << id;
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(LinkGuardTest, LostAnchorsAskBeforeTheLinkContactsTheServerAndMergeRunsTheSlowSync) {
  SynchronizedContacts(2);
  mConf.SetIdentityGenerated(true);

  RunOnce(0);
  EXPECT_EQ(mServer.SyncSessions().size(), 1u);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);

  mConf.SetSilent(false);
  mPrompt.slowSync = SlowSyncAnswer::Merge;
  RunOnce(0);
  ASSERT_EQ(mPrompt.slowSyncQuestions.size(), 1u);
  EXPECT_FALSE(mPrompt.slowSyncQuestions[0].serverAsked);
  const auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(AlertCode(sessions[1]), "201");
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(LinkGuardTest, ServerDeletionsOfMostItemsAreHeldUntilConfirmed) {
  const auto ids = SynchronizedContacts(15);
  ServerDeletes(ids, 12);

  RunOnce(0);
  EXPECT_EQ(LocalContacts(), 15u);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);
  EXPECT_EQ(mRun->LastOutcome().linksNeedingDecision, 1);

  // Still held by the next silent run, though the server sends them no more.
  mServer.SetResponder({});
  RunOnce(0);
  EXPECT_EQ(LocalContacts(), 15u);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);

  mConf.SetSilent(false);
  mPrompt.deletions = DeletionAnswer::Confirm;
  RunOnce(0);
  ASSERT_EQ(mPrompt.deletionQuestions.size(), 1u);
  EXPECT_TRUE(mPrompt.deletionQuestions[0].byServer);
  EXPECT_EQ(mPrompt.deletionQuestions[0].deletions, 12);
  EXPECT_EQ(LocalContacts(), 3u);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  const auto sessions = mServer.SyncSessions();
  EXPECT_EQ(CountElements(sessions.back(), "Delete") + CountElements(sessions.back(), "Add"), 0);
}

TEST_F(LinkGuardTest, RefusedServerDeletionsGoBackToTheServerInTheSameRunAndFewDeletionsNeedNoQuestion) {
  const auto ids = SynchronizedContacts(15);
  ServerDeletes(ids, 12);
  mConf.SetSilent(false);
  mPrompt.deletions = DeletionAnswer::Refuse;

  RunOnce(0);
  EXPECT_EQ(LocalContacts(), 15u);
  const auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 3u);
  EXPECT_EQ(CountElements(sessions[2], "Add"), 12);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);

  // Ten of fifteen is not more than ten: carried out at once.
  ServerDeletes(ids, 10);
  RunOnce(0);
  EXPECT_EQ(mPrompt.deletionQuestions.size(), 1u);
  EXPECT_EQ(LocalContacts(), 5u);
}

TEST_F(LinkGuardTest, ServerDeletionsAnsweredInASessionThatBrokeOffAreCarriedOutByTheNextRun) {
  const auto ids = SynchronizedContacts(15);
  ServerDeletes(ids, 3);
  // The check, the initialization that brings the deletions, then the message that answers them:
  // it reaches the server, its reply is lost.
  const std::size_t answering = mServer.Posts().size() + 2;
  mServer.SetHook([answering](int index) {
    if (static_cast<std::size_t>(index) == answering) throw CHttpException(IDS_COMMUNICATION_ERROR);
  });
  RunOnce(0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);

  mServer.SetHook({});
  mServer.SetResponder({});
  RunOnce(0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED) << Link(0).mStatusText;
  auto store = OpenStore();
  EXPECT_EQ(store->HeldCount(DATA_TYPE_CONTACTS), 12u);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(store->Held(ids[static_cast<std::size_t>(i)]));
}

TEST_F(LinkGuardTest, AnEmptiedLocalFolderNeverEmptiesTheServer) {
  const auto ids = SynchronizedContacts(3);
  {
    auto store = OpenStore();
    for (const std::string& id : ids) store->DeleteLocal(id);
  }
  const std::string index = IndexBytes(0);

  RunOnce(0);
  EXPECT_EQ(Sent(1, "Delete"), 0);
  EXPECT_EQ(IndexBytes(0), index);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEEDS_DECISION);

  mConf.SetSilent(false);
  mPrompt.deletions = DeletionAnswer::Confirm;
  RunOnce(0);
  EXPECT_EQ(Sent(2, "Delete"), 3);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(LinkGuardTest, RefusedLocalDeletionsAreWrittenBackAndTheServerKeepsEveryItem) {
  const auto ids = SynchronizedContacts(15);
  {
    auto store = OpenStore();
    for (int i = 0; i < 12; ++i) store->DeleteLocal(ids[static_cast<std::size_t>(i)]);
  }
  mConf.SetSilent(false);
  mPrompt.deletions = DeletionAnswer::Refuse;

  RunOnce(0);
  ASSERT_EQ(mPrompt.deletionQuestions.size(), 1u);
  EXPECT_FALSE(mPrompt.deletionQuestions[0].byServer);
  EXPECT_EQ(mPrompt.deletionQuestions[0].items, 15);
  EXPECT_EQ(LocalContacts(), 15u);
  // Written back under new identifiers: the server's copies are replaced by them, none is lost.
  EXPECT_EQ(Sent(1, "Add"), 12);
  EXPECT_EQ(Sent(1, "Delete"), 12);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);

  RunOnce(0);
  EXPECT_EQ(Sent(2, "Add") + Sent(2, "Delete") + Sent(2, "Replace"), 0);
}

// Told before the first local write of a link's run, seeing the folder as it was.
class CountingLocalWrites final : public LocalWriteObserver {
 public:
  void BeforeFirstLocalWrite(const CSyncLink& link, CDatabaseObject& store) override {
    calls.push_back(link.mLocalName + " " + std::to_string(store.mCurrentItems.Count()));
  }
  std::vector<std::string> calls;
};

TEST_F(LinkGuardTest, TheLocalWriteObserverIsToldOnceBeforeTheFirstLocalWriteOfARunAndOnlyThen) {
  SynchronizedContacts(2);
  CountingLocalWrites writes;
  RecordingObserver observer;
  CSyncRun run(mConf, CSyncRun::Services{observer, mPrompt, mStores, mUpdates, &mTransports, nullptr, &writes});
  run.SetSelectedLink(0);
  run.BeginSyncRun();
  run.WaitForEnd();
  EXPECT_TRUE(writes.calls.empty()) << "nothing was written";

  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("<Alert>") == std::string::npos) return ScriptedPeer::DefaultReply(message, index);
    return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") +
                                      ServerSync(ServerContactAdd(10, "srv-a", "First New") + ServerContactAdd(11, "srv-b", "Second New")));
  });
  run.BeginSyncRun();
  run.WaitForEnd();
  EXPECT_EQ(writes.calls, std::vector<std::string>{"Contacts 2"});
  EXPECT_EQ(LocalContacts(), 4u);
}

}  // namespace
