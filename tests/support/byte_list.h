// Writing a record's expected bytes as a list of small numbers.
// Thread rules: none.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace qd::test {

inline std::vector<uint8_t> Of(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

}  // namespace qd::test
