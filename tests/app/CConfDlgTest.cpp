// The options dialog: the values it starts with, the schedule period's enabled rule, and what OK
// and Cancel leave behind (configuration file, autostart entry, schedule).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "app/CConfDlg.h"
#include "app/QtConfigurationDialogs.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "config/CLog.h"
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
  // The schedule is applied by `applier` when given; a message box that follows is answered with
  // OK and its text kept in mShown.
  bool RunOptions(const std::function<void(QWidget*)>& edit, const char* button,
                  QtConfigurationDialogs::ScheduleApplier applier = {}) {
    if (!applier) {
      applier = [this](const CConf& conf) {
        mScheduled.push_back(conf.UseSchedule());
        return std::string();
      };
    }
    QtConfigurationDialogs dialogs({}, applier, "larkspan-test");
    std::unique_ptr<ModalDriver> boxDriver;
    ModalDriver driver([&](QWidget* dialog) {
      edit(dialog);
      boxDriver = std::make_unique<ModalDriver>([this](QWidget* box) {
        if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) mShown = label->text().toStdString();
        QTest::mouseClick(box->findChild<QPushButton*>("okButton"), Qt::LeftButton);
      });
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
  std::string mShown;
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
  EXPECT_EQ(mShown, "") << "a schedule that was applied is not reported";
}

// The program's own schedule over a crontab that is missing, or that refuses the new table: the
// user reads why (and how to get the program), and the log has it too.
TEST_F(ConfDlgTest, AScheduleThatCannotBeSavedIsShownAndLogged) {
  const auto tickSchedule = [](QWidget* dialog) { dialog->findChild<QCheckBox*>("scheduleCheck")->setChecked(true); };
  ASSERT_TRUE(CLog::Instance().Open(mConf.LogPath(), LOG_DEBUG));
  TempDir bin;
  {
    ScopedEnv path("PATH", bin.Path());
    CConfDlg dialog(mConf, "QuenorSync");
    auto* hint = dialog.findChild<QLabel*>("cronHint");
    ASSERT_NE(hint, nullptr) << "no word on how to get crontab";
    EXPECT_EQ(hint->text().toStdString(), LoadString(IDS_SCHEDULE_NEEDS_CRON));
    ASSERT_TRUE(RunOptions(tickSchedule, "okButton", ApplyProgramSchedule));
    EXPECT_EQ(mShown, LoadString(IDS_SCHEDULE_NO_CRONTAB));
    EXPECT_TRUE(mConf.UseSchedule()) << "the user's choice stays saved";
  }
  EXPECT_NE(ReadFileBytes(mConf.LogPath()).find("no crontab program"), std::string::npos);

  // A crontab that is there but refuses the table.
  WriteFileBytes(bin.File("crontab"),
                 "#!/bin/sh\n[ \"$1\" = -l ] && { echo 'no crontab for alice' >&2; exit 1; }\n"
                 "echo 'crontab: your account is not allowed' >&2; exit 1\n");
  ::chmod(bin.File("crontab").c_str(), 0755);
  ScopedEnv path("PATH", bin.Path());
  mShown.clear();
  CConfDlg dialog(mConf, "QuenorSync");
  EXPECT_EQ(dialog.findChild<QLabel*>("cronHint"), nullptr);
  ASSERT_TRUE(RunOptions(tickSchedule, "okButton", ApplyProgramSchedule));
  EXPECT_EQ(mShown, FormatText(LoadString(IDS_SCHEDULE_NOT_SAVED), {"crontab - failed: crontab: your account is not allowed"}));
  EXPECT_NE(ReadFileBytes(mConf.LogPath()).find("your account is not allowed"), std::string::npos);
  CLog::Instance().Close();
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
