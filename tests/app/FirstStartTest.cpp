// A new user's first start against the local SyncEvolution server, through the real dialogs:
// the language dialog, the wizard with the databases the server lists, and then a run.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/CConfigWizard.h"
#include "app/CVudirerAvazApp.h"
#include "app/HeadlessSyncRun.h"
#include "app/ProgramServices.h"
#include "app/QtConfigurationDialogs.h"
#include "app/QtStartup.h"
#include "common/StringTable.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/SyncPeer.h"

namespace {

// Answers the start-up's dialogs as they open, by their object names.
class FirstStartUser {
 public:
  FirstStartUser(std::string url, PeerLogin login) : mUrl(std::move(url)), mLogin(std::move(login)) {
    mTimer.setInterval(0);
    QObject::connect(&mTimer, &QTimer::timeout, [this] { Answer(QApplication::activeModalWidget()); });
    mTimer.start();
  }

  std::vector<std::string> seen;  // object names of the dialogs answered, in order
  int contactsRows = -1;          // rows of the contacts grid: the server's contact databases

 private:
  void Answer(QWidget* dialog) {
    if (dialog == nullptr || mBusy || !dialog->isVisible()) return;
    mBusy = true;
    seen.push_back(dialog->objectName().toStdString());
    if (dialog->objectName() == QLatin1String("CLangDlg")) {
      dialog->findChild<QAbstractButton*>("okButton")->click();
    } else if (dialog->objectName() == QLatin1String("configWizard")) {
      DriveWizard(*static_cast<CConfigWizard*>(dialog));
    } else {
      ADD_FAILURE() << "unexpected dialog " << seen.back();
      static_cast<QDialog*>(dialog)->reject();
    }
    mBusy = false;
  }

  void DriveWizard(CConfigWizard& wizard) {
    wizard.findChild<QLineEdit*>("urlEdit")->setText(QString::fromStdString(mUrl));
    wizard.findChild<QLineEdit*>("loginEdit")->setText(QString::fromStdString(mLogin.user));
    wizard.findChild<QLineEdit*>("passwordEdit")->setText(QString::fromStdString(mLogin.password));
    wizard.findChild<QAbstractButton*>("nextButton")->click();
    ASSERT_TRUE(WaitFor([&] { return wizard.currentId() == CConfigWizard::kDatabasePage; }, std::chrono::seconds(60)));
    // Outlook is the only application here; all three data types are offered and switched on.
    for (const char* box : {"contactsCheck", "eventsCheck", "tasksCheck"}) {
      auto* check = wizard.findChild<QAbstractButton*>(box);
      ASSERT_TRUE(check->isEnabled()) << box;
      check->setChecked(true);
    }
    // All events: the server refuses the date filter of a shorter period.
    wizard.findChild<QComboBox*>("periodCombo")->setCurrentIndex(5);
    for (const int page : {CConfigWizard::kContactsLinksPage, CConfigWizard::kEventsLinksPage, CConfigWizard::kTasksLinksPage}) {
      wizard.findChild<QAbstractButton*>("nextButton")->click();
      ASSERT_EQ(wizard.currentId(), page);
      QWidget* current = wizard.currentPage();
      if (page == CConfigWizard::kContactsLinksPage) contactsRows = current->findChildren<QComboBox*>(QRegularExpression("^folderCombo")).size();
      // Each link goes to the default folder of its kind, both ways.
      current->findChild<QComboBox*>("folderCombo0")->setCurrentIndex(0);
      current->findChild<QComboBox*>("modeCombo0")->setCurrentText(QString::fromStdString(LoadString(IDS_MODE_TWO_WAY)));
    }
    wizard.findChild<QAbstractButton*>("finishButton")->click();
  }

  std::string mUrl;
  PeerLogin mLogin;
  QTimer mTimer;
  bool mBusy = false;
};

TEST(FirstStart, LanguageThenTheWizardAgainstTheServerThenTheMainWindowAndARunThatSucceeds) {
  const std::string missing = SyncPeer::MissingPrograms(PeerKind::SyncEvolution);
  if (!missing.empty()) GTEST_SKIP() << "SyncEvolution not installed: " << missing;
  EnsureQtApplication();
  TestHome home;
  ScopedEnv noFolderStore("LARK_FOLDER_STORE", std::nullopt);
  ScopedEnv outlookPresent("LARK_OUTLOOK_NOT_INSTALLED", std::nullopt);
  std::unique_ptr<SyncPeer> server = SyncPeer::Make(PeerKind::SyncEvolution);
  server->Start();
  const std::string identity = "first-start-" + std::to_string(::getpid());
  const PeerLogin login = server->AddPeer(identity);
  {
    // What an installation leaves before the first start: the Outlook identity the server knows
    // and the transport setting a standard server needs; no language, no server, no account.
    CConf seed(home.ConfigFolder());
    ASSERT_TRUE(seed.Load(true));
    seed.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    seed.SetValue(CConf::kSection, "OutlookID", identity);
    seed.SetSyncMime("application/vnd.syncml+xml");
    seed.Save();
  }

  ProgramUpdateStarter updates;
  WizardServices services;
  services.applications = {false, true};
  services.updates = &updates;
  QtConfigurationDialogs dialogs(services, {});
  QtStartup interaction("QuenorSync", &dialogs);
  FirstStartUser user(server->Url(), login);
  CVudirerAvazApp application(interaction, home.ProgramFolder());
  ASSERT_EQ(application.InitInstance({}), StartupResult::Ready);
  EXPECT_EQ(user.seen, (std::vector<std::string>{"CLangDlg", "configWizard"}));
  EXPECT_EQ(user.contactsRows, 1);

  CConf saved(home.ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_EQ(saved.Language(), "en");
  EXPECT_EQ(saved.CheckComplete(), 0u);
  ASSERT_EQ(saved.Links().Size(), 3u);
  for (const CSyncLink& link : saved.Links()) {
    EXPECT_EQ(link.mMode, SYNC_MODE_TWO_WAY);
    EXPECT_EQ(link.mClientApp, LOCAL_APP_OUTLOOK);
    EXPECT_FALSE(link.mLocalEntryId.empty());
  }

  // The run goes through the folder store (the Outlook store of this version holds contacts
  // only), one folder per chosen Outlook folder, named by its entry identifier.
  ScopedEnv folderStore("LARK_FOLDER_STORE", home.Root() + "items");
  for (const CSyncLink& link : saved.Links()) std::filesystem::create_directories(home.Root() + "items/" + link.mLocalEntryId);
  std::ostringstream progress;
  application.Conf().SetSilent(true);
  EXPECT_EQ(HeadlessSyncRun(application.Conf(), application.Prompts(), progress).Run(), 0) << progress.str() << server->LogTail();
  for (const CSyncLink& link : application.Conf().Links()) EXPECT_EQ(link.mState, SYNC_STATE_SYNCHRONIZED) << link.ServerUri();
  CLog::Instance().Close();
  if (const char* keep = std::getenv("LARK_E2E_LOG_DIR"); keep != nullptr && *keep != '\0') {
    std::filesystem::copy_file(application.Conf().LogPath(), std::string(keep) + "/FirstStart.Sync.log",
                               std::filesystem::copy_options::overwrite_existing);
  }
  server->Stop();
}

}  // namespace
