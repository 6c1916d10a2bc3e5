// flock on a per-user lock file.
#include "platform/shell/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const std::string& path) {
  mFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (mFd < 0) {
    mError = errno;
    return;
  }
  int result = -1;
  do {
    result = flock(mFd, LOCK_EX | LOCK_NB);
  } while (result < 0 && errno == EINTR);
  if (result == 0) {
    mHeld = true;
  } else if (errno == EWOULDBLOCK) {
    mHeldElsewhere = true;
  } else {
    mError = errno;
  }
}

InstanceLock::~InstanceLock() {
  if (mFd >= 0) close(mFd);
}

std::string InstanceLock::FileNameForTitle(const std::string& title) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
  size_t first = 0;
  size_t last = title.size();
  while (first < last && isSpace(title[first])) ++first;
  while (last > first && isSpace(title[last - 1])) --last;
  std::string name = title.substr(first, last - first);
  for (char& c : name) {
    if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  }
  if (name.empty()) return "instance.lock";
  return name + ".lock";
}
