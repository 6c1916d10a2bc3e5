// The OK and Cancel buttons with the program's texts and object names.
#include "app/DialogButtons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "app/QtText.h"

QDialogButtonBox* NewOkCancelButtons(QDialog& dialog) {
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* ok = buttons->addButton(TableText(IDS_OK), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  buttons->addButton(TableText(IDS_CANCEL), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancelButton"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  return buttons;
}
