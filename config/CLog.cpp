// The process-wide log file.
#include "config/CLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "common/SecretText.h"
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

// The last line of the file at `path` ("" when empty or unreadable).
std::string LastLine(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};
  std::string tail;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    const long start = size > 512 ? size - 512 : 0;
    if (size > 0 && std::fseek(file, start, SEEK_SET) == 0) {
      tail.resize(static_cast<std::size_t>(size - start));
      tail.resize(std::fread(tail.data(), 1, tail.size(), file));
    }
  }
  std::fclose(file);
  while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
  const std::size_t lineStart = tail.rfind('\n');
  return lineStart == std::string::npos ? tail : tail.substr(lineStart + 1);
}

// Keeps the earlier run's log before it is truncated, for the support report.
void KeepPreviousLog(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || info.st_size == 0) return;
  if (LastLine(path).ends_with("\tCheckServer\tDebug\tEnd")) return;
  for (int number = CLog::kPreviousLogs - 1; number >= 1; --number) {
    std::rename((path + "." + std::to_string(number)).c_str(), (path + "." + std::to_string(number + 1)).c_str());
  }
  std::rename(path.c_str(), (path + ".1").c_str());
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
  KeepPreviousLog(path);
  // The log may show what a server sent about the account: readable by the user alone, also when
  // an older file was made with wider permissions.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::fchmod(fd, 0600) != 0) {
    ::close(fd);
    return false;
  }
  mFile.reset(::fdopen(fd, "w"));
  if (!mFile) ::close(fd);
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
  // No secret reaches the file, whatever the caller passed.
  line += MaskSecretsInText(message);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), mFile.get());
  std::fflush(mFile.get());
}

void CLog::Write(std::string_view operation, int level, long long number) { Write(operation, level, std::to_string(number)); }

void CLog::Write(std::string_view operation, int level, std::u16string_view message) {
  Write(operation, level, std::string_view(Utf16ToUtf8(message)));
}
