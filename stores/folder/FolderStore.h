// A local store over folders of item files: one vCard file per contact or contact group, one
// vCalendar file per event or task.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "stores/CDatabaseObject.h"

// A real, durable store without a desktop application behind it: what the program uses when the
// environment variable LARK_FOLDER_STORE names a folder (development, tests, headless runs).
//
// Layout under the root: "contacts", "events" and "tasks" are the default folders of the three
// data types; a link with both folder identifiers uses the sub-folder named by its entry
// identifier (a plain name, no "/"; it must exist). Item files, the file name being the item's
// local identifier: "<name>.vcf" a contact, "<name>.group" a contact group (its vCard, members
// as UID lines naming their files), "<name>.vcs" or "<name>.ics" an event or a task (by the
// folder). Other files are ignored. Files the user adds are picked up as new items. An event
// file may hold a series and its changed occurrences (VEVENTs with RECURRENCE-ID): each changed
// occurrence is a record of its own, its key the file name, "/" and the local date of its original
// start; a changed occurrence the server sends on its own goes into its series' file.
//
// Change stamps are the files' modification times, in the form the link's compare mode reads:
// seconds since 1970 ("%lld") when the local application is Windows Contacts (sync_with_outlook
// 0), else an OLE date printed with "%.20f" (sub-second, compared as text). Writes replace a file
// atomically; a new item gets a new file name made of 16 random hexadecimal digits. A file that
// cannot be read or parsed is left out of mCurrentItems but still exists (ItemExists), so it is
// never reported as a deletion; LoadContent puts its indexed record (if any) into mCurrentItems,
// so that it stays in the index. Each item file is read up to kMaxItemBytes.
//
// An item the server sends as new whose text is byte for byte that of an item file the index
// does not list is written over that file instead of a new one: a session whose end never
// reached the index (the process died) wrote it, and the server sends it again.
//
// A default folder that had to be made while its link's index still lists items has vanished
// (deleted, or a drive not mounted): LoadContent then fails and removes the empty folder again,
// so the link fails rather than report every item as deleted to the server.
class FolderStore : public CDatabaseObject {
 public:
  static constexpr const char* kEnvironmentVariable = "LARK_FOLDER_STORE";
  static constexpr std::size_t kMaxItemBytes = std::size_t{16} << 20;

  // Creates the root and the three default folders (0700) when missing; when that fails
  // mInitError is 308 and nothing can be selected.
  FolderStore(CConf& conf, std::string root);

  // As CDatabaseObject::LoadContent, then keeps the indexed records of item files that could not
  // be read. kStoreFail (and the lists empty) when the current folder is a default folder this
  // object made and the index lists items.
  int32_t LoadContent(const std::string& listName) override;

  bool SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) override;
  StoreContentKind GetContentKind() override;
  bool ItemExists(const std::string& entryId) override;
  int32_t AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                             const std::string& contentType) override;
  int32_t UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                const std::string& contentType, StoreWriteStatus& writeStatus) override;
  int32_t AddCalendarItem(const std::string& vcalendarText, std::string& entryId) override;
  bool RemoveItem(const std::string& entryId) override;

  // The folder selected last ("" when none), ending in "/".
  const std::string& CurrentFolder() const { return mFolder; }
  // The record of an item file as this store reads it (stamp included); null when the file is
  // missing, not an item file of the current folder, or cannot be read.
  CDataItem::Ptr ReadItem(const std::string& entryId) const;

 protected:
  int32_t ReadCurrentFolder() override;

 private:
  bool MakeDefaultFolder(int dataType);
  bool IsVanishedFolder();
  bool IsItemName(const std::string& name) const;
  // An item file's name, or (in a calendar folder) that name, "/" and the eight digits of a
  // changed occurrence's date.
  bool IsItemKey(const std::string& key) const;
  bool IsCalendarFolder() const { return mDataType != DATA_TYPE_CONTACTS; }
  // The path of the file that holds the item `entryId` names.
  std::string PathOf(const std::string& entryId) const { return mFolder + entryId.substr(0, entryId.find('/')); }
  std::optional<std::string> StampOf(const std::string& path) const;
  std::string NewEntryId(const char* extension) const;
  // The records of an item file: one, or for an event file the series and each changed
  // occurrence. Empty when the file cannot be read (`readable` false) or holds no item of the folder.
  // A series' records include the changed occurrences of its UID that other files hold.
  std::vector<CDataItem::Ptr> ReadRecords(const std::string& file, bool* readable = nullptr) const;
  // The records of `file` alone, keyed as those of the series in `series` (changed occurrences
  // only, when that is another file); `uid` receives the UID of a calendar file.
  std::vector<CDataItem::Ptr> ReadFileRecords(const std::string& file, const std::string& series, bool* readable = nullptr,
                                              std::string* uid = nullptr) const;
  void RemoveOccurrenceFiles(const std::string& seriesFile);
  std::vector<CDataItem::Ptr> ParseItem(const std::string& name, const std::string& text) const;
  CDataItem::Ptr BuildContactRecord(PVCard& card, bool group, StoreWriteStatus& writeStatus) const;
  // Writes `record`'s text as `entryId` (a new identifier when `entryId` names no file of the
  // current folder) and brings its record in mCurrentItems up to date. False on failure.
  bool WriteItem(const CDataItem& record, std::string& entryId, const char* newExtension);
  // The same for the records of one file (a series and its changed occurrences): every record of
  // the file in mCurrentItems is brought up to date, and those it no longer holds are removed.
  bool WriteRecords(const std::vector<CDataItem::Ptr>& records, std::string& file, const char* newExtension);
  bool WriteSeries(std::vector<CDataItem::Ptr> records, const std::string& uid, std::string& entryId);
  bool WriteChangedOccurrences(const std::vector<CDataItem::Ptr>& occurrences, const std::string& uid, std::string& entryId);
  // The file of the series with UID `uid`; "" when none is known.
  std::string SeriesFileOfUid(const std::string& uid) const;
  bool RemoveChangedOccurrence(const std::string& key);

  std::string mRoot;
  std::string mFolder;
  int mDataType = DATA_TYPE_CONTACTS;
  // Default folders (ending in "/") that did not exist until this object made them and that no
  // LoadContent has read yet.
  std::vector<std::string> mMadeFolders;
  // The file of each series the server sent in this run, by its UID, for the changed occurrences
  // that follow it as items of their own.
  std::unordered_map<std::string, std::string> mSeriesByUid;
  // Files that hold changed occurrences alone, by the file of their series (the same UID), as
  // the last reading of the folder found them.
  std::unordered_map<std::string, std::vector<std::string>> mOccurrenceFiles;
  mutable std::mt19937_64 mGenerator{std::random_device{}()};
};
