// Restoring a saved state of a link's local items.
#include "engine/SnapshotRestore.h"

#include <algorithm>
#include <map>
#include <set>

#include "common/CXException.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CDataItemList.h"
#include "engine/CSyncLink.h"
#include "engine/LocalSnapshots.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "stores/CDatabaseObject.h"

namespace {

constexpr const char* kOperation = "SnapshotRestore";
constexpr const char* kStampKey = "PR_LAST_MODIFICATION_TIME";

bool IsCalendarKind(int kind) { return kind == ITEM_EVENT || kind == ITEM_TASK; }

// A changed occurrence ("series/date") after every series, so that its series exists first.
bool SeriesFirst(const SnapshotItem& a, const SnapshotItem& b) {
  return (a.id.find('/') != std::string::npos) < (b.id.find('/') != std::string::npos);
}

}  // namespace

RestoreCounts SnapshotRestore::Restore(const CSyncLink& link, const std::string& snapshotPath) {
  std::vector<SnapshotItem> saved = LocalSnapshots::Read(snapshotPath);
  std::stable_sort(saved.begin(), saved.end(), SeriesFirst);
  if (!mStore.SelectFolderOf(link)) throw CMainException(IDS_FOLDER_SELECT_ERROR);
  if (mStore.LoadContent(link.LocalFileName()) != kStoreOk) throw CMainException(IDS_DATABASE_LOAD_ERROR);
  LocalSnapshots(mConf).Save(mStore, link);

  std::set<std::string> savedIds;
  for (const SnapshotItem& item : saved) savedIds.insert(item.id);
  RestoreCounts counts;
  // Added since: deleted. The ids first, as each deletion changes the list.
  std::vector<std::string> added;
  for (const CDataItem::Ptr& record : mStore.mCurrentItems.Items()) {
    if (savedIds.count(record->itemId) == 0) added.push_back(record->itemId);
  }
  for (const std::string& id : added) {
    if (!mStore.mCurrentItems.Contains(id)) continue;  // an occurrence that went with its series
    if (mStore.RemoveItem(id)) {
      ++counts.deleted;
    } else {
      LogError(kOperation, "Cannot delete " + id);
      ++counts.failed;
    }
  }
  std::vector<std::string> written;
  for (const SnapshotItem& item : saved) {
    const CDataItem::Ptr current = mStore.mCurrentItems.Find(item.id);
    if (current && mStore.ItemText(*current, {}) == item.text) continue;
    std::string localId = current ? item.id : std::string();
    if (!Write(item.text, item.kind, localId)) {
      LogError(kOperation, "Cannot write " + item.id);
      ++counts.failed;
      continue;
    }
    ++(current ? counts.rewritten : counts.recreated);
    written.push_back(localId);
  }
  mStore.CommitWrites();
  MarkChangedInIndex(link, written);
  return counts;
}

// Through the writers a sync run uses for the server's items.
bool SnapshotRestore::Write(const std::string& text, int kind, std::string& localId) {
  if (IsCalendarKind(kind)) return mStore.AddCalendarItem(text, localId) == kStoreOk && !localId.empty();
  VCardContext context;
  const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
  if (!card) return false;
  const std::string contentType = kind == ITEM_GROUP ? kGroupContentType : "text/x-vcard";
  if (localId.empty()) return mStore.AddAddressBookItem(*card, localId, "", contentType) == kStoreOk && !localId.empty();
  StoreWriteStatus status = WRITE_NOTHING;
  return mStore.UpdateAddressBookItem(*card, localId, "", contentType, status) == kStoreOk;
}

// The index is read anew: the store's own copy has lost the items its deletions removed, which the
// next run must still send as deletions. A re-created item the store gave the identifier of one it
// just deleted is, for the index, an update of that item.
void SnapshotRestore::MarkChangedInIndex(const CSyncLink& link, const std::vector<std::string>& ids) const {
  if (ids.empty()) return;
  CDataItemList index;
  index.SetPath(mConf.ConfigFolder(), link.LocalFileName());
  index.LoadFile();
  bool changed = false;
  for (const std::string& id : ids) {
    if (const CDataItem::Ptr record = index.Find(id)) {
      (*record)[kStampKey].clear();
      changed = true;
    }
  }
  if (changed) index.SaveFile();
}
