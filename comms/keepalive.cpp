#include "comms/keepalive.h"

#include <atomic>

#include "base/shortstr.h"
#include "base/timer.h"

namespace qd {
namespace {

const TqdKeepAliveSettings kDefaults;
std::atomic<int32_t> g_inactivity{kDefaults.InactivityInterval};
std::atomic<int32_t> g_check{kDefaults.CheckInterval};
std::atomic<int32_t> g_retries{kDefaults.Retries};

}  // namespace

TqdKeepAliveSettings KeepAliveSettings() {
  return {g_inactivity.load(), g_check.load(), g_retries.load()};
}

void SetKeepAliveSettings(const TqdKeepAliveSettings& s) {
  g_inactivity = Clamp(s.InactivityInterval, 1, kTimerMaxMs);
  g_check = Clamp(s.CheckInterval, 1, kTimerMaxMs);
  g_retries = Clamp(s.Retries, 1, 1000);
}

void ResetKeepAliveSettings() { SetKeepAliveSettings(kDefaults); }

}  // namespace qd
