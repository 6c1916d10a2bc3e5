// The local store over the vdir layout that command-line calendar, contact and task programs
// read and write: one collection folder per link, one file per contact, event or task.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "stores/CDatabaseObject.h"
#include "stores/vdir/VdirCollection.h"

class VdirCalendar;

// The files are the store: every property of an item stays in its file, and an item goes to the
// server as its file says (vCard 3.0, iCalendar 2.0), not as its record.
//
// Collections: a link's client_full_path names its collection folder, relative to the root (the
// configured vdir_path) or absolute; a link without one uses "contacts", "calendar" or "tasks"
// under the root. A collection that does not exist is made (0700) with the "displayname" file
// (the link's local name) and a "color", unless the link's index lists items: then the folder has
// vanished (deleted, a drive not mounted) and the link fails rather than delete every item on the
// server.
//
// Items: "<name>.vcf" a contact or a contact group (X-ADDRESSBOOKSERVER-KIND or KIND "group", its
// members by UID); "<name>.ics" an event (a series with its changed occurrences, each a record
// keyed "<file>/<date of its original start>") or a task, by the link's data type: an events link
// leaves the task files of a shared collection alone and the reverse. A file's records carry its
// name as PR_ENTRYID and its stamp ("<mtime in ns>;<inode>") as PR_LAST_MODIFICATION_TIME. Files
// in vCard 2.1 or 4.0 or vCalendar 1.0 are read, and sent, as vCard 3.0 and iCalendar 2.0; a file
// that cannot be read now is left out but still exists (ItemExists), and keeps its indexed record.
//
// Server writes: converted without loss (VdirCard, VdirCalendar) and written through a ".tmp" file;
// a new item is named after its UID when that is a safe name (a UID is made for an item without
// one), an update keeps the file's name and its UID when the server sent none. A file the user
// changed after the run read it is neither overwritten nor deleted: that server change fails and
// the user's change goes to the server in the next run. CommitWrites flushes the folder.
class VdirStore : public CDatabaseObject {
 public:
  // `root` is the folder of the collections; created (0700) when missing. When it cannot be,
  // mInitError is 308 and nothing can be selected.
  VdirStore(CConf& conf, std::string root);
  ~VdirStore() override;

  // As CDatabaseObject::LoadContent, then keeps the indexed records of item files that could not
  // be read; kStoreFail (and the lists empty) when the current collection is one this store made
  // while the index lists items.
  int32_t LoadContent(const std::string& listName) override;

  // The link's collection (client_full_path), made when missing with the link's local name.
  bool SelectFolderOf(const CSyncLink& link) override;
  // The collection `folderEntryId` names (a path as client_full_path), or with an empty one the
  // default collection of the data type.
  bool SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) override;
  StoreContentKind GetContentKind() override;
  bool ItemExists(const std::string& entryId) override;
  int32_t AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                             const std::string& contentType) override;
  int32_t UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                const std::string& contentType, StoreWriteStatus& writeStatus) override;
  int32_t AddCalendarItem(const std::string& vcalendarText, std::string& entryId) override;
  bool RemoveItem(const std::string& entryId) override;
  void CommitWrites() override;
  // The item's own text: the card, or the calendar with the series (or the changed occurrence)
  // and the time zones it names.
  std::string ItemText(const CDataItem& record, const ItemTextOptions& options) const override;
  bool KeepsWholeItems() const override { return true; }

  // The folder of the current collection ("" when none), ending in "/".
  std::string CurrentFolder() const;
  // The collection a link's path names under `root`: the path itself when absolute ("~/" for the
  // home folder), else root + "/" + path; the default collection of the type for an empty path.
  static std::string CollectionPath(const std::string& root, const std::string& path, int dataType);

 protected:
  int32_t ReadCurrentFolder() override;

 private:
  struct FileRecords;

  bool SelectCollection(int dataType, const std::string& path, const std::string& displayName);
  bool IsCalendar() const { return mDataType != DATA_TYPE_CONTACTS; }
  const char* Extension() const;
  // The records of the item file `name` with `text` and `stamp`; empty when it holds no item of
  // the current collection's kind. Registers its texts and its UID.
  std::vector<CDataItem::Ptr> MakeRecords(const std::string& name, const std::string& text, const std::string& stamp);
  std::vector<CDataItem::Ptr> MakeContactRecords(const std::string& name, const std::string& text);
  std::vector<CDataItem::Ptr> MakeCalendarRecords(const std::string& name, const std::string& text);
  void ResolveGroupMembers();
  void ForgetFile(const std::string& name);
  // Whether `name` may be written or deleted: missing, or as the run last read or wrote it.
  bool IsUnchangedOnDisk(const std::string& name) const;
  // Writes `text` as the file `name` and brings its records in mCurrentItems up to date.
  bool WriteFile(const std::string& name, const std::string& text, const char* operation);
  int32_t WriteContact(PVCard& card, std::string& entryId, const std::string& serverId, const std::string& contentType,
                       const char* operation);
  std::string GroupText(const PVCard& card, const std::string& uid);
  std::string FileOfUid(const std::string& uid) const;
  std::string UidOfFile(const std::string& name) const;
  bool RemoveChangedOccurrence(const std::string& key);

  std::string mRoot;
  int mDataType = DATA_TYPE_CONTACTS;
  std::unique_ptr<VdirCollection> mCollection;
  // Collection folders this store made that no LoadContent has read yet.
  std::vector<std::string> mMadeFolders;
  // Per item file of the current collection: its stamp, UID and the texts of its records by key.
  std::unordered_map<std::string, FileRecords> mFiles;
};
