// Start-up's dialogs in the Qt user interface.
#pragma once

#include <memory>
#include <string>

#include "app/QtPrompt.h"
#include "app/StartupInteraction.h"

class UpdateStarter;

// Message boxes through QtPrompt, the language choice through CLangDlg and the wizard through
// `dialogs`, all modal. Without `dialogs` it runs the program's own (the local applications of
// this machine, HTTP, the program's update starter); given, `dialogs` must outlive the object.
// Needs a QApplication for its whole life.
class QtStartup final : public StartupInteraction {
 public:
  explicit QtStartup(std::string productName, ConfigurationDialogs* dialogs = nullptr);
  ~QtStartup() override;

  Prompt& Prompts() override { return mPrompt; }
  LanguageChoiceResult ChooseLanguage(CConf& conf, const std::string& programFolder) override;
  std::optional<WizardOutcome> RunWizard(CConf& conf) override;

  // Whether a user can see and answer windows: false on the offscreen and minimal platforms,
  // where a modal dialog would wait for ever.
  static bool CanShowWindows();

 private:
  QtPrompt mPrompt;
  std::unique_ptr<UpdateStarter> mOwnUpdates;
  std::unique_ptr<ConfigurationDialogs> mOwnDialogs;
  ConfigurationDialogs& mDialogs;
};
