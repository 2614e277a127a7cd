// The progress of a server task: rows processed against rows to process,
// from which the task reports its exact percentage, a stop request for
// shutdown, and a hook that hears of every change of the percentage (so
// that a client waiting for news is answered at once, not on a timer).
// Thread rules: the work advances the counters on its own thread; any
// thread may read them. OnPercentChanged is set before the work starts and
// is called on the work's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace qd {

struct TqdTaskProgress {
  std::atomic<int64_t> Done{0};
  std::atomic<int64_t> Total{0};
  std::atomic<bool> Cancelled{false};
  // Bytes the work gave back to the file system (a pack), for the log.
  std::atomic<int64_t> Reclaimed{0};
  std::function<void()> OnPercentChanged;

  // 0..100 from the rows processed; 100 for a task with nothing to do.
  int32_t Percent() const;
  // Adds `rows` to Done; tells OnPercentChanged when the percentage moved
  // (short of 100: the end of the task is told of anyway).
  void Advance(int64_t rows);
  // Raises EqdStorageError when the task is to stop (server shutting down).
  void CheckCancelled() const;

 private:
  std::atomic<int32_t> lastPercent_{-1};
};

}  // namespace qd
