#include "server/maintenance.h"

#include <span>

#include "base/QDLLExcp.h"
#include "server/blob_store.h"
#include "server/scratch_db.h"
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

// Renumbers the live records 1, 2, ... in their old order. They are copied
// a batch at a time into a table of the scratch database, which numbers
// them as they come; the table is then emptied and takes them all back in
// one statement between tables of the same columns, which SQLite does as a
// raw copy of the stored rows in order (moving each record down in place
// instead costs a delete and an insert in the table's tree per record).
// The store's schema stays as it was, else every other connection to the
// store would read the whole schema afresh, milliseconds each with
// hundreds of tables in one store. Every row of the old table counts once
// in `progress`; returns the rows there were.
int64_t CompactRecords(TqdTableStore& store, int64_t tableId, TqdScratchDatabase& scratch,
                       TqdTaskProgress& progress) {
  TqdSqliteDb& db = store.Db();
  const std::string name = TqdTableStore::RecordTableName(tableId);
  progress.CheckCancelled();
  const std::string packed = scratch.CreateTable("qd_pack", TqdTableStore::kRecordColumns);
  // A batch: the next kPackBatch rows by number, deleted ones included.
  auto batch = db.Prepare("SELECT COUNT(*), MAX(rid) FROM (SELECT rid FROM " + name +
                          " WHERE rid > ? ORDER BY rid LIMIT " + std::to_string(kPackBatch) + ")");
  auto copy = db.Prepare("INSERT INTO " + packed + "(deleted, rec) SELECT 0, rec FROM " + name +
                         " WHERE rid > ?1 AND rid <= ?2 AND deleted = 0 ORDER BY rid");
  int64_t last = 0, seen = 0;
  for (;;) {
    batch.Bind(1, last);
    int64_t rows = batch.Step() ? batch.Int(0) : 0;
    int64_t end = rows > 0 ? batch.Int(1) : last;
    batch.Reset();
    if (rows == 0) break;
    copy.Bind(1, last).Bind(2, end).Run();
    last = end;
    seen += rows;
    progress.Advance(rows);
    progress.CheckCancelled();
  }
  db.Exec("DELETE FROM " + name);
  db.Exec("INSERT INTO " + name + " SELECT * FROM " + packed);
  scratch.DropTable(packed);
  return seen;
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
  const int64_t atMost = LiveRecordsAtMost(store, tableId);
  progress.Total = 2 * atMost;
  RebuildIndexKeys(store, tableId, *dict, indexNo, atMost, progress);
  txn.Commit();
}

void RunPackTable(TqdTableStore& store, const std::string& table, TqdTaskProgress& progress) {
  const int64_t before = StoreFootprint(store);
  {
    TqdScratchDatabase scratch(store.Db());
    TqdTransaction txn(store.Db());
    int64_t tableId = RequireTable(store, table);
    auto dict = store.LoadDictionary(tableId);
    // Counted from above until the renumbering has told the rows and the
    // live records exactly; every row has a number.
    const int64_t keyed = dict->IndexCount() - 1;
    const int64_t atMost = LiveRecordsAtMost(store, tableId);
    progress.Total = atMost + 2 * atMost * keyed;
    const int64_t rows = CompactRecords(store, tableId, scratch, progress);
    const int64_t live = LiveRecordsAtMost(store, tableId);  // numbered 1 to live now
    progress.Total = rows + 2 * live * keyed;
    for (int32_t i = 1; i <= keyed; ++i) RebuildIndexKeys(store, tableId, *dict, i, live, progress);
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
  const int64_t atMost = LiveRecordsAtMost(store, tableId);
  progress.Total = 2 * atMost;
  RebuildIndexKeys(store, tableId, *dict, dict->IndexCount() - 1, atMost, progress);
  txn.Commit();
}

}  // namespace qd
