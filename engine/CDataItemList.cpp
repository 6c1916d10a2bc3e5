// Item list: keyed look-ups through a first-match hash index, and the binary index file.
#include "engine/CDataItemList.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "common/AtomicFile.h"
#include "common/ChunkedFileReader.h"
#include "common/CXException.h"
#include "common/StringIds.h"
#include "common/TextCodec.h"
#include "config/CLog.h"

namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Archive format: little-endian numbers; counts as 16 bits, or 0xFFFF and 32 bits; strings as
// the marker 0xFF 0xFFFE (UTF-16 text follows) and a length of 8, 16 or 32 bits, then the text.
constexpr uint16_t kWideMarker = 0xFFFE;
constexpr uint16_t kLongCount = 0xFFFF;
constexpr uint8_t kLongLength = 0xFF;

// Writes the archive into memory, or (counting) only adds up its length, or passes it on in
// pieces of kPieceBytes to a file writer: an index of tens of thousands of records is tens of
// MB, which a save should not hold besides the records.
class ArchiveWriter {
 public:
  static constexpr size_t kPieceBytes = size_t(1) << 16;

  ArchiveWriter() = default;
  explicit ArchiveWriter(bool counting) : mCounting(counting) {}
  explicit ArchiveWriter(const ContentWriter& sink) : mSink(&sink) { mBytes.reserve(kPieceBytes + 16); }
  void Reserve(size_t bytes) { mBytes.reserve(bytes); }
  size_t Size() const { return mCounting ? mCounted : mBytes.size(); }
  // Hands the rest to the file writer; false when any piece could not be written.
  bool Flush() {
    if (mSink != nullptr && mWritten && !mBytes.empty()) mWritten = (*mSink)(mBytes);
    mBytes.clear();
    return mWritten;
  }

  void Byte(uint8_t value) {
    if (mCounting) {
      ++mCounted;
      return;
    }
    mBytes += static_cast<char>(value);
    if (mSink != nullptr && mBytes.size() >= kPieceBytes) Flush();
  }
  void Word(uint16_t value) {
    Byte(static_cast<uint8_t>(value));
    Byte(static_cast<uint8_t>(value >> 8));
  }
  void DoubleWord(uint32_t value) {
    Word(static_cast<uint16_t>(value));
    Word(static_cast<uint16_t>(value >> 16));
  }

  void Count(size_t count) {
    if (count > std::numeric_limits<uint32_t>::max()) throw CDataItemListException(IDS_INDEX_SAVE_ERROR);
    if (count < kLongCount) {
      Word(static_cast<uint16_t>(count));
    } else {
      Word(kLongCount);
      DoubleWord(static_cast<uint32_t>(count));
    }
  }

  void String(std::string_view utf8) {
    // Keys and most values are ASCII: their code units are their bytes, no conversion needed.
    if (IsAscii(utf8)) {
      Length(utf8.size());
      if (mCounting) {
        mCounted += 2 * utf8.size();
      } else {
        for (const char c : utf8) Word(static_cast<uint16_t>(c));
      }
      return;
    }
    const std::u16string units = Utf8ToUtf16(utf8);
    Length(units.size());
    for (const char16_t unit : units) Word(static_cast<uint16_t>(unit));
  }

  std::string Take() { return std::move(mBytes); }

 private:
  // The UTF-16 marker and the length in code units.
  void Length(size_t length) {
    Byte(kLongLength);
    Word(kWideMarker);
    if (length > std::numeric_limits<uint32_t>::max()) throw CDataItemListException(IDS_INDEX_SAVE_ERROR);
    if (length < kLongLength) {
      Byte(static_cast<uint8_t>(length));
    } else {
      Byte(kLongLength);
      if (length < kWideMarker) {
        Word(static_cast<uint16_t>(length));
      } else {
        Word(kLongCount);
        DoubleWord(static_cast<uint32_t>(length));
      }
    }
  }

  bool mCounting = false;
  size_t mCounted = 0;
  const ContentWriter* mSink = nullptr;
  bool mWritten = true;
  std::string mBytes;
};

void WriteRecords(ArchiveWriter& writer, const std::vector<CDataItem::Ptr>& items) {
  writer.Count(items.size());
  for (const auto& item : items) {
    writer.String(item->itemId);
    writer.Count(item->properties.size());
    item->properties.ForEach([&writer](const std::string& name, std::string_view value) {
      writer.String(name);
      writer.String(value);
    });
  }
}

// The bytes of an archive held in memory, taken front to back.
class MemorySource {
 public:
  explicit MemorySource(std::string_view bytes) : mBytes(bytes) {}
  size_t Remaining() const { return mBytes.size() - mOffset; }
  bool Take(size_t count, std::string_view& bytes) {
    if (count > Remaining()) return false;
    bytes = mBytes.substr(mOffset, count);
    mOffset += count;
    return true;
  }

 private:
  std::string_view mBytes;
  size_t mOffset = 0;
};

// Reads the archive from a source (MemorySource, or ChunkedFileReader for the file itself, which
// is then never held whole). Every length is checked against the bytes that remain before
// anything is allocated for it, so a damaged file cannot make the reader allocate more than the
// file's own size.
template <typename Source>
class ArchiveReader {
 public:
  explicit ArchiveReader(Source& source) : mSource(source) {}

  size_t Remaining() const { return mSource.Remaining(); }

  bool Byte(uint8_t& value) {
    std::string_view bytes;
    if (!mSource.Take(1, bytes)) return false;
    value = static_cast<uint8_t>(bytes[0]);
    return true;
  }
  bool Word(uint16_t& value) {
    std::string_view bytes;
    if (!mSource.Take(2, bytes)) return false;
    value = static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) | (static_cast<uint8_t>(bytes[1]) << 8));
    return true;
  }
  bool DoubleWord(uint32_t& value) {
    uint16_t low = 0, high = 0;
    if (!Word(low) || !Word(high)) return false;
    value = static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16);
    return true;
  }

  // A count of items each taking at least `minBytesPerItem` bytes.
  bool Count(size_t minBytesPerItem, size_t& count) {
    uint16_t shortCount = 0;
    if (!Word(shortCount)) return false;
    if (shortCount != kLongCount) {
      count = shortCount;
    } else {
      uint32_t longCount = 0;
      if (!DoubleWord(longCount)) return false;
      count = longCount;
    }
    return count <= Remaining() / minBytesPerItem;
  }

  bool String(std::string& utf8) {
    bool wide = false;
    size_t length = 0;
    if (!StringLength(wide, length)) return false;
    const size_t bytes = wide ? length * 2 : length;
    std::string_view raw;
    if (!mSource.Take(bytes, raw)) return false;
    if (wide && IsAsciiUtf16(raw)) {
      utf8.resize(length);
      for (size_t i = 0; i < length; ++i) utf8[i] = raw[2 * i];
    } else if (wide) {
      std::u16string units(length, u'\0');
      for (size_t i = 0; i < length; ++i) {
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(raw[2 * i]) | (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
      }
      utf8 = Utf16ToUtf8(units);
    } else {
      utf8 = EightBitToUtf8(raw);
    }
    return true;
  }

 private:
  // The length forms: 8 bits below 0xFF; else 0xFF and 16 bits; 16 bits of 0xFFFF mean a 32-bit
  // length follows. A 16-bit 0xFFFE in first place marks UTF-16 text and the length starts over.
  bool StringLength(bool& wide, size_t& length) {
    uint8_t shortLength = 0;
    if (!Byte(shortLength)) return false;
    if (shortLength < kLongLength) {
      length = shortLength;
      return true;
    }
    uint16_t middleLength = 0;
    if (!Word(middleLength)) return false;
    if (middleLength == kWideMarker && !wide) {
      wide = true;
      if (!Byte(shortLength)) return false;
      if (shortLength < kLongLength) {
        length = shortLength;
        return true;
      }
      if (!Word(middleLength)) return false;
    }
    if (middleLength < kLongCount) {
      length = middleLength;
      return true;
    }
    uint32_t longLength = 0;
    if (!DoubleWord(longLength)) return false;
    length = longLength;
    return true;
  }

  // UTF-16LE code units all below 0x80.
  static bool IsAsciiUtf16(std::string_view raw) {
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
      if (static_cast<unsigned char>(raw[i]) >= 0x80 || raw[i + 1] != 0) return false;
    }
    return true;
  }

  // 8-bit text is in the locale's codeset; bytes that do not convert are taken as Latin-1 so
  // that the record still loads.
  static std::string EightBitToUtf8(std::string_view raw) {
    if (IsAscii(raw)) return std::string(raw);
    std::string converted;
    if (LocaleToUtf8(raw, converted)) return converted;
    return Latin1ToUtf8(raw);
  }

  Source& mSource;
};

// Smallest record: an empty 8-bit key (1 byte) and a 16-bit property count.
constexpr size_t kMinRecordBytes = 3;
// Smallest property: two empty 8-bit strings.
constexpr size_t kMinPropertyBytes = 2;

// A loaded record is packed: the index is kept for its stamps and a few keys, and the rest of a
// record is read only when one of its items changed.
template <typename Source>
bool ReadRecord(ArchiveReader<Source>& reader, CDataItem& record) {
  if (!reader.String(record.itemId)) return false;
  size_t propertyCount = 0;
  if (!reader.Count(kMinPropertyBytes, propertyCount)) return false;
  std::string name, value;
  for (size_t i = 0; i < propertyCount; ++i) {
    if (!reader.String(name) || !reader.String(value)) return false;
    record.properties.insert_or_assign(name, std::move(value));
  }
  record.Pack();
  return true;
}

// Replaces the content of `list` with the records of `source`; false (list empty) when they are
// truncated or damaged. An empty source is an empty list.
template <typename Source>
bool ReadRecords(Source& source, CDataItemList& list) {
  list.Clear();
  if (source.Remaining() == 0) return true;
  ArchiveReader<Source> reader(source);
  size_t count = 0;
  if (!reader.Count(kMinRecordBytes, count)) return false;
  list.Reserve(count);
  for (size_t i = 0; i < count; ++i) {
    auto record = CDataItem::Create();
    if (!ReadRecord(reader, *record)) {
      list.Clear();
      return false;
    }
    list.Add(std::move(record));
  }
  return true;
}

// Index files are private like the rest of the configuration folder.
constexpr mode_t kFileMode = 0600;

constexpr std::string_view kLoadOperation = "CDataItemList::LoadFile";
constexpr std::string_view kSaveOperation = "CDataItemList::SaveFile";

}  // namespace

void CDataItemList::SetPath(const std::string& folder, const std::string& baseName) {
  if (folder.empty() || baseName.empty()) return;
  mPath = folder + baseName + ".dat";
}

bool CDataItemList::FileListsRecords(const std::string& path) {
  ChunkedFileReader file(path, kMaxFileBytes);
  if (!file.IsOpen()) return false;
  ArchiveReader<ChunkedFileReader> reader(file);
  uint16_t shortCount = 0;
  if (!reader.Word(shortCount)) return false;
  if (shortCount != kLongCount) return shortCount > 0;
  uint32_t longCount = 0;
  return reader.DoubleWord(longCount) && longCount > 0;
}

void CDataItemList::LoadFile() {
  Clear();
  const auto fail = [this](const std::string& error) {
    Clear();
    LogError(kLoadOperation, "Cannot read " + mPath + (error.empty() ? "" : ": " + error));
    throw CDataItemListException(IDS_INDEX_LOAD_ERROR);
  };
  if (mPath.empty() || !CreateFileIfMissing(mPath, kFileMode)) fail({});
  // Read in pieces: the records are all that is held, not the file besides them.
  ChunkedFileReader file(mPath, kMaxFileBytes);
  if (!file.IsOpen()) fail(file.Error());
  const bool read = ReadRecords(file, *this);
  if (file.ReadFailed()) fail(file.Error());
  if (!read) LogDebug(kLoadOperation, "Index file is damaged, loaded as empty: " + mPath);
}

void CDataItemList::SaveFile() const {
  const auto produce = [this](const ContentWriter& sink) {
    ArchiveWriter writer(sink);
    WriteRecords(writer, mItems);
    return writer.Flush();
  };
  std::string error;
  if (mPath.empty() || !WriteFileAtomically(mPath, produce, kFileMode, &error)) {
    LogError(kSaveOperation, "Cannot write " + mPath + (error.empty() ? "" : ": " + error));
    throw CDataItemListException(IDS_INDEX_SAVE_ERROR);
  }
}

std::string CDataItemList::Serialize() const {
  ArchiveWriter counter(true);
  WriteRecords(counter, mItems);
  ArchiveWriter writer;
  writer.Reserve(counter.Size());
  WriteRecords(writer, mItems);
  return writer.Take();
}

bool CDataItemList::Deserialize(std::string_view bytes) {
  MemorySource source(bytes);
  return ReadRecords(source, *this);
}

CDataItem::Ptr CDataItemList::Find(const std::string& key) const {
  const auto hit = mFirstByKey.find(key);
  return hit == mFirstByKey.end() ? nullptr : hit->second;
}

CDataItem::Ptr CDataItemList::First() {
  mPosition = 0;
  return mItems.empty() ? nullptr : mItems.front();
}

CDataItem::Ptr CDataItemList::Next() {
  if (mPosition < mItems.size()) ++mPosition;
  return mPosition < mItems.size() ? mItems[mPosition] : nullptr;
}

void CDataItemList::Add(CDataItem::Ptr item) {
  mFirstByKey.emplace(item->itemId, item);
  mItems.push_back(std::move(item));
}

void CDataItemList::Put(CDataItem::Ptr item) {
  const auto hit = mFirstByKey.find(item->itemId);
  if (hit == mFirstByKey.end()) {
    Add(std::move(item));
    return;
  }
  for (CDataItem::Ptr& held : mItems) {
    if (held == hit->second) {
      held = item;
      break;
    }
  }
  hit->second = std::move(item);
}

bool CDataItemList::Remove(const std::string& key) {
  const auto hit = mFirstByKey.find(key);
  if (hit == mFirstByKey.end()) return false;
  // Keeps the record, and so `key` when it is the record's own itemId, alive until the end.
  const CDataItem::Ptr removed = hit->second;
  mFirstByKey.erase(hit);
  size_t position = 0;
  while (position < mItems.size() && mItems[position] != removed) ++position;
  if (position == mItems.size()) return false;
  mItems.erase(mItems.begin() + static_cast<std::ptrdiff_t>(position));
  IndexFrom(position, key);
  return true;
}

void CDataItemList::PackRecords() {
  for (const CDataItem::Ptr& item : mItems) item->Pack();
}

void CDataItemList::Clear() {
  mItems.clear();
  mFirstByKey.clear();
  mPosition = 0;
}

// After the first record with `key` left, the next one with that key (if any) becomes first.
void CDataItemList::IndexFrom(size_t position, const std::string& key) {
  for (size_t i = position; i < mItems.size(); ++i) {
    if (mItems[i]->itemId == key) {
      mFirstByKey.emplace(key, mItems[i]);
      return;
    }
  }
}
