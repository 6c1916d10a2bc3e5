// A SQLite connection with its prepared statements and transactions, each owned RAII; failures
// become automation errors ("The operation failed." and SQLite's reason).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace outlookmodel {

class SqliteDatabase;

// One prepared statement, finalized on destruction. Owned by its SqliteDatabase's cache.
class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, std::string_view sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Parameters are 1-based, as in the SQL text.
  SqliteStatement& Bind(int index, int64_t value);
  SqliteStatement& Bind(int index, double value);
  SqliteStatement& Bind(int index, std::string_view value);
  SqliteStatement& BindNull(int index);
  // True while a row is available; false when done. Throws on failure.
  bool Step();
  // Ends the current use: the statement no longer holds a read snapshot, bindings are cleared.
  void Reset();

  int ColumnType(int column) const;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_NULL
  int64_t ColumnInt(int column) const;
  double ColumnDouble(int column) const;
  std::string ColumnText(int column) const;

 private:
  sqlite3* mDb;
  sqlite3_stmt* mStatement = nullptr;
};

// A cached statement in use; resets it when the use ends so no snapshot outlives the call.
class StatementUse {
 public:
  explicit StatementUse(SqliteStatement& statement) : mStatement(statement) {}
  ~StatementUse() { mStatement.Reset(); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  SqliteStatement* operator->() { return &mStatement; }
  SqliteStatement& operator*() { return mStatement; }

 private:
  SqliteStatement& mStatement;
};

class SqliteDatabase {
 public:
  // Opens (creating when needed) the database at `path`, waiting up to `busyTimeoutMs` for other
  // connections' locks.
  SqliteDatabase(const std::string& path, int busyTimeoutMs);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  void Execute(std::string_view sql);
  // Steps the one statement `sql` to its end, prepared once: for the statements run over and over.
  void Run(std::string_view sql);
  // A statement prepared once and kept for the life of the connection; wrap each use in StatementUse.
  SqliteStatement& Cached(std::string_view sql);
  StatementUse Use(std::string_view sql) { return StatementUse(Cached(sql)); }
  int64_t LastInsertRowId() const;
  // Changes whenever another connection commits (PRAGMA data_version).
  int64_t DataVersion();
  bool InTransaction() const;

 private:
  sqlite3* mDb = nullptr;
  std::map<std::string, std::unique_ptr<SqliteStatement>, std::less<>> mStatements;
};

// A write transaction (BEGIN IMMEDIATE, waiting for other writers) or a read transaction (one
// consistent snapshot); inside another transaction a write is a savepoint of that one and a read
// is the snapshot already held. Rolled back on destruction unless committed, so an exception in
// the middle of a write leaves nothing of it.
class SqliteTransaction {
 public:
  enum class Mode { Write, Read };
  explicit SqliteTransaction(SqliteDatabase& db, Mode mode = Mode::Write);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;
  void Commit();

 private:
  SqliteDatabase& mDb;
  bool mNested;
  bool mDone;
};

// The error every database failure raises.
[[noreturn]] void ThrowDatabaseError(sqlite3* db, std::string_view what);

}  // namespace outlookmodel
