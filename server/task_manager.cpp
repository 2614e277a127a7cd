#include "server/task_manager.h"

#include <strings.h>

#include <algorithm>

#include "base/padlock.h"
#include "base/ticks.h"
#include "server/server_results.h"
#include "server/store_space.h"

namespace qd {
namespace {

int32_t PercentOf(const TqdTaskProgress& progress, bool finished) {
  if (finished) return 100;
  return progress.Total.load(std::memory_order_relaxed) > 0 ? std::min(progress.Percent(), 99) : 0;
}

}  // namespace

const char* TaskKindName(TqdTaskKind kind) {
  switch (kind) {
    case TqdTaskKind::Rebuild: return "rebuild";
    case TqdTaskKind::Pack: return "pack";
    case TqdTaskKind::AddIndex: return "add index";
  }
  return "task";
}

std::shared_ptr<std::mutex> TqdTaskManager::DirectoryLock(const std::string& directory) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto& lock = directoryLocks_[directory];
  if (!lock) lock = std::make_shared<std::mutex>();
  return lock;
}

int32_t TqdTaskManager::Start(uint32_t owner, const std::string& directory, const std::string& table,
                              TqdTaskKind kind, Work work, TqdTaskLimits limits, TqdTaskClock::time_point asked) {
  SetMultiThreaded();  // the work uses pooled engine objects on its own thread
  auto task = std::make_unique<Task>();
  task->Owner = owner;
  task->Directory = directory;
  task->Table = table;
  task->Kind = kind;
  task->StartTick = GetTickCount();
  task->Asked = asked;
  task->Started = TqdTaskClock::now();
  task->Progress.OnPercentChanged = wake_;
  Task* raw = task.get();
  int32_t number = 0;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (UnfinishedLocked(owner, false) >= limits.Unfinished ||
        UnfinishedLocked(owner, true) >= limits.UnfinishedOfOwner)
      return 0;
    raw->Number = nextNumber_++;
    if (nextNumber_ <= 0) nextNumber_ = 1;  // never -1, which means "no task"
    outcomes_.erase(raw->Number);           // a number used again after the wrap
    running_[raw->Number] = std::move(task);
    // The thread is stored before the lock is let go: a task with nothing
    // to do can end at once, and Reap must never take a task whose thread
    // is not in place yet (it would free the task under this assignment).
    try {
      raw->Thread = std::thread([this, raw, w = std::move(work)]() mutable { Run(*raw, std::move(w)); });
    } catch (...) {
      // A task that never ran must not keep its table busy for good.
      running_.erase(raw->Number);
      throw;
    }
    // Read under the lock: once it is let go the task may end and be
    // reaped (freed) at any moment.
    number = raw->Number;
  }
  return number;
}

void TqdTaskManager::Run(Task& task, Work work) {
  uint16_t result = 0;
  try {
    auto lock = DirectoryLock(task.Directory);
    std::lock_guard<std::mutex> serial(*lock);
    task.Progress.CheckCancelled();
    TqdTableStore store(task.Directory, {.BusyMs = kTaskBusyMs, .Stop = stop_});
    try {
      work(store, task.Progress);
    } catch (...) {
      // A failed write (a full disk) may leave the log large: it goes back.
      ReleaseSpaceAfterFailedTask(store);
      throw;
    }
  } catch (const EqdStorageError& e) {
    result = e.Code;
  } catch (const std::exception&) {
    result = qdErrServerUnexpected;
  }
  if (result == 0) task.Progress.Done = task.Progress.Total.load();
  auto end = TqdTaskClock::now();
  auto micros = [](TqdTaskClock::duration d) {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
  };
  microseconds_ += micros(end - task.Asked);
  workMicroseconds_ += micros(end - task.Started);
  task.Result = result;
  task.FinishedTick = GetTickCount();
  task.Finished.store(true, std::memory_order_release);
  if (wake_) wake_();
}

TqdTaskStatusRecord TqdTaskManager::Status(int32_t taskNumber) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (auto done = outcomes_.find(taskNumber); done != outcomes_.end()) return done->second.Status;
  TqdTaskStatusRecord status;
  auto it = running_.find(taskNumber);
  if (it == running_.end()) return status;
  Task& t = *it->second;
  status.Found = true;
  status.TaskNumber = t.Number;
  status.Finished = t.Finished.load(std::memory_order_acquire);
  status.Result = status.Finished ? t.Result.load() : 0;
  status.Done = t.Progress.Done.load(std::memory_order_relaxed);
  status.Total = t.Progress.Total.load(std::memory_order_relaxed);
  status.Kind = static_cast<uint8_t>(t.Kind);
  status.PercentDone = PercentOf(t.Progress, status.Finished);
  return status;
}

size_t TqdTaskManager::UnfinishedLocked(uint32_t owner, bool ofOwner) const {
  return static_cast<size_t>(std::count_if(running_.begin(), running_.end(), [=](const auto& entry) {
    return !entry.second->Finished.load() && (!ofOwner || entry.second->Owner == owner);
  }));
}

size_t TqdTaskManager::UnfinishedCount() {
  std::lock_guard<std::mutex> guard(mutex_);
  return UnfinishedLocked(0, false);
}

size_t TqdTaskManager::UnfinishedCountOf(uint32_t owner) {
  std::lock_guard<std::mutex> guard(mutex_);
  return UnfinishedLocked(owner, true);
}

size_t TqdTaskManager::Threads() {
  std::lock_guard<std::mutex> guard(mutex_);
  return running_.size();
}

bool TqdTaskManager::TableBusy(const std::string& directory, const std::string& table) {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const auto& [number, t] : running_) {
    if (!t->Finished.load() && t->Directory == directory && strcasecmp(t->Table.c_str(), table.c_str()) == 0)
      return true;
  }
  return false;
}

std::vector<TqdEndedTask> TqdTaskManager::Reap() {
  std::vector<std::unique_ptr<Task>> ended;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = running_.begin(); it != running_.end();) {
      if (!it->second->Finished.load(std::memory_order_acquire)) {
        ++it;
        continue;
      }
      Task& t = *it->second;
      Outcome& kept = outcomes_[t.Number];
      kept.Status = {true, t.Number, t.Result.load(), t.Progress.Done.load(), t.Progress.Total.load(),
                     static_cast<uint8_t>(t.Kind), 100, true};
      kept.FinishedTick = t.FinishedTick.load();
      outcomeOrder_.push_back(t.Number);
      ended.push_back(std::move(it->second));
      it = running_.erase(it);
    }
    while (outcomes_.size() > kMaxFinishedKept && !outcomeOrder_.empty()) {
      outcomes_.erase(outcomeOrder_.front());
      outcomeOrder_.pop_front();
    }
  }
  std::vector<TqdEndedTask> log;
  for (auto& t : ended) {
    t->Thread.join();  // it has ended: this does not wait
    log.push_back({t->Number, t->Kind, t->Directory, t->Table, t->Result.load(), t->Progress.Reclaimed.load(),
                   t->FinishedTick.load() - t->StartTick});
  }
  return log;
}

void TqdTaskManager::Purge() {
  std::lock_guard<std::mutex> guard(mutex_);
  uint32_t now = GetTickCount();
  while (!outcomeOrder_.empty()) {
    auto it = outcomes_.find(outcomeOrder_.front());
    if (it != outcomes_.end() && now - it->second.FinishedTick <= kKeepFinishedMs) break;
    if (it != outcomes_.end()) outcomes_.erase(it);
    outcomeOrder_.pop_front();
  }
}

void TqdTaskManager::Shutdown() {
  std::vector<Task*> all;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto& [number, t] : running_) {
      t->Progress.Cancelled = true;
      all.push_back(t.get());
    }
  }
  for (Task* t : all) {
    if (t->Thread.joinable()) t->Thread.join();
  }
}

}  // namespace qd
