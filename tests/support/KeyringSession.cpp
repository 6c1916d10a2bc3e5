// Starting a test program inside its own session bus with the keyring daemon.
#include "tests/support/KeyringSession.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/shell/Process.h"
#include "platform/shell/UserFolders.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kSessionVariable = "LARK_KEYRING_SESSION";

bool IsProgram(const char* path) { return ::access(path, X_OK) == 0; }

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::optional<std::string> MissingKeyringPrograms() {
  for (const char* program : {"/usr/bin/dbus-run-session", "/usr/bin/gnome-keyring-daemon"}) {
    if (!IsProgram(program)) return std::string(program) + " is not installed (scripts/packages/keyring.txt lists its package)";
  }
  return std::nullopt;
}

bool InKeyringSession() { return std::getenv(kSessionVariable) != nullptr; }

KeyringSessionResult RunInKeyringSession(const std::string& filter, const std::string& home) {
  const std::string runtime = home + "run";
  std::filesystem::create_directories(runtime);
  ::chmod(runtime.c_str(), 0700);
  const std::string output = home + "session-output.txt";
  // The daemon takes the login keyring's password on its input, creating that keyring unlocked.
  const std::string inner = "printf %s session-password | /usr/bin/gnome-keyring-daemon --unlock --components=secrets >/dev/null"
                            " || exit 97; exec \"$@\"";
  const std::string command = std::string("env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY ") + kSessionVariable +
                              "=1 HOME=" + Quoted(home) + " XDG_DATA_HOME=" + Quoted(home + ".local/share") +
                              " XDG_RUNTIME_DIR=" + Quoted(runtime) + " /usr/bin/dbus-run-session -- sh -c " +
                              Quoted(inner) + " sh " + Quoted(ProgramFile()) + " " + Quoted("--gtest_filter=" + filter) + " > " +
                              Quoted(output) + " 2>&1";
  const ProcessStart started = StartProcess("/bin/sh", {"-c", command});
  KeyringSessionResult result;
  if (started.Started()) result.status = WaitForProcess(started.pid);
  result.output = ReadFileBytes(output);
  return result;
}

void ExpectPassesInKeyringSession(const std::string& filter) {
  if (InKeyringSession()) GTEST_SKIP() << "already inside the session";
  if (const auto missing = MissingKeyringPrograms()) GTEST_SKIP() << *missing;
  TempDir home;
  const KeyringSessionResult result = RunInKeyringSession(filter, home.Path());
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("[  PASSED  ] 1 test"), std::string::npos) << result.output;
}
