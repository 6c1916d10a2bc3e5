// Message boxes and the login dialog of the Qt user interface (offscreen), and the status report
// of start-up shown in a real message box.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/CVudirerAvazApp.h"
#include "app/QtPrompt.h"
#include "app/QtStartup.h"
#include "platform/shell/SystemMessages.h"
#include "tests/app/AppTestSupport.h"

namespace {

void Click(QWidget* dialog, const char* button) {
  QPushButton* target = dialog->findChild<QPushButton*>(button);
  ASSERT_NE(target, nullptr) << button;
  QTest::mouseClick(target, Qt::LeftButton);
}

// Shows one message and answers it with `button` (or Escape when null); the box's text goes to `shown`.
PromptAnswer Answer(PromptButtons buttons, const char* button, QString* shown = nullptr) {
  QtPrompt prompt("QuenorSync");
  ModalDriver driver([&](QWidget* box) {
    if (shown != nullptr) *shown = static_cast<QMessageBox*>(box)->text();
    if (button != nullptr) {
      Click(box, button);
    } else {
      QTest::keyClick(box, Qt::Key_Escape);
    }
  });
  const PromptAnswer answer = prompt.Message("Question?", buttons, PromptKind::Question);
  EXPECT_TRUE(driver.Ran());
  return answer;
}

TEST(QtPrompt, ReturnsTheButtonChosen) {
  QString shown;
  EXPECT_EQ(Answer(PromptButtons::YesNo, "yesButton", &shown), PromptAnswer::Yes);
  EXPECT_EQ(shown, QStringLiteral("Question?"));
  EXPECT_EQ(Answer(PromptButtons::YesNo, "noButton"), PromptAnswer::No);
  EXPECT_EQ(Answer(PromptButtons::OkCancel, "okButton"), PromptAnswer::Ok);
  EXPECT_EQ(Answer(PromptButtons::OkCancel, "cancelButton"), PromptAnswer::Cancel);
}

TEST(QtPrompt, EscapeGivesTheSafeAnswer) {
  EXPECT_EQ(Answer(PromptButtons::YesNo, nullptr), PromptAnswer::No);
  EXPECT_EQ(Answer(PromptButtons::OkCancel, nullptr), PromptAnswer::Cancel);
  EXPECT_EQ(Answer(PromptButtons::Ok, nullptr), PromptAnswer::Ok);
}

TEST(QtPrompt, LoginDialogReturnsTheEnteredValuesOnOk) {
  QtPrompt prompt("QuenorSync");
  LoginRequest request{"old@example.org", "", false};
  ModalDriver driver([](QWidget* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("QuenorSync"));
    QLineEdit* login = dialog->findChild<QLineEdit*>("loginEdit");
    EXPECT_EQ(login->text(), QStringLiteral("old@example.org"));
    EXPECT_EQ(login->maxLength(), 128);
    login->clear();
    QTest::keyClicks(login, QStringLiteral("new@example.org"));
    dialog->findChild<QLineEdit*>("passwordEdit")->setText(QString::fromUtf8("p\xC3\xA4ss"));
    dialog->findChild<QCheckBox*>("rememberCheck")->setChecked(true);
    Click(dialog, "okButton");
  });
  ASSERT_TRUE(prompt.AskLogin(request));
  EXPECT_EQ(request.login, "new@example.org");
  EXPECT_EQ(request.password, "p\xC3\xA4ss");
  EXPECT_TRUE(request.rememberPassword);
}

TEST(QtPrompt, CancelledLoginLeavesTheRequestUnchanged) {
  QtPrompt prompt("QuenorSync");
  LoginRequest request{"kept", "secret", true};
  ModalDriver driver([](QWidget* dialog) {
    QTest::keyClicks(dialog->findChild<QLineEdit*>("loginEdit"), QStringLiteral("typed"));
    Click(dialog, "cancelButton");
  });
  EXPECT_FALSE(prompt.AskLogin(request));
  EXPECT_EQ(request.login, "kept");
  EXPECT_EQ(request.password, "secret");
}

TEST(StartupStatus, ShowsTheInstallerTextFor1603InAMessageBox) {
  TestHome home;
  QtStartup startup("QuenorSync");
  CVudirerAvazApp app(startup, home.ProgramFolder());
  QString shown;
  QString title;
  ModalDriver driver([&](QWidget* box) {
    shown = static_cast<QMessageBox*>(box)->text();
    title = box->windowTitle();
    Click(box, "okButton");
  });
  EXPECT_EQ(app.InitInstance({"/status", "1603"}), StartupResult::CommandDone);
  ASSERT_TRUE(driver.Ran());
  EXPECT_EQ(shown.toStdString(), SystemMessageText(1603));
  EXPECT_EQ(title, QStringLiteral("QuenorSync"));
}

TEST(StartupStatus, SilentRunShowsNoWindow) {
  TestHome home;
  QtStartup startup("QuenorSync");
  CVudirerAvazApp app(startup, home.ProgramFolder());
  ModalDriver driver([&](QWidget* box) { box->close(); });
  EXPECT_EQ(app.InitInstance({"/status", "1603", "/silent"}), StartupResult::CommandDone);
  QCoreApplication::processEvents();
  EXPECT_FALSE(driver.Ran());
}

}  // namespace
