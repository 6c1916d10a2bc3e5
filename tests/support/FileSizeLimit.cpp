// A forked child with a file-size limit, for tests of writes that fail half-way.
#include "tests/support/FileSizeLimit.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

int RunWithFileSizeLimit(rlim_t limit, const std::function<int()>& action) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit fileSize{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &fileSize) != 0) _exit(kActionThrew);
    int code = kActionThrew;
    try {
      code = action();
    } catch (...) {
    }
    _exit(code);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
