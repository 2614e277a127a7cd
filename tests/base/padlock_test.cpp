#include <gtest/gtest.h>

#include <thread>

#include "base/padlock.h"

namespace qd {
namespace {

// Runs in its own process image order: the flag only ever goes on.
TEST(TqdPadLock, ReentrantAndSafeAcrossTheSwitchToThreads) {
  TqdPadLock lock;
  // Single-threaded: lock and unlock do nothing, so an extra unlock is harmless.
  lock.Lock();
  SetMultiThreaded();
  ASSERT_TRUE(IsMultiThreaded());
  lock.Lock();
  lock.Lock();  // re-entrant
  lock.Unlock();
  lock.Unlock();
  lock.Unlock();  // matches the lock taken before the switch: does nothing

  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 10000; ++i) {
      lock.Lock();
      lock.Lock();
      ++counter;
      lock.Unlock();
      lock.Unlock();
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 20000);
}

}  // namespace
}  // namespace qd
