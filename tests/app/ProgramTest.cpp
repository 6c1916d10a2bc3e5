// The larkspan program run as a process without a display: silent start on an empty home, the
// status report, the end of start-up, the language libraries beside it, a second instance.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/wait.h>

#include "app/HeadlessSyncRun.h"
#include "common/BuildInfo.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "common/AtomicFile.h"
#include "config/CConf.h"
#include "engine/CSyncLink.h"
#include "engine/LocalSnapshots.h"
#include "stores/folder/FolderStore.h"
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

// ---- The actions that need no window: /preview, /restore, /report

// A complete configuration with a contacts link over the folder store at `items` (which the
// program is pointed at while the returned guard lives).
std::unique_ptr<ScopedEnv> FolderStoreHome(const TestHome& home, const std::string& items) {
  WriteCompleteConfiguration(home);
  CConf conf(home.ConfigFolder());
  EXPECT_TRUE(conf.Load(false));
  conf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
  conf.SetSyncAb(true);
  CSyncLink link;
  link.mMode = SYNC_MODE_TWO_WAY;
  link.mDataType = DATA_TYPE_CONTACTS;
  link.mClientApp = LOCAL_APP_OUTLOOK;
  link.mLocalName = "Contacts";
  link.mLocalPath = "Contacts";
  conf.Links().Add(link);
  conf.Save();
  fs::create_directories(items + "contacts");
  return std::make_unique<ScopedEnv>(FolderStore::kEnvironmentVariable, items);
}

void WriteContact(const std::string& items, const std::string& name, const std::string& fullName) {
  ASSERT_TRUE(WriteFileAtomically(items + "contacts/" + name + ".vcf",
                                  "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + fullName + ";;;;\r\nFN:" + fullName + "\r\nEND:VCARD\r\n"));
}

TEST(Program, ActionWithABadCommandLineEndsWithStatusTwoAndTheUsage) {
  TestHome home;
  WriteCompleteConfiguration(home);
  for (const char* line : {"/restore", "/restore one", "/restore 1 2 3", "/restore 0", "/report", "/preview now", "/preview /report x"}) {
    const ProgramRun run = RunProgram(home, line);
    EXPECT_EQ(run.exitStatus, 2) << line;
    EXPECT_TRUE(Contains(run.errorOutput, "Bad command line: ")) << line << ": " << run.errorOutput;
    EXPECT_TRUE(Contains(run.errorOutput, "/restore LINK [RUN]")) << line;
  }
  // A link number the configuration has no section for.
  const ProgramRun run = RunProgram(home, "/restore 4");
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_TRUE(Contains(run.errorOutput, "no link sync_4")) << run.errorOutput;
}

TEST(Program, PreviewPrintsWhatTheFirstRunWouldSendAndWritesNothing) {
  TestHome home;
  const std::string items = home.Root() + "items/";
  const auto store = FolderStoreHome(home, items);
  WriteContact(items, "ada", "Ada Lovelace");
  const std::string configuration = ReadFileBytes(home.ConfigFolder() + "QuenorSync.cfg");
  const ProgramRun run = RunProgram(home, "/preview");
  EXPECT_EQ(run.exitStatus, 0) << run.errorOutput;
  EXPECT_TRUE(Contains(run.output, "sync_1: Contacts <-> ./contacts")) << run.output;
  EXPECT_TRUE(Contains(run.output, "  send add contact \"Ada Lovelace\"\n")) << run.output;
  EXPECT_TRUE(Contains(run.output, EnglishString(IDS_PREVIEW_SERVER_UNKNOWN))) << run.output;
  EXPECT_EQ(ReadFileBytes(home.ConfigFolder() + "QuenorSync.cfg"), configuration);
  EXPECT_FALSE(fs::exists(home.ConfigFolder() + "Contacts.dat"));
  EXPECT_FALSE(fs::exists(home.ConfigFolder() + "Contacts.anc"));
}

TEST(Program, RestorePutsTheFolderBackToItsSnapshotAndSaysWhatItDid) {
  TestHome home;
  const std::string items = home.Root() + "items/";
  const auto store = FolderStoreHome(home, items);
  WriteContact(items, "ada", "Ada Lovelace");
  WriteContact(items, "alan", "Alan Turing");
  {
    CConf conf(home.ConfigFolder());
    ASSERT_TRUE(conf.Load(false));
    FolderStore folders(conf, items);
    ASSERT_TRUE(folders.SelectFolderOf(conf.Links().At(0)));
    ASSERT_EQ(folders.LoadContent(conf.Links().At(0).LocalFileName()), kStoreOk);
    LocalSnapshots(conf).Save(folders, conf.Links().At(0));
  }
  fs::remove(items + "contacts/alan.vcf");
  WriteContact(items, "ada", "Ada King");
  WriteContact(items, "grace", "Grace Hopper");
  EXPECT_EQ(RunProgram(home, "/restore 1 2").exitStatus, 1);

  const ProgramRun run = RunProgram(home, "/restore 1");

  EXPECT_EQ(run.exitStatus, 0) << run.errorOutput;
  EXPECT_TRUE(Contains(run.output, "1 rewritten, 1 created again, 1 deleted")) << run.output;
  EXPECT_TRUE(Contains(ReadFileBytes(items + "contacts/ada.vcf"), "FN:Ada Lovelace"));
  EXPECT_FALSE(fs::exists(items + "contacts/grace.vcf"));
  std::size_t alans = 0;
  for (const auto& entry : fs::directory_iterator(items + "contacts")) {
    alans += Contains(ReadFileBytes(entry.path().string()), "FN:Alan Turing");
  }
  EXPECT_EQ(alans, 1u);
}

TEST(Program, ReportIsAnArchiveWithTheLogsAndSettingsButNoSecretsAndNoItems) {
  TestHome home;
  const std::string items = home.Root() + "items/";
  const auto store = FolderStoreHome(home, items);
  const std::string itemMessage =
      "<SyncML><SyncHdr><Cred><Data>dXNlckBleGFtcGxlLm9yZzpzZWNyZXQ=</Data></Cred></SyncHdr><SyncBody><Status><Data>200</Data></Status>"
      "<Add><Item><Data><![CDATA[BEGIN:VCARD\r\nFN:Ada Lovelace\r\nNOTE:ends </Data> here?\r\nTEL:+44 20 7946 0001\r\nEND:VCARD]]></Data></Item></Add>"
      "<Put><Item><Data><DevInf xmlns='syncml:devinf'><Man>Example</Man><Mod>Server 9</Mod></DevInf></Data></Item></Put></SyncBody></SyncML>";
  ASSERT_TRUE(WriteFileAtomically(home.ConfigFolder() + "Sync.log", "12/10/26 09:00:00\tSend\tDebug\tlogin user@example.org password secret\n" +
                                                                        itemMessage + "\nlast run's line\n"));
  ASSERT_TRUE(WriteFileAtomically(home.ConfigFolder() + "Sync.log.1", "an earlier run's line\n"));
  const std::string archive = home.Root() + "report.tar.gz";

  const ProgramRun run = RunProgram(home, "/report '" + archive + "'");

  ASSERT_EQ(run.exitStatus, 0) << run.errorOutput;
  EXPECT_TRUE(Contains(run.output, archive)) << run.output;
  EXPECT_EQ(ModeOf(archive), 0600);
  const std::string unpacked = home.Root() + "unpacked/";
  fs::create_directories(unpacked);
  ASSERT_EQ(std::system(("tar -xzf '" + archive + "' -C '" + unpacked + "'").c_str()), 0);
  std::string everything;
  for (const auto& entry : fs::recursive_directory_iterator(unpacked)) {
    if (entry.is_regular_file()) everything += ReadFileBytes(entry.path().string());
  }
  const std::string folder = unpacked + "larkspan-report/";
  for (const char* name : {"about.txt", "settings.txt", "links.txt", "Sync.log", "Sync.log.1", "server-devinf.xml"}) {
    EXPECT_TRUE(fs::exists(folder + name)) << name;
  }
  EXPECT_TRUE(Contains(ReadFileBytes(folder + "Sync.log"), "last run's line"));
  EXPECT_TRUE(Contains(ReadFileBytes(folder + "Sync.log.1"), "an earlier run's line"));
  EXPECT_TRUE(Contains(ReadFileBytes(folder + "server-devinf.xml"), "<Mod>Server 9</Mod>"));
  EXPECT_TRUE(Contains(ReadFileBytes(folder + "about.txt"), BuildInfo::kProductVersion));
  EXPECT_TRUE(Contains(ReadFileBytes(folder + "links.txt"), "[sync_1]"));
  EXPECT_TRUE(Contains(ReadFileBytes(folder + "settings.txt"), "url=https://sync.example.org/"));
  for (const char* secret : {"secret", "user@example.org", "dXNlckBleGFtcGxlLm9yZzpzZWNyZXQ=", "Ada", "7946", "c2VjcmV0"}) {
    EXPECT_FALSE(Contains(everything, secret)) << secret;
  }
}

}  // namespace
