// The table the server benchmarks index and pack: an integer id, a 20-
// character name and an amount, with a two-field index on name and id; and
// the names its records get, spread over 100 003 values.
// Thread rules: none.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dict/QDLLDict.h"

namespace qd::bench {

inline std::unique_ptr<TqdDataDictionary> BenchDictionary() {
  auto d = std::make_unique<TqdDataDictionary>();
  d->AddField("Id", "", fkInt32, 10, 0, true);
  d->AddField("Name", "", fkShortString, 20, 0, false);
  d->AddField("Amount", "", fkDouble, 12, 2, false);
  const int32_t nameId[] = {1, 0};
  d->AddCompositeIndex("ByNameId", "", 0, nameId, true, true, true);
  return d;
}

// In 64 bits: i * 7919 leaves int from i = 271 184 on, and the compiler,
// free to assume it does not, made the filling loops endless.
inline std::string NameOf(int i) { return "name" + std::to_string(static_cast<int64_t>(i) * 7919 % 100003); }

}  // namespace qd::bench
