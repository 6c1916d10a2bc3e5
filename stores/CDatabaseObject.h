// The local store interface: the one way the sync engine reads and changes the user's local items.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "engine/CDataItemList.h"
#include "engine/SyncDataType.h"

class CConf;
class CSyncLink;
class PVCard;

// Results of the store operations that report a status.
inline constexpr int32_t kStoreOk = 0;
inline constexpr int32_t kStoreFail = static_cast<int32_t>(0x80004005u);

// GetContentKind: vCard items, or vCalendar items (events and tasks).
enum StoreContentKind : int { CONTENT_CONTACT = 1, CONTENT_CALENDAR = 2 };
// Write status of UpdateAddressBookItem.
enum StoreWriteStatus : int {
  WRITE_NOTHING = 0,         // nothing could be written
  WRITE_DONE = 1,            // the item was written
  WRITE_NAME_COMPLETED = 2,  // written, and the store completed the display name itself
};
// Content type of a contact group sent by the server; anything else is an ordinary contact.
inline constexpr const char* kGroupContentType = "text/zep-group";

// A modification time (seconds and nanoseconds since 1970) as the text of an item's
// PR_LAST_MODIFICATION_TIME in the store's compare form: whole seconds ("%lld") for the address
// book, else an OLE date with 20 decimals ("%.20f"), the way the object model stamps a saved item.
std::string ModificationStampText(long long seconds, long nanoseconds, bool wholeSeconds);

// The PR_MESSAGE_CLASS of a record of item kind `kind`, as the object model names its items
// ("IPM.Contact", "IPM.DistList", "IPM.Appointment", "IPM.Task").
const char* MessageClassOfKind(int kind);

// One object per sync run, created and used on the worker thread only; it presents one local
// folder at a time as item records keyed by local entry identifier.
//
// Ownership: the store owns both item lists, the identifier map and whatever connection its
// implementation opens (released in the destructor). The configuration is not owned and must
// outlive the store. Records in the lists are shared; removing one from a list releases it.
//
// The base class keeps the contracts every store shares: LoadContent's order (lists and map
// emptied, list paths set, folder read, then the saved index loaded), and the protected
// helpers that implementations call after a write so that the identifier map and both lists
// stay right (NoteItemAdded, NoteItemWritten, NoteItemRemoved).
class CDatabaseObject {
 public:
  explicit CDatabaseObject(CConf& conf);
  virtual ~CDatabaseObject();
  CDatabaseObject(const CDatabaseObject&) = delete;
  CDatabaseObject& operator=(const CDatabaseObject&) = delete;

  // Empties mIdMap and both lists; with a non-empty `listName` points both lists at
  // configuration folder + listName + ".dat" (an empty name keeps the previous paths). Then
  // reads the current folder into mCurrentItems (ReadCurrentFolder) and, when that succeeded,
  // packs its records (CDataItem::Pack) and loads mSavedItems from its file. Returns kStoreOk or the reader's negative status. Throws
  // CDataItemListException (IDS_INDEX_LOAD_ERROR) when the index file cannot be opened.
  virtual int32_t LoadContent(const std::string& listName);
  // Selects the folder later operations work on: by both identifiers when both are non-empty,
  // else the default folder of `dataType`. False when no folder could be selected.
  virtual bool SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) = 0;
  // Selects the local folder of `link`; by default SetCurrentFolder with its data type and folder
  // identifiers. A store whose folders are named otherwise (by the link's local path) overrides it.
  virtual bool SelectFolderOf(const CSyncLink& link);
  // CONTENT_CALENDAR when the current folder holds events or tasks, else CONTENT_CONTACT.
  virtual StoreContentKind GetContentKind() = 0;
  // Whether an item of the saved index that is missing from mCurrentItems still exists in the
  // current folder (left out because it lies outside the sync period): it is then not deleted.
  virtual bool ItemExists(const std::string& entryId) = 0;
  // Creates a contact (a group when `contentType` is kGroupContentType) from `card` and writes
  // its new local identifier to `newEntryId`. The card may be changed (charset conversion).
  virtual int32_t AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                                     const std::string& contentType) = 0;
  // Writes `card` over the item `entryId`; an item that no longer exists is created anew and
  // `entryId` receives its new identifier. `writeStatus` says what was written.
  virtual int32_t UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                        const std::string& contentType, StoreWriteStatus& writeStatus) = 0;
  // Writes one VEVENT or VTODO over the item `entryId`, or creates it when `entryId` names none
  // (then `entryId` receives the new identifier).
  virtual int32_t AddCalendarItem(const std::string& vcalendarText, std::string& entryId) = 0;
  // Deletes the item from the store; true when the item was handled.
  virtual bool RemoveItem(const std::string& entryId) = 0;
  // Makes every write and deletion made so far durable. Called before anything that names the
  // written items leaves for the disk or the server (the index, a message with their Maps), so a
  // power cut never leaves an index that lists an item the store lost. Stores whose writes are
  // durable when they return do nothing. Throws a CXException when the store cannot: the link
  // then fails and keeps its previous index.
  virtual void CommitWrites() {}
  // The text `record` (an item of mCurrentItems) goes to the server as; by default the text the
  // record's keys make (CDataItem::ToText). A store that keeps whole items gives the item's own.
  virtual std::string ItemText(const CDataItem& record, const ItemTextOptions& options) const;
  // Whether ItemText gives each item whole, as the server sent it with the local changes in it: the
  // run then keeps no texts of its own for the store's items.
  virtual bool KeepsWholeItems() const { return false; }

  // The items of the current folder, as read by LoadContent and kept up to date by the writes.
  CDataItemList mCurrentItems;
  // The index saved after the previous successful run of the same link.
  CDataItemList mSavedItems;
  // Server identifier -> the local identifier the store gave the server's item in this run.
  std::unordered_map<std::string, std::string> mIdMap;
  // String id explaining why the store could not be opened or loaded; 0 when none.
  unsigned mInitError = 0;

 protected:
  // Reads every item of the current folder into mCurrentItems (empty on entry); kStoreOk or a
  // negative status.
  virtual int32_t ReadCurrentFolder() = 0;
  // Called by LoadContent when ReadCurrentFolder failed; logs the status as an error.
  virtual void ReportLoadFailure(int32_t status);
  // Whether the folder LoadContent reads is synchronized for the first time: the link's index
  // lists no item yet (set before ReadCurrentFolder runs).
  bool FirstSyncOfLink() const { return mFirstSyncOfLink; }

  // After a server item was created as `newEntryId`: remembers serverId -> newEntryId and drops
  // any record of that identifier from mSavedItems (a reused identifier is not a deletion).
  void NoteItemAdded(const std::string& serverId, const std::string& newEntryId);
  // After a server item was written over `entryId`: remembers serverId -> entryId.
  void NoteItemWritten(const std::string& serverId, const std::string& entryId);
  // After an item was deleted: drops it from mCurrentItems and mSavedItems.
  void NoteItemRemoved(const std::string& entryId);
  // After LoadContent: an item of the index that still exists (ItemExists) but could not be read
  // now keeps its indexed record in mCurrentItems, so that the index saved after the run still
  // lists it: once readable again it is an update or nothing, never a deletion on the server nor a
  // second copy there. `folder` names the folder in the log.
  void KeepUnreadableItems(const std::string& folder);

  CConf& mConf;

 private:
  bool mFirstSyncOfLink = false;
};
