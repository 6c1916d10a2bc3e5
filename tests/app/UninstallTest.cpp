// Uninstall starts the installer program from the program folder with "/x <code>" and does not
// wait for it; started programs inherit no descriptors (the instance lock among them).
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "app/CVudirerAvazApp.h"
#include "platform/shell/InstanceLock.h"
#include "platform/shell/Process.h"
#include "platform/shell/SystemMessages.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;

// A stand-in for the installer: records its arguments, then waits until the test releases it
// (at most 20 seconds) and marks that it ended.
void WriteStandIn(const std::string& path) {
  std::ofstream script(path);
  script << "#!/bin/sh\n"
            "dir=$(dirname \"$0\")\n"
            "printf '%s' \"$#\" > \"$dir/argc.txt\"\n"
            "printf '%s' \"$*\" > \"$dir/args.tmp\" && mv \"$dir/args.tmp\" \"$dir/args.txt\"\n"
            "i=0\n"
            "while [ ! -e \"$dir/release\" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\n"
            "touch \"$dir/done\"\n";
  script.close();
  fs::permissions(path, fs::perms::owner_all);
}

std::string Read(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class UninstallTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteStandIn(folder + CVudirerAvazApp::kInstallerProgram); }
  // A stand-in still waiting is let go before its folder is removed.
  void TearDown() override {
    std::ofstream(folder + "release").close();
    if (fs::exists(folder + "args.txt")) WaitFor([&] { return fs::exists(folder + "done"); });
  }

  // Waits for the stand-in to have recorded its arguments.
  bool StandInStarted() const { return WaitFor([&] { return fs::exists(folder + "args.txt"); }); }

  TestHome home;
  std::string folder = home.ProgramFolder();
  ScriptedStartup ui;
};

TEST_F(UninstallTest, StartsTheInstallerWithTheProductCodeAndDoesNotWait) {
  CVudirerAvazApp app(ui, folder);
  EXPECT_EQ(app.InitInstance({"/uninstall", "{6F2D-11AA}", "/silent"}), StartupResult::CommandDone);
  ASSERT_TRUE(StandInStarted());
  EXPECT_EQ(Read(folder + "args.txt"), "/x {6F2D-11AA}");
  EXPECT_EQ(Read(folder + "argc.txt"), "2");
  EXPECT_FALSE(fs::exists(folder + "done")) << "start-up waited for the installer";
  std::ofstream(folder + "release").close();
  EXPECT_TRUE(WaitFor([&] { return fs::exists(folder + "done"); }));
  // Nothing else of start-up ran.
  EXPECT_FALSE(fs::exists(home.ConfigFolder() + "QuenorSync.cfg"));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(UninstallTest, AsLastTokenStartsTheInstallerWithNothingAfterTheSwitch) {
  CVudirerAvazApp app(ui, folder);
  EXPECT_EQ(app.InitInstance({"/uninstall"}), StartupResult::CommandDone);
  ASSERT_TRUE(StandInStarted());
  EXPECT_EQ(Read(folder + "args.txt"), "/x ");
}

TEST_F(UninstallTest, MissingInstallerShowsTheSystemTextUnlessSilent) {
  fs::remove(folder + CVudirerAvazApp::kInstallerProgram);
  CVudirerAvazApp app(ui, folder);
  EXPECT_EQ(app.InitInstance({"/uninstall", "X"}), StartupResult::Failed);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, SystemMessageText(ENOENT));

  ScriptedStartup quiet;
  CVudirerAvazApp silentApp(quiet, folder);
  EXPECT_EQ(silentApp.InitInstance({"/silent", "/uninstall", "X"}), StartupResult::Failed);
  EXPECT_TRUE(quiet.messages.empty());
}

TEST(ProcessStart, PassesEachArgumentWholeAndReportsTheExitStatus) {
  TempDir dir;
  const std::string script = dir.File("echo.sh");
  std::ofstream(script) << "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/out\"\nexit 7\n";
  fs::permissions(script, fs::perms::owner_all);
  const ProcessStart start = StartProcess(script, {"a b", "", "$HOME;`x`", "'q'"});
  ASSERT_TRUE(start.Started()) << start.error;
  EXPECT_EQ(WaitForProcess(start.pid), 7);
  EXPECT_EQ(Read(dir.File("out")), "a b||$HOME;`x`|'q'|");
}

TEST(ProcessStart, ReportsAMissingOrNonExecutableProgram) {
  TempDir dir;
  EXPECT_EQ(StartProcess(dir.File("absent"), {}).error, ENOENT);
  std::ofstream(dir.File("plain")) << "not a program";
  fs::permissions(dir.File("plain"), fs::perms::owner_read | fs::perms::owner_write);
  const ProcessStart start = StartProcess(dir.File("plain"), {});
  EXPECT_FALSE(start.Started());
  EXPECT_EQ(start.error, EACCES);
}

TEST(ProcessStart, StartedProgramDoesNotKeepTheInstanceLock) {
  TempDir dir;
  const std::string script = dir.File("wait.sh");
  WriteStandIn(script);
  auto lock = std::make_unique<InstanceLock>(dir.File("title.lock"));
  ASSERT_TRUE(lock->IsHeld());
  const ProcessStart start = StartProcess(script, {});
  ASSERT_TRUE(start.Started());
  ASSERT_TRUE(WaitFor([&] { return fs::exists(dir.File("args.txt")); }));
  lock.reset();  // the program still runs; had it inherited the descriptor, it would hold the lock
  InstanceLock next(dir.File("title.lock"));
  EXPECT_TRUE(next.IsHeld());
  std::ofstream(dir.File("release")).close();
  EXPECT_EQ(WaitForProcess(start.pid), 0);
}

}  // namespace
