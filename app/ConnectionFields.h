// The server address and the credentials as the wizard's first page and the connection dialog
// edit them.
#pragma once

#include <QWidget>

class CConf;
class Prompt;
class QCheckBox;
class QLabel;
class QLineEdit;

// "urlEdit" with the example address "urlExample" under it, "loginEdit" ("Login:"),
// "passwordEdit" (180) and "rememberCheck" (181), started with the configured values.
class ConnectionFields final : public QWidget {
  Q_OBJECT

 public:
  explicit ConnectionFields(const CConf& conf, QWidget* parent = nullptr);

  // Whether every field is filled in; otherwise says which is missing (106, or 103 for the login
  // and the password) through `prompt`, puts the focus on that field and returns false.
  bool CheckFilledIn(Prompt& prompt) const;
  // Stores the four values in `conf` (not saved).
  void Store(CConf& conf) const;
  void SetEditable(bool editable);

 private:
  QLineEdit* mUrl;
  QLabel* mExample;
  QLineEdit* mLogin;
  QLineEdit* mPassword;
  QCheckBox* mRemember;
};
