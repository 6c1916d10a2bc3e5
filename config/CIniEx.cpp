// The ini-style settings file: reading (UTF-16LE or 8-bit), editing and atomic writing.
#include "config/CIniEx.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cwctype>
#include <unordered_set>

#include "common/AsciiText.h"
#include "common/AtomicFile.h"
#include "common/FileDescriptor.h"
#include "common/TextCodec.h"

namespace {

constexpr mode_t kFileMode = 0600;

enum class ReadResult { kRead, kCannotOpen };

// Reads at most `limit` bytes of a regular file. A larger file cannot be opened, nor can one whose
// reading fails part-way: keeping the part read would let the next write drop the rest.
ReadResult ReadBounded(const std::string& path, bool create, std::size_t limit, std::string& bytes) {
  bytes.clear();
  const int flags = O_RDONLY | O_CLOEXEC | (create ? O_CREAT : 0);
  FileDescriptor fd(::open(path.c_str(), flags, kFileMode));
  if (fd.Get() < 0) return ReadResult::kCannotOpen;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::kCannotOpen;
  if (static_cast<unsigned long long>(info.st_size) > limit) return ReadResult::kCannotOpen;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ReadResult::kCannotOpen;
    if (got == 0) return ReadResult::kRead;
    if (bytes.size() + static_cast<std::size_t>(got) > limit) return ReadResult::kCannotOpen;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

char16_t UnitAt(std::string_view bytes, std::size_t index) {
  return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * index]) |
                               (static_cast<unsigned char>(bytes[2 * index + 1]) << 8));
}

bool IsTrailingSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view StripTrailingSpace(std::string_view line) {
  while (!line.empty() && IsTrailingSpace(line.back())) line.remove_suffix(1);
  return line;
}

// A file is UTF-16LE when its first line, read as UTF-16LE, is empty or begins with "[".
bool LooksLikeUtf16(std::string_view bytes) {
  const std::size_t units = bytes.size() / 2;
  std::size_t end = 0;
  while (end < units && UnitAt(bytes, end) != u'\n') ++end;
  while (end > 0 && UnitAt(bytes, end - 1) < 0x80 && IsTrailingSpace(static_cast<char>(UnitAt(bytes, end - 1)))) --end;
  return end == 0 || UnitAt(bytes, 0) == u'[';
}

std::string DecodeUtf16Le(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = UnitAt(bytes, i);
  return Utf16ToUtf8(units);
}

// Text mode of the 8-bit reading: CR LF is one line end; a lone CR stays in the text.
std::string DecodeEightBit(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  return Latin1ToUtf8(text);
}

// Keeps a key or value on its own line: a line break in it would start a new entry or section.
std::string SingleLine(std::string_view text) {
  std::string line(text);
  std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return line;
}

// How a value is stored: on one line, and with a final ";" when it holds one, which GetValue
// takes for the start of a comment and cuts off together with everything after it.
std::string StoredValue(std::string_view value) {
  std::string line = SingleLine(value);
  if (line.find(';') != std::string::npos) line += ';';
  return line;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Lower case by character (towlower of each UTF-16 unit beyond ASCII, which follows LC_CTYPE).
std::string FoldCase(std::string_view text) {
  if (IsAscii(text)) return AsciiLowercase(text);
  std::u16string units = Utf8ToUtf16(text);
  for (char16_t& unit : units) unit = static_cast<char16_t>(std::towlower(static_cast<wint_t>(unit)));
  return Utf16ToUtf8(units);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
  }
  return FoldCase(a) == FoldCase(b);
}

}  // namespace

CIniEx::~CIniEx() {
  try {
    if (IsOpen() && mWriteOnClose && mModified) Write();
  } catch (...) {
    // A destructor must not throw; a failed final write is as silent as any other.
  }
}

bool CIniEx::Open(const std::string& path, bool writeOnClose, bool create, bool ignoreCase, bool backup) {
  if (IsOpen() && mWriteOnClose && mModified) Write();
  mPath.clear();
  mSections.clear();
  mSectionIndex.clear();
  mModified = false;
  mWriteOnClose = writeOnClose;
  mIgnoreCase = ignoreCase;
  mBackup = backup;

  std::string bytes;
  if (path.empty() || ReadBounded(path, create, kMaxFileSize, bytes) != ReadResult::kRead) return false;
  mPath = path;
  Parse(bytes);
  RebuildIndex();
  return true;
}

void CIniEx::Parse(std::string_view bytes) {
  const std::string text = LooksLikeUtf16(bytes) ? DecodeUtf16Le(bytes) : DecodeEightBit(bytes);
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    AddLine(StripTrailingSpace(rest.substr(0, end)));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

void CIniEx::AddLine(std::string_view line) {
  if (line.empty()) return;
  if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
    mSections.push_back(Section{std::string(line.substr(1, line.size() - 2)), {}});
    return;
  }
  if (mSections.empty()) return;  // entries before the first section header
  const std::size_t equals = line.find('=');
  Entry entry;
  entry.key = std::string(line.substr(0, equals));
  if (equals != std::string_view::npos) entry.value = std::string(line.substr(equals + 1));
  entry.indexKey = IndexKey(entry.key);
  mSections.back().entries.push_back(std::move(entry));
}

bool CIniEx::SameName(std::string_view a, std::string_view b) const {
  return mIgnoreCase ? EqualIgnoringCase(a, b) : a == b;
}

std::string CIniEx::IndexKey(std::string_view name) const { return mIgnoreCase ? FoldCase(name) : std::string(name); }

void CIniEx::RebuildIndex() {
  mSectionIndex.clear();
  for (std::size_t i = 0; i < mSections.size(); ++i) mSectionIndex.emplace(IndexKey(mSections[i].name), i);
}

CIniEx::Section* CIniEx::FindSection(std::string_view name) {
  const auto found = mSectionIndex.find(IndexKey(name));
  return found == mSectionIndex.end() ? nullptr : &mSections[found->second];
}

const CIniEx::Section* CIniEx::FindSection(std::string_view name) const {
  const auto found = mSectionIndex.find(IndexKey(name));
  return found == mSectionIndex.end() ? nullptr : &mSections[found->second];
}

std::size_t CIniEx::FindLastEntry(const Section& section, std::string_view key) const {
  const std::string wanted = IndexKey(key);
  for (std::size_t i = section.entries.size(); i-- > 0;) {
    if (section.entries[i].indexKey == wanted) return i;
  }
  return kNotFound;
}

std::string CIniEx::GetValue(std::string_view section, std::string_view key, std::string_view defaultValue) const {
  const Section* found = FindSection(section);
  const std::size_t index = found != nullptr ? FindLastEntry(*found, key) : kNotFound;
  if (index == kNotFound) return std::string(defaultValue);
  const std::string& value = found->entries[index].value;
  return value.substr(0, value.rfind(';'));
}

void CIniEx::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  Section* found = FindSection(section);
  if (found == nullptr) {
    mSections.push_back(Section{SingleLine(section), {}});
    mSectionIndex.emplace(IndexKey(mSections.back().name), mSections.size() - 1);
    found = &mSections.back();
  }
  const std::size_t index = FindLastEntry(*found, key);
  std::string line = StoredValue(value);
  if (index == kNotFound) {
    std::string name = SingleLine(key);
    std::string indexKey = IndexKey(name);
    found->entries.push_back(Entry{std::move(name), std::move(line), std::move(indexKey)});
    mModified = true;
    return;
  }
  std::string& old = found->entries[index].value;
  if (!SameName(old, line)) mModified = true;
  old = std::move(line);
}

bool CIniEx::RemoveKey(std::string_view section, std::string_view key) {
  Section* found = FindSection(section);
  const std::size_t index = found != nullptr ? FindLastEntry(*found, key) : kNotFound;
  if (index == kNotFound) return false;
  found->entries.erase(found->entries.begin() + static_cast<std::ptrdiff_t>(index));
  mModified = true;
  return true;
}

bool CIniEx::RemoveSection(std::string_view section) {
  const auto found = mSectionIndex.find(IndexKey(section));
  if (found == mSectionIndex.end()) return false;
  mSections.erase(mSections.begin() + static_cast<std::ptrdiff_t>(found->second));
  RebuildIndex();
  mModified = true;
  return true;
}

std::size_t CIniEx::RemoveSections(const std::vector<std::string>& names) {
  std::unordered_set<std::string> keys;
  for (const std::string& name : names) keys.insert(IndexKey(name));
  const std::size_t removed =
      std::erase_if(mSections, [&](const Section& section) { return keys.count(IndexKey(section.name)) != 0; });
  if (removed == 0) return 0;
  RebuildIndex();
  mModified = true;
  return removed;
}

bool CIniEx::HasSection(std::string_view section) const { return FindSection(section) != nullptr; }

bool CIniEx::HasKey(std::string_view section, std::string_view key) const {
  const Section* found = FindSection(section);
  return found != nullptr && FindLastEntry(*found, key) != kNotFound;
}

std::string CIniEx::Serialize() const {
  std::string text;
  for (const Section& section : mSections) {
    // Even an empty name gets its header: without it the entries would join the section before.
    text += "[" + section.name + "]\n";
    for (const Entry& entry : section.entries) text += entry.key + "=" + entry.value + "\n";
  }
  const std::u16string units = Utf8ToUtf16(text);
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (const char16_t unit : units) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

void CIniEx::KeepBackup() const {
  std::string previous;
  if (ReadWholeFile(mPath, previous, kMaxFileSize)) WriteFileAtomically(mPath + ".bak", previous, kFileMode);
}

std::string CIniEx::Write(std::string* error) {
  if (!IsOpen() || !mModified) return {};
  if (mBackup) KeepBackup();
  return WriteFileAtomically(mPath, Serialize(), kFileMode, error) ? mPath : std::string();
}
