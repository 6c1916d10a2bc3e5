// Layout of the options dialog and the values it stores.
#include "app/CConfDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <initializer_list>
#include <utility>

#include "app/DialogButtons.h"
#include "app/QtText.h"
#include "config/CConf.h"
#include "syncml/SyncTransport.h"
#include "platform/scheduler/SyncScheduler.h"

namespace {

QComboBox* NewCombo(const char* name, std::initializer_list<unsigned> textIds, int current, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QString::fromLatin1(name));
  for (unsigned id : textIds) combo->addItem(TableText(id));
  combo->setCurrentIndex(current >= 0 && current < combo->count() ? current : 0);
  return combo;
}

// Automatic (the setting removed), the two SyncML spellings, and a type the file names otherwise.
QComboBox* NewRequestTypeCombo(const std::string& setting, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QStringLiteral("requestTypeCombo"));
  combo->addItem(TableText(IDS_REQUEST_TYPE_AUTOMATIC), QString());
  for (const auto& [textId, type] : {std::pair{IDS_REQUEST_TYPE_STANDARD, kSyncMlMimeRegistered}, std::pair{IDS_REQUEST_TYPE_OLDER, kSyncMlMimeOlder}}) {
    combo->addItem(ToQString(FormatText(LoadString(textId), {std::string(type)})), ToQString(std::string(type)));
  }
  int current = -1;
  for (int i = 0; i < combo->count() && current < 0; ++i) {
    if (combo->itemData(i).toString() == ToQString(setting)) current = i;
  }
  if (current < 0) {
    combo->addItem(ToQString(setting), ToQString(setting));
    current = combo->count() - 1;
  }
  combo->setCurrentIndex(current);
  return combo;
}

QGroupBox* NewGroup(unsigned textId, const char* name, QWidget* parent) {
  auto* group = new QGroupBox(TableText(textId), parent);
  group->setObjectName(QString::fromLatin1(name));
  return group;
}

}  // namespace

CConfDlg::CConfDlg(CConf& conf, const std::string& productName, QWidget* parent)
    : QDialog(parent),
      mConf(conf),
      mEmail(NewCombo("emailCombo", {IDS_EMAIL_ALWAYS_ASK, IDS_EMAIL_SET_PERSONAL, IDS_EMAIL_SET_BUSINESS},
                      conf.EmailManagementMode(), this)),
      mConflict(NewCombo("conflictCombo", {IDS_CONFLICT_ALWAYS_ASK, IDS_CONFLICT_DUPLICATE}, conf.ConfResPol() ? 1 : 0, this)),
      mSystray(new QCheckBox(TableText(IDS_MINIMIZE_TO_TRAY), this)),
      mKeyring(new QCheckBox(TableText(IDS_KEEP_PASSWORD_IN_KEYRING), this)),
      mSchedule(new QCheckBox(TableText(IDS_SYNC_EVERY), this)),
      mSchedulePeriod(NewCombo("scheduleCombo", {IDS_SCHEDULE_30_MINUTES, IDS_SCHEDULE_1_HOUR, IDS_SCHEDULE_6_HOURS,
                                                 IDS_SCHEDULE_12_HOURS, IDS_SCHEDULE_24_HOURS},
                               conf.SchedulePeriod(), this)),
      mSslVerify(new QCheckBox(TableText(IDS_VERIFY_CERTIFICATES), this)),
      mRequestType(NewRequestTypeCombo(conf.SyncMimeSetting(), this)) {
  setObjectName(QStringLiteral("CConfDlg"));
  setWindowTitle(TableText(IDS_CONFIGURATION_PANEL, productName));
  mSystray->setObjectName(QStringLiteral("systrayCheck"));
  mSystray->setChecked(conf.Systray());
  mKeyring->setObjectName(QStringLiteral("keyringCheck"));
  mKeyring->setChecked(conf.PasswordInKeyring());
  mSchedule->setObjectName(QStringLiteral("scheduleCheck"));
  mSchedule->setChecked(conf.UseSchedule());
  mSchedulePeriod->setEnabled(mSchedule->isChecked());
  connect(mSchedule, &QCheckBox::toggled, mSchedulePeriod, &QWidget::setEnabled);

  QGroupBox* settings = NewGroup(IDS_SYNC_SETTINGS_GROUP, "syncSettingsGroup", this);
  auto* settingsLayout = new QFormLayout(settings);
  settingsLayout->addRow(TableText(IDS_NEW_EMAIL_LABEL), mEmail);
  settingsLayout->addRow(TableText(IDS_CONFLICT_LABEL), mConflict);

  QGroupBox* schedule = NewGroup(IDS_SCHEDULE_GROUP, "scheduleGroup", this);
  auto* scheduleLayout = new QVBoxLayout(schedule);
  auto* every = new QHBoxLayout;
  every->addWidget(mSchedule);
  every->addWidget(mSchedulePeriod);
  scheduleLayout->addLayout(every);
  auto* warning = new QLabel(TableText(IDS_SCHEDULE_CLOSE_WARNING), schedule);
  warning->setWordWrap(true);
  scheduleLayout->addWidget(warning);
  // The schedule lives in the user's crontab: without the program it cannot be kept.
  if (!SyncScheduler::CrontabInstalled()) {
    auto* hint = new QLabel(TableText(IDS_SCHEDULE_NEEDS_CRON), schedule);
    hint->setObjectName(QStringLiteral("cronHint"));
    hint->setWordWrap(true);
    scheduleLayout->addWidget(hint);
  }

  QGroupBox* options = NewGroup(IDS_OPTIONS_GROUP, "optionsGroup", this);
  auto* optionsLayout = new QVBoxLayout(options);
  optionsLayout->addWidget(mSystray);
  optionsLayout->addWidget(mKeyring);

  // The transport's settings, in plain words: what a self-signed or an older server needs.
  QGroupBox* advanced = NewGroup(IDS_ADVANCED_GROUP, "advancedGroup", this);
  mSslVerify->setObjectName(QStringLiteral("sslVerifyCheck"));
  mSslVerify->setChecked(conf.SslVerify());
  auto* advancedLayout = new QVBoxLayout(advanced);
  advancedLayout->addWidget(mSslVerify);
  auto* sslNote = new QLabel(TableText(IDS_VERIFY_CERTIFICATES_NOTE), advanced);
  sslNote->setWordWrap(true);
  advancedLayout->addWidget(sslNote);
  auto* requestType = new QHBoxLayout;
  auto* requestTypeLabel = new QLabel(TableText(IDS_REQUEST_TYPE_LABEL), advanced);
  requestTypeLabel->setBuddy(mRequestType);
  requestType->addWidget(requestTypeLabel);
  requestType->addWidget(mRequestType, 1);
  advancedLayout->addLayout(requestType);

  QDialogButtonBox* buttons = NewOkCancelButtons(*this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(settings);
  layout->addWidget(schedule);
  layout->addWidget(options);
  layout->addWidget(advanced);
  layout->addWidget(buttons);
}

void CConfDlg::StoreValues() {
  mConf.SetEmailManagementMode(mEmail->currentIndex());
  mConf.SetConfResPol(mConflict->currentIndex() == 1);
  mConf.SetSystray(mSystray->isChecked());
  mConf.SetUseSchedule(mSchedule->isChecked());
  mConf.SetSchedulePeriod(mSchedulePeriod->currentIndex());
  mConf.SetPasswordInKeyring(mKeyring->isChecked());
  mConf.SetSslVerify(mSslVerify->isChecked());
  mConf.SetSyncMime(mRequestType->currentData().toString().toStdString());
}
