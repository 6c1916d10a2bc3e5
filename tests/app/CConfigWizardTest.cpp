// The configuration wizard offscreen, driven by object name against a local scripted server:
// the connection check and its failures, the application and data-type rules, the Outlook grid
// and the Windows Contacts link, and what Finish and Cancel leave in the configuration.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QThread>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableWidget>
#include <QTest>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/CConfigWizard.h"
#include "app/CWizardPageConnection.h"
#include "app/QtConfigurationDialogs.h"
#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "engine/CSyncLink.h"
#include "engine/SyncRunServices.h"
#include "syncml/SyncTransport.h"
#include "tests/app/WizardTestSupport.h"

namespace {

using std::chrono::milliseconds;

QString Text(unsigned id) { return QString::fromStdString(LoadString(id)); }

class StartedUpdate final : public UpdateStarter {
 public:
  void StartUpdate(CConf&, const std::function<bool()>&) override {
    ++starts;
    onWindowThread = onWindowThread || QThread::currentThread() == QCoreApplication::instance()->thread();
    if (fail) throw CUpdaterException(std::string("the update package cannot be fetched"));
  }
  std::atomic<int> starts = 0;
  std::atomic<bool> onWindowThread = false;
  bool fail = false;
};

// The SyncHdr Source of a message: the identity the client gave itself.
std::string SourceOf(const std::string& message) {
  const std::size_t header = message.find("<SyncHdr>");
  const std::size_t at = message.find("<Source><LocURI>", header);
  if (header == std::string::npos || at == std::string::npos) return {};
  const std::size_t start = at + 16;
  return message.substr(start, message.find("</LocURI>", start) - start);
}

class ConfigWizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    mConf.Load(true);
    mConf.SetLanguage("en");
    mServices.applications = {true, true};
    mServices.outlookFolders = TestFolders;
    mServices.updates = &mUpdates;
  }

  // Opens the wizard and passes the connection page against the server's `databases`.
  void PassConnection(const std::vector<OfferedDatabase>& databases) {
    mServer.Enqueue(DatabaseReply(databases));
    mDriver = std::make_unique<WizardDriver>(mConf, mServices);
    mDriver->FillConnection(mServer.BaseUrl() + "/");
    mDriver->Click("nextButton");
    ASSERT_TRUE(mDriver->WaitForPage(CConfigWizard::kDatabasePage));
  }

  // Opens the wizard on the database page over links already in the configuration.
  void OpenAtDatabasePage(const std::vector<CSyncLink>& links) {
    for (const CSyncLink& link : links) mConf.Links().Add(link);
    mDriver = std::make_unique<WizardDriver>(mConf, mServices);
    mDriver->Wizard().setStartId(CConfigWizard::kDatabasePage);
    mDriver->Wizard().restart();
  }

  static CSyncLink ServerLink(int dataType, std::string serverName = {}, int readOnly = 0) {
    CSyncLink link;
    link.mDataType = dataType;
    link.mServerName = std::move(serverName);
    link.mReadOnly = readOnly;
    return link;
  }

  TestHome mHome;
  CConf mConf{mHome.ConfigFolder()};
  ScriptedSyncServer mServer;
  StartedUpdate mUpdates;
  WizardServices mServices;
  std::unique_ptr<WizardDriver> mDriver;
};

TEST_F(ConfigWizardTest, EmptyConnectionFieldsAreNamedOneAtATimeWithTheFocusOnTheField) {
  struct Case {
    std::string url, login, password;
    unsigned message;
    const char* focused;
  };
  for (const Case& c : {Case{"", "user", "pw", IDS_URL_NOT_SET, "urlEdit"}, Case{"http://x/", "", "pw", IDS_LOGIN_NOT_SET, "loginEdit"},
                        Case{"http://x/", "user", "", IDS_LOGIN_NOT_SET, "passwordEdit"}}) {
    WizardDriver driver(mConf, mServices);
    QApplication::setActiveWindow(&driver.Wizard());
    driver.SetText("urlEdit", c.url);
    driver.SetText("loginEdit", c.login);
    driver.SetText("passwordEdit", c.password);
    MessageBoxAnswerer boxes;
    driver.Click("nextButton");
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], LoadString(c.message));
    EXPECT_EQ(driver.Wizard().currentId(), CConfigWizard::kConnectionPage);
    EXPECT_EQ(driver.Wizard().focusWidget(), driver.Find<QWidget>(c.focused)) << c.focused;
    EXPECT_EQ(mServer.RequestCount(), 0u);
  }
}

TEST_F(ConfigWizardTest, ASuccessfulCheckStoresTheFieldsAndBringsTheServersDatabases) {
  PassConnection(DefaultDatabases());
  EXPECT_EQ(mConf.Login(), "user@example.org");
  EXPECT_EQ(mConf.Password(), "secret");
  ASSERT_EQ(mConf.Links().Size(), 3u);
  EXPECT_EQ(mConf.Links().At(2).mDataType, DATA_TYPE_TASKS);
  EXPECT_FALSE(mDriver->Find<QProgressBar>("busyIndicator")->isVisible());
}

// Each failure keeps the connection page with its message; the page can be used again and
// Cancel ends the wizard.
TEST_F(ConfigWizardTest, AFailedCheckKeepsThePageWithTheServersMessage) {
  int refusedPort = 0;
  {
    ScriptedSyncServer gone;
    refusedPort = gone.Port();
  }
  struct Case {
    const char* name;
    std::string url;
    unsigned message;
  };
  mServer.SetResponder([](const RecordedRequest&) { return DatabaseReply({}, "401"); });
  for (const Case& c : {Case{"wrong password", mServer.BaseUrl() + "/", IDS_AUTHENTICATION_ERROR},
                        Case{"server down", "http://127.0.0.1:" + std::to_string(refusedPort) + "/", IDS_COMMUNICATION_ERROR}}) {
    WizardDriver driver(mConf, mServices);
    driver.SetText("urlEdit", c.url);
    driver.SetText("loginEdit", "user@example.org");
    driver.SetText("passwordEdit", "wrong");
    MessageBoxAnswerer boxes;
    driver.Click("nextButton");
    ASSERT_TRUE(WaitFor([&] { return !boxes.texts.empty() && !static_cast<CWizardPageConnection*>(driver.Wizard().page(0))->Checking(); }))
        << c.name;
    EXPECT_EQ(boxes.texts[0], LoadString(c.message)) << c.name;
    EXPECT_EQ(driver.Wizard().currentId(), CConfigWizard::kConnectionPage) << c.name;
    EXPECT_TRUE(driver.Find<QLineEdit>("urlEdit")->isEnabled()) << c.name;
    EXPECT_TRUE(driver.Find<QAbstractButton>("nextButton")->isEnabled()) << c.name;
    driver.Click("cancelButton");
    EXPECT_EQ(driver.Wizard().result(), QDialog::Rejected) << c.name;
  }
}

// A server's internal error reads in plain words, not as "HTTP error 500 : no response from server.".
TEST_F(ConfigWizardTest, AServerErrorAtTheCheckIsShownInPlainWords) {
  mServer.SetResponder([](const RecordedRequest&) { return ScriptedReply::Status(500, "Internal Server Error"); });
  WizardDriver driver(mConf, mServices);
  driver.FillConnection(mServer.BaseUrl() + "/");
  MessageBoxAnswerer boxes;
  driver.Click("nextButton");
  ASSERT_TRUE(WaitFor([&] { return !boxes.texts.empty(); }));
  EXPECT_EQ(boxes.texts[0], FormatText(LoadString(IDS_PLAIN_SERVER_ERROR), {500}));
  EXPECT_EQ(driver.Wizard().currentId(), CConfigWizard::kConnectionPage);
}

// A transport failing outside the program's own errors is a failed check, not the end of the process.
TEST_F(ConfigWizardTest, AnUnexpectedTransportErrorIsAFailedCheck) {
  class Throwing final : public SyncTransport {
   public:
    std::string Post(const std::string&, const std::string&) override { throw std::runtime_error("socket table full"); }
  };
  class ThrowingFactory final : public SyncTransportFactory {
   public:
    std::unique_ptr<SyncTransport> CreateTransport(CConf&) override { return std::make_unique<Throwing>(); }
  } transports;
  mServices.transports = &transports;
  WizardDriver driver(mConf, mServices);
  driver.FillConnection("http://127.0.0.1:1/");
  MessageBoxAnswerer boxes;
  driver.Click("nextButton");
  ASSERT_TRUE(WaitFor([&] { return !static_cast<CWizardPageConnection*>(driver.Wizard().page(0))->Checking(); }));
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], LoadString(IDS_PLAIN_SYNCML_ERROR));  // in plain words
  EXPECT_EQ(driver.Wizard().currentId(), CConfigWizard::kConnectionPage);
}

TEST_F(ConfigWizardTest, AServerThatNeverAnswersLeavesTheWindowResponsiveAndCancelEndsTheWizardAtOnce) {
  ScriptedReply silent = DatabaseReply(DefaultDatabases());
  silent.delay = milliseconds(60000);
  mServer.Enqueue(silent);
  WizardDriver driver(mConf, mServices);
  driver.FillConnection(mServer.BaseUrl() + "/");
  driver.Click("nextButton");
  ASSERT_TRUE(WaitFor([&] { return mServer.RequestCount() == 1; }));
  EXPECT_TRUE(driver.Find<QProgressBar>("busyIndicator")->isVisible());
  EXPECT_FALSE(driver.Find<QAbstractButton>("nextButton")->isEnabled());
  EXPECT_FALSE(driver.Find<QLineEdit>("urlEdit")->isEnabled());
  // The window's event loop goes on while the server is silent.
  bool timerRan = false;
  QTimer::singleShot(0, [&] { timerRan = true; });
  EXPECT_TRUE(WaitFor([&] { return timerRan; }, milliseconds(2000)));

  const auto before = std::chrono::steady_clock::now();
  driver.Click("cancelButton");
  EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(1000));
  EXPECT_FALSE(driver.Wizard().isVisible());
  EXPECT_EQ(driver.Wizard().result(), QDialog::Rejected);
  EXPECT_TRUE(mConf.Links().Empty());
}

// The abandoned post hangs up soon after the cancel rather than at the transport's time-out, and
// the wizard's end waits for it: no thread of the check outlives the wizard.
TEST_F(ConfigWizardTest, ACancelledCheckHangsUpBeforeTheWizardIsGone) {
  ScriptedReply silent = DatabaseReply(DefaultDatabases());
  silent.delay = milliseconds(60000);
  mServer.Enqueue(silent);
  auto driver = std::make_unique<WizardDriver>(mConf, mServices);
  driver->FillConnection(mServer.BaseUrl() + "/");
  driver->Click("nextButton");
  ASSERT_TRUE(WaitFor([&] { return mServer.RequestCount() == 1; }));
  driver->Click("cancelButton");
  const auto before = std::chrono::steady_clock::now();
  driver.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(5000));

  // The server serves one connection at a time: the next is answered only once the first hung up.
  mServer.Enqueue(DatabaseReply(DefaultDatabases()));
  SyncTransportOptions options;
  options.timeout = milliseconds(5000);
  EXPECT_NO_THROW(HttpSyncTransport(options).Post(mServer.Url(), "<SyncML/>"));
}

TEST_F(ConfigWizardTest, TheUpdateQuestionStartsTheUpdateOrPutsAppStateBackWhenItCannotStart) {
  for (const bool fail : {false, true}) {
    mUpdates.fail = fail;
    mServer.Enqueue(DatabaseReply({}, "513"));
    WizardDriver driver(mConf, mServices);
    driver.FillConnection(mServer.BaseUrl() + "/");
    MessageBoxAnswerer boxes;
    driver.Click("nextButton");
    ASSERT_TRUE(WaitFor([&] { return !static_cast<CWizardPageConnection*>(driver.Wizard().page(0))->Checking(); }));
    ASSERT_FALSE(boxes.texts.empty());
    EXPECT_EQ(boxes.texts[0], LoadString(IDS_UPDATE_AVAILABLE));
    if (fail) {
      ASSERT_TRUE(WaitFor([&] { return boxes.texts.size() == 2; }));
      EXPECT_EQ(mConf.AppState(), 0);
      EXPECT_EQ(driver.Wizard().currentId(), CConfigWizard::kConnectionPage);
      EXPECT_TRUE(driver.Wizard().isVisible());
    } else {
      EXPECT_EQ(mConf.AppState(), 1);
      EXPECT_EQ(driver.Wizard().result(), CConfigWizard::kUpdateStarted);
    }
  }
  EXPECT_EQ(mUpdates.starts, 2);
  // The download is not the window's: it ran on the check's thread.
  EXPECT_FALSE(mUpdates.onWindowThread);
}

// The package of an accepted update downloads on the check's thread: the window stays responsive
// and the wizard's Cancel stops the download within a second.
TEST_F(ConfigWizardTest, AnUpdateDownloadRunsOffTheWindowAndCancelStopsItWithinASecond) {
  class SlowUpdate final : public UpdateStarter {
   public:
    void StartUpdate(CConf&, const std::function<bool()>& abortRequested) override {
      started = true;
      while (!abortRequested()) std::this_thread::sleep_for(milliseconds(20));
      stopped = true;
      throw CUpdaterException(IDS_CANCELED_BY_USER);
    }
    std::atomic<bool> started = false;
    std::atomic<bool> stopped = false;
  } slow;
  mServices.updates = &slow;
  mServer.Enqueue(DatabaseReply({}, "513"));
  WizardDriver driver(mConf, mServices);
  driver.FillConnection(mServer.BaseUrl() + "/");
  MessageBoxAnswerer boxes;
  driver.Click("nextButton");
  ASSERT_TRUE(WaitFor([&] { return slow.started.load(); }));
  bool timerRan = false;
  QTimer::singleShot(0, [&] { timerRan = true; });
  EXPECT_TRUE(WaitFor([&] { return timerRan; }, milliseconds(500)));
  const auto before = std::chrono::steady_clock::now();
  driver.Click("cancelButton");
  EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(1000));
  EXPECT_TRUE(slow.stopped);
  EXPECT_EQ(driver.Wizard().result(), QDialog::Rejected);
  // Nothing but the update question was shown: a stopped download is no error to tell.
  EXPECT_EQ(boxes.texts, std::vector<std::string>{LoadString(IDS_UPDATE_AVAILABLE)});
}

// A new user types the address, the login and the password and takes every default: the wizard
// ends with each server database paired with a folder, both ways, under the identity its check used.
TEST_F(ConfigWizardTest, ANewConfigurationFinishesWithEveryDefaultTaken) {
  EXPECT_FALSE(mConf.HasKey(CConf::kSection, "remember_pass"));
  std::vector<OfferedDatabase> databases = DefaultDatabases();
  databases.push_back({"./work-contacts", "text/x-vcard", {}});
  mServer.Enqueue(DatabaseReply(databases));
  mDriver = std::make_unique<WizardDriver>(mConf, mServices);
  WizardDriver& driver = *mDriver;
  EXPECT_EQ(driver.Find<QLabel>("urlExample")->text(), Text(IDS_EXAMPLE_ADDRESS));
  EXPECT_TRUE(Text(IDS_EXAMPLE_ADDRESS).contains("https://sync.example.org/"));
  EXPECT_EQ(static_cast<QLabel*>(driver.Find<QWidget>("connectionFields")->findChild<QFormLayout*>()->labelForField(
                driver.Find<QLineEdit>("loginEdit")))->text(),
            "Login:");
  EXPECT_TRUE(driver.Find<QCheckBox>("rememberCheck")->isChecked());
  QTest::keyClicks(driver.Find<QLineEdit>("urlEdit"), QString::fromStdString(mServer.BaseUrl() + "/"));
  QTest::keyClicks(driver.Find<QLineEdit>("loginEdit"), "anna@example.org");
  QTest::keyClicks(driver.Find<QLineEdit>("passwordEdit"), "secret");
  driver.Click("nextButton");
  ASSERT_TRUE(driver.WaitForPage(CConfigWizard::kDatabasePage));
  for (const char* box : {"contactsCheck", "eventsCheck", "tasksCheck"}) EXPECT_TRUE(driver.Find<QCheckBox>(box)->isChecked()) << box;
  EXPECT_EQ(driver.Find<QComboBox>("applicationCombo")->currentText(), Text(IDS_APP_OUTLOOK));
  MessageBoxAnswerer boxes;
  while (driver.Wizard().isVisible()) {
    const bool last = driver.Find<QAbstractButton>("finishButton")->isVisible();
    driver.Click(last ? "finishButton" : "nextButton");
  }
  EXPECT_TRUE(boxes.texts.empty());
  ASSERT_EQ(driver.Wizard().result(), QDialog::Accepted);
  mConf.Save();

  // Every database the server listed, the fourth one under its own name.
  ASSERT_EQ(mConf.Links().Size(), 4u);
  EXPECT_EQ(mConf.Links().At(3).ServerDisplayName(), "work-contacts");
  EXPECT_EQ(mConf.Links().At(3).ServerUri(), "./work-contacts");
  const char* folders[] = {"Contacts A", "Calendar A", "Tasks A", "Contacts B"};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(mConf.Links().At(i).mMode, SYNC_MODE_TWO_WAY) << i;
    EXPECT_EQ(mConf.Links().At(i).mLocalName, folders[i]) << i;
  }
  EXPECT_TRUE(mConf.SyncAb() && mConf.SyncCal() && mConf.SyncTasks());
  EXPECT_TRUE(mConf.RememberPass());
  EXPECT_EQ(mConf.CheckComplete(), 0u);
  // The check named the client as the runs will.
  ASSERT_EQ(mServer.Requests().size(), 1u);
  EXPECT_EQ(SourceOf(mServer.Requests()[0].body), mConf.ClientStoreId());
  EXPECT_EQ(mConf.ClientStoreId().size(), CConf::kIdentityLength);
  CConf saved(mHome.ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_EQ(saved.ClientStoreId(), mConf.ClientStoreId());
}

// A server that refuses the registered request type with an HTTP error is asked once more with
// the older one; the check passes, and the type that worked is what the configuration keeps.
TEST_F(ConfigWizardTest, ACheckRefusedForItsRequestTypeTriesTheOtherAndKeepsIt) {
  mServer.SetResponder([](const RecordedRequest& request) {
    if (request.Header("Accept") == "application/vnd.syncml-xml") return DatabaseReply(DefaultDatabases());
    return ScriptedReply::Status(500, "unsupported content type");
  });
  WizardDriver driver(mConf, mServices);
  driver.FillConnection(mServer.BaseUrl() + "/");
  driver.Click("nextButton");
  ASSERT_TRUE(driver.WaitForPage(CConfigWizard::kDatabasePage));
  EXPECT_EQ(mServer.Requests().size(), 2u);
  EXPECT_EQ(mConf.SyncMimeSetting(), "application/vnd.syncml-xml");
  EXPECT_EQ(mConf.Links().Size(), 3u);
}

TEST_F(ConfigWizardTest, TheApplicationListFollowsWhatIsPresentAndTheConfiguredApplication) {
  struct Case {
    bool windowsContacts, outlook;
    int configured;
    const char* selected;  // nullptr: nothing selected
    int count;
  };
  for (const Case& c : {Case{true, true, -1, "Outlook profile", 2}, Case{true, true, 0, "Address book", 2},
                        Case{true, false, -1, "Address book", 1}, Case{false, true, 0, nullptr, 1},
                        Case{false, false, -1, nullptr, 0}}) {
    mServices.applications = {c.windowsContacts, c.outlook};
    mConf.SetSyncWithOutlook(c.configured);
    WizardDriver driver(mConf, mServices);
    auto* list = driver.Find<QComboBox>("applicationCombo");
    EXPECT_EQ(list->count(), c.count);
    EXPECT_EQ(list->isEnabled(), c.count > 0);
    EXPECT_EQ(list->currentText().toStdString(), c.selected != nullptr ? c.selected : "");
    // The choice is the configuration's at once.
    EXPECT_EQ(mConf.SyncWithOutlook(), c.selected == nullptr ? -1 : std::string(c.selected) == "Outlook profile" ? 1 : 0);
  }
}

TEST_F(ConfigWizardTest, WithWindowsContactsOnlyTheContactsPageIsUsedAndEventsAndTasksAreOff) {
  mConf.SetSyncAb(true);
  mConf.SetSyncCal(true);
  mConf.SetSyncTasks(true);
  OpenAtDatabasePage({ServerLink(DATA_TYPE_CONTACTS), ServerLink(DATA_TYPE_EVENTS), ServerLink(DATA_TYPE_TASKS)});
  auto* contacts = mDriver->Find<QCheckBox>("contactsCheck");
  auto* events = mDriver->Find<QCheckBox>("eventsCheck");
  auto* tasks = mDriver->Find<QCheckBox>("tasksCheck");
  EXPECT_TRUE(contacts->isEnabled() && events->isEnabled() && tasks->isEnabled());
  EXPECT_TRUE(events->isChecked());
  EXPECT_TRUE(mDriver->Find<QComboBox>("periodCombo")->isEnabled());

  mDriver->Choose("applicationCombo", Text(IDS_APP_WINDOWS_CONTACTS));
  EXPECT_FALSE(contacts->isEnabled());
  EXPECT_TRUE(contacts->isChecked());
  EXPECT_FALSE(events->isEnabled() || events->isChecked() || tasks->isEnabled() || tasks->isChecked());
  EXPECT_FALSE(mDriver->Find<QComboBox>("periodCombo")->isEnabled());

  mDriver->Click("nextButton");
  ASSERT_EQ(mDriver->Wizard().currentId(), CConfigWizard::kContactsLinksPage);
  EXPECT_FALSE(mConf.SyncCal() || mConf.SyncTasks());
  EXPECT_TRUE(mDriver->Find<QAbstractButton>("finishButton")->isVisible());
  EXPECT_FALSE(mDriver->Find<QAbstractButton>("nextButton")->isVisible());
}

TEST_F(ConfigWizardTest, NothingToSynchronizeKeepsTheDatabasePage) {
  mServices.applications = {false, false};
  OpenAtDatabasePage({ServerLink(DATA_TYPE_CONTACTS)});
  MessageBoxAnswerer boxes;
  mDriver->Click("finishButton");
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], LoadString(IDS_NOTHING_TO_SYNC));
  EXPECT_EQ(mDriver->Wizard().currentId(), CConfigWizard::kDatabasePage);
  EXPECT_TRUE(mDriver->Wizard().isVisible());
}

TEST_F(ConfigWizardTest, AReadOnlyContactsDatabaseUnderWindowsContactsOnlyDownloads) {
  mConf.SetSyncWithOutlook(LOCAL_APP_WINDOWS_CONTACTS);
  PassConnection(DefaultDatabases(true));
  mDriver->Click("nextButton");
  ASSERT_EQ(mDriver->Wizard().currentId(), CConfigWizard::kContactsLinksPage);
  auto* database = mDriver->Find<QComboBox>("databaseCombo");
  EXPECT_EQ(database->currentText(), Text(IDS_PERSONAL_CONTACTS));
  auto* modes = mDriver->Find<QComboBox>("modeCombo");
  ASSERT_EQ(modes->count(), 1);
  EXPECT_EQ(modes->itemText(0), Text(IDS_WAB_MODE_DOWNLOAD));
  modes->setCurrentIndex(0);
  mDriver->Click("finishButton");
  ASSERT_EQ(mDriver->Wizard().result(), QDialog::Accepted);
  ASSERT_EQ(mConf.Links().Size(), 1u);
  const CSyncLink& link = mConf.Links().At(0);
  EXPECT_EQ(link.mMode, SYNC_MODE_DOWNLOAD);
  EXPECT_EQ(link.mClientApp, LOCAL_APP_WINDOWS_CONTACTS);
  EXPECT_EQ(link.mLocalName, "Address book");
  EXPECT_EQ(link.mLocalPath, "OutlookExpressContacts");
  EXPECT_EQ(link.mServerName, "");
}

TEST_F(ConfigWizardTest, TwoGridRowsOnOneFolderAreRefusedAndAGoodGridIsMerged) {
  mConf.SetSyncAb(true);
  mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  OpenAtDatabasePage({ServerLink(DATA_TYPE_CONTACTS), ServerLink(DATA_TYPE_CONTACTS, "Family", 1)});
  mDriver->Click("nextButton");
  ASSERT_EQ(mDriver->Wizard().currentId(), CConfigWizard::kContactsLinksPage);
  auto* grid = mDriver->Find<QTableWidget>("linkGrid");
  ASSERT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(grid->item(1, 0)->text().toStdString(), "Family");
  // A read-only database offers "Don't synchronize" and "Download from server" only.
  auto* readOnlyModes = mDriver->Find<QComboBox>("modeCombo1");
  ASSERT_EQ(readOnlyModes->count(), 2);
  EXPECT_EQ(readOnlyModes->itemText(1), Text(IDS_MODE_DOWNLOAD));
  // Databases not set up yet start paired with a free folder each (the default database the
  // default folder), in both directions; the read-only one downloads.
  EXPECT_EQ(mDriver->Find<QComboBox>("folderCombo0")->currentText(), "Contacts A");
  EXPECT_EQ(mDriver->Find<QComboBox>("modeCombo0")->currentText(), Text(IDS_MODE_TWO_WAY));
  EXPECT_EQ(mDriver->Find<QComboBox>("folderCombo1")->currentText(), "Contacts B");
  EXPECT_EQ(mDriver->Find<QComboBox>("modeCombo1")->currentText(), Text(IDS_MODE_DOWNLOAD));

  MessageBoxAnswerer boxes;
  mDriver->Choose("modeCombo0", Text(IDS_MODE_OFF));
  mDriver->Choose("modeCombo1", Text(IDS_MODE_OFF));
  mDriver->Click("finishButton");
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], LoadString(IDS_NO_ACTIVE_LINK));

  mDriver->Choose("folderCombo0", "Contacts A");
  mDriver->Choose("modeCombo0", Text(IDS_MODE_TWO_WAY));
  mDriver->Choose("folderCombo1", "Contacts A");
  mDriver->Choose("modeCombo1", Text(IDS_MODE_DOWNLOAD));
  mDriver->Click("finishButton");
  ASSERT_EQ(boxes.texts.size(), 2u);
  EXPECT_EQ(boxes.texts[1], LoadString(IDS_FOLDER_USED_TWICE));
  EXPECT_EQ(mDriver->Wizard().currentId(), CConfigWizard::kContactsLinksPage);
  EXPECT_EQ(mConf.Links().At(0).mMode, SYNC_MODE_OFF);

  mDriver->Choose("folderCombo1", "Contacts B");
  mDriver->Click("finishButton");
  EXPECT_EQ(boxes.texts.size(), 2u);
  ASSERT_EQ(mDriver->Wizard().result(), QDialog::Accepted);
  EXPECT_EQ(mConf.Links().At(0).mMode, SYNC_MODE_TWO_WAY);
  EXPECT_EQ(mConf.Links().At(0).mLocalEntryId, "Contacts-a");
  EXPECT_EQ(mConf.Links().At(1).mMode, SYNC_MODE_DOWNLOAD);
  EXPECT_EQ(mConf.Links().At(1).mLocalPath, "/Personal/Contacts B");
  EXPECT_EQ(mConf.Links().At(1).mClientApp, LOCAL_APP_OUTLOOK);
}

TEST_F(ConfigWizardTest, OutlookPagesFollowEachOtherAndAGridStartsWithTheLinksFolderAndMode) {
  mConf.SetSyncAb(true);
  mConf.SetSyncCal(true);
  mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  CSyncLink calendar = ServerLink(DATA_TYPE_EVENTS);
  calendar.mLocalEntryId = "Calendar-b";
  calendar.mLocalStoreId = "store-1";
  calendar.mMode = SYNC_MODE_UPLOAD;
  OpenAtDatabasePage({ServerLink(DATA_TYPE_CONTACTS), calendar, ServerLink(DATA_TYPE_TASKS)});
  mDriver->Click("nextButton");
  ASSERT_EQ(mDriver->Wizard().currentId(), CConfigWizard::kContactsLinksPage);
  mDriver->Choose("folderCombo0", "Contacts A");
  mDriver->Choose("modeCombo0", Text(IDS_MODE_TWO_WAY));
  // Tasks are off, so the events page is the last one.
  mDriver->Click("nextButton");
  ASSERT_EQ(mDriver->Wizard().currentId(), CConfigWizard::kEventsLinksPage);
  EXPECT_TRUE(mDriver->Find<QAbstractButton>("finishButton")->isVisible());
  auto* page = mDriver->Wizard().currentPage();
  EXPECT_EQ(page->findChild<QComboBox*>("folderCombo0")->currentText().toStdString(), "Calendar B");
  EXPECT_EQ(page->findChild<QComboBox*>("modeCombo0")->currentText(), Text(IDS_MODE_UPLOAD));
}

// The Outlook links were the configuration's; with Windows Contacts chosen the next save takes
// the Windows Contacts identity.
TEST_F(ConfigWizardTest, ChangingTheApplicationToWindowsContactsMakesTheSavePickTheWabIdentity) {
  mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  mConf.SetUrl("http://x/");
  mConf.SetAppChanged(true);
  mConf.Save();
  const std::string outlookId = mConf.ClientStoreId();
  OpenAtDatabasePage({ServerLink(DATA_TYPE_CONTACTS)});
  mDriver->Choose("applicationCombo", Text(IDS_APP_WINDOWS_CONTACTS));
  mDriver->Click("nextButton");
  mDriver->Choose("modeCombo", Text(IDS_WAB_MODE_TWO_WAY));
  mDriver->Click("finishButton");
  ASSERT_EQ(mDriver->Wizard().result(), QDialog::Accepted);
  EXPECT_TRUE(mConf.AppChanged());
  mConf.Save();
  EXPECT_FALSE(mConf.ClientStoreId().empty());
  EXPECT_NE(mConf.ClientStoreId(), outlookId);
  CConf saved(mHome.ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_EQ(saved.SyncWithOutlook(), LOCAL_APP_WINDOWS_CONTACTS);
  EXPECT_EQ(saved.ClientStoreId(), mConf.ClientStoreId());
}

// Run as start-up and the main window run it: Finish saves, Cancel drops every edit.
TEST_F(ConfigWizardTest, RunWizardSavesAfterFinishAndReloadsAfterCancel) {
  mConf.SetUrl("http://saved.example.org/");
  mConf.Save();
  QtConfigurationDialogs dialogs(mServices, {});
  for (const bool finish : {false, true}) {
    mServer.Enqueue(DatabaseReply(DefaultDatabases()));
    ModalDriver driver([&](QWidget* modal) {
      auto* wizard = static_cast<CConfigWizard*>(modal);
      wizard->findChild<QLineEdit*>("urlEdit")->setText(QString::fromStdString(mServer.BaseUrl() + "/"));
      wizard->findChild<QLineEdit*>("loginEdit")->setText("user@example.org");
      wizard->findChild<QLineEdit*>("passwordEdit")->setText("secret");
      wizard->findChild<QAbstractButton*>("nextButton")->click();
      ASSERT_TRUE(WaitFor([&] { return wizard->currentId() == CConfigWizard::kDatabasePage; }));
      wizard->findChild<QComboBox*>("applicationCombo")->setCurrentIndex(0);  // Windows Contacts
      wizard->findChild<QAbstractButton*>("nextButton")->click();
      wizard->findChild<QComboBox*>("modeCombo")->setCurrentIndex(0);
      wizard->findChild<QAbstractButton*>(finish ? "finishButton" : "cancelButton")->click();
    });
    const WizardOutcome outcome = dialogs.RunWizard(mConf, nullptr);
    ASSERT_TRUE(driver.Ran());
    EXPECT_EQ(outcome, finish ? WizardOutcome::Finished : WizardOutcome::Cancelled);
    CConf saved(mHome.ConfigFolder());
    ASSERT_TRUE(saved.Load(false));
    EXPECT_EQ(mConf.Url(), saved.Url());
    EXPECT_EQ(saved.Url(), finish ? mServer.BaseUrl() + "/" : "http://saved.example.org/");
    EXPECT_EQ(saved.Links().Size(), finish ? 1u : 0u);
  }
}

}  // namespace
