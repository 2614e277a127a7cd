// The process-wide keep-alive settings that every transport uses: after how
// long without a received message a keep-alive is sent, how often the check
// runs, and after how many unanswered keep-alives a connection is dropped.
// Each attach reply that passes the version check replaces them.
// Thread rules: values are read and written atomically, one at a time.
#pragma once

#include <cstdint>

namespace qd {

struct TqdKeepAliveSettings {
  int32_t InactivityInterval = 5000;  // ms
  int32_t CheckInterval = 2500;       // ms
  int32_t Retries = 5;
};

TqdKeepAliveSettings KeepAliveSettings();
// The values come from a server: they are brought into a range in which the
// checks still work (intervals 1 ms to one hour, retries 1 to 1000).
void SetKeepAliveSettings(const TqdKeepAliveSettings& settings);
// Back to the defaults (tests).
void ResetKeepAliveSettings();

}  // namespace qd
