// The server's background tasks (rebuild index, pack, add index): each runs
// on a worker thread of its own with its own store connection; tasks on the
// same alias directory run one after the other (each is one write
// transaction). A task lives on when its client goes away; a finished task
// stays queryable for kKeepFinishedMs.
// Thread rules: Start, Status, TableBusy, Purge and Shutdown are called on
// the serving thread; the work runs on the task's thread; progress is
// shared through atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "server/index_build.h"
#include "server/table_store.h"
#include "server/wire_records.h"

namespace qd {

// Finished tasks are kept at least ten minutes; fifteen leaves a margin.
inline constexpr uint32_t kKeepFinishedMs = 15 * 60 * 1000;
// A task waits this long for the write lock of another program's writer.
inline constexpr int kTaskBusyMs = 10 * 60 * 1000;

// Every task has a thread; at most this many tasks are unfinished at once.
inline constexpr size_t kMaxUnfinishedTasks = 64;

enum class TqdTaskKind : uint8_t { Rebuild = 1, Pack = 2, AddIndex = 3 };

class TqdTaskManager {
 public:
  using Work = std::function<void(TqdTableStore&, TqdTaskProgress&)>;

  TqdTaskManager() = default;
  ~TqdTaskManager() { Shutdown(); }
  TqdTaskManager(const TqdTaskManager&) = delete;
  TqdTaskManager& operator=(const TqdTaskManager&) = delete;

  // Starts `work` on a new thread and returns the task number (1 and up).
  int32_t Start(const std::string& directory, const std::string& table, TqdTaskKind kind, Work work);
  // Found false for a number that names no task (any more).
  TqdTaskStatusRecord Status(int32_t taskNumber);
  // Tasks started and not finished yet.
  size_t UnfinishedCount();
  // True while a task of that table has not finished.
  bool TableBusy(const std::string& directory, const std::string& table);
  // Forgets tasks that finished more than kKeepFinishedMs ago.
  void Purge();
  // Asks every task to stop (its transaction is rolled back) and waits.
  void Shutdown();

 private:
  struct Task {
    int32_t Number = 0;
    std::string Directory;
    std::string Table;
    TqdTaskKind Kind = TqdTaskKind::Rebuild;
    TqdTaskProgress Progress;
    std::atomic<bool> Finished{false};
    std::atomic<uint16_t> Result{0};
    std::atomic<uint32_t> FinishedTick{0};
    std::thread Thread;
  };
  void Run(Task& task, Work work);
  std::shared_ptr<std::mutex> DirectoryLock(const std::string& directory);

  std::mutex mutex_;  // guards the maps
  std::map<int32_t, std::unique_ptr<Task>> tasks_;
  std::map<std::string, std::shared_ptr<std::mutex>> directoryLocks_;
  int32_t nextNumber_ = 1;
};

}  // namespace qd
