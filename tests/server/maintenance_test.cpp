#include "server/maintenance.h"

#include "server/index_build.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/endian.h"
#include "server/server_results.h"
#include "temp_dir.h"
#include "test_tables.h"

namespace qd {
namespace {


class MaintenanceTest : public testing::Test {
 protected:
  void SetUp() override {
    tableId_ = store_.CreateTable("Orders", *dict_, false);
    test::FillOrders(store_, tableId_, *dict_, 50, 5);
  }
  test::TempDir dir_;
  TqdTableStore store_{dir_.Path(), {.Mode = TqdOpenMode::CreateIfMissing}};
  std::unique_ptr<TqdDataDictionary> dict_ = test::OrdersDictionary();
  int64_t tableId_ = 0;
};

TEST_F(MaintenanceTest, RebuildKeysLiveRecordsInIndexOrder) {
  TqdTaskProgress progress;
  RunRebuildIndex(store_, "Orders", 3, progress);
  auto ids = test::IdsInIndexOrder(store_, tableId_, 3);
  ASSERT_EQ(ids.size(), 40u);
  EXPECT_TRUE(std::is_sorted(ids.rbegin(), ids.rend()));  // descending amounts
  EXPECT_EQ(progress.Done.load(), progress.Total.load());
  EXPECT_EQ(progress.Total.load(), 80);
  EXPECT_EQ(progress.Percent(), 100);
}

// The work is counted from the highest record number, which deleted
// records leave too high; the count is put right on the way, so the
// percentage only climbs and the totals end exact.
TEST_F(MaintenanceTest, ProgressOnlyClimbsWhenDeletedRecordsWereCounted) {
  struct Case {
    const char* Name;
    int64_t FinalTotal;
    std::function<void(TqdTableStore&, TqdTaskProgress&)> Run;
  } cases[] = {
      {"rebuild", 2 * 1500, [](TqdTableStore& s, TqdTaskProgress& p) { RunRebuildIndex(s, "Half", 2, p); }},
      {"pack", 3000 + 4 * 2 * 1500, [](TqdTableStore& s, TqdTaskProgress& p) { RunPackTable(s, "Half", p); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    int64_t id = store_.CreateTable("Half", *dict_, true);
    test::FillOrders(store_, id, *dict_, 3000, 2);  // every second record deleted
    TqdTaskProgress progress;
    std::vector<int32_t> seen;
    progress.OnPercentChanged = [&] { seen.push_back(progress.Percent()); };
    c.Run(store_, progress);
    EXPECT_GT(seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(progress.Total.load(), c.FinalTotal);
    EXPECT_EQ(progress.Done.load(), c.FinalTotal);
  }
}

TEST_F(MaintenanceTest, RebuildOfIndexZeroDoesNothing) {
  TqdTaskProgress progress;
  RunRebuildIndex(store_, "Orders", 0, progress);
  EXPECT_EQ(progress.Percent(), 100);
}

TEST_F(MaintenanceTest, RebuildFailuresLeaveTheKeysAlone) {
  TqdTaskProgress progress;
  RunRebuildIndex(store_, "Orders", 1, progress);
  // A second record with Id 1 breaks the unique index.
  TqdRecordWriter writer(*dict_);
  writer.SetInteger(0, 1);
  store_.AppendRecord(tableId_, writer.Bytes(), false);
  TqdTaskProgress again;
  try {
    RunRebuildIndex(store_, "Orders", 1, again);
    FAIL();
  } catch (const EqdStorageError& e) {
    EXPECT_EQ(e.Code, qdErrKeyViolation);
  }
  EXPECT_EQ(test::IdsInIndexOrder(store_, tableId_, 1).size(), 40u);
  TqdTaskProgress missing;
  EXPECT_THROW(RunRebuildIndex(store_, "Nope", 1, missing), EqdStorageError);
  EXPECT_THROW(RunRebuildIndex(store_, "Orders", 9, missing), EqdStorageError);
}

// A table larger than one in-memory run is keyed run by run; the key table
// must come out the same, and a unique key repeated in a later run must
// still be refused as a key violation.
TEST_F(MaintenanceTest, KeysMadeInSeveralRunsFillTheWholeIndex) {
  const size_t tinyRun = 64;  // a few entries per run
  for (int32_t indexNo : {1, 2, 3, 4}) {
    SCOPED_TRACE(indexNo);
    TqdTaskProgress whole;
    RunRebuildIndex(store_, "Orders", indexNo, whole);
    std::vector<int32_t> expected = test::IdsInIndexOrder(store_, tableId_, indexNo);
    TqdTaskProgress progress;
    TqdTransaction txn(store_.Db());
    RebuildIndexKeys(store_, tableId_, *dict_, indexNo, 40, progress, tinyRun);
    txn.Commit();
    EXPECT_EQ(test::IdsInIndexOrder(store_, tableId_, indexNo), expected);
    EXPECT_EQ(progress.Done.load(), 80);
  }

  TqdRecordWriter writer(*dict_);
  writer.SetInteger(0, 1);  // Id 1 again, far behind the first in record order
  store_.AppendRecord(tableId_, writer.Bytes(), false);
  TqdTaskProgress progress;
  TqdTransaction txn(store_.Db());
  try {
    RebuildIndexKeys(store_, tableId_, *dict_, 1, 41, progress, tinyRun);
    FAIL();
  } catch (const EqdStorageError& e) {
    EXPECT_EQ(e.Code, qdErrKeyViolation);
  }
}

TEST_F(MaintenanceTest, PackDropsDeletedRenumbersAndRebuildsEveryIndex) {
  TqdTaskProgress progress;
  RunPackTable(store_, "Orders", progress);
  auto info = store_.ListTables("Orders");
  EXPECT_EQ(info[0].Records, 40);
  EXPECT_EQ(info[0].Deleted, 0);
  auto rids = store_.Db().Prepare("SELECT MIN(rid), MAX(rid) FROM " + TqdTableStore::RecordTableName(tableId_));
  ASSERT_TRUE(rids.Step());
  EXPECT_EQ(rids.Int(0), 1);
  EXPECT_EQ(rids.Int(1), 40);
  rids.Reset();
  for (int32_t i = 1; i <= 4; ++i) EXPECT_EQ(test::IdsInIndexOrder(store_, tableId_, i).size(), 40u) << i;
  auto byId = test::IdsInIndexOrder(store_, tableId_, 1);
  EXPECT_TRUE(std::is_sorted(byId.begin(), byId.end()));
  EXPECT_EQ(progress.Total.load(), 50 + 4 * 80);
  EXPECT_EQ(progress.Done.load(), progress.Total.load());
}

// The live records keep their order under their new numbers, across more
// than one batch of renumbering, and the store's schema is not touched:
// other connections go on without reading it again.
TEST_F(MaintenanceTest, PackKeepsTheRecordOrderAndTheSchema) {
  struct Case {
    const char* Table;
    int Count;
    int DeletedEvery;
  } cases[] = {{"NoneDeleted", 10, 0}, {"AllDeleted", 6, 1}, {"ManyBatches", 9000, 3}, {"Empty", 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Table);
    int64_t id = store_.CreateTable(c.Table, *dict_, false);
    test::FillOrders(store_, id, *dict_, c.Count, c.DeletedEvery);
    std::vector<int32_t> live;
    for (int i = 1; i <= c.Count; ++i)
      if (c.DeletedEvery == 0 || i % c.DeletedEvery != 0) live.push_back(i);
    const int64_t schema = store_.Db().QueryInt("PRAGMA schema_version");

    TqdTaskProgress progress;
    RunPackTable(store_, c.Table, progress);

    EXPECT_EQ(store_.Db().QueryInt("PRAGMA schema_version"), schema);
    auto rows = store_.Db().Prepare("SELECT rid, rec FROM " + TqdTableStore::RecordTableName(id) + " ORDER BY rid");
    std::vector<int32_t> ids;
    while (rows.Step()) {
      EXPECT_EQ(rows.Int(0), static_cast<int64_t>(ids.size()) + 1);
      ids.push_back(GetInt32LE(rows.Blob(1).data()));
    }
    rows.Reset();
    EXPECT_EQ(ids, live);
    EXPECT_EQ(test::IdsInIndexOrder(store_, id, 1), live);
    EXPECT_EQ(progress.Done.load(), progress.Total.load());
  }
}

// The renumbered records wait in a scratch file attached for the pack, or
// in the temporary database when the pack runs inside a transaction (no
// file can be attached there); either way nothing is left behind.
TEST_F(MaintenanceTest, PackLeavesNoScratchBehind) {
  for (bool insideATransaction : {false, true}) {
    SCOPED_TRACE(insideATransaction);
    const std::string table = insideATransaction ? "Inside" : "Outside";
    int64_t id = store_.CreateTable(table, *dict_, false);
    test::FillOrders(store_, id, *dict_, 20, 4);
    std::optional<TqdTransaction> outer;
    if (insideATransaction) outer.emplace(store_.Db());

    TqdTaskProgress progress;
    RunPackTable(store_, table, progress);
    if (outer) outer->Commit();

    EXPECT_EQ(store_.ListTables(table)[0].Records, 15);
    EXPECT_EQ(test::IdsInIndexOrder(store_, id, 1).size(), 15u);
    std::vector<std::string> schemas;
    auto list = store_.Db().Prepare("PRAGMA database_list");
    while (list.Step()) schemas.push_back(list.Text(1));
    EXPECT_EQ(std::count(schemas.begin(), schemas.end(), "qd_scratch"), 0);
    EXPECT_EQ(store_.Db().QueryInt("SELECT COUNT(*) FROM temp.sqlite_schema"), 0);
  }
}

TEST_F(MaintenanceTest, CancelledPackLeavesTheTable) {
  TqdTaskProgress progress;
  progress.Cancelled = true;
  EXPECT_THROW(RunPackTable(store_, "Orders", progress), EqdStorageError);
  auto info = store_.ListTables("Orders");
  EXPECT_EQ(info[0].Records, 40);
  EXPECT_EQ(info[0].Deleted, 10);
}

TEST_F(MaintenanceTest, AddIndexExtendsTheDictionaryAndKeys) {
  TqdNewIndex index{"ByDay", {3}, true, false, false};
  TqdTaskProgress progress;
  RunAddIndex(store_, "Orders", index, progress);
  auto dict = store_.LoadDictionary(tableId_);
  ASSERT_EQ(dict->IndexCount(), 6);
  EXPECT_EQ(dict->IndexName(5), "ByDay");
  auto ids = test::IdsInIndexOrder(store_, tableId_, 5);
  ASSERT_EQ(ids.size(), 40u);
  EXPECT_EQ(ids.front(), 49);
}

TEST_F(MaintenanceTest, AddIndexChecks) {
  auto dict = store_.LoadDictionary(tableId_);
  struct Case {
    TqdNewIndex Index;
    TqdResult Code;
  };
  const Case cases[] = {
      {{"ByDay", {3}}, qdOK},
      {{"byname", {3}}, qdErrIndexExists},
      {{"", {3}}, qdErrInvalidIndexName},
      {{"X", {}}, qdErrInvalidIndexDesc},
      {{"X", {7}}, qdErrInvalidIndexDesc},
      {{"X", {-1}}, qdErrInvalidIndexDesc},
      {{"X", std::vector<int32_t>(17, 0)}, qdErrInvalidIndexDesc},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckNewIndex(*dict, c.Index), c.Code) << c.Index.Name;
}

}  // namespace
}  // namespace qd
