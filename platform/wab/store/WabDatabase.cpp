// Schema, transactions and the mapping of property values to SQLite columns.
#include "platform/wab/store/WabDatabase.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <type_traits>
#include <unistd.h>

#include "platform/wab/store/WabFailure.h"

namespace {

constexpr int kSchemaVersion = 1;
constexpr LONGLONG kFileTimeOfUnixEpoch = 116444736000000000LL;
constexpr LONGLONG kOneSecond = 10000000LL;

constexpr const char* kSchema = R"sql(
CREATE TABLE book_info(key TEXT PRIMARY KEY, value NOT NULL);
CREATE TABLE containers(id INTEGER PRIMARY KEY, name TEXT NOT NULL);
CREATE TABLE entries(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  container INTEGER NOT NULL REFERENCES containers(id) ON DELETE CASCADE,
  object_type INTEGER NOT NULL,
  created INTEGER NOT NULL,
  modified INTEGER NOT NULL);
CREATE INDEX entries_by_container ON entries(container);
CREATE TABLE props(
  entry INTEGER NOT NULL REFERENCES entries(id) ON DELETE CASCADE,
  prop_id INTEGER NOT NULL,
  prop_type INTEGER NOT NULL,
  value NOT NULL,
  PRIMARY KEY(entry, prop_id)) WITHOUT ROWID;
INSERT INTO containers(id, name) VALUES(1, 'Contacts');
INSERT INTO book_info(key, value) VALUES('pab', 1);
PRAGMA user_version = 1;
)sql";

// Creates the file with owner-only access before SQLite sees it: contacts are private.
void CreateFileIfMissing(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::close(fd);
    return;
  }
  switch (errno) {
    case ENOENT:
    case ENOTDIR:
      throw WabFailure(MAPI_E_NOT_FOUND);
    case ENOSPC:
      throw WabFailure(MAPI_E_NOT_ENOUGH_DISK);
    default:
      throw WabFailure(MAPI_E_NO_ACCESS);
  }
}

BookUid NewBookUid() {
  std::random_device device;
  BookUid uid;
  for (BYTE& byte : uid) byte = static_cast<BYTE>(device());
  return uid;
}

void BindValue(SqliteStatement& statement, int index, const PropertyValue& value) {
  std::visit(
      [&](const auto& data) {
        using T = std::decay_t<decltype(data)>;
        if constexpr (std::is_same_v<T, LONG> || std::is_same_v<T, bool> || std::is_same_v<T, LONGLONG>) {
          statement.Bind(index, static_cast<std::int64_t>(data));
        } else if constexpr (std::is_same_v<T, std::string>) {
          statement.BindText(index, data);
        } else if constexpr (std::is_same_v<T, Bytes>) {
          statement.BindBlob(index, data.data(), data.size());
        } else {
          const Bytes array = EncodeArray(value);
          statement.BindBlob(index, array.data(), array.size());
        }
      },
      value.data);
}

// Reads column `column` as a value of `type`; anything else in the file is corrupt data.
PropertyValue ReadValue(const SqliteStatement& row, int column, ULONG type) {
  const int columnType = row.ColumnType(column);
  const auto expect = [&](int wanted) {
    if (columnType != wanted) throw WabFailure(MAPI_E_CORRUPT_DATA);
  };
  PropertyValue value;
  switch (type) {
    case PT_LONG:
      expect(SQLITE_INTEGER);
      value.data = static_cast<LONG>(row.Int(column));
      break;
    case PT_BOOLEAN:
      expect(SQLITE_INTEGER);
      value.data = row.Int(column) != 0;
      break;
    case PT_SYSTIME:
      expect(SQLITE_INTEGER);
      value.data = static_cast<LONGLONG>(row.Int(column));
      break;
    case PT_UNICODE: {
      expect(SQLITE_TEXT);
      std::string text = row.Text(column);
      if (text.size() > kMaxValueBytes) throw WabFailure(MAPI_E_CORRUPT_DATA);
      value.data = std::move(text);
      break;
    }
    case PT_BINARY: {
      expect(SQLITE_BLOB);
      const auto [data, size] = row.Blob(column);
      if (size > kMaxValueBytes) throw WabFailure(MAPI_E_CORRUPT_DATA);
      value.data = Bytes(data, data + size);
      break;
    }
    case PT_MV_LONG:
    case PT_MV_UNICODE:
    case PT_MV_BINARY: {
      expect(SQLITE_BLOB);
      const auto [data, size] = row.Blob(column);
      value = DecodeArray(type, data, size);
      break;
    }
    default:
      throw WabFailure(MAPI_E_CORRUPT_DATA);
  }
  return value;
}

}  // namespace

LONGLONG FileTimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return kFileTimeOfUnixEpoch + static_cast<LONGLONG>(now.tv_sec) * kOneSecond + now.tv_nsec / 100;
}

WabDatabase::WabDatabase(const std::string& path)
    : mConnection((CreateFileIfMissing(path), path)) {
  Configure();
  CreateSchemaIfNew();
  ReadIdentity();
}

void WabDatabase::Configure() {
  // WAL lets readers in other processes go on while one writes; FULL makes every commit durable.
  SqliteStatement journal(mConnection, "PRAGMA journal_mode=WAL");
  if (!journal.Step() || journal.Text(0) != "wal") throw WabFailure(MAPI_E_NO_ACCESS);
  mConnection.Exec("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
}

void WabDatabase::CreateSchemaIfNew() {
  SqliteTransaction transaction(mConnection, SqliteTransaction::Mode::Write);
  SqliteStatement version(mConnection, "PRAGMA user_version");
  version.Step();
  const std::int64_t current = version.Int(0);
  if (current > kSchemaVersion) throw WabFailure(MAPI_E_VERSION);
  if (current == kSchemaVersion) return;  // the transaction only guarded the check
  SqliteStatement tables(mConnection, "SELECT count(*) FROM sqlite_master");
  tables.Step();
  if (tables.Int(0) != 0) throw WabFailure(MAPI_E_CORRUPT_DATA);  // some other program's database
  mConnection.Exec(kSchema);
  const BookUid uid = NewBookUid();
  SqliteStatement(mConnection, "INSERT INTO book_info(key, value) VALUES('uid', ?)").BindBlob(1, uid.data(), uid.size()).Run();
  transaction.Commit();
}

void WabDatabase::ReadIdentity() {
  SqliteStatement query(mConnection, "SELECT value FROM book_info WHERE key = 'uid'");
  if (!query.Step() || query.ColumnType(0) != SQLITE_BLOB) throw WabFailure(MAPI_E_CORRUPT_DATA);
  const auto [data, size] = query.Blob(0);
  if (size != mUid.size()) throw WabFailure(MAPI_E_CORRUPT_DATA);
  std::copy(data, data + size, mUid.begin());
}

std::optional<std::int64_t> WabDatabase::PersonalContainer() {
  std::lock_guard lock(mMutex);
  SqliteStatement query(mConnection, "SELECT value FROM book_info WHERE key = 'pab'");
  if (!query.Step() || query.ColumnType(0) != SQLITE_INTEGER) return std::nullopt;
  return query.Int(0);
}

std::optional<std::string> WabDatabase::ContainerName(std::int64_t container) {
  std::lock_guard lock(mMutex);
  SqliteStatement query(mConnection, "SELECT name FROM containers WHERE id = ?");
  query.Bind(1, container);
  if (!query.Step()) return std::nullopt;
  return query.Text(0);
}

std::vector<EntryRef> WabDatabase::ListEntries(std::int64_t container) {
  std::lock_guard lock(mMutex);
  SqliteStatement query(mConnection,
                        "SELECT e.id, e.object_type FROM entries e"
                        " LEFT JOIN props p ON p.entry = e.id AND p.prop_id = ?"
                        " WHERE e.container = ? ORDER BY p.value COLLATE NOCASE, e.id");
  query.Bind(1, PROP_ID(PR_DISPLAY_NAME)).Bind(2, container);
  std::vector<EntryRef> entries;
  while (query.Step()) {
    if (entries.size() == kMaxEntries) throw WabFailure(MAPI_E_TOO_BIG);
    entries.push_back({query.Int(0), static_cast<ULONG>(query.Int(1))});
  }
  return entries;
}

std::optional<StoredEntry> WabDatabase::LoadEntry(std::int64_t id) {
  std::lock_guard lock(mMutex);
  SqliteTransaction snapshot(mConnection, SqliteTransaction::Mode::Read);
  SqliteStatement query(mConnection, "SELECT container, object_type, created, modified FROM entries WHERE id = ?");
  query.Bind(1, id);
  if (!query.Step()) return std::nullopt;
  StoredEntry entry;
  entry.id = id;
  entry.container = query.Int(0);
  entry.objectType = static_cast<ULONG>(query.Int(1));
  entry.created = query.Int(2);
  entry.modified = query.Int(3);
  entry.properties = LoadProperties(id);
  snapshot.Commit();
  return entry;
}

PropertyMap WabDatabase::LoadProperties(std::int64_t id) {
  SqliteStatement query(mConnection, "SELECT prop_id, prop_type, value FROM props WHERE entry = ?");
  query.Bind(1, id);
  PropertyMap properties;
  while (query.Step()) {
    if (properties.size() == kMaxProperties) throw WabFailure(MAPI_E_CORRUPT_DATA);
    const auto propId = static_cast<ULONG>(query.Int(0));
    const auto type = static_cast<ULONG>(query.Int(1));
    if (StoredTypeOf(type) != type) throw WabFailure(MAPI_E_CORRUPT_DATA);
    properties.emplace(propId, ReadValue(query, 2, type));
  }
  return properties;
}

void WabDatabase::InsertProperties(std::int64_t id, const PropertyMap& properties) {
  SqliteStatement insert(mConnection, "INSERT INTO props(entry, prop_id, prop_type, value) VALUES(?, ?, ?, ?)");
  for (const auto& [propId, value] : properties) {
    insert.Reset();
    insert.Bind(1, id).Bind(2, propId).Bind(3, value.Type());
    BindValue(insert, 4, value);
    insert.Run();
  }
}

StoredEntry WabDatabase::InsertEntry(std::int64_t container, ULONG objectType, const PropertyMap& properties) {
  std::lock_guard lock(mMutex);
  SqliteTransaction transaction(mConnection, SqliteTransaction::Mode::Write);
  SqliteStatement exists(mConnection, "SELECT 1 FROM containers WHERE id = ?");
  exists.Bind(1, container);
  if (!exists.Step()) throw WabFailure(MAPI_E_OBJECT_DELETED);
  StoredEntry entry;
  entry.container = container;
  entry.objectType = objectType;
  entry.created = entry.modified = FileTimeNow();
  SqliteStatement(mConnection, "INSERT INTO entries(container, object_type, created, modified) VALUES(?, ?, ?, ?)")
      .Bind(1, container)
      .Bind(2, objectType)
      .Bind(3, entry.created)
      .Bind(4, entry.modified)
      .Run();
  entry.id = mConnection.LastInsertRowId();
  InsertProperties(entry.id, properties);
  transaction.Commit();
  entry.properties = properties;
  return entry;
}

std::optional<LONGLONG> WabDatabase::UpdateEntry(std::int64_t id, const PropertyMap& properties) {
  std::lock_guard lock(mMutex);
  SqliteTransaction transaction(mConnection, SqliteTransaction::Mode::Write);
  SqliteStatement previous(mConnection, "SELECT modified FROM entries WHERE id = ?");
  previous.Bind(1, id);
  if (!previous.Step()) return std::nullopt;
  // A whole second forward at least: readers that compare stamps in seconds see every save.
  const LONGLONG modified = std::max(FileTimeNow(), previous.Int(0) + kOneSecond);
  SqliteStatement(mConnection, "UPDATE entries SET modified = ? WHERE id = ?").Bind(1, modified).Bind(2, id).Run();
  SqliteStatement(mConnection, "DELETE FROM props WHERE entry = ?").Bind(1, id).Run();
  InsertProperties(id, properties);
  transaction.Commit();
  return modified;
}

std::size_t WabDatabase::DeleteEntries(std::int64_t container, const std::vector<EntryRef>& entries) {
  std::lock_guard lock(mMutex);
  SqliteTransaction transaction(mConnection, SqliteTransaction::Mode::Write);
  SqliteStatement remove(mConnection, "DELETE FROM entries WHERE id = ? AND container = ? AND object_type = ?");
  std::size_t deleted = 0;
  for (const EntryRef& entry : entries) {
    remove.Reset();
    remove.Bind(1, entry.id).Bind(2, container).Bind(3, entry.objectType).Run();
    deleted += static_cast<std::size_t>(mConnection.Changes());
  }
  transaction.Commit();
  return deleted;
}
