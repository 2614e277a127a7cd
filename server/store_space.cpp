#include "server/store_space.h"

#include <filesystem>

namespace qd {
namespace {

int64_t SizeOf(const std::string& path) {
  std::error_code error;
  auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<int64_t>(size);
}

// Auto-vacuum mode 2: free pages can be given back without a rewrite.
constexpr int64_t kIncrementalVacuum = 2;

void TruncateLog(TqdSqliteDb& db) {
  db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

}  // namespace

int64_t StoreFootprint(const TqdTableStore& store) {
  return SizeOf(store.FilePath()) + SizeOf(store.FilePath() + "-wal");
}

int64_t ReclaimSpaceAfterPack(TqdTableStore& store, int64_t before) {
  TqdSqliteDb& db = store.Db();
  try {
    if (db.QueryInt("PRAGMA auto_vacuum") == kIncrementalVacuum) {
      db.Exec("PRAGMA incremental_vacuum");
    } else {
      // Made when auto-vacuum was never set: the rewrite converts it, and
      // compacts it as well.
      db.Exec("PRAGMA auto_vacuum = INCREMENTAL");
      db.Exec("VACUUM");
    }
  } catch (const EqdStorageError&) {
    // Out of space for the rewrite, say: the log still goes below.
  }
  try {
    TruncateLog(db);
  } catch (const EqdStorageError&) {
  }
  int64_t after = StoreFootprint(store);
  return before > after ? before - after : 0;
}

void ReleaseSpaceAfterFailedTask(TqdTableStore& store) noexcept {
  try {
    TruncateLog(store.Db());
  } catch (...) {
  }
}

}  // namespace qd
