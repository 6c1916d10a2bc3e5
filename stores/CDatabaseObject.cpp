// Local store interface: the loading order and the bookkeeping every store shares.
#include "stores/CDatabaseObject.h"

#include "common/Format.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"

namespace {
constexpr std::string_view kLoadOperation = "LoadContent";
constexpr size_t kInitialIdMapBuckets = 10;
constexpr double kOleDaysAt1970 = 25569.0;
constexpr double kSecondsPerDay = 86400.0;
}  // namespace

std::string ModificationStampText(long long seconds, long nanoseconds, bool wholeSeconds) {
  if (wholeSeconds) return FormatText("%lld", {seconds});
  const double exact = static_cast<double>(seconds) + static_cast<double>(nanoseconds) / 1e9;
  return FormatText("%.20f", {kOleDaysAt1970 + exact / kSecondsPerDay});
}

CDatabaseObject::CDatabaseObject(CConf& conf) : mConf(conf) { mIdMap.reserve(kInitialIdMapBuckets); }

CDatabaseObject::~CDatabaseObject() = default;

int32_t CDatabaseObject::LoadContent(const std::string& listName) {
  LogDebug(kLoadOperation, "Begin");
  mIdMap.clear();
  mCurrentItems.Clear();
  mSavedItems.Clear();
  if (!listName.empty()) {
    mCurrentItems.SetPath(mConf.ConfigFolder(), listName);
    mSavedItems.SetPath(mConf.ConfigFolder(), listName);
  }
  mFirstSyncOfLink = !CDataItemList::FileListsRecords(mSavedItems.Path());
  const int32_t status = ReadCurrentFolder();
  if (status != kStoreOk) {
    ReportLoadFailure(status);
  } else {
    // The folder's records are packed before the index file and its records join them.
    mCurrentItems.PackRecords();
    mSavedItems.LoadFile();
  }
  LogDebug(kLoadOperation, "End");
  return status;
}

const char* MessageClassOfKind(int kind) {
  switch (kind) {
    case ITEM_GROUP: return "IPM.DistList";
    case ITEM_TASK: return "IPM.Task";
    case ITEM_EVENT: return "IPM.Appointment";
    default: return "IPM.Contact";
  }
}

bool CDatabaseObject::SelectFolderOf(const CSyncLink& link) {
  return SetCurrentFolder(static_cast<SyncDataType>(link.mDataType), link.mLocalEntryId, link.mLocalStoreId);
}

std::string CDatabaseObject::ItemText(const CDataItem& record, const ItemTextOptions& options) const {
  return record.ToText(options);
}

void CDatabaseObject::ReportLoadFailure(int32_t status) { LogError(kLoadOperation, status); }

void CDatabaseObject::KeepUnreadableItems(const std::string& folder) {
  for (const CDataItem::Ptr& saved : mSavedItems.Items()) {
    if (mCurrentItems.Contains(saved->itemId) || !ItemExists(saved->itemId)) continue;
    LogError(kLoadOperation, "Keeping the indexed record of " + folder + saved->itemId);
    CDataItem::Ptr kept = CDataItem::Create(saved->kind);
    *kept = *saved;
    mCurrentItems.Add(std::move(kept));
  }
}

void CDatabaseObject::NoteItemAdded(const std::string& serverId, const std::string& newEntryId) {
  NoteItemWritten(serverId, newEntryId);
  mSavedItems.Remove(newEntryId);
}

// An empty server identifier names no server item, so it is not remembered.
void CDatabaseObject::NoteItemWritten(const std::string& serverId, const std::string& entryId) {
  if (!serverId.empty()) mIdMap[serverId] = entryId;
}

void CDatabaseObject::NoteItemRemoved(const std::string& entryId) {
  // A copy: `entryId` may be the itemId of the record the first removal releases.
  const std::string key = entryId;
  mCurrentItems.Remove(key);
  mSavedItems.Remove(key);
}
