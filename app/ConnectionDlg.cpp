// Layout and OK of the connection dialog.
#include "app/ConnectionDlg.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "app/ConnectionFields.h"
#include "app/DialogButtons.h"
#include "app/QtText.h"
#include "config/CConf.h"

ConnectionDlg::ConnectionDlg(CConf& conf, const std::string& productName, QWidget* parent)
    : QDialog(parent), mConf(conf), mPrompt(productName, this), mFields(new ConnectionFields(conf, this)) {
  setObjectName(QStringLiteral("connectionDialog"));
  setWindowTitle(TableText(IDS_CONNECTION_TITLE));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(mFields);
  layout->addStretch();
  layout->addWidget(NewOkCancelButtons(*this));
  // Room for an address of some length.
  layout->addStrut(fontMetrics().averageCharWidth() * 60);
}

void ConnectionDlg::accept() {
  if (!mFields->CheckFilledIn(mPrompt)) return;
  mFields->Store(mConf);
  QDialog::accept();
}
