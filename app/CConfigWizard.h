// The configuration wizard: connection, local application and data types, and one page of
// sync links per data type.
#pragma once

#include <QWizard>
#include <memory>
#include <string>

#include "app/LocalApplications.h"
#include "app/QtPrompt.h"

class CConf;
class CWizardPageConnection;
class SyncTransportFactory;
class UpdateStarter;

// What the wizard uses besides the configuration. The pointed-to objects are not owned and must
// outlive the wizard.
struct WizardServices {
  ApplicationAvailability applications;
  OutlookFolderLister outlookFolders = ListOutlookFolders;
  OutlookFolderLister vdirCollections = ListVdirFolders;
  SyncTransportFactory* transports = nullptr;  // the server check's transport; null: HTTP
  UpdateStarter* updates = nullptr;            // starts the update the server asks for
};

// Titled with string 170 on every page. The pages edit `conf` directly; the caller saves after
// Finish and reloads after Cancel (QtConfigurationDialogs::RunWizard). exec() gives QDialog::Accepted
// for Finish, kUpdateStarted when the connection page started an update, else Rejected.
// Object names: "configWizard"; the pages "connectionPage", "databasePage", "contactsLinksPage",
// "eventsLinksPage", "tasksLinksPage"; the buttons "backButton", "nextButton", "finishButton",
// "cancelButton". `conf` must outlive the wizard.
class CConfigWizard final : public QWizard {
  Q_OBJECT

 public:
  enum PageId { kConnectionPage = 0, kDatabasePage = 1, kContactsLinksPage = 2, kEventsLinksPage = 3, kTasksLinksPage = 4 };
  static constexpr int kUpdateStarted = 2;

  CConfigWizard(CConf& conf, WizardServices services, QWidget* parent = nullptr);
  ~CConfigWizard() override;

  // Cancel, Escape or closing the window: a running server check is stopped first.
  void reject() override;
  // Ends the wizard with kUpdateStarted. QWizard::done would validate the current page first.
  void EndForUpdate() { QDialog::done(kUpdateStarted); }

  // Message boxes shown over the wizard.
  Prompt& Prompts() { return mPrompt; }
  const WizardServices& Services() const { return mServices; }

  // The page of sync links for `dataType`.
  static int LinksPageOf(int dataType) { return kContactsLinksPage + dataType; }

 private:
  CConf& mConf;
  WizardServices mServices;
  QtPrompt mPrompt;
  CWizardPageConnection* mConnectionPage;
};
