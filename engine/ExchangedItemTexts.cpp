// The kept item texts of a link in their SQLite file.
#include "engine/ExchangedItemTexts.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <vector>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/StringIds.h"
#include "config/CConf.h"
#include "config/CLog.h"
#include "engine/CSyncLink.h"
#include "pim/CDataItem.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/VCalMerge.h"
#include "pim/VCardMerge.h"

namespace {

constexpr const char* kOperation = "ExchangedItemTexts";

// A prepared statement, finalized on destruction.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &mStatement, nullptr); }
  ~Statement() { sqlite3_finalize(mStatement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  explicit operator bool() const { return mStatement != nullptr; }
  sqlite3_stmt* Get() const { return mStatement; }

 private:
  sqlite3_stmt* mStatement = nullptr;
};

}  // namespace

ExchangedItemTexts::ExchangedItemTexts(const CConf& conf, const CSyncLink& link)
    : ExchangedItemTexts(conf.ConfigFolder() + link.LocalFileName() + kExtension) {}

ExchangedItemTexts::ExchangedItemTexts(std::string path) : mPath(std::move(path)) {}

// Changes not committed are rolled back with the connection: they were never promised.
ExchangedItemTexts::~ExchangedItemTexts() { sqlite3_close_v2(mDb); }

void ExchangedItemTexts::Fail(const std::string& what) const {
  LogError(kOperation, what + " " + mPath + (mDb != nullptr ? std::string(": ") + sqlite3_errmsg(mDb) : std::string()));
  throw CMainException(IDS_CHANGE_LOG_INIT_ERROR);
}

void ExchangedItemTexts::Execute(const char* sql) {
  if (sqlite3_exec(mDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(std::string("Cannot run \"") + sql + "\" on");
}

void ExchangedItemTexts::Open() {
  if (mDb != nullptr) return;
  // Private like the index (the texts are the user's contacts and events); SQLite gives its
  // journal files the database file's mode.
  if (const int made = ::open(mPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); made >= 0) ::close(made);
  if (sqlite3_open_v2(mPath.c_str(), &mDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    Fail("Cannot open");
  }
  sqlite3_busy_timeout(mDb, 5000);
  // Durable at each commit; a write-ahead log makes the commit of each message cheap.
  Execute("PRAGMA journal_mode=WAL");
  Execute("PRAGMA synchronous=FULL");
  Execute("CREATE TABLE IF NOT EXISTS texts (id TEXT PRIMARY KEY NOT NULL, text BLOB NOT NULL)");
  LogDebug(kOperation, "Opened " + mPath);
}

void ExchangedItemTexts::BeginChanges() {
  Open();
  if (mInTransaction) return;
  Execute("BEGIN IMMEDIATE");
  mInTransaction = true;
}

std::optional<std::string> ExchangedItemTexts::Find(const std::string& localId) {
  Open();
  Statement statement(mDb, "SELECT text FROM texts WHERE id = ?1");
  if (!statement) Fail("Cannot read");
  sqlite3_bind_text(statement.Get(), 1, localId.data(), static_cast<int>(localId.size()), SQLITE_STATIC);
  const int step = sqlite3_step(statement.Get());
  if (step == SQLITE_DONE) return std::nullopt;
  if (step != SQLITE_ROW) Fail("Cannot read");
  const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement.Get(), 0));
  const int size = sqlite3_column_bytes(statement.Get(), 0);
  ++mTextsRead;
  return std::string(bytes != nullptr ? bytes : "", static_cast<std::size_t>(size));
}

void ExchangedItemTexts::Put(const std::string& localId, std::string_view text) {
  if (text.size() > kMaxTextBytes) {
    LogError(kOperation, "Text of " + localId + " too long to keep (" + std::to_string(text.size()) + " bytes)");
    Remove(localId);
    return;
  }
  BeginChanges();
  Statement statement(mDb, "INSERT OR REPLACE INTO texts (id, text) VALUES (?1, ?2)");
  if (!statement) Fail("Cannot write");
  sqlite3_bind_text(statement.Get(), 1, localId.data(), static_cast<int>(localId.size()), SQLITE_STATIC);
  sqlite3_bind_blob(statement.Get(), 2, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  if (sqlite3_step(statement.Get()) != SQLITE_DONE) Fail("Cannot write");
}

void ExchangedItemTexts::Remove(const std::string& localId) {
  BeginChanges();
  Statement statement(mDb, "DELETE FROM texts WHERE id = ?1");
  if (!statement) Fail("Cannot write");
  sqlite3_bind_text(statement.Get(), 1, localId.data(), static_cast<int>(localId.size()), SQLITE_STATIC);
  if (sqlite3_step(statement.Get()) != SQLITE_DONE) Fail("Cannot write");
}

void ExchangedItemTexts::Commit() {
  if (!mInTransaction) return;
  Execute("COMMIT");
  mInTransaction = false;
}

void ExchangedItemTexts::KeepOnly(const std::function<bool(const std::string&)>& keep, bool always) {
  if (mDb == nullptr && !always) return;
  Open();
  std::vector<std::string> stale;
  {
    Statement statement(mDb, "SELECT id FROM texts");
    if (!statement) Fail("Cannot read");
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement.Get())) == SQLITE_ROW) {
      const auto* id = reinterpret_cast<const char*>(sqlite3_column_text(statement.Get(), 0));
      std::string localId(id != nullptr ? id : "", static_cast<std::size_t>(sqlite3_column_bytes(statement.Get(), 0)));
      if (!keep(localId)) stale.push_back(std::move(localId));
    }
    if (step != SQLITE_DONE) Fail("Cannot read");
  }
  for (const std::string& id : stale) Remove(id);
  if (!stale.empty()) LogDebug(kOperation, "Texts of items no longer listed removed: " + std::to_string(stale.size()));
  Commit();
}

std::string ExchangedItemTexts::TextToSend(const CDataItem& record, const ItemTextOptions& options) {
  std::optional<std::string> kept = Find(record.itemId);
  if (!kept && record.itemId != SeriesKeyOf(record.itemId)) kept = Find(SeriesKeyOf(record.itemId));
  std::string text;
  if (kept) {
    text = record.kind == ITEM_CONTACT ? MergeContactText(*kept, record) : MergeCalendarText(*kept, record, options);
  } else if (record.kind == ITEM_CONTACT) {
    // A random UID in the form of a UUID (version 4), so that other devices know the contact as one item.
    const unsigned long long high = mUidGenerator(), low = mUidGenerator();
    const std::string uid = FormatText("%08llx-%04llx-4%03llx-%04llx-%012llx",
                                       {high >> 32, (high >> 16) & 0xFFFF, high & 0xFFF, ((low >> 48) & 0x3FFF) | 0x8000,
                                        low & 0xFFFFFFFFFFFFULL});
    text = WithContactUid(record.ToText(options), uid);
  } else {
    text = record.ToText(options);
  }
  Put(record.itemId, text);
  return text;
}
