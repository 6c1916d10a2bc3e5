// Sync run under cancel and failure: where a cancel takes effect, what a failed link leaves of its
// anchor and index, that the run goes on with the next link, and the slow sync after a session
// that did not finish.
#include <gtest/gtest.h>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "engine/CDataItemList.h"
#include "engine/SessionJournal.h"
#include "syncml/CSyncML.h"
#include "tests/support/SyncRunTestSupport.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

namespace {

class SyncRunFaultTest : public SyncRunTest {
 protected:
  // A first successful run of the contacts link with two items; then one more local item.
  void SynchronizeOnce() {
    {
      auto store = OpenStore();
      store->AddLocalContact("First");
      store->AddLocalContact("Second");
    }
    RunOnce(0);
    ASSERT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
    mAnchor = AnchorText(0);
    mIndex = IndexBytes(0);
    OpenStore()->AddLocalContact("Third");
  }
  void ExpectAnchorAndIndexUnchanged() {
    EXPECT_EQ(AnchorText(0), mAnchor);
    EXPECT_EQ(IndexBytes(0), mIndex);
  }
  // Replies to the first message of the contacts session with a server item.
  static std::string ReplyWithServerItem(const std::string& message, int index) {
    if (message.find("./contacts") != std::string::npos && message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + ServerSync(ServerContactAdd(4, "srv-5", "Server side")));
    }
    return ScriptedPeer::DefaultReply(message, index);
  }

  std::string mAnchor;
  std::string mIndex;
};

TEST_F(SyncRunFaultTest, CancelWhileWaitingTakesEffectAfterTheReplyBeforeItIsParsed) {
  SynchronizeOnce();
  mConf.SetSilent(false);
  const std::size_t postsBefore = mServer.Posts().size();
  std::string statusDuringWait;
  bool marked = false;
  mServer.SetHook([&](int index) {
    if (static_cast<std::size_t>(index) != postsBefore + 1) return;  // the contacts session's first message
    marked = mRun->RequestCancel();
    statusDuringWait = mRun->LinkStatusText(0);
  });
  mServer.SetResponder(ReplyWithServerItem);

  RunOnce();

  EXPECT_TRUE(marked);
  EXPECT_EQ(statusDuringWait, LoadString(IDS_CANCELING));
  EXPECT_EQ(mPrompt.Texts(), std::vector<std::string>{LoadString(IDS_CONFIRM_CANCEL)});
  EXPECT_EQ(Link(0).mState, SYNC_STATE_CANCELLED);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_CANCELED_BY_USER));
  EXPECT_EQ(Link(1).mState, SYNC_STATE_NEVER);
  EXPECT_EQ(mServer.Posts().size(), postsBefore + 2);
  EXPECT_EQ(OpenStore()->HeldCount(DATA_TYPE_CONTACTS), 3u);
  ExpectAnchorAndIndexUnchanged();
  EXPECT_TRUE(mRun->LastOutcome().cancelled);
  EXPECT_EQ(mConf.SyncRunning(), CConf::RUN_IDLE);
  // Not parsed at all: no reply handler ran in this run.
  EXPECT_EQ(ReadFileBytes(mConf.LogPath()).find("myHandleStartMessage"), std::string::npos);
}

TEST_F(SyncRunFaultTest, CancelIsAskedOnlyWhileRunningAndOnlyYesMarksIt) {
  mConf.SetSilent(false);
  mRun = MakeRun();
  EXPECT_FALSE(mRun->RequestCancel());
  EXPECT_TRUE(mPrompt.Texts().empty());

  mPrompt.answer = PromptAnswer::No;
  int flagAfterNo = -1;
  mServer.SetHook([&](int index) {
    if (index != 1) return;
    mRun->RequestCancel();
    flagAfterNo = mConf.SyncRunning();
  });
  RunOnce(0);
  EXPECT_EQ(flagAfterNo, CConf::RUN_RUNNING);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(SyncRunFaultTest, BeginDuringARunAsksToCancelInsteadOfStarting) {
  mConf.SetSilent(false);
  SyncRunStart second = SyncRunStart::Started;
  mServer.SetHook([&](int index) {
    if (index == 1) second = mRun->BeginSyncRun();
  });
  RunOnce();
  EXPECT_EQ(second, SyncRunStart::CancelAsked);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_CANCELED_BY_USER));
}

TEST_F(SyncRunFaultTest, TransportFailureFailsTheLinkKeepsAnchorAndIndexAndTheRunGoesOn) {
  SynchronizeOnce();
  const std::size_t failAt = mServer.Posts().size() + 1;
  mServer.SetHook([&](int index) {
    if (static_cast<std::size_t>(index) == failAt) throw CHttpException(IDS_COMMUNICATION_ERROR);
  });
  RunOnce();
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_COMMUNICATION_ERROR));
  EXPECT_EQ(Link(1).mState, SYNC_STATE_SYNCHRONIZED);
  ExpectAnchorAndIndexUnchanged();
  EXPECT_EQ(mRun->LastOutcome().linksFailed, 1);
  EXPECT_FALSE(mRun->LastOutcome().Succeeded());
}

// The Next anchor of the first Alert in `message`.
std::string AnchorNext(const std::string& message) {
  const std::size_t open = message.find("<Next>");
  return open == std::string::npos ? std::string() : message.substr(open + 6, message.find("</Next>", open) - open - 6);
}

// The CmdID of the client command whose item names `localId` in `message` ("" when none).
std::string CmdIdOfItem(const std::string& message, const std::string& localId) {
  const std::size_t item = message.find("<LocURI>" + localId + "</LocURI>");
  if (item == std::string::npos) return {};
  const std::size_t open = message.rfind("<CmdID>", item);
  return message.substr(open + 7, message.find("</CmdID>", open) - open - 7);
}

// Whether the saved index of link `linkIndex` lists `id`.
bool IndexLists(const CConf& conf, int linkIndex, const std::string& id) {
  CDataItemList index;
  index.SetPath(conf.ConfigFolder(), conf.Links().At(static_cast<std::size_t>(linkIndex)).LocalFileName());
  index.LoadFile();
  return index.Contains(id);
}

// One item the server refuses does not fail the link: everything else is committed (anchor and
// index), the link says it has errors, and the refused item is sent once more in the next run.
TEST_F(SyncRunFaultTest, AnItemTheServerRefusesIsSentAgainNextRunAndTheRestIsCommitted) {
  std::string refused;
  std::string accepted;
  {
    auto store = OpenStore();
    refused = store->AddLocalContact("Refused one");
    accepted = store->AddLocalContact("Accepted one");
  }
  bool refuse = true;
  mServer.SetResponder([&](const std::string& message, int index) {
    const std::string cmdId = CmdIdOfItem(message, refused);
    if (!refuse || cmdId.empty()) return ScriptedPeer::DefaultReply(message, index);
    const std::size_t msgId = message.find("<MsgID>");
    const std::string msgRef = message.substr(msgId + 7, message.find("</MsgID>", msgId) - msgId - 7);
    return ServerReply(index + 1, HeaderStatus() + "<Status><CmdID>3</CmdID><MsgRef>" + msgRef + "</MsgRef><CmdRef>" + cmdId +
                                      "</CmdRef><Cmd>Add</Cmd><Data>500</Data></Status>" +
                                      ItemStatuses(message, {}, 50, refused));
  });
  RunOnce(0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  EXPECT_EQ(Link(0).mItemErrors, 1);
  EXPECT_EQ(Link(0).StateText().rfind(FormatText(LoadString(IDS_SYNCHRONIZED_WITH_ERRORS), {1}), 0), 0u);
  EXPECT_TRUE(mRun->LastOutcome().Completed());
  EXPECT_FALSE(mRun->LastOutcome().Succeeded());
  EXPECT_EQ(mRun->LastOutcome().linksWithItemErrors, 1);
  EXPECT_NE(AnchorText(0), "0");
  EXPECT_FALSE(IndexLists(mConf, 0, refused));
  EXPECT_TRUE(IndexLists(mConf, 0, accepted));
  // The errors survive a restart of the program.
  CConf reloaded(mConf.ConfigFolder());
  ASSERT_TRUE(reloaded.Load(false));
  EXPECT_EQ(reloaded.Links().At(0).mItemErrors, 1);

  // Next run: only the refused item goes out, this time accepted, and the link is clean again.
  refuse = false;
  const std::size_t before = mServer.SyncSessions().size();
  RunOnce(0);
  const std::vector<std::string> sessions = mServer.SyncSessions();
  ASSERT_GT(sessions.size(), before);
  EXPECT_EQ(CountElements(sessions[before], "Add"), 1);
  EXPECT_NE(sessions[before].find("<LocURI>" + refused + "</LocURI>"), std::string::npos);
  EXPECT_EQ(Link(0).mItemErrors, 0);
  EXPECT_TRUE(mRun->LastOutcome().Succeeded());
  EXPECT_TRUE(IndexLists(mConf, 0, refused));
}

// A server that answers the header and the alert but says nothing about the client's Add has not
// taken it: the item counts as failed and goes out again, the run is never a clean success.
TEST_F(SyncRunFaultTest, AnItemCommandTheServerNeverAnsweredIsSentAgainNextRun) {
  std::string unanswered;
  {
    auto store = OpenStore();
    unanswered = store->AddLocalContact("Never answered");
  }
  bool answer = false;
  mServer.SetResponder([&](const std::string& message, int index) {
    if (answer) return ScriptedPeer::DefaultReply(message, index);
    const bool alert = message.find("<Alert>") != std::string::npos;
    return ServerReply(index + 1, HeaderStatus() + (alert ? AlertStatus("200") : ""));
  });
  RunOnce(0);
  EXPECT_EQ(Link(0).mItemErrors, 1);
  EXPECT_EQ(Link(0).StateText().rfind(FormatText(LoadString(IDS_SYNCHRONIZED_WITH_ERRORS), {1}), 0), 0u) << Link(0).StateText();
  EXPECT_FALSE(mRun->LastOutcome().Succeeded());
  EXPECT_FALSE(IndexLists(mConf, 0, unanswered));

  answer = true;
  const std::size_t before = mServer.SyncSessions().size();
  RunOnce(0);
  const std::vector<std::string> sessions = mServer.SyncSessions();
  ASSERT_GT(sessions.size(), before);
  EXPECT_NE(sessions[before].find("<LocURI>" + unanswered + "</LocURI>"), std::string::npos);
  EXPECT_EQ(Link(0).mItemErrors, 0);
  EXPECT_TRUE(mRun->LastOutcome().Succeeded());
  EXPECT_TRUE(IndexLists(mConf, 0, unanswered));
}

// A full disk while the configuration is saved after a link: the link shows the failure (its
// state would be lost without a word), the run counts it failed, the previous file stays whole.
TEST_F(SyncRunFaultTest, ALinkWhoseResultCannotBeSavedReportsTheFailureAndKeepsThePreviousFile) {
  RunOnce(0);
  ASSERT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  const std::string before = ReadFileBytes(mConf.ConfigFilePath());
  // Every other file of the run (anchor, empty index) is far smaller than the settings file.
  const int result = RunWithFileSizeLimit(before.size() - 1, [&] {
    RunOnce(0);
    const bool reported = Link(0).mState == SYNC_STATE_FAILED &&
                          Link(0).mStatusText == FormatText(LoadString(IDS_CONFIG_SAVE_FAILED), {mConf.ConfigFilePath()});
    return reported && mRun->LastOutcome().linksFailed == 1 && !mRun->LastOutcome().Succeeded() ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFileBytes(mConf.ConfigFilePath()), before);
}

TEST_F(SyncRunFaultTest, ServerErrorStateFailsTheLinkWithItsMessage) {
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("./contacts") != std::string::npos) return ServerReply(index + 1, HeaderStatus() + AlertStatus("404"));
    return ScriptedPeer::DefaultReply(message, index);
  });
  RunOnce();
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_DATABASE_NOT_FOUND));
  EXPECT_EQ(Link(1).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(SyncRunFaultTest, ServerItemsAppliedBeforeAFailureStayApplied) {
  SynchronizeOnce();
  mServer.SetResponder(ReplyWithServerItem);
  const std::size_t failAt = mServer.Posts().size() + 2;  // the answer to the server's item
  mServer.SetHook([&](int index) {
    if (static_cast<std::size_t>(index) == failAt) throw CHttpException(IDS_TIMED_OUT);
  });
  RunOnce(0);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_TIMED_OUT));
  EXPECT_EQ(OpenStore()->HeldCount(DATA_TYPE_CONTACTS), 4u);
  ExpectAnchorAndIndexUnchanged();
}

// After a session that reached the server and did not finish, the next one resumes it: a normal
// sync from the last good anchor (never a slow sync the client asks for, which cannot carry
// deletions); its new item is held back and then sent by a follow-up session as a Replace
// (an add where the first attempt did not arrive).
TEST_F(SyncRunFaultTest, AfterASessionThatDidNotFinishTheNextRunResumesItWithANormalSync) {
  SynchronizeOnce();
  SessionJournal journal(mConf, Link(0));
  EXPECT_FALSE(journal.Load());
  const std::string third = OpenStore()->HeldIds(DATA_TYPE_CONTACTS).back();
  const std::size_t failAt = mServer.Posts().size() + 2;  // the reply to the link's Sync package
  mServer.SetHook([&](int index) {
    if (static_cast<std::size_t>(index) == failAt) throw CHttpException(IDS_COMMUNICATION_ERROR);
  });
  RunOnce(0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  ASSERT_TRUE(journal.Load());
  const std::string interrupted = mServer.SyncMessages().back();

  mServer.SetHook(nullptr);
  const std::size_t resumedAt = mServer.SyncMessages().size();
  RunOnce(0);
  const std::vector<std::string> messages = mServer.SyncMessages();
  ASSERT_GT(messages.size(), resumedAt);
  EXPECT_EQ(AlertCode(messages[resumedAt]), "200");
  EXPECT_NE(messages[resumedAt].find("<Last>" + mAnchor + "</Last>"), std::string::npos);
  const std::string resent = messages.back();
  EXPECT_EQ(CountElements(resent, "Add"), 0);
  EXPECT_EQ(CountElements(resent, "Replace"), 1);
  EXPECT_NE(resent.find("<LocURI>" + third + "</LocURI>"), std::string::npos);
  EXPECT_NE(interrupted.find("<LocURI>" + third + "</LocURI>"), std::string::npos);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  EXPECT_FALSE(journal.Load());

  RunOnce(0);
  EXPECT_EQ(CountElements(mServer.SyncMessages().back(), "Replace"), 0);
}

// An interrupted first run counts as interrupted, not as new: the next one alerts 200 with the
// Next anchor the first one sent (a server that never stored it forces a slow sync of its own,
// which keeps its map of the client's identifiers, unlike one the client asks for).
TEST_F(SyncRunFaultTest, AnInterruptedFirstRunIsResumedFromTheNextAnchorItSent) {
  const std::string contact = OpenStore()->AddLocalContact("First one");
  const std::size_t failAt = mServer.Posts().size() + 2;
  mServer.SetHook([&](int index) {
    if (static_cast<std::size_t>(index) == failAt) throw CHttpException(IDS_COMMUNICATION_ERROR);
  });
  RunOnce(0);
  ASSERT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  EXPECT_EQ(AlertCode(mServer.SyncMessages().front()), "201");
  const std::string next = AnchorNext(mServer.SyncMessages().front());

  mServer.SetHook(nullptr);
  const std::size_t resumedAt = mServer.SyncMessages().size();
  RunOnce(0);
  const std::vector<std::string> messages = mServer.SyncMessages();
  ASSERT_GT(messages.size(), resumedAt);
  EXPECT_EQ(AlertCode(messages[resumedAt]), "200");
  EXPECT_NE(messages[resumedAt].find("<Last>" + next + "</Last>"), std::string::npos);
  EXPECT_NE(messages.back().find("<LocURI>" + contact + "</LocURI>"), std::string::npos);
  EXPECT_EQ(CountElements(messages.back(), "Replace"), 1);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  // The resumed session holds the item back; the follow-up session of the same run sends it.
  EXPECT_EQ(AnchorText(0), std::to_string(std::stoi(next) + 2));
}

TEST_F(SyncRunFaultTest, ASessionOfWhichNothingLeftIsFollowedByANormalSyncUnlessAnEarlierOneWasLost) {
  SynchronizeOnce();
  SessionJournal journal(mConf, Link(0));
  // The server check of each run passes; the link's first post finds no server.
  const auto failLinkPost = [&] {
    const std::size_t failAt = mServer.Posts().size() + 1;
    mServer.SetHook([failAt](int index) {
      if (static_cast<std::size_t>(index) == failAt) throw CHttpNotSentException(IDS_COMMUNICATION_ERROR);
    });
  };
  failLinkPost();
  RunOnce(0);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_COMMUNICATION_ERROR));
  EXPECT_FALSE(journal.Load());
  ExpectAnchorAndIndexUnchanged();
  RunOnce(0);
  EXPECT_EQ(CountElements(mServer.SyncMessages().back(), "Add"), 1);

  // A journal left by a session that did reach the server stays until a session completes.
  OpenStore()->AddLocalContact("Fourth");
  ASSERT_TRUE(journal.Begin(99, false));
  failLinkPost();
  RunOnce(0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  EXPECT_TRUE(journal.Load());

  mServer.SetHook(nullptr);
  RunOnce(0);
  EXPECT_EQ(CountElements(mServer.SyncMessages().back(), "Replace"), 1);
  EXPECT_FALSE(journal.Load());
  RunOnce(0);
  EXPECT_EQ(CountElements(mServer.SyncMessages().back(), "Replace"), 0);
}

TEST_F(SyncRunFaultTest, FolderAndLoadFailuresFailTheLinkWithTheirTexts) {
  mStores.configure = [](TestStore& store) { store.SetOpen(false); };
  RunOnce(0);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_FOLDER_SELECT_ERROR));
  mStores.configure = [](TestStore& store) { store.FailNextLoad(kStoreFail); };
  RunOnce(0);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_DATABASE_LOAD_ERROR));
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  EXPECT_TRUE(mServer.SyncMessages().empty());
}

TEST_F(SyncRunFaultTest, ASessionTheServerNeverEndsFailsAfterTheMessageLimit) {
  // Every reply carries a server Sync, which needs an answer: the session never finishes.
  mServer.SetResponder([](const std::string&, int index) { return ServerReply(index + 1, HeaderStatus() + ServerSync("")); });
  RunOnce(0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  EXPECT_EQ(Link(0).mStatusText, FormatText(LoadString(IDS_TOO_MANY_MESSAGES), {CSyncML::kMaxMessages}));
  // The link's session, and the server check with the few messages that close it.
  EXPECT_LE(mServer.Posts().size(), static_cast<std::size_t>(CSyncML::kMaxMessages) + 5);
}

}  // namespace
