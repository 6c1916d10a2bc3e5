// The main window without a run: its texts in every language, the Sync command's enabling, the
// row menu's delete, help and log, About, the tray, and a server check that fails.
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <iostream>

#include "app/CSystemTray.h"
#include "app/CXListBox.h"
#include "app/CXListBoxDelegate.h"
#include "app/QtText.h"
#include "app/RowProgress.h"
#include "app/WindowRunServices.h"
#include "common/Format.h"
#include "common/Prompt.h"
#include "common/StringTable.h"
#include "engine/LocalSnapshots.h"
#include "stores/CDatabaseObject.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/ScriptedSyncServer.h"

namespace {

namespace fs = std::filesystem;

QString English(unsigned id) { return QString::fromStdString(EnglishString(id)); }

QAction* Action(QWidget& window, const char* name) { return window.findChild<QAction*>(QString::fromLatin1(name)); }

// An entry's text without its mnemonic mark.
QString Plain(const QAction* action) { return QString(action->text()).remove(QRegularExpression(QStringLiteral("&(?!&)"))); }

// The letters marked as mnemonics in `actions`; empty when an entry has none.
QString Mnemonics(const QList<QAction*>& actions) {
  QString letters;
  for (const QAction* action : actions) {
    if (action->isSeparator()) continue;
    const qsizetype at = action->text().indexOf(u'&');
    if (at < 0 || at + 1 >= action->text().size()) return {};
    letters += action->text()[at + 1].toLower();
  }
  return letters;
}

TEST_F(MainWindowTest, ShowsEveryTextAndOneRowPerLink) {
  MakeWindow();
  EXPECT_EQ(mWindow->windowTitle(), " QuenorSync");
  EXPECT_EQ(Button("optionsButton").text(), English(IDS_OPTIONS));
  EXPECT_EQ(Button("helpButton").text(), English(IDS_HELP));
  EXPECT_EQ(SyncButtonText(), English(IDS_SYNC));
  EXPECT_EQ(Button("exitButton").text(), English(IDS_EXIT));
  EXPECT_EQ(Plain(Action(*mWindow, "menuSync")), English(IDS_SYNC));
  EXPECT_EQ(Plain(Action(*mWindow, "actionWizard")), English(IDS_MENU_WIZARD));
  EXPECT_EQ(Plain(Action(*mWindow, "actionConnection")), "Connection...");
  EXPECT_EQ(Plain(Action(*mWindow, "actionSyncSettings")), English(IDS_MENU_SYNC_SETTINGS));
  EXPECT_EQ(Plain(Action(*mWindow, "actionLanguage")), English(IDS_MENU_LANGUAGE));
  EXPECT_EQ(Plain(Action(*mWindow, "actionViewLog")), English(IDS_VIEW_LOG));
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

// The desktop's opener when it starts; the program's own viewer without one, and for a log not
// written yet (which the viewer says).
TEST_F(MainWindowTest, ViewLogOpensTheLogWithTheDesktopOrInTheProgramsOwnViewer) {
  MakeWindow();
  const auto viewerText = []() -> QString {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == QLatin1String("logViewer") && widget->isVisible()) {
        const QString text = widget->findChild<QPlainTextEdit*>("logText")->toPlainText();
        widget->close();
        return text;
      }
    }
    return QStringLiteral("<no viewer>");
  };
  fs::remove(mConf->LogPath());
  Action(*mWindow, "actionViewLog")->trigger();
  QCoreApplication::processEvents();
  EXPECT_TRUE(mOpened.empty());
  EXPECT_EQ(viewerText(), English(IDS_LOG_EMPTY));

  WriteFileBytes(mConf->LogPath(), "first line\r\nlast line\r\n");
  Action(*mWindow, "actionViewLog")->trigger();
  QCoreApplication::processEvents();
  ASSERT_EQ(mOpened.size(), 1u);
  EXPECT_EQ(mOpened[0], QUrl::fromLocalFile(QString::fromStdString(mConf->LogPath())));
  EXPECT_EQ(viewerText(), "<no viewer>");

  mDesktopOpens = false;  // no xdg-open or the like
  Action(*mWindow, "actionViewLog")->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(viewerText(), "first line\nlast line\n");
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
  EXPECT_EQ(Plain(Action(*mWindow, "actionViewLog")).toStdString(), LoadString(IDS_VIEW_LOG));
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
  mConf->SetUrl("http://127.0.0.1:9/");
  MakeWindow();
  QString text;
  AnswerNextBox("yesButton", &text);
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return mDialogs.connections == 1; }));
  EXPECT_TRUE(text.startsWith(English(IDS_FIX_CONNECTION))) << text.toStdString();
  EXPECT_TRUE(text.contains("Options > Connection"));
  EXPECT_FALSE(text.contains(English(IDS_COMMUNICATION_ERROR)));
  EXPECT_TRUE(mWindow->isVisible());
  EXPECT_FALSE(mWindow->RunActive());
}

// However the error box is answered (OK, No, Escape), the window stays, its rows marked failed
// with the reason; only Yes to the connection settings opens them.
TEST_F(MainWindowTest, AnErrorBoxAnsweredOkNoOrEscapeLeavesTheWindowOpenWithTheRowsMarked) {
  ScriptedSyncServer failing;
  failing.SetResponder([](const RecordedRequest&) { return ScriptedReply::Status(500, "Internal Server Error"); });
  struct Case {
    const char* name;
    std::string url;
    std::function<void(QWidget*)> answer;
    QString expected;  // the start of the box's text
  };
  const auto click = [](const char* button) { return [button](QWidget* box) { box->findChild<QPushButton*>(button)->click(); }; };
  const auto escape = [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); };
  const QString serverError = QString::fromStdString(FormatText(EnglishString(IDS_PLAIN_SERVER_ERROR), {500}));
  const Case cases[] = {
      {"HTTP 500, OK", failing.BaseUrl() + "/", click("okButton"), serverError},
      {"HTTP 500, Escape", failing.BaseUrl() + "/", escape, serverError},
      {"unreachable, No", "http://127.0.0.1:9/", click("noButton"), English(IDS_FIX_CONNECTION)},
      {"unreachable, Escape", "http://127.0.0.1:9/", escape, English(IDS_FIX_CONNECTION)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mConf->SetUrl(c.url);
    MakeWindow();
    QSignalSpy finished(mWindow.get(), &QDialog::finished);
    QString text;
    mDrivers.push_back(std::make_unique<ModalDriver>([&](QWidget* box) {
      text = static_cast<QMessageBox*>(box)->text();
      c.answer(box);
    }));
    QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return mDrivers.back()->Ran() && !mWindow->RunActive(); }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(text.startsWith(c.expected)) << text.toStdString();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(mWindow->isVisible());
    EXPECT_EQ(mDialogs.connections, 0);
    EXPECT_EQ(StateOfRow(0), SYNC_STATE_FAILED);
    EXPECT_TRUE(TextOfRow(0).startsWith(English(IDS_STATE_FAILED))) << TextOfRow(0).toStdString();
    EXPECT_TRUE(Button("syncButton").isEnabled());
  }
  // The server was asked with both spellings of the type before the error was shown.
  EXPECT_EQ(failing.Requests().size(), 4u);
}

TEST_F(MainWindowTest, EscapeDoesNotCloseTheWindowAndEnterOnTheListStartsNoRun) {
  MakeWindow();
  QSignalSpy finished(mWindow.get(), &QDialog::finished);
  QTest::keyClick(mWindow.get(), Qt::Key_Escape);
  EXPECT_EQ(finished.count(), 0);
  EXPECT_TRUE(mWindow->isVisible());

  // Enter, the Menu key and Shift+F10 on the list open the row's menu; none starts a run.
  CXListBox& list = mWindow->List();
  list.setCurrentIndex(list.model()->index(1, 0));
  for (const auto& [key, modifiers] : {std::pair{Qt::Key_Return, Qt::KeyboardModifiers()}, std::pair{Qt::Key_Menu, Qt::KeyboardModifiers()},
                                       std::pair{Qt::Key_F10, Qt::KeyboardModifiers(Qt::ShiftModifier)}}) {
    QTest::keyClick(&list, key, modifiers);
    ASSERT_TRUE(WaitFor([&] { return RowMenu() != nullptr; })) << key;
    EXPECT_EQ(list.currentIndex().row(), 1);
    EXPECT_FALSE(mWindow->RunActive());
    // Its entries have their letters too.
    const QString letters = Mnemonics(RowMenu()->actions());
    // Synchronize, details, preview, restore, delete.
    EXPECT_EQ(letters.size(), 5) << letters.toStdString();
    EXPECT_EQ(QSet<QChar>(letters.begin(), letters.end()).size(), letters.size()) << letters.toStdString();
    RowMenu()->close();
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(mTransports.Posts(), 0);
}

// Every entry of every menu can be reached by its letter, in each language; Exit is no help.
TEST_F(MainWindowTest, MenusHaveMnemonicsInEveryLanguageAndExitIsAnOption) {
  fs::create_directories(mProgramFolder + "lang");
  for (const char* code : {"de", "fr"}) {
    fs::copy_file(std::string(LARK_BINARY_DIR "/bin/lang/resource.") + code + ".so", mProgramFolder + "lang/resource." + code + ".so");
  }
  MakeWindow();
  auto* bar = mWindow->findChild<QMenuBar*>();
  auto* options = mWindow->findChild<QMenu*>("menuOptions");
  auto* help = mWindow->findChild<QMenu*>("menuHelp");
  EXPECT_TRUE(options->actions().contains(Action(*mWindow, "actionExit")));
  EXPECT_FALSE(help->actions().contains(Action(*mWindow, "actionExit")));
  for (const char* code : {"en", "de", "fr"}) {
    SCOPED_TRACE(code);
    if (std::string(code) != "en") {
      ASSERT_TRUE(LoadLanguageLibrary(mProgramFolder + "lang/resource." + code + ".so"));
    }
    mWindow->RetranslateUi();
    for (const QList<QAction*>& actions : {bar->actions(), options->actions(), help->actions()}) {
      const QString letters = Mnemonics(actions);
      ASSERT_FALSE(letters.isEmpty());
      EXPECT_EQ(QSet<QChar>(letters.begin(), letters.end()).size(), letters.size()) << letters.toStdString();
    }
    FreeLanguageLibrary();
  }
}

// Rows write the time as the interface language does, with what the last run received and sent.
TEST_F(MainWindowTest, RowsShowTheLastCountsAndTheDateInTheInterfacesLanguage) {
  CSyncLink& link = mConf->Links().At(0);
  link.mState = SYNC_STATE_SYNCHRONIZED;
  link.mLastSyncTime = 1796212800;  // 2026-12-02 12:00 UTC
  link.mServerCounts = {10, 2, 0};
  link.mLocalCounts = {3, 0, 0};
  link.mCountsKnown = true;
  mConf->Links().At(1).mState = SYNC_STATE_CANCELLED;
  mConf->Links().At(1).mLastSyncTime = 1796212800;
  MakeWindow();
  EXPECT_EQ(TextOfRow(0).toStdString(),
            "Synchronized " + LocalTimeText(InterfaceLocale("en"), 1796212800) + " - 12 received, 3 sent");
  EXPECT_EQ(TextOfRow(1).toStdString(), "Cancelled - last synchronized " + LocalTimeText(InterfaceLocale("en"), 1796212800));
  // German dates are German whatever the system's locale.
  EXPECT_NE(LocalTimeText(InterfaceLocale("de"), 1796212800).find("02.12.26"), std::string::npos)
      << LocalTimeText(InterfaceLocale("de"), 1796212800);
  EXPECT_NE(LocalTimeText(InterfaceLocale("fr"), 1796212800).find("02/12/2026"), std::string::npos)
      << LocalTimeText(InterfaceLocale("fr"), 1796212800);
}

TEST_F(MainWindowTest, ErrorsTheUserCanFixGetAdviceOthersPlainWords) {
  EXPECT_EQ(FixableErrorAdvice(EnglishString(IDS_AUTHENTICATION_ERROR)), "The server refused the password. Check it in Options > Connection.");
  EXPECT_EQ(FixableErrorAdvice(FormatText(EnglishString(IDS_HTTP_ERROR), {401})), EnglishString(IDS_FIX_LOGIN));
  EXPECT_EQ(FixableErrorAdvice(EnglishString(IDS_TIMED_OUT)), EnglishString(IDS_FIX_TIMEOUT));
  EXPECT_EQ(FixableErrorAdvice(EnglishString(IDS_INCORRECT_SERVER_ADDRESS)), EnglishString(IDS_FIX_ADDRESS));
  EXPECT_EQ(FixableErrorAdvice(FormatText(EnglishString(IDS_HTTP_ERROR), {500})), std::nullopt);
  EXPECT_EQ(FixableErrorAdvice(EnglishString(IDS_DATABASE_NOT_FOUND)), std::nullopt);
  EXPECT_EQ(PlainErrorText(FormatText(EnglishString(IDS_HTTP_ERROR), {503})), FormatText(EnglishString(IDS_PLAIN_SERVER_ERROR), {503}));
  EXPECT_EQ(PlainErrorText(EnglishString(IDS_SYNCML_ERROR)), EnglishString(IDS_PLAIN_SYNCML_ERROR));
  EXPECT_EQ(PlainErrorText(EnglishString(IDS_TIMED_OUT)), EnglishString(IDS_FIX_TIMEOUT));
  EXPECT_EQ(PlainErrorText(EnglishString(IDS_DATABASE_NOT_FOUND)), EnglishString(IDS_DATABASE_NOT_FOUND));
}

// Preview, restore and the support report work on this computer alone: no run, no server.
TEST_F(MainWindowTest, PreviewRestoreAndReportWorkFromTheMenusWithoutARun) {
  AddLocalContact("Ada");
  MakeWindow();
  const auto previewText = [](const std::function<void()>& open) {
    QString text;
    ModalDriver viewer([&text](QWidget* dialog) {
      EXPECT_EQ(dialog->windowTitle(), English(IDS_PREVIEW_TITLE));
      text = dialog->findChild<QPlainTextEdit*>("textView")->toPlainText();
      QTest::keyClick(dialog, Qt::Key_Escape);
    });
    open();
    EXPECT_TRUE(WaitFor([&] { return viewer.Ran(); }));
    return text.toStdString();
  };
  const std::string all = previewText([this] { Action(*mWindow, "menuPreview")->trigger(); });
  EXPECT_NE(all.find("send add contact \"Test Ada\""), std::string::npos) << all;
  EXPECT_NE(all.find("sync_3: Tasks"), std::string::npos) << all;
  const std::string row = previewText([this] { ChooseFromRowMenu(0, "rowPreview"); });
  EXPECT_NE(row.find("sync_1: Contacts"), std::string::npos) << row;
  EXPECT_EQ(row.find("sync_3"), std::string::npos) << row;
  EXPECT_EQ(mTransports.Posts(), 0);

  QString answer;
  AnswerNextBox("okButton", &answer);
  ChooseFromRowMenu(0, "rowRestore");
  EXPECT_TRUE(WaitFor([&] { return !answer.isEmpty(); }));
  EXPECT_EQ(answer, English(IDS_RESTORE_NO_SNAPSHOT));

  // A snapshot, then the contact deleted: the restore asks, and brings it back on Yes.
  {
    HeadlessPrompt quiet(std::cerr);
    const std::unique_ptr<CDatabaseObject> store = mStores->CreateStore(*mConf, quiet);
    ASSERT_TRUE(store->SelectFolderOf(mConf->Links().At(0)));
    ASSERT_EQ(store->LoadContent(mConf->Links().At(0).LocalFileName()), kStoreOk);
    LocalSnapshots(*mConf).Save(*store, mConf->Links().At(0));
  }
  fs::remove(mStoreRoot + "contacts/Ada.vcf");
  QString question, result;
  mDrivers.push_back(std::make_unique<ModalDriver>([this, &question, &result](QWidget* box) {
    question = qobject_cast<QMessageBox*>(box)->text();
    AnswerNextBox("okButton", &result);
    box->findChild<QPushButton*>("yesButton")->click();
  }));
  ChooseFromRowMenu(0, "rowRestore");
  EXPECT_TRUE(WaitFor([&] { return !result.isEmpty(); }));
  EXPECT_TRUE(question.contains("\"Contacts\"")) << question.toStdString();
  EXPECT_TRUE(result.contains("1 created again")) << result.toStdString();
  std::size_t contacts = 0;
  for (const auto& entry : fs::directory_iterator(mStoreRoot + "contacts")) contacts += entry.path().extension() == ".vcf";
  EXPECT_EQ(contacts, 1u);

  mReportPath = mDir.Path() + "report.tar.gz";
  QString saved;
  AnswerNextBox("okButton", &saved);
  Action(*mWindow, "actionReport")->trigger();
  EXPECT_TRUE(WaitFor([&] { return !saved.isEmpty(); }));
  EXPECT_EQ(saved.toStdString(), FormatText(EnglishString(IDS_REPORT_SAVED), {mReportPath}));
  EXPECT_TRUE(fs::exists(mReportPath));
}

}  // namespace
