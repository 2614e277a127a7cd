// The server's background tasks (rebuild index, pack, add index): each runs
// on a worker thread of its own with its own store connection; tasks on the
// same alias directory run one after the other (each is one write
// transaction). A task lives on when its client goes away.
//
// A task's thread is joined as soon as the serving thread hears that it
// ended (Reap); only the task's result is kept then, queryable for
// kKeepFinishedMs, and at most kMaxFinishedKept results are kept at all.
// The wake function is called from a task's thread whenever its percentage
// moves and when it ends, so that waiting clients are answered at once.
// Thread rules: Start may be called from any thread (a request worker
// starts the task it has checked); Status, the counts, TableBusy, Reap,
// Purge and Shutdown are called on the serving thread; the work runs on the
// task's thread; progress is shared through atomics.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/stop_signal.h"
#include "server/table_store.h"
#include "server/task_progress.h"
#include "server/wire_records.h"

namespace qd {

// Finished tasks are kept at least ten minutes; fifteen leaves a margin.
inline constexpr uint32_t kKeepFinishedMs = 15 * 60 * 1000;
inline constexpr size_t kMaxFinishedKept = 100000;
// A task waits this long for the write lock of another program's writer.
inline constexpr int kTaskBusyMs = 10 * 60 * 1000;

// Every task has a thread; at most this many tasks are unfinished at once,
// and at most kMaxTasksPerClient of them were started by one client.
inline constexpr size_t kMaxUnfinishedTasks = 64;
inline constexpr size_t kMaxTasksPerClient = 8;

enum class TqdTaskKind : uint8_t { Rebuild = 1, Pack = 2, AddIndex = 3 };

// How many unfinished tasks a start may find, in all and of its owner.
struct TqdTaskLimits {
  size_t Unfinished = SIZE_MAX;
  size_t UnfinishedOfOwner = SIZE_MAX;
};

using TqdTaskClock = std::chrono::steady_clock;
const char* TaskKindName(TqdTaskKind kind);

// What the log says of a task that ended.
struct TqdEndedTask {
  int32_t Number = 0;
  TqdTaskKind Kind = TqdTaskKind::Rebuild;
  std::string Directory;
  std::string Table;
  uint16_t Result = 0;
  int64_t Reclaimed = 0;
  uint32_t Milliseconds = 0;
};

class TqdTaskManager {
 public:
  using Work = std::function<void(TqdTableStore&, TqdTaskProgress&)>;

  // Tasks open their stores with `stop` (may be null), which must outlive
  // the manager.
  explicit TqdTaskManager(std::function<void()> wake = {}, TqdStopSignal* stop = nullptr)
      : wake_(std::move(wake)), stop_(stop) {}
  ~TqdTaskManager() { Shutdown(); }
  TqdTaskManager(const TqdTaskManager&) = delete;
  TqdTaskManager& operator=(const TqdTaskManager&) = delete;

  // Starts `work` on a new thread for `owner` (a connection; 0 for none)
  // and returns the task number (1 and up); 0 when `limits` leave no room.
  // `asked` is when the request for it arrived.
  int32_t Start(uint32_t owner, const std::string& directory, const std::string& table, TqdTaskKind kind,
                Work work, TqdTaskLimits limits = {}, TqdTaskClock::time_point asked = TqdTaskClock::now());
  // Found false for a number that names no task (any more).
  TqdTaskStatusRecord Status(int32_t taskNumber);
  // Tasks started and not finished yet, in all and of one owner.
  size_t UnfinishedCount();
  size_t UnfinishedCountOf(uint32_t owner);
  // True while a task of that table has not finished.
  bool TableBusy(const std::string& directory, const std::string& table);
  // Joins the threads of the tasks that ended and keeps their results.
  std::vector<TqdEndedTask> Reap();
  // Forgets results older than kKeepFinishedMs.
  void Purge();
  // Asks every task to stop (its transaction is rolled back) and waits.
  void Shutdown();
  // Threads started and not joined yet.
  size_t Threads();
  // The server's time for all tasks that ended, each from the arrival of
  // its request to its end, and the time of their work alone.
  uint64_t Microseconds() const { return microseconds_.load(std::memory_order_relaxed); }
  uint64_t WorkMicroseconds() const { return workMicroseconds_.load(std::memory_order_relaxed); }

 private:
  struct Task {
    int32_t Number = 0;
    uint32_t Owner = 0;
    std::string Directory;
    std::string Table;
    TqdTaskKind Kind = TqdTaskKind::Rebuild;
    TqdTaskProgress Progress;
    std::atomic<bool> Finished{false};
    std::atomic<uint16_t> Result{0};
    uint32_t StartTick = 0;
    TqdTaskClock::time_point Asked;
    TqdTaskClock::time_point Started;
    std::atomic<uint32_t> FinishedTick{0};
    std::thread Thread;
  };
  // What is kept of a task once its thread is joined.
  struct Outcome {
    TqdTaskStatusRecord Status;
    uint32_t FinishedTick = 0;
  };
  void Run(Task& task, Work work);
  size_t UnfinishedLocked(uint32_t owner, bool ofOwner) const;
  std::shared_ptr<std::mutex> DirectoryLock(const std::string& directory);

  std::function<void()> wake_;
  TqdStopSignal* stop_;
  std::mutex mutex_;  // guards the maps
  std::map<int32_t, std::unique_ptr<Task>> running_;
  std::map<int32_t, Outcome> outcomes_;
  std::deque<int32_t> outcomeOrder_;  // oldest first
  std::map<std::string, std::shared_ptr<std::mutex>> directoryLocks_;
  int32_t nextNumber_ = 1;
  std::atomic<uint64_t> microseconds_{0};
  std::atomic<uint64_t> workMicroseconds_{0};
};

}  // namespace qd
