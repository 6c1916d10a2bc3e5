// The main window: the list of links, the runs started, followed and cancelled from it, the
// menus, the details and About dialogs, and the notification-area icon.
#pragma once

#include <QDialog>
#include <QLocale>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

#include "app/CSystemTray.h"
#include "app/GuiHandOver.h"
#include "app/QtPrompt.h"
#include "app/WindowRunServices.h"
#include "engine/SyncObserver.h"

class CConf;
class CSyncRun;
class CXListBox;
class ConfigurationDialogs;
class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;
class SyncStoreFactory;
class UpdateStarter;

// What the window's runs and commands use besides the configuration and the dialogs. Not owned;
// everything must outlive the window.
struct MainWindowServices {
  SyncStoreFactory& stores;
  UpdateStarter& updates;
  // Null: HTTP transports that stop at once on a confirmed cancel.
  SyncTransportFactory* transports = nullptr;
  // Opens an address or a file with the desktop's default application, false when none could be
  // started; empty: QDesktopServices.
  std::function<bool(const QUrl&)> openUrl;
  // Loads the configured language's texts after the language dialog changed it; empty: none.
  std::function<void()> reloadLanguage;
  // Where the language dialog looks for the language libraries (ending in "/").
  std::string programFolder;
  // Asks where to save the support report; "" when the user cancelled. Empty: a save dialog.
  std::function<std::string()> askReportPath;
};

// The window lives on the user-interface thread from the end of start-up to the end of the
// program; closing it (finished()) ends the program, which happens only by Exit (button, menu,
// tray), the window's close, the end of a silent run or of a run whose update started. Errors
// leave it open. It owns the run driver: the worker's notifications and questions reach the
// window through a blocking hand-over and are handled here while the worker waits. The window
// never waits for the worker from inside those calls; a watchdog notices a worker that ended
// without its end having been handled.
//
// Keyboard: the menus have mnemonics, Escape does not close the window, Enter on the list and
// the Menu key or Shift+F10 open the current row's menu; no button is a default button.
//
// Object names for tests and tools: "linkList", "syncButton", "optionsButton", "helpButton",
// "exitButton", "logo"; the menu entries "menuSync", "menuOptions", "menuHelp", "actionWizard",
// "actionConnection", "actionSyncSettings", "actionLanguage", "actionViewLog", "actionExit" (the
// Options menu), "actionHelp", "actionAbout", "actionReport" (the Help menu), "menuPreview" (beside
// "menuSync"); the row menu "rowMenu" with "rowSynchronize", "rowDetails", "rowPreview",
// "rowRestore", "rowDelete".
class CVudirerAvazDlg : public QDialog, public SyncObserver {
  Q_OBJECT

 public:
  CVudirerAvazDlg(CConf& conf, ConfigurationDialogs& dialogs, MainWindowServices services, QWidget* parent = nullptr);
  ~CVudirerAvazDlg() override;

  // Loads the logo and fills the list; false (after saying so, unless silent) when the logo
  // cannot be loaded: the program then ends.
  bool Initialize();
  // The silent start: a run of every link at once when the configuration is complete; false
  // when it is not (the program then ends without a run).
  bool StartSilentRun();

  // The commands of the buttons, menus, row menu and tray.
  void OnSync();
  void OnRowSynchronize(int row);
  void ShowRowMenu(int row, const QPoint& globalPos);
  void ShowDetails(int row);
  void DeleteRow(int row);
  void OpenOptions();
  void OpenWizard();
  void OpenConnection();
  void ChooseLanguage();
  void OpenHelp();
  void ViewLog();
  void ShowAbout();
  // The preview of every link (`row` -1) or of one, in the text viewer.
  void ShowPreview(int row = -1);
  // After the user's confirmation, the row's link back to its state before its last run that
  // changed local items; the result in a message.
  void RestoreRow(int row);
  // Asks for a file and saves the support report there; the result in a message.
  void SaveReport();
  void RestoreFromTray();

  // The help text (the manual page as text) of the program in `programFolder` (ending in "/").
  static std::string HelpTextPath(const std::string& programFolder);

  bool RunActive() const { return mRunActive; }
  CXListBox& List() { return *mList; }
  CSystemTray& Tray() { return mTray; }
  CSyncRun& Run() { return *mRun; }
  // Re-applies every text in the current language.
  void RetranslateUi();

  // SyncObserver, on the window's thread (through the hand-over).
  void SyncBegin() override;
  void SyncLinkUpdate(int linkIndex, const CSyncLink& link) override;
  void SyncEnd() override;

 public slots:
  void reject() override;

 protected:
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildUi();
  void BuildMenus();
  QPushButton* AddButton(const char* name, void (CVudirerAvazDlg::*command)());
  void StartRun();
  void RequestCancel();
  // Whether the window may close now; during a run it asks to cancel and closes when the run ends.
  bool TryClose();
  void EndRun();
  void MarkLinksLeftRunning();
  void SetMenusEnabled(bool enabled);
  void UpdateSyncEnabled();
  void Refill();
  bool OpenUrl(const QUrl& url);
  // What the rows and the details write times with: the interface language's conventions.
  QLocale Locale() const;
  void CheckWorker();

  CConf& mConf;
  ConfigurationDialogs& mDialogs;
  MainWindowServices mServices;
  CancellableHttpTransports mOwnTransports;
  QtPrompt mPrompt;
  GuiHandOver mHandOver;
  GuiThreadPrompt mWorkerPrompt;
  FixableErrorPrompt mRunPrompt;
  GuiThreadObserver mWorkerObserver;
  std::unique_ptr<CSyncRun> mRun;
  CSystemTray mTray;
  QTimer mWatchdog;
  std::string mTitle;
  bool mRunActive = false;
  bool mWaitCursor = false;
  // The server check of the run is going on: the rows it is for say so until the first link starts.
  bool mChecking = false;
  QStringList mTextsBeforeCheck;

  QMenuBar* mMenuBar = nullptr;
  QAction* mSyncMenu = nullptr;
  QAction* mPreviewAction = nullptr;
  QAction* mReportAction = nullptr;
  QMenu* mOptionsMenu = nullptr;
  QMenu* mHelpMenu = nullptr;
  QAction* mWizardAction = nullptr;
  QAction* mConnectionAction = nullptr;
  QAction* mSettingsAction = nullptr;
  QAction* mLanguageAction = nullptr;
  QAction* mViewLogAction = nullptr;
  QAction* mHelpAction = nullptr;
  QAction* mAboutAction = nullptr;
  QAction* mExitAction = nullptr;
  QLabel* mLogo = nullptr;
  CXListBox* mList = nullptr;
  QPushButton* mOptionsButton = nullptr;
  QPushButton* mHelpButton = nullptr;
  QPushButton* mSyncButton = nullptr;
  QPushButton* mExitButton = nullptr;
};
