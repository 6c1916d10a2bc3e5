// The configuration dialogs of a build without them: each says so through the prompt.
#pragma once

#include "app/ConfigurationDialogs.h"

class Prompt;

// RunWizard and RunOptions tell the user that the dialogs are not part of this version and change
// nothing. `prompt` must outlive the object.
class UnavailableDialogs final : public ConfigurationDialogs {
 public:
  explicit UnavailableDialogs(Prompt& prompt) : mPrompt(prompt) {}

  WizardOutcome RunWizard(CConf& conf, QWidget* parent) override;
  bool RunOptions(CConf& conf, QWidget* parent) override;

 private:
  void Tell(const CConf& conf);

  Prompt& mPrompt;
};
