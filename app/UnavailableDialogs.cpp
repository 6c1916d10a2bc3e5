// Configuration dialogs that are not there yet.
#include "app/UnavailableDialogs.h"

#include "common/Format.h"
#include "common/Prompt.h"
#include "common/StringTable.h"
#include "config/CConf.h"

WizardOutcome UnavailableDialogs::RunWizard(CConf& conf, QWidget*) {
  Tell(conf);
  return WizardOutcome::Cancelled;
}

bool UnavailableDialogs::RunOptions(CConf& conf, QWidget*) {
  Tell(conf);
  return false;
}

void UnavailableDialogs::Tell(const CConf& conf) {
  mPrompt.Message(FormatText(LoadString(IDS_DIALOGS_NOT_AVAILABLE), {conf.ProductName()}), PromptButtons::Ok,
                  PromptKind::Information);
}
