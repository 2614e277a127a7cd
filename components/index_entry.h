// One index of a table as the table component lists it: its name and its
// number in the table's dictionary, which is what a rebuild request names.
// The number is kept because the list leaves out indexes without a name:
// a position in the list is not an index number.
// Thread rules: a plain value.
#pragma once

#include <cstdint>
#include <string>

namespace qd {

struct TqdIndexEntry {
  std::string Name;
  int32_t Number = 0;  // 0 is the sequential access index
  friend bool operator==(const TqdIndexEntry&, const TqdIndexEntry&) = default;
};

}  // namespace qd
