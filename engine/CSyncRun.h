// One synchronization run: the check of the server, the worker thread, and per link the whole
// exchange with the server (folder, change detection, messages, anchor and index).
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/LinkSession.h"
#include "engine/LocalSnapshots.h"
#include "engine/SyncObserver.h"
#include "engine/SyncRunServices.h"

class CConf;
class CDatabaseObject;
class CSyncLink;
class ItemSink;
class Prompt;
struct SessionServices;

// How a call of BeginSyncRun ended.
enum class SyncRunStart {
  Started,        // the worker runs; WaitForEnd or the observer's SyncEnd tells when it is done
  CancelAsked,    // a run was going: the user was asked to cancel it (RequestCancel)
  ThreadFailed,   // the worker could not be created
};

// What the last run came to, for callers without a window (the silent run's exit status).
struct SyncRunOutcome {
  // Why the run stopped before or between links ("" when it did not): the server check's,
  // the store's or the worker's error, the configuration's missing setting, a declined login.
  std::string error;
  int linksRun = 0;
  int linksFailed = 0;
  // Links that synchronized but left items unsynchronized (refused by either side).
  int linksWithItemErrors = 0;
  // Links that wait for the user: a slow sync not run, or deletions held (nothing of them changed).
  int linksNeedingDecision = 0;
  bool cancelled = false;
  // No password was stored and none could be asked for (a silent run): nothing was sent.
  bool passwordMissing = false;
  // The server asked for a newer client and its update was started: the program must end so
  // that the update can replace it.
  bool updateStarted = false;

  // No run error, no failed link, no cancel; items may have failed.
  bool Completed() const { return error.empty() && linksFailed == 0 && !cancelled; }
  bool Succeeded() const { return Completed() && linksWithItemErrors == 0 && linksNeedingDecision == 0; }
};

// The run driver the main window owns. BeginSyncRun, RequestCancel and WaitForEnd are called on
// the user-interface thread; everything below SyncThreadProc runs on the one worker thread: the
// login question when no password is stored, the server check (and the update it may start), and
// the links, with the run's store and sessions. So the window stays responsive, and a cancel
// stops the check as it stops a link.
//
// Shared state: the sync-running flag of the configuration (0 idle, 1 running, 2 cancel
// requested) is set to 1 here before the worker starts, to 2 by RequestCancel, and back to 0 by
// the worker itself once the observer's SyncEnd has returned; the worker reads it at fixed check
// points. Link status texts are written under a lock, so the "Canceling..." text set from the
// user-interface thread and the worker's texts never collide; the observer receives copies.
//
// Ownership: the configuration and the services are not owned and must outlive the object. The
// destructor asks a running worker to stop (without a question) and waits for it.
class CSyncRun final : private LinkSessionHost {
 public:
  struct Services {
    SyncObserver& observer;
    // Messages, the cancel question and the login request. Nothing is asked while the
    // configuration's silent flag is set.
    Prompt& prompt;
    SyncStoreFactory& stores;
    UpdateStarter& updates;
    // Null: the HTTP transport configured from the settings.
    SyncTransportFactory* transports = nullptr;
    // Null: none.
    SyncCheckpoints* checkpoints = nullptr;
    // Told before each link's run first changes the local store. Null: the link's local items are
    // saved as its newest snapshot.
    LocalWriteObserver* localWrites = nullptr;
  };

  CSyncRun(CConf& conf, Services services);
  ~CSyncRun();
  CSyncRun(const CSyncRun&) = delete;
  CSyncRun& operator=(const CSyncRun&) = delete;

  // The link the next run synchronizes: an index of the configuration's links, or -1 for all.
  void SetSelectedLink(int index) { mSelectedLink = index; }
  int SelectedLink() const { return mSelectedLink; }
  // The link the worker is processing (also the one RequestCancel marks).
  int CurrentLink() const { return mCurrentLink; }
  // Set by the window when the user closed it during a run.
  void SetCloseAfterSync(bool close) { mCloseAfterSync = close; }
  bool CloseAfterSync() const { return mCloseAfterSync; }

  // Starts a run of the selected link(s) on the worker, or asks to cancel the run going on.
  SyncRunStart BeginSyncRun();
  // While a run goes on (flag 1): asks whether to cancel; on Yes, and if the run is still going,
  // sets the flag to 2 and the current link's status text to "Canceling...". True when the
  // cancel was marked; the caller then redraws the current link and its Sync button.
  bool RequestCancel();
  // One empty SyncML exchange that checks the account and the protocol version; true when a run
  // may start. Failures are shown through the prompt (unless silent or cancelled) and kept in
  // LastOutcome; an update the server asks for is started here when the user agrees (silently:
  // always), which LastOutcome says. Called by the worker, before any link.
  bool CheckServer();
  // Waits until the worker of the last run has ended; returns at once when none was started.
  // Must not be called from inside an observer call.
  void WaitForEnd();
  // The outcome of the last run (complete once WaitForEnd has returned).
  SyncRunOutcome LastOutcome() const;
  // The status text of link `index` as it is now ("" for an index outside the links).
  std::string LinkStatusText(std::size_t index) const;

  // The worker's body, exposed for the tests: runs one run on the calling thread. Sends SyncBegin;
  // asks for the password when none is stored (a silent run fails at once instead); checks the
  // server; creates the store and runs MainSyncLoop; sends SyncEnd, then sets the flag to 0. A
  // check that fails marks the links the run would have synchronized as failed with its reason.
  // Returns 0.
  int SyncThreadProc();

 private:
  void MainSyncLoop(CDatabaseObject& store);
  bool IsLinkEligible(const CSyncLink& link, int index) const;
  void ReportSaveFailure(CSyncLink& link);
  // LinkSessionHost: what a link's run gets from the run.
  void SetLinkStatus(const std::optional<std::string>& text = std::nullopt) override;
  void CancelCheck() const override;
  // What a session of this run gets: the transport, the sink (null: no store), the prompt, the
  // cancel flag and the policies of the configuration.
  SessionServices MakeSessionServices(ItemSink* sink) override;
  void Checkpoint(const char* step) override;
  bool ServerRefusesFilter() const override { return mServerRefusesFilter; }
  void NoteServerRefusesFilter() override { mServerRefusesFilter = true; }
  bool AskForPassword();
  // The links the run would have synchronized fail with `reason` (the check refused the run).
  void FailEligibleLinks(const std::string& reason);
  void NoteRunError(const std::string& message);
  void ReportRunError(const std::string& message);
  void JoinWorker();
  SyncTransportFactory* Transports() { return mServices.transports; }

  CConf& mConf;
  Services mServices;
  SnapshotBeforeLocalWrites mSnapshots{mConf};
  std::atomic<int> mSelectedLink{-1};
  std::atomic<int> mCurrentLink{0};
  std::atomic<bool> mCloseAfterSync{false};
  std::thread mSyncThread;
  // The selection of the run going on, taken when it started.
  int mRunSelection = -1;

  // The server refused the calendar date filter in this run: calendar sessions go without it
  // (the store's own period test still limits what is sent, and what is deleted).
  bool mServerRefusesFilter = false;

  // Guards the links' status texts, the flag's 1 -> 2 and 1/2 -> 0 steps, and mOutcome.
  mutable std::mutex mMutex;
  SyncRunOutcome mOutcome;
};
