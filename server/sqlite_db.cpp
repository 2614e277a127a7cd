#include "server/sqlite_db.h"

#include "server/server_results.h"

namespace qd {
TqdResult ResultForSqliteError(int sqliteCode) {
  switch (sqliteCode & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return qdErrDirBusy;
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_READONLY: return qdErrServerWrite;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return qdErrServerRead;
    case SQLITE_CONSTRAINT: return qdErrKeyViolation;  // a second row with the key of a unique index
    case SQLITE_CANTOPEN:
    case SQLITE_PERM: return qdErrServerFileOpen;
    default: return qdErrServerUnexpected;
  }
}

TqdStatement::TqdStatement(sqlite3* db, std::string_view sql) : db_(db) {
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
}

TqdStatement::~TqdStatement() { sqlite3_finalize(stmt_); }

void TqdStatement::Fail(int code) const {
  throw EqdStorageError(ResultForSqliteError(code), sqlite3_errmsg(db_), code & 0xFF);
}

TqdStatement& TqdStatement::Bind(int i, int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, i, value);
  if (rc != SQLITE_OK) Fail(rc);
  return *this;
}

TqdStatement& TqdStatement::Bind(int i, std::string_view text) {
  int rc = sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) Fail(rc);
  return *this;
}

TqdStatement& TqdStatement::BindBlob(int i, std::span<const uint8_t> bytes) {
  // A zero-length blob must still be a blob, not NULL.
  static const uint8_t kEmpty = 0;
  const void* data = bytes.empty() ? &kEmpty : bytes.data();
  int rc = sqlite3_bind_blob(stmt_, i, data, static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) Fail(rc);
  return *this;
}

TqdStatement& TqdStatement::BindBlobInPlace(int i, std::span<const uint8_t> bytes) {
  int rc = sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
  if (rc != SQLITE_OK) Fail(rc);
  return *this;
}

TqdStatement& TqdStatement::BindPointer(int i, void* pointer, const char* type) {
  int rc = sqlite3_bind_pointer(stmt_, i, pointer, type, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  return *this;
}

void TqdStatement::RunOnce() {
  int rc = sqlite3_step(stmt_);
  sqlite3_reset(stmt_);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) Fail(rc);
}

bool TqdStatement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(rc);
}

void TqdStatement::Run() {
  while (Step()) {
  }
  Reset();
}

void TqdStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string TqdStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n)) : std::string();
}

std::span<const uint8_t> TqdStatement::Blob(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  if (!data || n <= 0) return {};
  return {static_cast<const uint8_t*>(data), static_cast<size_t>(n)};
}

TqdSqliteDb::TqdSqliteDb(const std::string& path, int busyMs) {
  int rc = sqlite3_open_v2(path.c_str(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "cannot open " + path;
    sqlite3_close(db_);
    db_ = nullptr;
    throw EqdStorageError(ResultForSqliteError(rc), message);
  }
  sqlite3_busy_timeout(db_, busyMs);
  sqlite3_extended_result_codes(db_, 1);
  try {
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA cache_size=-16384;");
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

TqdSqliteDb::~TqdSqliteDb() { sqlite3_close(db_); }

void TqdSqliteDb::Exec(const std::string& sql) {
  char* message = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    throw EqdStorageError(ResultForSqliteError(rc), text);
  }
}

TqdTransaction::TqdTransaction(TqdSqliteDb& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

TqdTransaction::~TqdTransaction() {
  if (open_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TqdTransaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}

}  // namespace qd
