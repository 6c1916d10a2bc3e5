// The About box.
#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/QtText.h"

AboutDialog::AboutDialog(const std::string& productName, const std::string& version, const std::string& legalNotice,
                         QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(TableText(IDS_ABOUT_TITLE, productName));
  auto* logo = new QLabel;
  logo->setPixmap(QPixmap(QStringLiteral(":/larkspan/logo.png")));
  auto* text = new QLabel(ToQString(FormatText(LoadString(IDS_ABOUT_TEXT), {productName, version, legalNotice})));
  text->setObjectName(QStringLiteral("aboutText"));
  text->setTextFormat(Qt::PlainText);
  auto* row = new QHBoxLayout;
  row->addWidget(logo, 0, Qt::AlignTop);
  row->addWidget(text, 1);
  auto* buttons = new QDialogButtonBox;
  QPushButton* ok = buttons->addButton(TableText(IDS_OK), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("okButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}
