// Layout and answer of the e-mail type dialog.
#include "app/CEmailListDlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/DialogButtons.h"
#include "app/QtText.h"

CEmailListDlg::CEmailListDlg(const EmailTypesQuestion& question, QWidget* parent)
    : QDialog(parent), mQuestion(question), mList(new QListWidget(this)), mOtherContacts(new QButtonGroup(this)) {
  setObjectName(QStringLiteral("CEmailListDlg"));
  setWindowTitle(TableText(IDS_EMAIL_RESOLUTION_TITLE));
  mList->setObjectName(QStringLiteral("emailList"));
  const bool parallel = question.addresses.size() == question.types.size();
  for (std::size_t i = 0; i < question.addresses.size(); ++i) {
    if (question.addresses[i].empty()) continue;
    auto* row = new QListWidgetItem(ToQString(question.addresses[i]), mList);
    row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    row->setCheckState(parallel && question.types[i] == kEmailTypeWork ? Qt::Checked : Qt::Unchecked);
    mRowAddress.push_back(i);
  }

  auto* group = new QGroupBox(TableText(IDS_OTHER_CONTACTS), this);
  group->setObjectName(QStringLiteral("otherContactsGroup"));
  auto* groupLayout = new QVBoxLayout(group);
  struct Choice {
    unsigned textId;
    const char* name;
    int mode;
  };
  for (const Choice& choice : {Choice{IDS_OTHER_ALWAYS_ASK, "askRadio", EMAIL_ALWAYS_ASK},
                               Choice{IDS_MARK_UNKNOWN_PERSONAL, "personalRadio", EMAIL_UNKNOWN_PERSONAL},
                               Choice{IDS_MARK_UNKNOWN_BUSINESS, "businessRadio", EMAIL_UNKNOWN_BUSINESS}}) {
    auto* radio = new QRadioButton(TableText(choice.textId), group);
    radio->setObjectName(QString::fromLatin1(choice.name));
    radio->setChecked(choice.mode == EMAIL_ALWAYS_ASK);
    mOtherContacts->addButton(radio, choice.mode);
    groupLayout->addWidget(radio);
  }

  QDialogButtonBox* buttons = NewOkCancelButtons(*this);

  auto* header = new QLabel(ToQString(HeaderText(question)), this);
  header->setObjectName(QStringLiteral("headerLabel"));
  header->setTextFormat(Qt::PlainText);
  auto* hint = new QLabel(TableText(IDS_MARK_BUSINESS_EMAILS), this);
  hint->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(header);
  layout->addWidget(hint);
  layout->addWidget(mList);
  layout->addWidget(group);
  layout->addWidget(buttons);
}

std::string CEmailListDlg::HeaderText(const EmailTypesQuestion& question) {
  std::string text = LoadString(IDS_EMAILS_MODIFIED);
  text.append("\r\n\r\n\t").append(question.displayName);
  if (!question.nickname.empty()) text.append(" [ ").append(question.nickname).append(" ]");
  return text;
}

std::optional<EmailTypesAnswer> CEmailListDlg::AskEmailTypes() {
  if (exec() != QDialog::Accepted) return std::nullopt;
  EmailTypesAnswer answer{mQuestion.types, mOtherContacts->checkedId()};
  if (answer.types.size() != mQuestion.addresses.size()) return answer;
  for (int row = 0; row < mList->count(); ++row) {
    const bool business = mList->item(row)->checkState() == Qt::Checked;
    answer.types[mRowAddress[static_cast<std::size_t>(row)]] = std::string(business ? kEmailTypeWork : kEmailTypeHome);
  }
  return answer;
}
