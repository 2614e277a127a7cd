#include "base/ticks.h"

#include <atomic>
#include <ctime>

namespace qd {
namespace {

uint32_t MonotonicTicks() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

std::atomic<TickSource> g_source{&MonotonicTicks};

}  // namespace

uint32_t GetTickCount() { return g_source.load(std::memory_order_relaxed)(); }

void SetTickSource(TickSource source) {
  g_source.store(source ? source : &MonotonicTicks, std::memory_order_relaxed);
}

}  // namespace qd
