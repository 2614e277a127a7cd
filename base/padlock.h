// TqdPadLock: a re-entrant lock that costs nothing until the process has
// started a second thread. Every keyed list and memory pool has one.
// Thread rules: code that starts a thread which may touch engine objects
// calls SetMultiThreaded() before starting it. A debug build aborts when a
// second thread takes a lock before that switch, since the lock would then
// guard nothing.
//
// The shortcut stays because it matters where the lock is taken most: with
// a real lock on every call a pool allocation costs 35-60 ns instead of 2 ns
// (slower than malloc) and a list lookup twice as long (bench_base).
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace qd {

namespace detail {
extern std::atomic<bool> g_multiThreaded;
#ifdef NDEBUG
inline void CheckSingleThreadedLock() {}
#else
void CheckSingleThreadedLock();  // aborts on the second thread to lock before the switch
#endif
}

// True once the engine has started its first extra thread; never cleared.
inline bool IsMultiThreaded() { return detail::g_multiThreaded.load(std::memory_order_acquire); }
void SetMultiThreaded();

class TqdPadLock {
 public:
  TqdPadLock() = default;
  TqdPadLock(const TqdPadLock&) = delete;
  TqdPadLock& operator=(const TqdPadLock&) = delete;

  // Single-threaded, both are a flag test: a lock taken before the second
  // thread started did nothing, and as the flag never goes off again, an
  // unlock that finds it off has nothing to undo either.
  void Lock() {
    if (IsMultiThreaded())
      LockSlow();
    else
      detail::CheckSingleThreadedLock();
  }
  void Unlock() {
    if (IsMultiThreaded()) UnlockSlow();
  }

  // For std::lock_guard.
  void lock() { Lock(); }
  void unlock() { Unlock(); }

 private:
  void LockSlow();
  void UnlockSlow();

  std::recursive_mutex section_;
  int lockCount_ = 0;  // guarded by section_
  // The thread holding section_. A lock taken while the process was still
  // single-threaded did nothing, so its Unlock must do nothing either, even
  // if another thread holds the section by then.
  std::atomic<std::thread::id> owner_{};
};

}  // namespace qd
