// Time-stamped log lines, flushed one by one so that a killed installer leaves what it did.
#include "platform/installer/InstallLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <ostream>

#include "common/TerminalText.h"

bool InstallLog::Open(const std::string& path) {
  if (mFile.is_open()) mFile.close();
  mFile.clear();
  // The log is the user's alone (an older one with wider permissions is narrowed).
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool narrowed = ::fchmod(fd, 0600) == 0;
  ::close(fd);
  if (!narrowed) return false;
  mFile.open(path, std::ios::out | std::ios::trunc);
  return mFile.is_open();
}

void InstallLog::Info(const std::string& text) { Write("Info", text); }

// Names and versions come from the package: no control character of theirs reaches a terminal
// or forges a line of the log.
void InstallLog::Error(const std::string& text) {
  Write("Error", text);
  mErrors << "lkinstall: " << TerminalSafe(text) << '\n';
}

void InstallLog::Write(const char* level, const std::string& text) {
  if (!mFile.is_open()) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  mFile << stamp << '\t' << level << '\t' << TerminalSafe(text) << '\n' << std::flush;
}
