// The worker's questions and notifications on the window's thread: answered there while its event
// loop runs, released when a cancel is confirmed during a question and when the window goes away,
// and never a deadlock.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/GuiHandOver.h"
#include "common/StringTable.h"
#include "engine/CSyncRun.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/SyncRunTestSupport.h"

namespace {

using namespace std::chrono_literals;

// The window's own prompt: answers on the thread it is called on and notes which thread that was.
// `whileAsked` runs while a conflict or e-mail question is "on screen".
class WindowPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view text, PromptButtons, PromptKind) override {
    Note();
    texts.emplace_back(text);
    return PromptAnswer::Yes;
  }
  bool AskLogin(LoginRequest&) override { return false; }
  ConflictAnswer AskConflict(const ConflictQuestion& question) override {
    Note();
    conflicts.push_back(question);
    if (whileAsked) whileAsked();
    return ConflictAnswer::Local;
  }
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override {
    Note();
    emailQuestions.push_back(question);
    if (whileAsked) whileAsked();
    return EmailTypesAnswer{{"W", "H"}, EMAIL_UNKNOWN_BUSINESS};
  }

  std::function<void()> whileAsked;
  std::vector<std::string> texts;
  std::vector<ConflictQuestion> conflicts;
  std::vector<EmailTypesQuestion> emailQuestions;
  bool allOnWindowThread = true;

 private:
  void Note() { allOnWindowThread = allOnWindowThread && QThread::currentThread() == qApp->thread(); }
};

class WindowObserver final : public SyncObserver {
 public:
  void SyncBegin() override { Note("begin"); }
  void SyncLinkUpdate(int linkIndex, const CSyncLink& link) override {
    Note("link " + std::to_string(linkIndex) + " " + std::to_string(link.mState));
  }
  void SyncEnd() override {
    Note("end");
    ended = true;
  }

  std::vector<std::string> events;
  bool ended = false;
  bool allOnWindowThread = true;

 private:
  void Note(const std::string& event) {
    allOnWindowThread = allOnWindowThread && QThread::currentThread() == qApp->thread();
    events.push_back(event);
  }
};

// Asks the e-mail question for every server contact it writes, as the address book stores do,
// and keeps the answers (the store itself ends with the run).
class EmailAskingStoreFactory final : public SyncStoreFactory {
 public:
  // The store keeps its items in files in `folder`, where the test put its local contact.
  explicit EmailAskingStoreFactory(std::string folder) : mFolder(std::move(folder)) {}
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt& prompt) override {
    return std::make_unique<Store>(conf, TestStore::Options{TestStore::StampForm::OleDateText, mFolder}, prompt, *this);
  }
  std::vector<std::optional<EmailTypesAnswer>> Answers() const {
    std::lock_guard lock(mMutex);
    return mAnswers;
  }

 private:
  class Store final : public TestStore {
   public:
    Store(CConf& conf, Options options, Prompt& prompt, EmailAskingStoreFactory& owner)
        : TestStore(conf, std::move(options)), mPrompt(prompt), mOwner(owner) {}
    int32_t AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                               const std::string& contentType) override {
      const EmailTypesQuestion question{serverId, "", {"a@example.org", "b@example.org"}, {"", ""}};
      const std::optional<EmailTypesAnswer> answer = mPrompt.AskEmailTypes(question);
      {
        std::lock_guard lock(mOwner.mMutex);
        mOwner.mAnswers.push_back(answer);
      }
      return TestStore::AddAddressBookItem(card, newEntryId, serverId, contentType);
    }

   private:
    Prompt& mPrompt;
    EmailAskingStoreFactory& mOwner;
  };

  std::string mFolder;
  mutable std::mutex mMutex;
  std::vector<std::optional<EmailTypesAnswer>> mAnswers;
};

class GuiHandOverTest : public SyncRunTest {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    mConf.SetSilent(false);
    mConf.SetConfResPol(false);
    mLocalId = OpenStore()->AddLocalContact("Lara Local");
    // The contacts session's first reply: a conflict on the local contact, then a server contact.
    mServer.SetResponder([this](const std::string& message, int index) {
      if (message.find("./contacts") != std::string::npos && message.find("<Alert>") != std::string::npos) {
        const std::string conflict = "<Status><CmdID>3</CmdID><MsgRef>1</MsgRef><CmdRef>5</CmdRef><Cmd>Replace</Cmd>"
                                     "<TargetRef>srv-9</TargetRef><SourceRef>" + mLocalId + "</SourceRef><Data>409</Data></Status>";
        return ServerReply(index + 1, HeaderStatus() + AlertStatus("200") + (mConflict ? conflict : "") +
                                          ServerSync(ServerContactAdd(4, "srv-1", "Sam Server")));
      }
      return ScriptedPeer::DefaultReply(message, index);
    });
  }

  // A run of the contacts link whose observer and prompt are the window's, behind the hand-over.
  std::unique_ptr<CSyncRun> MakeWindowRun() {
    auto run = std::make_unique<CSyncRun>(mConf, CSyncRun::Services{mObserverOverHandOver, mPromptOverHandOver, mAskingStores, mUpdates, &mTransports});
    run->SetSelectedLink(0);
    return run;
  }

  // Whether a message after the contacts session's first one carried `text`.
  bool SentLater(const std::string& text) const {
    const std::vector<std::string> messages = mServer.SyncMessages();
    for (std::size_t i = 1; i < messages.size(); ++i) {
      if (messages[i].find(text) != std::string::npos) return true;
    }
    return false;
  }

  QObject mWindow;
  GuiHandOver mHandOver{mWindow};
  WindowPrompt mWindowPrompt;
  WindowObserver mWindowObserver;
  GuiThreadPrompt mPromptOverHandOver{mWindowPrompt, mHandOver};
  GuiThreadObserver mObserverOverHandOver{mWindowObserver, mHandOver};
  EmailAskingStoreFactory mAskingStores{mDir.Path() + "store"};
  std::string mLocalId;
  bool mConflict = true;
};

TEST_F(GuiHandOverTest, TheWorkersQuestionsAreAnsweredOnTheWindowThreadWhileItsEventLoopRuns) {
  auto run = MakeWindowRun();
  ASSERT_EQ(run->BeginSyncRun(), SyncRunStart::Started);
  ASSERT_TRUE(WaitFor([&] { return mWindowObserver.ended; }, 60s));
  run->WaitForEnd();

  EXPECT_TRUE(mWindowPrompt.allOnWindowThread);
  EXPECT_TRUE(mWindowObserver.allOnWindowThread);
  ASSERT_EQ(mWindowPrompt.conflicts.size(), 1u);
  EXPECT_EQ(mWindowPrompt.conflicts[0].displayName, "Lara Local");
  ASSERT_EQ(mWindowPrompt.emailQuestions.size(), 1u);
  EXPECT_EQ(mWindowPrompt.emailQuestions[0].displayName, "srv-1");
  // Both answers reached the worker: the types went to the store, "keep the local value" to the server.
  EXPECT_EQ(mAskingStores.Answers(), (std::vector<std::optional<EmailTypesAnswer>>{EmailTypesAnswer{{"W", "H"}, EMAIL_UNKNOWN_BUSINESS}}));
  EXPECT_TRUE(SentLater("<Data>208</Data>"));
  EXPECT_EQ(Link(0).mState, SYNC_STATE_SYNCHRONIZED);
  EXPECT_EQ(mWindowObserver.events.front(), "begin");
  EXPECT_EQ(mWindowObserver.events.back(), "end");
}

TEST_F(GuiHandOverTest, ACancelConfirmedWhileTheWorkerWaitsForAnAnswerEndsTheRunWithoutDeadlock) {
  auto run = MakeWindowRun();
  bool cancelMarked = false;
  mWindowPrompt.whileAsked = [&] {
    // The conflict question is on screen; the user cancels the run from the window.
    cancelMarked = run->RequestCancel();
    if (cancelMarked) mHandOver.AbandonPending();
    // The question stays open while the worker, released, runs to its end.
    EXPECT_TRUE(WaitFor([&] { return mWindowObserver.ended; }, 60s));
  };
  ASSERT_EQ(run->BeginSyncRun(), SyncRunStart::Started);
  ASSERT_TRUE(WaitFor([&] { return mWindowObserver.ended; }, 60s));
  run->WaitForEnd();

  EXPECT_TRUE(cancelMarked);
  EXPECT_EQ(mWindowPrompt.texts, std::vector<std::string>{LoadString(IDS_CONFIRM_CANCEL)});
  EXPECT_EQ(Link(0).mState, SYNC_STATE_CANCELLED);
  EXPECT_EQ(Link(0).mStatusText, LoadString(IDS_CANCELED_BY_USER));
  EXPECT_TRUE(run->LastOutcome().cancelled);
  // The dropped answer sent nothing. The conflict, whose item the server did not send, was asked
  // when the server's package ended: after its contact, whose question was answered before.
  EXPECT_FALSE(SentLater("<Data>208</Data>"));
  EXPECT_EQ(mAskingStores.Answers().size(), 1u);
}

TEST_F(GuiHandOverTest, AWindowThatGoesAwayDuringAQuestionClosesTheHandOverAndTheRunEnds) {
  mConflict = false;
  auto run = MakeWindowRun();
  bool destroyed = false;
  mWindowPrompt.whileAsked = [&] {
    // The e-mail question is on screen and the window must go: it closes the hand-over, then
    // destroys the run (which cancels it and joins the worker) while the question is still open.
    mHandOver.Close();
    run.reset();
    destroyed = true;
  };
  ASSERT_EQ(run->BeginSyncRun(), SyncRunStart::Started);
  ASSERT_TRUE(WaitFor([&] { return destroyed; }, 60s));

  // The worker got the fallback (a cancel), and no notification reached the window after the close.
  EXPECT_EQ(mAskingStores.Answers(), std::vector<std::optional<EmailTypesAnswer>>{std::nullopt});
  EXPECT_FALSE(mWindowObserver.ended);
  EXPECT_TRUE(mHandOver.IsClosed());
}

}  // namespace
