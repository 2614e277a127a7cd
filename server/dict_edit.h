// Changes to a stored dictionary that the dictionary class itself does not
// offer: a dictionary a client sent read into canonical form, a copy without
// one index, and a copy in canonical form (offsets and key lengths
// recomputed from the fields), which is what the server stores.
// Thread rules: pure functions over caller-owned dictionaries.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "dict/QDLLDict.h"

namespace qd {

// Reads a dictionary a client sent, in canonical form; anything malformed
// raises EqdStorageError 10003, and so does a dictionary whose file 0 is
// not the data file (the table's records would be described by a BLOB file).
std::unique_ptr<TqdDataDictionary> ReadClientDictionary(std::span<const uint8_t> bytes);

// A copy of `source` in which index `skipIndex` is left out (-1: none).
// Raises as the dictionary's builders do.
std::unique_ptr<TqdDataDictionary> CopyDictionary(const TqdDataDictionary& source,
                                                  int32_t skipIndex = -1);

}  // namespace qd
