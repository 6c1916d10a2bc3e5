// What follows the wizard and the options dialog: saving, reloading, the autostart entry and
// the schedule.
#include "app/QtConfigurationDialogs.h"

#include <QMessageBox>
#include <ctime>
#include <utility>

#include "app/CConfDlg.h"
#include "app/ConnectionDlg.h"
#include "app/QtPrompt.h"
#include "app/QtText.h"
#include "config/CConf.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CLog.h"
#include "platform/scheduler/SyncScheduler.h"
#include "platform/shell/UserFolders.h"

QtConfigurationDialogs::QtConfigurationDialogs(WizardServices services, ScheduleApplier applySchedule, std::string autostartName)
    : mServices(std::move(services)), mApplySchedule(std::move(applySchedule)), mAutostartName(std::move(autostartName)) {}

WizardOutcome QtConfigurationDialogs::RunWizard(CConf& conf, QWidget* parent) {
  CConfigWizard wizard(conf, mServices, parent);
  const int result = wizard.exec();
  if (result == QDialog::Accepted || result == CConfigWizard::kUpdateStarted) {
    conf.Save();
    return result == QDialog::Accepted ? WizardOutcome::Finished : WizardOutcome::UpdateStarted;
  }
  conf.Load(true);
  return WizardOutcome::Cancelled;
}

bool QtConfigurationDialogs::RunOptions(CConf& conf, QWidget* parent) {
  CConfDlg dialog(conf, conf.ProductName(), parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  dialog.StoreValues();
  const bool keyringChosen = conf.PasswordInKeyring();
  conf.Save();
  // The keyring did not take the password: it stays in the file, and the user is told.
  if (keyringChosen && !conf.PasswordInKeyring()) {
    QMessageBox::warning(parent, ToQString(conf.ProductName()),
                         TableText(IDS_KEYRING_STORE_FAILED, conf.KeyringFailure()));
  }
  if (!RemoveAutostartEntry(mAutostartName)) LogError("CConfDlg::OnOK", "the automatic start entry could not be removed");
  if (mApplySchedule) {
    if (const std::string failure = mApplySchedule(conf); !failure.empty()) {
      QtPrompt(conf.ProductName(), parent).Message(failure, PromptButtons::Ok, PromptKind::Warning);
    }
  }
  return true;
}

bool QtConfigurationDialogs::RunConnection(CConf& conf, QWidget* parent) {
  ConnectionDlg dialog(conf, conf.ProductName(), parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  conf.Save();
  return true;
}

std::string ApplyProgramSchedule(const CConf& conf) {
  std::string reason;
  switch (SyncScheduler::ForRunningProgram().Apply(conf, std::time(nullptr), &reason)) {
    case ScheduleResult::Applied:
    case ScheduleResult::Removed:
    case ScheduleResult::Unchanged:
      return {};
    case ScheduleResult::NoCrontabProgram:
      LogError("CConfDlg::OnOK", "the schedule was not applied: there is no crontab program");
      return LoadString(IDS_SCHEDULE_NO_CRONTAB);
    case ScheduleResult::NotApplied:
      LogError("CConfDlg::OnOK", "the schedule was not applied: " + reason);
      return FormatText(LoadString(IDS_SCHEDULE_NOT_SAVED), {reason});
  }
  return {};
}

std::unique_ptr<ConfigurationDialogs> MakeProgramDialogs(UpdateStarter& updates) {
  WizardServices services;
  services.applications = ApplicationAvailability::Detect();
  services.updates = &updates;
  return std::make_unique<QtConfigurationDialogs>(std::move(services), ApplyProgramSchedule);
}
