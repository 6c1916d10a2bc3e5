// What start-up needs from the user: message boxes, the language choice and the configuration
// wizard.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "app/ConfigurationDialogs.h"
#include "common/Prompt.h"

class CConf;

// How the language dialog ended: OK, Cancel, or not shown because nobody can answer it.
enum class LanguageChoiceResult { Accepted, Cancelled, Unavailable };

// Implemented by the Qt user interface (dialogs) and for runs without a display (HeadlessStartup).
// Start-up never uses it while the program runs silently.
class StartupInteraction {
 public:
  virtual ~StartupInteraction() = default;

  // The message boxes.
  virtual Prompt& Prompts() = 0;

  // Lets the user pick the interface language among those of `programFolder` (the language
  // dialog); on OK a different choice is stored in `conf` (not saved).
  virtual LanguageChoiceResult ChooseLanguage(CConf& conf, const std::string& programFolder) = 0;

  // Runs the configuration wizard over `conf` (Finish and an update started save it, Cancel
  // reloads it); std::nullopt when it cannot be shown, which is said to the user.
  virtual std::optional<WizardOutcome> RunWizard(CConf& conf) = 0;
};

// For runs where nobody can answer (no display): messages go to `out` with the safe default
// answer; neither the language nor the configuration can be chosen, which is said on `out`. `out` must outlive the object.
class HeadlessStartup final : public StartupInteraction {
 public:
  explicit HeadlessStartup(std::ostream& out);

  Prompt& Prompts() override { return mPrompt; }
  LanguageChoiceResult ChooseLanguage(CConf& conf, const std::string& programFolder) override;
  std::optional<WizardOutcome> RunWizard(CConf& conf) override;

 private:
  HeadlessPrompt mPrompt;
};
