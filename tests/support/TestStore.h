// A complete local store for tests: contacts, groups, events and tasks held in memory (optionally
// mirrored in a folder of files), with controllable change stamps.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/CXException.h"
#include "pim/CDataItem.h"
#include "stores/CDatabaseObject.h"

// Behaves like a real store towards the engine: every item has an identifier the store made, a
// write (local or from the server) gives the item a new change stamp, LoadContent reads the
// selected folder as records with the keys real stores use (PR_ENTRYID,
// PR_LAST_MODIFICATION_TIME, PR_MESSAGE_CLASS and the data keys), calendar folders load only
// the items inside the date window and ItemExists answers for the ones left out.
//
// The store's own items are separate from the records it hands out in mCurrentItems, so a test
// changing the store between runs is seen only by the next LoadContent, as with a real store.
// Server writes bring the item's record in mCurrentItems up to date, as real stores do, so that
// the next run does not send the server's own change back.
//
// Folders: one default folder per data type, plus folders added with AddFolder and selected by
// their two identifiers. Item identifiers are unique in the whole store.
class TestStore : public CDatabaseObject {
 public:
  // Change stamps as the two kinds of real store write them: an OLE date printed with "%.20f"
  // (compared as text), or seconds since 1970 printed with "%lld" (compared as numbers).
  enum class StampForm { OleDateText, UnixSeconds };

  struct Options {
    StampForm stamps = StampForm::OleDateText;
    // When not empty, every item is kept in a file there, and the store starts from those files.
    std::string mirrorFolder;
    // The store's clock at start (seconds since 1970); each write moves it on by one second.
    std::time_t clock = 1767225600;  // 2026-01-01 00:00:00 UTC
  };

  TestStore(CConf& conf, Options options);
  explicit TestStore(CConf& conf) : TestStore(conf, Options{}) {}
  ~TestStore() override;

  // --- What a user does to the local store between runs. Each returns the new identifier, or
  // false when the item is not held. A write gives the item a new stamp.
  std::string AddLocal(int dataType, int kind, std::map<std::string, std::string> properties,
                       std::vector<std::string> members = {});
  std::string AddLocalContact(const std::string& displayName);
  std::string AddLocalGroup(const std::string& displayName, std::vector<std::string> members);
  // `start` and `end` as "%Y%m%d" (all day) or "%Y%m%dT%H%M%SZ".
  std::string AddLocalEvent(const std::string& summary, const std::string& start, const std::string& end);
  std::string AddLocalTask(const std::string& summary, const std::string& due);
  bool EditLocal(const std::string& id, const std::string& key, const std::string& value);
  bool SetLocalMembers(const std::string& groupId, std::vector<std::string> members);
  // A new stamp and nothing else, as when the user saves an item unchanged.
  bool TouchLocal(const std::string& id);
  // Sets the stamp text exactly (case-only changes, clocks set back).
  bool SetLocalStamp(const std::string& id, const std::string& stamp);
  bool DeleteLocal(const std::string& id);

  // --- Inspection. A copy of the held item (null when none), and the identifiers of a data
  // type's default folder in store order.
  CDataItem::Ptr Held(const std::string& id) const;
  std::vector<std::string> HeldIds(int dataType) const;
  size_t HeldCount(int dataType) const { return HeldIds(dataType).size(); }

  // --- Behaviour controls.
  void AddFolder(int dataType, const std::string& entryId, const std::string& storeId);
  // Calendar and task folders load only items whose date ("%Y%m%d" prefix of VC_DTSTART, for
  // tasks VC_DUE first) lies within [firstDay, lastDay]; an empty bound is open.
  void SetDateWindow(const std::string& firstDay, const std::string& lastDay);
  void SetClock(std::time_t seconds) { mClock = seconds; }
  std::time_t Clock() const { return mClock; }
  std::string StampAt(std::time_t seconds) const;
  // A closed store selects no folder and writes nothing.
  void SetOpen(bool open) { mOpen = open; }
  // The next LoadContent fails with `status` (0: loads normally).
  void FailNextLoad(int32_t status) { mFailLoadStatus = status; }
  // While set, every server write fails.
  void FailWrites(bool fail) { mFailWrites = fail; }
  // After `afterWrites` more server writes (add, update, calendar write, delete), every server
  // write throws CAutomationException with `description`, as the Outlook store does when Outlook
  // refuses a call. An empty description stops it.
  void RaiseAutomationErrors(std::string description, int afterWrites = 0) {
    mAutomationError = std::move(description);
    mWritesBeforeAutomationError = afterWrites;
  }

  // --- The store interface.
  bool SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) override;
  StoreContentKind GetContentKind() override;
  bool ItemExists(const std::string& entryId) override;
  int32_t AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                             const std::string& contentType) override;
  int32_t UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                const std::string& contentType, StoreWriteStatus& writeStatus) override;
  int32_t AddCalendarItem(const std::string& vcalendarText, std::string& entryId) override;
  bool RemoveItem(const std::string& entryId) override;

 protected:
  int32_t ReadCurrentFolder() override;

 private:
  struct Folder {
    int dataType = DATA_TYPE_CONTACTS;
    std::string entryId;
    std::string storeId;
    std::vector<std::string> order;
    std::unordered_map<std::string, CDataItem::Ptr> items;
  };

  static std::string FolderKey(int dataType, const std::string& entryId, const std::string& storeId);
  Folder& DefaultFolder(int dataType);
  Folder* FolderOf(const std::string& id);
  const Folder* FolderOf(const std::string& id) const;
  CDataItem::Ptr Find(const std::string& id) const;
  bool IsCalendar(const Folder& folder) const { return folder.dataType != DATA_TYPE_CONTACTS; }
  bool InDateWindow(const CDataItem& item) const;

  std::string NewId();
  std::string NextStamp();
  // Puts a new or rewritten item into `folder` with a fresh stamp; returns its identifier.
  std::string Store(Folder& folder, CDataItem::Ptr item);
  void Erase(const std::string& id);
  // The record of `id` in mCurrentItems gets the held item's content (added when missing).
  void RefreshCurrentRecord(const std::string& id);

  // Server writes, from the card or text to a held item (TestStoreWrites.cpp).
  bool WriteContact(PVCard& card, std::string& id, StoreWriteStatus& writeStatus);
  bool WriteGroup(PVCard& card, std::string& id);
  bool WriteCalendarItem(const std::string& text, std::string& id);

  // Mirror folder (no-ops without one).
  void LoadMirror();
  void MirrorItem(const Folder& folder, const CDataItem& item) const;
  void MirrorErase(const std::string& id) const;
  void MirrorState() const;

  // Throws the automation error set by RaiseAutomationErrors once its writes are used up.
  void ThrowIfAutomationRefuses();

  Options mOptions;
  std::map<std::string, Folder> mFolders;
  Folder* mCurrent = nullptr;
  std::time_t mClock;
  unsigned mNextId = 1;
  std::string mFirstDay;
  std::string mLastDay;
  bool mOpen = true;
  bool mFailWrites = false;
  int32_t mFailLoadStatus = kStoreOk;
  std::string mAutomationError;
  int mWritesBeforeAutomationError = 0;
};

// Writes the index `list` of `configFolder` as an earlier run left it with one item: the link was
// synchronized before (a store's first-synchronization rules no longer apply).
void WriteIndexOfAnEarlierRun(const std::string& configFolder, const std::string& list);

