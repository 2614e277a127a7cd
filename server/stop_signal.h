// A stop signal for the SQLite connections of a server that is shutting
// down. A connection opened with the signal registers itself and is
// unregistered before it is closed; Stop() interrupts the running statement
// of every registered connection, wakes their busy waits so that they give
// up, and makes every later registration (a store opened after Stop) fail.
// Thread rules: every member may be called from any thread; the signal
// must outlive the connections registered with it.
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace qd {

class TqdStopSignal {
 public:
  TqdStopSignal() = default;
  TqdStopSignal(const TqdStopSignal&) = delete;
  TqdStopSignal& operator=(const TqdStopSignal&) = delete;

  // Idempotent.
  void Stop();
  bool Stopped() const { return stopped_.load(std::memory_order_acquire); }

  // False (and nothing registered) once stopped.
  bool Register(sqlite3* db);
  void Unregister(sqlite3* db);
  // Waits up to `slice`; true as soon as the signal is stopped.
  bool WaitFor(std::chrono::milliseconds slice);
  // Busy waits sleeping in WaitFor right now.
  int Waiters() const { return waiters_.load(std::memory_order_acquire); }

 private:
  std::mutex mutex_;  // guards connections_; sqlite3_interrupt runs under it
  std::condition_variable wake_;
  std::atomic<bool> stopped_{false};
  std::atomic<int> waiters_{0};
  std::vector<sqlite3*> connections_;
};

}  // namespace qd
