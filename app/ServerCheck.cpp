// The server check on its own thread, and the transport whose post can be abandoned.
#include "app/ServerCheck.h"

#include <QMetaObject>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/GuiHandOver.h"
#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/SyncRunServices.h"
#include "syncml/SyncTransport.h"

// Shared by the check, its transport and the posts in flight: the cancel request, the end of
// each post, and a request type the server accepted after refusing the other, under one lock.
class TransportCancel {
 public:
  void Cancel() {
    const std::lock_guard lock(mMutex);
    mCancelled = true;
    mChanged.notify_all();
  }
  bool Cancelled() {
    const std::lock_guard lock(mMutex);
    return mCancelled;
  }

  // Set by the post's thread; taken by the check's own thread once the post has ended, so an
  // abandoned post never writes into the configuration.
  void NoteWorkingType(const std::string& type) {
    const std::lock_guard lock(mMutex);
    mWorkingType = type;
  }
  std::string TakeWorkingType() {
    const std::lock_guard lock(mMutex);
    return std::exchange(mWorkingType, std::string());
  }

  std::mutex mMutex;
  std::condition_variable mChanged;
  bool mCancelled = false;
  std::string mWorkingType;
};

// The threads of posts a cancel left running. They use nothing but their transport and their
// own state, and are joined before the check is gone, so none outlives the program's objects.
class AbandonedPosts {
 public:
  ~AbandonedPosts() { JoinAll(); }
  void Add(std::thread post) {
    const std::lock_guard lock(mMutex);
    mPosts.push_back(std::move(post));
  }
  void JoinAll() {
    std::vector<std::thread> posts;
    {
      const std::lock_guard lock(mMutex);
      posts.swap(mPosts);
    }
    for (std::thread& post : posts) post.join();
  }

 private:
  std::mutex mMutex;
  std::vector<std::thread> mPosts;
};

namespace {

// Posts through `inner` on a thread of the post's own and waits for its answer or a cancel.
// The post's thread shares the inner transport and the post's state, so an abandoned post can
// run on after the caller is gone, until the inner transport gives up.
class CancellableTransport final : public SyncTransport {
 public:
  // `conf` gets the request type that worked; it must outlive the object.
  CancellableTransport(std::unique_ptr<SyncTransport> inner, std::shared_ptr<TransportCancel> cancel, AbandonedPosts& abandoned,
                       CConf& conf)
      : mInner(std::move(inner)), mCancel(std::move(cancel)), mAbandoned(abandoned), mConf(conf) {}

  std::string Post(const std::string& url, const std::string& message) override {
    struct Outcome {
      bool done = false;
      std::string reply;
      std::exception_ptr error;
    };
    auto outcome = std::make_shared<Outcome>();
    std::thread post([inner = mInner, cancel = mCancel, outcome, url, message] {
      std::string reply;
      std::exception_ptr error;
      try {
        reply = inner->Post(url, message);
      } catch (...) {
        error = std::current_exception();
      }
      const std::lock_guard lock(cancel->mMutex);
      outcome->reply = std::move(reply);
      outcome->error = error;
      outcome->done = true;
      cancel->mChanged.notify_all();
    });
    std::unique_lock lock(mCancel->mMutex);
    mCancel->mChanged.wait(lock, [&] { return outcome->done || mCancel->mCancelled; });
    if (!outcome->done) {
      lock.unlock();
      mAbandoned.Add(std::move(post));
      throw CHttpException(IDS_SYNC_CANCELED);
    }
    lock.unlock();
    post.join();
    if (std::string type = mCancel->TakeWorkingType(); !type.empty()) mConf.SetSyncMime(std::move(type));
    if (outcome->error) std::rethrow_exception(outcome->error);
    return std::move(outcome->reply);
  }

 private:
  std::shared_ptr<SyncTransport> mInner;
  std::shared_ptr<TransportCancel> mCancel;
  AbandonedPosts& mAbandoned;
  CConf& mConf;
};

// HTTP from the settings, whose exchange stops within about a second of a cancel.
std::unique_ptr<SyncTransport> MakeCheckTransport(const CConf& conf, const std::shared_ptr<TransportCancel>& cancel) {
  SyncTransportOptions options = SyncTransportOptions::FromConf(conf);
  options.abortRequested = [cancel] { return cancel->Cancelled(); };
  options.requestTypeWorked = [cancel](const std::string& type) { cancel->NoteWorkingType(type); };
  return std::make_unique<HttpSyncTransport>(std::move(options));
}

}  // namespace

ServerCheck::ServerCheck(CConf& conf, Prompt& windowPrompt, SyncTransportFactory* transports, UpdateStarter* updates,
                         QObject* parent)
    : QObject(parent),
      mConf(conf),
      mWindowPrompt(windowPrompt),
      mTransports(transports),
      mUpdates(updates),
      mAbandoned(std::make_unique<AbandonedPosts>()) {}

ServerCheck::~ServerCheck() {
  Stop();
  mAbandoned->JoinAll();
}

void ServerCheck::Start() {
  if (Running()) return;
  mHandOver = std::make_unique<GuiHandOver>(*this);
  mWorkerPrompt = std::make_unique<GuiThreadPrompt>(mWindowPrompt, *mHandOver);
  mCancel = std::make_shared<TransportCancel>();
  std::unique_ptr<SyncTransport> inner = mTransports != nullptr ? mTransports->CreateTransport(mConf) : MakeCheckTransport(mConf, mCancel);
  auto transport = std::make_unique<CancellableTransport>(std::move(inner), mCancel, *mAbandoned, mConf);
  const unsigned generation = ++mGeneration;
  mWorker = std::thread([this, generation, transport = std::move(transport)]() mutable {
    DatabaseRequestResult result = DatabaseRequestResult::Failed;
    // The request shows its own failures; anything else it lets through must not end the process.
    try {
      result = RequestServerDatabases(mConf, *mWorkerPrompt, std::move(transport));
      if (result == DatabaseRequestResult::UpdateAccepted) result = StartUpdate();
    } catch (const std::exception& error) {
      LogError("CWizardPageConnection::OnWizardNext", error.what());
      mWorkerPrompt->Message(LoadString(IDS_SYNCML_ERROR), PromptButtons::Ok, PromptKind::Error);
    }
    // Dropped by Qt when this object is gone; ignored when the check was cancelled meanwhile.
    QMetaObject::invokeMethod(this, [this, generation, result] { OnWorkerDone(generation, result); }, Qt::QueuedConnection);
  });
}

// The update takes over when it starts: the wizard ends and the program closes. One that cannot
// start (or was cancelled) leaves the program as it was.
DatabaseRequestResult ServerCheck::StartUpdate() {
  try {
    if (mUpdates == nullptr) throw CUpdaterException(FormatText(LoadString(IDS_UPDATE_NOT_AVAILABLE), {mConf.ProductName()}));
    mUpdates->StartUpdate(mConf, [cancel = mCancel] { return cancel->Cancelled(); });
    return DatabaseRequestResult::UpdateAccepted;
  } catch (const CXException& error) {
    mConf.SetAppState(0);
    if (!mCancel->Cancelled()) mWorkerPrompt->Message(error.Message(), PromptButtons::Ok, PromptKind::Error);
  }
  return DatabaseRequestResult::UpdateDeclined;
}

void ServerCheck::Cancel() { Stop(); }

// The worker can be blocked only in a post (released by the cancel) or in a question on the
// window (released by closing the hand-over), so the join below is short.
void ServerCheck::Stop() {
  if (!Running()) return;
  ++mGeneration;
  mCancel->Cancel();
  mHandOver->Close();
  mWorker.join();
  mWorkerPrompt.reset();
  mHandOver.reset();
}

void ServerCheck::OnWorkerDone(unsigned generation, DatabaseRequestResult result) {
  if (generation != mGeneration || !Running()) return;
  // The worker posted this as its last act: it no longer waits for the window.
  mWorker.join();
  mWorkerPrompt.reset();
  mHandOver.reset();
  emit Finished(result);
}
