// The change log of one link run: local additions, updates and deletions since the last
// successful run, and the link's sync anchor kept in its ".anc" file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class CConf;
class CDatabaseObject;

// One detected change: the item's local identifier and what happened to it.
struct CChangeLogEntry {
  enum Type : int { NEW = 0, UPDATED = 1, DELETED = 2 };

  int type = NEW;
  std::string key;

  bool operator==(const CChangeLogEntry&) const = default;
};

// Created by the sync driver for one link run, used on the worker thread only. Owns its entries
// (they live until the next CheckUpdate or the change log's end). The configuration is not
// owned and must outlive the change log.
class CChangeLog {
 public:
  // Compare modes: stamps as decimal seconds, or (any other value) as exact text.
  static constexpr int kCompareAsNumbers = 0;

  explicit CChangeLog(CConf& conf);
  CChangeLog(const CChangeLog&) = delete;
  CChangeLog& operator=(const CChangeLog&) = delete;

  // Sets the compare mode and the anchor file (configuration folder + fileBaseName + ".anc") and
  // reads the anchor from it. A missing or unreadable file starts again at anchor 0 and is
  // written; false only when that write fails.
  bool InitAnchor(int compareMode, const std::string& fileBaseName);

  // Compares the store's mCurrentItems with its index mSavedItems (emptied first when `full`):
  // the entries become the updated and deleted items in index order, then the new items in
  // current-list order, each new group preceded by its new members (deepest first); no key
  // twice, no empty key. Asks the store's ItemExists before reporting a deletion. Returns
  // whether any entry was found; the cursor is set to the first entry.
  bool CheckUpdate(CDatabaseObject& store, bool full);
  // For a slow sync the server forced on a link that has an index: every current item becomes an
  // entry (those the index holds as updates, so they go out under the identifiers the server
  // knows), and the items deleted since the last run stay deletions; same order as CheckUpdate.
  bool CheckEverything(CDatabaseObject& store);
  // Takes the deletions out of the last check's entries (they are not sent); their keys, in order.
  // The cursor is set to the first entry.
  std::vector<std::string> DropDeletions();
  // The anchor a resumed session starts from: the Next anchor its interrupted predecessor sent.
  void ResumeFrom(int anchor) { mAnchor = anchor; }

  // The anchor for a new session: -1 once after the configuration generated a new client store
  // identity (the flag is cleared), else the anchor read or advanced.
  int GetAnchor();
  // After a successful session: the next anchor, then its writing. The file is replaced in one
  // step, so a failed write leaves the previous anchor; false (and a log line) on failure.
  void AdvanceAnchor();
  bool UpdateNextAnchor();

  // The entries of the last check, in order, and a cursor over them: NextEntry returns the entry
  // at the cursor and advances, null past the end. Rewind sets the cursor to the first entry.
  const std::vector<CChangeLogEntry>& Entries() const { return mEntries; }
  const CChangeLogEntry* NextEntry();
  void Rewind() { mCursor = 0; }

  int NewCount() const { return mNewCount; }
  int UpdatedCount() const { return mUpdatedCount; }
  int DeletedCount() const { return mDeletedCount; }
  int TotalCount() const { return mNewCount + mUpdatedCount + mDeletedCount; }

  int Anchor() const { return mAnchor; }
  int CompareMode() const { return mCompareMode; }
  const std::string& AnchorPath() const { return mAnchorPath; }

 private:
  bool Check(CDatabaseObject& store, bool everything);
  void FindUpdatedAndDeleted(CDatabaseObject& store, bool everything);
  void FindNew(CDatabaseObject& store);
  void AddNewChildren(CDatabaseObject& store, const std::string& parentKey);
  bool IsModified(std::string_view currentStamp, std::string_view savedStamp) const;
  void Append(int type, const std::string& key);
  bool HasEntry(const std::string& key) const { return mEntryKeys.count(key) != 0; }

  CConf& mConf;
  std::vector<CChangeLogEntry> mEntries;
  // Keys of mEntries, for the "no key twice" rule without scanning the entries.
  std::unordered_set<std::string> mEntryKeys;
  size_t mCursor = 0;
  int mAnchor = 0;
  int mCompareMode = kCompareAsNumbers;
  std::string mAnchorPath;
  int mNewCount = 0;
  int mUpdatedCount = 0;
  int mDeletedCount = 0;
};
