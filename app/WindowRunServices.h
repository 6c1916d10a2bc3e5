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
// user" instead of waiting for a server that does not answer). Any thread.
class CancellableHttpTransports final : public SyncTransportFactory {
 public:
  std::unique_ptr<SyncTransport> CreateTransport(const CConf& conf) override;
};

// The advice for an error message the user can fix in the connection settings (a refused
// login, an unreachable server or refused secure connection, a time-out, a wrong address), in
// the current language; nullopt for any other text.
std::optional<std::string> FixableErrorAdvice(const std::string& message);

// Forwards every question to `inner`; an OK message that FixableErrorAdvice knows is shown as
// its advice with the question whether to open the connection settings (Yes/No) instead, and a
// Yes is remembered until TakeWizardRequest. Any thread (as `inner` allows); `inner` must outlive it.
class FixableErrorPrompt final : public Prompt {
 public:
  explicit FixableErrorPrompt(Prompt& inner) : mInner(inner) {}

  PromptAnswer Message(std::string_view text, PromptButtons buttons = PromptButtons::Ok,
                       PromptKind kind = PromptKind::Information) override;
  bool AskLogin(LoginRequest& request) override { return mInner.AskLogin(request); }
  ConflictAnswer AskConflict(const ConflictQuestion& question) override { return mInner.AskConflict(question); }
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion& question) override {
    return mInner.AskEmailTypes(question);
  }

  // Whether the user asked for the connection settings since the last call; clears the request.
  bool TakeWizardRequest() { return mWizardRequested.exchange(false); }

 private:
  Prompt& mInner;
  std::atomic<bool> mWizardRequested{false};
};
