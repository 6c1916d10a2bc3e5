// The profile database: schema, stores, folders and items.
#include "platform/outlookmodel/ProfileStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <tuple>

#include "platform/automation/AutomationError.h"
#include "platform/automation/OutlookDispIds.h"
#include "platform/outlookmodel/ModelTime_p.h"
#include "platform/zoneinfo/SystemTimeZone.h"

namespace outlookmodel {

namespace {

constexpr int kBusyTimeoutMs = 10000;
// 1: every date the machine's wall clock; 2: timed appointment dates are instants (UTC), each
// appointment has a zone, a series remembers an end given as a count.
constexpr int kSchemaVersion = 2;
// The type column of a date property that holds a UTC instant.
constexpr int64_t kInstantType = 100;
constexpr double kOneMillisecond = 1.0 / 86400000.0;

constexpr const char* kSchema = R"sql(
CREATE TABLE profile(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE stores(id INTEGER PRIMARY KEY AUTOINCREMENT, uid TEXT NOT NULL UNIQUE, name TEXT NOT NULL);
CREATE TABLE folders(id INTEGER PRIMARY KEY AUTOINCREMENT, entry_id TEXT UNIQUE,
  store INTEGER NOT NULL REFERENCES stores(id), parent INTEGER REFERENCES folders(id),
  name TEXT NOT NULL, item_type INTEGER NOT NULL, default_kind INTEGER NOT NULL DEFAULT 0);
CREATE INDEX folders_parent ON folders(parent);
CREATE TABLE items(id INTEGER PRIMARY KEY AUTOINCREMENT, entry_id TEXT UNIQUE,
  folder INTEGER NOT NULL REFERENCES folders(id), message_class TEXT NOT NULL,
  created REAL NOT NULL, last_modified REAL NOT NULL);
CREATE INDEX items_folder ON items(folder);
CREATE TABLE item_props(item INTEGER NOT NULL REFERENCES items(id), part INTEGER NOT NULL,
  name TEXT NOT NULL, type INTEGER NOT NULL, value, PRIMARY KEY(item, part, name)) WITHOUT ROWID;
CREATE TABLE recipients(item INTEGER NOT NULL REFERENCES items(id), part INTEGER NOT NULL,
  position INTEGER NOT NULL, name TEXT NOT NULL, address TEXT NOT NULL, entry_id TEXT NOT NULL,
  type INTEGER NOT NULL, response INTEGER NOT NULL, PRIMARY KEY(item, part, position)) WITHOUT ROWID;
CREATE TABLE recurrences(item INTEGER PRIMARY KEY REFERENCES items(id), type INTEGER NOT NULL,
  interval INTEGER NOT NULL, day_of_week_mask INTEGER NOT NULL, day_of_month INTEGER NOT NULL,
  month_of_year INTEGER NOT NULL, instance INTEGER NOT NULL, pattern_start REAL NOT NULL,
  pattern_end REAL NOT NULL, no_end INTEGER NOT NULL, occurrences INTEGER NOT NULL DEFAULT 0);
CREATE TABLE exceptions(item INTEGER NOT NULL REFERENCES items(id), part INTEGER NOT NULL,
  original_date REAL NOT NULL, deleted INTEGER NOT NULL, PRIMARY KEY(item, part)) WITHOUT ROWID;
)sql";

constexpr const char* kFolderColumns =
    "SELECT f.id, f.entry_id, f.store, s.uid, f.parent, f.name, f.item_type, f.default_kind "
    "FROM folders f JOIN stores s ON s.id = f.store ";

[[noreturn]] void ThrowProfileError(uint32_t code, const std::string& description) {
  throw AutomationError(code, "Outlook", description);
}

std::string Hex32(int64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

std::string StoreIdOf(const std::string& uid) { return "00000000" + uid + "00000000"; }
std::string FolderEntryId(const std::string& uid, int64_t id) { return "00000000" + uid + "01" + Hex32(id); }
std::string ItemEntryId(const std::string& uid, int64_t id) { return "00000000" + uid + "02" + Hex32(id); }

// 16 random bytes as 32 upper-case hex digits.
std::string NewUid() {
  std::random_device device;
  std::string uid;
  for (int i = 0; i < 4; ++i) uid += Hex32(static_cast<int64_t>(device()));
  return uid;
}

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

FolderRecord ReadFolder(SqliteStatement& row) {
  FolderRecord folder;
  folder.id = row.ColumnInt(0);
  folder.entryId = row.ColumnText(1);
  folder.store = row.ColumnInt(2);
  folder.storeId = StoreIdOf(row.ColumnText(3));
  folder.parent = row.ColumnInt(4);
  folder.name = row.ColumnText(5);
  folder.itemType = static_cast<int32_t>(row.ColumnInt(6));
  folder.defaultKind = static_cast<int32_t>(row.ColumnInt(7));
  return folder;
}

void BindVariant(SqliteStatement& statement, int index, const Variant& value) {
  switch (value.Type()) {
    case VariantType::Bool:
    case VariantType::Int32: statement.Bind(index, static_cast<int64_t>(value.ToInt())); break;
    case VariantType::Double:
    case VariantType::Date: statement.Bind(index, value.ToDouble()); break;
    case VariantType::String: statement.Bind(index, value.ToString()); break;
    case VariantType::Empty:
    case VariantType::Missing:
    case VariantType::Dispatch:
    case VariantType::Error: statement.BindNull(index); break;
  }
}

Variant ReadVariant(SqliteStatement& row, int typeColumn, int valueColumn) {
  switch (static_cast<VariantType>(row.ColumnInt(typeColumn))) {
    case VariantType::Bool: return Variant(row.ColumnInt(valueColumn) != 0);
    case VariantType::Int32: return Variant(static_cast<int32_t>(row.ColumnInt(valueColumn)));
    case VariantType::Double: return Variant(row.ColumnDouble(valueColumn));
    case VariantType::Date: return Variant::Date(row.ColumnDouble(valueColumn));
    case VariantType::String: return Variant(row.ColumnText(valueColumn));
    case VariantType::Empty:
    case VariantType::Missing:
    case VariantType::Dispatch:
    case VariantType::Error: break;
  }
  return Variant();
}

void MakeParentFolder(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return;
  const std::string folder = path.substr(0, slash);
  MakeParentFolder(folder);
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    ThrowProfileError(AutomationCode::kFail, "The operation failed. (cannot create " + folder + ": " + std::strerror(errno) + ")");
  }
}

// The profile may hold private data: a new file is created readable by its owner only.
void CreateProfileFile(const std::string& path) {
  MakeParentFolder(path);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) return user->pw_dir;
  return ".";
}

std::string LoginName() {
  if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_name != nullptr) return user->pw_name;
  if (const char* name = std::getenv("USER"); name != nullptr) return name;
  return "user";
}

}  // namespace

ProfileStore::ProfileStore(const std::string& path) : mDb((CreateProfileFile(path), path), kBusyTimeoutMs) {
  // Switching to WAL needs a moment alone with the file; another process opening the same new
  // profile at once may hold it briefly.
  for (int attempt = 0;; ++attempt) {
    try {
      mDb.Execute("PRAGMA journal_mode=WAL");
      break;
    } catch (const AutomationError&) {
      if (attempt == 50) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  // Saves are committed to the write-ahead log without waiting for the disk: a killed process
  // loses nothing, a power cut at most the saves since the last MakeDurable (never the file).
  mDb.Execute("PRAGMA synchronous=NORMAL");
  mDb.Execute("PRAGMA foreign_keys=ON");
  CreateSchema();
}

std::string ProfileStore::DefaultPath() {
  if (const char* path = std::getenv("LARK_OUTLOOKMODEL_PROFILE"); path != nullptr && *path != '\0') return path;
  const char* data = std::getenv("XDG_DATA_HOME");
  const std::string base = data != nullptr && data[0] == '/' ? data : HomeFolder() + "/.local/share";
  return base + "/outlookmodel/profile.db";
}

void ProfileStore::CreateSchema() {
  SqliteTransaction transaction(mDb);
  int64_t version = 0;
  {
    StatementUse query = mDb.Use("PRAGMA user_version");
    if (query->Step()) version = query->ColumnInt(0);
  }
  if (version >= kSchemaVersion) return;
  if (version == 0) {
    mDb.Execute(kSchema);
    SetCurrentUser({LoginName(), ""});
    CreateDefaultStore();
  } else {
    mDb.Execute("ALTER TABLE recurrences ADD COLUMN occurrences INTEGER NOT NULL DEFAULT 0");
    ConvertToInstants();
  }
  mDb.Execute("PRAGMA user_version=" + std::to_string(kSchemaVersion));
  transaction.Commit();
}

// Schema 1 kept every appointment time as the machine's wall clock: timed ones become the instants
// they were in the machine's zone, which each appointment keeps as its zone (its series' days and
// times were that zone's). Exceptions keep their original dates, which are that zone's wall clock.
void ProfileStore::ConvertToInstants() {
  const std::string zone = MachineZoneId();
  std::vector<std::pair<int64_t, bool>> appointments;  // item, all-day
  {
    StatementUse query = mDb.Use(
        "SELECT i.id, COALESCE((SELECT p.value FROM item_props p WHERE p.item = i.id AND p.part = 0 AND "
        "p.name = 'AllDayEvent'), 0) FROM items i WHERE i.message_class LIKE 'IPM.Appointment%'");
    while (query->Step()) appointments.emplace_back(query->ColumnInt(0), query->ColumnInt(1) != 0);
  }
  StatementUse dates = mDb.Use(
      "SELECT part, name, value FROM item_props WHERE item = ? AND name IN ('Start', 'End') AND type = ?");
  StatementUse update = mDb.Use("UPDATE item_props SET type = ?, value = ? WHERE item = ? AND part = ? AND name = ?");
  StatementUse addZone = mDb.Use(
      "INSERT OR REPLACE INTO item_props(item, part, name, type, value) VALUES(?, 0, 'StartTimeZone', ?, ?)");
  for (const auto& [item, allDay] : appointments) {
    addZone->Bind(1, item).Bind(2, static_cast<int64_t>(VariantType::String)).Bind(3, zone);
    addZone->Step();
    addZone->Reset();
    if (allDay) continue;
    std::vector<std::tuple<int64_t, std::string, double>> found;
    dates->Bind(1, item).Bind(2, static_cast<int64_t>(VariantType::Date));
    while (dates->Step()) found.emplace_back(dates->ColumnInt(0), dates->ColumnText(1), dates->ColumnDouble(2));
    dates->Reset();
    for (const auto& [part, name, local] : found) {
      update->Bind(1, kInstantType).Bind(2, UtcDateOfLocal(local)).Bind(3, item).Bind(4, part).Bind(5, name);
      update->Step();
      update->Reset();
    }
  }
}

void ProfileStore::CreateDefaultStore() {
  const StoreRecord store = AddStore("Personal Folders");
  const std::string uid = store.storeId.substr(8, 32);
  InsertFolder(store.id, uid, store.rootFolder, "Inbox", olMailItem, olFolderInbox);
  InsertFolder(store.id, uid, store.rootFolder, "Calendar", olAppointmentItem, olFolderCalendar);
  InsertFolder(store.id, uid, store.rootFolder, "Contacts", olContactItem, olFolderContacts);
  InsertFolder(store.id, uid, store.rootFolder, "Tasks", olTaskItem, olFolderTasks);
}

std::vector<StoreRecord> ProfileStore::Stores() {
  std::vector<StoreRecord> stores;
  StatementUse query = mDb.Use(
      "SELECT s.id, s.uid, s.name, f.id FROM stores s JOIN folders f ON f.store = s.id AND f.parent IS NULL ORDER BY s.id");
  while (query->Step()) {
    stores.push_back({query->ColumnInt(0), StoreIdOf(query->ColumnText(1)), query->ColumnText(2), query->ColumnInt(3)});
  }
  return stores;
}

StoreRecord ProfileStore::AddStore(const std::string& name) {
  SqliteTransaction transaction(mDb);
  const std::string uid = NewUid();
  {
    StatementUse insert = mDb.Use("INSERT INTO stores(uid, name) VALUES(?, ?)");
    insert->Bind(1, uid).Bind(2, name);
    insert->Step();
  }
  StoreRecord store{mDb.LastInsertRowId(), StoreIdOf(uid), name, 0};
  store.rootFolder = InsertFolder(store.id, uid, 0, name, olMailItem, 0).id;
  transaction.Commit();
  ++mLocalChanges;
  return store;
}

FolderRecord ProfileStore::InsertFolder(int64_t store, const std::string& uid, int64_t parent, const std::string& name,
                                        int32_t itemType, int32_t defaultKind) {
  {
    StatementUse insert =
        mDb.Use("INSERT INTO folders(store, parent, name, item_type, default_kind) VALUES(?, ?, ?, ?, ?)");
    insert->Bind(1, store);
    if (parent != 0) {
      insert->Bind(2, parent);
    } else {
      insert->BindNull(2);
    }
    insert->Bind(3, name).Bind(4, static_cast<int64_t>(itemType)).Bind(5, static_cast<int64_t>(defaultKind));
    insert->Step();
  }
  const int64_t id = mDb.LastInsertRowId();
  {
    StatementUse update = mDb.Use("UPDATE folders SET entry_id = ? WHERE id = ?");
    update->Bind(1, FolderEntryId(uid, id)).Bind(2, id);
    update->Step();
  }
  return {id, FolderEntryId(uid, id), store, StoreIdOf(uid), parent, name, itemType, defaultKind};
}

std::optional<FolderRecord> ProfileStore::FolderById(int64_t id) {
  StatementUse query = mDb.Use(std::string(kFolderColumns) + "WHERE f.id = ?");
  query->Bind(1, id);
  if (!query->Step()) return std::nullopt;
  return ReadFolder(*query);
}

std::optional<FolderRecord> ProfileStore::FolderByEntryId(const std::string& entryId) {
  StatementUse query = mDb.Use(std::string(kFolderColumns) + "WHERE f.entry_id = ?");
  query->Bind(1, UpperCase(entryId));
  if (!query->Step()) return std::nullopt;
  return ReadFolder(*query);
}

std::vector<FolderRecord> ProfileStore::ChildFolders(int64_t parent) {
  std::vector<FolderRecord> folders;
  if (parent == 0) {
    StatementUse query = mDb.Use(std::string(kFolderColumns) + "WHERE f.parent IS NULL ORDER BY f.id");
    while (query->Step()) folders.push_back(ReadFolder(*query));
  } else {
    StatementUse query = mDb.Use(std::string(kFolderColumns) + "WHERE f.parent = ? ORDER BY f.id");
    query->Bind(1, parent);
    while (query->Step()) folders.push_back(ReadFolder(*query));
  }
  return folders;
}

std::optional<FolderRecord> ProfileStore::DefaultFolder(int32_t kind) {
  StatementUse query = mDb.Use(std::string(kFolderColumns) + "WHERE f.default_kind = ? ORDER BY f.store, f.id LIMIT 1");
  query->Bind(1, static_cast<int64_t>(kind));
  if (!query->Step()) return std::nullopt;
  return ReadFolder(*query);
}

FolderRecord ProfileStore::AddFolder(int64_t parent, const std::string& name, int32_t itemType) {
  SqliteTransaction transaction(mDb);
  const std::optional<FolderRecord> parentFolder = FolderById(parent);
  if (!parentFolder) ThrowProfileError(AutomationCode::kNotFound, "The operation failed. An object could not be found.");
  for (const FolderRecord& sibling : ChildFolders(parent)) {
    if (sibling.name == name) {
      ThrowProfileError(AutomationCode::kFail, "Cannot create the folder. A folder named \"" + name + "\" already exists.");
    }
  }
  FolderRecord folder = InsertFolder(parentFolder->store, StoreUidOfFolder(parent), parent, name, itemType, 0);
  transaction.Commit();
  ++mLocalChanges;
  return folder;
}

std::string ProfileStore::StoreUidOfFolder(int64_t folder) {
  StatementUse query = mDb.Use("SELECT s.uid FROM folders f JOIN stores s ON s.id = f.store WHERE f.id = ?");
  query->Bind(1, folder);
  if (!query->Step()) ThrowProfileError(AutomationCode::kNotFound, "The operation failed. An object could not be found.");
  return query->ColumnText(0);
}

std::vector<int64_t> ProfileStore::ItemIds(int64_t folder) {
  std::vector<int64_t> ids;
  StatementUse query = mDb.Use("SELECT id FROM items WHERE folder = ? ORDER BY id");
  query->Bind(1, folder);
  while (query->Step()) ids.push_back(query->ColumnInt(0));
  return ids;
}

std::optional<int64_t> ProfileStore::FindItem(const std::string& entryId) {
  StatementUse query = mDb.Use("SELECT id FROM items WHERE entry_id = ?");
  query->Bind(1, UpperCase(entryId));
  if (!query->Step()) return std::nullopt;
  return query->ColumnInt(0);
}

std::optional<ItemRecord> ProfileStore::LoadItem(int64_t id) {
  // One read transaction, so the item's rows come from one committed state.
  SqliteTransaction read(mDb, SqliteTransaction::Mode::Read);
  ItemRecord item;
  {
    StatementUse query = mDb.Use("SELECT entry_id, folder, message_class, created, last_modified FROM items WHERE id = ?");
    query->Bind(1, id);
    if (!query->Step()) return std::nullopt;
    item.id = id;
    item.entryId = query->ColumnText(0);
    item.folder = query->ColumnInt(1);
    item.messageClass = query->ColumnText(2);
    item.created = query->ColumnDouble(3);
    item.lastModified = query->ColumnDouble(4);
  }
  item.props = LoadProps(id, 0, item.instants);
  item.recipients = LoadRecipients(id, 0);
  LoadRecurrence(item);
  return item;
}

PropertyMap ProfileStore::LoadProps(int64_t item, int64_t part, InstantNames& instants) {
  PropertyMap props;
  StatementUse query = mDb.Use("SELECT name, type, value FROM item_props WHERE item = ? AND part = ?");
  query->Bind(1, item).Bind(2, part);
  while (query->Step()) {
    if (query->ColumnInt(1) == kInstantType) {
      props.emplace(query->ColumnText(0), Variant::Date(query->ColumnDouble(2)));
      instants.insert(query->ColumnText(0));
    } else {
      props.emplace(query->ColumnText(0), ReadVariant(*query, 1, 2));
    }
  }
  return props;
}

std::vector<RecipientData> ProfileStore::LoadRecipients(int64_t item, int64_t part) {
  std::vector<RecipientData> recipients;
  StatementUse query = mDb.Use(
      "SELECT name, address, entry_id, type, response FROM recipients WHERE item = ? AND part = ? ORDER BY position");
  query->Bind(1, item).Bind(2, part);
  while (query->Step()) {
    recipients.push_back({query->ColumnText(0), query->ColumnText(1), query->ColumnText(2),
                          static_cast<int32_t>(query->ColumnInt(3)), static_cast<int32_t>(query->ColumnInt(4))});
  }
  return recipients;
}

void ProfileStore::LoadRecurrence(ItemRecord& item) {
  {
    StatementUse query = mDb.Use(
        "SELECT type, interval, day_of_week_mask, day_of_month, month_of_year, instance, pattern_start, pattern_end, "
        "no_end, occurrences FROM recurrences WHERE item = ?");
    query->Bind(1, item.id);
    if (!query->Step()) return;
    RecurrenceRule rule;
    rule.type = static_cast<int32_t>(query->ColumnInt(0));
    rule.interval = static_cast<int32_t>(query->ColumnInt(1));
    rule.dayOfWeekMask = static_cast<int32_t>(query->ColumnInt(2));
    rule.dayOfMonth = static_cast<int32_t>(query->ColumnInt(3));
    rule.monthOfYear = static_cast<int32_t>(query->ColumnInt(4));
    rule.instance = static_cast<int32_t>(query->ColumnInt(5));
    rule.patternStart = query->ColumnDouble(6);
    rule.patternEnd = query->ColumnDouble(7);
    rule.noEndDate = query->ColumnInt(8) != 0;
    rule.occurrences = static_cast<int32_t>(query->ColumnInt(9));
    item.recurrence = RecurrenceData{rule, {}};
  }
  std::vector<std::pair<int64_t, ExceptionData>> parts;
  {
    StatementUse query =
        mDb.Use("SELECT part, original_date, deleted FROM exceptions WHERE item = ? ORDER BY original_date");
    query->Bind(1, item.id);
    while (query->Step()) {
      ExceptionData exception;
      exception.originalDate = query->ColumnDouble(1);
      exception.deleted = query->ColumnInt(2) != 0;
      parts.emplace_back(query->ColumnInt(0), std::move(exception));
    }
  }
  for (auto& [part, exception] : parts) {
    exception.props = LoadProps(item.id, part, exception.instants);
    exception.recipients = LoadRecipients(item.id, part);
    item.recurrence->exceptions.push_back(std::move(exception));
  }
}

void ProfileStore::SaveItem(ItemRecord& item, double loadedStamp) {
  SqliteTransaction transaction(mDb);
  double stamp = DateNow();
  int64_t id = item.id;
  std::string entryId = item.entryId;
  double created = item.created;
  if (id == 0) {
    created = stamp;
    {
      StatementUse insert =
          mDb.Use("INSERT INTO items(folder, message_class, created, last_modified) VALUES(?, ?, ?, ?)");
      insert->Bind(1, item.folder).Bind(2, item.messageClass).Bind(3, stamp).Bind(4, stamp);
      insert->Step();
    }
    id = mDb.LastInsertRowId();
    entryId = ItemEntryId(StoreUidOfFolder(item.folder), id);
    StatementUse update = mDb.Use("UPDATE items SET entry_id = ? WHERE id = ?");
    update->Bind(1, entryId).Bind(2, id);
    update->Step();
  } else {
    {
      StatementUse query = mDb.Use("SELECT last_modified FROM items WHERE id = ?");
      query->Bind(1, id);
      if (!query->Step()) ThrowProfileError(AutomationCode::kObjectDeleted, "The item has been moved or deleted.");
      const double stored = query->ColumnDouble(0);
      if (stored != loadedStamp) {
        ThrowProfileError(AutomationCode::kObjectChanged,
                          "The item could not be saved because it was changed by another user or in another window.");
      }
      if (stamp <= stored) stamp = stored + kOneMillisecond;
    }
    StatementUse update = mDb.Use("UPDATE items SET message_class = ?, last_modified = ? WHERE id = ?");
    update->Bind(1, item.messageClass).Bind(2, stamp).Bind(3, id);
    update->Step();
    DeleteChildren(id);
  }
  ItemRecord written = item;
  written.id = id;
  WriteChildren(written);
  transaction.Commit();
  ++mLocalChanges;
  item.id = id;
  item.entryId = entryId;
  item.created = created;
  item.lastModified = stamp;
}

void ProfileStore::WriteChildren(const ItemRecord& item) {
  WriteProps(item.id, 0, item.props, item.instants);
  WriteRecipients(item.id, 0, item.recipients);
  if (!item.recurrence) return;
  const RecurrenceRule& rule = item.recurrence->rule;
  {
    StatementUse insert = mDb.Use(
        "INSERT INTO recurrences(item, type, interval, day_of_week_mask, day_of_month, month_of_year, instance, "
        "pattern_start, pattern_end, no_end, occurrences) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert->Bind(1, item.id).Bind(2, static_cast<int64_t>(rule.type)).Bind(3, static_cast<int64_t>(rule.interval));
    insert->Bind(4, static_cast<int64_t>(rule.dayOfWeekMask)).Bind(5, static_cast<int64_t>(rule.dayOfMonth));
    insert->Bind(6, static_cast<int64_t>(rule.monthOfYear)).Bind(7, static_cast<int64_t>(rule.instance));
    insert->Bind(8, rule.patternStart).Bind(9, rule.patternEnd).Bind(10, static_cast<int64_t>(rule.noEndDate ? 1 : 0));
    insert->Bind(11, static_cast<int64_t>(rule.occurrences));
    insert->Step();
  }
  int64_t part = 0;
  for (const ExceptionData& exception : item.recurrence->exceptions) {
    ++part;
    {
      StatementUse insert = mDb.Use("INSERT INTO exceptions(item, part, original_date, deleted) VALUES(?, ?, ?, ?)");
      insert->Bind(1, item.id).Bind(2, part).Bind(3, exception.originalDate);
      insert->Bind(4, static_cast<int64_t>(exception.deleted ? 1 : 0));
      insert->Step();
    }
    WriteProps(item.id, part, exception.props, exception.instants);
    WriteRecipients(item.id, part, exception.recipients);
  }
}

void ProfileStore::WriteProps(int64_t item, int64_t part, const PropertyMap& props, const InstantNames& instants) {
  StatementUse insert = mDb.Use("INSERT INTO item_props(item, part, name, type, value) VALUES(?, ?, ?, ?, ?)");
  for (const auto& [name, value] : props) {
    const bool instant = value.Type() == VariantType::Date && instants.count(name) != 0;
    insert->Bind(1, item).Bind(2, part).Bind(3, name).Bind(4, instant ? kInstantType : static_cast<int64_t>(value.Type()));
    BindVariant(*insert, 5, value);
    insert->Step();
    insert->Reset();
  }
}

void ProfileStore::WriteRecipients(int64_t item, int64_t part, const std::vector<RecipientData>& recipients) {
  StatementUse insert = mDb.Use(
      "INSERT INTO recipients(item, part, position, name, address, entry_id, type, response) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
  int64_t position = 0;
  for (const RecipientData& recipient : recipients) {
    insert->Bind(1, item).Bind(2, part).Bind(3, ++position).Bind(4, recipient.name).Bind(5, recipient.address);
    insert->Bind(6, recipient.entryId).Bind(7, static_cast<int64_t>(recipient.type));
    insert->Bind(8, static_cast<int64_t>(recipient.responseStatus));
    insert->Step();
    insert->Reset();
  }
}

void ProfileStore::DeleteChildren(int64_t item) {
  for (const char* sql : {"DELETE FROM item_props WHERE item = ?", "DELETE FROM recipients WHERE item = ?",
                          "DELETE FROM recurrences WHERE item = ?", "DELETE FROM exceptions WHERE item = ?"}) {
    StatementUse erase = mDb.Use(sql);
    erase->Bind(1, item);
    erase->Step();
  }
}

void ProfileStore::DeleteItem(int64_t id) {
  SqliteTransaction transaction(mDb);
  DeleteChildren(id);
  StatementUse erase = mDb.Use("DELETE FROM items WHERE id = ?");
  erase->Bind(1, id);
  erase->Step();
  transaction.Commit();
  ++mLocalChanges;
}

std::optional<ContactMatch> ProfileStore::FindContact(int64_t store, int64_t folder, const std::string& name) {
  std::optional<int64_t> found;
  for (const char* property : {"FileAs", "Email1Address"}) {
    StatementUse query = mDb.Use(
        "SELECT i.id FROM items i JOIN folders f ON f.id = i.folder "
        "JOIN item_props p ON p.item = i.id AND p.part = 0 AND p.name = ? "
        "WHERE f.store = ? AND i.message_class LIKE 'IPM.Contact%' AND p.value = ? "
        "ORDER BY i.folder = ? DESC, i.id LIMIT 1");
    query->Bind(1, std::string_view(property)).Bind(2, store).Bind(3, name).Bind(4, folder);
    if (query->Step()) {
      found = query->ColumnInt(0);
      break;
    }
  }
  if (!found) return std::nullopt;
  const std::optional<ItemRecord> contact = LoadItem(*found);
  if (!contact) return std::nullopt;
  const auto text = [&](const char* property) {
    const auto value = contact->props.find(property);
    return value != contact->props.end() ? value->second.ToString() : std::string();
  };
  return ContactMatch{contact->entryId, text("FileAs"), text("Email1Address")};
}

UserIdentity ProfileStore::CurrentUser() {
  UserIdentity user;
  StatementUse query = mDb.Use("SELECT key, value FROM profile WHERE key IN ('user_name', 'user_address')");
  while (query->Step()) {
    (query->ColumnText(0) == "user_name" ? user.name : user.address) = query->ColumnText(1);
  }
  return user;
}

void ProfileStore::SetCurrentUser(const UserIdentity& user) {
  StatementUse upsert = mDb.Use("INSERT OR REPLACE INTO profile(key, value) VALUES(?, ?)");
  upsert->Bind(1, std::string_view("user_name")).Bind(2, user.name);
  upsert->Step();
  upsert->Reset();
  upsert->Bind(1, std::string_view("user_address")).Bind(2, user.address);
  upsert->Step();
  ++mLocalChanges;
}

std::pair<int64_t, int64_t> ProfileStore::ChangeStamp() { return {mDb.DataVersion(), mLocalChanges}; }

// One commit with a full sync of the log: flushing the log file flushes every commit before it.
void ProfileStore::MakeDurable() {
  if (mDurableChanges == mLocalChanges) return;
  mDb.Execute("PRAGMA synchronous=FULL");
  try {
    SqliteTransaction transaction(mDb);
    StatementUse mark = mDb.Use("INSERT OR REPLACE INTO profile(key, value) VALUES('durable_mark', ?)");
    mark->Bind(1, std::to_string(mLocalChanges));
    mark->Step();
    transaction.Commit();
  } catch (...) {
    mDb.Execute("PRAGMA synchronous=NORMAL");
    throw;
  }
  mDb.Execute("PRAGMA synchronous=NORMAL");
  mDurableChanges = mLocalChanges;
}

}  // namespace outlookmodel
