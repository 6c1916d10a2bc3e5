// One link's run: its sessions, the slow-sync and mass-deletion guards, the index and the anchor.
#include "engine/LinkSession.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "engine/ExchangedItemTexts.h"
#include "engine/HeldBackItems.h"
#include "engine/HeldDeletions.h"
#include "engine/SessionJournal.h"
#include "engine/StoreItemSink.h"
#include "engine/SyncRunServices.h"
#include "pim/CalendarRecordBuilder.h"
#include "stores/CDatabaseObject.h"
#include "syncml/CSyncML.h"
#include "syncml/SessionSettings.h"

namespace {

constexpr const char* kSyncDatabase = "SyncDatabase";

// The server refused the calendar date filter with its answer to the initialization package: it
// holds nothing of the session, which runs again without the filter.
struct FilterRefused {};

// The server asked for a slow sync and the user chose a refresh instead: the session posts nothing
// more (nothing moved yet) and the link runs again one way.
struct RefreshChosen {
  SlowSyncAnswer answer;
};

// The slow sync waits for the user: the session posts nothing more.
struct SlowSyncHeld {};

ChangeCounts CountsOf(const CChangeLog& changeLog) {
  return ChangeCounts{changeLog.NewCount(), changeLog.UpdatedCount(), changeLog.DeletedCount()};
}

void AddCounts(CSyncLink& link, const CSyncLink& earlier) {
  link.mServerCounts.added += earlier.mServerCounts.added;
  link.mServerCounts.updated += earlier.mServerCounts.updated;
  link.mServerCounts.deleted += earlier.mServerCounts.deleted;
  // The held-back items counted as new before are counted again by the session that sends them.
  link.mLocalCounts.updated += earlier.mLocalCounts.updated;
  link.mLocalCounts.deleted += earlier.mLocalCounts.deleted;
  link.mItemErrors += earlier.mItemErrors;
}

std::string LinkName(const CSyncLink& link) { return link.mLocalName.empty() ? link.ServerDisplayName() : link.mLocalName; }

}  // namespace

LinkSession::LinkSession(CConf& conf, CDatabaseObject& store, CSyncLink& link, LinkSessionHost& host, Prompt& prompt,
                         LocalWriteObserver* localWrites)
    : mConf(conf), mStore(store), mLink(link), mHost(host), mPrompt(prompt), mLocalWrites(localWrites) {}

LinkSession::~LinkSession() = default;

LinkResult LinkSession::Run() {
  const LinkResult result = RunSessions();
  // What waits for the user is the link's last word, whatever the session showed after it.
  if (result == LinkResult::NeedsDecision) mHost.SetLinkStatus(mDecisionText);
  return result;
}

LinkResult LinkSession::RunSessions() {
  try {
    Plan plan;
    plan.mode = mLink.mMode;
    for (;;) {
      SessionEnd end;
      try {
        end = RunSession(plan);
      } catch (const FilterRefused&) {
        LogDebug(kSyncDatabase, "The server refused the date filter: the session runs again without it");
        mHost.NoteServerRefusesFilter();
        continue;
      } catch (const RefreshChosen& chosen) {
        plan = PlanFor(chosen.answer);
        continue;
      }
      if (end.result != LinkResult::Synchronized) return end.result;
      const bool followUp = !plan.followUp && (!end.heldBack.empty() || end.deferredDeletions > 0 || end.restoredOnServer);
      if (!followUp) return mDecisionPending ? LinkResult::NeedsDecision : LinkResult::Synchronized;
      // A session right after one that left changes for it: the items a resumed session held back
      // (sent as Replace, an add where the server does not know them), the deletions a slow sync
      // could not carry and the items whose deletion the user refused, with whatever changed
      // meanwhile. Never followed by another one. The link shows the counts of both sessions.
      LogDebug(kSyncDatabase, "Follow-up session for the changes the last one left");
      const CSyncLink earlier = mLink;
      Plan next;
      next.mode = mLink.mMode;
      next.followUp = true;
      next.newAsReplace = end.heldBack;
      const bool decisionPending = mDecisionPending;
      const std::string decisionText = mDecisionText;
      end = RunSession(next);
      AddCounts(mLink, earlier);
      mDecisionPending = mDecisionPending || decisionPending;
      if (mDecisionText.empty()) mDecisionText = decisionText;
      if (end.result != LinkResult::Synchronized) return end.result;
      return mDecisionPending ? LinkResult::NeedsDecision : LinkResult::Synchronized;
    }
  } catch (const CXException& error) {
    LogError(kSyncDatabase, error.Message());
    mHost.SetLinkStatus(error.Message());
  } catch (const std::exception& error) {
    LogError(kSyncDatabase, error.what());
    mHost.SetLinkStatus(std::string(error.what()));
  }
  return LinkResult::Failed;
}

LinkSession::Plan LinkSession::PlanFor(SlowSyncAnswer answer) const {
  Plan plan;
  plan.mode = mLink.mMode;
  plan.slowChosen = true;
  if (answer == SlowSyncAnswer::RefreshFromServer) {
    plan.mode = SYNC_MODE_DOWNLOAD;
    plan.replaceLocal = true;
  } else if (answer == SlowSyncAnswer::RefreshFromClient) {
    plan.mode = SYNC_MODE_UPLOAD;
  }
  return plan;
}

LinkSession::SessionEnd LinkSession::RunSession(const Plan& plan) {
  LogDebug(kSyncDatabase, "Begin");
  LogDebug(kSyncDatabase, "Server folder");
  LogDebug(kSyncDatabase, mLink.ServerUri());
  LogDebug(kSyncDatabase, "Client folder");
  LogDebug(kSyncDatabase, mLink.mLocalName);
  // The counts shown after the run are this run's, never an earlier run's.
  mLink.mLocalCounts = {};
  mLink.mServerCounts = {};
  mLink.mCountsKnown = false;
  mLink.mItemErrors = 0;
  mSentEntries = 0;
  mPendingEntry.reset();
  mSentChanges.clear();
  mHeldLocalDeletions.clear();
  mServerDeletions.clear();
  mEarlierHeldDeletions.clear();
  mNewAsReplace = std::set<std::string>(plan.newAsReplace.begin(), plan.newAsReplace.end());

  if (!mStore.SelectFolderOf(mLink)) throw CMainException(IDS_FOLDER_SELECT_ERROR);
  mHost.SetLinkStatus(LoadString(IDS_INITIALIZING_CHANGE_LOG));
  CChangeLog changeLog(mConf);
  if (!changeLog.InitAnchor(mLink.CompareMode(), mLink.LocalFileName())) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);

  mHost.CancelCheck();
  mHost.SetLinkStatus(LoadString(IDS_LOADING_DATA));
  if (mStore.LoadContent(mLink.LocalFileName()) != kStoreOk) throw CMainException(IDS_DATABASE_LOAD_ERROR);
  // What the store's loading left expanded: the lists are read from here on, and each record that
  // is sent or written is expanded again on its own.
  mStore.mCurrentItems.PackRecords();
  mStore.mSavedItems.PackRecords();

  // Only a link's very first run with this identity is a slow sync the client asks for: a slow
  // sync cannot carry deletions, and servers that do no content matching double every item of one
  // (and erase their map of the client's identifiers). After an interrupted session the next one
  // resumes with a normal sync from the last good anchor (servers store an anchor only with a
  // completed session), or, after an interrupted first run, from the Next anchor it sent; a server
  // that never stored it forces a slow sync of its own (508), which keeps its map.
  SessionJournal journal(mConf, mLink);
  const bool resumed = journal.Load() && !mConf.IdentityGenerated();
  if (!resumed) journal.Clear();
  const bool anchorsLost = !resumed && (mConf.IdentityGenerated() || changeLog.Anchor() < 0 ||
                                        (changeLog.Anchor() == 0 && mLink.mLastSyncTime == 0));
  // A link that synchronized before and lost its anchors asks first, as for the server's request.
  if (anchorsLost && !plan.slowChosen && !plan.followUp) {
    if (const std::optional<SlowSyncAnswer> answer = GuardSlowSync(false)) {
      if (*answer == SlowSyncAnswer::Skip) return NeedsDecisionEnd();
      if (*answer != SlowSyncAnswer::Merge) throw RefreshChosen{*answer};
    }
  }
  const bool firstRun = anchorsLost || plan.slowChosen;
  const bool resumesFirstRun = resumed && journal.WasFirstRun() && journal.SentNextAnchor();
  if (resumesFirstRun) changeLog.ResumeFrom(*journal.SentNextAnchor());
  if (firstRun) LogDebug(kSyncDatabase, "First run of the link: slow sync");
  if (resumed) LogDebug(kSyncDatabase, "Previous session was interrupted: resuming it");
  HeldBackItems heldBack;
  // A store that keeps whole items sends its own; the others' items go back merged into the last
  // text exchanged.
  std::optional<ExchangedItemTexts> texts;
  if (!mStore.KeepsWholeItems()) texts.emplace(mConf, mLink);
  mTexts = texts ? &*texts : nullptr;
  mJournal = &journal;
  mResumed = resumed;
  mHeldBack = resumed ? &heldBack : nullptr;
  mSlowSession = firstRun;
  // What the refresh from the server replaces, and what the slow sync of a download link replaces.
  std::vector<std::string> replaced;
  if (plan.replaceLocal) {
    for (const CDataItem::Ptr& item : mStore.mCurrentItems.Items()) replaced.push_back(item->itemId);
  } else {
    for (const CDataItem::Ptr& saved : mStore.mSavedItems.Items()) replaced.push_back(saved->itemId);
  }
  const int indexed = static_cast<int>(mStore.mSavedItems.Count());

  mHost.CancelCheck();
  if (firstRun) {
    // A slow sync compares every item: nothing deleted earlier waits any longer.
    if (!HeldDeletions(mConf, mLink).Save({})) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
  } else {
    SettleEarlierServerDeletions(!plan.followUp);
  }
  if (plan.mode != SYNC_MODE_DOWNLOAD) {
    CollectChanges(changeLog, firstRun);
    if (!firstRun) GuardLocalDeletions(changeLog, indexed);
  }
  if (mHeldBack != nullptr) HoldBackNewItems(changeLog, journal, heldBack);

  mHost.CancelCheck();
  LogDebug(kSyncDatabase, "Create SyncML Object");
  StoreItemSink sink(mStore, &journal, mHeldBack, mTexts);
  sink.SetBeforeFirstWrite([this] { BeforeLocalWrite(); });
  sink.DeferRemovals(&mServerDeletions);
  const int lastAnchor = changeLog.GetAnchor();
  CSyncML session(SessionSettings::FromConf(mConf), mHost.MakeSessionServices(&sink), lastAnchor);
  session.SetTargetDatabase(mLink.ServerUri());
  session.SetSourceDatabase(mLink.mLocalPath);
  session.SetSyncMode(plan.mode);
  ItemTextOptions textOptions;
  if (mLink.mCalendarVersion == "1.0") textOptions.calendar = CalendarVersion::VCalendar10;
  // Whole items go as the forms they are kept in, and are announced so (ClientDevInf).
  textOptions.registeredTypes = mStore.KeepsWholeItems();
  session.SetItemTextOptions(textOptions);
  if (mStore.GetContentKind() == CONTENT_CALENDAR && !mHost.ServerRefusesFilter()) session.SetFilterStartDate(mConf.SyncStartDate());
  if (firstRun) session.SetErrorState(SYNC_ERROR_SLOW_SYNC);

  if (!journal.Begin(lastAnchor + 1, firstRun || resumesFirstRun)) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
  const auto leaveSession = [&] {
    mJournal = nullptr;
    mHeldBack = nullptr;
    mTexts = nullptr;
  };
  // The server holds nothing of this session: the next run need not resume it, or resumes the
  // earlier interrupted session as before.
  const auto forgetSession = [&] {
    if (resumed) {
      journal.Begin(lastAnchor, resumesFirstRun);
    } else {
      journal.Clear();
    }
    leaveSession();
  };
  try {
    RunExchanges(changeLog, session, plan);
  } catch (const FilterRefused&) {
    forgetSession();
    throw;
  } catch (const RefreshChosen&) {
    // Nothing moved: the server ends the session it holds, and the refresh is a session of its own.
    session.EndWithoutItems();
    forgetSession();
    throw;
  } catch (const SlowSyncHeld&) {
    session.EndWithoutItems();
    forgetSession();
    return NeedsDecisionEnd();
  } catch (...) {
    // Nothing of this session left when there was no connection, or it was cancelled before the
    // first post.
    if (session.MayHaveReachedServer()) {
      leaveSession();
    } else {
      forgetSession();
    }
    throw;
  }
  mHeldBack = nullptr;
  SessionEnd end;
  sink.DeferRemovals(nullptr);
  end.restoredOnServer = !mServerDeletions.empty() && !plan.followUp;
  SettleServerDeletions(sink, indexed);
  end.restoredOnServer = end.restoredOnServer && !mServerDeletions.empty();
  // Held back and not sent back by the server: still new for the session that sends them.
  end.heldBack = heldBack.Ids();
  for (const std::string& id : end.heldBack) mStore.mCurrentItems.Remove(id);
  if (plan.mode == SYNC_MODE_DOWNLOAD && mSlowSession) RemoveCopiesTheServerReplaced(replaced, journal);
  session.FailUnansweredItems();
  KeepRefusedChangesPending(session.ItemFailures());
  // Held local deletions stay in the index, so that the next run finds them again.
  for (const CDataItem::Ptr& record : mHeldLocalDeletions) mStore.mCurrentItems.Put(record);
  // A slow sync cannot carry deletions (some servers refuse them there): they stay pending for the
  // session that follows, and are no item errors.
  end.deferredDeletions = mSlowSession ? RefusedDeletions(session.ItemFailures()) : 0;
  mLink.mItemErrors = static_cast<int>(session.ItemFailures().size()) - end.deferredDeletions;
  SaveLinkResult(changeLog);
  mHost.Checkpoint("journal");
  journal.Clear();
  mJournal = nullptr;
  mTexts = nullptr;
  LogDebug(kSyncDatabase, "End");
  return end;
}

bool LinkSession::SynchronizedBefore() const { return mLink.mLastSyncTime != 0 || !mStore.mSavedItems.Empty(); }

// Nothing is asked of a link that never synchronized, or when the guard is off (nullopt: the slow
// sync runs). A run without a user never decides: the link waits.
std::optional<SlowSyncAnswer> LinkSession::GuardSlowSync(bool serverAsked) {
  if (!mConf.SlowSyncGuard() || !SynchronizedBefore()) return std::nullopt;
  LogDebug(kSyncDatabase, serverAsked ? "The server asks for a slow sync: asking the user" : "Anchors lost: asking the user");
  SlowSyncAnswer answer = SlowSyncAnswer::Skip;
  if (!mConf.Silent()) {
    SlowSyncQuestion question;
    question.linkName = LinkName(mLink);
    question.serverAsked = serverAsked;
    question.localItems = static_cast<int>(mStore.mCurrentItems.Count());
    question.itemsAtLastSync = static_cast<int>(mStore.mSavedItems.Count());
    answer = mPrompt.AskSlowSync(question);
  }
  if (answer == SlowSyncAnswer::Skip) {
    LogError(kSyncDatabase, "Slow sync not run: the link needs a decision");
    NeedsDecision(LoadString(mConf.Silent() ? IDS_SLOW_SYNC_HELD : IDS_SKIPPED_NEEDS_DECISION));
  }
  return answer;
}

bool LinkSession::TooManyDeletions(int deletions, int items) const {
  return deletions > mConf.MassDeleteCount() &&
         static_cast<long long>(deletions) * 100 > static_cast<long long>(mConf.MassDeletePercent()) * items;
}

DeletionAnswer LinkSession::AskAboutDeletions(bool byServer, int deletions, int items) {
  LogError(kSyncDatabase, std::string(byServer ? "The server deleted " : "Deleted locally: ") + std::to_string(deletions) +
                              " of " + std::to_string(items) + " items: held until confirmed");
  DeletionAnswer answer = DeletionAnswer::Hold;
  if (!mConf.Silent()) answer = mPrompt.AskMassDeletion(MassDeletionQuestion{LinkName(mLink), byServer, deletions, items});
  if (answer == DeletionAnswer::Hold) NeedsDecision(FormatText(LoadString(IDS_DELETIONS_HELD), {deletions}));
  return answer;
}

// Server deletions an earlier run did not carry out: held by the user's choice, or noted before a
// session that died before it could carry them out. They are settled as this run's own would be
// (few enough, at once; else the user decides): confirmed, the items go from the folder and the
// index; refused, they leave the index only, so they go to the server as new items in this session.
void LinkSession::SettleEarlierServerDeletions(bool ask) {
  const HeldDeletions file(mConf, mLink);
  std::vector<std::string> ids = file.Load();
  std::erase_if(ids, [this](const std::string& id) { return !mStore.mCurrentItems.Contains(id); });
  if (!ask) {
    // The session that follows one in the same run: what that one held stays held.
    mEarlierHeldDeletions = std::move(ids);
    return;
  }
  if (ids.empty()) {
    file.Save({});
    return;
  }
  const int deletions = static_cast<int>(ids.size());
  const int items = static_cast<int>(mStore.mSavedItems.Count());
  const DeletionAnswer answer = TooManyDeletions(deletions, items) ? AskAboutDeletions(true, deletions, items) : DeletionAnswer::Confirm;
  if (answer == DeletionAnswer::Hold) {
    mEarlierHeldDeletions = std::move(ids);
    return;
  }
  for (const std::string& id : ids) {
    if (answer == DeletionAnswer::Confirm) {
      BeforeLocalWrite();
      if (!mStore.RemoveItem(id)) throw CMainException(IDS_DATABASE_LOAD_ERROR);
      if (mTexts != nullptr) mTexts->Remove(id);
    }
    mStore.mSavedItems.Remove(id);
  }
  if (!file.Save({})) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
}

// The server's deletions answered but not carried out yet are kept before each message that
// answers them: a run that dies before the end of its session settles them the next time.
void LinkSession::KeepUnsettledDeletions(std::size_t& kept) {
  if (mServerDeletions.size() == kept) return;
  std::vector<std::string> ids = mEarlierHeldDeletions;
  ids.insert(ids.end(), mServerDeletions.begin(), mServerDeletions.end());
  if (!HeldDeletions(mConf, mLink).Save(ids)) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
  kept = mServerDeletions.size();
}

// Local deletions above the limit, or any deletion that leaves the folder empty (a wiped or
// unmounted store), are not sent unless the user confirms them. Held, the items stay in the index
// (the next run asks again); refused, they are written back from their index records and go to
// the server as new items, their old identifiers as deletions (the server's map names those).
void LinkSession::GuardLocalDeletions(CChangeLog& changeLog, int indexed) {
  const int deletions = changeLog.DeletedCount();
  if (deletions == 0) return;
  const bool emptied = mStore.mCurrentItems.Empty();
  if (!emptied && !TooManyDeletions(deletions, indexed)) return;
  const DeletionAnswer answer = AskAboutDeletions(false, deletions, indexed);
  if (answer == DeletionAnswer::Confirm) return;
  // The records are those of the index (CheckUpdate kept them in the saved list).
  std::vector<CDataItem::Ptr> records;
  for (const CChangeLogEntry& entry : changeLog.Entries()) {
    if (entry.type != CChangeLogEntry::DELETED) continue;
    if (const CDataItem::Ptr record = mStore.mSavedItems.Find(entry.key)) records.push_back(record);
  }
  if (answer == DeletionAnswer::Hold) {
    changeLog.DropDeletions();
    mHeldLocalDeletions = std::move(records);
    mLink.mLocalCounts = CountsOf(changeLog);
    return;
  }
  StoreItemSink writer(mStore, nullptr, nullptr, mTexts);
  writer.SetBeforeFirstWrite([this] { BeforeLocalWrite(); });
  for (const CDataItem::Ptr& record : records) {
    std::string localId;
    if (record->kind == ITEM_GROUP || !writer.AddLocalCopy(*record, localId)) {
      LogError(kSyncDatabase, "Could not write back the deleted item " + record->itemId);
      continue;
    }
    if (mTexts != nullptr) {
      if (const std::optional<std::string> text = mTexts->Find(record->itemId)) mTexts->Put(localId, *text);
    }
    LogDebug(kSyncDatabase, "Deletion refused, written back: " + record->itemId + " as " + localId);
  }
  mStore.CommitWrites();
  CollectChanges(changeLog, false);
}

// The server's deletions were collected during the session, the items left in place. Few enough,
// they are carried out now; else the user decides: confirmed, carried out; refused, the items
// leave the index so the follow-up session sends them back as new items; held, they stay, and the
// next run asks again.
void LinkSession::SettleServerDeletions(StoreItemSink& sink, int indexed) {
  if (mServerDeletions.empty()) return;
  const int deletions = static_cast<int>(mServerDeletions.size());
  const DeletionAnswer answer = TooManyDeletions(deletions, indexed) ? AskAboutDeletions(true, deletions, indexed) : DeletionAnswer::Confirm;
  std::vector<std::string> held = mEarlierHeldDeletions;
  if (answer == DeletionAnswer::Confirm) {
    for (const std::string& id : mServerDeletions) {
      if (sink.RemoveItem(id) == ItemRemoval::Failed) LogError(kSyncDatabase, "Could not delete " + id);
    }
    mServerDeletions.clear();
  } else if (answer == DeletionAnswer::Refuse) {
    for (const std::string& id : mServerDeletions) mStore.mCurrentItems.Remove(id);
  } else {
    held.insert(held.end(), mServerDeletions.begin(), mServerDeletions.end());
    mServerDeletions.clear();
  }
  // Once the store's writes are durable (SaveLinkResult commits them before the index).
  mStore.CommitWrites();
  if (!HeldDeletions(mConf, mLink).Save(held)) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
}

void LinkSession::NeedsDecision(const std::string& why) {
  mDecisionPending = true;
  mDecisionText = why;
  mHost.SetLinkStatus(why);
}

void LinkSession::BeforeLocalWrite() {
  if (mLocalWriteTold) return;
  mLocalWriteTold = true;
  if (mLocalWrites != nullptr) mLocalWrites->BeforeFirstLocalWrite(mLink, mStore);
}

// Before the resumed session's first message (a server may send its items in the first reply).
void LinkSession::HoldBackNewItems(const CChangeLog& changeLog, const SessionJournal& journal, HeldBackItems& heldBack) {
  for (const CChangeLogEntry& entry : changeLog.Entries()) {
    if (entry.type != CChangeLogEntry::NEW) continue;
    const CDataItem::Ptr record = mStore.mCurrentItems.Find(entry.key);
    if (!record || record->kind == ITEM_GROUP) continue;
    if (journal.IsServerWrite(entry.key, record->PropertyView("PR_LAST_MODIFICATION_TIME"))) continue;
    LogDebug(kSyncDatabase, "Held back until the server's items are in: " + entry.key);
    heldBack.Hold(*record);
  }
}

int LinkSession::RefusedDeletions(const std::vector<ItemFailure>& failures) {
  return static_cast<int>(std::count_if(failures.begin(), failures.end(), [](const ItemFailure& failure) {
    return failure.refusedByServer && failure.command == "Delete";
  }));
}

void LinkSession::CollectChanges(CChangeLog& changeLog, bool full) {
  mHost.SetLinkStatus(LoadString(IDS_LOOKING_FOR_UPDATES));
  changeLog.CheckUpdate(mStore, full);
  mSentEntries = 0;
  mLink.mLocalCounts = CountsOf(changeLog);
}

// A slow sync the server forced: every item goes out, those the index holds under the identifiers
// the server knows (a server without content matching would double them as new ones), and the
// items deleted since the last run as deletions, so that none comes back.
void LinkSession::CollectEverything(CChangeLog& changeLog) {
  mHost.SetLinkStatus(LoadString(IDS_LOOKING_FOR_UPDATES));
  changeLog.CheckEverything(mStore);
  mSentEntries = 0;
  mLink.mLocalCounts = CountsOf(changeLog);
}

// The first message is the initialization package alone: the Alert and the client's device
// information (a server that never asks must still learn that the client reads UTC times), with
// Final. Standard servers take changes only after it (some refuse a Sync that shares the Alert's
// package), and their MaxMsgSize, known from its answer, caps the messages that carry the items.
// The client's changes then form one package: a Sync in each message until a final message has
// carried the last of them. Standard servers end a session whose client opens a Sync after that.
// A slow sync the server asks for in its answer to the initialization package comes before any
// item moved: that is where the slow-sync guard stops the session.
void LinkSession::RunExchanges(CChangeLog& changeLog, CSyncML& session, const Plan& plan) {
  ChangeCounts serverTotals;
  std::size_t keptDeletions = 0;
  bool initializationSent = false;
  bool packageSent = false;
  bool more = true;
  int replies = 0;
  while (more) {
    mHost.CancelCheck();
    session.StartMessage(false);
    if (!initializationSent) {
      session.Alert("", "");
      session.PutDevInf();
      initializationSent = true;
    } else if (!packageSent) {
      session.StartSync();
      if (session.GetErrorState() == SYNC_ERROR_SLOW_SYNC || plan.mode != SYNC_MODE_DOWNLOAD) SendLocalChanges(changeLog, session);
      packageSent = !mPendingEntry.has_value();
    }
    session.Finalize();
    if (mSentEntries > 0) {
      const int total = changeLog.TotalCount();
      mHost.SetLinkStatus(FormatText(LoadString(IDS_SENDING_ITEM), {mSentEntries, total}));
      if (mSentEntries >= total) mSentEntries = 0;
    } else {
      mHost.SetLinkStatus(LoadString(IDS_SENDING_MESSAGE));
    }
    // The server items this message maps must not be lost once the server holds their Maps, nor
    // the deletions it answers.
    mStore.CommitWrites();
    KeepUnsettledDeletions(keptDeletions);
    if (mJournal != nullptr && !mJournal->Sync()) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
    if (mTexts != nullptr) mTexts->Commit();
    session.SendRequest();
    mHost.CancelCheck();
    mHost.SetLinkStatus(LoadString(IDS_MESSAGE_RECEIVED));
    const int stateSent = session.GetErrorState();
    session.Parse();
    ++replies;
    mHost.CancelCheck();
    serverTotals.added += session.ServerAdditions();
    serverTotals.updated += session.ServerReplacements();
    serverTotals.deleted += session.ServerDeletions();
    // Shown while the link runs (the window's progress); the final counts are set below.
    mLink.mServerCounts = serverTotals;
    switch (session.GetErrorState()) {
      case SYNC_ERROR_NONE:
      case SYNC_ERROR_SLOW_SYNC:
        break;
      case SYNC_ERROR_SLOW_REQUESTED:
        if (stateSent == SYNC_ERROR_SLOW_SYNC) {
          // The server's Alert 201 answering a slow sync confirms it; nothing is sent again.
          session.SetErrorState(SYNC_ERROR_SLOW_SYNC);
        } else {
          // A session resuming an interrupted one expects the server to have lost its anchor (it
          // may have completed the session the client could not), and its slow sync is made safe
          // by the journal: no question then.
          if (replies == 1 && !plan.followUp && !mResumed) {
            if (const std::optional<SlowSyncAnswer> answer = GuardSlowSync(true)) {
              if (*answer == SlowSyncAnswer::Skip) throw SlowSyncHeld{};
              if (*answer != SlowSyncAnswer::Merge) throw RefreshChosen{*answer};
            }
          }
          RestartAsSlowSync(changeLog, session, plan.mode);
          // Only re-collected changes reopen a package already sent; a download has none. A
          // package not yet begun goes out as usual (a download's empty one included).
          packageSent = packageSent && plan.mode == SYNC_MODE_DOWNLOAD;
        }
        break;
      case SYNC_ERROR_FILTER_REFUSED:
        if (replies == 1) throw FilterRefused();
        [[fallthrough]];
      default:
        session.ThrowErrorState();
    }
    more = !session.IsFinished() || mPendingEntry.has_value() || !packageSent;
  }
  mLink.mServerCounts = serverTotals;
}

void LinkSession::RestartAsSlowSync(CChangeLog& changeLog, CSyncML& session, int mode) {
  LogDebug(kSyncDatabase, "Slow Sync requested");
  mSlowSession = true;
  session.SetErrorState(SYNC_ERROR_SLOW_SYNC);
  session.SetFinished(false);
  // Deletions sent before the server asked are sent again (their records left the saved list).
  for (const auto& [key, saved] : mSentChanges) {
    if (saved && !mStore.mCurrentItems.Contains(key) && !mStore.mSavedItems.Contains(key)) mStore.mSavedItems.Add(saved);
  }
  // Held local deletions stay held: the records are back in the saved list, and are taken out of
  // what goes out again.
  if (mode != SYNC_MODE_DOWNLOAD) {
    CollectEverything(changeLog);
    if (!mHeldLocalDeletions.empty()) changeLog.DropDeletions();
  }
  mPendingEntry.reset();
}

// Takes the pending entry first, then the change log's next ones, until the message is full.
void LinkSession::SendLocalChanges(CChangeLog& changeLog, CSyncML& session) {
  for (;;) {
    CChangeLogEntry entry;
    if (mPendingEntry) {
      entry = *mPendingEntry;
      mPendingEntry.reset();
    } else if (const CChangeLogEntry* next = changeLog.NextEntry()) {
      entry = *next;
      ++mSentEntries;
    } else {
      return;
    }
    mHost.CancelCheck();
    if (!SendEntry(entry, session)) continue;
    if (session.IsMessageFull()) {
      mPendingEntry = entry;
      return;
    }
  }
}

// One change as an Add, Replace or Delete; false when its record is gone (nothing was sent).
bool LinkSession::SendEntry(const CChangeLogEntry& entry, CSyncML& session) {
  const bool deletion = entry.type == CChangeLogEntry::DELETED;
  const CDataItem::Ptr record = deletion ? mStore.mSavedItems.Find(entry.key) : mStore.mCurrentItems.Find(entry.key);
  // Contact groups stay local: servers take only the contacts (the members go out on their own).
  if (!record || record->kind == ITEM_GROUP) return false;
  // What the server itself wrote in a session not yet completed goes not back to it; but in a slow
  // sync an item the index holds goes out (the server's map names it), or a server without content
  // matching would send its own copy again as a new item.
  const bool indexedInSlowSync = mSlowSession && entry.type == CChangeLogEntry::UPDATED;
  if (!deletion && !indexedInSlowSync && mJournal != nullptr &&
      mJournal->IsServerWrite(entry.key, record->PropertyView("PR_LAST_MODIFICATION_TIME"))) {
    LogDebug(kSyncDatabase, "Written by the server, not sent back: " + entry.key);
    return false;
  }
  // Held back, or already matched to the server's copy of it.
  if (entry.type == CChangeLogEntry::NEW && mHeldBack != nullptr && record->kind != ITEM_GROUP) return false;
  mSentChanges.emplace(entry.key, mStore.mSavedItems.Find(entry.key));
  // What the local application cannot hold goes out as the server last had it.
  const auto text = [&] { return mTexts != nullptr ? mTexts->TextToSend(*record, session.TextOptions()) : mStore.ItemText(*record, session.TextOptions()); };
  switch (entry.type) {
    case CChangeLogEntry::NEW:
      // An interrupted session may have delivered it: a Replace is an add where it did not.
      if (mResumed || mNewAsReplace.count(entry.key) != 0) {
        session.Replace(entry.key, text(), record->ContentTypeOf(session.TextOptions()));
      } else {
        session.Add(entry.key, text(), record->ContentTypeOf(session.TextOptions()));
      }
      break;
    case CChangeLogEntry::UPDATED:
      session.Replace(entry.key, text(), record->ContentTypeOf(session.TextOptions()));
      break;
    default:
      session.Delete(entry.key);
      if (!session.IsMessageFull()) {
        mStore.mSavedItems.Remove(entry.key);
        if (mTexts != nullptr) mTexts->Remove(entry.key);
      }
      break;
  }
  return true;
}

// A slow sync of a download link is a refresh from the server: the server sent all its items anew,
// without the client's identifiers, so the local copies of the items synchronized before (for a
// refresh the user chose: every local item) are replaced by them. Copies the server did not write
// in this session (or in the interrupted one it resumes) go.
void LinkSession::RemoveCopiesTheServerReplaced(const std::vector<std::string>& ids, const SessionJournal& journal) {
  for (const std::string& id : ids) {
    if (!mStore.mCurrentItems.Contains(id) || journal.WroteTo(id)) continue;
    LogDebug(kSyncDatabase, "Refreshed from the server, earlier copy removed: " + id);
    BeforeLocalWrite();
    mStore.RemoveItem(id);
  }
}

// A change the server refused stays a change for the next run (sent again once): the new index
// keeps the item's previous record, or none for a new item, so the change log finds it again.
void LinkSession::KeepRefusedChangesPending(const std::vector<ItemFailure>& failures) {
  for (const ItemFailure& failure : failures) {
    if (!failure.refusedByServer) continue;
    const auto sent = mSentChanges.find(failure.id);
    if (sent == mSentChanges.end()) continue;
    if (sent->second) {
      mStore.mCurrentItems.Put(sent->second);
    } else {
      mStore.mCurrentItems.Remove(failure.id);
    }
    LogError(kSyncDatabase, "Refused by the server, sent again next run: " + failure.id);
  }
}

// The index first, then the anchor: a failure in between leaves the old anchor, which makes the
// server ask for a slow sync, never a new anchor over an index that misses the run.
void LinkSession::SaveLinkResult(CChangeLog& changeLog) {
  mHost.CancelCheck();
  mHost.SetLinkStatus(LoadString(IDS_LOADING_DATA));
  mHost.CancelCheck();
  mHost.SetLinkStatus(LoadString(IDS_SAVING_CHANGE_LOG));
  mHost.Checkpoint("index");
  // What the index lists must be on the disk before the index is; the texts of items it no longer
  // lists go (those of a folder the run read no text of stay until a run that deletes reads them).
  mStore.CommitWrites();
  if (mTexts != nullptr) {
    mTexts->KeepOnly([this](const std::string& id) { return mStore.mCurrentItems.Contains(SeriesKeyOf(id)) || mStore.mCurrentItems.Contains(id); },
                     changeLog.DeletedCount() > 0);
    mTexts->Commit();
  }
  mStore.mCurrentItems.SaveFile();
  mHost.Checkpoint("anchor");
  changeLog.AdvanceAnchor();
  if (!changeLog.UpdateNextAnchor()) throw CMainException(IDS_CANNOT_WRITE_ANCHOR);
}
