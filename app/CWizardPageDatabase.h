// The wizard's second page: the local application, the data types and the calendar period.
#pragma once

#include <QWizardPage>

class CConf;
class CConfigWizard;
class QCheckBox;
class QComboBox;

// Text 169, "applicationCombo" (the available applications: the address book, then the Outlook
// profile), "contactsCheck" (171), "eventsCheck" (172), "tasksCheck" (271), "periodCombo"
// (261-266, index = sync_period) and note 267. Choosing an application sets sync_with_outlook at
// once; Next stores the data types, the period and whether the application changed. While no
// data type is chosen (a new configuration) every one the server offers starts ticked.
class CWizardPageDatabase final : public QWizardPage {
  Q_OBJECT

 public:
  CWizardPageDatabase(CConf& conf, CConfigWizard& wizard);

  void initializePage() override;
  // Keeps the choices when the user goes back to the connection page.
  void cleanupPage() override {}
  bool validatePage() override;
  // The first links page the boxes switch on; -1 (Finish) when none.
  int nextId() const override;

 private:
  void FillApplications();
  void OnApplicationChanged();
  // Enables and checks the boxes for the application and the server's databases.
  void EvaluateChecks();
  int SelectedApplication() const;

  CConf& mConf;
  CConfigWizard& mWizard;
  const int mStartApplication;
  QComboBox* mApplication;
  QCheckBox* mContacts;
  QCheckBox* mEvents;
  QCheckBox* mTasks;
  QComboBox* mPeriod;
};
