// Changes to a stored dictionary that the dictionary class itself does not
// offer: a copy without one index, and a copy in canonical form (offsets and
// key lengths recomputed from the fields), which is what the server stores.
// Thread rules: pure functions over caller-owned dictionaries.
#pragma once

#include <cstdint>
#include <memory>

#include "dict/QDLLDict.h"

namespace qd {

// A copy of `source` in which index `skipIndex` is left out (-1: none).
// Raises as the dictionary's builders do.
std::unique_ptr<TqdDataDictionary> CopyDictionary(const TqdDataDictionary& source,
                                                  int32_t skipIndex = -1);

}  // namespace qd
