// Saved states of the links' local items: writing, listing, pruning and reading them back.
#include "engine/LocalSnapshots.h"

#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "common/AtomicFile.h"
#include "common/CXException.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "platform/shell/UserFolders.h"
#include "stores/CDatabaseObject.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kOperation = "LocalSnapshots";
constexpr const char* kIdProperty = "X-SNAPSHOT-ID:";
constexpr const char* kKindProperty = "X-SNAPSHOT-KIND:";
// "YYYYMMDDTHHMMSS.ffffffZ"
constexpr std::size_t kStampLength = 23;
// A snapshot is read whole; one of 50,000 contacts with photos stays well below this.
constexpr std::size_t kMaxSnapshotBytes = std::size_t{1} << 30;

const char* ExtensionOf(const CSyncLink& link) { return link.mDataType == DATA_TYPE_CONTACTS ? ".vcf" : ".ics"; }

std::string UtcStamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm utc{};
  const std::time_t seconds = now.tv_sec;
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &utc);
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%s.%06ldZ", text, static_cast<long>(now.tv_usec));
  return stamp;
}

bool IsStamp(const std::string& text) {
  if (text.size() != kStampLength || text[8] != 'T' || text[15] != '.' || text.back() != 'Z') return false;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (i == 8 || i == 15) continue;
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The line without its line break, in upper case: for recognising BEGIN and END lines.
std::string LineKey(const std::string& text, std::size_t start, std::size_t end) {
  std::string line = text.substr(start, end - start);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return Upper(line);
}

}  // namespace

LocalSnapshots::LocalSnapshots(std::string configFolder, int runsKept)
    : mFolder(configFolder.empty() ? std::string() : WithSlash(std::move(configFolder)) + "snapshots/"),
      mRunsKept(std::max(1, runsKept)) {}

LocalSnapshots::LocalSnapshots(const CConf& conf) : LocalSnapshots(conf.ConfigFolder(), conf.SnapshotRuns()) {}

std::string LocalSnapshots::Serialize(const std::vector<SnapshotItem>& items) {
  std::string out;
  for (const SnapshotItem& item : items) {
    const std::size_t firstBreak = item.text.find('\n');
    const std::size_t split = firstBreak == std::string::npos ? item.text.size() : firstBreak + 1;
    const std::string lineEnd = split >= 2 && item.text[split - 2] == '\r' ? "\r\n" : "\n";
    out.append(item.text, 0, split);
    if (firstBreak == std::string::npos) out += lineEnd;
    out += kIdProperty + item.id + lineEnd;
    out += kKindProperty + std::to_string(item.kind) + lineEnd;
    out.append(item.text, split, std::string::npos);
    if (!out.empty() && out.back() != '\n') out += lineEnd;
  }
  return out;
}

std::string LocalSnapshots::Save(const CDatabaseObject& store, const CSyncLink& link) const {
  std::vector<SnapshotItem> items;
  items.reserve(store.mCurrentItems.Count());
  for (const CDataItem::Ptr& record : store.mCurrentItems.Items()) {
    items.push_back({record->itemId, record->kind, store.ItemText(*record, {})});
  }
  const std::string path = mFolder + link.LocalFileName() + "." + UtcStamp() + ExtensionOf(link);
  std::string error;
  if (mFolder.empty() || !CreateFolderPath(mFolder) ||
      !WriteFileAtomically(path, [&items](const ContentWriter& write) {
        // One item at a time: the whole file is never held in memory.
        for (const SnapshotItem& item : items) {
          if (!write(Serialize({item}))) return false;
        }
        return true;
      }, 0600, &error)) {
    LogError(kOperation, "Cannot write " + path + (error.empty() ? "" : ": " + error));
    throw CMainException(IDS_SNAPSHOT_FAILED);
  }
  LogDebug(kOperation, "Local items saved before the run changes them: " + path);
  Prune(link);
  return path;
}

std::vector<SnapshotFile> LocalSnapshots::List(const CSyncLink& link) const {
  std::vector<SnapshotFile> files;
  const std::string prefix = link.LocalFileName() + ".";
  const std::string extension = ExtensionOf(link);
  std::error_code code;
  for (fs::directory_iterator it(mFolder, code), end; !code && it != end; it.increment(code)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + kStampLength + extension.size()) continue;
    if (name.compare(0, prefix.size(), prefix) != 0 || !name.ends_with(extension)) continue;
    const std::string stamp = name.substr(prefix.size(), kStampLength);
    if (IsStamp(stamp)) files.push_back({it->path().string(), stamp});
  }
  std::sort(files.begin(), files.end(), [](const SnapshotFile& a, const SnapshotFile& b) { return a.stamp > b.stamp; });
  return files;
}

void LocalSnapshots::Prune(const CSyncLink& link) const {
  const std::vector<SnapshotFile> files = List(link);
  for (std::size_t i = static_cast<std::size_t>(mRunsKept); i < files.size(); ++i) {
    std::error_code code;
    if (!fs::remove(files[i].path, code)) LogError(kOperation, "Cannot remove " + files[i].path + ": " + code.message());
  }
}

std::vector<SnapshotItem> LocalSnapshots::Read(const std::string& path) {
  std::string text;
  std::string error;
  if (!ReadWholeFile(path, text, kMaxSnapshotBytes, &error)) {
    LogError(kOperation, "Cannot read " + path + ": " + error);
    throw CMainException(IDS_SNAPSHOT_UNREADABLE);
  }
  std::vector<SnapshotItem> items;
  std::string endLine;  // the END line of the item being read; empty between items
  SnapshotItem item;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t lineEnd = std::min(text.find('\n', start), text.size());
    const std::size_t next = lineEnd == text.size() ? lineEnd : lineEnd + 1;
    const std::string key = LineKey(text, start, lineEnd);
    if (endLine.empty()) {
      if (key == "BEGIN:VCARD" || key == "BEGIN:VCALENDAR") {
        endLine = "END:" + key.substr(6);
        item = SnapshotItem{};
        item.text.append(text, start, next - start);
      }
    } else if (key.starts_with(kIdProperty)) {
      item.id = text.substr(start, lineEnd - start).substr(std::string_view(kIdProperty).size());
      if (!item.id.empty() && item.id.back() == '\r') item.id.pop_back();
    } else if (key.starts_with(kKindProperty)) {
      item.kind = std::atoi(key.c_str() + std::string_view(kKindProperty).size());
    } else {
      item.text.append(text, start, next - start);
      if (key == endLine) {
        if (item.id.empty()) {
          LogError(kOperation, path + ": an item without its identifier");
          throw CMainException(IDS_SNAPSHOT_UNREADABLE);
        }
        items.push_back(std::move(item));
        endLine.clear();
      }
    }
    start = next;
  }
  if (!endLine.empty()) {
    LogError(kOperation, path + ": the last item is cut off");
    throw CMainException(IDS_SNAPSHOT_UNREADABLE);
  }
  return items;
}
