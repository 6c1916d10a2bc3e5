// The conflict and e-mail questions as the Qt prompt shows them, also when the sync worker asks
// through the hand-over.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <future>

#include "app/CEmailListDlg.h"
#include "app/GuiHandOver.h"
#include "app/QtPrompt.h"
#include "common/StringTable.h"
#include "tests/app/AppTestSupport.h"

namespace {

const ConflictQuestion kConflict{"Lara Local", "lara"};

ConflictAnswer AnswerConflict(const std::function<void(QWidget*)>& action) {
  QtPrompt prompt("QuenorSync");
  ModalDriver driver(action);
  const ConflictAnswer answer = prompt.AskConflict(kConflict);
  EXPECT_TRUE(driver.Ran());
  return answer;
}

std::function<void(QWidget*)> ClickOn(const char* name) {
  return [name](QWidget* dialog) {
    auto* button = dialog->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  };
}

TEST(CConflictDlg, EachButtonGivesItsAnswerAndBothValuesIsTheDefault) {
  EXPECT_EQ(AnswerConflict(ClickOn("serverButton")), ConflictAnswer::Server);
  EXPECT_EQ(AnswerConflict(ClickOn("outlookButton")), ConflictAnswer::Local);
  EXPECT_EQ(AnswerConflict([](QWidget* dialog) {
              EXPECT_EQ(dialog->windowTitle().toStdString(), LoadString(IDS_CONFLICT_TITLE));
              EXPECT_EQ(dialog->findChild<QLabel*>("contactLabel")->text().toStdString(), "Lara Local [lara ]");
              EXPECT_TRUE(dialog->findChild<QPushButton*>("bothButton")->isDefault());
              QTest::keyClick(dialog, Qt::Key_Return);
            }),
            ConflictAnswer::Both);
}

// The server as it names itself, the differing fields side by side, the three answers.
TEST(CConflictDlg, ShowsTheFieldsThatDifferSideBySideUnderTheServersOwnName) {
  const ConflictQuestion question{"Ann Lee", "annie", ConflictItemKind::Contact, "Example Groupware", true,
                                  {{"PR_MOBILE_TELEPHONE_NUMBER", "+49 170 5555", ""}, {"PR_COMMENT", "first\nsecond", "first"}, {"X-ODD", "a", "b"}}};
  QtPrompt prompt("QuenorSync");
  ModalDriver driver([](QWidget* dialog) {
    EXPECT_EQ(dialog->findChild<QLabel*>("conflictText")->text().toStdString(),
              "This item was changed both on Example Groupware and on this computer.");
    EXPECT_EQ(dialog->findChild<QLabel*>("contactLabel")->text().toStdString(), "Ann Lee [annie ]");
    EXPECT_EQ(dialog->findChild<QLabel*>("serverVersionUnknown"), nullptr);
    auto* table = dialog->findChild<QTableWidget*>("fieldsTable");
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->horizontalHeaderItem(1)->text().toStdString(), "On this computer");
    EXPECT_EQ(table->horizontalHeaderItem(2)->text().toStdString(), "On Example Groupware");
    const auto cell = [table](int row, int column) { return table->item(row, column)->text().toStdString(); };
    EXPECT_EQ(cell(0, 0), "Mobile phone");
    EXPECT_EQ(cell(0, 1), "+49 170 5555");
    EXPECT_EQ(cell(0, 2), "");
    EXPECT_EQ(cell(1, 0), "Notes");
    EXPECT_EQ(cell(1, 1), "first / second");
    EXPECT_EQ(cell(2, 0), "X-ODD");
    EXPECT_EQ(dialog->findChild<QPushButton*>("bothButton")->text().toStdString(), "&Keep both");
    QTest::mouseClick(dialog->findChild<QPushButton*>("outlookButton"), Qt::LeftButton);
  });
  EXPECT_EQ(prompt.AskConflict(question), ConflictAnswer::Local);
  EXPECT_TRUE(driver.Ran());
}

// An event is named by its subject; a server that did not send its version is said to have not.
TEST(CConflictDlg, AnEventWithoutTheServersVersionShowsItsSubjectAndSaysWhy) {
  const ConflictQuestion question{"Quarterly review", "", ConflictItemKind::Event, "sync.example.org", false, {}};
  QtPrompt prompt("QuenorSync");
  ModalDriver driver([](QWidget* dialog) {
    EXPECT_EQ(dialog->findChild<QLabel*>("contactLabel")->text().toStdString(), "Quarterly review");
    EXPECT_EQ(dialog->findChild<QTableWidget*>("fieldsTable"), nullptr);
    EXPECT_NE(dialog->findChild<QLabel*>("serverVersionUnknown"), nullptr);
    QTest::mouseClick(dialog->findChild<QPushButton*>("serverButton"), Qt::LeftButton);
  });
  EXPECT_EQ(prompt.AskConflict(question), ConflictAnswer::Server);
}

TEST(CConflictDlg, EscapeOrClosingTheWindowKeepsBothValues) {
  EXPECT_EQ(AnswerConflict([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }), ConflictAnswer::Both);
  EXPECT_EQ(AnswerConflict([](QWidget* dialog) { dialog->close(); }), ConflictAnswer::Both);
}

// An empty entry between two addresses has no row; the rows' checks go to the addresses they show.
TEST(CEmailListDlg, RowsShowTheNonEmptyAddressesAndTheirChecksBecomeTheirTypes) {
  const EmailTypesQuestion question{"Ann Example", "annie", {"a@example.org", "", "c@example.org"}, {"W", "", ""}};
  EXPECT_EQ(CEmailListDlg::HeaderText(question), LoadString(IDS_EMAILS_MODIFIED) + "\r\n\r\n\tAnn Example [ annie ]");
  EXPECT_EQ(CEmailListDlg::HeaderText({"Ann Example", "", {}, {}}), LoadString(IDS_EMAILS_MODIFIED) + "\r\n\r\n\tAnn Example");

  QtPrompt prompt("QuenorSync");
  ModalDriver driver([](QWidget* dialog) {
    auto* list = dialog->findChild<QListWidget*>("emailList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text().toStdString(), "c@example.org");
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);  // typed "W"
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(dialog->findChild<QRadioButton*>("askRadio")->isChecked());
    list->item(0)->setCheckState(Qt::Unchecked);
    list->item(1)->setCheckState(Qt::Checked);
    dialog->findChild<QRadioButton*>("businessRadio")->setChecked(true);
    QTest::mouseClick(dialog->findChild<QPushButton*>("okButton"), Qt::LeftButton);
  });
  const std::optional<EmailTypesAnswer> answer = prompt.AskEmailTypes(question);
  ASSERT_TRUE(driver.Ran());
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->types, (std::vector<std::string>{"H", "", "W"}));
  EXPECT_EQ(answer->mode, EMAIL_UNKNOWN_BUSINESS);
}

// The worker waits on the hand-over while the window's thread shows the dialog; Cancel reaches
// the worker as no answer, which stops its run as cancelled by the user.
TEST(CEmailListDlg, CancelAskedFromTheWorkerReachesItAsNoAnswer) {
  EnsureQtApplication();
  QObject window;
  GuiHandOver handOver(window);
  QtPrompt windowPrompt("QuenorSync");
  GuiThreadPrompt workerPrompt(windowPrompt, handOver);
  ModalDriver driver([](QWidget* dialog) {
    EXPECT_EQ(dialog->objectName().toStdString(), "CEmailListDlg");
    QTest::mouseClick(dialog->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
  });
  auto answer = std::async(std::launch::async, [&] {
    return workerPrompt.AskEmailTypes({"Ann", "", {"a@example.org", "b@example.org"}, {"", ""}});
  });
  ASSERT_TRUE(WaitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_TRUE(driver.Ran());
  EXPECT_FALSE(answer.get().has_value());
}

TEST(CConflictDlg, AskedFromTheWorkerTheChosenAnswerReachesIt) {
  EnsureQtApplication();
  QObject window;
  GuiHandOver handOver(window);
  QtPrompt windowPrompt("QuenorSync");
  GuiThreadPrompt workerPrompt(windowPrompt, handOver);
  ModalDriver driver(ClickOn("serverButton"));
  auto answer = std::async(std::launch::async, [&] { return workerPrompt.AskConflict(kConflict); });
  ASSERT_TRUE(WaitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(answer.get(), ConflictAnswer::Server);
}

}  // namespace
