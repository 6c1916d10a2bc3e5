// Sync run: links walked in order with their results, what each exchange sends, modes, skipped
// links, slow-sync restart, messages split by size, the server check and the run's start.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "tests/support/SyncRunTestSupport.h"

namespace {

int TotalOf(const std::vector<std::string>& messages, const std::string& element) {
  int total = 0;
  for (const std::string& message : messages) total += CountElements(message, element);
  return total;
}

TEST_F(SyncRunTest, FirstRunSendsEveryItemAppliesTheServersAndSavesAnchorIndexAndState) {
  {
    auto store = OpenStore();
    store->AddLocalContact("Ada Lovelace");
    store->AddLocalContact("Alan Turing");
    store->AddLocalEvent("Review", "20270105T090000Z", "20270105T100000Z");
  }
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("./contacts") != std::string::npos && message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + ServerSync(ServerContactAdd(4, "srv-1", "Grace Hopper")));
    }
    return ScriptedPeer::DefaultReply(message, index);
  });

  EXPECT_EQ(RunOnce(), SyncRunStart::Started);

  const auto messages = mServer.SyncMessages();
  const auto sessions = mServer.SyncSessions();
  // contacts: initialization, then changes with the answer to the server's Add; events: the same.
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(AlertCode(messages[0]), "201");  // a link's first run is a slow sync
  EXPECT_EQ(CountElements(messages[0], "Add"), 0);  // the initialization package goes alone
  EXPECT_EQ(CountElements(messages[0], "Put"), 1);
  EXPECT_EQ(CountElements(sessions[0], "Add"), 2);
  EXPECT_EQ(CountElements(sessions[0], "Map"), 1);
  EXPECT_EQ(CountElements(sessions[1], "Add"), 1);
  for (int link : {0, 1}) {
    EXPECT_EQ(Link(link).mState, SYNC_STATE_SYNCHRONIZED) << Link(link).mStatusText;
    EXPECT_GT(Link(link).mLastSyncTime, 0);
    EXPECT_EQ(AnchorText(link).substr(0, 1), "1");
    EXPECT_FALSE(IndexBytes(link).empty());
  }
  EXPECT_EQ(Link(0).mLocalCounts, (ChangeCounts{2, 0, 0}));
  EXPECT_EQ(Link(0).mServerCounts, (ChangeCounts{1, 0, 0}));
  EXPECT_EQ(OpenStore()->HeldCount(DATA_TYPE_CONTACTS), 3u);
  EXPECT_EQ(mConf.SyncRunning(), CConf::RUN_IDLE);
  EXPECT_TRUE(mRun->LastOutcome().Succeeded());

  // The states are in the file: a fresh configuration reads them.
  CConf reread(mConf.ConfigFolder());
  ASSERT_TRUE(reread.Load(false));
  EXPECT_EQ(reread.Links().At(0).mState, SYNC_STATE_SYNCHRONIZED);

  const auto events = mObserver.Events();
  EXPECT_EQ(events.front(), "begin");
  EXPECT_EQ(events.back(), "end");
  EXPECT_NE(std::find(events.begin(), events.end(), "link 0 3 " + LoadString(IDS_LOOKING_FOR_UPDATES)), events.end());
}

TEST_F(SyncRunTest, ACalendarLinkOfAServerThatTakesVCalendarOnlySendsVCalendar) {
  OpenStore()->AddLocalEvent("Review", "20270105T090000Z", "20270105T100000Z");
  Link(1).mCalendarVersion = "1.0";
  EXPECT_EQ(RunOnce(), SyncRunStart::Started);
  const auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(CountElements(sessions[1], "Add"), 1);
  EXPECT_NE(sessions[1].find("VERSION:1.0"), std::string::npos);
  EXPECT_EQ(sessions[1].find("VERSION:2.0"), std::string::npos);
}

TEST_F(SyncRunTest, LaterRunsSendOnlyWhatChangedLocally) {
  std::string kept, edited, removed;
  {
    auto store = OpenStore();
    kept = store->AddLocalContact("Kept");
    edited = store->AddLocalContact("Edited");
    removed = store->AddLocalContact("Removed");
  }
  RunOnce(0);
  RunOnce(0);
  ASSERT_EQ(mServer.SyncSessions().size(), 2u);
  EXPECT_EQ(AlertCode(mServer.SyncSessions()[1]), "200");
  EXPECT_EQ(TotalOf({mServer.SyncSessions()[1]}, "Add") + TotalOf({mServer.SyncSessions()[1]}, "Replace") +
                TotalOf({mServer.SyncSessions()[1]}, "Delete"),
            0);
  {
    auto store = OpenStore();
    store->EditLocal(edited, "PR_DISPLAY_NAME", "Edited again");
    store->DeleteLocal(removed);
  }
  RunOnce(0);
  const std::string third = mServer.SyncSessions().back();
  EXPECT_EQ(CountElements(third, "Replace"), 1);
  EXPECT_EQ(CountElements(third, "Delete"), 1);
  EXPECT_EQ(CountElements(third, "Add"), 0);
  EXPECT_NE(third.find(edited), std::string::npos);
  EXPECT_NE(third.find(removed), std::string::npos);
  EXPECT_EQ(Link(0).mLocalCounts, (ChangeCounts{0, 1, 1}));
}

// A slow sync the server forces resends every item without a new Alert: those the index holds
// under the identifiers the server knows (Replace), the new one as Add, and the one deleted since
// the last run as a Delete, so that the server's copy does not come back.
TEST_F(SyncRunTest, ServerSlowSyncRequestResendsEveryItemUnderItsKnownIdentifierWithoutANewAlert) {
  std::string gone;
  {
    auto store = OpenStore();
    store->AddLocalContact("One");
    store->AddLocalContact("Two");
    gone = store->AddLocalContact("Gone");
  }
  RunOnce(0);
  {
    auto store = OpenStore();
    store->AddLocalContact("Three");
    store->DeleteLocal(gone);
  }
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("<Alert>") != std::string::npos) return ServerReply(index + 1, HeaderStatus() + AlertStatus("508"));
    return ScriptedPeer::DefaultReply(message, index);
  });
  mConf.SetSilent(false);
  mPrompt.slowSync = SlowSyncAnswer::Merge;
  RunOnce(0);

  ASSERT_EQ(mPrompt.slowSyncQuestions.size(), 1u);
  EXPECT_TRUE(mPrompt.slowSyncQuestions[0].serverAsked);
  EXPECT_EQ(mPrompt.slowSyncQuestions[0].localItems, 3);
  EXPECT_EQ(mPrompt.slowSyncQuestions[0].itemsAtLastSync, 3);
  const auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(CountElements(sessions[0], "Add"), 3);
  EXPECT_EQ(CountElements(sessions[1], "Add"), 1);
  EXPECT_EQ(CountElements(sessions[1], "Replace"), 2);
  EXPECT_EQ(CountElements(sessions[1], "Delete"), 1);
  EXPECT_NE(sessions[1].find("<LocURI>" + gone + "</LocURI>"), std::string::npos);
  EXPECT_EQ(CountElements(sessions[1], "Alert"), 1);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  EXPECT_EQ(Link(0).mLocalCounts, (ChangeCounts{1, 2, 1}));
}

TEST_F(SyncRunTest, ServerAlertConfirmingASlowSyncSendsNothingAgainAndLaterMessagesCarryNoSync) {
  OpenStore()->AddLocalContact("Once");
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + ServerAlert("201") +
                                        ServerSync(ServerContactAdd(6, "srv-2", "From server")));
    }
    return ScriptedPeer::DefaultReply(message, index);
  });
  RunOnce(0);
  const auto messages = mServer.SyncMessages();
  // The initialization, then the one package of changes with the answer to the server's Add.
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(CountElements(messages[0], "Sync"), 0);
  EXPECT_EQ(CountElements(messages[1], "Add"), 1);
  EXPECT_EQ(CountElements(messages[1], "Sync"), 1);
  EXPECT_EQ(CountElements(messages[1], "Map"), 1);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(SyncRunTest, DownloadOnlySendsNothingEvenAfterASlowSyncRequest) {
  Link(0).mMode = SYNC_MODE_DOWNLOAD;
  {
    auto store = OpenStore();
    store->AddLocalContact("Local only");
  }
  mServer.SetResponder([](const std::string& message, int index) {
    if (message.find("<Alert>") != std::string::npos) {
      return ServerReply(index + 1, HeaderStatus() + AlertStatus("508") + ServerSync(ServerContactAdd(4, "srv-9", "From server")));
    }
    return ScriptedPeer::DefaultReply(message, index);
  });
  RunOnce(0);
  const auto messages = mServer.SyncMessages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(AlertCode(messages[0]), "205");
  EXPECT_EQ(TotalOf(messages, "Add") + TotalOf(messages, "Replace") + TotalOf(messages, "Delete"), 0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  EXPECT_EQ(OpenStore()->HeldCount(DATA_TYPE_CONTACTS), 2u);
}

TEST_F(SyncRunTest, UploadOnlyAlertsUploadAndSendsChanges) {
  Link(0).mMode = SYNC_MODE_UPLOAD;
  {
    auto store = OpenStore();
    store->AddLocalContact("Up");
  }
  RunOnce(0);
  OpenStore()->AddLocalContact("Later");
  RunOnce(0);
  const auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(AlertCode(sessions[0]), "203");
  EXPECT_EQ(AlertCode(sessions[1]), "202");
  EXPECT_EQ(CountElements(sessions[1], "Add"), 1);
}

TEST_F(SyncRunTest, ANewClientIdentityMakesTheNextRunASlowSyncWithTheGuardOff) {
  OpenStore()->AddLocalContact("Kept");
  RunOnce(0);
  mConf.SetSlowSyncGuard(false);
  mConf.SetIdentityGenerated(true);
  RunOnce(0);
  const auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 2u);
  EXPECT_EQ(AlertCode(sessions[1]), "201");
  EXPECT_EQ(CountElements(sessions[1], "Add"), 1);
}

TEST_F(SyncRunTest, LinksOffOfAnotherApplicationOrOfASwitchedOffTypeAreNotContacted) {
  CSyncLink tasks = Link(1);
  tasks.mDataType = DATA_TYPE_TASKS;
  tasks.mClientApp = LOCAL_APP_WINDOWS_CONTACTS;
  mConf.Links().Add(tasks);
  Link(0).mMode = SYNC_MODE_OFF;
  mConf.SetSyncCal(false);
  for (int i : {0, 1, 2}) Link(i).mState = SYNC_STATE_FAILED;

  RunOnce(-1);
  RunOnce(1);  // selected, but its data type is off
  EXPECT_TRUE(mServer.SyncMessages().empty());
  for (int i : {0, 1, 2}) EXPECT_EQ(Link(i).mState, SYNC_STATE_FAILED) << i;
}

TEST_F(SyncRunTest, ASelectedLinkRunsAloneAndTheOthersKeepTheirState) {
  Link(0).mState = SYNC_STATE_FAILED;
  RunOnce(1);
  const auto sessions = mServer.SyncSessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_NE(sessions[0].find("./events"), std::string::npos);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
  EXPECT_EQ(Link(1).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(SyncRunTest, ChangesThatDoNotFitOneMessageGoOutOnceEachOverSeveralMessages) {
  mConf.SetMaxMsgSize(2500);
  std::vector<std::string> ids;
  {
    auto store = OpenStore();
    for (int i = 0; i < 12; ++i) ids.push_back(store->AddLocalContact("Contact number " + std::to_string(i)));
  }
  RunOnce(0);
  const auto messages = mServer.SyncMessages();
  EXPECT_GT(messages.size(), 2u);
  EXPECT_EQ(TotalOf(messages, "Add"), 12);
  for (const std::string& id : ids) {
    const auto holding = std::count_if(messages.begin(), messages.end(),
                                       [&](const std::string& m) { return m.find("<LocURI>" + id + "</LocURI>") != std::string::npos; });
    EXPECT_EQ(holding, 1) << id;
  }
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(SyncRunTest, ANewGroupsNewMembersGoOutFirstAndTheGroupStaysLocal) {
  std::string first, second, group, single;
  {
    auto store = OpenStore();
    group = store->AddLocalGroup("Team", {});
    single = store->AddLocalContact("Not a member");
    first = store->AddLocalContact("Member one");
    second = store->AddLocalContact("Member two");
    store->SetLocalMembers(group, {first, second});
  }
  RunOnce(0);
  const std::string message = mServer.SyncSessions().at(0);
  EXPECT_EQ(CountElements(message, "Add"), 3);
  EXPECT_EQ(message.find("<LocURI>" + group + "</LocURI>"), std::string::npos);
  EXPECT_EQ(message.find("<Type xmlns=\"syncml:metinf\">text/zep-group</Type>"), std::string::npos);
  // The group's members go out before the contacts that stand after the group in the folder.
  EXPECT_LT(message.find("<LocURI>" + first + "</LocURI>"), message.find("<LocURI>" + single + "</LocURI>"));
  EXPECT_LT(message.find("<LocURI>" + second + "</LocURI>"), message.find("<LocURI>" + single + "</LocURI>"));
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(SyncRunTest, ConsoleObserverPrintsWhatEachLinkSentAndReceived) {
  {
    auto store = OpenStore();
    store->AddLocalContact("Printed");
  }
  std::ostringstream out;
  ConsoleSyncObserver console(out);
  CSyncRun run(mConf, CSyncRun::Services{console, mPrompt, mStores, mUpdates, &mTransports});
  run.SetSelectedLink(0);
  ASSERT_EQ(run.BeginSyncRun(), SyncRunStart::Started);
  run.WaitForEnd();
  const std::string text = out.str();
  EXPECT_NE(text.find(LoadString(IDS_DETAILS_LOCAL_ADDITIONS) + " 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find(LoadString(IDS_DETAILS_SERVER_ADDITIONS) + " 0\n"), std::string::npos) << text;
  EXPECT_NE(text.find(LoadString(IDS_STATE_SYNCHRONIZED)), std::string::npos) << text;
  EXPECT_EQ(console.LinksRun(), 1);
  EXPECT_EQ(console.LinksFailed(), 0);
}

TEST_F(SyncRunTest, ConsoleObserverWritesNoTerminalControlsAServerTextMayCarry) {
  std::ostringstream out;
  ConsoleSyncObserver console(out);
  CSyncLink link = Link(0);
  link.mState = SYNC_STATE_IN_PROGRESS;
  link.mStatusText = "Bad \x1b[2J\x07request\r\n\xc2\x9b" "31m r\xc3\xa9ponse\xc2\x85";
  console.SyncLinkUpdate(0, link);
  const std::string text = out.str();
  EXPECT_EQ(text.substr(text.find(": ") + 2), "Bad ?[2J?request???31m r\xc3\xa9ponse?\n");
}

// ---- The check before a run: on the worker, after the password, before any link

TEST_F(SyncRunTest, CheckRefusedByTheServerRunsNoLinkAndMarksTheLinksFailedWithItsReason) {
  Link(1).mState = SYNC_STATE_SYNCHRONIZED;
  Link(1).mLastSyncTime = 1700000000;
  mServer.SetResponder([](const std::string&, int index) { return ServerReply(index + 1, HeaderStatus("401")); });
  EXPECT_EQ(RunOnce(), SyncRunStart::Started);
  EXPECT_EQ(mServer.Posts().size(), 1u);
  EXPECT_TRUE(mServer.SyncMessages().empty());
  EXPECT_EQ(mRun->LastOutcome().error, LoadString(IDS_AUTHENTICATION_ERROR));
  EXPECT_FALSE(mRun->LastOutcome().Completed());
  for (const int link : {0, 1}) {
    EXPECT_EQ(Link(link).mState, SYNC_STATE_FAILED) << link;
    EXPECT_EQ(Link(link).mStatusText, LoadString(IDS_AUTHENTICATION_ERROR)) << link;
  }
  // The last good run stays known, in the file too.
  EXPECT_EQ(Link(1).mLastSyncTime, 1700000000);
  CConf reread(mConf.ConfigFolder());
  ASSERT_TRUE(reread.Load(false));
  EXPECT_EQ(reread.Links().At(1).mState, SYNC_STATE_FAILED);
  EXPECT_EQ(reread.Links().At(1).mLastSyncTime, 1700000000);
  const auto events = mObserver.Events();
  EXPECT_EQ(events.front(), "begin");
  EXPECT_EQ(events.back(), "end");
  EXPECT_EQ(mConf.SyncRunning(), CConf::RUN_IDLE);
}

TEST_F(SyncRunTest, CheckTransportFailureIsShownAndNoLinkRuns) {
  mConf.SetSilent(false);
  mServer.SetHook([](int) { throw CHttpException(IDS_COMMUNICATION_ERROR); });
  EXPECT_EQ(RunOnce(), SyncRunStart::Started);
  EXPECT_EQ(mPrompt.Texts(), std::vector<std::string>{LoadString(IDS_COMMUNICATION_ERROR)});
  EXPECT_EQ(mServer.Posts().size(), 1u);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_FAILED);
}

TEST_F(SyncRunTest, ACancelDuringTheCheckEndsTheRunWithoutAnErrorOrAChangedLink) {
  mConf.SetSilent(false);
  mServer.SetHook([this](int) { mConf.SetSyncRunning(CConf::RUN_CANCEL_REQUESTED); });
  EXPECT_EQ(RunOnce(), SyncRunStart::Started);
  EXPECT_TRUE(mPrompt.Texts().empty());
  EXPECT_TRUE(mRun->LastOutcome().cancelled);
  EXPECT_TRUE(mRun->LastOutcome().error.empty());
  EXPECT_EQ(mServer.Posts().size(), 1u);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEVER);
  EXPECT_EQ(mConf.SyncRunning(), CConf::RUN_IDLE);
}

TEST_F(SyncRunTest, VersionRefusedStartsTheUpdateOnlyWhenAcceptedAndNeverTheLinks) {
  mServer.SetResponder([](const std::string&, int index) { return ServerReply(index + 1, HeaderStatus("513")); });
  mConf.SetSilent(false);
  mPrompt.answer = PromptAnswer::Cancel;
  RunOnce();
  EXPECT_EQ(mUpdates.started, 0);
  EXPECT_FALSE(mRun->LastOutcome().updateStarted);
  EXPECT_EQ(mPrompt.Texts(), std::vector<std::string>{LoadString(IDS_UPDATE_AVAILABLE)});

  for (int link : {0, 1}) Link(link).mState = SYNC_STATE_NEVER;
  mPrompt.answer = PromptAnswer::Ok;
  RunOnce();
  EXPECT_EQ(mUpdates.started, 1);
  EXPECT_TRUE(mRun->LastOutcome().updateStarted);
  // The program closes for the update: no link is marked.
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEVER);

  mConf.SetSilent(true);  // silently: accepted without a question
  RunOnce();
  EXPECT_EQ(mUpdates.started, 2);
  EXPECT_EQ(mPrompt.Texts().size(), 2u);
  EXPECT_TRUE(mServer.SyncMessages().empty());
}

// The update's download runs on the worker and stops on the user's cancel.
TEST_F(SyncRunTest, AnUpdateDownloadStartedByTheCheckStopsOnACancel) {
  class CancelledUpdate final : public UpdateStarter {
   public:
    explicit CancelledUpdate(CConf& conf) : mConf(conf) {}
    void StartUpdate(CConf&, const std::function<bool()>& abortRequested) override {
      abortedBefore = abortRequested();
      mConf.SetSyncRunning(CConf::RUN_CANCEL_REQUESTED);  // the user cancels during the download
      abortedAfter = abortRequested();
      throw CUpdaterException(IDS_CANCELED_BY_USER);
    }
    bool abortedBefore = true;
    bool abortedAfter = false;

   private:
    CConf& mConf;
  } updates(mConf);
  mServer.SetResponder([](const std::string&, int index) { return ServerReply(index + 1, HeaderStatus("513")); });
  CSyncRun run(mConf, CSyncRun::Services{mObserver, mPrompt, mStores, updates, &mTransports});
  ASSERT_EQ(run.BeginSyncRun(), SyncRunStart::Started);
  run.WaitForEnd();
  EXPECT_FALSE(updates.abortedBefore);
  EXPECT_TRUE(updates.abortedAfter);
  EXPECT_TRUE(run.LastOutcome().cancelled);
  EXPECT_FALSE(run.LastOutcome().updateStarted);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEVER);
}

TEST_F(SyncRunTest, ALinkTheUserCancelsSaysSoAndKeepsItsLastGoodDate) {
  Link(0).mState = SYNC_STATE_SYNCHRONIZED;
  Link(0).mLastSyncTime = 1700000000;
  mServer.SetHook([this](int index) {
    if (index == 1) mConf.SetSyncRunning(CConf::RUN_CANCEL_REQUESTED);
  });
  RunOnce();
  EXPECT_EQ(Link(0).mState, SYNC_STATE_CANCELLED);
  EXPECT_EQ(Link(0).mLastSyncTime, 1700000000);
  EXPECT_EQ(Link(1).mState, SYNC_STATE_NEVER);
  EXPECT_TRUE(mRun->LastOutcome().cancelled);
  CConf reread(mConf.ConfigFolder());
  ASSERT_TRUE(reread.Load(false));
  EXPECT_EQ(reread.Links().At(0).mState, SYNC_STATE_CANCELLED);
  EXPECT_EQ(reread.Links().At(0).mLastSyncTime, 1700000000);
}

TEST_F(SyncRunTest, TheCheckAndTheLinksNameTheClientByOneIdentityEvenWithoutOneConfigured) {
  mConf.SetClientStoreId("");
  mConf.RemoveKey(CConf::kSection, "OutlookID");
  RunOnce();
  const std::string identity = mConf.ClientStoreId();
  ASSERT_EQ(identity.size(), CConf::kIdentityLength);
  const auto posts = mServer.Posts();
  ASSERT_GE(posts.size(), 2u);
  for (const auto& post : posts) EXPECT_NE(post.body.find("<Source><LocURI>" + identity + "</LocURI>"), std::string::npos);
  CConf reread(mConf.ConfigFolder());
  ASSERT_TRUE(reread.Load(false));
  EXPECT_EQ(reread.ClientStoreId(), identity);
}

TEST_F(SyncRunTest, IncompleteConfigurationEndsTheRunWithoutTouchingALink) {
  mConf.SetUrl("");
  mRun = MakeRun();
  EXPECT_EQ(mRun->SyncThreadProc(), 0);
  EXPECT_EQ(mObserver.Events(), (std::vector<std::string>{"begin", "end"}));
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEVER);
  EXPECT_EQ(mRun->LastOutcome().error, LoadString(IDS_URL_NOT_SET));
}

// The login comes before anything is sent, the check included.
TEST_F(SyncRunTest, MissingPasswordAsksForItBeforeTheCheckAndADeclinedLoginEndsTheRun) {
  mConf.SetPassword("");
  mConf.SetRememberPass(false);
  mConf.SetSilent(false);
  RunOnce();
  EXPECT_EQ(mPrompt.Texts(), std::vector<std::string>{"login"});
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEVER);
  EXPECT_TRUE(mServer.Posts().empty());
  EXPECT_TRUE(mRun->LastOutcome().cancelled);

  mPrompt.password = "entered";
  std::string passwordAtTheCheck;
  mServer.SetHook([&](int index) {
    if (index == 0) passwordAtTheCheck = mConf.Password();
  });
  RunOnce();
  EXPECT_EQ(passwordAtTheCheck, "entered");
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
}

TEST_F(SyncRunTest, ASilentRunWithoutAStoredPasswordSendsNothingAndSaysWhy) {
  mConf.SetPassword("");
  mConf.SetRememberPass(false);
  mConf.SetSilent(true);
  RunOnce();
  EXPECT_TRUE(mServer.Posts().empty());
  EXPECT_TRUE(mPrompt.Texts().empty());
  const SyncRunOutcome outcome = mRun->LastOutcome();
  EXPECT_TRUE(outcome.passwordMissing);
  EXPECT_EQ(outcome.error, FormatText(LoadString(IDS_NO_PASSWORD_STORED), {mConf.ProductName()}));
  EXPECT_EQ(outcome.linksRun, 0);
}

TEST_F(SyncRunTest, StoreThatCannotOpenStopsTheRunBeforeAnyLink) {
  mStores.configure = [](TestStore& store) { store.mInitError = IDS_OUTLOOK_LOAD_ERROR; };
  mConf.SetSilent(false);
  RunOnce();
  EXPECT_EQ(mPrompt.Texts(), std::vector<std::string>{LoadString(IDS_OUTLOOK_LOAD_ERROR)});
  EXPECT_TRUE(mServer.SyncMessages().empty());
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEVER);
  EXPECT_FALSE(mRun->LastOutcome().Succeeded());
}

TEST_F(SyncRunTest, StoreFactoryErrorIsTheRunsErrorAndNoLinkRuns) {
  class Refusing final : public SyncStoreFactory {
   public:
    std::unique_ptr<CDatabaseObject> CreateStore(CConf&, Prompt&) override { throw CMainException(std::string("no such store")); }
  } refusing;
  CSyncRun run(mConf, CSyncRun::Services{mObserver, mPrompt, refusing, mUpdates, &mTransports});
  ASSERT_EQ(run.BeginSyncRun(), SyncRunStart::Started);
  run.WaitForEnd();
  EXPECT_EQ(run.LastOutcome().error, "no such store");
  EXPECT_EQ(run.LastOutcome().linksRun, 0);
  EXPECT_EQ(Link(0).mState, SYNC_STATE_NEVER);
}

}  // namespace
