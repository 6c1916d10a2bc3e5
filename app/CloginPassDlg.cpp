// Layout of the login dialog.
#include "app/CloginPassDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/DialogButtons.h"
#include "app/QtText.h"

CloginPassDlg::CloginPassDlg(const std::string& productName, const LoginRequest& initial, QWidget* parent)
    : QDialog(parent),
      mLogin(new QLineEdit(ToQString(initial.login), this)),
      mPassword(new QLineEdit(ToQString(initial.password), this)),
      mRemember(new QCheckBox(TableText(IDS_REMEMBER_PASSWORD), this)) {
  setObjectName(QStringLiteral("CloginPassDlg"));
  setWindowTitle(TableText(IDS_LOGIN_TITLE, productName));
  mLogin->setObjectName(QStringLiteral("loginEdit"));
  mLogin->setMaxLength(kMaxLoginLength);
  mPassword->setObjectName(QStringLiteral("passwordEdit"));
  mPassword->setEchoMode(QLineEdit::Password);
  mRemember->setObjectName(QStringLiteral("rememberCheck"));
  mRemember->setChecked(initial.rememberPassword);

  auto* fields = new QFormLayout;
  fields->addRow(TableText(IDS_LOGIN_LABEL), mLogin);
  fields->addRow(TableText(IDS_PASSWORD_LABEL), mPassword);
  fields->addRow(QString(), mRemember);
  // The login is known; the password is what is asked for.
  if (!initial.login.empty()) mPassword->setFocus();

  QDialogButtonBox* buttons = NewOkCancelButtons(*this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(TableText(IDS_ENTER_LOGIN), this));
  layout->addLayout(fields);
  layout->addWidget(buttons);
}

LoginRequest CloginPassDlg::Entered() const {
  return {mLogin->text().toStdString(), mPassword->text().toStdString(), mRemember->isChecked()};
}
