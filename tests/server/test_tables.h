// Dictionaries and stores for the storage tests: a table "Orders" with an
// integer id, a name, an amount and a date, and three indexes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/endian.h"

#include "dict/QDLLDict.h"
#include "server/record_writer.h"
#include "server/table_store.h"

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
