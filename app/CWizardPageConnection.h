// The wizard's first page: server address and credentials, checked against the server.
#pragma once

#include <QWizardPage>

#include "syncml/DatabaseRequest.h"

class CConf;
class CConfigWizard;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class ServerCheck;

// Text 235, fields "urlEdit", "loginEdit" (179), "passwordEdit" (180), "rememberCheck" (181),
// started with the configured values. Next checks the fields (106, 103, 103, each with the focus
// on its field), stores them and runs the server check, which fetches the server's databases
// into the links; the page moves on only when the check succeeds. While it runs the fields and
// Next are disabled and "busyIndicator" shows; the wizard's Cancel stops it at once.
class CWizardPageConnection final : public QWizardPage {
  Q_OBJECT

 public:
  CWizardPageConnection(CConf& conf, CConfigWizard& wizard);
  ~CWizardPageConnection() override;

  bool validatePage() override;
  bool isComplete() const override;
  void CancelCheck();
  bool Checking() const;

 private:
  bool FieldsAreSet();
  void StoreFields();
  void SetChecking(bool checking);
  void OnCheckFinished(DatabaseRequestResult result);
  void StartUpdate();

  CConf& mConf;
  CConfigWizard& mWizard;
  QLineEdit* mUrl;
  QLineEdit* mLogin;
  QLineEdit* mPassword;
  QCheckBox* mRemember;
  QProgressBar* mBusy;
  ServerCheck* mCheck;
  bool mCheckPassed = false;
};
