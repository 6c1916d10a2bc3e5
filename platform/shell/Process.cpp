// Process start with posix_spawn, so that a failed exec is reported to the caller.
#include "platform/shell/Process.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <thread>

#include "platform/shell/SpawnSettings.h"

extern char** environ;

ProcessStart StartProcess(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& workingDirectory) {
  ProcessStart result;
  SpawnSettings settings;
  if (int error = settings.Isolate(workingDirectory); error != 0) {
    result.error = error;
    return result;
  }
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), settings.Actions(), settings.Attributes(), argv.data(), environ);
  if (error != 0) {
    result.error = error;
    return result;
  }
  result.pid = pid;
  return result;
}

int WaitForProcess(long pid) {
  int status = 0;
  pid_t waited = -1;
  do {
    waited = waitpid(static_cast<pid_t>(pid), &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A pidfd becomes readable when its process ends, whoever its parent is; kernels without pidfds
// are asked every 20 ms whether the process is still there.
ProcessWait WaitForProcessEnd(long pid, std::chrono::milliseconds timeout) {
  if (pid <= 0) return ProcessWait::NotRunning;
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
  if (pidfd >= 0) {
    pollfd watched{pidfd, POLLIN, 0};
    int ready = 0;
    do {
      ready = ::poll(&watched, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    ::close(pidfd);
    return ready > 0 ? ProcessWait::Ended : ProcessWait::TimedOut;
  }
  if (errno == ESRCH || errno == EINVAL) return ProcessWait::NotRunning;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return ProcessWait::NotRunning;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return ProcessWait::Ended;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ProcessWait::TimedOut;
}
