// Ownership of one POSIX file descriptor: closed when its owner goes.
#pragma once

#include <unistd.h>

#include <utility>

// Owns the descriptor it is given (a negative value owns nothing) and closes it on destruction,
// on Reset and on Close. Movable, not copyable: exactly one owner closes a descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : mFd(fd) {}
  ~FileDescriptor() { Reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : mFd(std::exchange(other.mFd, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.mFd, -1));
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return mFd; }
  bool IsOpen() const { return mFd >= 0; }

  // Closes the descriptor held (if any) and takes `fd`.
  void Reset(int fd = -1) {
    if (mFd >= 0) ::close(mFd);
    mFd = fd;
  }
  // Closes the descriptor now; false when close reports an error (for a written file: the data
  // may not have reached the disk). Owns nothing afterwards.
  bool Close() {
    const int fd = std::exchange(mFd, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int mFd;
};
