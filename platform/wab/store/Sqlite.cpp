// SQLite calls with every failure mapped to the MAPI code the address book's callers understand.
#include "platform/wab/store/Sqlite.h"

#include <sqlite3.h>

#include "platform/wab/store/WabFailure.h"

namespace {

HRESULT MapiCodeOf(int sqliteCode) {
  switch (sqliteCode & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return MAPI_E_BUSY;
    case SQLITE_NOMEM:
      return MAPI_E_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
      return MAPI_E_NOT_ENOUGH_DISK;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return MAPI_E_CORRUPT_DATA;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return MAPI_E_NO_ACCESS;
    case SQLITE_IOERR:
      return MAPI_E_DISK_ERROR;
    case SQLITE_TOOBIG:
      return MAPI_E_TOO_BIG;
    default:
      return MAPI_E_CALL_FAILED;
  }
}

void Check(int code) {
  if (code != SQLITE_OK) throw WabFailure(MapiCodeOf(code));
}

constexpr int kBusyTimeoutMs = 5000;

}  // namespace

SqliteConnection::SqliteConnection(const std::string& path) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  const int code = sqlite3_open_v2(path.c_str(), &mDb, flags, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_close(mDb);  // a handle is returned even on failure
    mDb = nullptr;
    throw WabFailure(MapiCodeOf(code));
  }
  sqlite3_extended_result_codes(mDb, 0);
  sqlite3_busy_timeout(mDb, kBusyTimeoutMs);
}

SqliteConnection::~SqliteConnection() {
  for (auto& [sql, statements] : mIdle) {
    for (sqlite3_stmt* statement : statements) sqlite3_finalize(statement);
  }
  sqlite3_close(mDb);
}

sqlite3_stmt* SqliteConnection::Take(std::string_view sql) {
  const auto idle = mIdle.find(std::string(sql));
  if (idle != mIdle.end() && !idle->second.empty()) {
    sqlite3_stmt* statement = idle->second.back();
    idle->second.pop_back();
    return statement;
  }
  sqlite3_stmt* statement = nullptr;
  Check(sqlite3_prepare_v3(mDb, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr));
  return statement;
}

void SqliteConnection::GiveBack(const std::string& sql, sqlite3_stmt* statement) {
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  mIdle[sql].push_back(statement);
}

void SqliteConnection::Exec(const char* sql) {
  Check(sqlite3_exec(mDb, sql, nullptr, nullptr, nullptr));
}

std::int64_t SqliteConnection::LastInsertRowId() const {
  return sqlite3_last_insert_rowid(mDb);
}

int SqliteConnection::Changes() const {
  return sqlite3_changes(mDb);
}

SqliteStatement::SqliteStatement(SqliteConnection& connection, std::string_view sql)
    : mConnection(&connection), mSql(sql), mStatement(connection.Take(sql)) {}

SqliteStatement::~SqliteStatement() {
  if (mStatement != nullptr) mConnection->GiveBack(mSql, mStatement);
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(mStatement, index, value));
  return *this;
}

SqliteStatement& SqliteStatement::BindText(int index, std::string_view text) {
  Check(sqlite3_bind_text64(mStatement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
  return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, const void* data, std::size_t size) {
  static const char kEmpty = 0;  // a null pointer would bind NULL instead of an empty blob
  Check(sqlite3_bind_blob64(mStatement, index, size == 0 ? &kEmpty : data, size, SQLITE_TRANSIENT));
  return *this;
}

bool SqliteStatement::Step() {
  const int code = sqlite3_step(mStatement);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  sqlite3_reset(mStatement);
  throw WabFailure(MapiCodeOf(code));
}

void SqliteStatement::Run() {
  while (Step()) {
  }
}

void SqliteStatement::Reset() {
  sqlite3_reset(mStatement);
  sqlite3_clear_bindings(mStatement);
}

int SqliteStatement::ColumnType(int column) const {
  return sqlite3_column_type(mStatement, column);
}

std::int64_t SqliteStatement::Int(int column) const {
  return sqlite3_column_int64(mStatement, column);
}

std::string SqliteStatement::Text(int column) const {
  const auto* text = sqlite3_column_text(mStatement, column);
  const int size = sqlite3_column_bytes(mStatement, column);
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::pair<const std::uint8_t*, std::size_t> SqliteStatement::Blob(int column) const {
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(mStatement, column));
  const int size = sqlite3_column_bytes(mStatement, column);
  return {data, data == nullptr ? 0 : static_cast<std::size_t>(size)};
}

SqliteTransaction::SqliteTransaction(SqliteConnection& connection, Mode mode) : mConnection(connection) {
  mConnection.Exec(mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
  if (mOpen) sqlite3_exec(mConnection.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::Commit() {
  mConnection.Exec("COMMIT");
  mOpen = false;
}
