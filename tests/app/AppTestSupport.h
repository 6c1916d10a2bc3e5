// Helpers of the app tests: the offscreen QApplication, a scripted start-up interaction, a
// temporary home for the configuration, and waiting for a condition.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/StartupInteraction.h"
#include "tests/support/TempDir.h"

// Messages, language choices and wizard runs recorded or answered by script.
class ScriptedStartup final : public StartupInteraction {
 public:
  struct Shown {
    std::string text;
    PromptKind kind;
  };

  Prompt& Prompts() override { return mPrompt; }
  LanguageChoiceResult ChooseLanguage(CConf& conf, const std::string& programFolder) override;
  std::optional<WizardOutcome> RunWizard(CConf& conf) override;

  // The wizard's run (none: it cannot be shown).
  std::function<std::optional<WizardOutcome>(CConf&)> wizard;
  int wizardRuns = 0;
  // The language dialog's answer: the code to pick on OK (none: Cancel).
  std::string languageToPick;
  LanguageChoiceResult languageResult = LanguageChoiceResult::Accepted;
  int languageDialogs = 0;
  std::vector<Shown> messages;

 private:
  class Recorder final : public Prompt {
   public:
    explicit Recorder(ScriptedStartup& owner) : mOwner(owner) {}
    PromptAnswer Message(std::string_view text, PromptButtons buttons, PromptKind kind) override;
    bool AskLogin(LoginRequest&) override { return false; }

   private:
    ScriptedStartup& mOwner;
  };
  Recorder mPrompt{*this};
};

// A fresh XDG_DATA_HOME (and HOME) for one test, and the per-user folder in it.
class TestHome {
 public:
  TestHome();
  const std::string& Root() const { return mDir.Path(); }
  // $XDG_DATA_HOME/Tarnwell/QuenorSync/
  std::string ConfigFolder() const;
  // A program folder of the test's own: lang/, the stand-in installer, an old configuration.
  std::string ProgramFolder() const;

 private:
  TempDir mDir;
  ScopedEnv mXdg;
  ScopedEnv mHome;
};

// Writes a complete configuration ("en", a login with its remembered password, a server, Windows
// Contacts) into the folder
// of `home`, with the given language and app_state.
void WriteCompleteConfiguration(const TestHome& home, const std::string& language = "en", int appState = 0);

// Polls `condition` until it holds or `timeout` passes; processes Qt events meanwhile.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The QApplication of the test program (created on first use, offscreen).
void EnsureQtApplication();

// Octal permission bits of a path, or -1.
int ModeOf(const std::string& path);

class QTimer;
class QWidget;

// Runs `action` on the first modal dialog that opens while the object lives (checked on every
// turn of the event loop, no fixed wait). Create it before the call that shows the dialog.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<void(QWidget*)> action);
  ~ModalDriver();
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;

  bool Ran() const { return mRan; }

 private:
  std::function<void(QWidget*)> mAction;
  std::unique_ptr<QTimer> mTimer;
  bool mRan = false;
};
