// The main window without a run: its texts in every language, the Sync command's enabling, the
// row menu's delete, help and log, About, the tray, and a server check that fails.
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "app/CSystemTray.h"
#include "app/CXListBox.h"
#include "app/CXListBoxDelegate.h"
#include "app/RowProgress.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/MainWindowFixture.h"

namespace {

namespace fs = std::filesystem;

QString English(unsigned id) { return QString::fromStdString(EnglishString(id)); }

QAction* Action(QWidget& window, const char* name) { return window.findChild<QAction*>(QString::fromLatin1(name)); }

TEST_F(MainWindowTest, ShowsEveryTextAndOneRowPerLink) {
  MakeWindow();
  EXPECT_EQ(mWindow->windowTitle(), " QuenorSync");
  EXPECT_EQ(Button("optionsButton").text(), English(IDS_OPTIONS));
  EXPECT_EQ(Button("helpButton").text(), English(IDS_HELP));
  EXPECT_EQ(SyncButtonText(), English(IDS_SYNC));
  EXPECT_EQ(Button("exitButton").text(), English(IDS_EXIT));
  EXPECT_EQ(Action(*mWindow, "menuSync")->text(), English(IDS_SYNC));
  EXPECT_EQ(Action(*mWindow, "actionWizard")->text(), English(IDS_MENU_WIZARD));
  EXPECT_EQ(Action(*mWindow, "actionSyncSettings")->text(), English(IDS_MENU_SYNC_SETTINGS));
  EXPECT_EQ(Action(*mWindow, "actionLanguage")->text(), English(IDS_MENU_LANGUAGE));
  EXPECT_EQ(Action(*mWindow, "actionViewLog")->text(), English(IDS_VIEW_LOG));
  EXPECT_EQ(Action(*mWindow, "actionAbout")->text(), "&About QuenorSync...");
  CXListBox& list = mWindow->List();
  ASSERT_EQ(list.RowCount(), 3);
  EXPECT_EQ(list.RowText(1, RowLocalName), "Calendar");
  EXPECT_EQ(list.RowText(1, RowServerName), English(IDS_PERSONAL_EVENTS));
  EXPECT_EQ(list.RowText(2, RowServerName), English(IDS_TASKS));
  EXPECT_EQ(list.RowText(0, RowStateText), English(IDS_STATE_NEVER));
}

TEST_F(MainWindowTest, MovingTheMouseOverARowSelectsIt) {
  MakeWindow();
  CXListBox& list = mWindow->List();
  QTest::mouseMove(list.viewport(), list.RowCentre(2));
  ASSERT_TRUE(WaitFor([&] { return list.currentIndex().row() == 2; }));
  QTest::mouseMove(list.viewport(), list.RowCentre(0));
  EXPECT_TRUE(WaitFor([&] { return list.currentIndex().row() == 0; }));
}

TEST_F(MainWindowTest, RowHeightFollowsTheFontsAndStateImagesOnlyForRunStates) {
  EnsureQtApplication();
  CXListBoxDelegate delegate;
  QFont bold = QApplication::font();
  bold.setPointSize(9);
  bold.setBold(true);
  QFont small = QApplication::font();
  small.setPointSize(7);
  EXPECT_EQ(delegate.RowHeight(), 2 * QFontMetrics(bold).height() + QFontMetrics(small).height() + 14);
  EXPECT_TRUE(delegate.StateImage(SYNC_STATE_NEVER).isNull());
  for (int state : {SYNC_STATE_SYNCHRONIZED, SYNC_STATE_FAILED, SYNC_STATE_IN_PROGRESS}) {
    EXPECT_FALSE(delegate.StateImage(state).isNull()) << state;
  }
  for (int type : {0, 1, 2}) EXPECT_FALSE(delegate.TypeImage(type).isNull()) << type;
}

TEST_F(MainWindowTest, RowProgressIsReadFromTheSendingTextOfARunningLink) {
  CSyncLink link;
  link.mState = SYNC_STATE_IN_PROGRESS;
  link.mStatusText = FormatText(LoadString(IDS_SENDING_ITEM), {4, 20});
  link.mServerCounts = {2, 1, 0};
  const RowProgress progress = RowProgress::Of(link);
  EXPECT_EQ(progress.sent, 4);
  EXPECT_EQ(progress.toSend, 20);
  EXPECT_EQ(progress.received, 3);
  EXPECT_EQ(CXListBoxDelegate::ProgressText(4, 20, 3), "4 of 20 sent, 3 received");
  link.mStatusText = EnglishString(IDS_MESSAGE_RECEIVED);
  EXPECT_EQ(RowProgress::Of(link).toSend, 0);
  link.mStatusText = "Sending item 4 of 20 to the server and more";
  EXPECT_EQ(RowProgress::Of(link).toSend, 0);
  link.mState = SYNC_STATE_SYNCHRONIZED;
  EXPECT_FALSE(RowProgress::Of(link).Any());
}

TEST_F(MainWindowTest, SyncIsEnabledOnlyWhileTheConfigurationIsComplete) {
  mConf->SetPassword("");
  mConf->SetLogin("");
  MakeWindow();
  EXPECT_FALSE(Button("syncButton").isEnabled());
  EXPECT_FALSE(Action(*mWindow, "menuSync")->isEnabled());
  mConf->SetLogin("tester");
  mConf->SetPassword("secret");
  Action(*mWindow, "actionSyncSettings")->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(mDialogs.options, 1);
  EXPECT_TRUE(Button("syncButton").isEnabled());
  EXPECT_TRUE(Action(*mWindow, "menuSync")->isEnabled());
}

TEST_F(MainWindowTest, DeletingARowAsksAndRemovesTheLinkOnlyOnYes) {
  MakeWindow();
  QString question;
  AnswerNextBox("noButton", &question);
  ChooseFromRowMenu(1, "rowDelete");
  EXPECT_EQ(question, English(IDS_CONFIRM_STOP_LINK));
  EXPECT_EQ(mWindow->List().RowCount(), 3);

  AnswerNextBox("yesButton");
  ChooseFromRowMenu(1, "rowDelete");
  ASSERT_EQ(mWindow->List().RowCount(), 2);
  EXPECT_EQ(mWindow->List().RowText(1, RowLocalName), "Tasks");
  CConf saved(mConf->ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  ASSERT_EQ(saved.Links().Size(), 2u);
  EXPECT_EQ(saved.Links().At(0).mLocalName, "Contacts");
  EXPECT_EQ(saved.Links().At(1).mLocalName, "Tasks");
}

// The help is the manual page as text beside the program, shown in the program: no browser, and
// no address on the server; without it the user is told where the manual is.
TEST_F(MainWindowTest, HelpShowsTheManualPageBesideTheProgramOrSaysWhereItIs) {
  MakeWindow();
  QString shown;
  AnswerNextBox("okButton", &shown);
  QTest::mouseClick(&Button("helpButton"), Qt::LeftButton);
  EXPECT_TRUE(WaitFor([&] { return !shown.isEmpty(); }));
  EXPECT_EQ(shown, English(IDS_HELP_NOT_FOUND));

  const std::string help = CVudirerAvazDlg::HelpTextPath(mProgramFolder);
  fs::create_directories(fs::path(help).parent_path());
  WriteFileBytes(help, "LARKSPAN(1)\n\nSYNOPSIS\n       larkspan [/silent]\n");
  QString text;
  ModalDriver viewer([&text](QWidget* dialog) {
    EXPECT_EQ(dialog->objectName(), "textViewer");
    EXPECT_EQ(dialog->windowTitle(), English(IDS_HELP));
    text = dialog->findChild<QPlainTextEdit*>("textView")->toPlainText();
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  Action(*mWindow, "actionHelp")->trigger();
  EXPECT_TRUE(WaitFor([&] { return viewer.Ran(); }));
  EXPECT_TRUE(text.contains("larkspan [/silent]")) << text.toStdString();
  EXPECT_TRUE(mOpened.empty()) << "help went to a browser";
  EXPECT_TRUE(mWindow->isVisible());
}

TEST_F(MainWindowTest, ViewLogOpensTheLogOnlyWhenItExists) {
  MakeWindow();
  fs::remove(mConf->LogPath());
  Action(*mWindow, "actionViewLog")->trigger();
  QCoreApplication::processEvents();
  EXPECT_TRUE(mOpened.empty());
  WriteFileBytes(mConf->LogPath(), "log\n");
  Action(*mWindow, "actionViewLog")->trigger();
  QCoreApplication::processEvents();
  ASSERT_EQ(mOpened.size(), 1u);
  EXPECT_EQ(mOpened[0], QUrl::fromLocalFile(QString::fromStdString(mConf->LogPath())));
}

TEST_F(MainWindowTest, AboutShowsTheVersionTexts) {
  MakeWindow();
  QString title;
  QString text;
  mDrivers.push_back(std::make_unique<ModalDriver>([&](QWidget* dialog) {
    title = dialog->windowTitle();
    text = dialog->findChild<QLabel*>("aboutText")->text();
    dialog->close();
  }));
  Action(*mWindow, "actionAbout")->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(title, " About QuenorSync");
  EXPECT_EQ(text.toStdString(), FormatText(EnglishString(IDS_ABOUT_TEXT), {mConf->ProductName(), mConf->ProductVersion(),
                                                                           mConf->LegalNotice()}));
}

TEST_F(MainWindowTest, ChangingTheLanguageReappliesEveryText) {
  fs::create_directories(mProgramFolder + "lang");
  fs::copy_file(LARK_BINARY_DIR "/bin/lang/resource.de.so", mProgramFolder + "lang/resource.de.so");
  mReloadLanguage = [this] { LoadLanguageLibrary(mProgramFolder + "lang/resource." + mConf->Language() + ".so"); };
  MakeWindow();
  mDrivers.push_back(std::make_unique<ModalDriver>([](QWidget* dialog) {
    auto* combo = dialog->findChild<QComboBox*>("languageCombo");
    combo->setCurrentIndex(combo->findData(QStringLiteral("de")) >= 0 ? combo->findData(QStringLiteral("de")) : 1);
    dialog->findChild<QPushButton*>("okButton")->click();
  }));
  Action(*mWindow, "actionLanguage")->trigger();
  QCoreApplication::processEvents();
  const struct { const char* button; unsigned id; } buttons[] = {
      {"optionsButton", IDS_OPTIONS}, {"helpButton", IDS_HELP}, {"syncButton", IDS_SYNC}, {"exitButton", IDS_EXIT}};
  EXPECT_EQ(mConf->Language(), "de");
  for (const auto& [name, id] : buttons) {
    EXPECT_EQ(Button(name).text().toStdString(), LoadString(id)) << name;
    EXPECT_NE(LoadString(id), EnglishString(id)) << name;
  }
  EXPECT_EQ(Button("optionsButton").text(), "Optionen");
  EXPECT_EQ(Action(*mWindow, "actionViewLog")->text().toStdString(), LoadString(IDS_VIEW_LOG));
  EXPECT_EQ(mWindow->List().RowText(0, RowStateText).toStdString(), LoadString(IDS_STATE_NEVER));
  CConf saved(mConf->ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_EQ(saved.Language(), "de");
  FreeLanguageLibrary();
}

TEST_F(MainWindowTest, TrayMenuOffersShowSyncConfigurationAboutAndExitWithShowAsDefault) {
  MakeWindow();
  CSystemTray& tray = mWindow->Tray();
  QStringList names;
  QStringList texts;
  for (QAction* action : tray.Menu().actions()) {
    names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
    if (!action->isSeparator()) texts << action->text();
  }
  EXPECT_EQ(names, (QStringList{"trayShow", "-", "traySync", "trayConfiguration", "trayAbout", "-", "trayExit"}));
  EXPECT_EQ(texts, (QStringList{"S&how", "&Sync", "&Configuration...", "&About QuenorSync...", "E&xit"}));
  EXPECT_EQ(tray.Menu().defaultAction()->objectName(), "trayShow");
  // Every entry reachable by its own letter.
  QSet<QChar> mnemonics;
  for (const QString& text : texts) {
    const int amp = text.indexOf('&');
    ASSERT_GE(amp, 0) << text.toStdString();
    mnemonics.insert(text.at(amp + 1).toLower());
  }
  EXPECT_EQ(mnemonics.size(), texts.size());
  tray.Menu().findChild<QAction*>("trayConfiguration")->trigger();
  EXPECT_EQ(mDialogs.options, 1);
}

// A click on the icon (and the click a double click begins with) only brings the window back;
// Show does the same; a run starts from "Sync" alone.
TEST_F(MainWindowTest, TrayClickShowsTheWindowWithoutStartingARunAndSyncStartsOne) {
  mConf->SetUrl("http://127.0.0.1:9/");
  MakeWindow();
  CSystemTray& tray = mWindow->Tray();
  {
    // A run would ask the (unreachable) server and show its failure: none may come.
    bool runStarted = false;
    ModalDriver noRun([&runStarted](QWidget* box) {
      runStarted = true;
      if (auto* no = box->findChild<QPushButton*>("noButton")) QTest::mouseClick(no, Qt::LeftButton);
    });
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
      mWindow->hide();
      tray.Activate(reason);
      EXPECT_TRUE(mWindow->isVisible()) << reason;
    }
    mWindow->hide();
    tray.Menu().findChild<QAction*>("trayShow")->trigger();
    EXPECT_TRUE(mWindow->isVisible());
    tray.Activate(QSystemTrayIcon::Context);
    tray.Activate(QSystemTrayIcon::MiddleClick);
    QCoreApplication::processEvents();
    EXPECT_FALSE(runStarted) << "a click on the icon started a run";
    EXPECT_FALSE(mWindow->RunActive());
  }

  // "Sync" asks the (unreachable) server: the failure is the proof that a run was started.
  QString text;
  AnswerNextBox("noButton", &text);
  tray.Menu().findChild<QAction*>("traySync")->trigger();
  EXPECT_TRUE(WaitFor([&] { return !text.isEmpty(); })) << "Sync started no run";
}

TEST_F(MainWindowTest, WithoutANotificationAreaMinimizingKeepsTheWindow) {
  ASSERT_FALSE(CSystemTray::Available());  // offscreen
  mConf->SetSystray(true);
  MakeWindow();
  mWindow->showMinimized();
  QCoreApplication::processEvents();
  EXPECT_FALSE(mWindow->Tray().IsShown());
  EXPECT_FALSE(mWindow->isHidden());
}

TEST_F(MainWindowTest, AnUnreachableServerIsExplainedAndOffersTheConnectionSettings) {
  SilentServer unused;  // a port that is surely closed once it is gone
  const std::string closed = unused.Url();
  mConf->SetUrl("http://127.0.0.1:9/");
  MakeWindow();
  QString text;
  AnswerNextBox("yesButton", &text);
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  EXPECT_TRUE(text.startsWith(English(IDS_FIX_CONNECTION))) << text.toStdString();
  EXPECT_FALSE(text.contains(English(IDS_COMMUNICATION_ERROR)));
  EXPECT_EQ(mDialogs.wizards, 1);
  EXPECT_TRUE(mWindow->isVisible());
  EXPECT_FALSE(mWindow->RunActive());
}

TEST_F(MainWindowTest, AServerCheckThatFailsClosesTheWindowUnlessTheUserFixesTheConnection) {
  mConf->SetUrl("http://127.0.0.1:9/");
  MakeWindow();
  QSignalSpy finished(mWindow.get(), &QDialog::finished);
  AnswerNextBox("noButton");
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  EXPECT_EQ(finished.count(), 1);
  EXPECT_EQ(mDialogs.wizards, 0);
  EXPECT_EQ(mConf->Links().At(0).mState, SYNC_STATE_NEVER);
}

TEST_F(MainWindowTest, ErrorsTheUserCanFixGetAdviceOthersStayAsTheyAre) {
  EXPECT_EQ(FixableErrorAdvice(EnglishString(IDS_AUTHENTICATION_ERROR)), EnglishString(IDS_FIX_LOGIN));
  EXPECT_EQ(FixableErrorAdvice(FormatText(EnglishString(IDS_HTTP_ERROR), {401})), EnglishString(IDS_FIX_LOGIN));
  EXPECT_EQ(FixableErrorAdvice(EnglishString(IDS_TIMED_OUT)), EnglishString(IDS_FIX_TIMEOUT));
  EXPECT_EQ(FixableErrorAdvice(EnglishString(IDS_INCORRECT_SERVER_ADDRESS)), EnglishString(IDS_FIX_ADDRESS));
  EXPECT_EQ(FixableErrorAdvice(FormatText(EnglishString(IDS_HTTP_ERROR), {500})), std::nullopt);
  EXPECT_EQ(FixableErrorAdvice(EnglishString(IDS_DATABASE_NOT_FOUND)), std::nullopt);
}

}  // namespace
