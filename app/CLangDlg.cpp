// Filling the language drop-down and storing the choice.
#include "app/CLangDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/DialogButtons.h"
#include "app/QtText.h"
#include "config/CConf.h"

CLangDlg::CLangDlg(CConf& conf, const std::string& programFolder, QWidget* parent)
    : QDialog(parent), mConf(conf), mChoices(ListLanguages(programFolder)), mCombo(new QComboBox(this)) {
  setObjectName(QStringLiteral("CLangDlg"));
  setWindowTitle(TableText(IDS_CONFIGURATION_PANEL, conf.ProductName()));
  mCombo->setObjectName(QStringLiteral("languageCombo"));
  for (size_t i = 0; i < mChoices.size(); ++i) {
    mCombo->addItem(ToQString(mChoices[i].name), ToQString(mChoices[i].code));
    if (mChoices[i].code == conf.Language()) mCombo->setCurrentIndex(static_cast<int>(i));
  }

  auto* label = new QLabel(TableText(IDS_LANGUAGE_LABEL), this);
  label->setObjectName(QStringLiteral("languageLabel"));
  label->setBuddy(mCombo);

  QDialogButtonBox* buttons = NewOkCancelButtons(*this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(mCombo);
  layout->addWidget(buttons);
}

std::string CLangDlg::SelectedCode() const {
  const int index = mCombo->currentIndex();
  return index >= 0 && static_cast<size_t>(index) < mChoices.size() ? mChoices[static_cast<size_t>(index)].code
                                                                    : std::string();
}

void CLangDlg::accept() {
  const std::string code = SelectedCode();
  if (!code.empty() && code != mConf.Language()) mConf.SetLanguage(code);
  QDialog::accept();
}
