// The table-valued function qd_key_run(run): it hands SQLite the entries of
// a sorted key run, so that a key table is filled by one
// INSERT ... SELECT key, rid FROM qd_key_run(?) instead of one statement per
// key. The run is passed as a pointer bound with kKeyRunPointerType.
// Thread rules: registered per connection; the run belongs to the thread
// that runs the statement.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>

#include "server/task_progress.h"

namespace qd {

inline constexpr const char* kKeyRunPointerType = "qd_key_run";

// A run of fixed-size entries (key bytes, then the row id big-endian) and
// the order in which to hand them out.
struct TqdKeyRunView {
  const uint8_t* Base = nullptr;
  size_t EntrySize = 0;
  size_t KeyWidth = 0;
  const uint32_t* Order = nullptr;
  size_t Count = 0;
  // Advanced every kKeyRunPublishEvery entries handed out; once cancelled
  // the scan stops with SQLITE_INTERRUPT.
  TqdTaskProgress* Progress = nullptr;
};

inline constexpr int64_t kKeyRunPublishEvery = 256;

// Makes qd_key_run available on `db`; calling it again is harmless.
void RegisterKeyRunSource(sqlite3* db);

}  // namespace qd
