// The last text a link exchanged with the server for each of its items, kept beside its index so
// that an item sent back carries what the local application cannot hold.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "pim/CDataItem.h"

class CConf;
class CSyncLink;
struct sqlite3;

// A SQLite file beside the link's anchor and index files (configuration folder + the link's
// LocalFileName + ".texts"), one text per local identifier: what the server last sent for the
// item, or what the client last sent it.
//
// Nothing is read until a text is needed: a run without changes never opens the file. Changes
// are made in one transaction, which Commit makes durable; the driver commits before each
// message goes out and before the index is saved, so a process killed at any point leaves the
// file as of a commit (at worst it holds a text the index no longer lists, which KeepOnly
// removes, or lacks one the index lists, which the next exchange brings). The file stays bounded:
// a text is at most kMaxTextBytes, and texts of items the index no longer lists are removed.
//
// Failures to open, read or write the file throw CMainException (IDS_CHANGE_LOG_INIT_ERROR), the
// reason logged: the link then fails and keeps its previous index, rather than send items without
// what the server had of them. Used on the worker thread only; not copyable (it owns the
// connection).
class ExchangedItemTexts {
 public:
  static constexpr const char* kExtension = ".texts";
  // The vCard and vCalendar readers' own ceiling: a longer text is no item.
  static constexpr std::size_t kMaxTextBytes = std::size_t{16} << 20;

  ExchangedItemTexts(const CConf& conf, const CSyncLink& link);
  explicit ExchangedItemTexts(std::string path);
  ~ExchangedItemTexts();
  ExchangedItemTexts(const ExchangedItemTexts&) = delete;
  ExchangedItemTexts& operator=(const ExchangedItemTexts&) = delete;

  // The text kept for `localId`, or nullopt.
  std::optional<std::string> Find(const std::string& localId);
  // Keeps `text` for `localId` in place of what was kept; a text longer than kMaxTextBytes is not
  // kept (nor is the earlier one).
  void Put(const std::string& localId, std::string_view text);
  void Remove(const std::string& localId);
  // Makes the changes since the last commit durable; nothing to do when there are none.
  void Commit();
  // The text `record` goes to the server as, kept as the last text exchanged for it: the record
  // merged into the text kept for it (for a changed occurrence without one of its own, its
  // series'); without a kept text the record's own text, a contact with a new UID of its own.
  std::string TextToSend(const CDataItem& record, const ItemTextOptions& options = {});

  // Removes (and commits the removal of) the texts of the items `keep` refuses; reads only the
  // identifiers. Nothing to do when the file was not opened in this object's life and `always` is false.
  void KeepOnly(const std::function<bool(const std::string& localId)>& keep, bool always = false);

  // Texts Find read from the file.
  int TextsRead() const { return mTextsRead; }
  bool Opened() const { return mDb != nullptr; }
  const std::string& Path() const { return mPath; }

 private:
  void Open();
  void BeginChanges();
  void Execute(const char* sql);
  [[noreturn]] void Fail(const std::string& what) const;

  std::string mPath;
  sqlite3* mDb = nullptr;
  bool mInTransaction = false;
  int mTextsRead = 0;
  std::mt19937_64 mUidGenerator{std::random_device{}()};
};
