// The helper's sequence with stand-in programs: a fake installer that records how it was started
// and ends with a chosen status, and a fake main program that records its restart.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/shell/InstallerStatus.h"
#include "platform/shell/Process.h"
#include "tests/support/TempDir.h"
#include "updater/CmdLineParser.h"
#include "updater/UpdateSequence.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A shell script that writes its arguments (one a line) and current folder into `<name>.args`
// and `<name>.cwd` beside itself, records whether the process $WATCH still runs, and exits with
// the status in `<name>.exit` (0 without it).
void WriteStandIn(const std::string& path) {
  std::ofstream script(path);
  script << "#!/bin/sh\n"
            "me=\"$0\"\n"
            "pwd > \"$me.cwd\"\n"
            "if [ -n \"$WATCH\" ] && kill -0 \"$WATCH\" 2>/dev/null; then echo running > \"$me.watch\"; fi\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$me.tmp\" && mv \"$me.tmp\" \"$me.args\"\n"
            "[ -f \"$me.exit\" ] && exit $(cat \"$me.exit\")\n"
            "exit 0\n";
  script.close();
  fs::permissions(path, fs::perms::owner_all);
}

// The restarted program runs on its own: its record is waited for (at most 10 s).
std::string ArgumentsOnceWritten(const std::string& program) {
  const std::string path = program + ".args";
  for (int i = 0; i < 500 && !fs::exists(path); ++i) std::this_thread::sleep_for(20ms);
  return ReadFileBytes(path);
}

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class UpdateSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(programFolder);
    WriteStandIn(installer);
    WriteStandIn(program);
    previous = fs::current_path();
    fs::current_path(work.Path());
  }
  void TearDown() override { fs::current_path(previous); }

  unsigned Run(const std::vector<std::string>& arguments, std::chrono::milliseconds wait = kProgramExitWait) {
    return RunUpdate(CmdLineParser(arguments), installer, wait);
  }
  void InstallerEndsWith(unsigned code) { WriteFileBytes(installer + ".exit", std::to_string(InstallerExitStatus(code))); }

  TempDir work;
  std::string installer = work.File("lkinstall");
  std::string programFolder = work.File("program folder");
  std::string program = programFolder + "/larkspan";
  fs::path previous;
};

TEST_F(UpdateSequence, WithoutArgumentsInstallsTheDefaultPackageHereAndStartsNothing) {
  EXPECT_EQ(Run({}), 0u);
  EXPECT_EQ(ReadFileBytes(installer + ".args"),
            Lines({"/i", "Tarnwell_Sync_Installer.msi", "REINSTALLMODE=vamus", "/passive", "/L*v", "update.log"}));
  EXPECT_EQ(ReadFileBytes(installer + ".cwd"), fs::canonical(work.Path()).string() + "\n");
  EXPECT_FALSE(fs::exists(program + ".cwd"));
}

TEST_F(UpdateSequence, RestartsTheProgramInItsFolderWithTheInstallersCode) {
  EXPECT_EQ(Run({"/path", program, "/source", "p.tgz"}), 0u);
  EXPECT_EQ(ArgumentsOnceWritten(program), Lines({"/status", "0"}));
  EXPECT_EQ(ReadFileBytes(program + ".cwd"), fs::canonical(programFolder).string() + "\n");

  fs::remove(program + ".args");
  InstallerEndsWith(1603);
  EXPECT_EQ(Run({"/path", program}), 1603u);
  EXPECT_EQ(ArgumentsOnceWritten(program), Lines({"/status", "1603"}));
}

TEST_F(UpdateSequence, AnInstallerThatCannotStartStillRestartsTheProgramWithItsErrorNumber) {
  fs::remove(installer);
  EXPECT_EQ(Run({"/path", program}), static_cast<unsigned>(ENOENT));
  EXPECT_EQ(ArgumentsOnceWritten(program), Lines({"/status", std::to_string(ENOENT)}));
}

TEST_F(UpdateSequence, ARestartThatFailsBecomesTheStatus) {
  EXPECT_EQ(Run({"/path", work.File("no such program")}), static_cast<unsigned>(ENOENT));
  EXPECT_TRUE(fs::exists(installer + ".args"));
}

TEST_F(UpdateSequence, WaitsForTheProgramToEndButNotLongerThanAllowed) {
  const ProcessStart quick = StartProcess("/bin/sleep", {"0.4"});
  ASSERT_TRUE(quick.Started());
  // The helper is not the program's parent; its end is seen all the same.
  std::thread reaper([&] { WaitForProcess(quick.pid); });
  ScopedEnv watch("WATCH", std::to_string(quick.pid));
  EXPECT_EQ(Run({"/pid", std::to_string(quick.pid)}), 0u);
  reaper.join();
  EXPECT_FALSE(fs::exists(installer + ".watch")) << "installed while the program still ran";

  const ProcessStart stuck = StartProcess("/bin/sleep", {"30"});
  ASSERT_TRUE(stuck.Started());
  ScopedEnv watchStuck("WATCH", std::to_string(stuck.pid));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({"/pid", std::to_string(stuck.pid)}, 300ms), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_TRUE(fs::exists(installer + ".watch")) << "the installation waited for a program that did not end";
  ::kill(static_cast<pid_t>(stuck.pid), SIGKILL);
  WaitForProcess(stuck.pid);
}

TEST_F(UpdateSequence, AnEmptyOrEndedProcessIdIsNotWaitedFor) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({"/pid", "/source", "x.msi"}), 0u);
  EXPECT_EQ(Run({"/pid", "999999999"}), 0u);
  EXPECT_EQ(Run({"/pid", "not a number"}), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(ReadFileBytes(installer + ".args").substr(0, 3), "/i\n");
}

TEST(SwaplingProgram, FindsTheInstallerBesideItselfAndExitsWithItsCode) {
  TempDir folder;
  fs::copy_file(std::string(LARK_BINARY_DIR) + "/bin/Swapling", folder.File("Swapling"));
  WriteStandIn(folder.File("lkinstall"));
  WriteFileBytes(folder.File("lkinstall.exit"), std::to_string(InstallerExitStatus(1605)));
  const ProcessStart helper = StartProcess(folder.File("Swapling"), {"/source", "pkg.tgz"}, folder.Path());
  ASSERT_TRUE(helper.Started());
  EXPECT_EQ(InstallerCodeFromExitStatus(WaitForProcess(helper.pid)), 1605u);
  EXPECT_EQ(ReadFileBytes(folder.File("lkinstall.args")).substr(0, 11), "/i\npkg.tgz\n");
}

}  // namespace
