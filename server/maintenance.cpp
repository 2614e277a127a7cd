#include "server/maintenance.h"

#include <span>

#include "base/QDLLExcp.h"
#include "server/server_results.h"

namespace qd {
namespace {

int64_t RequireTable(TqdTableStore& store, const std::string& table) {
  auto id = store.FindTable(table);
  if (!id) throw EqdStorageError(qdErrNoSuchTable, "no table " + table);
  return *id;
}

// Copies the live records into a new record table, numbered from 1 in their
// old order; every row of the old table counts once.
void CompactRecords(TqdTableStore& store, int64_t tableId, TqdTaskProgress& progress) {
  TqdSqliteDb& db = store.Db();
  const std::string name = TqdTableStore::RecordTableName(tableId);
  const std::string fresh = name + "_packed";
  db.Exec("DROP TABLE IF EXISTS " + fresh);
  db.Exec("CREATE TABLE " + fresh +
          "(rid INTEGER PRIMARY KEY, deleted INTEGER NOT NULL DEFAULT 0, rec BLOB NOT NULL)");
  auto insert = db.Prepare("INSERT INTO " + fresh + "(rec) VALUES(?)");
  auto scan = db.Prepare("SELECT deleted, rec FROM " + name + " ORDER BY rid");
  int64_t rows = 0;
  progress.CheckCancelled();
  while (scan.Step()) {
    if (scan.Int(0) == 0) insert.BindBlob(1, scan.Blob(1)).Run();
    if (++rows % 256 == 0) {
      progress.Advance(256);
      progress.CheckCancelled();
    }
  }
  scan.Reset();
  progress.Advance(rows % 256);
  db.Exec("DROP TABLE " + name);
  db.Exec("ALTER TABLE " + fresh + " RENAME TO " + name);
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
