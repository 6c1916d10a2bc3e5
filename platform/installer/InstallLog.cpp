// Time-stamped log lines, flushed one by one so that a killed installer leaves what it did.
#include "platform/installer/InstallLog.h"

#include <ctime>
#include <ostream>

bool InstallLog::Open(const std::string& path) {
  mFile.open(path, std::ios::out | std::ios::trunc);
  return mFile.is_open();
}

void InstallLog::Info(const std::string& text) { Write("Info", text); }

void InstallLog::Error(const std::string& text) {
  Write("Error", text);
  mErrors << "lkinstall: " << text << '\n';
}

void InstallLog::Write(const char* level, const std::string& text) {
  if (!mFile.is_open()) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  mFile << stamp << '\t' << level << '\t' << text << '\n' << std::flush;
}
