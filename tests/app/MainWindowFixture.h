// The main window under test: a configuration of three links (contacts, events, tasks) over a
// folder store, the local SyncEvolution server, fakes of the dialogs and the desktop, and
// transports the test can hold up or send into a server that never answers.
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ConfigurationDialogs.h"
#include "app/CVudirerAvazDlg.h"
#include "config/CConf.h"
#include "engine/SyncRunServices.h"
#include "tests/support/SilentServer.h"
#include "tests/support/SyncPeer.h"
#include "tests/support/TempDir.h"

class QMenu;

// Counts the dialogs the window opened.
class FakeDialogs final : public ConfigurationDialogs {
 public:
  WizardOutcome RunWizard(CConf&, QWidget*) override {
    ++wizards;
    return wizardOutcome;
  }
  bool RunOptions(CConf&, QWidget*) override {
    ++options;
    return false;
  }
  bool RunConnection(CConf&, QWidget*) override {
    ++connections;
    return false;
  }
  int wizards = 0;
  int options = 0;
  int connections = 0;
  WizardOutcome wizardOutcome = WizardOutcome::Cancelled;
};

// Refuses the update a server asks for.
class NoUpdate final : public UpdateStarter {
 public:
  void StartUpdate(CConf&, const std::function<bool()>&) override;
};

// The transports of the window's runs: the server check always goes to the configured server;
// the links' sessions wait while `Hold` is in force (a cancel ends the wait), or go to the silent
// server while `SendIntoSilence` is set. Each transport stops on a confirmed cancel and keeps a
// request type that worked as the program's do.
class TestTransports final : public SyncTransportFactory {
 public:
  std::unique_ptr<SyncTransport> CreateTransport(CConf& conf) override;

  void Hold();
  void Release();
  void SendIntoSilence(const std::string& silentUrl) { mSilentUrl = silentUrl; }
  // Sessions whose posting waits now.
  int Waiting() const { return mWaiting.load(); }
  // Messages posted (or about to be) so far, the server check's included.
  int Posts() const { return mPosts.load(); }
  void ResetPosts() { mPosts = 0; }

 private:
  class Transport;
  std::mutex mMutex;
  std::condition_variable mChanged;
  bool mHeld = false;
  std::string mSilentUrl;
  std::atomic<int> mSessions{0};
  std::atomic<int> mWaiting{0};
  std::atomic<int> mPosts{0};
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // The running SyncEvolution server (started by the first test that needs it); skips the test
  // when it is not installed.
  SyncPeer* Server();
  // Configures the server's account and builds the window; false (and the test skipped) when
  // there is no server.
  bool MakeWindowWithServer();
  // Builds the window over the configuration as it is.
  void MakeWindow();

  // A contact file in the folder store's contacts folder.
  void AddLocalContact(const std::string& name);
  QPushButton& Button(const char* name) const;
  QString SyncButtonText() const { return Button("syncButton").text(); }
  // Left click on row `row` of the list.
  void ClickRow(int row);
  // The row menu on screen, or null.
  QMenu* RowMenu() const;
  // Triggers the row menu entry `name` of row `row`.
  void ChooseFromRowMenu(int row, const char* name);
  // Waits until the window's run has ended.
  bool WaitForRunEnd(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  int StateOfRow(int row) const;
  QString TextOfRow(int row) const;
  // Answers the next message box with the button `button` ("yesButton", "noButton", "okButton")
  // and keeps its text in `text`.
  void AnswerNextBox(const char* button, QString* text = nullptr);

  TempDir mDir;
  std::string mStoreRoot;
  std::unique_ptr<CConf> mConf;
  FakeDialogs mDialogs;
  NoUpdate mUpdates;
  TestTransports mTransports;
  std::unique_ptr<SyncStoreFactory> mStores;
  std::vector<QUrl> mOpened;
  // What the desktop's opener answers (false: none could be started).
  bool mDesktopOpens = true;
  std::function<void()> mReloadLanguage;
  std::string mProgramFolder;
  // What the window's save question for the support report answers.
  std::string mReportPath;
  std::unique_ptr<CVudirerAvazDlg> mWindow;
  std::vector<std::unique_ptr<class ModalDriver>> mDrivers;
};
