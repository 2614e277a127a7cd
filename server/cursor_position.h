// Where a server cursor stands in the order of its index, and the range it
// is held to. A position is a point in the order of (key, record number):
// before the first record, after the last, on a record, or between two
// records just before a (key, record number) pair that need not exist (a
// search leaves the cursor there). Keys are the index's order-preserving
// keys (server/key_encoding.h); index 0 has empty keys and reads in record
// number order.
// Thread rules: plain values.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace qd {

struct TqdCursorPosition {
  enum Kind : uint8_t { BeforeFirst, AfterLast, Before, On };
  Kind Where = BeforeFirst;
  std::vector<uint8_t> Key;
  int64_t Rid = 0;

  static TqdCursorPosition OnRecord(std::vector<uint8_t> key, int64_t rid) { return {On, std::move(key), rid}; }
  // Just before every record whose key is `key` or sorts after it.
  static TqdCursorPosition BeforeKey(std::vector<uint8_t> key) {
    return {Before, std::move(key), std::numeric_limits<int64_t>::min()};
  }
};

// Keys from Low (inclusive) up to High (exclusive); a missing end is open.
struct TqdKeyRange {
  std::optional<std::vector<uint8_t>> Low;
  std::optional<std::vector<uint8_t>> High;
};

// The smallest key that sorts after every key starting with `prefix`;
// nullopt when none does (the prefix is all 0xFF bytes, or empty).
std::optional<std::vector<uint8_t>> KeyAfterPrefix(std::vector<uint8_t> prefix);

}  // namespace qd
