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

#include "app/CConfDlg.h"
#include "app/CConfigWizard.h"
#include "app/CConflictDlg.h"
#include "app/CEmailListDlg.h"
#include "app/CVudirerAvazApp.h"
#include "app/HeadlessSyncRun.h"
#include "app/ProgramServices.h"
#include "app/QtConfigurationDialogs.h"
#include "app/QtPrompt.h"
#include "app/QtStartup.h"
#include "common/StringTable.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/WizardTestSupport.h"
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
    // The period stays at its default, whose date filter this server refuses: the run goes on without it.
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

// A new user's configuration folder and the local SyncEvolution server with an account for them.
class FirstStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = SyncPeer::MissingPrograms(PeerKind::SyncEvolution);
    if (!missing.empty()) GTEST_SKIP() << "SyncEvolution not installed: " << missing;
    EnsureQtApplication();
    mServer = SyncPeer::Make(PeerKind::SyncEvolution);
    mServer->Start();
    const std::string identity = "first-start-" + std::to_string(::getpid());
    mLogin = mServer->AddPeer(identity);
    // What an installation leaves before the first start: the Outlook identity the server knows
    // and the transport setting a standard server needs; no language, no server, no account.
    CConf seed(mHome.ConfigFolder());
    ASSERT_TRUE(seed.Load(true));
    seed.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    seed.SetValue(CConf::kSection, "OutlookID", identity);
    seed.SetSyncMime("application/vnd.syncml+xml");
    seed.Save();
    mServices.applications = {false, true};
    mServices.updates = &mUpdates;
  }
  void TearDown() override {
    CLog::Instance().Close();
    if (mServer) mServer->Stop();
  }

  TestHome mHome;
  ScopedEnv mNoFolderStore{"LARK_FOLDER_STORE", std::nullopt};
  ScopedEnv mOutlookPresent{"LARK_OUTLOOK_NOT_INSTALLED", std::nullopt};
  std::unique_ptr<SyncPeer> mServer;
  PeerLogin mLogin;
  ProgramUpdateStarter mUpdates;
  WizardServices mServices;
};

TEST_F(FirstStartTest, LanguageThenTheWizardAgainstTheServerThenTheMainWindowAndARunThatSucceeds) {
  QtConfigurationDialogs dialogs(mServices, {});
  QtStartup interaction("QuenorSync", &dialogs);
  FirstStartUser user(mServer->Url(), mLogin);
  CVudirerAvazApp application(interaction, mHome.ProgramFolder());
  ASSERT_EQ(application.InitInstance({}), StartupResult::Ready);
  EXPECT_EQ(user.seen, (std::vector<std::string>{"CLangDlg", "configWizard"}));
  EXPECT_EQ(user.contactsRows, 1);

  CConf saved(mHome.ConfigFolder());
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
  ScopedEnv folderStore("LARK_FOLDER_STORE", mHome.Root() + "items");
  for (const CSyncLink& link : saved.Links()) std::filesystem::create_directories(mHome.Root() + "items/" + link.mLocalEntryId);
  std::ostringstream progress;
  application.Conf().SetSilent(true);
  EXPECT_EQ(HeadlessSyncRun(application.Conf(), application.Prompts(), progress).Run(), 0) << progress.str() << mServer->LogTail();
  for (const CSyncLink& link : application.Conf().Links()) EXPECT_EQ(link.mState, SYNC_STATE_SYNCHRONIZED) << link.ServerUri();
  CLog::Instance().Close();
  if (const char* keep = std::getenv("LARK_E2E_LOG_DIR"); keep != nullptr && *keep != '\0') {
    std::filesystem::copy_file(application.Conf().LogPath(), std::string(keep) + "/FirstStart.Sync.log",
                               std::filesystem::copy_options::overwrite_existing);
  }
}

}  // namespace

// With LARK_SCREENSHOT_DIR set (scripts/screenshots-config): every wizard page against the server,
// the Windows Contacts page, a message box, the options, and the conflict and e-mail dialogs, each
// as <dir>/<name>.png.
TEST_F(FirstStartTest, ScreenshotsOfEveryPageAndDialog) {
  const char* folder = std::getenv("LARK_SCREENSHOT_DIR");
  if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "LARK_SCREENSHOT_DIR not set";
  std::vector<std::string> saved;
  const auto save = [&](QWidget& widget, const std::string& name) {
    QApplication::processEvents();
    const std::string path = std::string(folder) + "/" + name + ".png";
    EXPECT_TRUE(widget.grab().save(QString::fromStdString(path))) << path;
    saved.push_back(name);
  };
  CConf conf(mHome.ConfigFolder());
  ASSERT_TRUE(conf.Load(true));
  conf.SetLanguage("en");
  mServices.outlookFolders = ListOutlookFolders;

  WizardDriver driver(conf, mServices);
  driver.SetText("urlEdit", mServer->Url());
  driver.SetText("loginEdit", mLogin.user);
  driver.SetText("passwordEdit", mLogin.password);
  save(driver.Wizard(), "wizard-1-connection");
  driver.Click("nextButton");
  ASSERT_TRUE(WaitFor([&] { return driver.Wizard().currentId() == CConfigWizard::kDatabasePage; }, std::chrono::seconds(60)));
  for (const char* box : {"contactsCheck", "eventsCheck", "tasksCheck"}) driver.Find<QAbstractButton>(box)->setChecked(true);
  save(driver.Wizard(), "wizard-2-database");
  const char* pages[] = {"wizard-3-contacts", "wizard-4-events", "wizard-5-tasks"};
  for (const char* page : pages) {
    driver.Click("nextButton");
    QWidget* current = driver.Wizard().currentPage();
    current->findChild<QComboBox*>("folderCombo0")->setCurrentIndex(0);
    current->findChild<QComboBox*>("modeCombo0")->setCurrentText(QString::fromStdString(LoadString(IDS_MODE_TWO_WAY)));
    save(driver.Wizard(), page);
  }

  mServices.applications = {true, true};
  conf.SetSyncWithOutlook(LOCAL_APP_WINDOWS_CONTACTS);
  WizardDriver contacts(conf, mServices);
  contacts.Wizard().setStartId(CConfigWizard::kDatabasePage);
  contacts.Wizard().restart();
  contacts.Click("nextButton");
  save(contacts.Wizard(), "wizard-6-windows-contacts");

  QtPrompt prompt("QuenorSync");
  ModalDriver box([&](QWidget* message) {
    save(*message, "message-box");
    message->findChild<QAbstractButton*>("okButton")->click();
  });
  prompt.Message(LoadString(IDS_FOLDER_USED_TWICE), PromptButtons::Ok, PromptKind::Warning);

  CConfDlg options(conf, "QuenorSync");
  options.show();
  save(options, "options");
  CConflictDlg conflict({"Lara Local", "lara"});
  conflict.show();
  save(conflict, "conflict");
  CEmailListDlg email({"Ann Example", "annie", {"ann@home.example", "", "ann@work.example"}, {"", "", "W"}});
  email.show();
  save(email, "email");
  EXPECT_EQ(saved.size(), 10u);
}
