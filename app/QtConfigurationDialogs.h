// The configuration dialogs of the Qt user interface: the wizard and the options.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/CConfigWizard.h"
#include "app/ConfigurationDialogs.h"

// Runs CConfigWizard, CConfDlg and ConnectionDlg modally. The schedule is applied through
// `applySchedule` (called on the user-interface thread after the options were saved); a text it
// returns says why the schedule could not be applied and is shown to the user. `autostartName`
// names the automatic start entry the options' OK removes. The services' objects must outlive
// this one.
class QtConfigurationDialogs final : public ConfigurationDialogs {
 public:
  // Empty when the schedule is in place (or nothing had to change), else the text for the user.
  using ScheduleApplier = std::function<std::string(const CConf& conf)>;
  static constexpr const char* kAutostartName = "larkspan";

  QtConfigurationDialogs(WizardServices services, ScheduleApplier applySchedule, std::string autostartName = kAutostartName);

  // Finish (and an update started) saves; Cancel loads the configuration again from its file.
  WizardOutcome RunWizard(CConf& conf, QWidget* parent) override;
  bool RunOptions(CConf& conf, QWidget* parent) override;
  bool RunConnection(CConf& conf, QWidget* parent) override;

 private:
  WizardServices mServices;
  ScheduleApplier mApplySchedule;
  std::string mAutostartName;
};

// Applies the configuration's schedule to the current user's crontab for the running program; the
// text for the user when that failed (logged as well), else empty.
std::string ApplyProgramSchedule(const CConf& conf);

// The program's own dialogs: the local applications of this machine, HTTP, `updates` for the
// update the server asks for, and the schedule in the user's crontab. `updates` must outlive them.
std::unique_ptr<ConfigurationDialogs> MakeProgramDialogs(UpdateStarter& updates);
