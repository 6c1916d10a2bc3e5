// Piecewise file reading with a fixed buffer that grows only for a single larger request.
#include "common/ChunkedFileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

ChunkedFileReader::ChunkedFileReader(const std::string& path, size_t limit)
    : mFile(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  struct stat info {};
  if (!mFile.IsOpen() || ::fstat(mFile.Get(), &info) != 0) {
    mError = "cannot open " + path + ": " + std::strerror(errno);
    mFile.Reset();
    return;
  }
  mSize = static_cast<size_t>(std::max<off_t>(info.st_size, 0));
  if (mSize > limit) {
    mError = path + ": too big";
    mFile.Reset();
    mSize = 0;
  }
}

bool ChunkedFileReader::Fill(size_t count) {
  const size_t kept = mFilled - mOffset;
  std::memmove(mBuffer.data(), mBuffer.data() + mOffset, kept);
  mOffset = 0;
  mFilled = kept;
  // Never more than the file still holds, so that a small file gets a small buffer.
  const size_t wanted = std::max(count, std::min(kPieceBytes, Remaining()));
  if (mBuffer.size() < wanted) mBuffer.resize(wanted);
  while (mFilled < count) {
    const ssize_t got = ::read(mFile.Get(), mBuffer.data() + mFilled, mBuffer.size() - mFilled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      mReadFailed = true;
      mError = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
    if (got == 0) return false;
    mFilled += static_cast<size_t>(got);
  }
  return true;
}
