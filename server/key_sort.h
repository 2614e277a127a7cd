// Sorting a run of fixed-size entries (key bytes, then the row id
// big-endian) into memcmp order without moving them: the answer is the
// entries' positions in that order.
// Thread rules: none; the entries must not change while they are sorted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qd {

std::vector<uint32_t> SortedEntryOrder(const uint8_t* entries, size_t entrySize, size_t count);

}  // namespace qd
