// The connection settings on their own: server address, login, password, for fixing one of them
// without running the whole wizard again.
#pragma once

#include <QDialog>
#include <string>

#include "app/QtPrompt.h"

class CConf;
class ConnectionFields;

// Titled "Connection" (1108); the connection fields, "okButton" and "cancelButton". OK checks that
// every field is filled in (as the wizard does) and stores them in `conf`; nothing is stored on
// Cancel. `conf` must outlive the dialog.
class ConnectionDlg final : public QDialog {
  Q_OBJECT

 public:
  ConnectionDlg(CConf& conf, const std::string& productName, QWidget* parent = nullptr);

  void accept() override;

 private:
  CConf& mConf;
  QtPrompt mPrompt;
  ConnectionFields* mFields;
};
