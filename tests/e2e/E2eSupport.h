// End-to-end helpers: the local SyncML server the suite runs against (a test parameter: SyncEvolution
// or Virtuoso, stoppable and restartable on its port), a client configuration with three links over
// a folder store, sync runs in this process or in a child process, both sides' items read into
// comparable contents, and the client faults each server is known to expose.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/CXException.h"
#include "common/Prompt.h"
#include "config/CConf.h"
#include "engine/CSyncRun.h"
#include "engine/SyncObserver.h"
#include "engine/SyncRunServices.h"
#include "syncml/SyncTransport.h"
#include "tests/e2e/LocalSide.h"
#include "tests/support/SyncPeer.h"
#include "tests/support/TempDir.h"

// The canonical text of one item's content, from what the store would keep of it: the same for
// the client's file and the server's copy of it when they say the same.
std::string ContactContent(const std::string& vcardText);
std::string CalendarContent(const std::string& vcalendarText);
// The sorted contents of `texts` (`calendar`: vCalendar, else vCard).
std::vector<std::string> Contents(const std::vector<std::string>& texts, bool calendar);
// The sorted contents of every item file in `folder`; files of other kinds (a contact group) are
// left out.
std::vector<std::string> FolderContents(const std::string& folder, bool calendar);

// Faults of a server (not the client's) that some scenarios cannot get round. A test that meets
// one skips itself on that server with the fault's description.
enum class PeerFault {
  // When the client's package of changes spans several messages, Virtuoso answers each of them
  // with an empty Sync and never sends its own changes (it sends them after a package of one
  // message), so a scenario that needs several messages each way cannot converge with it.
  DropsItsChangesAfterAPackageOfSeveralMessages,
  // SyncEvolution commits its change tracking when a session is aborted after it sent its
  // changes: what went out in a reply the client never received is never sent again.
  ForgetsTheChangesOfAnAbortedSession,
  // SyncEvolution merges a client's change into the item it holds by the client's CTCap, keeping
  // what the client does not hold; in doing so it drops the empty properties it added itself
  // (GEO, X-GENDER, ...) and the TYPE parameter of a PHOTO.
  DropsEmptyPropertiesAndAPhotosTypeWhenItMergesAChange,
  // Virtuoso sends a client only some properties of a stored item (of a contact not its VERSION,
  // UID, BDAY, ROLE, X- or grouped properties; events and tasks as vCalendar 1.0 without UID,
  // time zone, alarm texts or attendee roles) and replaces the whole item with what the client
  // sends back (a contact stored as vCard 2.1 whatever its VERSION), so what it never sent is lost
  // with any change a client makes.
  SendsOnlySomePropertiesOfAnItem,
};
// Whether `kind` shows `fault`.
bool ShowsFault(PeerKind kind, PeerFault fault);
// Whether `kind` answers a normal Alert with an anchor it does not know by forcing a slow sync (508);
// Virtuoso does not look at the anchors.
bool ForcesSlowSyncOnUnknownAnchor(PeerKind kind);
// False when LARK_RUN_KNOWN_FAULTS is set: the marked tests then run (to try a work-around).
bool SkipKnownFaults();
const char* FaultText(PeerFault fault);

// Posts through the real HTTP transport and calls `beforePost` before a message goes out and
// `afterPost` once its reply is in, with the session's number in the run (0 the server check,
// then the links' sessions in order) and the message's number in its session (0-based).
// `inspect`, when set, sees each message's text before `beforePost` runs.
class HookedTransport final : public SyncTransport {
 public:
  using Hook = std::function<void(int session, int message)>;
  using Inspect = std::function<void(int session, int message, const std::string& text)>;
  HookedTransport(std::unique_ptr<SyncTransport> inner, int session, Hook beforePost, Hook afterPost, Inspect inspect = {});
  std::string Post(const std::string& url, const std::string& message) override;

 private:
  std::unique_ptr<SyncTransport> mInner;
  int mSession;
  Hook mBeforePost;
  Hook mAfterPost;
  Inspect mInspect;
  int mMessages = 0;
};

// A test's server and local store. Converts to the server's kind, so suites over the servers alone
// read it as before; those take the folder store.
struct E2eParam {
  E2eParam(PeerKind peerKind, StoreKind storeKind = StoreKind::Folder) : peer(peerKind), store(storeKind) {}
  operator PeerKind() const { return peer; }
  PeerKind peer;
  StoreKind store;
};
inline void PrintTo(const E2eParam& param, std::ostream* out) { *out << StoreName(param.store) << " store, " << PeerName(param.peer); }
// "<Store>_<Server>", the name of a test instantiated for a store and a server.
std::string StoreAndPeerTestName(const ::testing::TestParamInfo<E2eParam>& info);

// Transports of a run's sessions, each a HookedTransport over HTTP with the given hooks.
class HookedTransportFactory final : public SyncTransportFactory {
 public:
  HookedTransportFactory(HookedTransport::Hook before, HookedTransport::Hook after, HookedTransport::Inspect inspect)
      : mBefore(std::move(before)), mAfter(std::move(after)), mInspect(std::move(inspect)) {}
  std::unique_ptr<SyncTransport> CreateTransport(CConf& conf) override {
    return std::make_unique<HookedTransport>(MakeHttpSyncTransport(conf), mSessions++, mBefore, mAfter, mInspect);
  }

 private:
  HookedTransport::Hook mBefore;
  HookedTransport::Hook mAfter;
  HookedTransport::Inspect mInspect;
  std::atomic<int> mSessions{0};
};

// Refuses any update the server asks for.
class RefusedUpdate final : public UpdateStarter {
 public:
  void StartUpdate(CConf&, const std::function<bool()>&) override { throw CUpdaterException(std::string("no update in tests")); }
};

// One end-to-end client: configuration folder, local store and the services of a run. Each
// test gets a new client identity, so the server knows nothing of it.
class E2eTest : public ::testing::TestWithParam<E2eParam> {
 protected:
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // The running server of this test's kind (started by the first test of the kind in the process).
  SyncPeer& Server() const;

  // One run of every link (or `selected`), waited for; its outcome. The transports carry
  // mBeforePost and mAfterPost.
  SyncRunOutcome Sync(int selected = -1);
  // The same run in a child process, which the transport hooks may kill; true when the child
  // ended by a signal.
  bool SyncInChildKilledBy(const HookedTransport::Hook& beforePost, const HookedTransport::Hook& afterPost);
  // The run of `selected` in a child process with the hooks as they are set now (any of which may
  // kill it); true when the child ended by a signal.
  bool SyncInChild(int selected = -1);

  // The local application (the folder store's files, or the profile of another store).
  LocalSide& Local() const { return *mLocal; }
  StoreCapabilities Can() const { return mLocal->Capabilities(); }
  // The folder store's folders (folder-store tests only).
  std::string LocalFolder(const std::string& name) const { return mStoreRoot + name + "/"; }
  void WriteLocal(const std::string& folder, const std::string& file, const std::string& text);
  // A change on the server's side: item `name` of `datastore` now holds `text`.
  void WriteServer(const std::string& datastore, const std::string& name, const std::string& text);
  void DeleteServer(const std::string& datastore, const std::string& name);
  // The sorted contents of the server's items of `datastore`.
  std::vector<std::string> ServerContents(const std::string& datastore) const;
  // Expects both sides of each datastore the local store has to hold the same contents, each once.
  void ExpectBothSidesEqual();
  // The sorted contents of the local contacts.
  std::vector<std::string> LocalContacts() const { return Contents(mLocal->Contacts(), false); }
  // The anchor file's and the index file's bytes of link `index`.
  std::string AnchorAndIndex(int index) const;
  std::string LogText() const;
  // The Add, Replace and Delete commands the latest run sent, by its log.
  int ItemCommandsInLog() const;
  CSyncLink& Link(int index) { return mConf->Links().At(static_cast<std::size_t>(index)); }

  TempDir mDir;
  std::unique_ptr<LocalSide> mLocal;
  std::string mIdentity;  // the client's device id
  std::string mStoreRoot;
  std::unique_ptr<CConf> mConf;
  HookedTransport::Hook mBeforePost;
  HookedTransport::Hook mAfterPost;
  HookedTransport::Inspect mInspect;
  // Called at the steps of a link's end ("index", "anchor", "journal"); may kill the process.
  std::function<void(const char*)> mCheckpoint;
  // The store kills its process after this many server items written; negative: never.
  int mKillAfterServerWrites = -1;
  // Answers the runs' questions; null: the answers of a run without a user.
  Prompt* mPrompt = nullptr;
  std::unique_ptr<CSyncRun> mRun;

 private:
  void KeepLog(bool killed = false);
  void KeepServerLogs();
  std::string mKeptLog;
  int mRunsLogged = 0;
};

// In a test body: ends the test as skipped, naming the fault, when its server is known to show it.
#define LARK_SKIP_ON_KNOWN_FAULT(fault)                                                                  \
  if (SkipKnownFaults() && ShowsFault(GetParam(), fault))                                                \
  GTEST_SKIP() << "known fault of " << PeerName(GetParam()) << ": " << FaultText(fault)

// Runs the suite `fixture` over every server: tests named <Test>/SyncEvolution, <Test>/Virtuoso and
// <Test>/Scripted.
#define LARK_E2E_OVER_EVERY_SERVER(fixture)                                                                  \
  INSTANTIATE_TEST_SUITE_P(Peers, fixture,                                                                   \
                           ::testing::Values(E2eParam(PeerKind::SyncEvolution), E2eParam(PeerKind::Virtuoso),  \
                                             E2eParam(PeerKind::Scripted)),                                     \
                           PeerTestName<::testing::TestParamInfo<E2eParam>>)

// Runs the suite `fixture` over every store and every server: tests named <Test>/Folder_SyncEvolution,
// <Test>/Outlook_Scripted and so on. Scenarios needing what a store lacks check Can().
#define LARK_E2E_OVER_EVERY_STORE_AND_SERVER(fixture)                                                              \
  INSTANTIATE_TEST_SUITE_P(Stores, fixture,                                                                          \
                           ::testing::Values(E2eParam(PeerKind::SyncEvolution, StoreKind::Folder),                 \
                                             E2eParam(PeerKind::Virtuoso, StoreKind::Folder),                      \
                                             E2eParam(PeerKind::Scripted, StoreKind::Folder),                      \
                                             E2eParam(PeerKind::SyncEvolution, StoreKind::Outlook),                \
                                             E2eParam(PeerKind::Virtuoso, StoreKind::Outlook),                     \
                                             E2eParam(PeerKind::Scripted, StoreKind::Outlook),                     \
                                             E2eParam(PeerKind::SyncEvolution, StoreKind::WindowsContacts),        \
                                             E2eParam(PeerKind::Scripted, StoreKind::WindowsContacts),             \
                                             E2eParam(PeerKind::SyncEvolution, StoreKind::Vdir),                   \
                                             E2eParam(PeerKind::Virtuoso, StoreKind::Vdir),                        \
                                             E2eParam(PeerKind::Scripted, StoreKind::Vdir)),                       \
                           StoreAndPeerTestName)

// Sample items.
std::string VCard(const std::string& given, const std::string& family, const std::string& extraLines = "");
std::string VEvent(const std::string& summary, const std::string& start, const std::string& end);
std::string VTodo(const std::string& summary, const std::string& due);
