// Gzip tar reading over zlib: ustar and pax headers, GNU long names, checksums checked.
#include "platform/installer/TarReader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t kBlock = 512;

std::string_view Field(const char* block, std::size_t offset, std::size_t length) {
  const char* start = block + offset;
  const void* nul = std::memchr(start, '\0', length);
  return {start, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - start) : length};
}

// An octal field (spaces and NULs around it), or base-256 when its first byte has the high bit.
std::uint64_t NumberField(const char* block, std::size_t offset, std::size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(block + offset);
  std::uint64_t value = 0;
  if ((bytes[0] & 0x80) != 0) {
    if ((bytes[0] & 0x40) != 0) throw ArchiveError("negative number in a tar header");
    for (std::size_t i = 0; i < length; ++i) {
      const unsigned byte = i == 0 ? (bytes[0] & 0x3f) : bytes[i];
      if (value > (UINT64_MAX >> 8)) throw ArchiveError("number too large in a tar header");
      value = (value << 8) | byte;
    }
    return value;
  }
  std::size_t i = 0;
  while (i < length && bytes[i] == ' ') ++i;
  bool digits = false;
  for (; i < length && bytes[i] >= '0' && bytes[i] <= '7'; ++i) {
    if (value > (UINT64_MAX >> 3)) throw ArchiveError("number too large in a tar header");
    value = (value << 3) | (bytes[i] - '0');
    digits = true;
  }
  for (; i < length; ++i) {
    if (bytes[i] != ' ' && bytes[i] != '\0') throw ArchiveError("malformed number in a tar header");
  }
  if (!digits) throw ArchiveError("empty number in a tar header");
  return value;
}

bool IsZeroBlock(const char* block) {
  return std::all_of(block, block + kBlock, [](char c) { return c == '\0'; });
}

void CheckChecksum(const char* block) {
  const std::uint64_t recorded = NumberField(block, 148, 8);
  std::uint64_t unsignedSum = 0;
  std::int64_t signedSum = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    const bool inField = i >= 148 && i < 156;
    unsignedSum += inField ? ' ' : static_cast<unsigned char>(block[i]);
    signedSum += inField ? ' ' : static_cast<signed char>(block[i]);
  }
  if (recorded != unsignedSum && static_cast<std::int64_t>(recorded) != signedSum) {
    throw ArchiveError("tar header checksum mismatch");
  }
}

std::uint64_t Padding(std::uint64_t size) { return (kBlock - size % kBlock) % kBlock; }

// The "path" and "linkpath" records of a pax extended header ("<length> <key>=<value>\n" each).
void ApplyPaxRecords(std::string_view data, std::string& path, std::string& linkPath) {
  while (!data.empty()) {
    const std::size_t space = data.find(' ');
    if (space == std::string_view::npos || space == 0 || space > 20) throw ArchiveError("malformed pax record");
    std::uint64_t length = 0;
    for (char c : data.substr(0, space)) {
      if (c < '0' || c > '9') throw ArchiveError("malformed pax record length");
      length = length * 10 + static_cast<unsigned>(c - '0');
    }
    if (length <= space + 1 || length > data.size() || data[length - 1] != '\n') throw ArchiveError("malformed pax record");
    const std::string_view record = data.substr(space + 1, length - space - 2);
    const std::size_t equals = record.find('=');
    if (equals == std::string_view::npos) throw ArchiveError("pax record without a value");
    const std::string_view key = record.substr(0, equals);
    if (key == "path") path = std::string(record.substr(equals + 1));
    if (key == "linkpath") linkPath = std::string(record.substr(equals + 1));
    data.remove_prefix(length);
  }
}

TarEntryType TypeOf(char flag) {
  switch (flag) {
    case '0':
    case '\0':
    case '7': return TarEntryType::File;
    case '5': return TarEntryType::Directory;
    case '2': return TarEntryType::SymbolicLink;
    case '1': return TarEntryType::HardLink;
    default: return TarEntryType::Other;
  }
}

}  // namespace

// zlib's inflate over the stdio stream; the gzip trailer's CRC and length are checked by zlib once
// the stream is read to its end (Finish).
class TarReader::Inflater {
 public:
  explicit Inflater(std::FILE* input) : mInput(input) {
    if (inflateInit2(&mStream, 15 + 16) != Z_OK) throw ArchiveError("cannot start decompression");
  }
  ~Inflater() { inflateEnd(&mStream); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Fills `buffer` fully; throws when the stream ends or breaks before.
  void Read(char* buffer, std::size_t length) {
    mStream.next_out = reinterpret_cast<Bytef*>(buffer);
    mStream.avail_out = static_cast<uInt>(length);
    while (mStream.avail_out > 0) {
      if (mFinished) throw ArchiveError("the archive ends early");
      Inflate();
    }
  }

  // Reads the rest of the stream: at most `limit` bytes after the archive's end (the padding of
  // its last record), then the gzip trailer, whose CRC and length must match what was inflated,
  // and nothing after it.
  void Finish(std::uint64_t limit) {
    std::array<char, 16 * 1024> scratch{};
    std::uint64_t rest = 0;
    while (!mFinished) {
      mStream.next_out = reinterpret_cast<Bytef*>(scratch.data());
      mStream.avail_out = static_cast<uInt>(scratch.size());
      Inflate();
      rest += scratch.size() - mStream.avail_out;
      if (rest > limit) throw ArchiveError("too much data after the end of the archive");
    }
    if (mStream.avail_in == 0) Refill();
    if (mStream.avail_in != 0) throw ArchiveError("data after the end of the compressed package");
  }

 private:
  // One step of inflate into the output space the caller set; notes the end of the stream, where
  // zlib checks the trailer.
  void Inflate() {
    if (mStream.avail_in == 0) Refill();
    const int result = inflate(&mStream, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      mFinished = true;
    } else if (result == Z_BUF_ERROR && mStream.avail_in == 0 && mInputEnded) {
      throw ArchiveError("the compressed data ends early (truncated package)");
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      throw ArchiveError(std::string("damaged compressed data: ") + (mStream.msg != nullptr ? mStream.msg : "zlib error"));
    }
  }

  void Refill() {
    if (mInputEnded) return;
    const std::size_t got = std::fread(mBuffer.data(), 1, mBuffer.size(), mInput);
    if (got == 0) {
      if (std::ferror(mInput) != 0) throw ArchiveError("cannot read the package file");
      mInputEnded = true;
    }
    mStream.next_in = mBuffer.data();
    mStream.avail_in = static_cast<uInt>(got);
  }

  std::FILE* mInput;
  z_stream mStream{};
  std::array<Bytef, 64 * 1024> mBuffer{};
  bool mInputEnded = false;
  bool mFinished = false;
};

TarReader::TarReader(std::FILE* compressed) : mInflater(std::make_unique<Inflater>(compressed)) {}
TarReader::~TarReader() = default;

void TarReader::ReadExactly(char* buffer, std::size_t length) { mInflater->Read(buffer, length); }

void TarReader::Skip(std::uint64_t length) {
  std::array<char, 16 * 1024> scratch{};
  while (length > 0) {
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, scratch.size()));
    ReadExactly(scratch.data(), chunk);
    length -= chunk;
  }
}

std::string TarReader::ReadExtendedData(std::uint64_t size) {
  if (size > kMaxExtendedHeaderBytes) throw ArchiveError("extended tar header too large");
  std::string data(static_cast<std::size_t>(size), '\0');
  ReadExactly(data.data(), data.size());
  Skip(Padding(size));
  return data;
}

std::optional<TarEntry> TarReader::Next() {
  if (mEnded) return std::nullopt;
  Skip(mDataLeft + mPaddingLeft);
  mDataLeft = mPaddingLeft = 0;
  std::string longPath;
  std::string longLink;
  std::uint64_t extendedBytes = 0;
  std::array<char, kBlock> block{};
  for (;;) {
    ReadExactly(block.data(), kBlock);
    if (IsZeroBlock(block.data())) {
      ReadExactly(block.data(), kBlock);
      if (!IsZeroBlock(block.data())) throw ArchiveError("a lone empty block inside the archive");
      mInflater->Finish(kMaxTrailingBytes);
      mEnded = true;
      return std::nullopt;
    }
    CheckChecksum(block.data());
    const char flag = block[156];
    const std::uint64_t size = NumberField(block.data(), 124, 12);
    if (flag == 'x' || flag == 'g' || flag == 'L' || flag == 'K') extendedBytes += size;
    if (flag == 'x') {
      ApplyPaxRecords(ReadExtendedData(size), longPath, longLink);
    } else if (flag == 'g') {
      ReadExtendedData(size);
    } else if (flag == 'L' || flag == 'K') {
      std::string name = ReadExtendedData(size);
      name.resize(std::strlen(name.c_str()));
      (flag == 'L' ? longPath : longLink) = std::move(name);
    } else {
      TarEntry entry;
      entry.type = TypeOf(flag);
      entry.mode = static_cast<unsigned>(NumberField(block.data(), 100, 8) & 07777);
      entry.size = entry.type == TarEntryType::File ? size : 0;
      entry.archiveBytes = size + extendedBytes;
      const bool ustar = Field(block.data(), 257, 5) == "ustar";
      const std::string_view prefix = ustar ? Field(block.data(), 345, 155) : std::string_view();
      std::string name(Field(block.data(), 0, 100));
      if (!prefix.empty()) name = std::string(prefix) + "/" + name;
      entry.path = longPath.empty() ? name : longPath;
      entry.linkTarget = longLink.empty() ? std::string(Field(block.data(), 157, 100)) : longLink;
      if (entry.path.size() > kMaxNameBytes || entry.linkTarget.size() > kMaxNameBytes) {
        throw ArchiveError("entry name too long");
      }
      // Data of links and directories (none in practice) is skipped with the rest.
      mDataLeft = size;
      mPaddingLeft = Padding(size);
      return entry;
    }
  }
}

std::size_t TarReader::ReadData(char* buffer, std::size_t capacity) {
  const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(mDataLeft, capacity));
  if (chunk == 0) return 0;
  ReadExactly(buffer, chunk);
  mDataLeft -= chunk;
  return chunk;
}
