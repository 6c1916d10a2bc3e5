// Field checks and the server check of the connection page.
#include "app/CWizardPageConnection.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/CConfigWizard.h"
#include "app/ConnectionFields.h"
#include "app/QtText.h"
#include "app/ServerCheck.h"
#include "config/CConf.h"

CWizardPageConnection::CWizardPageConnection(CConf& conf, CConfigWizard& wizard)
    : mConf(conf),
      mWizard(wizard),
      mFields(new ConnectionFields(conf, this)),
      mBusy(new QProgressBar(this)),
      mCheck(new ServerCheck(conf, wizard.Prompts(), wizard.Services().transports, wizard.Services().updates, this)) {
  setObjectName(QStringLiteral("connectionPage"));
  mBusy->setObjectName(QStringLiteral("busyIndicator"));
  mBusy->setRange(0, 0);
  mBusy->setTextVisible(false);
  mBusy->setVisible(false);

  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel(TableText(IDS_ENTER_SERVER_ADDRESS), this);
  heading->setWordWrap(true);
  layout->addWidget(heading);
  layout->addWidget(mFields);
  layout->addStretch();
  layout->addWidget(mBusy);
  connect(mCheck, &ServerCheck::Finished, this, &CWizardPageConnection::OnCheckFinished);
}

CWizardPageConnection::~CWizardPageConnection() = default;

bool CWizardPageConnection::isComplete() const { return !mCheck->Running(); }

bool CWizardPageConnection::Checking() const { return mCheck->Running(); }

// Only a finished check lets the wizard move on: the check calls next() again when it succeeded.
bool CWizardPageConnection::validatePage() {
  if (mCheckPassed) {
    mCheckPassed = false;
    return true;
  }
  if (mCheck->Running() || !mFields->CheckFilledIn(mWizard.Prompts())) return false;
  mFields->Store(mConf);
  mCheck->Start();
  SetChecking(true);
  return false;
}

void CWizardPageConnection::SetChecking(bool checking) {
  mFields->SetEditable(!checking);
  mBusy->setVisible(checking);
  emit completeChanged();
}

void CWizardPageConnection::CancelCheck() {
  if (!mCheck->Running()) return;
  mCheck->Cancel();
  SetChecking(false);
}

// The check has shown its own message for a failure, a declined update or one that could not
// start; the page stays. A started update ends the wizard as finished, so the caller saves
// app_state 1 and the program closes.
void CWizardPageConnection::OnCheckFinished(DatabaseRequestResult result) {
  SetChecking(false);
  switch (result) {
    case DatabaseRequestResult::Succeeded:
      mCheckPassed = true;
      mWizard.next();
      return;
    case DatabaseRequestResult::UpdateAccepted:
      mWizard.EndForUpdate();
      return;
    case DatabaseRequestResult::UpdateDeclined:
    case DatabaseRequestResult::Failed:
      return;
  }
}
