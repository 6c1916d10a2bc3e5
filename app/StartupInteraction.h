// What start-up needs from the user: message boxes and the language choice.
#pragma once

#include <iosfwd>
#include <string>

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
};

// For runs where nobody can answer (no display): messages go to `out` with the safe default
// answer; the language cannot be chosen, which is said on `out`. `out` must outlive the object.
class HeadlessStartup final : public StartupInteraction {
 public:
  explicit HeadlessStartup(std::ostream& out);

  Prompt& Prompts() override { return mPrompt; }
  LanguageChoiceResult ChooseLanguage(CConf& conf, const std::string& programFolder) override;

 private:
  HeadlessPrompt mPrompt;
};
