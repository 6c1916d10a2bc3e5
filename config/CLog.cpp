// The process-wide log file.
#include "config/CLog.h"

#include <ctime>

#include "common/TextCodec.h"

namespace {

const char* LevelName(int level) { return level <= LOG_ERROR ? "ERROR" : "Debug"; }

// "MM/DD/YY HH:MM:SS" in local time.
std::string Timestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%m/%d/%y %H:%M:%S", &local);
  return buffer;
}

}  // namespace

CLog& CLog::Instance() {
  static CLog log;
  return log;
}

bool CLog::Open(const std::string& path, int level) {
  std::lock_guard lock(mMutex);
  mFile.reset();
  mLevel = level;
  mFile.reset(std::fopen(path.c_str(), "we"));
  return mFile != nullptr;
}

void CLog::Close() {
  std::lock_guard lock(mMutex);
  mFile.reset();
}

bool CLog::IsOpen() const {
  std::lock_guard lock(mMutex);
  return mFile != nullptr;
}

int CLog::Level() const {
  std::lock_guard lock(mMutex);
  return mLevel;
}

void CLog::Write(std::string_view operation, int level, std::string_view message) {
  std::lock_guard lock(mMutex);
  if (!mFile || level > mLevel) return;
  std::string line = Timestamp();
  line.reserve(line.size() + operation.size() + message.size() + 16);
  line += '\t';
  line += operation;
  line += '\t';
  line += LevelName(level);
  line += '\t';
  line += message;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), mFile.get());
  std::fflush(mFile.get());
}

void CLog::Write(std::string_view operation, int level, long long number) { Write(operation, level, std::to_string(number)); }

void CLog::Write(std::string_view operation, int level, std::u16string_view message) {
  Write(operation, level, std::string_view(Utf16ToUtf8(message)));
}
