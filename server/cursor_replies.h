// The reply data of the cursor handlers that answer with a record.
// Thread rules: pure functions.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "server/record_navigation.h"

namespace qd {

// The record, at most the length the client's buffer holds.
inline std::vector<uint8_t> RecordReply(const TqdFoundRecord& found, int32_t recordLength) {
  const size_t size = std::min(found.Record.size(), static_cast<size_t>(std::max(recordLength, 0)));
  return {found.Record.begin(), found.Record.begin() + static_cast<std::ptrdiff_t>(size)};
}

}  // namespace qd
