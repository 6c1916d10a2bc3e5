// Layout, checks and storing of the connection fields.
#include "app/ConnectionFields.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/QtText.h"
#include "common/Prompt.h"
#include "config/CConf.h"

ConnectionFields::ConnectionFields(const CConf& conf, QWidget* parent)
    : QWidget(parent),
      mUrl(new QLineEdit(ToQString(conf.Url()), this)),
      mExample(new QLabel(TableText(IDS_EXAMPLE_ADDRESS), this)),
      mLogin(new QLineEdit(ToQString(conf.Login()), this)),
      mPassword(new QLineEdit(ToQString(conf.Password()), this)),
      mRemember(new QCheckBox(TableText(IDS_REMEMBER_PASSWORD), this)) {
  setObjectName(QStringLiteral("connectionFields"));
  mUrl->setObjectName(QStringLiteral("urlEdit"));
  mUrl->setPlaceholderText(QStringLiteral("https://sync.example.org/"));
  mExample->setObjectName(QStringLiteral("urlExample"));
  mExample->setForegroundRole(QPalette::PlaceholderText);
  mExample->setWordWrap(true);
  mLogin->setObjectName(QStringLiteral("loginEdit"));
  mPassword->setObjectName(QStringLiteral("passwordEdit"));
  mPassword->setEchoMode(QLineEdit::Password);
  mRemember->setObjectName(QStringLiteral("rememberCheck"));
  mRemember->setChecked(conf.RememberPass());

  auto* layout = new QFormLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setRowWrapPolicy(QFormLayout::WrapLongRows);
  layout->addRow(mUrl);
  layout->addRow(mExample);
  auto* loginLabel = new QLabel(TableText(IDS_LOGIN_LABEL), this);
  loginLabel->setBuddy(mLogin);
  layout->addRow(loginLabel, mLogin);
  auto* passwordLabel = new QLabel(TableText(IDS_PASSWORD_LABEL), this);
  passwordLabel->setBuddy(mPassword);
  layout->addRow(passwordLabel, mPassword);
  layout->addRow(QString(), mRemember);
}

bool ConnectionFields::CheckFilledIn(Prompt& prompt) const {
  struct Required {
    QLineEdit* field;
    unsigned messageId;
  };
  for (const Required& required : {Required{mUrl, IDS_URL_NOT_SET}, Required{mLogin, IDS_LOGIN_NOT_SET},
                                   Required{mPassword, IDS_LOGIN_NOT_SET}}) {
    if (!required.field->text().trimmed().isEmpty()) continue;
    prompt.Message(LoadString(required.messageId), PromptButtons::Ok, PromptKind::Warning);
    required.field->setFocus();
    return false;
  }
  return true;
}

void ConnectionFields::Store(CConf& conf) const {
  // Blanks pasted around an address or a login are no part of it.
  conf.SetUrl(mUrl->text().trimmed().toStdString());
  conf.SetLogin(mLogin->text().trimmed().toStdString());
  conf.SetPassword(mPassword->text().toStdString());
  conf.SetRememberPass(mRemember->isChecked());
}

void ConnectionFields::SetEditable(bool editable) {
  for (QWidget* field : {static_cast<QWidget*>(mUrl), static_cast<QWidget*>(mLogin), static_cast<QWidget*>(mPassword),
                         static_cast<QWidget*>(mRemember)}) {
    field->setEnabled(editable);
  }
}
