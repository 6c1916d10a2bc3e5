// A vdir collection: listing, reading whole files, atomic writes through ".tmp" files, names and
// the metadata files.
#include "stores/vdir/VdirCollection.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/AtomicFile.h"
#include "platform/shell/UserFolders.h"

namespace {

constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kMaxNameBytes = 200;

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool IsSafeNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '+' ||
         c == '-';
}

struct FileState {
  std::string stamp;
  off_t size = 0;
  bool regular = false;
};

std::optional<FileState> StateOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  const long long nanoseconds = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  return FileState{std::to_string(nanoseconds) + ";" + std::to_string(static_cast<unsigned long long>(info.st_ino)), info.st_size,
                   S_ISREG(info.st_mode)};
}

std::string Trimmed(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  text = text.substr(0, end);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return std::string(text);
}

}  // namespace

VdirCollection::VdirCollection(std::string folder) : mFolder(WithSlash(std::move(folder))) {}

bool VdirCollection::Exists() const {
  std::error_code error;
  return std::filesystem::is_directory(mFolder, error);
}

bool VdirCollection::IsItemName(std::string_view name, std::string_view extension) {
  return name.size() > extension.size() && name.front() != '.' && EndsWith(name, extension) &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::optional<std::vector<std::string>> VdirCollection::ItemFiles(std::string_view extension, std::string* error) const {
  std::vector<std::string> names;
  std::error_code failure;
  for (std::filesystem::directory_iterator entry(mFolder, failure), end; !failure && entry != end; entry.increment(failure)) {
    const std::string name = entry->path().filename().string();
    std::error_code typeError;
    if (IsItemName(name, extension) && entry->is_regular_file(typeError)) names.push_back(name);
  }
  if (failure) {
    if (error != nullptr) *error = "cannot list " + mFolder + ": " + failure.message();
    return std::nullopt;
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<CollectionFile> VdirCollection::Read(const std::string& name, std::string* error) const {
  const std::string path = Path(name);
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    const std::optional<FileState> before = StateOf(path);
    if (!before || !before->regular) {
      if (error != nullptr) *error = path + " is missing or not a file";
      return std::nullopt;
    }
    CollectionFile file;
    if (!ReadWholeFile(path, file.text, kMaxItemBytes, error)) return std::nullopt;
    const std::optional<FileState> after = StateOf(path);
    // Changed while it was read (written in place, or replaced): read it again.
    if (!after || after->stamp != before->stamp || after->size != before->size ||
        static_cast<off_t>(file.text.size()) != after->size) {
      continue;
    }
    file.stamp = after->stamp;
    return file;
  }
  if (error != nullptr) *error = path + " kept changing while it was read";
  return std::nullopt;
}

std::optional<std::string> VdirCollection::Stamp(const std::string& name) const {
  const std::optional<FileState> state = StateOf(Path(name));
  return state ? std::optional<std::string>(state->stamp) : std::nullopt;
}

bool VdirCollection::Write(const std::string& name, std::string_view text, std::string* error) {
  mChanged = true;
  return WriteFileAtomically(Path(name), text, AtomicWriteOptions{kTemporarySuffix, false}, 0600, error);
}

bool VdirCollection::Remove(const std::string& name, std::string* error) {
  if (::unlink(Path(name).c_str()) != 0 && errno != ENOENT) {
    if (error != nullptr) *error = "cannot remove " + Path(name) + ": " + std::strerror(errno);
    return false;
  }
  mChanged = true;
  return true;
}

bool VdirCollection::Flush() {
  if (!mChanged) return true;
  if (!FlushFolder(mFolder)) return false;
  mChanged = false;
  return true;
}

std::string VdirCollection::NameFor(const std::string& uid, std::string_view extension) {
  const bool safe = !uid.empty() && uid.size() <= kMaxNameBytes && uid.front() != '.' &&
                    std::all_of(uid.begin(), uid.end(), IsSafeNameCharacter);
  std::string name = safe ? uid + std::string(extension) : std::string();
  while (name.empty() || StateOf(Path(name))) name = NewUid() + std::string(extension);
  return name;
}

std::string VdirCollection::NewUid() {
  char text[40];
  const unsigned long long high = mGenerator();
  const unsigned long long low = mGenerator();
  std::snprintf(text, sizeof text, "%08llx-%04llx-%04llx-%04llx-%012llx", high >> 32, (high >> 16) & 0xFFFF, high & 0xFFFF,
                low >> 48, low & 0xFFFFFFFFFFFFULL);
  return text;
}

bool VdirCollection::Create(const std::string& displayName, const std::string& color) {
  if (!CreateFolderPath(mFolder)) return false;
  // The metadata is a convenience for the other tools: a folder without it is still a collection.
  if (!displayName.empty()) WriteFileAtomically(Path(kDisplayNameFile), displayName, AtomicWriteOptions{kTemporarySuffix, true});
  if (!color.empty()) WriteFileAtomically(Path(kColorFile), color, AtomicWriteOptions{kTemporarySuffix, true});
  return FlushFolder(mFolder);
}

std::string VdirCollection::MetadataLine(const char* file) const {
  std::string text;
  return ReadWholeFile(Path(file), text, 4096) ? Trimmed(text) : std::string();
}

std::string VdirCollection::DisplayName() const { return MetadataLine(kDisplayNameFile); }

std::string VdirCollection::Color() const { return MetadataLine(kColorFile); }
