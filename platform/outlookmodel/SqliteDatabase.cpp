// SQLite connection, statements and transactions.
#include "platform/outlookmodel/SqliteDatabase.h"

#include <sqlite3.h>

#include "platform/automation/AutomationError.h"

namespace outlookmodel {

namespace {

constexpr int kMaxValueBytes = 64 << 20;

}  // namespace

void ThrowDatabaseError(sqlite3* db, std::string_view what) {
  std::string reason = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
  throw AutomationError(AutomationCode::kFail, "Outlook",
                        "The operation failed. (" + std::string(what) + ": " + reason + ")");
}

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : mDb(db) {
  if (sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &mStatement,
                         nullptr) != SQLITE_OK) {
    ThrowDatabaseError(db, "prepare");
  }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(mStatement); }

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
  if (sqlite3_bind_int64(mStatement, index, value) != SQLITE_OK) ThrowDatabaseError(mDb, "bind");
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, double value) {
  if (sqlite3_bind_double(mStatement, index, value) != SQLITE_OK) ThrowDatabaseError(mDb, "bind");
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view value) {
  if (sqlite3_bind_text64(mStatement, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK) {
    ThrowDatabaseError(mDb, "bind");
  }
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
  if (sqlite3_bind_null(mStatement, index) != SQLITE_OK) ThrowDatabaseError(mDb, "bind");
  return *this;
}

bool SqliteStatement::Step() {
  const int result = sqlite3_step(mStatement);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  ThrowDatabaseError(mDb, "step");
}

void SqliteStatement::Reset() {
  sqlite3_reset(mStatement);
  sqlite3_clear_bindings(mStatement);
}

int SqliteStatement::ColumnType(int column) const { return sqlite3_column_type(mStatement, column); }
int64_t SqliteStatement::ColumnInt(int column) const { return sqlite3_column_int64(mStatement, column); }
double SqliteStatement::ColumnDouble(int column) const { return sqlite3_column_double(mStatement, column); }

std::string SqliteStatement::ColumnText(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(mStatement, column));
  return text != nullptr ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(mStatement, column))) : std::string();
}

SqliteDatabase::SqliteDatabase(const std::string& path, int busyTimeoutMs) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &mDb, flags, nullptr) != SQLITE_OK) {
    std::string reason = mDb != nullptr ? sqlite3_errmsg(mDb) : "out of memory";
    sqlite3_close(mDb);
    mDb = nullptr;
    throw AutomationError(AutomationCode::kFail, "Outlook", "The operation failed. (open " + path + ": " + reason + ")");
  }
  sqlite3_extended_result_codes(mDb, 1);
  // Ceiling for any text or row read from or written to the file.
  sqlite3_limit(mDb, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
  sqlite3_busy_timeout(mDb, busyTimeoutMs);
}

SqliteDatabase::~SqliteDatabase() {
  mStatements.clear();  // statements must be finalized before the connection closes
  sqlite3_close(mDb);
}

void SqliteDatabase::Execute(std::string_view sql) {
  const std::string text(sql);
  if (sqlite3_exec(mDb, text.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) ThrowDatabaseError(mDb, "execute");
}

void SqliteDatabase::Run(std::string_view sql) {
  StatementUse statement = Use(sql);
  while (statement->Step()) {
  }
}

SqliteStatement& SqliteDatabase::Cached(std::string_view sql) {
  auto found = mStatements.find(sql);
  if (found == mStatements.end()) {
    found = mStatements.emplace(std::string(sql), std::make_unique<SqliteStatement>(mDb, sql)).first;
  }
  return *found->second;
}

int64_t SqliteDatabase::LastInsertRowId() const { return sqlite3_last_insert_rowid(mDb); }

int64_t SqliteDatabase::DataVersion() {
  StatementUse query = Use("PRAGMA data_version");
  return query->Step() ? query->ColumnInt(0) : 0;
}

bool SqliteDatabase::InTransaction() const { return sqlite3_get_autocommit(mDb) == 0; }

SqliteTransaction::SqliteTransaction(SqliteDatabase& db, Mode mode)
    : mDb(db), mNested(db.InTransaction()), mDone(mNested && mode == Mode::Read) {
  if (mDone) return;
  mDb.Run(mNested ? "SAVEPOINT nested" : mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
  if (mDone) return;
  try {
    if (mNested) {
      mDb.Run("ROLLBACK TO nested");
      mDb.Run("RELEASE nested");
    } else {
      mDb.Run("ROLLBACK");
    }
  } catch (const AutomationError&) {
    // The transaction is gone already (SQLite rolls back by itself after some failures).
  }
}

void SqliteTransaction::Commit() {
  if (mDone) return;
  mDb.Run(mNested ? "RELEASE nested" : "COMMIT");
  mDone = true;
}

}  // namespace outlookmodel
