// TqdPadLock: a re-entrant lock that costs nothing until the process has
// started a second thread. Every keyed list and memory pool has one.
// Thread rules: code that starts a thread which may touch engine objects
// calls SetMultiThreaded() before starting it.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace qd {

// True once the engine has started its first extra thread; never cleared.
bool IsMultiThreaded();
void SetMultiThreaded();

class TqdPadLock {
 public:
  TqdPadLock() = default;
  TqdPadLock(const TqdPadLock&) = delete;
  TqdPadLock& operator=(const TqdPadLock&) = delete;

  void Lock();
  void Unlock();

  // For std::lock_guard.
  void lock() { Lock(); }
  void unlock() { Unlock(); }

 private:
  std::recursive_mutex section_;
  int lockCount_ = 0;  // guarded by section_
  // The thread holding section_. A lock taken while the process was still
  // single-threaded did nothing, so its Unlock must do nothing either, even
  // if another thread holds the section by then.
  std::atomic<std::thread::id> owner_{};
};

}  // namespace qd
