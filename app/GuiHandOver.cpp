// Blocking calls from the worker to the window's thread, releasable so that neither side can
// wait for the other for ever.
#include "app/GuiHandOver.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <string>
#include <utility>

GuiHandOver::GuiHandOver(QObject& context) : mContext(context) {}

GuiHandOver::~GuiHandOver() { Close(); }

bool GuiHandOver::Dispatch(std::function<void()> task) {
  if (QThread::currentThread() == mContext.thread()) {
    if (IsClosed()) return false;
    task();
    return true;
  }
  // The caller keeps the state alive itself: the hand-over may be destroyed (closed) while it waits.
  const std::shared_ptr<State> state = mState;
  auto ticket = std::make_shared<Ticket>();
  std::unique_lock lock(state->mutex);
  if (state->closed) return false;
  state->waiting.insert(ticket);
  // Queued: the window's event loop runs it, also a dialog's nested loop.
  QMetaObject::invokeMethod(
      &mContext,
      [state, ticket, task = std::move(task)] {
        {
          std::lock_guard guard(state->mutex);
          if (ticket->released) return;  // nobody waits for it any more
        }
        task();
        std::lock_guard guard(state->mutex);
        if (!ticket->released) ticket->done = true;
        state->changed.notify_all();
      },
      Qt::QueuedConnection);
  state->changed.wait(lock, [&] { return ticket->done || ticket->released; });
  state->waiting.erase(ticket);
  return ticket->done;
}

void GuiHandOver::Release(bool close) {
  std::lock_guard guard(mState->mutex);
  if (close) mState->closed = true;
  for (const std::shared_ptr<Ticket>& ticket : mState->waiting) {
    if (!ticket->done) ticket->released = true;
  }
  mState->changed.notify_all();
}

void GuiHandOver::AbandonPending() { Release(false); }

void GuiHandOver::Close() { Release(true); }

bool GuiHandOver::IsClosed() const {
  std::lock_guard guard(mState->mutex);
  return mState->closed;
}

// ---- Prompt

PromptAnswer GuiThreadPrompt::Message(std::string_view text, PromptButtons buttons, PromptKind kind) {
  return mHandOver.Run<PromptAnswer>(
      [&window = mWindow, text = std::string(text), buttons, kind] { return window.Message(text, buttons, kind); },
      SafeDefaultAnswer(buttons));
}

bool GuiThreadPrompt::AskLogin(LoginRequest& request) {
  const std::optional<LoginRequest> entered = mHandOver.Run<std::optional<LoginRequest>>(
      [&window = mWindow, request]() mutable -> std::optional<LoginRequest> {
        if (!window.AskLogin(request)) return std::nullopt;
        return request;
      },
      std::nullopt);
  if (!entered) return false;
  request = *entered;
  return true;
}

ConflictAnswer GuiThreadPrompt::AskConflict(const ConflictQuestion& question) {
  return mHandOver.Run<ConflictAnswer>([&window = mWindow, question] { return window.AskConflict(question); },
                                       ConflictAnswer::Both);
}

std::optional<EmailTypesAnswer> GuiThreadPrompt::AskEmailTypes(const EmailTypesQuestion& question) {
  return mHandOver.Run<std::optional<EmailTypesAnswer>>(
      [&window = mWindow, question] { return window.AskEmailTypes(question); }, std::nullopt);
}

SlowSyncAnswer GuiThreadPrompt::AskSlowSync(const SlowSyncQuestion& question) {
  return mHandOver.Run<SlowSyncAnswer>([&window = mWindow, question] { return window.AskSlowSync(question); },
                                       SlowSyncAnswer::Skip);
}

DeletionAnswer GuiThreadPrompt::AskMassDeletion(const MassDeletionQuestion& question) {
  return mHandOver.Run<DeletionAnswer>([&window = mWindow, question] { return window.AskMassDeletion(question); },
                                       DeletionAnswer::Hold);
}

// ---- Observer

void GuiThreadObserver::SyncBegin() {
  mHandOver.Run<bool>([&window = mWindow] { window.SyncBegin(); return true; }, false);
}

void GuiThreadObserver::SyncLinkUpdate(int linkIndex, const CSyncLink& link) {
  mHandOver.Run<bool>([&window = mWindow, linkIndex, link] { window.SyncLinkUpdate(linkIndex, link); return true; }, false);
}

void GuiThreadObserver::SyncEnd() {
  mHandOver.Run<bool>([&window = mWindow] { window.SyncEnd(); return true; }, false);
}
