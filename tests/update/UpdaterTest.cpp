// The update's three steps: the download (address, plain HTTP refused by default, HTTPS with
// verified certificates, time-out and other failures), the copy of the helper and the installer,
// and the helper's start with or without the restart.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "common/CXException.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "platform/shell/SystemMessages.h"
#include "tests/support/ScriptedSyncServer.h"
#include "tests/support/StandInProgram.h"
#include "tests/support/TempDir.h"
#include "update/Updater.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kPackage = std::string("\x1f\x8b package bytes \0 and more", 28);

// A 200 reply with `body`, after `delay`, with `headers`.
ScriptedReply Package(std::string body, std::vector<std::pair<std::string, std::string>> headers = {},
                      std::chrono::milliseconds delay = 0ms) {
  ScriptedReply reply = ScriptedReply::Status(200, std::move(body));
  reply.headers = std::move(headers);
  reply.delay = delay;
  return reply;
}

// The string id of the CUpdaterException that `step` throws; 0 when it throws none.
template <typename Step>
unsigned FailureOf(Step step) {
  try {
    step();
  } catch (const CUpdaterException& error) {
    return error.StringId();
  }
  return 0;
}

class UpdaterTest : public ::testing::Test {
 protected:
  UpdaterTest() : conf(config.Path()) {
    fs::create_directories(programFolder);
    EXPECT_TRUE(conf.Load(true));
    conf.SetUrl(server.Url());
    conf.SetAllowHttpUpdates(true);
  }

  Updater Make(std::chrono::milliseconds timeout = 10s) {
    UpdaterSettings settings = UpdaterSettings::FromConf(conf);
    settings.transport.timeout = timeout;
    settings.programFolder = programFolder;
    settings.programFile = "/opt/quenor sync/larkspan";
    return Updater(conf, settings);
  }
  std::string Downloaded() const { return ReadFileBytes(config.File(CConf::kDefaultPackageName)); }

  TempDir config;
  TempDir programs;
  std::string programFolder = programs.File("program/");
  ScriptedSyncServer server;
  CConf conf;
};

TEST_F(UpdaterTest, DownloadsThePackageFromBeforeCgiBinIntoTheConfigurationFolder) {
  server.Enqueue(Package(kPackage, {{"Content-Type", "application/octet-stream"}}));
  Make().DownloadUpdate();
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].method, "GET");
  EXPECT_EQ(server.Requests()[0].target, "/Tarnwell_Sync_Installer.msi");
  EXPECT_EQ(Downloaded(), kPackage);

  conf.SetUrl(server.BaseUrl() + "/sync");
  conf.SetPackageName("next.tgz");
  server.Enqueue(Package("v2"));
  Make().DownloadUpdate();
  EXPECT_EQ(server.Requests()[1].target, "/sync/next.tgz");
  EXPECT_EQ(ReadFileBytes(config.File("next.tgz")), "v2");
}

TEST_F(UpdaterTest, PlainHttpIsRefusedUnlessAllowedAndNothingIsFetched) {
  conf.SetAllowHttpUpdates(false);
  EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_HTTP_UPDATE_REFUSED));
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(fs::exists(config.File(CConf::kDefaultPackageName)));
  // Not in any letter case, nor written with one slash, which the HTTP library reads as http too.
  for (const std::string prefix : {"HTTP://", "http:/", "hTTp:/"}) {
    SCOPED_TRACE(prefix);
    conf.SetUrl(prefix + "127.0.0.1:" + std::to_string(server.Port()) + "/cgi-bin/vudireravaz");
    EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_HTTP_UPDATE_REFUSED));
  }
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(LoadString(IDS_HTTP_UPDATE_REFUSED).empty());
}

TEST_F(UpdaterTest, AServerWhoseCertificateIsNotCheckedIsNoSourceOfUpdatesUnlessAllowed) {
  const TlsFiles files = MakeSelfSignedCertificate(programs.Path(), "server", "IP:127.0.0.1");
  ScriptedTlsFront front(files, server.Port(), programs.Path());
  conf.SetUrl(front.Url());
  conf.SetSslVerify(false);
  conf.SetAllowHttpUpdates(false);
  EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_UNVERIFIED_UPDATE_REFUSED));
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(LoadString(IDS_UNVERIFIED_UPDATE_REFUSED).empty());
  conf.SetAllowHttpUpdates(true);
  server.Enqueue(Package(kPackage));
  Make().DownloadUpdate();
  EXPECT_EQ(Downloaded(), kPackage);
}

TEST_F(UpdaterTest, ThePackageNameNeverNamesAFileOfTheProgramsOwn) {
  const std::string configuration = ReadFileBytes(conf.ConfigFilePath());
  for (const char* name : {"QuenorSync.cfg", "Sync.log", "update.log", "Outlook_Express.anc", "Contacts.DAT", "Contacts.run",
                           "quenorsync.lock", ".hidden.tgz", "Swapling", "lkinstall", "sub/p.tgz", "..", "a\x1b[2J.tgz"}) {
    SCOPED_TRACE(name);
    conf.SetPackageName(name);
    EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_COMMUNICATION_ERROR));
  }
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_EQ(ReadFileBytes(conf.ConfigFilePath()), configuration);
  for (const char* name : {"Tarnwell_Sync_Installer.msi", "QuenorSync-1.2.0.tar.gz", "next.tgz"}) EXPECT_TRUE(IsSafePackageName(name)) << name;
}

TEST_F(UpdaterTest, AFailedDownloadLeavesNothingAndTheOlderFileAsItWas) {
  WriteFileBytes(config.File(CConf::kDefaultPackageName), "the older package");
  for (ScriptedReply failing : {ScriptedReply::Status(404, "gone"), Package(kPackage, {{"Content-Length", "1000"}}),
                                ScriptedReply::Close(), Package("")}) {
    server.Enqueue(failing);
    EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_COMMUNICATION_ERROR));
    EXPECT_EQ(Downloaded(), "the older package");
    EXPECT_EQ(std::distance(fs::directory_iterator(config.Path()), fs::directory_iterator()), 2) << "a partial download is left";
  }
  server.Enqueue(Package(kPackage));
  Make().DownloadUpdate();
  EXPECT_EQ(Downloaded(), kPackage);
  struct stat info {};
  ASSERT_EQ(::stat(config.File(CConf::kDefaultPackageName).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(UpdaterTest, ACancelStopsTheDownloadWithinASecondAndLeavesNothing) {
  ScriptedReply trickling = Package(std::string(1000, 'p'));
  trickling.trickle = 100ms;
  server.Enqueue(trickling);
  std::atomic<bool> cancel{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(500ms);
    cancel = true;
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate([&] { return cancel.load(); }); }), static_cast<unsigned>(IDS_CANCELED_BY_USER));
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_FALSE(fs::exists(config.File(CConf::kDefaultPackageName)));
  EXPECT_EQ(std::distance(fs::directory_iterator(config.Path()), fs::directory_iterator()), 1);

  // Without a cancel the whole download has its own time limit.
  server.Enqueue(trickling);
  UpdaterSettings settings = UpdaterSettings::FromConf(conf);
  settings.transport.timeout = 2s;
  settings.downloadTimeout = 1500ms;
  EXPECT_EQ(FailureOf([&] { Updater(conf, settings).DownloadUpdate(); }), static_cast<unsigned>(IDS_TIMED_OUT));
}

TEST_F(UpdaterTest, HttpsDownloadsWithoutTheSettingAndVerifiesTheCertificate) {
  const TlsFiles files = MakeSelfSignedCertificate(programs.Path(), "server", "IP:127.0.0.1");
  ScriptedTlsFront front(files, server.Port(), programs.Path());
  conf.SetAllowHttpUpdates(false);
  conf.SetUrl(front.Url());
  // An unknown certificate is refused.
  EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_COMMUNICATION_ERROR));
  server.Enqueue(Package(kPackage));
  UpdaterSettings settings = UpdaterSettings::FromConf(conf);
  settings.transport.caBundlePath = files.certificate;
  Updater(conf, settings).DownloadUpdate();
  EXPECT_EQ(Downloaded(), kPackage);
}

TEST_F(UpdaterTest, ATimeOutIs310AndOtherFailuresAre163) {
  server.Enqueue(Package(kPackage, {}, 4s));
  EXPECT_EQ(FailureOf([&] { Make(1s).DownloadUpdate(); }), static_cast<unsigned>(IDS_TIMED_OUT));
  EXPECT_EQ(LoadString(IDS_TIMED_OUT), "The request to the sync server has timed out");

  server.Enqueue(ScriptedReply::Status(404));
  EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_COMMUNICATION_ERROR));
  server.Enqueue(ScriptedReply::Close());
  EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_COMMUNICATION_ERROR));
  // A package name that is a path would be written outside the configuration folder.
  conf.SetPackageName("../elsewhere.tgz");
  EXPECT_EQ(FailureOf([&] { Make().DownloadUpdate(); }), static_cast<unsigned>(IDS_COMMUNICATION_ERROR));
  EXPECT_EQ(server.RequestCount(), 3u);
}

TEST_F(UpdaterTest, CopiesHelperAndInstallerOverOlderCopiesAndStartsTheHelperThere) {
  WriteStandInProgram(programFolder + Updater::kHelperName);
  WriteFileBytes(programFolder + Updater::kInstallerName, "installer");
  WriteFileBytes(config.File(Updater::kHelperName), "old helper");
  Updater updater = Make();
  updater.CopyUpdater();
  EXPECT_EQ(ReadFileBytes(config.File(Updater::kInstallerName)), "installer");
  updater.StartUpdater();
  EXPECT_GT(updater.HelperPid(), 0);
  const std::string pid = std::to_string(::getpid());
  EXPECT_EQ(StandInArguments(config.File("Swapling")),
            "/pid\n" + pid + "\n/path\n/opt/quenor sync/larkspan\n/source\nTarnwell_Sync_Installer.msi\n");
  EXPECT_EQ(ReadFileBytes(config.File("Swapling.cwd")), fs::canonical(config.Path()).string() + "\n");

  // Silently the program is not restarted.
  fs::remove(config.File("Swapling.args"));
  conf.SetSilent(true);
  Make().StartUpdater();
  EXPECT_EQ(StandInArguments(config.File("Swapling")), "/pid\n" + pid + "\n/source\nTarnwell_Sync_Installer.msi\n");
}

TEST_F(UpdaterTest, AMissingHelperFailsWithTheSystemsReason) {
  try {
    Make().CopyUpdater();
    FAIL() << "copied a helper that does not exist";
  } catch (const CUpdaterException& error) {
    EXPECT_EQ(error.Message(), SystemMessageText(ENOENT));
  }
  EXPECT_THROW(Make().StartUpdater(), CUpdaterException);
}

}  // namespace
