// The system's millisecond tick count, and a way for tests to replace it.
// Thread rules: the source may be swapped only while no other thread reads it.
#pragma once

#include <cstdint>

namespace qd {

using TickSource = uint32_t (*)();

// 32-bit milliseconds of CLOCK_MONOTONIC; wraps every 49.7 days.
uint32_t GetTickCount();

// Installs `source` as the tick count (nullptr restores the clock).
void SetTickSource(TickSource source);

}  // namespace qd
