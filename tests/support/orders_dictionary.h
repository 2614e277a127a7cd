// The dictionary of the sample table "Orders" that the storage, server and
// call-interface tests share.
// Thread rules: none.
#pragma once

#include <memory>

#include "dict/QDLLDict.h"

namespace qd::test {

// Fields: 0 Id (int32), 1 Name (short string 20), 2 Amount (double), 3 Day (date).
// Indexes: 1 ById (unique), 2 ByName (case-insensitive, duplicates),
// 3 ByAmountDesc (descending, duplicates), 4 ByNameDay (composite).
inline std::unique_ptr<TqdDataDictionary> OrdersDictionary() {
  auto dict = std::make_unique<TqdDataDictionary>();
  dict->AddField("Id", "", fkInt32, 10, 0, true);
  dict->AddField("Name", "", fkShortString, 20, 0, false);
  dict->AddField("Amount", "", fkDouble, 12, 2, false);
  dict->AddField("Day", "", fkDate, 0, 0, false);
  const int32_t id[] = {0}, name[] = {1}, amount[] = {2}, nameDay[] = {1, 3};
  dict->AddCompositeIndex("ById", "", 0, id, false, true, false);
  dict->AddCompositeIndex("ByName", "", 0, name, true, true, true);
  dict->AddCompositeIndex("ByAmountDesc", "", 0, amount, true, false, false);
  dict->AddCompositeIndex("ByNameDay", "", 0, nameDay, true, true, false);
  return dict;
}

}  // namespace qd::test
