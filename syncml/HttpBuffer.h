// Reply sinks of the HTTP client: the body kept as text in memory, or written straight into a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

// A sink that cannot take more bytes: its ceiling is reached, or its file cannot be opened or
// written. The message says which and why; it is meant for the log, not for the user.
class HttpSinkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the HTTP client appends the body of a successful reply, chunk by chunk.
class HttpBuffer {
 public:
  virtual ~HttpBuffer() = default;

  // Appends `length` bytes starting at `bytes` (any byte values, zero included); a null pointer
  // appends nothing. Throws HttpSinkError when the sink cannot take them; what it took before
  // stays.
  virtual void Append(const char* bytes, std::size_t length) = 0;

 protected:
  HttpBuffer() = default;
  HttpBuffer(const HttpBuffer&) = default;
  HttpBuffer& operator=(const HttpBuffer&) = default;
};

// The reply as one byte string in memory, refused past a ceiling.
class HttpBufferString final : public HttpBuffer {
 public:
  static constexpr std::size_t kDefaultLimit = std::size_t{64} << 20;

  explicit HttpBufferString(std::size_t limit = kDefaultLimit) : mLimit(limit) {}

  // Throws HttpSinkError, appending nothing of the chunk, when the text would exceed the limit.
  void Append(const char* bytes, std::size_t length) override;

  const std::string& GetText() const { return mText; }
  // Moves the text out, leaving the sink empty.
  std::string TakeText();
  std::size_t Limit() const { return mLimit; }

 private:
  std::size_t mLimit;
  std::string mText;
};

// The reply written into a file, which is created (readable by the user alone, 0600) or truncated
// at construction; a link is not followed. The file belongs to the sink and is closed by `Close`
// or, silently, by the destructor.
class HttpBufferFile final : public HttpBuffer {
 public:
  static constexpr std::uint64_t kDefaultLimit = std::uint64_t{1} << 30;

  // Throws HttpSinkError when `path` cannot be opened for writing.
  explicit HttpBufferFile(const std::string& path, std::uint64_t limit = kDefaultLimit);

  // Throws HttpSinkError when the file is closed, the write fails, or the limit would be passed.
  void Append(const char* bytes, std::size_t length) override;
  // Flushes the file to the disk and closes it; throws HttpSinkError when the data did not reach
  // it (a full disk shows here). Later calls do nothing.
  void Close();

  bool IsOpen() const { return mFile != nullptr; }
  std::uint64_t Written() const { return mWritten; }
  const std::string& Path() const { return mPath; }

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::string mPath;
  std::uint64_t mLimit;
  std::uint64_t mWritten = 0;
  std::unique_ptr<std::FILE, FileCloser> mFile;
};
