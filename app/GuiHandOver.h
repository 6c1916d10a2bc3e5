// The sync worker's calls into the window: run on the window's thread while the worker waits, and
// the prompt and observer that go through it.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "common/Prompt.h"
#include "engine/SyncObserver.h"

class QObject;

// Runs a call made on another thread (the sync worker) on the thread of `context` (the window's)
// and blocks the caller until it returned; a call made on that thread itself runs directly.
//
// The rule that keeps this from deadlocking: the window's thread never waits for the worker
// (joins it, destroys the run) while the worker can be blocked in a call here, for a waiting
// worker needs the window's event loop to go on. Where the window must wait anyway (it closes
// while a run goes on), it first calls Close(): every waiting call and every later one then
// returns its fallback at once, so the worker runs to its end and can be joined.
//
// Ownership: `context` is not owned; it lives on the window's thread and is best the window
// itself, whose destruction drops the calls not run yet. The destructor closes the hand-over; a
// call queued before it still finds its state (shared with the queued call). Run,
// AbandonPending and Close may be called from any thread.
class GuiHandOver {
 public:
  explicit GuiHandOver(QObject& context);
  ~GuiHandOver();
  GuiHandOver(const GuiHandOver&) = delete;
  GuiHandOver& operator=(const GuiHandOver&) = delete;

  // The result of `call` run on the window's thread, or `fallback` when the hand-over was closed
  // or the wait was abandoned. `call` and what it captures are copied and may outlive the caller
  // (an abandoned call still runs to its end on the window's thread, its result dropped), so it
  // captures values, never references to the caller's stack.
  template <class Result>
  Result Run(std::function<Result()> call, Result fallback) {
    auto result = std::make_shared<std::optional<Result>>();
    const bool answered = Dispatch([call = std::move(call), result] { *result = call(); });
    return answered && result->has_value() ? std::move(**result) : std::move(fallback);
  }

  // Releases the calls waiting now with their fallbacks (a question on screen stays there until
  // answered, but its answer is dropped); later calls are handed over as before. For a cancel
  // confirmed while the worker waits for an answer.
  void AbandonPending();
  // From now on no call is handed over: waiting and later calls return their fallbacks at once.
  void Close();
  bool IsClosed() const;

 private:
  struct Ticket {
    bool done = false;
    bool released = false;
  };
  // What the waiting callers and the queued calls share; kept by both.
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::set<std::shared_ptr<Ticket>> waiting;
    bool closed = false;
  };

  // True when `task` ran to its end on the window's thread before the caller was released.
  bool Dispatch(std::function<void()> task);
  void Release(bool close);

  QObject& mContext;
  std::shared_ptr<State> mState = std::make_shared<State>();
};

// The window's prompt as the worker may call it: each question is shown on the window's thread.
// Fallbacks (closed or abandoned): the safe default answer, a declined login, both values kept,
// and for the e-mail question a cancel (the run is being cancelled or the window closes anyway).
// `window` and `handOver` are not owned and must outlive the object.
class GuiThreadPrompt final : public Prompt {
 public:
  GuiThreadPrompt(Prompt& window, GuiHandOver& handOver) : mWindow(window), mHandOver(handOver) {}

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;
  bool AskLogin(LoginRequest& request) override;
  ConflictAnswer AskConflict(const ConflictQuestion& question) override;
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override;
  SlowSyncAnswer AskSlowSync(const SlowSyncQuestion& question) override;
  DeletionAnswer AskMassDeletion(const MassDeletionQuestion& question) override;

 private:
  Prompt& mWindow;
  GuiHandOver& mHandOver;
};

// The window's observer as the worker calls it: each notification is handled on the window's
// thread while the worker waits (the window reads the links meanwhile, as the worker does not
// write them then). After Close the worker goes on without notifying. `window` and `handOver`
// are not owned and must outlive the object.
class GuiThreadObserver final : public SyncObserver {
 public:
  GuiThreadObserver(SyncObserver& window, GuiHandOver& handOver) : mWindow(window), mHandOver(handOver) {}

  void SyncBegin() override;
  void SyncLinkUpdate(int linkIndex, const CSyncLink& link) override;
  void SyncEnd() override;

 private:
  SyncObserver& mWindow;
  GuiHandOver& mHandOver;
};
