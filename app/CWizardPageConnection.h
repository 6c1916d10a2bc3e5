// The wizard's first page: server address and credentials, checked against the server.
#pragma once

#include <QWizardPage>

#include "syncml/DatabaseRequest.h"

class CConf;
class CConfigWizard;
class ConnectionFields;
class QProgressBar;
class ServerCheck;

// Text 235 and the connection fields (ConnectionFields: "urlEdit" with the example address under
// it, "loginEdit", "passwordEdit", "rememberCheck", started with the configured values). Next
// checks the fields (106, 103, 103, each with the focus on its field), stores them and runs the
// server check off the window's thread, which fetches the server's databases into the links (and
// starts an update the server asks for and the user accepts); the page moves on only when the
// check succeeds. While it runs the fields and Next are disabled and "busyIndicator" shows; the
// wizard's Cancel stops it at once.
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
  void SetChecking(bool checking);
  void OnCheckFinished(DatabaseRequestResult result);

  CConf& mConf;
  CConfigWizard& mWizard;
  ConnectionFields* mFields;
  QProgressBar* mBusy;
  ServerCheck* mCheck;
  bool mCheckPassed = false;
};
