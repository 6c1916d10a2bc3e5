// The address book on disk: one SQLite file (WAL journal, busy time-out) holding the book's
// identity, its containers and their entries with properties of any identifier. Every change is
// one transaction, so a process killed while writing leaves each entry as it was or as it became.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/wab/store/EntryId.h"
#include "platform/wab/store/PropertyValue.h"
#include "platform/wab/store/Sqlite.h"

struct EntryRef {
  std::int64_t id;
  ULONG objectType;  // MAPI_MAILUSER or MAPI_DISTLIST
};

struct StoredEntry {
  std::int64_t id = 0;
  std::int64_t container = 0;
  ULONG objectType = 0;
  LONGLONG created = 0;   // file times
  LONGLONG modified = 0;
  PropertyMap properties;
};

// Shared by every object of one WABOpen; thread-safe (calls are serialized). Failures throw
// WabFailure with the MAPI result code.
class WabDatabase {
 public:
  // Largest contents table; a bigger container fails with MAPI_E_TOO_BIG.
  static constexpr std::size_t kMaxEntries = 1000000;

  // Opens the book at `path`, creating the file (mode 0600) and its tables when missing.
  // MAPI_E_CORRUPT_DATA for a file that is not an address book, MAPI_E_VERSION for a newer one.
  explicit WabDatabase(const std::string& path);

  const BookUid& Uid() const { return mUid; }
  // The personal address book container, if the book names one.
  std::optional<std::int64_t> PersonalContainer();
  // The container's display name; nullopt when there is no such container.
  std::optional<std::string> ContainerName(std::int64_t container);
  // The container's entries sorted by display name (then creation).
  std::vector<EntryRef> ListEntries(std::int64_t container);
  std::optional<StoredEntry> LoadEntry(std::int64_t id);
  // Writes a new entry; returns it with identifier and times. MAPI_E_OBJECT_DELETED when the
  // container is gone.
  StoredEntry InsertEntry(std::int64_t container, ULONG objectType, const PropertyMap& properties);
  // Replaces an entry's properties; returns its new modification time, which is at least one
  // second after the previous one. nullopt when the entry no longer exists.
  std::optional<LONGLONG> UpdateEntry(std::int64_t id, const PropertyMap& properties);
  // Deletes those of `entries` that are in `container` with that object type; returns how many.
  std::size_t DeleteEntries(std::int64_t container, const std::vector<EntryRef>& entries);

 private:
  void Configure();
  void CreateSchemaIfNew();
  void ReadIdentity();
  void InsertProperties(std::int64_t id, const PropertyMap& properties);
  PropertyMap LoadProperties(std::int64_t id);

  std::mutex mMutex;
  SqliteConnection mConnection;
  BookUid mUid{};
};

// Now as a file time (100 ns units since 1601-01-01 UTC).
LONGLONG FileTimeNow();
