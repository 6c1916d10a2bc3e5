// The details dialog.
#include "app/CInfoDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/QtText.h"
#include "app/WindowRunServices.h"
#include "engine/CSyncLink.h"

CInfoDlg::CInfoDlg(const CSyncLink& link, const QLocale& locale, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("detailsDialog"));
  setWindowTitle(TableText(IDS_LAST_SYNC_DETAILS));
  CSyncLink shown = link;
  shown.mStatusText = PlainErrorText(link.mStatusText);
  const std::string status = shown.StateDetails([&locale](std::int64_t time) { return LocalTimeText(locale, time); });
  auto* form = new QFormLayout;
  AddValue(*form, IDS_DETAILS_LOCAL_FOLDER, ToQString(link.mLocalName), "localFolderValue");
  AddValue(*form, IDS_DETAILS_SERVER_FOLDER, ToQString(link.ServerDisplayName()), "serverFolderValue");
  AddValue(*form, IDS_DETAILS_SYNC_TYPE, ToQString(link.ModeText()), "syncTypeValue");
  AddValue(*form, IDS_DETAILS_STATUS, ToQString(status), "statusValue");
  if (link.mState == SYNC_STATE_SYNCHRONIZED && link.HasChanges()) {
    AddValue(*form, IDS_DETAILS_LOCAL_ADDITIONS, QString::number(link.mLocalCounts.added), "localAdditionsValue");
    AddValue(*form, IDS_DETAILS_LOCAL_UPDATES, QString::number(link.mLocalCounts.updated), "localUpdatesValue");
    AddValue(*form, IDS_DETAILS_LOCAL_DELETIONS, QString::number(link.mLocalCounts.deleted), "localDeletionsValue");
    AddValue(*form, IDS_DETAILS_SERVER_ADDITIONS, QString::number(link.mServerCounts.added), "serverAdditionsValue");
    AddValue(*form, IDS_DETAILS_SERVER_UPDATES, QString::number(link.mServerCounts.updated), "serverUpdatesValue");
    AddValue(*form, IDS_DETAILS_SERVER_DELETIONS, QString::number(link.mServerCounts.deleted), "serverDeletionsValue");
  }
  if (link.mState == SYNC_STATE_SYNCHRONIZED && link.mItemErrors > 0) {
    AddValue(*form, IDS_DETAILS_ITEM_ERRORS, QString::number(link.mItemErrors), "itemErrorsValue");
  }

  auto* logo = new QLabel;
  logo->setObjectName(QStringLiteral("detailsLogo"));
  logo->setPixmap(QPixmap(QStringLiteral(":/larkspan/logo.png")).scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  logo->setAlignment(Qt::AlignTop | Qt::AlignRight);
  auto* top = new QHBoxLayout;
  top->addLayout(form, 1);
  top->addWidget(logo, 0, Qt::AlignTop);

  auto* buttons = new QDialogButtonBox;
  QPushButton* ok = buttons->addButton(TableText(IDS_OK), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("okButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  // A window manager cuts a title that is wider than the window; room for the frame's buttons too.
  // A strut, so the layout's own minimum (the values') still holds.
  QFont titleFont = font();
  titleFont.setBold(true);
  layout->addStrut(QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 8 * fontMetrics().averageCharWidth() + 120);
}

void CInfoDlg::AddValue(QFormLayout& form, unsigned labelId, const QString& value, const char* name) {
  auto* label = new QLabel(value);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // Values up to a line of about 64 characters stay on one line; only a longer one (an error
  // text) wraps.
  const QFontMetrics metrics(label->font());
  label->setMinimumWidth(std::min(metrics.horizontalAdvance(value) + 2, 64 * metrics.averageCharWidth()));
  label->setWordWrap(true);
  form.addRow(TableText(labelId), label);
}
