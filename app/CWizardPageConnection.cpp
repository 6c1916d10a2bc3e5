// Field checks, the server check and the update question of the connection page.
#include "app/CWizardPageConnection.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/CConfigWizard.h"
#include "app/QtText.h"
#include "app/ServerCheck.h"
#include "common/CXException.h"
#include "config/CConf.h"
#include "engine/SyncRunServices.h"

CWizardPageConnection::CWizardPageConnection(CConf& conf, CConfigWizard& wizard)
    : mConf(conf),
      mWizard(wizard),
      mUrl(new QLineEdit(ToQString(conf.Url()), this)),
      mLogin(new QLineEdit(ToQString(conf.Login()), this)),
      mPassword(new QLineEdit(ToQString(conf.Password()), this)),
      mRemember(new QCheckBox(TableText(IDS_REMEMBER_PASSWORD), this)),
      mBusy(new QProgressBar(this)),
      mCheck(new ServerCheck(conf, wizard.Prompts(), wizard.Services().transports, this)) {
  setObjectName(QStringLiteral("connectionPage"));
  mUrl->setObjectName(QStringLiteral("urlEdit"));
  mLogin->setObjectName(QStringLiteral("loginEdit"));
  mPassword->setObjectName(QStringLiteral("passwordEdit"));
  mPassword->setEchoMode(QLineEdit::Password);
  mRemember->setObjectName(QStringLiteral("rememberCheck"));
  mRemember->setChecked(conf.RememberPass());
  mBusy->setObjectName(QStringLiteral("busyIndicator"));
  mBusy->setRange(0, 0);
  mBusy->setTextVisible(false);
  mBusy->setVisible(false);

  auto* fields = new QFormLayout;
  fields->addRow(mUrl);
  fields->addRow(TableText(IDS_EMAIL_LABEL), mLogin);
  fields->addRow(TableText(IDS_PASSWORD_LABEL), mPassword);
  fields->addRow(QString(), mRemember);
  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel(TableText(IDS_ENTER_SERVER_ADDRESS), this);
  heading->setWordWrap(true);
  layout->addWidget(heading);
  layout->addLayout(fields);
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
  if (mCheck->Running() || !FieldsAreSet()) return false;
  StoreFields();
  mCheck->Start();
  SetChecking(true);
  return false;
}

bool CWizardPageConnection::FieldsAreSet() {
  struct Required {
    QLineEdit* field;
    unsigned messageId;
  };
  for (const Required& required : {Required{mUrl, IDS_URL_NOT_SET}, Required{mLogin, IDS_LOGIN_NOT_SET},
                                   Required{mPassword, IDS_LOGIN_NOT_SET}}) {
    if (!required.field->text().isEmpty()) continue;
    mWizard.Prompts().Message(LoadString(required.messageId), PromptButtons::Ok, PromptKind::Warning);
    required.field->setFocus();
    return false;
  }
  return true;
}

void CWizardPageConnection::StoreFields() {
  mConf.SetUrl(mUrl->text().toStdString());
  mConf.SetLogin(mLogin->text().toStdString());
  mConf.SetPassword(mPassword->text().toStdString());
  mConf.SetRememberPass(mRemember->isChecked());
}

void CWizardPageConnection::SetChecking(bool checking) {
  for (QWidget* field : {static_cast<QWidget*>(mUrl), static_cast<QWidget*>(mLogin), static_cast<QWidget*>(mPassword),
                         static_cast<QWidget*>(mRemember)}) {
    field->setEnabled(!checking);
  }
  mBusy->setVisible(checking);
  emit completeChanged();
}

void CWizardPageConnection::CancelCheck() {
  if (!mCheck->Running()) return;
  mCheck->Cancel();
  SetChecking(false);
}

// The request has shown its own message for a failure or a declined update; the page stays.
void CWizardPageConnection::OnCheckFinished(DatabaseRequestResult result) {
  SetChecking(false);
  switch (result) {
    case DatabaseRequestResult::Succeeded:
      mCheckPassed = true;
      mWizard.next();
      return;
    case DatabaseRequestResult::UpdateAccepted:
      StartUpdate();
      return;
    case DatabaseRequestResult::UpdateDeclined:
    case DatabaseRequestResult::Failed:
      return;
  }
}

// The update takes over: the wizard ends as finished so the caller saves app_state 1 and the
// program closes. An update that cannot start leaves the program as it was.
void CWizardPageConnection::StartUpdate() {
  try {
    if (mWizard.Services().updates == nullptr) throw CUpdaterException(FormatText(LoadString(IDS_UPDATE_NOT_AVAILABLE), {mConf.ProductName()}));
    mWizard.Services().updates->StartUpdate(mConf);
  } catch (const CXException& error) {
    mConf.SetAppState(0);
    mWizard.Prompts().Message(error.Message(), PromptButtons::Ok, PromptKind::Error);
    return;
  }
  mWizard.EndForUpdate();
}
