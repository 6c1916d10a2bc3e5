// The main window.
#include "app/CVudirerAvazDlg.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AboutDialog.h"
#include "app/CInfoDlg.h"
#include "app/CLangDlg.h"
#include "app/CXListBox.h"
#include "app/ConfigurationDialogs.h"
#include "app/LocalActions.h"
#include "app/LogViewerDlg.h"
#include "app/Mnemonics.h"
#include "app/QtText.h"
#include "app/TextViewerDlg.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncRun.h"

namespace {

constexpr const char* kOperation = "CVudirerAvazDlg";
// How often a running worker is looked at (a worker that ended without its end being handled).
constexpr int kWatchdogMilliseconds = 250;

QAction* NamedAction(QMenu& menu, const char* name) {
  QAction* action = menu.addAction(QString());
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

}  // namespace

// The images live in larkapp, a static library: naming its resource keeps them linked in.
static void LoadWindowImages() { Q_INIT_RESOURCE(larkspan); }

CVudirerAvazDlg::CVudirerAvazDlg(CConf& conf, ConfigurationDialogs& dialogs, MainWindowServices services, QWidget* parent)
    : QDialog(parent),
      mConf(conf),
      mDialogs(dialogs),
      mServices(std::move(services)),
      mPrompt(conf.ProductName(), this),
      mHandOver(*this),
      mWorkerPrompt(mPrompt, mHandOver),
      mRunPrompt(mWorkerPrompt),
      mWorkerObserver(*this, mHandOver),
      mTray((LoadWindowImages(), QIcon(QStringLiteral(":/larkspan/icon.png"))), this),
      mTitle(FormatText(LoadString(IDS_MAIN_TITLE), {conf.ProductName()})) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowIcon(QIcon(QStringLiteral(":/larkspan/icon.png")));
  setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
  mPrompt.SetLogOpener([this] { ViewLog(); });
  mRun = std::make_unique<CSyncRun>(
      conf, CSyncRun::Services{mWorkerObserver, mRunPrompt, mServices.stores, mServices.updates,
                               mServices.transports != nullptr ? mServices.transports : &mOwnTransports});
  BuildUi();
  RetranslateUi();
  connect(&mTray, &CSystemTray::aboutRequested, this, &CVudirerAvazDlg::ShowAbout);
  connect(&mTray, &CSystemTray::syncRequested, this, &CVudirerAvazDlg::OnSync);
  connect(&mTray, &CSystemTray::configurationRequested, this, &CVudirerAvazDlg::OpenOptions);
  connect(&mTray, &CSystemTray::exitRequested, this, &QWidget::close);
  connect(&mTray, &CSystemTray::restoreRequested, this, &CVudirerAvazDlg::RestoreFromTray);
  mWatchdog.setInterval(kWatchdogMilliseconds);
  connect(&mWatchdog, &QTimer::timeout, this, &CVudirerAvazDlg::CheckWorker);
}

// A worker blocked in a call to this window must be let go before it can be waited for.
CVudirerAvazDlg::~CVudirerAvazDlg() {
  mHandOver.Close();
  mRun.reset();
  if (mWaitCursor) QApplication::restoreOverrideCursor();
}

void CVudirerAvazDlg::BuildUi() {
  mMenuBar = new QMenuBar(this);
  BuildMenus();
  mLogo = new QLabel;
  mLogo->setObjectName(QStringLiteral("logo"));
  mList = new CXListBox;
  connect(mList, &CXListBox::rowClicked, this, &CVudirerAvazDlg::ShowRowMenu);
  auto* buttons = new QHBoxLayout;
  mOptionsButton = AddButton("optionsButton", &CVudirerAvazDlg::OpenOptions);
  mHelpButton = AddButton("helpButton", &CVudirerAvazDlg::OpenHelp);
  mSyncButton = AddButton("syncButton", &CVudirerAvazDlg::OnSync);
  mExitButton = AddButton("exitButton", &CVudirerAvazDlg::reject);
  for (QPushButton* button : {mOptionsButton, mHelpButton}) buttons->addWidget(button);
  buttons->addStretch();
  for (QPushButton* button : {mSyncButton, mExitButton}) buttons->addWidget(button);
  // No default button: Enter on the list must not start a run.
  auto* layout = new QVBoxLayout(this);
  layout->setMenuBar(mMenuBar);
  layout->addWidget(mLogo, 0, Qt::AlignLeft);
  layout->addWidget(mList, 1);
  layout->addLayout(buttons);
  resize(520, 420);
}

void CVudirerAvazDlg::BuildMenus() {
  mSyncMenu = mMenuBar->addAction(QString());
  mSyncMenu->setObjectName(QStringLiteral("menuSync"));
  connect(mSyncMenu, &QAction::triggered, this, &CVudirerAvazDlg::OnSync);
  mPreviewAction = mMenuBar->addAction(QString());
  mPreviewAction->setObjectName(QStringLiteral("menuPreview"));
  connect(mPreviewAction, &QAction::triggered, this, [this] { ShowPreview(); }, Qt::QueuedConnection);
  mOptionsMenu = mMenuBar->addMenu(QString());
  mOptionsMenu->setObjectName(QStringLiteral("menuOptions"));
  mWizardAction = NamedAction(*mOptionsMenu, "actionWizard");
  mConnectionAction = NamedAction(*mOptionsMenu, "actionConnection");
  mSettingsAction = NamedAction(*mOptionsMenu, "actionSyncSettings");
  mLanguageAction = NamedAction(*mOptionsMenu, "actionLanguage");
  mViewLogAction = NamedAction(*mOptionsMenu, "actionViewLog");
  mOptionsMenu->addSeparator();
  mExitAction = NamedAction(*mOptionsMenu, "actionExit");
  mHelpMenu = mMenuBar->addMenu(QString());
  mHelpMenu->setObjectName(QStringLiteral("menuHelp"));
  mHelpAction = NamedAction(*mHelpMenu, "actionHelp");
  mReportAction = NamedAction(*mHelpMenu, "actionReport");
  mAboutAction = NamedAction(*mHelpMenu, "actionAbout");
  connect(mReportAction, &QAction::triggered, this, &CVudirerAvazDlg::SaveReport, Qt::QueuedConnection);
  // Queued, as the row menu's entries.
  connect(mWizardAction, &QAction::triggered, this, &CVudirerAvazDlg::OpenWizard, Qt::QueuedConnection);
  connect(mConnectionAction, &QAction::triggered, this, &CVudirerAvazDlg::OpenConnection, Qt::QueuedConnection);
  connect(mSettingsAction, &QAction::triggered, this, &CVudirerAvazDlg::OpenOptions, Qt::QueuedConnection);
  connect(mLanguageAction, &QAction::triggered, this, &CVudirerAvazDlg::ChooseLanguage, Qt::QueuedConnection);
  connect(mViewLogAction, &QAction::triggered, this, &CVudirerAvazDlg::ViewLog, Qt::QueuedConnection);
  connect(mHelpAction, &QAction::triggered, this, &CVudirerAvazDlg::OpenHelp, Qt::QueuedConnection);
  connect(mAboutAction, &QAction::triggered, this, &CVudirerAvazDlg::ShowAbout, Qt::QueuedConnection);
  connect(mExitAction, &QAction::triggered, this, &QWidget::close, Qt::QueuedConnection);
}

QPushButton* CVudirerAvazDlg::AddButton(const char* name, void (CVudirerAvazDlg::*command)()) {
  auto* button = new QPushButton;
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this, command);
  return button;
}

void CVudirerAvazDlg::RetranslateUi() {
  const std::string& product = mConf.ProductName();
  setWindowTitle(ToQString(mTitle));
  mSyncMenu->setText(TableText(IDS_SYNC));
  mPreviewAction->setText(TableText(IDS_MENU_PREVIEW));
  mReportAction->setText(TableText(IDS_MENU_REPORT));
  mOptionsMenu->setTitle(TableText(IDS_OPTIONS));
  mWizardAction->setText(TableText(IDS_MENU_WIZARD));
  mConnectionAction->setText(TableText(IDS_MENU_CONNECTION));
  mSettingsAction->setText(TableText(IDS_MENU_SYNC_SETTINGS));
  mLanguageAction->setText(TableText(IDS_MENU_LANGUAGE));
  mViewLogAction->setText(TableText(IDS_VIEW_LOG));
  mHelpMenu->setTitle(TableText(IDS_HELP));
  mHelpAction->setText(TableText(IDS_HELP));
  mAboutAction->setText(TableText(IDS_ABOUT_MENU, product));
  mExitAction->setText(TableText(IDS_EXIT));
  AssignMnemonics(mMenuBar->actions());
  AssignMnemonics(mOptionsMenu->actions());
  AssignMnemonics(mHelpMenu->actions());
  mList->SetLocale(Locale());
  mOptionsButton->setText(TableText(IDS_OPTIONS));
  mHelpButton->setText(TableText(IDS_HELP));
  mExitButton->setText(TableText(IDS_EXIT));
  if (!mRunActive) mSyncButton->setText(TableText(IDS_SYNC));
  mTray.SetTexts(ToQString(mTitle), product);
  if (!mRunActive) Refill();
}

bool CVudirerAvazDlg::Initialize() {
  const QPixmap logo(QStringLiteral(":/larkspan/logo.png"));
  if (logo.isNull()) {
    LogError(kOperation, "Cannot load logo");
    if (!mConf.Silent()) mPrompt.Message(LoadString(IDS_CANNOT_LOAD_LOGO), PromptButtons::Ok, PromptKind::Error);
    return false;
  }
  mLogo->setPixmap(logo.scaledToHeight(48, Qt::SmoothTransformation));
  Refill();
  return true;
}

bool CVudirerAvazDlg::StartSilentRun() {
  if (mConf.CheckComplete() != 0) return false;
  OnSync();
  return true;
}

void CVudirerAvazDlg::Refill() {
  mList->Fill(mConf.Links());
  UpdateSyncEnabled();
}

void CVudirerAvazDlg::UpdateSyncEnabled() {
  if (mRunActive) return;
  const bool complete = mConf.CheckComplete() == 0;
  mSyncButton->setEnabled(complete);
  mSyncMenu->setEnabled(complete);
}

// ---- Runs

void CVudirerAvazDlg::OnSync() {
  if (mRunActive) {
    RequestCancel();
    return;
  }
  mRun->SetSelectedLink(-1);
  StartRun();
}

void CVudirerAvazDlg::OnRowSynchronize(int row) {
  if (mRunActive) {
    RequestCancel();
    return;
  }
  mRun->SetSelectedLink(row);
  StartRun();
}

void CVudirerAvazDlg::StartRun() {
  if (mConf.CheckComplete() != 0) return;
  switch (mRun->BeginSyncRun()) {
    case SyncRunStart::Started:
      mRunActive = true;
      mWatchdog.start();
      break;
    case SyncRunStart::CancelAsked:
    case SyncRunStart::ThreadFailed:
      break;
  }
}

void CVudirerAvazDlg::RequestCancel() {
  if (!mRun->RequestCancel()) return;
  mSyncButton->setText(TableText(IDS_CANCELING));
  mSyncButton->setEnabled(false);
  const int current = mRun->CurrentLink();
  mList->SetStateText(current, ToQString(mRun->LinkStatusText(static_cast<std::size_t>(current))));
  // A question the worker waits on is answered by the cancel; the transport stops by itself.
  mHandOver.AbandonPending();
}

bool CVudirerAvazDlg::TryClose() {
  if (!mRunActive) return true;
  mRun->SetCloseAfterSync(true);
  RequestCancel();
  return false;
}

void CVudirerAvazDlg::reject() {
  if (TryClose()) {
    mTray.Hide();
    QDialog::reject();
  }
}

void CVudirerAvazDlg::SyncBegin() {
  RestoreFromTray();
  if (!mWaitCursor) QApplication::setOverrideCursor(Qt::WaitCursor);
  mWaitCursor = true;
  SetMenusEnabled(false);
  mList->SetAllDisabled(true);
  mSyncButton->setText(TableText(IDS_CANCEL));
  mSyncButton->setEnabled(true);
  mChecking = true;
  mTextsBeforeCheck.clear();
  const int selected = mRun->SelectedLink();
  for (int row = 0; row < mList->RowCount(); ++row) {
    mTextsBeforeCheck << mList->RowText(row, RowStateText);
    if (selected < 0 || selected == row) mList->SetStateText(row, TableText(IDS_CHECKING_SERVER));
  }
}

void CVudirerAvazDlg::SyncLinkUpdate(int linkIndex, const CSyncLink& link) {
  if (mChecking) {
    mChecking = false;
    for (int row = 0; row < mTextsBeforeCheck.size(); ++row) mList->SetStateText(row, mTextsBeforeCheck[row]);
  }
  mList->UpdateRow(linkIndex, link);
}

void CVudirerAvazDlg::SyncEnd() { EndRun(); }

// Called while the worker waits in its end (or once it has ended): the links are the window's.
void CVudirerAvazDlg::EndRun() {
  if (!mRunActive) return;
  mRunActive = false;
  mChecking = false;
  mWatchdog.stop();
  RestoreFromTray();
  if (mWaitCursor) QApplication::restoreOverrideCursor();
  mWaitCursor = false;
  SetMenusEnabled(true);
  MarkLinksLeftRunning();
  for (CSyncLink& link : mConf.Links()) link.mRowDisabled = false;
  mSyncButton->setText(TableText(IDS_SYNC));
  Refill();
  // The program ends after a silent run, after a close asked for during the run, and when the
  // update the server asked for has started (it replaces the program); an error keeps it open.
  if (mRun->CloseAfterSync() || mConf.Silent() || mRun->LastOutcome().updateStarted) {
    QTimer::singleShot(0, this, &QWidget::close);
  } else if (mRunPrompt.TakeConnectionRequest()) {
    QTimer::singleShot(0, this, &CVudirerAvazDlg::OpenConnection);
  }
}

// A link still "in progress" when the run is over was stopped by a failure outside the link's
// own handling; its row says so instead of showing a run that never ends.
void CVudirerAvazDlg::MarkLinksLeftRunning() {
  bool changed = false;
  const std::string error = mRun->LastOutcome().error;
  for (CSyncLink& link : mConf.Links()) {
    if (link.mState != SYNC_STATE_IN_PROGRESS) continue;
    link.mState = SYNC_STATE_FAILED;
    link.mStatusText = FormatText(LoadString(IDS_RUN_STOPPED_IN_LINK), {error.empty() ? link.mStatusText : error});
    changed = true;
  }
  if (changed) mConf.Save();
}

// The worker clears the run flag as its very last step; a flag back at 0 while the window still
// counts a run means the end was never handled (it was released unhandled, or never sent).
void CVudirerAvazDlg::CheckWorker() {
  if (mRunActive && mConf.SyncRunning() == CConf::RUN_IDLE) {
    LogError(kOperation, "the sync worker ended without its end being handled");
    EndRun();
  }
}

void CVudirerAvazDlg::SetMenusEnabled(bool enabled) {
  mSyncMenu->setEnabled(enabled);
  mPreviewAction->setEnabled(enabled);
  mOptionsMenu->menuAction()->setEnabled(enabled);
  mHelpMenu->menuAction()->setEnabled(enabled);
  mOptionsButton->setEnabled(enabled);
}

// ---- Rows

void CVudirerAvazDlg::ShowRowMenu(int row, const QPoint& globalPos) {
  if (mList->IsRowDisabled(row)) return;
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("rowMenu"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const bool inProgress = mList->RowNumber(row, RowState) == SYNC_STATE_IN_PROGRESS;
  QAction* synchronize = NamedAction(*menu, "rowSynchronize");
  synchronize->setText(TableText(inProgress ? IDS_ROW_CANCEL : IDS_ROW_SYNCHRONIZE));
  QAction* details = NamedAction(*menu, "rowDetails");
  details->setText(TableText(IDS_LAST_SYNC_DETAILS));
  QAction* preview = NamedAction(*menu, "rowPreview");
  preview->setText(TableText(IDS_MENU_PREVIEW));
  QAction* restore = NamedAction(*menu, "rowRestore");
  restore->setText(TableText(IDS_MENU_RESTORE));
  QAction* remove = NamedAction(*menu, "rowDelete");
  remove->setText(TableText(IDS_ROW_DELETE));
  details->setEnabled(!mRunActive);
  preview->setEnabled(!mRunActive);
  restore->setEnabled(!mRunActive);
  remove->setEnabled(!mRunActive);
  AssignMnemonics(menu->actions());
  // Queued: a dialog or question opens once the menu is gone, not inside its mouse handling.
  connect(synchronize, &QAction::triggered, this, [this, row] { OnRowSynchronize(row); }, Qt::QueuedConnection);
  connect(details, &QAction::triggered, this, [this, row] { ShowDetails(row); }, Qt::QueuedConnection);
  connect(preview, &QAction::triggered, this, [this, row] { ShowPreview(row); }, Qt::QueuedConnection);
  connect(restore, &QAction::triggered, this, [this, row] { RestoreRow(row); }, Qt::QueuedConnection);
  connect(remove, &QAction::triggered, this, [this, row] { DeleteRow(row); }, Qt::QueuedConnection);
  menu->popup(globalPos);
}

void CVudirerAvazDlg::ShowDetails(int row) {
  if (mRunActive || row < 0 || static_cast<std::size_t>(row) >= mConf.Links().Size()) return;
  CInfoDlg dialog(mConf.Links().At(static_cast<std::size_t>(row)), Locale(), this);
  dialog.exec();
}

void CVudirerAvazDlg::DeleteRow(int row) {
  if (mRunActive || row < 0 || static_cast<std::size_t>(row) >= mConf.Links().Size()) return;
  if (mPrompt.Message(LoadString(IDS_CONFIRM_STOP_LINK), PromptButtons::YesNo, PromptKind::Question) != PromptAnswer::Yes) return;
  mConf.Links().Remove(static_cast<std::size_t>(row));
  mConf.Save();
  Refill();
}

// ---- Preview, restore, report

void CVudirerAvazDlg::ShowPreview(int row) {
  if (mRunActive) return;
  LocalActions actions(mConf, mServices.stores, mPrompt);
  const ActionResult result = actions.Preview(row);
  TextViewerDlg viewer(TableText(IDS_PREVIEW_TITLE), ToQString(result.text), this);
  viewer.exec();
}

void CVudirerAvazDlg::RestoreRow(int row) {
  if (mRunActive || row < 0 || static_cast<std::size_t>(row) >= mConf.Links().Size()) return;
  LocalActions actions(mConf, mServices.stores, mPrompt);
  const std::string when = actions.SnapshotTime(static_cast<std::size_t>(row), 1);
  if (when.empty()) {
    mPrompt.Message(LoadString(IDS_RESTORE_NO_SNAPSHOT), PromptButtons::Ok, PromptKind::Information);
    return;
  }
  const std::string question = FormatText(LoadString(IDS_RESTORE_CONFIRM), {mConf.Links().At(static_cast<std::size_t>(row)).mLocalName, when});
  if (mPrompt.Message(question, PromptButtons::YesNo, PromptKind::Warning) != PromptAnswer::Yes) return;
  const ActionResult result = actions.Restore(static_cast<std::size_t>(row), 1);
  mPrompt.Message(result.text, PromptButtons::Ok, result.succeeded ? PromptKind::Information : PromptKind::Error);
  Refill();
}

void CVudirerAvazDlg::SaveReport() {
  if (mRunActive) return;
  std::string path;
  if (mServices.askReportPath) {
    path = mServices.askReportPath();
  } else {
    path = QFileDialog::getSaveFileName(this, TableText(IDS_MENU_REPORT), QDir::home().filePath(QStringLiteral("larkspan-report.tar.gz")),
                                        TableText(IDS_REPORT_FILTER))
               .toStdString();
  }
  if (path.empty()) return;
  const ActionResult result = LocalActions(mConf, mServices.stores, mPrompt).Report(path);
  mPrompt.Message(result.text, PromptButtons::Ok, result.succeeded ? PromptKind::Information : PromptKind::Error);
}

// ---- Menus

void CVudirerAvazDlg::OpenOptions() {
  if (mRunActive) return;
  mDialogs.RunOptions(mConf, this);
  Refill();
}

void CVudirerAvazDlg::OpenWizard() {
  if (mRunActive) return;
  const WizardOutcome outcome = mDialogs.RunWizard(mConf, this);
  if (outcome == WizardOutcome::UpdateStarted) {
    close();
    return;
  }
  Refill();
}

void CVudirerAvazDlg::OpenConnection() {
  if (mRunActive) return;
  mDialogs.RunConnection(mConf, this);
  Refill();
}

void CVudirerAvazDlg::ChooseLanguage() {
  if (mRunActive) return;
  const std::string before = mConf.Language();
  CLangDlg dialog(mConf, mServices.programFolder, this);
  if (dialog.exec() != QDialog::Accepted || mConf.Language() == before) return;
  mConf.Save();
  if (mServices.reloadLanguage) mServices.reloadLanguage();
  RetranslateUi();
}

std::string CVudirerAvazDlg::HelpTextPath(const std::string& programFolder) { return programFolder + "help/larkspan.txt"; }

// The help is the program's manual page as text beside the program: it needs neither a desktop
// opener nor the server (whose help pages were written for another desktop).
void CVudirerAvazDlg::OpenHelp() {
  constexpr qint64 kLongestHelp = 1 << 20;
  QFile file(ToQString(HelpTextPath(mServices.programFolder)));
  if (!file.open(QIODevice::ReadOnly)) {
    LogError(kOperation, "no help text at " + file.fileName().toStdString());
    mPrompt.Message(LoadString(IDS_HELP_NOT_FOUND), PromptButtons::Ok, PromptKind::Information);
    return;
  }
  TextViewerDlg viewer(TableText(IDS_HELP), QString::fromUtf8(file.read(kLongestHelp)), this);
  viewer.exec();
}

// The desktop's opener when there is one, else the program's own viewer.
void CVudirerAvazDlg::ViewLog() {
  LogViewerDlg::ShowLog(mConf.LogPath(), this, [this](const QUrl& url) { return OpenUrl(url); });
}

bool CVudirerAvazDlg::OpenUrl(const QUrl& url) {
  const bool opened = mServices.openUrl ? mServices.openUrl(url) : QDesktopServices::openUrl(url);
  if (!opened) LogError(kOperation, "cannot open " + url.toString().toStdString());
  return opened;
}

QLocale CVudirerAvazDlg::Locale() const { return InterfaceLocale(mConf.Language()); }

// Escape closes dialogs; it does not end the program.
void CVudirerAvazDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CVudirerAvazDlg::ShowAbout() {
  AboutDialog dialog(mConf.ProductName(), mConf.ProductVersion(), mConf.LegalNotice(), this);
  dialog.exec();
}

// ---- Tray

void CVudirerAvazDlg::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized() || !mConf.Systray()) return;
  // Hidden only once the icon is there: without a notification area the window stays minimized.
  if (mTray.Show()) QTimer::singleShot(0, this, &QWidget::hide);
}

void CVudirerAvazDlg::RestoreFromTray() {
  mTray.Hide();
  if (isHidden() || isMinimized()) {
    showNormal();
    raise();
    activateWindow();
  }
}
