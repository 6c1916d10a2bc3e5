// The language dialog, the wizard and the platform check for start-up.
#include "app/QtStartup.h"

#include <QGuiApplication>
#include <utility>

#include "app/CLangDlg.h"
#include "app/ProgramServices.h"
#include "app/QtConfigurationDialogs.h"

namespace {

std::unique_ptr<ConfigurationDialogs> ProgramDialogs(UpdateStarter& updates) {
  WizardServices services;
  services.applications = ApplicationAvailability::Detect();
  services.updates = &updates;
  // The schedule is the options dialog's, which start-up never shows.
  return std::make_unique<QtConfigurationDialogs>(std::move(services), QtConfigurationDialogs::ScheduleApplier{});
}

}  // namespace

QtStartup::QtStartup(std::string productName, ConfigurationDialogs* dialogs)
    : mPrompt(std::move(productName)),
      mOwnUpdates(dialogs == nullptr ? std::make_unique<ProgramUpdateStarter>() : nullptr),
      mOwnDialogs(dialogs == nullptr ? ProgramDialogs(*mOwnUpdates) : nullptr),
      mDialogs(dialogs != nullptr ? *dialogs : *mOwnDialogs) {}

QtStartup::~QtStartup() = default;

std::optional<WizardOutcome> QtStartup::RunWizard(CConf& conf) { return mDialogs.RunWizard(conf, nullptr); }

LanguageChoiceResult QtStartup::ChooseLanguage(CConf& conf, const std::string& programFolder) {
  CLangDlg dialog(conf, programFolder);
  return dialog.exec() == QDialog::Accepted ? LanguageChoiceResult::Accepted : LanguageChoiceResult::Cancelled;
}

bool QtStartup::CanShowWindows() {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}
