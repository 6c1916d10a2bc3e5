// Reply sinks: ceilings, and file errors reported with the system's reason.
#include "syncml/HttpBuffer.h"

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

HttpBufferFile::HttpBufferFile(const std::string& path, std::uint64_t limit)
    : mPath(path), mLimit(limit), mFile(std::fopen(path.c_str(), "wb")) {
  if (!mFile) throw HttpSinkError(FileFailure("cannot open", path, errno));
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
  const bool flushed = std::fflush(file) == 0;
  const int flushError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!flushed) throw HttpSinkError(FileFailure("cannot write", mPath, flushError));
  if (!closed) throw HttpSinkError(FileFailure("cannot close", mPath, errno));
}
