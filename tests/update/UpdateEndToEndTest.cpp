// The whole update on this machine: the build's package of version N installed with lkinstall; the
// scripted server answers the check with 513 and serves a package of version N+1; the program
// downloads it, starts the helper and ends; the helper installs it and restarts the program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "engine/CSyncRun.h"
#include "engine/SyncObserver.h"
#include "platform/shell/InstallerStatus.h"
#include "platform/shell/Process.h"
#include "stores/RunStoreFactory.h"
#include "tests/support/ScriptedSyncServer.h"
#include "tests/support/SyncRunTestSupport.h"
#include "tests/support/TempDir.h"
#include "update/Updater.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kBin = std::string(LARK_BINARY_DIR) + "/bin/";

// Runs a command line through the shell (the test's environment), its exit status.
int Shell(const std::string& command) {
  const ProcessStart started = StartProcess("/bin/sh", {"-c", command});
  return started.Started() ? WaitForProcess(started.pid) : -1;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

bool WaitUntil(const std::function<bool()>& condition, std::chrono::seconds timeout = 60s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// The packages of the suite: version N as the build makes it, and N+1 made from it with another
// version in its manifest and one file more.
struct Packages {
  TempDir folder;
  std::string current;
  std::string next;
  std::string nextVersion;
};

Packages* gPackages = nullptr;

// An update starter of a program installed elsewhere than this test: the helper and the installer
// come from the installation, and the installed program is the one restarted.
class InstalledProgramUpdate final : public UpdateStarter {
 public:
  explicit InstalledProgramUpdate(std::string folder) : mFolder(std::move(folder)) {}
  void StartUpdate(CConf& conf, const std::function<bool()>& abortRequested) override {
    UpdaterSettings settings = UpdaterSettings::FromConf(conf);
    settings.transport.abortRequested = abortRequested;
    settings.programFolder = mFolder;
    settings.programFile = mFolder + "larkspan";
    Updater updater(conf, settings);
    updater.DownloadUpdate();
    updater.CopyUpdater();
    updater.StartUpdater();
  }

 private:
  std::string mFolder;
};

class UpdateEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    gPackages = new Packages;
    const std::string out = gPackages->folder.Path();
    ASSERT_EQ(Shell(Quoted(LARK_CPACK) + " --config " + Quoted(std::string(LARK_BINARY_DIR) + "/CPackConfig.cmake") + " -B " +
                    Quoted(out + "cpack") + " > " + Quoted(out + "cpack.log") + " 2>&1"),
              0)
        << ReadFileBytes(out + "cpack.log");
    for (const auto& item : fs::directory_iterator(out + "cpack")) {
      if (item.path().extension() == ".gz") gPackages->current = item.path().string();
    }
    ASSERT_FALSE(gPackages->current.empty());
    gPackages->nextVersion = "99.0.1";
    const std::string tree = out + "next/";
    fs::create_directories(tree);
    ASSERT_EQ(Shell("tar -xzf " + Quoted(gPackages->current) + " -C " + Quoted(tree)), 0);
    std::string manifest = ReadFileBytes(tree + "product.manifest");
    const std::size_t version = manifest.find("ProductVersion=");
    ASSERT_NE(version, std::string::npos);
    manifest = manifest.substr(0, version) + "ProductVersion=" + gPackages->nextVersion + "\n";
    WriteFileBytes(tree + "product.manifest", manifest);
    WriteFileBytes(tree + "only-in-next.txt", "next");
    gPackages->next = out + "next.tar.gz";
    ASSERT_EQ(Shell("tar -czf " + Quoted(gPackages->next) + " -C " + Quoted(tree) + " ."), 0);
  }
  static void TearDownTestSuite() {
    delete gPackages;
    gPackages = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(gPackages, nullptr);
    ASSERT_FALSE(gPackages->next.empty());
    // The installed copy of version N.
    ASSERT_EQ(InstallerCodeFromExitStatus(WaitForProcess(
                  StartProcess(kBin + "lkinstall", {"/i", gPackages->current, "INSTALLDIR=" + installed, "/passive"}).pid)),
              0u);
    ASSERT_TRUE(fs::exists(installed + "larkspan"));
    ASSERT_TRUE(fs::exists(installed + "Swapling"));
    // Its user's configuration: complete, pointing at the scripted server.
    CConf conf(configFolder);
    ASSERT_TRUE(conf.Load(true));
    conf.SetUrl(server.Url());
    conf.SetLogin("user");
    conf.SetPassword("secret");
    conf.SetRememberPass(true);
    conf.SetLanguage("en");
    conf.SetSyncWithOutlook(LOCAL_APP_WINDOWS_CONTACTS);
    conf.SetAllowHttpUpdates(true);
    ASSERT_TRUE(conf.Save());
    server.SetResponder([](const RecordedRequest& request) {
      if (request.method == "GET" && request.target == "/Tarnwell_Sync_Installer.msi") {
        return ScriptedReply::Status(200, ReadFileBytes(gPackages->next));
      }
      return ScriptedReply::SyncMl(ServerReply(1, HeaderStatus("513")));
    });
  }

  std::string InstalledVersion() const {
    const std::string manifest = ReadFileBytes(installed + "product.manifest");
    const std::size_t at = manifest.find("ProductVersion=");
    return at == std::string::npos ? std::string() : manifest.substr(at + 15, manifest.find('\n', at) - at - 15);
  }
  bool Downloaded() const {
    for (const RecordedRequest& request : server.Requests()) {
      if (request.method == "GET") return true;
    }
    return false;
  }

  // The check before a run in a process of its own that then ends, as the program does: the
  // question answered with `answer`. Its error output (and the helper's, and the restarted
  // program's) goes to `errors`.
  void CheckServerInChild(PromptAnswer answer) {
    const pid_t child = fork();
    if (child == 0) {
      const int errorsFd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      ::dup2(errorsFd, STDERR_FILENO);
      CConf conf(configFolder);
      conf.Load(false);
      AnsweringPrompt prompt;
      prompt.answer = answer;
      std::ostringstream progress;
      ConsoleSyncObserver observer(progress);
      RunStoreFactory stores;
      InstalledProgramUpdate updates(installed);
      CSyncRun run(conf, CSyncRun::Services{observer, prompt, stores, updates});
      const bool allowed = run.CheckServer();
      _exit(allowed ? 1 : prompt.Texts().size() == 1 ? 0 : 2);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check allowed a run or did not ask exactly once: " << ReadFileBytes(errors);
  }

  TempDir home;
  ScopedEnv dataHome{"XDG_DATA_HOME", home.Path()};
  ScopedEnv runtime{"XDG_RUNTIME_DIR", home.Path()};
  ScopedEnv platform{"QT_QPA_PLATFORM", std::string("offscreen")};
  std::string installed = home.File("programs/QuenorSync/");
  std::string configFolder = home.File("Tarnwell/QuenorSync/");
  std::string errors = home.File("errors.txt");
  ScriptedSyncServer server;
};

TEST_F(UpdateEndToEnd, AcceptedUpdateIsInstalledAndTheNewVersionRestarted) {
  CheckServerInChild(PromptAnswer::Ok);
  ASSERT_TRUE(WaitUntil([&] { return InstalledVersion() == gPackages->nextVersion; }))
      << "installed: " << InstalledVersion() << "\n" << ReadFileBytes(configFolder + "update.log");
  EXPECT_EQ(ReadFileBytes(installed + "only-in-next.txt"), "next");
  EXPECT_TRUE(fs::exists(installed + "larkspan"));
  EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(configFolder + "update.log").find("exit code 0") != std::string::npos; }));
  // Restarted with "/status 0", the program went through start-up to the point where its main
  // window would open.
  const std::string reached = FormatText(LoadString(IDS_MAIN_WINDOW_NOT_AVAILABLE), {"QuenorSync"});
  EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(errors).find(reached) != std::string::npos; }, 30s)) << ReadFileBytes(errors);
}

TEST_F(UpdateEndToEnd, CancelOnTheQuestionChangesNothing) {
  CheckServerInChild(PromptAnswer::Cancel);
  EXPECT_FALSE(Downloaded());
  EXPECT_FALSE(fs::exists(configFolder + "Swapling"));
  EXPECT_NE(InstalledVersion(), gPackages->nextVersion);
}

TEST_F(UpdateEndToEnd, SilentProgramUpdatesItselfWithoutRestartAndPlainHttpIsRefusedByDefault) {
  // By default the package offered over http:// is not fetched.
  {
    CConf conf(configFolder);
    ASSERT_TRUE(conf.Load(false));
    conf.SetAllowHttpUpdates(false);
    ASSERT_TRUE(conf.Save());
  }
  const std::string installedProgram = installed + "larkspan";
  const std::string before = InstalledVersion();
  Shell(Quoted(installedProgram) + " /silent > " + Quoted(errors) + " 2>&1");
  EXPECT_NE(ReadFileBytes(configFolder + "Sync.log").find(LoadString(IDS_HTTP_UPDATE_REFUSED)), std::string::npos)
      << ReadFileBytes(errors);
  EXPECT_FALSE(Downloaded());
  EXPECT_EQ(InstalledVersion(), before);

  {
    CConf conf(configFolder);
    ASSERT_TRUE(conf.Load(false));
    conf.SetAllowHttpUpdates(true);
    ASSERT_TRUE(conf.Save());
  }
  Shell(Quoted(installedProgram) + " /silent > " + Quoted(errors) + " 2>&1");
  EXPECT_TRUE(Downloaded());
  ASSERT_TRUE(WaitUntil([&] { return InstalledVersion() == gPackages->nextVersion; }))
      << ReadFileBytes(configFolder + "update.log") << ReadFileBytes(errors);
  EXPECT_EQ(ReadFileBytes(installed + "only-in-next.txt"), "next");
  // Nothing restarts a silent update: no second check reaches the server.
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(server.RequestCount(), 3u);
}

}  // namespace
