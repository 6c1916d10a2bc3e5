// Change log: the comparison of the current items with the saved index, and the anchor file.
#include "engine/CChangeLog.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <string_view>

#include "common/AtomicFile.h"
#include "common/Format.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "stores/CDatabaseObject.h"

namespace {

constexpr std::string_view kCheckOperation = "CChangeLog::CheckUpdate";
constexpr const char* kStampKey = "PR_LAST_MODIFICATION_TIME";

void Log(std::string_view message) { LogDebug(kCheckOperation, message); }
void Log(std::string_view label, std::string_view value) {
  LogDebug(kCheckOperation, label);
  LogDebug(kCheckOperation, value);
}
void Log(std::string_view label, long long number) {
  LogDebug(kCheckOperation, label);
  LogDebug(kCheckOperation, number);
}

// A stamp read as decimal seconds, the way the C library reads a number: leading white space,
// an optional sign, digits up to the first other character; no digits read as 0.
long long StampSeconds(const std::string& stamp) {
  return std::strtoll(stamp.c_str(), nullptr, 10);
}

// A member walk in progress: the group record and the next member to look at.
struct GroupFrame {
  CDataItem::Ptr group;
  size_t nextMember = 0;
};

}  // namespace

CChangeLog::CChangeLog(CConf& conf) : mConf(conf) {}

bool CChangeLog::InitAnchor(int compareMode, const std::string& fileBaseName) {
  mAnchor = 0;
  mCompareMode = compareMode;
  mAnchorPath = FormatText("%s%s%s", {mConf.ConfigFolder(), fileBaseName, ".anc"});
  std::ifstream file(mAnchorPath);
  file.imbue(std::locale::classic());
  int anchor = 0;
  if (file && file >> anchor) {
    mAnchor = anchor;
    return true;
  }
  LogDebug("ChangeLog", "Anchor is not found, create new");
  return UpdateNextAnchor();
}

int CChangeLog::GetAnchor() {
  if (mConf.IdentityGenerated()) {
    mConf.SetIdentityGenerated(false);
    mAnchor = -1;
  }
  return mAnchor;
}

// The anchor only ever counts up; at the top of its range it starts again from 0 rather than
// overflowing.
void CChangeLog::AdvanceAnchor() { mAnchor = mAnchor == INT_MAX ? 0 : mAnchor + 1; }

bool CChangeLog::UpdateNextAnchor() {
  if (WriteFileAtomically(mAnchorPath, std::to_string(mAnchor), 0600)) return true;
  LogDebug("CChangeLog::UpdateNextAnchor", "Cannot write the anchor");
  return false;
}

const CChangeLogEntry* CChangeLog::NextEntry() {
  if (mCursor >= mEntries.size()) return nullptr;
  return &mEntries[mCursor++];
}

bool CChangeLog::CheckUpdate(CDatabaseObject& store, bool full) {
  if (full) store.mSavedItems.Clear();
  return Check(store, false);
}

bool CChangeLog::CheckEverything(CDatabaseObject& store) { return Check(store, true); }

std::vector<std::string> CChangeLog::DropDeletions() {
  std::vector<std::string> keys;
  std::vector<CChangeLogEntry> kept;
  for (const CChangeLogEntry& entry : mEntries) {
    if (entry.type == CChangeLogEntry::DELETED) {
      keys.push_back(entry.key);
      mEntryKeys.erase(entry.key);
    } else {
      kept.push_back(entry);
    }
  }
  mEntries = std::move(kept);
  mDeletedCount = 0;
  mCursor = 0;
  return keys;
}

bool CChangeLog::Check(CDatabaseObject& store, bool everything) {
  Log("Begin");
  mNewCount = mUpdatedCount = mDeletedCount = 0;
  mEntries.clear();
  mEntryKeys.clear();
  mCursor = 0;

  Log("Known items in the index", static_cast<long long>(store.mSavedItems.Count()));
  Log("Current items in the database", static_cast<long long>(store.mCurrentItems.Count()));
  FindUpdatedAndDeleted(store, everything);
  FindNew(store);

  Log("Search is done, rewinding");
  mCursor = 0;
  Log("End");
  return !mEntries.empty();
}

void CChangeLog::FindUpdatedAndDeleted(CDatabaseObject& store, bool everything) {
  Log("Looking for updated/deleted items");
  long long position = 0;
  for (const auto& saved : store.mSavedItems.Items()) {
    Log("Checking item number", ++position);
    const std::string& key = saved->itemId;
    if (key.empty()) {
      Log("Key is", "empty");
      continue;
    }
    Log("Key is", key);
    const CDataItem::Ptr current = store.mCurrentItems.Find(key);
    Log("Search in current list done");
    // An index holding the same key twice still gives one entry for it.
    if (HasEntry(key)) continue;
    if (current) {
      Log("Existing item is found");
      if (everything || IsModified(current->PropertyView(kStampKey), saved->PropertyView(kStampKey))) {
        Append(CChangeLogEntry::UPDATED, key);
        Log("Updated entry found", key);
      }
      continue;
    }
    Log("Existing item is NOT found, checking full list");
    if (store.ItemExists(key)) {
      Log("Existing item is in full list");
      continue;
    }
    Log("Existing item is NOT in full list");
    Append(CChangeLogEntry::DELETED, key);
    Log("Deleted entry found", key);
  }
}

void CChangeLog::FindNew(CDatabaseObject& store) {
  Log("Looking for new items");
  long long position = 0;
  for (const auto& current : store.mCurrentItems.Items()) {
    Log("Checking item number", ++position);
    const std::string& key = current->itemId;
    if (key.empty()) {
      Log("Key is", "empty");
      continue;
    }
    Log("Key is", key);
    const bool inIndex = store.mSavedItems.Contains(key);
    Log("Search in snapshot done");
    if (inIndex || HasEntry(key)) {
      Log("Entry is not new");
      continue;
    }
    Log("Looking up children");
    AddNewChildren(store, key);
    Append(CChangeLogEntry::NEW, key);
    Log("New entry found", key);
  }
}

// Adds the members of the group `parentKey` that are neither in the index nor already entries,
// each after its own new members. The walk is iterative and skips members already on the
// current path, so nested or circular groups can neither recurse without end nor overflow the
// stack. A member already in the entry list had its own members added when it was appended.
void CChangeLog::AddNewChildren(CDatabaseObject& store, const std::string& parentKey) {
  CDataItem::Ptr parent = store.mCurrentItems.Find(parentKey);
  if (!parent || parent->members.empty()) return;
  std::vector<GroupFrame> path{{parent, 0}};
  std::unordered_set<std::string> onPath{parentKey};
  while (!path.empty()) {
    GroupFrame& frame = path.back();
    if (frame.nextMember == frame.group->members.size()) {
      const std::string childKey = frame.group->itemId;
      onPath.erase(childKey);
      path.pop_back();
      if (!path.empty() && !HasEntry(childKey)) {
        Append(CChangeLogEntry::NEW, childKey);
        Log("New child entry found", childKey);
      }
      continue;
    }
    const std::string& memberKey = frame.group->members[frame.nextMember++];
    if (memberKey.empty() || store.mSavedItems.Contains(memberKey) || HasEntry(memberKey) || onPath.count(memberKey)) {
      continue;
    }
    CDataItem::Ptr child = store.mCurrentItems.Find(memberKey);
    if (child) {
      onPath.insert(memberKey);
      path.push_back({std::move(child), 0});
    } else {
      Append(CChangeLogEntry::NEW, memberKey);
      Log("New child entry found", memberKey);
    }
  }
}

bool CChangeLog::IsModified(std::string_view currentStamp, std::string_view savedStamp) const {
  if (mCompareMode != kCompareAsNumbers) return currentStamp != savedStamp;
  // Only a newer time counts; a clock set back must not turn every item into an update.
  return StampSeconds(std::string(currentStamp)) > StampSeconds(std::string(savedStamp));
}

void CChangeLog::Append(int type, const std::string& key) {
  mEntries.push_back({type, key});
  mEntryKeys.insert(key);
  switch (type) {
    case CChangeLogEntry::NEW:
      ++mNewCount;
      break;
    case CChangeLogEntry::UPDATED:
      ++mUpdatedCount;
      break;
    case CChangeLogEntry::DELETED:
      ++mDeletedCount;
      break;
  }
}
