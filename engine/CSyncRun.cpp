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
#include "stores/CDatabaseObject.h"
#include "syncml/CSyncML.h"
#include "syncml/SessionSettings.h"
#include "syncml/SyncTransport.h"

namespace {

constexpr const char* kMainSyncLoop = "MainSyncLoop";
constexpr const char* kSyncThreadProc = "SyncThreadProc";
constexpr const char* kCheckServer = "CheckServer";

void OpenLog(const CConf& conf) { CLog::Instance().Open(conf.LogPath(), conf.LogLevel()); }

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
    LocalWriteObserver* localWrites = mServices.localWrites != nullptr ? mServices.localWrites : &mSnapshots;
    const LinkResult result = LinkSession(mConf, store, link, *this, mServices.prompt, localWrites).Run();
    const bool succeeded = result == LinkResult::Synchronized;
    // A link the user's cancel stopped says so, and keeps the date of its last good run.
    const bool cancelled = result == LinkResult::Failed && mConf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED;
    link.mState = succeeded ? SYNC_STATE_SYNCHRONIZED
                  : cancelled ? SYNC_STATE_CANCELLED
                  : result == LinkResult::NeedsDecision ? SYNC_STATE_NEEDS_DECISION
                                                        : SYNC_STATE_FAILED;
    if (succeeded) link.mLastSyncTime = static_cast<std::int64_t>(std::time(nullptr));
    link.mCountsKnown = succeeded;
    link.mRowDisabled = true;
    {
      std::lock_guard lock(mMutex);
      ++mOutcome.linksRun;
      if (result == LinkResult::Failed) ++mOutcome.linksFailed;
      if (result == LinkResult::NeedsDecision) ++mOutcome.linksNeedingDecision;
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
