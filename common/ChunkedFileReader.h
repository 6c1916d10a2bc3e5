// Reads a file front to back in pieces, so that a file of tens of MB is never held whole.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/FileDescriptor.h"

// Owns the open file until destruction. The file's size is taken when it is opened; a file that
// shrinks meanwhile ends early (Take fails, ReadFailed stays false). Not thread-safe.
class ChunkedFileReader {
 public:
  static constexpr size_t kPieceBytes = size_t(1) << 16;

  // Opens `path`. IsOpen is false, and Error says why, when it cannot be opened or is larger
  // than `limit` bytes ("too big").
  ChunkedFileReader(const std::string& path, size_t limit);
  ChunkedFileReader(const ChunkedFileReader&) = delete;
  ChunkedFileReader& operator=(const ChunkedFileReader&) = delete;

  bool IsOpen() const { return mFile.IsOpen(); }
  const std::string& Error() const { return mError; }
  // Bytes of the file that were not taken yet.
  size_t Remaining() const { return mSize - mTaken; }

  // The next `count` bytes as one view, valid until the next Take. False when fewer remain or
  // the file cannot be read (ReadFailed is then true and Error says why).
  bool Take(size_t count, std::string_view& bytes) {
    if (count > Remaining()) return false;
    if (mFilled - mOffset < count && !Fill(count)) return false;
    bytes = std::string_view(mBuffer.data() + mOffset, count);
    mOffset += count;
    mTaken += count;
    return true;
  }
  bool ReadFailed() const { return mReadFailed; }

 private:
  // Moves what is left to the front and reads until at least `count` bytes are buffered.
  bool Fill(size_t count);

  FileDescriptor mFile;
  std::string mError;
  size_t mSize = 0;
  size_t mTaken = 0;
  std::string mBuffer;
  size_t mOffset = 0;
  size_t mFilled = 0;
  bool mReadFailed = false;
};
