// The sync run: server check, worker thread, link loop and the exchanges of one link.
#include "engine/CSyncRun.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <system_error>
#include <utility>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/Prompt.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/BeforeFirstWriteSink.h"
#include "engine/ExchangedItemTexts.h"
#include "engine/HeldBackItems.h"
#include "engine/LocalSnapshots.h"
#include "engine/SessionJournal.h"
#include "engine/StoreItemSink.h"
#include "pim/CalendarRecordBuilder.h"
#include "stores/CDatabaseObject.h"
#include "syncml/CSyncML.h"
#include "syncml/SessionSettings.h"
#include "syncml/SyncTransport.h"

namespace {

constexpr const char* kSyncDatabase = "SyncDatabase";
constexpr const char* kMainSyncLoop = "MainSyncLoop";
constexpr const char* kSyncThreadProc = "SyncThreadProc";
constexpr const char* kCheckServer = "CheckServer";

void OpenLog(const CConf& conf) { CLog::Instance().Open(conf.LogPath(), conf.LogLevel()); }

// The server refused the calendar date filter with its answer to the initialization package: it
// holds nothing of the session, which runs again without the filter.
struct FilterRefused {};

ChangeCounts CountsOf(const CChangeLog& changeLog) {
  return ChangeCounts{changeLog.NewCount(), changeLog.UpdatedCount(), changeLog.DeletedCount()};
}

}  // namespace

CSyncRun::CSyncRun(CConf& conf, Services services) : mConf(conf), mServices(services) {}

CSyncRun::~CSyncRun() {
  {
    std::lock_guard lock(mMutex);
    if (mConf.SyncRunning() == CConf::RUN_RUNNING) mConf.SetSyncRunning(CConf::RUN_CANCEL_REQUESTED);
  }
  JoinWorker();
}

// ---- User-interface thread

SyncRunStart CSyncRun::BeginSyncRun() {
  if (mConf.SyncRunning() != CConf::RUN_IDLE) {
    RequestCancel();
    return SyncRunStart::CancelAsked;
  }
  // The worker of a finished run has cleared the flag as its last step; collect it.
  JoinWorker();
  {
    std::lock_guard lock(mMutex);
    mOutcome = SyncRunOutcome{};
  }
  mRunSelection = mSelectedLink;
  mCurrentLink = std::max(0, mRunSelection);
  mServerRefusesFilter = false;
  mConf.SetSyncRunning(CConf::RUN_RUNNING);
  try {
    mSyncThread = std::thread([this] { SyncThreadProc(); });
  } catch (const std::system_error& error) {
    LogError("BeginSyncRun", error.what());
    ReportRunError(LoadString(IDS_CANNOT_CREATE_THREAD));
    mConf.SetSyncRunning(CConf::RUN_IDLE);
    return SyncRunStart::ThreadFailed;
  }
  return SyncRunStart::Started;
}

bool CSyncRun::RequestCancel() {
  if (mConf.SyncRunning() != CConf::RUN_RUNNING) return false;
  if (mConf.Silent()) return false;
  const PromptAnswer answer = mServices.prompt.Message(LoadString(IDS_CONFIRM_CANCEL), PromptButtons::YesNo, PromptKind::Question);
  if (answer != PromptAnswer::Yes) return false;
  std::lock_guard lock(mMutex);
  // The run may have ended while the question was open.
  if (mConf.SyncRunning() != CConf::RUN_RUNNING) return false;
  mConf.SetSyncRunning(CConf::RUN_CANCEL_REQUESTED);
  const int current = mCurrentLink;
  if (current >= 0 && static_cast<std::size_t>(current) < mConf.Links().Size()) {
    mConf.Links().At(static_cast<std::size_t>(current)).mStatusText = LoadString(IDS_CANCELING);
  }
  return true;
}

bool CSyncRun::CheckServer() {
  OpenLog(mConf);
  LogDebug(kCheckServer, "Begin");
  bool allowed = false;
  try {
    mConf.EnsureClientStoreId();
    CSyncML session(SessionSettings::FromConf(mConf), MakeSessionServices(nullptr), 0);
    session.StartMessage(false);
    session.Finalize();
    session.SendRequest();
    CancelCheck();
    session.Parse();
    const int state = session.GetErrorState();
    if (state == SYNC_ERROR_NONE) {
      allowed = true;
      session.EndShortSession();
    } else if (state == SYNC_ERROR_VERSION) {
      const bool accepted = mConf.Silent() || mServices.prompt.Message(LoadString(IDS_UPDATE_AVAILABLE), PromptButtons::OkCancel,
                                                                      PromptKind::Question) == PromptAnswer::Ok;
      NoteRunError(LoadString(IDS_VERSION_NOT_SUPPORTED));
      if (accepted) {
        mServices.updates.StartUpdate(mConf, [this] { return mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED; });
        std::lock_guard lock(mMutex);
        mOutcome.updateStarted = true;
      }
    } else {
      session.ThrowErrorState();
    }
  } catch (const CXException& error) {
    LogError(kCheckServer, error.Message());
    if (mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED) {
      // The user's own cancel is no error to show.
      std::lock_guard lock(mMutex);
      mOutcome.cancelled = true;
    } else {
      // The transport's failures are shown like the session's: the run does not start.
      ReportRunError(error.Message());
    }
  }
  LogDebug(kCheckServer, "End");
  return allowed;
}

void CSyncRun::WaitForEnd() { JoinWorker(); }

SyncRunOutcome CSyncRun::LastOutcome() const {
  std::lock_guard lock(mMutex);
  return mOutcome;
}

std::string CSyncRun::LinkStatusText(std::size_t index) const {
  std::lock_guard lock(mMutex);
  return index < mConf.Links().Size() ? mConf.Links().At(index).mStatusText : std::string();
}

void CSyncRun::JoinWorker() {
  if (mSyncThread.joinable()) mSyncThread.join();
}

// Keeps the first error of a run for LastOutcome.
void CSyncRun::NoteRunError(const std::string& message) {
  std::lock_guard lock(mMutex);
  if (mOutcome.error.empty()) mOutcome.error = message;
}

// Keeps the error and shows it unless the program runs silently.
void CSyncRun::ReportRunError(const std::string& message) {
  NoteRunError(message);
  if (!mConf.Silent()) mServices.prompt.Message(message, PromptButtons::Ok, PromptKind::Error);
}

// ---- Worker thread

int CSyncRun::SyncThreadProc() {
  mServices.observer.SyncBegin();
  try {
    if (const unsigned missing = mConf.CheckComplete(); missing != 0) {
      NoteRunError(LoadString(missing));
    } else if (AskForPassword()) {
      if (CheckServer()) {
        OpenLog(mConf);
        std::unique_ptr<CDatabaseObject> store = mServices.stores.CreateStore(mConf, mServices.prompt);
        MainSyncLoop(*store);
      } else {
        const SyncRunOutcome outcome = LastOutcome();
        if (!outcome.cancelled && !outcome.updateStarted) FailEligibleLinks(outcome.error);
      }
    }
  } catch (const CXException& error) {
    LogError(kSyncThreadProc, error.Message());
    ReportRunError(error.Message());
  } catch (const std::exception& error) {
    // Not of the program's family (a library's failure): the run stops the same way.
    LogError(kSyncThreadProc, error.what());
    ReportRunError(error.what());
  }
  mServices.observer.SyncEnd();
  std::lock_guard lock(mMutex);
  mConf.SetSyncRunning(CConf::RUN_IDLE);
  return 0;
}

// The login dialog is shown while no password is known; a declined login ends the run. A silent
// run cannot ask: it ends before anything is sent, and says so.
bool CSyncRun::AskForPassword() {
  while (mConf.Password().empty()) {
    if (mConf.Silent()) {
      NoteRunError(FormatText(LoadString(IDS_NO_PASSWORD_STORED), {mConf.ProductName()}));
      std::lock_guard lock(mMutex);
      mOutcome.passwordMissing = true;
      return false;
    }
    LoginRequest request{mConf.Login(), "", mConf.RememberPass()};
    if (!mServices.prompt.AskLogin(request)) {
      // The user's own choice: nothing ran, nothing failed.
      std::lock_guard lock(mMutex);
      mOutcome.cancelled = true;
      return false;
    }
    mConf.SetLogin(request.login);
    mConf.SetPassword(request.password);
    mConf.SetRememberPass(request.rememberPassword);
    mConf.SaveLogin(true);
  }
  return true;
}

void CSyncRun::FailEligibleLinks(const std::string& reason) {
  const int count = static_cast<int>(mConf.Links().Size());
  bool changed = false;
  for (int index = 0; index < count; ++index) {
    CSyncLink& link = mConf.Links().At(static_cast<std::size_t>(index));
    if (!IsLinkEligible(link, index)) continue;
    mCurrentLink = index;
    link.mState = SYNC_STATE_FAILED;
    SetLinkStatus(reason);
    changed = true;
  }
  if (changed) mConf.Save();
}

void CSyncRun::MainSyncLoop(CDatabaseObject& store) {
  if (store.mInitError != 0) {
    LogError(kMainSyncLoop, "Database Object init error");
    ReportRunError(LoadString(store.mInitError));
    return;
  }
  LogDebug(kMainSyncLoop, "Database Object ok");
  // Saving drops links that are off or of a switched-off type, so the array may shrink.
  const int count = static_cast<int>(mConf.Links().Size());
  for (int index = 0; index < count && static_cast<std::size_t>(index) < mConf.Links().Size(); ++index) {
    mCurrentLink = index;
    if (mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED) {
      std::lock_guard lock(mMutex);
      mOutcome.cancelled = true;
      return;
    }
    CSyncLink& link = mConf.Links().At(static_cast<std::size_t>(index));
    if (!IsLinkEligible(link, index)) continue;
    link.mState = SYNC_STATE_IN_PROGRESS;
    link.mRowDisabled = false;
    SetLinkStatus();
    const bool succeeded = SyncDatabase(store, link);
    // A link the user's cancel stopped says so, and keeps the date of its last good run.
    const bool cancelled = !succeeded && mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED;
    link.mState = succeeded ? SYNC_STATE_SYNCHRONIZED : cancelled ? SYNC_STATE_CANCELLED : SYNC_STATE_FAILED;
    if (succeeded) link.mLastSyncTime = static_cast<std::int64_t>(std::time(nullptr));
    link.mCountsKnown = succeeded;
    link.mRowDisabled = true;
    {
      std::lock_guard lock(mMutex);
      ++mOutcome.linksRun;
      if (!succeeded) ++mOutcome.linksFailed;
      if (succeeded && link.mItemErrors > 0) ++mOutcome.linksWithItemErrors;
      if (mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED) mOutcome.cancelled = true;
    }
    SetLinkStatus();
    if (!mConf.Save()) ReportSaveFailure(link);
  }
}

// The link's result stays in memory only: the user must learn that it was not kept (a full
// disk), so the link shows the failure and the run counts it as failed.
void CSyncRun::ReportSaveFailure(CSyncLink& link) {
  const bool failedBefore = link.mState == SYNC_STATE_FAILED;
  link.mState = SYNC_STATE_FAILED;
  {
    std::lock_guard lock(mMutex);
    if (!failedBefore) ++mOutcome.linksFailed;
  }
  SetLinkStatus(FormatText(LoadString(IDS_CONFIG_SAVE_FAILED), {mConf.ConfigFilePath()}));
}

SessionServices CSyncRun::MakeSessionServices(ItemSink* sink) {
  SessionServices services;
  services.transport = Transports() != nullptr ? Transports()->CreateTransport(mConf) : MakeHttpSyncTransport(mConf);
  services.sink = sink;
  services.prompt = &mServices.prompt;
  services.cancelRequested = [this] { return mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED; };
  services.silent = mConf.Silent();
  services.autoResolveConflicts = mConf.ConfResPol();
  return services;
}

bool CSyncRun::IsLinkEligible(const CSyncLink& link, int index) const {
  if (link.mMode == SYNC_MODE_OFF) return false;
  if (mRunSelection != -1 && mRunSelection != index) return false;
  if (link.mClientApp != mConf.SyncWithOutlook()) return false;
  return mConf.IsDataTypeOn(link.mDataType);
}

bool CSyncRun::SyncDatabase(CDatabaseObject& store, CSyncLink& link) {
  try {
    LogDebug(kSyncDatabase, "Begin");
    LogDebug(kSyncDatabase, "Server folder");
    LogDebug(kSyncDatabase, link.ServerUri());
    LogDebug(kSyncDatabase, "Client folder");
    LogDebug(kSyncDatabase, link.mLocalName);
    // The counts shown after the run are this run's, never an earlier run's.
    link.mLocalCounts = {};
    link.mServerCounts = {};
    link.mCountsKnown = false;
    link.mItemErrors = 0;
    mSentEntries = 0;
    mPendingEntry.reset();
    mSentChanges.clear();

    if (!store.SelectFolderOf(link)) {
      throw CMainException(IDS_FOLDER_SELECT_ERROR);
    }
    SetLinkStatus(LoadString(IDS_INITIALIZING_CHANGE_LOG));
    CChangeLog changeLog(mConf);
    if (!changeLog.InitAnchor(link.CompareMode(), link.LocalFileName())) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);

    CancelCheck();
    SetLinkStatus(LoadString(IDS_LOADING_DATA));
    if (store.LoadContent(link.LocalFileName()) != kStoreOk) throw CMainException(IDS_DATABASE_LOAD_ERROR);
    // What the store's loading left expanded: the lists are read from here on, and each record
    // that is sent or written is expanded again on its own.
    store.mCurrentItems.PackRecords();
    store.mSavedItems.PackRecords();

    // Only a link's very first run with this identity is a slow sync the client asks for: a slow
    // sync cannot carry deletions, and servers that do no content matching double every item of
    // one (and erase their map of the client's identifiers). After an interrupted session the
    // next one resumes with a normal sync from the last good anchor (servers store an anchor only
    // with a completed session), or, after an interrupted first run, from the Next anchor it sent;
    // a server that never stored it forces a slow sync of its own (508), which keeps its map.
    SessionJournal journal(mConf, link);
    const bool resumed = journal.Load() && !mConf.IdentityGenerated();
    if (!resumed) journal.Clear();
    const bool firstRun = !resumed && (mConf.IdentityGenerated() || changeLog.Anchor() < 0 ||
                                       (changeLog.Anchor() == 0 && link.mLastSyncTime == 0));
    const bool resumesFirstRun = resumed && journal.WasFirstRun() && journal.SentNextAnchor();
    if (resumesFirstRun) changeLog.ResumeFrom(*journal.SentNextAnchor());
    if (firstRun) LogDebug(kSyncDatabase, "First run of the link: slow sync");
    if (resumed) LogDebug(kSyncDatabase, "Previous session was interrupted: resuming it");
    HeldBackItems heldBack;
    // A store that keeps whole items sends its own; the others' items go back merged into the last
    // text exchanged.
    std::optional<ExchangedItemTexts> texts;
    if (!store.KeepsWholeItems()) texts.emplace(mConf, link);
    mTexts = texts ? &*texts : nullptr;
    mJournal = &journal;
    mResumed = resumed;
    mHeldBack = resumed ? &heldBack : nullptr;
    mSlowSession = firstRun;
    std::vector<std::string> indexed;
    for (const CDataItem::Ptr& saved : store.mSavedItems.Items()) indexed.push_back(saved->itemId);

    CancelCheck();
    if (link.mMode != SYNC_MODE_DOWNLOAD) CollectChanges(store, link, changeLog, firstRun);
    if (mHeldBack != nullptr) HoldBackNewItems(store, changeLog, journal, heldBack);

    CancelCheck();
    LogDebug(kSyncDatabase, "Create SyncML Object");
    StoreItemSink storeSink(store, &journal, mHeldBack, mTexts);
    // The local items as the run found them are saved before it first changes them.
    BeforeFirstWriteSink sink(storeSink, [&] { if (!mFollowingUp) LocalSnapshots(mConf).Save(store, link); });
    const int lastAnchor = changeLog.GetAnchor();
    CSyncML session(SessionSettings::FromConf(mConf), MakeSessionServices(&sink), lastAnchor);
    session.SetTargetDatabase(link.ServerUri());
    session.SetSourceDatabase(link.mLocalPath);
    session.SetSyncMode(link.mMode);
    ItemTextOptions textOptions;
    if (link.mCalendarVersion == "1.0") textOptions.calendar = CalendarVersion::VCalendar10;
    // Whole items go as the forms they are kept in, and are announced so (ClientDevInf).
    textOptions.registeredTypes = store.KeepsWholeItems();
    session.SetItemTextOptions(textOptions);
    if (store.GetContentKind() == CONTENT_CALENDAR && !mServerRefusesFilter) session.SetFilterStartDate(mConf.SyncStartDate());
    if (firstRun) session.SetErrorState(SYNC_ERROR_SLOW_SYNC);

    if (!journal.Begin(lastAnchor + 1, firstRun || resumesFirstRun)) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
    // The server holds nothing of this session: the next run need not resume it, or resumes the
    // earlier interrupted session as before.
    const auto forgetSession = [&] {
      if (resumed) {
        journal.Begin(lastAnchor, resumesFirstRun);
      } else {
        journal.Clear();
      }
      mJournal = nullptr;
      mHeldBack = nullptr;
      mTexts = nullptr;
    };
    try {
      RunExchanges(store, link, changeLog, session);
    } catch (const FilterRefused&) {
      forgetSession();
      LogDebug(kSyncDatabase, "The server refused the date filter: the session runs again without it");
      mServerRefusesFilter = true;
      return SyncDatabase(store, link);
    } catch (...) {
      // Nothing of this session left when there was no connection, or it was cancelled before the first post.
      if (session.MayHaveReachedServer()) {
        mJournal = nullptr;
        mHeldBack = nullptr;
        mTexts = nullptr;
      } else {
        forgetSession();
      }
      throw;
    }
    mHeldBack = nullptr;
    // Held back and not sent back by the server: still new for the session that sends them.
    const std::vector<std::string> unsent = heldBack.Ids();
    for (const std::string& id : unsent) store.mCurrentItems.Remove(id);
    if (link.mMode == SYNC_MODE_DOWNLOAD && mSlowSession) {
      sink.BeforeWrite();
      RemoveCopiesTheServerReplaced(store, indexed, journal);
    }
    session.FailUnansweredItems();
    KeepRefusedChangesPending(store, session.ItemFailures());
    // A slow sync cannot carry deletions (some servers refuse them there): they stay pending for
    // the session that follows, and are no item errors.
    const int deferredDeletions = mSlowSession ? RefusedDeletions(session.ItemFailures()) : 0;
    link.mItemErrors = static_cast<int>(session.ItemFailures().size()) - deferredDeletions;
    SaveLinkResult(store, changeLog);
    Checkpoint("journal");
    journal.Clear();
    mJournal = nullptr;
    mTexts = nullptr;
    LogDebug(kSyncDatabase, "End");
    const bool followUp = !mFollowingUp && (!unsent.empty() || deferredDeletions > 0);
    return !followUp || RunFollowUpSession(store, link, unsent);
  } catch (const CXException& error) {
    LogError(kSyncDatabase, error.Message());
    SetLinkStatus(error.Message());
  } catch (const std::exception& error) {
    LogError(kSyncDatabase, error.what());
    SetLinkStatus(std::string(error.what()));
  }
  return false;
}

// Before the resumed session's first message (a server may send its items in the first reply).
void CSyncRun::HoldBackNewItems(CDatabaseObject& store, const CChangeLog& changeLog, const SessionJournal& journal,
                                HeldBackItems& heldBack) {
  for (const CChangeLogEntry& entry : changeLog.Entries()) {
    if (entry.type != CChangeLogEntry::NEW) continue;
    const CDataItem::Ptr record = store.mCurrentItems.Find(entry.key);
    if (!record || record->kind == ITEM_GROUP) continue;
    if (journal.IsServerWrite(entry.key, record->PropertyView("PR_LAST_MODIFICATION_TIME"))) continue;
    LogDebug(kSyncDatabase, "Held back until the server's items are in: " + entry.key);
    heldBack.Hold(*record);
  }
}

int CSyncRun::RefusedDeletions(const std::vector<ItemFailure>& failures) {
  return static_cast<int>(std::count_if(failures.begin(), failures.end(), [](const ItemFailure& failure) {
    return failure.refusedByServer && failure.command == "Delete";
  }));
}

// A session right after one that left changes for it: the items a resumed session held back
// (sent as Replace, an add where the server does not know them) and the deletions a slow sync
// could not carry, with whatever changed meanwhile. Never followed by another one. The link
// shows the counts of both sessions.
bool CSyncRun::RunFollowUpSession(CDatabaseObject& store, CSyncLink& link, const std::vector<std::string>& heldBack) {
  LogDebug(kSyncDatabase, "Follow-up session for the changes the last one left");
  const ChangeCounts resumedServerCounts = link.mServerCounts;
  const ChangeCounts resumedLocalCounts = link.mLocalCounts;
  const int resumedItemErrors = link.mItemErrors;
  mNewAsReplace.insert(heldBack.begin(), heldBack.end());
  mFollowingUp = true;
  const bool succeeded = SyncDatabase(store, link);
  mFollowingUp = false;
  mNewAsReplace.clear();
  link.mServerCounts.added += resumedServerCounts.added;
  link.mServerCounts.updated += resumedServerCounts.updated;
  link.mServerCounts.deleted += resumedServerCounts.deleted;
  link.mLocalCounts.updated += resumedLocalCounts.updated;
  link.mLocalCounts.deleted += resumedLocalCounts.deleted;
  link.mItemErrors += resumedItemErrors;
  return succeeded;
}

void CSyncRun::CollectChanges(CDatabaseObject& store, CSyncLink& link, CChangeLog& changeLog, bool full) {
  SetLinkStatus(LoadString(IDS_LOOKING_FOR_UPDATES));
  changeLog.CheckUpdate(store, full);
  mSentEntries = 0;
  link.mLocalCounts = CountsOf(changeLog);
}

// A slow sync the server forced: every item goes out, those the index holds under the
// identifiers the server knows (a server without content matching would double them as new
// ones), and the items deleted since the last run as deletions, so that none comes back.
void CSyncRun::CollectEverything(CDatabaseObject& store, CSyncLink& link, CChangeLog& changeLog) {
  SetLinkStatus(LoadString(IDS_LOOKING_FOR_UPDATES));
  changeLog.CheckEverything(store);
  mSentEntries = 0;
  link.mLocalCounts = CountsOf(changeLog);
}

// The first message is the initialization package alone: the Alert and the client's device
// information (a server that never asks must still learn that the client reads UTC times), with
// Final. Standard servers take changes only after it (some refuse a Sync that shares the Alert's
// package), and their MaxMsgSize, known from its answer, caps the messages that carry the items.
// The client's changes then form one package: a Sync in each message until a final message has
// carried the last of them. Standard servers end a session whose client opens a Sync after that.
void CSyncRun::RunExchanges(CDatabaseObject& store, CSyncLink& link, CChangeLog& changeLog, CSyncML& session) {
  ChangeCounts serverTotals;
  bool initializationSent = false;
  bool packageSent = false;
  bool more = true;
  int replies = 0;
  while (more) {
    CancelCheck();
    session.StartMessage(false);
    if (!initializationSent) {
      session.Alert("", "");
      session.PutDevInf();
      initializationSent = true;
    } else if (!packageSent) {
      session.StartSync();
      if (session.GetErrorState() == SYNC_ERROR_SLOW_SYNC || link.mMode != SYNC_MODE_DOWNLOAD) {
        SendLocalChanges(store, changeLog, session);
      }
      packageSent = !mPendingEntry.has_value();
    }
    session.Finalize();
    if (mSentEntries > 0) {
      const int total = changeLog.TotalCount();
      SetLinkStatus(FormatText(LoadString(IDS_SENDING_ITEM), {mSentEntries, total}));
      if (mSentEntries >= total) mSentEntries = 0;
    } else {
      SetLinkStatus(LoadString(IDS_SENDING_MESSAGE));
    }
    // The server items this message maps must not be lost once the server holds their Maps.
    store.CommitWrites();
    if (mJournal != nullptr && !mJournal->Sync()) throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
    if (mTexts != nullptr) mTexts->Commit();
    session.SendRequest();
    CancelCheck();
    SetLinkStatus(LoadString(IDS_MESSAGE_RECEIVED));
    const int stateSent = session.GetErrorState();
    session.Parse();
    ++replies;
    CancelCheck();
    serverTotals.added += session.ServerAdditions();
    serverTotals.updated += session.ServerReplacements();
    serverTotals.deleted += session.ServerDeletions();
    // Shown while the link runs (the window's progress); the final counts are set below.
    link.mServerCounts = serverTotals;
    switch (session.GetErrorState()) {
      case SYNC_ERROR_NONE:
      case SYNC_ERROR_SLOW_SYNC:
        break;
      case SYNC_ERROR_SLOW_REQUESTED:
        if (stateSent == SYNC_ERROR_SLOW_SYNC) {
          // The server's Alert 201 answering a slow sync confirms it; nothing is sent again.
          session.SetErrorState(SYNC_ERROR_SLOW_SYNC);
        } else {
          RestartAsSlowSync(store, link, changeLog, session);
          // Only re-collected changes reopen a package already sent; a download has none. A
          // package not yet begun goes out as usual (a download's empty one included).
          packageSent = packageSent && link.mMode == SYNC_MODE_DOWNLOAD;
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
  link.mServerCounts = serverTotals;
}

void CSyncRun::RestartAsSlowSync(CDatabaseObject& store, CSyncLink& link, CChangeLog& changeLog, CSyncML& session) {
  LogDebug(kSyncDatabase, "Slow Sync requested");
  mSlowSession = true;
  session.SetErrorState(SYNC_ERROR_SLOW_SYNC);
  session.SetFinished(false);
  // Deletions sent before the server asked are sent again (their records left the saved list).
  for (const auto& [key, saved] : mSentChanges) {
    if (saved && !store.mCurrentItems.Contains(key) && !store.mSavedItems.Contains(key)) store.mSavedItems.Add(saved);
  }
  if (link.mMode != SYNC_MODE_DOWNLOAD) CollectEverything(store, link, changeLog);
  mPendingEntry.reset();
}

// Takes the pending entry first, then the change log's next ones, until the message is full.
void CSyncRun::SendLocalChanges(CDatabaseObject& store, CChangeLog& changeLog, CSyncML& session) {
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
    CancelCheck();
    if (!SendEntry(store, entry, session)) continue;
    if (session.IsMessageFull()) {
      mPendingEntry = entry;
      return;
    }
  }
}

// One change as an Add, Replace or Delete; false when its record is gone (nothing was sent).
bool CSyncRun::SendEntry(CDatabaseObject& store, const CChangeLogEntry& entry, CSyncML& session) {
  const bool deletion = entry.type == CChangeLogEntry::DELETED;
  const CDataItem::Ptr record = deletion ? store.mSavedItems.Find(entry.key) : store.mCurrentItems.Find(entry.key);
  // Contact groups stay local: servers take only the contacts (the members go out on their own).
  if (!record || record->kind == ITEM_GROUP) return false;
  // What the server itself wrote in a session not yet completed goes not back to it; but in a
  // slow sync an item the index holds goes out (the server's map names it), or a server without
  // content matching would send its own copy again as a new item.
  const bool indexedInSlowSync = mSlowSession && entry.type == CChangeLogEntry::UPDATED;
  if (!deletion && !indexedInSlowSync && mJournal != nullptr &&
      mJournal->IsServerWrite(entry.key, record->PropertyView("PR_LAST_MODIFICATION_TIME"))) {
    LogDebug(kSyncDatabase, "Written by the server, not sent back: " + entry.key);
    return false;
  }
  // Held back, or already matched to the server's copy of it.
  if (entry.type == CChangeLogEntry::NEW && mHeldBack != nullptr && record->kind != ITEM_GROUP) return false;
  mSentChanges.emplace(entry.key, store.mSavedItems.Find(entry.key));
  // What the local application cannot hold goes out as the server last had it.
  const auto text = [&] { return mTexts != nullptr ? mTexts->TextToSend(*record, session.TextOptions()) : store.ItemText(*record, session.TextOptions()); };
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
        store.mSavedItems.Remove(entry.key);
        if (mTexts != nullptr) mTexts->Remove(entry.key);
      }
      break;
  }
  return true;
}

// A slow sync of a download link is a refresh from the server: the server sent all its items
// anew, without the client's identifiers, so the local copies of the items synchronized before
// are replaced by them. Copies the server did not write in this session (or in the interrupted
// one it resumes) go; items that never synchronized stay.
void CSyncRun::RemoveCopiesTheServerReplaced(CDatabaseObject& store, const std::vector<std::string>& indexed,
                                             const SessionJournal& journal) {
  for (const std::string& id : indexed) {
    if (!store.mCurrentItems.Contains(id) || journal.WroteTo(id)) continue;
    LogDebug(kSyncDatabase, "Refreshed from the server, earlier copy removed: " + id);
    store.RemoveItem(id);
  }
}

// A change the server refused stays a change for the next run (sent again once): the new index
// keeps the item's previous record, or none for a new item, so the change log finds it again.
void CSyncRun::KeepRefusedChangesPending(CDatabaseObject& store, const std::vector<ItemFailure>& failures) {
  for (const ItemFailure& failure : failures) {
    if (!failure.refusedByServer) continue;
    const auto sent = mSentChanges.find(failure.id);
    if (sent == mSentChanges.end()) continue;
    if (sent->second) {
      store.mCurrentItems.Put(sent->second);
    } else {
      store.mCurrentItems.Remove(failure.id);
    }
    LogError(kSyncDatabase, "Refused by the server, sent again next run: " + failure.id);
  }
}

// The index first, then the anchor: a failure in between leaves the old anchor, which makes
// the server ask for a slow sync, never a new anchor over an index that misses the run.
void CSyncRun::SaveLinkResult(CDatabaseObject& store, CChangeLog& changeLog) {
  CancelCheck();
  SetLinkStatus(LoadString(IDS_LOADING_DATA));
  CancelCheck();
  SetLinkStatus(LoadString(IDS_SAVING_CHANGE_LOG));
  Checkpoint("index");
  // What the index lists must be on the disk before the index is; the texts of items it no longer
  // lists go (those of a folder the run read no text of stay until a run that deletes reads them).
  store.CommitWrites();
  if (mTexts != nullptr) {
    mTexts->KeepOnly([&store](const std::string& id) { return store.mCurrentItems.Contains(SeriesKeyOf(id)) || store.mCurrentItems.Contains(id); },
                     changeLog.DeletedCount() > 0);
    mTexts->Commit();
  }
  store.mCurrentItems.SaveFile();
  Checkpoint("anchor");
  changeLog.AdvanceAnchor();
  if (!changeLog.UpdateNextAnchor()) throw CMainException(IDS_CANNOT_WRITE_ANCHOR);
}

void CSyncRun::Checkpoint(const char* step) {
  if (mServices.checkpoints != nullptr) mServices.checkpoints->Reached(step);
}

void CSyncRun::SetLinkStatus(const std::optional<std::string>& text) {
  const int index = mCurrentLink;
  CSyncLink snapshot;
  {
    std::lock_guard lock(mMutex);
    CSyncLink& link = mConf.Links().At(static_cast<std::size_t>(index));
    if (text) link.mStatusText = *text;
    snapshot = link;
  }
  mServices.observer.SyncLinkUpdate(index, snapshot);
}

void CSyncRun::CancelCheck() const {
  if (mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED) throw CMainException(IDS_CANCELED_BY_USER);
}
