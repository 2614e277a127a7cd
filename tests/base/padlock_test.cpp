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

#ifndef NDEBUG
// A lock taken on a second thread before the switch would guard nothing:
// a debug build stops there rather than let the race happen.
TEST(TqdPadLockDeathTest, SecondThreadLockingBeforeTheSwitchAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, where the switch is still off
  EXPECT_DEATH(
      {
        TqdPadLock lock;
        lock.Lock();
        lock.Unlock();
        std::thread other([&] { lock.Lock(); });
        other.join();
      },
      "second thread before SetMultiThreaded");
}
#endif

}  // namespace
}  // namespace qd
