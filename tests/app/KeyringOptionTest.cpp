// The password in the desktop keyring from end to end, against gnome-keyring-daemon in a session
// bus of the test's own: the option chosen in the options dialog moves the password out of the
// file into the keyring, a silent run of the program signs in with it, and the same run without a
// session bus (a job of cron) fails with a clear message and sends nothing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <sys/wait.h>

#include <cstdlib>

#include "app/QtConfigurationDialogs.h"
#include "common/Base64.h"
#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CConf.h"
#include "platform/keyring/SecretServiceKeyring.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/KeyringSession.h"
#include "tests/support/ScriptedSyncServer.h"

namespace {

constexpr const char* kPassword = "s3cr\xc3\xa9t pass";

struct ProgramRun {
  int exitStatus = -1;
  std::string errorOutput;
};

// The built program run silently in `home`; `withBus` keeps the session bus of the test.
ProgramRun RunSilently(const TestHome& home, bool withBus) {
  TempDir runtime;
  const std::string errors = home.Root() + "stderr.txt";
  const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                              (withBus ? "" : "-u DBUS_SESSION_BUS_ADDRESS ") + "HOME='" + home.Root() + "home' XDG_DATA_HOME='" +
                              home.Root() + "data' XDG_RUNTIME_DIR='" + runtime.Path() +
                              "' '" LARK_BINARY_DIR "/bin/larkspan' /silent 2>'" + errors + "' >/dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(errors)};
}

std::string ConfigText(const TestHome& home) {
  const std::string bytes = ReadFileBytes(home.ConfigFolder() + "QuenorSync.cfg");
  std::string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) text += bytes[i];
  return text;
}

// Run inside the keyring session that KeyringOption.ChosenInTheOptionsServesSilentRuns starts.
TEST(KeyringOptionSession, EndToEnd) {
  if (!InKeyringSession()) GTEST_SKIP() << "runs inside the keyring session of another test";
  EnsureQtApplication();
  TestHome home;
  ScriptedSyncServer server;
  server.SetResponder([](const RecordedRequest&) { return ScriptedReply::Status(503); });
  SecretServiceKeyring keyring("Tarnwell.QuenorSync.Password", "QuenorSync");
  {
    WriteCompleteConfiguration(home);
    CConf conf(home.ConfigFolder());
    conf.SetKeyring(&keyring);
    ASSERT_TRUE(conf.Load(false));
    conf.SetUrl(server.BaseUrl() + "/");
    conf.SetPassword(kPassword);
    conf.SetRememberPass(true);
    ASSERT_TRUE(conf.Save());
    ASSERT_NE(ConfigText(home).find("password=" + EncodeBase64(kPassword)), std::string::npos);

    // The user ticks the option in the options dialog and confirms.
    QtConfigurationDialogs dialogs({}, {}, "larkspan-keyring-test");
    ModalDriver driver([](QWidget* dialog) {
      auto* box = dialog->findChild<QCheckBox*>("keyringCheck");
      ASSERT_NE(box, nullptr);
      QTest::mouseClick(box, Qt::LeftButton);
      QTest::mouseClick(dialog->findChild<QPushButton*>("okButton"), Qt::LeftButton);
    });
    ASSERT_TRUE(dialogs.RunOptions(conf, nullptr));
    ASSERT_TRUE(driver.Ran());
    EXPECT_TRUE(conf.PasswordInKeyring()) << conf.KeyringFailure();
  }
  const std::string text = ConfigText(home);
  EXPECT_EQ(text.find(EncodeBase64(kPassword)), std::string::npos) << text;
  EXPECT_NE(text.find("\npassword=\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\npassword_store=keyring\n"), std::string::npos) << text;
  EXPECT_EQ(keyring.Lookup({server.BaseUrl() + "/", "user@example.org"}), kPassword);

  // A silent run signs in with the keyring's password.
  RunSilently(home, true);
  ASSERT_GE(server.RequestCount(), 1u);
  EXPECT_NE(server.Requests()[0].body.find(EncodeBase64(std::string("user@example.org:") + kPassword)), std::string::npos)
      << server.Requests()[0].body;

  // Without a session bus it cannot: it says so, in the log too, and sends nothing.
  const std::size_t requests = server.RequestCount();
  const ProgramRun cron = RunSilently(home, false);
  EXPECT_EQ(cron.exitStatus, 1);
  const std::string reason = EnglishString(IDS_KEYRING_UNREACHABLE);
  const std::string said = reason.substr(0, reason.find("%s"));
  EXPECT_NE(cron.errorOutput.find(said), std::string::npos) << cron.errorOutput;
  EXPECT_NE(ReadFileBytes(home.ConfigFolder() + "Sync.log").find(said), std::string::npos);
  EXPECT_EQ(server.RequestCount(), requests);
  EXPECT_NE(ConfigText(home).find("\npassword_store=keyring\n"), std::string::npos);
}

TEST(KeyringOption, ChosenInTheOptionsServesSilentRunsAndWithoutASessionBusFailsClearly) {
  ExpectPassesInKeyringSession("KeyringOptionSession.EndToEnd");
}

}  // namespace
