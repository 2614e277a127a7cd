// A thin owner of SQLite connections and statements. Failures raise
// EqdStorageError carrying the result code the client is answered with
// (busy: 10244, disk full or I/O: 15368, corrupt: 15366, cannot open:
// 15361, anything else: 15521).
// Thread rules: a connection and its statements belong to one thread.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/result_codes.h"

namespace qd {

class EqdStorageError : public std::runtime_error {
 public:
  EqdStorageError(TqdResult code, const std::string& what, int sqliteCode = 0)
      : std::runtime_error(what), Code(code), SqliteCode(sqliteCode) {}
  TqdResult Code;
  int SqliteCode;  // the primary SQLite code, 0 when the fault is not SQLite's
};

// The client's code for an SQLite error.
TqdResult ResultForSqliteError(int sqliteCode);

class TqdStatement {
 public:
  TqdStatement(sqlite3* db, std::string_view sql);
  ~TqdStatement();
  TqdStatement(const TqdStatement&) = delete;
  TqdStatement& operator=(const TqdStatement&) = delete;

  TqdStatement& Bind(int i, int64_t value);
  TqdStatement& Bind(int i, std::string_view text);
  TqdStatement& BindBlob(int i, std::span<const uint8_t> bytes);
  // REQUIRES: the bytes stay unchanged until the statement has run.
  TqdStatement& BindBlobInPlace(int i, std::span<const uint8_t> bytes);
  // For table-valued functions; REQUIRES: `pointer` outlives the run.
  TqdStatement& BindPointer(int i, void* pointer, const char* type);
  // True while a row is there; false when done.
  bool Step();
  // Runs a statement that returns no row.
  void Run();
  // The same without clearing the bindings (every one is bound again next).
  void RunOnce();
  void Reset();

  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const;
  std::span<const uint8_t> Blob(int column) const;

 private:
  [[noreturn]] void Fail(int code) const;
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class TqdSqliteDb {
 public:
  // Opens or creates the file, WAL journal, full sync, and waits up to
  // `busyMs` for another connection's write lock.
  TqdSqliteDb(const std::string& path, int busyMs);
  ~TqdSqliteDb();
  TqdSqliteDb(const TqdSqliteDb&) = delete;
  TqdSqliteDb& operator=(const TqdSqliteDb&) = delete;

  void Exec(const std::string& sql);
  TqdStatement Prepare(std::string_view sql) { return TqdStatement(db_, sql); }
  int64_t LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }
  sqlite3* Handle() { return db_; }
  // Lets a long statement stop between rows (for shutdown).
  void Interrupt() { sqlite3_interrupt(db_); }

 private:
  sqlite3* db_ = nullptr;
};

// A write transaction, taken at once (BEGIN IMMEDIATE); rolled back unless
// committed.
class TqdTransaction {
 public:
  explicit TqdTransaction(TqdSqliteDb& db);
  ~TqdTransaction();
  TqdTransaction(const TqdTransaction&) = delete;
  TqdTransaction& operator=(const TqdTransaction&) = delete;
  void Commit();

 private:
  TqdSqliteDb& db_;
  bool open_ = true;
};

}  // namespace qd
