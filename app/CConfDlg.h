// The options dialog: e-mail and conflict handling, the tray, and the schedule.
#pragma once

#include <QDialog>
#include <string>

class CConf;
class QCheckBox;
class QComboBox;

// Title 170; groups "syncSettingsGroup" (186), "scheduleGroup" (324), "optionsGroup" (326);
// "emailCombo" (187: 193-195 = email_management_mode), "conflictCombo" (189: 199, 200; 200 is
// conf_res_pol auto), "systrayCheck" (190), "scheduleCheck" (325) with "scheduleCombo" (327-331 =
// schedule_period, enabled while the box is checked), warning 332, and "cronHint" (how to get the
// crontab program) when it is not installed; "keyringCheck" (1030: the password kept in the
// desktop keyring); "advancedGroup" ("Advanced") with "sslVerifyCheck" (ssl_verify) and
// "requestTypeCombo" (syncml_mime: automatic, the registered type, the older one, or a type of the
// file's own); "okButton", "cancelButton" (218). The fields start with `conf`'s values; `conf`
// must outlive the dialog.
class CConfDlg final : public QDialog {
  Q_OBJECT

 public:
  CConfDlg(CConf& conf, const std::string& productName, QWidget* parent = nullptr);

  // Stores the values in the configuration (not saved).
  void StoreValues();

 private:
  CConf& mConf;
  QComboBox* mEmail;
  QComboBox* mConflict;
  QCheckBox* mSystray;
  QCheckBox* mKeyring;
  QCheckBox* mSchedule;
  QComboBox* mSchedulePeriod;
  QCheckBox* mSslVerify;
  QComboBox* mRequestType;
};
