// The options dialog: the values it starts with, the schedule period's enabled rule, and what OK
// and Cancel leave behind (configuration file, autostart entry, schedule).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/CConfDlg.h"
#include "app/QtConfigurationDialogs.h"
#include "config/CConf.h"
#include "tests/app/AppTestSupport.h"

namespace {

class ConfDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApplication();
    mConf.Load(true);
    mConf.SetEmailManagementMode(2);
    mConf.SetConfResPol(true);
    mConf.SetSchedulePeriod(3);
    mConf.Save();
    std::filesystem::create_directories(mAutostart.parent_path());
    std::ofstream(mAutostart) << "[Desktop Entry]\n";
  }

  // Runs the options through the dialogs; `edit` changes the fields before `button` is clicked.
  bool RunOptions(const std::function<void(QWidget*)>& edit, const char* button) {
    QtConfigurationDialogs dialogs({}, [this](const CConf& conf) { mScheduled.push_back(conf.UseSchedule()); }, "larkspan-test");
    ModalDriver driver([&](QWidget* dialog) {
      edit(dialog);
      QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    });
    const bool accepted = dialogs.RunOptions(mConf, nullptr);
    EXPECT_TRUE(driver.Ran());
    return accepted;
  }

  TestHome mHome;
  ScopedEnv mConfigHome{"XDG_CONFIG_HOME", mHome.Root() + "config"};
  std::filesystem::path mAutostart = mHome.Root() + "config/autostart/larkspan-test.desktop";
  CConf mConf{mHome.ConfigFolder()};
  std::vector<bool> mScheduled;
};

TEST_F(ConfDlgTest, FieldsStartWithTheConfigurationAndThePeriodFollowsTheScheduleBox) {
  CConfDlg dialog(mConf, "QuenorSync");
  EXPECT_EQ(dialog.findChild<QComboBox*>("emailCombo")->currentIndex(), 2);
  EXPECT_EQ(dialog.findChild<QComboBox*>("conflictCombo")->currentIndex(), 1);
  auto* period = dialog.findChild<QComboBox*>("scheduleCombo");
  EXPECT_EQ(period->currentIndex(), 3);
  EXPECT_FALSE(period->isEnabled());
  dialog.findChild<QCheckBox*>("scheduleCheck")->setChecked(true);
  EXPECT_TRUE(period->isEnabled());
  EXPECT_EQ(dialog.windowTitle().toStdString(), "QuenorSync Configuration Panel");
}

TEST_F(ConfDlgTest, OkStoresAndSavesTheFiveValuesRemovesTheAutostartEntryAndAppliesTheSchedule) {
  ASSERT_TRUE(RunOptions(
      [](QWidget* dialog) {
        dialog->findChild<QComboBox*>("emailCombo")->setCurrentIndex(1);
        dialog->findChild<QComboBox*>("conflictCombo")->setCurrentIndex(0);
        dialog->findChild<QCheckBox*>("systrayCheck")->setChecked(true);
        dialog->findChild<QCheckBox*>("scheduleCheck")->setChecked(true);
        dialog->findChild<QComboBox*>("scheduleCombo")->setCurrentIndex(4);
      },
      "okButton"));
  CConf saved(mHome.ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_EQ(saved.EmailManagementMode(), 1);
  EXPECT_FALSE(saved.ConfResPol());
  EXPECT_TRUE(saved.Systray());
  EXPECT_TRUE(saved.UseSchedule());
  EXPECT_EQ(saved.SchedulePeriod(), 4);
  EXPECT_FALSE(std::filesystem::exists(mAutostart));
  EXPECT_EQ(mScheduled, std::vector<bool>{true});
}

// The transport's settings in plain words: the certificate check and the message type, with
// "Automatic" for no setting and a type of the file's own kept as it is.
TEST_F(ConfDlgTest, TheAdvancedPartShowsAndStoresTheCertificateCheckAndTheMessageType) {
  struct Case {
    std::string setting;
    int index;
  };
  for (const Case& c : {Case{"", 0}, Case{"application/vnd.syncml+xml", 1}, Case{"application/vnd.syncml-xml", 2},
                        Case{"text/x-own", 3}}) {
    mConf.SetSyncMime(c.setting);
    CConfDlg dialog(mConf, "QuenorSync");
    auto* type = dialog.findChild<QComboBox*>("requestTypeCombo");
    EXPECT_EQ(type->currentIndex(), c.index) << c.setting;
    EXPECT_EQ(type->count(), c.index == 3 ? 4 : 3) << c.setting;
  }
  EXPECT_TRUE(CConfDlg(mConf, "QuenorSync").findChild<QCheckBox*>("sslVerifyCheck")->isChecked());

  mConf.SetSyncMime("application/vnd.syncml-xml");
  ASSERT_TRUE(RunOptions(
      [](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("sslVerifyCheck")->setChecked(false);
        dialog->findChild<QComboBox*>("requestTypeCombo")->setCurrentIndex(0);
      },
      "okButton"));
  CConf saved(mHome.ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_FALSE(saved.SslVerify());
  EXPECT_FALSE(saved.HasKey(CConf::kSection, "syncml_mime"));
  EXPECT_EQ(saved.SyncMime(), "application/vnd.syncml+xml");
}

TEST_F(ConfDlgTest, CancelChangesNothing) {
  EXPECT_FALSE(RunOptions([](QWidget* dialog) { dialog->findChild<QComboBox*>("emailCombo")->setCurrentIndex(0); }, "cancelButton"));
  EXPECT_EQ(mConf.EmailManagementMode(), 2);
  EXPECT_TRUE(std::filesystem::exists(mAutostart));
  EXPECT_TRUE(mScheduled.empty());
}

}  // namespace
