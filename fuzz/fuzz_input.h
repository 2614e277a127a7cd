// Reads a fuzzer's input as a script of small numbers and byte runs, so that
// one input can drive several calls of an interface. Running out of input
// reads zeros and empty runs: every input is a valid script.
// Thread rules: one owner.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/endian.h"

namespace qd::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : rest_(data, size) {}

  bool Empty() const { return rest_.empty(); }
  size_t Remaining() const { return rest_.size(); }

  uint8_t Byte() { return rest_.empty() ? 0 : Take(1)[0]; }
  uint16_t Word() { return rest_.size() < 2 ? Byte() : GetUInt16LE(Take(2).data()); }
  uint32_t Long() { return rest_.size() < 4 ? Word() : GetUInt32LE(Take(4).data()); }
  // The next `count` bytes, fewer at the end of the input.
  std::span<const uint8_t> Take(size_t count) {
    std::span<const uint8_t> run = rest_.first(std::min(count, rest_.size()));
    rest_ = rest_.subspan(run.size());
    return run;
  }
  // A run whose length comes first, as a 16-bit word.
  std::span<const uint8_t> Run() { return Take(Word()); }
  std::span<const uint8_t> Rest() { return Take(rest_.size()); }

 private:
  std::span<const uint8_t> rest_;
};

}  // namespace qd::fuzz
