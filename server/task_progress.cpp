#include "server/task_progress.h"

#include "server/server_results.h"
#include "server/sqlite_db.h"

namespace qd {

int32_t TqdTaskProgress::Percent() const {
  int64_t total = Total.load(std::memory_order_relaxed);
  int64_t done = Done.load(std::memory_order_relaxed);
  if (total <= 0) return 100;
  if (done >= total) return 100;
  return static_cast<int32_t>(done * 100 / total);
}

void TqdTaskProgress::Advance(int64_t rows) {
  Done.fetch_add(rows, std::memory_order_relaxed);
  if (!OnPercentChanged) return;
  // At 100 % only the commit is left; the task's end, told at once, is the
  // news then (a client woken for "99 %" would ask again just as it ends).
  int32_t now = Percent();
  if (lastPercent_.exchange(now, std::memory_order_relaxed) != now && now < 100) OnPercentChanged();
}

void TqdTaskProgress::CheckCancelled() const {
  if (Cancelled.load(std::memory_order_relaxed))
    throw EqdStorageError(qdErrServerUnexpected, "the server is shutting down");
}

}  // namespace qd
