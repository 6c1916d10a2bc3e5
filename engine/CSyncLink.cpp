// Sync links: derived names and texts, their configuration section, the link array.
#include "engine/CSyncLink.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <stdexcept>

#include "common/Format.h"
#include "common/StringTable.h"
#include "config/CIniEx.h"

namespace {

// Characters that cannot appear in a file name on any platform the files may travel to.
bool IsUnsafeInFileName(char c) {
  switch (c) {
    case ' ': case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
      return true;
    default:
      return static_cast<unsigned char>(c) < 0x20;
  }
}

int ReadInt(const CIniEx& ini, std::string_view section, std::string_view key) {
  const std::string text = ini.GetValue(section, key);
  const long value = std::strtol(text.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Writes `value` under `key`, or removes the key when `value` is empty.
void SetOrRemove(CIniEx& ini, std::string_view section, std::string_view key, const std::string& value) {
  if (!value.empty()) {
    ini.SetValue(section, key, value);
  } else if (ini.HasKey(section, key)) {
    ini.RemoveKey(section, key);
  }
}

// "sync_counts": the local additions, updates and deletions, then the server's, comma-separated.
std::string CountsValue(const ChangeCounts& local, const ChangeCounts& server) {
  std::string value;
  for (const int count : {local.added, local.updated, local.deleted, server.added, server.updated, server.deleted}) {
    if (!value.empty()) value += ',';
    value += std::to_string(count);
  }
  return value;
}

// False (and the counts unchanged) unless `text` holds six numbers of 0 or more.
bool ReadCounts(const std::string& text, ChangeCounts& local, ChangeCounts& server) {
  int values[6];
  const char* at = text.c_str();
  for (int& value : values) {
    char* end = nullptr;
    const long parsed = std::strtol(at, &end, 10);
    if (end == at || parsed < 0 || parsed > std::numeric_limits<int>::max()) return false;
    value = static_cast<int>(parsed);
    at = end;
    if (&value != &values[5] && *at++ != ',') return false;
  }
  if (*at != '\0') return false;
  local = {values[0], values[1], values[2]};
  server = {values[3], values[4], values[5]};
  return true;
}

}  // namespace

std::string CSyncLink::ServerUri() const {
  if (!mServerUri.empty()) return mServerUri;
  std::string uri;
  switch (mDataType) {
    case DATA_TYPE_CONTACTS: uri = "./contacts"; break;
    case DATA_TYPE_EVENTS: uri = "./events"; break;
    case DATA_TYPE_TASKS: uri = "./tasks"; break;
    default: break;
  }
  if (!mServerName.empty()) uri += "/" + mServerName;
  return uri;
}

void CSyncLink::SetServerUri(const std::string& uri) {
  mServerUri.clear();
  if (uri != ServerUri()) mServerUri = uri;
}

std::string CSyncLink::ServerDisplayName() const {
  if (!mServerName.empty()) {
    return mServerName == "corporate" && mDataType == DATA_TYPE_EVENTS ? LoadString(IDS_CORPORATE) : mServerName;
  }
  switch (mDataType) {
    case DATA_TYPE_CONTACTS: return LoadString(IDS_PERSONAL_CONTACTS);
    case DATA_TYPE_EVENTS: return LoadString(IDS_PERSONAL_EVENTS);
    case DATA_TYPE_TASKS: return LoadString(IDS_TASKS);
    default: return {};
  }
}

std::string CSyncLink::LocalFileName() const {
  std::string name;
  if (mClientApp == LOCAL_APP_WINDOWS_CONTACTS) {
    name = "Outlook_Express";
  } else if (mClientApp == LOCAL_APP_VDIR) {
    name = "vdir_" + std::to_string(mDataType) + "_" + mLocalPath;
  } else {
    name = !mLocalPath.empty() || !mLocalName.empty() ? mLocalPath : "No_Name";
  }
  std::replace_if(name.begin(), name.end(), IsUnsafeInFileName, '_');
  return name;
}

int CSyncLink::CompareMode() const {
  if (mClientApp == LOCAL_APP_WINDOWS_CONTACTS) return 0;
  return mDataType == DATA_TYPE_EVENTS || mDataType == DATA_TYPE_TASKS ? 2 : 1;
}

bool CSyncLink::HasChanges() const { return mLocalCounts.Any() || mServerCounts.Any(); }

std::string CSyncLink::ModeText() const {
  switch (mMode) {
    case SYNC_MODE_TWO_WAY: return LoadString(IDS_MODE_TWO_WAY);
    case SYNC_MODE_DOWNLOAD: return LoadString(IDS_MODE_DOWNLOAD);
    case SYNC_MODE_UPLOAD: return LoadString(IDS_MODE_UPLOAD);
    default: return LoadString(IDS_MODE_OFF);
  }
}

std::string CSyncLink::StateText(const TimeText& timeText) const {
  const auto lastGood = [&] {
    return mLastSyncTime != 0 ? " - " + FormatText(LoadString(IDS_LAST_SYNCHRONIZED), {timeText(mLastSyncTime)}) : std::string();
  };
  switch (mState) {
    case SYNC_STATE_SYNCHRONIZED: {
      // Never a clean "Synchronized" when items failed.
      const std::string state = mItemErrors > 0 ? FormatText(LoadString(IDS_SYNCHRONIZED_WITH_ERRORS), {mItemErrors})
                                                : LoadString(IDS_STATE_SYNCHRONIZED);
      return state + " " + timeText(mLastSyncTime) + (mCountsKnown ? " - " + CountsText() : std::string());
    }
    case SYNC_STATE_FAILED: return LoadString(IDS_STATE_FAILED) + lastGood();
    case SYNC_STATE_CANCELLED: return LoadString(IDS_STATE_CANCELLED) + lastGood();
    case SYNC_STATE_NEEDS_DECISION: return LoadString(IDS_STATE_NEEDS_DECISION) + lastGood();
    case SYNC_STATE_NEVER: return LoadString(IDS_STATE_NEVER);
    default: return !mStatusText.empty() ? mStatusText : LoadString(IDS_STATE_IN_PROGRESS);
  }
}

std::string CSyncLink::StateDetails(const TimeText& timeText) const {
  if (mState == SYNC_STATE_NEEDS_DECISION && !mStatusText.empty()) return mStatusText;
  if (mState != SYNC_STATE_FAILED) return StateText(timeText);
  std::string details = LoadString(IDS_DETAILS_FAILED);
  if (!mStatusText.empty()) details += ": " + mStatusText;
  return details;
}

std::string CSyncLink::CountsText() const {
  const int received = mServerCounts.added + mServerCounts.updated + mServerCounts.deleted;
  const int sent = mLocalCounts.added + mLocalCounts.updated + mLocalCounts.deleted;
  return FormatText(LoadString(IDS_ROW_COUNTS), {received, sent});
}

CSyncLink CSyncLink::ReadSection(const CIniEx& ini, std::string_view section) {
  CSyncLink link;
  link.mServerName = ini.GetValue(section, "server_name");
  link.mServerUri = ini.GetValue(section, "server_uri");
  link.mLocalEntryId = ini.GetValue(section, "client_entry_id");
  link.mLocalStoreId = ini.GetValue(section, "client_store_id");
  link.mLocalName = ini.GetValue(section, "client_name");
  link.mLocalPath = ini.GetValue(section, "client_full_path");
  link.mMode = ReadInt(ini, section, "sync_mode");
  link.mDataType = ReadInt(ini, section, "data_type");
  link.mClientApp = ReadInt(ini, section, "client_app");
  link.mState = ReadInt(ini, section, "sync_state");
  link.mItemErrors = std::max(0, ReadInt(ini, section, "sync_errors"));
  link.mCalendarVersion = ini.GetValue(section, "calendar_version");
  ParseLocalDateTime(ini.GetValue(section, "sync_date"), link.mLastSyncTime);
  link.mCountsKnown = ReadCounts(ini.GetValue(section, "sync_counts"), link.mLocalCounts, link.mServerCounts);
  return link;
}

void CSyncLink::WriteSection(CIniEx& ini, std::string_view section) const {
  ini.SetValue(section, "server_name", mServerName);
  ini.SetValue(section, "client_entry_id", mLocalEntryId);
  ini.SetValue(section, "client_store_id", mLocalStoreId);
  ini.SetValue(section, "client_name", mLocalName);
  ini.SetValue(section, "client_full_path", mLocalPath);
  ini.SetValue(section, "sync_mode", std::to_string(mMode));
  ini.SetValue(section, "data_type", std::to_string(mDataType));
  ini.SetValue(section, "client_app", std::to_string(mClientApp));
  ini.SetValue(section, "sync_state", std::to_string(mState));
  // The last good date stays through failed and cancelled runs.
  ini.SetValue(section, "sync_date", mLastSyncTime != 0 ? FormatLocalDateTime(mLastSyncTime) : std::string());
  SetOrRemove(ini, section, "sync_counts", mState == SYNC_STATE_SYNCHRONIZED && mCountsKnown ? CountsValue(mLocalCounts, mServerCounts) : "");
  // Only a link whose last run left items unsynchronized carries the key.
  SetOrRemove(ini, section, "sync_errors", mItemErrors > 0 ? std::to_string(mItemErrors) : "");
  // Only links of servers that list a database under a URI of their own carry the key.
  SetOrRemove(ini, section, "server_uri", mServerUri);
  SetOrRemove(ini, section, "calendar_version", mCalendarVersion);
}

CSyncLink& CSyncLinkArray::At(std::size_t index) {
  if (index >= mLinks.size()) throw std::invalid_argument("sync link index out of range");
  return mLinks[index];
}

const CSyncLink& CSyncLinkArray::At(std::size_t index) const {
  if (index >= mLinks.size()) throw std::invalid_argument("sync link index out of range");
  return mLinks[index];
}

void CSyncLinkArray::Remove(std::size_t index, std::size_t count) {
  if (index >= mLinks.size()) throw std::invalid_argument("sync link index out of range");
  const std::size_t last = index + std::min(count, mLinks.size() - index);
  mLinks.erase(mLinks.begin() + static_cast<std::ptrdiff_t>(index), mLinks.begin() + static_cast<std::ptrdiff_t>(last));
}

bool CSyncLinkArray::HasLinkOfType(int dataType) const {
  return std::any_of(mLinks.begin(), mLinks.end(), [&](const CSyncLink& link) { return link.mDataType == dataType; });
}

std::string FormatLocalDateTime(std::int64_t time) {
  const std::time_t seconds = static_cast<std::time_t>(time);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return {};
  char buffer[128];
  const std::size_t length = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  return std::string(buffer, length);
}

bool ParseLocalDateTime(std::string_view text, std::int64_t& time) {
  const std::string copy(text);
  std::tm local{};
  const char* end = strptime(copy.c_str(), "%x %X", &local);
  if (end == nullptr) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return false;
  local.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&local);
  if (seconds == static_cast<std::time_t>(-1)) return false;
  time = seconds;
  return true;
}
