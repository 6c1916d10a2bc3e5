// Reply sinks: ceilings, and file errors reported with the system's reason.
#include "syncml/HttpBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string FileFailure(const char* what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + std::strerror(error);
}

std::string LimitFailure(std::uint64_t limit) {
  return "the reply is larger than the limit of " + std::to_string(limit) + " bytes";
}

}  // namespace

void HttpBufferString::Append(const char* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) return;
  if (length > mLimit - mText.size()) throw HttpSinkError(LimitFailure(mLimit));
  mText.append(bytes, length);
}

std::string HttpBufferString::TakeText() {
  std::string text = std::move(mText);
  mText.clear();
  return text;
}

HttpBufferFile::HttpBufferFile(const std::string& path, std::uint64_t limit) : mPath(path), mLimit(limit) {
  // A package is the user's own: an older file of the name with wider permissions is narrowed.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) throw HttpSinkError(FileFailure("cannot open", path, errno));
  if (::fchmod(fd, 0600) == 0) mFile.reset(::fdopen(fd, "wb"));
  if (!mFile) {
    const int error = errno;
    ::close(fd);
    throw HttpSinkError(FileFailure("cannot open", path, error));
  }
}

void HttpBufferFile::Append(const char* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) return;
  if (!mFile) throw HttpSinkError("cannot write " + mPath + ": the file is closed");
  if (length > mLimit - mWritten) throw HttpSinkError(LimitFailure(mLimit));
  if (std::fwrite(bytes, 1, length, mFile.get()) != length) throw HttpSinkError(FileFailure("cannot write", mPath, errno));
  mWritten += length;
}

void HttpBufferFile::Close() {
  if (!mFile) return;
  std::FILE* file = mFile.release();
  const bool flushed = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
  const int flushError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!flushed) throw HttpSinkError(FileFailure("cannot write", mPath, flushError));
  if (!closed) throw HttpSinkError(FileFailure("cannot close", mPath, errno));
}
