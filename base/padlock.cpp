#include "base/padlock.h"

namespace qd {
namespace detail {
std::atomic<bool> g_multiThreaded{false};
}

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
