// A new user's first start from an empty home, through the real dialogs: the language dialog,
// the wizard with only an address, a login and a password typed and every default taken (or one
// other local application picked), then the main window's first run; against SyncEvolution's server and the scripted one, each accepting any
// device that logs in.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/CConfDlg.h"
#include "app/CConfigWizard.h"
#include "app/CConflictDlg.h"
#include "app/CEmailListDlg.h"
#include "app/CVudirerAvazApp.h"
#include "app/CVudirerAvazDlg.h"
#include "app/CXListBox.h"
#include "app/HeadlessSyncRun.h"
#include "app/ProgramServices.h"
#include "app/QtConfigurationDialogs.h"
#include "app/QtPrompt.h"
#include "app/QtStartup.h"
#include "common/StringTable.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "stores/RunStoreFactory.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/WizardTestSupport.h"
#include "tests/support/StatefulSyncServer.h"
#include "tests/support/SyncPeer.h"

namespace {

using namespace std::chrono_literals;

// Answers the start-up's dialogs as they open, by their object names: OK to the language dialog,
// and in the wizard the three fields typed key by key, then Next (or Finish) on every page as it
// comes, nothing else touched. Any other dialog is a failure.
class FirstStartUser {
 public:
  // `application`, when given, is picked in the database page's list.
  FirstStartUser(std::string url, PeerLogin login, QString application = {})
      : mUrl(std::move(url)), mLogin(std::move(login)), mApplication(std::move(application)) {
    mTimer.setInterval(0);
    QObject::connect(&mTimer, &QTimer::timeout, [this] { Answer(QApplication::activeModalWidget()); });
    mTimer.start();
  }

  std::vector<std::string> seen;   // object names of the dialogs answered, in order
  std::vector<int> pages;          // the wizard's pages, in the order they were left
  std::string messages;            // texts of message boxes met on the way

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
    QTest::keyClicks(wizard.findChild<QLineEdit*>("urlEdit"), QString::fromStdString(mUrl));
    QTest::keyClicks(wizard.findChild<QLineEdit*>("loginEdit"), QString::fromStdString(mLogin.user));
    QTest::keyClicks(wizard.findChild<QLineEdit*>("passwordEdit"), QString::fromStdString(mLogin.password));
    MessageBoxAnswerer boxes;
    while (wizard.isVisible()) {
      const int page = wizard.currentId();
      if (page == CConfigWizard::kDatabasePage && !mApplication.isEmpty()) Pick(wizard, mApplication);
      auto* finish = wizard.findChild<QAbstractButton*>("finishButton");
      auto* button = finish->isVisible() ? finish : wizard.findChild<QAbstractButton*>("nextButton");
      pages.push_back(page);
      QTest::mouseClick(button, Qt::LeftButton);
      const bool moved = WaitFor([&] { return !wizard.isVisible() || wizard.currentId() != page || !boxes.texts.empty(); }, 60s);
      if (!moved || !boxes.texts.empty()) {
        for (const std::string& text : boxes.texts) messages += text + "\n";
        ADD_FAILURE() << "the wizard stopped on page " << page << ": " << messages;
        wizard.reject();
        return;
      }
    }
  }

  static void Pick(CConfigWizard& wizard, const QString& text) {
    auto* list = wizard.findChild<QComboBox*>("applicationCombo");
    const int wanted = list->findText(text);
    ASSERT_GE(wanted, 0) << text.toStdString();
    list->setCurrentIndex(wanted);
  }

  std::string mUrl;
  PeerLogin mLogin;
  QString mApplication;
  QTimer mTimer;
  bool mBusy = false;
};

// An empty home (no configuration, no local data), and a server with an account that accepts any
// device logging in with it.
class FirstStartTest : public ::testing::TestWithParam<PeerKind> {
 protected:
  void SetUp() override {
    const std::string missing = SyncPeer::MissingPrograms(GetParam());
    if (!missing.empty()) GTEST_SKIP() << PeerName(GetParam()) << " not installed: " << missing;
    EnsureQtApplication();
    mServer = SyncPeer::Make(GetParam());
    mServer->Start();
    mLogin = mServer->AcceptAnyDevice();
    mServices.applications = ApplicationAvailability::Detect();
    mServices.updates = &mUpdates;
  }
  void TearDown() override {
    CLog::Instance().Close();
    if (mServer) mServer->Stop();
  }

  // The main window's first run with the run's own stores: Sync clicked, the run waited for, the
  // first row synchronized and no message shown.
  void SyncInTheMainWindow(CConf& conf, QtConfigurationDialogs& dialogs) {
    RunStoreFactory stores{std::string()};
    ProgramUpdateStarter updates;
    CVudirerAvazDlg window(conf, dialogs, MainWindowServices{stores, updates, nullptr, {}, {}, mHome.ProgramFolder(), {}});
    ASSERT_TRUE(window.Initialize());
    window.show();
    MessageBoxAnswerer boxes;
    QTest::mouseClick(window.findChild<QAbstractButton*>("syncButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return window.RunActive(); }));
    ASSERT_TRUE(WaitFor([&] { return !window.RunActive() && conf.SyncRunning() == CConf::RUN_IDLE; }, 120s));
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
    EXPECT_EQ(window.List().RowNumber(0, RowState), SYNC_STATE_SYNCHRONIZED) << window.List().RowText(0, RowStateText).toStdString()
                                                                               << mServer->LogTail();
    EXPECT_TRUE(window.List().RowText(0, RowStateText).startsWith(QString::fromStdString(EnglishString(IDS_STATE_SYNCHRONIZED))));
  }

  TestHome mHome;
  ScopedEnv mNoFolderStore{"LARK_FOLDER_STORE", std::nullopt};
  ScopedEnv mOutlookPresent{"LARK_OUTLOOK_NOT_INSTALLED", std::nullopt};
  std::unique_ptr<SyncPeer> mServer;
  PeerLogin mLogin;
  ProgramUpdateStarter mUpdates;
  WizardServices mServices;
};

TEST_P(FirstStartTest, OnlyAddressLoginAndPasswordTypedReachASynchronizedContactsLink) {
  const auto started = std::chrono::steady_clock::now();
  QtConfigurationDialogs dialogs(mServices, {});
  QtStartup interaction("QuenorSync", &dialogs);
  FirstStartUser user(mServer->Url(), mLogin);
  CVudirerAvazApp application(interaction, mHome.ProgramFolder());
  ASSERT_EQ(application.InitInstance({}), StartupResult::Ready) << user.messages << mServer->LogTail();
  EXPECT_EQ(user.seen, (std::vector<std::string>{"CLangDlg", "configWizard"}));
  ASSERT_GE(user.pages.size(), 3u);
  EXPECT_EQ(user.pages[0], CConfigWizard::kConnectionPage);
  EXPECT_EQ(user.pages[1], CConfigWizard::kDatabasePage);

  // What the defaults made: nothing asked of the file by hand, every offered type on, each link
  // two-way with a folder, the password remembered.
  CConf& conf = application.Conf();
  EXPECT_EQ(conf.CheckComplete(), 0u);
  EXPECT_TRUE(conf.RememberPass());
  EXPECT_FALSE(conf.HasKey(CConf::kSection, "syncml_mime"));
  ASSERT_FALSE(conf.Links().Empty());
  EXPECT_EQ(conf.Links().At(0).mDataType, DATA_TYPE_CONTACTS);
  for (const CSyncLink& link : conf.Links()) {
    EXPECT_EQ(link.mMode, SYNC_MODE_TWO_WAY) << link.ServerUri();
    EXPECT_FALSE(link.mLocalPath.empty()) << link.ServerUri();
  }
  const std::string identity = conf.ClientStoreId();
  ASSERT_EQ(identity.size(), CConf::kIdentityLength);

  SyncInTheMainWindow(conf, dialogs);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 60s);

  // One device from the wizard's check on: the scripted server shows every message it got.
  if (StatefulSyncServer* scripted = mServer->Scripted()) {
    const auto exchanges = scripted->Exchanges();
    ASSERT_FALSE(exchanges.empty());
    for (const ServerExchange& exchange : exchanges) EXPECT_NE(exchange.request.find(identity), std::string::npos);
  }
  CLog::Instance().Close();
  if (const char* keep = std::getenv("LARK_E2E_LOG_DIR"); keep != nullptr && *keep != '\0') {
    std::filesystem::copy_file(conf.LogPath(), std::string(keep) + "/FirstStart." + PeerName(GetParam()) + ".Sync.log",
                               std::filesystem::copy_options::overwrite_existing);
  }
}

// "Files (vdir)" picked, every other default taken: the server's contact lands as a vCard 3.0 file
// in the default collection under ~/.local/share/larkspan/vdir, which the run made.
TEST_P(FirstStartTest, PickingFilesVdirSyncsIntoTheDefaultCollections) {
  mServer->PutItem("contacts", "server-ada", "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lovelace;Ada\r\nFN:Ada Lovelace\r\nEND:VCARD\r\n");
  QtConfigurationDialogs dialogs(mServices, {});
  QtStartup interaction("QuenorSync", &dialogs);
  FirstStartUser user(mServer->Url(), mLogin, QString::fromStdString(EnglishString(IDS_APP_VDIR)));
  CVudirerAvazApp application(interaction, mHome.ProgramFolder());
  ASSERT_EQ(application.InitInstance({}), StartupResult::Ready) << user.messages << mServer->LogTail();
  CConf& conf = application.Conf();
  ASSERT_EQ(conf.SyncWithOutlook(), LOCAL_APP_VDIR) << user.messages;
  EXPECT_EQ(conf.CheckComplete(), 0u);
  EXPECT_EQ(conf.GetValue(CConf::kSection, "VdirID"), conf.ClientStoreId());
  const std::string root = conf.VdirPath();
  EXPECT_EQ(root, CConf::DefaultVdirPath());
  ASSERT_FALSE(conf.Links().Empty());
  EXPECT_EQ(conf.Links().At(0).mLocalPath, "contacts");
  for (const CSyncLink& link : conf.Links()) EXPECT_EQ(link.mClientApp, LOCAL_APP_VDIR) << link.ServerUri();

  SyncInTheMainWindow(conf, dialogs);
  std::vector<std::string> cards;
  for (const auto& entry : std::filesystem::directory_iterator(root + "/contacts")) {
    if (entry.path().extension() == ".vcf") cards.push_back(ReadFileBytes(entry.path().string()));
  }
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_NE(cards[0].find("VERSION:3.0\r\n"), std::string::npos);
  EXPECT_NE(cards[0].find("FN:Ada Lovelace\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Servers, FirstStartTest, ::testing::Values(PeerKind::SyncEvolution, PeerKind::Scripted),
                         PeerTestName<::testing::TestParamInfo<PeerKind>>);

}  // namespace
