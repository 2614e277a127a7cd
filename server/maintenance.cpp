#include "server/maintenance.h"

#include <span>

#include "base/QDLLExcp.h"
#include "server/blob_store.h"
#include "server/server_results.h"

namespace qd {
namespace {

int64_t RequireTable(TqdTableStore& store, const std::string& table) {
  auto id = store.FindTable(table);
  if (!id) throw EqdStorageError(qdErrNoSuchTable, "no table " + table);
  return *id;
}

// Renumbers the live records 1, 2, ... in their old order. The records
// before the first deleted one keep their numbers; the live ones after it
// are copied out to a temporary table in order, their old rows removed and
// the copies put back under the next free numbers. Both copies append in
// number order, which is much cheaper than moving each record down by an
// UPDATE of its number (a delete and an insert in the middle of the tree).
// A temporary table belongs to this connection only: the store's schema
// stays as it was, since every other connection to the store would
// otherwise read the whole schema afresh, milliseconds each with hundreds
// of tables in one store. Every row of the old table counts once.
void CompactRecords(TqdTableStore& store, int64_t tableId, TqdTaskProgress& progress) {
  TqdSqliteDb& db = store.Db();
  const std::string name = TqdTableStore::RecordTableName(tableId);
  progress.CheckCancelled();
  const int64_t rows = db.QueryInt("SELECT COUNT(*) FROM " + name);
  auto firstDeleted = db.Prepare("SELECT MIN(rid) FROM " + name + " WHERE deleted <> 0");
  const int64_t first = firstDeleted.Step() ? firstDeleted.Int(0) : 0;
  firstDeleted.Reset();
  if (first <= 0) {  // nothing deleted (a rid is 1 or more): every number stays
    progress.Advance(rows);
    return;
  }
  db.Exec("DROP TABLE IF EXISTS temp.qd_pack_rows");
  db.Exec("CREATE TEMP TABLE qd_pack_rows(rec BLOB NOT NULL)");
  db.Prepare("INSERT INTO temp.qd_pack_rows(rec) SELECT rec FROM " + name +
             " WHERE rid > ? AND deleted = 0 ORDER BY rid")
      .Bind(1, first)
      .Run();
  progress.CheckCancelled();
  db.Prepare("DELETE FROM " + name + " WHERE rid >= ?").Bind(1, first).Run();
  progress.Advance(rows - db.QueryInt("SELECT COUNT(*) FROM temp.qd_pack_rows"));
  progress.CheckCancelled();
  // A new temporary table numbers its rows 1, 2, ... in the order inserted.
  db.Prepare("INSERT INTO " + name + "(rid, deleted, rec) SELECT rowid + ? - 1, 0, rec FROM temp.qd_pack_rows ORDER BY rowid")
      .Bind(1, first)
      .Run();
  progress.Advance(db.Changes());
  db.Exec("DROP TABLE temp.qd_pack_rows");
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
