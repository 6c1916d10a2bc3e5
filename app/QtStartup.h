// Start-up's dialogs in the Qt user interface.
#pragma once

#include <string>

#include "app/QtPrompt.h"
#include "app/StartupInteraction.h"

// Message boxes through QtPrompt and the language choice through CLangDlg, both modal. Needs a
// QApplication for its whole life.
class QtStartup final : public StartupInteraction {
 public:
  explicit QtStartup(std::string productName);

  Prompt& Prompts() override { return mPrompt; }
  LanguageChoiceResult ChooseLanguage(CConf& conf, const std::string& programFolder) override;

  // Whether a user can see and answer windows: false on the offscreen and minimal platforms,
  // where a modal dialog would wait for ever.
  static bool CanShowWindows();

 private:
  QtPrompt mPrompt;
};
