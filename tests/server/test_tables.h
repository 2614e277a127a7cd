// Stores for the storage tests: the table "Orders" (its dictionary in
// tests/support/orders_dictionary.h) filled with records.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/endian.h"

#include "dict/QDLLDict.h"
#include "server/record_writer.h"
#include "server/table_store.h"
#include "tests/support/orders_dictionary.h"

namespace qd::test {

// Appends `count` records: Id i (from 1), Name "name<i mod 7>", Amount i * 1.5,
// Day i; every `deletedEvery`-th record (0: none) is marked deleted.
inline void FillOrders(TqdTableStore& store, int64_t tableId, const TqdDataDictionary& dict,
                       int count, int deletedEvery) {
  TqdRecordWriter writer(dict);
  TqdTransaction txn(store.Db());
  for (int i = 1; i <= count; ++i) {
    writer.Clear();
    writer.SetInteger(0, i);
    writer.SetText(1, "name" + std::to_string(i % 7));
    writer.SetFloat(2, i * 1.5);
    writer.SetInteger(3, i);
    store.AppendRecord(tableId, writer.Bytes(), deletedEvery > 0 && i % deletedEvery == 0);
  }
  txn.Commit();
}

// The Id field (field 0) of the records in the order of index `indexNo`'s keys.
inline std::vector<int32_t> IdsInIndexOrder(TqdTableStore& store, int64_t tableId, int32_t indexNo) {
  std::string keys = store.KeyTableName(tableId, indexNo, false);
  auto q = store.Db().Prepare("SELECT r.rec FROM " + keys + " k JOIN " + TqdTableStore::RecordTableName(tableId) +
                              " r ON r.rid = k.rid ORDER BY k.key, k.rid");
  std::vector<int32_t> ids;
  while (q.Step()) ids.push_back(GetInt32LE(q.Blob(0).data()));
  return ids;
}

}  // namespace qd::test
