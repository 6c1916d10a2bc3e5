// The login dialog: login, password and whether to remember the password.
#pragma once

#include <QDialog>
#include <string>

#include "common/Prompt.h"

class QCheckBox;
class QLineEdit;

// Title string 215 with the product name, text 214, fields "Login:" (at most 128 characters),
// "Password:" (180, focused when the login is known) and "Remember password" (181), buttons OK
// and Cancel (218).
// Object names: "loginEdit", "passwordEdit", "rememberCheck", "okButton", "cancelButton".
class CloginPassDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxLoginLength = 128;

  CloginPassDlg(const std::string& productName, const LoginRequest& initial, QWidget* parent = nullptr);

  // The values in the fields now.
  LoginRequest Entered() const;

 private:
  QLineEdit* mLogin;
  QLineEdit* mPassword;
  QCheckBox* mRemember;
};
