#include "base/timer.h"

#include "base/ticks.h"

namespace qd {

void StartTimer(TqdTimer& timer, int32_t ms) {
  if (ms == kTimerNever) {
    timer = TqdTimer{0, 0, false, true};
    return;
  }
  if (ms < 1) ms = 1;
  if (ms > kTimerMaxMs) ms = kTimerMaxMs;
  timer.NeverExpires = false;
  timer.StartTick = GetTickCount();
  timer.ExpiryTick = timer.StartTick + static_cast<uint32_t>(ms);
  timer.NoWrap = timer.StartTick < timer.ExpiryTick;
}

bool TimerExpired(const TqdTimer& timer) {
  if (timer.NeverExpires) return false;
  uint32_t now = GetTickCount();
  if (timer.StartTick <= timer.ExpiryTick) return now >= timer.ExpiryTick || now < timer.StartTick;
  return now < timer.StartTick && now >= timer.ExpiryTick;
}

int32_t TimerRemaining(const TqdTimer& timer) {
  if (timer.NeverExpires) return -1;
  if (TimerExpired(timer)) return 0;
  return static_cast<int32_t>(timer.ExpiryTick - GetTickCount());
}

}  // namespace qd
