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
#include "platform/shell/SpawnSettings.h"

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
  // The child gets the three pipe ends as 0-2 and nothing else.
  if (settings.RedirectStandardStreams(in.read.Get(), out.write.Get(), err.write.Get()) != 0 || settings.Isolate({}) != 0) {
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
