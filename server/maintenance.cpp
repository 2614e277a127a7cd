#include "server/maintenance.h"

#include <span>

#include "base/QDLLExcp.h"
#include "server/blob_store.h"
#include "server/server_results.h"

namespace qd {
namespace {

// Records renumbered per statement batch while a table is packed.
constexpr int64_t kPackBatch = 4096;

int64_t RequireTable(TqdTableStore& store, const std::string& table) {
  auto id = store.FindTable(table);
  if (!id) throw EqdStorageError(qdErrNoSuchTable, "no table " + table);
  return *id;
}

// Renumbers the live records 1, 2, ... in their old order, in place: once
// the deleted rows are gone, each record in turn moves down to the lowest
// free number, which the records before it have left free by then. No
// table is made or dropped, so the schema stays as it was: every other
// connection to the store would otherwise read the whole schema afresh,
// milliseconds each with hundreds of tables in one store. Every row of the
// old table counts once.
void CompactRecords(TqdTableStore& store, int64_t tableId, TqdTaskProgress& progress) {
  TqdSqliteDb& db = store.Db();
  const std::string name = TqdTableStore::RecordTableName(tableId);
  progress.CheckCancelled();
  auto removeDeleted = db.Prepare("DELETE FROM " + name + " WHERE deleted <> 0");
  removeDeleted.Run();
  progress.Advance(db.Changes());
  // The numbers are read a batch at a time and moved after the batch is
  // read: a table is not changed under a statement that is reading it.
  auto next = db.Prepare("SELECT rid FROM " + name + " WHERE rid > ? ORDER BY rid LIMIT " +
                         std::to_string(kPackBatch));
  auto move = db.Prepare("UPDATE " + name + " SET rid = ? WHERE rid = ?");
  std::vector<int64_t> batch;
  int64_t number = 0, last = 0;
  for (;;) {
    batch.clear();
    next.Bind(1, last);
    while (next.Step()) batch.push_back(next.Int(0));
    next.Reset();
    if (batch.empty()) break;
    for (int64_t rid : batch) {
      if (++number != rid) move.Bind(1, number).Bind(2, rid).Run();
    }
    last = batch.back();  // the rows past it are still where they were
    progress.Advance(static_cast<int64_t>(batch.size()));
    progress.CheckCancelled();
  }
}

}  // namespace

TqdResult CheckNewIndex(const TqdDataDictionary& dict, const TqdNewIndex& index) {
  if (index.Name.empty() || index.Name.size() > kDictNameCapacity) return qdErrInvalidIndexName;
  if (dict.IndexNumberOf(index.Name) >= 0) return qdErrIndexExists;
  if (dict.IndexCount() >= kMaxIndexes) return qdErrServerMaxIndexes;
  if (index.FieldNumbers.empty() || index.FieldNumbers.size() > static_cast<size_t>(kMaxKeyFields))
    return qdErrInvalidIndexDesc;
  for (int32_t n : index.FieldNumbers) {
    if (n < 0 || n >= dict.FieldCount()) return qdErrInvalidIndexDesc;
  }
  return qdOK;
}

void RunRebuildIndex(TqdTableStore& store, const std::string& table, int32_t indexNo,
                     TqdTaskProgress& progress) {
  TqdTransaction txn(store.Db());
  int64_t tableId = RequireTable(store, table);
  auto dict = store.LoadDictionary(tableId);
  if (indexNo < 0 || indexNo >= dict->IndexCount())
    throw EqdStorageError(qdErrNoSuchIndex, "no index " + std::to_string(indexNo));
  if (indexNo == 0) return;
  progress.Total = 2 * CountLiveRecords(store, tableId);
  RebuildIndexKeys(store, tableId, *dict, indexNo, progress);
  txn.Commit();
}

void RunPackTable(TqdTableStore& store, const std::string& table, TqdTaskProgress& progress) {
  const int64_t before = StoreFootprint(store);
  {
    TqdTransaction txn(store.Db());
    int64_t tableId = RequireTable(store, table);
    auto dict = store.LoadDictionary(tableId);
    auto all = store.Db().Prepare("SELECT COUNT(*) FROM " + TqdTableStore::RecordTableName(tableId));
    int64_t rows = all.Step() ? all.Int(0) : 0;
    all.Reset();
    int64_t live = CountLiveRecords(store, tableId);
    progress.Total = rows + 2 * live * (dict->IndexCount() - 1);
    CompactRecords(store, tableId, progress);
    for (int32_t i = 1; i < dict->IndexCount(); ++i) RebuildIndexKeys(store, tableId, *dict, i, progress);
    TqdBlobStore(store, tableId).RemoveUnnamed(*dict);
    txn.Commit();
  }
  progress.Reclaimed = ReclaimSpaceAfterPack(store, before);
}

void RunAddIndex(TqdTableStore& store, const std::string& table, const TqdNewIndex& index,
                 TqdTaskProgress& progress) {
  TqdTransaction txn(store.Db());
  int64_t tableId = RequireTable(store, table);
  auto dict = store.LoadDictionary(tableId);
  if (TqdResult check = CheckNewIndex(*dict, index); check != qdOK)
    throw EqdStorageError(check, "the index cannot be added");
  try {
    dict->AddCompositeIndex(index.Name, "", 0, std::span<const int32_t>(index.FieldNumbers),
                            index.AllowDuplicates, index.Ascending, index.CaseInsensitive);
  } catch (const Exception& e) {
    throw EqdStorageError(qdErrInvalidIndexDesc, e.what());
  }
  store.SaveDictionary(tableId, *dict);
  progress.Total = 2 * CountLiveRecords(store, tableId);
  RebuildIndexKeys(store, tableId, *dict, dict->IndexCount() - 1, progress);
  txn.Commit();
}

}  // namespace qd
