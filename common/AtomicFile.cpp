// Atomic file replacement: temporary file, fsync, rename, fsync of the folder.
#include "common/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/FileDescriptor.h"

namespace {

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

// Temporary file, flush, rename; then the folder when asked.
bool WriteAtomically(const std::string& path, const std::function<bool(const ContentWriter&)>& produce,
                     const AtomicWriteOptions& options, mode_t mode, std::string* error) {
  std::string temporary = path + ".XXXXXX" + std::string(options.temporarySuffix);
  FileDescriptor fd(::mkstemps(temporary.data(), static_cast<int>(options.temporarySuffix.size())));
  if (fd.Get() < 0) return Fail(error, "cannot create " + temporary);
  bool written = false;
  try {
    written = produce([&fd](std::string_view piece) { return WriteAll(fd.Get(), piece); });
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  written = written && ::fchmod(fd.Get(), mode) == 0 && ::fsync(fd.Get()) == 0;
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
  if (options.flushFolder) FlushFolder(FolderOf(path));
  return true;
}

}  // namespace

bool FlushFolder(const std::string& folder) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.Get() >= 0 && ::fsync(fd.Get()) == 0;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode, std::string* error) {
  return WriteFileAtomically(
      path, [content](const ContentWriter& write) { return write(content); }, mode, error);
}

bool WriteFileAtomically(const std::string& path, const std::function<bool(const ContentWriter&)>& produce, mode_t mode,
                         std::string* error) {
  return WriteAtomically(path, produce, AtomicWriteOptions{}, mode, error);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, const AtomicWriteOptions& options, mode_t mode,
                         std::string* error) {
  return WriteAtomically(
      path, [content](const ContentWriter& write) { return write(content); }, options, mode, error);
}

bool CreateFileIfMissing(const std::string& path, mode_t mode) {
  return FileDescriptor(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, mode)).IsOpen();
}

bool ReadWholeFile(const std::string& path, std::string& content, size_t limit, std::string* error) {
  content.clear();
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return Fail(error, "cannot open " + path);
  // Allocated once at the file's size, not grown by doubling while it is read.
  struct stat info {};
  if (::fstat(fd.Get(), &info) == 0 && info.st_size > 0) content.reserve(std::min(static_cast<size_t>(info.st_size), limit));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
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
