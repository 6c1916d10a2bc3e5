// Runs from the main window against the local SyncEvolution server: all links and one row, the
// rows' states and progress, cancel confirmed and refused (also while the server does not
// answer), closing during a run, the silent start, the details of a run, and a run that stops
// outside a link's own handling.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <set>

#include "app/CXListBox.h"
#include "common/StringTable.h"
#include "engine/CSyncRun.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/MainWindowFixture.h"

namespace {

using namespace std::chrono_literals;

#define REQUIRE_SERVER()                                                      \
  if (!MakeWindowWithServer()) GTEST_SKIP() << "SyncEvolution is not installed"

QString English(unsigned id) { return QString::fromStdString(EnglishString(id)); }

// Every (row, state) and the largest number of items to send a row showed, as the list changed.
struct RowHistory {
  explicit RowHistory(CXListBox& list) {
    QObject::connect(list.model(), &QAbstractItemModel::dataChanged, &list, [this, &list](const QModelIndex& index) {
      states.insert({index.row(), list.RowNumber(index.row(), LinkRowRole::RowState)});
      toSend[index.row()] = std::max(toSend[index.row()], list.RowNumber(index.row(), LinkRowRole::RowItemsToSend));
      if (list.IsRowDisabled(index.row())) disabled.insert(index.row());
    });
  }
  std::set<std::pair<int, int>> states;
  std::map<int, int> toSend;
  std::set<int> disabled;
};

TEST_F(MainWindowTest, RunOfAllLinksTakesEveryRowThroughItsRunAndBack) {
  REQUIRE_SERVER();
  for (const char* name : {"Ada", "Brook", "Cole"}) AddLocalContact(name);
  RowHistory history(mWindow->List());
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive() && SyncButtonText() == English(IDS_CANCEL); }));
  ASSERT_TRUE(WaitForRunEnd());

  for (int row = 0; row < 3; ++row) {
    EXPECT_TRUE(history.states.count({row, SYNC_STATE_IN_PROGRESS})) << row;
    EXPECT_EQ(StateOfRow(row), SYNC_STATE_SYNCHRONIZED) << row;
    EXPECT_TRUE(TextOfRow(row).startsWith(English(IDS_STATE_SYNCHRONIZED))) << TextOfRow(row).toStdString();
    EXPECT_FALSE(mWindow->List().IsRowDisabled(row));
  }
  // Rows waiting for their turn were marked disabled; the contacts row showed its three items going out.
  EXPECT_EQ(history.disabled, (std::set<int>{0, 1, 2}));
  EXPECT_EQ(history.toSend[0], 3);
  EXPECT_EQ(Server()->Items("contacts").size(), 3u);
  EXPECT_EQ(SyncButtonText(), English(IDS_SYNC));
  EXPECT_TRUE(Button("syncButton").isEnabled());
  EXPECT_TRUE(Button("optionsButton").isEnabled());
}

TEST_F(MainWindowTest, RunOfOneRowLeavesTheOtherRowsAsTheyWere) {
  REQUIRE_SERVER();
  ChooseFromRowMenu(1, "rowSynchronize");
  ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive(); }));
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(StateOfRow(1), SYNC_STATE_SYNCHRONIZED);
  EXPECT_EQ(StateOfRow(0), SYNC_STATE_NEVER);
  EXPECT_EQ(StateOfRow(2), SYNC_STATE_NEVER);
  EXPECT_EQ(TextOfRow(0), English(IDS_STATE_NEVER));
}

TEST_F(MainWindowTest, ConfirmedCancelStopsATransferTheServerNeverAnswers) {
  REQUIRE_SERVER();
  SilentServer silent;
  mTransports.SendIntoSilence(silent.Url());
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  // The contacts link waits for a reply that never comes (the transport's time-out is minutes).
  ASSERT_TRUE(WaitFor([&] { return TextOfRow(0) == English(IDS_SENDING_MESSAGE); }, 30s));

  QString question;
  AnswerNextBox("noButton", &question);
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  EXPECT_EQ(question, English(IDS_CONFIRM_CANCEL));
  EXPECT_EQ(mConf->SyncRunning(), CConf::RUN_RUNNING);
  EXPECT_EQ(SyncButtonText(), English(IDS_CANCEL));

  AnswerNextBox("yesButton");
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  EXPECT_EQ(SyncButtonText(), English(IDS_CANCELING));
  EXPECT_FALSE(Button("syncButton").isEnabled());
  EXPECT_EQ(TextOfRow(0), English(IDS_CANCELING));
  const auto confirmed = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitForRunEnd(20s));
  EXPECT_LT(std::chrono::steady_clock::now() - confirmed, 5s);
  // The user's own cancel is no failure.
  EXPECT_EQ(StateOfRow(0), SYNC_STATE_CANCELLED);
  EXPECT_TRUE(TextOfRow(0).startsWith(English(IDS_STATE_CANCELLED))) << TextOfRow(0).toStdString();
  EXPECT_EQ(mConf->Links().At(0).mStatusText, EnglishString(IDS_CANCELED_BY_USER));
  // The links after the cancelled one are not started.
  EXPECT_EQ(StateOfRow(1), SYNC_STATE_NEVER);
  EXPECT_EQ(StateOfRow(2), SYNC_STATE_NEVER);
  EXPECT_EQ(SyncButtonText(), English(IDS_SYNC));
  EXPECT_TRUE(mWindow->isVisible());
}

TEST_F(MainWindowTest, DuringARunOnlyTheRowBeingSynchronizedOpensItsMenu) {
  REQUIRE_SERVER();
  mTransports.Hold();
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return mTransports.Waiting() == 1 && StateOfRow(0) == SYNC_STATE_IN_PROGRESS; }));
  ClickRow(1);
  QCoreApplication::processEvents();
  EXPECT_EQ(RowMenu(), nullptr);
  EXPECT_TRUE(mWindow->List().IsRowDisabled(1));

  ClickRow(0);
  ASSERT_TRUE(WaitFor([&] { return RowMenu() != nullptr; }));
  QMenu* menu = RowMenu();
  EXPECT_EQ(menu->findChild<QAction*>("rowSynchronize")->text().remove(u'&'), English(IDS_ROW_CANCEL));
  EXPECT_FALSE(menu->findChild<QAction*>("rowDetails")->isEnabled());
  EXPECT_FALSE(menu->findChild<QAction*>("rowDelete")->isEnabled());
  menu->close();
  mTransports.Release();
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(StateOfRow(2), SYNC_STATE_SYNCHRONIZED);
}

TEST_F(MainWindowTest, ClosingDuringARunAndRefusingTheCancelClosesWhenTheRunEnds) {
  REQUIRE_SERVER();
  QSignalSpy finished(mWindow.get(), &QDialog::finished);
  mTransports.Hold();
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return mTransports.Waiting() == 1; }));
  AnswerNextBox("noButton");
  QTest::mouseClick(&Button("exitButton"), Qt::LeftButton);
  EXPECT_TRUE(mWindow->isVisible());
  EXPECT_EQ(finished.count(), 0);
  EXPECT_EQ(mConf->SyncRunning(), CConf::RUN_RUNNING);

  mTransports.Release();
  ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }, 60s));
  EXPECT_FALSE(mWindow->isVisible());
  for (int row = 0; row < 3; ++row) EXPECT_EQ(mConf->Links().At(row).mState, SYNC_STATE_SYNCHRONIZED) << row;
}

TEST_F(MainWindowTest, ClosingDuringARunAndConfirmingTheCancelClosesOnceTheWorkerStopped) {
  REQUIRE_SERVER();
  QSignalSpy finished(mWindow.get(), &QDialog::finished);
  mTransports.Hold();
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return mTransports.Waiting() == 1; }));
  AnswerNextBox("yesButton");
  mWindow->close();
  ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }, 20s));
  EXPECT_EQ(mConf->SyncRunning(), CConf::RUN_IDLE);
  EXPECT_EQ(mConf->Links().At(0).mState, SYNC_STATE_CANCELLED);
  EXPECT_EQ(mConf->Links().At(1).mState, SYNC_STATE_NEVER);
}

// The check before a run goes to a server that takes the request and never answers: the window
// stays responsive, and Cancel, then Exit, end it within a second of their confirmation.
TEST_F(MainWindowTest, DuringTheCheckAServerThatNeverAnswersLeavesCancelAndExitWorking) {
  SilentServer silent;
  mConf->SetUrl(silent.Url());
  MakeWindow();
  QSignalSpy finished(mWindow.get(), &QDialog::finished);
  for (const char* command : {"syncButton", "exitButton"}) {
    SCOPED_TRACE(command);
    QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive() && mTransports.Posts() == 1; }));
    EXPECT_EQ(SyncButtonText(), English(IDS_CANCEL));
    EXPECT_EQ(TextOfRow(2), English(IDS_CHECKING_SERVER));
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    EXPECT_TRUE(WaitFor([&] { return timerRan; }, 500ms));

    QString question;
    AnswerNextBox("yesButton", &question);
    QTest::mouseClick(&Button(command), Qt::LeftButton);
    const auto confirmed = std::chrono::steady_clock::now();
    EXPECT_EQ(question, English(IDS_CONFIRM_CANCEL));
    ASSERT_TRUE(WaitForRunEnd(10s));
    EXPECT_LT(std::chrono::steady_clock::now() - confirmed, 1s);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(StateOfRow(row), SYNC_STATE_NEVER) << row;
    mTransports.ResetPosts();
  }
  ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }, 1s));
  EXPECT_FALSE(mWindow->isVisible());
}

// With no password stored, the login dialog comes before anything is sent, the check included.
TEST_F(MainWindowTest, WithoutAStoredPasswordTheLoginDialogComesBeforeAnyExchange) {
  REQUIRE_SERVER();
  const std::string password = mConf->Password();
  mConf->SetPassword("");
  mConf->SetRememberPass(false);
  mConf->Save();
  int postsBeforeTheDialog = -1;
  std::string dialog;
  mDrivers.push_back(std::make_unique<ModalDriver>([&](QWidget* modal) {
    dialog = modal->objectName().toStdString();
    postsBeforeTheDialog = mTransports.Posts();
    QTest::keyClicks(modal->findChild<QLineEdit*>("passwordEdit"), QString::fromStdString(password));
    modal->findChild<QPushButton*>("okButton")->click();
  }));
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return mDrivers.back()->Ran(); }));
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(dialog, "CloginPassDlg");
  EXPECT_EQ(postsBeforeTheDialog, 0);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(StateOfRow(row), SYNC_STATE_SYNCHRONIZED) << TextOfRow(row).toStdString();
  // Not remembered: the file still holds no password.
  CConf saved(mConf->ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_TRUE(saved.Password().empty());
}

// A configuration that names the older request type, which this server refuses: the run tries the
// registered one, goes on with it, and keeps it.
TEST_F(MainWindowTest, ARequestTypeTheServerRefusesIsReplacedByTheOtherAndSaved) {
  REQUIRE_SERVER();
  mConf->SetSyncMime("application/vnd.syncml-xml");
  mConf->Save();
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive(); }));
  ASSERT_TRUE(WaitForRunEnd());
  for (int row = 0; row < 3; ++row) EXPECT_EQ(StateOfRow(row), SYNC_STATE_SYNCHRONIZED) << TextOfRow(row).toStdString();
  CConf saved(mConf->ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_EQ(saved.SyncMimeSetting(), "application/vnd.syncml+xml");
}

TEST_F(MainWindowTest, SilentStartShowsTheWindowRunsEveryLinkOnceAndCloses) {
  REQUIRE_SERVER();
  AddLocalContact("Silent");
  mConf->SetSilent(true);
  QSignalSpy finished(mWindow.get(), &QDialog::finished);
  ASSERT_TRUE(mWindow->StartSilentRun());
  EXPECT_TRUE(mWindow->isVisible());
  ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }, 60s));
  for (int row = 0; row < 3; ++row) EXPECT_EQ(mConf->Links().At(row).mState, SYNC_STATE_SYNCHRONIZED) << row;
  EXPECT_EQ(mWindow->Run().LastOutcome().linksRun, 3);
  EXPECT_EQ(Server()->Items("contacts").size(), 1u);
}

TEST_F(MainWindowTest, SilentStartWithAnIncompleteConfigurationRunsNothing) {
  mConf->SetUrl("");
  mConf->SetSilent(true);
  MakeWindow();
  EXPECT_FALSE(mWindow->StartSilentRun());
  EXPECT_FALSE(mWindow->RunActive());
}

TEST_F(MainWindowTest, DetailsShowWhatTheLastRunFoundOnBothSides) {
  REQUIRE_SERVER();
  AddLocalContact("Local1");
  AddLocalContact("Local2");
  Server()->PutItem("contacts", "server1",
                    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Server;One\r\nFN:One Server\r\nEND:VCARD\r\n");
  ChooseFromRowMenu(0, "rowSynchronize");
  ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive(); }));
  ASSERT_TRUE(WaitForRunEnd());

  std::map<std::string, std::string> values;
  mDrivers.push_back(std::make_unique<ModalDriver>([&](QWidget* dialog) {
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (label->objectName().endsWith("Value")) values[label->objectName().toStdString()] = label->text().toStdString();
    }
    dialog->close();
  }));
  ChooseFromRowMenu(0, "rowDetails");
  ASSERT_TRUE(mDrivers.back()->Ran());
  EXPECT_EQ(values["localFolderValue"], "Contacts");
  EXPECT_EQ(values["serverFolderValue"], EnglishString(IDS_PERSONAL_CONTACTS));
  EXPECT_EQ(values["syncTypeValue"], EnglishString(IDS_MODE_TWO_WAY));
  EXPECT_EQ(values["statusValue"].rfind(EnglishString(IDS_STATE_SYNCHRONIZED), 0), 0u) << values["statusValue"];
  EXPECT_EQ(values["localAdditionsValue"], "2");
  EXPECT_EQ(values["localUpdatesValue"], "0");
  EXPECT_EQ(values["localDeletionsValue"], "0");
  EXPECT_EQ(values["serverAdditionsValue"], "1");
  EXPECT_EQ(values["serverUpdatesValue"], "0");
  EXPECT_EQ(values["serverDeletionsValue"], "0");
  EXPECT_EQ(values.count("itemErrorsValue"), 0u);
}

// A local application that cannot be opened, failing with an error of no family the run expects.
class BrokenStores final : public SyncStoreFactory {
 public:
  std::unique_ptr<CDatabaseObject> CreateStore(CConf&, Prompt&) override { throw std::runtime_error("store connection lost"); }
};

TEST_F(MainWindowTest, AWorkerThatStopsBeforeAnyLinkIsNoticedAndTheWindowIsIdleAgain) {
  mStores = std::make_unique<BrokenStores>();
  REQUIRE_SERVER();
  QString shown;
  AnswerNextBox("okButton", &shown);
  QTest::mouseClick(&Button("syncButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive(); }));
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(shown, "store connection lost");
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(StateOfRow(row), SYNC_STATE_NEVER) << row;
    EXPECT_FALSE(mWindow->List().IsRowDisabled(row)) << row;
  }
  EXPECT_EQ(SyncButtonText(), English(IDS_SYNC));
  EXPECT_TRUE(Button("syncButton").isEnabled());
}

}  // namespace
