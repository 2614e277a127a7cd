// TqdTimer: a deadline on the 32-bit millisecond tick count, from 1 ms to one
// hour, or never. It survives the wrap of the tick count.
#pragma once

#include <cstdint>

namespace qd {

inline constexpr int32_t kTimerNever = -1;
inline constexpr int32_t kTimerMaxMs = 3600000;

struct TqdTimer {
  uint32_t StartTick = 0;
  uint32_t ExpiryTick = 0;
  bool NoWrap = false;  // StartTick < ExpiryTick
  bool NeverExpires = false;
};

// `ms` = kTimerNever gives a timer that never expires; other values are
// clamped to 1 .. one hour.
void StartTimer(TqdTimer& timer, int32_t ms);
bool TimerExpired(const TqdTimer& timer);
// Milliseconds until the timer expires (0 when expired, -1 when never).
int32_t TimerRemaining(const TqdTimer& timer);

}  // namespace qd
