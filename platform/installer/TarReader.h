// Reading a gzip-compressed tar archive entry by entry, with ceilings on every size it reads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

// The archive cannot be read on: broken compression, a cut-off stream, a malformed header or a
// size past a ceiling. The message is for the installer's log.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TarEntryType { File, Directory, SymbolicLink, HardLink, Other };

// One member as its headers describe it. `path` is the raw name of the archive (long names from
// pax or GNU headers already applied); nothing about it is checked here.
struct TarEntry {
  std::string path;
  std::string linkTarget;
  TarEntryType type = TarEntryType::Other;
  unsigned mode = 0;
  std::uint64_t size = 0;  // of a file's data; 0 for every other type
  // Every byte the archive spends on the entry beyond its header: the data its header announces
  // (also for a folder or a link, whose data is skipped) and its extended headers.
  std::uint64_t archiveBytes = 0;
};

// Reads from a stdio stream it does not own (it must outlive the reader). Entries come in archive
// order; after `Next` the caller may read the entry's data with `ReadData` (data not read is
// skipped by the next `Next`). Throws ArchiveError on every malformation, including an archive
// that ends before its end-of-archive blocks. The end of the archive is reported only once the
// compressed stream is read to its end: its CRC and length match what was read, at most
// kMaxTrailingBytes follow the end-of-archive blocks, and no byte follows the stream.
class TarReader {
 public:
  static constexpr std::size_t kMaxNameBytes = 4096;
  static constexpr std::uint64_t kMaxExtendedHeaderBytes = 64 * 1024;
  static constexpr std::uint64_t kMaxTrailingBytes = 16 * 1024 * 1024;

  explicit TarReader(std::FILE* compressed);
  ~TarReader();
  TarReader(const TarReader&) = delete;
  TarReader& operator=(const TarReader&) = delete;

  // The next entry, or std::nullopt at the end of the archive.
  std::optional<TarEntry> Next();
  // Up to `capacity` bytes of the current entry's data; 0 when it is all read.
  std::size_t ReadData(char* buffer, std::size_t capacity);

 private:
  class Inflater;

  void ReadExactly(char* buffer, std::size_t length);
  void Skip(std::uint64_t length);
  std::string ReadExtendedData(std::uint64_t size);

  std::unique_ptr<Inflater> mInflater;
  std::uint64_t mDataLeft = 0;
  std::uint64_t mPaddingLeft = 0;
  bool mEnded = false;
};
