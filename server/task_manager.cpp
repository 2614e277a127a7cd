#include "server/task_manager.h"

#include <strings.h>

#include <algorithm>
#include <vector>

#include "base/padlock.h"
#include "base/ticks.h"

namespace qd {

std::shared_ptr<std::mutex> TqdTaskManager::DirectoryLock(const std::string& directory) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto& lock = directoryLocks_[directory];
  if (!lock) lock = std::make_shared<std::mutex>();
  return lock;
}

int32_t TqdTaskManager::Start(const std::string& directory, const std::string& table, TqdTaskKind kind,
                              Work work) {
  SetMultiThreaded();  // the work uses pooled engine objects on its own thread
  auto task = std::make_unique<Task>();
  task->Directory = directory;
  task->Table = table;
  task->Kind = kind;
  Task* raw = task.get();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    raw->Number = nextNumber_++;
    if (nextNumber_ <= 0) nextNumber_ = 1;  // never -1, which means "no task"
    tasks_[raw->Number] = std::move(task);
  }
  try {
    raw->Thread = std::thread([this, raw, w = std::move(work)]() mutable { Run(*raw, std::move(w)); });
  } catch (...) {
    // A task that never ran must not keep its table busy for good.
    std::lock_guard<std::mutex> guard(mutex_);
    tasks_.erase(raw->Number);
    throw;
  }
  return raw->Number;
}

void TqdTaskManager::Run(Task& task, Work work) {
  uint16_t result = 0;
  try {
    auto lock = DirectoryLock(task.Directory);
    std::lock_guard<std::mutex> serial(*lock);
    task.Progress.CheckCancelled();
    TqdTableStore store(task.Directory, kTaskBusyMs);
    work(store, task.Progress);
  } catch (const EqdStorageError& e) {
    result = e.Code;
  } catch (const std::exception&) {
    result = qdErrServerUnexpected;
  }
  if (result == 0) task.Progress.Done = task.Progress.Total.load();
  task.Result = result;
  task.FinishedTick = GetTickCount();
  task.Finished.store(true, std::memory_order_release);
}

TqdTaskStatusRecord TqdTaskManager::Status(int32_t taskNumber) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = tasks_.find(taskNumber);
  TqdTaskStatusRecord status;
  if (it == tasks_.end()) return status;
  Task& t = *it->second;
  status.Found = true;
  status.TaskNumber = t.Number;
  status.Finished = t.Finished.load(std::memory_order_acquire);
  status.Result = status.Finished ? t.Result.load() : 0;
  status.Done = t.Progress.Done.load(std::memory_order_relaxed);
  status.Total = t.Progress.Total.load(std::memory_order_relaxed);
  status.Kind = static_cast<uint8_t>(t.Kind);
  // A finished task reports 100 even when it failed: the client only waits
  // for the end; the result code travels in the bytes behind.
  status.PercentDone = status.Finished ? 100 : status.Total > 0 ? std::min(t.Progress.Percent(), 99) : 0;
  return status;
}

size_t TqdTaskManager::UnfinishedCount() {
  std::lock_guard<std::mutex> guard(mutex_);
  return static_cast<size_t>(std::count_if(tasks_.begin(), tasks_.end(),
                                           [](const auto& entry) { return !entry.second->Finished.load(); }));
}

bool TqdTaskManager::TableBusy(const std::string& directory, const std::string& table) {
  std::lock_guard<std::mutex> guard(mutex_);
  for (const auto& [number, t] : tasks_) {
    if (!t->Finished.load() && t->Directory == directory && strcasecmp(t->Table.c_str(), table.c_str()) == 0)
      return true;
  }
  return false;
}

void TqdTaskManager::Purge() {
  std::vector<std::unique_ptr<Task>> done;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    uint32_t now = GetTickCount();
    for (auto it = tasks_.begin(); it != tasks_.end();) {
      Task& t = *it->second;
      if (t.Finished.load() && now - t.FinishedTick.load() > kKeepFinishedMs) {
        done.push_back(std::move(it->second));
        it = tasks_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& t : done) {
    if (t->Thread.joinable()) t->Thread.join();
  }
}

void TqdTaskManager::Shutdown() {
  std::vector<Task*> all;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto& [number, t] : tasks_) {
      t->Progress.Cancelled = true;
      all.push_back(t.get());
    }
  }
  for (Task* t : all) {
    if (t->Thread.joinable()) t->Thread.join();
  }
}

}  // namespace qd
