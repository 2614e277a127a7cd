// A thin owner of SQLite connections and statements. Failures raise
// EqdStorageError carrying the result code the client is answered with
// (ResultForSqliteError).
// A connection never follows a symbolic link to its file, creates its file
// only when asked to, and, opened with a stop signal, gives up its busy
// waits and running statements when the signal is stopped.
// Thread rules: a connection and its statements belong to one thread; only
// the stop signal reaches a connection from another thread.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/result_codes.h"
#include "server/stop_signal.h"

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

// How long a request waits for another writer of the same file.
inline constexpr int kRequestBusyMs = 30000;
// A write-ahead log is cut back to this size whenever it starts over, and
// to nothing when the file's last connection closes.
inline constexpr int64_t kWalKeepBytes = 4 << 20;

enum class TqdOpenMode : uint8_t { Existing, CreateIfMissing };

struct TqdOpenOptions {
  TqdOpenMode Mode = TqdOpenMode::Existing;
  // How long to wait for another connection's write lock.
  int BusyMs = kRequestBusyMs;
  // When set, stopping it interrupts this connection.
  TqdStopSignal* Stop = nullptr;
};

class TqdSqliteDb {
 public:
  // Opens the file at `path`. A symbolic link anywhere in the path is
  // refused (qdErrServerFileOpen), as is a missing file unless the mode
  // creates it. A new file gets incremental auto-vacuum before anything is
  // written; every file is WAL (the log kept in place when the connection
  // closes, so that closing never removes a file by name) with full sync.
  // Raises at once when options.Stop is already stopped.
  TqdSqliteDb(const std::string& path, const TqdOpenOptions& options);
  ~TqdSqliteDb();
  TqdSqliteDb(const TqdSqliteDb&) = delete;
  TqdSqliteDb& operator=(const TqdSqliteDb&) = delete;

  void Exec(const std::string& sql);
  TqdStatement Prepare(std::string_view sql) { return TqdStatement(db_, sql); }
  // The first column of the first row of a query that returns one.
  int64_t QueryInt(std::string_view sql);
  int64_t LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }
  // Rows changed by the last statement that changed rows.
  int64_t Changes() const { return sqlite3_changes64(db_); }
  sqlite3* Handle() { return db_; }
  // Lets a long statement stop between rows (for shutdown).
  void Interrupt() { sqlite3_interrupt(db_); }

 private:
  void Configure();
  void Close();
  // Waits for another connection's lock in short slices, so that a stop
  // is heard at once; 0 tells SQLite to give up.
  static int OnBusy(void* self, int count);
  static int OnProgress(void* stop);

  sqlite3* db_ = nullptr;
  int busyMs_;
  TqdStopSignal* stop_;
  std::chrono::steady_clock::time_point busySince_;
};

// A write transaction, taken at once (BEGIN IMMEDIATE); rolled back unless
// committed. Opened inside another transaction it is a savepoint of it.
class TqdTransaction {
 public:
  explicit TqdTransaction(TqdSqliteDb& db);
  ~TqdTransaction();
  TqdTransaction(const TqdTransaction&) = delete;
  TqdTransaction& operator=(const TqdTransaction&) = delete;
  void Commit();

 private:
  TqdSqliteDb& db_;
  bool nested_;
  bool open_ = true;
};

}  // namespace qd
