// What the main window's runs use beyond the engine: transports that stop at once on a confirmed
// cancel, and a prompt that turns the errors a user can fix into advice and an offer of the
// connection settings.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "common/Prompt.h"
#include "engine/SyncRunServices.h"

// HTTP transports configured from the settings whose exchange stops as soon as the configuration's
// sync-running flag says a cancel was confirmed (the run then fails its link with "Canceled by
// user" instead of waiting for a server that does not answer). A request type that worked after
// the server refused the other is kept in the configuration. Called on the run's worker.
class CancellableHttpTransports final : public SyncTransportFactory {
 public:
  std::unique_ptr<SyncTransport> CreateTransport(CConf& conf) override;
};

// The advice for an error message the user can fix in the connection settings (a refused
// login, an unreachable server or refused secure connection, a time-out, a wrong address), in
// the current language; nullopt for any other text.
std::optional<std::string> FixableErrorAdvice(const std::string& message);

// Plain words for a server's internal error (HTTP 5xx) and for an answer that could not be used;
// any other message as it is.
std::string ServerErrorText(const std::string& message);

// An error message as the user reads it: the advice for one the connection settings fix, else
// ServerErrorText.
std::string PlainErrorText(const std::string& message);

// Forwards every question to `inner`; the prompts below reword its messages. Any thread (as
// `inner` allows); `inner` must outlive it.
class ForwardingPrompt : public Prompt {
 public:
  explicit ForwardingPrompt(Prompt& inner) : mInner(inner) {}

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override {
    return mInner.Message(text, buttons, kind);
  }
  bool AskLogin(LoginRequest& request) override { return mInner.AskLogin(request); }
  ConflictAnswer AskConflict(const ConflictQuestion& question) override { return mInner.AskConflict(question); }
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override {
    return mInner.AskEmailTypes(question);
  }
  SlowSyncAnswer AskSlowSync(const SlowSyncQuestion& question) override { return mInner.AskSlowSync(question); }
  DeletionAnswer AskMassDeletion(const MassDeletionQuestion& question) override { return mInner.AskMassDeletion(question); }

 protected:
  Prompt& Inner() { return mInner; }

 private:
  Prompt& mInner;
};

// An OK message in the words of ServerErrorText (for the wizard, where the connection settings
// are on screen already).
class PlainWordsPrompt final : public ForwardingPrompt {
 public:
  using ForwardingPrompt::ForwardingPrompt;

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;
};

// An OK message that FixableErrorAdvice knows is shown as its advice with the question whether to
// open the connection settings (Yes/No) instead, and a Yes is remembered until
// TakeConnectionRequest; any other OK message is shown in its plain words.
class FixableErrorPrompt final : public ForwardingPrompt {
 public:
  using ForwardingPrompt::ForwardingPrompt;

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;

  // Whether the user asked for the connection settings since the last call; clears the request.
  bool TakeConnectionRequest() { return mConnectionRequested.exchange(false); }

 private:
  std::atomic<bool> mConnectionRequested{false};
};
