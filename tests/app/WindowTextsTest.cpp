// The windows and dialogs of a new user's path in English, German and French: no text is cut
// off (every label, button and drop list has the room its text needs), and with
// LARK_SCREENSHOT_DIR set each is saved there as a PNG (scripts/screenshots-config, which also
// runs them at twice the scale).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <functional>

#include "app/AboutDialog.h"
#include "app/CConfDlg.h"
#include "app/CConflictDlg.h"
#include "app/CEmailListDlg.h"
#include "app/CInfoDlg.h"
#include "app/CVudirerAvazDlg.h"
#include "app/CXListBox.h"
#include "app/CXListBoxDelegate.h"
#include "app/CloginPassDlg.h"
#include "app/ConnectionDlg.h"
#include "app/LogViewerDlg.h"
#include "app/QtPrompt.h"
#include "app/QtText.h"
#include "app/WindowRunServices.h"
#include "common/StringTable.h"
#include "stores/RunStoreFactory.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/app/WizardTestSupport.h"
#include "tests/support/SyncRunTestSupport.h"

namespace {

// What of `root` does not show its whole text: "<object name or class>: <text>".
std::vector<std::string> CutOffTexts(QWidget& root) {
  std::vector<std::string> cut;
  const auto report = [&](const QWidget& widget, const QString& text) {
    const QString name = widget.objectName().isEmpty() ? QString::fromLatin1(widget.metaObject()->className()) : widget.objectName();
    cut.push_back((name + ": " + text).toStdString());
  };
  for (QWidget* widget : root.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&root) || widget->width() <= 0) continue;
    if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && !label->text().isEmpty()) {
      // A wrapped label may be a pixel short at some scales; a lost line is a dozen.
      const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height() + 2
                                          : label->sizeHint().width() <= label->width();
      if (!fits) report(*label, label->text() + QStringLiteral(" (%1 of %2)").arg(label->width()).arg(label->sizeHint().width()));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget); button != nullptr && !button->text().isEmpty()) {
      if (button->sizeHint().width() > button->width()) report(*button, button->text());
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      // Every entry, not only the one shown, must fit the closed list.
      QComboBox probe;
      probe.setFont(combo->font());
      for (int i = 0; i < combo->count(); ++i) probe.addItem(combo->itemText(i));
      probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
      if (probe.sizeHint().width() > combo->width()) report(*combo, combo->currentText());
    }
  }
  // A window manager shows the title in the frame: the window must be wide enough for it.
  QFont titleFont = root.font();
  titleFont.setBold(true);
  if (root.isWindow() && QFontMetrics(titleFont).horizontalAdvance(root.windowTitle()) + 100 > root.width()) {
    report(root, QStringLiteral("title ") + root.windowTitle());
  }
  return cut;
}

class WindowTextsTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    const std::string code = GetParam();
    if (code != "en") {
      ASSERT_TRUE(LoadLanguageLibrary(std::string(LARK_BINARY_DIR "/bin/lang/resource.") + code + ".so"));
    }
    mConf.Load(true);
    mConf.SetLanguage(code);
    mConf.SetUrl("https://sync.example.org/");
    mConf.SetLogin("anna@example.org");
    mConf.SetPassword("secret");
    mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    const char* folder = std::getenv("LARK_SCREENSHOT_DIR");
    if (folder != nullptr && *folder != '\0') mFolder = std::string(folder) + "/" + code + "-";
  }
  void TearDown() override {
    if (std::string(GetParam()) != "en") FreeLanguageLibrary();
  }

  // Shows `window` at its own size, checks its texts, and saves it when screenshots are asked for.
  void Look(QWidget& window, const std::string& name) {
    if (!window.isVisible()) window.show();
    QApplication::processEvents();
    for (const std::string& text : CutOffTexts(window)) ADD_FAILURE() << name << ": cut off: " << text;
    if (!mFolder.empty()) {
      EXPECT_TRUE(window.grab().save(QString::fromStdString(mFolder + name + ".png"))) << name;
    }
    ++mLooked;
  }

  // Runs `show` and looks at the message box it opens (then answers it with its escape button).
  void LookAtMessageBox(const std::function<void()>& show, const std::string& name) {
    ModalDriver driver([&](QWidget* box) {
      Look(*box, name);
      QTest::keyClick(box, Qt::Key_Escape);
    });
    show();
    EXPECT_TRUE(driver.Ran()) << name;
  }

  TestHome mHome;
  CConf mConf{mHome.ConfigFolder()};
  std::string mFolder;
  int mLooked = 0;
};

TEST_P(WindowTextsTest, TheWizardsPagesShowTheirWholeTexts) {
  ScriptedSyncServer server;
  std::vector<OfferedDatabase> databases = DefaultDatabases();
  databases.push_back({"./work-contacts", "text/x-vcard", {}});
  server.Enqueue(DatabaseReply(databases));
  WizardServices services;
  services.applications = {true, true};
  services.outlookFolders = TestFolders;
  WizardDriver driver(mConf, services);
  Look(driver.Wizard(), "wizard-1-connection");
  driver.SetText("urlEdit", server.BaseUrl() + "/");
  driver.Click("nextButton");
  ASSERT_TRUE(driver.WaitForPage(CConfigWizard::kDatabasePage));
  Look(driver.Wizard(), "wizard-2-database");
  for (const char* page : {"wizard-3-contacts", "wizard-4-events", "wizard-5-tasks"}) {
    driver.Click("nextButton");
    Look(driver.Wizard(), page);
  }
  // The grid's cells: every drop list shows its whole text.
  auto* grid = driver.Wizard().currentPage()->findChild<QTableWidget*>("linkGrid");
  ASSERT_NE(grid, nullptr);
  driver.Wizard().back();
  driver.Wizard().back();
  EXPECT_EQ(driver.Wizard().currentPage()->findChild<QTableWidget*>("linkGrid")->rowCount(), 2);

  mConf.SetSyncWithOutlook(LOCAL_APP_WINDOWS_CONTACTS);
  WizardDriver contacts(mConf, services);
  contacts.Wizard().setStartId(CConfigWizard::kDatabasePage);
  contacts.Wizard().restart();
  contacts.Click("nextButton");
  Look(contacts.Wizard(), "wizard-6-windows-contacts");
}

TEST_P(WindowTextsTest, TheMainWindowItsRowsAndItsDialogsShowTheirWholeTexts) {
  ConfigureThreeTwoWayLinks(mConf);
  CSyncLink& contacts = mConf.Links().At(0);
  contacts.mState = SYNC_STATE_SYNCHRONIZED;
  contacts.mLastSyncTime = 1796212800;
  contacts.mLocalCounts = {3, 1, 0};
  contacts.mServerCounts = {12, 0, 1};
  contacts.mCountsKnown = true;
  CSyncLink& events = mConf.Links().At(1);
  events.mState = SYNC_STATE_FAILED;
  events.mLastSyncTime = 1796212800;
  events.mStatusText = LoadString(IDS_AUTHENTICATION_ERROR);
  CSyncLink& tasks = mConf.Links().At(2);
  tasks.mState = SYNC_STATE_CANCELLED;
  tasks.mLastSyncTime = 1796212800;
  mConf.Save();
  WriteFileBytes(mConf.LogPath(), "CheckServer\tBegin\r\nCSyncML::SendRequest\tHTTP status 500\r\n");

  FakeDialogs dialogs;
  NoUpdate updates;
  RunStoreFactory stores{mHome.Root() + "items"};
  CVudirerAvazDlg window(mConf, dialogs, MainWindowServices{stores, updates, nullptr, [](const QUrl&) { return false; }, {}, {}, {}});
  ASSERT_TRUE(window.Initialize());
  Look(window, "main-window");
  // The rows are drawn, not laid out: their texts must fit the list as it opens.
  CXListBox& list = window.List();
  const auto* delegate = static_cast<const CXListBoxDelegate*>(list.itemDelegate());
  for (int row = 0; row < list.RowCount(); ++row) {
    EXPECT_TRUE(delegate->TextsFit(list.model()->index(row, 0), list.viewport()->width())) << list.RowText(row, RowStateText).toStdString();
  }
  auto* options = window.findChild<QMenu*>("menuOptions");
  options->popup(window.mapToGlobal(QPoint(40, 20)));
  Look(*options, "main-window-options-menu");
  options->close();
  window.ShowRowMenu(0, window.mapToGlobal(QPoint(200, 120)));
  QMenu* rowMenu = window.findChild<QMenu*>("rowMenu");
  ASSERT_NE(rowMenu, nullptr);
  Look(*rowMenu, "main-window-row-menu");
  rowMenu->close();

  for (int row = 0; row < 3; ++row) {
    CInfoDlg details(mConf.Links().At(static_cast<std::size_t>(row)), InterfaceLocale(GetParam()));
    Look(details, "details-" + std::to_string(row));
  }
  ConnectionDlg connection(mConf, mConf.ProductName());
  Look(connection, "connection");
  CloginPassDlg login(mConf.ProductName(), LoginRequest{"anna@example.org", "", false});
  Look(login, "login");
  CConfDlg settings(mConf, mConf.ProductName());
  Look(settings, "options");
  LogViewerDlg viewer(mConf.LogPath());
  Look(viewer, "log-viewer");
  AboutDialog about(mConf.ProductName(), mConf.ProductVersion(), mConf.LegalNotice());
  Look(about, "about");

  QtPrompt prompt(mConf.ProductName(), &window);
  prompt.SetLogOpener([] {});
  FixableErrorPrompt errors(prompt);
  LookAtMessageBox([&] { errors.Message(FormatText(LoadString(IDS_HTTP_ERROR), {500}), PromptButtons::Ok, PromptKind::Error); },
                   "error-server");
  LookAtMessageBox([&] { errors.Message(LoadString(IDS_AUTHENTICATION_ERROR), PromptButtons::Ok, PromptKind::Error); },
                   "error-password");
  EXPECT_EQ(mLooked, 13);
}

// The conflict and e-mail dialogs, for the screenshots only (their texts are another matter's).
TEST_P(WindowTextsTest, ScreenshotsOfTheResolutionDialogs) {
  if (mFolder.empty()) GTEST_SKIP() << "LARK_SCREENSHOT_DIR not set";
  CConflictDlg conflict({"Lara Local", "lara"});
  conflict.show();
  QApplication::processEvents();
  EXPECT_TRUE(conflict.grab().save(QString::fromStdString(mFolder + "conflict.png")));
  CEmailListDlg email({"Ann Example", "annie", {"ann@home.example", "", "ann@work.example"}, {"", "", "W"}});
  email.show();
  QApplication::processEvents();
  EXPECT_TRUE(email.grab().save(QString::fromStdString(mFolder + "email.png")));
}

INSTANTIATE_TEST_SUITE_P(Languages, WindowTextsTest, ::testing::Values("en", "de", "fr"),
                         [](const ::testing::TestParamInfo<const char*>& language) { return std::string(language.param); });

}  // namespace
