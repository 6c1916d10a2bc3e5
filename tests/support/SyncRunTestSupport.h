// Driver test helpers: a scripted SyncML server behind the transport seam, SyncML reply texts,
// a recording observer and prompt, and a fixture with a configuration of two links over a test
// store kept in files (so it outlives the run's own store object).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "engine/CSyncRun.h"
#include "engine/SyncObserver.h"
#include "engine/SyncRunServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStore.h"

// Contacts, events and tasks on, every calendar item (no date filter), the content type standard
// servers take, and one two-way Outlook link per data type ("Contacts", "Calendar", "Tasks").
void ConfigureThreeTwoWayLinks(CConf& conf);

// --- Server replies. `msgId` is the server's MsgID; every reply ends with Final.
std::string ServerReply(int msgId, const std::string& body);
// The Status of the client's SyncHdr (code 200 by default) and of its Alert.
std::string HeaderStatus(const std::string& code = "200");
std::string AlertStatus(const std::string& code);
// A Status for every Add, Replace and Delete of the client's `message` (with its MsgRef, CmdRef and
// the item's SourceRef), as a standard server answers them: `code`, or 201 for an Add and 200 for
// the others when empty. CmdIDs count from `firstCmdId`. The item named `except` gets none.
std::string ItemStatuses(const std::string& message, const std::string& code = {}, int firstCmdId = 50,
                         const std::string& except = {});
// The server's own sync Alert (201 confirms or asks for a slow sync).
std::string ServerAlert(const std::string& code);
// A server Sync holding `commands`, and one server Add of a contact or an event.
std::string ServerSync(const std::string& commands);
std::string ServerContactAdd(int cmdId, const std::string& serverId, const std::string& name);
// A server Add of an item of content type `type` holding `data`, and a Replace or Delete of the
// client's item `localId`.
std::string ServerItemAdd(int cmdId, const std::string& serverId, const std::string& type, const std::string& data);
std::string ServerItemReplace(int cmdId, const std::string& localId, const std::string& type, const std::string& data);
std::string ServerItemDelete(int cmdId, const std::string& localId);
std::string ServerEventAdd(int cmdId, const std::string& serverId, const std::string& summary);

// --- Reading what the client sent.
// How often `element` ("Add", "Replace", "Delete", "Alert") opens in `message`.
int CountElements(const std::string& message, const std::string& element);
// The Data of the message's first Alert ("" when none).
std::string AlertCode(const std::string& message);

// The server side of every session the run opens: each Post is recorded, the hook (if any) runs,
// then the responder answers; by default the reply accepts the header, the alert and every item
// command and sends nothing, so a session ends once its changes are out. Thread-safe (the run posts on its worker).
class ScriptedPeer {
 public:
  struct Posted {
    std::string url;
    std::string body;
  };
  // Gets the posted message and its number (0-based, across sessions); returns the reply.
  using Responder = std::function<std::string(const std::string& message, int index)>;
  // Runs before the reply is made; may throw (a CHttpException stands for a transport failure).
  using Hook = std::function<void(int index)>;

  void SetResponder(Responder responder);
  void SetHook(Hook hook);
  std::vector<Posted> Posts() const;
  // Messages of the links' sessions (the server check's header-only message is left out).
  std::vector<std::string> SyncMessages() const;
  // The same, each session's messages joined into one text, in the order the sessions began.
  std::vector<std::string> SyncSessions() const;

  std::string Post(const std::string& url, const std::string& message);
  static std::string DefaultReply(const std::string& message, int index);

 private:
  mutable std::mutex mMutex;
  std::vector<Posted> mPosted;
  Responder mResponder;
  Hook mHook;
};

class ScriptedTransportFactory final : public SyncTransportFactory {
 public:
  explicit ScriptedTransportFactory(ScriptedPeer& server) : mServer(server) {}
  std::unique_ptr<SyncTransport> CreateTransport(CConf& conf) override;

 private:
  ScriptedPeer& mServer;
};

// Records what the worker reported, in order: "begin", "link <index> <state> <status text>", "end".
class RecordingObserver final : public SyncObserver {
 public:
  void SyncBegin() override;
  void SyncLinkUpdate(int linkIndex, const CSyncLink& link) override;
  void SyncEnd() override;
  std::vector<std::string> Events() const;

 private:
  mutable std::mutex mMutex;
  std::vector<std::string> mEvents;
};

// Answers with `answer`, records each text; declines logins unless `password` is set. The guards'
// questions are answered with `slowSync` and `deletions` and recorded as they were asked.
class AnsweringPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view text, PromptButtons buttons, PromptKind kind) override;
  bool AskLogin(LoginRequest& request) override;
  SlowSyncAnswer AskSlowSync(const SlowSyncQuestion& question) override;
  DeletionAnswer AskMassDeletion(const MassDeletionQuestion& question) override;
  std::vector<std::string> Texts() const;

  PromptAnswer answer = PromptAnswer::Yes;
  std::string password;
  SlowSyncAnswer slowSync = SlowSyncAnswer::Skip;
  DeletionAnswer deletions = DeletionAnswer::Hold;
  std::vector<SlowSyncQuestion> slowSyncQuestions;
  std::vector<MassDeletionQuestion> deletionQuestions;

 private:
  mutable std::mutex mMutex;
  std::vector<std::string> mTexts;
};

class RecordingUpdateStarter final : public UpdateStarter {
 public:
  void StartUpdate(CConf&, const std::function<bool()>&) override { ++started; }
  int started = 0;
};

// Makes a TestStore over the fixture's mirror folder; `configure` may set failures on it.
class MirroredStoreFactory final : public SyncStoreFactory {
 public:
  explicit MirroredStoreFactory(std::string folder) : mFolder(std::move(folder)) {}
  std::unique_ptr<CDatabaseObject> CreateStore(CConf& conf, Prompt&) override;
  std::function<void(TestStore&)> configure;

 private:
  std::string mFolder;
};

// A configuration with two links, contacts (0) and events (1), both two-way over the default
// folders of a file-mirrored test store.
class SyncRunTest : public ::testing::Test {
 protected:
  SyncRunTest();
  ~SyncRunTest() override;

  // The store as the next run will find it; changes made through it are kept in its files.
  std::unique_ptr<TestStore> OpenStore();
  // A run over the fixture's services.
  std::unique_ptr<CSyncRun> MakeRun();
  // BeginSyncRun of all links (or `selected`) and the wait for its end.
  SyncRunStart RunOnce(int selected = -1);
  std::string AnchorText(int linkIndex) const;
  std::string IndexBytes(int linkIndex) const;
  CSyncLink& Link(int index) { return mConf.Links().At(static_cast<std::size_t>(index)); }

  TempDir mDir;
  CConf mConf{mDir.Path() + "config"};
  ScriptedPeer mServer;
  ScriptedTransportFactory mTransports{mServer};
  RecordingObserver mObserver;
  AnsweringPrompt mPrompt;
  RecordingUpdateStarter mUpdates;
  MirroredStoreFactory mStores{mDir.Path() + "store"};
  std::unique_ptr<CSyncRun> mRun;
};
