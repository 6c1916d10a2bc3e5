// An ordered list of shared item records with its per-link index file (".dat").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pim/CDataItem.h"

// Ordered sequence of CDataItem::Ptr. The list holds one reference per entry; a record may sit
// in several lists at once and lives while any holder keeps it.
//
// Keyed look-ups (Find, Remove) act on the first record, in list order, whose itemId equals the
// key exactly; they go through a hash index rather than a scan. The index is built from itemId
// when a record is added, so a record's itemId must not change while a list holds it (remove the
// record, change it, add it again).
//
// Index file: the record count, then per record its itemId and its properties (kind and members
// are not kept), in the archive format of the program's earlier releases, strings as UTF-16LE;
// SaveFile replaces the file atomically. Not thread-safe; one iteration (First/Next) at a time.
class CDataItemList {
 public:
  // Files larger than this are refused by LoadFile (an index of 50,000 contacts is a few MB).
  static constexpr size_t kMaxFileBytes = size_t(256) << 20;

  CDataItemList() = default;
  CDataItemList(const CDataItemList&) = delete;
  CDataItemList& operator=(const CDataItemList&) = delete;

  // Path = folder + baseName + ".dat"; set only when both are non-empty, else left as it was.
  // `folder` ends with a path separator.
  void SetPath(const std::string& folder, const std::string& baseName);
  const std::string& Path() const { return mPath; }

  // Empties the list and reads the index file in pieces, creating it empty when it is missing. A
  // zero-length, truncated or damaged file leaves the list empty without an error. Throws
  // CDataItemListException (IDS_INDEX_LOAD_ERROR), the list left empty, when the file cannot be
  // created or read, or is larger than kMaxFileBytes.
  void LoadFile();
  // Writes every record to the index file, replacing it in one step: on failure the previous
  // file is left as it was and CDataItemListException (IDS_INDEX_SAVE_ERROR) is thrown.
  void SaveFile() const;

  // Whether the index file at `path` lists at least one record; reads only the count at its start
  // (a missing, empty or unreadable file lists none).
  static bool FileListsRecords(const std::string& path);

  // The file form of the list, and its reading: Deserialize replaces the content and returns
  // false (list empty) when `bytes` are truncated or damaged. Empty bytes are an empty list.
  std::string Serialize() const;
  bool Deserialize(std::string_view bytes);

  // First record whose itemId is `key` (case-sensitive), or null.
  CDataItem::Ptr Find(const std::string& key) const;
  bool Contains(const std::string& key) const { return mFirstByKey.count(key) != 0; }

  // Iteration: First sets the position to 0 and returns the record there; Next advances and
  // returns the record there; both return null past the end. Removing records shifts positions.
  CDataItem::Ptr First();
  CDataItem::Ptr Next();

  // Appends a reference to `item` (not null).
  void Add(CDataItem::Ptr item);
  // Removes the first record with itemId `key`, if any; returns whether one was removed.
  bool Remove(const std::string& key);
  // Puts `item` (not null) in the place of the first record with itemId `item->itemId`, or at the
  // end when there is none.
  void Put(CDataItem::Ptr item);
  void Clear();
  // Makes room for `count` records without growing the list.
  void Reserve(size_t count) { mItems.reserve(count); }
  // Packs every record's properties (CDataItem::Pack). Call when nothing holds references into
  // the records' values: a list that is only compared and saved from then on stays small.
  void PackRecords();

  size_t Count() const { return mItems.size(); }
  bool Empty() const { return mItems.empty(); }
  // Read access in list order without touching the iteration position.
  const std::vector<CDataItem::Ptr>& Items() const { return mItems; }

 private:
  void IndexFrom(size_t position, const std::string& key);

  std::string mPath;
  std::vector<CDataItem::Ptr> mItems;
  // itemId -> the first record with that key.
  std::unordered_map<std::string, CDataItem::Ptr> mFirstByKey;
  size_t mPosition = 0;
};
