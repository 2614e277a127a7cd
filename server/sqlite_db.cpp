#include "server/sqlite_db.h"

#include <algorithm>
#include <thread>

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

namespace {

// The longest slice a busy wait sleeps before it looks again.
constexpr int kMaxBusySliceMs = 20;
// Statements look at the stop signal every this many virtual-machine steps.
constexpr int kStopCheckSteps = 1000;

[[noreturn]] void RaiseStopped() {
  throw EqdStorageError(qdErrServerUnexpected, "the server is shutting down");
}

}  // namespace

TqdSqliteDb::TqdSqliteDb(const std::string& path, const TqdOpenOptions& options)
    : busyMs_(options.BusyMs), stop_(options.Stop) {
  if (stop_ && stop_->Stopped()) RaiseStopped();
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX;
  if (options.Mode == TqdOpenMode::CreateIfMissing) flags |= SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : "cannot open " + path;
    sqlite3_close(db_);
    db_ = nullptr;
    throw EqdStorageError(ResultForSqliteError(rc), message + ": " + path, rc & 0xFF);
  }
  if (stop_ && !stop_->Register(db_)) {
    sqlite3_close(db_);
    db_ = nullptr;
    RaiseStopped();
  }
  try {
    Configure();
  } catch (...) {
    Close();
    throw;
  }
}

void TqdSqliteDb::Configure() {
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_handler(db_, &TqdSqliteDb::OnBusy, this);
  if (stop_) sqlite3_progress_handler(db_, kStopCheckSteps, &TqdSqliteDb::OnProgress, stop_);
  int persist = 1;
  sqlite3_file_control(db_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  // Auto-vacuum is fixed by the first write to a file (switching to WAL is
  // one), so a new file gets it first; on an existing file the pragma would
  // take the write lock at every opening.
  if (QueryInt("PRAGMA page_count") == 0) Exec("PRAGMA auto_vacuum = INCREMENTAL");
  Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA cache_size=-16384;");
  Exec("PRAGMA journal_size_limit=" + std::to_string(kWalKeepBytes));
  // Some builds of SQLite (Debian's among them) zero every page a delete
  // frees and write it out again. Deleted records stay in their table,
  // marked, until a pack anyway; the zeroing only doubled the writes of a
  // rebuild, which empties a key table, and of a pack. Content is still
  // cleared where that costs no extra write.
  Exec("PRAGMA secure_delete=FAST");
}

void TqdSqliteDb::Close() {
  if (stop_) stop_->Unregister(db_);
  sqlite3_close(db_);
  db_ = nullptr;
}

TqdSqliteDb::~TqdSqliteDb() { Close(); }

int TqdSqliteDb::OnBusy(void* self, int count) {
  auto* db = static_cast<TqdSqliteDb*>(self);
  auto now = std::chrono::steady_clock::now();
  if (count == 0) db->busySince_ = now;
  auto left = std::chrono::milliseconds(db->busyMs_) -
              std::chrono::duration_cast<std::chrono::milliseconds>(now - db->busySince_);
  if (left.count() <= 0) return 0;
  auto slice = std::min(left, std::chrono::milliseconds(std::min(count + 1, kMaxBusySliceMs)));
  if (db->stop_) return db->stop_->WaitFor(slice) ? 0 : 1;
  std::this_thread::sleep_for(slice);
  return 1;
}

int TqdSqliteDb::OnProgress(void* stop) {
  return static_cast<TqdStopSignal*>(stop)->Stopped() ? 1 : 0;
}

int64_t TqdSqliteDb::QueryInt(std::string_view sql) {
  auto query = Prepare(sql);
  return query.Step() ? query.Int(0) : 0;
}

void TqdSqliteDb::Exec(const std::string& sql) {
  char* message = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    throw EqdStorageError(ResultForSqliteError(rc), text, rc & 0xFF);
  }
}

// Inside a transaction already (a client's), a savepoint: a failure then
// undoes this part only, and the outer transaction goes on.
TqdTransaction::TqdTransaction(TqdSqliteDb& db) : db_(db), nested_(sqlite3_get_autocommit(db.Handle()) == 0) {
  db_.Exec(nested_ ? "SAVEPOINT qd_part" : "BEGIN IMMEDIATE");
}

TqdTransaction::~TqdTransaction() {
  if (open_)
    sqlite3_exec(db_.Handle(), nested_ ? "ROLLBACK TO qd_part; RELEASE qd_part" : "ROLLBACK", nullptr, nullptr,
                 nullptr);
}

void TqdTransaction::Commit() {
  db_.Exec(nested_ ? "RELEASE qd_part" : "COMMIT");
  open_ = false;
}

}  // namespace qd
