// The helper's sequence with stand-in programs for the installer (ending with a chosen status)
// and the main program (recording its restart).
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/shell/InstallerStatus.h"
#include "platform/shell/Process.h"
#include "tests/support/StandInProgram.h"
#include "tests/support/TempDir.h"
#include "updater/CmdLineParser.h"
#include "updater/UpdateSequence.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class UpdateSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(programFolder);
    WriteStandInProgram(installer);
    WriteStandInProgram(program);
    WriteFileBytes(programFolder + "/product.manifest", "ProductCode={8C1D-77}\nProductName=QuenorSync\nProductVersion=1\n");
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
  EXPECT_EQ(StandInArguments(installer),
            Lines({"/i", "Tarnwell_Sync_Installer.msi", "REINSTALLMODE=vamus", "/passive", "/L*v", "update.log"}));
  EXPECT_EQ(ReadFileBytes(installer + ".cwd"), fs::canonical(work.Path()).string() + "\n");
  EXPECT_FALSE(fs::exists(program + ".cwd"));
}

TEST_F(UpdateSequence, RestartsTheProgramInItsFolderWithTheInstallersCode) {
  EXPECT_EQ(Run({"/path", program, "/source", "p.tgz"}), 0u);
  EXPECT_EQ(StandInArguments(program), Lines({"/status", "0"}));
  EXPECT_EQ(ReadFileBytes(program + ".cwd"), fs::canonical(programFolder).string() + "\n");

  fs::remove(program + ".args");
  InstallerEndsWith(1603);
  EXPECT_EQ(Run({"/path", program}), 1603u);
  EXPECT_EQ(StandInArguments(program), Lines({"/status", "1603"}));
}

// The installer is told the product of the program being updated, found from "/path" or, when a
// silent update has none, from the process of "/pid"; a program that is no installation is not
// updated with just any package.
TEST_F(UpdateSequence, OnlyAPackageOfTheUpdatedProgramsOwnProductIsInstalled) {
  EXPECT_EQ(Run({"/path", program, "/source", "p.tgz"}), 0u);
  EXPECT_EQ(StandInArguments(installer),
            Lines({"/i", "p.tgz", "REINSTALLMODE=vamus", "/passive", "/L*v", "update.log", "PRODUCTCODE={8C1D-77}"}));

  fs::remove(installer + ".args");
  fs::copy_file("/bin/sleep", programFolder + "/larkspan-silent");
  const ProcessStart silent = StartProcess(programFolder + "/larkspan-silent", {"0.5"});
  ASSERT_TRUE(silent.Started());
  std::thread reaper([&] { WaitForProcess(silent.pid); });
  EXPECT_EQ(Run({"/pid", std::to_string(silent.pid), "/source", "p.tgz"}), 0u);
  reaper.join();
  EXPECT_EQ(StandInArguments(installer).find("PRODUCTCODE={8C1D-77}\n") != std::string::npos, true) << StandInArguments(installer);

  fs::remove(installer + ".args");
  fs::remove(program + ".args");
  fs::remove(programFolder + "/product.manifest");
  EXPECT_EQ(Run({"/path", program, "/source", "p.tgz"}), 1603u);
  EXPECT_EQ(StandInArguments(program), Lines({"/status", "1603"}));
  EXPECT_FALSE(fs::exists(installer + ".args")) << "installed for a program of no known product";
}

TEST_F(UpdateSequence, AnInstallerThatCannotStartStillRestartsTheProgramWithItsErrorNumber) {
  fs::remove(installer);
  EXPECT_EQ(Run({"/path", program}), static_cast<unsigned>(ENOENT));
  EXPECT_EQ(StandInArguments(program), Lines({"/status", std::to_string(ENOENT)}));
}

TEST_F(UpdateSequence, ARestartThatFailsBecomesTheStatus) {
  EXPECT_EQ(Run({"/path", programFolder + "/no such program"}), static_cast<unsigned>(ENOENT));
  EXPECT_TRUE(fs::exists(installer + ".args"));
}

TEST_F(UpdateSequence, WaitsForTheProgramToEndButNotLongerThanAllowed) {
  // The program waited for is an installation's: its folder holds the manifest.
  const std::string sleeper = programFolder + "/larkspan-sleep";
  fs::copy_file("/bin/sleep", sleeper);
  const ProcessStart quick = StartProcess(sleeper, {"0.4"});
  ASSERT_TRUE(quick.Started());
  // The helper is not the program's parent; its end is seen all the same.
  std::thread reaper([&] { WaitForProcess(quick.pid); });
  ScopedEnv watch("WATCH", std::to_string(quick.pid));
  EXPECT_EQ(Run({"/pid", std::to_string(quick.pid)}), 0u);
  reaper.join();
  EXPECT_FALSE(fs::exists(installer + ".watch")) << "installed while the program still ran";

  const ProcessStart stuck = StartProcess(sleeper, {"30"});
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
  EXPECT_EQ(StandInArguments(installer).substr(0, 3), "/i\n");
}

TEST(SwaplingProgram, FindsTheInstallerBesideItselfAndExitsWithItsCode) {
  TempDir folder;
  fs::copy_file(std::string(LARK_BINARY_DIR) + "/bin/Swapling", folder.File("Swapling"));
  WriteStandInProgram(folder.File("lkinstall"));
  WriteFileBytes(folder.File("lkinstall.exit"), std::to_string(InstallerExitStatus(1605)));
  const ProcessStart helper = StartProcess(folder.File("Swapling"), {"/source", "pkg.tgz"}, folder.Path());
  ASSERT_TRUE(helper.Started());
  EXPECT_EQ(InstallerCodeFromExitStatus(WaitForProcess(helper.pid)), 1605u);
  EXPECT_EQ(StandInArguments(folder.File("lkinstall")).substr(0, 11), "/i\npkg.tgz\n");
}

}  // namespace
