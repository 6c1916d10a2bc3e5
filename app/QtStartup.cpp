// The language dialog and the platform check for start-up.
#include "app/QtStartup.h"

#include <QGuiApplication>
#include <utility>

#include "app/CLangDlg.h"

QtStartup::QtStartup(std::string productName) : mPrompt(std::move(productName)) {}

LanguageChoiceResult QtStartup::ChooseLanguage(CConf& conf, const std::string& programFolder) {
  CLangDlg dialog(conf, programFolder);
  return dialog.exec() == QDialog::Accepted ? LanguageChoiceResult::Accepted : LanguageChoiceResult::Cancelled;
}

bool QtStartup::CanShowWindows() {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}
