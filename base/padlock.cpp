#include "base/padlock.h"

#include <cstdio>
#include <cstdlib>

namespace qd {
namespace detail {
std::atomic<bool> g_multiThreaded{false};

#ifndef NDEBUG
namespace {
// The one thread that has taken locks before the switch.
std::atomic<std::thread::id> g_lockingThread{};
}  // namespace

void CheckSingleThreadedLock() {
  std::thread::id self = std::this_thread::get_id();
  std::thread::id first{};
  if (g_lockingThread.load(std::memory_order_relaxed) == self ||
      g_lockingThread.compare_exchange_strong(first, self) || first == self)
    return;
  std::fprintf(stderr, "TqdPadLock taken on a second thread before SetMultiThreaded(): it would guard nothing\n");
  std::abort();
}
#endif
}  // namespace detail

void SetMultiThreaded() { detail::g_multiThreaded.store(true, std::memory_order_release); }

void TqdPadLock::LockSlow() {
  section_.lock();
  ++lockCount_;
  owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void TqdPadLock::UnlockSlow() {
  if (owner_.load(std::memory_order_relaxed) != std::this_thread::get_id()) return;
  if (lockCount_ <= 0) return;
  if (--lockCount_ == 0) owner_.store(std::thread::id{}, std::memory_order_relaxed);
  section_.unlock();
}

}  // namespace qd
