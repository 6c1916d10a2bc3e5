// The language dialog (offscreen): listing, preselection, choosing, cancelling.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/CLangDlg.h"
#include "app/QtStartup.h"
#include "config/CConf.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;

class LanguageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    fs::create_directories(home.ProgramFolder() + "lang");
    // Listing needs only the names; none of these is loaded.
    for (const char* name : {"resource.fr.so", "resource.de.so", "resource.xx.so", "resource.en.so", "resource..so",
                             "notes.txt", "resource.de.so.bak"}) {
      std::ofstream(home.ProgramFolder() + "lang/" + name).close();
    }
    conf.Load(true);
  }

  static QComboBox* Combo(QWidget* dialog) { return dialog->findChild<QComboBox*>("languageCombo"); }
  static void Click(QWidget* dialog, const char* button) {
    QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
  }

  TestHome home;
  CConf conf{home.ConfigFolder()};
};

TEST_F(LanguageDialogTest, ListsEnglishFirstThenEveryLibraryWithItsOwnName) {
  const std::vector<LanguageChoice> expected{{"en", "English"}, {"de", "Deutsch"}, {"fr", "Fran\xC3\xA7" "ais"}, {"xx", ""}};
  EXPECT_EQ(ListLanguages(home.ProgramFolder()), expected);

  CLangDlg dialog(conf, home.ProgramFolder());
  QComboBox* combo = Combo(&dialog);
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->count(), 4);
  EXPECT_EQ(combo->itemText(2), QString::fromUtf8("Fran\xC3\xA7" "ais"));
  EXPECT_EQ(combo->itemText(3), QString());
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("QuenorSync Configuration Panel"));
  EXPECT_EQ(dialog.findChild<QLabel*>("languageLabel")->text(), QStringLiteral("Language:"));
  EXPECT_EQ(dialog.findChild<QPushButton*>("cancelButton")->text(), QStringLiteral("Cancel"));
}

TEST_F(LanguageDialogTest, PreselectsTheConfiguredLanguage) {
  conf.SetLanguage("fr");
  CLangDlg dialog(conf, home.ProgramFolder());
  EXPECT_EQ(dialog.SelectedCode(), "fr");
  conf.SetLanguage("zz");  // not offered: English stays selected
  CLangDlg other(conf, home.ProgramFolder());
  EXPECT_EQ(other.SelectedCode(), "en");
}

TEST_F(LanguageDialogTest, UnnamedLanguageCanStillBeChosen) {
  CLangDlg dialog(conf, home.ProgramFolder());
  dialog.show();
  QComboBox* combo = Combo(&dialog);
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_End);
  ASSERT_EQ(dialog.SelectedCode(), "xx");
  Click(&dialog, "okButton");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(conf.Language(), "xx");
}

TEST_F(LanguageDialogTest, CancelKeepsTheConfiguredLanguage) {
  conf.SetLanguage("de");
  CLangDlg dialog(conf, home.ProgramFolder());
  dialog.show();
  Combo(&dialog)->setCurrentIndex(2);
  Click(&dialog, "cancelButton");
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(conf.Language(), "de");
}

TEST_F(LanguageDialogTest, StartUpDialogStoresTheChoiceOnOk) {
  QtStartup startup("QuenorSync");
  ModalDriver driver([](QWidget* dialog) {
    QComboBox* combo = Combo(dialog);
    combo->setCurrentIndex(combo->findData(QStringLiteral("fr")));
    Click(dialog, "okButton");
  });
  EXPECT_EQ(startup.ChooseLanguage(conf, home.ProgramFolder()), LanguageChoiceResult::Accepted);
  EXPECT_TRUE(driver.Ran());
  EXPECT_EQ(conf.Language(), "fr");
}

TEST_F(LanguageDialogTest, StartUpDialogClosedWithEscapeIsCancelled) {
  QtStartup startup("QuenorSync");
  ModalDriver driver([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  EXPECT_EQ(startup.ChooseLanguage(conf, home.ProgramFolder()), LanguageChoiceResult::Cancelled);
  EXPECT_EQ(conf.Language(), "");
}

TEST(LanguageCode, AcceptsPlainCodesOnly) {
  for (const char* good : {"de", "pt-BR", "zh_TW", "x1"}) EXPECT_TRUE(IsLanguageCode(good)) << good;
  for (const std::string& bad : std::vector<std::string>{"", "../de", "de/..", "a.b", "de ", std::string(33, 'a')}) {
    EXPECT_FALSE(IsLanguageCode(bad)) << bad;
  }
}

}  // namespace
