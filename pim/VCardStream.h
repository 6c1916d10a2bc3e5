// The byte streams of the vCard library: an input stream over a private copy of card text that
// hands out lines, and an output stream that collects serialized text in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Lines end at LF; a CR before the LF is not part of the line. A line is read whole however long
// it is. Lines handed out are views into the stream's copy, valid while the stream lives.
class VCardInputStream {
 public:
  VCardInputStream() = default;
  VCardInputStream(const VCardInputStream&) = delete;
  VCardInputStream& operator=(const VCardInputStream&) = delete;

  // Replaces the content with a copy of `bytes`. VCARD_STREAM_TOO_LARGE (stream left empty) above
  // `ceiling` bytes.
  int Open(std::string_view bytes, std::size_t ceiling);

  // The next line; false at the end of the input.
  bool ReadLine(std::string_view& line);
  // The next line without consuming it.
  bool PeekLine(std::string_view& line) const;
  // The read position, to come back to it with Seek (moving back by a line read).
  std::size_t Tell() const { return mPosition; }
  void Seek(std::size_t position) { mPosition = position < mBytes.size() ? position : mBytes.size(); }
  bool AtEnd() const { return mPosition >= mBytes.size(); }

 private:
  // The line at `position` and where the one after it starts.
  std::string_view LineAt(std::size_t position, std::size_t& next) const;

  std::string mBytes;
  std::size_t mPosition = 0;
};

// Collects text in memory up to a ceiling; never spills to a file.
class VCardOutputStream {
 public:
  explicit VCardOutputStream(std::size_t ceiling);
  VCardOutputStream(const VCardOutputStream&) = delete;
  VCardOutputStream& operator=(const VCardOutputStream&) = delete;

  // Appends `text`; VCARD_STREAM_TOO_LARGE (nothing appended) when the content would exceed the
  // ceiling.
  int Write(std::string_view text);
  // The content written so far (a copy).
  std::string Content() const { return mContent; }
  std::size_t Size() const { return mContent.size(); }

 private:
  std::size_t mCeiling;
  std::string mContent;
};
