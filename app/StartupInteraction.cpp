// The start-up interaction of runs without a display.
#include "app/StartupInteraction.h"

#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"

HeadlessStartup::HeadlessStartup(std::ostream& out) : mPrompt(out) {}

LanguageChoiceResult HeadlessStartup::ChooseLanguage(CConf& conf, const std::string&) {
  mPrompt.Message(FormatText(LoadString(IDS_LANGUAGE_NEEDS_DISPLAY), {conf.ProductName()}), PromptButtons::Ok,
                  PromptKind::Warning);
  return LanguageChoiceResult::Unavailable;
}

std::optional<WizardOutcome> HeadlessStartup::RunWizard(CConf& conf) {
  mPrompt.Message(FormatText(LoadString(IDS_WIZARD_NEEDS_DISPLAY), {conf.ProductName()}), PromptButtons::Ok,
                  PromptKind::Warning);
  return std::nullopt;
}
