// Reading the library setting: a small key file, bounded, with environment expansion.
#include "platform/wab/WabSetting.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxSettingFileBytes = 64 * 1024;

bool ReadSmallFile(const std::string& path, std::string& content, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  content.clear();
  char chunk[4096];
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = path + ": " + std::strerror(errno);
      ok = false;
      break;
    }
    if (got == 0) break;
    content.append(chunk, static_cast<std::size_t>(got));
    if (content.size() > kMaxSettingFileBytes) {
      error = path + ": too big";
      ok = false;
      break;
    }
  }
  ::close(fd);
  return ok;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool FindDllPath(const std::string& content, std::string& value) {
  std::size_t start = 0;
  while (start <= content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = Trim(content.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    if (strcasecmp(Trim(line.substr(0, equals)).c_str(), "DLLPath") == 0) {
      value = Trim(line.substr(equals + 1));
      return true;
    }
  }
  return false;
}

// Replaces ${NAME} by the variable's value (empty when unset); a "${" without "}" stays as it is.
std::string Expand(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size();) {
    const std::size_t open = value.find("${", i);
    const std::size_t close = open == std::string::npos ? std::string::npos : value.find('}', open + 2);
    if (close == std::string::npos) {
      out += value.substr(i);
      break;
    }
    out += value.substr(i, open - i);
    if (const char* variable = std::getenv(value.substr(open + 2, close - open - 2).c_str())) out += variable;
    i = close + 1;
  }
  return out;
}

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  const std::string program(path, static_cast<std::size_t>(length));
  return program.substr(0, program.rfind('/') + 1);
}

}  // namespace

bool ReadWabDllPath(std::string& value, std::string* error) {
  const auto fail = [&](std::string reason) {
    if (error != nullptr) *error = std::move(reason);
    return false;
  };
  const char* named = std::getenv(kWabSettingVariable);
  const std::string file = named != nullptr && *named != '\0' ? named : kWabSettingFile;
  std::string content;
  std::string reason;
  if (!ReadSmallFile(file, content, reason)) return fail(reason);
  std::string raw;
  if (!FindDllPath(content, raw)) return fail(file + ": no DLLPath value");
  std::string expanded = Expand(raw);
  if (expanded.size() > kWabMaxPathLength) return fail(file + ": DLLPath too long");
  value = std::move(expanded);
  return true;
}

std::string ResolveWabLibrary(const std::string& value) {
  if (!value.empty()) return value;
  const std::string folder = ProgramFolder();
  if (!folder.empty()) {
    const std::string besideProgram = folder + "../lib/" + kWabDefaultLibrary;
    struct stat info {};
    if (::stat(besideProgram.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return besideProgram;
  }
  return kWabDefaultLibrary;
}
