// The table the server benchmarks index and pack: an integer id, a 20-
// character name and an amount, with a two-field index on name and id; and
// the names its records get, spread over 100 003 values.
// Thread rules: none.
#pragma once

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

inline std::string NameOf(int i) { return "name" + std::to_string((i * 7919) % 100003); }

}  // namespace qd::bench
