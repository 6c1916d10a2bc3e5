// What follows the wizard and the options dialog: saving, reloading, the autostart entry and
// the schedule.
#include "app/QtConfigurationDialogs.h"

#include <QMessageBox>
#include <utility>

#include "app/CConfDlg.h"
#include "app/QtText.h"
#include "app/ConnectionDlg.h"
#include "config/CConf.h"
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
  if (mApplySchedule) mApplySchedule(conf);
  return true;
}

bool QtConfigurationDialogs::RunConnection(CConf& conf, QWidget* parent) {
  ConnectionDlg dialog(conf, conf.ProductName(), parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  conf.Save();
  return true;
}

std::unique_ptr<ConfigurationDialogs> MakeProgramDialogs(UpdateStarter& updates) {
  WizardServices services;
  services.applications = ApplicationAvailability::Detect();
  services.updates = &updates;
  return std::make_unique<QtConfigurationDialogs>(
      std::move(services), [](const CConf& conf) { SyncScheduler::ForRunningProgram().Apply(conf); });
}
