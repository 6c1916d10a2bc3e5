// Helpers of the configuration tests: UTF-16LE file images and a child process whose writes fail.
#pragma once

#include <csignal>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/TextCodec.h"

// The UTF-16LE bytes of UTF-8 `text`, as the settings file stores it.
inline std::string Utf16Le(const std::string& text) {
  std::string bytes;
  for (const char16_t unit : Utf8ToUtf16(text)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// Runs `action` in a child process in which no file may grow beyond `limit` bytes (a full disk,
// which root cannot bypass the way it bypasses folder permissions); returns the child's exit code.
inline int RunWithFileSizeLimit(rlim_t limit, const std::function<int()>& action) {
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(action());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
