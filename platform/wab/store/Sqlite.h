// Owning wrappers over the SQLite C interface for the address book's database, with SQLite's
// result codes turned into MAPI result codes (thrown as WabFailure).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One database connection; not thread-safe by itself (the owner serializes calls).
class SqliteConnection {
 public:
  // Opens an existing file read-write (the caller creates it); throws WabFailure.
  explicit SqliteConnection(const std::string& path);
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  sqlite3* Handle() const { return mDb; }
  // Runs statements that return nothing of interest; throws WabFailure.
  void Exec(const char* sql);
  std::int64_t LastInsertRowId() const;
  int Changes() const;

 private:
  friend class SqliteStatement;
  // A prepared statement of `sql`, from those given back or newly prepared; throws WabFailure.
  sqlite3_stmt* Take(std::string_view sql);
  // Takes back a statement of `sql` for the next Take, reset and without bindings.
  void GiveBack(const std::string& sql, sqlite3_stmt* statement);

  sqlite3* mDb = nullptr;
  // Statements are prepared once per connection: parsing the SQL cost more than running it.
  std::unordered_map<std::string, std::vector<sqlite3_stmt*>> mIdle;
};

class SqliteStatement {
 public:
  SqliteStatement(SqliteConnection& connection, std::string_view sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  SqliteStatement& Bind(int index, std::int64_t value);
  SqliteStatement& BindText(int index, std::string_view text);
  SqliteStatement& BindBlob(int index, const void* data, std::size_t size);
  // Steps once: true when a row is there to read, false when the statement is done.
  bool Step();
  // Steps to the end.
  void Run();
  void Reset();

  int ColumnType(int column) const;  // SQLITE_INTEGER, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL, ...
  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  // The column's bytes, valid until the next Step, Reset or destruction.
  std::pair<const std::uint8_t*, std::size_t> Blob(int column) const;

 private:
  SqliteConnection* mConnection;
  std::string mSql;
  sqlite3_stmt* mStatement = nullptr;
};

// A transaction committed by Commit() and rolled back when left without it (an exception).
class SqliteTransaction {
 public:
  enum class Mode { Read, Write };  // Write takes the write lock at once (BEGIN IMMEDIATE)
  SqliteTransaction(SqliteConnection& connection, Mode mode);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;

  void Commit();

 private:
  SqliteConnection& mConnection;
  bool mOpen = true;
};
