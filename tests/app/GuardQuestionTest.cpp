// The slow-sync question from the main window against the local SyncEvolution server: skipped, the
// row says "Needs a decision" and nothing moved; merged, the link synchronizes in the same run.
#include <QLabel>
#include <QTest>
#include <QPushButton>

#include "common/StringTable.h"
#include "engine/CSyncRun.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/MainWindowFixture.h"

namespace {

TEST_F(MainWindowTest, TheSlowSyncQuestionSkippedLeavesTheRowNeedingADecisionAndMergeRunsIt) {
  if (!MakeWindowWithServer()) GTEST_SKIP() << "SyncEvolution is not installed";
  for (const char* name : {"Ada", "Brook", "Cole"}) AddLocalContact(name);
  ChooseFromRowMenu(0, "rowSynchronize");
  ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive(); }));
  ASSERT_TRUE(WaitForRunEnd());
  ASSERT_EQ(StateOfRow(0), SYNC_STATE_SYNCHRONIZED);
  // A last anchor the server never gave: it asks for a slow sync.
  const CSyncLink& link = mConf->Links().At(0);
  WriteFileBytes(mConf->ConfigFolder() + link.LocalFileName() + ".anc", "41");

  QString question;
  mDrivers.push_back(std::make_unique<ModalDriver>([&question](QWidget* modal) {
    if (auto* text = modal->findChild<QLabel*>(QStringLiteral("questionText"))) question = text->text();
    modal->findChild<QPushButton*>(QStringLiteral("skipButton"))->click();
  }));
  ChooseFromRowMenu(0, "rowSynchronize");
  ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive(); }));
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_TRUE(question.contains(QStringLiteral("3"))) << question.toStdString();
  EXPECT_EQ(StateOfRow(0), SYNC_STATE_NEEDS_DECISION);
  EXPECT_TRUE(TextOfRow(0).startsWith(QString::fromStdString(EnglishString(IDS_STATE_NEEDS_DECISION)))) << TextOfRow(0).toStdString();
  EXPECT_EQ(mWindow->Run().LastOutcome().linksNeedingDecision, 1);

  AnswerNextBox("mergeButton");
  ChooseFromRowMenu(0, "rowSynchronize");
  ASSERT_TRUE(WaitFor([&] { return mWindow->RunActive(); }));
  ASSERT_TRUE(WaitForRunEnd());
  EXPECT_EQ(StateOfRow(0), SYNC_STATE_SYNCHRONIZED) << TextOfRow(0).toStdString();
  EXPECT_EQ(Server()->Items("contacts").size(), 3u);
}

}  // namespace
