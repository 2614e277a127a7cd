#include "server/stop_signal.h"

#include <algorithm>

namespace qd {

void TqdStopSignal::Stop() {
  std::lock_guard<std::mutex> guard(mutex_);
  stopped_.store(true, std::memory_order_release);
  // Under the mutex: no connection can be closed while it is interrupted.
  for (sqlite3* db : connections_) sqlite3_interrupt(db);
  wake_.notify_all();
}

bool TqdStopSignal::Register(sqlite3* db) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (Stopped()) return false;
  connections_.push_back(db);
  return true;
}

void TqdStopSignal::Unregister(sqlite3* db) {
  std::lock_guard<std::mutex> guard(mutex_);
  std::erase(connections_, db);
}

bool TqdStopSignal::WaitFor(std::chrono::milliseconds slice) {
  std::unique_lock<std::mutex> lock(mutex_);
  waiters_.fetch_add(1, std::memory_order_acq_rel);
  bool stopped = wake_.wait_for(lock, slice, [this] { return Stopped(); });
  waiters_.fetch_sub(1, std::memory_order_acq_rel);
  return stopped;
}

}  // namespace qd
