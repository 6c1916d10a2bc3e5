// One link's run: its SyncML session(s) over the run's store, with the journal, the held-back
// items, the counts and the guards' decisions of that link.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Prompt.h"
#include "engine/CChangeLog.h"
#include "pim/CDataItem.h"

class CConf;
class CDatabaseObject;
class CSyncLink;
class CSyncML;
class ExchangedItemTexts;
class HeldBackItems;
class ItemSink;
class LocalWriteObserver;
class Prompt;
class SessionJournal;
class StoreItemSink;
struct ItemFailure;
struct SessionServices;

// What the run driver gives a link's run. Called on the worker thread.
class LinkSessionHost {
 public:
  virtual ~LinkSessionHost() = default;
  // Sets the link's status text when `text` is given; always tells the observer.
  virtual void SetLinkStatus(const std::optional<std::string>& text) = 0;
  // Throws CMainException (canceled by the user) once a cancel was asked for.
  virtual void CancelCheck() const = 0;
  virtual SessionServices MakeSessionServices(ItemSink* sink) = 0;
  virtual void Checkpoint(const char* step) = 0;
  // The server refused the calendar date filter earlier in the run (kept for the run's other links).
  virtual bool ServerRefusesFilter() const = 0;
  virtual void NoteServerRefusesFilter() = 0;
};

// How a link's run ended.
enum class LinkResult {
  Synchronized,
  Failed,         // the link's status text says why
  NeedsDecision,  // a slow sync or deletions wait for the user; nothing of them changed
};

// Runs one link: change detection, the exchanges, the guards, the index and the anchor. A link
// whose server refuses the date filter runs again without it; a session that left changes (items
// held back after an interruption, deletions a slow sync cannot carry, deletions the user refused)
// is followed by one more. The host, configuration, store, link, prompt and observer are not owned
// and must outlive the object; one object runs one link once.
class LinkSession {
 public:
  LinkSession(CConf& conf, CDatabaseObject& store, CSyncLink& link, LinkSessionHost& host, Prompt& prompt,
              LocalWriteObserver* localWrites);
  ~LinkSession();
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  // Never throws: a failure ends the link Failed with its text as the link's status.
  LinkResult Run();

 private:
  // What one session does beyond the link's own mode.
  struct Plan {
    // The mode of this session (a refresh runs the link one way).
    int mode = 0;
    // A slow sync the user chose: no further question.
    bool slowChosen = false;
    // A refresh from the server: the local items the server does not send go.
    bool replaceLocal = false;
    // Follows a session that left changes for it.
    bool followUp = false;
    std::vector<std::string> newAsReplace;
  };
  // What one session left for the one after it.
  struct SessionEnd {
    LinkResult result = LinkResult::Synchronized;
    std::vector<std::string> heldBack;
    int deferredDeletions = 0;
    bool restoredOnServer = false;
  };
  static SessionEnd NeedsDecisionEnd() {
    SessionEnd end;
    end.result = LinkResult::NeedsDecision;
    return end;
  }

  LinkResult RunSessions();
  SessionEnd RunSession(const Plan& plan);
  // The session's answer to the slow-sync guard, before anything moved.
  std::optional<SlowSyncAnswer> GuardSlowSync(bool serverAsked);
  Plan PlanFor(SlowSyncAnswer answer) const;
  bool SynchronizedBefore() const;
  bool TooManyDeletions(int deletions, int items) const;
  DeletionAnswer AskAboutDeletions(bool byServer, int deletions, int items);
  // Server deletions of an earlier run not carried out, settled before this run collects its changes.
  // `ask`: false in a follow-up session (the run settled them already).
  void SettleEarlierServerDeletions(bool ask);
  // Local deletions too many to send (or of an emptied folder): held (not sent, still indexed),
  // written back, or sent as the user decides.
  void GuardLocalDeletions(CChangeLog& changeLog, int indexed);
  void SettleServerDeletions(StoreItemSink& sink, int indexed);
  void KeepUnsettledDeletions(std::size_t& kept);
  void RunExchanges(CChangeLog& changeLog, CSyncML& session, const Plan& plan);
  void SendLocalChanges(CChangeLog& changeLog, CSyncML& session);
  bool SendEntry(const CChangeLogEntry& entry, CSyncML& session);
  void CollectChanges(CChangeLog& changeLog, bool full);
  void CollectEverything(CChangeLog& changeLog);
  void RestartAsSlowSync(CChangeLog& changeLog, CSyncML& session, int mode);
  void SaveLinkResult(CChangeLog& changeLog);
  void KeepRefusedChangesPending(const std::vector<ItemFailure>& failures);
  void RemoveCopiesTheServerReplaced(const std::vector<std::string>& ids, const SessionJournal& journal);
  void HoldBackNewItems(const CChangeLog& changeLog, const SessionJournal& journal, HeldBackItems& heldBack);
  static int RefusedDeletions(const std::vector<ItemFailure>& failures);
  void BeforeLocalWrite();
  void NeedsDecision(const std::string& why);

  CConf& mConf;
  CDatabaseObject& mStore;
  CSyncLink& mLink;
  LinkSessionHost& mHost;
  Prompt& mPrompt;
  LocalWriteObserver* mLocalWrites;
  bool mLocalWriteTold = false;

  // Per session: changes sent so far in this round, and the entry that did not fit into the last
  // message.
  int mSentEntries = 0;
  std::optional<CChangeLogEntry> mPendingEntry;
  // Every change sent, by local identifier, with the item's record in the saved index before the
  // run (null for a new item): a change the server refuses gets it back in the new index.
  std::map<std::string, CDataItem::Ptr> mSentChanges;
  // The journal of the session (null outside one), and whether the session resumes an
  // interrupted one.
  SessionJournal* mJournal = nullptr;
  bool mResumed = false;
  // The link's kept item texts (null outside a session, or for a store that keeps whole items).
  ExchangedItemTexts* mTexts = nullptr;
  // The new items a resumed session holds back (null when it holds none back), and the new items
  // the session after it sends as Replace (the interrupted one may have delivered them).
  HeldBackItems* mHeldBack = nullptr;
  std::set<std::string> mNewAsReplace;
  // The session runs as a slow sync (asked for, chosen, or forced by the server).
  bool mSlowSession = false;
  // Local deletions held this run: their index records go back into the new index.
  std::vector<CDataItem::Ptr> mHeldLocalDeletions;
  // Server deletions collected during the session, settled after it; those of earlier runs the
  // user holds still.
  std::vector<std::string> mServerDeletions;
  std::vector<std::string> mEarlierHeldDeletions;
  // A guard held something back: the link ends "Needs a decision" once its session is saved.
  bool mDecisionPending = false;
  std::string mDecisionText;
};
