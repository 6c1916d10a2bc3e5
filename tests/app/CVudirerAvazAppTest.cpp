// Start-up order: one-shot commands, silent runs, configuration and migration, language, the
// incomplete-configuration rule and the second-instance refusal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/CVudirerAvazApp.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CIniEx.h"
#include "platform/shell/InstanceLock.h"
#include "platform/shell/SystemMessages.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;

class StartupTest : public ::testing::Test {
 protected:
  ~StartupTest() override { FreeLanguageLibrary(); }

  StartupResult Start(const std::vector<std::string>& arguments) {
    app = std::make_unique<CVudirerAvazApp>(ui, home.ProgramFolder());
    return app->InitInstance(arguments);
  }

  // The language libraries of the build, in the test's program folder.
  void InstallLanguageLibraries() {
    fs::create_directories(home.ProgramFolder() + "lang");
    for (const char* code : {"de", "fr"}) {
      const std::string name = std::string("resource.") + code + ".so";
      fs::copy_file(LARK_BINARY_DIR "/bin/lang/" + name, home.ProgramFolder() + "lang/" + name);
    }
  }

  std::string ConfigFile() const { return home.ConfigFolder() + "QuenorSync.cfg"; }

  TestHome home;
  ScriptedStartup ui;
  std::unique_ptr<CVudirerAvazApp> app;
};

TEST_F(StartupTest, StatusZeroContinuesWithNormalStartUp) {
  WriteCompleteConfiguration(home);
  EXPECT_EQ(Start({"/status", "0"}), StartupResult::Ready);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StartupTest, StatusShowsTheInstallerTextAndEndsBeforeTheConfigurationIsTouched) {
  EXPECT_EQ(Start({"/status", "1603"}), StartupResult::CommandDone);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, SystemMessageText(1603));
  EXPECT_FALSE(fs::exists(ConfigFile()));
}

TEST_F(StartupTest, SilentBeforeOrAfterStatusSuppressesTheMessage) {
  for (const auto& arguments : {std::vector<std::string>{"/silent", "/status", "1603"},
                                std::vector<std::string>{"-status", "1603", "-silent"}}) {
    ScriptedStartup quiet;
    CVudirerAvazApp silentApp(quiet, home.ProgramFolder());
    EXPECT_EQ(silentApp.InitInstance(arguments), StartupResult::CommandDone);
    EXPECT_TRUE(quiet.messages.empty());
  }
}

TEST_F(StartupTest, StatusGivenTwiceUsesTheFirstValue) {
  EXPECT_EQ(Start({"/status", "3", "/status", "0"}), StartupResult::CommandDone);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, SystemMessageText(3));
}

TEST_F(StartupTest, SwitchInOtherLetterCaseIsNotSilent) {
  EXPECT_EQ(Start({"/Silent", "/status", "1602"}), StartupResult::CommandDone);
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(StartupTest, SilentStartOnEmptyHomeCreatesPrivateConfigurationAndStopsForTheLanguage) {
  EXPECT_EQ(Start({"/silent"}), StartupResult::NeedsUser);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.languageDialogs, 0);
  EXPECT_EQ(ModeOf(home.ConfigFolder()), 0700);
  EXPECT_EQ(ModeOf(ConfigFile()), 0600);
}

TEST_F(StartupTest, ChosenLanguageIsSavedLoadedAndUsedForLaterMessages) {
  InstallLanguageLibraries();
  ui.languageToPick = "de";
  // The configuration is still incomplete: the wizard comes next, in the chosen language.
  std::string wizardButton;
  ui.wizard = [&](CConf&) -> std::optional<WizardOutcome> {
    wizardButton = LoadString(IDS_WIZARD_NEXT);
    return std::nullopt;
  };
  EXPECT_EQ(Start({}), StartupResult::NeedsUser);
  EXPECT_EQ(ui.languageDialogs, 1);
  EXPECT_EQ(LoadString(IDS_CANCEL), "Abbrechen");
  EXPECT_EQ(wizardButton, "Weiter >");

  CConf saved(home.ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_EQ(saved.Language(), "de");
}

TEST_F(StartupTest, ConfiguredLanguageSkipsTheDialog) {
  WriteCompleteConfiguration(home, "fr");
  InstallLanguageLibraries();
  EXPECT_EQ(Start({}), StartupResult::Ready);
  EXPECT_EQ(ui.languageDialogs, 0);
  EXPECT_EQ(LoadString(IDS_CANCEL), "Annuler");
}

TEST_F(StartupTest, CancelledLanguageDialogEndsWithoutSaving) {
  ui.languageResult = LanguageChoiceResult::Cancelled;
  EXPECT_EQ(Start({}), StartupResult::Cancelled);
  CConf saved(home.ConfigFolder());
  ASSERT_TRUE(saved.Load(false));
  EXPECT_EQ(saved.Language(), "");
}

TEST_F(StartupTest, LanguageDialogThatNobodyCanAnswerNeedsTheUser) {
  ui.languageResult = LanguageChoiceResult::Unavailable;
  EXPECT_EQ(Start({}), StartupResult::NeedsUser);
}

TEST_F(StartupTest, IncompleteConfigurationOrAppStateOneStopsSilentlyWithoutTheWizard) {
  WriteCompleteConfiguration(home, "en", 1);
  EXPECT_EQ(Start({"/silent"}), StartupResult::NeedsUser);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.wizardRuns, 0);
}

// The wizard runs with app_state reset to 0; how it ends decides whether start-up goes on.
TEST_F(StartupTest, TheWizardsOutcomeDecidesWhetherTheMainWindowComes) {
  struct Case {
    std::optional<WizardOutcome> outcome;
    int appStateAfterWizard;
    StartupResult expected;
  };
  for (const Case& c : {Case{WizardOutcome::Finished, 0, StartupResult::Ready},
                        Case{WizardOutcome::Finished, 1, StartupResult::CommandDone},
                        Case{WizardOutcome::UpdateStarted, 1, StartupResult::CommandDone},
                        Case{WizardOutcome::Cancelled, 0, StartupResult::Cancelled},
                        Case{std::nullopt, 0, StartupResult::NeedsUser}}) {
    WriteCompleteConfiguration(home, "en", 1);
    ScriptedStartup wizardUi;
    int appStateSeen = -1;
    wizardUi.wizard = [&](CConf& conf) {
      appStateSeen = conf.AppState();
      conf.SetAppState(c.appStateAfterWizard);
      return c.outcome;
    };
    CVudirerAvazApp application(wizardUi, home.ProgramFolder());
    EXPECT_EQ(application.InitInstance({}), c.expected) << static_cast<int>(c.expected);
    EXPECT_EQ(wizardUi.wizardRuns, 1);
    EXPECT_EQ(appStateSeen, 0);
  }
}

TEST_F(StartupTest, CompleteConfigurationReachesTheMainWindow) {
  WriteCompleteConfiguration(home);
  EXPECT_EQ(Start({"/silent"}), StartupResult::Ready);
  EXPECT_EQ(app->MainWindowTitle(), " QuenorSync");
}

TEST_F(StartupTest, SecondInstanceIsRefusedWithTheProductName) {
  WriteCompleteConfiguration(home);
  ASSERT_EQ(Start({}), StartupResult::Ready);
  ScriptedStartup secondUi;
  CVudirerAvazApp second(secondUi, home.ProgramFolder());
  EXPECT_EQ(second.InitInstance({}), StartupResult::AlreadyRunning);
  ASSERT_EQ(secondUi.messages.size(), 1u);
  EXPECT_EQ(secondUi.messages[0].text, "Another instance of QuenorSync is already running, click OK to quit");

  ScriptedStartup silentUi;
  CVudirerAvazApp silent(silentUi, home.ProgramFolder());
  EXPECT_EQ(silent.InitInstance({"/silent"}), StartupResult::AlreadyRunning);
  EXPECT_TRUE(silentUi.messages.empty());

  app.reset();  // the first instance ends: its lock goes with it
  ScriptedStartup thirdUi;
  CVudirerAvazApp third(thirdUi, home.ProgramFolder());
  EXPECT_EQ(third.InitInstance({}), StartupResult::Ready);
}

TEST_F(StartupTest, LanguageCodeCannotLeadOutsideTheLanguageFolder) {
  // "lang/resource.x/../../elsewhere/library.so" would name a library outside "lang".
  InstallLanguageLibraries();
  fs::create_directories(home.ProgramFolder() + "lang/resource.x");
  fs::create_directories(home.ProgramFolder() + "elsewhere");
  fs::copy_file(home.ProgramFolder() + "lang/resource.de.so", home.ProgramFolder() + "elsewhere/library.so");
  WriteCompleteConfiguration(home, "x/../../elsewhere/library");
  EXPECT_EQ(Start({"/silent"}), StartupResult::Ready);
  EXPECT_EQ(LoadString(IDS_CANCEL), "Cancel");
  EXPECT_FALSE(app->LoadLanguage());
}

TEST_F(StartupTest, MissingLanguageLibraryContinuesInEnglish) {
  WriteCompleteConfiguration(home, "de");  // no lang/ folder in this program folder
  EXPECT_EQ(Start({"/silent"}), StartupResult::Ready);
  EXPECT_EQ(LoadString(IDS_CANCEL), "Cancel");
}

TEST_F(StartupTest, OldConfigurationInTheProgramFolderIsMigrated) {
  {
    TestHome other;  // a complete configuration made elsewhere, then placed in the program folder
    WriteCompleteConfiguration(other, "fr");
    fs::copy_file(other.ConfigFolder() + "QuenorSync.cfg", home.ProgramFolder() + "QuenorSync.cfg");
  }
  std::ofstream(home.ProgramFolder() + "link.anc") << "anchor";
  std::ofstream(home.ProgramFolder() + "link.dat") << "index";
  EXPECT_EQ(Start({"/silent"}), StartupResult::Ready);
  EXPECT_EQ(app->Conf().Language(), "fr");
  EXPECT_TRUE(fs::exists(home.ConfigFolder() + "link.anc"));
  EXPECT_TRUE(fs::exists(home.ConfigFolder() + "link.dat"));
}

TEST_F(StartupTest, ExistingConfigurationIsNotReplacedByAnOldOne) {
  WriteCompleteConfiguration(home, "en");
  std::ofstream(home.ProgramFolder() + "QuenorSync.cfg") << "[QuenorSync]\r\nlanguage=fr\r\n";
  EXPECT_EQ(Start({"/silent"}), StartupResult::Ready);
  EXPECT_EQ(app->Conf().Language(), "en");
}

TEST_F(StartupTest, UnreadableConfigurationIsNotReplacedByAnOldOneAndStartUpFails) {
  WriteCompleteConfiguration(home, "en");
  fs::resize_file(ConfigFile(), CIniEx::kMaxFileSize + 1);  // there, but refused by the reader
  std::ofstream(home.ProgramFolder() + "QuenorSync.cfg") << "[QuenorSync]\r\nlanguage=fr\r\n";
  std::ofstream(home.ProgramFolder() + "link.anc") << "old anchor";
  EXPECT_EQ(Start({"/silent"}), StartupResult::Failed);
  EXPECT_EQ(fs::file_size(ConfigFile()), CIniEx::kMaxFileSize + 1);
  EXPECT_FALSE(fs::exists(home.ConfigFolder() + "link.anc"));
}

}  // namespace
