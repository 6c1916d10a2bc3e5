// End-to-end helpers: the local SyncEvolution server (stoppable and restartable on its port), a
// client configuration with three links over a folder store, sync runs in this process or in a
// child process, and both sides' items read into comparable contents.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "engine/CSyncRun.h"
#include "engine/SyncObserver.h"
#include "engine/SyncRunServices.h"
#include "syncml/SyncTransport.h"
#include "tests/support/TempDir.h"

// The server, run through scripts/syncml-server in a private folder. Start and Stop may be
// repeated; a restart keeps the port, the datastores and the peers.
class SyncEvolutionServer {
 public:
  SyncEvolutionServer();
  ~SyncEvolutionServer();
  SyncEvolutionServer(const SyncEvolutionServer&) = delete;
  SyncEvolutionServer& operator=(const SyncEvolutionServer&) = delete;

  void Start();
  void Stop();
  const std::string& Url() const { return mUrl; }
  void AddPeer(const std::string& deviceId, const std::string& user, const std::string& password);
  // "<dir>/data/<name>/", one file per item named by the server's identifier.
  std::string DatastoreFolder(const std::string& name) const;
  // Removes every item of the three datastores.
  void ClearDatastores();
  // The end of the HTTP server's log, for failure messages.
  std::string LogTail() const;

 private:
  std::string Run(const std::vector<std::string>& arguments) const;

  TempDir mDir;
  std::string mUrl;
  std::string mPort;
  bool mRunning = false;
};

// The canonical text of one item's content, from what the store would keep of it: the same for
// the client's file and the server's copy of it when they say the same.
std::string ContactContent(const std::string& vcardText);
std::string CalendarContent(const std::string& vcalendarText);
// The sorted contents of every item file in `folder` (`calendar`: vCalendar, else vCard);
// files of other kinds (a contact group) are left out.
std::vector<std::string> FolderContents(const std::string& folder, bool calendar);

// Posts through the real HTTP transport and calls `beforePost` before a message goes out and
// `afterPost` once its reply is in, with the session's number in the run (0 the server check,
// then the links' sessions in order) and the message's number in its session (0-based).
class HookedTransport final : public SyncTransport {
 public:
  using Hook = std::function<void(int session, int message)>;
  HookedTransport(std::unique_ptr<SyncTransport> inner, int session, Hook beforePost, Hook afterPost);
  std::string Post(const std::string& url, const std::string& message) override;

 private:
  std::unique_ptr<SyncTransport> mInner;
  int mSession;
  Hook mBeforePost;
  Hook mAfterPost;
  int mMessages = 0;
};

// One end-to-end client: configuration folder, folder store and the services of a run. Each
// test gets a new client identity, so the server knows nothing of it.
class E2eTest : public ::testing::Test {
 protected:
  static constexpr const char* kUser = "e2e-user";
  static constexpr const char* kPassword = "e2e-secret";

  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // One run of every link (or `selected`), waited for; its outcome. The transports carry
  // mBeforePost and mAfterPost.
  SyncRunOutcome Sync(int selected = -1);
  // The same run in a child process, which the transport hooks may kill; true when the child
  // ended by a signal.
  bool SyncInChildKilledBy(const HookedTransport::Hook& beforePost, const HookedTransport::Hook& afterPost);

  std::string LocalFolder(const std::string& name) const { return mStoreRoot + name + "/"; }
  std::string ServerFolder(const std::string& name) const { return sServer->DatastoreFolder(name); }
  void WriteLocal(const std::string& folder, const std::string& file, const std::string& text);
  void WriteServer(const std::string& datastore, const std::string& file, const std::string& text);
  // Expects both sides of each datastore to hold the same contents, each once.
  void ExpectBothSidesEqual();
  // The anchor file's and the index file's bytes of link `index`.
  std::string AnchorAndIndex(int index) const;
  std::string LogText() const;
  CSyncLink& Link(int index) { return mConf->Links().At(static_cast<std::size_t>(index)); }

  static SyncEvolutionServer* sServer;
  TempDir mDir;
  std::string mStoreRoot;
  std::unique_ptr<CConf> mConf;
  HookedTransport::Hook mBeforePost;
  HookedTransport::Hook mAfterPost;
  std::unique_ptr<CSyncRun> mRun;
  int mServerWrites = 0;
};

// Sample items.
std::string VCard(const std::string& given, const std::string& family, const std::string& extraLines = "");
std::string VEvent(const std::string& summary, const std::string& start, const std::string& end);
std::string VTodo(const std::string& summary, const std::string& due);
