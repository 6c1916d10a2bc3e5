// The larkspan program run as a process without a display: silent start on an empty home, the
// status report, the end of start-up, the language libraries beside it, a second instance.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "app/HeadlessSyncRun.h"
#include "common/BuildInfo.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "engine/CSyncRun.h"
#include "platform/shell/InstanceLock.h"
#include "platform/shell/SystemMessages.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ScriptedSyncServer.h"

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int exitStatus = -1;
  std::string output;
  std::string errorOutput;
};

// Runs the built program with `arguments` in `home`, with no display and no Qt platform set.
ProgramRun RunProgram(const TestHome& home, const std::string& arguments) {
  TempDir runtime;
  const std::string errors = home.Root() + "stderr.txt";
  const std::string output = home.Root() + "stdout.txt";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME='" + home.Root() +
                              "home' XDG_DATA_HOME='" + home.Root() + "data' XDG_RUNTIME_DIR='" + runtime.Path() +
                              "' '" LARK_BINARY_DIR "/bin/larkspan' " + arguments + " 2>'" + errors + "' >'" + output + "'";
  const int status = std::system(command.c_str());
  ProgramRun run;
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.output = ReadFileBytes(output);
  run.errorOutput = ReadFileBytes(errors);
  return run;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A failure outweighs a link waiting for the user, which outweighs items that failed.
TEST(Program, SilentExitStatusPutsAFailureBeforeADecisionBeforeItemErrors) {
  SyncRunOutcome outcome;
  EXPECT_EQ(HeadlessSyncRun::ExitStatusOf(outcome), 0);
  outcome.linksWithItemErrors = 1;
  EXPECT_EQ(HeadlessSyncRun::ExitStatusOf(outcome), HeadlessSyncRun::kSyncItemErrorsStatus);
  outcome.linksNeedingDecision = 1;
  EXPECT_EQ(HeadlessSyncRun::ExitStatusOf(outcome), 6);
  outcome.linksFailed = 1;
  EXPECT_EQ(HeadlessSyncRun::ExitStatusOf(outcome), HeadlessSyncRun::kSyncFailedStatus);
}

// Answered before anything of start-up: no display, no configuration, nothing written.
TEST(Program, HelpAndVersionAreWrittenToStandardOutputWithoutTouchingTheHome) {
  TestHome home;
  for (const char* help : {"--help", "-h", "'/?'", "/silent --help"}) {
    const ProgramRun run = RunProgram(home, help);
    EXPECT_EQ(run.exitStatus, 0) << help << ": " << run.errorOutput;
    EXPECT_EQ(run.output.rfind("Usage: larkspan [/silent] [/status CODE] [/uninstall PRODUCT-CODE]\n", 0), 0u) << help;
    EXPECT_TRUE(Contains(run.output, "larkspan(1)")) << help;
    EXPECT_EQ(run.errorOutput, "") << help;
  }
  const ProgramRun version = RunProgram(home, "--version");
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.output.substr(0, version.output.find('\n')), std::string("larkspan (QuenorSync) ") + BuildInfo::kProductVersion);
  EXPECT_FALSE(fs::exists(home.Root() + "data")) << "the help wrote into the home";
}

TEST(Program, SilentStartOnEmptyHomeCreatesThePrivateFolderAndConfiguration) {
  TestHome home;
  const ProgramRun run = RunProgram(home, "/silent");
  EXPECT_EQ(run.exitStatus, 2) << run.errorOutput;  // stops for the language: needs the user
  EXPECT_EQ(ModeOf(home.Root() + "data/Tarnwell"), 0700);
  EXPECT_EQ(ModeOf(home.ConfigFolder()), 0700);
  const std::string config = home.ConfigFolder() + "QuenorSync.cfg";
  ASSERT_EQ(ModeOf(config), 0600);
  const std::string content = ReadFileBytes(config);
  EXPECT_EQ(content.size() % 2, 0u);  // UTF-16LE code units
  if (!content.empty()) {
    EXPECT_EQ(content.substr(0, 2), std::string("[\0", 2));
  }
  EXPECT_FALSE(Contains(run.errorOutput, "QuenorSync"));
}

TEST(Program, SilentStatusExitsQuietlyWithoutTouchingTheConfiguration) {
  TestHome home;
  const ProgramRun run = RunProgram(home, "/status 1603 /silent");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_FALSE(Contains(run.errorOutput, SystemMessageText(1603)));
  EXPECT_FALSE(fs::exists(home.ConfigFolder() + "QuenorSync.cfg"));
}

TEST(Program, StatusWithoutADisplayWritesTheInstallerText) {
  TestHome home;
  const ProgramRun run = RunProgram(home, "-status 1603");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(Contains(run.errorOutput, SystemMessageText(1603))) << run.errorOutput;
}

TEST(Program, CompleteStartUpWithoutADisplaySaysTheMainWindowNeedsOne) {
  TestHome home;
  WriteCompleteConfiguration(home);
  const ProgramRun run = RunProgram(home, "");
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_TRUE(Contains(run.errorOutput, FormatText(EnglishString(IDS_MAIN_WINDOW_NOT_AVAILABLE), {"QuenorSync"})))
      << run.errorOutput;
}

TEST(Program, SilentRunThatCannotReachTheServerPrintsWhyAndEndsWithTheFailureStatus) {
  TestHome home;
  WriteCompleteConfiguration(home);
  {
    CConf conf(home.ConfigFolder());
    ASSERT_TRUE(conf.Load(false));
    conf.SetUrl("http://127.0.0.1:9/");  // nothing listens there
    conf.Save();
  }
  const ProgramRun run = RunProgram(home, "/silent");
  EXPECT_EQ(run.exitStatus, HeadlessSyncRun::kSyncFailedStatus);
  EXPECT_EQ(run.output, EnglishString(IDS_COMMUNICATION_ERROR) + "\n");
}

// A scheduled run cannot ask for a password: it says what to do, sends nothing, and has a status
// of its own.
TEST(Program, SilentRunWithoutAStoredPasswordSendsNothingAndEndsWithItsOwnStatus) {
  TestHome home;
  WriteCompleteConfiguration(home);
  ScriptedSyncServer server;
  {
    CConf conf(home.ConfigFolder());
    ASSERT_TRUE(conf.Load(false));
    conf.SetUrl(server.BaseUrl() + "/");
    conf.SetRememberPass(false);
    conf.Save();
  }
  const ProgramRun run = RunProgram(home, "/silent");
  EXPECT_EQ(run.exitStatus, HeadlessSyncRun::kNoPasswordStatus);
  EXPECT_EQ(run.exitStatus, 7);
  EXPECT_EQ(run.output, FormatText(EnglishString(IDS_NO_PASSWORD_STORED), {"QuenorSync"}) + "\n");
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST(Program, FindsItsLanguageLibrariesBesideItself) {
  TestHome home;
  WriteCompleteConfiguration(home, "fr");
  const ProgramRun run = RunProgram(home, "");
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_TRUE(Contains(run.errorOutput, "QuenorSync a besoin d'un affichage")) << run.errorOutput;
}

TEST(Program, SecondInstanceIsRefused) {
  TestHome home;
  WriteCompleteConfiguration(home);
  InstanceLock running(home.ConfigFolder() + "QuenorSync.lock");
  ASSERT_TRUE(running.IsHeld());
  const ProgramRun run = RunProgram(home, "");
  EXPECT_EQ(run.exitStatus, 3);
  EXPECT_TRUE(Contains(run.errorOutput, "Another instance of QuenorSync is already running, click OK to quit"))
      << run.errorOutput;
  EXPECT_EQ(RunProgram(home, "/silent").exitStatus, 3);
}

}  // namespace
