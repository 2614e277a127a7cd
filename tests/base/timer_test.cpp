#include <gtest/gtest.h>

#include <atomic>

#include "base/ticks.h"
#include "base/timer.h"

namespace qd {
namespace {

// Atomic: a tick source may be read on any thread.
std::atomic<uint32_t> g_now{0};
uint32_t FakeTicks() { return g_now; }

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTickSource(&FakeTicks); }
  void TearDown() override { SetTickSource(nullptr); }
};

TEST_F(TimerTest, ClampsItsLength) {
  struct Case {
    int32_t ms;
    uint32_t length;
  };
  for (Case c : {Case{0, 1}, Case{-5, 1}, Case{1, 1}, Case{5000, 5000}, Case{7200000, 3600000}}) {
    g_now = 1000;
    TqdTimer t;
    StartTimer(t, c.ms);
    EXPECT_EQ(t.ExpiryTick - t.StartTick, c.length) << c.ms;
    EXPECT_FALSE(t.NeverExpires);
  }
}

TEST_F(TimerTest, NeverExpires) {
  TqdTimer t;
  StartTimer(t, kTimerNever);
  EXPECT_TRUE(t.NeverExpires);
  for (uint32_t now : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    g_now = now;
    EXPECT_FALSE(TimerExpired(t));
  }
  EXPECT_EQ(TimerRemaining(t), -1);
}

TEST_F(TimerTest, ExpiresAcrossTheWrapOfTheTickCount) {
  g_now = 0xFFFFFFFFu - 99;  // 100 ms before the wrap
  TqdTimer t;
  StartTimer(t, 250);
  EXPECT_FALSE(t.NoWrap);
  EXPECT_EQ(t.ExpiryTick, 150u);
  struct Case {
    uint32_t now;
    bool expired;
  };
  for (Case c : {Case{0xFFFFFFFFu - 99, false}, Case{0xFFFFFFFFu, false}, Case{0, false},
                 Case{149, false}, Case{150, true}, Case{5000, true}}) {
    g_now = c.now;
    EXPECT_EQ(TimerExpired(t), c.expired) << c.now;
  }
}

TEST_F(TimerTest, WithoutWrapExpiresAtTheDeadlineOrWhenTheCountGoesBack) {
  g_now = 1000;
  TqdTimer t;
  StartTimer(t, 100);
  EXPECT_TRUE(t.NoWrap);
  struct Case {
    uint32_t now;
    bool expired;
  };
  for (Case c : {Case{1000, false}, Case{1099, false}, Case{1100, true}, Case{999, true}}) {
    g_now = c.now;
    EXPECT_EQ(TimerExpired(t), c.expired) << c.now;
  }
  g_now = 1040;
  EXPECT_EQ(TimerRemaining(t), 60);
}

}  // namespace
}  // namespace qd
