// Piped program runs with posix_spawnp and poll, so a full pipe on one stream never stalls the other.
#include "platform/scheduler/PipedProgram.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/FileDescriptor.h"

extern char** environ;

namespace {

struct Pipe {
  FileDescriptor read;
  FileDescriptor write;
  bool Open() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    read = FileDescriptor(ends[0]);
    write = FileDescriptor(ends[1]);
    return true;
  }
};

// The child gets the three pipe ends as 0-2, no other descriptor, default signal handling and
// nothing blocked.
class SpawnSettings {
 public:
  SpawnSettings() {
    posix_spawn_file_actions_init(&mActions);
    posix_spawnattr_init(&mAttributes);
  }
  ~SpawnSettings() {
    posix_spawnattr_destroy(&mAttributes);
    posix_spawn_file_actions_destroy(&mActions);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  bool Prepare(int in, int out, int err) {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    return posix_spawn_file_actions_adddup2(&mActions, in, 0) == 0 &&
           posix_spawn_file_actions_adddup2(&mActions, out, 1) == 0 &&
           posix_spawn_file_actions_adddup2(&mActions, err, 2) == 0 &&
           posix_spawn_file_actions_addclosefrom_np(&mActions, 3) == 0 &&
           posix_spawnattr_setsigmask(&mAttributes, &none) == 0 &&
           posix_spawnattr_setsigdefault(&mAttributes, &all) == 0 &&
           posix_spawnattr_setflags(&mAttributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  }
  const posix_spawn_file_actions_t* Actions() const { return &mActions; }
  const posix_spawnattr_t* Attributes() const { return &mAttributes; }

 private:
  posix_spawn_file_actions_t mActions;
  posix_spawnattr_t mAttributes;
};

// Blocks SIGPIPE in the calling thread for its scope, so a program that stops reading its input
// gives EPIPE instead of ending this process; a SIGPIPE raised meanwhile is consumed.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&mPipe);
    sigaddset(&mPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &mPipe, &mPrevious);
  }
  ~SigpipeBlock() {
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE) == 1 && sigismember(&mPrevious, SIGPIPE) == 0) {
      const timespec zero{};
      sigtimedwait(&mPipe, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &mPrevious, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t mPipe;
  sigset_t mPrevious;
};

int WaitFor(pid_t pid) {
  int status = 0;
  pid_t waited = -1;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Feeds `input` and drains both outputs until every pipe is closed; false when an output
// exceeded the ceiling.
bool Exchange(FileDescriptor& in, FileDescriptor& out, FileDescriptor& err, const std::string& input,
              PipedRun& run) {
  std::size_t written = 0;
  if (input.empty()) in.Reset();
  std::array<char, 4096> buffer{};
  while (in.IsOpen() || out.IsOpen() || err.IsOpen()) {
    std::array<pollfd, 3> fds{{{in.IsOpen() ? in.Get() : -1, POLLOUT, 0},
                               {out.IsOpen() ? out.Get() : -1, POLLIN, 0},
                               {err.IsOpen() ? err.Get() : -1, POLLIN, 0}}};
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[0].revents != 0) {
      const ssize_t n = ::write(in.Get(), input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 && errno != EINTR && errno != EAGAIN) in.Reset();
      if (written == input.size()) in.Reset();
    }
    for (int i = 1; i < 3; ++i) {
      if (fds[i].revents == 0) continue;
      FileDescriptor& source = i == 1 ? out : err;
      std::string& target = i == 1 ? run.output : run.errorOutput;
      const ssize_t n = ::read(source.Get(), buffer.data(), buffer.size());
      if (n > 0) target.append(buffer.data(), static_cast<std::size_t>(n));
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) source.Reset();
      if (target.size() > kPipedOutputCeiling) return false;
    }
  }
  return true;
}

}  // namespace

PipedRun RunPiped(const std::string& program, const std::vector<std::string>& arguments, const std::string& input) {
  PipedRun run;
  Pipe in, out, err;
  if (!in.Open() || !out.Open() || !err.Open()) {
    run.error = errno;
    return run;
  }
  SpawnSettings settings;
  if (!settings.Prepare(in.read.Get(), out.write.Get(), err.write.Get())) {
    run.error = ENOMEM;
    return run;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  if (const int error = posix_spawnp(&pid, program.c_str(), settings.Actions(), settings.Attributes(), argv.data(), environ); error != 0) {
    run.error = error;
    return run;
  }
  run.started = true;
  in.read.Reset();
  out.write.Reset();
  err.write.Reset();
  bool complete = false;
  {
    SigpipeBlock sigpipe;
    complete = Exchange(in.write, out.read, err.read, input, run);
  }
  in.write.Reset();
  out.read.Reset();
  err.read.Reset();
  const int status = WaitFor(pid);
  run.exitStatus = complete ? status : -1;
  return run;
}
