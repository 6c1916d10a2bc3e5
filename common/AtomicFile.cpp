// Atomic file replacement: temporary file, fsync, rename, fsync of the folder.
#include "common/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : mFd(fd) {}
  ~FileDescriptor() {
    if (mFd >= 0) ::close(mFd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return mFd; }
  bool Close() {
    const int fd = mFd;
    mFd = -1;
    return ::close(fd) == 0;
  }

 private:
  int mFd;
};

bool Fail(std::string* error, const std::string& what) {
  if (error != nullptr) *error = what + ": " + std::strerror(errno);
  return false;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode, std::string* error) {
  std::string temporary = path + ".XXXXXX";
  FileDescriptor fd(::mkstemp(temporary.data()));
  if (fd.get() < 0) return Fail(error, "cannot create " + temporary);
  const bool written = WriteAll(fd.get(), content) && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0;
  const int savedErrno = errno;
  if (!written || !fd.Close()) {
    ::unlink(temporary.c_str());
    errno = written ? errno : savedErrno;
    return Fail(error, "cannot write " + temporary);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int renameErrno = errno;
    ::unlink(temporary.c_str());
    errno = renameErrno;
    return Fail(error, "cannot replace " + path);
  }
  FileDescriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& content, size_t limit, std::string* error) {
  content.clear();
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Fail(error, "cannot open " + path);
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Fail(error, "cannot read " + path);
    }
    if (got == 0) return true;
    if (content.size() + static_cast<size_t>(got) > limit) {
      if (error != nullptr) *error = path + ": too big";
      content.clear();
      return false;
    }
    content.append(buffer, static_cast<size_t>(got));
  }
}
