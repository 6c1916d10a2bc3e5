// The main window's test fixture.
#include "tests/app/MainWindowFixture.h"

#include <QMenu>
#include <QMessageBox>
#include <QTest>

#include <filesystem>
#include <map>
#include <optional>

#include "app/CXListBox.h"
#include "common/CXException.h"
#include "config/CLog.h"
#include "stores/RunStoreFactory.h"
#include "stores/folder/FolderStore.h"
#include "syncml/SyncTransport.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/SyncRunTestSupport.h"

namespace {

std::unique_ptr<SyncPeer>& SharedServer() {
  static std::unique_ptr<SyncPeer> server;
  return server;
}

}  // namespace

void NoUpdate::StartUpdate(CConf&, const std::function<bool()>&) { throw CUpdaterException(std::string("no update in tests")); }

class TestTransports::Transport final : public SyncTransport {
 public:
  Transport(TestTransports& owner, CConf& conf) : mOwner(owner), mConf(conf) {
    SyncTransportOptions options = SyncTransportOptions::RememberingTypeIn(conf);
    options.abortRequested = [&conf] { return conf.SyncRunning() == CConf::RUN_CANCEL_REQUESTED; };
    mInner = std::make_unique<HttpSyncTransport>(std::move(options));
  }
  std::string Post(const std::string& url, const std::string& message) override {
    // A link's session opens with its Alert; the server check's message has none.
    if (!mLinkSession) mLinkSession = message.find("<Alert>") != std::string::npos;
    ++mOwner.mPosts;
    if (!*mLinkSession) return mInner->Post(url, message);
    {
      std::unique_lock lock(mOwner.mMutex);
      ++mOwner.mWaiting;
      // The cancel is not signalled: it is looked at as often as the real transport does.
      while (mOwner.mHeld && mConf.SyncRunning() != CConf::RUN_CANCEL_REQUESTED) {
        mOwner.mChanged.wait_for(lock, std::chrono::milliseconds(100));
      }
      --mOwner.mWaiting;
    }
    return mInner->Post(mOwner.mSilentUrl.empty() ? url : mOwner.mSilentUrl, message);
  }

 private:
  TestTransports& mOwner;
  const CConf& mConf;
  std::optional<bool> mLinkSession;
  std::unique_ptr<HttpSyncTransport> mInner;
};

std::unique_ptr<SyncTransport> TestTransports::CreateTransport(CConf& conf) { return std::make_unique<Transport>(*this, conf); }

void TestTransports::Hold() {
  std::lock_guard lock(mMutex);
  mHeld = true;
}

void TestTransports::Release() {
  {
    std::lock_guard lock(mMutex);
    mHeld = false;
  }
  mChanged.notify_all();
}

// ---- Fixture

void MainWindowTest::TearDownTestSuite() { SharedServer().reset(); }

void MainWindowTest::SetUp() {
  EnsureQtApplication();
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  mStoreRoot = mDir.Path() + "items/";
  mProgramFolder = mDir.Path() + "program/";
  mConf = std::make_unique<CConf>(mDir.Path() + "config");
  mConf->Load(true);
  mConf->SetLanguage("en");
  mConf->SetUrl("http://127.0.0.1:9/");
  mConf->SetLogin("tester");
  mConf->SetPassword("secret");
  mConf->SetRememberPass(true);
  mConf->SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  ConfigureThreeTwoWayLinks(*mConf);
  { FolderStore created(*mConf, mStoreRoot); }
  mConf->Save();
  mStores = std::make_unique<RunStoreFactory>(mStoreRoot);
}

void MainWindowTest::TearDown() {
  mTransports.Release();
  mDrivers.clear();
  mWindow.reset();
  CLog::Instance().Close();
  const char* keep = std::getenv("LARK_E2E_LOG_DIR");
  if (keep != nullptr && *keep != '\0') {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::error_code ignored;
    std::filesystem::copy_file(mConf->LogPath(), std::string(keep) + "/MainWindow." + name + ".log",
                               std::filesystem::copy_options::overwrite_existing, ignored);
  }
}

SyncPeer* MainWindowTest::Server() {
  if (!SyncPeer::MissingPrograms(PeerKind::SyncEvolution).empty()) return nullptr;
  std::unique_ptr<SyncPeer>& server = SharedServer();
  if (!server) {
    server = SyncPeer::Make(PeerKind::SyncEvolution);
    server->Start();
  }
  return server.get();
}

bool MainWindowTest::MakeWindowWithServer() {
  SyncPeer* server = Server();
  if (server == nullptr) return false;
  const std::string identity =
      "window-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" + std::to_string(::getpid());
  server->Clear();
  const PeerLogin login = server->AddPeer(identity);
  mConf->SetUrl(server->Url());
  mConf->SetLogin(login.user);
  mConf->SetPassword(login.password);
  mConf->SetClientStoreId(identity);
  mConf->SetValue(CConf::kSection, "OutlookID", identity);
  mConf->Save();
  MakeWindow();
  return true;
}

void MainWindowTest::MakeWindow() {
  MainWindowServices services{*mStores, mUpdates, &mTransports,
                              [this](const QUrl& url) {
                                mOpened.push_back(url);
                                return mDesktopOpens;
                              },
                              [this] { if (mReloadLanguage) mReloadLanguage(); }, mProgramFolder,
                              [this] { return mReportPath; }};
  mWindow = std::make_unique<CVudirerAvazDlg>(*mConf, mDialogs, std::move(services));
  ASSERT_TRUE(mWindow->Initialize());
  mWindow->show();
}

void MainWindowTest::AddLocalContact(const std::string& name) {
  WriteFileBytes(mStoreRoot + "contacts/" + name + ".vcf",
                 "BEGIN:VCARD\r\nVERSION:2.1\r\nN:" + name + ";Test\r\nFN:Test " + name + "\r\nTEL;WORK:+49 30 1234\r\nEND:VCARD\r\n");
}

QPushButton& MainWindowTest::Button(const char* name) const {
  auto* button = mWindow->findChild<QPushButton*>(QString::fromLatin1(name));
  if (button == nullptr) throw std::runtime_error(std::string("no button ") + name);
  return *button;
}

void MainWindowTest::ClickRow(int row) {
  CXListBox& list = mWindow->List();
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.RowCentre(row));
}

QMenu* MainWindowTest::RowMenu() const {
  for (QMenu* menu : mWindow->findChildren<QMenu*>(QStringLiteral("rowMenu"))) {
    if (menu->isVisible()) return menu;
  }
  return nullptr;
}

void MainWindowTest::ChooseFromRowMenu(int row, const char* name) {
  ClickRow(row);
  ASSERT_TRUE(WaitFor([&] { return RowMenu() != nullptr; })) << "no row menu for row " << row;
  QMenu* menu = RowMenu();
  auto* action = menu->findChild<QAction*>(QString::fromLatin1(name));
  ASSERT_NE(action, nullptr) << name;
  ASSERT_TRUE(action->isEnabled()) << name;
  menu->close();
  action->trigger();
  // The entries run queued, once the menu is gone.
  QCoreApplication::processEvents();
}

bool MainWindowTest::WaitForRunEnd(std::chrono::milliseconds timeout) {
  return WaitFor([&] { return !mWindow->RunActive() && mConf->SyncRunning() == CConf::RUN_IDLE; }, timeout);
}

int MainWindowTest::StateOfRow(int row) const { return mWindow->List().RowNumber(row, LinkRowRole::RowState); }

QString MainWindowTest::TextOfRow(int row) const { return mWindow->List().RowText(row, LinkRowRole::RowStateText); }

void MainWindowTest::AnswerNextBox(const char* button, QString* text) {
  const std::string name = button;
  mDrivers.push_back(std::make_unique<ModalDriver>([name, text](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && text != nullptr) *text = box->text();
    auto* chosen = modal->findChild<QPushButton*>(QString::fromStdString(name));
    if (chosen != nullptr) {
      chosen->click();
    } else {
      modal->close();
    }
  }));
}
