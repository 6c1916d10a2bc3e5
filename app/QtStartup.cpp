// The language dialog, the wizard and the platform check for start-up.
#include "app/QtStartup.h"

#include <QGuiApplication>
#include <utility>

#include "app/CLangDlg.h"
#include "app/ProgramServices.h"
#include "app/QtConfigurationDialogs.h"

QtStartup::QtStartup(std::string productName, ConfigurationDialogs* dialogs)
    : mPrompt(std::move(productName)),
      mOwnUpdates(dialogs == nullptr ? std::make_unique<ProgramUpdateStarter>() : nullptr),
      mOwnDialogs(dialogs == nullptr ? MakeProgramDialogs(*mOwnUpdates) : nullptr),
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
